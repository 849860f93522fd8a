// The platform's imaging codecs: the decoders picture import reads files
// with, and the encoders picture export writes BMP, PNG, JPEG, TIFF and GIF
// files with. COM is initialised at start-up; every object made here is
// released before the call that made it returns. Application thread only.
#pragma once
#include <windows.h>
#include <wincodec.h>

#include <cstddef>
#include <cstdint>
#include <utility>

struct PackedDIBView;

// One reference of a COM object.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // For the out parameter of a call; drops what was held.
  T** out() {
    reset();
    return &object_;
  }
  void reset() {
    if (object_) std::exchange(object_, nullptr)->Release();
  }

 private:
  T* object_ = nullptr;
};

bool MakeImagingFactory(ComRef<IWICImagingFactory>* factory);

// The formats export offers, in the order its dialog lists them.
struct ImageFileFormat {
  uint32_t fileType;       // the four-character code callers name it by
  const wchar_t* name;     // as the dialog lists it
  const wchar_t* pattern;  // the dialog's filter, e.g. L"*.png"
  const wchar_t* extension;
  const GUID* container;
};
constexpr size_t kImageFileFormatCount = 5;
extern const ImageFileFormat kImageFileFormats[kImageFileFormatCount];
// The format of a four-character file type; nil for one export cannot write.
const ImageFileFormat* ImageFileFormatOfType(uint32_t fileType);

// A bitmap source over the pixels of a checked packed DIB (1, 4 and 8 bits
// with their colour table, 16 bits 5-5-5 or 5-6-5, 24 and 32 bits), which it
// borrows: the block must outlive it. Its resolution is the DIB's (72 for
// none, at most 65,535, as a file holds it). Nil for
// masks of another layout.
IWICBitmapSource* NewPackedDIBSource(const uint8_t* dib, const PackedDIBView& view);
// The packed-DIB sources alive: the checks that export drops every
// reference it takes.
size_t LivePackedDIBSources();

// Writes the source to the file in the format, converting its pixels to
// what the encoder takes (a palette made from the pixels for GIF), whatever
// their depth. Dots per inch of 0 leave the source's. The file is written
// under a name of its own in the same folder and takes the path's place only
// when whole: on every failure the result is false, a file already at the
// path is as it was and nothing is left beside it.
bool EncodeImageFile(IWICImagingFactory* factory, IWICBitmapSource* source,
                     const ImageFileFormat& format, const wchar_t* path, double xDotsPerInch,
                     double yDotsPerInch);
