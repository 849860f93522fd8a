// The screen's resolution, conversions between screen pixels and HIMETRIC,
// and the version a system DLL reports.
#pragma once
#include <cstdint>

// The screen's logical pixels per inch, across and down.
struct ScreenResolution {
  int x;
  int y;
};
ScreenResolution ScreenPixelsPerInch();

extern "C" {
// Screen pixels to hundredths of a millimetre (toHimetric) or back, in place,
// rounding to nearest by the screen's LOGPIXELSX / LOGPIXELSY. A nil pointer
// is skipped.
void ConvertPixelsHimetric(int32_t* x, int32_t* y, bool toHimetric);
// (major << 16) | minor from the DLL's DllGetVersion; 0 when the DLL, the
// export or the call fails. Loading never shows a system error box, and the
// DLL is freed afterwards.
uint32_t GetDllVersion(const wchar_t* dllName);
}
