// The scrolling list pane: columns, the heading row and its mouse.
#include "controls/listbox/ScrollingListPane.h"

#include <algorithm>

#include "core/string.h"
#include "graphics/Rect16.h"
#include "ui/FontCache.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeCursor.h"
#include "ui/win32windows.h"

namespace {

// The resize cursors by ColumnDragClamp code.
constexpr int32_t kResizeCursors[] = {6601, 6603, 6602};

StringRef AsciiText(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

}  // namespace

void DisposePaneTree(SubPane* pane) {
  pane->Close();
  const std::vector<SubPane*> children = pane->Children();
  for (SubPane* child : children) DisposePaneTree(child);
  pane->Unlock();
}

// ---- Heading nodes ----

void HeadingNode::TrackBegin(ColumnHeadingPane*, int32_t x, int32_t y) {
  list_->AdjustHeadingCursor(x, y);
}

void HeadingNode::HeadingClicked(ColumnHeadingPane*) {
  if (!filler_) list_->ClickHeading(this);
}

void HeadingNode::HeadingPressed(ColumnHeadingPane*) {}

void HeadingNode::HeadingMouse(ColumnHeadingPane* heading, int32_t, int32_t) {
  list_->TrackHotHeading(heading);
}

// ---- The pane ----

ScrollingListPane::ScrollingListPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                                     const StringRecord* name)
    : SubPane(parent, tabPanelIndex, bounds, name, kPaneClassName, 0, 0), columns_(Width()) {
  std::fill(std::begin(sortDirections_), std::end(sortDirections_), kSortAscending);
  strip_ = new SubPane(this, tabPanelIndex, StripRect(), nullptr, kPaneClassName, 0, 0);
  strip_->BroadcastStateChange(kPaneHide);
}

ScrollingListPane::~ScrollingListPane() {
  // Still ours when the pane was never closed with its window.
  if (strip_) {
    DisposeHeadingsFrom(0);
    DisposePaneTree(strip_);
  }
}

void ScrollingListPane::Close() {
  SubPane::Close();
  for (auto& node : nodes_) node->SetHeading(nullptr);
  nodes_.clear();
  strip_ = nullptr;
}

// ---- Columns ----

int32_t ScrollingListPane::ContentWidth() {
  const MacRect content = GetContentRect();
  return int32_t(content.right) - content.left;
}

void ScrollingListPane::LayoutColumns() {
  columns_.Layout(ContentWidth());
  ComputeColumnPositions();
  if (hasHeading_) {
    RebuildHeadings();
  } else {
    UpdateScrollBars();
  }
}

void ScrollingListPane::ComputeColumnPositions() {
  columns_.ComputePositions(GetContentRect().left, scrollOffsetX_);
}

StringRef ScrollingListPane::GetColumnExpression(ColumnExpression which, int32_t column) {
  return columns_.Expression(which, column, ContentWidth());
}

bool ScrollingListPane::SetColumnExpression(ColumnExpression which, int32_t column,
                                            const StringRecord* text) {
  if (!columns_.SetExpression(which, column, text, ContentWidth())) return false;
  if (which == kWidthExpression && columns_.StarTotal() > 0.0) LayoutColumns();
  return true;
}

void ScrollingListPane::SetColumnWidthActual(int32_t column, int32_t width) {
  if (!columns_.SetWidthActual(column, width)) return;
  ComputeColumnPositions();
  if (hasHeading_) {
    RebuildHeadings();
  } else {
    UpdateScrollBars();
  }
  ColumnResized(column);
}

// ---- Geometry ----

MacRect ScrollingListPane::InsetByMargins(const MacRect& rect) {
  return SaturatedRect16(int64_t(rect.top) + margins_.top, int64_t(rect.left) + margins_.left,
                         int64_t(rect.bottom) - margins_.bottom,
                         int64_t(rect.right) - margins_.right);
}

MacRect ScrollingListPane::GetContentRect() {
  MacRect content = InsetByMargins(Bounds());
  if (hasHeading_) content.top = Saturate16(int64_t(content.top) + kHeadingHeight - 1);
  return content;
}

MacRect ScrollingListPane::GetInteriorRect() const {
  MacRect interior = Bounds();
  MacInsetRect(&interior, 1, 1);
  return interior;
}

void ScrollingListPane::ScrollRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                   int32_t dx, int32_t dy) {
  Scroll(SaturatedRect16(top, left, bottom, right), dx, dy);
}

void ScrollingListPane::SetBounds(const MacRect& rect, bool redraw) {
  SubPane::SetBounds(rect, redraw);
  if (strip_ && strip_->IsVisible()) strip_->SetBounds(StripRect(), redraw);
}

int32_t ScrollingListPane::HeadingTop() const { return Top() + margins_.top - 1; }
int32_t ScrollingListPane::HeadingBottom() const { return Top() + kHeadingHeight + 1; }

MacRect ScrollingListPane::StripRect() const {
  return SaturatedRect16(HeadingTop(), int64_t(Left()) + margins_.left, HeadingBottom(),
                         int64_t(Bounds().right) - margins_.right);
}

MacRect ScrollingListPane::HeadingRect(int32_t k) const {
  const int32_t count = ColumnCount();
  int64_t left, right;
  if (k < 0) {
    left = Left();
    right = ColumnLeft(0);
  } else if (k >= count) {
    left = ColumnRight(count - 1);
    right = int64_t(Bounds().right) - margins_.right;
  } else {
    left = ColumnLeft(k);
    right = ColumnRight(k);
  }
  return SaturatedRect16(HeadingTop(), left, HeadingBottom(), std::max(left, right));
}

// ---- Headings ----

void ScrollingListPane::SetHasHeading(bool shown) {
  hasHeading_ = shown ? 1 : 0;
  if (!shown) RemoveHeadings();
  LayoutColumns();
}

void ScrollingListPane::SetHeading(int32_t index, const StringRecord* text) {
  if (index < -1 || index >= kListColumnLimit) return;
  auto captionOf = [](int32_t column, StringRef caption) {
    return StringLength(caption.get()) ? caption : StringRef::Adopt(StringFromLong(column));
  };
  if (index >= 0) {
    captions_[index] = captionOf(index, StringRef::Retain(const_cast<StringRecord*>(text)));
  } else {
    const StringRef cr = AsciiText("\r"), tab = AsciiText("\t");
    const int32_t end = StringFind(0, text, cr.get(), 0);
    StringRef line = end < 0 ? StringRef::Retain(const_cast<StringRecord*>(text))
                             : StringRef::Adopt(StringLeftBytes(text, end));
    for (int32_t column = 0; column < ColumnCount(); ++column) {
      captions_[column] =
          captionOf(column, StringRef::Adopt(NthField(line.get(), tab.get(), column + 1)));
    }
  }
  if (hasHeading_) {
    ComputeColumnPositions();
    RebuildHeadings();
  }
}

StringRecord* ScrollingListPane::HeadingCaption(int32_t column) const {
  return column >= 0 && column < kListColumnLimit ? captions_[column].get() : nullptr;
}

ColumnHeadingPane* ScrollingListPane::HeadingPane(int32_t column) const {
  if (column < 0 || column >= ColumnCount() || size_t(column) + 1 >= nodes_.size()) {
    return nullptr;
  }
  return nodes_[size_t(column) + 1]->Heading();
}

void ScrollingListPane::RebuildHeadings() {
  if (!strip_) return;
  ScopedFontDescriptor font;
  font.get().name = StringAddRef(TextFontName());
  font.get().size = TextSize();
  hasHeading_ = 1;
  if (!strip_->IsVisible()) {
    strip_->SetBounds(StripRect(), false);
    strip_->BroadcastStateChange(kPaneShow);
  }
  const int32_t count = ColumnCount();
  for (int32_t k = -1; k <= count; ++k) PlaceHeading(size_t(k + 1), k, font.get());
  DisposeHeadingsFrom(size_t(count) + 2);
  UpdateScrollBars();
}

void ScrollingListPane::PlaceHeading(size_t position, int32_t k, const FontDescriptor& font) {
  const bool filler = k < 0 || k >= ColumnCount();
  StringRecord* caption = filler ? nullptr : captions_[k].get();
  const MacRect rect = HeadingRect(k);
  if (position >= nodes_.size()) {
    auto node = std::make_unique<HeadingNode>(this, filler);
    auto* heading = new ColumnHeadingPane(node.get(), font, strip_, rect, caption);
    // A new heading shows its column's direction, and the sorted column its
    // arrow, however long ago the sort was.
    if (!filler) {
      heading->SetSortDirection(sortDirections_[k]);
      if (k == sortedColumn_) heading->SetSortMark(1);
    }
    node->SetHeading(heading);
    nodes_.push_back(std::move(node));
    return;
  }
  HeadingNode* node = nodes_[position].get();
  node->SetFiller(filler);
  ColumnHeadingPane* heading = node->Heading();
  if (RuntimeStringCompare(heading->Caption(), caption) != 0) heading->SetCaption(caption);
  const MacRect& old = heading->Bounds();
  if (old.top != rect.top || old.left != rect.left || old.bottom != rect.bottom ||
      old.right != rect.right) {
    heading->SetBounds(rect, false);
    heading->Invalidate(false);
  }
}

void ScrollingListPane::DisposeHeadingsFrom(size_t position) {
  while (nodes_.size() > position) {
    if (ColumnHeadingPane* heading = nodes_.back()->Heading()) DisposePaneTree(heading);
    nodes_.pop_back();
  }
  if (trackedColumn_ >= HeadingPaneCount() - 2) trackedColumn_ = -1;
}

void ScrollingListPane::RemoveHeadings() {
  if (strip_ && strip_->IsVisible()) strip_->BroadcastStateChange(kPaneHide);
  DisposeHeadingsFrom(0);
}

int32_t ScrollingListPane::ColumnOfNode(const HeadingNode* node) const {
  if (node->IsFiller()) return -1;
  for (size_t position = 1; position + 1 < nodes_.size(); ++position) {
    if (nodes_[position].get() == node) return int32_t(position) - 1;
  }
  return -1;
}

// ---- Sorting ----

void ScrollingListPane::SetSortedColumn(int32_t column) {
  if (column < -1 || column >= kListColumnLimit || column == sortedColumn_) return;
  for (int32_t k = 0; k < ColumnCount(); ++k) {
    ColumnHeadingPane* heading = HeadingPane(k);
    if (!heading) break;
    if (k == column) {
      heading->SetSortMark(1);
      sortDirections_[k] = heading->SortDirection();
    } else if (heading->GetSortMark() != 0) {
      heading->SetSortMark(0);
    }
  }
  if (column >= 0 && column < ColumnCount()) HeaderPressed(column);
}

uint8_t ScrollingListPane::ColumnSortDirection(int32_t column) const {
  return column >= 0 && column < kListColumnLimit ? sortDirections_[column] : 0;
}

void ScrollingListPane::SetColumnSortDirection(int32_t column, uint8_t direction, bool force) {
  if (column < 0 || column >= kListColumnLimit) return;
  if (!force && sortDirections_[column] == direction) return;
  sortDirections_[column] = direction;
  ColumnHeadingPane* heading = HeadingPane(column);
  if (!heading) return;
  heading->SetSortDirection(direction);
  if (heading->GetSortMark() == 0) return;
  heading->Invalidate(false);
  if (GraphicsPort* port = PaneNewGraphicsPort(this)) {
    Draw(port);
    PaneDeleteGraphicsPort(port);
  }
}

void ScrollingListPane::ClickHeading(HeadingNode* node) {
  const int32_t column = ColumnOfNode(node);
  if (column < 0) return;
  for (int32_t k = 0; k < ColumnCount(); ++k) {
    ColumnHeadingPane* other = HeadingPane(k);
    if (other && k != column && other->GetSortMark() != 0) other->SetSortMark(0);
  }
  ColumnHeadingPane* heading = node->Heading();
  heading->SetSortMark(1);
  sortDirections_[column] = heading->SortDirection();
  HeaderPressed(column);
}

// ---- The mouse over the heading row ----

void ScrollingListPane::TrackHotHeading(ColumnHeadingPane* heading) {
  if (!heading->IsHot()) heading->MouseEnter(0, 0, 0);
  LeaveHotHeadings(heading);
}

void ScrollingListPane::LeaveHotHeadings(ColumnHeadingPane* except) {
  for (int32_t k = 0; k < ColumnCount(); ++k) {
    ColumnHeadingPane* heading = HeadingPane(k);
    if (heading && heading != except && heading->IsHot()) heading->MouseLeave();
  }
}

ColumnHit ScrollingListPane::HitTestHeadings(int32_t x, int32_t y) const {
  if (nodes_.empty()) return {};
  return columns_.HitTest(x, y, HeadingTop(), HeadingBottom());
}

ColumnDragClamp ScrollingListPane::ClampColumnDrag(int32_t column, int32_t* width, int32_t x) {
  const MacRect content = GetContentRect();
  return columns_.ClampDrag(column, width, x, content.left, content.right);
}

bool ScrollingListPane::HeadingsMouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (nodes_.empty()) return false;
  trackedColumn_ = -1;
  const ColumnHit hit = HitTestHeadings(x, y);
  if (hit.column < 0) return false;
  if (hit.onDivider) {
    SetMouseCapturePane(this);
    trackedColumn_ = hit.column;
    return true;
  }
  ColumnHeadingPane* heading = HeadingPane(hit.column);
  return heading && heading->MouseDown(x, y, modifiers);
}

void ScrollingListPane::HeadingsMouseDrag(int32_t x, int32_t y) {
  const int32_t column = trackedColumn_;
  if (nodes_.empty() || column < 0) return;
  // The width that puts the column's right edge under the pointer.
  int32_t width = int32_t(std::clamp<int64_t>(
      int64_t(ColumnWidth(column)) + x - ColumnRight(column), 0, kColumnExtentLimit));
  ClampColumnDrag(column, &width, x);
  if (width == ColumnWidth(column)) return;
  SetColumnWidthActual(column, width);
  AdjustHeadingCursor(x, y);
}

void ScrollingListPane::HeadingsMouseUp() {
  AdjustHeadingCursor(-1, -1);
  LeaveHotHeadings(nullptr);
  // The drag is over: the next moves hot-track again.
  trackedColumn_ = -1;
}

void ScrollingListPane::HeadingsMouseMoved(int32_t x, int32_t y) {
  if (nodes_.empty() || trackedColumn_ >= 0) return;
  const ColumnHit hit = HitTestHeadings(x, y);
  ColumnHeadingPane* heading = hit.onDivider ? nullptr : HeadingPane(hit.column);
  LeaveHotHeadings(heading);
  if (heading) heading->MouseMove(x, y, 0);
}

bool ScrollingListPane::AdjustHeadingCursor(int32_t x, int32_t y) {
  ColumnHit hit{trackedColumn_, true};
  if (!columnDragging_ || trackedColumn_ < 0) {
    hit = HitTestHeadings(x, y);
    if (!columnDragging_) trackedColumn_ = -1;
  }
  ObjectRef cursor = ObjectRef::Adopt(NewStandardCursor(kCursorArrow));
  const int32_t column = hit.column;
  if (column >= 0 && hit.onDivider && (column + 1 < ColumnCount() || !columns_.HasStarColumns())) {
    int32_t width = ColumnWidth(column);
    cursor =
        ObjectRef::Adopt(NewCursorFromResource(kResizeCursors[ClampColumnDrag(column, &width, x)]));
  }
  SetNativeCursor(cursor.get());
  return true;
}

// ---- What the list pane above supplies ----

void ScrollingListPane::InvalidateCells(int32_t, int32_t) {}
void ScrollingListPane::ColumnResized(int32_t) {}
void ScrollingListPane::HeaderPressed(int32_t) {}
int32_t ScrollingListPane::RowCount() { return 0; }
void ScrollingListPane::UpdateScrollBars() {}
