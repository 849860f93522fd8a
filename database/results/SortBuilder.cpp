// The sort of a source set: its rows into a RowSorter, then a spooled result.
#include "database/results/SortBuilder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/api/RecordSet.h"
#include "database/results/BuilderSource.h"
#include "database/results/RowSort.h"
#include "database/results/SpooledResult.h"

namespace {

std::vector<StringRef> ShownNames(RecordSetFields* fields, int32_t shown) {
  std::vector<StringRef> names;
  for (int32_t column = 0; column < shown; ++column)
    names.push_back(StringRef::Adopt(RecordSetColumnName(fields, column)));
  return names;
}

}  // namespace

bool DrainIntoSorter(BuilderSource& source, int32_t columns, RowSorter* sorter) {
  while (!source.AtEnd()) {
    if (!source.AddTo(sorter, columns) || !source.Next()) return false;
  }
  return true;
}

RuntimeObject* BuildSortedResult(RuntimeObject* source, int32_t keyCount, const DBSortKey* keys,
                                 int32_t hidden) {
  if (!RecordSetArgument(source)) return nullptr;
  BuilderSource drained(source);
  const int32_t columns = drained.Closed() ? 0 : drained.ColumnCount();
  const int32_t shown = columns - std::clamp(hidden, 0, columns);
  std::vector<StringRef> names = ShownNames(drained.fields(), shown);
  RowSorter sorter(keys, keyCount, columns);
  std::unique_ptr<RowSpool> sorted;
  if (!DrainIntoSorter(drained, columns, &sorter) || !(sorted = sorter.Finish()) || !sorted->Flush()) {
    drained.Fail();
    return nullptr;
  }
  return NewSpooledResult(std::move(sorted), columns, shown, std::move(names));
}
