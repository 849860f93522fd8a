/* A Remote Access dialog library for tests: RasPhonebookDlgA answers what
   FakeRasDlgAnswer set (FALSE at first) and counts its calls; a record of
   the wrong size fails with 632. */
#include "system/RasRecords.h"

static BOOL answer;
static LONG calls;

BOOL WINAPI RasPhonebookDlgA(const char* phonebook, const char* entry, RasPhonebookDialog* info) {
  ++calls;
  if (phonebook || entry || !info) return FALSE;
  if (info->dwSize != sizeof *info) {
    info->error = RAS_ERROR_INVALID_SIZE;
    return FALSE;
  }
  return answer;
}

/* Sets the answer; gives the calls since the last setting. */
LONG WINAPI FakeRasDlgAnswer(BOOL value) {
  LONG made = calls;
  answer = value;
  calls = 0;
  return made;
}
