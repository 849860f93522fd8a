// The contract between the database classes and an engine: two tables of
// eighteen words, one per engine (DBEngineDefinition) and one per kind of
// cursor it hands out (DBCursorDefinition), the value codes that cross them
// and the lists the run-time passes in.
//
// Words 0 and 1 are a header: the interface version (4 in every table) and a
// word the run-time owns (engines put 0 there). Words 2 to 17 are slots: the
// address of a C-convention function or 0 for "not supported". The first
// argument of every engine slot is the engine's database handle, of every
// cursor slot the cursor handle; both are opaque, never 0 for a live one.
//
// Nothing outside this unit calls a slot directly: EngineSlots and
// CursorSlots check the table, the slot and the handle before each call and
// give the stated fallback when any is missing (a handle of 0 reads as a
// table whose slots are all empty). Strings passed to a slot stay the
// caller's; strings a slot returns (ColumnName, GetLastErrorString,
// GetProperty) become the caller's reference.
//
// Lists that cross the interface are allocated and owned by the run-time and
// are valid only during the call.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "core/Layout.h"

struct RuntimeObject;
struct StringRecord;

#if defined(_WIN32)
#define DB_CDECL __cdecl
#else
#define DB_CDECL
#endif

// Words are 32 bits on the target; natively they are as wide as a pointer,
// so the same code runs in the sanitizer and fuzz builds.
using DBWord = uintptr_t;
using DBHandle = uintptr_t;

enum : DBWord { kDBInterfaceVersion = 4 };
constexpr int kDBTableWords = 18;

struct DBEngineDefinition {
  DBWord words[kDBTableWords];
};
struct DBCursorDefinition {
  DBWord words[kDBTableWords];
};
static_assert(!kLayoutIs32Bit || sizeof(DBEngineDefinition) == 72, "an engine table is 18 words");
static_assert(!kLayoutIs32Bit || sizeof(DBCursorDefinition) == 72, "a cursor table is 18 words");

enum DBEngineSlot : int {
  kEngineCloseDatabase = 2,
  kEngineTableSchema = 3,
  kEngineFieldSchema = 4,
  kEngineSelectSQL = 5,
  kEngineExecuteSQL = 6,
  kEngineCreateTable = 7,  // arguments fixed by the SQL front-end
  kEngineInsertRecord = 8,
  kEngineOpenTableCursor = 9,
  kEngineUpdateFields = 10,
  kEngineAddColumn = 11,  // arguments fixed by the SQL front-end
  kEngineGetLastErrorCode = 13,
  kEngineGetLastErrorString = 14,
  kEngineCommit = 15,
  kEngineRollback = 16,
  kEngineGetProperty = 17,
};

enum DBCursorSlot : int {
  kCursorClose = 2,
  kCursorColumnCount = 3,
  kCursorColumnName = 4,
  kCursorRowCount = 5,
  kCursorColumnValue = 6,
  kCursorReleaseValue = 7,
  kCursorMoveNext = 8,
  kCursorDeleteRecord = 9,
  kCursorGetColumnLocator = 11,
  kCursorUpdate = 12,
  kCursorEdit = 13,
  kCursorMovePrev = 14,
  kCursorMoveFirst = 15,
  kCursorMoveLast = 16,
  kCursorColumnType = 17,
};

// Value codes of ColumnValue and of column types. Big-endian words in dates
// and times; every other number in host order.
enum DBValueType : int32_t {
  kDBNull = 0,
  kDBSmallInt = 2,    // 16-bit integer
  kDBInteger = 3,     // 32-bit integer
  kDBChar = 4,        // text
  kDBVarChar = 5,     // text
  kDBFloat = 6,       // IEEE single
  kDBDouble = 7,      // IEEE double
  kDBDate = 8,        // year, month, day
  kDBTime = 9,        // hour, minute, second
  kDBTimeStamp = 10,  // the six words
  kDBBoolean = 12,    // one byte, non-zero true
  kDBBinary = 14,
  kDBTextBlob = 15,   // bytes that also sort as text
  kDBBlob = 16,
  kDBMacPict = 17,
};

// ---- Lists the run-time passes in --------------------------------------------

// InsertRecord: the record's columns, the most recently set first.
struct DBRecordColumn {
  DBRecordColumn* next;
  StringRecord* name;
  StringRecord* value;  // nil is SQL NULL
  int32_t type;         // the code the column was first set with
};
static_assert(!kLayoutIs32Bit || sizeof(DBRecordColumn) == 16, "record column node is 4 words");

// Update: one node per edited column, the first edited last.
struct DBPendingValue {
  DBPendingValue* next;
  int32_t column;       // 0-based
  StringRecord* value;  // nil is SQL NULL
};
static_assert(!kLayoutIs32Bit || sizeof(DBPendingValue) == 12, "pending value node is 3 words");

// UpdateFields: the locators of the pending values, the oldest edit first.
struct DBFieldChange {
  DBFieldChange* next;
  const char* locator;  // "table!column", not terminated
  int32_t locatorLength;
  const char* condition;  // SQL text selecting the row, not terminated
  int32_t conditionLength;
  StringRecord* value;  // nil is SQL NULL
};
static_assert(!kLayoutIs32Bit || sizeof(DBFieldChange) == 24, "field change node is 6 words");

// OpenTableCursor: the columns wanted ("*" for all).
struct DBColumnSelection {
  DBColumnSelection* next;
  StringRecord* name;
};
static_assert(!kLayoutIs32Bit || sizeof(DBColumnSelection) == 8, "column selection node is 2 words");

// CreateTable and AddColumn: one node per column, in definition order.
struct DBColumnDefinition {
  DBColumnDefinition* next;
  StringRecord* name;
  int32_t type;      // a value code
  int32_t nullable;  // 0 for NOT NULL
};
static_assert(!kLayoutIs32Bit || sizeof(DBColumnDefinition) == 16, "column definition is 4 words");

// OpenTableCursor: the row condition. A comparison has no children and
// compares the named column with the value text (operator 0 =, 1 <, 2 >,
// 3 <=, 4 >=, 5 <>, 6 LIKE, 7 NOT LIKE, 8 IS NULL, 9 IS NOT NULL; function 0
// none, 2 upper(), 3 lower() of the column); 0x40 (and) and 0x41 (or) join
// their children, a missing child counting as a condition that holds.
struct DBFilterRecord {
  DBFilterRecord* left;
  DBFilterRecord* right;
  int32_t op;
  int32_t function;
  StringRecord* column;
  StringRecord* value;
};
static_assert(!kLayoutIs32Bit || sizeof(DBFilterRecord) == 24, "filter record is 6 words");

// ---- Values ------------------------------------------------------------------

// One value as an engine handed it out. CheckedValue makes it safe to read:
// the code is the low byte of what the engine wrote, and a value shorter than
// its code needs (2 bytes for code 2; 4 for 3 and 6; 8 for 7; 6 for 8 and 9;
// 12 for 10; 1 for 12), a negative length or missing bytes read as null.
struct DBValueView {
  int32_t type = kDBNull;
  const uint8_t* data = nullptr;
  uint32_t length = 0;
};
DBValueView CheckedValue(int32_t rawType, const void* data, int32_t length);

// ---- Typed callers -------------------------------------------------------------

// Whether a table may be used: present and of version 4.
bool IsUsableTable(const DBWord* words);

// One value read from a cursor: ReleaseValue is called once when the holder
// goes (it has copied what it needs by then). Move-only.
class CursorValue {
 public:
  CursorValue() = default;
  CursorValue(const DBCursorDefinition* table, DBHandle handle, const DBValueView& view)
      : table_(table), handle_(handle), view_(view), read_(true) {}
  CursorValue(CursorValue&& other) noexcept
      : table_(std::exchange(other.table_, nullptr)), handle_(other.handle_), view_(other.view_),
        read_(std::exchange(other.read_, false)) {}
  CursorValue& operator=(CursorValue&&) = delete;
  CursorValue(const CursorValue&) = delete;
  ~CursorValue();

  // False when no value could be asked for (no slot, closed cursor).
  bool read() const { return read_; }
  const DBValueView& view() const { return view_; }

 private:
  const DBCursorDefinition* table_ = nullptr;
  DBHandle handle_ = 0;
  DBValueView view_;
  bool read_ = false;
};

// A column's locator, copied out of the cursor.
struct DBColumnLocator {
  std::string name;       // "table!column"
  std::string condition;  // selects the current row
};

// Change counts, for the whole process: every call below that may change a
// database moves the data count (rows written or deleted, commit, rollback,
// a table made or widened, an SQL statement run, a database closed); those
// that may change a schema (a table made or widened, rollback, an SQL
// statement, a database closed) move the catalog count too. A reader that
// keeps what it read (a DataControl's sorted rows, the field names a
// statement is checked against) may use it again while the count it read
// it at stands.
uint32_t DBDataChangeCount();
uint32_t DBCatalogChangeCount();

class EngineSlots {
 public:
  EngineSlots(const DBEngineDefinition* table, DBHandle handle) : table_(table), handle_(handle) {}
  bool Has(DBEngineSlot slot) const;

  void CloseDatabase() const;
  RuntimeObject* TableSchema() const;                          // nil
  RuntimeObject* FieldSchema(StringRecord* table) const;       // nil
  RuntimeObject* SelectSQL(StringRecord* text) const;          // nil
  void ExecuteSQL(StringRecord* text) const;
  void InsertRecord(StringRecord* table, DBRecordColumn* columns) const;
  // The SQL front-end's: key positions are column indexes, one byte each.
  void CreateTable(StringRecord* table, DBColumnDefinition* columns, const uint8_t* keys,
                   int32_t keyCount) const;
  RuntimeObject* OpenTableCursor(StringRecord* table, DBColumnSelection* columns,
                                 DBFilterRecord* filter) const;  // nil
  void AddColumn(StringRecord* table, DBColumnDefinition* column) const;
  void UpdateFields(DBFieldChange* changes) const;
  int32_t GetLastErrorCode() const;                            // 0
  StringRecord* GetLastErrorString() const;                    // nil
  void Commit() const;
  void Rollback() const;
  StringRecord* GetProperty(StringRecord* name) const;         // nil

 private:
  const DBWord* Words() const { return table_ ? table_->words : nullptr; }
  const DBEngineDefinition* table_;
  DBHandle handle_;
};

class CursorSlots {
 public:
  CursorSlots(const DBCursorDefinition* table, DBHandle handle) : table_(table), handle_(handle) {}
  bool Has(DBCursorSlot slot) const;

  void Close() const;
  int32_t ColumnCount() const;                 // 0
  StringRecord* ColumnName(int32_t column) const;  // nil without the slot
  int32_t RowCount() const;                    // -1
  CursorValue ColumnValue(int32_t column) const;   // not read without the slot
  bool MoveNext() const;                       // false: end of data
  void DeleteRecord() const;
  bool GetColumnLocator(int32_t column, DBColumnLocator* locator) const;  // false
  void Update(DBPendingValue* values) const;
  void Edit() const;
  // The three moves back say whether the slot was there to call.
  bool MovePrev() const;
  bool MoveFirst() const;
  bool MoveLast() const;
  int32_t ColumnType(int32_t column) const;    // -1

 private:
  const DBWord* Words() const { return table_ ? table_->words : nullptr; }
  const DBCursorDefinition* table_;
  DBHandle handle_;
};
