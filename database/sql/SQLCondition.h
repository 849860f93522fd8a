// WHERE conditions: parsed into a tree of comparisons joined by AND and OR,
// their column names resolved against the tables of a statement, and turned
// into the filter records a table cursor takes (DBInterface.h).
//
// Grammar: comparison { ("and" | "or") comparison }, the operators binding
// to the right without precedence (a = 1 and b = 2 or c = 3 is
// a = 1 and (b = 2 or c = 3)); no parentheses. A comparison is
//   [upper( | lower(] [t.]column [)] op value
// with op one of = < > <= >= <> LIKE, NOT LIKE, IS NULL, IS NOT NULL (no
// value). A quoted value is literal text; LIKE takes nothing else. A bare
// name is a column when it names one of a table of the statement (else
// literal text); t.c always names a column; anything else (a number) is
// literal as written.
//
// Trees are flat vectors of nodes; nothing here recurses, so a condition of
// any length costs time and memory in proportion to it.
//
// Errors carry the front-end's codes: 200 a missing keyword or punctuation,
// 201 a malformed name or operator, 202 an unknown table, 203 an internal
// failure, 205 an ambiguous column, 206 an unknown column, 208 mismatched
// column lists.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "database/api/DBInterface.h"
#include "database/sql/SQLTokenizer.h"

struct SQLError {
  int32_t code = 0;
  std::string message;
};
// Records the error; always false.
bool SQLFail(SQLError* error, int32_t code, std::string message);

enum SQLFunction : uint8_t { kSQLNoFunction = 0, kSQLUpper = 2, kSQLLower = 3 };

enum class SQLValueKind : uint8_t {
  kLiteral,  // text, or a number as written
  kName,     // a bare name: a column when it names one, else literal
  kColumn,   // a column of a table of the statement
};

struct SQLConditionNode {
  int32_t left = -1;  // children of AND (0x40) and OR (0x41)
  int32_t right = -1;
  uint8_t op = 0;  // the codes of DBFilterRecord
  uint8_t function = kSQLNoFunction;
  std::string table;  // the left side's qualifier as written, or empty
  std::string column;
  SQLValueKind valueKind = SQLValueKind::kLiteral;
  std::string valueTable;  // the right-hand column's qualifier, or empty
  std::string value;       // literal text, or the right-hand column
  // Resolution: indexes of the statement's tables, -1 until found.
  int32_t columnTable = -1;
  int32_t valueColumnTable = -1;

  bool IsJunction() const { return op == 0x40 || op == 0x41; }
  bool ComparesColumns() const { return valueKind == SQLValueKind::kColumn; }
};

struct SQLCondition {
  std::vector<SQLConditionNode> nodes;
  int32_t root = -1;  // -1: no condition
  bool Empty() const { return root < 0; }
};

// The end of a statement: text left over fails with 200 "Unexpected text: "
// and what is left (its first 60 bytes).
bool ExpectEnd(SQLTokenizer& text, SQLError* error);

bool ParseComparison(SQLTokenizer& text, SQLConditionNode* node, SQLError* error);
// Appends to an empty condition.
bool ParseCondition(SQLTokenizer& text, SQLCondition* condition, SQLError* error);
// [table.]column; the table is empty when not given.
bool ParseColumnName(SQLTokenizer& text, std::string* table, std::string* column,
                     SQLError* error);

// Marks the comparisons that refer to this column of the statement's table
// `table`, named `alias` there: a qualified side when qualifier and column
// match, a bare one when the column does (205 when another table has it).
bool ResolveColumn(SQLCondition& condition, int32_t table, const std::string& alias,
                   const std::string& column, SQLError* error);
// Fails with 206 on the first comparison whose column, or qualified
// right-hand column, was not found. Settles bare right-hand names: a column
// when one was found, else literal text.
bool CheckResolved(SQLCondition& condition, SQLError* error);

// Filter records and the strings they point at; moves keep the records'
// addresses.
class SQLFilter {
 public:
  SQLFilter() = default;
  SQLFilter(SQLFilter&& other) noexcept;
  SQLFilter& operator=(SQLFilter&& other) noexcept;
  ~SQLFilter();

  DBFilterRecord* root() const { return root_; }
  // Empty again, its first block's room kept.
  void Clear();
  void SetRoot(DBFilterRecord* root) { root_ = root; }
  DBFilterRecord* Comparison(uint8_t op, uint8_t function, const std::string& column,
                             const std::string& value, uint32_t encoding);
  // A condition on the column that no row meets.
  DBFilterRecord* Never(const std::string& column, uint32_t encoding);
  DBFilterRecord* Junction(uint8_t op, DBFilterRecord* left, DBFilterRecord* right);

 private:
  // Records, and the texts they hold a reference to, in blocks that never
  // move: most statements need one.
  struct Block;
  DBFilterRecord* Add(const DBFilterRecord& record);
  void Free();

  Block* first_ = nullptr;
  Block* last_ = nullptr;
  DBFilterRecord* root_ = nullptr;
};

// The filter of a condition, a comparison's record made by `leaf` (null: no
// record, which holds). An AND keeps what its sides give; an OR with a side
// that gives nothing gives nothing. The result lets through every row the
// condition holds for; `exact` says whether it holds for no other.
using SQLFilterLeaf = std::function<DBFilterRecord*(SQLFilter&, const SQLConditionNode&)>;
void BuildFilter(const SQLCondition& condition, const SQLFilterLeaf& leaf, SQLFilter* filter,
                 bool* exact = nullptr);
// Every comparison with a literal value, codes 0 to 9; none for those
// between columns or with a bare name not yet settled.
SQLFilter MakeFilter(const SQLCondition& condition, uint32_t encoding, bool* exact = nullptr);
