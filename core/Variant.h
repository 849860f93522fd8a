// The Variant class ("Variant"): an object holding one typed value.
//
// Conversions from a value give a new Variant (the caller's reference); a
// Variant never changes once made. Conversions to a value read nil as the
// type's zero (0, 0.0, "" as nil, False, colour 0, nil object). An object that
// is not a Variant reads as an Object Variant holding it (a Date as a Date
// Variant), so objectToVariant of a Variant gives that Variant back.
//
// Conversions, by the held type:
//   to Integer: numbers truncated toward zero and saturated (NaN 0); a string
//     by StringVal ("3.5" gives 3); Boolean 1 / 0; a Date its TotalSeconds;
//     a Color its 32 bits; an object 0.
//   to Double: the same without truncation ("3.5" gives 3.5).
//   to String: Integer decimal; Double with 15 significant digits; Boolean
//     "True" / "False"; Color "&h00RRGGBB"; a Date its SQL text
//     (DateToSQLString); an object "" (nil).
//   to Boolean: numbers and Dates non-zero; "True" / "False" (any case),
//     other text by its number; an object True.
//   to Color: the number's low 32 bits (negative numbers as two's
//     complement, larger ones saturate); text by StringVal ("&hFF0000").
//   to an object (variantToObject): the held object or Date; nil otherwise.
//   to a Date (VariantToDate): the held Date; a new one from Integer or
//     Double seconds, or from SQL text; nil otherwise.
#pragma once
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct StringRecord;
struct ObjectDefinition;

enum VariantType : int32_t {
  kVariantNil = 0,
  kVariantInteger = 2,
  kVariantDouble = 5,
  kVariantDate = 7,  // holds a Date object
  kVariantString = 8,
  kVariantObject = 9,
  kVariantBoolean = 11,
  kVariantColor = 16,
};

struct VariantObject {
  RuntimeObject header;
  int32_t type;
  union {
    int32_t integerValue;
    double doubleValue;
    StringRecord* stringValue;   // owned
    RuntimeObject* objectValue;  // owned (also the Date of kVariantDate)
    uint8_t booleanValue;
    uint32_t colorValue;
  };
};

extern "C" {
ObjectDefinition* GetVariantClassDefinition();
int32_t VarType(RuntimeObject* variant);  // kVariantNil for nil

RuntimeObject* intToVariant(int32_t value);
RuntimeObject* doubleToVariant(double value);
RuntimeObject* stringToVariant(const StringRecord* text);
RuntimeObject* objectToVariant(RuntimeObject* object);  // nil gives nil
RuntimeObject* booleanToVariant(bool value);
RuntimeObject* colorToVariant(uint32_t color);
RuntimeObject* DateToVariant(RuntimeObject* date);  // nil gives nil

int32_t variantToInt(RuntimeObject* variant);
double variantToDouble(RuntimeObject* variant);
StringRecord* variantToString(RuntimeObject* variant);  // new reference
bool variantToBoolean(RuntimeObject* variant);
uint32_t variantToColor(RuntimeObject* variant);
// The held object with one reference added (the caller releases it); nil when
// the variant holds no object.
RuntimeObject* variantToObject(RuntimeObject* variant);
// A Date (the caller's): the held Date, or one made from a number of seconds
// or from SQL date text; nil otherwise.
RuntimeObject* VariantToDate(RuntimeObject* variant);
}
