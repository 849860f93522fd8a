// The built-in database engine: its storage core (file and page cache,
// records, keys and the key tree) and the adapter that binds it to Win32.
//
// A process killed at any moment leaves a file that the next open brings
// back to its last commit: every commit or rollback that writes pages first
// writes a rollback journal (Journal.h: the images of the pages it
// overwrites, the page count and header words at begin, its serial and the
// file's random id), and recovery replays only a whole journal of the
// interrupted transaction and of that file. Without one, a file some of
// whose pages that transaction wrote is refused with 2011 and left as it is
// (DBFile.h says how recovery decides).
#pragma once

#include "database/Win32StorageAdapter.h"
#include "database/storage/DBFile.h"
#include "database/storage/Key.h"
#include "database/storage/PageFormat.h"
#include "database/storage/Record.h"
#include "database/storage/StorageAdapter.h"
#include "database/storage/StorageError.h"
#include "database/storage/TreeCursor.h"
