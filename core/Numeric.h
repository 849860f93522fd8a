// Number conversions the language needs and C++ leaves undefined.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>

// A double as a 32-bit integer: truncated toward zero, saturated at the
// integer's limits, NaN as 0 (a plain cast is undefined outside the range).
inline int32_t SaturatedInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= double(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  if (value >= double(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}
