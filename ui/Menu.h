// Menus: menu item objects, the installed menu bar and its native menus, the
// enabling pass, command dispatch through the focus chain, and menu
// shortcuts.
//
// A menu item is a reference-counted object of the "MenuItem" class with
// Name, Text ("&" marks the mnemonic), Enabled, AutoEnable, Checked and
// KeyboardShortcut ("Ctrl+C", "Ctrl+Shift+F5"), its children and a native
// command id (below 0xF000, where system commands start). Its one event is
// Action. A menu bar is an item whose children are the menus.
//
// One bar is installed at a time (the standard bar unless the application
// installs its own). Every document window shows it in its own native menu;
// in MDI mode the frame does. Native items follow Enabled and Checked.
//
// The enabling pass, on WM_INITMENU and before a menu shortcut runs: every
// item whose AutoEnable is false is disabled; EnableMenuItems runs on the
// focus pane (on the window pane when the focus is in no pane of the window);
// the window's EnableMenuItems event fires; the native states follow.
//
// A command (a menu WM_COMMAND, or a shortcut whose item is enabled after the
// pass) goes to HandleMenuItem of the focus pane (else the window pane); when
// no pane answers true, the item's Action event fires. The standard bar's
// FileQuit without an Action handler asks the application to quit.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/Layout.h"

struct ObjectDefinition;
struct RuntimeObject;
struct StringRecord;

// Step 8 (after the window system): the menu hooks of the window system and
// the frame maker. Step 11: the MenuItem class and the standard bar.
void StartMenus();
void RegisterMenuClasses();

ObjectDefinition* GetMenuItemClassDefinition();

// ---- Building bars (for C++ code standing in for compiled code) ----
// A new item (the caller's reference): enabled, AutoEnable off, unchecked.
// A shortcut may be nil.
RuntimeObject* NewMenuItem(const char* name, const char* text, const char* shortcut = nullptr);
// Appends a child; the parent keeps a reference. Nil either way is ignored.
void MenuItemAppend(RuntimeObject* parent, RuntimeObject* child);
// Installs a bar (nil: the standard one). Open windows show the new bar.
void InstallMenuBar(RuntimeObject* bar);
// The installed bar (borrowed).
RuntimeObject* InstalledMenuBar();
// A new standard bar (the caller's reference).
RuntimeObject* NewStandardMenuBar();
uint32_t MenuItemCommandId(RuntimeObject* item);
bool MenuItemEnabled(RuntimeObject* item);

extern "C" {
// The item of the installed bar with the name (case ignored), locked; nil
// when there is none. The same name gives the same object while the bar is
// installed.
RuntimeObject* RuntimeMenuReference(const StringRecord* name);
// Enables the item; native items follow. Nothing for nil.
void RuntimeEnableMenu(RuntimeObject* item);
}
RuntimeObject* RuntimeMenuReference(const char* name);
