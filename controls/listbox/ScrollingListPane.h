// The scrolling list pane: the base of every list box pane. It owns the
// columns (ListColumnModel.h) and lays them out in its content rectangle,
// shows the optional heading row, one ColumnHeadingPane per column between
// two filler headings, and turns the mouse over that row into column drags
// (the divider at a heading's right edge) and sort clicks.
//
// The list pane above it (CommonListbox and its subclasses) supplies the
// list operations declared here (cell invalidation, column resized, header
// pressed, row count, scroll-bar update); they do nothing by default.
//
// Coordinates are the top window's, as for every pane. Column edges are 32
// bits; they are held to 16 bits only in the heading panes' rectangles.
//
// Lifetime. The heading strip (a plain "KV_Pane" holding the heading panes)
// and the heading panes belong to the window's pane tree, which disposes of
// them when the window closes; from the list pane's Close on they are the
// window's alone. Headings that a rebuild no longer needs are closed and
// disposed of here. A heading calls into its node with its owner chain (the
// list pane included) locked, so a handler that closes the window or
// changes the columns leaves nothing dangling: a node's operation touches
// nothing after its last call into the list.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/listbox/ColumnHeadingPane.h"
#include "controls/listbox/ListColumnModel.h"
#include "ui/SubPane.h"

class ScrollingListPane;

// Closes and disposes of a pane the list made and no longer needs, with the
// panes inside it.
void DisposePaneTree(SubPane* pane);

// One heading of the heading row: the left filler, a column, or the right
// filler. It is the heading pane's listener.
class HeadingNode : public HeadingListener {
 public:
  HeadingNode(ScrollingListPane* list, bool filler) : list_(list), filler_(filler) {}

  ColumnHeadingPane* Heading() const { return heading_; }
  void SetHeading(ColumnHeadingPane* heading) { heading_ = heading; }
  bool IsFiller() const { return filler_; }
  void SetFiller(bool filler) { filler_ = filler; }

  void TrackBegin(ColumnHeadingPane* heading, int32_t x, int32_t y) override;
  void HeadingClicked(ColumnHeadingPane* heading) override;
  void HeadingPressed(ColumnHeadingPane* heading) override;
  void HeadingMouse(ColumnHeadingPane* heading, int32_t x, int32_t y) override;

 private:
  ScrollingListPane* list_;
  ColumnHeadingPane* heading_ = nullptr;  // the window's pane tree owns it
  bool filler_;
};

class ScrollingListPane : public SubPane {
 public:
  static constexpr int32_t kHeadingHeight = 20;

  // A "KV_Pane" child of parent; column 0 as wide as the bounds, margins of
  // 2, the heading strip made hidden, the sorted column 0 (the list pane
  // above sets it as it needs).
  ScrollingListPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                    const StringRecord* name);

  // ---- Columns ----
  const ListColumnModel& Columns() const { return columns_; }
  int32_t ColumnCount() const { return columns_.Count(); }
  // Held to 1..64; the caller lays the columns out.
  void SetColumnCount(int32_t count) { columns_.SetCount(count); }
  int32_t ColumnWidth(int32_t column) const { return columns_.Record(column).width; }
  int32_t ColumnLeft(int32_t column) const { return columns_.Record(column).left; }
  int32_t ColumnRight(int32_t column) const { return columns_.Record(column).right; }
  // The content rectangle's width.
  int32_t ContentWidth();
  // Widths from the expressions, then the edges; then the headings are
  // rebuilt when shown, else the scroll bars updated.
  void LayoutColumns();
  // The edges from the content's left edge and the horizontal offset.
  void ComputeColumnPositions();
  // Column 0..63 (a new reference; nil outside), regenerated when dirty.
  StringRef GetColumnExpression(ColumnExpression which, int32_t column);
  // Stores a valid expression of a column 0..63 (raising and storing
  // nothing otherwise); a width expression runs the layout while the star
  // weights add up above 0. False when refused.
  bool SetColumnExpression(ColumnExpression which, int32_t column, const StringRecord* text);
  // A new pixel width (ListColumnModel::SetWidthActual); when it took, the
  // edges, headings or bars follow and the list hears ColumnResized.
  void SetColumnWidthActual(int32_t column, int32_t width);
  // SetColumnMinWidth and SetColumnMaxWidth: the pixels, marked dirty.
  void SetColumnLimit(ColumnExpression which, int32_t column, int32_t pixels) {
    columns_.SetLimitPixels(which, column, pixels);
  }
  void SetColumnResizable(int32_t column, bool resizable) {
    columns_.SetUserResizable(column, resizable);
  }
  void SetAllColumnsResizable(bool resizable) { columns_.SetAllColumnsResizable(resizable); }
  int32_t ScrollOffsetX() const { return scrollOffsetX_; }
  // Stores the offset; the caller recomputes the edges and headings.
  void SetScrollOffsetX(int32_t offset) { scrollOffsetX_ = offset; }

  // ---- Margins and geometry ----
  int32_t TopMargin() const { return margins_.top; }
  int32_t LeftMargin() const { return margins_.left; }
  int32_t BottomMargin() const { return margins_.bottom; }
  int32_t RightMargin() const { return margins_.right; }
  // The bounds less the margins, less the heading row when shown.
  virtual MacRect GetContentRect();
  // The rectangle less the four margins.
  virtual MacRect InsetByMargins(const MacRect& rect);
  // The bounds inset by 1 on every side.
  MacRect GetInteriorRect() const;
  // Scrolls the pane's window contents over the rectangle by (dx, dy).
  void ScrollRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t dx, int32_t dy);
  // Moves the pane, and the heading strip with it when shown.
  void SetBounds(const MacRect& rect, bool redraw) override;
  // The heading panes and the strip are the window's from here on.
  void Close() override;

  // ---- Headings ----
  bool HasHeading() const { return hasHeading_ != 0; }
  // Shows the heading row (and lays the columns out) or removes it.
  void SetHasHeading(bool shown);
  // -1 gives column i the (i+1)-th tab field of the text up to its first
  // CR; 0..63 that column the text. An empty caption shows the column's
  // number. A shown heading row follows. Other indexes do nothing.
  void SetHeading(int32_t index, const StringRecord* text);
  StringRecord* HeadingCaption(int32_t column) const;  // borrowed
  // Makes, moves and reuses the heading panes for the columns and fillers,
  // disposes of the extra ones, then updates the scroll bars. A new column
  // heading takes its column's sort direction, and the sorted column's its
  // sort mark.
  void RebuildHeadings();
  // Hides the strip and disposes of every heading.
  void RemoveHeadings();
  // Headings in the row, fillers included (0 without a heading row).
  int32_t HeadingPaneCount() const { return int32_t(nodes_.size()); }
  // The heading of column 0..count-1; nil without.
  ColumnHeadingPane* HeadingPane(int32_t column) const;
  SubPane* HeadingStrip() const { return strip_; }

  // ---- Sorting ----
  int32_t SortedColumn() const { return sortedColumn_; }
  // The stored sort column, written by the list's sort.
  void StoreSortedColumn(int32_t column) { sortedColumn_ = column; }
  // Marks column -1..63's heading (and unmarks the others); then a used
  // column's header-pressed runs. Other columns do nothing.
  void SetSortedColumn(int32_t column);
  uint8_t ColumnSortDirection(int32_t column) const;
  // Column 0..63: the direction byte and its heading, unless unchanged and
  // not forced; a marked heading draws the list at once.
  void SetColumnSortDirection(int32_t column, uint8_t direction, bool force);

  // ---- The mouse over the heading row ----
  // Set by the list pane while the user drags a divider.
  bool ColumnDragging() const { return columnDragging_ != 0; }
  void SetColumnDragging(bool dragging) { columnDragging_ = dragging ? 1 : 0; }
  // A press on a resizable divider captures the mouse for the list pane and
  // answers true; on a heading the heading's own MouseDown answers.
  bool HeadingsMouseDown(int32_t x, int32_t y, uint32_t modifiers);
  void HeadingsMouseDrag(int32_t x, int32_t y);
  void HeadingsMouseUp();
  void HeadingsMouseMoved(int32_t x, int32_t y);
  // The arrow, or a resize cursor (6601 free, 6603 at a minimum, 6602 at a
  // maximum) over a divider that can move.
  bool AdjustHeadingCursor(int32_t x, int32_t y);

  // ---- What the list pane above supplies ----
  virtual void InvalidateCells(int32_t row, int32_t column);
  virtual void ColumnResized(int32_t column);
  virtual void HeaderPressed(int32_t column);
  virtual int32_t RowCount();
  virtual void UpdateScrollBars();

 protected:
  ~ScrollingListPane() override;

 private:
  friend class HeadingNode;
  struct Margins {
    int32_t top = 2, left = 2, bottom = 2, right = 2;
  };

  // The heading row's top and bottom.
  int32_t HeadingTop() const;
  int32_t HeadingBottom() const;
  // The strip's place: the heading row between the side margins.
  MacRect StripRect() const;
  // Heading k (-1 the left filler, count the right one) as the row shows it.
  MacRect HeadingRect(int32_t k) const;
  void PlaceHeading(size_t position, int32_t k, const FontDescriptor& font);
  void DisposeHeadingsFrom(size_t position);
  // The column of a node (-1 for a filler or a stranger).
  int32_t ColumnOfNode(const HeadingNode* node) const;
  void ClickHeading(HeadingNode* node);
  void TrackHotHeading(ColumnHeadingPane* heading);
  void LeaveHotHeadings(ColumnHeadingPane* except);
  ColumnDragClamp ClampColumnDrag(int32_t column, int32_t* width, int32_t x);
  ColumnHit HitTestHeadings(int32_t x, int32_t y) const;

  ListColumnModel columns_;
  uint8_t columnDragging_ = 0;
  uint8_t hasHeading_ = 0;
  std::vector<std::unique_ptr<HeadingNode>> nodes_;
  int32_t trackedColumn_ = -1;  // the column whose divider is dragged
  StringRef captions_[kListColumnLimit];
  uint8_t sortDirections_[kListColumnLimit];
  int32_t scrollOffsetX_ = 0;
  int32_t sortedColumn_ = 0;
  Margins margins_;
  SubPane* strip_ = nullptr;  // the window's pane tree owns it
};
