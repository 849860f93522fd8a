// The window system's start-up steps and the system colour table.
#include "ui/WindowSystem.h"

#include "host/runtimemainloop.h"
#include "ui/DeferredUpdate.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeCursor.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"
#include "ui/runctl.h"
#include "ui/win32windows.h"
#include "ui/window.h"

namespace {

// COLOR_SCROLLBAR (0) to COLOR_MENUBAR (30).
constexpr int kSystemColorCount = 31;
COLORREF systemColors[kSystemColorCount];

}  // namespace

void StartWindowSystem(HINSTANCE instance) {
  ApplyForcedAnsiLine();
  RegisterWindowClasses(instance);
  SetShowDueWindowsHook(ShowDueWindows);
  SetCaptureHeldHook(CaptureHeld);
  SetTrackPointerHook(TrackPointer);
  SetPreTranslateHook(PreTranslateKeyMessage);
  SetDeferredUpdatesHook(RunDeferredUpdates);
  SetFocusIdleHook(FocusIdle);
  SetOpenWindowCountHook(OpenWindowCount);
  SetMakeFrameHook(MakeMDIFrame);
  SetCloseWindowsHook(CloseAllWindows);
}

void InitSystemColors() {
  for (int index = 0; index < kSystemColorCount; ++index) systemColors[index] = GetSysColor(index);
}

void RegisterWindowSystemClasses() {
  RegisterControlClasses();
  RegisterWindowClass();
  RegisterCursorClass();
}

COLORREF SystemColor(int index) {
  return index >= 0 && index < kSystemColorCount ? systemColors[index] : 0;
}
