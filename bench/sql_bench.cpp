// The SQL front-end against SQLite on the same statements: each case runs
// one workload on a table loaded beforehand (untimed) and prints its time.
// One case per process, so that each starts from the same state.
//
//   sql_bench <case> ours|split|sqlite-exec|sqlite-prepared <rows> <folder>
//
// Cases: insert (rows INSERTs in random key order, one transaction),
// commit (1,000 INSERTs each committed), select (10,000 "select * from t
// where id = k"), range (5 scans of a tenth of the keys), like (one
// "name like 'abc%'" scan), update and delete (10,000 keyed statements, one
// transaction), join (1,000 outer rows matched on the inner key of 10,000).
// The query results' cases run on a table r (id, n, name, value): drain
// ("select * from r"), order-int and order-text (ORDER BY n or name) with
// their -desc twins, group10, group1k and group100k (GROUP BY n with COUNT,
// SUM, AVG, MIN and MAX over that many groups), and query (a DatabaseQuery
// drained, then 10,000 random rows read by number; SQLite copies the result
// into a temporary table and reads it by rowid through a prepared
// statement).
// Every row read has every column read as text: through field objects'
// StringValue here, through the exec callback's texts or
// sqlite3_column_text in SQLite.
//
// "ours" is Database.SQLExecute / SQLSelect; "split" runs the workload's
// texts through the parser alone, then the parser and validation, then the
// whole statement without reading values, then with them, and prints the
// four times. SQLite takes the engine's terms: exclusive locking, 8 KiB
// pages, a cache of the engine's budget, a rollback journal, full syncs,
// the key as INTEGER PRIMARY KEY.
//
// A read case (all but query) runs its statements three times in a row and
// prints its fastest pass, for every driver alike: most of them take a few
// milliseconds, no more than the noise of a time slice under Wine.
//
// Prints "case <case> <driver> <rows> <statements> <seconds> <rows read>
// <peak working set>"
// (and for split "split <case> <parse> <validate> <statement> <values>").
// Nothing is asserted: bench/run_sql_bench.sh runs each case with each
// driver, puts their lines side by side and prints each ratio against its
// goal ("<ratio>x <peer> goal >= <g>").
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "database/Win32StorageAdapter.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/DatabaseRecord.h"
#include "database/api/RecordSet.h"
#include "database/results/DatabaseQuery.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/EngineTable.h"
#include "database/sql/SQLFrontEnd.h"
#include "host/RuntimeMain.h"
#include "runtime/RuntimeSetup.h"

#ifdef SQL_BENCH_WITH_SQLITE
#include "sqlite3.h"
#endif

namespace {

constexpr int kKeyed = 10000;
constexpr int kCommitted = 1000;
constexpr int kOuter = 1000, kInner = 10000;
constexpr int kRandomRows = 10000;

// A statement: its shape, "?" standing for a number and "'?'" for a text,
// and the parameters in order. The text fills them in; SQLite binds them.
struct Statement {
  std::string shape;
  std::vector<std::string> parameters;

  std::string Text() const {
    std::string text;
    text.reserve(shape.size() + 64);
    size_t next = 0;
    for (const char c : shape) {
      if (c == '?') {
        text += parameters[next++];
      } else {
        text += c;
      }
    }
    return text;
  }
};

Statement Insert(int id) {
  std::string name = (id % 16 == 0 ? "abc-" : "row-") + std::to_string(id) + "-";
  const size_t length = 20 + size_t(uint32_t(id) * 2654435761u % 31);
  while (name.size() < length) name += char('a' + name.size() % 26);
  char value[32];
  std::snprintf(value, sizeof value, "%.17g", id * 0.25 + 0.1);
  return {"insert into t (id, name, value, day) values (?, '?', ?, '?')",
          {std::to_string(id), name, value,
           std::to_string(2000 + id % 30) + "-" + std::to_string(1 + id % 12) + "-" + std::to_string(1 + id % 28)}};
}

// One workload: its statements, and whether they run in one transaction or
// each committed.
struct Workload {
  std::vector<Statement> statements;
  bool reads = false;
  bool commitEach = false;
};

Workload MakeWorkload(const std::string& name, int rows) {
  Workload work;
  std::mt19937 random(2323);
  std::vector<int> keys(static_cast<size_t>(rows));
  std::iota(keys.begin(), keys.end(), 0);
  std::shuffle(keys.begin(), keys.end(), random);
  if (name == "insert") {
    for (int id : keys) work.statements.push_back(Insert(id));
  } else if (name == "commit") {
    for (int i = 0; i < kCommitted; ++i) work.statements.push_back(Insert(rows + keys[size_t(i)]));
    work.commitEach = true;
  } else if (name == "select") {
    for (int i = 0; i < kKeyed; ++i)
      work.statements.push_back({"select * from t where id = ?", {std::to_string(keys[size_t(i) % keys.size()])}});
  } else if (name == "range") {
    for (int i = 0; i < 5; ++i) {
      const int from = i * rows / 5;
      work.statements.push_back(
          {"select * from t where id >= ? and id < ?", {std::to_string(from), std::to_string(from + rows / 10)}});
    }
  } else if (name == "like") {
    work.statements.push_back({"select * from t where name like '?'", {"abc%"}});
  } else if (name == "update") {
    for (int i = 0; i < kKeyed; ++i) {
      const int k = keys[size_t(i) % keys.size()];
      work.statements.push_back(
          {"update t set name = '?', value = ? where id = ?", {"updated-" + std::to_string(k), "1.5", std::to_string(k)}});
    }
  } else if (name == "delete") {
    for (int i = 0; i < kKeyed && i < rows; ++i)
      work.statements.push_back({"delete from t where id = ?", {std::to_string(keys[size_t(i)])}});
  } else if (name == "join") {
    work.statements.push_back({"select * from o, t where o.k = t.id", {}});
  } else if (name == "drain" || name == "query") {
    work.statements.push_back({"select * from r", {}});
  } else if (name.compare(0, 6, "order-") == 0) {
    const bool text = name.find("text") != std::string::npos;
    const bool descending = name.find("desc") != std::string::npos;
    work.statements.push_back({std::string("select * from r order by ") + (text ? "name" : "n") +
                               (descending ? " desc" : ""), {}});
  } else if (name.compare(0, 5, "group") == 0) {
    work.statements.push_back(
        {"select n, count(*), sum(value), avg(value), min(value), max(value) from r group by n", {}});
  }
  work.reads = name != "insert" && name != "commit" && name != "update" && name != "delete";
  return work;
}

// The results cases' groups: group10 has 10.
int GroupCount(const std::string& name, int rows) {
  if (name == "group10") return 10;
  if (name == "group1k") return 1000;
  if (name == "group100k") return 100000;
  return rows / 10;  // ORDER BY n: many duplicates
}

bool IsResultsCase(const std::string& name) {
  return name == "drain" || name == "query" || name.compare(0, 6, "order-") == 0 ||
         name.compare(0, 5, "group") == 0;
}

// The statements that fill the tables before the clock runs.
std::vector<Statement> LoadStatements(const std::string& name, int rows) {
  if (IsResultsCase(name)) {
    std::vector<Statement> load = {
        {"create table r (id integer not null, n integer, name varchar(50), value double, primary key (id))", {}}};
    const uint32_t groups = uint32_t(std::max(GroupCount(name, rows), 1));
    for (int id = 0; id < rows; ++id) {
      const Statement row = Insert(id);
      load.push_back({"insert into r (id, n, name, value) values (?, ?, '?', ?)",
                      {row.parameters[0], std::to_string(uint32_t(id) * 2654435761u % groups),
                       row.parameters[1], row.parameters[2]}});
    }
    return load;
  }
  std::vector<Statement> load = {
      {"create table t (id integer not null, name varchar(50), value double, day date, primary key (id))", {}}};
  if (name == "insert") return load;
  const int count = name == "join" ? kInner : rows;
  for (int id = 0; id < count; ++id) load.push_back(Insert(id));
  if (name == "join") {
    load.push_back({"create table o (id integer not null, k integer, primary key (id))", {}});
    std::mt19937 random(77);
    for (int id = 0; id < kOuter; ++id)
      load.push_back({"insert into o (id, k) values (?, ?)", {std::to_string(id), std::to_string(random() % kInner)}});
  }
  return load;
}

class Driver {
 public:
  virtual ~Driver() = default;
  virtual void Execute(const Statement& statement) = 0;
  // Rows read, every column as text; -1 when the statement failed.
  virtual long Query(const Statement& statement) = 0;
  // The results' scrollable access: the select drained, then the given
  // rows (1-based) read by number, every column as text; rows read.
  virtual long ReadByNumber(const Statement& select, const std::vector<int>& rows) = 0;
  virtual void Begin() {}
  virtual void Commit() = 0;
};

// ---- This run-time ------------------------------------------------------------------

class Ours : public Driver {
 public:
  explicit Ours(const std::wstring& path) {
    StringRef file = StringRef::Adopt(
        StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
    db_ = ObjectRef::Adopt(NewBuiltInDatabaseObject(CreateEngineDatabaseAt(file.get(), Win32DatabaseStorage())));
  }
  bool Ready() const { return bool(db_); }
  void Execute(const Statement& statement) override { Execute(statement.Text()); }
  long Query(const Statement& statement) override { return Read(statement.Text(), true); }
  void Execute(const std::string& sql) {
    databaseExecute(db_.get(), Text(sql).get());
    Check(sql);
  }
  void Commit() override { databaseCommit(db_.get()); }

  long ReadByNumber(const Statement& select, const std::vector<int>& rows) override {
    ObjectRef query = ObjectRef::Adopt(CreateInstance(GetDatabaseQueryClassDefinition()));
    DatabaseQueryFields* fields = ObjectFields<DatabaseQueryFields>(query.get());
    fields->database = db_.get();
    RuntimeLockObject(db_.get());
    fields->sqlQuery = Text(select.Text()).release();
    const int32_t count = DatabaseQueryGetCount(query.get());
    long read = 0;
    for (int row : rows) {
      ObjectRef record = ObjectRef::Adopt(DatabaseQueryGetRow(query.get(), row));
      if (!record) continue;
      for (int32_t column = 1; column <= recordFieldCount(record.get()); ++column)
        StringRef text = StringRef::Adopt(recordGetIndString(record.get(), column));
      ++read;
    }
    return count > 0 ? read : -1;
  }

  long Read(const std::string& sql, bool values) {
    ObjectRef set = ObjectRef::Adopt(databaseSelect(db_.get(), Text(sql).get()));
    if (!set) return Check(sql), -1;
    long rows = 0;
    const int32_t columns = cursorFieldCount(set.get(), 0);
    for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get()), ++rows) {
      for (int32_t column = 1; values && column <= columns; ++column) {
        ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(set.get(), column));
        StringRef text = StringRef::Adopt(fieldStringValueGetter(field.get(), 0));
      }
    }
    cursorClose(set.get());
    return rows;
  }
  RuntimeObject* database() const { return db_.get(); }

 private:
  static StringRef Text(const std::string& sql) { return StringRef::Adopt(NewString(sql, kEncodingASCII)); }
  void Check(const std::string& sql) {
    if (!databaseErrorCodeGetter(db_.get(), 0)) return;
    StringRef message = StringRef::Adopt(databaseErrorMessageGetter(db_.get(), 0));
    std::fprintf(stderr, "%s: %s\n", sql.c_str(), StringCStr(message.get()));
  }

  ObjectRef db_;
};

// An ORDER BY's time in steps: the source drained alone (no values read),
// drained reading each value as the sort captures it (the engine's values,
// not texts), the sorted result built (capture, runs, spool writes and
// merges), its rows walked, and walked again reading every value as text.
void SplitSort(Ours& ours, const std::string& name, const Workload& work) {
  const std::string sql = work.statements[0].Text();
  double start = Now();
  ours.Read("select * from r", false);
  const double drain = Now() - start;
  StringRef all = StringRef::Adopt(NewString(std::string("select * from r"), kEncodingASCII));
  start = Now();
  {
    ObjectRef source = ObjectRef::Adopt(databaseSelect(ours.database(), all.get()));
    RecordSetFields* fields = RecordSetArgument(source.get());
    const int32_t count = cursorFieldCount(source.get(), 0);
    for (; !fields->eof; cursorMoveNext(source.get())) {
      for (int32_t column = 0; column < count; ++column) RecordSetCursor(fields).ColumnValue(column);
    }
  }
  const double capture = Now() - start;
  StringRef text = StringRef::Adopt(NewString(sql, kEncodingASCII));
  start = Now();
  ObjectRef set = ObjectRef::Adopt(databaseSelect(ours.database(), text.get()));
  const double build = Now() - start;
  if (!set) return;
  const int32_t columns = cursorFieldCount(set.get(), 0);
  start = Now();
  for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) {
  }
  const double walk = Now() - start;
  cursorMoveFirst(set.get());
  start = Now();
  for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) {
    for (int32_t column = 1; column <= columns; ++column) {
      ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(set.get(), column));
      StringRef value = StringRef::Adopt(fieldStringValueGetter(field.get(), 0));
    }
  }
  const double values = Now() - start;
  std::printf("split %s %.4f %.4f %.4f %.4f %.4f\n", name.c_str(), drain, capture, build, walk, values);
}

// The parser alone, then with validation, for each statement.
void Split(Ours& ours, const std::string& name, const Workload& work) {
  if (name.compare(0, 6, "order-") == 0) return SplitSort(ours, name, work);
  const auto time = [&work](const std::function<void(const std::string&)>& step) {
    const double start = Now();
    for (const Statement& statement : work.statements) step(statement.Text());
    return Now() - start;
  };
  const auto parse = [](const std::string& sql, SQLSelectStatement* select) {
    SQLTokenizer text(reinterpret_cast<const uint8_t*>(sql.data()), sql.size());
    const std::string first(text.NextToken().text);
    SQLError error;
    if (first == "select") return ParseSelect(text, select, &error);
    if (first == "insert") {
      SQLInsert insert;
      return ParseInsert(text, &insert, &error);
    }
    if (first == "update") {
      SQLUpdate update;
      return ParseUpdate(text, &update, &error);
    }
    SQLDelete remove;
    return ParseDelete(text, &remove, &error);
  };
  const double parsing = time([&parse](const std::string& sql) {
    SQLSelectStatement select;
    parse(sql, &select);
  });
  double validating = 0, statements = 0, values = 0;
  if (work.reads) {
    validating = time([&](const std::string& sql) {
      SQLSelectStatement select;
      SQLError error;
      if (parse(sql, &select)) ValidateSelect(ours.database(), &select, kEncodingASCII, &error);
    });
    statements = time([&ours](const std::string& sql) { ours.Read(sql, false); });
    values = time([&ours](const std::string& sql) { ours.Read(sql, true); });
  } else {
    statements = time([&ours](const std::string& sql) { ours.Execute(sql); });
  }
  std::printf("split %s %.4f %.4f %.4f %.4f\n", name.c_str(), parsing, validating, statements, values);
}

// ---- SQLite ----------------------------------------------------------------------------

#ifdef SQL_BENCH_WITH_SQLITE
class Sqlite : public Driver {
 public:
  Sqlite(const std::wstring& path, bool prepared) : prepared_(prepared) {
    const std::string name(path.begin(), path.end());
    if (sqlite3_open(name.c_str(), &db_) != SQLITE_OK) return;
    for (const char* pragma : {"PRAGMA page_size=8192", "PRAGMA locking_mode=EXCLUSIVE",
                               "PRAGMA cache_size=-131072", "PRAGMA journal_mode=DELETE",
                               "PRAGMA synchronous=FULL"}) {
      Execute(std::string(pragma));
    }
  }
  ~Sqlite() override {
    for (auto& [shape, statement] : prepared_statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }
  void Execute(const Statement& statement) override {
    if (prepared_) return Step(statement, nullptr);
    Execute(statement.Text());
  }
  long Query(const Statement& statement) override {
    long rows = 0;
    if (prepared_) {
      Step(statement, &rows);
      return rows;
    }
    const auto readRow = [](void* count, int columns, char** texts, char**) {
      size_t bytes = 0;
      for (int i = 0; i < columns; ++i) bytes += texts[i] ? std::strlen(texts[i]) : 0;
      *static_cast<long*>(count) += bytes ? 1 : 0;
      return 0;
    };
    sqlite3_exec(db_, statement.Text().c_str(), readRow, &rows, nullptr);
    return rows;
  }
  void Begin() override { Execute("BEGIN"); }
  void Commit() override { Execute("COMMIT"); }
  long ReadByNumber(const Statement& select, const std::vector<int>& rows) override {
    Execute("create temp table q as " + select.Text());
    long read = 0;
    for (int row : rows) Step({"select * from q where rowid = ?", {std::to_string(row)}}, &read);
    return read;
  }

 private:
  void Execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, Adapted(sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", sql.c_str(), message ? message : "?");
      sqlite3_free(message);
    }
  }
  // The key column as SQLite keeps row ids.
  static std::string Adapted(const std::string& sql) {
    const std::string integerKey = "id integer not null";
    const size_t at = sql.find(integerKey);
    if (at == std::string::npos || sql.compare(0, 6, "create") != 0) return sql;
    std::string adapted = sql.substr(0, at) + "id INTEGER PRIMARY KEY" + sql.substr(at + integerKey.size());
    return adapted.substr(0, adapted.rfind(", primary key")) + ")";
  }
  // Prepared once per shape, then bound: numbers as numbers, texts as text.
  void Step(const Statement& statement, long* rows) {
    std::string shape = Adapted(statement.shape);
    for (size_t at; (at = shape.find("'?'")) != std::string::npos;) shape.replace(at, 3, "?");
    sqlite3_stmt*& prepared = prepared_statements_[shape];
    if (!prepared && sqlite3_prepare_v2(db_, shape.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", shape.c_str(), sqlite3_errmsg(db_));
      return;
    }
    size_t parameter = 0;
    for (size_t i = 0; i < statement.shape.size(); ++i) {
      if (statement.shape[i] != '?') continue;
      const std::string& value = statement.parameters[parameter++];
      const int index = int(parameter);
      if (i > 0 && statement.shape[i - 1] == '\'') {
        sqlite3_bind_text(prepared, index, value.data(), int(value.size()), SQLITE_TRANSIENT);
      } else if (value.find('.') != std::string::npos) {
        sqlite3_bind_double(prepared, index, std::atof(value.c_str()));
      } else {
        sqlite3_bind_int64(prepared, index, std::atoll(value.c_str()));
      }
    }
    while (sqlite3_step(prepared) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(prepared); ++i) sqlite3_column_text(prepared, i);
      if (rows) ++*rows;
    }
    sqlite3_reset(prepared);
  }

  sqlite3* db_ = nullptr;
  bool prepared_;
  std::map<std::string, sqlite3_stmt*> prepared_statements_;
};
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "sql_bench <case> ours|split|sqlite-exec|sqlite-prepared <rows> <folder>\n");
    return 2;
  }
  const std::string name = argv[1], driverName = argv[2], folderName = argv[4];
  const int rows = std::atoi(argv[3]);
  SetMessageBoxRecording(true);
  InstallRuntimeSubsystems();
  std::string error;
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
    return 1;
  }
  const std::wstring folder(folderName.begin(), folderName.end());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring path = folder + L"\\sql_bench.db";
  DeleteFileW(path.c_str());
  DeleteFileW((path + L"-journal").c_str());
  {
    std::unique_ptr<Driver> driver;
    Ours* ours = nullptr;
    if (driverName == "ours" || driverName == "split") {
      driver.reset(ours = new Ours(path));
#ifdef SQL_BENCH_WITH_SQLITE
    } else if (driverName == "sqlite-exec" || driverName == "sqlite-prepared") {
      driver.reset(new Sqlite(path, driverName == "sqlite-prepared"));
#endif
    } else {
      std::fprintf(stderr, "no such driver in this build: %s\n", driverName.c_str());
      return 2;
    }
    driver->Begin();
    for (const Statement& statement : LoadStatements(name, rows)) driver->Execute(statement);
    driver->Commit();
    const Workload work = MakeWorkload(name, rows);
    if (driverName == "split") {
      Split(*ours, name, work);
    } else {
      long read = 0;
      std::vector<int> numbers;
      std::mt19937 random(4242);
      for (int i = 0; i < kRandomRows && name == "query"; ++i) numbers.push_back(1 + int(random() % uint32_t(rows)));
      // Reads change nothing, so they run three times and the fastest pass
      // counts (query's SQLite side makes a table, so it runs once).
      const int passes = work.reads && name != "query" ? 3 : 1;
      const double seconds = FastestPass(passes, [&] {
        read = 0;
        if (!work.commitEach) driver->Begin();
        for (const Statement& statement : work.statements) {
          if (name == "query") {
            read += driver->ReadByNumber(statement, numbers);
          } else if (work.reads) {
            read += driver->Query(statement);
          } else {
            driver->Execute(statement);
            if (work.commitEach) driver->Commit();
          }
        }
        if (!work.commitEach) driver->Commit();
      });
      PROCESS_MEMORY_COUNTERS memory{};
      memory.cb = sizeof memory;
      GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
      std::printf("case %s %s %d %d %.4f %ld %lu\n", name.c_str(), driverName.c_str(), rows,
                  int(work.statements.size()), seconds, read, static_cast<unsigned long>(memory.PeakWorkingSetSize));
    }
  }
  for (const RecordedBox& box : TakeRecordedBoxes())
    std::fprintf(stderr, "box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  RuntimeHostFinish();
  DeleteFileW(path.c_str());
  return 0;
}
