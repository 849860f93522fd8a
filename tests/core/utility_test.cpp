// Rectangles, byte order, ticks, the allocators and the assertion reporter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/diagnostics.h"
#include "core/platform.h"
#include "core/string.h"
#include "core/utility.h"

namespace {

MacRect Rect(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  MacRect r;
  MacSetRect(&r, left, top, right, bottom);
  return r;
}

TEST(MacRectTest, SetKeepsTopLeftBottomRightOrder) {
  MacRect r = Rect(1, 2, 3, 4);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.bottom, 4);
  EXPECT_EQ(r.right, 3);
}

TEST(MacRectTest, SectRectOverlapsAndDisjoint) {
  MacRect a = Rect(0, 0, 10, 10), b = Rect(5, 5, 20, 20), out;
  ASSERT_TRUE(MacSectRect(&a, &b, &out));
  EXPECT_EQ(out.left, 5);
  EXPECT_EQ(out.bottom, 10);

  MacRect far = Rect(30, 30, 40, 40);
  out = Rect(1, 1, 2, 2);
  EXPECT_FALSE(MacSectRect(&a, &far, &out));
  EXPECT_EQ(out.top | out.left | out.bottom | out.right, 0);

  // Touching edges share no pixel.
  MacRect touching = Rect(10, 0, 20, 10);
  EXPECT_FALSE(MacSectRect(&a, &touching, &out));

  // The output may be one of the inputs.
  ASSERT_TRUE(MacSectRect(&a, &b, &a));
  EXPECT_EQ(a.left, 5);
}

TEST(MacRectTest, PointInRectIsHalfOpen) {
  MacRect r = Rect(0, 0, 10, 10);
  EXPECT_TRUE(MacPtInRect({0, 0}, &r));
  EXPECT_TRUE(MacPtInRect({9, 9}, &r));
  EXPECT_FALSE(MacPtInRect({10, 5}, &r));
  EXPECT_FALSE(MacPtInRect({5, 10}, &r));
  EXPECT_FALSE(MacPtInRect({-1, 5}, &r));
}

TEST(MacRectTest, InsetAndOffset) {
  MacRect r = Rect(10, 10, 20, 20);
  MacInsetRect(&r, -2, 3);
  EXPECT_EQ(r.left, 8);
  EXPECT_EQ(r.right, 22);
  EXPECT_EQ(r.top, 13);
  EXPECT_EQ(r.bottom, 17);
  MacOffsetRect(&r, 5, -5);
  EXPECT_EQ(r.left, 13);
  EXPECT_EQ(r.top, 8);
  // Offsets saturate rather than wrap around.
  MacOffsetRect(&r, 32767, 0);
  EXPECT_EQ(r.right, 32767);
}

TEST(ByteOrderTest, SwapsAndBigEndianHelpers) {
  EXPECT_EQ(ByteSwap16(0x1234), 0x3412);
  EXPECT_EQ(ByteSwap32(0x12345678u), 0x78563412u);
  double d = 1.5, swapped = ByteSwapDouble(d);
  EXPECT_NE(std::memcmp(&d, &swapped, 8), 0);
  EXPECT_EQ(ByteSwapDouble(swapped), d);

  uint8_t bytes[4];
  PutBigEndian32(bytes, 0xFEEDDBDBu);
  EXPECT_EQ(bytes[0], 0xFE);
  EXPECT_EQ(bytes[3], 0xDB);
  EXPECT_EQ(GetBigEndian32(bytes), 0xFEEDDBDBu);
  PutBigEndian16(bytes, 0x8001);
  EXPECT_EQ(GetBigEndian16(bytes), 0x8001);
  EXPECT_EQ(FourCharCode("VFSv"), 0x56465376u);

  char text[] = "abcde";
  ReverseBytes(text, 5);
  EXPECT_STREQ(text, "edcba");
}

TEST(TicksTest, CountSixtiethsSinceStart) {
  uint32_t first = MacTickCount();
  EXPECT_LT(first, 60u * 60u);  // this test program started less than a minute ago
  EXPECT_GE(MacTickCount(), first);
  EXPECT_GT(MacGetDblTime(), 0u);
}

TEST(AllocatorTest, BlocksAreZeroedAndSized) {
  auto* block = static_cast<uint8_t*>(RuntimeAlloc(100));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0);
  EXPECT_EQ(RuntimeBlockSize(block), 100u);
  RuntimeFree(block);
  RuntimeFree(nullptr);
}

TEST(AllocatorTest, DamagedGuardIsReportedAndNotFreed) {
  TakeRecordedBoxes();
  void* block = RuntimeAlloc(16);
  uint32_t* header = static_cast<uint32_t*>(block) - 2;
  header[1] = 0;  // damage the guard word as a stray write would
  RuntimeFree(block);
  auto boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_NE(boxes[0].text.find("block damaged"), std::string::npos);
}

// Small guarded blocks are recycled: each comes back zero-filled with its
// own size, and a second free is still told from a damaged block and does
// not hand the same block out twice.
TEST(AllocatorTest, RecycledBlocksComeBackZeroedAndSized) {
  for (uint32_t size : {0u, 1u, 8u, 24u, 100u, 247u, 248u, 249u, 4000u}) {
    auto* first = static_cast<uint8_t*>(RuntimeAlloc(size));
    std::memset(first, 0xAB, size);
    RuntimeFree(first);
    auto* again = static_cast<uint8_t*>(RuntimeAlloc(size));
    EXPECT_EQ(RuntimeBlockSize(again), size);
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(again[i], 0) << "size " << size << " at " << i;
    auto* header = reinterpret_cast<uint32_t*>(again) - 2;
    EXPECT_EQ(header[0], size);
    RuntimeFree(again);
  }

  TakeRecordedBoxes();
  void* block = RuntimeAlloc(40);
  RuntimeFree(block);
  RuntimeFree(block);
  auto boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("block freed twice"), std::string::npos);
  void* one = RuntimeAlloc(40);
  void* other = RuntimeAlloc(40);
  EXPECT_NE(one, other);
  RuntimeFree(one);
  RuntimeFree(other);
}

// Threads allocating and freeing at once never get the same block: each
// keeps a ring of blocks filled with its own byte and finds them unchanged
// when it frees them; the live count comes back, and a count kept under a
// lock of the same kind is exact.
TEST(AllocatorTest, ThreadsAllocatingAtOnceNeverShareABlock) {
  const uint64_t liveBefore = RuntimeLiveBytes();
  platform::ShortLock lock;
  int64_t counted = 0;
  const auto work = [&](uint8_t mark) {
    constexpr size_t kRing = 16;
    uint8_t* ring[kRing] = {};
    uint32_t sizes[kRing] = {};
    for (uint32_t i = 0; i < 20000; ++i) {
      const size_t slot = i % kRing;
      if (ring[slot]) {
        for (uint32_t b = 0; b < sizes[slot]; ++b) ASSERT_EQ(ring[slot][b], mark) << "byte " << b;
        RuntimeFree(ring[slot]);
      }
      sizes[slot] = 1 + (i * 37 + mark) % 300;
      ring[slot] = static_cast<uint8_t*>(RuntimeAlloc(sizes[slot]));
      std::memset(ring[slot], mark, sizes[slot]);
      platform::ShortLockGuard guard(lock);
      ++counted;
    }
    for (uint8_t* block : ring) RuntimeFree(block);
  };
  std::vector<std::thread> threads;
  for (uint8_t mark = 1; mark <= 4; ++mark) threads.emplace_back(work, mark);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counted, 4 * 20000);
  EXPECT_EQ(RuntimeLiveBytes(), liveBefore);
}

TEST(AllocatorTest, OutOfMemoryShowsMessageAndEnds) {
  TakeRecordedBoxes();
  TakeRecordedFatalExits();
  EXPECT_EQ(RuntimeAlloc(0xFFFFFFF0u), nullptr);  // only in recording mode
  auto boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Out of memory");
  EXPECT_EQ(TakeRecordedFatalExits(), 1);
}

TEST(AllocatorTest, PoolReusesFreedBlocksZeroed) {
  auto* a = static_cast<uint8_t*>(PoolAlloc(24, false));
  std::memset(a, 0xAB, 24);
  PoolFree(a, 24);
  auto* b = static_cast<uint8_t*>(PoolAlloc(20, false));  // same size class
  EXPECT_EQ(a, b);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(b[i], 0);
  PoolFree(b, 20);
  void* big = PoolAlloc(4000, false);
  ASSERT_NE(big, nullptr);
  PoolFree(big, 4000);
}

TEST(AllocatorTest, LiveBytesCountBothAllocatorsUntilFreed) {
  const uint64_t before = RuntimeLiveBytes();
  void* guarded = RuntimeAlloc(100);
  void* small = PoolAlloc(20, false);  // a block of its size class, 24
  void* big = PoolAlloc(4000, false);
  EXPECT_EQ(RuntimeLiveBytes() - before, 4124u);
  RuntimeFree(guarded);
  PoolFree(small, 20);
  PoolFree(big, 4000);
  EXPECT_EQ(RuntimeLiveBytes(), before);
}

// Blocks taken in pairs are ordinary blocks of their allocators: sized,
// counted, never shared with another live block, freed together or one by
// one, with the guarded one replaced by any other guarded block first, and a
// second free still reported.
// The thread that took the first pair (the tests' own) gets the pairs it
// frees back as its next ones, out of reach of every other allocation, up to
// a few dozen a class; another thread's pairs go back where any allocation
// finds them. Pairs taken and freed on several threads at once stay apart,
// and the live count is exact whichever way a pair went.
TEST(AllocatorTest, PairsFreedByTheirOwningThreadAreItsOwnNextOnes) {
  constexpr uint32_t kSize = 30, kPoolSize = 20;
  struct Pair {
    void* guarded;
    void* pooled;
  };
  const auto take = [] {
    Pair pair{};
    pair.guarded = RuntimeAllocUnfilledPair(kSize, kPoolSize, &pair.pooled);
    return pair;
  };
  const uint64_t before = RuntimeLiveBytes();
  StringRecordRelease(StringFromASCII("the owner's first pair, if no test took one before"));

  const Pair first = take();
  RuntimeFreePair(first.guarded, first.pooled, kPoolSize);
  void* plain = RuntimeAlloc(kSize);
  EXPECT_NE(plain, first.guarded);
  const Pair again = take();
  EXPECT_EQ(again.guarded, first.guarded);
  EXPECT_EQ(again.pooled, first.pooled);
  RuntimeFreePair(again.guarded, again.pooled, kPoolSize);
  RuntimeFree(plain);

  std::thread([&] {
    const Pair other = take();
    RuntimeFreePair(other.guarded, other.pooled, kPoolSize);
    void* reached = RuntimeAlloc(kSize);
    EXPECT_EQ(reached, other.guarded);
    RuntimeFree(reached);
  }).join();

  std::vector<Pair> many;
  for (int i = 0; i < 200; ++i) many.push_back(take());
  for (const Pair& pair : many) RuntimeFreePair(pair.guarded, pair.pooled, kPoolSize);
  void* beyond = RuntimeAlloc(kSize);
  bool reachable = false;
  for (const Pair& pair : many) reachable = reachable || pair.guarded == beyond;
  EXPECT_TRUE(reachable) << "the owner's lists keep every block";
  RuntimeFree(beyond);
  EXPECT_EQ(RuntimeLiveBytes(), before);

  const auto churn = [&](uint8_t mark) {
    Pair ring[8] = {};
    for (uint32_t i = 0; i < 20000; ++i) {
      Pair& slot = ring[i % 8];
      if (slot.guarded) {
        for (uint32_t b = 0; b < kSize; ++b)
          ASSERT_EQ(static_cast<uint8_t*>(slot.guarded)[b], mark) << "byte " << b;
        RuntimeFreePair(slot.guarded, slot.pooled, kPoolSize);
      }
      slot = take();
      std::memset(slot.guarded, mark, kSize);
      std::memset(slot.pooled, mark, kPoolSize);
    }
    for (const Pair& pair : ring) RuntimeFreePair(pair.guarded, pair.pooled, kPoolSize);
  };
  std::vector<std::thread> threads;
  for (uint8_t mark = 2; mark <= 4; ++mark) threads.emplace_back(churn, mark);
  churn(1);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(RuntimeLiveBytes(), before);
}

TEST(AllocatorTest, PairedBlocksAreOrdinaryBlocksOfEachAllocator) {
  struct Pair {
    uint8_t* guarded;
    uint8_t* pooled;
    uint32_t size, poolSize;
  };
  const auto take = [](uint32_t size, uint32_t poolSize, uint8_t mark) {
    void* pooled = nullptr;
    auto* guarded = static_cast<uint8_t*>(RuntimeAllocUnfilledPair(size, poolSize, &pooled));
    EXPECT_EQ(RuntimeBlockSize(guarded), size);
    std::memset(guarded, mark, size);
    std::memset(pooled, mark ^ 0xFF, poolSize);
    return Pair{guarded, static_cast<uint8_t*>(pooled), size, poolSize};
  };
  const auto unchanged = [](const Pair& pair, uint8_t mark) {
    for (uint32_t i = 0; i < pair.size; ++i) ASSERT_EQ(pair.guarded[i], mark) << pair.size;
    for (uint32_t i = 0; i < pair.poolSize; ++i)
      ASSERT_EQ(pair.pooled[i], uint8_t(mark ^ 0xFF)) << pair.poolSize;
  };
  const auto counted = [](uint32_t size, uint32_t poolSize) {
    return uint64_t(size) + (poolSize <= 256 ? (poolSize + 7) / 8 * 8 : poolSize);
  };
  for (uint32_t size : {2u, 9u, 100u, 248u, 249u, 4000u}) {
    for (uint32_t poolSize : {20u, 256u, 300u}) {
      const uint64_t before = RuntimeLiveBytes();
      std::vector<Pair> pairs;
      for (uint8_t mark = 1; mark <= 6; ++mark) pairs.push_back(take(size, poolSize, mark));
      EXPECT_EQ(RuntimeLiveBytes() - before, 6 * counted(size, poolSize));
      for (uint8_t mark = 1; mark <= 6; ++mark) unchanged(pairs[mark - 1], mark);
      RuntimeFreePair(pairs[0].guarded, pairs[0].pooled, poolSize);
      RuntimeFree(pairs[1].guarded);
      PoolFree(pairs[1].pooled, poolSize);
      RuntimeFree(pairs[2].guarded);
      RuntimeFreePair(RuntimeAlloc(size == 4000 ? 24 : 4000), pairs[2].pooled, poolSize);
      RuntimeFree(pairs[3].guarded);
      RuntimeFreePair(RuntimeAlloc(size), pairs[3].pooled, poolSize);

      // (A C-heap block freed twice is gone: only a pool block can be told.)
      TakeRecordedBoxes();
      RuntimeFree(pairs[4].guarded);
      if (size <= 248) {
        RuntimeFreePair(pairs[4].guarded, pairs[4].pooled, poolSize);
        const auto boxes = TakeRecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text.find("block freed twice"), std::string::npos);
      } else {
        PoolFree(pairs[4].pooled, poolSize);
      }

      // What was given back is handed out once each, to pairs and to
      // single blocks alike.
      std::vector<Pair> again;
      for (uint8_t mark = 11; mark <= 14; ++mark) again.push_back(take(size, poolSize, mark));
      auto* single = static_cast<uint8_t*>(RuntimeAlloc(size));
      auto* pooledSingle = static_cast<uint8_t*>(PoolAlloc(poolSize, false));
      std::memset(single, 0x77, size);
      std::memset(pooledSingle, 0x88, poolSize);
      for (uint8_t mark = 11; mark <= 14; ++mark) unchanged(again[mark - 11], mark);
      unchanged(pairs[5], 6);
      RuntimeFree(single);
      PoolFree(pooledSingle, poolSize);
      for (const Pair& pair : again) RuntimeFreePair(pair.guarded, pair.pooled, poolSize);
      RuntimeFreePair(pairs[5].guarded, pairs[5].pooled, poolSize);
      EXPECT_EQ(RuntimeLiveBytes(), before) << size << " " << poolSize;
    }
  }
}

TEST(AllocatorTest, MoveBytesOverlapsAndIgnoresNonPositiveCounts) {
  char text[] = "abcdef";
  MoveBytes(text + 1, text, 4);
  EXPECT_STREQ(text, "aabcdf");
  MacBlockMove(text + 1, text, 3);  // source first
  EXPECT_STREQ(text, "abccdf");
  MoveBytes(text, "zz", -1);
  FillBytes(text, 'x', 0);
  EXPECT_STREQ(text, "abccdf");
}

TEST(MacHandleTest, AppendGrowsAndKeepsBytes) {
  MacHandle* handle = NewMacHandle(2);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(handle->pointer)[1], 0);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(MacHandleAppend(handle, "xy", 2));
  EXPECT_EQ(handle->size, 2002u);
  EXPECT_EQ(std::memcmp(static_cast<char*>(handle->pointer) + 2000, "xy", 2), 0);
  ASSERT_TRUE(MacHandleSetSize(handle, 1));
  ASSERT_TRUE(MacHandleSetSize(handle, 3));
  EXPECT_EQ(static_cast<uint8_t*>(handle->pointer)[2], 0);  // regrown bytes are zero
  DisposeMacHandle(handle);
  DisposeMacHandle(nullptr);
}

TEST(AssertionTest, ReportsSourceLineAndCodeAndCancelEnds) {
  TakeRecordedBoxes();
  TakeRecordedFatalExits();
  AssertionFailed(131, 4, "runFolderItem", 77, "entry->mImp", "more");
  auto boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_NE(boxes[0].text.find("runFolderItem"), std::string::npos);
  EXPECT_NE(boxes[0].text.find("77"), std::string::npos);
  EXPECT_NE(boxes[0].text.find("entry->mImp"), std::string::npos);
  EXPECT_EQ(TakeRecordedFatalExits(), 0);  // OK goes on

  SetMessageBoxRecording(true, kAnswerCancel);
  AssertionFailed(131, 4, "x", 1, "c", nullptr);
  SetMessageBoxRecording(true, kAnswerOK);
  EXPECT_EQ(TakeRecordedFatalExits(), 1);
  TakeRecordedBoxes();
}

// The fill that makes a use after free fail: a freed block no longer holds
// what was written into it (read well past the heap's own bookkeeping).
TEST(FreedBlockFillTest, FreedBlocksOfBothAllocatorsAreFilled) {
  constexpr size_t kSize = 64;
  constexpr size_t kProbe = 40;
  // The address kept as a number: the test reads the freed block on purpose.
  volatile uintptr_t address = 0;

  auto* runtimeBlock = static_cast<uint8_t*>(RuntimeAlloc(kSize));
  runtimeBlock[kProbe] = 0x11;
  address = reinterpret_cast<uintptr_t>(runtimeBlock);
  RuntimeFree(runtimeBlock);
  EXPECT_EQ(reinterpret_cast<volatile uint8_t*>(address)[kProbe], 0xFD);

  // Through pointers the compiler cannot see through: it may drop a paired
  // allocation and deletion that it sees.
  void* (*volatile allocate)(size_t) = &::operator new;
  void (*volatile release)(void*) = &::operator delete;
  auto* heapBlock = static_cast<uint8_t*>(allocate(kSize));
  heapBlock[kProbe] = 0x22;
  address = reinterpret_cast<uintptr_t>(heapBlock);
  release(heapBlock);
  EXPECT_EQ(reinterpret_cast<volatile uint8_t*>(address)[kProbe], 0xFD);
}

}  // namespace
