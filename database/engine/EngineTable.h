// The built-in engine's tables (DBInterface.h): the engine table every
// Database of this engine carries, and its two cursor tables. The slots are
// thin C-convention wrappers over the engine's operations (Catalog.h,
// TableCursor.h); every one clears the database's error first.
//
// Engine slots: 2 close (detaches the cursors, commits, closes the file), 3
// table schema, 4 field schema, 7 create table (name, column definitions,
// key positions as bytes, their count), 8 insert row, 9 open table cursor,
// 11 add column (table, one column definition), 13 and 14 the last error, 15
// commit, 16 rollback. No SQL slot: SQL goes through the front-end.
// Timestamps (type 10) are no column type of this engine: create table and
// add column refuse them with 2002.
//
// The read-write cursor table (table cursors) fills slots 2, 3, 4, 6, 7, 8,
// 9, 11, 12 and 17; the read-only one (schema listings) 2, 3, 4, 6, 7 and 8,
// so that no edit of a listing reaches the catalog.
#pragma once
#include "database/api/DBInterface.h"

class DBEngineCursor;
class DBEngineDatabase;
struct RecordSetFields;
struct RuntimeObject;

DBEngineDefinition* BuiltInEngineTable();
DBCursorDefinition* BuiltInCursorTable();
DBCursorDefinition* BuiltInSchemaCursorTable();
// The table cursor a set of this engine's read-write cursor table stands
// over (the set's); null for any other set.
DBEngineCursor* BuiltInTableCursor(const RecordSetFields* set);

// A connected Database (the caller's) that takes the engine database; nil,
// the engine database closed, when none can be made.
RuntimeObject* NewBuiltInDatabaseObject(DBEngineDatabase* database);
