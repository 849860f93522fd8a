// The input roles of panes: the keyboard-focus pane, the pane holding the
// mouse capture and the pane under the pointer, with the main loop's turn work
// that serves them, and the modifier word of mouse and key events.
#pragma once
#include <windows.h>

#include <cstdint>

class SubPane;

// The modifier word: Shift 0x200, Alt 0x800, Ctrl 0x1000.
enum KeyModifier : uint32_t {
  kModifierShift = 0x200,
  kModifierAlt = 0x800,
  kModifierControl = 0x1000,
};
// The modifiers held now.
uint32_t CurrentKeyModifiers();
// The modifiers of a client-area mouse message (its key-state word; Alt read
// from the keyboard).
uint32_t MouseMessageModifiers(WPARAM wParam);

// A right-button press delivered as a "MouseDown" (a contextual click): the
// scope sets the flag IsCMMClick reports, and puts back the previous state.
class ContextualClickScope {
 public:
  ContextualClickScope();
  ~ContextualClickScope();
  ContextualClickScope(const ContextualClickScope&) = delete;
  ContextualClickScope& operator=(const ContextualClickScope&) = delete;

 private:
  bool previous_;
};
extern "C" bool IsCMMClick();

// The keyboard-focus pane. Setting it stores the new pane, then calls the old
// pane's LoseFocus, then the new pane's TakeFocus; nothing when it is
// unchanged. A nested call for the stored pane does nothing; a nested call
// for another pane wins, and the outer call then skips TakeFocus. A closing
// pane cannot take the focus.
SubPane* GetFocusPane();
void SetFocusPane(SubPane* pane);

// The pane holding the mouse capture. Setting it captures the mouse for the
// pane's top window, so that moves and the release reach the pane as
// MouseDrag and MouseUp; nil (or a pane without a top window) releases it.
// When the system takes the capture away, the pane gets MouseUp at the last
// point it saw, so a gesture always ends. A closing pane cannot take it.
SubPane* GetMouseCapturePane();
void SetMouseCapturePane(SubPane* pane);

// The pane under the pointer (it has had MouseEnter and not MouseLeave).
SubPane* PaneUnderPointer();

// For the window procedures: a move or button release at a top window while a
// pane holds the capture goes to that pane (true: delivered); a release ends
// the capture after MouseUp.
bool RouteCapturedMouse(HWND topWindow, UINT message, WPARAM wParam, LPARAM lParam);
// WM_CAPTURECHANGED at a top window.
void CaptureChanged(HWND topWindow, HWND newCapture);

// The host's turn slots.
bool CaptureHeld();
void FocusIdle();
void TrackPointer(const MSG& message);

// A dying pane leaves the focus, the capture and the pointer.
void ForgetInputRoles(SubPane* pane);
