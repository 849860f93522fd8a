// The key tree: many random keys, the three page splits byte for byte,
// uniqueness across page boundaries, a second cursor walking while another
// inserts, updates, rollbacks and the size limits.
#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <set>

#include "tests/database/dbstore_support.h"

namespace {

class DbstoreTree : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    db_ = NewDatabaseWithTable(storage_, "tree");
    ASSERT_TRUE(db_);
  }
  void TearDown() override {
    if (db_) CloseDatabaseFile(db_);
    StoreTest::TearDown();
  }
  void Reopen() {
    ASSERT_TRUE(CloseDatabaseFile(db_));
    db_ = OpenOrFail(storage_, "tree");
    ASSERT_TRUE(db_);
  }
  // A record of exactly `length` bytes.
  std::vector<uint8_t> RecordOf(int32_t key, size_t length) {
    return MakeRecord(*db_, key, std::string(length - 22, char('a' + key % 26)));
  }
  std::unique_ptr<DBTreeCursor> Table() { return OpenTableTree(*db_, kTable, nullptr, 0, kKeyed); }
  // Inserts through a cursor of its own, which is handed back.
  std::unique_ptr<DBTreeCursor> InsertWith(int32_t key, size_t length) {
    std::unique_ptr<DBTreeCursor> cursor = Table();
    std::vector<uint8_t> record = RecordOf(key, length);
    EXPECT_TRUE(cursor->InsertRecord(record.data(), record.size(), true, true));
    return cursor;
  }
  uint32_t TableRoot() {
    std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(*db_, nullptr, nullptr, 0, {});
    EXPECT_TRUE(directory->NextMatching());
    return DirectoryRecordRoot(directory->CurrentEntry());
  }
  // Keys of the live entries of a page, or of its children for an interior
  // page ({key, child, count} per entry).
  std::vector<int32_t> LeafKeys(uint32_t number) {
    DBPageRef page = db_->GetPage(number);
    std::vector<int32_t> keys;
    for (uint16_t offset : page.EntryOffsets()) {
      DBFieldValue value;
      EXPECT_EQ(DBFieldLookup::kFound, FindField(page.EntryAt(offset), 0, &value));
      keys.push_back(value.integer);
    }
    return keys;
  }
  struct Separator {
    std::vector<uint8_t> key;
    uint32_t child;
    uint16_t count;
    bool operator==(const Separator& o) const {
      return key == o.key && child == o.child && count == o.count;
    }
  };
  std::vector<Separator> Separators(uint32_t number) {
    DBPageRef page = db_->GetPage(number);
    EXPECT_EQ(kDBKindInterior, page.Kind());
    std::vector<Separator> entries;
    for (uint16_t offset : page.EntryOffsets()) {
      const uint8_t* entry = page.EntryAt(offset);
      entries.push_back({std::vector<uint8_t>(entry + 12, entry + EntryLength(entry)),
                         InteriorChild(entry), InteriorCount(entry)});
    }
    return entries;
  }
  static std::vector<uint8_t> KeyOf(int32_t key) {
    const uint32_t bits = uint32_t(key) ^ 0x80000000u;
    return {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits)};
  }
  // The key of the row the cursor stands on.
  static int32_t KeyHere(DBTreeCursor& cursor) {
    DBFieldValue field;
    EXPECT_EQ(DBFieldLookup::kFound, FindField(cursor.CurrentEntry(), 0, &field));
    return field.integer;
  }
  // Rows 10 to 80 of 1000 bytes fill one leaf, beside an empty table
  // "other". A walker deletes row `at` (committed); 15 then splits the leaf,
  // moving the row to a new page, which leaves a cache of one page as
  // "other" is read, and drops the row when it comes back. The walker is
  // handed back, still on the row; the cursor on "other" in *other.
  std::unique_ptr<DBTreeCursor> WalkerOnADroppedRow(int32_t at, std::unique_ptr<DBTreeCursor>* other) {
    EXPECT_TRUE(CreateTableTree(*db_, "other"));
    for (int32_t key = 10; key <= 80; key += 10) InsertWith(key, 1000);
    EXPECT_TRUE(db_->CommitTransaction());
    Reopen();
    std::unique_ptr<DBTreeCursor> walker = Table();
    for (int32_t key = 10; key <= at; key += 10) {
      EXPECT_TRUE(walker->NextMatching());
      EXPECT_EQ(key, KeyHere(*walker));
    }
    EXPECT_TRUE(walker->DeleteCurrent());
    EXPECT_TRUE(db_->CommitTransaction());
    InsertWith(15, 1000);
    EXPECT_TRUE(db_->CommitTransaction());
    db_->SetCacheBudget(1);
    *other = OpenTableTree(*db_, "other", nullptr, 0, kKeyed);
    EXPECT_FALSE((*other)->NextMatching());
    return walker;
  }
  bool ZeroFrom(uint32_t number, uint32_t offset) {
    DBPageRef page = db_->GetPage(number);
    return std::all_of(page.Data() + offset, page.Data() + kDBPageDataSize,
                       [](uint8_t b) { return b == 0; });
  }

  DBFile* db_ = nullptr;
};

TEST_F(DbstoreTree, RandomKeysWalkBackInOrderAndStayUnique) {
  std::mt19937 random(9);
  std::set<int32_t> keys;
  while (keys.size() < 100000) keys.insert(int32_t(random()));
  std::vector<int32_t> order(keys.begin(), keys.end());
  std::shuffle(order.begin(), order.end(), random);
  for (int32_t key : order) ASSERT_EQ(0, Insert(*db_, key, std::to_string(key)));
  ASSERT_TRUE(db_->CommitTransaction());
  Reopen();

  std::unique_ptr<DBTreeCursor> cursor = Table();
  auto expected = keys.begin();
  while (cursor->NextMatching()) {
    ASSERT_NE(keys.end(), expected);
    DBFieldValue key, text;
    ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &key));
    ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 1, &text));
    ASSERT_EQ(*expected, key.integer);
    ASSERT_EQ(std::to_string(key.integer),
              std::string(reinterpret_cast<const char*>(text.bytes), text.length));
    ++expected;
  }
  EXPECT_EQ(keys.end(), expected);
  EXPECT_GE(cursor->Depth(), 0u);
  cursor.reset();
  for (int32_t key : order) ASSERT_EQ(kDBErrorDuplicateKey, Insert(*db_, key, "again")) << key;
}

TEST_F(DbstoreTree, TailMovesWhenTheNewEntryFitsTheOldPage) {
  const uint32_t leaf = TableRoot();
  for (int32_t key = 10; key <= 80; key += 10) InsertWith(key, 1000);
  std::unique_ptr<DBTreeCursor> cursor = InsertWith(15, 1000);

  // The first split: a new interior root, named by the directory record.
  const uint32_t root = TableRoot();
  ASSERT_NE(leaf, root);
  // The new root is made before the page it splits off.
  const uint32_t tail = root + 1;
  EXPECT_EQ((std::vector<Separator>{{{}, leaf, 0}, {KeyOf(20), tail, 7}}), Separators(root));
  EXPECT_EQ(12u + 17u, db_->GetPage(root).Used());
  EXPECT_EQ((std::vector<int32_t>{10, 15}), LeafKeys(leaf));
  EXPECT_EQ((std::vector<int32_t>{20, 30, 40, 50, 60, 70, 80}), LeafKeys(tail));
  EXPECT_EQ(2000u, db_->GetPage(leaf).Used());
  EXPECT_TRUE(ZeroFrom(leaf, 2000));
  EXPECT_EQ(leaf, PageChain(db_->GetPage(tail).Bytes()));
  EXPECT_EQ(leaf, cursor->CurrentPageNumber());
  EXPECT_EQ(1000u, cursor->CurrentOffset());
  cursor.reset();
  // The first key of the right page is found through the left one.
  EXPECT_EQ(kDBErrorDuplicateKey, Insert(*db_, 20, "again"));
  EXPECT_EQ(9u, ReadRows(*db_).size());
}

TEST_F(DbstoreTree, EntryAndTailMoveTogether) {
  const uint32_t leaf = TableRoot();
  for (int32_t key = 10; key <= 80; key += 10) InsertWith(key, 1000);
  std::unique_ptr<DBTreeCursor> cursor = InsertWith(75, 1200);
  const uint32_t root = TableRoot();
  const uint32_t moved = root + 1;
  EXPECT_EQ((std::vector<Separator>{{{}, leaf, 0}, {KeyOf(75), moved, 2}}), Separators(root));
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30, 40, 50, 60, 70}), LeafKeys(leaf));
  EXPECT_EQ((std::vector<int32_t>{75, 80}), LeafKeys(moved));
  EXPECT_EQ(2200u, db_->GetPage(moved).Used());
  EXPECT_TRUE(ZeroFrom(leaf, 7000));
  EXPECT_EQ(leaf, PageChain(db_->GetPage(moved).Bytes()));
  EXPECT_EQ(moved, cursor->CurrentPageNumber());
  EXPECT_EQ(0u, cursor->CurrentOffset());
  // Its whole path follows it: walking on meets the moved page once.
  std::vector<int32_t> rest;
  while (cursor->NextEntry()) {
    DBFieldValue key;
    FindField(cursor->CurrentEntry(), 0, &key);
    rest.push_back(key.integer);
  }
  EXPECT_EQ((std::vector<int32_t>{75, 80}), rest);
}

TEST_F(DbstoreTree, DeletedEntriesKeepTheirKeyOrder) {
  for (int32_t key = 10; key <= 90; key += 10) ASSERT_EQ(0, Insert(*db_, key, "row"));
  ASSERT_TRUE(db_->CommitTransaction());
  std::unique_ptr<DBTreeCursor> cursor = Table();
  while (cursor->NextMatching()) {
    DBFieldValue key;
    FindField(cursor->CurrentEntry(), 0, &key);
    if (key.integer % 20 == 0) {
      ASSERT_TRUE(DeleteCurrentRecord(*cursor));
    }
  }
  cursor.reset();
  // New rows go in front of deleted ones with larger keys, so that pages
  // stay ordered (live and deleted alike) for the bisection of a seek.
  for (int32_t key = 15; key <= 95; key += 20) ASSERT_EQ(0, Insert(*db_, key, "new"));
  cursor = Table();
  int32_t last = INT32_MIN;
  while (cursor->NextEntry()) {
    DBFieldValue key;
    FindField(cursor->CurrentEntry(), 0, &key);
    EXPECT_LE(last, key.integer);
    last = key.integer;
  }
  cursor.reset();
  for (int32_t key = 10; key <= 95; key += 5) {
    std::unique_ptr<DBTreeCursor> seek = Table();
    const uint32_t bits = uint32_t(key) ^ 0x80000000u;
    const uint8_t wanted[] = {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8),
                              uint8_t(bits)};
    bool found = false;
    ASSERT_TRUE(seek->SeekKey(wanted, sizeof wanted, &found));
    const bool live = key % 10 == 5 ? key % 20 == 15 : key % 20 != 0;
    EXPECT_EQ(live, found) << key;
  }
}

TEST_F(DbstoreTree, TailAndEntryTakeAPageEach) {
  const uint32_t leaf = TableRoot();
  for (int32_t key = 10; key <= 40; key += 10) InsertWith(key, 2000);
  std::unique_ptr<DBTreeCursor> cursor = InsertWith(25, 4500);
  const uint32_t root = TableRoot();
  const uint32_t tail = root + 1, alone = root + 2;
  EXPECT_EQ((std::vector<Separator>{{{}, leaf, 0}, {KeyOf(25), alone, 1}, {KeyOf(30), tail, 2}}),
            Separators(root));
  EXPECT_EQ((std::vector<int32_t>{10, 20}), LeafKeys(leaf));
  EXPECT_EQ((std::vector<int32_t>{25}), LeafKeys(alone));
  EXPECT_EQ((std::vector<int32_t>{30, 40}), LeafKeys(tail));
  EXPECT_TRUE(ZeroFrom(leaf, 4000));
  EXPECT_EQ(leaf, PageChain(db_->GetPage(tail).Bytes()));
  EXPECT_EQ(leaf, PageChain(db_->GetPage(alone).Bytes()));
  EXPECT_EQ(tail, cursor->CurrentPageNumber());
  EXPECT_EQ(0u, cursor->CurrentOffset());
  cursor.reset();
  EXPECT_EQ((Rows{{10, ""}, {20, ""}, {25, ""}, {30, ""}, {40, ""}}).size(), ReadRows(*db_).size());
}

TEST_F(DbstoreTree, SecondCursorSeesRowsInsertedAheadOfIt) {
  for (int32_t key = 0; key < 20000; key += 2) ASSERT_EQ(0, Insert(*db_, key, std::string(180, 'e')));
  ASSERT_TRUE(db_->CommitTransaction());
  const uint32_t rootBefore = TableRoot();
  std::vector<int32_t> odd;
  for (int32_t key = 1; key < 20000; key += 2) odd.push_back(key);
  std::shuffle(odd.begin(), odd.end(), std::mt19937(4));

  std::unique_ptr<DBTreeCursor> walker = Table();
  std::unique_ptr<DBTreeCursor> inserter = Table();
  std::set<int32_t> ahead;  // odd keys inserted above the walker
  std::vector<int32_t> seen;
  size_t next = 0;
  while (walker->NextMatching()) {
    DBFieldValue key;
    ASSERT_EQ(DBFieldLookup::kFound, FindField(walker->CurrentEntry(), 0, &key));
    seen.push_back(key.integer);
    if (next < odd.size()) {
      if (odd[next] > key.integer) ahead.insert(odd[next]);
      std::vector<uint8_t> record = MakeRecord(*db_, odd[next], std::string(180, 'o'));
      ASSERT_TRUE(inserter->InsertRecord(record.data(), record.size(), true, true));
      ++next;
    }
  }
  EXPECT_NE(rootBefore, TableRoot());
  std::vector<int32_t> expected;
  for (int32_t key = 0; key < 20000; key += 2) expected.push_back(key);
  expected.insert(expected.end(), ahead.begin(), ahead.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, seen);
}

// A cursor that sought a key and has not moved since meets, on its next
// move, the rows another cursor put in from that key on: sought inside a
// leaf, at a leaf's end (the row put in lies between the leaf's last entry
// and the key sought), and on a leaf emptied as it was loaded.
TEST_F(DbstoreTree, ACursorThatSoughtAKeyMeetsRowsPutInFromThatKeyOn) {
  for (int32_t key = 0; key < 4000; key += 10) ASSERT_EQ(0, Insert(*db_, key, std::string(200, 'e')));
  ASSERT_TRUE(db_->CommitTransaction());
  const auto nextAfter = [&](DBTreeCursor& seeker, int32_t inserted) {
    std::unique_ptr<DBTreeCursor> inserter = InsertWith(inserted, 60);
    DBFieldValue field;
    EXPECT_TRUE(seeker.NextMatching());
    EXPECT_EQ(DBFieldLookup::kFound, FindField(seeker.CurrentEntry(), 0, &field));
    return field.integer;
  };
  std::unique_ptr<DBTreeCursor> seeker = Table();
  std::vector<uint8_t> key = KeyOf(375);
  ASSERT_TRUE(seeker->SeekKey(key.data(), key.size(), nullptr));
  EXPECT_EQ(377, nextAfter(*seeker, 377));

  int32_t sought = -1;
  for (int32_t candidate = 5; candidate < 4000 && sought < 0; candidate += 10) {
    key = KeyOf(candidate);
    ASSERT_TRUE(seeker->SeekKey(key.data(), key.size(), nullptr));
    if (seeker->CurrentOffset() == db_->GetPage(seeker->CurrentPageNumber()).Used()) sought = candidate;
  }
  ASSERT_GE(sought, 0) << "no seek ended at a leaf's end";
  EXPECT_EQ(sought + 5, nextAfter(*seeker, sought - 3));
  seeker.reset();

  {
    std::unique_ptr<DBTreeCursor> remover = Table();
    DBFieldValue field;
    while (remover->NextMatching()) {
      ASSERT_EQ(DBFieldLookup::kFound, FindField(remover->CurrentEntry(), 0, &field));
      if (field.integer >= 1000 && field.integer < 2000) ASSERT_TRUE(DeleteCurrentRecord(*remover));
    }
  }
  ASSERT_TRUE(db_->CommitTransaction());
  Reopen();
  seeker = Table();
  key = KeyOf(1500);
  bool found = true;
  ASSERT_TRUE(seeker->SeekKey(key.data(), key.size(), &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(1501, nextAfter(*seeker, 1501));
}

// A cursor kept for appends reuses its path to the last leaf; keys that
// belong further left, duplicates, and pages split by another cursor must
// still send it down from the root.
TEST_F(DbstoreTree, AKeptCursorAppendsAlongItsPathAndStillFindsEarlierPlaces) {
  std::unique_ptr<DBTreeCursor> kept = Table();
  std::unique_ptr<DBTreeCursor> other = Table();
  Rows model;
  const auto insert = [&](DBTreeCursor& cursor, int32_t key) {
    std::vector<uint8_t> record = MakeRecord(*db_, key, std::string(180, char('a' + key % 26)));
    ASSERT_TRUE(cursor.InsertRecord(record.data(), record.size(), true, true)) << key;
    model[key] = std::string(180, char('a' + key % 26));
  };
  for (int32_t key = 0; key < 300000; key += 10) {
    insert(*kept, key);
    if (key % 3000 == 2990) {
      // Just below the last leaf's first key, and far to the left.
      insert(*kept, model.upper_bound(key - 400)->first - 1);
      insert(*kept, key / 7 * 5 + 3);
      std::vector<uint8_t> again = MakeRecord(*db_, key - 100, "again");
      ASSERT_FALSE(kept->InsertRecord(again.data(), again.size(), true, true));
      EXPECT_EQ(kDBErrorDuplicateKey, db_->LastError().code);
      const std::vector<uint8_t> early = KeyOf(key / 2 / 10 * 10);
      bool found = false;
      ASSERT_TRUE(kept->SeekKey(early.data(), early.size(), &found));
      EXPECT_TRUE(found) << key;
    }
    if (key % 7000 == 6990) {
      for (int32_t step = 1; step <= 60; ++step) insert(*other, key + step * 10);
      key += 600;
    }
  }
  EXPECT_GE(kept->Depth(), 3u);
  kept.reset();
  other.reset();
  EXPECT_TRUE(SameRows(model, ReadRows(*db_)));
  ASSERT_TRUE(db_->CommitTransaction());
  Reopen();
  EXPECT_TRUE(SameRows(model, ReadRows(*db_)));
}

// The first leaf is full and its right sibling nearly empty: an update of
// the leaf's last row hands that (now deleted) row to the sibling, and the
// cursor stays on it there.
TEST_F(DbstoreTree, AnUpdatedRowThatMovesToTheRightSiblingStaysCurrent) {
  std::unique_ptr<DBTreeCursor> cursor = Table();
  int32_t key = 0;
  for (; cursor->Depth() < 2; ++key) {
    std::vector<uint8_t> record = RecordOf(key, 100);
    ASSERT_TRUE(cursor->InsertRecord(record.data(), record.size(), true, true));
  }
  const std::vector<uint8_t> last = KeyOf(key - 2);
  bool found = false;
  ASSERT_TRUE(cursor->SeekKey(last.data(), last.size(), &found));
  ASSERT_TRUE(found);
  ASSERT_TRUE(cursor->NextMatching());
  const uint32_t id = EntryRecordId(cursor->CurrentEntry());
  const uint32_t leaf = cursor->CurrentPageNumber();
  std::vector<uint8_t> record = RecordOf(key - 2, 100);
  ASSERT_TRUE(cursor->UpdateCurrent(record.data(), record.size()));
  const uint8_t* current = cursor->CurrentEntry();
  ASSERT_NE(nullptr, current);
  EXPECT_EQ(kDBEntryDeleted, EntryState(current));
  EXPECT_EQ(id, EntryRecordId(current));
  EXPECT_NE(leaf, cursor->CurrentPageNumber());
  ASSERT_TRUE(cursor->NextMatching());
  DBFieldValue next;
  ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &next));
  EXPECT_EQ(key - 1, next.integer);
  EXPECT_FALSE(cursor->NextMatching());
}

TEST_F(DbstoreTree, UpdatesKeepTheirPlaceOrWaitForTheCursor) {
  for (int32_t key = 0; key < 300; ++key) ASSERT_EQ(0, Insert(*db_, key, "old"));
  ASSERT_TRUE(db_->CommitTransaction());
  std::unique_ptr<DBTreeCursor> cursor = Table();
  std::vector<int32_t> seen;
  while (cursor->NextMatching()) {
    DBFieldValue key;
    FindField(cursor->CurrentEntry(), 0, &key);
    seen.push_back(key.integer);
    const uint32_t oldId = EntryRecordId(cursor->CurrentEntry());
    // Even rows keep their key; odd rows move far ahead, where the cursor
    // would meet them again.
    const int32_t newKey = key.integer % 2 == 0 ? key.integer : key.integer + 1000;
    std::vector<uint8_t> record = MakeRecord(*db_, newKey, std::string(100, 'n'));
    ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
    if (newKey == key.integer) {
      std::unique_ptr<DBTreeCursor> lookup = Table();
      bool found = false;
      std::vector<uint8_t> wanted;
      BuildRecordKey(record.data(), kKeyed, &wanted);
      ASSERT_TRUE(lookup->SeekKey(wanted.data(), wanted.size(), &found) && found);
      ASSERT_TRUE(lookup->NextMatching());
      EXPECT_NE(oldId, EntryRecordId(lookup->CurrentEntry()));
    }
  }
  EXPECT_EQ(300u, seen.size());
  EXPECT_EQ(150u, ReadRows(*db_).size());  // the moved rows wait in the spool
  cursor.reset();
  const Rows rows = ReadRows(*db_);
  ASSERT_EQ(300u, rows.size());
  for (int32_t key = 0; key < 300; ++key)
    EXPECT_EQ(1u, rows.count(key % 2 == 0 ? key : key + 1000)) << key;
}

// A row whose key an update changed waits in its cursor's spool while its
// old entry is deleted. A commit keeps it waiting; a rollback then, with no
// transaction open or of a later one, undoes nothing of that update: the
// row goes in when its cursor goes.
TEST_F(DbstoreTree, ARowWaitingInTheSpoolOutlivesRollbacksAfterItsCommit) {
  for (int32_t key = 0; key < 10; ++key) ASSERT_EQ(0, Insert(*db_, key, "old"));
  ASSERT_TRUE(db_->CommitTransaction());
  std::unique_ptr<DBTreeCursor> cursor = Table();
  ASSERT_TRUE(cursor->NextMatching());
  std::vector<uint8_t> record = MakeRecord(*db_, 100, "moved");
  ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
  ASSERT_TRUE(db_->CommitTransaction());
  ASSERT_TRUE(db_->RollbackTransaction());
  ASSERT_EQ(0, Insert(*db_, 50, "undone"));
  ASSERT_TRUE(cursor->NextMatching());
  record = MakeRecord(*db_, 101, "undone");
  ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
  ASSERT_TRUE(db_->RollbackTransaction());
  const std::vector<uint8_t> kept = KeyOf(100), dropped = KeyOf(101);
  EXPECT_TRUE(cursor->SpoolHoldsKey(kept.data(), kept.size()));
  EXPECT_FALSE(cursor->SpoolHoldsKey(dropped.data(), dropped.size()));
  cursor.reset();
  Rows expected;
  for (int32_t key = 1; key < 10; ++key) expected[key] = "old";
  expected[100] = "moved";
  EXPECT_TRUE(SameRows(expected, ReadRows(*db_)));
}

// Rows updated in place leave a deleted entry of the same key behind each;
// a walker whose pages another cursor changes finds its own entry again by
// key and record id, and gives each entry once.
TEST_F(DbstoreTree, AWalkerFindsItsEntryAmongDeletedOnesOfTheSameKey) {
  for (int32_t key = 0; key < 200; ++key) ASSERT_EQ(0, Insert(*db_, key * 10, std::string(100, 'o')));
  ASSERT_TRUE(db_->CommitTransaction());
  std::unique_ptr<DBTreeCursor> updater = Table();
  while (updater->NextMatching()) {
    DBFieldValue key;
    ASSERT_EQ(DBFieldLookup::kFound, FindField(updater->CurrentEntry(), 0, &key));
    std::vector<uint8_t> record = MakeRecord(*db_, key.integer, std::string(100, 'n'));
    ASSERT_TRUE(UpdateCurrentRecord(*updater, record.data(), record.size()));
  }
  updater.reset();
  // Each update went in before the entry it deleted; the walker stands on
  // the deleted one of each pair while rows go in behind it.
  std::unique_ptr<DBTreeCursor> walker = Table();
  std::vector<std::pair<int32_t, uint8_t>> walked;
  while (walker->NextEntry()) {
    DBFieldValue key;
    ASSERT_EQ(DBFieldLookup::kFound, FindField(walker->CurrentEntry(), 0, &key));
    const uint8_t state = EntryState(walker->CurrentEntry());
    walked.emplace_back(key.integer, state);
    if (state != kDBEntryDeleted) continue;
    for (int32_t i = 1; i <= 3; ++i) ASSERT_EQ(0, Insert(*db_, key.integer + i, std::string(300, 'i')));
  }
  std::vector<std::pair<int32_t, uint8_t>> expected;
  for (int32_t key = 0; key < 2000; key += 10) {
    expected.emplace_back(key, kDBEntryLive);
    expected.emplace_back(key, kDBEntryDeleted);
    for (int32_t i = 1; i <= 3; ++i) expected.emplace_back(key + i, kDBEntryLive);
  }
  EXPECT_EQ(expected, walked);
}

TEST_F(DbstoreTree, SpoolKeepsUpdatesInMemoryWithoutATemporaryFile) {
  for (int32_t key = 0; key < 50; ++key) ASSERT_EQ(0, Insert(*db_, key, "old"));
  storage_.temporaryFails = true;
  std::unique_ptr<DBTreeCursor> cursor = Table();
  while (cursor->NextMatching()) {
    DBFieldValue key;
    FindField(cursor->CurrentEntry(), 0, &key);
    std::vector<uint8_t> record = MakeRecord(*db_, key.integer + 100, "moved");
    ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
  }
  EXPECT_TRUE(ReadRows(*db_).empty());
  cursor.reset();
  const Rows rows = ReadRows(*db_);
  ASSERT_EQ(50u, rows.size());
  EXPECT_EQ(100, rows.begin()->first);
  EXPECT_EQ("moved", rows.begin()->second);
}

TEST_F(DbstoreTree, RollbacksLeaveTheCommittedRows) {
  for (int32_t key = 0; key < 40; ++key) ASSERT_EQ(0, Insert(*db_, key * 10, "committed"));
  ASSERT_TRUE(db_->CommitTransaction());
  const Rows committed = ReadRows(*db_);
  const auto deleteKey = [&](int32_t wanted) {
    std::unique_ptr<DBTreeCursor> cursor = Table();
    DBFieldValue key;
    while (cursor->NextMatching()) {
      if (FindField(cursor->CurrentEntry(), 0, &key) == DBFieldLookup::kFound && key.integer == wanted)
        return DeleteCurrentRecord(*cursor);
    }
    return false;
  };
  const auto updateKey = [&](int32_t wanted, int32_t newKey, bool destroyAfterRollback) {
    std::unique_ptr<DBTreeCursor> cursor = Table();
    DBFieldValue key;
    while (cursor->NextMatching()) {
      if (FindField(cursor->CurrentEntry(), 0, &key) != DBFieldLookup::kFound || key.integer != wanted)
        continue;
      std::vector<uint8_t> record = MakeRecord(*db_, newKey, "updated");
      EXPECT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
      if (destroyAfterRollback) {
        EXPECT_TRUE(db_->RollbackTransaction());
        return;
      }
      cursor.reset();
      return;
    }
  };
  const std::vector<std::function<void()>> changes = {
      [&] { EXPECT_TRUE(deleteKey(50)); },
      [&] { EXPECT_EQ(0, Insert(*db_, 55, "new")); },
      [&] {
        EXPECT_EQ(0, Insert(*db_, 56, "new"));
        EXPECT_TRUE(deleteKey(56));
      },
      [&] {
        updateKey(70, 70, false);
        updateKey(70, 70, false);
      },
      [&] { updateKey(80, 85, true); },
      [&] {
        for (int32_t key = 1000; key < 1400; ++key) EXPECT_EQ(0, Insert(*db_, key, std::string(300, 's')));
      },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    changes[i]();
    const uint32_t undone = db_->SerialStamp();
    ASSERT_TRUE(db_->RollbackTransaction());
    // Restored and hidden entries carry serial 0; none keeps the undone one.
    std::unique_ptr<DBTreeCursor> cursor = Table();
    while (cursor->NextEntry()) {
      const uint8_t* entry = cursor->CurrentEntry();
      EXPECT_NE(undone, EntrySerial(entry));
      if (EntryState(entry) == kDBEntryDeleted) {
        EXPECT_EQ(0u, EntrySerial(entry));
      }
    }
    cursor.reset();
    EXPECT_TRUE(SameRows(committed, ReadRows(*db_)));
    Reopen();
    EXPECT_TRUE(SameRows(committed, ReadRows(*db_)));
  }
  for (const auto& [key, text] : committed) EXPECT_EQ(kDBErrorDuplicateKey, Insert(*db_, key, "x"));
}

// A walker stands on a row it deleted (in a committed transaction) that is
// dropped from its page (WalkerOnADroppedRow). The walker then stands before
// the row that followed, but its place is still behind the dropped row: a
// row put in between comes next.
TEST_F(DbstoreTree, ACursorStandingBeforeTheNextRowMeetsRowsPutInBehindItsOwn) {
  std::unique_ptr<DBTreeCursor> other;
  std::unique_ptr<DBTreeCursor> walker = WalkerOnADroppedRow(30, &other);
  EXPECT_EQ(nullptr, walker->CurrentEntry());
  InsertWith(35, 100);
  ASSERT_TRUE(walker->NextMatching());
  EXPECT_EQ(35, KeyHere(*walker));

  // So for a cursor that put a row in at a leaf's end: it stands before the
  // row put in behind its own, and its place is still behind its own.
  std::unique_ptr<DBTreeCursor> inserter = InsertWith(90, 100);
  InsertWith(100, 100);
  EXPECT_EQ(nullptr, inserter->CurrentEntry());
  InsertWith(95, 100);
  ASSERT_TRUE(inserter->NextMatching());
  EXPECT_EQ(95, KeyHere(*inserter));
}

// As above, on the last row: a rollback meanwhile leaves the walker behind
// that row, so that a row put in after the rollback comes next.
TEST_F(DbstoreTree, ARollbackLeavesACursorWhoseRowIsDroppedBehindIt) {
  std::unique_ptr<DBTreeCursor> other;
  std::unique_ptr<DBTreeCursor> walker = WalkerOnADroppedRow(80, &other);
  std::vector<uint8_t> record = RecordOf(1, 100);
  ASSERT_TRUE(other->InsertRecord(record.data(), record.size(), true, true));
  ASSERT_TRUE(db_->RollbackTransaction());
  InsertWith(90, 100);
  ASSERT_TRUE(walker->NextMatching());
  EXPECT_EQ(90, KeyHere(*walker));
}

// A row updated in place gets a new entry in front of the old one; a
// rollback brings the old one back behind it. A cursor that met the row
// (the updater, which a split of a full leaf leaves on the new entry, or a
// walker that came by after the update, and deleted the row or not) goes on
// past the row after the rollback instead of meeting it again.
TEST_F(DbstoreTree, ACursorOnARowWhoseUpdateIsRolledBackMeetsItOnce) {
  for (int32_t key = 10; key <= 80; key += 10) InsertWith(key, 1000);
  ASSERT_TRUE(db_->CommitTransaction());
  const auto walkTo = [&](DBTreeCursor& cursor, int32_t key) {
    while (cursor.NextMatching())
      if (KeyHere(cursor) == key) return true;
    return false;
  };
  // The one leaf is full: the update splits it and stands on the new entry.
  std::unique_ptr<DBTreeCursor> updater = Table();
  ASSERT_TRUE(walkTo(*updater, 30));
  std::vector<uint8_t> record = RecordOf(30, 1000);
  ASSERT_TRUE(updater->UpdateCurrent(record.data(), record.size()));
  ASSERT_TRUE(db_->RollbackTransaction());
  ASSERT_TRUE(updater->NextMatching());
  EXPECT_EQ(40, KeyHere(*updater));

  for (const bool deletes : {false, true}) {
    SCOPED_TRACE(deletes);
    std::unique_ptr<DBTreeCursor> walker = Table();
    ASSERT_TRUE(walkTo(*walker, 40));
    updater = Table();
    ASSERT_TRUE(walkTo(*updater, 50));
    record = RecordOf(50, 300);
    ASSERT_TRUE(updater->UpdateCurrent(record.data(), record.size()));
    // Twice: the first new entry is deleted again, the second made.
    record = RecordOf(50, 200);
    ASSERT_TRUE(walkTo(*(updater = Table()), 50));
    ASSERT_TRUE(updater->UpdateCurrent(record.data(), record.size()));
    updater.reset();
    ASSERT_TRUE(walker->NextMatching());
    ASSERT_EQ(50, KeyHere(*walker));
    EXPECT_EQ(200u, EntryLength(walker->CurrentEntry()));
    if (deletes) ASSERT_TRUE(walker->DeleteCurrent());
    ASSERT_TRUE(db_->RollbackTransaction());
    ASSERT_TRUE(walker->NextMatching());
    EXPECT_EQ(60, KeyHere(*walker));
  }
  EXPECT_EQ(8u, ReadRows(*db_).size());

  // A directory cursor stays on the record it stands on, even when a
  // record of the same name that the rollback brings back follows it: a
  // table cursor writes its tree's new root there.
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(*db_, nullptr, nullptr, 0, {});
  ASSERT_TRUE(directory->NextMatching());
  ASSERT_TRUE(directory->DeleteCurrent());
  directory.reset();
  ASSERT_TRUE(CreateTableTree(*db_, kTable));
  directory = OpenTreeCursor(*db_, nullptr, nullptr, 0, {});
  ASSERT_TRUE(directory->NextMatching());
  const uint32_t made = EntryRecordId(directory->CurrentEntry());
  ASSERT_TRUE(db_->RollbackTransaction());
  ASSERT_NE(nullptr, directory->CurrentEntry());
  EXPECT_EQ(made, EntryRecordId(directory->CurrentEntry()));
}

// Two trees take random inserts (duplicates refused), deletes, updates that
// keep or move a key, commits and rollbacks in a cache small enough to spill
// and read pages again: one keyed by the integer, one by a text that often
// shares its first bytes with its neighbours, then the integer. After every
// round each row is found by its key, keys that are not there are not found,
// and a walk gives the rows in key order.
TEST_F(DbstoreTree, KeysStayFoundThroughInsertsDeletesMovesSplitsAndRollbacks) {
  ASSERT_TRUE(CreateTableTree(*db_, "text"));
  ASSERT_TRUE(db_->CommitTransaction());
  db_->SetCacheBudget(48);
  const uint8_t textFirst[] = {1, 0};
  struct Tree {
    const char* name;
    DBKeyColumns columns;
    std::map<int32_t, std::string> rows, committed;
  };
  Tree trees[] = {{kTable, kKeyed, {}, {}}, {"text", {textFirst, 2}, {}, {}}};
  std::mt19937 random(62);
  const auto textFor = [&](int32_t key) {
    if (random() % 2) return std::string(random() % 7, char('a' + key % 3));
    return "shared start " + std::string(random() % 240, char('a' + random() % 3)) + std::to_string(key);
  };
  const auto keyOf = [&](const Tree& tree, int32_t key, const std::string& text) {
    std::vector<uint8_t> record = MakeRecord(*db_, key, text), built;
    EXPECT_TRUE(BuildRecordKey(record.data(), tree.columns, &built));
    return built;
  };
  // Stands on the row of the key; false when it is not there.
  const auto seek = [&](DBTreeCursor& cursor, const Tree& tree, int32_t key, const std::string& text) {
    const std::vector<uint8_t> wanted = keyOf(tree, key, text);
    bool found = false;
    EXPECT_TRUE(cursor.SeekKey(wanted.data(), wanted.size(), &found));
    if (!found) return false;
    DBFieldValue field;
    EXPECT_TRUE(cursor.NextMatching());
    EXPECT_EQ(DBFieldLookup::kFound, FindField(cursor.CurrentEntry(), 0, &field));
    EXPECT_EQ(key, field.integer);
    return true;
  };
  const auto pick = [&](Tree& tree) {
    auto at = tree.rows.lower_bound(int32_t(random() % 3000));
    return at == tree.rows.end() ? tree.rows.begin() : at;
  };
  for (int round = 0; round < 36; ++round) {
    for (Tree& tree : trees) {
      SCOPED_TRACE(testing::Message() << tree.name << " round " << round);
      std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(*db_, tree.name, nullptr, 0, tree.columns);
      for (int step = 0; step < 160; ++step) {
        const uint32_t kind = tree.rows.size() < 200 ? 0 : random() % 8;
        if (kind < 4) {
          const int32_t key = int32_t(random() % 3000);
          const auto held = tree.rows.find(key);
          const std::string text = held != tree.rows.end() ? held->second : textFor(key);
          std::vector<uint8_t> record = MakeRecord(*db_, key, text);
          const bool inserted = cursor->InsertRecord(record.data(), record.size(), true, true);
          ASSERT_EQ(held == tree.rows.end(), inserted) << key;
          if (!inserted) ASSERT_EQ(kDBErrorDuplicateKey, db_->LastError().code);
          tree.rows[key] = text;
          continue;
        }
        const auto row = pick(tree);
        const int32_t key = row->first;
        ASSERT_TRUE(seek(*cursor, tree, key, row->second)) << key;
        if (kind < 6) {
          ASSERT_TRUE(DeleteCurrentRecord(*cursor));
          tree.rows.erase(row);
        } else if (kind == 6) {
          // Same key, another length: the row is put back where it was.
          const std::string text = tree.columns.count == 1 ? std::string(random() % 300, 'u') : row->second;
          std::vector<uint8_t> record = MakeRecord(*db_, key, text);
          ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
          row->second = text;
        } else {
          // A new key: the row moves when its cursor goes.
          int32_t moved = int32_t(3000 + random() % 3000);
          while (tree.rows.count(moved)) ++moved;
          const std::string text = textFor(moved);
          std::unique_ptr<DBTreeCursor> mover = OpenTableTree(*db_, tree.name, nullptr, 0, tree.columns);
          ASSERT_TRUE(seek(*mover, tree, key, row->second));
          std::vector<uint8_t> record = MakeRecord(*db_, moved, text);
          ASSERT_TRUE(UpdateCurrentRecord(*mover, record.data(), record.size()));
          mover.reset();
          tree.rows.erase(row);
          tree.rows[moved] = text;
        }
      }
    }
    if (round % 3 == 2) {
      ASSERT_TRUE(db_->RollbackTransaction());
      for (Tree& tree : trees) tree.rows = tree.committed;
    } else {
      ASSERT_TRUE(db_->CommitTransaction());
      for (Tree& tree : trees) tree.committed = tree.rows;
    }
    if (round % 12 == 11) Reopen(), db_->SetCacheBudget(48);
    for (const Tree& tree : trees) {
      SCOPED_TRACE(testing::Message() << tree.name << " after round " << round);
      std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(*db_, tree.name, nullptr, 0, tree.columns);
      for (const auto& [key, text] : tree.rows) ASSERT_TRUE(seek(*cursor, tree, key, text)) << key;
      for (int32_t key = 0; key < 6000; key += 7)
        if (!tree.rows.count(key)) ASSERT_FALSE(seek(*cursor, tree, key, textFor(key))) << key;
      std::map<std::vector<uint8_t>, int32_t> ordered;
      for (const auto& [key, text] : tree.rows) ordered[keyOf(tree, key, text)] = key;
      cursor = OpenTableTree(*db_, tree.name, nullptr, 0, tree.columns);
      for (const auto& [built, key] : ordered) {
        ASSERT_TRUE(cursor->NextMatching());
        DBFieldValue field;
        ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &field));
        ASSERT_EQ(key, field.integer);
      }
      ASSERT_FALSE(cursor->NextMatching());
    }
  }
  EXPECT_TRUE(WalkAll(*db_));
}

TEST_F(DbstoreTree, OversizeRecordsAndKeysChangeNothing) {
  std::vector<uint8_t> largest = RecordOf(1, 8174);
  ASSERT_TRUE(InsertTableRecord(*db_, kTable, largest.data(), largest.size(), kKeyed, true));
  ASSERT_TRUE(db_->CommitTransaction());
  const uint32_t pages = db_->PageCount();
  for (size_t length : {size_t(8175), size_t(70000)}) {
    std::vector<uint8_t> record = RecordOf(2, length);
    db_->ClearError();
    EXPECT_FALSE(InsertTableRecord(*db_, kTable, record.data(), record.size(), kKeyed, true));
    EXPECT_EQ(kDBErrorTooLong, db_->LastError().code);
  }
  // A text key of 4074 bytes makes a key of 4076: refused; 4075 is taken.
  const uint8_t textColumn[] = {1};
  for (size_t text : {size_t(4074), size_t(4073)}) {
    std::vector<uint8_t> record = MakeRecord(*db_, 3, std::string(text, 'k'));
    db_->ClearError();
    const bool inserted = InsertTableRecord(*db_, kTable, record.data(), record.size(),
                                            DBKeyColumns{textColumn, 1}, true);
    EXPECT_EQ(text == 4073, inserted);
    if (!inserted) {
      EXPECT_EQ(kDBErrorTooLong, db_->LastError().code);
      EXPECT_FALSE(db_->InTransaction());
      EXPECT_EQ(pages, db_->PageCount());
    }
  }
  std::unique_ptr<DBTreeCursor> cursor = Table();
  ASSERT_TRUE(cursor->NextMatching());
  // One byte over the limit is refused by the cursor itself, on insert and
  // on update, and the row it stands on stays.
  for (size_t length : {size_t(8175), size_t(9000)}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> record = RecordOf(1, length);
    db_->ClearError();
    EXPECT_FALSE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
    EXPECT_EQ(kDBErrorTooLong, db_->LastError().code);
    EXPECT_EQ(8174u, EntryLength(cursor->CurrentEntry()));
    EXPECT_EQ(EntryState(cursor->CurrentEntry()), kDBEntryLive);
    record = RecordOf(4, length);
    db_->ClearError();
    EXPECT_FALSE(Table()->InsertRecord(record.data(), record.size(), true, true));
    EXPECT_EQ(kDBErrorTooLong, db_->LastError().code);
  }
  // The largest record replaces itself.
  std::vector<uint8_t> record = RecordOf(27, 8174);
  ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
  cursor.reset();
  Reopen();
  // Row 3 went in under a text key, so the walk is not in key order here.
  std::map<int32_t, uint16_t> lengths;
  for (cursor = Table(); cursor->NextMatching();) {
    DBFieldValue key;
    ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &key));
    lengths[key.integer] = EntryLength(cursor->CurrentEntry());
  }
  EXPECT_EQ((std::map<int32_t, uint16_t>{{3, 4073 + 22}, {27, 8174}}), lengths);
}

TEST_F(DbstoreTree, FullFileRefusesInsertsBeforeChangingAnything) {
  ASSERT_TRUE(CloseDatabaseFile(db_));
  db_ = nullptr;
  // Claim all but 20 pages of the largest file: only the first pages are real.
  storage_.File("tree")->Resize(uint32_t(DBPagePosition(kDBMaxPages - 20)));
  db_ = OpenOrFail(storage_, "tree");
  ASSERT_TRUE(db_);
  int32_t key = 0;
  for (; Insert(*db_, key, std::string(1000, 'f')) == 0; ++key) ASSERT_LE(db_->PageCount(), kDBMaxPages);
  EXPECT_EQ(kDBErrorFull, db_->LastError().code);
  EXPECT_EQ(std::string("Database file is full"), db_->LastError().text);
  EXPECT_LE(db_->PageCount(), kDBMaxPages);
  EXPECT_GT(key, 40);
  ASSERT_TRUE(db_->CommitTransaction());
  Reopen();
  EXPECT_EQ(size_t(key), ReadRows(*db_).size());
  db_->ClearError();
  EXPECT_FALSE(db_->NewPage(kDBKindTableLeaf, 0) && db_->PageCount() > kDBMaxPages);
}

}  // namespace
