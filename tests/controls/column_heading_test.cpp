// The column heading pane in a window: the sort mark and its direction,
// presses, clicks and pointer moves reaching the owner, the caption centred
// or cut, the classic pixels with the sort triangle and a picture, and the
// themed drawing through a recording theme layer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/ColumnHeadingPane.h"
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
  static std::string At(const char* what, int32_t x, int32_t y) {
    return std::string(what) + " " + std::to_string(x) + "," + std::to_string(y);
  }
  void TrackBegin(ColumnHeadingPane*, int32_t x, int32_t y) override { Log(At("TrackBegin", x, y)); }
  void HeadingClicked(ColumnHeadingPane*) override { Log("HeadingClicked"); }
  void HeadingPressed(ColumnHeadingPane*) override { Log("HeadingPressed"); }
  void HeadingMouse(ColumnHeadingPane*, int32_t x, int32_t y) override {
    Log(At("HeadingMouse", x, y));
  }
};

// The recording theme layer: every "Header" draw is kept, and paints its
// rectangle light blue unless the layer is set to fail.
struct ThemeDraw {
  int part, state;
  RECT rect;
};
std::vector<ThemeDraw> themeDraws;
bool themeFails = false;
constexpr COLORREF kThemeFace = RGB(0xC0, 0xD8, 0xF0);

BOOL WINAPI FakeIsAppThemed() { return TRUE; }
HANDLE WINAPI FakeOpen(HWND, LPCWSTR classList) {
  return std::wstring(classList) == L"Header" ? reinterpret_cast<HANDLE>(1) : nullptr;
}
HRESULT WINAPI FakeDraw(HANDLE, HDC dc, int part, int state, const RECT* rect, const RECT*) {
  themeDraws.push_back({part, state, *rect});
  if (themeFails) return E_FAIL;
  HBRUSH brush = CreateSolidBrush(kThemeFace);
  FillRect(dc, rect, brush);
  DeleteObject(brush);
  return S_OK;
}
HRESULT WINAPI FakeClose(HANDLE) { return S_OK; }
const ThemeLayer kRecordingLayer{FakeIsAppThemed, FakeOpen, FakeDraw, FakeClose};

uint32_t Rgb(COLORREF colour) {
  return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}
uint32_t System(int index) { return Rgb(GetSysColor(index)); }
uint32_t OneThird(uint32_t rgb) {
  return ((rgb >> 16 & 0xFF) / 3) << 16 | ((rgb >> 8 & 0xFF) / 3) << 8 | (rgb & 0xFF) / 3;
}

// The points of the heading's picture in that colour, as {x, y} pairs.
std::vector<POINT> PointsOf(const WindowCapture& capture, uint32_t rgb) {
  std::vector<POINT> points;
  for (int32_t y = 0; y < capture.Height(); ++y) {
    for (int32_t x = 0; x < capture.Width(); ++x) {
      if (capture.Pixel(x, y) == rgb) points.push_back({x, y});
    }
  }
  return points;
}

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
    holders_.clear();
    window_ = ObjectRef();
    WindowSystemTest::TearDown();
  }

  ColumnHeadingPane* Place(const MacRect& bounds, const char* caption) {
    RecordingHeadingListener* listener = &listener_;
    const std::string name = "Heading" + std::to_string(holders_.size() + 1);
    ObjectRef holder = PlaceControl(window_.get(), name.c_str(), bounds,
                                    [listener, caption](const PaneSite& site) {
                                      ScopedFontDescriptor font;
                                      StringRef text = StringRef::Adopt(StringFromUTF8(caption));
                                      return new ColumnHeadingPane(listener, font.get(),
                                                                   site.parent, site.bounds,
                                                                   text.get());
                                    });
    holders_.push_back(holder);
    return static_cast<ColumnHeadingPane*>(PaneOf(holder.get()));
  }

  // The heading as it paints now.
  static WindowCapture Painted(ColumnHeadingPane* heading) {
    heading->Invalidate(false);
    return WindowCapture::OfClient(heading->NativeWindow());
  }

  ObjectRef window_;
  RecordingHeadingListener listener_;
  std::vector<ObjectRef> holders_;
};

TEST_F(HeadingTest, TheSortMarkTurnsTheDirectionOnlyWhenSetToOneAgain) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "Name");
  HWND window = heading->NativeWindow();
  std::vector<int> directions;
  for (int32_t mark : {1, 1, 1}) {
    heading->SetSortMark(mark);
    directions.push_back(heading->SortDirection());
  }
  EXPECT_EQ(directions, (std::vector<int>{kSortAscending, kSortDescending, kSortAscending}));

  heading->SetSortMark(2);
  ValidateRect(window, nullptr);
  heading->SetSortMark(2);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  heading->SetSortMark(0);
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
}

TEST_F(HeadingTest, PressesClicksAndPointerMovesReachTheOwner) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "Name");
  HWND top = GetAncestor(heading->NativeWindow(), GA_ROOT);
  auto press = [&] {
    PostMessageW(heading->NativeWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    RunPendingTurns();
  };
  auto releaseAt = [&](int x, int y) {
    PostMessageW(top, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    RunPendingTurns();
  };

  press();
  EXPECT_EQ(TakeLog(), Lines{"HeadingPressed"});
  EXPECT_TRUE(heading->IsPressed());
  EXPECT_EQ(GetMouseCapturePane(), heading);
  releaseAt(40, 40);
  EXPECT_EQ(TakeLog(), Lines{"HeadingClicked"});
  EXPECT_FALSE(heading->IsPressed());

  press();
  releaseAt(150, 150);
  EXPECT_EQ(TakeLog(), Lines{"HeadingPressed"});
  EXPECT_EQ(GetMouseCapturePane(), nullptr);

  heading->SetEnabled(false, true);
  press();
  EXPECT_EQ(TakeLog(), Lines{});
  EXPECT_EQ(GetMouseCapturePane(), nullptr);

  heading->SetEnabled(true, true);
  PostMessageW(heading->NativeWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
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
    StringRef ellipsis = StringRef::Adopt(StringFromASCII("..."));
    EXPECT_LE(texts[1].x + port.StringWidth(ellipsis.get()), 15 + 90);
  }
  metafile->Unlock();
}

TEST_F(HeadingTest, ClassicHeadingsShowFaceFramePressedStateTriangleAndPicture) {
  ColumnHeadingPane* heading = Place(Rect(20, 30, 60, 20), "");
  WindowCapture plain = Painted(heading);
  EXPECT_EQ(plain.Pixel(30, 10), System(COLOR_BTNFACE));
  EXPECT_EQ(plain.Pixel(30, 19), OneThird(System(COLOR_BTNSHADOW)));
  EXPECT_EQ(plain.Pixel(0, 10), OneThird(System(COLOR_BTNHIGHLIGHT)));

  // Sorted: the triangle is the only black inside the frame, apex up when
  // ascending; m = (20 - 4) / 2 = 8.
  heading->SetSortMark(1);
  for (bool ascending : {true, false}) {
    WindowCapture sorted = Painted(heading);
    int apexRow = 0, baseRow = 0;
    for (const POINT& point : PointsOf(sorted, 0)) {
      if (point.x == 0 || point.y == 0 || point.x == 59 || point.y == 19) continue;
      EXPECT_TRUE(point.x >= 45 && point.x <= 53 && point.y >= 8 && point.y <= 12)
          << point.x << "," << point.y;
      apexRow += point.y == (ascending ? 8 : 12);
      baseRow += point.y == (ascending ? 12 : 8);
    }
    EXPECT_EQ(apexRow, 1) << ascending;
    EXPECT_EQ(baseRow, 9) << ascending;
    heading->SetSortMark(1);
  }

  heading->SetSortMark(0);
  heading->SetCaption(StringRef::Adopt(StringFromASCII("W")).get());
  PostMessageW(heading->NativeWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  RunPendingTurns();
  WindowCapture pressed = Painted(heading);
  EXPECT_EQ(pressed.Pixel(5, 10), System(COLOR_BTNSHADOW));
  EXPECT_EQ(pressed.Pixel(0, 0), 0u);
  EXPECT_EQ(pressed.Pixel(59, 19), 0u);
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
    return themeDraws.empty() ? 0 : themeDraws.back().state;
  };

  EXPECT_EQ(stateNow(), 1);
  ASSERT_EQ(themeDraws.size(), 1u);
  EXPECT_EQ(themeDraws[0].part, 1);
  const RECT& rect = themeDraws[0].rect;
  EXPECT_EQ((std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom}),
            (std::vector<LONG>{20, 31, 80, 50}));
  heading->MouseEnter(25, 35, 0);
  EXPECT_EQ(stateNow(), 2);
  heading->MouseLeave();
  heading->SetSortMark(1);
  EXPECT_EQ(stateNow(), 3);

  const uint32_t triangle = 0xACA899;
  const std::vector<POINT> points = PointsOf(Painted(heading), triangle);
  ASSERT_EQ(points.size(), 25u);
  EXPECT_EQ((std::vector<LONG>{points.front().x, points.front().y}), (std::vector<LONG>{49, 8}));
  heading->SetCaption(StringRef::Adopt(StringFromASCII("A caption as wide as this")).get());
  EXPECT_TRUE(PointsOf(Painted(heading), triangle).empty());

  themeFails = true;
  EXPECT_EQ(Painted(heading).Pixel(10, 10), System(COLOR_BTNSHADOW));
}

}  // namespace
