// Base bodies of the folder-item implementation, the stream copy and the
// write probe.
#include "files/FolderItemImp.h"

#include <algorithm>
#include <string>

#include "core/SmartRef.h"
#include "core/string.h"
#include "core/utility.h"
#include "files/FileTypes.h"
#include "files/FolderItemImpVirtual.h"

namespace {

constexpr int32_t kCopyChunk = 4096;
// A folder holding this many leftovers of one name is not searched further.
constexpr uint32_t kFreeNameTries = 10000;

StringRef Ascii(const std::string& text) { return StringRef::Adopt(StringFromASCII(text.c_str())); }

StringRef NameOf(FolderItemImp& item) {
  StringRef name;
  item.GetName(name.out());
  return name;
}

// A child of the folder under the stem, or the stem and a number (0, 1,
// ...), that does not exist yet; null when none is found.
FolderItemImpPtr FreeChild(FolderItemImp& folder, const std::string& stem) {
  FolderItemImpPtr child(folder.GetChildNamed(Ascii(stem).get(), 0));
  for (uint32_t n = 0; child && child->Exists(); ++n) {
    if (n == kFreeNameTries) return nullptr;
    child.reset(folder.GetChildNamed(Ascii(stem + std::to_string(n)).get(), 0));
  }
  return child;
}

// Moves length bytes; a read that brings nothing before the end fails, so a
// store that stops delivering cannot hold the copy for ever.
bool CopyData(FileStream& from, FileStream& to, int32_t length) {
  std::string buffer(size_t(std::min(length, kCopyChunk)), '\0');
  int32_t remaining = length;
  while (remaining > 0) {
    int32_t got = 0;
    const int32_t chunk = std::min(remaining, kCopyChunk);
    if (!from.Read(&buffer[0], chunk, &got) || got <= 0 || got > chunk) return false;
    if (!to.Write(buffer.data(), got)) return false;
    remaining -= got;
  }
  return true;
}

// Puts the finished copy in the target's place: an existing target is first
// renamed to a free name, and deleted only once the copy holds its name.
bool ReplaceTarget(FolderItemImp& folder, FolderItemImp& copy, FolderItemImp& target) {
  const StringRef targetName = NameOf(target);
  FolderItemImpPtr old;
  if (target.Exists()) {
    old.reset(target.Clone());
    FolderItemImpPtr backup = FreeChild(folder, "$$Replaced$$");
    if (!old || !backup || !old->SetName(NameOf(*backup).get())) return false;
  }
  if (!copy.SetName(targetName.get())) {
    if (old) old->SetName(targetName.get());
    return false;
  }
  if (!old || old->Delete()) return true;
  // A target that cannot be deleted (locked, or open) stays what it was: the
  // copy steps aside for it and is deleted by the caller.
  FolderItemImpPtr aside = FreeChild(folder, "$$CopyTemp$$");
  if (aside && copy.SetName(NameOf(*aside).get())) old->SetName(targetName.get());
  return false;
}

enum class CopyOutcome { kCopied, kSameItem, kFailed };

CopyOutcome CopyItem(FolderItemImp& source, FolderItemImp* destination) {
  if (!destination) return CopyOutcome::kFailed;
  if (NamesSameItem(&source, destination)) return CopyOutcome::kSameItem;
  FileStreamPtr from(source.OpenStream(true, false));
  if (!from) return CopyOutcome::kFailed;
  FolderItemImpPtr child;
  FolderItemImp* target = destination;
  if (destination->IsDirectory()) {
    child.reset(destination->GetChildNamed(NameOf(source).get(), kResolveAliases));
    if (!child) return CopyOutcome::kFailed;
    if (NamesSameItem(&source, child.get())) return CopyOutcome::kSameItem;
    target = child.get();
  }
  // A file never takes a folder's place: the folder would be set aside
  // under another name, and kept there when it cannot be deleted.
  if (target->IsDirectory()) return CopyOutcome::kFailed;
  const int32_t length = from->GetLength();
  FolderItemImpPtr folder(length >= 0 ? target->GetParent() : nullptr);
  FolderItemImpPtr copy = folder ? FreeChild(*folder, "$$CopyTemp$$") : nullptr;
  if (!copy) return CopyOutcome::kFailed;
  FileStreamPtr to(copy->CreateStream(Ascii("").get()));
  bool copied = to && CopyData(*from, *to, length);
  from->Close();
  if (to) copied = to->Close() && copied;
  to.reset();
  if (!copied || !ReplaceTarget(*folder, *copy, *target)) {
    copy->Delete();
    return CopyOutcome::kFailed;
  }
  copy->SetMacType(source.GetMacType());
  copy->SetMacCreator(source.GetMacCreator());
  return CopyOutcome::kCopied;
}

// One byte read and written back in place; an empty file counts as
// writeable.
bool ProbeExistingFile(FolderItemImp& item) {
  const double date = item.GetModificationDate();
  FileStreamPtr stream(item.OpenStream(true, true));
  if (!stream) return false;
  uint8_t byte = 0;
  int32_t got = 0;
  if (!stream->Read(&byte, 1, &got) || got != 1) {
    stream->Close();
    return true;
  }
  // Without the move back, the write would change the second byte.
  const bool written = stream->SetPosition(0) && stream->Write(&byte, 1);
  stream->Close();
  stream.reset();
  if (written) item.SetModificationDate(date);
  return written;
}

}  // namespace

// ---- Base bodies -------------------------------------------------------------------

FolderItemImp::FolderItemImp(const StringRecord*) {}
FolderItemImp::~FolderItemImp() = default;
FolderItemImp* FolderItemImp::Assign(FolderItemImp*) { return this; }

FolderItemImp* FolderItemImp::Clone() {
  FolderItemImp* copy = new (std::nothrow) FolderItemImp();
  return copy ? copy->Assign(this) : nullptr;
}

bool FolderItemImp::Exists() { return false; }
bool FolderItemImp::IsAlias() { return false; }
bool FolderItemImp::IsDirectory() { return false; }
bool FolderItemImp::IsVirtual() { return false; }
bool FolderItemImp::IsTrash() { return false; }
void FolderItemImp::GetName(StringRecord** name) { SetOutString(name, StringFromASCII("")); }
bool FolderItemImp::SetName(const StringRecord*) { return false; }
void FolderItemImp::GetAbsolutePath(StringRecord** path) { GetName(path); }
void FolderItemImp::GetDisplayName(StringRecord** name) { GetName(name); }
bool FolderItemImp::SetDisplayName(const StringRecord* name) { return SetName(name); }
bool FolderItemImp::GetExtensionVisible() { return true; }
bool FolderItemImp::SetExtensionVisible(bool) { return false; }
bool FolderItemImp::GetVisible() { return true; }
bool FolderItemImp::SetVisible(bool) { return false; }
bool FolderItemImp::GetLocked() { return false; }
bool FolderItemImp::SetLocked(bool) { return false; }
void FolderItemImp::GetType(StringRecord** type) { SetOutString(type, StringFromASCII("")); }

void FolderItemImp::GetSaveInfo(StringRecord** info, FolderItemImp*, uint8_t) {
  SetOutString(info, StringFromASCII(""));
}

uint32_t FolderItemImp::GetMacType() { return kUnknownFourCharCode; }
bool FolderItemImp::SetMacType(uint32_t) { return false; }
uint32_t FolderItemImp::GetMacCreator() { return kUnknownFourCharCode; }
bool FolderItemImp::SetMacCreator(uint32_t) { return false; }
double FolderItemImp::GetCreationDate() { return 0.0; }
bool FolderItemImp::SetCreationDate(double) { return false; }
double FolderItemImp::GetModificationDate() { return GetCreationDate(); }
bool FolderItemImp::SetModificationDate(double) { return false; }
int32_t FolderItemImp::GetMacVRefNum() { return 0; }
int32_t FolderItemImp::GetMacDirID() { return 0; }
int32_t FolderItemImp::GetAuxValue() { return -1; }
bool FolderItemImp::SetAuxValue(int32_t) { return false; }
bool FolderItemImp::IsReadable() { return true; }
bool FolderItemImp::IsWriteable() { return WriteProbe(*this); }
int32_t FolderItemImp::GetLength() { return 0; }
bool FolderItemImp::SetLength(int32_t) { return false; }
int32_t FolderItemImp::GetResourceForkLength() { return 0; }
FileStream* FolderItemImp::OpenStream(bool, bool) { return nullptr; }
int32_t FolderItemImp::ReservedQuery() { return -1; }
FolderItemImp* FolderItemImp::GetParent() { return nullptr; }
FolderItemImp* FolderItemImp::FindFolder(uint32_t) { return nullptr; }
int32_t FolderItemImp::GetCount() { return 0; }
FolderItemImp* FolderItemImp::GetItemAt(int32_t, uint32_t) { return nullptr; }
FolderItemImp* FolderItemImp::GetChildNamed(const StringRecord*, uint32_t) { return nullptr; }
FolderItemImp* FolderItemImp::ResolveAlias(uint32_t) { return this; }
void FolderItemImp::RevealInFileBrowser() {}
bool FolderItemImp::CreateAsFolder() { return false; }
FileStream* FolderItemImp::CreateStream(const StringRecord*) { return nullptr; }
bool FolderItemImp::Delete() { return false; }
bool FolderItemImp::CopyFileTo(FolderItemImp* destination) {
  return CopyThroughStreams(*this, destination);
}
bool FolderItemImp::MoveFileTo(FolderItemImp* destination) {
  return MoveThroughStreams(*this, destination);
}
bool FolderItemImp::Launch(bool) { return false; }
bool FolderItemImp::MoveToTrash() { return false; }
bool FolderItemImp::OpenStyledEditField(RuntimeObject*) { return false; }
RuntimeObject* FolderItemImp::OpenAsPicture(uint8_t) { return nullptr; }
RuntimeObject* FolderItemImp::OpenAsMovie() { return nullptr; }
RuntimeObject* FolderItemImp::OpenAsSound() { return nullptr; }
RuntimeObject* FolderItemImp::ImportPicture() { return nullptr; }
bool FolderItemImp::SaveAsPicture(RuntimeObject*, int32_t) { return false; }
bool FolderItemImp::SaveAsJPEG(RuntimeObject*) { return false; }
bool FolderItemImp::SaveStyledEditField(RuntimeObject*) { return false; }

void* FolderItemImp::operator new(size_t size) { return HeapAllocate(uint32_t(size), false); }
void* FolderItemImp::operator new(size_t size, const std::nothrow_t&) noexcept {
  return HeapAllocate(uint32_t(size), true);
}
void FolderItemImp::operator delete(void* block) noexcept { HeapRelease(block); }

// ---- Free operations -----------------------------------------------------------------

FolderItemImpPtr TakeResolved(FolderItemImpPtr item, uint32_t options) {
  if (!item) return item;
  FolderItemImp* target = item->ResolveAlias(options);
  if (target == item.get()) return item;
  return FolderItemImpPtr(target);
}

bool NamesSameItem(FolderItemImp* a, FolderItemImp* b) {
  if (!a || !b) return false;
  if (a == b) return true;
  if (a->IsVirtual() || b->IsVirtual()) return VirtualNamesSameItem(a, b);
  StringRef pathA;
  StringRef pathB;
  a->GetAbsolutePath(pathA.out());
  b->GetAbsolutePath(pathB.out());
  return StringCompareNoCase(pathA.get(), pathB.get()) == 0;
}

void SetOutString(StringRecord** variable, StringRecord* owned) {
  StringRef held = StringRef::Adopt(owned);
  StringAssign(variable, held.get());
}

bool IsSaveInfoData(const StringRecord* text) {
  static const uint8_t kMagic[] = {0x00, 0xF1, 0xD1, 0x73};
  return StringLength(text) >= 4 && std::equal(kMagic, kMagic + 4, StringData(text));
}

bool CopyThroughStreams(FolderItemImp& source, FolderItemImp* destination) {
  return CopyItem(source, destination) != CopyOutcome::kFailed;
}

bool MoveThroughStreams(FolderItemImp& source, FolderItemImp* destination) {
  switch (CopyItem(source, destination)) {
    case CopyOutcome::kCopied:
      return source.Delete();
    case CopyOutcome::kSameItem:
      return true;
    case CopyOutcome::kFailed:
      break;
  }
  return false;
}

bool WriteProbe(FolderItemImp& item) {
  if (item.Exists() && !item.IsDirectory()) return ProbeExistingFile(item);
  FolderItemImpPtr folder(item.IsDirectory() ? item.Clone() : item.GetParent());
  if (!folder) return false;
  FolderItemImpPtr probe = FreeChild(*folder, "$$TestFile$$");
  const double folderDate = folder->GetModificationDate();
  bool writeable = false;
  if (probe) {
    FileStreamPtr stream(probe->CreateStream(Ascii("????").get()));
    if (stream) {
      stream->Close();
      stream.reset();
      probe->Delete();
      writeable = true;
    }
    probe.reset();
  }
  folder->SetModificationDate(folderDate);
  return writeable;
}
