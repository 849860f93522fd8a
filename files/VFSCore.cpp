#include "files/VFSCore.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/diagnostics.h"
#include "core/utility.h"

namespace {

constexpr int32_t kLogCode = 10;
constexpr uint32_t kMapLengthPosition = VFSCore::kMetadataPosition + 4;
constexpr uint32_t kMapDataPosition = 8;  // within the metadata file
// The metadata block holds at least the next free id and the map's length:
// in a shorter one, writing the length would overwrite its trailer.
constexpr uint32_t kMetadataBlockLength = VFSCore::kBlockOverhead + kMapDataPosition;
constexpr size_t kExtentsKept = 8;
constexpr uint32_t kMaxReadAhead = 1u << 20;
constexpr uint32_t kScanChunk = 1u << 16;
constexpr uint32_t kLongRange = 4 * VFSCore::kNewBlockLength;
constexpr uint32_t kNewData = VFSCore::kNewBlockLength - VFSCore::kBlockOverhead;

// How far to read from a block when wanted more bytes follow: the block
// alone for small reads, otherwise enough for the blocks lying together (at
// least 64 KiB, so that a stream read in pieces takes few calls).
uint32_t ReadAhead(uint32_t wanted) {
  if (wanted <= kNewData) return VFSCore::kNewBlockLength;
  return std::min(kMaxReadAhead, std::max(wanted / kNewData + 2, 64u) * VFSCore::kNewBlockLength);
}

// A big-endian u32, inline: the checks of every block read run on it.
inline uint32_t Big32(const uint8_t* in) {
  uint32_t value;
  std::memcpy(&value, in, 4);
  return __builtin_bswap32(value);
}

// The bits of the double holding a whole number exactly, without the
// floating-point unit.
uint64_t WholeDoubleBits(uint32_t value) {
  if (value == 0) return 0;
  const int exponent = 31 - __builtin_clz(value);
  const uint64_t fraction = (uint64_t(value) << (52 - exponent)) & ((uint64_t(1) << 52) - 1);
  return (uint64_t(1023 + exponent) << 52) | fraction;
}

uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  return bits;
}

}  // namespace

bool CheckedDoubleToOffset(double value, uint32_t limit, uint32_t* out) {
  // NaN fails the range test; within the range the conversion is defined.
  if (!(value >= 0 && value <= double(limit))) return false;
  const uint32_t whole = uint32_t(value);
  if (double(whole) != value) return false;
  *out = whole;
  return true;
}

VFSCore::VFSCore(FileStreamPtr disk) : disk_(std::move(disk)), extents_(kExtentsKept) {}

VFSCore::~VFSCore() { Close(); }

// ---- Opening and closing ----------------------------------------------------------------

std::unique_ptr<VFSCore> VFSCore::CreateContainer(FileStreamPtr disk) {
  if (!disk || !disk->SetLength(0)) return nullptr;
  std::unique_ptr<VFSCore> core(new (std::nothrow) VFSCore(std::move(disk)));
  if (!core) return nullptr;
  uint8_t start[48] = {};
  PutBigEndian32(start, kMagic);
  PutBigEndian32(start + 4, kCurrentVersion);
  core->EncodeHeader(start + 8, kMetadataFileId, 0, 40, 0);
  PutBigEndian32(start + 36, 2);
  PutBigEndian32(start + 44, kBlockEnd);
  if (!core->WriteAt(0, start, sizeof start)) {
    core->disk_.reset();
    return nullptr;
  }
  core->endOfBlocks_ = 48;
  core->map_.Add(kMetadataFileId, 8, 0);
  core->changed_ = true;  // the map is written at close
  return core;
}

std::unique_ptr<VFSCore> VFSCore::OpenContainer(FileStreamPtr disk) {
  if (!disk) return nullptr;
  std::unique_ptr<VFSCore> core(new (std::nothrow) VFSCore(std::move(disk)));
  if (!core) return nullptr;
  const int32_t length = core->disk_->GetLength();
  core->diskLength_ = length < 0 ? 0 : uint32_t(length);
  uint8_t start[8];
  if (!core->ReadAt(0, start, 8) || GetBigEndian32(start) != kMagic) {
    LogErrorMessage("Invalid magic code for VFS volume file.", kLogCode);
    core->disk_.reset();
    return nullptr;
  }
  core->version_ = GetBigEndian32(start + 4);
  if (core->version_ > kCurrentVersion) {
    LogErrorMessage("VFS volume format version is too advanced for me.", kLogCode);
    core->disk_.reset();
    return nullptr;
  }
  Header metadata;
  if (!core->ReadHeader(8, &metadata, 64) || metadata.fileId != kMetadataFileId ||
      metadata.sequence != 0 || metadata.length < kMetadataBlockLength) {
    core->NoteDamage(VFSDamageKind::kBadHeader, 8,
                     "VFS volume metadata (idnum 1) header is invalid.");
    core->disk_.reset();
    return nullptr;
  }
  if (!core->LoadMap()) core->RebuildMap();
  uint8_t nextId[4];
  uint32_t stored = 0;
  if (core->ReadAt(kMetadataPosition, nextId, 4)) stored = GetBigEndian32(nextId);
  core->nextFileId_ = std::max({stored, core->map_.HighestFileId() + 1, 2u});
  if (core->map_.HighestFileId() == 0xFFFFFFFF) core->nextFileId_ = 0xFFFFFFFF;
  return core;
}

bool VFSCore::Close() {
  if (!disk_) return false;
  bool written = FlushHeld();
  if (changed_ || rebuilt_) written = WriteMap() && written;
  records_.clear();
  emptySlots_.clear();
  chains_.clear();
  extents_.clear();
  run_.clear();
  disk_->Close();
  disk_.reset();
  return written;
}

void VFSCore::Abandon() {
  held_ = Held();
  changed_ = rebuilt_ = false;
  Close();
}

void VFSCore::NoteDamage(VFSDamageKind kind, uint32_t offset, const char* message) {
  if (damage_.kind == VFSDamageKind::kNone) damage_ = {kind, offset};
  LogErrorMessage(message, kLogCode);
}

// ---- The block map ----------------------------------------------------------------------

bool VFSCore::LoadMap() {
  uint8_t lengthBytes[4];
  if (!ReadAt(kMapLengthPosition, lengthBytes, 4)) return false;
  const uint32_t length = GetBigEndian32(lengthBytes);
  if (length == 0 || length > diskLength_) {
    if (length != 0) NoteDamage(VFSDamageKind::kBadMap, kMapLengthPosition, "bad map length");
    LogErrorMessage("The VirtualVolume does not contain a valid block map", kLogCode);
    return false;
  }
  std::vector<uint8_t> bytes(length);
  const int32_t ref = OpenFile(kMetadataFileId);
  uint32_t got = 0;
  const bool read = ref >= 0 && Seek(ref, kMapDataPosition) &&
                    ReadData(ref, bytes.data(), length, &got);
  CloseFile(ref);
  chains_.clear();  // the map may be replaced: nothing learnt through it is kept
  if (!read || !map_.Deserialize(bytes.data(), length)) {
    NoteDamage(VFSDamageKind::kBadMap, kMapLengthPosition,
               "The VirtualVolume does not contain a valid block map");
    return false;
  }
  // The map must reach the last whole block and no further.
  uint32_t last = 8;
  for (const BlockMapEntry& entry : map_.Entries()) last = std::max(last, entry.offset);
  Header header;
  uint32_t first = 0;
  if (!ReadHeader(last, &header) || !map_.FindFirst(kMetadataFileId, &first) || first != 8 ||
      (last + header.length + 36 <= diskLength_ && ReadHeader(last + header.length, &header))) {
    map_.Clear();
    NoteDamage(VFSDamageKind::kBadMap, last, "The block map does not describe the blocks");
    return false;
  }
  endOfBlocks_ = last + header.length;
  LogErrorMessage(("The VirtualVolume contains a valid block map of size: " +
                   std::to_string(length)).c_str(), kLogCode);
  return true;
}

void VFSCore::RebuildMap() {
  map_.Clear();
  rebuilt_ = true;
  endOfBlocks_ = 8;
  const uint32_t shortReads = shortReads_;
  uint32_t offset = 8;
  while (offset <= diskLength_ - std::min(diskLength_, kHeaderSize)) {
    Header header;
    if (ReadHeader(offset, &header, kScanChunk)) {
      map_.Add(header.fileId, offset, header.fileId ? header.sequence : 0);
      offset += header.length;
      endOfBlocks_ = offset;
      continue;
    }
    // Resume at the next header that passes.
    NoteDamage(VFSDamageKind::kBadHeader, offset, "bad block header");
    for (++offset; offset + kHeaderSize <= diskLength_; ++offset) {
      const uint8_t* bytes = Load(offset, kScanChunk, 4);
      if (bytes && GetBigEndian32(bytes) == kBlockStart) break;
    }
  }
  // Blocks the disk did not deliver may lie anywhere: new ones go after
  // every byte, and nothing is cut.
  if (shortReads_ != shortReads) endOfBlocks_ = diskLength_;
}

bool VFSCore::WriteMap() {
  if (!MarkChanged()) return false;
  const int32_t ref = OpenFile(kMetadataFileId);
  if (ref < 0) return false;
  // Writing may give the metadata file more blocks, which the map must show
  // as its own: write until the map stays as written.
  std::vector<uint8_t> bytes;
  bool written = true;
  for (int pass = 0; written && pass < 64; ++pass) {
    std::vector<uint8_t> next = map_.Serialize();
    if (next == bytes) break;
    bytes = std::move(next);
    written = Seek(ref, kMapDataPosition) &&
              WriteData(ref, bytes.data(), uint32_t(bytes.size()));
  }
  CloseFile(ref);
  uint8_t length[4];
  PutBigEndian32(length, uint32_t(bytes.size()));
  return written && WriteAt(kMapLengthPosition, length, 4);
}

bool VFSCore::MarkChanged() {
  if (!disk_) return false;
  if (changed_) return true;
  static const uint8_t kZero[4] = {};
  if (!WriteAt(kMapLengthPosition, kZero, 4)) return false;
  diskPosition_ = -1;  // cutting the length may move it
  if (diskLength_ > endOfBlocks_ && disk_->SetLength(int32_t(endOfBlocks_))) {
    diskLength_ = endOfBlocks_;
    DropExtents();
  }
  changed_ = true;
  return true;
}

// ---- Disk access ------------------------------------------------------------------------

bool VFSCore::ReadAt(uint32_t offset, void* buffer, uint32_t count) {
  if (!disk_) return false;
  if (const uint8_t* cached = Cached(offset, count)) {
    std::memcpy(buffer, cached, count);
    return true;
  }
  int32_t got = 0;
  if (!DiskRead(offset, buffer, count, &got) || uint32_t(got) != count) {
    ++shortReads_;
    NoteDamage(VFSDamageKind::kShortRead, offset, "short read");
    return false;
  }
  return true;
}

void VFSCore::PatchExtents(uint32_t offset, const void* buffer, uint32_t count) {
  for (Extent& extent : extents_) {
    const uint64_t lo = std::max<uint64_t>(offset, extent.offset);
    const uint64_t hi =
        std::min<uint64_t>(uint64_t(offset) + count, uint64_t(extent.offset) + extent.size);
    if (lo < hi) {
      std::memcpy(extent.bytes.get() + (lo - extent.offset),
                  static_cast<const uint8_t*>(buffer) + (lo - offset), size_t(hi - lo));
    }
  }
}

bool VFSCore::MoveTo(uint32_t offset) {
  // Reading on from where the last transfer ended needs no call.
  if (diskPosition_ == int64_t(offset)) return true;
  diskPosition_ = -1;
  if (!disk_->SetPosition(int32_t(offset))) return false;
  diskPosition_ = offset;
  return true;
}

bool VFSCore::DiskRead(uint32_t offset, void* buffer, uint32_t count, int32_t* got) {
  *got = 0;
  if (!FlushHeld() || !MoveTo(offset)) return false;
  const bool read = disk_->Read(buffer, int32_t(count), got);
  diskPosition_ = read ? int64_t(offset) + *got : -1;
  return read;
}

bool VFSCore::DiskWrite(uint32_t offset, const void* buffer, uint32_t count) {
  const bool written = MoveTo(offset) && disk_->Write(buffer, int32_t(count));
  diskPosition_ = written ? int64_t(offset) + count : -1;
  if (written) {
    diskLength_ = std::max(diskLength_, offset + count);
  } else {
    DropExtents();  // what reached the disk is not known
    const int32_t length = disk_->GetLength();
    diskLength_ = length < 0 ? 0 : uint32_t(length);
  }
  return written;
}

bool VFSCore::WriteAt(uint32_t offset, const void* buffer, uint32_t count) {
  if (!disk_ || !FlushHeld()) return false;
  PatchExtents(offset, buffer, count);
  return DiskWrite(offset, buffer, count);
}

bool VFSCore::FlushHeld() {
  if (held_.ref < 0) return true;
  const bool written = DiskWrite(held_.offset, held_.bytes.data(), uint32_t(held_.bytes.size()));
  held_.ref = -1;
  held_.bytes.clear();
  return written;
}

const uint8_t* VFSCore::Cached(uint32_t offset, uint32_t count, uint32_t* available) {
  for (Extent& extent : extents_) {
    if (extent.size > 0 && offset >= extent.offset &&
        uint64_t(offset) + count <= uint64_t(extent.offset) + extent.size) {
      extent.stamp = ++clock_;
      if (available) *available = extent.offset + extent.size - offset;
      return extent.bytes.get() + (offset - extent.offset);
    }
  }
  return nullptr;
}

void VFSCore::DropExtents() {
  for (Extent& extent : extents_) extent.size = 0;
}

const uint8_t* VFSCore::Load(uint32_t offset, uint32_t span, uint32_t need,
                             uint32_t* available) {
  if (const uint8_t* cached = Cached(offset, need, available)) return cached;
  if (!disk_ || offset >= diskLength_) return nullptr;
  span = std::max(std::min(span, diskLength_ - offset), std::min(need, diskLength_ - offset));
  if (span < need) return nullptr;
  // Long ranges are read one after another into one buffer, which stays in
  // the processor's cache; short ones are kept longer, the least used going.
  Extent& extent = span >= kLongRange
                       ? extents_.front()
                       : *std::min_element(extents_.begin() + 1, extents_.end(),
                                           [](const Extent& a, const Extent& b) {
                                             return a.stamp < b.stamp;
                                           });
  extent.size = 0;
  if (extent.capacity < span) {
    extent.bytes.reset(new (std::nothrow) uint8_t[span]);
    extent.capacity = extent.bytes ? span : 0;
    if (!extent.bytes) return nullptr;
  }
  int32_t got = 0;
  if (!DiskRead(offset, extent.bytes.get(), span, &got) || got < int32_t(need)) {
    ++shortReads_;
    NoteDamage(VFSDamageKind::kShortRead, offset, "short read");
    return nullptr;
  }
  extent.offset = offset;
  extent.size = uint32_t(got);
  extent.stamp = ++clock_;
  if (available) *available = extent.size;
  return extent.bytes.get();
}

void VFSCore::EncodeDouble(uint8_t* out, double value) const {
  const uint64_t bits = DoubleBits(value);
  for (int i = 0; i < 8; ++i) {
    const int shift = version_ == 1 ? 8 * i : 56 - 8 * i;
    out[i] = uint8_t(bits >> shift);
  }
}

uint64_t VFSCore::StoredBits(const uint8_t* in) const {
  uint64_t bits;
  std::memcpy(&bits, in, 8);
  return version_ == 1 ? bits : __builtin_bswap64(bits);
}

double VFSCore::DecodeDouble(const uint8_t* in) const {
  // The host is little-endian: only the big-endian versions turn the bytes.
  uint64_t bits;
  std::memcpy(&bits, in, 8);
  if (version_ != 1) bits = __builtin_bswap64(bits);
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

void VFSCore::EncodeHeader(uint8_t* out, uint32_t fileId, uint32_t sequence, uint32_t length,
                           uint32_t next) const {
  PutBigEndian32(out, kBlockStart);
  PutBigEndian32(out + 4, fileId);
  PutBigEndian32(out + 8, sequence);
  EncodeDouble(out + 12, length);
  EncodeDouble(out + 20, next);
}

bool VFSCore::DecodeOffset(const uint8_t* in, uint32_t expected, uint32_t limit,
                           uint32_t* out) const {
  // Nearly every stored offset is the one expected; comparing its exact bits
  // spares the floating-point checks, which any other value still passes.
  if (StoredBits(in) == WholeDoubleBits(expected) && expected <= limit) {
    *out = expected;
    return true;
  }
  return CheckedDoubleToOffset(DecodeDouble(in), limit, out);
}

bool VFSCore::DecodeHeader(const uint8_t* bytes, uint32_t offset, Header* header) const {
  if (Big32(bytes) != kBlockStart) return false;
  Header read{Big32(bytes + 4), Big32(bytes + 8), 0, 0};
  if (!DecodeOffset(bytes + 12, kNewBlockLength, diskLength_ - offset, &read.length) ||
      read.length <= kBlockOverhead) {
    return false;
  }
  // A next block usually follows at once, or there is none.
  const uint32_t after = offset + read.length;
  if (StoredBits(bytes + 20) == 0) {
    read.next = 0;
  } else if (!DecodeOffset(bytes + 20, after, kLimit + kNewBlockLength, &read.next)) {
    return false;
  }
  *header = read;
  return true;
}

bool VFSCore::ReadHeader(uint32_t offset, Header* header, uint32_t span) {
  if (offset < 8 || offset >= diskLength_ || diskLength_ - offset < kBlockOverhead + 1) {
    return false;
  }
  const uint8_t* bytes = Load(offset, span, kHeaderSize);
  Header read;
  if (!bytes || !DecodeHeader(bytes, offset, &read)) return false;
  uint8_t trailer[4];
  if (!ReadAt(offset + read.length - 4, trailer, 4) || GetBigEndian32(trailer) != kBlockEnd) {
    return false;
  }
  *header = read;
  return true;
}

// ---- Files ------------------------------------------------------------------------------

bool VFSCore::FindFirstBlock(uint32_t fileId, uint32_t* offset, Header* header) {
  if (fileId == 0) return false;
  for (;;) {
    uint32_t first = 8;
    const bool mapped = fileId == kMetadataFileId || map_.FindFirst(fileId, &first);
    const uint32_t shortReads = shortReads_;
    if (mapped && ReadHeader(first, header) && header->fileId == fileId &&
        header->sequence == 0) {
      *offset = first;
      return true;
    }
    // A disk that did not deliver the block says nothing of the map.
    if (shortReads_ != shortReads) return false;
    // A map read from disk that does not match the headers is rebuilt from
    // them, once.
    if (!mayRebuild_ || (!mapped && rebuilt_)) return false;
    mayRebuild_ = false;
    if (mapped) NoteDamage(VFSDamageKind::kBadMap, first, "the block map names a wrong block");
    const bool wasChanged = changed_;
    RebuildMap();
    changed_ = wasChanged;
  }
}

int32_t VFSCore::OpenFile(uint32_t fileId) {
  if (!disk_) return -1;
  if (emptySlots_.empty() && records_.size() >= size_t(kMaxOpenFiles)) return -1;
  Chain& chain = chains_[fileId];
  if (chain.links.empty()) {
    uint32_t first = 0;
    Header header;
    if (!FindFirstBlock(fileId, &first, &header)) {
      if (chain.users == 0) chains_.erase(fileId);
      return -1;
    }
    chain.links.push_back({first, header.length, header.next, 0});
    chain.ended = header.next == 0;
  }
  ++chain.users;
  std::unique_ptr<Record> record(new Record{fileId, 0, 0, false});
  if (!emptySlots_.empty()) {
    const int32_t ref = emptySlots_.back();
    emptySlots_.pop_back();
    records_[size_t(ref)] = std::move(record);
    return ref;
  }
  records_.push_back(std::move(record));
  return int32_t(records_.size() - 1);
}

void VFSCore::CloseFile(int32_t ref) {
  Record* record = RecordOf(ref);
  if (!record) return;
  if (held_.ref == ref) FlushHeld();
  auto chain = chains_.find(record->fileId);
  if (chain != chains_.end() && --chain->second.users <= 0) chains_.erase(chain);
  records_[size_t(ref)].reset();
  emptySlots_.push_back(ref);
}

bool VFSCore::IsFileOpen(uint32_t fileId) const {
  for (const auto& record : records_) {
    if (record && record->fileId == fileId) return true;
  }
  return false;
}

VFSCore::Record* VFSCore::RecordOf(int32_t ref) {
  if (!disk_ || ref < 0 || size_t(ref) >= records_.size()) return nullptr;
  return records_[size_t(ref)].get();
}

const VFSCore::Record* VFSCore::RecordOf(int32_t ref) const {
  if (!disk_ || ref < 0 || size_t(ref) >= records_.size()) return nullptr;
  return records_[size_t(ref)].get();
}

VFSCore::Chain* VFSCore::ChainOf(const Record& record) {
  auto found = chains_.find(record.fileId);
  return found == chains_.end() ? nullptr : &found->second;
}

uint32_t VFSCore::DataEnd(const Chain& chain) {
  const Link& last = chain.links.back();
  return last.dataStart + last.length - kBlockOverhead;
}

size_t VFSCore::LinkAt(const Chain& chain, Record& record) const {
  const uint32_t position = record.position;
  auto holds = [&](size_t index) {
    const Link& link = chain.links[index];
    return position >= link.dataStart && position - link.dataStart < link.length - kBlockOverhead;
  };
  // Reading on usually stays in the block or enters the next.
  for (size_t index = record.link; index < chain.links.size() && index <= record.link + 1; ++index) {
    if (holds(index)) return record.link = index;
  }
  auto after = std::upper_bound(chain.links.begin(), chain.links.end(), position,
                                [](uint32_t p, const Link& link) { return p < link.dataStart; });
  return record.link = size_t(after - chain.links.begin()) - 1;
}

bool VFSCore::ExtendChain(uint32_t fileId, Chain& chain, uint32_t readAhead) {
  if (chain.ended) return false;
  const Link& last = chain.links.back();
  Header header;
  const uint32_t span = std::min(kMaxReadAhead, std::max(kNewBlockLength, readAhead));
  const uint32_t shortReads = shortReads_;
  if (!ReadHeader(last.next, &header, span) || header.fileId != fileId ||
      header.sequence != chain.links.size()) {
    // A disk that did not deliver the header says nothing of the chain: a
    // later read may go on, and no write may take the chain as ended.
    if (shortReads_ != shortReads) return false;
    NoteDamage(VFSDamageKind::kBrokenChain, last.next, "broken block chain");
    chain.ended = true;
    return false;
  }
  chain.links.push_back({last.next, header.length, header.next, DataEnd(chain)});
  chain.ended = header.next == 0;
  // The blocks lying after it in the range just read pass without another
  // lookup; anything unusual is left to the step above.
  uint32_t available = 0;
  const uint8_t* bytes = nullptr;
  while (!chain.ended) {
    const Link& link = chain.links.back();
    const uint32_t at = link.next;
    if (at != link.offset + link.length) break;
    // Within the same kept range as the block before, or found afresh.
    if (bytes && available > link.length) {
      bytes += link.length;
      available -= link.length;
    } else {
      bytes = Cached(at, kHeaderSize, &available);
    }
    if (!bytes || available < kHeaderSize || !DecodeHeader(bytes, at, &header) ||
        header.fileId != fileId || header.sequence != chain.links.size() ||
        header.length > available || Big32(bytes + header.length - 4) != kBlockEnd) {
      break;
    }
    chain.links.push_back({at, header.length, header.next, DataEnd(chain)});
    chain.ended = header.next == 0;
  }
  return true;
}

bool VFSCore::ExtendTo(uint32_t fileId, Chain& chain, uint32_t position, uint32_t readAhead) {
  while (DataEnd(chain) < position) {
    if (!ExtendChain(fileId, chain, ReadAhead(position - DataEnd(chain) + readAhead))) return false;
  }
  return true;
}

void VFSCore::ExpectSize(int32_t ref, uint32_t size) {
  Record* record = RecordOf(ref);
  Chain* chain = record ? ChainOf(*record) : nullptr;
  if (!chain) return;
  // Room for the links at once spares a long file's chain its regrowth; the
  // container's size bounds what a damaged length can ask for.
  const size_t links = std::min(size / kNewData + 2, diskLength_ / kNewBlockLength + 1);
  if (chain->links.capacity() < links) chain->links.reserve(links);
}

bool VFSCore::Seek(int32_t ref, uint32_t position) {
  Record* record = RecordOf(ref);
  Chain* chain = record ? ChainOf(*record) : nullptr;
  if (!chain || !ExtendTo(record->fileId, *chain, position, 0)) return false;
  record->position = position;
  return true;
}

bool VFSCore::ReadData(int32_t ref, void* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  Record* record = RecordOf(ref);
  Chain* chain = record ? ChainOf(*record) : nullptr;
  if (!chain) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  // The disk range in memory that the last block came from.
  const uint8_t* window = nullptr;
  uint32_t windowStart = 0;
  uint32_t windowSize = 0;
  while (*got < count) {
    const uint32_t wanted = count - *got;
    if (record->position >= DataEnd(*chain)) {
      window = nullptr;  // following the chain may replace kept ranges
      if (!ExtendTo(record->fileId, *chain, record->position + 1, wanted)) return false;
    }
    const Link& link = chain->links[LinkAt(*chain, *record)];
    const uint32_t within = record->position - link.dataStart;
    const uint32_t take = std::min(wanted, link.length - kBlockOverhead - within);
    const uint32_t from = link.offset + kHeaderSize + within;
    if (!window || from < windowStart || uint64_t(from) + take > uint64_t(windowStart) + windowSize) {
      // This block and, when more is wanted, as far as the blocks may lie
      // together; their headers are checked as the chain reaches them.
      const uint32_t span = std::max(
          take, std::min(kMaxReadAhead,
                         std::max(link.length - within - kHeaderSize, ReadAhead(wanted))));
      window = take <= kMaxReadAhead ? Load(from, span, take, &windowSize) : nullptr;
      windowStart = from;
    }
    if (window) {
      std::memcpy(out + *got, window + (from - windowStart), take);
    } else if (!ReadAt(from, out + *got, take)) {
      return false;
    }
    *got += take;
    record->position += take;
  }
  return true;
}

bool VFSCore::WriteData(int32_t ref, const void* buffer, uint32_t count) {
  Record* record = RecordOf(ref);
  Chain* chain = record ? ChainOf(*record) : nullptr;
  if (!chain) return false;
  if (count == 0) return true;
  if (!MarkChanged()) return false;
  const auto* in = static_cast<const uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    if (record->position >= DataEnd(*chain) &&
        !ExtendTo(record->fileId, *chain, record->position + 1, 0)) {
      if (!chain->ended || record->position != DataEnd(*chain)) return false;
      uint32_t taken = 0;
      if (!Append(record->fileId, *chain, in + done, count - done, &taken)) return false;
      done += taken;
      record->position += taken;
      continue;
    }
    const Link link = chain->links[LinkAt(*chain, *record)];
    const uint32_t within = record->position - link.dataStart;
    const uint32_t take = std::min(count - done, link.length - kBlockOverhead - within);
    const uint32_t at = link.offset + kHeaderSize + within;
    if (!(record->holdsWrites && count <= kHeldWriteLimit ? Hold(ref, at, in + done, take)
                                                           : WriteAt(at, in + done, take))) {
      return false;
    }
    done += take;
    record->position += take;
  }
  return true;
}

bool VFSCore::Hold(int32_t ref, uint32_t offset, const uint8_t* bytes, uint32_t count) {
  // Bytes go on where the held ones end (within one block: a write never
  // crosses a block here); anything else sends the held ones first.
  if (held_.ref != ref || held_.offset + held_.bytes.size() != offset) {
    if (!FlushHeld()) return false;
    held_.ref = ref;
    held_.offset = offset;
  }
  held_.bytes.insert(held_.bytes.end(), bytes, bytes + count);
  PatchExtents(offset, bytes, count);
  return true;
}

void VFSCore::HoldSmallWrites(int32_t ref) {
  if (Record* record = RecordOf(ref)) record->holdsWrites = true;
}

bool VFSCore::FlushFile(int32_t ref) { return held_.ref != ref || FlushHeld(); }

// ---- Allocation -------------------------------------------------------------------------

bool VFSCore::TakeFreeBlock(uint32_t* offset, uint32_t* length) {
  uint32_t candidate = 0;
  while (map_.FirstFree(&candidate)) {
    Header header;
    if (ReadHeader(candidate, &header) && header.fileId == 0 &&
        header.length >= kMinReusableLength && header.length <= kMaxReusableLength) {
      *offset = candidate;
      *length = header.length;
      return true;
    }
    map_.SetAside(candidate);
  }
  return false;
}

bool VFSCore::LinkBlock(Chain& chain, uint32_t offset) {
  Link& last = chain.links.back();
  uint8_t next[8];
  EncodeDouble(next, offset);
  if (!WriteAt(last.offset + 20, next, 8)) return false;
  last.next = offset;
  return true;
}

bool VFSCore::Append(uint32_t fileId, Chain& chain, const uint8_t* data, uint32_t count,
                     uint32_t* taken) {
  const uint32_t sequence = uint32_t(chain.links.size());
  uint32_t offset = 0;
  uint32_t length = 0;
  if (TakeFreeBlock(&offset, &length)) {
    // A freed block: data first, then its new owner; linked last.
    const uint32_t take = std::min(count, length - kBlockOverhead);
    uint8_t header[kHeaderSize];
    EncodeHeader(header, fileId, sequence, length, 0);
    if (!WriteAt(offset + kHeaderSize, data, take) || !WriteAt(offset + 4, header + 4, 24)) {
      return false;
    }
    map_.SetEntry(offset, fileId, sequence);
    if (!LinkBlock(chain, offset)) return false;
    chain.links.push_back({offset, length, 0, DataEnd(chain)});
    *taken = take;
    return true;
  }
  // New blocks after the last whole one, written together with their data.
  uint32_t blocks = std::min((count + kNewData - 1) / kNewData, kMaxReadAhead / kNewBlockLength);
  if (endOfBlocks_ > kLimit) return false;
  blocks = std::min(blocks, (kLimit - endOfBlocks_) / kNewBlockLength + 1);
  const uint32_t start = endOfBlocks_;
  const uint32_t size = blocks * kNewBlockLength;
  if (run_.size() < size) run_.resize(size);
  uint32_t copied = 0;
  for (uint32_t i = 0; i < blocks; ++i) {
    uint8_t* block = run_.data() + size_t(i) * kNewBlockLength;
    const uint32_t at = start + i * kNewBlockLength;
    EncodeHeader(block, fileId, sequence + i, kNewBlockLength,
                 i + 1 < blocks ? at + kNewBlockLength : 0);
    const uint32_t take = std::min(count - copied, kNewData);
    std::memcpy(block + kHeaderSize, data + copied, take);
    std::memset(block + kHeaderSize + take, 0, kNewData - take);
    copied += take;
    PutBigEndian32(block + kNewBlockLength - 4, kBlockEnd);
  }
  if (!WriteAt(start, run_.data(), size)) return false;
  endOfBlocks_ = start + size;
  for (uint32_t i = 0; i < blocks; ++i) map_.Add(fileId, start + i * kNewBlockLength, sequence + i);
  if (!LinkBlock(chain, start)) return false;
  for (uint32_t i = 0; i < blocks; ++i) {
    const uint32_t at = start + i * kNewBlockLength;
    chain.links.push_back(
        {at, kNewBlockLength, i + 1 < blocks ? at + kNewBlockLength : 0, DataEnd(chain)});
  }
  *taken = copied;
  return true;
}

uint32_t VFSCore::CreateVFSFile(const void* initial, uint32_t size) {
  if (!disk_ || nextFileId_ == 0xFFFFFFFF || !MarkChanged()) return 0;
  const uint32_t fileId = nextFileId_;
  uint8_t nextId[4];
  PutBigEndian32(nextId, fileId + 1);
  if (!WriteAt(kMetadataPosition, nextId, 4)) return 0;
  nextFileId_ = fileId + 1;
  uint32_t offset = 0;
  uint32_t length = 0;
  const auto* data = static_cast<const uint8_t*>(initial);
  if (TakeFreeBlock(&offset, &length)) {
    uint8_t header[kHeaderSize];
    EncodeHeader(header, fileId, 0, length, 0);
    std::vector<uint8_t> zeros(length - kBlockOverhead, 0);
    if (data) std::memcpy(zeros.data(), data, std::min<size_t>(size, zeros.size()));
    if (!WriteAt(offset + kHeaderSize, zeros.data(), uint32_t(zeros.size())) ||
        !WriteAt(offset + 4, header + 4, 24)) {
      return 0;
    }
    map_.SetEntry(offset, fileId, 0);
    return fileId;
  }
  if (endOfBlocks_ > kLimit) return 0;
  std::vector<uint8_t> block(kNewBlockLength, 0);
  EncodeHeader(block.data(), fileId, 0, kNewBlockLength, 0);
  if (data) std::memcpy(block.data() + kHeaderSize, data, std::min(size, kNewData));
  PutBigEndian32(block.data() + kNewBlockLength - 4, kBlockEnd);
  offset = endOfBlocks_;
  if (!WriteAt(offset, block.data(), kNewBlockLength)) return 0;
  endOfBlocks_ += kNewBlockLength;
  map_.Add(fileId, offset, 0);
  return fileId;
}

bool VFSCore::DeleteVFSFile(uint32_t fileId) {
  if (!disk_ || fileId <= kMetadataFileId || IsFileOpen(fileId)) return false;
  const int32_t ref = OpenFile(fileId);
  if (ref < 0) return false;
  Chain chain = *ChainOf(*records_[size_t(ref)]);
  while (ExtendChain(fileId, chain, kMaxReadAhead)) {
  }
  CloseFile(ref);
  if (!MarkChanged()) return false;
  static const uint8_t kFree[4] = {};
  for (const Link& link : chain.links) {
    if (!WriteAt(link.offset + 4, kFree, 4)) return false;
    map_.SetEntry(link.offset, 0, 0);
  }
  return true;
}

#ifdef _WINDOWS_
#error "VFSCore is portable: it must not include <windows.h>."
#endif
