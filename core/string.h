// The run-time string: a reference-counted record of bytes in a text encoding.
//
// Ownership: every function here that returns a StringRecord* hands the caller
// one reference (release it with StringRecordRelease / RuntimeUnlockString),
// even when the result is one of the arguments shared. Arguments are borrowed.
// A null string reads as empty everywhere. A record with a count of 0 is static
// (a literal): it is never counted or freed.
//
// Functions that fill a "variable" (StringRecord**) release the string the
// variable held and leave it holding one new reference.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>
#include <string>

struct RuntimeArray;
struct RuntimeObject;

// Binary layout {reference count, buffer, capacity, length in bytes, encoding}.
// The buffer holds a length byte (the length capped at 255), the bytes, and a
// NUL; capacity counts the bytes that fit between the length byte and the NUL.
struct StringRecord {
  int32_t refCount;
  uint8_t* buffer;
  uint32_t capacity;
  uint32_t length;
  uint32_t encoding;
};
static_assert(!kLayoutIs32Bit || sizeof(StringRecord) == 20, "StringRecord is five 32-bit words");

// Text encodings. Bytes from 0x80 up in a string of the default encoding
// (0x600) or of none (0xFFFF) are read as the system encoding when the string
// is converted, so nothing is lost.
enum : uint32_t {
  kEncodingUTF8 = 0x08000100,
  kEncodingUTF16 = 0x100,
  kEncodingASCII = 0x600,  // the default of strings the run-time makes
  kEncodingWindowsLatin1 = 0x500,
  kEncodingShiftJIS = 0xA01,
  kEncodingChinese = 0x423,
  kEncodingNone = 0xFFFF,
};

extern "C" {

// ---- Reference counting ----------------------------------------------------
void RuntimeLockString(StringRecord* string);
void RuntimeUnlockString(StringRecord* string);
StringRecord* StringAddRef(StringRecord* string);  // gives its argument back
void StringRecordRelease(StringRecord* string);
// Makes the variable share value (the new reference is taken before the old
// one is dropped, so assigning a variable its own value is safe).
void StringAssign(StringRecord** variable, StringRecord* value);

// ---- Construction ----------------------------------------------------------
// A copy of count bytes (NULs included), in the default encoding 0x600.
void StringFromBytes(StringRecord** variable, const void* bytes, int32_t count);
// Room for n bytes, length n, encoding unset (0xFFFF); the bytes are zero.
void StringAllocate(StringRecord** variable, int32_t n);
StringRecord* StringFromUTF16(const uint16_t* units, int32_t count);  // 0x100
StringRecord* StringFromLong(int32_t value);
// One character in that encoding (the system encoding when it is unknown);
// what is no character becomes U+FFFD, what the encoding cannot hold '?'.
StringRecord* StringFromCodePoint(uint32_t codePoint, uint32_t encoding);
StringRecord* StringFromHex32(uint32_t value);  // eight upper-case digits
StringRecord* StringFromUInt16LE(uint16_t value);
StringRecord* StringFromUInt32BE(uint32_t value);
uint16_t UInt16FromBytesLE(const StringRecord* string);  // 0 when too short
uint32_t UInt32FromBytesBE(const StringRecord* string);

// ---- Combining -------------------------------------------------------------
// a followed by b; when one side is empty the other is shared. The bytes are
// joined in a's encoding, except that text in two different encodings is
// first converted to a's when that is UTF-8 or UTF-16, else to b's when that
// is, else to UTF-8, so no character is lost (plain ASCII on one side joins
// the other's encoding as it is). Bytes without an encoding (0xFFFF) join
// unconverted.
StringRecord* StringConcat(const StringRecord* a, const StringRecord* b);
// Appends tail to the variable's string as StringConcat joins them, in place
// (copied first when shared or static; an empty variable shares tail).
void StringAppend(StringRecord** variable, const StringRecord* tail);
// The string followed by one byte, unconverted.
StringRecord* StringPlusByte(const StringRecord* string, uint8_t byte);

// ---- Slicing (byte counts keep the string's encoding) ----------------------
// Offsets and counts are clamped to the string: a negative one counts as 0,
// one past the end reaches the end. The whole string comes back shared.
StringRecord* StringLeftBytes(const StringRecord* string, int32_t n);
StringRecord* StringRightBytes(const StringRecord* string, int32_t n);
StringRecord* StringMidBytes(const StringRecord* string, int32_t offset, int32_t n);
StringRecord* StringBytesFrom(const StringRecord* string, int32_t offset);
// Characters, by the string's encoding (UTF-8 sequences, UTF-16 units, the
// double-byte characters of Shift-JIS and Chinese, bytes otherwise).
int32_t StringLen(const StringRecord* string);
StringRecord* StringLeft(const StringRecord* string, int32_t n);
// Characters of the text once converted to the system encoding (a lead byte
// and its trail byte count as one).
int32_t StringDBCSLen(const StringRecord* string);
// The string without its last character: UTF-8 drops the continuation bytes
// and one more, UTF-16 a surrogate pair whole (else one unit, or an odd last
// byte alone), the default encoding one byte, any other
// encoding keeps StringLen - 1 characters. An empty string comes back shared;
// a UTF-8 string of nothing but continuation bytes comes back empty.
StringRecord* StringDropLastCharacter(const StringRecord* string);

// ---- Searching -------------------------------------------------------------
// Positions count bytes. Patterns and delimiters are read in the text's
// encoding (converted when theirs differs) and only match whole characters,
// never from inside a multi-byte one. "Ignoring case" folds the letters that
// StringUCase maps. An empty pattern is found at the start.
//
// 0-based position from a 0-based start, ignoring case; -1 when absent. The
// flag is not used.
int32_t StringFind(int32_t start, const StringRecord* text, const StringRecord* pattern,
                   int32_t flag);
// The same, byte for byte.
int32_t StringFindB(int32_t start, const StringRecord* text, const StringRecord* pattern);
// 1-based start and result, ignoring case; 0 when absent.
int32_t StringInStr(int32_t start, const StringRecord* text, const StringRecord* pattern);
// The n-th (1-based) field; empty for an empty text, n < 1 or past the end.
// Delimiters match exactly (case counts); an empty delimiter makes the whole
// text one field.
StringRecord* NthField(const StringRecord* text, const StringRecord* delimiter, int32_t n);
// Fields, empty ones included (a trailing delimiter ends an empty last
// field); 0 for an empty text.
int32_t CountFields(const StringRecord* text, const StringRecord* delimiter);
// The source with every occurrence of search (found ignoring case) replaced;
// the source itself (shared) when search is empty or absent.
void ReplaceAll(StringRecord** result, const StringRecord* source, const StringRecord* search,
                const StringRecord* replacement);
// Cuts text into fields at fieldDelimiter (0 pairs when fewer than two
// fields); each field holding pairDelimiter gives a key (text before its first
// pairDelimiter) and a value (text up to the second); other fields are
// skipped. Delimiters match exactly. keys and values receive new string
// arrays (the caller's; what they held is not released).
int32_t SplitKeyValueList(const StringRecord* text, const StringRecord* pairDelimiter,
                          const StringRecord* fieldDelimiter, RuntimeArray** keys,
                          RuntimeArray** values);

// ---- Comparing (three-way: <0, 0, >0) ---------------------------------------
int32_t StringCompareExact(const StringRecord* a, const StringRecord* b);   // unsigned bytes
int32_t StringCompareNoCase(const StringRecord* a, const StringRecord* b);  // a-z as A-Z
// The language's comparison: the texts' characters (whatever their
// encodings) in Unicode order, case ignored as StringFind ignores it.
int32_t RuntimeStringCompare(const StringRecord* a, const StringRecord* b);
// ASCII case ignored; null sorts before any text.
int32_t CStringCompareNoCase(const char* a, const char* b);

// ---- C strings and case ----------------------------------------------------
// The NUL-terminated bytes (borrowed from the record; "" for null).
const char* StringCStr(const StringRecord* string);
// Writable bytes of the variable's own record (copied first when shared).
char* StringCStrWritable(StringRecord** variable);
void CStringCopy(char* destination, const char* source);
int32_t CStringLength(const char* text);
// Case by the simple one-to-one mappings of the Latin, Greek and Cyrillic
// letters and the full-width Latin ones, in the string's encoding; a letter
// whose other case the encoding cannot hold (and every other byte) stays.
StringRecord* StringUCase(const StringRecord* string);
StringRecord* StringLCase(const StringRecord* string);
StringRecord* StringTrimSpaces(const StringRecord* string);  // blanks and tabs

// ---- Captions and line endings ---------------------------------------------
// The caption without its "&" markers ("&&" gives "&"); the character after
// the first single "&" goes to *mnemonic as a Unicode code point (0 when
// none; mnemonic may be null). A last lone "&" is dropped.
StringRecord* CaptionWithoutAmpersands(const StringRecord* caption, uint32_t* mnemonic);
// Every CR, LF or CR LF replaced by ending (read in the text's encoding).
StringRecord* RuntimeReplaceLineEndings(const StringRecord* text, const StringRecord* ending);

// ---- Encodings -------------------------------------------------------------
// Conversions give the same record (one more reference) when the string is
// null or already in the target encoding. Invalid input becomes replacement
// characters; nothing is read or written past a buffer.
StringRecord* StringToUTF16(const StringRecord* string);
StringRecord* StringToUTF8(const StringRecord* string);
StringRecord* StringToSystemEncoding(const StringRecord* string);
// Replaces the variable's string by its system-encoding form.
void ConvertStringToSystemEncoding(StringRecord** variable);
// Unchanged (shared) when already in that encoding or the encoding is unknown.
StringRecord* ConvertStringToEncoding(const StringRecord* string, uint32_t encoding);
// Shift-JIS for Japanese, Chinese for the Chinese languages, Windows Latin-1
// otherwise; computed once from the user's default language.
uint32_t GetSystemTextEncoding();

// TextEncoding objects: a new object (the caller's) for an encoding, nil for
// 0xFFFF; an object's encoding value, 0xFFFF for nil.
RuntimeObject* GetTEObjectFromEncoding(uint32_t encoding);
uint32_t GetEncodingFromTEObject(RuntimeObject* textEncoding);

// Strings alive now (static ones not counted), for leak checks.
uint32_t RuntimeLiveStringCount();

}  // extern "C"

// ---- For the run-time's own C++ code ---------------------------------------
// A new string holding a copy of count bytes in the given encoding.
StringRecord* NewString(const void* bytes, size_t count, uint32_t encoding);
StringRecord* NewString(const std::string& bytes, uint32_t encoding);
// Length, bytes (NUL-terminated) and encoding, null reading as an empty
// string in the default encoding.
uint32_t StringLength(const StringRecord* string);
const uint8_t* StringData(const StringRecord* string);
uint32_t StringEncoding(const StringRecord* string);
// A string filled in place: NewStringWithRoom gives one of length 0 with
// room for capacity bytes; StringRoom gives those bytes and StringSetLength
// sets how many of them count (up to the capacity). Both are for a string
// the caller alone holds.
StringRecord* NewStringWithRoom(uint32_t capacity, uint32_t encoding);
// The same, or null when memory runs out (for sizes that input decides).
StringRecord* NewStringWithRoomOrNull(uint32_t capacity, uint32_t encoding);
uint8_t* StringRoom(StringRecord* string);
void StringSetLength(StringRecord* string, uint32_t length);
// A new string of UTF-8 text (encoding 0x08000100).
StringRecord* StringFromUTF8(const std::string& text);
// A new string of bytes in the default encoding 0x600 (ASCII literals).
StringRecord* StringFromASCII(const char* text);
// The text as UTF-8 / UTF-16, whatever its encoding.
std::string StringToStdUTF8(const StringRecord* string);
std::u16string StringToStdUTF16(const StringRecord* string);
// The raw bytes.
std::string StringBytes(const StringRecord* string);
// The code points RuntimeStringCompare compares, case folded: two keys
// compared element by element, the shorter first on a tie, order as the
// strings do. For sorting many texts by one key each.
std::u32string RuntimeStringSortKey(const StringRecord* string);
