// The DatabaseQuery class and the connection-dialog entries.
#include "database/results/DatabaseQuery.h"

#include <iterator>
#include <string>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/results/ScrollableCursor.h"

namespace {

EventRecord queryEvents[] = {
    {0, "QueryComplete", "", nullptr, 0},
};

DatabaseQueryFields* Argument(RuntimeObject* query) {
  return InstanceArgument<DatabaseQueryFields>(query, GetDatabaseQueryClassDefinition(),
                                               "DatabaseQuery", __LINE__,
                                               "ObjectIsADefinition(query, DatabaseQuery)");
}

bool CanRun(const DatabaseQueryFields* query) {
  return query->database && StringLength(query->sqlQuery) > 0;
}

// The parameter's bytes, each `quote` doubled (none: as they are).
std::string Escaped(const std::string& parameter, char quote) {
  std::string text;
  for (char c : parameter) {
    text += c;
    if (quote && c == quote) text += c;
  }
  return text;
}

std::string Substituted(const std::string& query, const std::string& parameter) {
  std::string text;
  char open = 0;  // the quote of the literal we are in, ']' in a name
  for (size_t i = 0; i < query.size(); ++i) {
    const char c = query[i];
    if (c == '%' && i + 1 < query.size() && query[i + 1] == '1') {
      text += Escaped(parameter, open == ']' ? 0 : open);
      ++i;
      continue;
    }
    text += c;
    if (!open && (c == '\'' || c == '"')) {
      open = c;
    } else if (!open && c == '[') {
      open = ']';
    } else if (open && c == open) {
      // A doubled quote stays inside the literal.
      if (open != ']' && i + 1 < query.size() && query[i + 1] == open) {
        text += query[++i];
      } else {
        open = 0;
      }
    }
  }
  return text;
}

void Fire(RuntimeObject* query) {
  if (EventHandler handler = FindEventHandler(query, &queryEvents[0]))
    reinterpret_cast<void (*)(RuntimeObject*)>(handler)(query);
}

void Run(RuntimeObject* object) {
  ObjectRef hold = ObjectRef::Retain(object);
  DatabaseQueryFields* query = Argument(object);
  if (!query) return;
  query->hasRun = 1;
  RuntimeUnlockObject(std::exchange(query->result, nullptr));
  if (CanRun(query)) {
    ObjectRef database = ObjectRef::Retain(query->database);
    StringRef text = StringRef::Adopt(QueryWithParameter(query->sqlQuery, query->parameter));
    ObjectRef set = ObjectRef::Adopt(databaseSelect(database.get(), text.get()));
    ObjectRef rows = set ? ObjectRef::Adopt(NewScrollableCursor(set.get())) : ObjectRef();
    // A run started meanwhile left a newer result: it stays.
    if (!query->result) query->result = rows.release();
  }
  if (query->nesting == 0) NotifyListDataReload(&query->receivers);
  Fire(object);
}

void DestroyQuery(RuntimeObject* object) {
  DatabaseQueryFields* query = ObjectFields<DatabaseQueryFields>(object);
  RuntimeUnlockObject(std::exchange(query->database, nullptr));
  StringRecordRelease(std::exchange(query->sqlQuery, nullptr));
  RuntimeUnlockObject(std::exchange(query->result, nullptr));
  ReceiverListClear(&query->receivers);
  StringRecordRelease(std::exchange(query->parameter, nullptr));
}

ObjectDefinition* MakeQueryDefinition() {
  static ObjectDefinition definition;
  static const ParameterRecord row[] = {{"row", &kIntegerType, 0}};
  static const ParameterRecord receiver[] = {
      {"receiver", GetListDataNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord text[] = {{"value", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("GetCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(DatabaseQueryGetCount)),
      MakeMethodRecord("GetRow", GetTupleInterfaceInterfaceDefinition(), row, 1,
                       RUNTIME_ENTRY(DatabaseQueryGetRow)),
      MakeMethodRecord("RunQuery", nullptr, nullptr, 0, RUNTIME_ENTRY(DatabaseQueryRunQuery)),
      MakeMethodRecord("PerformAction", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(DatabaseQueryPerformAction)),
      MakeMethodRecord("addListDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(DatabaseQueryAddReceiver)),
      MakeMethodRecord("removeListDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(DatabaseQueryRemoveReceiver)),
      MakeMethodRecord("setString", nullptr, text, 1, RUNTIME_ENTRY(DatabaseQuerySetString)),
  };
  static const PropertyRecord properties[] = {
      {0, "Database", GetDatabaseClassDefinition(), RUNTIME_ENTRY(objGetter),
       RUNTIME_ENTRY(objSetter), offsetof(DatabaseQueryFields, database)},
      {0, "SQLQuery", &kStringType, RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(stringSetter),
       offsetof(DatabaseQueryFields, sqlQuery)},
  };
  ObjectDefinitionSetName(&definition, "DatabaseQuery");
  definition.instanceSize = sizeof(DatabaseQueryFields);
  definition.destructor = DestroyQuery;
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  BuildEventDefinitions(&definition, queryEvents, int32_t(std::size(queryEvents)));
  for (ObjectDefinition* interface :
       {GetListDataProviderInterfaceDefinition(), GetListDataNotifierInterfaceDefinition(),
        GetActionNotificationReceiverInterfaceDefinition(),
        GetStringInterfaceInterfaceDefinition()}) {
    definition.AddInterface(interface);
  }
  return &definition;
}

}  // namespace

ObjectDefinition* GetDatabaseQueryClassDefinition() {
  static ObjectDefinition* const definition = MakeQueryDefinition();
  return definition;
}

StringRecord* QueryWithParameter(const StringRecord* query, const StringRecord* parameter) {
  const bool sameEncoding = !parameter || StringEncoding(query) == StringEncoding(parameter);
  const bool bytewise = sameEncoding && StringEncoding(query) != kEncodingUTF16;
  StringRef text = StringRef::Adopt(bytewise ? StringAddRef(const_cast<StringRecord*>(query))
                                             : StringToUTF8(query));
  StringRef value = StringRef::Adopt(
      !parameter ? StringFromASCII("") : bytewise ? StringAddRef(const_cast<StringRecord*>(parameter))
                                                  : StringToUTF8(parameter));
  return NewString(Substituted(StringBytes(text.get()), StringBytes(value.get())),
                   bytewise ? StringEncoding(query) : kEncodingUTF8);
}

extern "C" {

int32_t DatabaseQueryGetCount(RuntimeObject* object) {
  DatabaseQueryFields* query = Argument(object);
  if (!query) return 0;
  // Held to the end: the run gives the application a background step per
  // row, in which it may drop its last reference to the query.
  ObjectRef hold = ObjectRef::Retain(object);
  if (!query->hasRun) {
    query->hasRun = 1;
    if (CanRun(query)) {
      ++query->nesting;
      Run(object);
      --query->nesting;
    }
  }
  return query->result ? ScrollableCursorGetCount(query->result) : 0;
}

RuntimeObject* DatabaseQueryGetRow(RuntimeObject* object, int32_t row) {
  const DatabaseQueryFields* query = Argument(object);
  return query && query->result ? ScrollableCursorGetRow(query->result, row) : nullptr;
}

void DatabaseQueryRunQuery(RuntimeObject* query) { Run(query); }
void DatabaseQueryPerformAction(RuntimeObject* query) { Run(query); }

void DatabaseQueryAddReceiver(RuntimeObject* object, RuntimeObject* receiver) {
  if (DatabaseQueryFields* query = Argument(object)) ReceiverListAdd(&query->receivers, receiver);
}

void DatabaseQueryRemoveReceiver(RuntimeObject* object, RuntimeObject* receiver) {
  if (DatabaseQueryFields* query = Argument(object)) ReceiverListRemove(&query->receivers, receiver);
}

void DatabaseQuerySetString(RuntimeObject* object, StringRecord* parameter) {
  DatabaseQueryFields* query = Argument(object);
  if (!query) return;
  StringAssign(&query->parameter, parameter);
  Run(object);
}

void* TOVADBConnectionDialogCreate() { return nullptr; }
void TOVADBConnectionDialogAddField() {}
void* TOVADBConnectionDialogShow() { return nullptr; }
void TOVADBConnectionDialogDelete() {}

}  // extern "C"
