// Mouse cursors: the language's cursor objects and the choice of the cursor
// shown over a pane.
//
// A cursor object is a reference-counted run-time object holding an HCURSOR
// and whether it owns it (system cursors and the executable's cursor
// resources are shared and never destroyed).
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/ObjectDefinition.h"

class SubPane;

struct CursorFields {
  RuntimeObject header;
  HCURSOR handle;
  uint8_t owned;
};

enum StandardCursor : int32_t {
  kCursorArrow = 0,
  kCursorIBeam = 1,
  kCursorCross = 2,
  kCursorWatch = 3,
};

// "MouseCursor".
ObjectDefinition* GetMouseCursorClassDefinition();
void RegisterCursorClass();

extern "C" {
// A new cursor object (the caller's) of a system cursor; nil for an unknown
// one.
RuntimeObject* NewStandardCursor(int32_t which);
// A new cursor object of the executable's cursor resource; nil when there is
// none of that id.
RuntimeObject* NewCursorFromResource(int32_t id);
// Makes the cursor current; nothing for nil.
void SetNativeCursor(RuntimeObject* cursor);
}
// Null for nil and for an object that is no cursor.
HCURSOR CursorHandle(RuntimeObject* cursor);

// The application's cursor, shown over every pane while it is set (the
// window system keeps a reference); nil for none.
void SetApplicationCursor(RuntimeObject* cursor);
RuntimeObject* ApplicationCursor();

// Sets the cursor for a point (top-window coordinates) of the pane: the
// application's cursor, else the pane's (AdjustCursor), else the system
// cursor defaultCursor (an IDC_ value). TRUE when it set one, the answer for
// WM_SETCURSOR; FALSE when none applied (defaultCursor null), so that the
// window's own cursor shows.
BOOL SetCursorForPanePoint(SubPane* pane, POINT point, LPCWSTR defaultCursor);
