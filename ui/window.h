// The language's Window class: its definition and the entry points of its
// properties and methods. The native side is RuntimeWindow.
//
// Properties: Title, Left, Top, Width, Height, Visible, HasBackColor,
// BackColor, Frame (0 document, 1 modal; read when the window opens) and
// Handle (read-only). Methods: Show, ShowModal, Close. Events: Open, Close,
// Activate, Deactivate, Resized, KeyDown (Key As String, returns Boolean)
// and EnableMenuItems.
//
// Left and Top are the outer top-left (on the screen, or in the MDI client);
// Width and Height the client area. While the window is open the getters
// read the window itself and the setters move it.
#pragma once
#include <cstdint>

#include "core/ObjectDefinition.h"

struct StringRecord;

ObjectDefinition* GetWindowClassDefinition();
void RegisterWindowClass();

extern "C" {
StringRecord* windowTitleGetter(RuntimeObject* window, uint32_t parameter);
void windowTitleSetter(RuntimeObject* window, uint32_t parameter, StringRecord* title);
// parameter: 0 Left, 1 Top, 2 Width, 3 Height.
int32_t windowBoundsGetter(RuntimeObject* window, uint32_t parameter);
void windowBoundsSetter(RuntimeObject* window, uint32_t parameter, int32_t value);
void windowVisibleSetter(RuntimeObject* window, uint32_t parameter, bool visible);
void windowHasBackColorSetter(RuntimeObject* window, uint32_t parameter, bool hasBackColor);
void windowBackColorSetter(RuntimeObject* window, uint32_t parameter, uint32_t color);
int32_t windowHandleGetter(RuntimeObject* window, uint32_t parameter);
void windowShow(RuntimeObject* window);
void windowShowModal(RuntimeObject* window);
void windowClose(RuntimeObject* window);
}
