// Helpers of the query result tests: the SQL fixture with the result
// builders in their slots and the spools on counting memory streams (whose
// k-th write can be made to fail), and a lean cursor over generated rows.
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "database/results/QueryResults.h"
#include "database/results/GroupingBuilder.h"
#include "database/results/RowSpool.h"
#include "database/results/SortBuilder.h"
#include "database/sql/ResultBuilders.h"
#include "host/runtimemainloop.h"
#include "testsupport/FakeDBEngine.h"
#include "testsupport/MemoryFileStream.h"
#include "tests/database/dbsql_support.h"

// Every stream the spools made, live or gone, with the calls made on it.
struct SpoolStreams {
  static inline int64_t reads = 0;
  static inline int64_t writes = 0;
  static inline int64_t failWrite = 0;  // the write (counted from 1) that fails; 0 none
  static inline int32_t live = 0;
  static inline std::vector<MemoryFileStream*> open;  // in the order made

  static void Reset() {
    reads = writes = failWrite = 0;
  }
};

class CountingStream : public MemoryFileStream {
 public:
  CountingStream() {
    ++SpoolStreams::live;
    SpoolStreams::open.push_back(this);
  }
  ~CountingStream() override {
    --SpoolStreams::live;
    auto& open = SpoolStreams::open;
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
  }
  bool Read(void* buffer, int32_t count, int32_t* got) override {
    ++SpoolStreams::reads;
    return MemoryFileStream::Read(buffer, count, got);
  }
  bool Write(const void* buffer, int32_t count) override {
    return ++SpoolStreams::writes != SpoolStreams::failWrite &&
           MemoryFileStream::Write(buffer, count);
  }
};

inline FileStreamPtr MakeCountingStream() { return std::make_unique<CountingStream>(); }

class DbResultTest : public DbSqlTest {
 protected:
  void SetUp() override {
    DbSqlTest::SetUp();
    RegisterQueryResults();
    SetSortBuilder(BuildSortedResult);
    SetGroupingBuilder(BuildGroupedResult);
    SetSpoolStreamFactory(MakeCountingStream);
    SpoolStreams::Reset();
  }
  void TearDown() override {
    SetSpoolStreamFactory(nullptr);
    SetSortBuilder(nullptr);
    SetGroupingBuilder(nullptr);
    SetSocketPollHook(nullptr);
    RuntimeSetBackgroundSocketPoll(false);
    DbSqlTest::TearDown();
    EXPECT_EQ(SpoolStreams::live, 0) << "spool streams left open";
  }
  // Rows of every set from where it stands, as Query gives them.
  static std::vector<std::string> Rows(RuntimeObject* set) {
    std::vector<std::string> rows;
    for (; !RecordSetArgument(set)->eof; cursorMoveNext(set)) rows.push_back(Row(set));
    return rows;
  }
  // Inserts rows ("t (a, b)" and value lists such as "1, 'x'") and commits.
  void Insert(const std::string& into, const std::vector<std::string>& values) {
    for (const std::string& row : values) {
      ASSERT_EQ(Exec({"insert into " + into + " values (" + row + ")"}), "") << row;
    }
    databaseCommit(db_.get());
  }
};

// A cursor over rows kept in the test, with only the slots a drain needs
// (close, column count, value, move next): cheap enough for large sorts.
class RowsCursor {
 public:
  explicit RowsCursor(FakeRows rows, int32_t columns) : rows_(std::move(rows)), columns_(columns) {}
  // A RecordSet over the rows (the caller's); the cursor must outlive it.
  RuntimeObject* NewSet() {
    static DBCursorDefinition table = {{kDBInterfaceVersion, 0, Slot(Close), Slot(ColumnCount), 0, 0,
                                        Slot(ColumnValue), 0, Slot(MoveNext)}};
    return TOVAdbCursorFromDBCursor(reinterpret_cast<DBHandle>(this), &table);
  }

 private:
  template <class Function>
  static DBWord Slot(Function* function) {
    return reinterpret_cast<DBWord>(function);
  }
  static RowsCursor& Of(DBHandle handle) { return *reinterpret_cast<RowsCursor*>(handle); }
  static void DB_CDECL Close(DBHandle) {}
  static int32_t DB_CDECL ColumnCount(DBHandle handle) { return Of(handle).columns_; }
  static void DB_CDECL ColumnValue(DBHandle handle, int32_t column, const void** data,
                                   int32_t* type, int32_t* length) {
    const FakeValue& value = Of(handle).rows_[Of(handle).position_][size_t(column)];
    *data = value.bytes.data();
    *type = value.type;
    *length = int32_t(value.bytes.size());
  }
  static uint8_t DB_CDECL MoveNext(DBHandle handle) {
    RowsCursor& cursor = Of(handle);
    if (cursor.started_ && cursor.position_ < cursor.rows_.size()) ++cursor.position_;
    cursor.started_ = true;
    return cursor.position_ < cursor.rows_.size();
  }

  FakeRows rows_;
  int32_t columns_;
  size_t position_ = 0;
  bool started_ = false;
};
