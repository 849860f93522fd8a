// Opening picture files: the BMP reader over the file's bytes, and the
// importer's steps (select, count, bounds, depth, draw) into a new picture.
#include "graphics/PictureFiles.h"

#include <windows.h>

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

// A read-only view of a whole file, unmapped at the end of the scope; data()
// is null when the file cannot be opened or mapped, is empty, or is longer
// than any BMP the reader takes. The file is opened without write sharing,
// so its length holds while it is mapped.
class MappedFile {
 public:
  explicit MappedFile(const char* path) {
    UniqueFile file = OpenForReading(path);
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        uint64_t(size.QuadPart) > kLargestBMPFile) {
      return;
    }
    HANDLE handle = file.get();
    mapping_ = IsWindowsNT() ? CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr)
                             : CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    data_ = mapping_ ? static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0))
                     : nullptr;
    size_ = data_ ? size_t(size.QuadPart) : 0;
  }
  ~MappedFile() {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  HANDLE mapping_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

// The packed DIB of a run-length file with its runs expanded into plain rows
// after the table; empty for damaged runs.
GlobalBlock ExpandedPackedDIB(const uint8_t* dib, const PackedDIBView& view, uint32_t runLength) {
  size_t tableEnd = view.tableOffset + size_t(view.colorCount) * view.entrySize;
  GlobalBlock expanded = GlobalBlock::Allocate(tableEnd + view.imageSize);
  GlobalLockScope locked(expanded.get());
  if (!locked.data()) return GlobalBlock();
  std::memcpy(locked.data(), dib, tableEnd);
  if (!ExpandRunLengthPixels(dib + view.pixelOffset, runLength, view.compression, view.width,
                             view.height, locked.data() + tableEnd, view.stride)) {
    return GlobalBlock();
  }
  PutU32(locked.data() + 16, kDIBCompressionRGB);
  PutU32(locked.data() + 20, view.imageSize);
  return expanded;
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
  if (!path) return nullptr;
  MappedFile file(path);
  PackedDIBView view;
  size_t dibStart = 0;
  uint32_t runLength = 0;
  if (!file.data() ||
      !ReadBMPFileWithRuns(file.data(), file.size(), &view, &dibStart, &runLength) ||
      !FitsImportLimits(view.width, view.height)) {
    return nullptr;
  }
  // Plain rows go from the file straight into the picture, past any gap the
  // file leaves before them.
  const uint8_t* dib = file.data() + dibStart;
  NativePicture* picture = nullptr;
  if (runLength == 0) {
    picture = PackedDIBPicture::FromView(dib, view, dib + view.pixelOffset);
  } else if (GlobalBlock expanded = ExpandedPackedDIB(dib, view, runLength)) {
    picture = PackedDIBPicture::Create(expanded.get());
  }
  if (picture) {
    picture->SetHResolution(DotsPerInch(view.xPelsPerMeter));
    picture->SetVResolution(DotsPerInch(view.yPelsPerMeter));
  }
  return picture;
}

bool PictureImportQuickTimeReady() { return QuickTimeStartup() || PlatformImporterAvailable(); }
