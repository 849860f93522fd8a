// Language exceptions.
//
// Raising marks the exception pending for the calling compiled code and
// returns: the run-time operation that raised runs to its end, and the
// exception takes effect when control returns to the application's code,
// which takes it with RuntimeTakePendingException. While one is pending a
// second raise is dropped (the first would already have unwound the caller).
#pragma once
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

// Instance layout of RuntimeException and every class derived from it.
struct RuntimeExceptionObject {
  RuntimeObject header;
  int32_t errorNumber;
  StringRecord* message;  // owned
};

extern "C" {
ObjectDefinition* GetRuntimeExceptionClassDefinition();
ObjectDefinition* GetNilObjectExceptionClassDefinition();
ObjectDefinition* GetOutOfBoundsExceptionClassDefinition();
ObjectDefinition* GetUnsupportedFormatExceptionClassDefinition();
ObjectDefinition* GetOutOfMemoryExceptionClassDefinition();
ObjectDefinition* GetServiceNotAvailableExceptionClassDefinition();
ObjectDefinition* GetRegistryAccessErrorExceptionClassDefinition();
ObjectDefinition* GetOLEExceptionClassDefinition();
ObjectDefinition* GetEndExceptionClassDefinition();  // ApplicationQuit's

// Marks the exception pending (one reference taken); nil is ignored, and so
// is any raise while an exception is pending (no reference taken).
void RuntimeRaiseException(RuntimeObject* exception);
// A new instance of the definition raised (the message borrowed and kept by
// the exception). A definition that is not RuntimeException or derived from
// it is reported through AssertionFailed and nothing is raised.
void RaiseExceptionOfDefinition(ObjectDefinition* definition);
void RaiseExceptionWithMessage(ObjectDefinition* definition, const StringRecord* message,
                               int32_t errorNumber);
void RaiseNilObjectException();
void RaiseOutOfBoundsException();

bool RuntimeExceptionPending();
RuntimeObject* RuntimePendingException();      // borrowed; nil when none
RuntimeObject* RuntimeTakePendingException();  // the caller's; clears it

// Accessors of the exception fields (the language's ErrorNumber and Message;
// the parameter is ignored). Nil raises NilObjectException; an object that is
// not an exception reads 0 / nil. The message is a new reference.
int32_t exceptionErrorNumberGetter(RuntimeObject* exception, uint32_t parameter);
StringRecord* exceptionMessageGetter(RuntimeObject* exception, uint32_t parameter);
}

// C++ convenience: the message given as UTF-8 text.
void RaiseExceptionWithMessage(ObjectDefinition* definition, const char* message,
                               int32_t errorNumber);
