// Recovery when the journal cannot undo an interrupted transaction: lost,
// cut, damaged, of another transaction or of another file; and files
// written before file ids.
#include <algorithm>
#include <cstring>

#include "tests/database/dbstore_support.h"

namespace {

using Files = std::map<std::string, std::string>;

MemoryStorage* recordedStorage = nullptr;
std::vector<Files>* recordedSteps = nullptr;

void RecordStep(DBWriteStep step, uint32_t, uint32_t) {
  if (step == DBWriteStep::kCommitJournalFlushed || step == DBWriteStep::kCommitPageWritten)
    recordedSteps->push_back(recordedStorage->Snapshot());
}

// A committed table of `count` rows of 150 bytes of `fill`.
Rows MakeTable(MemoryStorage& storage, const char* path, char fill, int32_t count) {
  DBFile* db = NewDatabaseWithTable(storage, path);
  for (int32_t key = 0; key < count; ++key) Insert(*db, key * 3, std::string(150, fill));
  const Rows rows = ReadRows(*db);
  EXPECT_TRUE(CloseDatabaseFile(db));
  return rows;
}

// The files as a commit of inserts and deletes leaves them after its
// journal (no page written yet: [0]) and after each page write ([n + 1]).
std::vector<Files> StepsOfACommit(MemoryStorage& storage, const char* path) {
  DBFile* db = OpenOrFail(storage, path);
  crash_scenario::ChangeRows(*db);
  std::vector<Files> steps;
  recordedStorage = &storage;
  recordedSteps = &steps;
  SetDBWriteStepHook(RecordStep);
  EXPECT_TRUE(db->CommitTransaction());
  SetDBWriteStepHook(nullptr);
  CloseDatabaseFile(db);
  EXPECT_GT(steps.size(), 4u);
  return steps;
}

// Opens the files as a new process would: the open must be refused with
// 2011 (for lack of a journal, unless told otherwise), leaving every file as
// it was.
void ExpectRefusedUntouched(const Files& files, const char* path, const char* why = "journal") {
  MemoryStorage crashed;
  crashed.Restore(files);
  DBStorageError error;
  EXPECT_EQ(nullptr, OpenDatabaseFileAt(PathString(path).get(), crashed, &error));
  EXPECT_EQ(kDBErrorDamaged, error.code);
  EXPECT_NE(nullptr, std::strstr(error.text, why)) << error.text;
  EXPECT_TRUE(files == crashed.Snapshot());
}

// Opens the files, expecting the rows, clean trees and no journal left.
void ExpectOpensWith(const Files& files, const char* path, const Rows& rows) {
  MemoryStorage crashed;
  crashed.Restore(files);
  DBFile* db = OpenOrFail(crashed, path);
  ASSERT_TRUE(db);
  EXPECT_TRUE(WalkAll(*db));
  EXPECT_TRUE(SameRows(rows, ReadRows(*db)));
  CloseDatabaseFile(db);
  EXPECT_FALSE(crashed.Exists(std::string(path) + "-journal"));
}

// The journal with its header changed and its header checksum made good.
std::string WithHeader(std::string journal, const std::function<void(DBJournalHeader&)>& change) {
  DBJournalHeader header;
  EXPECT_TRUE(DecodeJournalHeader(reinterpret_cast<const uint8_t*>(journal.data()), &header));
  change(header);
  EncodeJournalHeader(header, reinterpret_cast<uint8_t*>(&journal[0]));
  return journal;
}

std::string WithSerial(const std::string& journal, uint32_t serial) {
  return WithHeader(journal, [&](DBJournalHeader& header) { header.serial = serial; });
}

// The journal with its first image naming `page`, both checksums good: only
// the page number is wrong.
std::string WithFirstImageAt(std::string journal, uint32_t page) {
  WriteWord(journal, kDBJournalHeaderSize, page);
  return WithHeader(journal, [&](DBJournalHeader& header) {
    header.crc = Crc32Update(0, journal.data() + kDBJournalHeaderSize,
                             size_t(JournalLength(header.imageCount)) - kDBJournalHeaderSize);
  });
}

// A byte of a row's text (150 'b's) inside the journal's first image.
size_t ImageTextByte(const std::string& journal) {
  const size_t at = journal.find(std::string(150, 'b'), kDBJournalHeaderSize + 4);
  EXPECT_LT(at, JournalLength(1));
  return at + 75;
}

class DbstoreRecovery : public StoreTest {};

TEST_F(DbstoreRecovery, JournalLostCutOrNotOfTheTransactionRefusesWrittenPages) {
  const Rows before = MakeTable(storage_, "db", 'b', 60);
  const std::vector<Files> steps = StepsOfACommit(storage_, "db");
  const std::string journal = steps[0].at("db-journal");
  const uint32_t serial = ReadWord(journal, 8);
  const std::vector<std::pair<const char*, std::function<void(Files&)>>> damages = {
      {"deleted", [](Files& f) { f.erase("db-journal"); }},
      {"cut inside its header", [](Files& f) { f["db-journal"].resize(40); }},
      {"cut after its header", [](Files& f) { f["db-journal"].resize(kDBJournalHeaderSize); }},
      {"cut inside an image", [](Files& f) { f["db-journal"].resize(kDBJournalHeaderSize + 5000); }},
      {"page count changed", [](Files& f) { f["db-journal"][15] ^= 1; }},
      {"of the transaction before", [&](Files& f) { f["db-journal"] = WithSerial(journal, serial - 1); }},
      // Still a page that reads as valid: only the checksum tells.
      {"a row's byte changed in an image", [&](Files& f) { f["db-journal"][ImageTextByte(journal)] = 'X'; }},
  };
  for (const auto& [name, damage] : damages) {
    SCOPED_TRACE(name);
    Files pageWritten = steps[3];
    damage(pageWritten);
    ExpectRefusedUntouched(pageWritten, "db");
    // No page written yet: the file opens as it was.
    Files noPage = steps[0];
    damage(noPage);
    ExpectOpensWith(noPage, "db", before);
  }
}

// An image is put back only over a page the file had when the transaction
// began: one naming the page just past them is refused before any write.
TEST_F(DbstoreRecovery, AnImagePastTheFilesLastPageIsRefused) {
  MakeTable(storage_, "db", 'b', 60);
  Files noPage = StepsOfACommit(storage_, "db")[0];
  std::string& journal = noPage["db-journal"];
  ASSERT_GT(ReadWord(journal, 24), 0u);  // images
  journal = WithFirstImageAt(journal, ReadWord(journal, 12));
  ExpectRefusedUntouched(noPage, "db", "damaged");
}

// Two files made the same way reach the same serials; the journal of one
// beside the other is never replayed.
TEST_F(DbstoreRecovery, AJournalOfAnotherFileIsNeverReplayed) {
  const Rows mine = MakeTable(storage_, "a", 'a', 60);
  MakeTable(storage_, "b", 'b', 200);
  const std::vector<Files> mySteps = StepsOfACommit(storage_, "a");
  const std::string foreign = StepsOfACommit(storage_, "b")[2].at("b-journal");
  ASSERT_EQ(ReadWord(mySteps[0].at("a"), 8), ReadWord(foreign, 8));

  Files noPage = mySteps[0];
  noPage["a-journal"] = foreign;
  ExpectOpensWith(noPage, "a", mine);
  Files pageWritten = mySteps[2];
  pageWritten["a-journal"] = foreign;
  ExpectRefusedUntouched(pageWritten, "a");
}

// Files of the writer before file ids: the test table with rows 1 to 5
// ("row 1" ...); the same file killed after the first page write of a
// commit adding rows 6 to 8, with its journal.
TEST_F(DbstoreRecovery, FilesWrittenBeforeFileIdsOpenAndReadTheSame) {
  Rows rows;
  for (int32_t key = 1; key <= 5; ++key) rows[key] = "row " + std::to_string(key);
  const std::string committed = StoredFile("committed.db");
  ASSERT_EQ(std::string(40, '\0'), committed.substr(24, 40));
  storage_.File("old")->Assign(committed);
  DBFile* db = OpenOrFail(storage_, "old");
  ASSERT_TRUE(db);
  EXPECT_TRUE(WalkAll(*db));
  EXPECT_TRUE(SameRows(rows, ReadRows(*db)));
  EXPECT_TRUE(CloseDatabaseFile(db));
  EXPECT_TRUE(committed == storage_.Bytes("old"));

  // Its next transaction gives it an id.
  db = OpenOrFail(storage_, "old");
  EXPECT_EQ(0, Insert(*db, 6, "row 6"));
  EXPECT_TRUE(CloseDatabaseFile(db));
  EXPECT_NE(std::string(8, '\0'), storage_.Bytes("old").substr(24, 8));
  ExpectOpensWith(storage_.Snapshot(), "old", [&] {
    Rows more = rows;
    more[6] = "row 6";
    return more;
  }());

  // Its journal, naming no file, undoes the interrupted commit; without it
  // the file is refused.
  Files interrupted = {{"old", StoredFile("interrupted.db")},
                       {"old-journal", StoredFile("interrupted.db-journal")}};
  ExpectOpensWith(interrupted, "old", rows);
  interrupted.erase("old-journal");
  ExpectRefusedUntouched(interrupted, "old");
}

}  // namespace

// Journals written by earlier versions must keep checking: the values zlib
// gives, whether the bytes come whole or in pieces of any length.
TEST(DbstoreChecksum, MatchesZlibWholeAndInPieces) {
  const std::string check = "123456789";
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32Update(0, check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0, fox.data(), fox.size()), 0x414FA339u);
  EXPECT_EQ(Crc32Update(0, std::string(32, '\0').data(), 32), 0x190A55ADu);
  EXPECT_EQ(Crc32Update(0, std::string(32, '\xFF').data(), 32), 0xFF6CAB0Bu);
  EXPECT_EQ(Crc32Update(0xCBF43926u, "", 0), 0xCBF43926u);

  std::string counting;
  for (int i = 0; i < 1024; ++i) counting += char(i & 0xFF);
  EXPECT_EQ(Crc32Update(0, counting.data(), counting.size()), 0xB70B4C26u);
  for (size_t piece = 1; piece <= 17; ++piece) {
    uint32_t crc = 0;
    for (size_t at = 0; at < counting.size(); at += piece)
      crc = Crc32Update(crc, counting.data() + at, std::min(piece, counting.size() - at));
    EXPECT_EQ(crc, 0xB70B4C26u) << "pieces of " << piece;
  }
}
