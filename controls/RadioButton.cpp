// The RadioButton control and its bound parts.
#include "controls/RadioButton.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "ui/WinUtil.h"

namespace {

// BS_RADIOBUTTON | BS_NOTIFY: the button never checks itself (the pane
// does) and reports focus changes.
constexpr uint32_t kRadioButtonStyle = BS_RADIOBUTTON | BS_NOTIFY;

// The radio button most recently checked, or focused while checked: its
// owner is the current group. Cleared when that button's host goes.
RadioButtonPaneWin32* currentGroupButton = nullptr;
// Non-zero while a button's click or focus handling runs, so that the
// focus and check changes it makes do not run it again.
int32_t reentryCount = 0;

class ReentryScope {
 public:
  ReentryScope() { ++reentryCount; }
  ~ReentryScope() { --reentryCount; }
  ReentryScope(const ReentryScope&) = delete;
  ReentryScope& operator=(const ReentryScope&) = delete;
};

SubPane* CurrentGroup() { return currentGroupButton ? currentGroupButton->GetOwner() : nullptr; }

bool ArrowKeyHeld() {
  for (int key : {VK_DOWN, VK_UP, VK_LEFT, VK_RIGHT}) {
    if (GetKeyState(key) < 0) return true;
  }
  return false;
}

RadioButtonFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<RadioButtonFields>(control);
}

// The fields of a radio button; nil for nil (NilObjectException raised) or
// for another class's object (reported).
RadioButtonFields* Checked(RuntimeObject* control) {
  return InstanceArgument<RadioButtonFields>(control, GetRadioButtonClassDefinition(),
                                             "RadioButton", __LINE__,
                                             "ObjectIsADefinition(control, RadioButton)");
}

RadioButtonPaneWin32* PaneOf(RadioButtonFields* fields) {
  return dynamic_cast<RadioButtonPaneWin32*>(fields->control.pane);
}

uint8_t AsBit(uint32_t value) { return value ? 1 : 0; }

// The control has left its window: no Window, or its window is closing.
bool IsGone(RuntimeObject* control) {
  const RuntimeControl& fields = FieldsOf(control)->control;
  return !fields.window || (fields.parentPane && fields.parentPane->IsClosing());
}

// Value := the native check state (while the native window lives); then
// the fields when a sequence may run: none under way and the control still
// in its window.
RadioButtonFields* FieldsForSequence(RuntimeObject* control, SubPane* hostPane) {
  if (!control) return nullptr;
  RadioButtonFields* fields = FieldsOf(control);
  auto* host = dynamic_cast<RadioButtonPaneWin32*>(hostPane);
  if (host && host->GetNativeHandle()) fields->value = host->GetValue();
  return fields->inAction || IsGone(control) ? nullptr : fields;
}

// The first shown, enabled button of the host's group in the owner's child
// order is the host, and no button of the group is checked.
bool IsFirstOfUncheckedGroup(RadioButtonPaneWin32* host) {
  SubPane* owner = host->GetOwner();
  if (!owner) return false;
  const std::vector<SubPane*> group = PaneGroupSiblings(host);
  RadioButtonPaneWin32* first = nullptr;
  for (SubPane* child : owner->Children()) {
    if (child != host && std::find(group.begin(), group.end(), child) == group.end()) continue;
    auto* radio = dynamic_cast<RadioButtonPaneWin32*>(child);
    if (!radio) continue;
    if (radio->GetValue()) return false;
    SubPane* native = radio->Native();
    if (!first && native && native->IsShown() && native->IsEnabled()) first = radio;
  }
  return first == host;
}

void InitialiseRadioButton(RuntimeObject* control) {
  TextStyle& style = FieldsOf(control)->textStyle;
  style = DefaultTextStyle();
  style.font = StringAddRef(style.font);
}

RuntimeObject* NewBoundPart(RuntimeObject* control, uint32_t checked) {
  RuntimeObject* part = CreateInstance(GetRadioButtonActionClassDefinition());
  if (!part) return nullptr;
  auto* fields = ObjectFields<RadioButtonActionFields>(part);
  RuntimeLockObject(control);
  fields->control = control;
  fields->checked = checked;
  return part;
}

// The receiver list a bound part adds to and removes from; nil (with
// NilObjectException for a nil part) when there is none.
ReceiverList* ActionListOf(RuntimeObject* part) {
  if (!part) {
    RaiseNilObjectException();
    return nullptr;
  }
  auto* fields = ObjectFields<RadioButtonActionFields>(part);
  if (!fields->control) return nullptr;
  RadioButtonFields* radio = FieldsOf(fields->control);
  return fields->checked ? &radio->checkedReceivers : &radio->uncheckedReceivers;
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(radio, RadioButtonFields, textStyle)

// ---- Class definitions ----

ObjectDefinition* GetRadioButtonClassDefinition() {
  static std::array<EventRecord, 5> events = StandardControlEventRecords();
  static const PropertyRecord properties[] = {
      {0, "Caption", &kStringType, RUNTIME_ENTRY(radioTitleGetter),
       RUNTIME_ENTRY(radioTitleSetter), 0},
      {0, "Value", &kBooleanType, RUNTIME_ENTRY(radioValueGetter),
       RUNTIME_ENTRY(radioValueSetter), 0},
      RUNTIME_TEXT_STYLE_PROPERTIES(radio),
  };
  static const ParameterRecord partName[] = {{"v", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getBoundPart", nullptr, partName, 1, RUNTIME_ENTRY(radioGetBoundPart)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "RadioButton", sizeof(RadioButtonFields), InitialiseRadioButton, RadioButtonDestruct,
      RadioButtonCreatePane, events.data(), int32_t(events.size()), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetBindingPartInterfaceInterfaceDefinition()}});
  GetRadioButtonActionClassDefinition();
  return definition.get();
}

ObjectDefinition* GetRadioButtonActionClassDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("addActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(kvaAddActionNotificationReceiver)),
      MakeMethodRecord("removeActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(kvaRemoveActionNotificationReceiver)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "Sys$RadioButtonAction");
    definition.instanceSize = sizeof(RadioButtonActionFields);
    definition.destructor = RadioButtonActionDestruct;
    BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
    definition.AddInterface(GetActionSourceInterfaceDefinition());
    return &definition;
  }();
  return made;
}

SubPane* RadioButtonCurrentGroupForTesting() { return CurrentGroup(); }

// ---- The sink ----

void RadioButtonEventSink::Action(SubPane* hostPane) {
  RuntimeObject* control = Control();
  RadioButtonFields* fields = FieldsForSequence(control, hostPane);
  if (!fields) return;
  InActionScope inAction(control, &fields->inAction);
  CallControlHandler(control, "Action");
  if (fields->sink != this || IsGone(control)) return;
  // A handler that checked another button of the group has unchecked this
  // one: its receivers hear the state it is in now.
  NotifyPerformAction(fields->value ? &fields->checkedReceivers : &fields->uncheckedReceivers);
}

void RadioButtonEventSink::Deselected(SubPane* hostPane) {
  RuntimeObject* control = Control();
  RadioButtonFields* fields = FieldsForSequence(control, hostPane);
  if (!fields) return;
  InActionScope inAction(control, &fields->inAction);
  NotifyPerformAction(&fields->uncheckedReceivers);
}

// ---- The host pane ----

RadioButtonPaneWin32::~RadioButtonPaneWin32() {
  if (currentGroupButton == this) currentGroupButton = nullptr;
}

void RadioButtonPaneWin32::SetValue(uint8_t value) {
  if (auto* native = dynamic_cast<NativeRadioButtonPane*>(Native())) native->SetValue(AsBit(value));
}

uint8_t RadioButtonPaneWin32::GetValue() {
  HWND window = GetNativeHandle();
  return window ? AsBit(SendMessageAuto(window, BM_GETCHECK, 0, 0) == BST_CHECKED) : 0;
}

void RadioButtonPaneWin32::SetCaption(const StringRecord* caption) { SetNativeCaption(caption); }
void RadioButtonPaneWin32::SetTextFont(const FontDescriptor& font) { SetNativeFont(font); }

void RadioButtonPaneWin32::RadioGroupNotify(SubPane*) {
  if (CurrentGroup() == GetOwner()) SetValue(0);
}

// ---- The native pane ----

NativeRadioButtonPane::NativeRadioButtonPane(RadioButtonPaneWin32* host,
                                             RadioButtonEventSink* sink,
                                             const FontDescriptor& font,
                                             const StringRecord* caption, uint8_t value)
    : NativeControlPane(host, sink, font, caption, "BUTTON", kRadioButtonStyle) {
  HWND window = NativeWindow();
  if (window && value) SendMessageAuto(window, BM_SETCHECK, BST_CHECKED, 0);
}

RadioButtonPaneWin32* NativeRadioButtonPane::RadioHost() const {
  return static_cast<RadioButtonPaneWin32*>(Host());
}

bool NativeRadioButtonPane::IsChecked() {
  HWND window = NativeWindow();
  return window && SendMessageAuto(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool NativeRadioButtonPane::PressUnderWay() {
  HWND window = NativeWindow();
  return forwardingPress_ || (window && GetCapture() == window);
}

void NativeRadioButtonPane::SetValue(uint8_t value) {
  ControlCallGuard guard(this);
  if (HWND window = NativeWindow()) {
    SendMessageAuto(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  RadioButtonPaneWin32* host = RadioHost();
  if (value && host) {
    currentGroupButton = host;
    PaneNotifyGroupSiblings(host);
  }
  auto* sink = dynamic_cast<RadioButtonEventSink*>(Sink());
  if (!sink) return;
  if (IsChecked()) {
    sink->Action(EventPane());
  } else {
    sink->Deselected(EventPane());
  }
}

bool NativeRadioButtonPane::CanAcceptFocus() {
  RadioButtonPaneWin32* host = RadioHost();
  if (!host || !NativeControlPane::CanAcceptFocus()) return false;
  if (ArrowKeyHeld()) return CurrentGroup() && CurrentGroup() == host->GetOwner();
  return reentryCount != 0 || IsChecked() || IsFirstOfUncheckedGroup(host);
}

bool NativeRadioButtonPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  forwardingPress_ = true;
  const bool taken = NativeControlPane::MouseDown(x, y, modifiers);
  forwardingPress_ = false;
  return taken;
}

bool NativeRadioButtonPane::ControlNotify(int32_t code) {
  if (code != BN_CLICKED && code != BN_SETFOCUS) return false;
  // A press a "MouseDown" handler took checks nothing.
  if (MouseHandled()) {
    SetMouseHandled(false);
    return true;
  }
  if (reentryCount != 0) return true;
  ReentryScope reentry;
  if (code == BN_CLICKED) {
    SetValue(1);
  } else if (!PressUnderWay()) {
    // Focus from Tab, an arrow key or code selects; a press checks on its
    // click alone.
    if (!IsChecked()) {
      SetValue(1);
    } else {
      currentGroupButton = RadioHost();
    }
  }
  SubPane::TakeFocus();
  return true;
}

RadioButtonPaneWin32* CreateRadioButtonPane(RadioButtonEventSink* sink, const FontDescriptor& font,
                                            SubPane* parentPane, int32_t tabPanelIndex,
                                            const MacRect& bounds, const StringRecord* caption,
                                            uint8_t value) {
  auto* host = new RadioButtonPaneWin32(parentPane, tabPanelIndex, bounds);
  new NativeRadioButtonPane(host, sink, font, caption, value);
  return host;
}

// ---- Entry points ----

extern "C" void RadioButtonCreatePane(RuntimeObject* control) {
  RadioButtonFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  // A second "CreatePane" makes new panes: the old sink leaves the old ones.
  delete std::exchange(fields->sink, new RadioButtonEventSink(control));
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  RadioButtonPaneWin32* pane =
      CreateRadioButtonPane(fields->sink, font.get(), ControlParentPane(control),
                            common.tabPanelIndex, common.bounds, fields->caption, fields->value);
  AdoptControlPane(control, pane);
}

extern "C" void RadioButtonDestruct(RuntimeObject* control) {
  RadioButtonFields* fields = FieldsOf(control);
  ReceiverListClear(&fields->checkedReceivers);
  ReceiverListClear(&fields->uncheckedReceivers);
  RuntimeUnlockString(std::exchange(fields->caption, nullptr));
  RuntimeUnlockString(std::exchange(fields->textStyle.font, nullptr));
  delete std::exchange(fields->sink, nullptr);
}

extern "C" StringRecord* radioTitleGetter(RuntimeObject* control, uint32_t) {
  RadioButtonFields* fields = Checked(control);
  return fields ? StringAddRef(fields->caption) : nullptr;
}

extern "C" void radioTitleSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  RadioButtonFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->caption, caption);
  if (RadioButtonPaneWin32* pane = PaneOf(fields)) pane->SetCaption(caption);
}

extern "C" bool radioValueGetter(RuntimeObject* control, uint32_t) {
  RadioButtonFields* fields = Checked(control);
  return fields && fields->value != 0;
}

extern "C" void radioValueSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  RadioButtonFields* fields = Checked(control);
  if (!fields) return;
  fields->value = AsBit(value);
  if (RadioButtonPaneWin32* pane = PaneOf(fields)) pane->SetValue(AsBit(value));
}

extern "C" RuntimeObject* radioGetBoundPart(RuntimeObject* control, StringRecord* name) {
  if (!Checked(control)) return nullptr;
  const std::string text = StringToStdUTF8(name);
  if (CStringCompareNoCase(text.c_str(), "getCheckedAction") == 0) {
    return NewBoundPart(control, 1);
  }
  if (CStringCompareNoCase(text.c_str(), "getUncheckedAction") == 0) {
    return NewBoundPart(control, 0);
  }
  return nullptr;
}

extern "C" void RadioButtonActionDestruct(RuntimeObject* part) {
  auto* fields = ObjectFields<RadioButtonActionFields>(part);
  RuntimeUnlockObject(std::exchange(fields->control, nullptr));
}

extern "C" void kvaAddActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver) {
  if (ReceiverList* list = ActionListOf(part)) ReceiverListAdd(list, receiver);
}

extern "C" void kvaRemoveActionNotificationReceiver(RuntimeObject* part,
                                                    RuntimeObject* receiver) {
  if (ReceiverList* list = ActionListOf(part)) ReceiverListRemove(list, receiver);
}
