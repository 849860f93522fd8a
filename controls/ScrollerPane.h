// The scroller pane: one pane class for the ScrollBar and Slider controls and
// for the scroll bars of list boxes. It is the pane pair of ControlPattern.h:
// a "KV_Pane" host (ScrollerPane) over a native pane (ScrollerControlPane) on
// a Win32 "SCROLLBAR" (SB_CTL) or a "msctls_trackbar32", horizontal when the
// bounds are at least as wide as they are tall.
//
// Values. The pane speaks in the language's range: minimum, maximum, value,
// line step and page step. A scroll bar's range end inside the control is the
// maximum plus max(page step - 1, 0) when the maximum is above 0 (computed in
// 64 bits and held to the 32-bit range), so that the thumb, a page long,
// reaches the maximum; a maximum below 1 is kept as it is. A scroll bar whose
// maximum is not above its minimum is disabled (the host's enabled flag), and
// enabled again once it is. A value outside the range reads back clamped.
//
// Notifications. Every change of the value, whoever made it (code, the scroll
// codes of the control, the wheel), reaches the listener once as
// ValueChanged(pane, old, new), made by CheckValueChanged, which remembers
// the value even without a listener. Focus reaches it as FocusGained and
// FocusLost, except while the pane closes. Listener calls run with the pane's
// owner chain locked: a listener may close the window, and the operation that
// called it then touches the pane no more.
//
// The language events "MouseDown", "MouseDrag" and "MouseUp" are raised on
// the control of the pane's sink (none for list-box bars), with coordinates
// relative to the pane. A "MouseDown" handler answering true keeps the press
// from the control and makes the pane the mouse-capture pane, so the drag and
// the release go to the other two handlers.
//
// The wheel: the raw delta (120 a notch, positive away from the user) becomes
// notches toward the user, the remainder kept for fine wheels; each notch
// toward the user raises the value by the line step.
//
// Lifetime: the window's pane tree owns both panes. The listener is not
// owned: its owner detaches it (SetListener(nullptr)) before it goes, and a
// closing pane drops it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "controls/ControlPattern.h"

class ScrollerPane;
class ScrollerControlPane;

// What a scroller pane tells its owner. The operations do nothing by default.
class ScrollerListener {
 public:
  virtual void ValueChanged(ScrollerPane* pane, int32_t oldValue, int32_t newValue);
  virtual void FocusGained(ScrollerPane* pane);
  virtual void FocusLost(ScrollerPane* pane);

 protected:
  ~ScrollerListener() = default;
};

class ScrollerPane : public ControlHostPane {
 public:
  ScrollerPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, bool slider,
               bool liveScroll);

  bool IsSlider() const { return slider_ != 0; }
  ScrollerListener* Listener() const { return listener_; }
  void SetListener(ScrollerListener* listener) { listener_ = listener; }
  bool LiveScroll() const { return liveScroll_ != 0; }
  void SetLiveScroll(bool live) { liveScroll_ = live ? 1 : 0; }
  // The value last reported (or remembered while there was no listener).
  int32_t LastValue() const { return lastValue_; }
  // Off: a scroll bar's range and page changes are applied without drawing,
  // and its enabling only when it changes; the owner repaints the bar. On
  // (the default): every change draws at once.
  void SetRangeRedraw(bool redraw) { rangeRedraw_ = redraw ? 1 : 0; }

  // The control's position (the last value without a control window).
  virtual int32_t GetValue();
  // These end with CheckValueChanged.
  virtual void SetValue(int32_t value);
  virtual void SetMinimum(int32_t minimum);
  virtual void SetMaximum(int32_t maximum);

  // GetValue; when it differs from the last value, remembers it and tells the
  // listener.
  void CheckValueChanged();
  // A scroll code of WM_HSCROLL / WM_VSCROLL (SB_* or TB_*) from the control.
  void HandleScrollCode(int32_t code);
  // FocusGained / FocusLost, unless the pane is closing.
  void TellFocus(bool gained);

  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  bool MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers) override;
  // False: the arrow keys reach the control.
  bool ArrowKeysMoveFocus() override;
  // Drops the listener, then closes.
  void Close() override;

 protected:
  ~ScrollerPane() override = default;

 private:
  friend int32_t ScrollerPaneGetPageStep(ScrollerPane* pane);
  friend int32_t ScrollerPaneGetLineStep(ScrollerPane* pane);
  friend void ScrollerPaneSetPageStep(ScrollerPane* pane, int32_t step);
  friend void ScrollerPaneSetLineStep(ScrollerPane* pane, int32_t step);

  // SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL with the range and page.
  void SetScrollBarRange(int32_t minimum, int32_t maximum, int32_t page);
  void EnableBar(bool enabled);
  void ScrollBarCode(int32_t code);
  // Raises a mouse event on the control, the pane locked.
  bool RaiseMouseEvent(const char* event, int32_t x, int32_t y);

  uint8_t slider_;
  uint8_t liveScroll_;
  uint8_t rangeRedraw_ = 1;
  int8_t barEnabled_ = -1;  // as last applied; -1 before the first
  int32_t lastValue_ = 0;
  int32_t lineStep_ = 1;
  int32_t pageStep_ = 1;
  int32_t wheelRest_ = 0;  // wheel delta toward the user not yet a notch
  ScrollerListener* listener_ = nullptr;
};

// The native pane over the scroll bar or trackbar. Its focus is the scroller's
// focus; its scroll codes go to the scroller; the wheel over it is the
// scroller's; presses reach the control only through the scroller.
class ScrollerControlPane : public NativeControlPane {
 public:
  ScrollerControlPane(ScrollerPane* host, ControlEventSink* sink, const char* windowClass,
                      uint32_t style);

  ScrollerPane* Scroller() const;

  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void TakeFocus() override;
  void LoseFocus() override;
  bool ArrowKeysMoveFocus() override;
  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  ~ScrollerControlPane() override = default;
};

// A new scroller under parent, host and native pane, with no listener until
// one is set; the sink (nil for list-box bars) is the control's.
ScrollerPane* CreateScrollBarPane(ScrollerListener* listener, SubPane* parent,
                                  int32_t tabPanelIndex, const MacRect& bounds, bool liveScroll,
                                  ControlEventSink* sink = nullptr);
ScrollerPane* CreateSliderPane(ScrollerListener* listener, SubPane* parent, int32_t tabPanelIndex,
                               const MacRect& bounds, bool liveScroll,
                               ControlEventSink* sink = nullptr);

int32_t ScrollerPaneGetMinimum(ScrollerPane* pane);
int32_t ScrollerPaneGetMaximum(ScrollerPane* pane);
// A slider reads its control (and stores what it read); a scroll bar answers
// the stored step.
int32_t ScrollerPaneGetPageStep(ScrollerPane* pane);
int32_t ScrollerPaneGetLineStep(ScrollerPane* pane);
// Stores the step and gives it to the control (a scroll bar's page also moves
// its range end); the page step ends with CheckValueChanged.
void ScrollerPaneSetPageStep(ScrollerPane* pane, int32_t step);
void ScrollerPaneSetLineStep(ScrollerPane* pane, int32_t step);
