// Slots for the builders that turn a SELECT's joined rows into a sorted or
// a grouped result (ORDER BY, GROUP BY, aggregates). The query-results unit
// fills them at start-up; setting one gives back the previous builder. While
// one is empty, a SELECT that needs it fails with 203.
//
// Both take a RecordSet (borrowed; a builder keeps its own reference when it
// needs the source later) and give a new RecordSet standing on its first
// row (the caller's), or nil with the database's error set.
#pragma once
#include <cstdint>

struct RuntimeObject;

struct DBSortKey {
  int32_t column;  // 0-based, hidden columns after the visible ones
  uint8_t descending;
};

// Sorts the source's rows by the keys; the last `hidden` columns sort but
// are not shown.
using SortBuilder = RuntimeObject* (*)(RuntimeObject* source, int32_t keyCount,
                                       const DBSortKey* keys, int32_t hidden);
// One row per group of the source's rows. Column i of the result (of
// `count`; the last `hidden` not shown) is source column columns[i] (column
// i where columns is null) under the aggregate kinds[i] (0 plain, 1 COUNT,
// 2 AVG, 3 SUM, 4 MIN, 5 MAX). With sort keys (over the source's columns)
// the builder sorts the source's rows by them, as the sort builder would,
// and each run of rows whose first key's values are equal is a group;
// without, all rows are one group.
using GroupingBuilder = RuntimeObject* (*)(RuntimeObject* source, const int32_t* kinds,
                                           const int32_t* columns, int32_t count,
                                           int32_t keyCount, const DBSortKey* keys,
                                           int32_t hidden);

SortBuilder SetSortBuilder(SortBuilder builder);
GroupingBuilder SetGroupingBuilder(GroupingBuilder builder);
SortBuilder InstalledSortBuilder();
GroupingBuilder InstalledGroupingBuilder();
