// The language's DatabaseRecord: named column texts for inserting a row,
// newest column first, each with the value code it was first set with. It
// answers the tupleInterface (FieldCount, getIndString).
//
// Each typed member is a getter with a column name and a setter with a name
// and a value. Setting finds the column by name (case ignored) and replaces
// its text, keeping its code; a new column goes to the head:
//   Column        text, code 5               getter: the text, nil if absent
//   DoubleColumn  up to 20 digits, 7         getter: StringVal of the text
//   IntegerColumn decimal, 3                 getter: leading integer
//   DateColumn    SQL date text, 8           getter: the text as a Date
//   BooleanColumn "true"/"false", 12         getter: the text is "true" (any case)
//   BlobColumn    the bytes, 14              getter: the text
//   JPEGColumn    the picture's JPEG bytes, 5; getter: the decoded picture
//   MacPictColumn "" for a picture, 5        getter: always nil
// Nil dates and pictures (and pictures that cannot be encoded) set nothing.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "database/api/DBInterface.h"

struct ObjectDefinition;

struct DatabaseRecordFields {
  RuntimeObject header;
  DBRecordColumn* columns;  // owned, with their texts
};
static_assert(!kLayoutIs32Bit || offsetof(DatabaseRecordFields, columns) == 24,
              "the column list follows the header");

ObjectDefinition* GetDatabaseRecordClassDefinition();
// The fields of a record; nil (NilObjectException pending) for nil.
DatabaseRecordFields* DatabaseRecordArgument(RuntimeObject* record);
// The record's column list as InsertRecord passes it (borrowed).
DBRecordColumn* DatabaseRecordColumns(RuntimeObject* record);

extern "C" {
StringRecord* recordColumnGetter(RuntimeObject* record, StringRecord* name);
void recordColumnSetter(RuntimeObject* record, StringRecord* name, StringRecord* value);
double recordDoubleColumnGetter(RuntimeObject* record, StringRecord* name);
void recordDoubleColumnSetter(RuntimeObject* record, StringRecord* name, double value);
int32_t recordIntegerColumnGetter(RuntimeObject* record, StringRecord* name);
void recordIntegerColumnSetter(RuntimeObject* record, StringRecord* name, int32_t value);
RuntimeObject* recordDateColumnGetter(RuntimeObject* record, StringRecord* name);
void recordDateColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* date);
bool recordBooleanColumnGetter(RuntimeObject* record, StringRecord* name);
void recordBooleanColumnSetter(RuntimeObject* record, StringRecord* name, uint8_t value);
StringRecord* recordBlobColumnGetter(RuntimeObject* record, StringRecord* name);
void recordBlobColumnSetter(RuntimeObject* record, StringRecord* name, StringRecord* value);
RuntimeObject* recordJPEGColumnGetter(RuntimeObject* record, StringRecord* name);
void recordJPEGColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* picture);
RuntimeObject* recordMacPictColumnGetter(RuntimeObject* record, StringRecord* name);
void recordMacPictColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* picture);
int32_t recordFieldCount(RuntimeObject* record);
// The text of the n-th column from the head (1-based); nil out of range.
StringRecord* recordGetIndString(RuntimeObject* record, int32_t index);
}
