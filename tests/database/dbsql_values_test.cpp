// Statements as their characters whatever the text's encoding, text left
// over after a clause, and numbers compared and stored by their value.
#include <fstream>

#include "core/TextEncoding.h"
#include "tests/database/dbsql_support.h"

namespace {

using Rows = std::vector<std::string>;

// A statement and the rows it selects, or the error it ends with.
struct SelectCase {
  const char* sql;
  Rows rows;
};
struct ErrorCase {
  const char* sql;
  const char* error;
};

// Rows of the table every case here starts from.
const Rows kAllRows = {"1|1|1|NULL", "2|10|2|NULL", "3|2.5|2|NULL", "4|1000000.5|4|NULL"};

// The statement's text (UTF-8 here) in the encoding.
StringRef In(uint32_t encoding, const std::string& utf8) {
  StringRef text = StringRef::Adopt(StringFromUTF8(utf8));
  return StringRef::Adopt(ConvertStringToEncoding(text.get(), encoding));
}

class DbSqlValues : public DbSqlTest {
 protected:
  void SetUp() override {
    DbSqlTest::SetUp();
    ASSERT_EQ(Exec({"create table t (id integer not null, d double, n integer, b boolean, primary key (id))",
                    "insert into t (id, d, n) values (1, 1, 1)", "insert into t (id, d, n) values (2, 10, 2)",
                    "insert into t (id, d, n) values (3, 2.5, 2)",
                    "insert into t (id, d, n) values (4, 1000000.5, 4)"}), "");
  }
  // What a statement gives on a database: the rows of a SELECT, else its
  // error code.
  static Rows Outcome(RuntimeObject* db, StringRecord* sql) {
    const bool select = StringToStdUTF8(sql).compare(0, 6, "select") == 0;
    if (!select) {
      CallMethod(db, "SQLExecute", sql);
      return {std::to_string(databaseErrorCodeGetter(db, 0))};
    }
    ObjectRef set = ObjectRef::Adopt(CallMethod<RuntimeObject*>(db, "SQLSelect", sql));
    if (!set) return {"no set " + std::to_string(databaseErrorCodeGetter(db, 0))};
    Rows rows;
    for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) rows.push_back(Row(set.get()));
    return rows;
  }
  Rows Run(uint32_t encoding, const std::string& utf8) { return Outcome(db_.get(), In(encoding, utf8).get()); }
  // The first column's text of each row, as UTF-8.
  Rows Texts(const std::string& sql) {
    ObjectRef set = Select(sql);
    Rows texts;
    for (; set && !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) {
      const CursorValue value = RecordSetCursor(RecordSetArgument(set.get())).ColumnValue(0);
      texts.push_back(StringToStdUTF8(StringRef::Adopt(DBValueText(value.view())).get()));
    }
    return texts;
  }
};

TEST_F(DbSqlValues, StatementsInEveryEncodingDoWhatTheirCharactersSay) {
  EXPECT_EQ(Run(kEncodingUTF16, "select id from t where d > 2"), (Rows{"2", "3", "4"}));
  EXPECT_EQ(Run(kEncodingUTF16, "delete from t where id = 1"), Rows{"0"});
  EXPECT_EQ(Run(kEncodingUTF8, "delete from t where id = 2;"), Rows{"0"});
  EXPECT_EQ(Query("select id from t"), (Rows{"3", "4"}));

  ASSERT_EQ(Exec({"create table s (k integer not null, v varchar(20), primary key (k))"}), "");
  // Characters no code page the run-time starts in can hold: refused by
  // name, nothing stored, in both Unicode forms.
  for (uint32_t encoding : {kEncodingUTF16, kEncodingUTF8}) {
    EXPECT_EQ(Run(encoding, "insert into s (k, v) values (1, 'a\xF0\x9F\x98\x80')"), Rows{"201"});
    EXPECT_EQ(Error(), "201 Character outside the system code page: U+1F600");
    EXPECT_EQ(Run(encoding, "update t set b = true where id = '\xE0\xBC\x80'"), Rows{"201"});
    EXPECT_EQ(Error(), "201 Character outside the system code page: U+0F00");
  }
  EXPECT_EQ(Query("select k from s"), Rows{});
  EXPECT_EQ(Query("select id, b from t"), (Rows{"3|NULL", "4|NULL"}));
  if (GetSystemTextEncoding() != kEncodingWindowsLatin1) return;
  // Characters of the code page are stored as themselves, whatever the
  // statement's encoding, and found again by a statement in another one.
  EXPECT_EQ(Run(kEncodingUTF16, "insert into s (k, v) values (1, 'café ½')"), Rows{"0"});
  EXPECT_EQ(Run(kEncodingUTF8, "insert into s (k, v) values (2, 'Ærø')"), Rows{"0"});
  EXPECT_EQ(Texts("select v from s"), (Rows{"café ½", "Ærø"}));
  EXPECT_EQ(Run(kEncodingUTF8, "select k from s where v = 'café ½'"), Rows{"1"});
  EXPECT_EQ(Run(kEncodingUTF16, "select k from s where v like 'Æ%'"), Rows{"2"});
}

TEST_F(DbSqlValues, TextLeftOverFailsWithSyntaxErrorAndChangesNothing) {
  const ErrorCase cases[] = {
      {"update t set b = true where id = 1 + 1", "200 Unexpected text: + 1"},
      {"delete from t where id = 1 2", "200 Unexpected text: 2"},
      {"delete from t where d = 1ex", "200 Unexpected text: ex"},
      {"delete from t where d = 1.0.0", "200 Unexpected text: .0"},
      {"delete from t where d = 2020-1-31", "200 Unexpected text: -1-31"},
      {"delete from t where id = 1 order by id", "200 Unexpected text: order by id"},
      {"insert into t (id) values (9) returning id", "200 Unexpected text: returning id"},
      {"create table x (a integer) engine = heap", "200 Unexpected text: engine = heap"},
      {"create table x (a integer, primary key (a)) x;", "200 Unexpected text: x"},
      {"alter table t add column c integer default 0", "200 Unexpected text: default 0"},
      {"commit work", "200 Unexpected text: work"},
      {"select id from t where d = 1 e1", "200 Unexpected text: e1"},
      {"select id from t where id = 1 limit 1", "200 Unexpected text: limit 1"},
      {"select id from t order by id desc nulls last", "200 Unexpected text: nulls last"},
      {"select id from t group by n having n > 1", "200 Unexpected text: having n > 1"},
  };
  for (const auto& c : cases) {
    Run(kEncodingASCII, c.sql);
    EXPECT_EQ(Error(), c.error) << c.sql;
  }
  const std::string longer = "delete from t where id = 1 " + std::string(100, 'z');
  EXPECT_EQ(Run(kEncodingASCII, longer), Rows{"200"});
  EXPECT_EQ(Error(), "200 Unexpected text: " + std::string(60, 'z') + "...");
  EXPECT_EQ(Query("select id, d, n, b from t"), kAllRows);
  EXPECT_EQ(Query("select * from x"), Rows{"no set: 202 Invalid table x"});
  EXPECT_EQ(Query("select c from t"), Rows{"no set: 206 Unknown column: c"});
}

TEST_F(DbSqlValues, ExponentLiteralsAreReadWhole) {
  const SelectCase cases[] = {
      {"select id from t where d = 1e1", {"2"}},
      {"select id from t where d = 1E+1", {"2"}},
      {"select id from t where d < 2.5e0", {"1"}},
      {"select id from t where d = 1.0000005e+06", {"4"}},
      {"select id from t where d >= -1e-3 and d <= 25e-1", {"1", "3"}},
      {"select id from t where n = 2e0", {"2", "3"}},
      {"select id from t where id = 4e0", {"4"}},
      {"select id from t where id = 2.5e0", {}},
      {"select id from t where n = 2.5", {}},
      {"select id from t where n < 2.5", {"1", "2", "3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
  EXPECT_EQ(Exec({"delete from t where d = 1e1"}), "");
  EXPECT_EQ(Exec({"insert into t (id, d, n) values (5, 2e3, 1e1)", "insert into t (id, n) values (6, 2.5E1)",
                  "insert into t (id, n) values (7, -15e-1)", "insert into t (id, n) values (8, 9e-1)"}), "");
  EXPECT_EQ(Query("select id, d, n from t"),
            (Rows{"1|1|1", "3|2.5|2", "4|1000000.5|4", "5|2000|10", "6|NULL|25", "7|NULL|-1", "8|NULL|0"}));
}

TEST_F(DbSqlValues, NumericColumnsCompareByValue) {
  const SelectCase cases[] = {
      {"select id from t where n = d", {"1"}},
      {"select id from t where n >= d", {"1"}},
      {"select id from t where d > n", {"2", "3", "4"}},
      {"select id from t where n <> d", {"2", "3", "4"}},
      {"select id from t where d <= n", {"1"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
  EXPECT_EQ(Exec({"update t set b = true where n = d", "delete from t where n < d and id > 3"}), "");
  EXPECT_EQ(Query("select id, b from t"), (Rows{"1|true", "2|NULL", "3|NULL"}));

  // Across a join, the integer column in either table.
  ASSERT_EQ(Exec({"create table a (x double)", "create table i (k integer)", "insert into a (x) values (0.001)",
                  "insert into a (x) values (1000000.5)", "insert into i (k) values (0)",
                  "insert into i (k) values (1000000)"}), "");
  const Rows all = {"0.001|0", "0.001|1000000", "1000000.5|0", "1000000.5|1000000"};
  const Rows less = {"0.001|0", "1000000.5|0", "1000000.5|1000000"};
  const SelectCase joins[] = {
      {"select a.x, i.k from a, i where i.k <> a.x", all},
      {"select a.x, i.k from a, i where i.k = a.x", {}},
      {"select a.x, i.k from a, i where i.k < a.x", less},
      {"select a.x, i.k from i, a where a.x > i.k", {"0.001|0", "1000000.5|0", "1000000.5|1000000"}},
      {"select a.x, i.k from i, a where a.x <> i.k", {"0.001|0", "1000000.5|0", "0.001|1000000", "1000000.5|1000000"}},
      {"select a.x, i.k from a, i where a.x >= i.k or i.k = 5", less},
  };
  for (const auto& c : joins) EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
}

TEST_F(DbSqlValues, IntegersBeyondTheirColumnAreRefusedAndLiteralsBeyondCompareByValue) {
  ASSERT_EQ(Exec({"create table w (k integer not null, s smallint, primary key (k))"}), "");
  const ErrorCase stores[] = {
      {"insert into t (id, n) values (5, 3000000000)", "2003 Invalid integer value"},
      {"insert into t (id, n) values (5, -2147483649)", "2003 Invalid integer value"},
      {"insert into t (id, n) values (4294967297, 1)", "2003 Invalid integer value"},
      {"insert into t (id, n) values (5, 3e9)", "2003 Invalid integer value"},
      {"insert into t (id, n) values (5, 99999999999999999999999)", "2003 Invalid integer value"},
      {"update t set n = 2147483648 where id = 1", "2003 Invalid integer value"},
      {"insert into w (k, s) values (1, 32768)", "2003 Invalid integer value"},
      {"insert into t (id, n) values (6, 2147483647)", ""},
      {"insert into t (id, n) values (7, -2147483648)", ""},
      {"insert into w (k, s) values (1, -32768)", ""},
  };
  for (const auto& c : stores) EXPECT_EQ(Exec({c.sql}), c.error) << c.sql;
  EXPECT_EQ(Query("select id, n from t"), (Rows{"1|1", "2|2", "3|2", "4|4", "6|2147483647", "7|-2147483648"}));

  const SelectCase compares[] = {
      {"select id from t where n = 4294967296", {}},
      {"select id from t where n = 4294967295 or n = -4294967296", {}},
      {"select id from t where n < 3000000000", {"1", "2", "3", "4", "6", "7"}},
      {"select id from t where n > -3000000000 and n >= 2147483647", {"6"}},
      {"select id from t where id = 4294967302", {}},
      {"select id from t where id <= 4294967302 and id > 5", {"6", "7"}},
      {"select k from w where s = 98304", {}},
      {"select k from w where s < 98304", {"1"}},
  };
  for (const auto& c : compares) EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
}

// Every statement of the corpus in UTF-8 on one database and in UTF-16 on
// another: the same rows or the same error, and the same tables after.
class DbSqlCorpus : public DbSqlValues {
 protected:
  void SetUp() override { DbSqlTest::SetUp(); }
};

TEST_F(DbSqlCorpus, StatementsGiveTheSameResultInUTF8AndUTF16) {
  ObjectRef wide = ObjectRef::Adopt(
      NewBuiltInDatabaseObject(CreateEngineDatabaseAt(PathString("wide.db").get(), storage_)));
  ASSERT_TRUE(wide);
  std::ifstream corpus(DBSQL_CORPUS);
  ASSERT_TRUE(corpus) << DBSQL_CORPUS;
  const auto both = [&](const std::string& sql) {
    const Rows narrow = Outcome(db_.get(), In(kEncodingUTF8, sql).get());
    const std::string narrowError = Error();
    std::swap(db_, wide);
    EXPECT_EQ(Outcome(db_.get(), In(kEncodingUTF16, sql).get()), narrow) << sql;
    EXPECT_EQ(Error(), narrowError) << sql;
    std::swap(db_, wide);
  };
  size_t statements = 0;
  for (std::string line; std::getline(corpus, line); ++statements) both(line);
  EXPECT_GT(statements, 20u);
  for (const char* table : {"t", "u"}) both(std::string("select * from ") + table);
  wide = ObjectRef();
}

}  // namespace
