// The bytes end where a reserved page with no access begins.
#include "testsupport/GuardedBuffer.h"

#include <windows.h>

#include <cstring>

GuardedBuffer::GuardedBuffer(const std::vector<uint8_t>& bytes) : size_(bytes.size()) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  size_t page = system.dwPageSize;
  size_t usable = (size_ + page - 1) / page * page;
  region_ = VirtualAlloc(nullptr, usable + page, MEM_RESERVE, PAGE_NOACCESS);
  if (usable) VirtualAlloc(region_, usable, MEM_COMMIT, PAGE_READWRITE);
  data_ = static_cast<uint8_t*>(region_) + (usable - size_);
  if (size_) std::memcpy(data_, bytes.data(), size_);
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(region_, 0, MEM_RELEASE); }
