// Save info: its bytes, its relative paths, round trips through the
// FolderItem class, and hostile data.
#include <vector>

#include "FilesTestSupport.h"
#include "files/FolderItemImpWin32.h"
#include "files/SaveInfo.h"
#include "files/runFolderItem.h"
#include "testsupport/GuardedBuffer.h"

namespace {

ObjectRef Adopt(RuntimeObject* object) { return ObjectRef::Adopt(object); }

std::string PathText(RuntimeObject* item) {
  return Take(GetProperty<StringRecord*>(item, "AbsolutePath")).bytes;
}

StringRef SaveInfoOf(RuntimeObject* item, RuntimeObject* base, int32_t mode) {
  return StringRef::Adopt(CallMethod<StringRecord*>(item, "GetSaveInfo", base, mode));
}

using SaveInfoTest = FilesTest;

}  // namespace

TEST(SaveInfoPathsTest, RelativePathsLeadFromTheBaseFolderAndBack) {
  const struct {
    SaveInfoPlace base;
    const char* item;
    bool itemIsFolder;
    const char* relative;
  } cases[] = {
      {{"C:\\a\\", true}, "C:\\a\\b\\f.txt", false, "b\\f.txt"},
      {{"C:\\a\\c\\", true}, "C:\\a\\b\\f.txt", false, "..\\b\\f.txt"},
      {{"C:\\A\\c\\x.txt", false}, "C:\\a\\b\\f.txt", false, "..\\b\\f.txt"},
      {{"C:\\a\\b\\c\\", true}, "C:\\a\\b", true, ".."},
      // The base folder itself, reached from its parent.
      {{"C:\\a\\", true}, "C:\\a", true, "..\\a"},
      {{"Z:\\a\\", true}, "C:\\a\\f.txt", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RelativeSaveInfoPath(c.base, c.item, c.itemIsFolder), c.relative) << c.item;
    const std::string back = ResolveSaveInfoPath(c.relative, c.base);
    EXPECT_TRUE(!*c.relative || _stricmp(back.c_str(), c.item) == 0) << back;
  }
  EXPECT_EQ(ResolveSaveInfoPath("..\\..\\..\\x", {"C:\\a\\", true}), "");
}

TEST_F(SaveInfoTest, DataFindsFilesFoldersAndDrivesAgain) {
  StringRef info;
  FolderItemImpWin32("C:\\x", false).GetSaveInfo(info.out(), nullptr, 2);
  EXPECT_EQ(StringBytes(info.get()),
            Bytes({0x00, 0xF1, 0xD1, 0x73, 0x01, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04,
                   0x43, 0x3A, 0x5C, 0x78, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x04,
                   0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

  WriteWholeFile(PathOf(L"f.txt"), "f");
  WriteWholeFile(PathOf(L"\u00e9t\u00e9 \u20ac.txt"), "e");
  CreateDirectoryW(PathOf(L"dir").c_str(), nullptr);
  for (const std::string& path : {Utf8Of(PathOf(L"f.txt")), Utf8Of(PathOf(L"dir")),
                                  Utf8Of(PathOf(L"\u00e9t\u00e9 \u20ac.txt")), std::string("C:")}) {
    ObjectRef item = Adopt(RuntimeGetFolderItem(StringRef::Adopt(StringFromUTF8(path)).get()));
    ObjectRef back = Adopt(RuntimeGetFolderItem(SaveInfoOf(item.get(), nullptr, 0).get()));
    ASSERT_TRUE(back) << path;
    EXPECT_EQ(PathText(back.get()), PathText(item.get()));
  }

  // Item on C:, base on Z:: the relative record is empty and the absolute
  // path finds the item, not the base folder.
  ASSERT_EQ(Utf8Of(Folder()).substr(0, 2), "C:");
  ObjectRef base = Adopt(RuntimeGetFolderItem(StringRef::Adopt(StringFromASCII("Z:\\tmp")).get()));
  ObjectRef item = Adopt(RuntimeGetFolderItem(PathString(L"f.txt").get()));
  ObjectRef back = Adopt(FolderItemGetRelative(base.get(), SaveInfoOf(item.get(), base.get(), 0).get()));
  ASSERT_TRUE(back);
  EXPECT_EQ(PathText(back.get()), Utf8Of(PathOf(L"f.txt")));
}

TEST(SaveInfoDataTest, HostileDataGivesNilOrAnItemNeverAFault) {
  const std::string prefix = Bytes({0x00, 0xF1, 0xD1, 0x73, 0x01, 0x02});
  const std::string path = Bytes({1, 0, 0, 0, 0, 4}) + "C:\\x";
  const struct {
    std::string data;
    bool item;
  } cases[] = {
      {prefix.substr(0, 5), false},
      {prefix.substr(0, 5) + "\x07", false},
      {prefix + path + Bytes({3, 0, 0}), true},
      {prefix + Bytes({1, 0, 0xFF, 0xFF, 0xFF, 0xFF}) + "C:\\x", false},
      {prefix + Bytes({1, 0, 0, 0, 0, 5}) + "C:\\x", false},
      {prefix + Bytes({7, 0, 0, 0, 0, 1, 9}) + path + Bytes({3, 0, 0, 0, 0, 0}), true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    GuardedBuffer data(std::vector<uint8_t>(cases[i].data.begin(), cases[i].data.end()));
    auto item = FolderItemImpWin32FromSaveInfo(data.data(), data.size(), nullptr);
    ASSERT_EQ(item != nullptr, cases[i].item) << i;
    const std::string found = item ? item->Path() + (item->IsVolumeRoot() ? " root" : "") : "";
    EXPECT_TRUE(!item || found == "C:\\x") << i << found;
  }
}
