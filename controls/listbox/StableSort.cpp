// The bottom-up merge sort: runs of width 1, 2, 4 ... merged pairwise from
// one buffer into the other.
#include "controls/listbox/StableSort.h"

#include <algorithm>

namespace {

// Merges [low, middle) and [middle, high) of from into the same place of to.
void MergeRuns(const std::vector<int32_t>& from, std::vector<int32_t>* to, size_t low,
               size_t middle, size_t high,
               const std::function<int32_t(int32_t, int32_t)>& compare) {
  size_t left = low, right = middle, out = low;
  // Runs already in order (sorted or equal input) cost one comparison;
  // between single positions that is the merge's own.
  if (middle - low > 1 && compare(from[middle - 1], from[middle]) <= 0) {
    std::copy(from.begin() + std::ptrdiff_t(low), from.begin() + std::ptrdiff_t(high),
              to->begin() + std::ptrdiff_t(low));
    return;
  }
  while (left < middle && right < high) {
    (*to)[out++] = compare(from[left], from[right]) > 0 ? from[right++] : from[left++];
  }
  while (left < middle) (*to)[out++] = from[left++];
  while (right < high) (*to)[out++] = from[right++];
}

}  // namespace

std::vector<int32_t> StableSortedOrder(int32_t count,
                                       const std::function<int32_t(int32_t, int32_t)>& compare) {
  const size_t n = count > 0 ? size_t(count) : 0;
  std::vector<int32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = int32_t(i);
  std::vector<int32_t> other(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t low = 0; low < n; low += 2 * width) {
      const size_t middle = std::min(low + width, n);
      const size_t high = std::min(low + 2 * width, n);
      if (middle < high) {
        MergeRuns(order, &other, low, middle, high, compare);
      } else {
        std::copy(order.begin() + std::ptrdiff_t(low), order.begin() + std::ptrdiff_t(high),
                  other.begin() + std::ptrdiff_t(low));
      }
    }
    order.swap(other);
  }
  return order;
}
