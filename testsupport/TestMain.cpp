// The main of the core's test program: no modal box may block a test, so the
// run-time's boxes and fatal exits are recorded; the core classes are
// registered as at start-up.
#include <gtest/gtest.h>

#include "core/CoreClasses.h"
#include "core/diagnostics.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetMessageBoxRecording(true);
  RegisterCoreClasses();
  return RUN_ALL_TESTS();
}
