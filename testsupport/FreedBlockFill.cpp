#include "testsupport/FreedBlockFill.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/utility.h"

namespace {

constexpr int kFreedFill = 0xFD;

void FillAndFree(void* block) {
  if (!block) return;
  std::memset(block, kFreedFill, _msize(block));
  // The compiler would drop the fill as a store to memory about to be freed.
  __asm__ __volatile__("" : : "r"(block) : "memory");
  std::free(block);
}

}  // namespace

void FillFreedBlocks() { RuntimeFillFreedBlocks(true); }

// The default operator new allocates with malloc, so _msize gives the size
// of every block these receive.
void operator delete(void* block) noexcept { FillAndFree(block); }
void operator delete(void* block, std::size_t) noexcept { FillAndFree(block); }
void operator delete[](void* block) noexcept { FillAndFree(block); }
void operator delete[](void* block, std::size_t) noexcept { FillAndFree(block); }
