// Pixel access, seed fill and transform over plain rows of pixels.
#include "graphics/SurfacePixels.h"

#include <cstddef>
#include <cstring>

#include "core/GrowList.h"

namespace {

bool Inside(const PixelBuffer& buffer, int32_t x, int32_t y) {
  return x >= 0 && x < buffer.width && y >= 0 && y < buffer.height;
}

uint8_t* Row(const PixelBuffer& buffer, int32_t y) {
  return buffer.base + static_cast<ptrdiff_t>(y) * buffer.stride;
}

// The pixel's raw value in the depth's own format (x, y inside).
uint32_t RawPixel(const PixelBuffer& buffer, int32_t x, int32_t y) {
  const uint8_t* row = Row(buffer, y);
  switch (buffer.depth) {
    case 32: {
      uint32_t value;
      std::memcpy(&value, row + 4 * static_cast<ptrdiff_t>(x), 4);
      return value;
    }
    case 24: {
      const uint8_t* p = row + 3 * static_cast<ptrdiff_t>(x);
      return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    case 16: {
      uint16_t value;
      std::memcpy(&value, row + 2 * static_cast<ptrdiff_t>(x), 2);
      return value;
    }
    default:
      return 0;
  }
}

// Stores a value already in the depth's own format (x, y inside).
void StoreRaw(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t raw) {
  uint8_t* row = Row(buffer, y);
  switch (buffer.depth) {
    case 32:
      std::memcpy(row + 4 * static_cast<ptrdiff_t>(x), &raw, 4);
      break;
    case 24: {
      uint8_t* p = row + 3 * static_cast<ptrdiff_t>(x);
      p[0] = uint8_t(raw);
      p[1] = uint8_t(raw >> 8);
      p[2] = uint8_t(raw >> 16);
      break;
    }
    case 16: {
      const uint16_t value = uint16_t(raw);
      std::memcpy(row + 2 * static_cast<ptrdiff_t>(x), &value, 2);
      break;
    }
    default:
      break;
  }
}

// The colour a depth stores for 0xRRGGBB; 32 bits keep the whole value.
uint32_t RawFromColour(int32_t depth, uint32_t colour) {
  return depth == 16 ? ColourTo555(colour) : colour;
}

uint32_t ColourBits(int32_t depth) { return depth == 16 ? 0x7FFFu : 0xFFFFFFu; }

// One run of pixels still to visit: row y + dy, columns left..right, found
// from row y.
struct Segment {
  int32_t y, left, right, dy;
};

class SeedFiller {
 public:
  SeedFiller(const PixelBuffer& buffer, uint32_t oldBits, uint32_t fillRaw)
      : buffer_(buffer), mask_(ColourBits(buffer.depth)), old_(oldBits), fill_(fillRaw) {
    pending_.Init(0);
  }
  ~SeedFiller() { pending_.Dispose(); }
  SeedFiller(const SeedFiller&) = delete;
  SeedFiller& operator=(const SeedFiller&) = delete;

  void Run(int32_t seedX, int32_t seedY) {
    Push(seedY, seedX, seedX, 1);
    Push(seedY + 1, seedX, seedX, -1);
    while (pending_.count) {
      const Segment s = pending_.block[--pending_.count];
      FillRow(s.y + s.dy, s.left, s.right, s.dy);
    }
  }

 private:
  bool IsOld(int32_t x, int32_t y) const { return (RawPixel(buffer_, x, y) & mask_) == old_; }
  void Paint(int32_t x, int32_t y) const { StoreRaw(buffer_, x, y, fill_); }

  void Push(int32_t y, int32_t left, int32_t right, int32_t dy) {
    const int32_t next = y + dy;
    if (next < 0 || next >= buffer_.height) return;
    pending_.Append(Segment{y, left, right, dy});
  }

  // Fills the runs of row y that touch columns x1..x2 of the row it came
  // from, and queues the rows above and below them.
  void FillRow(int32_t y, int32_t x1, int32_t x2, int32_t dy) {
    int32_t x = x1;
    while (x >= 0 && IsOld(x, y)) Paint(x--, y);
    int32_t left;
    if (x < x1) {
      left = x + 1;
      if (left < x1) Push(y, left, x1 - 1, -dy);
      x = x1 + 1;
    } else {
      x = SkipNotOld(x1 + 1, x2, y);
      left = x;
      if (x > x2) return;
    }
    // Each pass paints one run that starts at or before x2.
    for (;;) {
      while (x < buffer_.width && IsOld(x, y)) Paint(x++, y);
      Push(y, left, x - 1, dy);
      if (x > x2 + 1) Push(y, x2 + 1, x - 1, -dy);
      x = SkipNotOld(x + 1, x2, y);
      left = x;
      if (x > x2) return;
    }
  }

  int32_t SkipNotOld(int32_t x, int32_t x2, int32_t y) const {
    while (x <= x2 && !IsOld(x, y)) ++x;
    return x;
  }

  const PixelBuffer& buffer_;
  const uint32_t mask_;
  const uint32_t old_;
  const uint32_t fill_;
  GrowList<Segment> pending_;
};

}  // namespace

uint16_t ColourTo555(uint32_t colour) {
  return uint16_t(((colour >> 9) & 0x7C00) | ((colour >> 6) & 0x3E0) | ((colour >> 3) & 0x1F));
}

uint32_t Colour555ToRGB(uint16_t bits) {
  return (uint32_t(bits >> 10 & 0x1F) << 19) | (uint32_t(bits >> 5 & 0x1F) << 11) |
         (uint32_t(bits & 0x1F) << 3);
}

uint32_t SurfacePixel(const PixelBuffer& buffer, int32_t x, int32_t y) {
  if (!Inside(buffer, x, y)) return 0;
  const uint32_t raw = RawPixel(buffer, x, y);
  switch (buffer.depth) {
    case 32:
    case 24:
      return raw & 0xFFFFFF;
    case 16:
      return Colour555ToRGB(uint16_t(raw));
    default:
      return 0;
  }
}

void SetSurfacePixel(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t colour) {
  if (!Inside(buffer, x, y)) return;
  StoreRaw(buffer, x, y, RawFromColour(buffer.depth, colour));
}

SeedFillOutcome SeedFill(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t fillColour) {
  if (!Inside(buffer, x, y)) return SeedFillOutcome::kSeedOutside;
  if (buffer.depth != 16 && buffer.depth != 24 && buffer.depth != 32) {
    return SeedFillOutcome::kUnchanged;
  }
  const uint32_t mask = ColourBits(buffer.depth);
  const uint32_t fillRaw = RawFromColour(buffer.depth, fillColour);
  const uint32_t oldBits = RawPixel(buffer, x, y) & mask;
  // Painted pixels must stop matching the region, or the fill never ends.
  if ((fillRaw & mask) == oldBits) return SeedFillOutcome::kUnchanged;
  SeedFiller(buffer, oldBits, fillRaw).Run(x, y);
  return SeedFillOutcome::kFilled;
}

bool TransformPixels(const PixelBuffer& buffer, const uint8_t (&red)[256],
                     const uint8_t (&green)[256], const uint8_t (&blue)[256]) {
  if (buffer.depth != 24 && buffer.depth != 32) return false;
  const int32_t step = buffer.depth / 8;
  for (int32_t y = 0; y < buffer.height; ++y) {
    uint8_t* p = Row(buffer, y);
    for (int32_t x = 0; x < buffer.width; ++x, p += step) {
      p[0] = blue[p[0]];
      p[1] = green[p[1]];
      p[2] = red[p[2]];
    }
  }
  return true;
}

#ifdef _WINDOWS_
#error "SurfacePixels is portable: it must not include <windows.h>."
#endif
