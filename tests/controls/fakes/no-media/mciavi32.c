/* A video driver library without the driver entry MCI calls: the machine
   whose video driver is missing. */
#include <windows.h>

DWORD WINAPI FakeNoDriverEntry(void) { return ERROR_NOT_SUPPORTED; }
