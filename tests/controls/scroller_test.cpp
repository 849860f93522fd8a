// ScrollBar and Slider in a window of controls: range, input, the trackbar,
// a MouseDown handler that takes the press, the wheel, and a bare pane.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <climits>
#include <tuple>
#include <string>
#include <vector>

#include "controls/CheckBox.h"
#include "controls/ScrollerControls.h"
#include "host/runtimemainloop.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"

namespace {

using Lines = std::vector<std::string>;

int32_t Get(RuntimeObject* control, const char* property) {
  return GetProperty<int32_t>(control, property);
}
void Set(RuntimeObject* control, const char* property, int32_t value) {
  SetProperty<int32_t>(control, property, value);
}

// A vertical "SB1" from 0 to 100 with a page of 10 at 50, a horizontal
// "Slider1" to 100, a vertical "Slider2" and a check box after them.
std::vector<ControlDescription> ScrollerDescriptions(bool liveScroll = false) {
  std::vector<ControlDescription> controls = {
      Described(GetScrollBarClassDefinition(), "SB1", Rect(270, 0, 20, 200)),
      Described(GetSliderClassDefinition(), "Slider1", Rect(10, 10, 200, 30)),
      Described(GetSliderClassDefinition(), "Slider2", Rect(240, 10, 20, 100)),
      Described(GetCheckBoxClassDefinition(), "CheckBox1", Rect(10, 60, 120, 20))};
  controls[0].prepare = [liveScroll](RuntimeObject* bar) {
    for (auto [property, value] :
         {std::pair("Minimum", 0), {"Maximum", 100}, {"PageStep", 10}, {"Value", 50}}) {
      Set(bar, property, value);
    }
    SetProperty<uint8_t>(bar, "LiveScroll", liveScroll ? 1 : 0);
  };
  controls[1].prepare = [](RuntimeObject* slider) { Set(slider, "Maximum", 100); };
  return controls;
}

SCROLLINFO ScrollInfoOf(HWND bar) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(bar, SB_CTL, &info);
  return info;
}

// A posted click and one turn of the main loop.
void ClickAt(HWND window, int x, int y) {
  PostClick(window, x, y);
  RuntimeRunTurn(0);
  RunPendingTurns();
}

// The middle of SB1's thumb, from the bar's top.
int ThumbMiddle(HWND bar) {
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  GetScrollBarInfo(bar, OBJID_CLIENT, &info);
  return (info.xyThumbTop + info.xyThumbBottom) / 2;
}

VOID CALLBACK ReleaseButton(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Log("release");
  SendMouseButton(false);
}

// Real input: a press on SB1's thumb and a move 20 pixels down; the release
// comes (logged) from a timer, which runs inside the bar's own tracking too.
void DragThumb(const ControlTestWindow& window) {
  HWND bar = window.Native("SB1");
  const int y = ThumbMiddle(bar);
  MakeForeground(window.Handle());
  SendMouseMove(ScreenPointOf(bar, 10, y));
  SendMouseButton(true);
  SendMouseMove(ScreenPointOf(bar, 10, y + 20));
  SetTimer(nullptr, 0, 100, ReleaseButton);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 400);
}

std::string ValueChanged(int32_t value) { return "SB1.ValueChanged " + std::to_string(value); }

class ScrollerTest : public WindowSystemTest {};

TEST_F(ScrollerTest, TheRangeSetBeforeOpeningIsTheControlsAndBadRangesAreTaken) {
  ControlTestWindow window(ScrollerDescriptions());
  EXPECT_EQ(window.OpeningLog(), Lines{});
  RuntimeObject* bar = window.Control("SB1");
  HWND native = window.Native("SB1");
  SCROLLINFO info = ScrollInfoOf(native);
  EXPECT_EQ((std::vector<int>{info.nMin, info.nMax, int(info.nPage), info.nPos}),
            (std::vector<int>{0, 109, 10, 50}));

  Set(bar, "Value", 200);
  EXPECT_EQ(Get(bar, "Value"), 100);
  Set(bar, "Maximum", 0);
  EXPECT_FALSE(IsWindowEnabled(native));
  Set(bar, "Maximum", 10);
  EXPECT_TRUE(IsWindowEnabled(native));
  EXPECT_EQ(TakeLog(), (Lines{ValueChanged(100), ValueChanged(0)}));

  // A negative range keeps its end when the page changes.
  Set(bar, "Minimum", -50);
  Set(bar, "Maximum", -10);
  Set(bar, "PageStep", 5);
  EXPECT_EQ(Get(bar, "Maximum"), -10);
  EXPECT_EQ(ScrollInfoOf(native).nMax, -10);

  // The range end and the steps saturate instead of overflowing.
  Set(bar, "Maximum", INT_MAX);
  Set(bar, "PageStep", 10);
  EXPECT_EQ(ScrollInfoOf(native).nMax, INT_MAX);
  EXPECT_TRUE(IsWindowEnabled(native));
  Set(bar, "Minimum", INT_MIN);
  Set(bar, "LineStep", INT_MAX);
  Set(bar, "Value", 1000);
  window.FocusOn("SB1");
  window.PressKey(VK_DOWN);
  EXPECT_EQ(Get(bar, "Value"), Get(bar, "Maximum"));
}

TEST_F(ScrollerTest, ArrowsPagesAndKeysMoveTheValueByTheSteps) {
  ControlTestWindow window(ScrollerDescriptions());
  ObjectRef bar = ObjectRef::Retain(window.Control("SB1"));
  HWND native = window.Native("SB1");

  ClickAt(native, 10, 195);  // the down arrow
  ClickAt(native, 10, 150);  // the page below the thumb
  EXPECT_EQ(TakeLog(), (Lines{"SB1.MouseDown(10,195)", ValueChanged(51), "SB1.MouseDown(10,150)",
                              ValueChanged(61)}));
  Set(bar.get(), "Value", 100);
  TakeLog();
  ClickAt(native, 10, 195);
  EXPECT_EQ(TakeLog(), Lines{"SB1.MouseDown(10,195)"});

  Set(bar.get(), "Value", 40);
  window.FocusOn("SB1");
  window.PressKey(VK_DOWN);
  EXPECT_EQ(TakeLog(), Lines{ValueChanged(41)});
  EXPECT_EQ(GetFocus(), native);

  // Closed, the control keeps the last value the bar reached.
  window.Close();
  EXPECT_EQ(Get(bar.get(), "Value"), 41);
}

TEST_F(ScrollerTest, ThumbDragsReportAtTheReleaseOrWhileTheThumbMoves) {
  for (bool live : {false, true}) {
    ControlTestWindow window(ScrollerDescriptions(live));
    const int y = ThumbMiddle(window.Native("SB1"));
    const std::string down = "SB1.MouseDown(10," + std::to_string(y) + ")";
    DragThumb(window);
    const int32_t value = Get(window.Control("SB1"), "Value");
    EXPECT_GT(value, 55);
    EXPECT_EQ(TakeLog(), live ? (Lines{down, ValueChanged(value), "release"})
                              : (Lines{down, "release", ValueChanged(value)}));
  }
}

TEST_F(ScrollerTest, TheSliderIsATrackbarThatMovesItselfWithTheKeys) {
  ControlTestWindow window(ScrollerDescriptions());
  RuntimeObject* slider = window.Control("Slider1");
  HWND native = window.Native("Slider1");
  EXPECT_EQ(GetWindowLongW(native, GWL_STYLE) & 0xFFFF, 0x10);
  EXPECT_EQ(GetWindowLongW(window.Native("Slider2"), GWL_STYLE) & 0xFFFF, 0x12);

  Set(slider, "Value", 10);
  window.FocusOn("Slider1");
  SendMessageW(native, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(TakeLog(), Lines{"Slider1.ValueChanged 11"});
  EXPECT_EQ(Get(slider, "Value"), 11);

  for (auto [property, message, value] :
       {std::tuple("Minimum", TBM_GETRANGEMIN, 5), {"Maximum", TBM_GETRANGEMAX, 50},
        {"LineStep", TBM_GETLINESIZE, 2}, {"PageStep", TBM_GETPAGESIZE, 7}}) {
    Set(slider, property, value);
    EXPECT_EQ(SendMessageW(native, message, 0, 0), value) << property;
  }
}

TEST_F(ScrollerTest, AMouseDownHandlerTakesTheDragAndTheWheelMovesByLines) {
  ControlTestWindow window(ScrollerDescriptions());
  window.AnswerMouseDown("SB1", true);
  const int y = ThumbMiddle(window.Native("SB1"));
  DragThumb(window);
  const std::string at = "(10," + std::to_string(y + 20) + ")";
  EXPECT_EQ(TakeLog(), (Lines{"SB1.MouseDown(10," + std::to_string(y) + ")", "SB1.MouseDrag" + at,
                              "release", "SB1.MouseUp" + at}));
  EXPECT_EQ(Get(window.Control("SB1"), "Value"), 50);

  Set(window.Control("SB1"), "LineStep", 3);
  window.FocusOn("SB1");
  SendMouseMove(ScreenPointOf(window.Native("SB1"), 10, 100));
  INPUT wheel{};
  wheel.type = INPUT_MOUSE;
  wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  wheel.mi.mouseData = DWORD(-WHEEL_DELTA);
  SendInput(1, &wheel, sizeof wheel);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
  EXPECT_EQ(TakeLog(), Lines{ValueChanged(53)});
}

// A bare pane, as a list box holds its bars, with a listener of its own.
struct RecordingListener : ScrollerListener {
  void ValueChanged(ScrollerPane*, int32_t oldValue, int32_t newValue) override {
    Log("ValueChanged " + std::to_string(oldValue) + " " + std::to_string(newValue));
  }
  void FocusGained(ScrollerPane*) override { Log("FocusGained"); }
  void FocusLost(ScrollerPane*) override { Log("FocusLost"); }
};

TEST_F(ScrollerTest, ABarePaneReportsToItsOwnListener) {
  ControlTestWindow window(ScrollerDescriptions());
  RecordingListener listener;
  auto* pane = static_cast<ScrollerPane*>(PaneOf(
      PlaceControl(window.Window(), "Bar", Rect(240, 10, 16, 150), [&](const PaneSite& site) {
        return CreateScrollBarPane(&listener, site.parent, site.tabPanelIndex, site.bounds, false);
      }).get()));
  pane->SetMaximum(100);
  pane->SetValue(30);
  SetFocusPane(pane);
  SetFocusPane(window.Pane("CheckBox1"));
  EXPECT_EQ(TakeLog(), (Lines{"ValueChanged 0 30", "FocusGained", "FocusLost",
                              "CheckBox1.GotFocus"}));
}

}  // namespace
