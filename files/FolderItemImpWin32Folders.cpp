// The Win32 folder item's streams, folders and file operations: parent,
// listing, children, shortcuts, creating, deleting, copying, moving,
// launching and the Recycle Bin.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/BufferedStream.h"
#include "files/FileStreams.h"
#include "files/FolderItemImpWin32.h"
#include "files/ShellFacade.h"
#include "files/Win32FileCalls.h"
#include "files/Win32PathText.h"
#include "host/Win32Handles.h"
#include "ui/WinUtil.h"

// The names a listing read, and what tells whether they are still current.
struct FolderListing {
  std::vector<FoundEntry> entries;
  DWORD readAt = 0;
  uint32_t changeCount = 0;
  FILETIME folderWriteTime{};
  bool reusable = false;
};

namespace {

constexpr DWORD kListingLifetimeMs = 1000;
// Every shell link starts with its 76-byte header, whose first word is 0x4C.
constexpr uint64_t kShellLinkHeaderSize = 76;
constexpr char kShellLinkMagic[4] = {0x4C, 0, 0, 0};
// Resolve's flags: no window, and at most 1,000 ms for a search.
constexpr DWORD kResolveFlags = SLR_NO_UI | (1000u << 16);
constexpr size_t kShellPathBufferSize = 1024;
// Asks before deleting for good what the bin cannot take.
constexpr FILEOP_FLAGS kTrashFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;

bool StartsLikeShellLink(const std::string& path) {
  UniqueFile file(CreateFileAt(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
  LARGE_INTEGER size;
  char head[4];
  DWORD got = 0;
  return file.valid() && GetFileSizeEx(file.get(), &size) &&
         uint64_t(size.QuadPart) >= kShellLinkHeaderSize &&
         ReadFile(file.get(), head, sizeof head, &got, nullptr) && got == sizeof head &&
         std::equal(head, head + 4, kShellLinkMagic);
}

bool MayBeShellLink(const FoundEntry& entry) {
  return !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && entry.size >= kShellLinkHeaderSize;
}

// Releases a COM interface when it goes.
template <class Interface>
class ComRef {
 public:
  ~ComRef() {
    if (pointer_) pointer_->Release();
  }
  Interface* operator->() const { return pointer_; }
  void** out() { return reinterpret_cast<void**>(&pointer_); }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

// The stored target of a shell link through either line's interface; empty
// when the file does not load as a link.
template <class Link, class Char>
std::string LinkTarget(const GUID& linkInterface, const std::wstring& linkPath,
                       std::string (*toUtf8)(const Char*)) {
  ComRef<Link> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, linkInterface,
                              link.out()))) {
    return std::string();
  }
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())) ||
      FAILED(file->Load(linkPath.c_str(), STGM_READ))) {
    return std::string();
  }
  // Without a find-data record: filling one costs the shell a search.
  Char buffer[kShellPathBufferSize] = {};
  if (FAILED(link->GetPath(buffer, int(kShellPathBufferSize), nullptr, 0))) return std::string();
  // A target that is still there needs no search; one that is gone may have
  // moved. A link whose target cannot be found keeps its stored target.
  std::string target = toUtf8(buffer);
  if (PathAttributes(target) == INVALID_FILE_ATTRIBUTES &&
      SUCCEEDED(link->Resolve(nullptr, kResolveFlags)) &&
      SUCCEEDED(link->GetPath(buffer, int(kShellPathBufferSize), nullptr, 0))) {
    target = toUtf8(buffer);
  }
  return target;
}

std::string Utf8OfWideText(const wchar_t* text) { return Utf8OfWide(text, wcslen(text)); }

// Runs the shell's delete into the bin with either line's record; 0 and no
// aborted operation is success.
template <class Record, class Char>
bool DeleteToTrash(void* function, const std::basic_string<Char>& path) {
  std::basic_string<Char> sources = path;
  if (sources.size() + 2 > kShellPathBufferSize) return false;
  sources.append(2, Char(0));
  Record operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = sources.c_str();
  operation.fFlags = kTrashFlags;
  const int result = reinterpret_cast<int(WINAPI*)(Record*)>(function)(&operation);
  return result == 0 && !operation.fAnyOperationsAborted;
}

// An item of a path that is in its long form already.
FolderItemImp* ItemOfLongPath(const std::string& path) {
  return new (std::nothrow) FolderItemImpWin32(StripTrailingBackslash(path), IsVolumeRootPath(path));
}

}  // namespace

FolderItemImpWin32::FolderItemImpWin32(std::string path, bool volumeRoot)
    : mPath(std::move(path)), mIsVolumeRoot(volumeRoot) {}

FolderItemImpWin32::~FolderItemImpWin32() = default;

FolderItemImpWin32* FolderItemImpWin32::NewItemOfListedName(const std::string& path,
                                                            const std::string& name) {
  auto* item = new (std::nothrow) FolderItemImpWin32(path, false);
  if (item) item->mListedName = name;
  return item;
}

// ---- Streams -------------------------------------------------------------------------

std::unique_ptr<Win32FileStream> FolderItemImpWin32::NewStreamOnPath(StringRef* path) {
  if (PathRefused()) return nullptr;
  *path = StringRef::Adopt(SystemPathString(mPath));
  if (!*path) {
    SetLastErrorFromWin32(ERROR_INVALID_NAME);
    return nullptr;
  }
  auto stream = NewFileStream();
  if (!stream) SetLastErrorFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  return stream;
}

FileStream* FolderItemImpWin32::OpenStream(bool read, bool write) {
  StringRef path;
  auto stream = NewStreamOnPath(&path);
  if (!stream) return nullptr;
  const int32_t mode = read && !write ? kFileStreamReadOnly : kFileStreamReadWrite;
  if (!stream->Open(path.get(), mode)) {
    SetLastErrorFromWin32(GetLastError());
    return nullptr;
  }
  return stream.release();
}

FileStream* FolderItemImpWin32::CreateStream(const StringRecord*) {
  if (mIsTrashEntry) return nullptr;
  StringRef path;
  auto stream = NewStreamOnPath(&path);
  if (!stream) return nullptr;
  const bool created = stream->Create(path.get());
  const DWORD error = GetLastError();
  NoteFileSystemChange();
  if (!created) {
    SetLastErrorFromWin32(error);
    return nullptr;
  }
  mCreated = true;
  return stream.release();
}

// ---- Parent, listing and children ------------------------------------------------------------

FolderItemImp* FolderItemImpWin32::GetParent() {
  if (mIsVolumeRoot) return nullptr;
  if (!mListedName.empty()) {
    const std::string folder = mPath.substr(0, mPath.size() - mListedName.size() - 1);
    return FolderItemImpWin32FromPath(folder, false, false, nullptr).release();
  }
  const PathParts parts = SplitPath(mPath);
  if (parts.drive.empty()) return nullptr;
  if (parts.folder.empty()) return FolderItemImpWin32FromPath(parts.drive, false, true, nullptr).release();
  return FolderItemImpWin32FromPath(parts.drive + parts.folder, false, false, nullptr).release();
}

const FolderListing& FolderItemImpWin32::CurrentListing() {
  if (!listing_) listing_.reset(new FolderListing);
  FolderListing& listing = *listing_;
  FILETIME writeTime;
  const bool timeRead = PathLastWriteTime(FolderQueryPath(), &writeTime);
  if (listing.reusable && timeRead && GetTickCount() - listing.readAt < kListingLifetimeMs &&
      listing.changeCount == FileSystemChangeCount() &&
      CompareFileTime(&writeTime, &listing.folderWriteTime) == 0) {
    return listing;
  }
  listing.changeCount = FileSystemChangeCount();
  listing.readAt = GetTickCount();
  listing.folderWriteTime = writeTime;
  listing.entries.clear();
  listing.reusable = timeRead && PathAcceptable() &&
                     FindAllEntries(mPath + "\\*.*", &listing.entries);
  listing.entries.erase(std::remove_if(listing.entries.begin(), listing.entries.end(),
                                       [](const FoundEntry& entry) {
                                         return entry.name == "." || entry.name == "..";
                                       }),
                        listing.entries.end());
  return listing;
}

int32_t FolderItemImpWin32::GetCount() {
  if (mIsTrashEntry) return 0;
  return int32_t(CurrentListing().entries.size());
}

FolderItemImp* FolderItemImpWin32::GetItemAt(int32_t index, uint32_t options) {
  if (mIsTrashEntry || index < 0) return nullptr;
  const FolderListing& listing = CurrentListing();
  if (size_t(index) >= listing.entries.size()) return nullptr;
  const FoundEntry& entry = listing.entries[size_t(index)];
  // Only a file that can hold a link's header needs the shell's look.
  const uint32_t childOptions = MayBeShellLink(entry) ? options : 0;
  return NewChild(entry.name, childOptions, true);
}

FolderItemImp* FolderItemImpWin32::GetChildNamed(const StringRecord* name, uint32_t options) {
  if (mIsTrashEntry || !IsDirectory()) return nullptr;
  return NewChild(StringToStdUTF8(name), options, false);
}

FolderItemImp* FolderItemImpWin32::NewChild(const std::string& name, uint32_t options,
                                            bool fromListing) const {
  const std::string path = mPath + "\\" + name;
  // A folder of another file system may list a name holding a separator,
  // which the path would take for more than one name.
  if (fromListing && name.find_first_of("\\/") != std::string::npos) {
    return NewItemOfListedName(path, name);
  }
  FolderItemImpPtr child(fromListing ? ItemOfLongPath(path)
                                     : FolderItemImpWin32FromPath(path, false, false, nullptr).release());
  if (child && (options & kResolveAliases)) child = TakeResolved(std::move(child), options);
  return child.release();
}

// ---- Shortcuts -------------------------------------------------------------------------------

std::string FolderItemImpWin32::ResolveShortcut() const {
  if (!PathAcceptable() || !StartsLikeShellLink(mPath)) return mPath;
  const HRESULT started = CoInitialize(nullptr);
  std::string target;
  if (IsWindowsNT()) {
    target = LinkTarget<IShellLinkW, wchar_t>(IID_IShellLinkW, WideOfUtf8(mPath),
                                                                Utf8OfWideText);
  } else {
    target = LinkTarget<IShellLinkA, char>(IID_IShellLinkA, WideOfUtf8(mPath),
                                                             Utf8OfAnsi);
  }
  if (SUCCEEDED(started)) CoUninitialize();
  if (target.empty()) return mPath;
  // Only a short (8.3) name, which always holds a "~", has a longer form.
  return target.find('~') == std::string::npos ? target : LongPathOf(target);
}

bool FolderItemImpWin32::IsAlias() {
  StringRef resolved = StringRef::Adopt(StringFromUTF8(ResolveShortcut()));
  StringRef own = StringRef::Adopt(StringFromUTF8(mPath));
  return StringCompareNoCase(resolved.get(), own.get()) != 0;
}

FolderItemImp* FolderItemImpWin32::ResolveAlias(uint32_t) {
  return mListedName.empty() ? ItemOfLongPath(ResolveShortcut()) : Clone();
}

// ---- File operations -----------------------------------------------------------------------

void FolderItemImpWin32::RevealInFileBrowser() {
  if (PathRefused()) return;
  StringRef absolute;
  GetAbsolutePath(absolute.out());
  CurrentShell().execute("open", "explorer", "/select, \"" + StringToStdUTF8(absolute.get()) + "\"",
                  SW_SHOW);
}

bool FolderItemImpWin32::CreateAsFolder() {
  if (PathRefused()) return false;
  const bool made = MakeFolder(mPath);
  if (!made) SetLastErrorFromWin32(GetLastError());
  NoteFileSystemChange();
  return made;
}

bool FolderItemImpWin32::Delete() {
  if (PathRefused()) return false;
  bool deleted = IsDirectory() ? RemoveFolder(mPath) : DeletePath(mPath);
  DWORD error = GetLastError();
  // Some systems answer success for an item their file system keeps (an
  // immutable file, or one in an immutable folder).
  if (deleted && PathAttributes(mPath) != INVALID_FILE_ATTRIBUTES) {
    deleted = false;
    error = ERROR_ACCESS_DENIED;
  }
  if (!deleted) SetLastErrorFromWin32(error);
  NoteFileSystemChange();
  return deleted;
}

bool FolderItemImpWin32::TargetPathFor(FolderItemImp& destination, std::string* target) {
  auto* win32 = dynamic_cast<FolderItemImpWin32*>(&destination);
  if (win32 && !win32->PathAcceptable()) {
    SetLastErrorFromWin32(ERROR_INVALID_NAME);
    return false;
  }
  StringRef path;
  destination.GetAbsolutePath(path.out());
  *target = StringToStdUTF8(path.get());
  if (destination.IsDirectory()) *target += SplitPath(mPath).name;
  if (PathRefused()) return false;
  if (IsAcceptablePath(*target)) return true;
  SetLastErrorFromWin32(ERROR_INVALID_NAME);
  return false;
}

bool FolderItemImpWin32::CopyFileTo(FolderItemImp* destination) {
  if (!destination) {
    mLastError = 100;
    return false;
  }
  if (destination->IsVirtual()) return CopyThroughStreams(*this, destination);
  std::string target;
  if (!TargetPathFor(*destination, &target)) return false;
  WriteOutAllStreams();  // the file as this process's streams wrote it
  const bool copied = CopyPath(mPath, target, true);
  if (!copied) SetLastErrorFromWin32(GetLastError());
  NoteFileSystemChange();
  return copied;
}

bool FolderItemImpWin32::MoveFileTo(FolderItemImp* destination) {
  if (!destination) {
    mLastError = 100;
    return false;
  }
  if (destination->IsTrash()) return MoveToTrash();
  if (destination->IsVirtual()) return MoveThroughStreams(*this, destination);
  std::string target;
  if (!TargetPathFor(*destination, &target)) return false;
  WriteOutAllStreams();  // the file as this process's streams wrote it
  const bool moved = MovePath(mPath, target);
  if (!moved) SetLastErrorFromWin32(GetLastError());
  NoteFileSystemChange();
  return moved;
}

bool FolderItemImpWin32::Launch(bool activate) {
  if (PathRefused()) return false;
  const intptr_t result = CurrentShell().execute("open", mPath, "", activate ? SW_SHOW : SW_SHOWNOACTIVATE);
  if (result > 32) return true;
  SetLastErrorFromWin32(uint32_t(result));
  return false;
}

bool FolderItemImpWin32::MoveToTrash() {
  if (PathRefused()) return false;
  if (!CurrentShell().library("Shell32.dll")) {
    AssertionFailed(131, 4, "FolderItemImpWin32", __LINE__, "hLib",
                    "Could not find, or load, Shell32.dll");
  }
  const bool wide = IsWindowsNT();
  void* function = CurrentShell().procedure("Shell32.dll", wide ? "SHFileOperationW" : "SHFileOperationA");
  if (!function) return false;
  std::string ansi;
  bool trashed = false;
  if (wide) {
    trashed = DeleteToTrash<SHFILEOPSTRUCTW>(function, WideOfUtf8(mPath));
  } else if (AnsiPathOf(mPath, &ansi)) {
    trashed = DeleteToTrash<SHFILEOPSTRUCTA>(function, ansi);
  }
  NoteFileSystemChange();
  return trashed;
}
