// Themed drawing: the theme library's calls through entries bound at run
// time, and the glyphs the controls draw themed on version 5.1 and classic
// elsewhere.
//
// The theme layer is a table of four entries. The run-time's own table binds
// them with GetProcAddress from the host's theme library (loaded on version
// 5.1 only), at each call, so nothing outlives the library. Opening answers
// none when the library or an entry is missing, or when the application is
// not themed.
//
// Each drawing function uses the theme only when IsWindowsXP() is true and
// its class opens on the DC's window (WindowFromDC, possibly none); it opens,
// draws and closes the theme at once. Classic drawing never touches a pixel
// outside the rectangle (left, top inclusive; right, bottom exclusive):
//   check box: a 1-pixel COLOR_WINDOWTEXT frame on the edge, filled with
//     COLOR_WINDOW; checked adds a COLOR_WINDOWTEXT tick inside the frame
//     inset by 2;
//   disclosure triangle: a solid COLOR_WINDOWTEXT triangle centred in the
//     box, pointing right when collapsed and down when expanded;
//   edit frame: a sunken edge; the inside is left untouched;
//   navigation button: a push-button face (pushed in state 2), with the
//     glyph in COLOR_BTNTEXT (COLOR_GRAYTEXT in state 3).
#pragma once
#include <windows.h>

#include <cstdint>

struct ThemeLayer {
  BOOL(WINAPI* isAppThemed)();
  HANDLE(WINAPI* openThemeData)(HWND window, LPCWSTR classList);
  HRESULT(WINAPI* drawThemeBackground)
  (HANDLE theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip);
  HRESULT(WINAPI* closeThemeData)(HANDLE theme);
};

// Tests install a table of their own (borrowed; nil restores the run-time's).
void UxSetThemeLayerForTesting(const ThemeLayer* layer);

// Glyph codes of DrawNavigationButton.
enum NavigationGlyph : int32_t {
  kNavigationFirst = 0,
  kNavigationPrevious = 1,
  kNavigationLast = 4,
  kNavigationNext = 5,
};
// Its state codes.
enum NavigationState : int32_t {
  kNavigationNormal = 0,
  kNavigationHot = 1,
  kNavigationPressed = 2,
  kNavigationDisabled = 3,
};

extern "C" {
bool UxIsAppThemed();
HANDLE UxOpenThemeData(HWND window, const wchar_t* classList);
HRESULT UxDrawThemeBackground(HANDLE theme, HDC dc, int part, int state, const RECT* rect,
                              const RECT* clip);
void UxCloseThemeData(HANDLE theme);

void DrawCheckBoxGlyph(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       bool checked);
void DrawDisclosureTriangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            bool expanded);
void DrawEditFrame(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom, bool enabled);
void DrawNavigationButton(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                          int32_t glyph, int32_t state);
}
