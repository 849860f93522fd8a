// The language's FolderItem: a file or folder, named through the one
// implementation (FolderItemImp) the object owns. Every member forwards to
// it and wraps the answer as a language value; the global functions
// GetFolderItem and GetTrueFolderItem and the plug-in entries make items of
// paths and save-info data.
//
// File-system failures are results (nil, false, 0), with the code in the
// implementation's error (LastErrorCode). A member called on an item without
// an implementation reports a failed assertion ("entry->mImp", source
// "runFolderItem") and does nothing; its getters give 0, false, "" or nil.
// NilObjectException is raised for a nil Source of the copy constructor, a
// nil destination of CopyFileTo and MoveFileTo, a nil picture of SaveAsJPEG,
// LastErrorCode set without an implementation and GetRelative on an item
// without one.
//
// Items obtained from another item (Parent, Item, Child, the special
// folders, GetRelative) are of that item's class, which may be a subclass;
// items made from paths are plain FolderItems.
#pragma once
#include "core/Layout.h"

#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "files/FolderItemImp.h"

struct ObjectDefinition;
struct StringRecord;

struct FolderItemObject {
  RuntimeObject header;
  FolderItemImp* mImp;  // owned; may be nil
};
static_assert(!kLayoutIs32Bit || offsetof(FolderItemObject, mImp) == 24,
              "the implementation follows the header");

ObjectDefinition* GetFolderItemClassDefinition();
// Start-up: registers "FolderItem", puts the global functions and entries
// below in the entry-point table, and fills the host's document-item slot.
void RegisterFolderItemClass();
// Start-up, after every class is registered: members whose type is a class
// of a later subsystem (Picture, Sound, Movie, EditField, VirtualVolume,
// MouseCursor) take it by name, here and in ResourceFork; a class not
// registered leaves its members untyped.
void TypeFileMembersOfLaterClasses();

// A new FolderItem (the caller's) owning the implementation; nil (the
// implementation destroyed) when there is none or no object can be made.
RuntimeObject* NewFolderItemWithImp(FolderItemImpPtr imp);
// The implementation of a FolderItem (borrowed), or nil for nil, an object
// of another class or an item without one.
FolderItemImp* FolderItemImpOf(RuntimeObject* item);
// The path of a FolderItem with an implementation (the caller's string), nil
// for anything else: what the database file, sounds and plug-ins name their
// file by. Nil too for an item that refuses its path (a listed name holding
// a separator), whose text would name another file.
StringRecord* FolderItemPathOf(RuntimeObject* item);
// The item's absolute path and its NUL into the buffer; false, with an empty
// buffer (when it has room for one byte), when there is no path or it does
// not fit.
bool FolderItemCopyAbsolutePathN(char* buffer, size_t size, RuntimeObject* item);

// The virtual volumes' half of CreateVirtualVolume, OpenAsVirtualVolume and
// the VirtualVolume property: each gets the item and gives a new
// VirtualVolume (the caller's) or nil. An empty slot gives nil.
struct VirtualVolumeSlots {
  RuntimeObject* (*create)(RuntimeObject* item) = nullptr;
  RuntimeObject* (*open)(RuntimeObject* item) = nullptr;
  RuntimeObject* (*volumeOf)(RuntimeObject* item) = nullptr;
};
void InstallVirtualVolumeSlots(const VirtualVolumeSlots& slots);

extern "C" {
// An item of a path (relative paths start at the executable's folder) or of
// save-info data; nil for a path the system would not take as written
// ("a<b.txt", "nul.txt", a NUL) or cannot look at. A path that names nothing
// yet gives an item whose Exists is false. GetFolderItem follows a shortcut
// to its target, GetTrueFolderItem keeps the shortcut.
RuntimeObject* RuntimeGetFolderItem(StringRecord* path);
RuntimeObject* RuntimeGetTrueFolderItem(StringRecord* path);
// The item's GetRelative: nil item as GetFolderItem.
RuntimeObject* FolderItemGetRelative(RuntimeObject* item, StringRecord* saveInfo);

// Plug-in entries. The path of an item ("" without an implementation).
StringRecord* TOVApathFromFolderItem(RuntimeObject* item);
// An item of a UTF-8 path (null: the empty path), aliases resolved; nil when
// the path is refused.
RuntimeObject* FolderItemFromPath(const char* path);
// The path and its NUL into a buffer the caller made large enough; false
// (and an empty buffer) without a path. Prefer FolderItemCopyAbsolutePathN.
bool FolderItemCopyAbsolutePath(char* buffer, RuntimeObject* item);
// The implementation's ImportPicture: a new Picture or nil.
RuntimeObject* FolderItemImportPicture(RuntimeObject* item);
}
