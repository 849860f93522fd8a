// The selection of a list pane: the row count and the selected rows as a
// singly linked list of row ranges, with the edits of single rows, of spans
// of rows, and the range updates that insertions and removals of rows make.
//
// Invariants. Rows are counted from 0. A row is selected when some range has
// first <= row < first + count; no row lies in two ranges; every range holds
// at least one row (one that falls to 0 is unlinked and freed at once).
// Ranges are neither sorted nor merged: a new single-row range is pushed at
// the head, and extending a range at either end never joins it to its
// neighbour, so which of two neighbours grows depends on list order, and
// every query scans the whole list. Contiguous selections stay one range, so
// the list is short in practice.
//
// Nodes come from the run-time's allocator and belong to the selection.
// This unit is plain code (no Windows header); it runs without a window.
#pragma once
#include <cstdint>

struct RowRange {
  RowRange* next;
  int32_t first;
  int32_t count;
};

// The rows a span edit changed: first and last row, both -1 when none.
struct ChangedRows {
  int32_t first = -1;
  int32_t last = -1;
};

class RowSelection {
 public:
  RowSelection() = default;
  ~RowSelection() { Clear(); }
  RowSelection(const RowSelection&) = delete;
  RowSelection& operator=(const RowSelection&) = delete;

  // ---- Queries ----
  int32_t RowCount() const { return rowCount_; }
  bool IsValidRow(int32_t row) const { return row >= 0 && row < rowCount_; }
  // The ranges in list order (borrowed).
  const RowRange* Head() const { return head_; }
  bool IsEmpty() const { return head_ == nullptr; }
  bool IsRowSelected(int32_t row) const;
  int32_t SelectedRowCount() const;
  // -1 when nothing is selected.
  int32_t FirstSelectedRow() const;
  int32_t LastSelectedRow() const;

  // ---- Edits ----
  // A row outside 0..count-1 is ignored. True when the row changed.
  bool SetRowSelected(int32_t row, bool selected);
  // Unlinks the head range into *taken; false when the list is empty.
  bool TakeHead(int32_t* first, int32_t* count);
  void Clear();
  // Nothing but the row (nothing when it is no row).
  void SelectOnlyRow(int32_t row);
  // The rows an extending selection from a to b adds: min..max when both
  // are rows, else the one that is; false when neither is.
  bool SpanToSelect(int32_t a, int32_t b, int32_t* low, int32_t* high) const;
  // Selects every row of the span (SpanToSelect) with the ranges that
  // selecting them one by one upwards gives, in time linear in the gaps
  // times the ranges rather than in the rows.
  ChangedRows SelectRowRange(int32_t a, int32_t b);

  // ---- Rows inserted and removed ----
  // Rows at..at+count-1 are new: ranges are split or moved down. An `at`
  // outside 0..count or a count of 0 or less changes nothing; the count is
  // held so that the row count stays in 32 bits. Gives the count taken.
  int32_t RowsInserted(int32_t at, int32_t count);
  // Whether a range holds a row of at..at+count-1.
  bool AnySelectedIn(int32_t at, int32_t count) const;
  // Rows at..at+count-1 are gone: ranges are cut, split at the block's end
  // or moved up. An `at` outside the rows or a count of 0 or less changes
  // nothing; the count is held to the rows there are. Gives the count taken.
  int32_t RowsRemoved(int32_t at, int32_t count);

 private:
  static int32_t End(const RowRange* range) { return range->first + range->count; }
  static RowRange* NewRange(int32_t first, int32_t count, RowRange* next);
  // An unselected row joins the first range it touches, or a new head range;
  // gives the range that took it.
  RowRange* AddRow(int32_t row);
  void RemoveRow(int32_t row);
  // Frees the ranges left with no rows.
  void DropEmptyRanges();

  RowRange* head_ = nullptr;
  int32_t rowCount_ = 0;
};
