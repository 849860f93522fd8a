// The DatabaseRecord class.
#include "database/api/DatabaseRecord.h"

#include <iterator>
#include <utility>

#include "core/Date.h"
#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/basicstr.h"
#include "core/string.h"
#include "database/api/DBValue.h"
#include "database/api/DatabaseHooks.h"
#include "graphics/PictureClass.h"
#include "ui/Binding.h"

namespace {

DBRecordColumn* Find(const DatabaseRecordFields* record, const StringRecord* name) {
  for (DBRecordColumn* column = record->columns; column; column = column->next) {
    if (StringCompareNoCase(column->name, name) == 0) return column;
  }
  return nullptr;
}

// The column's text (borrowed), nil when the record or the column is absent.
StringRecord* TextOf(RuntimeObject* record, StringRecord* name) {
  const DatabaseRecordFields* fields = DatabaseRecordArgument(record);
  const DBRecordColumn* column = fields ? Find(fields, name) : nullptr;
  return column ? column->value : nullptr;
}

// Stores the text (adopted) under the name; a new column takes the code.
void Store(RuntimeObject* record, StringRecord* name, StringRecord* text, int32_t type) {
  StringRef held = StringRef::Adopt(text);
  DatabaseRecordFields* fields = DatabaseRecordArgument(record);
  if (!fields) return;
  if (DBRecordColumn* column = Find(fields, name)) {
    StringAssign(&column->value, held.get());
    return;
  }
  fields->columns = new DBRecordColumn{fields->columns, StringAddRef(name), held.release(), type};
}

void DestroyRecord(RuntimeObject* record) {
  DatabaseRecordFields* fields = ObjectFields<DatabaseRecordFields>(record);
  while (DBRecordColumn* column = fields->columns) {
    fields->columns = column->next;
    StringRecordRelease(column->name);
    StringRecordRelease(column->value);
    delete column;
  }
}

ObjectDefinition* MakeRecordDefinition() {
  static ObjectDefinition definition;
  static const MemberType date = GetDateClassDefinition();
  static const MemberType picture = PictureClassDefinition();
  static const ParameterRecord name[] = {{"name", &kStringType, 0}};
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Column", &kStringType, name, 1, RUNTIME_ENTRY(recordColumnGetter),
                       RUNTIME_ENTRY(recordColumnSetter)),
      MakeMethodRecord("DoubleColumn", &kDoubleType, name, 1,
                       RUNTIME_ENTRY(recordDoubleColumnGetter),
                       RUNTIME_ENTRY(recordDoubleColumnSetter)),
      MakeMethodRecord("IntegerColumn", &kIntegerType, name, 1,
                       RUNTIME_ENTRY(recordIntegerColumnGetter),
                       RUNTIME_ENTRY(recordIntegerColumnSetter)),
      MakeMethodRecord("DateColumn", date, name, 1, RUNTIME_ENTRY(recordDateColumnGetter),
                       RUNTIME_ENTRY(recordDateColumnSetter)),
      MakeMethodRecord("BooleanColumn", &kBooleanType, name, 1,
                       RUNTIME_ENTRY(recordBooleanColumnGetter),
                       RUNTIME_ENTRY(recordBooleanColumnSetter)),
      MakeMethodRecord("BlobColumn", &kStringType, name, 1, RUNTIME_ENTRY(recordBlobColumnGetter),
                       RUNTIME_ENTRY(recordBlobColumnSetter)),
      MakeMethodRecord("JPEGColumn", picture, name, 1, RUNTIME_ENTRY(recordJPEGColumnGetter),
                       RUNTIME_ENTRY(recordJPEGColumnSetter)),
      MakeMethodRecord("MacPictColumn", picture, name, 1,
                       RUNTIME_ENTRY(recordMacPictColumnGetter),
                       RUNTIME_ENTRY(recordMacPictColumnSetter)),
      MakeMethodRecord("FieldCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(recordFieldCount)),
      MakeMethodRecord("getIndString", &kStringType, index, 1, RUNTIME_ENTRY(recordGetIndString)),
  };
  ObjectDefinitionSetName(&definition, "DatabaseRecord");
  definition.instanceSize = sizeof(DatabaseRecordFields);
  definition.destructor = DestroyRecord;
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  definition.AddInterface(GetTupleInterfaceInterfaceDefinition());
  return &definition;
}

}  // namespace

ObjectDefinition* GetDatabaseRecordClassDefinition() {
  static ObjectDefinition* const definition = MakeRecordDefinition();
  return definition;
}

DatabaseRecordFields* DatabaseRecordArgument(RuntimeObject* record) {
  return InstanceArgument<DatabaseRecordFields>(record, GetDatabaseRecordClassDefinition(),
                                                "DatabaseRecord", __LINE__,
                                                "ObjectIsADefinition(record, DatabaseRecord)");
}

DBRecordColumn* DatabaseRecordColumns(RuntimeObject* record) {
  return ObjectFields<DatabaseRecordFields>(record)->columns;
}

extern "C" {

StringRecord* recordColumnGetter(RuntimeObject* record, StringRecord* name) {
  return StringAddRef(TextOf(record, name));
}

void recordColumnSetter(RuntimeObject* record, StringRecord* name, StringRecord* value) {
  Store(record, name, StringAddRef(value), kDBVarChar);
}

double recordDoubleColumnGetter(RuntimeObject* record, StringRecord* name) {
  return StringVal(TextOf(record, name));
}

void recordDoubleColumnSetter(RuntimeObject* record, StringRecord* name, double value) {
  Store(record, name, DBDoubleText(value), kDBDouble);
}

int32_t recordIntegerColumnGetter(RuntimeObject* record, StringRecord* name) {
  return CStringToInt(StringCStr(TextOf(record, name)));
}

void recordIntegerColumnSetter(RuntimeObject* record, StringRecord* name, int32_t value) {
  Store(record, name, StringFromLong(value), kDBInteger);
}

RuntimeObject* recordDateColumnGetter(RuntimeObject* record, StringRecord* name) {
  return DateFromSQLString(TextOf(record, name));
}

void recordDateColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* date) {
  if (date) Store(record, name, DateToSQLString(date), kDBDate);
}

bool recordBooleanColumnGetter(RuntimeObject* record, StringRecord* name) {
  StringRef expected = StringRef::Adopt(DBBooleanText(true));
  const StringRecord* text = TextOf(record, name);
  return text && StringCompareNoCase(text, expected.get()) == 0;
}

void recordBooleanColumnSetter(RuntimeObject* record, StringRecord* name, uint8_t value) {
  Store(record, name, DBBooleanText(value != 0), kDBBoolean);
}

StringRecord* recordBlobColumnGetter(RuntimeObject* record, StringRecord* name) {
  return recordColumnGetter(record, name);
}

void recordBlobColumnSetter(RuntimeObject* record, StringRecord* name, StringRecord* value) {
  Store(record, name, StringAddRef(value), kDBBinary);
}

RuntimeObject* recordJPEGColumnGetter(RuntimeObject* record, StringRecord* name) {
  return DecodeJPEG(TextOf(record, name));
}

void recordJPEGColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* picture) {
  StringRecord* bytes = nullptr;
  if (picture && EncodeJPEG(picture, &bytes)) Store(record, name, bytes, kDBVarChar);
}

RuntimeObject* recordMacPictColumnGetter(RuntimeObject* record, StringRecord*) {
  DatabaseRecordArgument(record);
  return nullptr;
}

void recordMacPictColumnSetter(RuntimeObject* record, StringRecord* name, RuntimeObject* picture) {
  if (picture) Store(record, name, StringFromASCII(""), kDBVarChar);
}

int32_t recordFieldCount(RuntimeObject* record) {
  const DatabaseRecordFields* fields = DatabaseRecordArgument(record);
  int32_t count = 0;
  for (const DBRecordColumn* column = fields ? fields->columns : nullptr; column;
       column = column->next) {
    ++count;
  }
  return count;
}

StringRecord* recordGetIndString(RuntimeObject* record, int32_t index) {
  const DatabaseRecordFields* fields = DatabaseRecordArgument(record);
  const DBRecordColumn* column = fields ? fields->columns : nullptr;
  for (int32_t position = 1; column && position < index; ++position) column = column->next;
  return index >= 1 && column ? StringAddRef(column->value) : nullptr;
}

}  // extern "C"
