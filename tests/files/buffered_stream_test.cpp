// The streams' buffer layer: random operation sequences read back exactly as
// without it, failed deferred writes reported by the next operation, two
// streams on one file, and bytes on disk at the turn's end.
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "files/BinaryStream.h"
#include "files/BufferedStream.h"
#include "files/FolderItemImpWin32.h"
#include "files/TextStreams.h"
#include "files/runFolderItem.h"

namespace {

using Log = std::vector<std::string>;

// An instance over an in-memory copy of the bytes, its stream under a buffer
// of the given size (0: none, the reference).
InMemory MadeWithBuffer(RuntimeObject* (*make)(FileStreamPtr), const std::string& bytes,
                        int32_t bufferBytes) {
  const int32_t previous = SetStreamBufferSize(bufferBytes);
  InMemory made = InstanceOnMemory(make, bytes);
  SetStreamBufferSize(previous);
  return made;
}

std::string RandomBytes(std::mt19937& random, size_t count, const char* alphabet) {
  std::string bytes(count, '\0');
  const size_t letters = std::strlen(alphabet);
  for (char& byte : bytes) byte = alphabet[random() % letters];
  return bytes;
}

std::string Text(StringRecord* string) {
  TakenString taken = Take(string);
  return taken.nil ? "<nil>" : taken.bytes;
}

std::string BitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return std::to_string(bits);
}

// One step of a program on a BinaryStream, chosen by the number; what it
// observed, as text.
std::string BinaryStep(RuntimeObject* self, uint32_t step, uint32_t argument) {
  // Moves and cuts land in and a little past what the steps write.
  const int32_t spot = int32_t(argument % 700);
  StringRef written = StringRef::Adopt(StringFromASCII(std::string(argument % 70, 'w').c_str()));
  switch (step % 19) {
    case 0: return "byte " + std::to_string(BinaryStreamReadByte(self));
    case 1: return "short " + std::to_string(BinaryStreamReadShort(self));
    case 2: return "long " + std::to_string(BinaryStreamReadLong(self));
    case 3: return "double " + BitsOf(BinaryStreamReadDouble(self));
    case 4: return "single " + BitsOf(BinaryStreamReadFloat(self));
    case 5: return "read " + Text(BinaryStreamRead(self, int32_t(argument % 90), nullptr));
    case 6: return "pstring " + Text(BinaryStreamReadPString(self, nullptr));
    case 7: BinaryStreamWriteByte(self, int32_t(argument)); return "wrote byte";
    case 8: BinaryStreamWriteShort(self, int32_t(argument)); return "wrote short";
    case 9: BinaryStreamWriteLong(self, int32_t(argument)); return "wrote long";
    case 10: BinaryStreamWriteDouble(self, double(argument) / 7); return "wrote double";
    case 11: BinaryStreamWrite(self, written.get()); return "wrote string";
    case 12: BinaryStreamWritePString(self, written.get()); return "wrote pstring";
    case 13: BinaryStreamSetPosition(self, 0, spot); return "moved";
    case 14: BinaryStreamSetLength(self, 0, spot); return "cut";
    case 15: return "position " + std::to_string(BinaryStreamGetPosition(self, 0));
    case 16: return "length " + std::to_string(BinaryStreamGetLength(self, 0));
    case 17: return std::string("eof ") + (BinaryStreamEOF(self, 0) ? "yes" : "no");
    default: {
      auto* fields = ObjectFields<BinaryStreamFields>(self);
      fields->littleEndian = !fields->littleEndian;
      return "order";
    }
  }
}

std::string TextInputStep(RuntimeObject* self, uint32_t step, uint32_t argument) {
  switch (step % 6) {
    case 0:
    case 1: return "line " + Text(TextInputStreamReadLine(self, nullptr));
    case 2: return std::string("eof ") + (TextInputStreamEOF(self, 0) ? "yes" : "no");
    case 3: return "position " + std::to_string(TextInputStreamGetPosition(self, 0));
    case 4: TextInputStreamSetPosition(self, 0, int32_t(argument % 3200) - 10); return "moved";
    default: return step % 18 == 5 ? "all " + Text(TextInputStreamReadAll(self, nullptr)) : "-";
  }
}

// The steps' observations and the store's bytes at the end, through a
// buffer of the size.
struct Outcome {
  Log log;
  std::string bytes;
};

Outcome RunSteps(RuntimeObject* (*make)(FileStreamPtr), const std::string& bytes, int32_t bufferBytes,
             uint32_t seed, int steps,
             const std::function<std::string(RuntimeObject*, uint32_t, uint32_t)>& step) {
  InMemory made = MadeWithBuffer(make, bytes, bufferBytes);
  std::mt19937 random(seed);
  Outcome run;
  for (int i = 0; i < steps; ++i) {
    const uint32_t kind = random(), argument = random();
    run.log.push_back(step(made.object.get(), kind, argument));
  }
  RuntimeTestEnvironment::RunTurns(1);
  run.bytes = made.stream->Bytes();
  return run;
}

// Where two logs first differ, for the failure message.
void ExpectSameRun(const Outcome& reference, const Outcome& buffered) {
  for (size_t i = 0; i < reference.log.size(); ++i) {
    if (reference.log[i] != buffered.log[i]) {
      ADD_FAILURE() << "step " << i << ": " << reference.log[i] << " / " << buffered.log[i];
      return;
    }
  }
  EXPECT_EQ(reference.bytes, buffered.bytes);
}

using BufferedRandomTest = HostTest;

// Buffers smaller than a value, than a line, and of the full size.
constexpr int32_t kBufferSizes[] = {3, 16, 700, kStreamBufferSize};

TEST_F(BufferedRandomTest, BinaryStreamStepsObserveWhatTheUnbufferedStreamGave) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    const std::string start = RandomBytes(random, random() % 400, "\x01\x7F\x80\xFF" "ab");
    const Outcome reference = RunSteps(NewBinaryStream, start, 0, seed, 300, BinaryStep);
    for (int32_t size : kBufferSizes) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", buffer " + std::to_string(size));
      ExpectSameRun(reference, RunSteps(NewBinaryStream, start, size, seed, 300, BinaryStep));
    }
  }
}

TEST_F(BufferedRandomTest, TextLinesAndPositionsAreAsUnbuffered) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    const std::string start = RandomBytes(random, random() % 3000, "ab\r\n\n\x0D");
    const Outcome reference = RunSteps(NewTextInputStream, start, 0, seed, 200, TextInputStep);
    for (int32_t size : kBufferSizes) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", buffer " + std::to_string(size));
      ExpectSameRun(reference, RunSteps(NewTextInputStream, start, size, seed, 200, TextInputStep));
    }
  }
}

TEST_F(BufferedRandomTest, WrittenTextIsAsUnbuffered) {
  auto step = [](RuntimeObject* self, uint32_t kind, uint32_t argument) {
    StringRef text = StringRef::Adopt(StringFromASCII(std::string(argument % 300, 't').c_str()));
    if (kind % 3 == 0) TextOutputStreamWrite(self, text.get());
    if (kind % 3 == 1) TextOutputStreamWriteLine(self, text.get());
    if (kind % 3 == 2) {
      StringRef delimiter = StringRef::Adopt(StringFromASCII(argument % 2 ? "\n" : ""));
      StringAssign(&ObjectFields<TextOutputStreamFields>(self)->delimiter, delimiter.get());
    }
    return std::string();
  };
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    const Outcome reference = RunSteps(NewTextOutputStream, "", 0, seed, 400, step);
    for (int32_t size : kBufferSizes) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", buffer " + std::to_string(size));
      ExpectSameRun(reference, RunSteps(NewTextOutputStream, "", size, seed, 400, step));
    }
  }
}

TEST_F(BufferedRandomTest, ReadingValuesUntilEOFTakesAFewReadsOfTheStore) {
  std::string bytes;
  for (int32_t i = 0; i < 10000; ++i) bytes.append(reinterpret_cast<const char*>(&i), 4);
  InMemory binary = InstanceOnMemory(NewBinaryStream, bytes);
  ObjectFields<BinaryStreamFields>(binary.object.get())->littleEndian = 1;
  int32_t expected = 0;
  while (!BinaryStreamEOF(binary.object.get(), 0)) {
    ASSERT_EQ(BinaryStreamReadLong(binary.object.get()), expected++);
  }
  EXPECT_EQ(expected, 10000);
  EXPECT_LE(binary.stream->readCalls, 5);  // 4 KiB, then doubling up to 64 KiB
}

// ---- Failed deferred writes --------------------------------------------------------------

// An in-memory store whose failing writes leave ERROR_DISK_FULL, as a full
// disk does.
class FullStore : public MemoryFileStream {
 public:
  bool Write(const void* buffer, int32_t count) override {
    const bool written = MemoryFileStream::Write(buffer, count);
    if (!written) SetLastError(ERROR_DISK_FULL);
    return written;
  }
};

struct Reporter {
  const char* name;
  std::function<bool(FileStream&)> operation;
};

const Reporter kReporters[] = {
    {"Write", [](FileStream& s) { return s.Write(std::string(60, 'n').data(), 60); }},
    {"Read", [](FileStream& s) { char b[4]; int32_t got; return s.Read(b, 4, &got); }},
    {"SetPosition", [](FileStream& s) { return s.SetPosition(0); }},
    {"SetLength", [](FileStream& s) { return s.SetLength(2); }},
    {"Close", [](FileStream& s) { return s.Close(); }},
};

struct WriteFault {
  const char* name;
  void (*set)(MemoryFileStream::Faults&);
  const char* reached;  // what of "0123456789" reaches the store
};

const WriteFault kWriteFaults[] = {
    {"short", [](MemoryFileStream::Faults& f) { f.writeChunk = 4; }, "0123"},
    {"failing", [](MemoryFileStream::Faults& f) { f.writeFails = true; }, ""},
};

using DeferredWriteTest = HostTest;

TEST_F(DeferredWriteTest, TheNextOperationReportsAFailedWriteOnce) {
  for (const WriteFault& fault : kWriteFaults) {
    for (const Reporter& reporter : kReporters) {
      SCOPED_TRACE(std::string(fault.name) + " write reported by " + reporter.name);
      auto* store = new FullStore;
      BufferedFileStream stream(FileStreamPtr(store), 64);
      ASSERT_TRUE(stream.Write("0123456789", 10));
      EXPECT_EQ(store->Bytes(), "");  // held
      fault.set(store->faults);
      SetLastError(0);
      EXPECT_FALSE(reporter.operation(stream));
      EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
      EXPECT_EQ(store->Bytes(), fault.reached);
      if (reporter.name == std::string("Close")) continue;
      // Length and position are those of the bytes that reached the store,
      // and the operation did nothing else.
      const int32_t reached = int32_t(std::strlen(fault.reached));
      EXPECT_EQ(stream.GetLength(), reached);
      EXPECT_EQ(stream.GetPosition(), reached);
      store->faults = MemoryFileStream::Faults();
      EXPECT_TRUE(stream.Write("x", 1));  // reported once only
      EXPECT_TRUE(stream.SetPosition(0));
      EXPECT_EQ(store->Bytes(), std::string(fault.reached) + "x");
    }
  }
}

TEST_F(DeferredWriteTest, AWriteThatFailedAtTheTurnsEndIsReportedNext) {
  auto* store = new FullStore;
  BufferedFileStream stream(FileStreamPtr(store), 64);
  ASSERT_TRUE(stream.Write("abc", 3));
  store->faults.writeFails = true;
  RuntimeTestEnvironment::RunTurns(1);
  store->faults.writeFails = false;
  SetLastError(0);
  EXPECT_EQ(stream.GetPosition(), 0);  // asks, reports nothing
  EXPECT_FALSE(stream.Write("d", 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  EXPECT_TRUE(stream.Write("d", 1));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(store->Bytes(), "d");
}

// ---- Streams on real files -----------------------------------------------------------

class BufferedFileTest : public FilesTest {
 protected:
  ObjectRef Opened(RuntimeObject* (*make)(FileStreamPtr), const std::wstring& name) {
    auto stream = NewFileStream();
    EXPECT_TRUE(stream->Open(PathString(name).get(), kFileStreamReadWrite));
    return ObjectRef::Adopt(make(std::move(stream)));
  }
};

TEST_F(BufferedFileTest, ASecondStreamSeesTheFirstsWrites) {
  WriteWholeFile(PathOf(L"shared.bin"), "");
  ObjectRef first = Opened(NewBinaryStream, L"shared.bin");
  ObjectRef second = Opened(NewBinaryStream, L"shared.bin");
  BinaryStreamWriteLong(first.get(), 1);
  BinaryStreamWriteLong(first.get(), 2);
  EXPECT_EQ(BinaryStreamGetLength(second.get(), 0), 8);
  EXPECT_EQ(BinaryStreamReadLong(second.get()), 1);  // reads ahead 1 and 2
  BinaryStreamSetPosition(first.get(), 0, 4);
  BinaryStreamWriteLong(first.get(), 20);
  BinaryStreamWriteLong(first.get(), 3);
  EXPECT_EQ(BinaryStreamReadLong(second.get()), 20);
  EXPECT_EQ(BinaryStreamReadLong(second.get()), 3);
  EXPECT_TRUE(BinaryStreamEOF(second.get(), 0));

  // And the other way round, from a stream that had read ahead.
  BinaryStreamSetPosition(second.get(), 0, 0);
  BinaryStreamWriteLong(second.get(), 10);
  BinaryStreamSetPosition(first.get(), 0, 0);
  EXPECT_EQ(BinaryStreamReadLong(first.get()), 10);
  EXPECT_EQ(BinaryStreamReadLong(first.get()), 20);
}

// A stream open for reading refuses a write at once, as the file does:
// nothing is held for later, Position stays and the error code is the
// file's, also after the stream had read ahead.
TEST_F(BufferedFileTest, AStreamOpenForReadingRefusesAWriteAtOnce) {
  WriteWholeFile(PathOf(L"read.bin"), std::string(200, 'r'));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(PathString(L"read.bin").get()));
  ObjectRef reader =
      ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsBinaryFile", uint8_t(0)));
  for (int32_t at : {100, 196}) {
    SCOPED_TRACE(at);
    EXPECT_EQ(BinaryStreamReadByte(reader.get()), 'r');
    BinaryStreamSetPosition(reader.get(), 0, at);
    SetLastError(0);
    BinaryStreamWriteLong(reader.get(), 0x41424344);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(BinaryStreamGetPosition(reader.get(), 0), at);
    EXPECT_EQ(BinaryStreamReadLong(reader.get()), 0x72727272);
  }
  RuntimeTestEnvironment::RunTurns(1);
  BinaryStreamClose(reader.get());
  EXPECT_EQ(ReadWholeFile(PathOf(L"read.bin")), std::string(200, 'r'));
}

TEST_F(BufferedFileTest, AFileStreamOpenedLaterReadsWhatWasGathered) {
  WriteWholeFile(PathOf(L"late.bin"), "");
  ObjectRef binary = Opened(NewBinaryStream, L"late.bin");
  BinaryStreamWriteLong(binary.get(), 0x41424344);
  auto plain = NewFileStream();
  ASSERT_TRUE(plain->Open(PathString(L"late.bin").get(), kFileStreamReadOnly));
  char bytes[8] = {};
  int32_t got = 0;
  EXPECT_TRUE(plain->Read(bytes, 8, &got));
  EXPECT_EQ(std::string(bytes, size_t(got)), "ABCD");
}

TEST_F(BufferedFileTest, TheFilesItemSeesWhatWasGathered) {
  WriteWholeFile(PathOf(L"held.txt"), "");
  ObjectRef text = Opened(NewTextOutputStream, L"held.txt");
  StringRef line = StringRef::Adopt(StringFromASCII("held"));
  TextOutputStreamWriteLine(text.get(), line.get());
  EXPECT_EQ(FolderItemImpWin32FromPath(Utf8Of(PathOf(L"held.txt")), false, false, nullptr)
                ->GetLength(),
            6);
  TextOutputStreamWriteLine(text.get(), line.get());
  auto item = FolderItemImpWin32FromPath(Utf8Of(PathOf(L"held.txt")), false, false, nullptr);
  auto copy = FolderItemImpWin32FromPath(Utf8Of(PathOf(L"copy.txt")), false, false, nullptr);
  ASSERT_TRUE(item->CopyFileTo(copy.get()));
  EXPECT_EQ(ReadWholeFile(PathOf(L"copy.txt")), "held\r\nheld\r\n");
}

TEST_F(BufferedFileTest, AReaderOfThisProcessFollowsALog) {
  WriteWholeFile(PathOf(L"log.txt"), "");
  ObjectRef log = Opened(NewTextOutputStream, L"log.txt");
  ObjectRef follower = Opened(NewTextInputStream, L"log.txt");
  for (const char* line : {"one", "two", "three"}) {
    StringRef text = StringRef::Adopt(StringFromASCII(line));
    TextOutputStreamWriteLine(log.get(), text.get());
    EXPECT_FALSE(TextInputStreamEOF(follower.get(), 0));
    EXPECT_EQ(Text(TextInputStreamReadLine(follower.get(), nullptr)), line);
    EXPECT_TRUE(TextInputStreamEOF(follower.get(), 0));
  }
}

TEST_F(BufferedFileTest, AFileWrittenInOneTurnIsCompleteOnDiskAtTheNext) {
  WriteWholeFile(PathOf(L"lines.txt"), "");
  WriteWholeFile(PathOf(L"values.bin"), "");
  ObjectRef text = Opened(NewTextOutputStream, L"lines.txt");
  ObjectRef binary = Opened(NewBinaryStream, L"values.bin");
  std::string lines, values;
  StringRef line = StringRef::Adopt(StringFromASCII("a line"));
  for (int32_t i = 0; i < 1000; ++i) {
    TextOutputStreamWriteLine(text.get(), line.get());
    lines += "a line\r\n";
    BinaryStreamWriteLong(binary.get(), i);
    values += std::string{char(i >> 24), char(i >> 16), char(i >> 8), char(i)};
  }
  EXPECT_EQ(ReadWholeFile(PathOf(L"lines.txt")), "");  // still gathered
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(ReadWholeFile(PathOf(L"lines.txt")), lines);
  EXPECT_EQ(ReadWholeFile(PathOf(L"values.bin")), values);
}

TEST_F(BufferedFileTest, TheExitStepsWriteOutAfterTheWindowsClosed) {
  WriteWholeFile(PathOf(L"last.txt"), "");
  ObjectRef text = Opened(NewTextOutputStream, L"last.txt");
  StringRef line = StringRef::Adopt(StringFromASCII("bye"));
  TextOutputStreamWriteLine(text.get(), line.get());
  CurrentMainLoopHooks().closeWindows();
  EXPECT_EQ(ReadWholeFile(PathOf(L"last.txt")), "bye\r\n");
}

}  // namespace
