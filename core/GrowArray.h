// GrowArray: a growable array of fixed-size elements, and SortIndexRange.
//
// Elements are elementSize bytes (4 by default); Get, Set, Insert and Append
// carry values of up to 4 bytes (wider elements are reached through
// GrowArrayElement). An index out of range is reported through
// AssertionFailed; the access then reads 0 or changes nothing.
#pragma once
#include <cstdint>
#include <functional>

struct GrowArray {
  uint8_t* data;
  int32_t count;
  int32_t capacity;
  int32_t elementSize;
  int32_t growthStep;
};

extern "C" {
void GrowArrayInit(GrowArray* array, int32_t elementSize = 4, int32_t growthStep = 16);
void GrowArrayDispose(GrowArray* array);
int32_t GrowArrayCount(const GrowArray* array);
// New elements are zero.
void GrowArraySetCount(GrowArray* array, int32_t count);
uint32_t GrowArrayGet(const GrowArray* array, int32_t index);
void GrowArraySet(GrowArray* array, int32_t index, uint32_t value);
// index 0 .. count
void GrowArrayInsert(GrowArray* array, int32_t index, uint32_t value);
void GrowArrayAppend(GrowArray* array, uint32_t value);
void GrowArrayRemove(GrowArray* array, int32_t index);
// Removes [first, first+count) with one move of the elements after it.
void GrowArrayRemoveRun(GrowArray* array, int32_t first, int32_t count);
// Exchanges two non-overlapping runs [first1, first1+count1) and
// [first2, first2+count2), first1 < first2; when the counts differ the
// elements between the runs move so that nothing is lost.
void GrowArraySwapRuns(GrowArray* array, int32_t first1, int32_t count1, int32_t first2,
                       int32_t count2);
// The element's address; nil (reported) when out of range.
void* GrowArrayElement(GrowArray* array, int32_t index);
}

// In-place quicksort of the index range [first, last) through callbacks:
// compare(i, j, direction) < 0 when i sorts before j; swap(i, j, direction).
// Direction 0 sorts nothing.
void SortIndexRange(int32_t first, int32_t last,
                    const std::function<int32_t(int32_t, int32_t, int32_t)>& compare,
                    const std::function<void(int32_t, int32_t, int32_t)>& swap,
                    int32_t direction);
