// The ScrollableCursor class.
#include "database/results/ScrollableCursor.h"

#include <cstring>
#include <iterator>
#include <string>
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

// Row r's stored bytes (1-based); false outside the rows. A row below 1 is
// turned away before the spool's index is taken from it.
bool ReadRow(const ScrollableCursorFields* fields, int32_t row, std::string* bytes) {
  return fields && fields->spool && row >= 1 && fields->spool->Read(row - 1, bytes);
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
    if (StringLength(node->name) == name.size() &&
        std::memcmp(StringData(node->name), name.data(), name.size()) == 0) {
      return number;
    }
  }
  auto* node = new LocatorName{nullptr, NewString(name, kEncodingASCII)};
  (fields->namesTail ? fields->namesTail->next : fields->namesHead) = node;
  fields->namesTail = node;
  return number;
}

// What encoding a row needs besides the row itself, kept from row to row so
// that its strings keep their room.
struct RowScratch {
  DBColumnLocator locator;
  std::vector<std::string> conditions;  // the first `used` are this row's
  size_t used = 0;
};

// A value's text as a field's StringValue reads it; a text value's bytes go
// in as they are.
void AppendValueText(std::string* row, const DBValueView& value) {
  if (DBIsTextCode(value.type)) return AppendText(row, value.data, value.length);
  char made[kDBMadeTextRoom];
  const int32_t length = DBMadeValueText(value, made);
  if (length >= 0) return AppendText(row, reinterpret_cast<const uint8_t*>(made), uint32_t(length));
  StringRef text = StringRef::Adopt(DBValueText(value));
  AppendText(row, StringData(text.get()), StringLength(text.get()));
}

// One row of the set in the spool's form.
void EncodeRow(ScrollableCursorFields* fields, RecordSetFields* set, std::string* row,
               RowScratch* scratch) {
  const CursorSlots cursor = RecordSetCursor(set);
  for (int32_t column = 0; column < fields->columnCount; ++column) {
    if (const DBPendingValue* pending = RecordSetPending(set, column)) {
      StringRef text = StringRef::Adopt(pending->value ? StringToSystemEncoding(pending->value)
                                                       : StringFromASCII(""));
      AppendText(row, StringData(text.get()), StringLength(text.get()));
    } else {
      const CursorValue value = cursor.ColumnValue(column);
      AppendValueText(row, value.view());
    }
  }
  std::vector<std::string>& conditions = scratch->conditions;
  scratch->used = 0;
  for (int32_t column = 0; column < fields->columnCount; ++column) {
    DBColumnLocator& locator = scratch->locator;
    if (!cursor.GetColumnLocator(column, &locator)) {
      AppendCompact(row, 0);
      continue;
    }
    AppendCompact(row, NameNumber(fields, locator.name));
    size_t seen = 0;
    while (seen < scratch->used && conditions[seen] != locator.condition) ++seen;
    if (seen < scratch->used) {
      AppendCompact(row, -int32_t(seen + 1));
    } else {
      if (scratch->used == conditions.size()) conditions.emplace_back();
      conditions[scratch->used++] = locator.condition;
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
  std::string row;
  RowScratch scratch;
  while (filled && !source.AtEnd()) {
    row.clear();
    EncodeRow(fields, source.fields(), &row, &scratch);
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
  if (!ReadRow(fields, row, &bytes)) bytes.clear();
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
  if (!ReadRow(fields, row, &bytes) || !DecodeRow(bytes, fields->columnCount, &texts)) {
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
