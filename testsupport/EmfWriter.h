// Enhanced metafiles of hand-made records, for the metafile import tests:
// records GDI would never write (damaged counts, offsets and sizes), and the
// types it no longer writes.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The little-endian bytes of a record's body.
class EmfBody {
 public:
  EmfBody& U32(uint32_t value);
  EmfBody& I32(int32_t value) { return U32(uint32_t(value)); }
  EmfBody& Words(std::initializer_list<int32_t> values);
  EmfBody& U16(uint16_t value);
  EmfBody& Bytes(const std::vector<uint8_t>& bytes);
  // UTF-16LE units of the ASCII text, without a NUL.
  EmfBody& Wide(const std::string& text);
  // Zero bytes up to a multiple of 4.
  EmfBody& Pad();
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class EmfWriter {
 public:
  // A record of the type: its size is 8 plus the body's (padded).
  EmfWriter& Add(uint32_t type, EmfBody body);
  // A record whose size field says statedSize whatever its body holds.
  EmfWriter& AddWithSize(uint32_t type, uint32_t statedSize, EmfBody body);
  // The file: a header record (bounds, handle count, nBytes the whole file),
  // the records, and the end-of-file record.
  std::vector<uint8_t> File(int32_t handles = 8, int32_t left = 0, int32_t top = 0,
                            int32_t right = 100, int32_t bottom = 100) const;

 private:
  std::vector<uint8_t> records_;
  uint32_t count_ = 0;
};

// A metafile with a record of every type the import translates, for the
// damaged-file corpora.
std::vector<uint8_t> EveryRecordEMF();
