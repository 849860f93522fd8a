// The check box in a window of controls: clicks, real input, a MouseDown
// handler that takes the press, Value from code, bound parts, a handler that
// closes the window, DataSource binding, mnemonics, fonts, the state a box is
// created in, and what it looks like. Also the sink's detachment from its
// panes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "controls/CheckBox.h"
#include "controls/ControlPattern.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"
#include "ui/window.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kFirstClick = {"CheckBox1.MouseDown(0,0)", "CheckBox2.LostFocus", "CheckBox1.GotFocus",
                           "data.DataChanged",         "CheckBox1.Action True",
                           "checked.PerformAction"};

bool IsChecked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool ValueOf(RuntimeObject* box) { return GetProperty<bool>(box, "Value"); }

void SetText(RuntimeObject* control, const char* property, const std::string& text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  SetProperty<StringRecord*>(control, property, value.get());
}

// The target of the shortcut with the key text; nil when there is none.
const void* ShortcutTarget(const std::string& key) {
  for (const WindowShortcut& entry : WindowShortcuts()) {
    if (entry.key == key) return entry.target;
  }
  return nullptr;
}

class CheckBoxTest : public WindowSystemTest {};

TEST_F(CheckBoxTest, AClickChecksThenNotifiesRunsActionAndTellsTheStatesReceivers) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox2");

  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), kFirstClick);
  EXPECT_TRUE(IsChecked(window.Native("CheckBox1")));
  EXPECT_TRUE(ValueOf(window.Control("CheckBox1")));

  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.MouseDown(0,0)", "data.DataChanged",
                              "CheckBox1.Action False", "unchecked.PerformAction"}));
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
  EXPECT_FALSE(ValueOf(window.Control("CheckBox1")));
}

TEST_F(CheckBoxTest, ARealClickAndTheSpaceBarEachRunOneAction) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox2");

  window.RealClick("CheckBox1", 7, 9);
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.MouseDown(7,9)", "CheckBox2.LostFocus",
                              "CheckBox1.GotFocus", "data.DataChanged", "CheckBox1.Action True",
                              "checked.PerformAction"}));

  window.RealKey(VK_SPACE);
  EXPECT_EQ(TakeLog(),
            (Lines{"data.DataChanged", "CheckBox1.Action False", "unchecked.PerformAction"}));
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
}

TEST_F(CheckBoxTest, AMouseDownHandlerAnsweringTrueKeepsThePressFromTheBox) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox2");
  window.AnswerMouseDown("CheckBox1", true);

  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.MouseDown(0,0)", "CheckBox1.MouseUp(0,0)"}));
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
  EXPECT_FALSE(ValueOf(window.Control("CheckBox1")));

  // The release cleared the flag: the next click is an ordinary one.
  window.AnswerMouseDown("CheckBox1", false);
  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), kFirstClick);
}

TEST_F(CheckBoxTest, ValueFromCodeRunsTheWholeSequenceAndANestedSetRunsNoSecond) {
  ControlTestWindow window(StandardControlDescriptions());
  RuntimeObject* box = window.Control("CheckBox1");
  SetProperty<bool>(box, "Value", true);
  TakeLog();

  SetProperty<bool>(box, "State", true);
  EXPECT_EQ(TakeLog(), (Lines{"data.DataChanged", "CheckBox1.Action True", "checked.PerformAction"}));

  SetProperty<bool>(box, "Value", false);
  TakeLog();
  window.OnAction("CheckBox1",
                  [](RuntimeObject* control) { SetProperty<bool>(control, "Value", false); });
  checkBoxSetBoolean(box, true);
  EXPECT_EQ(TakeLog(),
            (Lines{"data.DataChanged", "CheckBox1.Action True", "unchecked.PerformAction"}));
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
  EXPECT_FALSE(checkBoxGetBoolean(box));

  // The flag was cleared on the way out: the box raises Action again.
  window.OnAction("CheckBox1", [](RuntimeObject*) {});
  checkBoxSetBoolean(box, true);
  EXPECT_EQ(TakeLog(), (Lines{"data.DataChanged", "CheckBox1.Action True", "checked.PerformAction"}));
}

TEST_F(CheckBoxTest, BooleansAreStoredAndSentAsZeroOrOne) {
  ControlTestWindow window(StandardControlDescriptions());
  RuntimeObject* box = window.Control("CheckBox1");
  const auto* fields = reinterpret_cast<const CheckBoxFields*>(box);

  SetProperty<uint8_t>(box, "Value", 2);
  EXPECT_EQ(fields->button.value, 1);
  EXPECT_EQ(SendMessageW(window.Native("CheckBox1"), BM_GETCHECK, 0, 0), BST_CHECKED);
  checkBoxSetBoolean(box, 0x80);
  EXPECT_EQ(fields->button.value, 1);
  EXPECT_EQ(TakeLog(), (Lines{"data.DataChanged", "CheckBox1.Action True", "checked.PerformAction",
                              "data.DataChanged", "CheckBox1.Action True", "checked.PerformAction"}));

  SetProperty<uint8_t>(box, "Bold", 2);
  EXPECT_EQ(fields->button.textStyle.bold, 1);
  const auto* control = ControlFields(box);
  SetProperty<uint8_t>(box, "Enabled", 0x80);
  EXPECT_EQ(control->enabled, 1);
  SetProperty<uint8_t>(box, "Visible", 0xFF);
  EXPECT_EQ(control->visible, 1);
}

TEST_F(CheckBoxTest, BoundPartsAreNamedIgnoringCaseAndHoldTheirBox) {
  ObjectRef box = ObjectRef::Adopt(CreateInstance(GetCheckBoxClassDefinition()));
  auto part = [&](const char* name) {
    StringRef text = StringRef::Adopt(StringFromASCII(name));
    return ObjectRef::Adopt(checkBoxGetBoundPart(box.get(), text.get()));
  };

  ObjectRef checked = part("GETCHECKEDACTION");
  ObjectRef unchecked = part("getUncheckedAction");
  ASSERT_TRUE(checked && unchecked);
  EXPECT_TRUE(ObjectIsADefinition(checked.get(), GetCheckBoxActionClassDefinition()));
  EXPECT_EQ(ObjectFields<CheckBoxActionFields>(checked.get())->checked, 1u);
  EXPECT_EQ(ObjectFields<CheckBoxActionFields>(unchecked.get())->checked, 0u);
  EXPECT_EQ(ObjectFields<CheckBoxActionFields>(checked.get())->control, box.get());
  EXPECT_FALSE(part("getCheckedActions"));
  EXPECT_FALSE(part(""));

  // A part keeps its box alive after the last other reference goes.
  RuntimeObject* held = box.get();
  const int32_t count = held->refCount;
  box = ObjectRef();
  EXPECT_EQ(held->refCount, count - 1);
  EXPECT_GT(held->refCount, 0);
}

// A check box class that notes when one of its boxes is freed. Kept for the
// run, as the test window keeps the subclasses it derives from it.
bool boxFreed = false;
void NoteFree(RuntimeObject*) { boxFreed = true; }
ObjectDefinition* NotingCheckBoxClass() {
  static ClassBuilder* noting =
      new ClassBuilder(GetCheckBoxClassDefinition(), "NotingCheckBox", 0, nullptr, NoteFree);
  return noting->Definition();
}

// CheckBox1's Action handler closes the window; true is stored when the box
// was freed before the handler returned.
void CloseInHandler(ControlTestWindow* window, bool* freedInHandler) {
  boxFreed = false;
  window->OnAction("CheckBox1", [window, freedInHandler](RuntimeObject*) {
    WindowClose(window->Window());
    *freedInHandler = boxFreed;
  });
}

TEST_F(CheckBoxTest, AnActionHandlerThatClosesTheWindowEndsTheSequenceAndLeavesNothing) {
  const int32_t panesBefore = Pane::LiveCount();
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").definition = NotingCheckBoxClass();
  ControlTestWindow window(controls);
  ObjectRef data = ObjectRef::Retain(window.Control("Data1"));
  std::vector<HWND> windows{window.Handle()};
  for (const char* name : {"CheckBox1", "CheckBox2", "OKButton", "CancelButton"}) {
    for (HWND pane : window.PaneWindows(name)) windows.push_back(pane);
  }
  SetText(window.Control("CheckBox1"), "DataSource", "Data1");
  window.FocusOn("CheckBox2");
  bool freedInHandler = true;
  CloseInHandler(&window, &freedInHandler);

  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), (Lines{"CheckBox1.MouseDown(0,0)", "CheckBox2.LostFocus",
                              "CheckBox1.GotFocus", "data.DataChanged", "CheckBox1.Action True"}));
  EXPECT_FALSE(window.IsOpen());
  for (HWND handle : windows) EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(Pane::LiveCount(), panesBefore);
  // The box was held while the click ran, and freed once it was over.
  EXPECT_FALSE(freedInHandler);
  EXPECT_TRUE(boxFreed);
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
  for (const WindowShortcut& entry : WindowShortcuts()) {
    EXPECT_EQ(std::count(windows.begin(), windows.end(), entry.target), 0) << entry.key;
  }
}

TEST_F(CheckBoxTest, ValueFromCodeInAWindowThatItsHandlerClosesFinishesSafely) {
  const int32_t panesBefore = Pane::LiveCount();
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").definition = NotingCheckBoxClass();
  ControlTestWindow window(controls);
  bool freedInHandler = true;
  CloseInHandler(&window, &freedInHandler);

  // The window's map holds the last reference to the box.
  checkBoxSetBoolean(window.Control("CheckBox1"), true);
  EXPECT_EQ(TakeLog(), (Lines{"data.DataChanged", "CheckBox1.Action True"}));
  EXPECT_FALSE(window.IsOpen());
  EXPECT_EQ(Pane::LiveCount(), panesBefore);
  EXPECT_FALSE(freedInHandler);
  EXPECT_TRUE(boxFreed);
}

TEST_F(CheckBoxTest, BindsOnceByDataSourceNameAndOnlyToADataControl) {
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").dataSource = "Data1";
  DescriptionNamed(controls, "CheckBox1").dataField = "Done";
  DescriptionNamed(controls, "Data1").prepare = [](RuntimeObject* data) {
    DataStandInSetField(data, "Done", "TRUE");
  };
  ControlTestWindow window(controls);
  RuntimeObject* box = window.Control("CheckBox1");
  ObjectRef data = ObjectRef::Retain(window.Control("Data1"));
  const std::vector<BoundControl> once{{box, kBoundCheckBox}};

  EXPECT_TRUE(IsChecked(window.Native("CheckBox1")));
  EXPECT_TRUE(ValueOf(box));
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);

  SetText(box, "DataField", "Done");
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);
  DataStandInSetField(data.get(), "Done", "yes");
  DataControlRefreshBoundControls(data.get());
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
  EXPECT_FALSE(ValueOf(box));

  for (const char* name : {"", "Nowhere", "OKButton"}) {
    SetText(box, "DataSource", name);
    EXPECT_TRUE(DataStandInBoundControls(data.get()).empty()) << name;
    EXPECT_EQ(RuntimeTakePendingException(), nullptr) << name;
  }
  SetText(box, "DataSource", "data1");
  EXPECT_EQ(DataStandInBoundControls(data.get()), once);
  StringRef source = StringRef::Adopt(CheckBoxDataSourceGetter(box, 0));
  EXPECT_EQ(StringToStdUTF8(source.get()), "data1");

  window.Close();
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
}

// The first box a refresh pushes into closes the window: the DataControl and
// the other bound box go with it, and the refresh must not touch either.
TEST_F(CheckBoxTest, ARefreshWhosePushClosesTheWindowTouchesNothingFreed) {
  const int32_t panesBefore = Pane::LiveCount();
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  for (const char* name : {"CheckBox1", "CheckBox2"}) {
    DescriptionNamed(controls, name).dataSource = "Data1";
    DescriptionNamed(controls, name).dataField = "Done";
  }
  DescriptionNamed(controls, "Data1").prepare = [](RuntimeObject* data) {
    DataStandInSetField(data, "Done", "true");
  };
  ControlTestWindow window(controls);
  ObjectRef box = ObjectRef::Retain(window.Control("CheckBox2"));
  window.CloseOnAction("CheckBox2");

  // Binds again and refreshes: CheckBox2 is pushed first (newest first).
  SetText(box.get(), "DataField", "Done");
  EXPECT_EQ(TakeLog(), Lines{"CheckBox2.Action True"});
  EXPECT_FALSE(window.IsOpen());
  EXPECT_EQ(Pane::LiveCount(), panesBefore);
}

void CloseTheBoxesWindow(RuntimeObject* box) { WindowClose(ControlFields(box)->window); }

// The box's first value comes from its DataControl while the window's panes
// are made; its Action closes the window, which frees every control.
TEST_F(CheckBoxTest, AWindowClosedWhileItsPanesAreMadeTouchesNoFreedControl) {
  static ClassBuilder closing(GetCheckBoxClassDefinition(), "ClosingCheckBox");
  closing.Handle("Action", &CloseTheBoxesWindow);
  const int32_t panesBefore = Pane::LiveCount();
  ObjectRef window = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFieldsOf(window.get())->width = 200;
  WindowFieldsOf(window.get())->height = 100;
  {
    ObjectRef data = NewDataControlStandIn("Data1");
    DataStandInSetField(data.get(), "Done", "true");
    ObjectRef box = ObjectRef::Adopt(closing.NewInstance());
    ControlFields(box.get())->bounds = MacRect{10, 10, 30, 110};
    SetText(box.get(), "DataSource", "Data1");
    SetText(box.get(), "DataField", "Done");
    WindowAddControl(window.get(), data.get());
    WindowAddControl(window.get(), box.get());
  }
  EXPECT_FALSE(WindowOpen(window.get()));
  EXPECT_FALSE(WindowIsOpen(window.get()));
  EXPECT_EQ(Pane::LiveCount(), panesBefore);
}

TEST_F(CheckBoxTest, TheCaptionsMnemonicIsTheNativeWindowsOneShortcut) {
  ControlTestWindow window(StandardControlDescriptions());
  HWND box = window.Native("CheckBox1");
  EXPECT_EQ(ShortcutTarget("Alt+C"), box);
  EXPECT_EQ(ShortcutTarget("Alt+O"), window.Native("OKButton"));

  SetText(window.Control("CheckBox1"), "Caption", "&Done");
  EXPECT_EQ(ShortcutTarget("Alt+D"), box);
  EXPECT_EQ(ShortcutTarget("Alt+C"), nullptr);
  TakeLog();
  PostKey(GetFocus(), 'D', true);
  RunPendingTurns();
  EXPECT_TRUE(IsChecked(box));
  StringRef caption = StringRef::Adopt(checkBoxTitleGetter(window.Control("CheckBox1"), 0));
  EXPECT_EQ(StringToStdUTF8(caption.get()), "&Done");

  SetText(window.Control("CheckBox1"), "Caption", "A&&B");
  for (const WindowShortcut& entry : WindowShortcuts()) EXPECT_NE(entry.target, box) << entry.key;
  wchar_t text[16] = {};
  GetWindowTextW(box, text, 16);
  EXPECT_STREQ(text, L"A&&B");
}

TEST_F(CheckBoxTest, TheBoxKeepsItsFontNameWhileItsNativeFontHasTheMappedFace) {
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").prepare = [](RuntimeObject* box) {
    SetText(box, "TextFont", "Geneva");
    SetProperty<int32_t>(box, "TextSize", 14);
    SetProperty<bool>(box, "Bold", true);
  };
  ControlTestWindow window(controls);
  RuntimeObject* box = window.Control("CheckBox1");
  auto nativeFont = [&] {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(window.Native("CheckBox1"), WM_GETFONT, 0, 0));
    EXPECT_EQ(GetObjectW(handle, sizeof font, &font), int(sizeof font));
    return font;
  };

  LOGFONTW font = nativeFont();
  EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  StringRef name = StringRef::Adopt(GetProperty<StringRecord*>(box, "TextFont"));
  EXPECT_EQ(StringToStdUTF8(name.get()), "Geneva");

  SetText(box, "TextFont", "Times");
  SetProperty<bool>(box, "Bold", false);
  SetProperty<bool>(box, "Italic", true);
  font = nativeFont();
  EXPECT_STREQ(font.lfFaceName, L"Times New Roman");
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_TRUE(font.lfItalic);
  EXPECT_EQ(GetProperty<int32_t>(box, "TextSize"), 14);
}

TEST_F(CheckBoxTest, ABoxCreatedHiddenOrDisabledIsSoAtOnceAndADisabledOneStaysQuiet) {
  std::vector<ControlDescription> controls = StandardControlDescriptions();
  DescriptionNamed(controls, "CheckBox1").enabled = false;
  DescriptionNamed(controls, "CheckBox2").visible = false;
  ControlTestWindow window(controls);

  EXPECT_FALSE(IsWindowEnabled(window.Native("CheckBox1")));
  EXPECT_TRUE(IsWindowVisible(window.Native("CheckBox1")));
  EXPECT_FALSE(IsWindowVisible(window.Native("CheckBox2")));
  EXPECT_TRUE(IsWindowEnabled(window.Native("CheckBox2")));

  window.Click("CheckBox1");
  EXPECT_EQ(TakeLog(), Lines{});
  EXPECT_FALSE(IsChecked(window.Native("CheckBox1")));
}

// The client area as a BMP next to the test executable, for inspection.
std::string ScreenshotPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + "checkbox_window.bmp";
}

bool HasBlack(const WindowCapture& capture, const RECT& area) {
  const std::vector<uint32_t> colours = capture.ColoursIn(area);
  return std::find(colours.begin(), colours.end(), 0u) != colours.end();
}

TEST_F(CheckBoxTest, AScreenshotShowsTheCheckMarkAndBlackCaptionText) {
  ControlTestWindow window(StandardControlDescriptions());
  window.FocusOn("CheckBox2");
  SetProperty<bool>(window.Control("CheckBox1"), "Value", true);
  RunPendingTurns();

  // CheckBox1 lies at (10, 10), 120 x 20: its glyph's white inside and the
  // caption to the right of the glyph.
  const RECT glyphInside{12, 15, 22, 24};
  const RECT captionArea{26, 10, 130, 30};
  const WindowCapture checked = WindowCapture::OfClient(window.Handle());
  const std::string path = ScreenshotPath();
  ASSERT_TRUE(checked.WriteBmp(path));
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 26u);
  EXPECT_EQ(std::string(bytes.data(), 2), "BM");
  RECT client{};
  GetClientRect(window.Handle(), &client);
  int32_t width = 0, height = 0;
  std::copy_n(bytes.data() + 18, 4, reinterpret_cast<char*>(&width));
  std::copy_n(bytes.data() + 22, 4, reinterpret_cast<char*>(&height));
  EXPECT_EQ(width, client.right);
  EXPECT_EQ(std::abs(height), client.bottom);
  EXPECT_TRUE(HasBlack(checked, glyphInside));
  // Black text on the window's backdrop, and nothing else.
  const uint32_t backdrop = checked.Pixel(140, 5);
  std::vector<uint32_t> caption = checked.ColoursIn(captionArea);
  std::sort(caption.begin(), caption.end());
  EXPECT_EQ(caption, (std::vector<uint32_t>{0u, backdrop}));

  SetProperty<bool>(window.Control("CheckBox1"), "Value", false);
  RunPendingTurns();
  EXPECT_FALSE(HasBlack(WindowCapture::OfClient(window.Handle()), glyphInside));
}

// ---- The sink and its panes ----

class CountingSink : public ControlEventSink {
 public:
  using ControlEventSink::ControlEventSink;
  void Action(SubPane*) override { ++actions; }
  int actions = 0;
};

TEST_F(CheckBoxTest, ADeletedSinkLeavesBothPanesAndAPaneWithoutOneRaisesNothing) {
  ObjectRef window = OpenTestWindow();
  auto* sink = new CountingSink(nullptr);
  ScopedFontDescriptor font;
  StringRef caption = StringRef::Adopt(StringFromASCII("Box"));
  CheckBoxPaneWin32* host = CreateCheckBoxPane(sink, font.get(), WindowPaneOf(window.get()), 0,
                                               Rect(10, 10, 100, 20), caption.get(), 0);
  auto* native = static_cast<NativeControlPane*>(host->Native());
  SendMessageW(host->GetNativeHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(sink->actions, 1);
  EXPECT_EQ(native->Sink(), sink);
  EXPECT_EQ(host->Sink(), sink);

  delete sink;
  EXPECT_EQ(native->Sink(), nullptr);
  EXPECT_EQ(host->Sink(), nullptr);
  // The box still toggles; there is no one to tell.
  SendMessageW(host->GetNativeHandle(), BM_CLICK, 0, 0);
  EXPECT_EQ(host->GetValue(), 0);
  WindowClose(window.get());
}

}  // namespace
