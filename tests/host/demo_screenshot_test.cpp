// The check of the demo's screenshot. demo-screenshot.sh runs the demo on a
// display of its own and then this test with KVDEMO_CHECK_PNG naming the PNG;
// in an ordinary run it is skipped.
#include <gtest/gtest.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

struct Screenshot {
  UINT width = 0, height = 0, stride = 0;
  std::vector<BYTE> bgr;
  COLORREF At(UINT x, UINT y) const {
    const BYTE* pixel = &bgr.at(size_t(y) * stride + size_t(x) * 3);
    return RGB(pixel[2], pixel[1], pixel[0]);
  }
};

// Reads the PNG that KVDEMO_CHECK_PNG names; false when none is named.
bool LoadScreenshot(Screenshot* shot) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KVDEMO_CHECK_PNG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;

  ComPtr<IWICImagingFactory> factory;
  EXPECT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)));
  ComPtr<IWICBitmapDecoder> decoder;
  EXPECT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(
      path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder));
  if (!decoder) return true;
  GUID container{};
  decoder->GetContainerFormat(&container);
  EXPECT_TRUE(container == GUID_ContainerFormatPng);
  ComPtr<IWICBitmapFrameDecode> frame;
  EXPECT_HRESULT_SUCCEEDED(decoder->GetFrame(0, &frame));
  ComPtr<IWICFormatConverter> converter;
  EXPECT_HRESULT_SUCCEEDED(factory->CreateFormatConverter(&converter));
  if (!frame || !converter) return true;
  frame->GetSize(&shot->width, &shot->height);
  EXPECT_HRESULT_SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR,
                                                 WICBitmapDitherTypeNone, nullptr, 0,
                                                 WICBitmapPaletteTypeCustom));
  shot->stride = (shot->width * 3 + 3) & ~3u;
  shot->bgr.resize(size_t(shot->stride) * shot->height);
  EXPECT_HRESULT_SUCCEEDED(
      converter->CopyPixels(nullptr, shot->stride, UINT(shot->bgr.size()), shot->bgr.data()));
  return true;
}

TEST(DemoScreenshot, ShowsTheFrameWithItsCaptionAndItsMDIClient) {
  Screenshot shot;
  if (!LoadScreenshot(&shot)) GTEST_SKIP() << "KVDEMO_CHECK_PNG names no PNG";
  ASSERT_EQ(shot.width, 640u);
  ASSERT_EQ(shot.height, 480u);
  EXPECT_EQ(shot.At(320, 10), GetSysColor(COLOR_ACTIVECAPTION));
  // Below the People window and right of the List window: the client shows.
  EXPECT_EQ(shot.At(560, 400), GetSysColor(COLOR_APPWORKSPACE));
}

// The close button at the caption's right end shows the system's cross, not a
// letter of a substitute font: its glyph pixels mirror onto themselves both
// ways, meet in the middle and leave the middle of the box's sides empty.
TEST(DemoScreenshot, TheCloseButtonShowsTheCrossGlyph) {
  Screenshot shot;
  if (!LoadScreenshot(&shot)) GTEST_SKIP() << "KVDEMO_CHECK_PNG names no PNG";
  ASSERT_EQ(shot.width, 640u);
  const COLORREF glyph = GetSysColor(COLOR_BTNTEXT);
  const UINT left = shot.width - 25, right = shot.width - 4, top = 2, bottom = 22;
  UINT x0 = right, y0 = bottom, x1 = 0, y1 = 0;
  for (UINT y = top; y < bottom; ++y) {
    for (UINT x = left; x < right; ++x) {
      if (shot.At(x, y) != glyph) continue;
      x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
  }
  ASSERT_GE(x1, x0 + 4) << "no glyph in the close button";
  ASSERT_GE(y1, y0 + 4);
  auto set = [&](UINT x, UINT y) { return shot.At(x, y) == glyph; };
  for (UINT y = y0; y <= y1; ++y) {
    for (UINT x = x0; x <= x1; ++x) {
      EXPECT_EQ(set(x, y), set(x0 + x1 - x, y)) << "not mirrored left to right at " << x << "," << y;
      EXPECT_EQ(set(x, y), set(x, y0 + y1 - y)) << "not mirrored top to bottom at " << x << "," << y;
    }
  }
  const UINT midX = (x0 + x1) / 2, midY = (y0 + y1) / 2;
  EXPECT_TRUE(set(midX, midY));
  EXPECT_FALSE(set(x0, midY));
  EXPECT_FALSE(set(midX, y0));
}

}  // namespace
