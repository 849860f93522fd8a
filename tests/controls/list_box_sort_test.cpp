// Sorting: the stable merge sort on plain integers, then the list's sort by
// column with its events, a followed selection and hostile handlers.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "controls/StableSort.h"
#include "testsupport/TestListBox.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;
using Keys = std::vector<int32_t>;
using Comparison = std::function<int32_t(int32_t, int32_t)>;

// Ordered by key, equal keys in their first order.
bool IsStablySorted(const Keys& keys, const Keys& order) {
  for (size_t i = 1; i < order.size(); ++i) {
    const int32_t a = order[i - 1], b = order[i];
    if (keys[size_t(a)] > keys[size_t(b)] || (keys[size_t(a)] == keys[size_t(b)] && a > b)) {
      return false;
    }
  }
  return true;
}

bool IsPermutation(Keys order) {
  std::sort(order.begin(), order.end());
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] != int32_t(i)) return false;
  }
  return true;
}

// The run sort on a thread with the run-time's main stack of 0x40000 bytes.
Keys SortOnSmallStack(int32_t count, const Comparison& compare) {
  struct Job {
    int32_t count;
    const Comparison* compare;
    Keys order;
  } job{count, &compare, {}};
  struct Runner {
    static DWORD WINAPI Run(void* parameter) {
      auto* work = static_cast<Job*>(parameter);
      work->order = StableSortedOrder(work->count, *work->compare);
      return 0;
    }
  };
  HANDLE thread = CreateThread(nullptr, 0x40000, Runner::Run, &job, STACK_SIZE_PARAM_IS_A_RESERVATION,
                               nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return job.order;
}

TEST(StableSortTest, AnyComparisonGivesAPermutationAndAConsistentOneAStableOrder) {
  std::mt19937 random(46);
  Keys sorted(50000), reversed(50000), equal(50000, 7), shuffled(50000), tenKeys(1000);
  std::iota(sorted.begin(), sorted.end(), 0);
  std::iota(reversed.rbegin(), reversed.rend(), 0);
  for (int32_t& key : shuffled) key = int32_t(random() % 1000);
  for (size_t i = 0; i < tenKeys.size(); ++i) tenKeys[i] = int32_t(i * 7 % 10);
  for (const Keys* keys : {&sorted, &reversed, &equal, &shuffled, &tenKeys}) {
    const Comparison byKey = [keys](int32_t a, int32_t b) {
      return (*keys)[size_t(a)] - (*keys)[size_t(b)];
    };
    EXPECT_TRUE(IsStablySorted(*keys, StableSortedOrder(int32_t(keys->size()), byKey)));
    EXPECT_TRUE(IsStablySorted(*keys, SortOnSmallStack(int32_t(keys->size()), byKey)));
  }
  const Comparison hostile[] = {
      [](int32_t, int32_t) { return 1; },
      [&](int32_t, int32_t) { return int32_t(random() % 3) - 1; },
      [](int32_t a, int32_t b) { return a < b ? 1 : -1; },
  };
  for (const Comparison& compare : hostile) {
    EXPECT_TRUE(IsPermutation(StableSortedOrder(5000, compare)));
  }
}

// Lists of text rows in column 0; sorting is ascending unless set.
class ListSortTest : public ListBoxTest {
 protected:
  // plain: a list without handlers, sorting by prepared keys.
  runListbox* ListOf(const char* name, const Lines& texts, bool plain = false) {
    runListbox* list = NewList(name, Rect(10, 10, 200, 160), {}, plain);
    for (const std::string& text : texts) AddTextRow(list, text);
    return list;
  }
  static Lines Sorted(runListbox* list, uint8_t direction = kSortAscending) {
    list->SetColumnSortDirection(0, direction, false);
    list->SortByColumn(0);
    return RowTexts(list);
  }
  static Lines SortedCopy(Lines texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
  }
};

ListEventCode Answering(std::function<int32_t(runListbox*, int32_t, int32_t)> answer) {
  return [answer](runListbox* list, const std::vector<int32_t>& rows, int32_t* result) {
    *result = answer(list, rows[0], rows[1]);
    return true;
  };
}

TEST_F(ListSortTest, TopLevelRowsCarryTheirChildrenAndALoneSelectionFollows) {
  runListbox* list = NewList("List1");
  list->SetHierarchical(true);
  AddTextRow(list, "b", 0, 1);
  AddTextRow(list, "b1", 1);
  AddTextRow(list, "b2", 1);
  AddTextRow(list, "a");
  list->SelectOnlyRow(0, false);
  TakeLog();
  EXPECT_EQ(Sorted(list), (Lines{"a", "b", "b1", "b2"}));
  EXPECT_EQ(RowDepths(list), (std::vector<int32_t>{0, 0, 1, 1}));
  EXPECT_EQ(list->FirstSelectedRow() * 10 + list->SelectedRowCount(), 11);
  EXPECT_EQ(TakeLog(), (Lines{"SortColumn(0)", "CompareRows(0,3,0,0)", "Change"}));

  list->TakeInvalidations();
  EXPECT_EQ(Sorted(list, 0), (Lines{"a", "b", "b1", "b2"}));
  EXPECT_EQ(TakeInvalidationLines(list), Lines{"InvalidateColumn(0)"});
  runListbox* unsorted = ListOf("List2", {"b", "a"});
  unsorted->SortByColumn(unsorted->SortedColumn());
  EXPECT_EQ(RowTexts(unsorted), (Lines{"b", "a"}));
  EXPECT_EQ(TakeInvalidationLines(unsorted), Lines{"InvalidateCells(-1,-1)"});
  EXPECT_EQ(TakeLog(), Lines{});
}

TEST_F(ListSortTest, CompareRowsDecidesWhereItAnswersAndTheTextsElsewhere) {
  runListbox* list = ListOf("List1", {"b", "c", "a"});
  OnListEvent("CompareRows", Answering([](runListbox*, int32_t, int32_t) { return 0; }));
  EXPECT_EQ(Sorted(list), (Lines{"b", "c", "a"}));
  EXPECT_EQ(Sorted(list, kSortDescending), (Lines{"c", "b", "a"}));
  runListbox* numbers = ListOf("List2", {"10", "9", "100"});
  OnListEvent("CompareRows", Answering([](runListbox* pane, int32_t a, int32_t b) {
    return std::stoi(CellTextOf(pane, a, 0)) - std::stoi(CellTextOf(pane, b, 0));
  }));
  EXPECT_EQ(Sorted(numbers), (Lines{"9", "10", "100"}));

  runListbox* keyed = NewList("List3", Rect(10, 10, 200, 160), {}, true);
  for (int i = 0; i < 1000; ++i) {
    AddTextRow(keyed, "k" + std::to_string(i * 7 % 10));
    SetCellText(keyed, i, 1, std::to_string(i));
  }
  for (uint8_t direction : {kSortAscending, kSortDescending}) {
    Sorted(keyed, direction);
    for (int32_t row = 1; row < 1000; ++row) {
      if (CellTextOf(keyed, row - 1, 0) != CellTextOf(keyed, row, 0)) continue;
      ASSERT_LT(std::stoi(CellTextOf(keyed, row - 1, 1)), std::stoi(CellTextOf(keyed, row, 1)));
    }
  }
}

TEST_F(ListSortTest, LargeListsSortAndHostileHandlersLeaveEveryRowOnce) {
  std::mt19937 random(46);
  auto texts = [](int count, const std::function<int(int)>& key) {
    Lines made;
    char text[16];
    for (int i = 0; i < count; ++i) {
      snprintf(text, sizeof text, "%06d", key(i));
      made.push_back(text);
    }
    return made;
  };
  for (const Lines& rows : {texts(50000, [](int i) { return i; }),
                            texts(50000, [](int i) { return 50000 - i; }),
                            texts(50000, [](int) { return 7; }),
                            texts(50000, [&](int) { return int(random() % 100000); })}) {
    EXPECT_EQ(Sorted(ListOf("Big", rows, true)), SortedCopy(rows));
    CloseAllWindows();
    window_ = OpenTestWindow();
  }

  const Lines rows = texts(500, [&](int) { return int(random() % 1000); });
  runListbox* list = ListOf("List1", rows);
  runListbox* other = ListOf("List2", {"b", "a"});
  OnListEvent("CompareRows", Answering([&](runListbox*, int32_t, int32_t) {
    return int32_t(random() % 3) - 1;
  }));
  EXPECT_EQ(SortedCopy(Sorted(list)), SortedCopy(rows));
  OnListEvent("CompareRows", Answering([](runListbox*, int32_t, int32_t) { return 1; }));
  EXPECT_EQ(SortedCopy(Sorted(list)), SortedCopy(rows));

  // A handler that removes a row leaves the order as it was.
  const Lines before = RowTexts(list);
  OnListEvent("CompareRows", Answering([&](runListbox* pane, int32_t, int32_t) {
    if (pane->RowCount() == 500) pane->RemoveRowRecord(499);
    return -1;
  }));
  EXPECT_EQ(Sorted(list), Lines(before.begin(), before.end() - 1));

  // Sorting this list from its own handler does nothing; another list sorts.
  OnListEvent("CompareRows", Answering([&](runListbox* pane, int32_t a, int32_t b) {
    pane->SortByColumn(0);
    if (RowTexts(other)[0] == "b") Sorted(other);
    return CellTextOf(pane, a, 0).compare(CellTextOf(pane, b, 0));
  }));
  EXPECT_EQ(Sorted(list), SortedCopy(Lines(before.begin(), before.end() - 1)));
  EXPECT_EQ(RowTexts(other), (Lines{"a", "b"}));
}

}  // namespace
