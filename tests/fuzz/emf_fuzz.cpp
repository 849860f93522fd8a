// Bytes as an enhanced metafile, its records handed to the record reader as
// the system's enumeration hands them: each record whole inside the file's
// stated length, which itself lies inside the input. Every shape's pointers
// (text, bitmap header and bits, font face) must lie inside the records of
// that exact-size copy, and a face name holds at most 32 units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/EmfRecords.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

uint32_t Word(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

class CheckingSink : public EmfShapeSink {
 public:
  CheckingSink(const uint8_t* begin, size_t size) : begin_(begin), end_(begin + size) {}

  bool AddShape(const EmfShape& shape) override {
    Inside(shape.text, uint64_t(shape.textUnits) * (shape.wideText ? 2 : 1));
    Inside(shape.bitmapInfo, shape.bitmapInfoSize);
    Inside(shape.bits, shape.bitsSize);
    if (shape.font) Inside(shape.font->face, uint64_t(shape.font->faceUnits) * 2);
    if (shape.font && shape.font->faceUnits > 32) fuzz::Fail("a face name past 32 units");
    return ++shapes_ < 100000;
  }

 private:
  void Inside(const uint8_t* at, uint64_t length) const {
    if (!at) {
      if (length != 0) fuzz::Fail("a length without its bytes");
      return;
    }
    if (at < begin_ || at > end_ || length > uint64_t(end_ - at)) fuzz::Fail("bytes outside the file");
  }

  const uint8_t* begin_;
  const uint8_t* end_;
  uint32_t shapes_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 60) return 0;
  const std::vector<uint8_t> copy(data, data + size);
  const uint8_t* file = copy.data();
  // The header's nBytes and nHandles; the enumeration stops at nBytes.
  const uint32_t fileBytes = Word(file + 48) < size ? Word(file + 48) : uint32_t(size);
  uint16_t handles;
  std::memcpy(&handles, file + 56, 2);
  EmfRecordReader reader(fileBytes);
  CheckingSink sink(file, fileBytes);
  for (uint32_t offset = 0; fileBytes - offset >= 8;) {
    const uint32_t recordSize = Word(file + offset + 4);
    if (recordSize > fileBytes - offset) break;
    if (!reader.Read(file + offset, handles, &sink) || recordSize == 0) break;
    offset += recordSize;
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
