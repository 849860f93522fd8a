// The grouping of a source set: its rows through a RowGrouper into a spool
// of group rows.
#include "database/results/GroupingBuilder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "database/api/RecordSet.h"
#include "database/results/BuilderSource.h"
#include "database/results/RowGrouping.h"
#include "database/results/SpooledResult.h"

namespace {

// Every row of the source (its first `columns` values) into the grouper;
// false when the source was closed meanwhile or a group row was refused.
bool Drain(BuilderSource& source, int32_t columns, RowGrouper* grouper) {
  std::string row;
  std::vector<uint32_t> starts;
  while (!source.AtEnd()) {
    // A sorted source's row is taken where it lies, as Capture would copy
    // it: its shown values, then nulls.
    int32_t shown = 0;
    bool added;
    if (const SpooledRow* spooled = SpooledResultRow(source.fields(), &shown)) {
      added = grouper->Add(spooled->Values(), std::max(0, std::min({columns, shown, spooled->ColumnCount()})));
    } else {
      row.clear();
      starts.clear();
      source.Capture(&row, columns);
      FindRowValues(row, 0, row.size(), &starts);
      added = grouper->Add(RowView(row.data(), starts.data(), columns));
    }
    if (!added || !source.Next()) return false;
  }
  return grouper->Finish();
}

}  // namespace

RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, int32_t count,
                                  bool hasGroupColumn, int32_t groupColumn, int32_t hidden) {
  if (!RecordSetArgument(source)) return nullptr;
  BuilderSource drained(source);
  count = std::max(count, 0);
  const int32_t shown = count - std::clamp(hidden, 0, count);
  const int32_t group = hasGroupColumn ? groupColumn : -1;
  std::unique_ptr<RowSpool> groups = RowSpool::Make();
  if (!groups) {
    drained.Fail();
    return nullptr;
  }
  RowGrouper grouper(kinds, shown, group, groups.get());
  if (!Drain(drained, std::max(shown, group + 1), &grouper) || !groups->Flush()) {
    drained.Fail();
    return nullptr;
  }
  return NewSpooledResult(std::move(groups), shown, shown, {});
}
