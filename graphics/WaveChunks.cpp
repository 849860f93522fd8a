// RIFF/WAVE chunks walked with bounds checks.
#include "graphics/WaveChunks.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kRiffHeaderSize = 12;  // "RIFF", size, "WAVE"
constexpr size_t kChunkHeaderSize = 8;  // four-character id, little-endian size
constexpr size_t kPcmFormatSize = 16;
constexpr size_t kExtraSizeOffset = 16;  // the size word of the extra format bytes

uint32_t ReadU32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

void WriteU16(uint8_t* bytes, uint32_t value) {
  bytes[0] = uint8_t(value);
  bytes[1] = uint8_t(value >> 8);
}

void WriteU32(uint8_t* bytes, uint32_t value) {
  WriteU16(bytes, value);
  WriteU16(bytes + 2, value >> 16);
}

// The chunk as a record, cut at the capacity; its extra-size word is limited
// to the bytes kept beyond the record.
void ReadFormat(const uint8_t* chunk, size_t size, uint8_t* format) {
  const size_t kept = std::min(size, kWaveFormatCapacity);
  std::memcpy(format, chunk, kept);
  const size_t extra = kept > kWaveFormatRecordSize ? kept - kWaveFormatRecordSize : 0;
  const size_t declared = format[kExtraSizeOffset] | format[kExtraSizeOffset + 1] << 8;
  WriteU16(&format[kExtraSizeOffset], uint32_t(std::min(declared, extra)));
}

}  // namespace

bool HasWaveHeader(const uint8_t* bytes, size_t length) {
  return bytes && length >= kRiffHeaderSize && std::memcmp(bytes, "RIFF", 4) == 0 &&
         std::memcmp(bytes + 8, "WAVE", 4) == 0;
}

bool ReadWaveParts(const uint8_t* bytes, size_t length, WaveParts* parts) {
  if (!HasWaveHeader(bytes, length)) return false;
  WaveParts found;
  bool haveFormat = false;
  bool haveData = false;
  size_t at = kRiffHeaderSize;
  while (length - at >= kChunkHeaderSize && !(haveFormat && haveData)) {
    const uint8_t* chunk = bytes + at;
    const size_t body = at + kChunkHeaderSize;
    const size_t size = std::min<size_t>(ReadU32(chunk + 4), length - body);
    if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0 && size >= kPcmFormatSize) {
      ReadFormat(bytes + body, size, found.format);
      haveFormat = true;
    } else if (!haveData && std::memcmp(chunk, "data", 4) == 0) {
      found.samplesOffset = body;
      found.samplesLength = size;
      haveData = true;
    }
    at = body + size + (size & 1);
    if (at > length) break;
  }
  if (!haveFormat || !haveData) return false;
  *parts = found;
  return true;
}

WaveParts HeaderlessWaveParts(size_t length) {
  constexpr uint32_t kPcm = 1;
  constexpr uint32_t kRate = 22050;
  WaveParts parts;
  uint8_t* record = parts.format;
  WriteU16(record, kPcm);       // format tag
  WriteU16(record + 2, 1);      // channels
  WriteU32(record + 4, kRate);  // samples per second
  WriteU32(record + 8, kRate);  // bytes per second
  WriteU16(record + 12, 1);     // block alignment
  WriteU16(record + 14, 8);     // bits per sample
  parts.samplesLength = length;
  return parts;
}
