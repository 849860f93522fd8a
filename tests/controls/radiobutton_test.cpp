// Radio buttons in group boxes and on a window: clicks, Value from code,
// the keyboard, a handler that closes the window; and the group box's own
// presses, its children's and its redraw after a resize.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "controls/GroupBox.h"
#include "controls/RadioButton.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"

namespace {

using Lines = std::vector<std::string>;

// The log with the lines from `first` to `last` sorted: receivers of the
// buttons a check unchecks hear it in the owner's child order, which the
// tests do not fix.
Lines SortedBetween(Lines lines, size_t first, size_t last) {
  if (last <= lines.size()) std::sort(lines.begin() + first, lines.begin() + last);
  return lines;
}

std::string Checks(const ControlTestWindow& window) {
  std::string states;
  for (const char* name : {"R1", "R2", "R3", "R4", "R5", "R6", "R7"}) {
    states += SendMessageW(window.Native(name), BM_GETCHECK, 0, 0) == BST_CHECKED ? '1' : '0';
  }
  return states;
}

void RunFor(DWORD milliseconds) { RuntimeTestEnvironment::RunUntil([] { return false; }, milliseconds); }

class RadioButtonTest : public WindowSystemTest {};

TEST_F(RadioButtonTest, AClickChecksOnceAndUnchecksTheRestOfItsGroupOnly) {
  ControlTestWindow window(GroupingControlDescriptions());
  window.FocusOn("CheckBox1");

  window.Click("R2");
  EXPECT_EQ(SortedBetween(TakeLog(), 3, 5),
            (Lines{"R2.MouseDown(0,0)", "CheckBox1.LostFocus", "R2.GotFocus",
                   "R1.unchecked.PerformAction", "R3.unchecked.PerformAction", "R2.Action True",
                   "R2.checked.PerformAction"}));
  EXPECT_EQ(Checks(window), "0101000");

  window.RealClick("R3", 6, 6);
  EXPECT_EQ(SortedBetween(TakeLog(), 3, 5),
            (Lines{"R3.MouseDown(6,6)", "R2.LostFocus", "R3.GotFocus",
                   "R1.unchecked.PerformAction", "R2.unchecked.PerformAction", "R3.Action True",
                   "R3.checked.PerformAction"}));

  // Released away from the button: the focus moves, nothing is checked.
  window.RealDrag(window.Native("R1"), 6, 6, 0, 60);
  EXPECT_EQ(TakeLog(), (Lines{"R1.MouseDown(6,6)", "R3.LostFocus", "R1.GotFocus"}));
  EXPECT_EQ(Checks(window), "0011000");
}

TEST_F(RadioButtonTest, ValueFromCodeRunsTheGroupUpdateOnlyWhenItChecks) {
  ControlTestWindow window(GroupingControlDescriptions());

  SetProperty<bool>(window.Control("R3"), "Value", true);
  EXPECT_EQ(SortedBetween(TakeLog(), 0, 2),
            (Lines{"R1.unchecked.PerformAction", "R2.unchecked.PerformAction", "R3.Action True",
                   "R3.checked.PerformAction"}));
  SetProperty<bool>(window.Control("R3"), "Value", false);
  EXPECT_EQ(TakeLog(), (Lines{"R3.unchecked.PerformAction"}));

  // The window's own buttons are one group; those in group boxes are not in it.
  SetProperty<bool>(window.Control("R6"), "Value", true);
  EXPECT_EQ(TakeLog(), (Lines{"R7.unchecked.PerformAction", "R6.Action True",
                              "R6.checked.PerformAction"}));
  EXPECT_EQ(Checks(window), "0001010");

  // A handler that checks another button: one Action each, and the first
  // button's receivers hear that it ended unchecked.
  window.OnAction("R2", [](RuntimeObject* control) {
    SetProperty<bool>(WindowFindControl(ControlFields(control)->window, "R3"), "Value", true);
  });
  SetProperty<bool>(window.Control("R2"), "Value", true);
  EXPECT_EQ(SortedBetween(TakeLog(), 0, 2),
            (Lines{"R1.unchecked.PerformAction", "R3.unchecked.PerformAction", "R2.Action True",
                   "R1.unchecked.PerformAction", "R3.Action True", "R3.checked.PerformAction",
                   "R2.unchecked.PerformAction"}));
  EXPECT_EQ(Checks(window), "0011010");
  EXPECT_FALSE(GetProperty<bool>(window.Control("R2"), "Value"));
  EXPECT_TRUE(GetProperty<bool>(window.Control("R3"), "Value"));
}

TEST_F(RadioButtonTest, TabReachesTheCheckedButtonAndArrowsMoveAndCheck) {
  ControlTestWindow window(GroupingControlDescriptions());
  window.FocusOn("CheckBox1");

  window.PressKey(VK_TAB);
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.LostFocus", "R1.GotFocus"}));
  EXPECT_EQ(GetFocus(), window.Native("R1"));
  EXPECT_EQ(RadioButtonCurrentGroupForTesting(), window.Pane("GroupBox1"));

  MakeForeground(window.Handle());
  SendKey(VK_DOWN, true);
  RunFor(200);
  SendKey(VK_DOWN, false);
  RunFor(100);
  EXPECT_EQ(SortedBetween(TakeLog(), 1, 3),
            (Lines{"R1.LostFocus", "R1.unchecked.PerformAction", "R3.unchecked.PerformAction",
                   "R2.Action True", "R2.checked.PerformAction", "R2.GotFocus"}));
  EXPECT_EQ(GetFocus(), window.Native("R2"));

  // A group with no button checked: Tab reaches its first button and checks it.
  SetProperty<bool>(window.Control("R4"), "Value", false);
  TakeLog();
  window.PressKey(VK_TAB);
  EXPECT_EQ(TakeLog(), (Lines{"R2.LostFocus", "R5.unchecked.PerformAction", "R4.Action True",
                              "R4.checked.PerformAction", "R4.GotFocus"}));
  EXPECT_EQ(Checks(window), "0101000");
}

TEST_F(RadioButtonTest, GroupBoxPressesGoToItsChildrenThenToItsHandler) {
  std::vector<ControlDescription> controls = GroupingControlDescriptions();
  ControlDescription inner;
  inner.definition = DescriptionNamed(controls, "CheckBox1").definition;
  inner.name = "Inner";
  inner.parent = "GroupBox1";
  inner.bounds = Rect(20, 100, 70, 18);
  controls.push_back(inner);
  ControlTestWindow window(controls);

  window.RealClick("Inner", 5, 5);
  EXPECT_EQ(SendMessageW(window.Native("Inner"), BM_GETCHECK, 0, 0), BST_CHECKED);
  TakeLog();

  window.AnswerMouseDown("GroupBox1", false);
  window.RealDrag(window.Native("GroupBox1"), 40, 50, 6, 4);
  EXPECT_EQ(TakeLog(), (Lines{"GroupBox1.MouseDown(40,50)"}));

  window.AnswerMouseDown("GroupBox1", true);
  window.RealDrag(window.Native("GroupBox1"), 40, 50, 6, 4);
  const Lines log = TakeLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), "GroupBox1.MouseDown(40,50)");
  EXPECT_EQ(log.back(), "GroupBox1.MouseUp(46,54)");
  for (size_t i = 1; i + 1 < log.size(); ++i) EXPECT_EQ(log[i].rfind("GroupBox1.MouseDrag(", 0), 0u);

  // A resize redraws the whole frame.
  HWND box = window.Native("GroupBox1");
  UpdateWindow(window.Handle());
  SetProperty<int32_t>(window.Control("GroupBox1"), "Width", 150);
  RECT update{};
  ASSERT_TRUE(GetUpdateRect(box, &update, FALSE));
  EXPECT_EQ(std::make_tuple(update.left, update.top, update.right, update.bottom),
            std::make_tuple(0L, 0L, 150L, 90L));
}

TEST_F(RadioButtonTest, GroupBoxCaptionAccessorsReportANilControl) {
  ControlTestWindow window(GroupingControlDescriptions());
  RuntimeObject* box = window.Control("GroupBox1");
  StringRef caption = StringRef::Adopt(StringFromUTF8("Fr\xC3\xA9quence"));
  groupCaptionSetter(box, 0, caption.get());
  StringRef shown = StringRef::Adopt(static_cast<GroupBoxPane*>(window.Pane("GroupBox1"))->GetCaption());
  EXPECT_EQ(StringToStdUTF8(shown.get()), "Fr\xC3\xA9quence");

  groupCaptionSetter(nullptr, 0, caption.get());
  EXPECT_EQ(groupCaptionGetter(nullptr, 0), nullptr);
  const std::vector<std::string> reports = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].find("336"), std::string::npos) << reports[0];
  EXPECT_NE(reports[1].find("326"), std::string::npos) << reports[1];
}

}  // namespace
