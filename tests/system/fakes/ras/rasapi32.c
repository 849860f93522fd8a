/* A Remote Access library for tests. The connections up, the phonebook
   entries and answers forced on a function are set through the Fake*
   exports; every call is logged, one line each; the records' dwSize is
   checked (632 otherwise). RasDialA hands out the connection 0x333 and keeps
   its notifier, which FakeRasNotify calls on the caller's thread. Built
   without RasDialA when FAKE_RAS_NO_DIAL is defined. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "system/RasRecords.h"

#define MAX_CONNECTIONS 8
#define DIALLED_CONNECTION 0x333

static UINT_PTR connections[MAX_CONNECTIONS];
static DWORD connectionCount;
static char entry[RAS_ENTRY_NAME_FIELD];
static DWORD forcedEnumeration;
static DWORD forcedDial;
static RasDialNotifier notifier;
static char callLog[8192];

static void Log(const char* format, ...) {
  size_t used = strlen(callLog);
  va_list arguments;
  va_start(arguments, format);
  _vsnprintf(callLog + used, sizeof callLog - used - 1, format, arguments);
  va_end(arguments);
  strncat(callLog, "\n", sizeof callLog - strlen(callLog) - 1);
}

/* Fills an array of records of the given size with count records by
   filler, or asks for room; the checks every enumeration makes. */
static DWORD Enumerate(DWORD* first, DWORD recordSize, DWORD* bytes, DWORD* count, DWORD found,
                       void (*filler)(char* records)) {
  if (!first || !bytes || !count) return ERROR_INVALID_PARAMETER;
  if (*first != recordSize) return RAS_ERROR_INVALID_SIZE;
  if (*bytes < found * recordSize) {
    *bytes = found * recordSize;
    return RAS_ERROR_BUFFER_TOO_SMALL;
  }
  filler((char*)first);
  *count = found;
  return 0;
}

static void FillConnections(char* records) {
  RasConnection* connection = (RasConnection*)records;
  DWORD i;
  for (i = 0; i < connectionCount; ++i) {
    connection[i].dwSize = sizeof(RasConnection);
    connection[i].handle = connections[i];
  }
}

static void FillEntries(char* records) {
  RasEntryName* name = (RasEntryName*)records;
  name->dwSize = sizeof(RasEntryName);
  strcpy(name->entryName, entry);
}

DWORD WINAPI RasEnumConnectionsA(RasConnection* records, DWORD* bytes, DWORD* count) {
  Log("RasEnumConnectionsA %lu %lu", records ? records->dwSize : 0ul, bytes ? *bytes : 0ul);
  if (forcedEnumeration) {
    if (bytes) *bytes += sizeof(RasConnection);
    return forcedEnumeration;
  }
  return Enumerate(records ? &records->dwSize : NULL, sizeof(RasConnection), bytes, count,
                   connectionCount, FillConnections);
}

DWORD WINAPI RasEnumEntriesA(const char* reserved, const char* phonebook, RasEntryName* records,
                             DWORD* bytes, DWORD* count) {
  Log("RasEnumEntriesA %lu %lu", records ? records->dwSize : 0ul, bytes ? *bytes : 0ul);
  if (reserved || phonebook) return ERROR_INVALID_PARAMETER;
  return Enumerate(records ? &records->dwSize : NULL, sizeof(RasEntryName), bytes, count,
                   entry[0] ? 1 : 0, FillEntries);
}

DWORD WINAPI RasHangUpA(UINT_PTR connection) {
  DWORD i;
  Log("RasHangUpA 0x%x", (unsigned)connection);
  for (i = 0; i < connectionCount; ++i) {
    if (connections[i] == connection) {
      connections[i] = connections[--connectionCount];
      return 0;
    }
  }
  return ERROR_INVALID_HANDLE;
}

DWORD WINAPI RasGetConnectStatusA(UINT_PTR connection, RasConnectionStatus* status) {
  DWORD i;
  Log("RasGetConnectStatusA 0x%x %lu", (unsigned)connection, status ? status->dwSize : 0ul);
  if (!status || status->dwSize != sizeof *status) return RAS_ERROR_INVALID_SIZE;
  for (i = 0; i < connectionCount; ++i) {
    if (connections[i] == connection) {
      status->state = RAS_STATE_CONNECTED;
      return 0;
    }
  }
  return ERROR_INVALID_HANDLE;
}

DWORD WINAPI RasGetEntryDialParamsA(const char* phonebook, RasDialParams* parameters,
                                    BOOL* passwordSaved) {
  Log("RasGetEntryDialParamsA %lu %s", parameters ? parameters->dwSize : 0ul,
      parameters ? parameters->entryName : "");
  if (phonebook || !parameters || !passwordSaved) return ERROR_INVALID_PARAMETER;
  if (parameters->dwSize != sizeof *parameters) return RAS_ERROR_INVALID_SIZE;
  if (strcmp(parameters->entryName, entry) != 0) return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  strcpy(parameters->phoneNumber, "5550100");
  strcpy(parameters->userName, "dialer");
  *passwordSaved = TRUE;
  return 0;
}

#ifndef FAKE_RAS_NO_DIAL
DWORD WINAPI RasDialA(void* extensions, const char* phonebook, RasDialParams* parameters,
                      DWORD notifierType, void* notifierFunction, UINT_PTR* connection) {
  Log("RasDialA %lu %s %lu %s", parameters ? parameters->dwSize : 0ul,
      parameters ? parameters->entryName : "", notifierType,
      notifierFunction ? "notifier" : "none");
  if (extensions || phonebook || !parameters || !connection) return ERROR_INVALID_PARAMETER;
  if (parameters->dwSize != sizeof *parameters) return RAS_ERROR_INVALID_SIZE;
  *connection = DIALLED_CONNECTION;
  if (forcedDial) return forcedDial;
  notifier = (RasDialNotifier)notifierFunction;
  return 0;
}
#endif

DWORD WINAPI RasGetErrorStringA(UINT error, char* text, DWORD size) {
  Log("RasGetErrorStringA %u", error);
  if (!text || size < 32) return ERROR_INVALID_PARAMETER;
  sprintf(text, "Fake failure %u", error);
  return 0;
}

/* ---- Control ---- */

void WINAPI FakeRasReset(void) {
  connectionCount = 0;
  entry[0] = 0;
  forcedEnumeration = forcedDial = 0;
  notifier = NULL;
  callLog[0] = 0;
}

void WINAPI FakeRasSetConnections(const UINT_PTR* handles, DWORD count) {
  connectionCount = count < MAX_CONNECTIONS ? count : MAX_CONNECTIONS;
  memcpy(connections, handles, connectionCount * sizeof *handles);
}

void WINAPI FakeRasSetEntry(const char* name) {
  strncpy(entry, name, sizeof entry - 1);
}

/* Answers forced on RasEnumConnectionsA (asking for one more record each
   time) and RasDialA (after handing out its connection); 0 for none. */
void WINAPI FakeRasForce(DWORD enumeration, DWORD dial) {
  forcedEnumeration = enumeration;
  forcedDial = dial;
}

const char* WINAPI FakeRasLog(void) { return callLog; }

BOOL WINAPI FakeRasNotify(DWORD state, DWORD error) {
  if (!notifier) return FALSE;
  notifier(0xCCCD, state, error);
  return TRUE;
}
