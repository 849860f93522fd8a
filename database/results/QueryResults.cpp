// Start-up of the query results.
#include "database/results/QueryResults.h"

#include "core/ObjectDefinition.h"
#include "database/results/GroupingBuilder.h"
#include "database/results/ScrollableCursor.h"
#include "database/results/SortBuilder.h"
#include "database/sql/ResultBuilders.h"

void RegisterQueryResults() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(GetScrollableCursorClassDefinition());
  SetSortBuilder(BuildSortedResult);
  SetGroupingBuilder(BuildGroupedResult);
}
