// ORDER BY: any RecordSet into a sorted result (SpooledResult.h).
//
// Rows are read once, to the source's end (the source stays open, at EOF),
// and captured into a run held in memory under a budget of 640,000 bytes
// (each value its length and 16 bytes, each row 8). A full run is sorted,
// stably, and written to the run spool; a row that alone is over the budget
// becomes a run of its own, whole. At the end the runs are merged, at most
// 64 at a time, each read through its own buffer. Rows are ordered by
// CompareRows (ValueOrder.h); rows equal in every column keep the reverse of
// their source order: within a run the later row first, across runs the
// later run's row first.
//
// Keys outside the columns compare as null. The sorted result shows the
// source's names of its first n - hidden columns.
#pragma once
#include <cstdint>

#include "database/sql/ResultBuilders.h"

// The builder slot's function: a sorted result (the caller's), or nil with
// error 210 on the source's database when a spool cannot be made or written
// or the source is closed during the sort.
RuntimeObject* BuildSortedResult(RuntimeObject* source, int32_t keyCount, const DBSortKey* keys,
                                 int32_t hidden);
