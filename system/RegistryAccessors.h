// The registry: the key object the run-time opens keys with, and the language
// class "RegistryItem" over it.
//
// A path names its root as its first component, in any case: one of
// "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
// "HKEY_CURRENT_CONFIG" or "HKEY_USERS", followed by "\" or the end. Paths are
// kept relative to the root, without empty components: a doubled or trailing
// "\" (in a path or a child's name) is dropped, so Path, Parent and Child
// name the key that was opened. Text is UTF-16 to the system on the NT line
// (read back as UTF-8) and the system encoding on the other line.
//
// Values read by type: REG_SZ as a String Variant (a terminating NUL dropped
// when there is one), a 4-byte REG_DWORD as an Integer Variant (-1 when the
// DWORD has another size), anything else, or nothing, as nil. Written by the
// Variant's type: Integer, Boolean (0 or 1) and Color as REG_DWORD; Double,
// Date and String as REG_SZ of the Variant's text; any other Variant writes
// nothing.
//
// Errors: a nil item leaves NilObjectException pending; a path without a
// root, a key neither creatable nor readable, a folder that cannot be made, a
// failed write and a value index that names no value raise
// RegistryAccessErrorException; an index outside 0 .. KeyCount - 1 raises
// OutOfBoundsException. Child, Item and Parent give nil for a key they cannot
// open; Delete fails silently. An item whose construction failed holds no key
// and behaves as a key that can be neither read nor written.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

// An open key, for the run-time's own use (the media layer reads a version
// value through it). Init before use; Destruct closes the handle (unless it
// is the predefined root itself) and releases both paths.
struct RegistryKey {
  HKEY handle;               // nil when none
  StringRecord* parentPath;  // owned: the path without its last component
  StringRecord* path;        // owned: relative to the root
  HKEY root;                 // the predefined key the path starts from
};

void RegistryKeyInit(RegistryKey* key);
// Opens the path (with its root name) into an initialised key: with creation
// allowed, created when missing (full access, else read); without, opened
// only when it exists (full access, else read), never created. Gives whether
// the key is open; a key already open is closed first.
bool RegistryKeyOpenPath(RegistryKey* key, const StringRecord* path, bool create);
// The named value when it is a 4-byte REG_DWORD, else -1.
int32_t RegistryKeyGetDWORD(const RegistryKey* key, const StringRecord* name);
void RegistryKeyDestruct(RegistryKey* key);

// Instance layout of RegistryItem.
struct RegistryItemObject {
  RuntimeObject header;
  RegistryKey* key;  // owned; nil when the item holds none
};

ObjectDefinition* GetRegistryItemClassDefinition();
// Start-up: registers "RegistryItem" by name and the application key's
// entry point.
void RegisterRegistryItemClass();

extern "C" {
void RegistryItemPathCtor(RuntimeObject* item, StringRecord* path);
// The item gets its own handle to the source's key.
void RegistryItemCopyCtor(RuntimeObject* item, RuntimeObject* source);

// Items made by these are new objects of the item's class (the caller's
// reference) with keys of their own.
RuntimeObject* RegistryItemAddFolder(RuntimeObject* item, StringRecord* name);
RuntimeObject* RegistryItemChild(RuntimeObject* item, StringRecord* name);
// The subkey at index in the key's enumeration (pairs with FolderCount).
RuntimeObject* RegistryItemItem(RuntimeObject* item, int32_t index);
// Nil for an item on a root itself.
RuntimeObject* RegistryParentGetter(RuntimeObject* item, uint32_t parameter);
// Deletes the value of that name; when there is none, the subkey of that
// name with everything under it. A name that names no subkey ("", "\")
// deletes the value only, never the item's own key.
void RegistryItemDelete(RuntimeObject* item, StringRecord* name);

// Values (Variants: the getters give the caller's reference; setters borrow).
RuntimeObject* RegistryItemValueGetter(RuntimeObject* item, StringRecord* name);
void RegistryItemValueSetter(RuntimeObject* item, StringRecord* name, RuntimeObject* value);
RuntimeObject* RegistryItemNumValueGetter(RuntimeObject* item, int32_t index);
void RegistryItemNumValueSetter(RuntimeObject* item, int32_t index, RuntimeObject* value);
RuntimeObject* RegistryItemDefaultValueGetter(RuntimeObject* item, uint32_t parameter);
void RegistryItemDefaultValueSetter(RuntimeObject* item, uint32_t parameter, RuntimeObject* value);
// The name of the value at index; "" when the index names none.
StringRecord* RegistryItemNameGetter(RuntimeObject* item, int32_t index);

// Counts of the key's values and subkeys; 0 when they cannot be read.
int32_t RegistryItemKeyCountGetter(RuntimeObject* item, uint32_t parameter);
int32_t RegistryItemFolderCountGetter(RuntimeObject* item, uint32_t parameter);
StringRecord* RegistryItemPathGetter(RuntimeObject* item, uint32_t parameter);

// A new item on HKEY_LOCAL_MACHINE\Software\Made With Varenquil\<module>,
// <module> being the running program's file name up to its first ".";
// created when missing.
RuntimeObject* RuntimeGetDefaultApplicationRegistryItem();
}
