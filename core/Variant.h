// The Variant class: an object holding one typed value.
//
// Conversions from a value give a new Variant (the caller's reference);
// conversions to a value read nil as the type's zero. Strings convert to
// numbers by StringVal and numbers to strings by NumberToString; Booleans read
// "True" / "False" (any case) and convert to 1 / 0.
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
