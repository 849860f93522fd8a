// Row storage of query results on temporary files: a buffered file of bytes
// (SpoolFile) and the row spool over two of them, a row index and the rows'
// bytes (RowSpool).
//
// Files come from the spool factory: by default a stream that stays in
// memory while it is small and becomes a temporary file past that; tests
// put streams of their own in its place. Each file has one 64 KiB buffer
// for writes, which only ever append, and one for reads; a read first
// writes out what is pending.
// Readers that walk the file side by side (the merge of sorted runs) bring a
// buffer of their own.
//
// Nothing grows past 2^31 - 1 bytes: an append that would is refused, as is
// one after a failed write. Stored offsets are read back as untrusted: a row
// whose index entries do not lie within the data is refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/ByteStream.h"

// Makes an open, empty stream (the caller's), or null.
using SpoolStreamFactory = FileStreamPtr (*)();
// The default: bytes kept in memory until they pass kSpoolMemoryLimit, then
// moved to a temporary file ("kvt*.tmp", gone when closed) that holds them
// from then on (TemporarySpoolStream.cpp, the one file of the spools that
// calls the system). Null without memory; a file that cannot be made or
// written shows as a failed Write.
constexpr int32_t kSpoolMemoryLimit = 1024 * 1024;
FileStreamPtr NewTemporarySpoolStream();
// Installs a factory; null puts the temporary files back. Gives the
// previous one (null for the default).
SpoolStreamFactory SetSpoolStreamFactory(SpoolStreamFactory factory);

constexpr size_t kSpoolBufferSize = 64 * 1024;

class SpoolFile {
 public:
  // A window of the file's bytes kept in memory.
  struct ReadBuffer {
    std::vector<uint8_t> bytes;
    int64_t start = 0;
    size_t capacity = kSpoolBufferSize;  // the most one fill reads
  };

  // Null when no stream can be made.
  static std::unique_ptr<SpoolFile> Make();
  explicit SpoolFile(FileStreamPtr stream) : stream_(std::move(stream)) {}

  // The bytes written so far, pending ones included.
  int64_t Length() const { return written_ + int64_t(pending_.size()); }
  // False (and every later append refused) when a write fails or the file
  // would pass 2^31 - 1 bytes.
  bool Append(const void* bytes, size_t count);
  // Reads exactly count bytes at the position through the given buffer (the
  // file's own when none): at most one system read for up to the
  // buffer's capacity.
  bool ReadAt(int64_t position, void* out, size_t count, ReadBuffer* buffer = nullptr);
  // Writes out what is buffered; false when a write fails.
  bool Flush();

 private:
  bool ReadDirect(int64_t position, uint8_t* out, size_t count);

  FileStreamPtr stream_;
  std::vector<uint8_t> pending_;
  int64_t written_ = 0;
  ReadBuffer buffer_;
  bool failed_ = false;
};

class RowSpool {
 public:
  // Null when either file cannot be made.
  static std::unique_ptr<RowSpool> Make();
  RowSpool(std::unique_ptr<SpoolFile> index, std::unique_ptr<SpoolFile> data)
      : index_(std::move(index)), data_(std::move(data)) {}

  int32_t Count() const { return count_; }
  // Writes out what is buffered, so that a full disk shows now rather than
  // at the first read; false when a write fails.
  bool Flush() { return index_->Flush() && data_->Flush(); }
  // Appends one row of bytes (its offset to the index, its bytes to the
  // data); false when a file refuses.
  bool Append(const void* bytes, size_t count);
  // Row i's bytes (0-based); false outside the rows, on a failed read or on
  // offsets that do not fit the data.
  bool Read(int32_t row, std::string* bytes, SpoolFile::ReadBuffer* indexBuffer = nullptr,
            SpoolFile::ReadBuffer* dataBuffer = nullptr);

 private:
  std::unique_ptr<SpoolFile> index_;
  std::unique_ptr<SpoolFile> data_;
  int32_t count_ = 0;
};
