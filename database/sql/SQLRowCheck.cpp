// Conditions on cursor rows: values converted to the fields the engine's
// evaluator compares, and right-hand columns read again for each row.
#include "database/sql/SQLRowCheck.h"

#include <cmath>

#include "core/basicstr.h"
#include "core/string.h"
#include "database/api/DBValue.h"

namespace {

std::string DateText(const DBDateWords& words) {
  return std::to_string(words.year) + "-" + std::to_string(words.month) + "-" +
         std::to_string(words.day);
}

std::string TimeText(const DBDateWords& words) {
  return std::to_string(words.hour) + ":" + std::to_string(words.minute) + ":" +
         std::to_string(words.second);
}

std::string NumberText(double number) {
  const bool integral = std::fabs(number) < 1e15 && number == std::trunc(number);
  StringRef text = StringRef::Adopt(NumberToString(number, 17, integral ? kNumberFixed : kNumberGeneral));
  return StringBytes(text.get());
}

}  // namespace

bool JoinValueText(const DBValueView& value, std::string* text) {
  switch (value.type) {
    case kDBNull: return false;
    case kDBSmallInt:
    case kDBInteger: *text = std::to_string(DBValueInteger(value)); break;
    case kDBFloat:
    case kDBDouble: *text = NumberText(DBValueNumber(value)); break;
    case kDBDate: *text = DateText(DBValueDateWords(value)); break;
    case kDBTime: *text = TimeText(DBValueDateWords(value)); break;
    case kDBTimeStamp:
      *text = DateText(DBValueDateWords(value)) + " " + TimeText(DBValueDateWords(value));
      break;
    case kDBBoolean: *text = value.data[0] ? "true" : "false"; break;
    default: text->assign(reinterpret_cast<const char*>(value.data), value.length); break;
  }
  return true;
}

void SQLRowCheck::Prepare(const SQLCondition& condition, const ColumnLocator& locate,
                          uint32_t encoding) {
  encoding_ = encoding;
  columns_.clear();
  std::vector<DBCondition>& nodes = tree_.Nodes();
  nodes.assign(condition.nodes.size(), DBCondition());
  valueColumn_.assign(condition.nodes.size(), -1);
  valueNull_.assign(condition.nodes.size(), 0);
  for (size_t i = 0; i < condition.nodes.size(); ++i) {
    const SQLConditionNode& node = condition.nodes[i];
    DBCondition& test = nodes[i];
    test.left = node.left;
    test.right = node.right;
    test.op = node.op;
    test.textMode = node.function;
    if (node.IsJunction()) continue;
    test.columnNumber = int32_t(columns_.size());
    columns_.push_back({node.columnTable, locate(node.columnTable, node.column)});
    if (node.ComparesColumns()) {
      valueColumn_[i] = int32_t(columns_.size());
      columns_.push_back({node.valueColumnTable, locate(node.valueColumnTable, node.value)});
    } else {
      StringRef value = StringRef::Adopt(NewString(node.value, encoding));
      ReadConditionValue(value.get(), &test.value);
    }
  }
  tree_.SetRoot(condition.root);
}

bool SQLRowCheck::Holds(const std::vector<CursorSlots>& rows) {
  rows_ = &rows;
  std::vector<DBCondition>& nodes = tree_.Nodes();
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (valueColumn_[i] < 0) continue;
    const ColumnRef& ref = columns_[size_t(valueColumn_[i])];
    std::string text;
    if (ref.column >= 0) {
      const CursorValue value = rows[size_t(ref.table)].ColumnValue(ref.column);
      valueNull_[i] = !JoinValueText(value.view(), &text);
    } else {
      valueNull_[i] = 1;
    }
    StringRef textRecord = StringRef::Adopt(NewString(text, encoding_));
    ReadConditionValue(textRecord.get(), &nodes[i].value);
  }
  const bool holds = tree_.Holds(*this);
  value_.reset();
  rows_ = nullptr;
  return holds;
}

DBFieldLookup SQLRowCheck::Field(const DBCondition& comparison, DBFieldValue* field) {
  const size_t node = size_t(&comparison - tree_.Nodes().data());
  if (valueNull_[node]) return DBFieldLookup::kAbsent;
  return Read(columns_[size_t(comparison.columnNumber)], field);
}

DBFieldLookup SQLRowCheck::Read(const ColumnRef& ref, DBFieldValue* field) {
  value_.reset();
  if (ref.column < 0) return DBFieldLookup::kAbsent;
  value_.emplace((*rows_)[size_t(ref.table)].ColumnValue(ref.column));
  const DBValueView& value = value_->view();
  *field = DBFieldValue();
  switch (value.type) {
    case kDBNull: return DBFieldLookup::kAbsent;
    case kDBSmallInt:
    case kDBInteger: field->integer = DBValueInteger(value); break;
    case kDBFloat:
    case kDBDouble: field->real = DBValueNumber(value); break;
    case kDBDate:
    case kDBTime:
      for (int i = 0; i < 3; ++i) field->parts[i] = uint16_t(value.data[2 * i] << 8 | value.data[2 * i + 1]);
      break;
    case kDBBoolean: field->integer = value.data[0]; break;
    case kDBTimeStamp: return DBFieldLookup::kFound;  // no comparison holds
    default:
      field->bytes = value.data;
      field->length = value.length;
      break;
  }
  switch (value.type) {
    case kDBChar:
    case kDBVarChar: field->type = kDBFieldText; break;
    case kDBBinary:
    case kDBTextBlob:
    case kDBBlob:
    case kDBMacPict: field->type = kDBFieldBytes; break;
    default: field->type = uint8_t(value.type); break;
  }
  return DBFieldLookup::kFound;
}

#ifdef _WINDOWS_
#error "The SQL front-end stays portable: no <windows.h>."
#endif
