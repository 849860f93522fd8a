// Tab panels and page panels: captions and their shortcuts, selection by
// click, Value, shortcut and arrow key, the pages' shown state and focus,
// mouse events, and handlers that close the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "controls/CheckBox.h"
#include "controls/PagePanel.h"
#include "controls/TabPanel.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/PaneFocus.h"
#include "ui/WindowKeys.h"

namespace {

using Lines = std::vector<std::string>;

ControlDescription Placed(ObjectDefinition* definition, const char* name, const MacRect& bounds,
                          const char* parent = "", int32_t page = 0) {
  ControlDescription description = Described(definition, name, bounds);
  description.parent = parent;
  description.tabPanelIndex = page;
  return description;
}

// A tab panel of three tabs holding check boxes A1, B1 (joined by its place,
// with no Parent) and C1 on pages 1 to 3; a page panel of three pages
// holding P1 to P3.
std::vector<ControlDescription> PanelControls() {
  ObjectDefinition* checkBox = GetCheckBoxClassDefinition();
  ControlDescription tabs =
      Placed(GetTabPanelClassDefinition(), "TabPanel1", Rect(10, 10, 205, 130));
  tabs.caption = "&Alpha\rBeta\r&&Gamma";
  ControlDescription pages =
      Placed(GetPagePanelClassDefinition(), "PagePanel1", Rect(220, 10, 75, 130));
  pages.prepare = [](RuntimeObject* control) { SetProperty<int32_t>(control, "PanelCount", 3); };
  return {tabs,
          Placed(checkBox, "A1", Rect(20, 40, 100, 20), "TabPanel1", 1),
          Placed(checkBox, "B1", Rect(20, 70, 100, 20), "", 2),
          Placed(checkBox, "C1", Rect(20, 100, 100, 20), "TabPanel1", 3),
          pages,
          Placed(checkBox, "P1", Rect(225, 40, 65, 20), "PagePanel1", 1),
          Placed(checkBox, "P2", Rect(225, 70, 65, 20), "PagePanel1", 2),
          Placed(checkBox, "P3", Rect(225, 100, 65, 20), "PagePanel1", 3)};
}

TabPanelPane* TabPane(const ControlTestWindow& window) {
  return dynamic_cast<TabPanelPane*>(window.Pane("TabPanel1"));
}

std::string CaptionOf(TabPanelPane* pane, int32_t index) {
  return StringToStdUTF8(StringRef::Adopt(pane->GetTabCaption(index)).get());
}

Lines Captions(TabPanelPane* pane) {
  Lines captions;
  for (int32_t k = 0; k < TabPanelPaneTabCount(pane); ++k) captions.push_back(CaptionOf(pane, k));
  return captions;
}

Lines ShortcutsOf(const void* target) {
  Lines keys;
  for (const WindowShortcut& entry : WindowShortcuts()) {
    if (entry.target == target) keys.push_back(entry.key + " " + std::to_string(entry.kind));
  }
  return keys;
}

void SetText(RuntimeObject* control, const char* property, const std::string& text) {
  SetProperty<StringRecord*>(control, property, StringRef::Adopt(StringFromUTF8(text)).get());
}

// "1" for each named control whose check box is visible on the screen.
std::string Shown(const ControlTestWindow& window, std::initializer_list<const char*> names) {
  std::string shown;
  for (const char* name : names) shown += IsWindowVisible(window.Native(name)) ? '1' : '0';
  return shown;
}

POINT TabCentre(const ControlTestWindow& window, int32_t index) {
  RECT tab{};
  SendMessageW(window.Native("TabPanel1"), TCM_GETITEMRECT, WPARAM(index),
               reinterpret_cast<LPARAM>(&tab));
  return POINT{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2};
}

void ClickTab(const ControlTestWindow& window, int32_t index) {
  const POINT centre = TabCentre(window, index);
  PostClick(window.Native("TabPanel1"), centre.x, centre.y);
  RunPendingTurns();
}

void PressAlt(UINT key) {
  PostKey(GetFocus(), key, true);
  RunPendingTurns();
}

class PanelTest : public WindowSystemTest {};
class TabCaptionBothLines : public WindowSystemTest {};

TEST_F(PanelTest, CaptionLinesAreTabsAndEachMnemonicSelectsItsTab) {
  ControlTestWindow window(PanelControls());
  RuntimeObject* tabs = window.Control("TabPanel1");
  TabPanelPane* pane = TabPane(window);
  EXPECT_EQ(Captions(pane), (Lines{"&Alpha", "Beta", "&&Gamma"}));
  EXPECT_EQ(GetProperty<int32_t>(tabs, "PanelCount"), 3);
  EXPECT_EQ(ShortcutsOf(pane), (Lines{"Alt+A 2"}));

  SetText(tabs, "Caption", "Delta\rBeta\r\nGamma\nOmega");
  EXPECT_EQ(Captions(pane), (Lines{"Delta", "Beta", "Gamma", "Omega"}));
  EXPECT_EQ(ShortcutsOf(pane), Lines{});

  std::string longCaption;
  for (int k = 0; k < 1500; ++k) longCaption += "\xE6\xBC\xA2";  // U+6F22
  SetText(tabs, "Caption", longCaption);
  EXPECT_EQ(CaptionOf(pane, 0), longCaption);
}

TEST_F(PanelTest, TabsFollowFewerCaptionLinesAndTheCurrentPanelIsClampedQuietly) {
  ObjectDefinition* checkBox = GetCheckBoxClassDefinition();
  ControlDescription tabs =
      Placed(GetTabPanelClassDefinition(), "TabPanel1", Rect(10, 10, 205, 80));
  tabs.caption = "&Alpha\rBeta\r&Gamma";
  tabs.prepare = [](RuntimeObject* control) { SetProperty<int32_t>(control, "Value", 2); };
  // A panel made with the one tab the first is cut down to, for the pixels.
  ControlDescription twin =
      Placed(GetTabPanelClassDefinition(), "TabPanel2", Rect(10, 110, 205, 80));
  twin.caption = "Delta";
  ControlTestWindow window({tabs, Placed(checkBox, "A1", Rect(20, 45, 100, 20), "TabPanel1", 1),
                            Placed(checkBox, "B1", Rect(20, 45, 100, 20), "TabPanel1", 2),
                            Placed(checkBox, "C1", Rect(20, 45, 100, 20), "TabPanel1", 3), twin});
  RuntimeObject* control = window.Control("TabPanel1");
  TabPanelPane* pane = TabPane(window);
  TakeLog();
  struct Step {
    const char* caption;
    Lines tabs;
    int32_t value;
    const char* shown;
    Lines shortcuts;
  };
  const Step steps[] = {
      {"Delta\r&Epsilon", {"Delta", "&Epsilon"}, 1, "010", {"Alt+E 65538"}},
      {"Delta", {"Delta"}, 0, "100", {}},
      {"", {}, -1, "000", {}},
      {"One\rTwo", {"One", "Two"}, 0, "100", {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.caption);
    SetText(control, "Caption", step.caption);
    EXPECT_EQ(Captions(pane), step.tabs);
    EXPECT_EQ(GetProperty<int32_t>(control, "PanelCount"), int32_t(step.tabs.size()));
    EXPECT_EQ(GetProperty<int32_t>(control, "Value"), step.value);
    EXPECT_EQ(Shown(window, {"A1", "B1", "C1"}), step.shown);
    EXPECT_EQ(ShortcutsOf(pane), step.shortcuts);
    EXPECT_EQ(TakeLog(), Lines{}) << "no Change";
    if (step.tabs == Lines{"Delta"}) {
      // The tab row reads as the twin's, pixel for pixel.
      RECT item{};
      SendMessageW(window.Native("TabPanel1"), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
      ASSERT_GT(item.bottom, 4);
      UpdateWindow(window.Handle());
      const WindowCapture capture = WindowCapture::OfClient(window.Handle());
      int32_t differing = 0;
      for (int32_t y = 0; y < item.bottom - 3; ++y) {
        for (int32_t x = 0; x < 205; ++x) {
          differing += capture.Pixel(10 + x, 10 + y) != capture.Pixel(10 + x, 110 + y);
        }
      }
      EXPECT_EQ(differing, 0);
    }
  }
}

// Run again on the A line (controls_tests_ansi).
TEST_F(TabCaptionBothLines, CaptionsComeBackWhole) {
  ControlDescription tabs =
      Placed(GetTabPanelClassDefinition(), "TabPanel1", Rect(10, 10, 170, 100));
  tabs.caption = "Caf\xC3\xA9\r&Two";
  ControlTestWindow window({tabs});
  TabPanelPane* pane = TabPane(window);
  EXPECT_EQ(Captions(pane), (Lines{"Caf\xC3\xA9", "&Two"}));
  EXPECT_EQ(CaptionOf(pane, 2), "");
  PressAlt('T');
  EXPECT_EQ(GetProperty<int32_t>(window.Control("TabPanel1"), "Value"), 1);
}

TEST_F(PanelTest, ClicksValuesShortcutsAndArrowsSelectWithOneChangeEach) {
  std::vector<ControlDescription> controls = PanelControls();
  DescriptionNamed(controls, "TabPanel1").prepare = [](RuntimeObject* control) {
    SetProperty<int32_t>(control, "Value", 2);
  };
  ControlTestWindow window(controls);
  RuntimeObject* tabs = window.Control("TabPanel1");
  EXPECT_EQ(window.OpeningLog(), Lines{});
  EXPECT_EQ(GetProperty<int32_t>(tabs, "Value"), 2);
  EXPECT_EQ(Shown(window, {"A1", "B1", "C1"}), "001");

  ClickTab(window, 1);
  EXPECT_EQ(TakeLog(),
            (Lines{"TabPanel1.MouseDown(88,12)", "TabPanel1.GotFocus", "TabPanel1.Change"}));
  EXPECT_EQ(GetProperty<int32_t>(tabs, "Value"), 1);
  EXPECT_EQ(Shown(window, {"A1", "B1", "C1"}), "010");

  SetProperty<int32_t>(tabs, "Value", 7);
  EXPECT_EQ(TakeLog(), Lines{"TabPanel1.Change"});
  EXPECT_EQ(GetProperty<int32_t>(tabs, "Value"), 2);

  PressAlt('A');
  EXPECT_EQ(TakeLog(), Lines{"TabPanel1.Change"});
  EXPECT_EQ(GetProperty<int32_t>(tabs, "Value"), 0);

  window.PressKey(VK_RIGHT);
  EXPECT_EQ(TakeLog(), Lines{"TabPanel1.Change"});
  EXPECT_EQ(GetProperty<int32_t>(tabs, "Value"), 1);
  EXPECT_EQ(GetFocusPane(), window.Pane("TabPanel1"));
}

TEST_F(PanelTest, OnlyTheCurrentPageShowsAndTheFocusLeavesAHiddenOne) {
  ControlTestWindow window(PanelControls());
  RuntimeObject* tabs = window.Control("TabPanel1");
  EXPECT_EQ(Shown(window, {"A1", "B1", "C1", "P1", "P2", "P3"}), "100100");
  EXPECT_EQ(window.Pane("B1")->GetOwner(), window.Pane("TabPanel1"));

  // A click focuses the tabs; a page switched from code leaves no focus.
  window.FocusOn("A1");
  ClickTab(window, 1);
  EXPECT_EQ(TakeLog(), (Lines{"TabPanel1.MouseDown(88,12)", "A1.LostFocus", "TabPanel1.GotFocus",
                              "TabPanel1.Change"}));
  window.FocusOn("B1");
  SetProperty<int32_t>(tabs, "Value", 0);
  EXPECT_EQ(TakeLog(), (Lines{"B1.LostFocus", "TabPanel1.Change"}));
  EXPECT_EQ(GetFocusPane(), nullptr);

  SetProperty<bool>(tabs, "Visible", false);
  EXPECT_EQ(Shown(window, {"TabPanel1", "A1", "B1", "C1"}), "0000");
  SetProperty<bool>(tabs, "Visible", true);
  EXPECT_EQ(Shown(window, {"TabPanel1", "A1", "B1", "C1"}), "1100");
}

TEST_F(PanelTest, APagePanelShowsTheClampedValuesPageAndChangesOnEveryAssignment) {
  std::vector<ControlDescription> controls = PanelControls();
  ControlDescription& pages = DescriptionNamed(controls, "PagePanel1");
  pages.prepare = [prepare = pages.prepare](RuntimeObject* control) {
    prepare(control);
    SetProperty<int32_t>(control, "Value", 1);
  };
  ControlTestWindow window(controls);
  RuntimeObject* panel = window.Control("PagePanel1");
  EXPECT_EQ(window.OpeningLog(), Lines{});
  EXPECT_EQ(Shown(window, {"P1", "P2", "P3"}), "010");

  for (int round = 0; round < 2; ++round) {
    SetProperty<int32_t>(panel, "Value", 7);
    EXPECT_EQ(TakeLog(), Lines{"PagePanel1.Change"});
    EXPECT_EQ(GetProperty<int32_t>(panel, "Value"), 2);
    EXPECT_EQ(Shown(window, {"P1", "P2", "P3"}), "001");
  }
  SetProperty<int32_t>(panel, "Value", -1);
  EXPECT_EQ(GetProperty<int32_t>(panel, "Value"), -1);
  EXPECT_EQ(Shown(window, {"P1", "P2", "P3"}), "000");
}

TEST_F(PanelTest, ATakenPressKeepsTheTabAndDragsRelativeToTheControl) {
  ControlTestWindow window(PanelControls());
  window.AnswerMouseDown("TabPanel1", true);
  const POINT centre = TabCentre(window, 1);
  window.RealDrag(window.Native("TabPanel1"), centre.x, centre.y, 4, 3);
  const std::string at = "(" + std::to_string(centre.x) + "," + std::to_string(centre.y) + ")";
  const std::string moved =
      "(" + std::to_string(centre.x + 4) + "," + std::to_string(centre.y + 3) + ")";
  EXPECT_EQ(TakeLog(), (Lines{"TabPanel1.MouseDown" + at, "TabPanel1.MouseDrag" + moved,
                              "TabPanel1.MouseUp" + moved}));
  EXPECT_EQ(GetProperty<int32_t>(window.Control("TabPanel1"), "Value"), 0);
}

TEST_F(PanelTest, ChangeHandlersThatCloseTheWindowLeaveNothing) {
  const std::vector<std::pair<const char*, std::function<void(ControlTestWindow&)>>> cases = {
      {"TabPanel1", [](ControlTestWindow& window) { ClickTab(window, 2); }},
      {"PagePanel1",
       [](ControlTestWindow& window) {
         SetProperty<int32_t>(window.Control("PagePanel1"), "Value", 1);
       }},
  };
  for (const auto& [panel, change] : cases) {
    const int32_t panesBefore = Pane::LiveCount();
    {
      ControlTestWindow window(PanelControls());
      window.CloseOn(panel, "Change");
      change(window);
      EXPECT_FALSE(window.IsOpen()) << panel;
    }
    RunPendingTurns();
    EXPECT_EQ(Pane::LiveCount(), panesBefore) << panel;
  }
}

}  // namespace
