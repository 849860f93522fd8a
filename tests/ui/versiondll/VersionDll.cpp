// A DLL of the tests' own whose DllGetVersion answers 4.72 (built without the
// export as well, when WITHOUT_VERSION_EXPORT is defined).
#include <shlwapi.h>
#include <windows.h>

#ifndef WITHOUT_VERSION_EXPORT
extern "C" __declspec(dllexport) HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO* info) {
  if (!info || info->cbSize < sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  info->dwMajorVersion = 4;
  info->dwMinorVersion = 72;
  info->dwBuildNumber = 0;
  info->dwPlatformID = DLLVER_PLATFORM_WINDOWS;
  return S_OK;
}
#endif

extern "C" __declspec(dllexport) int VersionTestMarker() { return 1; }
