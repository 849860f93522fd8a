// The main loop: its hook slots, one turn, the run to the end, the exit steps
// and the unhandled-exception handler.
//
// The loop is the outermost frame of the application. After every slot call,
// every dispatched message, every periodic task and the application's Open
// event, an exception that no compiled frame took goes to the handler: an
// EndException (ApplicationQuit) closes the windows and sets the quit flag;
// any other shows "An exception of class <name> was not handled." and quits
// with exit code 1. A turn ends as soon as the quit flag is set.
//
// Later subsystems plug into the loop through the slots below. Each slot
// holds one function; setting one gives back the previous function, and an
// empty slot is skipped.
#pragma once
#include <windows.h>

#include <cstdint>

using LoopHook = void (*)();
using CaptureHeldHook = bool (*)();
using OpenWindowCountHook = int (*)();
using TrackPointerHook = void (*)(const MSG& message);
// True when it consumed the message (it is then neither translated nor
// dispatched).
using PreTranslateHook = bool (*)(MSG& message);
// Makes the visible MDI frame with the caption and its "MDICLIENT" child;
// gives the frame and stores the client.
using MakeFrameHook = HWND (*)(const wchar_t* caption, HWND* client);
using SocketPollHook = bool (*)(bool ownerlessOnly);

struct MainLoopHooks {
  // Once per turn, before the message is taken.
  LoopHook dropObjects = nullptr;
  LoopHook showDueWindows = nullptr;
  // While it answers true the loop polls for messages instead of waiting.
  CaptureHeldHook captureHeld = nullptr;
  TrackPointerHook trackPointer = nullptr;
  PreTranslateHook preTranslate = nullptr;
  // Once per turn, after the message.
  LoopHook deferredUpdates = nullptr;
  LoopHook focusIdle = nullptr;
  LoopHook serialTick = nullptr;
  SocketPollHook socketPoll = nullptr;
  // Windows the loop counts as open; none while the slot is empty.
  OpenWindowCountHook openWindowCount = nullptr;
  MakeFrameHook makeFrame = nullptr;
  // Exit steps, in this order (OLE is shut down between sound and QuickTime).
  LoopHook closeWindows = nullptr;
  LoopHook shutdownSockets = nullptr;
  LoopHook soundShutdown = nullptr;
  LoopHook quickTimeShutdown = nullptr;
};

LoopHook SetDropObjectsHook(LoopHook hook);
LoopHook SetShowDueWindowsHook(LoopHook hook);
CaptureHeldHook SetCaptureHeldHook(CaptureHeldHook hook);
TrackPointerHook SetTrackPointerHook(TrackPointerHook hook);
PreTranslateHook SetPreTranslateHook(PreTranslateHook hook);
LoopHook SetDeferredUpdatesHook(LoopHook hook);
LoopHook SetFocusIdleHook(LoopHook hook);
LoopHook SetSerialTickHook(LoopHook hook);
SocketPollHook SetSocketPollHook(SocketPollHook hook);
OpenWindowCountHook SetOpenWindowCountHook(OpenWindowCountHook hook);
MakeFrameHook SetMakeFrameHook(MakeFrameHook hook);
LoopHook SetCloseWindowsHook(LoopHook hook);
LoopHook SetShutdownSocketsHook(LoopHook hook);
LoopHook SetSoundShutdownHook(LoopHook hook);
LoopHook SetQuickTimeShutdownHook(LoopHook hook);
const MainLoopHooks& CurrentMainLoopHooks();

extern "C" {
// Runs turns until the quit flag is set, or until no window is open and the
// application is not in MDI mode (checked before every turn, the first
// included), then runs the exit steps.
void RuntimeRun();
// One pass of background work for long operations of the compiled code:
// polls the sockets (ownerless ones only) when the switch is on. It never
// dispatches messages, and an exception it raises stays pending for the
// compiled caller.
void RuntimeBackgroundTask();
}
void RuntimeSetBackgroundSocketPoll(bool on);  // on at start

// One turn of the loop. It waits for a message at most maxWaitMs (INFINITE:
// as long as it takes; 0: not at all). WM_QUIT sets the quit flag and its
// wParam as the exit code.
void RuntimeRunTurn(DWORD maxWaitMs);

bool RuntimeQuitRequested();
void RuntimeRequestQuit();
// 0 normally; WM_QUIT's wParam; 1 after an unhandled exception.
int32_t RuntimeExitCode();

// Hands an exception that no compiled frame took to the handler; nothing
// when none is pending.
void RuntimeHandOverPendingException();

// Start-up's OleInitialize (once until the exit steps); remembers whether it
// succeeded, which is when the exit steps call OleUninitialize.
void RuntimeStartOle();

// The exit steps, once per run: the window system closes its windows and the
// host destroys the MDI frame; then sockets, sound, OLE and QuickTime shut
// down. The quit flag is set first.
void RunExitSteps();
bool ExitStepsDone();

// What the test fixture saves and restores around each test.
struct MainLoopState {
  MainLoopHooks hooks;
  bool quitRequested;
  int32_t exitCode;
  bool backgroundSocketPoll;
};
MainLoopState SaveMainLoopState();
void RestoreMainLoopState(const MainLoopState& state);
// For programs that run the application more than once (test programs):
// after the exit steps, starts OLE again and lets the next run's exit steps
// run. Nothing when the exit steps have not run.
void RuntimeReopenAfterExitSteps();
