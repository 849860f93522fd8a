// Searching strings, fields, replacing, trimming, captions and line endings.
//
// Patterns and delimiters are first brought into the text's encoding and are
// only matched at the start of a character, so a match never begins inside a
// multi-byte character.
#include <cstring>
#include <utility>

#include "core/RuntimeArrayFoundation.h"
#include "core/StringCharacters.h"
#include "core/TextEncoding.h"

namespace {

using strings::Character;
using strings::Characters;
using strings::MatchesAt;

// A run of bytes [offset, offset + length).
struct ByteRange {
  uint32_t offset;
  uint32_t length;
};

uint32_t EndOf(const std::vector<Character>& characters, size_t index, uint32_t length) {
  return index < characters.size() ? characters[index].offset : length;
}

// Byte offset of the first match at or after byte `start`, or -1.
int32_t FindFrom(const StringRecord* text, const StringRecord* pattern, int64_t start,
                 bool ignoreCase) {
  uint32_t length = StringLength(text);
  if (start < 0) start = 0;
  if (start > int64_t(length)) return -1;
  StringRef converted = strings::InEncodingOf(pattern, text);
  std::vector<Character> wanted = Characters(converted.get());
  if (wanted.empty()) return int32_t(start);
  std::vector<Character> characters = Characters(text);
  for (size_t i = 0; i < characters.size(); ++i)
    if (characters[i].offset >= start && MatchesAt(characters, i, wanted, ignoreCase))
      return int32_t(characters[i].offset);
  return -1;
}

// The fields of text between delimiters (matched exactly); none for an empty
// text, the whole text for an empty delimiter.
std::vector<ByteRange> Fields(const StringRecord* text, const StringRecord* delimiter) {
  std::vector<ByteRange> fields;
  uint32_t length = StringLength(text);
  if (length == 0) return fields;
  StringRef converted = strings::InEncodingOf(delimiter, text);
  std::vector<Character> wanted = Characters(converted.get());
  std::vector<Character> characters = Characters(text);
  uint32_t fieldStart = 0;
  for (size_t i = 0; !wanted.empty() && i < characters.size();) {
    if (MatchesAt(characters, i, wanted, false)) {
      fields.push_back({fieldStart, characters[i].offset - fieldStart});
      i += wanted.size();
      fieldStart = EndOf(characters, i, length);
    } else {
      ++i;
    }
  }
  fields.push_back({fieldStart, length - fieldStart});
  return fields;
}

StringRecord* Slice(const StringRecord* text, ByteRange range) {
  return StringMidBytes(text, int32_t(range.offset), int32_t(range.length));
}

StringRecord* Empty(const StringRecord* like) {
  return NewString(nullptr, 0, StringEncoding(like));
}

void AppendBytes(std::string& out, const StringRecord* string, uint32_t offset, uint32_t count) {
  out.append(reinterpret_cast<const char*>(StringData(string)) + offset, count);
}

// The Unicode code point a character of the string stands for.
uint32_t CodePointOf(const StringRecord* string, const Character& character) {
  if (character.code <= 0x10FFFF) return character.code;
  std::u16string units = encoding::ToUTF16(StringData(string) + character.offset, character.size,
                                           StringEncoding(string));
  return units.empty() ? 0 : units[0];
}

bool IsBlank(uint32_t code) { return code == ' ' || code == '\t'; }

}  // namespace

extern "C" {

int32_t StringFind(int32_t start, const StringRecord* text, const StringRecord* pattern, int32_t) {
  return FindFrom(text, pattern, start, true);
}

int32_t StringFindB(int32_t start, const StringRecord* text, const StringRecord* pattern) {
  uint32_t length = StringLength(text), wanted = StringLength(pattern);
  if (start < 0) start = 0;
  if (uint32_t(start) > length) return -1;
  if (wanted > length) return -1;
  const uint8_t* bytes = StringData(text);
  for (uint32_t i = uint32_t(start); i + wanted <= length; ++i)
    if (std::memcmp(bytes + i, StringData(pattern), wanted) == 0) return int32_t(i);
  return -1;
}

int32_t StringInStr(int32_t start, const StringRecord* text, const StringRecord* pattern) {
  int32_t found = FindFrom(text, pattern, int64_t(start < 1 ? 1 : start) - 1, true);
  return found + 1;
}

StringRecord* NthField(const StringRecord* text, const StringRecord* delimiter, int32_t n) {
  std::vector<ByteRange> fields = Fields(text, delimiter);
  if (n < 1 || size_t(n) > fields.size()) return Empty(text);
  return Slice(text, fields[size_t(n) - 1]);
}

int32_t CountFields(const StringRecord* text, const StringRecord* delimiter) {
  return int32_t(Fields(text, delimiter).size());
}

void ReplaceAll(StringRecord** result, const StringRecord* source, const StringRecord* search,
                const StringRecord* replacement) {
  StringRef wantedText = strings::InEncodingOf(search, source);
  StringRef newText = strings::InEncodingOf(replacement, source);
  std::vector<Character> wanted = Characters(wantedText.get());
  std::vector<Character> characters = Characters(source);
  std::string out;
  bool replaced = false;
  uint32_t copiedTo = 0;
  for (size_t i = 0; !wanted.empty() && i < characters.size();) {
    if (!MatchesAt(characters, i, wanted, true)) {
      ++i;
      continue;
    }
    AppendBytes(out, source, copiedTo, characters[i].offset - copiedTo);
    AppendBytes(out, newText.get(), 0, StringLength(newText.get()));
    i += wanted.size();
    copiedTo = EndOf(characters, i, StringLength(source));
    replaced = true;
  }
  if (!replaced) {
    StringAssign(result, const_cast<StringRecord*>(source));
    return;
  }
  AppendBytes(out, source, copiedTo, StringLength(source) - copiedTo);
  StringRecord* made = NewString(out, StringEncoding(source));
  StringRecordRelease(*result);
  *result = made;
}

int32_t SplitKeyValueList(const StringRecord* text, const StringRecord* pairDelimiter,
                          const StringRecord* fieldDelimiter, RuntimeArray** keys,
                          RuntimeArray** values) {
  *keys = CreateArray(1, kArrayString, -1);
  *values = CreateArray(1, kArrayString, -1);
  std::vector<ByteRange> fields = Fields(text, fieldDelimiter);
  if (fields.size() < 2) return 0;
  int32_t pairs = 0;
  for (ByteRange field : fields) {
    StringRef line = StringRef::Adopt(Slice(text, field));
    std::vector<ByteRange> parts = Fields(line.get(), pairDelimiter);
    if (parts.size() < 2) continue;
    StringRef key = StringRef::Adopt(Slice(line.get(), parts[0]));
    StringRef value = StringRef::Adopt(Slice(line.get(), parts[1]));
    StringArrayAppend(*keys, key.get());
    StringArrayAppend(*values, value.get());
    ++pairs;
  }
  return pairs;
}

StringRecord* StringTrimSpaces(const StringRecord* string) {
  std::vector<Character> characters = Characters(string);
  size_t first = 0, last = characters.size();
  while (first < last && IsBlank(characters[first].code)) ++first;
  while (last > first && IsBlank(characters[last - 1].code)) --last;
  if (first == last) return Empty(string);
  uint32_t offset = characters[first].offset;
  uint32_t end = characters[last - 1].offset + characters[last - 1].size;
  return StringMidBytes(string, int32_t(offset), int32_t(end - offset));
}

StringRecord* CaptionWithoutAmpersands(const StringRecord* caption, uint32_t* mnemonic) {
  if (mnemonic) *mnemonic = 0;
  std::vector<Character> characters = Characters(caption);
  std::string out;
  bool found = false;
  for (size_t i = 0; i < characters.size(); ++i) {
    if (characters[i].code == '&') {
      if (++i == characters.size()) break;  // a last "&" marks nothing
      if (characters[i].code != '&' && !found) {
        found = true;
        if (mnemonic) *mnemonic = CodePointOf(caption, characters[i]);
      }
    }
    AppendBytes(out, caption, characters[i].offset, characters[i].size);
  }
  return NewString(out, StringEncoding(caption));
}

StringRecord* RuntimeReplaceLineEndings(const StringRecord* text, const StringRecord* ending) {
  StringRef newEnding = strings::InEncodingOf(ending, text);
  std::vector<Character> characters = Characters(text);
  std::string out;
  for (size_t i = 0; i < characters.size(); ++i) {
    uint32_t code = characters[i].code;
    if (code != '\r' && code != '\n') {
      AppendBytes(out, text, characters[i].offset, characters[i].size);
      continue;
    }
    if (code == '\r' && i + 1 < characters.size() && characters[i + 1].code == '\n') ++i;
    AppendBytes(out, newEnding.get(), 0, StringLength(newEnding.get()));
  }
  return NewString(out, StringEncoding(text));
}

}  // extern "C"

#ifdef _WINDOWS_
#error "stringsearch is portable: it must not include <windows.h>."
#endif
