// The SELECT result cursor: the join over table cursors and the cursor table
// that serves it.
#include "database/sql/SelectCursor.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "database/sql/KeptTableNames.h"
#include "database/engine/EngineTable.h"
#include "database/engine/TableCursor.h"
#include "database/sql/SQLRowCheck.h"

namespace {

uint8_t Mirrored(uint8_t op) {
  switch (op) {
    case 1: return 2;
    case 2: return 1;
    case 3: return 4;
    case 4: return 3;
    default: return op;
  }
}

// upper() and lower() applied to a value that moves to the other side.
void ApplyFunction(uint8_t function, std::string* text) {
  if (function == kSQLNoFunction) return;
  for (char& c : *text) {
    if (function == kSQLUpper && c >= 'a' && c <= 'z') c = char(c - 32);
    if (function == kSQLLower && c >= 'A' && c <= 'Z') c = char(c + 32);
  }
}

// The column names of a table's cursor (opened on "*"); a statement holds
// the names it bound to for as long as it lives.
using ColumnNames = KeptTableNames::Names;
KeptTableNames keptColumns;

class SelectCursor {
 public:
  SelectCursor() : star_(StringRef::Adopt(StringFromASCII("*"))) {}
  ~SelectCursor() { CloseTables(); }
  // Stands before the first row of the statement, as a new cursor would.
  void Arm(RuntimeObject* database, SQLSelectStatement select, int32_t hidden, uint32_t encoding);
  // Closed, holding no database, set or table name; its room stays.
  void Park();

  int32_t ColumnCount() const { return int32_t(select_.entries.size()) - hidden_; }
  StringRecord* ColumnName(int32_t index) const;
  int32_t RowCount() const { return tables_[0].set ? Cursor(0).RowCount() : 0; }
  void ColumnValue(int32_t index, const void** data, int32_t* type, int32_t* length);
  void ReleaseValue();
  bool MoveNext();
  void DeleteRecord();
  bool Locator(int32_t index, const char** name, int32_t* nameLength, const char** condition,
               int32_t* conditionLength);
  void Update(const DBPendingValue* values);
  void Edit() const;
  void MovePrev();
  void MoveFirst() { Restart(); }
  void MoveLast();
  int32_t ColumnType(int32_t index) const;

 private:
  // A comparison of a table's filter whose value is an earlier table's
  // column: the record and where the value comes from.
  struct JoinValue {
    DBFilterRecord* record;
    int32_t table;
    int32_t column;
    uint8_t function;  // applied to the value: the column was on the right
  };
  struct Table {
    StringRef name;
    std::string alias;
    // Open while the join stands on a row of it; an inner table's cursor of
    // the built-in engine also while it stands at its end, to be restarted
    // for the next outer row.
    ObjectRef set;
    RecordSetFields* fields = nullptr;
    ColumnNames columns;  // of its cursor, read at the first opening
    bool bound = false;
    // The filter its cursor opens with, built at the first opening; later
    // openings put the earlier tables' current values into its join
    // comparisons. Built again when one of them has to be a filter no row
    // meets (a NULL value), as that changes its shape.
    SQLFilter filter;
    std::vector<JoinValue> joinValues;
    bool filterReusable = false;
  };

  CursorSlots Cursor(size_t table) const { return RecordSetCursor(tables_[table].fields); }
  bool Advance();
  bool Open(size_t table);
  bool Restart(size_t table, const SQLFilter& filter);
  void LetGo(size_t table);
  void Next(size_t table) { cursorMoveNext(tables_[table].set.get()); }
  bool AtEnd(size_t table) const { return tables_[table].fields->eof != 0; }
  void Close(size_t table);
  void CloseTables();
  void Bind(size_t table);
  int32_t ColumnIn(int32_t table, const std::string& name) const;
  const SQLFilter& FilterFor(size_t table);
  bool PutJoinValues(Table& entry);
  DBFilterRecord* JoinComparison(SQLFilter& filter, const SQLConditionNode& node, size_t table);
  bool CombinationHolds();
  void Restart();
  // The only table's set, or nil (error 209 set) when there are more.
  RuntimeObject* OnlyTable();
  void NotUpdatable() const;

  ObjectRef database_;
  SQLSelectStatement select_;
  int32_t hidden_;
  uint32_t encoding_;
  StringRef star_;
  std::vector<Table> tables_;
  std::vector<int32_t> entryColumns_;  // each entry's column in its table's cursor
  bool exact_ = true;  // the filters decide the WHERE alone
  SQLRowCheck check_;
  bool checkPrepared_ = false;
  std::vector<CursorSlots> rows_;  // the combination the check reads, kept for the next
  int32_t row_ = 0;
  bool finished_ = false;
  // The value read last, until it is released: through a table's slots, or
  // straight from a built-in engine's cursor.
  std::optional<CursorValue> value_;
  DBEngineCursor* engineValue_ = nullptr;
  DBColumnLocator locator_;
  std::string joinText_;  // reused for each join value
};

void SelectCursor::Arm(RuntimeObject* database, SQLSelectStatement select, int32_t hidden,
                       uint32_t encoding) {
  database_ = ObjectRef::Retain(database);
  select_ = std::move(select);
  hidden_ = hidden;
  encoding_ = encoding;
  tables_.resize(select_.tables.size());
  for (size_t i = 0; i < tables_.size(); ++i) {
    Table& table = tables_[i];
    table.name = StringRef::Adopt(NewString(select_.tables[i].name, encoding));
    table.alias = select_.tables[i].alias;
    table.set = ObjectRef();
    table.fields = nullptr;
    table.bound = false;
  }
  entryColumns_.assign(select_.entries.size(), -1);
  exact_ = true;
  for (const SQLConditionNode& node : select_.where.nodes) {
    if (node.op == 0x41 || (node.ComparesColumns() && node.columnTable == node.valueColumnTable))
      exact_ = false;
  }
  checkPrepared_ = false;
  rows_.clear();
  row_ = 0;
  finished_ = false;
  ReleaseValue();
}

void SelectCursor::Park() {
  CloseTables();
  for (Table& table : tables_) {
    table.name = StringRef();
    table.filter.Clear();
    table.joinValues.clear();
    table.filterReusable = false;
  }
  database_ = ObjectRef();
}

StringRecord* SelectCursor::ColumnName(int32_t index) const {
  if (index < 0 || index >= ColumnCount()) return nullptr;
  const SQLSelectEntry& entry = select_.entries[size_t(index)];
  const std::string name = entry.table.empty() ? entry.column : entry.table + "." + entry.column;
  return NewString(name, encoding_);
}

void SelectCursor::ReleaseValue() {
  value_.reset();
  if (engineValue_) std::exchange(engineValue_, nullptr)->ReleaseValue();
}

void SelectCursor::ColumnValue(int32_t index, const void** data, int32_t* type,
                               int32_t* length) {
  ReleaseValue();
  *data = nullptr;
  *type = kDBNull;
  *length = 0;
  if (index < 0 || size_t(index) >= select_.entries.size()) return;
  const int32_t table = select_.entries[size_t(index)].source;
  const int32_t column = entryColumns_[size_t(index)];
  if (table < 0 || column < 0 || !tables_[size_t(table)].set) return;
  // The set's class checks what it is handed, as the table's slots would.
  if (DBEngineCursor* engine = BuiltInTableCursor(tables_[size_t(table)].fields)) {
    engine->ColumnValue(column, data, type, length);
    engineValue_ = engine;
    return;
  }
  value_.emplace(Cursor(size_t(table)).ColumnValue(column));
  *data = value_->view().data;
  *type = value_->view().type;
  *length = int32_t(value_->view().length);
}

int32_t SelectCursor::ColumnType(int32_t index) const {
  if (index < 0 || size_t(index) >= select_.entries.size()) return -1;
  const int32_t table = select_.entries[size_t(index)].source;
  const int32_t column = entryColumns_[size_t(index)];
  if (table < 0 || column < 0 || !tables_[size_t(table)].set) return -1;
  return Cursor(size_t(table)).ColumnType(column);
}

// ---- The join --------------------------------------------------------------------------

bool SelectCursor::MoveNext() {
  if (finished_) return false;
  ++row_;
  if (Advance()) return true;
  finished_ = true;
  CloseTables();
  return false;
}

bool SelectCursor::Advance() {
  const size_t last = tables_.size() - 1;
  size_t level = 0;
  if (!tables_[0].set) {
    if (!Open(0)) return false;
  } else {
    level = last;
    Next(level);
  }
  for (;;) {
    if (AtEnd(level)) {
      LetGo(level);
      if (level == 0) return false;
      Next(--level);
    } else if (level < last) {
      if (!Open(++level)) return false;
    } else if (exact_ || CombinationHolds()) {
      return true;
    } else {
      Next(level);
    }
  }
}

bool SelectCursor::Open(size_t table) {
  const SQLFilter& filter = FilterFor(table);
  if (Restart(table, filter)) return true;
  Close(table);
  DBColumnSelection all{nullptr, star_.get()};
  const EngineSlots engine = DatabaseEngine(DatabaseArgument(database_.get()));
  RuntimeObject* set =
      AsRecordSet(engine.OpenTableCursor(tables_[table].name.get(), &all, filter.root()));
  if (!set) return false;
  RecordSetSetOrigin(set, database_.get(), nullptr);
  tables_[table].set = ObjectRef::Adopt(set);
  tables_[table].fields = RecordSetArgument(set);
  if (!tables_[table].bound) Bind(table);
  return true;
}

// An inner table's cursor of the built-in engine stands again under the
// filter of the next outer row instead of a new cursor being opened: it seeks
// the same rows a new one would.
bool SelectCursor::Restart(size_t table, const SQLFilter& filter) {
  DBEngineCursor* cursor = BuiltInTableCursor(tables_[table].fields);
  if (!cursor || !cursor->Restart(filter.root())) return false;
  Next(table);
  return true;
}

void SelectCursor::LetGo(size_t table) {
  if (table == 0 || !BuiltInTableCursor(tables_[table].fields)) Close(table);
}

void SelectCursor::Close(size_t table) {
  if (!tables_[table].set) return;
  ReleaseValue();
  cursorClose(tables_[table].set.get());
  tables_[table].set = ObjectRef();
  tables_[table].fields = nullptr;
}

void SelectCursor::CloseTables() {
  ReleaseValue();
  for (size_t table = tables_.size(); table-- > 0;) Close(table);
}

void SelectCursor::Bind(size_t table) {
  Table& entry = tables_[table];
  const std::string& tableName = select_.tables[table].name;
  entry.columns = keptColumns.Find(database_.get(), tableName, encoding_);
  if (!entry.columns) {
    const uint32_t catalog = DBCatalogChangeCount();
    const int32_t count = Cursor(table).ColumnCount();
    auto columns = std::make_shared<std::vector<std::string>>();
    columns->reserve(size_t(count > 0 ? count : 0));
    for (int32_t column = 0; column < count; ++column) {
      StringRef name = StringRef::Adopt(RecordSetColumnName(entry.fields, column));
      columns->push_back(StringBytes(name.get()));
    }
    entry.columns = columns;
    keptColumns.Keep(database_.get(), catalog, tableName, encoding_, entry.columns);
  }
  entry.bound = true;
  for (size_t i = 0; i < select_.entries.size(); ++i) {
    if (select_.entries[i].source == int32_t(table))
      entryColumns_[i] = ColumnIn(int32_t(table), select_.entries[i].column);
  }
}

int32_t SelectCursor::ColumnIn(int32_t table, const std::string& name) const {
  if (!tables_[size_t(table)].columns) return -1;
  const std::vector<std::string>& columns = *tables_[size_t(table)].columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (SameSQLName(columns[i], name)) return int32_t(i);
  }
  return -1;
}

const SQLFilter& SelectCursor::FilterFor(size_t table) {
  Table& entry = tables_[table];
  if (entry.filterReusable && PutJoinValues(entry)) return entry.filter;
  entry.filter.Clear();
  entry.joinValues.clear();
  entry.filterReusable = true;
  BuildFilter(
      select_.where,
      [this, table](SQLFilter& records, const SQLConditionNode& node) -> DBFilterRecord* {
        if (node.ComparesColumns()) return JoinComparison(records, node, table);
        if (node.columnTable != int32_t(table)) return nullptr;
        return records.Comparison(node.op, node.function, node.column, node.value, encoding_);
      },
      &entry.filter);
  return entry.filter;
}

// False when a value is NULL: the filter must be built again.
bool SelectCursor::PutJoinValues(Table& entry) {
  for (JoinValue& join : entry.joinValues) {
    const CursorValue value = Cursor(size_t(join.table)).ColumnValue(join.column);
    if (!JoinValueText(value.view(), &joinText_)) return false;
    ApplyFunction(join.function, &joinText_);
    // The filter owns its records' texts.
    RuntimeUnlockString(std::exchange(join.record->value, NewString(joinText_, encoding_)));
  }
  return true;
}

// A comparison between this table and an earlier one, with the earlier
// one's current value on the right.
DBFilterRecord* SelectCursor::JoinComparison(SQLFilter& filter, const SQLConditionNode& node,
                                             size_t table) {
  const int32_t self = int32_t(table);
  const bool leftHere = node.columnTable == self && node.valueColumnTable < self;
  const bool rightHere = node.valueColumnTable == self && node.columnTable < self;
  if (!leftHere && !rightHere) return nullptr;
  const int32_t other = leftHere ? node.valueColumnTable : node.columnTable;
  const std::string& here = leftHere ? node.column : node.value;
  const int32_t column = ColumnIn(other, leftHere ? node.value : node.column);
  if (column < 0) return nullptr;
  const CursorValue value = Cursor(size_t(other)).ColumnValue(column);
  std::string text;
  if (!JoinValueText(value.view(), &text)) {
    tables_[table].filterReusable = false;
    return filter.Never(here, encoding_);
  }
  const uint8_t function = leftHere ? uint8_t(kSQLNoFunction) : node.function;
  ApplyFunction(function, &text);
  DBFilterRecord* record =
      leftHere ? filter.Comparison(node.op, node.function, here, text, encoding_)
               : filter.Comparison(Mirrored(node.op), kSQLNoFunction, here, text, encoding_);
  tables_[table].joinValues.push_back({record, other, column, function});
  return record;
}

bool SelectCursor::CombinationHolds() {
  if (!checkPrepared_) {
    check_.Prepare(
        select_.where, [this](int32_t table, const std::string& name) { return ColumnIn(table, name); },
        encoding_);
    checkPrepared_ = true;
  }
  rows_.clear();
  for (size_t table = 0; table < tables_.size(); ++table) rows_.push_back(Cursor(table));
  return check_.Holds(rows_);
}

// ---- Moving back -----------------------------------------------------------------------

void SelectCursor::Restart() {
  CloseTables();
  finished_ = false;
  row_ = 0;
  MoveNext();
}

void SelectCursor::MovePrev() {
  const int32_t target = row_ > 2 ? row_ - 1 : 1;
  Restart();
  while (row_ < target && MoveNext()) {
  }
}

void SelectCursor::MoveLast() {
  while (MoveNext()) {
  }
  const int32_t count = row_ - 1;
  Restart();
  while (row_ < count && MoveNext()) {
  }
}

// ---- Changes ---------------------------------------------------------------------------

void SelectCursor::NotUpdatable() const {
  TOVADatabaseSetError(database_.get(), kDBErrorNotUpdatable, "Record set is not updatable");
}

RuntimeObject* SelectCursor::OnlyTable() {
  if (tables_.size() == 1) return tables_[0].set.get();
  NotUpdatable();
  return nullptr;
}

void SelectCursor::DeleteRecord() {
  if (RuntimeObject* set = OnlyTable()) cursorDeleteRecord(set);
}

bool SelectCursor::Locator(int32_t index, const char** name, int32_t* nameLength,
                           const char** condition, int32_t* conditionLength) {
  if (tables_.size() != 1 || !tables_[0].set || index < 0 || index >= ColumnCount()) return false;
  const int32_t column = entryColumns_[size_t(index)];
  if (column < 0 || !Cursor(0).GetColumnLocator(column, &locator_)) return false;
  *name = locator_.name.data();
  *nameLength = int32_t(locator_.name.size());
  *condition = locator_.condition.data();
  *conditionLength = int32_t(locator_.condition.size());
  return true;
}

void SelectCursor::Update(const DBPendingValue* values) {
  RuntimeObject* set = OnlyTable();
  if (!set) return;
  for (const DBPendingValue* value = values; value; value = value->next) {
    if (value->column < 0 || value->column >= ColumnCount() || entryColumns_[size_t(value->column)] < 0)
      return NotUpdatable();
  }
  // The table's set takes the changes as its own edit, oldest first.
  cursorEdit(set);
  std::vector<const DBPendingValue*> oldestFirst;
  for (const DBPendingValue* value = values; value; value = value->next) oldestFirst.push_back(value);
  for (auto value = oldestFirst.rbegin(); value != oldestFirst.rend(); ++value) {
    RecordSetSetPending(tables_[0].fields, entryColumns_[size_t((*value)->column)], (*value)->value);
  }
  cursorUpdate(set);
}

void SelectCursor::Edit() const {
  if (tables_[0].set) Cursor(0).Edit();
}

// ---- The cursor table ------------------------------------------------------------------

SelectCursor& Of(DBHandle handle) { return *reinterpret_cast<SelectCursor*>(handle); }
using BooleanResult = uint8_t;

// One closed cursor waits for the next SELECT, so that its vectors, filter
// blocks and room stay made.
SelectCursor* gWaiting = nullptr;

void DB_CDECL CloseSlot(DBHandle handle) {
  SelectCursor* cursor = &Of(handle);
  cursor->Park();
  if (gWaiting) {
    delete cursor;
  } else {
    gWaiting = cursor;
  }
}
int32_t DB_CDECL ColumnCountSlot(DBHandle handle) { return Of(handle).ColumnCount(); }
StringRecord* DB_CDECL ColumnNameSlot(DBHandle handle, int32_t index) {
  return Of(handle).ColumnName(index);
}
int32_t DB_CDECL RowCountSlot(DBHandle handle) { return Of(handle).RowCount(); }
void DB_CDECL ColumnValueSlot(DBHandle handle, int32_t index, const void** data, int32_t* type,
                              int32_t* length) {
  Of(handle).ColumnValue(index, data, type, length);
}
void DB_CDECL ReleaseValueSlot(DBHandle handle) { Of(handle).ReleaseValue(); }
BooleanResult DB_CDECL MoveNextSlot(DBHandle handle) { return Of(handle).MoveNext(); }
void DB_CDECL DeleteRecordSlot(DBHandle handle) { Of(handle).DeleteRecord(); }
BooleanResult DB_CDECL LocatorSlot(DBHandle handle, int32_t index, const char** name,
                                   int32_t* nameLength, const char** condition,
                                   int32_t* conditionLength) {
  return Of(handle).Locator(index, name, nameLength, condition, conditionLength);
}
void DB_CDECL UpdateSlot(DBHandle handle, DBPendingValue* values) { Of(handle).Update(values); }
void DB_CDECL EditSlot(DBHandle handle) { Of(handle).Edit(); }
void DB_CDECL MovePrevSlot(DBHandle handle) { Of(handle).MovePrev(); }
void DB_CDECL MoveFirstSlot(DBHandle handle) { Of(handle).MoveFirst(); }
void DB_CDECL MoveLastSlot(DBHandle handle) { Of(handle).MoveLast(); }
int32_t DB_CDECL ColumnTypeSlot(DBHandle handle, int32_t index) {
  return Of(handle).ColumnType(index);
}

template <class Function>
DBWord Slot(Function* function) {
  return reinterpret_cast<DBWord>(function);
}

DBCursorDefinition* SelectCursorTable() {
  static DBCursorDefinition table = {{
      kDBInterfaceVersion, 0, Slot(CloseSlot), Slot(ColumnCountSlot), Slot(ColumnNameSlot),
      Slot(RowCountSlot), Slot(ColumnValueSlot), Slot(ReleaseValueSlot), Slot(MoveNextSlot),
      Slot(DeleteRecordSlot), 0, Slot(LocatorSlot), Slot(UpdateSlot), Slot(EditSlot),
      Slot(MovePrevSlot), Slot(MoveFirstSlot), Slot(MoveLastSlot), Slot(ColumnTypeSlot),
  }};
  return &table;
}

}  // namespace

RuntimeObject* MakeSelectCursor(RuntimeObject* database, SQLSelectStatement select,
                                int32_t hidden, uint32_t encoding) {
  SelectCursor* cursor = std::exchange(gWaiting, nullptr);
  if (!cursor) cursor = new SelectCursor;
  cursor->Arm(database, std::move(select), hidden, encoding);
  RuntimeObject* set = TOVAdbCursorFromDBCursor(reinterpret_cast<DBHandle>(cursor), SelectCursorTable());
  if (!set) delete cursor;
  return set;
}
