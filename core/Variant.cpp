// The Variant class: construction from values and conversion between types.
#include "core/Variant.h"

#include <cmath>
#include <limits>

#include "core/Date.h"
#include "core/Numeric.h"
#include "core/ObjectDefinition.h"
#include "core/basicstr.h"
#include "core/string.h"

namespace {

VariantObject* VariantFields(RuntimeObject* variant) {
  return ObjectFields<VariantObject>(variant);
}

bool IsVariant(const RuntimeObject* object) {
  return ObjectIsADefinition(object, GetVariantClassDefinition());
}

bool IsDate(const RuntimeObject* object) {
  return ObjectIsADefinition(object, GetDateClassDefinition());
}

bool HoldsObject(int32_t type) { return type == kVariantDate || type == kVariantObject; }

void DestroyVariant(RuntimeObject* variant) {
  VariantObject* fields = VariantFields(variant);
  if (fields->type == kVariantString) RuntimeUnlockString(fields->stringValue);
  if (HoldsObject(fields->type)) RuntimeUnlockObject(fields->objectValue);
  fields->type = kVariantNil;
}

ObjectDefinition* MakeVariantDefinition() {
  static ObjectDefinition definition;
  ObjectDefinitionSetName(&definition, "Variant");
  definition.instanceSize = sizeof(VariantObject);
  definition.destructor = DestroyVariant;
  return &definition;
}

// A new Variant of the type, its value still zero; nil when it cannot be made.
VariantObject* NewVariant(int32_t type) {
  RuntimeObject* object = CreateInstance(GetVariantClassDefinition());
  if (!object) return nullptr;
  VariantObject* fields = VariantFields(object);
  fields->type = type;
  return fields;
}

RuntimeObject* AsObject(VariantObject* fields) { return &fields->header; }

// The held object of a Date or Object Variant; any other object stands for
// itself.
RuntimeObject* HeldObject(RuntimeObject* variant) {
  if (!IsVariant(variant)) return variant;
  VariantObject* fields = VariantFields(variant);
  return HoldsObject(fields->type) ? fields->objectValue : nullptr;
}

// The value as a number, the base of the numeric conversions.
double NumberOf(RuntimeObject* variant) {
  const int32_t type = VarType(variant);
  if (type == kVariantDate) return dateTotalSecondsGetter(HeldObject(variant), 0);
  if (!IsVariant(variant)) return 0;
  const VariantObject* fields = VariantFields(variant);
  switch (type) {
    case kVariantInteger: return fields->integerValue;
    case kVariantDouble: return fields->doubleValue;
    case kVariantString: return StringVal(fields->stringValue);
    case kVariantBoolean: return fields->booleanValue ? 1 : 0;
    case kVariantColor: return fields->colorValue;
    default: return 0;
  }
}

// A number as a colour, as colour properties read text: negative values as
// their 32-bit two's complement, larger ones saturating.
uint32_t ColorOfNumber(double value) {
  if (std::isnan(value)) return 0;
  if (value < 0) return uint32_t(SaturatedInt32(value));
  if (value >= 4294967295.0) return 0xFFFFFFFFu;
  return uint32_t(value);
}

}  // namespace

extern "C" {

ObjectDefinition* GetVariantClassDefinition() {
  static ObjectDefinition* const definition = MakeVariantDefinition();
  return definition;
}

int32_t VarType(RuntimeObject* variant) {
  if (!variant) return kVariantNil;
  if (IsVariant(variant)) return VariantFields(variant)->type;
  return IsDate(variant) ? kVariantDate : kVariantObject;
}

// ---- From values --------------------------------------------------------------

RuntimeObject* intToVariant(int32_t value) {
  VariantObject* variant = NewVariant(kVariantInteger);
  if (!variant) return nullptr;
  variant->integerValue = value;
  return AsObject(variant);
}

RuntimeObject* doubleToVariant(double value) {
  VariantObject* variant = NewVariant(kVariantDouble);
  if (!variant) return nullptr;
  variant->doubleValue = value;
  return AsObject(variant);
}

RuntimeObject* stringToVariant(const StringRecord* text) {
  VariantObject* variant = NewVariant(kVariantString);
  if (!variant) return nullptr;
  variant->stringValue = StringAddRef(const_cast<StringRecord*>(text));
  return AsObject(variant);
}

RuntimeObject* objectToVariant(RuntimeObject* object) {
  if (!object) return nullptr;
  if (IsVariant(object)) {
    RuntimeLockObject(object);
    return object;
  }
  VariantObject* variant = NewVariant(IsDate(object) ? kVariantDate : kVariantObject);
  if (!variant) return nullptr;
  RuntimeLockObject(object);
  variant->objectValue = object;
  return AsObject(variant);
}

RuntimeObject* booleanToVariant(bool value) {
  VariantObject* variant = NewVariant(kVariantBoolean);
  if (!variant) return nullptr;
  variant->booleanValue = value ? 1 : 0;
  return AsObject(variant);
}

RuntimeObject* colorToVariant(uint32_t color) {
  VariantObject* variant = NewVariant(kVariantColor);
  if (!variant) return nullptr;
  variant->colorValue = color;
  return AsObject(variant);
}

RuntimeObject* DateToVariant(RuntimeObject* date) { return objectToVariant(date); }

// ---- To values ------------------------------------------------------------------

int32_t variantToInt(RuntimeObject* variant) {
  switch (VarType(variant)) {
    case kVariantInteger: return VariantFields(variant)->integerValue;
    case kVariantColor: return int32_t(VariantFields(variant)->colorValue);
    default: return SaturatedInt32(NumberOf(variant));
  }
}

double variantToDouble(RuntimeObject* variant) { return NumberOf(variant); }

StringRecord* variantToString(RuntimeObject* variant) {
  const int32_t type = VarType(variant);
  if (type == kVariantDate) return DateToSQLString(HeldObject(variant));
  if (!IsVariant(variant)) return nullptr;
  VariantObject* fields = VariantFields(variant);
  switch (type) {
    case kVariantInteger: return StringFromLong(fields->integerValue);
    case kVariantDouble: return kDoubleType.toText(&fields->doubleValue);
    case kVariantString: return StringAddRef(fields->stringValue);
    case kVariantBoolean: return kBooleanType.toText(&fields->booleanValue);
    case kVariantColor: return kColorType.toText(&fields->colorValue);
    default: return nullptr;
  }
}

bool variantToBoolean(RuntimeObject* variant) {
  switch (VarType(variant)) {
    case kVariantNil: return false;
    case kVariantObject: return true;
    case kVariantString: {
      uint8_t truth = 0;
      kBooleanType.fromText(VariantFields(variant)->stringValue, &truth);
      return truth != 0;
    }
    default: return NumberOf(variant) != 0;
  }
}

uint32_t variantToColor(RuntimeObject* variant) {
  switch (VarType(variant)) {
    case kVariantColor: return VariantFields(variant)->colorValue;
    case kVariantInteger: return uint32_t(VariantFields(variant)->integerValue);
    default: return ColorOfNumber(NumberOf(variant));
  }
}

RuntimeObject* variantToObject(RuntimeObject* variant) {
  RuntimeObject* object = HeldObject(variant);
  RuntimeLockObject(object);
  return object;
}

RuntimeObject* VariantToDate(RuntimeObject* variant) {
  switch (VarType(variant)) {
    case kVariantDate: return variantToObject(variant);
    case kVariantInteger:
    case kVariantDouble: return NewDateFromSeconds(NumberOf(variant));
    case kVariantString: return DateFromSQLString(VariantFields(variant)->stringValue);
    default: return nullptr;
  }
}

}  // extern "C"

#ifdef _WINDOWS_
#error "Variant is portable: it must not include <windows.h>."
#endif
