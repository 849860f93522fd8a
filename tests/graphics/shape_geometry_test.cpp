// Shape geometry: transforms, setters on groups and curves, outlines, hit
// tests, bounds, degenerate shapes and non-finite values.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ShapeTestSupport.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::vector<ShapePoint> OutlineOf(RuntimeObject* shape) {
  PointList list;
  list.Init(kPointListStep);
  ShapeOutline(shape, &list);
  std::vector<ShapePoint> points(list.block, list.block + list.count);
  list.Dispose();
  return points;
}

RuntimeObject* MemberAt0(RuntimeObject* container) {
  return reinterpret_cast<ShapeContainerFields*>(container)->members.block[0];
}

// A box shape of the given kind with its centre and size set.
ObjectRef NewBox(ObjectDefinition* definition, double x, double y, double width, double height) {
  ObjectRef shape = NewShape(definition);
  auto* box = FieldsOf<RectShapeFields>(shape);
  box->base.x = x;
  box->base.y = y;
  box->width = width;
  box->height = height;
  return shape;
}

ObjectRef NewCurve(ShapePoint start, ShapePoint end, int32_t order, ShapePoint c0 = {0, 0},
                   ShapePoint c1 = {0, 0}) {
  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  auto* fields = FieldsOf<CurveShapeFields>(curve);
  fields->base.x = start.x;
  fields->base.y = start.y;
  fields->x2 = end.x;
  fields->y2 = end.y;
  fields->order = order;
  fields->control[0] = c0;
  fields->control[1] = c1;
  return curve;
}

void ExpectOutline(RuntimeObject* shape, const std::vector<ShapePoint>& expected) {
  const std::vector<ShapePoint> points = OutlineOf(shape);
  ASSERT_EQ(points.size(), expected.size());
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_POINT_NEAR(points[i], expected[i].x, expected[i].y);
  }
}

// ---- Transforms ------------------------------------------------------------------

using TransformTest = ShapeTest;

TEST_F(TransformTest, ATurnedRectangleTurnsAboutItsCentre) {
  ObjectRef rect = NewBox(GetRectShapeDefinition(), 200, 100, 100, 50);
  SetDouble(rect.get(), "Rotation", kPi / 2);
  ExpectOutline(rect.get(), {{175, 150}, {175, 50}, {225, 50}, {225, 150}});
  EXPECT_TRUE(RectShapeContains(rect.get(), 200, 140));
  EXPECT_FALSE(RectShapeContains(rect.get(), 240, 100));

  const ShapePoint local = Object2DWorldToLocal(ShapeOf(rect), {213, 87});
  EXPECT_POINT_NEAR(Object2DLocalToWorld(ShapeOf(rect), local), 213, 87);
}

TEST_F(TransformTest, RotationsUpToOneHundredThousandthCountAsNone) {
  ObjectRef rect = NewBox(GetRectShapeDefinition(), 10, 20, 100, 50);
  ShapeOf(rect)->scale = 1.5;
  const std::vector<ShapePoint> unturned = OutlineOf(rect.get());
  for (double rotation : {0.00001, -0.00001}) {
    ShapeOf(rect)->rotation = rotation;
    const std::vector<ShapePoint> points = OutlineOf(rect.get());
    ASSERT_EQ(points.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(points[i].x, unturned[i].x);
      EXPECT_EQ(points[i].y, unturned[i].y);
    }
  }
  ShapeOf(rect)->rotation = 0.000011;
  EXPECT_NE(OutlineOf(rect.get())[0].y, unturned[0].y);
}

TEST_F(TransformTest, TurningScalingAndMovingAGroupCarriesItsMembers) {
  ObjectRef g = NewShape(GetGroup2DDefinition());
  ObjectRef r = NewBox(GetRectShapeDefinition(), 10, 0, 20, 10);
  ObjectRef h = NewShape(GetGroup2DDefinition());
  ObjectRef o = NewBox(GetOvalShapeDefinition(), 20, 10, 10, 10);
  ObjectRef c = NewCurve({0, 0}, {10, 0}, 2, {0, 5}, {10, 5});
  Object2DSetPosition(h.get(), 10, 10);
  Group2DAppend(h.get(), o.get());
  for (RuntimeObject* member : {r.get(), h.get(), c.get()}) Group2DAppend(g.get(), member);

  SetDouble(g.get(), "Rotation", kPi / 2);
  SetDouble(g.get(), "Scale", 2);
  SetDouble(g.get(), "X", 100);
  SetDouble(g.get(), "Y", 50);

  EXPECT_POINT_NEAR((ShapePoint{ShapeOf(r)->x, ShapeOf(r)->y}), 100, 70);
  for (const ObjectRef* shape : {&r, &h, &o}) {
    EXPECT_NEAR(ShapeOf(*shape)->rotation, kPi / 2, 1e-12);
    EXPECT_NEAR(ShapeOf(*shape)->scale, 2, 1e-12);
  }
  ExpectOutline(r.get(), {{90, 90}, {90, 50}, {110, 50}, {110, 90}});
  EXPECT_POINT_NEAR((ShapePoint{ShapeOf(h)->x, ShapeOf(h)->y}), 80, 70);
  EXPECT_POINT_NEAR((ShapePoint{ShapeOf(o)->x, ShapeOf(o)->y}), 80, 90);

  const auto* curve = FieldsOf<CurveShapeFields>(c);
  EXPECT_POINT_NEAR((ShapePoint{curve->base.x, curve->base.y}), 100, 50);
  EXPECT_POINT_NEAR((ShapePoint{curve->x2, curve->y2}), 100, 70);
  EXPECT_POINT_NEAR(curve->control[0], 90, 50);
  EXPECT_POINT_NEAR(curve->control[1], 90, 70);
  const std::vector<ShapePoint> curveOutline = OutlineOf(c.get());
  ASSERT_EQ(curveOutline.size(), 6u);
  EXPECT_POINT_NEAR(curveOutline[2], 92.5, 60);

  ShapeBox box;
  ASSERT_TRUE(ShapeBounds(g.get(), &box));
  EXPECT_NEAR(box.left, 70, 1e-9);
  EXPECT_NEAR(box.top, 50, 1e-9);
  EXPECT_NEAR(box.right, 110, 1e-9);
  EXPECT_NEAR(box.bottom, 100, 1e-9);

  EXPECT_TRUE(RectShapeContains(r.get(), 100, 85));
  EXPECT_FALSE(RectShapeContains(r.get(), 115, 70));
}

TEST_F(TransformTest, ShapesWithoutPointsHaveNoBounds) {
  ShapeBox box{1, 2, 3, 4};
  ObjectRef empty = NewShape(GetGroup2DDefinition());
  EXPECT_FALSE(ShapeBounds(empty.get(), &box));
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef text = NewShape(GetStringShapeDefinition());
  Group2DAppend(group.get(), nullptr);
  Group2DAppend(group.get(), text.get());
  EXPECT_FALSE(ShapeBounds(group.get(), &box));
  EXPECT_FALSE(ShapeBounds(nullptr, &box));
  ObjectRef plain = NewShape(GetObject2DDefinition());
  EXPECT_FALSE(ShapeBounds(plain.get(), &box));
  EXPECT_EQ(box.left, 1);
}

TEST_F(TransformTest, GroupsAndCurvesIgnoreAScaleThatIsNotPositive) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef rect = NewBox(GetRectShapeDefinition(), 10, 10, 20, 20);
  ObjectRef curve = NewCurve({1, 2}, {3, 4}, 1, {5, 6});
  Group2DAppend(group.get(), rect.get());
  for (double scale : {0.0, -1.0}) {
    Object2DSetScale(group.get(), scale);
    Object2DSetScale(curve.get(), scale);
    EXPECT_EQ(ShapeOf(group)->scale, 1);
    EXPECT_EQ(ShapeOf(rect)->scale, 1);
    EXPECT_EQ(ShapeOf(rect)->x, 10);
    EXPECT_EQ(ShapeOf(curve)->scale, 1);
    EXPECT_EQ(FieldsOf<CurveShapeFields>(curve)->x2, 3);
  }
  // A rectangle stores it, and then contains nothing, not even its centre.
  Object2DSetScale(rect.get(), 0);
  EXPECT_EQ(ShapeOf(rect)->scale, 0);
  EXPECT_FALSE(RectShapeContains(rect.get(), 10, 10));
  EXPECT_FALSE(RectShapeContains(rect.get(), 11, 10));
}

// ---- Outlines --------------------------------------------------------------------

using OutlineTest = ShapeTest;

TEST_F(OutlineTest, OvalPointCounts) {
  ObjectRef oval = NewBox(GetOvalShapeDefinition(), 0, 0, 100, 100);
  EXPECT_EQ(OutlineOf(oval.get()).size(), 40u);
  EXPECT_POINT_NEAR(OutlineOf(oval.get())[10], 0, 50);
  ShapeOf(oval)->scale = 0.1;
  EXPECT_EQ(OutlineOf(oval.get()).size(), 8u);
  ShapeOf(oval)->scale = 1;
  SetProperty<int32_t>(oval.get(), "Segments", 5000);
  EXPECT_EQ(OutlineOf(oval.get()).size(), 1024u);
  SetProperty<int32_t>(oval.get(), "Segments", 3);
  EXPECT_EQ(OutlineOf(oval.get()).size(), 3u);
}

TEST_F(OutlineTest, RoundedRectangleCorners) {
  ObjectRef roundRect = NewBox(GetRoundRectShapeDefinition(), 0, 0, 100, 100);
  EXPECT_EQ(OutlineOf(roundRect.get()).size(), 4u);  // corners 0: the rectangle
  SetDouble(roundRect.get(), "CornerWidth", 20);
  SetDouble(roundRect.get(), "CornerHeight", 20);
  const std::vector<ShapePoint> points = OutlineOf(roundRect.get());
  ASSERT_EQ(points.size(), 12u);
  const double d = 5 * std::sqrt(2.0);
  EXPECT_POINT_NEAR(points[0], 50, 40);
  EXPECT_POINT_NEAR(points[1], 40 + d, 40 + d);
  EXPECT_POINT_NEAR(points[2], 40, 50);
  EXPECT_POINT_NEAR(points[3], -40, 50);
  EXPECT_POINT_NEAR(points[11], 50, -40);

  SetProperty<int32_t>(roundRect.get(), "Segments", 16);
  EXPECT_EQ(OutlineOf(roundRect.get()).size(), 20u);
  EXPECT_EQ(GetDouble(roundRect.get(), "CornerWidth"), 20);
  SetProperty<int32_t>(roundRect.get(), "Segments", 5000);
  EXPECT_EQ(OutlineOf(roundRect.get()).size(), 1028u);
}

TEST_F(OutlineTest, ArcsArePieSlices) {
  ObjectRef arc = NewBox(GetArcShapeDefinition(), 0, 0, 100, 50);
  std::vector<ShapePoint> points = OutlineOf(arc.get());
  ASSERT_EQ(points.size(), 32u);
  EXPECT_POINT_NEAR(points[0], 50, 0);
  EXPECT_POINT_NEAR(points[30], 0, 25);
  EXPECT_POINT_NEAR(points[31], 0, 0);

  ObjectRef round = NewBox(GetArcShapeDefinition(), 0, 0, 100, 100);
  SetProperty<int32_t>(round.get(), "Segments", 90);
  EXPECT_EQ(OutlineOf(round.get()).size(), 24u);  // a quarter of the Segments
  SetProperty<int32_t>(round.get(), "Segments", 100);
  SetDouble(round.get(), "ArcAngle", -kPi / 2);
  EXPECT_EQ(OutlineOf(round.get()).size(), 42u);  // a negative sweep counts automatically
  EXPECT_POINT_NEAR(OutlineOf(round.get())[40], 0, -50);

  SetProperty<int32_t>(round.get(), "Segments", 0);
  for (double whole : {2 * kPi, 3 * kPi}) {
    SCOPED_TRACE(whole);
    SetDouble(round.get(), "ArcAngle", whole);
    points = OutlineOf(round.get());
    ASSERT_EQ(points.size(), 42u);
    EXPECT_POINT_NEAR(points[20], -50, 0);
    EXPECT_POINT_NEAR(points[40], 50, 0);
    EXPECT_TRUE(RectShapeContains(round.get(), -40, 0));
    EXPECT_TRUE(RectShapeContains(round.get(), 0, -40));
  }
  SetDouble(round.get(), "ArcAngle", -3 * kPi);
  EXPECT_TRUE(RectShapeContains(round.get(), 0, 40));
  EXPECT_POINT_NEAR(OutlineOf(round.get())[10], 0, -50);
}

TEST_F(OutlineTest, BezierCurvesAndStraightLines) {
  ObjectRef quad = NewCurve({0, 0}, {100, 0}, 1, {50, 100});
  std::vector<ShapePoint> points = OutlineOf(quad.get());
  ASSERT_EQ(points.size(), 20u);
  EXPECT_POINT_NEAR(points[0], 0, 0);
  EXPECT_POINT_NEAR(points[9], 50, 50);
  EXPECT_POINT_NEAR(points[18], 100, 0);
  EXPECT_POINT_NEAR(points[19], 50, 0);

  ObjectRef cubic = NewCurve({0, 0}, {100, 0}, 2, {0, 100}, {100, 100});
  SetProperty<int32_t>(cubic.get(), "Segments", 4);
  points = OutlineOf(cubic.get());
  ASSERT_EQ(points.size(), 6u);
  EXPECT_POINT_NEAR(points[2], 50, 75);
  SetProperty<int32_t>(cubic.get(), "Segments", 100000);
  EXPECT_EQ(OutlineOf(cubic.get()).size(), 514u);

  ObjectRef line = NewCurve({1, 2}, {5, 10}, 0);
  ExpectOutline(line.get(), {{1, 2}, {5, 10}, {3, 6}});
}

TEST_F(OutlineTest, FiguresJoinTheirCurvesIntoOnePath) {
  ObjectRef figure = NewShape(GetFigureShapeDefinition());
  FigureShapeAddLine(figure.get(), 0, 0, 10, 0);
  FigureShapeAddLine(figure.get(), 10, 0, 10, 10);
  ExpectOutline(figure.get(), {{0, 0}, {10, 0}, {10, 10}});
  FigureShapeAddLine(figure.get(), 10, 10, 0, 0);
  ExpectOutline(figure.get(), {{0, 0}, {10, 0}, {10, 10}});

  // A nil first member does not cost the first curve its start.
  ObjectRef withNil = NewShape(GetFigureShapeDefinition());
  Group2DAppend(withNil.get(), nullptr);
  FigureShapeAddLine(withNil.get(), 0, 0, 10, 0);
  FigureShapeAddLine(withNil.get(), 10, 0, 10, 10);
  ExpectOutline(withNil.get(), {{0, 0}, {10, 0}, {10, 10}});

  // A gap starts again at the next curve's start; a Bezier curve takes its
  // share of the 1024 points.
  ObjectRef gapped = NewShape(GetFigureShapeDefinition());
  FigureShapeAddLine(gapped.get(), 0, 0, 10, 0);
  FigureShapeAddQuad(gapped.get(), 20, 0, 30, 0, 25, 10);
  std::vector<ShapePoint> points = OutlineOf(gapped.get());
  ASSERT_EQ(points.size(), 2u + 1 + 1024);
  EXPECT_POINT_NEAR(points[2], 20, 0);
  EXPECT_POINT_NEAR(points.back(), 30, 0);
  EXPECT_EQ(FieldsOf<ShapeContainerFields>(gapped)->members.count, 2u);
}

// ---- Hit tests -------------------------------------------------------------------

using HitTest = ShapeTest;

struct Probe {
  double x, y;
  bool inside;
};

void ExpectProbes(RuntimeObject* shape, const std::vector<Probe>& probes) {
  for (const Probe& p : probes) {
    EXPECT_EQ(RectShapeContains(shape, p.x, p.y), p.inside) << "(" << p.x << ", " << p.y << ")";
  }
}

TEST_F(HitTest, BoxKindsByTheirOwnTests) {
  for (ObjectDefinition* kind : {GetRectShapeDefinition(), GetPixmapShapeDefinition()}) {
    ObjectRef rect = NewBox(kind, 50, 50, 100, 100);
    ExpectProbes(rect.get(), {{100, 100, true}, {100, 50, true}, {50, 100, true},
                              {0, 0, false}, {0, 50, false}, {50, 0, false}});
  }
  ObjectRef oval = NewBox(GetOvalShapeDefinition(), 0, 0, 100, 60);
  ExpectProbes(oval.get(),
               {{30, 23.9, true}, {49.9, 0, true}, {30, 24, false}, {50, 0, false}});

  ObjectRef roundRect = NewBox(GetRoundRectShapeDefinition(), 0, 0, 100, 100);
  ExpectProbes(roundRect.get(), {{50, 0, true}, {50, 50, true}});  // corners 0
  SetDouble(roundRect.get(), "CornerWidth", 40);
  SetDouble(roundRect.get(), "CornerHeight", 40);
  ExpectProbes(roundRect.get(), {{40, 40, true}, {49, 0, true}, {-40, -40, true},
                                 {45, 45, false}, {50, 0, false}, {-45, 45, false}});

  ObjectRef arc = NewBox(GetArcShapeDefinition(), 0, 0, 100, 100);
  ExpectProbes(arc.get(), {{20, 20, true}, {20, -20, false}, {-20, 20, false}});
  SetDouble(arc.get(), "ArcAngle", -kPi / 2);
  ExpectProbes(arc.get(), {{20, 20, false}, {20, -20, true}, {-20, -20, false}});
  SetDouble(arc.get(), "StartAngle", kPi);
  SetDouble(arc.get(), "ArcAngle", kPi);
  ExpectProbes(arc.get(), {{20, -20, true}, {-20, -20, true}, {0, 20, false}});
}

TEST_F(HitTest, ShapesWithoutABoxContainNothing) {
  ObjectRef plain = NewShape(GetObject2DDefinition());
  ObjectRef text = NewShape(GetStringShapeDefinition());
  ObjectRef group = NewShape(GetGroup2DDefinition());
  for (RuntimeObject* shape : {plain.get(), text.get(), group.get()}) {
    EXPECT_FALSE(ShapeContains(shape, 0, 0));
    EXPECT_TRUE(OutlineOf(shape).empty());
  }
  EXPECT_FALSE(ShapeContains(nullptr, 0, 0));
}

// ---- Degenerate shapes --------------------------------------------------------------

using DegenerateTest = ShapeTest;

// Every outline point finite and within |S| * hypot(W, H) / 2 of the centre.
void ExpectWithinTheBox(RuntimeObject* shape) {
  const auto* box = reinterpret_cast<RectShapeFields*>(shape);
  const double bound = std::fabs(box->base.scale) * std::hypot(box->width, box->height) / 2;
  const std::vector<ShapePoint> points = OutlineOf(shape);
  EXPECT_FALSE(points.empty());
  for (const ShapePoint& p : points) {
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    EXPECT_LE(std::hypot(p.x - box->base.x, p.y - box->base.y), bound + 1e-9);
  }
}

// The outline without repeated points, checked for edges of zero length.
std::vector<ShapePoint> WithoutRepeats(RuntimeObject* shape) {
  PointList list;
  list.Init(kPointListStep);
  ShapeOutline(shape, &list);
  DropRepeatedPoints(&list, true);
  std::vector<ShapePoint> points(list.block, list.block + list.count);
  list.Dispose();
  for (size_t i = 0; i < points.size() && points.size() > 1; ++i) {
    const ShapePoint a = points[i];
    const ShapePoint b = points[(i + 1) % points.size()];
    EXPECT_FALSE(std::fabs(a.x - b.x) < 1e-12 && std::fabs(a.y - b.y) < 1e-12) << i;
  }
  return points;
}

TEST_F(DegenerateTest, ZeroLengthEdgesAreFiniteAndCanBeDropped) {
  ObjectRef capsule = NewBox(GetRoundRectShapeDefinition(), 5, 7, 100, 40);
  SetDouble(capsule.get(), "CornerWidth", 100);
  SetDouble(capsule.get(), "CornerHeight", 40);
  EXPECT_EQ(OutlineOf(capsule.get()).size(), 32u);
  ExpectWithinTheBox(capsule.get());
  EXPECT_TRUE(RectShapeContains(capsule.get(), 5, 7));
  EXPECT_EQ(WithoutRepeats(capsule.get()).size(), 28u);

  ObjectRef flat = NewBox(GetArcShapeDefinition(), 0, 0, 100, 100);
  SetDouble(flat.get(), "ArcAngle", 0);
  EXPECT_EQ(OutlineOf(flat.get()).size(), 42u);
  ExpectWithinTheBox(flat.get());
  ExpectProbes(flat.get(), {{10, 0, false}, {20, 20, false}, {-20, 5, false}});
  EXPECT_EQ(WithoutRepeats(flat.get()).size(), 2u);

  for (ObjectDefinition* kind : {GetArcShapeDefinition(), GetOvalShapeDefinition()}) {
    for (const ShapePoint size : {ShapePoint{0, 50}, ShapePoint{50, 0}}) {
      SCOPED_TRACE(size.x);
      ObjectRef thin = NewBox(kind, 3, 4, size.x, size.y);
      ExpectWithinTheBox(thin.get());
      ExpectProbes(thin.get(), {{3, 4, false}, {3, 5, false}, {4, 4, false}});
      EXPECT_LE(WithoutRepeats(thin.get()).size(), 44u);
    }
  }

  ObjectRef loop = NewCurve({10, 10}, {10, 10}, 2, {10, 10}, {10, 10});
  const std::vector<ShapePoint> points = OutlineOf(loop.get());
  EXPECT_EQ(points.size(), 5u);
  for (const ShapePoint& p : points) EXPECT_POINT_NEAR(p, 10, 10);
  EXPECT_EQ(WithoutRepeats(loop.get()).size(), 1u);
}

// ---- Non-finite values ----------------------------------------------------------------

using NonFiniteTest = ShapeTest;

enum class Field {
  kX, kY, kRotation, kScale, kWidth, kHeight, kCornerWidth, kCornerHeight,
  kArcAngle, kStartAngle, kX2, kControlX, kControlY
};

// The field's storage in the shape, or nil when the kind has no such field.
double* FieldIn(RuntimeObject* shape, Field field) {
  auto* base = reinterpret_cast<Object2DFields*>(shape);
  const uint32_t tag = base->tag;
  const bool box = tag != kTagCurve;
  switch (field) {
    case Field::kX: return &base->x;
    case Field::kY: return &base->y;
    case Field::kRotation: return &base->rotation;
    case Field::kScale: return &base->scale;
    case Field::kWidth: return box ? &reinterpret_cast<RectShapeFields*>(shape)->width : nullptr;
    case Field::kHeight: return box ? &reinterpret_cast<RectShapeFields*>(shape)->height : nullptr;
    case Field::kCornerWidth:
      return tag == kTagRoundRect ? &reinterpret_cast<RoundRectShapeFields*>(shape)->cornerWidth
                                  : nullptr;
    case Field::kCornerHeight:
      return tag == kTagRoundRect ? &reinterpret_cast<RoundRectShapeFields*>(shape)->cornerHeight
                                  : nullptr;
    case Field::kArcAngle:
      return tag == kTagArc ? &reinterpret_cast<ArcShapeFields*>(shape)->arcAngle : nullptr;
    case Field::kStartAngle:
      return tag == kTagArc ? &reinterpret_cast<ArcShapeFields*>(shape)->startAngle : nullptr;
    case Field::kX2: return box ? nullptr : &reinterpret_cast<CurveShapeFields*>(shape)->x2;
    case Field::kControlX:
      return box ? nullptr : &reinterpret_cast<CurveShapeFields*>(shape)->control[0].x;
    case Field::kControlY:
      return box ? nullptr : &reinterpret_cast<CurveShapeFields*>(shape)->control[1].y;
  }
  return nullptr;
}

// Fields whose non-finite value makes Contains false everywhere.
bool ContainsNeedsFinite(Field field) {
  return field == Field::kX || field == Field::kY || field == Field::kScale ||
         field == Field::kWidth || field == Field::kHeight || field == Field::kCornerWidth ||
         field == Field::kCornerHeight;
}

ObjectRef NewKind(int kind) {
  switch (kind) {
    case 0: return NewBox(GetRectShapeDefinition(), 10, 10, 100, 60);
    case 1: {
      ObjectRef shape = NewBox(GetRoundRectShapeDefinition(), 10, 10, 100, 60);
      FieldsOf<RoundRectShapeFields>(shape)->cornerWidth = 20;
      FieldsOf<RoundRectShapeFields>(shape)->cornerHeight = 30;
      return shape;
    }
    case 2: return NewBox(GetOvalShapeDefinition(), 10, 10, 100, 60);
    case 3: return NewBox(GetArcShapeDefinition(), 10, 10, 100, 60);
    case 4: return NewBox(GetPixmapShapeDefinition(), 10, 10, 100, 60);
    case 5: return NewCurve({0, 0}, {100, 50}, 1, {50, 100});
    default: return NewCurve({0, 0}, {100, 50}, 2, {50, 100}, {80, -20});
  }
}

TEST_F(NonFiniteTest, OutlinesStayFiniteAndBoundedAndContainsFollowsTheFields) {
  const double values[] = {kNaN, kInf, -kInf, 1e300};
  const Field fields[] = {Field::kX,           Field::kY,           Field::kRotation,
                          Field::kScale,       Field::kWidth,       Field::kHeight,
                          Field::kCornerWidth, Field::kCornerHeight, Field::kArcAngle,
                          Field::kStartAngle,  Field::kX2,          Field::kControlX,
                          Field::kControlY};
  for (int kind = 0; kind < 7; ++kind) {
    for (Field field : fields) {
      for (double value : values) {
        ObjectRef shape = NewKind(kind);
        double* storage = FieldIn(shape.get(), field);
        if (!storage) continue;
        SCOPED_TRACE(testing::Message() << "kind " << kind << " field " << int(field)
                                        << " value " << value);
        *storage = value;
        const std::vector<ShapePoint> points = OutlineOf(shape.get());
        EXPECT_LE(points.size(), kind < 5 ? 1028u : 514u);
        for (const ShapePoint& p : points) {
          ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        }
        if (kind >= 5) continue;
        bool anyInside = false;
        for (const ShapePoint& probe : {ShapePoint{10, 10}, ShapePoint{0, 0}, ShapePoint{30, 20},
                                        ShapePoint{1e300, 0}, ShapePoint{-kInf, 0}}) {
          anyInside |= RectShapeContains(shape.get(), probe.x, probe.y);
        }
        if (ContainsNeedsFinite(field) && !std::isfinite(value)) {
          EXPECT_FALSE(anyInside);
        }
      }
    }
  }
}

// The bytes of a shape after its header (the header's links change as other
// objects come and go).
std::vector<uint8_t> FieldBytes(RuntimeObject* shape) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(shape);
  return std::vector<uint8_t>(bytes + sizeof(RuntimeObject),
                              bytes + ObjectClassOf(shape)->instanceSize);
}

TEST_F(NonFiniteTest, ContainerAndCurveSettersIgnoreNonFiniteArguments) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef inner = NewShape(GetGroup2DDefinition());
  ObjectRef figure = NewShape(GetFigureShapeDefinition());
  ObjectRef rect = NewBox(GetRectShapeDefinition(), 10, 20, 30, 40);
  ObjectRef oval = NewBox(GetOvalShapeDefinition(), -5, 5, 10, 10);
  ObjectRef curve = NewCurve({1, 2}, {3, 4}, 2, {5, 6}, {7, 8});
  Object2DSetPosition(group.get(), 3, 4);
  Group2DAppend(group.get(), rect.get());
  Group2DAppend(group.get(), nullptr);
  Group2DAppend(group.get(), inner.get());
  Group2DAppend(inner.get(), oval.get());
  Group2DAppend(group.get(), curve.get());
  Group2DAppend(group.get(), figure.get());
  FigureShapeAddQuad(figure.get(), 1, 1, 9, 9, 5, 0);
  RuntimeObject* figureCurve = MemberAt0(figure.get());

  const std::vector<RuntimeObject*> all = {group.get(), inner.get(), figure.get(), rect.get(),
                                           oval.get(),  curve.get(), figureCurve};
  std::vector<std::vector<uint8_t>> before;
  for (RuntimeObject* shape : all) before.push_back(FieldBytes(shape));

  for (double value : {kNaN, kInf, -kInf}) {
    for (RuntimeObject* target : {group.get(), figure.get(), curve.get()}) {
      Object2DSetPosition(target, value, 0);
      Object2DSetPosition(target, 0, value);
      Object2DSetScale(target, value);
      Object2DSetRotation(target, value);
    }
  }
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(FieldBytes(all[i]), before[i]) << i;

  // A non-finite field of the container's own: only that field is set.
  ShapeOf(group)->x = kNaN;
  ShapeOf(group)->scale = 0;
  ShapeOf(group)->rotation = kInf;
  Object2DSetPosition(group.get(), 5, 4);
  Object2DSetScale(group.get(), 2);
  Object2DSetRotation(group.get(), 1);
  EXPECT_EQ(ShapeOf(group)->x, 5);
  EXPECT_EQ(ShapeOf(group)->scale, 2);
  EXPECT_EQ(ShapeOf(group)->rotation, 1);
  for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ(FieldBytes(all[i]), before[i]) << i;
}

}  // namespace
