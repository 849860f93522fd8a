// Text encodings: the converters between UTF-8, UTF-16 and the code pages the
// run-time's strings may hold, and the language's TextEncoding class.
//
// Every converter reads only the bytes it is given and never fails: invalid
// input (a bad UTF-8 sequence, a lone surrogate, a truncated double-byte
// character) becomes U+FFFD, and a character a code page cannot hold becomes
// '?' (never a look-alike); the rest of the text is converted as usual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct ObjectDefinition;

namespace encoding {

std::u16string UTF8ToUTF16(const uint8_t* bytes, size_t count);
std::string UTF16ToUTF8(const char16_t* units, size_t count);

// The UTF-8 sequence at bytes[0] (count >= 1): its code point, or kInvalid
// for an invalid sequence, and the bytes it takes (for an invalid one, its
// longest valid beginning, at least one byte).
constexpr uint32_t kInvalid = 0xFFFFFFFF;
size_t DecodeUTF8(const uint8_t* bytes, size_t count, uint32_t* codePoint);
void AppendUTF8(std::string& out, uint32_t codePoint);
void AppendUTF16(std::u16string& out, uint32_t codePoint);

// The code page behind an encoding value: 932 for Shift-JIS, 950 for Chinese,
// 1252 for Windows Latin-1 and the system's code page for ASCII and none (whose
// bytes from 0x80 up are read as the system encoding); 0 for UTF-8, UTF-16 and
// unknown values.
uint32_t CodePageOf(uint32_t encoding);
// Whether the run-time knows how to convert to and from the encoding.
bool IsKnown(uint32_t encoding);
// Double-byte encodings and code pages (Shift-JIS, Chinese) have characters
// of one byte below 0x80 and two bytes from a lead byte on.
bool IsDoubleByte(uint32_t encoding);
bool IsDoubleByteCodePage(uint32_t codePage);
bool IsLeadByte(uint32_t codePage, uint8_t byte);
// 2 for a lead byte followed by a valid trail byte, else 1 (0 for no bytes).
size_t DoubleByteCharacterLength(uint32_t codePage, const uint8_t* bytes, size_t count);
// What each byte of a single-byte code page stands for (computed once per
// code page).
const char16_t* SingleByteTable(uint32_t codePage);

// Text of any known encoding to UTF-16 and back; an unknown encoding reads
// as the system encoding. The bytes of UTF-16 text are little-endian; an odd
// last byte becomes U+FFFD.
std::u16string ToUTF16(const uint8_t* bytes, size_t count, uint32_t encoding);
std::string FromUTF16(const char16_t* units, size_t count, uint32_t encoding);

// Byte length of the character starting at bytes[0] (of count >= 1 bytes),
// by the encoding: 1 to 4 for UTF-8 (what DecodeUTF8 takes), 2 for a UTF-16
// unit, DoubleByteCharacterLength for Shift-JIS and Chinese, 1 otherwise.
// Never more than count.
size_t CharacterLength(const uint8_t* bytes, size_t count, uint32_t encoding);

}  // namespace encoding

// The language's TextEncoding class; an instance holds one encoding value
// (read-only properties Code and InternetName).
extern "C" ObjectDefinition* GetTextEncodingClassDefinition();
