// The picture-file writer: a pane whose device context is a metafile's, or
// a bitmap written out as a BMP file.
#include "files/PictureFileWriter.h"

#include <algorithm>
#include <utility>

#include "core/RuntimeObjectFoundation.h"
#include "files/FileTypes.h"
#include "files/Win32FileCalls.h"
#include "graphics/GlobalMemory.h"
#include "graphics/GraphicsClass.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureClass.h"
#include "ui/WinUtil.h"
#include "ui/pane.h"

namespace {

constexpr size_t kMaximumPathLength = 1024;
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kFreeNameTries = 10000;
constexpr int32_t kDepthWithoutPixels = 32;

bool WriteWhole(HANDLE file, const void* bytes, uint32_t count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

PictureFileWriteCall writeCall = WriteWhole;

const char* ExtensionOf(PictureFileKind kind) {
  switch (kind) {
    case kWindowsMetafileKind:
      return "wmf";
    case kEnhancedMetafileKind:
      return "emf";
    default:
      return "bmp";
  }
}

// A new empty file of a free name in the target's folder, open for writing;
// INVALID_HANDLE_VALUE when none can be made.
HANDLE CreateFreeFile(const std::string& target, std::string* freePath) {
  const size_t separator = target.find_last_of('\\');
  const std::string folder = separator == std::string::npos ? "" : target.substr(0, separator + 1);
  for (uint32_t n = 0; n < kFreeNameTries; ++n) {
    *freePath = folder + "$$PictureTemp$$" + (n ? std::to_string(n - 1) : "");
    HANDLE file = CreateFileAt(*freePath, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// CreateMetaFile or CreateEnhMetaFile on this line's form of the path.
template <class Wide, class Ansi>
HDC CreateMetafileDC(const std::string& path, Wide wide, Ansi ansi) {
  if (IsWindowsNT()) return wide(WideOfUtf8(path).c_str());
  std::string ansiPath;
  return AnsiPathOf(path, &ansiPath) ? ansi(ansiPath.c_str()) : nullptr;
}

void PutLittleEndian32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(value >> (8 * i));
}

class PictureFileWriter : public Pane {
 public:
  PictureFileWriter(PictureFileKind kind, const std::string& target, int32_t width,
                    int32_t height, int32_t depth)
      : Pane(MacRect{0, 0, int16_t(std::min(height, kDIBMaximumSide)),
                     int16_t(std::min(width, kDIBMaximumSide))}),
        kind_(kind),
        target_(target) {
    file_ = CreateFreeFile(target, &temporary_);
    ok_ = file_ != INVALID_HANDLE_VALUE;
    if (!ok_) return;
    if (kind == kBMPFileKind) {
      bitmap_ = BitmapPicture::Create(width, height, depth);
      ok_ = bitmap_ && bitmap_->HasBitmap();
      return;
    }
    CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
    dc_ = kind == kWindowsMetafileKind ? CreateWindowsMetafile() : CreateEnhancedMetafile(width, height);
    ok_ = dc_ != nullptr;
  }

  BitmapPicture* Bitmap() const { return bitmap_; }

  // A new port for drawing the picture (the caller's).
  GraphicsPort* NewDrawingPort() {
    if (!ok_) return nullptr;
    return bitmap_ ? bitmap_->NewGraphics() : PaneNewGraphicsPort(this);
  }

  // Completes the file and gives it the target's name; on failure the file
  // is deleted.
  bool Finish() {
    bool done = ok_ && (bitmap_ ? WriteBMP() : CloseMetafile());
    done = CloseFile() && done;
    if (done) done = ReplacePath(temporary_, target_);
    if (!done && !temporary_.empty()) DeletePath(temporary_);
    temporary_.clear();
    return done;
  }

  HDC AcquireDC(uint32_t* releaseToken) override {
    *releaseToken = 0;
    return dc_;
  }
  void ReleaseDC(uint32_t) override {}

 protected:
  ~PictureFileWriter() override {
    CloseMetafile();
    CloseFile();
    if (!temporary_.empty()) DeletePath(temporary_);
    PictureRelease(bitmap_);
  }

 private:
  HDC CreateWindowsMetafile() {
    return CreateMetafileDC(
        temporary_, [](const wchar_t* path) { return CreateMetaFileW(path); },
        [](const char* path) { return CreateMetaFileA(path); });
  }

  // The frame is the picture's size in 0.01 mm on the screen.
  HDC CreateEnhancedMetafile(int32_t width, int32_t height) {
    HDC screen = GetDC(nullptr);
    const RECT frame{0, 0,
                     width * GetDeviceCaps(screen, HORZSIZE) * 100 / GetDeviceCaps(screen, HORZRES),
                     height * GetDeviceCaps(screen, VERTSIZE) * 100 / GetDeviceCaps(screen, VERTRES)};
    HDC dc = CreateMetafileDC(
        temporary_,
        [&](const wchar_t* path) { return CreateEnhMetaFileW(screen, path, &frame, nullptr); },
        [&](const char* path) { return CreateEnhMetaFileA(screen, path, &frame, nullptr); });
    ::ReleaseDC(nullptr, screen);
    return dc;
  }

  bool CloseMetafile() {
    HDC dc = std::exchange(dc_, nullptr);
    if (!dc) return false;
    if (kind_ == kWindowsMetafileKind) {
      HMETAFILE metafile = CloseMetaFile(dc);
      return metafile && DeleteMetaFile(metafile);
    }
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    return metafile && DeleteEnhMetaFile(metafile);
  }

  bool CloseFile() {
    return file_ == INVALID_HANDLE_VALUE || CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
  }

  // The file header, then the packed DIB as its own header measures it.
  bool WriteBMP() {
    GlobalBlock dib(bitmap_->ExportPackedDIB());
    GlobalLockScope locked(dib.get());
    PackedDIBView view;
    if (!locked.data() || !ReadPackedDIB(locked.data(), locked.size(), &view)) return false;
    const uint32_t dibSize = view.pixelOffset + view.imageSize;
    uint8_t header[kFileHeaderSize] = {'B', 'M'};
    PutLittleEndian32(header + 2, kFileHeaderSize + dibSize);
    PutLittleEndian32(header + 10, kFileHeaderSize + view.pixelOffset);
    return writeCall(file_, header, kFileHeaderSize) && writeCall(file_, locked.data(), dibSize);
  }

  PictureFileKind kind_;
  std::string target_;
  std::string temporary_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HDC dc_ = nullptr;
  BitmapPicture* bitmap_ = nullptr;
  bool ok_ = false;
};

}  // namespace

bool WritePictureFile(RuntimeObject* picture, PictureFileKind kind, std::string* path) {
  std::string extension = ExtensionOf(kind);
  if (ChangeFileExtension(path, extension, &extension, kMaximumPathLength) ==
      ExtensionChange::kRefused) {
    return false;
  }
  const int32_t width = pictureWidthGetter(picture, 0);
  const int32_t height = pictureHeightGetter(picture, 0);
  const int32_t depth = pictureDepthGetter(picture, 0);
  auto* writer = new PictureFileWriter(kind, *path, width, height,
                                       depth < 1 ? kDepthWithoutPixels : depth);
  if (BitmapPicture* bitmap = writer->Bitmap()) {
    bitmap->SetHResolution(pictureHorizontalResolutionGetter(picture, 0));
    bitmap->SetVResolution(pictureVerticalResolutionGetter(picture, 0));
  }
  if (GraphicsPort* port = writer->NewDrawingPort()) {
    if (GraphicsObject* graphics = WrapGraphicsPort(port)) {
      RuntimeGraphicsDrawPicture(&graphics->header, picture, 0, 0, width, height, 0, 0, width,
                                 height);
      RuntimeUnlockObject(&graphics->header);
    }
    ReleaseCurrentDrawingPane();
  }
  const bool written = writer->Finish();
  writer->Unlock();
  return written;
}

PictureFileWriteCall SetPictureFileWriteCall(PictureFileWriteCall call) {
  return std::exchange(writeCall, call);
}
