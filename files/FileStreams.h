// File streams: the one FileStream over the system's files, temporary data
// files that disappear when closed, the process-wide lock of file transfers,
// and the start-up entries of the stream classes.
//
// The stream interfaces and their typed helpers are in ByteStream.h; the
// language's stream classes in TextStreams.h and BinaryStream.h. This header
// includes no system header: the handle is held as an opaque pointer.
//
// Paths are run-time strings in any encoding. On the NT line they are
// converted to UTF-16 for the wide system calls; otherwise their bytes go to
// the ANSI calls as they are (tests reach that branch through the host's
// OverrideWindowsNT). A path holding a NUL names no file (ERROR_INVALID_NAME).
//
// Errors: the stream keeps no error code. After a failed operation the
// thread's last-error value is the one the failing system call left (for the
// folder-item layer to map); a write that the system reported complete but
// short sets ERROR_DISK_FULL, a negative count ERROR_INVALID_PARAMETER.
//
// Concurrency: one process-wide lock is held around each ReadFile, WriteFile
// and file-pointer move or query, for all file streams together, and around
// nothing else. A caller's SetPosition followed by Read is two steps.
#pragma once
#include <cstdint>
#include <memory>

#include "files/ByteStream.h"

// The system handle of a stream's file; closes it when destroyed. Null and
// the failure value of an open (INVALID_HANDLE_VALUE) both mean "no file", so
// closing after a failed open closes nothing.
class SystemFileHandle {
 public:
  SystemFileHandle() = default;
  ~SystemFileHandle() { Close(); }
  SystemFileHandle(SystemFileHandle&& other) noexcept;
  SystemFileHandle& operator=(SystemFileHandle&& other) noexcept;
  SystemFileHandle(const SystemFileHandle&) = delete;
  SystemFileHandle& operator=(const SystemFileHandle&) = delete;

  void* get() const { return handle_; }
  bool IsOpen() const;
  // Takes over a handle (closing the one held); the failure value is kept
  // as it is.
  void Reset(void* handle);
  // Closes the file when one is open; the handle is null afterwards.
  void Close();

 private:
  void* handle_ = nullptr;
};

class DataFileCleaner;

// A FileStream over a file of the system. No read-ahead: each transfer is
// one system call (the language's streams put BufferedStream.h's layer over
// it). Opening a file first writes out every buffered stream of the process.
//
// Lengths and positions that do not fit in 31 bits read as -1; IsEOF
// compares the true 64-bit position and size, so sequential reading of a
// larger file runs to its real end, and on such a file the position -1 (its
// length as read) is its end.
class Win32FileStream : public FileStream {
 public:
  Win32FileStream();
  // Closes the file (a temporary one is deleted).
  ~Win32FileStream() override;

  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override;
  // False unless every byte was written.
  bool Write(const void* buffer, int32_t count) override;
  // Closes the file; a temporary stream's cleaner goes with it. Always true.
  bool Close() override;
  bool IsEOF() override;
  // False for a position the system refuses (negative, but -1 on a file
  // past 31 bits, which moves to its end); the position stays.
  bool SetPosition(int32_t position) override;
  int32_t GetLength() override;
  // False for a negative length, or when the file refuses the move or the
  // new end: the file is then unchanged.
  bool SetLength(int32_t length) override;
  int32_t GetPosition() override;
  void Flush() override;

  // Each open first closes a file the stream still has open.
  // Read and write; shared for reading; an existing file is emptied.
  bool Create(const StringRecord* path) override;
  // Mode 1 reads only, any other reads and writes; shared for reading and
  // writing.
  bool Open(const StringRecord* path, int32_t mode) override;
  // An existing file, or with an empty path a new "kvt*.tmp" in the
  // temporary folder, opened so that the system deletes it at close (and at
  // process exit, however the process ends: a new file is made already so
  // opened). A shutdown hook closes it when the application ends first.
  // False when no name can be made or the open fails (leaving no new file).
  bool OpenTemporary(const StringRecord* path) override;
  void CloseHandleOnly() override;

  // The system handle (null when no file is open), for tests and callers
  // that must hand it to the system.
  void* SystemHandle() const { return handle_.get(); }
  // Whether a temporary stream's shutdown hook is in place.
  bool HasCleaner() const { return cleaner_ != nullptr; }
  // Whether the file is open for reading only (Open with mode 1).
  bool ReadsOnly() const { return readsOnly_; }

 private:
  friend class DataFileCleaner;
  bool OpenPath(const StringRecord* path, uint32_t access, uint32_t share, uint32_t creation,
                uint32_t attributes);
  bool OpenNewTemporaryFile();

  SystemFileHandle handle_;
  std::unique_ptr<DataFileCleaner> cleaner_;
  bool readsOnly_ = false;
};

// A new stream with no file open; null when memory runs out.
std::unique_ptr<Win32FileStream> NewFileStream();

// Makes the lock of file transfers. Start-up calls it once before any file
// is opened; a later call does nothing. A stream used before it still finds
// the lock (made on first use), and the lock is never deleted, so streams
// closed by shutdown hooks at exit still have it.
void InitFileStreamLock();
// Whether InitFileStreamLock made the lock (rather than a stream's first use).
bool FileStreamLockMadeByInit();
// Holds the lock (for callers that must keep every file transfer out for a
// while). Each Enter needs one Leave on the same thread.
void EnterFileStreamLock();
void LeaveFileStreamLock();

// Start-up, after the window system: buffered streams write out and forget
// what they read ahead before the main loop waits for each next message (the
// turn's end: the showDueWindows slot, chained); they write out in the exit
// steps after the windows closed (closeWindows, chained), and at the
// application's end (a shutdown hook). A second call does nothing.
void InstallStreamWriteOutHooks();

// Registers TextInputStream, TextOutputStream, BinaryStream and
// ResourceFork; a second call does nothing.
void RegisterFileStreamClasses();
