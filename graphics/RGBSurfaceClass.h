// The language class "RGBSurface": direct access to the pixels of a 16-, 24-
// or 32-bit Picture, in place, without GDI. Single pixels, a flood fill and a
// per-channel lookup transform; every write raises the picture's change
// count, so its transparency masks are rebuilt before the next transparent
// drawing. The object's layout is RGBSurfaceObject (graphics/PictureClass.h).
//
// Errors: a nil surface leaves NilObjectException pending and reads 0. Reads
// outside the surface give 0 and writes there are ignored. FloodFill with a
// seed outside leaves OutOfBoundsException pending; Transform with a map whose
// upper bound is not 255 (a nil map counts as -1), or on a 16-bit surface,
// leaves UnsupportedFormatException pending. A raising call returns at once,
// every pixel unchanged.
#pragma once
#include <cstdint>

struct RuntimeArray;
struct RuntimeObject;

extern "C" {
// Picture.RGBSurface: a new surface over the picture's pixels (one reference,
// the caller's, which holds the picture); nil for a nil picture, one without
// pixels, or one of a depth below 16. Each read makes a new surface.
RuntimeObject* pictureRGBSurfaceGetter(RuntimeObject* picture, uint32_t parameter);

// The pixel as 0xRRGGBB (each channel's low three bits 0 at 16 bits).
uint32_t rgbSurfaceGetPixel(RuntimeObject* surface, int32_t x, int32_t y);
// Stores the whole value at 32 bits, the colour bytes at 24, 5-5-5 at 16.
void rgbSurfaceSetPixel(RuntimeObject* surface, int32_t x, int32_t y, uint32_t colour);
// Paints the 4-connected region of the seed's colour; a fill colour whose
// colour bits are already the region's changes nothing.
void rgbSurfaceSeedFill(RuntimeObject* surface, int32_t x, int32_t y, uint32_t colour);
// Every pixel's red, green and blue replaced by the low byte of the maps'
// elements (Integer arrays, upper bound 255); the fourth byte of 32-bit
// pixels is kept. The maps are checked blue, green, red, and the message
// names the bound of the last wrong one.
void rgbSurfaceTransformRGB(RuntimeObject* surface, RuntimeArray* redMap, RuntimeArray* greenMap,
                            RuntimeArray* blueMap);
// The same map for all three channels.
void rgbSurfaceTransform(RuntimeObject* surface, RuntimeArray* map);
}
