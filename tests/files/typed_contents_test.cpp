// Typed file contents: sounds by their headers, picture files checked by
// their bytes and GDI's loaders, and the QuickTime and styled-text paths
// through the recording media slots (or none).
#include "FilesTestSupport.h"
#include "files/FolderItemImpWin32.h"
#include "files/PictureFileWriter.h"
#include "files/TypedContents.h"
#include "files/Win32FileCalls.h"
#include "files/runFolderItem.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "testsupport/FakeMediaSlots.h"
#include "testsupport/FakeQuickTime.h"

namespace {

class TypedContentsTest : public FilesTest {
 protected:
  std::unique_ptr<FolderItemImpWin32> Item(const std::wstring& name) {
    return FolderItemImpWin32FromPath(Utf8Of(PathOf(name)), false, false, nullptr);
  }
  // A white picture with one red pixel at (10, 5).
  ObjectRef RedDotPicture(int32_t depth) {
    ObjectRef picture = ObjectRef::Adopt(newPicture(100, 50, depth));
    auto* native = static_cast<BitmapPicture*>(ObjectFields<PictureObject>(picture.get())->nativePicture);
    uint32_t token = 0;
    SetPixel(native->AcquireMemoryDC(&token), 10, 5, RGB(255, 0, 0));
    native->ReleaseMemoryDC(token);
    native->PixelsChanged();
    return picture;
  }
  std::vector<std::string> Listing(const std::wstring& folder) {
    std::vector<FoundEntry> entries;
    FindAllEntries(Utf8Of(folder) + "\\*", &entries);
    std::vector<std::string> names;
    for (const FoundEntry& entry : entries) {
      if (entry.name[0] != '.') names.push_back(entry.name);
    }
    return names;
  }
};

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF color = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return color;
}

uint32_t Little32(const std::string& bytes, size_t at) {
  return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 | uint8_t(bytes[at + 2]) << 16 |
         uint32_t(uint8_t(bytes[at + 3])) << 24;
}

// A Win32 item whose stream is the one given.
class ItemOnStream : public FolderItemImpWin32 {
 public:
  ItemOnStream(const std::string& path, FileStream* stream)
      : FolderItemImpWin32(path, false), stream_(stream) {}
  FileStream* OpenStream(bool, bool) override { return stream_.release(); }

 private:
  FileStreamPtr stream_;
};

class LengthUnknown : public MemoryFileStream {
 public:
  using MemoryFileStream::MemoryFileStream;
  int32_t GetLength() override { return -1; }
};

TEST_F(TypedContentsTest, SoundsAreKnownByTheirFirstBytes) {
  const std::pair<std::string, bool> mp3Headers[] = {
      {"ID3\x04", true},          {"\xFF\xFB\x90\x64", true},   // tag; MPEG-1 layer III
      {"\xFF\xDB\x90\x64", false},                              // sync bits broken
      {"\xFF\xEB\x90\x64", false}, {"\xFF\xF9\x90\x64", false},  // version, layer reserved
      {"\xFF\xFB\x00\x64", false}, {"\xFF\xFB\xF0\x64", false},  // bit rate free or bad
      {"\xFF\xFB\x9C\x64", false}, {"\xFF\xFB\x90\x66", false},  // sampling rate, emphasis
  };
  for (const auto& [header, mp3] : mp3Headers) {
    EXPECT_EQ(HeaderIsMP3(reinterpret_cast<const uint8_t*>(header.data())), mp3) << header;
  }

  std::string wave = "RIFF" + std::string(996, '\0');
  for (size_t i = 4; i < wave.size(); ++i) wave[i] = char(i * 7);
  WriteWholeFile(PathOf(L"a.wav"), wave);
  WriteWholeFile(PathOf(L"a.mid"), "MThd\0\0\0\6");
  WriteWholeFile(PathOf(L"a.txt"), "hello");
  const MediaSlots started = InstallMediaSlots(MediaSlots{});
  EXPECT_EQ(Item(L"a.wav")->OpenAsSound(), nullptr);  // no media slots
  InstallMediaSlots(started);

  FakeMediaSlots media;
  ObjectRef midi = ObjectRef::Adopt(Item(L"a.mid")->OpenAsSound());
  ASSERT_NE(FakeMediaSlots::SoundOf(midi.get()), nullptr);
  EXPECT_EQ(FakeMediaSlots::SoundOf(midi.get())->data, nullptr);
  EXPECT_EQ(Item(L"a.txt")->OpenAsSound(), nullptr);

  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(PathString(L"a.wav").get()));
  const int32_t references = item->refCount;
  ObjectRef sound = ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsSound"));
  const FakeMediaSlots::Sound* fields = FakeMediaSlots::SoundOf(sound.get());
  ASSERT_NE(fields, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(fields->data), size_t(fields->length)), wave);
  EXPECT_EQ(fields->item, item.get());
  EXPECT_EQ(item->refCount, references + 1);

  auto shortRead = new MemoryFileStream(wave);
  shortRead->faults.readChunk = 100;
  shortRead->faults.read = MemoryFileStream::ReadFault::kDeliversNothing;
  shortRead->faults.readFaultFrom = 500;
  const std::string wavePath = Utf8Of(PathOf(L"a.wav"));
  EXPECT_EQ(ItemOnStream(wavePath, shortRead).OpenAsSound(), nullptr);
  EXPECT_EQ(ItemOnStream(wavePath, new LengthUnknown(wave)).OpenAsSound(), nullptr);
}

TEST_F(TypedContentsTest, PicturesAreWrittenAsBMPWindowsAndEnhancedMetafiles) {
  ObjectRef picture = RedDotPicture(24);
  EXPECT_EQ(Item(L"pic")->OpenAsPicture(2), nullptr);
  EXPECT_EQ(TakeExceptionMessage(GetUnsupportedFormatExceptionClassDefinition()),
            "OpenAsPicture doesn't support format 2 in Windows");
  EXPECT_FALSE(Item(L"pic")->SaveAsPicture(picture.get(), 5));
  EXPECT_EQ(TakeExceptionMessage(GetUnsupportedFormatExceptionClassDefinition()),
            "SaveAsPicture doesn't support format 5 in Windows.");
  EXPECT_FALSE(Item(L"pic")->SaveAsPicture(nullptr, 0));
  EXPECT_EQ(TakeExceptionMessage(GetNilObjectExceptionClassDefinition()), "");

  for (const auto& [depth, pixelOffset] : {std::pair{24, 54u}, {32, 54u}, {8, 1078u}}) {
    ObjectRef dotted = RedDotPicture(depth);
    auto item = Item(L"pic");
    ASSERT_TRUE(item->SaveAsPicture(dotted.get(), 0)) << depth;
    ASSERT_TRUE(item->SaveAsPicture(dotted.get(), 0)) << depth;
    EXPECT_EQ(item->Path(), Utf8Of(PathOf(L"pic.bmp")));
    const std::string bytes = ReadWholeFile(PathOf(L"pic.bmp"));
    EXPECT_EQ(Little32(bytes, 2), bytes.size());
    EXPECT_EQ(Little32(bytes, 10), pixelOffset);
    HBITMAP loaded = static_cast<HBITMAP>(LoadImageW(nullptr, PathOf(L"pic.bmp").c_str(), IMAGE_BITMAP,
                                                     0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(loaded, nullptr);
    auto* native = static_cast<BitmapPicture*>(ObjectFields<PictureObject>(dotted.get())->nativePicture);
    EXPECT_EQ(PixelOf(loaded, 10, 5), PixelOf(native->Bitmap(), 10, 5)) << depth;
    EXPECT_EQ(PixelOf(loaded, 11, 5), RGB(255, 255, 255));
    DeleteObject(loaded);
  }

  auto item = Item(L"pic");
  ASSERT_TRUE(item->SaveAsPicture(picture.get(), 300));
  EXPECT_EQ(ReadWholeFile(PathOf(L"pic.wmf")).substr(0, 4), std::string("\1\0\11\0", 4));
  HMETAFILE metafile = GetMetaFileW(PathOf(L"pic.wmf").c_str());
  EXPECT_NE(metafile, nullptr);
  DeleteMetaFile(metafile);
  ASSERT_TRUE(item->SaveAsPicture(picture.get(), 301));
  HENHMETAFILE enhanced = GetEnhMetaFileW(PathOf(L"pic.emf").c_str());
  ENHMETAHEADER header{};
  ASSERT_TRUE(GetEnhMetaFileHeader(enhanced, sizeof header, &header));
  DeleteEnhMetaFile(enhanced);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(header.rclFrame.right, 100 * GetDeviceCaps(screen, HORZSIZE) * 100 / GetDeviceCaps(screen, HORZRES));
  EXPECT_EQ(header.rclFrame.bottom, 50 * GetDeviceCaps(screen, VERTSIZE) * 100 / GetDeviceCaps(screen, VERTRES));
  ReleaseDC(nullptr, screen);

  CreateDirectoryW(PathOf(L"my.dir").c_str(), nullptr);
  ASSERT_TRUE(Item(L"my.dir\\picture")->SaveAsPicture(picture.get(), 0));
  EXPECT_EQ(Listing(PathOf(L"my.dir")), std::vector<std::string>{"picture.bmp"});
}

TEST_F(TypedContentsTest, AFailedSaveLeavesTheOldFileAndNoOther) {
  ObjectRef picture = RedDotPicture(24);
  WriteWholeFile(PathOf(L"pic.bmp"), "the old picture");
  const PictureFileWriteCall previous =
      SetPictureFileWriteCall([](HANDLE, const void*, uint32_t) { return false; });
  EXPECT_FALSE(Item(L"pic")->SaveAsPicture(picture.get(), 0));
  SetPictureFileWriteCall(previous);
  EXPECT_FALSE(Item(L"missing\\pic")->SaveAsPicture(picture.get(), 0));
  EXPECT_EQ(ReadWholeFile(PathOf(L"pic.bmp")), "the old picture");
  EXPECT_EQ(Listing(Folder()), std::vector<std::string>{"pic.bmp"});
}

TEST_F(TypedContentsTest, QuickTimeAndStyledTextGoThroughTheMediaSlots) {
  AbsentQuickTime absent;
  ObjectRef picture = RedDotPicture(24);
  auto item = Item(L"photo");
  EXPECT_FALSE(item->SaveAsJPEG(picture.get()));
  EXPECT_EQ(item->Path(), Utf8Of(PathOf(L"photo")));
  EXPECT_EQ(item->OpenAsMovie(), nullptr);
  EXPECT_EQ(item->ImportPicture(), nullptr);
  EXPECT_FALSE(item->OpenStyledEditField(picture.get()));
  EXPECT_TRUE(Listing(Folder()).empty());

  FakeMediaSlots media;
  EXPECT_TRUE(item->SaveAsJPEG(picture.get()));
  const std::string jpeg = Utf8Of(PathOf(L"photo.jpg"));
  EXPECT_EQ(item->Path(), jpeg);
  EXPECT_EQ(media.importerData, std::string(512, '\0') + media.pict);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"fileSpecOfPath " + jpeg, "newHandle 9",
                                                   "newHandle 521", "openDefaultComponent grip PICT",
                                                   "exportImageFile JPEG 0 -1", "closeComponent"}));
  EXPECT_TRUE(media.handles.empty());
  StringRef bytes;
  media.calls.clear();
  ASSERT_TRUE(EncodeJPEGThroughFile(picture.get(), bytes.out()));
  EXPECT_EQ(StringBytes(bytes.get()), media.exported);
  // The codec's files are gone: its temporary file, the JPEG it became and
  // anything else named after them. Other programs' files in the shared
  // temporary folder come and go meanwhile, so only these are looked for.
  ASSERT_FALSE(media.calls.empty());
  const std::string spec = "fileSpecOfPath ";
  ASSERT_EQ(media.calls.front().compare(0, spec.size(), spec), 0);
  const std::string written = media.calls.front().substr(spec.size());
  const std::string folder = Utf8Of(TempFolder());
  ASSERT_EQ(written.compare(0, folder.size(), folder), 0) << written;
  const std::string name = written.substr(folder.size());  // the folder ends in '\\'
  const std::string stem = name.substr(0, name.rfind('.'));
  for (const std::string& left : Listing(TempFolder())) {
    EXPECT_NE(left.compare(0, stem.size(), stem), 0) << left << " is left of " << name;
  }
  media.exportAnswer = -50;
  EXPECT_FALSE(item->SaveAsJPEG(picture.get()));

  media.calls.clear();
  EXPECT_TRUE(item->OpenStyledEditField(picture.get()));
  media.styledTextAnswer = ERROR_FILE_NOT_FOUND;
  EXPECT_FALSE(item->SaveStyledEditField(picture.get()));
  EXPECT_EQ(item->mLastError, 101);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"loadStyledText " + jpeg, "saveStyledText " + jpeg}));
}

}  // namespace
