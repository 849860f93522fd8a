#include "database/Win32StorageAdapter.h"

#include <windows.h>

#include <string>

#include "core/diagnostics.h"
#include "core/string.h"
#include "files/FileStreams.h"

namespace {

// Beyond every page of a database (whose files stay below 2 GiB), so that
// the lock keeps other openers from writing but not from reading.
constexpr DWORD kLockOffset = 0xFFFFFFFF;

HANDLE HandleOf(FileStream& stream) {
  // Every stream this adapter hands out is a Win32FileStream.
  return static_cast<Win32FileStream&>(stream).SystemHandle();
}

OVERLAPPED LockPosition() {
  OVERLAPPED position = {};
  position.Offset = kLockOffset;
  return position;
}

bool HasReadOnlyAttribute(const StringRecord* path) {
  const std::u16string wide = StringToStdUTF16(path);
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// A database file with the read-only attribute is opened for reading only,
// also where the system would let a privileged user write it (Wine run by
// root does).
class DatabaseFileStream final : public Win32FileStream {
 public:
  bool Open(const StringRecord* path, int32_t mode) override {
    if (mode != kFileStreamReadOnly && HasReadOnlyAttribute(path)) return false;
    return Win32FileStream::Open(path, mode);
  }
};

class Win32StorageAdapter final : public DBStorageAdapter {
 public:
  FileStreamPtr NewStream() override { return FileStreamPtr(new (std::nothrow) DatabaseFileStream); }

  bool RemoveFile(const StringRecord* path) override {
    const std::u16string wide = StringToStdUTF16(path);
    return DeleteFileW(reinterpret_cast<const wchar_t*>(wide.c_str())) != FALSE;
  }

  bool TakeFileLock(FileStream& stream) override {
    OVERLAPPED position = LockPosition();
    return LockFileEx(HandleOf(stream), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                      0, &position) != FALSE;
  }

  void ReleaseFileLock(FileStream& stream) override {
    OVERLAPPED position = LockPosition();
    UnlockFileEx(HandleOf(stream), 0, 1, 0, &position);
  }

  bool FlushFile(FileStream& stream) override {
    return FlushFileBuffers(HandleOf(stream)) != FALSE;
  }

  void ReportAssertion(int32_t line, const char* condition) override {
    AssertionFailed(131, 4, "kvdbThumb", line, condition, "");
  }
};

}  // namespace

DBStorageAdapter& Win32DatabaseStorage() {
  static Win32StorageAdapter adapter;
  return adapter;
}
