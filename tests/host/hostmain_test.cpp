// RuntimeHostMain as a program's WinMain calls it.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/diagnostics.h"
#include "host/ResourceManagerCommon.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

int applicationRuns = 0;

void QuittingApplication() {
  ++applicationRuns;
  RuntimeInit();
  SetOpenWindowCountHook([] { return 1; });
  PostQuitMessage(5);
  RuntimeRun();
}

class HostMainTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    applicationRuns = 0;
  }
  // Starts the test program's own run-time again, as the environment did.
  void TearDown() override {
    std::string error;
    EXPECT_TRUE(RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) << error;
    HostTest::TearDown();
  }
};

TEST_F(HostMainTest, RunsTheApplicationAndGivesItsExitCode) {
  EXPECT_EQ(RuntimeHostMain(GetModuleHandleW(nullptr), GetCommandLineA(), QuittingApplication), 5);
  EXPECT_EQ(applicationRuns, 1);
  EXPECT_TRUE(ExitStepsDone());
}

TEST_F(HostMainTest, ADamagedImageEndsWithThreeAndNoApplication) {
  HMODULE damaged = LoadLibraryW(L"damaged_image.dll");
  ASSERT_NE(damaged, nullptr);
  EXPECT_EQ(RuntimeHostMain(damaged, GetCommandLineA(), QuittingApplication), 3);
  EXPECT_EQ(applicationRuns, 0);
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts(),
            std::vector<std::string>{"The application image is damaged and cannot be run."});
  EXPECT_EQ(ResourceManager::Count(), 0u);
  FreeLibrary(damaged);
}

}  // namespace
