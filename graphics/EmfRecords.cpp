// Record layouts are read field by field from little-endian bytes at their
// fixed offsets; every extent is worked out in 64 bits before it is compared
// with the record's size.
#include "graphics/EmfRecords.h"

#include <cmath>
#include <cstdlib>

namespace {

enum RecordType : uint32_t {
  kHeader = 1,
  kPolygon = 3,
  kSetTextColor = 24,
  kMoveTo = 27,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrush = 39,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kPie = 47,
  kLineTo = 54,
  kStretchBlt = 77,
  kStretchDIBits = 81,
  kCreateFont = 82,
  kTextOutA = 83,
  kTextOutW = 84,
  kPolygon16 = 86,
};

constexpr uint32_t kStockObject = 0x80000000u;
constexpr uint32_t kFaceUnits = 32;
constexpr uint32_t kTextFixedSize = 76;
constexpr uint32_t kFontFixedSize = 104;  // the handle and a LOGFONTW

uint32_t U32(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
int32_t I32(const uint8_t* at) { return int32_t(U32(at)); }
int16_t I16(const uint8_t* at) { return int16_t(at[0] | at[1] << 8); }
EmfPoint PointAt(const uint8_t* at) { return {I32(at), I32(at + 4)}; }
EmfBox BoxAt(const uint8_t* at) { return {I32(at), I32(at + 4), I32(at + 8), I32(at + 12)}; }

// COLORREF 0x00BBGGRR to 0x00RRGGBB.
uint32_t ColourAt(const uint8_t* at) { return uint32_t(at[0]) << 16 | uint32_t(at[1]) << 8 | at[2]; }

// [offset, offset + length) lies within size bytes.
bool Within(uint64_t offset, uint64_t length, uint32_t size) { return offset + length <= size; }

// The least size each translated type needs for its fixed part.
uint32_t FixedSize(uint32_t type) {
  switch (type) {
    case kSetTextColor: case kSelectObject: return 12;
    case kMoveTo: case kLineTo: return 16;
    case kEllipse: case kRectangle: case kCreateBrush: return 24;
    case kCreatePen: case kPolygon: case kPolygon16: return 28;
    case kRoundRect: return 32;
    case kPie: return 40;
    case kStretchDIBits: return 80;
    case kStretchBlt: return 108;
    case kCreateFont: return kFontFixedSize;
    case kTextOutA: case kTextOutW: return kTextFixedSize;
    default: return 8;
  }
}

// A position and a size that may be negative (mirrored): the same rectangle
// with a positive size. False when it does not fit 32 bits.
bool Unmirrored(int32_t position, int32_t size, int32_t* start, int32_t* extent) {
  int64_t from = position, length = size;
  if (length < 0) from += length, length = -length;
  if (from < INT32_MIN || length > INT32_MAX || from + length > INT32_MAX) return false;
  *start = int32_t(from);
  *extent = int32_t(length);
  return true;
}

// Rows of the bitmap and whether they run top-down; false when its header
// is cut short.
bool ImageRows(const uint8_t* info, uint32_t size, int64_t* height, bool* topDown) {
  if (size < 12) return false;
  if (U32(info) == 12) {
    *height = uint16_t(I16(info + 6));
    *topDown = false;
    return true;
  }
  if (size < 16) return false;
  int64_t stated = I32(info + 8);
  *topDown = stated < 0;
  *height = std::llabs(stated);
  return true;
}

}  // namespace

double EmfBorderWidth(const EmfPen& pen) {
  double w = pen.widthX, h = pen.widthY;
  double width = w > 0 && h > 0 ? (w + h) / 2 : (w > h ? w : h);
  return width == 0 ? 0.25 : width;
}

bool EmfRecordReader::Read(const uint8_t* record, uint32_t objectCount, EmfShapeSink* sink) {
  uint32_t type = U32(record), size = U32(record + 4);
  if (size < 8 || size % 4 != 0 || bytesSeen_ + size > fileBytes_) return false;
  bytesSeen_ += size;
  if (type == kHeader) {
    Reset(objectCount);
    return true;
  }
  if (!headerSeen_ || size < FixedSize(type)) return true;
  return Translate(type, record, size, sink);
}

void EmfRecordReader::Reset(uint32_t objectCount) {
  headerSeen_ = true;
  table_.assign(objectCount, Entry{});
  used_ = 0;
  hasPen_ = hasBrush_ = hasFont_ = false;
  textColour_ = 0;
  position_ = {0, 0};
}

bool EmfRecordReader::Translate(uint32_t type, const uint8_t* record, uint32_t size,
                                EmfShapeSink* sink) {
  EmfShape shape{};
  switch (type) {
    case kSetTextColor: textColour_ = ColourAt(record + 8); return true;
    case kMoveTo: position_ = PointAt(record + 8); return true;
    case kSelectObject: Select(U32(record + 8)); return true;
    case kCreatePen: case kCreateBrush: case kCreateFont: Create(type, record, size); return true;
    case kRectangle: shape.kind = EmfShapeKind::kRect; break;
    case kEllipse: shape.kind = EmfShapeKind::kOval; break;
    case kRoundRect:
      shape.kind = EmfShapeKind::kRoundRect;
      shape.corner = PointAt(record + 24);
      break;
    case kPie: {
      shape.kind = EmfShapeKind::kPie;
      EmfBox b = BoxAt(record + 8);
      EmfPoint start = PointAt(record + 24), end = PointAt(record + 32);
      int64_t cx = (int64_t(b.left) + b.right) / 2, cy = (int64_t(b.top) + b.bottom) / 2;
      double w = double(b.right) - b.left, h = double(b.bottom) - b.top;
      if (h == 0) h = 0.001;
      shape.startAngle = std::atan2(double(start.y - cy) * w / h, double(start.x - cx));
      shape.arcAngle = std::atan2(double(end.y - cy) * w / h, double(end.x - cx)) - shape.startAngle;
      break;
    }
    case kLineTo:
      shape.kind = EmfShapeKind::kLine;
      shape.from = position_;
      shape.to = position_ = PointAt(record + 8);
      if (hasPen_) shape.pen = &pen_;
      return sink->AddShape(shape);
    case kPolygon: case kPolygon16:
      if (!Figure(type, record, size, &shape)) return true;
      break;
    case kStretchBlt: case kStretchDIBits:
      if (!Bitmap(type, record, size, &shape)) return true;
      break;
    case kTextOutA: case kTextOutW:
      if (!Text(type, record, size, &shape)) return true;
      return sink->AddShape(shape);
    default: return true;
  }
  if (shape.kind != EmfShapeKind::kPixmap && shape.kind != EmfShapeKind::kFigure) {
    shape.box = BoxAt(record + 8);
  }
  if (hasPen_) shape.pen = &pen_;
  if (hasBrush_) shape.brush = &brush_;
  return sink->AddShape(shape);
}

void EmfRecordReader::Create(uint32_t type, const uint8_t* record, uint32_t) {
  uint32_t handle = U32(record + 8);
  if (handle >= table_.size()) return;
  Entry& entry = table_[handle];
  if (type == kCreatePen) {
    entry.kind = Entry::kPen;
    entry.pen = {ColourAt(record + 24), I32(record + 16), I32(record + 20)};
  } else if (type == kCreateBrush) {
    entry.kind = Entry::kBrush;
    entry.brush = {ColourAt(record + 16)};
  } else {
    entry.kind = Entry::kFont;
    const uint8_t* face = record + 40;
    uint32_t units = 0;
    while (units < kFaceUnits && (face[2 * units] | face[2 * units + 1]) != 0) ++units;
    entry.font = {I32(record + 12), I32(record + 28), record[32] != 0, record[33] != 0, face, units};
  }
  if (handle >= used_) used_ = handle + 1;
}

void EmfRecordReader::Select(uint32_t handle) {
  if ((handle & kStockObject) != 0 || handle >= used_) return;
  const Entry& entry = table_[handle];
  if (entry.kind == Entry::kPen) hasPen_ = true, pen_ = entry.pen;
  if (entry.kind == Entry::kBrush) hasBrush_ = true, brush_ = entry.brush;
  if (entry.kind == Entry::kFont) hasFont_ = true, font_ = entry.font;
}

bool EmfRecordReader::Figure(uint32_t type, const uint8_t* record, uint32_t size,
                             EmfShape* shape) const {
  uint32_t count = U32(record + 24);
  uint32_t pointSize = type == kPolygon ? 8 : 4;
  if (!Within(28, uint64_t(count) * pointSize, size)) return false;
  shape->kind = EmfShapeKind::kFigure;
  EmfBox bounds = BoxAt(record + 8);
  shape->centreX = (double(bounds.left) + bounds.right) / 2;
  shape->centreY = (double(bounds.top) + bounds.bottom) / 2;
  double offset = hasPen_ ? EmfBorderWidth(pen_) / 2 : 0.5;
  auto point = [&](uint32_t i, double* x, double* y) {
    const uint8_t* at = record + 28 + size_t(i) * pointSize;
    *x = (pointSize == 8 ? I32(at) : I16(at)) + offset;
    *y = (pointSize == 8 ? I32(at + 4) : I16(at + 2)) + offset;
  };
  shape->segments.reserve((size_t(count) + 1) / 2);
  for (uint32_t i = 0; i < count; i += 2) {
    EmfSegment segment;
    point(i, &segment.x1, &segment.y1);
    point((i + 1) % count, &segment.x2, &segment.y2);
    shape->segments.push_back(segment);
  }
  return true;
}

bool EmfRecordReader::Bitmap(uint32_t type, const uint8_t* record, uint32_t size,
                             EmfShape* shape) const {
  bool blt = type == kStretchBlt;
  uint32_t infoOffset = U32(record + (blt ? 84 : 48)), infoSize = U32(record + (blt ? 88 : 52));
  uint32_t bitsOffset = U32(record + (blt ? 92 : 56)), bitsSize = U32(record + (blt ? 96 : 60));
  if (infoSize == 0 || bitsSize == 0 || !Within(infoOffset, infoSize, size) ||
      !Within(bitsOffset, bitsSize, size)) {
    return false;
  }
  int32_t x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight;
  int32_t cxDest = I32(record + (blt ? 32 : 72)), cyDest = I32(record + (blt ? 36 : 76));
  int32_t cxSource = I32(record + (blt ? 100 : 40)), cySource = I32(record + (blt ? 104 : 44));
  if (!Unmirrored(I32(record + 24), cxDest, &x, &width) ||
      !Unmirrored(I32(record + 28), cyDest, &y, &height) ||
      !Unmirrored(I32(record + (blt ? 44 : 32)), cxSource, &sourceX, &sourceWidth) ||
      !Unmirrored(I32(record + (blt ? 48 : 36)), cySource, &sourceY, &sourceHeight)) {
    return false;
  }
  int64_t rows = 0;
  bool topDown = false;
  if (!ImageRows(record + infoOffset, infoSize, &rows, &topDown)) return false;
  // Device-independent source rows count from the bottom of a bottom-up image.
  int64_t sourceTop = blt || topDown ? sourceY : rows - sourceY - sourceHeight;
  if (sourceTop < INT32_MIN || sourceTop > INT32_MAX) return false;
  shape->kind = EmfShapeKind::kPixmap;
  shape->box = {x, y, int32_t(int64_t(x) + width), int32_t(int64_t(y) + height)};
  shape->source = {sourceX, int32_t(sourceTop), sourceWidth, sourceHeight};
  shape->bitmapInfo = record + infoOffset;
  shape->bitmapInfoSize = infoSize;
  shape->bits = record + bitsOffset;
  shape->bitsSize = bitsSize;
  return true;
}

bool EmfRecordReader::Text(uint32_t type, const uint8_t* record, uint32_t size,
                           EmfShape* shape) const {
  uint32_t units = U32(record + 44), offset = U32(record + 48);
  uint32_t unitSize = type == kTextOutW ? 2 : 1;
  if (!Within(offset, uint64_t(units) * unitSize, size)) return false;
  shape->kind = EmfShapeKind::kText;
  shape->reference = PointAt(record + 36);
  shape->text = record + offset;
  shape->textUnits = units;
  shape->wideText = type == kTextOutW;
  shape->textColour = textColour_;
  if (hasFont_) shape->font = &font_;
  return true;
}
