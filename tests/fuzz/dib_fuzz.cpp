// Bytes as a packed DIB and as a BMP file, each over a copy of exactly their
// length: a view that is accepted must hold what it claims (the last byte of
// every row and the colour table lie inside), and its normalised header is
// built.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/PackedDIB.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Reads the last byte of each plain row and the normalised header; ASan
// reports any read outside the exact-size copy.
void CheckView(const uint8_t* dib, size_t length, const PackedDIBView& view) {
  if (view.pixelOffset > length || view.tableOffset > length) fuzz::Fail("offset past the end");
  if (view.compression == kDIBCompressionRGB || view.compression == kDIBCompressionBitfields) {
    volatile uint8_t sink = 0;
    for (int32_t row = 0; row < view.height; ++row)
      sink = sink + dib[view.pixelOffset + size_t(row) * view.stride + view.stride - 1];
  }
  const std::vector<uint8_t> info = NormalisedBitmapInfo(dib, view);
  if (info.size() < kDIBInfoHeaderSize) fuzz::Fail("short normalised header");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> copy(data, data + size);
  PackedDIBView view{};
  if (ReadPackedDIB(copy.data(), copy.size(), &view)) CheckView(copy.data(), copy.size(), view);
  size_t start = 0;
  PackedDIBView fileView{};
  if (ReadBMPFile(copy.data(), copy.size(), &fileView, &start)) {
    if (start > copy.size()) fuzz::Fail("DIB start past the end");
    CheckView(copy.data() + start, copy.size() - start, fileView);
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
