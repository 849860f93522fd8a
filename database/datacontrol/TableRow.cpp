#include "database/datacontrol/TableRow.h"

#include <string>

#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "database/engine/Condition.h"
#include "database/sql/SQLCondition.h"
#include "database/sql/SQLRowCheck.h"

namespace {

bool AtEnd(RuntimeObject* rows) { return RecordSetArgument(rows)->eof != 0; }

// The table's spelling of the column's name; nil when the table lacks it.
StringRecord* TableColumn(const std::vector<StringRef>& tableColumns, StringRecord* name) {
  for (const StringRef& column : tableColumns) {
    if (name && column && StringCompareNoCase(column.get(), name) == 0) return column.get();
  }
  return nullptr;
}

// The filter of the rows that hold the set's current values in every column
// the table shares with it; false when it shares none.
bool FilterOfCurrentRow(RuntimeObject* set, const std::vector<StringRef>& tableColumns,
                        SQLFilter* filter) {
  RecordSetFields* fields = RecordSetArgument(set);
  const CursorSlots slots = RecordSetCursor(fields);
  DBFilterRecord* all = nullptr;
  std::string text;
  for (int32_t column = 0, count = slots.ColumnCount(); column < count; ++column) {
    StringRef name = StringRef::Adopt(RecordSetColumnName(fields, column));
    StringRecord* shared = TableColumn(tableColumns, name.get());
    if (!shared) continue;
    const bool null = !JoinValueText(slots.ColumnValue(column).view(), &text);
    DBFilterRecord* test = filter->Comparison(null ? kDBOpIsNull : kDBOpEqual, kSQLNoFunction,
                                              StringBytes(shared), null ? std::string() : text,
                                              StringEncoding(shared));
    all = all ? filter->Junction(kDBOpAnd, all, test) : test;
  }
  filter->SetRoot(all);
  return all != nullptr;
}

}  // namespace

bool SetWritesItsRows(RuntimeObject* set) {
  const CursorSlots slots = RecordSetCursor(RecordSetArgument(set));
  return slots.Has(kCursorUpdate) || slots.Has(kCursorGetColumnLocator);
}

bool SetDeletesItsRows(RuntimeObject* set) {
  return RecordSetCursor(RecordSetArgument(set)).Has(kCursorDeleteRecord);
}

ObjectRef OpenTableRowOf(RuntimeObject* database, StringRecord* table,
                         const std::vector<StringRef>& tableColumns, RuntimeObject* set) {
  SQLFilter filter;
  if (!database || !table || !set || AtEnd(set)) return ObjectRef();
  if (!FilterOfCurrentRow(set, tableColumns, &filter)) return ObjectRef();
  const EngineSlots engine = DatabaseEngine(DatabaseArgument(database));
  StringRef star = StringRef::Adopt(StringFromASCII("*"));
  DBColumnSelection all{nullptr, star.get()};
  // Each stands on the first match once opened.
  const auto open = [&] {
    ObjectRef rows =
        ObjectRef::Adopt(AsRecordSet(engine.OpenTableCursor(table, &all, filter.root())));
    if (rows) RecordSetSetOrigin(rows.get(), database, nullptr);
    return rows;
  };
  ObjectRef row = open();
  ObjectRef beyond = row && !AtEnd(row.get()) ? open() : ObjectRef();
  if (beyond) {
    cursorMoveNext(beyond.get());
    const bool another = !AtEnd(beyond.get());
    cursorClose(beyond.get());
    if (!another) return row;
  }
  if (row) cursorClose(row.get());
  return ObjectRef();
}
