// The order of values and rows that sorting and grouping use, and the row
// form they keep rows in.
//
// Values are ordered by class, then within the class:
//   null (0) < numbers (2, 3, 6, 7, compared as doubles, NaN last)
//   < texts (4, 5, 15: bytes through the engine's collation table, the
//     shorter first on a common prefix)
//   < dates (8) < times (9) < timestamps (10) (each by its words, most
//     significant first)
//   < booleans (12: false first)
//   < bytes (14, 16, 17 and every unknown code: unsigned bytes, the shorter
//     first on a common prefix).
// So the order is total: compare(a, b) = -compare(b, a), and equal values
// of two types (1 as type 3 and 1.0 as type 7) compare 0. A descending key
// negates the compare, which puts null last.
//
// Row form (as stored in sort runs and sorted results): for each column a
// 16-bit type code, a 32-bit length (both in host order) and that many
// bytes. Values are read back through CheckedValue, so a value too short for
// its code reads as null.
//
// Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "database/api/DBInterface.h"
#include "database/sql/ResultBuilders.h"

int32_t CompareValues(const DBValueView& a, const DBValueView& b);
// A value's number as DBValueNumber reads it, doubles and integers (the
// commonest) read in place.
double NumberInPlace(const DBValueView& value);
// Value compares and prefixes (ValuePrefix) made so far, for tests that
// bound a sort's work or see whether one ran.
uint64_t ValueCompareCount();

// A value's place in that order in 64 bits: its class in the top three,
// then the leading part of what orders it within the class (a number's
// double, ±0 as one and NaN last; a text's first seven bytes through the
// collation table; a date's or time's first six bytes, a timestamp's first
// seven; a boolean's truth; a byte string's first seven bytes). So a value
// with the smaller prefix orders first, and equal values have equal
// prefixes; values with equal prefixes need CompareValues.
uint64_t ValuePrefix(const DBValueView& value);
// What orders values of equal prefixes next, in the top `width` bits of
// `bits`: a number's double's last three bits, a timestamp's last five
// bytes (width 3 and 40), a text's or byte string's next eight bytes, as
// the prefix has them (width 64); width 0 where the prefix says all (null,
// dates, times, booleans). Under 64, prefix and rest decide the order of
// two values exactly.
struct ValueRest {
  uint64_t bits = 0;
  uint32_t width = 0;
};
ValueRest ValueRestOf(const DBValueView& value);

// Appends one value in the row form.
void AppendRowValue(std::string* row, const DBValueView& value);
// The size of one value in the row form, and the value written in that
// form at `out` (which has that room); gives the size.
inline size_t RowValueSize(const DBValueView& value) { return 6 + size_t(value.length); }
size_t WriteRowValue(char* out, const DBValueView& value);

// A row in the row form seen where its bytes lie: `starts` holds the offset
// of each of its `columns` values in `bytes`. Borrows both.
class RowView {
 public:
  RowView(const char* bytes, const uint32_t* starts, int32_t columns)
      : bytes_(bytes), starts_(starts), columns_(columns) {}
  // Null for a column it does not have.
  DBValueView Value(int32_t column) const;
  int32_t ColumnCount() const { return columns_; }

 private:
  const char* bytes_;
  const uint32_t* starts_;
  int32_t columns_;
};

// Appends the offset of each value of the row form in bytes [begin, end) to
// starts; false when a stored length runs past the end (starts then holds
// the values read so far).
bool FindRowValues(const std::string& bytes, size_t begin, size_t end, std::vector<uint32_t>* starts);

// A row in the row form with each value found once (so compares and reads
// do not check its bytes again). Its views point into its own bytes: it is
// neither copied nor moved.
class SpooledRow {
 public:
  SpooledRow() = default;
  SpooledRow(const SpooledRow&) = delete;
  SpooledRow& operator=(const SpooledRow&) = delete;

  // Takes the bytes, giving the row's previous bytes back in their place
  // (so a reader can reuse the buffer); false (and no values) when a stored
  // length runs past them or the values are fewer or more than `columns`.
  bool Parse(std::string* bytes, int32_t columns);
  void Clear();
  // Null for a column it does not have.
  DBValueView Value(int32_t column) const {
    return column >= 0 && column < ColumnCount() ? values_[size_t(column)] : DBValueView();
  }
  int32_t ColumnCount() const { return int32_t(values_.size()); }
  const DBValueView* Values() const { return values_.data(); }
  const std::string& Bytes() const { return bytes_; }
  // The bytes of the first `count` values (at most all of them).
  size_t PrefixLength(int32_t count) const;

 private:
  std::string bytes_;
  std::vector<uint32_t> starts_;
  std::vector<DBValueView> values_;
};

// CompareRows over values already found: a has aCount of them, b bCount; a
// column past a row's values reads as null.
int32_t CompareRowValues(const DBValueView* a, int32_t aCount, const DBValueView* b, int32_t bCount,
                         const DBSortKey* keys, int32_t keyCount);
// The keys first (negated when descending), then every column from the
// first; 0 when all are equal.
int32_t CompareRows(const RowView& a, const RowView& b, const DBSortKey* keys, int32_t keyCount);
int32_t CompareRows(const SpooledRow& a, const SpooledRow& b, const DBSortKey* keys,
                    int32_t keyCount);
