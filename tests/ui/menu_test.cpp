// Menus: the standard bar of a document window, references by name, the
// enabling pass, commands through the focus chain and shortcuts.
#include "ui/Menu.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "host/runtimemainloop.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/window.h"

namespace {

std::string ItemName(RuntimeObject* item) {
  PropertyAccess access{};
  if (!FindPropertyAccess(item, "Name", &access)) return "?";
  StringRef name = StringRef::Adopt(reinterpret_cast<StringRecord* (*)(RuntimeObject*, uint32_t)>(
      access.getter)(item, access.parameter));
  return StringToStdUTF8(name.get());
}

// A recording pane that takes part in menu handling.
class MenuPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;

  bool enableCopy = false;
  bool answerMenu = false;

  void EnableMenuItems() override {
    Log(name() + ".EnableMenuItems");
    if (enableCopy) {
      ObjectRef copy = ObjectRef::Adopt(RuntimeMenuReference("EditCopy"));
      RuntimeEnableMenu(copy.get());
    }
  }
  bool HandleMenuItem(RuntimeObject* item) override {
    Log(name() + ".HandleMenuItem " + ItemName(item));
    return answerMenu || SubPane::HandleMenuItem(item);
  }
};

bool OnAction(RuntimeObject* item) {
  Log("Action " + ItemName(item));
  return true;
}

void OnWindowEnableMenuItems(RuntimeObject*) { Log("Window.EnableMenuItems"); }

// Entries of the log about menus and typed keys.
std::vector<std::string> MenuLog() {
  std::vector<std::string> entries;
  for (const std::string& entry : TakeLog()) {
    if (entry.find("Menu") != std::string::npos || entry.find("Action") != std::string::npos ||
        entry.find(".Character") != std::string::npos || entry.find(".Key") != std::string::npos) {
      entries.push_back(entry);
    }
  }
  return entries;
}

class MenuTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    windowClass_.Handle("EnableMenuItems", &OnWindowEnableMenuItems);
    window_ = OpenTestWindow(&windowClass_);
    outerControl_ =
        PlaceControl(window_.get(), "Outer", Rect(10, 10, 200, 120),
                     [this](const PaneSite& site) { return outer_ = new MenuPane("Outer", site); });
    innerControl_ = PlaceControl(
        window_.get(), "Inner", Rect(20, 20, 100, 40),
        [this](const PaneSite& site) {
          inner_ = new MenuPane("Inner", site);
          inner_->acceptsFocus = true;
          return inner_;
        },
        outerControl_.get());
    SetFocusPane(inner_);
    top_ = WindowHandle(window_.get());
    ObjectRef copy = ObjectRef::Adopt(RuntimeMenuReference("EditCopy"));
    ObjectRef cut = ObjectRef::Adopt(RuntimeMenuReference("EditCut"));
    copyId_ = MenuItemCommandId(copy.get());
    cutId_ = MenuItemCommandId(cut.get());
    const EventDefinition* action = GetMenuItemClassDefinition()->FindEvent("Action");
    actionSlot_ = action->record->slot;
    RuntimeClassSetEventHandler(RuntimeClassOfDefinition(GetMenuItemClassDefinition()), actionSlot_,
                                reinterpret_cast<EventHandler>(&OnAction));
    TakeLog();
  }
  void TearDown() override {
    RuntimeClassSetEventHandler(RuntimeClassOfDefinition(GetMenuItemClassDefinition()), actionSlot_,
                                nullptr);
    SetKeyboardStateHolding({});
    window_ = ObjectRef();
    outerControl_ = ObjectRef();
    innerControl_ = ObjectRef();
    WindowSystemTest::TearDown();
  }

  UINT NativeState(UINT id) { return GetMenuState(GetMenu(top_), id, MF_BYCOMMAND); }

  ClassBuilder windowClass_{GetWindowClassDefinition(), "MenuWindow"};
  ObjectRef window_, outerControl_, innerControl_;
  MenuPane* outer_ = nullptr;
  MenuPane* inner_ = nullptr;
  HWND top_ = nullptr;
  UINT copyId_ = 0, cutId_ = 0;
  uint32_t actionSlot_ = 0;
};

TEST_F(MenuTest, ReferenceGivesTheSameLockedItemForAName) {
  ObjectRef first = ObjectRef::Adopt(RuntimeMenuReference("EditCopy"));
  ASSERT_NE(first.get(), nullptr);
  int32_t count = first->refCount;
  ObjectRef second = ObjectRef::Adopt(RuntimeMenuReference("editcopy"));
  EXPECT_EQ(second.get(), first.get());
  EXPECT_EQ(first->refCount, count + 1);
  EXPECT_EQ(RuntimeMenuReference("NoSuchItem"), nullptr);
  RuntimeEnableMenu(nullptr);
  EXPECT_GT(copyId_, 0u);
  EXPECT_LT(copyId_, 0xF000u);
}

TEST_F(MenuTest, DocumentWindowShowsTheStandardBar) {
  HMENU bar = GetMenu(top_);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_NE(NativeState(copyId_), UINT(-1));
  wchar_t text[64] = {};
  GetMenuStringW(bar, copyId_, text, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(text), L"&Copy\tCtrl+C");
}

TEST_F(MenuTest, InitMenuRunsTheEnablingPassThroughTheFocusPane) {
  inner_->enableCopy = true;
  SendMessageW(top_, WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(top_)), 0);
  EXPECT_EQ(MenuLog(),
            (std::vector<std::string>{"Inner.EnableMenuItems", "Window.EnableMenuItems"}));
  EXPECT_EQ(NativeState(copyId_) & MF_GRAYED, 0u);
  EXPECT_NE(NativeState(cutId_) & MF_GRAYED, 0u);

  // The next pass starts from disabled again.
  inner_->enableCopy = false;
  SendMessageW(top_, WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(top_)), 0);
  EXPECT_NE(NativeState(copyId_) & MF_GRAYED, 0u);
}

TEST_F(MenuTest, CommandGoesToTheFocusPaneThenTheOwnerThenTheAction) {
  inner_->answerMenu = true;
  SendMessageW(top_, WM_COMMAND, MAKEWPARAM(copyId_, 0), 0);
  EXPECT_EQ(MenuLog(), (std::vector<std::string>{"Inner.HandleMenuItem EditCopy"}));

  inner_->answerMenu = false;
  SendMessageW(top_, WM_COMMAND, MAKEWPARAM(copyId_, 0), 0);
  EXPECT_EQ(MenuLog(),
            (std::vector<std::string>{"Inner.HandleMenuItem EditCopy",
                                      "Outer.HandleMenuItem EditCopy", "Action EditCopy"}));
}

TEST_F(MenuTest, EnabledShortcutIsDispatchedAsACommand) {
  inner_->enableCopy = true;
  inner_->answerMenu = true;
  SetKeyboardStateHolding({VK_CONTROL});
  PostKey(inner_->NativeWindow(), 'C');
  RunPendingTurns();
  EXPECT_EQ(MenuLog(), (std::vector<std::string>{"Inner.EnableMenuItems", "Window.EnableMenuItems",
                                                 "Inner.HandleMenuItem EditCopy"}));
}

TEST_F(MenuTest, DisabledShortcutGoesOnToTheFocusedControl) {
  inner_->answerKeys = true;
  SetKeyboardStateHolding({VK_CONTROL});
  PostKey(inner_->NativeWindow(), 'C');
  RunPendingTurns();
  std::vector<std::string> log = MenuLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Inner.HandleMenuItem EditCopy"), 0);
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& entry) {
    return entry.rfind("Inner.Character", 0) == 0 || entry.rfind("Inner.Key", 0) == 0;
  })) << ::testing::PrintToString(log);
}

TEST_F(MenuTest, FileQuitWithoutAnActionHandlerQuits) {
  RuntimeClassSetEventHandler(RuntimeClassOfDefinition(GetMenuItemClassDefinition()), actionSlot_,
                              nullptr);
  ObjectRef quit = ObjectRef::Adopt(RuntimeMenuReference("FileQuit"));
  ASSERT_FALSE(RuntimeQuitRequested());
  SendMessageW(top_, WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(top_)), 0);
  EXPECT_TRUE(MenuItemEnabled(quit.get())) << "AutoEnable keeps it enabled";
  SendMessageW(top_, WM_COMMAND, MAKEWPARAM(MenuItemCommandId(quit.get()), 0), 0);
  EXPECT_TRUE(RuntimeQuitRequested());
}

TEST_F(MenuTest, InstalledBarReplacesTheNativeMenus) {
  ObjectRef bar = ObjectRef::Adopt(NewMenuItem("Bar", ""));
  ObjectRef tools = ObjectRef::Adopt(NewMenuItem("ToolsMenu", "&Tools"));
  ObjectRef run = ObjectRef::Adopt(NewMenuItem("ToolsRun", "&Run", "Ctrl+Shift+R"));
  MenuItemAppend(tools.get(), run.get());
  MenuItemAppend(bar.get(), tools.get());
  InstallMenuBar(bar.get());
  EXPECT_EQ(GetMenuItemCount(GetMenu(top_)), 1);
  EXPECT_EQ(RuntimeMenuReference("EditCopy"), nullptr);

  inner_->answerMenu = true;
  SetKeyboardStateHolding({VK_CONTROL, VK_SHIFT});
  PostKey(inner_->NativeWindow(), 'R');
  RunPendingTurns();
  std::vector<std::string> log = MenuLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Inner.HandleMenuItem ToolsRun"), 0)
      << "AutoEnable is off and no pane enabled it";

  InstallMenuBar(nullptr);
  EXPECT_EQ(GetMenuItemCount(GetMenu(top_)), 2);
}

}  // namespace
