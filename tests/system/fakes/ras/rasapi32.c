/* A Remote Access library for tests: the connections up, one phonebook entry
   and forced answers are set through the Fake* exports; every call is logged
   a line each; records of the wrong dwSize get 632. RasDialA hands out the
   connection 0x333 and keeps its notifier for FakeRasNotify. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "system/RasRecords.h"

static UINT_PTR connections[8];
static DWORD connectionCount, forcedEnumeration, forcedDial;
static char entry[RAS_ENTRY_NAME_FIELD], callLog[8192];
static RasDialNotifier notifier;

static void Log(const char* format, ...) {
  size_t used = strlen(callLog);
  va_list arguments;
  va_start(arguments, format);
  _vsnprintf(callLog + used, sizeof callLog - used - 2, format, arguments);
  va_end(arguments);
  strcat(callLog, "\n");
}

/* Room for found records of recordSize at first, or the size asked for. */
static DWORD CheckRoom(const DWORD* first, DWORD recordSize, DWORD* bytes, DWORD found) {
  if (!first || !bytes) return ERROR_INVALID_PARAMETER;
  if (*first != recordSize) return RAS_ERROR_INVALID_SIZE;
  if (*bytes >= found * recordSize) return 0;
  *bytes = found * recordSize;
  return RAS_ERROR_BUFFER_TOO_SMALL;
}

DWORD WINAPI RasEnumConnectionsA(RasConnection* records, DWORD* bytes, DWORD* count) {
  DWORD i, answer;
  Log("RasEnumConnectionsA %lu %lu", records->dwSize, *bytes);
  if (forcedEnumeration) {
    *bytes += sizeof *records;
    return forcedEnumeration;
  }
  answer = CheckRoom(&records->dwSize, sizeof *records, bytes, connectionCount);
  for (i = 0; answer == 0 && i < connectionCount; ++i) records[i].handle = connections[i];
  if (answer == 0) *count = connectionCount;
  return answer;
}

DWORD WINAPI RasEnumEntriesA(const char* reserved, const char* phonebook, RasEntryName* records,
                             DWORD* bytes, DWORD* count) {
  DWORD answer = CheckRoom(&records->dwSize, sizeof *records, bytes, entry[0] ? 1 : 0);
  Log("RasEnumEntriesA %lu %lu", records->dwSize, *bytes);
  if (reserved || phonebook) return ERROR_INVALID_PARAMETER;
  if (answer == 0) *count = entry[0] ? 1 : 0;
  if (answer == 0 && entry[0]) strcpy(records->entryName, entry);
  return answer;
}

static int Up(UINT_PTR connection) {
  DWORD i;
  for (i = 0; i < connectionCount; ++i) {
    if (connections[i] == connection) return 1;
  }
  return 0;
}

DWORD WINAPI RasHangUpA(UINT_PTR connection) {
  Log("RasHangUpA 0x%x", (unsigned)connection);
  return Up(connection) ? 0 : ERROR_INVALID_HANDLE;
}

DWORD WINAPI RasGetConnectStatusA(UINT_PTR connection, RasConnectionStatus* status) {
  Log("RasGetConnectStatusA 0x%x %lu", (unsigned)connection, status->dwSize);
  if (status->dwSize != sizeof *status) return RAS_ERROR_INVALID_SIZE;
  status->state = RAS_STATE_CONNECTED;
  return Up(connection) ? 0 : ERROR_INVALID_HANDLE;
}

DWORD WINAPI RasGetEntryDialParamsA(const char* phonebook, RasDialParams* parameters,
                                    BOOL* passwordSaved) {
  Log("RasGetEntryDialParamsA %lu %s", parameters->dwSize, parameters->entryName);
  if (phonebook || !passwordSaved) return ERROR_INVALID_PARAMETER;
  if (parameters->dwSize != sizeof *parameters) return RAS_ERROR_INVALID_SIZE;
  if (strcmp(parameters->entryName, entry) != 0) return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  strcpy(parameters->phoneNumber, "5550100");
  return 0;
}

DWORD WINAPI RasDialA(void* extensions, const char* phonebook, RasDialParams* parameters,
                      DWORD notifierType, void* notifierFunction, UINT_PTR* connection) {
  Log("RasDialA %lu %s %lu %s", parameters->dwSize, parameters->entryName, notifierType,
      notifierFunction ? "notifier" : "none");
  if (extensions || phonebook || !connection) return ERROR_INVALID_PARAMETER;
  if (parameters->dwSize != sizeof *parameters) return RAS_ERROR_INVALID_SIZE;
  *connection = 0x333;
  notifier = (RasDialNotifier)notifierFunction;
  return forcedDial;
}

DWORD WINAPI RasGetErrorStringA(UINT error, char* text, DWORD size) {
  Log("RasGetErrorStringA %u", error);
  _snprintf(text, size, "Fake failure %u", error);
  return 0;
}

void WINAPI FakeRasReset(void) {
  connectionCount = forcedEnumeration = forcedDial = 0;
  entry[0] = callLog[0] = 0;
  notifier = NULL;
}

void WINAPI FakeRasSetConnections(const UINT_PTR* handles, DWORD count) {
  connectionCount = count < 8 ? count : 8;
  if (connectionCount) memcpy(connections, handles, connectionCount * sizeof *handles);
}

void WINAPI FakeRasSetEntry(const char* name) { strncpy(entry, name, sizeof entry - 1); }

/* Answers forced on RasEnumConnectionsA (asking one more record each time)
   and RasDialA (after handing out its connection); 0 for none. */
void WINAPI FakeRasForce(DWORD enumeration, DWORD dial) {
  forcedEnumeration = enumeration;
  forcedDial = dial;
}

const char* WINAPI FakeRasLog(void) { return callLog; }

/* Calls the last dial's notifier on the caller's thread. */
BOOL WINAPI FakeRasNotify(DWORD state, DWORD error) {
  if (notifier) notifier(0xCCCD, state, error);
  return notifier != NULL;
}
