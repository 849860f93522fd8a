// The language's DatabaseField ("DatabaseCursorField", whose subclass
// "DatabaseField" is what the run-time makes): one column of a RecordSet,
// read and edited as the language's types. It holds its set while it lives
// and answers the StringProvider interface (getString).
//
// Getters read nothing (nil, 0, false) while the set is at EOF or BOF, is
// closed or has no value slot; otherwise a pending edit of the column wins
// over the engine's value, which is converted as DBValue.h says. Setters turn
// their value into text and keep it as the column's pending value, only while
// the set is editing. A field with no set (one the application made itself)
// reads nothing and keeps nothing:
//   StringValue the text; IntegerValue decimal; DoubleValue up to 20 digits;
//   BooleanValue "true" / "false"; DateValue its SQL text (nil keeps
//   nothing); JPEGValue the picture's JPEG bytes (nil is NULL; when encoding
//   fails the pending value stays as it was); MacPictValue NULL; Value by the
//   variant's kind (nil and objects NULL).
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

struct DatabaseFieldFields {
  RuntimeObject header;
  RuntimeObject* set;  // held
  int32_t column;      // 0-based
};
static_assert(!kLayoutIs32Bit || (offsetof(DatabaseFieldFields, set) == 24 &&
                                  offsetof(DatabaseFieldFields, column) == 28),
              "DatabaseField fields follow the header in their fixed order");

ObjectDefinition* GetDatabaseCursorFieldClassDefinition();
ObjectDefinition* GetDatabaseFieldClassDefinition();
// A new DatabaseField (the caller's) for the set's column.
RuntimeObject* NewDatabaseField(RuntimeObject* set, int32_t column);

extern "C" {
StringRecord* cursorFieldNameGetter(RuntimeObject* field, uint32_t parameter);
StringRecord* databaseCursorFieldGetString(RuntimeObject* field);
void databaseCursorFieldSetString(RuntimeObject* field, StringRecord* text);

StringRecord* fieldStringValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldStringValueSetter(RuntimeObject* field, uint32_t parameter, StringRecord* text);
double fieldDoubleValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldDoubleValueSetter(RuntimeObject* field, uint32_t parameter, double value);
int32_t fieldIntegerValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldIntegerValueSetter(RuntimeObject* field, uint32_t parameter, int32_t value);
bool fieldBooleanValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldBooleanValueSetter(RuntimeObject* field, uint32_t parameter, uint8_t value);
RuntimeObject* fieldDateValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldDateValueSetter(RuntimeObject* field, uint32_t parameter, RuntimeObject* date);
RuntimeObject* fieldValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldValueSetter(RuntimeObject* field, uint32_t parameter, RuntimeObject* variant);
RuntimeObject* fieldJPEGValueGetter(RuntimeObject* field, uint32_t parameter);
void fieldJPEGValueSetter(RuntimeObject* field, uint32_t parameter, RuntimeObject* picture);
RuntimeObject* fieldMacPictValueGetter(RuntimeObject* field, uint32_t parameter);  // nil
void fieldMacPictValueSetter(RuntimeObject* field, uint32_t parameter, RuntimeObject* picture);
// The value's bytes unconverted, pending edits not looked at; nil when no
// value can be read.
StringRecord* fieldNativeValueGetter(RuntimeObject* field, uint32_t parameter);
}
