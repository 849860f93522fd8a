/* An IP helper library with GetNumberOfInterfaces only: it answers the count
   in FAKE_INTERFACE_COUNT, or fails when that reads "fail". */
#include <winsock2.h>
#include <windows.h>
#include <stdlib.h>
#include <string.h>

DWORD WINAPI GetNumberOfInterfaces(PDWORD count) {
  const char* answer = getenv("FAKE_INTERFACE_COUNT");
  if (!count || !answer || strcmp(answer, "fail") == 0) return ERROR_NOT_SUPPORTED;
  *count = (DWORD)atoi(answer);
  return NO_ERROR;
}
