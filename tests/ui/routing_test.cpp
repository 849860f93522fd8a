// Routing: control notifications through "KVInstance", presses through the
// window pane, the capture, the pane under the pointer, characters and keys,
// control colours, menu messages, and windows destroyed under their panes.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/string.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"
#include "ui/win32windows.h"
#include "ui/window.h"

namespace {

using RoutingTest = WindowSystemTest;

constexpr uint32_t kCheckBoxStyle = 0x4002;  // BS_CHECKBOX | BS_NOTIFY

std::vector<std::string> Matching(const std::vector<std::string>& log, const std::string& part) {
  std::vector<std::string> found;
  std::copy_if(log.begin(), log.end(), std::back_inserter(found),
               [&](const std::string& entry) { return entry.find(part) != std::string::npos; });
  return found;
}

PaneFactory Button(const std::string& name, RecordingControlPane** made,
                   uint32_t style = kCheckBoxStyle) {
  return [=](const PaneSite& site) {
    return *made = new RecordingControlPane(name, site, "BUTTON", style);
  };
}

TEST_F(RoutingTest, BMClickNotifiesTheControlPaneOnceThroughItsTag) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* pane = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 20, 80, 24), Button("C", &pane));
  ASSERT_NE(pane->NativeWindow(), nullptr);
  EXPECT_EQ(PaneOfControlWindow(pane->NativeWindow()), pane);
  TakeLog();
  SendMessageW(pane->NativeWindow(), BM_CLICK, 0, 0);
  EXPECT_EQ(Matching(TakeLog(), "Notify"), (std::vector<std::string>{"C.Notify 6", "C.Notify 0"}));
}

TEST_F(RoutingTest, NotificationsReachAControlInsideAHostPaneOnce) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* native = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 20, 80, 24), [&](const PaneSite& site) {
    auto* host = new RecordingPane("Host", site);
    native = new RecordingControlPane("C", PaneSite{site.control, host, 0, site.bounds}, "BUTTON",
                                      kCheckBoxStyle);
    return host;
  });
  EXPECT_EQ(GetParent(native->NativeWindow()), PaneOf(box.get())->NativeWindow());
  TakeLog();
  SendMessageW(native->NativeWindow(), BM_CLICK, 0, 0);
  EXPECT_EQ(Matching(TakeLog(), "Notify"), (std::vector<std::string>{"C.Notify 6", "C.Notify 0"}));
}

TEST_F(RoutingTest, APostedClickReachesMouseDownInTopWindowCoordinatesAndClicksOnce) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* pane = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 30, 80, 24), Button("C", &pane));
  TakeLog();
  PostClick(pane->NativeWindow(), 5, 6);
  RunPendingTurns();
  std::vector<std::string> log = TakeLog();
  EXPECT_EQ(Matching(log, "MouseDown"), std::vector<std::string>{"C.MouseDown 25,36"});
  EXPECT_EQ(Matching(log, "Notify 0"), std::vector<std::string>{"C.Notify 0"});

  pane->answerMouseDown = true;
  PostClick(pane->NativeWindow(), 5, 6);
  RunPendingTurns();
  log = TakeLog();
  EXPECT_EQ(Matching(log, "MouseDown").size(), 1u);
  EXPECT_TRUE(Matching(log, "Notify 0").empty());
}

TEST_F(RoutingTest, ADisabledControlNeverSeesThePress) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* pane = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 30, 80, 24), Button("C", &pane));
  controlEnabledSetter(box.get(), 0, false);
  EXPECT_FALSE(IsWindowEnabled(pane->NativeWindow()));
  TakeLog();
  SendMessageW(pane->NativeWindow(), BM_CLICK, 0, 0);
  EXPECT_TRUE(Matching(TakeLog(), "Notify 0").empty());
}

TEST_F(RoutingTest, ACapturedDragEndsWithOneMouseUpAtTheReleasePoint) {
  ObjectRef window = OpenTestWindow();
  HWND top = WindowHandle(window.get());
  ASSERT_TRUE(MakeForeground(top));
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(40, 40, 60, 40), [&](const PaneSite& site) {
    pane = new RecordingPane("P", site);
    pane->answerMouseDown = true;
    pane->captureOnMouseDown = true;
    return pane;
  });
  RunPendingTurns();
  TakeLog();
  SendMouseMove(ScreenPointOf(top, 60, 60));
  RunPendingTurns();
  SendMouseButton(true);
  RunPendingTurns();
  SendMouseMove(ScreenPointOf(top, 150, 120));
  RunPendingTurns();
  SendMouseMove(ScreenPointOf(top, 250, 150));
  RunPendingTurns();
  SendMouseButton(false);
  RuntimeTestEnvironment::RunUntil([] { return GetMouseCapturePane() == nullptr; }, 2000);
  RunPendingTurns();

  std::vector<std::string> log = TakeLog();
  EXPECT_EQ(Matching(log, "MouseDown"), std::vector<std::string>{"P.MouseDown 60,60"});
  EXPECT_GE(Matching(log, "MouseDrag").size(), 1u);
  EXPECT_EQ(Matching(log, "MouseUp"), std::vector<std::string>{"P.MouseUp 250,150"});
  EXPECT_EQ(GetMouseCapturePane(), nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(RoutingTest, ACaptureTheSystemTakesAwayEndsTheGestureAtTheLastPoint) {
  ObjectRef window = OpenTestWindow();
  HWND top = WindowHandle(window.get());
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(40, 40, 60, 40), [&](const PaneSite& site) {
    return pane = new RecordingPane("P", site);
  });
  SetMouseCapturePane(pane);
  EXPECT_EQ(GetCapture(), top);
  EXPECT_TRUE(CaptureHeld());
  SendMessageW(top, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70, 55));
  TakeLog();
  ReleaseCapture();
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"P.MouseUp 70,55"});
  EXPECT_EQ(GetMouseCapturePane(), nullptr);

  // Released by the run-time itself: no MouseUp.
  SetMouseCapturePane(pane);
  SetMouseCapturePane(nullptr);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(RoutingTest, ThePaneUnderThePointerGetsEnterAndLeaveExceptDuringACapture) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* a = nullptr;
  RecordingPane* b = nullptr;
  ObjectRef ca = PlaceControl(window.get(), "A", Rect(10, 10, 50, 50), [&](const PaneSite& site) { return a = new RecordingPane("A", site); });
  ObjectRef cb = PlaceControl(window.get(), "B", Rect(100, 10, 50, 50), [&](const PaneSite& site) { return b = new RecordingPane("B", site); });
  // Away from wherever the real pointer rests.
  PostMessageW(WindowHandle(window.get()), WM_MOUSEMOVE, 0, MAKELPARAM(250, 180));
  RunPendingTurns();
  a->logPointer = b->logPointer = true;
  TakeLog();
  PostMessageW(a->NativeWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  RunPendingTurns();
  EXPECT_EQ(PaneUnderPointer(), a);
  PostMessageW(b->NativeWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  RunPendingTurns();
  EXPECT_EQ(Matching(TakeLog(), "Mouse"),
            (std::vector<std::string>{"A.MouseEnter", "A.MouseLeave", "B.MouseEnter"}));
  SetMouseCapturePane(b);
  PostMessageW(a->NativeWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  RunPendingTurns();
  EXPECT_TRUE(Matching(TakeLog(), "Enter").empty());
  SetMouseCapturePane(nullptr);
}

TEST_F(RoutingTest, CharactersAndKeysGoUpTheOwnersToTheWindowsKeyDown) {
  static std::vector<std::string> keys;
  keys.clear();
  ClassBuilder windowClass(GetWindowClassDefinition(), "KeyWindow");
  windowClass.Handle("KeyDown", +[](RuntimeObject*, StringRecord* key) {
    keys.push_back(StringToStdUTF8(key));
    return true;
  });
  ObjectRef window = OpenTestWindow(&windowClass);
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(10, 10, 50, 50), [&](const PaneSite& site) { return pane = new RecordingPane("P", site); });
  TakeLog();
  SendMessageW(pane->NativeWindow(), WM_CHAR, 'a', 0);
  SendMessageW(pane->NativeWindow(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"P.Character 97", "P.Key 116 16"}));
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "\x10"}));
  if (IsWindowsNT()) {
    // U+1F600 arrives as a surrogate pair and is one character.
    SendMessageW(pane->NativeWindow(), WM_CHAR, 0xD83D, 0);
    SendMessageW(pane->NativeWindow(), WM_CHAR, 0xDE00, 0);
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"P.Character 128512"});
    EXPECT_EQ(keys.back(), "\xF0\x9F\x98\x80");
  }

  pane->answerKeys = true;
  const size_t fired = keys.size();
  SendMessageW(pane->NativeWindow(), WM_CHAR, 'b', 0);
  EXPECT_EQ(keys.size(), fired);
  WindowClose(window.get());  // before its class goes
}

TEST_F(RoutingTest, ControlsBlendIntoTheBackdropOfTheWindow) {
  ObjectRef window = OpenTestWindow();
  windowHasBackColorSetter(window.get(), 0, true);
  windowBackColorSetter(window.get(), 0, 0xFF0000);
  RecordingControlPane* pane = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 20, 80, 24), Button("C", &pane));
  HDC dc = GetDC(pane->NativeWindow());
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(WindowHandle(window.get()), WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(pane->NativeWindow())));
  LOGBRUSH described{};
  ASSERT_TRUE(GetObjectW(brush, sizeof described, &described));
  EXPECT_EQ(described.lbColor, RGB(255, 0, 0));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  ReleaseDC(pane->NativeWindow(), dc);
  EXPECT_EQ(ReadWindowPixel(WindowHandle(window.get()), 250, 150), RGB(255, 0, 0));
}

std::vector<UINT> menuMessages;
bool RecordMenuMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
  menuMessages.push_back(message);
  *result = 0;
  return true;
}

TEST_F(RoutingTest, MenuCommandsGoToTheMenuLayer) {
  ObjectRef window = OpenTestWindow();
  menuMessages.clear();
  MenuMessageHook previous = SetMenuMessageHook(RecordMenuMessage);
  SendMessageW(WindowHandle(window.get()), WM_COMMAND, 101, 0);
  SendMessageW(WindowHandle(window.get()), WM_INITMENU, 0, 0);
  SetMenuMessageHook(previous);
  EXPECT_EQ(menuMessages, (std::vector<UINT>{WM_COMMAND, WM_INITMENU}));
}

TEST_F(RoutingTest, AControlWindowDestroyedFirstIsForgottenByItsPane) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* pane = nullptr;
  ObjectRef box = PlaceControl(window.get(), "Box", Rect(20, 20, 80, 24), Button("C", &pane));
  HWND native = pane->NativeWindow();
  RegisterWindowShortcut(native, kShortcutControl, "b");
  DestroyWindow(native);
  EXPECT_EQ(pane->NativeWindow(), nullptr);
  EXPECT_EQ(GetPropW(native, kInstanceProperty), nullptr);
  EXPECT_TRUE(std::none_of(WindowShortcuts().begin(), WindowShortcuts().end(),
                           [&](const WindowShortcut& entry) { return entry.target == native; }));
  // The pane lives on without its window; closing disposes of it quietly.
  pane->Invalidate(true);
  ControlPaneSetText(pane, nullptr);
  WindowClose(window.get());
}

}  // namespace
