// The vector shape classes: Object2D and its nine subclasses, their instance
// layouts, their registration and their property and method entry points.
//
// Every shape begins with the object header and the ShapeTypeTag, a
// four-character code that each initialiser writes (the most derived built-in
// class's wins, so a language subclass of OvalShape carries 'oval') and on
// which the geometry and the plotter dispatch. Each class's fields follow its
// superclass's; the structs below lay them out, each embedding its
// superclass's struct first.
//
// Ownership: a PixmapShape holds one reference on its Image, a StringShape one
// on its Text and TextFont, a Group2D or FigureShape one on each member; the
// destroy functions release them. Getters of objects hand the caller a new
// reference; setters and list operations borrow their argument and take their
// own reference.
//
// Errors: an index out of range leaves OutOfBoundsException pending and changes
// nothing; an Order outside 0..2 the same; adding a member that is the group
// itself or holds it at any depth leaves RuntimeException "A group cannot
// contain itself." pending. A nil object in place of the shape an entry point
// works on leaves NilObjectException pending (nil members are accepted). An
// object of another class where a shape is expected (only C++ code can pass
// one) is reported through AssertionFailed and ignored. Every entry point
// returns normally.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "core/utility.h"
#include "core/GrowList.h"

struct ObjectDefinition;
struct StringRecord;

// ---- Tags --------------------------------------------------------------------
constexpr uint32_t kTagObject2D = FourCharCode("ob2D");
constexpr uint32_t kTagRect = FourCharCode("rect");
constexpr uint32_t kTagRoundRect = FourCharCode("roun");
constexpr uint32_t kTagOval = FourCharCode("oval");
constexpr uint32_t kTagArc = FourCharCode("arc ");
constexpr uint32_t kTagPixmap = FourCharCode("pix ");
constexpr uint32_t kTagString = FourCharCode("strn");
constexpr uint32_t kTagCurve = FourCharCode("curv");
constexpr uint32_t kTagGroup = FourCharCode("grup");
constexpr uint32_t kTagFigure = FourCharCode("figr");

// ---- Layouts -----------------------------------------------------------------
// A point in drawing coordinates (pixels, y downwards).
struct ShapePoint {
  double x;
  double y;
};

// A list of member references (each counted once), growth step 16.
using ShapeMemberList = GrowList<RuntimeObject*>;
constexpr uint32_t kShapeMemberStep = 16;

struct Object2DFields {
  RuntimeObject header;
  uint32_t tag;
  uint32_t fillColor;    // 0x00RRGGBB
  uint32_t borderColor;  // 0x00RRGGBB
  double x;
  double y;
  double rotation;  // radians; |rotation| <= 0.00001 counts as none
  double scale;
  double fill;    // fraction; the language sees a percentage
  double border;  // fraction; the language sees a percentage
  double borderWidth;
};

struct RectShapeFields {
  Object2DFields base;
  double width;
  double height;
};

struct RoundRectShapeFields {
  RectShapeFields base;
  double cornerWidth;
  double cornerHeight;
  int32_t segments;
};

struct OvalShapeFields {
  RectShapeFields base;
  int32_t segments;
};

struct ArcShapeFields {
  OvalShapeFields base;
  double startAngle;  // kept in [0, 2 pi) by the property setter
  double arcAngle;
};

struct PixmapShapeFields {
  RectShapeFields base;
  RuntimeObject* image;  // a Picture, owned
  int32_t sourceLeft;
  int32_t sourceTop;
  int32_t sourceWidth;
  int32_t sourceHeight;
};

struct StringShapeFields {
  Object2DFields base;
  double textSize;
  StringRecord* text;      // owned
  StringRecord* textFont;  // owned
  uint8_t bold;
  uint8_t italic;
  uint8_t underline;
};

struct CurveShapeFields {
  Object2DFields base;  // x, y: the start point
  double x2;
  double y2;
  ShapePoint control[2];  // 0 for quadratic and cubic curves, 1 for cubic ones
  int32_t order;  // 0 straight line, 1 quadratic, 2 cubic
  int32_t segments;
};

// Group2D and FigureShape.
struct ShapeContainerFields {
  Object2DFields base;
  ShapeMemberList members;
};

// The layouts are binary: compiled code and the property records reach the
// fields by these offsets on the 32-bit Windows target, which aligns doubles
// to 8 bytes. (A native build for sanitizer runs lays them out its own way.)
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(Object2DFields, tag) == 24 && offsetof(Object2DFields, fillColor) == 28 &&
                  offsetof(Object2DFields, borderColor) == 32 && offsetof(Object2DFields, x) == 40 &&
                  offsetof(Object2DFields, y) == 48 && offsetof(Object2DFields, rotation) == 56 &&
                  offsetof(Object2DFields, scale) == 64 && offsetof(Object2DFields, fill) == 72 &&
                  offsetof(Object2DFields, border) == 80 &&
                  offsetof(Object2DFields, borderWidth) == 88 && sizeof(Object2DFields) == 96,
              "Object2D layout");
static_assert(offsetof(RectShapeFields, width) == 96 && offsetof(RectShapeFields, height) == 104 &&
                  sizeof(RectShapeFields) == 112,
              "RectShape layout");
static_assert(offsetof(RoundRectShapeFields, cornerWidth) == 112 &&
                  offsetof(RoundRectShapeFields, cornerHeight) == 120 &&
                  offsetof(RoundRectShapeFields, segments) == 128 &&
                  sizeof(RoundRectShapeFields) == 136,
              "RoundRectShape layout");
static_assert(offsetof(OvalShapeFields, segments) == 112 && sizeof(OvalShapeFields) == 120,
              "OvalShape layout");
static_assert(offsetof(ArcShapeFields, startAngle) == 120 &&
                  offsetof(ArcShapeFields, arcAngle) == 128 && sizeof(ArcShapeFields) == 136,
              "ArcShape layout");
static_assert(offsetof(PixmapShapeFields, image) == 112 &&
                  offsetof(PixmapShapeFields, sourceLeft) == 116 &&
                  offsetof(PixmapShapeFields, sourceTop) == 120 &&
                  offsetof(PixmapShapeFields, sourceWidth) == 124 &&
                  offsetof(PixmapShapeFields, sourceHeight) == 128 &&
                  sizeof(PixmapShapeFields) == 136,
              "PixmapShape layout");
static_assert(offsetof(StringShapeFields, textSize) == 96 &&
                  offsetof(StringShapeFields, text) == 104 &&
                  offsetof(StringShapeFields, textFont) == 108 &&
                  offsetof(StringShapeFields, bold) == 112 &&
                  offsetof(StringShapeFields, italic) == 113 &&
                  offsetof(StringShapeFields, underline) == 114 &&
                  sizeof(StringShapeFields) == 120,
              "StringShape layout");
static_assert(offsetof(CurveShapeFields, x2) == 96 && offsetof(CurveShapeFields, y2) == 104 &&
                  offsetof(CurveShapeFields, control) == 112 &&
                  offsetof(CurveShapeFields, control) + sizeof(ShapePoint) + 8 == 136 &&
                  offsetof(CurveShapeFields, order) == 144 &&
                  offsetof(CurveShapeFields, segments) == 148 && sizeof(CurveShapeFields) == 152,
              "CurveShape layout");
static_assert(offsetof(ShapeContainerFields, members) + offsetof(ShapeMemberList, step) == 96 &&
                  offsetof(ShapeContainerFields, members) + offsetof(ShapeMemberList, block) == 100 &&
                  offsetof(ShapeContainerFields, members) + offsetof(ShapeMemberList, count) == 104 &&
                  offsetof(ShapeContainerFields, members) +
                          offsetof(ShapeMemberList, capacity) == 108 &&
                  sizeof(ShapeContainerFields) == 112,
              "Group2D and FigureShape layout");
#endif

extern "C" {

// ---- Classes -----------------------------------------------------------------
// Registers the ten classes by name, in the order Object2D, RectShape,
// RoundRectShape, OvalShape, ArcShape, PixmapShape, StringShape, CurveShape,
// Group2D, FigureShape; calling it again does nothing.
void InitObject2DClasses();

// The class definitions, for CreateInstance; usable before registration.
ObjectDefinition* GetObject2DDefinition();
ObjectDefinition* GetRectShapeDefinition();
ObjectDefinition* GetRoundRectShapeDefinition();
ObjectDefinition* GetOvalShapeDefinition();
ObjectDefinition* GetArcShapeDefinition();
ObjectDefinition* GetPixmapShapeDefinition();
ObjectDefinition* GetStringShapeDefinition();
ObjectDefinition* GetCurveShapeDefinition();
ObjectDefinition* GetGroup2DDefinition();
ObjectDefinition* GetFigureShapeDefinition();

// ---- Property accessors (parameter: the field's offset) ------------------------
// Fill and Border: the field x 100 / the value x 0.01.
double doublePercentGetter(RuntimeObject* object, uint32_t offset);
void doublePercentSetter(RuntimeObject* object, uint32_t offset, double value);
// X, Y, Rotation and Scale of any shape, through Object2DSetPosition,
// Object2DSetRotation and Object2DSetScale.
void Object2DDoubleSetter(RuntimeObject* shape, uint32_t offset, double value);
// Stores the value reduced into [0, 2 pi).
void ArcStartAngleSetter(RuntimeObject* arc, uint32_t offset, double value);
// Accepts 0, 1 and 2.
void CurveOrderSetter(RuntimeObject* curve, uint32_t offset, int32_t value);
// Number of members of a Group2D or FigureShape.
int32_t Group2DCount(RuntimeObject* container, uint32_t parameter);

// ---- Methods -------------------------------------------------------------------
// Whether the drawing-coordinate point lies inside a box shape.
bool RectShapeContains(RuntimeObject* shape, double x, double y);

// Control point 0 or 1 of a curve.
double CurveGetControlX(RuntimeObject* curve, int32_t index);
void CurveSetControlX(RuntimeObject* curve, int32_t index, double value);
double CurveGetControlY(RuntimeObject* curve, int32_t index);
void CurveSetControlY(RuntimeObject* curve, int32_t index, double value);

// Member lists of Group2D and FigureShape. Nil members are accepted and kept;
// Item gives nil for them and Remove(nil) removes the first.
void Group2DAppend(RuntimeObject* container, RuntimeObject* shape);
void Group2DInsert(RuntimeObject* container, int32_t index, RuntimeObject* shape);
RuntimeObject* Group2DGetItem(RuntimeObject* container, int32_t index);  // new reference
void Group2DSetItem(RuntimeObject* container, int32_t index, RuntimeObject* shape);
void Group2DRemoveByObject(RuntimeObject* container, RuntimeObject* shape);
void Group2DRemoveByIndex(RuntimeObject* container, int32_t index);

// New CurveShape members of a figure, with the arguments widened to double.
void FigureShapeAddLine(RuntimeObject* figure, float x1, float y1, float x2, float y2);
void FigureShapeAddQuad(RuntimeObject* figure, float x1, float y1, float x2, float y2, float cx1,
                        float cy1);
void FigureShapeAddCubic(RuntimeObject* figure, float x1, float y1, float x2, float y2,
                         float cx1, float cy1, float cx2, float cy2);

// The PixmapShape constructors: without arguments (the initialiser's defaults
// stand), and with an image whose native picture sets the size.
void PixmapShapeConstructor(RuntimeObject* pixmap);
void PixmapShapeImageCtor(RuntimeObject* pixmap, RuntimeObject* image);

}  // extern "C"

// Appends count shapes in one step, taking over one reference of each: the
// member list ends exactly as count Group2DAppend calls would leave it, its
// capacity included, without their repeated growing. For shapes just made,
// which hold no container. False, with nothing appended and the references
// still the caller's, for a container that is not a Group2D or FigureShape
// or a list that cannot grow so far.
bool ShapeContainerAdopt(RuntimeObject* container, RuntimeObject* const* shapes, uint32_t count);

// ---- The Picture class's side ----------------------------------------------------
// The native picture's size in pixels; false when the picture has none. Set
// by the Picture class when it registers; while none is set, no picture has a
// native picture. Gives back the previous query.
typedef bool (*PictureSizeQuery)(RuntimeObject* picture, int32_t* width, int32_t* height);
PictureSizeQuery SetPictureSizeQuery(PictureSizeQuery query);
// The Picture class definition: the type of Image and of the image
// constructor's parameter (none until set).
void SetPixmapShapePictureClass(ObjectDefinition* pictureDefinition);
