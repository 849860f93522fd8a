// Statement parsers over the tokenizer.
#include "database/sql/SQLStatements.h"

#include <cstdio>

#include "core/TextEncoding.h"
#include "core/string.h"

namespace {

bool Expect(SQLTokenizer& text, const char* keyword, const char* message, SQLError* error) {
  return text.NextToken().Is(keyword) || SQLFail(error, 200, message);
}

bool HasZeroByte(std::string_view name) { return name.find('\0') != std::string_view::npos; }

// A table name of SELECT, UPDATE and DELETE: a word or bracketed name.
bool ReadTableName(SQLTokenizer& text, std::string* name, SQLError* error) {
  const SQLToken& token = text.NextToken();
  const bool named = token.kind == SQLTokenKind::kWord || token.kind == SQLTokenKind::kBracketed;
  if (!named || token.text.empty() || HasZeroByte(token.text))
    return SQLFail(error, 201, "Invalid table name");
  *name = token.text;
  return true;
}

// Names that CREATE, ALTER and INSERT store or pass on are identifiers.
bool ReadIdentifier(SQLTokenizer& text, std::string* name, const char* message, SQLError* error) {
  const SQLToken& token = text.NextToken();
  if (!IsIdentifier(token)) return SQLFail(error, 201, message);
  *name = token.text;
  return true;
}

// A value of INSERT or UPDATE: quoted text, an unquoted NULL, or a word or
// number as written.
bool ReadValueText(SQLTokenizer& text, SQLValueText* value, SQLError* error) {
  const SQLToken& token = text.NextToken();
  if (token.IsEnd() || token.kind == SQLTokenKind::kSymbol)
    return SQLFail(error, 201, "Missing value");
  value->text = token.text;
  value->null = token.kind == SQLTokenKind::kWord && token.Is("null");
  return true;
}

// An optional WHERE that ends the statement.
bool ReadWhere(SQLTokenizer& text, SQLCondition* where, const char* message, SQLError* error) {
  const SQLToken& token = text.NextToken();
  if (token.IsEnd()) return true;
  if (!token.Is("where")) return SQLFail(error, 200, message);
  return ParseCondition(text, where, error) && ExpectEnd(text, error);
}

// ---- Column types ------------------------------------------------------------------------

bool ReadTypeWord(SQLTokenizer& text, int32_t* type, SQLError* error) {
  static const struct {
    const char* word;
    int32_t type;
  } kTypes[] = {{"char", 5},   {"character", 5}, {"varchar", 5},    {"smallint", 2},
                {"integer", 3}, {"float", 6},    {"double", 7},     {"date", 8},
                {"time", 9},   {"timestamp", 10}, {"boolean", 12}};
  const SQLToken& token = text.NextToken();
  if (token.Is("long")) {
    const SQLToken& second = text.NextToken();
    *type = second.Is("varchar") ? 15 : second.Is("varbinary") ? 16 : 0;
    return *type || SQLFail(error, 200, "Expecting field type");
  }
  for (const auto& entry : kTypes) {
    if (token.Is(entry.word)) {
      *type = entry.type;
      return true;
    }
  }
  return SQLFail(error, 200, "Expecting field type");
}

// The type, a text length (not kept) and NOT NULL.
bool ReadColumnType(SQLTokenizer& text, SQLColumnType* column, SQLError* error) {
  if (!ReadTypeWord(text, &column->type, error)) return false;
  if (column->type == 5) {
    if (text.NextToken().Is("(")) {
      if (!IsAllDigits(text.NextToken().text)) return SQLFail(error, 201, "Invalid field constraint");
      if (!Expect(text, ")", "Expecting ')'", error)) return false;
    } else {
      text.PushBack();
    }
  }
  if (!text.NextToken().Is("not")) {
    text.PushBack();
    return true;
  }
  column->nullable = false;
  return Expect(text, "null", "Expecting 'NULL'", error);
}

// The key clause ends the definitions; the table's ")" may follow it, and
// then the statement ends.
bool EndOfKeyClause(SQLTokenizer& text, SQLError* error) {
  if (!text.NextToken().Is(")")) text.PushBack();
  return ExpectEnd(text, error);
}

bool ReadPrimaryKey(SQLTokenizer& text, SQLCreateTable* create, SQLError* error) {
  if (!Expect(text, "key", "Expecting 'KEY'", error)) return false;
  if (!Expect(text, "(", "Expecting '('", error)) return false;
  if (text.NextToken().Is(")")) return EndOfKeyClause(text, error);
  text.PushBack();
  for (;;) {
    std::string name;
    if (!ReadIdentifier(text, &name, "Invalid column name", error)) return false;
    size_t index = 0;
    while (index < create->columns.size() && !SameSQLName(create->columns[index].name, name)) ++index;
    if (index == create->columns.size()) return SQLFail(error, 201, "Invalid column");
    for (const uint8_t key : create->keys) {
      if (key == index) return SQLFail(error, 201, "Invalid column");
    }
    create->keys.push_back(uint8_t(index));
    const SQLToken& separator = text.NextToken();
    if (separator.Is(")")) return EndOfKeyClause(text, error);
    if (!separator.Is(",")) return SQLFail(error, 201, "Expecting ',' or ')'");
  }
}

// ---- SELECT ---------------------------------------------------------------------------

bool ReadAggregate(SQLTokenizer& text, const std::string& function, SQLSelectEntry* entry,
                   SQLError* error) {
  static const struct {
    const char* name;
    int32_t kind;
  } kFunctions[] = {{"min", kSQLMin}, {"max", kSQLMax}, {"sum", kSQLSum}, {"avg", kSQLAvg}};
  if (SameSQLName(function, "count")) {
    if (!text.NextToken().Is("*")) return SQLFail(error, 201, "Only COUNT(*) supported");
    entry->kind = kSQLCount;
    entry->column = "*";
  } else {
    for (const auto& candidate : kFunctions) {
      if (SameSQLName(function, candidate.name)) entry->kind = candidate.kind;
    }
    if (entry->kind == kSQLPlain) return SQLFail(error, 201, "Unsupported SELECT function");
    if (!ParseColumnName(text, &entry->table, &entry->column, error)) return false;
  }
  return Expect(text, ")", "Expected ')'", error);
}

bool ReadSelectEntry(SQLTokenizer& text, SQLSelectEntry* entry, SQLError* error) {
  const SQLToken& first = text.NextToken();
  if (first.Is("*")) {
    entry->column = "*";
    return true;
  }
  if (!IsIdentifier(first)) return SQLFail(error, 201, "Invalid column/table name");
  entry->column = first.text;
  const SQLToken& next = text.NextToken();
  if (next.Is("(")) {
    const std::string function = std::move(entry->column);
    entry->column.clear();
    return ReadAggregate(text, function, entry, error);
  }
  if (!next.Is(".")) {
    text.PushBack();
    return true;
  }
  const SQLToken& column = text.NextToken();
  if (!column.Is("*") && !IsIdentifier(column)) return SQLFail(error, 201, "Invalid column name");
  entry->table = std::move(entry->column);
  entry->column = column.text;
  return true;
}

bool ReadSelectList(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error) {
  for (;;) {
    if (select->entries.size() == kSQLMaxColumns) return SQLFail(error, 201, "Too many columns");
    select->entries.emplace_back();
    if (!ReadSelectEntry(text, &select->entries.back(), error)) return false;
    const SQLToken& separator = text.NextToken();
    if (separator.Is("from")) return true;
    if (!separator.Is(",")) return SQLFail(error, 200, "Expecting ','");
  }
}

bool IsClauseKeyword(const SQLToken& token) {
  return token.IsEnd() || token.Is("where") || token.Is("order") || token.Is("group");
}

bool ReadFromList(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error) {
  for (;;) {
    if (select->tables.size() == kSQLMaxTables) return SQLFail(error, 201, "Too many tables");
    SQLTableName table;
    if (!ReadTableName(text, &table.name, error)) return false;
    table.alias = table.name;
    const SQLToken* next = &text.NextToken();
    if (!next->Is(",") && !IsClauseKeyword(*next)) {
      if (!IsIdentifier(*next)) return SQLFail(error, 201, "Invalid table name");
      table.alias = next->text;
      next = &text.NextToken();
      if (!next->Is(",") && !IsClauseKeyword(*next)) return SQLFail(error, 200, "Expecting ','");
    }
    select->tables.push_back(std::move(table));
    if (!next->Is(",")) {
      text.PushBack();
      return true;
    }
  }
}

// A column named by ORDER BY or GROUP BY joins the list as a hidden entry.
int32_t AddHiddenEntry(SQLSelectStatement* select, std::string table, std::string column) {
  SQLSelectEntry entry;
  entry.table = std::move(table);
  entry.column = std::move(column);
  entry.hidden = true;
  select->entries.push_back(std::move(entry));
  return int32_t(select->entries.size() - 1);
}

bool ReadOrderBy(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error) {
  if (!Expect(text, "by", "Expecting 'BY'", error)) return false;
  for (;;) {
    if (select->order.size() == kSQLMaxOrderItems) return SQLFail(error, 201, "Too many columns");
    SQLOrderItem item;
    const SQLToken& first = text.NextToken();
    if (IsAllDigits(first.text) && first.kind == SQLTokenKind::kNumber) {
      // Checked against the visible columns once they are known; a number
      // of more than four digits is outside them anyway.
      item.column = first.text.size() <= 4 ? 0 : -1;
      if (first.text.size() <= 4) {
        for (const char digit : first.text) item.column = item.column * 10 + (digit - '0');
        item.column -= 1;
      }
    } else {
      text.PushBack();
      std::string table, column;
      if (!ParseColumnName(text, &table, &column, error)) {
        return SQLFail(error, 201,
                       select->order.empty() ? "Invalid ORDER BY column" : "Invalid column index");
      }
      item.hiddenEntry = AddHiddenEntry(select, std::move(table), std::move(column));
    }
    const SQLToken* next = &text.NextToken();
    if (next->Is("asc") || next->Is("desc")) {
      item.descending = next->Is("desc");
      next = &text.NextToken();
    }
    select->order.push_back(item);
    if (!next->Is(",")) {
      text.PushBack();
      return true;
    }
  }
}

bool ReadGroupBy(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error) {
  if (!select->order.empty())
    return SQLFail(error, 201, "ORDER BY can't be used in conjunction with GROUP BY");
  if (!Expect(text, "by", "Expecting 'BY'", error)) return false;
  std::string table, column;
  if (!ParseColumnName(text, &table, &column, error))
    return SQLFail(error, 201, "Invalid GROUP BY column");
  SQLOrderItem item;
  item.hiddenEntry = AddHiddenEntry(select, std::move(table), std::move(column));
  select->order.push_back(item);
  select->groupBy = true;
  if (text.NextToken().Is(","))
    return SQLFail(error, 201, "Only single GROUP BY columns currently supported");
  text.PushBack();
  return true;
}

// The code point at units[at], a surrogate pair taken whole.
uint32_t CodePointAt(const std::u16string& units, size_t at) {
  const uint32_t unit = units[at];
  if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < units.size() && units[at + 1] >= 0xDC00 &&
      units[at + 1] <= 0xDFFF)
    return 0x10000 + ((unit - 0xD800) << 10) + (units[at + 1] - 0xDC00u);
  return unit;
}

}  // namespace

bool StatementText(const StringRecord* sql, StringRef* text, SQLError* error) {
  const uint32_t encoding = StringEncoding(sql);
  const uint32_t system = GetSystemTextEncoding();
  if (encoding == system || encoding == kEncodingASCII || encoding == kEncodingNone ||
      !encoding::IsKnown(encoding)) {
    *text = StringRef::Retain(const_cast<StringRecord*>(sql));
    return true;
  }
  // Converted and read back: the first character that did not come back is
  // one the code page has no place for.
  const std::u16string characters = StringToStdUTF16(sql);
  *text = StringRef::Adopt(
      NewString(encoding::FromUTF16(characters.data(), characters.size(), system), system));
  const std::u16string back = StringToStdUTF16(text->get());
  size_t same = 0;
  while (same < back.size() && same < characters.size() && back[same] == characters[same]) ++same;
  if (same == characters.size() && same == back.size()) return true;
  char code[16];
  const uint32_t lost = same < characters.size() ? CodePointAt(characters, same) : 0xFFFD;
  std::snprintf(code, sizeof code, "U+%04X", unsigned(lost));
  return SQLFail(error, 201, std::string("Character outside the system code page: ") + code);
}

bool SQLSelectStatement::HasAggregate() const {
  for (const SQLSelectEntry& entry : entries) {
    if (entry.kind != kSQLPlain) return true;
  }
  return false;
}

int32_t SQLSelectStatement::HiddenCount() const {
  int32_t hidden = 0;
  for (const SQLSelectEntry& entry : entries) hidden += entry.hidden;
  return hidden;
}

bool ParseSelect(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error) {
  if (!ReadSelectList(text, select, error) || !ReadFromList(text, select, error)) return false;
  if (text.NextToken().Is("where")) {
    if (!ParseCondition(text, &select->where, error)) return false;
  } else {
    text.PushBack();
  }
  if (text.NextToken().Is("order")) {
    if (!ReadOrderBy(text, select, error)) return false;
  } else {
    text.PushBack();
  }
  if (text.NextToken().Is("group")) {
    if (!ReadGroupBy(text, select, error)) return false;
  } else {
    text.PushBack();
  }
  return ExpectEnd(text, error);
}

bool ParseCreateTable(SQLTokenizer& text, SQLCreateTable* create, bool* ignored, SQLError* error) {
  *ignored = !text.NextToken().Is("table");
  if (*ignored) return true;
  if (!ReadIdentifier(text, &create->table, "Invalid table name", error)) return false;
  if (!Expect(text, "(", "Expecting '('", error)) return false;
  for (;;) {
    if (text.NextToken().Is("primary")) return ReadPrimaryKey(text, create, error);
    text.PushBack();
    if (create->columns.size() == kSQLMaxColumns) return SQLFail(error, 201, "Too many columns");
    SQLColumnType column;
    if (!ReadIdentifier(text, &column.name, "Invalid column name", error) ||
        !ReadColumnType(text, &column, error)) {
      return false;
    }
    create->columns.push_back(std::move(column));
    const SQLToken& separator = text.NextToken();
    if (separator.Is(")")) return ExpectEnd(text, error);
    if (!separator.Is(",")) return SQLFail(error, 200, "Expecting ',' or ')'");
  }
}

bool ParseAlterTable(SQLTokenizer& text, SQLAlterTable* alter, bool* ignored, SQLError* error) {
  *ignored = !text.NextToken().Is("table");
  if (*ignored) return true;
  if (!ReadIdentifier(text, &alter->table, "Invalid table name", error)) return false;
  const SQLToken& action = text.NextToken();
  if (action.Is("drop")) return SQLFail(error, 2008, "Dropping columns is not supported for this database");
  if (!action.Is("add")) return SQLFail(error, 200, "Expected 'ADD'");
  if (!text.NextToken().Is("column")) text.PushBack();
  return ReadIdentifier(text, &alter->column.name, "Invalid column name", error) &&
         ReadColumnType(text, &alter->column, error) && ExpectEnd(text, error);
}

bool ParseUpdate(SQLTokenizer& text, SQLUpdate* update, SQLError* error) {
  if (!ReadTableName(text, &update->table, error)) return false;
  if (!Expect(text, "set", "Expecting 'SET'", error)) return false;
  update->assignments.reserve(4);
  for (;;) {
    if (update->assignments.size() == kSQLMaxColumns) return SQLFail(error, 201, "Too many columns");
    SQLAssignment assignment;
    if (!ReadIdentifier(text, &assignment.column, "Invalid column name", error)) return false;
    if (!Expect(text, "=", "Expecting '='", error)) return false;
    if (!ReadValueText(text, &assignment.value, error)) return false;
    update->assignments.push_back(std::move(assignment));
    if (!text.NextToken().Is(",")) break;
  }
  text.PushBack();
  return ReadWhere(text, &update->where, "Expecting ','", error);
}

bool ParseDelete(SQLTokenizer& text, SQLDelete* remove, SQLError* error) {
  if (!Expect(text, "from", "Expecting 'FROM'", error)) return false;
  if (!ReadTableName(text, &remove->table, error)) return false;
  return ReadWhere(text, &remove->where, "Expecting 'WHERE'", error);
}

bool ParseInsert(SQLTokenizer& text, SQLInsert* insert, SQLError* error) {
  insert->columns.reserve(8);
  insert->values.reserve(8);
  if (!Expect(text, "into", "Expecting 'INTO'", error)) return false;
  if (!ReadIdentifier(text, &insert->table, "Invalid table name", error)) return false;
  if (!Expect(text, "(", "Expecting '('", error)) return false;
  for (;;) {
    if (insert->columns.size() == kSQLMaxColumns) return SQLFail(error, 201, "Too many columns");
    insert->columns.emplace_back();
    if (!ReadIdentifier(text, &insert->columns.back(), "Invalid column name", error)) return false;
    const SQLToken& separator = text.NextToken();
    if (separator.Is(")")) break;
    if (!separator.Is(",")) return SQLFail(error, 200, "Expecting ')'");
  }
  if (!Expect(text, "values", "Expecting 'VALUES'", error)) return false;
  if (!Expect(text, "(", "Expecting '('", error)) return false;
  for (;;) {
    if (insert->values.size() == insert->columns.size())
      return SQLFail(error, 208, "Mismatched INSERT columns");
    insert->values.emplace_back();
    if (!ReadValueText(text, &insert->values.back(), error)) return false;
    const SQLToken& separator = text.NextToken();
    if (separator.Is(")")) break;
    if (!separator.Is(",")) return SQLFail(error, 200, "Expecting ')'");
  }
  if (insert->values.size() != insert->columns.size())
    return SQLFail(error, 208, "Mismatched INSERT columns");
  return ExpectEnd(text, error);
}

#ifdef _WINDOWS_
#error "The SQL front-end stays portable: no <windows.h>."
#endif
