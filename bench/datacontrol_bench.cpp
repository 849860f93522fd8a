// The DataControl's navigation cost: a walk back from the last row to the
// first with MovePrevious (each step reopens the query and walks forward to
// the row), with no bound controls and with five, and RecordCount on a fresh
// query (RunQuery, then the count), over "select * from t" and the same
// ordered by name. SQLite does the same work on the same rows: a prepared
// "... limit 1 offset ?" per step and "select count(*) from (...)".
//
//   datacontrol_bench ours|sqlite <rows> <folder>
//
// prints "case <name> <rows> <seconds> <steps>" for walk, walk-five (ours
// only) and count, each over "plain" and "sorted".
// bench/run_datacontrol_bench.sh runs both drivers and prints each ratio
// against its goal ("<ratio>x <peer> goal >= <g>").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "core/diagnostics.h"
#include "database/Win32StorageAdapter.h"
#include "database/api/Database.h"
#include "database/datacontrol/DataControl.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/EngineTable.h"
#include "testsupport/BoundTestControls.h"
#include "ui/RuntimeWindow.h"

#ifdef DATACONTROL_BENCH_WITH_SQLITE
#include "sqlite3.h"
#endif

namespace {

constexpr int kCountRepeats = 20;
const char* const kQueries[2][2] = {{"plain", "select * from t"},
                                    {"sorted", "select * from t order by name"}};
const char* const kColumns[5] = {"id", "name", "a", "b", "c"};

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

// Row i's values: names in an order unlike the ids.
std::string InsertStatement(int i) {
  const std::string n = std::to_string(i);
  const std::string name = "n" + std::to_string((i * 7919) % 100003);
  return "insert into t (id, name, a, b, c) values (" + n + ", '" + name + "', 'a" + n + "', 'b" +
         n + "', 'c" + n + "')";
}

const char* kCreate =
    "create table t (id integer not null, name varchar(20), a varchar(20), b varchar(20), "
    "c varchar(20), primary key (id))";

void Report(const char* name, const char* query, int rows, double seconds, int steps) {
  std::printf("case %s-%s %d %.6f %d\n", name, query, rows, seconds, steps);
}

// ---- This run-time ----

ObjectRef MakeDatabase(const std::wstring& path, int rows) {
  StringRef file = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
  ObjectRef db = ObjectRef::Adopt(
      NewBuiltInDatabaseObject(CreateEngineDatabaseAt(file.get(), Win32DatabaseStorage())));
  if (!db) return db;
  databaseExecute(db.get(), Text(kCreate).get());
  for (int i = 1; i <= rows; ++i) databaseExecute(db.get(), Text(InsertStatement(i)).get());
  databaseCommit(db.get());
  return db;
}

// A hidden window with the DataControl "Data1" over the query and, when
// asked, five test edit fields bound to its columns.
ObjectRef OpenWindow(RuntimeObject* db, const char* query, bool bound,
                     std::vector<ObjectRef>* controls) {
  ObjectRef data = BenchControl(CreateInstance(GetDataControlClassDefinition()), "Data1",
                                MacRect{0, 0, 30, 300});
  dataControlTableNameSetter(data.get(), 0, Text("t").get());
  dataControlSQLQuerySetter(data.get(), 0, Text(query).get());
  dataControlDatabaseSetter(data.get(), 0, db);
  controls->push_back(data);
  for (int i = 0; bound && i < 5; ++i) {
    ObjectRef field =
        BenchControl(CreateInstance(GetBoundTestEditClassDefinition()), kColumns[i],
                     MacRect{int16_t(40 + 25 * i), 10, int16_t(60 + 25 * i), 110});
    PropertyAccess access{};
    FindPropertyAccess(field.get(), "DataSource", &access);
    reinterpret_cast<void (*)(RuntimeObject*, uint32_t, StringRecord*)>(access.setter)(
        field.get(), access.parameter, Text("Data1").get());
    FindPropertyAccess(field.get(), "DataField", &access);
    reinterpret_cast<void (*)(RuntimeObject*, uint32_t, StringRecord*)>(access.setter)(
        field.get(), access.parameter, Text(kColumns[i]).get());
    controls->push_back(field);
  }
  ObjectRef window = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFields* fields = WindowFieldsOf(window.get());
  fields->width = 320;
  fields->height = 200;
  fields->visible = 0;
  for (const ObjectRef& control : *controls) WindowAddControl(window.get(), control.get());
  WindowOpen(window.get());
  for (int turn = 0; turn < 20; ++turn) RuntimeRunTurn(0);
  return window;
}

void RunOurs(RuntimeObject* db, int rows) {
  for (const auto& [label, query] : kQueries) {
    for (const bool bound : {false, true}) {
      std::vector<ObjectRef> controls;
      ObjectRef window = OpenWindow(db, query, bound, &controls);
      RuntimeObject* data = controls.front().get();
      dataControlMoveLast(data);
      int steps = 0;
      const double start = Now();
      for (; dataControlRow(data) > 1; ++steps) dataControlMovePrevious(data);
      Report(bound ? "walk-five" : "walk", label, rows, Now() - start, steps);
      if (!bound) {
        dataControlRunQuery(data);  // warm, as SQLite's first count is
        const double countStart = Now();
        int32_t counted = 0;
        for (int i = 0; i < kCountRepeats; ++i) {
          dataControlRunQuery(data);
          counted = dataControlRecordCount(data);
        }
        if (counted != rows) std::fprintf(stderr, "counted %d of %d\n", counted, rows);
        Report("count", label, rows, (Now() - countStart) / kCountRepeats, 1);
      }
      WindowClose(window.get());
    }
  }
}

// ---- SQLite ----

#ifdef DATACONTROL_BENCH_WITH_SQLITE
void RunSqlite(const std::wstring& path, int rows) {
  const std::string name(path.begin(), path.end());
  sqlite3* db = nullptr;
  if (sqlite3_open(name.c_str(), &db) != SQLITE_OK) return;
  sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
  sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
  for (int i = 1; i <= rows; ++i) sqlite3_exec(db, InsertStatement(i).c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
  for (const auto& [label, query] : kQueries) {
    sqlite3_stmt* step = nullptr;
    sqlite3_prepare_v2(db, (std::string(query) + " limit 1 offset ?").c_str(), -1, &step, nullptr);
    // One step first: ours starts timing after its MoveLast has read the rows.
    sqlite3_bind_int(step, 1, rows - 1);
    sqlite3_step(step);
    sqlite3_reset(step);
    const double start = Now();
    int steps = 0;
    for (int offset = rows - 2; offset >= 0; --offset, ++steps) {
      sqlite3_bind_int(step, 1, offset);
      if (sqlite3_step(step) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(step); ++column) {
          sqlite3_column_text(step, column);
        }
      }
      sqlite3_reset(step);
    }
    Report("walk", label, rows, Now() - start, steps);
    sqlite3_finalize(step);

    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, ("select count(*) from (" + std::string(query) + ")").c_str(), -1,
                       &count, nullptr);
    sqlite3_step(count);
    sqlite3_reset(count);
    const double countStart = Now();
    for (int i = 0; i < kCountRepeats; ++i) {
      if (sqlite3_step(count) == SQLITE_ROW && sqlite3_column_int(count, 0) != rows) {
        std::fprintf(stderr, "sqlite counted wrong\n");
      }
      sqlite3_reset(count);
    }
    Report("count", label, rows, (Now() - countStart) / kCountRepeats, 1);
    sqlite3_finalize(count);
  }
  sqlite3_close(db);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "datacontrol_bench ours|sqlite <rows> <folder>\n");
    return 2;
  }
  const std::string driver = argv[1], folderName = argv[3];
  const int rows = std::atoi(argv[2]);
  SetMessageBoxRecording(true);
  if (!StartBenchRunTime()) return 1;
  const std::wstring folder(folderName.begin(), folderName.end());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring path = folder + L"\\datacontrol_bench_" + std::wstring(argv[1], argv[1] + driver.size()) + L".db";
  DeleteFileW(path.c_str());
  DeleteFileW((path + L"-journal").c_str());
  if (driver == "ours") {
    ObjectRef db = MakeDatabase(path, rows);
    if (!db) return 1;
    RunOurs(db.get(), rows);
    databaseClose(db.get());
#ifdef DATACONTROL_BENCH_WITH_SQLITE
  } else if (driver == "sqlite") {
    RunSqlite(path, rows);
#endif
  } else {
    std::fprintf(stderr, "no such driver in this build: %s\n", driver.c_str());
    return 2;
  }
  DeleteFileW(path.c_str());
  return 0;
}
