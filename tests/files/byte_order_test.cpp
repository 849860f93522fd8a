// The typed helpers' byte order on Win32 files (the forms over streams in
// memory are in stream_forms_test.cpp, which also runs natively).
#include <cstring>
#include <vector>

#include "FilesTestSupport.h"

namespace {

using ByteOrderTest = FilesTest;

TEST_F(ByteOrderTest, SwapBytesFlagStoresBigEndianAndClearedLittleEndian) {
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->Create(PathString(L"order.bin").get()));
  stream->SetSwapBytes();
  EXPECT_TRUE(ByteStreamWriteShort(*stream, 0x0102));
  EXPECT_TRUE(ByteStreamWriteLong(*stream, 0x01020304));
  stream->ClearSwapBytes();
  EXPECT_TRUE(ByteStreamWriteShort(*stream, 0x0102));
  EXPECT_TRUE(ByteStreamWriteLong(*stream, 0x01020304));
  EXPECT_EQ(ReadWholeFile(PathOf(L"order.bin")),
            Bytes({1, 2, 1, 2, 3, 4, 2, 1, 4, 3, 2, 1}));

  ASSERT_TRUE(stream->SetPosition(0));
  int16_t shortValue = 0;
  int32_t longValue = 0;
  stream->SetSwapBytes();
  EXPECT_TRUE(ByteStreamReadShort(*stream, &shortValue));
  EXPECT_EQ(shortValue, 0x0102);
  EXPECT_TRUE(ByteStreamReadLong(*stream, &longValue));
  EXPECT_EQ(longValue, 0x01020304);
  stream->ClearSwapBytes();
  EXPECT_TRUE(ByteStreamReadShort(*stream, &shortValue));
  EXPECT_EQ(shortValue, 0x0102);
  EXPECT_TRUE(ByteStreamReadLong(*stream, &longValue));
  EXPECT_EQ(longValue, 0x01020304);
}

TEST_F(ByteOrderTest, DoublesAreReversedOnlyWithBothFlags) {
  auto stream = NewFileStream();
  ASSERT_TRUE(stream->Create(PathString(L"double.bin").get()));
  stream->SetSwapBytes();
  EXPECT_TRUE(ByteStreamWriteDouble(*stream, 1.0));
  stream->swapDoubles = true;
  EXPECT_TRUE(ByteStreamWriteDouble(*stream, 1.0));
  EXPECT_EQ(ReadWholeFile(PathOf(L"double.bin")),
            Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));

  ASSERT_TRUE(stream->SetPosition(8));
  double value = 0;
  EXPECT_TRUE(ByteStreamReadDouble(*stream, &value));
  EXPECT_EQ(value, 1.0);
}

TEST_F(ByteOrderTest, ShortReadIsFalseLeavesValueAndPositionAtEnd) {
  auto stream = StreamOn(L"short.bin", Bytes({1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(stream->SetPosition(4));
  int32_t value = 77;
  EXPECT_FALSE(ByteStreamReadLong(*stream, &value));
  EXPECT_EQ(value, 77);
  EXPECT_EQ(stream->GetPosition(), 6);
  int16_t shortValue = 5;
  EXPECT_FALSE(ByteStreamReadShort(*stream, &shortValue));
  EXPECT_EQ(shortValue, 5);
}

}  // namespace
