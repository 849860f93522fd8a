// Encoding conversions, the system encoding and the TextEncoding class.
//
// UTF-8 and UTF-16 are converted here; code pages go through the platform.
// Everything meets in UTF-16.
#include "core/TextEncoding.h"

#include <array>
#include <cstddef>
#include <map>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/platform.h"
#include "core/string.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Surrogates and values past U+10FFFF are no characters.
uint32_t ValidCodePoint(uint32_t codePoint) {
  bool valid = codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
  return valid ? codePoint : kReplacement;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point at units[0] (count >= 1) and the units it takes; a lone
// surrogate gives U+FFFD.
size_t DecodeUTF16(const char16_t* units, size_t count, uint32_t* codePoint) {
  char16_t unit = units[0];
  if (IsHighSurrogate(unit) && count > 1 && IsLowSurrogate(units[1])) {
    *codePoint = 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (uint32_t(units[1]) - 0xDC00);
    return 2;
  }
  *codePoint = IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit;
  return 1;
}

bool AllASCII(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] >= 0x80) return false;
  return true;
}

bool AllASCII(const char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (units[i] >= 0x80) return false;
  return true;
}

// Code page text to UTF-16. A double-byte code page's lead byte without a
// valid trail byte becomes U+FFFD on its own, and the byte after it is read
// afresh; the structurally sound runs between go to the platform whole.
std::u16string CodePageToUTF16(uint32_t codePage, const uint8_t* bytes, size_t count) {
  std::u16string out;
  size_t runStart = 0;
  auto convertRun = [&](size_t end) {
    const uint8_t* run = bytes + runStart;
    size_t length = end - runStart;
    if (AllASCII(run, length))
      out.append(run, run + length);
    else
      out += platform::CodePageToUTF16(codePage, reinterpret_cast<const char*>(run), length);
  };
  if (encoding::IsDoubleByteCodePage(codePage)) {
    for (size_t i = 0; i < count;) {
      size_t size = encoding::DoubleByteCharacterLength(codePage, bytes + i, count - i);
      if (size == 1 && encoding::IsLeadByte(codePage, bytes[i])) {
        convertRun(i);
        out += kReplacement;
        runStart = i + 1;
      }
      i += size;
    }
  }
  convertRun(count);
  return out;
}

std::string UTF16ToCodePage(uint32_t codePage, const char16_t* units, size_t count) {
  if (AllASCII(units, count)) return std::string(units, units + count);
  // Lone surrogates become U+FFFD (then '?') before the platform sees them.
  std::u16string clean;
  clean.reserve(count);
  for (size_t i = 0; i < count;) {
    uint32_t codePoint;
    i += DecodeUTF16(units + i, count - i, &codePoint);
    encoding::AppendUTF16(clean, codePoint);
  }
  return platform::UTF16ToCodePage(codePage, clean.data(), clean.size());
}

uint32_t SystemCodePage() { return encoding::CodePageOf(GetSystemTextEncoding()); }

}  // namespace

namespace encoding {

// An invalid sequence takes its longest valid beginning, so decoding resumes
// at the first byte that cannot belong to it.
size_t DecodeUTF8(const uint8_t* bytes, size_t count, uint32_t* codePoint) {
  uint8_t lead = bytes[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    *codePoint = kInvalid;
    return 1;
  }
  uint32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    bool valid =
        i < count && (i == 1 ? bytes[i] >= low && bytes[i] <= high : IsContinuation(bytes[i]));
    if (!valid) {
      *codePoint = kInvalid;
      return i;
    }
    value = (value << 6) | (bytes[i] & 0x3F);
  }
  *codePoint = value;
  return length;
}

void AppendUTF16(std::u16string& out, uint32_t codePoint) {
  codePoint = ValidCodePoint(codePoint);
  if (codePoint < 0x10000) {
    out += char16_t(codePoint);
  } else {
    codePoint -= 0x10000;
    out += char16_t(0xD800 + (codePoint >> 10));
    out += char16_t(0xDC00 + (codePoint & 0x3FF));
  }
}

void AppendUTF8(std::string& out, uint32_t codePoint) {
  codePoint = ValidCodePoint(codePoint);
  if (codePoint < 0x80) {
    out += char(codePoint);
  } else if (codePoint < 0x800) {
    out += char(0xC0 | (codePoint >> 6));
    out += char(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += char(0xE0 | (codePoint >> 12));
    out += char(0x80 | ((codePoint >> 6) & 0x3F));
    out += char(0x80 | (codePoint & 0x3F));
  } else {
    out += char(0xF0 | (codePoint >> 18));
    out += char(0x80 | ((codePoint >> 12) & 0x3F));
    out += char(0x80 | ((codePoint >> 6) & 0x3F));
    out += char(0x80 | (codePoint & 0x3F));
  }
}

std::u16string UTF8ToUTF16(const uint8_t* bytes, size_t count) {
  std::u16string out;
  out.reserve(count);
  for (size_t i = 0; i < count;) {
    uint32_t codePoint;
    i += DecodeUTF8(bytes + i, count - i, &codePoint);
    AppendUTF16(out, codePoint == kInvalid ? kReplacement : codePoint);
  }
  return out;
}

std::string UTF16ToUTF8(const char16_t* units, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count;) {
    uint32_t codePoint;
    i += DecodeUTF16(units + i, count - i, &codePoint);
    AppendUTF8(out, codePoint);
  }
  return out;
}

uint32_t CodePageOf(uint32_t encoding) {
  switch (encoding) {
    case kEncodingShiftJIS:
      return 932;
    case kEncodingChinese:
      return 950;
    case kEncodingWindowsLatin1:
      return 1252;
    case kEncodingASCII:
    case kEncodingNone:
      return SystemCodePage();
    default:
      return 0;
  }
}

bool IsKnown(uint32_t encoding) {
  return encoding == kEncodingUTF8 || encoding == kEncodingUTF16 || CodePageOf(encoding) != 0;
}

bool IsDoubleByte(uint32_t encoding) {
  return encoding == kEncodingShiftJIS || encoding == kEncodingChinese;
}

bool IsDoubleByteCodePage(uint32_t codePage) { return codePage == 932 || codePage == 950; }

bool IsLeadByte(uint32_t codePage, uint8_t byte) {
  static std::map<uint32_t, std::array<bool, 256>> tables;
  auto found = tables.find(codePage);
  if (found == tables.end()) {
    found = tables.emplace(codePage, std::array<bool, 256>{}).first;
    for (int value = 0x80; value < 256; ++value)
      found->second[size_t(value)] = platform::IsLeadByte(codePage, uint8_t(value));
  }
  return found->second[byte];
}

size_t DoubleByteCharacterLength(uint32_t codePage, const uint8_t* bytes, size_t count) {
  if (count < 2 || bytes[0] < 0x80 || !IsLeadByte(codePage, bytes[0])) return count ? 1 : 0;
  uint8_t trail = bytes[1];
  uint8_t lastTrail = codePage == 932 ? 0xFC : 0xFE;
  return trail >= 0x40 && trail != 0x7F && trail <= lastTrail ? 2 : 1;
}

const char16_t* SingleByteTable(uint32_t codePage) {
  static std::map<uint32_t, std::array<char16_t, 256>> tables;
  auto found = tables.find(codePage);
  if (found != tables.end()) return found->second.data();
  std::array<char16_t, 256>& table = tables[codePage];
  for (int byte = 0; byte < 256; ++byte) {
    char single = char(byte);
    std::u16string unit = byte < 0x80 ? std::u16string(1, char16_t(byte))
                                      : platform::CodePageToUTF16(codePage, &single, 1);
    table[size_t(byte)] = unit.size() == 1 ? unit[0] : kReplacement;
  }
  return table.data();
}

std::u16string ToUTF16(const uint8_t* bytes, size_t count, uint32_t encoding) {
  if (encoding == kEncodingUTF8) return UTF8ToUTF16(bytes, count);
  if (encoding == kEncodingUTF16) {
    std::u16string out;
    out.reserve(count / 2 + 1);
    for (size_t i = 0; i + 1 < count; i += 2) out += char16_t(bytes[i] | (bytes[i + 1] << 8));
    if (count % 2) out += kReplacement;
    return out;
  }
  uint32_t codePage = CodePageOf(encoding);
  return CodePageToUTF16(codePage ? codePage : SystemCodePage(), bytes, count);
}

std::string FromUTF16(const char16_t* units, size_t count, uint32_t encoding) {
  if (encoding == kEncodingUTF8) return UTF16ToUTF8(units, count);
  if (encoding == kEncodingUTF16) {
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
      out += char(units[i] & 0xFF);
      out += char(units[i] >> 8);
    }
    return out;
  }
  uint32_t codePage = CodePageOf(encoding);
  return UTF16ToCodePage(codePage ? codePage : SystemCodePage(), units, count);
}

size_t CharacterLength(const uint8_t* bytes, size_t count, uint32_t encoding) {
  if (count == 0) return 0;
  if (encoding == kEncodingUTF8) {
    uint32_t codePoint;
    return DecodeUTF8(bytes, count, &codePoint);
  }
  if (encoding == kEncodingUTF16) return count < 2 ? count : 2;
  if (IsDoubleByte(encoding)) return DoubleByteCharacterLength(CodePageOf(encoding), bytes, count);
  return 1;
}

}  // namespace encoding

// ---- Strings in other encodings ---------------------------------------------

namespace {

StringRecord* Share(const StringRecord* string) {
  return StringAddRef(const_cast<StringRecord*>(string));
}

StringRecord* Convert(const StringRecord* string, uint32_t target) {
  std::u16string text =
      encoding::ToUTF16(StringData(string), StringLength(string), StringEncoding(string));
  return NewString(encoding::FromUTF16(text.data(), text.size(), target), target);
}

uint32_t SystemEncodingOfLanguage(uint16_t language) {
  switch (language) {
    case 1041:
      return kEncodingShiftJIS;
    case 1028:
    case 2052:
    case 3076:
    case 4100:
      return kEncodingChinese;
    default:
      return kEncodingWindowsLatin1;
  }
}

}  // namespace

std::string StringToStdUTF8(const StringRecord* string) {
  std::u16string text = StringToStdUTF16(string);
  return encoding::UTF16ToUTF8(text.data(), text.size());
}

std::u16string StringToStdUTF16(const StringRecord* string) {
  return encoding::ToUTF16(StringData(string), StringLength(string), StringEncoding(string));
}

extern "C" {

uint32_t GetSystemTextEncoding() {
  static const uint32_t systemEncoding = SystemEncodingOfLanguage(platform::UserDefaultLanguage());
  return systemEncoding;
}

StringRecord* ConvertStringToEncoding(const StringRecord* string, uint32_t target) {
  if (!string || string->encoding == target || !encoding::IsKnown(target)) return Share(string);
  return Convert(string, target);
}

StringRecord* StringToUTF16(const StringRecord* string) {
  return ConvertStringToEncoding(string, kEncodingUTF16);
}

StringRecord* StringToUTF8(const StringRecord* string) {
  return ConvertStringToEncoding(string, kEncodingUTF8);
}

StringRecord* StringToSystemEncoding(const StringRecord* string) {
  return ConvertStringToEncoding(string, GetSystemTextEncoding());
}

void ConvertStringToSystemEncoding(StringRecord** variable) {
  StringRecord* converted = StringToSystemEncoding(*variable);
  StringRecordRelease(*variable);
  *variable = converted;
}

}  // extern "C"

// ---- The TextEncoding class -------------------------------------------------

namespace {

struct TextEncodingObject {
  RuntimeObject header;
  uint32_t encoding;
};

const char* InternetName(uint32_t value) {
  switch (value) {
    case kEncodingUTF8:
      return "UTF-8";
    case kEncodingUTF16:
      return "UTF-16LE";
    case kEncodingASCII:
      return "US-ASCII";
    case kEncodingWindowsLatin1:
      return "windows-1252";
    case kEncodingShiftJIS:
      return "Shift_JIS";
    case kEncodingChinese:
      return "Big5";
    default:
      return "";
  }
}

StringRecord* textEncodingInternetNameGetter(RuntimeObject* object, uint32_t) {
  return StringFromASCII(InternetName(GetEncodingFromTEObject(object)));
}

ObjectDefinition* BuildTextEncodingDefinition() {
  static ObjectDefinition definition;
  ObjectDefinitionSetName(&definition, "TextEncoding");
  definition.instanceSize = sizeof(TextEncodingObject);
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly | kPropertyPassesParameter, "Code", &kIntegerType,
       reinterpret_cast<void*>(intGetter), "intGetter", nullptr, nullptr,
       offsetof(TextEncodingObject, encoding)},
      {kPropertyReadOnly, "InternetName", &kStringType,
       reinterpret_cast<void*>(textEncodingInternetNameGetter), "textEncodingInternetNameGetter",
       nullptr, nullptr, 0},
  };
  BuildPropertyDefinitions(&definition, properties, 2);
  return &definition;
}

}  // namespace

extern "C" {

ObjectDefinition* GetTextEncodingClassDefinition() {
  static ObjectDefinition* const definition = BuildTextEncodingDefinition();
  return definition;
}

RuntimeObject* GetTEObjectFromEncoding(uint32_t value) {
  if (value == kEncodingNone) return nullptr;
  RuntimeObject* object = CreateInstance(GetTextEncodingClassDefinition());
  if (object) ObjectFields<TextEncodingObject>(object)->encoding = value;
  return object;
}

uint32_t GetEncodingFromTEObject(RuntimeObject* textEncoding) {
  if (!ObjectIsADefinition(textEncoding, GetTextEncodingClassDefinition())) return kEncodingNone;
  return ObjectFields<TextEncodingObject>(textEncoding)->encoding;
}

}  // extern "C"

#ifdef _WINDOWS_
#error "TextEncoding is portable: it must not include <windows.h>."
#endif
