// Loading a library once and looking up its functions.
#include "system/DynLib.h"

HMODULE DynLib::Handle() {
  if (!attempted_) {
    attempted_ = true;
    handle_ = LoadLibraryA(name_);
  }
  return handle_;
}

void* DynLib::FindAddress(const char* function) {
  HMODULE handle = Handle();
  // Through void*, so that the caller's function type carries no warning.
  return handle ? reinterpret_cast<void*>(GetProcAddress(handle, function)) : nullptr;
}

void DynLib::Free() {
  attempted_ = true;
  if (handle_) FreeLibrary(handle_);
  handle_ = nullptr;
}
