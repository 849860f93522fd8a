// The list box pane's row dragging: a press that becomes a drag of the
// selected rows, out of the list (EnableDrag) or to a new place in it
// (EnableDragReorder), with the insertion mark and the reorder drop. The
// scrolling near the edges is any drag's (CommonListbox).
#include <algorithm>

#include "controls/ScrollerPane.h"
#include "controls/listbox/runListbox.h"
#include "graphics/GraphicsPort.h"
#include "graphics/Rect16.h"
#include "ui/DragItem.h"
#include "ui/pane.h"

namespace {

// The framework's drag detection and modal drag.
class FrameworkDrag final : public ListDragSeam {
 public:
  bool DetectDrag(SubPane* pane, int32_t x, int32_t y) override { return pane->DetectDrag(x, y); }
  void Drag(RuntimeObject* dragItem) override { DragItemDrag(dragItem); }
};

FrameworkDrag frameworkDrag;
ListDragSeam* dragSeam = &frameworkDrag;

}  // namespace

ListDragSeam* SetListDragSeam(ListDragSeam* seam) {
  ListDragSeam* previous = dragSeam == &frameworkDrag ? nullptr : dragSeam;
  dragSeam = seam ? seam : &frameworkDrag;
  return previous;
}

// ---- Starting a drag ----

bool runListbox::BeginRowDrag(int32_t row, int32_t x, int32_t y) {
  OwnerChainLock hold(this);
  HideCaretRow();
  if (!IsRowSelected(row)) {
    SelectionCallsHeld held(this);
    SelectOnlyRow(row, true);
  }
  if (IsClosing()) return true;
  const bool dragged = DragSelectedRows(row, x, y);
  if (IsClosing()) return true;
  if (dragged) {
    NoteRowsDragged();
    SelectionChanged(this);
  } else if (IsRowSelected(row)) {
    ShowCaretRow(row);
  }
  return dragged;
}

bool runListbox::DragSelectedRows(int32_t row, int32_t x, int32_t y) {
  POINT before{};
  GetCursorPos(&before);
  if (!dragSeam->DetectDrag(this, x, y) || IsClosing()) return false;
  reorderDrag_ = dragReorder_;
  if (reorderDrag_) {
    insertionRow_ = -1;
    draggedRows_.clear();
    for (const RowRange* range = Selection().Head(); range; range = range->next) {
      for (int32_t k = 0; k < range->count; ++k) draggedRows_.push_back(range->first + k);
    }
    std::sort(draggedRows_.begin(), draggedRows_.end());
  }
  // The item starts where the row shows, moved as far as the pointer went
  // while the drag was being detected.
  MacRect rows{}, visible;
  ObjectRef item;
  if (DragEnabled() && GetRowsRect(row, 1, &rows, &visible)) {
    POINT now{};
    GetCursorPos(&now);
    item = ObjectRef::Adopt(NewDragItem(rows.left + now.x - before.x, rows.top + now.y - before.y,
                                        int32_t(rows.right) - rows.left,
                                        int32_t(rows.bottom) - rows.top));
  } else {
    item = ObjectRef::Adopt(NewDragItem(0, 0, 0, 0));
  }
  if (item) reinterpret_cast<DragItemFields*>(item.get())->rowReorder = dragReorder_;
  const EventOutcome outcome = FireDragRow(item.get(), row);
  if (!outcome.closing && (outcome.handled || reorderDrag_)) dragSeam->Drag(item.get());
  draggedRows_.clear();
  reorderDrag_ = 0;
  insertionRow_ = -1;
  if (IsClosing()) return true;
  Invalidate(true);
  return true;
}

// ---- While rows are dragged within the list ----

SubPane* runListbox::FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem) {
  if (reorderDrag_) return this;
  return NuListbox::FindDropTarget(x, y, dragItem);
}

void runListbox::TrackDrag(int32_t x, int32_t y, RuntimeObject* dragItem) {
  OwnerChainLock hold(this);
  // Near the edges the list scrolls, whatever is dragged.
  NuListbox::TrackDrag(x, y, dragItem);
  if (!reorderDrag_ || IsClosing()) return;
  int32_t row, xInRow, yInRow;
  int32_t insertion = insertionRow_;
  const MacRect content = GetContentRect();
  const int32_t px = x + Left(), py = y + Top();
  if (HitTestRow(px, py, &row, &xInRow, &yInRow)) {
    insertion = yInRow >= RowHeight(row) / 2 ? row + 1 : row;
  } else if (px >= content.left && px < content.right && py >= content.top &&
             py < content.bottom) {
    // Below the last row.
    insertion = RowCount();
  }
  if (insertion != insertionRow_) {
    insertionRow_ = insertion;
    Redraw();
    if (IsClosing()) return;
  }
  DrawInsertionMark();
}

void runListbox::DrawInsertionMark() {
  if (insertionRow_ < 0 || insertionRow_ < TopRow()) return;
  GraphicsPort* port = PaneNewGraphicsPort(this);
  if (!port) return;
  const MacRect content = GetContentRect();
  port->SetClipRect(content);
  port->SetForeColor(RGBColor16{0, 0, 0});
  const int64_t y0 = content.top + int64_t(RowHeight(-1)) * (int64_t(insertionRow_) - TopRow());
  const int64_t x0 = int64_t(Left()) + LeftMargin();
  int64_t right = Bounds().right;
  if (VerticalScrollBar()) right -= ScrollBarWidth() + RightMargin();
  // A small arrow at the left, then the line to the right.
  port->FillRect(SaturatedRect16(y0 - 2, x0, y0 + 4, x0 + 1));
  port->FillRect(SaturatedRect16(y0 - 1, x0 + 1, y0 + 3, x0 + 2));
  port->FillRect(SaturatedRect16(y0, x0, y0 + 1, x0 + 4));
  port->FillRect(SaturatedRect16(y0, x0 + 4, y0 + 1, right));
  PaneDeleteGraphicsPort(port);
}

void runListbox::DragExit(RuntimeObject* dragItem) {
  if (reorderDrag_) Redraw();
  NuListbox::DragExit(dragItem);
}

// ---- The drop ----

void runListbox::NotifyDelegate(int32_t code, int32_t argument) {
  if (reorderDrag_ && code == kDragDropNotification) {
    OwnerChainLock hold(this);
    if (!DropDraggedRows() || IsClosing()) return;
  }
  NuListbox::NotifyDelegate(code, argument);
}

bool runListbox::DropDraggedRows() {
  const int32_t insertion = insertionRow_;
  const std::vector<int32_t> dragged = draggedRows_;
  // Inside the dragged rows nothing moves, and nothing is told.
  const bool inRun = std::binary_search(dragged.begin(), dragged.end(), insertion) &&
                     std::binary_search(dragged.begin(), dragged.end(), insertion - 1);
  if (inRun) return false;
  // Never tracked over the rows: nowhere to go.
  if (insertion < 0) return true;
  const int32_t above =
      int32_t(std::lower_bound(dragged.begin(), dragged.end(), insertion) - dragged.begin());
  const int32_t newPosition = insertion - above;
  const uint32_t count = structureCount_;
  if (FireDragReorderRows(newPosition) || IsClosing()) return true;
  // Bound and hierarchical lists leave the moving to the handler; rows
  // changed by it are not the ones dragged.
  if (hierarchical_ || IsBound() || dragged.empty() || structureCount_ != count) return true;
  if (!EndCellEdit(true) || structureCount_ != count) return true;
  SelectionChanging(this);
  if (IsClosing()) return true;
  {
    // One change for the whole move, told below; the rows are drawn again
    // once, so the old selection goes without a repaint of its own.
    SelectionCallsHeld held(this);
    const bool quiet = IsQuiet();
    SetQuiet(true);
    SelectOnlyRow(-1, true);
    SetQuiet(quiet);
    MoveRecords(dragged, newPosition);
    SelectRowRange(newPosition, newPosition + int32_t(dragged.size()) - 1);
  }
  InvalidateCells(-1, -1);
  if (IsClosing()) return true;
  ShowCaretRow(newPosition);
  SelectionChanged(this);
  return true;
}

void runListbox::MoveRecords(const std::vector<int32_t>& rows, int32_t newPosition) {
  auto** slots = reinterpret_cast<ListBoxRow**>(rows_.data);
  const int32_t total = rows_.count;
  std::vector<ListBoxRow*> moved, kept;
  moved.reserve(rows.size());
  kept.reserve(size_t(total) - rows.size());
  size_t next = 0;
  for (int32_t row = 0; row < total; ++row) {
    if (next < rows.size() && rows[next] == row) {
      moved.push_back(slots[row]);
      ++next;
    } else {
      kept.push_back(slots[row]);
    }
  }
  const auto at = kept.begin() + std::clamp<int32_t>(newPosition, 0, int32_t(kept.size()));
  std::copy(kept.begin(), at, slots);
  std::copy(moved.begin(), moved.end(), slots + (at - kept.begin()));
  std::copy(at, kept.end(), slots + (at - kept.begin()) + moved.size());
  ++structureCount_;
}
