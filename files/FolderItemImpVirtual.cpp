#include "files/FolderItemImpVirtual.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/BufferedStream.h"
#include "files/FileStreams.h"
#include "files/FileTypes.h"
#include "files/runFolderItem.h"
#include "host/RuntimeMain.h"

namespace {

constexpr int kMaxPathDepth = 4096;

struct VolumeState;

// Closes a volume still open when the application ends: streams' lengths and
// the block map are written.
class VolumeClosingHook : public ShutdownHook {
 public:
  explicit VolumeClosingHook(VolumeState* state)
      : ShutdownHook("VirtualVolume"), state_(state) {}
  ~VolumeClosingHook() override;
  void Forget() { state_ = nullptr; }

 private:
  VolumeState* state_;
};

struct VolumeState {
  std::unique_ptr<VHFS> fileSystem;
  FolderItemImpPtr container;  // the item holding the volume
  VolumeClosingHook* hook = nullptr;
};

VolumeClosingHook::~VolumeClosingHook() {
  if (!state_) return;
  state_->hook = nullptr;
  // Streams on the volume may still hold bytes: the hook that writes them
  // out at the end is older than this one and comes after it.
  WriteOutAllStreams();
  state_->fileSystem->Close();
}

struct VirtualVolumeFields {
  RuntimeObject header;
  VolumeState* state;  // owned; nil once destroyed
};
static_assert(!kLayoutIs32Bit || offsetof(VirtualVolumeFields, state) == 24,
              "the file system follows the header");

// Volumes alive in this process (not locked: each removes itself).
std::vector<RuntimeObject*>& LiveVolumes() {
  static std::vector<RuntimeObject*> volumes;
  return volumes;
}

ObjectDefinition* VirtualVolumeDefinition();

VolumeState* StateOf(RuntimeObject* volume) {
  if (!ObjectIsADefinition(volume, VirtualVolumeDefinition())) return nullptr;
  return ObjectFields<VirtualVolumeFields>(volume)->state;
}

void DestroyVirtualVolume(RuntimeObject* volume) {
  auto& live = LiveVolumes();
  live.erase(std::remove(live.begin(), live.end(), volume), live.end());
  std::unique_ptr<VolumeState> state(std::exchange(ObjectFields<VirtualVolumeFields>(volume)->state,
                                                   nullptr));
  if (!state) return;
  if (state->hook) {
    state->hook->Forget();
    delete state->hook;
  }
  state->fileSystem->Close();
}

// The open volume whose container is the item, or nil.
RuntimeObject* OpenVolumeOf(FolderItemImp* item) {
  for (RuntimeObject* volume : LiveVolumes()) {
    VolumeState* state = StateOf(volume);
    if (state && state->fileSystem->IsOpen() && NamesSameItem(state->container.get(), item)) {
      return volume;
    }
  }
  return nullptr;
}

// One writer across processes: the byte at 0xFFFFFFFF of a system file.
bool LockContainer(FileStream& stream) {
  auto* file = dynamic_cast<Win32FileStream*>(&stream);
  if (!file) return true;
  OVERLAPPED position = {};
  position.Offset = 0xFFFFFFFF;
  return LockFileEx(file->SystemHandle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                    1, 0, &position) != FALSE;
}

// A new VirtualVolume over the file system, or nil (the file system closed).
RuntimeObject* NewVolume(std::unique_ptr<VHFS> fileSystem, FolderItemImp& container) {
  if (!fileSystem) return nullptr;
  auto state = std::make_unique<VolumeState>();
  state->container.reset(container.Clone());
  RuntimeObject* volume = state->container ? CreateInstance(VirtualVolumeDefinition()) : nullptr;
  if (!volume) return nullptr;
  state->fileSystem = std::move(fileSystem);
  state->hook = new VolumeClosingHook(state.get());
  ObjectFields<VirtualVolumeFields>(volume)->state = state.release();
  LiveVolumes().push_back(volume);
  return volume;
}

// The container stream made ready: locked, values big-endian.
FileStreamPtr PrepareContainer(FileStream* stream) {
  FileStreamPtr held(stream);
  if (!held || !LockContainer(*held)) return nullptr;
  held->SetSwapBytes();
  held->swapDoubles = true;
  return held;
}

RuntimeObject* CreateVolumeFor(RuntimeObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (!imp || imp->GetLocked() || OpenVolumeOf(imp)) return nullptr;
  StringRef type;
  imp->GetType(type.out());
  FileStreamPtr stream = PrepareContainer(imp->CreateStream(type.get()));
  return stream ? NewVolume(VHFS::CreateVolume(std::move(stream)), *imp) : nullptr;
}

RuntimeObject* OpenVolumeFor(RuntimeObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (!imp) return nullptr;
  if (RuntimeObject* open = OpenVolumeOf(imp)) {
    RuntimeLockObject(open);
    return open;
  }
  FileStreamPtr stream = PrepareContainer(imp->OpenStream(true, true));
  return stream ? NewVolume(VHFS::OpenVolume(std::move(stream)), *imp) : nullptr;
}

RuntimeObject* VolumeOfItem(RuntimeObject* item) {
  auto* imp = dynamic_cast<FolderItemImpVirtual*>(FolderItemImpOf(item));
  if (!imp) return nullptr;
  RuntimeLockObject(imp->Volume());
  return imp->Volume();
}

ObjectDefinition* VirtualVolumeDefinition() {
  static ObjectDefinition* const definition = [] {
    static ObjectDefinition volume;
    static PropertyRecord properties[] = {
        {kPropertyReadOnly, "Root", GetFolderItemClassDefinition(),
         RUNTIME_ENTRY(VirtVolRootGetter), nullptr, nullptr, 0},
    };
    ObjectDefinitionSetName(&volume, "VirtualVolume");
    volume.instanceSize = sizeof(VirtualVolumeFields);
    volume.destructor = DestroyVirtualVolume;
    BuildPropertyDefinitions(&volume, properties, int32_t(std::size(properties)));
    return &volume;
  }();
  return definition;
}

std::string Utf8Of(const StringRecord* text) { return StringToStdUTF8(text); }

}  // namespace

// ---- The class --------------------------------------------------------------------------

void RegisterVirtualVolumeClass() {
  RegisterIntrinsicClass(VirtualVolumeDefinition());
  VirtualVolumeSlots slots;
  slots.create = CreateVolumeFor;
  slots.open = OpenVolumeFor;
  slots.volumeOf = VolumeOfItem;
  InstallVirtualVolumeSlots(slots);
}

extern "C" RuntimeObject* VirtVolRootGetter(RuntimeObject* volume, uint32_t) {
  VolumeState* state = StateOf(volume);
  if (!state || !state->fileSystem->IsOpen()) return nullptr;
  const VHFSItemRef root = state->fileSystem->GetRootItem();
  if (!root.IsFolder()) return nullptr;
  return NewFolderItemWithImp(
      FolderItemImpPtr(new FolderItemImpVirtual(volume, root.id, root.name, true)));
}

bool VirtualNamesSameItem(FolderItemImp* a, FolderItemImp* b) {
  auto* first = dynamic_cast<FolderItemImpVirtual*>(a);
  auto* second = dynamic_cast<FolderItemImpVirtual*>(b);
  if (!first || !second || first->Volume() != second->Volume()) return false;
  const VHFSItemRef one = first->Resolve();
  const VHFSItemRef other = second->Resolve();
  if (one.type != 0 || other.type != 0) return one.id == other.id;
  StringRef nameA, nameB;
  first->GetName(nameA.out());
  second->GetName(nameB.out());
  FolderItemImpPtr parentA(first->GetParent());
  FolderItemImpPtr parentB(second->GetParent());
  return parentA && parentB && VirtualNamesSameItem(parentA.get(), parentB.get()) &&
         VHFS::SameName(Utf8Of(nameA.get()), Utf8Of(nameB.get()));
}

// ---- The implementation -----------------------------------------------------------------

FolderItemImpVirtual::FolderItemImpVirtual(RuntimeObject* volume, uint32_t placeId,
                                           const std::string& name, bool self)
    : volume_(volume), name_(name), place_(placeId), self_(self) {
  RuntimeLockObject(volume_);
}

FolderItemImpVirtual::~FolderItemImpVirtual() { RuntimeUnlockObject(volume_); }

VHFS* FolderItemImpVirtual::FileSystem() const {
  VolumeState* state = StateOf(volume_);
  return state && state->fileSystem->IsOpen() ? state->fileSystem.get() : nullptr;
}

VHFSItemRef FolderItemImpVirtual::Resolve() {
  VHFS* fileSystem = FileSystem();
  if (!fileSystem) return {};
  if (self_) return fileSystem->ItemOfId(place_);
  return fileSystem->FindChild({place_, "", kVHFSFolderType}, name_);
}

VHFSItemRef FolderItemImpVirtual::ResolvedFile() {
  VHFSItemRef item = Resolve();
  return item.IsFile() ? item : VHFSItemRef{};
}

bool FolderItemImpVirtual::NameTaken(uint32_t folder, const std::string& name, uint32_t item) {
  const VHFSItemRef other = FileSystem()->FindChild({folder, "", kVHFSFolderType}, name);
  return other.type != 0 && other.id != item;
}

FolderItemImp* FolderItemImpVirtual::Assign(FolderItemImp* source) {
  auto* other = dynamic_cast<FolderItemImpVirtual*>(source);
  if (!other || other == this) return this;
  RuntimeLockObject(other->volume_);
  RuntimeUnlockObject(std::exchange(volume_, other->volume_));
  name_ = other->name_;
  place_ = other->place_;
  self_ = other->self_;
  return this;
}

FolderItemImp* FolderItemImpVirtual::Clone() {
  return new (std::nothrow) FolderItemImpVirtual(volume_, place_, name_, self_);
}

bool FolderItemImpVirtual::Exists() { return Resolve().type != 0; }
bool FolderItemImpVirtual::IsDirectory() { return Resolve().IsFolder(); }
bool FolderItemImpVirtual::IsVirtual() { return true; }

void FolderItemImpVirtual::GetName(StringRecord** name) {
  SetOutString(name, StringFromUTF8(name_));
}

bool FolderItemImpVirtual::SetName(const StringRecord* name) {
  VHFSItemRef item = Resolve();
  const std::string wanted = VHFS::CutName(Utf8Of(name));
  if (item.type == 0 || wanted.empty() || (!self_ && NameTaken(place_, wanted, item.id)) ||
      !FileSystem()->RenameItem(&item, wanted)) {
    return false;
  }
  name_ = item.name;
  return true;
}

void FolderItemImpVirtual::GetAbsolutePath(StringRecord** path) {
  std::string text = name_;
  FolderItemImpPtr parent(GetParent());
  for (int depth = 0; parent && depth < kMaxPathDepth; ++depth) {
    StringRef name;
    parent->GetName(name.out());
    text = Utf8Of(name.get()) + "/" + text;
    parent.reset(parent->GetParent());
  }
  SetOutString(path, StringFromUTF8(text));
}

void FolderItemImpVirtual::GetType(StringRecord** type) {
  SetOutString(type, Resolve().type ? StringFromUTF8(FileTypeNameForFile(name_)) : nullptr);
}

uint32_t FolderItemImpVirtual::GetMacType() {
  const VHFSItemRef item = Resolve();
  return item.type ? item.type : FolderItemImp::GetMacType();
}

bool FolderItemImpVirtual::SetMacType(uint32_t code) {
  VHFSItemRef item = ResolvedFile();
  return item.type && FileSystem()->SetItemType(&item, code);
}

double FolderItemImpVirtual::GetCreationDate() {
  const VHFSItemRef item = Resolve();
  return item.type ? FileSystem()->GetItemInfo(item).creationDate : 0.0;
}

double FolderItemImpVirtual::GetModificationDate() {
  const VHFSItemRef item = Resolve();
  return item.type ? FileSystem()->GetItemInfo(item).modificationDate : 0.0;
}

bool FolderItemImpVirtual::SetDate(bool creation, double seconds) {
  const VHFSItemRef item = ResolvedFile();
  if (!item.type) return false;
  VHFSItemInfo info = FileSystem()->GetItemInfo(item);
  (creation ? info.creationDate : info.modificationDate) = seconds;
  return FileSystem()->SetItemInfo(item, info);
}

bool FolderItemImpVirtual::SetCreationDate(double seconds) { return SetDate(true, seconds); }
bool FolderItemImpVirtual::SetModificationDate(double seconds) { return SetDate(false, seconds); }

int32_t FolderItemImpVirtual::GetMacDirID() {
  const VHFSItemRef item = Resolve();
  if (!item.type) return 0;
  return self_ ? int32_t(item.id) : int32_t(place_);
}

int32_t FolderItemImpVirtual::GetLength() {
  WriteOutAllStreams();  // the length as this process's streams wrote it
  const VHFSItemRef item = Resolve();
  return item.type ? int32_t(FileSystem()->GetItemInfo(item).dataLength) : 0;
}

bool FolderItemImpVirtual::SetLength(int32_t length) {
  // Through a stream, so that a longer file reads zeros where it grew.
  const VHFSItemRef item = ResolvedFile();
  std::unique_ptr<VHFSStream> stream = item.type ? FileSystem()->OpenItemStream(item) : nullptr;
  return stream && stream->SetLength(length) && stream->Close();
}

FileStream* FolderItemImpVirtual::StreamOn(const VHFSItemRef& item, bool bigEndian) {
  // As a file of the system's does, the new stream starts from what the
  // process's streams wrote: their gathered bytes and the lengths they set.
  WriteOutAllStreams();
  std::unique_ptr<VHFSStream> stream = item.type ? FileSystem()->OpenItemStream(item) : nullptr;
  if (!stream) return nullptr;
  stream->SetOwner(volume_);
  if (bigEndian) {
    stream->SetSwapBytes();
    stream->swapDoubles = true;
  }
  return stream.release();
}

FileStream* FolderItemImpVirtual::OpenStream(bool, bool) { return StreamOn(ResolvedFile(), true); }

FolderItemImp* FolderItemImpVirtual::GetParent() {
  VHFS* fileSystem = FileSystem();
  if (self_ || !fileSystem) return nullptr;
  const VHFSItemRef folder = fileSystem->ItemOfId(place_);
  if (!folder.IsFolder()) return nullptr;
  const VHFSItemRef above = fileSystem->GetParentItem(folder);
  if (!above.type) return new (std::nothrow) FolderItemImpVirtual(volume_, folder.id, folder.name, true);
  return new (std::nothrow) FolderItemImpVirtual(volume_, above.id, folder.name, false);
}

int32_t FolderItemImpVirtual::GetCount() {
  const VHFSItemRef folder = Resolve();
  std::vector<VHFSItemRef> children;
  if (!folder.IsFolder() || !FileSystem()->ListFolder(folder, &children)) return 0;
  return int32_t(children.size());
}

FolderItemImp* FolderItemImpVirtual::GetItemAt(int32_t index, uint32_t) {
  const VHFSItemRef folder = Resolve();
  std::vector<VHFSItemRef> children;
  if (!folder.IsFolder() || !FileSystem()->ListFolder(folder, &children) || index < 0 ||
      size_t(index) >= children.size()) {
    return nullptr;
  }
  return new (std::nothrow) FolderItemImpVirtual(volume_, folder.id, children[size_t(index)].name, false);
}

FolderItemImp* FolderItemImpVirtual::GetChildNamed(const StringRecord* name, uint32_t) {
  const VHFSItemRef folder = Resolve();
  if (!folder.IsFolder()) return nullptr;
  return new (std::nothrow) FolderItemImpVirtual(volume_, folder.id, VHFS::CutName(Utf8Of(name)), false);
}

bool FolderItemImpVirtual::CreateAsFolder() {
  VHFS* fileSystem = FileSystem();
  if (!fileSystem || self_ || Resolve().type) return false;
  return fileSystem->CreateFolder({place_, "", kVHFSFolderType}, name_).type != 0;
}

FileStream* FolderItemImpVirtual::CreateStream(const StringRecord*) {
  VHFS* fileSystem = FileSystem();
  if (!fileSystem || self_ || Resolve().type) return nullptr;
  return StreamOn(fileSystem->CreateItem({place_, "", kVHFSFolderType}, name_, kVHFSUnknownType),
                  false);
}

bool FolderItemImpVirtual::Delete() {
  const VHFSItemRef item = Resolve();
  return item.type && FileSystem()->DeleteItem(item);
}

bool FolderItemImpVirtual::MoveFileTo(FolderItemImp* destination) {
  VHFS* fileSystem = FileSystem();
  if (!fileSystem || !destination) return false;
  if (destination == this) return true;
  auto* target = dynamic_cast<FolderItemImpVirtual*>(destination);
  if (!target || target->volume_ != volume_) return MoveThroughStreams(*this, destination);
  VHFSItemRef item = Resolve();
  if (!item.type) return false;
  const VHFSItemRef there = target->Resolve();
  if (there.IsFolder()) {
    // Into the folder, keeping the name.
    if (NameTaken(there.id, item.name, item.id) || !fileSystem->MoveItem(item, there)) return false;
    place_ = there.id;
    self_ = false;
    return true;
  }
  if (there.id == item.id) return SetName(StringRef::Adopt(StringFromUTF8(target->name_)).get());
  // Onto a file name: the item goes into that folder in place of what is
  // there, and takes the name; what is there goes only when the move is made.
  if (target->self_) return false;
  const VHFSItemRef folder = fileSystem->ItemOfId(target->place_);
  if (!fileSystem->PlaceItem(&item, folder, target->name_, there)) return false;
  place_ = folder.id;
  self_ = false;
  name_ = item.name;
  return true;
}
