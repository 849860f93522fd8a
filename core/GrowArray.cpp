// GrowArray and the index-range quicksort.
#include "core/GrowArray.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "core/utility.h"

namespace {

bool CheckIndex(const GrowArray* array, int32_t index, int32_t limit, int line) {
  if (index >= 0 && index < limit) return true;
  AssertionFailed(131, 4, "GrowArray", line, "index in range",
                  ("index " + std::to_string(index) + ", count " + std::to_string(array->count))
                      .c_str());
  return false;
}

uint8_t* At(const GrowArray* array, int32_t index) {
  return array->data + size_t(index) * size_t(array->elementSize);
}

int32_t ValueBytes(const GrowArray* array) { return std::min<int32_t>(array->elementSize, 4); }

// Buffers stay below 2 GB, so that every byte count fits the 32-bit sizes
// of the allocator and of MoveBytes; a count past that is reported.
bool Reserve(GrowArray* array, int32_t count) {
  if (count <= array->capacity) return true;
  const int64_t most = int64_t(INT32_MAX) / std::max(array->elementSize, 1);
  if (count > most) {
    AssertionFailed(131, 4, "GrowArray", __LINE__, "count * elementSize < 2 GB",
                    ("count " + std::to_string(count)).c_str());
    return false;
  }
  int64_t step = array->growthStep > 0 ? array->growthStep : 16;
  int64_t grown = int64_t(array->capacity) + std::max<int64_t>(step, array->capacity / 2);
  auto capacity = int32_t(std::min(std::max<int64_t>(count, grown), most));
  auto* data = static_cast<uint8_t*>(RuntimeAlloc(uint32_t(capacity) * uint32_t(array->elementSize)));
  if (!data) return false;
  MoveBytes(data, array->data, array->count * array->elementSize);
  RuntimeFree(array->data);
  array->data = data;
  array->capacity = capacity;
  return true;
}

void ReverseRange(GrowArray* array, int32_t first, int32_t last) {
  std::vector<uint8_t> temp(size_t(array->elementSize));
  for (int32_t i = first, j = last - 1; i < j; ++i, --j) {
    std::memcpy(temp.data(), At(array, i), temp.size());
    std::memcpy(At(array, i), At(array, j), temp.size());
    std::memcpy(At(array, j), temp.data(), temp.size());
  }
}

// Sedgewick's partition: equal keys are exchanged from both ends, so runs of
// equal rows still split evenly. The pivot is parked at `low`.
int32_t Partition(int32_t low, int32_t high,
                  const std::function<int32_t(int32_t, int32_t, int32_t)>& compare,
                  const std::function<void(int32_t, int32_t, int32_t)>& swap, int32_t direction) {
  int32_t middle = low + (high - low) / 2;
  if (middle != low) swap(low, middle, direction);
  int32_t i = low + 1, j = high;
  for (;;) {
    while (i <= high && compare(i, low, direction) < 0) ++i;
    while (j > low && compare(j, low, direction) > 0) --j;
    if (i >= j) break;
    swap(i, j, direction);
    ++i;
    --j;
  }
  if (j != low) swap(low, j, direction);
  return j;
}

}  // namespace

extern "C" {

void GrowArrayInit(GrowArray* array, int32_t elementSize, int32_t growthStep) {
  *array = {nullptr, 0, 0, elementSize > 0 ? elementSize : 4, growthStep > 0 ? growthStep : 16};
}

void GrowArrayDispose(GrowArray* array) {
  RuntimeFree(array->data);
  array->data = nullptr;
  array->count = array->capacity = 0;
}

int32_t GrowArrayCount(const GrowArray* array) { return array->count; }

void GrowArraySetCount(GrowArray* array, int32_t count) {
  if (count < 0 || !Reserve(array, count)) return;
  if (count > array->count) {
    FillBytes(At(array, array->count), 0, (count - array->count) * array->elementSize);
  }
  array->count = count;
}

uint32_t GrowArrayGet(const GrowArray* array, int32_t index) {
  if (!CheckIndex(array, index, array->count, __LINE__)) return 0;
  uint32_t value = 0;
  std::memcpy(&value, At(array, index), size_t(ValueBytes(array)));
  return value;
}

void GrowArraySet(GrowArray* array, int32_t index, uint32_t value) {
  if (!CheckIndex(array, index, array->count, __LINE__)) return;
  std::memcpy(At(array, index), &value, size_t(ValueBytes(array)));
}

void GrowArrayInsert(GrowArray* array, int32_t index, uint32_t value) {
  if (!CheckIndex(array, index, array->count + 1, __LINE__)) return;
  if (!Reserve(array, array->count + 1)) return;
  MoveBytes(At(array, index + 1), At(array, index), (array->count - index) * array->elementSize);
  FillBytes(At(array, index), 0, array->elementSize);
  ++array->count;
  std::memcpy(At(array, index), &value, size_t(ValueBytes(array)));
}

void GrowArrayAppend(GrowArray* array, uint32_t value) {
  GrowArrayInsert(array, array->count, value);
}

void GrowArrayRemove(GrowArray* array, int32_t index) {
  if (!CheckIndex(array, index, array->count, __LINE__)) return;
  MoveBytes(At(array, index), At(array, index + 1),
            (array->count - index - 1) * array->elementSize);
  --array->count;
}

void GrowArrayRemoveRun(GrowArray* array, int32_t first, int32_t count) {
  if (count <= 0) return;
  if (!CheckIndex(array, first, array->count - count + 1, __LINE__)) return;
  MoveBytes(At(array, first), At(array, first + count),
            (array->count - first - count) * array->elementSize);
  array->count -= count;
}

void GrowArraySwapRuns(GrowArray* array, int32_t first1, int32_t count1, int32_t first2,
                       int32_t count2) {
  if (first2 < first1) {
    std::swap(first1, first2);
    std::swap(count1, count2);
  }
  bool valid = first1 >= 0 && count1 >= 0 && count2 >= 0 &&
               int64_t(first1) + count1 <= first2 && int64_t(first2) + count2 <= array->count;
  if (!valid) {
    AssertionFailed(131, 4, "GrowArray", __LINE__, "runs inside the array and apart", "");
    return;
  }
  // [A][M][B] -> [B][M][A]: reverse the whole span, then each part back.
  int32_t end = first2 + count2;
  int32_t middle = first2 - (first1 + count1);
  ReverseRange(array, first1, end);
  ReverseRange(array, first1, first1 + count2);
  ReverseRange(array, first1 + count2, first1 + count2 + middle);
  ReverseRange(array, first1 + count2 + middle, end);
}

void* GrowArrayElement(GrowArray* array, int32_t index) {
  if (!CheckIndex(array, index, array->count, __LINE__)) return nullptr;
  return At(array, index);
}

}  // extern "C"

void SortIndexRange(int32_t first, int32_t last,
                    const std::function<int32_t(int32_t, int32_t, int32_t)>& compare,
                    const std::function<void(int32_t, int32_t, int32_t)>& swap,
                    int32_t direction) {
  if (direction == 0) return;
  int32_t low = first, high = last - 1;
  // Recurse into the smaller side and loop on the larger: the stack stays
  // logarithmic whatever the input.
  while (low < high) {
    int32_t pivot = Partition(low, high, compare, swap, direction);
    if (pivot - low < high - pivot) {
      SortIndexRange(low, pivot, compare, swap, direction);
      low = pivot + 1;
    } else {
      SortIndexRange(pivot + 1, high + 1, compare, swap, direction);
      high = pivot - 1;
    }
  }
}

#ifdef _WINDOWS_
#error "GrowArray is portable: it must not include <windows.h>."
#endif
