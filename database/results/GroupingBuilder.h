// GROUP BY and aggregates: a RecordSet into a grouped result
// (SpooledResult.h), computed once, at creation: the source is drained into
// a spool of group rows (left at its end, open), so the four moves walk the
// groups as a sorted result's rows.
//
// With a group column the source comes sorted on it, and a group is a run
// of rows whose group values compare equal in the sort's order (ValueOrder.h:
// 0 and -0, 1 and 1.0 are one group; NULL and '' are two); without one all
// rows are one group, and an empty source gives no row.
//
// Columns (kinds as the builder slot's: 0 plain, 1 COUNT, 2 AVG, 3 SUM,
// 4 MIN, 5 MAX; anything else reads as plain): a plain column shows its
// value in the group's first row; COUNT counts every row of the group
// (type 3); SUM, MIN and MAX take the numeric values (codes 2, 3, 6, 7) and
// skip the rest; AVG is SUM / COUNT at the group's end, so it does not
// depend on row order (type 7 each). SUM of no numeric value is 0; MIN and
// MAX of none are null, since 0 is a value the data does not hold. Columns
// have no names.
#pragma once
#include <cstdint>

struct RuntimeObject;

// The builder slot's function: a grouped result (the caller's), or nil with
// error 210 on the source's database when the spool cannot be made or
// written or the source is closed during the drain.
RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, int32_t count,
                                  bool hasGroupColumn, int32_t groupColumn, int32_t hidden);
