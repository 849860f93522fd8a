// A library the run-time loads by name when it first needs it, and typed
// look-ups of its functions: Winsock, the IP helper library, dial-up and the
// registry helpers are never linked, so a machine without them still runs the
// application.
//
// The library is loaded at most once per process: a failed load is not tried
// again, and a library freed with Free stays unloaded. Main thread only.
#pragma once
#include <windows.h>

class DynLib {
 public:
  explicit DynLib(const char* name) : name_(name) {}
  ~DynLib() = default;  // a library still loaded stays loaded for the process
  DynLib(const DynLib&) = delete;
  DynLib& operator=(const DynLib&) = delete;

  // Loads the library on the first call; null when it is missing (then and
  // on every later call) or after Free.
  HMODULE Handle();
  bool Load() { return Handle() != nullptr; }
  // The function of that name, typed by the caller (decltype(&::select));
  // null when the library or the function is missing.
  template <class Function>
  Function Find(const char* function) {
    return reinterpret_cast<Function>(FindAddress(function));
  }
  // Frees a loaded library; it is not loaded again.
  void Free();

 private:
  void* FindAddress(const char* function);

  const char* name_;
  HMODULE handle_ = nullptr;
  bool attempted_ = false;
};

// One function of a DynLib, looked up on first use and remembered, a missing
// one included.
template <class Function>
class DynFunction {
 public:
  DynFunction(DynLib& library, const char* name) : library_(library), name_(name) {}

  Function Get() {
    if (!resolved_) {
      resolved_ = true;
      function_ = library_.Find<Function>(name_);
    }
    return function_;
  }

 private:
  DynLib& library_;
  const char* name_;
  bool resolved_ = false;
  Function function_ = nullptr;
};
