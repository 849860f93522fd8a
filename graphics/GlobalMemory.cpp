// Global memory blocks.
#include "graphics/GlobalMemory.h"

GlobalBlock GlobalBlock::Allocate(size_t size) {
  return GlobalBlock(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
}

GlobalBlock& GlobalBlock::operator=(GlobalBlock&& other) noexcept {
  if (this != &other) reset(std::exchange(other.handle_, nullptr));
  return *this;
}

void GlobalBlock::reset(HGLOBAL handle) {
  if (handle_) GlobalFree(handle_);
  handle_ = handle;
}

bool GlobalBlock::Resize(size_t size) {
  HGLOBAL grown = GlobalReAlloc(handle_, size, GMEM_MOVEABLE | GMEM_ZEROINIT);
  if (!grown) return false;
  handle_ = grown;
  return true;
}
