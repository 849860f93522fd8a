// The result that sorting and grouping hand out: rows in the row form
// (ValueOrder.h) in a row spool, served as a RecordSet through a cursor
// table of its own.
//
// Slots: Close, ColumnCount (the shown columns), ColumnName (the sorted
// result's names; a grouped result has none), ColumnValue and ReleaseValue
// (value i of the current row for a shown column, else null), MoveNext
// (true while a row is current), MovePrev (back one, not before the first),
// MoveFirst, MoveLast. The others are empty.
//
// The current row is read from the spool once, when a value of it is first
// asked for; a row whose bytes cannot be read or whose stored lengths run
// past it reads as nulls.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/SmartRef.h"
#include "database/results/RowSpool.h"

struct RecordSetFields;
struct RuntimeObject;
class SpooledRow;

// A RecordSet (the caller's) over the spool's rows of `columns` values, of
// which the first `shown` are visible; `names` (may be empty) are the shown
// columns' names. Nil when no set can be made.
RuntimeObject* NewSpooledResult(std::unique_ptr<RowSpool> spool, int32_t columns, int32_t shown,
                                std::vector<StringRef> names);
// The row a spooled result stands on, read from its spool if not yet
// (borrowed until the set moves or closes), with the number of its shown
// columns; null when the set is not an open spooled result standing on a
// row. Values past the shown ones, or of a row that could not be read, read
// as null through the set.
const SpooledRow* SpooledResultRow(const RecordSetFields* set, int32_t* shown);
