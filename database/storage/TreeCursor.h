// The tree cursor: walks one ordered tree of pages (the table directory, or
// one table), seeks keys, and inserts, deletes and updates entries.
//
// A cursor stands before an entry (fresh, after SeekKey), on an entry (after
// NextEntry or NextMatching gave true), or past the end. It pins the pages
// of its path, from the root down to a leaf.
//
// Several cursors may be open on one DBFile. When a change moves the entries
// of a page on a cursor's path, the cursor remembers the key and record id of
// the entry it stands on (or before, or behind) and finds it again at its
// next use; a tree that gets a new root gives every cursor on it the new
// level. So each cursor's next move returns the entry that follows its
// current one in key order, rows inserted meanwhile included. The cursor
// that inserts keeps the position rule of the split (InsertEntry). A
// rollback that brings back the old version of the row a table cursor
// stands on (behind the row's undone new version) leaves the cursor on
// that old version.
//
// A cursor on a table owns the directory cursor that found the table (its
// parent); the table's root lives in that directory record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "database/storage/DBFile.h"
#include "database/storage/Key.h"

class DBTreeCursor {
 public:
  ~DBTreeCursor();
  DBTreeCursor(const DBTreeCursor&) = delete;
  DBTreeCursor& operator=(const DBTreeCursor&) = delete;

  // ---- Walking -----------------------------------------------------------------
  // Moves to the next entry in key order, live or deleted; false at the end
  // (no error) or when a page is damaged (2011) or unreadable.
  bool NextEntry();
  // Moves to the next live entry whose key starts with the cursor's filter.
  bool NextMatching();
  // Stands before the first entry, live or deleted, whose key is not below
  // `key` (the place to insert it); *found tells whether the next live entry
  // in key order, on this leaf or a later one, has exactly that key. The
  // next move returns the entry the cursor stands before. False when the
  // tree cannot be read (error set) or has no root page.
  bool SeekKey(const uint8_t* key, size_t keyLength, bool* found);

  // The entry the cursor stands on; null unless the last move gave true.
  // Valid until the cursor moves or the tree changes.
  const uint8_t* CurrentEntry();
  // Where the cursor stands: the leaf page and the entry's offset in its data.
  uint32_t CurrentPageNumber() const;
  uint32_t CurrentOffset() const;
  // Pages on the path from the root to the leaf.
  size_t Depth() const { return levels_.size(); }
  DBKeyColumns KeyColumns() const { return {keyColumns_, keyColumnCount_}; }

  // ---- Changes -----------------------------------------------------------------
  // Inserts entry bytes where the cursor stands (after SeekKey), splitting
  // pages as needed. When the page has room the cursor then stands on the
  // entry it stood on before (behind the new one). A full leaf, the position
  // inside it, first hands entries to a sibling under the same parent
  // (ShareWithSibling); the cursor again stands on that entry. A split puts
  // the tail of the page behind the position, and the new entry, on new
  // pages:
  //   new entry fits the old page: tail to a new page; cursor on the new entry;
  //   new entry and tail fit one new page: both go there, entry first; cursor
  //     on the new entry;
  //   else tail to one new page, the entry alone to a second; cursor on the
  //     tail's first entry.
  // The parent lists the old page, the new entry's page, then the tail's.
  bool InsertEntry(const uint8_t* entry, uint32_t length);
  // Stamps the record (live, current serial, and with assignId a new record
  // id) and inserts it at its key's place. Refused before anything changes:
  // 2006 for a record of 8175 bytes or more or a key over 4075 bytes, 2005
  // when unique and a live record has the key, 2012 when the file could not
  // take the pages an insert may need.
  bool InsertRecord(uint8_t* record, size_t length, bool unique, bool assignId);
  // Marks the current live record deleted (with serial 0 when the open
  // transaction made it, so that a rollback leaves it deleted).
  bool DeleteCurrent();
  // Replaces the current live record: the new one gets a new record id; with
  // an unchanged key it is inserted where the cursor stands, otherwise it is
  // spooled and inserted at its key's place when the cursor is destroyed.
  // Refused before anything changes as InsertRecord refuses.
  bool UpdateCurrent(const uint8_t* record, size_t length);

  // Whether a record this cursor spooled (and has not yet inserted) has the
  // key; free while the spool is empty.
  bool SpoolHoldsKey(const uint8_t* key, size_t keyLength) const;

  // ---- DBFile's calls ----------------------------------------------------------
  // A page's entries are about to move.
  void PageWillChange(uint32_t page);
  void RootMoved(uint32_t oldRoot, uint32_t newRoot);
  // The open transaction is about to be undone (its entries stamped `stamp`
  // flip between live and deleted).
  void WillRollBack(uint32_t stamp);
  // Drops the spooled updates stamped `stamp` (the transaction that made
  // them is undone); those of a transaction committed since stay.
  void DropSpoolOf(uint32_t stamp);
  // Inserts the spooled updates; false (error set) when one cannot be.
  bool ReplaySpool();
  // The DBFile closes: the cursor ends and lets go of it.
  void Orphan();

 private:
  friend std::unique_ptr<DBTreeCursor> OpenTreeCursor(DBFile&, std::unique_ptr<DBTreeCursor>,
                                                      const uint8_t*, size_t, DBKeyColumns);
  DBTreeCursor(DBFile& db, std::unique_ptr<DBTreeCursor> parent, const uint8_t* filter,
               size_t filterLength, DBKeyColumns keyColumns);

  struct Level {
    DBPageRef page;
    uint32_t offset;
  };
  // The pages from the root to the leaf, held inside the cursor so that a
  // cursor costs no allocation of its own for them. Room for the deepest
  // tree a walk accepts, and for a new root above it.
  class Path {
   public:
    Path() = default;
    Path(const Path& other) { *this = other; }
    Path& operator=(const Path& other);
    ~Path() { clear(); }
    Level& operator[](size_t i) { return begin()[i]; }
    const Level& operator[](size_t i) const { return begin()[i]; }
    Level& front() { return begin()[0]; }
    Level& back() { return begin()[size_ - 1]; }
    const Level& back() const { return begin()[size_ - 1]; }
    Level* begin() { return reinterpret_cast<Level*>(room_); }
    Level* end() { return begin() + size_; }
    const Level* begin() const { return reinterpret_cast<const Level*>(room_); }
    const Level* end() const { return begin() + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear();
    void pop_back() { begin()[--size_].~Level(); }
    // False (nothing changes) when the path is full.
    bool push_back(Level level);
    bool push_front(Level level);

   private:
    static constexpr size_t kRoom = kDBMaxTreeDepth + 2;
    // Only the levels in use are constructed.
    alignas(Level) unsigned char room_[kRoom * sizeof(Level)];
    size_t size_ = 0;
  };
  enum class State { kFresh, kBefore, kOn, kDone };
  // Where a cursor stood when its path changed under it.
  enum class Mark { kStart, kOn, kBefore, kAfter, kSeek };

  bool StartAtRoot();
  bool Push(uint32_t child);
  bool Damaged();
  bool Settle();
  bool Descend(const uint8_t* key, size_t keyLength);
  bool OnLastPathFor(const uint8_t* key, size_t keyLength);
  bool LowerBound(const Level& level, const uint8_t* key, size_t keyLength, size_t* index);
  bool EntryKey(uint32_t kind, const uint8_t* entry, std::vector<uint8_t>* key);
  bool CompareEntry(uint32_t kind, const uint8_t* entry, const uint8_t* key, size_t keyLength,
                    int32_t* order);
  bool NextLiveHasKey(const uint8_t* key, size_t keyLength, bool* found);
  bool Reposition();
  void Remember(Mark mark, const uint8_t* entry);
  bool InsertInPage(const DBPageRef& page, uint32_t offset, const uint8_t* entry, uint32_t length);
  bool ShareWithSibling(const uint8_t* entry, uint32_t length, bool* shared);
  bool InsertAtHeight(size_t height, uint32_t offset, const uint8_t* entry, uint32_t length);
  bool GrowRoot();
  bool SetCurrentTableRoot(uint32_t root);
  bool CheckRecordLength(size_t length);
  bool CheckRecord(const uint8_t* record, size_t length, std::vector<uint8_t>* key);
  bool Spool(const std::vector<uint8_t>& record);
  void SpoolToMemory();
  void DiscardSpool();
  std::vector<std::vector<uint8_t>> TakeSpool();

  DBFile* db_;
  std::unique_ptr<DBTreeCursor> parent_;
  // Held in the cursor: a record has at most 256 columns.
  uint8_t keyColumns_[256];
  size_t keyColumnCount_;
  std::vector<uint8_t> filter_;
  uint32_t leafKind_;
  uint32_t root_;
  Path levels_;  // root first
  State state_ = State::kFresh;
  uint32_t pagesEntered_ = 0;
  // Set when the walk met a page it could not read or a damaged one.
  bool broken_ = false;

  bool stale_ = false;
  Mark mark_ = Mark::kStart;
  std::vector<uint8_t> markKey_;
  uint32_t markId_ = 0;
  // The mark's key while standing again, kept so that its room is reused.
  std::vector<uint8_t> repositionKey_;
  // The key of the last seek, while the cursor still stands where the seek
  // put it (its room reused from seek to seek).
  std::vector<uint8_t> seekKey_;
  bool atSeek_ = false;
  // Set while the cursor still stands where Reposition put it for a mark it
  // is behind (an entry it stood on that is gone, or one it stood after):
  // the mark, not the entry it now stands before, is its place.
  bool afterMark_ = false;

  std::vector<uint8_t> key_;  // a reusable key buffer

  FileStreamPtr spool_;
  bool spoolInMemory_ = false;
  std::vector<std::vector<uint8_t>> memorySpool_;
  std::set<std::vector<uint8_t>> spooledKeys_;
};

// A cursor on the directory (no parent) or on the table whose directory
// record the parent stands on; it takes the parent. The filter (key prefix)
// limits NextMatching; the key columns order a table's records.
std::unique_ptr<DBTreeCursor> OpenTreeCursor(DBFile& db, std::unique_ptr<DBTreeCursor> parent,
                                             const uint8_t* filter, size_t filterLength,
                                             DBKeyColumns keyColumns);

// Makes an empty table tree and its directory record under the name (the
// decimal text of the table id).
bool CreateTableTree(DBFile& db, const char* name);
// A cursor on the first live table of that name, ignoring case; null when
// there is none.
std::unique_ptr<DBTreeCursor> OpenTableTree(DBFile& db, const char* name, const uint8_t* filter,
                                            size_t filterLength, DBKeyColumns keyColumns);
// Inserts a record (length bytes, stamped in place) into the named table's
// tree; see DBTreeCursor::InsertRecord. False without an error code when
// the table does not exist.
bool InsertTableRecord(DBFile& db, const char* name, uint8_t* record, size_t length,
                       DBKeyColumns keyColumns, bool unique);
bool DeleteCurrentRecord(DBTreeCursor& cursor);
bool UpdateCurrentRecord(DBTreeCursor& cursor, const uint8_t* record, size_t length);
