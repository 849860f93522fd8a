// The export formats, the packed-DIB bitmap source and the encoding of a
// file.
#include "graphics/ImagingCodecs.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "core/utility.h"
#include "graphics/PackedDIB.h"

namespace {


// The pixel format of a DIB's rows; false for bitfields of another layout.
bool PixelFormatOf(const PackedDIBView& view, WICPixelFormatGUID* format) {
  const bool fields = view.compression == kDIBCompressionBitfields;
  const auto masksAre = [&](uint32_t red, uint32_t green, uint32_t blue) {
    return !fields || (view.masks[0] == red && view.masks[1] == green && view.masks[2] == blue);
  };
  switch (view.bitCount) {
    case 1: *format = GUID_WICPixelFormat1bppIndexed; return true;
    case 4: *format = GUID_WICPixelFormat4bppIndexed; return true;
    case 8: *format = GUID_WICPixelFormat8bppIndexed; return true;
    case 24: *format = GUID_WICPixelFormat24bppBGR; return true;
    case 32: *format = GUID_WICPixelFormat32bppBGR; return masksAre(0xFF0000, 0xFF00, 0xFF);
    case 16:
      if (masksAre(0x7C00, 0x3E0, 0x1F)) {
        *format = GUID_WICPixelFormat16bppBGR555;
        return true;
      }
      *format = GUID_WICPixelFormat16bppBGR565;
      return view.masks[0] == 0xF800 && view.masks[1] == 0x7E0 && view.masks[2] == 0x1F;
    default: return false;
  }
}

// As a file holds it: 72 for none, at most 65,535, and whole, as pictures
// read and set them: pixels per metre are a whole number too, so 300 dots
// per inch come back as 299.9994, which a JPEG file would cut to 299.
double FileDotsPerInch(int32_t pelsPerMeter) {
  return FileResolution(DotsPerInch(pelsPerMeter));
}

// A new empty file in the folder of the path, under a name of its own: the
// file is written there whole and only then put in the path's place, so
// that a failure leaves a file already at the path as it was. Empty when
// none can be made.
std::wstring NewFileBeside(const wchar_t* path) {
  static uint32_t serial = 0;
  const wchar_t* end = path + std::wcslen(path);
  const wchar_t* name = end;
  while (name > path && name[-1] != L'\\' && name[-1] != L'/') --name;
  const std::wstring folder(path, name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t unique[32];
    std::swprintf(unique, 32, L"~kv%lx-%x.tmp", GetCurrentProcessId(), ++serial);
    const std::wstring beside = folder + unique;
    HANDLE file = CreateFileW(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return beside;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return std::wstring();
}

// A BMP file's header states the file's size. Wine's encoder leaves the
// colour table of an indexed one out of it, and readers that keep to the
// stated size (the run-time's own among them) then find the pixels cut
// short: the size is made the file's.
bool StateBMPFileSize(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint8_t header[6] = {};
  DWORD done = 0;
  const DWORD size = GetFileSize(file, nullptr);
  bool stated = size != INVALID_FILE_SIZE &&
                ReadFile(file, header, sizeof header, &done, nullptr) && done == sizeof header &&
                header[0] == 'B' && header[1] == 'M';
  uint32_t statedSize = 0;
  std::memcpy(&statedSize, header + 2, sizeof statedSize);
  if (stated && statedSize != size) {
    stated = SetFilePointer(file, 2, nullptr, FILE_BEGIN) == 2 &&
             WriteFile(file, &size, sizeof size, &done, nullptr) && done == sizeof size;
  }
  CloseHandle(file);
  return stated;
}

size_t livePackedDIBSources = 0;

// The rows of a DIB in memory, top row first whatever their order.
class PackedDIBSource : public IWICBitmapSource {
 public:
  PackedDIBSource(const uint8_t* dib, const PackedDIBView& view, const WICPixelFormatGUID& format)
      : dib_(dib), view_(view), format_(format) {
    ++livePackedDIBSources;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IWICBitmapSource) {
      *out = static_cast<IWICBitmapSource*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    if (!width || !height) return E_INVALIDARG;
    *width = UINT(view_.width);
    *height = UINT(view_.height);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    if (!format) return E_INVALIDARG;
    *format = format_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    if (!x || !y) return E_INVALIDARG;
    *x = FileDotsPerInch(view_.xPelsPerMeter);
    *y = FileDotsPerInch(view_.yPelsPerMeter);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override {
    if (!palette) return E_INVALIDARG;
    if (view_.bitCount > 8) return WINCODEC_ERR_PALETTEUNAVAILABLE;
    const uint32_t count = view_.colorCount ? view_.colorCount : 1u << view_.bitCount;
    std::vector<WICColor> colours(count, 0xFF000000);
    const uint8_t* entry = dib_ + view_.tableOffset;
    for (uint32_t i = 0; i < count && i < view_.colorCount; ++i, entry += view_.entrySize) {
      colours[i] = 0xFF000000u | uint32_t(entry[2]) << 16 | uint32_t(entry[1]) << 8 | entry[0];
    }
    return palette->InitializeCustom(colours.data(), count);
  }
  // Whole bytes only: a rectangle starting inside a byte is refused.
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size,
                                       BYTE* buffer) override {
    const WICRect whole{0, 0, view_.width, view_.height};
    const WICRect area = rect ? *rect : whole;
    if (!buffer || area.X < 0 || area.Y < 0 || area.Width < 0 || area.Height < 0 ||
        area.X > view_.width - area.Width || area.Y > view_.height - area.Height) {
      return E_INVALIDARG;
    }
    const uint64_t firstBit = uint64_t(area.X) * view_.bitCount;
    const uint64_t rowBytes = (uint64_t(area.Width) * view_.bitCount + 7) / 8;
    if (firstBit % 8 != 0) return E_INVALIDARG;
    if (area.Height == 0) return S_OK;
    if (rowBytes > stride || uint64_t(stride) * (area.Height - 1) + rowBytes > size) {
      return E_INVALIDARG;
    }
    for (int32_t row = 0; row < area.Height; ++row) {
      const int32_t y = area.Y + row;
      const uint32_t stored = view_.topDown ? uint32_t(y) : uint32_t(view_.height - 1 - y);
      std::memcpy(buffer + size_t(row) * stride,
                  dib_ + view_.pixelOffset + size_t(stored) * view_.stride + firstBit / 8,
                  size_t(rowBytes));
    }
    return S_OK;
  }

 private:
  virtual ~PackedDIBSource() { --livePackedDIBSources; }

  const uint8_t* dib_;
  PackedDIBView view_;
  WICPixelFormatGUID format_;
  ULONG references_ = 1;
};

bool IsIndexed(const WICPixelFormatGUID& format) {
  return format == GUID_WICPixelFormat8bppIndexed || format == GUID_WICPixelFormat4bppIndexed ||
         format == GUID_WICPixelFormat2bppIndexed || format == GUID_WICPixelFormat1bppIndexed;
}

// The source in a pixel format through the platform's converter; for an
// indexed format, the palette goes with it.
bool Converted(IWICImagingFactory* factory, IWICBitmapSource* source,
               const WICPixelFormatGUID& format, IWICPalette* palette,
               ComRef<IWICBitmapSource>* converted) {
  ComRef<IWICFormatConverter> converter;
  return SUCCEEDED(factory->CreateFormatConverter(converter.out())) &&
         SUCCEEDED(converter->Initialize(source, format, WICBitmapDitherTypeNone, palette, 0.0,
                                         palette ? WICBitmapPaletteTypeCustom
                                                 : WICBitmapPaletteTypeMedianCut)) &&
         SUCCEEDED(converter->QueryInterface(IID_IWICBitmapSource,
                                             reinterpret_cast<void**>(converted->out())));
}

// A palette of at most as many colours as the format holds, made from the
// pixels and given to the frame.
bool FramePalette(IWICImagingFactory* factory, IWICBitmapFrameEncode* frame,
                  IWICBitmapSource* source, const WICPixelFormatGUID& format,
                  ComRef<IWICPalette>* palette) {
  UINT bits = 0;
  ComRef<IWICComponentInfo> info;
  ComRef<IWICPixelFormatInfo> formatInfo;
  return SUCCEEDED(factory->CreateComponentInfo(format, info.out())) &&
         SUCCEEDED(info->QueryInterface(IID_IWICPixelFormatInfo,
                                        reinterpret_cast<void**>(formatInfo.out()))) &&
         SUCCEEDED(formatInfo->GetBitsPerPixel(&bits)) && bits <= 8 &&
         SUCCEEDED(factory->CreatePalette(palette->out())) &&
         SUCCEEDED((*palette)->InitializeFromBitmap(source, 1u << bits, FALSE)) &&
         SUCCEEDED(frame->SetPalette(palette->get()));
}

// The source in the frame's pixel format: itself, or a converter (with a
// palette made from the pixels, given to the frame, for an indexed one).
// Pixels of fewer than 24 bits are widened to 32-bit BGRA first: the
// converters take no direct way from them to most encoders' formats (Wine's
// refuses them part way through the write), and every converter takes BGRA.
bool SourceInFrameFormat(IWICImagingFactory* factory, IWICBitmapFrameEncode* frame,
                         IWICBitmapSource* source, ComRef<IWICBitmapSource>* converted) {
  WICPixelFormatGUID own{};
  if (FAILED(source->GetPixelFormat(&own))) return false;
  WICPixelFormatGUID wanted = own;
  if (FAILED(frame->SetPixelFormat(&wanted))) return false;
  if (wanted == own) {
    source->AddRef();
    *converted->out() = source;
    return true;
  }
  ComRef<IWICBitmapSource> wide;
  if (IsIndexed(own) || own == GUID_WICPixelFormat16bppBGR555 ||
      own == GUID_WICPixelFormat16bppBGR565) {
    if (!Converted(factory, source, GUID_WICPixelFormat32bppBGRA, nullptr, &wide)) return false;
    source = wide.get();
  }
  ComRef<IWICPalette> palette;
  if (IsIndexed(wanted) && !FramePalette(factory, frame, source, wanted, &palette)) return false;
  return Converted(factory, source, wanted, palette.get(), converted);
}

bool Encode(IWICImagingFactory* factory, IWICBitmapSource* source, const ImageFileFormat& format,
            const wchar_t* path, double xDotsPerInch, double yDotsPerInch) {
  UINT width = 0, height = 0;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapEncoder> encoder;
  ComRef<IWICBitmapFrameEncode> frame;
  ComRef<IPropertyBag2> options;
  if (FAILED(source->GetSize(&width, &height)) || FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromFilename(path, GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(*format.container, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.out(), options.out())) ||
      FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(width, height))) {
    return false;
  }
  if (xDotsPerInch > 0 && yDotsPerInch > 0 &&
      FAILED(frame->SetResolution(xDotsPerInch, yDotsPerInch))) {
    return false;
  }
  ComRef<IWICBitmapSource> pixels;
  return SourceInFrameFormat(factory, frame.get(), source, &pixels) &&
         SUCCEEDED(frame->WriteSource(pixels.get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
         SUCCEEDED(encoder->Commit());
}

}  // namespace

const ImageFileFormat kImageFileFormats[kImageFileFormatCount] = {
    {FourCharCode("BMPf"), L"BMP", L"*.bmp", L"bmp", &GUID_ContainerFormatBmp},
    {FourCharCode("PNGf"), L"PNG", L"*.png", L"png", &GUID_ContainerFormatPng},
    {FourCharCode("JPEG"), L"JPEG", L"*.jpg;*.jpeg", L"jpg", &GUID_ContainerFormatJpeg},
    {FourCharCode("TIFF"), L"TIFF", L"*.tif;*.tiff", L"tif", &GUID_ContainerFormatTiff},
    {FourCharCode("GIFf"), L"GIF", L"*.gif", L"gif", &GUID_ContainerFormatGif},
};

const ImageFileFormat* ImageFileFormatOfType(uint32_t fileType) {
  for (const ImageFileFormat& format : kImageFileFormats) {
    if (format.fileType == fileType) return &format;
  }
  return nullptr;
}

bool MakeImagingFactory(ComRef<IWICImagingFactory>* factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory->out())));
}

IWICBitmapSource* NewPackedDIBSource(const uint8_t* dib, const PackedDIBView& view) {
  WICPixelFormatGUID format{};
  if (!PixelFormatOf(view, &format)) return nullptr;
  return new PackedDIBSource(dib, view, format);
}

size_t LivePackedDIBSources() { return livePackedDIBSources; }

bool EncodeImageFile(IWICImagingFactory* factory, IWICBitmapSource* source,
                     const ImageFileFormat& format, const wchar_t* path, double xDotsPerInch,
                     double yDotsPerInch) {
  if (!factory || !source || !path || !*path) return false;
  const std::wstring beside = NewFileBeside(path);
  if (beside.empty()) return false;
  // Every object of the encoding is released before the file is moved or
  // removed.
  if (Encode(factory, source, format, beside.c_str(), xDotsPerInch, yDotsPerInch) &&
      (*format.container != GUID_ContainerFormatBmp || StateBMPFileSize(beside.c_str())) &&
      MoveFileExW(beside.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(beside.c_str());
  return false;
}
