#include "files/VHFS.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/Date.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/utility.h"

namespace {

constexpr uint32_t kTypeOffset = 8;
constexpr uint32_t kParentOffset = 12;
constexpr uint32_t kDatesOffset = 16;
constexpr uint32_t kNameOffset = 32;
constexpr uint32_t kCountOffset = VHFS::kItemHeaderSize;
// Walks up the parent chain stop here: a longer chain is a cycle.
constexpr int kMaxDepth = 4096;

char Fold(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

std::string Folded(std::string name) {
  for (char& c : name) c = Fold(c);
  return name;
}

// A stored name ends at its first zero byte: one holding a zero would be
// stored as another name.
bool Storable(const std::string& name) {
  return !name.empty() && name.find('\0') == std::string::npos;
}

}  // namespace

// ---- Names ------------------------------------------------------------------------------

std::string VHFS::CutName(const std::string& name) {
  if (name.size() <= kMaxNameBytes) return name;
  size_t end = kMaxNameBytes;
  // Step back over continuation bytes to the start of the cut sequence.
  while (end > 0 && (uint8_t(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

bool VHFS::SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// ---- Values -----------------------------------------------------------------------------

void VHFS::PutValue32(uint8_t* out, uint32_t value) const {
  if (core_->ValuesBigEndian()) {
    PutBigEndian32(out, value);
  } else {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(value >> (8 * i));
  }
}

uint32_t VHFS::GetValue32(const uint8_t* in) const {
  if (core_->ValuesBigEndian()) return GetBigEndian32(in);
  return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

void VHFS::PutDouble(uint8_t* out, double value) const {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  PutValue32(out, uint32_t(core_->ValuesBigEndian() ? bits >> 32 : bits));
  PutValue32(out + 4, uint32_t(core_->ValuesBigEndian() ? bits : bits >> 32));
}

double VHFS::GetDouble(const uint8_t* in) const {
  const uint64_t first = GetValue32(in);
  const uint64_t second = GetValue32(in + 4);
  const uint64_t bits = core_->ValuesBigEndian() ? first << 32 | second : second << 32 | first;
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

void VHFS::EncodeHeader(uint8_t* out, const Header& header) const {
  std::memset(out, 0, kItemHeaderSize);
  PutDouble(out, header.dataLength);
  PutValue32(out + kTypeOffset, header.type);
  PutValue32(out + kParentOffset, header.parent);
  PutDouble(out + kDatesOffset, header.creationDate);
  PutDouble(out + kDatesOffset + 8, header.modificationDate);
  std::memcpy(out + kNameOffset, header.name.data(), std::min<size_t>(header.name.size(), kMaxNameBytes));
}

bool VHFS::ReadHeader(int32_t ref, uint32_t id, Header* header) {
  uint8_t bytes[kItemHeaderSize];
  uint32_t got = 0;
  if (!core_->Seek(ref, 0) || !core_->ReadData(ref, bytes, kItemHeaderSize, &got)) return false;
  const uint32_t type = GetValue32(bytes + kTypeOffset);
  uint32_t length = 0;
  if (type == 0 || !CheckedDoubleToOffset(GetDouble(bytes), kMaxDataLength, &length)) {
    core_->NoteDamage(VFSDamageKind::kBadItem, id, "item header is invalid");
    return false;
  }
  auto date = [&](const uint8_t* in) {
    const double value = GetDouble(in);
    return std::isfinite(value) ? value : 0.0;
  };
  const char* name = reinterpret_cast<const char*>(bytes + kNameOffset);
  *header = {length,
             type,
             GetValue32(bytes + kParentOffset),
             date(bytes + kDatesOffset),
             date(bytes + kDatesOffset + 8),
             std::string(name, std::find(name, name + kMaxNameBytes, '\0'))};
  return true;
}

bool VHFS::ReadHeaderOf(uint32_t id, Header* header) {
  if (!IsOpen() || id < kRootId) return false;
  const int32_t ref = core_->OpenFile(id);
  if (ref < 0) return false;
  const bool read = ReadHeader(ref, id, header);
  core_->CloseFile(ref);
  return read;
}

bool VHFS::WriteAt(int32_t ref, uint32_t position, const void* bytes, uint32_t count) {
  return core_->Seek(ref, position) && core_->WriteData(ref, bytes, count);
}

bool VHFS::WriteValue32(uint32_t id, uint32_t position, uint32_t value) {
  const int32_t ref = core_->OpenFile(id);
  if (ref < 0) return false;
  uint8_t bytes[4];
  PutValue32(bytes, value);
  const bool written = WriteAt(ref, position, bytes, 4);
  core_->CloseFile(ref);
  return written;
}

bool VHFS::WritePlace(uint32_t id, const Header& header) {
  uint8_t bytes[kItemHeaderSize];
  EncodeHeader(bytes, header);
  const int32_t ref = core_->OpenFile(id);
  const bool written = ref >= 0 && WriteAt(ref, kParentOffset, bytes + kParentOffset,
                                           kItemHeaderSize - kParentOffset);
  core_->CloseFile(ref);
  return written;
}

// ---- The volume -------------------------------------------------------------------------

std::unique_ptr<VHFS> VHFS::CreateVolume(FileStreamPtr disk) {
  std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(std::move(disk));
  if (!core) return nullptr;
  std::unique_ptr<VHFS> volume(new (std::nothrow) VHFS(nullptr));
  if (!volume) return nullptr;
  volume->core_ = std::move(core);
  const double now = DateNowSeconds();
  uint8_t root[kItemHeaderSize + 4] = {};
  volume->EncodeHeader(root, {4, kVHFSFolderType, 0, now, now, "/"});
  if (volume->core_->CreateVFSFile(root, sizeof root) != kRootId) return nullptr;
  return volume;
}

std::unique_ptr<VHFS> VHFS::OpenVolume(FileStreamPtr disk) {
  std::unique_ptr<VFSCore> core = VFSCore::OpenContainer(std::move(disk));
  if (!core) return nullptr;
  std::unique_ptr<VHFS> volume(new (std::nothrow) VHFS(nullptr));
  if (volume) {
    volume->core_ = std::move(core);
    if (volume->GetRootItem().IsFolder()) return volume;
  }
  // Refused: left as it was found.
  (volume ? volume->core_ : core)->Abandon();
  return nullptr;
}

VHFS::~VHFS() { Close(); }

bool VHFS::Close() {
  if (!core_) return false;
  bool closed = true;
  while (!streams_.empty()) closed = (*streams_.begin())->Detach() && closed;
  closed = core_->Close() && closed;
  listings_.clear();
  return closed;
}

VHFSItemRef VHFS::ItemOfId(uint32_t id) {
  Header header;
  if (!ReadHeaderOf(id, &header)) return {};
  return {id, header.name, header.type};
}

VHFSItemRef VHFS::GetRootItem() {
  Header header;
  if (!ReadHeaderOf(kRootId, &header) || header.type != kVHFSFolderType) return {};
  return {kRootId, header.name, header.type};
}

VHFSItemRef VHFS::GetParentItem(const VHFSItemRef& item) {
  Header header;
  if (item.id == kRootId || !ReadHeaderOf(item.id, &header)) return {};
  VHFSItemRef parent = ItemOfId(header.parent);
  return parent.IsFolder() ? parent : VHFSItemRef{};
}

// ---- Folders ----------------------------------------------------------------------------

bool VHFS::ReadChildIds(int32_t ref, const Header& folder, std::vector<uint32_t>* ids) {
  uint8_t countBytes[4];
  uint32_t got = 0;
  if (folder.dataLength < 4 || !core_->Seek(ref, kCountOffset) ||
      !core_->ReadData(ref, countBytes, 4, &got)) {
    return false;
  }
  // Counted only as far as the length and the container hold ids; the ids
  // the blocks deliver are the ones read.
  const uint32_t count =
      std::min({GetValue32(countBytes), (folder.dataLength - 4) / 4, core_->DiskLength() / 4});
  std::vector<uint8_t> bytes(size_t(count) * 4);
  core_->ReadData(ref, bytes.data(), uint32_t(bytes.size()), &got);
  ids->clear();
  for (uint32_t i = 0; i < got / 4; ++i) ids->push_back(GetValue32(&bytes[i * 4]));
  return true;
}

int32_t VHFS::OpenFolder(uint32_t folder, Header* header, std::vector<uint32_t>* ids) {
  const int32_t ref = core_->OpenFile(folder);
  if (ref < 0) return -1;
  if (ReadHeader(ref, folder, header) && header->type == kVHFSFolderType &&
      ReadChildIds(ref, *header, ids)) {
    return ref;
  }
  core_->CloseFile(ref);
  return -1;
}

void VHFS::FolderListing::Add(const VHFSItemRef& child) {
  byName.emplace(Folded(child.name), children.size());
  children.push_back(child);
}

void VHFS::FolderListing::Rename(uint32_t id, const std::string& name) {
  for (size_t index = 0; index < children.size(); ++index) {
    if (children[index].id != id) continue;
    const auto range = byName.equal_range(Folded(children[index].name));
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == index) {
        byName.erase(it);
        break;
      }
    }
    children[index].name = name;
    byName.emplace(Folded(name), index);
    return;
  }
}

VHFSItemRef* VHFS::FolderListing::Child(uint32_t id) {
  for (VHFSItemRef& child : children) {
    if (child.id == id) return &child;
  }
  return nullptr;
}

const VHFS::FolderListing* VHFS::Listing(const VHFSItemRef& folder) {
  if (!IsOpen() || !folder.IsFolder()) return nullptr;
  auto cached = listings_.find(folder.id);
  if (cached != listings_.end()) return &cached->second;
  Header header;
  std::vector<uint32_t> ids;
  const int32_t ref = OpenFolder(folder.id, &header, &ids);
  if (ref < 0) return nullptr;
  core_->CloseFile(ref);
  const uint32_t shortReads = core_->ShortReads();
  FolderListing listing;
  std::set<uint32_t> seen;
  for (uint32_t id : ids) {
    Header child;
    if (id <= kRootId || !seen.insert(id).second) continue;
    if (!ReadHeaderOf(id, &child)) {
      core_->NoteDamage(VFSDamageKind::kBadItem, id, "a folder names a missing item");
      continue;
    }
    if (child.parent == folder.id) listing.Add({id, child.name, child.type});
  }
  // A child the disk failed to deliver may be there all the same: such a
  // listing is not kept.
  if (core_->ShortReads() != shortReads) {
    unkept_ = std::move(listing);
    return &unkept_;
  }
  return &(listings_[folder.id] = std::move(listing));
}

VHFSItemRef* VHFS::CachedChild(uint32_t folder, uint32_t item) {
  auto listing = listings_.find(folder);
  return listing == listings_.end() ? nullptr : listing->second.Child(item);
}

bool VHFS::ListFolder(const VHFSItemRef& folder, std::vector<VHFSItemRef>* children) {
  children->clear();
  const FolderListing* listing = Listing(folder);
  if (!listing) return false;
  *children = listing->children;
  return true;
}

VHFSItemRef VHFS::FindChild(const VHFSItemRef& folder, const std::string& name) {
  const FolderListing* listing = Listing(folder);
  if (!listing) return {};
  // The first in stored order of the children answering to the name.
  const auto range = listing->byName.equal_range(Folded(name));
  size_t first = listing->children.size();
  for (auto it = range.first; it != range.second; ++it) first = std::min(first, it->second);
  return first < listing->children.size() ? listing->children[first] : VHFSItemRef{};
}

bool VHFS::AddChild(uint32_t item, uint32_t folder) {
  Header header;
  std::vector<uint32_t> ids;
  const int32_t ref = OpenFolder(folder, &header, &ids);
  const uint32_t count = uint32_t(ids.size());
  // The id and the length first: only the count makes the child visible.
  uint8_t id[4], length[8], countBytes[4];
  PutValue32(id, item);
  PutDouble(length, 4.0 * (count + 1) + 4);
  PutValue32(countBytes, count + 1);
  const bool added = ref >= 0 && WriteAt(ref, kCountOffset + 4 * (count + 1), id, 4) &&
                     WriteAt(ref, 0, length, 8) && WriteAt(ref, kCountOffset, countBytes, 4);
  core_->CloseFile(ref);
  if (!added) {
    listings_.erase(folder);
    return false;
  }
  auto listing = listings_.find(folder);
  if (listing != listings_.end()) {
    Header child;
    if (ReadHeaderOf(item, &child)) listing->second.Add({item, child.name, child.type});
  }
  return true;
}

bool VHFS::RemoveChild(uint32_t item, uint32_t folder) {
  Header header;
  std::vector<uint32_t> ids;
  const int32_t ref = OpenFolder(folder, &header, &ids);
  const auto found = std::find(ids.begin(), ids.end(), item);
  bool removed = ref >= 0 && found != ids.end();
  if (removed) {
    // The last id takes the removed one's place; the count then drops.
    const uint32_t index = uint32_t(found - ids.begin());
    const uint32_t last = uint32_t(ids.size() - 1);
    uint8_t bytes[4];
    PutValue32(bytes, ids[last]);
    removed = index == last || WriteAt(ref, kCountOffset + 4 + 4 * index, bytes, 4);
    PutValue32(bytes, last);
    removed = removed && WriteAt(ref, kCountOffset, bytes, 4);
  }
  core_->CloseFile(ref);
  listings_.erase(folder);  // read again: the stored order changed
  return removed;
}

bool VHFS::ReplaceChild(uint32_t replaced, uint32_t item, uint32_t folder) {
  Header header;
  std::vector<uint32_t> ids;
  const int32_t ref = OpenFolder(folder, &header, &ids);
  const auto found = std::find(ids.begin(), ids.end(), replaced);
  uint8_t bytes[4];
  PutValue32(bytes, item);
  const bool written = ref >= 0 && found != ids.end() &&
                       WriteAt(ref, kCountOffset + 4 + 4 * uint32_t(found - ids.begin()), bytes, 4);
  core_->CloseFile(ref);
  listings_.erase(folder);
  // The item is listed twice now, and read once: dropping one is tidying.
  if (written) RemoveChild(item, folder);
  return written;
}

bool VHFS::IsInSubtree(uint32_t folder, uint32_t item) {
  for (int depth = 0; depth < kMaxDepth && folder >= kRootId; ++depth) {
    if (folder == item) return true;
    if (folder == kRootId) return false;
    Header header;
    if (!ReadHeaderOf(folder, &header)) return true;  // a broken chain: refuse
    folder = header.parent;
  }
  return true;
}

// ---- Changes ----------------------------------------------------------------------------

VHFSItemRef VHFS::CreateItem(const VHFSItemRef& parent, const std::string& name, uint32_t type) {
  if (!IsOpen() || !Storable(name) || type == 0) return {};
  Header parentHeader;
  if (!parent.IsFolder() || !ReadHeaderOf(parent.id, &parentHeader) ||
      parentHeader.type != kVHFSFolderType) {
    return {};
  }
  const double now = DateNowSeconds();
  const bool folder = type == kVHFSFolderType;
  const Header header{folder ? 4u : 0u, type, parent.id, now, now, CutName(name)};
  uint8_t bytes[kItemHeaderSize + 4] = {};
  EncodeHeader(bytes, header);
  const uint32_t id = core_->CreateVFSFile(bytes, sizeof bytes);
  if (id == 0) return {};
  VHFSItemRef ref{id, header.name, type};
  if (!AddChild(id, parent.id)) {
    core_->DeleteVFSFile(id);
    return {};
  }
  return ref;
}

VHFSItemRef VHFS::CreateFolder(const VHFSItemRef& parent, const std::string& name) {
  return CreateItem(parent, name, kVHFSFolderType);
}

bool VHFS::DeleteItem(const VHFSItemRef& item) {
  if (!IsOpen() || item.type == 0 || item.id <= kRootId || core_->IsFileOpen(item.id)) {
    return false;
  }
  Header header;
  if (!ReadHeaderOf(item.id, &header)) return false;
  if (header.type == kVHFSFolderType) {
    const uint32_t shortReads = core_->ShortReads();
    std::vector<VHFSItemRef> children;
    if (!ListFolder({item.id, header.name, header.type}, &children) || !children.empty() ||
        core_->ShortReads() != shortReads) {
      return false;
    }
  }
  if (!RemoveChild(item.id, header.parent)) return false;
  listings_.erase(item.id);
  // Unlisted first: a cut here leaks the blocks and loses nothing listed.
  core_->DeleteVFSFile(item.id);
  return true;
}

bool VHFS::MoveItem(const VHFSItemRef& item, const VHFSItemRef& newParent) {
  if (!IsOpen() || item.type == 0 || item.id <= kRootId || !newParent.IsFolder()) return false;
  Header header;
  if (!ReadHeaderOf(item.id, &header)) return false;
  const uint32_t oldParent = header.parent;
  if (oldParent == newParent.id) return true;
  if (IsInSubtree(newParent.id, item.id)) return false;
  if (!AddChild(item.id, newParent.id)) return false;
  if (!WriteValue32(item.id, kParentOffset, newParent.id)) {
    RemoveChild(item.id, newParent.id);
    return false;
  }
  if (!RemoveChild(item.id, oldParent)) {
    WriteValue32(item.id, kParentOffset, oldParent);
    RemoveChild(item.id, newParent.id);
    listings_.clear();
    return false;
  }
  return true;
}

bool VHFS::PlaceItem(VHFSItemRef* item, const VHFSItemRef& folder, const std::string& name,
                     const VHFSItemRef& replaced) {
  Header header, replacedHeader;
  if (!IsOpen() || item->type == 0 || item->id <= kRootId || !Storable(name) ||
      !folder.IsFolder() || !ReadHeaderOf(item->id, &header)) {
    return false;
  }
  const bool replaces = replaced.type != 0;
  if (replaces && (replaced.id == item->id || !ReadHeaderOf(replaced.id, &replacedHeader) ||
                   replacedHeader.type == kVHFSFolderType ||
                   replacedHeader.parent != folder.id || HasOpenStream(replaced.id))) {
    return false;
  }
  const uint32_t oldParent = header.parent;
  const bool moves = oldParent != folder.id;
  if (moves && IsInSubtree(folder.id, item->id)) return false;
  Header placed = header;
  placed.parent = folder.id;
  placed.name = CutName(name);
  // Listed in the new folder first, where its old parent id still hides it.
  bool made = !moves || AddChild(item->id, folder.id);
  if (made && !WritePlace(item->id, placed)) {
    made = false;
  } else if (made && replaces && !ReplaceChild(replaced.id, item->id, folder.id)) {
    WritePlace(item->id, header);
    made = false;
  }
  if (!made && moves) RemoveChild(item->id, folder.id);
  // Its old folder's slot is hidden by the new parent id either way.
  if (made && moves) RemoveChild(item->id, oldParent);
  listings_.erase(folder.id);
  listings_.erase(oldParent);
  if (!made) return false;
  item->name = placed.name;
  // Unlisted already: a failure here leaks its blocks and loses nothing.
  if (replaces) core_->DeleteVFSFile(replaced.id);
  return true;
}

bool VHFS::RenameItem(VHFSItemRef* item, const std::string& name) {
  Header header;
  if (!IsOpen() || item->type == 0 || !Storable(name) || !ReadHeaderOf(item->id, &header)) {
    return false;
  }
  uint8_t field[kNameFieldSize] = {};
  const std::string cut = CutName(name);
  std::memcpy(field, cut.data(), cut.size());
  const int32_t ref = core_->OpenFile(item->id);
  const bool written = ref >= 0 && WriteAt(ref, kNameOffset, field, kNameFieldSize);
  core_->CloseFile(ref);
  if (!written) {
    listings_.erase(header.parent);
    return false;
  }
  item->name = cut;
  auto listing = listings_.find(header.parent);
  if (listing != listings_.end()) listing->second.Rename(item->id, cut);
  return true;
}

bool VHFS::SetItemType(VHFSItemRef* item, uint32_t type) {
  Header header;
  if (!IsOpen() || !item->IsFile() || type == 0 || type == kVHFSFolderType ||
      !ReadHeaderOf(item->id, &header) || header.type == kVHFSFolderType ||
      !WriteValue32(item->id, kTypeOffset, type)) {
    return false;
  }
  item->type = type;
  if (VHFSItemRef* cached = CachedChild(header.parent, item->id)) cached->type = type;
  return true;
}

VHFSItemInfo VHFS::GetItemInfo(const VHFSItemRef& item) {
  Header header;
  if (!ReadHeaderOf(item.id, &header)) return {};
  // Streams open on the file store its length only when they close.
  const auto open = openLengths_.find(item.id);
  const double length = open != openLengths_.end() ? open->second.length : header.dataLength;
  return {header.creationDate, header.modificationDate, length};
}

bool VHFS::SetItemInfo(const VHFSItemRef& item, const VHFSItemInfo& info) {
  uint32_t length = 0;
  if (!IsOpen() || item.type == 0 || !CheckedDoubleToOffset(info.dataLength, kMaxDataLength, &length)) {
    return false;
  }
  const int32_t ref = core_->OpenFile(item.id);
  if (ref < 0) return false;
  uint8_t lengthBytes[8], dates[16];
  PutDouble(lengthBytes, length);
  PutDouble(dates, info.creationDate);
  PutDouble(dates + 8, info.modificationDate);
  const bool written =
      WriteAt(ref, 0, lengthBytes, 8) && WriteAt(ref, kDatesOffset, dates, 16);
  core_->CloseFile(ref);
  return written;
}

std::unique_ptr<VHFSStream> VHFS::OpenItemStream(const VHFSItemRef& item) {
  if (!IsOpen() || !item.IsFile()) return nullptr;
  const int32_t ref = core_->OpenFile(item.id);
  if (ref < 0) return nullptr;
  Header header;
  bool usable = ReadHeader(ref, item.id, &header) && header.type != kVHFSFolderType;
  // A length the container cannot hold is damage; one beyond the file's
  // blocks fails at the read where they end.
  if (usable && header.dataLength > core_->DiskLength()) {
    core_->NoteDamage(VFSDamageKind::kBadItem, item.id, "item length beyond the container");
    usable = false;
  }
  if (!usable) {
    core_->CloseFile(ref);
    return nullptr;
  }
  // Another stream on the file knows its length better than the header.
  const auto [entry, first] =
      openLengths_.try_emplace(item.id, OpenLength{int32_t(header.dataLength), false, 0});
  OpenLength& length = entry->second;
  std::unique_ptr<VHFSStream> stream(new (std::nothrow) VHFSStream(this, ref, item.id, &length));
  if (!stream) {
    if (first) openLengths_.erase(entry);
    core_->CloseFile(ref);
    return nullptr;
  }
  ++length.streams;
  core_->HoldSmallWrites(ref);
  core_->ExpectSize(ref, kItemHeaderSize + header.dataLength);
  streams_.insert(stream.get());
  return stream;
}

// ---- Streams ----------------------------------------------------------------------------

VHFSStream::VHFSStream(VHFS* volume, int32_t ref, uint32_t id, VHFS::OpenLength* length)
    : volume_(volume), ref_(ref), id_(id), length_(length) {}

VHFSStream::~VHFSStream() {
  Close();
  RuntimeUnlockObject(owner_);
}

void VHFSStream::SetOwner(RuntimeObject* owner) {
  RuntimeLockObject(owner);
  RuntimeUnlockObject(owner_);
  owner_ = owner;
}

bool VHFSStream::Read(void* buffer, int32_t count, int32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!volume_ || count < 0) return false;
  const uint32_t take = uint32_t(std::max(0, std::min(count, length_->length - position_)));
  if (take == 0) return true;
  uint32_t got = 0;
  VFSCore& core = volume_->Core();
  const bool read = core.Seek(ref_, VHFS::kItemHeaderSize + uint32_t(position_)) &&
                    core.ReadData(ref_, buffer, take, &got);
  position_ += int32_t(got);
  if (bytesRead) *bytesRead = int32_t(got);
  return read;
}

bool VHFSStream::WriteZeros(int32_t from, int32_t to) {
  static const uint8_t kZeros[4096] = {};
  VFSCore& core = volume_->Core();
  if (!core.Seek(ref_, VHFS::kItemHeaderSize + uint32_t(from))) return false;
  for (int32_t at = from; at < to;) {
    const int32_t step = std::min<int32_t>(to - at, sizeof kZeros);
    if (!core.WriteData(ref_, kZeros, uint32_t(step))) return false;
    at += step;
  }
  return true;
}

bool VHFSStream::Write(const void* buffer, int32_t count) {
  if (!volume_ || count < 0) return false;
  if (count == 0) return true;
  if (int64_t(position_) + count > int64_t(VHFS::kMaxDataLength)) return false;
  if (position_ > length_->length) {
    if (!WriteZeros(length_->length, position_)) return false;
    ChangeLength(position_);
  }
  VFSCore& core = volume_->Core();
  if (!core.Seek(ref_, VHFS::kItemHeaderSize + uint32_t(position_)) ||
      !core.WriteData(ref_, buffer, uint32_t(count))) {
    return false;
  }
  position_ += count;
  if (position_ > length_->length) ChangeLength(position_);
  return true;
}

bool VHFSStream::SetPosition(int32_t position) {
  if (!volume_ || position < 0) return false;
  position_ = position;
  return true;
}

bool VHFSStream::SetLength(int32_t length) {
  if (!volume_ || length < 0 || uint32_t(length) > VHFS::kMaxDataLength) return false;
  if (length > length_->length && !WriteZeros(length_->length, length)) return false;
  ChangeLength(length);
  return true;
}

void VHFSStream::ChangeLength(int32_t length) {
  length_->length = length;
  length_->changed = true;
}

bool VHFSStream::StoreLength() {
  if (!volume_ || !length_->changed) return true;
  uint8_t bytes[8];
  volume_->PutDouble(bytes, length_->length);
  if (!volume_->WriteAt(ref_, 0, bytes, 8)) return false;
  length_->changed = false;
  return true;
}

void VHFSStream::Flush() {
  // The length is a small write too, held like the data; held bytes that it
  // does not follow on from go out before it, so it never precedes them.
  if (volume_ && StoreLength()) volume_->Core().FlushFile(ref_);
}

bool VHFSStream::Detach() {
  if (!volume_) return false;
  const bool stored = StoreLength() && volume_->core_->FlushFile(ref_);
  volume_->core_->CloseFile(ref_);
  volume_->streams_.erase(this);
  closed_ = *length_;
  if (--length_->streams == 0) volume_->openLengths_.erase(id_);
  length_ = &closed_;
  volume_ = nullptr;
  ref_ = -1;
  return stored;
}

bool VHFSStream::Close() {
  if (!volume_) return true;
  const bool stored = Detach();
  RuntimeObject* owner = std::exchange(owner_, nullptr);
  RuntimeUnlockObject(owner);
  return stored;
}

#ifdef _WINDOWS_
#error "VHFS is portable: it must not include <windows.h>."
#endif
