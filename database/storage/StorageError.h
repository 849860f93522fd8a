// The errors the storage layer leaves on a DBFile when an operation fails.
// The table layer copies code and text into the database's own error.
#pragma once
#include <cstdint>

enum DBErrorCode : int32_t {
  kDBErrorNone = 0,
  kDBErrorDuplicateKey = 2005,  // "Insert failed: primary key violation"
  kDBErrorTooLong = 2006,       // "Insert failed: data too long"
  kDBErrorReadOnly = 2009,      // "Database file is read-only"
  kDBErrorWrite = 2010,         // "Error writing database file"
  kDBErrorDamaged = 2011,       // "Database file is damaged"
  kDBErrorFull = 2012,          // "Database file is full"
};

struct DBStorageError {
  DBErrorCode code = kDBErrorNone;
  // A static text ("" for kDBErrorNone); never freed.
  const char* text = "";
};

DBStorageError MakeStorageError(DBErrorCode code);
