// File types, four-character codes, dialog filters and extension changes.
#include <gtest/gtest.h>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/FileTypes.h"
#include "host/relocentry.h"

namespace {

class FileTypesTest : public ::testing::Test {
 protected:
  void SetUp() override { ForgetFileTypes(); }
  void TearDown() override { ForgetFileTypes(); }
};

StringRef Utf8(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

}  // namespace

TEST_F(FileTypesTest, TheBestMatchingTypeNamesAFileAndTheFirstTypeMatchesWeakly) {
  EXPECT_EQ(FileTypeNameForFile("photo.jpg"), "");
  using Register = void (*)(StringRecord*, StringRecord*, StringRecord*, StringRecord*);
  auto enter = reinterpret_cast<Register>(LookupEntryPoint("RuntimeRegisterFileType"));
  ASSERT_NE(enter, nullptr);
  enter(Utf8("Text").get(), Utf8("TEXT").get(), Utf8("").get(), Utf8(".txt;.text").get());
  enter(Utf8("Image").get(), Utf8("").get(), Utf8("").get(), Utf8(".png;.jpg").get());
  EXPECT_EQ(FileTypeNameForFile("C:\\photo.JPG"), "Image");
  EXPECT_EQ(FileTypeNameForFile("notes.txt"), "Text");
  EXPECT_EQ(FileTypeNameForFile("data.bin"), "Text");

  std::string filter = "unchanged";
  std::string extension = "unchanged";
  BuildFileDialogFilter("text", &filter, &extension);
  EXPECT_EQ(filter, std::string("text\0*.txt;*.text\0\0\0", 20));
  EXPECT_EQ(extension, "txt");
  const std::string finished("All\0*.*\0\0", 9);
  BuildFileDialogFilter(finished, &filter, &extension);
  EXPECT_EQ(filter, finished);
}

TEST_F(FileTypesTest, CodesTakeTheFirstFourBytesOfTheTextFirstByteHighest) {
  const struct {
    const char* text;
    uint32_t code;
  } cases[] = {{"", 0x3F3F3F3F}, {"ab", 0x61622020}, {"fold", 0x666F6C64}, {"TEXTX", 0x54455854}};
  using ToCode = uint32_t (*)(StringRecord*);
  auto entry = reinterpret_cast<ToCode>(LookupEntryPoint("StringToOSType"));
  ASSERT_NE(entry, nullptr);
  for (const auto& c : cases) {
    StringRef text = StringRef::Adopt(StringToUTF16(Utf8(c.text).get()));
    const std::string before = StringBytes(text.get());
    EXPECT_EQ(entry(text.get()), c.code) << c.text;
    EXPECT_EQ(StringBytes(text.get()), before);
    EXPECT_EQ(StringEncoding(text.get()), uint32_t(kEncodingUTF16));
    EXPECT_EQ(FourCharCodeOfBytes(BytesOfFourCharCode(c.code)), c.code);
  }
  EXPECT_NE(LookupEntryPoint("RuntimeShowURL"), nullptr);
  EXPECT_NE(LookupEntryPoint("GlobalShowURL"), nullptr);
}

TEST_F(FileTypesTest, AnExtensionChangesInTheNameOnlyAndAPathIsNeverCut) {
  const struct {
    std::string path;
    const char* list;
    ExtensionChange result;
    std::string after;
  } cases[] = {
      {"C:\\my.dir\\picture", "bmp", ExtensionChange::kChanged, "C:\\my.dir\\picture.bmp"},
      {"picture.png", "bmp", ExtensionChange::kChanged, "picture.bmp"},
      {"picture.JPE", "jpg;jpeg;jpe", ExtensionChange::kUnchanged, "picture.JPE"},
      {"C:\\" + std::string(1017, 'p'), "bmp", ExtensionChange::kRefused,
       "C:\\" + std::string(1017, 'p')},
      {"C:\\" + std::string(1016, 'p'), "bmp", ExtensionChange::kChanged,
       "C:\\" + std::string(1016, 'p') + ".bmp"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    std::string extension = "bmp";
    EXPECT_EQ(ChangeFileExtension(&path, c.list, &extension, 1024), c.result) << c.path;
    EXPECT_EQ(path, c.after);
  }
  std::string path = "x.png";
  std::string empty;
  EXPECT_EQ(ChangeFileExtension(&path, "bmp", &empty, 1024), ExtensionChange::kUnchanged);
}
