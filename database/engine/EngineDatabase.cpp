// The engine database: the catalog read into open-table entries, trees found
// by their directory keys, errors, and the database's life.
#include "database/engine/EngineDatabase.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/string.h"
#include "database/engine/FieldValues.h"
#include "database/engine/TableCursor.h"
#include "database/storage/Key.h"

const char kDBTablesName[] = "sys$tables";
const char kDBFieldsName[] = "sys$fields";
const char kDBBlobName[] = "sys$blob";

namespace {

const uint8_t kTablesKey[] = {1};
const uint8_t kFieldsKey[] = {0, 2};

uint8_t FoldCase(uint8_t byte) { return byte >= 'a' && byte <= 'z' ? uint8_t(byte - 32) : byte; }

// A catalog field: integers of either width, texts of type 5 or 14; an
// absent field reads 0 or "". False for a field of another type.
bool CatalogInteger(const uint8_t* record, uint8_t column, int32_t* value) {
  DBFieldValue field;
  *value = 0;
  const DBFieldLookup lookup = FindField(record, column, &field);
  if (lookup == DBFieldLookup::kAbsent) return true;
  if (lookup != DBFieldLookup::kFound ||
      (field.type != kDBFieldInt16 && field.type != kDBFieldInt32))
    return false;
  *value = field.integer;
  return true;
}

bool CatalogText(const uint8_t* record, uint8_t column, std::string* text) {
  DBFieldValue field;
  text->clear();
  const DBFieldLookup lookup = FindField(record, column, &field);
  if (lookup == DBFieldLookup::kAbsent) return true;
  if (lookup != DBFieldLookup::kFound ||
      (field.type != kDBFieldText && field.type != kDBFieldBytes))
    return false;
  text->assign(reinterpret_cast<const char*>(field.bytes), field.length);
  return true;
}

// One "sys$fields" row as a column; false when it cannot describe one.
bool ReadColumn(const uint8_t* record, DBTableColumn* column) {
  int32_t number, nullable, type, position;
  if (!CatalogInteger(record, 1, &number) || !CatalogText(record, 2, &column->name) ||
      !CatalogInteger(record, 3, &nullable) || !CatalogInteger(record, 4, &type) ||
      !CatalogInteger(record, 5, &position))
    return false;
  if (number < 0 || number > 255 || !IsColumnType(type) || position < 0 || position > 256)
    return false;
  column->text = StringRef::Adopt(NewString(column->name, kEncodingASCII));
  column->number = uint8_t(number);
  column->type = uint8_t(type);
  column->nullable = nullable != 0;
  column->keyPosition = uint16_t(position);
  return true;
}

// Sorts the columns by number and derives the key; false when a number
// repeats or the key positions are not 1...k once each.
bool CompleteTable(DBTableEntry* table) {
  std::vector<DBTableColumn>& columns = table->columns;
  std::sort(columns.begin(), columns.end(),
            [](const DBTableColumn& a, const DBTableColumn& b) { return a.number < b.number; });
  std::vector<int> byPosition(columns.size() + 1, -1);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0 && columns[i].number == columns[i - 1].number) return false;
    const uint16_t position = columns[i].keyPosition;
    if (position == 0) continue;
    if (position > columns.size() || byPosition[position] >= 0) return false;
    byPosition[position] = int(i);
  }
  for (size_t position = 1; position < byPosition.size() && byPosition[position] >= 0; ++position)
    table->keyColumns.push_back(columns[size_t(byPosition[position])].number);
  for (const DBTableColumn& column : columns)
    if (column.keyPosition > table->keyColumns.size()) return false;
  table->distinctNames = true;
  for (size_t i = 0; i < columns.size() && table->distinctNames; ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameName(reinterpret_cast<const uint8_t*>(columns[j].name.data()), columns[j].name.size(),
                   reinterpret_cast<const uint8_t*>(columns[i].name.data()), columns[i].name.size()))
        table->distinctNames = false;
  return true;
}

}  // namespace

bool SameName(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength) {
  if (aLength != bLength) return false;
  for (size_t i = 0; i < aLength; ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool SameName(const std::string& a, const StringRecord* b) {
  return SameName(reinterpret_cast<const uint8_t*>(a.data()), a.size(), StringData(b),
                  StringLength(b));
}

const DBTableColumn* DBTableEntry::FindColumn(const uint8_t* name, size_t length) const {
  // Names are mostly given as the table spells them.
  for (const DBTableColumn& column : columns)
    if (column.name.size() == length && std::memcmp(column.name.data(), name, length) == 0)
      return distinctNames ? &column : FindColumnAnyCase(name, length);
  return FindColumnAnyCase(name, length);
}

const DBTableColumn* DBTableEntry::FindColumnAnyCase(const uint8_t* name, size_t length) const {
  for (const DBTableColumn& column : columns)
    if (SameName(reinterpret_cast<const uint8_t*>(column.name.data()), column.name.size(), name,
                 length))
      return &column;
  return nullptr;
}

const DBTableColumn* DBTableEntry::FindColumn(const uint8_t* name, size_t length,
                                              size_t* hint) const {
  if (distinctNames && *hint < columns.size()) {
    const DBTableColumn& guess = columns[*hint];
    const auto* guessed = reinterpret_cast<const uint8_t*>(guess.name.data());
    if (guess.name.size() == length &&
        (std::memcmp(guessed, name, length) == 0 || SameName(guessed, length, name, length)))
      return &guess;
  }
  const DBTableColumn* column = FindColumn(name, length);
  if (column) *hint = size_t(column - columns.data());
  return column;
}

const DBTableColumn* DBTableEntry::ColumnNumbered(uint8_t number) const {
  for (const DBTableColumn& column : columns)
    if (column.number == number) return &column;
  return nullptr;
}

bool NextWithPrefix(DBTreeCursor& cursor, const std::vector<uint8_t>& prefix) {
  bool has = false;
  return cursor.NextMatching() &&
         EntryKeyHasPrefix(cursor.CurrentEntry(), cursor.KeyColumns(), prefix.data(), prefix.size(),
                           &has) &&
         has;
}

bool TableIdPrefix(DBFile& file, uint32_t id, std::vector<uint8_t>* prefix) {
  const DBFieldListItem item = {0, kDBFieldInt32, 0};
  const int32_t value = int32_t(id);
  return BuildKeyFromValues(file, &item, 1, &value, prefix);
}

// ---- The database ----------------------------------------------------------------------

DBEngineDatabase::DBEngineDatabase(DBFile* file) : file_(file) {}
DBEngineDatabase::~DBEngineDatabase() { CloseFile(); }

bool DBEngineDatabase::CloseFile() {
  DetachCursors();
  spareCursors_.clear();
  keptTables_.clear();
  keptFields_.reset();
  return !file_ || CloseDatabaseFile(std::exchange(file_, nullptr));
}

void DBEngineDatabase::ClearError() {
  errorCode_ = 0;
  errorText_.clear();
  file_->ClearError();
}

bool DBEngineDatabase::Fail(int32_t code, std::string text) {
  errorCode_ = code;
  errorText_ = std::move(text);
  return false;
}

bool DBEngineDatabase::FailFromStorage(int32_t code, const char* text) {
  const DBStorageError& error = file_->LastError();
  if (error.code != kDBErrorNone) return Fail(error.code, error.text);
  if (code == 0) return FailDamaged();
  return Fail(code, text);
}

bool DBEngineDatabase::FailWith(DBErrorCode code) { return Fail(code, MakeStorageError(code).text); }

std::unique_ptr<DBTreeCursor> DBEngineDatabase::OpenTree(const std::string& treeName,
                                                         DBKeyColumns keys) {
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(*file_, nullptr, nullptr, 0, {});
  const auto* name = reinterpret_cast<const uint8_t*>(treeName.data());
  BuildDirectoryKey(name, treeName.size(), &key_);
  // The first live record from the key's place must bear the name.
  if (!directory->SeekKey(key_.data(), key_.size(), nullptr) || !directory->NextMatching()) {
    FailFromStorage();
    return nullptr;
  }
  const uint8_t* record = directory->CurrentEntry();
  if (DirectoryNameLength(record) != treeName.size() ||
      std::memcmp(DirectoryName(record), name, treeName.size()) != 0) {
    FailDamaged();
    return nullptr;
  }
  return OpenTreeCursor(*file_, std::move(directory), nullptr, 0, keys);
}

std::unique_ptr<DBTreeCursor> DBEngineDatabase::OpenTable(const DBTableEntry& table) {
  if (table.damaged) {
    FailDamaged();
    return nullptr;
  }
  for (auto kept = keptTables_.begin(); kept != keptTables_.end(); ++kept) {
    if (kept->first != table.id) continue;
    std::unique_ptr<DBTreeCursor> tree = std::move(kept->second);
    keptTables_.erase(kept);
    return tree;
  }
  return OpenTree(table.treeName, table.Keys());
}

void DBEngineDatabase::KeepTable(uint32_t id, std::unique_ptr<DBTreeCursor> tree) {
  for (const auto& kept : keptTables_)
    if (kept.first == id) return;
  keptTables_.emplace_back(id, std::move(tree));
}

void DBEngineDatabase::KeepCursor(std::unique_ptr<DBEngineCursor> cursor) {
  // Enough for the tables of a join and a statement's own cursor.
  constexpr size_t kMostSpares = 4;
  if (spareCursors_.size() < kMostSpares) spareCursors_.push_back(std::move(cursor));
}

std::unique_ptr<DBEngineCursor> DBEngineDatabase::TakeCursor() {
  if (spareCursors_.empty()) return nullptr;
  std::unique_ptr<DBEngineCursor> cursor = std::move(spareCursors_.back());
  spareCursors_.pop_back();
  return cursor;
}

std::unique_ptr<DBTreeCursor> DBEngineDatabase::OpenFieldCatalog() {
  if (keptFields_) return std::move(keptFields_);
  return OpenTree(kDBFieldsName, {kFieldsKey, 2});
}

void DBEngineDatabase::KeepFieldCatalog(std::unique_ptr<DBTreeCursor> tree) {
  if (!keptFields_) keptFields_ = std::move(tree);
}

bool DBEngineDatabase::ReadTable(DBTreeCursor& fields, uint32_t id, const std::string& name,
                                 std::shared_ptr<DBTableEntry>* entry) {
  auto table = std::make_shared<DBTableEntry>();
  table->name = name;
  table->id = id;
  table->treeName = std::to_string(id);
  std::vector<uint8_t> prefix;
  if (!TableIdPrefix(*file_, id, &prefix) || !fields.SeekKey(prefix.data(), prefix.size(), nullptr))
    return FailFromStorage();
  while (NextWithPrefix(fields, prefix)) {
    DBTableColumn column;
    if (!ReadColumn(fields.CurrentEntry(), &column)) table->damaged = true;
    table->columns.push_back(std::move(column));
  }
  if (file_->LastError().code != kDBErrorNone) return FailFromStorage();
  if (!table->damaged && !CompleteTable(table.get())) table->damaged = true;
  *entry = std::move(table);
  return true;
}

bool DBEngineDatabase::LoadTables() {
  tables_.clear();
  keptTables_.clear();
  keptFields_.reset();
  std::unique_ptr<DBTreeCursor> list = OpenTree(kDBTablesName, {kTablesKey, 1});
  std::unique_ptr<DBTreeCursor> fields = OpenTree(kDBFieldsName, {kFieldsKey, 2});
  if (!list || !fields) return false;
  while (list->NextMatching()) {
    int32_t id = 0;
    std::string name;
    const bool readable = CatalogInteger(list->CurrentEntry(), 0, &id) &&
                          CatalogText(list->CurrentEntry(), 1, &name);
    std::shared_ptr<DBTableEntry> table;
    if (!ReadTable(*fields, uint32_t(id), name, &table)) return false;
    if (!readable) table->damaged = true;
    tables_.push_back(std::move(table));
  }
  return file_->LastError().code == kDBErrorNone || FailFromStorage();
}

bool DBEngineDatabase::ReloadTable(uint32_t id, const std::string& name) {
  std::unique_ptr<DBTreeCursor> fields = OpenTree(kDBFieldsName, {kFieldsKey, 2});
  std::shared_ptr<DBTableEntry> table;
  keptTables_.clear();
  keptFields_.reset();
  if (!fields || !ReadTable(*fields, id, name, &table)) return false;
  for (DBTableRef& existing : tables_) {
    if (existing->id == id) {
      existing = std::move(table);
      return true;
    }
  }
  tables_.push_back(std::move(table));
  return true;
}

DBTableRef DBEngineDatabase::FindTable(const uint8_t* name, size_t length) const {
  for (const DBTableRef& table : tables_)
    if (SameName(reinterpret_cast<const uint8_t*>(table->name.data()), table->name.size(), name,
                 length))
      return table;
  return nullptr;
}

DBTableRef DBEngineDatabase::FindTable(const StringRecord* name) const {
  return FindTable(StringData(name), StringLength(name));
}

const DBTableEntry* DBEngineDatabase::TableNamed(const StringRecord* name) const {
  const uint8_t* bytes = StringData(name);
  const size_t length = StringLength(name);
  for (const DBTableRef& table : tables_)
    if (SameName(reinterpret_cast<const uint8_t*>(table->name.data()), table->name.size(), bytes,
                 length))
      return table.get();
  return nullptr;
}

bool DBEngineDatabase::Commit() {
  ClearError();
  return file_->CommitTransaction() || FailFromStorage();
}

bool DBEngineDatabase::Rollback() {
  ClearError();
  const bool rolledBack = (file_->RollbackTransaction() || FailFromStorage()) && LoadTables();
  for (DBEngineCursor* cursor : cursors_) cursor->RolledBack();
  return rolledBack;
}

void DBEngineDatabase::RemoveCursor(DBEngineCursor* cursor) {
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

void DBEngineDatabase::DetachCursors() {
  for (DBEngineCursor* cursor : std::exchange(cursors_, {})) cursor->Detach();
}

// ---- Making, opening and closing -----------------------------------------------------------

namespace {

// Makes the three system trees and commits; false, the file closed and the
// error in *error, when that fails.
bool MakeSystemTrees(DBFile* file, DBStorageError* error) {
  bool made = true;
  for (const char* name : {kDBTablesName, kDBFieldsName, kDBBlobName})
    made = made && CreateTableTree(*file, name);
  if (made && file->CommitTransaction()) return true;
  if (error) *error = file->LastError();
  CloseDatabaseFile(file);
  return false;
}

// Whether the directory holds no tree at all: the file of a database whose
// making was cut short, rolled back to a bare header or an empty directory.
bool HoldsNoTree(DBFile& file) {
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(file, nullptr, nullptr, 0, {});
  return !directory->NextEntry() && file.LastError().code == kDBErrorNone;
}

}  // namespace

DBEngineDatabase* CreateEngineDatabaseAt(const StringRecord* path, DBStorageAdapter& adapter,
                                         DBStorageError* error) {
  DBFile* file = CreateDatabaseFileAt(path, adapter, error);
  if (!file || !MakeSystemTrees(file, error)) return nullptr;
  return new DBEngineDatabase(file);
}

DBEngineDatabase* OpenEngineDatabaseAt(const StringRecord* path, DBStorageAdapter& adapter,
                                       DBStorageError* error) {
  DBFile* file = OpenDatabaseFileAt(path, adapter, error);
  if (!file || (HoldsNoTree(*file) && !MakeSystemTrees(file, error))) return nullptr;
  auto* database = new DBEngineDatabase(file);
  if (!database->LoadTables()) {
    if (error) *error = MakeStorageError(DBErrorCode(database->ErrorCode()));
    delete database;
    return nullptr;
  }
  return database;
}

bool CloseEngineDatabase(DBEngineDatabase* database) {
  if (!database) return true;
  const bool closed = database->CloseFile();
  delete database;
  return closed;
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
