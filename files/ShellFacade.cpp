// The system's shell and drive services behind the replaceable table.
#include "files/ShellFacade.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <map>

#include "core/string.h"
#include "files/Win32FileCalls.h"
#include "ui/WinUtil.h"

namespace {

constexpr DWORD kPathBufferSize = 1024;
constexpr DWORD kDriveStringsBufferSize = 255;

ShellFacade& Current() {
  static ShellFacade facade = SystemShellFacade();
  return facade;
}

intptr_t Execute(const std::string& verb, const std::string& file, const std::string& parameters,
                 int show) {
  if (IsWindowsNT()) {
    const std::wstring wideParameters = WideOfUtf8(parameters);
    return intptr_t(ShellExecuteW(nullptr, WideOfUtf8(verb).c_str(), WideOfUtf8(file).c_str(),
                                  parameters.empty() ? nullptr : wideParameters.c_str(), nullptr,
                                  show));
  }
  std::string ansiFile;
  std::string ansiParameters;
  if (!AnsiPathOf(file, &ansiFile) || !AnsiPathOf(parameters, &ansiParameters)) {
    return ERROR_INVALID_NAME;
  }
  return intptr_t(ShellExecuteA(nullptr, verb.c_str(), ansiFile.c_str(),
                                parameters.empty() ? nullptr : ansiParameters.c_str(), nullptr,
                                show));
}

// Loaded once per process, failures included, and never freed.
void* Library(const char* name) {
  static std::map<std::string, HMODULE> libraries;
  const auto found = libraries.find(name);
  if (found != libraries.end()) return found->second;
  HMODULE module = LoadLibraryA(name);
  libraries.emplace(name, module);
  return module;
}

void* Procedure(const char* library, const char* function) {
  auto* module = static_cast<HMODULE>(CurrentShell().library(library));
  return module ? reinterpret_cast<void*>(GetProcAddress(module, function)) : nullptr;
}

std::vector<std::string> DriveStrings() {
  char buffer[kDriveStringsBufferSize + 1] = {};
  const DWORD length = GetLogicalDriveStringsA(kDriveStringsBufferSize, buffer);
  std::vector<std::string> roots;
  if (length == 0 || length > kDriveStringsBufferSize) return roots;
  for (const char* root = buffer; *root; root += strlen(root) + 1) roots.emplace_back(root);
  return roots;
}

std::optional<std::string> SpecialFolderPath(int folder) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) return std::nullopt;
  LPITEMIDLIST list = nullptr;
  std::optional<std::string> path;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, folder, &list))) {
    if (IsWindowsNT()) {
      wchar_t buffer[kPathBufferSize] = {};
      if (SHGetPathFromIDListW(list, buffer)) path = Utf8OfWide(buffer, wcslen(buffer));
    } else {
      char buffer[kPathBufferSize] = {};
      if (SHGetPathFromIDListA(list, buffer)) path = Utf8OfAnsi(buffer);
    }
    allocator->Free(list);
  }
  allocator->Release();
  return path;
}

std::optional<std::string> TemporaryPath() {
  if (IsWindowsNT()) {
    wchar_t buffer[kPathBufferSize];
    const DWORD length = GetTempPathW(kPathBufferSize, buffer);
    if (length == 0 || length >= kPathBufferSize) return std::nullopt;
    return Utf8OfWide(buffer, length);
  }
  char buffer[kPathBufferSize];
  const DWORD length = GetTempPathA(kPathBufferSize, buffer);
  if (length == 0 || length >= kPathBufferSize) return std::nullopt;
  return Utf8OfAnsi(buffer);
}

}  // namespace

const ShellFacade& CurrentShell() { return Current(); }

ShellFacade SystemShellFacade() {
  ShellFacade facade;
  facade.execute = Execute;
  facade.library = Library;
  facade.procedure = Procedure;
  facade.logicalDrives = [] { return uint32_t(GetLogicalDrives()); };
  facade.logicalDriveStrings = DriveStrings;
  facade.specialFolderPath = SpecialFolderPath;
  facade.temporaryPath = TemporaryPath;
  return facade;
}

ShellFacadeScope::ShellFacadeScope(ShellFacade replacement) : previous_(Current()) {
  Current() = std::move(replacement);
}

ShellFacadeScope::~ShellFacadeScope() { Current() = std::move(previous_); }

void FreeShellMemory(void* block) { CoTaskMemFree(block); }

void ShellOpenPath(const std::string& text) { CurrentShell().execute("open", text, "", SW_SHOW); }

extern "C" void RuntimeShowURL(StringRecord* url) { ShellOpenPath(StringToStdUTF8(url)); }
extern "C" void GlobalShowURL(StringRecord* url) { ShellOpenPath(StringToStdUTF8(url)); }
