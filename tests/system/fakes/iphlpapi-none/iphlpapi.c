/* Exports one function of no use, so that the library is a plain DLL. */
#include <windows.h>

DWORD WINAPI FakeNoInterfaceFunctions(void) { return ERROR_NOT_SUPPORTED; }
