// The list box pane's drawing: the held picture and its cell cache, the
// invalidation slots, rows and cells with their paint events, the frame and
// the placing of the cell editor.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include "controls/listbox/runListbox.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/Rect16.h"
#include "ui/Theme.h"
#include "ui/pane.h"
#include "ui/WinUtil.h"

namespace {

constexpr int32_t kFlatIndent = 4;
constexpr int32_t kFolderIndent = 20;
constexpr int32_t kDepthIndent = 12;
constexpr int32_t kTriangleLeft = 4;
constexpr int32_t kTriangleSide = 12;
constexpr int32_t kGlyphRoom = 20;
constexpr int32_t kPictureRoom = 20;
constexpr int32_t kPictureCentre = 8;
constexpr int32_t kTextMargin = 4;
constexpr int32_t kEditorInset = 2;
constexpr int32_t kSelectionMargin = 3;
// How far a cell's grid lines reach out of it.
constexpr int64_t kGridReach = 3;
constexpr int kListFramePart = 1;
constexpr int kListFrameState = 1;
// The editor's place while its cell is out of view.
constexpr RECT kParkedEditor{-10, -10, -10, -10};
// Pen patterns of the grid lines.
constexpr uint8_t kSolid = 0;
constexpr uint8_t kGrey = 1;
constexpr uint8_t kRowsPattern = 2;
constexpr uint8_t kColumnsPattern = 3;

RGBColor16 SystemColor(int index) {
  const COLORREF colour = GetSysColor(index);
  return RGBColor16{uint16_t(GetRValue(colour) * 257), uint16_t(GetGValue(colour) * 257),
                    uint16_t(GetBValue(colour) * 257)};
}

void FillWith(GraphicsPort* port, const MacRect& rect, int colourIndex) {
  ForeColorScope keep(port);
  port->SetForeColor(SystemColor(colourIndex));
  port->FillRect(rect);
}

// The thickness of a border style (1 none and 0 draw nothing).
int32_t Thickness(int32_t style) {
  switch (style) {
    case 2:
    case 3:
      return 1;
    case 4:
      return 2;
    case 5:
      return 3;
    default:
      return 0;
  }
}

int32_t RectHeight(const MacRect& rect) { return int32_t(rect.bottom) - rect.top; }
int32_t RectWidth(const MacRect& rect) { return int32_t(rect.right) - rect.left; }

// The user's decimal separator, read once.
StringRecord* DecimalSeparator() {
  static StringRecord* const separator = [] {
    wchar_t text[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 8);
    return StringFromUTF16(reinterpret_cast<const uint16_t*>(text), text[0] ? 1 : 0);
  }();
  return separator;
}

StringRecord* Ellipsis() {
  static StringRecord* const suffix = StringFromASCII("...");
  return suffix;
}

// The text up to its first CR, then up to its first LF.
StringRef FirstLine(StringRecord* text) {
  static StringRecord* const kEnds[] = {StringFromASCII("\r"), StringFromASCII("\n")};
  StringRef line = StringRef::Retain(text);
  for (StringRecord* end : kEnds) {
    const int32_t at = StringFindB(0, line.get(), end);
    if (at >= 0) line = StringRef::Adopt(StringLeftBytes(line.get(), at));
  }
  return line;
}

// A Graphics of its own for a paint event, drawing into what the painting
// port draws into: its origin at the rectangle's top-left, clipped, in the
// list's font. Releasing it deletes only its own port.
ObjectRef NewCellGraphics(Pane* list, GraphicsPort* painting, const MacRect& at,
                          const MacRect& clip) {
  Pane* target = painting->Target();
  if (!target) return ObjectRef();
  auto* port = new GraphicsPort(target);
  if (list->TextFontName()) port->SetTextFont(list->TextFontName());
  port->SetTextSize(list->TextSize());
  port->SetTextStyle(list->TextStyleBits());
  // The clip is kept in device units, so it is set before the origin moves.
  port->SetClipRect(clip);
  port->SetOrigin(target->Left() - at.left, target->Top() - at.top);
  GraphicsObject* graphics = WrapGraphicsPort(port);
  return ObjectRef::Adopt(graphics ? &graphics->header : nullptr);
}

// A grid line as the pen draws it: from `from` to `to` along the line, at
// `at` across it, the pen's thickness across. deviceShift turns `at` into
// the device coordinate the pattern is laid on.
void StrokeGridLine(GraphicsPort* port, int32_t style, bool vertical, int32_t at, int32_t from,
                    int32_t to, int32_t deviceShift) {
  const int32_t thickness = Thickness(style);
  port->SetPenPattern(style == 2 ? kGrey : style == 5 ? (vertical ? kColumnsPattern : kRowsPattern)
                                                      : kSolid);
  // The pattern starts on a set pixel at the line's first column or row,
  // so dotted and double lines look the same in every cell.
  const bool odd = ((at + deviceShift) & 1) != 0;
  port->SetPatternPhase(vertical && odd ? 1 : 0, !vertical && odd ? 1 : 0);
  port->FillRect(vertical ? SaturatedRect16(from, at, int64_t(to) + 1, int64_t(at) + thickness)
                          : SaturatedRect16(at, from, int64_t(at) + thickness, int64_t(to) + 1));
}

// Sets the port's text size and style (only what differs: a change makes
// the port select its font again), put back when the scope ends.
class TextStateScope {
 public:
  TextStateScope(GraphicsPort* port, int32_t size, uint32_t style)
      : port_(port), size_(port->TextSize()), style_(port->TextStyle()) {
    Apply(size, style);
  }
  ~TextStateScope() { Apply(size_, style_); }
  TextStateScope(const TextStateScope&) = delete;
  TextStateScope& operator=(const TextStateScope&) = delete;

 private:
  void Apply(int32_t size, uint32_t style) {
    if (port_->TextSize() != size) port_->SetTextSize(size);
    if (port_->TextStyle() != style) port_->SetTextStyle(style);
  }

  GraphicsPort* port_;
  int32_t size_;
  uint32_t style_;
};

}  // namespace

// ---- The held picture ----

runListbox::BufferHolder::BufferHolder(int32_t width, int32_t height) {
  for (int32_t depth = 32; depth >= 8 && !port_; depth /= 2) {
    if (picture_) PictureRelease(picture_);
    picture_ = BitmapPicture::Create(width, height, depth);
    if (picture_ && picture_->HasBitmap()) port_ = picture_->NewGraphics();
  }
}

runListbox::BufferHolder::~BufferHolder() {
  delete port_;
  if (picture_) PictureRelease(picture_);
}

BitmapPicture* runListbox::BufferPicture() const {
  return buffer_ && drawingOffscreen_ ? buffer_->Picture() : nullptr;
}

void runListbox::DropCache() { cache_ = CellCache(); }

void runListbox::ForgetBuffer() {
  DropCache();
  needsRedraw_ = 1;
  if (painting_) {
    // The paint still draws through it: it goes when the paint ends.
    bufferStale_ = 1;
    invalidatedInPaint_ = 1;
    return;
  }
  buffer_.reset();
  drawingOffscreen_ = 0;
}

GraphicsPort* runListbox::BeginBufferedDrawing(GraphicsPort* graphics) {
  if (!buffer_) {
    const MacRect content = GetContentRect();
    buffer_ = std::make_unique<BufferHolder>(content.right, content.bottom);
    if (GraphicsPort* port = buffer_->Port()) {
      if (TextFontName()) port->SetTextFont(TextFontName());
      port->SetTextSize(TextSize());
      port->SetTextStyle(TextStyleBits());
    }
  }
  drawingOffscreen_ = buffer_->Port() ? 1 : 0;
  if (drawingOffscreen_) return buffer_->Port();
  buffer_.reset();
  return graphics;
}

// ---- Invalidation ----

void runListbox::Invalidate(bool erase) { RepaintArea(nullptr, erase); }

void runListbox::RepaintArea(const MacRect* area, bool erase) {
  if (painting_) {
    invalidatedInPaint_ = 1;
    return;
  }
  HWND window = NativeWindow();
  if (!window) return;
  ++windowInvalidations_;
  RECT part;
  if (area) part = RECT{area->left - Left(), area->top - Top(), area->right - Left(), area->bottom - Top()};
  // The paint's handlers may close the window: the pane outlives the call.
  OwnerChainLock hold(this);
  RedrawWindow(window, area ? &part : nullptr, nullptr,
               RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN | (erase ? RDW_ERASE : 0));
}

MacRect runListbox::CellsArea(int32_t row, int32_t column) {
  const MacRect content = GetContentRect();
  int64_t top = content.top, bottom = content.bottom, left = content.left, right = content.right;
  if (row >= 0) {
    top = content.top + int64_t(RowHeight(-1)) * (int64_t(row) - TopRow());
    bottom = top + RowHeight(-1);
  }
  if (column >= 0 && column < ColumnCount()) {
    left = ColumnLeft(column);
    right = ColumnRight(column);
  }
  // With the grid lines a cell draws over its neighbours' edges.
  return SaturatedRect16(std::max(top - kGridReach, int64_t(content.top)),
                         std::max(left - kGridReach, int64_t(content.left)),
                         std::min(bottom + kGridReach, int64_t(content.bottom)),
                         std::min(right + kGridReach, int64_t(content.right)));
}

void runListbox::Redraw() { Invalidate(true); }

bool runListbox::RowOutOfView(int32_t row) {
  if (row < TopRow()) return true;
  const int32_t h = RowHeight(-1);
  const int64_t visible = (int64_t(RectHeight(GetContentRect())) + h - 1) / h;
  return int64_t(row) >= int64_t(TopRow()) + visible;
}

void runListbox::ShrinkCache(int32_t row, int32_t column) {
  const int32_t rows = cache_.lastRow - cache_.firstRow + 1;
  const int32_t columns = cache_.lastColumn - cache_.firstColumn + 1;
  const int32_t midRow = cache_.firstRow + rows / 2;
  const int32_t midColumn = cache_.firstColumn + columns / 2;
  // The cache loses the side of the cell nearer its edge: rows (a whole
  // row given) or columns (a whole column given), else whichever costs
  // fewer cells to draw again.
  bool loseRows = row >= 0;
  if (row >= 0 && column >= 0) {
    const int64_t rowsLost = row < midRow ? row - cache_.firstRow + 1 : cache_.lastRow - row + 1;
    const int64_t columnsLost = column < midColumn ? column - cache_.firstColumn + 1
                                                   : cache_.lastColumn - column + 1;
    loseRows = rowsLost * columns <= columnsLost * rows;
  }
  if (loseRows) {
    (row < midRow ? cache_.firstRow : cache_.lastRow) = row < midRow ? row + 1 : row - 1;
  } else {
    (column < midColumn ? cache_.firstColumn : cache_.lastColumn) =
        column < midColumn ? column + 1 : column - 1;
  }
  if (cache_.lastRow < cache_.firstRow || cache_.lastColumn < cache_.firstColumn) DropCache();
}

bool runListbox::DeferredToTheTurn() {
  if (!HasPendingShift()) return false;
  // Rows inserted or removed in view: the turn's end redraws every row, so
  // nothing is drawn now, and no cell drawn before may be kept.
  DropCache();
  needsRedraw_ = 1;
  return true;
}

void runListbox::InvalidateCellsNow(int32_t row, int32_t column) {
  if (row < -1 || column < -1) {
    RaiseOutOfBoundsException();
    return;
  }
  // A row outside the view shows nothing of the change.
  if (row >= 0 && RowOutOfView(row)) return;
  if (painting_) {
    invalidatedInPaint_ = 1;
    return;
  }
  if (DeferredToTheTurn()) return;
  if (cache_.firstRow >= 0) {
    const bool rowCached = row == -1 || (row >= cache_.firstRow && row <= cache_.lastRow);
    const bool columnCached =
        column == -1 || (column >= cache_.firstColumn && column <= cache_.lastColumn);
    if (row == -1 && column == -1) {
      DropCache();
    } else if (rowCached && columnCached) {
      ShrinkCache(row, column);
    }
  }
  needsRedraw_ = 1;
  if (row == -1 && column == -1) {
    Invalidate(true);
    return;
  }
  // Cells dropped from the cache besides these are drawn again as they
  // were: only the cells asked for reach the window.
  const MacRect area = CellsArea(row, column);
  RepaintArea(&area, false);
}

void runListbox::InvalidateCells(int32_t row, int32_t column) {
  RecordInvalidation(InvalidationCall::kCells, row, column);
  InvalidateCellsNow(row, column);
}

void runListbox::InvalidateRow(int32_t row) {
  RecordInvalidation(InvalidationCall::kRow, row, -1);
  InvalidateCellsNow(row, -1);
}

void runListbox::InvalidateColumn(int32_t column) {
  RecordInvalidation(InvalidationCall::kColumn, -1, column);
  InvalidateCellsNow(-1, column);
}

void runListbox::InvalidateFromRow(int32_t row) {
  RecordInvalidation(InvalidationCall::kFromRow, row, -1);
  // Rows above the view move every visible row; rows below it show nothing.
  if (row >= TopRow() && RowOutOfView(row)) return;
  InvalidateFrom(&CellCache::firstRow, &CellCache::lastRow, row);
}

void runListbox::InvalidateFromColumn(int32_t column) {
  RecordInvalidation(InvalidationCall::kFromColumn, -1, column);
  InvalidateFrom(&CellCache::firstColumn, &CellCache::lastColumn, column);
}

void runListbox::InvalidateFrom(int32_t CellCache::*first, int32_t CellCache::*last,
                                int32_t from) {
  if (painting_) {
    invalidatedInPaint_ = 1;
    return;
  }
  if (DeferredToTheTurn()) return;
  if (cache_.firstRow >= 0 && from > cache_.*first) {
    cache_.*last = std::min(cache_.*last, from - 1);
  } else {
    DropCache();
  }
  needsRedraw_ = 1;
  Invalidate(true);
}

// ---- The paint ----

void runListbox::Draw(GraphicsPort* graphics) {
  if (!IsVisible() || !IsShown()) return;
  // A paint asked for inside a paint comes after it.
  if (painting_) {
    invalidatedInPaint_ = 1;
    return;
  }
  OwnerChainLock hold(this);
  RowsLock section(this);
  ++paintCount_;
  painting_ = 1;
  DrawRows(BeginBufferedDrawing(graphics));
  if (IsClosing()) return;
  if (drawingOffscreen_) ShowBuffer(graphics, GetContentRect());
  DrawCaretRow(graphics);
  PlaceEditor();
  DrawScrollBarCorner(graphics);
  DrawBorder(graphics);
  EndPaint();
}

void runListbox::ShowBuffer(GraphicsPort* graphics, MacRect area) {
  const MacRect content = GetContentRect();
  ClipStateSaver clip(graphics);
  MacRect shown =
      SaturatedRect16(content.top, int64_t(content.left) - 1, content.bottom, content.right);
  if (area.left <= content.left) area.left = shown.left;
  if (!MacSectRect(&shown, &area, &shown)) return;
  graphics->SetClipRect(shown);
  // Only what the paint uncovers is copied.
  RECT box;
  HDC dc = graphics->GetDC();
  if (dc && GetClipBox(dc, &box) != ERROR) {
    const MacRect uncovered = SaturatedRect16(int64_t(box.top) + graphics->OriginY(),
                                              int64_t(box.left) + graphics->OriginX(),
                                              int64_t(box.bottom) + graphics->OriginY(),
                                              int64_t(box.right) + graphics->OriginX());
    if (!MacSectRect(&shown, &uncovered, &shown)) shown = MacRect{};
  }
  PictureDrawInGraphics(buffer_->Picture(), graphics, shown, shown, false);
  clip.Restore();
}

void runListbox::EndPaint() {
  painting_ = 0;
  if (bufferStale_) {
    bufferStale_ = 0;
    ForgetBuffer();
  }
  if (invalidatedInPaint_) {
    // What changed during the paint is drawn by the next one.
    invalidatedInPaint_ = 0;
    DropCache();
    needsRedraw_ = 1;
    if (HWND window = NativeWindow()) ::InvalidateRect(window, nullptr, FALSE);
  }
}

void runListbox::RedrawRow(GraphicsPort* graphics, int32_t row, const MacRect& rowRect,
                           bool selected) {
  if (!IsVisible() || !IsShown() || row < 0 || row >= RowCount()) return;
  if (painting_) {
    invalidatedInPaint_ = 1;
    return;
  }
  OwnerChainLock hold(this);
  RowsLock section(this);
  std::unique_ptr<GraphicsPort, void (*)(GraphicsPort*)> own(nullptr, PaneDeleteGraphicsPort);
  if (!graphics) own.reset(graphics = PaneNewGraphicsPort(this));
  if (!graphics) return;
  painting_ = 1;
  // A fresh picture shows nothing else yet: only the row is copied then.
  const bool pictureShowsView = buffer_ && cache_.firstRow >= 0;
  GraphicsPort* port = BeginBufferedDrawing(graphics);
  const MacRect content = GetContentRect();
  MacRect shown;
  if (MacSectRect(&rowRect, &content, &shown)) {
    ClipStateSaver clip(port);
    port->SetClipRect(shown);
    // Every cell of the row, cached or not; the cache still holds after.
    const CellCache kept = std::exchange(cache_, CellCache());
    DrawRow(port, row, rowRect, selected);
    cache_ = kept;
    if (IsClosing()) return;
    clip.Restore();
  }
  if (drawingOffscreen_) ShowBuffer(graphics, pictureShowsView ? content : shown);
  EndPaint();
}

void runListbox::DrawRows(GraphicsPort* port) {
  MarkDrawn();
  const int32_t h = RowHeight(-1);
  const MacRect content = GetContentRect();
  if (!ScrollCachedImage(port, content)) EraseUncached(port, content);
  bool stopped = false;
  if (needsRedraw_) {
    const uint32_t structure = structureCount_;
    ClipStateSaver clip(port);
    int64_t top = content.top;
    for (int32_t row = TopRow(); row < RowCount() && top < content.bottom && !stopped;
         ++row, top += h) {
      const bool cached = cache_.firstRow >= 0 && shiftedVertically_ && row >= cache_.firstRow &&
                          row <= cache_.lastRow;
      const MacRect rowRect = SaturatedRect16(top, content.left, top + h, content.right);
      MacRect shown;
      if (cached || !MacSectRect(&rowRect, &content, &shown)) continue;
      port->SetClipRect(shown);
      DrawRow(port, row, rowRect, IsRowSelected(row));
      if (IsClosing()) return;
      stopped = structureCount_ != structure;
    }
    clip.Restore();
  }
  needsRedraw_ = 0;
  cachedTopRow_ = cache_.firstRow = TopRow();
  cache_.lastRow = std::min(TopRow() + RectHeight(content) / h - 1, RowCount() - 1);
  cachedScrollX_ = ScrollOffsetX();
  cache_.firstColumn = cache_.lastColumn = -1;
  for (int32_t column = 0; column < ColumnCount() && cache_.firstColumn < 0; ++column) {
    if (ColumnLeft(column) >= content.left) cache_.firstColumn = column;
  }
  for (int32_t column = ColumnCount() - 1; column >= 0 && cache_.lastColumn < 0; --column) {
    if (ColumnRight(column) <= content.right) cache_.lastColumn = column;
  }
  if (cache_.lastRow < cache_.firstRow || cache_.firstColumn < 0 ||
      cache_.lastColumn < cache_.firstColumn) {
    DropCache();
  }
  // Rows changed under a paint handler: what was drawn after is not kept.
  if (stopped) invalidatedInPaint_ = 1;
}

bool runListbox::ScrollCachedImage(GraphicsPort* port, const MacRect& content) {
  if (!drawingOffscreen_) {
    DropCache();
    needsRedraw_ = 1;
    return false;
  }
  shiftedVertically_ = cache_.firstRow >= 0 && cachedTopRow_ != TopRow();
  shiftedHorizontally_ = cache_.firstRow >= 0 && ScrollOffsetX() != cachedScrollX_;
  if (!shiftedVertically_ && !shiftedHorizontally_) return false;
  // The image moves by what the view moved (the first cached row may lie
  // below the top row the picture was drawn at).
  const int64_t dy =
      shiftedVertically_ ? int64_t(RowHeight(-1)) * (int64_t(cachedTopRow_) - TopRow()) : 0;
  const int64_t dx = shiftedHorizontally_ ? int64_t(cachedScrollX_) - ScrollOffsetX() : 0;
  if (std::abs(dx) >= RectWidth(content) || std::abs(dy) >= RectHeight(content)) {
    // Nothing of the old image stays in view.
    DropCache();
    needsRedraw_ = 1;
    return false;
  }
  ClipStateSaver clip(port);
  port->SetClipRect(content);
  PictureDrawInGraphics(buffer_->Picture(), port, content,
                        OffsetRect16(content, int32_t(dx), int32_t(dy)), false);
  clip.Restore();
  const int64_t top = content.top, left = content.left;
  const int64_t bottom = content.bottom, right = content.right;
  if (dy > 0) DrawBackground(port, SaturatedRect16(top, left, top + dy, right));
  if (dy < 0) DrawBackground(port, SaturatedRect16(bottom + dy, left, bottom, right));
  if (dx > 0) DrawBackground(port, SaturatedRect16(top, left, bottom, left + dx));
  if (dx < 0) DrawBackground(port, SaturatedRect16(top, right + dx, bottom, right));
  needsRedraw_ = 1;
  return true;
}

void runListbox::EraseUncached(GraphicsPort* port, const MacRect& content) {
  if (!drawingOffscreen_ || cache_.firstRow < 0) {
    needsRedraw_ = 1;
    DrawBackground(port, content);
    return;
  }
  if (!needsRedraw_) return;
  const int64_t h = RowHeight(-1);
  const int64_t top = content.top, left = content.left;
  const int64_t bottom = content.bottom, right = content.right;
  const int64_t cachedTop = top + h * (int64_t(cache_.firstRow) - TopRow());
  const int64_t cachedBottom = top + h * (int64_t(cache_.lastRow) - TopRow() + 1);
  if (cachedTop > top) DrawBackground(port, SaturatedRect16(top, left, cachedTop, right));
  if (cachedBottom < bottom) DrawBackground(port, SaturatedRect16(cachedBottom, left, bottom, right));
  const int64_t cachedLeft = ColumnLeft(cache_.firstColumn);
  const int64_t cachedRight = ColumnRight(cache_.lastColumn);
  if (cachedLeft > left) DrawBackground(port, SaturatedRect16(top, left, bottom, cachedLeft));
  if (cachedRight < right) DrawBackground(port, SaturatedRect16(top, cachedRight, bottom, right));
}

void runListbox::DrawBackground(GraphicsPort* port, const MacRect& rect) {
  FillWith(port, rect, COLOR_WINDOW);
}

bool runListbox::RowHighlighted(bool selected) const {
  return selected && !hierarchical_ && IsEnabled();
}

// ---- Rows and cells ----

void runListbox::DrawRow(GraphicsPort* port, int32_t row, const MacRect& rowRect, bool selected) {
  ListBoxRow* record = GetRowRecord(row);
  const int colour = RowHighlighted(selected) ? COLOR_HIGHLIGHT : COLOR_WINDOW;
  const MacRect content = GetContentRect();
  int64_t x = int64_t(rowRect.left) - ScrollOffsetX();
  const int64_t columnsEnd = x + TotalColumnsWidth();
  if (columnsEnd < rowRect.right) {
    FillWith(port, SaturatedRect16(rowRect.top, columnsEnd, rowRect.bottom, rowRect.right), colour);
  }
  std::unique_ptr<BoundRow> bound;
  if (RuntimeObject* provider = ListProvider()) bound = std::make_unique<BoundRow>(provider, row);
  for (int32_t column = 0; column < ColumnCount(); ++column) {
    const int64_t right = x + ColumnWidth(column);
    if (!cache_.Holds(row, column) && x != right && x < content.right && right > content.left) {
      ListBoxCell* cell = record ? CellOf(row, column) : nullptr;
      const MacRect cellRect = SaturatedRect16(rowRect.top, x, rowRect.bottom, right);
      if (!DrawCell(port, cellRect, cell, bound.get(), row, column, selected)) return;
    }
    x = right;
  }
}

runListbox::CellLayout runListbox::LayoutCell(const MacRect& cellRect, const ListBoxCell* cell,
                                              int32_t row, int32_t column) const {
  CellLayout layout{};
  auto inset = [&](CellSide side) {
    return (Thickness(CellBorderStyle(side, row, column, true)) + 1) / 2;
  };
  const MacRect& r = cellRect;
  layout.content = SaturatedRect16(int64_t(r.top) + inset(kCellTop), int64_t(r.left) + inset(kCellLeft),
                                   int64_t(r.bottom) - inset(kCellBottom),
                                   int64_t(r.right) - inset(kCellRight));
  const MacRect& c = layout.content;
  int64_t left = c.left;
  if (column == 0 && !hierarchical_) {
    left += kFlatIndent;
  } else if (column == 0) {
    const ListBoxRow* record = GetRowRecord(row);
    layout.folder = record && record->folderState != -1;
    const int64_t triangleTop = int64_t(c.top) + (RectHeight(c) - kTriangleSide) / 2;
    layout.triangle = SaturatedRect16(triangleTop, left + kTriangleLeft, triangleTop + kTriangleSide,
                                      left + kTriangleLeft + kTriangleSide);
    left += kFolderIndent + kDepthIndent * int64_t(record ? record->depth : 0);
  }
  int64_t offset = 0;
  if (EffectiveCellType(row, column) == 2) {
    layout.hasCheckBox = true;
    const int64_t side = RectHeight(c) - 2;
    layout.checkBox = SaturatedRect16(int64_t(c.top) + 1, left, c.top + 1 + side, left + side);
    offset = kGlyphRoom;
  }
  if (cell && cell->object) {
    layout.pictureCentre = int32_t(left + offset + kPictureCentre);
    offset += kPictureRoom;
  }
  layout.text = SaturatedRect16(c.top, left + offset, c.bottom, c.right);
  return layout;
}

bool runListbox::DrawCell(GraphicsPort* port, const MacRect& cellRect, ListBoxCell* cell,
                          const BoundRow* bound, int32_t row, int32_t column, bool selected) {
  ++drawCellCount_;
  port->Focus();
  ForeColorScope keepColour(port);
  FillWith(port, cellRect, RowHighlighted(selected) ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  port->SetForeColor(RGBColor16{0, 0, 0});
  if (handlers_[kListCellBackgroundPaint]) {
    const uint32_t structure = structureCount_;
    const MacRect content = GetContentRect();
    MacRect clip;
    MacSectRect(&content, &cellRect, &clip);
    ObjectRef graphics = NewCellGraphics(this, port, cellRect, clip);
    ++paintEventCount_;
    if (Fire(kListCellBackgroundPaint, graphics.get(), row, column).closing ||
        structureCount_ != structure) {
      return false;
    }
  }
  const CellLayout layout = LayoutCell(cellRect, cell, row, column);
  const int32_t dx = port->OriginX(), dy = port->OriginY();
  if (layout.folder) {
    const MacRect& t = layout.triangle;
    if (HDC dc = port->GetDC()) {
      DrawDisclosureTriangle(dc, t.left - dx, t.top - dy, t.right - dx, t.bottom - dy,
                             IsRowExpanded(row));
    }
  }
  if (layout.hasCheckBox) {
    const MacRect& b = layout.checkBox;
    if (HDC dc = port->GetDC()) {
      DrawCheckBoxGlyph(dc, b.left - dx, b.top - dy, b.right - dx, b.bottom - dy,
                        cell && cell->checked);
    }
  }
  if (cell && cell->object && ObjectIsADefinition(cell->object, PictureClassDefinition())) {
    auto* picture = reinterpret_cast<PictureObject*>(cell->object);
    if (NativePicture* native = picture->nativePicture) {
      int32_t width = 0, height = 0;
      native->GetSize(&width, &height);
      const MacRect& c = layout.content;
      port->DrawPicture(layout.pictureCentre - width / 2, c.top + (RectHeight(c) - height) / 2, native,
                        0, 0, width, height, picture->transparent != 0);
    }
  }
  if (EditRow() != row || EditColumn() != column) {
    StringRef text = bound ? bound->Text(column) : StringRef::Retain(cell ? cell->text : nullptr);
    if (!DrawCellText(port, layout.text, text.get(), cell ? cell->style : 0, row, column, selected)) {
      return false;
    }
  }
  DrawGridLines(port, cellRect, row, column);
  return true;
}

int32_t runListbox::TextOffset(GraphicsPort* port, StringRecord* text, int32_t row, int32_t column,
                               int32_t contentWidth, bool* keepSuffix) {
  const int32_t offset = EffectiveAlignmentOffset(row, column);
  const int32_t least = std::max(offset, 0);
  const int32_t width = contentWidth - kTextMargin;
  int32_t x = offset;
  int32_t alignment = EffectiveAlignment(row, column);
  int32_t separator = -1;
  if (alignment == 4) {
    separator = StringFind(0, text, DecimalSeparator(), 0);
    if (separator < 0) alignment = 3;
  }
  if (alignment == 2) x = (width - port->StringWidth(text)) / 2 + offset;
  if (alignment == 3) x = offset + width - port->StringWidth(text);
  if (alignment == 4) {
    StringRef before = StringRef::Adopt(StringLeftBytes(text, separator));
    x = std::max(offset + width - port->StringWidth(before.get()), least);
    StringRef shorter = StringRef::Adopt(StringDropLastCharacter(before.get()));
    // Digits that fit whole need no ellipsis after them.
    if (port->StringWidth(shorter.get()) + x <= contentWidth) *keepSuffix = false;
  }
  return std::max(x, least);
}

bool runListbox::DrawCellText(GraphicsPort* port, const MacRect& c, StringRecord* text,
                              uint8_t style, int32_t row, int32_t column, bool selected) {
  TextStateScope textState(port, EffectiveTextSize(row, column), uint32_t(style) | TextStyleBits());
  const bool hierarchicalMark = selected && hierarchical_ && column == 0;
  port->SetForeColor(SystemColor(RowHighlighted(selected) || hierarchicalMark
                                     ? COLOR_HIGHLIGHTTEXT
                                     : COLOR_WINDOWTEXT));
  const int32_t y = (RectHeight(c) - port->TextHeight()) / 2 + port->TextAscent();
  StringRef line = FirstLine(text);
  bool keepSuffix = true;
  const int32_t x = TextOffset(port, line.get(), row, column, RectWidth(c), &keepSuffix);
  if (handlers_[kListCellTextPaint]) {
    const uint32_t structure = structureCount_;
    const MacRect content = GetContentRect();
    MacRect clip;
    MacSectRect(&content, &c, &clip);
    ObjectRef graphics = NewCellGraphics(this, port, c, clip);
    ++paintEventCount_;
    const EventOutcome outcome = Fire(kListCellTextPaint, graphics.get(), row, column, x, y);
    if (outcome.closing || structureCount_ != structure) return false;
    if (outcome.handled) return true;
  }
  if (StringLen(line.get()) == 0) return true;
  const int64_t left = int64_t(c.left) + x;
  if (hierarchicalMark) {
    const int32_t width = port->StringWidth(text);
    const MacRect mark = SaturatedRect16(c.top, left - kSelectionMargin, c.bottom,
                                         left + width + kSelectionMargin);
    FillWith(port, mark, COLOR_HIGHLIGHT);
    if (HDC dc = port->GetDC()) {
      const RECT area{mark.left - port->OriginX(), mark.top - port->OriginY(),
                      mark.right - port->OriginX(), mark.bottom - port->OriginY()};
      DrawFocusRect(dc, &area);
    }
  }
  port->DrawStringTruncated(line.get(), int32_t(left), c.top + y, int32_t(c.right - left),
                            keepSuffix ? Ellipsis() : nullptr);
  return true;
}

void runListbox::DrawGridLines(GraphicsPort* port, const MacRect& cellRect, int32_t row,
                               int32_t column) {
  int32_t styles[4];
  bool any = false;
  for (int32_t side = kCellTop; side <= kCellRight; ++side) {
    styles[side] = CellBorderStyle(CellSide(side), row, column, true);
    any = any || styles[side] >= 2;
  }
  if (!any) return;
  auto outwards = [&](CellSide side) { return std::max(1, (Thickness(styles[side]) + 1) / 2); };
  const int32_t top = cellRect.top - outwards(kCellTop);
  const int32_t left = cellRect.left - outwards(kCellLeft);
  const int32_t bottom = cellRect.bottom - outwards(kCellBottom);
  const int32_t right = cellRect.right - outwards(kCellRight);
  ClipStateSaver clip(port);
  port->SetClipRect(GetContentRect());
  ForeColorScope keepColour(port);
  port->SetForeColor(RGBColor16{0, 0, 0});
  Pane* target = port->Target();
  const int32_t phaseX = -port->OriginX() - (target ? target->Left() : 0);
  const int32_t phaseY = -port->OriginY() - (target ? target->Top() : 0);
  if (styles[kCellLeft] >= 2 && (column > 0 || ScrollOffsetX() < 0)) {
    StrokeGridLine(port, styles[kCellLeft], true, left, top, bottom, phaseX);
  }
  if (styles[kCellRight] >= 2) StrokeGridLine(port, styles[kCellRight], true, right, top, bottom, phaseX);
  if (styles[kCellTop] >= 2 && row > 0) {
    StrokeGridLine(port, styles[kCellTop], false, top, left, right, phaseY);
  }
  if (styles[kCellBottom] >= 2) {
    StrokeGridLine(port, styles[kCellBottom], false, bottom, left, right, phaseY);
  }
  port->SetPenPattern(kSolid);
  port->SetPatternPhase(0, 0);
  clip.Restore();
}

// ---- Caret, frame and corner ----

void runListbox::DrawCaretRow(GraphicsPort* port) {
  if (!hierarchical_) NuListbox::DrawCaretRow(port);
}

void runListbox::DrawBorder(GraphicsPort* port) {
  const MacRect r = Bounds();
  Pane* target = port->Target();
  HANDLE theme = IsWindowsXP() && NativeWindow() ? UxOpenThemeData(NativeWindow(), L"ListView")
                                                  : nullptr;
  HDC dc = target ? port->GetDC() : nullptr;
  if (theme && dc) {
    // Only the margins around the inside take the theme's frame.
    const int32_t deviceX = -port->OriginX() - target->Left();
    const int32_t deviceY = -port->OriginY() - target->Top();
    const MacRect inside = InsetByMargins(r);
    CountedRegion frame(CreateRectRgn(r.left + deviceX, r.top + deviceY, r.right + deviceX,
                                      r.bottom + deviceY));
    CountedRegion inner(CreateRectRgn(inside.left + deviceX, inside.top + deviceY,
                                      inside.right + deviceX, inside.bottom + deviceY));
    CombineRgn(frame.get(), frame.get(), inner.get(), RGN_XOR);
    ClipStateSaver clip(port);
    port->SetClipRegion(frame.get());
    dc = port->GetDC();
    const RECT area{r.left - port->OriginX(), r.top - port->OriginY(), r.right - port->OriginX(),
                    r.bottom - port->OriginY()};
    UxDrawThemeBackground(theme, dc, kListFramePart, kListFrameState, &area, nullptr);
    clip.Restore();
    UxCloseThemeData(theme);
    return;
  }
  if (theme) UxCloseThemeData(theme);
  ForeColorScope keep(port);
  auto line = [&](int colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                  int32_t y2) {
    port->SetForeColor(SystemColor(colour));
    port->MoveTo(x0, y0);
    port->LineTo(x1, y1);
    port->LineTo(x2, y2);
  };
  line(COLOR_BTNSHADOW, r.left, r.bottom - 1, r.left, r.top, r.right + 1, r.top);
  line(COLOR_3DDKSHADOW, r.left + 1, r.bottom - 2, r.left + 1, r.top + 1, r.right - 2, r.top + 1);
  line(COLOR_BTNHIGHLIGHT, r.left, r.bottom - 1, r.right - 1, r.bottom - 1, r.right - 1, r.top);
  line(COLOR_3DLIGHT, r.left + 1, r.bottom - 2, r.right - 2, r.bottom - 2, r.right - 2, r.top);
}

void runListbox::DrawScrollBarCorner(GraphicsPort* port) {
  if (!VerticalScrollBar() || !HorizontalScrollBar()) return;
  const MacRect b = Bounds();
  FillWith(port,
           SaturatedRect16(int64_t(b.bottom) - 2 * BottomMargin() - GetSystemMetrics(SM_CYVTHUMB),
                           int64_t(b.right) - 2 * RightMargin() - GetSystemMetrics(SM_CXHTHUMB),
                           int64_t(b.bottom) - BottomMargin(), int64_t(b.right) - RightMargin()),
           COLOR_3DLIGHT);
}

void runListbox::SetBounds(const MacRect& rect, bool redraw) {
  ForgetBuffer();
  NuListbox::SetBounds(rect, redraw);
  LayoutColumns();
}

// ---- The cell editor's place ----

bool runListbox::CellRect(int32_t row, int32_t column, MacRect* rect) {
  if (row < TopRow() || column < 0 || column >= ColumnCount()) return false;
  const MacRect content = GetContentRect();
  const int64_t top = content.top + int64_t(RowHeight(-1)) * (int64_t(row) - TopRow());
  if (top >= content.bottom) return false;
  int64_t left = int64_t(content.left) - ScrollOffsetX();
  for (int32_t before = 0; before < column; ++before) left += ColumnWidth(before);
  *rect = SaturatedRect16(top, left, top + RowHeight(-1), left + ColumnWidth(column));
  MacRect shown;
  return MacSectRect(rect, &content, &shown);
}

void runListbox::PlaceEditor() {
  const int32_t row = EditRow(), column = EditColumn();
  HWND editor = row >= 0 ? editor_->Window() : nullptr;
  if (!editor || !NativeWindow()) return;
  RECT wanted = kParkedEditor;
  MacRect cellRect;
  if (CellRect(row, column, &cellRect)) {
    MacRect inside = GetContentRect();
    MacInsetRect(&inside, kEditorInset, kEditorInset);
    const MacRect text = LayoutCell(cellRect, CellOf(row, column), row, column).text;
    MacRect place;
    if (MacSectRect(&text, &inside, &place)) {
      POINT origin{0, 0};
      MapWindowPoints(NativeWindow(), GetParent(editor), &origin, 1);
      wanted = RECT{place.left - Left() + origin.x, place.top - Top() + origin.y,
                    place.right - Left() + origin.x, place.bottom - Top() + origin.y};
    }
  }
  RECT now;
  GetWindowRect(editor, &now);
  MapWindowPoints(nullptr, GetParent(editor), reinterpret_cast<POINT*>(&now), 2);
  // Moved only when its place changed: a move within the paint would ask
  // for another paint.
  if (EqualRect(&now, &wanted)) return;
  SetWindowPos(editor, nullptr, wanted.left, wanted.top, wanted.right - wanted.left,
               wanted.bottom - wanted.top, SWP_NOZORDER | SWP_NOACTIVATE);
}
