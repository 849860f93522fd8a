// The Canvas control: a pane the application draws into itself. Its pane, a
// NativePane on a "KV_CanvasPane" window, holds the control and runs its
// events itself: each paint draws the Backdrop picture (at its own size, cut
// at the canvas's edges), then raises "Paint" with a fresh Graphics. It also
// takes keys ("KeyDown" with the key as a one-character string), the mouse
// (a right click is a "MouseDown" during which IsCMMClick is true), the focus
// and menu enabling, and scrolls its contents and its child controls.
//
// A canvas without a "Paint" handler has a transparent window, so what lies
// below shows around its Backdrop. Every handler runs with the pane's owner
// chain locked, so any of them may close the window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "ui/SubPane.h"
#include "ui/runctl.h"

class GraphicsPort;

// The canvas object; property records point at these fields.
struct CanvasFields {
  RuntimeControl control;
  RuntimeObject* backdrop;       // a Picture, locked
  RuntimeObject* graphics;       // the Graphics property's object, locked; nil until asked
  uint32_t backdropChangeCount;  // the Backdrop's change count as last drawn
  uint8_t acceptFocus;
  uint8_t acceptTabs;
  uint8_t useFocusRing;  // stored only
};
static_assert(!kLayoutIs32Bit || offsetof(CanvasFields, backdrop) == 64, "Backdrop at 64");
static_assert(!kLayoutIs32Bit || offsetof(CanvasFields, acceptFocus) == 76, "AcceptFocus at 76");
static_assert(!kLayoutIs32Bit || sizeof(CanvasFields) == 80, "a canvas is 80 bytes");

// "Canvas" (superclass RectControl), built on the first request.
ObjectDefinition* GetCanvasClassDefinition();
// Registers the class at start-up.
void InitCanvasClass();

// The canvas's pane. It holds the control (not counted) until it closes;
// closing also releases the control's cached Graphics, whose port then draws
// nothing.
class CanvasPane : public NativePane {
 public:
  // transparent: the window gets WS_EX_TRANSPARENT.
  CanvasPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, bool transparent);

  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }

  // Within the visible part of the pane: the background (opaque canvases
  // only), the Backdrop, then "Paint".
  void Draw(GraphicsPort* port) override;
  // The bounds grown by 3 on every side (room for a focus ring).
  bool AdjustRedrawRect(MacRect* rect) override;
  // After a resize the whole canvas is drawn again.
  void SetBounds(const MacRect& rect, bool redraw) override;
  // Every child pane moved by (dx, dy), and the child controls' bounds with
  // them, without redrawing.
  void MoveChildren(int32_t dx, int32_t dy);

  // Keys raise "KeyDown": navigation keys with their key character in the
  // system encoding, typed characters below 128 the same way, from 128 as
  // UTF-8. Navigation keys make no character message, so each press raises
  // it once. A Tab without AcceptTabs is not used (the window moves the
  // focus).
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  bool CharacterEntry(uint32_t codePoint, uint32_t modifiers) override;
  // The arrows stay with a focused canvas.
  bool ArrowKeysMoveFocus() override;
  bool GetAcceptTabs() override;

  // Enabled: a child control under the point first, then "MouseDown" at the
  // point relative to the canvas; true captures the mouse for the drag and
  // the release.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  // A child first; then the canvas's own press as a contextual click.
  bool RightMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;

  // AcceptFocus set, the pane enabled and shown.
  bool CanAcceptFocus() override;
  void TakeFocus() override;
  void LoseFocus() override;
  void EnableMenuItems() override;
  // Showing and hiding redraw the canvas's area.
  void BroadcastStateChange(int32_t code) override;
  void Close() override;

 protected:
  ~CanvasPane() override = default;

 private:
  bool OwnMouseDown(int32_t x, int32_t y);
  bool RunKeyDown(uint32_t key, uint32_t encoding);
  void RunHandler(const char* event);
  void DrawBackdrop(GraphicsPort* port);
  void RunPaint(GraphicsPort* painting);

  RuntimeObject* control_ = nullptr;
  bool transparent_;
};

extern "C" {
// The class's "CreatePane": a transparent pane when the control has no
// "Paint" handler, re-parented into the parent control's pane.
void CanvasCreatePane(RuntimeObject* control);
// Releases the cached Graphics and the Backdrop.
void CanvasDestruct(RuntimeObject* control);

// A nil canvas raises NilObjectException; another class's object is
// reported. Either does nothing.
//
// The Graphics drawing into the canvas (a new reference), clipped to its
// bounds; the same object on every call while the pane lives. Nil without a
// pane.
RuntimeObject* canvasGraphicsGetter(RuntimeObject* control, uint32_t index);
// Keeps the picture (nil: none) and redraws the canvas.
void canvasBackdropSetter(RuntimeObject* control, uint32_t index, RuntimeObject* picture);
// Scrolls the area (x, y, width, height), relative to the canvas, by
// (dx, dy); a width or height of -10000 means the canvas's own. With
// moveControls the child controls move by (dx, dy) too. (0, 0) does nothing.
void canvasScroll(RuntimeObject* control, int32_t dx, int32_t dy, int32_t x, int32_t y,
                  int32_t width, int32_t height, uint8_t moveControls);
}
