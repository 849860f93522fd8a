// Image files written at run time by the platform's own encoders (PNG, JPEG,
// GIF), and the platform's own decode of a file, for the picture import
// tests. COM must be initialised (the runtime test environment does it).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One image: top-down rows of 3 bytes a pixel (blue, green, red), no padding.
struct TestImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgr;
};

// An image whose pixel (x, y) has the colour the function gives (0xRRGGBB).
template <class Colour>
TestImage MakeTestImage(int32_t width, int32_t height, Colour colour) {
  TestImage image{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint32_t rgb = colour(x, y);
      uint8_t* at = &image.bgr[(size_t(y) * size_t(width) + size_t(x)) * 3];
      at[0] = uint8_t(rgb), at[1] = uint8_t(rgb >> 8), at[2] = uint8_t(rgb >> 16);
    }
  }
  return image;
}

enum class TestImageFormat { kPNG, kJPEG, kGIF };

// Writes the images as frames of one file; GIF frames are 8-bit indexed over
// a palette of the colours they use (at most 256). False when the encoder
// refuses.
bool WriteTestImageFile(const std::wstring& path, TestImageFormat format,
                        const std::vector<TestImage>& frames);

// A path in the temporary folder for a test file of that (ASCII) name, wide
// and as the UTF-8 the readers take.
std::wstring TestFilePath(const std::string& name);
std::string Utf8OfTestPath(const std::wstring& path);
// Writes the bytes as the whole file; false when it cannot.
bool WriteTestBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);

// Frame index (from 0) of the file as the platform decodes it into 24-bit
// pixels; an image of size 0 when it cannot.
TestImage DecodeWithPlatform(const std::wstring& path, uint32_t frame);
