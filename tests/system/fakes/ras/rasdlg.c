/* A Remote Access dialog library for tests: RasPhonebookDlgA answers what
   FakeRasDlgAnswer set (FALSE at first), or FALSE for a record of the wrong
   size. */
#include "system/RasRecords.h"

static BOOL answer;

BOOL WINAPI RasPhonebookDlgA(const char* phonebook, const char* entry, RasPhonebookDialog* info) {
  return !phonebook && !entry && info->dwSize == sizeof *info && answer;
}

void WINAPI FakeRasDlgAnswer(BOOL value) { answer = value; }
