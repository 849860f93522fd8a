// A date value object over Win32 file times. A new one is unset: its seconds
// read as the current date and time until it is set.
//
// File times count 100 ns ticks since 1601-01-01 UTC; the value is seconds
// since 1904-01-01 local time. The conversions take the local offset in
// force at the instant (daylight saving included). A local time before 1601
// gives the file time 0, one past the file times' range (the year 30827) the
// largest valid file time.
#pragma once
#include <windows.h>

class DateImpWin32 {
 public:
  double GetTotalSeconds() const;
  void SetTotalSeconds(double seconds);
  // A FILETIME in UTC, taken to local time.
  void SetFromFileTime(const FILETIME& utc);
  // The value as a FILETIME in UTC (local time taken to UTC).
  void ToFileTime(FILETIME* utc) const;

 private:
  bool set_ = false;
  double seconds_ = 0;
};

// A new unset date value (nil when memory runs out); the caller deletes it.
DateImpWin32* NewDateImpWin32();
