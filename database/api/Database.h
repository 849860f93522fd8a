// The language's Database: one open database of any engine, reached through
// its engine table (DBInterface.h).
//
// A Database made from the application's resources holds an engine name and
// two words of connection data and connects on first use (ConnectOnDemand);
// one handed over by a plug-in (TOVAdbDatabaseFromDBDatabase) is connected
// from birth. Connected databases are in the registry (DBRegistry.h) until
// Close. After Close the handle is 0 and no engine slot is called again.
//
// Errors: the database's own code and text (set by TOVADatabaseSetError, by
// the SQL front-end and by result sets) win over the engine's. SQLSelect,
// SQLExecute, InsertRecord, TableSchema, FieldSchema, Commit, Rollback and
// Property clear the own error first, so a stale error never shows as the
// next call's. SQLSelect holds the database and its text until it returns:
// the application may drop its last references to them while a result is
// built.
//
// Engine slots that are missing give nil results or take text fallbacks:
// Commit and Rollback send "commit" / "rollback" through ExecuteSQL;
// InsertRecord writes an INSERT statement (numbers bare only when they are
// plain number texts, everything else quoted); SQLSelect and SQLExecute go
// to the SQL front-end's hooks (DatabaseHooks.h).
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "database/api/DBInterface.h"

struct ObjectDefinition;

struct DatabaseFields {
  RuntimeObject header;
  DBHandle handle;                       // 0: not connected (or closed)
  const DBEngineDefinition* definition;  // borrowed from the engine
  StringRecord* engineName;              // of a resource database
  uint32_t connection[2];                // handed unchanged to the opener
  int32_t errorCode;
  StringRecord* errorText;
  StringRecord* databaseName;
  StringRecord* host;
  StringRecord* password;
  StringRecord* userName;
};
static_assert(!kLayoutIs32Bit || (offsetof(DatabaseFields, handle) == 24 &&
                                  offsetof(DatabaseFields, connection) == 36 &&
                                  offsetof(DatabaseFields, errorCode) == 44 &&
                                  offsetof(DatabaseFields, userName) == 64),
              "Database fields follow the header in their fixed order");

// The run-time error set when a set cannot write every pending value.
enum : int32_t { kDBErrorNotUpdatable = 209 };

ObjectDefinition* GetDatabaseClassDefinition();
// The fields of a Database; nil (NilObjectException pending) for nil.
DatabaseFields* DatabaseArgument(RuntimeObject* database);
// The engine slots of a database (all empty for nil or a closed one).
EngineSlots DatabaseEngine(const DatabaseFields* database);
// Clears the own error code and text.
void DatabaseClearError(RuntimeObject* database);

// The 'dbse' resource factory: one byte n, n bytes of engine name, then the
// connection bytes (word 1 their address, word 2 their length; none leaves
// the database without connection data). An unconnected Database (the
// caller's), or nil when n runs past the end.
RuntimeObject* NewDatabaseFromResource(const uint8_t* data, uint32_t length);

extern "C" {
// Plug-in registration: writes the run-time's plug-in flag (always 0) into
// word 1 and keeps nothing.
void PluginRegisterDBEngine(DBEngineDefinition* definition);
void PluginRegisterDBCursor(DBCursorDefinition* definition);
// A new connected Database (the caller's) holding the handle and the table,
// in the registry; nil for a 0 handle or a table that is missing or not of
// version 4.
RuntimeObject* TOVAdbDatabaseFromDBDatabase(DBHandle handle, DBEngineDefinition* definition);
// Stores the code and a copy of the text (nil for a null pointer).
void TOVADatabaseSetError(RuntimeObject* database, int32_t code, const char* text);
// A temporary Database of the named engine: "tovadb" (any case) through the
// built-in opener, any other name through the application's data sources.
RuntimeObject* OpenProjectDatabase(const StringRecord* engine, uint32_t word1, uint32_t word2);
// True when the database is connected now: already, or by opening its
// connection data and taking over the opened database's handle and table.
bool ConnectOnDemand(RuntimeObject* database);
// The Database of the application's 'dbse' resource of that id, or nil.
RuntimeObject* RuntimeGetDatabaseFromResource(int16_t id);

// Members.
bool databaseErrorGetter(RuntimeObject* database, uint32_t parameter);
int32_t databaseErrorCodeGetter(RuntimeObject* database, uint32_t parameter);
StringRecord* databaseErrorMessageGetter(RuntimeObject* database, uint32_t parameter);
void databaseExecute(RuntimeObject* database, StringRecord* text);
RuntimeObject* databaseSelect(RuntimeObject* database, StringRecord* text);
void databaseInsertRecord(RuntimeObject* database, StringRecord* table, RuntimeObject* record);
RuntimeObject* databaseTableSchema(RuntimeObject* database);
RuntimeObject* databaseFieldSchema(RuntimeObject* database, StringRecord* table);
void databaseCommit(RuntimeObject* database);
void databaseRollback(RuntimeObject* database);
StringRecord* getDatabaseProperty(RuntimeObject* database, StringRecord* name);
// Closes the database's open sets, leaves the registry and closes the engine
// database once.
void databaseClose(RuntimeObject* database);
bool databaseConnect(RuntimeObject* database);  // always false
}
