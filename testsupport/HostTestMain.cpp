// The main of the test programs of the host and every later subsystem: no
// modal box may block a test, and the run-time starts as an application's
// does before the first test.
#include <gtest/gtest.h>

#include "core/diagnostics.h"
#include "testsupport/RuntimeTestEnvironment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetMessageBoxRecording(true);
  testing::AddGlobalTestEnvironment(new RuntimeTestEnvironment);
  return RUN_ALL_TESTS();
}
