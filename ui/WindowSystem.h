// The window system's steps in the host's start-up list.
#pragma once
#include <windows.h>

// Step 8: the A line when KV_FORCE_ANSI forces it, the window classes, and
// the main loop's slots (due windows, capture, pointer, key pre-translation,
// deferred updates, focus idle, open windows, the MDI frame, closing the
// windows at the end).
void StartWindowSystem(HINSTANCE instance);
// Step 10: the system colour table.
void InitSystemColors();
// Step 11: the Control, RectControl, Window and MouseCursor classes.
void RegisterWindowSystemClasses();
// Step 12 is InitDefaultFont (FontCache.h).

// A system colour (COLOR_ index) as the table holds it; the table is read
// again when the system's colours change. 0 for an unknown index.
COLORREF SystemColor(int index);
