// The storage core on real files through the Win32 adapter: the lock of a
// second opener, the read-only attribute, and a child process killed inside
// commits, rollbacks, recovery, a loop of transactions, the first commit of
// a new file (also of an engine database), and with a spool file open.
#include <windows.h>

#include <fstream>
#include <random>

#include "core/string.h"
#include "tests/database/dbengine_support.h"

namespace {

using crash_scenario::AfterChangeRows;
using crash_scenario::AfterFillNewTable;
using crash_scenario::AfterLoopTransactions;

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class DbstoreCrash : public StoreTest, public EngineLists {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    folder_ = std::wstring(temp, length) + L"dbstore_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\data.db";
    wchar_t self[MAX_PATH + 1];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    child_ = std::wstring(self, selfLength);
    child_ = child_.substr(0, child_.find_last_of(L'\\') + 1) + L"dbstore_crash_child.exe";
  }
  void TearDown() override {
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::wstring& file : {path_, Journal(), Log()}) DeleteFileW(file.c_str());
    RemoveDirectoryW(folder_.c_str());
    StoreTest::TearDown();
  }

  std::wstring Journal() const { return path_ + L"-journal"; }
  bool AnySpoolFile() const {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\kvt*.tmp").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return search != INVALID_HANDLE_VALUE;
  }
  void DeleteDatabase() {
    for (const std::wstring& file : {path_, Journal()}) DeleteFileW(file.c_str());
  }
  std::wstring Log() const { return folder_ + L"\\log.txt"; }
  static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
  StringRef Path() const {
    return StringRef::Adopt(
        StringFromUTF16(reinterpret_cast<const uint16_t*>(path_.data()), int32_t(path_.size())));
  }
  DBFile* Open() {
    DBStorageError error;
    DBFile* db = OpenDatabaseFileAt(Path().get(), Win32DatabaseStorage(), &error);
    if (!db) ADD_FAILURE() << "open: " << error.code;
    return db;
  }
  // The committed test table with rows 0, 3, 6 ... of 150 bytes.
  Rows MakeBase() {
    DBFile* db = CreateDatabaseFileAt(Path().get(), Win32DatabaseStorage());
    EXPECT_TRUE(db && CreateTableTree(*db, kTable));
    for (int32_t key = 0; key < 60; ++key) EXPECT_EQ(0, Insert(*db, key * 3, std::string(150, 'b')));
    const Rows rows = ReadRows(*db);
    EXPECT_TRUE(CloseDatabaseFile(db));
    base_ = ReadFileBytes(path_);
    return rows;
  }
  void RestoreBase() {
    DeleteFileW(Journal().c_str());
    std::ofstream out(path_.c_str(), std::ios::binary | std::ios::trunc);
    out.write(base_.data(), std::streamsize(base_.size()));
  }
  // Opens (recovering), checks every page and reads the rows; no journal
  // may be left.
  Rows RowsAfterCrash() {
    DBFile* db = Open();
    if (!db) return {};
    EXPECT_TRUE(WalkAll(*db));
    const Rows rows = ReadRows(*db);
    EXPECT_TRUE(CloseDatabaseFile(db));
    EXPECT_FALSE(FileExists(Journal()));
    return rows;
  }
  // Runs the child with the arguments after the database path; kills it
  // after killAfterMs when given. Its exit code.
  DWORD RunChild(const std::string& arguments, DWORD killAfterMs = 60000) {
    std::wstring command = L"\"" + child_ + L"\" \"" + path_ + L"\" ";
    command += std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return ~0u;
    if (WaitForSingleObject(process.hProcess, killAfterMs) == WAIT_TIMEOUT)
      TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }

  std::wstring folder_, path_, child_;
  std::string base_;
};

TEST_F(DbstoreCrash, SecondOpenerAndReadOnlyAttributeOnlyRead) {
  const Rows rows = MakeBase();
  DBFile* writer = Open();
  DBFile* second = Open();
  ASSERT_TRUE(writer && second);
  EXPECT_FALSE(writer->IsReadOnly());
  EXPECT_TRUE(second->IsReadOnly());
  EXPECT_TRUE(SameRows(rows, ReadRows(*second)));
  EXPECT_EQ(kDBErrorReadOnly, Insert(*second, 1, "second"));
  EXPECT_TRUE(CloseDatabaseFile(second));
  EXPECT_EQ(0, Insert(*writer, 1, "writer"));
  EXPECT_TRUE(CloseDatabaseFile(writer));
  const std::string written = ReadFileBytes(path_);

  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  DBFile* readOnly = Open();
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(rows.size() + 1, ReadRows(*readOnly).size());
  EXPECT_EQ(kDBErrorReadOnly, Insert(*readOnly, 2, "refused"));
  EXPECT_TRUE(CloseDatabaseFile(readOnly));
  EXPECT_TRUE(written == ReadFileBytes(path_));
}

TEST_F(DbstoreCrash, KilledAtEachStepOfCommitAndRollback) {
  const Rows before = MakeBase();
  const Rows after = AfterChangeRows(before);
  for (const char* mode : {"commit", "rollback"}) {
    for (const char* place : {"journal", "first", "middle", "last", "header"}) {
      SCOPED_TRACE(std::string(mode) + " " + place);
      RestoreBase();
      ASSERT_EQ(7u, RunChild(std::string(mode) + " " + place));
      const bool committed = std::string(mode) == "commit" && std::string(place) == "header";
      EXPECT_TRUE(SameRows(committed ? after : before, RowsAfterCrash()));
    }
  }
  // Killed again while recovering: the next open finishes the recovery.
  RestoreBase();
  ASSERT_EQ(7u, RunChild("commit middle"));
  ASSERT_TRUE(FileExists(Journal()));
  ASSERT_EQ(7u, RunChild("recover 0"));
  EXPECT_TRUE(SameRows(before, RowsAfterCrash()));
}

// The step places of a first commit: its journal, then each page write
// until the child runs past the last one (exit code 0).
template <class Check>
void KillAtEachStepOfAFirstCommit(const Check& check) {
  for (uint32_t step = 0;; ++step) {
    const std::string place = step == 0 ? "journal" : std::to_string(step - 1);
    SCOPED_TRACE(place);
    const DWORD code = check(place);
    if (code == 0) {
      EXPECT_GT(step, 4u);
      return;
    }
    ASSERT_EQ(7u, code);
  }
}

TEST_F(DbstoreCrash, KilledInTheFirstCommitOfANewFile) {
  KillAtEachStepOfAFirstCommit([&](const std::string& place) {
    DeleteDatabase();
    const DWORD code = RunChild("new " + place);
    if (code != 7) return code;
    // The empty database: a bare header, which takes a table and rows.
    DBFile* db = Open();
    EXPECT_TRUE(db && db->PageCount() == 0 && WalkAll(*db));
    EXPECT_TRUE(db && CreateTableTree(*db, kTable));
    EXPECT_TRUE(db && Insert(*db, 5, "five") == 0);
    EXPECT_TRUE(CloseDatabaseFile(db));
    EXPECT_TRUE(SameRows({{5, "five"}}, RowsAfterCrash()));
    return code;
  });
  DeleteDatabase();
  ASSERT_EQ(7u, RunChild("new header"));
  EXPECT_TRUE(SameRows(AfterFillNewTable(), RowsAfterCrash()));
}

TEST_F(DbstoreCrash, KilledWhileMakingAnEngineDatabase) {
  const auto open = [&] {
    DBStorageError error;
    DBEngineDatabase* db = OpenEngineDatabaseAt(Path().get(), Win32DatabaseStorage(), &error);
    EXPECT_TRUE(db) << error.code;
    return db;
  };
  KillAtEachStepOfAFirstCommit([&](const std::string& place) {
    DeleteDatabase();
    const DWORD code = RunChild("engine-new " + place);
    if (code != 7) return code;
    // The database as made: a table and rows can be added and read back.
    DBEngineDatabase* db = open();
    if (!db) return code;
    EXPECT_TRUE(CreateTable(*db, S("t"), Columns({{"id", kDBInteger}, {"name", kDBVarChar}}), nullptr, 0));
    EXPECT_TRUE(InsertRow(*db, S("t"), Values({{"id", "1"}, {"name", "one"}})));
    EXPECT_TRUE(CloseEngineDatabase(db));
    db = open();
    if (!db) return code;
    EXPECT_EQ(std::vector<std::string>{"1|one"}, RowTexts(OpenTableCursor(*db, S("t"), All(), nullptr)));
    EXPECT_TRUE(CloseEngineDatabase(db));
    EXPECT_FALSE(FileExists(Journal()));
    return code;
  });
}

// The child's temporary folder is the test's own; the spool's file goes
// with the killed process.
TEST_F(DbstoreCrash, KilledWithASpoolFileOpen) {
  MakeBase();
  wchar_t saved[2][MAX_PATH + 1];
  const wchar_t* names[2] = {L"TMP", L"TEMP"};
  DWORD lengths[2];
  for (int i = 0; i < 2; ++i) {
    lengths[i] = GetEnvironmentVariableW(names[i], saved[i], MAX_PATH + 1);
    SetEnvironmentVariableW(names[i], folder_.c_str());
  }
  const DWORD code = RunChild("spool");
  for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(names[i], lengths[i] ? saved[i] : nullptr);
  ASSERT_EQ(7u, code);
  EXPECT_FALSE(AnySpoolFile());
}

// The last transaction number on a "begin" and on a "done" line of the log.
void ReadLog(const std::wstring& path, int32_t* begun, int32_t* done) {
  std::ifstream in(path.c_str());
  std::string word;
  int32_t number = 0;
  while (in >> word >> number) (word == "done" ? *done : *begun) = number;
}

TEST_F(DbstoreCrash, RandomKillsOfATransactionLoop) {
  DBFile* db = CreateDatabaseFileAt(Path().get(), Win32DatabaseStorage());
  ASSERT_TRUE(db && CreateTableTree(*db, kTable));
  ASSERT_TRUE(CloseDatabaseFile(db));
  std::mt19937 random(77);
  int32_t committed = 0;
  for (int kill = 0; kill < 100; ++kill) {
    SCOPED_TRACE(kill);
    DeleteFileW(Log().c_str());
    RunChild("loop " + std::to_string(committed + 1) + " " + Narrow(Log()),
             DWORD(50 + random() % 400));
    int32_t begun = committed, done = committed;
    ReadLog(Log(), &begun, &done);
    const Rows rows = RowsAfterCrash();
    if (SameRows(AfterLoopTransactions(done), rows)) {
      committed = done;
    } else if (begun > done && SameRows(AfterLoopTransactions(begun), rows)) {
      committed = begun;  // killed after its header write, before the log line
    } else {
      FAIL() << "rows of no commit: " << SameRows(AfterLoopTransactions(done), rows);
    }
  }
  EXPECT_GT(committed, 10);
}

}  // namespace
