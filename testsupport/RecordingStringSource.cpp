#include "testsupport/RecordingStringSource.h"

#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"

namespace {

struct SourceFields {
  StringRecord* tag;   // owned
  StringRecord* text;  // owned
  uint8_t available;
};

int32_t liveSources = 0;

ClassBuilder& SourceClass();

SourceFields* FieldsOf(RuntimeObject* source) { return SourceClass().Extra<SourceFields>(source); }

void LogCall(RuntimeObject* source, const std::string& call) {
  Log(StringToStdUTF8(FieldsOf(source)->tag) + "." + call);
}

void Initialise(RuntimeObject*) { ++liveSources; }

void Destruct(RuntimeObject* source) {
  StringAssign(&FieldsOf(source)->tag, nullptr);
  StringAssign(&FieldsOf(source)->text, nullptr);
  --liveSources;
}

StringRecord* GetString(RuntimeObject* source) { return StringAddRef(FieldsOf(source)->text); }

void SetString(RuntimeObject* source, StringRecord* text) {
  LogCall(source, "setString(" + StringToStdUTF8(text) + ")");
  StringAssign(&FieldsOf(source)->text, text);
}

void AddReceiver(RuntimeObject* source, RuntimeObject*) { LogCall(source, "addReceiver"); }
void RemoveReceiver(RuntimeObject* source, RuntimeObject*) { LogCall(source, "removeReceiver"); }
bool DataAvailable(RuntimeObject* source) { return FieldsOf(source)->available != 0; }

ClassBuilder& SourceClass() {
  static const ParameterRecord text[] = {{"Str", &kStringType, 0}};
  static const ParameterRecord receiver[] = {{"receiver", nullptr, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getString", &kStringType, nullptr, 0, RUNTIME_ENTRY(GetString)),
      MakeMethodRecord("setString", nullptr, text, 1, RUNTIME_ENTRY(SetString)),
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(AddReceiver)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(RemoveReceiver)),
      MakeMethodRecord("DataAvailable", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(DataAvailable)),
  };
  static ClassBuilder builder(nullptr, "RecordingStringSource", sizeof(SourceFields), Initialise,
                              Destruct);
  static const bool described = [] {
    builder.Implements(GetStringProviderInterfaceDefinition())
        .Implements(GetStringInterfaceInterfaceDefinition())
        .Implements(GetDataNotifierInterfaceDefinition())
        .Implements(GetDataAvailableProviderInterfaceDefinition())
        .Methods(methods, 5);
    return true;
  }();
  (void)described;
  return builder;
}

}  // namespace

ObjectRef NewRecordingStringSource(const char* tag, const std::string& text, bool available) {
  ObjectRef source = ObjectRef::Adopt(SourceClass().NewInstance());
  SourceFields* fields = FieldsOf(source.get());
  StringRef tagText = StringRef::Adopt(StringFromUTF8(tag));
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  StringAssign(&fields->tag, tagText.get());
  StringAssign(&fields->text, value.get());
  fields->available = available ? 1 : 0;
  return source;
}

std::string StringSourceText(RuntimeObject* source) {
  return StringToStdUTF8(FieldsOf(source)->text);
}

int32_t LiveStringSourceCount() { return liveSources; }
