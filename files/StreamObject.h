// What the language's stream classes share: checking the object an entry
// point works on, and the FileStream each instance owns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/diagnostics.h"
#include "files/BufferedStream.h"
#include "files/ByteStream.h"

// The object as an instance of the class, or nil: a nil object leaves
// NilObjectException pending, an object of another class (only C++ code can
// pass one) is reported through AssertionFailed.
template <class Fields>
Fields* StreamSelf(RuntimeObject* self, ObjectDefinition* definition, const char* source) {
  return InstanceArgument<Fields>(self, definition, source, __LINE__,
                                  "ObjectIsADefinition(self, definition)");
}

// Closes and destroys the stream a field owns, leaving the field nil first;
// nothing when it is nil already.
inline void CloseOwnedStream(FileStream** field) {
  FileStream* stream = *field;
  if (!stream) return;
  *field = nullptr;
  stream->Close();
  delete stream;
}

// A new instance of the class (the caller's reference) that owns the stream,
// put under the buffer layer; nil (and the stream destroyed) when the class
// makes no instance.
template <class Fields>
RuntimeObject* NewStreamObject(ObjectDefinition* definition, FileStreamPtr stream) {
  RuntimeObject* object = CreateInstance(definition);
  if (object) ObjectFields<Fields>(object)->stream = NewBufferedStream(std::move(stream)).release();
  return object;
}

