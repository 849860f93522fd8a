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

#include "controls/listbox/StableSort.h"
#include "core/string.h"
#include "testsupport/TestListBox.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;
using Keys = std::vector<int32_t>;
using Comparison = std::function<int32_t(int32_t, int32_t)>;

// The sort on a thread with the run-time's main stack of 0x40000 bytes.
Keys SortOnSmallStack(int32_t count, const Comparison& compare) {
  struct Job {
    int32_t count;
    const Comparison* compare;
    Keys order;
    static DWORD WINAPI Run(void* job) {
      auto* self = static_cast<Job*>(job);
      self->order = StableSortedOrder(self->count, *self->compare);
      return 0;
    }
  } job{count, &compare, {}};
  HANDLE thread =
      CreateThread(nullptr, 0x40000, Job::Run, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
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
    const Comparison byKey = [keys](int32_t a, int32_t b) { return keys->at(a) - keys->at(b); };
    for (const Keys& order : {StableSortedOrder(int32_t(keys->size()), byKey),
                              SortOnSmallStack(int32_t(keys->size()), byKey)}) {
      EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [keys](int32_t a, int32_t b) {
        return std::make_pair(keys->at(a), a) < std::make_pair(keys->at(b), b);
      }));
    }
  }
  Keys identity(5000);
  std::iota(identity.begin(), identity.end(), 0);
  for (const Comparison& hostile :
       {Comparison([](int32_t, int32_t) { return 1; }),
        Comparison([&](int32_t, int32_t) { return int32_t(random() % 3) - 1; }),
        Comparison([](int32_t a, int32_t b) { return a < b ? 1 : -1; })}) {
    const Keys order = StableSortedOrder(5000, hostile);
    EXPECT_TRUE(std::is_permutation(order.begin(), order.end(), identity.begin()));
  }
}

// Lists of text rows in column 0.
class ListSortTest : public ListBoxTest {
 protected:
  // plain: without handlers, so the sort compares prepared keys.
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
  static Lines InOrder(Lines texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  static void CompareBy(std::function<int32_t(runListbox*, int32_t, int32_t)> answer) {
    OnListEvent("CompareRows", [answer](runListbox* list, const Keys& rows, int32_t* result) {
      *result = answer(list, rows[0], rows[1]);
      return true;
    });
  }
};

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
  EXPECT_EQ(list->RowDepth(1) * 100 + list->RowDepth(2) * 10 + list->RowDepth(3), 11);
  EXPECT_EQ(list->FirstSelectedRow() * 10 + list->SelectedRowCount(), 11);
  EXPECT_EQ(TakeLog(), (Lines{"SortColumn(0)", "CompareRows(0,3,0,0)", "Change"}));

  list->TakeInvalidations();
  EXPECT_EQ(Sorted(list, 0), (Lines{"a", "b", "b1", "b2"}));
  EXPECT_EQ(TakeInvalidationLines(list), Lines{"Column(-1,0)"});
  runListbox* unsorted = ListOf("List2", {"b", "a"});
  unsorted->TakeInvalidations();
  unsorted->SortByColumn(unsorted->SortedColumn());
  EXPECT_EQ(RowTexts(unsorted), (Lines{"b", "a"}));
  EXPECT_EQ(TakeInvalidationLines(unsorted), Lines{"Cells(-1,-1)"});
  EXPECT_EQ(TakeLog(), Lines{});
}

TEST_F(ListSortTest, CompareRowsDecidesWhereItAnswersAndTheTextsElsewhere) {
  runListbox* list = ListOf("List1", {"b", "c", "a"});
  CompareBy([](runListbox*, int32_t, int32_t) { return 0; });
  EXPECT_EQ(Sorted(list), (Lines{"b", "c", "a"}));
  EXPECT_EQ(Sorted(list, kSortDescending), (Lines{"c", "b", "a"}));
  CompareBy([](runListbox* pane, int32_t a, int32_t b) {
    return std::stoi(CellTextOf(pane, a, 0)) - std::stoi(CellTextOf(pane, b, 0));
  });
  EXPECT_EQ(Sorted(ListOf("List2", {"10", "9", "100"})), (Lines{"9", "10", "100"}));

  runListbox* keyed = NewList("List3", Rect(10, 10, 200, 160), {}, true);
  for (int i = 0; i < 1000; ++i)
    SetCellText(keyed, AddTextRow(keyed, "k" + std::to_string(i * 7 % 10)), 1, std::to_string(i));
  for (uint8_t direction : {kSortAscending, kSortDescending}) {
    Sorted(keyed, direction);
    for (int32_t row = 1; row < 1000; ++row) {
      if (CellTextOf(keyed, row - 1, 0) != CellTextOf(keyed, row, 0)) continue;
      ASSERT_LT(std::stoi(CellTextOf(keyed, row - 1, 1)), std::stoi(CellTextOf(keyed, row, 1)));
    }
  }
}

TEST_F(ListSortTest, TextsSharingTheirBeginningSortByWhatFollowsIt) {
  const Lines rows{"pre-ab", "pre-", "pre-a", "PRE-A", "pre-aaaab", "pre-aaaaa", "pre-b",
                   "pre-aaaab", "pre-\xC3\xA4"};
  auto order = [](Lines texts, bool ascending) {
    std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
      StringRef x = StringRef::Adopt(StringFromUTF8(a)), y = StringRef::Adopt(StringFromUTF8(b));
      const int32_t compared = RuntimeStringCompare(x.get(), y.get());
      return ascending ? compared < 0 : compared > 0;
    });
    return texts;
  };
  runListbox* list = ListOf("List1", rows, true);
  const Lines ascending = order(rows, true);
  EXPECT_EQ(Sorted(list), ascending);
  EXPECT_EQ(Sorted(list, kSortDescending), order(ascending, false));
}

TEST_F(ListSortTest, LargeListsSortAndHostileHandlersLeaveEveryRowOnce) {
  std::mt19937 random(46);
  auto texts = [](int count, const std::function<int(int)>& key) {
    Lines made(size_t(count), std::string(6, '0'));
    for (int i = 0; i < count; ++i) snprintf(&made[size_t(i)][0], 7, "%06d", key(i));
    return made;
  };
  for (const Lines& rows :
       {texts(50000, [](int i) { return i; }), texts(50000, [](int i) { return 50000 - i; }),
        texts(50000, [](int) { return 7; }),
        texts(50000, [&](int) { return int(random() % 100000); })}) {
    EXPECT_EQ(Sorted(ListOf("Big", rows, true)), InOrder(rows));
    CloseAllWindows();
    window_ = OpenTestWindow();
  }

  const Lines rows = texts(500, [&](int) { return int(random() % 1000); });
  runListbox* list = ListOf("List1", rows);
  runListbox* other = ListOf("List2", {"b", "a"});
  CompareBy([&](runListbox*, int32_t, int32_t) { return int32_t(random() % 3) - 1; });
  EXPECT_EQ(InOrder(Sorted(list)), InOrder(rows));
  CompareBy([](runListbox*, int32_t, int32_t) { return 1; });
  EXPECT_EQ(InOrder(Sorted(list)), InOrder(rows));

  // A handler that removes a row leaves the order as it was.
  Lines before = RowTexts(list);
  before.pop_back();
  CompareBy([](runListbox* pane, int32_t, int32_t) {
    if (pane->RowCount() == 500) pane->RemoveRowRecord(499);
    return -1;
  });
  EXPECT_EQ(Sorted(list), before);

  // Sorting this list from its own handler does nothing; another list sorts.
  CompareBy([&](runListbox* pane, int32_t a, int32_t b) {
    pane->SortByColumn(0);
    if (pane == list && RowTexts(other)[0] == "b") Sorted(other);
    return CellTextOf(pane, a, 0).compare(CellTextOf(pane, b, 0));
  });
  EXPECT_EQ(Sorted(list), InOrder(before));
  EXPECT_EQ(RowTexts(other), (Lines{"a", "b"}));
}

}  // namespace
