// Offset paths by line intersection, and turned bounds.
#include "graphics/StrokeGeometry.h"

#include <algorithm>
#include <cmath>

#include "core/Numeric.h"
#include "core/diagnostics.h"

namespace {

constexpr double kParallel = 1e-10;

void ReportFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "ShapePlotter", line, condition, nullptr);
}

// Where the lines of two moved edges cross: a point of the first.
ShapePoint Join(const ShapeSegment& previous, const ShapeSegment& next) {
  const double ax = previous.to.x - previous.from.x, ay = previous.to.y - previous.from.y;
  const double bx = next.to.x - next.from.x, by = next.to.y - next.from.y;
  const double den = ax * by - ay * bx;
  if (den > -kParallel && den < kParallel) return next.to;
  const double t =
      ((previous.from.y - next.from.y) * bx - (previous.from.x - next.from.x) * by) / den;
  return {previous.from.x + t * ax, previous.from.y + t * ay};
}

// Each vertex joins its incoming and outgoing edges (wrapping); edge k runs
// from point k to point k + 1 and is moved unless `stays` says otherwise.
template <class Stays>
void OffsetLoop(const ShapePoint* points, uint32_t count, double d, ShapePoint* result,
                Stays stays) {
  auto edge = [&](uint32_t k) {
    const ShapePoint from = points[k], to = points[(k + 1) % count];
    return stays(k) ? ShapeSegment{from, to} : OffsetSegment(from, to, d);
  };
  ShapeSegment previous = edge(count - 1);
  for (uint32_t i = 0; i < count; ++i) {
    const ShapeSegment next = edge(i);
    result[i] = Join(previous, next);
    previous = next;
  }
}

}  // namespace

ShapeSegment OffsetSegment(ShapePoint from, ShapePoint to, double d) {
  const double dx = to.x - from.x, dy = to.y - from.y;
  const double length = std::hypot(dx, dy);
  if (!(length > 0)) return {from, to};
  const double nx = dy / length * d, ny = -dx / length * d;
  return {{from.x + nx, from.y + ny}, {to.x + nx, to.y + ny}};
}

void OffsetClosedPolygon(const ShapePoint* points, uint32_t count, double d, ShapePoint* result) {
  OffsetLoop(points, count, d, result, [](uint32_t) { return false; });
}

void OffsetPiePolygon(const ShapePoint* points, uint32_t count, double d, ShapePoint* result) {
  OffsetLoop(points, count, d, result, [count](uint32_t k) { return k + 2 >= count; });
}

void OffsetOpenPolyline(const ShapePoint* points, uint32_t count, double d, ShapePoint* result) {
  ShapeSegment previous = OffsetSegment(points[0], points[1], d);
  result[0] = previous.from;
  for (uint32_t i = 1; i + 2 < count; ++i) {
    const ShapeSegment next = OffsetSegment(points[i], points[i + 1], d);
    result[i] = Join(previous, next);
    previous = next;
  }
  result[count - 2] = previous.to;
  result[count - 1] = points[count - 1];
}

bool IsAxisAlignedQuad(const ShapePoint* points, uint32_t count, double tolerance) {
  if (count != 4) {
    ReportFault(__LINE__, "points.size() == 4");
    return false;
  }
  for (uint32_t i = 0; i < 4; ++i) {
    const ShapePoint from = points[i], to = points[(i + 1) % 4];
    if (!(std::fabs(to.x - from.x) <= tolerance || std::fabs(to.y - from.y) <= tolerance)) {
      return false;
    }
  }
  return true;
}

void RotatedBounds(int32_t* left, int32_t* top, int32_t* width, int32_t* height, double angle) {
  if (!left || !top || !width || !height) {
    ReportFault(__LINE__, "left and top and width and height");
    return;
  }
  const double halfWidth = *width * 0.5, halfHeight = *height * 0.5;
  const double centreX = *left + halfWidth, centreY = *top + halfHeight;
  const double c = std::cos(angle), s = std::sin(angle);
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (double x : {-halfWidth, halfWidth}) {
    for (double y : {-halfHeight, halfHeight}) {
      const double turnedX = x * c - y * s, turnedY = x * s + y * c;
      minX = std::min(minX, turnedX);
      maxX = std::max(maxX, turnedX);
      minY = std::min(minY, turnedY);
      maxY = std::max(maxY, turnedY);
    }
  }
  *left = std::max(0, SaturatedInt32(centreX + minX - 1));
  *top = std::max(0, SaturatedInt32(centreY + minY - 1));
  *width = SaturatedInt32(maxX - minX + 3);
  *height = SaturatedInt32(maxY - minY + 3);
}

#ifdef _WINDOWS_
#error "The stroke geometry is portable: it must not include <windows.h>."
#endif
