// Figures of the drawing port on a 1024 x 768 32-bit picture: the time per
// 10,000 calls of each operation through the port, and its ratio to raw GDI
// calls that do the same drawing on the same memory DC with their pens and
// brushes made once; truncated text, BMP import and window capture; and the
// GDI live counts before and after, which must be equal. Prints figures only.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GdiObjects.h"
#include "graphics/GlobalMemory.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/ScreenCapture.h"
#include "host/RuntimeMain.h"
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

}  // namespace

int main() {
  std::string error;
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
  std::string before = CountsLine();
  {
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
      return MacRect{int16_t(i % 300), int16_t(i % 500), int16_t(i % 300 + 150), int16_t(i % 500 + 200)};
    };

    double portLines = MillisecondsOf([&](int i) { port->MoveTo(0, i % 700); port->LineTo(1000, i % 700 + 50); });
    double rawLines = MillisecondsOf([&](int i) {
      HGDIOBJ old = SelectObject(raw, pen.get());
      MoveToEx(raw, 0, i % 700, nullptr);
      LineTo(raw, 1000, i % 700 + 50);
      SelectObject(raw, old);
    });
    Report("1-pixel lines", portLines, rawLines);

    port->SetPenPattern(1);
    double portPattern = MillisecondsOf([&](int i) { port->MoveTo(0, i % 700); port->LineTo(1000, i % 700); });
    port->PenNormal();
    double rawPattern = MillisecondsOf([&](int i) {
      RECT area{0, i % 700, 1001, i % 700 + 1};
      FillRect(raw, &area, pattern.get());
    });
    Report("patterned horizontal lines", portPattern, rawPattern);

    Report("FillRect", MillisecondsOf([&](int i) { port->FillRect(macRect(i)); }),
           MillisecondsOf([&](int i) { RECT r = rect(i); FillRect(raw, &r, brush.get()); }));
    Report("FillOval", MillisecondsOf([&](int i) { port->FillOval(macRect(i)); }), MillisecondsOf([&](int i) {
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
    double portText = MillisecondsOf([&](int i) { port->DrawStringAt(shortText.get(), 10, 20 + i % 700); });
    double rawText = MillisecondsOf([&](int i) { TextOutW(raw, 10, 20 + i % 700, L"Hello world", 11); });
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
    double stretch = MillisecondsOf([&](int) {
      SetStretchBltMode(raw, COLORONCOLOR);
      StretchBlt(raw, 0, 0, 512, 512, sourceDC, 0, 0, 256, 256, SRCCOPY);
    }, 100);
    sourceBitmap->ReleaseMemoryDC(sourceToken);
    double plain = MillisecondsOf([&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, false); }, 100);
    Report("DrawPictureScaled 2x plain", plain, stretch, 100);
    double firstTransparent = MillisecondsOf([&](int) {
      sourceBitmap->Touch();
      port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, true);
    }, 100);
    Report("  transparent, first draw", firstTransparent, stretch, 100);
    double secondTransparent = MillisecondsOf([&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, true); }, 100);
    Report("  transparent, second draw", secondTransparent, stretch, 100);
    PictureEnsureMask(source);
    double masked = MillisecondsOf([&](int) { port->DrawPictureScaled(0, 0, 512, 512, source, 0, 0, 256, 256, false); }, 100);
    Report("  masked", masked, stretch, 100);

    StringRef suffix = Ascii("...");
    for (int length : {50, 200, 800}) {
      StringRef text = Ascii(std::string(size_t(length), 'w'));
      double total = MillisecondsOf([&](int i) { port->DrawStringTruncated(text.get(), 5, 100 + i % 500, 100, suffix.get()); }, 1000);
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
  std::printf("GDI live counts before: %s\n", before.c_str());
  std::printf("GDI live counts after:  %s\n", CountsLine().c_str());
  return 0;
}
