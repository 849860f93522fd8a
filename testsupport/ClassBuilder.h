// Stands in for the compiled application in tests: makes a language subclass
// of a class (usually a built-in one) and installs C++ functions as its event
// handlers, by event name, the way the class loader installs compiled ones.
//
//   ClassBuilder b(GetCheckBoxClassDefinition(), "MyCheckBox");
//   b.Handle("Action", &OnAction);
//   ObjectRef box = ObjectRef::Adopt(b.NewInstance());
//
// A handler is called as a compiled one is: the object first, then the
// event's parameters. The run-time class is made on first use (Handle, Class,
// NewInstance): events of the subclass's own go into Definition() before
// that; methods and interfaces may be added at any time. The builder owns its
// definition: destroy every instance, and every builder of a subclass, before
// the builder.
#pragma once
#include <cstdint>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

class ClassBuilder {
 public:
  // A subclass of superclass (nil for a root class) whose instances carry
  // extraBytes more, zero at birth, from ExtraOffset(); the initialiser runs
  // after the superclass's, the destructor before the superclass's.
  ClassBuilder(ObjectDefinition* superclass, const char* name, uint32_t extraBytes = 0,
               ObjectInitialiser initialiser = nullptr, ObjectDestructor destructor = nullptr);
  ClassBuilder(const ClassBuilder&) = delete;
  ClassBuilder& operator=(const ClassBuilder&) = delete;

  // Installs the handler for the named event of the class chain (case
  // ignored). An unknown name goes to AssertionFailed (recorded in tests,
  // where the fixtures fail on boxes they did not expect).
  template <class Result, class... Parameters>
  ClassBuilder& Handle(const char* eventName, Result (*handler)(Parameters...)) {
    return HandleAddress(eventName, reinterpret_cast<EventHandler>(handler));
  }
  ClassBuilder& Implements(ObjectDefinition* interfaceDefinition);
  ClassBuilder& Methods(const MethodRecord* records, int32_t count);

  ObjectDefinition* Definition() { return &definition_; }
  RuntimeClass* Class();
  // A new instance (the caller's reference).
  RuntimeObject* NewInstance();

  // Where the extra bytes begin (aligned to 8), and a view of them.
  uint32_t ExtraOffset() const { return extraOffset_; }
  template <class T>
  T* Extra(RuntimeObject* object) const {
    return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(object) + extraOffset_);
  }

 private:
  ClassBuilder& HandleAddress(const char* eventName, EventHandler handler);

  ObjectDefinition definition_;
  uint32_t extraOffset_;
};
