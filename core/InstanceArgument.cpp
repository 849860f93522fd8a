#include "core/InstanceArgument.h"

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"

bool IsInstanceArgument(RuntimeObject* object, ObjectDefinition* definition, const char* source,
                        int32_t line, const char* condition) {
  if (!object) {
    RaiseNilObjectException();
    return false;
  }
  if (!ObjectIsADefinition(object, definition)) {
    AssertionFailed(131, 4, source, line, condition, nullptr);
    return false;
  }
  return true;
}

#ifdef _WINDOWS_
#error "InstanceArgument is portable: it must not include <windows.h>."
#endif
