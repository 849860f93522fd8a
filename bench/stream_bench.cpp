// What the unbuffered file stream costs: the language's BinaryStream and
// TextInputStream against raw 64 KiB block transfers on the same file.
//
//   stream_bench [megabytes]     (default 256; 1 MB = 1,048,576 bytes)
//
// Works in a folder of its own under the temporary folder and deletes it at
// the end, also after a failure. Prints one line per measurement: its name,
// MB/s, and the ratio to the raw figure for the same direction on the same
// file (and lines per second for ReadLine). Nothing is asserted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/BinaryStream.h"
#include "files/FileStreams.h"
#include "files/TextStreams.h"

namespace {

constexpr int32_t kBlock = 64 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr int32_t kLineBytes = 80;

// Seconds the work takes.
double Timed(const std::function<void()>& work) {
  const double start = Now();
  work();
  return Now() - start;
}

// A folder of the bench's own under the temporary folder, deleted with
// everything in it when the bench ends, whichever way.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp, length) + L"stream_bench_" + std::to_wstring(GetCurrentProcessId());
    made_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
  }
  ~ScratchFolder() {
    for (const wchar_t* name : {L"data.bin", L"crlf.txt", L"lf.txt"})
      DeleteFileW(File(name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  bool made() const { return made_; }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
  StringRef FileString(const wchar_t* name) const {
    const std::wstring path = File(name);
    return StringRef::Adopt(StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()),
                                            int32_t(path.size())));
  }

 private:
  std::wstring path_;
  bool made_ = false;
};

void Report(const char* name, int64_t bytes, double seconds, double rawMegabytesPerSecond,
            double lines = 0) {
  const double rate = double(bytes) / kMegabyte / seconds;
  std::printf("%-22s %10.1f MB/s %10.4f x raw", name, rate, rate / rawMegabytesPerSecond);
  if (lines > 0) std::printf(" %12.0f lines/s", lines / seconds);
  std::printf("\n");
  std::fflush(stdout);
}

bool Fail(const char* what) {
  std::fprintf(stderr, "stream_bench: %s failed (error %lu)\n", what, GetLastError());
  return false;
}

// Raw 64 KiB blocks; gives MB/s through *rate.
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
  });
  CloseHandle(file);
  if (!ok) return Fail("the raw write");
  *rate = double(size) / kMegabyte / seconds;
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
  *rate = double(total) / kMegabyte / seconds;
  return true;
}

// A new instance over the file, opened (mode 1 or 3) or created (mode 0).
ObjectRef StreamObject(RuntimeObject* (*make)(FileStreamPtr), const StringRef& path,
                       int32_t mode) {
  auto stream = NewFileStream();
  if (!stream) return ObjectRef();
  const bool opened = mode == 0 ? stream->Create(path.get()) : stream->Open(path.get(), mode);
  if (!opened) return ObjectRef();
  return ObjectRef::Adopt(make(std::move(stream)));
}

bool BinaryReads(const ScratchFolder& folder, int64_t size, double rawRead) {
  const StringRef path = folder.FileString(L"data.bin");
  ObjectRef binary = StreamObject(NewBinaryStream, path, kFileStreamReadOnly);
  if (!binary) return Fail("opening the BinaryStream");
  RuntimeObject* self = binary.get();

  int64_t values = 0;
  double seconds = Timed([&] {
    while (!BinaryStreamEOF(self, 0)) {
      BinaryStreamReadLong(self);
      ++values;
    }
  });
  Report("ReadLong+EOF", values * 4, seconds, rawRead);

  BinaryStreamSetPosition(self, 0, 0);
  seconds = Timed([&] {
    for (int64_t i = 0; i < size / 4; ++i) BinaryStreamReadLong(self);
  });
  Report("ReadLong by count", size, seconds, rawRead);

  BinaryStreamSetPosition(self, 0, 0);
  int64_t total = 0;
  seconds = Timed([&] {
    for (;;) {
      StringRef block = StringRef::Adopt(BinaryStreamRead(self, kBlock, nullptr));
      if (!block) break;
      total += StringLength(block.get());
    }
  });
  Report("Read(65536)", total, seconds, rawRead);
  return true;
}

bool BinaryWrites(const ScratchFolder& folder, int64_t size, double rawWrite) {
  const StringRef path = folder.FileString(L"data.bin");
  ObjectRef binary = StreamObject(NewBinaryStream, path, 0);
  if (!binary) return Fail("creating the BinaryStream");
  double seconds = Timed([&] {
    for (int64_t i = 0; i < size / 4; ++i) BinaryStreamWriteLong(binary.get(), int32_t(i));
  });
  Report("WriteLong", size, seconds, rawWrite);

  binary = ObjectRef();  // closes the file before it is created again
  binary = StreamObject(NewBinaryStream, path, 0);
  if (!binary) return Fail("creating the BinaryStream");
  const StringRef block = StringRef::Adopt(NewString(std::string(kBlock, 'w'), kEncodingNone));
  seconds = Timed([&] {
    for (int64_t done = 0; done < size; done += kBlock) BinaryStreamWrite(binary.get(), block.get());
  });
  Report("Write(64 KiB)", size, seconds, rawWrite);
  return true;
}

// Writes 80-byte lines with WriteLine (CR LF, or LF through the Delimiter),
// then reads them back with ReadLine.
bool TextLines(const ScratchFolder& folder, const wchar_t* name, bool lf, int64_t size,
               double rawWrite) {
  const StringRef path = folder.FileString(name);
  const int32_t textBytes = kLineBytes - (lf ? 1 : 2);
  const int64_t lineCount = size / kLineBytes;
  {
    ObjectRef out = StreamObject(NewTextOutputStream, path, 0);
    if (!out) return Fail("creating the TextOutputStream");
    if (lf) {
      StringRef delimiter = StringRef::Adopt(StringFromASCII("\n"));
      StringAssign(&ObjectFields<TextOutputStreamFields>(out.get())->delimiter, delimiter.get());
    }
    const StringRef line = StringRef::Adopt(StringFromASCII(std::string(textBytes, 't').c_str()));
    const double seconds = Timed([&] {
      for (int64_t i = 0; i < lineCount; ++i) TextOutputStreamWriteLine(out.get(), line.get());
    });
    Report(lf ? "WriteLine LF" : "WriteLine CR LF", lineCount * kLineBytes, seconds, rawWrite);
  }
  double rawRead = 0;
  if (!RawRead(folder.File(name), &rawRead)) return false;
  ObjectRef in = StreamObject(NewTextInputStream, path, kFileStreamReadOnly);
  if (!in) return Fail("opening the TextInputStream");
  int64_t lines = 0, bytes = 0;
  const double seconds = Timed([&] {
    while (!TextInputStreamEOF(in.get(), 0)) {
      StringRef line = StringRef::Adopt(TextInputStreamReadLine(in.get(), nullptr));
      bytes += StringLength(line.get()) + (lf ? 1 : 2);
      ++lines;
    }
  });
  Report(lf ? "ReadLine LF" : "ReadLine CR LF", bytes, seconds, rawRead, double(lines));
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
  ScratchFolder folder;
  if (!folder.made()) {
    Fail("making the scratch folder");
    return 1;
  }
  const int64_t size = int64_t(megabytes) * int64_t(kMegabyte);
  std::printf("stream_bench: %ld MB\n", megabytes);

  double rawWrite = 0, rawRead = 0;
  if (!RawWrite(folder.File(L"data.bin"), size, &rawWrite)) return 1;
  if (!RawRead(folder.File(L"data.bin"), &rawRead)) return 1;
  Report("raw write 64 KiB", size, double(size) / kMegabyte / rawWrite, rawWrite);
  Report("raw read 64 KiB", size, double(size) / kMegabyte / rawRead, rawRead);

  const bool ok = BinaryReads(folder, size, rawRead) && BinaryWrites(folder, size, rawWrite) &&
                  TextLines(folder, L"crlf.txt", false, size, rawWrite) &&
                  TextLines(folder, L"lf.txt", true, size, rawWrite);
  return ok ? 0 : 1;
}
