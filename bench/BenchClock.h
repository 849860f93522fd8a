// The benchmarks' clock: seconds on the monotonic clock.
#pragma once
#include <chrono>

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
