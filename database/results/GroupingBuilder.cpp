// The grouping: one pass over the source, one spool row per group.
#include "database/results/GroupingBuilder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "database/api/DBValue.h"
#include "database/results/BuilderSource.h"
#include "database/results/SpooledResult.h"
#include "database/results/ValueOrder.h"
#include "database/sql/SQLStatements.h"

namespace {

bool IsNumber(int32_t type) {
  return type == kDBSmallInt || type == kDBInteger || type == kDBFloat || type == kDBDouble;
}

struct Aggregate {
  int32_t kind;
  int32_t rows = 0;
  double sum = 0;
  double min = 0;
  double max = 0;
  bool numeric = false;  // a numeric value was seen

  void Add(const DBValueView& value) {
    ++rows;
    if (kind == kSQLCount || !IsNumber(value.type)) return;
    const double number = DBValueNumber(value);
    sum += number;
    min = numeric ? std::min(min, number) : number;
    max = numeric ? std::max(max, number) : number;
    numeric = true;
  }
  void Append(std::string* row) const {
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
};

bool IsAggregate(int32_t kind) { return kind >= kSQLCount && kind <= kSQLMax; }

class Grouper {
 public:
  Grouper(const int32_t* kinds, int32_t shown) : kinds_(kinds, kinds + shown) {}

  bool Drain(BuilderSource& source, bool hasGroupColumn, int32_t groupColumn, RowSpool* out);

 private:
  void Start(const BuilderSource& source);
  bool Emit(RowSpool* out) const;

  std::vector<int32_t> kinds_;
  std::vector<std::string> plain_;  // each plain column's value in the row form
  std::vector<Aggregate> aggregates_;
};

// The sort's comparison, so values the sort puts together (0 and -0, 1 and
// 1.0) are one group, and NULL and '' stay two.
bool SameGroup(int32_t keyType, const std::string& keyBytes, const DBValueView& value) {
  const DBValueView key{keyType, reinterpret_cast<const uint8_t*>(keyBytes.data()),
                        uint32_t(keyBytes.size())};
  return CompareValues(key, value) == 0;
}

bool Grouper::Drain(BuilderSource& source, bool hasGroupColumn, int32_t groupColumn,
                    RowSpool* out) {
  bool open = false;
  int32_t keyType = kDBNull;
  std::string keyBytes;
  while (!source.AtEnd()) {
    if (hasGroupColumn) {
      const CursorValue value = source.Value(groupColumn);
      if (open && !SameGroup(keyType, keyBytes, value.view())) {
        if (!Emit(out)) return false;
        open = false;
      }
      if (!open) {
        keyType = value.view().type;
        keyBytes.assign(reinterpret_cast<const char*>(value.view().data), value.view().length);
      }
    }
    if (!open) Start(source);
    open = true;
    for (Aggregate& aggregate : aggregates_) {
      const int32_t column = int32_t(&aggregate - aggregates_.data());
      if (!IsAggregate(aggregate.kind)) continue;
      if (aggregate.kind == kSQLCount) {
        aggregate.Add({});
      } else {
        const CursorValue value = source.Value(column);
        aggregate.Add(value.view());
      }
    }
    if (!source.Next()) return false;
  }
  return !open || Emit(out);
}

void Grouper::Start(const BuilderSource& source) {
  plain_.assign(kinds_.size(), std::string());
  aggregates_.clear();
  for (size_t column = 0; column < kinds_.size(); ++column) {
    aggregates_.push_back({kinds_[column]});
    if (IsAggregate(kinds_[column])) continue;
    const CursorValue value = source.Value(int32_t(column));
    AppendRowValue(&plain_[column], value.view());
  }
}

bool Grouper::Emit(RowSpool* out) const {
  std::string row;
  for (size_t column = 0; column < kinds_.size(); ++column) {
    if (IsAggregate(kinds_[column])) {
      aggregates_[column].Append(&row);
    } else {
      row += plain_[column];
    }
  }
  return out->Append(row.data(), row.size());
}

}  // namespace

RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, int32_t count,
                                  bool hasGroupColumn, int32_t groupColumn, int32_t hidden) {
  if (!RecordSetArgument(source)) return nullptr;
  BuilderSource drained(source);
  count = std::max(count, 0);
  const int32_t shown = count - std::clamp(hidden, 0, count);
  std::unique_ptr<RowSpool> groups = RowSpool::Make();
  Grouper grouper(kinds, shown);
  if (!groups || !grouper.Drain(drained, hasGroupColumn, groupColumn, groups.get()) ||
      !groups->Flush()) {
    drained.Fail();
    return nullptr;
  }
  return NewSpooledResult(std::move(groups), shown, shown, {});
}
