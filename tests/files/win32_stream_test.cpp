// The file stream on real files: positions and lengths, refusals, the full
// target, large files, paths and sharing.
#include "FilesTestSupport.h"
#include "host/RuntimeMain.h"

namespace {

using Win32StreamTest = FilesTest;

std::string ReadAt(FileStream& stream, int32_t position, int32_t count) {
  std::string bytes(size_t(count), '\0');
  int32_t got = -1;
  EXPECT_TRUE(stream.SetPosition(position));
  EXPECT_TRUE(stream.Read(&bytes[0], count, &got));
  bytes.resize(size_t(got < 0 ? 0 : got));
  return bytes;
}

TEST_F(Win32StreamTest, PositionPastTheEndReadsNothingAndWritingFillsTheGap) {
  auto stream = StreamOn(L"gap.bin", "hello");
  ASSERT_TRUE(stream->SetPosition(15));
  EXPECT_EQ(stream->GetPosition(), 15);
  EXPECT_EQ(stream->GetLength(), 5);
  EXPECT_TRUE(stream->IsEOF());
  char byte = 'x';
  int32_t got = -1;
  EXPECT_TRUE(stream->Read(&byte, 1, &got));
  EXPECT_EQ(got, 0);
  ASSERT_TRUE(stream->Write("AB", 2));
  EXPECT_EQ(stream->GetLength(), 17);
  EXPECT_EQ(ReadWholeFile(PathOf(L"gap.bin")), "hello" + std::string(10, '\0') + "AB");
}

TEST_F(Win32StreamTest, RefusedPositionLeavesTheOldOneForTheNextWrite) {
  auto stream = StreamOn(L"negative.bin", "abcdef");
  ASSERT_TRUE(stream->SetPosition(2));
  EXPECT_FALSE(stream->SetPosition(-5));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(stream->GetPosition(), 2);
  ASSERT_TRUE(stream->Write("X", 1));
  EXPECT_EQ(ReadWholeFile(PathOf(L"negative.bin")), "abXdef");
}

TEST_F(Win32StreamTest, NegativeLengthChangesNothing) {
  auto stream = StreamOn(L"length.bin", "abcdef");
  ASSERT_TRUE(stream->SetPosition(3));
  EXPECT_FALSE(stream->SetLength(-1));
  EXPECT_EQ(stream->GetLength(), 6);
  EXPECT_EQ(stream->GetPosition(), 3);
  EXPECT_EQ(ReadWholeFile(PathOf(L"length.bin")), "abcdef");
}

TEST_F(Win32StreamTest, SetLengthKeepsThePosition) {
  auto stream = StreamOn(L"cut.bin", "abcdef");
  ASSERT_TRUE(stream->SetPosition(4));
  ASSERT_TRUE(stream->SetLength(2));
  EXPECT_EQ(stream->GetPosition(), 4);
  EXPECT_EQ(stream->GetLength(), 2);
  EXPECT_TRUE(stream->IsEOF());
  EXPECT_EQ(ReadWholeFile(PathOf(L"cut.bin")), "ab");

  ASSERT_TRUE(stream->SetLength(5));
  EXPECT_EQ(stream->GetPosition(), 4);
  EXPECT_FALSE(stream->IsEOF());
  EXPECT_EQ(ReadWholeFile(PathOf(L"cut.bin")), std::string("ab\0\0\0", 5));
}

TEST_F(Win32StreamTest, ReadOnlyOpenRefusesWritesAndLengthChanges) {
  auto stream = StreamOn(L"readonly.bin", "keep", kFileStreamReadOnly);
  EXPECT_FALSE(stream->Write("XY", 2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(stream->SetLength(1));
  EXPECT_EQ(stream->GetLength(), 4);
  EXPECT_EQ(stream->GetPosition(), 0);
  EXPECT_EQ(ReadAt(*stream, 0, 10), "keep");
  EXPECT_EQ(ReadWholeFile(PathOf(L"readonly.bin")), "keep");
}

TEST_F(Win32StreamTest, FailedOpenLeavesNothingToClose) {
  auto stream = NewFileStream();
  EXPECT_FALSE(stream->Open(PathString(L"missing.bin").get(), kFileStreamReadWrite));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(stream->Close());
  EXPECT_EQ(stream->SystemHandle(), nullptr);
  EXPECT_TRUE(stream->Close());
  // A closed stream is at its end, and its transfers fail.
  EXPECT_TRUE(stream->IsEOF());
  EXPECT_EQ(stream->GetLength(), -1);
  EXPECT_EQ(stream->GetPosition(), -1);
  char byte;
  EXPECT_FALSE(stream->Read(&byte, 1, nullptr));
  EXPECT_FALSE(stream->Write("x", 1));
}

TEST_F(Win32StreamTest, CreateEmptiesAnExistingFileAndReopeningClosesTheFirst) {
  WriteWholeFile(PathOf(L"old.bin"), "old contents");
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->Create(PathString(L"old.bin").get()));
  EXPECT_EQ(stream->GetLength(), 0);
  ASSERT_TRUE(stream->Write("new", 3));
  WriteWholeFile(PathOf(L"other.bin"), "other");
  ASSERT_TRUE(stream->Open(PathString(L"other.bin").get(), kFileStreamReadWrite));
  EXPECT_EQ(ReadAt(*stream, 0, 10), "other");
  // The first file is no longer held: it can be opened without sharing.
  HANDLE exclusive = CreateFileW(PathOf(L"old.bin").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  EXPECT_EQ(ReadWholeFile(PathOf(L"old.bin")), "new");
}

TEST_F(Win32StreamTest, DestroyingTheStreamClosesTheFile) {
  StreamOn(L"closed.bin", "x").reset();
  HANDLE exclusive = CreateFileW(PathOf(L"closed.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
}

TEST_F(Win32StreamTest, CountsBelowOneTransferNothing) {
  auto stream = StreamOn(L"counts.bin", "abc");
  char buffer[4] = {'q', 'q', 'q', 'q'};
  int32_t got = 7;
  EXPECT_FALSE(stream->Read(buffer, -1, &got));
  EXPECT_EQ(got, 0);
  got = 7;
  EXPECT_TRUE(stream->Read(buffer, 0, &got));
  EXPECT_EQ(got, 0);
  EXPECT_EQ(buffer[0], 'q');
  EXPECT_FALSE(stream->Write("zz", -2));
  EXPECT_TRUE(stream->Write("zz", 0));
  EXPECT_EQ(stream->GetPosition(), 0);
  EXPECT_EQ(ReadWholeFile(PathOf(L"counts.bin")), "abc");
}

// Without read-ahead, what one stream writes is what the other reads next.
TEST_F(Win32StreamTest, TwoStreamsOnOneFileSeeEachOthersWrites) {
  auto writer = StreamOn(L"shared.bin", "0123456789");
  auto reader = NewFileStream();
  ASSERT_TRUE(reader->Open(PathString(L"shared.bin").get(), kFileStreamReadWrite));
  EXPECT_EQ(ReadAt(*reader, 0, 2), "01");
  ASSERT_TRUE(writer->SetPosition(2));
  ASSERT_TRUE(writer->Write("AB", 2));
  char next[2];
  int32_t got = 0;
  ASSERT_TRUE(reader->Read(next, 2, &got));
  EXPECT_EQ(std::string(next, size_t(got)), "AB");
}

TEST_F(Win32StreamTest, WriteToAFullTargetFails) {
  auto stream = NewFileStream();
  StringRef full = StringRef::Adopt(StringFromASCII("Z:\\dev\\full"));
  if (!stream->Open(full.get(), kFileStreamReadWrite)) {
    GTEST_SKIP() << "Z:\\dev\\full is not available here";
  }
  EXPECT_FALSE(stream->Write("12345", 5));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
}

// A non-blocking pipe takes what fits and reports success: a write the
// system calls complete but short must not pass for a full one.
TEST_F(Win32StreamTest, ShortWriteIsAFailure) {
  const std::wstring name = L"\\\\.\\pipe\\files_tests_" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT,
                                   1, 16, 16, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no named pipes here";
  auto stream = NewFileStream();
  StringRef path = StringRef::Adopt(StringFromUTF8(Utf8Of(name)));
  ASSERT_TRUE(stream->Open(path.get(), kFileStreamReadWrite));
  DWORD mode = PIPE_NOWAIT;
  ASSERT_TRUE(SetNamedPipeHandleState(stream->SystemHandle(), &mode, nullptr, nullptr));
  const std::string block(100000, 'p');
  EXPECT_FALSE(stream->Write(block.data(), int32_t(block.size())));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  stream->Close();
  CloseHandle(server);
}

// Past 2 GiB lengths and positions read -1 rather than a wrapped value, and
// IsEOF still tells where the real end is.
TEST_F(Win32StreamTest, FileOfFiveGibibytes) {
  const std::wstring path = PathOf(L"large.bin");
  if (!MakeSparseFile(path, 5LL << 30)) GTEST_SKIP() << "no room for a sparse 5 GiB file";
  {
    auto stream = NewFileStream();
    ASSERT_TRUE(stream->Open(PathString(L"large.bin").get(), kFileStreamReadOnly));
    EXPECT_EQ(stream->GetLength(), -1);
    EXPECT_FALSE(stream->IsEOF());
    EXPECT_EQ(ReadAt(*stream, 1000, 4), std::string(4, '\0'));

    LARGE_INTEGER nearEnd;
    nearEnd.QuadPart = (5LL << 30) - 4;
    ASSERT_TRUE(SetFilePointerEx(stream->SystemHandle(), nearEnd, nullptr, FILE_BEGIN));
    EXPECT_EQ(stream->GetPosition(), -1);
    EXPECT_FALSE(stream->IsEOF());
    int32_t value = 1;
    EXPECT_TRUE(ByteStreamReadLong(*stream, &value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(stream->IsEOF());
  }
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(Win32StreamTest, NonASCIINameIsCreatedExactly) {
  const std::wstring name = L"\u03A9mega.txt";
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->Create(PathString(name).get()));
  ASSERT_TRUE(stream->Write("x", 1));
  stream->Close();
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((Folder() + L"\\*.txt").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::wstring(found.cFileName), name);
  EXPECT_FALSE(FindNextFileW(search, &found));
  FindClose(search);
}

TEST_F(Win32StreamTest, PathsInOtherEncodingsAreConvertedByTheirOwn) {
  // "é.txt" in Windows Latin-1 names the same file as in UTF-8.
  const char latin1[] = {'\xE9', '.', 't', 'x', 't'};
  StringRef name =
      StringRef::Adopt(StringFromUTF8(Utf8Of(Folder() + L"\\")));
  StringRef path = StringRef::Adopt(StringConcat(
      name.get(), StringRef::Adopt(NewString(latin1, sizeof latin1, kEncodingWindowsLatin1)).get()));
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->Create(path.get()));
  stream->Close();
  EXPECT_TRUE(FileExists(PathOf(L"\u00E9.txt")));
}

TEST_F(Win32StreamTest, PathWithANulIsRefused) {
  WriteWholeFile(PathOf(L"a"), "x");
  StringRef utf8 = StringRef::Adopt(StringFromUTF8(Utf8Of(PathOf(L"a"))));
  StringRef withNul = StringRef::Adopt(StringPlusByte(utf8.get(), 0));
  StringRef path = StringRef::Adopt(StringConcat(withNul.get(), StringRef::Adopt(StringFromASCII("b")).get()));
  auto stream = NewFileStream();
  EXPECT_FALSE(stream->Open(path.get(), kFileStreamReadWrite));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
}

TEST_F(Win32StreamTest, AnsiPathsWhenTheSystemIsNotNT) {
  OverrideWindowsNT(0);
  auto stream = NewFileStream();
  const bool created = stream->Create(PathString(L"ansi.bin").get());
  const bool written = created && stream->Write("ansi", 4);
  const bool opened = stream->Open(PathString(L"ansi.bin").get(), kFileStreamReadOnly);
  const bool temporary = stream->OpenTemporary(PathString(L"ansi.bin").get());
  stream->Close();
  auto unnamed = NewFileStream();
  const bool unnamedTemporary = unnamed->OpenTemporary(nullptr);
  unnamed->Close();
  OverrideWindowsNT(-1);
  EXPECT_TRUE(created);
  EXPECT_TRUE(written);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(temporary);
  EXPECT_TRUE(unnamedTemporary);
  EXPECT_FALSE(FileExists(PathOf(L"ansi.bin")));
}

}  // namespace
