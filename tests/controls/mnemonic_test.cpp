// A control's caption shortcut: one per native window, following the caption
// and gone with the window.
#include "controls/Mnemonic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "testsupport/UiTestSupport.h"
#include "ui/WindowKeys.h"

namespace {

class MnemonicTest : public WindowSystemTest {
 protected:
  // The keys of the shortcuts that target the window, head first.
  static std::vector<std::string> KeysOf(HWND window) {
    std::vector<std::string> keys;
    for (const WindowShortcut& shortcut : WindowShortcuts()) {
      if (shortcut.target == window) {
        EXPECT_EQ(shortcut.kind, uint32_t(kShortcutControl));
        keys.push_back(shortcut.key);
      }
    }
    return keys;
  }
  static void SetCaption(HWND window, const char* caption) {
    StringRef text = StringRef::Adopt(StringFromUTF8(caption));
    SetControlMnemonic(window, text.get());
  }
};

TEST_F(MnemonicTest, EachCaptionReplacesTheShortcutOfTheLast) {
  ObjectRef window = OpenTestWindow();
  ObjectRef button =
      PlaceControl(window.get(), "Button", Rect(10, 10, 80, 24), [](const PaneSite& site) {
        return new RecordingControlPane("Button", site, "BUTTON", BS_PUSHBUTTON);
      });
  const HWND native = NativeOf(button.get());

  SetCaption(native, "&check");
  EXPECT_EQ(KeysOf(native), std::vector<std::string>{"Alt+C"});
  SetCaption(native, "&Done");
  EXPECT_EQ(KeysOf(native), std::vector<std::string>{"Alt+D"});
  SetCaption(native, "A&&B");
  EXPECT_TRUE(KeysOf(native).empty());
  SetCaption(native, "Save &As");
  EXPECT_EQ(KeysOf(native), std::vector<std::string>{"Alt+A"});

  DestroyWindow(GetAncestor(native, GA_ROOT));
  RunPendingTurns();
  EXPECT_TRUE(KeysOf(native).empty());
  TakeLog();
}

}  // namespace
