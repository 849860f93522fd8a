// Win32 side of the core's operating-system seam.
#include "core/platform.h"

#include <windows.h>

namespace platform {

int32_t ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                       uint32_t buttons) {
  return MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text.c_str()),
                     reinterpret_cast<LPCWSTR>(caption.c_str()),
                     buttons | MB_TASKMODAL | MB_SETFOREGROUND);
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

void WaitForShortLock(uint32_t attempt) {
  if (attempt < 64) {
    YieldProcessor();
  } else if (attempt < 128) {
    SwitchToThread();
  } else {
    Sleep(1);
  }
}

void ExitProcessNow(uint32_t exitCode) { ExitProcess(exitCode); }

uint32_t DoubleClickTimeMs() { return GetDoubleClickTime(); }

uint16_t UserDefaultLanguage() { return GetUserDefaultLangID(); }

std::u16string CodePageToUTF16(uint32_t codePage, const char* bytes, size_t count) {
  if (count == 0) return {};
  int size = MultiByteToWideChar(codePage, 0, bytes, int(count), nullptr, 0);
  if (size <= 0) return std::u16string(count, u'\uFFFD');
  std::u16string result(size_t(size), u'\0');
  MultiByteToWideChar(codePage, 0, bytes, int(count), reinterpret_cast<LPWSTR>(&result[0]),
                      size);
  return result;
}

std::string UTF16ToCodePage(uint32_t codePage, const char16_t* units, size_t count) {
  if (count == 0) return {};
  // No best fit: a character the code page lacks becomes '?', never a
  // look-alike ("8" for the infinity sign).
  auto wide = reinterpret_cast<LPCWSTR>(units);
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(codePage, flags, wide, int(count), nullptr, 0, "?", nullptr);
  if (size <= 0) return std::string(count, '?');
  std::string result(size_t(size), '\0');
  WideCharToMultiByte(codePage, flags, wide, int(count), &result[0], size, "?", nullptr);
  return result;
}

bool IsLeadByte(uint32_t codePage, uint8_t byte) {
  return IsDBCSLeadByteEx(codePage, byte) != FALSE;
}

LocalTime LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

int64_t LocalOffsetSecondsAtUTC(int64_t utcSecondsSince1601) {
  // FileTimeToLocalFileTime would apply today's daylight-saving state; the
  // offset must be the one in force at the instant asked about.
  ULARGE_INTEGER ticks;
  ticks.QuadPart = uint64_t(utcSecondsSince1601) * 10000000ull;
  FILETIME utc{ticks.LowPart, ticks.HighPart};
  SYSTEMTIME utcFields, localFields;
  FILETIME local;
  if (!FileTimeToSystemTime(&utc, &utcFields) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utcFields, &localFields) ||
      !SystemTimeToFileTime(&localFields, &local)) {
    return 0;
  }
  ULARGE_INTEGER localTicks{{local.dwLowDateTime, local.dwHighDateTime}};
  return int64_t(localTicks.QuadPart / 10000000ull) - utcSecondsSince1601;
}

}  // namespace platform
