// ByteQueue: bytes waiting to be sent or read, first in first out (a TCP
// socket's send and receive buffers; the serial ports reuse it).
//
// Storage, head offset and length: taking bytes from the front only moves
// the head, so draining a large queue in small pieces stays linear. The
// bytes move to the front of the storage only when the head has passed half
// the storage and 64 KiB; an emptied queue starts again at offset 0 (and
// gives back storage above 1 MiB).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

struct StringRecord;

class ByteQueue {
 public:
  ByteQueue() = default;
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  size_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }
  // The waiting bytes, Length() of them (valid until the next change).
  const uint8_t* Front() const { return storage_ ? storage_.get() + head_ : nullptr; }

  void Append(const void* bytes, size_t count);
  void Append(const StringRecord* string);
  // Room for count bytes after the waiting ones, to be filled by the caller
  // (valid until the next change); Commit then appends the first count
  // bytes written there. A receive fills the queue this way without a
  // buffer of its own.
  uint8_t* Reserve(size_t count);
  void Commit(size_t count) { length_ += count; }
  // Drops count bytes from the front (all of them when count is larger).
  void Consume(size_t count);
  void Clear();

  // New run-time strings (the caller's), in the default encoding:
  // Read gives the first count bytes and drops them ("" and nothing dropped
  // when count < 1; everything when count reaches the length); ReadAll gives
  // and drops everything; Lookahead gives everything and keeps it.
  StringRecord* Read(int32_t count);
  StringRecord* ReadAll();
  StringRecord* Lookahead() const;

 private:
  void MakeRoom(size_t count);

  struct StorageFreer {
    void operator()(uint8_t* storage) const;
  };
  std::unique_ptr<uint8_t, StorageFreer> storage_;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t length_ = 0;
};
