// The selection's range list without a window: edits, span selection and
// the updates of inserted and removed rows, read in list order.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "controls/listbox/RowSelection.h"
#include "testsupport/TestRowList.h"

namespace {

// Steps: +r selects r, -r deselects it, "a..b" selects the span, "i@a,n"
// inserts n rows at a, "r@a,n" removes them.
void Apply(RowSelection* selection, const std::string& step) {
  int32_t a = 0, b = 0;
  if (step[0] == '+' || step[0] == '-') {
    selection->SetRowSelected(std::stoi(step.substr(1)), step[0] == '+');
  } else if (std::sscanf(step.c_str(), "%d..%d", &a, &b) == 2) {
    selection->SelectRowRange(a, b);
  } else if (std::sscanf(step.c_str() + 2, "%d,%d", &a, &b) == 2) {
    step[0] == 'i' ? selection->RowsInserted(a, b) : selection->RowsRemoved(a, b);
  }
}

TEST(RowSelectionTest, EditsKeepListOrderAndNeverMergeNeighbours) {
  const struct {
    std::vector<std::string> steps;
    Ranges ranges;
  } cases[] = {
      {{"5..7", "-6"}, {{5, 1}, {7, 1}}},
      {{"5..7", "+4"}, {{4, 4}}},
      {{"5..7", "+4", "+8"}, {{4, 5}}},
      {{"4..8", "+1", "+2", "+3"}, {{1, 3}, {4, 5}}},
      {{"1..6", "r@3,2"}, {{1, 2}, {3, 2}}},
      {{"1..6", "i@3,2"}, {{1, 2}, {5, 4}}},
      {{"1..2", "8..9", "r@0,5"}, {{3, 2}}},
      {{"3..4", "r@2,100"}, {}},
      // Rows that are no rows and empty counts change nothing.
      {{"+20", "-1", "20..30", "i@21,5", "i@-1,5", "r@20,1", "r@3,0", "+2"}, {{2, 1}}},
  };
  for (const auto& test : cases) {
    RowSelection selection;
    selection.RowsInserted(0, 20);
    std::string name;
    for (const std::string& step : test.steps) {
      Apply(&selection, step);
      name += step + " ";
    }
    EXPECT_EQ(RangesOf(selection), test.ranges) << name;
  }
  RowSelection empty;
  empty.RowsInserted(0, INT32_MAX);
  empty.RowsInserted(0, 20);
  EXPECT_EQ(std::vector<int32_t>({empty.FirstSelectedRow(), empty.LastSelectedRow(),
                                  empty.SelectedRowCount(), empty.RowCount()}),
            std::vector<int32_t>({-1, -1, 0, INT32_MAX}));
}

// The span edit skips row-by-row work; it must leave the very list that
// selecting the rows one by one upwards leaves, order included.
TEST(RowSelectionTest, SpanSelectionGivesTheRangesOfRowByRowSelection) {
  std::mt19937 random(38);
  for (int trial = 0; trial < 2000; ++trial) {
    RowSelection bySpan, byRow;
    bySpan.RowsInserted(0, 60);
    byRow.RowsInserted(0, 60);
    for (int edit = random() % 12; edit > 0; --edit) {
      const int32_t row = random() % 60;
      const bool selected = random() % 3 != 0;
      bySpan.SetRowSelected(row, selected);
      byRow.SetRowSelected(row, selected);
    }
    const int32_t a = int32_t(random() % 64) - 2, b = int32_t(random() % 64) - 2;
    const ChangedRows changed = bySpan.SelectRowRange(a, b);
    int32_t low, high, first = -1, last = -1;
    if (byRow.SpanToSelect(a, b, &low, &high)) {
      for (int32_t row = low; row <= high; ++row) {
        if (!byRow.SetRowSelected(row, true)) continue;
        if (first < 0) first = row;
        last = row;
      }
    }
    ASSERT_EQ(RangesOf(bySpan), RangesOf(byRow)) << "trial " << trial << " span " << a << ".." << b;
    ASSERT_EQ(changed.first, first);
    ASSERT_EQ(changed.last, last);
  }
}

}  // namespace
