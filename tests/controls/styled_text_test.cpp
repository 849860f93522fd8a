// Styled text: the style record's bytes and the RTF depth check on their
// own, then records and RTF files through an edit field in a window,
// including failing disks and hostile files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/EditField.h"
#include "controls/StyleRecord.h"
#include "controls/StyledText.h"
#include "core/string.h"
#include "files/FolderItemImpWin32.h"
#include "files/runFolderItem.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/StyledTextFakes.h"
#include "testsupport/UiTestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

StyleEntry Entry(uint8_t styles, const std::string& face, uint8_t size, uint8_t red = 0,
                 uint8_t green = 0, uint8_t blue = 0) {
  StyleEntry entry;
  entry.styles = styles;
  entry.face = face;
  entry.size = size;
  entry.red = red;
  entry.green = green;
  entry.blue = blue;
  return entry;
}

std::string Record(const std::vector<StyleEntry>& entries) {
  StyleRecordWriter writer;
  for (const StyleEntry& entry : entries) writer.Append(entry);
  return writer.Bytes();
}

std::vector<StyleEntry> ReadAll(const uint8_t* bytes, size_t length) {
  StyleRecordReader reader(bytes, length);
  std::vector<StyleEntry> entries;
  StyleEntry entry;
  while (reader.Next(&entry)) entries.push_back(entry);
  return entries;
}

// Three faces, sizes 9, 12 and 24, colours and every style flag.
std::vector<StyleEntry> MixedEntries() {
  return {Entry(0, "MS Sans Serif", 12),
          Entry(kStyleBold, "Arial", 9, 255, 0, 0),
          Entry(kStyleBold | kStyleItalic, "Arial", 9, 255, 0, 0),
          Entry(kStyleUnderline, "Courier New", 24, 0, 0, 255),
          Entry(kStyleBold | kStyleItalic | kStyleUnderline, "Courier New", 24),
          Entry(0, "MS Sans Serif", 12, 0, 128, 0)};
}

// ---- The codec and the depth check: bytes only ----

TEST(StyleRecordCodec, WritesTheDocumentedBytesAndReadsThemBack) {
  const std::string arial = std::string("\x00\x0C\x08\x05", 4) + "Arial" + "\x0C";
  struct Case {
    const char* name;
    std::vector<StyleEntry> entries;
    std::string bytes;
  } cases[] = {
      {"two plain letters", {Entry(0, "MS Sans Serif", 12), Entry(0, "ms sans serif", 12)},
       std::string("\x00\x0C\x00\x0C", 4)},
      {"second in Arial", {Entry(0, "MS Sans Serif", 12), Entry(0, "Arial", 12)}, arial},
      {"one red letter", {Entry(0, "MS Sans Serif", 12, 255, 0, 0)},
       std::string("\x10\xFF\x00\x00\x0C", 5)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Record(c.entries), c.bytes) << c.name;
  }
  const std::string mixed = Record(MixedEntries());
  EXPECT_EQ(ReadAll(reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size()),
            MixedEntries());
}

TEST(StyleRecordCodec, TruncatedRecordsReadOnlyWholeEntriesAndNothingPastTheirEnd) {
  const std::vector<StyleEntry> entries = MixedEntries();
  const std::string mixed = Record(entries);
  for (size_t length = 0; length < mixed.size(); ++length) {
    GuardedBuffer bytes(BytesOf(mixed.substr(0, length)));
    const std::vector<StyleEntry> read = ReadAll(bytes.data(), bytes.size());
    // The entries read are the first ones of the whole record.
    ASSERT_LT(read.size(), entries.size()) << length;
    EXPECT_EQ(read, std::vector<StyleEntry>(entries.begin(), entries.begin() + read.size()))
        << length;
  }
  // A name longer than a face holds is cut to 31 bytes; the next entry is
  // still found after all of it.
  std::string longName = std::string("\x08\xFF", 2) + std::string(255, 'n') + "\x0C";
  longName += std::string("\x01\x09", 2);
  GuardedBuffer bytes(BytesOf(longName));
  const std::vector<StyleEntry> read = ReadAll(bytes.data(), bytes.size());
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].face, std::string(31, 'n'));
  EXPECT_EQ(read[1], Entry(kStyleBold, std::string(31, 'n'), 9));
}

TEST(RtfNesting, CountsGroupsButNotEscapedBracesOrBinaryPayloads) {
  auto nested = [](int depth, const std::string& inner = "x") {
    return std::string("{\\rtf1 ") + std::string(size_t(depth - 1), '{') + inner +
           std::string(size_t(depth - 1), '}') + "}";
  };
  struct Case {
    const char* name;
    std::string rtf;
    bool within;
  } cases[] = {
      {"depth 32", nested(32), true},
      {"depth 33", nested(33), false},
      {"100,000 open groups", "{\\rtf1 " + std::string(100000, '{'), false},
      {"escaped braces", nested(32, "\\{\\{\\{\\\\"), true},
      {"binary payload", "{\\rtf1 {\\bin40 " + std::string(40, '{') + "}}", true},
      {"huge binary count", "{\\rtf1 {\\bin2147483647 {{{{", true},
      {"not RTF", "{\\RTF" + std::string(100, '{'), true},
  };
  for (const Case& c : cases) {
    GuardedBuffer bytes(BytesOf(c.rtf));
    EXPECT_EQ(RtfNestingWithin(bytes.data(), bytes.size(), kMaxRtfDepth), c.within) << c.name;
  }
}

TEST(StyledTextClass, RtfStringReadsEmptyDropsWhatItIsGivenAndReportsNil) {
  ObjectRef styled = ObjectRef::Adopt(CreateInstance(GetStyledTextClassDefinition()));
  SetProperty<StringRecord*>(styled.get(), "RTFString",
                             StringRef::Adopt(StringFromUTF8("{\\rtf1 x}")).get());
  StringRef read = StringRef::Adopt(GetProperty<StringRecord*>(styled.get(), "RTFString"));
  EXPECT_EQ(StringBytes(read.get()), "");
  RuntimeTestEnvironment::TakeRecordedTexts();
  StringRef nilRead = StringRef::Adopt(StyledTextRTFStringGetter(nullptr));
  StyledTextRTFStringSetter(nullptr, 0, nullptr);
  EXPECT_EQ(StringBytes(nilRead.get()), "");
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts().size(), 2u);
}

// ---- Through a field ----

class StyledTextTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    wchar_t temp[MAX_PATH + 1];
    folder_ = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + L"styled_text_" +
              std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::wstring& name : Listing()) DeleteFileW((folder_ + L"\\" + name).c_str());
    RemoveDirectoryW(folder_.c_str());
    WindowSystemTest::TearDown();
  }

  std::wstring PathOf(const std::wstring& name) const { return folder_ + L"\\" + name; }
  std::vector<std::wstring> Listing() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if (found.cFileName[0] != L'.') names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }
  void WriteFileBytes(const std::wstring& name, const std::string& bytes) const {
    HANDLE file = CreateFileW(PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }

  std::wstring folder_;
};

StringRef Utf8Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

StringRef WideText(const std::wstring& text) {
  return StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(text.data()), int32_t(text.size())));
}

std::string Read(RuntimeObject* field, const char* property) {
  StringRef text = StringRef::Adopt(GetProperty<StringRecord*>(field, property));
  return StringBytes(text.get());
}

void SetTextAndStyle(RuntimeObject* field, const std::string& text, const std::string& style) {
  CallMethod(field, "SetTextAndStyle", Utf8Text(text).get(),
             StringRef::Adopt(NewString(style.data(), style.size(), kEncodingUTF8)).get());
}

RichEditPane* EditPaneOf(RuntimeObject* field) {
  return dynamic_cast<RichEditPane*>(ControlFields(field)->pane);
}

std::vector<ControlDescription> StyledFields() {
  auto styled = [](const char* name, int top) {
    ControlDescription description =
        Described(GetEditFieldClassDefinition(), name, Rect(10, top, 260, 60));
    description.plain = true;
    description.prepare = [](RuntimeObject* field) {
      SetProperty<uint8_t>(field, "Styled", 1);
      SetProperty<uint8_t>(field, "MultiLine", 1);
      SetProperty<int32_t>(field, "LimitText", 0);
    };
    return description;
  };
  return {styled("Field1", 10), styled("Field2", 80)};
}

TEST_F(StyledTextTest, AMixedRecordRoundTripsByteForByteAndAnEmptyOneResets) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  const std::string mixed = Record(MixedEntries());
  SetTextAndStyle(field, "abcdef", mixed);
  EXPECT_EQ(Read(field, "Text"), "abcdef");
  EXPECT_EQ(Read(field, "TextStyleData"), mixed);
  // A UTF-8 text of more bytes than characters repeats the last format.
  SetTextAndStyle(field, "\xC3\xA9", Record({Entry(kStyleBold, "Arial", 9)}));
  EXPECT_EQ(Read(field, "TextStyleData"),
            Record({Entry(kStyleBold, "Arial", 9), Entry(kStyleBold, "Arial", 9)}));

  SetTextAndStyle(field, "ab", "");
  const std::string reset = Read(field, "TextStyleData");
  const std::vector<StyleEntry> entries =
      ReadAll(reinterpret_cast<const uint8_t*>(reset.data()), reset.size());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].face, "MS Sans Serif");
  EXPECT_EQ(entries[0].styles, 0);
  EXPECT_EQ(entries[0], entries[1]);
}

TEST_F(StyledTextTest, ABoldArialRunSavedUnderAUnicodeNameLoadsTheSame) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* source = window.Control("Field1");
  RuntimeObject* target = window.Control("Field2");
  const std::string style = Record({Entry(0, "MS Sans Serif", 12), Entry(kStyleBold, "Arial", 12),
                                    Entry(kStyleBold, "Arial", 12), Entry(0, "Arial", 12, 255, 0, 0)});
  SetTextAndStyle(source, "Grin", style);
  const std::wstring path = PathOf(L"Gr\u00FC\u00DFe \u65E5\u672C.rtf");
  EXPECT_EQ(EditPaneOf(source)->SaveStyledText(WideText(path).get()), 0u);
  EXPECT_EQ(Listing(), std::vector<std::wstring>{L"Gr\u00FC\u00DFe \u65E5\u672C.rtf"});
  EXPECT_EQ(EditPaneOf(target)->LoadStyledText(WideText(path).get()), 0u);
  EXPECT_EQ(Read(target, "Text"), "Grin");
  EXPECT_EQ(Read(target, "TextStyleData"), style);
  EXPECT_EQ(EditPaneOf(target)->LoadStyledText(WideText(PathOf(L"missing.rtf")).get()),
            uint32_t(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read(target, "Text"), "Grin");
}

TEST_F(StyledTextTest, FilesThatAreNotLowerCaseRtfLoadAsPlainText) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  for (const std::string& bytes : {std::string("{\\RTF1 {\\b x}}"), std::string("{\\rt"),
                                   std::string(" {\\rtf1 x}")}) {
    WriteFileBytes(L"plain.txt", bytes);
    EXPECT_EQ(EditPaneOf(field)->LoadStyledText(WideText(PathOf(L"plain.txt")).get()), 0u) << bytes;
    EXPECT_EQ(Read(field, "Text"), bytes);
  }
}

TEST_F(StyledTextTest, AFailedSaveKeepsTheOldTargetAndAFailedLoadTheField) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  SetTextAndStyle(field, "kept", "");
  WriteFileBytes(L"target.rtf", "old contents");
  {
    FailingStyledTextFiles failing(0, 1);
    EXPECT_EQ(EditPaneOf(field)->SaveStyledText(WideText(PathOf(L"target.rtf")).get()),
              uint32_t(ERROR_WRITE_FAULT));
  }
  EXPECT_EQ(Listing(), std::vector<std::wstring>{L"target.rtf"});
  {
    FailingStyledTextFiles failing(1, 0);
    EXPECT_EQ(EditPaneOf(field)->LoadStyledText(WideText(PathOf(L"target.rtf")).get()),
              uint32_t(ERROR_READ_FAULT));
  }
  EXPECT_EQ(Read(field, "Text"), "kept");
  EXPECT_EQ(EditPaneOf(field)->LoadStyledText(WideText(PathOf(L"target.rtf")).get()), 0u);
  EXPECT_EQ(Read(field, "Text"), "old contents");
}

TEST_F(StyledTextTest, FolderItemsSaveAndOpenFieldsThroughTheFieldsFiles) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* source = window.Control("Field1");
  RuntimeObject* target = window.Control("Field2");
  const std::string style = Record({Entry(kStyleItalic, "Arial", 12), Entry(0, "Arial", 12)});
  SetTextAndStyle(source, "ok", style);
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(WideText(PathOf(L"item.rtf")).get()));
  CallMethod(item.get(), "SaveStyledEditField", source);
  CallMethod(item.get(), "OpenStyledEditField", target);
  EXPECT_EQ(Read(target, "Text"), "ok");
  EXPECT_EQ(Read(target, "TextStyleData"), style);
  ObjectRef missing =
      ObjectRef::Adopt(RuntimeGetFolderItem(WideText(PathOf(L"missing.rtf")).get()));
  CallMethod(missing.get(), "OpenStyledEditField", target);
  EXPECT_EQ(GetProperty<int32_t>(missing.get(), "LastErrorCode"),
            FolderItemErrorOfWin32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read(target, "Text"), "ok");
}

TEST_F(StyledTextTest, HostileRtfLoadsOrIsRefusedWithoutACrash) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  auto nested = [](int depth) {
    return std::string("{\\rtf1 ") + std::string(size_t(depth - 1), '{') + "deep" +
           std::string(size_t(depth - 1), '}') + "}";
  };
  struct Case {
    const char* name;
    std::string rtf;
    bool refused;
  } cases[] = {
      {"depth 32", nested(32), false},
      {"depth 33", nested(33), true},
      {"100,000 open groups", "{\\rtf1 " + std::string(100000, '{') + "x", true},
      {"huge binary", "{\\rtf1 a\\bin2147483647 xyz}", false},
      {"extreme unicode", "{\\rtf1 \\u2147483647 ? \\u-2147483648 ? b}", false},
      {"extreme size", "{\\rtf1 \\fs2147483647 c\\fs-5 d}", false},
      {"extreme colour", "{\\rtf1 {\\colortbl;\\red255;}\\cf2147483647 e\\cf-1 f}", false},
      {"extreme font", "{\\rtf1 {\\fonttbl{\\f0 Arial;}}\\f2147483647 g\\f-9 h}", false},
      {"unterminated", "{\\rtf1 {\\b bold {\\i more", false},
  };
  for (const Case& c : cases) {
    SetTextAndStyle(field, "before", "");
    WriteFileBytes(L"hostile.rtf", c.rtf);
    const uint32_t answer = EditPaneOf(field)->LoadStyledText(WideText(PathOf(L"hostile.rtf")).get());
    if (c.refused) {
      EXPECT_EQ(answer, uint32_t(ERROR_INVALID_DATA)) << c.name;
      EXPECT_EQ(Read(field, "Text"), "before") << c.name;
    } else {
      EXPECT_TRUE(answer == 0 || answer == ERROR_INVALID_DATA) << c.name << " " << answer;
    }
  }
  TakeLog();
}

}  // namespace
