// The file dialogs over GetOpenFileName, GetSaveFileName and
// SHBrowseForFolder, on the wide line or the ANSI one.
#include "files/FolderItemDialog.h"

#include <commdlg.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/FileTypes.h"
#include "files/FolderItemImpWin32.h"
#include "files/ShellFacade.h"
#include "files/Win32FileCalls.h"
#include "files/runFolderItem.h"
#include "host/relocentry.h"
#include "ui/Conversions.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/window.h"

namespace {

constexpr char kSource[] = "FolderItemDialog";
// The record size of the first explorer-style dialogs, which every system
// takes.
constexpr DWORD kRecordSize = 76;
constexpr DWORD kFileNameCapacity = 1024;
constexpr DWORD kFileDialogFlags =
    OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
constexpr UINT kMoveFlags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER;
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
constexpr UINT kNewBrowserFlags = BIF_NEWDIALOGSTYLE | BIF_UAHINT;
constexpr uint32_t kNewBrowserShellVersion = 5 << 16;
static_assert(kFileDialogFlags == 0x880824 && kMoveFlags == 0x205 && kNewBrowserFlags == 0x140,
              "the dialogs' flags");
static_assert(!kLayoutIs32Bit ||
                  offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == kRecordSize,
              "the explorer-style record");

FolderItemDialogObject* Fields(RuntimeObject* dialog) {
  return ObjectFields<FolderItemDialogObject>(dialog);
}

std::string Text(const StringRecord* string) { return StringToStdUTF8(string); }

// One showing of a dialog, handed to the hook or callback through the
// system's record.
struct Showing {
  FolderItemDialogObject* dialog;
  bool movePending;
};

// Moves the frame to (Left, Top) once, unless both are -1.
void MoveFrameOnce(HWND frame, Showing* showing) {
  const FolderItemDialogObject& dialog = *showing->dialog;
  if (!showing->movePending) return;
  showing->movePending = false;
  if (dialog.top != -1 || dialog.left != -1) {
    SetWindowPos(frame, nullptr, dialog.left, dialog.top, 0, 0, kMoveFlags);
  }
}

// InitialDirectory's path without a trailing backslash (a drive's root
// keeps it); empty when there is none.
std::string InitialDirectoryPath(const FolderItemDialogObject& dialog) {
  FolderItemImp* folder = FolderItemImpOf(dialog.initialDirectory);
  if (!folder) return std::string();
  StringRef path;
  folder->GetAbsolutePath(path.out());
  std::string text = Text(path.get());
  if (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text;
}

// ---- The two lines ------------------------------------------------------------------------

struct WideLine {
  using Char = wchar_t;
  using String = std::wstring;
  using FileRecord = OPENFILENAMEW;
  using BrowseRecord = BROWSEINFOW;
  static constexpr UINT kSetSelection = BFFM_SETSELECTIONW;
  static constexpr UINT kSetStatusText = BFFM_SETSTATUSTEXTW;

  // By length: the zero bytes of a filter stay.
  static String Of(const std::string& utf8) { return WideOfUtf8(utf8); }
  static std::string Utf8(const Char* text) { return Utf8OfWide(text, wcslen(text)); }
  static BOOL Open(FileRecord* record) { return GetOpenFileNameW(record); }
  static BOOL Save(FileRecord* record) { return GetSaveFileNameW(record); }
  static LPITEMIDLIST Browse(BrowseRecord* record) { return SHBrowseForFolderW(record); }
  static BOOL PathOfList(LPCITEMIDLIST list, Char* path) { return SHGetPathFromIDListW(list, path); }
  static DWORD CurrentDirectory(DWORD size, Char* path) { return GetCurrentDirectoryW(size, path); }
  static LRESULT Send(HWND window, UINT message, WPARAM w, const Char* text) {
    return SendMessageW(window, message, w, reinterpret_cast<LPARAM>(text));
  }
};

struct AnsiLine {
  using Char = char;
  using String = std::string;
  using FileRecord = OPENFILENAMEA;
  using BrowseRecord = BROWSEINFOA;
  static constexpr UINT kSetSelection = BFFM_SETSELECTIONA;
  static constexpr UINT kSetStatusText = BFFM_SETSTATUSTEXTA;

  // In the system's code page, by length.
  static String Of(const std::string& utf8) {
    const std::wstring wide = WideOfUtf8(utf8);
    const UINT codePage = SystemEncodingCodePage();
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    String text(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) {
      WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), &text[0], size, nullptr, nullptr);
    }
    return text;
  }
  static std::string Utf8(const Char* text) { return Utf8OfAnsi(text); }
  static BOOL Open(FileRecord* record) { return GetOpenFileNameA(record); }
  static BOOL Save(FileRecord* record) { return GetSaveFileNameA(record); }
  static LPITEMIDLIST Browse(BrowseRecord* record) { return SHBrowseForFolderA(record); }
  static BOOL PathOfList(LPCITEMIDLIST list, Char* path) { return SHGetPathFromIDListA(list, path); }
  static DWORD CurrentDirectory(DWORD size, Char* path) { return GetCurrentDirectoryA(size, path); }
  static LRESULT Send(HWND window, UINT message, WPARAM w, const Char* text) {
    return SendMessageA(window, message, w, reinterpret_cast<LPARAM>(text));
  }
};

// ---- Open and save dialogs ----------------------------------------------------------------

template <class Line>
void SetButtonText(HWND frame, int button, const StringRecord* caption) {
  if (StringLength(caption) > 0) {
    Line::Send(frame, CDM_SETCONTROLTEXT, button, Line::Of(Text(caption)).c_str());
  }
}

// The frame moves at whichever comes first of WM_WINDOWPOSCHANGED and
// CDN_INITDONE (some systems never send the first to the hook).
template <class Line>
UINT_PTR CALLBACK FileDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* record = reinterpret_cast<const typename Line::FileRecord*>(lParam);
    auto* showing = reinterpret_cast<Showing*>(record->lCustData);
    showing->movePending = true;
    SetWindowLongAuto(hook, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(showing));
    return 0;
  }
  auto* showing = reinterpret_cast<Showing*>(GetWindowLongAuto(hook, GWLP_USERDATA));
  if (!showing) return 0;
  if (message == WM_WINDOWPOSCHANGED) MoveFrameOnce(GetParent(hook), showing);
  if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE) {
    HWND frame = GetParent(hook);
    MoveFrameOnce(frame, showing);
    SetButtonText<Line>(frame, IDOK, showing->dialog->actionButtonCaption);
    SetButtonText<Line>(frame, IDCANCEL, showing->dialog->cancelButtonCaption);
  }
  return 0;
}

template <class Line>
std::string ShowFileDialog(Showing* showing, HWND owner) {
  const FolderItemDialogObject& dialog = *showing->dialog;
  std::string filter;
  std::string defaultExtension;
  BuildFileDialogFilter(Text(dialog.filter), &filter, &defaultExtension);
  const typename Line::String filterText = Line::Of(filter);
  const typename Line::String extension = Line::Of(defaultExtension);
  const typename Line::String title = Line::Of(Text(dialog.title));
  const typename Line::String folder = Line::Of(InitialDirectoryPath(dialog));
  const typename Line::String suggested = Line::Of(Text(dialog.suggestedFileName));
  std::vector<typename Line::Char> name(kFileNameCapacity, 0);
  suggested.copy(name.data(), kFileNameCapacity - 1);

  typename Line::FileRecord record{};
  record.lStructSize = kRecordSize;
  record.hwndOwner = owner;
  record.hInstance = GetModuleHandleA(nullptr);
  record.lpstrFilter = filterText.empty() ? nullptr : filterText.c_str();
  record.lpstrFile = name.data();
  record.nMaxFile = kFileNameCapacity;
  record.lpstrTitle = title.empty() ? nullptr : title.c_str();
  record.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  record.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  record.lCustData = reinterpret_cast<LPARAM>(showing);
  record.lpfnHook = FileDialogHook<Line>;
  const bool open = dialog.kind == kOpenFileDialog;
  record.Flags = kFileDialogFlags | (open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
  const BOOL chosen = open ? Line::Open(&record) : Line::Save(&record);
  return chosen ? Line::Utf8(name.data()) : std::string();
}

// ---- The folder browser -------------------------------------------------------------------

template <class Line>
std::string CurrentDirectory() {
  typename Line::Char path[MAX_PATH] = {};
  const DWORD length = Line::CurrentDirectory(MAX_PATH, path);
  return length > 0 && length < MAX_PATH ? Line::Utf8(path) : std::string();
}

template <class Line>
int CALLBACK BrowserCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data) {
  auto* showing = reinterpret_cast<Showing*>(data);
  if (!showing) {
    AssertionFailed(131, 4, kSource, __LINE__, "fiDialog", "");
    return 0;
  }
  const FolderItemDialogObject& dialog = *showing->dialog;
  if (message == BFFM_INITIALIZED) {
    MoveFrameOnce(browser, showing);
    if (StringLength(dialog.title) > 0) {
      Line::Send(browser, WM_SETTEXT, 0, Line::Of(Text(dialog.title)).c_str());
    }
    std::string folder = InitialDirectoryPath(dialog);
    if (folder.empty()) folder = CurrentDirectory<Line>();
    if (IsWindowsNT() && StringLength(dialog.actionButtonCaption) > 0) {
      WideLine::Send(browser, BFFM_SETOKTEXT, 0, WideLine::Of(Text(dialog.actionButtonCaption)).c_str());
    }
    Line::Send(browser, Line::kSetSelection, TRUE, Line::Of(folder).c_str());
  } else if (message == BFFM_SELCHANGED) {
    typename Line::Char path[MAX_PATH] = {};
    if (Line::PathOfList(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) {
      Line::Send(browser, Line::kSetStatusText, 0, path);
    }
  }
  return 0;
}

template <class Line>
std::string ShowFolderBrowser(Showing* showing, HWND owner) {
  const typename Line::String prompt = Line::Of(Text(showing->dialog->promptText));
  typename Line::Char displayName[MAX_PATH] = {};
  typename Line::BrowseRecord record{};
  record.hwndOwner = owner;
  record.pszDisplayName = displayName;
  record.lpszTitle = prompt.empty() ? nullptr : prompt.c_str();
  record.ulFlags = kBrowseFlags;
  if (GetDllVersion(L"Shell32.dll") >= kNewBrowserShellVersion) record.ulFlags |= kNewBrowserFlags;
  record.lpfn = BrowserCallback<Line>;
  record.lParam = reinterpret_cast<LPARAM>(showing);
  showing->movePending = true;
  const ShellMemory<ITEMIDLIST> chosen(Line::Browse(&record));
  typename Line::Char path[MAX_PATH] = {};
  return chosen.p && Line::PathOfList(chosen.p, path) ? Line::Utf8(path) : std::string();
}

template <class Line>
std::string Show(Showing* showing, HWND owner) {
  return showing->dialog->kind == kSelectFolderDialog ? ShowFolderBrowser<Line>(showing, owner)
                                                      : ShowFileDialog<Line>(showing, owner);
}

// ---- The classes --------------------------------------------------------------------------

void InitialisePlainDialog(RuntimeObject* object) {
  FolderItemDialogObject* dialog = Fields(object);
  dialog->kind = kPlainFolderItemDialog;
  dialog->result = nullptr;
  dialog->top = dialog->left = -1;
}
void InitialiseOpenDialog(RuntimeObject* object) { Fields(object)->kind = kOpenFileDialog; }
void InitialiseSaveAsDialog(RuntimeObject* object) { Fields(object)->kind = kSaveFileDialog; }
void InitialiseSelectFolderDialog(RuntimeObject* object) {
  Fields(object)->kind = kSelectFolderDialog;
}

void DestroyDialog(RuntimeObject* object) {
  FolderItemDialogObject* dialog = Fields(object);
  RuntimeUnlockObject(std::exchange(dialog->result, nullptr));
  RuntimeUnlockObject(std::exchange(dialog->initialDirectory, nullptr));
  for (StringRecord** text : {&dialog->title, &dialog->actionButtonCaption,
                              &dialog->cancelButtonCaption, &dialog->suggestedFileName,
                              &dialog->promptText, &dialog->filter}) {
    StringRecordRelease(std::exchange(*text, nullptr));
  }
}

constexpr uint32_t Offset(size_t offset) { return uint32_t(offset); }

ObjectDefinition* MakeDialogDefinition() {
  static ObjectDefinition definition;
  static PropertyRecord properties[] = {
      {kPropertyPassesParameter, "Top", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(intSetter), Offset(offsetof(FolderItemDialogObject, top))},
      {kPropertyPassesParameter, "Left", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(intSetter), Offset(offsetof(FolderItemDialogObject, left))},
      {kPropertyPassesParameter, "InitialDirectory", GetFolderItemClassDefinition(),
       RUNTIME_ENTRY(objGetter), RUNTIME_ENTRY(objSetter),
       Offset(offsetof(FolderItemDialogObject, initialDirectory))},
      {kPropertyPassesParameter | kPropertyReadOnly, "Result", GetFolderItemClassDefinition(),
       RUNTIME_ENTRY(objGetter), nullptr, nullptr, Offset(offsetof(FolderItemDialogObject, result))},
      {kPropertyPassesParameter, "Filter", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, filter))},
      {kPropertyPassesParameter, "Title", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, title))},
      {kPropertyPassesParameter, "ActionButtonCaption", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, actionButtonCaption))},
      {kPropertyPassesParameter, "CancelButtonCaption", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, cancelButtonCaption))},
      {kPropertyPassesParameter, "SuggestedFileName", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, suggestedFileName))},
      {kPropertyPassesParameter, "PromptText", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), Offset(offsetof(FolderItemDialogObject, promptText))},
  };
  static const ParameterRecord window[] = {{"w", GetWindowClassDefinition(), 0}};
  static MethodRecord methods[] = {
      MakeMethodRecord("ShowModal", GetFolderItemClassDefinition(), nullptr, 0,
                       RUNTIME_ENTRY(FolderItemDialogShowModal)),
      MakeMethodRecord("ShowModalWithin", GetFolderItemClassDefinition(), window, 1,
                       RUNTIME_ENTRY(FolderItemDialogShowWithin)),
  };
  return FillClassDefinition(&definition, "FolderItemDialog", sizeof(FolderItemDialogObject),
                             InitialisePlainDialog, DestroyDialog, properties, methods);
}

ObjectDefinition* MakeSubclass(ObjectDefinition* definition, const char* name,
                               ObjectInitialiser initialiser) {
  FillSubclassDefinition(definition, name, GetFolderItemDialogClassDefinition());
  definition->initialiser = initialiser;
  return definition;
}

// A new dialog of the class, run with no owner and released.
RuntimeObject* RunNewDialog(ObjectDefinition* definition, StringRecord* filter,
                            StringRecord* suggestedFileName) {
  ObjectRef dialog = ObjectRef::Adopt(CreateInstance(definition));
  if (!dialog) return nullptr;
  stringSetter(dialog.get(), Offset(offsetof(FolderItemDialogObject, filter)), filter);
  stringSetter(dialog.get(), Offset(offsetof(FolderItemDialogObject, suggestedFileName)),
               suggestedFileName);
  return FolderItemDialogRun(dialog.get(), nullptr);
}

}  // namespace

ObjectDefinition* GetFolderItemDialogClassDefinition() {
  static ObjectDefinition* const definition = MakeDialogDefinition();
  return definition;
}
ObjectDefinition* GetOpenDialogClassDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* const made = MakeSubclass(&definition, "OpenDialog", InitialiseOpenDialog);
  return made;
}
ObjectDefinition* GetSaveAsDialogClassDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* const made =
      MakeSubclass(&definition, "SaveAsDialog", InitialiseSaveAsDialog);
  return made;
}
ObjectDefinition* GetSelectFolderDialogClassDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* const made =
      MakeSubclass(&definition, "SelectFolderDialog", InitialiseSelectFolderDialog);
  return made;
}

void RegisterFolderItemDialogClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (ObjectDefinition* definition :
       {GetFolderItemDialogClassDefinition(), GetOpenDialogClassDefinition(),
        GetSaveAsDialogClassDefinition(), GetSelectFolderDialogClassDefinition()}) {
    RegisterIntrinsicClass(definition);
  }
  static const EntryPoint entries[] = {
      {"RuntimeGetOpenFolderItem", reinterpret_cast<void*>(&RuntimeGetOpenFolderItem)},
      {"RuntimeGetSaveFolderItem", reinterpret_cast<void*>(&RuntimeGetSaveFolderItem)},
      {"RuntimeSelectFolder", reinterpret_cast<void*>(&RuntimeSelectFolder)},
  };
  RegisterEntryPoints(entries, sizeof entries / sizeof entries[0]);
}

RuntimeObject* FolderItemDialogRun(RuntimeObject* object, HWND owner) {
  if (!ObjectIsADefinition(object, GetFolderItemDialogClassDefinition())) {
    RaiseNilObjectException();
    return nullptr;
  }
  FolderItemDialogObject* dialog = Fields(object);
  if (dialog->kind == kPlainFolderItemDialog) {
    AssertionFailed(131, 4, kSource, __LINE__, "-1 != mType", "");
    return nullptr;
  }
  dialog->owner = owner;
  ObjectRef held = ObjectRef::Retain(object);
  Showing showing{dialog, false};
  HWND parent = owner ? owner : GetDialogParentWindow();
  const std::string path = IsWindowsNT() ? Show<WideLine>(&showing, parent)
                                         : Show<AnsiLine>(&showing, parent);
  if (path.empty()) return nullptr;
  FolderItemImpPtr chosen = FolderItemImpWin32FromPath(path, false, false, nullptr);
  RuntimeObject* item = chosen ? NewFolderItemWithImp(TakeResolved(std::move(chosen), kResolveAliases))
                               : nullptr;
  if (!item) return nullptr;
  RuntimeUnlockObject(std::exchange(dialog->result, item));
  RuntimeLockObject(item);
  return item;
}

extern "C" {

RuntimeObject* FolderItemDialogShowModal(RuntimeObject* dialog) {
  return FolderItemDialogRun(dialog, nullptr);
}

RuntimeObject* FolderItemDialogShowWithin(RuntimeObject* dialog, RuntimeObject* window) {
  return FolderItemDialogRun(dialog, WindowHandle(window));
}

RuntimeObject* RuntimeGetOpenFolderItem(StringRecord* filter) {
  return RunNewDialog(GetOpenDialogClassDefinition(), filter, nullptr);
}

RuntimeObject* RuntimeGetSaveFolderItem(StringRecord* filter, StringRecord* defaultName) {
  return RunNewDialog(GetSaveAsDialogClassDefinition(), filter, defaultName);
}

RuntimeObject* RuntimeSelectFolder() {
  return RunNewDialog(GetSelectFolderDialogClassDefinition(), nullptr, nullptr);
}

}  // extern "C"
