// Waking a main loop that waits for messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "host/RunTimer.h"
#include "host/runtimemainloop.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

int wakeMessagesSeen = 0;
int nullsAtTestWindow = 0;

void CountWake(const MSG& message) {
  if (message.hwnd == TimerWindow() && message.message == WM_NULL) ++wakeMessagesSeen;
}

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NULL) ++nullsAtTestWindow;
  return DefWindowProcW(window, message, wParam, lParam);
}

void DrainQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

class WakeTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    wakeMessagesSeen = nullsAtTestWindow = 0;
    SetTrackPointerHook(CountWake);
  }
};

TEST_F(WakeTest, AnotherThreadWakesAWaitingTurnThroughTheTimerWindowOnly) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"HostWakeTestWindow";
  RegisterClassW(&windowClass);
  HWND bystander = CreateWindowExW(0, L"HostWakeTestWindow", L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(bystander, nullptr);
  DrainQueue();

  std::thread waker([] {
    Sleep(200);
    WakeMainLoop();
  });
  const ULONGLONG start = GetTickCount64();
  while (wakeMessagesSeen == 0 && GetTickCount64() - start < 2000) RuntimeRunTurn(INFINITE);
  const ULONGLONG waited = GetTickCount64() - start;
  waker.join();

  EXPECT_EQ(wakeMessagesSeen, 1);
  EXPECT_LT(waited, 2000u);
  RuntimeTestEnvironment::RunTurns(5);
  EXPECT_EQ(nullsAtTestWindow, 0);
  DestroyWindow(bystander);
}

int QueuedWakeMessages() {
  int count = 0;
  MSG message;
  while (PeekMessageW(&message, TimerWindow(), 0, 0, PM_REMOVE)) {
    if (message.message == WM_NULL) ++count;
    DispatchMessageW(&message);
  }
  return count;
}

TEST_F(WakeTest, AtMostOneWakeMessageIsQueued) {
  DrainQueue();
  for (int i = 0; i < 100; ++i) WakeMainLoop();
  EXPECT_EQ(QueuedWakeMessages(), 1);
  // Once it arrived, the next call posts again.
  WakeMainLoop();
  EXPECT_EQ(QueuedWakeMessages(), 1);
}

TEST_F(WakeTest, AnEmptyMessageFromElsewhereDoesNotLetASecondWakeQueue) {
  DrainQueue();
  WakeMainLoop();
  SendMessageW(TimerWindow(), WM_NULL, 0, 0);
  WakeMainLoop();
  EXPECT_EQ(QueuedWakeMessages(), 1);
}

}  // namespace
