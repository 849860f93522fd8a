// The CheckBox control and its bound parts.
#include "controls/CheckBox.h"

#include <string>

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

uint8_t AsBit(uint32_t value) { return value ? 1 : 0; }

// The control has left its window: no Window, or its window is closing.
bool IsGone(RuntimeObject* control) {
  const RuntimeControl& fields = FieldsOf(control)->control;
  return !fields.window || (fields.parentPane && fields.parentPane->IsClosing());
}

void InitialiseCheckBox(RuntimeObject* control) {
  TextStyle& style = FieldsOf(control)->textStyle;
  style = DefaultTextStyle();
  RuntimeLockString(style.font);
}

RuntimeObject* NewBoundPart(RuntimeObject* control, uint32_t checked) {
  RuntimeObject* part = CreateInstance(GetCheckBoxActionClassDefinition());
  if (!part) return nullptr;
  auto* fields = ObjectFields<CheckBoxActionFields>(part);
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
  auto* fields = ObjectFields<CheckBoxActionFields>(part);
  if (!fields->control) return nullptr;
  CheckBoxFields* box = FieldsOf(fields->control);
  return fields->checked ? &box->checkedReceivers : &box->uncheckedReceivers;
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(checkBox, CheckBoxFields, textStyle)

// ---- Class definitions ----

ObjectDefinition* GetCheckBoxClassDefinition() {
  static std::array<EventRecord, 5> events = StandardControlEventRecords();
  static const PropertyRecord properties[] = {
      {0, "Caption", &kStringType, RUNTIME_ENTRY(checkBoxTitleGetter),
       RUNTIME_ENTRY(checkBoxTitleSetter), 0},
      {0, "Value", &kBooleanType, RUNTIME_ENTRY(checkBoxValueGetter),
       RUNTIME_ENTRY(checkBoxValueSetter), 0},
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
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("addActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(cbaAddActionNotificationReceiver)),
      MakeMethodRecord("removeActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(cbaRemoveActionNotificationReceiver)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "Sys$CheckBoxAction");
    definition.instanceSize = sizeof(CheckBoxActionFields);
    definition.destructor = CheckBoxActionDestruct;
    BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
    definition.AddInterface(GetActionSourceInterfaceDefinition());
    return &definition;
  }();
  return made;
}

// ---- The sink ----

void CheckBoxEventSink::Action(SubPane* hostPane) {
  RuntimeObject* control = Control();
  if (!control) return;
  CheckBoxFields* fields = FieldsOf(control);
  auto* part = dynamic_cast<CheckBoxBindingPart*>(hostPane);
  if (part && hostPane->GetNativeHandle()) fields->value = part->GetValue();
  if (fields->inAction || IsGone(control)) return;

  InActionScope inAction(control, &fields->inAction);
  auto stopped = [&] { return fields->sink != this || IsGone(control); };
  NotifyDataChanged(&fields->dataReceivers);
  if (stopped()) return;
  CallControlHandler(control, "Action");
  if (stopped()) return;
  NotifyPerformAction(fields->value ? &fields->checkedReceivers : &fields->uncheckedReceivers);
}

// ---- Panes ----

CheckBoxPane::CheckBoxPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : ControlHostPane(parent, tabPanelIndex, bounds) {}

CheckBoxPane::~CheckBoxPane() { binding_.Unbind(); }

void CheckBoxPane::BindDataSource() { binding_.Bind(Control(), kBoundCheckBox); }
void CheckBoxPane::UnbindDataSource() { binding_.Unbind(); }

void CheckBoxPane::Close() {
  binding_.Unbind();
  ControlHostPane::Close();
}

void CheckBoxPaneWin32::SetValue(uint8_t value) {
  if (auto* native = dynamic_cast<NativeCheckBoxPane*>(Native())) native->SetValue(AsBit(value));
}

uint8_t CheckBoxPaneWin32::GetValue() {
  HWND window = GetNativeHandle();
  return window ? AsBit(SendMessageAuto(window, BM_GETCHECK, 0, 0) == BST_CHECKED) : 0;
}

void CheckBoxPaneWin32::SetCaption(const StringRecord* caption) { SetNativeCaption(caption); }
void CheckBoxPaneWin32::SetTextFont(const FontDescriptor& font) { SetNativeFont(font); }

NativeCheckBoxPane::NativeCheckBoxPane(CheckBoxPane* host, ControlEventSink* sink,
                                       const FontDescriptor& font, const StringRecord* caption,
                                       uint8_t value)
    : NativeControlPane(host, sink, font, caption, "BUTTON", kCheckBoxStyle) {
  HWND window = NativeWindow();
  if (window && value) SendMessageAuto(window, BM_SETCHECK, BST_CHECKED, 0);
}

void NativeCheckBoxPane::SetValue(uint8_t value) {
  ControlCallGuard guard(this);
  if (HWND window = NativeWindow()) {
    SendMessageAuto(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  }
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
      HWND window = NativeWindow();
      const bool checked = window && SendMessageAuto(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
      SetValue(AsBit(!checked));
      return true;
    }
    case BN_SETFOCUS:
      SubPane::TakeFocus();
      return true;
    default:
      return false;
  }
}

CheckBoxPaneWin32* CreateCheckBoxPane(ControlEventSink* sink, const FontDescriptor& font,
                                      SubPane* parentPane, int32_t tabPanelIndex,
                                      const MacRect& bounds, const StringRecord* caption,
                                      uint8_t value) {
  auto* host = new CheckBoxPaneWin32(parentPane, tabPanelIndex, bounds);
  new NativeCheckBoxPane(host, sink, font, caption, value);
  return host;
}

// ---- Entry points ----

extern "C" void CheckBoxCreatePane(RuntimeObject* control) {
  CheckBoxFields* fields = FieldsOf(control);
  if (!fields->sink) fields->sink = new CheckBoxEventSink(control);
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  RuntimeControl& common = fields->control;
  CheckBoxPaneWin32* pane =
      CreateCheckBoxPane(fields->sink, font.get(), ControlParentPane(control), common.tabPanelIndex,
                         common.bounds, fields->caption, fields->value);
  AdoptControlPane(control, pane);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

extern "C" void CheckBoxDestruct(RuntimeObject* control) {
  CheckBoxFields* fields = FieldsOf(control);
  ReceiverListClear(&fields->dataReceivers);
  ReceiverListClear(&fields->checkedReceivers);
  ReceiverListClear(&fields->uncheckedReceivers);
  for (StringRecord** string :
       {&fields->dataField, &fields->caption, &fields->dataSource, &fields->textStyle.font}) {
    RuntimeUnlockString(*string);
    *string = nullptr;
  }
  // The sink leaves its panes as it goes.
  delete fields->sink;
  fields->sink = nullptr;
}

extern "C" StringRecord* checkBoxTitleGetter(RuntimeObject* control, uint32_t) {
  CheckBoxFields* fields = Checked(control);
  return fields ? StringAddRef(fields->caption) : nullptr;
}

extern "C" void checkBoxTitleSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  CheckBoxFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->caption, caption);
  if (CheckBoxPane* pane = PaneOf(fields)) pane->SetCaption(caption);
}

extern "C" bool checkBoxValueGetter(RuntimeObject* control, uint32_t) {
  CheckBoxFields* fields = Checked(control);
  return fields && fields->value != 0;
}

extern "C" void checkBoxValueSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  CheckBoxFields* fields = Checked(control);
  if (!fields) return;
  // Stored first: the Action sequence then reads the native state back, and a
  // Value set by a handler or receiver during it is the one that stays.
  fields->value = AsBit(value);
  if (CheckBoxPane* pane = PaneOf(fields)) pane->SetValue(AsBit(value));
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

extern "C" RuntimeObject* checkBoxGetBoundPart(RuntimeObject* control, StringRecord* name) {
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

extern "C" void CheckBoxActionDestruct(RuntimeObject* part) {
  auto* fields = ObjectFields<CheckBoxActionFields>(part);
  RuntimeUnlockObject(fields->control);
  fields->control = nullptr;
}

extern "C" void cbaAddActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver) {
  if (ReceiverList* list = ActionListOf(part)) ReceiverListAdd(list, receiver);
}

extern "C" void cbaRemoveActionNotificationReceiver(RuntimeObject* part,
                                                    RuntimeObject* receiver) {
  if (ReceiverList* list = ActionListOf(part)) ReceiverListRemove(list, receiver);
}
