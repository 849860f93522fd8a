// The SQL front-end's errors: every error it reports, and what CREATE TABLE
// hands an engine (the tokens and parsers alone: dbsql_grammar_test.cpp).
#include "testsupport/FakeDBEngine.h"
#include "tests/database/dbsql_support.h"

namespace {

class DbSqlErrors : public DbSqlTest {};

TEST_F(DbSqlErrors, EveryStatementErrorHasItsCodeAndText) {
  ASSERT_EQ(Exec({"create table t (id integer not null, n varchar(9), primary key (id))",
                  "create table u (id integer, m integer)"}), "");
  std::string order33 = "select * from t order by 1", from33 = "select * from t";
  for (int i = 0; i < 32; ++i) {
    order33 += ", 1";
    from33 += ", t t" + std::to_string(i);
  }
  const struct {
    std::string sql, error;
  } cases[] = {
      {"select * from t where upper n = 'x'", "200 Expected '('"},
      {"select * from t where upper(n = 'x'", "200 Expected ')'"},
      {"select * from t where 1 = 1", "201 Invalid column/table identifier"},
      {"select * from t where t.1 = 1", "201 Invalid column/table identifier"},
      {"select * from t where n ! 1", "201 Invalid operator !"},
      {"select * from t where n is notnull", "201 Invalid operator notnull"},
      {"select * from t where n not in", "201 Invalid operator in"},
      {"select * from t where n like abc", "201 Quotes expected after LIKE operation"},
      {"select * from t where n =", "201 Missing value"},
      {"select * from t, u where id = 1", "205 Ambiguous column reference: id"},
      {"select * from t where x = 1", "206 Unknown column: x"},
      {"select * from t where n = u.x", "206 Unknown column: x"},
      {"selec * from t", "200 Expected 'SELECT'"},
      {"select id n from t", "200 Expecting ','"},
      {"select 1 from t", "201 Invalid column/table name"},
      {"select t.1 from t", "201 Invalid column name"},
      {"select count(id) from t", "201 Only COUNT(*) supported"},
      {"select median(id) from t", "201 Unsupported SELECT function"},
      {"select max(id from t", "200 Expected ')'"},
      {"select * from t 1x", "201 Invalid table name"},
      {std::string("select * from [t\0]", 18), "201 Invalid table name"},
      {"select * from t a b", "200 Expecting ','"},
      {"select * from t order id", "200 Expecting 'BY'"},
      {"select * from t order by 'x'", "201 Invalid ORDER BY column"},
      {"select * from t order by id, 'x'", "201 Invalid column index"},
      {"select * from t order by 0", "201 Invalid column index"},
      {"select n from t order by 2", "201 Invalid column index"},
      {order33, "201 Too many columns"},
      {from33, "201 Too many tables"},
      {"select id from t order by id group by id", "201 ORDER BY can't be used in conjunction with GROUP BY"},
      {"select id from t group id", "200 Expecting 'BY'"},
      {"select id from t group by 'x'", "201 Invalid GROUP BY column"},
      {"select id from t group by id, n", "201 Only single GROUP BY columns currently supported"},
      {"select * from x", "202 Invalid table x"},
      {"select zz from t", "206 Unknown column: zz"},
      {"select v.* from t", "206 Unknown column: v.*"},
      {"select * from t order by 1", "203 Internal validation error"},
      {"drop table t", "2007 Dropping tables from this database is not currently supported."},
      {"create table x id integer", "200 Expecting '('"},
      {"create table x (a blob)", "200 Expecting field type"},
      {"create table x (a long text)", "200 Expecting field type"},
      {"create table x (a char(x))", "201 Invalid field constraint"},
      {"create table x (a char(4 x)", "200 Expecting ')'"},
      {"create table x (a integer not x)", "200 Expecting 'NULL'"},
      {"create table x (a integer b)", "200 Expecting ',' or ')'"},
      {"create table x (a integer, primary a)", "200 Expecting 'KEY'"},
      {"create table x (a integer, primary key a)", "200 Expecting '('"},
      {"create table x (a integer, primary key (b))", "201 Invalid column"},
      {"create table x (a integer, primary key (a b))", "201 Expecting ',' or ')'"},
      {"create table x (a integer, primary key (1))", "201 Invalid column name"},
      {"create table x (primary key ())", "206 CREATE TABLE requires at least one column defined"},
      {"alter table t drop column n", "2008 Dropping columns is not supported for this database"},
      {"alter table t modify n integer", "200 Expected 'ADD'"},
      {"update t a = 1", "200 Expecting 'SET'"},
      {"update t set 1 = 2", "201 Invalid column name"},
      {"update t set n 2", "200 Expecting '='"},
      {"update t set n = ", "201 Missing value"},
      {"update t set n = 1 id = 2", "200 Expecting ','"},
      {"update t set zz = 1", "208 Mismatched update fields"},
      {"update t set n = 1 where n = u.x", "206 Unknown column: x"},
      {"delete t", "200 Expecting 'FROM'"},
      {"delete from t were id = 1", "200 Expecting 'WHERE'"},
      {"delete from x", "2003 Unknown table x"},
      {"insert t (id) values (1)", "200 Expecting 'INTO'"},
      {"insert into 1t (id) values (1)", "201 Invalid table name"},
      {"insert into t id values (1)", "200 Expecting '('"},
      {"insert into t (1) values (1)", "201 Invalid column name"},
      {"insert into t (id values (1)", "200 Expecting ')'"},
      {"insert into t (id) (1)", "200 Expecting 'VALUES'"},
      {"insert into t (id) values 1", "200 Expecting '('"},
      {"insert into t (id) values (1 2)", "200 Expecting ')'"},
      {"insert into t (id, n) values (1)", "208 Mismatched INSERT columns"},
      {"insert into t (id) values (1, 2)", "208 Mismatched INSERT columns"},
  };
  for (const auto& c : cases) {
    const bool select = c.sql.compare(0, 5, "selec") == 0;
    if (select) {
      EXPECT_FALSE(Select(c.sql)) << c.sql;
    } else {
      CallMethod(db_.get(), "SQLExecute", Text(c.sql).get());
    }
    EXPECT_EQ(Error(), c.error) << c.sql;
  }
  EXPECT_EQ(Query("select * from t"), std::vector<std::string>{}) << "no statement changed a row";
}

// CREATE TABLE and ALTER TABLE as an engine receives them.
std::string created;

void DB_CDECL RecordCreate(DBHandle, StringRecord* table, DBColumnDefinition* columns,
                           const uint8_t* keys, int32_t keyCount) {
  created += StringBytes(table) + ":";
  for (const DBColumnDefinition* column = columns; column; column = column->next) {
    created += " {" + StringBytes(column->name) + ", " + std::to_string(column->type) + ", " +
               std::to_string(column->nullable) + "}";
  }
  created += " keys";
  for (int32_t i = 0; i < keyCount; ++i) created += " " + std::to_string(keys[i]);
}

void DB_CDECL RecordAddColumn(DBHandle, StringRecord* table, DBColumnDefinition* column) {
  created += StringBytes(table) + " + {" + StringBytes(column->name) + ", " +
             std::to_string(column->type) + ", " + std::to_string(column->nullable) + "}";
}

TEST_F(DbSqlErrors, CreateAndAlterHandTheEngineTheirDefinitions) {
  FakeDBEngine engine(FakeAllSlotsBut({kEngineExecuteSQL}));
  engine.table.words[kEngineCreateTable] = reinterpret_cast<DBWord>(&RecordCreate);
  engine.table.words[kEngineAddColumn] = reinterpret_cast<DBWord>(&RecordAddColumn);
  db_ = ObjectRef::Adopt(engine.NewDatabase());
  std::string columns257 = "create table w (c0 integer";
  for (int i = 1; i < 257; ++i) columns257 += ", c" + std::to_string(i) + " integer";
  const struct {
    std::string sql, passed, error;
  } cases[] = {
      {"create table t (id integer not null, name varchar(40), primary key (id))",
       "t: {id, 3, 0} {name, 5, 1} keys 0", ""},
      {"CREATE TABLE t (a char, b integer, c long varbinary, d timestamp)",
       "t: {a, 5, 1} {b, 3, 1} {c, 16, 1} {d, 10, 1} keys", ""},
      {"alter table t add column [e f] long varchar not null", "t + {e f, 15, 0}", ""},
      {"create table a!b (x integer)", "", "201 Invalid table name"},
      {"create table t (a]b integer)", "", "201 Invalid column name"},
      {columns257 + ")", "", "201 Too many columns"},
      {"create table t (a integer, primary key (a, A))", "", "201 Invalid column"},
      {"create index i on t (a)", "", ""},
  };
  for (const auto& c : cases) {
    created.clear();
    engine.TakeLog();
    CallMethod(db_.get(), "SQLExecute", Text(c.sql).get());
    if (c.passed.empty()) {
      EXPECT_EQ(engine.TakeLog(), "") << c.sql;
    }
    EXPECT_EQ(created, c.passed) << c.sql;
    EXPECT_EQ(Error(), c.error) << c.sql;
  }
  db_ = ObjectRef();
}

}  // namespace
