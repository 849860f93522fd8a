// The column model: parsing, layout, regeneration and the drag arithmetic.
#include "controls/listbox/ListColumnModel.h"

#include <algorithm>
#include <cmath>

#include "core/Numeric.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/basicstr.h"
#include "core/string.h"

namespace {

// Far above any useful weight or size, yet a sum of 64 stays exact enough.
constexpr double kExpressionValueLimit = 1e9;

// A pixel extent from a double: truncated, held to 0..1,000,000.
int32_t Extent(double value) { return std::clamp(SaturatedInt32(value), 0, kColumnExtentLimit); }

int32_t Extent64(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, 0, kColumnExtentLimit));
}

int32_t Saturated(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// The text as the parser reads it: bytes, with UTF-16 turned into UTF-8.
StringRef ReadableText(const StringRecord* text) {
  if (StringEncoding(text) == kEncodingUTF16) return StringRef::Adopt(StringToUTF8(text));
  return StringRef::Retain(const_cast<StringRecord*>(text));
}

StringRef Suffixed(StringRecord* number, const char* suffix) {
  StringRef head = StringRef::Adopt(number);
  StringRef tail = StringRef::Adopt(StringFromASCII(suffix));
  return StringRef::Adopt(StringConcat(head.get(), tail.get()));
}

// A ratio or percentage as the expressions write it: 7 significant digits,
// fixed form without trailing zeros where it fits.
StringRef NumberText(double value, const char* suffix) {
  return Suffixed(NumberToString(value, 7, kNumberGeneral), suffix);
}

void RaiseFormatError(const StringRecord* message) {
  RaiseExceptionWithMessage(GetUnsupportedFormatExceptionClassDefinition(), message, 0);
}

void RaiseUnrecognized(const StringRecord* text) {
  StringRef head = StringRef::Adopt(StringFromASCII("Unrecognized expression '"));
  StringRef quoted = StringRef::Adopt(StringConcat(head.get(), text));
  RaiseFormatError(Suffixed(quoted.release(), "'").get());
}

void RaiseStarRefused(ColumnExpression which) {
  StringRef message = StringRef::Adopt(
      StringFromASCII(which == kMinWidthExpression
                          ? "MinWidthExpression doesn't support the Asterisk ('*') format."
                          : "MaxWidthExpression doesn't support the Asterisk ('*') format."));
  RaiseFormatError(message.get());
}

const ListColumnRecord& EmptyRecord() {
  static const ListColumnRecord empty;
  return empty;
}

bool IsRecord(int32_t column) { return column >= 0 && column < kListColumnLimit; }

}  // namespace

// ---- Parsing ----

WidthExpressionKind ParseWidthExpression(const StringRecord* text, double* value) {
  *value = 1.0;
  const StringRef readable = ReadableText(text);
  const uint32_t length = StringLength(readable.get());
  if (length == 0) return kWidthStar;
  const uint8_t last = StringData(readable.get())[length - 1];
  WidthExpressionKind kind;
  if (last == '%') {
    kind = kWidthPercent;
  } else if (last == '*') {
    if (length == 1) return kWidthStar;
    kind = kWidthStar;
  } else if (last >= '0' && last <= '9') {
    kind = kWidthPixels;
  } else {
    *value = 0.0;
    return kWidthInvalid;
  }
  const double number = StringVal(readable.get());
  // Negative and NaN read as 0; infinities and the like are held.
  *value = number > 0.0 ? std::min(number, kExpressionValueLimit) : 0.0;
  return kind;
}

WidthExpressionKind ClassifyWidthExpression(const StringRecord* text) {
  double value;
  return ParseWidthExpression(text, &value);
}

bool CheckColumnIndex(int32_t index, int32_t count, ColumnIndexRange range, bool allowAll) {
  if (allowAll && index == -1) return true;
  const int32_t end = range == kColumnEdge && count < kListColumnLimit ? count + 1 : count;
  if (index >= 0 && index < end) return true;
  RaiseOutOfBoundsException();
  return false;
}

// ---- The model ----

ListColumnModel::ListColumnModel(int32_t initialWidth) {
  for (ListColumnRecord& record : records_) {
    record.minWidthExpression = StringRef::Adopt(StringFromASCII("0"));
    record.maxWidthExpression = StringRef::Adopt(StringFromASCII("-1"));
  }
  records_[0].width = Extent64(initialWidth);
}

void ListColumnModel::SetCount(int32_t count) { count_ = std::clamp(count, 1, kListColumnLimit); }

bool ListColumnModel::IsStar(int32_t column) const {
  return ClassifyWidthExpression(records_[column].widthExpression.get()) == kWidthStar;
}

bool ListColumnModel::HasStarColumns() const {
  for (int32_t column = 0; column < count_; ++column) {
    if (IsStar(column)) return true;
  }
  return false;
}

const ListColumnRecord& ListColumnModel::Record(int32_t column) const {
  return IsRecord(column) ? records_[column] : EmptyRecord();
}

ListColumnRecord* ListColumnModel::Writable(int32_t column) {
  return IsRecord(column) ? &records_[column] : nullptr;
}

void ListColumnModel::SetUserResizable(int32_t column, bool resizable) {
  if (ListColumnRecord* record = Writable(column)) record->userResizable = resizable ? 1 : 0;
}

void ListColumnModel::SetAllColumnsResizable(bool resizable) {
  for (ListColumnRecord& record : records_) record.userResizable = resizable ? 1 : 0;
}

StringRef& ListColumnModel::TextOf(ListColumnRecord& record, ColumnExpression which) {
  switch (which) {
    case kMinWidthExpression: return record.minWidthExpression;
    case kMaxWidthExpression: return record.maxWidthExpression;
    default: return record.widthExpression;
  }
}

uint8_t& ListColumnModel::DirtyOf(ListColumnRecord& record, ColumnExpression which) {
  switch (which) {
    case kMinWidthExpression: return record.minDirty;
    case kMaxWidthExpression: return record.maxDirty;
    default: return record.widthDirty;
  }
}

int32_t& ListColumnModel::PixelsOf(ListColumnRecord& record, ColumnExpression which) {
  switch (which) {
    case kMinWidthExpression: return record.minWidth;
    case kMaxWidthExpression: return record.maxWidth;
    default: return record.width;
  }
}

int32_t ListColumnModel::Pixels(ColumnExpression which, int32_t column) const {
  return PixelsOf(const_cast<ListColumnRecord&>(Record(column)), which);
}

// ---- Expressions ----

void ListColumnModel::Regenerate(ListColumnRecord& record, ColumnExpression which,
                                 int32_t contentWidth) {
  uint8_t& dirty = DirtyOf(record, which);
  if (!dirty) return;
  StringRef& text = TextOf(record, which);
  const int32_t pixels = PixelsOf(record, which);
  switch (ClassifyWidthExpression(text.get())) {
    case kWidthPercent:
      // A percentage of nothing would read "inf%": wait for a real width.
      if (contentWidth <= 0) return;
      text = NumberText(pixels * 100.0 / contentWidth, "%");
      break;
    case kWidthPixels: text = StringRef::Adopt(StringFromLong(pixels)); break;
    default: break;  // a star's width follows the layout: its text stands
  }
  dirty = 0;
}

StringRef ListColumnModel::Expression(ColumnExpression which, int32_t column,
                                      int32_t contentWidth) {
  ListColumnRecord* record = Writable(column);
  if (!record) return StringRef();
  Regenerate(*record, which, contentWidth);
  return TextOf(*record, which);
}

bool ListColumnModel::SetExpression(ColumnExpression which, int32_t column,
                                    const StringRecord* text, int32_t contentWidth) {
  ListColumnRecord* record = Writable(column);
  if (!record) return false;
  double value;
  const WidthExpressionKind kind = ParseWidthExpression(text, &value);
  if (kind == kWidthInvalid) {
    RaiseUnrecognized(text);
    return false;
  }
  if (kind == kWidthStar && which != kWidthExpression) {
    RaiseStarRefused(which);
    return false;
  }
  const int32_t pixels = Extent(kind == kWidthPercent ? contentWidth * value / 100.0 : value);
  if (which == kMaxWidthExpression && StringVal(text) < 0) {
    record->maxWidth = -1;
  } else if (kind != kWidthStar) {
    PixelsOf(*record, which) = pixels;
  }
  TextOf(*record, which) = StringRef::Retain(const_cast<StringRecord*>(text));
  DirtyOf(*record, which) = 0;
  if (which == kWidthExpression) RecountStarTotal();
  return true;
}

void ListColumnModel::SetLimitPixels(ColumnExpression which, int32_t column, int32_t pixels) {
  ListColumnRecord* record = Writable(column);
  if (!record || which == kWidthExpression) return;
  const bool none = which == kMaxWidthExpression && pixels == -1;
  PixelsOf(*record, which) = none ? -1 : Extent64(pixels);
  DirtyOf(*record, which) = 1;
}

void ListColumnModel::RecountStarTotal() {
  starTotal_ = 0.0;
  for (int32_t column = 0; column < count_; ++column) {
    double weight;
    if (ParseWidthExpression(records_[column].widthExpression.get(), &weight) == kWidthStar) {
      starTotal_ += weight;
    }
  }
}

// ---- Layout ----

int32_t ListColumnModel::ResolveExtent(ListColumnRecord& record, ColumnExpression which,
                                       int64_t* remaining, int32_t contentWidth,
                                       int32_t columnsLeft, double* starTotal) {
  Regenerate(record, which, contentWidth);
  double value;
  int32_t extent = 0;
  switch (ParseWidthExpression(TextOf(record, which).get(), &value)) {
    case kWidthPercent: extent = Extent(contentWidth * value / 100.0); break;
    case kWidthPixels: extent = Extent(value); break;
    case kWidthStar: *starTotal += value; break;
    default: extent = Extent64(*remaining / columnsLeft); break;  // an even share
  }
  *remaining -= extent;
  return extent;
}

void ListColumnModel::Layout(int32_t contentWidth) {
  int64_t widthLeft = contentWidth, minLeft = contentWidth, maxLeft = contentWidth;
  double widthStars = 0.0, minStars = 0.0, maxStars = 0.0;
  for (int32_t column = 0; column < count_; ++column) {
    ListColumnRecord& record = records_[column];
    const int32_t columnsLeft = count_ - column;
    record.width =
        ResolveExtent(record, kWidthExpression, &widthLeft, contentWidth, columnsLeft, &widthStars);
    record.minWidth =
        ResolveExtent(record, kMinWidthExpression, &minLeft, contentWidth, columnsLeft, &minStars);
    Regenerate(record, kMaxWidthExpression, contentWidth);
    record.maxWidth = StringVal(record.maxWidthExpression.get()) < 0
                          ? -1
                          : ResolveExtent(record, kMaxWidthExpression, &maxLeft, contentWidth,
                                          columnsLeft, &maxStars);
  }
  starTotal_ = widthStars;
  if (starTotal_ != 0.0) ShareStarWidth(widthLeft);
}

void ListColumnModel::ShareStarWidth(int64_t remaining) {
  // What pass 1 left, never below 0: a unit of "500, *, *" in 400 is 0.
  remaining = std::max<int64_t>(remaining, 0);
  const double starWidth = double(remaining);
  for (int32_t column = 0; column < count_; ++column) {
    remaining = std::max<int64_t>(remaining, 0);
    double weight;
    if (ParseWidthExpression(records_[column].widthExpression.get(), &weight) != kWidthStar) {
      continue;
    }
    const int32_t share = std::min(Extent(weight * starWidth / starTotal_), Extent64(remaining));
    if (column < count_ - 1) {
      records_[column].width = share;
    } else {
      lastStarWidth_ = share;  // the last takes the rest, truncation losses included
      records_[column].width = Extent64(remaining);
    }
    remaining -= share;
  }
}

void ListColumnModel::ComputePositions(int32_t contentLeft, int32_t scrollOffset) {
  int64_t x = int64_t(contentLeft) - scrollOffset;
  for (ListColumnRecord& record : records_) {
    record.left = Saturated(x);
    x += record.width;
    record.right = Saturated(x);
  }
}

// ---- Pixel widths ----

bool ListColumnModel::SetWidthActual(int32_t column, int32_t width) {
  if (column < 0 || column >= count_) return false;
  ListColumnRecord& record = records_[column];
  width = Extent64(width);
  if (!HasStarColumns()) {
    record.width = width;
    record.widthDirty = 1;
    return true;
  }
  const int32_t next = column + 1;
  if (next >= count_) return false;
  ListColumnRecord& neighbour = records_[next];
  // The neighbour gives what it has and takes what it can hold.
  const int32_t change =
      std::clamp(width - record.width, neighbour.width - kColumnExtentLimit, neighbour.width);
  record.width += change;
  neighbour.width -= change;
  if (next == count_ - 1) lastStarWidth_ = std::max(lastStarWidth_ - change, 0);
  const bool columnIsStar = IsStar(column), neighbourIsStar = IsStar(next);
  if (!columnIsStar) record.widthDirty = 1;
  if (!neighbourIsStar) neighbour.widthDirty = 1;
  if (columnIsStar || neighbourIsStar) RewriteStarRatios();
  return true;
}

int32_t ListColumnModel::StarShare(int32_t column) const {
  return column == count_ - 1 ? lastStarWidth_ : records_[column].width;
}

void ListColumnModel::RewriteStarRatios() {
  int32_t base = 0;
  for (int32_t column = 0; column < count_; ++column) {
    const int32_t share = StarShare(column);
    if (IsStar(column) && share > 0 && (base == 0 || share < base)) base = share;
  }
  if (base == 0) base = 1;
  for (int32_t column = 0; column < count_; ++column) {
    if (IsStar(column)) {
      records_[column].widthExpression = NumberText(double(StarShare(column)) / base, "*");
    }
  }
}

// ---- The heading row ----

ColumnDragClamp ListColumnModel::ClampDrag(int32_t column, int32_t* width, int32_t x,
                                           int32_t contentLeft, int32_t contentRight) const {
  if (column < 0 || column >= count_) return kDragFree;
  const ListColumnRecord& record = records_[column];
  int64_t w = *width, low = w, high = w;
  ColumnDragClamp code = kDragFree;
  if (record.minWidth >= w) {
    low = record.minWidth;
    code = kDragAtMinimum;
  } else if (record.maxWidth != -1 && record.maxWidth <= w) {
    high = record.maxWidth;
    code = kDragAtMaximum;
  }
  const int32_t next = column + 1;
  if (next < count_ && HasStarColumns()) {
    const ListColumnRecord& neighbour = records_[next];
    const int64_t neighbourWidth = StarShare(next);
    const int64_t both = int64_t(record.width) + neighbourWidth;
    const int64_t newNeighbour = both - w;
    if (newNeighbour < 1 || newNeighbour <= neighbour.minWidth) {
      code = kDragAtMaximum;
      high = std::min(high, both - neighbour.minWidth + (next == count_ - 1 ? 1 : 0));
    } else if (neighbour.maxWidth != -1 && neighbour.maxWidth <= newNeighbour) {
      code = kDragAtMinimum;
      low = std::max(low, both - neighbour.maxWidth);
    }
    if (x > contentRight) {
      w -= int64_t(x) - contentRight - 1;
      code = kDragAtMaximum;
    } else if (x <= contentLeft) {
      w += int64_t(contentLeft) - x;
      code = kDragAtMinimum;
    }
  }
  if (code == kDragAtMinimum) w = std::max(low, w);
  if (code == kDragAtMaximum) w = std::min(high, w);
  *width = Extent64(w);
  return code;
}

ColumnHit ListColumnModel::HitTest(int32_t x, int32_t y, int32_t rowTop, int32_t rowBottom) const {
  for (int32_t column = 0; column < count_; ++column) {
    const ListColumnRecord& record = records_[column];
    // The next heading (a column or the right filler) starts at this right edge.
    if (int64_t(record.right) - 3 <= x && x < int64_t(record.right) + 3) {
      int32_t target = column;
      if (!HasStarColumns()) {
        for (int32_t after = column + 1; after < count_ && records_[after].width < 1; ++after) {
          if (records_[after].userResizable) target = after;
        }
      }
      return {target, records_[target].userResizable != 0};
    }
    if (record.left <= x && x < record.right && rowTop <= y && y < rowBottom) {
      return {column, false};
    }
  }
  return {};
}

#ifdef _WINDOWS_
#error "The column model stays portable: no <windows.h>."
#endif
