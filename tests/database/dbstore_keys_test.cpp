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

// Keys compared where they lie in the record agree with the keys built: for
// records of every key type (fields absent, negative, long), keyless ones,
// and probes that are each record's key, cut at every length, one byte
// higher or lower at every place, or longer.
TEST_F(DbstoreKeys, KeysComparedInPlaceAgreeWithBuiltKeys) {
  struct Values {
    int16_t small;
    int32_t large;
    float single;
    double real;
    uint16_t date[3];
    uint8_t flag;
    StringRecord* text;
  };
  const DBFieldListItem items[] = {
      {0, kDBFieldInt16, int16_t(offsetof(Values, small))},
      {1, kDBFieldInt32, int16_t(offsetof(Values, large))},
      {2, kDBFieldSingle, int16_t(offsetof(Values, single))},
      {3, kDBFieldDouble, int16_t(offsetof(Values, real))},
      {4, kDBFieldDate, int16_t(offsetof(Values, date))},
      {5, kDBFieldBoolean, int16_t(offsetof(Values, flag))},
      {6, kDBFieldText, int16_t(offsetof(Values, text))},
      {7, kDBFieldBytes, int16_t(offsetof(Values, text))},
  };
  const char* texts[] = {"", "ab", "abc", "Ab", "z\xE9"};
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 10; ++i) {
    StringRecord* text = StringFromASCII(texts[i % 5]);
    const Values values{int16_t(i % 2 ? -i : i * 300), i % 3 ? -70000 * i : i, i % 2 ? -1.5f * i : 0.25f * i,
                        i % 2 ? 1e10 * i : -2.5 * i, {uint16_t(2000 + i), uint16_t(1 + i), 3}, uint8_t(i % 2), text};
    std::vector<uint8_t> record;
    // Every second record leaves a column out.
    std::vector<DBFieldListItem> present(items, items + std::size(items));
    if (i % 2) present.erase(present.begin() + i % std::size(items));
    ASSERT_TRUE(BuildRecord(*db_, present.data(), present.size(), &values, &record));
    SetEntryRecordId(record.data(), 0x01020304u * uint32_t(i + 1));
    StringRecordRelease(text);
    records.push_back(std::move(record));
  }
  const uint8_t allColumns[] = {6, 0, 1, 2, 3, 4, 5, 7};
  const std::vector<DBKeyColumns> orders = {{}, {allColumns, 1}, {allColumns + 1, 7}, {allColumns, 8}};
  const auto sign = [](int32_t order) { return order < 0 ? -1 : order > 0 ? 1 : 0; };
  for (const DBKeyColumns& columns : orders) {
    std::vector<std::vector<uint8_t>> probes;
    std::vector<uint8_t> key;
    for (const std::vector<uint8_t>& record : records) {
      ASSERT_TRUE(BuildRecordKey(record.data(), columns, &key));
      for (size_t cut = 0; cut <= key.size(); ++cut) probes.emplace_back(key.begin(), key.begin() + cut);
      for (size_t at = 0; at < key.size(); ++at) {
        for (const int step : {-1, 1}) {
          std::vector<uint8_t> changed = key;
          changed[at] = uint8_t(changed[at] + step);
          probes.push_back(changed);
        }
      }
      std::vector<uint8_t> longer = key;
      longer.push_back(0);
      probes.push_back(longer);
    }
    for (const std::vector<uint8_t>& record : records) {
      ASSERT_TRUE(BuildRecordKey(record.data(), columns, &key));
      for (const std::vector<uint8_t>& probe : probes) {
        int32_t order = 9;
        bool prefixed = false;
        ASSERT_TRUE(CompareEntryKey(kDBKindTableLeaf, record.data(), columns, probe.data(), probe.size(),
                                    &order));
        ASSERT_TRUE(EntryKeyHasPrefix(record.data(), columns, probe.data(), probe.size(), &prefixed));
        ASSERT_EQ(sign(CompareKeys(key.data(), key.size(), probe.data(), probe.size())), order)
            << columns.count << " columns, probe of " << probe.size();
        ASSERT_EQ(ComparePrefix(key.data(), key.size(), probe.data(), probe.size()) == 0, prefixed);
      }
    }
  }
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
