// The window pane: the top window, its shared state and its messages.
#include "ui/WindowPane.h"

#include <algorithm>

#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowSystem.h"
#include "ui/win32windows.h"

namespace {

std::vector<WindowPane*>& LivePanes() {
  static std::vector<WindowPane*> panes;
  return panes;
}

MacRect ClientBounds(int width, int height) {
  return MacRect{0, 0, int16_t(std::clamp(height, 0, int(INT16_MAX))),
                 int16_t(std::clamp(width, 0, int(INT16_MAX)))};
}

}  // namespace

WindowPane::WindowPane(RuntimeObject* window, const TopWindowSpec& spec)
    : SubPane(nullptr, MacRect{0, 0, 0, 0}), windowObject_(window), mdiChild_(spec.mdiChild) {
  LivePanes().push_back(this);
  panes_.push_back(this);
  // Hidden until the window is shown.
  SubPane::BroadcastStateChange(kPaneHide);
  const DWORD exStyle = spec.exStyle | (spec.mdiChild ? WS_EX_MDICHILD : 0);
  HWND top = CreateWindowAuto(exStyle, kWindowClassName, spec.title,
                              spec.style & ~DWORD(WS_VISIBLE), spec.x, spec.y, spec.width,
                              spec.height, spec.parent, spec.mdiChild ? nullptr : spec.menu, this);
  if (!top) {
    if (spec.menu) DestroyMenu(spec.menu);
    return;
  }
  if (!NativeWindow()) AttachWindow(top);
  RECT client{};
  GetClientRect(top, &client);
  bounds_ = ClientBounds(client.right, client.bottom);
}

WindowPane::~WindowPane() {
  auto& live = LivePanes();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  // An MDI child is destroyed through its client.
  HWND top = NativeWindow();
  if (top && mdiChild_) {
    DetachPaneWindowMessages(top, this);
    ForgetWindow();
    SendMessageAuto(GetParent(top), WM_MDIDESTROY, reinterpret_cast<WPARAM>(top), 0);
  }
}

const std::vector<WindowPane*>& WindowPane::LiveWindowPanes() { return LivePanes(); }

void WindowPane::ForgetPane(SubPane* pane) {
  for (WindowPane* windowPane : LivePanes()) {
    if (windowPane->focusedControl_ == pane) windowPane->focusedControl_ = nullptr;
    if (windowPane->chosenDefault_ == pane) windowPane->chosenDefault_ = nullptr;
    if (windowPane != pane) windowPane->RemovePane(pane);
  }
}

void WindowPane::SetBackdrop(bool hasBackColor, COLORREF color) {
  hasBackColor_ = hasBackColor;
  backColor_ = color;
  if (NativeWindow()) ::InvalidateRect(NativeWindow(), nullptr, TRUE);
}

void WindowPane::AddPane(SubPane* pane) {
  if (std::find(panes_.begin(), panes_.end(), pane) == panes_.end()) panes_.push_back(pane);
}

void WindowPane::InsertPaneAt(size_t index, SubPane* pane) {
  RemovePane(pane);
  panes_.insert(panes_.begin() + std::ptrdiff_t(std::min(index, panes_.size())), pane);
}

void WindowPane::RemovePane(SubPane* pane) {
  panes_.erase(std::remove(panes_.begin(), panes_.end(), pane), panes_.end());
}

void WindowPane::TopWindowShown(bool shown) {
  if (shown != IsVisible()) SubPane::BroadcastStateChange(shown ? kPaneShow : kPaneHide);
}

void WindowPane::ClientResized(int width, int height) { bounds_ = ClientBounds(width, height); }

COLORREF WindowPane::BackgroundColor() {
  return hasBackColor_ ? backColor_ : SystemColor(COLOR_BTNFACE);
}

bool WindowPane::CharacterEntry(uint32_t codePoint, uint32_t) {
  return windowObject_ && WindowFireKeyDown(windowObject_, codePoint);
}

bool WindowPane::HandleKey(uint32_t, uint32_t keyChar, uint32_t) {
  return windowObject_ && keyChar && WindowFireKeyDown(windowObject_, keyChar);
}

LRESULT WindowPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      if (windowObject_) {
        WindowClose(windowObject_);
        return 0;
      }
      break;
    case WM_SHOWWINDOW:
      if (lParam == 0) TopWindowShown(wParam != 0);
      break;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) {
        ClientResized(LOWORD(lParam), HIWORD(lParam));
        if (windowObject_) WindowResized(windowObject_);
      }
      break;
    case WM_ACTIVATE:
      if (windowObject_ && !mdiChild_) {
        const bool active = LOWORD(wParam) != WA_INACTIVE;
        // A refocused control keeps the focus the default handling would
        // give the top window.
        if (WindowActivated(windowObject_, active) && active) return 0;
      }
      break;
    case WM_MDIACTIVATE: {
      LRESULT result = PaneDefaultMessage(this, window, message, wParam, lParam);
      if (windowObject_) {
        if (reinterpret_cast<HWND>(wParam) == window) WindowActivated(windowObject_, false);
        if (reinterpret_cast<HWND>(lParam) == window) WindowActivated(windowObject_, true);
      }
      return result;
    }
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, CachedSolidBrush(BackgroundColor()));
      return 1;
    }
    default:
      break;
  }
  return PaneDefaultMessage(this, window, message, wParam, lParam);
}
