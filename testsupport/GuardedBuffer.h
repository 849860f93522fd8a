// Test bytes placed right before a no-access page, so that reading even one
// byte past them faults at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::vector<uint8_t>& bytes);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  const uint8_t* data() const { return data_; }
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  void* region_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
