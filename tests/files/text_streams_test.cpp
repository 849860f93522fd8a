// TextInputStream and TextOutputStream: line ends, buffer boundaries, UTF-16
// lines, positions, damaged streams and writing as stored.
#include <vector>

#include "FilesTestSupport.h"
#include "core/RuntimeExceptionFoundation.h"
#include "files/TextStreams.h"

namespace {

InMemory InputOn(const std::string& bytes) { return InstanceOnMemory(NewTextInputStream, bytes); }

ObjectRef EncodingObject(uint32_t encoding) {
  return ObjectRef::Adopt(GetTEObjectFromEncoding(encoding));
}

std::string ReadLine(RuntimeObject* in, RuntimeObject* encoding = nullptr) {
  return Take(TextInputStreamReadLine(in, encoding)).bytes;
}

bool AtEOF(RuntimeObject* in) { return TextInputStreamEOF(in, 0); }

// Every line until EOF (at most a bound, so that a fault cannot hang the test).
std::vector<std::string> AllLines(RuntimeObject* in, RuntimeObject* encoding = nullptr) {
  std::vector<std::string> lines;
  for (int i = 0; i < 100 && !AtEOF(in); ++i) lines.push_back(ReadLine(in, encoding));
  return lines;
}

using Lines = std::vector<std::string>;

using TextInputTest = HostTest;

TEST_F(TextInputTest, EachKindOfLineEndEndsOneLine) {
  InMemory input = InputOn("a\r\nb\rc\nd");
  EXPECT_EQ(AllLines(input.object.get()), (Lines{"a", "b", "c", "d"}));
  EXPECT_TRUE(AtEOF(input.object.get()));
}

TEST_F(TextInputTest, LastLinesAndEmptyLines) {
  EXPECT_EQ(AllLines(InputOn("a\r\nb\r\n").object.get()), (Lines{"a", "b"}));
  EXPECT_EQ(AllLines(InputOn("x\ny").object.get()), (Lines{"x", "y"}));
  EXPECT_EQ(AllLines(InputOn("a\rb\r").object.get()), (Lines{"a", "b"}));
  EXPECT_EQ(AllLines(InputOn("a\n\nb").object.get()), (Lines{"a", "", "b"}));
  EXPECT_EQ(AllLines(InputOn("\r\n\r\n").object.get()), (Lines{"", ""}));
  EXPECT_EQ(AllLines(InputOn("").object.get()), Lines{});
}

TEST_F(TextInputTest, CRLFSplitByTheBufferEndsOneLine) {
  const std::string first(1023, 'x');
  InMemory input = InputOn(first + "\r\ny");
  EXPECT_EQ(AllLines(input.object.get()), (Lines{first, "y"}));
}

TEST_F(TextInputTest, LongLinesSpanBuffersAndShortReads) {
  const std::string line(5000, 'L');
  EXPECT_EQ(AllLines(InputOn(line + "\r\nz").object.get()), (Lines{line, "z"}));
  InMemory chunked = InputOn(line + "\r\nz");
  chunked.stream->faults.readChunk = 7;
  EXPECT_EQ(AllLines(chunked.object.get()), (Lines{line, "z"}));
}

TEST_F(TextInputTest, LinesAreLabelledNotConverted) {
  InMemory input = InputOn("\xC3\xA9\nb\nc\n");
  TakenString first = Take(TextInputStreamReadLine(input.object.get(), nullptr));
  EXPECT_EQ(first.bytes, "\xC3\xA9");
  EXPECT_EQ(first.encoding, kEncodingUTF8);

  ObjectRef latin1 = EncodingObject(kEncodingWindowsLatin1);
  TakenString second = Take(TextInputStreamReadLine(input.object.get(), latin1.get()));
  EXPECT_EQ(second.bytes, "b");
  EXPECT_EQ(second.encoding, kEncodingWindowsLatin1);

  SetProperty<RuntimeObject*>(input.object.get(), "Encoding", latin1.get());
  EXPECT_EQ(Take(TextInputStreamReadLine(input.object.get(), nullptr)).encoding,
            kEncodingWindowsLatin1);
}

TEST_F(TextInputTest, PositionBCountsWhatReadLineReturned) {
  std::string file;
  for (int i = 0; i < 10; ++i) file += std::string(9, char('0' + i)) + "\n";
  InMemory input = InputOn(file);
  EXPECT_EQ(ReadLine(input.object.get()), "000000000");
  EXPECT_EQ(input.stream->GetPosition(), 100);
  EXPECT_EQ(TextInputStreamGetPosition(input.object.get(), 0), 10);

  TextInputStreamSetPosition(input.object.get(), 0, 25);
  EXPECT_EQ(ReadLine(input.object.get()), "2222");
  TextInputStreamSetPosition(input.object.get(), 0, -5);
  EXPECT_EQ(TextInputStreamGetPosition(input.object.get(), 0), 0);
  EXPECT_EQ(ReadLine(input.object.get()), "000000000");
}

TEST_F(TextInputTest, ReadAllTakesTheRestLabelled) {
  InMemory input = InputOn("one\r\n" + std::string(3000, 'r'));
  EXPECT_EQ(ReadLine(input.object.get()), "one");
  ObjectRef latin1 = EncodingObject(kEncodingWindowsLatin1);
  TakenString rest = Take(TextInputStreamReadAll(input.object.get(), latin1.get()));
  EXPECT_EQ(rest.bytes, std::string(3000, 'r'));
  EXPECT_EQ(rest.encoding, kEncodingWindowsLatin1);
  EXPECT_TRUE(AtEOF(input.object.get()));
  EXPECT_TRUE(Take(TextInputStreamReadAll(input.object.get(), nullptr)).nil);
}

// ---- UTF-16 ------------------------------------------------------------------------

TEST_F(TextInputTest, UTF16LinesEndAtUnits) {
  InMemory input = InputOn(Bytes({0x61, 0, 0x0D, 0, 0x0A, 0, 0x62, 0, 0x0D, 0, 0x63, 0, 0x0A, 0,
                               0x64, 0}));
  ObjectRef utf16 = EncodingObject(kEncodingUTF16);
  std::vector<TakenString> lines;
  while (!AtEOF(input.object.get()) && lines.size() < 10)
    lines.push_back(Take(TextInputStreamReadLine(input.object.get(), utf16.get())));
  ASSERT_EQ(lines.size(), 4u);
  const char* expected[] = {"a", "b", "c", "d"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[i].bytes, std::string(expected[i]) + '\0');
    EXPECT_EQ(lines[i].encoding, kEncodingUTF16);
  }
}

TEST_F(TextInputTest, UTF16LineEndSplitByTheBufferEndsOneLine) {
  std::string first;
  for (int i = 0; i < 511; ++i) first += std::string("x\0", 2);
  InMemory input = InputOn(first + Bytes({0x0D, 0, 0x0A, 0, 'y', 0}));
  ObjectRef utf16 = EncodingObject(kEncodingUTF16);
  EXPECT_EQ(AllLines(input.object.get(), utf16.get()), (Lines{first, std::string("y\0", 2)}));
}

// Short reads of odd length split units between refills; the halves are
// joined. The character U+0D0A holds the bytes 0A 0D and ends no line.
TEST_F(TextInputTest, UTF16UnitsSplitByReadsAreJoined) {
  const std::string first = Bytes({'a', 0, 0x0A, 0x0D, 'b', 0});
  InMemory input = InputOn(first + Bytes({0x0D, 0, 0x0A, 0, 'c', 0, 0x0A, 0}));
  input.stream->faults.readChunk = 3;
  ObjectRef utf16 = EncodingObject(kEncodingUTF16);
  EXPECT_EQ(AllLines(input.object.get(), utf16.get()), (Lines{first, std::string("c\0", 2)}));
}

TEST_F(TextInputTest, OddLastByteOfUTF16TextStaysInTheLastLine) {
  InMemory input = InputOn(Bytes({'a', 0, 0x0A, 0, 'b', 0, 'c'}));
  ObjectRef utf16 = EncodingObject(kEncodingUTF16);
  EXPECT_EQ(AllLines(input.object.get(), utf16.get()),
            (Lines{std::string("a\0", 2), std::string("b\0c", 3)}));
}

// ---- Damaged streams ---------------------------------------------------------------

// A refill that brings nothing although the stream is not at its end ends
// the text, rather than trying again for ever.
TEST_F(TextInputTest, RefillThatBringsNothingEndsTheText) {
  for (auto fault : {MemoryFileStream::ReadFault::kFails,
                     MemoryFileStream::ReadFault::kDeliversNothing}) {
    SCOPED_TRACE(int(fault));
    InMemory input = InputOn("abcd" "efgh\nij");
    input.stream->faults.read = fault;
    input.stream->faults.readFaultFrom = 4;
    EXPECT_EQ(ReadLine(input.object.get()), "abcd");
    EXPECT_FALSE(input.stream->IsEOF());
    EXPECT_TRUE(AtEOF(input.object.get()));

    TextInputStreamSetPosition(input.object.get(), 0, 0);
    EXPECT_FALSE(AtEOF(input.object.get()));
    EXPECT_EQ(Take(TextInputStreamReadAll(input.object.get(), nullptr)).bytes, "abcd");
    EXPECT_TRUE(AtEOF(input.object.get()));

    input.stream->faults.read = MemoryFileStream::ReadFault::kNone;
    TextInputStreamSetPosition(input.object.get(), 0, 4);
    EXPECT_EQ(AllLines(input.object.get()), (Lines{"efgh", "ij"}));
  }
}

TEST_F(TextInputTest, FailedLookAheadAfterCRStillEndsTheLine) {
  const std::string first(1023, 'x');
  InMemory input = InputOn(first + "\r\nnext");
  input.stream->faults.read = MemoryFileStream::ReadFault::kFails;
  input.stream->faults.readFaultFrom = 1024;
  EXPECT_EQ(ReadLine(input.object.get()), first);
  EXPECT_TRUE(AtEOF(input.object.get()));
}

// ---- Closed streams and nil --------------------------------------------------------

TEST_F(TextInputTest, ClosedStreamReadsNothing) {
  InMemory input = InputOn("a\nb\n");
  EXPECT_EQ(ReadLine(input.object.get()), "a");
  TextInputStreamClose(input.object.get());
  EXPECT_FALSE(AtEOF(input.object.get()));
  EXPECT_TRUE(Take(TextInputStreamReadLine(input.object.get(), nullptr)).nil);
  EXPECT_TRUE(Take(TextInputStreamReadAll(input.object.get(), nullptr)).nil);
  EXPECT_EQ(TextInputStreamGetPosition(input.object.get(), 0), 0);
  TextInputStreamSetPosition(input.object.get(), 0, 1);
  TextInputStreamClose(input.object.get());
}

TEST_F(TextInputTest, NilObjectRaisesAndReturns) {
  EXPECT_TRUE(Take(TextInputStreamReadLine(nullptr, nullptr)).nil);
  ObjectRef raised = ObjectRef::Adopt(RuntimeTakePendingException());
  ASSERT_TRUE(raised);
  EXPECT_TRUE(ObjectIsADefinition(raised.get(), GetNilObjectExceptionClassDefinition()));
  TextOutputStreamWriteLine(nullptr, nullptr);
  ObjectRef again = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(again);
}

// ---- TextOutputStream ----------------------------------------------------------------

InMemory OutputOn() { return InstanceOnMemory(NewTextOutputStream); }

void SetDelimiter(RuntimeObject* out, const char* delimiter) {
  StringRef text = StringRef::Adopt(StringFromASCII(delimiter));
  SetProperty<StringRecord*>(out, "Delimiter", text.get());
}

using TextOutputTest = HostTest;

TEST_F(TextOutputTest, WriteLineEndsWithTheDelimiterOrCRLF) {
  StringRef x = StringRef::Adopt(StringFromASCII("x"));
  InMemory output = OutputOn();
  TextOutputStreamWriteLine(output.object.get(), x.get());
  SetDelimiter(output.object.get(), "\n");
  TextOutputStreamWriteLine(output.object.get(), x.get());
  SetDelimiter(output.object.get(), "");
  TextOutputStreamWriteLine(output.object.get(), x.get());
  TextOutputStreamWrite(output.object.get(), x.get());
  TextOutputStreamWriteLine(output.object.get(), nullptr);
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(output.stream->Bytes(), "x\r\nx\nx\r\nx\r\n");
}

TEST_F(TextOutputTest, TextIsWrittenAsStored) {
  StringRef utf8 = StringRef::Adopt(StringFromUTF8("\xC3\xA9"));
  StringRef latin1 = StringRef::Adopt(NewString("\xE9", 1, kEncodingWindowsLatin1));
  InMemory output = OutputOn();
  TextOutputStreamWriteLine(output.object.get(), utf8.get());
  TextOutputStreamWriteLine(output.object.get(), latin1.get());
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(output.stream->Bytes(), "\xC3\xA9\r\n\xE9\r\n");
}

using TextStreamFileTest = FilesTest;

TEST_F(TextStreamFileTest, ClosedOutputWritesNothingAndClosingReleasesTheFile) {
  auto file = NewFileStream();
  ASSERT_TRUE(file->Create(PathString(L"out.txt").get()));
  ObjectRef out = ObjectRef::Adopt(NewTextOutputStream(std::move(file)));
  StringRef line = StringRef::Adopt(StringFromASCII("kept"));
  TextOutputStreamWriteLine(out.get(), line.get());
  TextOutputStreamClose(out.get());
  TextOutputStreamWriteLine(out.get(), line.get());
  TextOutputStreamWrite(out.get(), line.get());
  EXPECT_EQ(ReadWholeFile(PathOf(L"out.txt")), "kept\r\n");
  HANDLE exclusive = CreateFileW(PathOf(L"out.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
}

TEST_F(TextStreamFileTest, DestroyingTheInputClosesItsFile) {
  auto file = StreamOn(L"in.txt", "line\r\n", kFileStreamReadOnly);
  ObjectRef in = ObjectRef::Adopt(NewTextInputStream(std::move(file)));
  EXPECT_EQ(ReadLine(in.get()), "line");
  EXPECT_TRUE(AtEOF(in.get()));
  in = ObjectRef();
  HANDLE exclusive = CreateFileW(PathOf(L"in.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
}

}  // namespace
