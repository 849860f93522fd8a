// The geometry of thick borders and turned boxes: offset paths (mitred
// joins, pie bands ending along the radii, square ends of open strokes),
// axis-aligned quadrilaterals and turned bounds.
#include <cmath>
#include <vector>

#include "ShapeTestSupport.h"
#include "graphics/StrokeGeometry.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using Path = std::vector<ShapePoint>;

template <class Builder>
Path Offset(Builder offset, const Path& points, double d) {
  Path result(points.size());
  offset(points.data(), uint32_t(points.size()), d, result.data());
  return result;
}

void ExpectPath(const Path& path, const Path& expected) {
  ASSERT_EQ(path.size(), expected.size());
  for (size_t i = 0; i < path.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_POINT_NEAR(path[i], expected[i].x, expected[i].y);
  }
}

using StrokeGeometryTest = ShapeTest;

TEST_F(StrokeGeometryTest, ClosedPathsMoveOutwardsWithMitredCorners) {
  // Clockwise on the screen (y grows downwards): positive d is outwards.
  const Path square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  ExpectPath(Offset(OffsetClosedPolygon, square, 1), {{-1, -1}, {11, -1}, {11, 11}, {-1, 11}});
  ExpectPath(Offset(OffsetClosedPolygon, square, -2), {{2, 2}, {8, 2}, {8, 8}, {2, 8}});
  // Between edges on one line the vertex is the moved end of the next edge.
  const Path straight = {{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_POINT_NEAR(Offset(OffsetClosedPolygon, straight, 1)[1], 10, -1);
  // A zero-length edge has no normal and stays.
  const ShapeSegment still = OffsetSegment({3, 4}, {3, 4}, 5);
  EXPECT_POINT_NEAR(still.from, 3, 4);
  EXPECT_POINT_NEAR(still.to, 3, 4);
}

TEST_F(StrokeGeometryTest, APieBandEndsAlongItsRadiiAndKeepsItsHub) {
  // A quarter of a circle of radius 10 about the origin, then the hub.
  Path pie;
  for (int k = 0; k <= 4; ++k) {
    pie.push_back({10 * std::cos(k * kPi / 8), 10 * std::sin(k * kPi / 8)});
  }
  pie.push_back({0, 0});
  for (double d : {1.5, -1.5}) {
    SCOPED_TRACE(d);
    const Path band = Offset(OffsetPiePolygon, pie, d);
    EXPECT_NEAR(band[0].y, 0, 1e-9);  // on the first radius
    EXPECT_NEAR(band[4].x, 0, 1e-9);  // on the last
    EXPECT_POINT_NEAR(band[5], 0, 0);
    // The moved arc keeps its distance from the arc's chords.
    const double middle = std::hypot(band[2].x, band[2].y);
    EXPECT_NEAR(middle, 10 + d / std::cos(kPi / 16), 1e-9);
  }
}

TEST_F(StrokeGeometryTest, AnOpenStrokeEndsSquareToItsEndEdgesAndKeepsItsLastPoint) {
  // A curve's points, then its chord's midpoint, which is not stroked.
  const Path curve = {{0, 0}, {10, 0}, {20, 10}, {10, 5}};
  const double h = std::sqrt(0.5);
  const double miter = std::tan(kPi / 8);  // the join of a 45-degree turn
  ExpectPath(Offset(OffsetOpenPolyline, curve, 1),
             {{0, -1}, {10 + miter, -1}, {20 + h, 10 - h}, {10, 5}});
  ExpectPath(Offset(OffsetOpenPolyline, curve, -1),
             {{0, 1}, {10 - miter, 1}, {20 - h, 10 + h}, {10, 5}});
}

TEST_F(StrokeGeometryTest, QuadsAreAxisAlignedWithinTheTolerance) {
  const Path leaning = {{0, 0}, {10, 0.5}, {10.5, 10}, {0, 10}};
  EXPECT_TRUE(IsAxisAlignedQuad(leaning.data(), 4, 0.5));
  EXPECT_FALSE(IsAxisAlignedQuad(leaning.data(), 4, 0.49));
  EXPECT_FALSE(IsAxisAlignedQuad(leaning.data(), 3, 1));
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("points.size() == 4"), std::string::npos);
}

TEST_F(StrokeGeometryTest, TurnedBoundsHoldTheTurnedBoxWithAPixelToSpare) {
  // Turned by half a radian the box's half extents become 19.95 and 13.98
  // about its centre (30, 25).
  int32_t left = 10, top = 20, width = 40, height = 10;
  RotatedBounds(&left, &top, &width, &height, 0.5);
  EXPECT_EQ(left, 9);
  EXPECT_EQ(top, 10);
  EXPECT_EQ(width, 42);
  EXPECT_EQ(height, 30);
  int32_t nearEdge = 0, nearTop = 0, w = 40, h = 40;
  RotatedBounds(&nearEdge, &nearTop, &w, &h, kPi / 4);
  EXPECT_EQ(nearEdge, 0);
  EXPECT_EQ(nearTop, 0);
  RotatedBounds(nullptr, &top, &width, &height, 1);
  EXPECT_EQ(TakeRecordedBoxes().size(), 1u);
}

}  // namespace
