// The selection's range list: a scan per query, edits in place.
#include "controls/listbox/RowSelection.h"

#include <algorithm>
#include <climits>

#include "core/utility.h"

// ---- Queries ----

bool RowSelection::IsRowSelected(int32_t row) const {
  for (const RowRange* range = head_; range; range = range->next) {
    if (row >= range->first && row < End(range)) return true;
  }
  return false;
}

int32_t RowSelection::SelectedRowCount() const {
  int32_t total = 0;
  for (const RowRange* range = head_; range; range = range->next) total += range->count;
  return total;
}

int32_t RowSelection::FirstSelectedRow() const {
  int32_t first = -1;
  for (const RowRange* range = head_; range; range = range->next) {
    if (first < 0 || range->first < first) first = range->first;
  }
  return first;
}

int32_t RowSelection::LastSelectedRow() const {
  int32_t last = -1;
  for (const RowRange* range = head_; range; range = range->next) {
    last = std::max(last, End(range) - 1);
  }
  return last;
}

// ---- Edits ----

RowRange* RowSelection::NewRange(int32_t first, int32_t count, RowRange* next) {
  auto* range = static_cast<RowRange*>(RuntimeAlloc(sizeof(RowRange)));
  *range = RowRange{next, first, count};
  return range;
}

RowRange* RowSelection::AddRow(int32_t row) {
  for (RowRange* range = head_; range; range = range->next) {
    if (row == range->first - 1) {
      --range->first;
      ++range->count;
      return range;
    }
    if (row == End(range)) {
      ++range->count;
      return range;
    }
  }
  return head_ = NewRange(row, 1, head_);
}

void RowSelection::RemoveRow(int32_t row) {
  for (RowRange* range = head_; range; range = range->next) {
    if (row < range->first || row >= End(range)) continue;
    if (row == range->first) {
      ++range->first;
      --range->count;
    } else if (row == End(range) - 1) {
      --range->count;
    } else {
      range->next = NewRange(row + 1, End(range) - row - 1, range->next);
      range->count = row - range->first;
    }
    if (range->count == 0) DropEmptyRanges();
    return;
  }
}

void RowSelection::DropEmptyRanges() {
  RowRange** link = &head_;
  while (RowRange* range = *link) {
    if (range->count > 0) {
      link = &range->next;
    } else {
      *link = range->next;
      RuntimeFree(range);
    }
  }
}

bool RowSelection::SetRowSelected(int32_t row, bool selected) {
  if (!IsValidRow(row) || IsRowSelected(row) == selected) return false;
  if (selected) {
    AddRow(row);
  } else {
    RemoveRow(row);
  }
  return true;
}

bool RowSelection::TakeHead(int32_t* first, int32_t* count) {
  RowRange* range = head_;
  if (!range) return false;
  head_ = range->next;
  *first = range->first;
  *count = range->count;
  RuntimeFree(range);
  return true;
}

void RowSelection::Clear() {
  int32_t first, count;
  while (TakeHead(&first, &count)) {
  }
}

void RowSelection::SelectOnlyRow(int32_t row) {
  Clear();
  SetRowSelected(row, true);
}

bool RowSelection::SpanToSelect(int32_t a, int32_t b, int32_t* low, int32_t* high) const {
  const bool aValid = IsValidRow(a), bValid = IsValidRow(b);
  if (!aValid && !bValid) return false;
  *low = aValid && bValid ? std::min(a, b) : aValid ? a : b;
  *high = aValid && bValid ? std::max(a, b) : *low;
  return true;
}

// Selecting row by row upwards, an unselected row joins the first range in
// the list that ends just above it or starts just below it. Inside a gap of
// unselected rows only the range that took the gap's first row ends above
// the next one and no range starts below it, until the gap's last row, where
// the range after the gap competes again. So each gap costs two scans.
ChangedRows RowSelection::SelectRowRange(int32_t a, int32_t b) {
  ChangedRows changed;
  int32_t row, high;
  if (!SpanToSelect(a, b, &row, &high)) return changed;
  while (row <= high) {
    const RowRange* holder = nullptr;
    int32_t nextSelected = INT32_MAX;  // the first selected row below `row`
    for (const RowRange* range = head_; range; range = range->next) {
      if (row >= range->first && row < End(range)) holder = range;
      if (range->first > row) nextSelected = std::min(nextSelected, range->first);
    }
    if (holder) {
      row = End(holder);
      continue;
    }
    const int32_t gapEnd = std::min(high, nextSelected - 1);
    if (changed.first < 0) changed.first = row;
    changed.last = gapEnd;
    RowRange* taker = AddRow(row);
    if (gapEnd > row) {
      taker->count += gapEnd - 1 - row;
      AddRow(gapEnd);
    }
    row = gapEnd + 1;
  }
  return changed;
}

// ---- Rows inserted and removed ----

int32_t RowSelection::RowsInserted(int32_t at, int32_t count) {
  if (count <= 0 || at < 0 || at > rowCount_) return 0;
  count = std::min(count, INT32_MAX - rowCount_);
  rowCount_ += count;
  for (RowRange* range = head_; range; range = range->next) {
    if (range->first < at && at < End(range)) {
      range->next = NewRange(at + count, End(range) - at, range->next);
      range->count = at - range->first;
      range = range->next;  // already below the new rows
    } else if (range->first >= at) {
      range->first += count;
    }
  }
  return count;
}

bool RowSelection::AnySelectedIn(int32_t at, int32_t count) const {
  const int64_t end = int64_t(at) + count;
  for (const RowRange* range = head_; range; range = range->next) {
    if (range->first < end && End(range) > at) return true;
  }
  return false;
}

int32_t RowSelection::RowsRemoved(int32_t at, int32_t count) {
  if (count <= 0 || !IsValidRow(at)) return 0;
  count = std::min(count, rowCount_ - at);
  const int32_t end = at + count;
  for (RowRange* range = head_; range; range = range->next) {
    if (range->first >= end) {
      range->first -= count;
    } else if (range->first < at) {
      if (End(range) > end) {
        // The rows after the block stay selected, as a range of their own.
        range->next = NewRange(at, End(range) - end, range->next);
        range->count = at - range->first;
        range = range->next;
      } else {
        range->count = std::min(range->count, at - range->first);
      }
    } else {
      range->count = std::max(End(range) - end, 0);
      range->first = at;
    }
  }
  DropEmptyRanges();
  rowCount_ -= count;
  return count;
}

#ifdef _WINDOWS_
#error "RowSelection is portable: it must not include <windows.h>."
#endif
