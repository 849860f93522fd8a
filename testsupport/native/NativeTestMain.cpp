// The main of the native test programs: what the Windows test programs'
// start-up does for the portable units. Boxes and fatal exits are recorded,
// the core classes and the shape classes are registered.
#include <gtest/gtest.h>

#include "core/CoreClasses.h"
#include "core/diagnostics.h"
#include "graphics/Shapes2D.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetMessageBoxRecording(true);
  RegisterCoreClasses();
  InitObject2DClasses();
  return RUN_ALL_TESTS();
}
