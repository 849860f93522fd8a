// The storage engine against SQLite on the same rows: inserts in one
// transaction (commit included), a full scan reading every column, and
// 10,000 seeks of random existing keys. One case per process, so that the
// peak working set is the case's own.
//
//   dbstore_bench engine|table|sqlite|sqlite-default <rows> increasing|random|absent <folder>
//
// "engine" is the storage core; "table" the engine's table layer on the same
// rows: inserts by InsertRow from value texts, a scan through a table cursor
// reading every column's value, and lookups each opening a cursor with an
// "id = k" filter (none without a key); it and SQLite also write and read
// back a 10 MB BLOB (commit included).
//
// Prints one line: "case engine rows order inserts/s scans/s seeks/s
// file-bytes peak-MiB blob-write-MB/s blob-read-MB/s". SQLite is there only
// when the bench was built with its amalgamation (bench/run_dbstore_bench.sh
// does that), in exclusive locking mode as the engine holds its lock while
// open; "sqlite" runs it with a cache of the engine's default budget,
// "sqlite-default" with its own default cache. Nothing is asserted.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
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

// The row of an id: a name of 20 to 50 bytes, a value and a day.
struct Row {
  int32_t id;
  std::string name;
  double value;
  uint16_t day[3];
};

Row RowOf(int32_t id) {
  Row row;
  row.id = id;
  row.name = "row-" + std::to_string(id) + "-";
  const size_t length = 20 + size_t(uint32_t(id) * 2654435761u % 31);
  while (row.name.size() < length) row.name += char('a' + row.name.size() % 26);
  row.value = id * 0.5;
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

struct Result {
  double insertSeconds = 0, scanSeconds = 0, seekSeconds = 0;
  double blobWriteSeconds = 0, blobReadSeconds = 0;
  int64_t fileBytes = 0;
};

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

Result RunEngine(const std::wstring& path, int32_t rows, const std::string& order) {
  Result result;
  const StringRef file = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
  DBFile* db = CreateDatabaseFileAt(file.get(), Win32DatabaseStorage());
  if (!db || !CreateTableTree(*db, "1")) return result;
  const uint8_t keyColumn[] = {0};
  const DBKeyColumns keys = order == "absent" ? DBKeyColumns{} : DBKeyColumns{keyColumn, 1};
  struct Values {
    int32_t id;
    StringRecord* name;
    double value;
    uint16_t day[3];
  };
  const DBFieldListItem items[] = {{0, kDBFieldInt32, int16_t(offsetof(Values, id))},
                                   {1, kDBFieldText, int16_t(offsetof(Values, name))},
                                   {2, kDBFieldDouble, int16_t(offsetof(Values, value))},
                                   {3, kDBFieldDate, int16_t(offsetof(Values, day))}};
  std::vector<uint32_t> recordIds;
  std::vector<uint8_t> record;
  double start = Now();
  for (int32_t id : Order(rows, order)) {
    const Row row = RowOf(id);
    Values values{row.id, NewString(row.name, kEncodingASCII), row.value, {row.day[0], row.day[1], row.day[2]}};
    BuildRecord(*db, items, 4, &values, &record);
    StringRecordRelease(values.name);
    if (!InsertTableRecord(*db, "1", record.data(), record.size(), keys, true)) {
      std::fprintf(stderr, "insert failed: %d\n", int(db->LastError().code));
      return result;
    }
    recordIds.push_back(EntryRecordId(record.data()));
  }
  db->CommitTransaction();
  result.insertSeconds = Now() - start;

  start = Now();
  int64_t checksum = 0;
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(*db, "1", nullptr, 0, keys);
  while (cursor->NextMatching()) {
    const uint8_t* entry = cursor->CurrentEntry();
    DBFieldValue field;
    for (uint8_t column = 0; column < 4; ++column) {
      FindField(entry, column, &field);
      checksum += field.integer + field.length + field.parts[0];
    }
  }
  result.scanSeconds = Now() - start;

  std::mt19937 random(777);
  std::vector<uint8_t> key;
  start = Now();
  for (int32_t i = 0; i < kSeeks; ++i) {
    const size_t index = random() % size_t(rows);
    if (order == "absent") {
      const uint32_t id = recordIds[index];
      key = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    } else {
      const uint32_t bits = uint32_t(index) ^ 0x80000000u;
      key = {0x01, uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits)};
    }
    bool found = false;
    cursor->SeekKey(key.data(), key.size(), &found);
    if (!found || !cursor->NextMatching()) std::fprintf(stderr, "seek missed\n");
  }
  result.seekSeconds = Now() - start;
  cursor.reset();
  CloseDatabaseFile(db);
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
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

  double start = Now();
  char number[64];
  for (int32_t rowId : Order(rows, order)) {
    const Row row = RowOf(rowId);
    std::snprintf(number, sizeof number, "%.17g", row.value);
    const StringRef texts[] = {
        text(std::to_string(row.id)), text(row.name), text(number),
        text(std::to_string(row.day[0]) + "-" + std::to_string(row.day[1]) + "-" + std::to_string(row.day[2]))};
    DBRecordColumn d{nullptr, names[3].get(), texts[3].get(), kDBVarChar},
        v{&d, names[2].get(), texts[2].get(), kDBVarChar}, n{&v, names[1].get(), texts[1].get(), kDBVarChar},
        i{&n, names[0].get(), texts[0].get(), kDBVarChar};
    if (!InsertRow(*db, table.get(), &i)) {
      std::fprintf(stderr, "insert failed: %s\n", db->ErrorText().c_str());
      return result;
    }
  }
  db->Commit();
  result.insertSeconds = Now() - start;

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
  start = Now();
  std::unique_ptr<DBEngineCursor> scan(OpenTableCursor(*db, table.get(), &all, nullptr));
  while (scan->MoveNext()) readRow(*scan);
  scan.reset();
  result.scanSeconds = Now() - start;

  std::mt19937 random(777);
  start = Now();
  for (int32_t i = 0; keyed && i < kSeeks; ++i) {
    const StringRef wanted = text(std::to_string(random() % uint32_t(rows)));
    DBFilterRecord filter{nullptr, nullptr, 0, 0, names[0].get(), wanted.get()};
    std::unique_ptr<DBEngineCursor> cursor(OpenTableCursor(*db, table.get(), &all, &filter));
    if (!cursor || !cursor->MoveNext()) std::fprintf(stderr, "lookup missed\n");
    if (cursor) readRow(*cursor);
  }
  result.seekSeconds = keyed ? Now() - start : 0;

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
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
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
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &insert, nullptr);
  double start = Now();
  Exec(db, "BEGIN");
  for (int32_t id : Order(rows, order)) {
    const Row row = RowOf(id);
    sqlite3_bind_int(insert, 1, row.id);
    sqlite3_bind_text(insert, 2, row.name.data(), int(row.name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, row.value);
    sqlite3_bind_int(insert, 4, row.day[0] * 10000 + row.day[1] * 100 + row.day[2]);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  Exec(db, "COMMIT");
  result.insertSeconds = Now() - start;
  sqlite3_finalize(insert);

  sqlite3_stmt* scan = nullptr;
  sqlite3_prepare_v2(db, "SELECT id,name,value,day FROM t", -1, &scan, nullptr);
  int64_t checksum = 0;
  start = Now();
  while (sqlite3_step(scan) == SQLITE_ROW)
    checksum += sqlite3_column_int(scan, 0) + sqlite3_column_bytes(scan, 1) +
                int64_t(sqlite3_column_double(scan, 2)) + sqlite3_column_int(scan, 3);
  result.scanSeconds = Now() - start;
  sqlite3_finalize(scan);

  sqlite3_stmt* seek = nullptr;
  sqlite3_prepare_v2(db,
                     keyless ? "SELECT id,name,value,day FROM t WHERE rowid=?"
                             : "SELECT id,name,value,day FROM t WHERE id=?",
                     -1, &seek, nullptr);
  std::mt19937 random(777);
  start = Now();
  for (int32_t i = 0; i < kSeeks; ++i) {
    const int32_t index = int32_t(random() % uint32_t(rows));
    sqlite3_bind_int(seek, 1, keyless ? index + 1 : index);
    if (sqlite3_step(seek) != SQLITE_ROW) std::fprintf(stderr, "seek missed\n");
    sqlite3_reset(seek);
  }
  result.seekSeconds = Now() - start;
  sqlite3_finalize(seek);

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
  result.fileBytes = FileBytes(path) + (checksum == -1 ? 1 : 0);
  return result;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "dbstore_bench engine|table|sqlite|sqlite-default <rows> increasing|random|absent <folder>\n");
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
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  auto perSecond = [](double count, double seconds) { return seconds > 0 ? count / seconds : 0; };
  std::printf("case %s %d %s %.0f %.0f %.0f %lld %.1f %.1f %.1f\n", engine.c_str(), int(rows),
              order.c_str(), perSecond(rows, result.insertSeconds), perSecond(rows, result.scanSeconds),
              perSecond(kSeeks, result.seekSeconds), static_cast<long long>(result.fileBytes),
              double(memory.PeakWorkingSetSize) / 1048576.0,
              perSecond(kBlobBytes / 1e6, result.blobWriteSeconds),
              perSecond(kBlobBytes / 1e6, result.blobReadSeconds));
  DeleteFileW(path.c_str());
  return 0;
}
