// The file stream over Win32 files, temporary data files and their shutdown
// hook, and the lock of file transfers. Every system call of the streams is
// here.
#include "files/FileStreams.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/BufferedStream.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"

// Closes its stream when the application ends before the stream is closed:
// the shutdown list destroys it while the stream lives on. It is owned by the
// stream; whichever goes first, the stream's Close or the shutdown list,
// detaches it from the stream before the stream is closed, so the handle is
// closed once and the cleaner freed once.
class DataFileCleaner : public ShutdownHook {
 public:
  explicit DataFileCleaner(Win32FileStream* stream)
      : ShutdownHook("DataFileCleaner"), stream_(stream) {}
  ~DataFileCleaner() override {
    // Null already when the stream's Close is destroying this cleaner.
    (void)stream_->cleaner_.release();
    stream_->Close();
  }

 private:
  Win32FileStream* stream_;
};

namespace {

// ---- The lock ----------------------------------------------------------------------

std::atomic<bool> lockMade{false};
bool lockMadeByInit = false;

// Never deleted: streams that shutdown hooks close at exit still use it.
CRITICAL_SECTION* MakeTransferLock() {
  static CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  lockMade = true;
  return &section;
}

CRITICAL_SECTION& TransferLock() {
  static CRITICAL_SECTION* const lock = MakeTransferLock();
  return *lock;
}

// Holds the lock around one system call. The thread's last-error value is
// the call's, also after the lock is left.
class TransferGuard {
 public:
  TransferGuard() { EnterCriticalSection(&TransferLock()); }
  ~TransferGuard() {
    const DWORD error = GetLastError();
    LeaveCriticalSection(&TransferLock());
    SetLastError(error);
  }
  TransferGuard(const TransferGuard&) = delete;
  TransferGuard& operator=(const TransferGuard&) = delete;
};

bool MovePointer(HANDLE file, int64_t distance, DWORD method, int64_t* newPosition) {
  LARGE_INTEGER move, moved;
  move.QuadPart = distance;
  BOOL ok;
  {
    TransferGuard guard;
    ok = SetFilePointerEx(file, move, &moved, method);
  }
  if (ok && newPosition) *newPosition = moved.QuadPart;
  return ok != FALSE;
}

// The 32-bit interface's value: -1 for what does not fit in 31 bits.
int32_t Fit31(int64_t value) { return value >= 0 && value <= INT32_MAX ? int32_t(value) : -1; }

// ---- Opening by path -----------------------------------------------------------------

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
// Deleted by the system when the last handle closes.
constexpr DWORD kTemporaryAttributes = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
constexpr DWORD kTempNameBufferSize = 1024;

HANDLE CreateFileByPath(const StringRecord* path, DWORD access, DWORD share, DWORD creation,
                        DWORD attributes) {
  if (IsWindowsNT()) {
    StringRef utf16 = StringRef::Adopt(StringToUTF16(path));
    std::wstring wide(StringLength(utf16.get()) / 2, L'\0');
    std::copy_n(StringData(utf16.get()), wide.size() * 2, reinterpret_cast<uint8_t*>(&wide[0]));
    // A NUL would cut the name short and name another file.
    if (wide.find(L'\0') != std::wstring::npos) {
      SetLastError(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide.c_str(), access, share, nullptr, creation, attributes, nullptr);
  }
  const std::string bytes = StringBytes(path);
  if (bytes.find('\0') != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(bytes.c_str(), access, share, nullptr, creation, attributes, nullptr);
}

// The system calls that make a new temporary file, in the wide and the ANSI
// form.
struct WideTempCalls {
  using Char = wchar_t;
  static constexpr const wchar_t* kPrefix = L"kvt";
  static DWORD TempPath(DWORD size, wchar_t* folder) { return GetTempPathW(size, folder); }
  static UINT TempFileName(const wchar_t* folder, UINT number, wchar_t* name) {
    return GetTempFileNameW(folder, kPrefix, number, name);
  }
  static HANDLE CreateNew(const wchar_t* name) {
    return CreateFileW(name, kReadWrite, FILE_SHARE_READ, nullptr, CREATE_NEW, kTemporaryAttributes,
                       nullptr);
  }
};

struct AnsiTempCalls {
  using Char = char;
  static constexpr const char* kPrefix = "kvt";
  static DWORD TempPath(DWORD size, char* folder) { return GetTempPathA(size, folder); }
  static UINT TempFileName(const char* folder, UINT number, char* name) {
    return GetTempFileNameA(folder, kPrefix, number, name);
  }
  static HANDLE CreateNew(const char* name) {
    return CreateFileA(name, kReadWrite, FILE_SHARE_READ, nullptr, CREATE_NEW, kTemporaryAttributes,
                       nullptr);
  }
};

// Makes a new uniquely named file in the temporary folder, open for deletion
// at close from its first moment, so that no end of the process leaves it.
// Given a number, GetTempFileName only forms a name; the open makes the file
// and fails on a name in use, and the next number is tried.
template <class Calls>
HANDLE OpenNewTemporaryFileWith() {
  typename Calls::Char folder[kTempNameBufferSize];
  typename Calls::Char name[kTempNameBufferSize];
  const DWORD folderLength = Calls::TempPath(kTempNameBufferSize, folder);
  if (folderLength == 0 || folderLength >= kTempNameBufferSize) return INVALID_HANDLE_VALUE;
  UINT number = (GetTickCount() ^ GetCurrentProcessId()) & 0xFFFF;
  for (UINT tries = 0; tries < 0xFFFF; ++tries) {
    number = number % 0xFFFF + 1;  // 1 to 0xFFFF: 0 would make the file first
    if (Calls::TempFileName(folder, number, name) == 0) return INVALID_HANDLE_VALUE;
    HANDLE file = Calls::CreateNew(name);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE || (error != ERROR_FILE_EXISTS && error != ERROR_SHARING_VIOLATION))
      return file;
  }
  return INVALID_HANDLE_VALUE;
}

// ---- What the buffer layer asks of the system ----------------------------------------

uint32_t ThreadLastError() { return GetLastError(); }
void SetThreadLastError(uint32_t error) { SetLastError(error); }

// A file is named by its volume and its index on the volume; the thread's
// error code is kept.
bool FileIdentity(FileStream& stream, uint64_t identity[2]) {
  auto* file = dynamic_cast<Win32FileStream*>(&stream);
  if (!file || !file->SystemHandle()) return false;
  const DWORD error = GetLastError();
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(file->SystemHandle(), &information) != FALSE;
  SetLastError(error);
  if (!known) return false;
  identity[0] = uint64_t(1) << 32 | information.dwVolumeSerialNumber;
  identity[1] = uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  return true;
}

bool ReadsOnly(FileStream& stream) {
  auto* file = dynamic_cast<Win32FileStream*>(&stream);
  return file && file->ReadsOnly();
}

void FillStreamSystemSlots() {
  static const bool filled = [] {
    StreamSystemSlots slots;
    slots.lastError = ThreadLastError;
    slots.setLastError = SetThreadLastError;
    slots.fileIdentity = FileIdentity;
    slots.readsOnly = ReadsOnly;
    SetStreamSystemSlots(slots);
    return true;
  }();
  (void)filled;
}

// ---- Writing out at the end of each turn and at the exit ------------------------------

LoopHook turnStartBefore = nullptr;
LoopHook closeWindowsBefore = nullptr;

// Runs before the loop waits for the next message: what the last turn's
// handlers wrote reaches the files, and what they read ahead is dropped, so
// that the next turn reads what the files hold then (another program may
// write them while the loop waits).
void EndTheTurnOfTheStreams() {
  if (turnStartBefore) turnStartBefore();
  WriteOutAllStreams();
  ForgetAllReadAhead();
}

// After the windows closed (their handlers may still write).
void WriteOutAtTheExit() {
  if (closeWindowsBefore) closeWindowsBefore();
  WriteOutAllStreams();
}

// Writes out once more when the application ends: streams that the exit
// steps' later work wrote to.
class StreamWriteOutAtTheEnd : public ShutdownHook {
 public:
  StreamWriteOutAtTheEnd() : ShutdownHook("StreamWriteOutAtTheEnd") {}
  ~StreamWriteOutAtTheEnd() override { WriteOutAllStreams(); }
};

}  // namespace

// ---- SystemFileHandle -----------------------------------------------------------------

SystemFileHandle::SystemFileHandle(SystemFileHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SystemFileHandle& SystemFileHandle::operator=(SystemFileHandle&& other) noexcept {
  if (this != &other) Reset(std::exchange(other.handle_, nullptr));
  return *this;
}

bool SystemFileHandle::IsOpen() const {
  return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
}

void SystemFileHandle::Reset(void* handle) {
  Close();
  handle_ = handle;
}

void SystemFileHandle::Close() {
  if (IsOpen()) CloseHandle(handle_);
  handle_ = nullptr;
}

// ---- Win32FileStream ----------------------------------------------------------------

Win32FileStream::Win32FileStream() = default;

Win32FileStream::~Win32FileStream() { Close(); }

bool Win32FileStream::Read(void* buffer, int32_t count, int32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (count < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (count == 0) return true;
  DWORD got = 0;
  BOOL ok;
  {
    TransferGuard guard;
    ok = ReadFile(handle_.get(), buffer, DWORD(count), &got, nullptr);
  }
  if (bytesRead) *bytesRead = int32_t(got);
  return ok != FALSE;
}

bool Win32FileStream::Write(const void* buffer, int32_t count) {
  if (count < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (count == 0) return true;
  DWORD written = 0;
  BOOL ok;
  {
    TransferGuard guard;
    ok = WriteFile(handle_.get(), buffer, DWORD(count), &written, nullptr);
  }
  if (!ok) return false;
  if (written != DWORD(count)) {
    // The rest would be lost unseen: the target is full.
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

bool Win32FileStream::Close() {
  if (cleaner_) {
    // The cleaner's destructor comes back here, finds no cleaner and closes.
    std::unique_ptr<DataFileCleaner> detached = std::move(cleaner_);
    detached.reset();
    return true;
  }
  handle_.Close();
  return true;
}

bool Win32FileStream::IsEOF() {
  int64_t position;
  LARGE_INTEGER size;
  if (!MovePointer(handle_.get(), 0, FILE_CURRENT, &position) ||
      !GetFileSizeEx(handle_.get(), &size))
    return true;
  return position >= size.QuadPart;
}

bool Win32FileStream::SetPosition(int32_t position) {
  // -1 is what GetLength reads for a file past 31 bits: there it stands for
  // the end, so that setting the position to the length appends.
  LARGE_INTEGER size;
  if (position == -1 && GetFileSizeEx(handle_.get(), &size) && Fit31(size.QuadPart) == -1) {
    return MovePointer(handle_.get(), 0, FILE_END, nullptr);
  }
  DWORD moved;
  {
    TransferGuard guard;
    moved = SetFilePointer(handle_.get(), position, nullptr, FILE_BEGIN);
  }
  return moved != INVALID_SET_FILE_POINTER;
}

int32_t Win32FileStream::GetLength() {
  LARGE_INTEGER size;
  return GetFileSizeEx(handle_.get(), &size) ? Fit31(size.QuadPart) : -1;
}

bool Win32FileStream::SetLength(int32_t length) {
  if (length < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  int64_t remembered;
  if (!MovePointer(handle_.get(), 0, FILE_CURRENT, &remembered) ||
      !MovePointer(handle_.get(), length, FILE_BEGIN, nullptr))
    return false;
  const BOOL cut = SetEndOfFile(handle_.get());
  const DWORD error = GetLastError();
  MovePointer(handle_.get(), remembered, FILE_BEGIN, nullptr);
  SetLastError(error);
  return cut != FALSE;
}

int32_t Win32FileStream::GetPosition() {
  int64_t position;
  return MovePointer(handle_.get(), 0, FILE_CURRENT, &position) ? Fit31(position) : -1;
}

void Win32FileStream::Flush() { FlushFileBuffers(handle_.get()); }

bool Win32FileStream::OpenPath(const StringRecord* path, uint32_t access, uint32_t share,
                               uint32_t creation, uint32_t attributes) {
  Close();
  // A buffered stream of this process may hold bytes for this very file.
  WriteOutAllStreams();
  handle_.Reset(CreateFileByPath(path, access, share, creation, attributes));
  readsOnly_ = (access & GENERIC_WRITE) == 0;
  return handle_.IsOpen();
}

bool Win32FileStream::Create(const StringRecord* path) {
  return OpenPath(path, kReadWrite, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

bool Win32FileStream::Open(const StringRecord* path, int32_t mode) {
  const DWORD access = mode == kFileStreamReadOnly ? GENERIC_READ : kReadWrite;
  return OpenPath(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL);
}

bool Win32FileStream::OpenNewTemporaryFile() {
  Close();
  handle_.Reset(IsWindowsNT() ? OpenNewTemporaryFileWith<WideTempCalls>()
                               : OpenNewTemporaryFileWith<AnsiTempCalls>());
  readsOnly_ = false;
  return handle_.IsOpen();
}

bool Win32FileStream::OpenTemporary(const StringRecord* path) {
  const bool opened =
      StringLength(path) != 0
          ? OpenPath(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING, kTemporaryAttributes)
          : OpenNewTemporaryFile();
  if (!opened) return false;
  // Without memory for the cleaner the file is still deleted at close and
  // at process exit; only the early close at the application's end is lost.
  cleaner_.reset(new (std::nothrow) DataFileCleaner(this));
  return true;
}

void Win32FileStream::CloseHandleOnly() { handle_.Close(); }

// ---- Construction and the lock ---------------------------------------------------------

std::unique_ptr<Win32FileStream> NewFileStream() {
  FillStreamSystemSlots();
  return std::unique_ptr<Win32FileStream>(new (std::nothrow) Win32FileStream);
}

void InitFileStreamLock() {
  static const bool made = [] {
    lockMadeByInit = !lockMade;
    TransferLock();
    FillStreamSystemSlots();
    return true;
  }();
  (void)made;
}

bool FileStreamLockMadeByInit() { return lockMadeByInit; }
void EnterFileStreamLock() { EnterCriticalSection(&TransferLock()); }
void LeaveFileStreamLock() { LeaveCriticalSection(&TransferLock()); }

void InstallStreamWriteOutHooks() {
  static const bool installed = [] {
    turnStartBefore = SetShowDueWindowsHook(EndTheTurnOfTheStreams);
    closeWindowsBefore = SetCloseWindowsHook(WriteOutAtTheExit);
    new (std::nothrow) StreamWriteOutAtTheEnd;
    return true;
  }();
  (void)installed;
}
