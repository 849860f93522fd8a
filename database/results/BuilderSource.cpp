// Draining a source set.
#include "database/results/BuilderSource.h"

#include <algorithm>

#include "database/api/Database.h"
#include "database/results/RowSort.h"
#include "database/results/SpooledResult.h"
#include "database/results/ValueOrder.h"
#include "host/runtimemainloop.h"

BuilderSource::BuilderSource(RuntimeObject* set)
    : set_(ObjectRef::Retain(set)), database_(ObjectRef::Retain(RecordSetOwner(set))),
      fields_(ObjectFields<RecordSetFields>(set)) {}

void BuilderSource::Capture(std::string* row, int32_t columns) const {
  int32_t column = 0;
  // A sorted source already holds its row in the row form: its shown values
  // are taken as they lie.
  int32_t shown = 0;
  if (const SpooledRow* spooled = SpooledResultRow(fields_, &shown)) {
    column = std::max(0, std::min({columns, shown, spooled->ColumnCount()}));
    row->append(spooled->Bytes(), 0, spooled->PrefixLength(column));
    for (; column < columns; ++column) AppendRowValue(row, {});
    return;
  }
  for (; column < columns; ++column) {
    const CursorValue value = Value(column);
    AppendRowValue(row, value.view());
  }
}

bool BuilderSource::AddTo(RowSorter* sorter, int32_t columns) {
  int32_t shown = 0;
  if (SpooledResultRow(fields_, &shown)) {
    row_.clear();
    Capture(&row_, columns);
    return sorter->Add(row_);
  }
  // Each value is copied before the next is read: the source keeps one.
  const CursorSlots cursor = RecordSetCursor(fields_);
  sorter->StartRow();
  for (int32_t column = 0; column < columns; ++column) sorter->AddValue(cursor.ColumnValue(column).view());
  return sorter->EndRow();
}

bool BuilderSource::Next() {
  cursorMoveNext(set_.get());
  RuntimeBackgroundTask();
  return !Closed();
}

void BuilderSource::Fail() const {
  if (database_) TOVADatabaseSetError(database_.get(), kDBErrorTemporaryData,
                                      "Error writing temporary data");
}
