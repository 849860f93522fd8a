// GROUP BY and aggregates over rows in the row form (ValueOrder.h), one
// group row out per group.
//
// With a group column the rows come sorted on it, and a group is a run of
// rows whose group values compare equal in the sort's order (0 and -0, 1 and
// 1.0 are one group; NULL and '' are two); without one all rows are one
// group, and no row gives no group.
//
// Columns (kinds as the builder slot's: 0 plain, 1 COUNT, 2 AVG, 3 SUM,
// 4 MIN, 5 MAX; anything else reads as plain): a plain column shows its
// value in the group's first row; COUNT counts every row of the group
// (type 3); SUM, MIN and MAX take the numeric values (codes 2, 3, 6, 7) and
// skip the rest; AVG is SUM / COUNT at the group's end, so it does not
// depend on row order (type 7 each). SUM of no numeric value is 0; MIN and
// MAX of none are null, since 0 is a value the data does not hold.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "database/results/RowSort.h"
#include "database/results/RowSpool.h"
#include "database/results/ValueOrder.h"

class RowGrouper {
 public:
  // The first `shown` kinds are the group row's columns; a negative
  // groupColumn makes all rows one group. Borrows the spool.
  RowGrouper(const int32_t* kinds, int32_t shown, int32_t groupColumn, RowSpool* out);

  // False when the spool refuses a group row.
  bool Add(const RowView& row);
  // The same for a row whose first `count` values are given, the rest null.
  bool Add(const DBValueView* values, int32_t count);
  // Writes the last group; false when the spool refuses it.
  bool Finish();

 private:
  struct Aggregate {
    int32_t kind;
    int32_t rows = 0;
    double sum = 0;
    double min = 0;
    double max = 0;
    bool numeric = false;  // a numeric value was seen

    void Add(const DBValueView& value);
    void Append(std::string* row) const;
  };
  void Start(const DBValueView* values, int32_t count);
  bool Emit();

  std::vector<int32_t> kinds_;
  int32_t groupColumn_;
  RowSpool* out_;
  bool open_ = false;
  std::string key_;  // the group's value in the row form
  DBValueView keyValue_;  // that value, in key_
  std::vector<std::string> plain_;  // each plain column's value in the row form
  std::vector<Aggregate> aggregates_;
  std::string row_;
  std::vector<DBValueView> values_;  // a RowView's values, while it is added
};

// Hands rows (from a sorter, or read in any other way) to a grouper as the
// grouper's columns: its column i is the row's column from[i], null past
// the row's `columns`. Borrows the grouper.
class GroupFeed final : public RowSorter::Receiver {
 public:
  GroupFeed(RowGrouper* grouper, std::vector<int32_t> from, int32_t columns);
  // False when the grouper refuses a group row.
  bool Take(const char* bytes, size_t length, const DBValueView* values) override;

 private:
  RowGrouper* grouper_;
  std::vector<int32_t> from_;
  int32_t columns_;
  std::vector<DBValueView> values_;
};
