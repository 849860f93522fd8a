// How rows lie in the file: a load in increasing key order fills its leaf
// pages, and a file written by an earlier build of the writer (a fixture)
// reads the same, while the same changes made now write the same bytes.
#include <numeric>
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

TEST_F(DbstoreLayout, FileOfAnEarlierWriterReadsTheSameAndIsWrittenTheSame) {
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

  // The same changes now: the same bytes but for the file id.
  WriteLayoutSample(storage_, "now");
  std::string now = storage_.Bytes("now");
  ASSERT_EQ(earlier.size(), now.size());
  now.replace(kDBHeaderFileIdAt, 8, earlier, kDBHeaderFileIdAt, 8);
  for (size_t at = 0; at < now.size(); at += kDBPageSize)
    ASSERT_TRUE(earlier.compare(at, kDBPageSize, now, at, kDBPageSize) == 0) << "bytes from " << at;
}

}  // namespace
