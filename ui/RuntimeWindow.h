// Windows: the Window object's fields and native side, opening and closing,
// the controls of a window, the window list with its frontmost window,
// modal windows and MDI children, and the main loop's window slots.
//
// Opening makes the top window hidden with its window pane, raises
// "CreatePane" for every control (parents first: by parent depth, else in
// control order; each time with Window, parent pane and TabPanelIndex set),
// applies each control's Enabled and Visible to its pane, fires Open, and
// shows the window at the start of the next turn of the main loop (when it
// is Visible).
//
// Closing (nothing when it is closing already) fires Close, calls the
// window-close hook for each control, closes every pane, sets each
// control's pane, parent pane and Window to nil, unlocks the panes in
// reverse creation order (the window pane last), destroys the top window,
// leaves the window list and releases the controls. A closed window stays
// closed.
//
// While it is open, the window list holds a reference to the window object,
// and the window's control map one to each control.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"

class StringMap;
class SubPane;
class WindowPane;
struct StringRecord;
struct WindowState;

struct WindowFields {
  RuntimeObject header;
  WindowState* state;  // the native side (owned)
  StringRecord* title;  // owned
  int32_t left;         // outer top-left (screen, or the MDI client's)
  int32_t top;
  int32_t width;        // client area
  int32_t height;
  uint8_t visible;
  uint8_t hasBackColor;
  uint16_t reserved;
  uint32_t backColor;  // 0x00RRGGBB
  int32_t frame;       // kFrameDocument or kFrameModal
};
static_assert(!kLayoutIs32Bit || sizeof(WindowFields) == 60, "WindowFields is 60 bytes");

enum WindowFrame : int32_t { kFrameDocument = 0, kFrameModal = 1 };

inline WindowFields* WindowFieldsOf(RuntimeObject* window) {
  return reinterpret_cast<WindowFields*>(window);
}

// The Window object's initialiser and destructor (the class's).
void InitialiseWindowObject(RuntimeObject* window);
void DestroyWindowObject(RuntimeObject* window);

// Opens the window (see above); true when it is open afterwards.
bool WindowOpen(RuntimeObject* window);
void WindowClose(RuntimeObject* window);
bool WindowIsOpen(RuntimeObject* window);
// Opens when needed, then shows and activates the window now.
void WindowShow(RuntimeObject* window);
// Hides an open window.
void WindowHide(RuntimeObject* window);
// Shows the window and, with every other window disabled, runs turns of the
// main loop until it closes (or the application quits).
void WindowShowModal(RuntimeObject* window);
// Whether it is a modal window: frame modal, or running ShowModal.
bool WindowIsModal(RuntimeObject* window);

// Adds a control to the window (before or after opening; after, its panes
// are made at once). Its key in the control map is its Name, or Name and
// Index ("Name(2)") for a control-array member; a key already taken by
// another control is reported through AssertionFailed and the control is not
// added. The map keeps a reference to the control. A non-visual control (an
// object of another class that has a "CreatePane" answer) is held apart: it
// gets no pane and no key, and its window's close hook and release reach it.
void WindowAddControl(RuntimeObject* window, RuntimeObject* control);
// The controls in control order (borrowed), non-visual ones left out.
std::vector<RuntimeObject*> WindowControls(RuntimeObject* window);
// The control map (key -> control), walked with StringMapIterator.
const StringMap* WindowControlMap(RuntimeObject* window);
// The control with the key, borrowed; nil when none.
RuntimeObject* WindowFindControl(RuntimeObject* window, const std::string& key);

WindowPane* WindowPaneOf(RuntimeObject* window);  // nil unless open
HWND WindowHandle(RuntimeObject* window);         // nil unless open
// The window object of a pane's tree; nil when it has none.
RuntimeObject* WindowOfPane(SubPane* pane);

// The open windows, front first (borrowed).
const std::vector<RuntimeObject*>& WindowList();
RuntimeObject* FrontmostWindow();
HWND FrontmostWindowHandle();
// The owner window for system dialogs: the first visible modal window, else
// the MDI frame in MDI mode, else the frontmost visible document window;
// nil when there is none.
HWND GetDialogParentWindow();

// From the window pane: activation (moves the window to the front, fires
// Activate or Deactivate and, on activation, refocuses the window's focused
// control; true when it did), a new client size (fires Resized), and a key
// no pane used (fires KeyDown with the character; its answer).
bool WindowActivated(RuntimeObject* window, bool active);
void WindowResized(RuntimeObject* window);
bool WindowFireKeyDown(RuntimeObject* window, uint32_t codePoint);
// Fires the window's EnableMenuItems event (for the menu layer).
void WindowFireEnableMenuItems(RuntimeObject* window);

// Called for each control of a closing window, before its panes go.
using ControlWindowCloseHook = void (*)(RuntimeObject* control);
ControlWindowCloseHook SetControlWindowCloseHook(ControlWindowCloseHook hook);
// A new menu bar for a document window that is not an MDI child (the window
// owns it); nil for none.
using DocumentMenuBarHook = HMENU (*)();
DocumentMenuBarHook SetDocumentMenuBarHook(DocumentMenuBarHook hook);

// The host's slots.
int OpenWindowCount();
void ShowDueWindows();
void CloseAllWindows();
