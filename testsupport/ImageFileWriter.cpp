// The imaging component's encoders and decoders, driven as any program
// would, to make and check the files the importer reads.
#include "testsupport/ImageFileWriter.h"

#include <wincodec.h>

#include <algorithm>
#include <utility>

namespace {

template <class T>
struct Com {
  T* object = nullptr;
  ~Com() {
    if (object) object->Release();
  }
  T* operator->() const { return object; }
  T** out() { return &object; }
};

bool Factory(Com<IWICImagingFactory>* factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory->out())));
}

GUID ContainerOf(TestImageFormat format) {
  switch (format) {
    case TestImageFormat::kPNG: return GUID_ContainerFormatPng;
    case TestImageFormat::kJPEG: return GUID_ContainerFormatJpeg;
    default: return GUID_ContainerFormatGif;
  }
}

// The frame's pixels as indexes into a palette of its own colours.
bool IndexFrame(const TestImage& image, std::vector<uint8_t>* indexes,
                std::vector<WICColor>* palette) {
  indexes->resize(size_t(image.width) * size_t(image.height));
  for (size_t i = 0; i < indexes->size(); ++i) {
    const uint8_t* at = &image.bgr[i * 3];
    WICColor colour = 0xFF000000u | uint32_t(at[2]) << 16 | uint32_t(at[1]) << 8 | at[0];
    auto found = std::find(palette->begin(), palette->end(), colour);
    if (found == palette->end()) {
      if (palette->size() == 256) return false;
      found = palette->insert(palette->end(), colour);
    }
    (*indexes)[i] = uint8_t(found - palette->begin());
  }
  return true;
}

bool WriteFrame(IWICImagingFactory* factory, IWICBitmapEncoder* encoder, TestImageFormat format,
                const TestImage& image) {
  Com<IWICBitmapFrameEncode> frame;
  if (FAILED(encoder->CreateNewFrame(frame.out(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(UINT(image.width), UINT(image.height)))) {
    return false;
  }
  if (format != TestImageFormat::kGIF) {
    WICPixelFormatGUID pixels = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(frame->SetPixelFormat(&pixels)) && pixels == GUID_WICPixelFormat24bppBGR &&
           SUCCEEDED(frame->WritePixels(UINT(image.height), UINT(image.width) * 3,
                                        UINT(image.bgr.size()),
                                        const_cast<BYTE*>(image.bgr.data()))) &&
           SUCCEEDED(frame->Commit());
  }
  std::vector<uint8_t> indexes;
  std::vector<WICColor> colours;
  Com<IWICPalette> palette;
  WICPixelFormatGUID pixels = GUID_WICPixelFormat8bppIndexed;
  return IndexFrame(image, &indexes, &colours) && SUCCEEDED(factory->CreatePalette(palette.out())) &&
         SUCCEEDED(palette->InitializeCustom(colours.data(), UINT(colours.size()))) &&
         SUCCEEDED(frame->SetPixelFormat(&pixels)) && pixels == GUID_WICPixelFormat8bppIndexed &&
         SUCCEEDED(frame->SetPalette(palette.object)) &&
         SUCCEEDED(frame->WritePixels(UINT(image.height), UINT(image.width), UINT(indexes.size()),
                                      indexes.data())) &&
         SUCCEEDED(frame->Commit());
}

}  // namespace

bool WriteTestImageFile(const std::wstring& path, TestImageFormat format,
                        const std::vector<TestImage>& frames) {
  Com<IWICImagingFactory> factory;
  Com<IWICStream> stream;
  Com<IWICBitmapEncoder> encoder;
  if (!Factory(&factory) || FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) {
    return false;
  }
  GUID container = ContainerOf(format);
  if (FAILED(factory->CreateEncoder(container, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream.object, WICBitmapEncoderNoCache))) {
    return false;
  }
  for (const TestImage& image : frames) {
    if (!WriteFrame(factory.object, encoder.object, format, image)) return false;
  }
  return SUCCEEDED(encoder->Commit());
}

TestImage DecodeWithPlatform(const std::wstring& path, uint32_t frameIndex) {
  Com<IWICImagingFactory> factory;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  Com<IWICFormatConverter> converter;
  UINT width = 0, height = 0;
  if (!Factory(&factory) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.out())) ||
      FAILED(decoder->GetFrame(frameIndex, frame.out())) || FAILED(frame->GetSize(&width, &height)) ||
      FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(frame.object, GUID_WICPixelFormat24bppBGR,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return TestImage{};
  }
  TestImage image{int32_t(width), int32_t(height), std::vector<uint8_t>(size_t(width) * height * 3)};
  if (FAILED(converter->CopyPixels(nullptr, width * 3, UINT(image.bgr.size()), image.bgr.data()))) {
    return TestImage{};
  }
  return image;
}

std::wstring TestFilePath(const std::string& name) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return std::wstring(folder, length) + L"kvimport-" + std::wstring(name.begin(), name.end());
}

std::string Utf8OfTestPath(const std::wstring& path) {
  const int count = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(count > 0 ? count : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, &utf8[0], count, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  return utf8;
}

bool WriteTestBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  return CloseHandle(file) && ok;
}
