// Platform answers, A/W call forms and UTF-16 conversions.
#include "ui/WinUtil.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "core/utility.h"

namespace {

constexpr int32_t kScriptJapanese = 13;
constexpr int32_t kScriptChinese = 21;

std::string AsciiClassName(const char* name) { return name ? std::string(name) : std::string(); }

std::wstring WideClassName(const char* name) {
  std::string ascii = AsciiClassName(name);
  return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

bool ApplyForcedAnsiLine() {
  const char* value = std::getenv("KV_FORCE_ANSI");
  if (!value || std::strcmp(value, "1") != 0) return false;
  OverrideWindowsNT(0);
  return true;
}

void SetWindowsXPForTest(int answer) { OverrideWindowsXP(answer); }

LRESULT CallWindowProcAuto(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam) {
  return IsWindowsNT() ? CallWindowProcW(procedure, window, message, wParam, lParam)
                       : CallWindowProcA(procedure, window, message, wParam, lParam);
}

LONG_PTR GetWindowLongAuto(HWND window, int index) {
  return IsWindowsNT() ? GetWindowLongPtrW(window, index) : GetWindowLongPtrA(window, index);
}

LONG_PTR SetWindowLongAuto(HWND window, int index, LONG_PTR value) {
  return IsWindowsNT() ? SetWindowLongPtrW(window, index, value)
                       : SetWindowLongPtrA(window, index, value);
}

LRESULT DefWindowProcAuto(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return IsWindowsNT() ? DefWindowProcW(window, message, wParam, lParam)
                       : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT SendMessageAuto(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return IsWindowsNT() ? SendMessageW(window, message, wParam, lParam)
                       : SendMessageA(window, message, wParam, lParam);
}

HWND CreateWindowAuto(DWORD exStyle, const char* className, const StringRecord* text,
                      DWORD style, int x, int y, int width, int height, HWND parent,
                      HMENU menu, void* parameter) {
  HINSTANCE instance = RuntimeInstanceHandle() ? RuntimeInstanceHandle() : GetModuleHandleW(nullptr);
  if (IsWindowsNT()) {
    std::wstring wideText = StringToWide(text);
    return CreateWindowExW(exStyle, WideClassName(className).c_str(), wideText.c_str(), style, x,
                           y, width, height, parent, menu, instance, parameter);
  }
  StringRef systemText = StringRef::Adopt(StringToSystemEncoding(text));
  return CreateWindowExA(exStyle, AsciiClassName(className).c_str(), StringCStr(systemText.get()),
                         style, x, y, width, height, parent, menu, instance, parameter);
}

std::string WindowClassName(HWND window) {
  char name[256] = {};
  if (!window || !GetClassNameA(window, name, int(sizeof name))) return std::string();
  return name;
}

bool SetWindowTextAuto(HWND window, const StringRecord* text) {
  if (IsWindowsNT()) return SetWindowTextW(window, StringToWide(text).c_str()) != FALSE;
  StringRef systemText = StringRef::Adopt(StringToSystemEncoding(text));
  return SetWindowTextA(window, StringCStr(systemText.get())) != FALSE;
}

StringRecord* GetWindowTextAuto(HWND window) {
  if (IsWindowsNT()) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> units(size_t(length > 0 ? length : 0) + 1, L'\0');
    int copied = GetWindowTextW(window, units.data(), int(units.size()));
    return StringFromUTF16(reinterpret_cast<const uint16_t*>(units.data()), copied > 0 ? copied : 0);
  }
  int length = GetWindowTextLengthA(window);
  std::vector<char> bytes(size_t(length > 0 ? length : 0) + 1, '\0');
  int copied = GetWindowTextA(window, bytes.data(), int(bytes.size()));
  return NewString(bytes.data(), size_t(copied > 0 ? copied : 0), GetSystemTextEncoding());
}

bool DispatchOnePendingMessage() {
  MSG message;
  bool got = IsWindowsNT() ? PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE
                           : PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
  if (!got) return false;
  if (message.message == WM_QUIT) {
    // Left for the main loop, which ends on it.
    PostQuitMessage(int(message.wParam));
    return true;
  }
  TranslateMessage(&message);
  if (IsWindowsNT()) {
    DispatchMessageW(&message);
  } else {
    DispatchMessageA(&message);
  }
  return true;
}

bool IsMouseButtonDown() {
  int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (GetAsyncKeyState(button) & 0x8000) != 0;
}

UINT SystemEncodingCodePage() { return encoding::CodePageOf(GetSystemTextEncoding()); }

BYTE CharsetForSystemScript() {
  switch (RuntimeSystemScript()) {
    case kScriptJapanese:
      return SHIFTJIS_CHARSET;
    case kScriptChinese:
      return CHINESEBIG5_CHARSET;
    default:
      return DEFAULT_CHARSET;
  }
}

std::wstring StringToWide(const StringRecord* string) {
  std::u16string units =
      encoding::ToUTF16(StringData(string), StringLength(string), StringEncoding(string));
  return std::wstring(units.begin(), units.end());
}

wchar_t* StringToWideAlloc(const StringRecord* string) {
  std::wstring text = StringToWide(string);
  auto* buffer = static_cast<wchar_t*>(RuntimeAlloc(uint32_t((text.size() + 1) * sizeof(wchar_t))));
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return buffer;
}

StringRecord* StringFromWide(const wchar_t* text) {
  return StringFromWide(text, text ? std::wcslen(text) : 0);
}

StringRecord* StringFromWide(const wchar_t* text, size_t count) {
  if (!text || count == 0) return NewString("", 0, GetSystemTextEncoding());
  const UINT codePage = SystemEncodingCodePage();
  const int units = int(count);
  BOOL usedDefault = FALSE;
  int bytes = WideCharToMultiByte(codePage, 0, text, units, nullptr, 0, nullptr, &usedDefault);
  if (bytes <= 0) return NewString("", 0, GetSystemTextEncoding());
  if (usedDefault) {
    std::string utf8 =
        encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text), size_t(units));
    return StringFromUTF8(utf8);
  }
  std::string converted(size_t(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text, units, &converted[0], bytes, nullptr, nullptr);
  return NewString(converted, GetSystemTextEncoding());
}
