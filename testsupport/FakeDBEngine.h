// A database engine and its cursors for tests, built as a plug-in builds
// one: C-convention functions in tables of 18 words, registered and turned
// into Database and RecordSet objects through the run-time's named entry
// points. Any slot may be left empty (a mask of word numbers).
//
// Every slot call is logged on the engine as "Slot(handle, arguments)", the
// database's handle reading "db" and a cursor's its label:
//   "ExecuteSQL(db, commit)", "MoveNext(c1)", "ColumnValue(c1, 0)",
//   "InsertRecord(db, t, b='O''Neil'/5, a=5/3)", "Update(c1, 1=x, 0=NULL)",
//   "UpdateFields(db, t!a @ id=1 = x)".
// ColumnValue and ReleaseValue are also counted across every fake, so a test
// can check that each value handed out came back.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/api/DBInterface.h"

// A value as the cursor hands it out: its code and its bytes.
struct FakeValue {
  int32_t type = kDBNull;
  std::string bytes;
};
FakeValue FakeNull();
FakeValue FakeSmallInt(int16_t value);
FakeValue FakeInteger(int32_t value);
FakeValue FakeText(const std::string& text, int32_t type = kDBVarChar);
FakeValue FakeSingle(float value);
FakeValue FakeDouble(double value);
FakeValue FakeBoolean(bool value);
// Big-endian words: 3 for a date or a time, 6 for a timestamp.
FakeValue FakeWords(int32_t type, std::vector<uint16_t> words);

// The slots to fill: every one but the missing word numbers (reserved words
// stay empty); 0 leaves them all empty.
uint32_t FakeAllSlotsBut(std::initializer_list<int> missing);

using FakeRows = std::vector<std::vector<FakeValue>>;

class FakeDBEngine;

class FakeCursor {
 public:
  FakeCursor(FakeDBEngine* engine, std::string label, std::vector<std::string> columns,
             FakeRows rows, uint32_t slots);
  // A RecordSet over this cursor, made as a plug-in makes one (the caller's).
  RuntimeObject* NewSet();

  FakeDBEngine* engine;
  std::string label;
  std::vector<std::string> columns;
  FakeRows rows;
  DBCursorDefinition table{};
  int32_t position = -1;  // the row it stands on; rows.size() past the end
  // The locator of a column: {"t!a", "id=1"}; a column without one answers
  // false.
  std::map<int32_t, std::pair<std::string, std::string>> locators;
  std::function<void()> onClose;
};

class FakeDBEngine {
 public:
  explicit FakeDBEngine(uint32_t slots = FakeAllSlotsBut({}));
  FakeDBEngine(const FakeDBEngine&) = delete;
  FakeDBEngine& operator=(const FakeDBEngine&) = delete;

  // A Database over this engine, made as a plug-in makes one (the caller's).
  RuntimeObject* NewDatabase();
  FakeCursor& AddCursor(std::vector<std::string> columns, FakeRows rows,
                        uint32_t slots = FakeAllSlotsBut({}));
  // The log since the last call, entries joined by "; ".
  std::string TakeLog();

  DBEngineDefinition table{};
  std::vector<std::string> log;
  // Answers of the slots that give objects (nil when empty) and errors.
  std::function<RuntimeObject*(const std::string& text)> select;  // SelectSQL, OpenTableCursor
  std::function<RuntimeObject*(const std::string& table)> schema;  // TableSchema (""), FieldSchema
  std::function<void(const std::string& text)> onExecute;
  int32_t lastErrorCode = 0;
  std::string lastErrorText;
  std::vector<std::unique_ptr<FakeCursor>> cursors;
};

// ColumnValue and ReleaseValue calls over every fake since the program began.
int64_t FakeValuesHandedOut();
int64_t FakeValuesReleased();
