// RAII holders of one reference to an object, a string or an array, for the
// run-time's own C++ code. Adopt takes over a reference the caller already
// owns (a function's result); Retain adds one.
#pragma once
#include <utility>

#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/string.h"

template <class T, void (*LockFn)(T*), void (*UnlockFn)(T*)>
class SmartRef {
 public:
  SmartRef() = default;
  ~SmartRef() { UnlockFn(ptr_); }
  SmartRef(const SmartRef& other) : ptr_(other.ptr_) { LockFn(ptr_); }
  SmartRef(SmartRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  SmartRef& operator=(SmartRef other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  static SmartRef Adopt(T* owned) {
    SmartRef ref;
    ref.ptr_ = owned;
    return ref;
  }
  static SmartRef Retain(T* borrowed) {
    LockFn(borrowed);
    return Adopt(borrowed);
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // Hands the reference to the caller.
  T* release() { return std::exchange(ptr_, nullptr); }
  // Drops the held reference and gives the slot for a function that fills a
  // variable (StringFromBytes(ref.out(), ...)).
  T** out() {
    UnlockFn(std::exchange(ptr_, nullptr));
    return &ptr_;
  }

 private:
  T* ptr_ = nullptr;
};

using ObjectRef = SmartRef<RuntimeObject, RuntimeLockObject, RuntimeUnlockObject>;
using StringRef = SmartRef<StringRecord, RuntimeLockString, RuntimeUnlockString>;
using ArrayRef = SmartRef<RuntimeArray, RuntimeLockArray, RuntimeUnlockArray>;
