// The SQL front-end: SELECT and the statements that return no rows, for
// engines that take no SQL text themselves (the built-in one among them).
// Database.SQLSelect and Database.SQLExecute reach it through their hooks
// (DatabaseHooks.h) once they have cleared the database's error and
// connected it; a statement is answered from the engine table's slots
// (OpenTableCursor, CreateTable, AddColumn, InsertRecord, Commit, Rollback)
// and table cursors. A statement is read as its characters, whatever the
// encoding of its string (StatementText, SQLStatements.h).
//
// Every statement ends in success or with the database's error code and a
// message (SQLCondition.h lists the codes); no text makes it crash, hang or
// take more than time in proportion to its length per row it reads.
#pragma once
#include <string>

#include "database/sql/SQLStatements.h"

struct RuntimeObject;
struct StringRecord;

// Fills the database classes' select and execute hooks.
void RegisterSQLFrontEnd();

// Checks the statement against the tables' field schemas, in FROM order:
// each entry finds its table (202 for an unknown table, 205 for a bare name
// in two tables, 206 for none), stars expand to the fields in schema order,
// the WHERE's names resolve (SQLCondition.h), and ORDER BY numbers must name
// a visible column (201 "Invalid column index"); hidden items are numbered
// after the visible columns.
bool ValidateSelect(RuntimeObject* database, SQLSelectStatement* select, uint32_t encoding,
                    SQLError* error);

extern "C" {
// A RecordSet (the caller's) owned by the database and holding the text, or
// nil with the database's error set. Without ORDER BY, GROUP BY and
// aggregates it is the join cursor (SelectCursor.h); otherwise the result
// builders (ResultBuilders.h) make it.
RuntimeObject* databaseSQLSelect(RuntimeObject* database, StringRecord* sql);
// Runs one of COMMIT, ROLLBACK, CREATE TABLE, ALTER TABLE ... ADD, UPDATE,
// DELETE and INSERT; DROP gives 2007. Any other first word (CREATE INDEX
// among them) does nothing and sets no error. UPDATE and DELETE change the
// rows for which the whole WHERE holds, stopping at the first row the engine
// refuses (its error stays to be read).
void databaseSQLExecute(RuntimeObject* database, StringRecord* sql);
}
