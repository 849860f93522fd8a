// Bytes as a database file (a journal split off the end when the first four
// bytes, big-endian, give its length): opened, every tree walked, rows
// inserted and committed, a transaction rolled back, closed, reopened and
// walked again. Damaged content must be refused with an error; a recorded
// assertion box is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/fuzz/DatabaseInput.h"

namespace {

const char* const kPath = "fuzz.db";

// A few changes inside one transaction; gives false once the file refuses.
bool InsertRows(DBFile& db, int32_t first, int32_t count, size_t length) {
  for (int32_t key = first; key < first + count; ++key)
    if (!crash_scenario::InsertRow(db, key, std::string(length, char('a' + key % 26)))) return false;
  return true;
}

void Exercise(MemoryStorage& storage) {
  DBFile* db = OpenDatabaseFileAt(PathString(kPath).get(), storage);
  if (!db) return;
  WalkAll(*db);
  db->ClearError();
  std::unique_ptr<DBTreeCursor> table = OpenTableTree(*db, kTable, nullptr, 0, kKeyed);
  const bool hasTable = table != nullptr;
  table.reset();
  db->ClearError();
  if (hasTable || CreateTableTree(*db, kTable)) {
    if (InsertRows(*db, 1 << 20, 40, 60)) db->CommitTransaction();
    db->ClearError();
    if (InsertRows(*db, 2 << 20, 20, 300)) db->RollbackTransaction();
  }
  CloseDatabaseFile(db);
  if (DBFile* again = OpenDatabaseFileAt(PathString(kPath).get(), storage)) {
    WalkAll(*again);
    CloseDatabaseFile(again);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryStorage storage;
  fuzz::LoadDatabaseInput(data, size, kPath, &storage);
  Exercise(storage);
  fuzz::FailOnRecordedBoxes();
  return 0;
}
