// The run-time's window classes and procedures, the control subclass
// procedure, the routing every procedure shares, painting, and the MDI
// frame.
//
// "KVWindow" carries top windows (and the MDI frame), "KV_Pane" and
// "KV_CanvasPane" the panes the run-time draws itself; their procedures keep
// the window's pane in the window's 4 extra bytes (cleared at WM_NCDESTROY).
// Native controls are subclassed; their pane is found through the window
// property "KVInstance".
//
// Every message a procedure routes to a pane runs with the pane's owner chain
// locked. The shared routing first forwards a child control's notification
// (WM_COMMAND with a child, WM_NOTIFY, WM_DRAWITEM, WM_HSCROLL/WM_VSCROLL from
// a bar) to the child's pane, where it arrives, so it reaches that pane
// exactly once; menu commands (WM_COMMAND without a child) and WM_INITMENU go
// to the menu hook; then the message goes to the message operation of the
// pane owning the receiving window.
#pragma once
#include <windows.h>

#include <cstdint>

class SubPane;
class ControlPane;

extern const char kWindowClassName[];      // "KVWindow"
extern const char kPaneClassName[];        // "KV_Pane"
extern const char kCanvasPaneClassName[];  // "KV_CanvasPane"
extern const wchar_t kInstanceProperty[];  // "KVInstance"

// Registers the three classes (W on NT, else A); true when they exist.
bool RegisterWindowClasses(HINSTANCE instance);

// The pane of a window: its "KVInstance" tag, else the extra bytes of the
// run-time's own classes; nil for any other window.
SubPane* PaneOfWindow(HWND window);
// The pane tagged with "KVInstance"; nil when untagged.
SubPane* PaneOfControlWindow(HWND window);
// Whether the window is of one of the run-time's own classes.
bool IsRunTimePaneWindow(HWND window);
// Stops a dying pane's window from routing to it (clears the extra bytes of
// the run-time's own classes when they still name the pane).
void DetachPaneWindowMessages(HWND window, SubPane* pane);

// The control subclass procedure that ControlPane installs.
LRESULT CALLBACK ControlSubclassProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam);

// The run-time's default handling of a pane window's messages: mouse presses
// to the window pane, captured moves and releases, the cursor, painting,
// characters and keys, focus, wheel and control colours; everything else to
// the window's default procedure.
LRESULT PaneDefaultMessage(SubPane* pane, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam);
// WM_PAINT of a pane's window: the pane holds the paint DC (its window
// origin at the pane's top-left, so GDI takes top-window coordinates), becomes
// the current drawing pane, draws once into a new port (when the drawing
// layer gives one), and the port, the drawing focus and the DC are given back.
void PaintPaneWindow(SubPane* pane, HWND window);
// DefWindowProc, DefMDIChildProc or DefFrameProc as the window needs.
LRESULT DefaultWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Menu messages (WM_COMMAND without a child window, WM_INITMENU): the menu
// layer answers them. True (with the result) when it did.
using MenuMessageHook = bool (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT* result);
MenuMessageHook SetMenuMessageHook(MenuMessageHook hook);

// A solid brush of the colour, made once and kept for the run.
HBRUSH CachedSolidBrush(COLORREF color);

// A point of a mouse message to the window, in its top window's client
// coordinates (screen coordinates for the non-client messages).
POINT MessagePointInTopWindow(SubPane* pane, HWND window, UINT message, LPARAM lParam);
// The cursor's position in the client coordinates of the pane's top window.
POINT CursorPointInTopWindow(SubPane* pane);
// A press or double-click (client or non-client, left or right) that the
// pane's window received, given to the window pane's MouseDown or
// RightMouseDown at its point; true when a pane took it.
bool DeliverPressToWindowPane(SubPane* pane, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam);

// The host's MakeFrame slot: a visible "KVWindow" frame of 640 x 480 with the
// caption and an "MDICLIENT" child, deferring to DefFrameProc. Closing it asks
// the application to quit.
HWND MakeMDIFrame(const wchar_t* caption, HWND* client);
