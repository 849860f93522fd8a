// Shape geometry: the transforms between a shape's own coordinates and drawing
// coordinates, the position, scale and rotation setters (which move the
// members of groups and the points of curves), the outlines of the shapes as
// point lists, and the hit test.
//
// This unit is pure computation on the layouts of graphics/Shapes2D.h: it
// registers nothing, raises nothing and includes no platform header. Every
// shape argument must be nil or an instance of one of the ten shape classes
// (or of a subclass): the functions dispatch on its tag and read the fields
// that tag promises. Members of groups may be nil; every walk skips them.
//
// Local coordinates of a shape have their origin at (X, Y), axes turned by
// Rotation and a unit of 1/Scale drawing pixels; Width, Height and the corner
// sizes are measured in them. A curve's points, and so a figure's, are
// absolute drawing coordinates.
//
// Nesting: the setters and ShapeBounds start at kShapeDepthLimit, as the
// plotter does. A group at depth d >= 1 passes d - 1 to its members; a group
// at depth 0 sets only its own field and adds no bounds. A figure visits only
// its CurveShape members and adds no depth.
//
// Non-finite values: the setters of groups, figures and curves ignore a NaN or
// infinite argument; when the argument is finite but the change derived from
// the container's own field is not, they set only that field. Other kinds
// store what they are given. Point counts saturate (NaN gives 0); an outline
// that would hold a NaN or infinite coordinate comes back empty; ShapeContains
// is false when X, Y, Scale, Width, Height or a corner size is not finite.
#pragma once
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "core/GrowList.h"
#include "graphics/Shapes2D.h"

// {growth step, block of points, count, capacity}; an outline builder sets the
// capacity to exactly the number of points it writes.
using PointList = GrowList<ShapePoint>;
constexpr uint32_t kPointListStep = 16;
constexpr uint32_t kFigurePathStep = 64;

constexpr int32_t kShapeDepthLimit = 128;

// Caps on the point counts: an oval has at most 1024 points, an arc 1024
// segments (1026 points), a rounded rectangle 1028 points, a curve 512
// segments (514 points).
constexpr uint32_t kMaxOvalSegments = 1024;
constexpr uint32_t kMaxCurveSegments = 512;

// ---- Transforms -------------------------------------------------------------------
ShapePoint Object2DLocalToWorld(const Object2DFields* shape, ShapePoint local);
ShapePoint Object2DWorldToLocal(const Object2DFields* shape, ShapePoint world);

// ---- Setters (nil is ignored) --------------------------------------------------------
void Object2DSetPosition(RuntimeObject* shape, double x, double y);
// Groups, figures and curves take only a positive scale; other kinds store any.
void Object2DSetScale(RuntimeObject* shape, double scale);
void Object2DSetRotation(RuntimeObject* shape, double rotation);

// ---- Outlines ------------------------------------------------------------------------
// Each builder empties the list and writes the shape's points from index 0.
void RectShapeOutline(const RectShapeFields* shape, PointList* list);
void OvalShapeOutline(const OvalShapeFields* shape, PointList* list);
void RoundRectShapeOutline(const RoundRectShapeFields* shape, PointList* list);
void ArcShapeOutline(const ArcShapeFields* shape, PointList* list);
void CurveShapeOutline(const CurveShapeFields* shape, PointList* list);
// One closed path through the figure's curves, in member order (growth step 64).
void FigureShapeOutline(const ShapeContainerFields* figure, PointList* list);
// The outline of any shape by its tag: the five box kinds, curves and
// figures; nil, plain Object2D, StringShape and Group2D give an empty list.
void ShapeOutline(const RuntimeObject* shape, PointList* list);

ShapePoint QuadraticBezierPoint(ShapePoint p0, ShapePoint c0, ShapePoint p3, double t);
ShapePoint CubicBezierPoint(ShapePoint p0, ShapePoint c0, ShapePoint c1, ShapePoint p3, double t);

// Removes each point within 1e-12 (in both coordinates) of the point kept
// before it; when closed, also a last point within 1e-12 of the first. Edges
// of the result have non-zero length, so they can be offset.
void DropRepeatedPoints(PointList* list, bool closed);

// ---- Hit test and bounds ----------------------------------------------------------------
// Whether the drawing-coordinate point lies inside a box shape (rectangle,
// pixmap, oval, rounded rectangle, arc); false for every other kind and nil.
bool ShapeContains(const RuntimeObject* shape, double x, double y);

struct ShapeBox {
  double left;
  double top;
  double right;
  double bottom;
};
// The axis-aligned box of all outline points of the shape (a group: of its
// members); false when there are none.
bool ShapeBounds(const RuntimeObject* shape, ShapeBox* box);
