// The row of a table that a query's current row shows, for a DataControl
// whose set cannot write its rows itself: a sorted or grouped result holds
// copies of the rows, with no Update and no column locators, so an edit or a
// delete made through it would be refused as "not updatable" and lost.
//
// The row is found by its values: a fresh "select * from [table]" is walked
// for the rows whose columns hold, as text, what the query's row holds in
// the columns of the same names (case ignored; nil matches only nil). It is
// found only when exactly one row matches: two rows alike in every column
// the query shows are not told apart, and neither is written.
//
// Each call runs the table's query (twice when a row is found): the cost of
// a save or a delete grows with the table's size.
#pragma once

#include "core/SmartRef.h"

// Whether the set writes its own rows (an engine Update or column
// locators) and deletes them (an engine DeleteRecord).
bool SetWritesItsRows(RuntimeObject* set);
bool SetDeletesItsRows(RuntimeObject* set);

// A new set over the table standing on the one row that the set's current
// row shows; nil when there is none or more than one, or the set stands on
// no row.
ObjectRef OpenTableRowOf(RuntimeObject* database, StringRecord* table, RuntimeObject* set);
