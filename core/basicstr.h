// Numbers as text: parsing and formatting. Numbers are always read and
// written with a '.' whatever the locale.
#pragma once
#include <cstdint>

struct StringRecord;

extern "C" {
// Optional blanks, an optional sign, decimal digits, up to the first other
// character; 0 without digits. Values beyond 32 bits saturate.
int32_t CStringToInt(const char* text);
// The number the text starts with (blanks first, sign, digits, fraction,
// exponent, and "&h" / "&o" / "&b" radix prefixes, whose digits read as an
// unsigned value: "&hFFFFFFFF" gives 4294967295); the rest is ignored ("25%"
// gives 25); 0 when it does not start with a number. A decimal number beyond
// a double's range gives an infinity or 0.
double StringVal(const StringRecord* text);

// Styles of NumberToString.
enum : int32_t {
  kNumberGeneral = -1,  // fixed when 1e-5 <= |value| < 1e6 or value is 0
  kNumberFixed = 0,     // always fixed ("1500000")
  kNumberExponent = 1,  // always the exponent form ("1.5e+6")
};

// A double with `digits` significant digits (correctly rounded, an exact tie
// to even as printf does), trailing zeros dropped, in one of the styles above
// (any other style reads as general). The exponent form is a mantissa, "e", a
// sign and the exponent without padding: "1.5e+6", "2e-7". Digits below 1 or
// above 16 give the fewest digits that read back as the same double (a double
// holds no more). NaN and infinities give "NAN", "INF" and "-INF".
// (Argument order: value, digits, style.)
StringRecord* NumberToString(double value, int32_t digits, int32_t style);

// The number formatted by a format text of "#", "0", ",", ".", "%", "e"/"E"
// and literal text; up to three sections split by ";" for positive, negative
// and zero values (an empty section falls back to the first).
//  - "0" shows a digit or 0, "#" a digit or nothing; whole digits beyond the
//    placeholders all show; fraction digits round to the placeholders, and
//    trailing zeros under "#" are dropped (with the "." when none remain).
//  - "," between whole placeholders groups the whole part by thousands.
//  - "%" multiplies by 100 and shows "%"; "e+0", "E-00" ... give the exponent
//    form (with "+" the exponent's sign always shows).
//  - "-" or "+" before the first placeholder shows the sign there ("+" shows
//    "+" for values >= 0 too); without one a negative value is preceded by
//    "-". A negative value formatted by its own section shows no sign, and a
//    value that rounds to zero shows none either.
//  - A character after "\" and quoted text are literal; any other character
//    shows as it is.
// An empty format gives NumberToString(value, 15, general). The
// result is in the default encoding (UTF-8 when the literals need it); the
// string result held is released.
void FormatNumber(StringRecord** result, double value, const StringRecord* format);
}
