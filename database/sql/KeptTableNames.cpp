#include "database/sql/KeptTableNames.h"

#include "database/api/DBInterface.h"
#include "database/api/Database.h"
#include "database/engine/EngineTable.h"

bool KeptTableNames::StandsFor(RuntimeObject* database, uint32_t catalog) {
  if (database_ != database || catalog_ != catalog) {
    database_ = database;
    catalog_ = catalog;
    tables_.clear();
  }
  return DatabaseArgument(database)->definition == BuiltInEngineTable();
}

KeptTableNames::Names KeptTableNames::Find(RuntimeObject* database, const std::string& table,
                                           uint32_t encoding) {
  if (!StandsFor(database, DBCatalogChangeCount())) return nullptr;
  for (const Table& entry : tables_)
    if (entry.encoding == encoding && entry.name == table) return entry.names;
  return nullptr;
}

void KeptTableNames::Keep(RuntimeObject* database, uint32_t catalog, const std::string& table,
                          uint32_t encoding, Names names) {
  if (catalog != DBCatalogChangeCount() || !StandsFor(database, catalog)) return;
  if (tables_.size() == kMostTables) tables_.clear();
  tables_.push_back({table, encoding, std::move(names)});
}
