// PixMapRotate: the pictures' pixels handed to the raster rotation.
#include "graphics/PixMapRotate.h"

#include <cmath>

#include "core/diagnostics.h"
#include "graphics/NativePicture.h"
#include "graphics/RasterRotation.h"

namespace {

constexpr uint8_t kRefused = 3;

struct Raster {
  uint8_t* base = nullptr;
  int32_t stride = 0;
  int32_t width = 0;
  int32_t height = 0;

  // False unless the picture has 32-bit pixels.
  bool Of(NativePicture* picture) {
    int32_t depth = 0;
    if (!picture->GetPixels(&depth, &base, &stride) || depth != 32 || !base) return false;
    picture->GetSize(&width, &height);
    return true;
  }
};

}  // namespace

uint8_t PixMapRotate(NativePicture* source, NativePicture* destination, double angle,
                     int32_t mode) {
  if (!source || !destination || source == destination) {
    AssertionFailed(131, 4, "PixMapRotate", __LINE__, "srcDP and dstDP and srcDP != dstDP",
                    nullptr);
    return kRefused;
  }
  Raster from, to;
  if (!std::isfinite(angle) || !from.Of(source) || !to.Of(destination) ||
      from.width != to.width || from.height != to.height) {
    return kRefused;
  }
  RotateRaster(from.base, from.stride, to.base, to.stride, to.width, to.height, angle, mode);
  source->PixelsChanged();
  destination->PixelsChanged();
  return 0;
}
