// The GDI-free pixel code on plain buffers: the transparency masks of every
// depth and the masked blend's arithmetic and sampling.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/PixelOps.h"

namespace {

// A one-row image of two pixels: the first white, the second dark; the mask
// must mark only the first, the masked copy make only the first black.
struct DepthCase {
  int32_t depth;
  std::vector<uint8_t> row;
  std::vector<uint8_t> maskedRow;
};

}  // namespace

TEST(TransparencyMask, MarksWhiteAndBlackensItAtEveryDepth) {
  const DepthCase cases[] = {
      {1, {0x40, 0, 0, 0}, {0xFF, 0, 0, 0}},
      {4, {0x03, 0, 0, 0}, {0xF3, 0, 0, 0}},
      {8, {215, 7, 0, 0}, {0, 7, 0, 0}},
      {16, {0xFF, 0x7F, 0xFE, 0x7F}, {0, 0, 0xFE, 0x7F}},
      {16, {0xFF, 0xFF, 0x00, 0x00}, {0, 0, 0, 0}},  // the top bit is not colour
      {24, {255, 255, 255, 254, 255, 255, 0, 0}, {0, 0, 0, 254, 255, 255, 0, 0}},
      {32, {255, 255, 255, 0, 254, 255, 255, 0}, {0, 0, 0, 0, 254, 255, 255, 0}},
  };
  for (const DepthCase& c : cases) {
    std::vector<uint8_t> row = c.row, masked = c.row, mask(4, 0xAA);
    ASSERT_TRUE(BuildTransparencyMask({row.data(), 8, 2, 1, c.depth}, {masked.data(), 8, 2, 1, c.depth},
                                      {mask.data(), 4, 2, 1, 1}))
        << c.depth;
    EXPECT_EQ(mask[0] & 0xC0, 0x80) << c.depth;
    EXPECT_EQ(masked, c.maskedRow) << c.depth;
  }
  std::vector<uint8_t> bytes(8), mask(4);
  EXPECT_FALSE(BuildTransparencyMask({bytes.data(), 8, 2, 1, 2}, {bytes.data(), 8, 2, 1, 2},
                                     {mask.data(), 4, 2, 1, 1}));
}

TEST(TransparencyMask, FollowsNegativeStrides) {
  // Two rows stored bottom-up: the top row (stored second) is white.
  std::vector<uint8_t> image = {0, 0, 0, 0, 255, 255, 255, 0};
  std::vector<uint8_t> masked = image, mask(8, 0);
  BuildTransparencyMask({image.data() + 4, -4, 1, 2, 32}, {masked.data() + 4, -4, 1, 2, 32},
                        {mask.data(), 4, 1, 2, 1});
  EXPECT_EQ(mask[0], 0x80);
  EXPECT_EQ(mask[4], 0x00);
  EXPECT_EQ(masked[4], 0);
}

TEST(MaskedBlend, MixesByTheMaskGreenByte) {
  uint8_t source[4] = {0, 0, 255, 0};  // red
  uint8_t destination[4] = {255, 0, 0, 0};  // blue
  uint8_t mask[4] = {0x80, 0x80, 0x80, 0};
  MaskedBlend({source, 4, 1, 1, 32}, {mask, 4, 1, 1, 32}, 0, 0, 1, 1, {destination, 4, 1, 1, 24});
  EXPECT_EQ(destination[2], 127);  // red
  EXPECT_EQ(destination[1], 0);
  EXPECT_EQ(destination[0], 128);  // blue

  for (uint8_t m : {uint8_t(0), uint8_t(255)}) {
    uint8_t out[4] = {255, 0, 0, 0};
    uint8_t level[4] = {m, m, m, 0};
    MaskedBlend({source, 4, 1, 1, 32}, {level, 4, 1, 1, 32}, 0, 0, 1, 1, {out, 4, 1, 1, 24});
    EXPECT_EQ(out[2], m == 0 ? 255 : 0);
    EXPECT_EQ(out[0], m == 0 ? 0 : 255);
  }
}

TEST(MaskedBlend, SamplesTheNearestPixelAndStaysInsideTheSource) {
  uint8_t source[8] = {10, 10, 10, 0, 200, 200, 200, 0};
  uint8_t mask[8] = {};
  std::vector<uint8_t> out(12, 0);
  MaskedBlend({source, 8, 2, 1, 32}, {mask, 8, 2, 1, 32}, 0, 0, 2, 1, {out.data(), 12, 4, 1, 24});
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[3], 10);
  EXPECT_EQ(out[6], 200);
  EXPECT_EQ(out[9], 200);

  std::fill(out.begin(), out.end(), 0);
  MaskedBlend({source, 8, 2, 1, 32}, {mask, 8, 2, 1, 32}, 1, 0, 9, 3, {out.data(), 12, 4, 1, 24});
  for (int i = 0; i < 12; i += 3) EXPECT_EQ(out[i], 200) << i;
}

// Both destination depths give the byte formula, truncated per term, at
// every mask level and for channels at and near both ends.
TEST(MaskedBlend, EveryLevelGivesTheByteFormulaAtBothDepths) {
  const uint32_t colours[] = {0x000000, 0xFFFFFF, 0xFF0001, 0x01FE80, 0x7F807F, 0x123456};
  for (uint32_t m = 0; m < 256; ++m) {
    uint32_t level = m << 8;
    for (uint32_t s : colours) {
      for (uint32_t d : colours) {
        uint32_t source = s, out32 = d | 0xAB000000;
        uint8_t out24[4] = {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), 0};
        MaskedBlend({reinterpret_cast<uint8_t*>(&source), 4, 1, 1, 32},
                    {reinterpret_cast<uint8_t*>(&level), 4, 1, 1, 32}, 0, 0, 1, 1,
                    {reinterpret_cast<uint8_t*>(&out32), 4, 1, 1, 32});
        MaskedBlend({reinterpret_cast<uint8_t*>(&source), 4, 1, 1, 32},
                    {reinterpret_cast<uint8_t*>(&level), 4, 1, 1, 32}, 0, 0, 1, 1,
                    {out24, 4, 1, 1, 24});
        uint32_t expected = 0;
        for (int shift : {0, 8, 16}) {
          uint32_t a = s >> shift & 0xFF, b = d >> shift & 0xFF;
          expected |= (a * (255 - m) / 255 + b * m / 255) << shift;
        }
        ASSERT_EQ(out32, expected) << m << " " << s << " " << d;
        ASSERT_EQ(uint32_t(out24[0] | out24[1] << 8 | out24[2] << 16), expected) << m;
      }
    }
  }
}
