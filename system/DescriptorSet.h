// DescriptorSet: a Winsock fd_set of any size, for the readiness queries
// that ask about every socket of a poll walk in one select. Winsock's
// fd_set is a count followed by the descriptors, so a set longer than
// FD_SETSIZE is only a longer array; select leaves in it the descriptors
// found ready.
#pragma once
#include <winsock2.h>

#include <cstddef>
#include <vector>

class DescriptorSet {
 public:
  void Clear() { words_.assign(1, 0); }
  void Add(SOCKET descriptor) {
    words_.push_back(descriptor);
    Native()->fd_count = u_int(words_.size() - 1);
  }
  bool Empty() const { return words_.size() == 1; }
  fd_set* Native() { return reinterpret_cast<fd_set*>(words_.data()); }
  fd_set* NativeOrNull() { return Empty() ? nullptr : Native(); }
  // After select: the descriptors found ready (none when the set was empty).
  const SOCKET* begin() { return words_.data() + 1; }
  const SOCKET* end() { return begin() + Native()->fd_count; }

 private:
  std::vector<SOCKET> words_{0};
};
static_assert(offsetof(fd_set, fd_array) == sizeof(SOCKET), "the count fills one slot");
