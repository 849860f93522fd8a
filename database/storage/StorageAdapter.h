// What the storage core needs of the operating system, handed to it when a
// DBFile is made: streams over files, deleting a file, the exclusive lock that
// marks the one writer of a database, a flush whose failure is seen, and the
// assertion reporter. The Win32 adapter is database/Win32StorageAdapter.h;
// tests pass one over files in memory.
//
// The adapter outlives every DBFile made with it. One thread uses it.
#pragma once
#include <cstdint>

#include "files/ByteStream.h"

struct StringRecord;

class DBStorageAdapter {
 public:
  virtual ~DBStorageAdapter() = default;
  // A new stream with no file open; null when memory runs out. The core
  // opens it with Create, Open or OpenTemporary.
  virtual FileStreamPtr NewStream() = 0;
  // Deletes the file of the path; false when it is absent or stays.
  virtual bool RemoveFile(const StringRecord* path) = 0;
  // Takes the exclusive lock of a database file opened for writing through
  // this adapter; false when another opener (of this or another process)
  // holds it. The lock leaves reading to everyone.
  virtual bool TakeFileLock(FileStream& stream) = 0;
  virtual void ReleaseFileLock(FileStream& stream) = 0;
  // Pushes the stream's written bytes to the store; false when that fails.
  virtual bool FlushFile(FileStream& stream) = 0;
  // Reports a broken internal rule of the engine (never damaged file
  // content): the run-time's assertion box, kind 131, code 4, "kvdbThumb".
  virtual void ReportAssertion(int32_t line, const char* condition) = 0;
};

// The steps of a commit, a rollback and a recovery at which a test may stop
// the process. The hook costs one test of a pointer when unset.
enum class DBWriteStep {
  kCommitJournalFlushed,
  kCommitPageWritten,  // index of the page write (0-based) and their count
  kCommitHeaderWritten,
  kRollbackJournalFlushed,
  kRollbackPageWritten,
  kRollbackHeaderWritten,
  kRecoveryImageWritten,  // index of the image written back and their count
};
using DBWriteStepHook = void (*)(DBWriteStep step, uint32_t index, uint32_t count);
// Installs the process-wide hook (null removes it).
void SetDBWriteStepHook(DBWriteStepHook hook);
