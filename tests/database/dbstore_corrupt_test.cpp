// Damaged files: every kind of broken page is reported as 2011 by the
// operation that meets it, promptly and without an assertion, and randomly
// patched files give a clean result or 2011.
#include <chrono>
#include <random>

#include "tests/database/dbstore_support.h"

namespace {

class DbstoreCorrupt : public StoreTest {
 protected:
  // A table of `rows` rows of `text` bytes, committed and closed.
  std::string ValidFile(int32_t rows, size_t text = 180) {
    DBFile* db = NewDatabaseWithTable(storage_, "valid");
    for (int32_t key = 0; key < rows; ++key) Insert(*db, key * 2, std::string(text, 'v'));
    EXPECT_TRUE(CloseDatabaseFile(db));
    return storage_.Bytes("valid");
  }
  // The table's root and the leaf holding key 150.
  void FindPages(uint32_t* root, uint32_t* leaf) {
    DBFile* db = OpenOrFail(storage_, "valid");
    std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(*db, nullptr, nullptr, 0, {});
    ASSERT_TRUE(directory->NextMatching());
    *root = DirectoryRecordRoot(directory->CurrentEntry());
    std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
    const std::vector<uint8_t> key = KeyOf(150);
    ASSERT_TRUE(table->SeekKey(key.data(), key.size(), nullptr));
    *leaf = table->CurrentPageNumber();
    table.reset();
    directory.reset();
    CloseDatabaseFile(db);
  }
  static std::vector<uint8_t> KeyOf(int32_t key) {
    const uint32_t bits = uint32_t(key) ^ 0x80000000u;
    return {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits)};
  }
};

TEST_F(DbstoreCorrupt, EachDamageIsReportedByWhatMeetsIt) {
  for (const size_t text : {size_t(180), size_t(600)}) {
  SCOPED_TRACE(text);
  const std::string valid = ValidFile(text == 180 ? 400 : 150, text);
  uint32_t root = 0, leaf = 0;
  FindPages(&root, &leaf);
  ASSERT_NE(root, leaf);
  // The root's last entry, from the start of its data.
  size_t last = 0;
  for (size_t at = 0, used = GetBigEndian16(valid.data() + PageAt(root) + 16); at < used;
       at += GetBigEndian16(valid.data() + PageAt(root) + kDBPageHeaderSize + at))
    last = at;
  const size_t firstEntry = PageAt(leaf) + kDBPageHeaderSize;
  const size_t secondChild = PageAt(root) + kDBPageHeaderSize + 12 + 8;  // 2nd entry's child
  const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
      {"entry of length 0", [&](std::string& f) { WriteHalf(f, firstEntry, 0); }},
      {"used 8175", [&](std::string& f) { WriteHalf(f, PageAt(leaf) + 16, 8175); }},
      {"child is its ancestor", [&](std::string& f) { WriteWord(f, secondChild, root); }},
      {"child beyond the file", [&](std::string& f) { WriteWord(f, secondChild, 99999); }},
      {"unknown page kind", [&](std::string& f) { WriteWord(f, PageAt(leaf), 0xBEEF0009); }},
      {"unknown field type", [&](std::string& f) { f[firstEntry + 11] = char(99); }},
      // Fields {0: i32} {1: text}: the text's length is at entry byte 18.
      {"text one byte into the next entry",
       [&](std::string& f) { WriteWord(f, firstEntry + 18, ReadWord(f, firstEntry + 18) + 1); }},
      // Its last byte is then a field of its own, whose type byte would be
      // the next entry's first (2 for entries of 512 bytes or more).
      {"one byte left after the last field",
       [&](std::string& f) { WriteWord(f, firstEntry + 18, ReadWord(f, firstEntry + 18) - 1); }},
      {"interior entry past the page's used bytes",
       [&](std::string& f) {
         WriteHalf(f, PageAt(root) + kDBPageHeaderSize + last, uint16_t(kDBPageDataSize - last + 40));
       }},
      {"table root beyond the file",
       [&](std::string& f) { WriteWord(f, PageAt(0) + kDBPageHeaderSize + 10, 99999); }},
      {"directory name past its entry",
       [&](std::string& f) { WriteWord(f, PageAt(0) + kDBPageHeaderSize + 14, 9); }},
  };
  for (const auto& [name, damage] : damages) {
    // The long rows are there for the byte after the last field.
    if (text != 180 && std::string(name) != "one byte left after the last field") continue;
    SCOPED_TRACE(name);
    std::string bytes = valid;
    damage(bytes);
    storage_.File("damaged")->Assign(bytes);
    const auto start = std::chrono::steady_clock::now();
    DBFile* db = OpenOrFail(storage_, "damaged");
    ASSERT_TRUE(db);
    EXPECT_FALSE(WalkAll(*db));
    EXPECT_EQ(kDBErrorDamaged, db->LastError().code);
    EXPECT_EQ(std::string("Database file is damaged"), db->LastError().text);

    db->ClearError();
    std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
    if (table) {
      const std::vector<uint8_t> key = KeyOf(151);
      bool found = false;
      EXPECT_FALSE(table->SeekKey(key.data(), key.size(), &found));
      table.reset();
    }
    EXPECT_EQ(kDBErrorDamaged, db->LastError().code);
    EXPECT_EQ(kDBErrorDamaged, Insert(*db, 151, "new"));
    CloseDatabaseFile(db);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  }
}

TEST_F(DbstoreCorrupt, RandomlyPatchedFilesGiveCleanResultsOr2011) {
  const std::string valid = ValidFile(1900);
  ASSERT_GE((valid.size() - kDBHeaderSize) / kDBPageSize, 50u);
  std::mt19937 random(2024);
  const auto allowed = [](int32_t code) {
    return code == kDBErrorNone || code == kDBErrorDamaged || code == kDBErrorDuplicateKey;
  };
  int damagedSeen = 0;
  for (int copy = 0; copy < 1000; ++copy) {
    SCOPED_TRACE(copy);
    std::string bytes = valid;
    const int patches = 1 + int(random() % 8);
    for (int i = 0; i < patches; ++i) bytes[random() % bytes.size()] = char(random());
    MemoryStorage storage;
    storage.File("fuzz")->Assign(bytes);
    DBStorageError error;
    DBFile* db = OpenDatabaseFileAt(PathString("fuzz").get(), storage, &error);
    if (!db) {
      EXPECT_EQ(kDBErrorDamaged, error.code);
      ++damagedSeen;
      continue;
    }
    bool clean = WalkAll(*db);
    EXPECT_TRUE(allowed(db->LastError().code));
    for (int32_t key : {0, 1001, 3798}) {
      db->ClearError();
      std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
      const std::vector<uint8_t> wanted = KeyOf(key);
      bool found = false;
      if (table) clean = table->SeekKey(wanted.data(), wanted.size(), &found) && clean;
      EXPECT_TRUE(allowed(db->LastError().code));
    }
    clean = Insert(*db, 5001, "fuzz") == 0 && clean;
    EXPECT_TRUE(allowed(db->LastError().code));
    db->ClearError();
    db->CommitTransaction();
    EXPECT_TRUE(allowed(db->LastError().code));
    CloseDatabaseFile(db);
    damagedSeen += clean ? 0 : 1;
  }
  EXPECT_GT(damagedSeen, 100);
}

}  // namespace
