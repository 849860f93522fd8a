// The DatabaseField class: typed reads of a column and edits kept as text.
#include "database/api/DatabaseField.h"

#include <iterator>
#include <utility>

#include "core/Date.h"
#include "core/InstanceArgument.h"
#include "core/Numeric.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/string.h"
#include "database/api/DBValue.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/RecordSet.h"
#include "graphics/PictureClass.h"
#include "ui/Binding.h"

namespace {

DatabaseFieldFields* Checked(RuntimeObject* field) {
  // Record sets make fields of the one class, read once a value: told at once.
  if (field && field->runtimeClass &&
      field->runtimeClass->definition == GetDatabaseFieldClassDefinition())
    return ObjectFields<DatabaseFieldFields>(field);
  return InstanceArgument<DatabaseFieldFields>(field, GetDatabaseCursorFieldClassDefinition(),
                                               "DatabaseField", __LINE__,
                                               "ObjectIsADefinition(field, DatabaseCursorField)");
}

// A field's fields; nil also for a field of no set (one the application made
// itself), which reads and keeps nothing.
DatabaseFieldFields* Argument(RuntimeObject* field) {
  DatabaseFieldFields* fields = Checked(field);
  return fields && fields->set ? fields : nullptr;
}

RecordSetFields* SetOf(const DatabaseFieldFields* field) {
  return ObjectFields<RecordSetFields>(field->set);
}

void DestroyField(RuntimeObject* field) {
  RuntimeUnlockObject(std::exchange(ObjectFields<DatabaseFieldFields>(field)->set, nullptr));
}

// Whether the field's set stands on a row whose values can be read.
bool CanRead(const DatabaseFieldFields* field) {
  const RecordSetFields* set = SetOf(field);
  return !set->eof && !set->bof && RecordSetCursor(set).Has(kCursorColumnValue);
}

// A getter's read: empty when nothing can be read, the pending edit's text
// converted when there is one, otherwise the engine's value converted (and
// released once converted).
template <class Result, class FromText, class FromValue>
Result ReadField(RuntimeObject* object, Result empty, FromText fromText, FromValue fromValue) {
  const DatabaseFieldFields* field = Argument(object);
  if (!field || !CanRead(field)) return empty;
  if (const DBPendingValue* pending = RecordSetPending(SetOf(field), field->column))
    return fromText(pending->value);
  const CursorValue value = RecordSetCursor(SetOf(field)).ColumnValue(field->column);
  return fromValue(value.view());
}

// A setter's write: the text (adopted; nil is NULL) becomes the pending value.
void WriteField(RuntimeObject* object, StringRecord* text) {
  StringRef held = StringRef::Adopt(text);
  if (DatabaseFieldFields* field = Argument(object))
    RecordSetSetPending(SetOf(field), field->column, held.get());
}

bool IsPictureBytes(int32_t type) {
  return type == kDBBinary || type == kDBTextBlob || type == kDBBlob;
}

// A variant's text as edits keep it.
StringRecord* VariantText(RuntimeObject* variant) {
  switch (VarType(variant)) {
    case kVariantNil:
    case kVariantObject: return nullptr;
    case kVariantInteger: return StringFromLong(variantToInt(variant));
    case kVariantDouble: return DBDoubleText(variantToDouble(variant));
    case kVariantBoolean: return DBBooleanText(variantToBoolean(variant));
    case kVariantDate: {
      ObjectRef date = ObjectRef::Adopt(VariantToDate(variant));
      return DateToSQLString(date.get());
    }
    default: {
      StringRecord* text = variantToString(variant);
      return text ? text : StringFromASCII("");
    }
  }
}

ObjectDefinition* MakeCursorFieldDefinition() {
  static ObjectDefinition definition;
  static const MemberType picture = PictureClassDefinition();
  static const MemberType date = GetDateClassDefinition();
  static const MemberType variant = GetVariantClassDefinition();
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "Name", &kStringType, RUNTIME_ENTRY(cursorFieldNameGetter), nullptr,
       nullptr, 0},
      {0, "StringValue", &kStringType, RUNTIME_ENTRY(fieldStringValueGetter),
       RUNTIME_ENTRY(fieldStringValueSetter), 0},
      {0, "DoubleValue", &kDoubleType, RUNTIME_ENTRY(fieldDoubleValueGetter),
       RUNTIME_ENTRY(fieldDoubleValueSetter), 0},
      {0, "IntegerValue", &kIntegerType, RUNTIME_ENTRY(fieldIntegerValueGetter),
       RUNTIME_ENTRY(fieldIntegerValueSetter), 0},
      {kPropertyReadOnly, "NativeValue", &kStringType, RUNTIME_ENTRY(fieldNativeValueGetter),
       nullptr, nullptr, 0},
      {0, "DateValue", date, RUNTIME_ENTRY(fieldDateValueGetter),
       RUNTIME_ENTRY(fieldDateValueSetter), 0},
      {0, "MacPictValue", picture, RUNTIME_ENTRY(fieldMacPictValueGetter),
       RUNTIME_ENTRY(fieldMacPictValueSetter), 0},
      {0, "JPEGValue", picture, RUNTIME_ENTRY(fieldJPEGValueGetter),
       RUNTIME_ENTRY(fieldJPEGValueSetter), 0},
      {0, "BooleanValue", &kBooleanType, RUNTIME_ENTRY(fieldBooleanValueGetter),
       RUNTIME_ENTRY(fieldBooleanValueSetter), 0},
      {0, "Value", variant, RUNTIME_ENTRY(fieldValueGetter), RUNTIME_ENTRY(fieldValueSetter), 0},
  };
  static const ParameterRecord text[] = {{"value", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getString", &kStringType, nullptr, 0,
                       RUNTIME_ENTRY(databaseCursorFieldGetString)),
      MakeMethodRecord("setString", nullptr, text, 1,
                       RUNTIME_ENTRY(databaseCursorFieldSetString)),
  };
  definition.AddInterface(GetStringProviderInterfaceDefinition());
  return FillClassDefinition(&definition, "DatabaseCursorField", sizeof(DatabaseFieldFields),
                             nullptr, DestroyField, properties, methods);
}

}  // namespace

ObjectDefinition* GetDatabaseCursorFieldClassDefinition() {
  static ObjectDefinition* const definition = MakeCursorFieldDefinition();
  return definition;
}

namespace {

// Record sets make a field for each value the application reads and it
// drops it at once: the class keeps the last one dropped for the next.
ObjectDefinition* MakeFieldDefinition() {
  static ObjectDefinition field;
  FillSubclassDefinition(&field, "DatabaseField", GetDatabaseCursorFieldClassDefinition());
  RuntimeClassKeepSpare(RuntimeClassOfDefinition(&field));
  return &field;
}

}  // namespace

ObjectDefinition* GetDatabaseFieldClassDefinition() {
  static ObjectDefinition* const definition = MakeFieldDefinition();
  return definition;
}

RuntimeObject* NewDatabaseField(RuntimeObject* set, int32_t column) {
  RuntimeObject* object = CreateInstance(GetDatabaseFieldClassDefinition());
  DatabaseFieldFields* field = ObjectFields<DatabaseFieldFields>(object);
  RuntimeLockObject(set);
  field->set = set;
  field->column = column;
  return object;
}

extern "C" {

StringRecord* cursorFieldNameGetter(RuntimeObject* object, uint32_t) {
  const DatabaseFieldFields* field = Argument(object);
  return field ? RecordSetColumnName(SetOf(field), field->column) : nullptr;
}

StringRecord* fieldStringValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<StringRecord*>(
      field, nullptr, [](StringRecord* text) { return StringAddRef(text); }, DBValueText);
}

void fieldStringValueSetter(RuntimeObject* field, uint32_t, StringRecord* text) {
  WriteField(field, StringAddRef(text));
}

StringRecord* databaseCursorFieldGetString(RuntimeObject* field) {
  return fieldStringValueGetter(field, 0);
}

void databaseCursorFieldSetString(RuntimeObject* field, StringRecord* text) {
  fieldStringValueSetter(field, 0, text);
}

double fieldDoubleValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<double>(field, 0, DBTextNumber, DBValueNumber);
}

void fieldDoubleValueSetter(RuntimeObject* field, uint32_t, double value) {
  WriteField(field, DBDoubleText(value));
}

int32_t fieldIntegerValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<int32_t>(
      field, 0, [](StringRecord* text) { return SaturatedInt32(DBTextNumber(text)); },
      DBValueInteger);
}

void fieldIntegerValueSetter(RuntimeObject* field, uint32_t, int32_t value) {
  WriteField(field, StringFromLong(value));
}

bool fieldBooleanValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<bool>(field, false, DBTextBoolean, DBValueBoolean);
}

void fieldBooleanValueSetter(RuntimeObject* field, uint32_t, uint8_t value) {
  WriteField(field, DBBooleanText(value != 0));
}

RuntimeObject* fieldDateValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<RuntimeObject*>(field, nullptr, DateFromSQLString, DBValueDate);
}

void fieldDateValueSetter(RuntimeObject* field, uint32_t, RuntimeObject* date) {
  if (date) WriteField(field, DateToSQLString(date));
}

RuntimeObject* fieldValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<RuntimeObject*>(field, nullptr, stringToVariant, DBValueVariant);
}

void fieldValueSetter(RuntimeObject* field, uint32_t, RuntimeObject* variant) {
  WriteField(field, VariantText(variant));
}

RuntimeObject* fieldJPEGValueGetter(RuntimeObject* field, uint32_t) {
  return ReadField<RuntimeObject*>(field, nullptr, DecodeJPEG, [](const DBValueView& value) {
    if (!IsPictureBytes(value.type)) return static_cast<RuntimeObject*>(nullptr);
    StringRef bytes = StringRef::Adopt(DBValueBytes(value));
    return DecodeJPEG(bytes.get());
  });
}

void fieldJPEGValueSetter(RuntimeObject* field, uint32_t, RuntimeObject* picture) {
  StringRecord* bytes = nullptr;
  if (picture && !EncodeJPEG(picture, &bytes)) return;
  WriteField(field, bytes);
}

RuntimeObject* fieldMacPictValueGetter(RuntimeObject* field, uint32_t) {
  Argument(field);
  return nullptr;
}

void fieldMacPictValueSetter(RuntimeObject* field, uint32_t, RuntimeObject*) {
  WriteField(field, nullptr);
}

StringRecord* fieldNativeValueGetter(RuntimeObject* object, uint32_t) {
  const DatabaseFieldFields* field = Argument(object);
  if (!field || !CanRead(field)) return nullptr;
  const CursorValue value = RecordSetCursor(SetOf(field)).ColumnValue(field->column);
  return DBValueBytes(value.view());
}

}  // extern "C"
