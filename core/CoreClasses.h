// The one list of the core's built-in classes, registered at start-up.
#pragma once

// Registers Date, Variant, TextEncoding and the exception classes by name.
// Calling it again does nothing.
void RegisterCoreClasses();
