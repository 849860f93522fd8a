#include "testsupport/RecordingReceivers.h"

#include <string>

#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"

namespace {

struct ReceiverFields {
  StringRecord* tag;  // owned
};

ClassBuilder& ReceiverClass();

ReceiverFields* FieldsOf(RuntimeObject* receiver) {
  return ReceiverClass().Extra<ReceiverFields>(receiver);
}

void ReleaseTag(RuntimeObject* receiver) { StringAssign(&FieldsOf(receiver)->tag, nullptr); }

void LogCall(RuntimeObject* receiver, const char* method) {
  Log(StringToStdUTF8(FieldsOf(receiver)->tag) + "." + method);
}

void DataChanged(RuntimeObject* receiver) { LogCall(receiver, "DataChanged"); }
void PerformAction(RuntimeObject* receiver) { LogCall(receiver, "PerformAction"); }

ClassBuilder& ReceiverClass() {
  static const MethodRecord methods[] = {
      MakeMethodRecord("DataChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(DataChanged)),
      MakeMethodRecord("PerformAction", nullptr, nullptr, 0, RUNTIME_ENTRY(PerformAction)),
  };
  static ClassBuilder builder(nullptr, "RecordingReceiver", sizeof(ReceiverFields), nullptr,
                              ReleaseTag);
  static const bool described = [] {
    builder.Implements(GetDataNotificationReceiverInterfaceDefinition())
        .Implements(GetActionNotificationReceiverInterfaceDefinition())
        .Methods(methods, 2);
    return true;
  }();
  (void)described;
  return builder;
}

}  // namespace

ObjectDefinition* GetRecordingReceiverClassDefinition() { return ReceiverClass().Definition(); }

ObjectRef NewRecordingReceiver(const char* tag) {
  ObjectRef receiver = ObjectRef::Adopt(ReceiverClass().NewInstance());
  StringRef text = StringRef::Adopt(StringFromUTF8(tag));
  StringAssign(&FieldsOf(receiver.get())->tag, text.get());
  return receiver;
}
