// The table layer: catalog rows, refusals that leave the file alone, value
// texts, rollback of a CREATE, write faults and a damaged catalog.
#include <cstring>
#include <functional>

#include "core/basicstr.h"
#include "core/utility.h"

#include "tests/database/dbengine_support.h"

namespace {

// "column:type=value" for each field of a catalog record.
std::string FieldsText(const uint8_t* record) {
  std::string text;
  for (uint8_t column = 0; column < 8; ++column) {
    DBFieldValue field;
    if (FindField(record, column, &field) != DBFieldLookup::kFound) continue;
    text += (text.empty() ? "" : " ") + std::to_string(column) + ":" + std::to_string(field.type) + "=";
    text += field.bytes ? std::string(reinterpret_cast<const char*>(field.bytes), field.length)
                        : std::to_string(field.integer);
  }
  return text;
}

std::vector<std::string> TreeRows(DBFile& file, const char* tree) {
  std::vector<std::string> rows;
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(file, tree, nullptr, 0, {});
  while (cursor && cursor->NextMatching()) rows.push_back(FieldsText(cursor->CurrentEntry()));
  return rows;
}

const std::vector<ColumnSpec> kTable = {{"id", 3, 0}, {"name", 5},  {"d", 8},
                                        {"tm", 9},    {"s", 2},     {"bl", 16}};

class DbEngineCatalog : public DbEngineTest {
 protected:
  // Stores a "sys$fields" row for the table past the checks CreateTable and
  // AddColumn make; with a type, as a nullable column of that type.
  bool StoreColumnRow(const char* table, int32_t number, const char* name, int16_t type = 0) {
    DBRecordWriter writer;
    writer.Begin();
    DBFieldInput field;
    field.type = kDBFieldInt32;
    field.integer = int32_t(db_->FindTable(S(table))->id);
    writer.AddField(0, field);
    field.integer = number;
    writer.AddField(1, field);
    ConvertValueText(kDBFieldText, S(name), &field);
    writer.AddField(2, field);
    if (type) {
      field = DBFieldInput();
      field.type = kDBFieldInt16;
      field.smallint = 1;
      writer.AddField(3, field);
      field.smallint = type;
      writer.AddField(4, field);
    }
    std::vector<uint8_t>& record = writer.Finish();
    const uint8_t keys[] = {0, 2};
    return InsertTableRecord(db_->File(), kDBFieldsName, record.data(), record.size(), {keys, 2}, true);
  }
};

TEST_F(DbEngineCatalog, CreateTableStoresItsCatalogRows) {
  ASSERT_TRUE(Create("People", {{"id", 3, 0}, {"name", 5}, {"born", 8}}, {0})) << Error();
  // The system trees took ids 1 to 3: the table is 4.
  EXPECT_EQ(std::vector<std::string>{"0:3=4 1:5=People"}, TreeRows(db_->File(), kDBTablesName));
  EXPECT_EQ((std::vector<std::string>{"0:3=4 1:3=2 2:5=born 3:2=1 4:2=8",
                                      "0:3=4 1:3=0 2:5=id 3:2=0 4:2=3 5:2=1",
                                      "0:3=4 1:3=1 2:5=name 3:2=1 4:2=5"}),
            TreeRows(db_->File(), kDBFieldsName));
}

TEST_F(DbEngineCatalog, RefusalsGiveTheirTextsAndLeaveTheFileAsItWas) {
  ASSERT_TRUE(Create("t", kTable, {0}));
  std::vector<ColumnSpec> wide, tooWide;
  for (int i = 0; i < 257; ++i) tooWide.push_back({"c" + std::to_string(i), 3});
  wide.assign(tooWide.begin(), tooWide.end() - 1);
  ASSERT_TRUE(Create("w", wide));
  ASSERT_TRUE(db_->Commit());
  const std::string before = storage_.Bytes(kPath);
  DBColumnDefinition* c = Columns({{"c", 3}});
  const struct {
    const char* name;
    std::function<bool()> operation;
    const char* error;
  } cases[] = {
      {"exists", [&] { return Create("T", {{"a", 3}}); }, "2000 Unable to create T because it already exists"},
      {"timestamp", [&] { return Create("u", {{"a", 10}}); },
       "2002 Unable to create u because an unsupported column type was used"},
      {"257 columns", [&] { return Create("u", tooWide); },
       "2002 Unable to create u because it has too many columns"},
      {"names in two cases", [&] { return Create("u", {{"a", 3}, {"A", 5}}); },
       "2005 Insert failed: primary key violation"},
      {"key past the columns", [&] { return Create("u", {{"a", 3}}, {1}); },
       "2001 Unable to create u due to an internal error"},
      {"key twice", [&] { return Create("u", {{"a", 3}, {"b", 3}}, {0, 0}); },
       "2001 Unable to create u due to an internal error"},
      {"add to no table", [&] { return AddColumn(*db_, S("x"), c); },
       "2003 Unable to add column c because table 'x' doesn't exist"},
      {"add a timestamp", [&] { return AddColumn(*db_, S("t"), Columns({{"c", 10}})); },
       "2002 Unable to add c because an unsupported  type was used"},
      {"add a name the table has", [&] { return AddColumn(*db_, S("t"), Columns({{"NAME", 5}})); },
       "2005 Insert failed: primary key violation"},
      {"add a 257th", [&] { return AddColumn(*db_, S("w"), c); },
       "2002 Unable to add c because table 'w' has too many columns"},
      {"insert into none", [&] { return Insert("x", {{"id", "1"}}); }, "2003 Unknown table x"},
      {"unknown column", [&] { return Insert("t", {{"id", "1"}, {"zz", "1"}}); }, "2003 Unknown column zz"},
      {"NOT NULL left out", [&] { return Insert("t", {{"name", "a"}}); }, "2003 NotNull column violation"},
      {"NOT NULL given nil", [&] { return Insert("t", {{"id", nullptr}}); }, "2003 NotNull column violation"},
      {"date with slashes", [&] { return Insert("t", {{"id", "1"}, {"d", "2024/1/5"}}); },
       "2003 Invalid date format"},
      {"year 70000", [&] { return Insert("t", {{"id", "1"}, {"bl", "x"}, {"d", "70000-1-1"}}); },
       "2003 Invalid date format"},
      {"time of one part", [&] { return Insert("t", {{"id", "1"}, {"tm", "10"}}); }, "2003 Invalid time format"},
      {"smallint 70000", [&] { return Insert("t", {{"id", "1"}, {"s", "70000"}}); }, "2003 Invalid integer value"},
  };
  for (const auto& test : cases) {
    EXPECT_FALSE(test.operation()) << test.name;
    EXPECT_EQ(test.error, Error()) << test.name;
    EXPECT_TRUE(db_->Commit());
    EXPECT_TRUE(storage_.Bytes(kPath) == before) << test.name << " changed the file";
  }
}

TEST_F(DbEngineCatalog, InsertConvertsTextsAndARefusedRowKeepsNoBlob) {
  ASSERT_TRUE(Create("t", kTable, {0}));
  ASSERT_TRUE(Insert("t", {{"id", "1"}, {"name", nullptr}, {"d", "2024-1-5 10:00"},
                           {"tm", " 10:30 "}, {"s", "-7"}, {"bl", "bytes"}}))
      << Error();
  EXPECT_EQ(std::vector<std::string>{"1|NULL|2024-01-05|10:30:00|-7|bytes"}, Rows("t"));
  const size_t chunks = BlobChunks();
  EXPECT_FALSE(Insert("t", {{"id", "1"}, {"bl", std::string(9000, 'b').c_str()}}));
  EXPECT_EQ("2005 Insert failed: primary key violation", Error());
  EXPECT_EQ(chunks, BlobChunks());
}

TEST_F(DbEngineCatalog, ARolledBackCreateLeavesNothing) {
  ASSERT_TRUE(db_->Commit());
  ASSERT_TRUE(Create("r", {{"a", 3}}));
  ASSERT_TRUE(db_->Rollback());
  EXPECT_FALSE(Insert("r", {{"a", "1"}}));
  EXPECT_EQ("2003 Unknown table r", Error());
  ASSERT_TRUE(Create("r", {{"a", 3}})) << Error();
  EXPECT_TRUE(Insert("r", {{"a", "1"}})) << Error();
}

TEST_F(DbEngineCatalog, AFailingWriteLeavesExactlyTheCommittedRows) {
  const std::string big(6000, 'x');
  const std::vector<std::function<bool()>> steps = {
      [&] { return Create("t", {{"id", 3}, {"bl", 15}}, {0}); },
      [&] { return Insert("t", {{"id", "1"}, {"bl", big.c_str()}}) && Insert("t", {{"id", "2"}, {"bl", "b"}}); },
      [&] {
        DBEngineCursor* cursor = Open("t", C("id", kDBOpEqual, "1"));
        DBPendingValue blob{nullptr, 1, S("new")}, id{&blob, 0, S("3")};
        const bool updated = cursor && cursor->MoveNext() && cursor->Update(&id);
        delete cursor;
        return updated && db_->ErrorCode() == 0;
      },
  };
  DBEngineDatabase* const fixtureDatabase = db_;
  bool failed = true;
  for (int64_t failAt = 1; failed && failAt < 1000; ++failAt) {
    MemoryStorage storage;
    CloseEngineDatabase(CreateEngineDatabaseAt(PathString(kPath).get(), storage));
    storage.failAt = storage.mutations + failAt;
    db_ = OpenEngineDatabaseAt(PathString(kPath).get(), storage);
    // What a reopen may show: the last committed rows, or those of a
    // commit that failed after its commit point.
    std::vector<std::string> committed = {"no cursor"}, pending = committed;
    failed = !db_;
    for (size_t step = 0; !failed && step < steps.size(); ++step) {
      failed = !steps[step]();
      if (!failed) pending = Rows("t");
      failed = failed || !db_->Commit();
      if (!failed) committed = pending;
    }
    CloseEngineDatabase(db_);
    storage.failAt = 0;
    db_ = OpenEngineDatabaseAt(PathString(kPath).get(), storage);
    EXPECT_NE(db_, nullptr) << "fault at " << failAt;
    if (!db_) break;
    const std::vector<std::string> rows = Rows("t");
    EXPECT_TRUE(rows == committed || rows == pending) << "fault at " << failAt << ": " << rows[0];
    CloseEngineDatabase(db_);
  }
  db_ = fixtureDatabase;
  EXPECT_FALSE(failed) << "the steps never ran through";
}

TEST_F(DbEngineCatalog, ADamagedCatalogRowSpoilsOnlyItsTable) {
  ASSERT_TRUE(Create("a", {{"x", 3}}));
  ASSERT_TRUE(Create("b", {{"x", 3}}));
  // A second column numbered 0 in table a.
  ASSERT_TRUE(StoreColumnRow("a", 0, "zz"));
  Reopen();
  EXPECT_FALSE(Insert("a", {{"x", "1"}}));
  EXPECT_EQ("2011 Database file is damaged", Error());
  EXPECT_EQ(std::vector<std::string>{"no cursor"}, Rows("a"));
  EXPECT_TRUE(Insert("b", {{"x", "1"}})) << Error();
  EXPECT_EQ(std::vector<std::string>{"1"}, Rows("b"));
}

// Each field as the storage core encodes it: the writer must match it byte
// for byte, whatever the value.
TEST_F(DbEngineCatalog, TheRecordWriterStoresEachTypeAsTheStorageCoreDoes) {
  std::vector<DBFieldInput> fields;
  const auto add = [&fields](uint8_t type, auto set) {
    DBFieldInput field;
    field.type = type;
    set(field);
    fields.push_back(field);
  };
  for (int16_t value : {int16_t(0), int16_t(-7), int16_t(0x1234), int16_t(INT16_MIN), int16_t(INT16_MAX)})
    add(kDBFieldInt16, [value](DBFieldInput& f) { f.smallint = value; });
  for (int32_t value : {0, -1, 0x12345678, INT32_MIN, INT32_MAX}) {
    for (uint8_t type : {kDBFieldInt32, kDBFieldBlobId, kDBFieldBlobId2})
      add(type, [value](DBFieldInput& f) { f.integer = value; });
  }
  const uint64_t nanBits = 0x7FF8123456789ABCull;
  double nan;
  std::memcpy(&nan, &nanBits, sizeof nan);
  for (double value : {0.0, -0.0, 1.5, -1e300, 5e-324, nan}) {
    add(kDBFieldDouble, [value](DBFieldInput& f) { f.real = value; });
    add(kDBFieldSingle, [value](DBFieldInput& f) { f.single = float(value); });
  }
  for (uint8_t type : {kDBFieldDate, kDBFieldTime}) {
    add(type, [](DBFieldInput& f) { f.parts[0] = 2024, f.parts[1] = 1, f.parts[2] = 5; });
    add(type, [](DBFieldInput& f) { f.parts[0] = 0xFFFF, f.parts[1] = 0x8000, f.parts[2] = 0x0102; });
  }
  for (uint8_t value : {0, 1}) add(kDBFieldBoolean, [value](DBFieldInput& f) { f.boolean = value; });
  for (const std::string& text : {std::string(), std::string("abc"), std::string(300, 'x')}) {
    for (uint8_t type : {kDBFieldText, kDBFieldBytes})
      add(type, [this, &text](DBFieldInput& f) { f.text = S(text); });
  }
  DBRecordWriter writer;
  writer.Begin();
  std::vector<uint8_t> expected(kDBRecordFieldsAt, 0);
  for (size_t i = 0; i < fields.size(); ++i) {
    const DBFieldInput& field = fields[i];
    writer.AddField(uint8_t(i), field);
    expected.push_back(uint8_t(i));
    expected.push_back(field.type);
    const bool text = field.type == kDBFieldText || field.type == kDBFieldBytes;
    const void* value = text ? static_cast<const void*>(&field.text) : &field.smallint;
    ASSERT_TRUE(AppendStoredValue(field.type, static_cast<const uint8_t*>(value), &expected));
  }
  // A field left out leaves nothing.
  writer.AddField(200, DBFieldInput());
  PutBigEndian16(expected.data(), uint16_t(expected.size()));
  EXPECT_TRUE(writer.Finish() == expected);
  // The buffer is reused: a shorter record after it is exactly its own.
  writer.Begin();
  writer.AddField(3, fields[1]);
  EXPECT_EQ((std::vector<uint8_t>{0, 14, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 0xFF, 0xF9}), writer.Finish());
}

// Number texts read as the run-time reads them, whatever path a text takes.
TEST_F(DbEngineCatalog, NumberTextsReadAsTheRunTimeReadsThem) {
  const std::vector<std::string> doubles = {
      "0", "-0", "+5", "5.", ".5", "-.25", "12.5", "1.2.3", "1e3", "-2.5E-1", " 7", "7 ", "&h10",
      "", "-", ".", "+", "12abc", "0.1", "123456789012345678901234567890",
      "1" + std::string(400, '0'), "0." + std::string(400, '0') + "1"};
  for (const std::string& text : doubles) {
    for (uint8_t type : {kDBFieldDouble, kDBFieldSingle}) {
      DBFieldInput field;
      ASSERT_EQ(DBValueTextError::kNone, ConvertValueText(type, S(text), &field)) << text;
      const double expected = StringVal(S(text));
      if (type == kDBFieldDouble) {
        EXPECT_EQ(0, std::memcmp(&expected, &field.real, sizeof expected)) << text << " " << field.real;
      } else {
        const float single = float(expected);
        EXPECT_EQ(0, std::memcmp(&single, &field.single, sizeof single)) << text << " " << field.single;
      }
    }
  }
  const uint16_t units[] = {'-', '1', '.', '5'};
  const StringRef wide = StringRef::Adopt(StringFromUTF16(units, 4));
  DBFieldInput field;
  ConvertValueText(kDBFieldDouble, wide.get(), &field);
  EXPECT_EQ(-1.5, field.real);

  // Integers: digits up to the first other byte, or a number with an
  // exponent read whole; then the column's range.
  const struct {
    const char* text;
    int64_t value;  // INT64_MIN: refused for a 32-bit column
  } integers[] = {
      {"12", 12}, {" -12", -12}, {"+7", 7}, {"12abc", 12}, {"12 e2", 12}, {"1.9", 1},
      {"2.5e1", 25}, {"1e3", 1000}, {"1E2", 100}, {".5e1", 5}, {"1e", 1}, {"1e3x", 1},
      {"-0", 0}, {"", 0}, {"abc", 0}, {" ", 0}, {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN}, {"2147483648", INT64_MIN}, {"99999999999", INT64_MIN},
  };
  for (const auto& test : integers) {
    DBFieldInput field;
    const DBValueTextError error = ConvertValueText(kDBFieldInt32, S(test.text), &field);
    if (test.value == INT64_MIN) {
      EXPECT_EQ(DBValueTextError::kInteger, error) << test.text;
    } else {
      EXPECT_EQ(DBValueTextError::kNone, error) << test.text;
      EXPECT_EQ(test.value, field.integer) << test.text;
    }
  }
}

// Date texts: three fields split at "-" before the first blank, each read as
// an integer is and within 16 bits.
TEST_F(DbEngineCatalog, DateTextsGiveThreePartsOrAreRefused) {
  const struct {
    const char* text;
    const char* parts;  // nullptr: refused
  } dates[] = {
      {"2024-1-5", "2024 1 5"}, {"2024-01-05", "2024 1 5"}, {" 2024-1-5 ", "2024 1 5"},
      {"2024-1-5 10:00", "2024 1 5"}, {"65535-0-65535", "65535 0 65535"}, {"0-0-0", "0 0 0"},
      {"2024--5", "2024 0 5"}, {"2024x-1-5", "2024 1 5"}, {"00002024-1-5", "2024 1 5"},
      {"-1-2-3", nullptr}, {"1:2:3", nullptr}, {"2024-1", nullptr}, {"2024-1-5-6", nullptr}, {"2024/1/5", nullptr},
      {"65536-1-1", nullptr}, {"123456-1-1", nullptr}, {"2024-1-70000", nullptr}, {"", nullptr},
  };
  for (const auto& test : dates) {
    DBFieldInput field;
    const DBValueTextError error = ConvertValueText(kDBFieldDate, S(test.text), &field);
    if (!test.parts) {
      EXPECT_EQ(DBValueTextError::kDate, error) << test.text;
      continue;
    }
    EXPECT_EQ(DBValueTextError::kNone, error) << test.text;
    EXPECT_EQ(test.parts, std::to_string(field.parts[0]) + " " + std::to_string(field.parts[1]) + " " +
                              std::to_string(field.parts[2]))
        << test.text;
  }
}

// Columns are found by name in any case and any order, row after row and
// table after table; a column given twice takes its first value.
TEST_F(DbEngineCatalog, EachValueFindsItsColumnWhateverTheRowBefore) {
  ASSERT_TRUE(Create("a", {{"id", 3, 0}, {"name", 5}, {"n", 3}}, {0}));
  ASSERT_TRUE(Create("b", {{"n", 3}, {"id", 3}, {"name", 5}}));
  const std::vector<std::pair<const char*, ValueList>> rows = {
      {"a", {{"id", "1"}, {"name", "x"}, {"n", "10"}}},
      {"a", {{"n", "20"}, {"id", "2"}, {"name", "y"}}},
      {"b", {{"id", "3"}, {"name", "z"}, {"n", "30"}}},
      {"a", {{"NAME", "w"}, {"Id", "4"}}},
      {"b", {{"n", "50"}}},
      {"a", {{"id", "6"}, {"n", "60"}, {"n", "61"}, {"name", nullptr}}},
      {"a", {{"n", nullptr}, {"id", "7"}, {"n", "71"}}},
  };
  // The lists are given in the order they are written.
  for (const auto& [table, values] : rows)
    ASSERT_TRUE(Insert(table, ValueList(values.rbegin(), values.rend()))) << Error();
  EXPECT_EQ((std::vector<std::string>{"1|x|10", "2|y|20", "4|w|NULL", "6|NULL|60", "7|NULL|NULL"}),
            Rows("a"));
  EXPECT_EQ((std::vector<std::string>{"30|3|z", "50|NULL|NULL"}), Rows("b"));
  // NOT NULL is checked again for every row.
  EXPECT_FALSE(Insert("a", {{"name", "v"}}));
  EXPECT_EQ("2003 NotNull column violation", Error());
  EXPECT_FALSE(Insert("a", {{"id", "8"}, {"id", nullptr}}));
  EXPECT_EQ("2003 NotNull column violation", Error());
  // Before any value is read, even one written ahead of it.
  EXPECT_FALSE(Insert("a", {{"id", nullptr}, {"n", "99999999999"}}));
  EXPECT_EQ("2003 NotNull column violation", Error());
}

// A catalog that names two columns alike (only a damaged or foreign file
// can): a name goes to the first of them, as it always did.
TEST_F(DbEngineCatalog, NamesAlikeInACatalogGoToTheFirstColumn) {
  ASSERT_TRUE(Create("a", {{"x", 3}}));
  ASSERT_TRUE(Create("b", {{"p", 3}, {"q", 3}}));
  ASSERT_TRUE(StoreColumnRow("a", 1, "X", kDBFieldInt32));
  Reopen();
  // The row before found its first value in the second column.
  ASSERT_TRUE(Insert("b", {{"q", "5"}})) << Error();
  ASSERT_TRUE(Insert("a", {{"X", "1"}})) << Error();
  ASSERT_TRUE(Insert("a", {{"x", "2"}})) << Error();
  EXPECT_EQ((std::vector<std::string>{"1|NULL", "2|NULL"}), Rows("a"));
}

}  // namespace
