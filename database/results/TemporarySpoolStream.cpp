// The spools' default stream: a temporary file, gone when closed.
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/results/RowSpool.h"
#include "files/FileStreams.h"

FileStreamPtr NewTemporarySpoolStream() {
  std::unique_ptr<Win32FileStream> stream = NewFileStream();
  StringRef none = StringRef::Adopt(StringFromASCII(""));
  if (!stream || !stream->OpenTemporary(none.get())) return nullptr;
  return stream;
}
