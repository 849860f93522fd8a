// Periodic tasks and the wake-up of a waiting main loop, both served by the
// run-time's hidden "WinTimerClass" window.
//
// A task's timer is a Win32 timer on that window, so tasks run wherever
// messages are dispatched: in the main loop and inside modal loops alike. Every
// task gets a timer id of its own that is never reused; a WM_TIMER looks its
// task up by that id, so a message queued before its task died finds nothing
// and is ignored. Everything here belongs to the main thread, except
// WakeMainLoop.
#pragma once
#include <windows.h>

#include <cstdint>

// Registers "WinTimerClass" and creates its hidden top-level window, once;
// later calls give the same window. Null when the window cannot be made.
HWND StartTimerWindow(HINSTANCE instance);
HWND TimerWindow();  // null before StartTimerWindow

// An idle-time task whose Run is called every `period` ticks (1/60 s): the
// timer fires every period * 1000 / 60 ms (integer division). A period below
// 1 is reported through AssertionFailed and counts as 1.
//
// Run is never re-entered, and a task may delete itself inside Run. After
// every Run an exception that the task left pending goes to the host's
// unhandled-exception handler.
class PeriodicTask {
 public:
  explicit PeriodicTask(int32_t period);
  // Stops the timer and takes the task out of the global list.
  virtual ~PeriodicTask();
  PeriodicTask(const PeriodicTask&) = delete;
  PeriodicTask& operator=(const PeriodicTask&) = delete;

  virtual void Run() = 0;

  int32_t Period() const { return period_; }
  // The timer's interval in milliseconds.
  uint32_t IntervalMs() const;

 private:
  friend void RunTaskOfTimer(uintptr_t timerId);

  int32_t period_;
  uintptr_t timerId_;
  bool running_ = false;
  bool* destroyedWhileRunning_ = nullptr;  // the running caller's flag
};

// Runs the task that owns the timer id, unless tasks are held, the task is
// gone or it is already running. The timer window calls it on WM_TIMER.
void RunTaskOfTimer(uintptr_t timerId);

// While a hold exists no task runs (their WM_TIMER messages are dropped).
// The unhandled-exception handler holds tasks while its box is up, since the
// box's modal loop would otherwise run them.
class PeriodicTaskHold {
 public:
  PeriodicTaskHold();
  ~PeriodicTaskHold();
  PeriodicTaskHold(const PeriodicTaskHold&) = delete;
  PeriodicTaskHold& operator=(const PeriodicTaskHold&) = delete;
};
bool PeriodicTasksHeld();

extern "C" {
// Posts WM_NULL to the timer window, so that a main loop waiting for a
// message turns. At most one such message is queued at a time. The only host
// call that may come from another thread.
void WakeMainLoop();
}
