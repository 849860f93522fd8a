#include "testsupport/BoxRecordingTest.h"

#include "core/diagnostics.h"

void BoxRecordingTest::SetUp() {
  TakeRecordedBoxes();
  TakeRecordedFatalExits();
}

void BoxRecordingTest::TearDown() {
  for (const RecordedBox& box : TakeRecordedBoxes()) {
    ADD_FAILURE() << "A message box was recorded and not checked: " << box.caption << ": "
                  << box.text;
  }
  TakeRecordedFatalExits();
}
