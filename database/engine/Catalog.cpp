// Tables, columns and rows: every check first, then the writes.
#include "database/engine/Catalog.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/string.h"
#include "database/engine/Blob.h"
#include "database/storage/PageFormat.h"

namespace {

const uint8_t kTablesKey[] = {1};
const uint8_t kFieldsKey[] = {0, 2};
// The longest names whose catalog keys stay within kDBMaxKeyLength:
// {01, name, 00} and {01, id, 01, name, 00}.
constexpr size_t kMaxTableName = kDBMaxKeyLength - 2;
constexpr size_t kMaxColumnName = kDBMaxKeyLength - 7;
constexpr size_t kMaxColumns = 256;

std::string Text(const StringRecord* text) { return StringBytes(text); }

DBFieldInput IntegerField(uint8_t type, int32_t value) {
  DBFieldInput field;
  field.type = type;
  if (type == kDBFieldInt16) {
    field.smallint = int16_t(value);
  } else {
    field.integer = value;
  }
  return field;
}

DBFieldInput TextField(const StringRecord* text) {
  DBFieldInput field;
  field.type = kDBFieldText;
  field.text = text;
  return field;
}

// Inserts the record the writer holds into the tree; the storage error
// copied on failure.
bool InsertWritten(DBEngineDatabase& db, DBTreeCursor& tree, DBRecordWriter& writer, bool unique) {
  std::vector<uint8_t>& record = writer.Finish();
  return tree.InsertRecord(record.data(), record.size(), unique, true) || db.FailFromStorage();
}

// One "sys$fields" row.
bool InsertColumnRow(DBEngineDatabase& db, DBTreeCursor& fields, uint32_t table,
                     const DBColumnDefinition& column, uint8_t number, uint16_t keyPosition) {
  DBRecordWriter writer;
  writer.Begin();
  writer.AddField(0, IntegerField(kDBFieldInt32, int32_t(table)));
  writer.AddField(1, IntegerField(kDBFieldInt32, number));
  writer.AddField(2, TextField(column.name));
  writer.AddField(3, IntegerField(kDBFieldInt16, column.nullable != 0));
  writer.AddField(4, IntegerField(kDBFieldInt16, column.type));
  if (keyPosition) writer.AddField(5, IntegerField(kDBFieldInt16, keyPosition));
  return InsertWritten(db, fields, writer, true);
}

// The positions in the key of each column (0 outside it); false when a
// position names no column or one twice.
bool KeyPositions(const uint8_t* keys, int32_t keyCount, size_t columns,
                  std::vector<uint16_t>* positions) {
  positions->assign(columns, 0);
  for (int32_t i = 0; i < keyCount; ++i) {
    if (keys[i] >= columns || (*positions)[keys[i]] != 0) return false;
    (*positions)[keys[i]] = uint16_t(i + 1);
  }
  return true;
}

}  // namespace

bool CreateTable(DBEngineDatabase& db, const StringRecord* name, const DBColumnDefinition* columns,
                 const uint8_t* keyPositions, int32_t keyCount) {
  db.ClearError();
  const std::string prefix = "Unable to create " + Text(name);
  if (db.FindTable(name)) return db.Fail(2000, prefix + " because it already exists");
  std::vector<const DBColumnDefinition*> list;
  for (const DBColumnDefinition* column = columns; column; column = column->next) {
    if (!IsColumnType(column->type))
      return db.Fail(2002, prefix + " because an unsupported column type was used");
    list.push_back(column);
  }
  if (list.size() > kMaxColumns) return db.Fail(2002, prefix + " because it has too many columns");
  for (size_t i = 0; i < list.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      if (SameName(Text(list[j]->name), list[i]->name)) return db.FailWith(kDBErrorDuplicateKey);
  }
  std::vector<uint16_t> positions;
  if (keyCount < 0 || (keyCount > 0 && !keyPositions) ||
      !KeyPositions(keyPositions, keyCount, list.size(), &positions))
    return db.Fail(2001, prefix + " due to an internal error");
  if (StringLength(name) > kMaxTableName) return db.FailWith(kDBErrorTooLong);
  for (const DBColumnDefinition* column : list)
    if (StringLength(column->name) > kMaxColumnName) return db.FailWith(kDBErrorTooLong);

  DBFile& file = db.File();
  const uint32_t id = file.NextRecordId();
  if (!CreateTableTree(file, std::to_string(id).c_str()))
    return db.FailFromStorage(2001, (prefix + " due to an internal error").c_str());
  std::unique_ptr<DBTreeCursor> tables = db.OpenTree(kDBTablesName, {kTablesKey, 1});
  std::unique_ptr<DBTreeCursor> fields = db.OpenTree(kDBFieldsName, {kFieldsKey, 2});
  if (!tables || !fields) return false;
  DBRecordWriter writer;
  writer.Begin();
  writer.AddField(0, IntegerField(kDBFieldInt32, int32_t(id)));
  writer.AddField(1, TextField(name));
  if (!InsertWritten(db, *tables, writer, true)) return false;
  for (size_t i = 0; i < list.size(); ++i)
    if (!InsertColumnRow(db, *fields, id, *list[i], uint8_t(i), positions[i])) return false;
  return db.ReloadTable(id, Text(name));
}

bool AddColumn(DBEngineDatabase& db, const StringRecord* tableName,
               const DBColumnDefinition* column) {
  db.ClearError();
  if (!column) return db.Fail(2002, "Unable to add column because none was given");
  const std::string name = Text(column->name);
  const DBTableRef table = db.FindTable(tableName);
  if (!table) {
    return db.Fail(2003, "Unable to add column " + name + " because table '" + Text(tableName) +
                             "' doesn't exist");
  }
  if (table->damaged) return db.FailDamaged();
  if (!IsColumnType(column->type))
    return db.Fail(2002, "Unable to add " + name + " because an unsupported  type was used");
  if (table->FindColumn(StringData(column->name), StringLength(column->name)))
    return db.FailWith(kDBErrorDuplicateKey);
  uint32_t number = 0;
  while (number < kMaxColumns && table->ColumnNumbered(uint8_t(number))) ++number;
  if (number == kMaxColumns) {
    return db.Fail(2002, "Unable to add " + name + " because table '" + Text(tableName) +
                             "' has too many columns");
  }
  if (name.size() > kMaxColumnName) return db.FailWith(kDBErrorTooLong);
  std::unique_ptr<DBTreeCursor> fields = db.OpenTree(kDBFieldsName, {kFieldsKey, 2});
  return fields && InsertColumnRow(db, *fields, table->id, *column, uint8_t(number), 0) &&
         db.ReloadTable(table->id, table->name);
}

bool InsertRow(DBEngineDatabase& db, const StringRecord* tableName, const DBRecordColumn* values) {
  db.ClearError();
  // The entry stays as it is while the row is made: nothing here reads the
  // catalog again.
  const DBTableEntry* table = db.TableNamed(tableName);
  if (!table) return db.Fail(2003, "Unknown table " + Text(tableName));
  if (table->damaged) return db.FailDamaged();
  // Buffers kept from row to row: one thread uses the engine. A caller
  // gives its columns in the same order row after row, so each value's
  // column is looked for first where the last row's was found.
  static std::vector<std::pair<const DBTableColumn*, const StringRecord*>> given;
  static std::vector<size_t> hints;
  static DBRowValues row;
  static DBRecordWriter writer;
  // The columns given a value text in this row: stamped with its number.
  static uint32_t withText[256];
  static uint32_t stamp = 0;
  if (++stamp == 0) {
    std::fill(std::begin(withText), std::end(withText), 0);
    stamp = 1;
  }
  given.clear();
  // Names first, then NOT NULL, then the texts.
  for (const DBRecordColumn* value = values; value; value = value->next) {
    if (hints.size() <= given.size()) hints.push_back(0);
    const DBTableColumn* column =
        table->FindColumn(StringData(value->name), StringLength(value->name), &hints[given.size()]);
    if (!column) return db.Fail(2003, "Unknown column " + Text(value->name));
    if (value->value) withText[column->number] = stamp;
    given.emplace_back(column, value->value);
  }
  for (const DBTableColumn& column : table->columns)
    if (!column.nullable && withText[column.number] != stamp)
      return db.Fail(2003, "NotNull column violation");
  row.Reset();
  for (const auto& [column, text] : given)
    if (!row.Has(column->number) && !row.Set(db, *column, text)) return false;
  if (!row.WriteBlobs(db)) return false;
  writer.Begin();
  for (const DBTableColumn& column : table->columns)
    if (row.Has(column.number)) writer.AddField(column.number, row.Field(column.number));
  std::unique_ptr<DBTreeCursor> tree = db.OpenTable(*table);
  if (tree && InsertWritten(db, *tree, writer, !table->keyColumns.empty())) {
    db.KeepTable(table->id, std::move(tree));
    return true;
  }
  row.DeleteBlobs(db);
  return false;
}

// ---- Row values --------------------------------------------------------------------------

DBRowValues::DBRowValues() { std::fill(std::begin(index_), std::end(index_), int16_t(-1)); }

void DBRowValues::Reset() {
  for (const Item& item : items_) index_[item.column] = -1;
  items_.clear();
}

bool DBRowValues::Set(DBEngineDatabase& db, const DBTableColumn& column, const StringRecord* text) {
  if (!text && !column.nullable) return db.Fail(2003, "NotNull column violation");
  Item item{column.number, DBFieldInput(), false};
  if (text) {
    const DBValueTextError error = ConvertValueText(column.type, text, &item.field);
    if (error != DBValueTextError::kNone) return db.Fail(2003, ValueTextErrorText(error));
  }
  index_[column.number] = int16_t(items_.size());
  items_.push_back(item);
  return true;
}

bool DBRowValues::WriteBlobs(DBEngineDatabase& db) {
  for (Item& item : items_) {
    if (item.field.type != kDBFieldBlobId && item.field.type != kDBFieldBlobId2) continue;
    int32_t id = 0;
    if (!WriteBlob(db, StringData(item.field.text), StringLength(item.field.text), &id)) {
      DeleteBlobs(db);
      return db.Fail(2004, "Error writing BLOB");
    }
    item.field.integer = id;
    item.blobWritten = true;
  }
  return true;
}

void DBRowValues::DeleteBlobs(DBEngineDatabase& db) {
  const int32_t code = db.ErrorCode();
  const std::string text = db.ErrorText();
  for (Item& item : items_) {
    if (item.blobWritten) DeleteBlob(db, item.field.integer);
    item.blobWritten = false;
  }
  db.Fail(code, text);
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
