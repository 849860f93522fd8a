// Drag and drop inside the application, driven by real input from a second
// thread while the main thread is in the modal drag.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/SmartRef.h"
#include "testsupport/UiTestSupport.h"
#include "ui/DragItem.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"

namespace {

std::atomic<bool> dragStarted{false};
RuntimeObject* draggedItem = nullptr;

// The pane a drag starts from: its press makes an item and drags it.
class SourcePane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  bool MouseDown(int32_t x, int32_t y, uint32_t) override {
    ObjectRef item = ObjectRef::Adopt(NewDragItem(x, y, 20, 10));
    draggedItem = item.get();
    dragStarted = true;
    DragItemDrag(item.get());
    Log(name() + ".DragReturned");
    draggedItem = nullptr;
    return true;
  }
};

class TargetPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  void TrackDrag(int32_t x, int32_t y, RuntimeObject* item) override {
    if (item == draggedItem)
      Log(name() + ".TrackDrag " + std::to_string(x) + "," + std::to_string(y));
  }
  void DragExit(RuntimeObject*) override { Log(name() + ".DragExit"); }
};

class DropDelegate : public PaneDelegate {
 public:
  void Notify(SubPane*, int32_t code, int32_t argument) override {
    const bool isItem = argument == int32_t(reinterpret_cast<intptr_t>(draggedItem));
    Log(std::string("Drop ") + (code == kDragDropNotification ? "code" : "other") +
        (isItem ? " item" : " other"));
  }
};

std::vector<std::string> Matching(const std::vector<std::string>& log, const std::string& part) {
  std::vector<std::string> found;
  for (const std::string& entry : log) {
    if (entry.find(part) != std::string::npos) found.push_back(entry);
  }
  return found;
}

class DragTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    dragStarted = false;
    window_ = OpenTestWindow();
    top_ = WindowHandle(window_.get());
    source_ = PlaceControl(window_.get(), "Source", Rect(20, 20, 60, 40),
                           [](const PaneSite& site) { return new SourcePane("Source", site); });
    target_ = PlaceControl(window_.get(), "Target", Rect(150, 60, 100, 80),
                           [](const PaneSite& site) { return new TargetPane("Target", site); });
    PaneSetDelegate(PaneOf(target_.get()), &delegate_);
    RunPendingTurns();
  }
  void TearDown() override {
    SendMouseButton(false);
    SendKey(VK_ESCAPE, false);
    RunPendingTurns();
    source_ = ObjectRef();
    target_ = ObjectRef();
    window_ = ObjectRef();
    WindowSystemTest::TearDown();
  }

  // Presses on the source; the thread runs the rest of the gesture once the
  // drag has started.
  std::vector<std::string> Gesture(const std::function<void()>& rest) {
    if (!MakeForeground(top_)) return {"no foreground"};
    SendMouseMove(ScreenPointOf(top_, 40, 30));
    RunPendingTurns();
    TakeLog();
    std::thread driver([&] {
      for (int i = 0; i < 200 && !dragStarted; ++i) Sleep(10);
      Sleep(50);
      rest();
    });
    SendMouseButton(true);
    RuntimeTestEnvironment::RunUntil(
        [] {
          for (const std::string& entry : TakeLogPeek()) {
            if (entry == "Source.DragReturned") return true;
          }
          return false;
        },
        5000);
    driver.join();
    RunPendingTurns();
    return TakeLog();
  }

  static std::vector<std::string> TakeLogPeek() {
    std::vector<std::string> log = TakeLog();
    for (const std::string& entry : log) Log(entry);
    return log;
  }

  ObjectRef window_, source_, target_;
  HWND top_ = nullptr;
  DropDelegate delegate_;
};

// The screen pixels along the top edge of the outline's last place.
std::vector<COLORREF> OutlineEdge(HWND top) {
  std::vector<COLORREF> pixels;
  HDC screen = GetDC(nullptr);
  for (int x = 180; x < 200; x += 3) {
    POINT at = ScreenPointOf(top, x, 90);
    pixels.push_back(GetPixel(screen, at.x, at.y));
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST_F(DragTest, ReleaseOverATargetTracksThenDropsOnce) {
  const std::vector<COLORREF> before = OutlineEdge(top_);
  std::vector<std::string> log = Gesture([this] {
    SendMouseMove(ScreenPointOf(top_, 170, 80));
    Sleep(60);
    SendMouseMove(ScreenPointOf(top_, 180, 90));
    Sleep(60);
    SendMouseButton(false);
  });
  std::vector<std::string> tracks = Matching(log, "Target.TrackDrag");
  ASSERT_FALSE(tracks.empty()) << ::testing::PrintToString(log);
  EXPECT_EQ(tracks.back(), "Target.TrackDrag 30,30");
  EXPECT_EQ(Matching(log, "Drop"), std::vector<std::string>{"Drop code item"});
  EXPECT_EQ(Matching(log, "DragReturned").size(), 1u);
  EXPECT_TRUE(Matching(log, "MouseUp").empty()) << "input never reaches panes during the drag";
  EXPECT_EQ(OutlineEdge(top_), before) << "the outline is erased";
}

TEST_F(DragTest, EscapeCancelsWithDragExitAndNoDrop) {
  std::vector<std::string> log = Gesture([this] {
    SendMouseMove(ScreenPointOf(top_, 170, 80));
    Sleep(60);
    SendKey(VK_ESCAPE, true);
    SendKey(VK_ESCAPE, false);
    Sleep(60);
    SendMouseButton(false);
  });
  EXPECT_FALSE(Matching(log, "Target.TrackDrag").empty()) << ::testing::PrintToString(log);
  EXPECT_EQ(Matching(log, "DragExit"), std::vector<std::string>{"Target.DragExit"});
  EXPECT_TRUE(Matching(log, "Drop").empty());
}

TEST_F(DragTest, WithTheButtonUpTheDragReturnsAtOnce) {
  SendMouseButton(false);
  ObjectRef item = ObjectRef::Adopt(NewDragItem(0, 0, 10, 10));
  DragItemDrag(item.get());
  DragItemDrag(nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(ObjectFields<DragItemFields>(item.get())->lastTarget, nullptr);
}

}  // namespace
