// Shapes drawn through Graphics.DrawObject compared pixel by pixel with what
// GDI draws itself for the same shape: pie wedges with their hub, rounded
// rectangles, curves and figures filled, and the thick borders of arcs and
// curves. The flattened outlines may differ from GDI's along the edges only.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "graphics/ShapeGeometry.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kSide = 200;
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF;
// Single pixels where a sharp corner of a band meets the truncated
// coordinates and the port's one-pixel pen.
constexpr int32_t kStrayPixels = 3;

using Pixels = std::vector<uint32_t>;

Pixels PixelsOf(const ObjectRef& picture) {
  Pixels pixels;
  for (int32_t y = 0; y < kSide; ++y) {
    for (int32_t x = 0; x < kSide; ++x) pixels.push_back(Colour(picture, x, y));
  }
  return pixels;
}

// What GDI draws into a white picture: filled in red and outlined with a
// red pen of one pixel (as a filled polygon of the port is), or with a blue
// flat-ended pen of the given width and no brush.
Pixels GdiDrawn(const std::function<void(HDC)>& draw, int32_t penWidth = 0) {
  ObjectRef picture = NewPicture(kSide, kSide, 32);
  PaintWhole(picture, kWhite);
  auto* bitmap = static_cast<BitmapPicture*>(NativeOf(picture));
  uint32_t token = 0;
  HDC dc = bitmap->AcquireMemoryDC(&token);
  const LOGBRUSH blue{BS_SOLID, RGB(0, 0, 255), 0};
  HPEN pen = penWidth ? ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                                     DWORD(penWidth), &blue, 0, nullptr)
                      : CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, penWidth ? GetStockObject(NULL_BRUSH) : HGDIOBJ(red));
  draw(dc);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(red);
  bitmap->ReleaseMemoryDC(token);
  return PixelsOf(picture);
}

// The pixels that differ from GDI's where GDI's are of one colour two pixels
// all around: away from the edges, which may differ by a pixel or two.
int32_t MismatchesInside(const Pixels& ours, const Pixels& gdi) {
  constexpr int32_t kMargin = 2;
  int32_t mismatches = 0;
  for (int32_t y = kMargin; y < kSide - kMargin; ++y) {
    for (int32_t x = kMargin; x < kSide - kMargin; ++x) {
      const uint32_t expected = gdi[size_t(y * kSide + x)];
      bool uniform = true;
      for (int32_t dy = -kMargin; dy <= kMargin; ++dy) {
        for (int32_t dx = -kMargin; dx <= kMargin; ++dx) {
          uniform = uniform && gdi[size_t((y + dy) * kSide + x + dx)] == expected;
        }
      }
      mismatches += uniform && ours[size_t(y * kSide + x)] != expected;
    }
  }
  return mismatches;
}

int32_t Count(const Pixels& pixels, uint32_t colour) {
  return int32_t(std::count(pixels.begin(), pixels.end(), colour));
}

POINT At(double x, double y) { return {LONG(std::lround(x)), LONG(std::lround(y))}; }

class ShapePixelsTest : public PictureTest {
 protected:
  Pixels Drawn(const ObjectRef& shape) {
    PaintWhole(canvas_, kWhite);
    RuntimeGraphicsDrawObject(graphics_.get(), shape.get());
    return PixelsOf(canvas_);
  }
  // The shape's pixels agree with GDI's, which painted some of the colour.
  void ExpectLikeGdi(const ObjectRef& shape, const Pixels& gdi, uint32_t colour,
                     const std::string& what) {
    const Pixels ours = Drawn(shape);
    EXPECT_GT(Count(gdi, colour), 200) << what;
    EXPECT_LE(MismatchesInside(ours, gdi), kStrayPixels) << what;
  }

  ObjectRef canvas_ = NewPicture(kSide, kSide, 32);
  ObjectRef graphics_ = GraphicsOf(canvas_);
};

ObjectRef NewFilled(ObjectDefinition* kind, double x, double y, double width, double height) {
  ObjectRef shape = NewShape(kind);
  ShapeOf(shape)->x = x;
  ShapeOf(shape)->y = y;
  FieldsOf<RectShapeFields>(shape)->width = width;
  FieldsOf<RectShapeFields>(shape)->height = height;
  ShapeOf(shape)->fillColor = kRed;
  ShapeOf(shape)->borderColor = kBlue;
  return shape;
}

// A border only, in blue.
void BorderOnly(const ObjectRef& shape, double width) {
  ShapeOf(shape)->fill = 0;
  ShapeOf(shape)->border = 1;
  ShapeOf(shape)->borderWidth = width;
  ShapeOf(shape)->borderColor = kBlue;
}

// The end points of an arc of the box centred on (cx, cy), as GDI takes
// them: any point on the ray from the centre through the arc's end.
POINT RadialPoint(double cx, double cy, double width, double height, double angle) {
  return At(cx + std::cos(angle) * width, cy + std::sin(angle) * height);
}

// GDI goes counterclockwise on the screen from the first radial to the
// second; a positive arc angle goes clockwise (y grows downwards).
std::pair<POINT, POINT> GdiRadials(double cx, double cy, double width, double height,
                                   double start, double sweep) {
  const POINT from = RadialPoint(cx, cy, width, height, start);
  const POINT to = RadialPoint(cx, cy, width, height, start + sweep);
  return sweep > 0 ? std::pair{to, from} : std::pair{from, to};
}

TEST_F(ShapePixelsTest, PieWedgesCoverWhatGdisPieCoversHubIncluded) {
  const struct {
    double start, sweep;
  } wedges[] = {{0, kPi / 2}, {kPi / 4, kPi}, {5.5, 1.2}, {kPi / 3, -kPi / 2}, {1, 5}};
  for (const auto& wedge : wedges) {
    ObjectRef arc = NewFilled(GetArcShapeDefinition(), 100, 100, 160, 120);
    FieldsOf<ArcShapeFields>(arc)->startAngle = wedge.start;
    FieldsOf<ArcShapeFields>(arc)->arcAngle = wedge.sweep;
    const std::pair<POINT, POINT> ends =
        GdiRadials(100, 100, 160, 120, wedge.start, wedge.sweep);
    const Pixels gdi = GdiDrawn([&](HDC dc) {
      Pie(dc, 20, 40, 180, 160, ends.first.x, ends.first.y, ends.second.x, ends.second.y);
    });
    ExpectLikeGdi(arc, gdi, kRed, "pie " + std::to_string(wedge.start) + " " +
                                      std::to_string(wedge.sweep));
  }
}

TEST_F(ShapePixelsTest, RoundedRectanglesRoundTheirCornersAsGdiDoes) {
  const struct {
    double width, height, cornerWidth, cornerHeight;
  } boxes[] = {{140, 100, 60, 40}, {160, 80, 30, 70}, {100, 100, 100, 100}};
  for (const auto& box : boxes) {
    ObjectRef rounded =
        NewFilled(GetRoundRectShapeDefinition(), 100, 100, box.width, box.height);
    FieldsOf<RoundRectShapeFields>(rounded)->cornerWidth = box.cornerWidth;
    FieldsOf<RoundRectShapeFields>(rounded)->cornerHeight = box.cornerHeight;
    const Pixels gdi = GdiDrawn([&](HDC dc) {
      RoundRect(dc, int(100 - box.width / 2), int(100 - box.height / 2),
                int(100 + box.width / 2), int(100 + box.height / 2), int(box.cornerWidth),
                int(box.cornerHeight));
    });
    ExpectLikeGdi(rounded, gdi, kRed, "corner " + std::to_string(box.cornerWidth));
  }
}

// A cubic curve from (30, 150) to (170, 140) bulging upwards.
ObjectRef Curve() {
  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  auto* fields = FieldsOf<CurveShapeFields>(curve);
  ShapeOf(curve)->x = 30;
  ShapeOf(curve)->y = 150;
  fields->x2 = 170;
  fields->y2 = 140;
  fields->control[0] = {60, 20};
  fields->control[1] = {150, 40};
  fields->order = 2;
  fields->segments = 64;
  ShapeOf(curve)->fillColor = kRed;
  return curve;
}

const POINT kCurvePoints[] = {{30, 150}, {60, 20}, {150, 40}, {170, 140}};

TEST_F(ShapePixelsTest, CurvesAndFiguresFillTheAreaGdisPathsFill) {
  ObjectRef curve = Curve();
  ShapeOf(curve)->fill = 1;
  ShapeOf(curve)->border = 0;
  const Pixels closedCurve = GdiDrawn([](HDC dc) {
    BeginPath(dc);
    MoveToEx(dc, 30, 150, nullptr);
    PolyBezierTo(dc, kCurvePoints + 1, 3);
    CloseFigure(dc);
    EndPath(dc);
    FillPath(dc);
  });
  ExpectLikeGdi(curve, closedCurve, kRed, "curve and chord");

  // A line, a quadratic curve (GDI's cubic with the same shape) and a cubic
  // one back to the start.
  ObjectRef figure = NewShape(GetFigureShapeDefinition());
  FigureShapeAddLine(figure.get(), 20, 170, 100, 170);
  FigureShapeAddQuad(figure.get(), 100, 170, 170, 60, 190, 160);
  FigureShapeAddCubic(figure.get(), 170, 60, 20, 170, 120, -20, 10, 60);
  ShapeOf(figure)->fillColor = kRed;
  const Pixels path = GdiDrawn([](HDC dc) {
    const POINT quad[] = {At(100 + 2.0 / 3 * 90, 170 - 2.0 / 3 * 10),
                          At(170 + 2.0 / 3 * 20, 60 + 2.0 / 3 * 100), {170, 60}};
    const POINT cubic[] = {{120, -20}, {10, 60}, {20, 170}};
    BeginPath(dc);
    MoveToEx(dc, 20, 170, nullptr);
    LineTo(dc, 100, 170);
    PolyBezierTo(dc, quad, 3);
    PolyBezierTo(dc, cubic, 3);
    CloseFigure(dc);
    EndPath(dc);
    FillPath(dc);
  });
  ExpectLikeGdi(figure, path, kRed, "figure");
}

TEST_F(ShapePixelsTest, ThickArcBordersFollowTheArcAndEndAlongItsRadii) {
  const struct {
    double start, sweep;
  } arcs[] = {{0.3, 2}, {4, -2.5}, {2, 4.5}};
  for (const auto& a : arcs) {
    ObjectRef arc = NewFilled(GetArcShapeDefinition(), 100, 100, 140, 140);
    FieldsOf<ArcShapeFields>(arc)->startAngle = a.start;
    FieldsOf<ArcShapeFields>(arc)->arcAngle = a.sweep;
    BorderOnly(arc, 11);
    const std::pair<POINT, POINT> ends = GdiRadials(100, 100, 140, 140, a.start, a.sweep);
    const Pixels gdi = GdiDrawn(
        [&](HDC dc) {
          Arc(dc, 30, 30, 170, 170, ends.first.x, ends.first.y, ends.second.x, ends.second.y);
        },
        11);
    ExpectLikeGdi(arc, gdi, kBlue, "arc " + std::to_string(a.start));
  }
}

TEST_F(ShapePixelsTest, ThickCurveBordersHaveNoGapAndSquareEnds) {
  ObjectRef curve = Curve();
  BorderOnly(curve, 9);
  ExpectLikeGdi(curve, GdiDrawn([](HDC dc) { PolyBezier(dc, kCurvePoints, 4); }, 9), kBlue,
                "curve");

  // In a few long segments the ends and joins show: GDI's pen along the same
  // points (the curve's, without the chord's midpoint).
  FieldsOf<CurveShapeFields>(curve)->segments = 5;
  PointList path;
  path.Init(kPointListStep);
  CurveShapeOutline(FieldsOf<CurveShapeFields>(curve), &path);
  std::vector<POINT> polyline;
  for (uint32_t i = 0; i + 1 < path.count; ++i) {
    polyline.push_back(At(path.block[i].x, path.block[i].y));
  }
  ExpectLikeGdi(curve,
                GdiDrawn([&](HDC dc) { Polyline(dc, polyline.data(), int(polyline.size())); }, 9),
                kBlue, "polyline");

  // Every point along the path, away from its ends, lies inside the band.
  const Pixels ours = Drawn(curve);
  for (size_t i = 0; i + 1 < polyline.size(); ++i) {
    for (double t = 0; t < 1; t += 0.05) {
      const POINT from = polyline[i], to = polyline[i + 1];
      const POINT p = At(from.x + t * (to.x - from.x), from.y + t * (to.y - from.y));
      if ((i == 0 && t < 0.1) || (i + 2 == polyline.size() && t > 0.9)) continue;
      EXPECT_EQ(ours[size_t(p.y * kSide + p.x)], kBlue) << p.x << "," << p.y;
    }
  }
  path.Dispose();
}

}  // namespace
