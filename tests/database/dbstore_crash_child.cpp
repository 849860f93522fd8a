// The program the crash tests kill. It works on a database file through the
// Win32 adapter and ends itself with TerminateProcess at a named step of a
// commit, a rollback or a recovery, or runs transactions until the test
// kills it.
//
//   dbstore_crash_child <database> commit|rollback journal|first|middle|last|header|<n>
//   dbstore_crash_child <database> new|engine-new journal|header|<n>
//   dbstore_crash_child <database> recover <n>
//   dbstore_crash_child <database> loop <first transaction number> <log file>
//   dbstore_crash_child <database> spool
//
// <n> is the index (from 0) of a page write, or of an image written back.
// "new" makes the file with the test table and fills it in its first
// commit, "engine-new" makes an engine database; "spool" moves a row to a
// new key through a cursor, so that its update spool is a temporary file,
// and ends itself with the spool open.
//
// Exit codes: 7 killed at the step, 0 finished without meeting it, 2 failed,
// 3 no spool file to be seen.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "database/engine/EngineDatabase.h"
#include "tests/database/dbstore_crash_scenario.h"

namespace {

constexpr UINT kKilled = 7;

DBWriteStep wantedStep;
const char* wantedPlace = "";

void KillAtStep(DBWriteStep step, uint32_t index, uint32_t count) {
  if (step != wantedStep) return;
  const std::string place = wantedPlace;
  bool here = true;
  if (place == "first") here = index == 0;
  if (place == "middle") here = index == count / 2;
  if (place == "last") here = index + 1 == count;
  if (std::isdigit(static_cast<unsigned char>(place[0]))) here = index == uint32_t(std::atoi(wantedPlace));
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

bool MakeNewFile(const StringRecord* path, DBStorageAdapter& storage, bool engine) {
  if (engine) {
    DBEngineDatabase* database = CreateEngineDatabaseAt(path, storage);
    return database && CloseEngineDatabase(database);
  }
  DBFile* db = CreateDatabaseFileAt(path, storage);
  if (!db) return false;
  const bool filled = CreateTableTree(*db, crash_scenario::kTable) && crash_scenario::FillNewTable(*db);
  return CloseDatabaseFile(db) && filled;
}

bool SpoolFileExists() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((std::wstring(folder, length) + L"kvt*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

int EndWithSpoolOpen(DBFile& db) {
  std::unique_ptr<DBTreeCursor> cursor =
      OpenTableTree(db, crash_scenario::kTable, nullptr, 0, crash_scenario::kKeyed);
  std::vector<uint8_t> record;
  if (!cursor->NextMatching() || !crash_scenario::BuildTestRecord(db, 99999, "moved", &record) ||
      !UpdateCurrentRecord(*cursor, record.data(), record.size()))
    return 2;
  if (!SpoolFileExists()) return 3;
  TerminateProcess(GetCurrentProcess(), kKilled);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const StringRef path = StringRef::Adopt(StringFromASCII(argv[1]));
  const std::string mode = argv[2];
  DBStorageAdapter& storage = Win32DatabaseStorage();
  wantedPlace = argc >= 4 ? argv[3] : "";

  if (mode == "recover") {
    wantedStep = DBWriteStep::kRecoveryImageWritten;
    SetDBWriteStepHook(KillAtStep);
    DBFile* db = OpenDatabaseFileAt(path.get(), storage);
    return db && CloseDatabaseFile(db) ? 0 : 2;
  }
  if (mode == "new" || mode == "engine-new") {
    wantedStep = StepOf(false, wantedPlace);
    SetDBWriteStepHook(KillAtStep);
    return MakeNewFile(path.get(), storage, mode == "engine-new") ? 0 : 2;
  }

  DBFile* db = OpenDatabaseFileAt(path.get(), storage);
  if (!db) return 2;
  if (mode == "spool") return EndWithSpoolOpen(*db);
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
  wantedStep = StepOf(rollback, wantedPlace);
  crash_scenario::ChangeRows(*db);
  SetDBWriteStepHook(KillAtStep);
  const bool finished = rollback ? db->RollbackTransaction() : db->CommitTransaction();
  return finished && CloseDatabaseFile(db) ? 0 : 2;
}
