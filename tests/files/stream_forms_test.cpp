// The stream interfaces' base bodies, the typed helpers' forms over streams
// in memory and the compact integer form: nothing here needs a real file, so
// these run in the native sanitizer build too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/ByteStream.h"
#include "testsupport/MemoryFileStream.h"

namespace {

std::string Bytes(std::initializer_list<uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// The value is an ordinary double; reversed, its bits read as a signalling
// NaN, which a reversal done on doubles (through the floating-point unit)
// would quieten, changing a bit.
TEST(MemoryByteOrderTest, ReversedDoubleKeepsEveryBit) {
  const uint64_t valueBits = 0x010000000000F07Full;
  const std::string file = Bytes({0x01, 0, 0, 0, 0, 0, 0xF0, 0x7F});
  double value;
  std::memcpy(&value, &valueBits, sizeof value);

  MemoryFileStream writer;
  writer.SetSwapBytes();
  writer.swapDoubles = true;
  EXPECT_TRUE(ByteStreamWriteDouble(writer, value));
  EXPECT_EQ(writer.Bytes(), file);

  MemoryFileStream reader(file);
  reader.SetSwapBytes();
  reader.swapDoubles = true;
  double read = 0;
  ASSERT_TRUE(ByteStreamReadDouble(reader, &read));
  uint64_t readBits;
  std::memcpy(&readBits, &read, sizeof readBits);
  EXPECT_EQ(readBits, valueBits) << std::hex << readBits;
}

TEST(ByteStreamHelpersTest, WriteLineAppendsCRLFUnconvertedInOneWrite) {
  MemoryFileStream stream;
  StringRef utf16 = StringRef::Adopt(NewString("a\0b\0", 4, kEncodingUTF16));
  EXPECT_TRUE(ByteStreamWriteLine(stream, utf16.get()));
  EXPECT_EQ(stream.writeCalls, 1);
  EXPECT_EQ(stream.Bytes(), Bytes({'a', 0, 'b', 0, 13, 10}));
  EXPECT_TRUE(ByteStreamWriteLine(stream, nullptr));
  EXPECT_EQ(stream.Bytes().substr(6), "\r\n");
}

// ---- Base bodies --------------------------------------------------------------------

TEST(FileStreamBaseTest, BareStreamRefusesEverythingAndIsAtItsEnd) {
  FileStream bare;
  char byte = 0;
  int32_t got = 9;
  EXPECT_FALSE(bare.Read(&byte, 1, &got));
  EXPECT_EQ(got, 0);
  EXPECT_FALSE(bare.Write(&byte, 1));
  EXPECT_FALSE(bare.Close());
  EXPECT_FALSE(bare.SetPosition(0));
  EXPECT_FALSE(bare.SetLength(0));
  EXPECT_EQ(bare.GetLength(), -1);
  EXPECT_EQ(bare.GetPosition(), -1);
  EXPECT_TRUE(bare.IsEOF());  // -1 against -1
  EXPECT_FALSE(bare.Create(nullptr));
  EXPECT_FALSE(bare.Open(nullptr, 1));
  EXPECT_FALSE(bare.OpenTemporary(nullptr));
  EXPECT_FALSE(bare.SwapsBytes());
  EXPECT_FALSE(bare.swapDoubles);
}

TEST(FileStreamBaseTest, IsEOFAndSyncGoThroughTheTable) {
  MemoryFileStream stream(Bytes({1, 2}));
  FileStream& base = stream;
  EXPECT_FALSE(base.IsEOF());
  ASSERT_TRUE(base.SetPosition(2));
  EXPECT_TRUE(base.IsEOF());
  base.Sync();
  EXPECT_EQ(stream.flushCalls, 1);
}

// ---- Compact integers ------------------------------------------------------------------

struct CompactCase {
  int32_t value;
  std::vector<uint8_t> bytes;
};

const CompactCase kCompactCases[] = {
    {0, {0x00}},
    {-1, {0x41}},
    {63, {0x3F}},
    {-63, {0x7F}},
    {64, {0x80, 0x01}},
    {-64, {0xC0, 0x01}},
    {8191, {0xBF, 0x7F}},
    {8192, {0x80, 0x80, 0x01}},
    {1048575, {0xBF, 0xFF, 0x7F}},
    {1048576, {0x80, 0x80, 0x80, 0x01}},
    {134217727, {0xBF, 0xFF, 0xFF, 0x7F}},
    {134217728, {0x80, 0x80, 0x80, 0x80, 0x01}},
    {2147483647, {0xBF, 0xFF, 0xFF, 0xFF, 0x0F}},
    {-2147483647, {0xFF, 0xFF, 0xFF, 0xFF, 0x0F}},
    {-2147483647 - 1, {0x80, 0x80, 0x80, 0x80, 0x10}},
};

TEST(CompactIntTest, EachValueHasItsBytesAndReadsBack) {
  for (const CompactCase& c : kCompactCases) {
    SCOPED_TRACE(c.value);
    MemoryFileStream stream;
    ASSERT_TRUE(ByteStreamWriteCompactInt(stream, c.value));
    EXPECT_EQ(stream.writeCalls, 1);
    EXPECT_EQ(stream.Bytes(), std::string(c.bytes.begin(), c.bytes.end()));
    ASSERT_TRUE(stream.SetPosition(0));
    int32_t read = 12345;
    EXPECT_TRUE(ByteStreamReadCompactInt(stream, &read));
    EXPECT_EQ(read, c.value);
    EXPECT_TRUE(stream.IsEOF());
  }
}

TEST(CompactIntTest, SwapFlagsDoNotChangeTheForm) {
  MemoryFileStream stream;
  stream.SetSwapBytes();
  stream.swapDoubles = true;
  ASSERT_TRUE(ByteStreamWriteCompactInt(stream, 8192));
  EXPECT_EQ(stream.Bytes(), Bytes({0x80, 0x80, 0x01}));
}

// Bytes no writer makes: each must give false after at most five reads,
// never a value from bits past bit 31 (a shift the test build traps) or from
// a byte that was never read.
TEST(CompactIntTest, DamagedInputIsRefused) {
  const std::string cases[] = {
      Bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80}),  // a fifth byte asking for more
      Bytes({0x80, 0x80, 0x80, 0x80, 0x20}),        // bit 32 set
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
      Bytes({0x80}),                                // the end where a byte is due
      Bytes({0x80, 0x80, 0x80}),
      "",
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    MemoryFileStream stream(bytes);
    int32_t value = 99;
    EXPECT_FALSE(ByteStreamReadCompactInt(stream, &value));
    EXPECT_EQ(value, 99);
    EXPECT_LE(stream.readCalls, 5);
  }
}

TEST(CompactIntTest, ReadFaultsEndTheValue) {
  for (auto fault : {MemoryFileStream::ReadFault::kFails,
                     MemoryFileStream::ReadFault::kDeliversNothing}) {
    MemoryFileStream stream(Bytes({0x80, 0x80, 0x01}));
    stream.faults.read = fault;
    stream.faults.readFaultFrom = 1;
    int32_t value = 5;
    EXPECT_FALSE(ByteStreamReadCompactInt(stream, &value));
    EXPECT_EQ(value, 5);
    EXPECT_EQ(stream.readCalls, 2);
  }
}

// Every encoding cut short decodes to nothing and reads no byte past the
// cut (each cut is a block of its own, so a read past it shows in the
// native build).
TEST(CompactIntTest, EveryCutOfAnEncodingIsRefused) {
  for (const CompactCase& c : kCompactCases) {
    for (size_t cut = 0; cut < c.bytes.size(); ++cut) {
      SCOPED_TRACE(std::to_string(c.value) + " cut at " + std::to_string(cut));
      std::unique_ptr<uint8_t[]> bytes(new uint8_t[cut]);
      std::copy_n(c.bytes.begin(), cut, bytes.get());
      int32_t value = 77;
      EXPECT_EQ(DecodeCompactInt(cut ? bytes.get() : nullptr, cut, &value), 0);
      EXPECT_EQ(value, 77);
    }
    int32_t value = 0;
    EXPECT_EQ(DecodeCompactInt(c.bytes.data(), c.bytes.size(), &value), int32_t(c.bytes.size()));
    EXPECT_EQ(value, c.value);
  }
}

// A value whose file ends inside it is not read, whatever the swap flags;
// the variable keeps its value and the position has moved past what was
// there. Doubles are reversed only with both flags set.
TEST(MemoryByteOrderTest, ValuesCutShortAreNotRead) {
  struct Order {
    const char* name;
    bool swapBytes, swapDoubles;
    uint64_t doubleBits;  // of the whole value
  };
  const Order orders[] = {
      {"as stored", false, true, 0x000000000000F03Full},
      {"bytes swapped", true, false, 0x000000000000F03Full},
      {"bytes and doubles swapped", true, true, 0x3FF0000000000000ull},
  };
  const std::string whole = Bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
  for (const Order& order : orders) {
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
      SCOPED_TRACE(std::string(order.name) + ", cut at " + std::to_string(cut));
      MemoryFileStream stream(whole.substr(0, cut));
      if (order.swapBytes) stream.SetSwapBytes();
      stream.swapDoubles = order.swapDoubles;
      double real = 2.5;
      EXPECT_EQ(ByteStreamReadDouble(stream, &real), cut == whole.size());
      uint64_t bits;
      std::memcpy(&bits, &real, sizeof bits);
      EXPECT_EQ(bits, cut == whole.size() ? order.doubleBits : 0x4004000000000000ull);
      EXPECT_EQ(stream.GetPosition(), int32_t(cut));
      ASSERT_TRUE(stream.SetPosition(0));
      int32_t integer = 9;
      EXPECT_EQ(ByteStreamReadLong(stream, &integer), cut >= 4);
      if (cut < 4) {
        EXPECT_EQ(integer, 9);
      }
    }
  }
}

}  // namespace
