// The shape plotter: draws Object2D shapes into a GraphicsPort by turning
// each into the port's primitives (filled integer polygons, pen lines,
// ellipses, text, scaled pictures) and, for turned pictures and text, into
// scratch 32-bit bitmaps turned by PixMapRotate and drawn through their
// masks. It is made on the stack for one drawing and owns nothing.
//
// Colours: before a fill the port's fore colour becomes the shape's
// FillColor, before a border its BorderColor. A shape is filled when its
// Fill is at least 0.5 and bordered when Border is at least 0.5 and
// BorderWidth above 0; a border BorderWidth x Scale below 1.5 is drawn with
// lines of the port's pen, a wider one as a filled band centred on the
// outline.
//
// Coordinates: outlines are in drawing coordinates, which the plotter moves
// by the drawing offset, holds to +-1,000,000 and truncates; then the target
// pane's top-left corner is added (by the port itself for polygons).
// Repeated outline points are dropped first; an empty outline draws
// nothing, and a closed outline with fewer than 3 points (an open curve with
// fewer than 2) gets no fill and no band, only its thin lines.
//
// Turned text and pictures: a Rotation that is not finite draws no text and
// no picture part; a scratch square above 4096 pixels a side, or one that
// cannot be made, is skipped silently.
//
// Faults (a nil shape where one is needed, an unexpected kind, a scratch
// bitmap without port or mask) are reported through AssertionFailed from
// "ShapePlotter", and that shape is not drawn.
#pragma once
#include <cstdint>
#include <vector>

#include "graphics/ShapeGeometry.h"

class GraphicsPort;
class NativePicture;
struct PictureAxis;

class ShapePlotter {
 public:
  // Draws into the port, whose target pane has its top-left corner at
  // (paneLeft, paneTop) in the target's coordinates.
  ShapePlotter(GraphicsPort* port, int32_t paneLeft, int32_t paneTop);
  ~ShapePlotter();
  ShapePlotter(const ShapePlotter&) = delete;
  ShapePlotter& operator=(const ShapePlotter&) = delete;

  // Nil draws nothing; a group draws its members in order with depth - 1,
  // and only when depth >= 1; a plain Object2D draws nothing.
  void DrawObject(RuntimeObject* shape, int32_t depth);
  // The shape drawn moved by (dx, dy) at depth kShapeDepthLimit, without
  // writing to it; the port's colour, pen, text and origin are put back
  // afterwards.
  void DrawObjectAt(RuntimeObject* shape, double dx, double dy);

  void PlotArcOrCurve(RuntimeObject* shape);
  // An oval whose box stays axis-aligned is a native ellipse; a turned one
  // a polygon.
  void PlotOval(RuntimeObject* shape);
  // Rectangles, rounded rectangles, turned ovals and pixmap borders.
  void PlotOutlineShape(RuntimeObject* shape);
  // Text centred on X with its baseline at Y.
  void PlotString(RuntimeObject* shape);
  // The image's source rectangle clipped to the picture (the destination
  // shrinking with it; nothing when a size falls below 1) into Width x Height
  // x Scale centred on (X, Y), then the rectangle's border.
  void PlotPixmap(RuntimeObject* shape);
  void PlotFigure(RuntimeObject* shape);
  // A closed outline of the shape: fill, then border.
  void PlotPolygon(RuntimeObject* shape, PointList* points);

 private:
  void PlotClosed(const Object2DFields* style, PointList* points, bool fill);
  void FillPoints(const Object2DFields* style, const ShapePoint* points, uint32_t count);
  void PaintBand(const ShapePoint* inner, const ShapePoint* outer, uint32_t count, bool closed);
  void ThinLines(const ShapePoint* points, uint32_t first, uint32_t end, bool closed);
  void SetColour(uint32_t rgb);
  int32_t Rounded(double coordinate, double offset) const;
  void DrawTurnedText(RuntimeObject* shape, double angle);
  void DrawPixmapPicture(RuntimeObject* shape);
  void DrawTurnedPicture(RuntimeObject* shape, NativePicture* image, const PictureAxis& across,
                         const PictureAxis& down);

  GraphicsPort* port_;
  int32_t paneLeft_;
  int32_t paneTop_;
  double dx_ = 0;
  double dy_ = 0;
  PointList outline_;
  std::vector<ShapePoint> inner_;
  std::vector<ShapePoint> outer_;
};

// The port's text font, size (TextSize x Scale, held to 0..32767), style
// (Bold 1, Italic 2, Underline 4) and fore colour (FillColor) from the
// string shape.
void ShapePlotterApplyTextStyle(GraphicsPort* port, const StringShapeFields* shape);
