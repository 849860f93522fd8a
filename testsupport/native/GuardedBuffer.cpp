// The bytes end where a page with no access begins (mmap and mprotect).
#include "testsupport/GuardedBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

GuardedBuffer::GuardedBuffer(const std::vector<uint8_t>& bytes) : size_(bytes.size()) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t usable = (size_ + page - 1) / page * page;
  region_ = mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                 -1, 0);
  if (region_ == MAP_FAILED || mprotect(static_cast<uint8_t*>(region_) + usable, page,
                                        PROT_NONE) != 0) {
    std::abort();
  }
  data_ = static_cast<uint8_t*>(region_) + (usable - size_);
  if (size_) std::memcpy(data_, bytes.data(), size_);
}

GuardedBuffer::~GuardedBuffer() {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  munmap(region_, (size_ + page - 1) / page * page + page);
}
