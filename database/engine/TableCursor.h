// Table cursors: what the engine hands out for a table, a schema listing or
// a query. A cursor walks one tree, keeps the rows its condition holds for
// (Condition.h), presents a list of columns, and can delete or update the
// row it stands on.
//
// Moving: a cursor starts before its first row. When the condition's AND
// spine (the nodes reached from the root through AND alone) compares the
// first j >= 1 key columns, of types 2, 3, 5, 8 or 9, with "=" and no
// function, the cursor seeks to the key prefix of those values and stops at
// the first row without it; rows still pass the whole condition, so the rows
// are the same as a walk of the whole table gives. A value no row can equal
// gives none. At the end the tree cursor is let go (its spool replayed; a
// failure leaves its error on the database) and later moves answer false.
//
// Values (ColumnValue) are by the field's stored type: 2, 3 host-order
// integers; 6 float; 7 double; 8, 9 three big-endian words; 12 one byte; 5
// and 14 the bytes; BLOB ids (15, 16) the BLOB read whole, reported with the
// column's type (when another change replaced or deleted the row meanwhile,
// the BLOB the row now holds, none when it is gone). An absent field is type
// 0 with no bytes. What a value points at stays valid until ReleaseValue,
// the next move or a change of the row.
//
// Changes. DeleteRow deletes the row and then its BLOBs. Update takes texts
// by column index, converted as an insert converts them (nil leaves the field
// out), and changes nothing until all pass: the texts convert (2003), new
// BLOBs are written (2004), the record is under 8,175 bytes (2006), a changed
// key is held by no other live row (2005); then the row is replaced and the
// old BLOBs of the changed columns deleted. A row whose key changes moves at
// once (the new record inserted at its key's place, then the old one
// deleted), so any later insert or key change to that key meets it; the
// walk passes over the moved row when it reaches it. A failure deletes the
// BLOBs it wrote. Until the next move the cursor stands on the row as the
// update left it: values, the locator, a further update and a delete all
// meet the new record (found again by its key when first needed). A keyed
// row that another cursor replaced meanwhile is found by its key too for
// an update or a delete, which then keep that cursor's change; one deleted
// meanwhile takes neither.
//
// A cursor whose database closed (Detach), or one past its end, answers as
// at the end of data and changes nothing. Schema cursors only read.
//
// Closing (CloseEngineCursor) hands a table cursor back to its database,
// which keeps a few and arms one again for the next OpenTableCursor: its
// vectors keep their room, and it starts exactly as a new one would. Deleting
// a cursor closes it without keeping it.
//
// Portable: no <windows.h>.
#pragma once
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "database/api/DBInterface.h"
#include "database/engine/Catalog.h"
#include "database/engine/Condition.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/FieldValues.h"

class DBEngineCursor : private DBRowAccess {
 public:
  enum class Kind { kTable, kTableSchema, kFieldSchema };
  struct Column {
    StringRef name;
    uint8_t number = 0;  // in the record
    uint8_t type = 0;    // declared
  };

  DBEngineCursor(DBEngineDatabase& db, Kind kind, DBTableRef table,
                 std::unique_ptr<DBTreeCursor> tree, std::vector<Column> columns);
  // Replays the spool (its failure becomes the database's error) and leaves
  // the database.
  ~DBEngineCursor() override;
  DBEngineCursor(const DBEngineCursor&) = delete;
  DBEngineCursor& operator=(const DBEngineCursor&) = delete;
  friend DBEngineCursor* OpenTableCursor(DBEngineDatabase&, const StringRecord*,
                                         const DBColumnSelection*, const DBFilterRecord*);
  friend void CloseEngineCursor(DBEngineCursor* cursor);

  Kind kind() const { return kind_; }
  bool OnRow() const { return onRow_; }
  int32_t ColumnCount() const { return int32_t(columns_.size()); }
  // A new reference to the name; null out of range.
  StringRecord* ColumnName(int32_t index) const;
  DBConditionTree& Conditions() { return conditions_; }
  // Seeks to the prefix, or (when it is empty) plans the key-prefix seek of
  // the condition; call once before the first move. False with the error.
  bool Start(std::vector<uint8_t> prefix);
  // A table cursor stands before its first row again under a new filter,
  // as OpenTableCursor would open it on the same table and columns: its walk
  // ends (the spool replayed), the error is cleared, the condition is built
  // and resolved and the seek planned anew. False, at its end, when it
  // cannot (another kind, detached, its table's entry no longer the
  // catalog's, a filter that does not build or resolve, a failed seek);
  // opening a new cursor then gives the answer and its error.
  bool Restart(const DBFilterRecord* filter);

  bool MoveNext();
  void ColumnValue(int32_t index, const void** data, int32_t* type, int32_t* length);
  void ReleaseValue();
  // The type of the column's current value; the declared type when there is
  // no value; -1 out of range.
  int32_t ColumnType(int32_t index);
  bool DeleteRow();
  bool Update(const DBPendingValue* values);
  // The database rolled back, which may have undone the update the cursor
  // stands on: the row is found again when next read or changed.
  void RolledBack();
  // Makes the column's locator: "table!column" and the condition selecting
  // the row by its key as SQL text (empty for a table without a key); both
  // stay until the next call. False when the cursor is on no row, the index
  // is out of range or a key value has no text form.
  bool Locator(int32_t index);
  const std::string& LocatorTarget() const { return target_; }
  const std::string& LocatorCondition() const { return condition_; }
  // The database goes away: the spool is replayed and the tree let go.
  void Detach();

 private:
  // A closed table cursor, attached to nothing, for OpenTableCursor to arm.
  DBEngineCursor() : db_(nullptr), kind_(Kind::kTable) {}
  // Let go of the statement it served: nothing of it shows in the next.
  void Disarm();
  DBFieldLookup Field(const DBCondition& comparison, DBFieldValue* field) override;
  bool Blob(int32_t id, std::vector<uint8_t>* bytes) override;
  DBFieldLookup FieldOf(uint8_t column, DBFieldValue* field);
  // False for a column the current row holds no field of; a cheap test
  // before FieldOf where every column number is tried.
  bool HasField(uint8_t column) const { return tree_ && stamp_[column] == generation_; }
  // Forgets where the fields lie, then notes it for the record.
  void ForgetFields();
  bool Locate(const uint8_t* record);
  // Stands on the record an update left, at refindKey_; false, no field
  // noted, when no live row has that key any more.
  bool FindUpdatedRow();
  // Whether the row an update left, found when first read, holds the column.
  bool FoundAfterUpdate(uint8_t column);
  // A keyed row that another cursor replaced (the record under this one no
  // longer live) stays this cursor's row by its key: the live record there,
  // or null when there is none.
  const uint8_t* FollowReplacedRow(const uint8_t* record);
  // The live record an Update or DeleteRow changes: the row found again
  // after this cursor's update, or followed by its key past another
  // change; null when the row is gone.
  const uint8_t* LiveRecordToChange();
  // The BLOB field of the row as it now is: the one read from the cursor's
  // record while it is live; else (a change replaced or deleted the record
  // and may have taken its BLOBs) the column's field of the live record at
  // its key, the cursor then standing on that row. False when the row is
  // gone or holds no BLOB there.
  bool LiveBlobField(uint8_t column, DBFieldValue* field);
  void LeaveUpdatedRow();
  bool End();
  bool PlanSeek(bool* none);
  bool PlanRange(const std::vector<const DBCondition*>& bounds);
  bool PastUpperBound();
  void FieldSchemaValue(int32_t index, const void** data, int32_t* type, int32_t* length);
  bool CanReplace(const uint8_t* record, const std::vector<uint8_t>& fresh,
                  std::vector<uint8_t>* newKey);
  bool MoveRow(const std::vector<uint8_t>& fresh, const std::vector<uint8_t>& key);
  bool AppendKeyValue(uint8_t column);

  DBEngineDatabase* db_;
  Kind kind_;
  DBTableRef table_;
  std::unique_ptr<DBTreeCursor> tree_;
  std::vector<Column> columns_;
  DBConditionTree conditions_;
  std::vector<uint8_t> prefix_;  // the seek's; empty: a walk of the table
  // PlanSeek's working lists, kept for their room.
  std::vector<int32_t> spine_;
  std::vector<const DBCondition*> bounds_;
  // A walk's bounds from order comparisons of the first key column: the key
  // it starts at (empty: the first) and the value the column never passes.
  std::vector<uint8_t> from_;
  double upper_ = HUGE_VAL;
  bool onRow_ = false;

  // Where each column's field lies in the current row: offset_[c] is valid
  // when stamp_[c] is the current generation.
  uint32_t generation_ = 0;
  uint32_t stamp_[256] = {};
  uint16_t offset_[256] = {};
  uint16_t size_[256] = {};
  // Record ids of the rows this cursor moved to a new key.
  std::set<uint32_t> movedIds_;
  // After an update, until the next move: the new record's key, whether it
  // is still to be found (no field is noted meanwhile) and whether it moved,
  // in which case tree_ is a cursor standing on it and the walk's own waits
  // in walkTree_ (else the walk's cursor stands on it, as its key did not
  // change).
  bool updated_ = false;
  std::vector<uint8_t> refindKey_;
  bool refind_ = false;
  bool refindMoved_ = false;
  std::unique_ptr<DBTreeCursor> walkTree_;

  // The value handed out last.
  union {
    int16_t smallint;
    int32_t integer;
    float single;
    double real;
    uint8_t boolean;
  } value_ = {};
  DBFieldValue read_;  // the field ColumnValue and the bound check read, kept rather than made zero for each
  std::vector<uint8_t> blob_;
  std::string target_, condition_;
  DBRowValues row_;
  // Update's record and keys, kept for their room.
  DBRecordWriter writer_;
  std::vector<uint8_t> newKey_, oldKey_;
};

// A cursor over the table's rows with the columns named ("*": every column in
// column order) and the filter's condition; null with the error set: 2003
// "Unknown table <t>", "Unknown column <c>", "Invalid condition" (an operator
// or function no filter record may carry), 2011 for a damaged table.
DBEngineCursor* OpenTableCursor(DBEngineDatabase& db, const StringRecord* table,
                                const DBColumnSelection* columns, const DBFilterRecord* filter);
// Closes a cursor (null: nothing): a table cursor goes back to its database
// for reuse, any other is deleted. Errors as when deleting it.
void CloseEngineCursor(DBEngineCursor* cursor);
struct DBEngineCursorCloser {
  void operator()(DBEngineCursor* cursor) const { CloseEngineCursor(cursor); }
};
using DBEngineCursorPtr = std::unique_ptr<DBEngineCursor, DBEngineCursorCloser>;
// The tables: one column "TableName".
DBEngineCursor* OpenTableSchemaCursor(DBEngineDatabase& db);
// The table's columns: "ColumnName", "FieldType" (16-bit; 255 when none is
// stored), "IsPrimary", "NotNull" (booleans) and "Length" (32-bit, always 0).
// Null with "Unknown table <t>" when there is none.
DBEngineCursor* OpenFieldSchemaCursor(DBEngineDatabase& db, const StringRecord* table);

// For tests: the seek can be turned off (on at start), and the rows cursors
// have fetched are counted.
void SetKeyPrefixSeek(bool enabled);
uint64_t TableCursorRowsVisited();
