// The scroller pane over a scroll bar or a trackbar.
#include "controls/ScrollerPane.h"

#include <commctrl.h>

#include <algorithm>

#include "core/Numeric.h"
#include "ui/FontCache.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

constexpr int32_t kWheelNotch = WHEEL_DELTA;

// What a page adds to a scroll bar's range end.
int64_t PageExtra(int32_t page) { return std::max<int64_t>(int64_t(page) - 1, 0); }

int32_t Saturated(int64_t value) { return SaturatedInt32(double(value)); }

// The range end a scroll bar control holds for a language maximum.
int32_t ControlRangeEnd(int32_t maximum, int32_t page) {
  return maximum < 1 ? maximum : Saturated(int64_t(maximum) + PageExtra(page));
}

ScrollerPane* MakeScroller(ScrollerListener* listener, SubPane* parent, int32_t tabPanelIndex,
                           const MacRect& bounds, bool liveScroll, ControlEventSink* sink,
                           bool slider) {
  const bool horizontal =
      int32_t(bounds.right) - bounds.left >= int32_t(bounds.bottom) - bounds.top;
  uint32_t style;
  const char* windowClass;
  if (slider) {
    windowClass = TRACKBAR_CLASSA;
    style = TBS_NOTICKS | (horizontal ? TBS_HORZ : TBS_VERT);
  } else {
    windowClass = "SCROLLBAR";
    style = horizontal ? SBS_HORZ : SBS_VERT;
  }
  auto* pane = new ScrollerPane(parent, tabPanelIndex, bounds, slider, liveScroll);
  new ScrollerControlPane(pane, sink, windowClass, style);
  pane->SetListener(listener);
  return pane;
}

}  // namespace

void ScrollerListener::ValueChanged(ScrollerPane*, int32_t, int32_t) {}
void ScrollerListener::FocusGained(ScrollerPane*) {}
void ScrollerListener::FocusLost(ScrollerPane*) {}

// ---- The scroller ----

ScrollerPane::ScrollerPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                           bool slider, bool liveScroll)
    : ControlHostPane(parent, tabPanelIndex, bounds),
      slider_(slider ? 1 : 0),
      liveScroll_(liveScroll ? 1 : 0) {}

int32_t ScrollerPane::GetValue() {
  HWND window = GetNativeHandle();
  if (!window) return lastValue_;
  if (slider_) return int32_t(SendMessageAuto(window, TBM_GETPOS, 0, 0));
  return GetScrollPos(window, SB_CTL);
}

void ScrollerPane::SetValue(int32_t value) {
  if (HWND window = GetNativeHandle()) {
    if (slider_) {
      SendMessageAuto(window, TBM_SETPOS, TRUE, value);
    } else {
      SetScrollPos(window, SB_CTL, value, IsEnabled());
    }
  }
  CheckValueChanged();
}

void ScrollerPane::SetMinimum(int32_t minimum) {
  if (HWND window = GetNativeHandle()) {
    if (slider_) {
      SendMessageAuto(window, TBM_SETRANGEMIN, TRUE, minimum);
    } else {
      const int32_t maximum = ScrollerPaneGetMaximum(this);
      SetScrollRange(window, SB_CTL, minimum, ControlRangeEnd(maximum, pageStep_), TRUE);
      EnableBar(minimum < maximum);
    }
  }
  CheckValueChanged();
}

void ScrollerPane::SetMaximum(int32_t maximum) {
  if (HWND window = GetNativeHandle()) {
    if (slider_) {
      SendMessageAuto(window, TBM_SETRANGEMAX, TRUE, maximum);
    } else {
      const int32_t minimum = ScrollerPaneGetMinimum(this);
      SetScrollBarRange(minimum, maximum, pageStep_);
      EnableBar(minimum < maximum);
    }
  }
  CheckValueChanged();
}

void ScrollerPane::SetScrollBarRange(int32_t minimum, int32_t maximum, int32_t page) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
  info.nMin = minimum;
  info.nMax = ControlRangeEnd(maximum, page);
  info.nPage = UINT(std::max(page, 0));
  SetScrollInfo(GetNativeHandle(), SB_CTL, &info, rangeRedraw_ ? TRUE : FALSE);
}

void ScrollerPane::EnableBar(bool enabled) {
  if (!rangeRedraw_ && barEnabled_ == int8_t(enabled)) return;
  barEnabled_ = int8_t(enabled);
  SubPane::SetEnabled(enabled, false);
}

void ScrollerPane::CheckValueChanged() {
  const int32_t value = GetValue();
  if (value == lastValue_) return;
  const int32_t old = lastValue_;
  lastValue_ = value;
  if (!listener_) return;
  OwnerChainLock lock(this);
  listener_->ValueChanged(this, old, value);
}

void ScrollerPane::TellFocus(bool gained) {
  if (IsClosing() || !listener_) return;
  OwnerChainLock lock(this);
  if (gained) {
    listener_->FocusGained(this);
  } else {
    listener_->FocusLost(this);
  }
}

void ScrollerPane::HandleScrollCode(int32_t code) {
  if (!slider_) {
    ScrollBarCode(code);
  } else if (code != TB_THUMBTRACK || liveScroll_) {
    CheckValueChanged();
  }
}

void ScrollerPane::ScrollBarCode(int32_t code) {
  HWND window = GetNativeHandle();
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  if (!window || !GetScrollInfo(window, SB_CTL, &info)) return;
  const int64_t position = info.nPos;
  // A range end below 1 is the maximum itself.
  const int64_t maximum = info.nMax < 1 ? info.nMax : info.nMax - PageExtra(pageStep_);
  int64_t target;
  switch (code) {
    case SB_LINEUP: target = position - lineStep_; break;
    case SB_LINEDOWN: target = position + lineStep_; break;
    case SB_PAGEUP: target = position - pageStep_; break;
    case SB_PAGEDOWN: target = position + pageStep_; break;
    case SB_THUMBPOSITION: target = info.nTrackPos; break;
    case SB_THUMBTRACK: target = liveScroll_ ? info.nTrackPos : position; break;
    case SB_TOP: target = info.nMin; break;
    case SB_BOTTOM: target = maximum; break;
    default: return;
  }
  target = std::max<int64_t>(std::min(target, maximum), info.nMin);
  if (target != position) SetValue(int32_t(target));
}

bool ScrollerPane::RaiseMouseEvent(const char* event, int32_t x, int32_t y) {
  OwnerChainLock lock(this);
  return CallControlHandler<bool>(Control(), event, x - Left(), y - Top());
}

bool ScrollerPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (!IsEnabled()) return false;
  RuntimeObject* control = Control();
  if (control && FindEventHandler(control, "MouseDown")) {
    OwnerChainLock lock(this);
    const bool taken = RaiseMouseEvent("MouseDown", x, y);
    // A handler that closed the window took the press with it.
    if (IsClosing()) return true;
    if (taken) {
      SetMouseCapturePane(this);
      return true;
    }
  }
  NativeControlPane* native = Native();
  return native && ControlPaneForwardMouseDown(native, x, y, modifiers);
}

void ScrollerPane::MouseDrag(int32_t x, int32_t y, uint32_t) { RaiseMouseEvent("MouseDrag", x, y); }

void ScrollerPane::MouseUp(int32_t x, int32_t y, uint32_t) { RaiseMouseEvent("MouseUp", x, y); }

bool ScrollerPane::MouseWheel(int32_t, int32_t, int32_t delta, uint32_t) {
  wheelRest_ = Saturated(int64_t(wheelRest_) - delta);
  const int32_t notches = wheelRest_ / kWheelNotch;
  wheelRest_ -= notches * kWheelNotch;
  if (notches != 0) SetValue(Saturated(int64_t(GetValue()) + int64_t(lineStep_) * notches));
  return true;
}

bool ScrollerPane::ArrowKeysMoveFocus() { return false; }

void ScrollerPane::Close() {
  listener_ = nullptr;
  ControlHostPane::Close();
}

// ---- The native pane ----

ScrollerControlPane::ScrollerControlPane(ScrollerPane* host, ControlEventSink* sink,
                                         const char* windowClass, uint32_t style)
    : NativeControlPane(host, sink, ScopedFontDescriptor().get(), nullptr, windowClass, style) {}

ScrollerPane* ScrollerControlPane::Scroller() const { return static_cast<ScrollerPane*>(Host()); }

bool ScrollerControlPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (ScrollerPane* scroller = Scroller()) return scroller->MouseDown(x, y, modifiers);
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

void ScrollerControlPane::TakeFocus() {
  ControlCallGuard guard(this);
  ControlPane::TakeFocus();
  if (ScrollerPane* scroller = Scroller()) scroller->TellFocus(true);
}

void ScrollerControlPane::LoseFocus() {
  ControlCallGuard guard(this);
  if (ScrollerPane* scroller = Scroller()) scroller->TellFocus(false);
}

bool ScrollerControlPane::ArrowKeysMoveFocus() { return false; }

bool ScrollerControlPane::ControlNotification(int32_t code, UINT message, WPARAM, LPARAM) {
  if (message != WM_HSCROLL && message != WM_VSCROLL) return false;
  ControlCallGuard guard(this);
  if (ScrollerPane* scroller = Scroller()) scroller->HandleScrollCode(code);
  return true;
}

LRESULT ScrollerControlPane::HandleMessage(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_MOUSEWHEEL && Scroller()) {
    ControlCallGuard guard(this);
    const POINT point = MessagePointInTopWindow(this, window, message, lParam);
    Scroller()->MouseWheel(point.x, point.y, GET_WHEEL_DELTA_WPARAM(wParam),
                           MouseMessageModifiers(GET_KEYSTATE_WPARAM(wParam)));
    return 0;
  }
  return NativeControlPane::HandleMessage(window, message, wParam, lParam);
}

// ---- Making and reading ----

ScrollerPane* CreateScrollBarPane(ScrollerListener* listener, SubPane* parent,
                                  int32_t tabPanelIndex, const MacRect& bounds, bool liveScroll,
                                  ControlEventSink* sink) {
  return MakeScroller(listener, parent, tabPanelIndex, bounds, liveScroll, sink, false);
}

ScrollerPane* CreateSliderPane(ScrollerListener* listener, SubPane* parent, int32_t tabPanelIndex,
                               const MacRect& bounds, bool liveScroll, ControlEventSink* sink) {
  return MakeScroller(listener, parent, tabPanelIndex, bounds, liveScroll, sink, true);
}

int32_t ScrollerPaneGetMinimum(ScrollerPane* pane) {
  HWND window = pane->GetNativeHandle();
  if (!window) return 0;
  if (pane->IsSlider()) return int32_t(SendMessageAuto(window, TBM_GETRANGEMIN, 0, 0));
  int minimum = 0, maximum = 0;
  GetScrollRange(window, SB_CTL, &minimum, &maximum);
  return minimum;
}

int32_t ScrollerPaneGetMaximum(ScrollerPane* pane) {
  HWND window = pane->GetNativeHandle();
  if (!window) return 0;
  if (pane->IsSlider()) return int32_t(SendMessageAuto(window, TBM_GETRANGEMAX, 0, 0));
  int minimum = 0, maximum = 0;
  GetScrollRange(window, SB_CTL, &minimum, &maximum);
  return maximum > 0 ? Saturated(maximum - PageExtra(ScrollerPaneGetPageStep(pane))) : maximum;
}

int32_t ScrollerPaneGetPageStep(ScrollerPane* pane) {
  HWND window = pane->GetNativeHandle();
  if (window && pane->IsSlider()) {
    pane->pageStep_ = int32_t(SendMessageAuto(window, TBM_GETPAGESIZE, 0, 0));
  }
  return pane->pageStep_;
}

int32_t ScrollerPaneGetLineStep(ScrollerPane* pane) {
  HWND window = pane->GetNativeHandle();
  if (window && pane->IsSlider()) {
    pane->lineStep_ = int32_t(SendMessageAuto(window, TBM_GETLINESIZE, 0, 0));
  }
  return pane->lineStep_;
}

void ScrollerPaneSetPageStep(ScrollerPane* pane, int32_t step) {
  if (HWND window = pane->GetNativeHandle()) {
    if (pane->IsSlider()) {
      SendMessageAuto(window, TBM_SETPAGESIZE, 0, step);
    } else {
      pane->SetScrollBarRange(ScrollerPaneGetMinimum(pane), ScrollerPaneGetMaximum(pane), step);
    }
  }
  pane->pageStep_ = step;
  pane->CheckValueChanged();
}

void ScrollerPaneSetLineStep(ScrollerPane* pane, int32_t step) {
  if (HWND window = pane->GetNativeHandle(); window && pane->IsSlider()) {
    SendMessageAuto(window, TBM_SETLINESIZE, 0, step);
  }
  pane->lineStep_ = step;
}
