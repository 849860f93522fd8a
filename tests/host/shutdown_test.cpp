// Shutdown hooks.
#include <gtest/gtest.h>

#include <string>

#include "host/RuntimeMain.h"

namespace {

std::string destroyed;

class LoggingHook : public ShutdownHook {
 public:
  explicit LoggingHook(char name, ShutdownHook* alsoDelete = nullptr, bool makeAnother = false)
      : ShutdownHook("LoggingHook"), name_(name), alsoDelete_(alsoDelete), makeAnother_(makeAnother) {}
  ~LoggingHook() override {
    destroyed += name_;
    delete alsoDelete_;
    if (makeAnother_) new LoggingHook(char(name_ + 32));
  }

 private:
  char name_;
  ShutdownHook* alsoDelete_;
  bool makeAnother_;
};

TEST(ShutdownHookTest, RunsNewestFirstAndSkipsDeletedHooks) {
  destroyed.clear();
  new LoggingHook('A');
  auto* b = new LoggingHook('B');
  new LoggingHook('C');
  delete b;
  EXPECT_EQ(destroyed, "B");

  RunShutdownHooks();
  EXPECT_EQ(destroyed, "BCA");
  RunShutdownHooks();
  EXPECT_EQ(destroyed, "BCA");
}

TEST(ShutdownHookTest, DestructorsMayDeleteOlderHooksOrMakeNewOnes) {
  destroyed.clear();
  auto* older = new LoggingHook('O');
  new LoggingHook('M');
  new LoggingHook('N', older, true);

  RunShutdownHooks();
  // N deletes O (unlinking it) and makes n, which runs next; then M.
  EXPECT_EQ(destroyed, "NOnM");
}

}  // namespace
