// Pixels and HIMETRIC, and DLL versions read from DLLs of the tests' own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/Conversions.h"

namespace {

std::wstring NextToTheTests(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

using ConversionTest = HostTest;

TEST_F(ConversionTest, AnInchOfPixelsIs2540AndPixelsSurviveTheRoundTrip) {
  HDC screen = GetDC(nullptr);
  const int32_t perInchX = GetDeviceCaps(screen, LOGPIXELSX);
  const int32_t perInchY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  int32_t x = perInchX, y = perInchY;
  ConvertPixelsHimetric(&x, &y, true);
  EXPECT_EQ(x, 2540);
  EXPECT_EQ(y, 2540);

  for (int32_t pixels = 0; pixels <= 2000; ++pixels) {
    int32_t value = pixels;
    ConvertPixelsHimetric(&value, nullptr, true);
    ConvertPixelsHimetric(&value, nullptr, false);
    ASSERT_LE(std::abs(value - pixels), 1) << pixels;
  }
}

TEST_F(ConversionTest, DllVersionIsMajorAndMinorOrZero) {
  EXPECT_EQ(GetDllVersion(NextToTheTests(L"kv_version_test.dll").c_str()), 0x00040048u);
  EXPECT_EQ(GetDllVersion(NextToTheTests(L"kv_version_noexport.dll").c_str()), 0u);
  EXPECT_EQ(GetDllVersion(L"kv_no_such_library.dll"), 0u);
  EXPECT_EQ(GetDllVersion(nullptr), 0u);
  EXPECT_EQ(GetModuleHandleW(L"kv_version_test.dll"), nullptr) << "the DLL is freed";
}

}  // namespace
