// Members whose type is a class of a later subsystem (a Picture, a Sound, an
// EditField): the class is looked up by name once the start-up list has
// run, and a class not registered leaves the member untyped.
#pragma once
#include <cstddef>
#include <cstring>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

inline MemberType* TypeSlotOf(MethodRecord& record) { return &record.returnType; }
inline MemberType* TypeSlotOf(PropertyRecord& record) { return &record.type; }
inline MemberType* TypeSlotOf(ParameterRecord& record) { return &record.type; }

// Types every record of the table named `member` (a method's result, a
// property, a parameter) with the class registered as className, or none.
template <class Record, size_t Count>
void TypeMembersByClassName(Record (&records)[Count], const char* member, const char* className) {
  RuntimeClass* runtimeClass = RuntimeLookupClass(className);
  for (Record& record : records) {
    if (std::strcmp(record.name, member) == 0) {
      *TypeSlotOf(record) = runtimeClass ? runtimeClass->definition : nullptr;
    }
  }
}
