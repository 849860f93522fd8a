// ORDER BY through the sort builder: a large sort against a reference, the
// order of values of every type, oversized values, failing temporary writes
// and application code run during the sort.
#include <cmath>
#include <cstring>
#include <limits>

#include "database/results/ValueOrder.h"
#include "database/storage/Key.h"
#include "tests/database/dbresult_support.h"

namespace {

using DbResultSort = DbResultTest;

// A value as "type:bytes", which tells 1 (type 3) from 1.0 (type 7).
std::string Signature(int32_t type, const void* data, size_t length) {
  return std::to_string(type) + ":" + std::string(static_cast<const char*>(data), length);
}
std::string Signature(const FakeValue& value) { return Signature(value.type, value.bytes.data(), value.bytes.size()); }

// The set's rows from where it stands, each value's signature joined by "|".
std::vector<std::string> Signatures(RuntimeObject* set) {
  std::vector<std::string> rows;
  RecordSetFields* fields = RecordSetArgument(set);
  for (; !fields->eof; cursorMoveNext(set)) {
    std::string row;
    for (int32_t column = 0; column < cursorFieldCount(set, 0); ++column) {
      const CursorValue value = RecordSetCursor(fields).ColumnValue(column);
      row += (column ? "|" : "") + Signature(value.view().type, value.view().data, value.view().length);
    }
    rows.push_back(row);
  }
  return rows;
}

std::string RowSignature(const std::vector<FakeValue>& row) {
  std::string text;
  for (size_t i = 0; i < row.size(); ++i) text += (i ? "|" : "") + Signature(row[i]);
  return text;
}

// The reference order for nulls, 32-bit integers, doubles and texts.
double Number(const FakeValue& value) {
  if (value.type == kDBInteger) {
    int32_t number;
    std::memcpy(&number, value.bytes.data(), 4);
    return number;
  }
  double number;
  std::memcpy(&number, value.bytes.data(), 8);
  return number;
}

int ReferenceCompare(const FakeValue& a, const FakeValue& b) {
  const auto rank = [](const FakeValue& v) { return v.type == kDBNull ? 0 : v.type == kDBVarChar ? 2 : 1; };
  if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
  if (rank(a) == 0) return 0;
  if (rank(a) == 1) return Number(a) < Number(b) ? -1 : Number(a) > Number(b);
  for (size_t i = 0; i < a.bytes.size() && i < b.bytes.size(); ++i) {
    const uint8_t x = kDBCollation[uint8_t(a.bytes[i])], y = kDBCollation[uint8_t(b.bytes[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.bytes.size() < b.bytes.size() ? -1 : a.bytes.size() > b.bytes.size();
}

struct Lcg {
  uint32_t state = 12345;
  uint32_t Next(uint32_t bound) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % bound;
  }
};

TEST_F(DbResultSort, TwoHundredThousandRowsMatchAReferenceStableSort) {
  Lcg random;
  const char letters[] = {'a', 'A', 'b', 'B', ' ', '\x80', '\xE9', '\xFF'};
  FakeRows rows;
  for (int i = 0; i < 200000; ++i) {
    std::vector<FakeValue> row;
    row.push_back(random.Next(20) ? FakeInteger(int32_t(random.Next(30))) : FakeNull());
    std::string text;
    for (uint32_t n = random.Next(4); n > 0; --n) text += letters[random.Next(8)];
    row.push_back(random.Next(20) ? FakeText(text) : FakeNull());
    // Whole numbers come as integers or doubles: equal values, told apart
    // only by the tie rule.
    const uint32_t number = random.Next(6);
    row.push_back(random.Next(2) ? FakeInteger(int32_t(number)) : FakeDouble(number));
    rows.push_back(std::move(row));
  }
  // Keys: column 1 ascending, column 2 descending; then every column; then
  // the later source row first.
  std::vector<size_t> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&rows](size_t a, size_t b) {
    int c = ReferenceCompare(rows[a][0], rows[b][0]);
    if (!c) c = -ReferenceCompare(rows[a][1], rows[b][1]);
    for (size_t column = 0; !c && column < 3; ++column) c = ReferenceCompare(rows[a][column], rows[b][column]);
    return c ? c < 0 : a > b;
  });

  RowsCursor source(rows, 3);
  ObjectRef set = ObjectRef::Adopt(source.NewSet());
  const DBSortKey keys[] = {{0, 0}, {1, 1}};
  const uint64_t compares = ValueCompareCount();
  ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(set.get(), 2, keys, 0));
  ASSERT_TRUE(sorted);
  EXPECT_LT(ValueCompareCount() - compares, 200000u * 100);
  const std::vector<std::string> got = Signatures(sorted.get());
  ASSERT_EQ(got.size(), rows.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], RowSignature(rows[order[i]])) << "row " << i;
  }
  EXPECT_LT(SpoolStreams::reads, 2000);
  EXPECT_LT(SpoolStreams::writes, 2000);
}

FakeValue Words(int32_t type, std::vector<uint16_t> words) { return FakeWords(type, std::move(words)); }

TEST_F(DbResultSort, ValuesOfEveryTypeFollowOneTotalOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Ascending order; each value once.
  const std::vector<FakeValue> ascending = {
      FakeNull(), FakeSmallInt(-5), FakeSingle(0.5f), FakeInteger(1), FakeDouble(nan),
      FakeText("A", kDBChar), FakeText("a"), FakeText("ab", kDBTextBlob), FakeText("b"),
      Words(kDBDate, {1999, 12, 31}), Words(kDBDate, {2000, 1, 1}), Words(kDBTime, {0, 0, 1}),
      Words(kDBTimeStamp, {2000, 1, 1, 0, 0, 0}), FakeBoolean(false), FakeBoolean(true),
      FakeText("\x01", kDBBlob), FakeText("\x01\x02", kDBBinary), FakeText("\xFF", kDBBlob),
      FakeText(std::string("\xFF\x00", 2), 13)};
  for (size_t i = 0; i < ascending.size(); ++i) {
    for (size_t j = 0; j < ascending.size(); ++j) {
      const DBValueView a = CheckedValue(ascending[i].type, ascending[i].bytes.data(), int32_t(ascending[i].bytes.size()));
      const DBValueView b = CheckedValue(ascending[j].type, ascending[j].bytes.data(), int32_t(ascending[j].bytes.size()));
      EXPECT_EQ(CompareValues(a, b), i < j ? -1 : i > j ? 1 : 0) << i << " against " << j;
    }
  }
  // Through the builder, shuffled: ascending, and descending with null last.
  FakeRows rows;
  for (size_t i = 0; i < ascending.size(); ++i) rows.push_back({ascending[(i * 7) % ascending.size()]});
  RowsCursor source(rows, 1);
  for (uint8_t descending : {0, 1}) {
    ObjectRef set = ObjectRef::Adopt(source.NewSet());
    const DBSortKey key{0, descending};
    ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(set.get(), 1, &key, 0));
    std::vector<std::string> expected;
    for (const FakeValue& value : ascending) expected.push_back(Signature(value));
    if (descending) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Signatures(sorted.get()), expected);
    source = RowsCursor(rows, 1);
  }
  // 1 and 1.0 are equal: the later row comes first.
  RowsCursor equal({{FakeInteger(1)}, {FakeDouble(1.0)}}, 1);
  ObjectRef equalSet = ObjectRef::Adopt(equal.NewSet());
  const DBSortKey key{0, 0};
  ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(equalSet.get(), 1, &key, 0));
  EXPECT_EQ(Signatures(sorted.get()), (std::vector<std::string>{Signature(FakeDouble(1.0)), Signature(FakeInteger(1))}));
}

TEST_F(DbResultSort, AValueOverTheWholeBudgetComesBackWhole) {
  const std::string big(700000, 'z');
  for (bool first : {true, false}) {
    FakeRows rows;
    for (int i = 0; i < 100; ++i) rows.push_back({FakeText("s" + std::to_string(i % 10)), FakeInteger(i)});
    rows.insert(first ? rows.begin() : rows.end(), {FakeText(big), FakeInteger(-1)});
    RowsCursor source(rows, 2);
    ObjectRef set = ObjectRef::Adopt(source.NewSet());
    const DBSortKey key{0, 0};
    ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(set.get(), 1, &key, 0));
    const std::vector<std::string> got = Signatures(sorted.get());
    ASSERT_EQ(got.size(), 101u);
    EXPECT_EQ(got.back(), Signature(FakeText(big)) + "|" + Signature(FakeInteger(-1))) << first;
    EXPECT_EQ(got.front(), Signature(FakeText("s0")) + "|" + Signature(FakeInteger(0))) << first;
  }
}

TEST_F(DbResultSort, MoreRunsThanOneMergeTakesAreMergedInPasses) {
  // Each row is over the memory budget, so each is a run: 70 runs, merged
  // 64 and 6, then the two. Real temporary files hold them.
  SetSpoolStreamFactory(nullptr);
  FakeRows rows;
  for (int i = 0; i < 70; ++i) {
    const int key = (i * 37) % 70;
    rows.push_back({FakeInteger(key / 2), FakeText(std::string(640001, char('a' + key % 26)))});
  }
  RowsCursor source(rows, 2);
  ObjectRef set = ObjectRef::Adopt(source.NewSet());
  const DBSortKey key{0, 1};
  ObjectRef sorted = ObjectRef::Adopt(BuildSortedResult(set.get(), 1, &key, 0));
  ASSERT_TRUE(sorted);
  std::vector<std::string> expected;
  for (const auto& row : rows) expected.push_back(RowSignature(row));
  // Keys descending; equal keys by the text ascending.
  std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
    return a.substr(0, 6) != b.substr(0, 6) ? a.substr(0, 6) > b.substr(0, 6) : a < b;
  });
  const std::vector<std::string> got = Signatures(sorted.get());
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == expected[i]) << "row " << i;
}

TEST_F(DbResultSort, OrderByThroughSQLWithAHiddenColumn) {
  ASSERT_EQ(Exec({"create table t (a integer, b varchar(9))"}), "");
  Insert("t (a, b)", {"1, 'c'", "2, 'a'", "3, 'b'", "4, NULL"});
  ObjectRef set = Select("select a from t order by b desc");
  ASSERT_TRUE(set) << Error();
  EXPECT_EQ(cursorFieldCount(set.get(), 0), 1);
  StringRef name = StringRef::Adopt(RecordSetColumnName(RecordSetArgument(set.get()), 0));
  EXPECT_EQ(StringBytes(name.get()), "a");
  EXPECT_EQ(Rows(set.get()), (std::vector<std::string>{"1", "3", "2", "4"}));
  // Moving back over the sorted rows.
  cursorMoveFirst(set.get());
  EXPECT_EQ(Row(set.get()), "1");
  cursorMoveLast(set.get());
  EXPECT_EQ(Row(set.get()), "4");
  cursorMovePrevious(set.get());
  EXPECT_EQ(Row(set.get()), "2");
}

class DbResultSortTable : public DbResultTest {
 public:
  void InsertTen() {
    for (int i = 0; i < 10; ++i)
      Exec({"insert into t (id, n, s) values (" + std::to_string(1000 + i) + ", 1, 'new')"});
  }
  void CloseDatabase() { databaseClose(db_.get()); }
  void DropDatabase() { db_ = ObjectRef(); }

 protected:
  void Fill(int rows) {
    ASSERT_EQ(Exec({"create table t (id integer not null, n integer, s varchar(200), primary key (id))"}), "");
    std::vector<std::string> values;
    for (int i = 0; i < rows; ++i)
      values.push_back(std::to_string(i) + ", " + std::to_string(i % 37) + ", '" + std::string(150, char('a' + i % 26)) + "'");
    Insert("t (id, n, s)", values);
  }
};

TEST_F(DbResultSortTable, EveryFailingTemporaryWriteGivesNilAnd210) {
  Fill(5000);
  const int64_t before = SpoolStreams::writes;
  {
    ObjectRef set = Select("select n, s, id from t order by 1 desc");
    ASSERT_TRUE(set) << Error();
  }
  const int64_t writes = SpoolStreams::writes - before;
  ASSERT_GT(writes, 4) << "the sort should spill to its run spool";
  for (int64_t k = 1; k <= writes; ++k) {
    SpoolStreams::failWrite = SpoolStreams::writes + k;
    ObjectRef set = Select("select n, s, id from t order by 1 desc");
    EXPECT_FALSE(set) << "write " << k;
    EXPECT_EQ(Error(), "210 Error writing temporary data") << "write " << k;
  }
}

DbResultSortTable* current = nullptr;
int pollCalls = 0;
StringRecord* sqlText = nullptr;

TEST_F(DbResultSortTable, ApplicationCodeDuringTheSortMayChangeOrCloseTheDatabase) {
  Fill(50);
  current = this;
  RuntimeSetBackgroundSocketPoll(true);
  pollCalls = 0;
  SetSocketPollHook([](bool) {
    if (++pollCalls == 5) current->InsertTen();
    return true;
  });
  ObjectRef set = Select("select id from t order by n");
  ASSERT_TRUE(set) << Error();
  EXPECT_GE(pollCalls, 50);
  EXPECT_GE(Rows(set.get()).size(), 50u);
  EXPECT_EQ(Query("select count(*) from t"), std::vector<std::string>{"60"});

  pollCalls = 0;
  SetSocketPollHook([](bool) {
    if (++pollCalls == 5) current->CloseDatabase();
    return true;
  });
  EXPECT_FALSE(Select("select id from t order by n"));
  EXPECT_EQ(pollCalls, 5);

  // The application drops its last references to the database and to the
  // query's text (one the statement converts) while the query sorts: the
  // sorted rows come back, owned by the database, which lives as long as
  // they do, with the text they were made from.
  db_ = ObjectRef::Adopt(NewBuiltInDatabaseObject(OpenEngineDatabaseAt(PathString(kPath).get(), storage_)));
  ASSERT_TRUE(db_);
  RuntimeObject* database = db_.get();
  const char* const text = "select id from t order by n, id";
  sqlText = StringFromUTF8(text);
  pollCalls = 0;
  SetSocketPollHook([](bool) {
    if (++pollCalls == 5) {
      current->DropDatabase();
      StringRecordRelease(std::exchange(sqlText, nullptr));
    }
    return true;
  });
  set = ObjectRef::Adopt(databaseSelect(database, sqlText));
  SetSocketPollHook(nullptr);
  ASSERT_FALSE(db_) << "the hook ran";
  ASSERT_TRUE(set);
  ASSERT_EQ(RecordSetOwner(set.get()), database);
  ASSERT_GT(database->refCount, 0) << "the set's database was destroyed under it";
  EXPECT_TRUE(ObjectIsADefinition(database, GetDatabaseClassDefinition()));
  const StringRecord* kept = RecordSetArgument(set.get())->sqlText;
  ASSERT_TRUE(kept && kept->refCount > 0) << "the set's text was freed under it";
  EXPECT_EQ(StringBytes(kept), text);
  EXPECT_EQ(Rows(set.get()).size(), 60u);
}

}  // namespace
