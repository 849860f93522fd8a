// Language exceptions: raising marks the exception pending and returns; the
// caller takes it afterwards with its class, Message and ErrorNumber.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"

namespace {

class ExceptionTest : public testing::Test {
 protected:
  void TearDown() override {
    RuntimeUnlockObject(RuntimeTakePendingException());
    EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart) << "objects leaked";
    EXPECT_TRUE(TakeRecordedBoxes().empty()) << "unexpected assertion";
  }
  const uint32_t liveAtStart = RuntimeLiveObjectCount();
};

using ExceptionRaise = ExceptionTest;
using ExceptionClasses = ExceptionTest;

// An entry point in the run-time's manner: a bad index raises and the
// operation still runs to its end.
bool g_finished = false;
int32_t ElementOrDefault(const std::vector<int32_t>& values, int32_t index) {
  int32_t result = -1;
  if (index < 0 || index >= static_cast<int32_t>(values.size())) {
    RaiseExceptionWithMessage(GetOutOfBoundsExceptionClassDefinition(),
                              ("Index " + std::to_string(index) + " is out of bounds").c_str(),
                              index);
  } else {
    result = values[index];
  }
  g_finished = true;
  return result;
}

std::string Message(RuntimeObject* exception) {
  PropertyAccess access{};
  if (!FindPropertyAccess(exception, "Message", &access)) return "(no Message property)";
  auto getter = reinterpret_cast<StringRecord* (*)(RuntimeObject*, uint32_t)>(access.getter);
  StringRef message = StringRef::Adopt(getter(exception, access.parameter));
  return StringToStdUTF8(message.get());
}

int32_t ErrorNumber(RuntimeObject* exception) {
  PropertyAccess access{};
  if (!FindPropertyAccess(exception, "ErrorNumber", &access)) return -12345;
  return reinterpret_cast<int32_t (*)(RuntimeObject*, uint32_t)>(access.getter)(exception,
                                                                                access.parameter);
}

TEST_F(ExceptionRaise, EntryPointReturnsNormallyAndLeavesTheExceptionPending) {
  g_finished = false;
  EXPECT_EQ(ElementOrDefault({10, 20, 30}, 7), -1);
  EXPECT_TRUE(g_finished);
  ASSERT_TRUE(RuntimeExceptionPending());

  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_FALSE(RuntimeExceptionPending());
  EXPECT_EQ(RuntimePendingException(), nullptr);
  EXPECT_EQ(exception->refCount, 1) << "the caller holds the only reference";
  EXPECT_STREQ(StringCStr(ObjectClassOf(exception.get())->name), "OutOfBoundsException");
  EXPECT_TRUE(ObjectIsADefinition(exception.get(), GetRuntimeExceptionClassDefinition()));
  EXPECT_EQ(Message(exception.get()), "Index 7 is out of bounds");
  EXPECT_EQ(ErrorNumber(exception.get()), 7);

  // A call that raises nothing leaves nothing pending.
  EXPECT_EQ(ElementOrDefault({10, 20, 30}, 1), 20);
  EXPECT_FALSE(RuntimeExceptionPending());
}

TEST_F(ExceptionRaise, SecondRaiseWhilePendingIsDropped) {
  RaiseOutOfBoundsException();
  RuntimeObject* first = RuntimePendingException();
  RaiseNilObjectException();
  EXPECT_EQ(RuntimePendingException(), first);
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 1) << "the dropped exception is freed";
  EXPECT_TRUE(ObjectIsADefinition(first, GetOutOfBoundsExceptionClassDefinition()));
}

TEST_F(ExceptionRaise, RaiseTakesItsOwnReference) {
  ObjectRef exception = ObjectRef::Adopt(CreateInstance(GetNilObjectExceptionClassDefinition()));
  RuntimeRaiseException(exception.get());
  EXPECT_EQ(exception->refCount, 2);
  RuntimeRaiseException(exception.get());
  EXPECT_EQ(exception->refCount, 2) << "raised again while pending: dropped";
  RuntimeRaiseException(nullptr);
  EXPECT_EQ(RuntimePendingException(), exception.get());
  RuntimeUnlockObject(RuntimeTakePendingException());
  EXPECT_EQ(exception->refCount, 1);
  EXPECT_EQ(RuntimeTakePendingException(), nullptr);
}

TEST_F(ExceptionRaise, MessageLivesAsLongAsTheException) {
  StringRef message = StringRef::Adopt(StringFromASCII("no service"));
  RaiseExceptionWithMessage(GetServiceNotAvailableExceptionClassDefinition(), message.get(), -3);
  EXPECT_EQ(message->refCount, 2);
  {
    ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
    EXPECT_EQ(Message(exception.get()), "no service");
    EXPECT_EQ(ErrorNumber(exception.get()), -3);
  }
  EXPECT_EQ(message->refCount, 1);

  RaiseExceptionWithMessage(GetOLEExceptionClassDefinition(), "Größe", 0);
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_EQ(Message(exception.get()), "Größe");

  RaiseExceptionWithMessage(GetOLEExceptionClassDefinition(), static_cast<const char*>(nullptr), 0);
  ObjectRef empty = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_EQ(Message(empty.get()), "");
}

TEST_F(ExceptionRaise, MessageAndErrorNumberAreAssignable) {
  ObjectRef exception = ObjectRef::Adopt(CreateInstance(GetEndExceptionClassDefinition()));
  PropertyAccess message{}, number{};
  ASSERT_TRUE(FindPropertyAccess(exception.get(), "message", &message));
  ASSERT_TRUE(FindPropertyAccess(exception.get(), "errornumber", &number));
  StringRef text = StringRef::Adopt(StringFromASCII("quit"));
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, StringRecord*)>(message.setter)(
      exception.get(), message.parameter, text.get());
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, int32_t)>(number.setter)(
      exception.get(), number.parameter, 42);
  EXPECT_EQ(Message(exception.get()), "quit");
  EXPECT_EQ(ErrorNumber(exception.get()), 42);
}

TEST_F(ExceptionRaise, OnlyExceptionClassesAreRaised) {
  ObjectDefinition notAnException;
  ObjectDefinitionSetName(&notAnException, "NotAnException");
  RaiseExceptionOfDefinition(&notAnException);
  RaiseExceptionWithMessage(&notAnException, "text", 1);
  RaiseExceptionOfDefinition(nullptr);
  EXPECT_FALSE(RuntimeExceptionPending());
  std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_NE(boxes[0].text.find("NotAnException"), std::string::npos) << boxes[0].text;

  // The field getters refuse other objects and raise for nil.
  ObjectRef other = ObjectRef::Adopt(CreateInstance(&notAnException));
  EXPECT_EQ(exceptionErrorNumberGetter(other.get(), 0), 0);
  EXPECT_EQ(exceptionMessageGetter(other.get(), 0), nullptr);
  EXPECT_FALSE(RuntimeExceptionPending());
  EXPECT_EQ(exceptionMessageGetter(nullptr, 0), nullptr);
  ObjectRef nilException = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(nilException.get(), GetNilObjectExceptionClassDefinition()));
}

TEST_F(ExceptionClasses, EveryClassDerivesFromRuntimeExceptionUnderItsName) {
  struct Expected {
    ObjectDefinition* (*definition)();
    const char* name;
  };
  const Expected classes[] = {
      {GetNilObjectExceptionClassDefinition, "NilObjectException"},
      {GetOutOfBoundsExceptionClassDefinition, "OutOfBoundsException"},
      {GetUnsupportedFormatExceptionClassDefinition, "UnsupportedFormatException"},
      {GetOutOfMemoryExceptionClassDefinition, "OutOfMemoryException"},
      {GetServiceNotAvailableExceptionClassDefinition, "ServiceNotAvailableException"},
      {GetRegistryAccessErrorExceptionClassDefinition, "RegistryAccessErrorException"},
      {GetOLEExceptionClassDefinition, "OLEException"},
      {GetEndExceptionClassDefinition, "EndException"},
  };
  ObjectDefinition* base = GetRuntimeExceptionClassDefinition();
  EXPECT_STREQ(StringCStr(base->name), "RuntimeException");
  EXPECT_EQ(RuntimeLookupClass("RuntimeException"), RuntimeClassOfDefinition(base));
  for (const Expected& expected : classes) {
    ObjectDefinition* definition = expected.definition();
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(definition, expected.definition()) << "one definition per class";
    EXPECT_STREQ(StringCStr(definition->name), expected.name);
    EXPECT_EQ(definition->superclass, base);
    EXPECT_EQ(RuntimeLookupClass(expected.name), RuntimeClassOfDefinition(definition));
    ObjectRef exception = ObjectRef::Adopt(CreateInstance(definition));
    EXPECT_TRUE(ObjectIsADefinition(exception.get(), base));
    EXPECT_EQ(ErrorNumber(exception.get()), 0);
    EXPECT_EQ(Message(exception.get()), "");
  }
}

}  // namespace
