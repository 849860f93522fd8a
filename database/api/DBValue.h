// One set of conversions from engine values (a checked DBValueView) to the
// language's types, and of the texts the database classes keep for edits.
// Every reader of cursor values uses these: the field getters here, the SQL
// front-end and the result builders.
//
// By value code (anything not listed reads as null: "", 0, false, nil):
//   2, 3        the integer; text in decimal
//   4, 5, 14-16 the bytes as text; a number by StringVal; true when the text
//               begins with "t" or "T"
//   6           the single; text with 7 significant digits
//   7           the double; text with at most two decimals, a final ".0"
//               dropped ("2", "2.25", ".5"); a number that shows no digit
//               that way reads in full ("0", "-0.001")
//   8, 9, 10    date, time, timestamp: text "yyyy-MM-dd", "HH:mm:ss" or both
//               with a blank between, each word as stored (year at least four
//               digits, the rest two); numbers 0 and false
//   12          "true" / "false", 1 / 0
// Strings and objects returned are the caller's references.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>

#include "core/SmartRef.h"
#include "database/api/DBInterface.h"

// The words of a date, time or timestamp value as stored (big-endian,
// unsigned); fields the code lacks keep the values given here.
struct DBDateWords {
  int32_t year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
DBDateWords DBValueDateWords(const DBValueView& value);

// Whether values of the code read as their bytes (4, 5, 14-16): their text
// is those bytes unchanged.
bool DBIsTextCode(int32_t type);
StringRecord* DBValueText(const DBValueView& value);
// DBValueText's text of a value whose text is made from it (integers, most
// doubles, dates, times, timestamps, booleans) written to `text`, without a
// string: its length. -1 for every other value (texts, bytes, nulls, singles
// and the doubles read in full), whose text only DBValueText gives.
constexpr int32_t kDBMadeTextRoom = 320;
int32_t DBMadeValueText(const DBValueView& value, char (&text)[kDBMadeTextRoom]);
double DBValueNumber(const DBValueView& value);
// The number truncated toward zero (saturated at the 32-bit limits).
int32_t DBValueInteger(const DBValueView& value);
bool DBValueBoolean(const DBValueView& value);
// A Variant by kind (Integer, String, Double, Date, Boolean); nil for null.
RuntimeObject* DBValueVariant(const DBValueView& value);
// A Date: of the date and time words the code has (a time alone on
// 0001-01-01); 0001-01-01 00:00:00 for every other code.
RuntimeObject* DBValueDate(const DBValueView& value);
// The bytes unconverted; nil when there are none.
StringRecord* DBValueBytes(const DBValueView& value);

// Texts kept for edits (nil is SQL NULL).
double DBTextNumber(const StringRecord* text);  // StringVal
// True when the text begins with "t" or "T" or its number truncates to
// non-zero.
bool DBTextBoolean(const StringRecord* text);
// A double as edits store it: up to 20 significant digits, the shortest text
// that reads back the same.
StringRecord* DBDoubleText(double value);
StringRecord* DBBooleanText(bool value);  // "true" / "false"
// Whether the text is a number as the run-time writes one: an optional "-",
// digits, optionally "." and digits, optionally "e", a sign and digits.
bool IsPlainNumberText(const StringRecord* text);

// SQL text the run-time writes (INSERT and UPDATE fallbacks), joined as the
// string functions join texts of different encodings.
class SQLText {
 public:
  SQLText& Add(const char* literal);
  SQLText& Add(const StringRecord* text);
  // "'" + the text with every "'" doubled + "'" (nil gives '').
  SQLText& AddQuoted(const StringRecord* text);
  StringRecord* get() const { return text_.get(); }

 private:
  StringRef text_;
};
