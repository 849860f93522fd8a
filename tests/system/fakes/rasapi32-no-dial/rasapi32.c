/* The fake Remote Access library without RasDialA. */
#define FAKE_RAS_NO_DIAL
#include "../ras/rasapi32.c"
