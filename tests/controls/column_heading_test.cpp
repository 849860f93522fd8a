// The column heading pane in a window: state, mouse, caption, classic
// pixels, and themed drawing through a recording theme layer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/listbox/ColumnHeadingPane.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/FontCache.h"
#include "ui/PaneFocus.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"

namespace {

using Lines = std::vector<std::string>;

struct RecordingHeadingListener : HeadingListener {
  static void At(const char* what, int32_t x, int32_t y) {
    Log(std::string(what) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void TrackBegin(ColumnHeadingPane*, int32_t x, int32_t y) override { At("TrackBegin", x, y); }
  void HeadingClicked(ColumnHeadingPane*) override { Log("HeadingClicked"); }
  void HeadingPressed(ColumnHeadingPane*) override { Log("HeadingPressed"); }
  void HeadingMouse(ColumnHeadingPane*, int32_t x, int32_t y) override { At("HeadingMouse", x, y); }
};

// The recording theme layer: "Header" opens; each draw is kept as {part,
// state, left, top, right, bottom} and paints its rectangle white, or fails
// when asked.
std::vector<std::vector<LONG>> themeDraws;
bool themeFails = false;

BOOL WINAPI FakeIsAppThemed() { return TRUE; }
HANDLE WINAPI FakeOpen(HWND, LPCWSTR name) {
  return std::wstring(name) == L"Header" ? reinterpret_cast<HANDLE>(1) : nullptr;
}
HRESULT WINAPI FakeDraw(HANDLE, HDC dc, int part, int state, const RECT* rect, const RECT*) {
  themeDraws.push_back({part, state, rect->left, rect->top, rect->right, rect->bottom});
  if (!themeFails) FillRect(dc, rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  return themeFails ? E_FAIL : S_OK;
}
HRESULT WINAPI FakeClose(HANDLE) { return S_OK; }
const ThemeLayer kRecordingLayer{FakeIsAppThemed, FakeOpen, FakeDraw, FakeClose};

// A system colour as 0x00RRGGBB, and with each channel divided by 3.
uint32_t System(int index) {
  const COLORREF colour = GetSysColor(index);
  return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}
uint32_t Third(uint32_t rgb) {
  return ((rgb >> 16 & 0xFF) / 3) << 16 | ((rgb >> 8 & 0xFF) / 3) << 8 | (rgb & 0xFF) / 3;
}

// The points of that colour, row by row.
std::vector<POINT> PointsOf(const WindowCapture& capture, uint32_t rgb) {
  std::vector<POINT> points;
  for (int32_t y = 0; y < capture.Height(); ++y) {
    for (int32_t x = 0; x < capture.Width(); ++x) {
      if (capture.Pixel(x, y) == rgb) points.push_back({x, y});
    }
  }
  return points;
}

StringRef Text(const char* text) { return StringRef::Adopt(StringFromUTF8(text)); }

class HeadingTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    window_ = OpenTestWindow();
  }
  void TearDown() override {
    UxSetThemeLayerForTesting(nullptr);
    SetWindowsXPForTest(-1);
    themeDraws.clear();
    themeFails = false;
    window_ = ObjectRef();
    WindowSystemTest::TearDown();
  }

  // A heading placed in the window, which holds its control.
  ColumnHeadingPane* Place(const MacRect& bounds, const char* caption) {
    const std::string name = "Heading" + std::to_string(++placed_);
    return static_cast<ColumnHeadingPane*>(PaneOf(
        PlaceControl(window_.get(), name.c_str(), bounds, [&](const PaneSite& site) {
          ScopedFontDescriptor font;
          return new ColumnHeadingPane(&listener_, font.get(), site.parent, site.bounds,
                                       Text(caption).get());
        }).get()));
  }

  // The heading as it paints now, with the pixels of its window.
  static WindowCapture Painted(ColumnHeadingPane* heading) {
    heading->Invalidate(false);
    return WindowCapture::OfClient(heading->NativeWindow());
  }

  ObjectRef window_;
  RecordingHeadingListener listener_;
  int placed_ = 0;
};

TEST_F(HeadingTest, TheSortMarkAndTheMouseSetTheStateAndReachTheOwner) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "Name");
  HWND window = heading->NativeWindow();
  std::vector<int> directions;
  for (int i = 0; i < 3; ++i) {
    heading->SetSortMark(1);
    directions.push_back(heading->SortDirection());
  }
  EXPECT_EQ(directions, (std::vector<int>{kSortAscending, kSortDescending, kSortAscending}));
  heading->SetSortMark(2);
  ValidateRect(window, nullptr);
  heading->SetSortMark(2);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));

  // Presses at the heading's window, releases at the top window that holds
  // the capture.
  auto click = [&](int releaseX) {
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    RunPendingTurns();
    EXPECT_EQ(GetMouseCapturePane(), heading->IsEnabled() ? heading : nullptr);
    PostMessageW(GetAncestor(window, GA_ROOT), WM_LBUTTONUP, 0, MAKELPARAM(releaseX, 40));
    RunPendingTurns();
    return TakeLog();
  };
  EXPECT_EQ(click(40), (Lines{"HeadingPressed", "HeadingClicked"}));
  EXPECT_EQ(click(150), Lines{"HeadingPressed"});
  heading->SetEnabled(false, true);
  EXPECT_EQ(click(40), Lines{});

  heading->SetEnabled(true, true);
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
  RunPendingTurns();
  EXPECT_EQ(TakeLog(), (Lines{"TrackBegin 25,36", "HeadingMouse 25,36"}));
}

TEST_F(HeadingTest, ACaptionIsCentredWhenItFitsAndCutWithAnEllipsisWhenNot) {
  ColumnHeadingPane* fits = Place(Rect(10, 60, 100, 20), "Name");
  ColumnHeadingPane* wide = Place(Rect(10, 90, 100, 20), "A caption far wider than its column");
  MetafileTestPane* metafile = new MetafileTestPane(300, 200);
  {
    GraphicsPort port(metafile);
    fits->Draw(&port);
    std::vector<RecordedText> texts = metafile->TakeText();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, L"Name");
    EXPECT_EQ(texts[0].x, 10 + (100 - port.StringWidth(fits->Caption())) / 2);

    wide->Draw(&port);
    texts = metafile->TakeText();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].x, 15);
    EXPECT_EQ(texts[1].text, L"...");
    EXPECT_LE(texts[1].x + port.StringWidth(Text("...").get()), 15 + 90);
  }
  metafile->Unlock();
}

TEST_F(HeadingTest, ClassicHeadingsShowFaceFramePressedStateTriangleAndPicture) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "");
  WindowCapture plain = Painted(heading);
  EXPECT_EQ((std::vector<uint32_t>{plain.Pixel(30, 10), plain.Pixel(30, 19), plain.Pixel(0, 10)}),
            (std::vector<uint32_t>{System(COLOR_BTNFACE), Third(System(COLOR_BTNSHADOW)),
                                   Third(System(COLOR_BTNHIGHLIGHT))}));

  // Sorted: the triangle is the only black inside the frame, its apex up
  // when ascending; m = (20 - 4) / 2 = 8.
  for (bool ascending : {true, false}) {
    heading->SetSortMark(1);
    int apexRow = 0, baseRow = 0;
    for (const POINT& point : PointsOf(Painted(heading), 0)) {
      if (point.x == 0 || point.y == 0 || point.x == 59 || point.y == 19) continue;
      EXPECT_TRUE(point.x >= 45 && point.x <= 53 && point.y >= 8 && point.y <= 12);
      apexRow += point.y == (ascending ? 8 : 12);
      baseRow += point.y == (ascending ? 12 : 8);
    }
    EXPECT_EQ(std::make_pair(apexRow, baseRow), std::make_pair(1, 9)) << ascending;
  }

  heading->SetSortMark(0);
  heading->SetCaption(Text("W").get());
  heading->MouseDown(25, 35, 0);
  WindowCapture pressed = Painted(heading);
  EXPECT_EQ((std::vector<uint32_t>{pressed.Pixel(5, 10), pressed.Pixel(0, 0),
                                   pressed.Pixel(59, 19)}),
            (std::vector<uint32_t>{System(COLOR_BTNSHADOW), 0, 0}));
  EXPECT_FALSE(PointsOf(pressed, 0xFFFFFF).empty());
  SetMouseCapturePane(nullptr);

  BitmapPicture* red = BitmapPicture::Create(10, 10, 32);
  {
    GraphicsPort port(red->DrawPort());
    port.SetForeColor({0xFFFF, 0, 0});
    port.FillRect(MacRect{0, 0, 10, 10});
  }
  heading->SetCaption(nullptr);
  heading->SetPicture(red);
  PictureRelease(red);
  const std::vector<POINT> reds = PointsOf(Painted(heading), 0xFF0000);
  ASSERT_EQ(reds.size(), 100u);
  EXPECT_EQ((std::vector<LONG>{reds.front().x, reds.front().y, reds.back().x, reds.back().y}),
            (std::vector<LONG>{25, 5, 34, 14}));

  uint32_t colour = 1;
  GetAppearanceColor(7, nullptr, &colour);
  EXPECT_EQ(colour, 0u);
  EXPECT_EQ(TakeRecordedBoxes().size(), 1u);
}

TEST_F(HeadingTest, ThemedHeadingsDrawTheHeaderPartInTheirState) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "A");
  UxSetThemeLayerForTesting(&kRecordingLayer);
  SetWindowsXPForTest(1);
  auto stateNow = [&] {
    themeDraws.clear();
    Painted(heading);
    return themeDraws.empty() ? 0 : themeDraws.back()[1];
  };
  EXPECT_EQ(stateNow(), 1);
  EXPECT_EQ(themeDraws, (std::vector<std::vector<LONG>>{{1, 1, 20, 31, 80, 50}}));
  heading->MouseEnter(25, 35, 0);
  EXPECT_EQ(stateNow(), 2);
  heading->MouseLeave();
  heading->MouseDown(25, 35, 0);
  EXPECT_EQ(stateNow(), 3) << "pressed";
  heading->MouseUp(25, 35, 0);
  SetMouseCapturePane(nullptr);
  EXPECT_EQ(stateNow(), 1);
  heading->SetSortMark(1);
  EXPECT_EQ(stateNow(), 3);

  const uint32_t triangle = 0xACA899;
  const std::vector<POINT> points = PointsOf(Painted(heading), triangle);
  ASSERT_EQ(points.size(), 25u);
  EXPECT_EQ((std::vector<LONG>{points.front().x, points.front().y}), (std::vector<LONG>{49, 8}));
  heading->SetCaption(Text("A caption as wide as this").get());
  EXPECT_TRUE(PointsOf(Painted(heading), triangle).empty());

  themeFails = true;
  EXPECT_EQ(Painted(heading).Pixel(10, 10), System(COLOR_BTNSHADOW));
}

}  // namespace
