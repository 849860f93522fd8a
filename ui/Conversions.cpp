#include "ui/Conversions.h"

#include <shlwapi.h>
#include <windows.h>

ScreenResolution ScreenPixelsPerInch() {
  HDC screen = GetDC(nullptr);
  ScreenResolution resolution{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
  ReleaseDC(nullptr, screen);
  return resolution;
}

namespace {

constexpr int kHimetricPerInch = 2540;

void Convert(int32_t* value, int pixelsPerInch, bool toHimetric) {
  if (!value || pixelsPerInch <= 0) return;
  *value = toHimetric ? MulDiv(*value, kHimetricPerInch, pixelsPerInch)
                      : MulDiv(*value, pixelsPerInch, kHimetricPerInch);
}

}  // namespace

void ConvertPixelsHimetric(int32_t* x, int32_t* y, bool toHimetric) {
  const ScreenResolution resolution = ScreenPixelsPerInch();
  Convert(x, resolution.x, toHimetric);
  Convert(y, resolution.y, toHimetric);
}

uint32_t GetDllVersion(const wchar_t* dllName) {
  if (!dllName) return 0;
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryW(dllName);
  SetErrorMode(previousMode);
  if (!library) return 0;
  uint32_t version = 0;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetVersion")));
  if (getVersion) {
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (getVersion(&info) == S_OK)
      version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  }
  FreeLibrary(library);
  return version;
}
