// The transactions that the crash tests interrupt, shared by the test and
// the child program it kills, with the rows each should leave.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/string.h"
#include "database/kvdbThumb.h"

namespace crash_scenario {

constexpr const char* kTable = "42";
constexpr uint8_t kKeyColumn[1] = {0};
constexpr DBKeyColumns kKeyed{kKeyColumn, 1};
using Rows = std::map<int32_t, std::string>;

// A record {0: key, 1: text}.
inline bool BuildTestRecord(DBFile& db, int32_t key, const std::string& text,
                            std::vector<uint8_t>* record) {
  struct {
    int32_t key;
    StringRecord* text;
  } values{key, NewString(text, kEncodingASCII)};
  const DBFieldListItem items[] = {{0, kDBFieldInt32, 0},
                                   {1, kDBFieldText, int16_t(offsetof(decltype(values), text))}};
  const bool built = BuildRecord(db, items, 2, &values, record);
  StringRecordRelease(values.text);
  return built;
}

inline bool InsertRow(DBFile& db, int32_t key, const std::string& text) {
  std::vector<uint8_t> record;
  return BuildTestRecord(db, key, text, &record) &&
         InsertTableRecord(db, kTable, record.data(), record.size(), kKeyed, true);
}

// The interrupted transaction: 150 inserts of long rows (splits and a new
// root), and every fifth committed row deleted.
inline void ChangeRows(DBFile& db) {
  for (int32_t key = 1000; key < 1150; ++key) InsertRow(db, key, std::string(300, 'c'));
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, kTable, nullptr, 0, kKeyed);
  DBFieldValue key;
  while (cursor->NextMatching())
    if (FindField(cursor->CurrentEntry(), 0, &key) == DBFieldLookup::kFound && key.integer < 1000 &&
        key.integer % 5 == 0)
      DeleteCurrentRecord(*cursor);
}

inline Rows AfterChangeRows(Rows rows) {
  for (auto row = rows.begin(); row != rows.end();)
    row = row->first < 1000 && row->first % 5 == 0 ? rows.erase(row) : std::next(row);
  for (int32_t key = 1000; key < 1150; ++key) rows[key] = std::string(300, 'c');
  return rows;
}

// The first transaction of a new file, after its table: 400 rows of 400
// bytes, some twenty pages.
inline bool FillNewTable(DBFile& db) {
  for (int32_t key = 0; key < 400; ++key)
    if (!InsertRow(db, key, std::string(400, 'n'))) return false;
  return true;
}

inline Rows AfterFillNewTable() {
  Rows rows;
  for (int32_t key = 0; key < 400; ++key) rows[key] = std::string(400, 'n');
  return rows;
}

// Transaction n of the endless loop: 30 rows of its own, and the even rows
// of transaction n - 1 deleted.
inline void LoopTransaction(DBFile& db, int32_t n) {
  for (int32_t i = 0; i < 30; ++i) InsertRow(db, n * 1000 + i, std::string(100 + i * 7, 'l'));
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, kTable, nullptr, 0, kKeyed);
  DBFieldValue key;
  while (cursor->NextMatching())
    if (FindField(cursor->CurrentEntry(), 0, &key) == DBFieldLookup::kFound &&
        key.integer / 1000 == n - 1 && key.integer % 2 == 0)
      DeleteCurrentRecord(*cursor);
}

inline Rows AfterLoopTransactions(int32_t count) {
  Rows rows;
  for (int32_t n = 1; n <= count; ++n) {
    for (int32_t i = 0; i < 30; ++i) rows[n * 1000 + i] = std::string(100 + i * 7, 'l');
    for (int32_t i = 0; i < 30; i += 2) rows.erase((n - 1) * 1000 + i);
  }
  return rows;
}

}  // namespace crash_scenario
