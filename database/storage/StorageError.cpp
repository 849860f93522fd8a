#include "database/storage/StorageError.h"

DBStorageError MakeStorageError(DBErrorCode code) {
  switch (code) {
    case kDBErrorDuplicateKey: return {code, "Insert failed: primary key violation"};
    case kDBErrorTooLong: return {code, "Insert failed: data too long"};
    case kDBErrorReadOnly: return {code, "Database file is read-only"};
    case kDBErrorWrite: return {code, "Error writing database file"};
    case kDBErrorDamaged: return {code, "Database file is damaged"};
    case kDBErrorFull: return {code, "Database file is full"};
    case kDBErrorNone: break;
  }
  return {};
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
