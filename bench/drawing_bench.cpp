// Figures of the drawing port on a 1024 x 768 32-bit picture: the time per
// 10,000 calls of each operation through the port, and its ratio to raw GDI
// calls that do the same drawing on the same memory DC with their pens and
// brushes made once; truncated text, BMP import and window capture. Then the
// same drawing through the Graphics entry points against the port and raw
// GDI; the RGBSurface flood fill, pixels and transform against their GDI
// counterparts; and the GDI live counts before and after, which must be
// equal. Prints figures only.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/RuntimeArrayFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GdiObjects.h"
#include "graphics/GlobalMemory.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/PixelOps.h"
#include "graphics/RGBSurfaceClass.h"
#include "graphics/ScreenCapture.h"
#include "host/RuntimeMain.h"
#include "runtime/RuntimeSetup.h"
#include "ui/FontCache.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCalls = 10000;

double MillisecondsOf(const std::function<void(int)>& work, int calls = kCalls) {
  Clock::time_point start = Clock::now();
  for (int i = 0; i < calls; ++i) work(i);
  GdiFlush();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Times of `calls` calls through the port and raw.
void Report(const char* name, double port, double raw, int calls = kCalls) {
  std::printf("%-30s %9.2f ms per %5d calls   raw GDI %9.2f ms   ratio %6.2f\n", name, port, calls,
              raw, raw > 0 ? port / raw : 0.0);
}

// A row with a goal, in the shared format: time against the peer's.
void ReportGoal(const char* name, double ms, int calls, double peerMs, const char* peer,
                double goal) {
  std::printf("%-34s %9.2f ms per %5d   %.2fx %s goal <= %.1f\n", name, ms, calls,
              peerMs > 0 ? ms / peerMs : 0.0, peer, goal);
}

std::string CountsLine() {
  std::string line;
  for (int kind = 0; kind < int(GdiKind::kCount); ++kind) {
    line += std::to_string(GdiLiveCount(GdiKind(kind))) + " ";
  }
  return line + "fonts " + std::to_string(FontCacheCount());
}

StringRef Ascii(const std::string& text) { return StringRef::Adopt(StringFromASCII(text.c_str())); }

std::vector<uint8_t> BigBMP(int32_t side) {
  uint32_t stride = uint32_t(side) * 3;
  std::vector<uint8_t> file(54 + size_t(stride) * size_t(side), 0x5A);
  BITMAPFILEHEADER fileHeader{0x4D42, uint32_t(file.size()), 0, 0, 54};
  BITMAPINFOHEADER info{};
  info.biSize = 40;
  info.biWidth = side;
  info.biHeight = side;
  info.biPlanes = 1;
  info.biBitCount = 24;
  memcpy(file.data(), &fileHeader, 14);
  memcpy(file.data() + 14, &info, 40);
  return file;
}

// The port itself against raw GDI, and the other drawing services.
void PortRows() {
  NativePicture* canvas = BitmapPicture::Create(1024, 768, 32);
  auto* bitmap = static_cast<BitmapPicture*>(canvas);
  GraphicsPort* port = canvas->NewGraphics();
  uint32_t token = 0;
  HDC raw = bitmap->AcquireMemoryDC(&token);
  CountedPen pen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
  CountedBrush brush(CreateSolidBrush(RGB(0, 0, 0)));
  WORD rows[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  CountedPatternBitmap patternBits(CreateBitmap(8, 8, 1, 1, rows));
  CountedBrush pattern(CreatePatternBrush(patternBits.get()));
  auto rect = [](int i) { return RECT{i % 500, i % 300, i % 500 + 200, i % 300 + 150}; };
  auto macRect = [](int i) {
    return MacRect{int16_t(i % 300), int16_t(i % 500), int16_t(i % 300 + 150),
                   int16_t(i % 500 + 200)};
  };

  double portLines = MillisecondsOf([&](int i) {
    port->MoveTo(0, i % 700);
    port->LineTo(1000, i % 700 + 50);
  });
  double rawLines = MillisecondsOf([&](int i) {
    HGDIOBJ old = SelectObject(raw, pen.get());
    MoveToEx(raw, 0, i % 700, nullptr);
    LineTo(raw, 1000, i % 700 + 50);
    SelectObject(raw, old);
  });
  Report("1-pixel lines", portLines, rawLines);

  port->SetPenPattern(1);
  double portPattern = MillisecondsOf([&](int i) {
    port->MoveTo(0, i % 700);
    port->LineTo(1000, i % 700);
  });
  port->PenNormal();
  double rawPattern = MillisecondsOf([&](int i) {
    RECT area{0, i % 700, 1001, i % 700 + 1};
    FillRect(raw, &area, pattern.get());
  });
  Report("patterned horizontal lines", portPattern, rawPattern);

  Report("FillRect", MillisecondsOf([&](int i) { port->FillRect(macRect(i)); }),
         MillisecondsOf([&](int i) {
           RECT r = rect(i);
           FillRect(raw, &r, brush.get());
         }));
  Report("FillOval", MillisecondsOf([&](int i) { port->FillOval(macRect(i)); }),
         MillisecondsOf([&](int i) {
           RECT r = rect(i);
           HGDIOBJ oldPen = SelectObject(raw, pen.get()), oldBrush = SelectObject(raw, brush.get());
           Ellipse(raw, r.left, r.top, r.right, r.bottom);
           SelectObject(raw, oldPen);
           SelectObject(raw, oldBrush);
         }));
  Report("FrameRoundRect", MillisecondsOf([&](int i) { port->FrameRoundRect(macRect(i), 12, 12); }),
         MillisecondsOf([&](int i) {
           RECT r = rect(i);
           HGDIOBJ oldPen = SelectObject(raw, pen.get());
           HGDIOBJ oldBrush = SelectObject(raw, GetStockObject(NULL_BRUSH));
           RoundRect(raw, r.left, r.top, r.right, r.bottom, 12, 12);
           SelectObject(raw, oldPen);
           SelectObject(raw, oldBrush);
         }));

  StringRef shortText = Ascii("Hello world");
  StringRef threeLines = Ascii("The first line of text\nand a second one\nand the third");
  double portText =
      MillisecondsOf([&](int i) { port->DrawStringAt(shortText.get(), 10, 20 + i % 700); });
  double rawText =
      MillisecondsOf([&](int i) { TextOutW(raw, 10, 20 + i % 700, L"Hello world", 11); });
  Report("DrawStringAt short", portText, rawText);
  MacRect box{10, 10, 200, 400};
  double portBox = MillisecondsOf([&](int) { port->DrawTextBox(threeLines.get(), box, 0); });
  double rawBox = MillisecondsOf([&](int) {
    RECT area{10, 10, 400, 32767};
    DrawTextW(raw, L"The first line of text\nand a second one\nand the third", -1, &area,
              DT_WORDBREAK | DT_NOPREFIX);
  });
  Report("DrawTextBox three lines", portBox, rawBox);

  NativePicture* source = BitmapPicture::Create(256, 256, 32);
  auto* sourceBitmap = static_cast<BitmapPicture*>(source);
  uint32_t sourceToken = 0;
  HDC sourceDC = sourceBitmap->AcquireMemoryDC(&sourceToken);
  double stretch = MillisecondsOf(
      [&](int) {
        SetStretchBltMode(raw, COLORONCOLOR);
        StretchBlt(raw, 0, 0, 512, 512, sourceDC, 0, 0, 256, 256, SRCCOPY);
      },
      100);
  sourceBitmap->ReleaseMemoryDC(sourceToken);
  double plain = MillisecondsOf(
      [&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, false); }, 100);
  Report("DrawPictureScaled 2x plain", plain, stretch, 100);
  double firstTransparent = MillisecondsOf(
      [&](int) {
        sourceBitmap->Touch();
        port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, true);
      },
      100);
  ReportGoal("  transparent, first draw", firstTransparent, 100, stretch, "StretchBlt", 3.0);
  double secondTransparent = MillisecondsOf(
      [&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, true); }, 100);
  ReportGoal("  transparent, later draws", secondTransparent, 100, stretch, "StretchBlt", 1.5);
  PictureEnsureMask(source);
  double masked = MillisecondsOf(
      [&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, false); }, 100);
  ReportGoal("  masked", masked, 100, stretch, "StretchBlt", 2.0);

  StringRef suffix = Ascii("...");
  for (int length : {50, 200, 800}) {
    StringRef text = Ascii(std::string(size_t(length), 'w'));
    double total = MillisecondsOf(
        [&](int i) { port->DrawStringTruncated(text.get(), 5, 100 + i % 500, 100, suffix.get()); },
        1000);
    std::printf("DrawStringTruncated %3d chars to 100 px: %8.1f us per call\n", length, total);
  }

  std::vector<uint8_t> bmp = BigBMP(2000);
  Clock::time_point start = Clock::now();
  NativePicture* imported = PictureFromBMPData(bmp.data(), bmp.size());
  std::printf("PictureFromBMPData 2000 x 2000 24-bit: %.1f ms\n",
              std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  PictureRelease(imported);

  HWND window = CreateWindowExW(0, L"STATIC", L"capture", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  UpdateWindow(window);
  start = Clock::now();
  GlobalBlock shot(CaptureWindowDIB(window, 1));
  std::printf("CaptureWindowDIB 1024 x 768: %.1f ms\n",
              std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  shot.reset();
  DestroyWindow(window);

  PictureRelease(source);
  bitmap->ReleaseMemoryDC(token);
  delete port;
  PictureRelease(canvas);
}

// ---- The language classes -----------------------------------------------------

// A picture made as the application makes it, and its native bitmap.
struct BenchPicture {
  BenchPicture(int32_t width, int32_t height)
      : object(ObjectRef::Adopt(newPicture(width, height, 32))),
        bitmap(
            static_cast<BitmapPicture*>(ObjectFields<PictureObject>(object.get())->nativePicture)) {
  }

  // visit(x, y, pixel) for every pixel of the DIB, in place.
  template <class Visit>
  void ForEachPixel(Visit visit) {
    int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
    uint8_t* base = nullptr;
    bitmap->GetPixels(&depth, &base, &rowBytes);
    bitmap->GetSize(&width, &height);
    for (int32_t y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(base + size_t(y) * size_t(rowBytes));
      for (int32_t x = 0; x < width; ++x) visit(x, y, row[x]);
    }
  }
  void Paint(const std::function<uint32_t(int32_t, int32_t)>& colour) {
    ForEachPixel([&](int32_t x, int32_t y, uint32_t& pixel) { pixel = colour(x, y); });
    bitmap->Touch();
  }
  int64_t Count(uint32_t rgb) {
    int64_t count = 0;
    ForEachPixel([&](int32_t, int32_t, uint32_t& pixel) { count += (pixel & 0xFFFFFF) == rgb; });
    return count;
  }

  ObjectRef object;
  BitmapPicture* bitmap;
};

// The same drawing through the class, the port and raw GDI, each timed
// three times in turn; the best of each is compared, which keeps the noise of
// the emulated GDI out of the ratios.
void ReportLayers(const char* name, const std::function<void(int)>& graphics,
                  const std::function<void(int)>& port, const std::function<void(int)>& raw,
                  double goal = 0) {
  double best[3] = {1e300, 1e300, 1e300};
  for (int round = 0; round < 3; ++round) {
    int layer = 0;
    for (const auto* work : {&graphics, &port, &raw}) {
      best[layer] = std::min(best[layer], MillisecondsOf(*work));
      ++layer;
    }
  }
  if (goal > 0) {
    std::printf("%-30s %9.2f ms per %5d calls   x%5.2f of the port   %.2fx raw GDI goal <= %.1f\n",
                name, best[0], kCalls, best[0] / best[1], best[0] / best[2], goal);
    return;
  }
  std::printf("%-30s %9.2f ms per %5d calls   x%5.2f of the port   x%6.2f of raw GDI\n", name,
              best[0], kCalls, best[0] / best[1], best[0] / best[2]);
}

// Drawing through the Graphics entry points into a 1024 x 768 picture.
void GraphicsRows() {
  std::printf("\nThrough the Graphics entry points:\n");
  BenchPicture canvas(1024, 768);
  ObjectRef graphics = ObjectRef::Adopt(pictureGraphicsGetter(canvas.object.get(), 0));
  RuntimeObject* g = graphics.get();
  GraphicsPort* port = ObjectFields<GraphicsObject>(g)->port;
  uint32_t token = 0;
  HDC raw = canvas.bitmap->AcquireMemoryDC(&token);
  CountedPen pen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
  CountedBrush brush(CreateSolidBrush(RGB(0, 0, 0)));
  auto macRect = [](int i) {
    return MacRect{int16_t(i % 300), int16_t(i % 500), int16_t(i % 300 + 150),
                   int16_t(i % 500 + 200)};
  };

  ReportLayers(
      "DrawLine", [&](int i) { RuntimeGraphicsDrawLine(g, 0, i % 700, 1000, i % 700 + 50); },
      [&](int i) {
        port->MoveTo(0, i % 700);
        port->LineTo(1000, i % 700 + 50);
        port->SetPixel(1000, i % 700 + 50, port->ForeColor());
      },
      [&](int i) {
        HGDIOBJ old = SelectObject(raw, pen.get());
        MoveToEx(raw, 0, i % 700, nullptr);
        LineTo(raw, 1000, i % 700 + 50);
        SetPixelV(raw, 1000, i % 700 + 50, RGB(0, 0, 0));
        SelectObject(raw, old);
      });
  ReportLayers(
      "FillRect", [&](int i) { RuntimeGraphicsFillRect(g, i % 500, i % 300, 200, 150); },
      [&](int i) { port->FillRect(macRect(i)); },
      [&](int i) {
        RECT r{i % 500, i % 300, i % 500 + 200, i % 300 + 150};
        FillRect(raw, &r, brush.get());
      });
  ReportLayers(
      "FillOval", [&](int i) { RuntimeGraphicsFillOval(g, i % 500, i % 300, 200, 150); },
      [&](int i) { port->FillOval(macRect(i)); },
      [&](int i) {
        HGDIOBJ oldPen = SelectObject(raw, pen.get()), oldBrush = SelectObject(raw, brush.get());
        Ellipse(raw, i % 500, i % 300, i % 500 + 200, i % 300 + 150);
        SelectObject(raw, oldPen);
        SelectObject(raw, oldBrush);
      });

  StringRef text = Ascii("Hello world");
  const int32_t ascent = port->TextAscent();
  ReportLayers(
      "DrawString", [&](int i) { RuntimeGraphicsDrawString(g, text.get(), 10, 20 + i % 700, 0); },
      [&](int i) {
        int16_t baseline = int16_t(20 + i % 700);
        port->DrawTextBox(text.get(),
                          MacRect{int16_t(baseline - port->TextAscent()), 10, baseline, 30000}, 3);
      },
      [&](int i) {
        RECT area{10, 20 + i % 700 - ascent, 30000, 32767};
        DrawTextW(raw, L"Hello world", 11, &area, DT_WORDBREAK | DT_NOPREFIX);
      });

  // A 64 x 64 picture doubled; the masked rows compare with a plain stretch.
  BenchPicture source(64, 64);
  uint32_t sourceToken = 0;
  HDC sourceDC = source.bitmap->AcquireMemoryDC(&sourceToken);
  auto stretch = [&](int) {
    SetStretchBltMode(raw, COLORONCOLOR);
    StretchBlt(raw, 0, 0, 128, 128, sourceDC, 0, 0, 64, 64, SRCCOPY);
  };
  for (const char* name : {"DrawPicture 2x", "DrawPicture 2x with a mask"}) {
    bool masked = std::strcmp(name, "DrawPicture 2x") != 0;
    ReportLayers(
        name,
        [&](int) {
          RuntimeGraphicsDrawPicture(g, source.object.get(), 0, 0, 128, 128, 0, 0, 64, 64);
        },
        [&](int) { port->DrawPictureScaled(0, 0, 128, 128, source.bitmap, 0, 0, 64, 64, false); },
        stretch, masked ? 2.5 : 0);
    RuntimeUnlockObject(pictureMaskGetter(source.object.get(), 0));
  }
  source.bitmap->ReleaseMemoryDC(sourceToken);
  canvas.bitmap->ReleaseMemoryDC(token);
  GraphicsPort::UnfocusCurrent();
}

// The steps a draw of a 256 x 256 picture doubled is made of, each timed
// alone over 100 rounds on a 1024 x 768 32-bit picture, in microseconds per
// draw: making an off-screen bitmap, the blits of a copy through it, and the
// masked blend into 24 and 32 bits.
void StepRows() {
  constexpr int kRounds = 100;
  NativePicture* canvas = BitmapPicture::Create(1024, 768, 32);
  NativePicture* picture = BitmapPicture::Create(256, 256, 32);
  auto* target = static_cast<BitmapPicture*>(canvas);
  auto* source = static_cast<BitmapPicture*>(picture);
  uint32_t token = 0, sourceToken = 0;
  HDC dc = target->AcquireMemoryDC(&token), from = source->AcquireMemoryDC(&sourceToken);
  CountedDC work(CreateCompatibleDC(dc));
  CountedCompatibleBitmap off(CreateCompatibleBitmap(dc, 512, 512));
  ScopedSelect selectOff(work.get(), off.get());
  CountedPatternBitmap mono(CreateBitmap(256, 256, 1, 1, nullptr));
  CountedDC monoDC(CreateCompatibleDC(nullptr));
  ScopedSelect selectMono(monoDC.get(), mono.get());
  SetStretchBltMode(work.get(), COLORONCOLOR);
  SetStretchBltMode(dc, COLORONCOLOR);
  auto step = [&](const char* name, const std::function<void(int)>& work) {
    std::printf("  %-44s %8.1f us\n", name, MillisecondsOf(work, kRounds) * 1000.0 / kRounds);
  };
  std::printf("\nSteps of one draw of 256 x 256 doubled (per draw):\n");
  step("off-screen DC and 512 x 512 bitmap, made and freed", [&](int) {
    CountedDC made(CreateCompatibleDC(dc));
    CountedCompatibleBitmap bitmap(CreateCompatibleBitmap(dc, 512, 512));
  });
  step("24-bit 512 x 512 section, made and freed", [&](int) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 512, -512, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    CountedDIBSection made(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  });
  step("BitBlt 512 x 512 copy", [&](int) { BitBlt(work.get(), 0, 0, 512, 512, dc, 0, 0, SRCCOPY); });
  step("StretchBlt 1-bit mask SRCAND", [&](int) {
    StretchBlt(work.get(), 0, 0, 512, 512, monoDC.get(), 0, 0, 256, 256, SRCAND);
  });
  step("StretchBlt image SRCPAINT", [&](int) {
    StretchBlt(work.get(), 0, 0, 512, 512, from, 0, 0, 256, 256, SRCPAINT);
  });
  step("StretchBlt image SRCCOPY (the plain draw)", [&](int) {
    StretchBlt(dc, 0, 0, 512, 512, from, 0, 0, 256, 256, SRCCOPY);
  });
  std::vector<uint8_t> pixels(256 * 256 * 4, 0x40), mask(256 * 256 * 4, 0x80), out(512 * 512 * 4);
  for (int depth : {24, 32}) {
    step(depth == 24 ? "MaskedBlend into 24 bits, grey mask" : "MaskedBlend into 32 bits, grey mask",
         [&](int) {
           MaskedBlend({pixels.data(), 1024, 256, 256, 32}, {mask.data(), 1024, 256, 256, 32}, 0,
                       0, 256, 256, {out.data(), 512 * depth / 8, 512, 512, depth});
         });
  }
  source->ReleaseMemoryDC(sourceToken);
  target->ReleaseMemoryDC(token);
  PictureRelease(picture);
  PictureRelease(canvas);
}

// A 64 x 64 sprite: a coloured disc on white, with (when asked) a mask that
// is opaque inside the disc, grey on its rim and transparent outside.
NativePicture* SpriteOf(int index, bool withMask) {
  NativePicture* sprite = BitmapPicture::Create(64, 64, 32);
  int32_t depth = 0, rowBytes = 0;
  uint8_t *pixels = nullptr, *mask = nullptr;
  sprite->GetPixels(&depth, &pixels, &rowBytes);
  std::vector<uint8_t> unused(64 * 64 * 4);
  mask = unused.data();
  if (withMask) {
    PictureEnsureMask(sprite);
    sprite->Mask()->GetPixels(&depth, &mask, &rowBytes);
  }
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 64; ++x) {
      int32_t distance = (x - 32) * (x - 32) + (y - 32) * (y - 32);
      uint32_t colour = distance < 900 ? 0x102030u * uint32_t(1 + index % 7) : 0xFFFFFFu;
      uint32_t level = distance < 784 ? 0 : distance < 900 ? 0x808080u : 0xFFFFFFu;
      std::memcpy(pixels + y * rowBytes + 4 * x, &colour, 4);
      std::memcpy(mask + y * rowBytes + 4 * x, &level, 4);
    }
  }
  sprite->PixelsChanged();
  if (withMask) sprite->Mask()->PixelsChanged();
  return sprite;
}

// A frame of 100 sprites on a 1024 x 768 picture, transparent and masked,
// against the same frame drawn with plain StretchBlt; the best of five.
void SpriteRows() {
  constexpr int kSprites = 100, kFrames = 20;
  NativePicture* canvas = BitmapPicture::Create(1024, 768, 32);
  GraphicsPort* port = canvas->NewGraphics();
  std::vector<NativePicture*> masked, transparent;
  for (int i = 0; i < kSprites; ++i) {
    masked.push_back(SpriteOf(i, true));
    transparent.push_back(SpriteOf(i, false));
  }
  auto at = [](int i) { return std::pair<int16_t, int16_t>(int16_t(i * 97 % 960), int16_t(i * 61 % 704)); };
  auto frame = [&](std::vector<NativePicture*>& sprites, bool flag) {
    return [&, flag](int) {
      for (int i = 0; i < kSprites; ++i) {
        port->DrawPicture(at(i).first, at(i).second, sprites[size_t(i)], 0, 0, 64, 64, flag);
      }
    };
  };
  auto plain = [&](int) {
    uint32_t token = 0;
    HDC dc = static_cast<BitmapPicture*>(canvas)->AcquireMemoryDC(&token);
    SetStretchBltMode(dc, COLORONCOLOR);
    for (int i = 0; i < kSprites; ++i) {
      auto* sprite = static_cast<BitmapPicture*>(masked[size_t(i)]);
      uint32_t spriteToken = 0;
      HDC from = sprite->AcquireMemoryDC(&spriteToken);
      StretchBlt(dc, at(i).first, at(i).second, 64, 64, from, 0, 0, 64, 64, SRCCOPY);
      sprite->ReleaseMemoryDC(spriteToken);
    }
    static_cast<BitmapPicture*>(canvas)->ReleaseMemoryDC(token);
  };
  double best[3] = {1e300, 1e300, 1e300};
  for (int round = 0; round < 5; ++round) {
    best[0] = std::min(best[0], MillisecondsOf(plain, kFrames));
    best[1] = std::min(best[1], MillisecondsOf(frame(transparent, true), kFrames));
    best[2] = std::min(best[2], MillisecondsOf(frame(masked, false), kFrames));
  }
  std::printf("\n100 sprites of 64 x 64 onto a 1024 x 768 picture, %d frames:\n", kFrames);
  ReportGoal("  transparent frame", best[1], kFrames, best[0], "StretchBlt frame", 1.5);
  ReportGoal("  masked frame", best[2], kFrames, best[0], "StretchBlt frame", 1.5);
  for (NativePicture* sprite : masked) PictureRelease(sprite);
  for (NativePicture* sprite : transparent) PictureRelease(sprite);
  delete port;
  PictureRelease(canvas);
}

constexpr int32_t kSurfaceSide = 2000;
constexpr uint32_t kFillColour = 0xFF0000;

bool OnLattice(int32_t x, int32_t y) { return (x & 1) && (y & 1); }

// One fill from (0, 0) with red of a white side x side picture (with the
// lattice: black wherever x and y are both odd), through the surface and,
// when asked, through ExtFloodFill with FLOODFILLSURFACE on the picture's
// memory DC; the white pixels left show that both did the whole fill.
struct FillFigures {
  int64_t region = 0;
  double surfaceMs = 0, gdiMs = 0;
  int64_t surfaceLeft = 0, gdiLeft = 0;
};

FillFigures TimeFills(int32_t side, bool lattice, bool withGdi) {
  BenchPicture picture(side, side);
  ObjectRef surface = ObjectRef::Adopt(pictureRGBSurfaceGetter(picture.object.get(), 0));
  auto paint = [&] {
    picture.Paint(
        [&](int32_t x, int32_t y) { return lattice && OnLattice(x, y) ? 0u : 0xFFFFFFu; });
  };
  FillFigures figures;
  paint();
  figures.region = picture.Count(0xFFFFFF);
  figures.surfaceMs =
      MillisecondsOf([&](int) { rgbSurfaceSeedFill(surface.get(), 0, 0, kFillColour); }, 1);
  figures.surfaceLeft = picture.Count(0xFFFFFF);
  if (!withGdi) return figures;
  paint();
  uint32_t token = 0;
  HDC dc = picture.bitmap->AcquireMemoryDC(&token);
  CountedBrush red(CreateSolidBrush(RGB(255, 0, 0)));
  HGDIOBJ old = SelectObject(dc, red.get());
  figures.gdiMs =
      MillisecondsOf([&](int) { ExtFloodFill(dc, 0, 0, RGB(255, 255, 255), FLOODFILLSURFACE); }, 1);
  SelectObject(dc, old);
  picture.bitmap->ReleaseMemoryDC(token);
  figures.gdiLeft = picture.Count(0xFFFFFF);
  return figures;
}

void ReportFill(const char* name, int32_t side, const FillFigures& figures, bool withGdi) {
  std::printf("%-8s %4d x %-4d %9.1f ms %7.1f Mpx/s  white left %lld", name, side, side,
              figures.surfaceMs, double(figures.region) / figures.surfaceMs / 1000.0,
              static_cast<long long>(figures.surfaceLeft));
  if (withGdi) {
    std::printf("   ExtFloodFill %9.1f ms (white left %lld)   ratio %9.5f", figures.gdiMs,
                static_cast<long long>(figures.gdiLeft),
                figures.gdiMs > 0 ? figures.surfaceMs / figures.gdiMs : 0.0);
  }
  std::printf("\n");
  std::fflush(stdout);
}

// FloodFill of a 2000 x 2000 open area and lattice. ExtFloodFill slows down
// far more than in proportion on the lattice (under Wine, some 70 times for
// each doubled side, minutes at 1000 x 1000), so it is timed on growing
// lattices until one takes longer than the budget.
void FloodFillRows() {
  constexpr double kGdiBudgetMs = 1000;
  std::printf("\nFloodFill, 32 bits:\n");
  ReportFill("open", kSurfaceSide, TimeFills(kSurfaceSide, false, true), true);
  ReportFill("lattice", kSurfaceSide, TimeFills(kSurfaceSide, true, false), false);
  for (int32_t side = 250; side < kSurfaceSide; side *= 2) {
    const FillFigures figures = TimeFills(side, true, true);
    ReportFill("lattice", side, figures, true);
    if (figures.gdiMs > kGdiBudgetMs) break;
  }
}

// Pixel get-and-set pairs through the surface and through GDI.
void PixelRows() {
  constexpr int kPairs = 1000000;
  BenchPicture picture(1000, 1000);
  ObjectRef surface = ObjectRef::Adopt(pictureRGBSurfaceGetter(picture.object.get(), 0));
  RuntimeObject* s = surface.get();
  const double pairs = MillisecondsOf(
      [&](int i) {
        const int32_t x = i % 1000, y = i / 1000;
        rgbSurfaceSetPixel(s, x, y, rgbSurfaceGetPixel(s, x, y) ^ 0xFFFFFF);
      },
      kPairs);
  uint32_t token = 0;
  HDC dc = picture.bitmap->AcquireMemoryDC(&token);
  const double gdi = MillisecondsOf(
      [&](int i) {
        const int32_t x = i % 1000, y = i / 1000;
        SetPixelV(dc, x, y, GetPixel(dc, x, y) ^ 0xFFFFFF);
      },
      kPairs);
  picture.bitmap->ReleaseMemoryDC(token);
  std::printf(
      "\nPixel get and set, %d pairs: %8.1f ms   GetPixel/SetPixelV %8.1f ms   ratio %6.3f\n",
      kPairs, pairs, gdi, gdi > 0 ? pairs / gdi : 0.0);
}

// Transform of 4 Mpx with an inverting map.
void TransformRows() {
  constexpr int kRuns = 10;
  BenchPicture picture(kSurfaceSide, kSurfaceSide);
  ObjectRef surface = ObjectRef::Adopt(pictureRGBSurfaceGetter(picture.object.get(), 0));
  ArrayRef map = ArrayRef::Adopt(CreateArray(1, kArrayInt32, 255));
  for (int32_t i = 0; i < 256; ++i)
    *static_cast<int32_t*>(FindArrayElement(map.get(), i)) = 255 - i;
  const double total =
      MillisecondsOf([&](int) { rgbSurfaceTransform(surface.get(), map.get()); }, kRuns);
  const double pixels = double(kSurfaceSide) * kSurfaceSide;
  std::printf("Transform of %.0f Mpx: %8.1f ms   %7.1f Mpx/s\n", pixels / 1e6, total / kRuns,
              pixels * kRuns / total / 1000.0);
}
}  // namespace

int main(int argc, char** argv) {
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::printf("start-up failed: %s\n", error.c_str());
    return 1;
  }
  {
    // The port machinery's scratch region is made at the first focus and
    // lives with the process.
    NativePicture* warm = BitmapPicture::Create(1, 1, 32);
    GraphicsPort* port = warm->NewGraphics();
    port->GetDC();
    delete port;
    PictureRelease(warm);
  }
  // The sections named on the command line, or all of them.
  const struct {
    const char* name;
    void (*run)();
  } sections[] = {{"port", PortRows},
                  {"graphics", GraphicsRows},
                  {"sprites", SpriteRows},
                  {"steps", StepRows},
                  {"floodfill", FloodFillRows},
                  {"pixels", PixelRows},
                  {"transform", TransformRows}};
  std::string before = CountsLine();
  for (const auto& section : sections) {
    bool chosen = argc < 2;
    for (int i = 1; i < argc; ++i) chosen = chosen || std::strcmp(argv[i], section.name) == 0;
    if (!chosen) continue;
    section.run();
    std::fflush(stdout);
  }
  std::printf("GDI live counts before: %s\n", before.c_str());
  std::printf("GDI live counts after:  %s\n", CountsLine().c_str());
  return 0;
}
