// The SQL front-end's tokens and parsers without a database: what each
// statement reads into (conditions as trees, select lists, keys, values), the
// errors at each step, and which conditions a table cursor's filter decides
// alone. Run natively as well as on the target.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/TextEncoding.h"
#include "core/string.h"
#include "database/sql/SQLStatements.h"

namespace {

// The tokenizer borrows the text: a literal, or a string that outlives it.
SQLTokenizer Tokens(const char* text) {
  return SQLTokenizer(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}
SQLTokenizer Tokens(const std::string& text) {
  return SQLTokenizer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
SQLTokenizer Tokens(std::string&&) = delete;

std::string TokenList(const std::string& text) {
  SQLTokenizer tokenizer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  std::string joined;
  for (const SQLToken* token = &tokenizer.NextToken(); !token->IsEnd(); token = &tokenizer.NextToken()) {
    const std::string quote = token->kind == SQLTokenKind::kQuoted ? "'" : "";
    joined += (joined.empty() ? "" : "|") + quote + std::string(token->text) + quote;
  }
  return joined;
}

TEST(DbSqlTokens, TextSplitsIntoTheTokensOfTheGrammar) {
  const struct {
    std::string text, tokens;
  } cases[] = {
      {"a<=b a<b a<>b", "a|<=|b|a|<|b|a|<>|b"},
      {"x>=-1", "x|>=|-1"},
      {"[Order Date]=t.c", "Order Date|=|t|.|c"},
      {"'O''Brien' \"say \"\"hi\"\"\"", "'O'Brien'|'say \"hi\"'"},
      {"'open", "'open'"},
      {"café,n", "café|,|n"},
      {std::string("a\0b", 3), "a|b"},
      {"select * from t;; ;", "select|*|from|t"},
      {"count(*) 1.5.2", "count|(|*|)|1.5|.|2"},
      {"1e1 1E+5 -2.5e-3 1e 1ex 1e+ -e5 2020-1-31", "1e1|1E+5|-2.5e-3|1|e|1|ex|1|e+|-|e5|2020|-1|-31"},
  };
  for (const auto& c : cases) EXPECT_EQ(TokenList(c.text), c.tokens) << c.text;

  for (const char* name : {"café", "\x80x", "Order Date", "a_1#"}) EXPECT_TRUE(IsIdentifier(std::string(name))) << name;
  for (const char* name : {"", "a!b", "1a", "a]", "a.b"}) EXPECT_FALSE(IsIdentifier(std::string(name))) << name;
  EXPECT_FALSE(IsIdentifier(std::string("a\0b", 3)));

  // A double-byte character whose second byte is "]" stays in its name.
  const std::string dbcs = "[\x83\x5D]=[\x83\x5D";
  SQLTokenizer japanese(reinterpret_cast<const uint8_t*>(dbcs.data()), dbcs.size(), kEncodingShiftJIS);
  EXPECT_EQ(japanese.NextToken().text, "\x83\x5D");
  EXPECT_TRUE(japanese.NextToken().Is("="));
  EXPECT_EQ(japanese.NextToken().text, "\x83\x5D");
  EXPECT_TRUE(japanese.AtEnd());

  const std::string text = "a = 'b'";
  SQLTokenizer tokenizer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  tokenizer.NextToken();
  tokenizer.NextToken();
  tokenizer.PushBack();
  EXPECT_TRUE(tokenizer.NextToken().Is("="));
  EXPECT_EQ(tokenizer.NextToken().Written(), "'b'");
}

std::string Name(const std::string& table, const std::string& column) {
  return table.empty() ? column : table + "." + column;
}

// A condition as "(a = 'x' and (b < 2 or upper(t.c) like 'y'))": literal
// values quoted, bare names marked "?", columns bare.
std::string Print(const SQLCondition& condition, int32_t index) {
  static const char* kOps[] = {"=", "<", ">", "<=", ">=", "<>", "like", "not like", "is null", "is not null"};
  const SQLConditionNode& node = condition.nodes[size_t(index)];
  if (node.IsJunction()) {
    return "(" + Print(condition, node.left) + (node.op == 0x40 ? " and " : " or ") +
           Print(condition, node.right) + ")";
  }
  std::string column = Name(node.table, node.column);
  if (node.function) column = (node.function == kSQLUpper ? "upper(" : "lower(") + column + ")";
  std::string text = column + " " + (node.op < 10 ? kOps[node.op] : "?op");
  if (node.op >= 8) return text;
  switch (node.valueKind) {
    case SQLValueKind::kLiteral: return text + " '" + node.value + "'";
    case SQLValueKind::kName: return text + " ?" + node.value;
    case SQLValueKind::kColumn: return text + " " + Name(node.valueTable, node.value);
  }
  return text;
}

// "code message" or the condition printed.
std::string Condition(const std::string& text) {
  SQLTokenizer tokens = Tokens(text);
  SQLCondition condition;
  SQLError error;
  if (!ParseCondition(tokens, &condition, &error) || !ExpectEnd(tokens, &error))
    return std::to_string(error.code) + " " + error.message;
  return Print(condition, condition.root);
}

TEST(DbSqlGrammar, ConditionsReadAsTreesBindingToTheRight) {
  const struct {
    const char* text;
    const char* tree;
  } cases[] = {
      {"a = 1", "a = '1'"},
      {"a < 'x' and b > 2 or c <= 3", "(a < 'x' and (b > '2' or c <= '3'))"},
      {"a >= -1 or b <> 'q' and c = d", "(a >= '-1' or (b <> 'q' and c = ?d))"},
      {"a like 'x%' and b not like '_'", "(a like 'x%' and b not like '_')"},
      {"a is null or b is not null", "(a is null or b is not null)"},
      {"upper(t.a) = 'X' and lower(b) < c.d", "(upper(t.a) = 'X' and lower(b) < c.d)"},
      {"[my col] = 'it''s'", "my col = 'it's'"},
      {"t . a = u . b", "t.a = u.b"},
      {"a = 2.5e1", "a = '2.5e1'"},
      {"a", "201 Invalid operator "},
      {"a = ", "201 Missing value"},
      {"a like b", "201 Quotes expected after LIKE operation"},
      {"a not null", "201 Invalid operator null"},
      {"a is 'x'", "201 Invalid operator 'x'"},
      {"a == 1", "200 Unexpected text: 1"},
      {"upper a) = 1", "200 Expected '('"},
      {"upper(a = 1", "200 Expected ')'"},
      {"upper(1) = 1", "201 Invalid column/table identifier"},
      {"1 = a", "201 Invalid column/table identifier"},
      {"t. = 1", "201 Invalid column/table identifier"},
      {"a = 1 and", "201 Invalid column/table identifier"},
      {"a = 1 b = 2", "200 Unexpected text: b = 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.tree, Condition(c.text)) << c.text;
}

// A SELECT as "entries | tables | where | order": entries as kind:name
// ("~" hidden), tables "name alias", order items "n" or "n desc", "group"
// after a GROUP BY.
std::string Select(const std::string& text) {
  SQLTokenizer tokens = Tokens(text);
  SQLSelectStatement select;
  SQLError error;
  if (!tokens.NextToken().Is("select") || !ParseSelect(tokens, &select, &error))
    return std::to_string(error.code) + " " + error.message;
  std::string out;
  for (const SQLSelectEntry& entry : select.entries)
    out += std::to_string(entry.kind) + ":" + Name(entry.table, entry.column) + (entry.hidden ? "~ " : " ");
  out += "|";
  for (const SQLTableName& table : select.tables) out += " " + table.name + " " + table.alias;
  out += " | " + (select.where.Empty() ? std::string("-") : Print(select.where, select.where.root)) + " |";
  for (const SQLOrderItem& item : select.order)
    out += " " + (item.hiddenEntry >= 0 ? "e" + std::to_string(item.hiddenEntry) : std::to_string(item.column)) +
           (item.descending ? " desc" : "");
  if (select.groupBy) out += " group";
  out += " h" + std::to_string(select.HiddenCount()) + (select.HasAggregate() ? " agg" : "");
  return out;
}

TEST(DbSqlGrammar, SelectReadsItsListTablesAndClauses) {
  const struct {
    const char* text;
    const char* parsed;
  } cases[] = {
      {"select * from t", "0:* | t t | - | h0"},
      {"select a, t.b, u.* from t x, u where a = 1 order by 2 desc, c asc, 1",
       "0:a 0:t.b 0:u.* 0:c~ | t x u u | a = '1' | 1 desc e3 0 h1"},
      {"select count(*), sum(v), avg(t.v), min(v), max(v) from t group by g",
       "1:* 3:v 2:t.v 4:v 5:v 0:g~ | t t | - | e5 group h1 agg"},
      {"select a from [my table] where b like 'x'", "0:a | my table my table | b like 'x' | h0"},
      {"select a from t order by 12345", "0:a | t t | - | -1 h0"},
      {"select a from t order by b, t.c desc", "0:a 0:b~ 0:t.c~ | t t | - | e1 e2 desc h2"},
      {"select a from t order by 0", "0:a | t t | - | -1 h0"},
      {"select a from t where", "201 Invalid column/table identifier"},
      {"select a b from t", "200 Expecting ','"},
      {"select a from t u v", "200 Expecting ','"},
      {"select a from 1", "201 Invalid table name"},
      {"select a from t order a", "200 Expecting 'BY'"},
      {"select a from t order by 1, 'x'", "201 Invalid column index"},
      {"select a from t order by 'x'", "201 Invalid ORDER BY column"},
      {"select a from t order by a group by a", "201 ORDER BY can't be used in conjunction with GROUP BY"},
      {"select a from t group by a, b", "201 Only single GROUP BY columns currently supported"},
      {"select a from t group by 1", "201 Invalid GROUP BY column"},
      {"select count(a) from t", "201 Only COUNT(*) supported"},
      {"select total(a) from t", "201 Unsupported SELECT function"},
      {"select sum(a from t", "200 Expected ')'"},
      {"select t.1 from t", "201 Invalid column name"},
      {"select 1 from t", "201 Invalid column/table name"},
      {"select a from t limit 1", "200 Expecting ','"},
      {"select a from t where a = 1 limit 1", "200 Unexpected text: limit 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.parsed, Select(c.text)) << c.text;
}

TEST(DbSqlGrammar, ListsStopAtTheirLimits) {
  std::string columns = "a", tables = "t", order = "1";
  for (size_t i = 1; i < kSQLMaxColumns; ++i) columns += ", a";
  for (size_t i = 1; i < kSQLMaxTables; ++i) tables += ", t";
  for (size_t i = 1; i < kSQLMaxOrderItems; ++i) order += ", 1";
  EXPECT_EQ(0u, Select("select " + columns + " from t").find("0:a"));
  EXPECT_EQ("201 Too many columns", Select("select " + columns + ", a from t"));
  EXPECT_NE(std::string::npos, Select("select a from " + tables).find("t t |"));
  EXPECT_EQ("201 Too many tables", Select("select a from " + tables + ", t"));
  EXPECT_EQ(0u, Select("select a from t order by " + order).find("0:a"));
  EXPECT_EQ("201 Too many columns", Select("select a from t order by " + order + ", 1"));
}

// "name:type[!]" for each column (! not null), then "key" and the indexes.
std::string Create(const std::string& text) {
  SQLTokenizer tokens = Tokens(text);
  SQLCreateTable create;
  SQLError error;
  bool ignored = false;
  tokens.NextToken();
  if (!ParseCreateTable(tokens, &create, &ignored, &error)) return std::to_string(error.code) + " " + error.message;
  if (ignored) return "ignored";
  std::string out = create.table;
  for (const SQLColumnType& column : create.columns)
    out += " " + column.name + ":" + std::to_string(column.type) + (column.nullable ? "" : "!");
  out += " key";
  for (const uint8_t key : create.keys) out += " " + std::to_string(key);
  return out;
}

TEST(DbSqlGrammar, CreateTableReadsTypesNullsAndKeys) {
  const struct {
    const char* text;
    const char* parsed;
  } cases[] = {
      {"create table t (a char, b character(9), c varchar(3) not null, d smallint, e integer, f float, "
       "g double, h date, i time, j timestamp, k boolean, l long varchar, m long varbinary)",
       "t a:5 b:5 c:5! d:2 e:3 f:6 g:7 h:8 i:9 j:10 k:12 l:15 m:16 key"},
      {"create table t (a integer, b date not null, primary key (b, a))", "t a:3 b:8! key 1 0"},
      {"create table t (a integer, primary key ())", "t a:3 key"},
      {"create table t (a integer, primary key (a)", "t a:3 key 0"},
      {"create index i on t", "ignored"},
      {"create table t (a blob)", "200 Expecting field type"},
      {"create table t (a long text)", "200 Expecting field type"},
      {"create table t (a char(x))", "201 Invalid field constraint"},
      {"create table t (a char(3)", "200 Expecting ',' or ')'"},
      {"create table t (a integer not)", "200 Expecting 'NULL'"},
      {"create table t (a integer, primary key (b))", "201 Invalid column"},
      {"create table t (a integer, primary key (a, a))", "201 Invalid column"},
      {"create table t (a integer, primary key (a b))", "201 Expecting ',' or ')'"},
      {"create table t (a integer, primary (a))", "200 Expecting 'KEY'"},
      {"create table t (a integer) x", "200 Unexpected text: x"},
      {"create table 1 (a integer)", "201 Invalid table name"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.parsed, Create(c.text)) << c.text;
}

TEST(DbSqlGrammar, InsertUpdateAndDeleteReadTheirValues) {
  SQLError error;
  {
    SQLTokenizer tokens = Tokens("into t (a, b, c) values ('x', NULL, 'null')");
    SQLInsert insert;
    ASSERT_TRUE(ParseInsert(tokens, &insert, &error)) << error.message;
    ASSERT_EQ(3u, insert.values.size());
    EXPECT_EQ("x", insert.values[0].text);
    EXPECT_FALSE(insert.values[0].null);
    EXPECT_TRUE(insert.values[1].null);
    EXPECT_FALSE(insert.values[2].null);
  }
  const struct {
    const char* text;
    int32_t code;
    const char* message;
  } inserts[] = {{"into t (a, b) values (1)", 208, "Mismatched INSERT columns"},
                 {"into t (a) values (1, 2)", 208, "Mismatched INSERT columns"},
                 {"into t (a) values (1, )", 208, "Mismatched INSERT columns"},
                 {"into t (a) values (,)", 201, "Missing value"},
                 {"into t (a b) values (1)", 200, "Expecting ')'"},
                 {"into t (a) (1)", 200, "Expecting 'VALUES'"},
                 {"t (a) values (1)", 200, "Expecting 'INTO'"}};
  for (const auto& c : inserts) {
    SQLTokenizer tokens = Tokens(c.text);
    SQLInsert insert;
    EXPECT_FALSE(ParseInsert(tokens, &insert, &error)) << c.text;
    EXPECT_EQ(c.code, error.code) << c.text;
    EXPECT_EQ(c.message, error.message) << c.text;
  }
  SQLTokenizer tokens = Tokens("t set a = 1, b = NULL where c = 2 or d = 'x'");
  SQLUpdate update;
  ASSERT_TRUE(ParseUpdate(tokens, &update, &error)) << error.message;
  ASSERT_EQ(2u, update.assignments.size());
  EXPECT_EQ("b", update.assignments[1].column);
  EXPECT_TRUE(update.assignments[1].value.null);
  EXPECT_EQ("(c = '2' or d = 'x')", Print(update.where, update.where.root));
  SQLTokenizer noWhere = Tokens("t set a = 1 c = 2");
  SQLUpdate bad;
  EXPECT_FALSE(ParseUpdate(noWhere, &bad, &error));
  EXPECT_EQ("Expecting ','", error.message);
  SQLTokenizer remove = Tokens("from t where a is null");
  SQLDelete gone;
  ASSERT_TRUE(ParseDelete(remove, &gone, &error));
  EXPECT_EQ("a is null", Print(gone.where, gone.where.root));
  SQLTokenizer removeAll = Tokens("from t");
  SQLDelete all;
  ASSERT_TRUE(ParseDelete(removeAll, &all, &error));
  EXPECT_TRUE(all.where.Empty());
}

// The filter keeps every comparison with a literal; the rest leave it to the
// row test, and an OR that loses a side gives no filter.
TEST(DbSqlGrammar, FiltersSayWhetherTheyDecideAlone) {
  const struct {
    const char* text;
    bool resolvedB;  // b names a column of the table
    const char* filter;
    bool exact;
  } cases[] = {
      {"a = 1 and c < 'x'", true, "(a 0 1 and c 1 x)", true},
      {"a = b and c < 'x'", true, "c 1 x", false},
      {"a = b and c < 'x'", false, "(a 0 b and c 1 x)", true},
      {"a = b or c < 'x'", true, "-", false},
      {"upper(a) like 'x%' or a is null", true, "(a 6 x% f2 or a 8 )", true},
  };
  // Before resolution a bare name may be a column: it passes no filter.
  {
    SQLTokenizer tokens = Tokens("a = b and c < 'x'");
    SQLCondition condition;
    SQLError error;
    ASSERT_TRUE(ParseCondition(tokens, &condition, &error));
    bool exact = true;
    const SQLFilter filter = MakeFilter(condition, kEncodingASCII, &exact);
    EXPECT_FALSE(exact);
    ASSERT_TRUE(filter.root());
    EXPECT_EQ("c", StringBytes(filter.root()->column));
  }
  for (const auto& c : cases) {
    SQLTokenizer tokens = Tokens(c.text);
    SQLCondition condition;
    SQLError error;
    ASSERT_TRUE(ParseCondition(tokens, &condition, &error)) << c.text;
    for (const char* column : {"a", "c", "d"}) ASSERT_TRUE(ResolveColumn(condition, 0, "t", column, &error));
    if (c.resolvedB) {
      ASSERT_TRUE(ResolveColumn(condition, 0, "t", "b", &error));
    }
    ASSERT_TRUE(CheckResolved(condition, &error)) << c.text;
    bool exact = false;
    const SQLFilter filter = MakeFilter(condition, kEncodingASCII, &exact);
    EXPECT_EQ(c.exact, exact) << c.text;
    std::function<std::string(const DBFilterRecord*)> print = [&](const DBFilterRecord* record) -> std::string {
      if (!record) return "-";
      if (record->op == 0x40 || record->op == 0x41) {
        return "(" + print(record->left) + (record->op == 0x40 ? " and " : " or ") + print(record->right) + ")";
      }
      return StringBytes(record->column) + " " + std::to_string(record->op) + " " + StringBytes(record->value) +
             (record->function ? " f" + std::to_string(record->function) : "");
    };
    EXPECT_EQ(c.filter, print(filter.root())) << c.text;
  }
  // A long chain: its records fill several of the filter's blocks, and a
  // moved filter's records stay where they were.
  std::string text, expected;
  for (int i = 0; i < 30; ++i) {
    const std::string comparison = "a = " + std::to_string(i);
    text += (i ? (i % 3 ? " and " : " or ") : "") + comparison;
    expected += i < 29 ? "(a 0 " + std::to_string(i) + (i % 3 == 2 ? " or " : " and ") : "a 0 29";
  }
  expected += std::string(29, ')');
  SQLTokenizer tokens = Tokens(text.c_str());
  SQLCondition condition;
  SQLError error;
  ASSERT_TRUE(ParseCondition(tokens, &condition, &error));
  ASSERT_TRUE(ResolveColumn(condition, 0, "t", "a", &error));
  ASSERT_TRUE(CheckResolved(condition, &error));
  SQLFilter made = MakeFilter(condition, kEncodingASCII);
  const DBFilterRecord* root = made.root();
  const SQLFilter moved = std::move(made);
  EXPECT_EQ(root, moved.root());
  std::string printed;
  std::vector<std::pair<const DBFilterRecord*, int>> stack = {{moved.root(), 0}};
  while (!stack.empty()) {
    auto [record, step] = stack.back();
    stack.pop_back();
    if (record->op != 0x40 && record->op != 0x41) {
      printed += StringBytes(record->column) + " " + std::to_string(record->op) + " " + StringBytes(record->value);
    } else if (step == 0) {
      printed += "(";
      stack.push_back({record, 1});
      stack.push_back({record->left, 0});
    } else if (step == 1) {
      printed += record->op == 0x40 ? " and " : " or ";
      stack.push_back({record, 2});
      stack.push_back({record->right, 0});
    } else {
      printed += ")";
    }
  }
  EXPECT_EQ(expected, printed);
}

TEST(DbSqlGrammar, ResolutionFindsAmbiguousAndUnknownColumns) {
  SQLError error;
  SQLTokenizer tokens = Tokens("a = 1 and t.b = u.c and d = e");
  SQLCondition condition;
  ASSERT_TRUE(ParseCondition(tokens, &condition, &error));
  ASSERT_TRUE(ResolveColumn(condition, 0, "t", "a", &error));
  ASSERT_TRUE(ResolveColumn(condition, 0, "t", "b", &error));
  ASSERT_TRUE(ResolveColumn(condition, 1, "u", "b", &error));  // qualified: not u's
  EXPECT_FALSE(CheckResolved(condition, &error));
  EXPECT_EQ("206 Unknown column: c", std::to_string(error.code) + " " + error.message);
  ASSERT_TRUE(ResolveColumn(condition, 1, "u", "c", &error));
  EXPECT_FALSE(CheckResolved(condition, &error));
  EXPECT_EQ("206 Unknown column: d", std::to_string(error.code) + " " + error.message);
  ASSERT_TRUE(ResolveColumn(condition, 1, "u", "d", &error));
  EXPECT_FALSE(ResolveColumn(condition, 0, "t", "d", &error));
  EXPECT_EQ("205 Ambiguous column reference: d", std::to_string(error.code) + " " + error.message);
  SQLCondition second;
  SQLTokenizer again = Tokens("A = 1 and t.b = u.c");
  ASSERT_TRUE(ParseCondition(again, &second, &error));
  ASSERT_TRUE(ResolveColumn(second, 0, "t", "a", &error));
  ASSERT_TRUE(ResolveColumn(second, 0, "T", "B", &error));
  EXPECT_FALSE(CheckResolved(second, &error));
  EXPECT_EQ("Unknown column: c", error.message);
  ASSERT_TRUE(ResolveColumn(second, 1, "u", "c", &error));
  EXPECT_TRUE(CheckResolved(second, &error));
}

}  // namespace
