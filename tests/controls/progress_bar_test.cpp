// Progress bars: determinate and indeterminate modes with their overlay and
// task, the full 32-bit range, and the moving block's steps and pixels,
// classic and themed.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "controls/ProgressBar.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"

namespace {

ControlDescription Bar(const char* name, const MacRect& bounds, int32_t maximum,
                       int32_t value = 0) {
  ControlDescription description = Described(GetProgressBarClassDefinition(), name, bounds);
  description.prepare = [maximum, value](RuntimeObject* control) {
    SetProperty<int32_t>(control, "Maximum", maximum);
    SetProperty<int32_t>(control, "Value", value);
  };
  return description;
}

ProgressBarPane* BarPane(const ControlTestWindow& window, const char* name) {
  return dynamic_cast<ProgressBarPane*>(window.Pane(name));
}

// The native bar's range and position: "max pos".
std::string RangeAndPosition(const ControlTestWindow& window, const char* name) {
  HWND bar = window.Native(name);
  return std::to_string(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)) + " " +
         std::to_string(SendMessageW(bar, PBM_GETPOS, 0, 0));
}

std::vector<std::string> themeCalls;

BOOL WINAPI FakeIsAppThemed() { return TRUE; }
HANDLE WINAPI FakeOpen(HWND, LPCWSTR classList) {
  themeCalls.push_back("open " + std::string(classList, classList + wcslen(classList)));
  return reinterpret_cast<HANDLE>(0x7E);
}
HRESULT WINAPI FakeDraw(HANDLE, HDC, int part, int, const RECT* r, const RECT*) {
  themeCalls.push_back("draw " + std::to_string(part) + " " + std::to_string(r->left) + "," +
                       std::to_string(r->top) + "," + std::to_string(r->right) + "," +
                       std::to_string(r->bottom));
  return S_OK;
}
HRESULT WINAPI FakeClose(HANDLE) { return S_OK; }
const ThemeLayer kRecordingLayer{FakeIsAppThemed, FakeOpen, FakeDraw, FakeClose};

class ProgressBarTest : public WindowSystemTest {
 protected:
  void TearDown() override {
    UxSetThemeLayerForTesting(nullptr);
    SetWindowsXPForTest(-1);
    WindowSystemTest::TearDown();
  }
};

TEST_F(ProgressBarTest, AMaximumBelowOneCoversTheBarAndRunsOneTask) {
  ControlTestWindow window(
      {Bar("Busy", Rect(10, 10, 80, 20), 0), Bar("Big", Rect(10, 40, 80, 20), 100000, 50000)});
  RuntimeObject* busy = window.Control("Busy");
  ProgressBarPane* pane = BarPane(window, "Busy");
  ASSERT_NE(pane->Overlay(), nullptr);
  HWND overlay = pane->Overlay()->NativeWindow();
  EXPECT_TRUE(IsWindowVisible(overlay));
  EXPECT_EQ(ProgressAnimationTask::LiveCount(), 1);

  SetProperty<int32_t>(busy, "Maximum", 10);
  EXPECT_EQ(pane->Overlay(), nullptr);
  EXPECT_FALSE(IsWindow(overlay));
  EXPECT_EQ(ProgressAnimationTask::LiveCount(), 0);
  SetProperty<int32_t>(busy, "Maximum", 0);
  EXPECT_NE(pane->Overlay(), nullptr);
  EXPECT_EQ(ProgressAnimationTask::LiveCount(), 1);

  // Above 16 bits, set before and after opening.
  EXPECT_EQ(RangeAndPosition(window, "Big"), "100000 50000");
  SetProperty<int32_t>(busy, "Maximum", 100000);
  SetProperty<int32_t>(busy, "Value", 50000);
  EXPECT_EQ(RangeAndPosition(window, "Busy"), "100000 50000");
  EXPECT_EQ(GetProperty<int32_t>(busy, "Maximum"), 100000);
}

TEST_F(ProgressBarTest, TheBlockBouncesAndEachBarDrawsItsOwn) {
  ControlDescription hidden = Bar("Hidden", Rect(10, 70, 40, 20), 0);
  hidden.visible = false;
  ControlTestWindow window(
      {Bar("Wide", Rect(10, 10, 40, 20), 0), Bar("Narrow", Rect(10, 40, 6, 20), 0), hidden});
  ProgressBarPane* wide = BarPane(window, "Wide");
  ProgressBarPane* narrow = BarPane(window, "Narrow");
  std::vector<int32_t> wideSteps;
  std::vector<int32_t> narrowSteps;
  for (int k = 0; k < 10; ++k) {
    wide->AnimationTask()->Run();
    narrow->AnimationTask()->Run();
    wideSteps.push_back(wide->Overlay()->Position());
    narrowSteps.push_back(narrow->Overlay()->Position());
  }
  EXPECT_EQ(wideSteps, (std::vector<int32_t>{1, 2, 3, 4, 4, 3, 2, 1, 0, 1}));
  EXPECT_EQ(narrowSteps, std::vector<int32_t>(10, 0));

  // The hidden bar's run leaves the visible one's animation on.
  BarPane(window, "Hidden")->AnimationTask()->Run();
  HWND overlay = wide->Overlay()->NativeWindow();
  HDC dc = GetDC(overlay);
  const RECT all{0, 0, 40, 20};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(overlay, dc);
  RedrawWindow(overlay, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  // Position 1: the block covers x 10 ... 15 and rows 2 ... 17 of the 20.
  auto is = [&](int x, int y, int colorIndex) {
    return ReadWindowPixel(overlay, x, y) == GetSysColor(colorIndex);
  };
  for (const auto& [x, y] : {std::pair{10, 2}, {15, 2}, {10, 17}, {15, 17}}) {
    EXPECT_TRUE(is(x, y, COLOR_HIGHLIGHT)) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{9, 8}, {16, 8}, {12, 1}}) {
    EXPECT_TRUE(is(x, y, COLOR_BTNFACE)) << x << "," << y;
  }
  EXPECT_TRUE(is(12, 19, COLOR_BTNHIGHLIGHT));
  EXPECT_TRUE(is(12, 18, COLOR_BTNFACE));
}

// The block's pixels in the overlay's middle row.
int BlockPixelsShown(ProgressBarPane* pane, int width) {
  HWND overlay = pane->Overlay()->NativeWindow();
  int shown = 0;
  for (int x = 0; x < width; ++x) {
    shown += ReadWindowPixel(overlay, x, 10) == GetSysColor(COLOR_HIGHLIGHT);
  }
  return shown;
}

TEST_F(ProgressBarTest, OnABarOfOneOrTwoPlacesTheWholeBlockShowsAtEveryStep) {
  // The block is 6 pixels wide; a bar of 8 to 15 pixels has one place for it.
  for (int width : {8, 12, 15, 16, 23}) {
    ControlTestWindow window({Bar("Busy", Rect(10, 10, width, 20), 0)});
    ProgressBarPane* pane = BarPane(window, "Busy");
    for (int step = 1; step <= 6; ++step) {
      pane->AnimationTask()->Run();
      EXPECT_EQ(BlockPixelsShown(pane, width), 6)
          << "width " << width << ", step " << step << ", place " << pane->Overlay()->Position();
    }
  }
  // A bar made narrower while its block is at the far end, moving back.
  ControlTestWindow window({Bar("Busy", Rect(10, 10, 80, 20), 0)});
  ProgressBarPane* pane = BarPane(window, "Busy");
  for (int step = 1; step <= 11; ++step) pane->AnimationTask()->Run();
  ASSERT_EQ(pane->Overlay()->Position(), 8);
  SetProperty<int32_t>(window.Control("Busy"), "Width", 12);
  for (int step = 1; step <= 3; ++step) {
    pane->AnimationTask()->Run();
    EXPECT_EQ(BlockPixelsShown(pane, 12), 6) << "narrowed, step " << step;
  }
}

TEST_F(ProgressBarTest, ThemedTheBarAndTheBlockAreProgressParts) {
  ControlTestWindow window({Bar("Busy", Rect(10, 10, 40, 20), 0)});
  UxSetThemeLayerForTesting(&kRecordingLayer);
  SetWindowsXPForTest(1);
  themeCalls.clear();
  BarPane(window, "Busy")->AnimationTask()->Run();
  EXPECT_EQ(themeCalls, (std::vector<std::string>{"open Progress", "draw 1 10,10,50,30",
                                                  "draw 3 20,13,26,27"}));
}

}  // namespace
