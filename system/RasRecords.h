/* The records and functions of the Remote Access library ("RasApi32.dll",
   "RasDlg.dll") that dial-up uses: the A forms of the first version of the
   interface, whose sizes the library checks against each record's leading
   dwSize. Plain C, so that the test fakes of the libraries share them. */
#ifndef SYSTEM_RAS_RECORDS_H
#define SYSTEM_RAS_RECORDS_H
#include <windows.h>

#ifdef __cplusplus
#define RAS_RECORD_SIZE(record, size) static_assert(sizeof(record) == (size), #record)
extern "C" {
#else
#define RAS_RECORD_SIZE(record, size) _Static_assert(sizeof(record) == (size), #record)
#endif

#define RAS_ENTRY_NAME_FIELD 257 /* 256 characters and the NUL */
#define RAS_DEVICE_TYPE_FIELD 17
#define RAS_DEVICE_NAME_FIELD 129
#define RAS_PHONE_NUMBER_FIELD 129
#define RAS_USER_NAME_FIELD 257
#define RAS_PASSWORD_FIELD 257
#define RAS_DOMAIN_FIELD 16

enum {
  RAS_ERROR_BUFFER_TOO_SMALL = 603,
  RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623,
  RAS_ERROR_INVALID_SIZE = 632,
  RAS_ERROR_TEXT_BUFFER = 255,
  RAS_STATE_CONNECTED = 0x2000,
  RAS_STATE_DISCONNECTED = 0x2001
};

typedef struct RasConnection {
  DWORD dwSize;
  UINT_PTR handle; /* the library's HRASCONN */
  char entryName[RAS_ENTRY_NAME_FIELD];
  char deviceType[RAS_DEVICE_TYPE_FIELD];
  char deviceName[RAS_DEVICE_NAME_FIELD];
} RasConnection;
RAS_RECORD_SIZE(RasConnection, 412);

typedef struct RasEntryName {
  DWORD dwSize;
  char entryName[RAS_ENTRY_NAME_FIELD];
} RasEntryName;
RAS_RECORD_SIZE(RasEntryName, 264);

typedef struct RasDialParams {
  DWORD dwSize;
  char entryName[RAS_ENTRY_NAME_FIELD];
  char phoneNumber[RAS_PHONE_NUMBER_FIELD];
  char callbackNumber[RAS_PHONE_NUMBER_FIELD];
  char userName[RAS_USER_NAME_FIELD];
  char password[RAS_PASSWORD_FIELD];
  char domain[RAS_DOMAIN_FIELD];
} RasDialParams;
RAS_RECORD_SIZE(RasDialParams, 1052);

typedef struct RasPhonebookDialog {
  DWORD dwSize;
  HWND owner;
  DWORD flags;
  LONG x;
  LONG y;
  UINT_PTR callbackId;
  void* callback;
  DWORD error;
  UINT_PTR reserved;
  UINT_PTR reserved2;
} RasPhonebookDialog;
RAS_RECORD_SIZE(RasPhonebookDialog, 40);

typedef struct RasConnectionStatus {
  DWORD dwSize;
  DWORD state;
  DWORD error;
  char deviceType[RAS_DEVICE_TYPE_FIELD];
  char deviceName[RAS_DEVICE_NAME_FIELD];
} RasConnectionStatus;
RAS_RECORD_SIZE(RasConnectionStatus, 160);

/* The dial notifier of type 0: (message, connection state, error). */
typedef void(WINAPI* RasDialNotifier)(UINT message, DWORD state, DWORD error);

typedef DWORD(WINAPI* RasEnumConnectionsFunction)(RasConnection* connections, DWORD* bytes,
                                                  DWORD* count);
typedef DWORD(WINAPI* RasHangUpFunction)(UINT_PTR connection);
typedef DWORD(WINAPI* RasGetConnectStatusFunction)(UINT_PTR connection,
                                                   RasConnectionStatus* status);
typedef DWORD(WINAPI* RasEnumEntriesFunction)(const char* reserved, const char* phonebook,
                                              RasEntryName* entries, DWORD* bytes, DWORD* count);
typedef DWORD(WINAPI* RasGetEntryDialParamsFunction)(const char* phonebook,
                                                     RasDialParams* parameters,
                                                     BOOL* passwordSaved);
typedef DWORD(WINAPI* RasDialFunction)(void* extensions, const char* phonebook,
                                       RasDialParams* parameters, DWORD notifierType,
                                       void* notifier, UINT_PTR* connection);
typedef DWORD(WINAPI* RasGetErrorStringFunction)(UINT error, char* text, DWORD size);
typedef BOOL(WINAPI* RasPhonebookDlgFunction)(const char* phonebook, const char* entry,
                                              RasPhonebookDialog* info);

#ifdef __cplusplus
}
#endif
#endif
