// Direct pixel work on the rows of a 16-, 24- or 32-bit picture, as plain code
// over buffers (no Windows header): single pixels, a scan-line seed fill and
// a per-channel lookup transform. The picture surface class runs on these.
//
// Pixel formats (the DIB's own): 32 bits = one little-endian u32 per pixel
// whose low 24 bits are 0xRRGGBB and whose top byte is free; 24 bits = bytes
// blue, green, red; 16 bits = one u16 0RRRRRGGGGGBBBBB. Colours are 0xRRGGBB.
// Two pixels are the same colour when their colour bits agree: the low 15
// bits at 16 bits, the low 24 bits at 24 and 32 bits.
//
// Every function checks its coordinates against the buffer's width and
// height and touches nothing outside it; the caller vouches that the buffer
// itself holds height rows of stride bytes, each wide enough for width pixels.
#pragma once
#include <cstdint>

#include "graphics/PixelOps.h"

// 0xRRGGBB to 5-5-5 (the top five bits of each channel), and back (each
// channel's low three bits 0).
uint16_t ColourTo555(uint32_t colour);
uint32_t Colour555ToRGB(uint16_t bits);

// The pixel at (x, y) as 0xRRGGBB; 0 outside the buffer or at another depth.
uint32_t SurfacePixel(const PixelBuffer& buffer, int32_t x, int32_t y);

// Stores a colour at (x, y): the whole value at 32 bits (top byte included),
// its three colour bytes at 24 bits, its 5-5-5 form at 16 bits. Ignored
// outside the buffer or at another depth.
void SetSurfacePixel(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t colour);

enum class SeedFillOutcome {
  kFilled,        // the region was painted
  kUnchanged,     // the fill colour is already the region's colour, or the depth is not 16/24/32
  kSeedOutside,   // the seed lies outside the buffer; nothing was touched
};

// Paints the 4-connected region of the seed's colour with fillColour
// (0xRRGGBB; written as SetSurfacePixel writes it). The pending segments live
// on a stack that grows through the run-time allocator, so every region is
// filled whole, however ragged.
SeedFillOutcome SeedFill(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t fillColour);

// Replaces every pixel's red, green and blue by red[r], green[g] and blue[b];
// the fourth byte of 32-bit pixels is left alone. False, with nothing
// touched, unless the depth is 24 or 32.
bool TransformPixels(const PixelBuffer& buffer, const uint8_t (&red)[256],
                     const uint8_t (&green)[256], const uint8_t (&blue)[256]);
