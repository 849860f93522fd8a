// Conversions of engine values and edit texts.
#include "database/api/DBValue.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "core/Date.h"
#include "core/Numeric.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/basicstr.h"
#include "core/string.h"

namespace {

template <class T>
T ReadHost(const DBValueView& value) {
  T result;
  std::memcpy(&result, value.data, sizeof result);
  return result;
}

int32_t BigEndianWord(const DBValueView& value, int index) {
  return int32_t(value.data[2 * index]) << 8 | value.data[2 * index + 1];
}

StringRecord* TextOf(const DBValueView& value) {
  return NewString(value.data, value.length, kEncodingASCII);
}

// Appends the word in decimal, zero-padded to at least `width` digits.
char* PutWord(char* out, int32_t word, int width) {
  char digits[12];
  int count = 0;
  auto magnitude = uint32_t(word);
  do {
    digits[count++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  while (count < width) digits[count++] = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

// Three words with a separator between them.
char* PutWords(char* out, int32_t a, int32_t b, int32_t c, int firstWidth, char separator) {
  out = PutWord(out, a, firstWidth);
  *out++ = separator;
  out = PutWord(out, b, 2);
  *out++ = separator;
  return PutWord(out, c, 2);
}

// "yyyy-MM-dd", "HH:mm:ss" or both with a blank between, from the stored
// words, never through a locale (which refuses or alters dates it thinks
// invalid); the end of the text.
char* PutDateText(const DBValueView& value, char* out) {
  const DBDateWords words = DBValueDateWords(value);
  if (value.type != kDBTime) out = PutWords(out, words.year, words.month, words.day, 4, '-');
  if (value.type == kDBTimeStamp) *out++ = ' ';
  if (value.type != kDBDate) out = PutWords(out, words.hour, words.minute, words.second, 2, ':');
  return out;
}

// The magnitude's hundredths rounded to the nearest whole number, a tie to
// the even one (as a fixed two-decimal text rounds), worked out exactly from
// the double's bits; false for magnitudes of 2^52 and more, which are whole
// numbers too long for this.
bool RoundedHundredths(double magnitude, uint64_t* hundredths) {
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const auto biased = int32_t(bits >> 52 & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
  if (biased) mantissa |= uint64_t(1) << 52;
  // The magnitude is mantissa / 2^shift; a subnormal's exponent is that of
  // the smallest normal.
  const int32_t shift = 1075 - std::max(biased, 1);
  if (shift <= 0) return false;
  const uint64_t scaled = mantissa * 100;  // below 2^60
  if (shift > 60) {  // under half a hundredth
    *hundredths = 0;
    return true;
  }
  uint64_t whole = scaled >> shift;
  const uint64_t rest = scaled & ((uint64_t(1) << shift) - 1);
  const uint64_t half = uint64_t(1) << (shift - 1);
  if (rest > half || (rest == half && (whole & 1))) ++whole;
  *hundredths = whole;
  return true;
}

// Two decimals at most, a final ".0" dropped ("2", "2.25", ".5"), as the
// number format "-#.0#" shows it: correctly rounded, no leading zero, the
// second decimal only when it is not 0, no sign on a value that shows only
// zeros. The end of the text; null for a number that is not finite or
// rounds to nothing at two decimals (0, 0.001), which would read "", as a
// NULL does, and be lost by whatever writes the text back: such numbers read
// in full instead.
char* PutDoubleText(double number, char* out) {
  if (!std::isfinite(number)) return nullptr;
  uint64_t hundredths = 0;
  const bool small = RoundedHundredths(std::fabs(number), &hundredths);
  // The largest double has 309 whole digits.
  char digits[320];
  const char* whole = digits;
  const char* point = digits;
  char tenths, last;
  if (small) {
    // Most numbers need no 64-bit division, which a 32-bit target calls out for.
    uint32_t cents;
    if (hundredths <= UINT32_MAX) {
      const uint32_t units = uint32_t(hundredths) / 100;
      cents = uint32_t(hundredths) % 100;
      if (units) point = std::to_chars(digits, digits + sizeof digits, units).ptr;
    } else {
      cents = uint32_t(hundredths % 100);
      point = std::to_chars(digits, digits + sizeof digits, hundredths / 100).ptr;
    }
    tenths = char('0' + cents / 10);
    last = char('0' + cents % 10);
  } else {
    const std::to_chars_result fixed = std::to_chars(digits, digits + sizeof digits,
                                                     std::fabs(number), std::chars_format::fixed, 2);
    point = fixed.ptr - 3;
    while (whole < point && *whole == '0') ++whole;
    tenths = point[1];
    last = point[2];
  }
  if (whole == point && tenths == '0' && last == '0') return nullptr;
  if (number < 0) *out++ = '-';
  out = std::copy(whole, point, out);
  if (tenths != '0' || last != '0') {
    *out++ = '.';
    *out++ = tenths;
    if (last != '0') *out++ = last;
  }
  return out;
}

bool BeginsWithT(const uint8_t* bytes, uint32_t length) {
  return length > 0 && (bytes[0] == 't' || bytes[0] == 'T');
}

}  // namespace

bool DBIsTextCode(int32_t type) {
  switch (type) {
    case kDBChar:
    case kDBVarChar:
    case kDBBinary:
    case kDBTextBlob:
    case kDBBlob: return true;
    default: return false;
  }
}

DBDateWords DBValueDateWords(const DBValueView& value) {
  DBDateWords words;
  switch (value.type) {
    case kDBDate:
      words.year = BigEndianWord(value, 0);
      words.month = BigEndianWord(value, 1);
      words.day = BigEndianWord(value, 2);
      break;
    case kDBTime:
      words.hour = BigEndianWord(value, 0);
      words.minute = BigEndianWord(value, 1);
      words.second = BigEndianWord(value, 2);
      break;
    case kDBTimeStamp:
      words = {BigEndianWord(value, 0), BigEndianWord(value, 1), BigEndianWord(value, 2),
               BigEndianWord(value, 3), BigEndianWord(value, 4), BigEndianWord(value, 5)};
      break;
    default: break;
  }
  return words;
}

int32_t DBMadeValueText(const DBValueView& value, char (&text)[kDBMadeTextRoom]) {
  char* end = nullptr;
  switch (value.type) {
    case kDBSmallInt: end = std::to_chars(text, std::end(text), ReadHost<int16_t>(value)).ptr; break;
    case kDBInteger: end = std::to_chars(text, std::end(text), ReadHost<int32_t>(value)).ptr; break;
    case kDBDouble: end = PutDoubleText(ReadHost<double>(value), text); break;
    case kDBDate:
    case kDBTime:
    case kDBTimeStamp: end = PutDateText(value, text); break;
    case kDBBoolean: {
      const bool on = value.data[0] != 0;
      end = std::copy_n(on ? "true" : "false", on ? 4 : 5, text);
      break;
    }
    default: break;
  }
  return end ? int32_t(end - text) : -1;
}

StringRecord* DBValueText(const DBValueView& value) {
  char text[kDBMadeTextRoom];
  const int32_t length = DBMadeValueText(value, text);
  if (length >= 0) return NewString(text, size_t(length), kEncodingASCII);
  switch (value.type) {
    case kDBFloat: return NumberToString(ReadHost<float>(value), 7, kNumberGeneral);
    case kDBDouble: return NumberToString(ReadHost<double>(value), 15, kNumberGeneral);
    default: return DBIsTextCode(value.type) ? TextOf(value) : nullptr;
  }
}

double DBValueNumber(const DBValueView& value) {
  switch (value.type) {
    case kDBSmallInt: return ReadHost<int16_t>(value);
    case kDBInteger: return ReadHost<int32_t>(value);
    case kDBFloat: return ReadHost<float>(value);
    case kDBDouble: return ReadHost<double>(value);
    case kDBBoolean: return value.data[0] != 0 ? 1 : 0;
    default: {
      if (!DBIsTextCode(value.type)) return 0;
      StringRef text = StringRef::Adopt(TextOf(value));
      return StringVal(text.get());
    }
  }
}

int32_t DBValueInteger(const DBValueView& value) { return SaturatedInt32(DBValueNumber(value)); }

bool DBValueBoolean(const DBValueView& value) {
  switch (value.type) {
    case kDBSmallInt:
    case kDBInteger:
    case kDBFloat:
    case kDBDouble: return DBValueNumber(value) != 0;
    case kDBBoolean: return value.data[0] != 0;
    default: return DBIsTextCode(value.type) && BeginsWithT(value.data, value.length);
  }
}

RuntimeObject* DBValueVariant(const DBValueView& value) {
  switch (value.type) {
    case kDBSmallInt:
    case kDBInteger: return intToVariant(DBValueInteger(value));
    case kDBFloat:
    case kDBDouble: return doubleToVariant(DBValueNumber(value));
    case kDBBoolean: return booleanToVariant(value.data[0] != 0);
    case kDBDate:
    case kDBTimeStamp: {
      ObjectRef date = ObjectRef::Adopt(DBValueDate(value));
      return DateToVariant(date.get());
    }
    case kDBTime: {
      // A time alone as the fields (0, 0, 0, h, m, s).
      const DBDateWords words = DBValueDateWords(value);
      ObjectRef date =
          ObjectRef::Adopt(NewDateFromFields(0, 0, 0, words.hour, words.minute, words.second));
      return DateToVariant(date.get());
    }
    default: {
      if (!DBIsTextCode(value.type)) return nullptr;
      StringRef text = StringRef::Adopt(TextOf(value));
      return stringToVariant(text.get());
    }
  }
}

RuntimeObject* DBValueDate(const DBValueView& value) {
  const DBDateWords words = DBValueDateWords(value);
  return NewDateFromFields(words.year, words.month, words.day, words.hour, words.minute,
                           words.second);
}

StringRecord* DBValueBytes(const DBValueView& value) {
  if (!value.length) return nullptr;
  return TextOf(value);
}

double DBTextNumber(const StringRecord* text) { return StringVal(text); }

bool DBTextBoolean(const StringRecord* text) {
  return BeginsWithT(StringData(text), StringLength(text)) ||
         SaturatedInt32(DBTextNumber(text)) != 0;
}

StringRecord* DBDoubleText(double value) { return NumberToString(value, 20, kNumberGeneral); }

StringRecord* DBBooleanText(bool value) { return StringFromASCII(value ? "true" : "false"); }

bool IsPlainNumberText(const StringRecord* text) {
  const char* at = reinterpret_cast<const char*>(StringData(text));
  const char* end = at + StringLength(text);
  auto digits = [&] {
    const char* start = at;
    while (at < end && std::isdigit(static_cast<unsigned char>(*at))) ++at;
    return at > start;
  };
  if (at < end && *at == '-') ++at;
  if (!digits()) return false;
  if (at < end && *at == '.' && (++at, !digits())) return false;
  if (at < end && *at == 'e') {
    ++at;
    if (at == end || (*at != '+' && *at != '-')) return false;
    ++at;
    if (!digits()) return false;
  }
  return at == end;
}

SQLText& SQLText::Add(const char* literal) {
  StringRef piece = StringRef::Adopt(StringFromASCII(literal));
  return Add(piece.get());
}

SQLText& SQLText::Add(const StringRecord* text) {
  StringRecord* held = text_.release();
  StringAppend(&held, text);
  text_ = StringRef::Adopt(held);
  return *this;
}

SQLText& SQLText::AddQuoted(const StringRecord* text) {
  StringRef quote = StringRef::Adopt(StringFromASCII("'"));
  StringRef doubled = StringRef::Adopt(StringFromASCII("''"));
  StringRef escaped;
  ReplaceAll(escaped.out(), text, quote.get(), doubled.get());
  return Add(quote.get()).Add(escaped.get()).Add(quote.get());
}

#ifdef _WINDOWS_
#error "The value conversions stay portable: no <windows.h>."
#endif
