// Records and keys: fields read back as stored, damaged fields are seen, and
// keys order values as the engine promises.
#include <cfloat>
#include <climits>
#include <cstring>

#include "core/diagnostics.h"
#include "core/string.h"
#include "tests/database/dbstore_support.h"

namespace {

class DbstoreKeys : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    db_ = CreateDatabaseFileAt(PathString("keys").get(), storage_);
    ASSERT_TRUE(db_);
  }
  void TearDown() override {
    CloseDatabaseFile(db_);
    StoreTest::TearDown();
  }

  // The key of one value of the type, from a values block holding it.
  template <class T>
  std::vector<uint8_t> KeyOf(uint32_t type, T value) {
    const DBFieldListItem item{0, type, 0};
    std::vector<uint8_t> key;
    EXPECT_TRUE(BuildKeyFromValues(*db_, &item, 1, &value, &key));
    // The record built from the same value gives the same key.
    std::vector<uint8_t> record, fromRecord;
    if (type != kDBFieldNone) {
      EXPECT_TRUE(BuildRecord(*db_, &item, 1, &value, &record));
      EXPECT_TRUE(BuildRecordKey(record.data(), kKeyed, &fromRecord));
      EXPECT_EQ(key, fromRecord);
    }
    return key;
  }
  std::vector<uint8_t> TextKey(const char* text) {
    StringRecord* string = StringFromASCII(text);
    std::vector<uint8_t> key = KeyOf(kDBFieldText, string);
    StringRecordRelease(string);
    return key;
  }

  DBFile* db_ = nullptr;
};

template <class T>
void ExpectAscending(const std::vector<T>& keys) {
  for (size_t i = 1; i < keys.size(); ++i)
    EXPECT_LT(keys[i - 1], keys[i]) << "key " << i;  // byte order of the vectors
}

TEST_F(DbstoreKeys, ValuesSortByTheirKeys) {
  ExpectAscending<std::vector<uint8_t>>({KeyOf(kDBFieldNone, 0), KeyOf(kDBFieldInt16, int16_t(SHRT_MIN)),
                                         KeyOf(kDBFieldInt16, int16_t(-1)), KeyOf(kDBFieldInt16, int16_t(1)),
                                         KeyOf(kDBFieldInt16, int16_t(SHRT_MAX))});
  ExpectAscending<std::vector<uint8_t>>({KeyOf(kDBFieldNone, 0), KeyOf(kDBFieldInt32, INT_MIN),
                                         KeyOf(kDBFieldInt32, -1), KeyOf(kDBFieldInt32, 0),
                                         KeyOf(kDBFieldInt32, 1), KeyOf(kDBFieldInt32, INT_MAX)});
  ExpectAscending<std::vector<uint8_t>>({KeyOf(kDBFieldSingle, -FLT_MAX), KeyOf(kDBFieldSingle, -1.5f),
                                         KeyOf(kDBFieldSingle, -0.5f), KeyOf(kDBFieldSingle, 0.0f),
                                         KeyOf(kDBFieldSingle, 0.5f), KeyOf(kDBFieldSingle, FLT_MAX)});
  ExpectAscending<std::vector<uint8_t>>({KeyOf(kDBFieldDouble, -1e300), KeyOf(kDBFieldDouble, -1.5),
                                         KeyOf(kDBFieldDouble, -0.5), KeyOf(kDBFieldDouble, 0.0),
                                         KeyOf(kDBFieldDouble, 0.5), KeyOf(kDBFieldDouble, 1e300)});
  // Text through the collation: cases interleave; a prefix sorts first.
  ExpectAscending<std::vector<uint8_t>>({KeyOf(kDBFieldNone, 0), TextKey(""), TextKey("A"),
                                         TextKey("a"), TextKey("ab"), TextKey("abc"), TextKey("B"),
                                         TextKey("b")});
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x48, 0x4F, 0x00}), TextKey("Aa"));
}

TEST_F(DbstoreKeys, KeylessTreeOrdersByReversedRecordId) {
  ASSERT_TRUE(CreateTableTree(*db_, kTable));
  std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db_, kTable, nullptr, 0, {});
  ASSERT_TRUE(table);
  for (uint32_t id : {1u, 256u, 2u}) {
    std::vector<uint8_t> record = MakeRecord(*db_, int32_t(id), "row");
    SetEntryRecordId(record.data(), id);
    ASSERT_TRUE(table->InsertRecord(record.data(), record.size(), true, false));
  }
  std::vector<uint32_t> order;
  table = OpenTableTree(*db_, kTable, nullptr, 0, {});
  while (table->NextMatching()) order.push_back(EntryRecordId(table->CurrentEntry()));
  EXPECT_EQ((std::vector<uint32_t>{256, 1, 2}), order);
}

TEST_F(DbstoreKeys, FieldsReadBackAsStored) {
  struct Values {
    int16_t small;
    int32_t large;
    float single;
    double real;
    uint16_t date[3];
    uint8_t flag;
    StringRecord* text;
    StringRecord* none;
  } values{-2, -70000, -1.25f, 3.5e10, {2024, 2, 29}, 1, StringFromASCII("hello"), nullptr};
  const DBFieldListItem items[] = {
      {1, kDBFieldInt16, int16_t(offsetof(Values, small))},
      {2, kDBFieldInt32, int16_t(offsetof(Values, large))},
      {3, kDBFieldSingle, int16_t(offsetof(Values, single))},
      {4, kDBFieldDouble, int16_t(offsetof(Values, real))},
      {5, kDBFieldDate, int16_t(offsetof(Values, date))},
      {6, kDBFieldTime, int16_t(offsetof(Values, date))},
      {7, kDBFieldBoolean, int16_t(offsetof(Values, flag))},
      {8, kDBFieldText, int16_t(offsetof(Values, text))},
      {9, kDBFieldBytes, int16_t(offsetof(Values, none))},
      {10, kDBFieldBlobId, int16_t(offsetof(Values, large))},
  };
  std::vector<uint8_t> record;
  ASSERT_TRUE(BuildRecord(*db_, items, std::size(items), &values, &record));
  StringRecordRelease(values.text);
  EXPECT_EQ(record.size(), EntryLength(record.data()));
  EXPECT_EQ(10u + 4 + 6 + 6 + 10 + 8 + 8 + 3 + 11 + 6 + 6, record.size());

  DBFieldValue value;
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 1, &value));
  EXPECT_EQ(-2, value.integer);
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 2, &value));
  const DBFieldValue large = value;
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 10, &value));
  EXPECT_EQ(-70000, large.integer);  // a result stays valid beside the next
  EXPECT_EQ(kDBFieldBlobId, value.type);
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 3, &value));
  EXPECT_EQ(-1.25, value.real);
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 4, &value));
  EXPECT_EQ(3.5e10, value.real);
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 6, &value));
  EXPECT_EQ(2024, value.parts[0]);
  EXPECT_EQ(29, value.parts[2]);
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 8, &value));
  EXPECT_EQ("hello", std::string(reinterpret_cast<const char*>(value.bytes), value.length));
  ASSERT_EQ(DBFieldLookup::kFound, FindField(record.data(), 9, &value));
  EXPECT_EQ(0u, value.length);
  EXPECT_EQ(DBFieldLookup::kAbsent, FindField(record.data(), 11, &value));

  // An unknown type code, and a text running past the entry, are damage.
  std::vector<uint8_t> damaged = record;
  damaged[10 + 1] = 99;
  EXPECT_EQ(DBFieldLookup::kDamaged, FindField(damaged.data(), 11, &value));
  damaged = record;
  const size_t textLength = record.size() - 6 - 6 - 9;  // the text's u32 length
  PutBigEndian32(damaged.data() + textLength, 6);
  EXPECT_EQ(DBFieldLookup::kDamaged, FindField(damaged.data(), 11, &value));
  EXPECT_FALSE(RecordFieldsValid(damaged.data()));

  // An unknown type in a list the engine built is its own fault.
  const DBFieldListItem bad{1, 99, 0};
  EXPECT_FALSE(BuildRecord(*db_, &bad, 1, &values, &record));
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("Failed Assertion", boxes[0].caption);
  EXPECT_NE(std::string::npos, boxes[0].text.find("kvdbThumb"));
}

TEST(DbstoreKeyCompare, ShorterPrefixFirstAndPrefixMatch) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  const uint8_t b[] = {'b'};
  EXPECT_EQ(-1, CompareKeys(abc, 2, abc, 3));
  EXPECT_EQ(1, CompareKeys(b, 1, abc, 3));
  EXPECT_EQ(0, CompareKeys(abc, 0, b, 0));
  EXPECT_EQ(0, ComparePrefix(abc, 3, abc, 2));
  EXPECT_EQ(-1, ComparePrefix(abc, 2, abc, 3));
  EXPECT_EQ(1, ComparePrefix(b, 1, abc, 2));
  EXPECT_EQ(0, ComparePrefix(b, 1, abc, 0));
}

}  // namespace
