// Scratch folders of tests and benchmarks under the system's temporary
// folder: made on construction, removed with everything below them when the
// owner ends, whichever way it ends.
#pragma once
#include <windows.h>

#include <string>

// The temporary folder, with its trailing backslash.
inline std::wstring TempFolder() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return std::wstring(folder, length);
}

// Deletes a folder with everything in it, read-only files included.
inline void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// "<temporary folder><prefix><process id>", owned for the object's life.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& prefix)
      : path_(TempFolder() + prefix + std::to_wstring(GetCurrentProcessId())),
        made_(CreateDirectoryW(path_.c_str(), nullptr) != FALSE) {}
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool made() const { return made_; }
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
  bool made_;
};
