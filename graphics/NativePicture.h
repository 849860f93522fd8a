// Native pictures: the platform images behind runtime pictures, control
// images, imported files and clipboard pictures.
//
// BitmapPicture is a top-down DIB section that can also be drawn into
// through a GraphicsPort (its drawing port is a pane over the picture);
// PackedDIBPicture is a read-only picture made from a packed DIB. Both are
// reference counted (PictureRetain / PictureRelease; a new picture has one
// reference, its maker's), and carry a resolution, a depth, an optional mask
// (a 32-bit picture whose green byte says how much of the destination shows
// through each pixel) and an optional image list, which they own.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "core/TrackedObject.h"
#include "core/utility.h"
#include "graphics/GdiObjects.h"
#include "graphics/GlobalMemory.h"
#include "ui/pane.h"

class GraphicsPort;
class BitmapPicture;
struct PackedDIBView;

// The images of a multi-image file, supplied by picture file import.
class PictureImageList {
 public:
  virtual ~PictureImageList() = default;
  virtual int32_t ImageCount() = 0;
  // Image i (1 is the first) as a new reference; nil when there is none or
  // it cannot be read.
  virtual class NativePicture* ReadImage(int32_t index) = 0;
};

// A picture seen as a packed DIB while it is locked: {kind 5, the packed DIB
// handle (the description's own), width, height}.
struct PictureDescription {
  uint32_t kind;
  HGLOBAL handle;
  int32_t width;
  int32_t height;
};

class NativePicture : public TrackedObject {
 public:
  ~NativePicture() override;
  NativePicture(const NativePicture&) = delete;
  NativePicture& operator=(const NativePicture&) = delete;

  // One more reference, and the description's own packed DIB.
  virtual void LockDescription(PictureDescription* description) = 0;
  // Gives the description's packed DIB back (a bitmap picture first takes
  // its pixels back) and drops the reference.
  virtual void UnlockDescription(PictureDescription* description) = 0;
  virtual void Dispose() {}
  // The picture's top-left part of the rectangle's size, unscaled, through
  // the port.
  void DrawInRect(GraphicsPort* port, const MacRect& rect, bool transparent);
  // A new packed DIB (the caller's); 0 without pixels.
  HGLOBAL ExportPackedDIB();
  // The bytes of the packed DIB; 0 without pixels.
  virtual uint32_t PackedDIBSize() = 0;
  // Writes the packed DIB at out, which holds PackedDIBSize() bytes, so that
  // a caller can put it straight where it goes; false without pixels.
  virtual bool WritePackedDIB(uint8_t* out) = 0;
  // The pixels for direct access; false when the picture has none to give.
  virtual bool GetPixels(int32_t* depth, uint8_t** base, int32_t* rowBytes) = 0;
  virtual void GetSize(int32_t* width, int32_t* height) = 0;
  // The source rectangle into the destination rectangle of the DC.
  virtual void Draw(HDC dc, const MacRect& source, const MacRect& destination, bool nativeWindow,
                    bool transparent) = 0;
  virtual GraphicsPort* NewGraphics() { return nullptr; }
  virtual int32_t ChangeCount() { return 0; }
  // The pixels were written directly, not through a port: what was built
  // from the old pixels (a bitmap picture's transparency masks) is rebuilt.
  virtual void PixelsChanged() {}

  int32_t Depth() const { return depth_; }
  int32_t HResolution() const { return hResolution_; }
  int32_t VResolution() const { return vResolution_; }
  void SetHResolution(int32_t dpi) { hResolution_ = dpi; }
  void SetVResolution(int32_t dpi) { vResolution_ = dpi; }
  uint16_t ReferenceCount() const { return refCount_; }
  NativePicture* Mask() const { return mask_; }
  // Takes over the list (deleted with the picture).
  void SetImageList(PictureImageList* images);
  PictureImageList* ImageList() const { return images_; }

  friend void PictureRetain(NativePicture* picture);
  friend void PictureRelease(NativePicture* picture);
  friend void PictureEnsureMask(NativePicture* picture);

 protected:
  NativePicture() { Track(); }

  uint16_t refCount_ = 1;
  int32_t hResolution_ = 72;
  int32_t vResolution_ = 72;
  int32_t depth_ = 0;
  NativePicture* mask_ = nullptr;
  PictureImageList* images_ = nullptr;
};

// The count is 16 bits; once it reaches 65535 it stays there, and the
// picture is never deleted.
void PictureRetain(NativePicture* picture);
// At the last reference the picture is disposed of and deleted.
void PictureRelease(NativePicture* picture);
int32_t PictureDepth(const NativePicture* picture);
// Gives the picture a mask when it has none: a 32-bit picture of its size,
// white (fully transparent) until drawn into.
void PictureEnsureMask(NativePicture* picture);
// Focuses the port and draws the picture into its DC.
void PictureDrawInGraphics(NativePicture* picture, GraphicsPort* port, const MacRect& source,
                           const MacRect& destination, bool transparent);

// The pane a port draws through into a bitmap picture.
class PictureDrawPort : public Pane {
 public:
  explicit PictureDrawPort(BitmapPicture* picture, const MacRect& bounds);
  BitmapPicture* Picture() const { return picture_; }

  void BeginDrawing() override;
  // Erases the picture to white, a change like any drawing.
  void EraseBackground() override;
  HDC AcquireDC(uint32_t* releaseToken) override;
  void ReleaseDC(uint32_t releaseToken) override;

 protected:
  ~PictureDrawPort() override;

 private:
  BitmapPicture* picture_;
};

class BitmapPicture : public NativePicture {
 public:
  // Depth 2 becomes 4. Another depth than 1, 4, 8, 16, 24 or 32, or a side
  // outside 1..32767, gives a picture without bitmap (sized 0 x 0), which
  // draws nothing. A new picture is white.
  static BitmapPicture* Create(int32_t width, int32_t height, int32_t depth);
  // Create without the white fill, for a maker that writes every pixel: the
  // pixels are whatever the system's new DIB section holds.
  static BitmapPicture* CreateUnfilled(int32_t width, int32_t height, int32_t depth);
  ~BitmapPicture() override;

  bool HasBitmap() const { return bool(bitmap_); }
  HBITMAP Bitmap() const { return bitmap_.get(); }
  void LockDescription(PictureDescription* description) override;
  void UnlockDescription(PictureDescription* description) override;
  void Dispose() override;
  uint32_t PackedDIBSize() override;
  bool WritePackedDIB(uint8_t* out) override;
  bool GetPixels(int32_t* depth, uint8_t** base, int32_t* rowBytes) override;
  void GetSize(int32_t* width, int32_t* height) override;
  void Draw(HDC dc, const MacRect& source, const MacRect& destination, bool nativeWindow,
            bool transparent) override;
  GraphicsPort* NewGraphics() override;
  int32_t ChangeCount() override { return changeCount_; }

  // The memory DC with the bitmap selected, shared by nested users; the
  // token is always 1. Null without bitmap.
  HDC AcquireMemoryDC(uint32_t* token);
  void ReleaseMemoryDC(uint32_t token);
  // The picture has been drawn into.
  void Touch() { ++changeCount_; }
  void PixelsChanged() override { Touch(); }
  // Paints the source's whole image stretched over this whole picture.
  void CopyFromPicture(NativePicture* source);
  PictureDrawPort* DrawPort() const { return drawPort_; }

  // Transparency-mask builds of all pictures so far (for tests).
  static int32_t MaskBuildCount();

 private:
  BitmapPicture() = default;
  bool RefreshTransparencyMasks();
  void DrawPixels(HDC dc, const MacRect& source, const MacRect& destination, bool transparent);
  void DrawTransparent(HDC dc, const MacRect& source, const MacRect& destination);
  // Every pixel copied, scaled to the destination.
  void DrawOpaque(HDC dc, const MacRect& source, const MacRect& destination);
  void DrawMasked(HDC dc, const MacRect& source, const MacRect& destination);
  void DrawClippedToMask(HDC dc, const uint8_t* maskPixels, const MacRect& source,
                         const MacRect& destination);
  // The pixels as 32-bit top-down rows of 4 x width bytes: the picture's own
  // at 32 bits, else a converted copy kept until the change count moves.
  // Null when they cannot be had.
  const uint8_t* Pixels32();
  // The 32-bit work section of the size, kept from the last draw of that
  // size and selected into workDC_; null when it cannot be made.
  uint8_t* WorkPixels(int32_t width, int32_t height);
  // Copies the destination area into the work section (unless the blend
  // writes every pixel), lets blend change its pixels and copies them back;
  // false when there is no work section.
  template <class Blend>
  bool BlendThroughWork(HDC dc, const MacRect& destination, bool writesAll, Blend blend);
  // Whether the picture, taken as a mask, shows no destination anywhere (a
  // 32-bit picture whose green bytes are all 0); kept until the change count
  // moves.
  bool Opaque();

  PictureDrawPort* drawPort_ = nullptr;
  CountedDIBSection bitmap_;
  CountedDIBSection transparencyMask_;
  CountedDIBSection maskedImage_;
  std::vector<uint8_t> bitmapInfo_;
  int32_t maskChangeCount_ = 0;
  uint8_t* maskedImageBits_ = nullptr;
  uint8_t* maskBits_ = nullptr;
  CountedDIBSection converted_;
  uint8_t* convertedBits_ = nullptr;
  int32_t convertedChangeCount_ = 0;
  CountedDIBSection work_;
  uint8_t* workBits_ = nullptr;
  int32_t workWidth_ = 0;
  int32_t workHeight_ = 0;
  // Holds the work section selected; deleted before it (declared after).
  CountedDC workDC_;
  bool opaqueKnown_ = false;
  bool opaque_ = false;
  int32_t opaqueChangeCount_ = 0;
  uint8_t* pixelBase_ = nullptr;
  int32_t rowBytes_ = 0;
  CountedDC memoryDC_;
  HGDIOBJ previousBitmap_ = nullptr;
  int32_t dcNesting_ = 0;
  int32_t changeCount_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// The picture keeps its packed DIB in two parts: the header and colour table,
// and the rows, which are the DIB section's own pixels (the section has the
// DIB's depth, row order and stride, and nothing draws into it). The packed
// DIB it gives out is those parts joined, so the pixels are held once.
class PackedDIBPicture : public NativePicture {
 public:
  // From the packed DIB in the block (copied); nil when the reader rejects it
  // or the DIB section cannot be made.
  static PackedDIBPicture* Create(HGLOBAL packedDIB);
  // From a read view: the header and table at dib (up to the view's table
  // end) and view.imageSize bytes of rows of the view's layout at rows, both
  // copied; nil when the DIB section cannot be made.
  static PackedDIBPicture* FromView(const uint8_t* dib, const PackedDIBView& view,
                                    const uint8_t* rows);
  ~PackedDIBPicture() override = default;

  void LockDescription(PictureDescription* description) override;
  void UnlockDescription(PictureDescription* description) override;
  uint32_t PackedDIBSize() override;
  bool WritePackedDIB(uint8_t* out) override;
  bool GetPixels(int32_t* depth, uint8_t** base, int32_t* rowBytes) override;
  void GetSize(int32_t* width, int32_t* height) override;
  void Draw(HDC dc, const MacRect& source, const MacRect& destination, bool nativeWindow,
            bool transparent) override;

 private:
  PackedDIBPicture() = default;

  CountedDIBSection bitmap_;
  const uint8_t* rows_ = nullptr;
  uint32_t imageSize_ = 0;
  std::vector<uint8_t> header_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// A 32-bit picture at 72 dpi with the pixels of a BMP file of length bytes;
// nil for data that is not a whole, valid BMP file.
BitmapPicture* PictureFromBMPData(const uint8_t* bytes, size_t length);
