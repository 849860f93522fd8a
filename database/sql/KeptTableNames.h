// Names read for the tables of one database of the built-in engine (its
// field list, its cursor's columns), kept while no schema can have changed:
// the catalog change count stands. Every schema change of the built-in
// engine moves it, and a database closes before it goes, which moves it
// too, so a new one at the same address finds nothing; a plug-in's tables
// may change outside the program, so nothing is kept for them. Room for 16
// tables; the oldest go first. A caller holds the names it was given for as
// long as it likes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/RuntimeObjectFoundation.h"

class KeptTableNames {
 public:
  using Names = std::shared_ptr<const std::vector<std::string>>;

  // The names kept for the table; null when none are.
  Names Find(RuntimeObject* database, const std::string& table, uint32_t encoding);
  // Keeps names read while the count was `catalog` (read before the names
  // were): nothing when it moved meanwhile (a statement run during the read
  // may have changed a schema or kept another database's names).
  void Keep(RuntimeObject* database, uint32_t catalog, const std::string& table,
            uint32_t encoding, Names names);

 private:
  static constexpr size_t kMostTables = 16;
  struct Table {
    std::string name;
    uint32_t encoding;
    Names names;
  };
  // Empties the list unless it is the database's at the count.
  bool StandsFor(RuntimeObject* database, uint32_t catalog);

  RuntimeObject* database_ = nullptr;
  uint32_t catalog_ = 0;
  std::vector<Table> tables_;
};
