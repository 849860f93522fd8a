// SimpleVector: the growable pointer array of the socket layer (the list of
// registered sockets, a server's standby sockets, the UDP layer's lists).
//
// Growing and shrinking follow GrowList's rules: a full vector grows by its
// growth step (by its capacity when the step is 0), but by at least 16; after
// a removal, with step 0 a vector whose free slots exceed twice its count
// shrinks to (count / 16 + 1) * 16 slots, with a step s one whose free slots
// exceed 2s shrinks to (count / s + 1) * s. The storage is freed with the
// vector. An index out of range is reported through AssertionFailed and reads
// nil or changes nothing.
#pragma once
#include <cstdint>

#include "core/GrowList.h"

class SimpleVector {
 public:
  explicit SimpleVector(uint32_t growStep = 0) { items_.Init(growStep); }
  ~SimpleVector() { items_.Dispose(); }
  SimpleVector(const SimpleVector&) = delete;
  SimpleVector& operator=(const SimpleVector&) = delete;

  uint32_t Count() const { return items_.count; }
  uint32_t Capacity() const { return items_.capacity; }
  void* At(uint32_t index) const;
  // The index of the newest entry equal to item; -1 when absent.
  int32_t LastIndexOf(const void* item) const;

  void Append(void* item) { items_.Append(item); }
  void* RemoveAt(uint32_t index) { return items_.RemoveAt(index); }
  void* TakeFirst() { return RemoveAt(0); }
  // Nil (and the assertion "SimpleVector", 264, "0") when empty.
  void* TakeLast();

 private:
  GrowList<void*> items_;
};

// The same over pointers to T.
template <class T>
class SimplePointerVector {
 public:
  explicit SimplePointerVector(uint32_t growStep = 0) : items_(growStep) {}

  uint32_t Count() const { return items_.Count(); }
  uint32_t Capacity() const { return items_.Capacity(); }
  T* At(uint32_t index) const { return static_cast<T*>(items_.At(index)); }
  int32_t LastIndexOf(const T* item) const { return items_.LastIndexOf(item); }
  bool Contains(const T* item) const { return LastIndexOf(item) >= 0; }
  void Append(T* item) { items_.Append(item); }
  T* RemoveAt(uint32_t index) { return static_cast<T*>(items_.RemoveAt(index)); }
  T* TakeFirst() { return static_cast<T*>(items_.TakeFirst()); }
  T* TakeLast() { return static_cast<T*>(items_.TakeLast()); }

 private:
  SimpleVector items_;
};
