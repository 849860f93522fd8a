// Owners of Win32 handles for the host's own code: each frees its handle once,
// when it goes out of scope, and may be moved but not copied.
#pragma once
#include <windows.h>

#include <memory>
#include <type_traits>
#include <utility>

struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
// A library loaded with LoadLibrary.
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

struct LocalFreer {
  void operator()(void* block) const { LocalFree(block); }
};
// A block the system allocated with LocalAlloc for the caller
// (CommandLineToArgvW's result).
template <class T>
using UniqueLocal = std::unique_ptr<T, LocalFreer>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct MemoryDCDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
// A device context made with CreateCompatibleDC.
using UniqueMemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDCDeleter>;

// A window's (or, with no window, the screen's) device context from GetDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A file handle from CreateFile (whose failure value is INVALID_HANDLE_VALUE).
class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(HANDLE handle) : handle_(handle) {}
  ~UniqueFile() { Close(); }
  UniqueFile(UniqueFile&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueFile& operator=(UniqueFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now; false when the system reports that the close failed (data
  // that was still buffered may be lost).
  bool Close() {
    if (!valid()) return true;
    return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
