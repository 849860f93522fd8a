#include "system/AppleEvents.h"

#include <iterator>

#include "core/ObjectDefinition.h"
#include "files/runFolderItem.h"
#include "host/relocentry.h"
#include "system/InertMembers.h"

namespace {

enum AppleEventClass { kEvent, kRecord, kDescList, kObjectSpecifier, kTemplate, kTarget, kClasses };

ObjectDefinition* Definition(AppleEventClass which) {
  static ObjectDefinition definitions[kClasses];
  return &definitions[which];
}

MemberType FolderItemType() { return GetFolderItemClassDefinition(); }

struct Entry {
  void* function;
  const char* name;
};

// The inert getter of a value of the type.
Entry InertGetter(MemberType type) {
  if (type == &kIntegerType) return {INERT_ENTRY(InertInteger, "InertInteger")};
  if (type == &kBooleanType) return {INERT_ENTRY(InertBoolean, "InertBoolean")};
  if (type == &kSingleType) return {INERT_ENTRY(InertSingle, "InertSingle")};
  if (type == &kDoubleType) return {INERT_ENTRY(InertDouble, "InertDouble")};
  if (type == &kStringType) return {INERT_ENTRY(InertString, "InertString")};
  return {INERT_ENTRY(InertObject, "InertObject")};
}
const Entry kIgnore = {INERT_ENTRY(InertProcedure, "InertProcedure")};

PropertyRecord Property(const char* name, MemberType type, Entry getter = {},
                        Entry setter = kIgnore) {
  if (!getter.function) getter = InertGetter(type);
  return {setter.function ? 0u : uint32_t(kPropertyReadOnly),
          name,
          type,
          getter.function,
          getter.name,
          setter.function,
          setter.name,
          0};
}
PropertyRecord ReadOnly(const char* name, MemberType type, Entry getter = {}) {
  return Property(name, type, getter, Entry{});
}

const ParameterRecord kKeyword[] = {{"Keyword", &kStringType, 0}};
const ParameterRecord kIndex[] = {{"Index", &kIntegerType, 0}};

// Keyword methods, readable and assignable.
MethodRecord KeywordMethod(const char* name, MemberType type) {
  const Entry getter = InertGetter(type);
  return MakeMethodRecord(name, type, kKeyword, 1, getter.function, getter.name, kIgnore.function,
                          kIgnore.name);
}
MethodRecord AssignOnly(const char* name, MemberType type, const char* entryName) {
  return MakeMethodRecord(name, type, kKeyword, 1, nullptr, nullptr,
                          INERT_ENTRY(InertProcedure, entryName));
}
MethodRecord Procedure(const char* name, const ParameterRecord* parameters, uint32_t count,
                       const char* entryName) {
  return MakeMethodRecord(name, nullptr, parameters, count, INERT_ENTRY(InertProcedure, entryName));
}
MethodRecord Function(const char* name, MemberType type, const ParameterRecord* parameters,
                      uint32_t count) {
  const Entry getter = InertGetter(type);
  return MakeMethodRecord(name, type, parameters, count, getter.function, getter.name);
}

template <size_t P, size_t M>
void Fill(AppleEventClass which, const char* name, uint32_t size, PropertyRecord (&properties)[P],
          MethodRecord (&methods)[M]) {
  FillClassDefinition(Definition(which), name, size, nullptr, nullptr, properties, methods);
}

void BuildAppleEvent() {
  const Entry replyCode = {INERT_ENTRY(InertString, "appleEventReply4CharCodeGetter")};
  const Entry setReplyCode = {INERT_ENTRY(InertProcedure, "appleEventReply4CharCodeSetter")};
  const Entry pointer = {INERT_ENTRY(InertInteger, "appleEventPtrGetter")};
  static PropertyRecord properties[] = {
      Property("ReplyString", &kStringType),
      Property("ReplyBoolean", &kBooleanType),
      Property("ReplyInteger", &kIntegerType),
      Property("ReplyEnumerated", &kStringType, replyCode, setReplyCode),
      Property("ReplyMacType", &kStringType, replyCode, setReplyCode),
      Property("ReplySingle", &kSingleType),
      Property("ReplyDouble", &kDoubleType),
      Property("ReplyFolderItem", FolderItemType()),
      Property("ReplyObjectSpecifier", Definition(kObjectSpecifier)),
      Property("ReplyDescList", Definition(kDescList)),
      Property("ReplyRecord", Definition(kRecord)),
      {kPropertyPassesParameter, "Timeout", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(intSetter), uint32_t(offsetof(AppleEventFields, timeout))},
      ReadOnly("Ptr", &kIntegerType, pointer),
      ReadOnly("ReplyPtr", &kIntegerType, pointer),
  };
  static MethodRecord methods[] = {
      MakeMethodRecord("Send", &kBooleanType, nullptr, 0,
                       INERT_ENTRY(InertBoolean, "appleEventSend")),
  };
  Fill(kEvent, "AppleEvent", sizeof(AppleEventFields), properties, methods);

  // The parameter methods of AppleEvent and AppleEventRecord alike.
  static const ParameterRecord eventTemplate[] = {{"Template", Definition(kTemplate), 0}};
  static MethodRecord parameterMethods[] = {
      KeywordMethod("IntegerParam", &kIntegerType),
      KeywordMethod("SingleParam", &kSingleType),
      KeywordMethod("DoubleParam", &kDoubleType),
      KeywordMethod("BooleanParam", &kBooleanType),
      KeywordMethod("StringParam", &kStringType),
      KeywordMethod("MacTypeParam", &kStringType),
      KeywordMethod("EnumeratedParam", &kStringType),
      KeywordMethod("FolderItemParam", FolderItemType()),
      KeywordMethod("DescListParam", Definition(kDescList)),
      KeywordMethod("ObjectSpecifierParam", Definition(kObjectSpecifier)),
      KeywordMethod("RecordParam", Definition(kRecord)),
      Procedure("SetNullParam", kKeyword, 1, "InertProcedure"),
      Procedure("LoadFromTemplate", eventTemplate, 1, "appleEventLoadFromTemplate"),
  };
  for (AppleEventClass which : {kEvent, kRecord}) {
    BuildMethodDefinitions(Definition(which), parameterMethods,
                           int32_t(std::size(parameterMethods)));
  }
}

void BuildDescList() {
  ObjectDefinition* record = Definition(kRecord);
  ObjectDefinition* descList = Definition(kDescList);
  ObjectDefinition* specifier = Definition(kObjectSpecifier);
  static const ParameterRecord integerValue[] = {{"Value", &kIntegerType, 0}};
  static const ParameterRecord stringValue[] = {{"Value", &kStringType, 0}};
  static const ParameterRecord folderItemValue[] = {{"Value", FolderItemType(), 0}};
  static const ParameterRecord recordValue[] = {{"Value", record, 0}};
  static const ParameterRecord booleanValue[] = {{"Value", &kBooleanType, 0}};
  static const ParameterRecord descListValue[] = {{"Value", descList, 0}};
  static const ParameterRecord specifierValue[] = {{"Value", specifier, 0}};
  static PropertyRecord properties[] = {
      ReadOnly("Count", &kIntegerType, {INERT_ENTRY(InertInteger, "appleEventDescListCount")}),
  };
  const char* appendRecord = "appleEventDescListAppendRecord";
  static MethodRecord methods[] = {
      Function("IntegerItem", &kIntegerType, kIndex, 1),
      Function("StringItem", &kStringType, kIndex, 1),
      Function("FolderItemItem", FolderItemType(), kIndex, 1),
      Function("RecordItem", record, kIndex, 1),
      Function("BooleanItem", &kBooleanType, kIndex, 1),
      Function("DescListItem", descList, kIndex, 1),
      Function("ObjectSpecifierItem", specifier, kIndex, 1),
      Procedure("AppendInteger", integerValue, 1, "InertProcedure"),
      Procedure("AppendString", stringValue, 1, "InertProcedure"),
      Procedure("AppendFolderItem", folderItemValue, 1, "InertProcedure"),
      Procedure("AppendRecord", recordValue, 1, appendRecord),
      Procedure("AppendBoolean", booleanValue, 1, "InertProcedure"),
      Procedure("AppendDescList", descListValue, 1, appendRecord),
      Procedure("AppendObjectSpecifier", specifierValue, 1, appendRecord),
  };
  Fill(kDescList, "AppleEventDescList", sizeof(RuntimeObject), properties, methods);
}

void BuildTemplateAndTarget() {
  static MethodRecord templateMethods[] = {
      AssignOnly("IntegerParam", &kIntegerType, "aeTemplateSetIntParam"),
      AssignOnly("StringParam", &kStringType, "aeTemplateSetStringParam"),
      AssignOnly("FolderItemParam", FolderItemType(), "aeTemplateSetFolderItemParam"),
  };
  ObjectDefinitionSetName(Definition(kTemplate), "AppleEventTemplate");
  BuildMethodDefinitions(Definition(kTemplate), templateMethods,
                         int32_t(std::size(templateMethods)));

  static const PropertyRecord targetProperties[] = {
      ReadOnly("Remote", &kBooleanType, {INERT_ENTRY(InertBoolean, "aeTargetRemoteGetter")}),
      ReadOnly("Name", &kStringType, {INERT_ENTRY(InertString, "aeTargetNameGetter")}),
      ReadOnly("Zone", &kStringType, {INERT_ENTRY(InertString, "aeTargetZoneGetter")}),
      ReadOnly("Computer", &kStringType, {INERT_ENTRY(InertString, "aeTargetComputerGetter")}),
      ReadOnly("PortType", &kStringType, {INERT_ENTRY(InertString, "aeTargetPortTypeGetter")}),
  };
  ObjectDefinitionSetName(Definition(kTarget), "AppleEventTarget");
  BuildPropertyDefinitions(Definition(kTarget), targetProperties,
                           int32_t(std::size(targetProperties)));
}

void BuildAppleEventClasses() {
  ObjectDefinitionSetName(Definition(kRecord), "AppleEventRecord");
  ObjectDefinitionSetName(Definition(kObjectSpecifier), "AppleEventObjectSpecifier");
  BuildAppleEvent();
  BuildDescList();
  BuildTemplateAndTarget();
}

}  // namespace

void RegisterAppleEventClasses() {
  static const EntryPoint entries[] = {
      {"getNamedObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getUniqueIDObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getOrdinalObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getIndexedObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getPropertyObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getStringComparisonObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getRangeObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
      {"getTestObjectDescriptor", reinterpret_cast<void*>(&InertObject)},
  };
  static bool registered = false;
  if (registered) return;
  registered = true;
  BuildAppleEventClasses();
  for (int which = 0; which < kClasses; ++which) {
    RegisterIntrinsicClass(Definition(AppleEventClass(which)));
  }
  RegisterEntryPoints(entries, std::size(entries));
}
