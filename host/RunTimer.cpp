// The timer window, the list of periodic tasks and the wake-up message.
#include "host/RunTimer.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "core/diagnostics.h"
#include "host/runtimemainloop.h"

namespace {

constexpr wchar_t kTimerClassName[] = L"WinTimerClass";

// WM_NULL carries this in wParam when WakeMainLoop posts it, so that an empty
// message from anyone else does not clear the pending flag.
constexpr WPARAM kWakeMarker = 0x4B57414B;

std::atomic<HWND> timerWindow{nullptr};
std::atomic<bool> wakePending{false};

std::vector<PeriodicTask*>& Tasks() {
  static std::vector<PeriodicTask*> tasks;
  return tasks;
}

uintptr_t nextTimerId = 1;
int32_t holdCount = 0;

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      RunTaskOfTimer(wParam);
      return 0;
    case WM_NULL:
      if (wParam == kWakeMarker) wakePending = false;
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

HWND StartTimerWindow(HINSTANCE instance) {
  if (HWND existing = timerWindow.load()) return existing;
  if (!instance) instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TimerWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kTimerClassName;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  // A hidden top-level window rather than a message-only one: a hidden
  // window of the process is what a waiting GetMessage is woken through.
  HWND window = CreateWindowExW(0, kTimerClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr);
  timerWindow = window;
  return window;
}

HWND TimerWindow() { return timerWindow.load(); }

PeriodicTask::PeriodicTask(int32_t period) : period_(period), timerId_(nextTimerId++) {
  if (period_ < 1) {
    AssertionFailed(131, 4, __FILE__, __LINE__, "period >= 1",
                    "A periodic task needs a period of at least one tick.");
    period_ = 1;
  }
  Tasks().push_back(this);
  HWND window = StartTimerWindow(nullptr);
  if (!window || !SetTimer(window, timerId_, IntervalMs(), nullptr)) {
    AssertionFailed(131, 4, __FILE__, __LINE__, "SetTimer",
                    "The timer of a periodic task could not be started.");
  }
}

PeriodicTask::~PeriodicTask() {
  if (HWND window = TimerWindow()) KillTimer(window, timerId_);
  auto& tasks = Tasks();
  tasks.erase(std::remove(tasks.begin(), tasks.end(), this), tasks.end());
  if (destroyedWhileRunning_) *destroyedWhileRunning_ = true;
}

uint32_t PeriodicTask::IntervalMs() const { return uint32_t(period_) * 1000u / 60u; }

void RunTaskOfTimer(uintptr_t timerId) {
  if (PeriodicTasksHeld()) return;
  auto& tasks = Tasks();
  auto found = std::find_if(tasks.begin(), tasks.end(),
                            [timerId](const PeriodicTask* task) { return task->timerId_ == timerId; });
  if (found == tasks.end() || (*found)->running_) return;

  PeriodicTask* task = *found;
  bool destroyed = false;
  task->running_ = true;
  task->destroyedWhileRunning_ = &destroyed;
  task->Run();
  if (!destroyed) {
    task->running_ = false;
    task->destroyedWhileRunning_ = nullptr;
  }
  RuntimeHandOverPendingException();
}

PeriodicTaskHold::PeriodicTaskHold() { ++holdCount; }
PeriodicTaskHold::~PeriodicTaskHold() { --holdCount; }
bool PeriodicTasksHeld() { return holdCount > 0; }

extern "C" void WakeMainLoop() {
  HWND window = timerWindow.load();
  if (!window || wakePending.exchange(true)) return;
  if (!PostMessageW(window, WM_NULL, kWakeMarker, 0)) wakePending = false;
}
