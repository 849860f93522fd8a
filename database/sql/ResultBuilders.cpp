// The builder slots.
#include "database/sql/ResultBuilders.h"

#include <utility>

namespace {
SortBuilder gSortBuilder = nullptr;
GroupingBuilder gGroupingBuilder = nullptr;
}  // namespace

SortBuilder SetSortBuilder(SortBuilder builder) { return std::exchange(gSortBuilder, builder); }
GroupingBuilder SetGroupingBuilder(GroupingBuilder builder) {
  return std::exchange(gGroupingBuilder, builder);
}
SortBuilder InstalledSortBuilder() { return gSortBuilder; }
GroupingBuilder InstalledGroupingBuilder() { return gGroupingBuilder; }
