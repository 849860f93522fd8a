// The list pane: selection edits with their notifications, the row walk,
// scrolling by rows, the caret, the mouse gesture and the keys.
#include "controls/listbox/NuListbox.h"

#include <algorithm>

#include "core/Numeric.h"
#include "core/diagnostics.h"
#include "graphics/GraphicsPort.h"
#include "graphics/Rect16.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"

namespace {

// The line the assertion of a missing provider names, which reports of
// earlier versions carry.
constexpr int32_t kProviderAssertionLine = 186;
constexpr int32_t kWheelNotch = WHEEL_DELTA;
constexpr int32_t kRedrawSlop = 4;

int32_t Saturated(int64_t value) { return SaturatedInt32(double(value)); }

enum ListKey : uint32_t {
  kKeyHome = 1,
  kKeyEnd = 4,
  kKeyPageUp = 11,
  kKeyPageDown = 12,
  kKeyUp = 30,
  kKeyDown = 31,
};

}  // namespace

void ListRowProvider::DrawBackground(GraphicsPort*, const MacRect&) {}
void ListRowProvider::DrawRow(GraphicsPort*, int32_t, const MacRect&, bool) {}
void ListRowProvider::RedrawRow(GraphicsPort*, int32_t, const MacRect&, bool) {}
void ListRowProvider::ClickOutsideRows(int32_t, int32_t, uint32_t) {}
bool ListRowProvider::ClickRow(int32_t, int32_t, int32_t, uint32_t) { return false; }

void ListPaneListener::DoubleClick(NuListbox*) {}
void ListPaneListener::SelectionChanging(NuListbox*) {}
void ListPaneListener::SelectionChanged(NuListbox*) {}
void ListPaneListener::Scrolled(NuListbox*, int32_t) {}
bool ListPaneListener::FireDragReorderRows(int32_t) { return false; }

NuListbox::NuListbox(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                     ListPaneListener* listener, ListRowProvider* provider,
                     bool uniformRowHeight, int32_t multipleSelection)
    : CommonListbox(parent, tabPanelIndex, bounds, nullptr),
      listener_(listener),
      provider_(provider),
      multiple_(multipleSelection),
      uniform_(uniformRowHeight ? 1 : 0) {
  InitializeCriticalSection(&section_);
  if (!provider_) AssertionFailed(131, 4, "NuListbox", kProviderAssertionLine, "mProvider", nullptr);
}

NuListbox::~NuListbox() {
  RemoveDeferredUpdate(&shiftUpdate_);
  DeleteCriticalSection(&section_);
}

void NuListbox::Close() {
  listener_ = nullptr;
  CommonListbox::Close();
}

// ---- Notifications ----

bool NuListbox::Tell(void (ListPaneListener::*call)(NuListbox*)) {
  if (listener_) (listener_->*call)(this);
  return !IsClosing();
}

bool NuListbox::TellIdle(void (ListPaneListener::*call)(NuListbox*)) {
  return gestureOpen_ || Tell(call);
}

// ---- Selection ----

void NuListbox::InvalidateVisibleRows(int32_t first, int32_t count, int32_t visibleEnd) {
  const int32_t end = std::min(Saturated(int64_t(first) + count), visibleEnd);
  for (int32_t row = std::max(first, topRow_); row < end; ++row) InvalidateRow(row);
}

void NuListbox::ClearSelection() {
  // Rows off screen show nothing to repaint.
  const int32_t visibleEnd = quiet_ ? 0 : VisibleRowEnd();
  int32_t first, count;
  while (selection_.TakeHead(&first, &count)) {
    if (!quiet_) InvalidateVisibleRows(first, count, visibleEnd);
  }
}

void NuListbox::SelectOnlyRow(int32_t row, bool scrollIntoView) {
  Hold hold(this);
  if (!selection_.IsValidRow(row)) row = -1;
  if (!TellIdle(&ListPaneListener::SelectionChanging)) return;
  ClearSelection();
  if (row >= 0) {
    selection_.SetRowSelected(row, true);
    if (!quiet_) {
      InvalidateRow(row);
      if (scrollIntoView) ScrollRowIntoView(row);
      if (IsClosing()) return;
    }
  }
  TellIdle(&ListPaneListener::SelectionChanged);
}

void NuListbox::SetRowSelected(int32_t row, bool selected) {
  Hold hold(this);
  if (!selection_.IsValidRow(row)) return;
  if (!TellIdle(&ListPaneListener::SelectionChanging)) return;
  if (selection_.SetRowSelected(row, selected)) InvalidateRow(row);
  TellIdle(&ListPaneListener::SelectionChanged);
}

void NuListbox::SelectRowRange(int32_t a, int32_t b) {
  Hold hold(this);
  int32_t low, high;
  if (!selection_.SpanToSelect(a, b, &low, &high)) return;
  if (listener_ && !gestureOpen_) {
    for (int32_t row = low; row <= high && !IsClosing(); ++row) SetRowSelected(row, true);
    return;
  }
  // No listener call would be made per row: add the span at once.
  const ChangedRows changed = selection_.SelectRowRange(low, high);
  if (changed.first < 0) return;
  if (changed.first == changed.last) {
    InvalidateRow(changed.first);
  } else {
    InvalidateFromRow(changed.first);
  }
}

// ---- Rows inserted and removed ----

NuListbox::ShiftPlace NuListbox::MeasureShift(int32_t at, int32_t count) {
  ShiftPlace place;
  if (notDrawn_) return place;
  MacRect rows, visible;
  if (at < topRow_) {
    // Every visible row moves: the turn's full redraw repaints them.
    place.shows = place.above = true;
    place.top = GetContentRect().top;
  } else if (GetRowsRect(at, count, &rows, &visible)) {
    place.shows = true;
    place.top = rows.top;
    place.height = int32_t(rows.bottom) - rows.top;
  }
  return place;
}

void NuListbox::NoteShift(const ShiftPlace& place, int32_t sign, int32_t at) {
  if (!place.shows) return;
  if (!pending_) {
    pending_ = PendingRowShift{place.top, sign * place.height};
    AddDeferredUpdate(&shiftUpdate_);
  } else if (place.above) {
    // The pending full redraw covers it.
  } else if (sign > 0 && pending_->delta > 0 && place.top == int64_t(pending_->top) + pending_->delta) {
    pending_->delta = Saturated(int64_t(pending_->delta) + place.height);
  } else if (sign < 0 && pending_->delta < 0 && place.top == pending_->top) {
    pending_->delta = Saturated(int64_t(pending_->delta) - place.height);
  } else {
    pending_->delta = 0;
    InvalidateFromRow(at);
  }
}

void NuListbox::RowsInserted(int32_t at, int32_t count) {
  Hold hold(this);
  const int32_t added = selection_.RowsInserted(at, count);
  if (added == 0) return;
  NoteShift(MeasureShift(at, added), 1, at);
  if (!pending_) UpdateScrollBars();
}

void NuListbox::RowsRemoved(int32_t at, int32_t count) {
  Hold hold(this);
  if (count <= 0 || !selection_.IsValidRow(at)) return;
  count = std::min(count, RowCount() - at);
  const bool touched = selection_.AnySelectedIn(at, count);
  if (touched && !Tell(&ListPaneListener::SelectionChanging)) return;
  // Measured while the rows are still counted.
  const ShiftPlace place = MeasureShift(at, count);
  selection_.RowsRemoved(at, count);
  NoteShift(place, -1, at);
  if (touched && !TellIdle(&ListPaneListener::SelectionChanged)) return;
  if (!pending_) UpdateScrollBars();
}

void NuListbox::ApplyPendingShift() {
  Hold hold(this);
  RowsLock lock(this);
  if (!pending_) return;
  UpdateScrollBars();
  if (IsClosing()) return;
  // Taken first: a shift the redraw itself causes waits for its own turn.
  pending_.reset();
  InvalidateCells(-1, -1);
}

void NuListbox::DropPendingShift() {
  RemoveDeferredUpdate(&shiftUpdate_);
  pending_.reset();
}

// ---- Geometry ----

int32_t NuListbox::HeightOfRow(int32_t row) {
  return std::max(RowHeight(uniform_ ? -1 : row), 1);
}

template <typename Visit>
void NuListbox::WalkRows(Visit visit) {
  const int32_t bottom = Bounds().bottom;
  const int32_t count = RowCount();
  const int32_t uniformHeight = uniform_ ? HeightOfRow(-1) : 0;
  int64_t top = GetContentRect().top;
  for (int32_t row = std::max(topRow_, 0); row < count && top < bottom; ++row) {
    const int64_t next = top + (uniform_ ? uniformHeight : HeightOfRow(row));
    if (!visit(row, int32_t(top), Saturated(next))) return;
    top = next;
  }
}

int32_t NuListbox::VisibleRowEnd() {
  int32_t end = topRow_;
  WalkRows([&](int32_t row, int32_t, int32_t) {
    end = row + 1;
    return true;
  });
  return end;
}

MacRect NuListbox::RowsArea() { return ScrollingListPane::GetContentRect(); }

bool NuListbox::HitTestRow(int32_t x, int32_t y, int32_t* row, int32_t* xInRow,
                           int32_t* yInRow) {
  const MacRect area = RowsArea();
  bool found = false;
  if (x >= area.left && x < area.right) {
    WalkRows([&](int32_t walked, int32_t top, int32_t bottom) {
      if (y < top || y >= bottom) return true;
      *row = walked;
      *xInRow = x - area.left;
      *yInRow = y - top;
      found = true;
      return false;
    });
  }
  return found;
}

bool NuListbox::GetRowsRect(int32_t first, int32_t count, MacRect* rows, MacRect* visible) {
  if (!IsVisible() || !IsShown() || first < topRow_ || count <= 0) return false;
  const int64_t end = int64_t(first) + count;
  int32_t top = 0, bottom = 0;
  bool walked = false;
  WalkRows([&](int32_t row, int32_t rowTop, int32_t rowBottom) {
    if (row == first) {
      top = rowTop;
      walked = true;
    }
    if (walked) bottom = rowBottom;
    return row + 1 < end;
  });
  if (!walked) return false;
  const MacRect content = GetContentRect();
  *rows = SaturatedRect16(top, content.left, bottom, content.right);
  return MacSectRect(rows, &content, visible);
}

bool NuListbox::AdjustRedrawRect(MacRect* rect) {
  *rect = SaturatedRect16(int64_t(rect->top) - kRedrawSlop, int64_t(rect->left) - kRedrawSlop,
                          int64_t(rect->bottom) + kRedrawSlop, int64_t(rect->right) + kRedrawSlop);
  return true;
}

void NuListbox::SetBounds(const MacRect& rect, bool redraw) {
  CommonListbox::SetBounds(rect, redraw);
  if (ScrollerPane* bar = VerticalScrollBar()) bar->SetBounds(VerticalScrollBarRect(), redraw);
  if (ScrollerPane* bar = HorizontalScrollBar()) bar->SetBounds(HorizontalScrollBarRect(), redraw);
  UpdateScrollBars();
  if (IsVisible() && NativeWindow()) ::InvalidateRect(NativeWindow(), nullptr, TRUE);
}

void NuListbox::UpdateScrollBars() {
  CommonListbox::UpdateScrollBars();
  UpdateVerticalScrollBar();
}

void NuListbox::SetTextSize(int16_t size) {
  CommonListbox::SetTextSize(size);
  FontChanged();
}

void NuListbox::FontChanged() { ClearFontMeasured(); }

// ---- Scrolling ----

void NuListbox::ValueChanged(ScrollerPane* bar, int32_t oldValue, int32_t newValue) {
  if (oldValue == newValue) return;
  Hold hold(this);
  const int32_t caret = caretRow_;
  HideCaretRow();
  if (bar == VerticalScrollBar()) {
    ScrollToTopRow(oldValue, newValue);
  } else if (bar == HorizontalScrollBar()) {
    SetScrollPositionX(newValue);
  }
  if (!IsClosing()) ShowCaretRow(caret);
}

void NuListbox::ScrollToTopRow(int32_t oldTop, int32_t newTop) {
  Hold hold(this);
  topRow_ = newTop;
  if (!uniform_) {
    Redraw();
  } else {
    if (!pending_) {
      if (!notDrawn_) Redraw();
    } else {
      DropPendingShift();
      if (!notDrawn_) Invalidate(true);
    }
    if (listener_) {
      listener_->Scrolled(this, Saturated(int64_t(HeightOfRow(-1)) * (int64_t(oldTop) - newTop)));
      if (IsClosing()) return;
    }
  }
  UpdateScrollBars();
}

void NuListbox::SetTopRow(int32_t row) {
  Hold hold(this);
  if (ScrollerPane* bar = VerticalScrollBar()) {
    if (row >= ScrollerPaneGetMaximum(bar)) UpdateScrollBars();
    bar->SetValue(row);
  } else {
    ScrollToTopRow(topRow_, std::clamp(row, 0, std::max(RowCount() - 1, 0)));
  }
}

void NuListbox::ScrollRowIntoView(int32_t row) {
  ScrollerPane* bar = VerticalScrollBar();
  if (!bar || !selection_.IsValidRow(row)) return;
  if (row < topRow_) {
    bar->SetValue(row);
    return;
  }
  // The rows that fit above the row's bottom, counted from the row upwards;
  // a row taller than the content shows from its own top.
  const MacRect content = GetContentRect();
  int64_t space = int64_t(content.bottom) - content.top;
  int32_t above = row;
  for (; above >= 0; --above) {
    const int32_t height = HeightOfRow(above);
    if (height > space) break;
    space -= height;
  }
  const int32_t newTop = std::min(above + 1, row);
  if (newTop > topRow_) bar->SetValue(newTop);
}

bool NuListbox::MouseWheel(int32_t, int32_t, int32_t delta, uint32_t) {
  ScrollerPane* bar = VerticalScrollBar();
  if (!bar || !bar->IsEnabled()) return true;
  // Notches toward the user (negative deltas) scroll down; a fine wheel's
  // remainder waits for the next turn of it.
  wheelRest_ = Saturated(int64_t(wheelRest_) - delta);
  const int32_t rows = wheelRest_ / kWheelNotch;
  wheelRest_ -= rows * kWheelNotch;
  if (rows != 0) SetTopRow(Saturated(int64_t(topRow_) + rows));
  return true;
}

// ---- Drawing and the caret ----

void NuListbox::Draw(GraphicsPort* port) {
  RowsLock lock(this);
  notDrawn_ = 0;
  const MacRect content = GetContentRect();
  if (!provider_) return;
  provider_->DrawBackground(port, content);
  ClipStateSaver clip(port);
  WalkRows([&](int32_t row, int32_t top, int32_t bottom) {
    const MacRect rowRect = SaturatedRect16(top, content.left, bottom, content.right);
    MacRect shown;
    if (MacSectRect(&rowRect, &content, &shown)) {
      port->SetClipRect(shown);
      provider_->DrawRow(port, row, rowRect, selection_.IsRowSelected(row));
    }
    return true;
  });
  clip.Restore();
  DrawCaretRow(port);
}

void NuListbox::DrawCaretRow(GraphicsPort* port) {
  MacRect rows, visible;
  if (!hasFocus_ || caretRow_ < 0 || !GetRowsRect(caretRow_, 1, &rows, &visible)) return;
  ClipStateSaver clip(port);
  port->SetClipRect(GetContentRect());
  if (HDC dc = port->GetDC()) {
    const RECT area{rows.left - port->OriginX(), rows.top - port->OriginY(),
                    rows.right - port->OriginX(), rows.bottom - port->OriginY()};
    DrawFocusRect(dc, &area);
  }
  clip.Restore();
}

void NuListbox::DrawCaretThroughNewPort() {
  if (GraphicsPort* port = PaneNewGraphicsPort(this)) {
    DrawCaretRow(port);
    PaneDeleteGraphicsPort(port);
  }
}

void NuListbox::HideCaretRow() {
  if (caretRow_ >= 0) DrawCaretThroughNewPort();
  caretRow_ = -1;
}

void NuListbox::NoteRowsDragged() {
  lastClickTime_ = MacTickCount();
  movedOff_ = 1;
}

void NuListbox::ShowCaretRow(int32_t row) {
  caretRow_ = row;
  DrawCaretThroughNewPort();
}

// ---- Focus and activation ----

bool NuListbox::TakesFocusOnClick() { return true; }

bool NuListbox::ArrowKeysMoveFocus() { return false; }

bool NuListbox::CanAcceptFocus() {
  return NativeWindow() && IsEnabled() && IsVisible() && IsShown() && !IsClosing();
}

void NuListbox::TakeFocus() {
  CommonListbox::TakeFocus();
  // Drawn once per focus: a second XOR would erase it.
  if (hasFocus_ || !CanAcceptFocus()) return;
  hasFocus_ = 1;
  DrawCaretThroughNewPort();
}

void NuListbox::LoseFocus() {
  if (!hasFocus_) return;
  DrawCaretThroughNewPort();
  hasFocus_ = 0;
}

void NuListbox::Activate() {
  CommonListbox::Activate();
  Invalidate(true);
}

void NuListbox::Deactivate() {
  CommonListbox::Deactivate();
  Invalidate(true);
}

// ---- The mouse ----
//
// A gesture runs from a press that selects to its release (or ends at once
// when the button is already up); while it is open single edits tell the
// listener nothing, so it hears one pair for the gesture. Presses handled by
// the provider and double-clicks open none, and a release closes only an
// open gesture, once.

bool NuListbox::OpenGesture() {
  if (gestureOpen_) return true;
  if (!Tell(&ListPaneListener::SelectionChanging)) return false;
  gestureOpen_ = 1;
  return true;
}

void NuListbox::CloseGesture() {
  lastClickTime_ = MacTickCount();
  if (!gestureOpen_) return;
  gestureOpen_ = 0;
  Tell(&ListPaneListener::SelectionChanged);
}

bool NuListbox::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  Hold hold(this);
  if (!IsEnabled()) return true;
  toggleOff_ = 0;
  // The heading row's dividers, then the children (the headings and the
  // bars lie outside the content).
  if (HeadingsMouseDown(x, y, modifiers)) {
    if (GetMouseCapturePane() == this) SetColumnDragging(true);
    return true;
  }
  if (CommonListbox::MouseDown(x, y, modifiers)) return true;
  const MacRect content = GetContentRect();
  if (x < content.left || x >= content.right || y < content.top || y >= content.bottom) {
    if (provider_) provider_->ClickOutsideRows(x, y, modifiers);
    return true;
  }
  if (CanAcceptFocus() && TakesFocusOnClick()) SetFocusPane(this);
  int32_t row, xInRow, yInRow;
  if (IsClosing()) return true;
  if (!HitTestRow(x, y, &row, &xInRow, &yInRow)) {
    lastClickedRow_ = -1;
    if (!OpenGesture()) return true;
    SelectOnlyRow(-1, true);
  } else if (!ClickOnRow(row, xInRow, yInRow, modifiers)) {
    return true;
  }
  if (IsClosing()) return true;
  lastModifiers_ = modifiers;
  if (IsMouseButtonDown()) {
    SetMouseCapturePane(this);
  } else {
    CloseGesture();
  }
  movedOff_ = 0;
  return true;
}

bool NuListbox::ClickOnRow(int32_t row, int32_t xInRow, int32_t yInRow, uint32_t modifiers) {
  const uint32_t now = MacTickCount();
  const bool doubleClick = now - lastClickTime_ < MacGetDblTime() && lastClickedRow_ == row &&
                           !movedOff_ && modifiers == lastModifiers_;
  const bool handled = provider_ && provider_->ClickRow(row, xInRow, yInRow, modifiers);
  if (IsClosing()) return false;
  if (handled) {
    if (!dragEnabled_) return false;
    if (doubleClick) {
      if (!Tell(&ListPaneListener::DoubleClick)) return false;
    } else {
      lastModifiers_ = modifiers;
    }
    lastClickTime_ = now;
    return false;
  }
  if (doubleClick) {
    if (Tell(&ListPaneListener::DoubleClick)) lastClickTime_ = now;
    return false;
  }
  if (!OpenGesture()) return false;
  // Shift and Ctrl extend only a selection there is, in multiple selection.
  const bool extend = multiple_ && !selection_.IsEmpty();
  const bool shift = extend && (modifiers & kModifierShift);
  const bool control = extend && (modifiers & kModifierControl);
  if (shift && control) {
    SelectRowRange(lastClickedRow_, row);
  } else {
    HideCaretRow();
    if (control) {
      toggleOff_ = IsRowSelected(row) ? 1 : 0;
      SetRowSelected(row, !toggleOff_);
    } else if (shift) {
      ClearSelection();
      SelectRowRange(anchorRow_, row);
    } else {
      anchorRow_ = row;
      lastClickTime_ = now;
      SelectOnlyRow(row, false);
    }
    if (IsClosing()) return false;
    ShowCaretRow(row);
  }
  lastClickedRow_ = row;
  return !IsClosing();
}

void NuListbox::MouseDrag(int32_t x, int32_t y, uint32_t) {
  Hold hold(this);
  if (ColumnDragging()) {
    HeadingsMouseDrag(x, y);
    return;
  }
  if (!gestureOpen_) return;
  MacRect area = RowsArea();
  if (HorizontalScrollBar()) area.bottom = Saturate16(int64_t(area.bottom) - ScrollBarWidth());
  if (ScrollerPane* bar = VerticalScrollBar()) {
    const int32_t value = bar->GetValue();
    if (y < area.top && value > 0) {
      bar->SetValue(value - 1);
      if (IsClosing() || topRow_ == FirstSelectedRow()) return;
      DragOverRow(topRow_);
      return;
    }
    if (y < area.top && !multiple_ && (caretRow_ != 0 || !selection_.IsEmpty())) {
      HideCaretRow();
      SelectOnlyRow(-1, true);
      if (!IsClosing()) ShowCaretRow(0);
      return;
    }
    if (y >= area.bottom) {
      if (value < ScrollerPaneGetMaximum(bar)) bar->SetValue(value + 1);
      if (IsClosing()) return;
      // Below the rows the pointer stands for the row at the bottom edge.
      y = area.bottom - 1;
    }
  }
  int32_t row, xInRow, yInRow;
  if (HitTestRow(x, y, &row, &xInRow, &yInRow)) {
    DragOverRow(row);
  } else if (!multiple_ && !selection_.IsEmpty()) {
    HideCaretRow();
    SelectOnlyRow(-1, true);
    if (!IsClosing()) ShowCaretRow(std::max(RowCount() - 1, 0));
  }
}

void NuListbox::DragOverRow(int32_t row) {
  if (row != lastClickedRow_) movedOff_ = 1;
  if (!multiple_) {
    if (row == FirstSelectedRow()) return;
    HideCaretRow();
    SelectOnlyRow(row, false);
    if (!IsClosing()) ShowCaretRow(row);
    return;
  }
  // Every row from the last one passed to this one takes the state the
  // press gave; rows passed on the way back keep theirs.
  const bool selected = !toggleOff_;
  if (row == lastClickedRow_ && IsRowSelected(row) == selected) return;
  HideCaretRow();
  const int32_t from = lastClickedRow_ < 0 ? row : lastClickedRow_;
  const int32_t step = row >= from ? 1 : -1;
  for (int32_t r = from;; r += step) {
    SetRowSelected(r, selected);
    if (IsClosing()) return;
    if (r == row) break;
  }
  lastClickedRow_ = row;
  ShowCaretRow(row);
}

void NuListbox::MouseUp(int32_t, int32_t, uint32_t) {
  Hold hold(this);
  if (ColumnDragging()) {
    SetColumnDragging(false);
    HeadingsMouseUp();
    return;
  }
  CloseGesture();
}

// ---- Keys ----
//
// Home and End show the top and the bottom of the list and select its first
// and last row; Page Up and Page Down (with a vertical bar) scroll by the
// bar's page step and move the selection by as many rows from its first or
// last row.

bool NuListbox::HandleKey(uint32_t virtualKey, uint32_t, uint32_t modifiers) {
  if (modifiers & 0x100) return false;
  Hold hold(this);
  const bool shift = (modifiers & kModifierShift) != 0;
  ScrollerPane* bar = VerticalScrollBar();
  switch (VirtualKeyToKeyChar(virtualKey, shift)) {
    case kKeyHome:
      if (bar) bar->SetValue(0);
      SelectByKey(0);
      return true;
    case kKeyEnd:
      if (bar) bar->SetValue(ScrollerPaneGetMaximum(bar));
      SelectByKey(RowCount() - 1);
      return true;
    case kKeyPageUp:
      if (!bar) return false;
      bar->SetValue(Saturated(std::max<int64_t>(
          int64_t(bar->GetValue()) - ScrollerPaneGetPageStep(bar), 0)));
      SelectByKey(std::max<int64_t>(
          int64_t(std::max(FirstSelectedRow(), 0)) - ScrollerPaneGetPageStep(bar), 0));
      return true;
    case kKeyPageDown:
      if (!bar) return false;
      bar->SetValue(Saturated(std::min<int64_t>(
          int64_t(bar->GetValue()) + ScrollerPaneGetPageStep(bar), ScrollerPaneGetMaximum(bar))));
      SelectByKey(std::min<int64_t>(
          int64_t(std::max(LastSelectedRow(), 0)) + ScrollerPaneGetPageStep(bar), RowCount() - 1));
      return true;
    case kKeyUp:
      ArrowKey(false, shift);
      return true;
    case kKeyDown:
      ArrowKey(true, shift);
      return true;
    default:
      return false;
  }
}

// Up and Down: with Shift in multiple selection the row beyond the
// selection joins it; otherwise a selection of several collapses to its
// first (Up) or last (Down) row, a single row moves by one, and an empty
// selection starts at row 0.
void NuListbox::ArrowKey(bool down, bool shift) {
  const int32_t count = SelectedRowCount();
  const int32_t edge = down ? LastSelectedRow() : FirstSelectedRow();
  const int32_t beyond = down ? edge + 1 : edge - 1;
  const bool extend = shift && multiple_;
  const int32_t target = extend ? (count > 0 ? beyond : -1)
                                : count >= 2 ? edge : count == 1 ? beyond : 0;
  if (!extend) return SelectByKey(target);
  if (!selection_.IsValidRow(target)) return;
  HideCaretRow();
  SetRowSelected(target, true);
  if (IsClosing()) return;
  ScrollRowIntoView(target);
  if (!IsClosing()) ShowCaretRow(target);
}

void NuListbox::SelectByKey(int64_t row) {
  if (row < 0 || row >= RowCount()) return;
  const int32_t target = int32_t(row);
  HideCaretRow();
  ScrollRowIntoView(target);
  if (!IsClosing()) SelectOnlyRow(target, true);
  if (!IsClosing()) ShowCaretRow(target);
}

// ---- What the list above supplies ----

void NuListbox::InvalidateRow(int32_t) {}
void NuListbox::InvalidateColumn(int32_t) {}
void NuListbox::InvalidateFromRow(int32_t) {}
void NuListbox::InvalidateFromColumn(int32_t) {}
void NuListbox::SortByColumn(int32_t) {}
void NuListbox::SetScrollPositionX(int32_t) {}
