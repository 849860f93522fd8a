// Volumes, special folders and the Win32 item's FindFolder.
#include "files/SpecialFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "core/utility.h"
#include "files/FolderItemImpRecycleBin.h"
#include "files/FolderItemImpWin32.h"
#include "files/ShellFacade.h"
#include "files/Win32FileCalls.h"
#include "files/runFolderItem.h"
#include "host/relocentry.h"
#include "ui/WinUtil.h"

namespace {

constexpr UINT kPathBufferSize = 1024;
// Drive letters A: to Z:; the floppy drives A: and B: are listed last.
constexpr int kDriveCount = 26;
constexpr int kFirstFixedDrive = 2;

uint32_t DriveMask() { return CurrentShell().logicalDrives() & ((1u << kDriveCount) - 1); }

RuntimeObject* SpecialFolderItem(int folder) {
  const std::optional<std::string> path = CurrentShell().specialFolderPath(folder);
  return path ? NewFolderItemForPath(*path) : nullptr;
}

// GetWindowsDirectory or GetSystemDirectory on this line.
std::string SystemFolderText(UINT(WINAPI* wide)(LPWSTR, UINT), UINT(WINAPI* ansi)(LPSTR, UINT)) {
  if (IsWindowsNT()) {
    wchar_t buffer[kPathBufferSize];
    const UINT length = wide(buffer, kPathBufferSize);
    return length > 0 && length < kPathBufferSize ? Utf8OfWide(buffer, length) : std::string();
  }
  char buffer[kPathBufferSize];
  const UINT length = ansi(buffer, kPathBufferSize);
  return length > 0 && length < kPathBufferSize ? Utf8OfAnsi(buffer) : std::string();
}

RuntimeObject* ItemOrNil(const std::string& path) {
  return path.empty() ? nullptr : NewFolderItemForPath(path);
}

RuntimeObject* WindowsFolder() {
  return ItemOrNil(SystemFolderText(GetWindowsDirectoryW, GetWindowsDirectoryA));
}

std::string NewTemporaryFileIn(const std::string& folder) {
  if (IsWindowsNT()) {
    wchar_t buffer[MAX_PATH];
    if (!GetTempFileNameW(WideOfUtf8(folder).c_str(), L"kvt", 0, buffer)) return std::string();
    return Utf8OfWide(buffer, wcslen(buffer));
  }
  std::string ansiFolder;
  char buffer[MAX_PATH];
  if (!AnsiPathOf(folder, &ansiFolder) || !GetTempFileNameA(ansiFolder.c_str(), "kvt", 0, buffer)) {
    return std::string();
  }
  return Utf8OfAnsi(buffer);
}

}  // namespace

RuntimeObject* NewFolderItemForPath(const std::string& path) {
  const bool endsInSeparator = !path.empty() && path.back() == '\\';
  return NewFolderItemWithImp(
      FolderItemImpWin32FromPath(endsInSeparator ? path : path + "\\", false, false, nullptr));
}

std::string TemporaryFolderText() { return CurrentShell().temporaryPath().value_or(""); }

std::string NewTemporaryFilePath() {
  const std::string folder = TemporaryFolderText();
  return folder.empty() ? folder : NewTemporaryFileIn(folder);
}

FolderItemImp* FolderItemImpWin32::FindFolder(uint32_t code) {
  std::optional<std::string> path;
  switch (code) {
    case FourCharCode("desk"):
      path = CurrentShell().specialFolderPath(CSIDL_DESKTOPDIRECTORY);
      break;
    case FourCharCode("pref"):
      path = CurrentShell().specialFolderPath(CSIDL_APPDATA);
      break;
    case FourCharCode("root"):
      path = CurrentShell().specialFolderPath(CSIDL_WINDOWS);
      break;
    case FourCharCode("temp"):
      path = CurrentShell().temporaryPath();
      break;
    case FourCharCode("trsh"):
      return new (std::nothrow) FolderItemImpRecycleBin();
    default:
      return nullptr;
  }
  return path ? FolderItemImpWin32FromPath(*path, false, false, nullptr).release() : nullptr;
}

void RegisterSpecialFolderFunctions() {
  static const EntryPoint entries[] = {
      {"getVolumeCount", reinterpret_cast<void*>(&getVolumeCount)},
      {"getVolume", reinterpret_cast<void*>(&getVolume)},
      {"getAppleMenuFolder", reinterpret_cast<void*>(&getAppleMenuFolder)},
      {"getControlPanelsFolder", reinterpret_cast<void*>(&getControlPanelsFolder)},
      {"getDesktopFolder", reinterpret_cast<void*>(&getDesktopFolder)},
      {"getStartupItemsFolder", reinterpret_cast<void*>(&getStartupItemsFolder)},
      {"getFontsFolder", reinterpret_cast<void*>(&getFontsFolder)},
      {"GetDocumentsFolder", reinterpret_cast<void*>(&GetDocumentsFolder)},
      {"getPreferencesFolder", reinterpret_cast<void*>(&getPreferencesFolder)},
      {"getApplicationSupportFolder", reinterpret_cast<void*>(&getApplicationSupportFolder)},
      {"getSystemFolder", reinterpret_cast<void*>(&getSystemFolder)},
      {"getExtensionsFolder", reinterpret_cast<void*>(&getExtensionsFolder)},
      {"getShutdownItemsFolder", reinterpret_cast<void*>(&getShutdownItemsFolder)},
      {"getTrashFolder", reinterpret_cast<void*>(&getTrashFolder)},
      {"getTemporaryItemsFolder", reinterpret_cast<void*>(&getTemporaryItemsFolder)},
      {"getTemporaryFolderItem", reinterpret_cast<void*>(&getTemporaryFolderItem)},
      {"GetHighlightRGBColor", reinterpret_cast<void*>(&GetHighlightRGBColor)},
  };
  static bool entered = false;
  if (!entered) RegisterEntryPoints(entries, sizeof entries / sizeof entries[0]);
  entered = true;
}

extern "C" {

int32_t getVolumeCount() {
  uint32_t mask = DriveMask();
  int32_t count = 0;
  for (; mask; mask &= mask - 1) ++count;
  return count;
}

RuntimeObject* getVolume(int32_t index) {
  const uint32_t mask = DriveMask();
  int32_t n = 0;
  for (int i = 0; i < kDriveCount; ++i) {
    const int drive = (i + kFirstFixedDrive) % kDriveCount;
    if (!(mask & (1u << drive))) continue;
    if (n++ == index) return NewFolderItemForPath(std::string(1, char('A' + drive)) + ":");
  }
  return nullptr;
}

RuntimeObject* getAppleMenuFolder() { return SpecialFolderItem(CSIDL_PROGRAMS); }
RuntimeObject* getControlPanelsFolder() { return SpecialFolderItem(CSIDL_CONTROLS); }
RuntimeObject* getDesktopFolder() { return SpecialFolderItem(CSIDL_DESKTOPDIRECTORY); }
RuntimeObject* getStartupItemsFolder() { return SpecialFolderItem(CSIDL_STARTUP); }
RuntimeObject* getFontsFolder() { return SpecialFolderItem(CSIDL_FONTS); }
RuntimeObject* GetDocumentsFolder() { return SpecialFolderItem(CSIDL_PERSONAL); }

RuntimeObject* getPreferencesFolder() {
  RuntimeObject* folder = SpecialFolderItem(CSIDL_APPDATA);
  return folder ? folder : WindowsFolder();
}
RuntimeObject* getApplicationSupportFolder() { return getPreferencesFolder(); }

RuntimeObject* getSystemFolder() {
  return ItemOrNil(SystemFolderText(GetSystemDirectoryW, GetSystemDirectoryA));
}
RuntimeObject* getExtensionsFolder() { return getSystemFolder(); }
RuntimeObject* getShutdownItemsFolder() { return nullptr; }

RuntimeObject* getTrashFolder() {
  return NewFolderItemWithImp(FolderItemImpPtr(new (std::nothrow) FolderItemImpRecycleBin()));
}

RuntimeObject* getTemporaryItemsFolder() { return ItemOrNil(TemporaryFolderText()); }

RuntimeObject* getTemporaryFolderItem() { return ItemOrNil(NewTemporaryFilePath()); }

void GetHighlightRGBColor(RGBColor16* color) {
  const COLORREF c = GetSysColor(COLOR_HIGHLIGHT);
  *color = {uint16_t(GetRValue(c) * 257), uint16_t(GetGValue(c) * 257),
            uint16_t(GetBValue(c) * 257)};
}

}  // extern "C"
