// Base of test fixtures whose code may show message boxes or assertions:
// the test main has switched recording on, and a test that leaves a recorded
// box it did not take fails. Portable; the host's HostTest builds on it.
#pragma once
#include <gtest/gtest.h>

class BoxRecordingTest : public ::testing::Test {
 protected:
  // Drops boxes and fatal exits recorded before the test.
  void SetUp() override;
  // Fails the test for each box still recorded.
  void TearDown() override;
};
