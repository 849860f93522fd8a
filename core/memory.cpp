// The run-time's allocators: guarded blocks, the small-block pool and the
// C-heap pair, all under one allocator lock.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/diagnostics.h"
#include "core/utility.h"

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

std::mutex& allocatorLock() {
  static std::mutex lock;
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

struct FreeBlock {
  FreeBlock* next;
};

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

// Called with the allocator lock held.
void* PoolTake(uint32_t sizeClass) {
  Pool& p = pool();
  if (FreeBlock* block = p.freeLists[sizeClass]) {
    p.freeLists[sizeClass] = block->next;
    return block;
  }
  uint32_t bytes = (sizeClass + 1) * kPoolGranule;
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

}  // namespace

extern "C" {

void* RuntimeAllocOrNull(uint32_t size) {
  void* raw = nullptr;
  if (size <= UINT32_MAX - sizeof(BlockHeader)) {
    std::lock_guard<std::mutex> guard(allocatorLock());
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

void RuntimeFree(void* block) {
  if (!block) return;
  BlockHeader* header = HeaderOf(block);
  if (header->guard != kGuardWord) {
    AssertionFailed(131, 4, "memory", __LINE__, "header->guard == kGuardWord",
                    header->guard == kFreedWord ? "block freed twice" : "block damaged");
    return;
  }
  FillFreedBlock(block, header->size);
  header->guard = kFreedWord;
  std::lock_guard<std::mutex> guard(allocatorLock());
  liveBytes -= header->size;
  std::free(header);
}

uint32_t RuntimeBlockSize(const void* block) { return block ? HeaderOf(block)->size : 0; }

uint64_t RuntimeLiveBytes() {
  std::lock_guard<std::mutex> guard(allocatorLock());
  return liveBytes;
}

void* PoolAlloc(uint32_t size, bool mayFail) {
  if (size == 0) size = 1;
  void* block = nullptr;
  if (size <= kPoolLargest) {
    uint32_t sizeClass = PoolClassOf(size);
    {
      std::lock_guard<std::mutex> guard(allocatorLock());
      block = PoolTake(sizeClass);
      if (block) liveBytes += (sizeClass + 1) * kPoolGranule;
    }
    if (block) std::memset(block, 0, (sizeClass + 1) * kPoolGranule);
  } else {
    std::lock_guard<std::mutex> guard(allocatorLock());
    block = std::calloc(1, size);
    if (block) liveBytes += size;
  }
  if (!block && !mayFail) OutOfMemory();
  return block;
}

void PoolFree(void* block, uint32_t size) {
  if (!block) return;
  if (size == 0) size = 1;
  std::lock_guard<std::mutex> guard(allocatorLock());
  if (size > kPoolLargest) {
    liveBytes -= size;
    std::free(block);
    return;
  }
  uint32_t sizeClass = PoolClassOf(size);
  liveBytes -= (sizeClass + 1) * kPoolGranule;
  auto* freed = static_cast<FreeBlock*>(block);
  freed->next = pool().freeLists[sizeClass];
  pool().freeLists[sizeClass] = freed;
}

void* HeapAllocate(uint32_t size, bool mayFail) {
  void* block;
  {
    std::lock_guard<std::mutex> guard(allocatorLock());
    block = std::malloc(size ? size : 1);
  }
  if (!block && !mayFail) {
    AssertionFailed(131, 4, "memory", __LINE__, "block != nullptr", "HeapAllocate failed");
    RuntimeFatalExit(1);
  }
  return block;
}

void HeapRelease(void* block) {
  std::lock_guard<std::mutex> guard(allocatorLock());
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
