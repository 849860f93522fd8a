// Saturating arithmetic on 16-bit rectangles.
#include "graphics/Rect16.h"

#include <algorithm>

int16_t Saturate16(int64_t value) {
  return int16_t(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

MacRect SaturatedRect16(int64_t top, int64_t left, int64_t bottom, int64_t right) {
  return {Saturate16(top), Saturate16(left), Saturate16(bottom), Saturate16(right)};
}

MacRect OffsetRect16(const MacRect& rect, int32_t dx, int32_t dy) {
  return SaturatedRect16(int64_t(rect.top) + dy, int64_t(rect.left) + dx,
                         int64_t(rect.bottom) + dy, int64_t(rect.right) + dx);
}

int32_t LimitedCoordinate(int64_t coordinate) {
  constexpr int64_t kLimit = int64_t(1) << 30;
  return int32_t(std::clamp(coordinate, -kLimit, kLimit));
}

MacRect NormalizeRect16(const MacRect& rect) {
  return {std::min(rect.top, rect.bottom), std::min(rect.left, rect.right),
          std::max(rect.top, rect.bottom), std::max(rect.left, rect.right)};
}

#ifdef _WINDOWS_
#error "Rect16 is portable: it must not include <windows.h>."
#endif
