// The file dialogs: the language classes "FolderItemDialog" and its
// subclasses "OpenDialog", "SaveAsDialog" and "SelectFolderDialog", which
// ask the user for a file to open, a name to save under or a folder through
// the system's common dialogs and folder browser, and give the choice as a
// FolderItem (a shortcut gives its target).
//
// A dialog may be shown any number of times; each choice replaces Result,
// while a cancel (or any failure of the system dialog) gives nil and keeps
// it. A chosen path that does not fit 1,024 characters gives nil. Top and
// Left place the dialog's frame (-1: where the system puts it), the
// captions replace the buttons' texts when not empty, Filter holds file
// type names (FileTypes.h). Showing a plain FolderItemDialog is reported as
// a failed assertion ("-1 != mType") and gives nil.
//
// The hook and the browser's callback keep no state of their own: the
// showing travels with the system's record.
#pragma once
#include "core/Layout.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

enum FolderItemDialogKind : int8_t {
  kPlainFolderItemDialog = -1,
  kOpenFileDialog = 0,
  kSaveFileDialog = 1,
  kSelectFolderDialog = 2,
};

struct FolderItemDialogObject {
  RuntimeObject header;
  int8_t kind;  // FolderItemDialogKind
  int32_t top;
  int32_t left;
  StringRecord* title;  // the strings are owned references
  StringRecord* actionButtonCaption;
  StringRecord* cancelButtonCaption;
  StringRecord* suggestedFileName;
  StringRecord* promptText;
  StringRecord* filter;
  RuntimeObject* initialDirectory;  // a FolderItem, owned; may be nil
  RuntimeObject* result;            // a FolderItem, owned; may be nil
  HWND owner;                       // of the last showing
};
static_assert(!kLayoutIs32Bit || offsetof(FolderItemDialogObject, top) == 28, "dialog layout");
static_assert(!kLayoutIs32Bit || offsetof(FolderItemDialogObject, result) == 64, "dialog layout");

// Start-up: registers the four classes and puts RuntimeGetOpenFolderItem,
// RuntimeGetSaveFolderItem and RuntimeSelectFolder in the entry-point table.
void RegisterFolderItemDialogClasses();
ObjectDefinition* GetFolderItemDialogClassDefinition();
ObjectDefinition* GetOpenDialogClassDefinition();
ObjectDefinition* GetSaveAsDialogClassDefinition();
ObjectDefinition* GetSelectFolderDialogClassDefinition();

// Shows the dialog, owned by the window (nil: the run-time's dialog parent
// window), and gives Result with a reference for the caller, or nil.
RuntimeObject* FolderItemDialogRun(RuntimeObject* dialog, HWND owner);

extern "C" {
// ShowModal and ShowModalWithin(window): the window's own handle owns the
// dialog (nil or a closed window: as ShowModal).
RuntimeObject* FolderItemDialogShowModal(RuntimeObject* dialog);
RuntimeObject* FolderItemDialogShowWithin(RuntimeObject* dialog, RuntimeObject* window);
// A new dialog of the kind, with the filter (and suggested name) set, run
// and released: the chosen item or nil.
RuntimeObject* RuntimeGetOpenFolderItem(StringRecord* filter);
RuntimeObject* RuntimeGetSaveFolderItem(StringRecord* filter, StringRecord* defaultName);
RuntimeObject* RuntimeSelectFolder();
}
