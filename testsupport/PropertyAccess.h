// Reading and writing a property through its class records, the path
// compiled code takes: the accessor is found by name in the object's class
// chain and called with the record's parameter word.
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
