// The generic field accessors of property records, the value-type
// descriptors, and property lookup for the run-time's own C++ code.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "core/Numeric.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/basicstr.h"
#include "core/diagnostics.h"
#include "core/string.h"

namespace {

// The field's address, or nil (reported) when it does not lie wholly inside
// the instance's fields; a nil object raises NilObjectException.
uint8_t* FieldAddress(RuntimeObject* object, uint32_t offset, uint32_t size) {
  if (!object) {
    RaiseNilObjectException();
    return nullptr;
  }
  const uint32_t instanceSize = object->runtimeClass ? object->runtimeClass->instanceSize : 0;
  if (offset < sizeof(RuntimeObject) || offset > instanceSize || size > instanceSize - offset) {
    const std::string extra = "field of " + std::to_string(size) + " bytes at offset " +
                              std::to_string(offset) + " of an instance of " +
                              std::to_string(instanceSize) + " bytes";
    AssertionFailed(131, 4, "GenericAccessors", __LINE__, "field inside the instance",
                    extra.c_str());
    return nullptr;
  }
  return reinterpret_cast<uint8_t*>(object) + offset;
}

template <class T>
T LoadField(RuntimeObject* object, uint32_t offset) {
  T value{};
  if (const uint8_t* field = FieldAddress(object, offset, sizeof(T))) {
    std::memcpy(&value, field, sizeof(T));
  }
  return value;
}

template <class T>
void StoreField(RuntimeObject* object, uint32_t offset, T value) {
  if (uint8_t* field = FieldAddress(object, offset, sizeof(T))) {
    std::memcpy(field, &value, sizeof(T));
  }
}

template <class T>
T& Storage(void* value) {
  return *static_cast<T*>(value);
}
template <class T>
const T& Storage(const void* value) {
  return *static_cast<const T*>(value);
}

void Nothing(void*) {}

// ---- String ----
StringRecord* StringToText(const void* value) {
  return StringAddRef(Storage<StringRecord*>(value));
}
void StringFromText(const StringRecord* text, void* value) {
  StringAssign(&Storage<StringRecord*>(value), const_cast<StringRecord*>(text));
}
void StringRelease(void* value) {
  StringRecordRelease(Storage<StringRecord*>(value));
  Storage<StringRecord*>(value) = nullptr;
}
void StringRetain(void* value) { StringAddRef(Storage<StringRecord*>(value)); }

// ---- Integer ----
StringRecord* IntegerToText(const void* value) { return StringFromLong(Storage<int32_t>(value)); }
void IntegerFromText(const StringRecord* text, void* value) {
  Storage<int32_t>(value) = SaturatedInt32(StringVal(text));
}

// ---- Boolean ----
StringRecord* BooleanToText(const void* value) {
  return StringFromASCII(Storage<uint8_t>(value) ? "True" : "False");
}
void BooleanFromText(const StringRecord* text, void* value) {
  // UTF-16 text holds a zero byte after each letter of "True".
  const bool wide = StringEncoding(text) == kEncodingUTF16;
  const std::string utf8 = wide ? StringToStdUTF8(text) : std::string();
  const char* bytes = wide ? utf8.c_str() : StringCStr(text);
  bool truth;
  if (CStringCompareNoCase(bytes, "True") == 0) {
    truth = true;
  } else if (CStringCompareNoCase(bytes, "False") == 0) {
    truth = false;
  } else {
    truth = StringVal(text) != 0;
  }
  Storage<uint8_t>(value) = truth ? 1 : 0;
}

// ---- Single and Double ----
StringRecord* SingleToText(const void* value) {
  return NumberToString(Storage<float>(value), 7, -1);
}
void SingleFromText(const StringRecord* text, void* value) {
  const double number = StringVal(text);
  const double largest = std::numeric_limits<float>::max();
  float single;
  if (number > largest) {
    single = std::numeric_limits<float>::infinity();
  } else if (number < -largest) {
    single = -std::numeric_limits<float>::infinity();
  } else {
    single = static_cast<float>(number);
  }
  Storage<float>(value) = single;
}
StringRecord* DoubleToText(const void* value) {
  return NumberToString(Storage<double>(value), 15, -1);
}
void DoubleFromText(const StringRecord* text, void* value) {
  Storage<double>(value) = StringVal(text);
}

// ---- Color ----
StringRecord* ColorToText(const void* value) {
  char text[16];
  std::snprintf(text, sizeof text, "&h%08X", static_cast<unsigned>(Storage<uint32_t>(value)));
  return StringFromASCII(text);
}
// Negative numbers are read as their 32-bit two's complement ("&hFFFFFFFF"
// may read as -1); larger numbers saturate.
void ColorFromText(const StringRecord* text, void* value) {
  const double number = StringVal(text);
  uint32_t color;
  if (std::isnan(number)) {
    color = 0;
  } else if (number < 0) {
    color = static_cast<uint32_t>(SaturatedInt32(number));
  } else if (number >= 4294967295.0) {
    color = 0xFFFFFFFFu;
  } else {
    color = static_cast<uint32_t>(number);
  }
  Storage<uint32_t>(value) = color;
}

}  // namespace

const ValueTypeDescriptor kStringType = {kValueString, "String", StringToText, StringFromText,
                                         StringRelease, StringRetain};
const ValueTypeDescriptor kIntegerType = {kValueInteger, "Integer", IntegerToText,
                                          IntegerFromText, Nothing, Nothing};
const ValueTypeDescriptor kBooleanType = {kValueBoolean, "Boolean", BooleanToText,
                                          BooleanFromText, Nothing, Nothing};
const ValueTypeDescriptor kSingleType = {kValueSingle, "Single", SingleToText, SingleFromText,
                                         Nothing, Nothing};
const ValueTypeDescriptor kDoubleType = {kValueDouble, "Double", DoubleToText, DoubleFromText,
                                         Nothing, Nothing};
const ValueTypeDescriptor kColorType = {kValueColor, "Color", ColorToText, ColorFromText,
                                        Nothing, Nothing};

bool TypeIsValueType(MemberType type) {
  return type && *static_cast<const uint32_t*>(type) != kObjectDefinitionKind;
}

bool FindPropertyAccess(const RuntimeObject* object, const char* name, PropertyAccess* access) {
  if (!object || !object->runtimeClass || !object->runtimeClass->definition || !access) {
    return false;
  }
  const PropertyDefinition* property = object->runtimeClass->definition->FindProperty(name);
  if (!property) return false;
  access->getter = property->record->getter;
  access->setter = property->record->setter;
  access->parameter = property->record->parameter;
  return true;
}

extern "C" {

int32_t intGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<int32_t>(object, offset);
}
void intSetter(RuntimeObject* object, uint32_t offset, int32_t value) {
  StoreField(object, offset, value);
}
int16_t shortGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<int16_t>(object, offset);
}
void shortSetter(RuntimeObject* object, uint32_t offset, int16_t value) {
  StoreField(object, offset, value);
}
uint8_t byteGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<uint8_t>(object, offset);
}
void byteSetter(RuntimeObject* object, uint32_t offset, uint8_t value) {
  StoreField(object, offset, value);
}
bool boolGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<uint8_t>(object, offset) != 0;
}
void boolSetter(RuntimeObject* object, uint32_t offset, uint8_t value) {
  StoreField<uint8_t>(object, offset, value != 0 ? 1 : 0);
}
double doubleGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<double>(object, offset);
}
void doubleSetter(RuntimeObject* object, uint32_t offset, double value) {
  StoreField(object, offset, value);
}
uint32_t colorGetter(RuntimeObject* object, uint32_t offset) {
  return LoadField<uint32_t>(object, offset);
}
void colorSetter(RuntimeObject* object, uint32_t offset, uint32_t value) {
  StoreField(object, offset, value);
}

StringRecord* stringGetter(RuntimeObject* object, uint32_t offset) {
  return StringAddRef(LoadField<StringRecord*>(object, offset));
}

// The new value is counted before the old one is dropped, and the field holds
// the new value before the old one can be freed: assigning the value the
// field already holds keeps it alive.
void stringSetter(RuntimeObject* object, uint32_t offset, StringRecord* value) {
  if (!FieldAddress(object, offset, sizeof(StringRecord*))) return;
  StringRecord* old = LoadField<StringRecord*>(object, offset);
  StoreField(object, offset, StringAddRef(value));
  StringRecordRelease(old);
}

RuntimeObject* objGetter(RuntimeObject* object, uint32_t offset) {
  RuntimeObject* value = LoadField<RuntimeObject*>(object, offset);
  RuntimeLockObject(value);
  return value;
}

void objSetter(RuntimeObject* object, uint32_t offset, RuntimeObject* value) {
  if (!FieldAddress(object, offset, sizeof(RuntimeObject*))) return;
  RuntimeObject* old = LoadField<RuntimeObject*>(object, offset);
  RuntimeLockObject(value);
  StoreField(object, offset, value);
  RuntimeUnlockObject(old);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "GenericAccessors is portable: it must not include <windows.h>."
#endif
