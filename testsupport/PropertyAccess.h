// Reading and writing a property through its class records, the path
// compiled code takes: the accessor is found by name in the object's class
// chain and called with the record's parameter word. Methods are called the
// same way: CallMethod calls the record's function with the object first,
// AssignMethod the setter of an assignable method.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "core/ObjectDefinition.h"

inline PropertyAccess AccessOf(RuntimeObject* object, const char* name) {
  PropertyAccess access{};
  EXPECT_TRUE(FindPropertyAccess(object, name, &access)) << name;
  return access;
}

template <class T>
T GetProperty(RuntimeObject* object, const char* name) {
  const PropertyAccess access = AccessOf(object, name);
  if (!access.getter) return T{};
  return reinterpret_cast<T (*)(RuntimeObject*, uint32_t)>(access.getter)(object, access.parameter);
}

template <class T>
void SetProperty(RuntimeObject* object, const char* name, T value) {
  const PropertyAccess access = AccessOf(object, name);
  ASSERT_NE(access.setter, nullptr) << name << " is read-only";
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, T)>(access.setter)(object, access.parameter,
                                                                        value);
}

inline const MethodRecord* MethodOf(RuntimeObject* object, const char* name) {
  const RuntimeClass* runtimeClass = ObjectClassOf(object);
  const MethodDefinition* method =
      runtimeClass ? runtimeClass->definition->FindMethod(name) : nullptr;
  EXPECT_NE(method, nullptr) << name;
  return method ? method->record : nullptr;
}

template <class Result = void, class... Arguments>
Result CallMethod(RuntimeObject* object, const char* name, Arguments... arguments) {
  const MethodRecord* record = MethodOf(object, name);
  if (!record || !record->function) return Result();
  return reinterpret_cast<Result (*)(RuntimeObject*, Arguments...)>(record->function)(
      object, arguments...);
}

template <class... Arguments>
void AssignMethod(RuntimeObject* object, const char* name, Arguments... arguments) {
  const MethodRecord* record = MethodOf(object, name);
  ASSERT_TRUE(record && record->setter) << name << " is not assignable";
  reinterpret_cast<void (*)(RuntimeObject*, Arguments...)>(record->setter)(object, arguments...);
}
