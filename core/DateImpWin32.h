// A date value object over Win32 file times. A new one is unset: its seconds
// read as the current date and time until it is set.
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

// A new unset date value; the caller deletes it.
DateImpWin32* NewDateImpWin32();
