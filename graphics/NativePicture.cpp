// Bitmap and packed-DIB pictures: creation, the memory DC, export and
// description locks, and drawing plain, transparent and masked.
#include "graphics/NativePicture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/GraphicsPort.h"
#include "graphics/PackedDIB.h"
#include "graphics/PixelOps.h"
#include "graphics/ScreenCapture.h"
#include "host/Win32Handles.h"

namespace {

int32_t maskBuilds = 0;

constexpr uint8_t kSixteenColours[16][3] = {
    {255, 255, 255}, {252, 243, 5}, {255, 100, 2},  {221, 8, 6},    {242, 8, 132}, {70, 0, 165},
    {0, 0, 212},     {2, 171, 234}, {31, 183, 20},  {0, 100, 17},   {86, 44, 5},   {144, 113, 58},
    {192, 192, 192}, {128, 128, 128}, {64, 64, 64}, {0, 0, 0}};

bool IsPictureDepth(int32_t depth) {
  return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

void PutEntry(uint8_t* table, uint32_t index, uint8_t red, uint8_t green, uint8_t blue) {
  table[4 * index] = blue;
  table[4 * index + 1] = green;
  table[4 * index + 2] = red;
}

// A top-down header and the fixed colour table of the depth.
std::vector<uint8_t> BitmapInfoOfDepth(int32_t width, int32_t height, int32_t depth) {
  uint32_t entries = TableEntriesOfDepth(uint32_t(depth));
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 4 * entries);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = -height;
  header->biPlanes = 1;
  header->biBitCount = WORD(depth);
  uint8_t* table = info.data() + sizeof(BITMAPINFOHEADER);
  if (depth == 1) {
    PutEntry(table, 0, 255, 255, 255);
  } else if (depth == 4) {
    for (uint32_t i = 0; i < 16; ++i) {
      PutEntry(table, i, kSixteenColours[i][0], kSixteenColours[i][1], kSixteenColours[i][2]);
    }
  } else if (depth == 8) {
    for (uint32_t i = 0; i < 216; ++i) {
      PutEntry(table, i, uint8_t(51 * (i / 36)), uint8_t(51 * (i / 6 % 6)), uint8_t(51 * (i % 6)));
    }
  }
  return info;
}

CountedDIBSection MakeSection(const std::vector<uint8_t>& info, uint8_t** bits) {
  void* pixels = nullptr;
  CountedDIBSection section(CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                             DIB_RGB_COLORS, &pixels, nullptr, 0));
  *bits = static_cast<uint8_t*>(pixels);
  return section;
}

// A memory DC with a bitmap selected for a scope.
class SelectedBitmap {
 public:
  explicit SelectedBitmap(HBITMAP bitmap)
      : dc_(CreateCompatibleDC(nullptr)), previous_(SelectObject(dc_.get(), bitmap)) {
    NoteGdiDrawing();
  }
  ~SelectedBitmap() { SelectObject(dc_.get(), previous_); }
  SelectedBitmap(const SelectedBitmap&) = delete;
  SelectedBitmap& operator=(const SelectedBitmap&) = delete;
  HDC dc() const { return dc_.get(); }

 private:
  CountedDC dc_;
  HGDIOBJ previous_;
};

int32_t Width(const MacRect& rect) { return int32_t(rect.right) - rect.left; }
int32_t Height(const MacRect& rect) { return int32_t(rect.bottom) - rect.top; }

// A top-down 32-bit header of the size.
BITMAPINFO Info32(int32_t width, int32_t height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  return info;
}

CountedDIBSection Section32(int32_t width, int32_t height, uint8_t** bits) {
  BITMAPINFO header = Info32(width, height);
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER));
  std::memcpy(info.data(), &header.bmiHeader, info.size());
  return MakeSection(info, bits);
}

// Whether the DC draws into a 32-bit DIB section, whose pixels a software
// pass can take and give back through a 32-bit work section unchanged.
bool DrawsInto32BitDIB(HDC dc) {
  DIBSECTION section{};
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  return bitmap && GetObjectW(bitmap, sizeof section, &section) == sizeof section &&
         section.dsBm.bmBitsPixel == 32;
}

// Whether the DC gives back the pixels drawn into it. A printer's, or a
// metafile recording a page, reads back black, so nothing can be blended
// with what it shows.
bool ReadsBack(HDC dc) {
  const DWORD type = GetObjectType(dc);
  if (type == OBJ_METADC || type == OBJ_ENHMETADC) return false;
  const int technology = GetDeviceCaps(dc, TECHNOLOGY);
  return technology != DT_RASPRINTER && technology != DT_PLOTTER;
}

// The part of the mask (32-bit rows, green the share of the destination
// that stays) that shows the picture more than the destination, within the
// source rectangle, as a region in the device coordinates of the
// destination rectangle on the DC; scaled as the picture's pixels are.
HRGN OpaqueRegion(HDC dc, const uint8_t* mask, int32_t maskWidth, int32_t maskHeight,
                  const MacRect& source, const MacRect& destination) {
  POINT corners[2] = {{destination.left, destination.top}, {destination.right, destination.bottom}};
  LPtoDP(dc, corners, 2);
  const int32_t sourceWidth = Width(source), sourceHeight = Height(source);
  auto deviceX = [&](int32_t x) {
    return corners[0].x + MulDiv(x - source.left, corners[1].x - corners[0].x, sourceWidth);
  };
  auto deviceY = [&](int32_t y) {
    return corners[0].y + MulDiv(y - source.top, corners[1].y - corners[0].y, sourceHeight);
  };
  std::vector<RECT> runs;
  const int32_t right = std::min<int32_t>(source.right, maskWidth);
  for (int32_t y = std::max<int32_t>(source.top, 0); y < std::min<int32_t>(source.bottom, maskHeight);
       ++y) {
    const uint8_t* row = mask + size_t(y) * size_t(maskWidth) * 4;
    for (int32_t x = std::max<int32_t>(source.left, 0); x < right;) {
      if (row[4 * x + 1] >= 128) {
        ++x;
        continue;
      }
      const int32_t start = x;
      while (x < right && row[4 * x + 1] < 128) ++x;
      runs.push_back({deviceX(start), deviceY(y), deviceX(x), deviceY(y + 1)});
    }
  }
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = DWORD(runs.size());
  std::memcpy(data.data() + sizeof(RGNDATAHEADER), runs.data(), runs.size() * sizeof(RECT));
  return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
}

// Whether the rectangle lies within a picture of the size, with room.
bool Inside(const MacRect& rect, int32_t width, int32_t height) {
  return rect.left >= 0 && rect.top >= 0 && rect.right <= width && rect.bottom <= height &&
         rect.left < rect.right && rect.top < rect.bottom;
}

// Whether a stretch from the source size to the destination size repeats
// every source pixel the same number of times, where the platform's stretch
// and the plain nearest-neighbour sampling pick the same pixels.
bool WholeMultiple(int32_t destination, int32_t source) {
  return source > 0 && destination % source == 0;
}

// A 16-bit count that reaches its top stays there: the picture is kept for
// the process's life rather than deleted while owners still hold it.
constexpr uint16_t kStuckReferenceCount = 0xFFFF;

}  // namespace

// ---- NativePicture ------------------------------------------------------------

NativePicture::~NativePicture() {
  if (mask_) PictureRelease(mask_);
  delete images_;
}

void NativePicture::SetImageList(PictureImageList* images) {
  if (images_ != images) delete images_;
  images_ = images;
}

HGLOBAL NativePicture::ExportPackedDIB() {
  const uint32_t size = PackedDIBSize();
  if (size == 0) return nullptr;
  GlobalBlock block = GlobalBlock::Allocate(size);
  GlobalLockScope locked(block.get());
  return locked.data() && WritePackedDIB(locked.data()) ? block.release() : nullptr;
}

void NativePicture::DrawInRect(GraphicsPort* port, const MacRect& rect, bool transparent) {
  MacRect source{0, 0, int16_t(Height(rect)), int16_t(Width(rect))};
  PictureDrawInGraphics(this, port, source, rect, transparent);
}

void PictureRetain(NativePicture* picture) {
  if (picture && picture->refCount_ < kStuckReferenceCount) ++picture->refCount_;
}

void PictureRelease(NativePicture* picture) {
  if (!picture || picture->refCount_ == kStuckReferenceCount || --picture->refCount_ > 0) return;
  picture->Dispose();
  delete picture;
}

int32_t PictureDepth(const NativePicture* picture) { return picture ? picture->Depth() : 0; }

void PictureEnsureMask(NativePicture* picture) {
  if (!picture || picture->mask_) return;
  int32_t width = 0, height = 0;
  picture->GetSize(&width, &height);
  picture->mask_ = BitmapPicture::Create(width, height, 32);
}

void PictureDrawInGraphics(NativePicture* picture, GraphicsPort* port, const MacRect& source,
                           const MacRect& destination, bool transparent) {
  if (!picture || !port) return;
  port->Focus();
  bool native = port->Target() && port->Target()->HasNativeWindow();
  HDC dc = port->GetDC();
  if (dc) picture->Draw(dc, source, destination, native, transparent);
}

// ---- PictureDrawPort -------------------------------------------------------------

PictureDrawPort::PictureDrawPort(BitmapPicture* picture, const MacRect& bounds)
    : Pane(bounds), picture_(picture) {}

PictureDrawPort::~PictureDrawPort() { PaneForgetGraphicsPorts(this); }

void PictureDrawPort::BeginDrawing() { picture_->Touch(); }

// Erased through the picture's memory DC without becoming the current pane,
// so the change is counted here.
void PictureDrawPort::EraseBackground() {
  Pane::EraseBackground();
  picture_->Touch();
}

HDC PictureDrawPort::AcquireDC(uint32_t* releaseToken) { return picture_->AcquireMemoryDC(releaseToken); }
void PictureDrawPort::ReleaseDC(uint32_t releaseToken) { picture_->ReleaseMemoryDC(releaseToken); }

// ---- BitmapPicture ---------------------------------------------------------------

BitmapPicture* BitmapPicture::Create(int32_t width, int32_t height, int32_t depth) {
  BitmapPicture* picture = CreateUnfilled(width, height, depth);
  uint32_t token = 0;
  if (HDC dc = picture->AcquireMemoryDC(&token)) {
    RECT whole{0, 0, picture->width_, picture->height_};
    FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    picture->ReleaseMemoryDC(token);
  }
  return picture;
}

BitmapPicture* BitmapPicture::CreateUnfilled(int32_t width, int32_t height, int32_t depth) {
  auto* picture = new BitmapPicture();
  if (depth == 2) depth = 4;
  picture->depth_ = depth;
  bool sized = width >= 1 && width <= kDIBMaximumSide && height >= 1 && height <= kDIBMaximumSide;
  if (!sized) width = height = 0;
  picture->drawPort_ = new PictureDrawPort(picture, MacRect{0, 0, int16_t(height), int16_t(width)});
  if (!sized || !IsPictureDepth(depth)) return picture;
  picture->width_ = width;
  picture->height_ = height;
  picture->bitmapInfo_ = BitmapInfoOfDepth(width, height, depth);
  picture->rowBytes_ = int32_t(DIBStride(width, uint32_t(depth)));
  picture->bitmap_ = MakeSection(picture->bitmapInfo_, &picture->pixelBase_);
  return picture;
}

BitmapPicture::~BitmapPicture() {
  drawPort_->Unlock();
  if (memoryDC_) SelectObject(memoryDC_.get(), previousBitmap_);
}

void BitmapPicture::Dispose() {
  if (CurrentDrawingPane() == drawPort_) ReleaseCurrentDrawingPane();
}

HDC BitmapPicture::AcquireMemoryDC(uint32_t* token) {
  if (token) *token = 1;
  if (!bitmap_) return nullptr;
  NoteGdiDrawing();
  if (dcNesting_++ == 0) {
    memoryDC_.reset(CreateCompatibleDC(nullptr));
    previousBitmap_ = SelectObject(memoryDC_.get(), bitmap_.get());
    SetTextAlign(memoryDC_.get(), TA_BASELINE);
  }
  return memoryDC_.get();
}

void BitmapPicture::ReleaseMemoryDC(uint32_t) {
  if (dcNesting_ == 0 || --dcNesting_ > 0) return;
  SelectObject(memoryDC_.get(), previousBitmap_);
  memoryDC_.reset();
}

GraphicsPort* BitmapPicture::NewGraphics() { return new GraphicsPort(drawPort_); }

bool BitmapPicture::GetPixels(int32_t* depth, uint8_t** base, int32_t* rowBytes) {
  if (!bitmap_) return false;
  FlushGdi();
  *depth = depth_;
  *base = pixelBase_;
  *rowBytes = rowBytes_;
  return true;
}

void BitmapPicture::GetSize(int32_t* width, int32_t* height) {
  *width = width_;
  *height = height_;
}

uint32_t BitmapPicture::PackedDIBSize() {
  PackedDIBLayout layout;
  return bitmap_ && PlanPackedDIB(width_, height_, uint16_t(depth_),
                                  TableEntriesOfDepth(uint32_t(depth_)), &layout)
             ? layout.totalSize
             : 0;
}

bool BitmapPicture::WritePackedDIB(uint8_t* out) {
  const uint32_t entries = TableEntriesOfDepth(uint32_t(depth_));
  PackedDIBLayout layout;
  if (!bitmap_ || !PlanPackedDIB(width_, height_, uint16_t(depth_), entries, &layout)) return false;
  FlushGdi();
  WritePackedDIBHeader(out, width_, height_, uint16_t(depth_), hResolution_, vResolution_);
  std::memcpy(out + layout.tableOffset, bitmapInfo_.data() + sizeof(BITMAPINFOHEADER),
              4 * size_t(entries));
  CopyRowsFlipped(pixelBase_, uint32_t(rowBytes_), out + layout.pixelOffset, layout.stride,
                  uint32_t(rowBytes_), height_);
  return true;
}

void BitmapPicture::LockDescription(PictureDescription* description) {
  PictureRetain(this);
  *description = {5, ExportPackedDIB(), width_, height_};
}

void BitmapPicture::UnlockDescription(PictureDescription* description) {
  GlobalBlock exported(description->handle);
  description->handle = nullptr;
  if (exported) {
    GlobalLockScope locked(exported.get());
    PackedDIBView view;
    bool fits = ReadPackedDIB(locked.data(), locked.size(), &view) && view.width == width_ &&
                view.height == height_ && view.bitCount == depth_ && !view.topDown;
    if (fits && bitmap_) {
      FlushGdi();
      CopyRowsFlipped(locked.data() + view.pixelOffset, view.stride, pixelBase_, uint32_t(rowBytes_),
                      uint32_t(rowBytes_), height_);
      Touch();
    }
  }
  PictureRelease(this);
}

void BitmapPicture::CopyFromPicture(NativePicture* source) {
  if (!source || !bitmap_) return;
  GlobalBlock exported(source->ExportPackedDIB());
  int32_t width = 0, height = 0;
  source->GetSize(&width, &height);
  uint32_t token = 0;
  HDC dc = AcquireMemoryDC(&token);
  CountedPalette palette = CreateSystemPalette();
  PaintPackedDIB(dc, {0, 0, width_, height_}, exported.get(), {0, 0, width, height}, palette.get());
  ReleaseMemoryDC(token);
  Touch();
}

int32_t BitmapPicture::MaskBuildCount() { return maskBuilds; }

bool BitmapPicture::RefreshTransparencyMasks() {
  if (!bitmap_) return false;
  if (transparencyMask_ && maskedImage_ && maskChangeCount_ == changeCount_) return true;
  if (!transparencyMask_) {
    std::vector<uint8_t> maskInfo = BitmapInfoOfDepth(width_, height_, 1);
    PutEntry(maskInfo.data() + sizeof(BITMAPINFOHEADER), 0, 0, 0, 0);
    PutEntry(maskInfo.data() + sizeof(BITMAPINFOHEADER), 1, 255, 255, 255);
    transparencyMask_ = MakeSection(maskInfo, &maskBits_);
    maskedImage_ = MakeSection(bitmapInfo_, &maskedImageBits_);
  }
  if (!transparencyMask_ || !maskedImage_) return false;
  FlushGdi();
  std::memcpy(maskedImageBits_, pixelBase_, size_t(rowBytes_) * size_t(height_));
  maskChangeCount_ = changeCount_;
  int32_t maskStride = int32_t(DIBStride(width_, 1));
  BuildTransparencyMask({pixelBase_, rowBytes_, width_, height_, depth_},
                        {maskedImageBits_, rowBytes_, width_, height_, depth_},
                        {maskBits_, maskStride, width_, height_, 1});
  ++maskBuilds;
  return true;
}

void BitmapPicture::Draw(HDC dc, const MacRect& source, const MacRect& destination, bool,
                         bool transparent) {
  if (!bitmap_) return;
  DrawPixels(dc, source, destination, transparent);
  // Drawn into itself, the picture keeps its own port focused, and what that
  // port draws next never passes through BeginDrawing: the masks and copies
  // this draw kept are counted old now.
  if (CurrentDrawingPane() == drawPort_) Touch();
}

void BitmapPicture::DrawPixels(HDC dc, const MacRect& source, const MacRect& destination,
                               bool transparent) {
  if (mask_) {
    DrawMasked(dc, source, destination);
    return;
  }
  if (transparent && RefreshTransparencyMasks()) {
    DrawTransparent(dc, source, destination);
    return;
  }
  DrawOpaque(dc, source, destination);
}

void BitmapPicture::DrawOpaque(HDC dc, const MacRect& source, const MacRect& destination) {
  uint32_t token = 0;
  HDC memory = AcquireMemoryDC(&token);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, destination.left, destination.top, Width(destination), Height(destination), memory,
             source.left, source.top, Width(source), Height(source), SRCCOPY);
  ReleaseMemoryDC(token);
}

// Onto a 32-bit DIB, unscaled or by whole multiples, one software pass
// through the work section. Elsewhere the mask ANDed and the masked image
// ORed straight onto the destination: the pixels of a copy through an
// off-screen bitmap without the copies. The DC's colours are the defaults of
// a new DC while a 1-bit source is stretched, so the mask's bits turn into
// black and white as they would there.
void BitmapPicture::DrawTransparent(HDC dc, const MacRect& source, const MacRect& destination) {
  int32_t width = Width(destination), height = Height(destination);
  if (width <= 0 || height <= 0) return;
  if (DrawsInto32BitDIB(dc) && Inside(source, width_, height_) &&
      WholeMultiple(width, Width(source)) && WholeMultiple(height, Height(source))) {
    const uint8_t* pixels = Pixels32();
    if (pixels && BlendThroughWork(dc, destination, false, [&](uint8_t* work) {
          TransparentCopy({const_cast<uint8_t*>(pixels), width_ * 4, width_, height_, 32},
                          {maskBits_, int32_t(DIBStride(width_, 1)), width_, height_, 1},
                          source.left, source.top, source.right, source.bottom,
                          {work, width * 4, width, height, 32});
        })) {
      return;
    }
  }
  SelectedBitmap bits(transparencyMask_.get());
  COLORREF text = SetTextColor(dc, RGB(0, 0, 0)), back = SetBkColor(dc, RGB(255, 255, 255));
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, destination.left, destination.top, width, height, bits.dc(), source.left,
             source.top, Width(source), Height(source), SRCAND);
  SelectObject(bits.dc(), maskedImage_.get());
  StretchBlt(dc, destination.left, destination.top, width, height, bits.dc(), source.left,
             source.top, Width(source), Height(source), SRCPAINT);
  SelectObject(bits.dc(), transparencyMask_.get());
  SetTextColor(dc, text);
  SetBkColor(dc, back);
}

const uint8_t* BitmapPicture::Pixels32() {
  FlushGdi();
  if (depth_ == 32) return pixelBase_;
  if (converted_ && convertedChangeCount_ == changeCount_) return convertedBits_;
  if (!converted_) converted_ = Section32(width_, height_, &convertedBits_);
  if (!converted_) return nullptr;
  // GetDIBits needs the bitmap out of any DC.
  if (memoryDC_) SelectObject(memoryDC_.get(), previousBitmap_);
  BITMAPINFO info = Info32(width_, height_);
  WindowDC screen(nullptr);
  GetDIBits(screen.get(), bitmap_.get(), 0, UINT(height_), convertedBits_, &info, DIB_RGB_COLORS);
  if (memoryDC_) SelectObject(memoryDC_.get(), bitmap_.get());
  convertedChangeCount_ = changeCount_;
  return convertedBits_;
}

uint8_t* BitmapPicture::WorkPixels(int32_t width, int32_t height) {
  if (work_ && workWidth_ == width && workHeight_ == height) return workBits_;
  // A new DC lets go of the old section before it is deleted.
  workDC_.reset();
  work_ = Section32(width, height, &workBits_);
  if (work_) workDC_.reset(CreateCompatibleDC(nullptr));
  if (!workDC_) work_.reset();
  if (work_) SelectObject(workDC_.get(), work_.get());
  if (!work_) workBits_ = nullptr;
  workWidth_ = work_ ? width : 0;
  workHeight_ = work_ ? height : 0;
  return workBits_;
}

bool BitmapPicture::Opaque() {
  if (opaqueKnown_ && opaqueChangeCount_ == changeCount_) return opaque_;
  FlushGdi();
  opaque_ = depth_ == 32 && bitmap_;
  for (int32_t y = 0; opaque_ && y < height_; ++y) {
    const uint8_t* row = pixelBase_ + size_t(y) * size_t(rowBytes_);
    for (int32_t x = 0; opaque_ && x < width_; ++x) opaque_ = row[4 * x + 1] == 0;
  }
  opaqueKnown_ = true;
  opaqueChangeCount_ = changeCount_;
  return opaque_;
}

void BitmapPicture::DrawMasked(HDC dc, const MacRect& source, const MacRect& destination) {
  int32_t width = Width(destination), height = Height(destination);
  auto* mask = static_cast<BitmapPicture*>(mask_);
  if (width <= 0 || height <= 0 || !mask->HasBitmap()) return;
  const uint8_t* maskPixels = mask->Pixels32();
  if (maskPixels && !ReadsBack(dc)) return DrawClippedToMask(dc, maskPixels, source, destination);
  const uint8_t* sourcePixels = Pixels32();
  if (!WorkPixels(width, height) || !sourcePixels || !maskPixels) {
    OutputDebugStringA("hBitmap or destBits is null\n");
    return;
  }
  BlendThroughWork(dc, destination, mask->Opaque(), [&](uint8_t* work) {
    MaskedBlend({const_cast<uint8_t*>(sourcePixels), width_ * 4, width_, height_, 32},
                {const_cast<uint8_t*>(maskPixels), mask->width_ * 4, mask->width_, mask->height_, 32},
                source.left, source.top, source.right, source.bottom,
                {work, width * 4, width, height, 32});
  });
}

// Where the destination cannot be read back: the picture copied as it is,
// clipped to where the mask shows it. Partly transparent pixels go all or
// nothing, to the nearer side.
void BitmapPicture::DrawClippedToMask(HDC dc, const uint8_t* maskPixels, const MacRect& source,
                                      const MacRect& destination) {
  const auto* mask = static_cast<BitmapPicture*>(mask_);
  CountedRegion opaque(
      OpaqueRegion(dc, maskPixels, mask->width_, mask->height_, source, destination));
  if (!opaque) return;
  const int saved = SaveDC(dc);
  ExtSelectClipRgn(dc, opaque.get(), RGN_AND);
  DrawOpaque(dc, source, destination);
  RestoreDC(dc, saved);
}

template <class Blend>
bool BitmapPicture::BlendThroughWork(HDC dc, const MacRect& destination, bool writesAll,
                                     Blend blend) {
  int32_t width = Width(destination), height = Height(destination);
  uint8_t* work = WorkPixels(width, height);
  if (!work) return false;
  if (!writesAll) {
    BitBlt(workDC_.get(), 0, 0, width, height, dc, destination.left, destination.top, SRCCOPY);
  }
  FlushGdi();
  blend(work);
  BitBlt(dc, destination.left, destination.top, width, height, workDC_.get(), 0, 0, SRCCOPY);
  return true;
}

// ---- PackedDIBPicture ------------------------------------------------------------

PackedDIBPicture* PackedDIBPicture::Create(HGLOBAL packedDIB) {
  GlobalLockScope locked(packedDIB);
  PackedDIBView view;
  if (!ReadPackedDIB(locked.data(), locked.size(), &view)) return nullptr;
  return FromView(locked.data(), view, locked.data() + view.pixelOffset);
}

PackedDIBPicture* PackedDIBPicture::FromView(const uint8_t* dib, const PackedDIBView& view,
                                             const uint8_t* rows) {
  std::vector<uint8_t> info = NormalisedBitmapInfo(dib, view);
  uint8_t* bits = nullptr;
  CountedDIBSection section = MakeSection(info, &bits);
  if (!section || !bits) return nullptr;
  std::memcpy(bits, rows, view.imageSize);
  auto* picture = new PackedDIBPicture();
  picture->depth_ = view.bitCount;
  picture->width_ = view.width;
  picture->height_ = view.height;
  picture->bitmap_ = std::move(section);
  picture->rows_ = bits;
  picture->imageSize_ = view.imageSize;
  size_t tableEnd = view.tableOffset + size_t(view.colorCount) * view.entrySize;
  picture->header_.assign(dib, dib + tableEnd);
  return picture;
}

uint32_t PackedDIBPicture::PackedDIBSize() {
  return header_.empty() ? 0 : uint32_t(header_.size()) + imageSize_;
}

bool PackedDIBPicture::WritePackedDIB(uint8_t* out) {
  if (header_.empty()) return false;
  std::memcpy(out, header_.data(), header_.size());
  std::memcpy(out + header_.size(), rows_, imageSize_);
  return true;
}

void PackedDIBPicture::LockDescription(PictureDescription* description) {
  PictureRetain(this);
  *description = {5, ExportPackedDIB(), width_, height_};
}

void PackedDIBPicture::UnlockDescription(PictureDescription* description) {
  GlobalBlock(description->handle).reset();
  description->handle = nullptr;
  PictureRelease(this);
}

bool PackedDIBPicture::GetPixels(int32_t*, uint8_t**, int32_t*) { return false; }

void PackedDIBPicture::GetSize(int32_t* width, int32_t* height) {
  *width = width_;
  *height = height_;
}

void PackedDIBPicture::Draw(HDC dc, const MacRect& source, const MacRect& destination, bool, bool) {
  SelectedBitmap memory(bitmap_.get());
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, destination.left, destination.top, Width(destination), Height(destination),
             memory.dc(), source.left, source.top, Width(source), Height(source), SRCCOPY);
}

// ---- BMP files -------------------------------------------------------------------------

BitmapPicture* PictureFromBMPData(const uint8_t* bytes, size_t length) {
  PackedDIBView view;
  size_t start = 0;
  if (!ReadBMPFile(bytes, length, &view, &start)) return nullptr;
  // The packed DIB without any gap the file left before its pixels.
  size_t tableEnd = view.tableOffset + size_t(view.colorCount) * view.entrySize;
  GlobalBlock dib = GlobalBlock::Allocate(tableEnd + view.imageSize);
  {
    GlobalLockScope locked(dib.get());
    if (!locked.data()) return nullptr;
    std::memcpy(locked.data(), bytes + start, tableEnd);
    std::memcpy(locked.data() + tableEnd, bytes + start + view.pixelOffset, view.imageSize);
  }
  PackedDIBPicture* packed = PackedDIBPicture::Create(dib.get());
  if (!packed) return nullptr;
  BitmapPicture* picture = BitmapPicture::Create(view.width, view.height, 32);
  picture->CopyFromPicture(packed);
  PictureRelease(packed);
  return picture;
}
