// Language arrays: bounds, exceptions, element ownership and growth.
#include <gtest/gtest.h>

#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"

namespace {

int gDestroyed = 0;
void CountDestroyed(RuntimeObject*) { ++gDestroyed; }

// Takes the pending exception; whether there was one of that class.
bool TookException(ObjectDefinition* definition) {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  return exception && ObjectIsADefinition(exception.get(), definition);
}

class RuntimeArrayTest : public testing::Test {
 protected:
  void SetUp() override {
    RuntimeUnlockObject(RuntimeTakePendingException());
    TakeRecordedBoxes();
    gDestroyed = 0;
  }
  void TearDown() override { EXPECT_FALSE(RuntimeExceptionPending()); }

  ClassBuilder probes_{nullptr, "ArrayProbe", 0, nullptr, &CountDestroyed};
};

TEST_F(RuntimeArrayTest, BoundsOfNewArrays) {
  ArrayRef empty = ArrayRef::Adopt(CreateArray(1, kArrayInt32, -1));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->refCount, 1);
  EXPECT_EQ(RuntimeUBound(empty.get()), -1);

  ArrayRef doubles = ArrayRef::Adopt(CreateArray(1, kArrayDouble, 4));
  EXPECT_EQ(RuntimeUBound(doubles.get()), 4);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(*static_cast<double*>(FindArrayElement(doubles.get(), i)), 0.0);

  // Three by three, reached row-major through one index.
  ArrayRef grid = ArrayRef::Adopt(CreateArray(2, kArrayInt32, 2));
  EXPECT_EQ(RuntimeUBound(grid.get()), 2);
  EXPECT_NE(FindArrayElement(grid.get(), 8), nullptr);
  EXPECT_EQ(FindArrayElement(grid.get(), 9), nullptr);
  EXPECT_TRUE(TookException(GetOutOfBoundsExceptionClassDefinition()));
}

TEST_F(RuntimeArrayTest, NilArrayRaisesNilObjectException) {
  EXPECT_EQ(RuntimeUBound(nullptr), 0);
  EXPECT_TRUE(TookException(GetNilObjectExceptionClassDefinition()));
  EXPECT_EQ(FindArrayElement(nullptr, 0), nullptr);
  EXPECT_TRUE(TookException(GetNilObjectExceptionClassDefinition()));
  EXPECT_EQ(RuntimeDirectReadObjectArray(nullptr, 0), nullptr);
  EXPECT_TRUE(TookException(GetNilObjectExceptionClassDefinition()));
  IntegerArrayAppend(nullptr, 1);
  EXPECT_TRUE(TookException(GetNilObjectExceptionClassDefinition()));
}

TEST_F(RuntimeArrayTest, IndexOutsideTheBoundsRaisesOutOfBounds) {
  ArrayRef values = ArrayRef::Adopt(CreateArray(1, kArrayInt32, 2));
  for (int32_t index : {-1, 3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(RuntimeDirectReadIntArray(values.get(), index), 0) << index;
    EXPECT_TRUE(TookException(GetOutOfBoundsExceptionClassDefinition())) << index;
  }
  ArrayRef empty = ArrayRef::Adopt(CreateArray(1, kArrayObject, -1));
  EXPECT_EQ(RuntimeDirectReadObjectArray(empty.get(), 0), nullptr);
  EXPECT_TRUE(TookException(GetOutOfBoundsExceptionClassDefinition()));
}

TEST_F(RuntimeArrayTest, BadDeclarationsGiveNil) {
  EXPECT_EQ(CreateArray(1, kArrayInt32, -2), nullptr);
  EXPECT_TRUE(TookException(GetOutOfBoundsExceptionClassDefinition()));
  EXPECT_EQ(CreateArray(3, kArrayDouble, 100000), nullptr);  // 8e15 bytes
  EXPECT_TRUE(TookException(GetOutOfMemoryExceptionClassDefinition()));
  EXPECT_EQ(CreateArray(0, kArrayInt32, 1), nullptr);
  EXPECT_EQ(CreateArray(1, 7, 1), nullptr);
  EXPECT_EQ(TakeRecordedBoxes().size(), 2u);
}

TEST_F(RuntimeArrayTest, IntegerAppendGrowsAndKeepsElements) {
  ArrayRef values = ArrayRef::Adopt(CreateArray(1, kArrayInt32, -1));
  for (int32_t i = 0; i < 5000; ++i) IntegerArrayAppend(values.get(), i * 3);
  ASSERT_EQ(RuntimeUBound(values.get()), 4999);
  for (int32_t i = 0; i < 5000; ++i) ASSERT_EQ(RuntimeDirectReadIntArray(values.get(), i), i * 3);
  EXPECT_GE(values->bufferLength, 5000u * 4);
  // Growth keeps pace with the array rather than a fixed step.
  EXPECT_LE(values->bufferLength, 5000u * 4 * 2);
  EXPECT_GE(values->growthStep, 1000);
}

TEST_F(RuntimeArrayTest, WrongElementKindIsReportedAndChangesNothing) {
  ArrayRef strings = ArrayRef::Adopt(CreateArray(1, kArrayString, 0));
  IntegerArrayAppend(strings.get(), 5);
  EXPECT_EQ(RuntimeDirectReadIntArray(strings.get(), 0), 0);
  ArrayRef grid = ArrayRef::Adopt(CreateArray(2, kArrayInt32, 1));
  IntegerArrayAppend(grid.get(), 5);
  EXPECT_EQ(TakeRecordedBoxes().size(), 3u);
  EXPECT_EQ(RuntimeUBound(strings.get()), 0);
  EXPECT_EQ(RuntimeUBound(grid.get()), 1);
}

TEST_F(RuntimeArrayTest, ObjectElementsAreCounted) {
  ObjectRef first = ObjectRef::Adopt(probes_.NewInstance());
  ObjectRef second = ObjectRef::Adopt(probes_.NewInstance());
  ArrayRef objects = ArrayRef::Adopt(CreateArray(1, kArrayObject, 1));

  ObjectArraySetElement(objects.get(), 0, first.get());
  EXPECT_EQ(first->refCount, 2);
  RuntimeObject* read = RuntimeDirectReadObjectArray(objects.get(), 0);
  EXPECT_EQ(read, first.get());
  EXPECT_EQ(first->refCount, 3);
  RuntimeUnlockObject(read);

  ObjectArraySetElement(objects.get(), 0, second.get());
  EXPECT_EQ(first->refCount, 1);
  EXPECT_EQ(second->refCount, 2);
  EXPECT_EQ(RuntimeDirectReadObjectArray(objects.get(), 1), nullptr);  // never set

  ObjectArrayAppend(objects.get(), first.get());
  EXPECT_EQ(RuntimeUBound(objects.get()), 2);
  EXPECT_EQ(first->refCount, 2);
  EXPECT_EQ(gDestroyed, 0);
}

TEST_F(RuntimeArrayTest, StoringTheHeldElementAgainKeepsIt) {
  ArrayRef objects = ArrayRef::Adopt(CreateArray(1, kArrayObject, 0));
  RuntimeObject* only = probes_.NewInstance();
  ObjectArraySetElement(objects.get(), 0, only);
  RuntimeUnlockObject(only);  // the array holds the only reference
  ObjectArraySetElement(objects.get(), 0, only);
  EXPECT_EQ(gDestroyed, 0);
  EXPECT_EQ(only->refCount, 1);

  ArrayRef strings = ArrayRef::Adopt(CreateArray(1, kArrayString, 0));
  StringRecord* text = StringFromASCII("kept");
  StringArraySetElement(strings.get(), 0, text);
  RuntimeUnlockString(text);
  StringArraySetElement(strings.get(), 0, text);
  StringRef back = StringRef::Adopt(StringArrayGetElement(strings.get(), 0));
  EXPECT_EQ(StringBytes(back.get()), "kept");
  EXPECT_EQ(back->refCount, 2);
}

TEST_F(RuntimeArrayTest, LastUnlockReleasesElements) {
  ObjectRef probe = ObjectRef::Adopt(probes_.NewInstance());
  StringRef text = StringRef::Adopt(StringFromASCII("element"));
  RuntimeArray* objects = CreateArray(1, kArrayObject, 3);
  RuntimeArray* strings = CreateArray(1, kArrayString, -1);
  ObjectArraySetElement(objects, 2, probe.get());
  ObjectArrayAppend(objects, probe.get());
  StringArrayAppend(strings, text.get());
  StringArrayAppend(strings, text.get());
  EXPECT_EQ(probe->refCount, 3);
  EXPECT_EQ(text->refCount, 3);

  RuntimeLockArray(objects);
  RuntimeUnlockArray(objects);
  EXPECT_EQ(probe->refCount, 3);  // one reference of the array was left
  RuntimeUnlockArray(objects);
  RuntimeUnlockArray(strings);
  EXPECT_EQ(probe->refCount, 1);
  EXPECT_EQ(text->refCount, 1);

  RuntimeArray* last = CreateArray(1, kArrayObject, 0);
  RuntimeObject* held = probes_.NewInstance();
  ObjectArraySetElement(last, 0, held);
  RuntimeUnlockObject(held);
  EXPECT_EQ(gDestroyed, 0);
  RuntimeUnlockArray(last);
  EXPECT_EQ(gDestroyed, 1);
}

}  // namespace
