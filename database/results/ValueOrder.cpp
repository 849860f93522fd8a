// Value and row order.
#include "database/results/ValueOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "database/api/DBValue.h"
#include "database/storage/Key.h"

namespace {

uint64_t gCompares = 0;

enum ValueClass { kNullClass, kNumberClass, kTextClass, kDateClass, kTimeClass, kStampClass,
                  kBooleanClass, kBytesClass };

ValueClass ClassOf(int32_t type) {
  switch (type) {
    case kDBNull: return kNullClass;
    case kDBSmallInt:
    case kDBInteger:
    case kDBFloat:
    case kDBDouble: return kNumberClass;
    case kDBChar:
    case kDBVarChar:
    case kDBTextBlob: return kTextClass;
    case kDBDate: return kDateClass;
    case kDBTime: return kTimeClass;
    case kDBTimeStamp: return kStampClass;
    case kDBBoolean: return kBooleanClass;
    default: return kBytesClass;
  }
}

int32_t Sign(int64_t difference) { return difference < 0 ? -1 : difference > 0 ? 1 : 0; }

int32_t CompareNumbers(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return int32_t(std::isnan(a)) - int32_t(std::isnan(b));
  return a < b ? -1 : a > b ? 1 : 0;
}

// Byte by byte through the table (none: unsigned), then the shorter first.
int32_t CompareBytes(const DBValueView& a, const DBValueView& b, const uint8_t* table) {
  const uint32_t common = std::min(a.length, b.length);
  for (uint32_t i = 0; i < common; ++i) {
    const uint8_t x = table ? table[a.data[i]] : a.data[i];
    const uint8_t y = table ? table[b.data[i]] : b.data[i];
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(int64_t(a.length) - int64_t(b.length));
}

// Dates, times and timestamps: their stored words, most significant first.
int32_t CompareWords(const DBValueView& a, const DBValueView& b) {
  const uint32_t count = a.type == kDBTimeStamp ? 12 : 6;
  return Sign(std::memcmp(a.data, b.data, count));
}

// Bytes [from, from + count) (count at most 8), through the table if any, as
// the top of a (8 * width)-bit number; past the value's end, zeros.
uint64_t BytesAt(const DBValueView& value, uint32_t from, uint32_t count, uint32_t width,
                 const uint8_t* table) {
  uint64_t bytes = 0;
  const uint32_t end = std::min(value.length, from + count);
  for (uint32_t i = from; i < end; ++i) {
    const uint8_t byte = table ? table[value.data[i]] : value.data[i];
    bytes |= uint64_t(byte) << (8 * (width - 1 - (i - from)));
  }
  return bytes;
}

// The first `count` (at most 7) bytes as the top of a 56-bit number.
uint64_t LeadingBytes(const DBValueView& value, uint32_t count, const uint8_t* table) {
  return BytesAt(value, 0, count, 7, table);
}

// A number's double, ±0 as one.
double NumberOf(const DBValueView& value) {
  double number = NumberInPlace(value);
  if (number == 0) number = 0;  // -0 orders as 0
  return number;
}

// A double's bits, in an order that is the numbers' order.
uint64_t OrderedBits(double number) {
  uint64_t bits;
  std::memcpy(&bits, &number, sizeof bits);
  // Negative doubles order backwards by their bits.
  return bits >> 63 ? ~bits : bits | uint64_t(1) << 63;
}

}  // namespace

uint64_t ValuePrefix(const DBValueView& value) {
  ++gCompares;
  const ValueClass type = ClassOf(value.type);
  uint64_t low = 0;
  switch (type) {
    case kNullClass: break;
    case kNumberClass: {
      const double number = NumberOf(value);
      low = std::isnan(number) ? (uint64_t(1) << 61) - 1 : OrderedBits(number) >> 3;
      break;
    }
    case kTextClass: low = LeadingBytes(value, 7, kDBCollation); break;
    case kDateClass:
    case kTimeClass: low = LeadingBytes(value, 6, nullptr); break;
    case kStampClass: low = LeadingBytes(value, 7, nullptr); break;
    case kBooleanClass: low = value.data[0] != 0; break;
    case kBytesClass: low = LeadingBytes(value, 7, nullptr); break;
  }
  return uint64_t(type) << 61 | low;
}

ValueRest ValueRestOf(const DBValueView& value) {
  switch (ClassOf(value.type)) {
    case kNumberClass: {
      const double number = NumberOf(value);
      if (std::isnan(number)) return {0, 3};
      return {OrderedBits(number) << 61, 3};
    }
    case kTextClass: return {BytesAt(value, 7, 8, 8, kDBCollation), 64};
    case kStampClass: return {BytesAt(value, 7, 5, 8, nullptr), 40};
    case kBytesClass: return {BytesAt(value, 7, 8, 8, nullptr), 64};
    default: return {0, 0};
  }
}

uint64_t ValueCompareCount() { return gCompares; }

double NumberInPlace(const DBValueView& value) {
  if (value.type == kDBDouble) {
    double number;
    std::memcpy(&number, value.data, sizeof number);
    return number;
  }
  if (value.type == kDBInteger) {
    int32_t number;
    std::memcpy(&number, value.data, sizeof number);
    return number;
  }
  return DBValueNumber(value);
}

int32_t CompareValues(const DBValueView& a, const DBValueView& b) {
  ++gCompares;
  // Two integers, the commonest key, need no trip through doubles.
  if (a.type == kDBInteger && b.type == kDBInteger) {
    int32_t x, y;
    std::memcpy(&x, a.data, sizeof x);
    std::memcpy(&y, b.data, sizeof y);
    return Sign(int64_t(x) - int64_t(y));
  }
  if (a.type == kDBDouble && b.type == kDBDouble) {
    double x, y;
    std::memcpy(&x, a.data, sizeof x);
    std::memcpy(&y, b.data, sizeof y);
    return CompareNumbers(x, y);
  }
  const ValueClass left = ClassOf(a.type);
  const ValueClass right = ClassOf(b.type);
  if (left != right) return left < right ? -1 : 1;
  switch (left) {
    case kNullClass: return 0;
    case kNumberClass: return CompareNumbers(DBValueNumber(a), DBValueNumber(b));
    case kTextClass: return CompareBytes(a, b, kDBCollation);
    case kDateClass:
    case kTimeClass:
    case kStampClass: return CompareWords(a, b);
    case kBooleanClass: return int32_t(a.data[0] != 0) - int32_t(b.data[0] != 0);
    case kBytesClass: return CompareBytes(a, b, nullptr);
  }
  return 0;
}

void AppendRowValue(std::string* row, const DBValueView& value) {
  const size_t at = row->size();
  row->resize(at + RowValueSize(value));
  WriteRowValue(row->data() + at, value);
}

size_t WriteRowValue(char* out, const DBValueView& value) {
  const auto type = int16_t(value.type);
  const uint32_t length = value.length;
  std::memcpy(out, &type, sizeof type);
  std::memcpy(out + sizeof type, &length, sizeof length);
  char* bytes = out + sizeof type + sizeof length;
  // Numbers, most values sorted and grouped, copied with fixed-size moves.
  switch (length) {
    case 0: break;
    case 2: std::memcpy(bytes, value.data, 2); break;
    case 4: std::memcpy(bytes, value.data, 4); break;
    case 8: std::memcpy(bytes, value.data, 8); break;
    default: std::memcpy(bytes, value.data, length);
  }
  return RowValueSize(value);
}

bool FindRowValues(const std::string& bytes, size_t begin, size_t end, std::vector<uint32_t>* starts) {
  constexpr size_t kHeader = 6;
  size_t at = begin;
  while (at < end) {
    uint32_t length;
    if (end - at < kHeader) return false;
    std::memcpy(&length, bytes.data() + at + 2, sizeof length);
    if (length > end - at - kHeader) return false;
    starts->push_back(uint32_t(at));
    at += kHeader + length;
  }
  return true;
}

bool SpooledRow::Parse(std::string* bytes, int32_t columns) {
  bytes_.swap(*bytes);
  starts_.clear();
  values_.clear();
  starts_.reserve(size_t(std::max(columns, 0)));
  if (!FindRowValues(bytes_, 0, bytes_.size(), &starts_) || int32_t(starts_.size()) != columns) {
    Clear();
    return false;
  }
  const RowView view(bytes_.data(), starts_.data(), columns);
  values_.reserve(starts_.size());
  for (int32_t column = 0; column < columns; ++column) values_.push_back(view.Value(column));
  return true;
}

void SpooledRow::Clear() {
  bytes_.clear();
  starts_.clear();
  values_.clear();
}

size_t SpooledRow::PrefixLength(int32_t count) const {
  if (count <= 0) return 0;
  return size_t(count) < starts_.size() ? starts_[size_t(count)] : bytes_.size();
}

DBValueView RowView::Value(int32_t column) const {
  if (column < 0 || column >= columns_) return {};
  const char* at = bytes_ + starts_[column];
  int16_t type;
  uint32_t length;
  std::memcpy(&type, at, sizeof type);
  std::memcpy(&length, at + 2, sizeof length);
  return CheckedValue(type, at + 6, int32_t(length));
}

namespace {

bool IsKeyColumn(int32_t column, const DBSortKey* keys, int32_t keyCount) {
  for (int32_t k = 0; k < keyCount; ++k) {
    if (keys[k].column == column) return true;
  }
  return false;
}

}  // namespace

int32_t CompareRows(const RowView& a, const RowView& b, const DBSortKey* keys, int32_t keyCount) {
  for (int32_t k = 0; k < keyCount; ++k) {
    const int32_t order = CompareValues(a.Value(keys[k].column), b.Value(keys[k].column));
    if (order) return keys[k].descending ? -order : order;
  }
  // The key columns compared equal already.
  const int32_t columns = std::max(a.ColumnCount(), b.ColumnCount());
  for (int32_t column = 0; column < columns; ++column) {
    if (IsKeyColumn(column, keys, keyCount)) continue;
    if (const int32_t order = CompareValues(a.Value(column), b.Value(column))) return order;
  }
  return 0;
}

int32_t CompareRowValues(const DBValueView* a, int32_t aCount, const DBValueView* b, int32_t bCount,
                         const DBSortKey* keys, int32_t keyCount) {
  const auto value = [](const DBValueView* row, int32_t count, int32_t column) {
    return column >= 0 && column < count ? row[column] : DBValueView();
  };
  for (int32_t k = 0; k < keyCount; ++k) {
    const int32_t column = keys[k].column;
    const int32_t order = CompareValues(value(a, aCount, column), value(b, bCount, column));
    if (order) return keys[k].descending ? -order : order;
  }
  // The key columns compared equal already.
  const int32_t columns = std::max(aCount, bCount);
  for (int32_t column = 0; column < columns; ++column) {
    if (IsKeyColumn(column, keys, keyCount)) continue;
    const int32_t order = CompareValues(value(a, aCount, column), value(b, bCount, column));
    if (order) return order;
  }
  return 0;
}

int32_t CompareRows(const SpooledRow& a, const SpooledRow& b, const DBSortKey* keys,
                    int32_t keyCount) {
  return CompareRowValues(a.Values(), a.ColumnCount(), b.Values(), b.ColumnCount(), keys, keyCount);
}
