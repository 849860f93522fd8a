// The list box's in-place cell editor: a single-line rich-edit pane inside
// the list, out of view at (-10, -10, -10, -10) while no cell is edited
// (the list's paints place it on its cell), with an EditField object that
// has the pane as its own (the list's ActiveCell).
//
// It opens on a cell with the cell's text, in the list's font with the
// cell's styles and size, making the cell editable meanwhile, and raises
// the list's cell events: CellGotFocus when it takes the focus,
// CellTextChange, CellKeyDown for each key (true keeps the key from it),
// and at the end CellAction (a commit only) and CellLostFocus, after which
// the edited row is the list's only selected row. Return commits and
// Escape cancels, each then focusing the list; losing the focus commits.
// The Edit menu works in it as in an EditField.
//
// Every event may change the rows or close the window: the edited row is
// found again by its record after each, a gone row ends the edit with a
// full redraw, and a closing list is not touched again.
#pragma once

#include "controls/listbox/runListbox.h"

// A new editor for the list (the list's to own).
ListCellEditor* NewListCellEditPane(runListbox* list);
