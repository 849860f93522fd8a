// The program the crash tests kill. It works on a database file through the
// Win32 adapter and ends itself with TerminateProcess at a named step of a
// commit, a rollback or a recovery, or runs transactions until the test
// kills it.
//
//   dbstore_crash_child <database> commit|rollback journal|first|middle|last|header
//   dbstore_crash_child <database> recover <image index>
//   dbstore_crash_child <database> loop <first transaction number> <log file>
//
// Exit codes: 7 killed at the step, 0 finished without meeting it, 2 failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/database/dbstore_crash_scenario.h"

namespace {

constexpr UINT kKilled = 7;

DBWriteStep wantedStep;
uint32_t wantedIndex = 0;
const char* wantedPlace = "";

void KillAtStep(DBWriteStep step, uint32_t index, uint32_t count) {
  if (step != wantedStep) return;
  const std::string place = wantedPlace;
  bool here = true;
  if (place == "first") here = index == 0;
  if (place == "middle") here = index == count / 2;
  if (place == "last") here = index + 1 == count;
  if (step == DBWriteStep::kRecoveryImageWritten) here = index == wantedIndex;
  if (here) TerminateProcess(GetCurrentProcess(), kKilled);
}

DBWriteStep StepOf(bool rollback, const std::string& place) {
  if (place == "journal")
    return rollback ? DBWriteStep::kRollbackJournalFlushed : DBWriteStep::kCommitJournalFlushed;
  if (place == "header")
    return rollback ? DBWriteStep::kRollbackHeaderWritten : DBWriteStep::kCommitHeaderWritten;
  return rollback ? DBWriteStep::kRollbackPageWritten : DBWriteStep::kCommitPageWritten;
}

void AppendLine(HANDLE log, const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(log, text.data(), DWORD(text.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const StringRef path = StringRef::Adopt(StringFromASCII(argv[1]));
  const std::string mode = argv[2];
  DBStorageAdapter& storage = Win32DatabaseStorage();

  if (mode == "recover") {
    wantedStep = DBWriteStep::kRecoveryImageWritten;
    wantedIndex = uint32_t(std::atoi(argv[3]));
    SetDBWriteStepHook(KillAtStep);
    DBFile* db = OpenDatabaseFileAt(path.get(), storage);
    return db && CloseDatabaseFile(db) ? 0 : 2;
  }

  DBFile* db = OpenDatabaseFileAt(path.get(), storage);
  if (!db) return 2;
  if (mode == "loop" && argc >= 5) {
    HANDLE log = CreateFileA(argv[4], FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    for (int32_t n = std::atoi(argv[3]);; ++n) {
      crash_scenario::LoopTransaction(*db, n);
      AppendLine(log, "begin " + std::to_string(n));
      if (!db->CommitTransaction()) return 2;
      AppendLine(log, "done " + std::to_string(n));
    }
  }

  const bool rollback = mode == "rollback";
  wantedPlace = argv[3];
  wantedStep = StepOf(rollback, wantedPlace);
  crash_scenario::ChangeRows(*db);
  SetDBWriteStepHook(KillAtStep);
  const bool finished = rollback ? db->RollbackTransaction() : db->CommitTransaction();
  return finished && CloseDatabaseFile(db) ? 0 : 2;
}
