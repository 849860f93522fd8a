// Buffered streams and the world outside the process: another process
// writing the file between main-loop turns (the child is this test program,
// run with KV_STREAM_WRITER set, writing what its standard input asks), and
// a volume that fills up under a stream writing behind (a 1 MiB volume that
// small_volume.sh mounts, named by KV_SMALL_VOLUME).
#include <cstdio>
#include <cstring>
#include <string>

#include "FilesTestSupport.h"
#include "files/BinaryStream.h"
#include "files/BufferedStream.h"
#include "host/RunTimer.h"

namespace {

constexpr wchar_t kWriterVariable[] = L"KV_STREAM_WRITER";

// The bytes the child writes for a seed: the same in both processes.
std::string Pattern(size_t count, uint32_t seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = char((seed * 131 + i * 7 + i / 251) & 0xFF);
  return bytes;
}

// Writes count pattern bytes at the offset of the file, with its own handle.
bool WritePatternAt(const std::wstring& path, int64_t offset, size_t count, uint32_t seed) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string bytes = Pattern(count, seed);
  LARGE_INTEGER at;
  at.QuadPart = offset;
  DWORD written = 0;
  const bool done = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                    WriteFile(file, bytes.data(), DWORD(count), &written, nullptr) &&
                    written == count;
  CloseHandle(file);
  return done;
}

// A line of the child's standard input: "<offset> <count> <seed> <path>";
// false at the end of the input.
bool ReadCommand(HANDLE input, std::string* line) {
  line->clear();
  char c;
  DWORD got = 0;
  while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') return true;
    *line += c;
  }
  return false;
}

// Another process that writes into files when asked, one request at a time:
// each Write returns once the bytes are in the file.
class OtherProcess {
 public:
  OtherProcess() {
    const std::wstring event = L"kv_stream_writer_" + std::to_wstring(GetCurrentProcessId());
    done_ = CreateEventW(nullptr, FALSE, FALSE, event.c_str());
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE childInput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inherited, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring command = L"\"" + std::wstring(self, length) +
                           L"\" --gtest_color=no --gtest_filter=StreamWriterChild.*";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION made = {};
    SetEnvironmentVariableW(kWriterVariable, event.c_str());
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &made)) {
      CloseHandle(made.hThread);
      process_ = made.hProcess;
    }
    SetEnvironmentVariableW(kWriterVariable, nullptr);
    CloseHandle(childInput);
  }

  ~OtherProcess() {
    if (input_) CloseHandle(input_);  // the end of its input ends the child
    if (process_) {
      WaitForSingleObject(process_, 30000);
      CloseHandle(process_);
    }
    if (done_) CloseHandle(done_);
  }

  bool Started() const { return process_ != nullptr; }

  bool Write(const std::wstring& path, int64_t offset, size_t count, uint32_t seed) {
    const std::string line = std::to_string(offset) + " " + std::to_string(count) + " " +
                             std::to_string(seed) + " " + Utf8Of(path) + "\n";
    DWORD written = 0;
    return WriteFile(input_, line.data(), DWORD(line.size()), &written, nullptr) &&
           WaitForSingleObject(done_, 60000) == WAIT_OBJECT_0;
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;
  HANDLE done_ = nullptr;
};

class StreamWriterChild : public HostTest {};

class StreamTurnsTest : public FilesTest {
 protected:
  ObjectRef Opened(const std::wstring& name, int32_t mode) {
    auto stream = NewFileStream();
    EXPECT_TRUE(stream->Open(PathString(name).get(), mode));
    return ObjectRef::Adopt(NewBinaryStream(std::move(stream)));
  }
};

// Four bytes of the pattern as ReadLong (big-endian) gives them.
int32_t LongOf(const std::string& bytes, size_t at) {
  return int32_t(uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
                 uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3])));
}

}  // namespace

// The child's side: each line of its input written, then the event set.
TEST_F(StreamWriterChild, WritesWhatItIsAsked) {
  wchar_t event[256] = {};
  if (GetEnvironmentVariableW(kWriterVariable, event, 256) == 0) {
    GTEST_SKIP() << "run as a child by the stream turn tests";
  }
  HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, event);
  ASSERT_NE(done, nullptr);
  std::string line;
  while (ReadCommand(GetStdHandle(STD_INPUT_HANDLE), &line)) {
    long long offset = 0;
    unsigned count = 0, seed = 0;
    int used = 0;
    ASSERT_EQ(sscanf(line.c_str(), "%lld %u %u %n", &offset, &count, &seed, &used), 3) << line;
    const std::string path = line.substr(size_t(used));
    const std::u16string wide =
        encoding::UTF8ToUTF16(reinterpret_cast<const uint8_t*>(path.data()), path.size());
    EXPECT_TRUE(WritePatternAt(std::wstring(wide.begin(), wide.end()), offset, count, seed));
    SetEvent(done);
  }
  CloseHandle(done);
}

// A value read in a turn after another process wrote the file is the
// file's, also where this stream had read ahead before the turn.
TEST_F(StreamTurnsTest, AReadAfterATurnGivesWhatAnotherProcessWrote) {
  OtherProcess other;
  ASSERT_TRUE(other.Started());
  const std::string written = Pattern(2557, 2);

  // Read ahead to the end of a small file, then moved back within it.
  WriteWholeFile(PathOf(L"small.bin"), std::string(1193, '\0'));
  ObjectRef reader = Opened(L"small.bin", kFileStreamReadOnly);
  EXPECT_EQ(BinaryStreamReadLong(reader.get()), 0);
  BinaryStreamSetPosition(reader.get(), 0, 1188);
  ASSERT_TRUE(other.Write(PathOf(L"small.bin"), 9, 1877, 1));
  RuntimeTestEnvironment::RunTurns(1);
  BinaryStreamSetPosition(reader.get(), 0, 1188);
  EXPECT_EQ(BinaryStreamReadLong(reader.get()), LongOf(Pattern(1877, 1), 1188 - 9));

  // Written past the buffer's size, then read ahead near the end.
  WriteWholeFile(PathOf(L"large.bin"), "");
  ObjectRef both = Opened(L"large.bin", kFileStreamReadWrite);
  BinaryStreamWrite(both.get(), StringRef::Adopt(NewString(std::string(65538, 'w'), kEncodingNone)).get());
  BinaryStreamSetPosition(both.get(), 0, 65532);
  EXPECT_EQ(BinaryStreamReadShort(both.get()), 0x7777);
  ASSERT_TRUE(other.Write(PathOf(L"large.bin"), 65533, written.size(), 2));
  RuntimeTestEnvironment::RunTurns(1);
  BinaryStreamSetPosition(both.get(), 0, BinaryStreamGetPosition(both.get(), 0));
  const int32_t single = LongOf(written, 1);
  float expected;
  std::memcpy(&expected, &single, sizeof expected);
  EXPECT_EQ(BinaryStreamReadFloat(both.get()), double(expected));
  EXPECT_EQ(BinaryStreamGetLength(both.get(), 0), 65533 + int32_t(written.size()));
}

// A Timer reading a status file that another program rewrites in place
// sees each version, wherever it reads.
TEST_F(StreamTurnsTest, ATimerPollingAStatusFileSeesEachVersion) {
  OtherProcess other;
  ASSERT_TRUE(other.Started());
  const std::wstring path = PathOf(L"status.bin");
  WriteWholeFile(path, Pattern(64, 0));
  ObjectRef status = Opened(L"status.bin", kFileStreamReadOnly);

  class Poll : public PeriodicTask {
   public:
    explicit Poll(RuntimeObject* stream) : PeriodicTask(1), stream_(stream) {}
    void Run() override {
      BinaryStreamSetPosition(stream_, 0, 0);
      seen = BinaryStreamReadLong(stream_);
      BinaryStreamSetPosition(stream_, 0, 30);
      last = BinaryStreamReadLong(stream_);
    }
    int32_t seen = 0;
    int32_t last = 0;

   private:
    RuntimeObject* stream_;
  };
  Poll poll(status.get());
  for (uint32_t version = 1; version <= 3; ++version) {
    SCOPED_TRACE(version);
    const std::string bytes = Pattern(64, version);
    ASSERT_TRUE(other.Write(path, 0, bytes.size(), version));
    EXPECT_TRUE(RuntimeTestEnvironment::RunUntil(
        [&] { return poll.seen == LongOf(bytes, 0) && poll.last == LongOf(bytes, 30); }, 5000));
  }
}

// ---- A full volume ----------------------------------------------------------------------

class SmallVolumeTest : public OnSmallVolume<HostTest> {
 protected:
  SmallVolumeTest() : OnSmallVolume({L"full.bin", L"ballast.bin"}) {}
};

// A program writing on after its volume filled (it cannot see a failed
// Write): Position and Length are what reached the file, and when room
// comes back the next Write continues exactly at its end.
TEST_F(SmallVolumeTest, AfterAFailedWriteBehindTheStreamIsWhereTheFileEnds) {
  WriteWholeFile(PathOf(L"ballast.bin"), std::string(100000, 'b'));
  WriteWholeFile(PathOf(L"full.bin"), "");
  auto file = NewFileStream();
  ASSERT_TRUE(file->Open(StringRef::Adopt(StringFromUTF8(Utf8Of(PathOf(L"full.bin")))).get(),
                         kFileStreamReadWrite));
  ObjectRef stream = ObjectRef::Adopt(NewBinaryStream(std::move(file)));
  const StringRef record = StringRef::Adopt(NewString(Pattern(1000, 7), kEncodingNone));
  for (int32_t i = 0; i < 1100; ++i) BinaryStreamWrite(stream.get(), record.get());
  const std::string reached = ReadWholeFile(PathOf(L"full.bin"));
  ASSERT_GT(reached.size(), 0u);
  ASSERT_LT(reached.size(), 1100000u) << "the volume never filled";
  EXPECT_EQ(BinaryStreamGetPosition(stream.get(), 0), int32_t(reached.size()));
  EXPECT_EQ(BinaryStreamGetLength(stream.get(), 0), int32_t(reached.size()));
  EXPECT_TRUE(ReadWholeFile(PathOf(L"full.bin")) == reached);

  ASSERT_TRUE(DeleteFileW(PathOf(L"ballast.bin").c_str()));
  BinaryStreamWrite(stream.get(), StringRef::Adopt(StringFromASCII("tail")).get());
  BinaryStreamClose(stream.get());
  const std::string ended = ReadWholeFile(PathOf(L"full.bin"));
  EXPECT_EQ(ended.size(), reached.size() + 4);
  EXPECT_TRUE(ended == reached + "tail");
}
