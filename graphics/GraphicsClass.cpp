// The Graphics class: coordinates from the pane into the port, the entry
// points over the port, and the class's definition.
#include "graphics/GraphicsClass.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureAxis.h"
#include "graphics/PictureClass.h"
#include "graphics/Rect16.h"
#include "graphics/ShapePlotter.h"
#include "ui/pane.h"

namespace {

// The right edge of a text drawn without a width: far enough for any line.
constexpr int32_t kUnwrappedRight = 30000;
constexpr int32_t kBoxBottom = 32767;
enum TextBoxAlignment : int32_t { kAlignLeft = 0, kAlignLeftUnwrapped = 3 };
enum StandardIcon : int32_t { kStopIcon = 0, kNoteIcon = 1, kCautionIcon = 2 };

// An object of the wrong class, which only C++ code can pass.
void ReportCallerFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "Graphics", line, condition, nullptr);
}

// The Graphics object's fields, or nil: a nil object leaves
// NilObjectException pending, an object of another class is reported.
GraphicsObject* GraphicsArgument(RuntimeObject* object) {
  return InstanceArgument<GraphicsObject>(object, GraphicsClassDefinition(), "Graphics", __LINE__,
                                          "ObjectIsADefinition(object, GraphicsClassDefinition())");
}

// The port, for its state; nil after an error.
GraphicsPort* PortOf(RuntimeObject* graphics) {
  GraphicsObject* fields = GraphicsArgument(graphics);
  return fields ? fields->port : nullptr;
}

// The port and its target, for drawing and measuring: nil when there is
// nothing to draw into, so that a kept Graphics whose picture or pane has
// gone draws nothing and measures 0.
class Drawing {
 public:
  explicit Drawing(RuntimeObject* graphics) : port_(PortOf(graphics)) {
    Pane* target = port_ ? port_->Target() : nullptr;
    if (!target) {
      port_ = nullptr;
      return;
    }
    left_ = target->Left();
    top_ = target->Top();
  }

  explicit operator bool() const { return port_ != nullptr; }
  GraphicsPort* operator->() const { return port_; }
  GraphicsPort* port() const { return port_; }
  Pane* target() const { return port_->Target(); }

  // A point's pane coordinates to the target's, held within
  // +-2^30.
  int32_t X(int32_t x) const { return LimitedCoordinate(int64_t(x) + left_); }
  int32_t Y(int32_t y) const { return LimitedCoordinate(int64_t(y) + top_); }
  // A plotter over the port, for one drawing.
  ShapePlotter Plotter() const { return ShapePlotter(port_, left_, top_); }
  // The rectangle x, y, width, height of the pane, in the target's
  // coordinates, saturated to 16 bits.
  MacRect Rect(int32_t x, int32_t y, int32_t width, int32_t height) const {
    const int64_t left = int64_t(x) + left_, top = int64_t(y) + top_;
    return SaturatedRect16(top, left, top + height, left + width);
  }

 private:
  GraphicsPort* port_;
  int32_t left_ = 0;
  int32_t top_ = 0;
};

uint32_t ColorValue(const RGBColor16& color) {
  return uint32_t(color.red >> 8) << 16 | uint32_t(color.green >> 8) << 8 | (color.blue >> 8);
}

// A shape of the port in the pane's rectangle x, y, width, height, with the
// shape's further arguments.
template <auto shape, class... Corners>
void DrawInRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width, int32_t height,
                Corners... corners) {
  Drawing drawing(graphics);
  if (drawing) (drawing.port()->*shape)(drawing.Rect(x, y, width, height), corners...);
}

void DrawIconKind(RuntimeObject* graphics, int32_t kind, int32_t x, int32_t y) {
  Drawing drawing(graphics);
  if (drawing) drawing->DrawStandardIcon(kind, drawing.X(x), drawing.Y(y));
}

void DrawPolygon(RuntimeObject* graphics, RuntimeArray* points, bool fill) {
  Drawing drawing(graphics);
  // The port adds the pane's offset to the points itself.
  if (drawing && points && RuntimeUBound(points) > 0) drawing->Polygon(points, fill);
}

int32_t SizeOrDefault(int32_t size, int32_t fallback) {
  return size == kDrawPictureDefaultSize ? fallback : size;
}

// DrawPicture's first layer: the picture's image.
void DrawNativeImage(const Drawing& drawing, const PictureObject* picture, int32_t x, int32_t y,
                     int32_t w1, int32_t h1, int32_t sx, int32_t sy, int32_t w2, int32_t h2) {
  NativePicture* native = picture->nativePicture;
  int32_t pictureWidth = 0, pictureHeight = 0;
  native->GetSize(&pictureWidth, &pictureHeight);
  w1 = SizeOrDefault(w1, pictureWidth);
  h1 = SizeOrDefault(h1, pictureHeight);
  PictureAxis across{drawing.X(x), w1, sx, SizeOrDefault(w2, w1)};
  PictureAxis down{drawing.Y(y), h1, sy, SizeOrDefault(h2, h1)};
  if (!across.ClipTo(pictureWidth) || !down.ClipTo(pictureHeight)) return;
  // Clipped sizes never exceed the ones given.
  drawing->DrawPictureScaled(LimitedCoordinate(across.position), LimitedCoordinate(down.position),
                             int32_t(across.size), int32_t(down.size), native, int32_t(across.sourceStart),
                             int32_t(down.sourceStart), int32_t(across.sourceSize),
                             int32_t(down.sourceSize), picture->transparent != 0);
}

// DrawPicture's second layer: the picture's shapes, clipped to the
// destination rectangle and moved so that the source's top-left corner lands
// on (x, y). Shapes are never scaled, so their picture point (sx, sy) lands
// there whatever the sizes.
void DrawPictureObjects(const Drawing& drawing, const PictureObject* picture, int32_t x, int32_t y,
                        int32_t w1, int32_t h1, int32_t sx, int32_t sy) {
  w1 = SizeOrDefault(w1, picture->width);
  h1 = SizeOrDefault(h1, picture->height);
  if (w1 < 1 || h1 < 1) return;
  ClipStateSaver clip(drawing.port());
  drawing->SetClipRect(drawing.Rect(x, y, w1, h1));
  drawing.Plotter().DrawObjectAt(picture->objects, double(x) - sx, double(y) - sy);
  clip.Restore();
}

// DrawPicture's image parameter, typed with the Picture class at
// registration.
ParameterRecord g_drawPictureParameters[] = {
    {"image", nullptr, 0},
    {"x", &kIntegerType, 0},
    {"y", &kIntegerType, 0},
    {"w1", &kIntegerType, kParameterOptional},
    {"h1", &kIntegerType, kParameterOptional},
    {"sx", &kIntegerType, kParameterOptional},
    {"sy", &kIntegerType, kParameterOptional},
    {"w2", &kIntegerType, kParameterOptional},
    {"h2", &kIntegerType, kParameterOptional},
};

// DrawObject's shape parameter, typed with the Object2D class at
// registration.
ParameterRecord g_drawObjectParameters[] = {
    {"object2D", nullptr, 0},
    {"deltaX", &kIntegerType, kParameterOptional},
    {"deltaY", &kIntegerType, kParameterOptional},
};

void DestroyGraphics(RuntimeObject* object) {
  GraphicsObject* graphics = ObjectFields<GraphicsObject>(object);
  delete graphics->port;
  graphics->port = nullptr;
}

#define ACCESSORS(getter, setter) RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter)
#define READ_ONLY(getter) RUNTIME_ENTRY(getter), nullptr, nullptr

const PropertyRecord kProperties[] = {
    {0, "ForeColor", &kColorType, ACCESSORS(graphicsForeColorGetter, graphicsForeColorSetter), 0},
    {kPropertyReadOnly, "Width", &kIntegerType, READ_ONLY(graphicsWidthGetter), 0},
    {kPropertyReadOnly, "Height", &kIntegerType, READ_ONLY(graphicsHeightGetter), 0},
    {0, "TextFont", &kStringType, ACCESSORS(graphicsTextFontGetter, graphicsTextFontSetter), 0},
    {0, "TextSize", &kIntegerType, ACCESSORS(graphicsTextSizeGetter, graphicsTextSizeSetter), 0},
    {kPropertyReadOnly | kPropertyPassesParameter, "Copies", &kIntegerType, READ_ONLY(intGetter),
     uint32_t(offsetof(GraphicsObject, copies))},
    {kPropertyReadOnly | kPropertyPassesParameter, "FirstPage", &kIntegerType, READ_ONLY(intGetter),
     uint32_t(offsetof(GraphicsObject, firstPage))},
    {kPropertyReadOnly | kPropertyPassesParameter, "LastPage", &kIntegerType, READ_ONLY(intGetter),
     uint32_t(offsetof(GraphicsObject, lastPage))},
    {kPropertyPassesParameter, "Bold", &kBooleanType,
     ACCESSORS(graphicsStyleBitGetter, graphicsStyleBitSetter), 1},
    {kPropertyPassesParameter, "Italic", &kBooleanType,
     ACCESSORS(graphicsStyleBitGetter, graphicsStyleBitSetter), 2},
    {kPropertyPassesParameter, "Underline", &kBooleanType,
     ACCESSORS(graphicsStyleBitGetter, graphicsStyleBitSetter), 4},
    {0, "PenWidth", &kIntegerType, ACCESSORS(graphicsPenWidthGetter, graphicsPenWidthSetter), 0},
    {0, "PenHeight", &kIntegerType, ACCESSORS(graphicsPenHeightGetter, graphicsPenHeightSetter), 0},
    {0, "UseOldRenderer", &kBooleanType,
     ACCESSORS(graphicsUseOldRendererGetter, graphicsUseOldRendererSetter), 0},
};

#undef ACCESSORS
#undef READ_ONLY

const ParameterRecord kRectParameters[] = {
    {"x", &kIntegerType, 0},      {"y", &kIntegerType, 0},        {"width", &kIntegerType, 0},
    {"height", &kIntegerType, 0}, {"arcWidth", &kIntegerType, 0}, {"arcHeight", &kIntegerType, 0}};
const ParameterRecord kLineParameters[] = {{"x1", &kIntegerType, 0},
                                           {"y1", &kIntegerType, 0},
                                           {"x2", &kIntegerType, 0},
                                           {"y2", &kIntegerType, 0}};
const ParameterRecord kStringParameters[] = {{"str", &kStringType, 0},
                                             {"x", &kIntegerType, 0},
                                             {"y", &kIntegerType, 0},
                                             {"width", &kIntegerType, kParameterOptional}};
const ParameterRecord kStringHeightParameters[] = {{"Text", &kStringType, 0},
                                                   {"WrapWidth", &kIntegerType, 0}};
// Nil: an Integer array (the array types are the compiler's).
const ParameterRecord kPolygonParameters[] = {{"points", nullptr, 0}};

ObjectDefinition* MakeGraphicsDefinition() {
  static ObjectDefinition definition;
  static const MethodRecord methods[] = {
      MakeMethodRecord("ClearRect", nullptr, kRectParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsClearRect)),
      MakeMethodRecord("DrawLine", nullptr, kLineParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsDrawLine)),
      MakeMethodRecord("DrawOval", nullptr, kRectParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsDrawOval)),
      MakeMethodRecord("DrawRect", nullptr, kRectParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsDrawRect)),
      MakeMethodRecord("DrawRoundRect", nullptr, kRectParameters, 6,
                       RUNTIME_ENTRY(RuntimeGraphicsDrawRoundRect)),
      MakeMethodRecord("FillOval", nullptr, kRectParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsFillOval)),
      MakeMethodRecord("FillRect", nullptr, kRectParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsFillRect)),
      MakeMethodRecord("FillRoundRect", nullptr, kRectParameters, 6,
                       RUNTIME_ENTRY(RuntimeGraphicsFillRoundRect)),
      MakeMethodRecord("DrawPicture", nullptr, g_drawPictureParameters,
                       uint32_t(std::size(g_drawPictureParameters)),
                       RUNTIME_ENTRY(RuntimeGraphicsDrawPicture)),
      MakeMethodRecord("DrawString", nullptr, kStringParameters, 4,
                       RUNTIME_ENTRY(RuntimeGraphicsDrawString)),
      MakeMethodRecord("StringWidth", &kIntegerType, kStringParameters, 1,
                       RUNTIME_ENTRY(RuntimeGraphicsStringWidth)),
      MakeMethodRecord("StringHeight", &kIntegerType, kStringHeightParameters, 2,
                       RUNTIME_ENTRY(RuntimeGraphicsStringHeight)),
      MakeMethodRecord("TextHeight", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(RuntimeGraphicsTextHeight)),
      MakeMethodRecord("TextAscent", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(RuntimeGraphicsTextAscent)),
      MakeMethodRecord("NextPage", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimeGraphicsNextPage)),
      MakeMethodRecord("DrawStopIcon", nullptr, kRectParameters, 2,
                       RUNTIME_ENTRY(graphicsDrawStopIcon)),
      MakeMethodRecord("DrawNoteIcon", nullptr, kRectParameters, 2,
                       RUNTIME_ENTRY(graphicsDrawNoteIcon)),
      MakeMethodRecord("DrawCautionIcon", nullptr, kRectParameters, 2,
                       RUNTIME_ENTRY(graphicsDrawCautionIcon)),
      MakeMethodRecord("Pixel", &kColorType, kRectParameters, 2, RUNTIME_ENTRY(graphicsPixelGetter),
                       RUNTIME_ENTRY(graphicsPixelSetter)),
      MakeMethodRecord("DrawPolygon", nullptr, kPolygonParameters, 1,
                       RUNTIME_ENTRY(graphicsDrawPolygon)),
      MakeMethodRecord("FillPolygon", nullptr, kPolygonParameters, 1,
                       RUNTIME_ENTRY(graphicsFillPolygon)),
      MakeMethodRecord("DrawObject", nullptr, g_drawObjectParameters,
                       uint32_t(std::size(g_drawObjectParameters)),
                       RUNTIME_ENTRY(RuntimeGraphicsDrawObjectXY)),
  };
  ObjectDefinitionSetName(&definition, "Graphics");
  definition.instanceSize = sizeof(GraphicsObject);
  definition.destructor = DestroyGraphics;
  BuildPropertyDefinitions(&definition, kProperties, int32_t(std::size(kProperties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

}  // namespace

ObjectDefinition* GraphicsClassDefinition() {
  static ObjectDefinition* const definition = MakeGraphicsDefinition();
  return definition;
}

void RegisterGraphicsClass() {
  RegisterIntrinsicClass(GraphicsClassDefinition());
  // Typed only now: the Picture class names Graphics for its own Graphics
  // property, so neither definition may ask for the other while it is made.
  g_drawPictureParameters[0].type = PictureClassDefinition();
  g_drawObjectParameters[0].type = GetObject2DDefinition();
}

GraphicsObject* WrapGraphicsPort(GraphicsPort* port) {
  RuntimeObject* object = CreateInstance(GraphicsClassDefinition());
  if (!object) {
    delete port;
    return nullptr;
  }
  GraphicsObject* graphics = ObjectFields<GraphicsObject>(object);
  graphics->port = port;
  return graphics;
}

extern "C" {

void GraphicsPaneTopLeft(RuntimeObject* graphics, int32_t* x, int32_t* y) {
  GraphicsPort* port = PortOf(graphics);
  Pane* target = port ? port->Target() : nullptr;
  *x = target ? target->Left() : 0;
  *y = target ? target->Top() : 0;
}

// ---- Shapes and lines --------------------------------------------------------------

void RuntimeGraphicsClearRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                              int32_t height) {
  DrawInRect<&GraphicsPort::EraseRect>(graphics, x, y, width, height);
}

void RuntimeGraphicsDrawRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  DrawInRect<&GraphicsPort::FrameRect>(graphics, x, y, width, height);
}

void RuntimeGraphicsFillRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  DrawInRect<&GraphicsPort::FillRect>(graphics, x, y, width, height);
}

void RuntimeGraphicsDrawOval(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  DrawInRect<&GraphicsPort::FrameOval>(graphics, x, y, width, height);
}

void RuntimeGraphicsFillOval(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  DrawInRect<&GraphicsPort::FillOval>(graphics, x, y, width, height);
}

void RuntimeGraphicsDrawRoundRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                                  int32_t height, int32_t arcWidth, int32_t arcHeight) {
  DrawInRect<&GraphicsPort::FrameRoundRect>(graphics, x, y, width, height, arcWidth, arcHeight);
}

void RuntimeGraphicsFillRoundRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                                  int32_t height, int32_t arcWidth, int32_t arcHeight) {
  DrawInRect<&GraphicsPort::FillRoundRect>(graphics, x, y, width, height, arcWidth, arcHeight);
}

void RuntimeGraphicsDrawLine(RuntimeObject* graphics, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2) {
  Drawing drawing(graphics);
  if (!drawing) return;
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  drawing->MoveTo(drawing.X(x1), drawing.Y(y1));
  drawing->LineTo(drawing.X(x2), drawing.Y(y2));
  // GDI leaves a line's last pixel out.
  if (drawing->PenWidth() == 1 && drawing->PenHeight() == 1) {
    drawing->SetPixel(drawing.X(x2), drawing.Y(y2), drawing->ForeColor());
  }
}

void graphicsDrawPolygon(RuntimeObject* graphics, RuntimeArray* points) {
  DrawPolygon(graphics, points, false);
}

void graphicsFillPolygon(RuntimeObject* graphics, RuntimeArray* points) {
  DrawPolygon(graphics, points, true);
}

void graphicsDrawStopIcon(RuntimeObject* graphics, int32_t x, int32_t y) {
  DrawIconKind(graphics, kStopIcon, x, y);
}

void graphicsDrawNoteIcon(RuntimeObject* graphics, int32_t x, int32_t y) {
  DrawIconKind(graphics, kNoteIcon, x, y);
}

void graphicsDrawCautionIcon(RuntimeObject* graphics, int32_t x, int32_t y) {
  DrawIconKind(graphics, kCautionIcon, x, y);
}

void RuntimeGraphicsDrawPicture(RuntimeObject* graphics, RuntimeObject* image, int32_t x, int32_t y,
                                int32_t w1, int32_t h1, int32_t sx, int32_t sy, int32_t w2,
                                int32_t h2) {
  Drawing drawing(graphics);
  if (!drawing || !image) return;
  if (!ObjectIsADefinition(image, PictureClassDefinition())) {
    ReportCallerFault(__LINE__, "ObjectIsADefinition(image, PictureClassDefinition())");
    return;
  }
  const PictureObject* picture = ObjectFields<PictureObject>(image);
  if (picture->nativePicture) DrawNativeImage(drawing, picture, x, y, w1, h1, sx, sy, w2, h2);
  if (picture->objects) DrawPictureObjects(drawing, picture, x, y, w1, h1, sx, sy);
}

void RuntimeGraphicsDrawObject(RuntimeObject* graphics, RuntimeObject* object) {
  RuntimeGraphicsDrawObjectXY(graphics, object, 0, 0);
}

void RuntimeGraphicsDrawObjectXY(RuntimeObject* graphics, RuntimeObject* object, int32_t x,
                                 int32_t y) {
  Drawing drawing(graphics);
  if (!drawing || !object) return;
  if (!ObjectIsADefinition(object, GetObject2DDefinition())) {
    ReportCallerFault(__LINE__, "ObjectIsADefinition(object, GetObject2DDefinition())");
    return;
  }
  drawing.Plotter().DrawObjectAt(object, x, y);
}

// ---- Text ----------------------------------------------------------------------------

void RuntimeGraphicsDrawString(RuntimeObject* graphics, StringRecord* text, int32_t x, int32_t y,
                               int32_t width) {
  Drawing drawing(graphics);
  if (!drawing || !text) return;
  const int64_t left = drawing.X(x), baseline = drawing.Y(y);
  const int64_t top = baseline - drawing->TextAscent();
  if (width == 0) {
    drawing->DrawTextBox(text, SaturatedRect16(top, left, baseline, kUnwrappedRight),
                         kAlignLeftUnwrapped);
  } else {
    drawing->DrawTextBox(text, SaturatedRect16(top, left, kBoxBottom, left + width), kAlignLeft);
  }
}

int32_t RuntimeGraphicsStringWidth(RuntimeObject* graphics, StringRecord* text) {
  Drawing drawing(graphics);
  return drawing && text ? drawing->StringWidth(text) : 0;
}

int32_t RuntimeGraphicsStringHeight(RuntimeObject* graphics, StringRecord* text,
                                    int32_t wrapWidth) {
  Drawing drawing(graphics);
  return drawing && text ? drawing->TextBoxHeight(text, wrapWidth) : 0;
}

int32_t RuntimeGraphicsTextHeight(RuntimeObject* graphics) {
  Drawing drawing(graphics);
  return drawing ? drawing->TextHeight() : 0;
}

int32_t RuntimeGraphicsTextAscent(RuntimeObject* graphics) {
  Drawing drawing(graphics);
  return drawing ? drawing->TextAscent() : 0;
}

void RuntimeGraphicsNextPage(RuntimeObject* graphics) {
  Drawing drawing(graphics);
  if (drawing) drawing.target()->EraseBackground();
}

// ---- Pixels ----------------------------------------------------------------------------

uint32_t graphicsPixelGetter(RuntimeObject* graphics, int32_t x, int32_t y) {
  Drawing drawing(graphics);
  RGBColor16 color{};
  if (!drawing || !drawing->GetPixel(drawing.X(x), drawing.Y(y), &color)) return 0;
  return ColorValue(color);
}

void graphicsPixelSetter(RuntimeObject* graphics, int32_t x, int32_t y, uint32_t color) {
  Drawing drawing(graphics);
  if (drawing) drawing->SetPixel(drawing.X(x), drawing.Y(y), RGBColorFromValue(color));
}

// ---- Properties --------------------------------------------------------------------------

uint32_t graphicsForeColorGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port ? ColorValue(port->ForeColor()) : 0;
}

void graphicsForeColorSetter(RuntimeObject* graphics, uint32_t, uint32_t color) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetForeColor(RGBColorFromValue(color));
}

int32_t graphicsWidthGetter(RuntimeObject* graphics, uint32_t) {
  Drawing drawing(graphics);
  return drawing ? drawing.target()->Width() : 0;
}

int32_t graphicsHeightGetter(RuntimeObject* graphics, uint32_t) {
  Drawing drawing(graphics);
  return drawing ? drawing.target()->Height() : 0;
}

StringRecord* graphicsTextFontGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port ? StringAddRef(port->TextFont()) : nullptr;
}

void graphicsTextFontSetter(RuntimeObject* graphics, uint32_t, StringRecord* name) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetTextFont(name);
}

int32_t graphicsTextSizeGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port ? port->TextSize() : 0;
}

void graphicsTextSizeSetter(RuntimeObject* graphics, uint32_t, int32_t size) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetTextSize(size);
}

bool graphicsStyleBitGetter(RuntimeObject* graphics, uint32_t bit) {
  GraphicsPort* port = PortOf(graphics);
  return port && (port->TextStyle() & bit) != 0;
}

void graphicsStyleBitSetter(RuntimeObject* graphics, uint32_t bit, uint8_t on) {
  GraphicsPort* port = PortOf(graphics);
  if (!port) return;
  const uint32_t style = port->TextStyle();
  port->SetTextStyle(on != 0 ? style | bit : style & ~bit);
}

int32_t graphicsPenWidthGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port ? port->PenWidth() : 0;
}

void graphicsPenWidthSetter(RuntimeObject* graphics, uint32_t, int32_t width) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetPenSize(width, port->PenHeight());
}

int32_t graphicsPenHeightGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port ? port->PenHeight() : 0;
}

void graphicsPenHeightSetter(RuntimeObject* graphics, uint32_t, int32_t height) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetPenSize(port->PenWidth(), height);
}

// Printing turns the port's new-renderer flag on; there is no other renderer
// to switch to, so any assignment turns it off.
bool graphicsUseOldRendererGetter(RuntimeObject* graphics, uint32_t) {
  GraphicsPort* port = PortOf(graphics);
  return port && !port->NewRenderer();
}

void graphicsUseOldRendererSetter(RuntimeObject* graphics, uint32_t, uint8_t) {
  if (GraphicsPort* port = PortOf(graphics)) port->SetNewRenderer(false);
}

}  // extern "C"
