// The benchmarks' clock: seconds on the monotonic clock, and the fastest of
// several passes of the same work.
#pragma once
#include <chrono>

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The seconds of the fastest of `passes` runs of `pass`.
template <typename Pass>
double FastestPass(int passes, Pass pass) {
  double fastest = 0;
  for (int i = 0; i < passes; ++i) {
    const double start = Now();
    pass();
    const double seconds = Now() - start;
    if (i == 0 || seconds < fastest) fastest = seconds;
  }
  return fastest;
}
