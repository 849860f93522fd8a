// GROUP BY and aggregates through the grouping builder: groups against a
// reference, aggregates over non-numeric values, whole-query aggregates and
// the moves over groups.
#include <cmath>
#include <map>
#include <optional>
#include <random>

#include "database/api/DBValue.h"
#include "tests/database/dbresult_support.h"

namespace {

using DbResultGroup = DbResultTest;

struct Cell {
  int32_t type;
  double number;  // numeric values
  std::string text;
};

// The set's rows from where it stands, each value's type and number or text.
std::vector<std::vector<Cell>> Cells(RuntimeObject* set) {
  std::vector<std::vector<Cell>> rows;
  RecordSetFields* fields = RecordSetArgument(set);
  for (; !fields->eof; cursorMoveNext(set)) {
    std::vector<Cell>& row = rows.emplace_back();
    for (int32_t column = 0; column < cursorFieldCount(set, 0); ++column) {
      const CursorValue value = RecordSetCursor(fields).ColumnValue(column);
      StringRef text = StringRef::Adopt(DBValueText(value.view()));
      row.push_back({value.view().type, DBValueNumber(value.view()), StringBytes(text.get())});
    }
  }
  return rows;
}

// Source rows of (n, v): n a text or NULL, v a double or NULL.
struct SourceRow {
  std::optional<std::string> n;
  std::optional<double> v;
};

std::string Literal(const std::optional<std::string>& n) { return n ? "'" + *n + "'" : "NULL"; }
std::string Literal(const std::optional<double>& v) { return v ? std::to_string(*v) : "NULL"; }

TEST_F(DbResultGroup, GroupsKeepNullAndEmptyApartAndAggregateNumbersOnly) {
  ASSERT_EQ(Exec({"create table t (id integer not null, n varchar(9), v double, primary key (id))"}), "");
  const std::vector<SourceRow> source = {
      {{}, 1.5}, {"", 2}, {"b", {}}, {{}, {}}, {"a", 4}, {"", {}}, {"b", {}}, {"a", -1}, {"a", 0.1}, {{}, 3}};
  std::vector<std::string> values;
  for (size_t i = 0; i < source.size(); ++i)
    values.push_back(std::to_string(i) + ", " + Literal(source[i].n) + ", " + Literal(source[i].v));
  Insert("t (id, n, v)", values);

  // The reference: groups in the order of n (NULL, '', then texts).
  struct Group {
    int32_t count = 0;
    double sum = 0;
    std::optional<double> min, max;
  };
  std::map<std::optional<std::string>, Group> groups;
  for (const SourceRow& row : source) {
    Group& group = groups[row.n];
    ++group.count;
    if (!row.v) continue;
    group.sum += *row.v;
    group.min = group.min ? std::min(*group.min, *row.v) : *row.v;
    group.max = group.max ? std::max(*group.max, *row.v) : *row.v;
  }
  ObjectRef set = Select("select n, count(*), sum(v), avg(v), min(v), max(v) from t group by n");
  ASSERT_TRUE(set) << Error();
  const auto rows = Cells(set.get());
  ASSERT_EQ(rows.size(), groups.size());
  size_t i = 0;
  for (const auto& [n, group] : groups) {
    const std::vector<Cell>& row = rows[i++];
    EXPECT_EQ(row[0].type, n ? kDBVarChar : kDBNull) << i;
    EXPECT_EQ(row[0].text, n.value_or("")) << i;
    EXPECT_EQ(row[1].type, kDBInteger);
    EXPECT_EQ(row[1].number, group.count) << i;
    for (size_t column = 2; column < 6; ++column) {
      const std::optional<double> expected = column == 2 ? group.sum : column == 3 ? group.sum / group.count
                                             : column == 4 ? group.min : group.max;
      EXPECT_EQ(row[column].type, expected ? kDBDouble : kDBNull) << i << " column " << column;
      if (expected) EXPECT_NEAR(row[column].number, *expected, 1e-12) << i << " column " << column;
    }
  }
  // A group column outside the list.
  EXPECT_EQ(Query("select count(*) from t group by n"), (std::vector<std::string>{"3", "2", "3", "2"}));
}

TEST_F(DbResultGroup, AverageIsSumOverCountInEitherRowOrder) {
  for (bool numberFirst : {true, false}) {
    FakeRows rows = {{FakeText("g"), FakeInteger(10)}, {FakeText("g"), FakeText("x")}};
    if (!numberFirst) std::swap(rows[0], rows[1]);
    const int32_t kinds[] = {0, 1, 2, 3, 4, 5};
    // A source of six columns stands in for the front-end's list: the group
    // column, then v for each aggregate.
    FakeRows wide;
    for (const auto& row : rows) wide.push_back({row[0], row[1], row[1], row[1], row[1], row[1]});
    RowsCursor wideSource(wide, 6);
    ObjectRef wideSet = ObjectRef::Adopt(wideSource.NewSet());
    ObjectRef grouped = ObjectRef::Adopt(BuildGroupedResult(wideSet.get(), kinds, nullptr, 6, 0, nullptr, 0));
    const auto cells = Cells(grouped.get());
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0][1].number, 2);
    EXPECT_EQ(cells[0][2].number, 5) << numberFirst;
    EXPECT_EQ(cells[0][3].number, 10);
    EXPECT_EQ(cells[0][4].number, 10);
    EXPECT_EQ(cells[0][5].number, 10);
  }
}

TEST_F(DbResultGroup, WholeQueryAggregatesGiveOneRowAndNoneWhenEmpty) {
  ASSERT_EQ(Exec({"create table t (id integer not null, v double, primary key (id))"}), "");
  EXPECT_EQ(Query("select count(*), min(v) from t"), std::vector<std::string>{});
  Insert("t (id, v)", {"1, NULL", "2, NULL"});
  // MIN and MAX of no number are null; COUNT, SUM and AVG 0.
  EXPECT_EQ(Query("select count(*), sum(v), avg(v), min(v), max(v) from t"),
            std::vector<std::string>{"2|0|0|NULL|NULL"});
  Insert("t (id, v)", {"3, 2.5", "4, -1"});
  EXPECT_EQ(Query("select count(*), sum(v), min(v), max(v) from t"), std::vector<std::string>{"4|1.5|-1|2.5"});
}

TEST_F(DbResultGroup, MovesReachTheRightGroups) {
  ASSERT_EQ(Exec({"create table t (id integer not null, g integer, primary key (id))"}), "");
  std::vector<std::string> values;
  for (int i = 0; i < 12; ++i) values.push_back(std::to_string(i) + ", " + std::to_string(i % 4));
  Insert("t (id, g)", values);
  ObjectRef set = Select("select g, count(*) from t group by g");
  ASSERT_TRUE(set) << Error();
  EXPECT_EQ(Row(set.get()), "0|3");
  cursorMoveLast(set.get());
  EXPECT_EQ(Row(set.get()), "3|3");
  cursorMovePrevious(set.get());
  EXPECT_EQ(Row(set.get()), "2|3");
  cursorMoveFirst(set.get());
  EXPECT_EQ(Row(set.get()), "0|3");
  cursorMoveNext(set.get());
  EXPECT_EQ(Row(set.get()), "1|3");
}


// A grouping over a sorted result takes the sorted rows as they lie: its
// shown values exactly (an empty text, a long one, NULL, a double), and its
// hidden column as NULL, as the sorted result reads it.
TEST_F(DbResultGroup, GroupingASortedResultReadsItsShownValuesOnly) {
  const std::string longText(70000, 'z');
  FakeRows rows = {{FakeText("b"), FakeDouble(0.25), FakeInteger(100)},
                   {FakeText(""), FakeNull(), FakeInteger(200)},
                   {FakeText(longText), FakeDouble(-4), FakeInteger(300)},
                   {FakeText("b"), FakeDouble(1.5), FakeInteger(400)},
                   {FakeNull(), FakeDouble(8), FakeInteger(500)}};
  RowsCursor source(rows, 3);
  ObjectRef set = ObjectRef::Adopt(source.NewSet());
  const DBSortKey key{0, 0};
  ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(set.get(), 1, &key, 1));
  ASSERT_TRUE(sorted);
  // g, SUM(v), SUM(w).
  const int32_t kinds[] = {0, 3, 3};
  ObjectRef grouped = ObjectRef::Adopt(BuildGroupedResult(sorted.get(), kinds, nullptr, 3, 1, &key, 0));
  ASSERT_TRUE(grouped);
  const auto cells = Cells(grouped.get());
  ASSERT_EQ(cells.size(), 4u);
  // NULL, '', 'b', then the long text; w reads as NULL throughout.
  EXPECT_EQ(cells[0][0].type, kDBNull);
  EXPECT_EQ(cells[0][1].number, 8);
  EXPECT_EQ(cells[1][0].type, kDBVarChar);
  EXPECT_EQ(cells[1][0].text, "");
  EXPECT_EQ(cells[1][1].number, 0);
  EXPECT_EQ(cells[2][0].text, "b");
  EXPECT_EQ(cells[2][1].number, 1.75);
  EXPECT_EQ(cells[3][0].text, longText);
  EXPECT_EQ(cells[3][1].number, -4);
  for (const auto& row : cells) EXPECT_EQ(row[2].number, 0) << row[0].text.size();

  cursorMoveFirst(sorted.get());
  const int32_t plain[] = {0, 4, 0};
  grouped = ObjectRef::Adopt(BuildGroupedResult(sorted.get(), plain, nullptr, 3, 1, &key, 0));
  ASSERT_TRUE(grouped);
  const auto shown = Cells(grouped.get());
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[2][1].number, 0.25);
  EXPECT_EQ(shown[2][2].type, kDBNull);
  EXPECT_EQ(shown[1][1].type, kDBNull);
}

// Groups are formed by the sort's comparison: 0 and -0 are one group in a
// double and in a float column, alone or through a join, while NULL and ''
// stay two groups (the first test).
TEST_F(DbResultGroup, ZeroAndNegativeZeroAreOneGroup) {
  ASSERT_EQ(Exec({"create table t (id integer not null, g double, f float, primary key (id))",
                  "create table u (k integer not null, primary key (k))"}),
            "");
  Insert("t (id, g, f)", {"1, 0, 0", "2, -0, -0", "3, 0, 0"});
  Insert("u (k)", {"1", "2", "3"});
  const std::vector<std::string> one = {"0|3|6"};
  EXPECT_EQ(Query("select g, count(*), sum(id) from t group by g"), one);
  EXPECT_EQ(Query("select f, count(*), sum(id) from t group by f"), one);
  EXPECT_EQ(Query("select g, count(*), sum(k) from t, u where t.id = u.k group by g"), one);
  EXPECT_EQ(Query("select f, count(*), sum(id) from u, t where u.k = t.id group by f"), one);
}

// A grouped query reads each column once however many entries name it:
// each entry still shows its own aggregate of it, whether the group column
// is in the list or only after GROUP BY, and a column of the same name in
// another table of a join stays apart from it.
TEST_F(DbResultGroup, EntriesNamingOneColumnEachShowTheirOwnAggregate) {
  ASSERT_EQ(Exec({"create table t (id integer not null, g varchar(9), v double, primary key (id))",
                  "create table u (id integer not null, g varchar(9), primary key (id))"}),
            "");
  Insert("t (id, g, v)", {"1, 'b', 2", "2, 'a', 0.5", "3, 'b', -1", "4, NULL, 8", "5, 'a', NULL", "6, 'b', 5"});
  Insert("u (id, g)", {"1, 'x'", "2, 'x'", "3, 'y'", "4, 'x'", "5, 'y'", "6, 'y'"});
  using Rows = std::vector<std::string>;
  EXPECT_EQ(Query("select g, count(*), sum(v), min(v), max(v), avg(v), g from t group by g"),
            (Rows{"NULL|1|8|8|8|8|NULL", "a|2|.5|.5|.5|.25|a", "b|3|6|-1|5|2|b"}));
  EXPECT_EQ(Query("select max(v), count(*), min(t.v) from t group by t.g"),
            (Rows{"8|1|8", ".5|2|.5", "5|3|-1"}));
  // Grouped on u.g; t.g shows the first row of each group in the sort's
  // order (NULL before texts).
  EXPECT_EQ(Query("select t.g, u.g, count(*), sum(t.v) from t, u where t.id = u.id group by u.g"),
            (Rows{"NULL|x|3|10.5", "a|y|3|4"}));
  EXPECT_EQ(Query("select u.g, sum(v), t.g from u, t where u.id = t.id group by t.g"),
            (Rows{"x|8|NULL", "x|.5|a", "x|6|b"}));
}

// A source too large for one run of the sort (runs merged) groups as its
// sorted result, walked in order, does: the groups' boundaries and the
// NULL group, COUNT, SUM added in the sorted order (to the last bit), and
// each group's first text, through a column map that reads one column
// twice.
TEST_F(DbResultGroup, ALargeSourceGroupsAsItsSortedResultReads) {
  FakeRows rows;
  std::mt19937 random(3);
  for (int32_t i = 0; i < 30000; ++i) {
    const uint32_t g = random() % 101;
    rows.push_back({g == 100 ? FakeNull() : FakeInteger(int32_t(g)),
                    FakeText(std::string(120, char('a' + random() % 26)) + std::to_string(random())),
                    FakeDouble(double(random() % 1000) / 7)});
  }
  const DBSortKey key{0, 0};
  RowsCursor sortSource(rows, 3);
  ObjectRef sortSet = ObjectRef::Adopt(sortSource.NewSet());
  ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(sortSet.get(), 1, &key, 0));
  ASSERT_TRUE(sorted);
  struct Group {
    Cell g;
    int32_t count = 0;
    double sum = 0;
    std::string first;
  };
  std::vector<Group> expected;
  for (const auto& row : Cells(sorted.get())) {
    if (expected.empty() || expected.back().g.type != row[0].type || expected.back().g.number != row[0].number)
      expected.push_back({row[0], 0, 0, row[1].text});
    ++expected.back().count;
    expected.back().sum += row[2].number;
  }
  ASSERT_EQ(expected.size(), 101u);

  RowsCursor groupSource(rows, 3);
  ObjectRef groupSet = ObjectRef::Adopt(groupSource.NewSet());
  // t, g, COUNT(*), SUM(v), MAX(g): the group's column is not the first.
  const int32_t kinds[] = {0, 0, 1, 3, 5};
  const int32_t columns[] = {1, 0, 0, 2, 0};
  ObjectRef grouped = ObjectRef::Adopt(BuildGroupedResult(groupSet.get(), kinds, columns, 5, 1, &key, 0));
  ASSERT_TRUE(grouped);
  const auto cells = Cells(grouped.get());
  ASSERT_EQ(cells.size(), expected.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    EXPECT_EQ(cells[i][0].text, expected[i].first) << i;
    EXPECT_EQ(cells[i][1].type, expected[i].g.type) << i;
    EXPECT_EQ(cells[i][1].number, expected[i].g.number) << i;
    EXPECT_EQ(cells[i][2].number, expected[i].count) << i;
    EXPECT_EQ(cells[i][3].number, expected[i].sum) << i;
    EXPECT_EQ(cells[i][4].type, expected[i].g.type == kDBNull ? kDBNull : kDBDouble) << i;
  }
  // Grouped on a column that no column of the result reads, the source's
  // last (ties still go by t, then v).
  FakeRows moved;
  for (const auto& row : rows) moved.push_back({row[1], row[2], row[0]});
  RowsCursor unreadSource(moved, 3);
  ObjectRef unreadSet = ObjectRef::Adopt(unreadSource.NewSet());
  const int32_t unreadKinds[] = {0, 3};
  const int32_t unreadColumns[] = {0, 1};
  const DBSortKey last{2, 0};
  grouped = ObjectRef::Adopt(BuildGroupedResult(unreadSet.get(), unreadKinds, unreadColumns, 2, 1, &last, 0));
  ASSERT_TRUE(grouped);
  const auto unread = Cells(grouped.get());
  ASSERT_EQ(unread.size(), expected.size());
  for (size_t i = 0; i < unread.size(); ++i) {
    EXPECT_EQ(unread[i][0].text, expected[i].first) << i;
    EXPECT_EQ(unread[i][1].number, expected[i].sum) << i;
  }
}

}  // namespace
