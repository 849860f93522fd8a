// The surface's pixel code on plain buffers: pixel formats, the seed fill
// (checked against a plain breadth-first fill) and the channel transform.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "graphics/SurfacePixels.h"

namespace {

// Rows of pixels with two spare bytes after each row, so writes that run
// past a row's pixels show up in the padding.
struct Image {
  Image(int32_t width, int32_t height, int32_t depth, uint32_t colour)
      : stride(width * depth / 8 + 2), bytes(size_t(stride) * height, 0xA5),
        buffer{bytes.data(), stride, width, height, depth} {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) SetSurfacePixel(buffer, x, y, colour);
  }
  Image(const Image& other)
      : stride(other.stride), bytes(other.bytes),
        buffer{bytes.data(), stride, other.buffer.width, other.buffer.height, other.buffer.depth} {}
  Image& operator=(const Image&) = delete;
  uint32_t At(int32_t x, int32_t y) const { return SurfacePixel(buffer, x, y); }
  size_t Count(uint32_t colour) const {
    size_t n = 0;
    for (int32_t y = 0; y < buffer.height; ++y)
      for (int32_t x = 0; x < buffer.width; ++x) n += At(x, y) == colour;
    return n;
  }
  bool PaddingIntact() const {
    for (int32_t y = 0; y < buffer.height; ++y) {
      const uint8_t* pad = bytes.data() + size_t(y) * stride + stride - 2;
      if (pad[0] != 0xA5 || pad[1] != 0xA5) return false;
    }
    return true;
  }
  int32_t stride;
  std::vector<uint8_t> bytes;
  PixelBuffer buffer;
};

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kRed = 0xFF0000;

// The region of the seed's colour found breadth-first, painted with fill.
void ReferenceFill(Image& image, int32_t x, int32_t y, uint32_t fill) {
  const uint32_t old = image.At(x, y);
  std::deque<std::pair<int32_t, int32_t>> open{{x, y}};
  SetSurfacePixel(image.buffer, x, y, fill);
  while (!open.empty()) {
    const auto [px, py] = open.front();
    open.pop_front();
    const int32_t dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
    for (int i = 0; i < 4; ++i) {
      const int32_t nx = px + dx[i], ny = py + dy[i];
      if (nx < 0 || ny < 0 || nx >= image.buffer.width || ny >= image.buffer.height) continue;
      if (image.At(nx, ny) != old) continue;
      SetSurfacePixel(image.buffer, nx, ny, fill);
      open.push_back({nx, ny});
    }
  }
}

void DrawOutline(Image& image, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  for (int32_t x = left; x <= right; ++x) {
    SetSurfacePixel(image.buffer, x, top, kBlack);
    SetSurfacePixel(image.buffer, x, bottom, kBlack);
  }
  for (int32_t y = top; y <= bottom; ++y) {
    SetSurfacePixel(image.buffer, left, y, kBlack);
    SetSurfacePixel(image.buffer, right, y, kBlack);
  }
}

}  // namespace

TEST(SurfacePixels, FormatsRoundTripByDepth) {
  Image sixteen(3, 2, 16, 0), twentyFour(3, 2, 24, 0), thirtyTwo(3, 2, 32, 0);
  SetSurfacePixel(sixteen.buffer, 1, 1, kWhite);
  EXPECT_EQ(sixteen.At(1, 1), 0xF8F8F8u);
  SetSurfacePixel(sixteen.buffer, 2, 1, 0x123456);
  EXPECT_EQ(sixteen.At(2, 1), 0x103050u);
  for (Image* image : {&twentyFour, &thirtyTwo}) {
    SetSurfacePixel(image->buffer, 2, 1, 0x123456);
    EXPECT_EQ(image->At(2, 1), 0x123456u) << image->buffer.depth;
    EXPECT_EQ(image->At(1, 1), 0u) << image->buffer.depth;
    EXPECT_TRUE(image->PaddingIntact()) << image->buffer.depth;
  }
  // The whole value is stored at 32 bits, but only the colour is read.
  SetSurfacePixel(thirtyTwo.buffer, 0, 0, 0xAB123456);
  EXPECT_EQ(thirtyTwo.bytes[3], 0xAB);
  EXPECT_EQ(thirtyTwo.At(0, 0), 0x123456u);
  // The top bit of a 16-bit pixel is not colour.
  sixteen.bytes[1] = 0xFF;
  sixteen.bytes[0] = 0xFF;
  EXPECT_EQ(sixteen.At(0, 0), 0xF8F8F8u);
  EXPECT_TRUE(sixteen.PaddingIntact());
}

TEST(SurfacePixels, OutsideReadsZeroAndWritesNothing) {
  for (int32_t depth : {16, 24, 32}) {
    Image image(4, 3, depth, kWhite);
    const std::vector<uint8_t> before = image.bytes;
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {INT32_MIN, INT32_MAX}}) {
      EXPECT_EQ(image.At(x, y), 0u) << depth;
      SetSurfacePixel(image.buffer, x, y, kRed);
    }
    EXPECT_EQ(image.bytes, before) << depth;
  }
  Image eight(4, 3, 8, 0);
  SetSurfacePixel(eight.buffer, 1, 1, kRed);
  EXPECT_EQ(eight.At(1, 1), 0u);
}

TEST(SurfacePixels, BottomUpRowsAreAddressedFromTheTop) {
  Image image(2, 3, 32, kWhite);
  const PixelBuffer bottomUp{image.bytes.data() + 2 * image.stride, -image.stride, 2, 3, 32};
  SetSurfacePixel(bottomUp, 1, 0, kRed);
  EXPECT_EQ(image.At(1, 2), kRed);
  EXPECT_EQ(SurfacePixel(bottomUp, 1, 0), kRed);
  EXPECT_EQ(SeedFill(bottomUp, 0, 0, kBlack), SeedFillOutcome::kFilled);
  EXPECT_EQ(image.Count(kBlack), 5u);
}

TEST(SeedFill, StopsAtTheOutlineAndNeverLeaksDiagonally) {
  for (int32_t depth : {16, 24, 32}) {
    Image inside(20, 12, depth, kWhite);
    DrawOutline(inside, 3, 2, 15, 9);
    // A diagonal gap: the corner pixel is missing but its neighbours close it.
    SetSurfacePixel(inside.buffer, 15, 9, kWhite);
    Image outside = inside;

    EXPECT_EQ(SeedFill(inside.buffer, 8, 5, kRed), SeedFillOutcome::kFilled);
    const uint32_t red = SurfacePixel(inside.buffer, 8, 5);
    EXPECT_EQ(inside.Count(red), size_t(11 * 6)) << depth;
    EXPECT_EQ(inside.At(0, 0), inside.At(19, 11)) << depth;
    EXPECT_NE(inside.At(0, 0), red) << depth;

    EXPECT_EQ(SeedFill(outside.buffer, 0, 0, kRed), SeedFillOutcome::kFilled);
    EXPECT_EQ(outside.Count(red), size_t(20 * 12 - 13 * 8 + 1)) << depth;
    EXPECT_NE(outside.At(8, 5), red) << depth;
    EXPECT_TRUE(inside.PaddingIntact() && outside.PaddingIntact()) << depth;
  }
}

TEST(SeedFill, MatchesABreadthFirstFillOnNoise) {
  uint32_t state = 12345;
  const auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 40; ++round) {
    const int32_t width = 1 + next() % 40, height = 1 + next() % 30;
    Image image(width, height, 32, kWhite);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        if (next() % 100 < 40) SetSurfacePixel(image.buffer, x, y, kBlack);
    const int32_t sx = next() % width, sy = next() % height;
    Image expected = image;
    ReferenceFill(expected, sx, sy, kRed);
    SeedFill(image.buffer, sx, sy, kRed);
    ASSERT_EQ(image.bytes, expected.bytes) << "round " << round;
  }
}

TEST(SeedFill, NothingChangesForTheSeedsColourAnOutsideSeedOrAnotherDepth) {
  Image image(5, 5, 32, kWhite);
  DrawOutline(image, 1, 1, 3, 3);
  const std::vector<uint8_t> before = image.bytes;
  EXPECT_EQ(SeedFill(image.buffer, 0, 0, kWhite), SeedFillOutcome::kUnchanged);
  // Differs only in the free top byte: painting it would never end the fill.
  EXPECT_EQ(SeedFill(image.buffer, 0, 0, 0x01FFFFFF), SeedFillOutcome::kUnchanged);
  for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 5}})
    EXPECT_EQ(SeedFill(image.buffer, x, y, kRed), SeedFillOutcome::kSeedOutside);
  EXPECT_EQ(image.bytes, before);

  Image twentyFour(5, 5, 24, kWhite);
  const std::vector<uint8_t> white24 = twentyFour.bytes;
  EXPECT_EQ(SeedFill(twentyFour.buffer, 2, 2, 0x01FFFFFF), SeedFillOutcome::kUnchanged);
  EXPECT_EQ(twentyFour.bytes, white24);

  // Differs from white only below the 5-5-5 precision.
  Image sixteen(5, 5, 16, kWhite);
  EXPECT_EQ(SeedFill(sixteen.buffer, 2, 2, 0xFCFCFC), SeedFillOutcome::kUnchanged);
  EXPECT_EQ(SeedFill(sixteen.buffer, 2, 2, kRed), SeedFillOutcome::kFilled);
  EXPECT_EQ(sixteen.Count(0xF80000), 25u);

  Image eight(5, 5, 8, 0);
  EXPECT_EQ(SeedFill(eight.buffer, 2, 2, kRed), SeedFillOutcome::kUnchanged);
}

// Black pixels where x and y are both odd: every row pair branches at every
// other column, which needs about a million pending segments at once.
TEST(SeedFill, FillsAWholeLattice) {
  Image image(2000, 2000, 32, kWhite);
  for (int32_t y = 1; y < 2000; y += 2)
    for (int32_t x = 1; x < 2000; x += 2) SetSurfacePixel(image.buffer, x, y, kBlack);
  EXPECT_EQ(SeedFill(image.buffer, 0, 0, kRed), SeedFillOutcome::kFilled);
  EXPECT_EQ(image.Count(kWhite), 0u);
  EXPECT_EQ(image.Count(kRed), 3000000u);
  EXPECT_TRUE(image.PaddingIntact());
}

TEST(TransformPixels, MapsEachChannelAndKeepsTheFourthByte) {
  uint8_t invert[256], identity[256], zero[256] = {};
  for (int i = 0; i < 256; ++i) invert[i] = uint8_t(255 - i), identity[i] = uint8_t(i);

  Image thirtyTwo(3, 2, 32, 0);
  SetSurfacePixel(thirtyTwo.buffer, 1, 1, 0x7F123456);
  ASSERT_TRUE(TransformPixels(thirtyTwo.buffer, invert, invert, invert));
  EXPECT_EQ(thirtyTwo.At(1, 1), 0xEDCBA9u);
  EXPECT_EQ(thirtyTwo.bytes[size_t(thirtyTwo.stride) + 7], 0x7F);
  EXPECT_EQ(thirtyTwo.At(0, 0), kWhite);
  EXPECT_TRUE(thirtyTwo.PaddingIntact());

  Image twentyFour(3, 2, 24, 0x123456);
  ASSERT_TRUE(TransformPixels(twentyFour.buffer, zero, identity, invert));
  EXPECT_EQ(twentyFour.At(2, 1), 0x0034A9u);
  EXPECT_TRUE(twentyFour.PaddingIntact());

  Image sixteen(3, 2, 16, 0x123456);
  const std::vector<uint8_t> before = sixteen.bytes;
  EXPECT_FALSE(TransformPixels(sixteen.buffer, invert, invert, invert));
  EXPECT_EQ(sixteen.bytes, before);
}
