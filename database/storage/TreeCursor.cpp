#include "database/storage/TreeCursor.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "core/string.h"
#include "database/storage/PageFormat.h"
#include "database/storage/Record.h"

namespace {

// The longest key an interior entry can carry.
constexpr size_t kMaxSeparatorKey = kDBPageDataSize - kDBInteriorKeyAt;

enum class Split {
  kTailMoves,         // the new entry fits the old page
  kEntryAndTailMove,  // both fit one new page
  kBothMove,          // the tail and the entry each get a new page
};

Split ChooseSplit(uint32_t offset, uint32_t used, uint32_t length) {
  if (offset + length <= kDBPageDataSize) return Split::kTailMoves;
  if (used - offset + length <= kDBPageDataSize) return Split::kEntryAndTailMove;
  return Split::kBothMove;
}

inline void Prefetch(const uint8_t* bytes) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(bytes);
#else
  (void)bytes;
#endif
}

// The entry offsets of a leaf that handed `count` entries (`moved` bytes)
// from its start to the left sibling's end, or from its end to the right
// sibling's start, follow the move instead of being walked again: the
// pages' entries lie far apart in memory once the file outgrows the
// processor's caches. `offsets` are the leaf's before the move.
void MoveOffsets(const DBPageRef& leaf, const DBPageRef& sibling,
                 const std::vector<uint16_t>& offsets, size_t count, uint32_t moved,
                 uint32_t siblingUsed, bool left) {
  DBPageEntry& leafEntry = *leaf.Entry();
  DBPageEntry& siblingEntry = *sibling.Entry();
  std::vector<uint16_t>& kept = leafEntry.offsets;
  std::vector<uint16_t>& taken = siblingEntry.offsets;
  const size_t stay = offsets.size() - count;
  if (left) {
    kept.assign(offsets.begin() + count, offsets.end());
    for (uint16_t& offset : kept) offset = uint16_t(offset - moved);
    if (siblingEntry.offsetsValid)
      for (size_t i = 0; i < count; ++i) taken.push_back(uint16_t(offsets[i] + siblingUsed));
  } else {
    kept.assign(offsets.begin(), offsets.begin() + stay);
    if (siblingEntry.offsetsValid) {
      const uint32_t from = offsets[stay];
      for (uint16_t& offset : taken) offset = uint16_t(offset + moved);
      taken.insert(taken.begin(), offsets.begin() + stay, offsets.end());
      for (size_t i = 0; i < count; ++i) taken[i] = uint16_t(taken[i] - from);
    }
  }
  leafEntry.offsetsValid = true;
}

// Records under the entries from `from` to `to`: one per leaf entry, the sum
// of the counts of interior entries.
uint32_t CountRecords(const DBPageRef& page, uint32_t from, uint32_t to) {
  const bool interior = page.Kind() == kDBKindInterior;
  uint32_t count = 0;
  for (uint32_t offset = from; offset < to; offset += EntryLength(page.EntryAt(offset)))
    count += interior ? InteriorCount(page.EntryAt(offset)) : 1;
  return count;
}

// Whether the file can take the pages one insert into a tree of that depth
// may add (two per level split and a new root), besides `extra` pages.
bool RoomForInsert(DBFile& db, size_t depth, uint32_t extra) {
  if (uint64_t(db.PageCount()) + extra + 2 * (uint64_t(depth) + 2) <= kDBMaxPages) return true;
  db.SetError(kDBErrorFull);
  return false;
}

// The whole records of a spool: {u32 length, bytes} from its start, up to
// the first one that does not read whole.
std::vector<std::vector<uint8_t>> ReadSpool(FileStream& stream) {
  std::vector<std::vector<uint8_t>> records;
  if (!stream.SetPosition(0)) return records;
  for (;;) {
    uint8_t size[4];
    int32_t got = 0;
    if (!stream.Read(size, sizeof size, &got) || got != int32_t(sizeof size)) break;
    const uint32_t length = GetBigEndian32(size);
    if (length < kDBRecordFieldsAt || length >= kDBRecordLengthLimit) break;
    std::vector<uint8_t> record(length);
    if (!stream.Read(record.data(), int32_t(length), &got) || got != int32_t(length)) break;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

DBTreeCursor::DBTreeCursor(DBFile& db, std::unique_ptr<DBTreeCursor> parent, const uint8_t* filter,
                           size_t filterLength, DBKeyColumns keyColumns)
    : db_(&db),
      parent_(std::move(parent)),
      keyColumnCount_(std::min<size_t>(keyColumns.count, sizeof keyColumns_)),
      filter_(filter, filter + filterLength),
      leafKind_(parent_ ? kDBKindTableLeaf : kDBKindDirectoryLeaf),
      root_(kDBNoPage) {
  if (keyColumnCount_ > 0) std::memcpy(keyColumns_, keyColumns.columns, keyColumnCount_);
  if (!parent_) {
    root_ = db.DirectoryRoot();
  } else if (const uint8_t* record = parent_->CurrentEntry()) {
    root_ = DirectoryRecordRoot(record);
  }
  db.AddCursor(this);
}

DBTreeCursor::~DBTreeCursor() {
  if (!db_) return;
  if (spool_ || !memorySpool_.empty()) ReplaySpool();
  db_->RemoveCursor(this);
}

// ---- The path ---------------------------------------------------------------------

DBTreeCursor::Path& DBTreeCursor::Path::operator=(const Path& other) {
  if (this == &other) return *this;
  clear();
  for (const Level& level : other) new (end()) Level(level), ++size_;
  return *this;
}

void DBTreeCursor::Path::clear() {
  while (size_ > 0) pop_back();
}

bool DBTreeCursor::Path::push_back(Level level) {
  if (size_ == kRoom) return false;
  new (end()) Level(std::move(level));
  ++size_;
  return true;
}

bool DBTreeCursor::Path::push_front(Level level) {
  if (size_ == 0) return push_back(std::move(level));
  if (size_ == kRoom) return false;
  new (end()) Level(std::move(back()));
  for (size_t i = size_ - 1; i > 0; --i) begin()[i] = std::move(begin()[i - 1]);
  begin()[0] = std::move(level);
  ++size_;
  return true;
}

// ---- Walking ------------------------------------------------------------------------

bool DBTreeCursor::Damaged() {
  db_->SetError(kDBErrorDamaged);
  levels_.clear();
  state_ = State::kDone;
  broken_ = true;
  return false;
}

bool DBTreeCursor::StartAtRoot() {
  levels_.clear();
  pagesEntered_ = 0;
  broken_ = false;
  state_ = State::kDone;
  if (root_ >= db_->PageCount()) return false;  // no tree yet: nothing to walk
  DBPageRef root = db_->GetPage(root_);
  if (!root) {
    broken_ = true;
    return false;
  }
  if (root.Kind() != kDBKindInterior && root.Kind() != leafKind_) return Damaged();
  levels_.push_back({std::move(root), 0});
  state_ = State::kBefore;
  return true;
}

// Enters a child page. A path longer than any tree, a page met twice on it,
// or a walk entering more pages than the file has (children shared between
// parents) is damage.
bool DBTreeCursor::Push(uint32_t child) {
  if (levels_.size() >= kDBMaxTreeDepth || child >= db_->PageCount() ||
      ++pagesEntered_ > 2 * db_->PageCount() + kDBMaxTreeDepth)
    return Damaged();
  for (const Level& level : levels_)
    if (level.page.Number() == child) return Damaged();
  DBPageRef page = db_->GetPage(child);
  if (!page) {
    levels_.clear();
    state_ = State::kDone;
    broken_ = true;
    return false;
  }
  if (page.Kind() != kDBKindInterior && page.Kind() != leafKind_) return Damaged();
  levels_.push_back({std::move(page), 0});
  return true;
}

// From where the cursor stands, goes on to the first leaf entry: up past page
// ends, down into children.
bool DBTreeCursor::Settle() {
  for (;;) {
    Level& level = levels_.back();
    if (level.offset >= level.page.Used()) {
      levels_.pop_back();
      if (levels_.empty()) {
        state_ = State::kDone;
        return false;
      }
      Level& up = levels_.back();
      up.offset += EntryLength(up.page.EntryAt(up.offset));
      continue;
    }
    if (level.page.Kind() == kDBKindInterior) {
      if (!Push(InteriorChild(level.page.EntryAt(level.offset)))) return false;
      continue;
    }
    state_ = State::kOn;
    return true;
  }
}

bool DBTreeCursor::NextEntry() {
  if (!db_ || !Reposition()) return false;
  atSeek_ = false;
  afterMark_ = false;
  switch (state_) {
    case State::kDone: return false;
    case State::kFresh:
      if (!StartAtRoot()) return false;
      break;
    case State::kOn: {
      Level& leaf = levels_.back();
      leaf.offset += EntryLength(leaf.page.EntryAt(leaf.offset));
      break;
    }
    case State::kBefore: break;
  }
  return Settle();
}

bool DBTreeCursor::NextMatching() {
  while (NextEntry()) {
    const Level& leaf = levels_.back();
    const uint8_t* entry = leaf.page.EntryAt(leaf.offset);
    if (EntryState(entry) != kDBEntryLive) continue;
    if (filter_.empty()) return true;
    if (leafKind_ == kDBKindTableLeaf) {
      bool has = false;
      if (!EntryKeyHasPrefix(entry, KeyColumns(), filter_.data(), filter_.size(), &has)) return Damaged();
      if (has) return true;
      continue;
    }
    if (!EntryKey(leafKind_, entry, &key_)) return Damaged();
    if (ComparePrefix(key_.data(), key_.size(), filter_.data(), filter_.size()) == 0) return true;
  }
  return false;
}

bool DBTreeCursor::EntryKey(uint32_t kind, const uint8_t* entry, std::vector<uint8_t>* key) {
  return BuildEntryKey(kind, entry, KeyColumns(), key);
}

bool DBTreeCursor::CompareEntry(uint32_t kind, const uint8_t* entry, const uint8_t* key,
                                size_t keyLength, int32_t* order) {
  return CompareEntryKey(kind, entry, KeyColumns(), key, keyLength, order);
}

// The index of the first entry of the page whose key is not below `key`.
// Entries, live and deleted, lie in key order, so bisection finds it. Keys
// arriving in increasing order belong behind the last entry: while the
// page's last insert went there, that entry is tried first, which spares
// them the bisection (and spares keys in random order that extra probe).
bool DBTreeCursor::LowerBound(const Level& level, const uint8_t* key, size_t keyLength,
                              size_t* index) {
  const std::vector<uint16_t>& offsets = level.page.EntryOffsets();
  const uint32_t kind = level.page.Kind();
  int32_t order = 0;
  const auto compare = [&](size_t at) {
    return CompareEntry(kind, level.page.EntryAt(offsets[at]), key, keyLength, &order);
  };
  size_t low = 0, high = offsets.size();
  if (high > 0 && level.page.Entry()->appending) {
    // The bisection's first probe is fetched while the last entry compares.
    if (high > 2) Prefetch(level.page.EntryAt(offsets[(high - 1) / 2]));
    if (!compare(high - 1)) return false;
    if (order < 0) low = high;
    else --high;
  }
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    // The entries of a page lie over many cache lines: both places the next
    // step may probe are fetched while this one compares.
    if (high - low > 2) {
      Prefetch(level.page.EntryAt(offsets[low + (middle - low) / 2]));
      Prefetch(level.page.EntryAt(offsets[middle + 1 + (high - middle - 1) / 2]));
    }
    if (!compare(middle)) return false;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  *index = low;
  return true;
}

// From the root: on interior pages into the child of the last entry whose
// key is below `key` (the first entry when none is), on the leaf before the
// first entry not below it.
bool DBTreeCursor::Descend(const uint8_t* key, size_t keyLength) {
  for (;;) {
    Level& level = levels_.back();
    size_t index = 0;
    if (!LowerBound(level, key, keyLength, &index)) return Damaged();
    const std::vector<uint16_t>& offsets = level.page.EntryOffsets();
    if (level.page.Kind() != kDBKindInterior) {
      level.offset = index < offsets.size() ? offsets[index] : level.page.Used();
      state_ = State::kBefore;
      return true;
    }
    if (offsets.empty()) return Damaged();
    level.offset = offsets[index == 0 ? 0 : index - 1];
    if (!Push(InteriorChild(level.page.EntryAt(level.offset)))) return false;
  }
}

// Looks ahead from the position, across page ends, for the next live entry
// and compares its key; the cursor stays where it is.
bool DBTreeCursor::NextLiveHasKey(const uint8_t* key, size_t keyLength, bool* found) {
  *found = false;
  // Most often the answer lies on the leaf, or nothing follows the path at
  // all: then the path need not be saved and walked.
  const Level& leaf = levels_.back();
  const uint32_t used = leaf.page.Used();
  for (uint32_t offset = leaf.offset; offset < used;) {
    const uint8_t* entry = leaf.page.EntryAt(offset);
    if (EntryState(entry) == kDBEntryLive) {
      int32_t order = 0;
      if (!CompareEntry(leafKind_, entry, key, keyLength, &order)) return Damaged();
      *found = order == 0;
      return true;
    }
    if (EntryLength(entry) == 0) break;
    offset += EntryLength(entry);
  }
  const auto onLastEntry = [](const Level& level) {
    return level.offset + EntryLength(level.page.EntryAt(level.offset)) >= level.page.Used();
  };
  if (leaf.offset >= used && std::all_of(levels_.begin(), levels_.end() - 1, onLastEntry)) return true;

  Path saved = levels_;
  const State savedState = state_;
  const uint32_t savedEntered = pagesEntered_;
  while (Settle()) {
    Level& leaf = levels_.back();
    const uint8_t* entry = leaf.page.EntryAt(leaf.offset);
    if (EntryState(entry) == kDBEntryLive) {
      int32_t order = 0;
      if (!CompareEntry(leafKind_, entry, key, keyLength, &order)) {
        Damaged();
        break;
      }
      *found = order == 0;
      break;
    }
    leaf.offset += EntryLength(entry);
  }
  if (broken_) return false;
  levels_ = std::move(saved);
  state_ = savedState;
  pagesEntered_ = savedEntered;
  return true;
}

// Whether a descent from the root for `key` would take the path the cursor
// holds, when that path runs along the last entry of every page: then each
// interior page's last separator is below the key (or is the page's only
// entry). Keys inserted in increasing order find their leaf this way with
// one comparison a level.
bool DBTreeCursor::OnLastPathFor(const uint8_t* key, size_t keyLength) {
  if (stale_ || levels_.size() < 2 || levels_.front().page.Number() != root_ ||
      (state_ != State::kBefore && state_ != State::kOn))
    return false;
  for (size_t i = 0; i + 1 < levels_.size(); ++i) {
    const Level& level = levels_[i];
    const std::vector<uint16_t>& offsets = level.page.EntryOffsets();
    if (offsets.empty() || level.offset != offsets.back()) return false;
    if (offsets.size() == 1) continue;
    int32_t order = 0;
    if (!CompareEntry(kDBKindInterior, level.page.EntryAt(level.offset), key, keyLength, &order) ||
        order >= 0)
      return false;
  }
  return true;
}

bool DBTreeCursor::SeekKey(const uint8_t* key, size_t keyLength, bool* found) {
  if (found) *found = false;
  if (!db_) return false;
  seekKey_.assign(key, key + keyLength);
  atSeek_ = true;
  afterMark_ = false;
  if (OnLastPathFor(key, keyLength)) {
    // The leaf's place is found again below; the levels above stay.
    levels_.back().offset = 0;
    state_ = State::kBefore;
    if (!Descend(key, keyLength)) return false;
    bool live = false;
    if (found && !NextLiveHasKey(key, keyLength, &live)) return false;
    if (found) *found = live;
    return true;
  }
  stale_ = false;
  if (!StartAtRoot() || !Descend(key, keyLength)) return false;
  bool live = false;
  if (found && !NextLiveHasKey(key, keyLength, &live)) return false;
  if (found) *found = live;
  return true;
}

const uint8_t* DBTreeCursor::CurrentEntry() {
  if (!db_ || !Reposition() || state_ != State::kOn) return nullptr;
  return levels_.back().page.EntryAt(levels_.back().offset);
}

uint32_t DBTreeCursor::CurrentPageNumber() const {
  return levels_.empty() ? kDBNoPage : levels_.back().page.Number();
}

uint32_t DBTreeCursor::CurrentOffset() const {
  return levels_.empty() ? 0 : levels_.back().offset;
}

// ---- Standing again after other cursors' changes ----------------------------------------

void DBTreeCursor::Remember(Mark mark, const uint8_t* entry) {
  stale_ = true;
  mark_ = mark;
  markId_ = EntryRecordId(entry);
  if (!EntryKey(leafKind_, entry, &markKey_)) mark_ = Mark::kStart;
}

void DBTreeCursor::PageWillChange(uint32_t page) {
  if (stale_ || levels_.empty() || state_ == State::kDone || state_ == State::kFresh) return;
  bool onPath = false;
  for (const Level& level : levels_) onPath = onPath || level.page.Number() == page;
  if (!onPath) return;
  if (atSeek_ && state_ == State::kBefore) {
    // Found again by the key sought: rows put in meanwhile from that key on
    // come next, as they would have after a seek made now.
    stale_ = true;
    mark_ = Mark::kSeek;
    return;
  }
  if (afterMark_ && state_ == State::kBefore) {
    // Rows put in behind the mark, in front of the entry the cursor stands
    // before, come next.
    stale_ = true;
    mark_ = Mark::kAfter;
    return;
  }
  const Level& leaf = levels_.back();
  const uint32_t used = leaf.page.Used();
  if (leaf.page.Kind() == kDBKindInterior || used == 0) {
    stale_ = true;
    mark_ = Mark::kStart;
  } else if (leaf.offset < used) {
    Remember(state_ == State::kOn ? Mark::kOn : Mark::kBefore, leaf.page.EntryAt(leaf.offset));
  } else {
    Remember(Mark::kAfter, leaf.page.EntryAt(leaf.page.EntryOffsets().back()));
  }
}

void DBTreeCursor::RootMoved(uint32_t oldRoot, uint32_t newRoot) {
  if (root_ != oldRoot) return;
  root_ = newRoot;
  if (levels_.empty() || levels_.front().page.Number() != oldRoot) return;
  DBPageRef page = db_->GetPage(newRoot);
  if (page && !levels_.push_front({std::move(page), 0})) {
    stale_ = true;
    mark_ = Mark::kStart;
  }
}

// Finds the remembered entry by its key and record id. When it is gone the
// cursor stands before the entry that follows it in key order.
bool DBTreeCursor::Reposition() {
  if (!stale_) return true;
  stale_ = false;
  afterMark_ = false;
  if (mark_ == Mark::kStart) {
    levels_.clear();
    state_ = State::kFresh;
    return true;
  }
  if (mark_ == Mark::kSeek) return (StartAtRoot() && Descend(seekKey_.data(), seekKey_.size())) || !broken_;
  repositionKey_ = markKey_;
  const std::vector<uint8_t>& key = repositionKey_;
  if (!StartAtRoot() || !Descend(key.data(), key.size())) return !broken_;
  while (Settle()) {
    Level& leaf = levels_.back();
    const uint8_t* entry = leaf.page.EntryAt(leaf.offset);
    int32_t order = 0;
    if (!CompareEntry(leafKind_, entry, key.data(), key.size(), &order)) return Damaged();
    if (order > 0) break;
    if (order == 0 && EntryRecordId(entry) == markId_) {
      if (mark_ == Mark::kOn) return true;
      if (mark_ == Mark::kAfter) leaf.offset += EntryLength(entry);
      afterMark_ = mark_ == Mark::kAfter;
      state_ = State::kBefore;
      return true;
    }
    leaf.offset += EntryLength(entry);
    state_ = State::kBefore;
  }
  if (state_ == State::kDone) return !broken_;
  afterMark_ = mark_ != Mark::kBefore;
  state_ = State::kBefore;
  return true;
}

// An entry of the key the cursor stands on that follows it and that the
// rollback brings back is the row the cursor has met already, in the version
// before the transaction replaced it (an update puts the new entry in front
// of the old one): the cursor stands on the last such entry afterwards, so
// that its next move goes on past the key. A directory cursor stays on its
// record: the table cursor it serves writes its tree's root there. A cursor
// whose entry is gone keeps its mark for its next use, so that rows put in
// behind the mark by then count.
void DBTreeCursor::WillRollBack(uint32_t stamp) {
  if (!db_ || leafKind_ != kDBKindTableLeaf) return;
  if (stale_) {
    // Only a cursor that stood on an entry can stand on one again; the others
    // keep their remembered place for their next use.
    if (mark_ != Mark::kOn) return;
    Path path = levels_;
    const State state = state_;
    const uint32_t entered = pagesEntered_;
    if (!Reposition()) return;
    if (state_ != State::kOn) {
      levels_ = std::move(path);
      state_ = state;
      pagesEntered_ = entered;
      afterMark_ = false;
      stale_ = true;
      return;
    }
  }
  if (state_ != State::kOn) return;
  {
    const Level& leaf = levels_.back();
    if (!EntryKey(leafKind_, leaf.page.EntryAt(leaf.offset), &key_)) return;
  }
  Path saved = levels_;
  const uint32_t savedEntered = pagesEntered_;
  bool restored = false;
  uint32_t restoredId = 0;
  for (;;) {
    Level& leaf = levels_.back();
    leaf.offset += EntryLength(leaf.page.EntryAt(leaf.offset));
    if (!Settle()) break;
    const uint8_t* entry = levels_.back().page.EntryAt(levels_.back().offset);
    int32_t order = 0;
    if (!CompareEntry(leafKind_, entry, key_.data(), key_.size(), &order) || order != 0) break;
    if (EntryState(entry) == kDBEntryDeleted && EntrySerial(entry) == stamp) {
      restored = true;
      restoredId = EntryRecordId(entry);
    }
  }
  if (broken_) return;
  levels_ = std::move(saved);
  state_ = State::kOn;
  pagesEntered_ = savedEntered;
  if (!restored) return;
  stale_ = true;
  mark_ = Mark::kOn;
  markKey_.assign(key_.begin(), key_.end());
  markId_ = restoredId;
}

// ---- Inserting --------------------------------------------------------------------

bool DBTreeCursor::InsertInPage(const DBPageRef& page, uint32_t offset, const uint8_t* entry,
                                uint32_t length) {
  db_->WillChangeLayout(page, this);
  if (!db_->MarkPageDirty(page)) return false;
  uint8_t* data = page.Data();
  const uint32_t used = page.Used();
  std::memmove(data + offset + length, data + offset, used - offset);
  std::memcpy(data + offset, entry, length);
  SetPageUsed(page.Bytes(), uint16_t(used + length));
  page.EntryInserted(offset, length);
  return true;
}

bool DBTreeCursor::InsertEntry(const uint8_t* entry, uint32_t length) {
  if (!db_ || !Reposition() || levels_.empty() ||
      (state_ != State::kBefore && state_ != State::kOn))
    return false;
  if (length > kDBPageDataSize || length < kDBEntryHeaderSize) {
    db_->ReportAssertion(__LINE__, "dataLen <= maxRecordBlockLength");
    return false;
  }
  if (!db_->CheckWritable()) return false;
  atSeek_ = false;
  afterMark_ = false;
  const DBPageRef page = levels_.back().page;
  const uint32_t offset = levels_.back().offset;
  const uint32_t used = page.Used();
  if (used + length <= kDBPageDataSize) {
    if (!InsertInPage(page, offset, entry, length)) return false;
    levels_.back().offset = offset + length;
    return true;
  }
  const Mark mark = state_ == State::kOn ? Mark::kOn : Mark::kBefore;
  // Inside a full leaf (not at its end, where loads in key order go on to a
  // new page): first a sibling with room takes some of its entries. The
  // cursor finds the entry it stood on again afterwards.
  if (offset < used && levels_.size() > 1 && IsLeafKind(page.Kind())) {
    Remember(mark, page.EntryAt(offset));
    bool shared = false;
    if (!ShareWithSibling(entry, length, &shared)) return false;
    if (shared) {
      // The entry the cursor stood at is still on the leaf unless it went to
      // the right sibling; the path above kept its offsets.
      const uint32_t at = levels_.back().offset;
      const bool stays = at < page.Used();
      if (!InsertInPage(page, at, entry, length)) return false;
      if (!stays) return Reposition();
      levels_.back().offset = at + length;
      stale_ = false;
      return true;
    }
    stale_ = false;
  }
  // The cursor follows the new entry, or the tail's first entry, to its new
  // page: it finds that entry again once the tree above is done.
  const Split split = ChooseSplit(offset, used, length);
  if (split == Split::kEntryAndTailMove) Remember(mark, entry);
  if (split == Split::kBothMove) Remember(mark, page.EntryAt(offset));
  if (!InsertAtHeight(0, offset, entry, length)) return false;
  return Reposition();
}

// The full leaf of the path hands entries to a sibling under the same parent
// whose free bytes are at least the new entry's and an eighth of a page:
// those before the position to the left sibling's end, or those from the
// position on to the right sibling's start, until the sibling holds about
// half the pair's bytes. The parent's entry for the page whose first entry
// changed takes that entry's key. Nothing changes (and *shared stays false)
// unless the new entry then fits and the parent can take the key; the leaf
// level's offset then is where the new entry goes.
bool DBTreeCursor::ShareWithSibling(const uint8_t* entry, uint32_t length, bool* shared) {
  *shared = false;
  Level& leaf = levels_.back();
  Level& parent = levels_[levels_.size() - 2];
  const std::vector<uint16_t> parentOffsets = parent.page.EntryOffsets();
  const auto at = std::lower_bound(parentOffsets.begin(), parentOffsets.end(), parent.offset);
  if (at == parentOffsets.end() || *at != parent.offset) return true;
  const size_t index = size_t(at - parentOffsets.begin());
  const std::vector<uint16_t> offsets = leaf.page.EntryOffsets();
  const uint32_t used = leaf.page.Used();
  const uint32_t kind = leaf.page.Kind();
  for (const bool left : {true, false}) {
    if (left ? index == 0 : index + 1 >= parentOffsets.size()) continue;
    const uint32_t siblingAt = parentOffsets[left ? index - 1 : index + 1];
    DBPageRef sibling = db_->GetPage(InteriorChild(parent.page.EntryAt(siblingAt)));
    if (!sibling) return false;
    if (sibling.Kind() != kind || sibling.Number() == leaf.page.Number()) continue;
    const uint32_t siblingUsed = sibling.Used();
    const uint32_t room = kDBPageDataSize - siblingUsed;
    if (room < std::max<uint32_t>(length, kDBPageDataSize / 8)) continue;
    const uint32_t half = (siblingUsed + used + length) / 2;
    uint32_t moved = 0, count = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
      const uint16_t from = left ? offsets[i] : offsets[offsets.size() - 1 - i];
      if (left ? from >= leaf.offset : from < leaf.offset) break;
      const uint32_t size = EntryLength(leaf.page.EntryAt(from));
      if (moved + size > room || siblingUsed + moved >= half) break;
      moved += size;
      ++count;
    }
    if (count == 0 || used - moved + length > kDBPageDataSize) continue;

    // The separator of the page whose first entry changes, and the counts.
    const uint8_t* first = left ? (moved == leaf.offset ? entry : leaf.page.EntryAt(moved))
                                : leaf.page.EntryAt(used - moved);
    std::vector<uint8_t> key;
    if (!EntryKey(kind, first, &key)) return Damaged();
    if (key.size() > kMaxSeparatorKey) continue;
    const uint32_t changedAt = left ? parent.offset : siblingAt;
    const uint8_t* changed = parent.page.EntryAt(changedAt);
    const uint8_t* other = parent.page.EntryAt(left ? siblingAt : parent.offset);
    const uint32_t changedCount = left ? (InteriorCount(changed) > count ? InteriorCount(changed) - count : 0)
                                       : InteriorCount(changed) + count;
    const uint32_t otherCount = left ? InteriorCount(other) + count
                                     : (InteriorCount(other) > count ? InteriorCount(other) - count : 0);
    const std::vector<uint8_t> separator = BuildInteriorEntry(
        db_->SerialStamp(), changedCount, InteriorChild(changed), key.data(), key.size());
    const uint32_t oldLength = EntryLength(changed);
    const uint32_t parentUsed = parent.page.Used();
    if (parentUsed - oldLength + separator.size() > kDBPageDataSize) continue;

    for (const DBPageRef* changing : {&leaf.page, &sibling, &parent.page}) {
      db_->WillChangeLayout(*changing, this);
      if (!db_->MarkPageDirty(*changing)) return false;
    }
    uint8_t* data = leaf.page.Data();
    uint8_t* siblingData = sibling.Data();
    if (left) {
      std::memcpy(siblingData + siblingUsed, data, moved);
      std::memmove(data, data + moved, used - moved);
      leaf.offset -= moved;
    } else {
      std::memmove(siblingData + moved, siblingData, siblingUsed);
      std::memcpy(siblingData, data + used - moved, moved);
    }
    std::memset(data + used - moved, 0, moved);
    SetPageUsed(leaf.page.Bytes(), uint16_t(used - moved));
    SetPageUsed(sibling.Bytes(), uint16_t(siblingUsed + moved));
    MoveOffsets(leaf.page, sibling, offsets, count, moved, siblingUsed, left);

    uint8_t* parentData = parent.page.Data();
    PutBigEndian16(parentData + (left ? siblingAt : parent.offset) + 6,
                   uint16_t(std::min<uint32_t>(otherCount, 0xFFFF)));
    std::memmove(parentData + changedAt + separator.size(), parentData + changedAt + oldLength,
                 parentUsed - changedAt - oldLength);
    std::memcpy(parentData + changedAt, separator.data(), separator.size());
    const uint32_t parentNow = parentUsed - oldLength + uint32_t(separator.size());
    if (parentNow < parentUsed) std::memset(parentData + parentNow, 0, parentUsed - parentNow);
    SetPageUsed(parent.page.Bytes(), uint16_t(parentNow));
    // A separator of the old one's length leaves every parent entry where it
    // was (the usual case for keys of fixed size).
    if (separator.size() != oldLength) parent.page.LayoutChanged();
    *shared = true;
    return true;
  }
  return true;
}

// Inserts at the page `height` levels above the leaf of the cursor's path.
// The path to that page stays valid throughout: a split keeps the entries
// before the position where they are, and the parent's new entries go
// behind the entry of the split page.
bool DBTreeCursor::InsertAtHeight(size_t height, uint32_t offset, const uint8_t* entry,
                                  uint32_t length) {
  size_t index = levels_.size() - 1 - height;
  const DBPageRef page = levels_[index].page;
  const uint32_t used = page.Used();
  if (used + length <= kDBPageDataSize) return InsertInPage(page, offset, entry, length);

  if (index == 0) {
    if (!GrowRoot()) return false;
    index = levels_.size() - 1 - height;
  }
  const Level& parent = levels_[index - 1];
  const uint32_t parentOffset = parent.offset + EntryLength(parent.page.EntryAt(parent.offset));
  const uint32_t kind = page.Kind();
  const uint32_t chain = PageChain(page.Bytes());
  const uint32_t tail = used - offset;
  const uint32_t tailCount = CountRecords(page, offset, used);
  const uint32_t entryCount = kind == kDBKindInterior ? InteriorCount(entry) : 1;
  // Keys of the new pages' first entries, taken before anything moves.
  std::vector<uint8_t> tailKey, entryKey;
  if (tail > 0 && !EntryKey(kind, page.EntryAt(offset), &tailKey)) return Damaged();
  if (!EntryKey(kind, entry, &entryKey)) return Damaged();
  if (tailKey.size() > kMaxSeparatorKey || entryKey.size() > kMaxSeparatorKey) {
    db_->SetError(kDBErrorTooLong);
    return false;
  }

  const Split split = ChooseSplit(offset, used, length);
  db_->WillChangeLayout(page, this);
  if (!db_->MarkPageDirty(page)) return false;
  uint8_t* data = page.Data();
  const uint32_t stamp = db_->SerialStamp();
  const auto fill = [](const DBPageRef& target, const uint8_t* first, uint32_t firstLength,
                       const uint8_t* second, uint32_t secondLength) {
    std::memcpy(target.Data(), first, firstLength);
    if (secondLength > 0) std::memcpy(target.Data() + firstLength, second, secondLength);
    SetPageUsed(target.Bytes(), uint16_t(firstLength + secondLength));
  };
  switch (split) {
    case Split::kTailMoves: {
      DBPageRef tailPage = db_->NewPage(kind, chain);
      if (!tailPage) return false;
      fill(tailPage, data + offset, tail, nullptr, 0);
      std::memcpy(data + offset, entry, length);
      if (offset + length < used) std::memset(data + offset + length, 0, used - offset - length);
      SetPageUsed(page.Bytes(), uint16_t(offset + length));
      page.LayoutChanged();
      const std::vector<uint8_t> separator =
          BuildInteriorEntry(stamp, tailCount, tailPage.Number(), tailKey.data(), tailKey.size());
      tailPage.Reset();
      return InsertAtHeight(height + 1, parentOffset, separator.data(), uint32_t(separator.size()));
    }
    case Split::kEntryAndTailMove: {
      DBPageRef newPage = db_->NewPage(kind, chain);
      if (!newPage) return false;
      fill(newPage, entry, length, data + offset, tail);
      std::memset(data + offset, 0, tail);
      SetPageUsed(page.Bytes(), uint16_t(offset));
      page.LayoutChanged();
      const std::vector<uint8_t> separator = BuildInteriorEntry(
          stamp, entryCount + tailCount, newPage.Number(), entryKey.data(), entryKey.size());
      newPage.Reset();
      return InsertAtHeight(height + 1, parentOffset, separator.data(), uint32_t(separator.size()));
    }
    case Split::kBothMove: {
      DBPageRef tailPage = db_->NewPage(kind, chain);
      DBPageRef newPage = tailPage ? db_->NewPage(kind, chain) : DBPageRef();
      if (!newPage) return false;
      fill(tailPage, data + offset, tail, nullptr, 0);
      fill(newPage, entry, length, nullptr, 0);
      std::memset(data + offset, 0, tail);
      SetPageUsed(page.Bytes(), uint16_t(offset));
      page.LayoutChanged();
      const std::vector<uint8_t> tailSeparator =
          BuildInteriorEntry(stamp, tailCount, tailPage.Number(), tailKey.data(), tailKey.size());
      const std::vector<uint8_t> entrySeparator =
          BuildInteriorEntry(stamp, entryCount, newPage.Number(), entryKey.data(), entryKey.size());
      tailPage.Reset();
      newPage.Reset();
      // Both right behind the split page's entry: the tail's first, then the
      // new entry's in front of it.
      return InsertAtHeight(height + 1, parentOffset, tailSeparator.data(),
                            uint32_t(tailSeparator.size())) &&
             InsertAtHeight(height + 1, parentOffset, entrySeparator.data(),
                            uint32_t(entrySeparator.size()));
    }
  }
  return false;
}

// A new interior root above the old one, with one entry (empty key, count
// 0) for it. The directory's root reaches the header with the commit; a
// table's is written into its directory record at once.
bool DBTreeCursor::GrowRoot() {
  const uint32_t oldRoot = levels_.front().page.Number();
  uint32_t number = 0;
  if (!db_->NewChainPage(kDBKindInterior, &number)) return false;
  DBPageRef root = db_->GetPage(number);
  if (!root) return false;
  const std::vector<uint8_t> first = BuildInteriorEntry(db_->SerialStamp(), 0, oldRoot, nullptr, 0);
  std::memcpy(root.Data(), first.data(), first.size());
  SetPageUsed(root.Bytes(), uint16_t(first.size()));
  if (parent_) {
    if (!parent_->SetCurrentTableRoot(number)) return false;
  } else {
    db_->SetDirectoryRoot(number);
  }
  db_->RootMoved(oldRoot, number, this);
  root_ = number;
  if (!levels_.push_front({std::move(root), 0})) return Damaged();
  return true;
}

bool DBTreeCursor::SetCurrentTableRoot(uint32_t root) {
  if (!Reposition() || state_ != State::kOn) return Damaged();
  const Level& leaf = levels_.back();
  if (!db_->MarkPageDirty(leaf.page)) return false;
  SetDirectoryRecordRoot(leaf.page.EntryAt(leaf.offset), root);
  return true;
}

// ---- Records ----------------------------------------------------------------------

// Measured on the length as built, before it meets the u16 length field.
bool DBTreeCursor::CheckRecordLength(size_t length) {
  if (length >= kDBRecordLengthLimit) {
    db_->SetError(kDBErrorTooLong);
    return false;
  }
  if (length < kDBRecordFieldsAt) {
    db_->ReportAssertion(__LINE__, "offset == size");
    return false;
  }
  return true;
}

bool DBTreeCursor::CheckRecord(const uint8_t* record, size_t length, std::vector<uint8_t>* key) {
  if (EntryLength(record) != length || !RecordFieldsValid(record) ||
      !BuildRecordKey(record, KeyColumns(), key)) {
    db_->ReportAssertion(__LINE__, "offset == size");
    return false;
  }
  if (key->size() > kDBMaxKeyLength) {
    db_->SetError(kDBErrorTooLong);
    return false;
  }
  return true;
}

bool DBTreeCursor::InsertRecord(uint8_t* record, size_t length, bool unique, bool assignId) {
  if (!db_ || !db_->CheckWritable() || !CheckRecordLength(length)) return false;
  const bool keyless = keyColumnCount_ == 0;
  // A keyless tree orders records by id: the id comes first.
  if (assignId && keyless) SetEntryRecordId(record, db_->NextKeylessRecordId());
  if (!CheckRecord(record, length, &key_)) return false;
  bool found = false;
  if (!SeekKey(key_.data(), key_.size(), &found)) return false;
  if (unique && found) {
    db_->SetError(kDBErrorDuplicateKey);
    return false;
  }
  if (!RoomForInsert(*db_, levels_.size(), 0) || !db_->BeginTransaction()) return false;
  StampEntry(record, kDBEntryLive, db_->SerialStamp());
  if (assignId && !keyless) SetEntryRecordId(record, db_->NextRecordId());
  return InsertEntry(record, uint32_t(length));
}

bool DBTreeCursor::DeleteCurrent() {
  if (!db_ || !Reposition() || state_ != State::kOn || !db_->CheckWritable()) return false;
  const Level& leaf = levels_.back();
  if (EntryState(leaf.page.EntryAt(leaf.offset)) != kDBEntryLive) return false;
  if (!db_->MarkPageDirty(leaf.page)) return false;
  uint8_t* entry = leaf.page.EntryAt(leaf.offset);
  const uint32_t stamp = db_->SerialStamp();
  // A record the open transaction made stays deleted when it is undone.
  StampEntry(entry, kDBEntryDeleted, EntrySerial(entry) == stamp ? 0 : stamp);
  return true;
}

bool DBTreeCursor::UpdateCurrent(const uint8_t* record, size_t length) {
  if (!db_ || !Reposition() || state_ != State::kOn || !db_->CheckWritable()) return false;
  const Level& leaf = levels_.back();
  if (EntryState(leaf.page.EntryAt(leaf.offset)) != kDBEntryLive || !CheckRecordLength(length))
    return false;
  std::vector<uint8_t> fresh(record, record + length);
  const bool keyless = keyColumnCount_ == 0;
  if (keyless) SetEntryRecordId(fresh.data(), db_->NextKeylessRecordId());
  if (!CheckRecord(fresh.data(), length, &key_)) return false;
  int32_t order = 0;
  if (!CompareEntry(leafKind_, leaf.page.EntryAt(leaf.offset), key_.data(), key_.size(), &order))
    return Damaged();
  const bool sameKey = order == 0;
  if ((sameKey && !RoomForInsert(*db_, levels_.size(), 0)) || !db_->BeginTransaction()) return false;
  StampEntry(fresh.data(), kDBEntryLive, db_->SerialStamp());
  if (!keyless) SetEntryRecordId(fresh.data(), db_->NextRecordId());
  if (!DeleteCurrent()) return false;
  if (sameKey) return InsertEntry(fresh.data(), uint32_t(length));
  spooledKeys_.insert(key_);
  return Spool(fresh);
}

bool DBTreeCursor::SpoolHoldsKey(const uint8_t* key, size_t keyLength) const {
  return !spooledKeys_.empty() && spooledKeys_.count(std::vector<uint8_t>(key, key + keyLength));
}

// ---- The update spool ----------------------------------------------------------------

bool DBTreeCursor::Spool(const std::vector<uint8_t>& record) {
  if (!spoolInMemory_ && !spool_) {
    spool_ = db_->Adapter().NewStream();
    if (!spool_ || !spool_->OpenTemporary(nullptr)) {
      spool_.reset();
      spoolInMemory_ = true;
    }
  }
  if (spool_) {
    uint8_t size[4];
    PutBigEndian32(size, uint32_t(record.size()));
    if (spool_->Write(size, sizeof size) && spool_->Write(record.data(), int32_t(record.size())))
      return true;
    SpoolToMemory();
  }
  memorySpool_.push_back(record);
  return true;
}

// The temporary file failed: what it holds whole moves to memory, and the
// rest of the spool stays there.
void DBTreeCursor::SpoolToMemory() {
  memorySpool_ = ReadSpool(*spool_);
  spool_.reset();
  spoolInMemory_ = true;
}

std::vector<std::vector<uint8_t>> DBTreeCursor::TakeSpool() {
  std::vector<std::vector<uint8_t>> records;
  if (spool_) records = ReadSpool(*spool_);
  for (std::vector<uint8_t>& record : memorySpool_) records.push_back(std::move(record));
  DiscardSpool();
  return records;
}

void DBTreeCursor::DropSpoolOf(uint32_t stamp) {
  if (!spool_ && memorySpool_.empty()) return;
  for (std::vector<uint8_t>& record : TakeSpool()) {
    if (EntrySerial(record.data()) == stamp || !BuildRecordKey(record.data(), KeyColumns(), &key_))
      continue;
    spooledKeys_.insert(key_);
    Spool(record);
  }
}

void DBTreeCursor::DiscardSpool() {
  spooledKeys_.clear();
  spool_.reset();
  memorySpool_.clear();
  spoolInMemory_ = false;
}

bool DBTreeCursor::ReplaySpool() {
  if (!db_) return true;
  bool replayed = true;
  for (std::vector<uint8_t>& record : TakeSpool())
    replayed = InsertRecord(record.data(), record.size(), keyColumnCount_ > 0, false) && replayed;
  return replayed;
}

void DBTreeCursor::Orphan() {
  DiscardSpool();
  levels_.clear();
  state_ = State::kDone;
  stale_ = false;
  db_ = nullptr;
}

// ---- Trees by name ------------------------------------------------------------------

std::unique_ptr<DBTreeCursor> OpenTreeCursor(DBFile& db, std::unique_ptr<DBTreeCursor> parent,
                                             const uint8_t* filter, size_t filterLength,
                                             DBKeyColumns keyColumns) {
  return std::unique_ptr<DBTreeCursor>(
      new DBTreeCursor(db, std::move(parent), filter, filterLength, keyColumns));
}

bool CreateTableTree(DBFile& db, const char* name) {
  if (!db.CheckWritable()) return false;
  const size_t nameLength = std::strlen(name);
  if (nameLength + 3 > kDBMaxKeyLength) {
    db.SetError(kDBErrorTooLong);
    return false;
  }
  // A file of a bare header has no directory page yet.
  if (db.PageCount() == 0) {
    uint32_t root = 0;
    if (!db.NewChainPage(kDBKindDirectoryLeaf, &root)) return false;
    db.SetDirectoryRoot(root);
  }
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(db, nullptr, nullptr, 0, {});
  std::vector<uint8_t> key;
  const auto* nameBytes = reinterpret_cast<const uint8_t*>(name);
  BuildDirectoryKey(nameBytes, nameLength, &key);
  if (!directory->SeekKey(key.data(), key.size(), nullptr) ||
      !RoomForInsert(db, directory->Depth(), 1))
    return false;
  uint32_t root = 0;
  if (!db.NewChainPage(kDBKindTableLeaf, &root)) return false;
  const std::vector<uint8_t> record = BuildDirectoryRecord(
      db.SerialStamp(), db.NextRecordId(), root, nameBytes, uint32_t(nameLength));
  return directory->InsertEntry(record.data(), uint32_t(record.size()));
}

std::unique_ptr<DBTreeCursor> OpenTableTree(DBFile& db, const char* name, const uint8_t* filter,
                                            size_t filterLength, DBKeyColumns keyColumns) {
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(db, nullptr, nullptr, 0, {});
  while (directory->NextMatching()) {
    const uint8_t* record = directory->CurrentEntry();
    const std::string entryName(reinterpret_cast<const char*>(DirectoryName(record)),
                                DirectoryNameLength(record));
    if (CStringCompareNoCase(entryName.c_str(), name) == 0)
      return OpenTreeCursor(db, std::move(directory), filter, filterLength, keyColumns);
  }
  return nullptr;
}

bool InsertTableRecord(DBFile& db, const char* name, uint8_t* record, size_t length,
                       DBKeyColumns keyColumns, bool unique) {
  if (!db.CheckWritable()) return false;
  if (length >= kDBRecordLengthLimit) {
    db.SetError(kDBErrorTooLong);
    return false;
  }
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, name, nullptr, 0, keyColumns);
  return cursor && cursor->InsertRecord(record, length, unique, true);
}

bool DeleteCurrentRecord(DBTreeCursor& cursor) { return cursor.DeleteCurrent(); }

bool UpdateCurrentRecord(DBTreeCursor& cursor, const uint8_t* record, size_t length) {
  return cursor.UpdateCurrent(record, length);
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
