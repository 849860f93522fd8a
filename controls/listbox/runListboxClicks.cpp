// The list box pane's clicks: what a press on a row does before it selects
// (the CellClick event, editing, check boxes, disclosure triangles), and the
// raw mouse events handed to the control's MouseDown, MouseDrag and
// MouseUp.
#include <algorithm>

#include "controls/listbox/runListbox.h"
#include "graphics/Rect16.h"
#include "ui/PaneFocus.h"

namespace {

constexpr int32_t kCheckStrip = 16;
constexpr int32_t kEditableCell = 3;
constexpr int32_t kCheckBoxCell = 2;

}  // namespace

// ---- A press on a row ----

bool runListbox::ClickRow(int32_t row, int32_t x, int32_t y, uint32_t modifiers) {
  OwnerChainLock hold(this);
  const ListBoxRow* record = GetRowRecord(row);
  const uint32_t count = structureCount_;
  if (EditRow() >= 0) {
    // Losing the focus commits the edit.
    SubPane* focus = GetFocusPane();
    if (focus && focus->NativeWindow() == editor_->Window()) SetFocusPane(nullptr);
    if (!EndCellEdit(true)) return true;
    // A row that moved meanwhile is not the one clicked.
    if (RowAfterChange(record, row, count) != row) return true;
  }
  MacRect rows, visible;
  if (!GetRowsRect(row, 1, &rows, &visible)) return false;
  int32_t inColumn = x + ScrollOffsetX() - 1;
  int32_t column = 0;
  int64_t left = int64_t(rows.left) - ScrollOffsetX();
  while (column < ColumnCount() && inColumn >= ColumnWidth(column)) {
    inColumn -= ColumnWidth(column);
    left += ColumnWidth(column);
    ++column;
  }
  const MacRect cellRect = SaturatedRect16(rows.top, left, rows.bottom,
                                           left + (column < ColumnCount() ? ColumnWidth(column) : 0));
  if (CellClickDispatch(row, column, inColumn, y, cellRect)) return true;
  if (!IsBound() && hierarchical_ && IsFolder(row) && DisclosureClick(row, x, y)) return true;
  // Shift and Ctrl extend the selection rather than drag it.
  if ((DragEnabled() || DragReorderEnabled()) &&
      !(modifiers & (kModifierShift | kModifierControl))) {
    return BeginRowDrag(row, rows.left + x, rows.top + y);
  }
  return false;
}

bool runListbox::IsFolder(int32_t row) const {
  const ListBoxRow* record = GetRowRecord(row);
  return record && record->folderState != -1;
}

bool runListbox::CellClickDispatch(int32_t row, int32_t column, int32_t x, int32_t y,
                                   const MacRect& cellRect) {
  const ListBoxRow* record = GetRowRecord(row);
  const uint32_t count = structureCount_;
  const EventOutcome outcome = Fire(kListCellClick, row, column, x, y);
  if (outcome.closing || outcome.handled) return true;
  // The row clicked moved or went under the handler: the click is spent.
  if (RowAfterChange(record, row, count) != row) return true;
  if (column >= ColumnCount() || IsBound()) return false;
  const int32_t type = EffectiveCellType(row, column);
  if (type == kEditableCell) {
    if (!editor_) return false;
    editor_->StartEdit(row, column);
    if (!IsClosing() && EditRow() >= 0) {
      HWND window = editor_->Window();
      SendMessageW(window, EM_SETSEL, 0, GetWindowTextLengthW(window));
    }
    return true;
  }
  if (type == kCheckBoxCell) return CheckBoxClick(row, column, x, y, cellRect);
  return false;
}

bool runListbox::CheckBoxClick(int32_t row, int32_t column, int32_t x, int32_t y,
                               const MacRect& cellRect) {
  // The strip starts where the box is drawn: past the indent in column 0.
  const int32_t stripLeft =
      LayoutCell(cellRect, CellOf(row, column), row, column).checkBox.left - cellRect.left;
  const int32_t height = int32_t(cellRect.bottom) - cellRect.top;
  if (x < stripLeft || x >= stripLeft + kCheckStrip || y < 0 || y >= height) return false;
  ListBoxCell* cell = FindCell(row, column, true);
  if (!cell) return false;
  cell->checked = cell->checked ? 0 : 1;
  InvalidateCells(row, column);
  if (!IsClosing()) Fire(kListCellAction, row, column);
  return true;
}

bool runListbox::DisclosureClick(int32_t row, int32_t x, int32_t y) {
  MacRect rows, visible;
  if (!GetRowsRect(row, 1, &rows, &visible)) return false;
  // The triangle as column 0's cell draws it, wherever the click fell.
  const int64_t left = int64_t(rows.left) - ScrollOffsetX();
  const MacRect cellRect = SaturatedRect16(rows.top, left, rows.bottom, left + ColumnWidth(0));
  const MacRect triangle = LayoutCell(cellRect, CellOf(row, 0), row, 0).triangle;
  const MacPoint at{int16_t(std::clamp<int64_t>(int64_t(rows.top) + y, -32768, 32767)),
                    int16_t(std::clamp<int64_t>(int64_t(rows.left) + x, -32768, 32767))};
  if (!MacPtInRect(at, &triangle)) return false;
  if (IsRowExpanded(row)) {
    CollapseFolder(row);
  } else {
    ExpandFolder(row);
  }
  return true;
}

// ---- Raw mouse events ----

bool runListbox::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  OwnerChainLock hold(this);
  mouseForwarded_ = 0;
  if (handlers_[kListMouseDown]) {
    const EventOutcome outcome = Fire(kListMouseDown, x - Left(), y - Top());
    if (outcome.closing) return true;
    if (outcome.handled) {
      // The drags and the release go to the events.
      mouseForwarded_ = 1;
      SetMouseCapturePane(this);
      return true;
    }
  }
  return NuListbox::MouseDown(x, y, modifiers);
}

void runListbox::MouseDrag(int32_t x, int32_t y, uint32_t modifiers) {
  if (!mouseForwarded_) {
    NuListbox::MouseDrag(x, y, modifiers);
    return;
  }
  OwnerChainLock hold(this);
  Fire(kListMouseDrag, x - Left(), y - Top());
}

void runListbox::MouseUp(int32_t x, int32_t y, uint32_t modifiers) {
  if (!mouseForwarded_) {
    NuListbox::MouseUp(x, y, modifiers);
    return;
  }
  mouseForwarded_ = 0;
  OwnerChainLock hold(this);
  if (GetMouseCapturePane() == this) SetMouseCapturePane(nullptr);
  Fire(kListMouseUp, x - Left(), y - Top());
}
