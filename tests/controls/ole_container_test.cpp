// The OLE container hosting the system's browser control (and a media
// control without IDispatch or verbs): creation by either identifier, events
// with their arguments, by-reference write-back, focus and size, the sites'
// answers, and every reference given back when the container is emptied or
// its window closes, from an event handler too.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "controls/CheckBox.h"
#include "controls/OLEContainer.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/Variant.h"
#include "core/string.h"
#include "system/OLEObject.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/TestDispatch.h"
#include "testsupport/UiTestSupport.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;
constexpr char kBrowser[] = "Shell.Explorer.2";
constexpr DISPID kBeforeNavigate2 = 250;

// Runs after an event's line is logged, with its parameters array.
std::function<void(RuntimeArray*)> afterEvent;

std::string NameOf(RuntimeObject* control) {
  return StringToStdUTF8(ControlFields(control)->name);
}

std::string Rendered(RuntimeObject* element) {
  if (VarType(element) == kVariantNil) return "nil";
  if (VarType(element) == kVariantObject) return "object";
  StringRef text = StringRef::Adopt(variantToString(element));
  return StringToStdUTF8(text.get());
}

// "OLE1.EventTriggered <name> <element 0> ... <element UBound>".
void LogEvent(RuntimeObject* control, StringRecord* name, RuntimeArray* parameters) {
  std::string line = NameOf(control) + ".EventTriggered " + StringToStdUTF8(name);
  for (int32_t i = 0; i <= RuntimeUBound(parameters); ++i) {
    ObjectRef element = ObjectRef::Adopt(RuntimeDirectReadObjectArray(parameters, i));
    line += " " + Rendered(element.get());
  }
  Log(line);
  if (afterEvent) afterEvent(parameters);
}

void LogShowObject(RuntimeObject* control) { Log(NameOf(control) + ".ShowObject"); }

ObjectDefinition* LoggedContainerClass() {
  static ClassBuilder builder(GetOLEContainerClassDefinition(), "LoggedOLEContainer");
  static bool handled = false;
  if (!handled) {
    builder.Handle("EventTriggered", &LogEvent).Handle("ShowObject", &LogShowObject);
    handled = true;
  }
  return builder.Definition();
}

void SetProgramID(RuntimeObject* control, const std::string& identifier) {
  StringRef text = StringRef::Adopt(StringFromUTF8(identifier));
  SetProperty<StringRecord*>(control, "ProgramID", text.get());
}

// "OLE1" (10, 10, 200 x 100) holding the object, and "CheckBox1".
std::vector<ControlDescription> Controls(const std::string& programID) {
  ControlDescription ole = Described(LoggedContainerClass(), "OLE1", Rect(10, 10, 200, 100));
  ole.plain = true;
  ole.prepare = [programID](RuntimeObject* control) { SetProgramID(control, programID); };
  return {ole, Described(GetCheckBoxClassDefinition(), "CheckBox1", Rect(10, 150, 120, 20))};
}

ObjectRef Content(const ControlTestWindow& window) {
  return ObjectRef::Adopt(GetProperty<RuntimeObject*>(window.Control("OLE1"), "Content"));
}

IDispatch* DispatchOf(RuntimeObject* ole) { return ObjectFields<OLEObjectFields>(ole)->dispatch; }

// The interface of the object (a new reference); nil when it has none.
template <class Interface>
Interface* Query(IUnknown* object, REFIID iid) {
  void* found = nullptr;
  return object && SUCCEEDED(object->QueryInterface(iid, &found)) ? static_cast<Interface*>(found)
                                                                  : nullptr;
}

IUnknown* Identity(IUnknown* object) {
  IUnknown* identity = Query<IUnknown>(object, IID_IUnknown);
  if (identity) identity->Release();  // the object keeps it
  return identity;
}

// The object's window inside the container's pane, in the pane's coordinates.
RECT EmbeddedRect(const ControlTestWindow& window) {
  HWND pane = window.Pane("OLE1")->NativeWindow();
  RECT rect{};
  HWND embedded = GetWindow(pane, GW_CHILD);
  if (!embedded) return rect;
  GetWindowRect(embedded, &rect);
  MapWindowPoints(nullptr, pane, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) { return ++*reinterpret_cast<int*>(count), TRUE; }

int ThreadWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

std::string Text(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

HRESULT Fire(IDispatch* sink, DISPID event, DISPPARAMS* parameters) {
  return sink->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, parameters, nullptr, nullptr, nullptr);
}

class OLEContainerTest : public WindowSystemTest {
 protected:
  void TearDown() override {
    afterEvent = nullptr;
    WindowSystemTest::TearDown();
  }
  const int32_t sitesBefore_ = OLESiteObject::LiveCount();
};

TEST_F(OLEContainerTest, EitherIdentifierMakesTheObjectAndABadOneLeavesTheContainerEmpty) {
  ControlTestWindow window(Controls(kBrowser));
  EXPECT_EQ(window.OpeningLog(), Lines{"OLE1.ShowObject"});
  EXPECT_EQ(Text(EmbeddedRect(window)), "0,0,200,100");
  ObjectRef content = Content(window);
  // Content is the embedded object itself (its sites are checked below).
  ASSERT_TRUE(content && ObjectIsADefinition(content.get(), GetOLEObjectClassDefinition()));
  auto* pane = static_cast<OLEContainerPane*>(window.Pane("OLE1"));
  ASSERT_NE(pane->Object(), nullptr);
  EXPECT_EQ(Identity(DispatchOf(content.get())), Identity(pane->Object()));
  CLSID browser{};
  ASSERT_EQ(CLSIDFromProgID(L"Shell.Explorer.2", &browser), S_OK);
  wchar_t braced[40];
  StringFromGUID2(browser, braced, 40);
  RuntimeObject* ole = window.Control("OLE1");
  const std::string classID(braced, braced + wcslen(braced));
  for (const std::string& identifier : {classID, std::string("No.Such.Thing"),
                                        std::string("{bad"), std::string()}) {
    const bool good = identifier == classID;
    SetProgramID(ole, identifier);
    EXPECT_EQ(CallMethod<bool>(ole, "Create"), good) << identifier;
    EXPECT_EQ(TakeLog(), good ? Lines{"OLE1.ShowObject"} : Lines{}) << identifier;
    EXPECT_EQ(Content(window).get() != nullptr, good) << identifier;
    EXPECT_EQ(OLESiteObject::LiveCount(), sitesBefore_ + (good ? 3 : 0)) << identifier;
    EXPECT_FALSE(RuntimeExceptionPending()) << identifier;
  }
}

TEST_F(OLEContainerTest, AnEventArrivesWithItsArgumentsAfterElementZero) {
  ControlTestWindow window(Controls(kBrowser));
  ObjectRef content = Content(window);
  ObjectRef hidden = ObjectRef::Adopt(booleanToVariant(false));
  StringRef visible = StringRef::Adopt(StringFromUTF8("Visible"));
  OLEObjectPropertySetter(content.get(), visible.get(), hidden.get());
  EXPECT_EQ(TakeLog(), Lines{"OLE1.EventTriggered OnVisible nil False"});
}

TEST_F(OLEContainerTest, ByReferenceArgumentsAreWrittenBackAndTheOldValuesFreed) {
  ControlTestWindow window(Controls(kBrowser));
  IDispatch* sink = OLEContainerEventSink(window.Control("OLE1"));
  ASSERT_NE(sink, nullptr);
  TestDispatch before;
  TestDispatch after;
  afterEvent = [&after](RuntimeArray* parameters) {
    ObjectRef replacement = ObjectRef::Adopt(CreateInstance(GetOLEObjectClassDefinition()));
    after.AddRef();
    ObjectFields<OLEObjectFields>(replacement.get())->dispatch = &after;
    StringRef x = StringRef::Adopt(StringFromUTF8("x"));
    const ObjectRef values[] = {ObjectRef::Adopt(intToVariant(42)),
                                ObjectRef::Adopt(stringToVariant(x.get())),
                                ObjectRef::Adopt(objectToVariant(replacement.get())),
                                ObjectRef::Adopt(booleanToVariant(true))};
    for (int32_t i = 0; i < 4; ++i) ObjectArraySetElement(parameters, i + 1, values[i].get());
  };
  LONG number = 7;
  BSTR text = SysAllocString(L"old");
  IDispatch* object = &before;
  before.AddRef();
  VARIANT_BOOL flag = VARIANT_FALSE;
  VARIANT arguments[4];  // the last argument first
  arguments[3].vt = VT_I4 | VT_BYREF, arguments[3].plVal = &number;
  arguments[2].vt = VT_BSTR | VT_BYREF, arguments[2].pbstrVal = &text;
  arguments[1].vt = VT_DISPATCH | VT_BYREF, arguments[1].ppdispVal = &object;
  arguments[0].vt = VT_BOOL | VT_BYREF, arguments[0].pboolVal = &flag;
  DISPPARAMS parameters{arguments, nullptr, 4, 0};
  const ULONG beforeReferences = before.References();
  EXPECT_EQ(Fire(sink, kBeforeNavigate2, &parameters), S_OK);
  EXPECT_EQ(TakeLog(), Lines{"OLE1.EventTriggered BeforeNavigate2 nil 7 old object False"});
  EXPECT_EQ(number, 42);
  EXPECT_STREQ(text, L"x");
  EXPECT_EQ(object, &after);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(before.References(), beforeReferences - 1);
  EXPECT_EQ(Fire(sink, 9999, &parameters), S_OK);
  EXPECT_EQ(TakeLog(), Lines{});
  SysFreeString(text);
  object->Release();
  sink->Release();
}

TEST_F(OLEContainerTest, TabGivesTheObjectTheKeyboardAndItKeepsTheArrowsAndTheSize) {
  ControlTestWindow window(Controls(kBrowser));
  window.FocusOn("CheckBox1");
  window.PressKey(VK_TAB);
  HWND embedded = GetWindow(window.Pane("OLE1")->NativeWindow(), GW_CHILD);
  auto focusedInside = [&] {
    return GetFocusPane() == window.Pane("OLE1") &&
           (GetFocus() == embedded || IsChild(embedded, GetFocus()));
  };
  EXPECT_TRUE(focusedInside());
  window.PressKey(VK_RIGHT);
  window.PressKey(VK_DOWN);
  EXPECT_TRUE(focusedInside());
  SetProperty<int32_t>(window.Control("OLE1"), "Width", 300);
  SetProperty<int32_t>(window.Control("OLE1"), "Height", 150);
  EXPECT_EQ(Text(EmbeddedRect(window)), "0,0,300,150");
}

TEST_F(OLEContainerTest, TheSitesAreOneObjectAndGiveTheWholePaneAndTheTopWindow) {
  ControlTestWindow window(Controls(kBrowser));
  ObjectRef content = Content(window);
  IOleObject* object = Query<IOleObject>(DispatchOf(content.get()), IID_IOleObject);
  ASSERT_NE(object, nullptr);
  IOleClientSite* site = nullptr;
  ASSERT_EQ(object->GetClientSite(&site), S_OK);
  auto* inPlace = Query<IOleInPlaceSite>(site, IID_IOleInPlaceSite);
  auto* control = Query<IOleControlSite>(site, IID_IOleControlSite);
  auto* windowFace = Query<IOleWindow>(inPlace, IID_IOleWindow);
  ASSERT_TRUE(inPlace && control && windowFace);
  EXPECT_EQ(Identity(inPlace), Identity(site));
  EXPECT_EQ(Identity(control), Identity(site));
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* document = nullptr;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ASSERT_EQ(inPlace->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
  EXPECT_EQ(Text(position) + " " + Text(clip), "0,0,200,100 0,0,200,100");
  EXPECT_EQ(document, nullptr);
  EXPECT_EQ(info.hwndFrame, window.Handle());
  EXPECT_EQ(info.haccel, nullptr);
  auto* uiWindow = Query<IOleInPlaceUIWindow>(frame, IID_IOleInPlaceUIWindow);
  ASSERT_NE(uiWindow, nullptr);
  RECT border{};
  EXPECT_EQ(uiWindow->GetBorder(&border), INPLACE_E_NOTOOLSPACE);
  IDispatch* sink = OLEContainerEventSink(window.Control("OLE1"));
  IUnknown* events = Query<IUnknown>(sink, DIID_DWebBrowserEvents2);
  EXPECT_EQ(events, static_cast<IUnknown*>(sink));
  // The browser has no property pages either.
  const int windowsBefore = ThreadWindowCount();
  CallMethod(window.Control("OLE1"), "ShowPropertyPages");
  EXPECT_EQ(ThreadWindowCount(), windowsBefore);
  for (IUnknown* reference : std::initializer_list<IUnknown*>{
           object, site, inPlace, control, windowFace, frame, uiWindow, sink, events}) {
    if (reference) reference->Release();
  }
}

TEST_F(OLEContainerTest, AnObjectWithoutDispatchOrVerbsHasNoContentAndTakesNoFocus) {
  ControlTestWindow window(Controls("WMPlayer.OCX"));
  RuntimeObject* ole = window.Control("OLE1");
  EXPECT_FALSE(Content(window));
  EXPECT_FALSE(CallMethod<bool>(ole, "Create"));
  window.FocusOn("CheckBox1");
  window.PressKey(VK_TAB);
  EXPECT_NE(GetFocusPane(), window.Pane("OLE1"));
  EXPECT_EQ(GetFocus(), window.Native("CheckBox1"));
  const int windowsBefore = ThreadWindowCount();
  CallMethod(ole, "ShowPropertyPages");
  EXPECT_EQ(ThreadWindowCount(), windowsBefore);
}

TEST_F(OLEContainerTest, EmptyingOrClosingGivesBackEverySiteAndTheObject) {
  ControlTestWindow window(Controls(kBrowser));
  RuntimeObject* ole = window.Control("OLE1");
  auto keptObject = [&] {
    return Query<IUnknown>(DispatchOf(Content(window).get()), IID_IUnknown);
  };
  IUnknown* first = keptObject();
  CallMethod(ole, "Destroy");
  EXPECT_EQ(OLESiteObject::LiveCount(), sitesBefore_);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_TRUE(CallMethod<bool>(ole, "Create"));
  IUnknown* second = keptObject();
  EXPECT_TRUE(CallMethod<bool>(ole, "Create"));
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(OLESiteObject::LiveCount(), sitesBefore_ + 3);
  IUnknown* third = keptObject();
  IDispatch* sink = OLEContainerEventSink(ole);
  TakeLog();
  window.Close();
  RunPendingTurns();
  EXPECT_EQ(third->Release(), 0u);
  // A sink kept after the close answers and fires nothing.
  DISPPARAMS none{};
  EXPECT_EQ(Fire(sink, kBeforeNavigate2, &none), S_OK);
  EXPECT_EQ(TakeLog(), Lines{});
  sink->Release();
  EXPECT_EQ(OLESiteObject::LiveCount(), sitesBefore_);
}

TEST_F(OLEContainerTest, AHandlerThatClosesTheWindowStillGetsItsArgumentsWrittenBack) {
  ControlTestWindow window(Controls(kBrowser));
  IDispatch* sink = OLEContainerEventSink(window.Control("OLE1"));
  ASSERT_NE(sink, nullptr);
  RuntimeObject* windowObject = window.Window();
  afterEvent = [windowObject](RuntimeArray* parameters) {
    ObjectRef answer = ObjectRef::Adopt(intToVariant(42));
    ObjectArraySetElement(parameters, 1, answer.get());
    WindowClose(windowObject);
  };
  LONG number = 7;
  VARIANT argument;
  argument.vt = VT_I4 | VT_BYREF;
  argument.plVal = &number;
  DISPPARAMS parameters{&argument, nullptr, 1, 0};
  EXPECT_EQ(Fire(sink, kBeforeNavigate2, &parameters), S_OK);
  EXPECT_EQ(number, 42);
  EXPECT_FALSE(window.IsOpen());
  RunPendingTurns();
  sink->Release();
  EXPECT_EQ(OLESiteObject::LiveCount(), sitesBefore_);
}

}  // namespace
