// Class definitions, their member lists, registration by name, and the
// run-time classes made from them.
#include "core/ObjectDefinition.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

#include "core/diagnostics.h"
#include "core/string.h"
#include "core/utility.h"

// TypeIsValueType tells a definition from a value type by its first word.
static_assert(std::is_standard_layout<ObjectDefinition>::value, "kind must be the first word");
static_assert(offsetof(ObjectDefinition, kind) == 0, "kind must be the first word");
static_assert(offsetof(ValueTypeDescriptor, kind) == 0, "kind must be the first word");

namespace {

const char kSource[] = "ObjectDefinition";

void Report(int32_t line, const char* condition, const std::string& extra) {
  AssertionFailed(131, 4, kSource, line, condition, extra.c_str());
}

ObjectDefinition* g_firstDefinition = nullptr;

bool NamesMatch(const char* a, const char* b) {
  return a && b && CStringCompareNoCase(a, b) == 0;
}

// A static record (count 0) in one block with its buffer, so that the
// definition frees it with one RuntimeFree.
StringRecord* NewStaticString(const char* text) {
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  void* block = RuntimeAlloc(sizeof(StringRecord) + length + 2);
  auto* record = static_cast<StringRecord*>(block);
  record->refCount = 0;
  record->buffer = reinterpret_cast<uint8_t*>(record + 1);
  record->capacity = length;
  record->length = length;
  record->encoding = kEncodingASCII;
  record->buffer[0] = static_cast<uint8_t>(length > 255 ? 255 : length);
  std::memcpy(record->buffer + 1, text, length);  // the NUL is already there
  return record;
}

// Appends a node to a singly linked member list.
template <class Node>
void AppendNode(const Node** head, Node* node) {
  while (*head) head = const_cast<const Node**>(&(*head)->next);
  *head = node;
}

template <class Node>
void FreeNodes(const Node* node) {
  while (node) {
    const Node* next = node->next;
    RuntimeFree(const_cast<Node*>(node));
    node = next;
  }
}

template <class Node>
const Node* FindNode(const Node* node, const char* name) {
  for (; node; node = node->next) {
    if (NamesMatch(node->record->name, name)) return node;
  }
  return nullptr;
}

// Borrowed tables follow the definition: members and interfaces added after
// the class was made are seen by it.
void RefreshClassTables(ObjectDefinition* definition) {
  RuntimeClass* runtimeClass = definition->runtimeClass;
  if (!runtimeClass) return;
  runtimeClass->name = definition->name;
  runtimeClass->methods = definition->methods;
  runtimeClass->sharedMethods = definition->sharedMethods;
  runtimeClass->properties = definition->properties;
  runtimeClass->interfaces = definition->interfaces;
  runtimeClass->interfaceCount = definition->interfaceCount;
}

RuntimeClass* MakeClass(ObjectDefinition* definition) {
  RuntimeClass* parent = RuntimeClassOfDefinition(definition->superclass);
  auto* runtimeClass = static_cast<RuntimeClass*>(RuntimeAlloc(sizeof(RuntimeClass)));
  runtimeClass->parent = parent;
  runtimeClass->instanceSize = definition->instanceSize;
  if (parent && parent->instanceSize > runtimeClass->instanceSize) {
    runtimeClass->instanceSize = parent->instanceSize;
  }
  if (runtimeClass->instanceSize < sizeof(RuntimeObject)) {
    runtimeClass->instanceSize = sizeof(RuntimeObject);
  }
  runtimeClass->isInterface = definition->isInterface;
  runtimeClass->constructor = definition->initialiser;
  runtimeClass->destructor = definition->destructor;
  runtimeClass->definition = definition;

  const uint32_t eventCount = definition->TotalEventCount();
  runtimeClass->eventCount = eventCount;
  runtimeClass->eventHandlers =
      static_cast<EventHandler*>(RuntimeAlloc((eventCount ? eventCount : 1) * sizeof(EventHandler)));
  if (parent) {
    const uint32_t inherited = parent->eventCount < eventCount ? parent->eventCount : eventCount;
    std::memcpy(runtimeClass->eventHandlers, parent->eventHandlers, inherited * sizeof(EventHandler));
  }
  definition->runtimeClass = runtimeClass;
  RefreshClassTables(definition);
  return runtimeClass;
}

ObjectDefinition* FindRegistered(const char* name) {
  for (ObjectDefinition* definition = g_firstDefinition; definition;
       definition = definition->nextDefinition) {
    if (definition->registered && NamesMatch(StringCStr(definition->name), name)) {
      return definition;
    }
  }
  return nullptr;
}

}  // namespace

// ---- ObjectDefinition --------------------------------------------------------

ObjectDefinition::ObjectDefinition() {
  nextDefinition = g_firstDefinition;
  if (g_firstDefinition) g_firstDefinition->previousDefinition = this;
  g_firstDefinition = this;
}

ObjectDefinition::~ObjectDefinition() {
  if (previousDefinition) {
    previousDefinition->nextDefinition = nextDefinition;
  } else if (g_firstDefinition == this) {
    g_firstDefinition = nextDefinition;
  }
  if (nextDefinition) nextDefinition->previousDefinition = previousDefinition;

  if (runtimeClass) {
    RuntimeFree(runtimeClass->spare);
    RuntimeFree(runtimeClass->eventHandlers);
    RuntimeFree(runtimeClass);
  }
  FreeNodes(properties);
  FreeNodes(methods);
  FreeNodes(sharedMethods);
  FreeNodes(events);
  RuntimeFree(interfaces);
  RuntimeFree(name);
}

void ObjectDefinition::AddInterface(ObjectDefinition* interfaceDefinition) {
  if (!interfaceDefinition) return;
  for (uint32_t i = 0; i < interfaceCount; ++i) {
    if (interfaces[i] == interfaceDefinition) return;
  }
  auto** grown = static_cast<ObjectDefinition**>(
      RuntimeAlloc((interfaceCount + 1) * sizeof(ObjectDefinition*)));
  if (interfaceCount) std::memcpy(grown, interfaces, interfaceCount * sizeof(ObjectDefinition*));
  grown[interfaceCount] = interfaceDefinition;
  RuntimeFree(interfaces);
  interfaces = grown;
  ++interfaceCount;
  RefreshClassTables(this);
}

uint32_t ObjectDefinition::TotalEventCount() const {
  return (superclass ? superclass->TotalEventCount() : 0) + eventCount;
}

const EventDefinition* ObjectDefinition::FindEvent(const char* eventName) const {
  for (const ObjectDefinition* definition = this; definition; definition = definition->superclass) {
    if (const EventDefinition* event = FindNode(definition->events, eventName)) return event;
  }
  return nullptr;
}

const PropertyDefinition* ObjectDefinition::FindProperty(const char* propertyName) const {
  for (const ObjectDefinition* definition = this; definition; definition = definition->superclass) {
    if (const PropertyDefinition* property = FindNode(definition->properties, propertyName)) {
      return property;
    }
  }
  return nullptr;
}

const MethodDefinition* ObjectDefinition::FindMethod(const char* methodName) const {
  for (const ObjectDefinition* definition = this; definition; definition = definition->superclass) {
    if (const MethodDefinition* method = FindNode(definition->methods, methodName)) return method;
  }
  return nullptr;
}

void* ObjectDefinition::FindEventImplementation(const char* eventName) const {
  for (const ObjectDefinition* definition = this; definition; definition = definition->superclass) {
    for (const EventImplementation* implementation = definition->eventImplementations;
         implementation; implementation = implementation->next) {
      if (NamesMatch(implementation->eventName, eventName)) return implementation->handler;
    }
  }
  return nullptr;
}

void ObjectDefinitionSetName(ObjectDefinition* definition, const char* newName) {
  if (!definition) return;
  RuntimeFree(definition->name);
  definition->name = newName ? NewStaticString(newName) : nullptr;
  RefreshClassTables(definition);
}

ObjectDefinition* FillSubclassDefinition(ObjectDefinition* definition, const char* name,
                                         ObjectDefinition* superclass) {
  ObjectDefinitionSetName(definition, name);
  definition->superclass = superclass;
  definition->instanceSize = superclass->instanceSize;
  return definition;
}

// ---- Member lists ------------------------------------------------------------

template <class Definition, class Record>
static void AppendMembers(const Definition** head, Record* records, int32_t count) {
  if (!records) return;
  for (int32_t i = 0; i < count; ++i) {
    auto* node = static_cast<Definition*>(RuntimeAlloc(sizeof(Definition)));
    node->record = &records[i];
    AppendNode(head, node);
  }
}

extern "C" void BuildEventDefinitions(ObjectDefinition* definition, EventRecord* records,
                                      int32_t count) {
  if (!definition || !records || count <= 0) return;
  if (definition->runtimeClass) {
    Report(__LINE__, "!definition->runtimeClass",
           "events added after the class of " + std::string(StringCStr(definition->name)) +
               " was made have no handler slots");
  }
  uint32_t slot = definition->TotalEventCount();
  for (int32_t i = 0; i < count; ++i) records[i].slot = slot++;
  AppendMembers(&definition->events, records, count);
  definition->eventCount += static_cast<uint32_t>(count);
}

extern "C" void BuildPropertyDefinitions(ObjectDefinition* definition,
                                         const PropertyRecord* records, int32_t count) {
  if (!definition) return;
  AppendMembers(&definition->properties, records, count);
  RefreshClassTables(definition);
}

extern "C" void BuildMethodDefinitions(ObjectDefinition* definition, const MethodRecord* records,
                                       int32_t count) {
  if (!definition) return;
  AppendMembers(&definition->methods, records, count);
  RefreshClassTables(definition);
}

extern "C" void BuildSharedMethodDefinitions(ObjectDefinition* definition,
                                             const MethodRecord* records, int32_t count) {
  if (!definition) return;
  AppendMembers(&definition->sharedMethods, records, count);
  RefreshClassTables(definition);
}

// ---- Registration and run-time classes -----------------------------------------

extern "C" void RegisterIntrinsicClass(ObjectDefinition* definition) {
  if (!definition || definition->registered) return;
  const char* className = StringCStr(definition->name);
  if (!*className) {
    Report(__LINE__, "definition->name", "a class without a name cannot be registered");
    return;
  }
  if (FindRegistered(className)) {
    Report(__LINE__, "!FindRegistered(name)",
           "the class name " + std::string(className) + " is already registered");
    return;
  }
  definition->registered = true;
}

RuntimeClass* RuntimeLookupClass(const char* className) {
  ObjectDefinition* definition = className ? FindRegistered(className) : nullptr;
  return definition ? RuntimeClassOfDefinition(definition) : nullptr;
}

extern "C" RuntimeClass* RuntimeLookupClass(const StringRecord* className) {
  if (!className) return nullptr;
  const std::string text = StringToStdUTF8(className);
  if (text.find('\0') != std::string::npos) return nullptr;  // no class name holds a NUL
  return RuntimeLookupClass(text.c_str());
}

// Made subclasses that still hold what they inherited at the slot follow the
// new handler, whichever class was made first.
extern "C" void RuntimeClassSetEventHandler(RuntimeClass* runtimeClass, uint32_t slot,
                                            EventHandler handler) {
  if (!runtimeClass) return;
  if (slot >= runtimeClass->eventCount) {
    Report(__LINE__, "slot < runtimeClass->eventCount",
           "slot " + std::to_string(slot) + " of class " + StringCStr(runtimeClass->name) +
               " with " + std::to_string(runtimeClass->eventCount) + " events");
    return;
  }
  const EventHandler inherited = runtimeClass->eventHandlers[slot];
  runtimeClass->eventHandlers[slot] = handler;
  for (ObjectDefinition* definition = g_firstDefinition; definition;
       definition = definition->nextDefinition) {
    RuntimeClass* subclass = definition->runtimeClass;
    if (subclass && subclass != runtimeClass && RuntimeClassIsa(subclass, runtimeClass) &&
        slot < subclass->eventCount && subclass->eventHandlers[slot] == inherited) {
      subclass->eventHandlers[slot] = handler;
    }
  }
}

extern "C" RuntimeClass* RuntimeClassOfDefinition(ObjectDefinition* definition) {
  if (!definition) return nullptr;
  return definition->runtimeClass ? definition->runtimeClass : MakeClass(definition);
}

#ifdef _WINDOWS_
#error "ObjectDefinition is portable: it must not include <windows.h>."
#endif
