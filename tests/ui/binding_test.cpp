// The binding interfaces and receiver lists: receivers defined the way an
// application class implements an interface, notified in rounds.
#include "ui/Binding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

// What the receivers were called with, in order: "<tag>.<method>".
std::vector<std::string> calls;

struct ReceiverFields {
  char tag;
  ReceiverList* removeFrom;  // the receiver removes itself from this list
  bool raise;
};

ClassBuilder* receiverClass = nullptr;

ReceiverFields* FieldsOf(RuntimeObject* receiver) {
  return receiverClass->Extra<ReceiverFields>(receiver);
}

void Record(RuntimeObject* receiver, const char* method) {
  ReceiverFields* fields = FieldsOf(receiver);
  calls.push_back(std::string(1, fields->tag) + "." + method);
  if (fields->removeFrom) ReceiverListRemove(fields->removeFrom, receiver);
  if (fields->raise) RaiseNilObjectException();
}

void DataChanged(RuntimeObject* receiver) { Record(receiver, "DataChanged"); }
void PerformAction(RuntimeObject* receiver) { Record(receiver, "PerformAction"); }
void ListDataReload(RuntimeObject* receiver) { Record(receiver, "listDataReload"); }

class BindingTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    calls.clear();
    builder_.Implements(GetDataNotificationReceiverInterfaceDefinition())
        .Implements(GetActionNotificationReceiverInterfaceDefinition())
        .Implements(GetListDataNotificationReceiverInterfaceDefinition())
        .Methods(methods_, 3);
    receiverClass = &builder_;
  }
  void TearDown() override {
    ReceiverListClear(&list_);
    receiverClass = nullptr;
    HostTest::TearDown();
  }

  ObjectRef NewReceiver(char tag) {
    ObjectRef receiver = ObjectRef::Adopt(builder_.NewInstance());
    FieldsOf(receiver.get())->tag = tag;
    return receiver;
  }

  MethodRecord methods_[3] = {
      MakeMethodRecord("DataChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(DataChanged)),
      MakeMethodRecord("PerformAction", nullptr, nullptr, 0, RUNTIME_ENTRY(PerformAction)),
      MakeMethodRecord("listDataReload", nullptr, nullptr, 0, RUNTIME_ENTRY(ListDataReload)),
  };
  ClassBuilder builder_{nullptr, "BindingReceiver", sizeof(ReceiverFields)};
  ReceiverList list_{};
};

TEST_F(BindingTest, EveryInterfaceIsRegisteredByItsName) {
  for (const char* name :
       {"BooleanProvider", "StringProvider", "StringInterface", "DataAvailableProvider",
        "ListInterface", "actionSource", "actionNotificationReceiver", "dataNotifier",
        "dataNotificationReceiver", "listSelectionNotifier", "listSelectionNotificationReceiver",
        "bindingInterface", "bindingPartInterface", "listDataProvider", "listDataNotifier",
        "listDataNotificationReceiver", "tupleInterface"}) {
    RuntimeClass* found = RuntimeLookupClass(name);
    ASSERT_NE(found, nullptr) << name;
    EXPECT_TRUE(found->isInterface) << name;
  }
  EXPECT_EQ(RuntimeLookupClass("DataChanged"), nullptr);
}

TEST_F(BindingTest, InterfaceMethodsAreFoundByTheirNames) {
  ObjectRef a = NewReceiver('a');
  EXPECT_TRUE(ObjectImplementsInterface(a.get(), GetDataNotificationReceiverInterfaceDefinition()));
  EXPECT_FALSE(ObjectImplementsInterface(a.get(), GetTupleInterfaceInterfaceDefinition()));
  EXPECT_NE(GetListDataNotificationReceiverInterfaceDefinition()->FindMethod("listDataInsertedRow"),
            nullptr);
  EXPECT_NE(GetListSelectionNotifierInterfaceDefinition()->FindMethod(
                "addListSelectionNotificationReceiver"),
            nullptr);
  EXPECT_NE(GetDataAvailableProviderInterfaceDefinition()->FindMethod("DataAvailable"), nullptr);
  EXPECT_EQ(GetBindingInterfaceInterfaceDefinition()->methods, nullptr);
}

TEST_F(BindingTest, EveryReceiverIsCalledOncePerRoundNewestFirst) {
  ObjectRef a = NewReceiver('a');
  ObjectRef b = NewReceiver('b');
  ReceiverListAdd(&list_, a.get());
  ReceiverListAdd(&list_, b.get());
  ReceiverListAdd(&list_, nullptr);

  NotifyDataChanged(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"b.DataChanged", "a.DataChanged"}));
  calls.clear();
  NotifyPerformAction(&list_);
  NotifyListDataReload(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"b.PerformAction", "a.PerformAction",
                                             "b.listDataReload", "a.listDataReload"}));
}

TEST_F(BindingTest, ReceiversOfAnotherClassAreSkipped) {
  ClassBuilder plain(nullptr, "PlainObject");
  ObjectRef other = ObjectRef::Adopt(plain.NewInstance());
  ObjectRef a = NewReceiver('a');
  ReceiverListAdd(&list_, a.get());
  ReceiverListAdd(&list_, other.get());
  NotifyDataChanged(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"a.DataChanged"}));
  ReceiverListClear(&list_);
}

TEST_F(BindingTest, RemoveAndClearBalanceTheReferences) {
  ObjectRef a = NewReceiver('a');
  ObjectRef absent = NewReceiver('x');
  int32_t before = a->refCount;
  ReceiverListAdd(&list_, a.get());
  ReceiverListAdd(&list_, a.get());
  EXPECT_EQ(a->refCount, before + 2);

  ReceiverListRemove(&list_, absent.get());
  EXPECT_EQ(absent->refCount, 1);
  EXPECT_EQ(a->refCount, before + 2);
  NotifyDataChanged(&list_);
  EXPECT_EQ(calls.size(), 2u);

  ReceiverListRemove(&list_, a.get());
  EXPECT_EQ(a->refCount, before + 1);
  ASSERT_NE(list_.head, nullptr);
  EXPECT_EQ(list_.head->next, nullptr);

  ReceiverListAdd(&list_, absent.get());
  ReceiverListClear(&list_);
  EXPECT_EQ(list_.head, nullptr);
  EXPECT_EQ(a->refCount, before);
  EXPECT_EQ(absent->refCount, 1);
}

TEST_F(BindingTest, ReceiverThatRemovesItselfRunsOnceAndNotAgain) {
  ObjectRef a = NewReceiver('a');
  ObjectRef b = NewReceiver('b');
  ReceiverListAdd(&list_, a.get());
  ReceiverListAdd(&list_, b.get());
  FieldsOf(b.get())->removeFrom = &list_;

  NotifyDataChanged(&list_);
  NotifyDataChanged(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"b.DataChanged", "a.DataChanged", "a.DataChanged"}));
  EXPECT_EQ(b->refCount, 1);
}

TEST_F(BindingTest, ListEmptiedDuringARoundStillFinishesTheRound) {
  // The only references to the receivers are the list's: the round's own
  // keep them alive until it ends.
  ReceiverListAdd(&list_, NewReceiver('a').get());
  ReceiverListAdd(&list_, NewReceiver('b').get());
  uint32_t live = RuntimeLiveObjectCount();
  FieldsOf(list_.head->object)->removeFrom = &list_;
  FieldsOf(list_.head->next->object)->removeFrom = &list_;

  NotifyDataChanged(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"b.DataChanged", "a.DataChanged"}));
  EXPECT_EQ(list_.head, nullptr);
  EXPECT_EQ(RuntimeLiveObjectCount(), live - 2);
}

TEST_F(BindingTest, RaisingReceiverStopsTheRoundWithTheExceptionPending) {
  ObjectRef a = NewReceiver('a');
  ObjectRef b = NewReceiver('b');
  ReceiverListAdd(&list_, a.get());
  ReceiverListAdd(&list_, b.get());
  FieldsOf(b.get())->raise = true;

  NotifyPerformAction(&list_);
  EXPECT_EQ(calls, (std::vector<std::string>{"b.PerformAction"}));
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_NE(exception.get(), nullptr);
}

RuntimeObject* boundControl = nullptr;
void RecordBinding(RuntimeObject* control, RuntimeObject*) { boundControl = control; }

TEST_F(BindingTest, StringBinderCallsTheInstalledHookOnly) {
  ObjectRef a = NewReceiver('a');
  stringBinder(a.get(), nullptr);
  StringBinderHook previous = SetStringBinderHook(&RecordBinding);
  stringBinder(a.get(), nullptr);
  SetStringBinderHook(previous);
  EXPECT_EQ(boundControl, a.get());
}

}  // namespace
