/* WSAStartup that fails on demand. */
#include <winsock2.h>
#include <stdlib.h>

int WINAPI FakeWSAStartup(WORD version, LPWSADATA data) {
  const char* result = getenv("FAKE_WSASTARTUP_RESULT");
  if (result && *result) return atoi(result);
  return WSAStartup(version, data);
}
