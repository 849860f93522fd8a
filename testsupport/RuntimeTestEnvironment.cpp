// Start-up and end of the run-time around a test program, and the per-test
// reset of the host.
#include "testsupport/RuntimeTestEnvironment.h"

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "host/ResourceManagerCommon.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "runtime/RuntimeSetup.h"

namespace {

size_t startupResourceCount = 0;
std::wstring startupCaption;

}  // namespace

void RuntimeTestEnvironment::SetUp() {
  SetMessageBoxRecording(true);
  InstallRuntimeSubsystems();
  std::string error;
  bool started = RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error);
  startupResourceCount = ResourceManager::Count();
  startupCaption = ResourceManager::Caption();
  ASSERT_TRUE(started) << error;
}

void RuntimeTestEnvironment::TearDown() { RuntimeHostFinish(); }

size_t RuntimeTestEnvironment::StartupResourceCount() { return startupResourceCount; }
const std::wstring& RuntimeTestEnvironment::StartupCaption() { return startupCaption; }

std::vector<std::string> RuntimeTestEnvironment::TakeRecordedTexts() {
  std::vector<std::string> texts;
  for (RecordedBox& box : TakeRecordedBoxes()) texts.push_back(std::move(box.text));
  return texts;
}

void RuntimeTestEnvironment::RunTurns(int n) {
  for (int i = 0; i < n; ++i) RuntimeRunTurn(0);
}

bool RuntimeTestEnvironment::RunUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!predicate()) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline || RuntimeQuitRequested()) return predicate();
    RuntimeRunTurn(DWORD(deadline - now));
  }
  return true;
}

void HostTest::SetUp() {
  saved_ = SaveMainLoopState();
  BoxRecordingTest::SetUp();
}

void HostTest::TearDown() {
  BoxRecordingTest::TearDown();
  RuntimeUnlockObject(RuntimeTakePendingException());
  ReleaseAppObject();
  DestroyMDIFrame();
  RuntimeReopenAfterExitSteps();
  RestoreMainLoopState(saved_);
}
