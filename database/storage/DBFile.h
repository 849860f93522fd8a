// DBFile: one open database file, its page cache and its page-level
// transactions.
//
// A transaction begins with the first change (BeginTransaction writes the
// serial, 1, the next record id, the directory root and the file id at
// header offset 8 and flushes) and ends with CommitTransaction or
// RollbackTransaction. Both write, before the first page, the rollback
// journal (Journal.h): the committed images of the pages about to be
// overwritten, the page count and the header words at begin, the serial and
// the file id. Then the pages, the file cut to its pages (it grows ahead of
// them in runs while pages are added), then one 12-byte header write of {0,
// next record id, directory root}: that write is the commit point; the
// journal is deleted after it.
//
// Dirty pages stay in memory until then, unless the cache is full of them:
// a load that finds nothing clean to free writes out the oldest unpinned
// quarter of the dirty pages (spills). The committed images of those not yet
// in the journal are appended to it first, its header rewritten and flushed;
// then the pages are written, and the cache may free them. Read again, they
// come from the file as the transaction left them. A commit or rollback
// then journals only the pages not journaled yet. A journal is complete when
// it holds at least the images its header counts: a spill killed between
// its images and its header leaves more.
//
// Recovery. A file left with header word 12 = 1 is recovered at the next
// open that can write it (an open that cannot is refused with 2009 and
// changes nothing):
// - A whole journal of that transaction (at least the images its header
//   counts, both checksums, the header's serial and the header's file id
//   all agree) is replayed: the
//   images are written back, the file is cut to the page count at begin and
//   the header words at begin restored; then the journal is deleted.
// - Otherwise (no journal, a cut or damaged one, or one of another
//   transaction or another file, which is never replayed) the change serial
//   of every page tells whether the transaction wrote any. If one did, that
//   write cannot be undone: the open is refused with 2011, "Database file is
//   damaged: its journal is missing or damaged", and neither the file nor
//   the journal is touched. If none did, the zero pages the transaction
//   added at the end are dropped and word 12 cleared.
// A file of file id 0 (written before ids existed) takes only a journal of
// file id 0, as writers of that time left them; its next transaction gives
// it an id.
//
// Errors: operations give false or an empty page and leave a DBStorageError
// (LastError). A write that fails, or a page that cannot be read back inside
// a commit, marks the DBFile failed: every later operation is refused with
// 2010 and nothing more is written (the next open recovers). A database
// opened read-only, or whose file another opener holds for writing, refuses
// every change with 2009. Damaged pages are never cached: 2011.
//
// Pages are handed out pinned (DBPageRef). Every change marks its page dirty
// (which begins the transaction) before it touches the bytes.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/SmartRef.h"
#include "database/storage/Journal.h"
#include "database/storage/PageCache.h"
#include "database/storage/StorageAdapter.h"
#include "database/storage/StorageError.h"

class DBTreeCursor;

// 16,384 pages: 128 MiB.
constexpr uint32_t kDBDefaultCacheBudget = 16384;

class DBFile {
 public:
  DBFile(const DBFile&) = delete;
  DBFile& operator=(const DBFile&) = delete;

  // ---- Pages ----------------------------------------------------------------
  // Page n, pinned; empty beyond the last page (the end of the data, no
  // error), and with 2011 when it cannot be read whole or is damaged. A table
  // leaf entering the cache loses its entries deleted by other transactions;
  // the page is then dirty (read-write files) or changed in memory only.
  DBPageRef GetPage(uint32_t number);
  // A new page at the end of the file: the kind and chain id given, nothing
  // used, dirty, pinned. Empty with 2012 when the file has kDBMaxPages pages.
  DBPageRef NewPage(uint32_t kind, uint32_t chainId);
  // A new page that is its own chain: its number in *number.
  bool NewChainPage(uint32_t kind, uint32_t* number);
  // Begins the transaction when needed, marks the page dirty and links it
  // into the changed-page chain. Call it before changing the page's bytes.
  bool MarkPageDirty(const DBPageRef& page);
  uint32_t PageCount() const { return pageCount_; }

  // ---- Transactions ---------------------------------------------------------
  bool BeginTransaction();
  // Nothing to do when no transaction is open.
  bool CommitTransaction();
  // Swaps live and deleted entries stamped with the current serial on leaf
  // pages (stamping them 0), writes the pages as a commit does, and drops
  // from the update spools of open cursors the records this transaction
  // spooled. Nothing to do when no transaction is open.
  bool RollbackTransaction();
  bool InTransaction() const { return inTransaction_; }
  // Hands out the next record id.
  uint32_t NextRecordId() { return nextRecordId_++; }
  // The next id of a record in a keyless tree, which orders records by id
  // least significant byte first: ids whose reversed bytes grow with every
  // call, so that keyless inserts append. They have the high bit set, which
  // NextRecordId's ids never have, so they meet no id given out before.
  uint32_t NextKeylessRecordId();
  uint32_t CurrentSerial() const { return serial_; }
  // The serial as entries carry it (24 bits; never 0).
  uint32_t SerialStamp() const;
  bool IsReadOnly() const { return readOnly_; }

  // The root of the table directory (header word 20; a new root is written
  // with the transaction's header write).
  uint32_t DirectoryRoot() const { return directoryRoot_; }
  void SetDirectoryRoot(uint32_t root) { directoryRoot_ = root; }

  // ---- Cache ----------------------------------------------------------------
  void SetCacheBudget(uint32_t pages) { cache_.SetBudget(pages); }
  uint32_t CacheBudget() const { return cache_.Budget(); }
  uint32_t CachedPageCount() const { return cache_.Size(); }

  // ---- Errors ---------------------------------------------------------------
  const DBStorageError& LastError() const { return error_; }
  void ClearError() { error_ = {}; }
  void SetError(DBErrorCode code) { error_ = MakeStorageError(code); }
  // Whether a change may be made; otherwise sets 2010 (failed) or 2009
  // (read-only).
  bool CheckWritable();
  // Whether the file may be used at all; otherwise sets 2010.
  bool CheckUsable();
  void ReportAssertion(int32_t line, const char* condition);
  DBStorageAdapter& Adapter() const { return adapter_; }

  // ---- Open cursors (DBTreeCursor's calls) ------------------------------------
  void AddCursor(DBTreeCursor* cursor);
  void RemoveCursor(DBTreeCursor* cursor);
  // Before the entries of a page move: other cursors on it remember where
  // they stand. The mover then brings the page's entry offsets up to date.
  void WillChangeLayout(const DBPageRef& page, const DBTreeCursor* changer);
  // A tree got a new root above the old one.
  void RootMoved(uint32_t oldRoot, uint32_t newRoot, const DBTreeCursor* changer);

  ~DBFile();

 private:
  friend DBFile* CreateDatabaseFileAt(const StringRecord*, DBStorageAdapter&, DBStorageError*);
  friend DBFile* OpenDatabaseFileAt(const StringRecord*, DBStorageAdapter&, DBStorageError*);
  friend bool CloseDatabaseFile(DBFile*, DBStorageError*);

  DBFile(DBStorageAdapter& adapter, const StringRecord* path);
  // A DBFile that start (Create or Open) readied; null, with its error, when
  // that failed.
  static DBFile* Start(const StringRecord* path, DBStorageAdapter& adapter, DBStorageError* error,
                       bool (DBFile::*start)());
  bool Create();
  bool Open();
  bool Recover(const uint8_t* fileHeader);
  bool PagesCarrySerial(uint32_t serial);
  bool RecoverFromJournal(FileStream& journal, const DBJournalHeader& header);
  bool DropTrailingZeroPages();
  bool Close();

  bool Fail(DBErrorCode code);
  bool WriteAt(int64_t position, const void* bytes, int32_t count);
  bool ReadAt(int64_t position, void* bytes, int32_t count);
  bool Flush(FileStream& stream);
  bool WriteHeaderWords(uint32_t offset, const uint32_t* words, int32_t count);
  bool FinishTransaction(bool rollback);
  bool WriteJournal(const std::vector<uint32_t>& pages);
  bool NeedsImage(uint32_t page) const;
  bool WritePages(const std::vector<DBPageEntry*>& pages, const DBWriteStep* step = nullptr);
  bool MakeRoom();
  bool GrowFile(uint32_t pages);
  bool Spill();
  bool FlipEntriesOfTransaction();
  void PurgeOnLoad(const DBPageRef& page);

  DBStorageAdapter& adapter_;
  StringRef path_;
  StringRef journalPath_;
  FileStreamPtr stream_;
  DBPageCache cache_{kDBDefaultCacheBudget};
  std::vector<DBTreeCursor*> cursors_;
  DBStorageError error_;

  uint32_t nextRecordId_ = 1;
  uint32_t serial_ = 1;
  uint32_t pageCount_ = 0;
  // The pages the file's length holds: pageCount_, or more while a
  // transaction adds pages (GrowFile).
  uint32_t filePages_ = 0;
  uint32_t chainHead_ = kDBNoPage;
  uint32_t directoryRoot_ = 0;
  // Names the file to its journals (header words 24 and 28).
  uint64_t fileId_ = 0;
  // Their values when the transaction began, for the journal.
  uint32_t beginPageCount_ = 0;
  uint32_t beginNextRecordId_ = 0;
  uint32_t beginDirectoryRoot_ = 0;
  // The open transaction's journal, once a spill or the end made it: its
  // images, their checksum, and which pages they are of.
  FileStreamPtr journal_;
  uint32_t journalImages_ = 0;
  uint32_t journalCrc_ = 0;
  std::vector<bool> journaled_;
  // A spill wrote pages: the journal's images reach the disk before the
  // header that counts them.
  bool spilled_ = false;
  bool inTransaction_ = false;
  bool readOnly_ = false;
  bool locked_ = false;
  bool failed_ = false;
  // Set while the header is checked: a file refused then is never written.
  bool opening_ = false;
};

// Creates (or empties) the file and formats it: the header with a new file
// id, then page 0, the empty directory, in the first transaction (a kill
// before its commit leaves a bare header: the empty database). The journal
// of the path is deleted. Null on failure, with
// the error in *error when given.
DBFile* CreateDatabaseFileAt(const StringRecord* path, DBStorageAdapter& adapter,
                             DBStorageError* error = nullptr);
// Opens for reading and writing, else for reading only; recovers an
// interrupted transaction first (only with the file's lock held). Null when
// the file cannot be opened (no error code), is no database or is damaged
// (2011, also when it needs recovery that its journal cannot give), or needs
// recovery but cannot be written (2009, file untouched).
DBFile* OpenDatabaseFileAt(const StringRecord* path, DBStorageAdapter& adapter,
                           DBStorageError* error = nullptr);
// Replays the spools of cursors still open (they end empty), commits, writes
// the next record id, releases the lock and closes; then deletes the DBFile.
// False (error in *error) when any write of the file failed.
bool CloseDatabaseFile(DBFile* db, DBStorageError* error = nullptr);
