// Shape geometry: transforms, setters, outlines, hit tests and bounds.
#include "graphics/ShapeGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/Numeric.h"

namespace {

constexpr double kTwoPi = 6.28318530717958647692528676655900577;
// Angles of at most this magnitude count as no rotation.
constexpr double kNoRotation = 0.00001;
// Points closer than this in both coordinates are the same point.
constexpr double kSamePoint = 1e-12;
constexpr int32_t kMinOvalPoints = 8;
constexpr int32_t kMinRoundRectSegments = 4;
constexpr int32_t kMinCurveSegments = 3;
constexpr int32_t kMinFigureSegments = 2;

bool Finite(double value) { return std::isfinite(value); }

bool SamePoint(ShapePoint a, ShapePoint b) {
  return std::fabs(a.x - b.x) < kSamePoint && std::fabs(a.y - b.y) < kSamePoint;
}

const Object2DFields* ShapeOf(const RuntimeObject* object) {
  return reinterpret_cast<const Object2DFields*>(object);
}
Object2DFields* ShapeOf(RuntimeObject* object) {
  return reinterpret_cast<Object2DFields*>(object);
}


// ---- Transforms ----------------------------------------------------------------

// A shape's position, scale and rotation, with the rotation's sine and cosine
// worked out once for a whole outline.
struct Placement {
  explicit Placement(const Object2DFields* shape)
      : x(shape->x), y(shape->y), scale(shape->scale),
        turned(std::fabs(shape->rotation) > kNoRotation),
        cosine(turned ? std::cos(shape->rotation) : 1.0),
        sine(turned ? std::sin(shape->rotation) : 0.0) {}

  ShapePoint ToWorld(ShapePoint local) const {
    double px = local.x;
    double py = local.y;
    if (turned) {
      const double turnedX = px * cosine - py * sine;
      py = px * sine + py * cosine;
      px = turnedX;
    }
    return {px * scale + x, py * scale + y};
  }

  ShapePoint ToLocal(ShapePoint world) const {
    double px = world.x - x;
    double py = world.y - y;
    if (turned) {
      // Turning by -R: cos(-R) = cos R, sin(-R) = -sin R.
      const double turnedX = px * cosine + py * sine;
      py = -px * sine + py * cosine;
      px = turnedX;
    }
    const double unit = 1.0 / scale;
    return {px * unit, py * unit};
  }

  double x, y, scale;
  bool turned;
  double cosine, sine;
};

// An outline holds finite points only; one that would not comes back empty.
void KeepOnlyIfFinite(PointList* list) {
  for (uint32_t i = 0; i < list->count; ++i) {
    if (!Finite(list->block[i].x) || !Finite(list->block[i].y)) {
      list->Clear();
      return;
    }
  }
}

// Maps the local points written by a box outline to drawing coordinates.
void FinishBoxOutline(const Object2DFields* shape, PointList* list) {
  const Placement placement(shape);
  for (uint32_t i = 0; i < list->count; ++i) {
    list->block[i] = placement.ToWorld(list->block[i]);
  }
  KeepOnlyIfFinite(list);
}

// ---- Setters ---------------------------------------------------------------------

void SetPosition(RuntimeObject* shape, double x, double y, int32_t depth);
void SetScale(RuntimeObject* shape, double scale, int32_t depth);
void SetRotation(RuntimeObject* shape, double rotation, int32_t depth);

bool IsContainer(uint32_t tag) { return tag == kTagGroup || tag == kTagFigure; }

// Calls visit(member, memberDepth) for what moving the container moves: every
// member of a group above depth 0 (one level deeper), the curves of a figure
// (at the figure's depth). Nil members are skipped.
template <class Visit>
void ForEachMovedMember(Object2DFields* container, int32_t depth, Visit visit) {
  const ShapeMemberList& members = reinterpret_cast<ShapeContainerFields*>(container)->members;
  const bool figure = container->tag == kTagFigure;
  if (!figure && depth <= 0) return;
  const int32_t memberDepth = figure ? depth : depth - 1;
  for (uint32_t i = 0; i < members.count; ++i) {
    RuntimeObject* member = members.block[i];
    if (!member || (figure && ShapeOf(member)->tag != kTagCurve)) continue;
    visit(member, memberDepth);
  }
}

void MoveCurvePoints(CurveShapeFields* curve, double dx, double dy) {
  curve->x2 += dx;
  curve->y2 += dy;
  for (ShapePoint& control : curve->control) {
    control.x += dx;
    control.y += dy;
  }
}

void SetPosition(RuntimeObject* object, double x, double y, int32_t depth) {
  if (!object) return;
  Object2DFields* shape = ShapeOf(object);
  const bool container = IsContainer(shape->tag);
  if (container || shape->tag == kTagCurve) {
    if (!Finite(x) || !Finite(y)) return;
    const double dx = x - shape->x;
    const double dy = y - shape->y;
    if (Finite(dx) && Finite(dy)) {
      if (container) {
        ForEachMovedMember(shape, depth, [&](RuntimeObject* member, int32_t memberDepth) {
          const Object2DFields* fields = ShapeOf(member);
          SetPosition(member, fields->x + dx, fields->y + dy, memberDepth);
        });
      } else {
        MoveCurvePoints(ObjectFields<CurveShapeFields>(object), dx, dy);
      }
    }
  }
  shape->x = x;
  shape->y = y;
}

// p scaled by factor about the pivot.
ShapePoint ScaledAbout(double pivotX, double pivotY, ShapePoint p, double factor) {
  return {pivotX + (p.x - pivotX) * factor, pivotY + (p.y - pivotY) * factor};
}

void SetScale(RuntimeObject* object, double scale, int32_t depth) {
  if (!object) return;
  Object2DFields* shape = ShapeOf(object);
  const bool container = IsContainer(shape->tag);
  if (container || shape->tag == kTagCurve) {
    if (!Finite(scale) || !(scale > 0)) return;
    const double factor = scale / shape->scale;
    if (Finite(factor)) {
      const double pivotX = shape->x;
      const double pivotY = shape->y;
      if (container) {
        ForEachMovedMember(shape, depth, [&](RuntimeObject* member, int32_t memberDepth) {
          const Object2DFields* fields = ShapeOf(member);
          const ShapePoint moved = ScaledAbout(pivotX, pivotY, {fields->x, fields->y}, factor);
          SetPosition(member, moved.x, moved.y, memberDepth);
          SetScale(member, fields->scale * factor, memberDepth);
        });
      } else {
        auto* curve = ObjectFields<CurveShapeFields>(object);
        const ShapePoint end = ScaledAbout(pivotX, pivotY, {curve->x2, curve->y2}, factor);
        curve->x2 = end.x;
        curve->y2 = end.y;
        for (ShapePoint& control : curve->control) {
          control = ScaledAbout(pivotX, pivotY, control, factor);
        }
      }
    }
  }
  shape->scale = scale;
}

// p turned about the pivot by the angle whose cosine and sine are given.
ShapePoint TurnedAbout(double pivotX, double pivotY, ShapePoint p, double cosine, double sine) {
  const double dx = p.x - pivotX;
  const double dy = p.y - pivotY;
  return {pivotX + dx * cosine - dy * sine, pivotY + dx * sine + dy * cosine};
}

void SetRotation(RuntimeObject* object, double rotation, int32_t depth) {
  if (!object) return;
  Object2DFields* shape = ShapeOf(object);
  const bool container = IsContainer(shape->tag);
  if (container || shape->tag == kTagCurve) {
    if (!Finite(rotation)) return;
    const double angle = rotation - shape->rotation;
    if (Finite(angle)) {
      const double cosine = std::cos(angle);
      const double sine = std::sin(angle);
      const double pivotX = shape->x;
      const double pivotY = shape->y;
      if (container) {
        ForEachMovedMember(shape, depth, [&](RuntimeObject* member, int32_t memberDepth) {
          const Object2DFields* fields = ShapeOf(member);
          const ShapePoint moved =
              TurnedAbout(pivotX, pivotY, {fields->x, fields->y}, cosine, sine);
          SetPosition(member, moved.x, moved.y, memberDepth);
          SetRotation(member, fields->rotation + angle, memberDepth);
        });
      } else {
        auto* curve = ObjectFields<CurveShapeFields>(object);
        const ShapePoint end = TurnedAbout(pivotX, pivotY, {curve->x2, curve->y2}, cosine, sine);
        curve->x2 = end.x;
        curve->y2 = end.y;
        for (ShapePoint& control : curve->control) {
          control = TurnedAbout(pivotX, pivotY, control, cosine, sine);
        }
      }
    }
  }
  shape->rotation = rotation;
}

// ---- Outlines ----------------------------------------------------------------------

// The automatic number of points of an oval or arc, from its size.
int32_t AutomaticOvalPoints(const RectShapeFields* box) {
  const double size = std::fabs(box->height) + std::fabs(box->width);
  return std::max(SaturatedInt32(size * box->base.scale * 0.2), kMinOvalPoints);
}

// A curve's start, end and control points.
struct CurvePoints {
  explicit CurvePoints(const CurveShapeFields* curve)
      : start{curve->base.x, curve->base.y}, end{curve->x2, curve->y2},
        control0(curve->control[0]), control1(curve->control[1]), quadratic(curve->order == 1) {}

  ShapePoint At(double t) const {
    return quadratic ? QuadraticBezierPoint(start, control0, end, t)
                     : CubicBezierPoint(start, control0, control1, end, t);
  }

  ShapePoint start, end, control0, control1;
  bool quadratic;
};

double SquaredDistance(ShapePoint a, ShapePoint b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return dx * dx + dy * dy;
}

// Walks the figure's path, handing each point to emit; the same walk first
// counts the points, then writes them.
template <class Emit>
void WalkFigurePath(const ShapeContainerFields* figure, int32_t perCurveBudget, Emit emit) {
  bool first = true;
  ShapePoint last{0, 0};
  for (uint32_t i = 0; i < figure->members.count; ++i) {
    const RuntimeObject* member = figure->members.block[i];
    if (!member || ShapeOf(member)->tag != kTagCurve) continue;
    const auto* curve = ObjectFields<CurveShapeFields>(member);
    const CurvePoints points(curve);
    // The first curve always starts the path, wherever it starts.
    if (first || !SamePoint(points.start, last)) emit(points.start);
    first = false;
    if (curve->order < 1) {
      emit(points.end);
    } else {
      int32_t segments = curve->segments;
      if (segments < kMinFigureSegments || segments > perCurveBudget) segments = perCurveBudget;
      for (int32_t j = 1; j <= segments; ++j) emit(points.At(double(j) / segments));
    }
    last = points.end;
  }
}

// The end of the figure's last curve (what the closing test compares with).
ShapePoint FigurePathEnd(const ShapeContainerFields* figure) {
  ShapePoint last{0, 0};
  for (uint32_t i = 0; i < figure->members.count; ++i) {
    const RuntimeObject* member = figure->members.block[i];
    if (!member || ShapeOf(member)->tag != kTagCurve) continue;
    const auto* curve = ObjectFields<CurveShapeFields>(member);
    last = {curve->x2, curve->y2};
  }
  return last;
}

// ---- Hit tests (the point in local coordinates) ----------------------------------------

bool InsideRect(double halfWidth, double halfHeight, ShapePoint p) {
  return -halfWidth < p.x && p.x <= halfWidth && -halfHeight < p.y && p.y <= halfHeight;
}

// The box bounds come first, so y * W / H never divides by a zero H.
bool InsideOval(double width, double height, ShapePoint p) {
  const double halfWidth = width / 2;
  const double halfHeight = height / 2;
  if (!(-halfWidth < p.x && p.x < halfWidth && -halfHeight < p.y && p.y < halfHeight)) {
    return false;
  }
  const double stretchedY = p.y * width / height;
  return halfWidth * halfWidth > p.x * p.x + stretchedY * stretchedY;
}

bool InsideRoundRect(const RoundRectShapeFields* shape, ShapePoint p) {
  const double width = shape->base.width;
  const double height = shape->base.height;
  if (shape->cornerWidth <= 0 || shape->cornerHeight <= 0) {
    return InsideRect(width / 2, height / 2, p);
  }
  const double cornerWidth = std::min(shape->cornerWidth, width);
  const double cornerHeight = std::min(shape->cornerHeight, height);
  const double halfWidth = width / 2;
  const double halfHeight = height / 2;
  if (!(-halfWidth < p.x && p.x < halfWidth && -halfHeight < p.y && p.y < halfHeight)) {
    return false;
  }
  const double straightX = halfWidth - cornerWidth / 2;
  const double straightY = halfHeight - cornerHeight / 2;
  if ((-straightX < p.x && p.x < straightX) || (-straightY < p.y && p.y < straightY)) {
    return true;
  }
  const double cornerX = p.x < 0 ? p.x + straightX : p.x - straightX;
  const double cornerY = p.y < 0 ? p.y + straightY : p.y - straightY;
  const double stretchedY = cornerY * cornerWidth / cornerHeight;
  const double radius = cornerWidth / 2;
  return radius * radius > cornerX * cornerX + stretchedY * stretchedY;
}

bool InsideArc(const ArcShapeFields* shape, ShapePoint p) {
  const double width = shape->base.base.width;
  const double height = shape->base.base.height;
  if (!InsideOval(width, height, p)) return false;
  // Whatever the start, a sweep of a whole turn or more passes the
  // comparisons below everywhere: the whole oval, as the outline draws it.
  const double sweep = shape->arcAngle;
  double angle = std::atan2(p.y * width / height, p.x);
  if (angle < 0) angle += kTwoPi;
  double d = angle - shape->startAngle;
  if (sweep < 0) {
    if (d > 0) d -= kTwoPi;
    return d > sweep;
  }
  if (d < 0) d += kTwoPi;
  return d < sweep;
}

bool PlacementFinite(const Object2DFields* shape) {
  return Finite(shape->x) && Finite(shape->y) && Finite(shape->scale);
}

bool BoxFinite(const RectShapeFields* box) {
  return PlacementFinite(&box->base) && Finite(box->width) && Finite(box->height);
}

// ---- Bounds ----------------------------------------------------------------------------

struct BoundsAccumulator {
  void Add(ShapePoint p) {
    if (!any) {
      box = {p.x, p.y, p.x, p.y};
      any = true;
      return;
    }
    box.left = std::min(box.left, p.x);
    box.top = std::min(box.top, p.y);
    box.right = std::max(box.right, p.x);
    box.bottom = std::max(box.bottom, p.y);
  }

  ShapeBox box{0, 0, 0, 0};
  bool any = false;
};

void AddBounds(const RuntimeObject* shape, int32_t depth, PointList* scratch,
               BoundsAccumulator* bounds) {
  if (!shape) return;
  if (ShapeOf(shape)->tag == kTagGroup) {
    if (depth <= 0) return;
    const ShapeMemberList& members = ObjectFields<ShapeContainerFields>(shape)->members;
    for (uint32_t i = 0; i < members.count; ++i) {
      AddBounds(members.block[i], depth - 1, scratch, bounds);
    }
    return;
  }
  ShapeOutline(shape, scratch);
  for (uint32_t i = 0; i < scratch->count; ++i) bounds->Add(scratch->block[i]);
}

}  // namespace

// ---- Transforms ------------------------------------------------------------------------

ShapePoint Object2DLocalToWorld(const Object2DFields* shape, ShapePoint local) {
  return Placement(shape).ToWorld(local);
}

ShapePoint Object2DWorldToLocal(const Object2DFields* shape, ShapePoint world) {
  return Placement(shape).ToLocal(world);
}

// ---- Setters ---------------------------------------------------------------------------

void Object2DSetPosition(RuntimeObject* shape, double x, double y) {
  SetPosition(shape, x, y, kShapeDepthLimit);
}

void Object2DSetScale(RuntimeObject* shape, double scale) {
  SetScale(shape, scale, kShapeDepthLimit);
}

void Object2DSetRotation(RuntimeObject* shape, double rotation) {
  SetRotation(shape, rotation, kShapeDepthLimit);
}

// ---- Outlines --------------------------------------------------------------------------

void RectShapeOutline(const RectShapeFields* shape, PointList* list) {
  if (!list->Reset(4)) return;
  const double halfWidth = shape->width / 2;
  const double halfHeight = shape->height / 2;
  list->Put(0, {halfWidth, halfHeight});
  list->Put(1, {-halfWidth, halfHeight});
  list->Put(2, {-halfWidth, -halfHeight});
  list->Put(3, {halfWidth, -halfHeight});
  FinishBoxOutline(&shape->base, list);
}

void OvalShapeOutline(const OvalShapeFields* shape, PointList* list) {
  int32_t points = shape->segments;
  if (points < 3) points = AutomaticOvalPoints(&shape->base);
  points = std::min(points, int32_t(kMaxOvalSegments));
  if (!list->Reset(uint32_t(points))) return;
  const double halfWidth = shape->base.width / 2;
  const double halfHeight = shape->base.height / 2;
  for (int32_t k = 0; k < points; ++k) {
    const double t = k * kTwoPi / points;
    list->Put(uint32_t(k), {std::cos(t) * halfWidth, std::sin(t) * halfHeight});
  }
  FinishBoxOutline(&shape->base.base, list);
}

void RoundRectShapeOutline(const RoundRectShapeFields* shape, PointList* list) {
  if (shape->cornerWidth <= 0 || shape->cornerHeight <= 0) {
    RectShapeOutline(&shape->base, list);
    return;
  }
  const double width = shape->base.width;
  const double height = shape->base.height;
  const double cornerWidth = std::min(shape->cornerWidth, width);
  const double cornerHeight = std::min(shape->cornerHeight, height);
  int32_t segments = shape->segments;
  if (segments < kMinRoundRectSegments) {
    segments = std::max(
        SaturatedInt32((cornerWidth + cornerHeight) * shape->base.base.scale * 0.2),
        kMinRoundRectSegments);
  }
  segments = std::min(segments, int32_t(kMaxOvalSegments));
  const int32_t perCorner = (segments + 3) / 4;
  if (!list->Reset(uint32_t(4 * perCorner + 4))) return;

  const double step = kTwoPi / (4 * perCorner);
  const double radiusX = cornerWidth / 2;
  const double radiusY = cornerHeight / 2;
  const double dx = (width - cornerWidth) / 2;
  const double dy = (height - cornerHeight) / 2;
  const ShapePoint centres[4] = {{dx, dy}, {-dx, dy}, {-dx, -dy}, {dx, -dy}};
  // Each corner's loop advances t; the corner's closing point sits at the
  // angle where the next corner's loop starts.
  double t = 0;
  uint32_t index = 0;
  for (const ShapePoint& centre : centres) {
    for (int32_t i = 0; i < perCorner; ++i) {
      list->Put(index++, {std::cos(t) * radiusX + centre.x, std::sin(t) * radiusY + centre.y});
      t += step;
    }
    list->Put(index++, {std::cos(t) * radiusX + centre.x, std::sin(t) * radiusY + centre.y});
  }
  FinishBoxOutline(&shape->base.base, list);
}

void ArcShapeOutline(const ArcShapeFields* shape, PointList* list) {
  const RectShapeFields* box = &shape->base.base;
  const double arcAngle = shape->arcAngle;
  // A whole turn or more draws the whole oval, in the arc's direction.
  const double sweep =
      std::fabs(arcAngle) >= kTwoPi ? std::copysign(kTwoPi, arcAngle) : std::fmod(arcAngle, kTwoPi);
  int32_t segments = SaturatedInt32(shape->base.segments * sweep / kTwoPi);
  if (segments < 1) segments = AutomaticOvalPoints(box);
  segments = std::min(segments, int32_t(kMaxOvalSegments));
  if (!list->Reset(uint32_t(segments + 2))) return;
  const double halfWidth = box->width / 2;
  const double halfHeight = box->height / 2;
  for (int32_t k = 0; k <= segments; ++k) {
    const double t = shape->startAngle + k * sweep / segments;
    // sin t * H/2: the same as sin t * (W/2) * (H/W) whenever W is not 0.
    list->Put(uint32_t(k), {std::cos(t) * halfWidth, std::sin(t) * halfHeight});
  }
  list->Put(uint32_t(segments + 1), {0, 0});
  FinishBoxOutline(&box->base, list);
}

void CurveShapeOutline(const CurveShapeFields* shape, PointList* list) {
  const CurvePoints points(shape);
  const ShapePoint middle{(points.start.x + points.end.x) / 2, (points.start.y + points.end.y) / 2};
  if (shape->order < 1) {
    if (!list->Reset(3)) return;
    list->Put(0, points.start);
    list->Put(1, points.end);
    list->Put(2, middle);
    KeepOnlyIfFinite(list);
    return;
  }
  int32_t segments = shape->segments;
  if (segments < kMinCurveSegments) {
    const double lastLeg = shape->order < 2 ? SquaredDistance(points.control0, points.start)
                                            : SquaredDistance(points.control1, points.end);
    const double squaredLength = SquaredDistance(points.end, points.start) +
                                 SquaredDistance(points.control0, points.start) + lastLeg;
    segments = std::max(SaturatedInt32(std::sqrt(squaredLength) * shape->base.scale * 0.1),
                        kMinCurveSegments);
  }
  segments = std::min(segments, int32_t(kMaxCurveSegments));
  if (!list->Reset(uint32_t(segments + 2))) return;
  for (int32_t k = 0; k <= segments; ++k) {
    list->Put(uint32_t(k), points.At(double(k) / segments));
  }
  list->Put(uint32_t(segments + 1), middle);
  KeepOnlyIfFinite(list);
}

void FigureShapeOutline(const ShapeContainerFields* figure, PointList* list) {
  list->Clear();
  list->step = kFigurePathStep;
  uint32_t bezierCurves = 0;
  for (uint32_t i = 0; i < figure->members.count; ++i) {
    const RuntimeObject* member = figure->members.block[i];
    if (member && ShapeOf(member)->tag == kTagCurve &&
        ObjectFields<CurveShapeFields>(member)->order > 0) {
      ++bezierCurves;
    }
  }
  const int32_t budget =
      bezierCurves ? std::max(int32_t(kMaxOvalSegments / bezierCurves), kMinFigureSegments)
                   : kMinFigureSegments;

  uint64_t total = 0;
  WalkFigurePath(figure, budget, [&](ShapePoint) { ++total; });
  if (!list->Reset(uint32_t(std::min<uint64_t>(total, UINT32_MAX)))) return;
  uint32_t index = 0;
  WalkFigurePath(figure, budget, [&](ShapePoint p) { list->Put(index++, p); });
  KeepOnlyIfFinite(list);
  if (list->count > 1 && SamePoint(list->block[0], FigurePathEnd(figure))) {
    list->RemoveAt(list->count - 1);
  }
}

void ShapeOutline(const RuntimeObject* shape, PointList* list) {
  if (!shape) {
    list->Clear();
    return;
  }
  switch (ShapeOf(shape)->tag) {
    case kTagRect:
    case kTagPixmap:
      RectShapeOutline(ObjectFields<RectShapeFields>(shape), list);
      break;
    case kTagOval:
      OvalShapeOutline(ObjectFields<OvalShapeFields>(shape), list);
      break;
    case kTagRoundRect:
      RoundRectShapeOutline(ObjectFields<RoundRectShapeFields>(shape), list);
      break;
    case kTagArc:
      ArcShapeOutline(ObjectFields<ArcShapeFields>(shape), list);
      break;
    case kTagCurve:
      CurveShapeOutline(ObjectFields<CurveShapeFields>(shape), list);
      break;
    case kTagFigure:
      FigureShapeOutline(ObjectFields<ShapeContainerFields>(shape), list);
      break;
    default:
      list->Clear();
      break;
  }
}

ShapePoint QuadraticBezierPoint(ShapePoint p0, ShapePoint c0, ShapePoint p3, double t) {
  const double u = 1 - t;
  const double a = u * u;
  const double b = 2 * t * u;
  const double c = t * t;
  return {a * p0.x + b * c0.x + c * p3.x, a * p0.y + b * c0.y + c * p3.y};
}

ShapePoint CubicBezierPoint(ShapePoint p0, ShapePoint c0, ShapePoint c1, ShapePoint p3, double t) {
  const double u = 1 - t;
  const double a = u * u * u;
  const double b = 3 * t * u * u;
  const double c = 3 * t * t * u;
  const double d = t * t * t;
  return {a * p0.x + b * c0.x + c * c1.x + d * p3.x, a * p0.y + b * c0.y + c * c1.y + d * p3.y};
}

void DropRepeatedPoints(PointList* list, bool closed) {
  if (list->count == 0) return;
  uint32_t kept = 1;
  for (uint32_t i = 1; i < list->count; ++i) {
    if (!SamePoint(list->block[i], list->block[kept - 1])) list->block[kept++] = list->block[i];
  }
  if (closed && kept > 1 && SamePoint(list->block[kept - 1], list->block[0])) --kept;
  list->count = kept;
}

// ---- Hit test and bounds ---------------------------------------------------------------

bool ShapeContains(const RuntimeObject* shape, double x, double y) {
  if (!shape) return false;
  const uint32_t tag = ShapeOf(shape)->tag;
  if (tag != kTagRect && tag != kTagPixmap && tag != kTagOval && tag != kTagRoundRect &&
      tag != kTagArc) {
    return false;
  }
  const auto* box = ObjectFields<RectShapeFields>(shape);
  if (!BoxFinite(box)) return false;
  const ShapePoint local = Object2DWorldToLocal(&box->base, {x, y});
  switch (tag) {
    case kTagOval:
      return InsideOval(box->width, box->height, local);
    case kTagRoundRect: {
      const auto* roundRect = ObjectFields<RoundRectShapeFields>(shape);
      if (!Finite(roundRect->cornerWidth) || !Finite(roundRect->cornerHeight)) return false;
      return InsideRoundRect(roundRect, local);
    }
    case kTagArc: {
      const auto* arc = ObjectFields<ArcShapeFields>(shape);
      // An arc that draws nothing (a non-finite start) is hit nowhere.
      if (!Finite(arc->startAngle)) return false;
      return InsideArc(arc, local);
    }
    default:
      return InsideRect(box->width / 2, box->height / 2, local);
  }
}

bool ShapeBounds(const RuntimeObject* shape, ShapeBox* box) {
  PointList scratch;
  scratch.Init(kPointListStep);
  BoundsAccumulator bounds;
  AddBounds(shape, kShapeDepthLimit, &scratch, &bounds);
  scratch.Dispose();
  if (bounds.any) *box = bounds.box;
  return bounds.any;
}

#ifdef _WINDOWS_
#error "The shape geometry is portable: it must not include <windows.h>."
#endif
