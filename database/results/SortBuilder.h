// ORDER BY: any RecordSet into a sorted result (SpooledResult.h).
//
// Rows are read once, to the source's end (the source stays open, at EOF),
// and sorted by RowSorter (RowSort.h) with its default budget and merge
// width.
//
// Keys outside the columns compare as null. The sorted result shows the
// source's names of its first n - hidden columns.
#pragma once
#include <cstdint>

#include "database/sql/ResultBuilders.h"

class BuilderSource;
class RowSorter;

// The builder slot's function: a sorted result (the caller's), or nil with
// error 210 on the source's database when a spool cannot be made or written
// or the source is closed during the sort.
RuntimeObject* BuildSortedResult(RuntimeObject* source, int32_t keyCount, const DBSortKey* keys,
                                 int32_t hidden);

// Every row of the source (its first `columns` values) into the sorter,
// to the source's end; false when the source was closed meanwhile or a run
// could not be written.
bool DrainIntoSorter(BuilderSource& source, int32_t columns, RowSorter* sorter);
