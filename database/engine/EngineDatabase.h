// The built-in engine's database: one open DBFile, the tables its catalog
// describes, the cursors open on it, and its last error.
//
// The catalog is two tables of the file, each a tree named as the table:
//   "sys$tables"  {0: i32 table id, 1: text name}; key column 1, unique
//   "sys$fields"  {0: i32 table id, 1: i32 column number, 2: text name,
//                  3: i16 nullable flag, 4: i16 type, 5: i16 position in the
//                  primary key from 1, absent outside it}; key columns 0, 2
// A user table's tree is named by the decimal text of its id; BLOB chunks
// live in a third, keyless tree "sys$blob" (Blob.h). The three are made, in
// that order, when a database is created.
//
// Open-table entries are the catalog in memory: read at open, read again for
// one table after CreateTable or AddColumn stored its rows, and for every
// table after a rollback (so a rolled-back CREATE leaves nothing). Entries
// never change once made; a cursor keeps the one it opened with. The catalog
// is file content, so it is read as outside input: a table whose rows cannot
// describe it (a column of an unknown type or numbered above 255, a number
// twice, key positions not 1...k once each) gets a damaged entry, and every
// use of that table fails with 2011 while the others work.
//
// Errors: every operation first clears {code, text}; a failure leaves a code
// and its text, those of the storage core copied as it reports them.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "database/storage/DBFile.h"
#include "database/storage/TreeCursor.h"

class DBEngineCursor;

extern const char kDBTablesName[];  // "sys$tables"
extern const char kDBFieldsName[];  // "sys$fields"
extern const char kDBBlobName[];    // "sys$blob"

struct DBTableColumn {
  uint8_t number = 0;
  uint8_t type = 0;
  bool nullable = true;
  uint16_t keyPosition = 0;  // from 1; 0 outside the primary key
  std::string name;
  StringRef text;  // the name as a run-time string, for cursors to hand out
};

struct DBTableEntry {
  std::string name;
  uint32_t id = 0;
  std::string treeName;                // the id's decimal text
  std::vector<DBTableColumn> columns;  // by column number
  std::vector<uint8_t> keyColumns;     // column numbers in key order
  bool damaged = false;
  // No two column names are equal ignoring case (always so in a table this
  // engine made; a damaged catalog may say otherwise).
  bool distinctNames = false;

  // The column of that name, case ignored; null when none.
  const DBTableColumn* FindColumn(const uint8_t* name, size_t length) const;
  // The same, looking first at the column *hint indexes (any value), and
  // setting *hint to the index of the column found.
  const DBTableColumn* FindColumn(const uint8_t* name, size_t length, size_t* hint) const;
  const DBTableColumn* ColumnNumbered(uint8_t number) const;
  DBKeyColumns Keys() const { return {keyColumns.data(), keyColumns.size()}; }

 private:
  const DBTableColumn* FindColumnAnyCase(const uint8_t* name, size_t length) const;
};
using DBTableRef = std::shared_ptr<const DBTableEntry>;

// Names compare ignoring ASCII case, byte for byte otherwise.
bool SameName(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength);
bool SameName(const std::string& a, const StringRecord* b);

class DBEngineDatabase {
 public:
  // Takes the file.
  explicit DBEngineDatabase(DBFile* file);
  ~DBEngineDatabase();
  DBEngineDatabase(const DBEngineDatabase&) = delete;
  DBEngineDatabase& operator=(const DBEngineDatabase&) = delete;

  DBFile& File() { return *file_; }

  // ---- Errors ----------------------------------------------------------------
  // Clears the database's error and the file's.
  void ClearError();
  bool Fail(int32_t code, std::string text);
  // The file's error when it has one, else the code and text given.
  bool FailFromStorage(int32_t code = 0, const char* text = "");
  // The code with the storage core's text for it.
  bool FailWith(DBErrorCode code);
  bool FailDamaged() { return FailWith(kDBErrorDamaged); }
  int32_t ErrorCode() const { return errorCode_; }
  const std::string& ErrorText() const { return errorText_; }

  // ---- Tables ----------------------------------------------------------------
  // Every table of "sys$tables"; false (error set) when the catalog cannot be
  // walked.
  bool LoadTables();
  // Reads the table's entry again from "sys$fields" (adds it when new).
  bool ReloadTable(uint32_t id, const std::string& name);
  // The entry of that name, case ignored; null when none.
  DBTableRef FindTable(const uint8_t* name, size_t length) const;
  DBTableRef FindTable(const StringRecord* name) const;
  // The entry without a share of it: valid until the tables are read again.
  const DBTableEntry* TableNamed(const StringRecord* name) const;
  const std::vector<DBTableRef>& Tables() const { return tables_; }

  // A cursor on the named tree (found by its directory key), or null (error
  // 2011 when the tree is missing).
  std::unique_ptr<DBTreeCursor> OpenTree(const std::string& treeName, DBKeyColumns keys);
  // The cursor on the table's tree, standing anywhere (seek before use):
  // one a closed cursor left for the table, or a new one. Null with 2011
  // for a damaged entry.
  std::unique_ptr<DBTreeCursor> OpenTable(const DBTableEntry& table);
  // Keeps a table's tree cursor for the next OpenTable (one per table);
  // they are dropped whenever the tables are read again.
  void KeepTable(uint32_t id, std::unique_ptr<DBTreeCursor> tree);
  // The same for the field catalog's tree, which schema cursors read: the
  // one a closed schema cursor left, or a new one (null with the error).
  std::unique_ptr<DBTreeCursor> OpenFieldCatalog();
  void KeepFieldCatalog(std::unique_ptr<DBTreeCursor> tree);

  // Closed table cursors kept for reuse (a few, of any table); TakeCursor
  // gives null when none is kept. They are dropped when the file closes.
  void KeepCursor(std::unique_ptr<DBEngineCursor> cursor);
  std::unique_ptr<DBEngineCursor> TakeCursor();

  // ---- Transactions ----------------------------------------------------------
  bool Commit();
  // Rolls back and reads every table's entry again; a cursor standing on a
  // row it updated finds that row again.
  bool Rollback();

  // ---- Cursors ---------------------------------------------------------------
  void AddCursor(DBEngineCursor* cursor) { cursors_.push_back(cursor); }
  void RemoveCursor(DBEngineCursor* cursor);
  // Every open cursor lets go of the database (its spool replayed first).
  void DetachCursors();
  // Detaches the cursors and closes the file (which commits); false when a
  // write failed. Nothing may use the database afterwards but its deletion.
  bool CloseFile();

 private:
  bool ReadTable(DBTreeCursor& fields, uint32_t id, const std::string& name,
                 std::shared_ptr<DBTableEntry>* entry);

  DBFile* file_;
  std::vector<DBTableRef> tables_;
  // Opening a tree seeks the directory: the table cursors closed last are
  // kept, by table id.
  std::vector<std::pair<uint32_t, std::unique_ptr<DBTreeCursor>>> keptTables_;
  std::unique_ptr<DBTreeCursor> keptFields_;
  std::vector<DBEngineCursor*> cursors_;
  std::vector<std::unique_ptr<DBEngineCursor>> spareCursors_;
  int32_t errorCode_ = 0;
  std::string errorText_;
  std::vector<uint8_t> key_;  // reused
};

// After a SeekKey to the prefix: moves to the next live entry and tells
// whether its key begins with the prefix (false at the first that does not,
// at the end, and when the walk fails).
bool NextWithPrefix(DBTreeCursor& cursor, const std::vector<uint8_t>& prefix);
// The key prefix of a table id in "sys$fields".
bool TableIdPrefix(DBFile& file, uint32_t id, std::vector<uint8_t>* prefix);

// Creates (or empties) the file and makes the three system trees. Null on
// failure, the storage error in *error.
DBEngineDatabase* CreateEngineDatabaseAt(const StringRecord* path, DBStorageAdapter& adapter,
                                         DBStorageError* error = nullptr);
// Opens the file and reads its catalog. A file whose directory holds no tree
// (its making was cut short before its first commit) gets the three system
// trees first, as a new database. Null when the file does not open, those
// trees cannot be made (2009 for a read-only file), or its catalog cannot be
// walked.
DBEngineDatabase* OpenEngineDatabaseAt(const StringRecord* path, DBStorageAdapter& adapter,
                                       DBStorageError* error = nullptr);
// Detaches the cursors, commits, closes the file and deletes the database.
// False when a write failed.
bool CloseEngineDatabase(DBEngineDatabase* database);
