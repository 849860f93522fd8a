// The root pane: a rectangle that can be drawn into, with the text font a
// drawing port starts from, its lock count, and the device-context and
// drawing operations every pane answers. Sub-panes (panes with a native
// window, SubPane.h), a picture's drawing port and the printer's page derive
// from it.
//
// Lifetime: a pane is made with new and disposed of only by Unlock. Its lock
// count starts at 0; Lock adds one, Unlock takes one away and, when the count
// falls below zero, deletes the pane and answers true. The destructor is not
// public. Panes live in the run-time's allocator (RuntimeAlloc), whose guard
// word catches a pane freed twice.
//
// Drawing focus: at most one pane is the current drawing pane, the one the
// current drawing port draws into. The graphics port itself belongs to the
// drawing layer, which fills the graphics hooks below; until it does, panes
// get no port and paint nothing.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/utility.h"

class GraphicsPort;
class SubPane;
struct StringRecord;

class Pane {
 public:
  // Bounds {top, left, bottom, right} in the coordinates of the pane's top
  // window's client area.
  explicit Pane(const MacRect& bounds);
  Pane(const Pane&) = delete;
  Pane& operator=(const Pane&) = delete;

  static void* operator new(size_t size);
  static void operator delete(void* block);

  void Lock();
  // True when this call disposed of the pane (nothing may touch it then).
  bool Unlock();
  int32_t LockCount() const { return lockCount_; }

  const MacRect& Bounds() const { return bounds_; }
  int16_t Top() const { return bounds_.top; }
  int16_t Left() const { return bounds_.left; }
  int32_t Width() const { return int32_t(bounds_.right) - bounds_.left; }
  int32_t Height() const { return int32_t(bounds_.bottom) - bounds_.top; }
  // The DC the pane holds while it paints; null otherwise.
  HDC PaintDC() const { return paintDC_; }

  // The text font a new drawing port starts from: name (borrowed; nil is the
  // default font), size, and style bits (bold 1, italic 2, underline 4).
  StringRecord* TextFontName() const { return textFontName_; }
  void SetTextFontName(StringRecord* name);
  int16_t TextSize() const { return textSize_; }
  virtual void SetTextSize(int16_t size);
  uint8_t TextStyleBits() const { return textStyleBits_; }
  void SetTextStyleBits(uint8_t bits) { textStyleBits_ = bits; }

  // True for panes drawn in a window; false for off-screen ones.
  virtual bool HasNativeWindow() const;
  // Called when the pane becomes the current drawing pane (BeginDrawing,
  // then AfterBeginDrawing) and when it stops being it (EndDrawing).
  virtual void BeginDrawing();
  virtual void AfterBeginDrawing();
  virtual void EndDrawing();
  // Fills the pane with its background (a page advance for the printer).
  virtual void EraseBackground();
  // Marks the pane, or a rectangle of it, as needing no repaint.
  virtual void Validate();
  virtual void ValidateRect(const MacRect& rect);
  // A DC to draw into, with window coordinates equal to the top window's
  // client coordinates, and the token that ReleaseDC takes back. Null when
  // the pane has nothing to draw into.
  virtual HDC AcquireDC(uint32_t* releaseToken);
  virtual void ReleaseDC(uint32_t releaseToken);

  // Panes alive now (for leak checks).
  static int32_t LiveCount();

 protected:
  virtual ~Pane();

  // WM_PAINT hands the pane its paint DC for the length of the paint.
  friend void PaintPaneWindow(SubPane* pane, HWND window);

  MacRect bounds_;
  HDC paintDC_ = nullptr;

 private:
  int32_t lockCount_ = 0;
  StringRecord* textFontName_ = nullptr;  // owned reference
  int16_t textSize_;
  uint8_t textStyleBits_ = 0;
};

// Makes the pane the current drawing pane: the old one gets EndDrawing, the
// new one BeginDrawing and then AfterBeginDrawing. Nothing when it already
// is current. Nil ends drawing on the current one.
void MakeCurrentDrawingPane(Pane* pane);
// Unfocuses the current graphics port (through the hook) and ends drawing on
// the current drawing pane, leaving neither current.
void ReleaseCurrentDrawingPane();
Pane* CurrentDrawingPane();

// The drawing layer's hooks: making a port for a pane (the port starts from
// the pane's text font), deleting one, and unfocusing the current port.
struct PaneGraphicsHooks {
  GraphicsPort* (*newPort)(Pane* pane) = nullptr;
  void (*deletePort)(GraphicsPort* port) = nullptr;
  void (*unfocusCurrentPort)() = nullptr;
  // A dying pane: its ports give back their DC and lose their target.
  void (*forgetPane)(Pane* pane) = nullptr;
};
// Installs the hooks and gives back the previous ones.
PaneGraphicsHooks SetPaneGraphicsHooks(const PaneGraphicsHooks& hooks);
// A new port for the pane (the caller's, deleted with PaneDeleteGraphicsPort);
// nil while no drawing layer is installed.
GraphicsPort* PaneNewGraphicsPort(Pane* pane);
void PaneDeleteGraphicsPort(GraphicsPort* port);
// Called by a dying pane while its DC operations still work.
void PaneForgetGraphicsPorts(Pane* pane);
