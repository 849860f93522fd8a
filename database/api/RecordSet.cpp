// The RecordSet class: moves, fields, edits and the write-back of pending
// values.
#include "database/api/RecordSet.h"

#include <cctype>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/DBRegistry.h"
#include "database/api/DBValue.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"

struct CursorColumnNames {
  std::vector<StringRef> names;
};

namespace {

RecordSetFields* FieldsOf(RuntimeObject* set) { return ObjectFields<RecordSetFields>(set); }

void DiscardPending(RecordSetFields* self) {
  while (DBPendingValue* node = self->pending) {
    self->pending = node->next;
    StringRecordRelease(node->value);
    delete node;
  }
}

void ForgetNames(RecordSetFields* self) { delete std::exchange(self->names, nullptr); }

const std::vector<StringRef>& NamesOf(RecordSetFields* self) {
  if (!self->names) {
    self->names = new CursorColumnNames;
    const CursorSlots cursor = RecordSetCursor(self);
    const int32_t count = cursor.ColumnCount();
    self->names->names.reserve(size_t(count > 0 ? count : 0));
    for (int32_t column = 0; column < count; ++column) {
      StringRef name = StringRef::Adopt(cursor.ColumnName(column));
      if (!cursor.Has(kCursorColumnName)) {
        name = StringRef::Adopt(StringFromASCII(("field" + std::to_string(column + 1)).c_str()));
      }
      self->names->names.push_back(std::move(name));
    }
  }
  return self->names->names;
}

void DestroyRecordSet(RuntimeObject* set) { cursorClose(set); }

// What a move does first: edits not handed on are dropped.
RecordSetFields* ForMove(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  if (self) DiscardPending(self);
  return self;
}

// Moving back: EOF follows BOF once the engine has moved.
void MoveBack(RuntimeObject* set, bool (CursorSlots::*move)() const) {
  RecordSetFields* self = ForMove(set);
  if (self && (RecordSetCursor(self).*move)()) self->eof = self->bof;
}

void NotUpdatable(RuntimeObject* database) {
  TOVADatabaseSetError(database, kDBErrorNotUpdatable, "Record set is not updatable");
}

bool SameTable(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

StringRecord* TextOf(const std::string& bytes) { return NewString(bytes, kEncodingASCII); }

// One UPDATE statement's worth: the changes of one row of one table.
struct UpdateGroup {
  std::string table;
  std::string condition;
  SQLText assignments;
};

// The UPDATE statements for the changes (oldest edit first), newest group
// first; empty when a locator does not name a table and column.
bool GroupChanges(const std::vector<DBFieldChange>& changes, std::vector<UpdateGroup>* groups) {
  for (const DBFieldChange& change : changes) {
    const std::string locator(change.locator, size_t(change.locatorLength));
    const std::string condition(change.condition, size_t(change.conditionLength));
    const size_t bang = locator.find('!');
    if (bang == std::string::npos) return false;
    const std::string table = locator.substr(0, bang);
    StringRef column = StringRef::Adopt(TextOf(locator.substr(bang + 1)));
    auto group = groups->begin();
    while (group != groups->end() && !(SameTable(group->table, table) &&
                                      group->condition == condition)) {
      ++group;
    }
    if (group == groups->end()) {
      group = groups->insert(groups->begin(), UpdateGroup{table, condition, {}});
    } else {
      group->assignments.Add(", ");
    }
    group->assignments.Add("[").Add(column.get());
    if (change.value) {
      group->assignments.Add("] = ").AddQuoted(change.value);
    } else {
      group->assignments.Add("] = NULL");
    }
  }
  return true;
}

// Pending values through the owning database, all or none: every value needs
// its locator, and the database UpdateFields or a connection for UPDATE
// statements.
void WriteThroughDatabase(RecordSetFields* self, RuntimeObject* database) {
  const CursorSlots cursor = RecordSetCursor(self);
  std::vector<DBColumnLocator> locators;
  for (const DBPendingValue* value = self->pending; value; value = value->next) {
    locators.emplace_back();
    if (!cursor.GetColumnLocator(value->column, &locators.back())) return NotUpdatable(database);
  }
  // The change list runs from the oldest edit to the newest.
  std::vector<DBFieldChange> changes(locators.size());
  const DBPendingValue* value = self->pending;
  for (size_t i = 0; i < locators.size(); ++i, value = value->next) {
    DBFieldChange& change = changes[locators.size() - 1 - i];
    change.locator = locators[i].name.data();
    change.locatorLength = int32_t(locators[i].name.size());
    change.condition = locators[i].condition.data();
    change.conditionLength = int32_t(locators[i].condition.size());
    change.value = value->value;
  }
  for (size_t i = 0; i + 1 < changes.size(); ++i) changes[i].next = &changes[i + 1];

  const DatabaseFields* owner = DatabaseArgument(database);
  if (!owner) return;
  const EngineSlots engine = DatabaseEngine(owner);
  if (engine.Has(kEngineUpdateFields)) return engine.UpdateFields(changes.data());
  std::vector<UpdateGroup> groups;
  if (!owner->handle || !GroupChanges(changes, &groups)) return NotUpdatable(database);
  for (const UpdateGroup& group : groups) {
    StringRef table = StringRef::Adopt(TextOf(group.table));
    StringRef condition = StringRef::Adopt(TextOf(group.condition));
    SQLText statement;
    statement.Add("UPDATE [").Add(table.get()).Add("] SET ").Add(group.assignments.get());
    statement.Add(" WHERE ").Add(condition.get());
    databaseExecute(database, statement.get());
    // A failed statement ends the write-back, so that its error stays to be
    // read rather than being cleared by the next one.
    if (databaseErrorCodeGetter(database, 0) != 0) return;
  }
}

ObjectDefinition* MakeDatabaseCursorDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly | kPropertyPassesParameter, "BOF", &kBooleanType,
       RUNTIME_ENTRY(boolGetter), nullptr, nullptr, uint32_t(offsetof(RecordSetFields, bof))},
      {kPropertyReadOnly | kPropertyPassesParameter, "EOF", &kBooleanType,
       RUNTIME_ENTRY(boolGetter), nullptr, nullptr, uint32_t(offsetof(RecordSetFields, eof))},
      {kPropertyReadOnly, "FieldCount", &kIntegerType, RUNTIME_ENTRY(cursorFieldCount), nullptr,
       nullptr, 0},
  };
  static const MemberType field = GetDatabaseFieldClassDefinition();
  static const ParameterRecord name[] = {{"name", &kStringType, 0}};
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("MoveNext", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorMoveNext)),
      MakeMethodRecord("Field", field, name, 1, RUNTIME_ENTRY(cursorGetField)),
      MakeMethodRecord("IdxField", field, index, 1, RUNTIME_ENTRY(cursorGetFieldByIndex)),
      MakeMethodRecord("DeleteRecord", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorDeleteRecord)),
      MakeMethodRecord("Edit", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorEdit)),
      MakeMethodRecord("Update", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorUpdate)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorClose)),
      MakeMethodRecord("MovePrevious", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorMovePrevious)),
      MakeMethodRecord("MoveFirst", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorMoveFirst)),
      MakeMethodRecord("MoveLast", nullptr, nullptr, 0, RUNTIME_ENTRY(cursorMoveLast)),
      MakeMethodRecord("RecordCount", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(cursorRecordCount)),
      MakeMethodRecord("ColumnType", &kIntegerType, index, 1, RUNTIME_ENTRY(cursorColumnType)),
  };
  return FillClassDefinition(&definition, "DatabaseCursor", sizeof(RecordSetFields), nullptr,
                             DestroyRecordSet, properties, methods);
}

}  // namespace

ObjectDefinition* GetDatabaseCursorClassDefinition() {
  static ObjectDefinition* const definition = MakeDatabaseCursorDefinition();
  return definition;
}

ObjectDefinition* GetRecordSetClassDefinition() {
  static ObjectDefinition recordSet;
  static ObjectDefinition* const definition =
      FillSubclassDefinition(&recordSet, "RecordSet", GetDatabaseCursorClassDefinition());
  return definition;
}

RecordSetFields* RecordSetArgument(RuntimeObject* set) {
  // Engines make sets of the one class, asked for a field at every value:
  // told at once.
  if (set && set->runtimeClass && set->runtimeClass->definition == GetRecordSetClassDefinition())
    return FieldsOf(set);
  return InstanceArgument<RecordSetFields>(set, GetDatabaseCursorClassDefinition(), "RecordSet",
                                           __LINE__, "ObjectIsADefinition(set, DatabaseCursor)");
}

RuntimeObject* AsRecordSet(RuntimeObject* result) {
  if (ObjectIsADefinition(result, GetDatabaseCursorClassDefinition())) return result;
  RuntimeUnlockObject(result);
  return nullptr;
}

void RecordSetSetOrigin(RuntimeObject* set, RuntimeObject* database, StringRecord* sqlText) {
  RecordSetFields* self = FieldsOf(set);
  RuntimeLockObject(database);
  RuntimeUnlockObject(std::exchange(self->owner, database));
  StringAssign(&self->sqlText, sqlText);
}

RuntimeObject* RecordSetOwner(RuntimeObject* set) { return set ? FieldsOf(set)->owner : nullptr; }

StringRecord* RecordSetColumnName(RecordSetFields* set, int32_t column) {
  const std::vector<StringRef>& names = NamesOf(set);
  if (column < 0 || size_t(column) >= names.size()) return nullptr;
  return StringAddRef(names[size_t(column)].get());
}

const DBPendingValue* RecordSetPending(const RecordSetFields* set, int32_t column) {
  for (const DBPendingValue* node = set->pending; node; node = node->next) {
    if (node->column == column) return node;
  }
  return nullptr;
}

void RecordSetSetPending(RecordSetFields* set, int32_t column, StringRecord* text) {
  if (!set->editing) return;
  auto* node = const_cast<DBPendingValue*>(RecordSetPending(set, column));
  if (!node) {
    set->pending = new DBPendingValue{set->pending, column, nullptr};
    node = set->pending;
  }
  StringAssign(&node->value, text);
}

extern "C" {

RuntimeObject* TOVAdbCursorFromDBCursor(DBHandle handle, DBCursorDefinition* definition) {
  if (!handle || !IsUsableTable(definition ? definition->words : nullptr)) return nullptr;
  RuntimeObject* set = CreateInstance(GetRecordSetClassDefinition());
  RecordSetFields* self = FieldsOf(set);
  self->handle = handle;
  self->definition = definition;
  cursorMoveNext(set);
  self->bof = self->eof;
  DBShutdownContextAddCursor(GetDBShutdownContext(), set);
  return set;
}

int32_t cursorFieldCount(RuntimeObject* set, uint32_t) {
  RecordSetFields* self = RecordSetArgument(set);
  return self ? RecordSetCursor(self).ColumnCount() : 0;
}

void cursorMoveNext(RuntimeObject* set) {
  RecordSetFields* self = ForMove(set);
  if (!self) return;
  self->eof = !RecordSetCursor(self).MoveNext();
  ++self->rowCounter;
}

RuntimeObject* cursorGetField(RuntimeObject* set, StringRecord* name) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self) return nullptr;
  const std::vector<StringRef>& names = NamesOf(self);
  for (size_t column = 0; column < names.size(); ++column) {
    if (StringCompareNoCase(names[column].get(), name) == 0)
      return NewDatabaseField(set, int32_t(column));
  }
  return nullptr;
}

RuntimeObject* cursorGetFieldByIndex(RuntimeObject* set, int32_t index) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self || index < 1 || index > RecordSetCursor(self).ColumnCount()) return nullptr;
  return NewDatabaseField(set, index - 1);
}

void cursorDeleteRecord(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self) return;
  ObjectRef owner = ObjectRef::Retain(self->owner);
  if (owner) DatabaseClearError(owner.get());
  if (!self->handle || self->eof) return;
  const CursorSlots cursor = RecordSetCursor(self);
  if (cursor.Has(kCursorDeleteRecord)) {
    cursor.DeleteRecord();
  } else if (owner) {
    NotUpdatable(owner.get());
  }
}

void cursorEdit(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self) return;
  self->editing = 1;
  RecordSetCursor(self).Edit();
}

void cursorUpdate(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self) return;
  ObjectRef keep = ObjectRef::Retain(set);
  ObjectRef owner = ObjectRef::Retain(self->owner);
  if (owner) DatabaseClearError(owner.get());
  const bool editing = std::exchange(self->editing, 0) != 0;
  if (!editing || !self->pending || !self->handle || self->eof) return;
  const CursorSlots cursor = RecordSetCursor(self);
  if (cursor.Has(kCursorUpdate)) {
    cursor.Update(self->pending);
  } else if (owner) {
    WriteThroughDatabase(self, owner.get());
  }
}

void cursorClose(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  if (!self) return;
  DiscardPending(self);
  ForgetNames(self);
  if (const DBHandle handle = std::exchange(self->handle, 0)) {
    DBShutdownContextRemoveCursor(set);
    CursorSlots(self->definition, handle).Close();
  }
  StringRecordRelease(std::exchange(self->sqlText, nullptr));
  RuntimeUnlockObject(std::exchange(self->owner, nullptr));
}

void cursorMovePrevious(RuntimeObject* set) { MoveBack(set, &CursorSlots::MovePrev); }

void cursorMoveFirst(RuntimeObject* set) { MoveBack(set, &CursorSlots::MoveFirst); }

void cursorMoveLast(RuntimeObject* set) { MoveBack(set, &CursorSlots::MoveLast); }

int32_t cursorRecordCount(RuntimeObject* set) {
  RecordSetFields* self = RecordSetArgument(set);
  return self ? RecordSetCursor(self).RowCount() : -1;
}

int32_t cursorColumnType(RuntimeObject* set, int32_t column) {
  RecordSetFields* self = RecordSetArgument(set);
  return self ? RecordSetCursor(self).ColumnType(column) : -1;
}

}  // extern "C"
