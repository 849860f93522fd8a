// The built-in control classes of the start-up class list.
#pragma once

// Registers every built-in control class (CheckBox, PushButton ...) so that
// compiled code finds them by name. ui's RegisterControlClasses registers
// their bases, Control and RectControl, and runs first.
void RegisterBuiltInControlClasses();
