// The language class "Graphics": what the application draws with (the
// argument of a Paint event, a picture's Graphics, an opened printer). Its
// entry points are thin layers over the object's GraphicsPort: they turn the
// language's integer coordinates, relative to the drawn-into pane, into the
// port's 16-bit rectangles in the target's coordinates (x + width and
// y + height are computed in 32 bits and saturated to the 16-bit range).
//
// Ownership: a Graphics object owns its port; its destructor deletes it. A
// port whose target has gone (picture released, pane destroyed) draws
// nothing, and the measuring entry points then answer 0.
//
// Errors: a nil Graphics leaves NilObjectException pending and the entry
// point does nothing (answering 0, nil or False); an object of another class
// (only C++ code can pass one) is reported through AssertionFailed and
// ignored. A nil string, picture or array argument draws nothing and
// measures 0. Every entry point returns normally.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

class GraphicsPort;
struct ObjectDefinition;
struct RuntimeArray;
struct StringRecord;

struct GraphicsObject {
  RuntimeObject header;
  GraphicsPort* port;
  int32_t copies;     // printer graphics only
  int32_t firstPage;  // printer graphics only
  int32_t lastPage;   // printer graphics only
};
static_assert(!kLayoutIs32Bit || offsetof(GraphicsObject, port) == 24, "Graphics layout");
static_assert(!kLayoutIs32Bit || offsetof(GraphicsObject, copies) == 28, "Graphics layout");
static_assert(!kLayoutIs32Bit || offsetof(GraphicsObject, firstPage) == 32, "Graphics layout");
static_assert(!kLayoutIs32Bit || offsetof(GraphicsObject, lastPage) == 36, "Graphics layout");

// Registers "Graphics" (start-up list); the image parameter of DrawPicture
// is typed with the Picture class here, once both definitions exist.
void RegisterGraphicsClass();
ObjectDefinition* GraphicsClassDefinition();

// A new Graphics object (one reference, the caller's) that takes over the
// port; nil, with the port deleted, when the object cannot be made.
GraphicsObject* WrapGraphicsPort(GraphicsPort* port);

// The value that DrawPicture's optional sizes carry when the application
// leaves them out: take the size from the picture.
constexpr int32_t kDrawPictureDefaultSize = -10000;

extern "C" {

// The left and top of the port's target pane in its window (0, 0 for a
// picture's Graphics and for one whose target has gone).
void GraphicsPaneTopLeft(RuntimeObject* graphics, int32_t* x, int32_t* y);

// ---- Shapes and lines (x, y relative to the pane) ----
void RuntimeGraphicsClearRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                              int32_t height);
void RuntimeGraphicsDrawRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height);
void RuntimeGraphicsFillRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height);
void RuntimeGraphicsDrawOval(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height);
void RuntimeGraphicsFillOval(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                             int32_t height);
void RuntimeGraphicsDrawRoundRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                                  int32_t height, int32_t arcWidth, int32_t arcHeight);
void RuntimeGraphicsFillRoundRect(RuntimeObject* graphics, int32_t x, int32_t y, int32_t width,
                                  int32_t height, int32_t arcWidth, int32_t arcHeight);
// Always drawn left to right; a 1 x 1 pen also sets the end pixel, so both
// end points are drawn.
void RuntimeGraphicsDrawLine(RuntimeObject* graphics, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2);
// Points are the element pairs (1, 2), (3, 4) ...; nothing unless the upper
// bound is above 0.
void graphicsDrawPolygon(RuntimeObject* graphics, RuntimeArray* points);
void graphicsFillPolygon(RuntimeObject* graphics, RuntimeArray* points);
void graphicsDrawStopIcon(RuntimeObject* graphics, int32_t x, int32_t y);
void graphicsDrawNoteIcon(RuntimeObject* graphics, int32_t x, int32_t y);
void graphicsDrawCautionIcon(RuntimeObject* graphics, int32_t x, int32_t y);

// The picture's source rectangle (sx, sy, w2, h2) into the destination
// (x, y, w1, h1). Sizes left at kDrawPictureDefaultSize default to the
// picture's size (w1, h1) and to the destination's (w2, h2). The source is
// clipped to the picture, the destination shrinking with it; nothing is
// drawn unless all four sizes stay at least 1, so a rectangle is never
// mirrored and never read outside the picture. A picture whose Transparent
// is not 0 leaves its white out; a picture with a mask blends through it.
// A picture's Objects are drawn after its image, clipped to the destination
// (x, y, w1, h1; w1 and h1 default to the picture's size) and unscaled, with
// the picture's point (sx, sy) at (x, y).
void RuntimeGraphicsDrawPicture(RuntimeObject* graphics, RuntimeObject* image, int32_t x, int32_t y,
                                int32_t w1, int32_t h1, int32_t sx, int32_t sy, int32_t w2,
                                int32_t h2);

// ---- Shapes ----
// The Object2D shape (a group with its members) drawn into the pane, moved by
// (x, y) without changing the shape; the Graphics' colour, pen and text are
// as before afterwards. Nil draws nothing.
void RuntimeGraphicsDrawObject(RuntimeObject* graphics, RuntimeObject* object);
void RuntimeGraphicsDrawObjectXY(RuntimeObject* graphics, RuntimeObject* object, int32_t x,
                                 int32_t y);
// ---- Text ----
// y is the baseline of the first line. Without a width (0) the text breaks
// only at line ends (and at 30000); with one it also wraps at the width.
void RuntimeGraphicsDrawString(RuntimeObject* graphics, StringRecord* text, int32_t x, int32_t y,
                               int32_t width);
int32_t RuntimeGraphicsStringWidth(RuntimeObject* graphics, StringRecord* text);
int32_t RuntimeGraphicsStringHeight(RuntimeObject* graphics, StringRecord* text, int32_t wrapWidth);
int32_t RuntimeGraphicsTextHeight(RuntimeObject* graphics);
int32_t RuntimeGraphicsTextAscent(RuntimeObject* graphics);

// The target pane's background operation: a page advance for the printer,
// an erase for any other pane.
void RuntimeGraphicsNextPage(RuntimeObject* graphics);

// ---- Pixels (colours 0xRRGGBB) ----
uint32_t graphicsPixelGetter(RuntimeObject* graphics, int32_t x, int32_t y);
void graphicsPixelSetter(RuntimeObject* graphics, int32_t x, int32_t y, uint32_t color);

// ---- Property accessors (the parameter word is ignored unless noted) ----
uint32_t graphicsForeColorGetter(RuntimeObject* graphics, uint32_t parameter);
void graphicsForeColorSetter(RuntimeObject* graphics, uint32_t parameter, uint32_t color);
int32_t graphicsWidthGetter(RuntimeObject* graphics, uint32_t parameter);
int32_t graphicsHeightGetter(RuntimeObject* graphics, uint32_t parameter);
StringRecord* graphicsTextFontGetter(RuntimeObject* graphics, uint32_t parameter);  // new reference
void graphicsTextFontSetter(RuntimeObject* graphics, uint32_t parameter, StringRecord* name);
int32_t graphicsTextSizeGetter(RuntimeObject* graphics, uint32_t parameter);
void graphicsTextSizeSetter(RuntimeObject* graphics, uint32_t parameter, int32_t size);
// Bold, Italic and Underline: the parameter is the style bit (1, 2, 4).
// Booleans arrive from compiled code as any byte; every byte but 0 is True.
bool graphicsStyleBitGetter(RuntimeObject* graphics, uint32_t bit);
void graphicsStyleBitSetter(RuntimeObject* graphics, uint32_t bit, uint8_t on);
int32_t graphicsPenWidthGetter(RuntimeObject* graphics, uint32_t parameter);
void graphicsPenWidthSetter(RuntimeObject* graphics, uint32_t parameter, int32_t width);
int32_t graphicsPenHeightGetter(RuntimeObject* graphics, uint32_t parameter);
void graphicsPenHeightSetter(RuntimeObject* graphics, uint32_t parameter, int32_t height);
// The inverse of the port's new-renderer flag: False on a printer's Graphics
// until anything is assigned, True everywhere else.
bool graphicsUseOldRendererGetter(RuntimeObject* graphics, uint32_t parameter);
void graphicsUseOldRendererSetter(RuntimeObject* graphics, uint32_t parameter, uint8_t value);

}  // extern "C"
