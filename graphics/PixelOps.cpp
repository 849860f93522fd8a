// Transparency masks and the masked blend.
#include "graphics/PixelOps.h"

#include <algorithm>
#include <vector>

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

namespace {

// x / 255 for x up to 255 x 255, without a division.
inline uint32_t DivideBy255(uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// For each destination position, the source position nearest-neighbour
// scaling maps it to, clamped to 0..last.
std::vector<int32_t> SourcePositions(int32_t from, int32_t to, int32_t count, int32_t last) {
  std::vector<int32_t> positions(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    int64_t at = from + int64_t(to - from) * i / count;
    positions[size_t(i)] = int32_t(std::clamp<int64_t>(at, 0, last));
  }
  return positions;
}

// x / 255 in each of the two 16-bit halves, each up to 255 x 255.
inline uint32_t DivideHalvesBy255(uint32_t x) {
  return (x + 0x00010001 + (x >> 8 & 0x00FF00FF)) >> 8 & 0x00FF00FF;
}

// One row of 32-bit destination pixels: red and blue are blended together in
// the halves of one word, each half truncated on its own as the byte
// arithmetic does. A pixel's sum never passes 255, so no half carries.
void BlendRow32(const uint8_t* sourceRow, const uint8_t* maskRow, const int32_t* columns,
                int32_t width, uint8_t* outRow) {
  const auto* source = reinterpret_cast<const uint32_t*>(sourceRow);
  auto* out = reinterpret_cast<uint32_t*>(outRow);
  for (int32_t c = 0; c < width; ++c) {
    int32_t x = columns[c];
    uint32_t m = maskRow[4 * x + 1];
    uint32_t s = source[x], d = out[c];
    if (m == 0) {
      out[c] = s & 0xFFFFFF;
    } else if (m == 255) {
      out[c] = d & 0xFFFFFF;
    } else {
      uint32_t keep = 255 - m;
      uint32_t redBlue = DivideHalvesBy255((s & 0xFF00FF) * keep) +
                         DivideHalvesBy255((d & 0xFF00FF) * m);
      uint32_t green = DivideBy255((s >> 8 & 0xFF) * keep) + DivideBy255((d >> 8 & 0xFF) * m);
      out[c] = redBlue | green << 8;
    }
  }
}

// One row of 24-bit destination pixels.
void BlendRow(const uint8_t* sourceRow, const uint8_t* maskRow, const int32_t* columns,
              int32_t width, uint8_t* out) {
  for (int32_t c = 0; c < width; ++c, out += 3) {
    const uint8_t* s = sourceRow + 4 * columns[c];
    uint32_t m = maskRow[4 * columns[c] + 1];
    uint32_t keep = 255 - m;
    for (int channel = 0; channel < 3; ++channel) {
      out[channel] = uint8_t(DivideBy255(s[channel] * keep) + DivideBy255(out[channel] * m));
    }
  }
}

}  // namespace

void MaskedBlend(const PixelBuffer& source, const PixelBuffer& mask, int32_t left, int32_t top,
                 int32_t right, int32_t bottom, const PixelBuffer& destination) {
  if (source.width < 1 || source.height < 1 || mask.width < 1 || mask.height < 1) return;
  if (destination.width < 1 || destination.height < 1) return;
  int32_t maxX = std::min(source.width, mask.width) - 1;
  int32_t maxY = std::min(source.height, mask.height) - 1;
  std::vector<int32_t> columns = SourcePositions(left, right, destination.width, maxX);
  std::vector<int32_t> rows = SourcePositions(top, bottom, destination.height, maxY);
  for (int32_t r = 0; r < destination.height; ++r) {
    int32_t y = rows[size_t(r)];
    if (destination.depth == 32) {
      BlendRow32(Row(source, y), Row(mask, y), columns.data(), destination.width,
                 Row(destination, r));
    } else {
      BlendRow(Row(source, y), Row(mask, y), columns.data(), destination.width,
               Row(destination, r));
    }
  }
}

void TransparentCopy(const PixelBuffer& source, const PixelBuffer& mask, int32_t left, int32_t top,
                     int32_t right, int32_t bottom, const PixelBuffer& destination) {
  if (source.width < 1 || source.height < 1 || destination.width < 1 || destination.height < 1) {
    return;
  }
  std::vector<int32_t> columns = SourcePositions(left, right, destination.width, source.width - 1);
  std::vector<int32_t> rows = SourcePositions(top, bottom, destination.height, source.height - 1);
  for (int32_t r = 0; r < destination.height; ++r) {
    int32_t y = rows[size_t(r)];
    const auto* sourceRow = reinterpret_cast<const uint32_t*>(Row(source, y));
    const uint8_t* maskRow = Row(mask, y);
    auto* out = reinterpret_cast<uint32_t*>(Row(destination, r));
    for (int32_t c = 0; c < destination.width; ++c) {
      int32_t x = columns[size_t(c)];
      if (!(maskRow[x >> 3] & (0x80 >> (x & 7)))) out[c] = sourceRow[x] & 0xFFFFFF;
    }
  }
}

#ifdef _WINDOWS_
#error "PixelOps is portable: it must not include <windows.h>."
#endif
