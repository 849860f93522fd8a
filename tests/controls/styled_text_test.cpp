// Styled text: the style record's bytes and the RTF depth check on their
// own, then records and RTF files through an edit field in a window,
// including failing disks and hostile files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/editfield/EditField.h"
#include "controls/editfield/StyleRecord.h"
#include "controls/editfield/StyledText.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "files/FolderItemImpWin32.h"
#include "files/runFolderItem.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/StyledTextFakes.h"
#include "testsupport/UiTestSupport.h"
#include "ui/WinUtil.h"

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

TEST(RtfReaderLimits, CountGroupsAsTheReaderReadsThemAndRefuseOverLongWords) {
  auto nested = [](int depth, const std::string& inner = "x") {
    return std::string("{\\rtf1 ") + std::string(size_t(depth - 1), '{') + inner +
           std::string(size_t(depth - 1), '}') + "}";
  };
  const std::string braces31(31, '{');
  const std::string braces32(32, '{');
  auto word = [](const std::string& letters, const std::string& number) {
    return "{\\rtf1 a\\" + letters + number + " b}";
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
      {"not RTF", "{\\RTF" + std::string(100, '{'), true},
      // A \bin payload nests as the reader reads it: as RTF.
      {"payload of 32 braces", "{\\rtf1 \\bin32 " + braces32 + "x}", false},
      {"payload of 31 braces", "{\\rtf1 \\bin31 " + braces31 + "x}", true},
      {"payload shorter than its braces", "{\\rtf1 \\bin1 " + braces32 + "x}", false},
      {"payload longer than its braces", "{\\rtf1 \\bin99 " + braces32 + "x}", false},
      {"payload past the end", "{\\rtf1 {\\bin2147483647 " + braces31, false},
      {"payload at the end, within", "{\\rtf1 \\bin100 {{{", true},
      {"nested payloads", "{\\rtf1 \\bin40 \\bin20 " + braces32 + "}", false},
      {"payload closing its groups", "{\\rtf1 {\\bin4 }}}}" + braces31 + "}", true},
      // Control words: letters, sign and digits count together.
      {"2,000 digits", word("fs", std::string(2000, '7')), false},
      {"255 characters", word("fs", std::string(253, '7')), true},
      {"256 characters", word("fs", std::string(254, '7')), false},
      {"256 with a sign", word("fs", "-" + std::string(253, '7')), false},
      {"256 letters", word(std::string(256, 'q'), ""), false},
      {"word at the end", "{\\rtf1 \\" + std::string(300, 'q'), false},
      {"long text", "{\\rtf1 " + std::string(5000, 'a') + " " + std::string(5000, '9') + "}",
       true},
      {"long escaped text", "{\\rtf1 " + std::string(3000, '\\') + "}", true},
  };
  for (const Case& c : cases) {
    GuardedBuffer bytes(BytesOf(c.rtf));
    EXPECT_EQ(RtfWithinReaderLimits(bytes.data(), bytes.size(), kMaxRtfDepth), c.within)
        << c.name;
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
      {"binary payload of braces", "{\\rtf1 \\bin32 " + std::string(32, '{') + "x}", true},
      {"number of 2,000 digits", "{\\rtf1 a\\fs" + std::string(2000, '9') + " b}", true},
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
  // Long text that is no control word loads whole.
  const std::string words = std::string(3000, 'w') + " " + std::string(3000, '8');
  WriteFileBytes(L"long.rtf", "{\\rtf1 " + words + "}");
  EXPECT_EQ(EditPaneOf(field)->LoadStyledText(WideText(PathOf(L"long.rtf")).get()), 0u);
  EXPECT_EQ(Read(field, "Text"), words);
  TakeLog();
}

bool TookException(ObjectDefinition* definition) {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  return exception && ObjectIsADefinition(exception.get(), definition);
}

// Style record allocations: each size asked for, and nil while failing.
struct RecordAllocations {
  static inline std::vector<uint32_t> asked;
  static inline bool failing = false;
  static StringRecord* Allocate(uint32_t bytes) {
    asked.push_back(bytes);
    return failing ? nullptr : NewStringWithRoomOrNull(bytes, kEncodingNone);
  }
  RecordAllocations() : previous(SetStyleRecordAllocator(Allocate)) { asked.clear(); }
  ~RecordAllocations() {
    SetStyleRecordAllocator(previous);
    failing = false;
  }
  StyleRecordAllocator previous;
};

TEST_F(StyledTextTest, StyleDataIsBinarySizedAsWrittenAndShortMemoryIsAnError) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  // Colour bytes C3 A9 would read as one UTF-8 character.
  std::vector<StyleEntry> entries;
  for (int i = 0; i < 1000; ++i) {
    entries.push_back(i % 100 < 50 ? Entry(0, "Arial", 12, 0xC3, 0xA9, 0)
                                   : Entry(kStyleBold, "Courier New", 9));
  }
  const std::string record = Record(entries);
  SetTextAndStyle(field, std::string(1000, 'x'), record);
  StringRef data = StringRef::Adopt(GetProperty<StringRecord*>(field, "TextStyleData"));
  EXPECT_EQ(StringBytes(data.get()), record);
  EXPECT_EQ(StringEncoding(data.get()), kEncodingNone);
  EXPECT_EQ(StringLen(data.get()), int32_t(record.size()));
  RecordAllocations allocations;
  EXPECT_EQ(Read(field, "TextStyleData"), record);
  EXPECT_EQ(allocations.asked, std::vector<uint32_t>{uint32_t(record.size())});

  SetProperty<int32_t>(field, "SelStart", 5);
  SetProperty<int32_t>(field, "SelLength", 2);
  RecordAllocations::failing = true;
  StringRef failed = StringRef::Adopt(GetProperty<StringRecord*>(field, "TextStyleData"));
  EXPECT_EQ(StringLength(failed.get()), 0u);
  EXPECT_TRUE(TookException(GetOutOfMemoryExceptionClassDefinition()));
  EXPECT_EQ(GetProperty<int32_t>(field, "SelStart"), 5);
  EXPECT_EQ(GetProperty<int32_t>(field, "SelLength"), 2);
  RecordAllocations::failing = false;
  EXPECT_EQ(Read(field, "TextStyleData"), record);
  EXPECT_EQ(RuntimeTakePendingException(), nullptr);
}

TEST_F(StyledTextTest, ReadingTextAndStylesRaisesNoEventAndKeepsTheSelection) {
  std::vector<ControlDescription> fields = StyledFields();
  fields[0].plain = false;  // every event logged
  ControlTestWindow window(fields);
  RuntimeObject* field = window.Control("Field1");
  const std::string mixed = Record(MixedEntries());
  SetTextAndStyle(field, "abcdef", mixed);
  SetProperty<int32_t>(field, "SelStart", 1);
  SetProperty<int32_t>(field, "SelLength", 3);
  TakeLog();
  EXPECT_EQ(Read(field, "TextStyleData"), mixed);
  EXPECT_EQ(Read(field, "Text"), "abcdef");
  EXPECT_EQ(TakeLog(), std::vector<std::string>{});
  EXPECT_EQ(GetProperty<int32_t>(field, "SelStart"), 1);
  EXPECT_EQ(GetProperty<int32_t>(field, "SelLength"), 3);
}

// ---- The A line's rich-edit 1.0 control and kernel ----

// On the A line the field's control answers as the 1.0 class does: it has no
// EM_GETTEXTLENGTHEX, so that message answers 0. On NT nothing changes.
class LineOwnControl {
 public:
  explicit LineOwnControl(HWND window) : window_(window) {
    if (IsWindowsNT()) return;
    below_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
  }
  ~LineOwnControl() {
    if (below_) SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(below_));
    below_ = nullptr;
  }
  LineOwnControl(const LineOwnControl&) = delete;
  LineOwnControl& operator=(const LineOwnControl&) = delete;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == EM_GETTEXTLENGTHEX) return 0;
    return CallWindowProcA(below_, window, message, wParam, lParam);
  }
  HWND window_;
  static inline WNDPROC below_ = nullptr;
};

// The A line's kernel has the wide file calls as stubs failing with
// ERROR_CALL_NOT_IMPLEMENTED, and no MoveFileExA: while this lives on the A
// line, the executable's imports of them answer so. On NT nothing changes.
class LineOwnKernel {
 public:
  LineOwnKernel() {
    if (IsWindowsNT()) return;
    Patch("GetTempFileNameW", reinterpret_cast<void*>(&TempNameStub));
    Patch("MoveFileExW", reinterpret_cast<void*>(&MoveStubW));
    Patch("MoveFileExA", reinterpret_cast<void*>(&MoveStubA));
  }
  ~LineOwnKernel() {
    for (const auto& [slot, original] : patched_) Write(slot, original);
  }
  LineOwnKernel(const LineOwnKernel&) = delete;
  LineOwnKernel& operator=(const LineOwnKernel&) = delete;
  size_t Patched() const { return patched_.size(); }

 private:
  static UINT WINAPI TempNameStub(LPCWSTR, LPCWSTR, UINT, LPWSTR) { return Missing(); }
  static BOOL WINAPI MoveStubW(LPCWSTR, LPCWSTR, DWORD) { return Missing(); }
  static BOOL WINAPI MoveStubA(LPCSTR, LPCSTR, DWORD) { return Missing(); }
  static BOOL Missing() {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  static void Write(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
  }
  void Patch(const char* name, void* stub) {
    void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             base + imports.VirtualAddress);
         library->Name; ++library) {
      for (auto** slot = reinterpret_cast<void**>(base + library->FirstThunk); *slot; ++slot) {
        if (*slot != real) continue;
        patched_.emplace_back(slot, real);
        Write(slot, stub);
      }
    }
  }
  std::vector<std::pair<void**, void*>> patched_;
};

class StyledTextBothLines : public StyledTextTest {};

TEST_F(StyledTextBothLines, RecordsAndPositionsFollowTheLinesOwnControl) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* field = window.Control("Field1");
  LineOwnControl control(EditPaneOf(field)->NativeWindow());
  const std::string mixed = Record(MixedEntries());
  SetTextAndStyle(field, "abcdef", mixed);
  EXPECT_EQ(Read(field, "TextStyleData"), mixed);
  // Bytes past the last character repeat the format at the end.
  SetTextAndStyle(field, "\xC3\xA9", Record({Entry(kStyleItalic, "Arial", 9)}));
  EXPECT_EQ(Read(field, "TextStyleData"),
            Record({Entry(kStyleItalic, "Arial", 9), Entry(kStyleItalic, "Arial", 9)}));
  SetTextAndStyle(field, "abc", "");
  EXPECT_EQ(CallMethod<int32_t>(field, "CharPosAtLineNum", int32_t(5)), 4);
}

TEST_F(StyledTextBothLines, SavesNewAndExistingTargetsWithTheLinesOwnFileCalls) {
  ControlTestWindow window(StyledFields());
  RuntimeObject* source = window.Control("Field1");
  RuntimeObject* target = window.Control("Field2");
  LineOwnKernel kernel;
  EXPECT_EQ(kernel.Patched() != 0, !IsWindowsNT());
  const std::string style = Record({Entry(kStyleBold, "Arial", 12), Entry(0, "Arial", 12)});
  SetTextAndStyle(source, "ok", style);
  const StringRef path = WideText(PathOf(L"saved.rtf"));
  for (int round = 0; round < 2; ++round) {  // a new target, then over it
    EXPECT_EQ(EditPaneOf(source)->SaveStyledText(path.get()), 0u) << round;
    EXPECT_EQ(Listing(), std::vector<std::wstring>{L"saved.rtf"}) << round;
    EXPECT_EQ(EditPaneOf(target)->LoadStyledText(path.get()), 0u) << round;
    EXPECT_EQ(Read(target, "Text"), "ok") << round;
    EXPECT_EQ(Read(target, "TextStyleData"), style) << round;
    SetTextAndStyle(source, "ok", style);
  }
  {
    FailingStyledTextFiles failing(0, 1);
    EXPECT_EQ(EditPaneOf(source)->SaveStyledText(path.get()), uint32_t(ERROR_WRITE_FAULT));
  }
  EXPECT_EQ(Listing(), std::vector<std::wstring>{L"saved.rtf"});
  EXPECT_EQ(EditPaneOf(target)->LoadStyledText(path.get()), 0u);
  EXPECT_EQ(Read(target, "TextStyleData"), style);
}

}  // namespace
