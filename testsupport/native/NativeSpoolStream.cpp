// The spools' default stream in the native programs: bytes in memory, where
// the run-time makes a temporary file.
#include <memory>

#include "database/results/RowSpool.h"
#include "testsupport/MemoryFileStream.h"

FileStreamPtr NewTemporarySpoolStream() { return std::make_unique<MemoryFileStream>(); }
