// Helpers of the database class tests: a fixture that empties the hooks
// after each test and checks that every value a fake handed out came back,
// and short ways to pass and read texts and fields.
#pragma once
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "testsupport/FakeDBEngine.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"

class DbApiTest : public HostTest {
 protected:
  void TearDown() override;
  // A text argument, kept until the test ends.
  StringRecord* S(const char* text);
  // A string result, adopted: its bytes, "NULL" for nil.
  static std::string Text(StringRecord* adopted);
  // The set the engine's SelectSQL answers with the cursor, through the
  // database's SQLSelect (so the database owns it).
  static ObjectRef Select(RuntimeObject* database, FakeDBEngine& engine, FakeCursor& cursor);
  // The named field of the set.
  ObjectRef Field(RuntimeObject* set, const char* name);

 private:
  std::vector<StringRef> texts_;
};
