// GROUP BY and aggregates: a RecordSet into a grouped result
// (SpooledResult.h), computed once, at creation: the source is drained into
// a spool of group rows (left at its end, open), so the four moves walk the
// groups as a sorted result's rows.
//
// The groups and their columns are RowGrouper's (RowGrouping.h). Columns
// have no names.
#pragma once
#include <cstdint>

struct RuntimeObject;

// The builder slot's function: a grouped result (the caller's), or nil with
// error 210 on the source's database when the spool cannot be made or
// written or the source is closed during the drain.
RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, int32_t count,
                                  bool hasGroupColumn, int32_t groupColumn, int32_t hidden);
