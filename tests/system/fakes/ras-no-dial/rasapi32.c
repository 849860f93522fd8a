/* The test Remote Access library with RasDialA left out of its exports. */
#include "tests/system/fakes/ras/rasapi32.c"
