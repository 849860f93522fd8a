// The page cache of one DBFile: cached pages by number, their recent-use
// order, the list of dirty pages, and a budget of pages.
//
// Pages are pinned while someone holds a DBPageRef to them. When a load
// would exceed the budget, clean unpinned pages are freed from the least
// recently used end; dirty pages (kept apart, in the dirty list) and pinned
// pages are never freed. The DBFile writes dirty pages out (journaled) when
// only they are left to free, so that the cache stays near its budget.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "database/storage/PageFormat.h"

// The bookkeeping comes before the bytes, so that a look-up touches one
// line of memory before the page's own.
struct DBPageEntry {
  uint32_t number = 0;
  uint32_t pins = 0;
  bool dirty = false;
  bool offsetsValid = false;
  // Whether the last entry inserted went behind all others (or none went in
  // since the page was loaded): a look-up then tries the last entry first.
  bool appending = true;
  // Recent-use list (clean pages only): newer is towards the head.
  DBPageEntry* newer = nullptr;
  DBPageEntry* older = nullptr;
  // Offsets of the entries, built on demand; kept up to date by an insert
  // into the page, built again after any other move of its entries.
  std::vector<uint16_t> offsets;
  uint8_t bytes[kDBPageSize];
};

// One pin on a cached page; unpins when dropped. Copies take a pin of their
// own. The page stays in memory while pinned.
class DBPageRef {
 public:
  DBPageRef() = default;
  explicit DBPageRef(DBPageEntry* entry);
  DBPageRef(const DBPageRef& other) : DBPageRef(other.entry_) {}
  DBPageRef(DBPageRef&& other) noexcept : entry_(other.entry_) { other.entry_ = nullptr; }
  DBPageRef& operator=(DBPageRef other) noexcept;
  ~DBPageRef() { Reset(); }
  void Reset();

  explicit operator bool() const { return entry_ != nullptr; }
  uint8_t* Bytes() const { return entry_->bytes; }
  uint8_t* Data() const { return entry_->bytes + kDBPageHeaderSize; }
  uint8_t* EntryAt(uint32_t offset) const { return Data() + offset; }
  uint32_t Number() const { return entry_->number; }
  uint32_t Kind() const { return PageKind(entry_->bytes); }
  uint16_t Used() const { return PageUsed(entry_->bytes); }
  bool IsDirty() const { return entry_->dirty; }
  // The offsets of the page's entries in order (built once per layout).
  const std::vector<uint16_t>& EntryOffsets() const;
  // The entries moved: the offsets are built again when next asked for.
  void LayoutChanged() const { entry_->offsetsValid = false; }
  // An entry of `length` bytes went in at `offset`, the entries from there
  // on moving up by as much: the offsets follow without a new walk.
  void EntryInserted(uint32_t offset, uint32_t length) const;
  DBPageEntry* Entry() const { return entry_; }

 private:
  DBPageEntry* entry_ = nullptr;
};

class DBPageCache {
 public:
  explicit DBPageCache(uint32_t budget) : budget_(budget) {}
  DBPageCache(const DBPageCache&) = delete;
  DBPageCache& operator=(const DBPageCache&) = delete;

  // The cached page, moved to the head of the recent-use order; null when
  // not cached.
  DBPageEntry* Find(uint32_t number);
  // Frees clean unpinned pages from the least recently used end until one
  // more page fits the budget (or none is left to free).
  void MakeRoom();
  // Takes a page in (clean, at the head of the recent-use order).
  DBPageEntry* Add(std::unique_ptr<DBPageEntry> entry);
  // Moves a page to the dirty list: not freeable until CleanAll.
  void MarkDirty(DBPageEntry* entry);
  // The dirty pages, in the order they became dirty.
  const std::vector<DBPageEntry*>& DirtyPages() const { return dirty_; }
  // Those pages were written out: they become clean, at the least recently
  // used end, first to be freed.
  void Written(const std::vector<DBPageEntry*>& pages);
  // Every dirty page becomes clean.
  void CleanAll();
  void Clear();

  uint32_t Size() const { return count_; }
  uint32_t Budget() const { return budget_; }
  void SetBudget(uint32_t budget) { budget_ = budget < 1 ? 1 : budget; }

 private:
  void LinkAtHead(DBPageEntry* entry);
  void Unlink(DBPageEntry* entry);

  // Indexed by page number (files have at most kDBMaxPages pages), so that
  // a look-up is one index.
  std::vector<std::unique_ptr<DBPageEntry>> entries_;
  uint32_t count_ = 0;
  DBPageEntry* newest_ = nullptr;
  DBPageEntry* oldest_ = nullptr;
  std::vector<DBPageEntry*> dirty_;
  uint32_t budget_;
};
