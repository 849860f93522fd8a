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

std::string Text(const StringRecord* text) { return text ? StringBytes(text) : "NULL"; }

void Log(FakeDBEngine* engine, const std::string& call) { engine->log.push_back(call + ")"); }

// The fake of the handle, once the call is logged.
FakeCursor* Called(DBHandle handle, const char* slot, const std::string& arguments = "") {
  auto* cursor = reinterpret_cast<FakeCursor*>(handle);
  Log(cursor->engine,
      slot + ("(" + cursor->label) + (arguments.empty() ? "" : ", " + arguments));
  return cursor;
}

FakeDBEngine* EngineCalled(DBHandle handle, const char* slot, const std::string& arguments = "") {
  auto* engine = reinterpret_cast<FakeDBEngine*>(handle);
  Log(engine, slot + std::string("(db") + (arguments.empty() ? "" : ", " + arguments));
  return engine;
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
  if (auto& onClose = Called(handle, "Close")->onClose) onClose();
}

int32_t DB_CDECL ColumnCount(DBHandle handle) {
  return int32_t(Called(handle, "ColumnCount")->columns.size());
}

StringRecord* DB_CDECL ColumnName(DBHandle handle, int32_t column) {
  const FakeCursor* cursor = Called(handle, "ColumnName", std::to_string(column));
  if (column < 0 || size_t(column) >= cursor->columns.size()) return nullptr;
  return StringFromASCII(cursor->columns[size_t(column)].c_str());
}

int32_t DB_CDECL RowCount(DBHandle handle) {
  return int32_t(Called(handle, "RowCount")->rows.size());
}

void DB_CDECL ColumnValue(DBHandle handle, int32_t column, const void** data, int32_t* type,
                          int32_t* length) {
  const FakeCursor* cursor = Called(handle, "ColumnValue", std::to_string(column));
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
  Called(handle, "ReleaseValue");
  ++valuesReleased;
}

uint8_t DB_CDECL MoveNext(DBHandle handle) {
  FakeCursor* cursor = Called(handle, "MoveNext");
  if (OnRow(cursor) || cursor->position < 0) ++cursor->position;
  return OnRow(cursor);
}

void DB_CDECL DeleteRecord(DBHandle handle) { Called(handle, "DeleteRecord"); }

uint8_t DB_CDECL GetColumnLocator(DBHandle handle, int32_t column, const char** name,
                                  int32_t* nameLength, const char** condition,
                                  int32_t* conditionLength) {
  const FakeCursor* cursor = Called(handle, "GetColumnLocator", std::to_string(column));
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
  for (const DBPendingValue* value = values; value; value = value->next) {
    arguments += (arguments.empty() ? "" : ", ") + std::to_string(value->column) + "=" +
                 Text(value->value);
  }
  Called(handle, "Update", arguments);
}

void DB_CDECL Edit(DBHandle handle) { Called(handle, "Edit"); }

void DB_CDECL MovePrev(DBHandle handle) {
  FakeCursor* cursor = Called(handle, "MovePrev");
  if (cursor->position > 0) --cursor->position;
}

void DB_CDECL MoveFirst(DBHandle handle) { Called(handle, "MoveFirst")->position = 0; }

void DB_CDECL MoveLast(DBHandle handle) {
  FakeCursor* cursor = Called(handle, "MoveLast");
  cursor->position = cursor->rows.empty() ? 0 : int32_t(cursor->rows.size()) - 1;
}

int32_t DB_CDECL ColumnType(DBHandle handle, int32_t column) {
  const FakeCursor* cursor = Called(handle, "ColumnType", std::to_string(column));
  if (cursor->rows.empty() || size_t(column) >= cursor->rows[0].size()) return 0;
  return cursor->rows[0][size_t(column)].type;
}

// ---- Engine slots --------------------------------------------------------------

void DB_CDECL CloseDatabase(DBHandle handle) { EngineCalled(handle, "CloseDatabase"); }

RuntimeObject* Answer(const std::function<RuntimeObject*(const std::string&)>& answer,
                      const std::string& argument) {
  return answer ? answer(argument) : nullptr;
}

RuntimeObject* DB_CDECL TableSchema(DBHandle handle) {
  return Answer(EngineCalled(handle, "TableSchema")->schema, "");
}

RuntimeObject* DB_CDECL FieldSchema(DBHandle handle, StringRecord* table) {
  return Answer(EngineCalled(handle, "FieldSchema", Text(table))->schema, Text(table));
}

RuntimeObject* DB_CDECL SelectSQL(DBHandle handle, StringRecord* text) {
  return Answer(EngineCalled(handle, "SelectSQL", Text(text))->select, Text(text));
}

void DB_CDECL ExecuteSQL(DBHandle handle, StringRecord* text) {
  if (auto& onExecute = EngineCalled(handle, "ExecuteSQL", Text(text))->onExecute)
    onExecute(Text(text));
}

void DB_CDECL InsertRecord(DBHandle handle, StringRecord* table, DBRecordColumn* columns) {
  std::string arguments = Text(table);
  for (const DBRecordColumn* column = columns; column; column = column->next) {
    arguments += ", " + Text(column->name) + "=" + Text(column->value) + "/" +
                 std::to_string(column->type);
  }
  EngineCalled(handle, "InsertRecord", arguments);
}

RuntimeObject* DB_CDECL OpenTableCursor(DBHandle handle, StringRecord* table,
                                        DBColumnSelection* columns, void*) {
  std::string arguments = Text(table);
  for (const DBColumnSelection* column = columns; column; column = column->next)
    arguments += ", " + Text(column->name);
  return Answer(EngineCalled(handle, "OpenTableCursor", arguments)->select, Text(table));
}

void DB_CDECL UpdateFields(DBHandle handle, DBFieldChange* changes) {
  std::string arguments;
  for (const DBFieldChange* change = changes; change; change = change->next) {
    arguments += (arguments.empty() ? "" : ", ") +
                 std::string(change->locator, size_t(change->locatorLength)) + " @ " +
                 std::string(change->condition, size_t(change->conditionLength)) + " = " +
                 Text(change->value);
  }
  EngineCalled(handle, "UpdateFields", arguments);
}

int32_t DB_CDECL GetLastErrorCode(DBHandle handle) {
  return EngineCalled(handle, "GetLastErrorCode")->lastErrorCode;
}

StringRecord* DB_CDECL GetLastErrorString(DBHandle handle) {
  const std::string& text = EngineCalled(handle, "GetLastErrorString")->lastErrorText;
  return text.empty() ? nullptr : StringFromASCII(text.c_str());
}

void DB_CDECL Commit(DBHandle handle) { EngineCalled(handle, "Commit"); }

void DB_CDECL Rollback(DBHandle handle) { EngineCalled(handle, "Rollback"); }

StringRecord* DB_CDECL GetProperty(DBHandle handle, StringRecord* name) {
  EngineCalled(handle, "GetProperty", Text(name));
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

uint32_t FakeAllSlotsBut(std::initializer_list<int> missing) {
  uint32_t mask = 0x3FFFC;  // words 2 to 17
  for (int slot : missing) mask &= ~(1u << slot);
  return mask;
}

FakeCursor::FakeCursor(FakeDBEngine* owner, std::string name, std::vector<std::string> names,
                       FakeRows values, uint32_t slots)
    : engine(owner), label(std::move(name)), columns(std::move(names)), rows(std::move(values)) {
  Fill(table.words, slots,
       {{kCursorClose, Address(CursorClose)}, {kCursorColumnCount, Address(ColumnCount)},
        {kCursorColumnName, Address(ColumnName)}, {kCursorRowCount, Address(RowCount)},
        {kCursorColumnValue, Address(ColumnValue)}, {kCursorReleaseValue, Address(ReleaseValue)},
        {kCursorMoveNext, Address(MoveNext)}, {kCursorDeleteRecord, Address(DeleteRecord)},
        {kCursorGetColumnLocator, Address(GetColumnLocator)}, {kCursorUpdate, Address(Update)},
        {kCursorEdit, Address(Edit)}, {kCursorMovePrev, Address(MovePrev)},
        {kCursorMoveFirst, Address(MoveFirst)}, {kCursorMoveLast, Address(MoveLast)},
        {kCursorColumnType, Address(ColumnType)}});
  Entry<void (*)(DBCursorDefinition*)>("PluginRegisterDBCursor")(&table);
}

RuntimeObject* FakeCursor::NewSet() {
  return Entry<RuntimeObject* (*)(DBHandle, DBCursorDefinition*)>("TOVAdbCursorFromDBCursor")(
      reinterpret_cast<DBHandle>(this), &table);
}

FakeDBEngine::FakeDBEngine(uint32_t slots) {
  Fill(table.words, slots,
       {{kEngineCloseDatabase, Address(CloseDatabase)}, {kEngineTableSchema, Address(TableSchema)},
        {kEngineFieldSchema, Address(FieldSchema)}, {kEngineSelectSQL, Address(SelectSQL)},
        {kEngineExecuteSQL, Address(ExecuteSQL)}, {kEngineInsertRecord, Address(InsertRecord)},
        {kEngineOpenTableCursor, Address(OpenTableCursor)},
        {kEngineUpdateFields, Address(UpdateFields)},
        {kEngineGetLastErrorCode, Address(GetLastErrorCode)},
        {kEngineGetLastErrorString, Address(GetLastErrorString)}, {kEngineCommit, Address(Commit)},
        {kEngineRollback, Address(Rollback)}, {kEngineGetProperty, Address(GetProperty)}});
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
