// Interface definitions are function-local statics made on first request and
// kept for the run; receiver lists are plain linked nodes in RuntimeAlloc
// blocks.
#include "ui/Binding.h"

#include <utility>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/utility.h"

namespace {

StringBinderHook stringBinderHook = nullptr;

MethodRecord Method(const char* name, MemberType result = nullptr,
                    const ParameterRecord* parameters = nullptr, uint32_t count = 0) {
  return MakeMethodRecord(name, result, parameters, count, nullptr, nullptr);
}

template <size_t N>
ObjectDefinition* DefineInterface(ObjectDefinition* definition, const char* name,
                                  const MethodRecord (&methods)[N]) {
  ObjectDefinitionSetName(definition, name);
  definition->isInterface = true;
  BuildMethodDefinitions(definition, methods, int32_t(N));
  return definition;
}

ObjectDefinition* DefineMarkerInterface(ObjectDefinition* definition, const char* name) {
  ObjectDefinitionSetName(definition, name);
  definition->isInterface = true;
  return definition;
}

using ReceiverMethod = void (*)(RuntimeObject* receiver);

void NotifyReceivers(ReceiverList* list, ObjectDefinition* interfaceDefinition,
                     const char* methodName) {
  if (!list) return;
  std::vector<ObjectRef> round;
  for (ReceiverNode* node = list->head; node; node = node->next) {
    round.push_back(ObjectRef::Retain(node->object));
  }
  for (const ObjectRef& receiver : round) {
    auto method = reinterpret_cast<ReceiverMethod>(
        FindInterfaceMethod(receiver.get(), interfaceDefinition, methodName));
    if (!method) continue;
    method(receiver.get());
    if (RuntimeExceptionPending()) break;
  }
}

}  // namespace

// ---- Interfaces ----

ObjectDefinition* GetBooleanProviderInterfaceDefinition() {
  static const ParameterRecord value[] = {{"value", &kBooleanType, 0}};
  static const MethodRecord methods[] = {Method("getBoolean", &kBooleanType),
                                         Method("setBoolean", nullptr, value, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "BooleanProvider", methods);
  return made;
}

ObjectDefinition* GetStringProviderInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("getString", &kStringType)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "StringProvider", methods);
  return made;
}

ObjectDefinition* GetStringInterfaceInterfaceDefinition() {
  static const ParameterRecord value[] = {{"value", &kStringType, 0}};
  static const MethodRecord methods[] = {Method("setString", nullptr, value, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "StringInterface", methods);
  return made;
}

ObjectDefinition* GetDataAvailableProviderInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("DataAvailable", &kBooleanType)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "DataAvailableProvider", methods);
  return made;
}

ObjectDefinition* GetListInterfaceInterfaceDefinition() {
  static const ParameterRecord provider[] = {
      {"provider", GetListDataProviderInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {Method("BindList", nullptr, provider, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "ListInterface", methods);
  return made;
}

ObjectDefinition* GetActionSourceInterfaceDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      Method("addActionNotificationReceiver", nullptr, receiver, 1),
      Method("removeActionNotificationReceiver", nullptr, receiver, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "actionSource", methods);
  return made;
}

ObjectDefinition* GetActionNotificationReceiverInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("PerformAction")};
  static ObjectDefinition definition;
  static ObjectDefinition* made =
      DefineInterface(&definition, "actionNotificationReceiver", methods);
  return made;
}

ObjectDefinition* GetDataNotifierInterfaceDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      Method("addDataNotificationReceiver", nullptr, receiver, 1),
      Method("removeDataNotificationReceiver", nullptr, receiver, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "dataNotifier", methods);
  return made;
}

ObjectDefinition* GetDataNotificationReceiverInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("DataChanged")};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "dataNotificationReceiver", methods);
  return made;
}

ObjectDefinition* GetListSelectionNotifierInterfaceDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetListSelectionNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      Method("addListSelectionNotificationReceiver", nullptr, receiver, 1),
      Method("removeListSelectionNotificationReceiver", nullptr, receiver, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "listSelectionNotifier", methods);
  return made;
}

ObjectDefinition* GetListSelectionNotificationReceiverInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("selectionChanged"), Method("selectionChanging")};
  static ObjectDefinition definition;
  static ObjectDefinition* made =
      DefineInterface(&definition, "listSelectionNotificationReceiver", methods);
  return made;
}

ObjectDefinition* GetBindingInterfaceInterfaceDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineMarkerInterface(&definition, "bindingInterface");
  return made;
}

ObjectDefinition* GetBindingPartInterfaceInterfaceDefinition() {
  static const MethodRecord methods[] = {Method("getBoundPart")};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "bindingPartInterface", methods);
  return made;
}

ObjectDefinition* GetListDataProviderInterfaceDefinition() {
  static const ParameterRecord row[] = {{"row", &kIntegerType, 0}};
  static const MethodRecord methods[] = {Method("GetCount", &kIntegerType),
                                         Method("GetRow", nullptr, row, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "listDataProvider", methods);
  return made;
}

ObjectDefinition* GetListDataNotifierInterfaceDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetListDataNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      Method("addListDataNotificationReceiver", nullptr, receiver, 1),
      Method("removeListDataNotificationReceiver", nullptr, receiver, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "listDataNotifier", methods);
  return made;
}

ObjectDefinition* GetListDataNotificationReceiverInterfaceDefinition() {
  static const ParameterRecord row[] = {{"row", &kIntegerType, 0}};
  static const MethodRecord methods[] = {Method("listDataReload"),
                                         Method("listDataInsertedRow", nullptr, row, 1),
                                         Method("listDataRemovedRow", nullptr, row, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made =
      DefineInterface(&definition, "listDataNotificationReceiver", methods);
  return made;
}

ObjectDefinition* GetTupleInterfaceInterfaceDefinition() {
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {Method("FieldCount", &kIntegerType),
                                         Method("getIndString", &kStringType, index, 1)};
  static ObjectDefinition definition;
  static ObjectDefinition* made = DefineInterface(&definition, "tupleInterface", methods);
  return made;
}

void RegisterBindingInterfaces() {
  for (ObjectDefinition* definition : {
           GetBooleanProviderInterfaceDefinition(),
           GetStringProviderInterfaceDefinition(),
           GetStringInterfaceInterfaceDefinition(),
           GetDataAvailableProviderInterfaceDefinition(),
           GetListInterfaceInterfaceDefinition(),
           GetActionSourceInterfaceDefinition(),
           GetActionNotificationReceiverInterfaceDefinition(),
           GetDataNotifierInterfaceDefinition(),
           GetDataNotificationReceiverInterfaceDefinition(),
           GetListSelectionNotifierInterfaceDefinition(),
           GetListSelectionNotificationReceiverInterfaceDefinition(),
           GetBindingInterfaceInterfaceDefinition(),
           GetBindingPartInterfaceInterfaceDefinition(),
           GetListDataProviderInterfaceDefinition(),
           GetListDataNotifierInterfaceDefinition(),
           GetListDataNotificationReceiverInterfaceDefinition(),
           GetTupleInterfaceInterfaceDefinition(),
       }) {
    RegisterIntrinsicClass(definition);
  }
}

// ---- Receiver lists ----

void ReceiverListAdd(ReceiverList* list, RuntimeObject* object) {
  if (!list || !object) return;
  auto* node = static_cast<ReceiverNode*>(RuntimeAlloc(sizeof(ReceiverNode)));
  RuntimeLockObject(object);
  node->object = object;
  node->next = list->head;
  list->head = node;
}

void ReceiverListRemove(ReceiverList* list, RuntimeObject* object) {
  if (!list || !object) return;
  for (ReceiverNode** link = &list->head; *link; link = &(*link)->next) {
    ReceiverNode* node = *link;
    if (node->object != object) continue;
    *link = node->next;
    RuntimeFree(node);
    RuntimeUnlockObject(object);
    return;
  }
}

void ReceiverListClear(ReceiverList* list) {
  if (!list) return;
  // Unlink first: an object's destructor may reach the list again.
  ReceiverNode* node = std::exchange(list->head, nullptr);
  while (node) {
    ReceiverNode* next = node->next;
    RuntimeObject* object = node->object;
    RuntimeFree(node);
    RuntimeUnlockObject(object);
    node = next;
  }
}

void NotifyDataChanged(ReceiverList* list) {
  NotifyReceivers(list, GetDataNotificationReceiverInterfaceDefinition(), "DataChanged");
}

void NotifyPerformAction(ReceiverList* list) {
  NotifyReceivers(list, GetActionNotificationReceiverInterfaceDefinition(), "PerformAction");
}

void NotifyListDataReload(ReceiverList* list) {
  NotifyReceivers(list, GetListDataNotificationReceiverInterfaceDefinition(), "listDataReload");
}

// ---- The string binder ----

void stringBinder(RuntimeObject* control, RuntimeObject* source) {
  if (stringBinderHook) stringBinderHook(control, source);
}

StringBinderHook SetStringBinderHook(StringBinderHook hook) {
  return std::exchange(stringBinderHook, hook);
}
