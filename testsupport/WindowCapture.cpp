#include "testsupport/WindowCapture.h"

#include <algorithm>
#include <fstream>

#include "host/Win32Handles.h"

namespace {

BITMAPINFOHEADER ThirtyTwoBitHeader(int32_t width, int32_t height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // negative: top row first
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

template <typename T>
void WriteRaw(std::ofstream& out, const T& value) {
  out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

WindowCapture WindowCapture::OfClient(HWND window) {
  WindowCapture capture;
  RECT client{};
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return capture;
  UpdateWindow(window);
  const int32_t width = client.right;
  const int32_t height = client.bottom;

  WindowDC source(window);
  UniqueMemoryDC memory(CreateCompatibleDC(source.get()));
  BITMAPINFO info{};
  info.bmiHeader = ThirtyTwoBitHeader(width, -height);
  void* bits = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(source.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || !bits) return capture;

  HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  const bool copied = BitBlt(memory.get(), 0, 0, width, height, source.get(), 0, 0, SRCCOPY);
  GdiFlush();
  SelectObject(memory.get(), previous);
  if (!copied) return capture;

  const uint32_t* first = static_cast<const uint32_t*>(bits);
  capture.pixels_.assign(first, first + size_t(width) * size_t(height));
  for (uint32_t& pixel : capture.pixels_) pixel &= 0xFFFFFF;
  capture.width_ = width;
  capture.height_ = height;
  return capture;
}

uint32_t WindowCapture::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFF000000;
  return pixels_[size_t(y) * size_t(width_) + size_t(x)];
}

std::vector<uint32_t> WindowCapture::ColoursIn(const RECT& area) const {
  std::vector<uint32_t> colours;
  for (int32_t y = std::max<int32_t>(area.top, 0); y < std::min<int32_t>(area.bottom, height_);
       ++y) {
    for (int32_t x = std::max<int32_t>(area.left, 0); x < std::min<int32_t>(area.right, width_);
         ++x) {
      const uint32_t colour = Pixel(x, y);
      if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
        colours.push_back(colour);
      }
    }
  }
  return colours;
}

bool WindowCapture::WriteBmp(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  const uint32_t pixelBytes = uint32_t(pixels_.size() * sizeof(uint32_t));
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + pixelBytes;
  WriteRaw(out, file);
  // Bottom row first, as most viewers expect.
  WriteRaw(out, ThirtyTwoBitHeader(width_, height_));
  for (int32_t y = height_ - 1; y >= 0; --y) {
    out.write(reinterpret_cast<const char*>(&pixels_[size_t(y) * size_t(width_)]),
              std::streamsize(width_) * std::streamsize(sizeof(uint32_t)));
  }
  return bool(out);
}
