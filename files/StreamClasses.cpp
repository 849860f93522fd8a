// The stream classes' place in the start-up registration list, and the
// Application's ResourceFork.
#include "core/ObjectDefinition.h"
#include "files/BinaryStream.h"
#include "files/FileStreams.h"
#include "files/ResourceFork.h"
#include "files/TextStreams.h"
#include "host/application.h"

void RegisterFileStreamClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  ObjectDefinition* (*const definitions[])() = {
      GetTextInputStreamClassDefinition,
      GetTextOutputStreamClassDefinition,
      GetBinaryStreamClassDefinition,
      GetResourceForkClassDefinition,
  };
  for (auto definition : definitions) RegisterIntrinsicClass(definition());
  SetApplicationResourceForkClass(GetResourceForkClassDefinition());
}
