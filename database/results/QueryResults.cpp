// Start-up of the query results.
#include "database/results/QueryResults.h"

#include <iterator>

#include "core/ObjectDefinition.h"
#include "database/results/DatabaseQuery.h"
#include "database/results/GroupingBuilder.h"
#include "database/results/ScrollableCursor.h"
#include "database/results/SortBuilder.h"
#include "database/sql/ResultBuilders.h"
#include "host/relocentry.h"

namespace {

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

void RegisterQueryResults() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(GetScrollableCursorClassDefinition());
  RegisterIntrinsicClass(GetDatabaseQueryClassDefinition());
  static const EntryPoint entries[] = {
      {"TOVADBConnectionDialogCreate", Address(&TOVADBConnectionDialogCreate)},
      {"TOVADBConnectionDialogAddField", Address(&TOVADBConnectionDialogAddField)},
      {"TOVADBConnectionDialogShow", Address(&TOVADBConnectionDialogShow)},
      {"TOVADBConnectionDialogDelete", Address(&TOVADBConnectionDialogDelete)},
  };
  RegisterEntryPoints(entries, std::size(entries));
  SetSortBuilder(BuildSortedResult);
  SetGroupingBuilder(BuildGroupedResult);
}
