// Numbers as text: parsing and formatting.
#pragma once
#include <cstdint>

struct StringRecord;

extern "C" {
// Optional blanks, an optional sign, decimal digits, up to the first other
// character; 0 without digits. Values beyond 32 bits saturate.
int32_t CStringToInt(const char* text);
// The number the text starts with (blanks first, sign, digits, fraction,
// exponent, and "&h" / "&o" / "&b" radix prefixes); the rest is ignored
// ("25%" gives 25); 0 when it does not start with a number.
double StringVal(const StringRecord* text);
// A double with `digits` significant digits. Style -1: the fixed form without
// trailing zeros when 1e-5 <= |value| < 1e6 or value is 0, the exponent form
// otherwise. (Argument order: value, digits, style.)
StringRecord* NumberToString(double value, int32_t digits, int32_t style);
// The number formatted by a specification of "#", "0", ",", ".", "%", "e"/"E"
// and literal text; up to three sections split by ";" for positive, negative
// and zero values.
void FormatNumber(StringRecord** result, double value, const StringRecord* format);
}
