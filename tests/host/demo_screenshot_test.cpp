// The check of the demo's screenshot. demo-screenshot.sh runs the demo on a
// display of its own and then this test with KVDEMO_CHECK_PNG naming the PNG;
// in an ordinary run it is skipped.
#include <gtest/gtest.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

COLORREF PixelAt(const std::vector<BYTE>& bgr, UINT stride, UINT x, UINT y) {
  const BYTE* pixel = &bgr.at(size_t(y) * stride + size_t(x) * 3);
  return RGB(pixel[2], pixel[1], pixel[0]);
}

TEST(DemoScreenshot, ShowsTheFrameWithItsCaptionAndItsMDIClient) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KVDEMO_CHECK_PNG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) GTEST_SKIP() << "KVDEMO_CHECK_PNG names no PNG";

  ComPtr<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)));
  ComPtr<IWICBitmapDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(
      path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder));
  GUID container{};
  decoder->GetContainerFormat(&container);
  EXPECT_TRUE(container == GUID_ContainerFormatPng);
  ComPtr<IWICBitmapFrameDecode> frame;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, &frame));
  UINT width = 0, height = 0;
  frame->GetSize(&width, &height);
  ASSERT_EQ(width, 640u);
  ASSERT_EQ(height, 480u);

  ComPtr<IWICFormatConverter> converter;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateFormatConverter(&converter));
  ASSERT_HRESULT_SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR,
                                                 WICBitmapDitherTypeNone, nullptr, 0,
                                                 WICBitmapPaletteTypeCustom));
  const UINT stride = (width * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(size_t(stride) * height);
  ASSERT_HRESULT_SUCCEEDED(converter->CopyPixels(nullptr, stride, UINT(pixels.size()), pixels.data()));

  EXPECT_EQ(PixelAt(pixels, stride, 320, 10), GetSysColor(COLOR_ACTIVECAPTION));
  EXPECT_EQ(PixelAt(pixels, stride, 320, 240), GetSysColor(COLOR_APPWORKSPACE));
}

}  // namespace
