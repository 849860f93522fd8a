// The drawing port behind every Graphics object: a classic pen-and-port
// state (pen position and size, an 8x8 pen pattern, fore colour, text font,
// origin and clip) drawn with GDI into the DC of its target pane.
//
// Coordinates: every drawing operation takes target coordinates (the
// Graphics layer has already added the pane's top-left) and subtracts the
// origin before GDI sees them. Rectangles are {top, left, bottom, right}.
//
// Focus: at most one port in the process is current. Focusing a port makes
// its target the current drawing pane, takes the target's DC (the paint DC a
// painting pane holds, which the port only uses, or one from AcquireDC, which
// the port holds), and selects the port's font and clip into it; focusing
// another port first unfocuses this one, which puts the DC's own clip and the
// stock system font back and gives back a DC it holds. Every drawing and
// measuring operation focuses first.
//
// Ownership: ports are made with new (the run-time's allocator) by
// PaneNewGraphicsPort, a picture or the printer, and deleted by their maker.
// A pane that dies first leaves its ports without target: they then draw and
// measure nothing, and applying their font reports the assertion "mPane".
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/SmartRef.h"
#include "core/utility.h"
#include "graphics/GdiObjects.h"

class NativePicture;
class Pane;
struct FontDescriptor;
struct RuntimeArray;
struct StringRecord;

// A colour of three 16-bit channels.
struct RGBColor16 {
  uint16_t red, green, blue;
};
// A COLORREF from the high byte of each channel.
COLORREF RGBColorToColorRef(const RGBColor16& color);
// The channels of a language colour 0x00RRGGBB, each byte times 257.
RGBColor16 RGBColorFromValue(uint32_t rgb);

class GraphicsPort {
 public:
  explicit GraphicsPort(Pane* target);
  ~GraphicsPort();
  GraphicsPort(const GraphicsPort&) = delete;
  GraphicsPort& operator=(const GraphicsPort&) = delete;
  static void* operator new(size_t size);
  static void operator delete(void* block);

  // Nil once the target died.
  Pane* Target() const { return target_; }
  // The port deletes its target with itself (the printer's page).
  void SetOwnsTarget(bool owns) { ownsTarget_ = owns; }

  // ---- Focus and device context ----
  void Focus();
  // Focuses and gives the DC to draw into; null without target or DC.
  HDC GetDC();
  // Selects the port's font when it changed; reports "mPane" without target.
  void ApplyFont();
  static GraphicsPort* Current();
  // The ports that exist now.
  static int32_t LiveCount();
  // Unfocuses the current port (if any) and leaves none current.
  static void UnfocusCurrent();
  // Ports made over a dying pane: a current one is unfocused while the pane
  // still works, then all of them lose their target.
  static void ForgetPane(Pane* pane);
  // This port alone lets go of its target (unfocused first when current), as
  // a picture's Graphics does when the picture goes; it then draws nothing.
  void ClearTarget();

  // ---- State ----
  const RGBColor16& ForeColor() const { return foreColor_; }
  void SetForeColor(const RGBColor16& color) { foreColor_ = color; }
  StringRecord* TextFont() const { return textFont_.get(); }
  void SetTextFont(StringRecord* name);
  int32_t TextSize() const { return textSize_; }
  void SetTextSize(int32_t size);
  uint32_t TextStyle() const { return textStyle_; }
  void SetTextStyle(uint32_t style);
  void SetFont(const FontDescriptor& font);
  int32_t PenWidth() const { return penWidth_; }
  int32_t PenHeight() const { return penHeight_; }
  void SetPenSize(int32_t width, int32_t height);
  // Pen 1 x 1 and the pattern off; the pattern bytes stay.
  void PenNormal();
  // Kinds 1 (checkerboard), 2 (rows) and 3 (columns) turn the pattern on;
  // any other kind turns it off with all rows set.
  void SetPenPattern(uint8_t kind);
  bool PatternActive() const { return patternActive_; }
  const uint8_t* EffectivePattern() const { return effectivePattern_; }
  int32_t OriginX() const { return originX_; }
  int32_t OriginY() const { return originY_; }
  void SetOrigin(int32_t x, int32_t y);
  void SetPatternPhase(int32_t x, int32_t y);
  void MoveTo(int32_t x, int32_t y);
  int32_t PenX() const { return penX_; }
  int32_t PenY() const { return penY_; }
  // The clip in target coordinates, kept in the target's device coordinates.
  void SetClipRect(const MacRect& rect);
  // A copy of the region (device coordinates); nil removes the clip.
  void SetClipRegion(HRGN region);
  HRGN ClipRegion() const { return clip_.get(); }
  int32_t HorizontalResolution() const { return hResolution_; }
  int32_t VerticalResolution() const { return vResolution_; }
  // Also the resolution the text size is measured at, which is otherwise
  // the screen's: so 12 points are 12 points on a printed page.
  void SetResolution(int32_t horizontal, int32_t vertical);
  // The page margins at the port's resolution, which the printer sets.
  int32_t LeftMargin() const { return leftMargin_; }
  int32_t TopMargin() const { return topMargin_; }
  void SetMargins(int32_t left, int32_t top) { leftMargin_ = left, topMargin_ = top; }
  // The inverse of the Graphics object's UseOldRenderer; printing sets it.
  bool NewRenderer() const { return newRenderer_; }
  void SetNewRenderer(bool on) { newRenderer_ = on; }
  // Drawing reaches GDI at once here: there is nothing to flush.
  void Flush() {}

  // ---- Drawing ----
  void LineTo(int32_t x, int32_t y);
  void FrameRect(const MacRect& rect);
  void FillRect(const MacRect& rect);
  void PaintRect(const MacRect& rect) { FillRect(rect); }
  void EraseRect(const MacRect& rect);
  void FrameOval(const MacRect& rect);
  void FillOval(const MacRect& rect);
  void FrameRoundRect(const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight);
  void FillRoundRect(const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight);
  // Points are the element pairs (1, 2), (3, 4) ... in pane coordinates;
  // nothing without a complete pair.
  void Polygon(RuntimeArray* coordinates, bool fill);
  // Text with its baseline at y; the clip (device coordinates) is optional.
  void DrawStringAt(StringRecord* text, int32_t x, int32_t y, const MacRect* clip = nullptr);
  // Word-wrapped from the rect's left, top and right; alignment 1 centres,
  // 2 right-aligns. The mnemonic form underlines the character after "&".
  void DrawTextBox(StringRecord* text, const MacRect& rect, int32_t alignment);
  void DrawTextBoxMnemonic(StringRecord* text, const MacRect& rect, int32_t alignment);
  // One line shortened to the maximum width, the suffix drawn after a
  // shortened text.
  void DrawStringTruncated(StringRecord* text, int32_t x, int32_t y, int32_t maximumWidth,
                           StringRecord* suffix, const MacRect* clip = nullptr);
  // Kinds 0 hand, 1 asterisk, 2 exclamation; others draw nothing.
  void DrawStandardIcon(int32_t kind, int32_t x, int32_t y);
  bool GetPixel(int32_t x, int32_t y, RGBColor16* color);
  void SetPixel(int32_t x, int32_t y, const RGBColor16& color);
  // The source rectangle of a picture at (x, y), unscaled or scaled into
  // width x height; transparent leaves the picture's white out.
  void DrawPicture(int32_t x, int32_t y, NativePicture* picture, int32_t sourceLeft,
                   int32_t sourceTop, int32_t width, int32_t height, bool transparent);
  void DrawPictureScaled(int32_t x, int32_t y, int32_t width, int32_t height, NativePicture* picture,
                         int32_t sourceLeft, int32_t sourceTop, int32_t sourceWidth,
                         int32_t sourceHeight, bool transparent);

  // ---- Measuring ----
  int32_t StringWidth(StringRecord* text);
  int32_t TextBoxHeight(StringRecord* text, int32_t width);
  int32_t TextAscent();
  int32_t TextLeading();
  int32_t TextHeight();

 private:
  HDC EnsureDC();
  void Unfocus();
  void ApplyClip();
  void RebuildPattern();
  // The shape's rectangle less the origin, as GDI takes it.
  RECT DeviceRect(const MacRect& rect, bool normalise) const;
  void FillWithPattern(HDC dc, const RECT& area);
  void DrawOutline(int kind, const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight);
  void DrawFilled(int kind, const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight);
  void DrawBox(StringRecord* text, const MacRect& rect, int32_t alignment, UINT format);
  int32_t DrawTextCall(HDC dc, StringRecord* text, RECT* area, UINT format);
  const TEXTMETRICA* Metrics();
  // Solid pens and a brush of the fore colour, kept while the port is
  // focused (and left selected in its DC between calls) and deleted when it
  // unfocuses, so that runs of drawing calls make no GDI object per call and
  // select nothing again. The two most recent pens are kept (a fill and its
  // outline alternate).
  struct KeptSelection {
    HDC dc = nullptr;            // where ours is selected
    HGDIOBJ original = nullptr;  // the DC's own, put back at the end
    HGDIOBJ selected = nullptr;  // ours, selected now
  };
  HPEN SolidPen(int32_t width);
  HBRUSH SolidBrush();
  void KeepSelected(HDC dc, KeptSelection* kept, HGDIOBJ object);
  void PutBack(KeptSelection* kept);
  void DropKeptObjects();

  Pane* target_;
  bool ownsTarget_ = false;
  HDC dc_ = nullptr;
  bool dcHeld_ = false;
  uint32_t releaseToken_ = 0;
  HFONT font_ = nullptr;
  bool fontCurrent_ = false;
  bool metricsValid_ = false;
  TEXTMETRICA metrics_{};
  int32_t vResolution_ = 72;
  int32_t hResolution_ = 72;
  int32_t textResolution_ = 0;  // 0: the screen's
  int32_t leftMargin_ = 0;
  int32_t topMargin_ = 0;
  bool newRenderer_ = false;
  StringRef textFont_;
  int32_t textSize_ = 12;
  uint32_t textStyle_ = 0;
  int32_t penWidth_ = 1;
  int32_t penHeight_ = 1;
  int32_t penX_ = 0;
  int32_t penY_ = 0;
  RGBColor16 foreColor_{0, 0, 0};
  bool patternActive_ = false;
  uint8_t effectivePattern_[8];
  uint8_t penPattern_[8];
  int32_t originX_ = 0;
  int32_t originY_ = 0;
  int32_t phaseX_ = 0;
  int32_t phaseY_ = 0;
  CountedRegion clip_;
  struct KeptPen {
    CountedPen pen;
    COLORREF colour = 0;
    int32_t width = 0;
  };
  KeptPen keptPens_[2];
  uint32_t nextKeptPen_ = 0;
  CountedBrush keptBrush_;
  COLORREF keptBrushColour_ = 0;
  KeptSelection penSelection_;
  KeptSelection brushSelection_;
  GraphicsPort* nextLive_ = nullptr;
};

// The saved drawing state the shape plotter puts back after a drawing.
struct GraphicsPortState {
  GraphicsPort* port;
  bool saved;
  RGBColor16 foreColor;
  StringRef textFont;
  int32_t textSize;
  uint32_t textStyle;
  int32_t penWidth, penHeight;
  int32_t originX, originY;
};
void GraphicsPortStateSave(GraphicsPortState* state);
void GraphicsPortStateRestore(GraphicsPortState* state);

// A port's fore colour, put back when the scope ends.
class ForeColorScope {
 public:
  explicit ForeColorScope(GraphicsPort* port) : port_(port), saved_(port->ForeColor()) {}
  ~ForeColorScope() { port_->SetForeColor(saved_); }
  ForeColorScope(const ForeColorScope&) = delete;
  ForeColorScope& operator=(const ForeColorScope&) = delete;

 private:
  GraphicsPort* port_;
  RGBColor16 saved_;
};

// A port's clip, copied now and put back at Restore.
class ClipStateSaver {
 public:
  explicit ClipStateSaver(GraphicsPort* port);
  void Restore();

 private:
  GraphicsPort* port_;
  CountedRegion copy_;
};

// Fills the window system's graphics hooks: new ports for panes (with the
// pane's font), their deletion, unfocusing the current port and the ports of
// a dying pane.
void InstallGraphicsPortHooks();

extern "C" {
// Kept for compiled applications that call it; text drawing does not change.
void EnableCoreGraphicsTextOnOSX();
}
