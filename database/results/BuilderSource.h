// The source set of a sort, a grouping or a scrollable cursor while it is
// drained: held (with its owning database) for the whole drain, because each
// row gives the application a background step in which it may use the same
// database, even close the set or the database.
//
// Failures (a spool that cannot be made or written, a source closed
// meanwhile) are reported as error 210 "Error writing temporary data" on
// the source's owning database.
#pragma once
#include <cstdint>
#include <string>

#include "core/SmartRef.h"
#include "database/api/DBInterface.h"
#include "database/api/RecordSet.h"

enum : int32_t { kDBErrorTemporaryData = 210 };

class RowSorter;

class BuilderSource {
 public:
  // The set must be a RecordSet.
  explicit BuilderSource(RuntimeObject* set);

  RuntimeObject* set() const { return set_.get(); }
  RecordSetFields* fields() const { return fields_; }
  bool Closed() const { return fields_->handle == 0; }
  bool AtEnd() const { return Closed() || fields_->eof; }
  int32_t ColumnCount() const { return RecordSetCursor(fields_).ColumnCount(); }
  CursorValue Value(int32_t column) const { return RecordSetCursor(fields_).ColumnValue(column); }
  // Appends the first `columns` values of the current row in the row form
  // (ValueOrder.h).
  void Capture(std::string* row, int32_t columns) const;
  // Adds those values to the sorter as one row; false as RowSorter::Add.
  bool AddTo(RowSorter* sorter, int32_t columns);
  // Moves to the next row and runs one background step; false when the set
  // was closed meanwhile.
  bool Next();
  // Reports the failure on the owning database.
  void Fail() const;

 private:
  ObjectRef set_;
  ObjectRef database_;
  RecordSetFields* fields_;
  std::string row_;  // a sorted source's row, while it is added
};
