// DatabaseQuery: lazy runs, bound lists and QueryComplete, the parameter
// kept inside its literal, failed queries, runs started during a run, and
// the connection-dialog entries.
#include "core/ObjectDefinition.h"
#include "database/api/DatabaseRecord.h"
#include "database/results/DatabaseQuery.h"
#include "database/results/ScrollableCursor.h"
#include "host/relocentry.h"
#include "testsupport/ClassBuilder.h"
#include "tests/database/dbresult_support.h"

namespace {

std::string events;

void OnQueryComplete(RuntimeObject*) { events += "complete; "; }
void OnReload(RuntimeObject*) { events += "reload; "; }

class DbResultQuery : public DbResultTest {
 protected:
  void SetUp() override {
    DbResultTest::SetUp();
    events.clear();
    ASSERT_EQ(Exec({"create table t (id integer not null, n varchar(20), primary key (id))"}), "");
    Insert("t (id, n)", {"1, 'Smith'", "2, 'O''Brien'", "3, 'Jones'"});
  }
  // A DatabaseQuery of the application's own subclass, which handles
  // QueryComplete.
  ObjectRef NewQuery() {
    static ClassBuilder* builder = [] {
      auto* b = new ClassBuilder(GetDatabaseQueryClassDefinition(), "AppQuery");
      b->Handle("QueryComplete", &OnQueryComplete);
      return b;
    }();
    return ObjectRef::Adopt(builder->NewInstance());
  }
  ObjectRef NewReceiver() {
    static ClassBuilder* builder = [] {
      static const MethodRecord methods[] = {
          MakeMethodRecord("listDataReload", nullptr, nullptr, 0, RUNTIME_ENTRY(OnReload))};
      auto* b = new ClassBuilder(nullptr, "ReloadReceiver");
      b->Implements(GetListDataNotificationReceiverInterfaceDefinition()).Methods(methods, 1);
      return b;
    }();
    return ObjectRef::Adopt(builder->NewInstance());
  }
  void Bind(RuntimeObject* query, const std::string& sql) {
    SetProperty<RuntimeObject*>(query, "Database", db_.get());
    SetProperty<StringRecord*>(query, "SQLQuery", Text(sql).get());
  }
  // Every row of the query's result, texts joined by "|".
  static std::vector<std::string> Rows(RuntimeObject* query) {
    std::vector<std::string> rows;
    const int32_t count = CallMethod<int32_t>(query, "GetCount");
    for (int32_t r = 1; r <= count; ++r) {
      ObjectRef record = ObjectRef::Adopt(CallMethod<RuntimeObject*>(query, "GetRow", r));
      std::string row;
      for (int32_t c = 1; c <= recordFieldCount(record.get()); ++c) {
        StringRef text = StringRef::Adopt(recordGetIndString(record.get(), c));
        row += (c > 1 ? "|" : "") + StringBytes(text.get());
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(DbResultQuery, GetCountRunsOnceAndOnlyRunQueryTellsTheLists) {
  ObjectRef query = NewQuery();
  ObjectRef receiver = NewReceiver();
  CallMethod(query.get(), "addListDataNotificationReceiver", receiver.get());
  EXPECT_EQ(CallMethod<int32_t>(query.get(), "GetCount"), 0);
  EXPECT_EQ(events, "") << "nothing to run";
  Bind(query.get(), "select id, n from t");
  EXPECT_EQ(CallMethod<int32_t>(query.get(), "GetCount"), 0) << "no second try before RunQuery";

  ObjectRef lazy = NewQuery();
  CallMethod(lazy.get(), "addListDataNotificationReceiver", receiver.get());
  Bind(lazy.get(), "select id, n from t order by n");
  EXPECT_EQ(CallMethod<int32_t>(lazy.get(), "GetCount"), 3);
  EXPECT_EQ(events, "complete; ");
  EXPECT_EQ(Rows(lazy.get()), (std::vector<std::string>{"3|Jones", "2|O'Brien", "1|Smith"}));

  events.clear();
  ObjectRef second = NewReceiver();
  CallMethod(query.get(), "addListDataNotificationReceiver", second.get());
  CallMethod(query.get(), "RunQuery");
  EXPECT_EQ(events, "reload; reload; complete; ");
  EXPECT_EQ(CallMethod<int32_t>(query.get(), "GetCount"), 3);
  CallMethod(query.get(), "removeListDataNotificationReceiver", second.get());
  events.clear();
  CallMethod(query.get(), "PerformAction");
  EXPECT_EQ(events, "reload; complete; ");

  // A failed SELECT leaves no rows.
  SetProperty<StringRecord*>(query.get(), "SQLQuery", Text("select nothing from nowhere").get());
  CallMethod(query.get(), "RunQuery");
  EXPECT_EQ(CallMethod<int32_t>(query.get(), "GetCount"), 0);
  EXPECT_FALSE(ObjectRef::Adopt(CallMethod<RuntimeObject*>(query.get(), "GetRow", 1)));
}

TEST_F(DbResultQuery, TheParameterStaysInsideItsLiteral) {
  const struct {
    const char* sql;
    const char* parameter;
    std::vector<std::string> rows;
  } cases[] = {
      {"select id from t where n = '%1'", "O'Brien", {"2"}},
      {"select id from t where n = '%1'", "x' or n like '%", {}},
      {"select id from t where n = \"%1\"", "x\" or n like \"%", {}},
      {"select id from t where id = %1", "2", {"2"}},
      {"select id from t where n = 'it''s %1'", "x' or n like '%", {}},
  };
  for (const auto& c : cases) {
    ObjectRef query = NewQuery();
    Bind(query.get(), c.sql);
    CallMethod(query.get(), "setString", Text(c.parameter).get());
    EXPECT_EQ(Rows(query.get()), c.rows) << c.sql << " with " << c.parameter;
  }
  StringRef utf16 = StringRef::Adopt(StringToUTF16(Text("a'b").get()));
  StringRef joined = StringRef::Adopt(QueryWithParameter(Text("n = '%1' and m = [%1]").get(), utf16.get()));
  EXPECT_EQ(StringBytes(joined.get()), "n = 'a''b' and m = [a'b]");
}

RuntimeObject* nestedQuery = nullptr;
int polls = 0;

TEST_F(DbResultQuery, ARunStartedDuringARunLeavesTheNewerResult) {
  ObjectRef query = NewQuery();
  Bind(query.get(), "select id from t where id > %1");
  StringAssign(&ObjectFields<DatabaseQueryFields>(query.get())->parameter, Text("0").get());
  nestedQuery = query.get();
  polls = 0;
  RuntimeSetBackgroundSocketPoll(true);
  SetSocketPollHook([](bool) {
    // The first row's step runs the query again with another parameter.
    if (++polls == 1) {
      StringRef two = StringRef::Adopt(StringFromASCII("2"));
      DatabaseQuerySetString(nestedQuery, two.get());
    }
    return true;
  });
  CallMethod(query.get(), "RunQuery");
  SetSocketPollHook(nullptr);
  EXPECT_EQ(events, "complete; complete; ");
  EXPECT_EQ(Rows(query.get()), std::vector<std::string>{"3"});
}

// A query whose last reference the application drops while its first run,
// started by GetCount, drains its rows still gives its count, then goes.
TEST_F(DbResultQuery, AQueryDroppedWhileGetCountRunsItGivesItsCount) {
  ObjectRef query = NewQuery();
  Bind(query.get(), "select id from t order by id desc");
  nestedQuery = query.release();
  polls = 0;
  RuntimeSetBackgroundSocketPoll(true);
  SetSocketPollHook([](bool) {
    if (++polls == 1) RuntimeUnlockObject(nestedQuery);
    return true;
  });
  EXPECT_EQ(DatabaseQueryGetCount(nestedQuery), 3);
  SetSocketPollHook(nullptr);
  EXPECT_GE(polls, 1) << "no background step while the rows drained";
  EXPECT_EQ(events, "complete; ");
}

TEST_F(DbResultQuery, ConnectionDialogEntriesLinkAndDoNothing) {
  for (const char* name : {"TOVADBConnectionDialogCreate", "TOVADBConnectionDialogShow"}) {
    auto entry = reinterpret_cast<void* (*)()>(LookupEntryPoint(name));
    ASSERT_TRUE(entry) << name;
    EXPECT_EQ(entry(), nullptr) << name;
  }
  for (const char* name : {"TOVADBConnectionDialogAddField", "TOVADBConnectionDialogDelete"})
    EXPECT_TRUE(LookupEntryPoint(name)) << name;
}

}  // namespace
