// Every test program fills each block its global operator delete frees, as
// the test build's run-time allocator does, so that an object, sink or pane
// touched after its deletion fails a test rather than passing on stale
// contents by luck. Linked into each test program (not a library), so that
// these replace the standard operators.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

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

// The default operator new allocates with malloc, so _msize gives the size
// of every block these receive.
void operator delete(void* block) noexcept { FillAndFree(block); }
void operator delete(void* block, std::size_t) noexcept { FillAndFree(block); }
void operator delete[](void* block) noexcept { FillAndFree(block); }
void operator delete[](void* block, std::size_t) noexcept { FillAndFree(block); }
