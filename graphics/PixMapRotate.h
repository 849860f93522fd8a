// Turning the pixels of one 32-bit picture into another of the same size
// (graphics/RasterRotation.h says how and in which direction).
#pragma once
#include <cstdint>

class NativePicture;

// Turns the source's pixels by `angle` radians into the destination in the
// raster mode given (kRasterMaskMode or kRasterImageMode); the source is
// used as scratch space and overwritten. Both pictures change, so their
// transparency masks are rebuilt at their next transparent draw.
//
// 0 when done. 3, with neither picture changed, for a missing or identical
// picture (also reported through AssertionFailed), one without pixels or
// not 32 bits deep, pictures of different sizes, or an angle that is not
// finite.
uint8_t PixMapRotate(NativePicture* source, NativePicture* destination, double angle,
                     int32_t mode);
