// The queue's storage: growing, compaction and the strings it hands out.
#include "system/ByteQueue.h"

#include <algorithm>
#include <cstring>

#include "core/string.h"
#include "core/utility.h"

namespace {

constexpr size_t kCompactionFloor = 64 * 1024;
constexpr size_t kKeptWhenEmpty = 1024 * 1024;
constexpr size_t kInitialCapacity = 4096;

}  // namespace

void ByteQueue::StorageFreer::operator()(uint8_t* storage) const { RuntimeFree(storage); }

void ByteQueue::MakeRoom(size_t count) {
  if (head_ + length_ + count <= capacity_) return;
  // Grown by half at least, so that appending stays linear; only the waiting
  // bytes are copied.
  const size_t grown = std::max({length_ + count, capacity_ + capacity_ / 2, kInitialCapacity});
  // The run-time allocator ends the process when memory runs out.
  std::unique_ptr<uint8_t, StorageFreer> storage(
      static_cast<uint8_t*>(RuntimeAlloc(uint32_t(grown))));
  if (length_) std::memcpy(storage.get(), storage_.get() + head_, length_);
  storage_ = std::move(storage);
  capacity_ = grown;
  head_ = 0;
}

void ByteQueue::Append(const void* bytes, size_t count) {
  if (count == 0) return;
  MakeRoom(count);
  std::memcpy(storage_.get() + head_ + length_, bytes, count);
  length_ += count;
}

uint8_t* ByteQueue::Reserve(size_t count) {
  MakeRoom(count);
  return storage_.get() + head_ + length_;
}

void ByteQueue::Append(const StringRecord* string) {
  Append(StringData(string), StringLength(string));
}

void ByteQueue::Consume(size_t count) {
  if (count >= length_) {
    Clear();
    return;
  }
  head_ += count;
  length_ -= count;
  // The moved bytes are fewer than those consumed since the last move.
  if (head_ > capacity_ / 2 && head_ > kCompactionFloor) {
    std::memmove(storage_.get(), storage_.get() + head_, length_);
    head_ = 0;
  }
}

void ByteQueue::Clear() {
  head_ = 0;
  length_ = 0;
  if (capacity_ > kKeptWhenEmpty) {
    storage_.reset();
    capacity_ = 0;
  }
}

StringRecord* ByteQueue::Read(int32_t count) {
  const size_t taken = count < 1 ? 0 : std::min(size_t(count), length_);
  StringRecord* bytes = NewString(Front(), taken, kEncodingASCII);
  Consume(taken);
  return bytes;
}

StringRecord* ByteQueue::ReadAll() {
  StringRecord* bytes = Lookahead();
  Clear();
  return bytes;
}

StringRecord* ByteQueue::Lookahead() const { return NewString(Front(), length_, kEncodingASCII); }
