// A list pane's selection driven by fuzzed edits, row insertions and
// removals, checked after every step against a plain model (one flag per
// row): the same rows selected, the same counts and ends, and ranges that
// hold at least one row each and never overlap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "controls/listbox/RowSelection.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The model stays small enough to compare whole after each step.
constexpr int32_t kMostRows = 3000;

void SetSpan(std::vector<bool>& model, int32_t low, int32_t high, bool value) {
  for (int32_t row = low; row <= high; ++row) model[size_t(row)] = value;
}

void Compare(const RowSelection& selection, const std::vector<bool>& model) {
  if (selection.RowCount() != int32_t(model.size())) fuzz::Fail("row count");
  std::vector<bool> seen(model.size());
  for (const RowRange* range = selection.Head(); range; range = range->next) {
    if (range->count < 1 || range->first < 0 || range->first + range->count > int32_t(model.size()))
      fuzz::Fail("range outside the rows or empty");
    for (int32_t row = range->first; row < range->first + range->count; ++row) {
      if (seen[size_t(row)]) fuzz::Fail("row in two ranges");
      seen[size_t(row)] = true;
    }
  }
  if (seen != model) fuzz::Fail("selected rows differ from the model");
  const auto count = std::count(model.begin(), model.end(), true);
  if (selection.SelectedRowCount() != count) fuzz::Fail("selected row count");
  const auto first = std::find(model.begin(), model.end(), true);
  const int32_t firstRow = first == model.end() ? -1 : int32_t(first - model.begin());
  const auto last = std::find(model.rbegin(), model.rend(), true);
  const int32_t lastRow = last == model.rend() ? -1 : int32_t(model.rend() - last) - 1;
  if (selection.FirstSelectedRow() != firstRow || selection.LastSelectedRow() != lastRow)
    fuzz::Fail("first or last selected row");
}

bool IsRow(const std::vector<bool>& model, int32_t row) {
  return row >= 0 && row < int32_t(model.size());
}

void Step(fuzz::Reader& input, RowSelection& selection, std::vector<bool>& model) {
  const uint8_t op = input.Take<uint8_t>();
  const int32_t a = input.Take<int16_t>() % (kMostRows + 2);
  const int32_t b = input.Take<int16_t>() % (kMostRows + 2);
  switch (op % 7) {
    case 0: {
      const bool select = op & 0x80;
      const bool changed = selection.SetRowSelected(a, select);
      if (changed != (IsRow(model, a) && model[size_t(a)] != select)) fuzz::Fail("changed flag");
      if (IsRow(model, a)) model[size_t(a)] = select;
      break;
    }
    case 1:
      selection.SelectOnlyRow(a);
      std::fill(model.begin(), model.end(), false);
      if (IsRow(model, a)) model[size_t(a)] = true;
      break;
    case 2: {
      selection.SelectRowRange(a, b);
      if (IsRow(model, a) && IsRow(model, b)) SetSpan(model, std::min(a, b), std::max(a, b), true);
      else if (IsRow(model, a)) SetSpan(model, a, a, true);
      else if (IsRow(model, b)) SetSpan(model, b, b, true);
      break;
    }
    case 3: {
      const int32_t count = std::min<int32_t>(b, kMostRows - int32_t(model.size()));
      if (a < 0 || a > int32_t(model.size()) || count <= 0) break;
      if (selection.RowsInserted(a, count) != count) fuzz::Fail("rows inserted");
      model.insert(model.begin() + a, size_t(count), false);
      break;
    }
    case 4: {
      if (!IsRow(model, a) || b <= 0) {
        if (selection.RowsRemoved(a, b) != 0) fuzz::Fail("nothing to remove");
        break;
      }
      const int32_t count = std::min<int32_t>(b, int32_t(model.size()) - a);
      if (selection.AnySelectedIn(a, count) !=
          (std::find(model.begin() + a, model.begin() + a + count, true) != model.begin() + a + count))
        fuzz::Fail("any selected in");
      if (selection.RowsRemoved(a, b) != count) fuzz::Fail("rows removed");
      model.erase(model.begin() + a, model.begin() + a + count);
      break;
    }
    case 5:
      selection.Clear();
      std::fill(model.begin(), model.end(), false);
      break;
    case 6: {
      int32_t first = 0, count = 0;
      if (selection.TakeHead(&first, &count)) SetSpan(model, first, first + count - 1, false);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader input(data, size);
  RowSelection selection;
  std::vector<bool> model;
  while (input.Left() > 0) {
    Step(input, selection, model);
    Compare(selection, model);
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
