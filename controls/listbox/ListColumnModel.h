// The columns of a list box: 64 column records, the width expressions the
// application writes ("120" pixels, "25%" of the content width, "*" or "2*"
// star weights), the layout that turns them into pixel widths and edges, the
// write-back of a dragged width into the expressions, and the arithmetic of
// the heading row (divider hit test, drag clamp).
//
// This unit is plain code (no Windows header): the content width W, the
// content's left edge and the horizontal scroll offset are inputs, so it runs
// without a window. Expressions are untrusted text. The parser is flat: the
// number the text starts with (StringVal), then the kind from the last
// character alone; no recursion and linear work for any length. Values that
// are negative or NaN read as 0, huge ones are held to 1e9, and every width,
// minimum and maximum is held to 0..1,000,000 (a maximum may be -1, none), so
// 64 columns of edges never leave 32 bits.
//
// Raising: only the expression setters raise (UnsupportedFormatException, for
// an unrecognised text or a star in a minimum or maximum), and they then
// store nothing, so a stored expression is always valid. Layout, getters, hit
// test and clamp never raise.
#pragma once
#include <cstdint>

#include "core/SmartRef.h"

constexpr int32_t kListColumnLimit = 64;
constexpr int32_t kColumnExtentLimit = 1000000;

enum WidthExpressionKind : int32_t {
  kWidthPixels = 0,
  kWidthPercent = 1,
  kWidthStar = 2,
  kWidthInvalid = 3,
};

// The three expressions of a column, in the order of the ListColumn
// accessors' selector.
enum ColumnExpression : int32_t {
  kWidthExpression = 0,
  kMinWidthExpression = 1,
  kMaxWidthExpression = 2,
};

struct ListColumnRecord {
  // Set when the pixel value changed since the expression was written; the
  // expression is regenerated from the pixels on its next read.
  uint8_t widthDirty = 0;
  uint8_t minDirty = 0;
  uint8_t maxDirty = 0;
  uint8_t userResizable = 0;
  StringRef widthExpression;     // nil reads as empty, which means "*"
  StringRef minWidthExpression;  // "0"
  StringRef maxWidthExpression;  // "-1": no maximum
  int32_t width = 0;
  int32_t minWidth = 0;
  int32_t maxWidth = -1;  // -1: none
  int32_t left = 0;       // edges in pane coordinates; right is exclusive
  int32_t right = 0;
};

// The kind of an expression and its value (a pixel count, a percentage or a
// star weight); the empty text is a star of weight 1, and so is "*".
WidthExpressionKind ParseWidthExpression(const StringRecord* text, double* value);
WidthExpressionKind ClassifyWidthExpression(const StringRecord* text);

// The one column-index rule of the list box's language members. Used
// columns are 0..count-1; the edge range adds count, while count < 64
// (the unused record after the last column); allowAll adds -1. Outside it
// raises OutOfBoundsException and answers false.
enum ColumnIndexRange { kUsedColumns, kColumnEdge };
bool CheckColumnIndex(int32_t index, int32_t count, ColumnIndexRange range, bool allowAll);

// What a dragged divider ran into.
enum ColumnDragClamp : int32_t { kDragFree = 0, kDragAtMinimum = 1, kDragAtMaximum = 2 };

// A point over the heading row: the column (-1 for none) and whether the
// point is on its resizable right divider.
struct ColumnHit {
  int32_t column = -1;
  bool onDivider = false;
};

class ListColumnModel {
 public:
  // Column 0 starts as wide as the pane; the count is 1.
  explicit ListColumnModel(int32_t initialWidth);

  int32_t Count() const { return count_; }
  // Held to 1..64; the layout is the caller's.
  void SetCount(int32_t count);
  // The star weights of the used columns, as the last layout or width
  // expression write left them.
  double StarTotal() const { return starTotal_; }
  // The last column's share of the star width before it took the remainder.
  int32_t LastStarWidth() const { return lastStarWidth_; }
  // Some used column's width expression is a star.
  bool HasStarColumns() const;

  // Records 0..63; any other index reads an empty record.
  const ListColumnRecord& Record(int32_t column) const;
  void SetUserResizable(int32_t column, bool resizable);
  void SetAllColumnsResizable(bool resizable);

  // Widths from the expressions in a content width W: pixels and percentages
  // first, then the star columns share what is left by weight, the last one
  // taking the rest. Minimum and maximum bound only the user's drags.
  void Layout(int32_t contentWidth);
  // The edges of all 64 records from the content's left edge less the
  // horizontal scroll offset.
  void ComputePositions(int32_t contentLeft, int32_t scrollOffset);

  // The expression (a new reference); a dirty one is first regenerated from
  // its pixels in the content width W: "25%" of a W above 0 (at 0 or less
  // the text and its flag stay for a later read), a pixel count, or, for a
  // star, the text as it is.
  StringRef Expression(ColumnExpression which, int32_t column, int32_t contentWidth);
  // Parses and stores the expression of a column 0..63 and the pixels it
  // gives in W (a width's star share comes from the next layout); false,
  // with the exception raised and nothing stored, when it is refused.
  bool SetExpression(ColumnExpression which, int32_t column, const StringRecord* text,
                     int32_t contentWidth);

  int32_t Pixels(ColumnExpression which, int32_t column) const;
  // The minimum or the maximum in pixels, the expression marked dirty.
  void SetLimitPixels(ColumnExpression which, int32_t column, int32_t pixels);
  // A new pixel width for a used column (negative as 0). Without star
  // columns the column takes it; with them the next column gives or takes
  // the difference (never below 0) and the star columns' expressions are
  // rewritten as ratios ("1*", "1.5*"); the last column then cannot change.
  // False when nothing changed for that reason.
  bool SetWidthActual(int32_t column, int32_t width);

  // A dragged width for column k held at its own and its neighbour's bounds
  // and, with star columns, at the content's edges for a pointer at x.
  ColumnDragClamp ClampDrag(int32_t column, int32_t* width, int32_t x, int32_t contentLeft,
                            int32_t contentRight) const;
  // The column under (x, y) in a heading row from rowTop to rowBottom: a
  // divider zone reaches 3 pixels either side of each right edge; without
  // star columns a divider before collapsed columns targets the last
  // resizable one of them, so it can be pulled open again.
  ColumnHit HitTest(int32_t x, int32_t y, int32_t rowTop, int32_t rowBottom) const;

 private:
  ListColumnRecord* Writable(int32_t column);
  static StringRef& TextOf(ListColumnRecord& record, ColumnExpression which);
  static uint8_t& DirtyOf(ListColumnRecord& record, ColumnExpression which);
  static int32_t& PixelsOf(ListColumnRecord& record, ColumnExpression which);
  void Regenerate(ListColumnRecord& record, ColumnExpression which, int32_t contentWidth);
  // The pixels, remaining width and star total of one expression in pass 1.
  int32_t ResolveExtent(ListColumnRecord& record, ColumnExpression which, int64_t* remaining,
                        int32_t contentWidth, int32_t columnsLeft, double* starTotal);
  void ShareStarWidth(int64_t remaining);
  void RecountStarTotal();
  void RewriteStarRatios();
  bool IsStar(int32_t column) const;
  // The width a star column counts for ratios and drags.
  int32_t StarShare(int32_t column) const;

  ListColumnRecord records_[kListColumnLimit];
  int32_t count_ = 1;
  double starTotal_ = 0.0;
  int32_t lastStarWidth_ = 0;
};
