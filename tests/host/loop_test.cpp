// The main loop, its slots, the application object and the exception frame.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/utility.h"
#include "host/ResourceManagerCommon.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "tests/host/HostTestSupport.h"

namespace {

std::vector<std::string> calls;

class LoopTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    calls.clear();
  }
};

int OneWindow() { return 1; }

// ---- The application object -------------------------------------------------

struct OpenRecord {
  int calls = 0;
  RuntimeObject* app = nullptr;
  std::string text128;
  bool found129 = true;
  bool foundLowerCase = true;
} openRecord;

void OnOpenReadResources(RuntimeObject* app) {
  ++openRecord.calls;
  openRecord.app = app;
  if (auto text = ResourceManager::Find(FourCharCode("TEXT"), 128)) {
    openRecord.text128.assign(reinterpret_cast<const char*>(text->data), text->length);
  }
  openRecord.found129 = ResourceManager::Find(FourCharCode("TEXT"), 129).has_value();
  openRecord.foundLowerCase = ResourceManager::Find(FourCharCode("text"), 128).has_value();
}

TEST_F(LoopTest, OpenRunsOnceWithTheAppObjectAndReadsResources) {
  LoadTestImage("", {{FourCharCode("TEXT"), 128, "hello"}});
  ClassBuilder builder(GetApplicationClassDefinition(), "ResourceReadingApp");
  builder.Handle("Open", &OnOpenReadResources);
  ObjectRef app = ObjectRef::Adopt(builder.NewInstance());
  openRecord = {};

  RuntimeRegisterAppObject(app.get());
  EXPECT_EQ(openRecord.calls, 1);
  EXPECT_EQ(openRecord.app, app.get());
  EXPECT_EQ(openRecord.text128, "hello");
  EXPECT_FALSE(openRecord.found129);
  EXPECT_FALSE(openRecord.foundLowerCase);

  // The host keeps one reference until the end.
  EXPECT_EQ(RuntimeAppObject(), app.get());
  EXPECT_EQ(app->refCount, 2);
  ReleaseAppObject();
  EXPECT_EQ(app->refCount, 1);
}

void OnOpenQuit(RuntimeObject*) { ApplicationQuit(); }
void CountTurn() { calls.push_back("turn"); }

TEST_F(LoopTest, QuitInOpenEndsBeforeTheFirstTurn) {
  ClassBuilder builder(GetApplicationClassDefinition(), "QuittingApp");
  builder.Handle("Open", &OnOpenQuit);
  ObjectRef app = ObjectRef::Adopt(builder.NewInstance());
  SetOpenWindowCountHook(OneWindow);
  SetDropObjectsHook(CountTurn);

  RuntimeRegisterAppObject(app.get());
  EXPECT_TRUE(RuntimeQuitRequested());
  EXPECT_FALSE(RuntimeExceptionPending());
  RuntimeRun();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(RuntimeExitCode(), 0);
  // The object's class goes with the builder at the end of this scope.
  ReleaseAppObject();
}

// ---- Unhandled exceptions ---------------------------------------------------

HRESULT comInSound = E_FAIL;
HRESULT comInQuickTime = E_FAIL;

HRESULT ProbeCom() {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(result)) CoUninitialize();
  return result;
}

void FakeCloseWindows() { calls.push_back("CloseWindows"); }
void FakeSockets() { calls.push_back("Sockets"); }
void FakeSound() {
  calls.push_back("Sound");
  comInSound = ProbeCom();
}
void FakeQuickTime() {
  calls.push_back("QuickTime");
  comInQuickTime = ProbeCom();
}
void FakeDeferredUpdates() { calls.push_back("DeferredUpdates"); }

void InstallFakeExitSteps() {
  SetCloseWindowsHook(FakeCloseWindows);
  SetShutdownSocketsHook(FakeSockets);
  SetSoundShutdownHook(FakeSound);
  SetQuickTimeShutdownHook(FakeQuickTime);
}

TEST_F(LoopTest, AnUnhandledExceptionEndsTheTurnShowsItsClassAndExitsWithOne) {
  InstallFakeExitSteps();
  SetOpenWindowCountHook(OneWindow);
  SetDeferredUpdatesHook(FakeDeferredUpdates);
  LambdaTask failing(2, [] {
    calls.push_back("raise");
    RaiseNilObjectException();
  });

  RuntimeRun();

  EXPECT_EQ(failing.runs, 1);
  // The loop stops in the turn of the raise: no DeferredUpdates after it.
  ASSERT_FALSE(calls.empty());
  auto raised = std::find(calls.begin(), calls.end(), "raise");
  ASSERT_NE(raised, calls.end());
  std::vector<std::string> after(raised + 1, calls.end());
  EXPECT_EQ(after, (std::vector<std::string>{"CloseWindows", "Sockets", "Sound", "QuickTime"}));
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts(),
            std::vector<std::string>{"An exception of class NilObjectException was not "
                                     "handled.\r\nThe application must shut down."});
  EXPECT_EQ(RuntimeExitCode(), 1);
  // OLE is shut down after sound and before QuickTime.
  EXPECT_EQ(comInSound, S_FALSE);
  EXPECT_EQ(comInQuickTime, S_OK);
}

TEST_F(LoopTest, TheHandlerNamesTheExceptionsOwnClass) {
  ClassBuilder custom(GetRuntimeExceptionClassDefinition(), "CustomFailure");
  ObjectRef failure = ObjectRef::Adopt(custom.NewInstance());
  RuntimeRaiseException(failure.get());
  RuntimeHandOverPendingException();
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts(),
            std::vector<std::string>{"An exception of class CustomFailure was not "
                                     "handled.\r\nThe application must shut down."});
  EXPECT_TRUE(RuntimeQuitRequested());
}

void QuitFromFocusIdle() {
  calls.push_back("FocusIdle");
  ApplicationQuit();
}

TEST_F(LoopTest, EndExceptionFromASlotClosesTheWindowsAndQuitsQuietly) {
  InstallFakeExitSteps();
  SetOpenWindowCountHook(OneWindow);
  SetFocusIdleHook(QuitFromFocusIdle);
  PostMessageW(nullptr, WM_NULL, 0, 0);  // the first turn need not wait
  RuntimeRun();
  EXPECT_EQ(calls, (std::vector<std::string>{"FocusIdle", "CloseWindows", "CloseWindows", "Sockets",
                                             "Sound", "QuickTime"}));
  EXPECT_EQ(RuntimeExitCode(), 0);
  EXPECT_TRUE(RuntimeTestEnvironment::TakeRecordedTexts().empty());
}

TEST_F(LoopTest, WMQuitEndsTheLoopWithItsExitCode) {
  SetOpenWindowCountHook(OneWindow);
  PostQuitMessage(7);
  RuntimeRun();
  EXPECT_EQ(RuntimeExitCode(), 7);
  EXPECT_TRUE(ExitStepsDone());
}

// ---- Slots ------------------------------------------------------------------

void Record(const char* name) { calls.push_back(name); }

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) calls.push_back("dispatch");
  if (message == WM_CHAR) calls.push_back("char " + std::to_string(wParam));
  return DefWindowProcW(window, message, wParam, lParam);
}

class TestWindow {
 public:
  TestWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HostLoopTestWindow";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"HostLoopTestWindow", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~TestWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

TEST_F(LoopTest, ATurnRunsEverySlotInOrder) {
  TestWindow window;
  SetDropObjectsHook([] { Record("DropObjects"); });
  SetShowDueWindowsHook([] { Record("ShowDueWindows"); });
  SetCaptureHeldHook([] {
    Record("CaptureHeld");
    return false;
  });
  SetTrackPointerHook([](const MSG& message) {
    if (message.message == WM_APP) Record("TrackPointer");
  });
  SetPreTranslateHook([](MSG& message) {
    if (message.message == WM_APP) Record("PreTranslate");
    return false;
  });
  SetDeferredUpdatesHook([] { Record("DeferredUpdates"); });
  SetFocusIdleHook([] { Record("FocusIdle"); });
  SetSerialTickHook([] { Record("SerialTick"); });
  SetSocketPollHook([](bool ownerlessOnly) {
    Record(ownerlessOnly ? "SocketPoll(true)" : "SocketPoll(false)");
    return false;
  });

  PostMessageW(window.get(), WM_APP, 0, 0);
  ASSERT_TRUE(RuntimeTestEnvironment::RunUntil(
      [] { return std::find(calls.begin(), calls.end(), "dispatch") != calls.end(); }, 2000));
  size_t track = size_t(std::find(calls.begin(), calls.end(), "TrackPointer") - calls.begin());
  ASSERT_GE(track, 3u);
  std::vector<std::string> turn(calls.begin() + (track - 3), calls.end());
  EXPECT_EQ(turn, (std::vector<std::string>{"DropObjects", "ShowDueWindows", "CaptureHeld",
                                            "TrackPointer", "PreTranslate", "dispatch",
                                            "DeferredUpdates", "FocusIdle", "SerialTick",
                                            "SocketPoll(false)"}));
}

TEST_F(LoopTest, SettingASlotGivesThePreviousFunction) {
  LoopHook first = [] {};
  LoopHook second = [] {};
  SetFocusIdleHook(nullptr);  // start-up filled it; the fixture puts it back
  EXPECT_EQ(SetFocusIdleHook(first), nullptr);
  EXPECT_EQ(SetFocusIdleHook(second), first);
  EXPECT_EQ(CurrentMainLoopHooks().focusIdle, second);
}

TEST_F(LoopTest, AConsumedMessageIsNotDispatched) {
  TestWindow window;
  SetPreTranslateHook([](MSG& message) { return message.message == WM_APP; });
  PostMessageW(window.get(), WM_APP, 0, 0);
  PostMessageW(window.get(), WM_CHAR, 'x', 0);
  ASSERT_TRUE(RuntimeTestEnvironment::RunUntil([] { return !calls.empty(); }, 2000));
  EXPECT_EQ(calls, std::vector<std::string>{"char 120"});
}

TEST_F(LoopTest, WhileTheCaptureIsHeldATurnPollsInsteadOfWaiting) {
  SetCaptureHeldHook([] { return true; });
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  ULONGLONG start = GetTickCount64();
  RuntimeRunTurn(INFINITE);
  EXPECT_LT(GetTickCount64() - start, 1000u);
}

TEST_F(LoopTest, WideCharactersReachAUnicodeWindowWhole) {
  TestWindow window;
  PostMessageW(window.get(), WM_CHAR, 0x03A9, 0);
  ASSERT_TRUE(RuntimeTestEnvironment::RunUntil([] { return !calls.empty(); }, 2000));
  EXPECT_EQ(calls, std::vector<std::string>{"char 937"});
}

int ownerlessPolls = 0;
int otherPolls = 0;
bool CountPoll(bool ownerlessOnly) {
  ++(ownerlessOnly ? ownerlessPolls : otherPolls);
  return false;
}

TEST_F(LoopTest, TheBackgroundTaskPollsOwnerlessSocketsWhileSwitchedOn) {
  SetSocketPollHook(CountPoll);
  ownerlessPolls = otherPolls = 0;
  RuntimeBackgroundTask();
  RuntimeBackgroundTask();
  EXPECT_EQ(ownerlessPolls, 2);
  RuntimeSetBackgroundSocketPoll(false);
  RuntimeBackgroundTask();
  EXPECT_EQ(ownerlessPolls, 2);
  EXPECT_EQ(otherPolls, 0);
}

}  // namespace
