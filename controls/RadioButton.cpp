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

// Value := the native check state (while the native window lives); then
// the fields when a sequence may run: none under way and the control still
// in its window.
RadioButtonFields* FieldsForSequence(RuntimeObject* control, SubPane* hostPane) {
  if (!control) return nullptr;
  RadioButtonFields* fields = FieldsOf(control);
  auto* host = dynamic_cast<RadioButtonPaneWin32*>(hostPane);
  if (host && host->GetNativeHandle()) fields->button.value = host->ButtonValue();
  return fields->button.inAction || ControlHasLeftWindow(control) ? nullptr : fields;
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
    if (radio->ButtonValue()) return false;
    SubPane* native = radio->Native();
    if (!first && native && native->IsShown() && native->IsEnabled()) first = radio;
  }
  return first == host;
}

void InitialiseRadioButton(RuntimeObject* control) {
  InitialiseButtonState(&FieldsOf(control)->button);
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(radio, RadioButtonFields, button.textStyle)

// ---- Class definitions ----

ObjectDefinition* GetRadioButtonClassDefinition() {
  static std::array<EventRecord, 5> events = StandardControlEventRecords();
  static const PropertyRecord properties[] = {
      RUNTIME_BUTTON_PROPERTIES(radio),
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
  static ObjectDefinition* made =
      MakeButtonActionClass("Sys$RadioButtonAction", RadioButtonActionDestruct,
                            RUNTIME_ENTRY(kvaAddActionNotificationReceiver),
                            RUNTIME_ENTRY(kvaRemoveActionNotificationReceiver));
  return made;
}

SubPane* RadioButtonCurrentGroupForTesting() { return CurrentGroup(); }

// ---- The sink ----

void RadioButtonEventSink::Action(SubPane* hostPane) {
  RuntimeObject* control = Control();
  RadioButtonFields* fields = FieldsForSequence(control, hostPane);
  if (!fields) return;
  InActionScope inAction(control, &fields->button.inAction);
  CallControlHandler(control, "Action");
  if (fields->button.sink != this || ControlHasLeftWindow(control)) return;
  // A handler that checked another button of the group has unchecked this
  // one: its receivers hear the state it is in now.
  NotifyPerformAction(fields->button.value ? &fields->checkedReceivers
                                           : &fields->uncheckedReceivers);
}

void RadioButtonEventSink::Deselected(SubPane* hostPane) {
  RuntimeObject* control = Control();
  RadioButtonFields* fields = FieldsForSequence(control, hostPane);
  if (!fields) return;
  InActionScope inAction(control, &fields->button.inAction);
  NotifyPerformAction(&fields->uncheckedReceivers);
}

// ---- The host pane ----

RadioButtonPaneWin32::~RadioButtonPaneWin32() {
  if (currentGroupButton == this) currentGroupButton = nullptr;
}

void RadioButtonPaneWin32::RadioGroupNotify(SubPane*) {
  if (CurrentGroup() == GetOwner()) SetButtonValue(0);
}

// ---- The native pane ----

NativeRadioButtonPane::NativeRadioButtonPane(RadioButtonPaneWin32* host,
                                             RadioButtonEventSink* sink,
                                             const FontDescriptor& font,
                                             const StringRecord* caption, uint8_t value)
    : NativeButtonPane(host, sink, font, caption, kRadioButtonStyle, value) {}

RadioButtonPaneWin32* NativeRadioButtonPane::RadioHost() const {
  return static_cast<RadioButtonPaneWin32*>(Host());
}

bool NativeRadioButtonPane::PressUnderWay() {
  HWND window = NativeWindow();
  return forwardingPress_ || (window && GetCapture() == window);
}

void NativeRadioButtonPane::SetValue(uint8_t value) {
  ControlCallGuard guard(this);
  SetCheck(value);
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

// ---- Entry points ----

RUNTIME_BUTTON_ENTRIES(radio, kva, RadioButtonFields, GetRadioButtonActionClassDefinition)

extern "C" void RadioButtonCreatePane(RuntimeObject* control) {
  RadioButtonFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  // A second "CreatePane" makes new panes: the old sink leaves the old ones.
  delete std::exchange(fields->button.sink, new RadioButtonEventSink(control));
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->button.textStyle));
  RadioButtonPaneWin32* pane =
      CreateRadioButtonPane(fields->button.sink, font.get(), ControlParentPane(control),
                            common.tabPanelIndex, common.bounds, fields->button.caption,
                            fields->button.value);
  AdoptControlPane(control, pane);
}

extern "C" void RadioButtonDestruct(RuntimeObject* control) {
  RadioButtonFields* fields = FieldsOf(control);
  ReceiverListClear(&fields->checkedReceivers);
  ReceiverListClear(&fields->uncheckedReceivers);
  ReleaseButtonState(&fields->button);
}

extern "C" void RadioButtonActionDestruct(RuntimeObject* part) { ReleaseButtonAction(part); }

