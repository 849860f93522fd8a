// The fake engine's slot functions: plain C-convention functions that find
// their fake through the handle, log the call and answer from the rows.
#include "testsupport/FakeDBEngine.h"

#include <cstring>

#include "core/string.h"
#include "host/relocentry.h"

namespace {

int64_t valuesHandedOut = 0;
int64_t valuesReleased = 0;

// The run-time's entries, reached by name as a plug-in reaches them.
template <class Function>
Function Entry(const char* name) {
  return reinterpret_cast<Function>(LookupEntryPoint(name));
}

FakeDBEngine* EngineOf(DBHandle handle) { return reinterpret_cast<FakeDBEngine*>(handle); }
FakeCursor* CursorOf(DBHandle handle) { return reinterpret_cast<FakeCursor*>(handle); }

std::string Text(const StringRecord* text) { return text ? StringBytes(text) : "NULL"; }

void Log(FakeDBEngine* engine, const std::string& slot, const std::string& handle,
         const std::string& arguments = "") {
  engine->log.push_back(slot + "(" + handle + (arguments.empty() ? "" : ", " + arguments) + ")");
}

void Log(FakeCursor* cursor, const std::string& slot, const std::string& arguments = "") {
  Log(cursor->engine, slot, cursor->label, arguments);
}

template <class T>
FakeValue Bytes(int32_t type, T value) {
  FakeValue result{type, std::string(sizeof value, '\0')};
  std::memcpy(&result.bytes[0], &value, sizeof value);
  return result;
}

bool OnRow(const FakeCursor* cursor) {
  return cursor->position >= 0 && size_t(cursor->position) < cursor->rows.size();
}

// ---- Cursor slots --------------------------------------------------------------

void DB_CDECL CursorClose(DBHandle handle) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "Close");
  if (cursor->onClose) cursor->onClose();
}

int32_t DB_CDECL ColumnCount(DBHandle handle) {
  Log(CursorOf(handle), "ColumnCount");
  return int32_t(CursorOf(handle)->columns.size());
}

StringRecord* DB_CDECL ColumnName(DBHandle handle, int32_t column) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "ColumnName", std::to_string(column));
  if (column < 0 || size_t(column) >= cursor->columns.size()) return nullptr;
  return StringFromASCII(cursor->columns[size_t(column)].c_str());
}

int32_t DB_CDECL RowCount(DBHandle handle) {
  Log(CursorOf(handle), "RowCount");
  return int32_t(CursorOf(handle)->rows.size());
}

void DB_CDECL ColumnValue(DBHandle handle, int32_t column, const void** data, int32_t* type,
                          int32_t* length) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "ColumnValue", std::to_string(column));
  ++valuesHandedOut;
  static const FakeValue null;
  const std::vector<FakeValue>* row = OnRow(cursor) ? &cursor->rows[size_t(cursor->position)]
                                                    : nullptr;
  const FakeValue& value =
      row && column >= 0 && size_t(column) < row->size() ? (*row)[size_t(column)] : null;
  *data = value.bytes.data();
  *type = value.type;
  *length = int32_t(value.bytes.size());
}

void DB_CDECL ReleaseValue(DBHandle handle) {
  Log(CursorOf(handle), "ReleaseValue");
  ++valuesReleased;
}

uint8_t DB_CDECL MoveNext(DBHandle handle) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "MoveNext");
  if (OnRow(cursor) || cursor->position < 0) ++cursor->position;
  return OnRow(cursor);
}

void DB_CDECL DeleteRecord(DBHandle handle) { Log(CursorOf(handle), "DeleteRecord"); }

uint8_t DB_CDECL GetColumnLocator(DBHandle handle, int32_t column, const char** name,
                                  int32_t* nameLength, const char** condition,
                                  int32_t* conditionLength) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "GetColumnLocator", std::to_string(column));
  auto found = cursor->locators.find(column);
  if (found == cursor->locators.end()) return 0;
  *name = found->second.first.data();
  *nameLength = int32_t(found->second.first.size());
  *condition = found->second.second.data();
  *conditionLength = int32_t(found->second.second.size());
  return 1;
}

void DB_CDECL Update(DBHandle handle, DBPendingValue* values) {
  std::string arguments;
  for (const DBPendingValue* value = values; value; value = value->next)
    arguments += (arguments.empty() ? "" : ", ") + std::to_string(value->column) + "=" +
                 Text(value->value);
  Log(CursorOf(handle), "Update", arguments);
}

void DB_CDECL Edit(DBHandle handle) { Log(CursorOf(handle), "Edit"); }

void DB_CDECL MovePrev(DBHandle handle) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "MovePrev");
  if (cursor->position > 0) --cursor->position;
}

void DB_CDECL MoveFirst(DBHandle handle) {
  Log(CursorOf(handle), "MoveFirst");
  CursorOf(handle)->position = 0;
}

void DB_CDECL MoveLast(DBHandle handle) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "MoveLast");
  cursor->position = cursor->rows.empty() ? 0 : int32_t(cursor->rows.size()) - 1;
}

int32_t DB_CDECL ColumnType(DBHandle handle, int32_t column) {
  FakeCursor* cursor = CursorOf(handle);
  Log(cursor, "ColumnType", std::to_string(column));
  if (cursor->rows.empty() || size_t(column) >= cursor->rows[0].size()) return 0;
  return cursor->rows[0][size_t(column)].type;
}

// ---- Engine slots --------------------------------------------------------------

void DB_CDECL CloseDatabase(DBHandle handle) { Log(EngineOf(handle), "CloseDatabase", "db"); }

RuntimeObject* Answer(FakeDBEngine* engine, const std::string& argument) {
  return engine->schema ? engine->schema(argument) : nullptr;
}

RuntimeObject* DB_CDECL TableSchema(DBHandle handle) {
  Log(EngineOf(handle), "TableSchema", "db");
  return Answer(EngineOf(handle), "");
}

RuntimeObject* DB_CDECL FieldSchema(DBHandle handle, StringRecord* table) {
  Log(EngineOf(handle), "FieldSchema", "db", Text(table));
  return Answer(EngineOf(handle), Text(table));
}

RuntimeObject* Selected(FakeDBEngine* engine, const std::string& text) {
  return engine->select ? engine->select(text) : nullptr;
}

RuntimeObject* DB_CDECL SelectSQL(DBHandle handle, StringRecord* text) {
  Log(EngineOf(handle), "SelectSQL", "db", Text(text));
  return Selected(EngineOf(handle), Text(text));
}

void DB_CDECL ExecuteSQL(DBHandle handle, StringRecord* text) {
  FakeDBEngine* engine = EngineOf(handle);
  Log(engine, "ExecuteSQL", "db", Text(text));
  if (engine->onExecute) engine->onExecute(Text(text));
}

void DB_CDECL InsertRecord(DBHandle handle, StringRecord* table, DBRecordColumn* columns) {
  std::string arguments = Text(table);
  for (const DBRecordColumn* column = columns; column; column = column->next)
    arguments += ", " + Text(column->name) + "=" + Text(column->value) + "/" +
                 std::to_string(column->type);
  Log(EngineOf(handle), "InsertRecord", "db", arguments);
}

RuntimeObject* DB_CDECL OpenTableCursor(DBHandle handle, StringRecord* table,
                                        DBColumnSelection* columns, void*) {
  std::string arguments = Text(table);
  for (const DBColumnSelection* column = columns; column; column = column->next)
    arguments += ", " + Text(column->name);
  Log(EngineOf(handle), "OpenTableCursor", "db", arguments);
  return Selected(EngineOf(handle), Text(table));
}

void DB_CDECL UpdateFields(DBHandle handle, DBFieldChange* changes) {
  std::string arguments;
  for (const DBFieldChange* change = changes; change; change = change->next) {
    arguments += (arguments.empty() ? "" : ", ") +
                 std::string(change->locator, size_t(change->locatorLength)) + " @ " +
                 std::string(change->condition, size_t(change->conditionLength)) + " = " +
                 Text(change->value);
  }
  Log(EngineOf(handle), "UpdateFields", "db", arguments);
}

int32_t DB_CDECL GetLastErrorCode(DBHandle handle) {
  Log(EngineOf(handle), "GetLastErrorCode", "db");
  return EngineOf(handle)->lastErrorCode;
}

StringRecord* DB_CDECL GetLastErrorString(DBHandle handle) {
  FakeDBEngine* engine = EngineOf(handle);
  Log(engine, "GetLastErrorString", "db");
  return engine->lastErrorText.empty() ? nullptr : StringFromASCII(engine->lastErrorText.c_str());
}

void DB_CDECL Commit(DBHandle handle) { Log(EngineOf(handle), "Commit", "db"); }

void DB_CDECL Rollback(DBHandle handle) { Log(EngineOf(handle), "Rollback", "db"); }

StringRecord* DB_CDECL GetProperty(DBHandle handle, StringRecord* name) {
  Log(EngineOf(handle), "GetProperty", "db", Text(name));
  return StringFromASCII(("value of " + Text(name)).c_str());
}

template <size_t N>
void Fill(DBWord (&words)[N], uint32_t slots, std::initializer_list<std::pair<int, void*>> all) {
  words[0] = kDBInterfaceVersion;
  for (const auto& [slot, function] : all) {
    if (slots & (1u << slot)) words[slot] = reinterpret_cast<DBWord>(function);
  }
}

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

FakeValue FakeNull() { return {}; }
FakeValue FakeSmallInt(int16_t value) { return Bytes(kDBSmallInt, value); }
FakeValue FakeInteger(int32_t value) { return Bytes(kDBInteger, value); }
FakeValue FakeText(const std::string& text, int32_t type) { return {type, text}; }
FakeValue FakeSingle(float value) { return Bytes(kDBFloat, value); }
FakeValue FakeDouble(double value) { return Bytes(kDBDouble, value); }
FakeValue FakeBoolean(bool value) { return {kDBBoolean, std::string(1, value ? '\1' : '\0')}; }

FakeValue FakeWords(int32_t type, std::vector<uint16_t> words) {
  FakeValue result{type, {}};
  for (uint16_t word : words) {
    result.bytes += char(word >> 8);
    result.bytes += char(word & 0xFF);
  }
  return result;
}

uint32_t FakeSlots(std::initializer_list<int> slots) {
  uint32_t mask = 0;
  for (int slot : slots) mask |= 1u << slot;
  return mask;
}

uint32_t FakeAllSlotsBut(std::initializer_list<int> missing) {
  uint32_t mask = 0x3FFFC;  // words 2 to 17
  for (int slot : missing) mask &= ~(1u << slot);
  return mask;
}

FakeCursor::FakeCursor(FakeDBEngine* owner, std::string name, std::vector<std::string> names,
                       FakeRows values, uint32_t slots)
    : engine(owner), label(std::move(name)), columns(std::move(names)), rows(std::move(values)) {
  Fill(table.words, slots,
       {{kCursorClose, Address(CursorClose)},
        {kCursorColumnCount, Address(ColumnCount)},
        {kCursorColumnName, Address(ColumnName)},
        {kCursorRowCount, Address(RowCount)},
        {kCursorColumnValue, Address(ColumnValue)},
        {kCursorReleaseValue, Address(ReleaseValue)},
        {kCursorMoveNext, Address(MoveNext)},
        {kCursorDeleteRecord, Address(DeleteRecord)},
        {kCursorGetColumnLocator, Address(GetColumnLocator)},
        {kCursorUpdate, Address(Update)},
        {kCursorEdit, Address(Edit)},
        {kCursorMovePrev, Address(MovePrev)},
        {kCursorMoveFirst, Address(MoveFirst)},
        {kCursorMoveLast, Address(MoveLast)},
        {kCursorColumnType, Address(ColumnType)}});
  Entry<void (*)(DBCursorDefinition*)>("PluginRegisterDBCursor")(&table);
}

RuntimeObject* FakeCursor::NewSet() {
  return Entry<RuntimeObject* (*)(DBHandle, DBCursorDefinition*)>("TOVAdbCursorFromDBCursor")(
      reinterpret_cast<DBHandle>(this), &table);
}

FakeDBEngine::FakeDBEngine(uint32_t slots) {
  Fill(table.words, slots,
       {{kEngineCloseDatabase, Address(CloseDatabase)},
        {kEngineTableSchema, Address(TableSchema)},
        {kEngineFieldSchema, Address(FieldSchema)},
        {kEngineSelectSQL, Address(SelectSQL)},
        {kEngineExecuteSQL, Address(ExecuteSQL)},
        {kEngineInsertRecord, Address(InsertRecord)},
        {kEngineOpenTableCursor, Address(OpenTableCursor)},
        {kEngineUpdateFields, Address(UpdateFields)},
        {kEngineGetLastErrorCode, Address(GetLastErrorCode)},
        {kEngineGetLastErrorString, Address(GetLastErrorString)},
        {kEngineCommit, Address(Commit)},
        {kEngineRollback, Address(Rollback)},
        {kEngineGetProperty, Address(GetProperty)}});
  Entry<void (*)(DBEngineDefinition*)>("PluginRegisterDBEngine")(&table);
}

RuntimeObject* FakeDBEngine::NewDatabase() {
  return Entry<RuntimeObject* (*)(DBHandle, DBEngineDefinition*)>("TOVAdbDatabaseFromDBDatabase")(
      reinterpret_cast<DBHandle>(this), &table);
}

FakeCursor& FakeDBEngine::AddCursor(std::vector<std::string> columns, FakeRows rows,
                                    uint32_t slots) {
  const std::string label = "c" + std::to_string(cursors.size() + 1);
  cursors.push_back(
      std::make_unique<FakeCursor>(this, label, std::move(columns), std::move(rows), slots));
  return *cursors.back();
}

std::string FakeDBEngine::TakeLog() {
  std::string joined;
  for (const std::string& entry : log) joined += (joined.empty() ? "" : "; ") + entry;
  log.clear();
  return joined;
}

int64_t FakeValuesHandedOut() { return valuesHandedOut; }
int64_t FakeValuesReleased() { return valuesReleased; }
