// SELECT on the built-in engine: conditions, joins against a reference
// nested loop, the result cursor's edits and its moves.
#include <functional>
#include <map>
#include <optional>

#include "database/api/DatabaseField.h"
#include "database/sql/ResultBuilders.h"
#include "testsupport/FakeDBEngine.h"
#include "tests/database/dbsql_support.h"

namespace {

using Rows = std::vector<std::string>;
using DbSqlSelect = DbSqlTest;

TEST_F(DbSqlSelect, ConditionsSelectUpdateAndDeleteTheSameRows) {
  ASSERT_EQ(Exec({"create table c (id integer not null, a integer, b integer, n varchar(9), primary key (id))",
                  "insert into c (id, a, b, n) values (1, 1, 1, 'Smith')",
                  "insert into c (id, a, b, n) values (2, 1, 2, 'smith')",
                  "insert into c (id, a, b, n) values (3, NULL, NULL, 'Jones')",
                  "insert into c (id, a, b, n) values (4, 5, 5, NULL)",
                  "insert into c (id, a, b, n) values (5, 2, 1, 'Smith')"}), "");
  EXPECT_EQ(Query("select id from c where a = b"), (Rows{"1", "4"}));
  EXPECT_EQ(Query("select id from c where a > b or upper(n) = 'JONES'"), (Rows{"3", "5"}));
  EXPECT_EQ(Query("select id from c where n = Smith"), (Rows{"1", "5"}));
  EXPECT_EQ(Exec({"update c set a = 9 where n = Smith", "update c set n = 'eq' where a = b"}), "");
  EXPECT_EQ(Query("select id, a, n from c"), (Rows{"1|9|Smith", "2|1|smith", "3|NULL|Jones", "4|5|eq", "5|9|Smith"}));
  EXPECT_EQ(Exec({"delete from c where n = Smith"}), "");
  EXPECT_EQ(Query("select id from c"), (Rows{"2", "3", "4"}));
}

// Rows of the join tables: null is SQL NULL.
using Value = std::optional<double>;
struct JoinRow {
  int key;
  Value number;  // a, b, d
  Value other;   // c
  Value flag;    // f, g: 1 true, 0 false
};

std::string Literal(const Value& value, bool boolean = false) {
  if (!value) return "NULL";
  if (boolean) return *value ? "'true'" : "'false'";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", *value);
  return text;
}

bool Equal(const Value& a, const Value& b) { return a && b && *a == *b; }
bool Less(const Value& a, const Value& b) { return a && b && *a < *b; }

TEST_F(DbSqlSelect, JoinsGiveTheCombinationsOfANestedLoop) {
  const std::vector<JoinRow> p = {{1, 1.005, {}, 1}, {2, 2.675, {}, 0}, {3, {}, {}, {}}, {4, 1, {}, 1}};
  const std::vector<JoinRow> q = {{1, 2.675, 5, 0}, {2, 1.005, 1, {}}, {3, {}, 3, 1}, {4, 1, 7, 1}, {5, 2, 2, 0}};
  const std::vector<JoinRow> r = {{1, 2, {}, {}}, {2, 6, {}, {}}, {3, {}, {}, {}}, {4, 8, {}, {}}};
  ASSERT_EQ(Exec({"create table p (k integer not null, a double, f boolean, primary key (k))",
                  "create table q (k integer not null, b double, c integer, g boolean, primary key (k))",
                  "create table r (k integer not null, d integer, primary key (k))"}), "");
  for (const JoinRow& row : p)
    Exec({"insert into p (k, a, f) values (" + std::to_string(row.key) + ", " + Literal(row.number) + ", " + Literal(row.flag, true) + ")"});
  for (const JoinRow& row : q)
    Exec({"insert into q (k, b, c, g) values (" + std::to_string(row.key) + ", " + Literal(row.number) + ", " +
          Literal(row.other) + ", " + Literal(row.flag, true) + ")"});
  for (const JoinRow& row : r)
    Exec({"insert into r (k, d) values (" + std::to_string(row.key) + ", " + Literal(row.number) + ")"});

  using Test = std::function<bool(const JoinRow&, const JoinRow&, const JoinRow&)>;
  const struct {
    const char* sql;
    Test holds;
  } cases[] = {
      {"select x.k, y.k, z.k from p x, q y, r z where x.a = y.b and y.c < z.d",
       [](auto& x, auto& y, auto& z) { return Equal(x.number, y.number) && Less(y.other, z.number); }},
      {"select x.k, y.k, z.k from p x, q y, r z where y.b = x.a and z.d > y.c",
       [](auto& x, auto& y, auto& z) { return Equal(x.number, y.number) && Less(y.other, z.number); }},
      {"select x.k, y.k, z.k from p x, q y, r z where x.a = 1 or y.b = 2.675",
       [](auto& x, auto& y, auto&) { return Equal(x.number, 1) || Equal(y.number, 2.675); }},
      {"select x.k, y.k, z.k from p x, q y, r z where x.f = y.g and z.d <= y.c",
       [](auto& x, auto& y, auto& z) { return Equal(x.flag, y.flag) && !Less(y.other, z.number) && z.number; }},
  };
  for (const auto& c : cases) {
    Rows expected;
    for (const JoinRow& x : p)
      for (const JoinRow& y : q)
        for (const JoinRow& z : r)
          if (c.holds(x, y, z))
            expected.push_back(std::to_string(x.key) + "|" + std::to_string(y.key) + "|" + std::to_string(z.key));
    EXPECT_EQ(Query(c.sql), expected) << c.sql;
  }
}

TEST_F(DbSqlSelect, JoinValuesOfEveryTypeMatchThemselvesOnly) {
  for (const char* table : {"x", "y"}) {
    Exec({std::string("create table ") + table +
          " (k integer not null, s smallint, f float, w date, m time, c varchar(9), primary key (k))"});
  }
  EXPECT_EQ(Exec({"insert into x (k, s, f, w, m, c) values (1, -3, 1.1, '2020-2-29', '23:59:58', 'it''s')",
                  "insert into x (k, s, f, w, m, c) values (2, 7, 2.5, '1999-12-31', '0:0:1', 'a')",
                  "insert into x (k) values (3)",
                  "insert into y (k, s, f, w, m, c) values (1, -3, 1.1, '2020-2-29', '23:59:58', 'it''s')",
                  "insert into y (k, s, f, w, m, c) values (2, 8, 2.4, '1999-12-30', '0:0:2', 'b')",
                  "insert into y (k) values (3)"}), "");
  for (const char* column : {"s", "f", "w", "m", "c"}) {
    const std::string on = std::string("x.") + column + " = y." + column;
    EXPECT_EQ(Query("select x.k, y.k from x, y where " + on), Rows{"1|1"}) << on;
  }
}

// Builders that record what the front-end hands them and answer with the
// source itself (where COUNT(*) reads its table's first field).
std::string built;

RuntimeObject* RecordSort(RuntimeObject* source, int32_t count, const DBSortKey* keys, int32_t hidden) {
  built += "sort[" + std::to_string(cursorFieldCount(source, 0)) + "]";
  for (int32_t i = 0; i < count; ++i) built += " " + std::to_string(keys[i].column) + (keys[i].descending ? "d" : "");
  built += " h" + std::to_string(hidden) + "; ";
  RuntimeLockObject(source);
  return source;
}

RuntimeObject* RecordGrouping(RuntimeObject* source, const int32_t* kinds, const int32_t* columns, int32_t count,
                              int32_t keyCount, const DBSortKey* keys, int32_t hidden) {
  built += "group[" + std::to_string(cursorFieldCount(source, 0)) + "]";
  for (int32_t i = 0; i < count; ++i) built += " " + std::to_string(kinds[i]) + "@" + std::to_string(columns[i]);
  for (int32_t i = 0; i < keyCount; ++i) built += " k" + std::to_string(keys[i].column) + (keys[i].descending ? "d" : "");
  built += " h" + std::to_string(hidden) + "; ";
  RuntimeLockObject(source);
  return source;
}

TEST_F(DbSqlSelect, SortingAndGroupingGoThroughTheirBuilders) {
  ASSERT_EQ(Exec({"create table t (id integer not null, a integer, b varchar(9), primary key (id))",
                  "insert into t (id, a, b) values (1, 10, 'x')"}), "");
  SetSortBuilder(RecordSort);
  SetGroupingBuilder(RecordGrouping);
  const struct {
    const char* sql;
    const char* built;
    const char* row;
  } cases[] = {
      {"select a, b from t order by 2 desc, id", "sort[3] 1d 2 h1; ", "10|x|1"},
      {"select count(*), max(a) from t", "group[1] 1@0 5@0 h0; ", "10"},
      {"select b, count(*) from t group by a", "group[2] 0@0 1@1 0@1 k1 h1; ", "x|10"},
      // A grouped source reads each column once: one of the list and the
      // group's are one; another table's column of that name is not.
      {"select t.a, count(*), min(a), max(t.a) from t group by a", "group[1] 0@0 1@0 4@0 5@0 0@0 k0 h1; ",
       "10"},
      {"select x.a, count(*) from t x, t y group by y.a", "group[2] 0@0 1@0 0@1 k1 h1; ", "10|10"},
  };
  for (const auto& c : cases) {
    built.clear();
    ObjectRef set = Select(c.sql);
    EXPECT_EQ(built, c.built) << c.sql;
    EXPECT_EQ(set ? Row(set.get()) : Error(), c.row) << c.sql;
  }
  SetSortBuilder(nullptr);
  SetGroupingBuilder(nullptr);
}

class DbSqlResult : public DbSqlTest {
 protected:
  void SetUp() override {
    DbSqlTest::SetUp();
    ASSERT_EQ(Exec({"create table t (id integer not null, a integer, b varchar(9), primary key (id))",
                    "create table u (m integer)", "insert into u (m) values (1)",
                    "insert into u (m) values (2)", "insert into t (id, a, b) values (1, 10, 'x')",
                    "insert into t (id, a, b) values (2, 20, 'y')",
                    "insert into t (id, a, b) values (3, 30, 'z')"}), "");
  }
  CursorSlots Cursor(RuntimeObject* set) { return RecordSetCursor(RecordSetArgument(set)); }
  void SetB(RuntimeObject* set, const char* text) {
    cursorEdit(set);
    ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(set, 1));
    fieldStringValueSetter(field.get(), 0, Text(text).get());
    cursorUpdate(set);
  }
};

TEST_F(DbSqlResult, EditsReachTheOnlyTableAndAreRefusedOverAJoin) {
  ObjectRef set = Select("select b, a from t");
  DBColumnLocator locator;
  ASSERT_TRUE(Cursor(set.get()).GetColumnLocator(0, &locator));
  EXPECT_EQ(locator.name + " @ " + locator.condition, "t!b @ id=1");
  EXPECT_EQ(cursorColumnType(set.get(), 0), kDBVarChar);
  EXPECT_EQ(cursorColumnType(set.get(), 1), kDBInteger);
  // An edit keeps the change a statement made to the row while the set
  // stood on it, and a second edit before the set moves reaches the row as
  // the first left it.
  ASSERT_EQ(Exec({"update t set a = 11 where id = 1"}), "");
  SetB(set.get(), "old");
  EXPECT_EQ(Query("select id, a, b from t where id = 1"), Rows{"1|11|old"});
  SetB(set.get(), "new");
  EXPECT_EQ(Error(), "");
  EXPECT_EQ(Query("select id, b from t where id = 1"), Rows{"1|new"});

  ObjectRef joined = Select("select t.b, u.m from t, u");
  EXPECT_FALSE(Cursor(joined.get()).GetColumnLocator(0, &locator));
  SetB(joined.get(), "lost");
  EXPECT_EQ(Error(), "209 Record set is not updatable");
  cursorDeleteRecord(joined.get());
  EXPECT_EQ(Error(), "209 Record set is not updatable");
  EXPECT_EQ(Query("select id, b from t"), (Rows{"1|new", "2|y", "3|z"}));
  ObjectRef second = Select("select a from t where id = 2");
  cursorDeleteRecord(second.get());
  EXPECT_EQ(Query("select id from t"), (Rows{"1", "3"}));
}

TEST_F(DbSqlResult, MovingBackStartsTheJoinAgain) {
  ObjectRef set = Select("select id from t");
  cursorMovePrevious(set.get());
  EXPECT_EQ(Row(set.get()), "1");
  for (int i = 0; i < 3; ++i) cursorMoveNext(set.get());
  ASSERT_TRUE(RecordSetArgument(set.get())->eof);
  cursorMoveFirst(set.get());
  EXPECT_FALSE(RecordSetArgument(set.get())->eof);
  EXPECT_EQ(Row(set.get()), "1");

  ObjectRef joined = Select("select t.id, u.m from t, u");
  cursorMoveNext(joined.get());
  cursorMoveNext(joined.get());
  EXPECT_EQ(Row(joined.get()), "2|1");
  cursorMovePrevious(joined.get());
  EXPECT_EQ(Row(joined.get()), "1|2");
  cursorMoveLast(joined.get());
  EXPECT_EQ(Row(joined.get()), "3|2");
  cursorMoveNext(joined.get());
  cursorMovePrevious(joined.get());
  EXPECT_EQ(Row(joined.get()), "3|2");
}

// A plug-in engine without SQL of its own: the front end runs statements over
// its tables' cursors and field lists, which change as `tables` does.
class PlugInTables {
 public:
  PlugInTables() {
    engine_.schema = [this](const std::string& table) {
      FakeRows names;
      if (onFieldList) onFieldList();
      for (const std::string& column : tables.at(table).first) names.push_back({FakeText(column)});
      return engine_.AddCursor({"name"}, names).NewSet();
    };
    engine_.select = [this](const std::string& table) {
      return engine_.AddCursor(tables.at(table).first, tables.at(table).second).NewSet();
    };
    database = ObjectRef::Adopt(engine_.NewDatabase());
  }

  std::map<std::string, std::pair<std::vector<std::string>, FakeRows>> tables;
  std::function<void()> onFieldList;
  ObjectRef database;

 private:
  FakeDBEngine engine_{FakeAllSlotsBut({kEngineSelectSQL, kEngineExecuteSQL})};
};

// Another program reorders a plug-in's table, then adds a column, between
// statements: each statement reads the columns as the table then stands.
TEST_F(DbSqlSelect, APlugInsColumnsAreReadByNameAsTheTableNowStands) {
  PlugInTables plugIn;
  plugIn.tables["t"] = {{"a", "b"}, {{FakeInteger(1), FakeInteger(2)}}};
  std::swap(db_, plugIn.database);
  EXPECT_EQ(Query("select b from t"), Rows{"2"});
  plugIn.tables["t"] = {{"b", "a"}, {{FakeInteger(2), FakeInteger(1)}}};
  EXPECT_EQ(Query("select b from t"), Rows{"2"});
  EXPECT_EQ(Query("select a, b from t"), Rows{"1|2"});
  plugIn.tables["t"] = {{"b", "a", "c"}, {{FakeInteger(2), FakeInteger(1), FakeInteger(3)}}};
  EXPECT_EQ(Query("select * from t"), Rows{"2|1|3"});
  EXPECT_EQ(Query("select c from t"), Rows{"3"});
  std::swap(db_, plugIn.database);
}

// While one database lists a table's fields for a statement's check, its
// engine runs a statement on another database with a table of that name:
// each database's statements are then checked against its own names.
TEST_F(DbSqlSelect, ANestedStatementKeepsItsNamesApart) {
  PlugInTables one, two;
  one.tables["t"] = {{"a", "b"}, {{FakeInteger(1), FakeInteger(2)}}};
  two.tables["t"] = {{"x", "y"}, {{FakeInteger(8), FakeInteger(9)}}};
  two.tables["w"] = {{"x"}, {{FakeInteger(8)}}};
  Rows nested;
  one.onFieldList = [&] {
    std::swap(db_, two.database);
    nested = Query("select x from w");
    std::swap(db_, two.database);
  };
  std::swap(db_, one.database);
  EXPECT_EQ(Query("select a from t"), Rows{"1"});
  std::swap(db_, one.database);
  one.onFieldList = nullptr;
  EXPECT_EQ(nested, Rows{"8"});
  std::swap(db_, two.database);
  EXPECT_EQ(Query("select y from t"), Rows{"9"});
  EXPECT_EQ(Query("select * from t"), Rows{"8|9"});
  std::swap(db_, two.database);
}

}  // namespace

// Each SELECT checks its names against the table's columns as they stand:
// after columns are added, after a rollback takes one away, after a new
// table appears.
TEST_F(DbSqlSelect, NamesAreCheckedAgainstTheColumnsAsTheyStand) {
  ASSERT_EQ(Exec({"create table t (a integer not null, primary key (a))", "insert into t (a) values (1)"}), "");
  EXPECT_EQ(Query("select b from t"), std::vector<std::string>{"no set: 206 Unknown column: b"});
  ASSERT_EQ(Exec({"alter table t add b integer"}), "");
  EXPECT_EQ(Query("select b, a from t"), std::vector<std::string>{"NULL|1"});
  CallMethod(db_.get(), "Commit");
  ASSERT_EQ(Exec({"alter table t add c integer"}), "");
  EXPECT_EQ(Query("select * from t"), std::vector<std::string>{"1|NULL|NULL"});
  CallMethod(db_.get(), "Rollback");
  EXPECT_EQ(Query("select c from t"), std::vector<std::string>{"no set: 206 Unknown column: c"});
  EXPECT_EQ(Query("select * from t"), std::vector<std::string>{"1|NULL"});
  ASSERT_EQ(Exec({"create table u (x integer not null, primary key (x))"}), "");
  EXPECT_EQ(Query("select x from u"), std::vector<std::string>{});
}

// A statement finds its columns by name in its own table of its own
// database, as the table stands: statements on other tables and on another
// database with the same names come between, and a column is added.
TEST_F(DbSqlSelect, ColumnsAreFoundInTheirOwnTableAsItStands) {
  ASSERT_EQ(Exec({"create table a (x integer not null, y varchar(5), primary key (x))",
                  "create table b (y varchar(5), x integer not null, primary key (x))",
                  "insert into a (x, y) values (1, 'a1')", "insert into b (x, y) values (2, 'b2')"}), "");
  ObjectRef other = ObjectRef::Adopt(
      NewBuiltInDatabaseObject(CreateEngineDatabaseAt(PathString("other.db").get(), storage_)));
  ASSERT_TRUE(other);
  std::swap(db_, other);
  ASSERT_EQ(Exec({"create table a (z integer, y varchar(5), x integer not null, primary key (x))",
                  "insert into a (x, y, z) values (3, 'o3', 4)"}), "");
  std::swap(db_, other);
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(Query("select x, y from a"), std::vector<std::string>{"1|a1"});
    EXPECT_EQ(Query("select x, y from b"), std::vector<std::string>{"2|b2"});
    EXPECT_EQ(Query("select b.x, a.y, b.y from a, b where a.x < b.x"), std::vector<std::string>{"2|a1|b2"});
    std::swap(db_, other);
    EXPECT_EQ(Query("select x, y, z from a"), std::vector<std::string>{"3|o3|4"});
    std::swap(db_, other);
  }
  ASSERT_EQ(Exec({"alter table a add w integer", "update a set w = 7"}), "");
  EXPECT_EQ(Query("select w, x from a"), std::vector<std::string>{"7|1"});
  EXPECT_EQ(Query("select * from b, a"), std::vector<std::string>{"2|b2|7|1|a1"});
}

// A statement that replaces or deletes the row an open set stands on takes
// the row's BLOB with it: the set reads the BLOB the row now holds, or none
// once the row is gone, and the file is not reported damaged.
TEST_F(DbSqlSelect, AnOpenSetReadsABlobAsTheRowNowHoldsIt) {
  ASSERT_EQ(Exec({"create table g (k integer not null, t long varchar, primary key (k))",
                  "insert into g (k, t) values (1, 'one')", "insert into g (k, t) values (2, 'two')"}),
            "");
  ObjectRef set = Select("select k, t from g");
  ASSERT_EQ(Exec({"update g set t = 'uno' where k = 1"}), "");
  EXPECT_EQ(Row(set.get()), "1|uno");
  EXPECT_EQ(Error(), "");
  cursorMoveNext(set.get());
  ASSERT_EQ(Exec({"delete from g where k = 2"}), "");
  EXPECT_EQ(Row(set.get()), "2|NULL");
  EXPECT_EQ(Error(), "");
}

// Statements of different shapes one after another, and with sets of
// earlier ones still open: each gives the rows it gives alone, and an open
// set keeps its own.
TEST_F(DbSqlSelect, EachSelectGivesItsOwnRowsWhateverRanBeforeOrStaysOpen) {
  ASSERT_EQ(Exec({"create table p (k integer not null, a integer, primary key (k))",
                  "create table q (k integer not null, b integer, primary key (k))",
                  "insert into p (k, a) values (1, 1)", "insert into p (k, a) values (2, 3)",
                  "insert into p (k, a) values (3, 3)", "insert into q (k, b) values (2, 20)",
                  "insert into q (k, b) values (3, 30)", "insert into q (k, b) values (4, 40)"}), "");
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"select p.k, q.b from p, q where p.k = q.k", {"2|20", "3|30"}},
      {"select k from p where a = 1 or k = 3", {"1", "3"}},
      {"select a from p where k = 2", {"3"}},
      {"select k from p where a = k", {"1", "3"}},
      {"select x.k, z.b from p x, q y, q z where x.a = y.k and z.k > y.k", {"2|40", "3|40"}},
      {"select b from q where k = 9", {}},
      {"select * from q where b > 25", {"30|3", "40|4"}},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < cases.size(); ++i) {
      const auto& c = cases[pass ? cases.size() - 1 - i : i];
      EXPECT_EQ(Query(c.first), c.second) << c.first;
    }
  }
  std::vector<ObjectRef> open;
  for (const auto& c : cases) open.push_back(Select(c.first));
  for (size_t i = 0; i < cases.size(); ++i) {
    std::vector<std::string> rows;
    for (; !RecordSetArgument(open[i].get())->eof; cursorMoveNext(open[i].get())) rows.push_back(Row(open[i].get()));
    EXPECT_EQ(rows, cases[i].second) << cases[i].first;
    open[i] = ObjectRef();
    EXPECT_EQ(Query(cases[(i + 3) % cases.size()].first), cases[(i + 3) % cases.size()].second);
  }
}
