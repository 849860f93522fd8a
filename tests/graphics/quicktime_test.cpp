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
  const DWORD seven = 0x07000000;
  const DWORD zero = 0;
  const struct {
    DWORD type;
    const void* value;  // nil: no key
    DWORD size;
    bool installed;
    int32_t version;
  } rows[] = {
      {REG_NONE, nullptr, 0, false, 99},
      {REG_DWORD, &seven, 4, true, 0x07000000},
      {REG_DWORD, &zero, 4, false, 0},
      {REG_SZ, "7.0", 4, true, -1},
  };
  for (const auto& row : rows) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    if (row.value)
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "Version", row.type, row.value, row.size);
    int32_t version = 99;
    EXPECT_EQ(QuickTimeInstalledVersion(false, &version), row.installed) << row.version;
    EXPECT_EQ(version, row.version);
  }
}

TEST_F(QuickTimeTest, AvailabilityIsAskedUntilQuickTimeStarts) {
  AbsentQuickTime absent;
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

namespace {

TEST_F(QuickTimeTest, ThePlatformsStandInIsAvailableButNotReportedAsQuickTime) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_TRUE(QuickTimeAvailable());
  EXPECT_TRUE(QuickTimeInstalledVersion(true, nullptr));
  int32_t version = 99;
  EXPECT_FALSE(QuickTimeInstalledVersion(false, &version));
  EXPECT_EQ(version, 99);
}

}  // namespace
