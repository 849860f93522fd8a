// The native control pane.
#include "ui/ControlPane.h"

#include <cstddef>

#include "core/string.h"

#include "ui/FontCache.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeCursor.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

// The last press a control window received, for ControlPaneForwardMouseDown.
struct KeptPress {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};
KeptPress lastPress;

bool IsPress(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
      return true;
    default:
      return false;
  }
}

void SetInstanceProperty(HWND window, SubPane* pane) {
  if (IsWindowsNT()) {
    SetPropW(window, kInstanceProperty, pane);
  } else {
    SetPropA(window, "KVInstance", pane);
  }
}

void RemoveInstanceProperty(HWND window) {
  if (IsWindowsNT()) {
    RemovePropW(window, kInstanceProperty);
  } else {
    RemovePropA(window, "KVInstance");
  }
}

}  // namespace

ControlPane::ControlPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                         const StringRecord* caption, const char* windowClass, uint32_t style,
                         uint32_t exStyle)
    : NativePane(parent, tabPanelIndex, bounds, caption, windowClass, style, exStyle) {
  ControlPaneSubclass(this);
}

ControlPane::ControlPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                         const MacRect& bounds, const StringRecord* caption,
                         const char* windowClass, uint32_t style, uint32_t exStyle)
    : ControlPane(parent, tabPanelIndex, bounds, caption, windowClass, style, exStyle) {
  ControlPaneSetFont(this, font);
}

ControlPane::~ControlPane() {
  Unsubclass();
  if (lastPress.window && lastPress.window == NativeWindow()) lastPress = KeptPress();
  FontCacheRelease(font_);
  font_ = nullptr;
}

void ControlPane::Unsubclass() {
  HWND window = NativeWindow();
  if (!window) return;
  if (savedProcedure_ &&
      GetWindowLongAuto(window, GWLP_WNDPROC) ==
          reinterpret_cast<LONG_PTR>(&ControlSubclassProcedure)) {
    SetWindowLongAuto(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(savedProcedure_));
  }
  if (PaneOfControlWindow(window) == this) RemoveInstanceProperty(window);
}

void ControlPane::ForgetWindow() {
  Unsubclass();
  if (lastPress.window && lastPress.window == NativeWindow()) lastPress = KeptPress();
  NativePane::ForgetWindow();
}

bool ControlPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

bool ControlPane::RightMouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

void ControlPane::SetEnabled(bool enabled, bool redraw) {
  ControlPaneSetEnabled(this, enabled, redraw);
}

LRESULT ControlPane::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  return ControlPaneHandleMessage(this, message, wParam, lParam);
}

void ControlPaneSubclass(ControlPane* pane) {
  HWND window = pane->NativeWindow();
  if (!window || pane->savedProcedure_) return;
  SetInstanceProperty(window, pane);
  pane->savedProcedure_ = reinterpret_cast<WNDPROC>(SetWindowLongAuto(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlSubclassProcedure)));
}

void ControlPaneSetText(ControlPane* pane, const StringRecord* text) {
  if (HWND window = pane->NativeWindow()) SetWindowTextAuto(window, text);
}

StringRecord* ControlPaneGetText(ControlPane* pane) {
  if (HWND window = pane->NativeWindow()) return GetWindowTextAuto(window);
  return IsWindowsNT() ? StringFromUTF16(nullptr, 0) : NewString("", 0, GetSystemTextEncoding());
}

void ControlPaneSetFont(ControlPane* pane, const FontDescriptor& font) {
  HFONT made = FontCacheAcquire(&font);
  if (HWND window = pane->NativeWindow()) {
    SendMessageAuto(window, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
  }
  FontCacheRelease(pane->font_);
  pane->font_ = made;
}

void ControlPaneSetEnabled(ControlPane* pane, bool enabled, bool redraw) {
  pane->BroadcastStateChange(enabled ? kPaneEnable : kPaneDisable);
  if (redraw) pane->Invalidate(true);
}

bool ControlPaneForwardMouseDown(ControlPane* pane, int32_t, int32_t, uint32_t) {
  HWND window = pane->NativeWindow();
  if (!window || !pane->IsEnabled() || lastPress.window != window || !pane->SavedProcedure()) {
    return false;
  }
  const KeptPress press = lastPress;
  lastPress = KeptPress();
  CallWindowProcAuto(pane->SavedProcedure(), window, press.message, press.wParam, press.lParam);
  return true;
}

LRESULT ControlPaneHandleMessage(ControlPane* pane, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = pane->NativeWindow();
  if (!window) return 0;
  if (message == WM_SETCURSOR && reinterpret_cast<HWND>(wParam) == window &&
      LOWORD(lParam) == HTCLIENT) {
    if (SetCursorForPanePoint(pane, CursorPointInTopWindow(pane), nullptr)) return TRUE;
  } else if (message == WM_SETFOCUS) {
    SetFocusPane(pane);
    if (!pane->NativeWindow()) return 0;
  } else if (IsPress(message)) {
    lastPress = KeptPress{window, message, wParam, lParam};
    DeliverPressToWindowPane(pane, window, message, wParam, lParam);
    return 0;
  }
  if (!pane->SavedProcedure()) return DefWindowProcAuto(window, message, wParam, lParam);
  return CallWindowProcAuto(pane->SavedProcedure(), window, message, wParam, lParam);
}

void ControlPaneLoadNonClientMetrics(ControlPane* pane) {
  // The size without iPaddedBorderWidth: older systems refuse the newer one.
  pane->metrics_ = NONCLIENTMETRICSA{};
  pane->metrics_.cbSize = UINT(offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth));
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, pane->metrics_.cbSize, &pane->metrics_, 0);
}
