// A cursor over the runs and one over the image, each refusing to move past
// its end.
#include "graphics/RunLengthPixels.h"

namespace {

constexpr uint8_t kEscape = 0;
constexpr uint8_t kEndOfLine = 0;
constexpr uint8_t kEndOfBitmap = 1;
constexpr uint8_t kDelta = 2;

class RunReader {
 public:
  RunReader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}
  bool Take(uint8_t* value) {
    if (at_ >= length_) return false;
    *value = bytes_[at_++];
    return true;
  }
  // The next count bytes, or null when the input ends first.
  const uint8_t* Span(size_t count) {
    if (count > length_ - at_) return nullptr;
    const uint8_t* span = bytes_ + at_;
    at_ += count;
    return span;
  }

 private:
  const uint8_t* bytes_;
  size_t length_;
  size_t at_ = 0;
};

class PixelWriter {
 public:
  PixelWriter(uint8_t* rows, uint32_t stride, int32_t width, int32_t height, bool nibbles)
      : rows_(rows), stride_(stride), width_(width), height_(height), nibbles_(nibbles) {}

  // Room for count more pixels on the current row.
  bool Fits(uint32_t count) const { return y_ < height_ && count <= uint32_t(width_ - x_); }
  void Put(uint8_t value) {
    uint8_t* row = rows_ + size_t(y_) * stride_;
    if (!nibbles_) {
      row[x_] = value;
    } else if (x_ % 2 == 0) {
      row[x_ / 2] = uint8_t((row[x_ / 2] & 0x0F) | value << 4);
    } else {
      row[x_ / 2] = uint8_t((row[x_ / 2] & 0xF0) | (value & 0x0F));
    }
    ++x_;
  }
  bool NextLine() {
    if (y_ >= height_) return false;
    x_ = 0;
    ++y_;
    return true;
  }
  bool Move(uint8_t dx, uint8_t dy) {
    if (dx > width_ - x_ || dy > height_ - y_) return false;
    x_ += dx;
    y_ += dy;
    return true;
  }

 private:
  uint8_t* rows_;
  uint32_t stride_;
  int32_t width_, height_;
  bool nibbles_;
  int32_t x_ = 0, y_ = 0;
};

// The i-th pixel of a run's value or literal bytes.
uint8_t PixelOf(const uint8_t* bytes, uint32_t i, bool nibbles) {
  if (!nibbles) return bytes[i];
  return i % 2 == 0 ? uint8_t(bytes[i / 2] >> 4) : uint8_t(bytes[i / 2] & 0x0F);
}

bool Literal(RunReader& input, PixelWriter& output, uint8_t count, bool nibbles) {
  const size_t bytes = nibbles ? (size_t(count) + 1) / 2 : count;
  const uint8_t* literal = input.Span(bytes + bytes % 2);  // padded to a word
  if (!literal || !output.Fits(count)) return false;
  for (uint32_t i = 0; i < count; ++i) output.Put(PixelOf(literal, i, nibbles));
  return true;
}

}  // namespace

bool ExpandRunLengthPixels(const uint8_t* runs, size_t length, uint32_t compression, int32_t width,
                           int32_t height, uint8_t* rows, uint32_t stride) {
  const bool nibbles = compression == kDIBCompressionRLE4;
  if (!runs || !rows || width < 1 || height < 1 || (!nibbles && compression != kDIBCompressionRLE8)) {
    return false;
  }
  RunReader input(runs, length);
  PixelWriter output(rows, stride, width, height, nibbles);
  for (;;) {
    uint8_t count = 0, value = 0;
    if (!input.Take(&count) || !input.Take(&value)) return false;
    if (count != kEscape) {
      if (!output.Fits(count)) return false;
      const uint8_t pair[1] = {value};
      for (uint32_t i = 0; i < count; ++i) output.Put(PixelOf(pair, nibbles ? i % 2 : 0, nibbles));
      continue;
    }
    if (value == kEndOfBitmap) return true;
    bool ok;
    if (value == kEndOfLine) {
      ok = output.NextLine();
    } else if (value == kDelta) {
      uint8_t dx = 0, dy = 0;
      ok = input.Take(&dx) && input.Take(&dy) && output.Move(dx, dy);
    } else {
      ok = Literal(input, output, value, nibbles);
    }
    if (!ok) return false;
  }
}

#ifdef _WINDOWS_
#error "RunLengthPixels is portable: it must not include <windows.h>."
#endif
