// Opening picture files: the BMP reader over the file's bytes, and the
// importer's steps (select, count, bounds, depth, draw) into a new picture.
#include "graphics/PictureFiles.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>

#include "graphics/GlobalMemory.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureImporter.h"
#include "graphics/QuickTimeMovies.h"
#include "host/Win32Handles.h"
#include "ui/WinUtil.h"

namespace {

constexpr double kMetresPerInchInverse = 39.37007874015748;
// The file header, the longest info header, masks, a full colour table and
// 32-bit rows of the largest image, each padded: no valid BMP is longer.
constexpr uint64_t kLargestBMPFile =
    14 + 124 + 12 + 1024 + uint64_t(kLargestImportedImage) * 4 + 4 * uint64_t(kDIBMaximumSide);

bool EndsWithBMP(const char* path) {
  size_t length = std::strlen(path);
  return length >= 4 && _stricmp(path + length - 4, ".bmp") == 0;
}

bool FitsImportLimits(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kDIBMaximumSide && height <= kDIBMaximumSide &&
         width * height <= kLargestImportedImage;
}

// W form on the NT line; elsewhere the A form, in the system's code page.
UniqueFile OpenForReading(const char* path) {
  std::wstring wide = WidePathOf(path);
  if (wide.empty()) return UniqueFile();
  if (IsWindowsNT()) {
    return UniqueFile(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  char local[MAX_PATH];
  if (!WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, local, MAX_PATH, nullptr, nullptr)) {
    return UniqueFile();
  }
  return UniqueFile(CreateFileA(local, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The whole file in a new block; empty when it cannot be read or is longer
// than any BMP the reader takes.
GlobalBlock ReadWholeFile(const char* path, size_t* length) {
  UniqueFile file = OpenForReading(path);
  LARGE_INTEGER size{};
  if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      uint64_t(size.QuadPart) > kLargestBMPFile) {
    return GlobalBlock();
  }
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(size.QuadPart)));
  GlobalLockScope locked(block.get());
  if (!locked.data()) return GlobalBlock();
  for (size_t done = 0; done < size_t(size.QuadPart);) {
    DWORD got = 0;
    DWORD want = DWORD(size_t(size.QuadPart) - done);
    if (!ReadFile(file.get(), locked.data() + done, want, &got, nullptr) || got == 0) {
      return GlobalBlock();
    }
    done += got;
  }
  *length = size_t(size.QuadPart);
  return block;
}

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

// The packed DIB of a read file without the gap it may leave before its
// pixels, runs expanded into plain rows; empty for damaged runs.
GlobalBlock PlainPackedDIB(const uint8_t* file, size_t dibStart, const PackedDIBView& view,
                           uint32_t runLength) {
  size_t tableEnd = view.tableOffset + size_t(view.colorCount) * view.entrySize;
  bool runs = runLength != 0;
  GlobalBlock dib(GlobalAlloc(GMEM_MOVEABLE | (runs ? GMEM_ZEROINIT : 0), tableEnd + view.imageSize));
  GlobalLockScope locked(dib.get());
  if (!locked.data()) return GlobalBlock();
  const uint8_t* source = file + dibStart;
  std::memcpy(locked.data(), source, tableEnd);
  uint8_t* rows = locked.data() + tableEnd;
  if (!runs) {
    std::memcpy(rows, source + view.pixelOffset, view.imageSize);
    return dib;
  }
  if (!ExpandRunLengthPixels(source + view.pixelOffset, runLength, view.compression, view.width,
                             view.height, rows, view.stride)) {
    return GlobalBlock();
  }
  PutU32(locked.data() + 16, kDIBCompressionRGB);
  PutU32(locked.data() + 20, view.imageSize);
  return dib;
}

int32_t DotsPerInch(int32_t pixelsPerMetre) {
  return pixelsPerMetre <= 0 ? 72 : int32_t(std::lround(pixelsPerMetre / kMetresPerInchInverse));
}

// The images of a multi-image file, read again from the file when asked.
class PictureFileImages : public PictureImageList {
 public:
  PictureFileImages(std::string path, int32_t count) : path_(std::move(path)), count_(count) {}
  int32_t ImageCount() override { return count_; }
  NativePicture* ReadImage(int32_t index) override { return OpenPictureFile(path_.c_str(), index); }

 private:
  std::string path_;
  int32_t count_;
};

// The importer's steps; with a path, the image index is selected and the
// image count read, and a count above 1 gives the picture its image list.
NativePicture* Import(const char* path, int32_t index, bool indexed) {
  std::unique_ptr<PictureImporter> importer = OpenPictureImporter(path);
  if (!importer) return nullptr;
  int32_t count = 1;
  if (indexed) {
    if (index > 1 && !importer->SelectImage(index)) return nullptr;
    if (!importer->ImageCount(&count)) count = 1;
  }
  ImportBounds bounds{};
  if (!importer->NaturalBounds(&bounds)) return nullptr;
  int64_t width = int64_t(bounds.right) - bounds.left, height = int64_t(bounds.bottom) - bounds.top;
  if (bounds.left != 0 || bounds.top != 0) {
    bounds = {0, 0, int32_t(width), int32_t(height)};
    if (!importer->SetBounds(bounds)) return nullptr;
  }
  int32_t stated = 0;
  if (!FitsImportLimits(width, height) || !importer->Depth(&stated)) return nullptr;
  BitmapPicture* picture = BitmapPicture::CreateUnfilled(int32_t(width), int32_t(height),
                                                         ImportedDepth(stated));
  if (!picture->HasBitmap() || !importer->Draw(picture)) {
    PictureRelease(picture);
    return nullptr;
  }
  if (count > 1) picture->SetImageList(new PictureFileImages(path, count));
  return picture;
}

}  // namespace

NativePicture* OpenPictureFile(const char* path, int32_t index) {
  if (!path) return nullptr;
  return EndsWithBMP(path) ? ReadBMPFile(path) : Import(path, index, true);
}

NativePicture* ImportPictureWithQuickTime(const char* path) { return Import(path, 1, false); }

NativePicture* ReadBMPFile(const char* path) {
  size_t length = 0;
  GlobalBlock file = path ? ReadWholeFile(path, &length) : GlobalBlock();
  PackedDIBView view;
  GlobalBlock dib;
  bool ownBlock = false;
  {
    GlobalLockScope bytes(file.get());
    size_t dibStart = 0;
    uint32_t runLength = 0;
    if (!bytes.data() || !ReadBMPFileWithRuns(bytes.data(), length, &view, &dibStart, &runLength) ||
        !FitsImportLimits(view.width, view.height)) {
      return nullptr;
    }
    // A file whose pixels follow its table gives its own block, the file
    // header moved out of the way.
    size_t tableEnd = view.tableOffset + size_t(view.colorCount) * view.entrySize;
    ownBlock = runLength == 0 && view.pixelOffset == tableEnd;
    if (ownBlock) {
      std::memmove(bytes.data(), bytes.data() + dibStart, length - dibStart);
    } else {
      dib = PlainPackedDIB(bytes.data(), dibStart, view, runLength);
    }
  }
  if (ownBlock) dib = std::move(file);
  NativePicture* picture = dib ? PackedDIBPicture::Adopt(std::move(dib)) : nullptr;
  if (picture) {
    picture->SetHResolution(DotsPerInch(view.xPelsPerMeter));
    picture->SetVResolution(DotsPerInch(view.yPelsPerMeter));
  }
  return picture;
}

bool PictureImportQuickTimeReady() { return QuickTimeStartup() || PlatformImporterAvailable(); }
