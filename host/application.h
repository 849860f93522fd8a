// The Application class, the entries the compiled code calls to start
// (RuntimeInit, RuntimeRegisterAppObject), ApplicationQuit, the MDI frame and
// the application's data sources.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;

// The language's Application class: events Open, OpenDocument(Item As
// FolderItem) and NewDocument(); the read-only property ResourceFork.
ObjectDefinition* GetApplicationClassDefinition();
void RegisterApplicationClass();

// The class of the objects the ResourceFork property makes (and its type):
// the files subsystem's ResourceFork, given at start-up. Nil until then.
void SetApplicationResourceForkClass(ObjectDefinition* resourceFork);
// Slot: a new item (the caller's) for a document named on the command line,
// or nil for a name that gives none. The files subsystem fills it at
// start-up; the previous function is given back.
using DocumentItemHook = RuntimeObject* (*)(const std::wstring& name);
DocumentItemHook SetDocumentItemHook(DocumentItemHook hook);

extern "C" {
// When the image has a caption, makes the visible MDI frame of 640 x 480 with
// it, through the MakeFrame slot or, while that is empty, the host's own
// "KVMDIFrame" class. Nothing when a frame exists already.
void RuntimeInit();
// Keeps one reference to the application object (until the end sequence)
// and fires its Open event with it; then, with an OpenDocument handler, one
// OpenDocument for each document named on the command line (in order; a
// name that gives no item is skipped), else one NewDocument. After each
// event a pending exception goes to the handler, and once the application
// is ending (ApplicationQuit) no further event fires.
void RuntimeRegisterAppObject(RuntimeObject* app);
// A new ResourceFork (the caller's), every member of which answers empty.
RuntimeObject* appResourceForkGetter(RuntimeObject* app, uint32_t parameter);
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
