// The window object: opening with CreatePane parents first, the control map,
// closing, the window list and dialog parent, modal windows, MDI children,
// window and control properties, and the text-style accessors.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/RuntimeExceptionFoundation.h"
#include "core/StringMap.h"
#include "core/string.h"
#include "host/RunTimer.h"
#include "host/ResourceManagerCommon.h"
#include "host/application.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"
#include "ui/window.h"

namespace {

using WindowTest = WindowSystemTest;

PaneFactory Named(const std::string& name) {
  return [name](const PaneSite& site) {
    Log("Create " + name);
    return new RecordingPane(name, site);
  };
}

std::vector<std::string> events;
void OnOpen(RuntimeObject*) { events.push_back("Open"); }
void OnClose(RuntimeObject* window) {
  events.push_back("Close");
  WindowClose(window);  // closing again from Close does nothing
}
void OnResized(RuntimeObject*) { events.push_back("Resized"); }

TEST_F(WindowTest, OpeningMakesPanesParentsFirstThenFiresOpenAndShowsNextTurn) {
  events.clear();
  ClassBuilder windowClass(GetWindowClassDefinition(), "OpenWindow");
  windowClass.Handle("Open", &OnOpen);
  ObjectRef window = ObjectRef::Adopt(windowClass.NewInstance());
  ObjectRef child = PlaceControl(window.get(), "Child", Rect(30, 30, 20, 20), Named("Child"));
  ObjectRef group = PlaceControl(window.get(), "Group", Rect(20, 20, 100, 100), Named("Group"));
  ObjectRef loose = PlaceControl(window.get(), "Loose", Rect(150, 20, 20, 20), Named("Loose"));
  ControlFields(child.get())->parentControl = group.get();
  ControlFields(loose.get())->enabled = 0;
  ControlFields(loose.get())->visible = 0;

  ASSERT_TRUE(WindowOpen(window.get()));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"Create Group", "Create Loose", "Create Child"}));
  EXPECT_EQ(events, std::vector<std::string>{"Open"});
  HWND top = WindowHandle(window.get());
  EXPECT_FALSE(IsWindowVisible(top));
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_TRUE(IsWindowVisible(top));

  RuntimeControl* fields = ControlFields(child.get());
  EXPECT_EQ(fields->window, window.get());
  EXPECT_EQ(fields->parentPane, WindowPaneOf(window.get()));
  EXPECT_EQ(GetParent(NativeOf(child.get())), NativeOf(group.get()));
  EXPECT_FALSE(PaneOf(loose.get())->IsEnabled());
  EXPECT_FALSE(IsWindowVisible(NativeOf(loose.get())));
  WindowClose(window.get());  // before its class goes
}

TEST_F(WindowTest, AControlWithoutACreatePaneImplementationGetsNoPane) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef plain = ObjectRef::Adopt(CreateInstance(GetRectControlClassDefinition()));
  StringRef name = StringRef::Adopt(StringFromASCII("Plain"));
  ControlSetName(plain.get(), name.get());
  WindowAddControl(window.get(), plain.get());
  EXPECT_EQ(PaneOf(plain.get()), nullptr);
  EXPECT_EQ(ControlFields(plain.get())->window, window.get());
  // A factory that makes nothing leaves the control without a pane too.
  ObjectRef none = PlaceControl(window.get(), "None", Rect(0, 0, 5, 5), [](const PaneSite&) { return nullptr; });
  EXPECT_EQ(PaneOf(none.get()), nullptr);
}

TEST_F(WindowTest, TheControlMapKeepsUniqueKeysInControlOrder) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef first = PlaceControl(window.get(), "Field", Rect(0, 0, 5, 5), Named("F"));
  ObjectRef arrayMember = ObjectRef::Adopt(CreateInstance(GetTestControlClassDefinition()));
  StringRef name = StringRef::Adopt(StringFromASCII("Field"));
  ControlSetName(arrayMember.get(), name.get());
  ControlFields(arrayMember.get())->index = 2;
  WindowAddControl(window.get(), arrayMember.get());
  ObjectRef duplicate = PlaceControl(window.get(), "field", Rect(0, 0, 5, 5), Named("D"));
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts().size(), 1u);
  WindowAddControl(window.get(), first.get());  // the same control again: nothing

  EXPECT_EQ(WindowControls(window.get()), (std::vector<RuntimeObject*>{first.get(), arrayMember.get()}));
  EXPECT_EQ(WindowFindControl(window.get(), "Field(2)"), arrayMember.get());
  std::vector<std::string> keys;
  auto iterator = WindowControlMap(window.get())->NewIterator();
  void* value = nullptr;
  std::string key;
  while (iterator->NextValue(&value, &key)) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Field", "Field(2)"}));
}

std::vector<RuntimeObject*> closedControls;
void RecordClosingControl(RuntimeObject* control) { closedControls.push_back(control); }

TEST_F(WindowTest, ClosingTearsDownInOrderAndReleasesEverything) {
  const uint32_t liveObjects = RuntimeLiveObjectCount();
  events.clear();
  closedControls.clear();
  ClassBuilder windowClass(GetWindowClassDefinition(), "ClosingWindow");
  windowClass.Handle("Close", &OnClose);
  {
    ObjectRef window = OpenTestWindow(&windowClass);
    ObjectRef a = PlaceControl(window.get(), "A", Rect(10, 10, 20, 20), Named("A"));
    ObjectRef b = PlaceControl(window.get(), "B", Rect(40, 10, 20, 20), Named("B"));
    HWND top = WindowHandle(window.get());
    ControlWindowCloseHook previous = SetControlWindowCloseHook(RecordClosingControl);
    EXPECT_EQ(OpenWindowCount(), 1);
    SendMessageW(top, WM_CLOSE, 0, 0);
    SetControlWindowCloseHook(previous);

    EXPECT_EQ(events, std::vector<std::string>{"Close"});
    EXPECT_EQ(closedControls, (std::vector<RuntimeObject*>{a.get(), b.get()}));
    EXPECT_EQ(RecordingPane::TakeDestroyed(), (std::vector<std::string>{"B", "A"}));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_EQ(OpenWindowCount(), 0);
    for (RuntimeObject* control : {a.get(), b.get()}) {
      EXPECT_EQ(ControlFields(control)->pane, nullptr);
      EXPECT_EQ(ControlFields(control)->parentPane, nullptr);
      EXPECT_EQ(ControlFields(control)->window, nullptr);
    }
    EXPECT_FALSE(WindowOpen(window.get()));  // a closed window stays closed
  }
  EXPECT_EQ(RuntimeLiveObjectCount(), liveObjects);
}

TEST_F(WindowTest, ANonVisualControlIsHeldWithoutAPaneAndClosedWithTheWindow) {
  static EventImplementation noPane{nullptr, "CreatePane", reinterpret_cast<void*>(+[](RuntimeObject*) {})};
  ClassBuilder nonVisual(nullptr, "NonVisual");
  nonVisual.Definition()->eventImplementations = &noPane;
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef control = ObjectRef::Adopt(nonVisual.NewInstance());
  WindowAddControl(window.get(), control.get());
  WindowAddControl(window.get(), control.get());
  EXPECT_EQ(control->refCount, 2);
  EXPECT_TRUE(WindowControls(window.get()).empty());
  closedControls.clear();
  ControlWindowCloseHook previous = SetControlWindowCloseHook(RecordClosingControl);
  WindowClose(window.get());
  SetControlWindowCloseHook(previous);
  EXPECT_EQ(closedControls, std::vector<RuntimeObject*>{control.get()});
  window = ObjectRef();
  EXPECT_EQ(control->refCount, 1);
}

TEST_F(WindowTest, ActivationMovesAWindowToTheFrontAndItIsTheDialogParent) {
  ObjectRef a = OpenTestWindow();
  ObjectRef b = OpenTestWindow();
  ASSERT_TRUE(MakeForeground(WindowHandle(b.get())));
  EXPECT_EQ(FrontmostWindow(), b.get());
  ASSERT_TRUE(MakeForeground(WindowHandle(a.get())));
  EXPECT_EQ(FrontmostWindow(), a.get());
  EXPECT_EQ(FrontmostWindowHandle(), WindowHandle(a.get()));
  EXPECT_EQ(GetDialogParentWindow(), WindowHandle(a.get()));

  ObjectRef modal = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFieldsOf(modal.get())->frame = kFrameModal;
  WindowShow(modal.get());
  EXPECT_EQ(GetWindow(WindowHandle(modal.get()), GW_OWNER), WindowHandle(a.get()));
  EXPECT_EQ(GetDialogParentWindow(), WindowHandle(modal.get()));
  WindowClose(modal.get());
  EXPECT_EQ(GetDialogParentWindow(), WindowHandle(a.get()));
}

TEST_F(WindowTest, ActivationRefocusesTheWindowsFocusedControl) {
  ObjectRef a = OpenTestWindow();
  RecordingPane* field = nullptr;
  ObjectRef control = PlaceControl(a.get(), "Field", Rect(10, 10, 50, 20), [&](const PaneSite& site) {
    field = new RecordingPane("Field", site);
    field->acceptsFocus = true;
    return field;
  });
  SetFocusPane(field);
  ObjectRef b = OpenTestWindow();
  ASSERT_TRUE(MakeForeground(WindowHandle(b.get())));
  EXPECT_EQ(GetFocusPane(), nullptr);
  ASSERT_TRUE(MakeForeground(WindowHandle(a.get())));
  EXPECT_EQ(GetFocusPane(), field);
  EXPECT_EQ(GetFocus(), field->NativeWindow());
}

class CloseLater : public PeriodicTask {
 public:
  CloseLater(RuntimeObject* window, HWND other) : PeriodicTask(2), window_(window), other_(other) {}
  void Run() override {
    otherWasDisabled = !IsWindowEnabled(other_);
    WindowClose(window_);
  }
  bool otherWasDisabled = false;

 private:
  RuntimeObject* window_;
  HWND other_;
};

TEST_F(WindowTest, ShowModalRunsTurnsWithTheOtherWindowsDisabledUntilItCloses) {
  ObjectRef document = OpenTestWindow();
  ObjectRef dialog = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  CloseLater closer(dialog.get(), WindowHandle(document.get()));
  windowShowModal(dialog.get());
  EXPECT_TRUE(closer.otherWasDisabled);
  EXPECT_FALSE(WindowIsOpen(dialog.get()));
  EXPECT_TRUE(IsWindowEnabled(WindowHandle(document.get())));
}

TEST_F(WindowTest, TheLoopRunsWhileAWindowIsOpenAndTheExitStepsCloseTheRest) {
  ObjectRef first = OpenTestWindow();
  CloseLater closer(first.get(), WindowHandle(first.get()));
  RuntimeRun();  // until the task closes the last window
  EXPECT_FALSE(WindowIsOpen(first.get()));
  RuntimeReopenAfterExitSteps();

  ObjectRef second = OpenTestWindow();
  RunExitSteps();
  EXPECT_FALSE(WindowIsOpen(second.get()));
  EXPECT_EQ(OpenWindowCount(), 0);
}

std::vector<uint8_t> ImageWithCaption(const std::string& caption) {
  std::vector<uint8_t> image = {'K', 'V', 'I', 'M', 1, 0, 0, 0, 24, 0, 0, 0};
  auto put32 = [&](uint32_t value) {
    for (int i = 0; i < 4; ++i) image.push_back(uint8_t(value >> (8 * i)));
  };
  put32(uint32_t(4 + caption.size()));  // options length
  put32(0);                             // no resources
  put32(uint32_t(24 + 4 + caption.size()));
  image.insert(image.end(), {0, 0, uint8_t(caption.size()), 0});
  image.insert(image.end(), caption.begin(), caption.end());
  return image;
}

TEST_F(WindowTest, InMDIModeDocumentsAreChildrenOfTheClientAndTheFrameIsTheDialogParent) {
  std::vector<uint8_t> image = ImageWithCaption("Frame");
  std::string error;
  ASSERT_TRUE(ResourceManager::LoadImage(image.data(), image.size(), &error)) << error;
  RuntimeInit();
  ASSERT_TRUE(IsMDIMode());
  HWND frame = GetMDIFrameWindow();
  EXPECT_EQ(WindowClassName(frame), "KVWindow");
  EXPECT_NE(GetMenu(frame), nullptr) << "in MDI mode the frame shows the menu bar";
  {
    ObjectRef document = OpenTestWindow();
    HWND handle = WindowHandle(document.get());
    EXPECT_EQ(GetParent(handle), GetMDIClientWindow());
    EXPECT_TRUE(WindowPaneOf(document.get())->IsMDIChild());
    EXPECT_TRUE(WindowPaneOf(document.get())->IsActive()) << "the first document is shown active";
    EXPECT_EQ(GetDialogParentWindow(), frame);
    RecordingPane* pane = nullptr;
    ObjectRef control = PlaceControl(document.get(), "P", Rect(10, 10, 40, 20), [&](const PaneSite& site) { return pane = new RecordingPane("P", site); });
    RunPendingTurns();
    TakeLog();
    PostClick(pane->NativeWindow(), 3, 4);
    RunPendingTurns();
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"P.MouseDown 13,14"});
    WindowClose(document.get());
    EXPECT_FALSE(IsWindow(handle));
  }
  std::vector<uint8_t> empty = ImageWithCaption("");
  ResourceManager::LoadImage(empty.data(), empty.size(), &error);
}

TEST_F(WindowTest, PropertiesReadAndMoveTheOpenWindow) {
  events.clear();
  ClassBuilder windowClass(GetWindowClassDefinition(), "SizedWindow");
  windowClass.Handle("Resized", &OnResized);
  ObjectRef window = OpenTestWindow(&windowClass);
  HWND top = WindowHandle(window.get());
  StringRef title = StringRef::Adopt(StringFromUTF8("Fen\xC3\xAAtre"));
  windowTitleSetter(window.get(), 0, title.get());
  StringRef read = StringRef::Adopt(windowTitleGetter(window.get(), 0));
  EXPECT_EQ(StringToStdUTF8(read.get()), "Fen\xC3\xAAtre");

  windowBoundsSetter(window.get(), 2, 320);
  windowBoundsSetter(window.get(), 3, -5);
  RECT client{};
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(windowBoundsGetter(window.get(), 2), 320);
  EXPECT_EQ(windowBoundsGetter(window.get(), 3), client.bottom);
  EXPECT_EQ(WindowPaneOf(window.get())->Width(), 320);
  EXPECT_FALSE(events.empty());
  windowBoundsSetter(window.get(), 0, 123);
  EXPECT_EQ(windowBoundsGetter(window.get(), 0), 123);
  EXPECT_EQ(windowHandleGetter(window.get(), 0), int32_t(reinterpret_cast<intptr_t>(top)));

  windowVisibleSetter(window.get(), 0, false);
  EXPECT_FALSE(IsWindowVisible(top));
  EXPECT_FALSE(WindowPaneOf(window.get())->IsVisible());
  windowVisibleSetter(window.get(), 0, true);
  EXPECT_TRUE(IsWindowVisible(top));

  windowClose(nullptr);
  EXPECT_TRUE(RuntimeExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  windowClose(window.get());  // before its class goes
}

TEST_F(WindowTest, RectControlSettersMoveEnableAndShowThePane) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(10, 20, 40, 30), [&](const PaneSite& site) { return pane = new RecordingPane("P", site); });
  controlLeftSetter(control.get(), 0, 50);
  controlWidthSetter(control.get(), 0, -7);
  controlHeightSetter(control.get(), 0, 100000);
  EXPECT_EQ(controlLeftGetter(control.get(), 0), 50);
  EXPECT_EQ(controlWidthGetter(control.get(), 0), 0);
  EXPECT_EQ(ControlFields(control.get())->bounds.bottom, INT16_MAX);
  EXPECT_EQ(pane->Left(), 50);
  RECT placed{};
  GetWindowRect(pane->NativeWindow(), &placed);
  MapWindowPoints(nullptr, WindowHandle(window.get()), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 50);
  EXPECT_EQ(placed.top, 20);

  controlVisibleSetter(control.get(), 0, false);
  EXPECT_FALSE(pane->IsVisible());
  controlEnabledSetter(control.get(), 0, false);
  EXPECT_FALSE(pane->IsEnabled());
  EXPECT_EQ(ControlFields(control.get())->enabled, 0);

  // Without a pane a setter only stores.
  ObjectRef loose = ObjectRef::Adopt(CreateInstance(GetRectControlClassDefinition()));
  controlEnabledSetter(loose.get(), 0, false);
  controlTopSetter(loose.get(), 0, 7);
  EXPECT_EQ(ControlFields(loose.get())->enabled, 0);
  EXPECT_EQ(controlTopGetter(loose.get(), 0), 7);
  PropertyAccess access{};
  ASSERT_TRUE(FindPropertyAccess(loose.get(), "Enabled", &access));
  EXPECT_EQ(access.setter, reinterpret_cast<void*>(&controlEnabledSetter));
}

// A control class with a text style behind the control fields.
struct StyledFields {
  RuntimeControl control;
  StringRecord* caption;
  TextStyle style;
};

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(styledTest, StyledFields, style)

namespace {

class FontRecordingPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  void SetTextFont(const FontDescriptor& font) override {
    Log("Font " + StringToStdUTF8(font.name) + " " + std::to_string(font.size) + " " +
        std::to_string(FontDescriptorStyleBits(&font)));
  }
};

TEST_F(WindowTest, TheGeneratedTextStyleAccessorsStoreAndReapplyTheFont) {
  static PropertyRecord properties[] = {RUNTIME_TEXT_STYLE_PROPERTIES(styledTest)};
  EXPECT_STREQ(properties[0].name, "TextFont");
  EXPECT_STREQ(properties[0].getterName, "styledTestTextFontGetter");
  EXPECT_STREQ(properties[4].setterName, "styledTestUnderlineSetter");
  ClassBuilder styled(GetRectControlClassDefinition(), "StyledControl",
                      sizeof(StyledFields) - sizeof(RuntimeControl));
  ASSERT_EQ(styled.ExtraOffset(), sizeof(RuntimeControl));
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef control = PlaceControl(window.get(), "S", Rect(0, 0, 10, 10),
                                   [](const PaneSite& site) { return new FontRecordingPane("S", site); });
  ObjectRef plain = ObjectRef::Adopt(CreateInstance(GetTestControlClassDefinition()));
  TakeLog();
  // The test control's instance has no style: the accessor refuses it.
  styledTestBoldSetter(plain.get(), 0, true);
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts().size(), 1u);

  RuntimeObject* object = styled.NewInstance();
  auto* fields = reinterpret_cast<StyledFields*>(object);
  fields->control.pane = PaneOf(control.get());
  StringRef face = StringRef::Adopt(StringFromASCII("Geneva"));
  styledTestTextFontSetter(object, 0, face.get());
  styledTestTextSizeSetter(object, 0, 70000);
  styledTestItalicSetter(object, 0, true);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"Font Geneva 0 0", "Font Geneva 32767 0",
                                                 "Font Geneva 32767 2"}));
  StringRef readFace = StringRef::Adopt(styledTestTextFontGetter(object, 0));
  EXPECT_EQ(StringToStdUTF8(readFace.get()), "Geneva");
  EXPECT_TRUE(styledTestItalicGetter(object, 0));
  EXPECT_FALSE(styledTestBoldGetter(object, 0));
  fields->control.pane = nullptr;
  RuntimeUnlockString(fields->style.font);
  fields->style.font = nullptr;
  RuntimeUnlockObject(object);
}

}  // namespace
