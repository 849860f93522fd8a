// The main loop, its exception frame and the exit steps.
#include "host/runtimemainloop.h"

#include <ole2.h>

#include <string>
#include <utility>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RunTimer.h"
#include "host/RuntimeMain.h"
#include "host/application.h"

namespace {

MainLoopHooks hooks;
bool quitRequested = false;
int32_t exitCode = 0;
bool backgroundSocketPoll = true;
bool oleStarted = false;
bool exitStepsDone = false;

template <class Hook>
Hook Replace(Hook& slot, Hook hook) {
  return std::exchange(slot, hook);
}

// After anything that may run application code: the handler takes what was
// left pending. False once the application is quitting.
bool StillRunning() {
  RuntimeHandOverPendingException();
  return !quitRequested;
}

bool RunSlot(LoopHook hook) {
  if (hook) hook();
  return StillRunning();
}

std::string ClassNameOf(RuntimeObject* object) {
  RuntimeClass* runtimeClass = ObjectClassOf(object);
  return runtimeClass ? StringToStdUTF8(runtimeClass->name) : std::string();
}

void HandleUnhandled(RuntimeObject* exception) {
  // The box's modal loop would run the periodic tasks' timers otherwise.
  PeriodicTaskHold hold;
  if (ObjectIsADefinition(exception, GetEndExceptionClassDefinition())) {
    // Only the first request to quit closes the windows; the exit steps
    // close whatever opened since.
    if (quitRequested) return;
    quitRequested = true;
    if (hooks.closeWindows) hooks.closeWindows();
    return;
  }
  RuntimeMessageBox("An exception of class " + ClassNameOf(exception) +
                        " was not handled.\r\nThe application must shut down.",
                    "Unhandled Exception", kBoxOK);
  exitCode = 1;
  quitRequested = true;
}

enum class Taken { kNothing, kMessage, kQuit };

bool PeekOne(MSG* message) {
  return (IsWindowsNT() ? PeekMessageW(message, nullptr, 0, 0, PM_REMOVE)
                        : PeekMessageA(message, nullptr, 0, 0, PM_REMOVE)) != FALSE;
}

Taken TakeMessage(DWORD maxWaitMs, MSG* message) {
  bool captureHeld = false;
  if (hooks.captureHeld) {
    captureHeld = hooks.captureHeld();
    if (!StillRunning()) return Taken::kNothing;
  }
  bool got;
  if (captureHeld) {
    got = PeekOne(message);
  } else if (maxWaitMs == INFINITE) {
    BOOL result = IsWindowsNT() ? GetMessageW(message, nullptr, 0, 0)
                                : GetMessageA(message, nullptr, 0, 0);
    if (result == 0) return Taken::kQuit;
    got = result > 0;
  } else {
    MsgWaitForMultipleObjectsEx(0, nullptr, maxWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    got = PeekOne(message);
  }
  if (!got) return Taken::kNothing;
  return message->message == WM_QUIT ? Taken::kQuit : Taken::kMessage;
}

// Tracking, translation and dispatch of one message; false once quitting.
bool Deliver(MSG& message) {
  if (hooks.trackPointer) {
    hooks.trackPointer(message);
    if (!StillRunning()) return false;
  }
  bool consumed = false;
  if (hooks.preTranslate) {
    consumed = hooks.preTranslate(message);
    if (!StillRunning()) return false;
  } else if (IsMDIMode()) {
    consumed = TranslateMDISysAccel(GetMDIClientWindow(), &message) != FALSE;
  }
  if (!consumed) {
    TranslateMessage(&message);
    if (IsWindowsNT()) {
      DispatchMessageW(&message);
    } else {
      DispatchMessageA(&message);
    }
  }
  return StillRunning();
}

bool ShouldStop() {
  if (quitRequested) return true;
  int openWindows = 0;
  if (hooks.openWindowCount) {
    openWindows = hooks.openWindowCount();
    RuntimeHandOverPendingException();
    if (quitRequested) return true;
  }
  return openWindows == 0 && !IsMDIMode();
}

void RunExitSlot(LoopHook hook) {
  if (!hook) return;
  hook();
  RuntimeHandOverPendingException();
}

}  // namespace

LoopHook SetDropObjectsHook(LoopHook hook) { return Replace(hooks.dropObjects, hook); }
LoopHook SetShowDueWindowsHook(LoopHook hook) { return Replace(hooks.showDueWindows, hook); }
CaptureHeldHook SetCaptureHeldHook(CaptureHeldHook hook) {
  return Replace(hooks.captureHeld, hook);
}
TrackPointerHook SetTrackPointerHook(TrackPointerHook hook) {
  return Replace(hooks.trackPointer, hook);
}
PreTranslateHook SetPreTranslateHook(PreTranslateHook hook) {
  return Replace(hooks.preTranslate, hook);
}
LoopHook SetDeferredUpdatesHook(LoopHook hook) { return Replace(hooks.deferredUpdates, hook); }
LoopHook SetFocusIdleHook(LoopHook hook) { return Replace(hooks.focusIdle, hook); }
LoopHook SetSerialTickHook(LoopHook hook) { return Replace(hooks.serialTick, hook); }
SocketPollHook SetSocketPollHook(SocketPollHook hook) { return Replace(hooks.socketPoll, hook); }
OpenWindowCountHook SetOpenWindowCountHook(OpenWindowCountHook hook) {
  return Replace(hooks.openWindowCount, hook);
}
MakeFrameHook SetMakeFrameHook(MakeFrameHook hook) { return Replace(hooks.makeFrame, hook); }
LoopHook SetCloseWindowsHook(LoopHook hook) { return Replace(hooks.closeWindows, hook); }
LoopHook SetShutdownSocketsHook(LoopHook hook) { return Replace(hooks.shutdownSockets, hook); }
LoopHook SetSoundShutdownHook(LoopHook hook) { return Replace(hooks.soundShutdown, hook); }
LoopHook SetQuickTimeShutdownHook(LoopHook hook) {
  return Replace(hooks.quickTimeShutdown, hook);
}
const MainLoopHooks& CurrentMainLoopHooks() { return hooks; }

void RuntimeRunTurn(DWORD maxWaitMs) {
  if (!RunSlot(hooks.dropObjects) || !RunSlot(hooks.showDueWindows)) return;

  MSG message;
  switch (TakeMessage(maxWaitMs, &message)) {
    case Taken::kQuit:
      quitRequested = true;
      exitCode = int32_t(message.wParam);
      return;
    case Taken::kMessage:
      if (!Deliver(message)) return;
      break;
    case Taken::kNothing:
      if (quitRequested) return;
      break;
  }

  if (!RunSlot(hooks.deferredUpdates) || !RunSlot(hooks.focusIdle) ||
      !RunSlot(hooks.serialTick)) {
    return;
  }
  if (hooks.socketPoll) {
    hooks.socketPoll(false);
    StillRunning();
  }
}

extern "C" void RuntimeRun() {
  while (!ShouldStop()) RuntimeRunTurn(INFINITE);
  RunExitSteps();
}

extern "C" void RuntimeBackgroundTask() {
  if (backgroundSocketPoll && hooks.socketPoll) hooks.socketPoll(true);
}

void RuntimeSetBackgroundSocketPoll(bool on) { backgroundSocketPoll = on; }

bool RuntimeQuitRequested() { return quitRequested; }
void RuntimeRequestQuit() { quitRequested = true; }
int32_t RuntimeExitCode() { return exitCode; }

void RuntimeHandOverPendingException() {
  // Each pass takes one exception; one raised while the last was handled
  // (by a window closing) gets its own pass.
  while (RuntimeExceptionPending()) {
    ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
    HandleUnhandled(exception.get());
  }
}

void RuntimeStartOle() {
  if (!oleStarted) oleStarted = SUCCEEDED(OleInitialize(nullptr));
}

void RunExitSteps() {
  if (exitStepsDone) return;
  exitStepsDone = true;
  quitRequested = true;
  RunExitSlot(hooks.closeWindows);
  DestroyMDIFrame();
  RunExitSlot(hooks.shutdownSockets);
  RunExitSlot(hooks.soundShutdown);
  if (oleStarted) {
    OleUninitialize();
    oleStarted = false;
  }
  RunExitSlot(hooks.quickTimeShutdown);
}

bool ExitStepsDone() { return exitStepsDone; }

MainLoopState SaveMainLoopState() {
  return {hooks, quitRequested, exitCode, backgroundSocketPoll};
}

void RestoreMainLoopState(const MainLoopState& state) {
  hooks = state.hooks;
  quitRequested = state.quitRequested;
  exitCode = state.exitCode;
  backgroundSocketPoll = state.backgroundSocketPoll;
}

void RuntimeReopenAfterExitSteps() {
  if (!exitStepsDone) return;
  exitStepsDone = false;
  RuntimeStartOle();
}
