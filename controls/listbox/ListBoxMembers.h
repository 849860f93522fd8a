// The Listbox class's properties and methods, as compiled code calls them.
//
// Every entry point checks its object (ListboxArgument) and then works on
// the control's pane. Before the pane exists a property with a stored copy
// in the control reads and writes the copy, which "CreatePane" hands to the
// pane; every other member does nothing and answers 0, false, "" or nil.
//
// Checks. A row is 0..ListCount-1 for every member that takes one except
// Selected (the pane ignores other rows) and InvalidateCell (as given). Cell
// members take columns 0..255 (cells exist for 0..63; others read as empty
// and take nothing). Columns otherwise follow CheckColumnIndex: used columns
// for ColumnType, ColumnAlignment, ColumnAlignmentOffset, PressHeader and
// HeadingIndex (with -1); the edge range for the CellBorder members,
// EditCell and the ColumnSortDirection getter; the edge range with -1 for
// Heading and the ColumnSortDirection setter. A failed check raises
// OutOfBoundsException, changes nothing and answers 0, false, "" or nil,
// -1 for the border getters and 1 for the ColumnSortDirection getter.
//
// Bound lists (ListBinding.h) read rows from their provider; setters that
// change rows or cells do nothing while the list is bound, before any check.
//
// Strings and objects returned are the caller's references; arguments are
// borrowed. A row added by the language keeps a reference to its text.
#pragma once
#include <cstdint>

#include "core/ObjectDefinition.h"

struct StringRecord;

// Cuts the control's InitialValue into rows at CR (CR LF once) and cells at
// TAB, adding rows through AddRow and cells through Cell; with HasHeading
// the first line gives the column headings (an empty one shows its
// number). Fields past column 63 are dropped, as is an empty last field.
void ListboxLoadInitialValue(RuntimeObject* control);

extern "C" {
// ---- Properties (getter: object, parameter; setter: object, parameter, value)

// TextFont, TextSize, Bold, Italic, Underline: the control's text style; a
// setter with a pane gives it the font (cells and headings).
StringRecord* listTextFontGetter(RuntimeObject* control, uint32_t parameter);
void listTextFontSetter(RuntimeObject* control, uint32_t parameter, StringRecord* value);
int32_t listTextSizeGetter(RuntimeObject* control, uint32_t parameter);
void listTextSizeSetter(RuntimeObject* control, uint32_t parameter, int32_t value);
bool listBoldGetter(RuntimeObject* control, uint32_t parameter);
void listBoldSetter(RuntimeObject* control, uint32_t parameter, uint8_t value);
bool listItalicGetter(RuntimeObject* control, uint32_t parameter);
void listItalicSetter(RuntimeObject* control, uint32_t parameter, uint8_t value);
bool listUnderlineGetter(RuntimeObject* control, uint32_t parameter);
void listUnderlineSetter(RuntimeObject* control, uint32_t parameter, uint8_t value);

int32_t listCountGetter(RuntimeObject* control, uint32_t parameter);
int32_t listSelCountGetter(RuntimeObject* control, uint32_t parameter);
// ListIndex: the row of an open cell edit, else the first selected row; -1
// for none or without a pane. The setter selects only that row (-1: none).
int32_t listSelectionGetter(RuntimeObject* control, uint32_t parameter);
void listSelectionSetter(RuntimeObject* control, uint32_t parameter, int32_t row);
// Text: column 0 of the first selected row.
StringRecord* listTextGetter(RuntimeObject* control, uint32_t parameter);
void listTextSetter(RuntimeObject* control, uint32_t parameter, StringRecord* text);
// ColumnCount: held to 1..64 as an unsigned number (0 gives 1, -1 gives 64).
int32_t listColumnCountGetter(RuntimeObject* control, uint32_t parameter);
void listColumnCountSetter(RuntimeObject* control, uint32_t parameter, int32_t count);
// ColumnWidths: the columns' width expressions joined by ", "; the setter
// gives the comma-separated parts, trimmed, to the columns in order, "1*" to
// columns left without one.
StringRecord* listColumnWidthsGetter(RuntimeObject* control, uint32_t parameter);
void listColumnWidthsSetter(RuntimeObject* control, uint32_t parameter, StringRecord* text);
int32_t listLastIndexGetter(RuntimeObject* control, uint32_t parameter);
// Stored flags and styles (read by the generic getters), applied to a pane.
void listHierarchicalSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void listEnableDragSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void ListEnableDragReorderSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void listHasHeadingSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void listHScrollBarSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void listVScrollBarSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void listHGridLinesSetter(RuntimeObject* control, uint32_t offset, int32_t style);
void listVGridLinesSetter(RuntimeObject* control, uint32_t offset, int32_t style);
void listDefaultRowHeightSetter(RuntimeObject* control, uint32_t offset, int32_t height);
// HeadingIndex and SortedColumn read the sorted column. HeadingIndex with a
// pane marks the heading and sorts (-1..count-1); SortedColumn only stores.
int32_t listSortedColumnGetter(RuntimeObject* control, uint32_t parameter);
void listHeadingIndexSetter(RuntimeObject* control, uint32_t parameter, int32_t column);
void listSortedColumnSetter(RuntimeObject* control, uint32_t parameter, int32_t column);
// ScrollPosition: the first visible row (a negative one counts as 0);
// ScrollPositionX: the horizontal offset in pixels, through the bar.
int32_t listScrollPositionGetter(RuntimeObject* control, uint32_t parameter);
void listScrollPositionSetter(RuntimeObject* control, uint32_t parameter, int32_t row);
int32_t listScrollPositionXGetter(RuntimeObject* control, uint32_t parameter);
void listScrollPositionXSetter(RuntimeObject* control, uint32_t parameter, int32_t x);
// ActiveCell: the EditField of the open cell editor; nil when none is open.
RuntimeObject* listActiveCellGetter(RuntimeObject* control, uint32_t parameter);

// ---- Rows ----
void RuntimeListEmpty(RuntimeObject* control);
// AddRow and AddFolder add at the end at depth 0, or, while an ExpandRow
// handler runs, as the expanding row's next child. InsertRow and
// InsertFolder hold the row to 0..ListCount. LastIndex is the new row.
void RuntimeListAddRow(RuntimeObject* control, StringRecord* text);
void RuntimeListAddParent(RuntimeObject* control, StringRecord* text);
void RuntimeListInsertRow(RuntimeObject* control, int32_t row, StringRecord* text);
void RuntimeListInsertParent(RuntimeObject* control, int32_t row, StringRecord* text);
void RuntimeRemoveRow(RuntimeObject* control, int32_t row);
// List(row): column 0's text.
StringRecord* RuntimeGetRow(RuntimeObject* control, int32_t row);
void RuntimeSetRow(RuntimeObject* control, int32_t row, StringRecord* text);
RuntimeObject* listGetRowPicture(RuntimeObject* control, int32_t row);
void listSetRowPicture(RuntimeObject* control, int32_t row, RuntimeObject* picture);
bool listGetSelected(RuntimeObject* control, int32_t row);
void listSetSelected(RuntimeObject* control, int32_t row, uint8_t selected);
bool listGetExpanded(RuntimeObject* control, int32_t row);
void listSetExpanded(RuntimeObject* control, int32_t row, uint8_t expanded);

// ---- Cells ----
// Cell(row, column): the open editor's text when it edits that cell.
StringRecord* listGetCell(RuntimeObject* control, int32_t row, int32_t column);
void listSetCell(RuntimeObject* control, int32_t row, int32_t column, StringRecord* text);
// Style bits bold 1, italic 2, underline 4 over the list's own style; only
// a change redraws the cell.
bool listGetCellBold(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellBold(RuntimeObject* control, int32_t row, int32_t column, uint8_t value);
bool listGetCellItalic(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellItalic(RuntimeObject* control, int32_t row, int32_t column, uint8_t value);
bool listGetCellUnderline(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellUnderline(RuntimeObject* control, int32_t row, int32_t column, uint8_t value);
bool listCellCheckGetter(RuntimeObject* control, int32_t row, int32_t column);
void listCellCheckSetter(RuntimeObject* control, int32_t row, int32_t column, uint8_t value);
int32_t listCellTypeGetter(RuntimeObject* control, int32_t row, int32_t column);
void listCellTypeSetter(RuntimeObject* control, int32_t row, int32_t column, int32_t value);
int32_t listCellAlignmentGetter(RuntimeObject* control, int32_t row, int32_t column);
void listCellAlignmentSetter(RuntimeObject* control, int32_t row, int32_t column, int32_t value);
int32_t listCellAlignmentOffsetGetter(RuntimeObject* control, int32_t row, int32_t column);
void listCellAlignmentOffsetSetter(RuntimeObject* control, int32_t row, int32_t column,
                                   int32_t value);
// Border styles of one side of the cell itself (not combined).
int32_t listGetCellBorderTop(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellBorderTop(RuntimeObject* control, int32_t row, int32_t column, int32_t style);
int32_t listGetCellBorderLeft(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellBorderLeft(RuntimeObject* control, int32_t row, int32_t column, int32_t style);
int32_t listGetCellBorderBottom(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellBorderBottom(RuntimeObject* control, int32_t row, int32_t column, int32_t style);
int32_t listGetCellBorderRight(RuntimeObject* control, int32_t row, int32_t column);
void listSetCellBorderRight(RuntimeObject* control, int32_t row, int32_t column, int32_t style);
void listInvalidateCell(RuntimeObject* control, int32_t row, int32_t column);
void listEditCell(RuntimeObject* control, int32_t row, int32_t column);

// ---- Columns, headings and sorting ----
// The control's per-column defaults, kept with or without a pane.
int32_t listColumnTypeGetter(RuntimeObject* control, int32_t column);
void listColumnTypeSetter(RuntimeObject* control, int32_t column, int32_t value);
int32_t listColumnAlignmentGetter(RuntimeObject* control, int32_t column);
void listColumnAlignmentSetter(RuntimeObject* control, int32_t column, int32_t value);
int32_t listColumnAlignmentOffsetGetter(RuntimeObject* control, int32_t column);
void listColumnAlignmentOffsetSetter(RuntimeObject* control, int32_t column, int32_t value);
// Heading(-1): every used column's caption joined by TAB; the setter takes
// such a text.
StringRecord* listGetHeading(RuntimeObject* control, int32_t column);
void listSetHeading(RuntimeObject* control, int32_t column, StringRecord* caption);
// 1 ascending, -1 descending, 0 none; the setter's -1 is every column.
int32_t listColumnSortDirectionGetter(RuntimeObject* control, int32_t column);
void listColumnSortDirectionSetter(RuntimeObject* control, int32_t column, int32_t direction);
void RuntimeListResort(RuntimeObject* control);
// As a click on the column's heading: the mark moves there and the list sorts.
void listColumnPressHeader(RuntimeObject* control, int32_t column);

// ---- Selection receivers (listSelectionNotificationReceiver) ----
void listAddLSNR(RuntimeObject* control, RuntimeObject* receiver);
void listRemoveLSNR(RuntimeObject* control, RuntimeObject* receiver);
}
