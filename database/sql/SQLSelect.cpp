// SELECT: parsing, validation against the field schemas, and the result
// cursor with the builders it needs.
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "database/sql/KeptTableNames.h"
#include "database/sql/ResultBuilders.h"
#include "database/sql/SQLFrontEnd.h"
#include "database/sql/SelectCursor.h"

namespace {

bool IsTextValue(const DBValueView& value) {
  switch (value.type) {
    case kDBChar:
    case kDBVarChar:
    case kDBBinary:
    case kDBTextBlob:
    case kDBBlob: return value.length > 0;
    default: return false;
  }
}

// The field names of the table's schema, in its order, read through the
// database's schema listing.
bool ReadSchemaNames(RuntimeObject* database, const std::string& table, uint32_t encoding,
                     std::vector<std::string>* names, SQLError* error) {
  StringRef name = StringRef::Adopt(NewString(table, encoding));
  ObjectRef schema = ObjectRef::Adopt(databaseFieldSchema(database, name.get()));
  if (!schema) return SQLFail(error, 202, "Invalid table " + table);
  bool readable = true;
  for (RecordSetFields* fields = RecordSetArgument(schema.get()); readable && !fields->eof;
       cursorMoveNext(schema.get())) {
    const CursorValue value = RecordSetCursor(fields).ColumnValue(0);
    readable = IsTextValue(value.view());
    if (readable) names->emplace_back(reinterpret_cast<const char*>(value.view().data), value.view().length);
  }
  cursorClose(schema.get());
  return readable || SQLFail(error, 203, "Internal validation error");
}

// The field names of a table as its field list gives them.
KeptTableNames::Names SchemaNames(RuntimeObject* database, const std::string& table,
                                  uint32_t encoding, SQLError* error) {
  static KeptTableNames kept;
  if (KeptTableNames::Names names = kept.Find(database, table, encoding)) return names;
  const uint32_t catalog = DBCatalogChangeCount();
  auto names = std::make_shared<std::vector<std::string>>();
  if (!ReadSchemaNames(database, table, encoding, names.get(), error)) return nullptr;
  kept.Keep(database, catalog, table, encoding, names);
  return names;
}

// Resolves the entries against one field of the table; stars collect their
// expansion for this field.
bool ResolveEntries(SQLSelectStatement* select, int32_t table, const std::string& alias,
                    const std::string& field, std::vector<std::vector<SQLSelectEntry>>* stars,
                    SQLError* error) {
  for (size_t i = 0; i < select->entries.size(); ++i) {
    SQLSelectEntry& entry = select->entries[i];
    if (!entry.table.empty() && !SameSQLName(entry.table, alias)) continue;
    if (entry.kind == kSQLCount) {
      // COUNT(*) counts rows: it takes the first field it meets.
      if (entry.source < 0) {
        entry.column = field;
        entry.source = table;
      }
      continue;
    }
    if (entry.column == "*") {
      SQLSelectEntry expansion;
      expansion.table = entry.table;
      expansion.column = field;
      expansion.source = table;
      (*stars)[i].push_back(std::move(expansion));
      continue;
    }
    if (!SameSQLName(entry.column, field)) continue;
    if (entry.table.empty() && entry.source >= 0 && entry.source != table)
      return SQLFail(error, 205, "Ambiguous column reference: " + entry.column);
    if (entry.source < 0) entry.source = table;
  }
  return true;
}

// The entries with each star replaced by its expansion.
bool ExpandStars(SQLSelectStatement* select, std::vector<std::vector<SQLSelectEntry>>* stars,
                 SQLError* error) {
  size_t count = select->entries.size();
  for (const std::vector<SQLSelectEntry>& expansion : *stars) count += expansion.size();
  std::vector<SQLSelectEntry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < select->entries.size(); ++i) {
    SQLSelectEntry& entry = select->entries[i];
    const bool star = entry.kind == kSQLPlain && entry.column == "*";
    if (star && (*stars)[i].empty() && !entry.table.empty())
      return SQLFail(error, 206, "Unknown column: " + entry.table + ".*");
    if (!star && entry.source < 0) return SQLFail(error, 206, "Unknown column: " + entry.column);
    for (SQLSelectEntry& expansion : (*stars)[i]) entries.push_back(std::move(expansion));
    if (!star) entries.push_back(std::move(entry));
  }
  select->entries = std::move(entries);
  return true;
}

bool NumberOrderItems(SQLSelectStatement* select, SQLError* error) {
  const int32_t visible = int32_t(select->entries.size()) - select->HiddenCount();
  int32_t hidden = 0;
  for (SQLOrderItem& item : select->order) {
    if (item.hiddenEntry >= 0) {
      item.column = visible + hidden++;
    } else if (item.column < 0 || item.column >= visible) {
      return SQLFail(error, 201, "Invalid column index");
    }
  }
  return true;
}

// The source of a grouped result reads each field once: entries naming the
// same column of the same table read the same values, so the source keeps
// the first of them and `columns` tells each entry's column in it. Its rows
// sort in the same order, as a repeated value ties wherever its first did.
SQLSelectStatement GroupSource(SQLSelectStatement select, std::vector<int32_t>* columns) {
  std::vector<SQLSelectEntry> fields;
  for (SQLSelectEntry& entry : select.entries) {
    size_t field = 0;
    while (field < fields.size() &&
           (fields[field].source != entry.source || !SameSQLName(fields[field].column, entry.column)))
      ++field;
    if (field == fields.size()) fields.push_back(std::move(entry));
    columns->push_back(int32_t(field));
  }
  select.entries = std::move(fields);
  return select;
}

// The set's result through the builders its clauses need.
RuntimeObject* BuildResult(RuntimeObject* database, StringRecord* sql, SQLSelectStatement select,
                           uint32_t encoding, SQLError* error) {
  const int32_t hidden = select.HiddenCount();
  const bool grouped = select.groupBy || select.HasAggregate();
  if (!grouped && select.order.empty())
    return MakeSelectCursor(database, std::move(select), hidden, encoding);

  const SortBuilder sort = InstalledSortBuilder();
  const GroupingBuilder group = InstalledGroupingBuilder();
  if (grouped ? !group : !sort) {
    SQLFail(error, 203, "Internal validation error");
    return nullptr;
  }
  std::vector<DBSortKey> keys;
  for (const SQLOrderItem& item : select.order) keys.push_back({item.column, item.descending});
  const auto open = [database, sql, encoding](SQLSelectStatement statement) {
    ObjectRef source = ObjectRef::Adopt(MakeSelectCursor(database, std::move(statement), 0, encoding));
    if (source) RecordSetSetOrigin(source.get(), database, sql);
    return source;
  };
  if (!grouped) {
    const ObjectRef source = open(std::move(select));
    return source ? sort(source.get(), int32_t(keys.size()), keys.data(), hidden) : nullptr;
  }
  std::vector<int32_t> kinds;
  for (const SQLSelectEntry& entry : select.entries) kinds.push_back(entry.kind);
  // Grouping sorts on the group column; without one, all rows are one
  // group, in any order.
  if (!select.groupBy) keys.clear();
  std::vector<int32_t> columns;
  const ObjectRef source = open(GroupSource(std::move(select), &columns));
  if (!source) return nullptr;
  for (DBSortKey& key : keys) key.column = columns[size_t(key.column)];
  return group(source.get(), kinds.data(), columns.data(), int32_t(kinds.size()), int32_t(keys.size()),
               keys.data(), hidden);
}

RuntimeObject* Select(RuntimeObject* database, StringRecord* sql, SQLError* error) {
  StringRef statement;
  if (!StatementText(sql, &statement, error)) return nullptr;
  const uint32_t encoding = StringEncoding(statement.get());
  SQLTokenizer text(StringData(statement.get()), StringLength(statement.get()), encoding);
  if (!text.NextToken().Is("select")) {
    SQLFail(error, 200, "Expected 'SELECT'");
    return nullptr;
  }
  SQLSelectStatement select;
  if (!ParseSelect(text, &select, error) || !ValidateSelect(database, &select, encoding, error))
    return nullptr;
  RuntimeObject* set = BuildResult(database, sql, std::move(select), encoding, error);
  if (set) RecordSetSetOrigin(set, database, sql);
  return set;
}

}  // namespace

bool ValidateSelect(RuntimeObject* database, SQLSelectStatement* select, uint32_t encoding,
                    SQLError* error) {
  // Each entry's star expansion. The lists keep their room for the next
  // statement (they are left empty at every return); a check started while
  // one runs (an engine's schema listing may run SQL) has lists of its own.
  static std::vector<std::vector<SQLSelectEntry>> kept;
  static bool keptInUse = false;
  std::vector<std::vector<SQLSelectEntry>> own;
  struct Lease {
    std::vector<std::vector<SQLSelectEntry>>& lists;
    bool shared;
    ~Lease() {
      for (std::vector<SQLSelectEntry>& list : lists) list.clear();
      if (shared) keptInUse = false;
    }
  } lease{keptInUse ? own : kept, !keptInUse};
  keptInUse = true;
  std::vector<std::vector<SQLSelectEntry>>& stars = lease.lists;
  if (stars.size() < select->entries.size()) stars.resize(select->entries.size());
  for (size_t table = 0; table < select->tables.size(); ++table) {
    const SQLTableName& name = select->tables[table];
    const KeptTableNames::Names fields = SchemaNames(database, name.name, encoding, error);
    if (!fields) return false;
    for (size_t i = 0; i < select->entries.size(); ++i) {
      const SQLSelectEntry& entry = select->entries[i];
      if (entry.column == "*" && (entry.table.empty() || SameSQLName(entry.table, name.alias)))
        stars[i].reserve(stars[i].size() + fields->size());
    }
    for (const std::string& field : *fields) {
      if (!ResolveEntries(select, int32_t(table), name.alias, field, &stars, error) ||
          !ResolveColumn(select->where, int32_t(table), name.alias, field, error)) {
        return false;
      }
    }
  }
  return ExpandStars(select, &stars, error) && CheckResolved(select->where, error) &&
         NumberOrderItems(select, error);
}

extern "C" RuntimeObject* databaseSQLSelect(RuntimeObject* database, StringRecord* sql) {
  if (!DatabaseArgument(database)) return nullptr;
  SQLError error;
  RuntimeObject* set = Select(database, sql, &error);
  if (!set && error.code) TOVADatabaseSetError(database, error.code, error.message.c_str());
  return set;
}
