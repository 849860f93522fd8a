// The in-memory stream's transfers, positions and faults.
#include "testsupport/MemoryFileStream.h"

#include <algorithm>
#include <cstring>

bool MemoryFileStream::Read(void* buffer, int32_t count, int32_t* bytesRead) {
  ++readCalls;
  if (bytesRead) *bytesRead = 0;
  if (!open_ || count < 0) return false;
  int64_t wanted = count;
  if (faults.read != ReadFault::kNone) {
    if (position_ >= faults.readFaultFrom) return faults.read == ReadFault::kDeliversNothing;
    wanted = std::min<int64_t>(wanted, faults.readFaultFrom - position_);
  }
  if (faults.readChunk > 0) wanted = std::min<int64_t>(wanted, faults.readChunk);
  const int64_t available = std::max<int64_t>(0, int64_t(bytes_.size()) - position_);
  const auto got = int32_t(std::min(wanted, available));
  if (got > 0) std::memcpy(buffer, bytes_.data() + position_, size_t(got));
  position_ += got;
  if (bytesRead) *bytesRead = got;
  return true;
}

bool MemoryFileStream::Write(const void* buffer, int32_t count) {
  ++writeCalls;
  if (!open_ || readOnly_ || count < 0 || faults.writeFails || faults.writesLeft == 0) return false;
  int32_t stored = faults.writeChunk > 0 ? std::min(count, faults.writeChunk) : count;
  if (faults.writesLeft > 0 && --faults.writesLeft == 0 && faults.lastWriteStores >= 0) {
    stored = std::min(stored, faults.lastWriteStores);
  }
  if (int64_t(position_) + stored > INT32_MAX) return false;
  const size_t end = size_t(position_) + size_t(stored);
  if (bytes_.size() < end) bytes_.resize(end, '\0');
  if (stored > 0) std::memcpy(&bytes_[size_t(position_)], buffer, size_t(stored));
  position_ += stored;
  return stored == count;
}

bool MemoryFileStream::Close() {
  open_ = false;
  return true;
}

bool MemoryFileStream::SetPosition(int32_t position) {
  if (!open_ || position < 0 || faults.seekFails) return false;
  position_ = position;
  return true;
}

int32_t MemoryFileStream::GetLength() { return open_ ? int32_t(bytes_.size()) : -1; }

bool MemoryFileStream::SetLength(int32_t length) {
  if (!open_ || readOnly_ || length < 0 || faults.writesLeft == 0) return false;
  bytes_.resize(size_t(length), '\0');
  return true;
}

int32_t MemoryFileStream::GetPosition() { return open_ ? position_ : -1; }

bool MemoryFileStream::Create(const StringRecord*) {
  bytes_.clear();
  position_ = 0;
  open_ = true;
  readOnly_ = false;
  return true;
}

bool MemoryFileStream::Open(const StringRecord*, int32_t mode) {
  position_ = 0;
  open_ = true;
  readOnly_ = mode == kFileStreamReadOnly;
  return true;
}

bool MemoryFileStream::OpenTemporary(const StringRecord* path) { return Create(path); }
