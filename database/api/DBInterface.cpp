// The typed callers of the engine and cursor tables.
#include "database/api/DBInterface.h"

namespace {

using Handle = DBHandle;

// The slot's function, or null when the table, the slot or the handle is
// missing.
template <class Function>
Function SlotOf(const DBWord* words, Handle handle, int slot) {
  if (!words || !handle || !words[slot]) return nullptr;
  return reinterpret_cast<Function>(words[slot]);
}

template <class Result, class... Arguments>
using SlotFunction = Result(DB_CDECL*)(Handle, Arguments...);

// Calls the slot when it is there; otherwise gives the fallback.
template <class Result, class... Arguments>
Result CallSlot(const DBWord* words, Handle handle, int slot, Result fallback,
                Arguments... arguments) {
  auto function = SlotOf<SlotFunction<Result, Arguments...>>(words, handle, slot);
  return function ? function(handle, arguments...) : fallback;
}

template <class... Arguments>
bool CallProcedure(const DBWord* words, Handle handle, int slot, Arguments... arguments) {
  auto function = SlotOf<SlotFunction<void, Arguments...>>(words, handle, slot);
  if (!function) return false;
  function(handle, arguments...);
  return true;
}

// Booleans cross as the low byte of the result register.
using BooleanResult = uint8_t;

// The least length each fixed-size code needs.
uint32_t NeededLength(int32_t type) {
  switch (type) {
    case kDBSmallInt: return 2;
    case kDBInteger:
    case kDBFloat: return 4;
    case kDBDouble: return 8;
    case kDBDate:
    case kDBTime: return 6;
    case kDBTimeStamp: return 12;
    case kDBBoolean: return 1;
    default: return 0;
  }
}

}  // namespace

DBValueView CheckedValue(int32_t rawType, const void* data, int32_t length) {
  DBValueView view;
  const int32_t type = rawType & 0xFF;
  if (type == kDBNull || length < 0 || (length > 0 && !data)) return view;
  if (uint32_t(length) < NeededLength(type)) return view;
  view.type = type;
  view.data = static_cast<const uint8_t*>(data);
  view.length = uint32_t(length);
  return view;
}

bool IsUsableTable(const DBWord* words) { return words && words[0] == kDBInterfaceVersion; }

CursorValue::~CursorValue() {
  if (read_) CallProcedure(table_ ? table_->words : nullptr, handle_, kCursorReleaseValue);
}

// ---- Change counts ---------------------------------------------------------------

namespace {

uint32_t gDataChanges = 0;
uint32_t gCatalogChanges = 0;

void DataChanges() { ++gDataChanges; }
void CatalogChanges() {
  ++gDataChanges;
  ++gCatalogChanges;
}

}  // namespace

uint32_t DBDataChangeCount() { return gDataChanges; }
uint32_t DBCatalogChangeCount() { return gCatalogChanges; }

// ---- Engine ------------------------------------------------------------------------

bool EngineSlots::Has(DBEngineSlot slot) const {
  return SlotOf<void*>(Words(), handle_, slot) != nullptr;
}

void EngineSlots::CloseDatabase() const {
  CatalogChanges();
  CallProcedure(Words(), handle_, kEngineCloseDatabase);
}

RuntimeObject* EngineSlots::TableSchema() const {
  return CallSlot<RuntimeObject*>(Words(), handle_, kEngineTableSchema, nullptr);
}

RuntimeObject* EngineSlots::FieldSchema(StringRecord* table) const {
  return CallSlot<RuntimeObject*>(Words(), handle_, kEngineFieldSchema, nullptr, table);
}

RuntimeObject* EngineSlots::SelectSQL(StringRecord* text) const {
  return CallSlot<RuntimeObject*>(Words(), handle_, kEngineSelectSQL, nullptr, text);
}

void EngineSlots::ExecuteSQL(StringRecord* text) const {
  CatalogChanges();
  CallProcedure(Words(), handle_, kEngineExecuteSQL, text);
}

void EngineSlots::InsertRecord(StringRecord* table, DBRecordColumn* columns) const {
  DataChanges();
  CallProcedure(Words(), handle_, kEngineInsertRecord, table, columns);
}

void EngineSlots::CreateTable(StringRecord* table, DBColumnDefinition* columns,
                              const uint8_t* keys, int32_t keyCount) const {
  CatalogChanges();
  CallProcedure(Words(), handle_, kEngineCreateTable, table, columns, keys, keyCount);
}

RuntimeObject* EngineSlots::OpenTableCursor(StringRecord* table, DBColumnSelection* columns,
                                            DBFilterRecord* filter) const {
  return CallSlot<RuntimeObject*>(Words(), handle_, kEngineOpenTableCursor, nullptr, table,
                                  columns, filter);
}

void EngineSlots::AddColumn(StringRecord* table, DBColumnDefinition* column) const {
  CatalogChanges();
  CallProcedure(Words(), handle_, kEngineAddColumn, table, column);
}

void EngineSlots::UpdateFields(DBFieldChange* changes) const {
  DataChanges();
  CallProcedure(Words(), handle_, kEngineUpdateFields, changes);
}

int32_t EngineSlots::GetLastErrorCode() const {
  return CallSlot<int32_t>(Words(), handle_, kEngineGetLastErrorCode, 0);
}

StringRecord* EngineSlots::GetLastErrorString() const {
  return CallSlot<StringRecord*>(Words(), handle_, kEngineGetLastErrorString, nullptr);
}

void EngineSlots::Commit() const {
  DataChanges();
  CallProcedure(Words(), handle_, kEngineCommit);
}

void EngineSlots::Rollback() const {
  CatalogChanges();
  CallProcedure(Words(), handle_, kEngineRollback);
}

StringRecord* EngineSlots::GetProperty(StringRecord* name) const {
  return CallSlot<StringRecord*>(Words(), handle_, kEngineGetProperty, nullptr, name);
}

// ---- Cursor ------------------------------------------------------------------------

bool CursorSlots::Has(DBCursorSlot slot) const {
  return SlotOf<void*>(Words(), handle_, slot) != nullptr;
}

void CursorSlots::Close() const { CallProcedure(Words(), handle_, kCursorClose); }

int32_t CursorSlots::ColumnCount() const {
  return CallSlot<int32_t>(Words(), handle_, kCursorColumnCount, 0);
}

StringRecord* CursorSlots::ColumnName(int32_t column) const {
  return CallSlot<StringRecord*>(Words(), handle_, kCursorColumnName, nullptr, column);
}

int32_t CursorSlots::RowCount() const {
  return CallSlot<int32_t>(Words(), handle_, kCursorRowCount, -1);
}

CursorValue CursorSlots::ColumnValue(int32_t column) const {
  const void* data = nullptr;
  int32_t type = 0;
  int32_t length = 0;
  if (!CallProcedure(Words(), handle_, kCursorColumnValue, column, &data, &type, &length)) return {};
  return CursorValue(table_, handle_, CheckedValue(type, data, length));
}

bool CursorSlots::MoveNext() const {
  return CallSlot<BooleanResult>(Words(), handle_, kCursorMoveNext, 0) != 0;
}

void CursorSlots::DeleteRecord() const {
  DataChanges();
  CallProcedure(Words(), handle_, kCursorDeleteRecord);
}

bool CursorSlots::GetColumnLocator(int32_t column, DBColumnLocator* locator) const {
  const char* name = nullptr;
  int32_t nameLength = 0;
  const char* condition = nullptr;
  int32_t conditionLength = 0;
  if (!CallSlot<BooleanResult>(Words(), handle_, kCursorGetColumnLocator, 0, column, &name,
                               &nameLength, &condition, &conditionLength)) {
    return false;
  }
  // What the engine filled is outside input: a missing or empty part is no
  // locator at all (an empty condition would select every row).
  if (!name || !condition || nameLength <= 0 || conditionLength <= 0) return false;
  locator->name.assign(name, size_t(nameLength));
  locator->condition.assign(condition, size_t(conditionLength));
  return true;
}

void CursorSlots::Update(DBPendingValue* values) const {
  DataChanges();
  CallProcedure(Words(), handle_, kCursorUpdate, values);
}

void CursorSlots::Edit() const { CallProcedure(Words(), handle_, kCursorEdit); }

bool CursorSlots::MovePrev() const { return CallProcedure(Words(), handle_, kCursorMovePrev); }

bool CursorSlots::MoveFirst() const { return CallProcedure(Words(), handle_, kCursorMoveFirst); }

bool CursorSlots::MoveLast() const { return CallProcedure(Words(), handle_, kCursorMoveLast); }

int32_t CursorSlots::ColumnType(int32_t column) const {
  if (column < 0) return -1;
  return CallSlot<int32_t>(Words(), handle_, kCursorColumnType, -1, column);
}

#ifdef _WINDOWS_
#error "The engine interface stays portable: no <windows.h>."
#endif
