// The storage engine against SQLite on the same rows: inserts in one
// transaction (commit included), a full scan reading every column, and
// 10,000 seeks of random existing keys. One case per process, so that the
// peak working set is the case's own.
//
//   dbstore_bench engine|table|sqlite|sqlite-default <rows> <case> <folder>
//
// Cases: "increasing", "random" and "absent" (no key: rows ordered by record
// id) insert every row in one transaction; "bulk" inserts increasing keys,
// committing every 1,000 rows; "mixed" loads the rows in increasing order
// untimed, then times 100,000 operations in one transaction: 50% updates of
// random live rows, 25% deletes of random live rows, 25% inserts of new keys
// (its insert figure counts operations).
//
// "engine" is the storage core; "table" the engine's table layer on the same
// rows (first three cases only): inserts by InsertRow from value texts
// (made untimed, a batch at a time: they are the application's work), a
// scan through a table cursor reading every column's value, and lookups each
// opening a cursor with an "id = k" filter (none without a key); it and
// SQLite also write and read back a 10 MB BLOB (commit included).
//
// Each scan and each set of 10,000 seeks runs three times and its fastest
// pass counts, for every engine alike: a 100k-row scan takes about 10 ms and
// the seeks 8 to 25 ms, no more than the noise of a time slice under Wine.
//
// Prints one line: "case engine rows order inserts/s scans/s seeks/s
// file-bytes peak-MiB blob-write-MB/s blob-read-MB/s". SQLite is there only
// when the bench was built with its amalgamation (bench/run_dbstore_bench.sh
// does that). It always runs with PRAGMA locking_mode=EXCLUSIVE: the engine
// holds its file lock while the file is open, while SQLite in its default
// mode takes and drops a lock around every statement, which under Wine costs
// far more than the statement. "sqlite" has a cache of the engine's default
// budget (128 MiB), "sqlite-default" SQLite's own default cache. Nothing is
// asserted: bench/run_dbstore_bench.sh puts the cases' lines side by side
// and prints each ratio against its goal ("<ratio>x <peer> goal >= <g>").
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "core/basicstr.h"
#include "database/engine/Blob.h"
#include "database/engine/Catalog.h"
#include "database/engine/TableCursor.h"
#include "database/kvdbThumb.h"

#ifdef DBSTORE_BENCH_WITH_SQLITE
#include "sqlite3.h"
#endif

namespace {

constexpr int32_t kSeeks = 10000;
constexpr size_t kBlobBytes = 10000000;
constexpr int32_t kBulkBatch = 1000;
constexpr int32_t kMixedOperations = 100000;
constexpr size_t kTextBatch = 1000;

// The row of an id: a name of 20 to 50 bytes, a value and a day. An updated
// row has another value.
struct Row {
  int32_t id;
  std::string name;
  double value;
  uint16_t day[3];
};

Row RowOf(int32_t id, bool updated = false) {
  Row row;
  row.id = id;
  row.name = "row-" + std::to_string(id) + "-";
  const size_t length = 20 + size_t(uint32_t(id) * 2654435761u % 31);
  while (row.name.size() < length) row.name += char('a' + row.name.size() % 26);
  row.value = id * (updated ? 0.25 : 0.5);
  row.day[0] = uint16_t(2000 + id % 30);
  row.day[1] = uint16_t(1 + id % 12);
  row.day[2] = uint16_t(1 + id % 28);
  return row;
}

// The ids in the order of insertion.
std::vector<int32_t> Order(int32_t rows, const std::string& order) {
  std::vector<int32_t> ids(static_cast<size_t>(rows));
  std::iota(ids.begin(), ids.end(), 0);
  if (order == "random") std::shuffle(ids.begin(), ids.end(), std::mt19937(12345));
  return ids;
}

// The mixed case's operations on rows 0 to rows - 1; `live` ends with the
// ids still there afterwards.
enum class Op { kUpdate, kDelete, kInsert };
struct Step {
  Op op;
  int32_t id;
};

std::vector<Step> MixedSteps(int32_t rows, std::vector<int32_t>* live) {
  *live = Order(rows, "increasing");
  std::vector<Step> steps;
  steps.reserve(kMixedOperations);
  std::mt19937 random(4242);
  int32_t next = rows;
  for (int32_t i = 0; i < kMixedOperations; ++i) {
    const uint32_t pick = random() % 4;
    if (pick == 3 || live->empty()) {
      steps.push_back({Op::kInsert, next});
      live->push_back(next++);
      continue;
    }
    const size_t at = random() % live->size();
    steps.push_back({pick == 2 ? Op::kDelete : Op::kUpdate, (*live)[at]});
    if (pick == 2) {
      (*live)[at] = live->back();
      live->pop_back();
    }
  }
  return steps;
}

// Scans and seeks count the fastest of this many passes.
constexpr int kPasses = 3;

// Positions in the list of live rows of the 10,000 seeks.
std::vector<size_t> SeekIndexes(size_t live) {
  std::mt19937 random(777);
  std::vector<size_t> indexes(kSeeks);
  for (size_t& index : indexes) index = random() % live;
  return indexes;
}

// File bytes and peak working set are taken once the rows are done, before
// any BLOB is written.
struct Result {
  double insertSeconds = 0, scanSeconds = 0, seekSeconds = 0;
  double blobWriteSeconds = 0, blobReadSeconds = 0;
  int64_t fileBytes = 0;
  double peakMiB = 0;
};

double PeakMiB() {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  return double(memory.PeakWorkingSetSize) / 1048576.0;
}

std::vector<uint8_t> BlobBytes() {
  std::vector<uint8_t> bytes(kBlobBytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 4096);
  return bytes;
}

int64_t FileBytes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The storage core's side: records built from the row values, the key of an
// id as the key tree stores it.
class EngineRows {
 public:
  explicit EngineRows(DBFile& db) : db_(db) {}

  const std::vector<uint8_t>& Record(const Row& row) {
    Values values{row.id, NewString(row.name, kEncodingASCII), row.value, {row.day[0], row.day[1], row.day[2]}};
    BuildRecord(db_, kItems, 4, &values, &record_);
    StringRecordRelease(values.name);
    return record_;
  }

  static std::vector<uint8_t> Key(int32_t id) {
    const uint32_t bits = uint32_t(id) ^ 0x80000000u;
    return {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits)};
  }

 private:
  struct Values {
    int32_t id;
    StringRecord* name;
    double value;
    uint16_t day[3];
  };
  static constexpr DBFieldListItem kItems[] = {{0, kDBFieldInt32, int16_t(offsetof(Values, id))},
                                               {1, kDBFieldText, int16_t(offsetof(Values, name))},
                                               {2, kDBFieldDouble, int16_t(offsetof(Values, value))},
                                               {3, kDBFieldDate, int16_t(offsetof(Values, day))}};
  DBFile& db_;
  std::vector<uint8_t> record_;
};
constexpr DBFieldListItem EngineRows::kItems[];

// The mixed case's operations through one table cursor.
bool RunEngineSteps(DBFile& db, EngineRows& rows, const std::vector<Step>& steps, DBKeyColumns keys) {
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, "1", nullptr, 0, keys);
  for (const Step& step : steps) {
    if (step.op == Op::kInsert) {
      std::vector<uint8_t> record = rows.Record(RowOf(step.id));
      if (!cursor->InsertRecord(record.data(), record.size(), true, true)) return false;
      continue;
    }
    const std::vector<uint8_t> key = EngineRows::Key(step.id);
    bool found = false;
    if (!cursor->SeekKey(key.data(), key.size(), &found) || !found || !cursor->NextMatching()) return false;
    if (step.op == Op::kDelete) {
      if (!DeleteCurrentRecord(*cursor)) return false;
      continue;
    }
    const std::vector<uint8_t>& record = rows.Record(RowOf(step.id, true));
    if (!UpdateCurrentRecord(*cursor, record.data(), record.size())) return false;
  }
  return true;
}

Result RunEngine(const std::wstring& path, int32_t rows, const std::string& order) {
  Result result;
  const StringRef file = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
  DBFile* db = CreateDatabaseFileAt(file.get(), Win32DatabaseStorage());
  if (!db || !CreateTableTree(*db, "1")) return result;
  const uint8_t keyColumn[] = {0};
  const DBKeyColumns keys = order == "absent" ? DBKeyColumns{} : DBKeyColumns{keyColumn, 1};
  EngineRows builder(*db);
  // Only keyless seeks need the ids (SQLite's side counts its row ids), so
  // only they keep them: the peak working set holds no list the peer lacks.
  std::vector<uint32_t> recordIds;
  const bool mixed = order == "mixed";
  double start = Now();
  int32_t inserted = 0;
  for (int32_t id : Order(rows, order)) {
    std::vector<uint8_t> record = builder.Record(RowOf(id));
    if (!InsertTableRecord(*db, "1", record.data(), record.size(), keys, true)) {
      std::fprintf(stderr, "insert failed: %d\n", int(db->LastError().code));
      return result;
    }
    if (order == "absent") recordIds.push_back(EntryRecordId(record.data()));
    if (order == "bulk" && ++inserted % kBulkBatch == 0) db->CommitTransaction();
  }
  db->CommitTransaction();
  std::vector<int32_t> live = Order(rows, "increasing");
  if (mixed) {
    const std::vector<Step> steps = MixedSteps(rows, &live);
    start = Now();
    if (!RunEngineSteps(*db, builder, steps, keys))
      std::fprintf(stderr, "mixed step failed: %d\n", int(db->LastError().code));
    db->CommitTransaction();
  }
  result.insertSeconds = Now() - start;

  int64_t checksum = 0;
  std::unique_ptr<DBTreeCursor> cursor;  // the seeks below use the last pass's
  result.scanSeconds = FastestPass(kPasses, [&] {
    cursor = OpenTableTree(*db, "1", nullptr, 0, keys);
    while (cursor->NextMatching()) {
      const uint8_t* entry = cursor->CurrentEntry();
      DBFieldValue field;
      for (uint8_t column = 0; column < 4; ++column) {
        FindField(entry, column, &field);
        checksum += field.integer + field.length + field.parts[0];
      }
    }
  });

  std::vector<uint8_t> key;
  result.seekSeconds = FastestPass(kPasses, [&] {
    for (size_t index : SeekIndexes(live.size())) {
      if (order == "absent") {
        const uint32_t id = recordIds[index];
        key = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
      } else {
        key = EngineRows::Key(live[index]);
      }
      bool found = false;
      cursor->SeekKey(key.data(), key.size(), &found);
      if (!found || !cursor->NextMatching()) std::fprintf(stderr, "seek missed\n");
    }
  });
  cursor.reset();
  CloseDatabaseFile(db);
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
  result.peakMiB = PeakMiB();
  return result;
}


// The table layer over the same rows, from value texts.
Result RunTable(const std::wstring& path, int32_t rows, const std::string& order) {
  Result result;
  const StringRef file = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
  DBEngineDatabase* db = CreateEngineDatabaseAt(file.get(), Win32DatabaseStorage());
  auto text = [](const std::string& bytes) { return StringRef::Adopt(NewString(bytes, kEncodingASCII)); };
  const StringRef table = text("t"), star = text("*");
  const StringRef names[] = {text("id"), text("name"), text("value"), text("day")};
  DBColumnDefinition day{nullptr, names[3].get(), kDBDate, 1}, value{&day, names[2].get(), kDBDouble, 1},
      name{&value, names[1].get(), kDBVarChar, 1}, id{&name, names[0].get(), kDBInteger, 0};
  const uint8_t key = 0;
  const bool keyed = order != "absent";
  if (!db || !CreateTable(*db, table.get(), &id, &key, keyed ? 1 : 0)) return result;

  // The value texts are the application's work, not the table layer's: they
  // are made a batch of rows at a time outside the timed part. Each row is
  // still made inside it, as the other engines make theirs.
  const std::vector<int32_t> ids = Order(rows, order);
  std::vector<std::array<StringRef, 4>> batch;
  char number[64];
  double seconds = 0;
  for (size_t first = 0; first < ids.size(); first += kTextBatch) {
    const size_t end = std::min(ids.size(), first + kTextBatch);
    batch.clear();
    for (size_t at = first; at < end; ++at) {
      const Row row = RowOf(ids[at]);
      std::snprintf(number, sizeof number, "%.17g", row.value);
      batch.push_back({text(std::to_string(row.id)), text(row.name), text(number),
                       text(std::to_string(row.day[0]) + "-" + std::to_string(row.day[1]) + "-" +
                            std::to_string(row.day[2]))});
    }
    const double start = Now();
    for (size_t at = first; at < end; ++at) {
      if (RowOf(ids[at]).id != ids[at]) return result;
      const std::array<StringRef, 4>& texts = batch[at - first];
      DBRecordColumn d{nullptr, names[3].get(), texts[3].get(), kDBVarChar},
          v{&d, names[2].get(), texts[2].get(), kDBVarChar}, n{&v, names[1].get(), texts[1].get(), kDBVarChar},
          i{&n, names[0].get(), texts[0].get(), kDBVarChar};
      if (!InsertRow(*db, table.get(), &i)) {
        std::fprintf(stderr, "insert failed: %s\n", db->ErrorText().c_str());
        return result;
      }
    }
    seconds += Now() - start;
  }
  double start = Now();
  db->Commit();
  result.insertSeconds = seconds + Now() - start;

  DBColumnSelection all{nullptr, star.get()};
  int64_t checksum = 0;
  auto readRow = [&checksum](DBEngineCursor& cursor) {
    for (int32_t column = 0; column < 4; ++column) {
      const void* data = nullptr;
      int32_t type = 0, length = 0;
      cursor.ColumnValue(column, &data, &type, &length);
      checksum += type + length;
      cursor.ReleaseValue();
    }
  };
  result.scanSeconds = FastestPass(kPasses, [&] {
    DBEngineCursorPtr scan(OpenTableCursor(*db, table.get(), &all, nullptr));
    while (scan->MoveNext()) readRow(*scan);
  });

  result.seekSeconds = !keyed ? 0 : FastestPass(kPasses, [&] {
    std::mt19937 random(777);
    for (int32_t i = 0; i < kSeeks; ++i) {
      const StringRef wanted = text(std::to_string(random() % uint32_t(rows)));
      DBFilterRecord filter{nullptr, nullptr, 0, 0, names[0].get(), wanted.get()};
      DBEngineCursorPtr cursor(OpenTableCursor(*db, table.get(), &all, &filter));
      if (!cursor || !cursor->MoveNext()) std::fprintf(stderr, "lookup missed\n");
      if (cursor) readRow(*cursor);
    }
  });
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
  result.peakMiB = PeakMiB();

  const std::vector<uint8_t> blob = BlobBytes();
  int32_t blobId = 0;
  start = Now();
  if (!WriteBlob(*db, blob.data(), blob.size(), &blobId) || !db->Commit())
    std::fprintf(stderr, "BLOB not written\n");
  result.blobWriteSeconds = Now() - start;
  std::vector<uint8_t> back;
  start = Now();
  if (!ReadBlob(*db, blobId, &back) || back != blob) std::fprintf(stderr, "BLOB not read back\n");
  result.blobReadSeconds = Now() - start;
  CloseEngineDatabase(db);
  return result;
}

#ifdef DBSTORE_BENCH_WITH_SQLITE
void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql, message ? message : "?");
    sqlite3_free(message);
  }
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
    std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
  return statement;
}

// Binds the row's columns from the first parameter on; steps and resets.
bool StepRow(sqlite3_stmt* statement, const Row& row, bool idLast = false) {
  const int first = idLast ? 1 : 2;
  sqlite3_bind_int(statement, idLast ? 4 : 1, row.id);
  sqlite3_bind_text(statement, first, row.name.data(), int(row.name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_double(statement, first + 1, row.value);
  sqlite3_bind_int(statement, first + 2, row.day[0] * 10000 + row.day[1] * 100 + row.day[2]);
  const bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_reset(statement);
  return done;
}

bool RunSqliteSteps(sqlite3* db, const std::vector<Step>& steps) {
  sqlite3_stmt* insert = Prepare(db, "INSERT INTO t VALUES(?,?,?,?)");
  sqlite3_stmt* update = Prepare(db, "UPDATE t SET name=?,value=?,day=? WHERE id=?");
  sqlite3_stmt* erase = Prepare(db, "DELETE FROM t WHERE id=?");
  bool done = true;
  for (const Step& step : steps) {
    if (step.op == Op::kInsert) {
      done = StepRow(insert, RowOf(step.id)) && done;
    } else if (step.op == Op::kUpdate) {
      done = StepRow(update, RowOf(step.id, true), true) && done;
    } else {
      sqlite3_bind_int(erase, 1, step.id);
      done = sqlite3_step(erase) == SQLITE_DONE && done;
      sqlite3_reset(erase);
    }
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(update);
  sqlite3_finalize(erase);
  return done;
}

Result RunSqlite(const std::wstring& path, int32_t rows, const std::string& order, bool ownCache) {
  Result result;
  const std::string name(path.begin(), path.end());
  sqlite3* db = nullptr;
  if (sqlite3_open(name.c_str(), &db) != SQLITE_OK) return result;
  Exec(db, "PRAGMA page_size=8192");
  Exec(db, "PRAGMA locking_mode=EXCLUSIVE");
  if (!ownCache) Exec(db, "PRAGMA cache_size=-131072");
  const bool keyless = order == "absent";
  Exec(db, keyless ? "CREATE TABLE t(id INTEGER, name TEXT, value REAL, day INTEGER)"
                   : "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, value REAL, day INTEGER)");
  sqlite3_stmt* insert = Prepare(db, "INSERT INTO t VALUES(?,?,?,?)");
  double start = Now();
  Exec(db, "BEGIN");
  int32_t inserted = 0;
  for (int32_t id : Order(rows, order)) {
    StepRow(insert, RowOf(id));
    if (order == "bulk" && ++inserted % kBulkBatch == 0) Exec(db, "COMMIT; BEGIN");
  }
  Exec(db, "COMMIT");
  sqlite3_finalize(insert);
  std::vector<int32_t> live = Order(rows, "increasing");
  if (order == "mixed") {
    const std::vector<Step> steps = MixedSteps(rows, &live);
    start = Now();
    Exec(db, "BEGIN");
    if (!RunSqliteSteps(db, steps)) std::fprintf(stderr, "mixed step failed\n");
    Exec(db, "COMMIT");
  }
  result.insertSeconds = Now() - start;

  sqlite3_stmt* scan = Prepare(db, "SELECT id,name,value,day FROM t");
  int64_t checksum = 0;
  result.scanSeconds = FastestPass(kPasses, [&] {
    while (sqlite3_step(scan) == SQLITE_ROW)
      checksum += sqlite3_column_int(scan, 0) + sqlite3_column_bytes(scan, 1) +
                  int64_t(sqlite3_column_double(scan, 2)) + sqlite3_column_int(scan, 3);
    sqlite3_reset(scan);
  });
  sqlite3_finalize(scan);

  sqlite3_stmt* seek = Prepare(db, keyless ? "SELECT id,name,value,day FROM t WHERE rowid=?"
                                           : "SELECT id,name,value,day FROM t WHERE id=?");
  result.seekSeconds = FastestPass(kPasses, [&] {
    for (size_t index : SeekIndexes(live.size())) {
      sqlite3_bind_int(seek, 1, keyless ? int(index) + 1 : live[index]);
      if (sqlite3_step(seek) != SQLITE_ROW) std::fprintf(stderr, "seek missed\n");
      sqlite3_reset(seek);
    }
  });
  sqlite3_finalize(seek);
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
  result.peakMiB = PeakMiB();

  const std::vector<uint8_t> blob = BlobBytes();
  Exec(db, "CREATE TABLE b(id INTEGER PRIMARY KEY, data BLOB)");
  sqlite3_stmt* put = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO b VALUES(1,?)", -1, &put, nullptr);
  start = Now();
  Exec(db, "BEGIN");
  sqlite3_bind_blob(put, 1, blob.data(), int(blob.size()), SQLITE_STATIC);
  if (sqlite3_step(put) != SQLITE_DONE) std::fprintf(stderr, "BLOB not written\n");
  Exec(db, "COMMIT");
  result.blobWriteSeconds = Now() - start;
  sqlite3_finalize(put);
  sqlite3_stmt* get = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM b WHERE id=1", -1, &get, nullptr);
  start = Now();
  std::vector<uint8_t> back;
  if (sqlite3_step(get) == SQLITE_ROW) {
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(get, 0));
    back.assign(bytes, bytes + sqlite3_column_bytes(get, 0));
  }
  if (back != blob) std::fprintf(stderr, "BLOB not read back\n");
  result.blobReadSeconds = Now() - start;
  sqlite3_finalize(get);
  sqlite3_close(db);
  return result;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "dbstore_bench engine|table|sqlite|sqlite-default <rows> "
                 "increasing|random|absent|bulk|mixed <folder>\n");
    return 2;
  }
  const std::string engine = argv[1];
  const int32_t rows = std::atoi(argv[2]);
  const std::string order = argv[3];
  const std::string folderName = argv[4];
  const std::wstring folder(folderName.begin(), folderName.end());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring path = folder + L"\\" + std::wstring(engine.begin(), engine.end()) + L".db";
  DeleteFileW(path.c_str());
  DeleteFileW((path + L"-journal").c_str());

  Result result;
  if (engine == "engine") {
    result = RunEngine(path, rows, order);
  } else if (engine == "table") {
    result = RunTable(path, rows, order);
#ifdef DBSTORE_BENCH_WITH_SQLITE
  } else if (engine == "sqlite" || engine == "sqlite-default") {
    result = RunSqlite(path, rows, order, engine == "sqlite-default");
#endif
  } else {
    std::fprintf(stderr, "no such engine in this build: %s\n", engine.c_str());
    return 2;
  }
  auto perSecond = [](double count, double seconds) { return seconds > 0 ? count / seconds : 0; };
  const int32_t operations = order == "mixed" ? kMixedOperations : rows;
  std::printf("case %s %d %s %.0f %.0f %.0f %lld %.1f %.1f %.1f\n", engine.c_str(), int(rows),
              order.c_str(), perSecond(operations, result.insertSeconds), perSecond(rows, result.scanSeconds),
              perSecond(kSeeks, result.seekSeconds), static_cast<long long>(result.fileBytes),
              result.peakMiB,
              perSecond(kBlobBytes / 1e6, result.blobWriteSeconds),
              perSecond(kBlobBytes / 1e6, result.blobReadSeconds));
  DeleteFileW(path.c_str());
  return 0;
}
