// The buffer layer over files in memory, without the system: what it holds
// reaches the file at Close, moves inside and outside what it read ahead,
// positions that count what it holds, and two streams on one file. These
// run in the native sanitizer build, where a read outside the buffer shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "files/BufferedStream.h"
#include "testsupport/MemoryFileStream.h"

namespace {

// Bytes that tell their offset: the byte at i is i mod 251.
std::string Counting(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = char(i % 251);
  return bytes;
}

std::string ReadSome(FileStream& stream, int32_t count) {
  std::string bytes(size_t(count), '\0');
  int32_t got = -1;
  EXPECT_TRUE(stream.Read(&bytes[0], count, &got));
  bytes.resize(size_t(std::max(got, 0)));
  return bytes;
}

// One file, opened twice: each stream has its own position over the same
// bytes, as two handles on a file have.
class SharedFile : public FileStream {
 public:
  explicit SharedFile(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override {
    const int32_t got =
        std::max(0, std::min(count, int32_t(bytes_->size()) - position_));
    if (got > 0) std::memcpy(buffer, bytes_->data() + position_, size_t(got));
    position_ += got;
    if (bytesRead) *bytesRead = got;
    return count >= 0;
  }
  bool Write(const void* buffer, int32_t count) override {
    if (count < 0) return false;
    if (bytes_->size() < size_t(position_ + count)) bytes_->resize(size_t(position_ + count));
    if (count > 0) std::memcpy(&(*bytes_)[size_t(position_)], buffer, size_t(count));
    position_ += count;
    return true;
  }
  bool Close() override { return true; }
  bool SetPosition(int32_t position) override {
    if (position < 0) return false;
    position_ = position;
    return true;
  }
  int32_t GetLength() override { return int32_t(bytes_->size()); }
  bool SetLength(int32_t length) override {
    bytes_->resize(size_t(length));
    return true;
  }
  int32_t GetPosition() override { return position_; }

 private:
  std::shared_ptr<std::string> bytes_;
  int32_t position_ = 0;
};

// A file on a volume with room for so many bytes: a write stores what
// fits and fails when that is not all.
class SmallVolumeFile : public MemoryFileStream {
 public:
  explicit SmallVolumeFile(int32_t room) : room(room) {}
  bool Write(const void* buffer, int32_t count) override {
    const int32_t fits = std::max(0, room - GetPosition());
    faults.writeFails = fits == 0 && count > 0;
    faults.writeChunk = fits;
    return MemoryFileStream::Write(buffer, count);
  }
  int32_t room;
};

TEST(BufferedMemoryTest, WhatIsGatheredReachesTheFileAtCloseAndAtTheEnd) {
  auto* store = new MemoryFileStream;
  {
    BufferedFileStream stream(FileStreamPtr(store), 64);
    ASSERT_TRUE(stream.Write("gathered", 8));
    EXPECT_EQ(store->Bytes(), "");
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(store->Bytes(), "gathered");
    EXPECT_FALSE(store->IsOpen());
  }
  // Destroyed without a Close (the stream below is gone with it, so the
  // bytes are looked at through a second stream on the same file).
  auto bytes = std::make_shared<std::string>();
  {
    BufferedFileStream stream(FileStreamPtr(new SharedFile(bytes)), 64);
    ASSERT_TRUE(stream.Write("left", 4));
    EXPECT_EQ(*bytes, "");
  }
  EXPECT_EQ(*bytes, "left");
}

// Moves before, inside and past what was read ahead, each read checked
// against the file; the buffer is small so that the moves leave it.
TEST(BufferedMemoryTest, ReadsAfterEveryKindOfMoveGiveTheFilesBytes) {
  const std::string file = Counting(3000);
  auto* store = new MemoryFileStream(file);
  BufferedFileStream stream(FileStreamPtr(store), 256);
  struct Move {
    int32_t to;
    int32_t count;
  };
  const Move moves[] = {
      {1000, 4},  // fills from 1000
      {900, 8},   // before the read-ahead
      {903, 4},   // inside it again
      {1160, 2},  // at its end
      {1000, 300},  // back, and more than the buffer holds
      {2990, 50},  // short at the file's end
      {0, 1},
  };
  for (const Move& move : moves) {
    SCOPED_TRACE(move.to);
    ASSERT_TRUE(stream.SetPosition(move.to));
    EXPECT_EQ(stream.GetPosition(), move.to);
    EXPECT_EQ(ReadSome(stream, move.count), file.substr(size_t(move.to), size_t(move.count)));
    EXPECT_EQ(stream.GetPosition(),
              std::min(move.to + move.count, int32_t(file.size())));
  }
}

// Position counts the bytes the layer holds, in both directions, while the
// stream below is elsewhere.
TEST(BufferedMemoryTest, PositionCountsWhatTheBufferHolds) {
  auto* store = new MemoryFileStream(Counting(1000));
  BufferedFileStream stream(FileStreamPtr(store), 128);
  EXPECT_EQ(ReadSome(stream, 3), Counting(3));
  EXPECT_EQ(store->GetPosition(), 128);
  EXPECT_EQ(stream.GetPosition(), 3);
  EXPECT_FALSE(stream.IsEOF());

  ASSERT_TRUE(stream.Write("abcde", 5));
  EXPECT_EQ(store->GetPosition(), 3);
  EXPECT_EQ(stream.GetPosition(), 8);
  ASSERT_TRUE(stream.SetPosition(stream.GetPosition()));
  EXPECT_EQ(store->Bytes().substr(0, 9), Counting(3) + "abcde" + Counting(9).substr(8));
  EXPECT_EQ(ReadSome(stream, 2), Counting(10).substr(8));

  // Past the end: the gathered bytes count in the length too.
  ASSERT_TRUE(stream.SetPosition(1000));
  ASSERT_TRUE(stream.Write("zz", 2));
  EXPECT_EQ(stream.GetPosition(), 1002);
  EXPECT_EQ(stream.GetLength(), 1002);
  EXPECT_TRUE(stream.IsEOF());
}

// A stream that read ahead, then another stream on the file writes there:
// the first reads the new bytes, never what it held.
TEST(BufferedMemoryTest, ASecondStreamNeverReadsStaleBytes) {
  auto bytes = std::make_shared<std::string>(Counting(500));
  BufferedFileStream reader(FileStreamPtr(new SharedFile(bytes)), 256);
  BufferedFileStream writer(FileStreamPtr(new SharedFile(bytes)), 256);
  EXPECT_EQ(ReadSome(reader, 2), Counting(2));

  ASSERT_TRUE(writer.SetPosition(2));
  ASSERT_TRUE(writer.Write("XY", 2));
  EXPECT_EQ(ReadSome(reader, 4), "XY" + Counting(6).substr(4));

  // And with a move inside what was read ahead before the next read.
  ASSERT_TRUE(writer.SetPosition(100));
  ASSERT_TRUE(writer.Write("new", 3));
  ASSERT_TRUE(reader.SetPosition(100));
  EXPECT_EQ(ReadSome(reader, 3), "new");
  EXPECT_EQ(reader.GetLength(), 500);

  // A write past the end is seen in the other's length and EOF.
  ASSERT_TRUE(writer.SetPosition(500));
  ASSERT_TRUE(writer.Write("+", 1));
  ASSERT_TRUE(reader.SetPosition(500));
  EXPECT_FALSE(reader.IsEOF());
  EXPECT_EQ(reader.GetLength(), 501);
  EXPECT_EQ(ReadSome(reader, 5), "+");
}

// What was read ahead ends with the main-loop turn: in one turn the reads
// come from the buffer, in the next from the file as another program left it.
TEST(BufferedMemoryTest, ReadAheadEndsWithTheTurn) {
  auto* store = new MemoryFileStream(std::string(64, 'o'));
  BufferedFileStream stream(FileStreamPtr(store), 256);
  EXPECT_EQ(ReadSome(stream, 4), "oooo");
  store->ReplaceBytes(std::string(64, 'n'));
  EXPECT_EQ(ReadSome(stream, 4), "oooo");
  const int32_t readCalls = store->readCalls;
  ForgetAllReadAhead();
  EXPECT_EQ(stream.GetPosition(), 8);
  EXPECT_EQ(ReadSome(stream, 4), "nnnn");
  EXPECT_EQ(store->readCalls, readCalls + 1);

  // A file that cannot move back (a pipe) keeps what was read ahead: those
  // bytes could not be read again.
  store->faults.seekFails = true;
  ForgetAllReadAhead();
  EXPECT_EQ(ReadSome(stream, 4), "nnnn");
  EXPECT_EQ(stream.GetPosition(), 16);
}

// A program that writes on after its volume filled: once a write-out has
// failed, each write fails at once, Position and Length stay what reached
// the file, and with room again the writes go on exactly at its end.
TEST(BufferedMemoryTest, WritesAfterAFailedWriteOutStayAtTheFilesEnd) {
  auto* file = new SmallVolumeFile(1050);
  BufferedFileStream stream(FileStreamPtr(file), 256);
  std::string record = Counting(100), expected;
  int32_t failures = 0;
  for (int32_t i = 0; i < 20; ++i) {
    record[0] = char(i);
    if (stream.Write(record.data(), 100)) {
      expected += record;
    } else {
      ++failures;
    }
  }
  EXPECT_EQ(failures, 8);  // the one that met the full volume, and each after it
  EXPECT_EQ(file->Bytes(), expected.substr(0, 1050));
  EXPECT_EQ(stream.GetPosition(), 1050);
  EXPECT_EQ(stream.GetLength(), 1050);

  file->room = 10000;
  ASSERT_TRUE(stream.Write("tail", 4));
  ASSERT_TRUE(stream.Write("more", 4));
  EXPECT_EQ(file->Bytes().size(), 1054u);  // gathering again
  EXPECT_EQ(stream.GetPosition(), 1058);
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(file->Bytes(), expected.substr(0, 1050) + "tailmore");
}

}  // namespace
