// The queue's storage: growing, compaction, held strings and the strings it
// hands out.
#include "system/ByteQueue.h"

#include <algorithm>
#include <cstring>

#include "core/string.h"

namespace {

constexpr size_t kCompactionFloor = 64 * 1024;
constexpr size_t kKeptWhenEmpty = 1024 * 1024;
constexpr size_t kInitialCapacity = 4096;
// Strings this long are held rather than copied.
constexpr size_t kHeldFloor = 64 * 1024;

}  // namespace

uint8_t* ByteQueue::Bytes() const {
  // A held string is only read; the queue's own storage is written.
  return storage_ ? const_cast<uint8_t*>(StringData(storage_.get())) : nullptr;
}

const uint8_t* ByteQueue::Front() const { return storage_ ? Bytes() + head_ : nullptr; }

void ByteQueue::MakeRoom(size_t count) {
  if (head_ + length_ + count <= capacity_) return;
  // Grown by half at least, so that appending stays linear; only the waiting
  // bytes are copied. The run-time allocator ends the process when memory
  // runs out.
  const size_t grown = std::max({length_ + count, capacity_ + capacity_ / 2, kInitialCapacity});
  StringRef storage = StringRef::Adopt(NewStringWithRoom(uint32_t(grown), kEncodingASCII));
  if (length_) std::memcpy(StringRoom(storage.get()), Front(), length_);
  storage_ = std::move(storage);
  capacity_ = grown;
  head_ = 0;
}

void ByteQueue::Append(const void* bytes, size_t count) {
  if (count == 0) return;
  std::memcpy(Reserve(count), bytes, count);
  Commit(count);
}

void ByteQueue::Append(const StringRecord* string) {
  const size_t count = StringLength(string);
  if (count < kHeldFloor || !Empty()) {
    Append(StringData(string), count);
    return;
  }
  storage_ = StringRef::Retain(const_cast<StringRecord*>(string));
  capacity_ = 0;
  head_ = 0;
  length_ = count;
}

uint8_t* ByteQueue::Reserve(size_t count) {
  MakeRoom(count);
  return Bytes() + head_ + length_;
}

void ByteQueue::Consume(size_t count) {
  if (count >= length_) {
    Clear();
    return;
  }
  head_ += count;
  length_ -= count;
  // The moved bytes are fewer than those consumed since the last move; a
  // held string is never moved in.
  if (capacity_ && head_ > capacity_ / 2 && head_ > kCompactionFloor) {
    std::memmove(Bytes(), Bytes() + head_, length_);
    head_ = 0;
  }
}

void ByteQueue::Clear() {
  head_ = 0;
  length_ = 0;
  if (capacity_ == 0 || capacity_ > kKeptWhenEmpty) {
    storage_ = StringRef();
    capacity_ = 0;
  }
}

StringRecord* ByteQueue::Read(int32_t count) {
  if (count >= 0 && size_t(count) >= length_) return ReadAll();
  const size_t taken = count < 1 ? 0 : size_t(count);
  StringRecord* bytes = NewString(Front(), taken, kEncodingASCII);
  Consume(taken);
  return bytes;
}

StringRecord* ByteQueue::ReadAll() {
  // Storage an emptied queue keeps stays, its pages warm for the next
  // receive, and its bytes are copied; larger storage, which it would give
  // back, is handed over unless less than half of it is used.
  if (head_ != 0 || capacity_ <= kKeptWhenEmpty || length_ < capacity_ / 2) {
    StringRecord* bytes = Lookahead();
    Clear();
    return bytes;
  }
  // The storage becomes the string read.
  StringSetLength(storage_.get(), uint32_t(length_));
  length_ = 0;
  capacity_ = 0;
  return storage_.release();
}

StringRecord* ByteQueue::Lookahead() const { return NewString(Front(), length_, kEncodingASCII); }
