// The statements the front-end answers, parsed from text into plain records
// that the runners (SQLSelect.h, SQLExecute.h) carry out. Parsing stops at
// the first error (SQLCondition.h has the codes); nothing here touches a
// database.
//
// Every statement reads to its end: text left over after its last clause
// fails with 200 (ExpectEnd), before anything is done.
//
// Untrusted text meets fixed limits: 32 FROM tables, 32 ORDER BY items, 256
// select-list entries, 256 column definitions (201 "Too many tables" /
// "Too many columns"); a name holding a 0 byte is refused (201 "Invalid table
// name" / "Invalid column name"). WHERE conditions have no limit.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "database/sql/SQLCondition.h"

constexpr size_t kSQLMaxTables = 32;
constexpr size_t kSQLMaxOrderItems = 32;
constexpr size_t kSQLMaxColumns = 256;

enum SQLAggregate : int32_t {
  kSQLPlain = 0,
  kSQLCount = 1,  // COUNT(*)
  kSQLAvg = 2,
  kSQLSum = 3,
  kSQLMin = 4,
  kSQLMax = 5,
};

struct SQLSelectEntry {
  std::string table;   // the qualifier as written, or empty
  std::string column;  // "*" for a star
  int32_t kind = kSQLPlain;
  bool hidden = false;  // an ORDER BY or GROUP BY column not in the list
  // Validation: the index of the statement's table that supplies it.
  int32_t source = -1;
};

struct SQLTableName {
  std::string name;
  std::string alias;  // the name unless an alias follows it
};

struct SQLOrderItem {
  int32_t column = 0;  // result column, visible ones first, then hidden
  bool descending = false;
  int32_t hiddenEntry = -1;  // the entry it named, until numbered
};

struct SQLSelectStatement {
  std::vector<SQLSelectEntry> entries;
  std::vector<SQLTableName> tables;
  SQLCondition where;
  std::vector<SQLOrderItem> order;
  bool groupBy = false;

  bool HasAggregate() const;
  int32_t HiddenCount() const;
};

struct SQLColumnType {
  std::string name;
  int32_t type = 0;
  bool nullable = true;
};

struct SQLCreateTable {
  std::string table;
  std::vector<SQLColumnType> columns;
  std::vector<uint8_t> keys;  // 0-based column indexes, in key order
};

struct SQLAlterTable {
  std::string table;
  SQLColumnType column;
};

struct SQLValueText {
  std::string text;
  bool null = false;  // an unquoted NULL
};

struct SQLAssignment {
  std::string column;
  SQLValueText value;
};

struct SQLUpdate {
  std::string table;
  std::vector<SQLAssignment> assignments;  // as written
  SQLCondition where;
};

struct SQLDelete {
  std::string table;
  SQLCondition where;
};

struct SQLInsert {
  std::string table;
  std::vector<std::string> columns;
  std::vector<SQLValueText> values;  // one per column
};

// The statement as the parsers read it: its characters in the system
// encoding, in which the engine keeps and reads back its texts. A statement
// in UTF-16, UTF-8 or another code page is converted once here; one in the
// system encoding (or the default one, or none) is shared as it is. A
// character the system code page cannot hold fails with 201 "Character
// outside the system code page: U+" and its hex code, rather than reaching
// the engine as "?".
bool StatementText(const StringRecord* sql, StringRef* text, SQLError* error);

// After the first word of each statement ("select", "create" and so on).
// CREATE and ALTER give `ignored` when "table" does not follow (nothing is
// to be done, no error).
bool ParseSelect(SQLTokenizer& text, SQLSelectStatement* select, SQLError* error);
bool ParseCreateTable(SQLTokenizer& text, SQLCreateTable* create, bool* ignored, SQLError* error);
bool ParseAlterTable(SQLTokenizer& text, SQLAlterTable* alter, bool* ignored, SQLError* error);
bool ParseUpdate(SQLTokenizer& text, SQLUpdate* update, SQLError* error);
bool ParseDelete(SQLTokenizer& text, SQLDelete* remove, SQLError* error);
bool ParseInsert(SQLTokenizer& text, SQLInsert* insert, SQLError* error);
