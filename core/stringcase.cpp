// Strings as characters: case mapping, the language's comparison, and the
// character view the searching functions share.
#include <cstring>

#include "core/StringCharacters.h"
#include "core/TextEncoding.h"

namespace {

// Codes of what is no Unicode character (see strings::Character).
constexpr uint32_t kRawByte = 0x110000;
constexpr uint32_t kDoubleByte = 0x120000;
constexpr uint32_t kLastCodePoint = 0x10FFFF;

bool InLatinExtendedAPairs(uint32_t c, bool upper) {
  bool evenUpper =
      (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  bool isUpper = evenUpper ? c % 2 == 0 : c % 2 == 1;
  return (evenUpper || oddUpper) && isUpper == upper;
}

uint32_t CodePageOfString(uint32_t encodingValue) {
  uint32_t codePage = encoding::CodePageOf(encodingValue);
  return codePage ? codePage : encoding::CodePageOf(GetSystemTextEncoding());
}

void AddUTF8Characters(const uint8_t* bytes, uint32_t length,
                       std::vector<strings::Character>& out) {
  for (uint32_t i = 0; i < length;) {
    uint32_t code;
    auto size = uint32_t(encoding::DecodeUTF8(bytes + i, length - i, &code));
    if (code == encoding::kInvalid) {
      for (uint32_t k = 0; k < size; ++k) out.push_back({i + k, 1, kRawByte + bytes[i + k]});
    } else {
      out.push_back({i, size, code});
    }
    i += size;
  }
}

void AddUTF16Characters(const uint8_t* bytes, uint32_t length,
                        std::vector<strings::Character>& out) {
  auto unitAt = [bytes](uint32_t i) { return uint32_t(bytes[i] | (bytes[i + 1] << 8)); };
  uint32_t i = 0;
  while (i + 1 < length) {
    uint32_t unit = unitAt(i);
    bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 3 < length && unitAt(i + 2) >= 0xDC00 &&
                unitAt(i + 2) <= 0xDFFF;
    if (pair) {
      out.push_back({i, 4, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00)});
      i += 4;
    } else {
      out.push_back({i, 2, unit});
      i += 2;
    }
  }
  if (i < length) out.push_back({i, 1, kRawByte + bytes[i]});
}

void AddCodePageCharacters(const uint8_t* bytes, uint32_t length, uint32_t codePage,
                           std::vector<strings::Character>& out) {
  if (encoding::IsDoubleByteCodePage(codePage)) {
    for (uint32_t i = 0; i < length;) {
      auto size = uint32_t(encoding::DoubleByteCharacterLength(codePage, bytes + i, length - i));
      uint32_t code = size == 2 ? kDoubleByte + (uint32_t(bytes[i]) << 8) + bytes[i + 1]
                                : (bytes[i] < 0x80 ? bytes[i] : kRawByte + bytes[i]);
      out.push_back({i, size, code});
      i += size;
    }
    return;
  }
  const char16_t* table = encoding::SingleByteTable(codePage);
  for (uint32_t i = 0; i < length; ++i) {
    char16_t unit = table[bytes[i]];
    out.push_back({i, 1, unit == u'\uFFFD' ? kRawByte + bytes[i] : unit});
  }
}

// The character's bytes after a case mapping changed it to `code`, in the
// string's encoding; empty when the encoding cannot hold the new character.
std::string EncodeMapped(uint32_t code, uint32_t encodingValue) {
  std::string out;
  if (encodingValue == kEncodingUTF8) {
    encoding::AppendUTF8(out, code);
  } else if (encodingValue == kEncodingUTF16) {
    std::u16string units;
    encoding::AppendUTF16(units, code);
    out = encoding::FromUTF16(units.data(), units.size(), kEncodingUTF16);
  } else {
    uint32_t codePage = CodePageOfString(encodingValue);
    if (encoding::IsDoubleByteCodePage(codePage)) {
      if (code < 0x80) out += char(code);
    } else {
      const char16_t* table = encoding::SingleByteTable(codePage);
      for (int byte = 0; byte < 256 && out.empty(); ++byte)
        if (table[byte] == code) out += char(byte);
    }
  }
  return out;
}

StringRecord* MapCase(const StringRecord* string, uint32_t (*map)(uint32_t)) {
  if (StringLength(string) == 0) return StringAddRef(const_cast<StringRecord*>(string));
  const uint8_t* bytes = StringData(string);
  uint32_t encodingValue = StringEncoding(string);
  std::string out;
  out.reserve(StringLength(string));
  for (const strings::Character& character : strings::Characters(string)) {
    uint32_t mapped = character.code <= kLastCodePoint ? map(character.code) : character.code;
    std::string replacement = mapped != character.code ? EncodeMapped(mapped, encodingValue) : "";
    if (replacement.empty())
      out.append(reinterpret_cast<const char*>(bytes + character.offset), character.size);
    else
      out += replacement;
  }
  return NewString(out, encodingValue);
}

std::vector<uint32_t> FoldedCodePoints(const StringRecord* string) {
  std::u16string units = StringToStdUTF16(string);
  std::vector<uint32_t> codes;
  codes.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t code = units[i];
    bool pair = code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() &&
                units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (pair) code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    codes.push_back(strings::UpperCase(code));
  }
  return codes;
}

}  // namespace

namespace strings {

bool IsPlainASCII(const StringRecord* string) {
  if (StringEncoding(string) == kEncodingUTF16) return false;
  const uint8_t* bytes = StringData(string);
  for (uint32_t i = 0; i < StringLength(string); ++i)
    if (bytes[i] >= 0x80) return false;
  return true;
}

std::vector<Character> Characters(const StringRecord* string) {
  const uint8_t* bytes = StringData(string);
  uint32_t length = StringLength(string);
  uint32_t encodingValue = StringEncoding(string);
  std::vector<Character> out;
  out.reserve(length);
  if (encodingValue == kEncodingUTF8)
    AddUTF8Characters(bytes, length, out);
  else if (encodingValue == kEncodingUTF16)
    AddUTF16Characters(bytes, length, out);
  else
    AddCodePageCharacters(bytes, length, CodePageOfString(encodingValue), out);
  return out;
}

uint32_t UpperCase(uint32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (InLatinExtendedAPairs(c, false)) return c - 1;
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

uint32_t LowerCase(uint32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if (InLatinExtendedAPairs(c, true)) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  return c;
}

StringRef InEncodingOf(const StringRecord* pattern, const StringRecord* text) {
  auto shared = [pattern] { return StringRef::Retain(const_cast<StringRecord*>(pattern)); };
  uint32_t patternEncoding = StringEncoding(pattern), textEncoding = StringEncoding(text);
  if (patternEncoding == textEncoding || StringLength(pattern) == 0) return shared();
  if (textEncoding != kEncodingUTF16 && strings::IsPlainASCII(pattern)) return shared();
  return StringRef::Adopt(ConvertStringToEncoding(pattern, textEncoding));
}

bool MatchesAt(const std::vector<Character>& text, size_t at, const std::vector<Character>& pattern,
               bool ignoreCase) {
  if (at > text.size() || pattern.size() > text.size() - at) return false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    uint32_t a = text[at + i].code, b = pattern[i].code;
    if (a != b && !(ignoreCase && UpperCase(a) == UpperCase(b))) return false;
  }
  return true;
}

}  // namespace strings

extern "C" {

int32_t RuntimeStringCompare(const StringRecord* a, const StringRecord* b) {
  if (strings::IsPlainASCII(a) && strings::IsPlainASCII(b)) return StringCompareNoCase(a, b);
  std::vector<uint32_t> x = FoldedCodePoints(a), y = FoldedCodePoints(b);
  for (size_t i = 0; i < x.size() && i < y.size(); ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

StringRecord* StringUCase(const StringRecord* string) {
  return MapCase(string, strings::UpperCase);
}

StringRecord* StringLCase(const StringRecord* string) {
  return MapCase(string, strings::LowerCase);
}

}  // extern "C"

std::u32string RuntimeStringSortKey(const StringRecord* string) {
  const std::vector<uint32_t> codes = FoldedCodePoints(string);
  return std::u32string(codes.begin(), codes.end());
}

#ifdef _WINDOWS_
#error "stringcase is portable: it must not include <windows.h>."
#endif
