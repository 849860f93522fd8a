// The ScrollableCursor class.
#include "database/results/ScrollableCursor.h"

#include <iterator>
#include <memory>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/DBValue.h"
#include "database/api/DatabaseRecord.h"
#include "database/api/RecordSet.h"
#include "database/results/BuilderSource.h"
#include "database/results/RowSpool.h"
#include "files/ByteStream.h"
#include "ui/Binding.h"

namespace {

ScrollableCursorFields* Argument(RuntimeObject* cursor) {
  return InstanceArgument<ScrollableCursorFields>(
      cursor, GetScrollableCursorClassDefinition(), "ScrollableCursor", __LINE__,
      "ObjectIsADefinition(cursor, ScrollableCursor)");
}

void AppendCompact(std::string* row, int32_t value) {
  uint8_t bytes[kCompactIntMaxBytes];
  row->append(reinterpret_cast<const char*>(bytes), size_t(EncodeCompactInt(value, bytes)));
}

void AppendText(std::string* row, const uint8_t* bytes, uint32_t length) {
  AppendCompact(row, int32_t(length));
  row->append(reinterpret_cast<const char*>(bytes), length);
}

// The name's 1-based number in the cursor's list, appended when new.
int32_t NameNumber(ScrollableCursorFields* fields, const std::string& name) {
  int32_t number = 1;
  for (LocatorName* node = fields->namesHead; node; node = node->next, ++number) {
    if (StringBytes(node->name) == name) return number;
  }
  auto* node = new LocatorName{nullptr, NewString(name, kEncodingASCII)};
  (fields->namesTail ? fields->namesTail->next : fields->namesHead) = node;
  fields->namesTail = node;
  return number;
}

// One row of the set in the spool's form.
void EncodeRow(ScrollableCursorFields* fields, RecordSetFields* set, std::string* row) {
  const CursorSlots cursor = RecordSetCursor(set);
  for (int32_t column = 0; column < fields->columnCount; ++column) {
    StringRef text;
    if (const DBPendingValue* pending = RecordSetPending(set, column)) {
      text = StringRef::Adopt(pending->value ? StringToSystemEncoding(pending->value)
                                             : StringFromASCII(""));
    } else {
      const CursorValue value = cursor.ColumnValue(column);
      text = StringRef::Adopt(DBValueText(value.view()));
    }
    AppendText(row, StringData(text.get()), StringLength(text.get()));
  }
  std::vector<std::string> conditions;
  for (int32_t column = 0; column < fields->columnCount; ++column) {
    DBColumnLocator locator;
    if (!cursor.GetColumnLocator(column, &locator)) {
      AppendCompact(row, 0);
      continue;
    }
    AppendCompact(row, NameNumber(fields, locator.name));
    int32_t seen = 0;
    while (size_t(seen) < conditions.size() && conditions[size_t(seen)] != locator.condition) ++seen;
    if (size_t(seen) < conditions.size()) {
      AppendCompact(row, -(seen + 1));
    } else {
      conditions.push_back(locator.condition);
      AppendText(row, reinterpret_cast<const uint8_t*>(locator.condition.data()),
                 uint32_t(locator.condition.size()));
    }
  }
}

void Fill(ScrollableCursorFields* fields, RuntimeObject* set) {
  BuilderSource source(set);
  fields->columnCount = cursorFieldCount(set, 0);
  std::unique_ptr<RowSpool> spool = RowSpool::Make();
  bool filled = spool != nullptr;
  while (filled && !source.AtEnd()) {
    std::string row;
    EncodeRow(fields, source.fields(), &row);
    filled = spool->Append(row.data(), row.size()) && source.Next();
  }
  if (!filled || !spool->Flush()) return source.Fail();
  fields->spool = spool.release();
}

void DestroyCursor(RuntimeObject* cursor) {
  ScrollableCursorFields* fields = ObjectFields<ScrollableCursorFields>(cursor);
  delete fields->spool;
  fields->spool = nullptr;
  while (LocatorName* node = fields->namesHead) {
    fields->namesHead = node->next;
    StringRecordRelease(node->name);
    delete node;
  }
  fields->namesTail = nullptr;
}

// The row's column texts, or false when a length runs past its bytes.
bool DecodeRow(const std::string& bytes, int32_t columns, std::vector<StringRef>* texts) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t at = 0;
  for (int32_t column = 0; column < columns; ++column) {
    int32_t length = 0;
    const int32_t used = DecodeCompactInt(data + at, bytes.size() - at, &length);
    if (!used || length < 0 || size_t(length) > bytes.size() - at - size_t(used)) return false;
    at += size_t(used);
    texts->push_back(StringRef::Adopt(NewString(data + at, size_t(length), kEncodingASCII)));
    at += size_t(length);
  }
  return true;
}

ObjectDefinition* MakeCursorDefinition() {
  static ObjectDefinition definition;
  static const ParameterRecord set[] = {{"cursor", GetRecordSetClassDefinition(), 0}};
  static const ParameterRecord row[] = {{"row", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, set, 1, RUNTIME_ENTRY(ScrollableCursorConstructor)),
      MakeMethodRecord("GetCount", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(ScrollableCursorGetCount)),
      MakeMethodRecord("GetRow", GetTupleInterfaceInterfaceDefinition(), row, 1,
                       RUNTIME_ENTRY(ScrollableCursorGetRow)),
  };
  ObjectDefinitionSetName(&definition, "ScrollableCursor");
  definition.instanceSize = sizeof(ScrollableCursorFields);
  definition.destructor = DestroyCursor;
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  definition.AddInterface(GetListDataProviderInterfaceDefinition());
  return &definition;
}

}  // namespace

ObjectDefinition* GetScrollableCursorClassDefinition() {
  static ObjectDefinition* const definition = MakeCursorDefinition();
  return definition;
}

RuntimeObject* NewScrollableCursor(RuntimeObject* set) {
  RuntimeObject* cursor = CreateInstance(GetScrollableCursorClassDefinition());
  ScrollableCursorConstructor(cursor, set);
  return cursor;
}

std::string ScrollableCursorRowBytes(RuntimeObject* cursor, int32_t row) {
  const ScrollableCursorFields* fields = Argument(cursor);
  std::string bytes;
  if (!fields || !fields->spool || !fields->spool->Read(row - 1, &bytes)) bytes.clear();
  return bytes;
}

extern "C" {

void ScrollableCursorConstructor(RuntimeObject* cursor, RuntimeObject* set) {
  ScrollableCursorFields* fields = Argument(cursor);
  if (!fields || fields->spool || !RecordSetArgument(set)) return;
  Fill(fields, set);
}

int32_t ScrollableCursorGetCount(RuntimeObject* cursor) {
  const ScrollableCursorFields* fields = Argument(cursor);
  return fields && fields->spool ? fields->spool->Count() : 0;
}

RuntimeObject* ScrollableCursorGetRow(RuntimeObject* cursor, int32_t row) {
  const ScrollableCursorFields* fields = Argument(cursor);
  std::string bytes;
  std::vector<StringRef> texts;
  if (!fields || !fields->spool || !fields->spool->Read(row - 1, &bytes) ||
      !DecodeRow(bytes, fields->columnCount, &texts)) {
    return nullptr;
  }
  RuntimeObject* record = CreateInstance(GetDatabaseRecordClassDefinition());
  DBRecordColumn** tail = &ObjectFields<DatabaseRecordFields>(record)->columns;
  for (StringRef& text : texts) {
    *tail = new DBRecordColumn{nullptr, nullptr, text.release(), kDBVarChar};
    tail = &(*tail)->next;
  }
  return record;
}

}  // extern "C"
