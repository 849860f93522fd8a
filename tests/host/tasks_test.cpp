// Periodic tasks on the timer window.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "host/RunTimer.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "tests/host/HostTestSupport.h"

namespace {

using Env = RuntimeTestEnvironment;

class TaskTest : public HostTest {};

TEST_F(TaskTest, TasksRunAtTheirPeriodDuringRun) {
  SetOpenWindowCountHook([] { return 1; });
  LambdaTask six(6, [] {});
  LambdaTask one(1, [] {});
  LambdaTask quitter(60, [] { ApplicationQuit(); });

  RuntimeRun();

  EXPECT_EQ(quitter.runs, 1);
  EXPECT_GE(six.runs, 5);
  EXPECT_LE(six.runs, 15);
  EXPECT_GE(one.runs, 30);
  EXPECT_LE(one.runs, 70);
  EXPECT_TRUE(Env::TakeRecordedTexts().empty());
  EXPECT_EQ(RuntimeExitCode(), 0);
}

TEST_F(TaskTest, IntervalIsPeriodTimesThousandBySixtyAndAtLeastOneTick) {
  LambdaTask six(6, [] {});
  EXPECT_EQ(six.IntervalMs(), 100u);
  LambdaTask one(1, [] {});
  EXPECT_EQ(one.IntervalMs(), 16u);

  LambdaTask zero(0, [] {});
  EXPECT_EQ(zero.Period(), 1);
  EXPECT_EQ(zero.IntervalMs(), 16u);
  std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_TRUE(Env::RunUntil([&] { return zero.runs > 0; }, 2000));
}

int selfDeletingRuns = 0;
class SelfDeletingTask : public PeriodicTask {
 public:
  SelfDeletingTask() : PeriodicTask(1) {}
  void Run() override {
    ++selfDeletingRuns;
    delete this;
  }
};

TEST_F(TaskTest, ATaskMayDeleteItselfInRun) {
  selfDeletingRuns = 0;
  new SelfDeletingTask;
  LambdaTask witness(1, [] {});
  ASSERT_TRUE(Env::RunUntil([&] { return witness.runs >= 10; }, 3000));
  EXPECT_EQ(selfDeletingRuns, 1);
}

TEST_F(TaskTest, AQueuedTimerOfADeletedTaskIsIgnored) {
  auto task = std::make_unique<LambdaTask>(1, [] {});
  MSG timer{};
  const ULONGLONG deadline = GetTickCount64() + 2000;
  bool got = false;
  while (!got && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_TIMER, 0);
    got = PeekMessageW(&timer, TimerWindow(), WM_TIMER, WM_TIMER, PM_REMOVE);
  }
  ASSERT_TRUE(got);
  task.reset();
  // A task made now must not be taken for the dead one.
  LambdaTask successor(1000, [] {});
  DispatchMessageW(&timer);
  EXPECT_EQ(successor.runs, 0);
}

TEST_F(TaskTest, ATaskIsNotReenteredByANestedLoop) {
  int depth = 0;
  int deepest = 0;
  LambdaTask other(1, [] {});
  std::unique_ptr<LambdaTask> nesting;
  nesting = std::make_unique<LambdaTask>(1, [&] {
    ++depth;
    deepest = std::max(deepest, depth);
    if (nesting->runs == 1) {
      int start = other.runs;
      Env::RunUntil([&] { return other.runs >= start + 5; }, 2000);
    }
    --depth;
  });
  ASSERT_TRUE(Env::RunUntil([&] { return nesting->runs >= 3; }, 3000));
  EXPECT_EQ(deepest, 1);
}

TEST_F(TaskTest, HeldTasksDoNotRun) {
  LambdaTask held(1, [] {});
  {
    PeriodicTaskHold hold;
    EXPECT_TRUE(PeriodicTasksHeld());
    MSG message;
    const ULONGLONG end = GetTickCount64() + 200;
    while (GetTickCount64() < end) {
      MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, 0);
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    EXPECT_EQ(held.runs, 0);
  }
  EXPECT_FALSE(PeriodicTasksHeld());
  EXPECT_TRUE(Env::RunUntil([&] { return held.runs > 0; }, 2000));
}

bool heldInHandler = false;

TEST_F(TaskTest, TheUnhandledExceptionHandlerHoldsTasks) {
  SetCloseWindowsHook([] { heldInHandler = PeriodicTasksHeld(); });
  ApplicationQuit();
  RuntimeHandOverPendingException();
  EXPECT_TRUE(heldInHandler);
  EXPECT_FALSE(PeriodicTasksHeld());
}

HWND modalDialog = nullptr;

INT_PTR CALLBACK ModalDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    modalDialog = dialog;
    return TRUE;
  }
  return FALSE;
}

TEST_F(TaskTest, TasksRunInsideAModalLoop) {
  // An empty dialog template; DWORD-aligned, as the system asks.
  alignas(4) WORD dialogTemplate[16] = {};
  auto* header = reinterpret_cast<DLGTEMPLATE*>(dialogTemplate);
  header->style = WS_POPUP | DS_MODALFRAME;
  header->cx = 50;
  header->cy = 20;
  modalDialog = nullptr;
  LambdaTask closer(2, [] {
    if (modalDialog) EndDialog(modalDialog, 7);
  });
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), header, nullptr,
                                           ModalDialogProc, 0);
  EXPECT_EQ(result, 7);
  EXPECT_GE(closer.runs, 1);
}

}  // namespace
