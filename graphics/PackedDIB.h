// The one way in and out of packed DIBs: a header, a colour table and the
// pixel rows in one block, as the clipboard, drag images, BMP files and
// pictures exchange them.
//
// This unit is plain code over bytes (no Windows header): the reader takes
// untrusted bytes and a length and answers a checked view or a failure; the
// writer lays out the 40-byte header form that pictures export. GDI is only
// handed the normalised header that NormalisedBitmapInfo builds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/RunLengthPixels.h"

constexpr uint32_t kDIBCompressionRGB = 0;
constexpr uint32_t kDIBCompressionBitfields = 3;
constexpr uint32_t kDIBInfoHeaderSize = 40;
constexpr int32_t kDIBMaximumSide = 32767;

// What the reader found, every offset and size checked against the length.
struct PackedDIBView {
  uint32_t headerSize;   // 12 (core), 40, 52, 56, 108 or 124
  int32_t width;         // 1..32767
  int32_t height;        // 1..32767, whatever the row order
  bool topDown;          // negative height in the header
  uint16_t bitCount;     // 1, 4, 8, 16, 24 or 32
  uint32_t compression;  // kDIBCompressionRGB or kDIBCompressionBitfields (or run-length:
                         // ReadBMPFileWithRuns only)
  uint32_t masks[3];     // red, green, blue of a bitfields DIB; 0 otherwise
  uint32_t colorCount;   // entries of the colour table
  uint32_t tableOffset;  // first colour entry, from the start of the block
  uint32_t entrySize;    // 3 for the core header, 4 otherwise
  uint32_t pixelOffset;  // first pixel row, from the start of the block
  uint32_t stride;       // bytes per row, DWORD-aligned
  uint32_t imageSize;    // height x stride (of the plain rows)
  int32_t xPelsPerMeter, yPelsPerMeter;  // 0 for the core header
};

// Bytes per DWORD-aligned row; 0 when the row would not fit 32 bits.
uint32_t DIBStride(int64_t width, uint32_t bitCount);

// Reads and checks a packed DIB of length bytes (nil bytes fail). False, with
// the view untouched, for a header size other than 12, 40, 52, 56, 108 or
// 124; a bit count other than 1, 4, 8, 16, 24 or 32 (16 and 32 only with
// bitfields); any other compression; bitfield masks without room; more colours
// than 2^bits at 1, 4 or 8 bits; a width or height outside 1..32767; or a
// header, table and pixels longer than the length.
bool ReadPackedDIB(const uint8_t* bytes, size_t length, PackedDIBView* view);

// Reads a BMP file: "BM", a file size no larger than the length, and the
// packed DIB after the 14-byte file header. dibStart receives the offset of
// the packed DIB; the view's offsets count from there. A pixel offset in the
// file header beyond the colour table moves the pixels (checked too).
bool ReadBMPFile(const uint8_t* bytes, size_t length, PackedDIBView* view, size_t* dibStart);

// ReadBMPFile that also takes the 4- and 8-bit run-length files (bottom-up,
// an info header or a later form). For those, view->compression is the
// run-length code, pixelOffset the first run, imageSize the size of the rows
// the runs expand to (ExpandRunLengthPixels), and *runLength the bytes of runs:
// biSizeImage, or to the end of the file when that is 0, checked against the
// length. *runLength is 0 for a plain file.
bool ReadBMPFileWithRuns(const uint8_t* bytes, size_t length, PackedDIBView* view, size_t* dibStart,
                         uint32_t* runLength);

// The header GDI is given for a read DIB: a 40-byte info header (bitfields
// followed by their three masks) and the colour table as 4-byte entries.
std::vector<uint8_t> NormalisedBitmapInfo(const uint8_t* dib, const PackedDIBView& view);

// The colour table of a depth as pictures keep it: 2, 16 or 256 for 1, 4 and
// 8 bits, none above.
uint32_t TableEntriesOfDepth(uint32_t bitCount);
// round(dots per inch x 39.37007874015748).
int32_t PixelsPerMeter(int32_t dotsPerInch);
// Its inverse, whole: every resolution from 1 to 65,535 dots per inch comes
// back as it went in. 72 for none (0 or less).
int32_t DotsPerInch(int32_t pixelsPerMeter);
// The dots per inch a file gets for a resolution of any Integer: itself from
// 1 to 65,535 (the most a JPEG file holds), 72 for 0 or less, 65,535 above.
int32_t FileResolution(int32_t dotsPerInch);
// Puts the resolution in the fields of a packed DIB's header, in place;
// false, with nothing written, for a core header, which has none (or a
// block too short).
bool SetPackedDIBResolution(uint8_t* dib, size_t size, int32_t xDotsPerInch, int32_t yDotsPerInch);
// The packed DIB again under the 40-byte header NormalisedBitmapInfo gives
// it, its rows after; empty when the reader refuses it.
std::vector<uint8_t> PackedDIBWithInfoHeader(const uint8_t* dib, size_t size);

// The layout of an exported packed DIB: a 40-byte header with a positive
// height, planes 1, no compression, image size height x stride and the
// resolution, then colorCount 4-byte entries, then the rows bottom-up.
struct PackedDIBLayout {
  uint32_t tableOffset;
  uint32_t pixelOffset;
  uint32_t stride;
  uint32_t totalSize;
};
// False when the sizes are out of range (as the reader would reject them).
bool PlanPackedDIB(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorCount,
                   PackedDIBLayout* layout);
// Writes the header at out (40 bytes); the colours used are left 0, which
// means the full table of the depth.
void WritePackedDIBHeader(uint8_t* out, int32_t width, int32_t height, uint16_t bitCount,
                          int32_t xDotsPerInch, int32_t yDotsPerInch);

// Copies height rows of rowBytes each from source to destination, the last
// source row first (top-down to bottom-up and back). The buffers must not
// overlap.
void CopyRowsFlipped(const uint8_t* source, uint32_t sourceStride, uint8_t* destination,
                     uint32_t destinationStride, uint32_t rowBytes, int32_t height);
