// Classic drawing runs inside a clip region of the rectangle, with the DC's
// state saved and restored around it.
#include "ui/Theme.h"

#include <algorithm>

#include "host/RuntimeMain.h"

namespace {

const ThemeLayer* testLayer = nullptr;

template <class Entry>
Entry LibraryEntry(const char* name) {
  HMODULE library = ThemeLibraryHandle();
  return library ? reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                 : nullptr;
}

// The run-time's table, bound now from the host's library.
ThemeLayer LibraryLayer() {
  ThemeLayer layer{};
  layer.isAppThemed = LibraryEntry<decltype(layer.isAppThemed)>("IsAppThemed");
  layer.openThemeData = LibraryEntry<decltype(layer.openThemeData)>("OpenThemeData");
  layer.drawThemeBackground =
      LibraryEntry<decltype(layer.drawThemeBackground)>("DrawThemeBackground");
  layer.closeThemeData = LibraryEntry<decltype(layer.closeThemeData)>("CloseThemeData");
  return layer;
}

ThemeLayer CurrentLayer() { return testLayer ? *testLayer : LibraryLayer(); }

// Opens the class on the DC's window, draws the part and closes the theme;
// false (nothing drawn) when the theme is not used.
bool DrawThemed(HDC dc, const wchar_t* classList, int part, int state, const RECT& rect) {
  if (!IsWindowsXP()) return false;
  HANDLE theme = UxOpenThemeData(WindowFromDC(dc), classList);
  if (!theme) return false;
  UxDrawThemeBackground(theme, dc, part, state, &rect, nullptr);
  UxCloseThemeData(theme);
  return true;
}

// The DC's state saved, drawing clipped to the rectangle.
class ClippedDrawing {
 public:
  ClippedDrawing(HDC dc, const RECT& rect) : dc_(dc), saved_(SaveDC(dc)) {
    IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  }
  ~ClippedDrawing() { RestoreDC(dc_, saved_); }
  ClippedDrawing(const ClippedDrawing&) = delete;
  ClippedDrawing& operator=(const ClippedDrawing&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// A solid polygon of a system colour (outline included).
void FillPolygon(HDC dc, const POINT* points, int count, int colorIndex) {
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(colorIndex));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(colorIndex));
  Polygon(dc, points, count);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

void ClassicCheckBox(HDC dc, const RECT& rect, bool checked) {
  FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
  FrameRect(dc, &rect, GetSysColorBrush(COLOR_WINDOWTEXT));
  if (!checked) return;
  const RECT inner{rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2};
  if (inner.right <= inner.left || inner.bottom <= inner.top) return;
  const LONG width = inner.right - inner.left;
  const LONG height = inner.bottom - inner.top;
  const POINT tick[] = {{inner.left, inner.top + height / 2},
                        {inner.left + width / 3, inner.bottom - 1},
                        {inner.right - 1, inner.top}};
  ClippedDrawing clip(dc, inner);
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(dc, pen);
  for (LONG shift = 0; shift < 2; ++shift) {
    MoveToEx(dc, tick[0].x, tick[0].y + shift, nullptr);
    LineTo(dc, tick[1].x, tick[1].y + shift);
    LineTo(dc, tick[2].x, tick[2].y + shift);
  }
  SelectObject(dc, old);
  DeleteObject(pen);
}

void ClassicTriangle(HDC dc, const RECT& rect, bool expanded) {
  const LONG size = std::min(rect.right - rect.left, rect.bottom - rect.top);
  const LONG half = std::max<LONG>(size / 4, 1);
  const LONG x = (rect.left + rect.right) / 2;
  const LONG y = (rect.top + rect.bottom) / 2;
  const POINT right[] = {{x - half / 2, y - half}, {x - half / 2, y + half}, {x + half / 2, y}};
  const POINT down[] = {{x - half, y - half / 2}, {x + half, y - half / 2}, {x, y + half / 2}};
  FillPolygon(dc, expanded ? down : right, 3, COLOR_WINDOWTEXT);
}

// The navigation glyph: a triangle pointing left or right, with a bar
// before it (first) or after it (last).
void DrawNavigationGlyph(HDC dc, const RECT& rect, int32_t glyph, int colorIndex) {
  const bool left = glyph == kNavigationFirst || glyph == kNavigationPrevious;
  const bool bar = glyph == kNavigationFirst || glyph == kNavigationLast;
  if (!left && glyph != kNavigationNext && glyph != kNavigationLast) return;
  const LONG size = std::max<LONG>(std::min(rect.right - rect.left, rect.bottom - rect.top) / 4, 2);
  const LONG x = (rect.left + rect.right) / 2;
  const LONG y = (rect.top + rect.bottom) / 2;
  const LONG tip = left ? x - size / 2 : x + size / 2;
  const LONG base = left ? x + size / 2 : x - size / 2;
  const POINT triangle[] = {{tip, y}, {base, y - size}, {base, y + size}};
  FillPolygon(dc, triangle, 3, colorIndex);
  if (!bar) return;
  const LONG barX = left ? tip - 2 : tip + 1;
  const RECT barRect{barX, y - size, barX + 2, y + size + 1};
  FillRect(dc, &barRect, GetSysColorBrush(colorIndex));
}

}  // namespace

void UxSetThemeLayerForTesting(const ThemeLayer* layer) { testLayer = layer; }

bool UxIsAppThemed() {
  const ThemeLayer layer = CurrentLayer();
  return layer.isAppThemed && layer.isAppThemed();
}

HANDLE UxOpenThemeData(HWND window, const wchar_t* classList) {
  const ThemeLayer layer = CurrentLayer();
  if (!layer.openThemeData || !layer.drawThemeBackground || !layer.closeThemeData) return nullptr;
  if (!layer.isAppThemed || !layer.isAppThemed()) return nullptr;
  return layer.openThemeData(window, classList);
}

HRESULT UxDrawThemeBackground(HANDLE theme, HDC dc, int part, int state, const RECT* rect,
                              const RECT* clip) {
  const ThemeLayer layer = CurrentLayer();
  if (!theme || !layer.drawThemeBackground) return E_FAIL;
  return layer.drawThemeBackground(theme, dc, part, state, rect, clip);
}

void UxCloseThemeData(HANDLE theme) {
  const ThemeLayer layer = CurrentLayer();
  if (theme && layer.closeThemeData) layer.closeThemeData(theme);
}

void DrawCheckBoxGlyph(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       bool checked) {
  const RECT rect{left, top, right, bottom};
  if (!dc || right <= left || bottom <= top) return;
  if (DrawThemed(dc, L"Button", 3, checked ? 5 : 1, rect)) return;
  ClippedDrawing clip(dc, rect);
  ClassicCheckBox(dc, rect, checked);
}

void DrawDisclosureTriangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            bool expanded) {
  const RECT rect{left, top, right, bottom};
  if (!dc || right <= left || bottom <= top) return;
  if (DrawThemed(dc, L"TreeView", 2, expanded ? 2 : 1, rect)) return;
  ClippedDrawing clip(dc, rect);
  ClassicTriangle(dc, rect, expanded);
}

void DrawEditFrame(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom, bool enabled) {
  RECT rect{left, top, right, bottom};
  if (!dc || right <= left || bottom <= top) return;
  if (DrawThemed(dc, L"Edit", 1, enabled ? 1 : 4, rect)) return;
  ClippedDrawing clip(dc, rect);
  DrawEdge(dc, &rect, EDGE_SUNKEN, BF_RECT);
}

void DrawNavigationButton(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                          int32_t glyph, int32_t state) {
  RECT rect{left, top, right, bottom};
  if (!dc || right <= left || bottom <= top) return;
  ClippedDrawing clip(dc, rect);
  if (!DrawThemed(dc, L"Button", 1, state + 1, rect)) {
    RECT face = rect;
    DrawFrameControl(dc, &face, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (state == kNavigationPressed ? DFCS_PUSHED : 0));
  }
  DrawNavigationGlyph(dc, rect, glyph,
                      state == kNavigationDisabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
}
