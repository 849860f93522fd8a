// The slots of the built-in engine's tables.
#include "database/engine/EngineTable.h"

#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "database/engine/Catalog.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/TableCursor.h"

namespace {

DBEngineDatabase& DatabaseOf(DBHandle handle) { return *reinterpret_cast<DBEngineDatabase*>(handle); }
DBEngineCursor& CursorOf(DBHandle handle) { return *reinterpret_cast<DBEngineCursor*>(handle); }

// The set over a cursor (the caller's); nil, the cursor closed, when none.
RuntimeObject* SetOver(DBEngineCursor* cursor, DBCursorDefinition* table) {
  if (!cursor) return nullptr;
  RuntimeObject* set = TOVAdbCursorFromDBCursor(reinterpret_cast<DBHandle>(cursor), table);
  if (!set) CloseEngineCursor(cursor);
  return set;
}

// ---- Engine slots ----------------------------------------------------------------------

void DB_CDECL CloseDatabase(DBHandle handle) { CloseEngineDatabase(&DatabaseOf(handle)); }

RuntimeObject* DB_CDECL TableSchema(DBHandle handle) {
  return SetOver(OpenTableSchemaCursor(DatabaseOf(handle)), BuiltInSchemaCursorTable());
}

RuntimeObject* DB_CDECL FieldSchema(DBHandle handle, StringRecord* table) {
  return SetOver(OpenFieldSchemaCursor(DatabaseOf(handle), table), BuiltInSchemaCursorTable());
}

void DB_CDECL CreateTableSlot(DBHandle handle, StringRecord* name, DBColumnDefinition* columns,
                              const uint8_t* keys, int32_t keyCount) {
  CreateTable(DatabaseOf(handle), name, columns, keys, keyCount);
}

void DB_CDECL InsertRecordSlot(DBHandle handle, StringRecord* table, DBRecordColumn* values) {
  InsertRow(DatabaseOf(handle), table, values);
}

RuntimeObject* DB_CDECL OpenTableCursorSlot(DBHandle handle, StringRecord* table,
                                            DBColumnSelection* columns, DBFilterRecord* filter) {
  return SetOver(OpenTableCursor(DatabaseOf(handle), table, columns, filter), BuiltInCursorTable());
}

void DB_CDECL AddColumnSlot(DBHandle handle, StringRecord* table, DBColumnDefinition* column) {
  AddColumn(DatabaseOf(handle), table, column);
}

int32_t DB_CDECL LastErrorCode(DBHandle handle) { return DatabaseOf(handle).ErrorCode(); }

StringRecord* DB_CDECL LastErrorText(DBHandle handle) {
  return NewString(DatabaseOf(handle).ErrorText(), kEncodingASCII);
}

void DB_CDECL Commit(DBHandle handle) { DatabaseOf(handle).Commit(); }
void DB_CDECL Rollback(DBHandle handle) { DatabaseOf(handle).Rollback(); }

// ---- Cursor slots ----------------------------------------------------------------------

// Booleans cross as the low byte of the result register.
using BooleanResult = uint8_t;

void DB_CDECL CloseCursor(DBHandle handle) { CloseEngineCursor(&CursorOf(handle)); }
int32_t DB_CDECL ColumnCount(DBHandle handle) { return CursorOf(handle).ColumnCount(); }

StringRecord* DB_CDECL ColumnName(DBHandle handle, int32_t column) {
  return CursorOf(handle).ColumnName(column);
}

void DB_CDECL ColumnValue(DBHandle handle, int32_t column, const void** data, int32_t* type,
                          int32_t* length) {
  CursorOf(handle).ColumnValue(column, data, type, length);
}

void DB_CDECL ReleaseValue(DBHandle handle) { CursorOf(handle).ReleaseValue(); }
BooleanResult DB_CDECL MoveNext(DBHandle handle) { return CursorOf(handle).MoveNext(); }
void DB_CDECL DeleteRecord(DBHandle handle) { CursorOf(handle).DeleteRow(); }

BooleanResult DB_CDECL ColumnLocator(DBHandle handle, int32_t column, const char** name,
                                     int32_t* nameLength, const char** condition,
                                     int32_t* conditionLength) {
  DBEngineCursor& cursor = CursorOf(handle);
  if (!cursor.Locator(column)) return 0;
  *name = cursor.LocatorTarget().data();
  *nameLength = int32_t(cursor.LocatorTarget().size());
  *condition = cursor.LocatorCondition().data();
  *conditionLength = int32_t(cursor.LocatorCondition().size());
  return 1;
}

void DB_CDECL Update(DBHandle handle, DBPendingValue* values) { CursorOf(handle).Update(values); }
int32_t DB_CDECL ColumnType(DBHandle handle, int32_t column) {
  return CursorOf(handle).ColumnType(column);
}

template <class Function>
DBWord Slot(Function* function) {
  return reinterpret_cast<DBWord>(function);
}

}  // namespace

DBEngineDefinition* BuiltInEngineTable() {
  static DBEngineDefinition table = {{
      kDBInterfaceVersion, 0, Slot(CloseDatabase), Slot(TableSchema), Slot(FieldSchema), 0, 0,
      Slot(CreateTableSlot), Slot(InsertRecordSlot), Slot(OpenTableCursorSlot), 0,
      Slot(AddColumnSlot), 0, Slot(LastErrorCode), Slot(LastErrorText), Slot(Commit),
      Slot(Rollback), 0,
  }};
  return &table;
}

DBCursorDefinition* BuiltInCursorTable() {
  static DBCursorDefinition table = {{
      kDBInterfaceVersion, 0, Slot(CloseCursor), Slot(ColumnCount), Slot(ColumnName), 0,
      Slot(ColumnValue), Slot(ReleaseValue), Slot(MoveNext), Slot(DeleteRecord), 0,
      Slot(ColumnLocator), Slot(Update), 0, 0, 0, 0, Slot(ColumnType),
  }};
  return &table;
}

DBCursorDefinition* BuiltInSchemaCursorTable() {
  static DBCursorDefinition table = {{
      kDBInterfaceVersion, 0, Slot(CloseCursor), Slot(ColumnCount), Slot(ColumnName), 0,
      Slot(ColumnValue), Slot(ReleaseValue), Slot(MoveNext), 0, 0, 0, 0, 0, 0, 0, 0, 0,
  }};
  return &table;
}

DBEngineCursor* BuiltInTableCursor(const RecordSetFields* set) {
  if (!set || !set->handle || set->definition != BuiltInCursorTable()) return nullptr;
  return &CursorOf(set->handle);
}

RuntimeObject* NewBuiltInDatabaseObject(DBEngineDatabase* database) {
  if (!database) return nullptr;
  RuntimeObject* object =
      TOVAdbDatabaseFromDBDatabase(reinterpret_cast<DBHandle>(database), BuiltInEngineTable());
  if (!object) CloseEngineDatabase(database);
  return object;
}
