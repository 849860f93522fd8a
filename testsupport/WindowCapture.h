// A capture of a window's client area for pixel checks and for inspection
// as a BMP file. The window is updated first, then copied with BitBlt from
// its DC (PrintWindow leaves child controls out under Wine).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class WindowCapture {
 public:
  // The client area of the window as it is on the screen now; empty (0 x 0)
  // when the window has no client area or GDI fails.
  static WindowCapture OfClient(HWND window);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The colour at a point as 0x00RRGGBB; 0xFF000000 outside the capture.
  uint32_t Pixel(int32_t x, int32_t y) const;
  // The distinct colours in the rectangle (clipped to the capture).
  std::vector<uint32_t> ColoursIn(const RECT& area) const;

  // A 32-bit BMP file of the capture; false when the file cannot be written.
  bool WriteBmp(const std::string& path) const;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> pixels_;  // top row first
};
