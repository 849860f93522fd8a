// Start-up of the database classes.
#include "database/api/DatabaseClasses.h"

#include <iterator>

#include "core/ObjectDefinition.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/DatabaseRecord.h"
#include "database/api/RecordSet.h"
#include "host/ResourceManagerCommon.h"
#include "host/relocentry.h"

namespace {

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

void RegisterDatabaseClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (ObjectDefinition* definition :
       {GetDatabaseClassDefinition(), GetDatabaseCursorClassDefinition(),
        GetRecordSetClassDefinition(), GetDatabaseCursorFieldClassDefinition(),
        GetDatabaseFieldClassDefinition(), GetDatabaseRecordClassDefinition()}) {
    RegisterIntrinsicClass(definition);
  }
  static const EntryPoint entries[] = {
      {"PluginRegisterDBEngine", Address(&PluginRegisterDBEngine)},
      {"PluginRegisterDBCursor", Address(&PluginRegisterDBCursor)},
      {"TOVAdbDatabaseFromDBDatabase", Address(&TOVAdbDatabaseFromDBDatabase)},
      {"TOVAdbCursorFromDBCursor", Address(&TOVAdbCursorFromDBCursor)},
      {"TOVADatabaseSetError", Address(&TOVADatabaseSetError)},
      {"getDatabaseProperty", Address(&getDatabaseProperty)},
      {"RuntimeGetDatabaseFromResource", Address(&RuntimeGetDatabaseFromResource)},
  };
  RegisterEntryPoints(entries, std::size(entries));
  ResourceManager::SetDatabaseFactory(NewDatabaseFromResource);
}
