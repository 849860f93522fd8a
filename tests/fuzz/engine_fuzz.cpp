// Bytes as a database file (with a journal, as the dbfile target takes them)
// opened by the engine: every table of the catalog read row by row, BLOB
// values included; then a table with a BLOB column made, a row inserted,
// committed and read back whole, and the file closed. Damage must end in an error
// code, never a recorded assertion box.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/database/dbengine_support.h"
#include "tests/fuzz/DatabaseInput.h"

namespace {

const char* const kPath = "engine.db";

void ReadEveryTable(DBEngineDatabase& db, EngineLists& lists) {
  const std::vector<DBTableRef> tables = db.Tables();
  for (const DBTableRef& table : tables) {
    RowTexts(OpenTableCursor(db, lists.S(table->name), lists.All(), nullptr));
    db.ClearError();
  }
}

void AddTableWithBlob(DBEngineDatabase& db, EngineLists& lists) {
  const std::string name = "fuzz blobs";
  if (!CreateTable(db, lists.S(name),
                   lists.Columns({{"id", kDBInteger}, {"data", kDBBlob}}), nullptr, 0))
    return;
  const std::string blob(5000, 'b');
  if (InsertRow(db, lists.S(name), lists.Values({{"id", "7"}, {"data", blob.c_str()}})) &&
      db.Commit()) {
    const std::vector<std::string> rows =
        RowTexts(OpenTableCursor(db, lists.S(name), lists.All(), nullptr));
    // Only the row is promised: a damaged directory may hold a stale tree
    // that a new table's rows join.
    if (std::find(rows.begin(), rows.end(), "7|" + blob) == rows.end())
      fuzz::Fail("a committed row does not read back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryStorage storage;
  fuzz::LoadDatabaseInput(data, size, kPath, &storage);
  EngineLists lists;
  if (DBEngineDatabase* db = OpenEngineDatabaseAt(PathString(kPath).get(), storage)) {
    ReadEveryTable(*db, lists);
    AddTableWithBlob(*db, lists);
    CloseEngineDatabase(db);
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
