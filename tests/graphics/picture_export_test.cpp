// Picture export: the nil picture, the file layer's road without QuickTime
// (through stand-ins of its dialog and writer), and QuickTime's importer and
// exporter over the fake backend, each failing step leaving nothing behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "graphics/GlobalMemory.h"
#include "graphics/PictureExport.h"
#include "files/runFolderItem.h"
#include "testsupport/FakeExportHooks.h"
#include "testsupport/ImageFileWriter.h"
#include "testsupport/FakeQuickTime.h"
#include "testsupport/PropertyAccess.h"

namespace {

class PictureExportTest : public PictureTest {};

std::string PackedDIBBytes(NativePicture* picture) {
  GlobalBlock dib(picture->ExportPackedDIB());
  GlobalLockScope locked(dib.get());
  return std::string(reinterpret_cast<const char*>(locked.data()), locked.size());
}

}  // namespace

TEST_F(PictureExportTest, ANilPictureLeavesNilObjectExceptionPending) {
  FakeExportHooks hooks;
  EXPECT_FALSE(exportPicture(nullptr));
  EXPECT_EQ(TakePendingExceptionClass(), "NilObjectException");
  EXPECT_EQ(hooks.dialogs, 0);
}

TEST_F(PictureExportTest, WithoutQuickTimeTheFileLayerWritesABMP) {
  AbsentQuickTime absent;
  FakeExportHooks hooks;
  ObjectRef picture = NewPicture(4, 3, 32);
  EXPECT_FALSE(exportPicture(picture.get()));  // cancelled
  EXPECT_EQ(hooks.title, "Export Image As:");
  EXPECT_EQ(hooks.suggestedName, "Untitled Image.bmp");
  EXPECT_EQ(hooks.writesAsked, 0);

  ObjectRef item = NewPicture(1, 1, 32);  // any object stands for the chosen item
  hooks.chosenItem = item.get();
  EXPECT_TRUE(exportPicture(picture.get()));
  EXPECT_EQ(hooks.writtenPicture, picture.get());
  EXPECT_EQ(hooks.writtenFormat, 0);
  hooks.writes = false;
  EXPECT_FALSE(exportPicture(picture.get()));
  EXPECT_EQ(PictureToQuickTimePicture(picture.get()), nullptr);
}

TEST_F(PictureExportTest, TheStartUpWriterSavesTheChosenItemAsABMP) {
  const PictureExportHooks installed = SetPictureExportHooks(PictureExportHooks());
  SetPictureExportHooks(installed);
  ASSERT_TRUE(installed.runSaveDialog && installed.saveAsPicture);
  const std::wstring path = TestFilePath("exported.bmp");
  DeleteFileW(path.c_str());
  StringRef text = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(path).c_str()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  ObjectRef picture = NewPicture(4, 3, 24);
  ASSERT_TRUE(installed.saveAsPicture(item.get(), picture.get(), 0));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char magic[2] = {};
  DWORD got = 0;
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ReadFile(file, magic, 2, &got, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(magic, 2), "BM");
}

TEST_F(PictureExportTest, QuickTimesImporterWritesThePictureFile) {
  FakeQuickTime quickTime;
  FakeExportHooks hooks;
  ObjectRef picture = NewPicture(4, 3, 32);
  PaintWhole(picture, 0x336699);
  // The importer is handed the resolution set (72 included); any other
  // than 72 is written again through the exporter.
  const std::vector<std::string> imported = {"grip PICT", "setData", "dialog",
                                             "write PNGf C:\\exported.png"};
  std::vector<std::string> exportedAgain = imported;
  exportedAgain.insert(exportedAgain.end(), {"grex PNGf", "setInput", "resolution",
                                             "output C:\\exported.png", "export"});
  for (const int32_t dpi : {72, 144}) {
    NativeOf(picture)->SetHResolution(dpi);
    NativeOf(picture)->SetVResolution(dpi);
    quickTime.exportCalls.clear();
    quickTime.resolution[0] = quickTime.resolution[1] = 0;
    ASSERT_TRUE(exportPicture(picture.get()));
    EXPECT_EQ(quickTime.exportCalls, dpi == 72 ? imported : exportedAgain);
    EXPECT_EQ(quickTime.importerData, std::string(512, '\0') + PackedDIBBytes(NativeOf(picture)));
    EXPECT_EQ(quickTime.resolution[0], dpi == 72 ? 0 : dpi << 16);
    EXPECT_EQ(quickTime.resolution[1], dpi == 72 ? 0 : dpi << 16);
    EXPECT_EQ(quickTime.openComponents, 0);
    EXPECT_EQ(quickTime.liveHandles, 0);
    EXPECT_EQ(hooks.dialogs, 0);
  }

  // A vector picture has no image to hand over.
  ObjectRef vector = NewPicture(10, 10, 0);
  EXPECT_FALSE(exportPicture(vector.get()));
}

TEST_F(PictureExportTest, EveryFailingStepLeavesTheCountsBalanced) {
  FakeQuickTime quickTime;
  ObjectRef picture = NewPicture(4, 3, 32);
  NativeOf(picture)->SetHResolution(144);
  // Steps up to the file's writing fail the export; the exporter's only
  // lose the resolution.
  const std::pair<const char*, bool> steps[] = {
      {"pictureHandle", false}, {"grip", false},     {"setData", false},   {"dialog", false},
      {"write", false},         {"grex", true},      {"setInput", true},   {"resolution", true},
      {"output", true},         {"export", true}};
  for (const auto& [step, exported] : steps) {
    quickTime.failing = step;
    EXPECT_EQ(exportPicture(picture.get()), exported) << step;
    EXPECT_EQ(quickTime.openComponents, 0) << step;
    EXPECT_EQ(quickTime.liveHandles, 0) << step;
  }
}

// The resolution setters take any Integer and keep what a file holds: 72 for
// 0 or less, 65,535 above. Export keeps to that range whatever the native
// picture holds (a file read may hold more), giving the exporter unsigned
// 16.16 figures (65,535 fills all 32 bits); the vertical resolution stays
// off 72 so that the exporter runs for every row.
TEST_F(PictureExportTest, AnyResolutionExportsAsOneAFileHolds) {
  FakeQuickTime quickTime;
  FakeExportHooks hooks;
  ObjectRef picture = NewPicture(4, 3, 32);
  const struct {
    int32_t set;
    int32_t file;
  } rows[] = {{-1, 72}, {-72, 72}, {0, 72}, {INT32_MIN, 72}, {1, 1}, {40000, 40000},
              {65535, 65535}, {65536, 65535}, {100000, 65535}, {INT32_MAX, 65535}};
  const auto exported = [&](int32_t file) {
    quickTime.exportCalls.clear();
    quickTime.resolution[0] = quickTime.resolution[1] = 0;
    ASSERT_TRUE(exportPicture(picture.get()));
    EXPECT_EQ(quickTime.exportCalls.size(), 9u);
    EXPECT_EQ(uint32_t(quickTime.resolution[0]), uint32_t(file) << 16);
    EXPECT_EQ(uint32_t(quickTime.resolution[1]), 144u << 16);
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.set);
    SetProperty(picture.get(), "HorizontalResolution", row.set);
    SetProperty(picture.get(), "VerticalResolution", 144);
    EXPECT_EQ(IntProperty(picture, "HorizontalResolution"), row.file);
    exported(row.file);
    NativeOf(picture)->SetHResolution(row.set);
    exported(row.file);
  }
}

// A picture read from a 300 dpi file and set to 72 hands the importer a
// packed DIB stating 72, though the picture keeps the file's header.
TEST_F(PictureExportTest, TheImporterIsHandedTheResolutionSetNotTheFiles) {
  FakeQuickTime quickTime;
  GlobalBlock read = GlobalBlock::Allocate(40 + 4);
  {
    GlobalLockScope locked(read.get());
    std::memset(locked.data(), 0, locked.size());
    const uint32_t fields[] = {40, 1, 1, 1 | (24u << 16), 0, 4, 11811, 11811};
    std::memcpy(locked.data(), fields, sizeof fields);
  }
  ObjectRef picture = ObjectRef::Adopt(reinterpret_cast<RuntimeObject*>(
      WrapNativePicture(PackedDIBPicture::Create(read.get()))));
  ASSERT_TRUE(picture);
  NativeOf(picture)->SetHResolution(72);
  NativeOf(picture)->SetVResolution(150);
  QtHandle handle = PictureToQuickTimePicture(picture.get());
  ASSERT_TRUE(handle);
  std::string handed(*handle, quickTime.HandleSize(handle));
  quickTime.DisposeHandle(handle);
  std::string kept = PackedDIBBytes(NativeOf(picture));
  int32_t handedPerMetre[2], keptPerMetre[2];
  std::memcpy(handedPerMetre, &handed[24], 8);
  std::memcpy(keptPerMetre, &kept[24], 8);
  EXPECT_EQ(handedPerMetre[0], 2835);
  EXPECT_EQ(handedPerMetre[1], 5906);
  EXPECT_EQ(keptPerMetre[0], 11811);
  handed.replace(24, 8, kept, 24, 8);
  EXPECT_EQ(handed, kept);
}
