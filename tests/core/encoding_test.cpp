// Text encodings: round trips between UTF-8, UTF-16 and the code pages,
// invalid input, the system encoding and TextEncoding objects.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/string.h"

namespace {

StringRef Make(const std::string& bytes, uint32_t encoding) {
  return StringRef::Adopt(NewString(bytes, encoding));
}
StringRef Convert(const StringRef& string, uint32_t encoding) {
  return StringRef::Adopt(ConvertStringToEncoding(string.get(), encoding));
}
std::string Bytes(const StringRef& string) { return StringBytes(string.get()); }

// Whether the bytes are well-formed UTF-8.
bool IsValidUTF8(const std::string& text) {
  auto bytes = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t i = 0; i < text.size();) {
    uint32_t codePoint;
    i += encoding::DecodeUTF8(bytes + i, text.size() - i, &codePoint);
    if (codePoint == encoding::kInvalid) return false;
  }
  return true;
}

const std::string kMixedUTF8 =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC "
    "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";  // Grüße € 日本 中文 😀

struct Sample {
  uint32_t encoding;
  std::string bytes;  // the text in that encoding
  std::string utf8;   // the same text in UTF-8
};

const Sample kSamples[] = {
    {kEncodingWindowsLatin1,
     "Gr\xFC\xDF"
     "e \x80",
     "Gr\xC3\xBC\xC3\x9F"
     "e \xE2\x82\xAC"},
    {kEncodingShiftJIS, "A\x93\xFA\x96\x7B\x8C\xEA\x83\x5C",
     "A\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x82\xBD"},                         // A日本語ソ
    {kEncodingChinese, "\xA4\xA4\xA4\xE5 z", "\xE4\xB8\xAD\xE6\x96\x87 z"},        // 中文 z
    {kEncodingUTF16, std::string("h\0\x3D\xD8\x00\xDE", 6), "h\xF0\x9F\x98\x80"},  // h😀
};

TEST(EncodingTest, SamplesRoundTripThroughEveryForm) {
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.encoding);
    StringRef original = Make(sample.bytes, sample.encoding);
    StringRef utf8 = StringRef::Adopt(StringToUTF8(original.get()));
    EXPECT_EQ(Bytes(utf8), sample.utf8);
    EXPECT_EQ(utf8->encoding, kEncodingUTF8);
    StringRef utf16 = StringRef::Adopt(StringToUTF16(utf8.get()));
    EXPECT_EQ(utf16->encoding, kEncodingUTF16);
    StringRef back = Convert(utf16, sample.encoding);
    EXPECT_EQ(Bytes(back), sample.bytes);
    EXPECT_EQ(back->encoding, sample.encoding);
    EXPECT_EQ(StringToStdUTF8(original.get()), sample.utf8);
  }
  StringRef mixed = Make(kMixedUTF8, kEncodingUTF8);
  std::u16string units = StringToStdUTF16(mixed.get());
  StringRef fromUnits = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(units.data()), int32_t(units.size())));
  EXPECT_EQ(StringToStdUTF8(fromUnits.get()), kMixedUTF8);
}

TEST(EncodingTest, ConversionsShareWhatNeedsNoWork) {
  StringRef utf8 = Make("abc", kEncodingUTF8);
  StringRecord* same = StringToUTF8(utf8.get());
  EXPECT_EQ(same, utf8.get());
  StringRecordRelease(same);
  EXPECT_EQ(StringToUTF16(nullptr), nullptr);
  same = ConvertStringToEncoding(utf8.get(), 0x7777);  // unknown: unchanged
  EXPECT_EQ(same, utf8.get());
  StringRecordRelease(same);
  StringRecord* variable = StringFromUTF8("\xC3\xA9");
  ConvertStringToSystemEncoding(&variable);
  EXPECT_EQ(variable->encoding, GetSystemTextEncoding());
  EXPECT_EQ(StringToStdUTF8(variable), "\xC3\xA9");
  StringRecordRelease(variable);
}

TEST(EncodingTest, SystemEncodingReadsDefaultStringsLosslessly) {
  uint32_t system = GetSystemTextEncoding();
  EXPECT_TRUE(system == kEncodingWindowsLatin1 || system == kEncodingShiftJIS ||
              system == kEncodingChinese);
  EXPECT_EQ(GetSystemTextEncoding(), system);
  // A byte above 0x7F in a default (ASCII) string is read as the system
  // encoding and comes back as the same byte.
  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  StringRef system8 = StringRef::Adopt(StringToSystemEncoding(utf8.get()));
  StringRef ascii = Make(Bytes(system8), kEncodingASCII);
  EXPECT_EQ(StringToStdUTF8(ascii.get()), "\xC3\xA9");
  EXPECT_EQ(Bytes(Convert(Convert(ascii, kEncodingUTF16), kEncodingASCII)), Bytes(system8));
}

TEST(EncodingTest, InvalidInputBecomesReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    uint32_t encoding;
    std::string bytes, utf8;
  } cases[] = {
      {kEncodingUTF8, "a\xE2\x82z", "a" + fffd + "z"},                 // truncated sequence
      {kEncodingUTF8, "\xC0\xAF!", fffd + fffd + "!"},                 // overlong
      {kEncodingUTF8, "\xED\xA0\x80", fffd + fffd + fffd},             // encoded surrogate
      {kEncodingUTF8, "\xED\xBF\xBF", fffd + fffd + fffd},             // encoded U+DFFF
      {kEncodingUTF8, "\xED\x9F\xBF", "\xED\x9F\xBF"},                // U+D7FF is a character
      {kEncodingUTF8, "x\xF0\x9F\x98", "x" + fffd},                    // cut at the end
      {kEncodingUTF8, "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // past U+10FFFF
      {kEncodingUTF16,
       std::string("\x00\xD8"
                   "a\0",
                   4),
       fffd + "a"},                                                        // lone high surrogate
      {kEncodingUTF16, std::string("a\0\x00\xDC", 4), "a" + fffd},         // lone low surrogate
      {kEncodingUTF16, std::string("\xFF\xDF", 2), fffd},                  // lone U+DFFF
      {kEncodingUTF16, std::string("\xFF\xDB\xFF\xDF", 4), "\xF4\x8F\xBF\xBF"},  // U+10FFFF
      {kEncodingUTF16, std::string("\x00\xE0", 2), "\xEE\x80\x80"},       // U+E000 is a character
      {kEncodingUTF16, std::string("a\0b", 3), "a" + fffd},                // odd byte count
      {kEncodingShiftJIS, "ab\x93", "ab" + fffd},                          // lead byte cut off
      {kEncodingShiftJIS, "\x81 t\x81\x7F", fffd + " t" + fffd + "\x7F"},  // bad trail bytes
      {kEncodingShiftJIS, "\x81\x7E\x81\x80", "\xC3\x97\xC3\xB7"},       // around 0x7F: ×÷
      {kEncodingChinese, "\xA4", fffd},
  };
  for (const Case& c : cases) {
    StringRef string = Make(c.bytes, c.encoding);
    EXPECT_EQ(StringToStdUTF8(string.get()), c.utf8) << testing::PrintToString(c.bytes);
  }
  // A Shift-JIS lead byte before 0x7F is a character alone, and so is 0x7F.
  EXPECT_EQ(StringLen(Make("\x81\x7F", kEncodingShiftJIS).get()), 2);
  EXPECT_EQ(StringLen(Make("\x81\x7E\x81\x80", kEncodingShiftJIS).get()), 2);
}

TEST(EncodingTest, WhatACodePageCannotHoldBecomesAQuestionMark) {
  // What a code page cannot hold becomes '?' (no look-alike), the rest stays.
  StringRef foreign = Make("\xE6\x97\xA5\xC4\x81\xE2\x88\x9E!", kEncodingUTF8);  // 日ā∞!
  EXPECT_EQ(Bytes(Convert(foreign, kEncodingWindowsLatin1)),
            "??"
            "?!");
  StringRef yen = Make("\xC2\xA5\xC3\xA9\xE6\x97\xA5", kEncodingUTF8);  // ¥é日
  EXPECT_EQ(Bytes(Convert(yen, kEncodingShiftJIS)), "??\x93\xFA");
  StringRef lone = Make(std::string("\x00\xD8!\0", 4), kEncodingUTF16);
  EXPECT_EQ(Bytes(Convert(lone, kEncodingShiftJIS)).back(), '!');
}

TEST(EncodingTest, RandomBytesConvertSafelyEverywhere) {
  const uint32_t encodings[] = {kEncodingUTF8,          kEncodingUTF16,    kEncodingASCII,
                                kEncodingWindowsLatin1, kEncodingShiftJIS, kEncodingChinese,
                                kEncodingNone};
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& byte : bytes) byte = char(random() % 4 ? 0x80 + random() % 0x80 : random() % 0x80);
    for (uint32_t from : encodings) {
      StringRef source = Make(bytes, from);
      EXPECT_TRUE(IsValidUTF8(StringToStdUTF8(source.get())));
      for (uint32_t to : encodings) {
        StringRef converted = Convert(source, to);
        ASSERT_EQ(converted->buffer[converted->length + 1], 0);
        if (to == kEncodingUTF8 && from != kEncodingUTF8) {
          ASSERT_TRUE(IsValidUTF8(Bytes(converted))) << testing::PrintToString(bytes);
        }
      }
      // The character functions walk the same bytes.
      int32_t length = StringLen(source.get());
      EXPECT_LE(length, int32_t(bytes.size()));
      StringRef left = StringRef::Adopt(StringLeft(source.get(), length - 1));
      EXPECT_LE(left->length, source->length);
      StringRef dropped = StringRef::Adopt(StringDropLastCharacter(source.get()));
      EXPECT_LT(dropped->length, source->length + (bytes.empty() ? 1 : 0));
      StringRecordRelease(StringUCase(source.get()));
      StringFind(0, source.get(), Make("\x81", from).get(), 0);
    }
  }
}

TEST(EncodingTest, CodePointsInEachEncoding) {
  auto bytesOf = [](uint32_t codePoint, uint32_t encoding) {
    StringRef string = StringRef::Adopt(StringFromCodePoint(codePoint, encoding));
    EXPECT_EQ(string->encoding, encoding);
    return Bytes(string);
  };
  EXPECT_EQ(bytesOf(0x1F600, kEncodingUTF8), "\xF0\x9F\x98\x80");
  EXPECT_EQ(bytesOf(0x1F600, kEncodingUTF16), std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(bytesOf(0xE9, kEncodingWindowsLatin1), "\xE9");
  EXPECT_EQ(bytesOf(0x3042, kEncodingWindowsLatin1), "?");
  EXPECT_EQ(bytesOf(0x65E5, kEncodingShiftJIS), "\x93\xFA");
  EXPECT_EQ(bytesOf(0xD800, kEncodingUTF8), "\xEF\xBF\xBD");
  EXPECT_EQ(bytesOf(0xDFFF, kEncodingUTF8), "\xEF\xBF\xBD");
  EXPECT_EQ(bytesOf(0xDFFF, kEncodingUTF16), std::string("\xFD\xFF", 2));
  EXPECT_EQ(bytesOf(0x110000, kEncodingUTF8), "\xEF\xBF\xBD");
}

TEST(EncodingTest, DoubleByteLengthInTheSystemCodePage) {
  StringRef text = Make("a\xC3\xA9", kEncodingUTF8);
  EXPECT_EQ(StringDBCSLen(text.get()), 2);
  if (GetSystemTextEncoding() == kEncodingShiftJIS) {
    EXPECT_EQ(StringDBCSLen(Make("\xE6\x97\xA5", kEncodingUTF8).get()), 1);
  }
}

TEST(TextEncodingClassTest, ObjectsCarryTheirEncoding) {
  uint32_t liveObjects = RuntimeLiveObjectCount();
  EXPECT_EQ(GetTEObjectFromEncoding(kEncodingNone), nullptr);
  EXPECT_EQ(GetEncodingFromTEObject(nullptr), kEncodingNone);
  {
    ObjectRef latin1 = ObjectRef::Adopt(GetTEObjectFromEncoding(kEncodingWindowsLatin1));
    ASSERT_TRUE(latin1);
    EXPECT_EQ(latin1->refCount, 1);
    EXPECT_EQ(GetEncodingFromTEObject(latin1.get()), kEncodingWindowsLatin1);
    EXPECT_EQ(ObjectClassOf(latin1.get()), RuntimeLookupClass("TextEncoding"));
    PropertyAccess code{}, name{};
    ASSERT_TRUE(FindPropertyAccess(latin1.get(), "Code", &code));
    auto getInt = reinterpret_cast<int32_t (*)(RuntimeObject*, uint32_t)>(code.getter);
    EXPECT_EQ(getInt(latin1.get(), code.parameter), int32_t(kEncodingWindowsLatin1));
    ASSERT_TRUE(FindPropertyAccess(latin1.get(), "InternetName", &name));
    auto getString = reinterpret_cast<StringRecord* (*)(RuntimeObject*, uint32_t)>(name.getter);
    EXPECT_EQ(StringBytes(StringRef::Adopt(getString(latin1.get(), name.parameter)).get()),
              "windows-1252");
    // Any other object has no encoding.
    ObjectRef exception = ObjectRef::Adopt(CreateInstance(GetRuntimeExceptionClassDefinition()));
    ASSERT_TRUE(exception);
    EXPECT_EQ(GetEncodingFromTEObject(exception.get()), kEncodingNone);
  }
  EXPECT_EQ(RuntimeLiveObjectCount(), liveObjects);
}

}  // namespace
