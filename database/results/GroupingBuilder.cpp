// The grouping of a source set: its rows through a RowGrouper into a spool
// of group rows.
#include "database/results/GroupingBuilder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/api/RecordSet.h"
#include "database/results/BuilderSource.h"
#include "database/results/RowGrouping.h"
#include "database/results/RowSort.h"
#include "database/results/SortBuilder.h"
#include "database/results/SpooledResult.h"

namespace {

// Every row of the source, in the source's order, to the feed; false when
// the source was closed meanwhile or a group row was refused.
bool Drain(BuilderSource& source, int32_t columns, GroupFeed* feed) {
  std::string row;
  std::vector<uint32_t> starts;
  std::vector<DBValueView> values(size_t(std::max(columns, 0)));
  while (!source.AtEnd()) {
    row.clear();
    starts.clear();
    source.Capture(&row, columns);
    FindRowValues(row, 0, row.size(), &starts);
    const RowView view(row.data(), starts.data(), columns);
    for (int32_t column = 0; column < columns; ++column) values[size_t(column)] = view.Value(column);
    if (!feed->Take(row.data(), row.size(), values.data()) || !source.Next()) return false;
  }
  return true;
}

}  // namespace

RuntimeObject* BuildGroupedResult(RuntimeObject* source, const int32_t* kinds, const int32_t* columns,
                                  int32_t count, int32_t keyCount, const DBSortKey* keys, int32_t hidden) {
  if (!RecordSetArgument(source)) return nullptr;
  BuilderSource drained(source);
  count = std::max(count, 0);
  const int32_t shown = count - std::clamp(hidden, 0, count);
  // The grouper's columns: the result's, then the group key's where no
  // column of the result reads it.
  std::vector<int32_t> from(static_cast<size_t>(count));
  for (int32_t column = 0; column < count; ++column) from[size_t(column)] = columns ? columns[column] : column;
  int32_t group = -1;
  if (keyCount > 0) {
    group = int32_t(std::find(from.begin(), from.end(), keys[0].column) - from.begin());
    if (group == count) from.push_back(keys[0].column);
  }
  from.resize(size_t(std::max(shown, group + 1)));
  std::unique_ptr<RowSpool> groups = RowSpool::Make();
  if (!groups) {
    drained.Fail();
    return nullptr;
  }
  RowGrouper grouper(kinds, shown, group, groups.get());
  const int32_t sourceColumns = drained.Closed() ? 0 : drained.ColumnCount();
  GroupFeed feed(&grouper, std::move(from), sourceColumns);
  bool grouped;
  if (keyCount > 0) {
    // Sorted as a sorted result of the source would be, every column
    // breaking ties.
    RowSorter sorter(keys, keyCount, sourceColumns);
    grouped = DrainIntoSorter(drained, sourceColumns, &sorter) && sorter.Deliver(&feed);
  } else {
    grouped = Drain(drained, sourceColumns, &feed);
  }
  if (!grouped || !grouper.Finish() || !groups->Flush()) {
    drained.Fail();
    return nullptr;
  }
  return NewSpooledResult(std::move(groups), shown, shown, {});
}
