// Table cursors: conditions on every type, deep and hostile conditions,
// cursors outliving their database, walks during inserts, locators, updates
// and deletes against a model, and the key-prefix seek.
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "tests/database/dbengine_support.h"

namespace {

class DbEngineCursor : public DbEngineTest {
 protected:
  // The keys of the rows the filter selects, joined by ",".
  std::string Keys(const char* table, DBFilterRecord* filter, const char* key = "k") {
    std::string keys;
    for (const std::string& row : RowTexts(OpenTableCursor(*db_, S(table), Named(key), filter)))
      keys += (keys.empty() ? "" : ",") + row;
    return keys;
  }
  void MakeValueTable() {
    ASSERT_TRUE(Create("v", {{"k", 3}, {"s", 2}, {"t", 5}, {"f", 6}, {"d", 7}, {"dt", 8},
                             {"tm", 9}, {"b", 12}, {"bl", 16}},
                       {0}));
    ASSERT_TRUE(Insert("v", {{"k", "1"}, {"s", "-5"}, {"t", "apple"}, {"f", "0.1"}, {"d", "2.5"},
                             {"dt", "2024-1-5"}, {"tm", "10:30:00"}, {"b", "TRUE"}, {"bl", "Blob one"}}));
    ASSERT_TRUE(Insert("v", {{"k", "2"}, {"s", "7"}, {"t", "Apple"}, {"f", "1.5"}, {"d", "-1"},
                             {"dt", "1999-12-31"}, {"tm", "23:59:59"}, {"b", "false"}, {"bl", "blob two"}}));
    ASSERT_TRUE(Insert("v", {{"k", "3"}}));
  }
};

TEST_F(DbEngineCursor, ConditionsHoldAsTheirFieldsCompare) {
  MakeValueTable();
  enum { kEq, kLt, kGt, kLe, kGe, kNe, kLike, kNotLike, kNull, kNotNull };
  const struct {
    DBFilterRecord* filter;
    const char* keys;
  } cases[] = {
      {C("s", kEq, "-5"), "1"}, {C("s", kLt, "0"), "1"}, {C("s", kGt, "0"), "2"},
      {C("s", kLe, "7"), "1,2"}, {C("s", kGe, "7"), "2"}, {C("s", kNe, "7"), "1"},
      {C("k", kEq, "2"), "2"}, {C("k", kGe, "2"), "2,3"},
      {C("t", kEq, "apple"), "1"}, {C("t", kEq, "APPLE", 1), "1,2"}, {C("t", kEq, "APPLE", 2), "1,2"},
      {C("t", kEq, "apple", 3), "1,2"}, {C("t", kLt, "b"), "1,2"}, {C("t", kGt, "Apple"), "1"},
      {C("t", kLike, "a%"), "1"}, {C("t", kLike, "A%"), "2"}, {C("t", kNotLike, "a%"), "2"},
      {C("t", kLike, "_pple"), "1,2"}, {C("t", kLike, "ap%", 1), "1,2"}, {C("t", kLike, "_"), ""},
      {C("t", kLike, "%p%l%"), "1,2"},
      {C("f", kEq, "0.1"), "1"}, {C("f", kGt, "1"), "2"}, {C("d", kEq, "2.5"), "1"}, {C("d", kLt, "0"), "2"},
      {C("dt", kEq, "2024-1-5"), "1"}, {C("dt", kGt, "2000-01-01"), "1"}, {C("dt", kNe, "2024/1/5"), ""},
      {C("tm", kLt, "12:00"), "1"}, {C("tm", kEq, "23:59:59"), "2"},
      {C("b", kEq, "true"), "1"}, {C("b", kEq, "TRUE"), "1"}, {C("b", kEq, "0"), "2"},
      {C("b", kNe, "false"), "1"}, {C("b", kEq, "yes"), ""}, {C("b", kLt, "true"), ""},
      {C("bl", kLike, "%one"), "1"}, {C("bl", kEq, "blob two"), "2"},
      {C("t", kNull), "3"}, {C("t", kNotNull), "1,2"}, {C("d", kNe, "5"), "1,2"},
      {Or(C("s", kEq, "-5"), C("t", kEq, "Apple")), "1,2"}, {And(C("s", kEq, "-5"), C("t", kEq, "Apple")), ""},
      {And(Or(C("t", kNull), C("s", kEq, "7")), C("k", kGt, "1")), "2,3"},
      {And(nullptr, C("k", kEq, "2")), "2"}, {Or(nullptr, C("k", kEq, "2")), "1,2,3"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.keys, Keys("v", test.filter))
        << StringBytes(test.filter->column) << " " << test.filter->op << " "
        << StringBytes(test.filter->value);
  }
  EXPECT_EQ(nullptr, Open("v", C("zz", kEq, "1")));
  EXPECT_EQ("2003 Unknown column zz", Error());
  EXPECT_EQ(nullptr, Open("v", C("k", 0x42, "1")));
  EXPECT_EQ("2003 Invalid condition", Error());
}

TEST_F(DbEngineCursor, LongPatternsAndDeepTreesFinishPromptly) {
  const std::string as(100000, 'a');
  const auto* text = reinterpret_cast<const uint8_t*>(as.data());
  const std::string pattern = "%a%a%a%a%a%a%b";
  const auto* bytes = reinterpret_cast<const uint8_t*>(pattern.data());
  EXPECT_FALSE(MatchesLike(text, as.size(), bytes, pattern.size(), kDBTextExact));
  const std::string ab = as + "b";
  EXPECT_TRUE(MatchesLike(reinterpret_cast<const uint8_t*>(ab.data()), ab.size(), bytes,
                          pattern.size(), kDBTextExact));
  MakeValueTable();
  // 100,000 ORs down the right side, and down the left.
  DBFilterRecord* right = C("k", kDBOpEqual, "2");
  DBFilterRecord* left = C("k", kDBOpEqual, "3");
  for (int i = 0; i < 100000; ++i) {
    right = Or(C("k", kDBOpEqual, "9"), right);
    left = Or(left, C("k", kDBOpEqual, "9"));
  }
  EXPECT_EQ("2", Keys("v", right));
  EXPECT_EQ("3", Keys("v", left));
}

TEST_F(DbEngineCursor, ACursorWhoseDatabaseClosedAnswersAsAtTheEnd) {
  MakeValueTable();
  DBEngineCursor* cursor = Open("v");
  ASSERT_TRUE(cursor->MoveNext());
  CloseEngineDatabase(db_);
  db_ = nullptr;
  const void* data = nullptr;
  int32_t type = -1, length = -1;
  cursor->ColumnValue(0, &data, &type, &length);
  EXPECT_EQ(0, type);
  EXPECT_FALSE(cursor->MoveNext());
  DBPendingValue value{nullptr, 0, S("9")};
  EXPECT_FALSE(cursor->Update(&value));
  EXPECT_FALSE(cursor->DeleteRow());
  EXPECT_FALSE(cursor->Locator(0));
  delete cursor;
  Reopen();
  EXPECT_EQ("1,2,3", Keys("v", nullptr));
}

TEST_F(DbEngineCursor, AWalkGivesEachEarlierRowOnceWhileRowsAreInserted) {
  ASSERT_TRUE(Create("w", {{"k", 3}}, {0}));
  for (int k = 0; k < 2000; k += 2) ASSERT_TRUE(Insert("w", {{"k", std::to_string(k).c_str()}}));
  std::vector<int> odd(10000);
  for (int i = 0; i < 10000; ++i) odd[size_t(i)] = 2 * (i % 1000) + 1 + 2000 * (i / 1000);
  std::shuffle(odd.begin(), odd.end(), std::mt19937(7));
  std::map<int, int> seen;
  DBEngineCursor* cursor = Open("w");
  size_t next = 0;
  while (cursor->MoveNext()) {
    ++seen[std::stoi(RowText(*cursor))];
    for (int i = 0; i < 10 && next < odd.size(); ++i, ++next)
      ASSERT_TRUE(Insert("w", {{"k", std::to_string(odd[next]).c_str()}})) << Error();
  }
  delete cursor;
  for (int k = 0; k < 2000; k += 2) EXPECT_EQ(1, seen[k]) << k;
}

TEST_F(DbEngineCursor, LocatorsWriteEachKeyTypeExactly) {
  ASSERT_TRUE(Create("L", {{"i", 2}, {"t", 5}, {"f", 6}, {"d", 7}, {"dt", 8}, {"tm", 9}, {"n", 3}},
                     {0, 1, 2, 3, 4, 5}));
  ASSERT_TRUE(Insert("L", {{"i", "-5"}, {"t", "O'Neil"}, {"f", "0.1"}, {"d", "0.1"},
                           {"dt", "2024-1-5"}, {"tm", "10:30"}, {"n", "1"}}));
  DBEngineCursor* cursor = Open("L");
  ASSERT_TRUE(cursor->MoveNext());
  ASSERT_TRUE(cursor->Locator(6));
  EXPECT_EQ("L!n", cursor->LocatorTarget());
  const std::string condition = cursor->LocatorCondition();
  EXPECT_EQ("i=-5 and t='O''Neil' and f=0.10000000149011612 and d=0.1 and dt='2024-1-5' and "
            "tm='10:30:0'",
            condition);
  EXPECT_FALSE(cursor->Locator(7));
  delete cursor;
  // The float's text finds its row again.
  EXPECT_EQ("1", Keys("L", C("f", kDBOpEqual, "0.10000000149011612"), "n"));
  ASSERT_TRUE(Create("B", {{"b", 12}}, {0}));
  ASSERT_TRUE(Insert("B", {{"b", "true"}}));
  cursor = Open("B");
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_FALSE(cursor->Locator(0));
  delete cursor;
}

TEST_F(DbEngineCursor, UpdatesAndDeletesChangeNothingUntilEveryCheckPasses) {
  ASSERT_TRUE(Create("u", {{"id", 3}, {"bl", 15}, {"d", 8}}, {0}));
  for (const char* id : {"2", "3", "4"})
    ASSERT_TRUE(Insert("u", {{"id", id}, {"bl", (std::string("b") + id).c_str()}}));
  const size_t chunks = BlobChunks();
  DBEngineCursor* cursor = Open("u");
  ASSERT_TRUE(cursor->MoveNext());  // row 2
  DBPendingValue three{nullptr, 0, S("3")}, seven{nullptr, 0, S("7")};
  EXPECT_FALSE(cursor->Update(&three));
  EXPECT_EQ("2005 Insert failed: primary key violation", Error());
  EXPECT_TRUE(cursor->Update(&seven)) << Error();
  ASSERT_TRUE(cursor->MoveNext());  // row 3: 7 is spooled
  EXPECT_FALSE(cursor->Update(&seven));
  EXPECT_EQ("2005 Insert failed: primary key violation", Error());
  DBPendingValue badDate{nullptr, 2, S("bad")}, blob{&badDate, 1, S("c3")};
  EXPECT_FALSE(cursor->Update(&blob));
  EXPECT_EQ("2003 Invalid date format", Error());
  EXPECT_EQ(chunks, BlobChunks());
  badDate.value = S("2024-2-3");
  EXPECT_TRUE(cursor->Update(&blob)) << Error();
  delete cursor;
  EXPECT_EQ((std::vector<std::string>{"3|c3|2024-02-03", "4|b4|NULL", "7|b2|NULL"}), Rows("u"));
  EXPECT_EQ(chunks, BlobChunks());

  ASSERT_TRUE(db_->Commit());
  cursor = Open("u", C("id", kDBOpEqual, "4"));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_TRUE(cursor->DeleteRow());
  delete cursor;
  EXPECT_EQ(chunks - 1, BlobChunks());
  ASSERT_TRUE(db_->Rollback());
  EXPECT_EQ(chunks, BlobChunks());
  EXPECT_EQ((std::vector<std::string>{"3|c3|2024-02-03", "4|b4|NULL", "7|b2|NULL"}), Rows("u"));
}

// A keyless row takes a new id when updated. Updated through a cursor that
// stays open over a commit (as a DataControl's or a record set's does), the
// new row is in that commit: in the file a crash leaves, and after the next
// transaction is rolled back. A walk updating every row meets each once.
TEST_F(DbEngineCursor, AKeylessRowUpdatedUnderAnOpenCursorIsInTheNextCommit) {
  const auto sorted = [](std::vector<std::string> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  ASSERT_TRUE(Create("k", {{"id", 3}, {"v", 5}}));
  for (const char* id : {"1", "2", "3"}) ASSERT_TRUE(Insert("k", {{"id", id}, {"v", id}}));
  ASSERT_TRUE(db_->Commit());
  DBEngineCursor* cursor = Open("k", C("id", kDBOpEqual, "2"));
  ASSERT_TRUE(cursor->MoveNext());
  DBPendingValue value{nullptr, 1, S("changed")};
  ASSERT_TRUE(cursor->Update(&value)) << Error();
  ASSERT_TRUE(db_->Commit());
  const std::vector<std::string> expected = {"1|1", "2|changed", "3|3"};
  MemoryStorage crashed;
  crashed.Restore(storage_.Snapshot());
  DBEngineDatabase* reopened = OpenEngineDatabaseAt(PathString(kPath).get(), crashed);
  ASSERT_NE(nullptr, reopened);
  EXPECT_EQ(expected, sorted(RowTexts(OpenTableCursor(*reopened, S("k"), All(), nullptr))));
  CloseEngineDatabase(reopened);
  ASSERT_TRUE(db_->Rollback());
  delete cursor;
  EXPECT_EQ(expected, sorted(Rows("k")));

  for (int i = 4; i < 300; ++i)
    ASSERT_TRUE(Insert("k", {{"id", std::to_string(i).c_str()}, {"v", std::string(100, 'v').c_str()}}));
  ASSERT_TRUE(db_->Commit());
  DBEngineCursor* walk = Open("k");
  int visits = 0;
  while (visits < 1000 && walk->MoveNext()) {
    ++visits;
    ASSERT_TRUE(walk->Update(&value)) << Error();
  }
  delete walk;
  EXPECT_EQ(299, visits);
  const std::vector<std::string> rows = Rows("k");
  EXPECT_EQ(299u, rows.size());
  for (const std::string& row : rows) EXPECT_NE(std::string::npos, row.find("|changed")) << row;
}

TEST_F(DbEngineCursor, AChangedKeyMovesTheRowAtOnceSoNoLaterInsertCanTakeIt) {
  ASSERT_TRUE(Create("t", {{"id", 3}, {"v", 5}}, {0}));
  for (const char* id : {"1", "2", "3"}) ASSERT_TRUE(Insert("t", {{"id", id}, {"v", id}}));
  DBEngineCursor* a = Open("t", C("id", kDBOpEqual, "1"));
  ASSERT_TRUE(a->MoveNext());
  DBPendingValue five{nullptr, 0, S("5")};
  ASSERT_TRUE(a->Update(&five)) << Error();
  EXPECT_FALSE(Insert("t", {{"id", "5"}, {"v", "other"}}));
  EXPECT_EQ("2005 Insert failed: primary key violation", Error());
  DBEngineCursor* b = Open("t", C("id", kDBOpEqual, "2"));
  ASSERT_TRUE(b->MoveNext());
  EXPECT_FALSE(b->Update(&five)) << "a second cursor's key change";
  EXPECT_EQ("2005 Insert failed: primary key violation", Error());
  EXPECT_EQ((std::vector<std::string>{"2|2", "3|3", "5|1"}), Rows("t")) << "before either ends";
  delete b;
  delete a;
  EXPECT_EQ((std::vector<std::string>{"2|2", "3|3", "5|1"}), Rows("t"));
  ASSERT_TRUE(db_->Commit());

  // A walk moving each row past itself meets each once; a rollback undoes
  // the moves whole.
  DBEngineCursor* walk = Open("t");
  int visits = 0;
  while (visits < 10 && walk->MoveNext()) {
    ++visits;
    const std::string id = RowText(*walk).substr(0, 1);
    DBPendingValue later{nullptr, 0, S(("1" + id).c_str())};
    ASSERT_TRUE(walk->Update(&later)) << Error();
  }
  delete walk;
  EXPECT_EQ(3, visits);
  EXPECT_EQ((std::vector<std::string>{"12|2", "13|3", "15|1"}), Rows("t"));
  ASSERT_TRUE(db_->Rollback());
  EXPECT_EQ((std::vector<std::string>{"2|2", "3|3", "5|1"}), Rows("t"));
}

// After an update the cursor stands on the row as it now is, whether the row
// kept its key, took a new one or has none: its values read the new ones,
// its locator names the new key, and a second update or a delete before the
// next move acts on it. A walk updating each row twice still meets each once.
TEST_F(DbEngineCursor, AnUpdatedRowReadsAndChangesAsItNowStands) {
  ASSERT_TRUE(Create("t", {{"id", 3}, {"v", 5}}, {0}));
  ASSERT_TRUE(Create("k", {{"id", 3}, {"v", 5}}));
  for (const char* table : {"t", "k"})
    for (const char* id : {"1", "2", "3"}) ASSERT_TRUE(Insert(table, {{"id", id}, {"v", id}}));
  DBPendingValue x{nullptr, 1, S("x")}, y{nullptr, 1, S("y")}, z{nullptr, 1, S("z")};
  DBPendingValue seven{nullptr, 0, S("7")}, eight{nullptr, 0, S("8")};
  std::unique_ptr<DBEngineCursor> cursor;
  // The row as the cursor reads it after the update.
  const auto updated = [&](DBPendingValue& value) {
    return cursor->Update(&value) ? RowText(*cursor) : "refused: " + Error();
  };
  cursor.reset(Open("t"));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("1|x", updated(x));
  EXPECT_EQ("1|y", updated(y));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("7|2", updated(seven));
  ASSERT_TRUE(cursor->Locator(1));
  EXPECT_EQ("id=7", cursor->LocatorCondition());
  EXPECT_EQ("7|z", updated(z));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("3|3", RowText(*cursor));
  ASSERT_TRUE(cursor->Update(&eight)) << Error();
  ASSERT_TRUE(cursor->DeleteRow()) << Error();
  EXPECT_FALSE(cursor->MoveNext()) << "the moved rows are passed over";
  cursor.reset(Open("k", C("id", kDBOpEqual, "2")));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("2|x", updated(x));
  EXPECT_EQ("2|y", updated(y));
  EXPECT_FALSE(cursor->MoveNext());
  cursor.reset();
  EXPECT_EQ((std::vector<std::string>{"1|y", "7|z"}), Rows("t"));
  EXPECT_EQ((std::vector<std::string>{"1|1", "3|3", "2|y"}), Rows("k"));

  for (const char* table : {"t", "k"}) {
    cursor.reset(Open(table));
    int visits = 0;
    while (visits < 10 && cursor->MoveNext()) {
      ++visits;
      ASSERT_TRUE(cursor->Update(&x)) << Error();
      ASSERT_TRUE(cursor->Update(&z)) << Error();
    }
    EXPECT_EQ(table[0] == 't' ? 2 : 3, visits) << table;
    cursor.reset();
    for (const std::string& row : Rows(table)) EXPECT_EQ('z', row.back()) << table << " " << row;
  }

  // A rollback that undoes an update, read or not, leaves the cursor on the
  // row as it was, which a further update changes.
  ASSERT_TRUE(db_->Commit());
  for (const char* table : {"t", "k"}) {
    for (DBPendingValue* change : {&eight, &x}) {
      for (const bool read : {false, true}) {
        cursor.reset(Open(table));
        ASSERT_TRUE(cursor->MoveNext());
        const std::string row = RowText(*cursor);
        ASSERT_TRUE(cursor->Update(change)) << Error();
        if (read) EXPECT_NE(row, RowText(*cursor));
        ASSERT_TRUE(db_->Rollback());
        EXPECT_EQ(row, RowText(*cursor)) << table << read;
        EXPECT_EQ(row.substr(0, row.size() - 1) + "y", updated(y)) << table << read;
        ASSERT_TRUE(db_->Rollback());
      }
    }
  }

  // Deleted by another cursor before it is read again, the updated row is
  // gone, and the walk goes on with the row after it.
  cursor.reset(Open("t"));
  ASSERT_TRUE(cursor->MoveNext());
  ASSERT_TRUE(cursor->Update(&x)) << Error();
  std::unique_ptr<DBEngineCursor> other(Open("t", C("id", kDBOpEqual, "1")));
  ASSERT_TRUE(other->MoveNext());
  ASSERT_TRUE(other->DeleteRow()) << Error();
  other.reset();
  EXPECT_EQ("NULL|NULL", RowText(*cursor));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("7|z", RowText(*cursor));

  // The BLOB an update replaced is gone: the row reads the new one.
  ASSERT_TRUE(Create("b", {{"id", 3}, {"bl", 15}}, {0}));
  ASSERT_TRUE(Insert("b", {{"id", "1"}, {"bl", "old"}}));
  cursor.reset(Open("b"));
  ASSERT_TRUE(cursor->MoveNext());
  DBPendingValue blob{nullptr, 1, S("new")};
  EXPECT_EQ("1|new", updated(blob));
  EXPECT_EQ("0 ", Error());
}

// A keyed row that another cursor replaced while this one stood on it is
// still this cursor's row: an update keeps the other's change and adds its
// own, a delete deletes it, and a BLOB the change replaced reads as the row
// now holds it. A row deleted meanwhile takes no change and has no BLOB.
// Neither is a damaged file.
TEST_F(DbEngineCursor, ARowChangedUnderACursorTakesItsChangesStill) {
  ASSERT_TRUE(Create("t", {{"id", 3}, {"a", 5}, {"b", 15}}, {0}));
  for (const char* id : {"1", "2", "3", "4"}) ASSERT_TRUE(Insert("t", {{"id", id}, {"a", id}, {"b", id}}));
  DBPendingValue a{nullptr, 1, S("a")}, b{nullptr, 2, S("b")};
  std::unique_ptr<DBEngineCursor> cursor(Open("t"));
  const auto changeElsewhere = [&](const char* id, bool remove) {
    std::unique_ptr<DBEngineCursor> other(Open("t", C("id", kDBOpEqual, id)));
    ASSERT_TRUE(other->MoveNext());
    ASSERT_TRUE(remove ? other->DeleteRow() : other->Update(&b)) << Error();
  };
  ASSERT_TRUE(cursor->MoveNext());
  changeElsewhere("1", false);
  EXPECT_EQ("1|1|b", RowText(*cursor));
  EXPECT_EQ("0 ", Error());
  ASSERT_TRUE(cursor->Update(&a)) << Error();
  EXPECT_EQ("1|a|b", RowText(*cursor));
  ASSERT_TRUE(cursor->MoveNext());
  changeElsewhere("2", false);
  ASSERT_TRUE(cursor->DeleteRow()) << Error();
  ASSERT_TRUE(cursor->MoveNext());
  changeElsewhere("3", true);
  EXPECT_EQ("3|3|NULL", RowText(*cursor));
  EXPECT_EQ("0 ", Error());
  EXPECT_FALSE(cursor->Update(&a));
  ASSERT_TRUE(cursor->MoveNext());
  EXPECT_EQ("4|4|4", RowText(*cursor));
  EXPECT_FALSE(cursor->MoveNext());
  cursor.reset();
  EXPECT_EQ((std::vector<std::string>{"1|a|b", "4|4|4"}), Rows("t"));
}

// Random trees over two keyed tables give the same rows with the seek as
// without it, case-blind text comparisons among them.
TEST_F(DbEngineCursor, TheKeySeekGivesTheRowsOfAWalk) {
  struct Table {
    const char* name;
    std::vector<const char*> columns;
    std::vector<std::vector<const char*>> domains;
  };
  const Table tables[] = {
      {"p", {"k", "t", "n"}, {{"0", "1", "2", "7", "x"}, {"a", "b", "B", "ab", ""}, {"0", "1", "2"}}},
      {"q", {"s", "dt", "n"}, {{"-3", "0", "3", "32767", "70000"},
                               {"2024-1-5", "2024-1-6", "1999-12-31", "2024/1/5"}, {"0", "1", "2"}}},
  };
  ASSERT_TRUE(Create("p", {{"k", 3}, {"t", 5}, {"n", 3}}, {0, 1}));
  ASSERT_TRUE(Create("q", {{"s", 2}, {"dt", 8}, {"n", 3}}, {0, 1}));
  std::mt19937 random(11);
  auto pick = [&](const std::vector<const char*>& domain) { return domain[random() % domain.size()]; };
  for (const Table& table : tables) {
    for (int row = 0; row < 300; ++row) {
      const ValueList values = {{table.columns[0], pick(table.domains[0])},
                                {table.columns[1], pick(table.domains[1])},
                                {table.columns[2], pick(table.domains[2])}};
      Insert(table.name, values);
    }
  }
  std::function<DBFilterRecord*(const Table&, int)> tree = [&](const Table& table, int depth) -> DBFilterRecord* {
    const uint32_t shape = random() % 8;
    if (depth == 0 || shape < 3) {
      const size_t column = random() % 3;
      const int32_t op = random() % 3 ? kDBOpEqual : int32_t(random() % 10);
      // Now and then a comparison of texts ignoring case, or of their upper
      // or lower case forms: no key seek can take those.
      const int32_t textMode = random() % 3 == 0 ? int32_t(1 + random() % 3) : 0;
      return C(table.columns[column], op, pick(table.domains[column]), textMode);
    }
    if (shape == 3) return Or(tree(table, depth - 1), random() % 4 ? tree(table, depth - 1) : nullptr);
    return And(tree(table, depth - 1), random() % 4 ? tree(table, depth - 1) : nullptr);
  };
  for (int i = 0; i < 2000; ++i) {
    const Table& table = tables[i % 2];
    DBFilterRecord* filter = tree(table, 4);
    if (i % 3 == 0) filter = And(C(table.columns[0], kDBOpEqual, pick(table.domains[0])), filter);
    SetKeyPrefixSeek(false);
    const std::vector<std::string> walked = Rows(table.name, filter);
    SetKeyPrefixSeek(true);
    ASSERT_EQ(walked, Rows(table.name, filter)) << "tree " << i;
  }
}

// A join stands its inner cursor again under each outer row's filter: the
// rows are those a new cursor gives, from the end or from mid-walk, and a
// cursor whose table's entry was read again is refused.
TEST_F(DbEngineCursor, ARestartedCursorGivesTheRowsOfANewOne) {
  ASSERT_TRUE(Create("r", {{"id", 3}, {"n", 3}}, {0}));
  for (int id = 0; id < 400; id += 2)
    ASSERT_TRUE(Insert("r", {{"id", std::to_string(id).c_str()}, {"n", std::to_string(id % 7).c_str()}}));
  const auto drain = [](DBEngineCursor& cursor, size_t most) {
    std::vector<std::string> rows;
    while (rows.size() < most && cursor.MoveNext()) rows.push_back(RowText(cursor));
    return rows;
  };
  std::unique_ptr<DBEngineCursor> cursor(Open("r", C("id", kDBOpEqual, "40")));
  ASSERT_TRUE(cursor);
  EXPECT_EQ(drain(*cursor, 9), std::vector<std::string>{"40|5"});
  DBFilterRecord* const filters[] = {
      C("id", kDBOpEqual, "398"), C("id", kDBOpEqual, "41"), C("id", kDBOpEqual, "x"), nullptr,
      And(C("id", kDBOpGreater, "390"), C("id", kDBOpLessEqual, "396")), C("n", kDBOpEqual, "3"),
      And(C("id", kDBOpEqual, "12"), C("n", kDBOpEqual, "5")), C("id", kDBOpEqual, "0")};
  for (DBFilterRecord* filter : filters) {
    const std::vector<std::string> fresh = Rows("r", filter);
    // Each filter twice: after a walk to the end, then after one row.
    for (const size_t most : {size_t(1000), size_t(1)}) {
      ASSERT_TRUE(cursor->Restart(filter));
      const std::vector<std::string> rows = drain(*cursor, 1000);
      EXPECT_EQ(rows, fresh);
      ASSERT_TRUE(cursor->Restart(filter));
      drain(*cursor, most);
    }
  }
  EXPECT_FALSE(cursor->Restart(C("nothing", kDBOpEqual, "1")));
  EXPECT_FALSE(cursor->MoveNext());
  ASSERT_TRUE(cursor->Restart(nullptr));
  ASSERT_TRUE(AddColumn(*db_, S("r"), Columns({{"more", 3}})));
  EXPECT_FALSE(cursor->Restart(nullptr));
  std::unique_ptr<DBEngineCursor> columns(OpenFieldSchemaCursor(*db_, S("r")));
  ASSERT_TRUE(columns);
  EXPECT_FALSE(columns->Restart(nullptr));
}

TEST_F(DbEngineCursor, AKeyLookupVisitsAFewRows) {
  ASSERT_TRUE(Create("big", {{"id", 3}, {"n", 3}}, {0}));
  for (int id = 0; id < 100000; ++id)
    ASSERT_TRUE(Insert("big", {{"id", std::to_string(id).c_str()}, {"n", "1"}}));
  const uint64_t before = TableCursorRowsVisited();
  EXPECT_EQ(std::vector<std::string>{"50000|1"}, Rows("big", C("id", kDBOpEqual, "50000")));
  EXPECT_LE(TableCursorRowsVisited() - before, 3u);
}

}  // namespace

// Order comparisons of the first key column bound the walk: a narrow range
// visits the rows within it, whatever the bounds' forms.
TEST_F(DbEngineCursor, AKeyRangeVisitsItsRows) {
  ASSERT_TRUE(Create("big", {{"id", 3}, {"n", 3}}, {0}));
  for (int id = -10000; id < 10000; ++id)
    ASSERT_TRUE(Insert("big", {{"id", std::to_string(id).c_str()}, {"n", "1"}}));
  const struct {
    int32_t lowOp;
    const char* low;
    int32_t highOp;
    const char* high;
    std::vector<std::string> rows;
  } cases[] = {{kDBOpGreaterEqual, "-5", kDBOpLess, "-2", {"-5|1", "-4|1", "-3|1"}},
               {kDBOpGreater, "4.5", kDBOpLessEqual, "7", {"5|1", "6|1", "7|1"}},
               {kDBOpGreater, "9997", kDBOpLess, "70000", {"9998|1", "9999|1"}},
               {kDBOpGreaterEqual, "1e3", kDBOpLessEqual, "1000.9", {"1000|1"}}};
  for (const auto& c : cases) {
    const uint64_t before = TableCursorRowsVisited();
    EXPECT_EQ(c.rows, Rows("big", And(C("id", c.lowOp, c.low), C("id", c.highOp, c.high)))) << c.low;
    EXPECT_LE(TableCursorRowsVisited() - before, c.rows.size() + 2) << c.low;
  }
}

namespace {

// Cursors closed the way the engine's slots close them, so that each one
// opened after the first is the one closed before, armed again.
class DbEngineCursorReuse : public DbEngineCursor {
 protected:
  std::vector<std::string> Closed(DBEngineCursor* cursor) {
    if (!cursor) return {"no cursor: " + Error()};
    std::vector<std::string> rows;
    while (cursor->MoveNext()) rows.push_back(RowText(*cursor));
    CloseEngineCursor(cursor);
    return rows;
  }
  std::vector<std::string> Reused(const char* table, DBFilterRecord* filter = nullptr) {
    return Closed(Open(table, filter));
  }
  void MakeTables() {
    ASSERT_TRUE(Create("a", {{"id", 3}, {"t", 5}}, {0}));
    ASSERT_TRUE(Create("b", {{"k", 3}, {"n", 3}}, {0}));
    for (const char* id : {"1", "2", "3", "4"}) {
      ASSERT_TRUE(Insert("a", {{"id", id}, {"t", (std::string("a") + id).c_str()}}));
      ASSERT_TRUE(Insert("b", {{"k", id}, {"n", id}}));
    }
  }
};

TEST_F(DbEngineCursorReuse, StatementsInterleavedOnTwoTablesSeeOnlyTheirOwnConditions) {
  MakeTables();
  DBEngineCursor* first = Open("a", C("id", kDBOpEqual, "2"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::vector<std::string>{"2|a2"}, Closed(first));
  DBEngineCursor* again = Open("b", And(C("k", kDBOpGreater, "1"), C("k", kDBOpLess, "4")));
  EXPECT_EQ(first, again) << "the closed cursor is armed again";
  EXPECT_EQ((std::vector<std::string>{"2|2", "3|3"}), Closed(again));
  // A seek, a range, a walk and a comparison off the key, each after the
  // other, and two open at once on one table.
  EXPECT_EQ((std::vector<std::string>{"1|a1", "2|a2", "3|a3", "4|a4"}), Reused("a"));
  EXPECT_EQ(std::vector<std::string>{"4|4"}, Reused("b", C("k", kDBOpGreaterEqual, "4")));
  EXPECT_EQ((std::vector<std::string>{"1|1", "2|2", "3|3", "4|4"}), Reused("b"));
  EXPECT_EQ(std::vector<std::string>{"3|a3"}, Reused("a", C("t", kDBOpEqual, "a3")));
  DBEngineCursor* outer = Open("a", C("id", kDBOpLessEqual, "2"));
  DBEngineCursor* inner = Open("a", C("id", kDBOpEqual, "9"));
  ASSERT_TRUE(outer->MoveNext());
  EXPECT_TRUE(Closed(inner).empty());
  EXPECT_EQ("1|a1", RowText(*outer));
  EXPECT_EQ(std::vector<std::string>{"2|a2"}, Closed(outer));
}

TEST_F(DbEngineCursorReuse, AReusedCursorSeesChangesRollbacksAndNewColumns) {
  MakeTables();
  EXPECT_EQ(std::vector<std::string>{"2|a2"}, Reused("a", C("id", kDBOpEqual, "2")));
  ASSERT_TRUE(Insert("a", {{"id", "5"}, {"t", "a5"}}));
  EXPECT_EQ(std::vector<std::string>{"5|a5"}, Reused("a", C("id", kDBOpGreater, "4")));
  ASSERT_TRUE(db_->Commit());

  // A row this cursor moved to a later key is passed over by this walk only.
  DBEngineCursor* walk = Open("a");
  ASSERT_TRUE(walk->MoveNext());
  DBPendingValue later{nullptr, 0, S("9")};
  ASSERT_TRUE(walk->Update(&later)) << Error();
  CloseEngineCursor(walk);
  EXPECT_EQ((std::vector<std::string>{"2|a2", "3|a3", "4|a4", "5|a5", "9|a1"}), Reused("a"));
  ASSERT_TRUE(db_->Rollback());
  EXPECT_EQ((std::vector<std::string>{"1|a1", "2|a2", "3|a3", "4|a4", "5|a5"}), Reused("a"));

  ASSERT_TRUE(AddColumn(*db_, S("a"), Columns({{"extra", 3}})));
  ASSERT_TRUE(Insert("a", {{"id", "6"}, {"t", "a6"}, {"extra", "7"}}));
  EXPECT_EQ((std::vector<std::string>{"5|a5|NULL", "6|a6|7"}), Reused("a", C("id", kDBOpGreater, "4")));
  EXPECT_EQ(std::vector<std::string>{"6|a6|7"}, Reused("a", C("extra", kDBOpEqual, "7")));
  ASSERT_TRUE(db_->Rollback());
  EXPECT_EQ(std::vector<std::string>{"no cursor: 2003 Unknown column extra"},
            Reused("a", C("extra", kDBOpEqual, "7")));
  EXPECT_EQ(std::vector<std::string>{"5|a5"}, Reused("a", C("id", kDBOpGreater, "4")));
}

TEST_F(DbEngineCursorReuse, AFailedOpenLeavesNothingForTheNext) {
  MakeTables();
  EXPECT_EQ(std::vector<std::string>{"1|a1"}, Reused("a", C("id", kDBOpEqual, "1")));
  DBColumnSelection unknown{nullptr, S("nope")}, known{&unknown, S("id")};
  EXPECT_EQ(nullptr, OpenTableCursor(*db_, S("a"), &known, nullptr));
  EXPECT_EQ("2003 Unknown column nope", Error());
  EXPECT_EQ(std::vector<std::string>{"no cursor: 2003 Unknown column zz"},
            Reused("a", C("zz", kDBOpEqual, "1")));
  DBFilterRecord badOp{nullptr, nullptr, 77, 0, S("id"), S("1")};
  EXPECT_EQ(std::vector<std::string>{"no cursor: 2003 Invalid condition"}, Reused("a", &badOp));
  EXPECT_EQ(std::vector<std::string>{"no cursor: 2003 Unknown table zz"}, Reused("zz"));
  EXPECT_EQ(std::vector<std::string>{"3|3"}, Reused("b", C("k", kDBOpEqual, "3")));
  EXPECT_EQ("0 ", Error());
  EXPECT_EQ((std::vector<std::string>{"1|a1", "2|a2", "3|a3", "4|a4"}), Reused("a"));
}

}  // namespace

