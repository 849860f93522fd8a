// Picture export on the platform's imaging encoders, as a user sees it: the
// export dialog's title, name and formats, each format written and read
// back, the resolution carried, SaveAsJPEG and the JPEG codec of database
// values, and every failure leaving nothing behind.
#include <gtest/gtest.h>

#include <wincodec.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "tests/files/FilesTestSupport.h"
#include "files/TypedContents.h"
#include "files/runFolderItem.h"
#include "graphics/ImagingCodecs.h"
#include "graphics/PictureExport.h"
#include "graphics/PictureFiles.h"
#include "graphics/PlatformMedia.h"
#include "graphics/QuickTimeMovies.h"
#include "runtime/MediaSetup.h"
#include "testsupport/DialogWatcher.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/ImageFileWriter.h"
#include "testsupport/ScratchFolder.h"

namespace {

constexpr int kFileNameBox = 0x47C;  // the explorer form's name box
constexpr int kFileTypeBox = 0x470;
constexpr int32_t kWidth = 48, kHeight = 32;
// JPEG's loss on the test picture's flat 16 x 16 blocks (whole blocks of
// its sampling), per channel.
constexpr int kJPEGBound = 3;
// The palette the GIF encoder makes is off by up to this, per channel.
constexpr int kGIFBound = 4;

// Flat 16 x 16 blocks of distinct colours: exact for lossless formats, and a
// fair case for JPEG.
uint32_t BlockColour(int32_t x, int32_t y) {
  const uint32_t block = uint32_t(x / 16 + 3 * (y / 16));
  return (0x20 + 0x30 * block) << 16 | (0xE0 - 0x28 * block) << 8 | (0x40 + 0x50 * (block % 3));
}

// Black and white blocks: the same pixels at every depth.
uint32_t GreyBlockColour(int32_t x, int32_t y) { return (x / 16 + y / 16) % 2 ? 0xFFFFFF : 0; }

using BlockColours = uint32_t (*)(int32_t x, int32_t y);

ObjectRef BlockPicture(int32_t depth = 32, BlockColours colour = BlockColour) {
  ObjectRef picture = NewPicture(kWidth, kHeight, depth);
  ObjectRef graphics = GraphicsOf(picture);
  for (int32_t y = 0; y < kHeight; y += 16) {
    for (int32_t x = 0; x < kWidth; x += 16) {
      graphicsForeColorSetter(graphics.get(), 0, colour(x, y));
      RuntimeGraphicsFillRect(graphics.get(), x, y, 16, 16);
    }
  }
  return picture;
}

int ChannelDifference(uint32_t got, uint32_t want) {
  int largest = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    largest = std::max(largest, std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)));
  }
  return largest;
}

// The largest difference of a channel between a picture (painted onto a
// 32-bit one by GDI) and the blocks; -1 when its size differs.
int LargestDifference(NativePicture* picture, BlockColours colour = BlockColour) {
  int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!picture) return -1;
  picture->GetSize(&width, &height);
  if (width != kWidth || height != kHeight) return -1;
  BitmapPicture* deep = BitmapPicture::Create(width, height, 32);
  deep->CopyFromPicture(picture);
  int largest = deep->GetPixels(&depth, &base, &rowBytes) ? 0 : -1;
  for (int32_t y = 0; y < kHeight && largest >= 0; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint32_t got;
      std::memcpy(&got, base + size_t(y) * size_t(rowBytes) + 4 * size_t(x), 4);
      largest = std::max(largest, ChannelDifference(got, colour(x, y)));
    }
  }
  PictureRelease(deep);
  return largest;
}

// The same for the file imported again.
int LargestDifference(const std::wstring& path, BlockColours colour = BlockColour) {
  NativePicture* read = OpenPictureFile(Utf8OfTestPath(path).c_str(), 1);
  const int largest = LargestDifference(read, colour);
  if (read) PictureRelease(read);
  return largest;
}

// The file's horizontal resolution as the decoders read it; 0 when none.
double FileDotsPerInch(const std::wstring& path) {
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  double x = 0, y = 0;
  if (!MakeImagingFactory(&factory) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.out())) ||
      FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetResolution(&x, &y))) {
    return 0;
  }
  return x;
}

// Export's steps after its dialog: the picture file, the importer given it,
// and the importer's export of the file in the format.
bool ExportWithoutDialog(const ObjectRef& picture, uint32_t fileType, const std::wstring& path) {
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  QtHandle data = PictureFileHandle(picture.get());
  QtComponent importer = nullptr;
  const bool exported =
      data &&
      backend.OpenDefaultComponent(FourCharCode("grip"), FourCharCode("PICT"), &importer) ==
          kQtNoError &&
      backend.ImporterSetDataHandle(importer, data) == kQtNoError &&
      backend.ImporterExportImageFile(importer, fileType, 0, Utf8OfTestPath(path).c_str()) ==
          kQtNoError;
  if (importer) backend.CloseComponent(importer);
  if (data) backend.DisposeHandle(data);
  return exported;
}

// The names in a folder, sorted.
std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The picture through SaveAsJPEG of the path's FolderItem.
void SaveAsJPEG(const ObjectRef& picture, const std::wstring& path) {
  StringRef text = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(path).c_str()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  CallMethod(item.get(), "SaveAsJPEG", picture.get());
}

class PlatformExportTest : public PictureTest {
 protected:
  void SetUp() override {
    PictureTest::SetUp();
    ASSERT_TRUE(QuickTimeStartup()) << "the platform's media must stand in";
  }
  void TearDown() override {
    EXPECT_EQ(ThePlatformMediaBackend().LiveHandles(), 0u);
    EXPECT_EQ(LivePackedDIBSources(), 0u) << "a reference of the pixels was kept";
    PictureTest::TearDown();
  }

  // Export through its dialog, the name typed in it.
  bool ExportAs(const ObjectRef& picture, const std::wstring& path,
                DialogWatcher::Seen* seen = nullptr, DWORD deadlineMs = 10000) {
    DeleteFileW(path.c_str());
    DialogWatcher watcher({{{kFileNameBox, path}}, IDOK, deadlineMs});
    const bool exported = exportPicture(picture.get());
    if (seen) *seen = watcher.Finish();
    return exported;
  }
};

}  // namespace

TEST_F(PlatformExportTest, TheDialogOffersTheFiveFormatsAndTheNameOfTheFirst) {
  ObjectRef picture = BlockPicture();
  DialogWatcher watcher({{}, IDCANCEL});
  EXPECT_FALSE(exportPicture(picture.get()));
  const DialogWatcher::Seen& seen = watcher.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, L"Export Image As:");
  bool named = false, listed = false;
  for (const DialogWatcher::Control& control : seen.controls) {
    if (control.id == kFileNameBox) named = named || control.text == L"Untitled Image.bmp";
    if (control.id == kFileTypeBox) {
      listed = control.items == std::vector<std::wstring>({L"BMP", L"PNG", L"JPEG", L"TIFF", L"GIF"});
    }
  }
  EXPECT_TRUE(named);
  EXPECT_TRUE(listed);

}

TEST_F(PlatformExportTest, ChoosingATypePutsItsExtensionOnTheName) {
  ObjectRef picture = BlockPicture();
  const std::wstring typed = TestFilePath("typed.bmp");
  const std::wstring renamed = TestFilePath("typed.png");
  DeleteFileW(typed.c_str());
  DeleteFileW(renamed.c_str());
  // The name typed with one extension, then PNG chosen from the list.
  DialogWatcher chooser({{{kFileNameBox, typed}}, IDOK, 10000, {{kFileTypeBox, 1}}});
  EXPECT_TRUE(exportPicture(picture.get()));
  chooser.Finish();
  EXPECT_EQ(GetFileAttributesW(typed.c_str()), INVALID_FILE_ATTRIBUTES);
  HANDLE file = CreateFileW(renamed.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char magic[4] = {};
  DWORD got = 0;
  ReadFile(file, magic, 4, &got, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(magic, 4), "\x89PNG");
  DeleteFileW(renamed.c_str());
}

TEST_F(PlatformExportTest, EachFormatReadsBackWithinItsBound) {
  ObjectRef picture = BlockPicture();
  const struct {
    const char* name;
    const char* magic;
    int bound;
  } rows[] = {{"x.bmp", "BM", 0},
              {"x.png", "\x89PNG", 0},
              {"x.tif", "II*", 0},
              {"x.jpg", "\xFF\xD8\xFF", kJPEGBound},
              {"x.gif", "GIF8", kGIFBound}};
  for (const auto& row : rows) {
    const std::wstring path = TestFilePath(std::string("export-") + row.name);
    ASSERT_TRUE(ExportAs(picture, path)) << row.name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char magic[4] = {};
    DWORD got = 0;
    ReadFile(file, magic, 4, &got, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string(magic, std::strlen(row.magic)), row.magic) << row.name;
    const int difference = LargestDifference(path);
    EXPECT_GE(difference, 0) << row.name;
    DeleteFileW(path.c_str());
    EXPECT_LE(difference, row.bound) << row.name;
    DeleteFileW(path.c_str());
  }
}

TEST_F(PlatformExportTest, AResolutionOtherThan72IsCarriedByEveryFormatThatHoldsOne) {
  ObjectRef picture = BlockPicture();
  NativeOf(picture)->SetHResolution(144);
  NativeOf(picture)->SetVResolution(144);
  for (const char* name : {"dpi.bmp", "dpi.png", "dpi.tif", "dpi.jpg"}) {
    const std::wstring path = TestFilePath(name);
    ASSERT_TRUE(ExportAs(picture, path)) << name;
    // Pixels per metre round to 5669, which reads 143.99.
    EXPECT_NEAR(FileDotsPerInch(path), 144.0, 0.05) << name;
    DeleteFileW(path.c_str());
  }
}

TEST_F(PlatformExportTest, ACancelOrAnUnwritableFileFailsAndLeavesNothing) {
  ObjectRef picture = BlockPicture();
  const std::wstring folder = TestFilePath("no-such-folder");
  RemoveDirectoryW(folder.c_str());
  const std::wstring inside = folder + L"\\x.png";
  DialogWatcher::Seen seen;
  // The dialog refuses the folder with a box of its own; both are cancelled.
  EXPECT_FALSE(ExportAs(picture, inside, &seen, 1500));
  EXPECT_FALSE(FileExists(inside));
  EXPECT_EQ(ThePlatformMediaBackend().LiveHandles(), 0u);

  // A file the encoder cannot open for writing.
  const std::wstring locked = TestFilePath("locked.png");
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  QtComponent importer = nullptr;
  ASSERT_EQ(backend.OpenDefaultComponent(FourCharCode("grip"), FourCharCode("PICT"), &importer), 0);
  QtHandle pict = PictureToQuickTimePicture(picture.get());
  ASSERT_NE(pict, nullptr);
  QtHandle data = backend.NewHandle(backend.HandleSize(pict) + 512);
  std::memset(*data, 0, 512);
  std::memcpy(*data + 512, *pict, backend.HandleSize(pict));
  EXPECT_EQ(backend.ImporterSetDataHandle(importer, data), 0);
  EXPECT_NE(backend.ImporterExportImageFile(importer, FourCharCode("PNGf"), 0,
                                            Utf8OfTestPath(locked).c_str()), 0);
  // A format export does not know, and data that is no picture.
  EXPECT_NE(backend.ImporterExportImageFile(importer, FourCharCode("PICT"), 0,
                                            Utf8OfTestPath(TestFilePath("x.pict")).c_str()), 0);
  std::memset(*data + 512, 0, 40);
  EXPECT_NE(backend.ImporterSetDataHandle(importer, data), 0);
  backend.CloseComponent(importer);
  backend.DisposeHandle(data);
  backend.DisposeHandle(pict);
  CloseHandle(holder);
  DeleteFileW(locked.c_str());
}

TEST_F(PlatformExportTest, SaveAsJPEGAndTheDatabaseCodecRoundTripTheBlocks) {
  ObjectRef picture = BlockPicture();
  const std::wstring path = TestFilePath("saved.jpg");
  DeleteFileW(path.c_str());
  SaveAsJPEG(picture, path);
  EXPECT_LE(LargestDifference(path), kJPEGBound);
  EXPECT_GE(LargestDifference(path), 0);
  DeleteFileW(path.c_str());

  StringRef bytes;
  ASSERT_TRUE(EncodeJPEGThroughFile(picture.get(), bytes.out()));
  ASSERT_GT(StringLength(bytes.get()), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(StringData(bytes.get())), 3), "\xFF\xD8\xFF");
  ObjectRef decoded = ObjectRef::Adopt(DecodeJPEGThroughFile(bytes.get()));
  const int largest = LargestDifference(NativeOf(decoded));
  EXPECT_GE(largest, 0);
  EXPECT_LE(largest, kJPEGBound);
}

// Pixels an encoder is handed: 16 x 16 of a pixel format no converter
// knows, or of 32-bit BGR whose copy fails.
class RefusedPixels : public IWICBitmapSource {
 public:
  explicit RefusedPixels(bool knownFormat) : knownFormat_(knownFormat) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IWICBitmapSource ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    *width = *height = 16;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    static const GUID kUnknown = {0x6b760000, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    *format = knownFormat_ ? GUID_WICPixelFormat32bppBGR : kUnknown;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    *x = *y = 72;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override {
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect*, UINT, UINT, BYTE*) override {
    return E_FAIL;
  }

 private:
  bool knownFormat_;
};

// An encoding that fails over a file already there leaves that file as it
// was and nothing beside it, whatever the format; one that succeeds
// replaces it.
TEST_F(PlatformExportTest, AFailedEncodingLeavesTheFileThatWasThere) {
  ScratchFolder folder(L"kvexport-");
  ASSERT_TRUE(folder.made());
  ComRef<IWICImagingFactory> factory;
  ASSERT_TRUE(MakeImagingFactory(&factory));
  for (const ImageFileFormat& format : kImageFileFormats) {
    const std::wstring path = folder.File(std::wstring(L"old.") + format.extension);
    const std::string old = "the picture that was there";
    WriteWholeFile(path, old);
    const std::vector<std::wstring> names = FolderNames(folder.path());
    for (const bool knownFormat : {false, true}) {
      RefusedPixels pixels(knownFormat);
      EXPECT_FALSE(EncodeImageFile(factory.get(), &pixels, format, path.c_str(), 0, 0));
      EXPECT_EQ(ReadWholeFile(path), old) << format.extension << " " << knownFormat;
      EXPECT_EQ(FolderNames(folder.path()), names) << format.extension << " " << knownFormat;
    }
    ObjectRef picture = BlockPicture();
    EXPECT_TRUE(ExportWithoutDialog(picture, format.fileType, path)) << format.extension;
    EXPECT_LE(LargestDifference(path), format.fileType == FourCharCode("JPEG") ? kJPEGBound
                                       : format.fileType == FourCharCode("GIFf") ? kGIFBound
                                                                                 : 0);
    EXPECT_EQ(FolderNames(folder.path()), names) << format.extension;
  }
}

// A volume of 1 MiB (tests/files/small_volume.sh, named by
// KV_SMALL_VOLUME), filled so that an export's write fails part way.
class ExportSmallVolumeTest : public OnSmallVolume<PlatformExportTest> {
 protected:
  ExportSmallVolumeTest() : OnSmallVolume({L"old.bmp", L"old.jpg", L"ballast.bin"}) {}
};

// Export and SaveAsJPEG of a picture of noise (some 400 KB in either
// format) over a small file, with 60 KB left: room to start, not to end.
TEST_F(ExportSmallVolumeTest, AWriteFailingPartWayLeavesTheFileThatWasThere) {
  ObjectRef picture = NewPicture(320, 320, 32);
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  ASSERT_TRUE(NativeOf(picture)->GetPixels(&depth, &base, &rowBytes));
  uint32_t noise = 12345;
  for (size_t i = 0; i < size_t(rowBytes) * 320; ++i) {
    noise = noise * 1103515245u + 12345u;
    base[i] = uint8_t(noise >> 24);
  }
  const std::string old(3000, 'o');
  const struct {
    const wchar_t* name;
    bool saveAsJPEG;
    const char* magic;
  } rows[] = {{L"old.bmp", false, "BM"}, {L"old.jpg", true, "\xFF\xD8\xFF"}};
  for (const auto& row : rows) {
    const std::wstring path = PathOf(row.name);
    const auto write = [&] {
      if (!row.saveAsJPEG) return ExportWithoutDialog(picture, FourCharCode("BMPf"), path);
      SaveAsJPEG(picture, path);
      return ReadWholeFile(path) != old;
    };
    WriteWholeFile(path, old);
    ULARGE_INTEGER free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(VolumeFolder().c_str(), &free, nullptr, nullptr));
    ASSERT_GT(free.QuadPart, 60000u);
    WriteWholeFile(PathOf(L"ballast.bin"), std::string(size_t(free.QuadPart - 60000), 'b'));
    const std::vector<std::wstring> names = FolderNames(VolumeFolder());
    EXPECT_FALSE(write());
    EXPECT_EQ(ReadWholeFile(path) == old, true);
    EXPECT_EQ(FolderNames(VolumeFolder()), names);
    // With room again the same export replaces it.
    ASSERT_TRUE(DeleteFileW(PathOf(L"ballast.bin").c_str()));
    EXPECT_TRUE(write());
    EXPECT_EQ(ReadWholeFile(path).substr(0, std::strlen(row.magic)), row.magic);
    DeleteFileW(path.c_str());
  }
}

namespace {

// The blocks read from a 24-bit BMP file at the path (deleted again): one
// of 300 dots per inch, or one whose core header holds no resolution.
ObjectRef BlocksReadFromBMP(const std::wstring& bmp, bool coreHeader) {
  const uint32_t rowBytes = kWidth * 3, pixelBytes = rowBytes * kHeight;
  const uint32_t pixelOffset = coreHeader ? 26 : 54;
  std::vector<uint8_t> bytes(pixelOffset + pixelBytes, 0);
  const auto put = [&](size_t at, uint32_t value, size_t size) {
    std::memcpy(&bytes[at], &value, size);
  };
  bytes[0] = 'B', bytes[1] = 'M';
  put(2, uint32_t(bytes.size()), 4), put(10, pixelOffset, 4);
  if (coreHeader) {
    put(14, 12, 4), put(18, kWidth, 2), put(20, kHeight, 2), put(22, 1, 2), put(24, 24, 2);
  } else {
    put(14, 40, 4), put(18, kWidth, 4), put(22, kHeight, 4), put(26, 1, 2), put(28, 24, 2);
    put(34, pixelBytes, 4), put(38, 11811, 4), put(42, 11811, 4);  // 300 dots per inch
  }
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      put(pixelOffset + size_t(kHeight - 1 - y) * rowBytes + 3 * size_t(x), BlockColour(x, y), 3);
    }
  }
  if (!WriteTestBytes(bmp, bytes)) return ObjectRef();
  ObjectRef picture = ObjectRef::Adopt(reinterpret_cast<RuntimeObject*>(
      WrapNativePicture(OpenPictureFile(Utf8OfTestPath(bmp).c_str(), 1))));
  DeleteFileW(bmp.c_str());
  return picture;
}

}  // namespace

// A picture read from a 300 dpi BMP and set to 72 exports at 72: the
// resolution set is what the file carries, whatever the file read had.
TEST_F(PlatformExportTest, TheResolutionSetIsTheOneExportedWhateverTheFileReadHad) {
  ObjectRef picture = BlocksReadFromBMP(TestFilePath("300dpi.bmp"), false);
  ASSERT_TRUE(picture);
  ASSERT_EQ(IntProperty(picture, "HorizontalResolution"), 300);
  SetProperty(picture.get(), "HorizontalResolution", 72);
  SetProperty(picture.get(), "VerticalResolution", 72);
  for (const char* name : {"72.bmp", "72.png", "72.tif", "72.jpg"}) {
    const std::wstring path = TestFilePath(name);
    ASSERT_TRUE(ExportAs(picture, path)) << name;
    EXPECT_NEAR(FileDotsPerInch(path), 72.0, 0.05) << name;
    EXPECT_LE(LargestDifference(path), std::strcmp(name, "72.jpg") == 0 ? kJPEGBound : 0);
    DeleteFileW(path.c_str());
  }
  // SaveAsJPEG, and the codec a JPEG column stores the picture through.
  const std::wstring saved = TestFilePath("saved72.jpg");
  SaveAsJPEG(picture, saved);
  EXPECT_NEAR(FileDotsPerInch(saved), 72.0, 0.05);
  EXPECT_LE(LargestDifference(saved), kJPEGBound);
  DeleteFileW(saved.c_str());
  StringRef column;
  ASSERT_TRUE(EncodeJPEGThroughFile(picture.get(), column.out()));
  const uint8_t* stored = StringData(column.get());
  ASSERT_TRUE(WriteTestBytes(saved, {stored, stored + StringLength(column.get())}));
  EXPECT_NEAR(FileDotsPerInch(saved), 72.0, 0.05);
  DeleteFileW(saved.c_str());
  // 300 set comes out as 300, not the 299 of its pixels per metre cut down.
  SetProperty(picture.get(), "HorizontalResolution", 300);
  SetProperty(picture.get(), "VerticalResolution", 300);
  SaveAsJPEG(picture, saved);
  EXPECT_NEAR(FileDotsPerInch(saved), 300.0, 0.05);
  DeleteFileW(saved.c_str());

  // A file whose header has no room for a resolution reads as 72; the one
  // set afterwards is carried all the same.
  picture = BlocksReadFromBMP(TestFilePath("core.bmp"), true);
  ASSERT_TRUE(picture);
  ASSERT_EQ(IntProperty(picture, "HorizontalResolution"), 72);
  SetProperty(picture.get(), "HorizontalResolution", 150);
  SetProperty(picture.get(), "VerticalResolution", 150);
  SaveAsJPEG(picture, saved);
  EXPECT_NEAR(FileDotsPerInch(saved), 150.0, 0.05);
  EXPECT_LE(LargestDifference(saved), kJPEGBound);
  EXPECT_GE(LargestDifference(saved), 0);
  DeleteFileW(saved.c_str());
}

// Resolutions no file holds export without harm: 72 for one of 0 or less,
// 65,535 above that.
TEST_F(PlatformExportTest, AResolutionNoFileHoldsExportsAsTheNearestOne) {
  ObjectRef picture = BlockPicture();
  const struct {
    int32_t set;
    double file;
  } rows[] = {{-72, 72}, {100000, 65535}};
  for (const auto& row : rows) {
    SetProperty(picture.get(), "HorizontalResolution", row.set);
    SetProperty(picture.get(), "VerticalResolution", row.set);
    for (const char* name : {"far.png", "far.jpg"}) {
      const std::wstring path = TestFilePath(name);
      ASSERT_TRUE(ExportAs(picture, path)) << row.set << " " << name;
      EXPECT_NEAR(FileDotsPerInch(path), row.file, 0.05) << row.set << " " << name;
      DeleteFileW(path.c_str());
    }
  }
  // A native picture holding more (as a file read may give) saves as much
  // as JPEG holds.
  NativeOf(picture)->SetHResolution(100000);
  NativeOf(picture)->SetVResolution(100000);
  const std::wstring saved = TestFilePath("far-saved.jpg");
  SaveAsJPEG(picture, saved);
  EXPECT_NEAR(FileDotsPerInch(saved), 65535.0, 0.05);
  DeleteFileW(saved.c_str());
}

// Pictures of every depth export to every format, and SaveAsJPEG and the
// JPEG codec of database values store them: the encoders take few pixel
// formats, so the pixels are converted to one they take.
TEST_F(PlatformExportTest, EveryDepthExportsToEveryFormat) {
  const struct {
    uint32_t type;
    const char* name;
    int bound;
  } formats[] = {{FourCharCode("BMPf"), "depth.bmp", 0},
                 {FourCharCode("PNGf"), "depth.png", 0},
                 {FourCharCode("JPEG"), "depth.jpg", kJPEGBound},
                 {FourCharCode("TIFF"), "depth.tif", 0},
                 {FourCharCode("GIFf"), "depth.gif", kGIFBound}};
  for (const int32_t depth : {1, 4, 8, 16, 24, 32}) {
    ObjectRef picture = BlockPicture(depth, GreyBlockColour);
    ASSERT_EQ(LargestDifference(NativeOf(picture), GreyBlockColour), 0) << depth;
    for (const auto& format : formats) {
      const std::wstring path = TestFilePath(format.name);
      EXPECT_TRUE(ExportWithoutDialog(picture, format.type, path)) << depth << " " << format.name;
      const int difference = LargestDifference(path, GreyBlockColour);
      EXPECT_GE(difference, 0) << depth << " " << format.name;
      EXPECT_LE(difference, format.bound) << depth << " " << format.name;
      DeleteFileW(path.c_str());
    }
    const std::wstring saved = TestFilePath("depth-saved.jpg");
    SaveAsJPEG(picture, saved);
    const int savedDifference = LargestDifference(saved, GreyBlockColour);
    EXPECT_GE(savedDifference, 0) << depth;
    EXPECT_LE(savedDifference, kJPEGBound) << depth;
    DeleteFileW(saved.c_str());
    StringRef bytes;
    EXPECT_TRUE(EncodeJPEGThroughFile(picture.get(), bytes.out())) << depth;
    ObjectRef decoded = ObjectRef::Adopt(DecodeJPEGThroughFile(bytes.get()));
    const int stored = LargestDifference(NativeOf(decoded), GreyBlockColour);
    EXPECT_GE(stored, 0) << depth;
    EXPECT_LE(stored, kJPEGBound) << depth;
  }
}

// SaveAsJPEG and the JPEG codec name a new file each time: the path of each
// is let go once written, and one never used once the next is named.
TEST_F(PlatformExportTest, NoTargetPathStaysInMemory) {
  ObjectRef picture = BlockPicture();
  ObjectRef vector = NewPicture(10, 10, 0);  // no image: the path is never used
  for (int i = 0; i < 20; ++i) {
    const std::wstring path = TestFilePath("held-" + std::to_string(i) + ".jpg");
    SaveAsJPEG(i % 2 ? picture : vector, path);
    EXPECT_EQ(FileExists(path), i % 2 == 1) << i;
    EXPECT_EQ(HeldQuickTimeFileSpecs(), i % 2 ? 0u : 1u) << i;
    DeleteFileW(path.c_str());
    StringRef bytes;
    EXPECT_TRUE(EncodeJPEGThroughFile(picture.get(), bytes.out()));
    EXPECT_EQ(HeldQuickTimeFileSpecs(), 0u) << i;
  }
}
