// Memory, byte order, rectangles and ticks: the small services every part of the
// run-time leans on. Everything here is plain data and functions; the few that
// need the operating system reach it through platform.h.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {

// ---- Allocator -------------------------------------------------------------
// RuntimeAlloc gives a zero-filled block behind a hidden header {size, guard
// word}. When memory runs out it shows "Out of memory" and ends the process, so
// the result is never null. RuntimeFree(null) is ignored; a block whose guard
// word is damaged is reported through AssertionFailed and not freed. The test
// build fills each freed block with 0xFD, so that a use after free fails
// instead of passing on stale contents by luck.
void* RuntimeAlloc(uint32_t size);
// The same block, or null when memory runs out (for sizes that input decides).
void* RuntimeAllocOrNull(uint32_t size);
void RuntimeFree(void* block);
// Size asked for when the block was made (0 for null).
uint32_t RuntimeBlockSize(const void* block);
// The bytes of the RuntimeAlloc and PoolAlloc blocks not freed yet: sizes as
// asked, a pool block's by its size class (headers and C-heap blocks not
// counted). For measuring what a structure costs; exact on the thread that
// makes the strings (the pairs below), a moment's guess on another while that
// thread makes or frees them.
uint64_t RuntimeLiveBytes();

// Small-block pool. Free a block with the size it was asked with. With mayFail
// a failure gives null; without it the process ends as RuntimeAlloc's does.
void* PoolAlloc(uint32_t size, bool mayFail);
void PoolFree(void* block, uint32_t size);

// A guarded block of `size` bytes (its contents left as they are: the caller
// fills them) and a pool block of `poolSize` bytes (likewise), taken under one
// hold of the allocator lock; as RuntimeAlloc when memory runs out. Each is
// an ordinary block of its allocator: RuntimeFree and PoolFree take them one
// by one, or RuntimeFreePair both at once (the guarded block may have been
// replaced by any other guarded block by then). The first thread to take a
// pair gets back the pairs it frees, a few dozen of each size, without the
// lock; they stay out of reach of every other allocation until then.
void* RuntimeAllocUnfilledPair(uint32_t size, uint32_t poolSize, void** poolBlock);
void RuntimeFreePair(void* block, void* poolBlock, uint32_t poolSize);

// C-heap blocks taken under the allocator lock. Without mayFail a failure is
// reported through AssertionFailed and ends the process.
void* HeapAllocate(uint32_t size, bool mayFail);
void HeapRelease(void* block);

// Overlap-safe copy of count bytes; nothing when count <= 0.
void MoveBytes(void* destination, const void* source, int32_t count);
void FillBytes(void* destination, uint8_t value, int32_t count);
// Note the order: source first.
void MacBlockMove(const void* source, void* destination, int32_t count);

// A growable block of bytes {pointer, size}; the handle owns its pointer.
struct MacHandle {
  void* pointer;
  uint32_t size;
};
static_assert(!kLayoutIs32Bit || sizeof(MacHandle) == 8, "MacHandle is two words");
MacHandle* NewMacHandle(uint32_t size);                       // zero-filled
bool MacHandleAppend(MacHandle* handle, const void* bytes, uint32_t count);
bool MacHandleSetSize(MacHandle* handle, uint32_t size);       // new bytes zero
void DisposeMacHandle(MacHandle* handle);                      // null ignored

// ---- Rectangles ------------------------------------------------------------
struct MacRect {
  int16_t top, left, bottom, right;
};
static_assert(sizeof(MacRect) == 8, "MacRect is four 16-bit values");
struct MacPoint {
  int16_t v, h;
};
static_assert(sizeof(MacPoint) == 4, "MacPoint is two 16-bit values");

void MacSetRect(MacRect* rect, int16_t left, int16_t top, int16_t right, int16_t bottom);
void MacOffsetRect(MacRect* rect, int16_t dh, int16_t dv);
// Moves each side inwards by dh / dv; negative values grow the rectangle.
void MacInsetRect(MacRect* rect, int16_t dh, int16_t dv);
// Intersection into out (which may alias a or b); false and all zero when the
// rectangles do not overlap.
bool MacSectRect(const MacRect* a, const MacRect* b, MacRect* out);
// Top and left inclusive, bottom and right exclusive.
bool MacPtInRect(MacPoint point, const MacRect* rect);

// ---- Time ------------------------------------------------------------------
// Ticks of 1/60 s since the process started, or since the host took its
// origin at start-up (computed in 64 bits, so it does not wrap after a day of
// running; the 32-bit result wraps after 2.2 years).
uint32_t MacTickCount();
// Takes now as tick 0. The host calls it at start-up, on the main thread and
// before any tick-based task or second thread exists.
void MacTickCountSetOrigin();
// The system's double-click time in ticks.
uint32_t MacGetDblTime();

// ---- Byte order ------------------------------------------------------------
uint16_t ByteSwap16(uint16_t value);
uint16_t ByteSwapShort(uint16_t value);
uint32_t ByteSwap32(uint32_t value);
uint32_t ByteSwapLong(uint32_t value);
double ByteSwapDouble(double value);
uint16_t GetBigEndian16(const void* address);
uint32_t GetBigEndian32(const void* address);
void PutBigEndian16(void* address, uint16_t value);
void PutBigEndian32(void* address, uint32_t value);
void ReverseBytes(void* address, int32_t count);

}  // extern "C"

// A four-character code held big-endian in 32 bits: FourCharCode("BMP ").
constexpr uint32_t FourCharCode(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// Short fills and copies with plain stores: objects and strings of a few
// words are made by the hundred thousand, and on this target a call to the C
// library's fill or copy passes through two more calls. Past 64 bytes the C
// library's own.
inline void ShortZero(void* to, size_t bytes) {
  if (bytes > 64) {
    std::memset(to, 0, bytes);
    return;
  }
  auto* out = static_cast<uint8_t*>(to);
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) {
    const uint32_t zero = 0;
    std::memcpy(out + i, &zero, 4);
    __asm__("" : : "r"(out) : "memory");  // keeps the loop from becoming a call
  }
  for (; i < bytes; ++i) out[i] = 0;
}

inline void ShortCopy(void* to, const void* from, size_t bytes) {
  if (bytes > 64) {
    std::memcpy(to, from, bytes);
    return;
  }
  auto* out = static_cast<uint8_t*>(to);
  const auto* in = static_cast<const uint8_t*>(from);
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) {
    uint32_t word;
    std::memcpy(&word, in + i, 4);
    std::memcpy(out + i, &word, 4);
    __asm__("" : : "r"(out) : "memory");
  }
  for (; i < bytes; ++i) {
    out[i] = in[i];
    __asm__("" : : "r"(out) : "memory");
  }
}
