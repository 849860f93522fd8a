// The table layer: catalog rows, refusals that leave the file alone, value
// texts, rollback of a CREATE, write faults and a damaged catalog.
#include <functional>

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

using DbEngineCatalog = DbEngineTest;

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
  DBRecordWriter writer;
  writer.Begin();
  DBFieldInput field;
  field.type = kDBFieldInt32;
  field.integer = int32_t(db_->FindTable(S("a"))->id);
  writer.AddField(0, field);
  field.integer = 0;
  writer.AddField(1, field);
  ConvertValueText(kDBFieldText, S("zz"), &field);
  writer.AddField(2, field);
  std::vector<uint8_t>& record = writer.Finish();
  const uint8_t keys[] = {0, 2};
  ASSERT_TRUE(InsertTableRecord(db_->File(), kDBFieldsName, record.data(), record.size(), {keys, 2}, true));
  Reopen();
  EXPECT_FALSE(Insert("a", {{"x", "1"}}));
  EXPECT_EQ("2011 Database file is damaged", Error());
  EXPECT_EQ(std::vector<std::string>{"no cursor"}, Rows("a"));
  EXPECT_TRUE(Insert("b", {{"x", "1"}})) << Error();
  EXPECT_EQ(std::vector<std::string>{"1"}, Rows("b"));
}

}  // namespace
