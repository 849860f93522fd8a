// The EditField class in a control test window: properties waiting for the
// pane, the events its handlers see, string-source and DataControl
// bindings, and the Edit menu.
#include <gtest/gtest.h>
#include <windows.h>

#include <richedit.h>

#include <string>
#include <vector>

#include "controls/editfield/EditField.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/string.h"
#include "host/relocentry.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RecordingStringSource.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"
#include "ui/Clipboard.h"
#include "ui/Menu.h"
#include "ui/PaneFocus.h"
#include "ui/pane.h"

namespace {

using Lines = std::vector<std::string>;

class EditFieldTest : public WindowSystemTest {};

const std::string kGreeting = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC";

StringRef Utf8Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

void SetText(RuntimeObject* control, const char* property, const std::string& text) {
  SetProperty<StringRecord*>(control, property, Utf8Text(text).get());
}

std::string TextOf(RuntimeObject* control, const char* property = "Text") {
  StringRef text = StringRef::Adopt(GetProperty<StringRecord*>(control, property));
  return StringBytes(text.get());
}

std::wstring WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

void PostCharacters(HWND window, const std::u16string& units) {
  for (char16_t unit : units) PostMessageW(window, WM_CHAR, unit, 1);
  RunPendingTurns();
}

// Two fields and the DataControl stand-in; `prepare` sets Field1 up before
// the window opens.
std::vector<ControlDescription> Fields(std::function<void(RuntimeObject*)> prepare = nullptr) {
  ControlDescription first =
      Described(GetEditFieldClassDefinition(), "Field1", Rect(10, 10, 200, 24));
  first.prepare = std::move(prepare);
  return {first, Described(GetEditFieldClassDefinition(), "Field2", Rect(10, 44, 200, 24)),
          Described(GetDataControlStandInClassDefinition(), "Data1", Rect(10, 120, 120, 24))};
}

// ---- Class and creation ----

TEST_F(EditFieldTest, PropertiesSetBeforeOpeningReachTheWindowSilently) {
  ControlTestWindow window(Fields([](RuntimeObject* field) {
    SetText(field, "Text", "Waiting");
    SetProperty<int32_t>(field, "LimitText", 0);
    SetProperty<uint8_t>(field, "ReadOnly", 1);
    SetProperty<int32_t>(field, "Alignment", 2);
    SetProperty<uint32_t>(field, "TextColor", 0xFF0000);
  }));
  EXPECT_EQ(window.OpeningLog(), Lines{});
  HWND native = window.Native("Field1");
  EXPECT_EQ(WindowText(native), L"Waiting");
  EXPECT_EQ(SendMessageW(native, EM_GETLIMITTEXT, 0, 0), 1000000);
  EXPECT_TRUE(GetWindowLongW(native, GWL_STYLE) & ES_READONLY);
  PARAFORMAT paragraph{};
  paragraph.cbSize = sizeof paragraph;
  SendMessageW(native, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
  EXPECT_EQ(paragraph.wAlignment, PFA_CENTER);
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  SendMessageW(native, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  EXPECT_EQ(format.crTextColor, RGB(255, 0, 0));

  // A field left to its defaults is black on white.
  EXPECT_EQ(GetProperty<uint32_t>(window.Control("Field2"), "BackColor"), 0xFFFFFFu);
  EXPECT_EQ(ReadWindowPixel(window.Native("Field2"), 20, 8), RGB(255, 255, 255));

  RuntimeObject* field = window.Control("Field1");
  void* setString = FindInterfaceMethod(field, GetStringInterfaceInterfaceDefinition(), "setString");
  ASSERT_NE(setString, nullptr);
  reinterpret_cast<void (*)(RuntimeObject*, StringRecord*)>(setString)(field,
                                                                      Utf8Text("set").get());
  EXPECT_EQ(TextOf(field), "set");
  EXPECT_EQ(TakeLog(), Lines{"Field1.TextChange"});
}

TEST_F(EditFieldTest, WithoutAPaneFieldsKeepValuesAndForwardingMembersAnswerZero) {
  ObjectRef field = ObjectRef::Adopt(CreateInstance(GetEditFieldClassDefinition()));
  SetText(field.get(), "Text", kGreeting);
  SetProperty<int32_t>(field.get(), "SelStart", 3);
  EXPECT_EQ(TextOf(field.get()), kGreeting);
  EXPECT_EQ(GetProperty<int32_t>(field.get(), "SelStart"), 0);
  EXPECT_EQ(GetProperty<StringRecord*>(field.get(), "SelText"), nullptr);
  EXPECT_FALSE(GetProperty<bool>(field.get(), "SelBold"));
  EXPECT_EQ(CallMethod<int32_t>(field.get(), "CharPosAtLineNum", 0), 0);
}

TEST_F(EditFieldTest, SelectionStylesForwardWithColoursInEightBitChannels) {
  ControlTestWindow window(Fields([](RuntimeObject* field) {
    SetProperty<uint8_t>(field, "Styled", 1);
    SetText(field, "Text", "abcd");
  }));
  RuntimeObject* field = window.Control("Field1");
  SetProperty<int32_t>(field, "SelStart", 1);
  SetProperty<int32_t>(field, "SelLength", 2);
  SetProperty<uint32_t>(field, "SelTextColor", 0x123456);
  SetProperty<int32_t>(field, "SelTextSize", 18);
  CallMethod(field, "ToggleSelectionBold");
  EXPECT_EQ(GetProperty<uint32_t>(field, "SelTextColor"), 0x123456u);
  EXPECT_EQ(GetProperty<int32_t>(field, "SelTextSize"), 18);
  EXPECT_TRUE(GetProperty<bool>(field, "SelBold"));
  EXPECT_EQ(TextOf(field, "SelText"), "bc");
  EXPECT_EQ(LookupEntryPoint("editSetString"), reinterpret_cast<void*>(&editSetString));
  TakeLog();
}

// ---- Events ----

TEST_F(EditFieldTest, TextAssignedLogsOneTextChangeAndReadsBackItsBytes) {
  for (bool handlerAssigns : {false, true}) {
    ControlTestWindow window(Fields());
    RuntimeObject* field = window.Control("Field1");
    if (handlerAssigns) {
      window.OnEvent("Field1", "TextChange",
                     [](RuntimeObject* control) { SetText(control, "Text", kGreeting); });
    }
    SetText(field, "Text", kGreeting);
    EXPECT_EQ(TextOf(field), kGreeting) << handlerAssigns;
    EXPECT_EQ(TakeLog(), Lines{"Field1.TextChange"}) << handlerAssigns;
  }
}

TEST_F(EditFieldTest, TypedCharactersReachKeyDownAsUtf8) {
  ControlTestWindow window(Fields());
  HWND native = window.Native("Field1");
  PostCharacters(native, u"a");
  EXPECT_EQ(TakeLog(), (Lines{"Field1.KeyDown(61)", "Field1.TextChange",
                              "Field1.EnableMenuItems", "Field1.SelChange"}));
  struct Case {
    std::u16string typed;
    std::string line;
  } cases[] = {{u"\u00E9", "Field1.KeyDown(C3A9)"},
               {u"\U0001F600", "Field1.KeyDown(F09F9880)"}};
  for (const Case& c : cases) {
    PostCharacters(native, c.typed);
    const Lines log = TakeLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), c.line);
  }
  window.AnswerKeyDown("Field1", true);
  const std::string before = TextOf(window.Control("Field1"));
  PostCharacters(native, u"b");
  EXPECT_EQ(TakeLog(), Lines{"Field1.KeyDown(62)"});
  EXPECT_EQ(TextOf(window.Control("Field1")), before);
}

TEST_F(EditFieldTest, TextChangeHandlerClosingTheWindowLeavesNothingBehind) {
  const uint32_t objectsBefore = RuntimeLiveObjectCount();
  {
    ControlTestWindow window(Fields());
    window.CloseOn("Field1", "TextChange");
    SetText(window.Control("Field1"), "Text", "bye");
    EXPECT_FALSE(window.IsOpen());
  }
  RunPendingTurns();
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
  EXPECT_EQ(RuntimeLiveObjectCount(), objectsBefore);
  TakeLog();
}

// ---- Bindings ----

TEST_F(EditFieldTest, StringSourceIsShownHeldPushedAndLetGo) {
  ControlTestWindow window(Fields());
  RuntimeObject* field = window.Control("Field1");
  {
    ObjectRef source = NewRecordingStringSource("src", "From source");
    stringBinder(field, source.get());
  }
  EXPECT_EQ(LiveStringSourceCount(), 1);
  EXPECT_EQ(TextOf(field), "From source");
  EXPECT_EQ(TakeLog(), (Lines{"src.addReceiver", "Field1.TextChange"}));

  // LiveUpdate false: once, when the field loses the focus.
  SetFocusPane(window.Pane("Field1"));
  TakeLog();
  SetText(field, "Text", "typed");
  SetFocusPane(window.Pane("Field2"));
  EXPECT_EQ(TakeLog(), (Lines{"Field1.TextChange", "Field1.LostFocus", "src.setString(typed)",
                              "Field2.GotFocus"}));

  SetProperty<uint8_t>(field, "LiveUpdate", 1);
  SetText(field, "Text", "live");
  EXPECT_EQ(TakeLog(), (Lines{"Field1.TextChange", "src.setString(live)"}));

  stringBinder(field, nullptr);
  EXPECT_EQ(TakeLog(), Lines{"src.removeReceiver"});
  EXPECT_EQ(LiveStringSourceCount(), 0);

  // A source still bound when the window closes goes with the pane.
  ObjectRef second = NewRecordingStringSource("second", "x");
  stringBinder(window.Control("Field2"), second.get());
  second = ObjectRef();
  window.Close();
  EXPECT_EQ(LiveStringSourceCount(), 0);
  TakeLog();
}

TEST_F(EditFieldTest, DataSourceListsTheFieldOnceUntilEmptiedOrClosed) {
  std::vector<ControlDescription> controls = Fields();
  DescriptionNamed(controls, "Field1").dataSource = "Data1";
  ControlTestWindow window(controls);
  RuntimeObject* field = window.Control("Field1");
  ObjectRef data = ObjectRef::Retain(window.Control("Data1"));
  const std::vector<BoundControl> once{{field, kBoundEditField}};
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);
  for (const char* name : {"Name", "Age", "Name"}) SetText(field, "DataField", name);
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);
  SetText(field, "DataSource", "");
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
  SetText(field, "DataSource", "data1");
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);
  window.Close();
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
  TakeLog();
}

// ---- Edit menu ----

void SetClipboard(const std::string* text) {
  if (text) {
    clipboardTextSetter(nullptr, 0, Utf8Text(*text).get());
  } else if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

Lines EnabledEditItems(const ControlTestWindow& window) {
  SendMessageW(window.Handle(), WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(window.Handle())), 0);
  Lines enabled;
  for (const char* name : {"EditCut", "EditCopy", "EditClear", "EditPaste"}) {
    RuntimeObject* item = RuntimeMenuReference(name);
    if (item && MenuItemEnabled(item)) enabled.push_back(name);
    RuntimeUnlockObject(item);
  }
  return enabled;
}

TEST_F(EditFieldTest, EditMenuOffersWhatTheFieldAllows) {
  const std::string clip = "clip";
  struct Case {
    const char* name;
    bool readOnly, password, selection;
    const std::string* clipboard;
    Lines enabled;
  } cases[] = {
      {"selection", false, false, true, &clip, {"EditCut", "EditCopy", "EditClear", "EditPaste"}},
      {"empty clipboard", false, false, true, nullptr, {"EditCut", "EditCopy", "EditClear"}},
      {"no selection", false, false, false, &clip, {"EditPaste"}},
      {"password", false, true, true, &clip, {"EditClear", "EditPaste"}},
      {"read-only", true, false, true, &clip, {"EditCopy"}},
  };
  for (const Case& c : cases) {
    ControlTestWindow window(Fields());
    RuntimeObject* field = window.Control("Field1");
    SetText(field, "Text", "abc");
    SetProperty<uint8_t>(field, "ReadOnly", c.readOnly);
    SetProperty<uint8_t>(field, "Password", c.password);
    SetProperty<int32_t>(field, "SelStart", 0);
    SetProperty<int32_t>(field, "SelLength", c.selection ? 2 : 0);
    SetClipboard(c.clipboard);
    window.FocusOn("Field1");
    EXPECT_EQ(EnabledEditItems(window), c.enabled) << c.name;
    TakeLog();
  }
}

TEST_F(EditFieldTest, EditCutLeavesTheRestAndPutsTheSelectionOnTheClipboard) {
  ControlTestWindow window(Fields());
  RuntimeObject* field = window.Control("Field1");
  SetText(field, "Text", "abc");
  SetProperty<int32_t>(field, "SelStart", 0);
  SetProperty<int32_t>(field, "SelLength", 2);
  window.FocusOn("Field1");
  EnabledEditItems(window);
  RuntimeObject* cut = RuntimeMenuReference("EditCut");
  ASSERT_NE(cut, nullptr);
  SendMessageW(window.Handle(), WM_COMMAND, MenuItemCommandId(cut), 0);
  RuntimeUnlockObject(cut);
  EXPECT_EQ(TextOf(field), "c");
  StringRef clipboard = StringRef::Adopt(clipboardTextGetter(nullptr, 0));
  EXPECT_EQ(StringToStdUTF8(clipboard.get()), "ab");
  TakeLog();
}

}  // namespace
