// The shape plotter: outlines to integer polygons and pen lines, ovals to
// ellipses, text and pictures turned through scratch bitmaps.
#include "graphics/ShapePlotter.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/Numeric.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureAxis.h"
#include "graphics/PictureClass.h"
#include "graphics/PixMapRotate.h"
#include "graphics/RasterRotation.h"
#include "graphics/Rect16.h"
#include "graphics/StrokeGeometry.h"

namespace {

constexpr double kTwoPi = 6.28318530717958647692;
// Far beyond any device, yet small enough for GDI to reject quickly what
// lies outside its surface.
constexpr double kCoordinateLimit = 1000000;
constexpr int32_t kOvalPenLimit = 1000;
constexpr int32_t kTextSizeLimit = 32767;
constexpr int64_t kScratchSideLimit = 4096;
constexpr double kUnturnedText = 0.001;
constexpr double kUnturnedPicture = 0.001;
constexpr double kThickBorder = 1.5;
// Outlines beyond this are not drawn: their scratch arrays would near the
// address space (a figure can join any number of curves).
constexpr uint32_t kMaxPlottedPoints = 1u << 22;

void ReportFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "ShapePlotter", line, condition, nullptr);
}

// A shape an operation cannot do without; nil is reported.
bool Present(const RuntimeObject* shape, int32_t line, const char* condition) {
  if (!shape) ReportFault(line, condition);
  return shape != nullptr;
}

// A drawing coordinate as a pixel: held to the coordinate limit, truncated
// (NaN gives 0).
int32_t Pixel(double coordinate) {
  return SaturatedInt32(std::clamp(coordinate, -kCoordinateLimit, kCoordinateLimit));
}

bool Filled(const Object2DFields* style) { return style->fill >= 0.5; }
bool Bordered(const Object2DFields* style) {
  return style->border >= 0.5 && style->borderWidth > 0;
}

// An outline's point list, freed with the plotter.
struct OwnedList {
  PointList list;
  OwnedList() { list.Init(kPointListStep); }
  ~OwnedList() { list.Dispose(); }
};

// The coordinate pairs of a polygon in a language integer array (from
// element 1 on), as the port's Polygon takes them.
class PortPolygon {
 public:
  explicit PortPolygon(uint32_t points)
      : array_(ArrayRef::Adopt(CreateArray(1, kArrayInt32, int32_t(2 * points)))) {
    if (array_) next_ = static_cast<int32_t*>(FindArrayElement(array_.get(), 1));
  }
  void Add(int32_t x, int32_t y) {
    if (!next_) return;
    *next_++ = x;
    *next_++ = y;
  }
  void Fill(GraphicsPort* port) {
    if (next_) port->Polygon(array_.get(), true);
  }

 private:
  ArrayRef array_;
  int32_t* next_ = nullptr;
};

// A white 32-bit square that the plotter draws into and releases.
class ScratchPicture {
 public:
  explicit ScratchPicture(int32_t side) : picture_(BitmapPicture::Create(side, side, 32)) {}
  ~ScratchPicture() { PictureRelease(picture_); }
  ScratchPicture(const ScratchPicture&) = delete;
  ScratchPicture& operator=(const ScratchPicture&) = delete;
  bool Ready() const { return picture_ && picture_->HasBitmap(); }
  BitmapPicture* get() const { return picture_; }

 private:
  BitmapPicture* picture_;
};

// The port of a picture, deleted at the end of the scope; a missing one is
// reported.
std::unique_ptr<GraphicsPort> PortOf(NativePicture* picture, int32_t line) {
  std::unique_ptr<GraphicsPort> port(picture ? picture->NewGraphics() : nullptr);
  if (!port) ReportFault(line, "g");
  return port;
}

MacRect Square(int32_t left, int32_t top, int32_t width, int32_t height) {
  return SaturatedRect16(top, left, int64_t(top) + height, int64_t(left) + width);
}

}  // namespace

ShapePlotter::ShapePlotter(GraphicsPort* port, int32_t paneLeft, int32_t paneTop)
    : port_(port), paneLeft_(paneLeft), paneTop_(paneTop) {
  outline_.Init(kPointListStep);
}

ShapePlotter::~ShapePlotter() { outline_.Dispose(); }

// ---- Dispatch -------------------------------------------------------------------------

void ShapePlotter::DrawObject(RuntimeObject* shape, int32_t depth) {
  if (!shape || !port_) return;
  switch (ObjectFields<Object2DFields>(shape)->tag) {
    case kTagString:
      PlotString(shape);
      break;
    case kTagFigure:
      PlotFigure(shape);
      break;
    case kTagOval:
      PlotOval(shape);
      break;
    case kTagArc:
    case kTagCurve:
      PlotArcOrCurve(shape);
      break;
    case kTagPixmap:
      PlotPixmap(shape);
      break;
    case kTagRect:
    case kTagRoundRect:
      PlotOutlineShape(shape);
      break;
    case kTagGroup: {
      if (depth < 1) break;
      const ShapeMemberList& members = ObjectFields<ShapeContainerFields>(shape)->members;
      for (uint32_t i = 0; i < members.count; ++i) DrawObject(members.block[i], depth - 1);
      break;
    }
    default:
      break;
  }
}

void ShapePlotter::DrawObjectAt(RuntimeObject* shape, double dx, double dy) {
  GraphicsPortState state{};
  state.port = port_;
  GraphicsPortStateSave(&state);
  dx_ = dx;
  dy_ = dy;
  DrawObject(shape, kShapeDepthLimit);
  dx_ = dy_ = 0;
  GraphicsPortStateRestore(&state);
}

// ---- Outlines -------------------------------------------------------------------------

void ShapePlotter::PlotOutlineShape(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "obj")) return;
  switch (ObjectFields<Object2DFields>(shape)->tag) {
    case kTagOval:
      OvalShapeOutline(ObjectFields<OvalShapeFields>(shape), &outline_);
      break;
    case kTagRoundRect:
      RoundRectShapeOutline(ObjectFields<RoundRectShapeFields>(shape), &outline_);
      break;
    default:
      RectShapeOutline(ObjectFields<RectShapeFields>(shape), &outline_);
      break;
  }
  PlotPolygon(shape, &outline_);
}

void ShapePlotter::PlotFigure(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "obj")) return;
  FigureShapeOutline(ObjectFields<ShapeContainerFields>(shape), &outline_);
  PlotPolygon(shape, &outline_);
}

void ShapePlotter::PlotPolygon(RuntimeObject* shape, PointList* points) {
  const Object2DFields* style = ObjectFields<Object2DFields>(shape);
  PlotClosed(style, points, Filled(style));
}

void ShapePlotter::PlotClosed(const Object2DFields* style, PointList* points, bool fill) {
  DropRepeatedPoints(points, true);
  const uint32_t count = points->count;
  if (count == 0 || count > kMaxPlottedPoints) return;
  const bool area = count >= 3;
  if (fill && area) FillPoints(style, points->block, count);
  if (!Bordered(style)) return;
  SetColour(style->borderColor);
  const double width = style->borderWidth * style->scale;
  if (width < kThickBorder) {
    ThinLines(points->block, 0, count, true);
  } else if (area) {
    inner_.resize(count);
    outer_.resize(count);
    OffsetClosedPolygon(points->block, count, width / 2, outer_.data());
    OffsetClosedPolygon(points->block, count, -width / 2, inner_.data());
    PaintBand(inner_.data(), outer_.data(), count, true);
  }
}

void ShapePlotter::PlotArcOrCurve(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "obj")) return;
  const Object2DFields* style = ObjectFields<Object2DFields>(shape);
  const bool arc = style->tag == kTagArc;
  if (arc) {
    ArcShapeOutline(ObjectFields<ArcShapeFields>(shape), &outline_);
  } else if (style->tag == kTagCurve) {
    CurveShapeOutline(ObjectFields<CurveShapeFields>(shape), &outline_);
  } else {
    ReportFault(__LINE__, "0");
    return;
  }
  // A pie (arc points, then the hub) or a curve followed by its chord's
  // midpoint: the border leaves the last point out.
  DropRepeatedPoints(&outline_, arc);
  const uint32_t count = outline_.count;
  if (count == 0 || count > kMaxPlottedPoints) return;
  const bool area = count >= 3;
  if (Filled(style) && area) FillPoints(style, outline_.block, count);
  if (!Bordered(style)) return;
  SetColour(style->borderColor);
  const double width = style->borderWidth * style->scale;
  if (width < kThickBorder) {
    ThinLines(outline_.block, 0, count - 1, false);
  } else if (area) {
    auto offset = arc ? OffsetPiePolygon : OffsetOpenPolyline;
    inner_.resize(count);
    outer_.resize(count);
    offset(outline_.block, count, width / 2, outer_.data());
    offset(outline_.block, count, -width / 2, inner_.data());
    PaintBand(inner_.data(), outer_.data(), count - 1, false);
  }
}

void ShapePlotter::FillPoints(const Object2DFields* style, const ShapePoint* points,
                              uint32_t count) {
  PortPolygon polygon(count);
  for (uint32_t i = 0; i < count; ++i) {
    polygon.Add(Rounded(points[i].x, dx_), Rounded(points[i].y, dy_));
  }
  SetColour(style->fillColor);
  polygon.Fill(port_);
}

// The band between two offset paths: the inner one forwards, the outer one
// back, so that only what lies between them is painted. A closed band also
// closes each loop, joining them at point 0.
void ShapePlotter::PaintBand(const ShapePoint* inner, const ShapePoint* outer, uint32_t count,
                             bool closed) {
  PortPolygon band(closed ? 2 * count + 2 : 2 * count);
  auto add = [&](const ShapePoint& point) { band.Add(Pixel(point.x + dx_), Pixel(point.y + dy_)); };
  for (uint32_t i = 0; i < count; ++i) add(inner[i]);
  if (closed) {
    add(inner[0]);
    add(outer[0]);
  }
  for (uint32_t i = count - 1; i >= 1; --i) add(outer[i]);
  add(outer[0]);
  band.Fill(port_);
}

// Lines with the port's pen through points first .. end - 1; a closed path
// starts from its last point, so that it is drawn closed.
void ShapePlotter::ThinLines(const ShapePoint* points, uint32_t first, uint32_t end, bool closed) {
  auto x = [&](const ShapePoint& point) { return paneLeft_ + Rounded(point.x, dx_); };
  auto y = [&](const ShapePoint& point) { return paneTop_ + Rounded(point.y, dy_); };
  const ShapePoint& start = closed ? points[end - 1] : points[first];
  port_->MoveTo(x(start), y(start));
  for (uint32_t i = closed ? first : first + 1; i < end; ++i) port_->LineTo(x(points[i]), y(points[i]));
}

void ShapePlotter::SetColour(uint32_t rgb) { port_->SetForeColor(RGBColorFromValue(rgb)); }

int32_t ShapePlotter::Rounded(double coordinate, double offset) const {
  return Pixel(coordinate + offset + 0.5);
}

// ---- Ovals ----------------------------------------------------------------------------

void ShapePlotter::PlotOval(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "obj")) return;
  const auto* oval = ObjectFields<OvalShapeFields>(shape);
  const Object2DFields* style = &oval->base.base;
  RectShapeOutline(&oval->base, &outline_);
  if (outline_.count != 4) return;
  const double tolerance = (oval->base.width + oval->base.height) * style->scale * 0.01;
  if (!IsAxisAlignedQuad(outline_.block, 4, tolerance)) {
    PlotOutlineShape(shape);
    return;
  }
  const ShapePoint a = outline_.block[0], c = outline_.block[2];
  const int64_t left = int64_t(paneLeft_) + Pixel(std::min(a.x, c.x) + dx_);
  const int64_t right = int64_t(paneLeft_) + Pixel(std::max(a.x, c.x) + dx_);
  const int64_t top = int64_t(paneTop_) + Pixel(std::min(a.y, c.y) + dy_);
  const int64_t bottom = int64_t(paneTop_) + Pixel(std::max(a.y, c.y) + dy_);
  if (Filled(style)) {
    SetColour(style->fillColor);
    port_->FillOval(SaturatedRect16(top, left, bottom, right));
  }
  if (!Bordered(style)) return;
  SetColour(style->borderColor);
  const int32_t pen =
      std::clamp(SaturatedInt32(style->borderWidth * style->scale), 0, kOvalPenLimit);
  const int32_t grow = pen < 2 ? 0 : (pen - 1) / 2;
  port_->SetPenSize(std::max(pen, 1), std::max(pen, 1));
  port_->FrameOval(SaturatedRect16(top - grow, left - grow, bottom + grow, right + grow));
  port_->PenNormal();
}

// ---- Text -----------------------------------------------------------------------------

void ShapePlotterApplyTextStyle(GraphicsPort* port, const StringShapeFields* shape) {
  port->SetTextFont(shape->textFont);
  port->SetTextSize(
      std::clamp(SaturatedInt32(shape->textSize * shape->base.scale), 0, kTextSizeLimit));
  port->SetTextStyle((shape->bold ? 1u : 0u) | (shape->italic ? 2u : 0u) |
                     (shape->underline ? 4u : 0u));
  port->SetForeColor(RGBColorFromValue(shape->base.fillColor));
}

void ShapePlotter::PlotString(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "str")) return;
  const auto* text = ObjectFields<StringShapeFields>(shape);
  if (!Filled(&text->base)) return;
  const double angle = std::fmod(text->base.rotation, kTwoPi);
  if (!std::isfinite(angle)) return;
  if (angle > -kUnturnedText && angle < kUnturnedText) {
    ShapePlotterApplyTextStyle(port_, text);
    const int32_t width = port_->StringWidth(text->text);
    port_->DrawStringAt(text->text, paneLeft_ + Pixel(text->base.x + dx_ - width / 2),
                        paneTop_ + Pixel(text->base.y + dy_));
    return;
  }
  DrawTurnedText(shape, angle);
}

// The text is drawn black into one square and turned into the mask of a
// second square painted in the text colour, which is then drawn centred on
// (X, Y) through that mask.
void ShapePlotter::DrawTurnedText(RuntimeObject* shape, double angle) {
  const auto* text = ObjectFields<StringShapeFields>(shape);
  ShapePlotterApplyTextStyle(port_, text);
  const int64_t width = port_->StringWidth(text->text);
  const int64_t ascent = port_->TextAscent();
  int64_t side = width + 2 * ascent + 4;
  side += side & 1;
  if (side > kScratchSideLimit) return;
  const int32_t x0 = int32_t((side - width) / 2), y0 = int32_t(side / 2);
  ScratchPicture colour{int32_t(side)}, ink{int32_t(side)};
  if (!colour.Ready() || !ink.Ready()) return;
  if (auto port = PortOf(colour.get(), __LINE__)) {
    ShapePlotterApplyTextStyle(port.get(), text);
    port->PaintRect(Square(0, 0, int32_t(side), int32_t(side)));
  } else {
    return;
  }
  PictureEnsureMask(colour.get());
  NativePicture* mask = colour.get()->Mask();
  if (!mask) return;
  if (auto port = PortOf(ink.get(), __LINE__)) {
    ShapePlotterApplyTextStyle(port.get(), text);
    port->SetForeColor({0, 0, 0});
    port->DrawStringAt(text->text, x0, y0);
  } else {
    return;
  }
  if (PixMapRotate(ink.get(), mask, -angle, kRasterMaskMode) != 0) return;
  int32_t left = x0 - 1, top = int32_t(y0 - ascent - 1);
  int32_t boxWidth = int32_t(side) - 2 * left, boxHeight = int32_t(side) - 2 * top;
  RotatedBounds(&left, &top, &boxWidth, &boxHeight, angle);
  boxWidth = std::min(boxWidth, int32_t(side) - left);
  boxHeight = std::min(boxHeight, int32_t(side) - top);
  port_->DrawPicture(paneLeft_ + Pixel(text->base.x + dx_ - boxWidth / 2),
                     paneTop_ + Pixel(text->base.y + dy_ - boxHeight / 2), colour.get(), left, top,
                     boxWidth, boxHeight, false);
}

// ---- Pictures -------------------------------------------------------------------------

void ShapePlotter::PlotPixmap(RuntimeObject* shape) {
  if (!Present(shape, __LINE__, "pic")) return;
  const auto* pixmap = ObjectFields<PixmapShapeFields>(shape);
  const Object2DFields* style = &pixmap->base.base;
  if (Filled(style) && pixmap->image) DrawPixmapPicture(shape);
  if (!Bordered(style)) return;
  RectShapeOutline(&pixmap->base, &outline_);
  PlotClosed(style, &outline_, false);
}

void ShapePlotter::DrawPixmapPicture(RuntimeObject* shape) {
  const auto* pixmap = ObjectFields<PixmapShapeFields>(shape);
  const Object2DFields* style = &pixmap->base.base;
  if (!ObjectIsADefinition(pixmap->image, PictureClassDefinition())) return;
  const PictureObject* image = ObjectFields<PictureObject>(pixmap->image);
  NativePicture* native = image->nativePicture;
  if (!native || !std::isfinite(style->rotation)) return;
  int32_t pictureWidth = 0, pictureHeight = 0;
  native->GetSize(&pictureWidth, &pictureHeight);
  const int32_t width = SaturatedInt32(pixmap->base.width * style->scale);
  const int32_t height = SaturatedInt32(pixmap->base.height * style->scale);
  PictureAxis across{Pixel(style->x + dx_ - width / 2), width, pixmap->sourceLeft,
                     pixmap->sourceWidth};
  PictureAxis down{Pixel(style->y + dy_ - height / 2), height, pixmap->sourceTop,
                   pixmap->sourceHeight};
  if (!across.ClipTo(pictureWidth) || !down.ClipTo(pictureHeight)) return;
  if (std::fabs(style->rotation) > kUnturnedPicture) {
    DrawTurnedPicture(shape, native, across, down);
    return;
  }
  // Clipped sizes never exceed the ones given.
  port_->DrawPictureScaled(LimitedCoordinate(paneLeft_ + across.position),
                           LimitedCoordinate(paneTop_ + down.position), int32_t(across.size),
                           int32_t(down.size), native, int32_t(across.sourceStart),
                           int32_t(down.sourceStart), int32_t(across.sourceSize),
                           int32_t(down.sourceSize), uint8_t(image->transparent) != 0);
}

// The clipped picture is drawn into the middle of a square, with its edge
// rows and columns repeated one pixel outside it so that the turn blends
// them with the picture's own colours; its mask (the image's, or an opaque
// rectangle) is turned alongside, and the turned square is drawn centred on
// (X, Y) through the turned mask.
void ShapePlotter::DrawTurnedPicture(RuntimeObject* shape, NativePicture* image,
                                     const PictureAxis& across, const PictureAxis& down) {
  const Object2DFields* style = ObjectFields<Object2DFields>(shape);
  const int32_t width = int32_t(across.size), height = int32_t(down.size);
  const int32_t sourceLeft = int32_t(across.sourceStart), sourceTop = int32_t(down.sourceStart);
  const int32_t sourceWidth = int32_t(across.sourceSize), sourceHeight = int32_t(down.sourceSize);
  int64_t side = int64_t(width) + height;
  side += side & 1;
  if (side > kScratchSideLimit) return;
  const int32_t ox = int32_t((side - width) / 2), oy = int32_t((side - height) / 2);
  ScratchPicture turning{int32_t(side)}, turned{int32_t(side)};
  if (!turning.Ready() || !turned.Ready()) return;
  if (auto port = PortOf(turning.get(), __LINE__)) {
    auto strip = [&](int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx, int32_t sy,
                     int32_t sw, int32_t sh) {
      port->DrawPictureScaled(x, y, w, h, image, sx, sy, sw, sh, false);
    };
    strip(ox, oy, width, height, sourceLeft, sourceTop, sourceWidth, sourceHeight);
    strip(ox, oy - 1, width, 1, sourceLeft, sourceTop, sourceWidth, 1);
    strip(ox, oy + height, width, 1, sourceLeft, sourceTop + sourceHeight - 1, sourceWidth, 1);
    strip(ox - 1, oy, 1, height, sourceLeft, sourceTop, 1, sourceHeight);
    strip(ox + width, oy, 1, height, sourceLeft + sourceWidth - 1, sourceTop, 1, sourceHeight);
  } else {
    return;
  }
  PixMapRotate(turning.get(), turned.get(), -style->rotation, kRasterImageMode);
  PictureEnsureMask(turning.get());
  PictureEnsureMask(turned.get());
  NativePicture* turningMask = turning.get()->Mask();
  NativePicture* turnedMask = turned.get()->Mask();
  if (!turningMask || !turnedMask) {
    ReportFault(__LINE__, "srcMask and dstMask");
    return;
  }
  if (auto port = PortOf(turningMask, __LINE__)) {
    if (image->Mask()) {
      port->DrawPictureScaled(ox, oy, width, height, image->Mask(), sourceLeft, sourceTop,
                              sourceWidth, sourceHeight, false);
    } else {
      port->PaintRect(Square(ox, oy, width, height));
    }
  } else {
    return;
  }
  PixMapRotate(turningMask, turnedMask, -style->rotation, kRasterMaskMode);
  int32_t left = ox, top = oy, boxWidth = width, boxHeight = height;
  RotatedBounds(&left, &top, &boxWidth, &boxHeight, style->rotation);
  boxWidth = std::min(boxWidth, int32_t(side) - left);
  boxHeight = std::min(boxHeight, int32_t(side) - top);
  const int64_t x = paneLeft_ + Pixel(style->x + dx_ - double(side / 2)) + left;
  const int64_t y = paneTop_ + Pixel(style->y + dy_ - double(side / 2)) + top;
  port_->DrawPicture(LimitedCoordinate(x), LimitedCoordinate(y), turned.get(), left, top, boxWidth,
                     boxHeight, false);
}
