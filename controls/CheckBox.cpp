// The CheckBox control and its bound parts.
#include "controls/CheckBox.h"

#include <string>
#include <utility>

#include "controls/DataControlRole.h"
#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "ui/WinUtil.h"

namespace {

// BS_CHECKBOX | BS_NOTIFY: the button does not toggle itself (the pane
// does) and reports focus changes.
constexpr uint32_t kCheckBoxStyle = BS_CHECKBOX | BS_NOTIFY;

CheckBoxFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<CheckBoxFields>(control);
}

// The fields of a check box; nil for nil (NilObjectException raised) or for
// another class's object (reported).
CheckBoxFields* Checked(RuntimeObject* control) {
  return InstanceArgument<CheckBoxFields>(control, GetCheckBoxClassDefinition(), "CheckBox",
                                          __LINE__, "ObjectIsADefinition(control, CheckBox)");
}

CheckBoxPane* PaneOf(CheckBoxFields* fields) {
  return dynamic_cast<CheckBoxPane*>(fields->control.pane);
}

void InitialiseCheckBox(RuntimeObject* control) {
  InitialiseButtonState(&FieldsOf(control)->button);
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(checkBox, CheckBoxFields, button.textStyle)

// ---- Class definitions ----

ObjectDefinition* GetCheckBoxClassDefinition() {
  static std::array<EventRecord, 5> events = StandardControlEventRecords();
  static const PropertyRecord properties[] = {
      RUNTIME_BUTTON_PROPERTIES(checkBox),
      {0, "State", &kBooleanType, RUNTIME_ENTRY(checkBoxValueGetter),
       RUNTIME_ENTRY(checkBoxValueSetter), 0},
      RUNTIME_TEXT_STYLE_PROPERTIES(checkBox),
      {0, "DataSource", &kStringType, RUNTIME_ENTRY(CheckBoxDataSourceGetter),
       RUNTIME_ENTRY(CheckBoxDataSourceSetter), 0},
      {kPropertyGenericGetter, "DataField", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(CheckBoxDataFieldSetter), offsetof(CheckBoxFields, dataField)},
  };
  static const ParameterRecord value[] = {{"value", &kBooleanType, 0}};
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord partName[] = {{"v", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getBoolean", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(checkBoxGetBoolean)),
      MakeMethodRecord("setBoolean", nullptr, value, 1, RUNTIME_ENTRY(checkBoxSetBoolean)),
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(checkBoxAddDataNotificationReceiver)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(checkBoxRemoveDataNotificationReceiver)),
      MakeMethodRecord("getBoundPart", nullptr, partName, 1, RUNTIME_ENTRY(checkBoxGetBoundPart)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "CheckBox", sizeof(CheckBoxFields), InitialiseCheckBox, CheckBoxDestruct,
      CheckBoxCreatePane, events.data(), int32_t(events.size()), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetBooleanProviderInterfaceDefinition(), GetDataNotifierInterfaceDefinition(),
       GetBindingPartInterfaceInterfaceDefinition()}});
  GetCheckBoxActionClassDefinition();
  return definition.get();
}

ObjectDefinition* GetCheckBoxActionClassDefinition() {
  static ObjectDefinition* made = MakeButtonActionClass(
      "Sys$CheckBoxAction", CheckBoxActionDestruct, RUNTIME_ENTRY(cbaAddActionNotificationReceiver),
      RUNTIME_ENTRY(cbaRemoveActionNotificationReceiver));
  return made;
}

// ---- The sink ----

void CheckBoxEventSink::Action(SubPane* hostPane) {
  RuntimeObject* control = Control();
  if (!control) return;
  CheckBoxFields* fields = FieldsOf(control);
  auto* part = dynamic_cast<CheckBoxBindingPart*>(hostPane);
  if (part && hostPane->GetNativeHandle()) fields->button.value = part->GetValue();
  if (fields->button.inAction || ControlHasLeftWindow(control)) return;

  InActionScope inAction(control, &fields->button.inAction);
  auto stopped = [&] { return fields->button.sink != this || ControlHasLeftWindow(control); };
  NotifyDataChanged(&fields->dataReceivers);
  if (stopped()) return;
  CallControlHandler(control, "Action");
  if (stopped()) return;
  NotifyPerformAction(fields->button.value ? &fields->checkedReceivers
                                           : &fields->uncheckedReceivers);
}

// ---- Panes ----

CheckBoxPane::CheckBoxPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : ButtonHostPane(parent, tabPanelIndex, bounds) {}

CheckBoxPane::~CheckBoxPane() { binding_.Unbind(); }

void CheckBoxPane::BindDataSource() { binding_.Bind(Control(), kBoundCheckBox); }
void CheckBoxPane::UnbindDataSource() { binding_.Unbind(); }

void CheckBoxPane::Close() {
  binding_.Unbind();
  ButtonHostPane::Close();
}

NativeCheckBoxPane::NativeCheckBoxPane(CheckBoxPane* host, ControlEventSink* sink,
                                       const FontDescriptor& font, const StringRecord* caption,
                                       uint8_t value)
    : NativeButtonPane(host, sink, font, caption, kCheckBoxStyle, value) {}

void NativeCheckBoxPane::SetValue(uint8_t value) {
  ControlCallGuard guard(this);
  SetCheck(value);
  if (ControlEventSink* sink = Sink()) sink->Action(EventPane());
}

bool NativeCheckBoxPane::ControlNotify(int32_t code) {
  switch (code) {
    case BN_CLICKED: {
      // A press a "MouseDown" handler took gives no toggle.
      if (MouseHandled()) {
        SetMouseHandled(false);
        return true;
      }
      SetValue(AsBit(!IsChecked()));
      return true;
    }
    case BN_SETFOCUS:
      SubPane::TakeFocus();
      return true;
    default:
      return false;
  }
}

// ---- Entry points ----

RUNTIME_BUTTON_ENTRIES(checkBox, cba, CheckBoxFields, GetCheckBoxActionClassDefinition)

extern "C" void CheckBoxCreatePane(RuntimeObject* control) {
  CheckBoxFields* fields = FieldsOf(control);
  if (!fields->button.sink) fields->button.sink = new CheckBoxEventSink(control);
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->button.textStyle));
  RuntimeControl& common = fields->control;
  CheckBoxPaneWin32* pane =
      CreateCheckBoxPane(fields->button.sink, font.get(), ControlParentPane(control),
                         common.tabPanelIndex, common.bounds, fields->button.caption,
                         fields->button.value);
  AdoptControlPane(control, pane);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

extern "C" void CheckBoxDestruct(RuntimeObject* control) {
  CheckBoxFields* fields = FieldsOf(control);
  ReceiverListClear(&fields->dataReceivers);
  ReceiverListClear(&fields->checkedReceivers);
  ReceiverListClear(&fields->uncheckedReceivers);
  for (StringRecord** string : {&fields->dataField, &fields->dataSource}) {
    RuntimeUnlockString(std::exchange(*string, nullptr));
  }
  ReleaseButtonState(&fields->button);
}

extern "C" StringRecord* CheckBoxDataSourceGetter(RuntimeObject* control, uint32_t) {
  CheckBoxFields* fields = Checked(control);
  return fields ? StringAddRef(fields->dataSource) : nullptr;
}

extern "C" void CheckBoxDataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  CheckBoxFields* fields = Checked(control);
  if (fields) SetBoundDataSource(control, &fields->dataSource, name);
}

extern "C" void CheckBoxDataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  CheckBoxFields* fields = Checked(control);
  if (fields) SetBoundDataField(control, &fields->dataField, name);
}

extern "C" bool checkBoxGetBoolean(RuntimeObject* control) {
  return checkBoxValueGetter(control, 0);
}

extern "C" void checkBoxSetBoolean(RuntimeObject* control, uint8_t value) {
  checkBoxValueSetter(control, 0, value);
}

extern "C" void checkBoxAddDataNotificationReceiver(RuntimeObject* control,
                                                    RuntimeObject* receiver) {
  if (CheckBoxFields* fields = Checked(control)) ReceiverListAdd(&fields->dataReceivers, receiver);
}

extern "C" void checkBoxRemoveDataNotificationReceiver(RuntimeObject* control,
                                                       RuntimeObject* receiver) {
  if (CheckBoxFields* fields = Checked(control)) {
    ReceiverListRemove(&fields->dataReceivers, receiver);
  }
}

extern "C" void CheckBoxActionDestruct(RuntimeObject* part) { ReleaseButtonAction(part); }

