// The core's built-in classes, registered once at start-up.
#include "core/CoreClasses.h"

#include "core/Date.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/TextEncoding.h"
#include "core/Variant.h"

void RegisterCoreClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;

  ObjectDefinition* (*const definitions[])() = {
      GetRuntimeExceptionClassDefinition,
      GetNilObjectExceptionClassDefinition,
      GetOutOfBoundsExceptionClassDefinition,
      GetUnsupportedFormatExceptionClassDefinition,
      GetOutOfMemoryExceptionClassDefinition,
      GetServiceNotAvailableExceptionClassDefinition,
      GetRegistryAccessErrorExceptionClassDefinition,
      GetOLEExceptionClassDefinition,
      GetEndExceptionClassDefinition,
      GetDateClassDefinition,
      GetVariantClassDefinition,
      GetTextEncodingClassDefinition,
  };
  for (auto definition : definitions) RegisterIntrinsicClass(definition());
}

#ifdef _WINDOWS_
#error "CoreClasses is portable: it must not include <windows.h>."
#endif
