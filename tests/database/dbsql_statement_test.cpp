// Statements without rows on the built-in engine, and text from outside:
// long conditions and random statements.
#include <algorithm>
#include <fstream>
#include <random>

#include "tests/database/dbsql_support.h"

namespace {

using Rows = std::vector<std::string>;
using DbSqlStatements = DbSqlTest;

TEST_F(DbSqlStatements, UpdatesAndDeletesChangeExactlyTheRowsTheConditionHoldsFor) {
  ASSERT_EQ(Exec({"create table t (id integer not null, n varchar(20), primary key (id))",
                  "insert into t (id, n) values (1, 'xa')", "insert into t (id, n) values (2, 'ya')",
                  "insert into t (id, n) values (3, NULL)", "insert into t (id, n) values (4, 'xb')"}),
            "");
  EXPECT_EQ(Query("select id from t where n is null"), Rows{"3"}) << "NULL leaves the field absent";
  const struct {
    const char* sql;
    Rows rows;
  } steps[] = {
      {"update t set n = 'it''s' where id = 2", {"1|xa", "2|it's", "3|NULL", "4|xb"}},
      {"update t set n = 'L' where n like 'x%'", {"1|L", "2|it's", "3|NULL", "4|L"}},
      {"update t set n = NULL where n is not null and n <> 'L'", {"1|L", "2|NULL", "3|NULL", "4|L"}},
      {"delete from t where n is null and id > 2", {"1|L", "2|NULL", "4|L"}},
      {"delete from t where id = 1 or n like 'Q%'", {"2|NULL", "4|L"}},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(Exec({step.sql}), "") << step.sql;
    EXPECT_EQ(Query("select id, n from t"), step.rows) << step.sql;
  }

  // Statements of other engines change nothing and report nothing.
  CallMethod(db_.get(), "Commit");
  const std::string before = storage_.Bytes(kPath);
  EXPECT_EQ(Exec({"create index i on t (n)", "vacuum"}), "");
  CallMethod(db_.get(), "Commit");
  EXPECT_EQ(storage_.Bytes(kPath), before);

  // The first row the engine refuses stops the statement, its error kept.
  ASSERT_EQ(Exec({"create table k (id integer not null, primary key (id))", "insert into k (id) values (2)",
                  "insert into k (id) values (3)", "insert into k (id) values (4)"}), "");
  EXPECT_EQ(Exec({"update k set id = 7"}).substr(0, 4), "2005");
  EXPECT_EQ(Query("select id from k"), (Rows{"3", "4", "7"}));
}

TEST_F(DbSqlStatements, AKeyChangedThroughASetHoldsItsKeyAgainstLaterStatements) {
  ASSERT_EQ(Exec({"create table t (id integer not null, v varchar(20), primary key (id))",
                  "insert into t (id, v) values (1, 'a')", "insert into t (id, v) values (2, 'b')"}),
            "");
  // Set A moves row 1 to key 5 and stays open while a statement and a
  // second set want that key.
  ObjectRef a = Select("select * from t where id = 1");
  CallMethod(a.get(), "Edit");
  SetProperty(ObjectRef::Adopt(CallMethod<RuntimeObject*>(a.get(), "Field", Text("id").get())).get(),
              "StringValue", Text("5").get());
  CallMethod(a.get(), "Update");
  ASSERT_EQ(Error(), "");
  EXPECT_EQ(Exec({"insert into t (id, v) values (5, 'other')"}).substr(0, 4), "2005");
  EXPECT_EQ(Exec({"update t set id = 5 where id = 2"}).substr(0, 4), "2005");
  a = ObjectRef();
  EXPECT_EQ(Query("select id, v from t"), (Rows{"2|b", "5|a"}));
  CallMethod(db_.get(), "Commit");
  EXPECT_EQ(Query("select id, v from t"), (Rows{"2|b", "5|a"}));
}

TEST_F(DbSqlStatements, AConditionOfAHundredThousandTermsSelectsAndDeletesTheRightRows) {
  ASSERT_EQ(Exec({"create table h (id integer not null, v integer, primary key (id))"}), "");
  for (int id = 0; id < 100; ++id)
    Exec({"insert into h (id, v) values (" + std::to_string(id) + ", " + std::to_string(id * 3000) + ")"});
  std::string where = "v = 0";
  for (int v = 1; v < 100000; ++v) where += " or v = " + std::to_string(v);
  Rows matching, left;
  for (int id = 0; id < 100; ++id) (id * 3000 < 100000 ? matching : left).push_back(std::to_string(id));
  EXPECT_EQ(Query("select id from h where " + where), matching);
  EXPECT_EQ(Exec({"delete from h where " + where}), "");
  EXPECT_EQ(Query("select id from h"), left);
}

// The codes a statement may end with.
bool KnownCode(int32_t code) { return (code >= 200 && code <= 209) || (code >= 2000 && code <= 2099); }

TEST_F(DbSqlStatements, RandomStatementsEndInSuccessOrAKnownError) {
  std::ifstream corpus(DBSQL_CORPUS);
  ASSERT_TRUE(corpus) << DBSQL_CORPUS;
  Rows statements, tokens;
  for (std::string line; std::getline(corpus, line);) {
    if (line.empty()) continue;
    statements.push_back(line);
    SQLTokenizer text(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    for (const SQLToken* token = &text.NextToken(); !token->IsEnd(); token = &text.NextToken())
      tokens.push_back(token->Written());
    Exec({line});
  }
  std::mt19937 random(23);
  const auto pick = [&random](size_t count) { return size_t(random() % count); };
  for (int i = 0; i < 10000; ++i) {
    std::string sql;
    const size_t kind = pick(4);
    if (kind < 2) {
      // A statement's first tokens, then tokens from anywhere.
      const std::string& statement = statements[pick(statements.size())];
      SQLTokenizer text(reinterpret_cast<const uint8_t*>(statement.data()), statement.size());
      for (size_t n = pick(6); n-- > 0 && !text.AtEnd();) sql += text.NextToken().Written() + " ";
      for (size_t n = pick(20); n-- > 0;) sql += tokens[pick(tokens.size())] + (pick(2) ? " " : "");
    } else if (kind == 2) {
      const std::string& statement = statements[pick(statements.size())];
      sql = statement.substr(0, pick(statement.size() + 1));
    } else {
      for (size_t n = pick(60); n-- > 0;) sql.push_back(char(random()));
    }
    if (pick(2)) {
      Select(sql);
    } else {
      CallMethod(db_.get(), "SQLExecute", Text(sql).get());
    }
    const int32_t code = databaseErrorCodeGetter(db_.get(), 0);
    const std::string error = Error();
    ASSERT_TRUE(!code || (KnownCode(code) && error.size() > std::to_string(code).size() + 1))
        << error << " after: " << sql;
  }
  db_ = ObjectRef();
  DBFile* file = OpenOrFail(storage_, kPath);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(WalkAll(*file));
  EXPECT_TRUE(CloseDatabaseFile(file));
}

}  // namespace
