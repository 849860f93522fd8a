// Enhanced-metafile records turned into shape values: the decoding half of
// metafile import, plain code over bytes (no Windows header).
//
// The reader keeps the state of one enumeration (pens, brushes and fonts by
// handle, the text colour, the current position) and reads each record
// within its own nSize: every fixed part, offset + length and count x size
// is checked without overflow, and a record that fails a check is skipped.
// Records before the header record make nothing. Descriptions and the text,
// points and bitmap bytes of a shape point into the records, which must stay
// readable while the enumeration runs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct EmfPoint {
  int32_t x, y;
};
struct EmfSegment {
  double x1, y1, x2, y2;
};
// A box as the record holds it, 32 bits a side.
struct EmfBox {
  int32_t left, top, right, bottom;
};
struct EmfPen {
  uint32_t colour;  // 0x00RRGGBB
  int32_t widthX, widthY;
};
struct EmfBrush {
  uint32_t colour;  // 0x00RRGGBB
};
struct EmfFont {
  int32_t height;  // as recorded; negative for a character height
  int32_t weight;
  bool italic, underline;
  const uint8_t* face;  // UTF-16LE units, up to the first NUL or 32 units
  uint32_t faceUnits;
};

enum class EmfShapeKind { kRect, kRoundRect, kOval, kPie, kLine, kFigure, kPixmap, kText };

struct EmfShape {
  EmfShapeKind kind;
  const EmfPen* pen = nullptr;  // nil: no pen selected
  const EmfBrush* brush = nullptr;
  EmfBox box{};        // rect, round rect, oval, pie; a pixmap's destination
  EmfPoint corner{};   // round rect: corner width and height
  double startAngle = 0, arcAngle = 0;  // pie, radians
  EmfPoint from{}, to{};                // line
  // Figure: segments p(i) -> p(i + 1 mod n) for even i, each point already
  // moved by the offset; its centre from the record's bounds.
  std::vector<EmfSegment> segments;
  double centreX = 0, centreY = 0;
  // Pixmap: the bitmap header with its table, the bits, and the source
  // rectangle counted from the image's top.
  const uint8_t* bitmapInfo = nullptr;
  uint32_t bitmapInfoSize = 0;
  const uint8_t* bits = nullptr;
  uint32_t bitsSize = 0;
  EmfBox source{};  // left, top, width, height
  // Text: bytes (wideText false) or UTF-16LE units at the reference point.
  EmfPoint reference{};
  const uint8_t* text = nullptr;
  uint32_t textUnits = 0;
  bool wideText = false;
  uint32_t textColour = 0;
  const EmfFont* font = nullptr;
};

// What the shapes go to; false stops the enumeration (the shapes given so
// far stay).
class EmfShapeSink {
 public:
  virtual ~EmfShapeSink() = default;
  virtual bool AddShape(const EmfShape& shape) = 0;
};

// A pen's border width: the mean of its two widths when both are above 0,
// else the larger; exactly 0 becomes 0.25.
double EmfBorderWidth(const EmfPen& pen);

class EmfRecordReader {
 public:
  // For a file of fileBytes bytes (its header's nBytes).
  explicit EmfRecordReader(uint32_t fileBytes) : fileBytes_(fileBytes) {}

  // One record, of which at least 8 bytes and then its nSize are readable;
  // objectCount is the file's handle count. False ends the enumeration: an
  // nSize below 8 or not a multiple of 4, a record past the file's bytes, or
  // a sink that refused.
  bool Read(const uint8_t* record, uint32_t objectCount, EmfShapeSink* sink);

 private:
  // A handle's object: the description its create record holds.
  struct Entry {
    enum Kind : uint8_t { kEmpty, kPen, kBrush, kFont } kind = kEmpty;
    EmfPen pen{};
    EmfBrush brush{};
    EmfFont font{};
  };

  void Reset(uint32_t objectCount);
  bool Translate(uint32_t type, const uint8_t* record, uint32_t size, EmfShapeSink* sink);
  void Create(uint32_t type, const uint8_t* record, uint32_t size);
  void Select(uint32_t handle);
  bool Bitmap(uint32_t type, const uint8_t* record, uint32_t size, EmfShape* shape) const;
  bool Text(uint32_t type, const uint8_t* record, uint32_t size, EmfShape* shape) const;
  bool Figure(uint32_t type, const uint8_t* record, uint32_t size, EmfShape* shape) const;

  uint32_t fileBytes_;
  uint64_t bytesSeen_ = 0;
  bool headerSeen_ = false;
  std::vector<Entry> table_;
  uint32_t used_ = 0;  // one past the highest handle created
  bool hasPen_ = false, hasBrush_ = false, hasFont_ = false;
  EmfPen pen_{};
  EmfBrush brush_{};
  EmfFont font_{};
  uint32_t textColour_ = 0;
  EmfPoint position_{};
};
