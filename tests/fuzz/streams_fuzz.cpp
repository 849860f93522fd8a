// Bytes read back through the stream helpers and the language's stream
// classes over a MemoryFileStream whose faults come from the input: compact
// integers, typed values in both byte orders, BinaryStream values, and text
// lines in UTF-8 and UTF-16. Every value read, written again and decoded,
// comes back equal.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/RuntimeExceptionFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/string.h"
#include "files/BinaryStream.h"
#include "files/ByteStream.h"
#include "files/TextStreams.h"
#include "tests/fuzz/FuzzSupport.h"
#include "testsupport/MemoryFileStream.h"

namespace {

struct Setup {
  MemoryFileStream::Faults faults;
  bool swap;
  bool swapDoubles;
};

Setup TakeSetup(fuzz::Reader& input) {
  Setup setup{};
  const uint8_t flags = input.Take<uint8_t>();
  setup.faults.read = MemoryFileStream::ReadFault(flags % 3);
  setup.faults.readFaultFrom = input.Take<uint16_t>();
  setup.faults.readChunk = input.Take<uint8_t>() % 8;
  setup.swap = flags & 0x10;
  setup.swapDoubles = flags & 0x20;
  return setup;
}

std::unique_ptr<MemoryFileStream> Stream(const std::string& bytes, const Setup& setup) {
  auto stream = std::make_unique<MemoryFileStream>(bytes);
  stream->faults = setup.faults;
  if (setup.swap) stream->SetSwapBytes();
  stream->swapDoubles = setup.swapDoubles;
  return stream;
}

void CompactIntegers(const std::string& bytes, const Setup& setup) {
  auto stream = Stream(bytes, setup);
  int32_t value = 0;
  for (int i = 0; i < 64 && ByteStreamReadCompactInt(*stream, &value); ++i) {
    uint8_t encoded[kCompactIntMaxBytes];
    const int32_t length = EncodeCompactInt(value, encoded);
    int32_t decoded = ~value;
    if (DecodeCompactInt(encoded, size_t(length), &decoded) != length || decoded != value)
      fuzz::Fail("compact integer round trip");
  }
  int32_t direct = 0;
  const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
  const int32_t taken = DecodeCompactInt(raw, bytes.size(), &direct);
  if (taken < 0 || taken > kCompactIntMaxBytes || size_t(taken) > bytes.size())
    fuzz::Fail("compact integer length");
}

// Bit for bit, but a signalling NaN may come back quiet: 32-bit code passes
// doubles through the x87 registers, which quiet it (the Windows build too).
bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// Each typed value read is written to a fresh stream of the same byte order
// and read back bit for bit.
void TypedValues(const std::string& bytes, const Setup& setup) {
  auto stream = Stream(bytes, setup);
  for (int i = 0; i < 64; ++i) {
    int16_t half = 0;
    int32_t word = 0;
    double real = 0;
    const bool read = ByteStreamReadShort(*stream, &half) && ByteStreamReadLong(*stream, &word) &&
                      ByteStreamReadDouble(*stream, &real);
    if (!read) return;
    MemoryFileStream out;
    if (setup.swap) out.SetSwapBytes();
    out.swapDoubles = setup.swapDoubles;
    ByteStreamWriteShort(out, half);
    ByteStreamWriteLong(out, word);
    ByteStreamWriteDouble(out, real);
    out.SetPosition(0);
    int16_t half2 = 0;
    int32_t word2 = 0;
    double real2 = 0;
    if (!ByteStreamReadShort(out, &half2) || !ByteStreamReadLong(out, &word2) ||
        !ByteStreamReadDouble(out, &real2) || half2 != half || word2 != word ||
        !SameDouble(real, real2))
      fuzz::Fail("typed value round trip");
  }
}

void Release(StringRecord* string) {
  if (string) StringRecordRelease(string);
}

// The class's readers in the order the op bytes give.
void BinaryValues(const std::string& ops, const std::string& bytes, const Setup& setup) {
  RuntimeObject* binary = NewBinaryStream(Stream(bytes, setup));
  RuntimeObject* utf8 = GetTEObjectFromEncoding(kEncodingUTF8);
  for (unsigned char op : ops) {
    switch (op % 9) {
      case 0: BinaryStreamReadByte(binary); break;
      case 1: BinaryStreamReadShort(binary); break;
      case 2: BinaryStreamReadLong(binary); break;
      case 3: BinaryStreamReadFloat(binary); break;
      case 4: BinaryStreamReadDouble(binary); break;
      case 5: Release(BinaryStreamReadPString(binary, utf8)); break;
      case 6: Release(BinaryStreamRead(binary, op * 37, utf8)); break;
      case 7: BinaryStreamSetPosition(binary, 0, int32_t(op) * 5 - 100); break;
      case 8: BinaryStreamEOF(binary, 0); break;
    }
    RuntimeUnlockObject(RuntimeTakePendingException());
  }
  BinaryStreamClose(binary);
  RuntimeUnlockObject(RuntimeTakePendingException());
  RuntimeUnlockObject(utf8);
  RuntimeUnlockObject(binary);
}

void TextLines(const std::string& bytes, const Setup& setup, uint32_t encoding) {
  RuntimeObject* text = NewTextInputStream(Stream(bytes, setup));
  RuntimeObject* encodingObject = GetTEObjectFromEncoding(encoding);
  for (int i = 0; i < 256 && !TextInputStreamEOF(text, 0); ++i) {
    StringRecord* line = TextInputStreamReadLine(text, encodingObject);
    RuntimeUnlockObject(RuntimeTakePendingException());
    if (!line) break;
    StringRecordRelease(line);
  }
  TextInputStreamSetPosition(text, 0, 0);
  Release(TextInputStreamReadAll(text, encodingObject));
  TextInputStreamClose(text);
  RuntimeUnlockObject(RuntimeTakePendingException());
  RuntimeUnlockObject(encodingObject);
  RuntimeUnlockObject(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader input(data, size);
  const Setup setup = TakeSetup(input);
  const std::string ops = input.Bytes(input.Take<uint8_t>() % 32);
  const std::string bytes = input.Rest();
  CompactIntegers(bytes, setup);
  TypedValues(bytes, setup);
  BinaryValues(ops, bytes, setup);
  TextLines(bytes, setup, kEncodingUTF8);
  TextLines(bytes, setup, kEncodingUTF16);
  fuzz::FailOnRecordedBoxes();
  return 0;
}
