// Rotation by shears: each shear moves every line (row or column) of the
// raster by a whole number of pixels and blends the remaining fraction of
// each pixel into the next one, in one pass with three multiplications a
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
struct Line {
  uint8_t* first;
  ptrdiff_t step;

  uint32_t At(int64_t index) const {
    uint32_t pixel;
    std::memcpy(&pixel, first + index * step, 4);
    return pixel;
  }
  void Put(int64_t index, uint32_t pixel) const { std::memcpy(first + index * step, &pixel, 4); }
  void Fill(int64_t begin, int64_t end, uint32_t pixel) const {
    for (int64_t index = begin; index < end; ++index) Put(index, pixel);
  }
};

// The part of a pixel that a shear by `fraction` hands to the next pixel:
// nothing, the whole pixel, or the fraction of its three colour bytes (in
// 1/65536 steps, so that a byte's part never exceeds the byte).
class Blend {
 public:
  explicit Blend(double fraction) {
    if (fraction > kWholePixel) {
      whole_ = true;
    } else if (fraction >= kNoBlend) {
      scale_ = uint32_t(fraction * 65536.0);
    }
  }
  uint32_t Part(uint32_t pixel) const {
    if (whole_) return pixel;
    if (!scale_) return 0;
    return (((pixel & 0xFF) * scale_) >> 16) | ((((pixel >> 8) & 0xFF) * scale_) >> 16) << 8 |
           ((((pixel >> 16) & 0xFF) * scale_) >> 16) << 16;
  }

 private:
  bool whole_ = false;
  uint32_t scale_ = 0;  // 0: no blending
};

// Moves one line of `length` pixels by `shift` into the destination line.
// A pixel's colour bytes never overflow: each written byte is the moved byte
// less its part plus at most the same part of a byte no greater than 255.
void ShearLine(const Line& source, const Line& destination, int32_t length, double shift,
               bool mask) {
  const int64_t whole = SaturatedInt32(shift >= 0 ? shift : shift - 1);  // NaN: 0
  const Blend blend(shift - double(whole));
  if (mask && whole >= 1) destination.Fill(0, std::min<int64_t>(whole, length), kRasterClear);
  if (mask && whole < 0) {
    destination.Fill(std::max<int64_t>(length + whole + 1, 0), length, kRasterClear);
  }
  const int64_t begin = std::max<int64_t>(0, -whole);
  const int64_t end = std::min<int64_t>(length, length - whole);
  if (begin < end) {
    uint32_t carry =
        blend.Part(begin > 0 ? source.At(begin - 1) : mask ? kRasterClear : source.At(0));
    for (int64_t x = begin; x < end; ++x) {
      const uint32_t pixel = source.At(x);
      const uint32_t part = blend.Part(pixel);
      destination.Put(x + whole, pixel - part + carry);
      carry = part;
    }
  }
  const int64_t trailing = length + whole;
  if (trailing >= 0 && trailing < length) {
    const uint32_t last = source.At(length - 1);
    const uint32_t edge = mask ? kRasterClear : last;
    destination.Put(trailing, edge - blend.Part(edge) + blend.Part(last));
  }
}

// The lines of a raster that one shear moves: line k starts k x lineStep
// bytes after the first, its pixels pixelStep bytes apart.
struct Lines {
  uint8_t* base;
  ptrdiff_t lineStep;
  ptrdiff_t pixelStep;
  Line operator[](int32_t k) const { return {base + k * lineStep, pixelStep}; }
};

// Line k of `count` moves by factor x (k - count / 2) pixels.
void ShearLines(const Lines& source, const Lines& destination, int32_t count, int32_t length,
                double factor, int32_t mode) {
  if (count <= 0 || length <= 0) return;
  const bool mask = (mode & kRasterMaskMode) != 0;
  for (int32_t k = 0; k < count; ++k) {
    ShearLine(source[k], destination[k], length, factor * (k - 0.5 * count), mask);
  }
}

uint8_t* Mutable(const uint8_t* bytes) { return const_cast<uint8_t*>(bytes); }

}  // namespace

void ShearRows(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
               int32_t destinationStride, int32_t width, int32_t height, double factor,
               int32_t mode) {
  ShearLines({Mutable(source), sourceStride, 4}, {destination, destinationStride, 4}, height, width,
             factor, mode);
}

void ShearColumns(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
                  int32_t destinationStride, int32_t width, int32_t height, double factor,
                  int32_t mode) {
  ShearLines({Mutable(source), 4, sourceStride}, {destination, 4, destinationStride}, width, height,
             factor, mode);
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
