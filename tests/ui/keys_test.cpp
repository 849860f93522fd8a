// Focus, keys and shortcuts: the focus pane and its re-entrant changes, Tab
// and the arrows, mnemonics and window shortcuts, default and cancel
// buttons, key characters and the modifier word.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/string.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"

namespace {

using KeysTest = WindowSystemTest;

PaneFactory Focusable(const std::string& name, RecordingPane** made) {
  return [=](const PaneSite& site) {
    auto* pane = new RecordingPane(name, site);
    pane->acceptsFocus = true;
    return *made = pane;
  };
}

std::vector<std::string> FocusEntries(const std::vector<std::string>& log) {
  std::vector<std::string> found;
  std::copy_if(log.begin(), log.end(), std::back_inserter(found), [](const std::string& entry) {
    return entry.find("Focus") != std::string::npos;
  });
  return found;
}

StringRef Text(const char* utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }

TEST_F(KeysTest, TabMovesTheFocusInControlOrderAndShiftTabGoesBack) {
  ObjectRef window = OpenTestWindow();
  HWND top = WindowHandle(window.get());
  RecordingPane* a = nullptr;
  RecordingPane* b = nullptr;
  ObjectRef ca = PlaceControl(window.get(), "A", Rect(10, 10, 50, 20), Focusable("A", &a));
  ObjectRef cb = PlaceControl(window.get(), "B", Rect(10, 40, 50, 20), Focusable("B", &b));
  SetFocusPane(a);
  EXPECT_EQ(GetFocus(), a->NativeWindow());
  TakeLog();

  PostKey(a->NativeWindow(), VK_TAB);
  RunPendingTurns();
  EXPECT_EQ(FocusEntries(TakeLog()), (std::vector<std::string>{"A.LoseFocus", "B.TakeFocus"}));
  EXPECT_EQ(GetFocusPane(), b);
  EXPECT_EQ(WindowPaneOf(window.get())->FocusedControl(), b);

  ASSERT_TRUE(MakeForeground(top));
  SendKey(VK_SHIFT, true);
  SendKey(VK_TAB, true);
  SendKey(VK_TAB, false);
  SendKey(VK_SHIFT, false);
  RuntimeTestEnvironment::RunUntil([&] { return GetFocusPane() == a; }, 2000);
  EXPECT_EQ(GetFocusPane(), a);
}

TEST_F(KeysTest, TabWrapsAndTheArrowsMoveUnlessThePaneKeepsThem) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* a = nullptr;
  RecordingPane* b = nullptr;
  RecordingPane* label = nullptr;
  ObjectRef ca = PlaceControl(window.get(), "A", Rect(10, 10, 50, 20), Focusable("A", &a));
  ObjectRef cl = PlaceControl(window.get(), "Label", Rect(10, 40, 50, 20), [&](const PaneSite& site) { return label = new RecordingPane("Label", site); });
  ObjectRef cb = PlaceControl(window.get(), "B", Rect(10, 70, 50, 20), Focusable("B", &b));
  SetFocusPane(b);
  PostKey(b->NativeWindow(), VK_TAB);
  RunPendingTurns();
  EXPECT_EQ(GetFocusPane(), a);  // wrapped, past the label that takes no focus
  PostKey(a->NativeWindow(), VK_UP);
  RunPendingTurns();
  EXPECT_EQ(GetFocusPane(), b);
  PostKey(b->NativeWindow(), VK_RIGHT);
  RunPendingTurns();
  EXPECT_EQ(GetFocusPane(), a);
}

TEST_F(KeysTest, AFocusedEditFieldThatAcceptsTabsKeepsTheFocus) {
  ASSERT_NE(LoadLibraryW(L"RICHED20.DLL"), nullptr);
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* edit = nullptr;
  RecordingPane* other = nullptr;
  ObjectRef ce = PlaceControl(window.get(), "Edit", Rect(10, 10, 150, 24), [&](const PaneSite& site) {
    edit = new RecordingControlPane("Edit", site, "RichEdit20W", WS_BORDER);
    edit->acceptTabs = true;
    return edit;
  });
  ObjectRef co = PlaceControl(window.get(), "Other", Rect(10, 50, 50, 20), Focusable("Other", &other));
  ASSERT_NE(edit->NativeWindow(), nullptr);
  SetFocusPane(edit);
  PostKey(edit->NativeWindow(), VK_TAB);
  RunPendingTurns();
  EXPECT_EQ(GetFocusPane(), edit);

  edit->acceptTabs = false;
  PostKey(edit->NativeWindow(), VK_TAB);
  RunPendingTurns();
  EXPECT_EQ(GetFocusPane(), other);
}

// A pane that moves the focus elsewhere while it loses or takes it.
class RedirectingPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  void LoseFocus() override {
    RecordingPane::LoseFocus();
    if (onLose) SetFocusPane(onLose);
  }
  void TakeFocus() override {
    RecordingPane::TakeFocus();
    SetFocusPane(this);  // the stored pane: nothing happens
  }
  SubPane* onLose = nullptr;
};

TEST_F(KeysTest, ANestedFocusChangeForAnotherPaneWinsAndOneForTheSamePaneDoesNothing) {
  ObjectRef window = OpenTestWindow();
  RedirectingPane* a = nullptr;
  RecordingPane* b = nullptr;
  RecordingPane* c = nullptr;
  ObjectRef ca = PlaceControl(window.get(), "A", Rect(10, 10, 50, 20), [&](const PaneSite& site) {
    a = new RedirectingPane("A", site);
    a->acceptsFocus = true;
    return a;
  });
  ObjectRef cb = PlaceControl(window.get(), "B", Rect(10, 40, 50, 20), Focusable("B", &b));
  ObjectRef cc = PlaceControl(window.get(), "C", Rect(10, 70, 50, 20), Focusable("C", &c));
  SetFocusPane(a);
  a->onLose = c;
  TakeLog();
  SetFocusPane(b);
  EXPECT_EQ(FocusEntries(TakeLog()), (std::vector<std::string>{"A.LoseFocus", "C.TakeFocus"}));
  EXPECT_EQ(GetFocusPane(), c);

  // A closing pane cannot take the focus.
  b->Close();
  SetFocusPane(b);
  EXPECT_EQ(GetFocusPane(), c);
}

TEST_F(KeysTest, MnemonicsAreTheCharacterAfterTheLastSingleAmpersand) {
  EXPECT_EQ(CaptionMnemonicChar(Text("&Box").get()), uint32_t('B'));
  EXPECT_EQ(CaptionMnemonicChar(Text("&&Box").get()), 0u);
  EXPECT_EQ(CaptionMnemonicChar(Text("a&&b&c").get()), uint32_t('C'));
  EXPECT_EQ(CaptionMnemonicChar(Text("&one &two").get()), uint32_t('T'));
  EXPECT_EQ(CaptionMnemonicChar(Text("caf&\xC3\xA9").get()), 0xC9u);
  EXPECT_EQ(CaptionMnemonicChar(Text("end&").get()), 0u);
  EXPECT_EQ(CaptionMnemonicChar(nullptr), 0u);
}

std::vector<WindowShortcut> ShortcutsOf(const void* target) {
  std::vector<WindowShortcut> found;
  for (const WindowShortcut& entry : WindowShortcuts()) {
    if (entry.target == target) found.push_back(entry);
  }
  return found;
}

TEST_F(KeysTest, AnAltShortcutClicksItsButtonAndDiesWithIt) {
  ObjectRef window = OpenTestWindow();
  RecordingControlPane* button = nullptr;
  ObjectRef control = PlaceControl(window.get(), "Box", Rect(10, 10, 80, 24), [&](const PaneSite& site) {
    return button = new RecordingControlPane("Box", site, "BUTTON", 0x4002);
  });
  HWND native = button->NativeWindow();
  const std::string key = "Alt+" + std::string(1, char(CaptionMnemonicChar(Text("&box").get())));
  RegisterWindowShortcut(native, kShortcutControl, key);
  RegisterWindowShortcut(native, kShortcutControl, "alt+b");
  std::vector<WindowShortcut> entries = ShortcutsOf(native);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, uint32_t(kShortcutControl));
  EXPECT_EQ(entries[0].key, "Alt+B");

  TakeLog();
  PostKey(WindowHandle(window.get()), 'B', true);
  RunPendingTurns();
  std::vector<std::string> log = TakeLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Box.Notify 0"), 1);

  // A new caption's key replaces the old one for the same pair.
  RegisterWindowShortcut(native, kShortcutControl, "c");
  ASSERT_EQ(ShortcutsOf(native).size(), 1u);
  EXPECT_EQ(ShortcutsOf(native)[0].key, "Alt+C");

  WindowClose(window.get());
  EXPECT_TRUE(ShortcutsOf(native).empty());
}

TEST_F(KeysTest, OnlyEnabledTargetsInTheKeysWindowFire) {
  ObjectRef first = OpenTestWindow();
  ObjectRef second = OpenTestWindow();
  RecordingPane* label = nullptr;
  RecordingPane* elsewhere = nullptr;
  ObjectRef cl = PlaceControl(first.get(), "Label", Rect(10, 10, 50, 20), [&](const PaneSite& site) { return label = new RecordingPane("Label", site); });
  ObjectRef ce = PlaceControl(second.get(), "Elsewhere", Rect(10, 10, 50, 20), [&](const PaneSite& site) { return elsewhere = new RecordingPane("Elsewhere", site); });
  RegisterWindowShortcut(label, kShortcutLabel, "L");
  RegisterWindowShortcut(elsewhere, kShortcutLabel, "G");
  TakeLog();
  // An Alt key that no shortcut takes goes to the menu bar, which may repaint.
  auto takeKeyLog = [] {
    std::vector<std::string> log = TakeLog();
    log.erase(std::remove_if(log.begin(), log.end(),
                             [](const std::string& entry) { return entry.find(".Draw") != std::string::npos; }),
              log.end());
    return log;
  };
  PostKey(WindowHandle(first.get()), 'L', true);
  PostKey(WindowHandle(first.get()), 'G', true);
  RunPendingTurns();
  EXPECT_EQ(takeKeyLog(), std::vector<std::string>{"Label.Shortcut 4"});

  controlEnabledSetter(cl.get(), 0, false);
  PostKey(WindowHandle(first.get()), 'L', true);
  RunPendingTurns();
  EXPECT_TRUE(takeKeyLog().empty());
  RemoveWindowShortcuts(label);
  EXPECT_TRUE(ShortcutsOf(label).empty());
}

TEST_F(KeysTest, EnterAndEscapePressTheDefaultAndCancelButtonsOnce) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* field = nullptr;
  ObjectRef cf = PlaceControl(window.get(), "Field", Rect(10, 10, 50, 20), Focusable("Field", &field));
  ObjectRef cok = PlaceControl(window.get(), "OK", Rect(10, 40, 50, 20), [&](const PaneSite& site) {
    auto* pane = new RecordingPane("OK", site);
    pane->defaultCandidate = true;
    return pane;
  });
  ObjectRef ccancel = PlaceControl(window.get(), "Cancel", Rect(70, 40, 50, 20), [&](const PaneSite& site) {
    auto* pane = new RecordingPane("Cancel", site);
    pane->cancelCandidate = true;
    return pane;
  });
  SetFocusPane(field);
  TakeLog();
  PostKey(field->NativeWindow(), VK_RETURN);
  RunPendingTurns();
  std::vector<std::string> log = TakeLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "OK.Press"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Field.Character 13"), 0);  // not dispatched
  PostKey(field->NativeWindow(), VK_ESCAPE);
  RunPendingTurns();
  log = TakeLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Cancel.Press"), 1);
  EXPECT_EQ(WindowUpdateDefaultButton(WindowPaneOf(window.get())), PaneOf(cok.get()));
  EXPECT_EQ(WindowPaneOf(window.get())->ChosenDefaultButton(), PaneOf(cok.get()));
}

TEST_F(KeysTest, KeyCharactersFollowTheRunTimesTable) {
  EXPECT_EQ(VirtualKeyToKeyChar(VK_LEFT, false), 28u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_DOWN, false), 31u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_NEXT, false), 12u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_DELETE, false), 127u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_HELP, false), 5u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_F15, false), 16u);
  EXPECT_EQ(VirtualKeyToKeyChar(0x97, false), 3u);
  EXPECT_EQ(VirtualKeyToKeyChar(VK_NUMPAD7, false), uint32_t('7'));
  EXPECT_EQ(VirtualKeyToKeyChar(VK_DIVIDE, false), uint32_t('/'));
  EXPECT_EQ(VirtualKeyToKeyChar('Q', false), uint32_t('q'));
  EXPECT_EQ(VirtualKeyToKeyChar('Q', true), uint32_t('Q'));
  EXPECT_EQ(VirtualKeyToKeyChar(VK_LWIN, false), 0u);
}

TEST_F(KeysTest, TheModifierWordReadsShiftAltAndCtrl) {
  SetKeyboardStateHolding({VK_SHIFT, VK_CONTROL});
  EXPECT_EQ(CurrentKeyModifiers(), uint32_t(kModifierShift | kModifierControl));
  SetKeyboardStateHolding({VK_MENU});
  EXPECT_EQ(CurrentKeyModifiers(), uint32_t(kModifierAlt));
  EXPECT_EQ(MouseMessageModifiers(MK_SHIFT), uint32_t(kModifierShift | kModifierAlt));
  SetKeyboardStateHolding({});
  EXPECT_EQ(CurrentKeyModifiers(), 0u);
}

}  // namespace
