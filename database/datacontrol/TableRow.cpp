#include "database/datacontrol/TableRow.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/string.h"
#include "database/api/DBValue.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/RecordSet.h"

namespace {

using Text = std::optional<std::string>;
using NamedTexts = std::vector<std::pair<StringRef, Text>>;

Text FieldText(RuntimeObject* field) {
  StringRef value = StringRef::Adopt(fieldStringValueGetter(field, 0));
  return value ? Text(StringToStdUTF8(value.get())) : std::nullopt;
}

// The set's current row: each column's name and text.
NamedTexts CurrentRow(RuntimeObject* set) {
  NamedTexts row;
  const int32_t count = cursorFieldCount(set, 0);
  for (int32_t column = 1; column <= count; ++column) {
    ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(set, column));
    if (!field) continue;
    row.emplace_back(StringRef::Adopt(cursorFieldNameGetter(field.get(), 0)),
                     FieldText(field.get()));
  }
  return row;
}

// The table's row holds the texts in every column it shares with them, and
// shares at least one.
bool Holds(RuntimeObject* rows, const NamedTexts& wanted) {
  bool shared = false;
  for (const auto& [name, text] : wanted) {
    ObjectRef field = ObjectRef::Adopt(name ? cursorGetField(rows, name.get()) : nullptr);
    if (!field) continue;
    if (FieldText(field.get()) != text) return false;
    shared = true;
  }
  return shared;
}

ObjectRef SelectAll(RuntimeObject* database, StringRecord* table) {
  SQLText sql;
  sql.Add("select * from [").Add(table).Add("]");
  return ObjectRef::Adopt(databaseSelect(database, sql.get()));
}

bool AtEnd(RuntimeObject* rows) { return RecordSetArgument(rows)->eof != 0; }

}  // namespace

bool SetWritesItsRows(RuntimeObject* set) {
  const CursorSlots slots = RecordSetCursor(RecordSetArgument(set));
  return slots.Has(kCursorUpdate) || slots.Has(kCursorGetColumnLocator);
}

bool SetDeletesItsRows(RuntimeObject* set) {
  return RecordSetCursor(RecordSetArgument(set)).Has(kCursorDeleteRecord);
}

ObjectRef OpenTableRowOf(RuntimeObject* database, StringRecord* table, RuntimeObject* set) {
  if (!database || !table || !set || AtEnd(set)) return ObjectRef();
  const NamedTexts wanted = CurrentRow(set);
  // First the one match and its place; a forward set cannot stand on a row
  // while looking past it for a second.
  int32_t place = -1;
  {
    ObjectRef rows = SelectAll(database, table);
    for (int32_t row = 0; rows && !AtEnd(rows.get()); ++row, cursorMoveNext(rows.get())) {
      if (!Holds(rows.get(), wanted)) continue;
      if (place >= 0) {
        place = -1;
        break;
      }
      place = row;
    }
    if (rows) cursorClose(rows.get());
  }
  if (place < 0) return ObjectRef();
  ObjectRef rows = SelectAll(database, table);
  for (int32_t row = 0; rows && row < place && !AtEnd(rows.get()); ++row) {
    cursorMoveNext(rows.get());
  }
  // The table changed between the two runs: nothing is written.
  if (rows && (AtEnd(rows.get()) || !Holds(rows.get(), wanted))) {
    cursorClose(rows.get());
    return ObjectRef();
  }
  return rows;
}
