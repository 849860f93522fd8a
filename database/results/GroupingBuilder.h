// GROUP BY and aggregates: a RecordSet into a grouped result
// (SpooledResult.h), computed once, at creation: the source is drained into
// a spool of group rows (left at its end, open), so the four moves walk the
// groups as a sorted result's rows.
//
// With sort keys the source's rows (all its columns) go through a RowSorter
// (RowSort.h), as BuildSortedResult sorts them, and the sorter hands its
// rows straight to the grouper in their order: the sorted rows are not
// stored as a result of their own. The groups and their columns are
// RowGrouper's (RowGrouping.h), grouped on the first key's column. Columns
// have no names.
#pragma once
#include <cstdint>

#include "database/sql/ResultBuilders.h"

// The builder slot's function: a grouped result (the caller's), or nil with
// error 210 on the source's database when the spool cannot be made or
// written or the source is closed during the drain.
RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, const int32_t* columns,
                                  int32_t count, int32_t keyCount, const DBSortKey* keys, int32_t hidden);
