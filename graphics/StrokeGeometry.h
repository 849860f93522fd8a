// The geometry of the shape plotter's thick borders and turned boxes, on
// plain points (no Windows header).
//
// Offsetting moves the edges of a path sideways by a signed distance d along
// their normal, (q.y - p.y, -(q.x - p.x)) over the length of the edge from p
// to q, and joins neighbouring moved edges where their lines cross (or, for
// parallel ones, at the moved end of the next edge). A zero-length edge has
// no normal and stays where it is. Each builder writes `count` points.
#pragma once
#include <cstdint>

#include "graphics/Shapes2D.h"

struct ShapeSegment {
  ShapePoint from;
  ShapePoint to;
};

// The segment moved by d along its normal.
ShapeSegment OffsetSegment(ShapePoint from, ShapePoint to, double d);
// A closed path (the edge from the last point back to the first included);
// count >= 2.
void OffsetClosedPolygon(const ShapePoint* points, uint32_t count, double d, ShapePoint* result);
// A pie: arc points, then the hub. The two radial edges (last arc point to
// hub, hub to first arc point) stay, so the band ends along the radii;
// count >= 3.
void OffsetPiePolygon(const ShapePoint* points, uint32_t count, double d, ShapePoint* result);
// An open path whose last point is not part of the stroke (a curve's chord
// midpoint, copied): the stroke's ends move square to their edges;
// count >= 3.
void OffsetOpenPolyline(const ShapePoint* points, uint32_t count, double d, ShapePoint* result);

// Whether each edge of the quadrilateral (the last back to the first) is
// within tolerance of horizontal or vertical. Another count than 4 is
// reported through AssertionFailed and answers false.
bool IsAxisAlignedQuad(const ShapePoint* points, uint32_t count, double tolerance);

// The box (left, top, width, height) turned by angle about its centre,
// replaced by the axis-aligned box around the result with a pixel to spare
// on each side (left and top at least 0). A missing argument is reported
// through AssertionFailed and nothing changes.
void RotatedBounds(int32_t* left, int32_t* top, int32_t* width, int32_t* height, double angle);
