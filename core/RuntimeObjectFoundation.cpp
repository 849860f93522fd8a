// Objects: creation, reference counting and destruction, the list of live
// objects, class tests, event handlers and interfaces.
#include "core/RuntimeObjectFoundation.h"

#include <cstring>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/string.h"
#include "core/utility.h"

namespace {

RuntimeObject* g_firstLiveObject = nullptr;
uint32_t g_liveObjectCount = 0;

void LinkLiveObject(RuntimeObject* object) {
  object->previous = nullptr;
  object->next = g_firstLiveObject;
  if (g_firstLiveObject) g_firstLiveObject->previous = object;
  g_firstLiveObject = object;
  ++g_liveObjectCount;
}

void UnlinkLiveObject(RuntimeObject* object) {
  if (object->previous) {
    object->previous->next = object->next;
  } else {
    g_firstLiveObject = object->next;
  }
  if (object->next) object->next->previous = object->previous;
  object->previous = object->next = nullptr;
  --g_liveObjectCount;
}

void RunInitialisers(const RuntimeClass* runtimeClass, RuntimeObject* object) {
  if (!runtimeClass) return;
  RunInitialisers(runtimeClass->parent, object);
  if (runtimeClass->constructor) runtimeClass->constructor(object);
}

// Runs with the count at 0, so that a destructor handing the object around
// (locking and unlocking it) cannot destroy it a second time.
void DestroyObject(RuntimeObject* object) {
  for (const RuntimeClass* c = object->runtimeClass; c; c = c->parent) {
    if (c->destructor) c->destructor(object);
  }
  UnlinkLiveObject(object);
  RuntimeClass* runtimeClass = object->runtimeClass;
  if (runtimeClass->keepsSpare && !runtimeClass->spare) {
    runtimeClass->spare = object;
    return;
  }
  RuntimeFree(object);
}

// The part of a member name after its last ".".
const char* ShortName(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot ? dot + 1 : name;
}

bool ListsInterface(const RuntimeClass* runtimeClass, const ObjectDefinition* interfaceDefinition) {
  for (uint32_t i = 0; i < runtimeClass->interfaceCount; ++i) {
    for (const ObjectDefinition* listed = runtimeClass->interfaces[i]; listed;
         listed = listed->superclass) {
      if (listed == interfaceDefinition) return true;
    }
  }
  return false;
}

// The first method of the class chain (most derived first) whose name
// satisfies the predicate.
template <class Predicate>
void* FindMethodFunction(const RuntimeClass* runtimeClass, Predicate matches) {
  for (const RuntimeClass* c = runtimeClass; c; c = c->parent) {
    for (const MethodDefinition* method = c->methods; method; method = method->next) {
      const char* name = method->record->name;
      if (name && matches(name)) return method->record->function;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" {

RuntimeObject* CreateInstance(ObjectDefinition* definition) {
  if (!definition || definition->isInterface) return nullptr;
  return RuntimeNewObject(RuntimeClassOfDefinition(definition));
}

RuntimeObject* RuntimeNewObject(RuntimeClass* runtimeClass) {
  if (!runtimeClass || runtimeClass->isInterface) return nullptr;
  RuntimeObject* object = runtimeClass->spare;
  if (object) {
    runtimeClass->spare = nullptr;
    ShortZero(object, runtimeClass->instanceSize);
  } else {
    object = static_cast<RuntimeObject*>(RuntimeAlloc(runtimeClass->instanceSize));
  }
  object->runtimeClass = runtimeClass;
  object->eventTable = runtimeClass->eventHandlers;
  object->refCount = 1;
  LinkLiveObject(object);
  RunInitialisers(runtimeClass, object);
  return object;
}

RuntimeClass* ObjectClassOf(const RuntimeObject* object) {
  return object ? object->runtimeClass : nullptr;
}

void RuntimeClassKeepSpare(RuntimeClass* runtimeClass) {
  if (runtimeClass) runtimeClass->keepsSpare = 1;
}

void RuntimeLockObject(RuntimeObject* object) {
  if (object && object->refCount > 0) ++object->refCount;
}

void RuntimeUnlockObject(RuntimeObject* object) {
  if (!object || object->refCount <= 0) return;
  if (--object->refCount == 0) DestroyObject(object);
}

bool RuntimeClassIsa(const RuntimeClass* runtimeClass, const RuntimeClass* ancestor) {
  if (!ancestor) return false;
  for (const RuntimeClass* c = runtimeClass; c; c = c->parent) {
    if (c == ancestor) return true;
  }
  return false;
}

bool RuntimeObjectIsa(const RuntimeObject* object, const RuntimeClass* runtimeClass) {
  if (!object || !runtimeClass) return false;
  if (runtimeClass->isInterface) return ObjectImplementsInterface(object, runtimeClass->definition);
  return RuntimeClassIsa(object->runtimeClass, runtimeClass);
}

bool ObjectIsADefinition(const RuntimeObject* object, ObjectDefinition* definition) {
  if (!object || !definition) return false;
  if (definition->isInterface) return ObjectImplementsInterface(object, definition);
  for (const RuntimeClass* c = object->runtimeClass; c; c = c->parent) {
    if (c->definition == definition) return true;
  }
  return false;
}

EventHandler FindEventHandlerAtSlot(const RuntimeObject* object, uint32_t slot) {
  if (!object || !object->runtimeClass || !object->eventTable) return nullptr;
  if (slot >= object->runtimeClass->eventCount) return nullptr;
  return object->eventTable[slot];
}

EventHandler FindEventHandler(const RuntimeObject* object, const EventRecord* event) {
  return event ? FindEventHandlerAtSlot(object, event->slot) : nullptr;
}

bool ObjectImplementsInterface(const RuntimeObject* object, ObjectDefinition* interfaceDefinition) {
  if (!object || !interfaceDefinition) return false;
  for (const RuntimeClass* c = object->runtimeClass; c; c = c->parent) {
    if (ListsInterface(c, interfaceDefinition)) return true;
  }
  return false;
}

void* FindInterfaceMethod(const RuntimeObject* object, ObjectDefinition* interfaceDefinition,
                          const char* methodName) {
  if (!methodName || !ObjectImplementsInterface(object, interfaceDefinition)) return nullptr;
  const char* wanted = ShortName(methodName);
  const std::string qualified = std::string(StringCStr(interfaceDefinition->name)) + "." + wanted;
  if (void* function = FindMethodFunction(object->runtimeClass, [&](const char* name) {
        return CStringCompareNoCase(name, qualified.c_str()) == 0;
      })) {
    return function;
  }
  return FindMethodFunction(object->runtimeClass, [&](const char* name) {
    return CStringCompareNoCase(ShortName(name), wanted) == 0;
  });
}

uint32_t RuntimeLiveObjectCount() { return g_liveObjectCount; }

}  // extern "C"

EventHandler FindEventHandler(const RuntimeObject* object, const char* eventName) {
  if (!object || !object->runtimeClass || !eventName) return nullptr;
  const ObjectDefinition* definition = object->runtimeClass->definition;
  const EventDefinition* event = definition ? definition->FindEvent(eventName) : nullptr;
  return event ? FindEventHandlerAtSlot(object, event->record->slot) : nullptr;
}

#ifdef _WINDOWS_
#error "RuntimeObjectFoundation is portable: it must not include <windows.h>."
#endif
