// Condition trees: built from filter records, resolved against a table and
// evaluated on rows, all with explicit stacks.
#include "database/engine/Condition.h"

#include <cmath>
#include <utility>

#include "core/SmartRef.h"
#include "core/basicstr.h"
#include "core/string.h"
#include "database/api/DBInterface.h"
#include "database/api/DBValue.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/FieldValues.h"

namespace {

uint8_t Upper(uint8_t byte) { return byte >= 'a' && byte <= 'z' ? uint8_t(byte - 32) : byte; }
uint8_t Lower(uint8_t byte) { return byte >= 'A' && byte <= 'Z' ? uint8_t(byte + 32) : byte; }

uint8_t FieldByte(uint8_t mode, uint8_t byte) {
  if (mode == kDBTextNoCase || mode == kDBTextUpper) return Upper(byte);
  return mode == kDBTextLower ? Lower(byte) : byte;
}

uint8_t ValueByte(uint8_t mode, uint8_t byte) { return mode == kDBTextNoCase ? Upper(byte) : byte; }

int CompareText(const uint8_t* field, size_t fieldLength, const std::string& value, uint8_t mode) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
  for (size_t i = 0; i < fieldLength && i < value.size(); ++i) {
    const uint8_t a = FieldByte(mode, field[i]);
    const uint8_t b = ValueByte(mode, bytes[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (fieldLength == value.size()) return 0;
  return fieldLength < value.size() ? -1 : 1;
}

// Operators 0 to 5 on an order; the rest do not hold.
bool OrderHolds(uint8_t op, bool less, bool equal, bool greater) {
  switch (op) {
    case kDBOpEqual: return equal;
    case kDBOpLess: return less;
    case kDBOpGreater: return greater;
    case kDBOpLessEqual: return less || equal;
    case kDBOpGreaterEqual: return greater || equal;
    case kDBOpNotEqual: return less || greater;
    default: return false;
  }
}

template <class T>
bool CompareHolds(uint8_t op, T a, T b) {
  return OrderHolds(op, a < b, a == b, a > b);
}

bool PartsHold(uint8_t op, const uint16_t stored[3], const int16_t wanted[3]) {
  for (int i = 0; i < 2; ++i)
    if (int16_t(stored[i]) != wanted[i]) return CompareHolds(op, int16_t(stored[i]), wanted[i]);
  return CompareHolds(op, int16_t(stored[2]), wanted[2]);
}

bool TextHolds(const DBCondition& comparison, const uint8_t* text, size_t length) {
  const std::string& value = comparison.value.text;
  if (comparison.op == kDBOpLike || comparison.op == kDBOpNotLike) {
    const bool matches = MatchesLike(text, length, reinterpret_cast<const uint8_t*>(value.data()),
                                     value.size(), comparison.textMode);
    return matches == (comparison.op == kDBOpLike);
  }
  const int order = CompareText(text, length, value, comparison.textMode);
  return OrderHolds(comparison.op, order < 0, order == 0, order > 0);
}

bool IsComparisonOp(int32_t op) { return op >= kDBOpEqual && op <= kDBOpIsNotNull; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A sign, digits with at most one "." among them, an optional exponent:
// the whole text is what StringVal reads.
bool IsNumberText(const std::string& text) {
  size_t at = text.size() && (text[0] == '-' || text[0] == '+');
  size_t digits = 0;
  bool point = false;
  for (; at < text.size(); ++at) {
    if (IsDigit(text[at])) {
      ++digits;
    } else if (text[at] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (at == text.size()) return false;
    while (at < text.size() && IsDigit(text[at])) ++at;
  }
  return at == text.size();
}

}  // namespace

void ReadConditionValue(const StringRecord* text, DBConditionValue* value) {
  *value = DBConditionValue();
  value->text = StringBytes(text);
  value->isNumber = IsNumberText(value->text);
  value->integer = ReadIntegerText(text);
  value->number = StringVal(text);
  value->single = double(float(value->number));
  // A date has its parts between "-", a time between ":"; a text without
  // that byte in any encoding reads as neither, so most values skip both.
  DBFieldInput field;
  const bool dash = value->text.find('-') != std::string::npos;
  const bool colon = value->text.find(':') != std::string::npos;
  value->dateReadable = dash && ConvertValueText(kDBFieldDate, text, &field) == DBValueTextError::kNone;
  for (int i = 0; value->dateReadable && i < 3; ++i) value->date[i] = int16_t(field.parts[i]);
  value->timeReadable = colon && ConvertValueText(kDBFieldTime, text, &field) == DBValueTextError::kNone;
  for (int i = 0; value->timeReadable && i < 3; ++i) value->time[i] = int16_t(field.parts[i]);
  const auto* bytes = reinterpret_cast<const uint8_t*>(value->text.data());
  const auto* falseText = reinterpret_cast<const uint8_t*>("false");
  if (IsPlainNumberText(text)) {
    value->booleanReadable = true;
    value->boolean = value->number != 0;
  } else if (IsTrueText(bytes, value->text.size())) {
    value->booleanReadable = value->boolean = true;
  } else if (SameName(bytes, value->text.size(), falseText, 5)) {
    value->booleanReadable = true;
  }
}

bool EqualInteger(const DBConditionValue& value, int32_t low, int32_t high, int32_t* wanted) {
  if (value.isNumber) {
    if (!(value.number >= low && value.number <= high) || value.number != std::trunc(value.number))
      return false;
    *wanted = int32_t(value.number);
    return true;
  }
  if (value.integer < low || value.integer > high) return false;
  *wanted = int32_t(value.integer);
  return true;
}

bool MatchesLike(const uint8_t* text, size_t length, const uint8_t* pattern, size_t patternLength,
                 uint8_t textMode) {
  // On a mismatch the last "%" takes one more byte and matching resumes
  // behind it: every earlier "%" then keeps the shortest run that worked.
  size_t i = 0, j = 0;
  size_t star = SIZE_MAX, resume = 0;
  while (i < length) {
    if (j < patternLength && pattern[j] == '%') {
      star = j++;
      resume = i;
    } else if (j < patternLength &&
               (pattern[j] == '_' ||
                ValueByte(textMode, pattern[j]) == FieldByte(textMode, text[i]))) {
      ++i;
      ++j;
    } else if (star != SIZE_MAX) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < patternLength && pattern[j] == '%') ++j;
  return j == patternLength;
}

bool DBConditionTree::Build(const DBFilterRecord* filter) {
  nodes_.clear();
  root_ = -1;
  std::vector<Pending>& pending = pending_;
  pending.clear();
  if (filter) pending.push_back({filter, -1, false});
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    const DBFilterRecord& record = *next.record;
    const bool junction = record.op == kDBOpAnd || record.op == kDBOpOr;
    if ((!junction && !IsComparisonOp(record.op)) || record.function < 0 || record.function > 3)
      return false;
    const int32_t index = int32_t(nodes_.size());
    nodes_.emplace_back();
    DBCondition& node = nodes_.back();
    node.op = uint8_t(record.op);
    node.textMode = uint8_t(record.function);
    if (junction) {
      if (record.right) pending.push_back({record.right, index, false});
      if (record.left) pending.push_back({record.left, index, true});
    } else {
      node.column = StringBytes(record.column);
      ReadConditionValue(record.value, &node.value);
    }
    if (next.parent < 0) {
      root_ = index;
    } else {
      (next.left ? nodes_[size_t(next.parent)].left : nodes_[size_t(next.parent)].right) = index;
    }
  }
  return true;
}

bool DBConditionTree::Resolve(const DBTableEntry& table, std::string* unknown) {
  for (DBCondition& node : nodes_) {
    if (node.IsJunction()) continue;
    const DBTableColumn* column =
        table.FindColumn(reinterpret_cast<const uint8_t*>(node.column.data()), node.column.size());
    if (!column) {
      *unknown = node.column;
      return false;
    }
    node.columnNumber = column->number;
  }
  return true;
}

bool DBConditionTree::Holds(DBRowAccess& row) {
  stack_.clear();
  int32_t node = root_;
  for (;;) {
    while (node >= 0 && nodes_[size_t(node)].IsJunction()) {
      stack_.push_back({node, false});
      node = nodes_[size_t(node)].left;
    }
    bool holds = node < 0 || Test(nodes_[size_t(node)], row);
    // Up to the first junction whose left side did not decide it.
    for (;;) {
      if (stack_.empty()) return holds;
      auto& [junction, inRight] = stack_.back();
      const bool decided = nodes_[size_t(junction)].op == kDBOpAnd ? !holds : holds;
      if (inRight || decided) {
        stack_.pop_back();
        continue;
      }
      inRight = true;
      node = nodes_[size_t(junction)].right;
      break;
    }
  }
}

bool DBConditionTree::Test(const DBCondition& comparison, DBRowAccess& row) {
  DBFieldValue& field = field_;
  const DBFieldLookup lookup = row.Field(comparison, &field);
  if (comparison.op == kDBOpIsNull) return lookup == DBFieldLookup::kAbsent;
  if (comparison.op == kDBOpIsNotNull) return lookup == DBFieldLookup::kFound;
  if (lookup != DBFieldLookup::kFound) return false;
  const DBConditionValue& value = comparison.value;
  const uint8_t op = comparison.op;
  switch (field.type) {
    case kDBFieldInt16:
    case kDBFieldInt32:
      if (value.isNumber) return CompareHolds(op, double(field.integer), value.number);
      return CompareHolds(op, int64_t(field.integer), value.integer);
    case kDBFieldSingle: return CompareHolds(op, field.real, value.single);
    case kDBFieldDouble: return CompareHolds(op, field.real, value.number);
    case kDBFieldDate: return value.dateReadable && PartsHold(op, field.parts, value.date);
    case kDBFieldTime: return value.timeReadable && PartsHold(op, field.parts, value.time);
    case kDBFieldBoolean:
      if (!value.booleanReadable || (op != kDBOpEqual && op != kDBOpNotEqual)) return false;
      return ((field.integer != 0) == value.boolean) == (op == kDBOpEqual);
    case kDBFieldText:
    case kDBFieldBytes: return TextHolds(comparison, field.bytes, field.length);
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
      return row.Blob(field.integer, &blob_) && TextHolds(comparison, blob_.data(), blob_.size());
    default: return false;
  }
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
