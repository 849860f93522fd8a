// The controls the run-time draws itself: the canvas (painting, Backdrop,
// keys, the right button, scrolling its child controls), lines (pixels,
// thick lines without gaps, presses near the line, redraws on a move) and
// the bevelled rectangle; and handlers of these and of the popup menu that
// close their window.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "controls/Canvas.h"
#include "controls/CheckBox.h"
#include "controls/LineControl.h"
#include "controls/PopupMenu.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PictureClass.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/PaneFocus.h"

namespace {

using Lines = std::vector<std::string>;
constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

// A control of the parent control.
ControlDescription Child(ObjectDefinition* definition, const char* name, const MacRect& bounds,
                         const char* parent) {
  ControlDescription description = Described(definition, name, bounds);
  description.parent = parent;
  return description;
}

// Canvas1 (10, 10, 100 x 100); Line1 from (130, 10) to (130, 30) in red;
// Oval1; Rect1 (200, 10, 80 x 60) holding the check box OnRect; Popup1.
std::vector<ControlDescription> DrawingControls() {
  ControlDescription line = Described(GetLineClassDefinition(), "Line1", MacRect{});
  line.prepare = [](RuntimeObject* control) {
    for (auto [name, value] : {std::pair{"X1", 130}, {"X2", 130}, {"Y1", 10}, {"Y2", 30}}) {
      SetProperty<int32_t>(control, name, value);
    }
    SetProperty<uint32_t>(control, "LineColor", kRed);
  };
  return {Described(GetCanvasClassDefinition(), "Canvas1", Rect(10, 10, 100, 100)),
          line,
          Described(GetOvalClassDefinition(), "Oval1", Rect(150, 10, 40, 30)),
          Described(GetRectangleClassDefinition(), "Rect1", Rect(200, 10, 80, 60)),
          Child(GetCheckBoxClassDefinition(), "OnRect", Rect(210, 40, 60, 20), "Rect1"),
          Described(GetPopupMenuClassDefinition(), "Popup1", Rect(130, 170, 100, 24))};
}

WindowCapture Captured(const ControlTestWindow& window) {
  RedrawWindow(window.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return WindowCapture::OfClient(window.Handle());
}

std::vector<POINT> PointsOf(const WindowCapture& capture, uint32_t colour) {
  std::vector<POINT> points;
  for (int32_t y = 0; y < capture.Height(); ++y) {
    for (int32_t x = 0; x < capture.Width(); ++x) {
      if (capture.Pixel(x, y) == colour) points.push_back(POINT{x, y});
    }
  }
  return points;
}

void RunFor(int milliseconds) {
  RuntimeTestEnvironment::RunUntil([] { return false; }, milliseconds);
}

class DrawnControlsTest : public WindowSystemTest {};

TEST_F(DrawnControlsTest, ACanvasPaintsItsBackdropAndPaintInsideItsBounds) {
  std::vector<ControlDescription> controls = DrawingControls();
  controls.push_back(Described(GetCanvasClassDefinition(), "Plain", Rect(10, 120, 50, 50)));
  controls.back().plain = true;
  ObjectRef canvas;
  ObjectRef kept;
  {
    ControlTestWindow window(controls);
    auto exStyle = [&](const char* name) {
      return GetWindowLongW(window.Pane(name)->NativeWindow(), GWL_EXSTYLE) & WS_EX_TRANSPARENT;
    };
    EXPECT_NE(exStyle("Plain"), 0);
    EXPECT_EQ(exStyle("Canvas1"), 0);

    canvas = ObjectRef::Retain(window.Control("Canvas1"));
    window.OnEvent("Canvas1", "Paint", [](RuntimeObject* g) {
      graphicsForeColorSetter(g, 0, kRed);
      RuntimeGraphicsFillRect(g, -50, -50, 500, 500);
    });
    std::vector<POINT> red = PointsOf(Captured(window), kRed);
    EXPECT_EQ(red.size(), 10000u + 21u) << "the canvas and Line1";
    window.OnEvent("Canvas1", "Paint", [](RuntimeObject*) {});

    for (auto [size, shown] : {std::pair{300, 10000u}, {20, 400u}}) {
      ObjectRef picture = ObjectRef::Adopt(newPicture(size, size, 32));
      ObjectRef g = ObjectRef::Adopt(pictureGraphicsGetter(picture.get(), 0));
      graphicsForeColorSetter(g.get(), 0, kBlue);
      RuntimeGraphicsFillRect(g.get(), 0, 0, size, size);
      SetProperty<RuntimeObject*>(canvas.get(), "Backdrop", picture.get());
      const WindowCapture capture = Captured(window);
      EXPECT_EQ(PointsOf(capture, kBlue).size(), shown) << size;
      EXPECT_EQ(capture.Pixel(10, 10), kBlue) << size;
    }
    kept = ObjectRef::Adopt(GetProperty<RuntimeObject*>(canvas.get(), "Graphics"));
    ASSERT_TRUE(kept);
  }
  EXPECT_EQ(GetProperty<RuntimeObject*>(canvas.get(), "Graphics"), nullptr);
  RuntimeGraphicsFillRect(kept.get(), 0, 0, 10, 10);
  EXPECT_EQ(ObjectFields<GraphicsObject>(kept.get())->port->Target(), nullptr);
}

TEST_F(DrawnControlsTest, AFocusedCanvasGetsEachKeyOnceAndTheRightButtonAsAContextualClick) {
  std::vector<ControlDescription> controls = DrawingControls();
  DescriptionNamed(controls, "Canvas1").prepare = [](RuntimeObject* canvas) {
    SetProperty<uint8_t>(canvas, "AcceptFocus", 1);
  };
  controls.push_back(
      Child(GetCheckBoxClassDefinition(), "Inside", Rect(20, 80, 60, 20), "Canvas1"));
  ControlTestWindow window(controls);
  RuntimeObject* canvas = window.Control("Canvas1");
  window.FocusOn("Canvas1");
  auto typed = [&](std::function<void()> press) {
    MakeForeground(window.Handle());
    press();
    RunFor(300);
    return TakeLog();
  };
  EXPECT_EQ(typed([] {
              SendKey('A', true);
              SendKey('A', false);
            }),
            (Lines{"Canvas1.KeyDown(61)"}));
  EXPECT_EQ(typed([] {
              SendKey(VK_LEFT, true);
              SendKey(VK_LEFT, false);
            }),
            (Lines{"Canvas1.KeyDown(1C)"}));
  EXPECT_EQ(GetFocusPane(), window.Pane("Canvas1"));
  EXPECT_EQ(typed([] { SendCharacterKey(0xE9); }), (Lines{"Canvas1.KeyDown(C3A9)"}));
  SetProperty<uint8_t>(canvas, "AcceptTabs", 1);
  EXPECT_EQ(typed([] {
              SendKey(VK_TAB, true);
              SendKey(VK_TAB, false);
            }),
            (Lines{"Canvas1.KeyDown(09)"}));
  SetProperty<uint8_t>(canvas, "AcceptTabs", 0);
  const Lines tabbedAway = typed([] {
    SendKey(VK_TAB, true);
    SendKey(VK_TAB, false);
  });
  EXPECT_EQ(tabbedAway, (Lines{"Canvas1.LostFocus", "OnRect.GotFocus"})) << "no KeyDown";
  EXPECT_NE(GetFocusPane(), window.Pane("Canvas1"));

  bool contextual = false;
  window.OnEvent("Canvas1", "MouseDown", [&](RuntimeObject*) { contextual = IsCMMClick(); });
  const POINT point = ScreenPointOf(window.Pane("Canvas1")->NativeWindow(), 50, 30);
  EXPECT_EQ(typed([&] {
              SendMouseMove(point);
              SendMouseButton(true, true);
              SendMouseButton(false, true);
            }),
            (Lines{"Canvas1.MouseDown(50,30)"}));
  EXPECT_TRUE(contextual);
  EXPECT_FALSE(IsCMMClick());

  CallMethod(canvas, "Scroll", 5, 7, 0, 0, -10000, -10000, uint8_t(1));
  RuntimeObject* inside = window.Control("Inside");
  EXPECT_EQ(GetProperty<int32_t>(inside, "Left"), 25);
  EXPECT_EQ(GetProperty<int32_t>(inside, "Top"), 87);
  POINT origin{0, 0};
  MapWindowPoints(window.Native("Inside"), window.Handle(), &origin, 1);
  EXPECT_EQ(origin.x, 25);
  EXPECT_EQ(origin.y, 87);
}

void MoveLine(RuntimeObject* line, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  for (auto [name, value] : {std::pair{"X1", x1}, {"Y1", y1}, {"X2", x2}, {"Y2", y2}}) {
    SetProperty<int32_t>(line, name, value);
  }
}

// Whether the points form one 4-connected set.
bool Connected(const std::vector<POINT>& points) {
  std::set<std::pair<LONG, LONG>> left;
  for (const POINT& point : points) left.insert({point.x, point.y});
  std::vector<std::pair<LONG, LONG>> next{*left.begin()};
  left.erase(left.begin());
  while (!next.empty()) {
    auto [x, y] = next.back();
    next.pop_back();
    for (auto neighbour : {std::pair{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
      if (left.erase(neighbour)) next.push_back(neighbour);
    }
  }
  return left.empty();
}

TEST_F(DrawnControlsTest, LinesPaintTheirSquaresWithoutGapsAndTakeNearbyPresses) {
  ControlTestWindow window(DrawingControls());
  RuntimeObject* line = window.Control("Line1");
  EXPECT_EQ(PointsOf(Captured(window), kRed).size(), 21u);
  SetProperty<int32_t>(line, "BorderWidth", 3);
  EXPECT_EQ(PointsOf(Captured(window), kRed).size(), 69u);

  MoveLine(line, 130, 150, 230, 151);
  const std::vector<POINT> red = PointsOf(Captured(window), kRed);
  std::set<LONG> columns;
  for (const POINT& point : red) columns.insert(point.x);
  EXPECT_EQ(columns.size(), 103u);
  EXPECT_EQ(*columns.begin(), 130);
  EXPECT_EQ(*columns.rbegin(), 232);
  EXPECT_TRUE(Connected(red));

  // Squared distances 24, 32 and 40 from the diagonal; then a line that is
  // one point.
  SetProperty<int32_t>(line, "BorderWidth", 1);
  MoveLine(line, 130, 60, 170, 100);
  TakeLog();
  for (int y : {87, 88, 89}) PostClick(window.Handle(), 150, y);
  RunPendingTurns();
  EXPECT_EQ(TakeLog(), (Lines{"Line1.MouseDown(20,27)", "Line1.MouseDown(20,28)"}));
  EXPECT_EQ(LineDistanceSquared(0, 0, 60000, 60000, 30000, 30008), 32) << "far beyond 32 bits";
  MoveLine(line, 250, 150, 250, 150);
  PostClick(window.Handle(), 250, 150);
  RunPendingTurns();
  EXPECT_EQ(TakeLog(), (Lines{"Line1.MouseDown(0,0)"}));

  MoveLine(line, 140, 10, 130, 30);
  UpdateWindow(window.Handle());
  SetProperty<int32_t>(line, "X1", 0);
  HRGN update = CreateRectRgn(0, 0, 0, 0);
  GetUpdateRgn(window.Handle(), update, FALSE);
  EXPECT_TRUE(PtInRegion(update, 139, 10)) << "the old area";
  DeleteObject(update);
  EXPECT_TRUE(GetUpdateRect(window.Pane("Line1")->NativeWindow(), nullptr, FALSE)) << "the new";
}

TEST_F(DrawnControlsTest, ARectangleIsABevelledBackgroundForItsControls) {
  std::vector<ControlDescription> controls = DrawingControls();
  DescriptionNamed(controls, "Rect1").prepare = [](RuntimeObject* rectangle) {
    SetProperty<uint32_t>(rectangle, "FillColor", kBlue);
    SetProperty<int32_t>(rectangle, "BorderWidth", 2);
    SetProperty<uint32_t>(rectangle, "TopLeftColor", kWhite);
  };
  ControlTestWindow window(controls);
  const WindowCapture capture = Captured(window);
  // Rect1 spans x 200 ... 279 and y 10 ... 69.
  const std::vector<std::pair<POINT, uint32_t>> expected = {
      {{240, 10}, kWhite}, {{240, 11}, kWhite}, {{240, 12}, kBlue},  {{240, 67}, kBlue},
      {{240, 68}, 0},      {{240, 69}, 0},      {{200, 20}, kWhite}, {{201, 20}, kWhite},
      {{202, 20}, kBlue},  {{277, 20}, kBlue},  {{278, 20}, 0},      {{279, 20}, 0},
  };
  for (const auto& [point, colour] : expected) {
    EXPECT_EQ(capture.Pixel(point.x, point.y), colour) << point.x << "," << point.y;
  }
  RuntimeObject* onRect = window.Control("OnRect");
  SetProperty<uint32_t>(window.Control("Rect1"), "FillColor", kGreen);
  const WindowCapture green = Captured(window);
  EXPECT_EQ(green.Pixel(240, 20), kGreen);
  EXPECT_EQ(green.Pixel(265, 50), kGreen) << "behind the check box";
  window.RealClick("OnRect", 6, 10);
  EXPECT_TRUE(GetProperty<bool>(onRect, "Value"));

  TakeLog();
  SetProperty<uint8_t>(window.Control("Oval1"), "Enabled", 0);
  SetProperty<uint8_t>(window.Control("Line1"), "Enabled", 0);
  EXPECT_FALSE(window.Pane("Oval1")->MouseDown(160, 20, 0));
  window.Pane("Line1")->MouseDown(130, 20, 0);
  EXPECT_EQ(TakeLog(), (Lines{"Line1.MouseDown(0,10)"}));
}

TEST_F(DrawnControlsTest, HandlersThatCloseTheWindowLeaveNothing) {
  const std::vector<std::pair<const char*, std::function<void(ControlTestWindow&)>>> cases = {
      {"Popup1.Change",
       [](ControlTestWindow& window) {
         SetProperty<int32_t>(window.Control("Popup1"), "ListIndex", 0);
       }},
      {"Canvas1.Paint",
       [](ControlTestWindow& window) {
         RedrawWindow(window.Pane("Canvas1")->NativeWindow(), nullptr, nullptr,
                      RDW_INVALIDATE | RDW_UPDATENOW);
       }},
      {"Canvas1.MouseDown", [](ControlTestWindow& window) { PostClick(window.Handle(), 50, 50); }},
      {"Rect1.MouseDown", [](ControlTestWindow& window) { PostClick(window.Handle(), 240, 20); }},
  };
  for (const auto& [event, close] : cases) {
    const int32_t panesBefore = Pane::LiveCount();
    const uint32_t objectsBefore = RuntimeLiveObjectCount();
    {
      ControlTestWindow window(DrawingControls());
      const std::string name(event);
      window.CloseOn(name.substr(0, name.find('.')), name.substr(name.find('.') + 1));
      close(window);
      RunPendingTurns();
      EXPECT_FALSE(window.IsOpen()) << event;
    }
    RunPendingTurns();
    EXPECT_EQ(Pane::LiveCount(), panesBefore) << event;
    EXPECT_EQ(RuntimeLiveObjectCount(), objectsBefore) << event;
  }
}

}  // namespace
