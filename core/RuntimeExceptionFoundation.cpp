// The exception classes and the pending exception of the compiled code.
#include "core/RuntimeExceptionFoundation.h"

#include <cstddef>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"

static_assert(sizeof(RuntimeExceptionObject) == 32, "exception fields follow the header");

namespace {

RuntimeObject* g_pendingException = nullptr;

void ReleaseExceptionFields(RuntimeObject* exception) {
  auto* fields = ObjectFields<RuntimeExceptionObject>(exception);
  StringRecordRelease(fields->message);
  fields->message = nullptr;
}

PropertyRecord g_exceptionProperties[] = {
    {kPropertyPassesParameter, "ErrorNumber", &kIntegerType,
     reinterpret_cast<void*>(exceptionErrorNumberGetter), "exceptionErrorNumberGetter",
     reinterpret_cast<void*>(intSetter), "intSetter",
     offsetof(RuntimeExceptionObject, errorNumber)},
    {kPropertyPassesParameter, "Message", &kStringType,
     reinterpret_cast<void*>(exceptionMessageGetter), "exceptionMessageGetter",
     reinterpret_cast<void*>(stringSetter), "stringSetter",
     offsetof(RuntimeExceptionObject, message)},
};

ObjectDefinition* FillRuntimeException(ObjectDefinition* definition) {
  ObjectDefinitionSetName(definition, "RuntimeException");
  definition->instanceSize = sizeof(RuntimeExceptionObject);
  definition->destructor = ReleaseExceptionFields;
  BuildPropertyDefinitions(definition, g_exceptionProperties,
                           sizeof g_exceptionProperties / sizeof g_exceptionProperties[0]);
  return definition;
}

// A class derived from RuntimeException that adds nothing but its name.
ObjectDefinition* FillDerivedException(ObjectDefinition* definition, const char* name) {
  ObjectDefinitionSetName(definition, name);
  definition->superclass = GetRuntimeExceptionClassDefinition();
  definition->instanceSize = sizeof(RuntimeExceptionObject);
  return definition;
}

// A new instance of the definition, or nil (reported) when the definition is
// not an exception class.
RuntimeObject* NewException(ObjectDefinition* definition) {
  ObjectRef exception = ObjectRef::Adopt(CreateInstance(definition));
  if (!ObjectIsADefinition(exception.get(), GetRuntimeExceptionClassDefinition())) {
    const std::string extra =
        std::string(definition ? StringCStr(definition->name) : "nil") + " is not an exception class";
    AssertionFailed(131, 4, "RuntimeExceptionFoundation", __LINE__,
                    "ObjectIsADefinition(exception, RuntimeException)", extra.c_str());
    return nullptr;
  }
  return exception.release();
}

RuntimeExceptionObject* ExceptionFields(RuntimeObject* exception) {
  if (!exception) {
    RaiseNilObjectException();
    return nullptr;
  }
  if (!ObjectIsADefinition(exception, GetRuntimeExceptionClassDefinition())) return nullptr;
  return ObjectFields<RuntimeExceptionObject>(exception);
}

}  // namespace

// The getter of a class derived from RuntimeException, filled on first use.
#define DEFINE_EXCEPTION_CLASS(Name)                                                  \
  ObjectDefinition* Get##Name##ClassDefinition() {                                   \
    static ObjectDefinition definition;                                               \
    static ObjectDefinition* const filled = FillDerivedException(&definition, #Name); \
    return filled;                                                                    \
  }

extern "C" {

ObjectDefinition* GetRuntimeExceptionClassDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* const filled = FillRuntimeException(&definition);
  return filled;
}

DEFINE_EXCEPTION_CLASS(NilObjectException)
DEFINE_EXCEPTION_CLASS(OutOfBoundsException)
DEFINE_EXCEPTION_CLASS(UnsupportedFormatException)
DEFINE_EXCEPTION_CLASS(OutOfMemoryException)
DEFINE_EXCEPTION_CLASS(ServiceNotAvailableException)
DEFINE_EXCEPTION_CLASS(RegistryAccessErrorException)
DEFINE_EXCEPTION_CLASS(OLEException)
DEFINE_EXCEPTION_CLASS(EndException)
#undef DEFINE_EXCEPTION_CLASS

void RuntimeRaiseException(RuntimeObject* exception) {
  if (!exception || g_pendingException) return;
  RuntimeLockObject(exception);
  g_pendingException = exception;
}

void RaiseExceptionOfDefinition(ObjectDefinition* definition) {
  ObjectRef exception = ObjectRef::Adopt(NewException(definition));
  RuntimeRaiseException(exception.get());
}

void RaiseExceptionWithMessage(ObjectDefinition* definition, const StringRecord* message,
                               int32_t errorNumber) {
  ObjectRef exception = ObjectRef::Adopt(NewException(definition));
  if (!exception) return;
  auto* fields = ObjectFields<RuntimeExceptionObject>(exception.get());
  fields->errorNumber = errorNumber;
  fields->message = StringAddRef(const_cast<StringRecord*>(message));
  RuntimeRaiseException(exception.get());
}

void RaiseNilObjectException() {
  RaiseExceptionOfDefinition(GetNilObjectExceptionClassDefinition());
}

void RaiseOutOfBoundsException() {
  RaiseExceptionOfDefinition(GetOutOfBoundsExceptionClassDefinition());
}

bool RuntimeExceptionPending() { return g_pendingException != nullptr; }

RuntimeObject* RuntimePendingException() { return g_pendingException; }

RuntimeObject* RuntimeTakePendingException() {
  RuntimeObject* exception = g_pendingException;
  g_pendingException = nullptr;
  return exception;
}

int32_t exceptionErrorNumberGetter(RuntimeObject* exception, uint32_t) {
  const RuntimeExceptionObject* fields = ExceptionFields(exception);
  return fields ? fields->errorNumber : 0;
}

StringRecord* exceptionMessageGetter(RuntimeObject* exception, uint32_t) {
  const RuntimeExceptionObject* fields = ExceptionFields(exception);
  return fields ? StringAddRef(fields->message) : nullptr;
}

}  // extern "C"

void RaiseExceptionWithMessage(ObjectDefinition* definition, const char* message,
                               int32_t errorNumber) {
  StringRef text = StringRef::Adopt(StringFromUTF8(message ? message : ""));
  RaiseExceptionWithMessage(definition, text.get(), errorNumber);
}

#ifdef _WINDOWS_
#error "RuntimeExceptionFoundation is portable: it must not include <windows.h>."
#endif
