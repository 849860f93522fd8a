// The Application class, the entries the compiled code calls to start
// (RuntimeInit, RuntimeRegisterAppObject), ApplicationQuit, the MDI frame and
// the application's data sources.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;

// The language's Application class: events Open.
ObjectDefinition* GetApplicationClassDefinition();
void RegisterApplicationClass();

extern "C" {
// When the image has a caption, makes the visible MDI frame of 640 x 480 with
// it, through the MakeFrame slot or, while that is empty, the host's own
// "KVMDIFrame" class. Nothing when a frame exists already.
void RuntimeInit();
// Keeps one reference to the application object (until the end sequence)
// and fires its Open event with it. An exception left pending by Open goes
// to the handler, so ApplicationQuit in Open ends the application before
// the loop turns.
void RuntimeRegisterAppObject(RuntimeObject* app);
// Raises EndException: the application ends when it reaches the handler.
void ApplicationQuit();
// Whether a key event is the platform's cancel keystroke: never here.
bool IsCancelKeystroke(uint32_t character, uint32_t key, uint32_t modifiers);
}

RuntimeObject* RuntimeAppObject();  // borrowed; nil before registration
void ReleaseAppObject();

// From the host's record of the frame and its client, whoever made them.
bool IsMDIMode();
HWND GetMDIFrameWindow();
HWND GetMDIClientWindow();
// Destroys the frame (when it is still a window) and forgets it.
void DestroyMDIFrame();
// Registers "KVMDIFrame", the frame class the host uses while the MakeFrame
// slot is empty. WM_CLOSE on it sets the quit flag; it is destroyed by the
// exit steps.
bool RegisterHostFrameClass(HINSTANCE instance);

// Data sources: open functions that the application registers by name and
// database code calls through InvokeDataSource. `open` gives a Database
// object (the caller's reference) or nil.
typedef RuntimeObject* (*DataSourceOpen)(int32_t word1, int32_t word2);
extern "C" {
void RuntimeRegisterDataSource(const char* name, DataSourceOpen open);
// Calls the newest registration whose name matches (ASCII case ignored);
// nil when none does.
RuntimeObject* InvokeDataSource(const char* name, int32_t word1, int32_t word2);
}
