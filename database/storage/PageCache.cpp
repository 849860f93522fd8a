#include "database/storage/PageCache.h"

#include <algorithm>
#include <utility>

#include "database/storage/Record.h"

DBPageRef::DBPageRef(DBPageEntry* entry) : entry_(entry) {
  if (entry_) ++entry_->pins;
}

DBPageRef& DBPageRef::operator=(DBPageRef other) noexcept {
  std::swap(entry_, other.entry_);
  return *this;
}

void DBPageRef::Reset() {
  if (entry_) --entry_->pins;
  entry_ = nullptr;
}

const std::vector<uint16_t>& DBPageRef::EntryOffsets() const {
  if (!entry_->offsetsValid) {
    entry_->offsets.clear();
    const uint32_t used = Used();
    // Validated pages tile `used` with entries of at least 10 bytes; the
    // length check keeps a broken one from looping.
    for (uint32_t offset = 0; offset < used;) {
      entry_->offsets.push_back(uint16_t(offset));
      const uint32_t length = EntryLength(EntryAt(offset));
      if (length == 0) break;
      offset += length;
    }
    entry_->offsetsValid = true;
  }
  return entry_->offsets;
}

void DBPageRef::EntryInserted(uint32_t offset, uint32_t length) const {
  entry_->appending = offset + length == Used();
  if (!entry_->offsetsValid) return;
  std::vector<uint16_t>& offsets = entry_->offsets;
  const auto at = std::lower_bound(offsets.begin(), offsets.end(), uint16_t(offset));
  for (auto behind = at; behind != offsets.end(); ++behind) *behind = uint16_t(*behind + length);
  offsets.insert(at, uint16_t(offset));
}

DBPageEntry* DBPageCache::Find(uint32_t number) {
  if (number >= entries_.size() || !entries_[number]) return nullptr;
  DBPageEntry* entry = entries_[number].get();
  if (!entry->dirty && newest_ != entry) {
    Unlink(entry);
    LinkAtHead(entry);
  }
  return entry;
}

void DBPageCache::MakeRoom() {
  DBPageEntry* candidate = oldest_;
  while (count_ >= budget_ && candidate) {
    DBPageEntry* newer = candidate->newer;
    if (candidate->pins == 0) {
      Unlink(candidate);
      entries_[candidate->number].reset();
      --count_;
    }
    candidate = newer;
  }
}

DBPageEntry* DBPageCache::Add(std::unique_ptr<DBPageEntry> entry) {
  DBPageEntry* added = entry.get();
  if (added->number >= entries_.size()) entries_.resize(added->number + 1);
  if (!entries_[added->number]) ++count_;
  entries_[added->number] = std::move(entry);
  LinkAtHead(added);
  return added;
}

void DBPageCache::MarkDirty(DBPageEntry* entry) {
  if (entry->dirty) return;
  Unlink(entry);
  entry->dirty = true;
  dirty_.push_back(entry);
}

void DBPageCache::CleanAll() {
  for (DBPageEntry* entry : dirty_) {
    entry->dirty = false;
    LinkAtHead(entry);
  }
  dirty_.clear();
}

void DBPageCache::Written(const std::vector<DBPageEntry*>& pages) {
  for (DBPageEntry* entry : pages) {
    entry->dirty = false;
    // At the old end: written out to make room, they go first.
    entry->newer = oldest_;
    entry->older = nullptr;
    if (oldest_) oldest_->older = entry;
    oldest_ = entry;
    if (!newest_) newest_ = entry;
  }
  dirty_.erase(std::remove_if(dirty_.begin(), dirty_.end(),
                              [](const DBPageEntry* entry) { return !entry->dirty; }),
               dirty_.end());
}

void DBPageCache::Clear() {
  dirty_.clear();
  newest_ = oldest_ = nullptr;
  entries_.clear();
  count_ = 0;
}

void DBPageCache::LinkAtHead(DBPageEntry* entry) {
  entry->older = newest_;
  entry->newer = nullptr;
  if (newest_) newest_->newer = entry;
  newest_ = entry;
  if (!oldest_) oldest_ = entry;
}

void DBPageCache::Unlink(DBPageEntry* entry) {
  if (entry->newer) entry->newer->older = entry->older;
  if (entry->older) entry->older->newer = entry->newer;
  if (newest_ == entry) newest_ = entry->older;
  if (oldest_ == entry) oldest_ = entry->newer;
  entry->newer = entry->older = nullptr;
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
