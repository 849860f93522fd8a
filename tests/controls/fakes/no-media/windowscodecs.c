/* An imaging codecs library that serves no class: the machine whose imaging
   codecs are missing. */
#include <windows.h>

DWORD WINAPI FakeNoClassObjects(void) { return ERROR_NOT_SUPPORTED; }
