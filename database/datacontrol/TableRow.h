// The row of a table that a query's current row shows, for a DataControl
// whose set cannot write its rows itself: a sorted or grouped result holds
// copies of the rows, with no Update and no column locators, so an edit or a
// delete made through it would be refused as "not updatable" and lost.
//
// The row is found by its values: the table's cursor is opened with a filter
// that each column of the query's row the table also has (names compared
// without case) must meet, "=" on the value as lossless text (the text a
// join passes, SQLRowCheck.h) or IS NULL for a null. So the engine compares
// the values and, where the query shows the table's leading key columns,
// seeks them. It is found only when exactly one row matches: two rows alike
// in every column the query shows are not told apart, and neither is
// written. A second cursor under the same filter looks past the first match
// for another.
#pragma once

#include <vector>

#include "core/SmartRef.h"

// Whether the set writes its own rows (an engine Update or column
// locators) and deletes them (an engine DeleteRecord).
bool SetWritesItsRows(RuntimeObject* set);
bool SetDeletesItsRows(RuntimeObject* set);

// A new set over the table standing on the one row that the set's current
// row shows, given the table's column names; nil when there is none or more
// than one, the set shares no column with the table, or it stands on no row.
ObjectRef OpenTableRowOf(RuntimeObject* database, StringRecord* table,
                         const std::vector<StringRef>& tableColumns, RuntimeObject* set);
