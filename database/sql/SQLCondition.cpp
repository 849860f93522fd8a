// Conditions: the comparison parser, the AND/OR chain built in a loop, name
// resolution and the filter records, all over flat node vectors.
#include "database/sql/SQLCondition.h"

#include <utility>

#include "core/string.h"

namespace {

bool InvalidIdentifier(SQLError* error) {
  return SQLFail(error, 201, "Invalid column/table identifier");
}

bool Expect(SQLTokenizer& text, const char* symbol, const char* message, SQLError* error) {
  return text.NextToken().Is(symbol) || SQLFail(error, 200, message);
}

// [t.]c after the first name was read; the qualifier moves to *table.
bool ReadQualified(SQLTokenizer& text, std::string* table, std::string* column, SQLError* error) {
  if (!text.NextToken().Is(".")) {
    text.PushBack();
    return true;
  }
  const SQLToken& name = text.NextToken();
  if (!IsIdentifier(name)) return InvalidIdentifier(error);
  *table = std::move(*column);
  *column = name.text;
  return true;
}

bool ReadOperator(SQLTokenizer& text, SQLConditionNode* node, SQLError* error) {
  static const struct {
    const char* symbol;
    uint8_t op;
  } kSymbols[] = {{"=", 0}, {"<", 1}, {">", 2}, {"<=", 3}, {">=", 4}, {"<>", 5}, {"like", 6}};
  const SQLToken& token = text.NextToken();
  for (const auto& symbol : kSymbols) {
    if (token.Is(symbol.symbol)) {
      node->op = symbol.op;
      return true;
    }
  }
  const bool is = token.Is("is");
  if (!is && !token.Is("not")) return SQLFail(error, 201, "Invalid operator " + token.Written());
  const SQLToken* next = &text.NextToken();
  if (is && next->Is("not")) {
    node->op = 9;
    next = &text.NextToken();
  } else {
    node->op = is ? 8 : 7;
  }
  if (next->Is(node->op == 7 ? "like" : "null")) return true;
  return SQLFail(error, 201, "Invalid operator " + next->Written());
}

bool ReadValue(SQLTokenizer& text, SQLConditionNode* node, SQLError* error) {
  const SQLToken& token = text.NextToken();
  if (token.kind == SQLTokenKind::kQuoted) {
    node->value = token.text;
    return true;
  }
  if (node->op == 6 || node->op == 7) return SQLFail(error, 201, "Quotes expected after LIKE operation");
  if (token.IsEnd()) return SQLFail(error, 201, "Missing value");
  node->value = token.text;
  if (!IsIdentifier(token)) return true;
  node->valueKind = SQLValueKind::kName;
  if (!ReadQualified(text, &node->valueTable, &node->value, error)) return false;
  if (!node->valueTable.empty()) node->valueKind = SQLValueKind::kColumn;
  return true;
}

}  // namespace

bool SQLFail(SQLError* error, int32_t code, std::string message) {
  error->code = code;
  error->message = std::move(message);
  return false;
}

bool ExpectEnd(SQLTokenizer& text, SQLError* error) {
  if (text.AtEnd()) return true;
  constexpr size_t kShown = 60;
  const std::string_view rest = text.Rest();
  return SQLFail(error, 200, "Unexpected text: " + std::string(rest.substr(0, kShown)) +
                                 (rest.size() > kShown ? "..." : ""));
}

bool ParseComparison(SQLTokenizer& text, SQLConditionNode* node, SQLError* error) {
  const SQLToken& first = text.NextToken();
  const bool upper = first.Is("upper");
  if (upper || first.Is("lower")) {
    node->function = upper ? kSQLUpper : kSQLLower;
    if (!Expect(text, "(", "Expected '('", error)) return false;
    const SQLToken& column = text.NextToken();
    if (!IsIdentifier(column)) return InvalidIdentifier(error);
    node->column = column.text;
    if (!ReadQualified(text, &node->table, &node->column, error)) return false;
    if (!Expect(text, ")", "Expected ')'", error)) return false;
  } else {
    if (!IsIdentifier(first)) return InvalidIdentifier(error);
    node->column = first.text;
    if (!ReadQualified(text, &node->table, &node->column, error)) return false;
  }
  if (!ReadOperator(text, node, error)) return false;
  return node->op >= 8 || ReadValue(text, node, error);
}

bool ParseCondition(SQLTokenizer& text, SQLCondition* condition, SQLError* error) {
  // The condition is empty: the comparisons become nodes 0, 1, ... in order,
  // and the operator after each but the last is kept as a byte (short chains
  // stay within the string's own room).
  std::vector<SQLConditionNode>& nodes = condition->nodes;
  nodes.reserve(4);
  std::string junctions;
  for (;;) {
    nodes.emplace_back();
    if (!ParseComparison(text, &nodes.back(), error)) return false;
    const SQLToken& token = text.NextToken();
    const bool isAnd = token.Is("and");
    if (!isAnd && !token.Is("or")) {
      text.PushBack();
      break;
    }
    junctions.push_back(char(isAnd ? 0x40 : 0x41));
  }
  // Right to left: each operator joins its comparison to what follows it.
  int32_t rest = int32_t(junctions.size());
  for (size_t i = junctions.size(); i-- > 0;) {
    SQLConditionNode junction;
    junction.op = uint8_t(junctions[i]);
    junction.left = int32_t(i);
    junction.right = rest;
    nodes.push_back(std::move(junction));
    rest = int32_t(nodes.size() - 1);
  }
  condition->root = rest;
  return true;
}

bool ParseColumnName(SQLTokenizer& text, std::string* table, std::string* column,
                     SQLError* error) {
  table->clear();
  const SQLToken& first = text.NextToken();
  if (!IsIdentifier(first)) return SQLFail(error, 201, "Invalid column/table name");
  *column = first.text;
  if (!text.NextToken().Is(".")) {
    text.PushBack();
    return true;
  }
  const SQLToken& second = text.NextToken();
  if (!IsIdentifier(second)) return SQLFail(error, 201, "Invalid column name");
  *table = std::move(*column);
  *column = second.text;
  return true;
}

namespace {

// One side of a comparison against the table's column: qualified sides match
// by qualifier and name, bare ones by name, once.
bool ResolveSide(const std::string& qualifier, const std::string& name, int32_t* resolved,
                 int32_t table, const std::string& alias, const std::string& column,
                 SQLError* error) {
  if (!SameSQLName(name, column)) return true;
  if (!qualifier.empty()) {
    if (*resolved < 0 && SameSQLName(qualifier, alias)) *resolved = table;
    return true;
  }
  if (*resolved >= 0 && *resolved != table)
    return SQLFail(error, 205, "Ambiguous column reference: " + name);
  *resolved = table;
  return true;
}

}  // namespace

bool ResolveColumn(SQLCondition& condition, int32_t table, const std::string& alias,
                   const std::string& column, SQLError* error) {
  for (SQLConditionNode& node : condition.nodes) {
    if (node.IsJunction()) continue;
    if (!ResolveSide(node.table, node.column, &node.columnTable, table, alias, column, error))
      return false;
    if (node.valueKind != SQLValueKind::kLiteral &&
        !ResolveSide(node.valueTable, node.value, &node.valueColumnTable, table, alias, column,
                     error)) {
      return false;
    }
  }
  return true;
}

bool CheckResolved(SQLCondition& condition, SQLError* error) {
  for (SQLConditionNode& node : condition.nodes) {
    if (node.IsJunction()) continue;
    if (node.columnTable < 0) return SQLFail(error, 206, "Unknown column: " + node.column);
    if (node.valueKind == SQLValueKind::kColumn && node.valueColumnTable < 0)
      return SQLFail(error, 206, "Unknown column: " + node.value);
    if (node.valueKind == SQLValueKind::kName) {
      node.valueKind = node.valueColumnTable >= 0 ? SQLValueKind::kColumn : SQLValueKind::kLiteral;
    }
  }
  return true;
}

// ---- Filters ---------------------------------------------------------------------------

struct SQLFilter::Block {
  static constexpr size_t kRecords = 8;
  DBFilterRecord records[kRecords];
  size_t count = 0;
  Block* next = nullptr;
};

SQLFilter::SQLFilter(SQLFilter&& other) noexcept
    : first_(std::exchange(other.first_, nullptr)), last_(std::exchange(other.last_, nullptr)),
      root_(std::exchange(other.root_, nullptr)) {}

SQLFilter& SQLFilter::operator=(SQLFilter&& other) noexcept {
  if (this != &other) {
    Free();
    first_ = std::exchange(other.first_, nullptr);
    last_ = std::exchange(other.last_, nullptr);
    root_ = std::exchange(other.root_, nullptr);
  }
  return *this;
}

SQLFilter::~SQLFilter() { Free(); }

void SQLFilter::Free() {
  for (Block* block = first_; block;) {
    for (size_t i = 0; i < block->count; ++i) {
      RuntimeUnlockString(block->records[i].column);
      RuntimeUnlockString(block->records[i].value);
    }
    delete std::exchange(block, block->next);
  }
  first_ = last_ = nullptr;
  root_ = nullptr;
}

void SQLFilter::Clear() {
  Block* kept = std::exchange(first_, nullptr);
  if (!kept) return Free();
  first_ = std::exchange(kept->next, nullptr);
  Free();
  for (size_t i = 0; i < kept->count; ++i) {
    RuntimeUnlockString(kept->records[i].column);
    RuntimeUnlockString(kept->records[i].value);
  }
  kept->count = 0;
  first_ = last_ = kept;
}

DBFilterRecord* SQLFilter::Add(const DBFilterRecord& record) {
  if (!last_ || last_->count == Block::kRecords) {
    Block* block = new Block;
    (last_ ? last_->next : first_) = block;
    last_ = block;
  }
  DBFilterRecord* added = &last_->records[last_->count++];
  *added = record;
  return added;
}

DBFilterRecord* SQLFilter::Comparison(uint8_t op, uint8_t function, const std::string& column,
                                      const std::string& value, uint32_t encoding) {
  // Owned by the record from here on.
  return Add(DBFilterRecord{nullptr, nullptr, op, function, NewString(column, encoding),
                            NewString(value, encoding)});
}

DBFilterRecord* SQLFilter::Never(const std::string& column, uint32_t encoding) {
  return Junction(0x40, Comparison(8, 0, column, "", encoding),
                  Comparison(9, 0, column, "", encoding));
}

DBFilterRecord* SQLFilter::Junction(uint8_t op, DBFilterRecord* left, DBFilterRecord* right) {
  if (op == 0x40 && (!left || !right)) return left ? left : right;
  if (!left || !right) return nullptr;
  return Add(DBFilterRecord{left, right, op, 0, nullptr, nullptr});
}

void BuildFilter(const SQLCondition& condition, const SQLFilterLeaf& leaf, SQLFilter* filter,
                 bool* exact) {
  bool complete = true;
  // Children first: a node is finished once both its sides are. Each node
  // is on the stack at most once, so one list of the nodes' size holds both
  // the records made (by node) and the stack (by depth).
  struct Slot {
    DBFilterRecord* made = nullptr;
    int32_t node = 0;
    bool childrenDone = false;
  };
  constexpr size_t kLocal = 16;
  Slot local[kLocal];
  std::vector<Slot> more;
  Slot* slots = local;
  if (condition.nodes.size() > kLocal) {
    more.resize(condition.nodes.size());
    slots = more.data();
  }
  size_t depth = 0;
  if (!condition.Empty()) slots[depth++] = {slots[0].made, condition.root, false};
  while (depth > 0) {
    const int32_t index = slots[depth - 1].node;
    const SQLConditionNode& node = condition.nodes[size_t(index)];
    if (node.IsJunction() && !slots[depth - 1].childrenDone) {
      slots[depth - 1].childrenDone = true;
      slots[depth].node = node.right;
      slots[depth++].childrenDone = false;
      slots[depth].node = node.left;
      slots[depth++].childrenDone = false;
      continue;
    }
    --depth;
    if (node.IsJunction()) {
      slots[size_t(index)].made =
          filter->Junction(node.op, slots[size_t(node.left)].made, slots[size_t(node.right)].made);
    } else {
      slots[size_t(index)].made = leaf(*filter, node);
      complete = complete && slots[size_t(index)].made;
    }
  }
  filter->SetRoot(condition.Empty() ? nullptr : slots[size_t(condition.root)].made);
  if (exact) *exact = complete;
}

SQLFilter MakeFilter(const SQLCondition& condition, uint32_t encoding, bool* exact) {
  SQLFilter filter;
  BuildFilter(
      condition,
      [encoding](SQLFilter& records, const SQLConditionNode& node) -> DBFilterRecord* {
        if (node.valueKind != SQLValueKind::kLiteral) return nullptr;
        return records.Comparison(node.op, node.function, node.column, node.value, encoding);
      },
      &filter, exact);
  return filter;
}

#ifdef _WINDOWS_
#error "The SQL front-end stays portable: no <windows.h>."
#endif
