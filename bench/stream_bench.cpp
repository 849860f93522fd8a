// What the language's streams cost: BinaryStream, TextInputStream and
// TextOutputStream against the C library's buffered FILE (default buffer)
// doing the same work in the same run, and against raw 64 KiB
// ReadFile/WriteFile on the same kind of file.
//
//   stream_bench [megabytes]     (default 256; 1 MB = 1,048,576 bytes)
//
// Works in a folder of its own under the temporary folder and deletes it at
// the end, also after a failure. Each row: the measurement, MB/s, the ratio
// to raw block transfers, then `<ratio>x <peer> goal >= <g>` against the peer
// its goal names. A counter row shows how often EOF asked the file inside a
// ReadLong loop. Nothing is asserted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/BinaryStream.h"
#include "files/FileStreams.h"
#include "files/TextStreams.h"
#include "testsupport/ScratchFolder.h"

namespace {

constexpr int32_t kBlock = 64 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr int32_t kLineBytes = 80;
constexpr int kBlockTurns = 3;

double Timed(const std::function<void()>& work) {
  const double start = Now();
  work();
  return Now() - start;
}

// A path in the bench's scratch folder as a run-time string.
StringRef FileString(const ScratchFolder& folder, const wchar_t* name) {
  const std::wstring path = folder.File(name);
  return StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
}

double Rate(int64_t bytes, double seconds) { return double(bytes) / kMegabyte / seconds; }

// name, MB/s, the ratio to a second peer, then the goal's comparison.
void ReportAgainst(const char* name, double rate, const char* other, double otherRate,
                   const char* peer, double peerRate, double goal) {
  std::printf("%-24s %10.1f MB/s %9.4fx %-11s %7.2fx %s goal >= %.1f\n", name, rate,
              rate / otherRate, other, rate / peerRate, peer, goal);
  std::fflush(stdout);
}

// The usual row: raw blocks second, the C library's peer last.
void Report(const char* name, double rate, double raw, const char* peer, double peerRate,
            double goal) {
  ReportAgainst(name, rate, "raw", raw, peer, peerRate, goal);
}

bool Fail(const char* what) {
  std::fprintf(stderr, "stream_bench: %s failed (error %lu)\n", what, GetLastError());
  return false;
}

// ---- Raw blocks ---------------------------------------------------------------------------

bool RawWrite(const std::wstring& path, int64_t size, double* rate) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("creating the raw file");
  const std::string block(kBlock, 'r');
  bool ok = true;
  const double seconds = Timed([&] {
    DWORD written;
    for (int64_t done = 0; ok && done < size; done += kBlock)
      ok = WriteFile(file, block.data(), kBlock, &written, nullptr) && written == DWORD(kBlock);
    CloseHandle(file);  // as every writer below closes its file in the time
  });
  if (!ok) return Fail("the raw write");
  *rate = Rate(size, seconds);
  return true;
}

bool RawRead(const std::wstring& path, double* rate) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("opening the raw file");
  std::string block(kBlock, '\0');
  int64_t total = 0;
  const double seconds = Timed([&] {
    DWORD got;
    while (ReadFile(file, &block[0], kBlock, &got, nullptr) && got > 0) total += got;
  });
  CloseHandle(file);
  *rate = Rate(total, seconds);
  return true;
}

// ---- The C library's FILE -------------------------------------------------------------------

// MB/s of fread of `unit` bytes at a time until it brings none.
double CRead(const std::wstring& path, size_t unit) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) {
    Fail("opening the C file");
    return 1;
  }
  std::string buffer(unit, '\0');
  int64_t total = 0;
  const double seconds = Timed([&] {
    while (std::fread(&buffer[0], unit, 1, file) == 1) total += int64_t(unit);
  });
  std::fclose(file);
  return Rate(total, seconds);
}

double CWrite(const std::wstring& path, size_t unit, int64_t size) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) {
    Fail("creating the C file");
    return 1;
  }
  const std::string buffer(unit, 'c');
  const double seconds = Timed([&] {
    for (int64_t done = 0; done < size; done += int64_t(unit)) std::fwrite(buffer.data(), unit, 1, file);
    std::fclose(file);
  });
  return Rate(size, seconds);
}

double CPutLines(const std::wstring& path, const std::string& line, int64_t lines) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) {
    Fail("creating the C text file");
    return 1;
  }
  const double seconds = Timed([&] {
    for (int64_t i = 0; i < lines; ++i) std::fputs(line.c_str(), file);
    std::fclose(file);
  });
  return Rate(int64_t(line.size()) * lines, seconds);
}

double CGetLines(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) {
    Fail("opening the C text file");
    return 1;
  }
  char line[4 * kLineBytes];
  int64_t total = 0;
  const double seconds = Timed([&] {
    while (std::fgets(line, sizeof line, file)) total += int64_t(std::strlen(line));
  });
  std::fclose(file);
  return Rate(total, seconds);
}

// ---- The run-time's streams -------------------------------------------------------------------

// A file stream that counts what is asked of the file, and what of it EOF
// asks.
class CountingFileStream : public Win32FileStream {
 public:
  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override {
    ++calls;
    return Win32FileStream::Read(buffer, count, bytesRead);
  }
  bool IsEOF() override {
    ++calls;
    ++eofCalls;
    return Win32FileStream::IsEOF();
  }
  int32_t GetPosition() override {
    ++calls;
    return Win32FileStream::GetPosition();
  }
  int32_t GetLength() override {
    ++calls;
    return Win32FileStream::GetLength();
  }
  int64_t calls = 0;
  int64_t eofCalls = 0;
};

// A new instance over the file, opened (mode 1 or 3) or created (mode 0).
ObjectRef StreamObject(RuntimeObject* (*make)(FileStreamPtr), const StringRef& path, int32_t mode,
                       CountingFileStream** counter = nullptr) {
  std::unique_ptr<CountingFileStream> stream(new CountingFileStream);
  const bool opened = mode == 0 ? stream->Create(path.get()) : stream->Open(path.get(), mode);
  if (!opened) return ObjectRef();
  if (counter) *counter = stream.get();
  return ObjectRef::Adopt(make(std::move(stream)));
}

struct Rates {
  double rawRead = 0, rawWrite = 0;
};

// Typed reads of `unit` bytes by count, against fread of the same unit.
template <class Read>
bool ReadLoop(const ScratchFolder& folder, const char* name, int32_t unit, int64_t size,
              const Rates& raw, Read read) {
  ObjectRef binary = StreamObject(NewBinaryStream, FileString(folder, L"data.bin"), 1);
  if (!binary) return Fail("opening the BinaryStream");
  const double seconds = Timed([&] {
    for (int64_t i = 0; i < size / unit; ++i) read(binary.get());
  });
  const double peer = CRead(folder.File(L"data.bin"), size_t(unit));
  const std::string peerName = "fread" + std::to_string(unit);
  Report(name, Rate(size / unit * unit, seconds), raw.rawRead, peerName.c_str(), peer, 1.0);
  return true;
}

template <class Write>
bool WriteLoop(const ScratchFolder& folder, const char* name, int32_t unit, int64_t size,
               const Rates& raw, Write write) {
  double seconds = 0;
  {
    ObjectRef binary = StreamObject(NewBinaryStream, FileString(folder, L"data.bin"), 0);
    if (!binary) return Fail("creating the BinaryStream");
    seconds = Timed([&] {
      for (int64_t i = 0; i < size / unit; ++i) write(binary.get(), i);
      binary = ObjectRef();  // closing writes out the rest
    });
  }
  const double peer = CWrite(folder.File(L"peer.bin"), size_t(unit), size / unit * unit);
  const std::string peerName = "fwrite" + std::to_string(unit);
  Report(name, Rate(size / unit * unit, seconds), raw.rawWrite, peerName.c_str(), peer, 1.0);
  return true;
}

bool BinaryReads(const ScratchFolder& folder, int64_t size, const Rates& raw) {
  {
    CountingFileStream* counter = nullptr;
    ObjectRef binary = StreamObject(NewBinaryStream, FileString(folder, L"data.bin"), 1, &counter);
    if (!binary) return Fail("opening the BinaryStream");
    RuntimeObject* self = binary.get();
    int64_t values = 0;
    const double seconds = Timed([&] {
      while (!BinaryStreamEOF(self, 0)) {
        BinaryStreamReadLong(self);
        ++values;
      }
    });
    Report("ReadLong until EOF", Rate(values * 4, seconds), raw.rawRead, "fread4",
           CRead(folder.File(L"data.bin"), 4), 1.0);
    // EOF's own questions to the file; the reads it makes are the ones the
    // next values need anyway (counted with the loop's other calls).
    const double checks = double(values + 1);
    std::printf("%-24s %10.0f checks %lld end questions %lld file calls in all %12.9fx "
                "end questions per check goal <= 0.000001\n",
                "EOF in a ReadLong loop", checks, static_cast<long long>(counter->eofCalls),
                static_cast<long long>(counter->calls), double(counter->eofCalls) / checks);
  }
  if (!ReadLoop(folder, "ReadLong by count", 4, size, raw, [](RuntimeObject* s) { BinaryStreamReadLong(s); }) ||
      !ReadLoop(folder, "ReadShort by count", 2, size, raw, [](RuntimeObject* s) { BinaryStreamReadShort(s); }) ||
      !ReadLoop(folder, "ReadDouble by count", 8, size, raw, [](RuntimeObject* s) { BinaryStreamReadDouble(s); }))
    return false;

  // Block rows meet raw blocks measured beside them, the best of three
  // turns each: the machine's load moves these figures more than anything
  // the stream does.
  double rawNow = 0, rate = 0;
  for (int turn = 0; turn < kBlockTurns; ++turn) {
    double rawTurn = 0;
    if (!RawRead(folder.File(L"data.bin"), &rawTurn)) return false;
    rawNow = std::max(rawNow, rawTurn);
    ObjectRef binary = StreamObject(NewBinaryStream, FileString(folder, L"data.bin"), 1);
    if (!binary) return Fail("opening the BinaryStream");
    int64_t total = 0;
    const double seconds = Timed([&] {
      for (;;) {
        StringRef block = StringRef::Adopt(BinaryStreamRead(binary.get(), kBlock, nullptr));
        if (!block) break;
        total += StringLength(block.get());
      }
    });
    rate = std::max(rate, Rate(total, seconds));
  }
  ReportAgainst("Read(65536)", rate, "fread65536", CRead(folder.File(L"data.bin"), kBlock), "raw",
                rawNow, 0.9);
  return true;
}

bool BinaryWrites(const ScratchFolder& folder, int64_t size, const Rates& raw) {
  if (!WriteLoop(folder, "WriteLong", 4, size, raw, [](RuntimeObject* s, int64_t i) { BinaryStreamWriteLong(s, int32_t(i)); }) ||
      !WriteLoop(folder, "WriteShort", 2, size, raw, [](RuntimeObject* s, int64_t i) { BinaryStreamWriteShort(s, int32_t(i)); }) ||
      !WriteLoop(folder, "WriteDouble", 8, size, raw, [](RuntimeObject* s, int64_t i) { BinaryStreamWriteDouble(s, double(i)); }))
    return false;

  double rawNow = 0, rate = 0;
  const StringRef block = StringRef::Adopt(NewString(std::string(kBlock, 'w'), kEncodingNone));
  for (int turn = 0; turn < kBlockTurns; ++turn) {
    double rawTurn = 0;
    if (!RawWrite(folder.File(L"peer.bin"), size, &rawTurn)) return false;
    rawNow = std::max(rawNow, rawTurn);
    ObjectRef binary = StreamObject(NewBinaryStream, FileString(folder, L"data.bin"), 0);
    if (!binary) return Fail("creating the BinaryStream");
    const double seconds = Timed([&] {
      for (int64_t done = 0; done < size; done += kBlock) BinaryStreamWrite(binary.get(), block.get());
      binary = ObjectRef();
    });
    rate = std::max(rate, Rate(size, seconds));
  }
  ReportAgainst("Write(64 KiB)", rate, "fwrite65536", CWrite(folder.File(L"peer.bin"), kBlock, size),
                "raw", rawNow, 0.9);
  return true;
}

// 80-byte lines with WriteLine (CR LF, or LF through the Delimiter) against
// fputs, then read back with ReadLine against fgets.
bool TextLines(const ScratchFolder& folder, const wchar_t* name, bool lf, int64_t size,
               const Rates& raw) {
  const StringRef path = FileString(folder, name);
  const int32_t textBytes = kLineBytes - (lf ? 1 : 2);
  const int64_t lineCount = size / kLineBytes;
  const std::string text(textBytes, 't');
  double seconds = 0;
  {
    ObjectRef out = StreamObject(NewTextOutputStream, path, 0);
    if (!out) return Fail("creating the TextOutputStream");
    if (lf) {
      StringRef delimiter = StringRef::Adopt(StringFromASCII("\n"));
      StringAssign(&ObjectFields<TextOutputStreamFields>(out.get())->delimiter, delimiter.get());
    }
    const StringRef line = StringRef::Adopt(StringFromASCII(text.c_str()));
    seconds = Timed([&] {
      for (int64_t i = 0; i < lineCount; ++i) TextOutputStreamWriteLine(out.get(), line.get());
      out = ObjectRef();
    });
  }
  const double putRate = CPutLines(folder.File(L"peer.txt"), text + (lf ? "\n" : "\r\n"), lineCount);
  Report(lf ? "WriteLine LF" : "WriteLine CR LF", Rate(lineCount * kLineBytes, seconds),
         raw.rawWrite, "fputs", putRate, 1.0);

  ObjectRef in = StreamObject(NewTextInputStream, path, kFileStreamReadOnly);
  if (!in) return Fail("opening the TextInputStream");
  int64_t bytes = 0;
  seconds = Timed([&] {
    while (!TextInputStreamEOF(in.get(), 0)) {
      StringRef line = StringRef::Adopt(TextInputStreamReadLine(in.get(), nullptr));
      bytes += StringLength(line.get()) + (lf ? 1 : 2);
    }
  });
  Report(lf ? "ReadLine LF" : "ReadLine CR LF", Rate(bytes, seconds), raw.rawRead, "fgets",
         CGetLines(folder.File(name)), 1.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 256;
  if (megabytes <= 0) {
    std::fprintf(stderr, "usage: stream_bench [megabytes]\n");
    return 2;
  }
  InitFileStreamLock();
  ScratchFolder folder(L"stream_bench_");
  if (!folder.made()) {
    Fail("making the scratch folder");
    return 1;
  }
  const int64_t size = int64_t(megabytes) * int64_t(kMegabyte);
  std::printf("stream_bench: %ld MB\n", megabytes);

  Rates raw;
  if (!RawWrite(folder.File(L"data.bin"), size, &raw.rawWrite)) return 1;
  if (!RawRead(folder.File(L"data.bin"), &raw.rawRead)) return 1;
  std::printf("%-24s %10.1f MB/s\n%-24s %10.1f MB/s\n", "raw WriteFile 64 KiB", raw.rawWrite,
              "raw ReadFile 64 KiB", raw.rawRead);

  const bool ok = BinaryReads(folder, size, raw) && BinaryWrites(folder, size, raw) &&
                  TextLines(folder, L"crlf.txt", false, size, raw) &&
                  TextLines(folder, L"lf.txt", true, size, raw);
  return ok ? 0 : 1;
}
