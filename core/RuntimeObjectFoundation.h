// Language objects: the object header, run-time classes, reference counting,
// class tests, event handlers and interfaces.
//
// Every language object begins with RuntimeObject; a built-in class's own
// fields follow it directly, in the order of its class definition, and a
// language subclass's fields follow its superclass's. C++ code that owns a
// class declares a struct beginning with a RuntimeObject member and casts.
//
// Objects are born with a count of 1 (the creator's reference). A count of 0
// marks a static object, which is never counted or freed. Dropping the last
// reference runs the destructors, most derived first, unlinks the object from
// the list of live objects and frees it.
#pragma once
#include "core/Layout.h"
#include <cstdint>

struct ObjectDefinition;
struct EventRecord;
struct EventDefinition;
struct MethodDefinition;
struct PropertyDefinition;
struct StringRecord;

struct RuntimeClass;

struct RuntimeObject {
  void* methodTable;
  RuntimeClass* runtimeClass;
  void** eventTable;  // the class's handler table, indexed by run-time slot
  int32_t refCount;
  RuntimeObject* previous;  // list of live objects
  RuntimeObject* next;
};
static_assert(!kLayoutIs32Bit || sizeof(RuntimeObject) == 24, "RuntimeObject header is six words");

typedef void (*ObjectInitialiser)(RuntimeObject* object);
typedef void (*ObjectDestructor)(RuntimeObject* object);
// A compiled event handler; called with the object first, then the event's
// parameters, cast by the caller to the event's signature.
typedef void* EventHandler;

// The run-time form of a class, made from its ObjectDefinition on first use
// (its parent first) and freed with the definition. Tables are borrowed from
// the definition and follow members added to it later. The handler table is
// the class's own: it starts as a copy of the parent class's (a subclass
// inherits the handlers installed in its parent) and is filled by
// RuntimeClassSetEventHandler.
struct RuntimeClass {
  RuntimeClass* parent;
  StringRecord* name;  // the definition's (static, count 0)
  uint32_t instanceSize;
  uint32_t isInterface;
  ObjectInitialiser constructor;
  ObjectDestructor destructor;
  const MethodDefinition* methods;   // this class's own, chained by next
  EventHandler* eventHandlers;       // eventCount slots, parent's first
  uint32_t eventCount;
  const MethodDefinition* sharedMethods;
  const PropertyDefinition* properties;
  ObjectDefinition* const* interfaces;  // interfaceCount entries
  uint32_t interfaceCount;
  ObjectDefinition* definition;
  // Set (RuntimeClassKeepSpare) for a class whose objects are made and
  // dropped by the hundred thousand: its last dropped object is kept,
  // destroyed and unlinked but not freed, and is the next one made.
  uint32_t keepsSpare;
  RuntimeObject* spare;  // freed with the class
};

extern "C" {

// A new object of the class with a count of 1, fields zero and the
// initialisers of the chain run base class first; nil when the definition is
// nil or an interface.
RuntimeObject* CreateInstance(ObjectDefinition* definition);
RuntimeObject* RuntimeNewObject(RuntimeClass* runtimeClass);
RuntimeClass* ObjectClassOf(const RuntimeObject* object);  // nil for nil
// From now on the class keeps one dropped object for the next it makes:
// made again it is as new (fields zero, a count of 1, initialisers run); the
// allocator is called neither for dropping it nor for making it again.
void RuntimeClassKeepSpare(RuntimeClass* runtimeClass);

void RuntimeLockObject(RuntimeObject* object);    // nil ignored
void RuntimeUnlockObject(RuntimeObject* object);  // nil ignored

// Whether the object is of the class or a subclass of it; for an interface,
// whether the object implements it. Nil gives false.
bool RuntimeObjectIsa(const RuntimeObject* object, const RuntimeClass* runtimeClass);
bool ObjectIsADefinition(const RuntimeObject* object, ObjectDefinition* definition);
bool RuntimeClassIsa(const RuntimeClass* runtimeClass, const RuntimeClass* ancestor);

// The class of a registered class name (case ignored); nil when unknown.
RuntimeClass* RuntimeLookupClass(const StringRecord* name);
// The class made from a definition (made now when it does not exist yet).
RuntimeClass* RuntimeClassOfDefinition(ObjectDefinition* definition);

// The compiled handler for the event in the object's class, or none when the
// object is nil or its class has none.
EventHandler FindEventHandler(const RuntimeObject* object, const EventRecord* event);
EventHandler FindEventHandlerAtSlot(const RuntimeObject* object, uint32_t slot);
// Installs a compiled handler in a class's table (the class loader's and the
// test class builder's way in); made subclasses that inherited the slot's
// previous handler take the new one too. Slots past the table are reported
// and ignored.
void RuntimeClassSetEventHandler(RuntimeClass* runtimeClass, uint32_t slot, EventHandler handler);

// Whether the object's class or one of its ancestors implements the interface
// (or an interface derived from it).
bool ObjectImplementsInterface(const RuntimeObject* object, ObjectDefinition* interfaceDefinition);
// The function of the object's method that implements `methodName` of the
// interface, matched on the part of each name after its last "." (ASCII case
// ignored), most derived class first; a method named "<Interface>.<method>"
// for this very interface wins over one matched by its short name. None when
// the object does not implement the interface or has no such method.
void* FindInterfaceMethod(const RuntimeObject* object, ObjectDefinition* interfaceDefinition,
                          const char* methodName);

// Live objects, for leak checks.
uint32_t RuntimeLiveObjectCount();

}  // extern "C"

// By event name: the event is looked up in the definitions of the object's
// class chain (case ignored), then its slot is read as above.
EventHandler FindEventHandler(const RuntimeObject* object, const char* eventName);
// By class name, for C++ callers.
RuntimeClass* RuntimeLookupClass(const char* name);

// The object's fields viewed as the C++ struct that lays them out (which
// begins with the RuntimeObject header).
template <class Fields>
inline Fields* ObjectFields(RuntimeObject* object) {
  return reinterpret_cast<Fields*>(object);
}
template <class Fields>
inline const Fields* ObjectFields(const RuntimeObject* object) {
  return reinterpret_cast<const Fields*>(object);
}
