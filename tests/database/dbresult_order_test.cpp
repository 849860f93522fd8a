// The order of values and rows, the sort by runs and merges against a plain
// stable-sort model, and the grouping of sorted rows: the query results'
// portable core, run natively under the sanitizers as well as on the target.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database/results/RowGrouping.h"
#include "database/results/RowSort.h"
#include "database/results/ValueOrder.h"
#include "database/sql/SQLStatements.h"
#include "testsupport/MemoryFileStream.h"

namespace {

// A value with its bytes kept.
struct Value {
  int32_t type = kDBNull;
  std::string bytes;

  DBValueView View() const {
    return {type, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size())};
  }
};

template <class T>
Value Raw(int32_t type, T number) {
  Value value{type, std::string(sizeof number, '\0')};
  std::memcpy(value.bytes.data(), &number, sizeof number);
  return value;
}
Value Small(int16_t n) { return Raw(kDBSmallInt, n); }
Value Int(int32_t n) { return Raw(kDBInteger, n); }
Value Single(float n) { return Raw(kDBFloat, n); }
Value Double(double n) { return Raw(kDBDouble, n); }
Value Text(const char* text, int32_t type = kDBVarChar) { return {type, text}; }
Value Bytes(std::string bytes, int32_t type = kDBBinary) { return {type, std::move(bytes)}; }
Value Bool(uint8_t byte) { return {kDBBoolean, std::string(1, char(byte))}; }
// Big-endian words, as stored.
Value Words(int32_t type, std::vector<uint16_t> words) {
  Value value{type, {}};
  for (uint16_t word : words) {
    value.bytes += char(word >> 8);
    value.bytes += char(word & 0xFF);
  }
  return value;
}

std::string RowOf(const std::vector<Value>& values) {
  std::string row;
  for (const Value& value : values) AppendRowValue(&row, value.View());
  return row;
}

FileStreamPtr MemoryStream() { return std::make_unique<MemoryFileStream>(); }

class DbResultOrder : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetSpoolStreamFactory(MemoryStream); }
  void TearDown() override { SetSpoolStreamFactory(previous_); }

  // Every row of the spool, in order.
  static std::vector<std::string> Rows(RowSpool* spool) {
    std::vector<std::string> rows(size_t(spool->Count()));
    for (int32_t i = 0; i < spool->Count(); ++i) EXPECT_TRUE(spool->Read(i, &rows[size_t(i)]));
    return rows;
  }

 private:
  SpoolStreamFactory previous_ = nullptr;
};

// Values in ascending order; the values of one entry are equal.
std::vector<std::vector<Value>> RankedValues() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  return {
      {Value{}},
      {Double(-infinity)},
      {Double(-1e300)},
      {Int(-2147483647 - 1)},
      {Small(-5), Int(-5), Single(-5)},
      {Double(-4.999999999999999)},
      {Double(-0.0), Double(0.0), Int(0), Single(-0.0f), Small(0)},
      {Double(5e-324)},
      {Single(0.5)},
      {Int(1), Double(1.0)},
      {Double(1.0000000000000002)},
      {Int(70000)},
      {Int(2147483647)},
      {Double(1e300)},
      {Double(infinity)},
      {Double(nan), Double(-nan), Single(std::numeric_limits<float>::quiet_NaN())},
      {Text(""), Text("", kDBChar)},
      {Text("A")},
      {Text("a")},
      {Text("ab"), Text("ab", kDBChar), Text("ab", kDBTextBlob)},
      {Text("abc")},
      {Text("abcdefg")},
      {Text("abcdefg\x01")},
      {Text("abcdefgA")},
      {Text("abcdefga")},
      {Text("abcdefgB")},
      {Text("abcdefgh"), Text("abcdefgh", kDBChar)},
      {Text("abcdefgi")},
      {Text("abcdefgijklmnopq")},
      {Text("abcdefgijklmnopqr")},
      {Text("abcdefgijklmnopr")},
      {Text("B")},
      {Words(kDBDate, {1999, 12, 31})},
      {Words(kDBDate, {2024, 1, 5})},
      {Words(kDBDate, {2024, 2, 4})},
      {Words(kDBDate, {2024, 2, 5})},
      {Words(kDBTime, {10, 0, 59})},
      {Words(kDBTime, {10, 1, 0})},
      {Words(kDBTimeStamp, {2024, 2, 4, 23, 59, 59})},
      {Words(kDBTimeStamp, {2024, 2, 5, 0, 0, 0})},
      {Words(kDBTimeStamp, {2024, 2, 5, 0, 0, 1})},
      {Bool(0)},
      {Bool(1), Bool(2)},
      {Bytes("")},
      {Bytes("\x01")},
      {Bytes(std::string("\x01\x00", 2)), Bytes(std::string("\x01\x00", 2), kDBBlob)},
      {Bytes("1234567\x01\x09")},
      {Bytes("1234567\x02\x01")},
      {Bytes("\x80")},
      {Bytes("\x81", 99)},
  };
}

TEST_F(DbResultOrder, ValuesOrderByClassThenWithinIt) {
  const std::vector<std::vector<Value>> ranks = RankedValues();
  auto sign = [](int64_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; };
  for (size_t i = 0; i < ranks.size(); ++i) {
    for (size_t j = 0; j < ranks.size(); ++j) {
      for (size_t a = 0; a < ranks[i].size(); ++a) {
        for (size_t b = 0; b < ranks[j].size(); ++b) {
          EXPECT_EQ(sign(int64_t(i) - int64_t(j)), CompareValues(ranks[i][a].View(), ranks[j][b].View()))
              << "rank " << i << " value " << a << " against rank " << j << " value " << b;
        }
      }
    }
  }
}

// A sort decides on the prefixes and rests alone where they differ, so a
// smaller one must never belong to the larger value, and equal values must
// share them; a rest narrower than 64 bits must tell unequal values apart
// and leave its low bits free for the next value's prefix.
TEST_F(DbResultOrder, PrefixesNeverContradictTheOrder) {
  const std::vector<std::vector<Value>> ranks = RankedValues();
  for (size_t i = 0; i < ranks.size(); ++i) {
    for (size_t j = 0; j < ranks.size(); ++j) {
      for (const Value& a : ranks[i]) {
        for (const Value& b : ranks[j]) {
          const uint64_t x = ValuePrefix(a.View());
          const uint64_t y = ValuePrefix(b.View());
          const ValueRest r = ValueRestOf(a.View());
          const ValueRest t = ValueRestOf(b.View());
          if (r.width < 64) EXPECT_EQ(0u, r.bits & (~uint64_t(0) >> r.width)) << "rank " << i;
          if (i == j) {
            EXPECT_EQ(x, y) << "rank " << i;
            EXPECT_EQ(r.bits, t.bits) << "rank " << i;
          } else if (i < j) {
            EXPECT_LE(x, y) << "rank " << i << " against rank " << j;
            if (x != y) continue;
            EXPECT_EQ(r.width, t.width) << "rank " << i << " against rank " << j;
            if (r.width < 64) {
              EXPECT_LT(r.bits, t.bits) << "rank " << i << " against rank " << j;
            } else {
              EXPECT_LE(r.bits, t.bits) << "rank " << i << " against rank " << j;
            }
          }
        }
      }
    }
  }
  // Where the prefixes can tell values apart, they do: the sort then seldom
  // compares rows.
  auto less = [](const Value& a, const Value& b) { return ValuePrefix(a.View()) < ValuePrefix(b.View()); };
  EXPECT_TRUE(less(Int(-3), Int(-2)));
  EXPECT_TRUE(less(Int(7), Double(7.5)));
  EXPECT_TRUE(less(Double(-1e-300), Value{Double(0)}));
  EXPECT_TRUE(less(Text("row-1"), Text("row-2")));
  EXPECT_TRUE(less(Text("abcdef"), Text("abcdefg")));
  EXPECT_TRUE(less(Words(kDBDate, {2024, 2, 4}), Words(kDBDate, {2024, 2, 5})));
  EXPECT_FALSE(less(Text("abcdefgh"), Text("abcdefgi")));  // past the seventh byte
}

TEST_F(DbResultOrder, RowsCompareByKeysThenEveryColumn) {
  const std::string low = RowOf({Int(1), Text("b"), Double(2)});
  const std::string high = RowOf({Int(2), Text("a"), Double(1)});
  const std::string tie = RowOf({Int(1), Text("b"), Double(3)});
  auto compare = [](const std::string& a, const std::string& b, std::vector<DBSortKey> keys) {
    std::vector<uint32_t> as, bs;
    EXPECT_TRUE(FindRowValues(a, 0, a.size(), &as));
    EXPECT_TRUE(FindRowValues(b, 0, b.size(), &bs));
    return CompareRows(RowView(a.data(), as.data(), int32_t(as.size())),
                       RowView(b.data(), bs.data(), int32_t(bs.size())), keys.data(),
                       int32_t(keys.size()));
  };
  EXPECT_EQ(-1, compare(low, high, {}));
  EXPECT_EQ(1, compare(low, high, {{1, false}}));
  EXPECT_EQ(1, compare(low, high, {{0, true}}));
  EXPECT_EQ(-1, compare(low, high, {{2, true}, {0, false}}));
  // Equal keys fall back to the columns in order, ascending.
  EXPECT_EQ(-1, compare(low, tie, {{0, true}}));
  EXPECT_EQ(0, compare(low, low, {{0, true}}));
  // A key outside the columns is null for both.
  EXPECT_EQ(-1, compare(low, high, {{7, true}}));
  // A descending key puts null last.
  const std::string null = RowOf({Value{}, Text("a"), Double(1)});
  EXPECT_EQ(1, compare(null, low, {{0, true}}));
  EXPECT_EQ(-1, compare(null, low, {{0, false}}));
  // A length that runs past the row is refused.
  std::string cut = low;
  cut.pop_back();
  std::vector<uint32_t> starts;
  EXPECT_FALSE(FindRowValues(cut, 0, cut.size(), &starts));
}

// Rows of (k, v, id): k from a few values of every class, v a text, id the
// source position (so equal rows are told apart only where k and v tie).
std::vector<std::string> MakeRows(std::mt19937& random, size_t count, bool withId) {
  const std::vector<Value> keys = {Value{}, Int(0), Double(-0.0), Single(1.5), Int(2), Text(""),
                                   Text("a"), Text("A"), Text("ab"), Bool(1),
                                   Words(kDBDate, {2024, 2, 4}), Bytes("\x90"), Int(1),
                                   Double(1.0000000000000002), Double(-1.0000000000000002),
                                   Words(kDBTimeStamp, {2024, 2, 5, 0, 0, 0}),
                                   Words(kDBTimeStamp, {2024, 2, 5, 0, 0, 1}),
                                   Text("abcdefgh"), Text("abcdefghij"), Text("abcdefgi")};
  std::vector<std::string> rows;
  for (size_t i = 0; i < count; ++i) {
    const std::string text(random() % 40, char('a' + random() % 2));
    rows.push_back(RowOf({keys[random() % keys.size()], Text(text.c_str()),
                          withId ? Int(int32_t(random() % 4)) : Value{}}));
  }
  return rows;
}

// The model: the rows reversed, then a plain stable sort by CompareRows.
std::vector<std::string> ModelSort(std::vector<std::string> rows, const std::vector<DBSortKey>& keys) {
  std::reverse(rows.begin(), rows.end());
  std::stable_sort(rows.begin(), rows.end(), [&](const std::string& a, const std::string& b) {
    std::vector<uint32_t> as, bs;
    FindRowValues(a, 0, a.size(), &as);
    FindRowValues(b, 0, b.size(), &bs);
    return CompareRows(RowView(a.data(), as.data(), 3), RowView(b.data(), bs.data(), 3), keys.data(),
                       int32_t(keys.size())) < 0;
  });
  return rows;
}

TEST_F(DbResultOrder, SortsLikeAStableModelInMemoryAndAcrossMergedRuns) {
  std::mt19937 random(5);
  const std::vector<std::vector<DBSortKey>> keySets = {
      {}, {{0, false}}, {{0, true}}, {{1, true}, {0, false}}, {{2, false}}, {{9, false}},
      {{0, false}, {1, true}}, {{2, true}}, {{0, true}, {2, true}}};
  const struct {
    RowSorter::Limits limits;
    size_t leastRuns;  // runs the rows must have made
  } shapes[] = {
      {{}, 0},            // everything in memory
      {{3000, 64}, 5},    // runs merged in one pass
      {{1500, 3}, 10},    // runs merged in several passes
      {{700, 5}, 20},     // an uneven tree of heads, several passes
      {{1, 2}, 300},      // every row over the budget: a run each
  };
  for (const auto& shape : shapes) {
    for (const auto& keys : keySets) {
      for (bool withId : {true, false}) {
        const std::vector<std::string> rows = MakeRows(random, 300, withId);
        RowSorter sorter(keys.data(), int32_t(keys.size()), 3, shape.limits);
        for (const std::string& row : rows) ASSERT_TRUE(sorter.Add(row));
        EXPECT_GE(sorter.RunCount(), shape.leastRuns);
        std::unique_ptr<RowSpool> sorted = sorter.Finish();
        ASSERT_TRUE(sorted);
        EXPECT_EQ(ModelSort(rows, keys), Rows(sorted.get()))
            << "budget " << shape.limits.runBudget << " width " << shape.limits.mergeWidth << " keys "
            << keys.size() << " ids " << withId;
      }
    }
  }
}

TEST_F(DbResultOrder, ASorterRefusesRowsOfAnotherWidth) {
  const DBSortKey key{0, false};
  RowSorter sorter(&key, 1, 2);
  EXPECT_FALSE(sorter.Add(RowOf({Int(1)})));
  EXPECT_FALSE(sorter.Add(RowOf({Int(1), Int(2), Int(3)})));
  std::string cut = RowOf({Int(1), Int(2)});
  cut.pop_back();
  EXPECT_FALSE(sorter.Add(cut));
  EXPECT_TRUE(sorter.Add(RowOf({Int(2), Int(2)})));
  // A row given value by value with a value too few or too many is dropped
  // whole.
  for (const int32_t count : {1, 3}) {
    sorter.StartRow();
    for (int32_t i = 0; i < count; ++i) sorter.AddValue(Int(0).View());
    EXPECT_FALSE(sorter.EndRow()) << count;
  }
  sorter.StartRow();
  sorter.AddValue(Int(1).View());
  sorter.AddValue(Text("t").View());
  EXPECT_TRUE(sorter.EndRow());
  EXPECT_TRUE(sorter.Add(RowOf({Int(1), Int(2)})));
  std::unique_ptr<RowSpool> sorted = sorter.Finish();
  ASSERT_TRUE(sorted);
  EXPECT_EQ(Rows(sorted.get()), (std::vector<std::string>{RowOf({Int(1), Int(2)}), RowOf({Int(1), Text("t")}),
                                                          RowOf({Int(2), Int(2)})}));
}

// A one-integer row costs 28 bytes (10 of row form, 8 for the row, 16 for
// its value less the header): a budget of 112 holds four.
TEST_F(DbResultOrder, ARunHoldsWhatItsBudgetAllows) {
  RowSorter sorter(nullptr, 0, 1, {112, 64});
  for (int32_t i = 0; i < 9; ++i) ASSERT_TRUE(sorter.Add(RowOf({Int(9 - i)})));
  EXPECT_EQ(2u, sorter.RunCount());
  std::unique_ptr<RowSpool> sorted = sorter.Finish();
  ASSERT_TRUE(sorted);
  EXPECT_EQ(9, sorted->Count());
}

// Groups of sorted (g, v) rows, with the aggregate columns reading v.
std::vector<std::string> Group(const std::vector<std::vector<Value>>& rows, std::vector<int32_t> kinds,
                               int32_t groupColumn) {
  std::unique_ptr<RowSpool> out = RowSpool::Make();
  RowGrouper grouper(kinds.data(), int32_t(kinds.size()), groupColumn, out.get());
  for (const auto& values : rows) {
    const std::string row = RowOf(values);
    std::vector<uint32_t> starts;
    FindRowValues(row, 0, row.size(), &starts);
    EXPECT_TRUE(grouper.Add(RowView(row.data(), starts.data(), int32_t(starts.size()))));
  }
  EXPECT_TRUE(grouper.Finish());
  std::vector<std::string> groups(size_t(out->Count()));
  for (int32_t i = 0; i < out->Count(); ++i) out->Read(i, &groups[size_t(i)]);
  return groups;
}

TEST_F(DbResultOrder, GroupsAreRunsOfEqualValuesInTheSortsOrder) {
  // kinds: g plain, then COUNT, AVG, SUM, MIN, MAX of column... each reads
  // its own column, so the rows repeat v in columns 1 to 5.
  auto row = [](Value g, Value v) { return std::vector<Value>{g, v, v, v, v, v}; };
  const std::vector<int32_t> kinds = {kSQLPlain, kSQLCount, kSQLAvg, kSQLSum, kSQLMin, kSQLMax};
  const std::vector<std::vector<Value>> rows = {
      row(Value{}, Int(4)),        row(Text(""), Int(1)),        row(Text(""), Text("x")),
      row(Double(0.0), Int(3)),    row(Double(-0.0), Double(-1)), row(Int(0), Value{}),
      row(Single(1), Text("y")),   row(Int(1), Value{}),         row(Text("a"), Small(7)),
  };
  auto counted = [](int32_t n) { return Int(n); };
  const std::vector<std::string> expected = {
      RowOf({Value{}, counted(1), Double(4), Double(4), Double(4), Double(4)}),
      RowOf({Text(""), counted(2), Double(0.5), Double(1), Double(1), Double(1)}),
      RowOf({Double(0.0), counted(3), Double(2.0 / 3), Double(2), Double(-1), Double(3)}),
      // No number: SUM and AVG 0, MIN and MAX null.
      RowOf({Single(1), counted(2), Double(0), Double(0), Value{}, Value{}}),
      RowOf({Text("a"), counted(1), Double(7), Double(7), Double(7), Double(7)}),
  };
  EXPECT_EQ(expected, Group(rows, kinds, 0));
  // Without a group column every row is one group; no row, no group.
  const std::vector<std::string> whole = Group(rows, {kSQLCount, kSQLMax}, -1);
  EXPECT_EQ(whole, std::vector<std::string>{RowOf({counted(9), Double(7)})});
  EXPECT_TRUE(Group({}, kinds, 0).empty());
  EXPECT_TRUE(Group({}, kinds, -1).empty());
  // A plain column after an aggregate shows its own column's first value.
  EXPECT_EQ(Group({{Int(1), Text("x")}, {Int(2), Text("y")}}, {kSQLCount, kSQLPlain}, -1),
            std::vector<std::string>{RowOf({counted(2), Text("x")})});
}

// A row given with fewer values than the grouper reads (a sorted source's
// hidden columns) reads the rest as null, its group column too; a row given
// whole is grouped on a column past the shown ones.
TEST_F(DbResultOrder, AGroupedRowReadsValuesPastTheGivenOnesAsNull) {
  const std::vector<Value> first = {Int(1), Double(2), Int(7)};
  const std::vector<Value> second = {Int(5), Double(3), Int(8)};
  std::vector<DBValueView> a, b;
  for (size_t i = 0; i < first.size(); ++i) {
    a.push_back(first[i].View());
    b.push_back(second[i].View());
  }
  std::unique_ptr<RowSpool> out = RowSpool::Make();
  const int32_t kinds[] = {0, kSQLSum, kSQLMax};
  RowGrouper grouper(kinds, 3, 2, out.get());
  EXPECT_TRUE(grouper.Add(a.data(), 2));
  EXPECT_TRUE(grouper.Add(b.data(), 2));
  EXPECT_TRUE(grouper.Finish());
  EXPECT_EQ(Rows(out.get()), std::vector<std::string>{RowOf({Int(1), Double(5), Value{}})});

  EXPECT_EQ(Group({first, second}, {0, kSQLSum}, 2),
            (std::vector<std::string>{RowOf({Int(1), Double(2)}), RowOf({Int(5), Double(3)})}));
}

// A sort handed straight to the grouper, whatever its runs and merges,
// groups as the model's sorted rows do: the boundaries, NULL and values of
// two types in one group, a descending key, the first row's plain value,
// sums whose rounding follows the rows' order, and a column past the row's.
TEST_F(DbResultOrder, SortedRowsGroupAsTheModelsWhateverTheRuns) {
  std::mt19937 random(11);
  // The last set orders each group by a descending second key.
  const std::vector<std::vector<DBSortKey>> keySets = {
      {{0, false}}, {{0, true}}, {{2, false}}, {{1, true}}, {{2, false}, {1, true}}};
  const RowSorter::Limits shapes[] = {{}, {3000, 64}, {1500, 3}, {700, 5}, {1, 2}};
  const std::vector<int32_t> kinds = {kSQLPlain, kSQLCount, kSQLSum, kSQLAvg,  kSQLMin,
                                      kSQLMax,   kSQLPlain, kSQLPlain, kSQLSum};
  for (const RowSorter::Limits& limits : shapes) {
    for (const auto& keys : keySets) {
      // The group's column, then aggregates of the other number, v, and a
      // column the rows do not have.
      const int32_t other = keys[0].column == 0 ? 2 : 0;
      const std::vector<int32_t> from = {keys[0].column, 1, other, other, other, other, 1, 3, 3};
      std::vector<std::string> rows = MakeRows(random, 300, true);
      // A text longer than a run's first room, first.
      rows.insert(rows.begin(), RowOf({Int(2), Text(std::string(9000, 'b').c_str()), Int(1)}));
      // Every other row given value by value, as a source's rows come.
      RowSorter sorter(keys.data(), int32_t(keys.size()), 3, limits);
      for (size_t i = 0; i < rows.size(); ++i) {
        if (i % 2) {
          ASSERT_TRUE(sorter.Add(rows[i]));
          continue;
        }
        std::vector<uint32_t> starts;
        FindRowValues(rows[i], 0, rows[i].size(), &starts);
        const RowView view(rows[i].data(), starts.data(), 3);
        sorter.StartRow();
        for (int32_t column = 0; column < 3; ++column) sorter.AddValue(view.Value(column));
        ASSERT_TRUE(sorter.EndRow());
      }
      std::unique_ptr<RowSpool> out = RowSpool::Make();
      RowGrouper grouper(kinds.data(), int32_t(kinds.size()), 0, out.get());
      GroupFeed feed(&grouper, from, 3);
      ASSERT_TRUE(sorter.Deliver(&feed));
      ASSERT_TRUE(grouper.Finish());

      std::vector<std::vector<Value>> model;
      for (const std::string& row : ModelSort(rows, keys)) {
        std::vector<uint32_t> starts;
        FindRowValues(row, 0, row.size(), &starts);
        const RowView view(row.data(), starts.data(), 3);
        std::vector<Value>& values = model.emplace_back();
        for (const int32_t column : from) {
          const DBValueView value = view.Value(column);
          values.push_back({value.type, std::string(reinterpret_cast<const char*>(value.data), value.length)});
        }
      }
      EXPECT_EQ(Group(model, kinds, 0), Rows(out.get()))
          << "budget " << limits.runBudget << " width " << limits.mergeWidth << " key " << keys[0].column
          << (keys[0].descending ? " desc" : "");
    }
  }
}

// A spooled row holds every value class, NULL, an empty and a long text as
// written, read back from a spool on disk with their values found once; the
// bytes of its first values are a row of those values; a row whose count or
// lengths are wrong has none.
TEST_F(DbResultOrder, SpooledRowsReadEveryValueBackAsWritten) {
  SetSpoolStreamFactory(nullptr);  // a real temporary file
  const std::vector<Value> values = {
      Value(),          Small(-7),           Int(1 << 30),      Single(1.5f),
      Double(-2.25),    Text(""),            Text("abc", kDBChar), Text(std::string(70000, 'q').c_str()),
      Words(kDBDate, {2024, 2, 29}), Words(kDBTime, {23, 59, 1}),
      Words(kDBTimeStamp, {1, 2, 3, 4, 5, 6}), Bool(1), Bytes(std::string("\0\xff", 2)),
      Bytes("pic", kDBBlob)};
  std::unique_ptr<RowSpool> spool = RowSpool::Make();
  ASSERT_TRUE(spool);
  const std::string written = RowOf(values);
  ASSERT_TRUE(spool->Append("", 0));
  ASSERT_TRUE(spool->Append(written.data(), written.size()));
  ASSERT_TRUE(spool->Flush());

  const auto columns = int32_t(values.size());
  std::string bytes;
  SpooledRow row;
  ASSERT_TRUE(spool->Read(1, &bytes));
  ASSERT_TRUE(row.Parse(&bytes, columns));
  ASSERT_EQ(row.ColumnCount(), columns);
  for (int32_t column = 0; column < columns; ++column) {
    const DBValueView got = row.Value(column);
    EXPECT_EQ(got.type, values[size_t(column)].type) << column;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.data), got.length), values[size_t(column)].bytes)
        << column;
    EXPECT_EQ(row.Values()[column].data, got.data);
    EXPECT_EQ(row.Bytes().substr(0, row.PrefixLength(column + 1)),
              RowOf(std::vector<Value>(values.begin(), values.begin() + column + 1)));
  }
  EXPECT_EQ(row.PrefixLength(0), 0u);
  EXPECT_EQ(row.PrefixLength(columns + 5), written.size());
  EXPECT_EQ(row.Value(columns).type, kDBNull);
  EXPECT_EQ(row.Value(-1).type, kDBNull);
  EXPECT_EQ(CompareRows(row, row, nullptr, 0), 0);

  // The empty row, a row of another width and a row cut short hold nothing.
  ASSERT_TRUE(spool->Read(0, &bytes));
  EXPECT_TRUE(row.Parse(&bytes, 0));
  EXPECT_EQ(row.ColumnCount(), 0);
  bytes = written;
  EXPECT_FALSE(row.Parse(&bytes, columns - 1));
  EXPECT_EQ(row.ColumnCount(), 0);
  EXPECT_EQ(row.PrefixLength(3), 0u);
  bytes = written.substr(0, written.size() - 1);
  EXPECT_FALSE(row.Parse(&bytes, columns));
  EXPECT_EQ(row.Value(0).type, kDBNull);
}

// A spool keeps empty rows, and a write that failed fails every later flush
// rather than leaving a hole in the file.
TEST_F(DbResultOrder, SpoolsKeepEmptyRowsAndStopAtAFailedWrite) {
  std::unique_ptr<RowSpool> spool = RowSpool::Make();
  ASSERT_TRUE(spool->Append("", 0));
  ASSERT_TRUE(spool->Append("ab", 2));
  ASSERT_TRUE(spool->Append("", 0));
  EXPECT_EQ(Rows(spool.get()), (std::vector<std::string>{"", "ab", ""}));

  auto failing = std::make_unique<MemoryFileStream>();
  failing->faults.writeFails = true;
  SpoolFile file(std::move(failing));
  const std::string big(kSpoolBufferSize + 1, 'x');
  EXPECT_FALSE(file.Append(big.data(), big.size()));
  EXPECT_FALSE(file.Flush());
  EXPECT_FALSE(file.Append("y", 1));
}

}  // namespace
