// The storage core's adapter to Win32: file streams of files/FileStreams.h,
// DeleteFileW, the lock of one byte at offset 0xFFFFFFFF (LockFileEx,
// exclusive, failing at once), FlushFileBuffers, and the run-time's
// assertion box. This header includes no system header.
#pragma once
#include "database/storage/StorageAdapter.h"

// The one adapter; it lives as long as the process.
DBStorageAdapter& Win32DatabaseStorage();
