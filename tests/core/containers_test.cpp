// GrowArray, SortIndexRange, the most-recently-used list and StringMap.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/GrowArray.h"
#include "core/StringMap.h"
#include "core/TrackedObject.h"
#include "core/diagnostics.h"

namespace {

class GrowArrayTest : public testing::Test {
 protected:
  void SetUp() override {
    GrowArrayInit(&array_);
    TakeRecordedBoxes();
  }
  void TearDown() override { GrowArrayDispose(&array_); }
  void Fill(int n) {
    for (int i = 0; i < n; ++i) GrowArrayAppend(&array_, uint32_t(i));
  }
  std::vector<uint32_t> Values() {
    std::vector<uint32_t> values;
    for (int i = 0; i < GrowArrayCount(&array_); ++i) values.push_back(GrowArrayGet(&array_, i));
    return values;
  }
  GrowArray array_;
};

TEST_F(GrowArrayTest, GrowsPastItsStepAndInsertsRemoves) {
  Fill(40);
  EXPECT_EQ(GrowArrayCount(&array_), 40);
  EXPECT_EQ(GrowArrayGet(&array_, 39), 39u);
  GrowArrayInsert(&array_, 0, 100);
  GrowArrayInsert(&array_, 41, 200);  // at count: appends
  EXPECT_EQ(GrowArrayGet(&array_, 0), 100u);
  EXPECT_EQ(GrowArrayGet(&array_, 41), 200u);
  GrowArrayRemove(&array_, 0);
  EXPECT_EQ(GrowArrayGet(&array_, 0), 0u);
  EXPECT_EQ(GrowArrayCount(&array_), 41);
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

TEST_F(GrowArrayTest, OutOfRangeIsReportedAndChangesNothing) {
  Fill(3);
  EXPECT_EQ(GrowArrayGet(&array_, 3), 0u);
  EXPECT_EQ(GrowArrayGet(&array_, -1), 0u);
  GrowArraySet(&array_, 3, 9);
  GrowArrayInsert(&array_, 5, 9);
  GrowArrayRemove(&array_, 3);
  EXPECT_EQ(TakeRecordedBoxes().size(), 5u);
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 1, 2}));
}

TEST_F(GrowArrayTest, SetCountZeroesNewElements) {
  Fill(2);
  GrowArraySetCount(&array_, 1);
  GrowArraySetCount(&array_, 3);
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 0, 0}));
}

// Counts whose bytes pass 4 GB once wrapped round to a few bytes.
TEST_F(GrowArrayTest, ACountPastTheAddressSpaceIsReportedAndChangesNothing) {
  Fill(3);
  GrowArraySetCount(&array_, 0x40000001);  // 4 bytes each
  EXPECT_EQ(TakeRecordedBoxes().size(), 1u);
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 1, 2}));

  GrowArray wide;
  GrowArrayInit(&wide, 12);
  GrowArrayAppend(&wide, 5);
  GrowArraySetCount(&wide, 0x15555556);  // 12 bytes each
  EXPECT_EQ(TakeRecordedBoxes().size(), 1u);
  EXPECT_EQ(GrowArrayCount(&wide), 1);
  EXPECT_EQ(GrowArrayGet(&wide, 0), 5u);
  GrowArrayDispose(&wide);
}

TEST_F(GrowArrayTest, SwapRunsOfDifferentLengthsMovesTheMiddle) {
  Fill(8);  // 0 1 2 3 4 5 6 7
  GrowArraySwapRuns(&array_, 1, 2, 5, 3);  // [1 2] and [5 6 7], middle [3 4]
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 5, 6, 7, 3, 4, 1, 2}));
  GrowArraySwapRuns(&array_, 6, 2, 1, 3);  // given in reverse order: swaps back
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  GrowArraySwapRuns(&array_, 0, 3, 2, 2);  // overlapping runs are refused
  EXPECT_EQ(TakeRecordedBoxes().size(), 1u);
  // So are runs whose ends pass the largest index.
  GrowArraySwapRuns(&array_, 2, 1, 3, INT32_MAX);
  GrowArraySwapRuns(&array_, 1, INT32_MAX, 6, 1);
  EXPECT_EQ(TakeRecordedBoxes().size(), 2u);
  EXPECT_EQ(Values(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(GrowArrayTest, NarrowElementsKeepTheirSize) {
  GrowArray bytes;
  GrowArrayInit(&bytes, 1);
  GrowArrayAppend(&bytes, 0x1FF);
  GrowArrayAppend(&bytes, 7);
  EXPECT_EQ(GrowArrayGet(&bytes, 0), 0xFFu);
  EXPECT_EQ(GrowArrayGet(&bytes, 1), 7u);
  GrowArrayDispose(&bytes);
}

struct SortFixture {
  std::vector<int> values;
  int swaps = 0;
  void Sort(int first, int last, int direction) {
    SortIndexRange(
        first, last,
        [&](int32_t i, int32_t j, int32_t dir) {
          int order = values[i] < values[j] ? -1 : values[i] > values[j];
          return dir < 0 ? -order : order;
        },
        [&](int32_t i, int32_t j, int32_t) {
          std::swap(values[i], values[j]);
          ++swaps;
        },
        direction);
  }
};

TEST(SortIndexRangeTest, SortsBothDirectionsAndOnlyTheRange) {
  SortFixture f{{9, 3, 7, 3, 1, 8, 2, 5}};
  f.Sort(1, 7, 1);
  EXPECT_EQ(f.values, (std::vector<int>{9, 1, 2, 3, 3, 7, 8, 5}));
  f.Sort(0, 8, -1);
  EXPECT_EQ(f.values, (std::vector<int>{9, 8, 7, 5, 3, 3, 2, 1}));
}

TEST(SortIndexRangeTest, DirectionZeroSortsNothing) {
  SortFixture f{{3, 2, 1}};
  f.Sort(0, 3, 0);
  EXPECT_EQ(f.values, (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(f.swaps, 0);
}

TEST(SortIndexRangeTest, AComparisonAnsweringOneForEveryPairStaysInTheRange) {
  std::vector<int32_t> seen;
  SortIndexRange(
      3, 40,
      [&](int32_t i, int32_t j, int32_t) {
        seen.push_back(std::min(i, j));
        return seen.back() >= 3 ? 1 : 0;  // 0 outside, so a walk past the range ends
      },
      [](int32_t, int32_t, int32_t) {}, 1);
  EXPECT_GE(*std::min_element(seen.begin(), seen.end()), 3);
}

TEST(SortIndexRangeTest, ManyEqualKeysAndLargeInputsSort) {
  SortFixture f;
  for (int i = 0; i < 20000; ++i) f.values.push_back((i * 7919) % 13);
  f.Sort(0, int(f.values.size()), 1);
  for (size_t i = 1; i < f.values.size(); ++i) ASSERT_LE(f.values[i - 1], f.values[i]);
  SortFixture sorted;
  for (int i = 0; i < 20000; ++i) sorted.values.push_back(i);
  sorted.Sort(0, 20000, 1);  // already sorted input stays cheap
  EXPECT_LT(sorted.swaps, 40000);
}

class Releasable : public TrackedObject {
 public:
  explicit Releasable(std::vector<int>* log, int id) : log_(log), id_(id) { Track(); }
  bool ReleaseOnDemand() override {
    log_->push_back(id_);
    Untrack();
    return true;
  }

 private:
  std::vector<int>* log_;
  int id_;
};

TEST(TrackedObjectTest, ReleasesFromTheLeastRecentlyUsedEnd) {
  std::vector<int> log;
  {
    Releasable a(&log, 1), b(&log, 2), c(&log, 3);
    EXPECT_EQ(TrackedObject::MostRecentlyUsed(), &c);
    a.Touch();
    EXPECT_EQ(TrackedObject::MostRecentlyUsed(), &a);
    EXPECT_EQ(TrackedObject::ReleaseLeastRecentlyUsed(2), 2);
    EXPECT_EQ(log, (std::vector<int>{2, 3}));
    EXPECT_FALSE(b.IsTracked());
    EXPECT_TRUE(a.IsTracked());
  }
  EXPECT_EQ(TrackedObject::MostRecentlyUsed(), nullptr);  // destruction unlinks
}

TEST(TrackedObjectTest, ConstructionDoesNotLinkUntilTracked) {
  TrackedObject plain;
  EXPECT_FALSE(plain.IsTracked());
  plain.Track();
  plain.Track();
  EXPECT_EQ(TrackedObject::MostRecentlyUsed(), &plain);
  EXPECT_EQ(plain.LessRecentlyUsed(), nullptr);
  EXPECT_EQ(TrackedObject::ReleaseLeastRecentlyUsed(5), 0);  // default gives nothing back
}

TEST(StringMapTest, CaseInsensitiveInInsertionOrder) {
  StringMap map;
  int a = 1, b = 2, c = 3;
  map.Set("PushButton1", &a);
  map.Set("edit", &b);
  map.Set("List", &c);
  map.Set("EDIT", &c);  // same name: keeps its place
  EXPECT_EQ(map.Get("pushbutton1"), &a);
  EXPECT_EQ(map.Count(), 3u);
  EXPECT_TRUE(map.Remove("PUSHBUTTON1"));
  EXPECT_FALSE(map.Remove("PushButton1"));
  map.Set("PushButton1", &a);  // back, now last

  auto it = map.NewIterator();
  std::vector<std::string> names;
  void* value;
  std::string name;
  while (it->NextValue(&value, &name)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"edit", "List", "PushButton1"}));
  EXPECT_FALSE(it->NextValue(&value));
  EXPECT_EQ(map.Get("missing"), nullptr);
}

}  // namespace
