// The bordered list pane: scroll bars, content rectangle and row height.
#include "controls/listbox/CommonListbox.h"

#include <algorithm>

#include "graphics/GraphicsPort.h"
#include "graphics/Rect16.h"
#include "ui/RuntimeCursor.h"

namespace {

constexpr int32_t kHorizontalLineStep = 16;
// How near the top or bottom edge a drag scrolls, where no heading row or
// horizontal bar gives the band.
constexpr int32_t kEdgeBand = 5;
constexpr int32_t kDefaultRowHeight = 12;

int32_t Saturated(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

CommonListbox::CommonListbox(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                             const StringRecord* name)
    : ScrollingListPane(parent, tabPanelIndex, bounds, name),
      scrollBarWidth_(GetSystemMetrics(SM_CXVSCROLL)) {
  ComputeColumnPositions();
}

CommonListbox::~CommonListbox() {
  // Still ours when the pane was never closed with its window.
  DisposeBar(&verticalBar_);
  DisposeBar(&horizontalBar_);
}

void CommonListbox::Close() {
  for (ScrollerPane* bar : {verticalBar_, horizontalBar_}) {
    if (bar) bar->SetListener(nullptr);
  }
  verticalBar_ = horizontalBar_ = nullptr;
  ScrollingListPane::Close();
}

// ---- Geometry ----

MacRect CommonListbox::GetContentRect() {
  MacRect content = ScrollingListPane::GetContentRect();
  if (horizontalWanted_) content.bottom = Saturate16(int64_t(content.bottom) - scrollBarWidth_);
  if (verticalWanted_) content.right = Saturate16(int64_t(content.right) - scrollBarWidth_);
  return content;
}

int32_t CommonListbox::TotalColumnsWidth() {
  int64_t total = 0;
  for (int32_t column = 0; column < ColumnCount(); ++column) total += ColumnWidth(column);
  return Saturated(total);
}

int32_t CommonListbox::RowHeight(int32_t) {
  if (fontMeasured_) return lineHeight_;
  if (GraphicsPort* port = PaneNewGraphicsPort(this)) {
    port->SetTextSize(TextSize());
    lineHeight_ = port->TextHeight();
    PaneDeleteGraphicsPort(port);
    fontMeasured_ = 1;
  }
  return lineHeight_;
}

// ---- Scroll bars ----

MacRect CommonListbox::VerticalScrollBarRect() {
  const MacRect inset = InsetByMargins(Bounds());
  return SaturatedRect16(inset.top, int64_t(inset.right) - scrollBarWidth_,
                         int64_t(inset.bottom) - (horizontalWanted_ ? scrollBarWidth_ : 0),
                         inset.right);
}

MacRect CommonListbox::HorizontalScrollBarRect() {
  const MacRect inset = InsetByMargins(Bounds());
  return SaturatedRect16(int64_t(inset.bottom) - scrollBarWidth_, inset.left, inset.bottom,
                         int64_t(inset.right) - (verticalWanted_ ? scrollBarWidth_ : 0));
}

ScrollerPane* CommonListbox::MakeBar(const MacRect& rect) {
  ScrollerPane* bar = CreateScrollBarPane(this, this, TabPanelIndex(), rect, true);
  bar->SetRangeRedraw(false);
  return bar;
}

void CommonListbox::DisposeBar(ScrollerPane** bar) {
  if (!*bar) return;
  (*bar)->SetListener(nullptr);
  DisposePaneTree(*bar);
  *bar = nullptr;
}

void CommonListbox::ShowVerticalScrollBar() {
  verticalWanted_ = 1;
  if (!verticalBar_ && !IsClosing()) {
    verticalBar_ = MakeBar(VerticalScrollBarRect());
    verticalValues_ = BarValues();
  }
  UpdateScrollBars();
  UpdateVerticalScrollBar();
}

void CommonListbox::ShowHorizontalScrollBar() {
  horizontalWanted_ = 1;
  if (!horizontalBar_ && !IsClosing()) {
    horizontalBar_ = MakeBar(HorizontalScrollBarRect());
    ScrollerPaneSetLineStep(horizontalBar_, kHorizontalLineStep);
    horizontalValues_ = BarValues();
  }
  UpdateScrollBars();
  UpdateVerticalScrollBar();
}

void CommonListbox::HideHorizontalScrollBar() {
  horizontalWanted_ = 0;
  DisposeBar(&horizontalBar_);
}

void CommonListbox::HideVerticalScrollBar() {
  verticalWanted_ = 0;
  DisposeBar(&verticalBar_);
  UpdateScrollBars();
}

void CommonListbox::ApplyBar(ScrollerPane* bar, BarValues* last, int32_t maximum, int32_t page) {
  if (last->maximum == maximum && last->page == page) return;
  const BarValues before = *last;
  *last = BarValues{maximum, page, true};
  AddDeferredUpdate(&repaint_);
  if (before.page != page) ScrollerPaneSetPageStep(bar, page);
  if (before.maximum != maximum) bar->SetMaximum(maximum);
}

void CommonListbox::UpdateScrollBars() {
  if (!horizontalBar_) return;
  const int64_t visible =
      int64_t(Width()) - LeftMargin() - RightMargin() - (verticalWanted_ ? scrollBarWidth_ : 0);
  ApplyBar(horizontalBar_, &horizontalValues_,
           Saturated(std::max<int64_t>(TotalColumnsWidth() - visible, 0)), Saturated(visible - 20));
}

void CommonListbox::UpdateVerticalScrollBar() {
  int32_t rowHeight = RowHeight(-1);
  if (rowHeight <= 0) rowHeight = kDefaultRowHeight;
  const MacRect inset = InsetByMargins(Bounds());
  const int32_t height =
      int32_t(inset.bottom) - inset.top - (horizontalWanted_ ? scrollBarWidth_ : 0);
  if (!verticalBar_) return;
  const int32_t rows = height / rowHeight;
  const int32_t rowCount = RowCount();
  int64_t maximum = int64_t(rowCount) - rows;
  // A position beyond the new maximum stays reachable while it is a row.
  // (The value last reported is current: the bar reports every change, and
  // reading the control costs a message.)
  const int32_t value = verticalBar_->LastValue();
  if (value < rowCount && value > maximum) maximum = value;
  ApplyBar(verticalBar_, &verticalValues_, maximum < 1 ? 0 : Saturated(maximum),
           rows < 2 ? 1 : rows - 1);
}

void CommonListbox::RepaintScrollBars() {
  for (auto [bar, values] :
       {std::pair{verticalBar_, &verticalValues_}, std::pair{horizontalBar_, &horizontalValues_}}) {
    if (!bar || !values->changed) continue;
    values->changed = false;
    if (HWND window = bar->GetNativeHandle()) ::InvalidateRect(window, nullptr, TRUE);
  }
}

// ---- Mouse ----

bool CommonListbox::MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers) {
  return verticalBar_ && verticalBar_->MouseWheel(x, y, delta, modifiers);
}

void CommonListbox::DragAutoScroll(int32_t, int32_t y) {
  if (ScrollerPane* bar = verticalBar_) {
    const int32_t height = int32_t(Bounds().bottom) - Bounds().top;
    const int32_t top = HasHeading() ? kHeadingHeight : kEdgeBand;
    const int32_t bottom = horizontalBar_ ? scrollBarWidth_ : kEdgeBand;
    const int64_t value = bar->GetValue(), step = ScrollerPaneGetLineStep(bar);
    const int64_t maximum = ScrollerPaneGetMaximum(bar);
    if (y < top && value > 0) {
      bar->SetValue(Saturated(std::max<int64_t>(value - step, 0)));
    } else if (y >= height - bottom && value < maximum) {
      bar->SetValue(Saturated(std::min(value + step, maximum)));
    }
  }
  if (IsClosing()) return;
  ObjectRef arrow = ObjectRef::Adopt(NewStandardCursor(kCursorArrow));
  SetNativeCursor(arrow.get());
}

void CommonListbox::TrackDrag(int32_t x, int32_t y, RuntimeObject*) { DragAutoScroll(x, y); }

SubPane* CommonListbox::FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem) {
  SubPane* target = ScrollingListPane::FindDropTarget(x, y, dragItem);
  for (SubPane* part = target; part && part != this; part = part->GetOwner()) {
    if (part == verticalBar_ || part == horizontalBar_ || part == HeadingStrip()) return this;
  }
  return target;
}
