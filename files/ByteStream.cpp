// Base bodies of the abstract streams, the typed helpers and the compact
// integer form.
#include "files/ByteStream.h"

#include <cstring>
#include <string>

#include "core/string.h"
#include "core/utility.h"

// ---- ByteStream ------------------------------------------------------------------

ByteStream::~ByteStream() = default;
void ByteStream::Flush() {}
void ByteStream::SetSwapBytes() { swapBytes_ = true; }
void ByteStream::ClearSwapBytes() { swapBytes_ = false; }

void* ByteStream::operator new(size_t size) { return HeapAllocate(uint32_t(size), false); }

void* ByteStream::operator new(size_t size, const std::nothrow_t&) noexcept {
  return HeapAllocate(uint32_t(size), true);
}

void ByteStream::operator delete(void* block) noexcept { HeapRelease(block); }

// ---- FileStream ------------------------------------------------------------------

FileStream::~FileStream() = default;

bool FileStream::Read(void*, int32_t, int32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  return false;
}

bool FileStream::Write(const void*, int32_t) { return false; }
bool FileStream::Close() { return false; }
bool FileStream::IsEOF() { return GetPosition() >= GetLength(); }
bool FileStream::SetPosition(int32_t) { return false; }
int32_t FileStream::GetLength() { return -1; }
bool FileStream::SetLength(int32_t) { return false; }
int32_t FileStream::GetPosition() { return -1; }
bool FileStream::Create(const StringRecord*) { return false; }
bool FileStream::Open(const StringRecord*, int32_t) { return false; }
bool FileStream::OpenTemporary(const StringRecord*) { return false; }
void FileStream::CloseHandleOnly() {}
void FileStream::NoOp() {}
void FileStream::Sync() { Flush(); }

// ---- Typed helpers ---------------------------------------------------------------

namespace {

// Reads exactly sizeof(T) bytes into a temporary; true only when all came.
template <class T>
bool ReadExactly(ByteStream& stream, T* into) {
  int32_t got = 0;
  return stream.Read(into, int32_t(sizeof(T)), &got) && got == int32_t(sizeof(T));
}

bool SwapsDoubles(const ByteStream& stream) { return stream.SwapsBytes() && stream.swapDoubles; }

// Doubles are reversed as bit patterns, never passed around as reversed
// doubles: on this processor a reversed value that reads as a signalling NaN
// would come back quietened, one bit changed.
uint64_t BitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

bool ByteStreamWriteShort(ByteStream& stream, int16_t value) {
  uint16_t bits = uint16_t(value);
  if (stream.SwapsBytes()) bits = ByteSwap16(bits);
  return stream.Write(&bits, sizeof bits);
}

bool ByteStreamWriteLong(ByteStream& stream, int32_t value) {
  uint32_t bits = uint32_t(value);
  if (stream.SwapsBytes()) bits = ByteSwap32(bits);
  return stream.Write(&bits, sizeof bits);
}

bool ByteStreamWriteDouble(ByteStream& stream, double value) {
  uint64_t bits = BitsOf(value);
  if (SwapsDoubles(stream)) bits = __builtin_bswap64(bits);
  return stream.Write(&bits, sizeof bits);
}

bool ByteStreamWriteLine(ByteStream& stream, const StringRecord* line) {
  std::string bytes = StringBytes(line);
  bytes += "\r\n";
  return stream.Write(bytes.data(), int32_t(bytes.size()));
}

bool ByteStreamReadShort(ByteStream& stream, int16_t* value) {
  uint16_t bits;
  if (!ReadExactly(stream, &bits)) return false;
  if (stream.SwapsBytes()) bits = ByteSwap16(bits);
  *value = int16_t(bits);
  return true;
}

bool ByteStreamReadLong(ByteStream& stream, int32_t* value) {
  uint32_t bits;
  if (!ReadExactly(stream, &bits)) return false;
  if (stream.SwapsBytes()) bits = ByteSwap32(bits);
  *value = int32_t(bits);
  return true;
}

bool ByteStreamReadDouble(ByteStream& stream, double* value) {
  uint64_t bits;
  if (!ReadExactly(stream, &bits)) return false;
  if (SwapsDoubles(stream)) bits = __builtin_bswap64(bits);
  std::memcpy(value, &bits, sizeof bits);
  return true;
}

// ---- Compact integers --------------------------------------------------------------

namespace {

constexpr uint8_t kMoreFollows = 0x80;
constexpr uint8_t kNegative = 0x40;
constexpr uint32_t kMostNegativeMagnitude = 0x80000000u;
// The fifth byte carries bits 27 to 31 only.
constexpr uint8_t kLastByteLimit = 0x1F;

}  // namespace

int32_t EncodeCompactInt(int32_t value, uint8_t* out) {
  // The most negative value has no positive twin: it travels as its
  // unsigned magnitude, without a sign.
  const bool negative = value < 0 && uint32_t(value) != kMostNegativeMagnitude;
  uint32_t magnitude = negative ? 0u - uint32_t(value) : uint32_t(value);
  uint8_t byte = uint8_t((magnitude & 0x3F) | (negative ? kNegative : 0));
  magnitude >>= 6;
  int32_t count = 0;
  while (magnitude != 0) {
    out[count++] = byte | kMoreFollows;
    byte = uint8_t(magnitude & 0x7F);
    magnitude >>= 7;
  }
  out[count++] = byte;
  return count;
}

bool ByteStreamWriteCompactInt(ByteStream& stream, int32_t value) {
  uint8_t bytes[kCompactIntMaxBytes];
  return stream.Write(bytes, EncodeCompactInt(value, bytes));
}

int32_t DecodeCompactInt(const uint8_t* bytes, size_t count, int32_t* value) {
  if (count == 0) return 0;
  uint8_t byte = bytes[0];
  const bool negative = (byte & kNegative) != 0;
  uint32_t magnitude = byte & 0x3F;
  int shift = 6;
  int32_t used = 1;
  // The fifth byte may not ask for a sixth: the limit ends the loop.
  for (; byte & kMoreFollows; ++used, shift += 7) {
    if (size_t(used) >= count) return 0;
    byte = bytes[used];
    if (used == kCompactIntMaxBytes - 1 && byte > kLastByteLimit) return 0;
    magnitude |= uint32_t(byte & 0x7F) << shift;
  }
  if (magnitude == kMostNegativeMagnitude || !negative) {
    *value = int32_t(magnitude);
  } else {
    *value = int32_t(0u - magnitude);
  }
  return used;
}

bool ByteStreamReadCompactInt(ByteStream& stream, int32_t* value) {
  uint8_t bytes[kCompactIntMaxBytes];
  int32_t count = 0;
  do {
    if (!ReadExactly(stream, &bytes[count])) return false;
  } while ((bytes[count++] & kMoreFollows) && count < kCompactIntMaxBytes);
  return DecodeCompactInt(bytes, size_t(count), value) == count;
}

#ifdef _WINDOWS_
#error "ByteStream is portable: it must not include <windows.h>."
#endif
