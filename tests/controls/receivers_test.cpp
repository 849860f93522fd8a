// The recording receivers the control tests add to controls: each logs the
// notification it gets under its own tag, whichever interface it comes by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/RecordingReceivers.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"

namespace {

class RecordingReceiverTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    TakeLog();
  }
  void TearDown() override {
    ReceiverListClear(&list_);
    HostTest::TearDown();
  }
  ReceiverList list_{};
};

TEST_F(RecordingReceiverTest, EachReceiverLogsEveryNotificationUnderItsTag) {
  ObjectRef data = NewRecordingReceiver("data");
  ObjectRef ok = NewRecordingReceiver("ok");
  ReceiverListAdd(&list_, data.get());
  ReceiverListAdd(&list_, ok.get());

  NotifyDataChanged(&list_);
  NotifyPerformAction(&list_);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"ok.DataChanged", "data.DataChanged",
                                                 "ok.PerformAction", "data.PerformAction"}));
}

}  // namespace
