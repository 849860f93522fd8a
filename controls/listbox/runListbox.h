// The list box pane: the pane behind every Listbox control. On the list pane
// (NuListbox.h: row count, selection, caret, scrolling by rows) it keeps
// what a row holds: row records with their cells, folder rows and their
// children, per-cell attributes over the column defaults kept on the
// control, rows read from a bound list data provider, and the control's
// events raised from what happens in the pane. It is its own row provider
// and its own list listener.
//
// Rows. An array of ListBoxRow records, index = row, each owning a linked
// list of ListBoxCell records (at most one per column, new ones at the
// tail). A list bound to a list data provider (the control's listProvider)
// has no records: its rows are the provider's (BoundRow). Every operation
// that inserts, removes, swaps or reorders records moves the row-structure
// counter.
//
// Events. Handlers are looked up once, at construction, and raised only
// through Fire: the control first, the control held and the pane's owner
// chain locked for the call. A handler may change the rows or close the
// window; an operation that fired an event stops at once when the pane is
// closing, and one that goes on with a row number first checks the counter:
// a moved row is found again by its record, a gone one ends the operation
// with a full redraw.
//
// Drawing (runListboxDrawing.cpp). Rows are drawn into an off-screen
// picture held from paint to paint (the window gets it in one copy) with a
// cache of the cells it shows: scrolling moves the old image and draws only
// what came into view, and an invalidated cell costs the cache the cheaper
// side of it. An invalidation of a row outside the view touches nothing;
// one made during a paint (by a paint handler) only marks the paint, which
// then drops the cache and asks for another. The paint events run through
// Fire with a Graphics of their own; a handler that changes the rows ends
// the paint's row drawing, one that closes the window ends the paint. The
// list's window clips its children (headings, bars, the cell editor), and
// every paint places the editor on its cell, or parks it out of view.
// The editor is whatever the editor factory makes: by default the
// rich-edit one of ListCellEditPane.h.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ControlPattern.h"
#include "controls/listbox/ListBox.h"
#include "controls/listbox/NuListbox.h"
#include "core/GrowArray.h"
#include "core/SmartRef.h"

class BitmapPicture;
class GraphicsPort;
class runListbox;

// ---- Rows and cells ----------------------------------------------------------

// Border styles of a cell side: 0 not set, 1 none, 2 thin dotted, 3 thin
// solid, 4 thick, 5 double.
enum CellSide : int32_t { kCellTop, kCellLeft, kCellBottom, kCellRight };

// A cell (RuntimeAlloc'd, zero at birth).
struct ListBoxCell {
  ListBoxCell* next;
  uint8_t style;          // bold 1, italic 2, underline 4, over the list's own
  StringRecord* text;     // locked; nil reads as ""
  RuntimeObject* object;  // locked; column 0's is the row's picture
  uint8_t column;         // 0..63
  uint8_t cellType;       // 0 the column's, 1 normal, 2 check box, 3 editable
  uint8_t checked;
  uint8_t alignment;  // 0 the column's, 1 left, 2 centre, 3 right, 4 decimal
  int32_t alignmentOffset;
  int16_t textSize;    // points; 0 the list's
  uint8_t borders[4];  // by CellSide
};

// A row record (RuntimeAlloc'd); it owns its cells.
struct ListBoxRow {
  int16_t folderState;  // -1 no folder, 0 collapsed, 1 expanded
  int16_t depth;        // 0 top level, a child its parent's + 1
  ListBoxCell* cells;
};

// A new cell of the column (0..63); nil outside.
ListBoxCell* NewListBoxCell(int32_t column);
// Destroys the cell and those after it: objects unlocked, texts released.
void DestroyListBoxCells(ListBoxCell* head);

// ---- The in-place cell editor, as the pane sees it --------------------------

// The editor the pane opens on a cell and ends when rows change under it.
// The pane owns it; Close comes with the pane's.
class ListCellEditor {
 public:
  virtual ~ListCellEditor() = default;
  // Opens the editor on the cell (a row and a used column of the list).
  virtual void StartEdit(int32_t row, int32_t column) = 0;
  // Closes it; with commit the text goes into the cell first.
  virtual void EndEdit(bool commit) = 0;
  // Both -1 while no cell is edited.
  virtual int32_t EditRow() const = 0;
  virtual int32_t EditColumn() const = 0;
  // The text being edited (a new reference).
  virtual StringRecord* Text() = 0;
  virtual HWND Window() const = 0;
  // The EditField object standing for the editor (borrowed).
  virtual RuntimeObject* EditFieldObject() const = 0;
  // The list pane closes: the editor's window and object go.
  virtual void Close() = 0;
};
// Makes the editor of a new list pane; nil for none.
using ListCellEditorFactory = ListCellEditor* (*)(runListbox* list);
// Installs the factory every new list pane asks; gives the previous one.
ListCellEditorFactory SetListCellEditorFactory(ListCellEditorFactory factory);

// ---- How the pane reaches the framework's drag -----------------------------

class ListDragSeam {
 public:
  virtual ~ListDragSeam() = default;
  // Whether the press at the point (top-window terms) becomes a drag.
  virtual bool DetectDrag(SubPane* pane, int32_t x, int32_t y) = 0;
  // Carries the item to its drop or cancel (DragItem.h's modal drag).
  virtual void Drag(RuntimeObject* dragItem) = 0;
};
// Installs the seam every list uses (nil: the framework's own); gives the
// previous one.
ListDragSeam* SetListDragSeam(ListDragSeam* seam);

// ---- Rows of a bound list --------------------------------------------------

// One row of a list data provider: the row object "GetRow"(row + 1) gave,
// held until this goes, and its field count.
class BoundRow {
 public:
  BoundRow(RuntimeObject* provider, int32_t row);
  int32_t FieldCount() const { return fieldCount_; }
  // Field column + 1 (a new reference); "" at or beyond the field count.
  StringRef Text(int32_t column) const;

 private:
  ObjectRef row_;
  int32_t fieldCount_ = 0;
};

// ---- The pane ----------------------------------------------------------------

// What a fired event left.
struct EventOutcome {
  bool closing;  // the pane is closing: touch nothing more
  bool handled;  // a Boolean event's answer (false for the others)
};

// An invalidation asked of the pane, recorded until cells are drawn.
struct InvalidationCall {
  enum Kind : uint8_t { kCells, kRow, kColumn, kFromRow, kFromColumn } kind;
  int32_t row;
  int32_t column;
};

class runListbox : public NuListbox,
                   public ListPaneListener,
                   public ListRowProvider,
                   public BoundControlPart {
 public:
  // A pane on the control (held until the pane goes; nil for none) with its
  // SelectionType, grid styles and handlers, one column, no sorted column.
  runListbox(RuntimeObject* control, SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  RuntimeObject* Control() const { return control_.get(); }
  // The bound list data provider (borrowed); nil when not bound.
  RuntimeObject* ListProvider() const;
  bool IsBound() const { return ListProvider() != nullptr; }
  // Unbinds: the provider loses this list as a receiver and is released.
  void DetachListProvider();
  bool IsHierarchical() const { return hierarchical_ != 0; }
  void SetHierarchical(bool hierarchical) { hierarchical_ = hierarchical ? 1 : 0; }
  // The list's default grid style of horizontal or vertical cell edges.
  uint8_t GridStyle(bool horizontal) const { return gridStyles_[horizontal ? 0 : 1]; }
  void SetGridStyle(bool horizontal, uint8_t style) { gridStyles_[horizontal ? 0 : 1] = style; }
  // Whether the focused list draws its focus ring, and whether rows can be
  // dragged to a new place in the list (the list's own drag).
  bool UsesFocusRing() const { return focusRing_ != 0; }
  void SetUsesFocusRing(bool uses) { focusRing_ = uses ? 1 : 0; }
  bool DragReorderEnabled() const { return dragReorder_ != 0; }
  void SetDragReorderEnabled(bool enabled) { dragReorder_ = enabled ? 1 : 0; }

  // ---- Events ----
  // Raises the event with its parameters (nothing without a handler).
  template <class... Parameters>
  EventOutcome Fire(ListEvent event, Parameters... parameters);
  EventOutcome FireExpandRow(int32_t row);
  EventOutcome FireCollapseRow(int32_t row);
  EventOutcome FireDragRow(RuntimeObject* dragItem, int32_t row);
  bool FireDragReorderRows(int32_t newPosition) override;

  // ---- Rows ----
  // Insertions, removals, swaps and reorderings so far.
  uint32_t RowStructureCount() const { return structureCount_; }
  // Where the record that was at row is after changes since count (a
  // RowStructureCount); -1 when it is gone.
  int32_t RowAfterChange(const ListBoxRow* record, int32_t row, uint32_t count) const;
  // Each ends a cell edit with commit, then takes the cells (destroyed when
  // nothing is added); -1 when bound or the pane closed.
  int32_t AddRowRecord(ListBoxCell* cells, int16_t depth, int16_t folderState);
  // at is held to 0..RowCount().
  int32_t InsertRowRecord(int32_t at, ListBoxCell* cells, int16_t depth, int16_t folderState);
  void RemoveRowRecord(int32_t row);
  // Ends a cell edit first: without saving when the edited row is among the
  // rows, with commit otherwise.
  void RowsRemoved(int32_t at, int32_t count) override;
  void RemoveAllRows();
  // Nil when bound or outside the rows.
  ListBoxRow* GetRowRecord(int32_t row) const;
  ListBoxCell* GetRowCells(int32_t row) const;
  // The cell of a column 0..63; with create one is made at the tail when
  // missing. Nil when bound or outside.
  ListBoxCell* FindCell(int32_t row, int32_t column, bool create);
  // Borrowed. Setting locks the new object, unlocks the old one and redraws
  // the cell; an equal object changes nothing.
  RuntimeObject* GetRowObject(int32_t row, int32_t column) const;
  void SetRowObject(int32_t row, int32_t column, RuntimeObject* object);
  RuntimeObject* RowPicture(int32_t row) const { return GetRowObject(row, 0); }
  void SetRowPicture(int32_t row, RuntimeObject* picture) { SetRowObject(row, 0, picture); }
  // Exchanges two runs of rows apart from each other.
  void SwapRowRuns(int32_t first1, int32_t count1, int32_t first2, int32_t count2);

  // ---- Folders ----
  int32_t RowDepth(int32_t row) const;
  // The first row after row not deeper than it, or the row count.
  int32_t NextRowAtSameOrLowerDepth(int32_t row) const;
  bool IsRowExpanded(int32_t row) const;
  // False when bound or the row is not a collapsed (expanded) folder.
  bool ExpandFolder(int32_t row);
  bool CollapseFolder(int32_t row);
  // Hierarchical, not bound: the rows deeper than row after it, as one
  // removal.
  void RemoveChildRows(int32_t row);
  // ExpandRow events running, and the row of the innermost (-1 outside).
  int32_t ExpansionDepth() const { return expansionDepth_; }
  int32_t ExpandingRow() const { return expandingRow_; }
  // Adds a row as the language adds one: during an ExpandRow event as the
  // expanding row's next child (after the one added before it, without
  // walking the children), otherwise at the end at depth 0. The new row, or
  // -1 as AddRowRecord.
  int32_t AddRowPlaced(ListBoxCell* cells, int16_t folderState);

  // ---- Cell attributes (defaults outside columns 0..63) ----
  int32_t EffectiveCellType(int32_t row, int32_t column) const;
  int32_t EffectiveAlignment(int32_t row, int32_t column) const;
  int32_t EffectiveAlignmentOffset(int32_t row, int32_t column) const;
  int32_t EffectiveTextSize(int32_t row, int32_t column) const;
  // The style of a side; combined, the larger of the side and the facing
  // side of the neighbour, and when that is 0 the list's grid style. 0
  // outside the rows and columns 0..63.
  int32_t CellBorderStyle(CellSide side, int32_t row, int32_t column, bool combine) const;
  void SetCellBorderStyle(CellSide side, int32_t row, int32_t column, uint8_t style);

  // ---- The cell editor ----
  ListCellEditor* CellEditor() const { return editor_.get(); }
  int32_t EditRow() const { return editor_ ? editor_->EditRow() : -1; }
  int32_t EditColumn() const { return editor_ ? editor_->EditColumn() : -1; }
  // Opens the editor on a row and a used column, scrolled into view, after
  // committing an open edit; nothing when bound or outside.
  void EditCell(int32_t row, int32_t column);
  // Scrolls the fewest rows and pixels that show the cell (nothing for -1).
  void ScrollCellIntoView(int32_t row, int32_t column);
  // A key character as the key events give it (a new reference).
  static StringRecord* KeyString(uint32_t codePoint);
  // Ends an open edit; false when the pane is closing afterwards.
  bool EndCellEdit(bool commit);
  // The editor's EditField object while a cell is edited (borrowed).
  RuntimeObject* ActiveCell() const;

  // ---- Clicks (runListboxClicks.cpp) ----
  // A press on a row (x, y from its top-left): after committing an open
  // edit, the cell's CellClick event, then an editable cell opens the
  // editor with its text selected, a check box strip flips the box and
  // fires CellAction, a folder's triangle expands or collapses it. True
  // when the press is spent (no selection follows). A bound list has
  // neither editable nor checkable cells.
  bool ClickRow(int32_t row, int32_t x, int32_t y, uint32_t modifiers) override;
  // Handed to the control's MouseDown (pane-relative point) first; its true
  // sends the drags and the release to MouseDrag and MouseUp instead of
  // the list.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;

  // ---- Dragging rows (runListboxDragging.cpp) ----
  // A press on a row that becomes a drag: the row selected (silently) when
  // it was not, DragRow fired with a new drag item, and the drag run when
  // it answers true or the list reorders its rows by dragging. Then one
  // Change. False when the press is no drag. (x, y) in top-window terms.
  bool BeginRowDrag(int32_t row, int32_t x, int32_t y);
  // While rows are dragged within the list: the list is the target at
  // every point; tracking scrolls near the top and bottom edges and marks
  // where the rows would go; a drop there fires DragReorderRows and, when
  // it answers false, moves them (not in a hierarchical or bound list).
  SubPane* FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem) override;
  void TrackDrag(int32_t x, int32_t y, RuntimeObject* dragItem) override;
  void DragExit(RuntimeObject* dragItem) override;
  void NotifyDelegate(int32_t code, int32_t argument) override;
  // Where dragged rows would be inserted (-1: nowhere yet).
  int32_t InsertionRow() const { return insertionRow_; }

  // ---- Selection receivers (listSelectionNotificationReceiver) ----
  void AddSelectionReceiver(RuntimeObject* receiver);
  // The first equal entry; nothing when absent.
  void RemoveSelectionReceiver(RuntimeObject* receiver);

  // ---- Sorting ----
  // A used column's HeaderPressed event, then (unhandled) its sort.
  void HeaderPressed(int32_t column) override;
  // Sorts the top-level rows, each with its children, by the column in its
  // sort direction; the SortColumn and CompareRows events can take over.
  // Outside the used columns only redraws; nothing while this list sorts.
  void SortByColumn(int32_t column) override;
  bool IsSorting() const { return sorting_ != 0; }

  // ---- Invalidation ----
  // A row or column below -1 raises OutOfBoundsException. (-1, -1) empties
  // the cell cache; a cell in it costs the cache its rows or its columns on
  // the side of the cell that holds fewer cells. Rows outside the view do
  // nothing; while inserted or removed rows wait for the turn's redraw,
  // nothing is drawn at once.
  void InvalidateCells(int32_t row, int32_t column) override;
  void InvalidateRow(int32_t row) override;
  void InvalidateColumn(int32_t column) override;
  void InvalidateFromRow(int32_t row) override;
  void InvalidateFromColumn(int32_t column) override;
  // The calls since the last take (the latest 64).
  std::vector<InvalidationCall> TakeInvalidations();
  // The list's own window only (no children), at once; during a paint only
  // marked, for the paint to ask for another.
  void Invalidate(bool erase) override;
  void Redraw() override;

  // ---- Drawing ----
  void Draw(GraphicsPort* port) override;
  // Fills the rectangle with the window colour.
  void DrawBackground(GraphicsPort* port, const MacRect& rect) override;
  // The cells of the row outside the cache.
  void DrawRow(GraphicsPort* port, int32_t row, const MacRect& rowRect, bool selected) override;
  // Draws every cell of the row now and shows it in graphics (nil: the
  // pane's own port); during a paint it only asks for another.
  void RedrawRow(GraphicsPort* graphics, int32_t row, const MacRect& rowRect,
                 bool selected) override;
  void DrawCaretRow(GraphicsPort* port) override;
  // The sunken frame, or the theme's list frame when themed.
  void DrawBorder(GraphicsPort* port);
  // Forgets the picture and its cache, then lays the columns out again.
  void SetBounds(const MacRect& rect, bool redraw) override;
  // The held picture (borrowed; nil before the first paint, after SetBounds
  // and when the pane draws straight into its window).
  BitmapPicture* BufferPicture() const;
  // What the paints did so far: paints, cells drawn, paint events fired,
  // window invalidations asked.
  int32_t PaintCount() const { return paintCount_; }
  int32_t DrawCellCount() const { return drawCellCount_; }
  int32_t PaintEventCount() const { return paintEventCount_; }
  int32_t WindowInvalidationCount() const { return windowInvalidations_; }

  // ---- Geometry and fonts ----
  // Uniform: the control's DefaultRowHeight when 0 or more, else the font's
  // line height (at least 18 in a hierarchical list); never below 1.
  int32_t RowHeight(int32_t row) override;
  void FontChanged() override;
  void ApplyTextStyleToHeadings(const FontDescriptor& font);
  // The list's text style changed: the cells and headings take the font and
  // the row height is measured again.
  void SetTextFont(const FontDescriptor& font) override;
  // The column edges and headings follow; the widths stay.
  void SetScrollPositionX(int32_t x) override;
  // Through the horizontal bar when there is one.
  void SetScrollPositionXByBar(int32_t x);

  // ---- Data-source binding (kind kBoundListBox) ----
  void SetDataSourceName(StringRecord* name) override { binding_.SetName(name); }
  void BindDataSource() override;
  void UnbindDataSource() override;
  const DataSourceBinding& Binding() const { return binding_; }

  // ---- Keys, focus, menus ----
  // KeyDown first; then the list's keys, then the folder keys.
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  bool CharacterEntry(uint32_t codePoint, uint32_t modifiers) override;
  using NuListbox::KeyToOwner;
  // In a hierarchical list with a selection, Left collapses and Right
  // expands the first selected row; true when that changed it.
  bool KeyToOwner(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers);
  void TakeFocus() override;
  void LoseFocus() override;
  void EnableMenuItems() override;
  bool HandleMenuItem(RuntimeObject*) override { return false; }

  // ---- The list listener ----
  void DoubleClick(NuListbox* pane) override;
  void SelectionChanging(NuListbox* pane) override;
  void SelectionChanged(NuListbox* pane) override;
  void Scrolled(NuListbox* pane, int32_t delta) override;

  // Hands the child panes that are not the list's own to the pane that
  // encloses them.
  void ReembedAll() override;
  void Close() override;

 protected:
  ~runListbox() override;

 private:
  struct SortRun {
    int32_t first;
    int32_t count;
  };

  ListBoxRow* RecordAt(int32_t row) const;
  ListBoxCell* CellOf(int32_t row, int32_t column) const;
  StringRecord* CellText(int32_t row, int32_t column) const;  // borrowed
  EventOutcome FireKeyDown(uint32_t codePoint);
  bool IsOwnPart(SubPane* child) const;
  // Inserts and removes records; the caller has ended any cell edit.
  int32_t InsertRecord(int32_t at, ListBoxCell* cells, int16_t depth, int16_t folderState);
  void RemoveRecords(int32_t first, int32_t count);
  // Destroys every record without telling the selection (closing).
  void DiscardRecords();
  // Ends a cell edit before rows [first, first + count) go.
  bool EndCellEditBeforeRemoving(int32_t first, int32_t count);
  void NotifyReceivers(const char* method);
  void RecordInvalidation(InvalidationCall::Kind kind, int32_t row, int32_t column);
  bool SortRuns(int32_t column, int32_t direction);
  // Run i against run j by the CompareRows event, else by the runs' texts.
  int32_t CompareRuns(const std::vector<SortRun>& runs, int32_t i, int32_t j, int32_t column,
                      int32_t direction);
  // Rebuilds the rows in one pass, the runs in the order given.
  void ApplyOrder(const std::vector<SortRun>& runs, const std::vector<int32_t>& order);

  // ---- Clicks ----
  bool IsFolder(int32_t row) const;
  // x from the cell's left, y from its top.
  bool CellClickDispatch(int32_t row, int32_t column, int32_t x, int32_t y,
                         const MacRect& cellRect);
  bool CheckBoxClick(int32_t row, int32_t column, int32_t x, int32_t y, const MacRect& cellRect);
  // x and y from the row's top-left.
  bool DisclosureClick(int32_t row, int32_t x, int32_t y);

  // ---- Dragging rows ----
  bool DragSelectedRows(int32_t row, int32_t x, int32_t y);
  void DrawInsertionMark();
  // The dragged rows to the insertion row's place, in one pass; false for
  // a drop inside the dragged rows, which tells no one.
  bool DropDraggedRows();
  // Moves the records of the rows given (ascending) to newPosition on.
  void MoveRecords(const std::vector<int32_t>& rows, int32_t newPosition);

  // ---- Drawing (runListboxDrawing.cpp) ----
  // The cells the held picture shows: rows and columns first..last; a first
  // row of -1 means none.
  struct CellCache {
    int32_t firstRow = -1, lastRow = -1;
    int32_t firstColumn = -1, lastColumn = -1;
    bool Holds(int32_t row, int32_t column) const {
      return firstRow >= 0 && row >= firstRow && row <= lastRow && column >= firstColumn &&
             column <= lastColumn;
    }
  };
  // Where a cell's content goes: C, the content rectangle less borders,
  // indent, glyph and picture, and what lies left of it.
  struct CellLayout {
    MacRect content;  // C before the indent
    MacRect text;     // C after it
    MacRect triangle;
    MacRect checkBox;
    int32_t pictureCentre;
    bool folder, hasCheckBox;
  };
  class BufferHolder;
  class CellPaintContext;

  void InvalidateCellsNow(int32_t row, int32_t column);
  // Invalidate, of the area only (the whole window for nil).
  void RepaintArea(const MacRect* area, bool erase);
  // Where the cells of a row, a column or both show (-1: all), with the
  // grid lines that reach out of them, cut to the content.
  MacRect CellsArea(int32_t row, int32_t column);
  // The row lies above the top row or past the last partly visible one.
  bool RowOutOfView(int32_t row);
  void ShrinkCache(int32_t row, int32_t column);
  // True while a pending row shift will redraw the whole view this turn;
  // the cache is then dropped.
  bool DeferredToTheTurn();
  // On one axis the cache keeps what lies before `from`, or goes.
  void InvalidateFrom(int32_t CellCache::*first, int32_t CellCache::*last, int32_t from);
  void DropCache();
  void ForgetBuffer();
  // The port to draw rows into: the held picture's (made at the first
  // paint), else graphics.
  GraphicsPort* BeginBufferedDrawing(GraphicsPort* graphics);
  void DrawRows(GraphicsPort* port);
  // Copies the held picture's part of the area to graphics; an area from
  // the content's left edge takes the pixel left of it too.
  void ShowBuffer(GraphicsPort* graphics, MacRect area);
  // After a paint or a row drawn at once: what changed meanwhile is drawn
  // by the next paint.
  void EndPaint();
  bool ScrollCachedImage(GraphicsPort* port, const MacRect& content);
  void EraseUncached(GraphicsPort* port, const MacRect& content);
  // False when the paint must stop drawing rows (rows changed or closing).
  bool DrawCell(GraphicsPort* port, const MacRect& cellRect, ListBoxCell* cell,
                const BoundRow* bound, int32_t row, int32_t column, bool selected);
  bool DrawCellText(GraphicsPort* port, const MacRect& c, StringRecord* text, uint8_t style,
                    int32_t row, int32_t column, bool selected);
  void DrawGridLines(GraphicsPort* port, const MacRect& cellRect, int32_t row, int32_t column);
  CellLayout LayoutCell(const MacRect& cellRect, const ListBoxCell* cell, int32_t row,
                        int32_t column) const;
  // Where the text starts in C; decimal digits that fit clear *keepSuffix.
  int32_t TextOffset(GraphicsPort* port, StringRecord* text, int32_t row, int32_t column,
                     int32_t contentWidth, bool* keepSuffix);
  bool RowHighlighted(bool selected) const;
  // The cell's rectangle when its row shows; false otherwise.
  bool CellRect(int32_t row, int32_t column, MacRect* rect);
  void PlaceEditor();
  // With both bars shown, the corner between them.
  void DrawScrollBarCorner(GraphicsPort* port);

  ObjectRef control_;
  ListboxFields* fields_;  // the control's; nil without one
  EventHandler handlers_[kListEventCount] = {};
  GrowArray rows_;
  uint32_t structureCount_ = 0;
  uint8_t hierarchical_ = 0;
  uint8_t rowHeightCached_ = 0;
  int32_t cachedRowHeight_ = 0;
  uint8_t gridStyles_[2] = {};  // horizontal, vertical
  uint8_t focusRing_ = 0;
  uint8_t dragReorder_ = 0;
  uint8_t mouseForwarded_ = 0;  // the MouseDown event took the press
  uint8_t reorderDrag_ = 0;     // rows are being dragged within the list
  int32_t insertionRow_ = -1;
  std::vector<int32_t> draggedRows_;  // ascending
  uint8_t expansionDepth_ = 0;
  int32_t expandingRow_ = -1;
  // Where the next child of the expanding row goes, while the counter says
  // nothing moved since.
  int32_t childInsertRow_ = -1;
  uint32_t childInsertCount_ = 0;
  uint8_t sorting_ = 0;
  std::vector<ObjectRef> selectionReceivers_;
  std::unique_ptr<ListCellEditor> editor_;
  DataSourceBinding binding_;
  std::vector<InvalidationCall> invalidations_;
  std::unique_ptr<BufferHolder> buffer_;
  uint8_t drawingOffscreen_ = 0;
  uint8_t needsRedraw_ = 1;
  uint8_t painting_ = 0;
  uint8_t invalidatedInPaint_ = 0;
  uint8_t bufferStale_ = 0;
  uint8_t shiftedVertically_ = 0;
  uint8_t shiftedHorizontally_ = 0;
  CellCache cache_;
  int32_t cachedTopRow_ = 0;
  int32_t cachedScrollX_ = 0;
  int32_t paintCount_ = 0;
  int32_t drawCellCount_ = 0;
  int32_t paintEventCount_ = 0;
  int32_t windowInvalidations_ = 0;
};

// The off-screen picture and the port drawing into it.
class runListbox::BufferHolder {
 public:
  // A picture of the size at the first of the depths 32, 16, 8 that gets a
  // bitmap; Port() is nil when none did.
  BufferHolder(int32_t width, int32_t height);
  ~BufferHolder();
  BufferHolder(const BufferHolder&) = delete;
  BufferHolder& operator=(const BufferHolder&) = delete;
  BitmapPicture* Picture() const { return picture_; }
  GraphicsPort* Port() const { return port_; }

 private:
  BitmapPicture* picture_ = nullptr;
  GraphicsPort* port_ = nullptr;
};

template <class... Parameters>
EventOutcome runListbox::Fire(ListEvent event, Parameters... parameters) {
  EventOutcome outcome{IsClosing(), false};
  EventHandler handler = handlers_[event];
  if (!handler || outcome.closing) return outcome;
  RuntimeObject* control = control_.get();
  ObjectRef held = ObjectRef::Retain(control);
  OwnerChainLock lock(this);
  if (ListboxEventRecord(event).returnType) {
    outcome.handled =
        reinterpret_cast<bool (*)(RuntimeObject*, Parameters...)>(handler)(control, parameters...);
  } else {
    reinterpret_cast<void (*)(RuntimeObject*, Parameters...)>(handler)(control, parameters...);
  }
  outcome.closing = IsClosing();
  return outcome;
}
