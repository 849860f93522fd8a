// The input form of the database targets: four bytes (big-endian) giving the
// length of a rollback journal at the end, then the database file and the
// journal. A length of 0, or one longer than what follows, means no journal.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/database/dbstore_support.h"
#include "tests/fuzz/FuzzSupport.h"

namespace fuzz {

// Puts the file (and its journal) at the path in the storage.
inline void LoadDatabaseInput(const uint8_t* data, size_t size, const std::string& path,
                              MemoryStorage* storage) {
  Reader input(data, size);
  const std::string prefix = input.Bytes(4);
  uint32_t journalLength = 0;
  for (char byte : prefix) journalLength = journalLength << 8 | uint8_t(byte);
  std::string file = input.Rest();
  if (journalLength > 0 && journalLength <= file.size()) {
    storage->File(path + "-journal")->Assign(file.substr(file.size() - journalLength));
    file.resize(file.size() - journalLength);
  }
  storage->File(path)->Assign(file);
}

}  // namespace fuzz
