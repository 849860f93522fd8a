// GrowList: a growable list of plain values {growth step, block, count,
// capacity}, the binary form of a shape's member list and of a point list.
//
// The block comes from the run-time allocator and belongs to the list. The
// capacity follows two rules:
//   - growing (before an element is added to a full list): the capacity grows
//     by the growth step, or by the current capacity when the step is 0, but
//     by at least 16;
//   - shrinking (after a removal): with slack = capacity - count and a step
//     s > 0, when slack > 2s the capacity becomes (count / s + 1) * s; with
//     step 0, when slack > 2 * count it becomes (count / 16 + 1) * 16.
// Every change of capacity copies the elements into a new block and frees the
// old one. A capacity whose block would exceed 2 GB is refused: the request is
// reported through AssertionFailed and the list stays as it was.
//
// The list never reads or writes outside its block: indexes are checked, and
// a bad one is reported and ignored.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/diagnostics.h"
#include "core/utility.h"

template <class T>
struct GrowList {
  static_assert(std::is_trivially_copyable<T>::value, "elements are moved byte-wise");
  static constexpr uint32_t kMinimumGrowth = 16;
  static constexpr uint32_t kMaximumCapacity = 0x7FFFFFFFu / sizeof(T);

  uint32_t step;
  T* block;
  uint32_t count;
  uint32_t capacity;

  // An empty list without a block.
  void Init(uint32_t growthStep) {
    step = growthStep;
    block = nullptr;
    count = 0;
    capacity = 0;
  }

  // Frees the block; the list is empty and keeps its step.
  void Dispose() {
    RuntimeFree(block);
    block = nullptr;
    count = 0;
    capacity = 0;
  }

  // Empties the list and keeps its block.
  void Clear() { count = 0; }

  // Exactly `newCapacity` elements of room; the first min(count, newCapacity)
  // elements are kept and the count is cut to the new capacity.
  bool SetCapacity(uint32_t newCapacity) {
    if (newCapacity == capacity) return true;
    if (newCapacity > kMaximumCapacity) {
      Report(__LINE__, "capacity within 2 GB");
      return false;
    }
    T* grown = newCapacity ? static_cast<T*>(RuntimeAlloc(newCapacity * sizeof(T))) : nullptr;
    const uint32_t kept = count < newCapacity ? count : newCapacity;
    if (kept) std::memcpy(static_cast<void*>(grown), block, kept * sizeof(T));
    RuntimeFree(block);
    block = grown;
    count = kept;
    capacity = newCapacity;
    return true;
  }

  // Empties the list and gives it room for exactly `exactCount` elements (the
  // block is kept when it already has that size).
  bool Reset(uint32_t exactCount) {
    count = 0;
    return SetCapacity(exactCount);
  }

  // Room for one more element, by the growing rule.
  bool MakeRoom() {
    if (count < capacity) return true;
    uint64_t growth = step ? step : capacity;
    if (growth < kMinimumGrowth) growth = kMinimumGrowth;
    const uint64_t grown = uint64_t(capacity) + growth;
    if (grown > kMaximumCapacity) {
      Report(__LINE__, "capacity within 2 GB");
      return false;
    }
    return SetCapacity(uint32_t(grown));
  }

  // The capacity after a removal, by the shrinking rule.
  void ShrinkAfterRemoval() {
    const uint64_t slack = capacity - count;
    uint32_t target = capacity;
    if (step > 0) {
      if (slack > 2 * uint64_t(step)) target = (count / step + 1) * step;
    } else if (slack > 2 * uint64_t(count)) {
      target = (count / kMinimumGrowth + 1) * kMinimumGrowth;
    }
    if (target < capacity) SetCapacity(target);
  }

  bool Append(T value) {
    if (!MakeRoom()) return false;
    block[count++] = value;
    return true;
  }

  // index 0 .. count; the elements from index move up one place.
  bool Insert(uint32_t index, T value) {
    if (index > count) {
      Report(__LINE__, "index <= count");
      return false;
    }
    if (!MakeRoom()) return false;
    std::memmove(static_cast<void*>(block + index + 1), block + index,
                 (count - index) * sizeof(T));
    block[index] = value;
    ++count;
    return true;
  }

  // Writes at an index below the capacity; an index at or beyond the count
  // raises the count to index + 1.
  void Put(uint32_t index, T value) {
    if (index >= capacity) {
      Report(__LINE__, "index < capacity");
      return;
    }
    block[index] = value;
    if (index >= count) count = index + 1;
  }

  // Takes the element out, closes the gap, lowers the count and shrinks, in
  // that order, and hands the element back (a zero value for a bad index).
  T RemoveAt(uint32_t index) {
    if (index >= count) {
      Report(__LINE__, "index < count");
      return T{};
    }
    const T removed = block[index];
    std::memmove(static_cast<void*>(block + index), block + index + 1,
                 (count - index - 1) * sizeof(T));
    --count;
    ShrinkAfterRemoval();
    return removed;
  }

 private:
  static void Report(int32_t line, const char* condition) {
    AssertionFailed(131, 4, "GrowList", line, condition, nullptr);
  }
};
