// The native control pane: a pane over a Win32 control window ("BUTTON",
// "RichEdit20W", "msctls_trackbar32" ...), subclassed so that its messages
// reach the pane (found through the window property "KVInstance"), and what
// the pane does not handle goes on to the control's own procedure.
//
// Presses and double-clicks on the control (client and non-client, left and
// right) are kept as "the last mouse-button message" and given to the window
// pane's MouseDown / RightMouseDown, which passes them down the pane tree;
// the control pane's own MouseDown hands the kept press to the control
// (ControlPaneForwardMouseDown) unless an override takes it. Releases and
// moves go straight on to the control, so a press the control never saw
// gives no click.
#pragma once
#include <windows.h>

#include <cstdint>

#include "ui/SubPane.h"

struct FontDescriptor;
struct StringRecord;

class ControlPane : public NativePane {
 public:
  // Creates the control window (caption as its text) as a child of the
  // parent's window, subclasses it and tags it with "KVInstance".
  ControlPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
              const StringRecord* caption, const char* windowClass, uint32_t style,
              uint32_t exStyle);
  // The same, then sets a font made from the descriptor (font cache).
  ControlPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
              const MacRect& bounds, const StringRecord* caption, const char* windowClass,
              uint32_t style, uint32_t exStyle);

  // The control's own procedure (null until subclassed).
  WNDPROC SavedProcedure() const { return savedProcedure_; }
  HFONT Font() const { return font_; }
  const NONCLIENTMETRICSA& NonClientMetrics() const { return metrics_; }

  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  bool RightMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void SetEnabled(bool enabled, bool redraw) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  // Restores the control's procedure, gives the font back and removes
  // "KVInstance"; then the native window goes with the pane.
  ~ControlPane() override;
  // The control window was destroyed under the pane.
  void ForgetWindow() override;

 private:
  friend void ControlPaneSubclass(ControlPane* pane);
  friend void ControlPaneSetFont(ControlPane* pane, const FontDescriptor& font);
  friend void ControlPaneLoadNonClientMetrics(ControlPane* pane);
  void Unsubclass();

  WNDPROC savedProcedure_ = nullptr;
  HFONT font_ = nullptr;  // from the font cache
  NONCLIENTMETRICSA metrics_{};
};

// Subclasses the pane's window, once per pane: saves the window's procedure
// and installs the control subclass procedure.
void ControlPaneSubclass(ControlPane* pane);
// The window text: W with UTF-16 on NT, else A in the system encoding.
void ControlPaneSetText(ControlPane* pane, const StringRecord* text);
// A new string: UTF-16 on NT, else tagged with the system encoding; empty
// without a window.
StringRecord* ControlPaneGetText(ControlPane* pane);
// Replaces the control's font (WM_SETFONT with redraw).
void ControlPaneSetFont(ControlPane* pane, const FontDescriptor& font);
// Stores the state, passes it to the children, then enables the window.
void ControlPaneSetEnabled(ControlPane* pane, bool enabled, bool redraw);
// When the pane is enabled and the last mouse-button message was its own,
// hands that message to the control's procedure; true when it did.
bool ControlPaneForwardMouseDown(ControlPane* pane, int32_t x, int32_t y, uint32_t modifiers);
// The default handling of the subclassed window's messages (see above):
// WM_SETCURSOR sets the cursor for the point (the control's own when neither
// the application nor a pane chose one), WM_SETFOCUS makes the pane the focus
// pane, presses go to the window pane, the rest to the control.
LRESULT ControlPaneHandleMessage(ControlPane* pane, UINT message, WPARAM wParam, LPARAM lParam);
// Fills the pane's non-client metrics.
void ControlPaneLoadNonClientMetrics(ControlPane* pane);
