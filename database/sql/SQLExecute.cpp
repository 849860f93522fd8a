// The statements that return no rows, carried out through the engine table
// and table cursors.
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/RecordSet.h"
#include "database/sql/SQLFrontEnd.h"
#include "database/sql/SQLRowCheck.h"

namespace {

// The statement's texts as run-time strings, kept for the engine call.
class Texts {
 public:
  explicit Texts(uint32_t encoding) : encoding_(encoding) { texts_.reserve(16); }
  StringRecord* operator()(const std::string& bytes) {
    texts_.push_back(StringRef::Adopt(NewString(bytes, encoding_)));
    return texts_.back().get();
  }
  StringRecord* Value(const SQLValueText& value) { return value.null ? nullptr : (*this)(value.text); }

 private:
  uint32_t encoding_;
  std::vector<StringRef> texts_;  // the records stay where they are
};

// A linked list over a vector's nodes, in their order.
template <class Node>
Node* Linked(std::vector<Node>& nodes) {
  for (size_t i = 0; i + 1 < nodes.size(); ++i) nodes[i].next = &nodes[i + 1];
  return nodes.empty() ? nullptr : nodes.data();
}

DBColumnDefinition Definition(const SQLColumnType& column, Texts& texts) {
  return DBColumnDefinition{nullptr, texts(column.name), column.type, column.nullable ? 1 : 0};
}

bool Failed(RuntimeObject* database) { return databaseErrorCodeGetter(database, 0) != 0; }

class Statement {
 public:
  Statement(RuntimeObject* database, StringRecord* sql)
      : database_(database), engine_(DatabaseEngine(DatabaseArgument(database))),
        texts_(StringEncoding(sql)), encoding_(StringEncoding(sql)),
        text_(StringData(sql), StringLength(sql), StringEncoding(sql)) {}

  void Run(SQLError* error);

 private:
  void Create(SQLError* error);
  void Alter(SQLError* error);
  void Insert(SQLError* error);
  // UPDATE (with its assignments) and DELETE (without).
  void Change(const std::string& table, SQLCondition& where, const SQLUpdate* update,
              SQLError* error);
  void ChangeRows(RuntimeObject* set, const SQLCondition& where, bool exact,
                  const SQLRowCheck::ColumnLocator& locate, const SQLUpdate* update,
                  const std::vector<int32_t>& columns);

  RuntimeObject* database_;
  EngineSlots engine_;
  Texts texts_;
  uint32_t encoding_;
  SQLTokenizer text_;
};

void Statement::Run(SQLError* error) {
  const SQLToken& first = text_.NextToken();
  const bool commit = first.Is("commit");
  if (commit || first.Is("rollback")) {
    if (!ExpectEnd(text_, error)) return;
    return commit ? engine_.Commit() : engine_.Rollback();
  }
  if (first.Is("create")) return Create(error);
  if (first.Is("alter")) return Alter(error);
  if (first.Is("insert")) return Insert(error);
  if (first.Is("drop")) {
    SQLFail(error, 2007, "Dropping tables from this database is not currently supported.");
    return;
  }
  if (first.Is("update")) {
    SQLUpdate update;
    if (ParseUpdate(text_, &update, error)) Change(update.table, update.where, &update, error);
  } else if (first.Is("delete")) {
    SQLDelete remove;
    if (ParseDelete(text_, &remove, error)) Change(remove.table, remove.where, nullptr, error);
  }
}

void Statement::Create(SQLError* error) {
  SQLCreateTable create;
  bool ignored = false;
  if (!ParseCreateTable(text_, &create, &ignored, error) || ignored) return;
  if (!engine_.Has(kEngineCreateTable)) return;
  if (create.columns.empty()) {
    SQLFail(error, 206, "CREATE TABLE requires at least one column defined");
    return;
  }
  std::vector<DBColumnDefinition> columns;
  for (const SQLColumnType& column : create.columns) columns.push_back(Definition(column, texts_));
  engine_.CreateTable(texts_(create.table), Linked(columns), create.keys.data(),
                      int32_t(create.keys.size()));
}

void Statement::Alter(SQLError* error) {
  SQLAlterTable alter;
  bool ignored = false;
  if (!ParseAlterTable(text_, &alter, &ignored, error) || ignored) return;
  DBColumnDefinition column = Definition(alter.column, texts_);
  engine_.AddColumn(texts_(alter.table), &column);
}

void Statement::Insert(SQLError* error) {
  SQLInsert insert;
  if (!ParseInsert(text_, &insert, error)) return;
  std::vector<DBRecordColumn> columns;
  columns.reserve(insert.columns.size());
  for (size_t i = 0; i < insert.columns.size(); ++i) {
    columns.push_back(DBRecordColumn{nullptr, texts_(insert.columns[i]), texts_.Value(insert.values[i]),
                                     kDBVarChar});
  }
  engine_.InsertRecord(texts_(insert.table), Linked(columns));
}

void Statement::Change(const std::string& table, SQLCondition& where, const SQLUpdate* update,
                       SQLError* error) {
  // Bare right-hand names are settled once the table's columns are known;
  // until then they pass no filter, and the whole WHERE is tested per row.
  bool exact = false;
  SQLFilter filter = MakeFilter(where, encoding_, &exact);
  StringRef star = StringRef::Adopt(StringFromASCII("*"));
  DBColumnSelection all{nullptr, star.get()};
  ObjectRef set = ObjectRef::Adopt(AsRecordSet(engine_.OpenTableCursor(texts_(table), &all, filter.root())));
  if (!set) {
    if (!Failed(database_)) SQLFail(error, 202, "Invalid table " + table);
    return;
  }
  RecordSetSetOrigin(set.get(), database_, nullptr);
  RecordSetFields* fields = RecordSetArgument(set.get());
  std::vector<std::string> names;
  const int32_t count = cursorFieldCount(set.get(), 0);
  names.reserve(size_t(count > 0 ? count : 0));
  for (int32_t column = 0; column < count; ++column) {
    names.push_back(StringBytes(StringRef::Adopt(RecordSetColumnName(fields, column)).get()));
  }
  const auto locate = [&names](int32_t, const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (SameSQLName(names[i], name)) return int32_t(i);
    }
    return int32_t(-1);
  };
  bool resolved = true;
  for (const std::string& name : names) resolved = resolved && ResolveColumn(where, 0, table, name, error);
  std::vector<int32_t> columns;
  if (update) columns.reserve(update->assignments.size());
  if (resolved && CheckResolved(where, error)) {
    for (size_t i = 0; update && i < update->assignments.size(); ++i) {
      columns.push_back(locate(0, update->assignments[i].column));
      if (columns.back() < 0) SQLFail(error, 208, "Mismatched update fields");
    }
    if (!error->code) ChangeRows(set.get(), where, exact, locate, update, columns);
  }
  cursorClose(set.get());
}

void Statement::ChangeRows(RuntimeObject* set, const SQLCondition& where, bool exact,
                           const SQLRowCheck::ColumnLocator& locate, const SQLUpdate* update,
                           const std::vector<int32_t>& columns) {
  RecordSetFields* fields = RecordSetArgument(set);
  SQLRowCheck check;
  std::vector<CursorSlots> rows;  // what the row test reads, when there is one
  if (!exact) {
    check.Prepare(where, locate, encoding_);
    rows.push_back(RecordSetCursor(fields));
  }
  for (; !fields->eof; cursorMoveNext(set)) {
    if (!exact && !check.Holds(rows)) continue;
    if (update) {
      cursorEdit(set);
      for (size_t i = 0; i < columns.size(); ++i)
        RecordSetSetPending(fields, columns[i], texts_.Value(update->assignments[i].value));
      cursorUpdate(set);
    } else {
      cursorDeleteRecord(set);
    }
    if (Failed(database_)) return;
  }
}

}  // namespace

void RegisterSQLFrontEnd() {
  SetSQLSelectHook(databaseSQLSelect);
  SetSQLExecuteHook(databaseSQLExecute);
}

extern "C" void databaseSQLExecute(RuntimeObject* database, StringRecord* sql) {
  if (!DatabaseArgument(database)) return;
  SQLError error;
  StringRef text;
  if (StatementText(sql, &text, &error)) Statement(database, text.get()).Run(&error);
  if (error.code) TOVADatabaseSetError(database, error.code, error.message.c_str());
}
