// Helpers of the engine tests: the lists that cross the engine interface,
// built and kept alive for a test, and a database on files in memory whose
// rows read back as texts.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "database/api/DBValue.h"
#include "database/engine/Blob.h"
#include "database/engine/Catalog.h"
#include "database/engine/TableCursor.h"
#include "tests/database/dbstore_support.h"

struct ColumnSpec {
  std::string name;
  int32_t type;
  int32_t nullable = 1;
};

// Value texts: nullptr is SQL NULL.
using ValueList = std::vector<std::pair<const char*, const char*>>;

class EngineLists {
 public:
  StringRecord* S(const std::string& text) {
    texts_.push_back(StringRef::Adopt(NewString(text, kEncodingASCII)));
    return texts_.back().get();
  }
  StringRecord* S(const char* text) { return text ? S(std::string(text)) : nullptr; }
  DBColumnDefinition* Columns(const std::vector<ColumnSpec>& specs) {
    DBColumnDefinition* head = nullptr;
    for (auto spec = specs.rbegin(); spec != specs.rend(); ++spec)
      head = &columns_.emplace_back(DBColumnDefinition{head, S(spec->name), spec->type, spec->nullable});
    return head;
  }
  DBRecordColumn* Values(const ValueList& values) {
    DBRecordColumn* head = nullptr;
    for (const auto& [name, text] : values)
      head = &values_.emplace_back(DBRecordColumn{head, S(name), S(text), kDBVarChar});
    return head;
  }
  DBColumnSelection* Named(const char* name) {
    return &selections_.emplace_back(DBColumnSelection{nullptr, S(name)});
  }
  DBColumnSelection* All() { return Named("*"); }
  DBFilterRecord* C(const char* column, int32_t op, const char* value = "", int32_t function = 0) {
    return &filters_.emplace_back(DBFilterRecord{nullptr, nullptr, op, function, S(column), S(value)});
  }
  DBFilterRecord* And(DBFilterRecord* left, DBFilterRecord* right) { return Join(kDBOpAnd, left, right); }
  DBFilterRecord* Or(DBFilterRecord* left, DBFilterRecord* right) { return Join(kDBOpOr, left, right); }
  DBFilterRecord* Join(int32_t op, DBFilterRecord* left, DBFilterRecord* right) {
    return &filters_.emplace_back(DBFilterRecord{left, right, op, 0, nullptr, nullptr});
  }

 private:
  std::deque<StringRef> texts_;
  std::deque<DBColumnDefinition> columns_;
  std::deque<DBRecordColumn> values_;
  std::deque<DBColumnSelection> selections_;
  std::deque<DBFilterRecord> filters_;
};

// The cursor's current row: its values as texts joined by "|", NULL for none.
inline std::string RowText(DBEngineCursor& cursor) {
  std::string row;
  for (int32_t column = 0; column < cursor.ColumnCount(); ++column) {
    const void* data = nullptr;
    int32_t type = 0, length = 0;
    cursor.ColumnValue(column, &data, &type, &length);
    StringRef text = StringRef::Adopt(DBValueText(CheckedValue(type, data, length)));
    row += (column ? "|" : "") + (type ? StringBytes(text.get()) : std::string("NULL"));
    cursor.ReleaseValue();
  }
  return row;
}

// Every row the cursor gives, then the cursor deleted; "no cursor" when null.
inline std::vector<std::string> RowTexts(DBEngineCursor* cursor) {
  if (!cursor) return {"no cursor"};
  std::vector<std::string> rows;
  while (cursor->MoveNext()) rows.push_back(RowText(*cursor));
  delete cursor;
  return rows;
}

class DbEngineTest : public StoreTest, public EngineLists {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    db_ = CreateEngineDatabaseAt(PathString(kPath).get(), storage_);
    ASSERT_NE(db_, nullptr);
  }
  void TearDown() override {
    CloseEngineDatabase(db_);
    StoreTest::TearDown();
  }
  void Reopen() {
    CloseEngineDatabase(db_);
    db_ = OpenEngineDatabaseAt(PathString(kPath).get(), storage_);
    ASSERT_NE(db_, nullptr);
  }
  // "<code> <text>" of the last operation.
  std::string Error() const { return std::to_string(db_->ErrorCode()) + " " + db_->ErrorText(); }
  bool Create(const char* table, const std::vector<ColumnSpec>& columns,
              const std::vector<uint8_t>& keys = {}) {
    return CreateTable(*db_, S(table), Columns(columns), keys.data(), int32_t(keys.size()));
  }
  bool Insert(const char* table, const ValueList& values) {
    return InsertRow(*db_, S(table), Values(values));
  }
  DBEngineCursor* Open(const char* table, DBFilterRecord* filter = nullptr) {
    return OpenTableCursor(*db_, S(table), All(), filter);
  }
  std::vector<std::string> Rows(const char* table, DBFilterRecord* filter = nullptr) {
    return RowTexts(Open(table, filter));
  }
  // Live chunks in "sys$blob".
  size_t BlobChunks() {
    std::unique_ptr<DBTreeCursor> tree = db_->OpenTree(kDBBlobName, {});
    size_t count = 0;
    while (tree && tree->NextMatching()) ++count;
    return count;
  }

  static constexpr const char* kPath = "engine.db";
  DBEngineDatabase* db_ = nullptr;
};
