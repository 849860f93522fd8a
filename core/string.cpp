// The string record itself: allocation, reference counting, construction,
// combining, slicing and comparing.
#include "core/string.h"

#include <cstring>

#include "core/SmartRef.h"
#include "core/StringCharacters.h"
#include "core/TextEncoding.h"
#include "core/utility.h"

namespace {

uint32_t liveStrings = 0;

uint8_t LengthByte(uint32_t length) { return uint8_t(length < 255 ? length : 255); }

// A record of `length` zero bytes with room for `capacity` (>= length). With
// mayFail, null when memory runs out; without, the process ends then.
StringRecord* NewRecord(uint32_t length, uint32_t capacity, uint32_t encoding,
                        bool mayFail = false) {
  uint8_t* buffer = nullptr;
  if (!mayFail) {
    buffer = static_cast<uint8_t*>(RuntimeAlloc(capacity + 2));
  } else if (capacity <= UINT32_MAX - 2) {
    buffer = static_cast<uint8_t*>(RuntimeAllocOrNull(capacity + 2));
  }
  if (!buffer) return nullptr;
  auto* record = static_cast<StringRecord*>(PoolAlloc(sizeof(StringRecord), mayFail));
  if (!record) {
    RuntimeFree(buffer);
    return nullptr;
  }
  record->refCount = 1;
  record->buffer = buffer;
  record->capacity = capacity;
  record->length = length;
  record->encoding = encoding;
  record->buffer[0] = LengthByte(length);
  ++liveStrings;
  return record;
}

// A record holding a copy of the bytes (and its terminating zero), its two
// blocks taken together; the process ends when memory runs out.
StringRecord* CopiedRecord(const void* bytes, uint32_t length, uint32_t encoding) {
  void* record = nullptr;
  auto* buffer = static_cast<uint8_t*>(
      RuntimeAllocUnfilledPair(length + 2, sizeof(StringRecord), &record));
  if (!buffer) return nullptr;
  buffer[0] = LengthByte(length);
  ShortCopy(buffer + 1, bytes, length);
  buffer[1 + length] = 0;
  auto* made = static_cast<StringRecord*>(record);
  made->refCount = 1;
  made->buffer = buffer;
  made->capacity = length;
  made->length = length;
  made->encoding = encoding;
  ++liveStrings;
  return made;
}

void FreeRecord(StringRecord* record) {
  --liveStrings;
  RuntimeFreePair(record->buffer, record, sizeof(StringRecord));
}

// Replaces what a variable holds by a reference the caller already owns.
void SetVariable(StringRecord** variable, StringRecord* owned) {
  StringRecord* old = *variable;
  *variable = owned;
  StringRecordRelease(old);
}

// The variable's string as a record of its own (count 1) with room for
// `needed` bytes; a shared, static, null or too small string is copied first
// into a record with room for `capacity` (>= needed) bytes.
StringRecord* OwnRecord(StringRecord** variable, uint32_t needed, uint32_t capacity) {
  StringRecord* current = *variable;
  if (current && current->refCount == 1 && current->capacity >= needed) return current;
  uint32_t length = StringLength(current);
  StringRecord* copy = NewRecord(length, capacity, current ? current->encoding : kEncodingASCII);
  std::memcpy(copy->buffer + 1, StringData(current), length);
  SetVariable(variable, copy);
  return copy;
}

// Room to grow by appending: half as much again, at least 16 bytes.
uint32_t GrownCapacity(uint32_t needed) {
  uint32_t extra = needed / 2;
  if (extra < 16) extra = 16;
  return needed > UINT32_MAX - extra - 2 ? needed : needed + extra;
}

uint32_t CountCharacters(const uint8_t* bytes, uint32_t length, uint32_t encodingValue) {
  uint32_t characters = 0;
  for (uint32_t i = 0; i < length; ++characters)
    i += uint32_t(encoding::CharacterLength(bytes + i, length - i, encodingValue));
  return characters;
}

int32_t Sign(int value) { return (value > 0) - (value < 0); }

uint8_t FoldToUpper(uint8_t byte) { return byte >= 'a' && byte <= 'z' ? byte - 32 : byte; }

int32_t CompareBytes(const uint8_t* a, uint32_t lengthA, const uint8_t* b, uint32_t lengthB,
                     bool ignoreCase) {
  uint32_t common = lengthA < lengthB ? lengthA : lengthB;
  for (uint32_t i = 0; i < common; ++i) {
    uint8_t x = ignoreCase ? FoldToUpper(a[i]) : a[i];
    uint8_t y = ignoreCase ? FoldToUpper(b[i]) : b[i];
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(int(lengthA > lengthB) - int(lengthA < lengthB));
}

bool IsUnicode(uint32_t encodingValue) {
  return encodingValue == kEncodingUTF8 || encodingValue == kEncodingUTF16;
}

// The encoding that two non-empty strings joined are written in, and whether
// their bytes can simply be put together. Text in two different encodings is
// converted to a Unicode one so that no character is lost; bytes without an
// encoding (or in one the run-time does not know) are joined as they are.
uint32_t JoinedEncoding(const StringRecord* a, const StringRecord* b, bool* asBytes) {
  uint32_t first = a->encoding, second = b->encoding;
  *asBytes = true;
  if (first == second || first == kEncodingNone || second == kEncodingNone ||
      !encoding::IsKnown(first) || !encoding::IsKnown(second))
    return first;
  bool wide = first == kEncodingUTF16 || second == kEncodingUTF16;
  if (!wide && strings::IsPlainASCII(b)) return first;
  if (!wide && strings::IsPlainASCII(a)) return second;
  *asBytes = false;
  if (IsUnicode(first)) return first;
  return IsUnicode(second) ? second : kEncodingUTF8;
}

StringRecord* JoinBytes(const StringRecord* a, const StringRecord* b, uint32_t encodingValue) {
  uint32_t lengthA = StringLength(a), lengthB = StringLength(b);
  StringRecord* result = NewRecord(lengthA + lengthB, lengthA + lengthB, encodingValue);
  std::memcpy(result->buffer + 1, StringData(a), lengthA);
  std::memcpy(result->buffer + 1 + lengthA, StringData(b), lengthB);
  return result;
}

// Clamps a byte range [offset, offset + count) to the string.
void ClampRange(uint32_t length, int64_t& offset, int64_t& count) {
  if (offset < 0) offset = 0;
  if (offset > length) offset = length;
  if (count < 0) count = 0;
  if (count > int64_t(length) - offset) count = int64_t(length) - offset;
}

}  // namespace

// ---- C++ helpers ------------------------------------------------------------

StringRecord* NewString(const void* bytes, size_t count, uint32_t encoding) {
  auto length = uint32_t(count);
  if (bytes && length <= UINT32_MAX - 2) return CopiedRecord(bytes, length, encoding);
  StringRecord* record = NewRecord(length, length, encoding);
  if (length && bytes) std::memcpy(record->buffer + 1, bytes, length);
  return record;
}

StringRecord* NewString(const std::string& bytes, uint32_t encoding) {
  return NewString(bytes.data(), bytes.size(), encoding);
}

uint32_t StringLength(const StringRecord* string) { return string ? string->length : 0; }

const uint8_t* StringData(const StringRecord* string) {
  static const uint8_t empty[1] = {0};
  return string ? string->buffer + 1 : empty;
}

uint32_t StringEncoding(const StringRecord* string) {
  return string ? string->encoding : kEncodingASCII;
}

StringRecord* NewStringWithRoom(uint32_t capacity, uint32_t encoding) {
  StringRecord* record = NewRecord(0, capacity, encoding);
  record->buffer[1] = 0;
  return record;
}

StringRecord* NewStringWithRoomOrNull(uint32_t capacity, uint32_t encoding) {
  return NewRecord(0, capacity, encoding, true);
}

uint8_t* StringRoom(StringRecord* string) { return string->buffer + 1; }

void StringSetLength(StringRecord* string, uint32_t length) {
  string->length = length;
  string->buffer[0] = LengthByte(length);
  string->buffer[1 + length] = 0;
}

StringRecord* StringFromUTF8(const std::string& text) { return NewString(text, kEncodingUTF8); }

StringRecord* StringFromASCII(const char* text) {
  return NewString(text, text ? std::strlen(text) : 0, kEncodingASCII);
}

std::string StringBytes(const StringRecord* string) {
  return std::string(reinterpret_cast<const char*>(StringData(string)), StringLength(string));
}

extern "C" {

uint32_t RuntimeLiveStringCount() { return liveStrings; }

// ---- Reference counting ----------------------------------------------------

void RuntimeLockString(StringRecord* string) {
  if (string && string->refCount > 0) ++string->refCount;
}

void RuntimeUnlockString(StringRecord* string) {
  if (!string || string->refCount <= 0) return;
  if (--string->refCount == 0) FreeRecord(string);
}

StringRecord* StringAddRef(StringRecord* string) {
  RuntimeLockString(string);
  return string;
}

void StringRecordRelease(StringRecord* string) { RuntimeUnlockString(string); }

void StringAssign(StringRecord** variable, StringRecord* value) {
  RuntimeLockString(value);
  SetVariable(variable, value);
}

// ---- Construction ----------------------------------------------------------

void StringFromBytes(StringRecord** variable, const void* bytes, int32_t count) {
  SetVariable(variable, NewString(bytes, count > 0 ? size_t(count) : 0, kEncodingASCII));
}

void StringAllocate(StringRecord** variable, int32_t n) {
  uint32_t length = n > 0 ? uint32_t(n) : 0;
  SetVariable(variable, NewRecord(length, length, kEncodingNone));
}

StringRecord* StringFromUTF16(const uint16_t* units, int32_t count) {
  if (count <= 0 || !units) return NewString(nullptr, 0, kEncodingUTF16);
  auto text = reinterpret_cast<const char16_t*>(units);
  return NewString(encoding::FromUTF16(text, size_t(count), kEncodingUTF16), kEncodingUTF16);
}

StringRecord* StringFromLong(int32_t value) {
  char text[12];
  uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
  char* end = text + sizeof text;
  char* start = end;
  do {
    *--start = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--start = '-';
  return NewString(start, size_t(end - start), kEncodingASCII);
}

StringRecord* StringFromCodePoint(uint32_t codePoint, uint32_t encodingValue) {
  std::u16string units;
  encoding::AppendUTF16(units, codePoint);
  uint32_t target = encoding::IsKnown(encodingValue) ? encodingValue : GetSystemTextEncoding();
  return NewString(encoding::FromUTF16(units.data(), units.size(), target), target);
}

StringRecord* StringFromHex32(uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  char text[8];
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = digits[value & 0xF];
  return NewString(text, 8, kEncodingASCII);
}

StringRecord* StringFromUInt16LE(uint16_t value) {
  const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
  return NewString(bytes, 2, kEncodingNone);
}

StringRecord* StringFromUInt32BE(uint32_t value) {
  const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                            uint8_t(value)};
  return NewString(bytes, 4, kEncodingNone);
}

uint16_t UInt16FromBytesLE(const StringRecord* string) {
  if (StringLength(string) < 2) return 0;
  const uint8_t* bytes = StringData(string);
  return uint16_t(bytes[0] | (bytes[1] << 8));
}

uint32_t UInt32FromBytesBE(const StringRecord* string) {
  if (StringLength(string) < 4) return 0;
  const uint8_t* bytes = StringData(string);
  return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
         bytes[3];
}

// ---- Combining -------------------------------------------------------------

StringRecord* StringConcat(const StringRecord* a, const StringRecord* b) {
  if (StringLength(b) == 0 && a) return StringAddRef(const_cast<StringRecord*>(a));
  if (StringLength(a) == 0) return StringAddRef(const_cast<StringRecord*>(b));
  bool asBytes;
  uint32_t target = JoinedEncoding(a, b, &asBytes);
  if (asBytes) return JoinBytes(a, b, target);
  StringRef first = StringRef::Adopt(ConvertStringToEncoding(a, target));
  StringRef second = StringRef::Adopt(ConvertStringToEncoding(b, target));
  return JoinBytes(first.get(), second.get(), target);
}

void StringAppend(StringRecord** variable, const StringRecord* tail) {
  if (StringLength(tail) == 0) return;
  if (StringLength(*variable) == 0) {
    StringAssign(variable, const_cast<StringRecord*>(tail));
    return;
  }
  // tail may be the variable's own record: keep it alive while copying.
  StringRef keep = StringRef::Retain(const_cast<StringRecord*>(tail));
  bool asBytes;
  uint32_t target = JoinedEncoding(*variable, tail, &asBytes);
  if (!asBytes) {
    SetVariable(variable, ConvertStringToEncoding(*variable, target));
    keep = StringRef::Adopt(ConvertStringToEncoding(tail, target));
  }
  uint32_t length = (*variable)->length, tailLength = keep->length;
  uint32_t needed = length + tailLength;
  StringRecord* own = OwnRecord(variable, needed, GrownCapacity(needed));
  std::memmove(own->buffer + 1 + length, keep->buffer + 1, tailLength);
  own->length = needed;
  own->encoding = target;
  own->buffer[0] = LengthByte(needed);
  own->buffer[1 + needed] = 0;
}

StringRecord* StringPlusByte(const StringRecord* string, uint8_t byte) {
  uint32_t length = StringLength(string);
  StringRecord* result = NewRecord(length + 1, length + 1, StringEncoding(string));
  std::memcpy(result->buffer + 1, StringData(string), length);
  result->buffer[1 + length] = byte;
  return result;
}

// ---- Slicing -------------------------------------------------------------

StringRecord* StringMidBytes(const StringRecord* string, int32_t offset, int32_t n) {
  uint32_t length = StringLength(string);
  int64_t start = offset, count = n;
  ClampRange(length, start, count);
  if (start == 0 && count == length && string)
    return StringAddRef(const_cast<StringRecord*>(string));
  return NewString(StringData(string) + start, size_t(count), StringEncoding(string));
}

StringRecord* StringLeftBytes(const StringRecord* string, int32_t n) {
  return StringMidBytes(string, 0, n);
}

StringRecord* StringRightBytes(const StringRecord* string, int32_t n) {
  int64_t length = StringLength(string);
  int64_t count = n < 0 ? 0 : (n > length ? length : n);
  return StringMidBytes(string, int32_t(length - count), int32_t(count));
}

StringRecord* StringBytesFrom(const StringRecord* string, int32_t offset) {
  return StringMidBytes(string, offset, INT32_MAX);
}

int32_t StringLen(const StringRecord* string) {
  uint32_t length = StringLength(string), encodingValue = StringEncoding(string);
  if (encodingValue == kEncodingUTF16) return int32_t((length + 1) / 2);
  if (encodingValue != kEncodingUTF8 && !encoding::IsDoubleByte(encodingValue))
    return int32_t(length);
  return int32_t(CountCharacters(StringData(string), length, encodingValue));
}

StringRecord* StringLeft(const StringRecord* string, int32_t n) {
  const uint8_t* bytes = StringData(string);
  uint32_t length = StringLength(string), encodingValue = StringEncoding(string);
  uint32_t end = 0;
  for (int32_t taken = 0; taken < n && end < length; ++taken)
    end += uint32_t(encoding::CharacterLength(bytes + end, length - end, encodingValue));
  return StringLeftBytes(string, int32_t(end));
}

int32_t StringDBCSLen(const StringRecord* string) {
  uint32_t system = GetSystemTextEncoding();
  StringRef converted = StringRef::Adopt(ConvertStringToEncoding(string, system));
  return int32_t(
      CountCharacters(StringData(converted.get()), StringLength(converted.get()), system));
}

namespace {

// The bytes of the last character of UTF-16 text: a surrogate pair's four,
// a single unit's two, or the one byte of an incomplete last unit.
uint32_t UTF16LastCharacterBytes(const uint8_t* bytes, uint32_t length) {
  if (length % 2) return 1;
  auto unit = [&](uint32_t end) { return uint32_t(bytes[end - 2] | bytes[end - 1] << 8); };
  const bool pair = length >= 4 && unit(length) >= 0xDC00 && unit(length) <= 0xDFFF &&
                    unit(length - 2) >= 0xD800 && unit(length - 2) <= 0xDBFF;
  return pair ? 4 : 2;
}

}  // namespace

StringRecord* StringDropLastCharacter(const StringRecord* string) {
  uint32_t length = StringLength(string), encodingValue = StringEncoding(string);
  if (length == 0) return StringAddRef(const_cast<StringRecord*>(string));
  if (encodingValue == kEncodingUTF8) {
    const uint8_t* bytes = StringData(string);
    while (length > 0 && (bytes[length - 1] & 0xC0) == 0x80) --length;
    // A string of nothing but continuation bytes loses them all.
    return StringLeftBytes(string, length ? int32_t(length) - 1 : 0);
  }
  if (encodingValue == kEncodingUTF16) {
    return StringLeftBytes(string,
                           int32_t(length - UTF16LastCharacterBytes(StringData(string), length)));
  }
  if (encodingValue == kEncodingASCII) return StringLeftBytes(string, int32_t(length) - 1);
  return StringLeft(string, StringLen(string) - 1);
}

// ---- Comparing -------------------------------------------------------------

int32_t StringCompareExact(const StringRecord* a, const StringRecord* b) {
  return CompareBytes(StringData(a), StringLength(a), StringData(b), StringLength(b), false);
}

int32_t StringCompareNoCase(const StringRecord* a, const StringRecord* b) {
  return CompareBytes(StringData(a), StringLength(a), StringData(b), StringLength(b), true);
}

int32_t CStringCompareNoCase(const char* a, const char* b) {
  if (!a || !b) return Sign(int(a != nullptr) - int(b != nullptr));
  auto x = reinterpret_cast<const uint8_t*>(a);
  auto y = reinterpret_cast<const uint8_t*>(b);
  return CompareBytes(x, uint32_t(std::strlen(a)), y, uint32_t(std::strlen(b)), true);
}

// ---- C strings -------------------------------------------------------------

const char* StringCStr(const StringRecord* string) {
  return reinterpret_cast<const char*>(StringData(string));
}

char* StringCStrWritable(StringRecord** variable) {
  uint32_t length = StringLength(*variable);
  StringRecord* own = OwnRecord(variable, length, length);
  return reinterpret_cast<char*>(own->buffer + 1);
}

void CStringCopy(char* destination, const char* source) {
  if (!destination) return;
  std::strcpy(destination, source ? source : "");
}

int32_t CStringLength(const char* text) { return text ? int32_t(std::strlen(text)) : 0; }

}  // extern "C"

#ifdef _WINDOWS_
#error "string is portable: it must not include <windows.h>."
#endif
