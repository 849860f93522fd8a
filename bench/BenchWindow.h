// A shown run-time window for the controls' benchmarks, opened as an
// application opens one, and the start-up they share.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"
#include "ui/window.h"

// The run-time started as the host starts it; false (said) when it fails.
inline bool StartBenchRunTime() {
  std::string error;
  InstallRuntimeSubsystems();
  if (RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) return true;
  std::printf("start-up failed: %s\n", error.c_str());
  return false;
}

// The control (adopting the new instance) named and placed.
inline ObjectRef BenchControl(RuntimeObject* instance, const char* name, const MacRect& bounds) {
  ObjectRef control = ObjectRef::Adopt(instance);
  StringRef controlName = StringRef::Adopt(StringFromASCII(name));
  ControlSetName(control.get(), controlName.get());
  ControlFields(control.get())->bounds = bounds;
  return control;
}

// A window of that client size holding the controls, open and shown.
inline ObjectRef OpenBenchWindow(int32_t width, int32_t height,
                                 const std::vector<ObjectRef>& controls) {
  ObjectRef window = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFields* fields = WindowFieldsOf(window.get());
  fields->width = width;
  fields->height = height;
  fields->visible = 1;
  for (const ObjectRef& control : controls) WindowAddControl(window.get(), control.get());
  WindowOpen(window.get());
  for (int turn = 0; turn < 200 && !IsWindowVisible(WindowHandle(window.get())); ++turn) {
    RuntimeRunTurn(10);
  }
  for (int turn = 0; turn < 20; ++turn) RuntimeRunTurn(0);
  return window;
}
