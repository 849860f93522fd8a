// Helpers of the shape tests: instances, property access through the class's
// property records (the path compiled code takes), and pending exceptions.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/ShapeGeometry.h"
#include "graphics/Shapes2D.h"
#include "testsupport/PropertyAccess.h"

inline ObjectRef NewShape(ObjectDefinition* definition) {
  return ObjectRef::Adopt(CreateInstance(definition));
}

template <class Fields>
Fields* FieldsOf(const ObjectRef& object) {
  return reinterpret_cast<Fields*>(object.get());
}
inline Object2DFields* ShapeOf(const ObjectRef& object) {
  return FieldsOf<Object2DFields>(object);
}

inline double GetDouble(RuntimeObject* object, const char* name) {
  return GetProperty<double>(object, name);
}
inline void SetDouble(RuntimeObject* object, const char* name, double value) {
  SetProperty<double>(object, name, value);
}

// The class name of the exception the last call left pending ("" for none),
// which is taken.
inline std::string TakePendingExceptionClass() {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!exception) return "";
  return StringCStr(ObjectClassOf(exception.get())->name);
}

inline std::string TakePendingExceptionMessage() {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!exception) return "(none)";
  StringRef message = StringRef::Adopt(exceptionMessageGetter(exception.get(), 0));
  return StringToStdUTF8(message.get());
}

// Checks after each test that no exception was left pending and no box was
// recorded unseen. (Start-up registered the shape classes.)
class ShapeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RuntimeUnlockObject(RuntimeTakePendingException());
    TakeRecordedBoxes();
  }
  void TearDown() override {
    EXPECT_EQ(TakePendingExceptionClass(), "") << "an exception was left pending";
    for (const RecordedBox& box : TakeRecordedBoxes()) {
      ADD_FAILURE() << "unexpected box: " << box.caption << ": " << box.text;
    }
  }
};

// Points compared within 1e-9.
#define EXPECT_POINT_NEAR(point, ex, ey)  \
  do {                                    \
    const ShapePoint p_ = (point);        \
    EXPECT_NEAR(p_.x, (ex), 1e-9);        \
    EXPECT_NEAR(p_.y, (ey), 1e-9);        \
  } while (0)
