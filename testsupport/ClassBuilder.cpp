#include "testsupport/ClassBuilder.h"

#include <string>

#include "core/diagnostics.h"
#include "core/string.h"

ClassBuilder::ClassBuilder(ObjectDefinition* superclass, const char* name, uint32_t extraBytes,
                           ObjectInitialiser initialiser, ObjectDestructor destructor) {
  const uint32_t inherited = superclass ? superclass->instanceSize : sizeof(RuntimeObject);
  // Aligned, so that doubles among the extra bytes are aligned too.
  extraOffset_ = (inherited + 7u) & ~7u;
  ObjectDefinitionSetName(&definition_, name);
  definition_.superclass = superclass;
  definition_.instanceSize = extraBytes ? extraOffset_ + extraBytes : inherited;
  definition_.initialiser = initialiser;
  definition_.destructor = destructor;
}

ClassBuilder& ClassBuilder::HandleAddress(const char* eventName, EventHandler handler) {
  const EventDefinition* event = definition_.FindEvent(eventName);
  if (!event) {
    std::string extra = std::string(StringCStr(definition_.name)) + " has no event named \"" +
                        (eventName ? eventName : "(nil)") + "\"";
    AssertionFailed(131, 4, "ClassBuilder", __LINE__, "event != nullptr", extra.c_str());
    return *this;
  }
  RuntimeClassSetEventHandler(Class(), event->record->slot, handler);
  return *this;
}

ClassBuilder& ClassBuilder::Implements(ObjectDefinition* interfaceDefinition) {
  definition_.AddInterface(interfaceDefinition);
  return *this;
}

ClassBuilder& ClassBuilder::Methods(const MethodRecord* records, int32_t count) {
  BuildMethodDefinitions(&definition_, records, count);
  return *this;
}

RuntimeClass* ClassBuilder::Class() { return RuntimeClassOfDefinition(&definition_); }

RuntimeObject* ClassBuilder::NewInstance() { return RuntimeNewObject(Class()); }
