// How rows lie in the file: loads in increasing key order and keyless loads
// fill their leaf pages, random ones mostly, and a file written by an
// earlier build of the writer (a fixture) reads and takes changes as one
// written now.
#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "tests/database/dbstore_support.h"

namespace {

class DbstoreLayout : public StoreTest {};

// Leaf pages of the test table, in page-number order: their used bytes.
std::vector<uint32_t> LeafUse(DBFile& db) {
  std::vector<uint32_t> used;
  for (uint32_t number = 0; number < db.PageCount(); ++number) {
    DBPageRef page = db.GetPage(number);
    if (page && page.Kind() == kDBKindTableLeaf) used.push_back(page.Used());
  }
  return used;
}

std::string TextOf(int32_t key) { return "row " + std::to_string(key) + std::string(20 + key % 23, 'x'); }

TEST_F(DbstoreLayout, IncreasingKeysFillTheirLeafPages) {
  struct Case {
    const char* name;
    int32_t rowsPerTransaction;
  };
  const Case cases[] = {{"one transaction", 6000}, {"a commit every 100 rows", 100}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    DBFile* db = NewDatabaseWithTable(storage_, test.name);
    ASSERT_TRUE(db);
    Rows rows;
    for (int32_t key = 0; key < 6000; ++key) {
      ASSERT_EQ(0, Insert(*db, key, TextOf(key)));
      rows[key] = TextOf(key);
      if ((key + 1) % test.rowsPerTransaction == 0) ASSERT_TRUE(db->CommitTransaction());
    }
    ASSERT_TRUE(CloseDatabaseFile(db));
    db = OpenOrFail(storage_, test.name);
    ASSERT_TRUE(db);
    EXPECT_TRUE(SameRows(rows, ReadRows(*db)));
    // Every leaf but the one the load ended on is at least 90% used.
    const std::vector<uint32_t> used = LeafUse(*db);
    ASSERT_GE(used.size(), 20u);
    for (size_t i = 0; i + 1 < used.size(); ++i)
      EXPECT_GE(used[i] * 10, kDBPageDataSize * 9) << "leaf " << i << " of " << used.size();
    EXPECT_TRUE(CloseDatabaseFile(db));
  }
}

// Keys in random order: leaves at least 70% full on average, and a cursor
// walking meanwhile gives every row committed before it once, in order.
TEST_F(DbstoreLayout, RandomKeysFillMostOfTheirPagesWhileACursorWalks) {
  DBFile* db = NewDatabaseWithTable(storage_, "random");
  ASSERT_TRUE(db);
  std::vector<int32_t> keys(8000);
  std::iota(keys.begin(), keys.end(), 0);
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  Rows rows;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i == keys.size() / 2) ASSERT_TRUE(db->CommitTransaction());
    ASSERT_EQ(0, Insert(*db, keys[i], TextOf(keys[i])));
    rows[keys[i]] = TextOf(keys[i]);
  }
  // Again, with a walker going on between the inserts.
  std::unique_ptr<DBTreeCursor> walker = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
  std::vector<int32_t> walked;
  DBFieldValue value;
  const Rows committed = rows;
  for (size_t i = 0; i < keys.size(); ++i) {
    const int32_t key = int32_t(keys.size()) + keys[i] * 2;
    ASSERT_EQ(0, Insert(*db, key, TextOf(key)));
    rows[key] = TextOf(key);
    if (i % 3 == 0 && walker->NextMatching()) {
      ASSERT_EQ(DBFieldLookup::kFound, FindField(walker->CurrentEntry(), 0, &value));
      ASSERT_TRUE(walked.empty() || value.integer > walked.back()) << value.integer;
      walked.push_back(value.integer);
    }
  }
  while (walker->NextMatching()) {
    ASSERT_EQ(DBFieldLookup::kFound, FindField(walker->CurrentEntry(), 0, &value));
    ASSERT_TRUE(walked.empty() || value.integer > walked.back()) << value.integer;
    walked.push_back(value.integer);
  }
  walker.reset();
  for (const auto& row : committed)
    EXPECT_TRUE(std::binary_search(walked.begin(), walked.end(), row.first)) << row.first;
  ASSERT_TRUE(CloseDatabaseFile(db));
  db = OpenOrFail(storage_, "random");
  ASSERT_TRUE(db);
  EXPECT_TRUE(WalkAll(*db));
  EXPECT_TRUE(SameRows(rows, ReadRows(*db)));
  // Every key is found where the tree's interior sends a seek.
  std::unique_ptr<DBTreeCursor> seeker = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
  for (const auto& row : rows) {
    const uint32_t bits = uint32_t(row.first) ^ 0x80000000u;
    const uint8_t key[] = {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8),
                           uint8_t(bits)};
    bool found = false;
    ASSERT_TRUE(seeker->SeekKey(key, sizeof key, &found));
    EXPECT_TRUE(found) << row.first;
  }
  seeker.reset();
  const std::vector<uint32_t> used = LeafUse(*db);
  const uint64_t total = std::accumulate(used.begin(), used.end(), uint64_t(0));
  EXPECT_GE(total * 10, uint64_t(used.size()) * kDBPageDataSize * 7) << used.size() << " leaves";
  EXPECT_TRUE(CloseDatabaseFile(db));
}

// Records of every size from 30 bytes to half a page in random order, keyed
// by number and by long texts (whose separators differ in length): full
// leaves share with their siblings only what leaves room for the new
// record and fits the parent, so every row reads and seeks back.
TEST_F(DbstoreLayout, RecordsOfEverySizeInRandomOrderReadAndSeekBack) {
  const uint8_t textColumn[] = {1};
  for (const DBKeyColumns columns : {kKeyed, DBKeyColumns{textColumn, 1}}) {
    SCOPED_TRACE(columns.columns == textColumn ? "text keys" : "number keys");
    const char* path = columns.columns == textColumn ? "texts" : "numbers";
    DBFile* db = NewDatabaseWithTable(storage_, path);
    ASSERT_TRUE(db);
    std::mt19937 random(11);
    std::map<std::vector<uint8_t>, std::vector<uint8_t>> records;  // by key
    std::vector<uint8_t> key;
    for (int32_t i = 0; i < 1500; ++i) {
      const std::string text = std::to_string(random()) + std::string(8 + random() % 4000, 't');
      std::vector<uint8_t> record = MakeRecord(*db, i, text);
      std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, columns);
      ASSERT_TRUE(table->InsertRecord(record.data(), record.size(), true, true)) << i;
      ASSERT_TRUE(BuildRecordKey(record.data(), columns, &key));
      records[key] = record;
    }
    ASSERT_TRUE(CloseDatabaseFile(db));
    db = OpenOrFail(storage_, path);
    ASSERT_TRUE(db);
    std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, columns);
    auto expected = records.begin();
    for (; table->NextMatching(); ++expected) {
      ASSERT_NE(records.end(), expected);
      const uint8_t* entry = table->CurrentEntry();
      ASSERT_EQ(expected->second.size(), EntryLength(entry));
      EXPECT_EQ(0, std::memcmp(expected->second.data() + 10, entry + 10, expected->second.size() - 10));
    }
    EXPECT_EQ(records.end(), expected);
    EXPECT_EQ(kDBErrorNone, db->LastError().code);
    for (const auto& [wanted, record] : records) {
      bool found = false;
      ASSERT_TRUE(table->SeekKey(wanted.data(), wanted.size(), &found));
      EXPECT_TRUE(found);
    }
    table.reset();
    EXPECT_TRUE(CloseDatabaseFile(db));
  }
}

// {key, record id} of a keyless walk of the test table.
std::vector<std::pair<int32_t, uint32_t>> KeylessWalk(DBFile& db) {
  std::vector<std::pair<int32_t, uint32_t>> rows;
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, kTable, nullptr, 0, {});
  DBFieldValue key;
  while (cursor->NextMatching()) {
    EXPECT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &key));
    rows.emplace_back(key.integer, EntryRecordId(cursor->CurrentEntry()));
  }
  return rows;
}

// Rows of a keyless tree as an earlier writer left them (ids from the
// file's count), then rows added now: the new ones walk back in the order
// they went in, fill their pages, and meet no earlier id.
TEST_F(DbstoreLayout, KeylessInsertsAppendAfterRowsOfAnEarlierWriter) {
  DBFile* db = NewDatabaseWithTable(storage_, "keyless");
  ASSERT_TRUE(db);
  std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, {});
  for (int32_t key = -300; key < 0; ++key) {
    std::vector<uint8_t> record = MakeRecord(*db, key, TextOf(-key));
    SetEntryRecordId(record.data(), db->NextRecordId());
    ASSERT_TRUE(table->InsertRecord(record.data(), record.size(), false, false));
  }
  ASSERT_TRUE(db->CommitTransaction());
  const uint32_t pagesBefore = db->PageCount();
  for (int32_t key = 0; key < 6000; ++key) {
    std::vector<uint8_t> record = MakeRecord(*db, key, TextOf(key));
    ASSERT_TRUE(table->InsertRecord(record.data(), record.size(), false, true));
    if (key == 3000) ASSERT_TRUE(db->CommitTransaction());
  }
  table.reset();
  ASSERT_TRUE(CloseDatabaseFile(db));
  db = OpenOrFail(storage_, "keyless");
  ASSERT_TRUE(db);
  const std::vector<std::pair<int32_t, uint32_t>> rows = KeylessWalk(*db);
  ASSERT_EQ(6300u, rows.size());
  std::vector<int32_t> added;
  std::set<uint32_t> ids;
  uint32_t addedBytes = 0;
  for (const auto& [key, id] : rows) {
    ids.insert(id);
    if (key < 0) continue;
    added.push_back(key);
    addedBytes += uint32_t(MakeRecord(*db, key, TextOf(key)).size());
  }
  EXPECT_EQ(6300u, ids.size());
  std::vector<int32_t> inOrder(6000);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  EXPECT_EQ(inOrder, added);
  // Full pages, but for a few where the new rows meet the earlier ones.
  EXPECT_LE(db->PageCount() - pagesBefore, addedBytes / (kDBPageDataSize * 9 / 10) + 4);
  EXPECT_TRUE(CloseDatabaseFile(db));
}

// The changes the fixture holds: an increasing load that splits leaves and
// grows a root, keys landing between them in a second transaction, then
// deletes and updates in a third.
void WriteLayoutSample(MemoryStorage& storage, const char* path) {
  DBFile* db = NewDatabaseWithTable(storage, path);
  ASSERT_TRUE(db);
  for (int32_t key = 0; key < 400; ++key) ASSERT_EQ(0, Insert(*db, key * 10, TextOf(key)));
  ASSERT_TRUE(db->CommitTransaction());
  for (int32_t i = 0; i < 100; ++i) {
    const int32_t key = (i * 37 % 100) * 40 + 5;
    ASSERT_EQ(0, Insert(*db, key, TextOf(key)));
  }
  ASSERT_TRUE(db->CommitTransaction());
  {
    std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
    DBFieldValue key;
    while (cursor->NextMatching()) {
      ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &key));
      if (key.integer % 7 == 0) {
        ASSERT_TRUE(DeleteCurrentRecord(*cursor));
      } else if (key.integer % 11 == 0) {
        const std::vector<uint8_t> record = MakeRecord(*db, key.integer, "changed");
        ASSERT_TRUE(UpdateCurrentRecord(*cursor, record.data(), record.size()));
      }
    }
  }
  ASSERT_TRUE(CloseDatabaseFile(db));
}

Rows LayoutSampleRows() {
  Rows rows;
  for (int32_t key = 0; key < 400; ++key) rows[key * 10] = TextOf(key);
  for (int32_t i = 0; i < 100; ++i) rows[i * 40 + 5] = TextOf(i * 40 + 5);
  for (auto row = rows.begin(); row != rows.end();) {
    if (row->first % 7 == 0) {
      row = rows.erase(row);
      continue;
    }
    if (row->first % 11 == 0) row->second = "changed";
    ++row;
  }
  return rows;
}

TEST_F(DbstoreLayout, FileOfAnEarlierWriterReadsAndIsWrittenAsANewOne) {
  const std::string earlier = StoredFile("layout.db");
  ASSERT_GT(earlier.size(), PageAt(4));
  storage_.File("earlier")->Assign(earlier);
  DBFile* db = OpenOrFail(storage_, "earlier");
  ASSERT_TRUE(db);
  EXPECT_TRUE(WalkAll(*db));
  EXPECT_TRUE(SameRows(LayoutSampleRows(), ReadRows(*db)));
  // Loading its pages drops the deleted rows (a change of its own).
  EXPECT_TRUE(CloseDatabaseFile(db));
  db = OpenOrFail(storage_, "earlier");
  ASSERT_TRUE(db);
  EXPECT_TRUE(WalkAll(*db));
  EXPECT_TRUE(SameRows(LayoutSampleRows(), ReadRows(*db)));
  EXPECT_TRUE(CloseDatabaseFile(db));

  // The same changes made now give the same rows, however the pages are
  // filled; and more changes, keys landing between the rows and deletes,
  // read back the same from the earlier file as from the new one.
  WriteLayoutSample(storage_, "now");
  Rows more = LayoutSampleRows();
  for (const char* path : {"earlier", "now"}) {
    SCOPED_TRACE(path);
    db = OpenOrFail(storage_, path);
    ASSERT_TRUE(db);
    EXPECT_TRUE(SameRows(LayoutSampleRows(), ReadRows(*db)));
    for (int32_t key = 3; key < 4000; key += 10) {
      ASSERT_EQ(0, Insert(*db, key, TextOf(key)));
      more[key] = TextOf(key);
    }
    std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
    DBFieldValue key;
    while (cursor->NextMatching()) {
      ASSERT_EQ(DBFieldLookup::kFound, FindField(cursor->CurrentEntry(), 0, &key));
      if (key.integer % 13 != 0) continue;
      ASSERT_TRUE(DeleteCurrentRecord(*cursor));
      more.erase(key.integer);
    }
    cursor.reset();
    ASSERT_TRUE(CloseDatabaseFile(db));
    db = OpenOrFail(storage_, path);
    ASSERT_TRUE(db);
    EXPECT_TRUE(WalkAll(*db));
    EXPECT_TRUE(SameRows(more, ReadRows(*db)));
    EXPECT_TRUE(CloseDatabaseFile(db));
  }
}

}  // namespace
