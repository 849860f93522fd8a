// The table layer: making tables and columns in the catalog, and inserting
// rows from value texts (EngineDatabase.h describes the catalog, FieldValues.h
// the value texts).
//
// Every operation checks all it can before it writes anything, so a refused
// one leaves the file as it was. Failures (code, text; names as given):
//   CreateTable  2000 "Unable to create <t> because it already exists"
//                2002 "Unable to create <t> because an unsupported column
//                     type was used" (type 10, timestamp, among them)
//                2002 "Unable to create <t> because it has too many columns"
//                     (over 256)
//                2005 "Insert failed: primary key violation" (two names
//                     equal ignoring case)
//                2001 "Unable to create <t> due to an internal error" (a key
//                     position naming no column, or one twice)
//                2006 a name too long to be a catalog key
//   AddColumn    2003 "Unable to add column <c> because table '<t>' doesn't
//                     exist"
//                2002 "Unable to add <c> because an unsupported  type was
//                     used" (two blanks)
//                2005 a name the table has, in any case
//                2002 "Unable to add <c> because table '<t>' has too many
//                     columns" (numbers 0...255 all used)
//   InsertRow    2003 "Unknown table <t>", "Unknown column <c>", "NotNull
//                     column violation" (a NOT NULL column without a value or
//                     given nil), "Invalid integer value", "Invalid date
//                     format", "Invalid time format"
//                2004 "Error writing BLOB"
//                2005, 2006 as the storage core refuses the record
// and a damaged table 2011; storage failures as the core reports them.
//
// A nil value text is SQL NULL: the field is left out of the row. A failed
// insert deletes the BLOBs it wrote.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <vector>

#include "database/api/DBInterface.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/FieldValues.h"

bool CreateTable(DBEngineDatabase& db, const StringRecord* name, const DBColumnDefinition* columns,
                 const uint8_t* keyPositions, int32_t keyCount);
bool AddColumn(DBEngineDatabase& db, const StringRecord* table, const DBColumnDefinition* column);
bool InsertRow(DBEngineDatabase& db, const StringRecord* table, const DBRecordColumn* values);

// The new fields of one row of a table, for an insert or an update: texts
// converted by their column's type, BLOBs written, all before the row is.
class DBRowValues {
 public:
  DBRowValues();
  void Reset();
  // The column's new value: a text, or nil for none. False with the error
  // set when it does not convert or the column is NOT NULL.
  bool Set(DBEngineDatabase& db, const DBTableColumn& column, const StringRecord* text);
  bool Has(uint8_t column) const { return index_[column] >= 0; }
  const DBFieldInput& Field(uint8_t column) const { return items_[size_t(index_[column])].field; }
  // Writes the BLOBs of the values set; false with 2004, none kept.
  bool WriteBlobs(DBEngineDatabase& db);
  // Deletes the BLOBs written, after a later step failed; the error stays.
  void DeleteBlobs(DBEngineDatabase& db);

 private:
  struct Item {
    uint8_t column;
    DBFieldInput field;
    bool blobWritten;
  };
  std::vector<Item> items_;
  int16_t index_[256];
};
