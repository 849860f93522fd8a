// Whether QuickTime is there: the registry's version as System reads it, and
// availability asked of the backend until it starts.
#include <gtest/gtest.h>

#include <string>

#include "graphics/QuickTimeMovies.h"
#include "testsupport/FakeQuickTime.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

constexpr char kKey[] = "Software\\Apple Computer, Inc.\\QuickTime";

class QuickTimeTest : public HostTest {
 protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    HostTest::TearDown();
  }
};

TEST_F(QuickTimeTest, TheInstalledVersionIsTheRegistrysWhenNotZero) {
  struct Row {
    const char* name;
    DWORD type;  // REG_NONE: no key
    DWORD value;
    bool installed;
    int32_t version;
  };
  const Row rows[] = {
      {"no key", REG_NONE, 0, false, 99},
      {"version 7", REG_DWORD, 0x07000000, true, 0x07000000},
      {"zero", REG_DWORD, 0, false, 0},
      {"a string", REG_SZ, 0, true, -1},
  };
  for (const Row& row : rows) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    if (row.type != REG_NONE) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
                ERROR_SUCCESS);
      const BYTE text[] = "7.0";
      RegSetValueExA(key, "Version", 0, row.type,
                     row.type == REG_DWORD ? reinterpret_cast<const BYTE*>(&row.value) : text,
                     row.type == REG_DWORD ? sizeof row.value : sizeof text);
      RegCloseKey(key);
    }
    int32_t version = 99;
    EXPECT_EQ(QuickTimeInstalledVersion(false, &version), row.installed) << row.name;
    EXPECT_EQ(version, row.version) << row.name;
  }
}

TEST_F(QuickTimeTest, AvailabilityIsAskedUntilQuickTimeStarts) {
  for (int call = 0; call < 3; ++call) EXPECT_FALSE(QuickTimeAvailable());
  FakeQuickTime fake;
  fake.loads = false;
  for (int call = 0; call < 3; ++call) EXPECT_FALSE(QuickTimeAvailable());
  EXPECT_EQ(fake.loadCalls, 3);
  fake.loads = true;
  EXPECT_TRUE(QuickTimeAvailable());
  EXPECT_TRUE(QuickTimeAvailable());
  EXPECT_TRUE(QuickTimeInstalledVersion(true, nullptr));
  EXPECT_EQ(fake.loadCalls, 4);
  QuickTimeShutdown();
}

}  // namespace
