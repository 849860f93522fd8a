// The built-in database engine: its storage core (file and page cache,
// records, keys and the key tree) and the adapter that binds it to Win32.
#pragma once

#include "database/Win32StorageAdapter.h"
#include "database/storage/DBFile.h"
#include "database/storage/Key.h"
#include "database/storage/PageFormat.h"
#include "database/storage/Record.h"
#include "database/storage/StorageAdapter.h"
#include "database/storage/StorageError.h"
#include "database/storage/TreeCursor.h"
