// Turning 32-bit rasters by any angle with sub-pixel blending: three shears
// (rows, columns, rows) after an optional quarter turn. Plain code over
// buffers (no Windows header); PixMapRotate applies it to pictures.
//
// A raster is top-down rows of 32-bit pixels: base is the top row, stride the
// distance in bytes to the next one. Source and destination have the same
// width and height; the source is scratch space and is overwritten, the
// result stands in the destination. The turn is about the raster's centre; a
// positive angle turns the content from the x axis towards minus y
// (counter-clockwise on a screen whose y runs down). What leaves the raster
// is lost.
//
// Modes: in mask mode the pixels a shear uncovers become kRasterClear and
// edges blend towards it; in image mode edges blend towards the line's own
// end pixel and uncovered pixels keep what the destination held.
//
// Blending: a shear by a fraction f moves f of each pixel's blue, green and
// red bytes (bit positions 0, 8 and 16) into its successor; the top byte
// moves by whole pixels only. A fraction below 1/256 moves nothing, one above
// 0.96 the whole pixel.
//
// Every write stays inside the destination, whatever the angle, factor or
// proportions (a NaN angle or factor copies the raster).
#pragma once
#include <cstdint>

enum RasterMode : int32_t { kRasterMaskMode = 1, kRasterImageMode = 2 };
constexpr uint32_t kRasterClear = 0x00FFFFFF;

// Row y moves right by factor x (y - height / 2) pixels.
void ShearRows(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
               int32_t destinationStride, int32_t width, int32_t height, double factor,
               int32_t mode);
// Column x moves down by factor x (x - width / 2) pixels.
void ShearColumns(const uint8_t* source, int32_t sourceStride, uint8_t* destination,
                  int32_t destinationStride, int32_t width, int32_t height, double factor,
                  int32_t mode);
// Copies the destination raster back over the source, row by row.
void CopyRaster(const uint8_t* destination, int32_t destinationStride, uint8_t* source,
                int32_t sourceStride, int32_t width, int32_t height);
void RotateRaster(uint8_t* source, int32_t sourceStride, uint8_t* destination,
                  int32_t destinationStride, int32_t width, int32_t height, double angle,
                  int32_t mode);
