// The Database class: connection on demand, the engine slots with their
// text fallbacks, errors, closing, and the ways a Database is made.
#include "database/api/Database.h"

#include <iterator>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/DBRegistry.h"
#include "database/api/DBValue.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/DatabaseRecord.h"
#include "database/api/RecordSet.h"
#include "host/ResourceManagerCommon.h"
#include "host/application.h"

namespace {

// Plug-ins see this flag in word 1 of the tables they register; the run-time
// never sets it.
constexpr uint8_t kPluginFlag = 0;

DatabaseFields* FieldsOf(RuntimeObject* database) {
  return ObjectFields<DatabaseFields>(database);
}

bool IsDatabase(RuntimeObject* object) {
  return ObjectIsADefinition(object, GetDatabaseClassDefinition());
}

void InitialiseDatabase(RuntimeObject* database) {
  DatabaseFields* self = FieldsOf(database);
  for (StringRecord** text : {&self->databaseName, &self->host, &self->password, &self->userName})
    *text = StringFromASCII("");
}

void DestroyDatabase(RuntimeObject* database) {
  databaseClose(database);
  DatabaseFields* self = FieldsOf(database);
  for (StringRecord** text : {&self->engineName, &self->errorText, &self->databaseName,
                              &self->host, &self->password, &self->userName}) {
    StringRecordRelease(std::exchange(*text, nullptr));
  }
}

// The checked Database argument, cleared of its own error, and connected:
// nil when any step fails.
DatabaseFields* ConnectedForCall(RuntimeObject* database) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return nullptr;
  DatabaseClearError(database);
  return ConnectOnDemand(database) ? self : nullptr;
}

// "insert into t(b,a) values ('O''Neil',5)": names as they are, numbers bare
// only when they read as the run-time writes numbers.
StringRecord* InsertStatement(StringRecord* table, const DBRecordColumn* columns) {
  SQLText names, values;
  for (const DBRecordColumn* column = columns; column; column = column->next) {
    const char* separator = column == columns ? "" : ",";
    names.Add(separator).Add(column->name);
    values.Add(separator);
    const bool numeric = column->type == kDBInteger || column->type == kDBDouble;
    if (numeric && IsPlainNumberText(column->value)) {
      values.Add(column->value);
    } else {
      values.AddQuoted(column->value);
    }
  }
  SQLText statement;
  statement.Add("insert into ").Add(table).Add("(").Add(names.get()).Add(") values (");
  statement.Add(values.get()).Add(")");
  return StringAddRef(statement.get());
}

// A schema listing kept by its database, so that Close closes it first.
RuntimeObject* OwnedSchema(RuntimeObject* database, RuntimeObject* result) {
  RuntimeObject* set = AsRecordSet(result);
  if (set) RecordSetSetOrigin(set, database, nullptr);
  return set;
}

void CommitOrRollback(RuntimeObject* database, DBEngineSlot slot, const char* statement) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return;
  DatabaseClearError(database);
  const EngineSlots engine = DatabaseEngine(self);
  if (engine.Has(slot)) {
    slot == kEngineCommit ? engine.Commit() : engine.Rollback();
  } else if (engine.Has(kEngineExecuteSQL)) {
    StringRef text = StringRef::Adopt(StringFromASCII(statement));
    engine.ExecuteSQL(text.get());
  }
}

ObjectDefinition* MakeDatabaseDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "Error", &kBooleanType, RUNTIME_ENTRY(databaseErrorGetter), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "ErrorCode", &kIntegerType, RUNTIME_ENTRY(databaseErrorCodeGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "ErrorMessage", &kStringType,
       RUNTIME_ENTRY(databaseErrorMessageGetter), nullptr, nullptr, 0},
      {kPropertyPassesParameter, "DatabaseName", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), uint32_t(offsetof(DatabaseFields, databaseName))},
      {kPropertyPassesParameter, "Host", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), uint32_t(offsetof(DatabaseFields, host))},
      {kPropertyPassesParameter, "Password", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), uint32_t(offsetof(DatabaseFields, password))},
      {kPropertyPassesParameter, "UserName", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), uint32_t(offsetof(DatabaseFields, userName))},
  };
  static const MemberType recordSet = GetRecordSetClassDefinition();
  static const ParameterRecord text[] = {{"text", &kStringType, 0}};
  static const ParameterRecord insert[] = {
      {"table", &kStringType, 0}, {"value", GetDatabaseRecordClassDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("SQLExecute", nullptr, text, 1, RUNTIME_ENTRY(databaseExecute)),
      MakeMethodRecord("SQLSelect", recordSet, text, 1, RUNTIME_ENTRY(databaseSelect)),
      MakeMethodRecord("InsertRecord", nullptr, insert, 2, RUNTIME_ENTRY(databaseInsertRecord)),
      MakeMethodRecord("TableSchema", recordSet, nullptr, 0, RUNTIME_ENTRY(databaseTableSchema)),
      MakeMethodRecord("FieldSchema", recordSet, text, 1, RUNTIME_ENTRY(databaseFieldSchema)),
      MakeMethodRecord("Commit", nullptr, nullptr, 0, RUNTIME_ENTRY(databaseCommit)),
      MakeMethodRecord("Rollback", nullptr, nullptr, 0, RUNTIME_ENTRY(databaseRollback)),
      MakeMethodRecord("Property", &kStringType, text, 1, RUNTIME_ENTRY(getDatabaseProperty)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(databaseClose)),
      MakeMethodRecord("Connect", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(databaseConnect)),
  };
  return FillClassDefinition(&definition, "Database", sizeof(DatabaseFields), InitialiseDatabase,
                             DestroyDatabase, properties, methods);
}

}  // namespace

ObjectDefinition* GetDatabaseClassDefinition() {
  static ObjectDefinition* const definition = MakeDatabaseDefinition();
  return definition;
}

DatabaseFields* DatabaseArgument(RuntimeObject* database) {
  return InstanceArgument<DatabaseFields>(database, GetDatabaseClassDefinition(), "Database",
                                          __LINE__, "ObjectIsADefinition(database, Database)");
}

EngineSlots DatabaseEngine(const DatabaseFields* database) {
  return database ? EngineSlots(database->definition, database->handle) : EngineSlots(nullptr, 0);
}

void DatabaseClearError(RuntimeObject* database) {
  DatabaseFields* self = FieldsOf(database);
  self->errorCode = 0;
  StringRecordRelease(std::exchange(self->errorText, nullptr));
}

RuntimeObject* NewDatabaseFromResource(const uint8_t* data, uint32_t length) {
  if (!data || length < 1 || 1u + data[0] > length) return nullptr;
  const uint32_t nameLength = data[0];
  RuntimeObject* database = CreateInstance(GetDatabaseClassDefinition());
  DatabaseFields* self = FieldsOf(database);
  self->engineName = NewString(data + 1, nameLength, kEncodingASCII);
  const uint32_t connectionLength = length - 1 - nameLength;
  if (connectionLength) {
    // Resource data lives for the whole run, so its address can be kept.
    self->connection[0] = uint32_t(reinterpret_cast<uintptr_t>(data + 1 + nameLength));
    self->connection[1] = connectionLength;
  }
  return database;
}

extern "C" {

void PluginRegisterDBEngine(DBEngineDefinition* definition) {
  if (definition) reinterpret_cast<uint8_t*>(&definition->words[1])[0] = kPluginFlag;
}

void PluginRegisterDBCursor(DBCursorDefinition* definition) {
  if (definition) definition->words[1] = kPluginFlag;
}

RuntimeObject* TOVAdbDatabaseFromDBDatabase(DBHandle handle, DBEngineDefinition* definition) {
  if (!handle || !IsUsableTable(definition ? definition->words : nullptr)) return nullptr;
  RuntimeObject* database = CreateInstance(GetDatabaseClassDefinition());
  FieldsOf(database)->handle = handle;
  FieldsOf(database)->definition = definition;
  DBShutdownContextAddDatabase(GetDBShutdownContext(), database);
  return database;
}

void TOVADatabaseSetError(RuntimeObject* database, int32_t code, const char* text) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return;
  self->errorCode = code;
  StringRecordRelease(std::exchange(self->errorText, text ? StringFromASCII(text) : nullptr));
}

RuntimeObject* OpenProjectDatabase(const StringRecord* engine, uint32_t word1, uint32_t word2) {
  StringRef builtIn = StringRef::Adopt(StringFromASCII("tovadb"));
  if (StringCompareNoCase(engine, builtIn.get()) == 0) return OpenBuiltInDatabase(word1, word2);
  return InvokeDataSource(StringCStr(engine), int32_t(word1), int32_t(word2));
}

bool ConnectOnDemand(RuntimeObject* database) {
  if (!IsDatabase(database)) return false;
  DatabaseFields* self = FieldsOf(database);
  if (self->handle) return true;
  if (!self->connection[1]) return false;
  ObjectRef opened = ObjectRef::Adopt(
      OpenProjectDatabase(self->engineName, self->connection[0], self->connection[1]));
  if (!IsDatabase(opened.get()) || !FieldsOf(opened.get())->handle) return false;
  DatabaseFields* temporary = FieldsOf(opened.get());
  self->handle = std::exchange(temporary->handle, 0);
  self->definition = std::exchange(temporary->definition, nullptr);
  DBShutdownContextAddDatabase(GetDBShutdownContext(), database);
  return true;
}

RuntimeObject* RuntimeGetDatabaseFromResource(int16_t id) {
  return ResourceManager::GetDatabase(id);
}

// ---- Errors ------------------------------------------------------------------------

int32_t databaseErrorCodeGetter(RuntimeObject* database, uint32_t) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return 0;
  return self->errorCode ? self->errorCode : DatabaseEngine(self).GetLastErrorCode();
}

bool databaseErrorGetter(RuntimeObject* database, uint32_t parameter) {
  return databaseErrorCodeGetter(database, parameter) != 0;
}

StringRecord* databaseErrorMessageGetter(RuntimeObject* database, uint32_t) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return nullptr;
  if (self->errorCode) return StringAddRef(self->errorText);
  return DatabaseEngine(self).GetLastErrorString();
}

// ---- Statements --------------------------------------------------------------------

void databaseExecute(RuntimeObject* database, StringRecord* text) {
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return;
  const EngineSlots engine = DatabaseEngine(self);
  if (engine.Has(kEngineExecuteSQL)) {
    engine.ExecuteSQL(text);
  } else {
    RunSQLExecuteHook(database, text);
  }
}

RuntimeObject* databaseSelect(RuntimeObject* database, StringRecord* text) {
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return nullptr;
  // Both held for the call: a sorted or grouped result gives the application
  // a background step per source row, in which it may drop its last
  // references to the database and the text that the result is then given.
  ObjectRef keep = ObjectRef::Retain(database);
  StringRef keepText = StringRef::Retain(text);
  const EngineSlots engine = DatabaseEngine(self);
  if (engine.Has(kEngineSelectSQL)) {
    RuntimeObject* set = AsRecordSet(engine.SelectSQL(text));
    if (set) RecordSetSetOrigin(set, database, text);
    return set;
  }
  if (!engine.Has(kEngineOpenTableCursor)) return nullptr;
  return AsRecordSet(RunSQLSelectHook(database, text));
}

void databaseInsertRecord(RuntimeObject* database, StringRecord* table, RuntimeObject* record) {
  if (!DatabaseArgument(database) || !DatabaseRecordArgument(record)) return;
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return;
  const EngineSlots engine = DatabaseEngine(self);
  DBRecordColumn* columns = DatabaseRecordColumns(record);
  if (engine.Has(kEngineInsertRecord)) {
    engine.InsertRecord(table, columns);
    return;
  }
  StringRef statement = StringRef::Adopt(InsertStatement(table, columns));
  databaseExecute(database, statement.get());
}

RuntimeObject* databaseTableSchema(RuntimeObject* database) {
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return nullptr;
  return OwnedSchema(database, DatabaseEngine(self).TableSchema());
}

RuntimeObject* databaseFieldSchema(RuntimeObject* database, StringRecord* table) {
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return nullptr;
  return OwnedSchema(database, DatabaseEngine(self).FieldSchema(table));
}

void databaseCommit(RuntimeObject* database) {
  CommitOrRollback(database, kEngineCommit, "commit");
}

void databaseRollback(RuntimeObject* database) {
  CommitOrRollback(database, kEngineRollback, "rollback");
}

StringRecord* getDatabaseProperty(RuntimeObject* database, StringRecord* name) {
  DatabaseFields* self = ConnectedForCall(database);
  if (!self) return nullptr;
  return DatabaseEngine(self).GetProperty(name);
}

// ---- Closing -----------------------------------------------------------------------

void databaseClose(RuntimeObject* database) {
  DatabaseFields* self = DatabaseArgument(database);
  if (!self) return;
  for (ObjectRef& cursor : DBOpenCursors()) {
    if (RecordSetOwner(cursor.get()) == database) cursorClose(cursor.get());
  }
  DBShutdownContextRemoveDatabase(database);
  const DBHandle handle = std::exchange(self->handle, 0);
  EngineSlots(self->definition, handle).CloseDatabase();
}

bool databaseConnect(RuntimeObject* database) {
  DatabaseArgument(database);
  return false;
}

}  // extern "C"
