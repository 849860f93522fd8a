// Rasters of fuzzed size, strides, angle, shear factor and mode through the
// three shears and the whole turn, each buffer exactly as large as its rows:
// every write must stay inside (AddressSanitizer watches), and a NaN angle
// must copy the raster unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/RasterRotation.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct Raster {
  std::vector<uint8_t> bytes;
  int32_t stride;
};

Raster MakeRaster(fuzz::Reader& input, int32_t width, int32_t height) {
  Raster raster;
  raster.stride = width * 4 + 4 * (input.Take<uint8_t>() % 3);
  raster.bytes.assign(size_t(raster.stride) * height, 0);
  const std::string fill = input.Bytes(raster.bytes.size());
  std::memcpy(raster.bytes.data(), fill.data(), fill.size());
  return raster;
}

// The pixels of the rows, without the padding.
std::vector<uint8_t> Pixels(const Raster& raster, int32_t width, int32_t height) {
  std::vector<uint8_t> pixels;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = raster.bytes.data() + size_t(y) * raster.stride;
    pixels.insert(pixels.end(), row, row + size_t(width) * 4);
  }
  return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader input(data, size);
  const int32_t width = 1 + input.Take<uint8_t>() % 48;
  const int32_t height = 1 + input.Take<uint8_t>() % 48;
  const int32_t mode = input.Take<uint8_t>() % 3;
  const double factor = input.Take<double>();
  const double angle = input.Take<double>();
  Raster source = MakeRaster(input, width, height);
  Raster destination = MakeRaster(input, width, height);
  ShearRows(source.bytes.data(), source.stride, destination.bytes.data(), destination.stride,
            width, height, factor, mode);
  ShearColumns(source.bytes.data(), source.stride, destination.bytes.data(), destination.stride,
               width, height, factor, mode);
  const std::vector<uint8_t> before = Pixels(source, width, height);
  RotateRaster(source.bytes.data(), source.stride, destination.bytes.data(), destination.stride,
               width, height, angle, mode);
  if (std::isnan(angle) && Pixels(destination, width, height) != before)
    fuzz::Fail("a NaN angle changed the raster");
  fuzz::FailOnRecordedBoxes();
  return 0;
}
