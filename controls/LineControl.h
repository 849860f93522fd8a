// The drawn controls "Line", "Oval", "RoundRectangle" and "Rectangle". Each
// pane is a SubPane on a transparent "KV_Pane" window (what lies below shows
// through) that draws itself with the drawing port, holds its control and
// runs the control's "MouseDown", "MouseDrag" and "MouseUp" itself. A press
// goes first to a child control on the shape.
//
// Colours are 0x00RRGGBB. A shape's pane keeps its own copy of the shape's
// fields (the block behind RuntimeControl, same layout), which the pane-field
// accessors keep equal to the control's.
//
// A line is painted as squares of side BorderWidth (1 below 2) stepped one
// pixel at a time along its longer axis, from (X1, Y1) to (X2, Y2), both
// ends included; its pane covers exactly those squares. A press counts
// within 6 pixels of the line through the two ends (of the one end when
// they coincide), whether or not the line is enabled; the other shapes take
// presses only while enabled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "ui/SubPane.h"
#include "ui/runctl.h"

class GraphicsPort;

// The shapes' own fields, behind RuntimeControl.
struct LineStyle {
  int32_t x1, x2, y1, y2;  // window coordinates
  int16_t borderWidth;
  uint32_t lineColor;
};
struct OvalStyle {
  uint32_t fillColor;
  uint32_t borderColor;
  int16_t borderWidth;
};
struct RoundRectangleStyle {
  uint32_t fillColor;
  uint32_t borderColor;
  int16_t borderWidth;
  int16_t ovalWidth;
  int16_t ovalHeight;
};
struct RectangleStyle {
  uint32_t fillColor;
  uint32_t topLeftColor;
  uint32_t bottomRightColor;
  int16_t borderWidth;
};

template <class Style>
struct ShapeFields {
  RuntimeControl control;
  Style style;
};
using LineFields = ShapeFields<LineStyle>;
using OvalFields = ShapeFields<OvalStyle>;
using RoundRectangleFields = ShapeFields<RoundRectangleStyle>;
using RectangleFields = ShapeFields<RectangleStyle>;
static_assert(!kLayoutIs32Bit || offsetof(LineFields, style.lineColor) == 84, "LineColor at 84");
static_assert(!kLayoutIs32Bit || sizeof(LineFields) == 88, "a line is 88 bytes");
static_assert(!kLayoutIs32Bit || offsetof(OvalFields, style.borderWidth) == 72, "Oval BorderWidth");
static_assert(!kLayoutIs32Bit || offsetof(RoundRectangleFields, style.ovalHeight) == 76,
              "RoundRectangle OvalHeight at 76");
static_assert(!kLayoutIs32Bit || offsetof(RectangleFields, style.borderWidth) == 76,
              "Rectangle BorderWidth at 76");

// The accessor parameter of a shape property: the field's offset in the
// control object, with this flag for a 16-bit field.
constexpr uint32_t kShapeShortField = 0x10000;

// The class definitions (superclass RectControl), built on the first
// request, and their registration at start-up.
ObjectDefinition* GetLineClassDefinition();
ObjectDefinition* GetOvalClassDefinition();
ObjectDefinition* GetRoundRectangleClassDefinition();
ObjectDefinition* GetRectangleClassDefinition();
void InitLineClass();
void InitOvalClass();
void InitRoundRectangleClass();
void InitRectangleClass();
// The four registrations.
void InitLineControlClasses();

// The part every shape pane shares. It holds the control (not counted)
// until it closes.
class ShapePane : public SubPane {
 public:
  ShapePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }
  // A field of the shape changed (field: the accessor parameter; value: as
  // the control now holds it). The caller redraws.
  virtual void SetShapeField(uint32_t field, int32_t value) = 0;

  // A child first; then, when the shape takes the press (TakesPress),
  // "MouseDown" at the point relative to the shape; true captures the mouse
  // for the drag and the release.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  // After a resize the whole shape is drawn again.
  void SetBounds(const MacRect& rect, bool redraw) override;
  void Close() override;

 protected:
  ~ShapePane() override = default;
  // The base: while enabled.
  virtual bool TakesPress(int32_t x, int32_t y);

  RuntimeObject* control_ = nullptr;
};

extern "C" {
// The classes' "CreatePane": the pane over the control's bounds (a line's
// over its squares, which also become the control's bounds) with a copy of
// the shape's fields, re-parented into the parent control's pane.
void LineCreatePane(RuntimeObject* control);
void OvalCreatePane(RuntimeObject* control);
void RoundRectangleCreatePane(RuntimeObject* control);
void RectangleCreatePane(RuntimeObject* control);

// X1, X2, Y1 or Y2 (the index is the field's offset): stored, then the line's
// bounds follow its squares and both the old and the new area are redrawn.
// A nil object is reported through AssertionFailed ("LineControl", "ctl").
void linePosSetter(RuntimeObject* control, uint32_t index, int32_t value);
// The squared distance from (px, py) to the line through the two ends (to
// the end when both are one point), truncated, at most INT32_MAX; worked out
// in double precision, so no coordinates overflow.
int32_t LineDistanceSquared(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t px, int32_t py);

// The pane-field accessors of the shapes' other properties (the index is
// the accessor parameter above). The setter stores the value (a 16-bit field
// held to its range), tells the pane and redraws it. A nil object is
// reported through AssertionFailed ("LineControl", "ctl") and reads 0.
int32_t shapeFieldGetter(RuntimeObject* control, uint32_t index);
void shapeFieldSetter(RuntimeObject* control, uint32_t index, int32_t value);
}
