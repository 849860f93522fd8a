// A string seen as characters, for the string functions that ignore case or
// must not split a character: each character's place in the bytes and what
// it stands for. Internal to the string unit.
#pragma once
#include <cstdint>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"

namespace strings {

struct Character {
  uint32_t offset;  // first byte
  uint32_t size;    // bytes
  // The Unicode code point; bytes that are no valid character, and the
  // double-byte characters of Shift-JIS and Chinese, get values above
  // U+10FFFF that match only the same bytes.
  uint32_t code;
};

std::vector<Character> Characters(const StringRecord* string);

// Bytes below 0x80 only, in an encoding where they are ASCII (not UTF-16).
bool IsPlainASCII(const StringRecord* string);

// Simple one-to-one case mappings of the Latin, Greek and Cyrillic letters
// and the full-width Latin ones; other values come back unchanged.
uint32_t UpperCase(uint32_t code);
uint32_t LowerCase(uint32_t code);

// pattern's text in text's encoding, so the two can be matched byte for
// byte (shared when nothing needs converting).
StringRef InEncodingOf(const StringRecord* pattern, const StringRecord* text);

// Whether the pattern's characters match the text's starting at character
// `at`, case ignored or not.
bool MatchesAt(const std::vector<Character>& text, size_t at, const std::vector<Character>& pattern,
               bool ignoreCase);

}  // namespace strings
