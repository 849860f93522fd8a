#include "files/BlockMap.h"

#include <algorithm>

#include "core/utility.h"

std::vector<size_t>::const_iterator BlockMap::Position(uint32_t offset) const {
  return std::lower_bound(byOffset_.begin(), byOffset_.end(), offset,
                          [this](size_t index, uint32_t at) { return entries_[index].offset < at; });
}

bool BlockMap::Lookup(uint32_t offset, size_t* index) const {
  const auto found = Position(offset);
  if (found == byOffset_.end() || entries_[*found].offset != offset) return false;
  *index = *found;
  return true;
}

void BlockMap::IndexFirst(size_t index) {
  const BlockMapEntry& entry = entries_[index];
  if (entry.fileId == 0) {
    free_.insert(index);
    return;
  }
  if (entry.sequence != 0) return;
  auto found = firstOfFile_.find(entry.fileId);
  if (found == firstOfFile_.end() || found->second > index) firstOfFile_[entry.fileId] = index;
}

bool BlockMap::Add(uint32_t fileId, uint32_t offset, uint32_t sequence) {
  // New blocks come at the end of the container: usually a plain append.
  if (byOffset_.empty() || entries_[byOffset_.back()].offset < offset) {
    byOffset_.push_back(entries_.size());
  } else {
    const auto at = Position(offset);
    if (at != byOffset_.end() && entries_[*at].offset == offset) return false;
    byOffset_.insert(at, entries_.size());
  }
  entries_.push_back({offset, fileId, sequence});
  IndexFirst(entries_.size() - 1);
  return true;
}

bool BlockMap::SetEntry(uint32_t offset, uint32_t fileId, uint32_t sequence) {
  size_t index = 0;
  if (!Lookup(offset, &index)) return false;
  BlockMapEntry& entry = entries_[index];
  if (entry.fileId == 0) {
    free_.erase(index);
  } else if (entry.sequence == 0) {
    // A second first block of the file (damage) is not looked for: the
    // container rebuilds the map when a file's first block is missing.
    auto first = firstOfFile_.find(entry.fileId);
    if (first != firstOfFile_.end() && first->second == index) firstOfFile_.erase(first);
  }
  entry.fileId = fileId;
  entry.sequence = fileId == 0 ? 0 : sequence;
  IndexFirst(index);
  return true;
}

bool BlockMap::FindFirst(uint32_t fileId, uint32_t* offset) const {
  auto found = firstOfFile_.find(fileId);
  if (fileId == 0 || found == firstOfFile_.end()) return false;
  *offset = entries_[found->second].offset;
  return true;
}

bool BlockMap::FirstFree(uint32_t* offset) const {
  if (free_.empty()) return false;
  *offset = entries_[*free_.begin()].offset;
  return true;
}

void BlockMap::SetAside(uint32_t offset) {
  size_t index = 0;
  if (Lookup(offset, &index)) free_.erase(index);
}

uint32_t BlockMap::HighestFileId() const {
  uint32_t highest = 0;
  for (const BlockMapEntry& entry : entries_) highest = entry.fileId > highest ? entry.fileId : highest;
  return highest;
}

void BlockMap::Clear() {
  entries_.clear();
  byOffset_.clear();
  firstOfFile_.clear();
  free_.clear();
}

std::vector<uint8_t> BlockMap::Serialize() const {
  std::vector<uint8_t> bytes(kHeadSize + kEntrySize * entries_.size());
  PutBigEndian32(&bytes[0], kMagic);
  PutBigEndian32(&bytes[4], uint32_t(entries_.size()));
  uint8_t* p = bytes.data() + kHeadSize;
  for (const BlockMapEntry& entry : entries_) {
    PutBigEndian32(p, entry.offset);
    PutBigEndian32(p + 4, entry.fileId);
    PutBigEndian32(p + 8, entry.sequence);
    p += kEntrySize;
  }
  return bytes;
}

bool BlockMap::Deserialize(const uint8_t* bytes, size_t length) {
  Clear();
  if (!bytes || length < kHeadSize || GetBigEndian32(bytes) != kMagic) return false;
  const uint32_t count = GetBigEndian32(bytes + 4);
  if (count > (length - kHeadSize) / kEntrySize) return false;
  entries_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + kHeadSize + kEntrySize * i;
    if (!Add(GetBigEndian32(p + 4), GetBigEndian32(p), GetBigEndian32(p + 8))) {
      Clear();
      return false;
    }
  }
  return true;
}

#ifdef _WINDOWS_
#error "BlockMap is portable: it must not include <windows.h>."
#endif
