// The line and shape controls.
#include "controls/LineControl.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "controls/ControlPattern.h"
#include "core/diagnostics.h"
#include "graphics/GraphicsPort.h"
#include "graphics/Rect16.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

// A press counts when its squared distance to the line is below this.
constexpr int32_t kLineHitDistanceSquared = 36;
// Where the shapes' own fields begin in the control object.
constexpr uint32_t kStyleOffset = sizeof(RuntimeControl);

// Stores the value into the field of the block (field: offset and width
// flag, as in the accessor parameter) and gives what was stored.
int32_t StoreField(void* block, uint32_t field, int32_t value) {
  uint8_t* at = static_cast<uint8_t*>(block) + (field & 0xFFFF);
  if (field & kShapeShortField) {
    const int16_t stored = Saturate16(value);
    std::memcpy(at, &stored, sizeof stored);
    return stored;
  }
  std::memcpy(at, &value, sizeof value);
  return value;
}

int32_t ReadField(const void* block, uint32_t field) {
  const uint8_t* at = static_cast<const uint8_t*>(block) + (field & 0xFFFF);
  if (field & kShapeShortField) {
    int16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  int32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The side of a line's squares: the border width, 1 below 2.
int32_t SquareSide(int16_t borderWidth) { return borderWidth < 2 ? 1 : borderWidth; }

// The rectangle a line's squares cover.
MacRect LineBounds(const LineStyle& line) {
  const int32_t side = SquareSide(line.borderWidth);
  return SaturatedRect16(std::min(line.y1, line.y2), std::min(line.x1, line.x2),
                         int64_t(std::max(line.y1, line.y2)) + side,
                         int64_t(std::max(line.x1, line.x2)) + side);
}

void SetForeColor(GraphicsPort* port, uint32_t color) {
  port->SetForeColor(RGBColorFromValue(color));
}

// A pane holding a copy of the shape's fields.
template <class Style>
class StyledShapePane : public ShapePane {
 public:
  StyledShapePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, const Style& style)
      : ShapePane(parent, tabPanelIndex, bounds), style_(style) {}
  void SetShapeField(uint32_t field, int32_t value) override {
    StoreField(&style_, field - kStyleOffset, value);
  }

 protected:
  Style style_;
};

// The interior filled, then (with a border width) the outline in the border
// colour with a pen of that width.
template <class Fill, class Frame>
void DrawBordered(GraphicsPort* port, uint32_t fillColor, uint32_t borderColor, int16_t borderWidth,
                  Fill fill, Frame frame) {
  port->Focus();
  ForeColorScope savedColour(port);
  SetForeColor(port, fillColor);
  fill();
  const int32_t width = std::abs(int32_t(borderWidth));
  if (width == 0) return;
  SetForeColor(port, borderColor);
  port->SetPenSize(width, width);
  frame();
  port->PenNormal();
}

class LinePane : public StyledShapePane<LineStyle> {
 public:
  using StyledShapePane::StyledShapePane;

  void SetShapeField(uint32_t field, int32_t value) override {
    StyledShapePane::SetShapeField(field, value);
    if (field == (offsetof(LineFields, style.borderWidth) | kShapeShortField)) Follow(style_);
  }

  // The ends or the width changed: the old area is redrawn, the pane moves
  // over the new squares (which become the control's bounds) and draws.
  void Follow(const LineStyle& line) {
    Invalidate(true);
    style_ = line;
    const MacRect bounds = LineBounds(line);
    if (control_) ControlFields(control_)->bounds = bounds;
    SetBounds(bounds, true);
  }

  void Draw(GraphicsPort* port) override;

 protected:
  bool TakesPress(int32_t x, int32_t y) override {
    return LineDistanceSquared(style_.x1, style_.y1, style_.x2, style_.y2, x, y) <
           kLineHitDistanceSquared;
  }

 private:
  void FillRun(GraphicsPort* port, bool xMajor, int64_t from, int64_t to, int64_t minor,
               int32_t side);
};

// Squares of the side at (x1 + dx·k/n, y1 + dy·k/n) rounded, k = 0 … n,
// n = max(|dx|, |dy|): each step moves one pixel along the longer axis, so
// no width leaves gaps. Squares in a row along that axis are filled as one
// rectangle, and only the steps whose squares meet the pane are walked, so
// far-away ends cost nothing.
void LinePane::Draw(GraphicsPort* port) {
  if (!IsShown()) return;
  port->Focus();
  ForeColorScope savedColour(port);
  SetForeColor(port, style_.lineColor);
  const int32_t side = SquareSide(style_.borderWidth);
  const int64_t dx = int64_t(style_.x2) - style_.x1;
  const int64_t dy = int64_t(style_.y2) - style_.y1;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t major = xMajor ? dx : dy;
  const int64_t minor = xMajor ? dy : dx;
  const int64_t steps = std::llabs(major);
  const int64_t direction = major < 0 ? -1 : 1;
  const int64_t majorStart = xMajor ? style_.x1 : style_.y1;
  const int64_t minorStart = xMajor ? style_.y1 : style_.x1;
  // Squares at m in [low, high] along the major axis meet the pane.
  const int64_t low = int64_t(xMajor ? Left() : Top()) - side + 1;
  const int64_t high = int64_t(xMajor ? Bounds().right : Bounds().bottom) - 1;
  int64_t first = direction > 0 ? low - majorStart : majorStart - high;
  int64_t last = direction > 0 ? high - majorStart : majorStart - low;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, steps);

  auto minorAt = [&](int64_t k) {
    if (steps == 0) return minorStart;
    return minorStart + int64_t(std::floor(double(minor) * double(k) / double(steps) + 0.5));
  };
  int64_t runStart = 0, runEnd = 0, runMinor = 0;
  bool inRun = false;
  for (int64_t k = first; k <= last; ++k) {
    const int64_t m = majorStart + direction * k;
    const int64_t n = minorAt(k);
    if (inRun && n == runMinor) {
      runEnd = m;
      continue;
    }
    if (inRun) FillRun(port, xMajor, runStart, runEnd, runMinor, side);
    runStart = runEnd = m;
    runMinor = n;
    inRun = true;
  }
  if (inRun) FillRun(port, xMajor, runStart, runEnd, runMinor, side);
  port->PenNormal();
}

void LinePane::FillRun(GraphicsPort* port, bool xMajor, int64_t from, int64_t to, int64_t minor,
                       int32_t side) {
  const int64_t low = std::min(from, to);
  const int64_t high = std::max(from, to) + side;
  port->FillRect(xMajor ? SaturatedRect16(minor, low, minor + side, high)
                        : SaturatedRect16(low, minor, high, minor + side));
}

class OvalPane : public StyledShapePane<OvalStyle> {
 public:
  using StyledShapePane::StyledShapePane;
  void Draw(GraphicsPort* port) override {
    if (!IsShown()) return;
    const MacRect& box = Bounds();
    DrawBordered(
        port, style_.fillColor, style_.borderColor, style_.borderWidth,
        [&] { port->FillOval(box); }, [&] { port->FrameOval(box); });
  }
};

class RoundRectanglePane : public StyledShapePane<RoundRectangleStyle> {
 public:
  using StyledShapePane::StyledShapePane;
  void Draw(GraphicsPort* port) override {
    if (!IsShown()) return;
    const MacRect& box = Bounds();
    const int32_t width = style_.ovalWidth;
    const int32_t height = style_.ovalHeight;
    DrawBordered(
        port, style_.fillColor, style_.borderColor, style_.borderWidth,
        [&] { port->FillRoundRect(box, width, height); },
        [&] { port->FrameRoundRect(box, width, height); });
  }
};

// A bevelled box: the fill inset by the border width, then that many rows
// and columns in TopLeftColor along the top and left edges and in
// BottomRightColor along the bottom and right edges.
class RectanglePane : public StyledShapePane<RectangleStyle> {
 public:
  using StyledShapePane::StyledShapePane;

  void Draw(GraphicsPort* port) override {
    if (!IsShown()) return;
    port->Focus();
    ForeColorScope savedColour(port);
    const int32_t width = std::abs(int32_t(style_.borderWidth));
    MacRect inside = Bounds();
    MacInsetRect(&inside, Saturate16(width), Saturate16(width));
    SetForeColor(port, style_.fillColor);
    port->FillRect(inside);
    const int32_t left = Left(), top = Top(), right = Bounds().right, bottom = Bounds().bottom;
    SetForeColor(port, style_.topLeftColor);
    for (int32_t i = 0; i < width; ++i) {
      port->MoveTo(left + i, bottom - i - 1);
      port->LineTo(left + i, top + i);
      port->LineTo(right - i, top + i);
    }
    SetForeColor(port, style_.bottomRightColor);
    for (int32_t i = 0; i < width; ++i) {
      port->MoveTo(left + i + 1, bottom - i - 1);
      port->LineTo(right - i - 1, bottom - i - 1);
      port->LineTo(right - i - 1, top + i - 1);
    }
  }

  // Child controls stand on the fill.
  COLORREF BackgroundColor() override { return ColorRefOfColor(style_.fillColor); }
};

// The fields of a shape; nil, reported, for a nil object.
uint8_t* CheckedShape(RuntimeObject* control) {
  if (control) return reinterpret_cast<uint8_t*>(control);
  AssertionFailed(131, 4, "LineControl", __LINE__, "ctl", nullptr);
  return nullptr;
}

template <class Pane, class Style>
Pane* CreateShapePane(RuntimeObject* control, const MacRect& bounds) {
  auto* fields = ObjectFields<ShapeFields<Style>>(control);
  RuntimeControl& common = fields->control;
  auto* pane = new Pane(ControlParentPane(control), common.tabPanelIndex, bounds, fields->style);
  AdoptControlPane(control, pane);
  pane->SetControl(control);
  return pane;
}

// ---- Class definitions ----

#define SHAPE_FIELD(Fields, member) uint32_t(offsetof(Fields, style.member))
#define SHAPE_SHORT(Fields, member) (SHAPE_FIELD(Fields, member) | kShapeShortField)
#define SHAPE_PROPERTY(name, type, parameter)                               \
  {                                                                         \
    kPropertyPassesParameter, name, &type, RUNTIME_ENTRY(shapeFieldGetter), \
        RUNTIME_ENTRY(shapeFieldSetter), parameter                          \
  }

std::array<EventRecord, 3> ShapeEventRecords() {
  return {{
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
  }};
}

template <size_t PropertyCount>
ControlClassTables ShapeTables(const char* name, uint32_t instanceSize,
                               void (*createPane)(RuntimeObject*),
                               std::array<EventRecord, 3>& events,
                               const PropertyRecord (&properties)[PropertyCount]) {
  return ControlClassTables{name, instanceSize, nullptr, nullptr, createPane, events.data(),
                            3, properties, int32_t(PropertyCount), nullptr, 0, {}};
}

}  // namespace

// ---- Panes ----

ShapePane::ShapePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : SubPane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, WS_EX_TRANSPARENT) {}

bool ShapePane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (SubPane::MouseDown(x, y, modifiers)) return true;
  return TakesPress(x, y) && RunMouseDownHandler(this, control_, x, y);
}

void ShapePane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseDrag", x, y);
}

void ShapePane::MouseUp(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseUp", x, y);
}

bool ShapePane::TakesPress(int32_t, int32_t) { return IsEnabled(); }

void ShapePane::SetBounds(const MacRect& rect, bool redraw) {
  const MacRect old = Bounds();
  SubPane::SetBounds(rect, redraw);
  if (redraw) RedrawWholeAfterResize(this, old);
}

void ShapePane::Close() {
  // The control may go before the pane: a closing pane raises nothing.
  control_ = nullptr;
  SubPane::Close();
}

// ---- Class definitions ----

ObjectDefinition* GetLineClassDefinition() {
  static std::array<EventRecord, 3> events = ShapeEventRecords();
  static const PropertyRecord properties[] = {
      {kPropertyGenericGetter, "X1", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(linePosSetter), SHAPE_FIELD(LineFields, x1)},
      {kPropertyGenericGetter, "X2", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(linePosSetter), SHAPE_FIELD(LineFields, x2)},
      {kPropertyGenericGetter, "Y1", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(linePosSetter), SHAPE_FIELD(LineFields, y1)},
      {kPropertyGenericGetter, "Y2", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(linePosSetter), SHAPE_FIELD(LineFields, y2)},
      SHAPE_PROPERTY("BorderWidth", kIntegerType, SHAPE_SHORT(LineFields, borderWidth)),
      SHAPE_PROPERTY("LineColor", kColorType, SHAPE_FIELD(LineFields, lineColor)),
  };
  static ControlClassDefinition definition(
      ShapeTables("Line", sizeof(LineFields), LineCreatePane, events, properties));
  return definition.get();
}

ObjectDefinition* GetOvalClassDefinition() {
  static std::array<EventRecord, 3> events = ShapeEventRecords();
  static const PropertyRecord properties[] = {
      SHAPE_PROPERTY("FillColor", kColorType, SHAPE_FIELD(OvalFields, fillColor)),
      SHAPE_PROPERTY("BorderWidth", kIntegerType, SHAPE_SHORT(OvalFields, borderWidth)),
      SHAPE_PROPERTY("BorderColor", kColorType, SHAPE_FIELD(OvalFields, borderColor)),
  };
  static ControlClassDefinition definition(
      ShapeTables("Oval", sizeof(OvalFields), OvalCreatePane, events, properties));
  return definition.get();
}

ObjectDefinition* GetRoundRectangleClassDefinition() {
  using Fields = RoundRectangleFields;
  static std::array<EventRecord, 3> events = ShapeEventRecords();
  static const PropertyRecord properties[] = {
      SHAPE_PROPERTY("FillColor", kColorType, SHAPE_FIELD(Fields, fillColor)),
      SHAPE_PROPERTY("BorderWidth", kIntegerType, SHAPE_SHORT(Fields, borderWidth)),
      SHAPE_PROPERTY("BorderColor", kColorType, SHAPE_FIELD(Fields, borderColor)),
      SHAPE_PROPERTY("OvalWidth", kIntegerType, SHAPE_SHORT(Fields, ovalWidth)),
      SHAPE_PROPERTY("OvalHeight", kIntegerType, SHAPE_SHORT(Fields, ovalHeight)),
  };
  static ControlClassDefinition definition(
      ShapeTables("RoundRectangle", sizeof(Fields), RoundRectangleCreatePane, events, properties));
  return definition.get();
}

ObjectDefinition* GetRectangleClassDefinition() {
  using Fields = RectangleFields;
  static std::array<EventRecord, 3> events = ShapeEventRecords();
  static const PropertyRecord properties[] = {
      SHAPE_PROPERTY("FillColor", kColorType, SHAPE_FIELD(Fields, fillColor)),
      SHAPE_PROPERTY("BorderWidth", kIntegerType, SHAPE_SHORT(Fields, borderWidth)),
      SHAPE_PROPERTY("TopLeftColor", kColorType, SHAPE_FIELD(Fields, topLeftColor)),
      SHAPE_PROPERTY("BottomRightColor", kColorType, SHAPE_FIELD(Fields, bottomRightColor)),
  };
  static ControlClassDefinition definition(
      ShapeTables("Rectangle", sizeof(Fields), RectangleCreatePane, events, properties));
  return definition.get();
}

void InitLineClass() { RegisterIntrinsicClass(GetLineClassDefinition()); }
void InitOvalClass() { RegisterIntrinsicClass(GetOvalClassDefinition()); }
void InitRoundRectangleClass() { RegisterIntrinsicClass(GetRoundRectangleClassDefinition()); }
void InitRectangleClass() { RegisterIntrinsicClass(GetRectangleClassDefinition()); }

void InitLineControlClasses() {
  InitLineClass();
  InitOvalClass();
  InitRoundRectangleClass();
  InitRectangleClass();
}

// ---- Entry points ----

extern "C" void LineCreatePane(RuntimeObject* control) {
  const MacRect bounds = LineBounds(ObjectFields<LineFields>(control)->style);
  ControlFields(control)->bounds = bounds;
  CreateShapePane<LinePane, LineStyle>(control, bounds);
}

extern "C" void OvalCreatePane(RuntimeObject* control) {
  CreateShapePane<OvalPane, OvalStyle>(control, ControlFields(control)->bounds);
}

extern "C" void RoundRectangleCreatePane(RuntimeObject* control) {
  CreateShapePane<RoundRectanglePane, RoundRectangleStyle>(control, ControlFields(control)->bounds);
}

extern "C" void RectangleCreatePane(RuntimeObject* control) {
  CreateShapePane<RectanglePane, RectangleStyle>(control, ControlFields(control)->bounds);
}

extern "C" void linePosSetter(RuntimeObject* control, uint32_t index, int32_t value) {
  if (!control) {
    AssertionFailed(131, 4, "LineControl", 418, "ctl", nullptr);
    return;
  }
  intSetter(control, index, value);
  LineFields* fields = ObjectFields<LineFields>(control);
  if (auto* pane = dynamic_cast<LinePane*>(fields->control.pane)) {
    pane->Follow(fields->style);
  } else {
    fields->control.bounds = LineBounds(fields->style);
  }
}

extern "C" int32_t LineDistanceSquared(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t px,
                                       int32_t py) {
  const double dx = double(x2) - x1;
  const double dy = double(y2) - y1;
  const double ex = double(px) - x1;
  const double ey = double(py) - y1;
  const double divisor = dx * dx + dy * dy;
  // Coincident ends: the distance to that point.
  const double squared =
      divisor == 0 ? ex * ex + ey * ey : (dx * ey - dy * ex) * (dx * ey - dy * ex) / divisor;
  return squared >= double(INT32_MAX) ? INT32_MAX : int32_t(squared);
}

extern "C" int32_t shapeFieldGetter(RuntimeObject* control, uint32_t index) {
  const uint8_t* fields = CheckedShape(control);
  return fields ? ReadField(fields, index) : 0;
}

extern "C" void shapeFieldSetter(RuntimeObject* control, uint32_t index, int32_t value) {
  uint8_t* fields = CheckedShape(control);
  if (!fields) return;
  const int32_t stored = StoreField(fields, index, value);
  if (auto* pane = dynamic_cast<ShapePane*>(ControlFields(control)->pane)) {
    pane->SetShapeField(index, stored);
    pane->Invalidate(true);
  }
}
