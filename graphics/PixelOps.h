// Pixel work of pictures as plain code over buffers (no Windows header): the
// transparency masks of the six depths and the masked blend. GDI only moves
// pixels in and out around these.
#pragma once
#include <cstdint>

// Rows of pixels: base is the top row, stride the distance to the next one
// (negative for rows stored bottom-up), depth the bits per pixel.
struct PixelBuffer {
  uint8_t* base;
  int32_t stride;
  int32_t width, height;
  int32_t depth;
};

// White is the transparent colour: colour-table entry 0 at 1 and 4 bits
// (white in their tables), index 215 at 8 bits (the colour cube's white),
// 0x7FFF at 16 bits, FFFFFF at 24 and 32 bits. For every pixel, sets the
// 1-bit mask (bit 7 the leftmost pixel) to 1 where the image is transparent
// and 0 elsewhere, and makes that pixel black in maskedImage, which holds a
// copy of the image. False for another depth.
bool BuildTransparencyMask(const PixelBuffer& image, const PixelBuffer& maskedImage,
                           const PixelBuffer& mask);

// Blends 32-bit source pixels into 24- or 32-bit destination pixels through a
// 32-bit mask whose green byte m says how much of the destination stays: each
// of blue, green and red becomes s x (255 - m) / 255 + d x m / 255 (integer
// arithmetic, no division); the fourth byte of a 32-bit destination becomes 0,
// as after a pass through 24 bits. The source rectangle (left, top, right, bottom in source pixels) is scaled onto the
// whole destination by nearest neighbour; coordinates are clamped to the
// source and the mask, so nothing is read outside them.
void MaskedBlend(const PixelBuffer& source, const PixelBuffer& mask, int32_t left, int32_t top,
                 int32_t right, int32_t bottom, const PixelBuffer& destination);

// Copies 32-bit source pixels onto 32-bit destination pixels where the 1-bit
// mask of BuildTransparencyMask is 0, leaving the destination where it is 1;
// the source rectangle is scaled onto the whole destination as in
// MaskedBlend. Copied pixels get a fourth byte of 0.
void TransparentCopy(const PixelBuffer& source, const PixelBuffer& mask, int32_t left, int32_t top,
                     int32_t right, int32_t bottom, const PixelBuffer& destination);
