// Draining a source set.
#include "database/results/BuilderSource.h"

#include "database/api/Database.h"
#include "database/results/ValueOrder.h"
#include "host/runtimemainloop.h"

BuilderSource::BuilderSource(RuntimeObject* set)
    : set_(ObjectRef::Retain(set)), database_(ObjectRef::Retain(RecordSetOwner(set))),
      fields_(ObjectFields<RecordSetFields>(set)) {}

void BuilderSource::Capture(std::string* row, int32_t columns) const {
  for (int32_t column = 0; column < columns; ++column) {
    const CursorValue value = Value(column);
    AppendRowValue(row, value.view());
  }
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
