// The importers that read image files other than BMP into bitmap pictures:
// QuickTime's graphics importer over the media backend, when QuickTime
// starts with one of its own, and otherwise the platform's imaging decoders, which know a file by
// its content. Both answer the same questions in the same order: select an
// image, count the images, the natural bounds, set the bounds, the depth,
// then draw into a picture of that size and depth.
//
// An importer is made and destroyed within one call of the run-time; its
// destructor closes it and releases everything it holds (no COM object or
// component outlives it). Paths are UTF-8. Application thread only.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class BitmapPicture;

// An image's bounds, 32 bits a side so that oversized images can be told.
struct ImportBounds {
  int32_t left, top, right, bottom;
};

class PictureImporter {
 public:
  virtual ~PictureImporter() = default;
  // Image index (1 is the first) for the questions after it.
  virtual bool SelectImage(int32_t index) = 0;
  virtual bool ImageCount(int32_t* count) = 0;
  virtual bool NaturalBounds(ImportBounds* bounds) = 0;
  virtual bool SetBounds(const ImportBounds& bounds) = 0;
  // The image's depth as the importer states it (QuickTime's grey-scale
  // depths lie above 32; see ImportedDepth).
  virtual bool Depth(int32_t* depth) = 0;
  // Writes every pixel of the picture, whose size is the bounds' and whose
  // depth is ImportedDepth(Depth()).
  virtual bool Draw(BitmapPicture* picture) = 0;
};

// The depth a picture of an imported image gets: none (0) gives 32, a depth
// above 32 is reduced by 32, and a result below 16 becomes 32.
int32_t ImportedDepth(int32_t stated);

// The importer of the file: QuickTime's when QuickTime starts and its
// backend has an importer of its own (nil when it has none for the file),
// else the platform's (nil when the decoders cannot be made or do not know
// the file).
std::unique_ptr<PictureImporter> OpenPictureImporter(const char* path);
// A UTF-8 path as the W forms of the system calls take it; empty when it is
// not UTF-8.
std::wstring WidePathOf(const char* path);

// Whether the platform's decoders can be made (COM is initialised at start-up).
bool PlatformImporterAvailable();
