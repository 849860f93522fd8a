// The Recycle Bin item over the shell's bin folder.
#include "files/FolderItemImpRecycleBin.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "core/utility.h"
#include "files/ShellFacade.h"
#include "files/Win32FileCalls.h"
#include "ui/WinUtil.h"

namespace {

constexpr char kName[] = "Recycle Bin";
constexpr SHCONTF kFoldersAndFiles = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
constexpr char kQueryMissing[] = "SHQueryRecycleBin requires Windows 95/NT4 with IE greater than 4.0";
constexpr char kStrRetMissing[] =
    "StrRetToStr requires Win 98 (or Win 95 & IE 5.0 or greater) or Win2k (or NT 4 with IE 5.0 or "
    "greater)";

static_assert(sizeof(SHQUERYRBINFO) == 20, "the bin's query record is packed");

using QueryRecycleBin = HRESULT(WINAPI*)(const void* root, SHQUERYRBINFO* info);

void RaiseServiceNotAvailable(const char* message) {
  RaiseExceptionWithMessage(GetServiceNotAvailableExceptionClassDefinition(), message, 0);
}

template <class Interface>
struct Released {
  Interface* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

std::string Utf8Of(const wchar_t* text) { return Utf8OfWide(text, wcslen(text)); }
std::string Utf8Of(const char* text) { return Utf8OfAnsi(text); }

// The name's text through this line's StrRetToStr, which frees the name.
template <class Char>
bool TextOfName(STRRET* name, LPCITEMIDLIST entry, const char* function, std::string* text) {
  using Convert = HRESULT(WINAPI*)(STRRET*, LPCITEMIDLIST, Char**);
  const auto convert = reinterpret_cast<Convert>(CurrentShell().procedure("Shlwapi.dll", function));
  if (!convert) {
    if (name->uType == STRRET_WSTR) CoTaskMemFree(name->pOleStr);
    RaiseServiceNotAvailable(kStrRetMissing);
    return false;
  }
  ShellMemory<Char> converted;
  if (FAILED(convert(name, entry, &converted.p)) || !converted.p) return false;
  *text = Utf8Of(converted.p);
  return true;
}

bool DisplayName(IShellFolder& bin, LPCITEMIDLIST entry, std::string* text) {
  STRRET name;
  if (FAILED(bin.GetDisplayNameOf(entry, SHGDN_INFOLDER, &name))) return false;
  return IsWindowsNT() ? TextOfName<wchar_t>(&name, entry, "StrRetToStrW", text)
                       : TextOfName<char>(&name, entry, "StrRetToStrA", text);
}

bool SameDisplayName(const std::string& a, const std::string& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, WideOfUtf8(a).c_str(), -1,
                        WideOfUtf8(b).c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

FolderItemImpRecycleBin::FolderItemImpRecycleBin() : FolderItemImpWin32(std::string(), false) {}

FolderItemImpRecycleBin::~FolderItemImpRecycleBin() {
  if (mDesktopFolder) mDesktopFolder->Release();
}

FolderItemImp* FolderItemImpRecycleBin::Clone() { return new (std::nothrow) FolderItemImpRecycleBin(); }
bool FolderItemImpRecycleBin::Exists() { return true; }
bool FolderItemImpRecycleBin::IsAlias() { return false; }
bool FolderItemImpRecycleBin::IsDirectory() { return true; }
bool FolderItemImpRecycleBin::IsTrash() { return true; }
void FolderItemImpRecycleBin::GetName(StringRecord** name) {
  SetOutString(name, StringFromASCII(kName));
}
bool FolderItemImpRecycleBin::SetName(const StringRecord*) { return false; }

void FolderItemImpRecycleBin::GetAbsolutePath(StringRecord** path) {
  std::string text;
  if (FolderItemImpPtr desktop{FindFolder(FourCharCode("desk"))}) {
    StringRef desktopPath;
    desktop->GetAbsolutePath(desktopPath.out());
    text = StringToStdUTF8(desktopPath.get());
    if (!text.empty() && text.back() != '\\') text += '\\';
  }
  SetOutString(path, StringFromUTF8(text + kName + "\\"));
}

bool FolderItemImpRecycleBin::GetVisible() { return true; }
bool FolderItemImpRecycleBin::SetVisible(bool) { return false; }
bool FolderItemImpRecycleBin::GetLocked() { return false; }
bool FolderItemImpRecycleBin::SetLocked(bool) { return false; }
void FolderItemImpRecycleBin::GetType(StringRecord** type) { SetOutString(type, StringFromASCII("")); }
double FolderItemImpRecycleBin::GetCreationDate() { return 0.0; }
bool FolderItemImpRecycleBin::SetCreationDate(double) { return false; }
double FolderItemImpRecycleBin::GetModificationDate() { return 0.0; }
bool FolderItemImpRecycleBin::SetModificationDate(double) { return false; }
bool FolderItemImpRecycleBin::IsReadable() { return false; }
bool FolderItemImpRecycleBin::IsWriteable() { return false; }
int32_t FolderItemImpRecycleBin::GetLength() { return 0; }
FileStream* FolderItemImpRecycleBin::OpenStream(bool, bool) { return nullptr; }
FolderItemImp* FolderItemImpRecycleBin::GetParent() { return FindFolder(FourCharCode("desk")); }

// Every drive's bin: the items the listing walks.
int32_t FolderItemImpRecycleBin::GetCount() {
  const auto query = reinterpret_cast<QueryRecycleBin>(CurrentShell().procedure(
      "Shell32.dll", IsWindowsNT() ? "SHQueryRecycleBinW" : "SHQueryRecycleBinA"));
  if (!query) {
    RaiseServiceNotAvailable(kQueryMissing);
    return 0;
  }
  SHQUERYRBINFO info{};
  info.cbSize = sizeof info;
  if (FAILED(query(nullptr, &info))) return 0;
  return int32_t(uint32_t(info.i64NumItems));
}

FolderItemImp* FolderItemImpRecycleBin::GetItemAt(int32_t index, uint32_t) {
  return index < 0 ? nullptr : FindEntry(index, std::string());
}

FolderItemImp* FolderItemImpRecycleBin::GetChildNamed(const StringRecord* name, uint32_t) {
  return FindEntry(-1, StringToStdUTF8(name));
}

IShellFolder* FolderItemImpRecycleBin::BinFolder() {
  if (!mDesktopFolder && FAILED(SHGetDesktopFolder(&mDesktopFolder))) return nullptr;
  ShellMemory<ITEMIDLIST> list;
  IShellFolder* bin = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &list.p)) ||
      FAILED(mDesktopFolder->BindToObject(list.p, nullptr, IID_IShellFolder,
                                          reinterpret_cast<void**>(&bin)))) {
    return nullptr;
  }
  return bin;
}

FolderItemImp* FolderItemImpRecycleBin::FindEntry(int32_t index, const std::string& name) {
  Released<IShellFolder> bin{BinFolder()};
  Released<IEnumIDList> entries;
  if (!bin.p || bin.p->EnumObjects(nullptr, kFoldersAndFiles, &entries.p) != S_OK || !entries.p) {
    return nullptr;
  }
  for (int32_t counter = 0;; ++counter) {
    ShellMemory<ITEMIDLIST> entry;
    ULONG fetched = 0;
    if (entries.p->Next(1, &entry.p, &fetched) != S_OK || fetched != 1) return nullptr;
    std::string displayName;
    if (!DisplayName(*bin.p, entry.p, &displayName)) return nullptr;
    if (index == -1 ? SameDisplayName(displayName, name) : index == counter) {
      StringRef binPath;
      GetAbsolutePath(binPath.out());
      auto found = FolderItemImpWin32FromPath(StringToStdUTF8(binPath.get()) + displayName, false,
                                              false, nullptr);
      if (found) found->mIsTrashEntry = true;
      return found.release();
    }
  }
}

FolderItemImp* FolderItemImpRecycleBin::ResolveAlias(uint32_t) { return nullptr; }
bool FolderItemImpRecycleBin::CreateAsFolder() { return false; }
FileStream* FolderItemImpRecycleBin::CreateStream(const StringRecord*) { return nullptr; }
bool FolderItemImpRecycleBin::Delete() { return false; }
bool FolderItemImpRecycleBin::CopyFileTo(FolderItemImp*) { return false; }
bool FolderItemImpRecycleBin::MoveFileTo(FolderItemImp*) { return false; }
bool FolderItemImpRecycleBin::Launch(bool) { return false; }
bool FolderItemImpRecycleBin::MoveToTrash() { return false; }
RuntimeObject* FolderItemImpRecycleBin::OpenAsSound() { return nullptr; }
RuntimeObject* FolderItemImpRecycleBin::OpenAsMovie() { return nullptr; }
RuntimeObject* FolderItemImpRecycleBin::OpenAsPicture(uint8_t) { return nullptr; }
RuntimeObject* FolderItemImpRecycleBin::ImportPicture() { return nullptr; }
bool FolderItemImpRecycleBin::SaveAsPicture(RuntimeObject*, int32_t) { return false; }
bool FolderItemImpRecycleBin::SaveAsJPEG(RuntimeObject*) { return false; }
bool FolderItemImpRecycleBin::OpenStyledEditField(RuntimeObject*) { return false; }
bool FolderItemImpRecycleBin::SaveStyledEditField(RuntimeObject*) { return false; }
