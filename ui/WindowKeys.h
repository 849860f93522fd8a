// Keys of windows: mnemonics and window shortcuts, the default and cancel
// buttons, the run-time's key characters, and the key pre-translation the
// main loop runs before a key message is translated and dispatched.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class SubPane;
class WindowPane;
struct StringRecord;

// Kinds of window shortcuts (the low word of the kind word): a control's
// native window (the target is its HWND), a tab of a tab pane (the tab's
// index in the high word), a label pane.
enum ShortcutKind : uint32_t {
  kShortcutControl = 1,
  kShortcutTab = 2,
  kShortcutLabel = 4,
};

// The character after the last single "&" of the caption ("&&" is a literal
// "&"), upper-cased, as a code point; 0 when there is none.
uint32_t CaptionMnemonicChar(const StringRecord* caption);

// Adds the shortcut {target, kind word, key text} at the head of the global
// list, replacing the entry of the same target and kind word. The text is
// normalised to "Alt+X" with X upper-case ("b" and "alt+b" give "Alt+B").
// The target is the control's HWND for kShortcutControl, the pane otherwise.
// An empty key is refused.
void RegisterWindowShortcut(const void* target, uint32_t kind, const StringRecord* keyText);
void RegisterWindowShortcut(const void* target, uint32_t kind, const std::string& keyText);
// Drops every entry of the target, or its entry of one kind word.
void RemoveWindowShortcuts(const void* target);
void RemoveWindowShortcut(const void* target, uint32_t kind);

struct WindowShortcut {
  const void* target;
  uint32_t kind;
  std::string key;
};
// The list, head first.
const std::vector<WindowShortcut>& WindowShortcuts();

// Chooses the window's default button (the focus pane when it is in the
// window and can be the default, else the first default candidate of the
// window's panes), remembers it and passes the choice to every pane of the
// window's tree. Gives the choice.
SubPane* WindowUpdateDefaultButton(SubPane* windowPane);
// The first cancel candidate of the window's panes.
SubPane* WindowCancelButton(SubPane* windowPane);

// The run-time's key character for a virtual key: Left 28, Right 29, Up 30,
// Down 31, Home 1, End 4, Page Up 11, Page Down 12, Delete 127, Backspace 8,
// Tab 9, Enter 13, Escape 27, Insert and Help 5, F1-F15 16, 0x97 (keypad
// Enter) 3, keypad digits and operators their ASCII characters; any other key
// the character VkKeyScanA gives it with or without Shift; 0 for none.
uint32_t VirtualKeyToKeyChar(uint32_t virtualKey, bool shift);
// Keys that make no character message of their own (arrows, Home, End, Page
// Up and Down, Delete, Insert, Help, F1-F15): panes get them as HandleKey.
bool IsNavigationKey(uint32_t virtualKey);

// Moves the focus among the window's controls that can take it, in control
// order, wrapping (forward: next; else previous). False when none can.
bool MoveFocusInWindow(WindowPane* windowPane, bool forward);

// The menu layer's shortcuts, tried after the window shortcuts; true when
// the key was used.
using MenuShortcutHook = bool (*)(MSG& message);
MenuShortcutHook SetMenuShortcutHook(MenuShortcutHook hook);

// The host's PreTranslate slot: for WM_KEYDOWN and WM_SYSKEYDOWN of a
// run-time window, window shortcuts (Alt from lParam bit 29), then menu
// shortcuts, then Tab, Shift+Tab and the arrows (focus; Tab is left to a
// focused pane whose GetAcceptTabs is true, the arrows to one whose
// ArrowKeysMoveFocus is false), Enter and Escape (default and cancel
// buttons, unless a list's cell editor has the focus), then TranslateMDISysAccel. True when the key was used (it is then
// not dispatched).
bool PreTranslateKeyMessage(MSG& message);
