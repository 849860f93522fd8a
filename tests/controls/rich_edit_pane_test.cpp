// The edit pane on a real rich-edit window: creation and fonts, text in and
// out, password entry and its keys, character and paragraph formats, the
// sink's notifications and keys, enabling and a handler that closes the
// window. The EditPaneBothLines cases run again on the A line (KV_FORCE_ANSI).
#include <gtest/gtest.h>
#include <windows.h>

#include <richedit.h>

#include <string>
#include <vector>

#include "controls/editfield/RichEditPane.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "testsupport/EditPaneTestWindow.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Clipboard.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/pane.h"

namespace {

using Lines = std::vector<std::string>;

class EditPaneTest : public WindowSystemTest {};
class EditPaneBothLines : public WindowSystemTest {};

std::pair<LONG, LONG> SelectionOf(HWND window) {
  CHARRANGE range{};
  SendMessageW(window, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return {range.cpMin, range.cpMax};
}

CHARFORMATW FormatAt(HWND window, LONG start, LONG end) {
  CHARRANGE range{start, end};
  SendMessageW(window, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  SendMessageW(window, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

std::wstring WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

std::string SelTextOf(NativeEditPane* pane) {
  StringRef text = StringRef::Adopt(pane->GetSelText());
  return StringToStdUTF8(text.get());
}

void PostCharacters(HWND window, const std::u16string& units) {
  for (char16_t unit : units) PostMessageW(window, WM_CHAR, unit, 1);
}

void SetClipboardText(const std::string& text) {
  clipboardTextSetter(nullptr, 0, Utf8(text).get());
}

std::string ClipboardText() {
  StringRef text = StringRef::Adopt(clipboardTextGetter(nullptr, 0));
  return StringToStdUTF8(text.get());
}

const Lines kEdited{"TextChanged", "SelectionChanged"};

// ---- Creation ----

TEST_F(EditPaneBothLines, StylesFollowTheKindAndFontAndLimitReadBack) {
  EditPaneWindow window;
  // The control shows the scroll bars it was given once the text needs them.
  std::string longLines;
  for (int line = 0; line < 30; ++line) longLines += std::string(200, 'w') + "\r";
  struct Case {
    const char* name;
    LONG present, absent;
  } cases[] = {
      {"Single", ES_AUTOHSCROLL, ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_PASSWORD},
      {"Multi", ES_MULTILINE | ES_NOHIDESEL | WS_VSCROLL | ES_AUTOVSCROLL,
       WS_HSCROLL | ES_AUTOHSCROLL},
      {"StyledMulti", ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL, ES_READONLY},
  };
  for (const Case& c : cases) {
    HWND native = window.Native(c.name);
    window.Pane(c.name)->SetText(Utf8(longLines).get());
    const LONG style = GetWindowLongW(native, GWL_STYLE);
    EXPECT_EQ(style & c.present, c.present) << c.name;
    EXPECT_EQ(style & c.absent, 0) << c.name;
    EXPECT_TRUE(GetWindowLongW(native, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << c.name;
    EXPECT_EQ(WindowClassName(native), IsWindowsNT() ? "RichEdit20W" : "RICHEDIT") << c.name;
  }
  RichEditPane* pane = window.Pane("Multi");
  FontDescriptor font{Utf8("Geneva").release(), 0, 0, 0, 0};
  pane->SetFont(font);
  FontDescriptorDispose(&font);
  pane->SetText(Utf8("xy").get());
  const CHARFORMATW format = FormatAt(window.Native("Multi"), 0, 2);
  EXPECT_EQ(std::wstring(format.szFaceName), L"MS Sans Serif");
  EXPECT_EQ(format.yHeight, 180);
  pane->SetLimitText(0);
  EXPECT_EQ(SendMessageW(window.Native("Multi"), EM_GETLIMITTEXT, 0, 0), 1000000);
  EXPECT_EQ(RichEditVersion(), IsWindowsNT() ? 3 : 0);
  TakeLog();
}

// ---- Text ----

TEST_F(EditPaneTest, TextComesBackByteForByteAndEachSetTextTellsOnce) {
  EditPaneWindow window;
  const std::string sample = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xE2\x9C\x93";
  for (const char* name : {"Single", "Multi", "StyledSingle", "StyledMulti"}) {
    window.Pane(name)->SetText(Utf8(sample).get());
    EXPECT_EQ(TextOf(window.Pane(name)), sample) << name;
    EXPECT_EQ(TakeLog(), Lines{"TextChanged"}) << name;
  }
  window.Pane("Multi")->SetText(Utf8("ab\r\ncd").get());
  EXPECT_EQ(TextOf(window.Pane("Multi")), "ab\rcd");
  EXPECT_EQ(window.Pane("Multi")->GetTextLength(), 6);
  TakeLog();
}

TEST_F(EditPaneBothLines, CafeRoundTripsThroughTextAndSelection) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Single");
  pane->SetText(Utf8("Caf\xC3\xA9").get());
  EXPECT_EQ(TextOf(pane), "Caf\xC3\xA9");
  pane->SetSelection(0, 4);
  EXPECT_EQ(SelTextOf(pane), "Caf\xC3\xA9");
  TakeLog();
}

TEST_F(EditPaneTest, SelectedTextIsReadWholeAndTheSelectionMovesWithItsLength) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Multi");
  pane->SetText(Utf8("ab\r\ncd").get());
  pane->SetSelection(1, 4);
  EXPECT_EQ(SelTextOf(pane), "b\rc");

  std::string japanese;
  for (int i = 0; i < 1000; ++i) japanese += "\xE6\x97\xA5\xE6\x9C\xAC";
  pane->SetLimitText(0);
  pane->SetText(Utf8(japanese).get());
  pane->SetSelection(0, -1);
  EXPECT_EQ(SelTextOf(pane), japanese);

  pane->SetSelection(0, 3);
  pane->SetSelStart(2);
  EXPECT_EQ(SelectionOf(window.Native("Multi")), std::make_pair(2L, 5L));
  TakeLog();
}

// ---- Password ----

TEST_F(EditPaneTest, PasswordTypingKeepsUnicodeClearTextBehindOneMaskPerUnit) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Single");
  HWND native = window.Native("Single");
  pane->SetPassword(true);
  PostCharacters(native, u"ab");
  PostKey(native, VK_BACK);
  PostCharacters(native, u"\u00E9\U0001F600");
  RunPendingTurns();
  EXPECT_EQ(StringBytes(StringRef::Adopt(pane->GetText(kEncodingUTF8)).get()),
            "\x61\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(WindowText(native), L"****");

  PostKey(native, VK_BACK);
  RunPendingTurns();
  EXPECT_EQ(TextOf(pane), "a\xC3\xA9");
  EXPECT_EQ(WindowText(native), L"**");
  pane->SetSelection(1, 2);
  pane->SetPassword(false);
  EXPECT_EQ(WindowText(native), L"a\u00E9");
  EXPECT_EQ(SelectionOf(native), std::make_pair(1L, 2L));
  TakeLog();
}

TEST_F(EditPaneTest, PasswordModeKeepsTheControlsClipboardAndUndoKeysAway) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Single");
  HWND native = window.Native("Single");
  pane->SetText(Utf8("xy").get());
  pane->SetPassword(true);
  pane->SetSelection(2, 2);
  SetClipboardText("Gr\xC3\xBC\xC3\x9F" "e");
  SetKeyboardStateHolding({VK_CONTROL});
  PostKey(native, 'V');
  RunPendingTurns();
  EXPECT_EQ(TextOf(pane), "xyGr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(WindowText(native), L"*******");

  // Cut, copy, undo and redo in both spellings reach neither text nor clipboard.
  pane->SetSelection(0, 3);
  for (UINT key : {UINT('X'), UINT('C'), UINT('Z'), UINT('Y'), UINT(VK_INSERT)}) {
    PostKey(native, key);
  }
  RunPendingTurns();
  SetKeyboardStateHolding({VK_SHIFT});
  PostKey(native, VK_DELETE);
  RunPendingTurns();
  EXPECT_EQ(TextOf(pane), "xyGr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(WindowText(native), L"*******");
  EXPECT_EQ(ClipboardText(), "Gr\xC3\xBC\xC3\x9F" "e");

  SendMessageW(native, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"stolen"));
  EXPECT_EQ(WindowText(native), L"*******");
  EXPECT_EQ(TextOf(pane), "xyGr\xC3\xBC\xC3\x9F" "e");
  // Shift+Insert pastes through the clear text as Ctrl+V does.
  SetClipboardText("!");
  pane->SetSelection(7, 7);
  PostKey(native, VK_INSERT);
  RunPendingTurns();
  SetKeyboardStateHolding({});
  EXPECT_EQ(TextOf(pane), "xyGr\xC3\xBC\xC3\x9F" "e!");
  EXPECT_EQ(WindowText(native), L"********");
  TakeLog();
}

// ---- Formats ----

TEST_F(EditPaneTest, CharacterAndParagraphFormatsReadBackPerSelection) {
  EditPaneWindow window;
  RichEditPane* styled = window.Pane("StyledMulti");
  HWND native = window.Native("StyledMulti");
  styled->SetText(Utf8("abc\rdef").get());
  styled->SetSelection(1, 2);
  styled->SetSelBold(true);
  EXPECT_TRUE(styled->GetSelBold());
  styled->SetSelection(0, 3);
  EXPECT_FALSE(styled->GetSelBold());
  EXPECT_FALSE(styled->GetSelPlain());

  const RGBColor16 teal{0x1200 + 0x12, 0x3400 + 0x34, 0x5600 + 0x56};
  styled->SetSelTextColor(teal);
  RGBColor16 read{};
  styled->GetSelTextColor(&read);
  EXPECT_EQ(std::make_tuple(read.red, read.green, read.blue),
            std::make_tuple(teal.red, teal.green, teal.blue));
  CHARFORMATW automatic{};
  automatic.cbSize = sizeof automatic;
  automatic.dwMask = CFM_COLOR;
  automatic.dwEffects = CFE_AUTOCOLOR;
  SendMessageW(native, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&automatic));
  styled->GetSelTextColor(&read);
  EXPECT_EQ(std::make_tuple(read.red, read.green, read.blue), std::make_tuple(0, 0, 0));

  styled->SetSelection(2, 2);
  styled->SetAlignment(kAlignCenter);
  EXPECT_EQ(SelectionOf(native), std::make_pair(2L, 2L));
  EXPECT_EQ(styled->GetSelAlignment(), kAlignCenter);
  styled->SetSelection(5, 5);
  styled->SetSelAlignment(kAlignRight);
  styled->SetSelection(0, -1);
  EXPECT_EQ(styled->GetSelAlignment(), kAlignMixed);

  RichEditPane* plain = window.Pane("Multi");
  plain->SetText(Utf8("abc").get());
  plain->SetSelection(0, 1);
  plain->SetSelTextFont(Utf8("Arial").get());
  EXPECT_EQ(std::wstring(FormatAt(window.Native("Multi"), 0, 3).szFaceName), L"Arial");
  TakeLog();
}

TEST_F(EditPaneTest, EachUnsupportedStyleShowsOneBoxAndItsToggleNone) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("StyledSingle");
  TakeRecordedBoxes();
  pane->SetSelOutline(true);
  EXPECT_FALSE(pane->GetSelShadow());
  pane->SetSelCondense(false);
  EXPECT_FALSE(pane->GetSelExtend());
  pane->ToggleSelOutline();
  pane->ToggleSelExtend();
  Lines texts;
  for (const RecordedBox& box : TakeRecordedBoxes()) {
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.buttons, uint32_t(MB_OK | MB_ICONEXCLAMATION));
    texts.push_back(box.text);
  }
  auto message = [](const char* style) {
    return "Windows does not support the '" + std::string(style) + "' text font style.";
  };
  EXPECT_EQ(texts, (Lines{message("Outline"), message("Shadow"), message("Condensed"),
                          message("Extended")}));
}

TEST_F(EditPaneBothLines, BoldSizeAndColourApplyToTheSelection) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("StyledMulti");
  pane->SetText(Utf8("abcd").get());
  pane->SetSelection(1, 3);
  pane->SetSelBold(true);
  pane->SetSelTextSize(24);
  pane->SetSelTextColor(RGBColor16{0xFFFF, 0, 0});
  RGBColor16 color{};
  pane->GetSelTextColor(&color);
  EXPECT_TRUE(pane->GetSelBold());
  EXPECT_EQ(pane->GetSelTextSize(), 24);
  EXPECT_EQ(std::make_tuple(color.red, color.green, color.blue), std::make_tuple(0xFFFF, 0, 0));
  pane->SetSelection(0, 1);
  EXPECT_FALSE(pane->GetSelBold());
  EXPECT_NE(pane->GetSelTextSize(), 24);
  TakeLog();
}

// ---- Notifications and keys ----

TEST_F(EditPaneTest, EveryEditTellsTheSinkOnceAndTypedCharactersAreCodePoints) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Single");
  HWND native = window.Native("Single");
  SendMessageW(native, WM_CHAR, 'a', 1);
  EXPECT_EQ(TakeLog(), (Lines{"KeyChar 97", "TextChanged", "EnableMenuItems", "SelectionChanged"}));
  SendMessageW(native, WM_CHAR, 0xD83D, 1);
  SendMessageW(native, WM_CHAR, 0xDE00, 1);
  EXPECT_EQ(TakeLog().front(), "KeyChar 128512");
  EXPECT_EQ(TextOf(pane), "a\xF0\x9F\x98\x80");

  pane->SetText(Utf8("abcdef").get());
  TakeLog();
  struct Step {
    const char* name;
    std::function<void()> run;
    Lines log;
  } steps[] = {
      {"Cut", [&] { pane->SetSelection(0, 2), TakeLog(), pane->Cut(); }, kEdited},
      {"Paste", [&] { pane->Paste(); }, kEdited},
      {"Clear", [&] { pane->SetSelection(0, 1), TakeLog(), pane->Clear(); }, kEdited},
      {"SetSelText", [&] { pane->SetSelText(Utf8("Q").get()); }, kEdited},
      {"SetSelLength", [&] { pane->SetSelLength(2); }, Lines{"SelectionChanged"}},
  };
  for (Step& step : steps) {
    step.run();
    EXPECT_EQ(TakeLog(), step.log) << step.name;
  }
  EXPECT_EQ(TextOf(pane), "Qbcdef");
  EXPECT_EQ(ClipboardText(), "ab");
}

TEST_F(EditPaneTest, KeysAndPressesReachTheSinkFirstAndTabLeavesASingleLineField) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Single");
  HWND native = window.Native("Single");
  pane->SetText(Utf8("abc").get());
  pane->SetSelection(1, 1);
  // The client point (5, 7) lies inside the two-pixel client edge.
  window.Sink("Single").answerTrue = {"KeyChar 29", "MouseDown 7,9"};
  TakeLog();
  PostKey(native, VK_RIGHT);
  RunPendingTurns();
  MakeForeground(WindowHandle(window.Window()));
  SendMouseMove(ScreenPointOf(native, 5, 7));
  SendMouseButton(true);
  SendMouseButton(false);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
  EXPECT_EQ(TakeLog(), (Lines{"KeyChar 29", "MouseDown 7,9", "MouseUp 7,9"}));
  EXPECT_EQ(SelectionOf(native), std::make_pair(1L, 1L));

  pane->SetSelection(1, 3);
  TakeLog();
  SendMessageW(native, WM_KEYDOWN, VK_TAB, 1);
  SendMessageW(native, WM_CHAR, '\t', 1);
  EXPECT_EQ(SelectionOf(native), std::make_pair(0L, 0L));
  EXPECT_EQ(TextOf(pane), "abc");
  EXPECT_EQ(TakeLog(), (Lines{"KeyChar 9", "EnableMenuItems", "SelectionChanged"}));
}

// ---- Enabling and lifetime ----

TEST_F(EditPaneTest, ADisabledPlainFieldTurnsGreyOnButtonFaceAndComesBack) {
  EditPaneWindow window;
  RichEditPane* pane = window.Pane("Multi");
  HWND native = window.Native("Multi");
  pane->SetText(Utf8("text").get());
  pane->SetEnabled(false, true);
  UpdateWindow(native);
  EXPECT_EQ(ReadWindowPixel(native, 60, 60), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(FormatAt(native, 0, 4).crTextColor, GetSysColor(COLOR_GRAYTEXT));
  pane->SetEnabled(true, true);
  UpdateWindow(native);
  EXPECT_EQ(ReadWindowPixel(native, 60, 60), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(FormatAt(native, 0, 4).crTextColor, RGB(0, 0, 0));
  TakeLog();
}

TEST_F(EditPaneTest, ASinkThatClosesTheWindowLeavesNothingBehind) {
  const int32_t panesBefore = Pane::LiveCount();
  const uint32_t objectsBefore = RuntimeLiveObjectCount();
  const uint32_t stringsBefore = RuntimeLiveStringCount();
  {
    EditPaneWindow window;
    int32_t freedInHandler = 0;
    window.Sink("Multi").after = [&](const std::string& line) {
      if (line != "TextChanged") return;
      const int32_t panes = Pane::LiveCount();
      window.Close();
      freedInHandler = panes - Pane::LiveCount();
    };
    // Another pane's clear text and DataSource name go with it.
    window.Pane("Single")->SetPassword(true);
    window.Pane("Single")->SetText(Utf8("secret").get());
    window.Pane("Single")->SetDataSourceName(Utf8("Data1").get());
    TakeLog();
    window.Pane("Multi")->SetSelText(Utf8("bye").get());
    EXPECT_FALSE(window.IsOpen());
    // Only the three other edit panes went while the handler ran: this one
    // and the window pane lived until the operation returned, and nothing
    // was told after.
    EXPECT_EQ(freedInHandler, 3);
    EXPECT_EQ(TakeLog(), Lines{"TextChanged"});
  }
  RunPendingTurns();
  EXPECT_EQ(Pane::LiveCount(), panesBefore);
  EXPECT_EQ(RuntimeLiveObjectCount(), objectsBefore);
  EXPECT_EQ(RuntimeLiveStringCount(), stringsBefore);
}

}  // namespace
