// Helpers of the database class tests: a fixture that empties the hooks
// after each test and checks that every value a fake handed out came back,
// and short ways to pass and read texts and fields.
#pragma once
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/DatabaseHooks.h"
#include "testsupport/FakeDBEngine.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"

class DbApiTest : public HostTest {
 protected:
  void TearDown() override {
    SetSQLSelectHook(nullptr);
    SetSQLExecuteHook(nullptr);
    SetBuiltInDatabaseOpener(nullptr);
    SetJPEGCodec({});
    EXPECT_EQ(FakeValuesHandedOut(), FakeValuesReleased()) << "values not released";
    HostTest::TearDown();
  }
  // A text argument, kept until the test ends.
  StringRecord* S(const char* text) {
    texts_.push_back(StringRef::Adopt(StringFromASCII(text)));
    return texts_.back().get();
  }
  // A string result, adopted: its bytes, "NULL" for nil.
  static std::string Text(StringRecord* adopted) {
    StringRef text = StringRef::Adopt(adopted);
    return text ? StringBytes(text.get()) : "NULL";
  }
  // The set the engine's SelectSQL answers with the cursor, through the
  // database's SQLSelect (so the database owns it).
  ObjectRef Select(RuntimeObject* database, FakeDBEngine& engine, FakeCursor& cursor) {
    engine.select = [&cursor](const std::string&) { return cursor.NewSet(); };
    ObjectRef set = ObjectRef::Adopt(CallMethod<RuntimeObject*>(database, "SQLSelect", S("s")));
    engine.select = nullptr;
    return set;
  }
  ObjectRef Field(RuntimeObject* set, const char* name) {
    return ObjectRef::Adopt(CallMethod<RuntimeObject*>(set, "Field", S(name)));
  }

 private:
  std::vector<StringRef> texts_;
};
