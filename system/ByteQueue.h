// ByteQueue: bytes waiting to be sent or read, first in first out (a TCP
// socket's send and receive buffers; the serial ports reuse it).
//
// Storage, head offset and length: taking bytes from the front only moves
// the head, so draining a large queue in small pieces stays linear. The
// bytes move to the front of the storage only when the head has passed half
// the storage and 64 KiB; an emptied queue starts again at offset 0 (and
// gives back storage above 1 MiB).
//
// The storage is a run-time string, so that the bytes change hands without
// a copy both ways: a string of 64 KiB or more appended to an empty queue
// is held as it is (shared with the caller, never written; the next append
// copies what is still waiting into storage of the queue's own), and
// reading everything that waits in storage of the queue's own, from its
// start, larger than the 1 MiB an emptied queue keeps and at least half
// used, hands that storage over as the string read.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/SmartRef.h"

struct StringRecord;

class ByteQueue {
 public:
  ByteQueue() = default;
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  size_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }
  // The waiting bytes, Length() of them (valid until the next change).
  const uint8_t* Front() const;

  void Append(const void* bytes, size_t count);
  // May hold the string itself (see above).
  void Append(const StringRecord* string);
  // Room for count bytes after the waiting ones, to be filled by the caller
  // (valid until the next change); Commit then appends the first count
  // bytes written there. A receive fills the queue this way without a
  // buffer of its own.
  uint8_t* Reserve(size_t count);
  void Commit(size_t count) { length_ += count; }
  // How many bytes Reserve gives without growing the storage.
  size_t Room() const { return capacity_ > head_ + length_ ? capacity_ - head_ - length_ : 0; }
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
  uint8_t* Bytes() const;

  StringRef storage_;
  // Bytes that may be written; 0 while a caller's string is held.
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t length_ = 0;
};
