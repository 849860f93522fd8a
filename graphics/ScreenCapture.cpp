// Capture through the display DC, packed DIBs through GetDIBits and
// SetDIBitsToDevice / StretchDIBits.
#include "graphics/ScreenCapture.h"

#include <vector>

#include "graphics/GlobalMemory.h"
#include "graphics/PackedDIB.h"
#include "host/Win32Handles.h"

namespace {

// The screen DC with a palette selected and realised for a scope.
class ScreenWithPalette {
 public:
  explicit ScreenWithPalette(HPALETTE palette)
      : screen_(nullptr),
        previous_(screen_.get() ? SelectPalette(screen_.get(),
                                                palette ? palette
                                                        : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)),
                                                FALSE)
                                : nullptr) {
    if (screen_.get()) RealizePalette(screen_.get());
  }
  ~ScreenWithPalette() {
    if (previous_) SelectPalette(screen_.get(), previous_, FALSE);
  }
  ScreenWithPalette(const ScreenWithPalette&) = delete;
  ScreenWithPalette& operator=(const ScreenWithPalette&) = delete;
  HDC dc() const { return screen_.get(); }

 private:
  WindowDC screen_;
  HPALETTE previous_;
};

uint16_t DIBDepthOfBitmap(const BITMAP& bitmap) {
  uint32_t bits = uint32_t(bitmap.bmPlanes) * bitmap.bmBitsPixel;
  if (bits < 2) return 1;
  if (bits < 5) return 4;
  if (bits > 8) return 24;
  return 8;
}

}  // namespace

HGLOBAL CaptureWindowDIB(HWND window, uint16_t mode) {
  if (!window) return nullptr;
  RECT area{};
  if (mode == 1) {
    if (!GetWindowRect(window, &area)) return nullptr;
  } else if (mode == 2) {
    if (!GetClientRect(window, &area)) return nullptr;
    POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
    ClientToScreen(window, &corners[0]);
    ClientToScreen(window, &corners[1]);
    area = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  } else {
    return nullptr;
  }
  return CaptureScreenRectDIB(area);
}

HGLOBAL CaptureScreenRectDIB(const RECT& screenRect) {
  CountedCompatibleBitmap bitmap = CaptureScreenBitmap(screenRect);
  if (!bitmap) return nullptr;
  CountedPalette palette = CreateSystemPalette();
  return BitmapToPackedDIB(bitmap.get(), palette.get());
}

CountedCompatibleBitmap CaptureScreenBitmap(const RECT& screenRect) {
  int width = screenRect.right - screenRect.left, height = screenRect.bottom - screenRect.top;
  if (width <= 0 || height <= 0) return {};
  CountedDC screen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  if (!screen) return {};
  CountedDC memory(CreateCompatibleDC(screen.get()));
  CountedCompatibleBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!memory || !bitmap) return {};
  HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, width, height, screen.get(), screenRect.left, screenRect.top, SRCCOPY);
  SelectObject(memory.get(), previous);
  return bitmap;
}

HGLOBAL BitmapToPackedDIB(HBITMAP bitmap, HPALETTE palette) {
  BITMAP description{};
  if (!bitmap || !GetObjectA(bitmap, sizeof description, &description)) return nullptr;
  uint16_t depth = DIBDepthOfBitmap(description);
  size_t infoSize = kDIBInfoHeaderSize + 4 * size_t(TableEntriesOfDepth(depth));
  ScreenWithPalette screen(palette);
  if (!screen.dc()) return nullptr;
  GlobalBlock block = GlobalBlock::Allocate(infoSize);
  if (!block) return nullptr;
  uint32_t imageSize = 0;
  {
    GlobalLockScope locked(block.get());
    if (!locked.data()) return nullptr;
    auto* info = reinterpret_cast<BITMAPINFO*>(locked.data());
    info->bmiHeader.biSize = kDIBInfoHeaderSize;
    info->bmiHeader.biWidth = description.bmWidth;
    info->bmiHeader.biHeight = description.bmHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = depth;
    GetDIBits(screen.dc(), bitmap, 0, UINT(description.bmHeight), nullptr, info, DIB_RGB_COLORS);
    imageSize = info->bmiHeader.biSizeImage;
    if (imageSize == 0) imageSize = DIBStride(description.bmWidth, depth) * uint32_t(description.bmHeight);
  }
  if (!block.Resize(infoSize + imageSize)) return nullptr;
  GlobalLockScope locked(block.get());
  if (!locked.data()) return nullptr;
  auto* info = reinterpret_cast<BITMAPINFO*>(locked.data());
  if (!GetDIBits(screen.dc(), bitmap, 0, UINT(description.bmHeight), locked.data() + infoSize, info,
                 DIB_RGB_COLORS)) {
    return nullptr;
  }
  return block.release();
}

int PaintPackedDIB(HDC dc, const RECT& destination, HGLOBAL packedDIB, const RECT& source,
                   HPALETTE palette) {
  if (!packedDIB) return 0;
  GlobalLockScope locked(packedDIB);
  PackedDIBView view;
  if (!ReadPackedDIB(locked.data(), locked.size(), &view)) return 0;
  std::vector<uint8_t> info = NormalisedBitmapInfo(locked.data(), view);
  auto* header = reinterpret_cast<const BITMAPINFO*>(info.data());
  const uint8_t* bits = locked.data() + view.pixelOffset;
  HPALETTE previous = nullptr;
  if (palette) {
    previous = SelectPalette(dc, palette, TRUE);
    RealizePalette(dc);
  }
  SetStretchBltMode(dc, COLORONCOLOR);
  int width = destination.right - destination.left, height = destination.bottom - destination.top;
  int sourceWidth = source.right - source.left, sourceHeight = source.bottom - source.top;
  // The source rows are counted from the image's bottom row.
  int sourceY = view.height - source.bottom;
  int result;
  if (width == sourceWidth && height == sourceHeight) {
    result = SetDIBitsToDevice(dc, destination.left, destination.top, DWORD(width), DWORD(height),
                               source.left, sourceY, 0, UINT(view.height), bits, header,
                               DIB_RGB_COLORS);
  } else {
    result = StretchDIBits(dc, destination.left, destination.top, width, height, source.left, sourceY,
                           sourceWidth, sourceHeight, bits, header, DIB_RGB_COLORS, SRCCOPY);
  }
  if (previous) SelectPalette(dc, previous, FALSE);
  return result;
}

uint32_t SystemPaletteEntryCount(uint32_t bitsPerPixel) {
  return bitsPerPixel >= 1 && bitsPerPixel <= 8 ? 1u << bitsPerPixel : 1;
}

CountedPalette CreateSystemPalette() {
  WindowDC screenDC(nullptr);
  HDC screen = screenDC.get();
  if (!screen) return {};
  uint32_t count = SystemPaletteEntryCount(uint32_t(GetDeviceCaps(screen, BITSPIXEL)) *
                                           uint32_t(GetDeviceCaps(screen, PLANES)));
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * count);
  auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = WORD(count);
  GetSystemPaletteEntries(screen, 0, count, palette->palPalEntry);
  return CountedPalette(CreatePalette(palette));
}
