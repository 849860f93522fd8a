// The application host for test programs of the host and every later
// subsystem: a GoogleTest global environment that starts the run-time as an
// application would (without calling any application code), turns of the
// real main loop, and a fixture base that puts the host back after each test.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/runtimemainloop.h"
#include "testsupport/BoxRecordingTest.h"

class RuntimeTestEnvironment : public ::testing::Environment {
 public:
  // Records message boxes and assertions (answered OK), then runs start-up
  // up to the reading of the image. A damaged image fails every test.
  void SetUp() override;
  // The end sequence: exit steps, application object, shutdown hooks,
  // temporary files.
  void TearDown() override;

  // What start-up's read of the program's own image found.
  static size_t StartupResourceCount();
  static const std::wstring& StartupCaption();

  // The texts of the boxes recorded since the last call (assertions included,
  // under the caption "Failed Assertion").
  static std::vector<std::string> TakeRecordedTexts();

  // n turns of the main loop that do not wait for messages.
  static void RunTurns(int n);
  // Turns that wait at most the time that is left, until the predicate holds
  // or timeoutMs have passed (or the application quits); gives the
  // predicate's value.
  static bool RunUntil(const std::function<bool()>& predicate, DWORD timeoutMs);
};

// Base of test fixtures that touch the host. After each test it puts back the
// loop's slots, the quit flag and the exit code, drops a pending exception,
// releases the application object, destroys an MDI frame the test made,
// starts OLE again after a RuntimeRun, and (as its base) fails the test when
// message boxes were recorded that the test did not take.
class HostTest : public BoxRecordingTest {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  MainLoopState saved_{};
};
