// Database and DatabaseRecord over the fake engine: the SQL text fallbacks,
// errors, and databases made from resources.
#include <functional>

#include "core/utility.h"
#include "database/api/DBRegistry.h"
#include "database/api/Database.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/DatabaseRecord.h"
#include "host/ResourceManagerCommon.h"
#include "host/application.h"
#include "host/relocentry.h"
#include "tests/database/dbapi_support.h"

namespace {

using DbApiDatabaseTest = DbApiTest;

ObjectRef NewRecord() {
  return ObjectRef::Adopt(CreateInstance(GetDatabaseRecordClassDefinition()));
}

TEST_F(DbApiDatabaseTest, InsertRecordQuotesEverythingButPlainNumbers) {
  struct Case {
    const char* name;
    std::function<void(RuntimeObject*)> fill;
    const char* sql;
  };
  const Case cases[] = {
      {"newest first", [this](RuntimeObject* r) {
         AssignMethod(r, "IntegerColumn", S("a"), 5);
         AssignMethod(r, "Column", S("b"), S("O'Neil"));
       }, "insert into t(b,a) values ('O''Neil',5)"},
      {"first code kept", [this](RuntimeObject* r) {
         AssignMethod(r, "IntegerColumn", S("a"), 5);
         AssignMethod(r, "Column", S("A"), S("0) x"));
       }, "insert into t(a) values ('0) x')"},
      {"doubles", [this](RuntimeObject* r) {
         AssignMethod(r, "DoubleColumn", S("d"), -2.5);
         AssignMethod(r, "DoubleColumn", S("e"), 1.5e6);
         AssignMethod<StringRecord*, uint8_t>(r, "BooleanColumn", S("f"), 1);
       }, "insert into t(f,e,d) values ('true',1.5e+6,-2.5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDBEngine engine(FakeAllSlotsBut({kEngineInsertRecord}));
    ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
    ObjectRef record = NewRecord();
    c.fill(record.get());
    CallMethod(db.get(), "InsertRecord", S("t"), record.get());
    EXPECT_EQ(engine.TakeLog(), std::string("ExecuteSQL(db, ") + c.sql + ")");
  }

  FakeDBEngine engine;
  ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
  ObjectRef record = NewRecord();
  cases[1].fill(record.get());
  AssignMethod(record.get(), "Column", S("b"), S("new"));
  CallMethod(db.get(), "InsertRecord", S("t"), record.get());
  EXPECT_EQ(engine.TakeLog(), "InsertRecord(db, t, b=new/5, a=0) x/3)");
  EXPECT_EQ(CallMethod<int32_t>(record.get(), "FieldCount"), 2);
  EXPECT_EQ(Text(CallMethod<StringRecord*>(record.get(), "getIndString", 1)), "new");
  EXPECT_EQ(Text(CallMethod<StringRecord*>(record.get(), "getIndString", 3)), "NULL");
  EXPECT_EQ(CallMethod<int32_t>(record.get(), "IntegerColumn", S("a")), 0);
}

TEST_F(DbApiDatabaseTest, CommitAndRollbackFallBackToStatements) {
  struct Case {
    uint32_t slots;
    const char* log;
  };
  const Case cases[] = {
      {FakeAllSlotsBut({}), "Commit(db); Rollback(db)"},
      {FakeAllSlotsBut({kEngineCommit, kEngineRollback}),
       "ExecuteSQL(db, commit); ExecuteSQL(db, rollback)"},
      {FakeAllSlotsBut({kEngineCommit, kEngineRollback, kEngineExecuteSQL}), ""},
  };
  for (const Case& c : cases) {
    FakeDBEngine engine(c.slots);
    ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
    CallMethod(db.get(), "Commit");
    CallMethod(db.get(), "Rollback");
    EXPECT_EQ(engine.TakeLog(), c.log);
  }
}

TEST_F(DbApiDatabaseTest, AStaleErrorIsClearedAndTheOwnCodeWins) {
  FakeDBEngine engine(FakeAllSlotsBut({kEngineExecuteSQL}));
  SetSQLExecuteHook([](RuntimeObject* database, StringRecord*) {
    TOVADatabaseSetError(database, 201, "Syntax error");
  });
  ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
  CallMethod(db.get(), "SQLExecute", S("bogus"));
  EXPECT_EQ(GetProperty<int32_t>(db.get(), "ErrorCode"), 201);
  EXPECT_EQ(Text(GetProperty<StringRecord*>(db.get(), "ErrorMessage")), "Syntax error");

  ObjectRef record = NewRecord();
  CallMethod(db.get(), "InsertRecord", S("t"), record.get());
  EXPECT_EQ(GetProperty<int32_t>(db.get(), "ErrorCode"), 0);
  EXPECT_FALSE(GetProperty<bool>(db.get(), "Error"));

  engine.lastErrorCode = 7;
  engine.lastErrorText = "engine says";
  EXPECT_TRUE(GetProperty<bool>(db.get(), "Error"));
  EXPECT_EQ(Text(GetProperty<StringRecord*>(db.get(), "ErrorMessage")), "engine says");
  TOVADatabaseSetError(db.get(), 201, "own");
  EXPECT_EQ(GetProperty<int32_t>(db.get(), "ErrorCode"), 201);
  EXPECT_EQ(Text(GetProperty<StringRecord*>(db.get(), "ErrorMessage")), "own");
}

// Opened connections, as "word2:bytes".
std::vector<std::string> opened;
FakeDBEngine* openedEngine = nullptr;

RuntimeObject* Open(int32_t word1, int32_t word2) {
  opened.push_back(std::to_string(word2) + ":" +
                   std::string(reinterpret_cast<const char*>(uintptr_t(word1)), size_t(word2)));
  return openedEngine->NewDatabase();
}

TEST_F(DbApiDatabaseTest, ResourceDatabasesConnectOnFirstUse) {
  FakeDBEngine engine;
  openedEngine = &engine;
  RuntimeRegisterDataSource("Acme", Open);
  SetBuiltInDatabaseOpener([](uint32_t word1, uint32_t word2) {
    return Open(int32_t(word1), int32_t(word2));
  });
  auto fromResource = reinterpret_cast<RuntimeObject* (*)(int16_t)>(
      LookupEntryPoint("RuntimeGetDatabaseFromResource"));
  auto database = [&](int16_t id, const std::string& bytes) {
    EXPECT_TRUE(ResourceManager::AddResource(FourCharCode("dbse"), id, bytes.data(),
                                             uint32_t(bytes.size())));
    return ObjectRef::Adopt(fromResource(id));
  };

  ObjectRef acme = database(2101, "\x04" "Acmexyz");
  CallMethod(acme.get(), "Commit");
  EXPECT_TRUE(opened.empty());
  EXPECT_FALSE(DBShutdownContextHolds(acme.get()));
  CallMethod(acme.get(), "SQLExecute", S("delete from t"));
  CallMethod(acme.get(), "SQLExecute", S("delete from u"));
  EXPECT_EQ(opened, std::vector<std::string>{"3:xyz"});
  EXPECT_EQ(engine.TakeLog(), "ExecuteSQL(db, delete from t); ExecuteSQL(db, delete from u)");
  EXPECT_TRUE(DBShutdownContextHolds(acme.get()));

  ObjectRef builtIn = database(2102, "\x06" "TOVADBref");
  EXPECT_EQ(Text(CallMethod<StringRecord*>(builtIn.get(), "Property", S("x"))), "value of x");
  ObjectRef noBytes = database(2103, "\x04" "Acme");
  CallMethod(noBytes.get(), "SQLExecute", S("delete from t"));
  EXPECT_EQ(opened, (std::vector<std::string>{"3:xyz", "3:ref"}));
  EXPECT_FALSE(database(2104, "\x09" "Acme"));
  opened.clear();
}

}  // namespace
