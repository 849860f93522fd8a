// The language's volumes and well-known folders: global functions giving a
// FolderItem for a drive, a special folder of the system, the Recycle Bin or
// the temporary folder, and the system highlight colour.
//
// Drives, special folders and the temporary folder come from the shell
// facade (ShellFacade.h). Each function gives a new FolderItem (the
// caller's) or nil when the system has no answer; nothing is raised and no
// error code kept.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/GraphicsPort.h"

struct RuntimeObject;

// A new FolderItem of a folder path, which may end in a backslash; "X:"
// names the drive's root.
RuntimeObject* NewFolderItemForPath(const std::string& path);
// The temporary folder as the system gives it (with its trailing
// backslash); empty when the system gives nothing.
std::string TemporaryFolderText();
// A new empty file of a unique name ("kvt...") in the temporary folder;
// empty when none can be made.
std::string NewTemporaryFilePath();

// Start-up: puts the global functions below and GetHighlightRGBColor in the
// entry-point table. A second call does nothing.
void RegisterSpecialFolderFunctions();

extern "C" {
// The drives present.
int32_t getVolumeCount();
// The root of the drive at the index (from 0): C: onward first, then A: and
// B:; nil past the last.
RuntimeObject* getVolume(int32_t index);
RuntimeObject* getAppleMenuFolder();       // the Start menu's programs
RuntimeObject* getControlPanelsFolder();   // nil: it has no path
RuntimeObject* getDesktopFolder();
RuntimeObject* getStartupItemsFolder();
RuntimeObject* getFontsFolder();
RuntimeObject* GetDocumentsFolder();
// The application-data folder, or the Windows folder where there is none.
RuntimeObject* getPreferencesFolder();
RuntimeObject* getApplicationSupportFolder();  // as getPreferencesFolder
RuntimeObject* getSystemFolder();
RuntimeObject* getExtensionsFolder();  // as getSystemFolder
RuntimeObject* getShutdownItemsFolder();  // always nil
RuntimeObject* getTrashFolder();
RuntimeObject* getTemporaryItemsFolder();
// An item of NewTemporaryFilePath's file; it stays until the application
// deletes it.
RuntimeObject* getTemporaryFolderItem();
// The system highlight colour, each 8-bit channel times 257.
void GetHighlightRGBColor(RGBColor16* color);
}
