// Packed DIBs read field by field from little-endian bytes, every size
// worked out in 64 bits before it is compared with the length.
#include "graphics/PackedDIB.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr size_t kFileHeaderSize = 14;
constexpr int32_t kLargestFileResolution = 65535;

uint16_t ReadU16(const uint8_t* at) { return uint16_t(at[0] | at[1] << 8); }
uint32_t ReadU32(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
int32_t ReadI32(const uint8_t* at) { return int32_t(ReadU32(at)); }

void WriteU16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}
void WriteU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

bool IsKnownHeaderSize(uint32_t size) {
  return size == kCoreHeaderSize || size == 40 || size == 52 || size == 56 || size == 108 ||
         size == 124;
}

bool IsDIBDepth(uint32_t bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
         bitCount == 32;
}

bool IsSideInRange(int64_t side) { return side >= 1 && side <= kDIBMaximumSide; }

// The fields of the core header; its table is 3-byte entries, full size.
bool ReadCoreHeader(const uint8_t* bytes, PackedDIBView* view) {
  view->width = ReadU16(bytes + 4);
  view->height = ReadU16(bytes + 6);
  view->topDown = false;
  view->bitCount = ReadU16(bytes + 10);
  view->compression = kDIBCompressionRGB;
  view->entrySize = 3;
  view->colorCount = view->bitCount <= 8 ? 1u << view->bitCount : 0;
  view->tableOffset = kCoreHeaderSize;
  view->xPelsPerMeter = view->yPelsPerMeter = 0;
  return IsDIBDepth(view->bitCount);
}

// The fields of the info header and its later forms; bitfield masks sit
// inside the longer headers and right after the 40-byte one.
bool IsRunLengthOf(uint32_t compression, uint32_t bitCount) {
  return (compression == kDIBCompressionRLE8 && bitCount == 8) ||
         (compression == kDIBCompressionRLE4 && bitCount == 4);
}

bool ReadInfoHeader(const uint8_t* bytes, size_t length, bool allowRuns, PackedDIBView* view) {
  int32_t height = ReadI32(bytes + 8);
  view->width = ReadI32(bytes + 4);
  view->topDown = height < 0;
  view->height = height == INT32_MIN ? 0 : (height < 0 ? -height : height);
  view->bitCount = ReadU16(bytes + 14);
  view->compression = ReadU32(bytes + 16);
  view->xPelsPerMeter = ReadI32(bytes + 24);
  view->yPelsPerMeter = ReadI32(bytes + 28);
  view->entrySize = 4;
  view->tableOffset = view->headerSize;
  if (!IsDIBDepth(view->bitCount)) return false;
  if (view->compression == kDIBCompressionBitfields) {
    if (view->bitCount != 16 && view->bitCount != 32) return false;
    if (view->headerSize == kDIBInfoHeaderSize) {
      if (length < kDIBInfoHeaderSize + 12) return false;
      view->tableOffset = kDIBInfoHeaderSize + 12;
    }
    for (int i = 0; i < 3; ++i) view->masks[i] = ReadU32(bytes + 40 + 4 * i);
  } else if (view->compression != kDIBCompressionRGB &&
             !(allowRuns && !view->topDown && IsRunLengthOf(view->compression, view->bitCount))) {
    return false;
  }
  uint32_t used = ReadU32(bytes + 32);
  uint32_t full = view->bitCount <= 8 ? 1u << view->bitCount : 0;
  if (view->bitCount <= 8 && used > full) return false;
  view->colorCount = used != 0 ? used : full;
  return true;
}

}  // namespace

uint32_t DIBStride(int64_t width, uint32_t bitCount) {
  if (width < 0) return 0;
  int64_t stride = (width * bitCount + 31) / 32 * 4;
  return stride > int64_t(UINT32_MAX) ? 0 : uint32_t(stride);
}

namespace {

// The bytes of pixel data the view stands for: the plain rows, or the runs
// (biSizeImage, or up to the length when that is 0).
uint64_t PixelDataSize(const uint8_t* bytes, size_t length, const PackedDIBView& view) {
  if (!IsRunLengthOf(view.compression, view.bitCount)) return view.imageSize;
  uint32_t stated = ReadU32(bytes + 20);
  return stated != 0 ? stated : (length > view.pixelOffset ? length - view.pixelOffset : 0);
}

bool ReadDIB(const uint8_t* bytes, size_t length, bool allowRuns, PackedDIBView* view,
             uint32_t* dataSize) {
  if (!bytes || length < 4) return false;
  PackedDIBView found{};
  found.headerSize = ReadU32(bytes);
  if (!IsKnownHeaderSize(found.headerSize) || length < found.headerSize) return false;
  bool read = found.headerSize == kCoreHeaderSize ? ReadCoreHeader(bytes, &found)
                                                  : ReadInfoHeader(bytes, length, allowRuns, &found);
  if (!read || !IsSideInRange(found.width) || !IsSideInRange(found.height)) return false;
  found.stride = DIBStride(found.width, found.bitCount);
  uint64_t pixelOffset = uint64_t(found.tableOffset) + uint64_t(found.colorCount) * found.entrySize;
  uint64_t imageSize = uint64_t(found.height) * found.stride;
  if (pixelOffset > length || imageSize > UINT32_MAX) return false;
  found.pixelOffset = uint32_t(pixelOffset);
  found.imageSize = uint32_t(imageSize);
  uint64_t data = PixelDataSize(bytes, length, found);
  if (pixelOffset + data > length || pixelOffset + data > UINT32_MAX) return false;
  *view = found;
  *dataSize = uint32_t(data);
  return true;
}

bool ReadBMP(const uint8_t* bytes, size_t length, bool allowRuns, PackedDIBView* view,
             size_t* dibStart, uint32_t* dataSize) {
  if (!bytes || length < kFileHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') return false;
  uint32_t fileSize = ReadU32(bytes + 2);
  uint32_t pixelStart = ReadU32(bytes + 10);
  if (fileSize != 0 && (fileSize < kFileHeaderSize || fileSize > length)) return false;
  size_t dibLength = (fileSize != 0 ? fileSize : length) - kFileHeaderSize;
  PackedDIBView found;
  uint32_t data = 0;
  if (!ReadDIB(bytes + kFileHeaderSize, dibLength, allowRuns, &found, &data)) return false;
  if (pixelStart > kFileHeaderSize + uint64_t(found.pixelOffset)) {
    uint64_t moved = pixelStart - kFileHeaderSize;
    if (moved > dibLength) return false;
    // Runs of unstated length reach from their new start to the end.
    bool runs = IsRunLengthOf(found.compression, found.bitCount);
    if (runs && ReadU32(bytes + kFileHeaderSize + 20) == 0) data = uint32_t(dibLength - moved);
    if (moved + data > dibLength) return false;
    found.pixelOffset = uint32_t(moved);
  }
  *view = found;
  *dibStart = kFileHeaderSize;
  *dataSize = data;
  return true;
}

}  // namespace

bool ReadPackedDIB(const uint8_t* bytes, size_t length, PackedDIBView* view) {
  uint32_t dataSize = 0;
  return ReadDIB(bytes, length, false, view, &dataSize);
}

bool ReadBMPFile(const uint8_t* bytes, size_t length, PackedDIBView* view, size_t* dibStart) {
  uint32_t dataSize = 0;
  return ReadBMP(bytes, length, false, view, dibStart, &dataSize);
}

bool ReadBMPFileWithRuns(const uint8_t* bytes, size_t length, PackedDIBView* view, size_t* dibStart,
                         uint32_t* runLength) {
  uint32_t dataSize = 0;
  if (!ReadBMP(bytes, length, true, view, dibStart, &dataSize)) return false;
  *runLength = IsRunLengthOf(view->compression, view->bitCount) ? dataSize : 0;
  return true;
}

std::vector<uint8_t> NormalisedBitmapInfo(const uint8_t* dib, const PackedDIBView& view) {
  bool bitfields = view.compression == kDIBCompressionBitfields;
  std::vector<uint8_t> info(kDIBInfoHeaderSize + (bitfields ? 12 : 0) + 4 * size_t(view.colorCount));
  uint8_t* out = info.data();
  WriteU32(out, kDIBInfoHeaderSize);
  WriteU32(out + 4, uint32_t(view.width));
  WriteU32(out + 8, uint32_t(view.topDown ? -view.height : view.height));
  WriteU16(out + 12, 1);
  WriteU16(out + 14, view.bitCount);
  WriteU32(out + 16, view.compression);
  WriteU32(out + 20, view.imageSize);
  WriteU32(out + 24, uint32_t(view.xPelsPerMeter));
  WriteU32(out + 28, uint32_t(view.yPelsPerMeter));
  WriteU32(out + 32, view.colorCount);
  uint8_t* table = out + kDIBInfoHeaderSize;
  if (bitfields) {
    for (int i = 0; i < 3; ++i) WriteU32(table + 4 * i, view.masks[i]);
    table += 12;
  }
  const uint8_t* entry = dib + view.tableOffset;
  for (uint32_t i = 0; i < view.colorCount; ++i, entry += view.entrySize, table += 4) {
    std::memcpy(table, entry, 3);  // blue, green, red; the fourth byte stays 0
  }
  return info;
}

uint32_t TableEntriesOfDepth(uint32_t bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 ? 1u << bitCount : 0;
}

int32_t PixelsPerMeter(int32_t dotsPerInch) {
  return int32_t(std::lround(dotsPerInch * 39.37007874015748));
}

int32_t DotsPerInch(int32_t pixelsPerMeter) {
  return pixelsPerMeter <= 0 ? 72 : int32_t(std::lround(pixelsPerMeter / 39.37007874015748));
}

int32_t FileResolution(int32_t dotsPerInch) {
  return dotsPerInch <= 0 ? 72 : std::min(dotsPerInch, kLargestFileResolution);
}

bool SetPackedDIBResolution(uint8_t* dib, size_t size, int32_t xDotsPerInch, int32_t yDotsPerInch) {
  if (size < kDIBInfoHeaderSize || ReadU32(dib) < kDIBInfoHeaderSize) return false;
  WriteU32(dib + 24, uint32_t(PixelsPerMeter(xDotsPerInch)));
  WriteU32(dib + 28, uint32_t(PixelsPerMeter(yDotsPerInch)));
  return true;
}

std::vector<uint8_t> PackedDIBWithInfoHeader(const uint8_t* dib, size_t size) {
  PackedDIBView view;
  if (!ReadPackedDIB(dib, size, &view)) return {};
  std::vector<uint8_t> widened = NormalisedBitmapInfo(dib, view);
  widened.insert(widened.end(), dib + view.pixelOffset, dib + view.pixelOffset + view.imageSize);
  return widened;
}

bool PlanPackedDIB(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorCount,
                   PackedDIBLayout* layout) {
  if (!IsSideInRange(width) || !IsSideInRange(height) || !IsDIBDepth(bitCount)) return false;
  if (colorCount > 256) return false;
  uint32_t stride = DIBStride(width, bitCount);
  uint64_t pixelOffset = kDIBInfoHeaderSize + 4ull * colorCount;
  uint64_t total = pixelOffset + uint64_t(height) * stride;
  if (total > UINT32_MAX) return false;
  *layout = {kDIBInfoHeaderSize, uint32_t(pixelOffset), stride, uint32_t(total)};
  return true;
}

void WritePackedDIBHeader(uint8_t* out, int32_t width, int32_t height, uint16_t bitCount,
                          int32_t xDotsPerInch, int32_t yDotsPerInch) {
  std::memset(out, 0, kDIBInfoHeaderSize);
  WriteU32(out, kDIBInfoHeaderSize);
  WriteU32(out + 4, uint32_t(width));
  WriteU32(out + 8, uint32_t(height));
  WriteU16(out + 12, 1);
  WriteU16(out + 14, bitCount);
  WriteU32(out + 20, uint32_t(height) * DIBStride(width, bitCount));
  WriteU32(out + 24, uint32_t(PixelsPerMeter(xDotsPerInch)));
  WriteU32(out + 28, uint32_t(PixelsPerMeter(yDotsPerInch)));
}

void CopyRowsFlipped(const uint8_t* source, uint32_t sourceStride, uint8_t* destination,
                     uint32_t destinationStride, uint32_t rowBytes, int32_t height) {
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(destination + size_t(height - 1 - row) * destinationStride,
                source + size_t(row) * sourceStride, rowBytes);
  }
}

#ifdef _WINDOWS_
#error "PackedDIB is portable: it must not include <windows.h>."
#endif
