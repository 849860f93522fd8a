// Run-length pixel streams of 4- and 8-bit DIBs, expanded into plain rows.
//
// Plain code over bytes (no Windows header). The runs are untrusted: every
// run is checked against its row, the image and the input length, so that a
// damaged stream is refused without a read or write outside the buffers.
#pragma once
#include <cstddef>
#include <cstdint>

// The two run-length compressions of a DIB header.
constexpr uint32_t kDIBCompressionRLE8 = 1;
constexpr uint32_t kDIBCompressionRLE4 = 2;

// Expands length bytes of runs (RLE8 at 8 bits, RLE4 at 4) into height rows
// of stride bytes at rows, the bottom row first as the stream orders them.
// The caller zeroes the rows: pixels the stream skips (delta and
// end-of-line codes) keep colour 0. False for a damaged stream: a run or
// delta past its row or the image, a code cut off by the end of the input,
// or an input that ends without the end-of-bitmap code; the rows may then
// hold part of the image.
bool ExpandRunLengthPixels(const uint8_t* runs, size_t length, uint32_t compression, int32_t width,
                           int32_t height, uint8_t* rows, uint32_t stride);
