// Win32 helpers of the window system: the platform answers, the A or W form
// of the calls that carry text, one-message dispatch, and the conversions
// between run-time strings and UTF-16.
//
// The run-time calls the wide ("W") forms on the NT line and the ANSI ("A")
// forms elsewhere; IsWindowsNT (the host's, re-exported here) chooses. The
// environment variable KV_FORCE_ANSI=1, read once at start-up, makes the
// whole process take the A line, so that the A paths can be run on an NT
// system.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "host/RuntimeMain.h"  // IsWindowsNT, IsWindowsXP

struct StringRecord;

// Start-up: reads KV_FORCE_ANSI; "1" makes IsWindowsNT answer false from now
// on. Gives whether the A line was forced.
bool ApplyForcedAnsiLine();
// For tests: the answer IsWindowsXP gives (1 yes, 0 no; -1 puts back the
// platform's answer).
void SetWindowsXPForTest(int answer);

// The A or W form by IsWindowsNT. Class names are ASCII.
LRESULT CallWindowProcAuto(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam);
LONG_PTR GetWindowLongAuto(HWND window, int index);
LONG_PTR SetWindowLongAuto(HWND window, int index, LONG_PTR value);
LRESULT DefWindowProcAuto(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageAuto(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND CreateWindowAuto(DWORD exStyle, const char* className, const StringRecord* text,
                      DWORD style, int x, int y, int width, int height, HWND parent,
                      HMENU menu, void* parameter);
// The window's class name (ASCII); empty for no window.
std::string WindowClassName(HWND window);

// Window text: W with UTF-16 on NT, else A in the system encoding. The
// getter gives a new string: UTF-16 (0x100) on NT, else tagged with the
// system encoding.
bool SetWindowTextAuto(HWND window, const StringRecord* text);
StringRecord* GetWindowTextAuto(HWND window);

// A GDI colour of the language's 0x00RRGGBB colour.
inline COLORREF ColorRefOfColor(uint32_t color) {
  return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

// Removes one pending message of the thread and dispatches it; false when
// none was pending.
bool DispatchOnePendingMessage();
// Whether the left mouse button is held now (swapped buttons respected).
bool IsMouseButtonDown();

// The character set of the system script: SHIFTJIS_CHARSET for Japanese,
// CHINESEBIG5_CHARSET for Chinese, DEFAULT_CHARSET otherwise.
BYTE CharsetForSystemScript();
// The code page of the system encoding: 932 Japanese, 950 Chinese, 1252
// otherwise. The A line's text and the high bytes of the ASCII default
// encoding are read by it.
UINT SystemEncodingCodePage();

// A new NUL-terminated UTF-16 copy of the string, made with RuntimeAlloc
// (free it with RuntimeFree); a nil string gives an empty one. The string is
// read in its own encoding: UTF-8 and UTF-16 directly, Windows Latin-1 by code
// page 1252, Shift-JIS by 932, Chinese by 950, and the ASCII default and
// unset encodings by the code page of the system encoding.
wchar_t* StringToWideAlloc(const StringRecord* string);
// The same as a std::wstring.
std::wstring StringToWide(const StringRecord* string);
// A new string from UTF-16 text, in the system encoding through its code
// page (932 Japanese, 950 Chinese, 1252 otherwise). When that code page lacks
// a character (the
// conversion had to use its default character) the text comes back as UTF-8
// instead, so nothing is lost. An empty string on failure.
StringRecord* StringFromWide(const wchar_t* text);
StringRecord* StringFromWide(const wchar_t* text, size_t count);
