// What each kind of row condition means, checked against a model: every
// order operator on every comparable type, with neighbours that differ in
// one part only (a month, a minute, a last letter); text modes; LIKE at its
// edges; and a case-blind "=" on a key column, which must not be a seek.
#include <vector>

#include "tests/database/dbengine_support.h"

namespace {

class DbEngineCondition : public DbEngineTest {
 protected:
  // The ids (joined by ",") of the rows of `table` the filter selects.
  std::string Ids(const char* table, DBFilterRecord* filter) {
    std::string ids;
    for (const std::string& row : RowTexts(OpenTableCursor(*db_, S(table), Named("id"), filter)))
      ids += (ids.empty() ? "" : ",") + row;
    return ids;
  }
  // A table of id (the key) and v of the type, row i holding values[i], and
  // one more row with v NULL.
  void MakeTable(const char* name, int32_t type, const std::vector<const char*>& values) {
    ASSERT_TRUE(Create(name, {{"id", 3}, {"v", type}}, {0})) << Error();
    for (size_t i = 0; i <= values.size(); ++i) {
      const std::string id = std::to_string(i);
      ASSERT_TRUE(Insert(name, {{"id", id.c_str()}, {"v", i < values.size() ? values[i] : nullptr}}))
          << Error();
    }
  }
};

TEST_F(DbEngineCondition, OrderOperatorsFollowEachTypesOrder) {
  // Each domain in ascending order; neighbours differ in one part.
  const struct {
    const char* table;
    int32_t type;
    std::vector<const char*> values;
  } domains[] = {
      {"small", 2, {"-32768", "-5", "0", "7", "32767"}},
      {"whole", 3, {"-2147483648", "-1", "0", "1", "2147483647"}},
      {"single", 6, {"-1.5", "0.1", "0.5", "3.25"}},
      {"real", 7, {"-1e300", "-2.5", "0", "2.5", "1e300"}},
      {"day", 8, {"1999-12-31", "2024-01-05", "2024-02-04", "2024-02-05", "2024-11-01", "2025-01-01"}},
      {"clock", 9, {"09:59:59", "10:00:59", "10:01:00", "10:01:01", "23:00:00"}},
      {"text", 5, {"A", "B", "ab", "abc", "abd", "b"}},
  };
  const char* names[] = {"=", "<", ">", "<=", ">=", "<>"};
  for (const auto& domain : domains) {
    MakeTable(domain.table, domain.type, domain.values);
    for (size_t probe = 0; probe < domain.values.size(); ++probe) {
      for (int32_t op = kDBOpEqual; op <= kDBOpNotEqual; ++op) {
        std::string expected;
        for (size_t row = 0; row < domain.values.size(); ++row) {
          const bool holds = op == kDBOpEqual ? row == probe : op == kDBOpLess ? row < probe
                             : op == kDBOpGreater ? row > probe : op == kDBOpLessEqual ? row <= probe
                             : op == kDBOpGreaterEqual ? row >= probe : row != probe;
          if (holds) expected += (expected.empty() ? "" : ",") + std::to_string(row);
        }
        EXPECT_EQ(expected, Ids(domain.table, C("v", op, domain.values[probe])))
            << domain.table << " v " << names[op] << " " << domain.values[probe];
      }
    }
    // Only IS NULL holds for the NULL row.
    EXPECT_EQ(std::to_string(domain.values.size()), Ids(domain.table, C("v", kDBOpIsNull)));
  }
}

TEST_F(DbEngineCondition, TextModesChangeOnlyTheCaseOfTheirSide) {
  MakeTable("text", 5, {"A", "B", "ab", "abc", "abd", "b"});
  const struct {
    int32_t op;
    const char* value;
    int32_t mode;
    const char* ids;
  } cases[] = {
      {kDBOpEqual, "AB", 1, "2"},      {kDBOpEqual, "aBc", 1, "3"},   {kDBOpLess, "b", 1, "0,2,3,4"},
      {kDBOpGreaterEqual, "ABD", 1, "1,4,5"},
      {kDBOpEqual, "ab", 2, ""},       {kDBOpEqual, "AB", 2, "2"},    {kDBOpEqual, "b", 3, "1,5"},
      {kDBOpEqual, "B", 3, ""},        {kDBOpNotEqual, "b", 3, "0,2,3,4"},
      {kDBOpLike, "ab%", 1, "2,3,4"},  {kDBOpLike, "AB_", 2, "3,4"}, {kDBOpLike, "a%", 3, "0,2,3,4"},
      {kDBOpNotLike, "%b%", 0, "0,1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.ids, Ids("text", C("v", c.op, c.value, c.mode))) << c.op << " " << c.value << " mode " << c.mode;
  }
}

TEST_F(DbEngineCondition, LikeMatchesTheWholeTextAtItsEdges) {
  const struct {
    const char* text;
    const char* pattern;
    uint8_t mode;
    bool matches;
  } cases[] = {
      {"abc", "abc%", kDBTextExact, true},   {"abc", "%abc", kDBTextExact, true},
      {"abc", "%%abc%%", kDBTextExact, true}, {"abc", "abc", kDBTextExact, true},
      {"abc", "ab", kDBTextExact, false},     {"ab", "abc", kDBTextExact, false},
      {"ab", "ab_", kDBTextExact, false},     {"abc", "a_c", kDBTextExact, true},
      {"", "%", kDBTextExact, true},          {"", "_", kDBTextExact, false},
      {"", "", kDBTextExact, true},           {"a", "", kDBTextExact, false},
      {"abcabd", "%abd", kDBTextExact, true}, {"abcab", "%ab%c", kDBTextExact, false},
      {"ABC", "abc", kDBTextExact, false},    {"ABC", "abc", kDBTextNoCase, true},
      {"abc", "ABC", kDBTextUpper, true},     {"abc", "abc", kDBTextUpper, false},
      {"ABC", "abc", kDBTextLower, true},     {"a%c", "a%c", kDBTextExact, true},
      {"zaZA", "ZAza", kDBTextNoCase, true},  {"zaZA", "zaza", kDBTextLower, true},
  };
  for (const auto& c : cases) {
    const std::string text = c.text, pattern = c.pattern;
    EXPECT_EQ(c.matches, MatchesLike(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                     reinterpret_cast<const uint8_t*>(pattern.data()), pattern.size(),
                                     c.mode))
        << "'" << text << "' LIKE '" << pattern << "' mode " << int(c.mode);
  }
}

// A seek finds the exact key bytes; a comparison with a case rule has to
// walk.
TEST_F(DbEngineCondition, ACaseBlindEqualOnAKeyFindsEveryCase) {
  ASSERT_TRUE(Create("k", {{"t", 5}, {"id", 3}}, {0}));
  const char* keys[] = {"APPLE", "Apple", "apple", "b"};
  for (size_t i = 0; i < std::size(keys); ++i)
    ASSERT_TRUE(Insert("k", {{"t", keys[i]}, {"id", std::to_string(i).c_str()}}));
  for (bool seek : {false, true}) {
    SetKeyPrefixSeek(seek);
    EXPECT_EQ("0,1,2", Ids("k", C("t", kDBOpEqual, "apple", 1))) << seek;
    EXPECT_EQ("0,1,2", Ids("k", C("t", kDBOpEqual, "APPLE", 2))) << seek;
    EXPECT_EQ("0,1,2", Ids("k", And(C("t", kDBOpEqual, "aPPle", 1), C("id", kDBOpLess, "9")))) << seek;
    EXPECT_EQ("2", Ids("k", C("t", kDBOpEqual, "apple"))) << seek;
  }
  SetKeyPrefixSeek(true);
}

// An integer key is sought only for a value that is a whole number in its
// range; the walk and the seek agree on every form of the value.
TEST_F(DbEngineCondition, AnIntegerKeyMatchesWholeNumbersOnly) {
  ASSERT_TRUE(Create("n", {{"id", 3}, {"s", 2}}, {0}));
  for (const char* id : {"-2147483648", "0", "1", "2", "3", "2147483647"})
    ASSERT_TRUE(Insert("n", {{"id", id}, {"s", "7"}}));
  const struct {
    const char* value;
    const char* ids;
  } cases[] = {{"2", "2"},  {"2.0", "2"},   {"1e0", "1"},         {"2.5", ""},           {"3x", "3"},
               {" 3", "3"}, {"-0", "0"},    {"2147483648", ""},   {"2147483648x", ""},   {"-2147483649", ""},
               {"-2147483648", "-2147483648"}};
  for (bool seek : {false, true}) {
    SetKeyPrefixSeek(seek);
    for (const auto& c : cases) {
      const uint64_t before = TableCursorRowsVisited();
      EXPECT_EQ(c.ids, Ids("n", C("id", kDBOpEqual, c.value))) << c.value << " " << seek;
      // A value no key can hold is known before any row is read.
      if (seek && !*c.ids) EXPECT_EQ(TableCursorRowsVisited(), before) << c.value;
    }
  }
  SetKeyPrefixSeek(true);
  // A boolean field holds for "true", "false" and numbers (non-zero true).
  MakeTable("flags", 12, {"false", "true"});
  const struct {
    int32_t op;
    const char* value;
    const char* ids;
  } flags[] = {{kDBOpEqual, "TRUE", "1"}, {kDBOpEqual, "-1", "1"}, {kDBOpEqual, "0.5", "1"},
               {kDBOpEqual, "0", "0"},    {kDBOpNotEqual, "-2", "0"}, {kDBOpEqual, "yes", ""},
               {kDBOpLess, "true", ""}};
  for (const auto& c : flags) EXPECT_EQ(c.ids, Ids("flags", C("v", c.op, c.value))) << c.value;
}

// A field the row cannot give whole (a damaged record) is neither NULL nor
// NOT NULL, and no comparison holds for it; a record with an unknown case
// rule is refused.
class DamagedRow : public DBRowAccess {
 public:
  DBFieldLookup Field(const DBCondition&, DBFieldValue*) override { return DBFieldLookup::kDamaged; }
  bool Blob(int32_t, std::vector<uint8_t>*) override { return false; }
};

TEST_F(DbEngineCondition, ADamagedFieldHoldsForNoComparison) {
  DamagedRow row;
  for (int32_t op = kDBOpEqual; op <= kDBOpIsNotNull; ++op) {
    DBConditionTree tree;
    ASSERT_TRUE(tree.Build(C("v", op, "x")));
    EXPECT_FALSE(tree.Holds(row)) << op;
  }
  DBConditionTree tree;
  EXPECT_TRUE(tree.Build(C("v", kDBOpEqual, "x", 3)));
  EXPECT_FALSE(tree.Build(C("v", kDBOpEqual, "x", 4)));
  EXPECT_FALSE(tree.Build(C("v", kDBOpEqual, "x", -1)));
}

}  // namespace
