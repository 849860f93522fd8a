// BLOB chunks: the layouts values are cut into, round trips, chains
// damaged by hand, and a write killed at any point.
#include <numeric>

#include "tests/database/dbengine_support.h"

namespace {

class DbEngineBlob : public DbEngineTest {
 protected:
  // A chunk with a chosen id: the kind word, then the bytes.
  bool PutChunk(uint32_t id, const std::vector<uint8_t>& bytes, int32_t kind = 1) {
    std::vector<uint8_t> value(4);
    PutBigEndian32(value.data(), uint32_t(bytes.size() + (kind < 0 ? 0 : 4)));
    if (kind >= 0) value.insert(value.end(), {0, 0, 0, uint8_t(kind)});
    value.insert(value.end(), bytes.begin(), bytes.end());
    DBRecordWriter writer;
    writer.Begin();
    writer.AddStored(1, kDBFieldBytes, value.data(), uint32_t(value.size()));
    std::vector<uint8_t>& record = writer.Finish();
    SetEntryRecordId(record.data(), id);
    std::unique_ptr<DBTreeCursor> tree = db_->OpenTree(kDBBlobName, {});
    return tree && tree->InsertRecord(record.data(), record.size(), false, false);
  }
  static std::vector<uint8_t> Index(const std::vector<uint32_t>& ids) {
    std::vector<uint8_t> entries(ids.size() * 8);
    for (size_t i = 0; i < ids.size(); ++i) PutBigEndian32(&entries[i * 8], ids[i]);
    return entries;
  }
  // "data <n>" or "index <entries>" of a stored chunk, with the entries of
  // an index described one level down.
  std::string Describe(uint32_t id, bool expand = true) {
    std::unique_ptr<DBTreeCursor> tree = db_->OpenTree(kDBBlobName, {});
    const uint8_t key[] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    DBFieldValue field;
    if (!tree->SeekKey(key, 4, nullptr) || !tree->NextMatching() ||
        EntryRecordId(tree->CurrentEntry()) != id ||
        FindField(tree->CurrentEntry(), 1, &field) != DBFieldLookup::kFound)
      return "missing";
    const std::vector<uint8_t> bytes(field.bytes + 4, field.bytes + field.length);
    if (GetBigEndian32(field.bytes) == 0) return "data " + std::to_string(bytes.size());
    std::string text = "index " + std::to_string(bytes.size() / 8);
    if (!expand) return text;
    tree.reset();
    for (size_t i = 0; i < bytes.size(); i += 8)
      text += (i ? ", " : " [") + Describe(GetBigEndian32(&bytes[i]), false);
    return text + "]";
  }
};

TEST_F(DbEngineBlob, ValuesAreCutIntoChunksAndReadBackWhole) {
  const struct {
    size_t length;
    const char* layout;
  } cases[] = {
      {4000, "data 4000"},
      {4001, "index 2 [data 4000, data 1]"},
      {2000001, "index 2 [index 500, data 1]"},
      {10000000, "index 5 [index 500, data 4000, data 4000, data 4000, data 4000]"},
  };
  for (const auto& test : cases) {
    std::vector<uint8_t> bytes(test.length);
    std::iota(bytes.begin(), bytes.end(), uint8_t(test.length));
    int32_t id = 0;
    ASSERT_TRUE(WriteBlob(*db_, bytes.data(), bytes.size(), &id)) << test.length;
    EXPECT_EQ(test.layout, Describe(uint32_t(id))) << test.length;
    std::vector<uint8_t> back;
    EXPECT_TRUE(ReadBlob(*db_, id, &back)) << Error();
    EXPECT_TRUE(back == bytes) << test.length;
  }
}

TEST_F(DbEngineBlob, DamagedChainsGiveErrorsNeitherCrashesNorHangs) {
  const struct {
    const char* name;
    uint32_t id;
    std::vector<uint8_t> bytes;
    int32_t kind;
  } cases[] = {
      {"an index naming itself", 900, Index({900}), 1},
      {"a chunk of two bytes", 901, {1, 2}, -1},
      {"a missing chunk", 902, Index({123456}), 1},
      {"a data chunk over 4,000 bytes", 903, std::vector<uint8_t>(4001), 0},
      {"an index of 501 entries", 904, Index(std::vector<uint32_t>(501, 903)), 1},
      {"an unknown kind", 905, {}, 7},
  };
  for (const auto& test : cases) {
    ASSERT_TRUE(PutChunk(test.id, test.bytes, test.kind)) << test.name;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadBlob(*db_, int32_t(test.id), &bytes)) << test.name;
    EXPECT_EQ("2011 Database file is damaged", Error()) << test.name;
    EXPECT_FALSE(DeleteBlob(*db_, int32_t(test.id))) << test.name;
  }
  // 100,000 index chunks, each naming the one before; the first names "z".
  const uint32_t first = 1000000, count = 100000;
  ASSERT_TRUE(PutChunk(first - 1, {'z'}, 0));
  for (uint32_t id = first; id < first + count; ++id) ASSERT_TRUE(PutChunk(id, Index({id - 1})));
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadBlob(*db_, int32_t(first + count - 1), &bytes)) << Error();
  EXPECT_EQ(std::vector<uint8_t>{'z'}, bytes);
  const size_t chunks = BlobChunks();
  EXPECT_TRUE(DeleteBlob(*db_, int32_t(first + count - 1))) << Error();
  EXPECT_EQ(chunks - count - 1, BlobChunks());
}

// A BLOB's chunks fill a long run of new pages, which the file grows ahead
// of: killed after any write of the value and its commit, the file opens
// with the BLOB committed before whole and the new one whole or absent, and
// the commit leaves the file holding exactly its pages.
TEST_F(DbEngineBlob, AWriteKilledAfterAnyWriteKeepsEveryCommittedValue) {
  const auto value = [](size_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), seed);
    return bytes;
  };
  const std::vector<uint8_t> before = value(30000, 7), added = value(400000, 11);
  int32_t first = 0, second = 0;
  ASSERT_TRUE(WriteBlob(*db_, before.data(), before.size(), &first) && db_->Commit()) << Error();
  std::vector<std::map<std::string, std::string>> snapshots;
  storage_.afterWrite = [&] { snapshots.push_back(storage_.Snapshot()); };
  ASSERT_TRUE(WriteBlob(*db_, added.data(), added.size(), &second) && db_->Commit()) << Error();
  storage_.afterWrite = nullptr;
  EXPECT_EQ(PageAt(db_->File().PageCount()), storage_.Bytes(kPath).size());
  ASSERT_GT(snapshots.size(), 3u);

  bool sawAdded = false;
  for (size_t i = 0; i < snapshots.size(); ++i) {
    MemoryStorage crashed;
    crashed.Restore(snapshots[i]);
    DBEngineDatabase* reopened = OpenEngineDatabaseAt(PathString(kPath).get(), crashed);
    ASSERT_NE(reopened, nullptr) << "write " << i;
    std::vector<uint8_t> back;
    EXPECT_TRUE(ReadBlob(*reopened, first, &back) && back == before) << "write " << i;
    if (ReadBlob(*reopened, second, &back)) {
      EXPECT_TRUE(back == added) << "write " << i;
      sawAdded = true;
    } else {
      EXPECT_FALSE(sawAdded) << "write " << i << ": a committed value went missing";
    }
    CloseEngineDatabase(reopened);
  }
  EXPECT_TRUE(sawAdded);
}

}  // namespace
