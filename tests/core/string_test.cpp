// The string record: counting, construction, combining, slicing, searching,
// fields, comparing, case, captions and line endings.
#include "core/string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/RuntimeArrayFoundation.h"
#include "core/SmartRef.h"
#include "core/utility.h"

namespace {

using namespace std::string_literals;

StringRef Make(const std::string& bytes, uint32_t encoding = kEncodingASCII) {
  return StringRef::Adopt(NewString(bytes, encoding));
}
StringRef Utf8(const std::string& text) { return Make(text, kEncodingUTF8); }
StringRef ShiftJIS(const std::string& bytes) { return Make(bytes, kEncodingShiftJIS); }
std::string Bytes(const StringRef& string) { return StringBytes(string.get()); }
std::string Bytes(StringRecord* owned) { return Bytes(StringRef::Adopt(owned)); }

// Every test leaves as many strings alive as it found.
class StringTest : public testing::Test {
 protected:
  void SetUp() override { live_ = RuntimeLiveStringCount(); }
  void TearDown() override { EXPECT_EQ(RuntimeLiveStringCount(), live_) << "strings leaked"; }

 private:
  uint32_t live_ = 0;
};

// A literal as the image's data block holds it: count 0, never freed.
struct StaticString {
  uint8_t buffer[5] = {3, 'a', 'b', 'c', 0};
  StringRecord record{0, buffer, 3, 3, kEncodingASCII};
};

using StringRecordTest = StringTest;

TEST_F(StringRecordTest, LengthByteCapsAt255AndBufferEndsInNul) {
  for (int length : {0, 254, 255, 256, 300}) {
    std::string text(size_t(length), 'x');
    StringRef string;
    StringFromBytes(string.out(), text.data(), length);
    EXPECT_EQ(string->length, uint32_t(length));
    EXPECT_EQ(string->buffer[0], length < 255 ? length : 255) << length;
    EXPECT_EQ(string->buffer[length + 1], 0);
    EXPECT_EQ(string->encoding, kEncodingASCII);
  }
}

// A string made from bytes owns a buffer of exactly its length plus the
// length byte and the closing zero, whatever the recycled block held before;
// compiled code may free that buffer and put any other block in its place,
// and the string's release frees both.
TEST_F(StringRecordTest, MadeStringsOwnAnExactBufferThatMayBeReplaced) {
  const uint64_t before = RuntimeLiveBytes();
  for (uint32_t length : {0u, 1u, 3u, 4u, 6u, 7u, 30u, 63u, 64u, 65u, 246u, 247u, 300u}) {
    StringRecordRelease(NewString(std::string(length + 5, '\xEE'), kEncodingASCII));
    StringRecordRelease(NewString(std::string(length, 'x'), kEncodingASCII));
    std::string text(length, 'q');
    for (uint32_t i = 0; i < length; ++i) text[i] = char('a' + i % 26);
    StringRef string = Make(text, kEncodingUTF8);
    EXPECT_EQ(Bytes(string), text);
    EXPECT_EQ(string->refCount, 1);
    EXPECT_EQ(string->capacity, length);
    EXPECT_EQ(string->encoding, kEncodingUTF8);
    EXPECT_EQ(string->buffer[0], length < 255 ? length : 255);
    EXPECT_EQ(string->buffer[length + 1], 0) << length;
    EXPECT_EQ(RuntimeBlockSize(string->buffer), length + 2);
  }
  EXPECT_EQ(RuntimeLiveBytes(), before);
  for (uint32_t replacement : {3u, 40u, 5000u}) {
    StringRef string = Make("short");
    RuntimeFree(string->buffer);
    string->buffer = static_cast<uint8_t*>(RuntimeAlloc(replacement + 2));
    string->capacity = string->length = replacement;
    std::memset(string->buffer + 1, 'r', replacement);
    EXPECT_EQ(Bytes(string), std::string(replacement, 'r'));
  }
  EXPECT_EQ(RuntimeLiveBytes(), before);
}

TEST_F(StringRecordTest, NulBytesSurviveStringFromBytes) {
  const char bytes[] = {'a', 0, 'b', 0};
  StringRef string;
  StringFromBytes(string.out(), bytes, 4);
  EXPECT_EQ(Bytes(string), std::string(bytes, 4));
  EXPECT_EQ(StringLen(string.get()), 4);
  // A negative count makes an empty string, not a huge one.
  StringFromBytes(string.out(), bytes, -1);
  EXPECT_EQ(string->length, 0u);
}

TEST_F(StringRecordTest, CountsAndAssignment) {
  StringRef a = Make("text");
  StringRecord* held = nullptr;
  StringAssign(&held, a.get());
  EXPECT_EQ(a->refCount, 2);
  StringAssign(&held, held);  // assigning a variable its own value keeps it
  EXPECT_EQ(a->refCount, 2);
  EXPECT_EQ(StringAddRef(held), held);
  EXPECT_EQ(a->refCount, 3);
  StringRecordRelease(held);
  StringAssign(&held, nullptr);
  EXPECT_EQ(a->refCount, 1);
  RuntimeLockString(nullptr);
  RuntimeUnlockString(nullptr);
  EXPECT_EQ(StringAddRef(nullptr), nullptr);
}

TEST_F(StringRecordTest, StaticStringIsNeverCountedOrFreed) {
  StaticString literal;
  StringRecord* variable = nullptr;
  StringAssign(&variable, &literal.record);
  RuntimeLockString(&literal.record);
  RuntimeUnlockString(&literal.record);
  RuntimeUnlockString(&literal.record);
  EXPECT_EQ(literal.record.refCount, 0);
  // Writing through a variable that holds a literal copies it first.
  StringRef tail = Make("d");
  StringAppend(&variable, tail.get());
  EXPECT_NE(variable, &literal.record);
  EXPECT_EQ(StringBytes(variable), "abcd");
  EXPECT_EQ(StringBytes(&literal.record), "abc");
  StringAssign(&variable, &literal.record);
  StringCStrWritable(&variable)[0] = 'X';
  EXPECT_EQ(StringBytes(variable), "Xbc");
  EXPECT_EQ(StringBytes(&literal.record), "abc");
  StringRecordRelease(variable);
}

TEST_F(StringRecordTest, NullReadsAsEmpty) {
  EXPECT_STREQ(StringCStr(nullptr), "");
  EXPECT_EQ(StringLen(nullptr), 0);
  EXPECT_EQ(StringCompareExact(nullptr, Make("").get()), 0);
  EXPECT_EQ(CountFields(nullptr, Make(",").get()), 0);
  EXPECT_EQ(Bytes(StringUCase(nullptr)), "");
  EXPECT_EQ(StringFind(0, nullptr, Make("a").get(), 0), -1);
}

TEST_F(StringRecordTest, Construction) {
  StringRef allocated;
  StringAllocate(allocated.out(), 3);
  EXPECT_EQ(Bytes(allocated), std::string(3, '\0'));
  EXPECT_EQ(allocated->encoding, kEncodingNone);
  EXPECT_EQ(Bytes(StringFromLong(INT32_MIN)), "-2147483648");
  EXPECT_EQ(Bytes(StringFromLong(0)), "0");
  EXPECT_EQ(Bytes(StringFromHex32(0xBEEF)), "0000BEEF");
  StringRef le = StringRef::Adopt(StringFromUInt16LE(0x1234));
  EXPECT_EQ(Bytes(le), "\x34\x12");
  EXPECT_EQ(UInt16FromBytesLE(le.get()), 0x1234);
  StringRef be = StringRef::Adopt(StringFromUInt32BE(0x89ABCDEF));
  EXPECT_EQ(Bytes(be), "\x89\xAB\xCD\xEF");
  EXPECT_EQ(UInt32FromBytesBE(be.get()), 0x89ABCDEFu);
  EXPECT_EQ(UInt32FromBytesBE(le.get()), 0u);  // too short
  EXPECT_EQ(UInt16FromBytesLE(nullptr), 0);
}

TEST_F(StringRecordTest, ConcatSharesAnEmptySideAndKeepsTheFirstEncoding) {
  StringRef a = Utf8("a\xC3\xA9"), empty = Make("");
  StringRecord* shared = StringConcat(a.get(), empty.get());
  EXPECT_EQ(shared, a.get());
  StringRecordRelease(shared);
  shared = StringConcat(nullptr, a.get());
  EXPECT_EQ(shared, a.get());
  StringRecordRelease(shared);
  StringRef both = StringRef::Adopt(StringConcat(a.get(), Make("b").get()));
  EXPECT_EQ(Bytes(both),
            "a\xC3\xA9"
            "b");
  EXPECT_EQ(both->encoding, kEncodingUTF8);
  EXPECT_EQ(Bytes(StringPlusByte(nullptr, 'z')), "z");
}

TEST_F(StringRecordTest, JoiningTextOfTwoEncodingsLosesNothing) {
  StringRef latin1 = Make("é", kEncodingWindowsLatin1), japanese = Utf8("æ¥");
  StringRef joined = StringRef::Adopt(StringConcat(latin1.get(), japanese.get()));
  EXPECT_EQ(Bytes(joined), "Ã©æ¥");
  EXPECT_EQ(joined->encoding, kEncodingUTF8);
  // Plain ASCII takes the other side's encoding; bytes without one stay bytes.
  joined = StringRef::Adopt(StringConcat(Make("a").get(), japanese.get()));
  EXPECT_EQ(joined->encoding, kEncodingUTF8);
  joined = StringRef::Adopt(StringConcat(Make("ÿ", kEncodingNone).get(), latin1.get()));
  EXPECT_EQ(Bytes(joined), "ÿé");
  StringRecord* variable = nullptr;
  StringAssign(&variable, latin1.get());
  StringAppend(&variable, Make(std::string("!\0", 2), kEncodingUTF16).get());
  EXPECT_EQ(variable->encoding, kEncodingUTF16);
  EXPECT_EQ(StringToStdUTF8(variable), "Ã©!");
  EXPECT_EQ(Bytes(latin1), "é");
  StringRecordRelease(variable);
}

TEST_F(StringRecordTest, AppendCopiesASharedStringAndMayAppendItself) {
  StringRef original = Make("ab");
  StringRecord* variable = nullptr;
  StringAssign(&variable, original.get());
  StringAppend(&variable, original.get());
  EXPECT_EQ(StringBytes(variable), "abab");
  EXPECT_EQ(Bytes(original), "ab");
  StringAppend(&variable, variable);
  EXPECT_EQ(StringBytes(variable), "abababab");
  std::string expected = "abababab";
  for (int i = 0; i < 200; ++i) {
    StringAppend(&variable, original.get());
    expected += "ab";
  }
  EXPECT_EQ(StringBytes(variable), expected);
  EXPECT_EQ(variable->buffer[0], 255);
  EXPECT_EQ(variable->buffer[1 + variable->length], 0);
  StringRecordRelease(variable);
}

using StringSliceTest = StringTest;

TEST_F(StringSliceTest, ByteSlicesClampToTheString) {
  StringRef text = Make("hello");
  EXPECT_EQ(Bytes(StringLeftBytes(text.get(), 2)), "he");
  EXPECT_EQ(Bytes(StringLeftBytes(text.get(), -1)), "");
  EXPECT_EQ(Bytes(StringRightBytes(text.get(), 2)), "lo");
  EXPECT_EQ(Bytes(StringRightBytes(text.get(), 99)), "hello");
  EXPECT_EQ(Bytes(StringMidBytes(text.get(), 1, 3)), "ell");
  EXPECT_EQ(Bytes(StringMidBytes(text.get(), 4, INT32_MAX)), "o");
  EXPECT_EQ(Bytes(StringBytesFrom(text.get(), -3)), "hello");
  EXPECT_EQ(Bytes(StringBytesFrom(text.get(), 5)), "");
  // A start at the end or past it gives nothing, whatever the count.
  for (int32_t start : {5, 6, INT32_MAX}) {
    EXPECT_EQ(Bytes(StringMidBytes(text.get(), start, 2)), "") << start;
    EXPECT_EQ(Bytes(StringMidBytes(text.get(), start, INT32_MAX)), "") << start;
    EXPECT_EQ(Bytes(StringBytesFrom(text.get(), start)), "") << start;
  }
  StringRef utf8 = Utf8("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(StringRef::Adopt(StringRightBytes(utf8.get(), 2))->encoding, kEncodingUTF8);
}

TEST_F(StringSliceTest, CharactersFollowTheEncoding) {
  StringRef utf8 = Utf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");  // a é € 😀
  EXPECT_EQ(StringLen(utf8.get()), 4);
  EXPECT_EQ(Bytes(StringLeft(utf8.get(), 3)), "a\xC3\xA9\xE2\x82\xAC");
  StringRef sjis = ShiftJIS(
      "\x83\x5C"
      "a\x93\xFA");  // ソ a 日
  EXPECT_EQ(StringLen(sjis.get()), 3);
  EXPECT_EQ(Bytes(StringLeft(sjis.get(), 1)), "\x83\x5C");
  StringRef truncated = ShiftJIS("a\x93");  // a lead byte without its trail byte
  EXPECT_EQ(StringLen(truncated.get()), 2);
  EXPECT_EQ(StringLen(Make("a\x93").get()), 2);
  EXPECT_EQ(StringLen(Make(std::string("a\0b", 3), kEncodingUTF16).get()), 2);
}

TEST_F(StringSliceTest, DropLastCharacter) {
  EXPECT_EQ(Bytes(StringDropLastCharacter(Utf8("a\xE2\x82\xAC").get())), "a");
  EXPECT_EQ(Bytes(StringDropLastCharacter(Utf8("\x80\x80").get())), "");
  EXPECT_EQ(Bytes(StringDropLastCharacter(Make("ab\x93").get())), "ab");
  EXPECT_EQ(Bytes(StringDropLastCharacter(Make(std::string("a\0b\0", 4), kEncodingUTF16).get())),
            std::string("a\0", 2));
  EXPECT_EQ(Bytes(StringDropLastCharacter(ShiftJIS("a\x93\xFA").get())), "a");
  // A pair of surrogates goes whole; a lone one, or an odd last byte, alone.
  const struct {
    std::string bytes, kept;
  } utf16[] = {{std::string("a\0\x3D\xD8\x00\xDE", 6), std::string("a\0", 2)},
               {std::string("a\0\x00\xDE", 4), std::string("a\0", 2)},
               {std::string("\x3D\xD8\x3D\xD8", 4), std::string("\x3D\xD8", 2)},
               {std::string("\x00\xDE", 2), ""},
               {std::string("a\0b", 3), std::string("a\0", 2)}};
  for (const auto& c : utf16) {
    EXPECT_EQ(Bytes(StringDropLastCharacter(Make(c.bytes, kEncodingUTF16).get())), c.kept)
        << testing::PrintToString(c.bytes);
  }
  StringRef empty = Utf8("");
  StringRecord* same = StringDropLastCharacter(empty.get());
  EXPECT_EQ(same, empty.get());
  StringRecordRelease(same);
}

using StringSearchTest = StringTest;

TEST_F(StringSearchTest, FindIgnoresCaseFromAStart) {
  StringRef text = Make("Hello hello");
  StringRef pattern = Make("HELLO");
  EXPECT_EQ(StringFind(0, text.get(), pattern.get(), 0), 0);
  EXPECT_EQ(StringFind(1, text.get(), pattern.get(), 0), 6);
  EXPECT_EQ(StringFind(7, text.get(), pattern.get(), 0), -1);
  EXPECT_EQ(StringFind(-5, text.get(), Make("").get(), 0), 0);
  EXPECT_EQ(StringFind(12, text.get(), Make("").get(), 0), -1);
  EXPECT_EQ(StringFindB(0, text.get(), Make("hello").get()), 6);
  EXPECT_EQ(StringFindB(0, text.get(), Make("HELLO").get()), -1);
  EXPECT_EQ(StringInStr(1, text.get(), pattern.get()), 1);
  EXPECT_EQ(StringInStr(2, text.get(), pattern.get()), 7);
  EXPECT_EQ(StringInStr(0, text.get(), Make("x").get()), 0);
}

TEST_F(StringSearchTest, FindMatchesWholeCharactersOnly) {
  // In Shift-JIS the trail bytes of ソ and ア are '\' and 'A'.
  StringRef sjis = ShiftJIS(
      "\x83\x5C\x83\x41"
      "a\\");
  EXPECT_EQ(StringFind(0, sjis.get(), Make("\\").get(), 0), 5);
  EXPECT_EQ(StringFind(0, sjis.get(), Make("A").get(), 0), 4);
  EXPECT_EQ(CountFields(sjis.get(), Make("\\").get()), 2);
  // Non-ASCII letters fold too, and patterns are read in their own encoding.
  StringRef utf8 = Utf8("caf\xC3\xA9 CAF\xC3\x89");
  EXPECT_EQ(StringFind(1, utf8.get(), Utf8("CAF\xC3\xA9").get(), 0), 6);
  EXPECT_EQ(StringFind(0, utf8.get(), Make("\xC9", kEncodingWindowsLatin1).get(), 0), 3);
}

TEST_F(StringSearchTest, FieldBoundaries) {
  StringRef comma = Make(",");
  EXPECT_EQ(CountFields(Make("").get(), comma.get()), 0);
  EXPECT_EQ(Bytes(NthField(Make("").get(), comma.get(), 1)), "");
  StringRef text = Make("a,b,");
  EXPECT_EQ(CountFields(text.get(), comma.get()), 3);  // a trailing delimiter ends an empty field
  EXPECT_EQ(Bytes(NthField(text.get(), comma.get(), 2)), "b");
  EXPECT_EQ(Bytes(NthField(text.get(), comma.get(), 3)), "");
  EXPECT_EQ(Bytes(NthField(text.get(), comma.get(), 0)), "");
  EXPECT_EQ(Bytes(NthField(text.get(), comma.get(), -1)), "");
  EXPECT_EQ(Bytes(NthField(text.get(), comma.get(), 4)), "");
  StringRef leading = Make(",,c");
  EXPECT_EQ(CountFields(leading.get(), comma.get()), 3);
  EXPECT_EQ(Bytes(NthField(leading.get(), comma.get(), 1)), "");
  EXPECT_EQ(Bytes(NthField(leading.get(), comma.get(), 3)), "c");
  StringRef words = Make("one<>two<>three");
  EXPECT_EQ(Bytes(NthField(words.get(), Make("<>").get(), 3)), "three");
  EXPECT_EQ(CountFields(words.get(), Make("").get()), 1);
}

TEST_F(StringSearchTest, ReplaceAllIgnoresCase) {
  StringRef result;
  ReplaceAll(result.out(), Make("say 'hi' %1 and %1").get(), Make("%1").get(), Make("Bob's").get());
  EXPECT_EQ(Bytes(result), "say 'hi' Bob's and Bob's");
  ReplaceAll(result.out(), Make("AbAB").get(), Make("ab").get(), nullptr);
  EXPECT_EQ(Bytes(result), "");
  // The result variable may hold the source.
  StringRecord* variable = StringFromASCII("x'y");
  ReplaceAll(&variable, variable, Make("'").get(), Make("''").get());
  EXPECT_EQ(StringBytes(variable), "x''y");
  StringRef unchanged = Make("abc");
  ReplaceAll(&variable, unchanged.get(), Make("").get(), Make("z").get());
  EXPECT_EQ(variable, unchanged.get());
  StringRecordRelease(variable);
}

TEST_F(StringSearchTest, SplitKeyValueList) {
  RuntimeArray* keys = nullptr;
  RuntimeArray* values = nullptr;
  EXPECT_EQ(SplitKeyValueList(Make("a=1\r\nnoise\r\nb=2=3\r\n").get(), Make("=").get(),
                              Make("\r\n").get(), &keys, &values),
            2);
  ArrayRef keyArray = ArrayRef::Adopt(keys), valueArray = ArrayRef::Adopt(values);
  ASSERT_EQ(RuntimeUBound(keys), 1);
  EXPECT_EQ(Bytes(StringArrayGetElement(keys, 1)), "b");
  EXPECT_EQ(Bytes(StringArrayGetElement(values, 1)), "2");
  EXPECT_EQ(Bytes(StringArrayGetElement(values, 0)), "1");
  // One line alone makes no list.
  EXPECT_EQ(
      SplitKeyValueList(Make("a=1").get(), Make("=").get(), Make("\r\n").get(), &keys, &values), 0);
  keyArray = ArrayRef::Adopt(keys);
  valueArray = ArrayRef::Adopt(values);
  EXPECT_EQ(RuntimeUBound(keys), -1);
}

TEST_F(StringSearchTest, TrimCaptionsAndLineEndings) {
  EXPECT_EQ(Bytes(StringTrimSpaces(Make(" \t a b\t ").get())), "a b");
  EXPECT_EQ(Bytes(StringTrimSpaces(Make(" \t ").get())), "");
  uint32_t mnemonic = 99;
  EXPECT_EQ(Bytes(CaptionWithoutAmpersands(Make("Save && &Quit").get(), &mnemonic)), "Save & Quit");
  EXPECT_EQ(mnemonic, uint32_t('Q'));
  EXPECT_EQ(Bytes(CaptionWithoutAmpersands(Make("R&&D&").get(), &mnemonic)), "R&D");
  EXPECT_EQ(mnemonic, 0u);
  EXPECT_EQ(Bytes(CaptionWithoutAmpersands(Utf8("&\xC3\xA9t\xC3\xA9").get(), &mnemonic)),
            "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(mnemonic, 0xE9u);
  EXPECT_EQ(Bytes(CaptionWithoutAmpersands(Make("&a&b").get(), nullptr)), "ab");
  EXPECT_EQ(Bytes(RuntimeReplaceLineEndings(Make("a\r\nb\rc\nd\n\r").get(), Make("\r").get())),
            "a\rb\rc\rd\r\r");
}

using StringCompareTest = StringTest;

TEST_F(StringCompareTest, ThreeWayComparisons) {
  EXPECT_LT(StringCompareExact(Make("a").get(), Make("\x80").get()), 0);  // unsigned bytes
  EXPECT_LT(StringCompareExact(Make("ab").get(), Make("abc").get()), 0);
  EXPECT_GT(StringCompareExact(Make("b").get(), Make("B").get()), 0);
  EXPECT_EQ(StringCompareNoCase(Make("MiXeD").get(), Make("mixed").get()), 0);
  EXPECT_GT(StringCompareNoCase(Make("_").get(), Make("a").get()), 0);  // a-z fold to A-Z
  EXPECT_EQ(CStringCompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(CStringCompareNoCase(nullptr, ""), 0);
  EXPECT_EQ(CStringCompareNoCase(nullptr, nullptr), 0);
  EXPECT_GT(CStringCompareNoCase("b", "A"), 0);
}

TEST_F(StringCompareTest, LanguageComparisonReadsEncodings) {
  EXPECT_EQ(RuntimeStringCompare(Utf8("\xC3\xA9t\xC3\xA9").get(),
                                 Make("\xC9T\xC9", kEncodingWindowsLatin1).get()),
            0);
  EXPECT_LT(RuntimeStringCompare(Utf8("a").get(), Utf8("\xC3\xA9").get()), 0);
  EXPECT_EQ(RuntimeStringCompare(Make("abc").get(), Make("A\0B\0C\0"s, kEncodingUTF16).get()), 0);
  EXPECT_GT(RuntimeStringCompare(Utf8("\xD0\xB1").get(), Utf8("\xD0\x90").get()), 0);  // б > А
}

using StringCaseTest = StringTest;

TEST_F(StringCaseTest, CaseMappingKeepsEncodingAndUnmappedBytes) {
  StringRef upper = StringRef::Adopt(StringUCase(Utf8("stra\xC3\x9F"
                                                      "e \xC3\xA9\xFF")
                                                     .get()));
  EXPECT_EQ(Bytes(upper),
            "STRA\xC3\x9F"
            "E \xC3\x89\xFF");  // ß has no one-letter capital
  EXPECT_EQ(upper->encoding, kEncodingUTF8);
  EXPECT_EQ(Bytes(StringLCase(Make("\xC9Z", kEncodingWindowsLatin1).get())), "\xE9z");
  EXPECT_EQ(Bytes(StringLCase(Utf8("\xD0\x90\xCE\xA3").get())), "\xD0\xB0\xCF\x83");  // А Σ
  // Trail bytes of double-byte characters are not letters.
  EXPECT_EQ(Bytes(StringLCase(ShiftJIS("\x83\x41"
                                       "A")
                                  .get())),
            "\x83\x41"
            "a");
}

}  // namespace
