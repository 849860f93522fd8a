#include "tests/database/dbapi_support.h"

#include "core/string.h"
#include "database/api/DatabaseHooks.h"

void DbApiTest::TearDown() {
  SetSQLSelectHook(nullptr);
  SetSQLExecuteHook(nullptr);
  SetBuiltInDatabaseOpener(nullptr);
  SetJPEGCodec({});
  EXPECT_EQ(FakeValuesHandedOut(), FakeValuesReleased()) << "values not released";
  HostTest::TearDown();
}

StringRecord* DbApiTest::S(const char* text) {
  texts_.push_back(StringRef::Adopt(StringFromASCII(text)));
  return texts_.back().get();
}

std::string DbApiTest::Text(StringRecord* adopted) {
  StringRef text = StringRef::Adopt(adopted);
  return text ? StringBytes(text.get()) : "NULL";
}

ObjectRef DbApiTest::Select(RuntimeObject* database, FakeDBEngine& engine, FakeCursor& cursor) {
  engine.select = [&cursor](const std::string&) { return cursor.NewSet(); };
  StringRef text = StringRef::Adopt(StringFromASCII("select * from t"));
  ObjectRef set = ObjectRef::Adopt(CallMethod<RuntimeObject*>(database, "SQLSelect", text.get()));
  engine.select = nullptr;
  return set;
}

ObjectRef DbApiTest::Field(RuntimeObject* set, const char* name) {
  return ObjectRef::Adopt(CallMethod<RuntimeObject*>(set, "Field", S(name)));
}
