// The check every class's entry points make on the object they work on.
#pragma once
#include <cstdint>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

// Whether the object is an instance of the class (or of a subclass). A nil
// object leaves NilObjectException pending; an object of another class, which
// only C++ code can pass, is reported through AssertionFailed as a fault of
// the caller at (source, line) with the condition's text.
bool IsInstanceArgument(RuntimeObject* object, ObjectDefinition* definition, const char* source,
                        int32_t line, const char* condition);

// The object's fields when it passes the check above; nil otherwise.
template <class Fields>
Fields* InstanceArgument(RuntimeObject* object, ObjectDefinition* definition, const char* source,
                         int32_t line, const char* condition) {
  if (!IsInstanceArgument(object, definition, source, line, condition)) return nullptr;
  return ObjectFields<Fields>(object);
}
