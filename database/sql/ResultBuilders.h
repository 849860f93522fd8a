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
// One row per group of the source's rows: kinds[i] is column i's aggregate
// (0 plain, 1 COUNT, 2 AVG, 3 SUM, 4 MIN, 5 MAX). With a group column the
// source comes sorted on it and each run of equal values is a group;
// without, all rows are one group. The last `hidden` columns are not shown.
using GroupingBuilder = RuntimeObject* (*)(RuntimeObject* source, const int32_t* kinds,
                                           int32_t count, bool hasGroupColumn,
                                           int32_t groupColumn, int32_t hidden);

SortBuilder SetSortBuilder(SortBuilder builder);
GroupingBuilder SetGroupingBuilder(GroupingBuilder builder);
SortBuilder InstalledSortBuilder();
GroupingBuilder InstalledGroupingBuilder();
