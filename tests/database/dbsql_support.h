// Helpers of the SQL front-end tests: a built-in database over files in
// memory reached through Database.SQLExecute and SQLSelect, and rows read
// back as texts.
#pragma once
#include <string>
#include <vector>

#include "database/api/DBValue.h"
#include "database/api/Database.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/RecordSet.h"
#include "database/engine/EngineTable.h"
#include "database/sql/SQLFrontEnd.h"
#include "testsupport/PropertyAccess.h"
#include "tests/database/dbengine_support.h"

class DbSqlTest : public HostTest {
 protected:
  static constexpr const char* kPath = "sql.db";

  void SetUp() override {
    HostTest::SetUp();
    RegisterSQLFrontEnd();
    db_ = ObjectRef::Adopt(
        NewBuiltInDatabaseObject(CreateEngineDatabaseAt(PathString(kPath).get(), storage_)));
    ASSERT_TRUE(db_);
  }
  void TearDown() override {
    db_ = ObjectRef();
    SetSQLSelectHook(nullptr);
    SetSQLExecuteHook(nullptr);
    HostTest::TearDown();
  }
  static StringRef Text(const std::string& bytes) {
    return StringRef::Adopt(NewString(bytes, kEncodingASCII));
  }
  // The database's error: "" or "code message".
  std::string Error() {
    const int32_t code = databaseErrorCodeGetter(db_.get(), 0);
    StringRef message = StringRef::Adopt(databaseErrorMessageGetter(db_.get(), 0));
    return code ? std::to_string(code) + " " + StringBytes(message.get()) : "";
  }
  // Runs statements in turn, stopping at an error, which it gives.
  std::string Exec(const std::vector<std::string>& statements) {
    for (const std::string& sql : statements) {
      CallMethod(db_.get(), "SQLExecute", Text(sql).get());
      if (!Error().empty()) return Error();
    }
    return "";
  }
  ObjectRef Select(const std::string& sql) {
    return ObjectRef::Adopt(CallMethod<RuntimeObject*>(db_.get(), "SQLSelect", Text(sql).get()));
  }
  // The row the set stands on: its texts joined by "|", NULL for none.
  static std::string Row(RuntimeObject* set) {
    RecordSetFields* fields = RecordSetArgument(set);
    std::string row;
    for (int32_t column = 0; column < cursorFieldCount(set, 0); ++column) {
      const CursorValue value = RecordSetCursor(fields).ColumnValue(column);
      StringRef text = StringRef::Adopt(DBValueText(value.view()));
      row += (column ? "|" : "") + (value.view().type ? StringBytes(text.get()) : "NULL");
    }
    return row;
  }
  // Every row from where the set stands; the error alone when there is no
  // set.
  std::vector<std::string> Query(const std::string& sql) {
    ObjectRef set = Select(sql);
    if (!set) return {"no set: " + Error()};
    std::vector<std::string> rows;
    for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) rows.push_back(Row(set.get()));
    return rows;
  }

  MemoryStorage storage_;
  ObjectRef db_;
};
