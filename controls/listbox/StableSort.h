// A stable sort of positions 0..count-1 by a comparison of two positions,
// for sorts whose comparison is the application's: a bottom-up merge sort
// over a permutation. Whatever the comparison answers (inconsistent,
// asymmetric, random) the result holds every position exactly once, no
// index leaves the range, and at most about count * log2(count) comparisons
// are made without recursion. Portable: no Windows header.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// compare(a, b) > 0 puts b before a, where a came first; any other answer
// keeps their order, so equal positions stay in their original order.
std::vector<int32_t> StableSortedOrder(int32_t count,
                                       const std::function<int32_t(int32_t, int32_t)>& compare);
