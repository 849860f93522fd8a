// Rectangles, ticks and byte order.
#include "core/utility.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/platform.h"

namespace {

// The process start, until the host takes its own origin at start-up.
auto tickOrigin = std::chrono::steady_clock::now();

int16_t Clamp16(int32_t value) {
  return int16_t(std::min<int32_t>(INT16_MAX, std::max<int32_t>(INT16_MIN, value)));
}

uint32_t MillisecondsToTicks(uint64_t milliseconds) {
  return uint32_t(milliseconds * 60 / 1000);
}

}  // namespace

extern "C" {

void MacSetRect(MacRect* rect, int16_t left, int16_t top, int16_t right, int16_t bottom) {
  *rect = {top, left, bottom, right};
}

void MacOffsetRect(MacRect* rect, int16_t dh, int16_t dv) {
  rect->left = Clamp16(rect->left + dh);
  rect->right = Clamp16(rect->right + dh);
  rect->top = Clamp16(rect->top + dv);
  rect->bottom = Clamp16(rect->bottom + dv);
}

void MacInsetRect(MacRect* rect, int16_t dh, int16_t dv) {
  rect->left = Clamp16(rect->left + dh);
  rect->right = Clamp16(rect->right - dh);
  rect->top = Clamp16(rect->top + dv);
  rect->bottom = Clamp16(rect->bottom - dv);
}

bool MacSectRect(const MacRect* a, const MacRect* b, MacRect* out) {
  MacRect section{std::max(a->top, b->top), std::max(a->left, b->left),
                  std::min(a->bottom, b->bottom), std::min(a->right, b->right)};
  if (section.top >= section.bottom || section.left >= section.right) {
    *out = {0, 0, 0, 0};
    return false;
  }
  *out = section;
  return true;
}

bool MacPtInRect(MacPoint point, const MacRect* rect) {
  return point.h >= rect->left && point.h < rect->right && point.v >= rect->top &&
         point.v < rect->bottom;
}

uint32_t MacTickCount() {
  auto elapsed = std::chrono::steady_clock::now() - tickOrigin;
  return MillisecondsToTicks(
      uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

void MacTickCountSetOrigin() { tickOrigin = std::chrono::steady_clock::now(); }

uint32_t MacGetDblTime() { return MillisecondsToTicks(platform::DoubleClickTimeMs()); }

uint16_t ByteSwap16(uint16_t value) { return uint16_t((value >> 8) | (value << 8)); }
uint16_t ByteSwapShort(uint16_t value) { return ByteSwap16(value); }

uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}
uint32_t ByteSwapLong(uint32_t value) { return ByteSwap32(value); }

double ByteSwapDouble(double value) {
  ReverseBytes(&value, sizeof value);
  return value;
}

uint16_t GetBigEndian16(const void* address) {
  auto* bytes = static_cast<const uint8_t*>(address);
  return uint16_t((bytes[0] << 8) | bytes[1]);
}

uint32_t GetBigEndian32(const void* address) {
  auto* bytes = static_cast<const uint8_t*>(address);
  return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
         bytes[3];
}

void PutBigEndian16(void* address, uint16_t value) {
  auto* bytes = static_cast<uint8_t*>(address);
  bytes[0] = uint8_t(value >> 8);
  bytes[1] = uint8_t(value);
}

void PutBigEndian32(void* address, uint32_t value) {
  auto* bytes = static_cast<uint8_t*>(address);
  bytes[0] = uint8_t(value >> 24);
  bytes[1] = uint8_t(value >> 16);
  bytes[2] = uint8_t(value >> 8);
  bytes[3] = uint8_t(value);
}

void ReverseBytes(void* address, int32_t count) {
  if (count > 1) std::reverse(static_cast<uint8_t*>(address), static_cast<uint8_t*>(address) + count);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "utility is portable: it must not include <windows.h>."
#endif
