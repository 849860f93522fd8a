// One shear on plain buffers, exact to the pixel: a line moved by whole
// pixels keeps its values, and in mask mode the pixels it uncovers are clear
// whatever the destination held.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/RasterRotation.h"

namespace {

using Shear = void (*)(const uint8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t, double,
                       int32_t);

// Pixel i % 4 of line i / 4 in a 4 x 2 raster of rows or its 2 x 4
// transpose of columns.
size_t At(bool columns, int32_t i) { return size_t(columns ? (i % 4) * 2 + i / 4 : i); }

// Lines {1, 2, 3, 4} and {5, 6, 7, 8} sheared into a destination of
// 0xABABABAB: line 0 moves by -factor pixels, line 1 stays.
std::vector<uint32_t> Sheared(Shear shear, bool columns, double factor) {
  std::vector<uint32_t> source(8), destination(8, 0xABABABABu), lines(8);
  for (int32_t i = 0; i < 8; ++i) source[At(columns, i)] = uint32_t(i + 1);
  const int32_t width = columns ? 2 : 4, height = columns ? 4 : 2;
  shear(reinterpret_cast<const uint8_t*>(source.data()), 4 * width,
        reinterpret_cast<uint8_t*>(destination.data()), 4 * width, width, height, factor,
        kRasterMaskMode);
  for (int32_t i = 0; i < 8; ++i) lines[size_t(i)] = destination[At(columns, i)];
  return lines;
}

TEST(RasterShear, AOnePixelMoveClearsThePixelItUncovers) {
  constexpr uint32_t c = kRasterClear;
  const struct {
    double factor;
    std::vector<uint32_t> lines;
  } cases[] = {
      {-1, {c, 1, 2, 3, 5, 6, 7, 8}},  // forward by one
      {1, {2, 3, 4, c, 5, 6, 7, 8}},   // back by one
      {-2, {c, c, 1, 2, 5, 6, 7, 8}},
  };
  for (const auto& [factor, lines] : cases) {
    EXPECT_EQ(Sheared(ShearRows, false, factor), lines) << "rows by " << -factor;
    EXPECT_EQ(Sheared(ShearColumns, true, factor), lines) << "columns by " << -factor;
  }
}

}  // namespace
