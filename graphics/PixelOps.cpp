// Transparency masks and the masked blend.
#include "graphics/PixelOps.h"

#include <algorithm>

namespace {

uint8_t* Row(const PixelBuffer& buffer, int32_t y) { return buffer.base + int64_t(y) * buffer.stride; }

void SetMaskBit(uint8_t* maskRow, int32_t x) { maskRow[x >> 3] |= uint8_t(0x80 >> (x & 7)); }

uint32_t ReadLE(const uint8_t* at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint32_t(at[i]) << (8 * i);
  return value;
}

// Whether the pixel at x of the row is transparent, and makes it black in
// the masked row.
bool TakeTransparent(int32_t depth, const uint8_t* row, uint8_t* masked, int32_t x) {
  switch (depth) {
    case 4: {
      int shift = x & 1 ? 0 : 4;
      if ((row[x >> 1] >> shift & 0xF) != 0) return false;
      masked[x >> 1] |= uint8_t(0xF << shift);
      return true;
    }
    case 8:
      if (row[x] != 215) return false;
      masked[x] = 0;
      return true;
    case 16:
      if ((ReadLE(row + 2 * x, 2) & 0x7FFF) != 0x7FFF) return false;
      masked[2 * x] = masked[2 * x + 1] = 0;
      return true;
    case 24:
      if (ReadLE(row + 3 * x, 3) != 0xFFFFFF) return false;
      std::fill(masked + 3 * x, masked + 3 * x + 3, uint8_t(0));
      return true;
    default:
      if ((ReadLE(row + 4 * x, 4) & 0xFFFFFF) != 0xFFFFFF) return false;
      std::fill(masked + 4 * x, masked + 4 * x + 4, uint8_t(0));
      return true;
  }
}

}  // namespace

bool BuildTransparencyMask(const PixelBuffer& image, const PixelBuffer& maskedImage,
                           const PixelBuffer& mask) {
  int32_t depth = image.depth;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
    return false;
  }
  int32_t maskBytes = (image.width + 7) / 8;
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = Row(image, y);
    uint8_t* masked = Row(maskedImage, y);
    uint8_t* maskRow = Row(mask, y);
    if (depth == 1) {
      // A clear bit is white: the mask is the inverted image, the masked
      // image all black.
      for (int32_t i = 0; i < maskBytes; ++i) {
        maskRow[i] = uint8_t(~row[i]);
        masked[i] = 0xFF;
      }
      continue;
    }
    std::fill(maskRow, maskRow + maskBytes, uint8_t(0));
    for (int32_t x = 0; x < image.width; ++x) {
      if (TakeTransparent(depth, row, masked, x)) SetMaskBit(maskRow, x);
    }
  }
  return true;
}

void MaskedBlend(const PixelBuffer& source, const PixelBuffer& mask, int32_t left, int32_t top,
                 int32_t right, int32_t bottom, const PixelBuffer& destination) {
  if (source.width < 1 || source.height < 1 || mask.width < 1 || mask.height < 1) return;
  int32_t maxX = std::min(source.width, mask.width) - 1;
  int32_t maxY = std::min(source.height, mask.height) - 1;
  for (int32_t r = 0; r < destination.height; ++r) {
    int64_t sy = top + int64_t(bottom - top) * r / destination.height;
    int32_t y = int32_t(std::clamp<int64_t>(sy, 0, maxY));
    const uint8_t* sourceRow = Row(source, y);
    const uint8_t* maskRow = Row(mask, y);
    uint8_t* out = Row(destination, r);
    for (int32_t c = 0; c < destination.width; ++c) {
      int64_t sx = left + int64_t(right - left) * c / destination.width;
      int32_t x = int32_t(std::clamp<int64_t>(sx, 0, maxX));
      uint32_t m = maskRow[4 * x + 1];
      for (int channel = 0; channel < 3; ++channel) {
        uint32_t s = sourceRow[4 * x + channel], d = out[3 * c + channel];
        out[3 * c + channel] = uint8_t(s * (255 - m) / 255 + d * m / 255);
      }
    }
  }
}
