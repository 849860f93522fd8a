// The language's RecordSet ("DatabaseCursor", whose subclass "RecordSet" is
// what the run-time makes): a forward cursor over the rows an engine serves
// through its cursor table (DBInterface.h).
//
// A set is made standing on its first row (TOVAdbCursorFromDBCursor), with
// BOF equal to EOF from then on, and is in the registry (DBRegistry.h) until
// Close, which destruction runs.
//
// A closed set (handle 0, closed by itself or by its database) calls no slot
// again: moves report end of data, getters are empty, Update and DeleteRecord
// do nothing.
//
// Edits: Edit starts editing; field setters then keep their texts as pending
// values (nil is SQL NULL) that the getters read back; Update hands them to
// the engine's Update slot or, without it, writes them through the owning
// database (UpdateFields, else UPDATE statements built from each column's
// locator). When not every pending value can be handed on, the database gets
// error 209 and nothing is written. Pending values stay until the next move
// or Close. Update at EOF calls nothing.
//
// Moving back: MovePrevious, MoveFirst and MoveLast call their slot when it
// is there and then make EOF equal to BOF (so a set that had rows stands on
// one again); without the slot nothing changes.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "database/api/DBInterface.h"

struct ObjectDefinition;
struct CursorColumnNames;

struct RecordSetFields {
  RuntimeObject header;
  DBHandle handle;       // 0 once closed
  int32_t rowCounter;    // MoveNext calls so far
  RuntimeObject* owner;  // the Database (held) or nil
  const DBCursorDefinition* definition;
  uint8_t eof;
  uint8_t bof;
  uint8_t editing;
  DBPendingValue* pending;  // owned, with their texts; newest column first
  StringRecord* sqlText;    // the SELECT that made the set, or nil
  CursorColumnNames* names;  // column names, read once; owned
};
static_assert(!kLayoutIs32Bit || (offsetof(RecordSetFields, handle) == 24 &&
                                  offsetof(RecordSetFields, owner) == 32 &&
                                  offsetof(RecordSetFields, eof) == 40 &&
                                  offsetof(RecordSetFields, bof) == 41 &&
                                  offsetof(RecordSetFields, editing) == 42 &&
                                  offsetof(RecordSetFields, pending) == 44 &&
                                  offsetof(RecordSetFields, sqlText) == 48),
              "RecordSet fields follow the header in their fixed order");

ObjectDefinition* GetDatabaseCursorClassDefinition();
ObjectDefinition* GetRecordSetClassDefinition();

// The fields of a set; nil (NilObjectException pending) for nil.
RecordSetFields* RecordSetArgument(RuntimeObject* set);
// Takes over an engine's result: the set itself, or nil (the object
// released) when it is not one.
RuntimeObject* AsRecordSet(RuntimeObject* result);
// Makes the database the set's owner (held; a previous owner is dropped)
// and keeps the SQL text (nil allowed).
void RecordSetSetOrigin(RuntimeObject* set, RuntimeObject* database, StringRecord* sqlText);
RuntimeObject* RecordSetOwner(RuntimeObject* set);  // borrowed; nil for nil
inline CursorSlots RecordSetCursor(const RecordSetFields* set) {
  return CursorSlots(set->definition, set->handle);
}

// The column's name: the engine's, or "field" and its 1-based number; nil
// for a column the set does not have (or a closed set).
StringRecord* RecordSetColumnName(RecordSetFields* set, int32_t column);
// The column's pending value, or nil when it has none.
const DBPendingValue* RecordSetPending(const RecordSetFields* set, int32_t column);
// While editing: the text replaces the column's pending value or becomes a
// new one at the head. Otherwise nothing.
void RecordSetSetPending(RecordSetFields* set, int32_t column, StringRecord* text);

extern "C" {
// A new set (the caller's) over the engine cursor, moved once onto its first
// row, BOF equal to EOF, in the registry; nil for a 0 handle or a table that
// is missing or not of version 4.
RuntimeObject* TOVAdbCursorFromDBCursor(DBHandle handle, DBCursorDefinition* definition);

// Members.
int32_t cursorFieldCount(RuntimeObject* set, uint32_t parameter);
void cursorMoveNext(RuntimeObject* set);
RuntimeObject* cursorGetField(RuntimeObject* set, StringRecord* name);
RuntimeObject* cursorGetFieldByIndex(RuntimeObject* set, int32_t index);  // 1-based
void cursorDeleteRecord(RuntimeObject* set);
void cursorEdit(RuntimeObject* set);
void cursorUpdate(RuntimeObject* set);
void cursorClose(RuntimeObject* set);
void cursorMovePrevious(RuntimeObject* set);
void cursorMoveFirst(RuntimeObject* set);
void cursorMoveLast(RuntimeObject* set);
int32_t cursorRecordCount(RuntimeObject* set);
int32_t cursorColumnType(RuntimeObject* set, int32_t column);
}
