// The two importers. The platform's converts each frame straight into the
// picture's DIB section rows; QuickTime's draws through a drawing world over
// 32-bit rows, made on the picture itself when it is 32 bits deep.
#include "graphics/PictureImporter.h"

#include <string>
#include <utility>

#include "graphics/ImagingCodecs.h"
#include "graphics/NativePicture.h"
#include "graphics/QuickTimeBackend.h"
#include "graphics/QuickTimeMovies.h"

namespace {

// The platform's decoders. Frames of 16 bits (5-5-5, the plain 16-bit DIB
// layout) and 24 bits keep their depth; every other frame is converted to
// 32 bits.
class PlatformImporter : public PictureImporter {
 public:
  bool Open(const char* path) {
    std::wstring wide = WidePathOf(path);
    return !wide.empty() && MakeImagingFactory(&factory_) &&
           SUCCEEDED(factory_->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                                         WICDecodeMetadataCacheOnDemand,
                                                         decoder_.out())) &&
           SelectImage(1);
  }

  bool SelectImage(int32_t index) override {
    return index >= 1 && SUCCEEDED(decoder_->GetFrame(UINT(index - 1), frame_.out()));
  }
  bool ImageCount(int32_t* count) override {
    UINT frames = 0;
    if (FAILED(decoder_->GetFrameCount(&frames)) || frames > INT32_MAX) return false;
    *count = int32_t(frames);
    return true;
  }
  bool NaturalBounds(ImportBounds* bounds) override {
    UINT width = 0, height = 0;
    if (FAILED(frame_->GetSize(&width, &height)) || width > INT32_MAX || height > INT32_MAX) {
      return false;
    }
    *bounds = {0, 0, int32_t(width), int32_t(height)};
    return true;
  }
  // The frame is always drawn at (0, 0).
  bool SetBounds(const ImportBounds& bounds) override { return bounds.left == 0 && bounds.top == 0; }
  bool Depth(int32_t* depth) override {
    WICPixelFormatGUID format;
    if (FAILED(frame_->GetPixelFormat(&format))) return false;
    if (format == GUID_WICPixelFormat16bppBGR555) {
      *depth = 16;
    } else if (format == GUID_WICPixelFormat24bppBGR || format == GUID_WICPixelFormat24bppRGB) {
      *depth = 24;
    } else {
      *depth = 32;
    }
    return true;
  }
  bool Draw(BitmapPicture* picture) override {
    int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
    uint8_t* base = nullptr;
    if (!picture->GetPixels(&depth, &base, &rowBytes)) return false;
    picture->GetSize(&width, &height);
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame_.get(), FormatOfDepth(depth), WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
      return false;
    }
    WICRect whole{0, 0, width, height};
    bool copied = SUCCEEDED(converter->CopyPixels(&whole, UINT(rowBytes),
                                                  UINT(rowBytes) * UINT(height), base));
    picture->PixelsChanged();
    return copied;
  }

 private:
  static WICPixelFormatGUID FormatOfDepth(int32_t depth) {
    return depth == 16 ? GUID_WICPixelFormat16bppBGR555
                       : depth == 24 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGR;
  }

  ComRef<IWICImagingFactory> factory_;
  ComRef<IWICBitmapDecoder> decoder_;
  ComRef<IWICBitmapFrameDecode> frame_;
};

MacRect MacRectOf(const ImportBounds& bounds) {
  return MacRect{int16_t(bounds.top), int16_t(bounds.left), int16_t(bounds.bottom),
                 int16_t(bounds.right)};
}

// QuickTime's graphics importer for the file, through the backend.
class QuickTimeImporter : public PictureImporter {
 public:
  explicit QuickTimeImporter(QtComponent importer) : importer_(importer) {}
  ~QuickTimeImporter() override { backend().CloseComponent(importer_); }

  bool SelectImage(int32_t index) override {
    return backend().ImporterSetIndex(importer_, index) == kQtNoError;
  }
  bool ImageCount(int32_t* count) override {
    return backend().ImporterImageCount(importer_, count) == kQtNoError;
  }
  bool NaturalBounds(ImportBounds* bounds) override {
    MacRect box{};
    if (backend().ImporterNaturalBounds(importer_, &box) != kQtNoError) return false;
    *bounds = {box.left, box.top, box.right, box.bottom};
    return true;
  }
  bool SetBounds(const ImportBounds& bounds) override {
    return backend().ImporterSetBounds(importer_, MacRectOf(bounds)) == kQtNoError;
  }
  bool Depth(int32_t* depth) override {
    return backend().ImporterDepth(importer_, depth) == kQtNoError;
  }
  // The drawing world is 32 bits deep: a picture of another depth is drawn
  // through a 32-bit one of its size.
  bool Draw(BitmapPicture* picture) override {
    if (picture->Depth() == 32) return DrawInto(picture);
    int32_t width = 0, height = 0;
    picture->GetSize(&width, &height);
    BitmapPicture* deep = BitmapPicture::CreateUnfilled(width, height, 32);
    bool drawn = DrawInto(deep);
    if (drawn) picture->CopyFromPicture(deep);
    PictureRelease(deep);
    return drawn;
  }

 private:
  static QuickTimeBackend& backend() { return CurrentQuickTimeBackend(); }

  bool DrawInto(BitmapPicture* picture) {
    int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
    uint8_t* base = nullptr;
    if (!picture->GetPixels(&depth, &base, &rowBytes)) return false;
    picture->GetSize(&width, &height);
    QtPort world = backend().NewDrawingWorld(base, width, height, rowBytes);
    if (!world) return false;
    QtPort saved = backend().CurrentPort();
    backend().SetCurrentPort(world);
    bool drawn = backend().ImporterSetDrawingWorld(importer_, world) == kQtNoError &&
                 backend().ImporterDraw(importer_) == kQtNoError;
    backend().SetCurrentPort(saved);
    backend().DisposeDrawingWorld(world);
    picture->PixelsChanged();
    return drawn;
  }

  QtComponent importer_;
};

}  // namespace

int32_t ImportedDepth(int32_t stated) {
  int32_t depth = stated == 0 ? 32 : stated;
  if (depth > 32) depth -= 32;
  return depth < 16 ? 32 : depth;
}

std::unique_ptr<PictureImporter> OpenPictureImporter(const char* path) {
  if (!path) return nullptr;
  if (QuickTimeStartup() && !CurrentQuickTimeBackend().ImportsWithPlatformDecoders()) {
    QtComponent importer = nullptr;
    if (CurrentQuickTimeBackend().ImporterForFile(path, &importer) != kQtNoError || !importer) {
      return nullptr;
    }
    return std::make_unique<QuickTimeImporter>(importer);
  }
  auto importer = std::make_unique<PlatformImporter>();
  return importer->Open(path) ? std::move(importer) : nullptr;
}

std::wstring WidePathOf(const char* path) {
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring wide(size_t(count), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], count);
  wide.resize(size_t(count - 1));
  return wide;
}

bool PlatformImporterAvailable() {
  ComRef<IWICImagingFactory> factory;
  return MakeImagingFactory(&factory);
}
