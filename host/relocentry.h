// The table of named entry points through which compiled code and plug-ins
// reach the run-time, and the small entries only that table names.
#pragma once
#include <cstddef>

struct StringRecord;

// A named function of the run-time. Records are static: the table keeps
// pointers to them.
struct EntryPoint {
  const char* name;
  void* function;
};

// Adds count records. A name that another record already holds (or a record
// without a name or function) is reported through AssertionFailed and
// skipped: the first record of a name stays. A record entered again is
// taken quietly, so start-up may register its static records every time.
void RegisterEntryPoints(const EntryPoint* records, size_t count);
// The function registered under exactly that name (case counts); null when
// none is.
void* LookupEntryPoint(const char* name);

// The host's own entries: RuntimeInit, RuntimeRegisterAppObject, RuntimeRun,
// RuntimeBackgroundTask, WakeMainLoop, LogErrorMessage, TOVALockString,
// TOVAUnlockString and ApplicationQuit. Registering them again does nothing.
void RegisterHostEntryPoints();

extern "C" {
// Add or drop one reference of a string (nil ignored), for plug-ins.
void TOVALockString(StringRecord* string);
void TOVAUnlockString(StringRecord* string);
}
