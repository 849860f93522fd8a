// The process-wide lock of file transfers: which operations wait for it, and
// its making at start-up.
#include <chrono>
#include <functional>
#include <thread>

#include "FilesTestSupport.h"

namespace {

constexpr int kHoldMs = 200;
constexpr int kMinimumWaitMs = 150;

// Another thread holds the lock for kHoldMs from construction on.
class LockHolder {
 public:
  LockHolder() : held_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] {
      EnterFileStreamLock();
      SetEvent(held_);
      Sleep(kHoldMs);
      LeaveFileStreamLock();
    });
    WaitForSingleObject(held_, INFINITE);
  }
  ~LockHolder() {
    thread_.join();
    CloseHandle(held_);
  }

 private:
  HANDLE held_;
  std::thread thread_;
};

int64_t MillisecondsTaken(const std::function<void()>& operation) {
  const auto start = std::chrono::steady_clock::now();
  operation();
  const auto taken = std::chrono::steady_clock::now() - start;
  return std::chrono::duration_cast<std::chrono::milliseconds>(taken).count();
}

using FileStreamLockTest = FilesTest;

TEST_F(FileStreamLockTest, StartUpMadeTheLockBeforeAnyStreamUsedIt) {
  EXPECT_TRUE(FileStreamLockMadeByInit());
}

TEST_F(FileStreamLockTest, TransfersAndPointerMovesWaitForTheLock) {
  auto stream = StreamOn(L"locked.bin", "abcdef");
  const std::pair<const char*, std::function<void()>> operations[] = {
      {"Read", [&] { char b; stream->Read(&b, 1, nullptr); }},
      {"Write", [&] { stream->Write("x", 1); }},
      {"SetPosition", [&] { stream->SetPosition(1); }},
      {"GetPosition", [&] { stream->GetPosition(); }},
  };
  for (const auto& operation : operations) {
    SCOPED_TRACE(operation.first);
    LockHolder holder;
    EXPECT_GE(MillisecondsTaken(operation.second), kMinimumWaitMs);
  }
}

// The lock covers the transfers alone: asking for the length or flushing
// while another thread holds it does not wait.
TEST_F(FileStreamLockTest, LengthAndFlushDoNotWait) {
  auto stream = StreamOn(L"free.bin", "abcdef");
  LockHolder holder;
  EXPECT_LT(MillisecondsTaken([&] {
              EXPECT_EQ(stream->GetLength(), 6);
              stream->Flush();
            }),
            kMinimumWaitMs);
}

TEST_F(FileStreamLockTest, InitialisingAgainLeavesAHeldLockHeld) {
  auto stream = StreamOn(L"again.bin", "abcdef");
  LockHolder holder;
  EXPECT_GE(MillisecondsTaken([&] {
              InitFileStreamLock();
              char b;
              stream->Read(&b, 1, nullptr);
            }),
            kMinimumWaitMs);
}

}  // namespace
