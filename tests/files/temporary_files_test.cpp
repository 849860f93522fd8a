// Temporary data files: where they are made, when they disappear, and their
// shutdown hook.
#include <vector>

#include "FilesTestSupport.h"
#include "host/RuntimeMain.h"

namespace {

// The temporary folder as GetTempPathW gives it, without its last backslash.
std::wstring SystemTemporaryFolder() {
  const std::wstring folder = TempFolder();
  return folder.substr(0, folder.size() - 1);
}

std::vector<std::wstring> KvtFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\kvt*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// Points TMP and TEMP of this process at a folder, and back when destroyed.
class TemporaryFolderOverride {
 public:
  explicit TemporaryFolderOverride(const std::wstring& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH + 1];
      const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
      saved_.push_back({name, length ? std::wstring(value, length) : std::wstring(), length != 0});
      SetEnvironmentVariableW(name, folder.c_str());
    }
  }
  ~TemporaryFolderOverride() {
    for (const Saved& saved : saved_)
      SetEnvironmentVariableW(saved.name, saved.existed ? saved.value.c_str() : nullptr);
  }

 private:
  struct Saved {
    const wchar_t* name;
    std::wstring value;
    bool existed;
  };
  std::vector<Saved> saved_;
};

class Probe : public ShutdownHook {
 public:
  explicit Probe(int* runs) : ShutdownHook("Probe"), runs_(runs) {}
  ~Probe() override { ++*runs_; }

 private:
  int* runs_;
};

using TemporaryFileTest = FilesTest;

TEST_F(TemporaryFileTest, UnnamedFileIsMadeInTheTemporaryFolderAndGoneAtClose) {
  const std::vector<std::wstring> before = KvtFiles(SystemTemporaryFolder());
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->OpenTemporary(nullptr));
  std::vector<std::wstring> during = KvtFiles(SystemTemporaryFolder());
  ASSERT_EQ(during.size(), before.size() + 1);
  EXPECT_TRUE(stream->HasCleaner());
  ASSERT_TRUE(stream->Write("data", 4));
  EXPECT_EQ(stream->GetLength(), 4);
  EXPECT_TRUE(stream->Close());
  EXPECT_FALSE(stream->HasCleaner());
  EXPECT_EQ(KvtFiles(SystemTemporaryFolder()).size(), before.size());
}

TEST_F(TemporaryFileTest, FolderNamedOutsideTheCodePageWorks) {
  const std::wstring folder = PathOf(L"\u03A9mega");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  TemporaryFolderOverride redirect(folder);
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->OpenTemporary(nullptr));
  const std::vector<std::wstring> made = KvtFiles(folder);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].substr(0, 3), L"kvt");
  stream.reset();
  EXPECT_TRUE(KvtFiles(folder).empty());
}

TEST_F(TemporaryFileTest, MissingFolderIsAFailureThatLeavesNoFile) {
  TemporaryFolderOverride redirect(PathOf(L"missing"));
  auto stream = NewFileStream();
  EXPECT_FALSE(stream->OpenTemporary(nullptr));
  EXPECT_FALSE(stream->HasCleaner());
  EXPECT_TRUE(stream->Close());
  EXPECT_FALSE(FileExists(PathOf(L"missing")));
  EXPECT_TRUE(KvtFiles(Folder()).empty());
}

TEST_F(TemporaryFileTest, NamedFileIsDeletedAtClose) {
  WriteWholeFile(PathOf(L"named.dat"), "abc");
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->OpenTemporary(PathString(L"named.dat").get()));
  int32_t got = 0;
  char bytes[4];
  ASSERT_TRUE(stream->Read(bytes, 4, &got));
  EXPECT_EQ(std::string(bytes, size_t(got)), "abc");
  EXPECT_TRUE(FileExists(PathOf(L"named.dat")));
  stream->Close();
  EXPECT_FALSE(FileExists(PathOf(L"named.dat")));

  EXPECT_FALSE(stream->OpenTemporary(PathString(L"named.dat").get()));
  EXPECT_FALSE(stream->HasCleaner());
}

TEST_F(TemporaryFileTest, CloseHandleOnlyKeepsTheCleanerUntilClose) {
  TemporaryFolderOverride redirect(Folder());
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->OpenTemporary(nullptr));
  stream->CloseHandleOnly();
  EXPECT_TRUE(KvtFiles(Folder()).empty());
  EXPECT_TRUE(stream->HasCleaner());
  EXPECT_TRUE(stream->Close());
  EXPECT_FALSE(stream->HasCleaner());
}

TEST_F(TemporaryFileTest, ReopeningDeletesTheFirstTemporaryFile) {
  TemporaryFolderOverride redirect(Folder());
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->OpenTemporary(nullptr));
  ASSERT_TRUE(stream->OpenTemporary(nullptr));
  EXPECT_EQ(KvtFiles(Folder()).size(), 1u);
  stream->Close();
  EXPECT_TRUE(KvtFiles(Folder()).empty());
}

// At the application's end the shutdown list closes the streams still open;
// the stream objects live on, closed.
TEST_F(TemporaryFileTest, ShutdownHooksCloseStreamsLeftOpen) {
  TemporaryFolderOverride redirect(Folder());
  int probeRuns = 0;
  new Probe(&probeRuns);
  auto closedFirst = NewFileStream();
  ASSERT_TRUE(closedFirst->OpenTemporary(nullptr));
  closedFirst->Close();
  closedFirst.reset();
  auto leftOpen = NewFileStream();
  ASSERT_TRUE(leftOpen->OpenTemporary(nullptr));
  new Probe(&probeRuns);
  ASSERT_EQ(KvtFiles(Folder()).size(), 1u);

  RunShutdownHooks();
  EXPECT_EQ(probeRuns, 2);
  EXPECT_TRUE(KvtFiles(Folder()).empty());
  EXPECT_FALSE(leftOpen->HasCleaner());
  EXPECT_EQ(leftOpen->SystemHandle(), nullptr);
  EXPECT_TRUE(leftOpen->Close());
  leftOpen.reset();
  RunShutdownHooks();
  EXPECT_EQ(probeRuns, 2);
}

}  // namespace
