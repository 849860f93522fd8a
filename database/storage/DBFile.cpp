#include "database/storage/DBFile.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "core/string.h"
#include "database/storage/PageValidation.h"
#include "database/storage/Record.h"
#include "database/storage/TreeCursor.h"

namespace {

DBWriteStepHook writeStepHook = nullptr;

void Reached(DBWriteStep step, uint32_t index = 0, uint32_t count = 0) {
  if (writeStepHook) writeStepHook(step, index, count);
}

// Entries carry 24 bits of the serial, and 0 marks entries a rollback undid:
// a serial whose low 24 bits are 0 is skipped.
uint32_t AdvanceSerial(uint32_t serial) {
  ++serial;
  if ((serial & kDBSerialMask) == 0) ++serial;
  return serial;
}

bool AllZero(const uint8_t* bytes, size_t count) {
  return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == 0; });
}

// A random id, never 0 (0 marks files written before ids existed).
uint64_t NewFileId() {
  std::random_device source;
  uint64_t id = 0;
  while (id == 0) id = uint64_t(source()) << 32 | source();
  return id;
}

uint64_t HeaderFileId(const uint8_t* header) {
  return uint64_t(GetBigEndian32(header + kDBHeaderFileIdAt)) << 32 |
         GetBigEndian32(header + kDBHeaderFileIdAt + 4);
}

// Pages written or read in one piece at most.
constexpr size_t kDBPageRun = 32;

// How many items from `first` on have page numbers that follow each other
// (at most kDBPageRun).
template <typename Item, typename NumberOf>
size_t RunLength(const std::vector<Item>& items, size_t first, NumberOf numberOf) {
  size_t count = 1;
  while (count < kDBPageRun && first + count < items.size() &&
         numberOf(items[first + count]) == numberOf(items[first]) + count)
    ++count;
  return count;
}

// Whether the journal is whole and belongs to the transaction whose serial
// and file id the database header holds.
bool JournalIsComplete(FileStream& journal, const uint8_t* fileHeader, DBJournalHeader* header) {
  uint8_t head[kDBJournalHeaderSize];
  int32_t got = 0;
  if (!journal.SetPosition(0) || !journal.Read(head, sizeof head, &got) || got != int32_t(sizeof head))
    return false;
  if (!DecodeJournalHeader(head, header) ||
      header->serial != GetBigEndian32(fileHeader + kDBHeaderSerialAt) ||
      header->fileId != HeaderFileId(fileHeader))
    return false;
  // Longer is whole: a spill appends its images before it counts them.
  if (int64_t(journal.GetLength()) < JournalLength(header->imageCount)) return false;
  std::vector<uint8_t> block(64 * 1024);
  uint32_t crc = 0;
  int64_t left = int64_t(header->imageCount) * kDBJournalImageSize;
  while (left > 0) {
    const int32_t want = int32_t(std::min<int64_t>(left, int64_t(block.size())));
    if (!journal.Read(block.data(), want, &got) || got != want) return false;
    crc = Crc32Update(crc, block.data(), size_t(want));
    left -= want;
  }
  return crc == header->crc;
}

}  // namespace

void SetDBWriteStepHook(DBWriteStepHook hook) { writeStepHook = hook; }

DBFile::DBFile(DBStorageAdapter& adapter, const StringRecord* path)
    : adapter_(adapter), path_(StringRef::Retain(const_cast<StringRecord*>(path))) {
  const StringRef suffix = StringRef::Adopt(StringFromASCII("-journal"));
  journalPath_ = StringRef::Adopt(StringConcat(path, suffix.get()));
}

DBFile::~DBFile() {
  for (DBTreeCursor* cursor : cursors_) cursor->Orphan();
  cursors_.clear();
  cache_.Clear();
  if (stream_) {
    if (locked_) adapter_.ReleaseFileLock(*stream_);
    stream_->Close();
  }
}

uint32_t DBFile::SerialStamp() const { return serial_ & kDBSerialMask; }

// The count with a 1 bit let in at bit 7 (which becomes the id's high bit),
// bytes reversed: the keys, the id's bytes from the least significant, are
// that number big-endian.
uint32_t DBFile::NextKeylessRecordId() {
  const uint32_t count = NextRecordId();
  const uint32_t ordered = (count >> 7) << 8 | 0x80 | (count & 0x7F);
  return ordered << 24 | (ordered & 0xFF00) << 8 | (ordered >> 8 & 0xFF00) | ordered >> 24;
}

bool DBFile::Fail(DBErrorCode code) {
  SetError(code);
  failed_ = true;
  return false;
}

bool DBFile::CheckUsable() {
  if (!failed_) return true;
  SetError(kDBErrorWrite);
  return false;
}

bool DBFile::CheckWritable() {
  if (!CheckUsable()) return false;
  if (!readOnly_) return true;
  SetError(kDBErrorReadOnly);
  return false;
}

void DBFile::ReportAssertion(int32_t line, const char* condition) {
  adapter_.ReportAssertion(line, condition);
}

// ---- Stream access ------------------------------------------------------------------

bool DBFile::WriteAt(int64_t position, const void* bytes, int32_t count) {
  if (!stream_->SetPosition(int32_t(position)) || !stream_->Write(bytes, count))
    return Fail(kDBErrorWrite);
  return true;
}

bool DBFile::ReadAt(int64_t position, void* bytes, int32_t count) {
  int32_t got = 0;
  return stream_->SetPosition(int32_t(position)) && stream_->Read(bytes, count, &got) &&
         got == count;
}

bool DBFile::Flush(FileStream& stream) {
  return adapter_.FlushFile(stream) || Fail(kDBErrorWrite);
}

bool DBFile::WriteHeaderWords(uint32_t offset, const uint32_t* words, int32_t count) {
  uint8_t bytes[24];
  for (int32_t i = 0; i < count; ++i) PutBigEndian32(bytes + 4 * i, words[i]);
  return WriteAt(offset, bytes, 4 * count) && Flush(*stream_);
}

// ---- Create, open, recover, close ------------------------------------------------------

bool DBFile::Create() {
  adapter_.RemoveFile(journalPath_.get());
  stream_ = adapter_.NewStream();
  if (!stream_ || !stream_->Create(path_.get())) return false;
  locked_ = adapter_.TakeFileLock(*stream_);
  if (!locked_) {
    SetError(kDBErrorReadOnly);
    return false;
  }
  uint8_t header[kDBHeaderSize] = {};
  PutBigEndian32(header + kDBHeaderMagicAt, kDBFileMagic);
  PutBigEndian32(header + kDBHeaderVersionAt, kDBFileVersion);
  fileId_ = NewFileId();
  PutBigEndian32(header + kDBHeaderFileIdAt, uint32_t(fileId_ >> 32));
  PutBigEndian32(header + kDBHeaderFileIdAt + 4, uint32_t(fileId_));
  if (!stream_->SetLength(kDBHeaderSize)) return Fail(kDBErrorWrite);
  if (!WriteAt(0, header, sizeof header)) return false;
  uint32_t root = 0;
  if (!NewChainPage(kDBKindDirectoryLeaf, &root)) return false;
  directoryRoot_ = root;
  return true;
}

bool DBFile::Open() {
  stream_ = adapter_.NewStream();
  if (!stream_) return false;
  if (stream_->Open(path_.get(), kFileStreamReadWrite)) {
    locked_ = adapter_.TakeFileLock(*stream_);
    readOnly_ = !locked_;
  } else if (stream_->Open(path_.get(), kFileStreamReadOnly)) {
    readOnly_ = true;
  } else {
    return false;
  }
  opening_ = true;
  uint8_t header[kDBHeaderSize];
  if (!ReadAt(0, header, sizeof header) || GetBigEndian32(header + kDBHeaderMagicAt) != kDBFileMagic ||
      GetBigEndian32(header + kDBHeaderVersionAt) != kDBFileVersion) {
    SetError(kDBErrorDamaged);
    return false;
  }
  const uint32_t transactionOpen = GetBigEndian32(header + kDBHeaderTransactionAt);
  if (transactionOpen > 1) {
    SetError(kDBErrorDamaged);
    return false;
  }
  if (transactionOpen == 1) {
    // Recovery writes: only the one writer, holding the lock, may run it.
    if (readOnly_) {
      SetError(kDBErrorReadOnly);
      return false;
    }
    if (!Recover(header) || !ReadAt(0, header, sizeof header)) {
      if (error_.code == kDBErrorNone) SetError(kDBErrorDamaged);
      return false;
    }
  } else if (!readOnly_) {
    adapter_.RemoveFile(journalPath_.get());
  }
  const int32_t length = stream_->GetLength();
  if (length < int32_t(kDBHeaderSize)) {
    SetError(kDBErrorDamaged);
    return false;
  }
  pageCount_ = uint32_t(length - int32_t(kDBHeaderSize)) / kDBPageSize;
  filePages_ = pageCount_;
  serial_ = AdvanceSerial(GetBigEndian32(header + kDBHeaderSerialAt));
  nextRecordId_ = GetBigEndian32(header + kDBHeaderNextIdAt);
  directoryRoot_ = GetBigEndian32(header + kDBHeaderDirectoryRootAt);
  if (pageCount_ > 0 && directoryRoot_ >= pageCount_) {
    SetError(kDBErrorDamaged);
    return false;
  }
  // A file written before ids existed gets one with its next transaction.
  fileId_ = HeaderFileId(header);
  if (fileId_ == 0 && !readOnly_) fileId_ = NewFileId();
  opening_ = false;
  return true;
}

bool DBFile::Recover(const uint8_t* fileHeader) {
  FileStreamPtr journal = adapter_.NewStream();
  DBJournalHeader header;
  const bool complete = journal && journal->Open(journalPath_.get(), kFileStreamReadOnly) &&
                        JournalIsComplete(*journal, fileHeader, &header);
  bool recovered = false;
  if (complete) {
    recovered = RecoverFromJournal(*journal, header);
  } else if (PagesCarrySerial(GetBigEndian32(fileHeader + kDBHeaderSerialAt))) {
    // Pages of the transaction were written and nothing can undo them: the
    // file and whatever journal there is stay as they are.
    error_ = {kDBErrorDamaged, "Database file is damaged: its journal is missing or damaged"};
  } else {
    recovered = DropTrailingZeroPages();
  }
  if (journal) journal->Close();
  journal.reset();
  if (recovered) adapter_.RemoveFile(journalPath_.get());
  return recovered;
}

// Whether any page was last changed by the transaction of that serial. A
// page that cannot be read counts as changed: the open is then refused.
bool DBFile::PagesCarrySerial(uint32_t serial) {
  const int32_t length = stream_->GetLength();
  const uint32_t count = length < int32_t(kDBHeaderSize)
                             ? 0
                             : uint32_t(length - int32_t(kDBHeaderSize)) / kDBPageSize;
  for (uint32_t page = 0; page < count; ++page) {
    uint8_t word[4];
    if (!ReadAt(DBPagePosition(page) + kDBPageSerialAt, word, sizeof word)) return true;
    if (GetBigEndian32(word) == serial) return true;
  }
  return false;
}

bool DBFile::RecoverFromJournal(FileStream& journal, const DBJournalHeader& header) {
  std::vector<uint8_t> image(kDBJournalImageSize);
  for (uint32_t i = 0; i < header.imageCount; ++i) {
    int32_t got = 0;
    if (!journal.SetPosition(int32_t(JournalLength(i))) ||
        !journal.Read(image.data(), int32_t(image.size()), &got) || got != int32_t(image.size()))
      return Fail(kDBErrorDamaged);
    const uint32_t page = GetBigEndian32(image.data());
    if (page >= header.pageCount || page >= kDBMaxPages) return Fail(kDBErrorDamaged);
    if (!WriteAt(DBPagePosition(page), image.data() + 4, kDBPageSize)) return false;
    Reached(DBWriteStep::kRecoveryImageWritten, i, header.imageCount);
  }
  if (!Flush(*stream_)) return false;
  if (!stream_->SetLength(int32_t(DBPagePosition(header.pageCount)))) return Fail(kDBErrorWrite);
  const uint32_t words[] = {0, header.nextRecordId, header.directoryRoot};
  return WriteHeaderWords(kDBHeaderTransactionAt, words, 3);
}

// No page of the file was written yet; only the pages the transaction added,
// still zero, are to go.
bool DBFile::DropTrailingZeroPages() {
  const int32_t length = stream_->GetLength();
  if (length < int32_t(kDBHeaderSize)) return Fail(kDBErrorDamaged);
  uint32_t count = uint32_t(length - int32_t(kDBHeaderSize)) / kDBPageSize;
  std::vector<uint8_t> page(kDBPageSize);
  while (count > 0) {
    if (!ReadAt(DBPagePosition(count - 1), page.data(), kDBPageSize)) return Fail(kDBErrorDamaged);
    if (!AllZero(page.data(), page.size())) break;
    --count;
  }
  if (!stream_->SetLength(int32_t(DBPagePosition(count)))) return Fail(kDBErrorWrite);
  const uint32_t closed = 0;
  return WriteHeaderWords(kDBHeaderTransactionAt, &closed, 1);
}

bool DBFile::Close() {
  bool replayed = true;
  for (DBTreeCursor* cursor : std::vector<DBTreeCursor*>(cursors_))
    replayed = cursor->ReplaySpool() && replayed;
  for (DBTreeCursor* cursor : cursors_) cursor->Orphan();
  cursors_.clear();
  if (!failed_ && !readOnly_ && !opening_ && CommitTransaction()) {
    const uint32_t nextId = nextRecordId_;
    WriteHeaderWords(kDBHeaderNextIdAt, &nextId, 1);
  }
  return replayed && !failed_;
}

DBFile* DBFile::Start(const StringRecord* path, DBStorageAdapter& adapter, DBStorageError* error,
                      bool (DBFile::*start)()) {
  std::unique_ptr<DBFile> db(new DBFile(adapter, path));
  if (!((*db).*start)()) {
    if (error) *error = db->error_;
    return nullptr;
  }
  return db.release();
}

DBFile* CreateDatabaseFileAt(const StringRecord* path, DBStorageAdapter& adapter,
                             DBStorageError* error) {
  return DBFile::Start(path, adapter, error, &DBFile::Create);
}

DBFile* OpenDatabaseFileAt(const StringRecord* path, DBStorageAdapter& adapter,
                           DBStorageError* error) {
  return DBFile::Start(path, adapter, error, &DBFile::Open);
}

bool CloseDatabaseFile(DBFile* db, DBStorageError* error) {
  if (!db) return false;
  const bool closed = db->Close();
  if (error) *error = closed ? DBStorageError{} : db->error_;
  delete db;
  return closed;
}

// ---- Pages ------------------------------------------------------------------------

DBPageRef DBFile::GetPage(uint32_t number) {
  if (!CheckUsable() || number >= pageCount_) return {};
  if (DBPageEntry* cached = cache_.Find(number)) return DBPageRef(cached);
  if (!MakeRoom()) return {};
  auto entry = std::make_unique<DBPageEntry>();
  if (!ReadAt(DBPagePosition(number), entry->bytes, kDBPageSize) ||
      !PageIsValid(entry->bytes, pageCount_)) {
    SetError(kDBErrorDamaged);
    return {};
  }
  entry->number = number;
  DBPageRef page(cache_.Add(std::move(entry)));
  if (page.Kind() == kDBKindTableLeaf) PurgeOnLoad(page);
  if (failed_) return {};
  return page;
}

// Entries deleted by a transaction other than the open one are dropped as
// the page is loaded. A read-only file changes the cached copy only.
void DBFile::PurgeOnLoad(const DBPageRef& page) {
  const uint32_t stamp = SerialStamp();
  const auto isStale = [stamp](const uint8_t* entry) {
    return EntryState(entry) == kDBEntryDeleted && EntrySerial(entry) != stamp;
  };
  const std::vector<uint16_t> offsets = page.EntryOffsets();
  if (std::none_of(offsets.begin(), offsets.end(),
                   [&](uint16_t offset) { return isStale(page.EntryAt(offset)); }))
    return;
  if (!readOnly_ && !MarkPageDirty(page)) return;
  uint8_t* data = page.Data();
  uint32_t kept = 0;
  for (uint16_t offset : offsets) {
    const uint16_t length = EntryLength(data + offset);
    if (isStale(data + offset)) continue;
    std::memmove(data + kept, data + offset, length);
    kept += length;
  }
  std::memset(data + kept, 0, page.Used() - kept);
  SetPageUsed(page.Bytes(), uint16_t(kept));
  page.LayoutChanged();
}

DBPageRef DBFile::NewPage(uint32_t kind, uint32_t chainId) {
  if (!CheckWritable()) return {};
  if (pageCount_ >= kDBMaxPages) {
    SetError(kDBErrorFull);
    return {};
  }
  if (!BeginTransaction()) return {};
  const uint32_t number = pageCount_;
  if (number >= filePages_ && !GrowFile(number + 1)) {
    Fail(kDBErrorWrite);
    return {};
  }
  ++pageCount_;
  if (!MakeRoom()) return {};
  auto entry = std::make_unique<DBPageEntry>();
  std::memset(entry->bytes, 0, kDBPageSize);
  PutBigEndian32(entry->bytes + kDBPageKindAt, kind);
  PutBigEndian32(entry->bytes + kDBPageChainAt, chainId);
  entry->number = number;
  DBPageRef page(cache_.Add(std::move(entry)));
  MarkPageDirty(page);
  return page;
}

// Each change of the file's length costs a system call that can take far
// longer than a page write, so the file grows ahead of the pages a
// transaction adds: by as many again as it has added or an eighth of the
// file, whichever is more (16 to 2,048 pages); the transaction's end cuts
// the file back to its pages. When it cannot grow that far, it grows by
// what is needed.
bool DBFile::GrowFile(uint32_t pages) {
  constexpr uint32_t kLeast = 16, kMost = 2048;
  const uint32_t wish = std::max(pages - beginPageCount_, filePages_ / 8);
  const uint32_t ahead = std::min(std::max(wish, kLeast), kMost);
  const uint32_t wanted = std::min(pages + ahead, kDBMaxPages);
  if (wanted > pages && stream_->SetLength(int32_t(DBPagePosition(wanted)))) {
    filePages_ = wanted;
    return true;
  }
  if (!stream_->SetLength(int32_t(DBPagePosition(pages)))) return false;
  filePages_ = pages;
  return true;
}

bool DBFile::NewChainPage(uint32_t kind, uint32_t* number) {
  const DBPageRef page = NewPage(kind, 0);
  if (!page) return false;
  PutBigEndian32(page.Bytes() + kDBPageChainAt, page.Number());
  *number = page.Number();
  return true;
}

bool DBFile::MarkPageDirty(const DBPageRef& page) {
  if (page.IsDirty()) return true;
  if (!BeginTransaction()) return false;
  cache_.MarkDirty(page.Entry());
  uint8_t* bytes = page.Bytes();
  if (GetBigEndian32(bytes + kDBPageSerialAt) != serial_) {
    PutBigEndian32(bytes + kDBPageSerialAt, serial_);
    PutBigEndian32(bytes + kDBPagePreviousAt, chainHead_);
    chainHead_ = page.Number();
  }
  return true;
}

// ---- Transactions -------------------------------------------------------------------

bool DBFile::BeginTransaction() {
  if (inTransaction_) return true;
  if (!CheckWritable()) return false;
  const uint32_t words[] = {serial_,        1, nextRecordId_,
                            directoryRoot_, uint32_t(fileId_ >> 32), uint32_t(fileId_)};
  if (!WriteHeaderWords(kDBHeaderSerialAt, words, 6)) return false;
  beginPageCount_ = pageCount_;
  beginNextRecordId_ = nextRecordId_;
  beginDirectoryRoot_ = directoryRoot_;
  inTransaction_ = true;
  return true;
}

bool DBFile::CommitTransaction() {
  if (!CheckUsable()) return false;
  return !inTransaction_ || FinishTransaction(false);
}

bool DBFile::RollbackTransaction() {
  // Only the open transaction's own stamp marks spooled updates to drop.
  if (inTransaction_)
    for (DBTreeCursor* cursor : cursors_) cursor->DropSpoolOf(SerialStamp());
  if (!CheckUsable()) return false;
  if (!inTransaction_) return true;
  for (DBTreeCursor* cursor : cursors_) cursor->WillRollBack(SerialStamp());
  return FlipEntriesOfTransaction() && FinishTransaction(true);
}

// Only leaf entries are flipped: interior entries made by splits keep
// routing to pages that stay in the tree. The pages the transaction changed
// are its chain (spilled ones are read back).
bool DBFile::FlipEntriesOfTransaction() {
  const uint32_t stamp = SerialStamp();
  uint32_t visited = 0;
  for (uint32_t number = chainHead_; number != kDBNoPage;) {
    const DBPageRef page = GetPage(number);
    if (!page || ++visited > pageCount_) return Fail(kDBErrorDamaged);
    if (IsLeafKind(page.Kind()) && MarkPageDirty(page)) {
      for (uint16_t offset : page.EntryOffsets()) {
        uint8_t* item = page.EntryAt(offset);
        if (EntrySerial(item) != stamp) continue;
        StampEntry(item, EntryState(item) == kDBEntryLive ? kDBEntryDeleted : kDBEntryLive, 0);
      }
    }
    number = GetBigEndian32(page.Bytes() + kDBPagePreviousAt);
  }
  return !failed_;
}

bool DBFile::FinishTransaction(bool rollback) {
  std::vector<DBPageEntry*> pages = cache_.DirtyPages();
  std::sort(pages.begin(), pages.end(),
            [](const DBPageEntry* a, const DBPageEntry* b) { return a->number < b->number; });
  // Every page write comes after a journal, even one of no images: the page
  // count at begin is what undoes the pages added.
  std::vector<uint32_t> overwritten;
  for (const DBPageEntry* page : pages)
    if (NeedsImage(page->number)) overwritten.push_back(page->number);
  if (!pages.empty() || journal_) {
    if (!WriteJournal(overwritten)) return false;
    Reached(rollback ? DBWriteStep::kRollbackJournalFlushed : DBWriteStep::kCommitJournalFlushed);
  }

  const DBWriteStep pageWritten =
      rollback ? DBWriteStep::kRollbackPageWritten : DBWriteStep::kCommitPageWritten;
  if (!WritePages(pages, &pageWritten)) return false;
  if (filePages_ > pageCount_) {
    if (!stream_->SetLength(int32_t(DBPagePosition(pageCount_)))) return Fail(kDBErrorWrite);
    filePages_ = pageCount_;
  }
  if (!Flush(*stream_)) return false;
  const uint32_t words[] = {0, nextRecordId_, directoryRoot_};
  if (!WriteHeaderWords(kDBHeaderTransactionAt, words, 3)) return false;
  Reached(rollback ? DBWriteStep::kRollbackHeaderWritten : DBWriteStep::kCommitHeaderWritten);

  if (journal_) {
    journal_->Close();
    journal_.reset();
    adapter_.RemoveFile(journalPath_.get());
  }
  journalImages_ = journalCrc_ = 0;
  journaled_.clear();
  spilled_ = false;
  cache_.CleanAll();
  serial_ = AdvanceSerial(serial_);
  inTransaction_ = false;
  chainHead_ = kDBNoPage;
  return true;
}

// The journal holds the committed bytes of every page the transaction is
// about to overwrite, read back from the file before the page's first write
// (spilled or at the end). Images go behind those already there, then the
// header counts them.
bool DBFile::WriteJournal(const std::vector<uint32_t>& pages) {
  if (!journal_) {
    journal_ = adapter_.NewStream();
    if (!journal_ || !journal_->Create(journalPath_.get())) {
      journal_.reset();
      return Fail(kDBErrorWrite);
    }
    journaled_.assign(beginPageCount_, false);
  }
  std::vector<uint8_t> committed, images;
  bool written = journal_->SetPosition(int32_t(JournalLength(journalImages_)));
  for (size_t first = 0; written && first < pages.size();) {
    const size_t count = RunLength(pages, first, [](uint32_t number) { return number; });
    // The committed pages of the run are read in one piece, then spread into
    // their images behind their numbers.
    committed.resize(count * kDBPageSize);
    if (!ReadAt(DBPagePosition(pages[first]), committed.data(), int32_t(committed.size())))
      return Fail(kDBErrorDamaged);
    images.resize(count * kDBJournalImageSize);
    for (size_t i = 0; i < count; ++i) {
      uint8_t* image = images.data() + i * kDBJournalImageSize;
      PutBigEndian32(image, pages[first + i]);
      std::memcpy(image + 4, committed.data() + i * kDBPageSize, kDBPageSize);
      journaled_[pages[first + i]] = true;
    }
    journalCrc_ = Crc32Update(journalCrc_, images.data(), images.size());
    written = journal_->Write(images.data(), int32_t(images.size()));
    journalImages_ += uint32_t(count);
    first += count;
  }
  DBJournalHeader header;
  header.serial = serial_;
  header.pageCount = beginPageCount_;
  header.nextRecordId = beginNextRecordId_;
  header.directoryRoot = beginDirectoryRoot_;
  header.imageCount = journalImages_;
  header.crc = journalCrc_;
  header.fileId = fileId_;
  uint8_t head[kDBJournalHeaderSize];
  EncodeJournalHeader(header, head);
  // Once pages are written, a header counting images not yet on disk would
  // leave a journal that cannot undo them.
  written = written && (pages.empty() || !spilled_ || adapter_.FlushFile(*journal_)) &&
            journal_->SetPosition(0) && journal_->Write(head, sizeof head) &&
            adapter_.FlushFile(*journal_);
  return written || Fail(kDBErrorWrite);
}

// Pages the file had at begin need their committed image in the journal
// once, before their first write.
bool DBFile::NeedsImage(uint32_t page) const {
  return page < beginPageCount_ && (page >= journaled_.size() || !journaled_[page]);
}

// Writes the pages, in increasing order, with one write per run of
// consecutive numbers: a system call per page costs more than the copy into
// one piece. The step, when given, is reached for each page of a run once
// the run is written.
bool DBFile::WritePages(const std::vector<DBPageEntry*>& pages, const DBWriteStep* step) {
  const uint32_t total = uint32_t(pages.size());
  std::vector<uint8_t> run;
  for (uint32_t first = 0; first < total;) {
    const uint32_t count =
        uint32_t(RunLength(pages, first, [](const DBPageEntry* page) { return page->number; }));
    run.resize(size_t(count) * kDBPageSize);
    for (uint32_t i = 0; i < count; ++i)
      std::memcpy(run.data() + size_t(i) * kDBPageSize, pages[first + i]->bytes, kDBPageSize);
    if (!WriteAt(DBPagePosition(pages[first]->number), run.data(), int32_t(run.size())))
      return false;
    if (step)
      for (uint32_t i = first; i < first + count; ++i) Reached(*step, i, total);
    first += count;
  }
  return true;
}

// Before a page comes into a full cache: clean pages are freed first; when
// only dirty ones are left, some are spilled to be freed.
bool DBFile::MakeRoom() {
  cache_.MakeRoom();
  if (cache_.Size() < cache_.Budget() || cache_.DirtyPages().empty()) return true;
  if (!Spill()) return false;
  cache_.MakeRoom();
  return true;
}

// Writes out the oldest unpinned quarter of the dirty pages (at least one),
// journaling first those the journal lacks.
bool DBFile::Spill() {
  std::vector<DBPageEntry*> pages;
  const size_t wanted = std::max<size_t>(1, cache_.Budget() / 4);
  for (DBPageEntry* entry : cache_.DirtyPages()) {
    if (pages.size() == wanted) break;
    if (entry->pins == 0) pages.push_back(entry);
  }
  if (pages.empty()) return true;
  std::sort(pages.begin(), pages.end(),
            [](const DBPageEntry* a, const DBPageEntry* b) { return a->number < b->number; });
  std::vector<uint32_t> unjournaled;
  for (const DBPageEntry* page : pages)
    if (NeedsImage(page->number)) unjournaled.push_back(page->number);
  if ((!unjournaled.empty() || !journal_) && !WriteJournal(unjournaled)) return false;
  spilled_ = true;
  if (!WritePages(pages)) return false;
  cache_.Written(pages);
  return true;
}

// ---- Cursors ----------------------------------------------------------------------

void DBFile::AddCursor(DBTreeCursor* cursor) { cursors_.push_back(cursor); }

void DBFile::RemoveCursor(DBTreeCursor* cursor) {
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

void DBFile::WillChangeLayout(const DBPageRef& page, const DBTreeCursor* changer) {
  for (DBTreeCursor* cursor : cursors_)
    if (cursor != changer) cursor->PageWillChange(page.Number());
}

void DBFile::RootMoved(uint32_t oldRoot, uint32_t newRoot, const DBTreeCursor* changer) {
  for (DBTreeCursor* cursor : cursors_)
    if (cursor != changer) cursor->RootMoved(oldRoot, newRoot);
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
