// Entry points of a library loaded at run time, found by name.
#pragma once
#include <windows.h>

// The library's entry point of that name into *call; false (and nil) when
// the library has none.
template <class Call>
bool FindCall(HMODULE library, const char* name, Call* call) {
  *call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *call != nullptr;
}
