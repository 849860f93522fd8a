// The result of a SELECT the front-end answers itself: a RecordSet over a
// cursor of its own that joins one table cursor per FROM table.
//
// Join: nested loops, the last table moving fastest. Each table's cursor is
// opened (column list "*") with the filter of the conditions on it: its
// comparisons with literals, and comparisons with a column of an earlier
// table, whose current value is passed as lossless text (a NULL there gives
// a filter no row meets). A combination is returned when the whole WHERE
// holds for it; that test is skipped when the filters already decide it (no
// OR, no comparison between two columns of one table). A table that cannot
// be opened ends the rows. The built-in engine seeks a table's key from "="
// on its leading key columns, and an inner table's cursor of that engine is
// kept at its end and restarted under the next outer row's filter rather
// than opened again.
//
// The cursor keeps the parsed statement, the database (locked) and its row
// number r, the count of moves since it started. MoveFirst closes the table
// cursors and starts again; MovePrev starts again and moves to row r - 1
// (row 1 stays); MoveLast counts the rows and moves to the last.
//
// Slots (as any engine's cursor table): 2 close, 3 column count (entries
// less the hidden ones), 4 names ("t.c" when a qualifier was written), 5 the
// first table cursor's row count, 6/7 values read from the source table's
// cursor, 8 move next, 9 delete, 11 locator, 12 update, 13 edit, 14-16 the
// moves back, 17 the source column's type. Slot 10 is empty. Changes (9, 11,
// 12) reach the table's cursor only when there is one table; with more,
// delete and update set error 209 and the locator answers false.
#pragma once
#include <cstdint>

#include "database/sql/SQLStatements.h"

struct RuntimeObject;

// A RecordSet (the caller's) over a validated statement, standing on its
// first row; the last `hidden` entries are not shown.
RuntimeObject* MakeSelectCursor(RuntimeObject* database, SQLSelectStatement select,
                                int32_t hidden, uint32_t encoding);
