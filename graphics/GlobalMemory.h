// Movable global memory blocks, the currency of packed DIBs: an owner that
// frees the block, and a scope that keeps it locked.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <utility>

class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(HGLOBAL handle) : handle_(handle) {}
  // A new GMEM_MOVEABLE | GMEM_ZEROINIT block; empty when that fails.
  static GlobalBlock Allocate(size_t size);
  ~GlobalBlock() { reset(); }
  GlobalBlock(GlobalBlock&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept;
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  HGLOBAL get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HGLOBAL release() { return std::exchange(handle_, nullptr); }
  void reset(HGLOBAL handle = nullptr);
  // Grows or shrinks the block (its handle may change); false when that fails.
  bool Resize(size_t size);

 private:
  HGLOBAL handle_ = nullptr;
};

// Locks a block for the length of a scope; data() is null when the lock
// failed, size() the block's size.
class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL handle)
      : handle_(handle),
        data_(handle ? static_cast<uint8_t*>(GlobalLock(handle)) : nullptr),
        size_(data_ ? GlobalSize(handle) : 0) {}
  ~GlobalLockScope() {
    if (data_) GlobalUnlock(handle_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  HGLOBAL handle_;
  uint8_t* data_;
  size_t size_;
};
