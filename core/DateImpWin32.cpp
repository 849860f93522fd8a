// Date values over Win32 file times: UTC file times to local seconds since
// 1904 and back.
#include "core/DateImpWin32.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "core/Date.h"
#include "core/platform.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
// File times with the top bit set are not valid times for Win32.
constexpr uint64_t kLargestTicks = 0x7FFFFFFFFFFFFFFFull;
constexpr int64_t kLargestSeconds = int64_t(kLargestTicks / kTicksPerSecond);

// Seconds from 1601-01-01 (the file times' origin) to 1904-01-01.
int64_t SecondsFrom1601To1904() {
  static const int64_t seconds = int64_t(-DateSecondsFromFields({1601, 1, 1, 0, 0, 0}));
  return seconds;
}

// The local offset at a UTC instant, for instants inside the file times'
// range.
int64_t LocalOffsetAt(int64_t utcSeconds) {
  return platform::LocalOffsetSecondsAtUTC(std::clamp<int64_t>(utcSeconds, 0, kLargestSeconds));
}

}  // namespace

double DateImpWin32::GetTotalSeconds() const { return set_ ? seconds_ : DateNowSeconds(); }

void DateImpWin32::SetTotalSeconds(double seconds) {
  seconds_ = seconds;
  set_ = true;
}

void DateImpWin32::SetFromFileTime(const FILETIME& utc) {
  const uint64_t ticks = (uint64_t(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  const int64_t utcSeconds = int64_t(ticks / kTicksPerSecond);
  const double fraction = double(ticks % kTicksPerSecond) / kTicksPerSecond;
  const int64_t localSeconds = utcSeconds + LocalOffsetAt(utcSeconds);
  SetTotalSeconds(double(localSeconds - SecondsFrom1601To1904()) + fraction);
}

void DateImpWin32::ToFileTime(FILETIME* utc) const {
  double since1601 = GetTotalSeconds() + double(SecondsFrom1601To1904());
  if (std::isnan(since1601)) since1601 = 0;
  since1601 = std::clamp(since1601, 0.0, double(kLargestSeconds));
  const double whole = std::floor(since1601);
  const int64_t localSeconds = int64_t(whole);
  // The offset belongs to the UTC instant, which is not known yet: take the
  // offset at the local reading first, then the one at the instant it gives,
  // which settles the hours next to a daylight-saving change.
  const int64_t firstGuess = localSeconds - LocalOffsetAt(localSeconds);
  const int64_t utcSeconds = std::max<int64_t>(localSeconds - LocalOffsetAt(firstGuess), 0);
  const int64_t fractionTicks =
      std::min<int64_t>(std::llround((since1601 - whole) * kTicksPerSecond), kTicksPerSecond - 1);
  const uint64_t ticks =
      std::min<uint64_t>(uint64_t(utcSeconds) * kTicksPerSecond + uint64_t(fractionTicks),
                         kLargestTicks);
  utc->dwLowDateTime = DWORD(ticks & 0xFFFFFFFFu);
  utc->dwHighDateTime = DWORD(ticks >> 32);
}

DateImpWin32* NewDateImpWin32() { return new (std::nothrow) DateImpWin32(); }
