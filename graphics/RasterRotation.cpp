// Rotation by shears: each shear moves every line (row or column) of the
// raster by a whole number of pixels and blends the remaining fraction of
// each pixel into the next one, in one pass with two multiplications a
// pixel.
#include "graphics/RasterRotation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/Numeric.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNoBlend = 0.0039;
constexpr double kWholePixel = 0.96;
constexpr double kQuarterTurnRest = 0.0001;

// A row or column of a raster: its first pixel and the bytes between pixels.
// Indexes are pointer-sized: they stay within the line.
struct Line {
  uint8_t* first;
  ptrdiff_t step;

  uint32_t At(ptrdiff_t index) const {
    uint32_t pixel;
    std::memcpy(&pixel, first + index * step, 4);
    return pixel;
  }
  void Put(ptrdiff_t index, uint32_t pixel) const { std::memcpy(first + index * step, &pixel, 4); }
  void Fill(ptrdiff_t begin, ptrdiff_t end, uint32_t pixel) const {
    for (ptrdiff_t index = begin; index < end; ++index) Put(index, pixel);
  }
};

// The part of a pixel that a shear by `fraction` hands to the next pixel:
// nothing, the whole pixel, or the fraction of its three colour bytes, in
// 1/256 steps (blue and red in one multiplication, green in another; a
// byte's part never exceeds the byte). The three cases are worked the same
// way, without a branch.
class Blend {
 public:
  Blend() = default;
  explicit Blend(double fraction) {
    if (fraction > kWholePixel) {
      scale_ = 256;
      top_ = 0xFF000000u;
    } else if (fraction >= kNoBlend) {
      scale_ = uint32_t(fraction * 256.0);
    }
  }
  uint32_t Part(uint32_t pixel) const {
    return ((((pixel & 0x00FF00FFu) * scale_) >> 8) & 0x00FF00FFu) |
           ((((pixel & 0x0000FF00u) * scale_) >> 8) & 0x0000FF00u) | (pixel & top_);
  }

 private:
  uint32_t scale_ = 0;
  uint32_t top_ = 0;
};

// How one line of `length` pixels moves: its pixels [begin, end) land
// `whole` pixels further on, each less its part plus its predecessor's (the
// carry). A colour byte never overflows: each written byte is the moved byte
// less its part plus at most the same part of a byte no greater than 255.
struct LineShift {
  int64_t whole = 0;  // saturated: a NaN or huge shift moves nothing in
  Blend blend;
  ptrdiff_t begin = 0;
  ptrdiff_t end = 0;
  uint32_t carry = 0;

  LineShift() = default;
  LineShift(double shift, int32_t length)
      : whole(SaturatedInt32(shift >= 0 ? shift : shift - 1)),  // NaN: 0
        blend(shift - double(whole)),
        begin(ptrdiff_t(std::clamp<int64_t>(-whole, 0, length))),
        end(ptrdiff_t(std::clamp<int64_t>(length - whole, 0, length))) {}

  // Clears the pixels the line uncovers (mask mode) and takes the blended
  // edge as the carry into the first moved pixel.
  void Start(const Line& source, const Line& destination, int32_t length, bool mask) {
    if (mask && whole >= 1) {
      destination.Fill(0, ptrdiff_t(std::min<int64_t>(whole, length)), kRasterClear);
    }
    if (mask && whole < 0) {
      destination.Fill(ptrdiff_t(std::max<int64_t>(length + whole + 1, 0)), length, kRasterClear);
    }
    if (begin < end) {
      carry = blend.Part(begin > 0 ? source.At(begin - 1) : mask ? kRasterClear : source.At(0));
    }
  }
  // The destination line seen from where pixel 0 lands, so that moved
  // pixel `index` (in [begin, end), whose landing lies inside the line) is
  // put at `index`.
  Line Landing(const Line& destination) const {
    if (begin >= end) return destination;
    return {destination.first + ptrdiff_t(whole) * destination.step, destination.step};
  }
  uint32_t Moved(uint32_t pixel) {
    const uint32_t part = blend.Part(pixel);
    const uint32_t moved = pixel - part + carry;
    carry = part;
    return moved;
  }
  // The pixel after the moved ones, when it lands inside the line.
  void Finish(const Line& source, const Line& destination, int32_t length, bool mask) const {
    const int64_t trailing = length + whole;
    if (trailing < 0 || trailing >= length) return;
    const uint32_t last = source.At(length - 1);
    const uint32_t edge = mask ? kRasterClear : last;
    destination.Put(ptrdiff_t(trailing), edge - blend.Part(edge) + blend.Part(last));
  }
};

uint8_t* Mutable(const uint8_t* bytes) { return const_cast<uint8_t*>(bytes); }

}  // namespace

void ShearRows(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
               int32_t destinationStride, int32_t width, int32_t height, double factor,
               int32_t mode) {
  if (width <= 0 || height <= 0) return;
  const bool mask = (mode & kRasterMaskMode) != 0;
  for (int32_t y = 0; y < height; ++y) {
    const Line from{Mutable(source) + ptrdiff_t(y) * sourceStride, 4};
    const Line to{destination + ptrdiff_t(y) * destinationStride, 4};
    LineShift shift(factor * (y - 0.5 * height), width);
    shift.Start(from, to, width, mask);
    const Line landing = shift.Landing(to);
    for (ptrdiff_t x = shift.begin; x < shift.end; ++x) landing.Put(x, shift.Moved(from.At(x)));
    shift.Finish(from, to, width, mask);
  }
}

// Columns go in strips of 16 that advance together row by row, so that the
// shear walks memory in rows rather than down one column after another.
void ShearColumns(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
                  int32_t destinationStride, int32_t width, int32_t height, double factor,
                  int32_t mode) {
  constexpr int32_t kStrip = 16;
  if (width <= 0 || height <= 0) return;
  const bool mask = (mode & kRasterMaskMode) != 0;
  LineShift strip[kStrip];
  Line from[kStrip], to[kStrip], landing[kStrip];
  for (int32_t first = 0; first < width; first += kStrip) {
    const int32_t columns = std::min(kStrip, width - first);
    ptrdiff_t begin = height, end = 0, allBegin = 0, allEnd = height;
    for (int32_t k = 0; k < columns; ++k) {
      LineShift& shift = strip[k];
      shift = LineShift(factor * (first + k - 0.5 * width), height);
      from[k] = {Mutable(source) + ptrdiff_t(first + k) * 4, sourceStride};
      to[k] = {destination + ptrdiff_t(first + k) * 4, destinationStride};
      landing[k] = shift.Landing(to[k]);
      shift.Start(from[k], to[k], height, mask);
      begin = std::min(begin, shift.begin);
      end = std::max(end, shift.end);
      allBegin = std::max(allBegin, shift.begin);
      allEnd = std::min(allEnd, shift.end);
    }
    for (ptrdiff_t y = begin; y < end; ++y) {
      const bool all = y >= allBegin && y < allEnd;
      for (int32_t k = 0; k < columns; ++k) {
        if (!all && (y < strip[k].begin || y >= strip[k].end)) continue;
        landing[k].Put(y, strip[k].Moved(from[k].At(y)));
      }
    }
    for (int32_t k = 0; k < columns; ++k) strip[k].Finish(from[k], to[k], height, mask);
  }
}

void CopyRaster(const uint8_t* destination, int32_t destinationStride, uint8_t* source,
                int32_t sourceStride, int32_t width, int32_t height) {
  for (int32_t y = 0; y < height && width > 0; ++y) {
    std::memcpy(source + ptrdiff_t(y) * sourceStride, destination + ptrdiff_t(y) * destinationStride,
                size_t(width) * 4);
  }
}

void RotateRaster(uint8_t* source, int32_t sourceStride, uint8_t* destination,
                  int32_t destinationStride, int32_t width, int32_t height, double angle,
                  int32_t mode) {
  auto threeShears = [&](double rowFactor, double columnFactor) {
    ShearRows(source, sourceStride, destination, destinationStride, width, height, rowFactor, mode);
    ShearColumns(destination, destinationStride, source, sourceStride, width, height, columnFactor,
                 mode);
    ShearRows(source, sourceStride, destination, destinationStride, width, height, rowFactor, mode);
  };
  double rest = std::fmod(angle, 2 * kPi);
  if (rest > kPi) rest -= 2 * kPi;
  if (rest < -kPi) rest += 2 * kPi;
  // Quarter turns move whole pixels; the three shears then turn what is left.
  if (rest >= kPi / 2 || rest <= -kPi / 2) {
    const double sign = rest > 0 ? 1.0 : -1.0;
    threeShears(sign, -sign);
    rest -= sign * kPi / 2;
    if (std::fabs(rest) < kQuarterTurnRest) return;
    CopyRaster(destination, destinationStride, source, sourceStride, width, height);
  }
  const double t = std::tan(rest / 2);
  threeShears(t, -2 * t / (t * t + 1));
}

#ifdef _WINDOWS_
#error "The raster rotation is portable: it must not include <windows.h>."
#endif
