// Start-up, the platform, ticks and the MDI frame.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/RuntimeExceptionFoundation.h"
#include "core/utility.h"
#include "host/ResourceManagerCommon.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "tests/host/HostTestSupport.h"

namespace {

class StartupTest : public HostTest {};

TEST_F(StartupTest, ScriptFollowsTheUserLanguage) {
  EXPECT_EQ(SystemScriptOfLanguage(1041), 13);
  for (uint16_t chinese : {1028, 2052, 3076, 4100}) {
    EXPECT_EQ(SystemScriptOfLanguage(chinese), 21) << chinese;
  }
  for (uint16_t other : {1033, 1031, 1042, 0}) EXPECT_EQ(SystemScriptOfLanguage(other), 0) << other;
  EXPECT_EQ(RuntimeSystemScript(), SystemScriptOfLanguage(GetUserDefaultLangID()));
}

TEST_F(StartupTest, DefaultPrefixIsNTButNotVersion51SoNoThemeLibrary) {
  EXPECT_TRUE(IsWindowsNT());
  EXPECT_FALSE(IsWindowsXP());
  EXPECT_EQ(ThemeLibraryHandle(), nullptr);
  EXPECT_EQ(RuntimeInstanceHandle(), GetModuleHandleW(nullptr));
}

TEST_F(StartupTest, TicksCountFromProcessStart) {
  uint32_t ticks = MacTickCount();
  EXPECT_LT(ticks, 3600u);

  FILETIME created, exited, kernel, user, now;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER start{{created.dwLowDateTime, created.dwHighDateTime}};
  ULARGE_INTEGER current{{now.dwLowDateTime, now.dwHighDateTime}};
  uint64_t sinceProcessStart = (current.QuadPart - start.QuadPart) / 10000 * 60 / 1000;
  EXPECT_LE(ticks, sinceProcessStart + 2);
}

class FrameTest : public HostTest {};

TEST_F(FrameTest, CaptionMakesAVisibleMDIFrame) {
  LoadTestImage(u8"Größe Ω", {});
  RuntimeInit();
  HWND frame = GetMDIFrameWindow();
  ASSERT_TRUE(IsWindow(frame));
  EXPECT_TRUE(IsMDIMode());
  EXPECT_TRUE(IsWindowVisible(frame));

  RECT bounds;
  GetWindowRect(frame, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 640);
  EXPECT_EQ(bounds.bottom - bounds.top, 480);
  wchar_t caption[32] = {};
  GetWindowTextW(frame, caption, 32);
  EXPECT_STREQ(caption, L"Gr\u00F6\u00DFe \u03A9");
  EXPECT_EQ(FindWindowExW(frame, nullptr, L"MDICLIENT", nullptr), GetMDIClientWindow());
  EXPECT_NE(GetMDIClientWindow(), nullptr);

  // RuntimeInit again keeps the frame.
  RuntimeInit();
  EXPECT_EQ(GetMDIFrameWindow(), frame);
}

TEST_F(FrameTest, RunKeepsTurningInMDIModeUntilQuitAndThenDestroysTheFrame) {
  LoadTestImage("Frame", {});
  RuntimeInit();
  HWND frame = GetMDIFrameWindow();
  ASSERT_TRUE(IsWindow(frame));

  LambdaTask quitter(10, [] { ApplicationQuit(); });
  RuntimeRun();
  EXPECT_EQ(quitter.runs, 1);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(IsMDIMode());
  EXPECT_EQ(GetMDIClientWindow(), nullptr);
  EXPECT_EQ(RuntimeExitCode(), 0);
}

TEST_F(FrameTest, CloseOnTheFrameQuitsButLeavesTheFrameToTheExitSteps) {
  LoadTestImage("Frame", {});
  RuntimeInit();
  HWND frame = GetMDIFrameWindow();
  SendMessageW(frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(RuntimeQuitRequested());
  EXPECT_TRUE(IsWindow(frame));
  RuntimeRun();
  EXPECT_FALSE(IsWindow(frame));
}

HWND fakeFrameClient = nullptr;
std::wstring fakeFrameCaption;
HWND FakeMakeFrame(const wchar_t* caption, HWND* client) {
  fakeFrameCaption = caption;
  HWND frame = CreateWindowExW(0, L"STATIC", caption, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  fakeFrameClient = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, frame, nullptr,
                                    nullptr, nullptr);
  *client = fakeFrameClient;
  return frame;
}

TEST_F(FrameTest, TheMakeFrameSlotMakesTheFrameWhenSet) {
  LoadTestImage("Slot frame", {});
  SetMakeFrameHook(FakeMakeFrame);  // in place of the window system's
  RuntimeInit();
  EXPECT_EQ(fakeFrameCaption, L"Slot frame");
  EXPECT_TRUE(IsMDIMode());
  EXPECT_EQ(GetMDIClientWindow(), fakeFrameClient);
  HWND frame = GetMDIFrameWindow();
  RunExitSteps();
  EXPECT_FALSE(IsWindow(frame));
}

TEST_F(FrameTest, NoCaptionNoWindowAndRunReturnsAtOnce) {
  LoadTestImage("", {});
  RuntimeInit();
  EXPECT_FALSE(IsMDIMode());
  EXPECT_EQ(GetMDIFrameWindow(), nullptr);

  LambdaTask tick(1, [] {});
  ULONGLONG start = GetTickCount64();
  RuntimeRun();
  EXPECT_LT(GetTickCount64() - start, 500u);
  EXPECT_EQ(tick.runs, 0);
  EXPECT_TRUE(ExitStepsDone());
}

}  // namespace
