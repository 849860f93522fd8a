// The run-time's allocators: guarded blocks, the small-block pool and the
// C-heap pair, all under one allocator lock, but for the pairs of blocks the
// owning thread keeps for itself (below). Small guarded blocks come from the
// pool's size classes too: field objects and strings are made and freed by
// the hundred thousand, and the C heap costs several times the pool.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/diagnostics.h"
#include "core/platform.h"
#include "core/utility.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define RUNTIME_POOL_POISONS_FREED_BLOCKS
#endif
#endif

namespace {

constexpr uint32_t kGuardWord = 0x4B56474Du;  // 'KVGM'
constexpr uint32_t kFreedWord = 0x46524545u;  // 'FREE'

#ifdef RUNTIME_FILL_FREED_BLOCKS
constexpr int kFreedFill = 0xFD;
void FillFreedBlock(void* block, uint32_t size) {
  std::memset(block, kFreedFill, size);
  // The compiler would drop the fill as a store to memory about to be freed.
  __asm__ __volatile__("" : : "r"(block) : "memory");
}
#else
void FillFreedBlock(void*, uint32_t) {}
#endif

struct BlockHeader {
  uint32_t size;
  uint32_t guard;
};
static_assert(sizeof(BlockHeader) == 8, "the header keeps blocks 8-byte aligned");

// Constant-initialised with nothing to destroy: the destructors of other
// statics still free blocks.
platform::ShortLock& allocatorLock() {
  static platform::ShortLock lock;
  return lock;
}

// Bytes of the blocks given and not freed yet; under the allocator lock.
uint64_t liveBytes = 0;

void OutOfMemory() {
  RuntimeMessageBox("Out of memory. The application must shut down.", "Out of memory", kBoxOK);
  RuntimeFatalExit(1);
}

BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

// Size classes of the pool: multiples of 8 up to 256 bytes, carved out of
// 8 KB chunks that live as long as the process.
constexpr uint32_t kPoolGranule = 8;
constexpr uint32_t kPoolLargest = 256;
constexpr uint32_t kPoolClasses = kPoolLargest / kPoolGranule;
constexpr uint32_t kPoolChunk = 8192;

// A free block's link lies in its first word. A guarded block's header
// keeps its guard word past the link, so a second free is still told apart.
struct FreeBlock {
  FreeBlock* next;
};
static_assert(sizeof(FreeBlock) <= offsetof(BlockHeader, guard),
              "the link of a free block leaves the guard word alone");
constexpr uint32_t kLinkRoom = sizeof(BlockHeader);

// Under AddressSanitizer a block on a free list is out of bounds past its
// link room, as a freed heap block would be.
#ifdef RUNTIME_POOL_POISONS_FREED_BLOCKS
void HideFreed(void* block, uint32_t bytes) {
  if (bytes > kLinkRoom)
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + kLinkRoom, bytes - kLinkRoom);
}
void ShowTaken(void* block, uint32_t bytes) { ASAN_UNPOISON_MEMORY_REGION(block, bytes); }
#else
void HideFreed(void*, uint32_t) {}
void ShowTaken(void*, uint32_t) {}
#endif

struct Pool {
  FreeBlock* freeLists[kPoolClasses] = {};
  char* chunk = nullptr;
  uint32_t chunkLeft = 0;
};

Pool& pool() {
  static Pool instance;
  return instance;
}

uint32_t PoolClassOf(uint32_t size) { return (size + kPoolGranule - 1) / kPoolGranule - 1; }
uint32_t PoolClassBytes(uint32_t sizeClass) { return (sizeClass + 1) * kPoolGranule; }

// Guarded blocks whose header and contents fit the largest size class.
constexpr uint32_t kPooledGuardedLargest = kPoolLargest - sizeof(BlockHeader);
uint32_t GuardedClassOf(uint32_t size) { return PoolClassOf(size + sizeof(BlockHeader)); }

// Called with the allocator lock held.
void* PoolTake(uint32_t sizeClass) {
  Pool& p = pool();
  if (FreeBlock* block = p.freeLists[sizeClass]) {
    p.freeLists[sizeClass] = block->next;
    return block;
  }
  uint32_t bytes = PoolClassBytes(sizeClass);
  if (p.chunkLeft < bytes) {
    p.chunk = static_cast<char*>(std::malloc(kPoolChunk));
    if (!p.chunk) {
      p.chunkLeft = 0;
      return nullptr;
    }
    p.chunkLeft = kPoolChunk;
  }
  void* block = p.chunk;
  p.chunk += bytes;
  p.chunkLeft -= bytes;
  return block;
}

// Called with the allocator lock held.
void PoolGive(void* block, uint32_t sizeClass) {
  auto* freed = static_cast<FreeBlock*>(block);
  freed->next = pool().freeLists[sizeClass];
  pool().freeLists[sizeClass] = freed;
}

// A pool block of the class, zero-filled; null when memory is out.
void* PoolTakeZeroed(uint32_t sizeClass, uint32_t counted) {
  void* block;
  {
    platform::ShortLockGuard guard(allocatorLock());
    block = PoolTake(sizeClass);
    if (block) liveBytes += counted;
  }
  if (block) {
    ShowTaken(block, PoolClassBytes(sizeClass));
    ShortZero(block, PoolClassBytes(sizeClass));
  }
  return block;
}

// Strings are made and dropped by the hundred thousand, as pairs, on the
// thread that runs the application. The first thread to take a pair keeps
// lists of its own, a few dozen blocks a class, that it takes pairs from and
// gives them back to without the lock; other threads, and blocks past what
// the lists hold, go the locked way. The blocks the owner took from its lists
// less those it gave back are counted apart, by the owner alone.
struct OwnedLists {
  static constexpr uint32_t kMostPerClass = 64;
  FreeBlock* lists[kPoolClasses] = {};
  uint32_t counts[kPoolClasses] = {};
  int64_t liveBytes = 0;
};
OwnedLists owned;
std::atomic<uint32_t> pairOwner{0};

bool OwnsPairLists() {
  const uint32_t self = platform::CurrentThreadId();
  uint32_t owner = pairOwner.load(std::memory_order_relaxed);
  if (owner == 0 && pairOwner.compare_exchange_strong(owner, self)) return true;
  return owner == self;
}

void* OwnedTake(uint32_t sizeClass) {
  FreeBlock* block = owned.lists[sizeClass];
  if (!block) return nullptr;
  owned.lists[sizeClass] = block->next;
  --owned.counts[sizeClass];
  return block;
}

void OwnedGive(void* block, uint32_t sizeClass) {
  auto* freed = static_cast<FreeBlock*>(block);
  freed->next = owned.lists[sizeClass];
  owned.lists[sizeClass] = freed;
  ++owned.counts[sizeClass];
}

// The owner's pair from its lists; false (nothing taken) when one is empty.
bool OwnedTakePair(uint32_t guardedClass, uint32_t poolClass, void** raw, void** second) {
  *raw = OwnedTake(guardedClass);
  if (!*raw) return false;
  *second = OwnedTake(poolClass);
  if (*second) return true;
  OwnedGive(*raw, guardedClass);
  return false;
}

// Both blocks into the owner's lists, or neither when they are full.
bool OwnedGivePair(void* raw, uint32_t guardedClass, void* second, uint32_t poolClass) {
  const uint32_t most = OwnedLists::kMostPerClass;
  if (owned.counts[guardedClass] >= most ||
      owned.counts[poolClass] + (poolClass == guardedClass ? 1 : 0) >= most)
    return false;
  OwnedGive(raw, guardedClass);
  OwnedGive(second, poolClass);
  return true;
}

}  // namespace

void platform::ShortLock::LockContended() {
  for (uint32_t attempt = 0;; ++attempt) {
    // Read before exchanging, so that waiters do not keep taking the
    // holder's cache line away from it.
    if (!taken_.load(std::memory_order_relaxed) && !taken_.exchange(true, std::memory_order_acquire))
      return;
    platform::WaitForShortLock(attempt);
  }
}

extern "C" {

void* RuntimeAllocOrNull(uint32_t size) {
  void* raw = nullptr;
  if (size <= kPooledGuardedLargest) {
    raw = PoolTakeZeroed(GuardedClassOf(size), size);
  } else if (size <= UINT32_MAX - sizeof(BlockHeader)) {
    platform::ShortLockGuard guard(allocatorLock());
    raw = std::calloc(1, size + sizeof(BlockHeader));
    if (raw) liveBytes += size;
  }
  if (!raw) return nullptr;
  auto* header = static_cast<BlockHeader*>(raw);
  header->size = size;
  header->guard = kGuardWord;
  return header + 1;
}

void* RuntimeAlloc(uint32_t size) {
  void* block = RuntimeAllocOrNull(size);
  if (!block) OutOfMemory();
  return block;
}

}  // extern "C"

namespace {

// The header of a guarded block about to be freed, marked freed and its
// contents filled; null (reported) when the guard word is damaged.
BlockHeader* ReleasedHeader(void* block) {
  BlockHeader* header = HeaderOf(block);
  if (header->guard != kGuardWord) {
    AssertionFailed(131, 4, "memory", __LINE__, "header->guard == kGuardWord",
                    header->guard == kFreedWord ? "block freed twice" : "block damaged");
    return nullptr;
  }
  FillFreedBlock(block, header->size);
  header->guard = kFreedWord;
  return header;
}

}  // namespace

extern "C" {

void* RuntimeAllocUnfilledPair(uint32_t size, uint32_t poolSize, void** poolBlock) {
  if (size > kPooledGuardedLargest || poolSize == 0 || poolSize > kPoolLargest) {
    void* block = RuntimeAlloc(size);
    *poolBlock = block ? PoolAlloc(poolSize, false) : nullptr;
    if (*poolBlock) return block;
    RuntimeFree(block);
    return nullptr;
  }
  const uint32_t guardedClass = GuardedClassOf(size), poolClass = PoolClassOf(poolSize);
  void* raw = nullptr;
  void* second = nullptr;
  if (OwnsPairLists() && OwnedTakePair(guardedClass, poolClass, &raw, &second)) {
    owned.liveBytes += size + PoolClassBytes(poolClass);
  } else {
    platform::ShortLockGuard guard(allocatorLock());
    raw = PoolTake(guardedClass);
    second = raw ? PoolTake(poolClass) : nullptr;
    if (second) {
      liveBytes += size + PoolClassBytes(poolClass);
    } else if (raw) {
      PoolGive(raw, guardedClass);
    }
  }
  if (!second) {
    *poolBlock = nullptr;
    OutOfMemory();
    return nullptr;
  }
  ShowTaken(raw, PoolClassBytes(guardedClass));
  ShowTaken(second, PoolClassBytes(poolClass));
  auto* header = static_cast<BlockHeader*>(raw);
  header->size = size;
  header->guard = kGuardWord;
  *poolBlock = second;
  return header + 1;
}

void RuntimeFreePair(void* block, void* poolBlock, uint32_t poolSize) {
  // Only two pool blocks go back under one hold; a large, damaged or freed
  // block takes RuntimeFree's own way.
  if (poolSize == 0 || poolSize > kPoolLargest || !block || !poolBlock ||
      HeaderOf(block)->guard != kGuardWord || HeaderOf(block)->size > kPooledGuardedLargest) {
    RuntimeFree(block);
    PoolFree(poolBlock, poolSize);
    return;
  }
  BlockHeader* header = ReleasedHeader(block);
  const uint32_t poolClass = PoolClassOf(poolSize);
  const uint32_t size = header->size, guardedClass = GuardedClassOf(size);
  HideFreed(header, PoolClassBytes(guardedClass));
  HideFreed(poolBlock, PoolClassBytes(poolClass));
  if (OwnsPairLists() && OwnedGivePair(header, guardedClass, poolBlock, poolClass)) {
    owned.liveBytes -= size + PoolClassBytes(poolClass);
    return;
  }
  platform::ShortLockGuard guard(allocatorLock());
  liveBytes -= size + PoolClassBytes(poolClass);
  PoolGive(header, guardedClass);
  PoolGive(poolBlock, poolClass);
}

void RuntimeFree(void* block) {
  if (!block) return;
  BlockHeader* header = ReleasedHeader(block);
  if (!header) return;
  const uint32_t size = header->size;
  if (size <= kPooledGuardedLargest) {
    const uint32_t sizeClass = GuardedClassOf(size);
    HideFreed(header, PoolClassBytes(sizeClass));
    platform::ShortLockGuard guard(allocatorLock());
    liveBytes -= size;
    PoolGive(header, sizeClass);
    return;
  }
  platform::ShortLockGuard guard(allocatorLock());
  liveBytes -= size;
  std::free(header);
}

uint32_t RuntimeBlockSize(const void* block) { return block ? HeaderOf(block)->size : 0; }

uint64_t RuntimeLiveBytes() {
  platform::ShortLockGuard guard(allocatorLock());
  return liveBytes + uint64_t(owned.liveBytes);
}

void* PoolAlloc(uint32_t size, bool mayFail) {
  if (size == 0) size = 1;
  void* block = nullptr;
  if (size <= kPoolLargest) {
    const uint32_t sizeClass = PoolClassOf(size);
    block = PoolTakeZeroed(sizeClass, PoolClassBytes(sizeClass));
  } else {
    platform::ShortLockGuard guard(allocatorLock());
    block = std::calloc(1, size);
    if (block) liveBytes += size;
  }
  if (!block && !mayFail) OutOfMemory();
  return block;
}

void PoolFree(void* block, uint32_t size) {
  if (!block) return;
  if (size == 0) size = 1;
  if (size > kPoolLargest) {
    platform::ShortLockGuard guard(allocatorLock());
    liveBytes -= size;
    std::free(block);
    return;
  }
  const uint32_t sizeClass = PoolClassOf(size);
  HideFreed(block, PoolClassBytes(sizeClass));
  platform::ShortLockGuard guard(allocatorLock());
  liveBytes -= PoolClassBytes(sizeClass);
  PoolGive(block, sizeClass);
}

void* HeapAllocate(uint32_t size, bool mayFail) {
  void* block;
  {
    platform::ShortLockGuard guard(allocatorLock());
    block = std::malloc(size ? size : 1);
  }
  if (!block && !mayFail) {
    AssertionFailed(131, 4, "memory", __LINE__, "block != nullptr", "HeapAllocate failed");
    RuntimeFatalExit(1);
  }
  return block;
}

void HeapRelease(void* block) {
  platform::ShortLockGuard guard(allocatorLock());
  std::free(block);
}

void MoveBytes(void* destination, const void* source, int32_t count) {
  if (count > 0) std::memmove(destination, source, size_t(count));
}

void FillBytes(void* destination, uint8_t value, int32_t count) {
  if (count > 0) std::memset(destination, value, size_t(count));
}

void MacBlockMove(const void* source, void* destination, int32_t count) {
  MoveBytes(destination, source, count);
}

MacHandle* NewMacHandle(uint32_t size) {
  auto* handle = static_cast<MacHandle*>(RuntimeAlloc(sizeof(MacHandle)));
  if (!handle) return nullptr;
  if (size > 0) {
    handle->pointer = RuntimeAlloc(size);
    if (!handle->pointer) {
      RuntimeFree(handle);
      return nullptr;
    }
  }
  handle->size = size;
  return handle;
}

bool MacHandleSetSize(MacHandle* handle, uint32_t size) {
  if (!handle) return false;
  uint32_t room = RuntimeBlockSize(handle->pointer);
  if (size <= room) {
    if (size > handle->size) FillBytes(static_cast<char*>(handle->pointer) + handle->size, 0,
                                       int32_t(size - handle->size));
    handle->size = size;
    return true;
  }
  // Grow by half again so that a run of appends costs linear time.
  uint32_t grown = room + room / 2;
  void* bigger = RuntimeAlloc(grown > size ? grown : size);
  if (!bigger) return false;
  MoveBytes(bigger, handle->pointer, int32_t(handle->size));
  RuntimeFree(handle->pointer);
  handle->pointer = bigger;
  handle->size = size;
  return true;
}

bool MacHandleAppend(MacHandle* handle, const void* bytes, uint32_t count) {
  if (!handle || count > UINT32_MAX - handle->size) return false;
  uint32_t oldSize = handle->size;
  if (!MacHandleSetSize(handle, oldSize + count)) return false;
  MoveBytes(static_cast<char*>(handle->pointer) + oldSize, bytes, int32_t(count));
  return true;
}

void DisposeMacHandle(MacHandle* handle) {
  if (!handle) return;
  RuntimeFree(handle->pointer);
  RuntimeFree(handle);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "memory is portable: it must not include <windows.h>."
#endif
