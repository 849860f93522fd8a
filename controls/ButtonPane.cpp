// The pane logic and bound parts the check box and the radio button share.
#include "controls/ButtonPane.h"

#include <string>
#include <utility>

#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "ui/WinUtil.h"

bool ControlHasLeftWindow(RuntimeObject* control) {
  const RuntimeControl& fields = *ControlFields(control);
  return !fields.window || (fields.parentPane && fields.parentPane->IsClosing());
}

// ---- Panes ----

NativeButtonPane::NativeButtonPane(ControlHostPane* host, ControlEventSink* sink,
                                   const FontDescriptor& font, const StringRecord* caption,
                                   uint32_t style, uint8_t value)
    : NativeControlPane(host, sink, font, caption, "BUTTON", style) {
  if (value) SetCheck(1);
}

bool NativeButtonPane::IsChecked() {
  HWND window = NativeWindow();
  return window && SendMessageAuto(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void NativeButtonPane::SetCheck(uint8_t value) {
  if (HWND window = NativeWindow()) {
    SendMessageAuto(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void ButtonHostPane::SetButtonValue(uint8_t value) {
  if (auto* native = dynamic_cast<NativeButtonPane*>(Native())) native->SetValue(AsBit(value));
}

uint8_t ButtonHostPane::ButtonValue() {
  auto* native = dynamic_cast<NativeButtonPane*>(Native());
  return native ? AsBit(native->IsChecked()) : 0;
}

void ButtonHostPane::SetTextFont(const FontDescriptor& font) { SetNativeFont(font); }

// ---- Bound parts ----

RuntimeObject* NewButtonAction(ObjectDefinition* partClass, RuntimeObject* control,
                               const StringRecord* name) {
  const std::string text = StringToStdUTF8(name);
  const bool checked = CStringCompareNoCase(text.c_str(), "getCheckedAction") == 0;
  if (!checked && CStringCompareNoCase(text.c_str(), "getUncheckedAction") != 0) return nullptr;
  RuntimeObject* part = CreateInstance(partClass);
  if (!part) return nullptr;
  auto* fields = ObjectFields<ButtonActionFields>(part);
  RuntimeLockObject(control);
  fields->control = control;
  fields->checked = checked ? 1 : 0;
  return part;
}

ButtonActionFields* ButtonActionOf(RuntimeObject* part) {
  if (!part) {
    RaiseNilObjectException();
    return nullptr;
  }
  auto* fields = ObjectFields<ButtonActionFields>(part);
  return fields->control ? fields : nullptr;
}

void ReleaseButtonAction(RuntimeObject* part) {
  RuntimeUnlockObject(std::exchange(ObjectFields<ButtonActionFields>(part)->control, nullptr));
}

ObjectDefinition* MakeButtonActionClass(const char* name, ObjectDestructor destructor, void* add,
                                        const char* addName, void* remove,
                                        const char* removeName) {
  // Class tables live as long as the run-time.
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0}};
  auto* methods = new MethodRecord[2]{
      MakeMethodRecord("addActionNotificationReceiver", nullptr, receiver, 1, add, addName),
      MakeMethodRecord("removeActionNotificationReceiver", nullptr, receiver, 1, remove,
                       removeName),
  };
  auto* definition = new ObjectDefinition;
  ObjectDefinitionSetName(definition, name);
  definition->instanceSize = sizeof(ButtonActionFields);
  definition->destructor = destructor;
  BuildMethodDefinitions(definition, methods, 2);
  definition->AddInterface(GetActionSourceInterfaceDefinition());
  return definition;
}
