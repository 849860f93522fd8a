// The Win32 folder item: construction, names, existence, attributes, dates,
// length and readability. Folders and file operations are in
// FolderItemImpWin32Folders.cpp.
#include "files/FolderItemImpWin32.h"

#include <windows.h>

#include <atomic>

#include "core/DateImpWin32.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/BufferedStream.h"
#include "files/FileTypes.h"
#include "files/ShellFacade.h"
#include "files/Win32FileCalls.h"
#include "files/Win32PathText.h"
#include "host/Win32Handles.h"

namespace {

std::atomic<uint32_t> fileSystemChanges{0};

enum FileTimeSlot { kCreationTime, kLastWriteTime };

double SecondsOfFileTime(const FILETIME& time) {
  std::unique_ptr<DateImpWin32> date(NewDateImpWin32());
  if (!date) return 0.0;
  date->SetFromFileTime(time);
  return date->GetTotalSeconds();
}

// Whether the system's drive list holds the bare drive 'X:'.
bool DriveListHolds(const std::string& drive) {
  if (drive.size() != 2) return false;
  for (const std::string& root : CurrentShell().logicalDriveStrings()) {
    if (root.size() >= 2 && root[1] == ':' && (root[0] | 0x20) == (drive[0] | 0x20)) return true;
  }
  return false;
}

}  // namespace

// ---- Errors and changes ---------------------------------------------------------------

int32_t FolderItemErrorOfWin32(uint32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return 101;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_WRITE_PROTECT:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_DRIVE_LOCKED:
    case ERROR_PATH_BUSY:
    case ERROR_CANNOT_COPY:
      return 102;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_HANDLE_DISK_FULL:
      return 103;
    case ERROR_NOT_DOS_DISK:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return 104;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_FILE_INVALID:
      return 105;
    default:
      return int32_t(code);
  }
}

void NoteFileSystemChange() { ++fileSystemChanges; }
uint32_t FileSystemChangeCount() { return fileSystemChanges; }

void FolderItemImpWin32::SetLastErrorFromWin32(uint32_t code) {
  mLastError = FolderItemErrorOfWin32(code);
}

bool FolderItemImpWin32::PathAcceptable() const {
  return mListedName.empty() && IsAcceptablePath(mPath);
}

bool FolderItemImpWin32::PathRefused() {
  if (PathAcceptable()) return false;
  SetLastErrorFromWin32(ERROR_INVALID_NAME);
  return true;
}

// ---- Construction ----------------------------------------------------------------------

std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromPath(const std::string& path,
                                                               bool relativeToApplication,
                                                               bool volumeRootDefault,
                                                               bool* errorFlag) {
  std::string full = path;
  if (relativeToApplication) {
    full = JoinPath(StripTrailingBackslash(FolderOfPath(ModulePath())), path, JoinMode::kAppend);
  }
  full = LongPathOf(full);
  const bool volumeRoot = IsVolumeRootPath(full) || volumeRootDefault;
  full = StripTrailingBackslash(full);
  if (errorFlag) {
    if (!IsAcceptablePath(full)) {
      *errorFlag = true;
    } else if (PathAttributes(full) == INVALID_FILE_ATTRIBUTES) {
      *errorFlag = GetLastError() != ERROR_FILE_NOT_FOUND;
    }
  }
  return std::unique_ptr<FolderItemImpWin32>(new (std::nothrow)
                                                 FolderItemImpWin32(std::move(full), volumeRoot));
}

std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromPath(const StringRecord* path,
                                                               bool relativeToApplication,
                                                               bool volumeRootDefault,
                                                               bool* errorFlag) {
  return FolderItemImpWin32FromPath(StringToStdUTF8(path), relativeToApplication,
                                    volumeRootDefault, errorFlag);
}

FolderItemImp* FolderItemImpWin32::Assign(FolderItemImp* source) {
  auto* other = dynamic_cast<FolderItemImpWin32*>(source);
  if (!other || other->IsVirtual()) {
    AssertionFailed(131, 4, "FolderItemImpWin32", __LINE__, "not other.IsVirtual()", "");
    return this;
  }
  mPath = other->mPath;
  mAuxValue = other->mAuxValue;
  mIsVolumeRoot = other->mIsVolumeRoot;
  mCreated = other->mCreated;
  mListedName = other->mListedName;
  return this;
}

FolderItemImp* FolderItemImpWin32::Clone() {
  if (!mListedName.empty()) return NewItemOfListedName(mPath, mListedName);
  return FolderItemImpWin32FromPath(mPath, false, false, nullptr).release();
}

// ---- Names and existence -------------------------------------------------------------

bool FolderItemImpWin32::FindData(FoundEntry* entry) const {
  if (!PathAcceptable()) return false;
  // A stream of this process may still hold bytes for the file: its length
  // and dates are those after they are written.
  WriteOutAllStreams();
  return FindFirstEntry(mIsVolumeRoot ? mPath + "\\*" : mPath, entry);
}

std::string FolderItemImpWin32::FolderQueryPath() const {
  return mIsVolumeRoot ? mPath + "\\" : mPath;
}

bool FolderItemImpWin32::Exists() {
  FoundEntry entry;
  return FindData(&entry) || DriveListHolds(mPath);
}

bool FolderItemImpWin32::IsDirectory() {
  if (mIsVolumeRoot) return true;
  const DWORD attributes = PathAcceptable() ? PathAttributes(mPath) : INVALID_FILE_ATTRIBUTES;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderItemImpWin32::IsTrash() { return false; }

void FolderItemImpWin32::GetName(StringRecord** name) {
  if (!mListedName.empty()) {
    SetOutString(name, StringFromUTF8(mListedName));
    return;
  }
  const PathParts parts = SplitPath(mPath);
  SetOutString(name, StringFromUTF8(parts.name.empty() ? parts.drive : parts.name));
}

void FolderItemImpWin32::GetAbsolutePath(StringRecord** path) {
  SetOutString(path, StringFromUTF8(IsDirectory() ? mPath + "\\" : mPath));
}

bool FolderItemImpWin32::SetName(const StringRecord* name) {
  const std::string newPath = JoinPath(mPath, StringToStdUTF8(name), JoinMode::kSibling);
  if (PathRefused()) return false;
  if (!IsAcceptablePath(newPath)) {
    SetLastErrorFromWin32(ERROR_INVALID_NAME);
    return false;
  }
  if (!MovePath(mPath, newPath)) {
    SetLastErrorFromWin32(GetLastError());
    return false;
  }
  NoteFileSystemChange();
  mPath = newPath;
  return true;
}

void FolderItemImpWin32::GetType(StringRecord** type) {
  SetOutString(type, StringFromUTF8(FileTypeNameForFile(mPath)));
}

// ---- Attributes ---------------------------------------------------------------------------

bool FolderItemImpWin32::GetVisible() {
  FoundEntry entry;
  return !FindData(&entry) || !(entry.attributes & FILE_ATTRIBUTE_HIDDEN);
}

bool FolderItemImpWin32::SetVisible(bool visible) {
  return UpdateAttribute(FILE_ATTRIBUTE_HIDDEN, !visible);
}

bool FolderItemImpWin32::GetLocked() {
  if (!Exists()) return false;
  FoundEntry entry;
  return !FindData(&entry) || (entry.attributes & FILE_ATTRIBUTE_READONLY);
}

bool FolderItemImpWin32::SetLocked(bool locked) {
  if (!Exists()) return true;
  return UpdateAttribute(FILE_ATTRIBUTE_READONLY, locked);
}

bool FolderItemImpWin32::UpdateAttribute(uint32_t bit, bool set) {
  FoundEntry entry;
  if (!FindData(&entry)) return false;
  const DWORD attributes = set ? entry.attributes | bit : entry.attributes & ~bit;
  return SetPathAttributes(mPath, attributes);
}

int32_t FolderItemImpWin32::GetAuxValue() { return int32_t(mAuxValue); }

bool FolderItemImpWin32::SetAuxValue(int32_t value) {
  mAuxValue = uint32_t(value);
  return true;
}

// ---- Dates -----------------------------------------------------------------------------------

double FolderItemImpWin32::GetCreationDate() {
  FoundEntry entry;
  return FindData(&entry) ? SecondsOfFileTime(entry.creationTime) : 0.0;
}

double FolderItemImpWin32::GetModificationDate() {
  FoundEntry entry;
  return FindData(&entry) ? SecondsOfFileTime(entry.lastWriteTime) : 0.0;
}

bool FolderItemImpWin32::SetCreationDate(double seconds) {
  return SetFileTimeAt(kCreationTime, seconds);
}

bool FolderItemImpWin32::SetModificationDate(double seconds) {
  return SetFileTimeAt(kLastWriteTime, seconds);
}

bool FolderItemImpWin32::SetFileTimeAt(int which, double seconds) {
  std::unique_ptr<DateImpWin32> date(NewDateImpWin32());
  if (!date || !PathAcceptable()) return false;
  date->SetTotalSeconds(seconds);
  FILETIME time;
  date->ToFileTime(&time);
  // Folders open only with backup semantics.
  UniqueFile file(CreateFileAt(FolderQueryPath(), GENERIC_WRITE, 0, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS));
  if (!file.valid()) return false;
  return SetFileTime(file.get(), which == kCreationTime ? &time : nullptr, nullptr,
                     which == kLastWriteTime ? &time : nullptr) != FALSE;
}

// ---- Length and readability --------------------------------------------------------------

int32_t FolderItemImpWin32::GetLength() {
  FoundEntry entry;
  if (!FindData(&entry)) return 0;
  return entry.size <= uint64_t(INT32_MAX) ? int32_t(entry.size) : -1;
}

bool FolderItemImpWin32::IsReadable() {
  if (!PathAcceptable()) return false;
  UniqueFile file(CreateFileAt(mPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL));
  if (!file.valid()) return false;
  char byte;
  DWORD got = 0;
  return ReadFile(file.get(), &byte, 1, &got, nullptr) != FALSE;
}
