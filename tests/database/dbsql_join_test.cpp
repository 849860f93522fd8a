// Joins whose inner table is sought by the outer row's value: every shape
// against a reference nested loop, with the key seek on and off, and the
// inner table read as it stands at each outer row.
#include <cctype>
#include <cstdio>
#include <functional>
#include <optional>

#include "tests/database/dbsql_support.h"

namespace {

using Rows = std::vector<std::string>;
using Number = std::optional<double>;
using Text = std::optional<std::string>;

struct Inner {  // t: keyed on id; w: keyed on name
  int id;
  Number n;
  std::string name;
};
struct Outer {
  int id;
  Number k;
  Text s;
  Number x;
};

// In key order, as the tables give them.
const std::vector<Inner> kT = {{1, 3, "b"}, {2, {}, "a"}, {3, 3, "c d"}, {4, 1, "B"}, {6, 2, "zz"}};
const std::vector<std::string> kW = {"3", "B", "a", "b", "c d"};
const std::vector<Outer> kO = {{1, 3, "b", 2},   {2, {}, {}, 2.5},    {3, 99, "A", 3}, {4, 3, "3", 1},
                               {5, 1, "c d", 6}, {6, -5, "B", {}}, {7, 4, "b ", 4}};

std::string Literal(const Number& value) {
  if (!value) return "NULL";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", *value);
  return text;
}
std::string Literal(const Text& value) { return value ? "'" + *value + "'" : "NULL"; }

bool Is(const Number& value, double wanted) { return value && *value == wanted; }
bool Is(const Text& value, const std::string& wanted) { return value && *value == wanted; }
std::string Upper(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class DbSqlJoin : public DbSqlTest {
 protected:
  void SetUp() override {
    DbSqlTest::SetUp();
    ASSERT_EQ(Exec({"create table t (id integer not null, n integer, name varchar(9), primary key (id))",
                    "create table w (name varchar(9) not null, primary key (name))",
                    "create table o (id integer not null, k integer, s varchar(9), x double, primary key (id))",
                    "create table e (id integer not null, primary key (id))"}),
              "");
    // Inserted out of key order, so that order comes from the tables.
    for (auto row = kT.rbegin(); row != kT.rend(); ++row)
      Exec({"insert into t (id, n, name) values (" + std::to_string(row->id) + ", " + Literal(row->n) + ", '" +
            row->name + "')"});
    for (auto name = kW.rbegin(); name != kW.rend(); ++name) Exec({"insert into w (name) values ('" + *name + "')"});
    for (auto row = kO.rbegin(); row != kO.rend(); ++row)
      Exec({"insert into o (id, k, s, x) values (" + std::to_string(row->id) + ", " + Literal(row->k) + ", " +
            Literal(row->s) + ", " + Literal(row->x) + ")"});
    ASSERT_EQ(Error(), "");
  }
  void TearDown() override {
    SetKeyPrefixSeek(true);
    DbSqlTest::TearDown();
  }
};

TEST_F(DbSqlJoin, KeyAndColumnJoinsGiveTheRowsOfANestedLoopInItsOrder) {
  using OT = std::function<bool(const Outer&, const Inner&)>;
  const struct {
    const char* sql;
    OT holds;
  } withT[] = {
      {"select o.id, t.id from o, t where o.k = t.id", [](auto& o, auto& t) { return Is(o.k, t.id); }},
      {"select o.id, t.id from o, t where t.id = o.k", [](auto& o, auto& t) { return Is(o.k, t.id); }},
      {"select o.id, t.id from o, t where o.x = t.id", [](auto& o, auto& t) { return Is(o.x, t.id); }},
      {"select o.id, t.id from o, t where o.k = t.n", [](auto& o, auto& t) { return t.n && Is(o.k, *t.n); }},
      {"select o.id, t.id from o, t where o.s = t.id", [](auto& o, auto& t) { return Is(o.s, std::to_string(t.id)); }},
      {"select o.id, t.id from o, t where o.k = t.id and t.n >= 3 and o.x < 5",
       [](auto& o, auto& t) { return Is(o.k, t.id) && t.n && *t.n >= 3 && o.x && *o.x < 5; }},
      {"select o.id, t.id from o, t where o.k = t.id or t.id = 6",
       [](auto& o, auto& t) { return Is(o.k, t.id) || t.id == 6; }},
      {"select o.id, t.id from o, t where t.id > o.k", [](auto& o, auto& t) { return o.k && t.id > *o.k; }},
      {"select o.id, t.id from o, t where o.x >= t.id and t.id > o.k",
       [](auto& o, auto& t) { return o.k && o.x && t.id > *o.k && t.id <= *o.x; }},
      {"select o.id, t.id from o, t where o.k = t.id and t.id > 100", [](auto&, auto&) { return false; }},
  };
  using OW = std::function<bool(const Outer&, const std::string&)>;
  const struct {
    const char* sql;
    OW holds;
  } withW[] = {
      {"select o.id, w.name from o, w where o.s = w.name", [](auto& o, auto& w) { return Is(o.s, w); }},
      {"select o.id, w.name from o, w where upper(o.s) = w.name",
       [](auto& o, auto& w) { return o.s && Upper(*o.s) == w; }},
      {"select o.id, w.name from o, w where o.k = w.name",
       [](auto& o, auto& w) { return o.k && Literal(o.k) == w; }},
  };
  for (const bool seek : {true, false}) {
    SetKeyPrefixSeek(seek);
    for (const auto& c : withT) {
      Rows expected;
      for (const Outer& o : kO)
        for (const Inner& t : kT)
          if (c.holds(o, t)) expected.push_back(std::to_string(o.id) + "|" + std::to_string(t.id));
      EXPECT_EQ(Query(c.sql), expected) << c.sql << (seek ? "" : " (walked)");
    }
    for (const auto& c : withW) {
      Rows expected;
      for (const Outer& o : kO)
        for (const std::string& w : kW)
          if (c.holds(o, w)) expected.push_back(std::to_string(o.id) + "|" + w);
      EXPECT_EQ(Query(c.sql), expected) << c.sql << (seek ? "" : " (walked)");
    }
    Rows three, self;
    for (const Outer& o : kO)
      for (const Inner& t : kT)
        for (const std::string& w : kW)
          if (Is(o.k, t.id) && t.name == w) three.push_back(std::to_string(o.id) + "|" + std::to_string(t.id) + "|" + w);
    EXPECT_EQ(Query("select o.id, t.id, w.name from o, t, w where o.k = t.id and t.name = w.name"), three);
    for (const Inner& a : kT)
      for (const Inner& b : kT)
        if (Is(a.n, b.id)) self.push_back(std::to_string(a.id) + "|" + std::to_string(b.id));
    EXPECT_EQ(Query("select a.id, b.id from t a, t b where a.n = b.id"), self);
    EXPECT_EQ(Query("select o.id, e.id from o, e where o.k = e.id"), Rows{});
    EXPECT_EQ(Query("select e.id, t.id from e, t where e.id = t.id"), Rows{});
  }
}

TEST_F(DbSqlJoin, EachOuterRowSeesTheInnerTableAsItStandsThen) {
  ObjectRef joined = Select("select o.id, t.id, t.name from o, t where o.k = t.id and o.id < 6");
  ASSERT_TRUE(joined);
  EXPECT_EQ(Row(joined.get()), "1|3|c d");
  ASSERT_EQ(Exec({"insert into t (id, name) values (99, 'new')", "update t set name = 'changed' where id = 3",
                  "delete from t where id = 1"}),
            "");
  Rows rows;
  for (cursorMoveNext(joined.get()); !RecordSetArgument(joined.get())->eof; cursorMoveNext(joined.get()))
    rows.push_back(Row(joined.get()));
  EXPECT_EQ(rows, (Rows{"3|99|new", "4|3|changed"}));
  cursorMovePrevious(joined.get());
  EXPECT_EQ(Row(joined.get()), "4|3|changed");
  cursorMoveFirst(joined.get());
  EXPECT_EQ(Row(joined.get()), "1|3|changed");
}

}  // namespace
