// The 16-bit rectangles {top, left, bottom, right} of drawing: worked out in
// 32 bits and saturated to -32768..32767, never wrapped.
#pragma once
#include <cstdint>

#include "core/utility.h"

int16_t Saturate16(int64_t value);
MacRect SaturatedRect16(int64_t top, int64_t left, int64_t bottom, int64_t right);
// The rectangle moved by (dx, dy), saturated.
MacRect OffsetRect16(const MacRect& rect, int32_t dx, int32_t dy);
// A point coordinate held to +-2^30: far beyond any device, yet leaving the
// port room to add pane offsets and pen sizes without overflow.
int32_t LimitedCoordinate(int64_t coordinate);
// Left and right swapped when left > right, top and bottom when top > bottom.
MacRect NormalizeRect16(const MacRect& rect);
