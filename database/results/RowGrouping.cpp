// The grouping: one pass over sorted rows, one group row per group.
#include "database/results/RowGrouping.h"

#include <algorithm>
#include <utility>

#include "database/sql/SQLStatements.h"

namespace {

bool IsNumber(int32_t type) {
  return type == kDBSmallInt || type == kDBInteger || type == kDBFloat || type == kDBDouble;
}

bool IsAggregate(int32_t kind) { return kind >= kSQLCount && kind <= kSQLMax; }

// The value of a one-value row form.
DBValueView StoredValue(const std::string& bytes) {
  const uint32_t start = 0;
  return RowView(bytes.data(), &start, 1).Value(0);
}

}  // namespace

void RowGrouper::Aggregate::Add(const DBValueView& value) {
  ++rows;
  if (kind == kSQLCount || !IsNumber(value.type)) return;
  const double number = NumberInPlace(value);
  sum += number;
  min = numeric ? std::min(min, number) : number;
  max = numeric ? std::max(max, number) : number;
  numeric = true;
}

void RowGrouper::Aggregate::Append(std::string* row) const {
  const double average = rows ? sum / rows : 0;
  const double* number = kind == kSQLAvg ? &average : kind == kSQLSum ? &sum
                         : !numeric      ? nullptr
                         : kind == kSQLMin ? &min : &max;
  if (kind == kSQLCount) {
    AppendRowValue(row, {kDBInteger, reinterpret_cast<const uint8_t*>(&rows), sizeof rows});
  } else if (number) {
    AppendRowValue(row, {kDBDouble, reinterpret_cast<const uint8_t*>(number), sizeof *number});
  } else {
    AppendRowValue(row, {});
  }
}

RowGrouper::RowGrouper(const int32_t* kinds, int32_t shown, int32_t groupColumn, RowSpool* out)
    : kinds_(kinds, kinds + std::max(shown, 0)), groupColumn_(groupColumn), out_(out) {}

bool RowGrouper::Add(const RowView& row) {
  values_.resize(std::max(kinds_.size(), size_t(groupColumn_ + 1)));
  for (size_t column = 0; column < values_.size(); ++column) values_[column] = row.Value(int32_t(column));
  return Add(values_.data(), int32_t(values_.size()));
}

bool RowGrouper::Add(const DBValueView* values, int32_t count) {
  const auto value = [values, count](int32_t column) {
    return column >= 0 && column < count ? values[column] : DBValueView();
  };
  if (open_ && groupColumn_ >= 0 && CompareValues(keyValue_, value(groupColumn_)) != 0) {
    if (!Emit()) return false;
    open_ = false;
  }
  if (!open_) Start(values, count);
  open_ = true;
  for (size_t column = 0; column < aggregates_.size(); ++column) {
    Aggregate& aggregate = aggregates_[column];
    if (!IsAggregate(aggregate.kind)) continue;
    aggregate.Add(aggregate.kind == kSQLCount ? DBValueView() : value(int32_t(column)));
  }
  return true;
}

bool RowGrouper::Finish() { return !open_ || Emit(); }

void RowGrouper::Start(const DBValueView* values, int32_t count) {
  const auto value = [values, count](int32_t column) {
    return column >= 0 && column < count ? values[column] : DBValueView();
  };
  key_.clear();
  if (groupColumn_ >= 0) AppendRowValue(&key_, value(groupColumn_));
  keyValue_ = StoredValue(key_);
  plain_.resize(kinds_.size());
  aggregates_.clear();
  for (size_t column = 0; column < kinds_.size(); ++column) {
    aggregates_.push_back({kinds_[column]});
    plain_[column].clear();
    if (!IsAggregate(kinds_[column])) AppendRowValue(&plain_[column], value(int32_t(column)));
  }
}

bool RowGrouper::Emit() {
  row_.clear();
  for (size_t column = 0; column < kinds_.size(); ++column) {
    if (IsAggregate(kinds_[column])) {
      aggregates_[column].Append(&row_);
    } else {
      row_ += plain_[column];
    }
  }
  return out_->Append(row_.data(), row_.size());
}

GroupFeed::GroupFeed(RowGrouper* grouper, std::vector<int32_t> from, int32_t columns)
    : grouper_(grouper), from_(std::move(from)), columns_(columns), values_(from_.size()) {}

bool GroupFeed::Take(const char*, size_t, const DBValueView* values) {
  for (size_t i = 0; i < from_.size(); ++i) {
    const int32_t column = from_[i];
    values_[i] = column >= 0 && column < columns_ ? values[column] : DBValueView();
  }
  return grouper_->Add(values_.data(), int32_t(values_.size()));
}

#ifdef _WINDOWS_
#error "The grouping stays portable: no <windows.h>."
#endif
