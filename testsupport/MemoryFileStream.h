// A FileStream over bytes in memory, for tests of code that reads and writes
// through streams: its faults stand in for a damaged or full store.
//
// It behaves as a file: reading at or past the end gives true and 0 bytes;
// writing past the end fills the gap with zero bytes; a negative position or
// length is refused. Create, Open and OpenTemporary ignore the path: Create
// and OpenTemporary start empty, Open reopens the bytes it holds (mode 1
// refuses writes). After Close every transfer fails and GetLength and
// GetPosition give -1, as FileStream's bodies do.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "files/ByteStream.h"

class MemoryFileStream : public FileStream {
 public:
  enum class ReadFault {
    kNone,
    kFails,            // Read gives false and 0 bytes
    kDeliversNothing,  // Read gives true and 0 bytes; the position stays
  };
  // Faults stay in force until changed.
  struct Faults {
    ReadFault read = ReadFault::kNone;
    // Where the read fault begins: a Read before it stops there, a Read from
    // there on meets the fault.
    int32_t readFaultFrom = 0;
    // When positive, no Read brings more than this (short reads).
    int32_t readChunk = 0;
    // Write gives false and writes nothing.
    bool writeFails = false;
    // When positive, no Write stores more than this; a longer one stores
    // that much and gives false (a full store).
    int32_t writeChunk = 0;
    // SetPosition gives false and the position stays.
    bool seekFails = false;
    // When not negative, the writes still allowed (a cut): each Write
    // counts one down, and at 0 every Write and SetLength fails, storing
    // nothing. The last allowed Write stores only its first lastWriteStores
    // bytes when that is not negative (and then gives false when shorter).
    int32_t writesLeft = -1;
    int32_t lastWriteStores = -1;
  };

  // Open and empty, or open on the given bytes, at position 0.
  MemoryFileStream() = default;
  explicit MemoryFileStream(std::string bytes) : bytes_(std::move(bytes)) {}
  ~MemoryFileStream() override { Close(); }

  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override;
  bool Write(const void* buffer, int32_t count) override;
  bool Close() override;
  bool SetPosition(int32_t position) override;
  int32_t GetLength() override;
  bool SetLength(int32_t length) override;
  int32_t GetPosition() override;
  void Flush() override { ++flushCalls; }
  bool Create(const StringRecord* path) override;
  bool Open(const StringRecord* path, int32_t mode) override;
  bool OpenTemporary(const StringRecord* path) override;
  void CloseHandleOnly() override { open_ = false; }

  const std::string& Bytes() const { return bytes_; }
  // Replaces the contents (as another writer would); the position stays.
  void ReplaceBytes(std::string bytes) { bytes_ = std::move(bytes); }
  bool IsOpen() const { return open_; }

  Faults faults;
  int32_t readCalls = 0;
  int32_t writeCalls = 0;
  int32_t flushCalls = 0;

 private:
  std::string bytes_;
  int32_t position_ = 0;
  bool open_ = true;
  bool readOnly_ = false;
};
