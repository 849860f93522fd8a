// Raster rotation on plain buffers (exact values: whole-pixel turns, grey
// staying grey, mask edges, writes bounded by a guard page) and the refusals
// of PixMapRotate on pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "core/diagnostics.h"
#include "graphics/NativePicture.h"
#include "graphics/PixMapRotate.h"
#include "graphics/RasterRotation.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Raster {
  int32_t width, height;
  std::vector<uint32_t> pixels;
  Raster(int32_t w, int32_t h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w * h), fill) {}
  uint32_t& at(int32_t x, int32_t y) { return pixels[size_t(y * width + x)]; }
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(pixels.data()); }
};

// Turns a copy of the source into a zeroed destination.
Raster Turned(Raster source, double angle, int32_t mode) {
  Raster result(source.width, source.height);
  RotateRaster(source.bytes(), 4 * source.width, result.bytes(), 4 * result.width, source.width,
               source.height, angle, mode);
  return result;
}

bool IsGrey(uint32_t pixel) {
  return (pixel >> 24) == 0 && (pixel & 0xFF) == ((pixel >> 8) & 0xFF) &&
         (pixel & 0xFF) == ((pixel >> 16) & 0xFF);
}

TEST(RasterRotation, ZeroCopiesAndQuarterTurnsMoveWholePixels) {
  // 64 distinct values in the middle 8 x 8 of a 16 x 16 raster.
  Raster source(16, 16);
  for (int32_t y = 4; y < 12; ++y) {
    for (int32_t x = 4; x < 12; ++x) source.at(x, y) = 0x01000000u * uint32_t(x) + 0x10203u * uint32_t(y);
  }
  using Move = std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)>;
  const Move same = [](int32_t x, int32_t y) { return std::make_pair(x, y); };
  const Move quarter = [](int32_t x, int32_t y) { return std::make_pair(y, 16 - x); };
  const Move back = [](int32_t x, int32_t y) { return std::make_pair(16 - y, x); };
  const std::pair<double, Move> cases[] = {
      {0, same}, {kPi / 2, quarter}, {-kPi / 2, back}, {3 * kPi / 2, back}};
  for (const auto& [angle, move] : cases) {
    Raster expected(16, 16);
    for (int32_t y = 4; y < 12; ++y) {
      for (int32_t x = 4; x < 12; ++x) {
        auto [tx, ty] = move(x, y);
        expected.at(tx, ty) = source.at(x, y);
      }
    }
    EXPECT_EQ(Turned(source, angle, kRasterImageMode).pixels, expected.pixels) << angle;
  }
}

TEST(RasterRotation, GreyStaysGreyAndMaskEdgesBlendTowardsClear) {
  Raster grey(40, 30);
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 40; ++x) grey.at(x, y) = 0x010101u * uint32_t((x * 7 + y * 13) % 256);
  }
  for (double angle : {0.3, -1.0}) {
    Raster turned = Turned(grey, angle, kRasterImageMode);
    for (uint32_t pixel : turned.pixels) ASSERT_TRUE(IsGrey(pixel)) << std::hex << pixel;
  }
  Raster mask = Turned(Raster(32, 32, 0), kPi / 4, kRasterMaskMode);
  EXPECT_EQ(mask.at(0, 0), kRasterClear);
  EXPECT_EQ(mask.at(31, 31), kRasterClear);
  EXPECT_EQ(mask.at(16, 16), 0u);
  int32_t blended = 0;
  for (uint32_t pixel : mask.pixels) {
    EXPECT_TRUE(IsGrey(pixel));
    blended += pixel != 0 && pixel != kRasterClear;
  }
  EXPECT_GT(blended, 16);
}

// Both rasters end where a no-access page begins, after 64 bytes that must
// stay as they are.
TEST(RasterRotation, WritesStayInsideRastersOfAnyShape) {
  constexpr size_t kLead = 64;
  const std::pair<int32_t, int32_t> sizes[] = {{4, 64}, {64, 4}, {1, 1}, {3, 5}};
  for (auto [width, height] : sizes) {
    for (double angle : {kPi / 2, kPi / 3, 3.0, std::nan("")}) {
      for (int32_t mode : {kRasterMaskMode, kRasterImageMode}) {
        std::vector<uint8_t> bytes(kLead + size_t(width * height) * 4, 0xAB);
        GuardedBuffer source(bytes), destination(bytes);
        RotateRaster(source.data() + kLead, 4 * width, destination.data() + kLead, 4 * width, width,
                     height, angle, mode);
        for (size_t i = 0; i < kLead; ++i) {
          ASSERT_EQ(source.data()[i], 0xAB) << width << "x" << height << " " << angle;
          ASSERT_EQ(destination.data()[i], 0xAB) << width << "x" << height << " " << angle;
        }
      }
    }
  }
}

class PixMapRotateTest : public HostTest {};

TEST_F(PixMapRotateTest, RefusalsReturnThreeAndChangeNothing) {
  BitmapPicture* destination = BitmapPicture::Create(8, 8, 32);
  BitmapPicture* good = BitmapPicture::Create(8, 8, 32);
  BitmapPicture* shallow = BitmapPicture::Create(8, 8, 8);
  BitmapPicture* wider = BitmapPicture::Create(9, 8, 32);
  BitmapPicture* empty = BitmapPicture::Create(0, 0, 32);
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  ASSERT_TRUE(destination->GetPixels(&depth, &base, &rowBytes));
  for (int32_t i = 0; i < 8 * rowBytes; ++i) base[i] = uint8_t(i * 31);
  const std::vector<uint8_t> before(base, base + 8 * rowBytes);
  const struct {
    NativePicture* source;
    NativePicture* destination;
    double angle;
    size_t boxes;
  } refusals[] = {{nullptr, destination, 1, 1},    {destination, destination, 1, 1},
                  {good, nullptr, 1, 1},           {shallow, destination, 1, 0},
                  {wider, destination, 1, 0},      {empty, destination, 1, 0},
                  {good, destination, INFINITY, 0}, {good, destination, std::nan(""), 0}};
  for (const auto& refusal : refusals) {
    EXPECT_EQ(PixMapRotate(refusal.source, refusal.destination, refusal.angle, kRasterImageMode), 3);
    EXPECT_EQ(TakeRecordedBoxes().size(), refusal.boxes);
    EXPECT_EQ(std::vector<uint8_t>(base, base + 8 * rowBytes), before);
  }
  EXPECT_EQ(PixMapRotate(good, destination, 1, kRasterImageMode), 0);
  for (BitmapPicture* picture : {destination, good, shallow, wider, empty}) PictureRelease(picture);
}

}  // namespace
