// A WHERE condition tested on the rows that table cursors stand on: one
// table's row for UPDATE and DELETE, a combination of rows for a join. The
// engine's evaluator (Condition.h) does the comparing, over values read
// through the cursor tables, so a condition holds here exactly when it holds
// in a table cursor's filter.
//
// Comparisons between two columns read the right-hand value as lossless
// text (JoinValueText) for each row, which the evaluator reads whole: a
// number compares by its value with integer and double fields alike. A NULL
// there never holds.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "database/api/DBInterface.h"
#include "database/engine/Condition.h"
#include "database/sql/SQLCondition.h"

// The text that passes a value to a condition without loss: integers in
// decimal; floats and doubles with the fewest digits that read back the same
// (integral ones below 1e15 in fixed form); dates "y-m-d", times "h:m:s",
// timestamps both; booleans "true" / "false"; text and bytes unchanged.
// False for NULL.
bool JoinValueText(const DBValueView& value, std::string* text);

class SQLRowCheck : private DBRowAccess {
 public:
  // The column index a table's cursor has for a name; -1 when none.
  using ColumnLocator = std::function<int32_t(int32_t table, const std::string& name)>;

  // From a resolved condition (CheckResolved done); texts in the encoding.
  void Prepare(const SQLCondition& condition, const ColumnLocator& locate, uint32_t encoding);
  // The cursors by table index, each standing on its row.
  bool Holds(const std::vector<CursorSlots>& rows);

 private:
  struct ColumnRef {
    int32_t table;
    int32_t column;
  };
  DBFieldLookup Field(const DBCondition& comparison, DBFieldValue* field) override;
  bool Blob(int32_t, std::vector<uint8_t>*) override { return false; }
  DBFieldLookup Read(const ColumnRef& ref, DBFieldValue* field);

  DBConditionTree tree_;
  std::vector<ColumnRef> columns_;  // by DBCondition::columnNumber
  // Per node: the right-hand column of a comparison between columns.
  std::vector<int32_t> valueColumn_;  // index into columns_, -1 for literals
  std::vector<uint8_t> valueNull_;
  uint32_t encoding_ = 0;
  const std::vector<CursorSlots>* rows_ = nullptr;
  std::optional<CursorValue> value_;  // the value being compared
};
