#include "controls/ControlClasses.h"

#include "controls/CheckBox.h"
#include "controls/PushButton.h"
#include "core/ObjectDefinition.h"

void RegisterBuiltInControlClasses() {
  RegisterIntrinsicClass(GetCheckBoxClassDefinition());
  RegisterIntrinsicClass(GetCheckBoxActionClassDefinition());
  RegisterIntrinsicClass(GetPushButtonClassDefinition());
}
