// Transparent and masked picture draws against the drawing they replace: an
// off-screen copy of the destination, the 1-bit mask ANDed and the masked
// image ORed in with StretchBlt, or a 24-bit work bitmap blended pixel by
// pixel. Both draw onto equal targets (pictures of several depths, a pane
// standing in for a sub-pane of a window, a window), scaled and not,
// clipped at each edge, and must leave the same pixels. Then kept state: a changed picture
// draws its new pixels, and a thousand draws of changing pictures leave the
// GDI live counts where they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "graphics/GdiObjects.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/PixelOps.h"
#include "host/Win32Handles.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

struct PictureDeleter {
  void operator()(NativePicture* picture) const { PictureRelease(picture); }
};
using PictureRef = std::unique_ptr<NativePicture, PictureDeleter>;
using PortRef = std::unique_ptr<GraphicsPort>;

int32_t Width(const MacRect& rect) { return int32_t(rect.right) - rect.left; }
int32_t Height(const MacRect& rect) { return int32_t(rect.bottom) - rect.top; }

// A memory DC with a bitmap selected for a scope.
struct Selected {
  explicit Selected(HBITMAP bitmap) : dc(CreateCompatibleDC(nullptr)) {
    previous = SelectObject(dc.get(), bitmap);
  }
  ~Selected() { SelectObject(dc.get(), previous); }
  CountedDC dc;
  HGDIOBJ previous;
};

// A section of the picture's size: its depth and colour table, or (mask)
// 1 bit with the table {black, white}.
CountedDIBSection SectionLike(BitmapPicture* picture, bool mask, uint8_t** bits) {
  int32_t depth = mask ? 1 : picture->Depth();
  int32_t width = 0, height = 0;
  picture->GetSize(&width, &height);
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  *header = {sizeof(BITMAPINFOHEADER), width, -height, 1, WORD(depth), BI_RGB, 0, 0, 0, 0, 0};
  auto* table = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
  if (mask) {
    table[1] = {255, 255, 255, 0};
  } else if (depth <= 8) {
    uint32_t token = 0;
    GetDIBColorTable(picture->AcquireMemoryDC(&token), 0, 256, table);
    picture->ReleaseMemoryDC(token);
  }
  void* pixels = nullptr;
  CountedDIBSection section(CreateDIBSection(
      nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &pixels, nullptr, 0));
  *bits = static_cast<uint8_t*>(pixels);
  return section;
}

// The transparent draw through an off-screen copy and four blits.
void DrawTransparentThroughCopy(BitmapPicture* picture, HDC dc, const MacRect& source,
                                const MacRect& destination) {
  int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
  uint8_t* base = nullptr;
  ASSERT_TRUE(picture->GetPixels(&depth, &base, &rowBytes));
  picture->GetSize(&width, &height);
  uint8_t *maskBits = nullptr, *maskedBits = nullptr;
  CountedDIBSection mask = SectionLike(picture, true, &maskBits);
  CountedDIBSection masked = SectionLike(picture, false, &maskedBits);
  std::memcpy(maskedBits, base, size_t(rowBytes) * size_t(height));
  BuildTransparencyMask({base, rowBytes, width, height, depth},
                        {maskedBits, rowBytes, width, height, depth},
                        {maskBits, int32_t(DIBStride(width, 1)), width, height, 1});
  int32_t w = Width(destination), h = Height(destination);
  CountedDC work(CreateCompatibleDC(dc));
  CountedCompatibleBitmap canvas(CreateCompatibleBitmap(dc, w, h));
  ScopedSelect selectCanvas(work.get(), canvas.get());
  SetStretchBltMode(work.get(), COLORONCOLOR);
  BitBlt(work.get(), 0, 0, w, h, dc, destination.left, destination.top, SRCCOPY);
  for (auto [bitmap, operation] : {std::pair{mask.get(), SRCAND}, {masked.get(), SRCPAINT}}) {
    Selected from(bitmap);
    StretchBlt(work.get(), 0, 0, w, h, from.dc.get(), source.left, source.top, Width(source),
               Height(source), operation);
  }
  BitBlt(dc, destination.left, destination.top, w, h, work.get(), 0, 0, SRCCOPY);
}

std::vector<uint8_t> Pixels32Of(BitmapPicture* picture) {
  int32_t width = 0, height = 0;
  picture->GetSize(&width, &height);
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  GdiFlush();
  WindowDC screen(nullptr);
  GetDIBits(screen.get(), picture->Bitmap(), 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

// The masked draw through a 24-bit work bitmap, blended pixel by pixel.
void DrawMaskedThroughCopy(BitmapPicture* picture, HDC dc, const MacRect& source,
                           const MacRect& destination) {
  auto* mask = static_cast<BitmapPicture*>(picture->Mask());
  int32_t width = 0, height = 0;
  picture->GetSize(&width, &height);
  std::vector<uint8_t> pixels = Pixels32Of(picture), maskPixels = Pixels32Of(mask);
  int32_t w = Width(destination), h = Height(destination);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  CountedDIBSection work(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  Selected canvas(work.get());
  BitBlt(canvas.dc.get(), 0, 0, w, h, dc, destination.left, destination.top, SRCCOPY);
  GdiFlush();
  int32_t stride = int32_t(DIBStride(w, 24));
  for (int32_t r = 0; r < h; ++r) {
    int32_t y = std::clamp(source.top + Height(source) * r / h, 0, height - 1);
    uint8_t* out = static_cast<uint8_t*>(bits) + r * stride;
    for (int32_t c = 0; c < w; ++c) {
      int32_t x = std::clamp(source.left + Width(source) * c / w, 0, width - 1);
      size_t at = size_t(y) * size_t(width) * 4 + size_t(x) * 4;
      uint32_t m = maskPixels[at + 1];
      for (int channel = 0; channel < 3; ++channel) {
        uint32_t s = pixels[at + size_t(channel)], d = out[3 * c + channel];
        out[3 * c + channel] = uint8_t(s * (255 - m) / 255 + d * m / 255);
      }
    }
  }
  BitBlt(dc, destination.left, destination.top, w, h, canvas.dc.get(), 0, 0, SRCCOPY);
}

// A pane over a visible pop-up window of its own, drawn through the
// window's DC. Three in turn stand side by side, none covering another.
class WindowPane : public Pane {
 public:
  WindowPane(int16_t width, int16_t height)
      : Pane(MacRect{0, 0, height, width}),
        window_(CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE,
                                40 + 40 * (made_++ % 3), 40, width, height, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr)) {}
  bool HasNativeWindow() const override { return true; }
  HDC AcquireDC(uint32_t* releaseToken) override {
    if (releaseToken) *releaseToken = 1;
    if (nesting_++ == 0) dc_ = GetDC(window_);
    return dc_;
  }
  void ReleaseDC(uint32_t) override {
    if (nesting_ == 0 || --nesting_ > 0) return;
    ::ReleaseDC(window_, dc_);
    dc_ = nullptr;
  }
  // The window's pixels, read through its DC.
  std::vector<uint32_t> Colours(int32_t width, int32_t height) {
    std::vector<uint32_t> colours(size_t(width) * size_t(height));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    CountedDIBSection copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    Selected into(copy.get());
    HDC dc = GetDC(window_);
    BitBlt(into.dc.get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ::ReleaseDC(window_, dc);
    GdiFlush();
    for (size_t i = 0; i < colours.size(); ++i) {
      colours[i] = static_cast<uint32_t*>(bits)[i] & 0xFFFFFF;
    }
    return colours;
  }

 protected:
  ~WindowPane() override {
    PaneForgetGraphicsPorts(this);
    DestroyWindow(window_);
  }

 private:
  static inline int made_ = 0;
  HWND window_;
  HDC dc_ = nullptr;
  int32_t nesting_ = 0;
};

// Something to draw onto: a picture of a depth, (depth 0) a 32-bit pane
// standing in for a sub-pane of a window, or (depth -1) a window.
class Target {
 public:
  static constexpr int16_t kWidth = 24, kHeight = 20;
  explicit Target(int32_t depth) {
    if (depth == -1) {
      window_ = new WindowPane(kWidth, kHeight);
      port_.reset(new GraphicsPort(window_));
    } else if (depth == 0) {
      pane_ = new DIBTestPane(kWidth, kHeight);
      pane_->SetTopLeft(5, 3);
      pane_->SetHasNativeWindow(true);
      port_.reset(new GraphicsPort(pane_));
    } else {
      picture_.reset(BitmapPicture::Create(kWidth, kHeight, depth));
      port_.reset(picture_->NewGraphics());
    }
    // Stripes of colour, so that every blend shows.
    for (int16_t x = 0; x < kWidth; ++x) {
      port_->SetForeColor({uint16_t(x * 2700), uint16_t(0xFFFF - x * 1500), uint16_t(x * 900)});
      port_->FillRect({0, x, kHeight, int16_t(x + 1)});
    }
  }
  ~Target() {
    port_.reset();
    if (pane_) pane_->Unlock();
    if (window_) window_->Unlock();
  }
  GraphicsPort* port() { return port_.get(); }
  // Every pixel's colour as read back.
  std::vector<uint32_t> Colours() {
    GdiFlush();
    std::vector<uint32_t> colours;
    if (window_) {
      GraphicsPort::UnfocusCurrent();
      return window_->Colours(kWidth, kHeight);
    }
    if (pane_) {
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) colours.push_back(pane_->Pixel(x, y));
      return colours;
    }
    std::vector<uint8_t> pixels = Pixels32Of(static_cast<BitmapPicture*>(picture_.get()));
    for (size_t i = 0; i < pixels.size(); i += 4) {
      colours.push_back(uint32_t(pixels[i] | pixels[i + 1] << 8 | pixels[i + 2] << 16));
    }
    return colours;
  }

 private:
  DIBTestPane* pane_ = nullptr;
  WindowPane* window_ = nullptr;
  PictureRef picture_;
  PortRef port_;
};

enum class MaskKind { kNone, kGreys, kOpaque };

// A 9 x 7 picture of the depth: a white frame and diagonal, colours
// elsewhere; with a mask of greys from transparent to opaque across it, or
// opaque throughout.
PictureRef Sprite(int32_t depth, MaskKind maskKind) {
  PictureRef picture(BitmapPicture::Create(9, 7, depth));
  PortRef port(picture->NewGraphics());
  for (int16_t x = 1; x < 8; ++x) {
    port->SetForeColor({uint16_t(x * 9000), uint16_t(x * 4000), uint16_t(0xFFFF - x * 7000)});
    port->FillRect({1, x, 6, int16_t(x + 1)});
  }
  port->SetForeColor({0xFFFF, 0xFFFF, 0xFFFF});
  for (int16_t i = 1; i < 6; ++i) port->FillRect({i, i, int16_t(i + 1), int16_t(i + 1)});
  if (maskKind != MaskKind::kNone) {
    PictureEnsureMask(picture.get());
    PortRef mask(picture->Mask()->NewGraphics());
    for (int16_t x = 0; maskKind == MaskKind::kGreys && x < 9; ++x) {
      uint16_t grey = uint16_t(x * 0xFFFF / 8);
      mask->SetForeColor({grey, grey, grey});
      mask->FillRect({0, x, 7, int16_t(x + 1)});
    }
    if (maskKind == MaskKind::kOpaque) mask->FillRect({0, 0, 7, 9});
  }
  return picture;
}

struct Placement {
  const char* name;
  int16_t left, top, width, height;  // destination; the source is the whole 9 x 7
};

constexpr Placement kPlacements[] = {
    {"unscaled", 6, 5, 9, 7},        {"scaled up", 3, 2, 17, 13},
    {"scaled down", 4, 4, 5, 4},     {"doubled", 2, 3, 18, 14},     {"clipped left", -4, 6, 13, 9},
    {"clipped top", 7, -3, 12, 8},   {"clipped right", 18, 5, 11, 9},
    {"clipped bottom", 2, 15, 14, 10},
};

void DrawNew(Target& target, NativePicture* picture, const Placement& at, bool transparent) {
  target.port()->DrawPictureScaled(at.left, at.top, at.width, at.height, picture, 0, 0, 9, 7,
                                   transparent);
}

void DrawOld(Target& target, BitmapPicture* picture, const Placement& at, bool transparent) {
  GraphicsPort* port = target.port();
  port->Focus();
  HDC dc = port->GetDC();
  MacRect source{0, 0, 7, 9};
  MacRect destination{at.top, at.left, int16_t(at.top + at.height), int16_t(at.left + at.width)};
  if (picture->Mask()) {
    DrawMaskedThroughCopy(picture, dc, source, destination);
  } else if (transparent) {
    DrawTransparentThroughCopy(picture, dc, source, destination);
  }
}

// The target's pixels under the "scaled up" placement are all black.
void ExpectBlackWhereScaledUp(Target& target, bool masked, int32_t depth) {
  const Placement& at = kPlacements[1];
  std::vector<uint32_t> colours = target.Colours();
  for (int y = at.top; y < at.top + at.height; ++y) {
    for (int x = at.left; x < at.left + at.width; ++x) {
      EXPECT_EQ(colours[size_t(y * Target::kWidth + x)], 0u)
          << (masked ? "masked " : "transparent ") << depth << " at " << x << "," << y;
    }
  }
}

using PictureDrawPathsTest = HostTest;

}  // namespace

TEST_F(PictureDrawPathsTest, NewDrawsLeaveThePixelsOfTheOldOnEveryTarget) {
  for (MaskKind maskKind : {MaskKind::kNone, MaskKind::kGreys, MaskKind::kOpaque}) {
    bool masked = maskKind != MaskKind::kNone;
    for (int32_t depth : {1, 4, 8, 16, 24, 32}) {
      PictureRef sprite = Sprite(depth, maskKind);
      auto* bitmap = static_cast<BitmapPicture*>(sprite.get());
      for (int32_t targetDepth : {-1, 0, 8, 16, 24, 32}) {
        for (const Placement& at : kPlacements) {
          Target drawn(targetDepth), expected(targetDepth), untouched(targetDepth);
          DrawNew(drawn, sprite.get(), at, !masked);
          DrawNew(drawn, sprite.get(), at, !masked);  // kept masks and work bitmaps
          DrawOld(expected, bitmap, at, !masked);
          DrawOld(expected, bitmap, at, !masked);
          EXPECT_EQ(drawn.Colours(), expected.Colours())
              << (masked ? "masked " : "transparent ") << int(maskKind) << " depth " << depth << " onto "
              << targetDepth << " " << at.name;
          EXPECT_NE(drawn.Colours(), untouched.Colours()) << targetDepth << " " << at.name;
        }
      }
    }
  }
}

TEST_F(PictureDrawPathsTest, AChangedPictureDrawsItsNewPixels) {
  for (bool masked : {false, true}) {
    for (int32_t depth : {8, 32}) {
      PictureRef sprite = Sprite(depth, masked ? MaskKind::kGreys : MaskKind::kNone);
      Target target(32);
      DrawNew(target, sprite.get(), kPlacements[1], !masked);
      {
        PortRef painter(sprite->NewGraphics());
        painter->SetForeColor({0, 0, 0});
        painter->FillRect({0, 0, 7, 9});
      }
      if (masked) {
        PortRef mask(sprite->Mask()->NewGraphics());
        mask->FillRect({0, 0, 7, 9});  // opaque
      }
      DrawNew(target, sprite.get(), kPlacements[1], !masked);
      ExpectBlackWhereScaledUp(target, masked, depth);
    }
  }
  // An opaque mask made transparent: the next draw shows the destination.
  PictureRef sprite = Sprite(32, MaskKind::kOpaque);
  Target target(32);
  DrawNew(target, sprite.get(), kPlacements[0], false);
  PortRef(sprite->NewGraphics())->FillRect({0, 0, 7, 9});
  PortRef mask(sprite->Mask()->NewGraphics());
  mask->SetForeColor({0xFFFF, 0xFFFF, 0xFFFF});
  mask->FillRect({0, 0, 7, 9});
  mask.reset();
  target.port()->SetForeColor({0, 0xFFFF, 0});
  target.port()->FillRect({0, 0, Target::kHeight, Target::kWidth});
  std::vector<uint32_t> before = target.Colours();
  DrawNew(target, sprite.get(), kPlacements[0], false);
  EXPECT_EQ(target.Colours(), before);
}

// A picture drawn into itself keeps its own port focused: what that port
// draws next, before or after another draw of the picture, is drawn too.
TEST_F(PictureDrawPathsTest, APictureDrawnIntoItselfThenDrawnOnDrawsItsNewPixels) {
  for (bool masked : {false, true}) {
    for (int32_t depth : {8, 24}) {
      PictureRef sprite = Sprite(depth, masked ? MaskKind::kOpaque : MaskKind::kNone);
      PortRef own(sprite->NewGraphics());
      own->DrawPictureScaled(0, 0, 9, 7, sprite.get(), 0, 0, 9, 7, !masked);
      own->SetForeColor({0, 0, 0});
      own->FillRect({0, 0, 3, 9});
      own->DrawPictureScaled(0, 0, 9, 7, sprite.get(), 0, 0, 9, 7, !masked);
      own->FillRect({3, 0, 7, 9});
      Target target(32);
      DrawNew(target, sprite.get(), kPlacements[1], !masked);
      ExpectBlackWhereScaledUp(target, masked, depth);
    }
  }
}

TEST_F(PictureDrawPathsTest, AThousandDrawsOfChangingPicturesLeaveTheLiveCounts) {
  auto counts = [] {
    std::vector<int32_t> live;
    for (int kind = 0; kind < int(GdiKind::kCount); ++kind) live.push_back(GdiLiveCount(GdiKind(kind)));
    return live;
  };
  Target target(32);
  auto draws = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      PictureRef sprite = Sprite(i % 2 ? 32 : 8, MaskKind(i % 3));
      // A new size every few draws, and drawing into the picture between.
      Placement at{"", int16_t(i % 5), 1, int16_t(5 + i % 7), int16_t(4 + i % 3)};
      DrawNew(target, sprite.get(), at, true);
      PortRef(sprite->NewGraphics())->FillRect({0, 0, 1, 1});
      DrawNew(target, sprite.get(), at, true);
    }
  };
  draws(0, 1);  // the target port's own brush and pen settle
  std::vector<int32_t> before = counts();
  draws(1, 1000);
  EXPECT_EQ(counts(), before);
}
