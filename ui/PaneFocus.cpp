// Focus, capture and the pane under the pointer.
#include "ui/PaneFocus.h"

#include <windowsx.h>

#include "ui/SubPane.h"
#include "ui/win32windows.h"

namespace {

SubPane* focusPane = nullptr;
SubPane* awaitingTakeFocus = nullptr;
uint32_t focusChanges = 0;

SubPane* capturePane = nullptr;
HWND captureWindow = nullptr;
POINT lastCapturePoint{0, 0};
// Set while the run-time itself releases the capture, so that the
// WM_CAPTURECHANGED it causes ends no gesture.
bool releasingCapture = false;

SubPane* pointerPane = nullptr;

// The top pane's window, or none.
HWND TopWindowOf(SubPane* pane) {
  SubPane* top = SubPane::GetTopPane(pane);
  return top ? top->NativeWindow() : nullptr;
}

void ReleaseCaptureQuietly() {
  HWND window = captureWindow;
  capturePane = nullptr;
  captureWindow = nullptr;
  if (window && GetCapture() == window) {
    releasingCapture = true;
    ReleaseCapture();
    releasingCapture = false;
  }
}

// Ends the gesture of the capture pane with MouseUp at the point, then
// releases the capture (unless MouseUp moved it elsewhere).
void EndCapturedGesture(POINT point, uint32_t modifiers) {
  SubPane* pane = capturePane;
  {
    OwnerChainLock lock(pane);
    pane->MouseUp(point.x, point.y, modifiers);
  }
  if (capturePane == pane) ReleaseCaptureQuietly();
}

// The deepest visible pane of the tree under the point.
SubPane* DeepestPaneAt(SubPane* top, int32_t x, int32_t y) {
  SubPane* pane = top;
  while (SubPane* child = pane->ChildAt(x, y, false)) pane = child;
  return pane;
}

void MovePointerTo(SubPane* pane, POINT point, uint32_t modifiers) {
  if (pane != pointerPane) {
    if (SubPane* old = pointerPane) {
      pointerPane = nullptr;
      OwnerChainLock lock(old);
      old->MouseLeave();
    }
    if (!pane) return;
    pointerPane = pane;
    OwnerChainLock lock(pane);
    pane->MouseEnter(point.x, point.y, modifiers);
    if (pointerPane != pane) return;
  }
  if (pane) {
    OwnerChainLock lock(pane);
    pane->MouseMove(point.x, point.y, modifiers);
  }
}

bool contextualClick = false;

}  // namespace

ContextualClickScope::ContextualClickScope() : previous_(contextualClick) {
  contextualClick = true;
}
ContextualClickScope::~ContextualClickScope() { contextualClick = previous_; }

extern "C" bool IsCMMClick() { return contextualClick; }

uint32_t CurrentKeyModifiers() {
  uint32_t modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kModifierShift;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kModifierAlt;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kModifierControl;
  return modifiers;
}

uint32_t MouseMessageModifiers(WPARAM wParam) {
  uint32_t modifiers = 0;
  if (wParam & MK_SHIFT) modifiers |= kModifierShift;
  if (wParam & MK_CONTROL) modifiers |= kModifierControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kModifierAlt;
  return modifiers;
}

SubPane* GetFocusPane() { return focusPane; }

void SetFocusPane(SubPane* pane) {
  if (pane && pane->IsClosing()) return;
  if (pane == focusPane) return;
  SubPane* old = focusPane;
  // A pane stored by an outer call that has not taken the focus yet has no
  // focus to lose.
  const bool oldHadFocus = old && old != awaitingTakeFocus;
  focusPane = pane;
  awaitingTakeFocus = pane;
  const uint32_t change = ++focusChanges;
  OwnerChainLock oldLock(old);
  OwnerChainLock newLock(pane);
  if (oldHadFocus) old->LoseFocus();
  if (change != focusChanges || focusPane != pane) return;
  awaitingTakeFocus = nullptr;
  if (pane) pane->TakeFocus();
}

SubPane* GetMouseCapturePane() { return capturePane; }

void SetMouseCapturePane(SubPane* pane) {
  if (pane && pane->IsClosing()) return;
  HWND window = pane ? TopWindowOf(pane) : nullptr;
  if (!window) {
    ReleaseCaptureQuietly();
    return;
  }
  if (captureWindow && captureWindow != window) ReleaseCaptureQuietly();
  capturePane = pane;
  captureWindow = window;
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(window, &cursor);
  lastCapturePoint = cursor;
  if (GetCapture() != window) SetCapture(window);
}

SubPane* PaneUnderPointer() { return pointerPane; }

bool RouteCapturedMouse(HWND topWindow, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!capturePane || topWindow != captureWindow) return false;
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const uint32_t modifiers = MouseMessageModifiers(wParam);
  lastCapturePoint = point;
  switch (message) {
    case WM_MOUSEMOVE: {
      OwnerChainLock lock(capturePane);
      capturePane->MouseDrag(point.x, point.y, modifiers);
      return true;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      EndCapturedGesture(point, modifiers);
      return true;
    default:
      return false;
  }
}

void CaptureChanged(HWND topWindow, HWND newCapture) {
  if (releasingCapture || !capturePane || topWindow != captureWindow) return;
  if (newCapture == captureWindow) return;
  EndCapturedGesture(lastCapturePoint, CurrentKeyModifiers());
}

bool CaptureHeld() { return capturePane != nullptr; }

void FocusIdle() {
  if (SubPane* pane = focusPane) {
    OwnerChainLock lock(pane);
    pane->Idle();
  }
}

void TrackPointer(const MSG& message) {
  if (message.message != WM_MOUSEMOVE && message.message != WM_NCMOUSEMOVE &&
      message.message != WM_MOUSELEAVE) {
    return;
  }
  if (capturePane) return;
  SubPane* pane = message.message == WM_MOUSEMOVE ? PaneOfWindow(message.hwnd) : nullptr;
  if (message.message == WM_MOUSELEAVE) {
    // Leaving a window for one of its children is no leave.
    POINT cursor{};
    GetCursorPos(&cursor);
    if (PaneOfWindow(WindowFromPoint(cursor))) return;
  }
  if (!pane) {
    MovePointerTo(nullptr, POINT{0, 0}, 0);
    return;
  }
  SubPane* top = SubPane::GetTopPane(pane);
  const POINT point = MessagePointInTopWindow(pane, message.hwnd, message.message, message.lParam);
  SubPane* under = DeepestPaneAt(top, point.x, point.y);
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, message.hwnd, 0};
  TrackMouseEvent(&track);
  MovePointerTo(under, point, MouseMessageModifiers(message.wParam));
}

void ForgetInputRoles(SubPane* pane) {
  if (focusPane == pane) focusPane = nullptr;
  if (awaitingTakeFocus == pane) awaitingTakeFocus = nullptr;
  if (capturePane == pane) ReleaseCaptureQuietly();
  if (pointerPane == pane) pointerPane = nullptr;
}
