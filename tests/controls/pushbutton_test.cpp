// The push button in a window of controls: clicks, Push, Enter and Escape,
// the default and cancel roles, focus, a handler that closes the window, a
// pane pair driven by a sink of its own, and the state a button is created
// in.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/PushButton.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"

namespace {

using Lines = std::vector<std::string>;

bool LooksDefault(HWND button) { return (GetWindowLongW(button, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0; }

class PushButtonTest : public WindowSystemTest {};

TEST_F(PushButtonTest, AClickMovesTheFocusThenTellsTheReceiversBeforeTheHandler) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox1");

  window.Click("OKButton");
  EXPECT_EQ(TakeLog(), (Lines{"OKButton.MouseDown(0,0)", "CheckBox1.LostFocus", "OKButton.GotFocus",
                              "ok.PerformAction", "OKButton.Action"}));

  pushButtonPush(window.Control("OKButton"));
  EXPECT_EQ(TakeLog(), (Lines{"ok.PerformAction", "OKButton.Action"}));
}

TEST_F(PushButtonTest, ADisabledButtonIgnoresPushClicksAndEnter) {
  ControlTestWindow window(StandardControlDescriptions());
  SetProperty<bool>(window.Control("OKButton"), "Enabled", false);
  SetProperty<bool>(window.Control("CheckBox1"), "Enabled", false);
  window.FocusOn("CheckBox2");

  pushButtonPush(window.Control("OKButton"));
  window.Click("OKButton");
  window.PressKey(VK_RETURN);
  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), Lines{});
  EXPECT_EQ(SendMessageW(window.Native("CheckBox1"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_FALSE(GetProperty<bool>(window.Control("CheckBox1"), "Value"));
}

TEST_F(PushButtonTest, AMouseDownHandlerAnsweringTrueKeepsTheClickFromTheButton) {
  ControlTestWindow window(StandardControlDescriptions());
  window.AnswerMouseDown("OKButton", true);
  window.FocusOn("CheckBox1");

  window.Click("OKButton");
  EXPECT_EQ(TakeLog(), (Lines{"OKButton.MouseDown(0,0)", "OKButton.MouseUp(0,0)"}));
  // The flag the swallowed press left is gone: the next press acts.
  pushButtonPush(window.Control("OKButton"));
  EXPECT_EQ(TakeLog(), (Lines{"ok.PerformAction", "OKButton.Action"}));
}

TEST_F(PushButtonTest, TheDefaultLookFollowsTheDefaultButtonAndTheFocus) {
  ControlTestWindow window(StandardControlDescriptions());
  HWND ok = window.Native("OKButton");
  HWND cancel = window.Native("CancelButton");
  EXPECT_TRUE(LooksDefault(ok));
  EXPECT_FALSE(LooksDefault(cancel));

  const LONG okStyle = GetWindowLongW(ok, GWL_STYLE);
  SetProperty<uint8_t>(window.Control("OKButton"), "Cancel", 1);
  SetProperty<uint8_t>(window.Control("OKButton"), "Cancel", 0);
  EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE), okStyle);

  // Tab from CheckBox2 reaches OKButton, the next Tab CancelButton.
  window.FocusOn("CheckBox2");
  window.PressKey(VK_TAB);
  window.PressKey(VK_TAB);
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox2.LostFocus", "OKButton.GotFocus", "OKButton.LostFocus",
                              "CancelButton.GotFocus"}));
  EXPECT_TRUE(LooksDefault(cancel));
  EXPECT_FALSE(LooksDefault(ok));

  window.FocusOn("CheckBox1");
  EXPECT_TRUE(LooksDefault(ok));
  EXPECT_FALSE(LooksDefault(cancel));

  SetFocusPane(window.Pane("CancelButton"));
  EXPECT_TRUE(LooksDefault(cancel));
  window.FocusOn("CheckBox1");

  SetProperty<uint8_t>(window.Control("OKButton"), "Default", 0);
  EXPECT_FALSE(LooksDefault(ok));
  EXPECT_FALSE(GetProperty<bool>(window.Control("OKButton"), "Default"));
}

TEST_F(PushButtonTest, BooleansAreStoredAsZeroOrOne) {
  ControlTestWindow window(StandardControlDescriptions());
  RuntimeObject* cancel = window.Control("CancelButton");
  SetProperty<uint8_t>(cancel, "Default", 2);
  SetProperty<uint8_t>(cancel, "Cancel", 0x80);
  const auto* fields = reinterpret_cast<const PushButtonFields*>(cancel);
  EXPECT_EQ(fields->isDefault, 1);
  EXPECT_EQ(fields->isCancel, 1);
}

TEST_F(PushButtonTest, EnterPressesTheDefaultButtonAndEscapeTheCancelButton) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox1");

  window.PressKey(VK_RETURN);
  EXPECT_EQ(TakeLog(), (Lines{"ok.PerformAction", "OKButton.Action"}));
  window.PressKey(VK_ESCAPE);
  EXPECT_EQ(TakeLog(), Lines{"CancelButton.Action"});
}

TEST_F(PushButtonTest, TabMovesTheFocusToTheNextControlOnly) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox1");
  window.PressKey(VK_TAB);
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.LostFocus", "CheckBox2.GotFocus"}));
}

TEST_F(PushButtonTest, TheCaptionsMnemonicClicksTheButton) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox1");
  PostKey(GetFocus(), 'O', true);
  RuntimeRunTurn(0);
  RunPendingTurns();
  EXPECT_EQ(TakeLog(), (Lines{"OKButton.MouseDown(0,0)", "CheckBox1.LostFocus", "OKButton.GotFocus",
                              "ok.PerformAction", "OKButton.Action"}));
}

TEST_F(PushButtonTest, CaptionAndFontReachTheNativeButton) {
  ControlTestWindow window(StandardControlDescriptions());
  RuntimeObject* ok = window.Control("OKButton");
  HWND native = window.Native("OKButton");

  SetProperty<StringRecord*>(ok, "Caption", StringRef::Adopt(StringFromASCII("&Go")).get());
  wchar_t text[16] = {};
  GetWindowTextW(native, text, 16);
  EXPECT_STREQ(text, L"&Go");
  Lines keys;
  for (const WindowShortcut& entry : WindowShortcuts()) {
    if (entry.target == native) keys.push_back(entry.key);
  }
  EXPECT_EQ(keys, Lines{"Alt+G"});

  SetProperty<StringRecord*>(ok, "TextFont", StringRef::Adopt(StringFromASCII("Geneva")).get());
  SetProperty<bool>(ok, "Bold", true);
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(native, WM_GETFONT, 0, 0));
  ASSERT_EQ(GetObjectW(handle, sizeof font, &font), int(sizeof font));
  EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  StringRef face = StringRef::Adopt(GetProperty<StringRecord*>(ok, "TextFont"));
  EXPECT_EQ(StringToStdUTF8(face.get()), "Geneva");
}

// How the Action that closes the window is set off.
enum class Trigger { kClick, kEnter, kPush };

class PushButtonClosingTest : public PushButtonTest,
                              public ::testing::WithParamInterface<Trigger> {};

TEST_P(PushButtonClosingTest, AnActionHandlerMayCloseItsWindow) {
  const int32_t livePanes = Pane::LiveCount();
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").dataSource = "Data1";
  DescriptionNamed(controls, "CheckBox1").dataField = "Done";
  ControlTestWindow window(std::move(controls));
  ObjectRef data = ObjectRef::Retain(window.Control("Data1"));
  ASSERT_EQ(DataStandInBoundControls(data.get()).size(), 1u);
  HWND top = window.Handle();
  std::vector<HWND> windows{top};
  for (const char* name : {"CheckBox1", "CheckBox2", "OKButton", "CancelButton"}) {
    for (HWND pane : window.PaneWindows(name)) windows.push_back(pane);
  }
  window.CloseOnAction("OKButton");
  window.FocusOn("CheckBox1");

  switch (GetParam()) {
    case Trigger::kClick:
      window.Click("OKButton");
      EXPECT_EQ(TakeLog(), (Lines{"OKButton.MouseDown(0,0)", "CheckBox1.LostFocus",
                                  "OKButton.GotFocus", "ok.PerformAction", "OKButton.Action"}));
      break;
    case Trigger::kEnter:
      PostKey(window.Native("CheckBox1"), VK_RETURN);
      RuntimeRunTurn(0);
      EXPECT_EQ(TakeLog(), (Lines{"ok.PerformAction", "OKButton.Action"}));
      break;
    case Trigger::kPush:
      pushButtonPush(window.Control("OKButton"));
      EXPECT_EQ(TakeLog(), (Lines{"ok.PerformAction", "OKButton.Action"}));
      break;
  }
  RunPendingTurns();

  EXPECT_FALSE(window.IsOpen());
  for (HWND closed : windows) EXPECT_FALSE(IsWindow(closed));
  EXPECT_EQ(Pane::LiveCount(), livePanes);
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
  for (const WindowShortcut& entry : WindowShortcuts()) {
    for (HWND closed : windows) EXPECT_NE(entry.target, closed) << entry.key;
  }
  EXPECT_EQ(TakeLog(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Triggers, PushButtonClosingTest,
                         ::testing::Values(Trigger::kClick, Trigger::kEnter, Trigger::kPush));

// A sink of a caller's own, as a dialog passes one.
class CountingSink : public ControlEventSink {
 public:
  CountingSink() : ControlEventSink(nullptr) {}
  void Action(SubPane* hostPane) override {
    ++actions;
    lastHost = hostPane;
  }
  int actions = 0;
  SubPane* lastHost = nullptr;
};

TEST_F(PushButtonTest, ThePanePairWorksWithASinkOfItsOwnAndNoControl) {
  ObjectRef window = OpenTestWindow();
  CountingSink sink;
  ScopedFontDescriptor font;
  StringRef caption = StringRef::Adopt(StringFromASCII("&Go"));
  PushButtonPaneWin32* button = CreatePushButton(&sink, font.get(), WindowPaneOf(window.get()), 0,
                                                 Rect(10, 10, 80, 24), caption.get());
  SendMessageW(button->GetNativeHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(sink.actions, 1);
  EXPECT_EQ(sink.lastHost, button);

  button->Push();
  EXPECT_EQ(sink.actions, 2);
}

TEST_F(PushButtonTest, AButtonCreatedHiddenOrDisabledIsSoFromTheStart) {
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "OKButton").visible = false;
  DescriptionNamed(controls, "CancelButton").enabled = false;
  ControlTestWindow window(std::move(controls));
  EXPECT_FALSE(IsWindowVisible(window.Native("OKButton")));
  EXPECT_TRUE(IsWindowEnabled(window.Native("OKButton")));
  EXPECT_FALSE(IsWindowEnabled(window.Native("CancelButton")));
  EXPECT_TRUE(IsWindowVisible(window.Native("CancelButton")));

  // Neither can be pressed from the keyboard.
  window.FocusOn("CheckBox1");
  window.PressKey(VK_RETURN);
  window.PressKey(VK_ESCAPE);
  EXPECT_EQ(TakeLog(), Lines{});
}

}  // namespace
