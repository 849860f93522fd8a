// The block map of a virtual volume read from damaged bytes, and a file's
// first block changing hands. Portable: runs in the native sanitizer build,
// where a read past the stored bytes shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/utility.h"
#include "files/BlockMap.h"

namespace {

struct Entry {
  uint32_t offset, fileId, sequence;
};

// The stored form with the count given, followed by the entries' bytes.
std::vector<uint8_t> Stored(uint32_t count, const std::vector<Entry>& entries) {
  std::vector<uint8_t> bytes(BlockMap::kHeadSize + BlockMap::kEntrySize * entries.size());
  PutBigEndian32(&bytes[0], BlockMap::kMagic);
  PutBigEndian32(&bytes[4], count);
  uint8_t* p = bytes.data() + BlockMap::kHeadSize;
  for (const Entry& entry : entries) {
    PutBigEndian32(p, entry.offset);
    PutBigEndian32(p + 4, entry.fileId);
    PutBigEndian32(p + 8, entry.sequence);
    p += BlockMap::kEntrySize;
  }
  return bytes;
}

// Deserializes from a block of exactly the bytes' size.
bool Read(BlockMap& map, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return map.Deserialize(exact.get(), bytes.size());
}

const std::vector<Entry> kTwoFiles = {{512, 1, 0}, {1024, 2, 0}, {1536, 1, 1}, {2048, 0, 0}};

TEST(BlockMapTest, DamagedMapsAreRefusedAndLeaveTheMapEmpty) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> otherMagic = Stored(4, kTwoFiles);
  otherMagic[0] ^= 0x20;
  std::vector<uint8_t> cutHead = Stored(0, {});
  cutHead.pop_back();
  std::vector<uint8_t> cutEntry = Stored(4, kTwoFiles);
  cutEntry.pop_back();
  const Case cases[] = {
      {"a count one past its bytes", Stored(5, kTwoFiles)},
      {"a count no buffer holds", Stored(0xFFFFFFFF, kTwoFiles)},
      {"a count that wraps the size", Stored(0x15555556, kTwoFiles)},
      {"the last entry cut short", cutEntry},
      {"the head cut short", cutHead},
      {"another magic", otherMagic},
      {"a file's first block listed again for another file",
       Stored(5, {{512, 1, 0}, {1024, 2, 0}, {1536, 1, 1}, {2048, 0, 0}, {512, 3, 0}})},
      {"a block listed twice, the second time free",
       Stored(3, {{512, 1, 0}, {1024, 1, 1}, {1024, 0, 0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BlockMap map;
    ASSERT_TRUE(Read(map, Stored(4, kTwoFiles)));
    EXPECT_FALSE(Read(map, c.bytes));
    EXPECT_EQ(map.Count(), 0u);
    EXPECT_EQ(map.FreeCount(), 0u);
    uint32_t offset = 0;
    EXPECT_FALSE(map.FindFirst(1, &offset));
    EXPECT_FALSE(map.FirstFree(&offset));
  }
}

TEST(BlockMapTest, AStoredMapReadsBackWithItsIndexes) {
  BlockMap map;
  // Fewer entries than the bytes hold: the rest is not the map's.
  ASSERT_TRUE(Read(map, Stored(3, kTwoFiles)));
  EXPECT_EQ(map.Count(), 3u);
  ASSERT_TRUE(Read(map, Stored(4, kTwoFiles)));
  EXPECT_TRUE(Read(map, map.Serialize()));
  uint32_t offset = 0;
  EXPECT_TRUE(map.FindFirst(2, &offset));
  EXPECT_EQ(offset, 1024u);
  EXPECT_TRUE(map.FirstFree(&offset));
  EXPECT_EQ(offset, 2048u);
  EXPECT_EQ(map.HighestFileId(), 2u);
}

// When a file's first block goes to another file (or is freed), the old
// file no longer finds it: it would read the other file's bytes as its own.
TEST(BlockMapTest, AFirstBlockGivenToAnotherFileIsNoLongerTheOldFiles) {
  BlockMap map;
  ASSERT_TRUE(Read(map, Stored(4, kTwoFiles)));
  uint32_t offset = 0;
  ASSERT_TRUE(map.SetEntry(512, 3, 0));
  EXPECT_FALSE(map.FindFirst(1, &offset));
  EXPECT_TRUE(map.FindFirst(3, &offset));
  EXPECT_EQ(offset, 512u);

  // Its next block taking over as the first, then the first freed.
  ASSERT_TRUE(map.SetEntry(1536, 1, 0));
  EXPECT_TRUE(map.FindFirst(1, &offset));
  EXPECT_EQ(offset, 1536u);
  ASSERT_TRUE(map.SetEntry(512, 0, 7));
  EXPECT_FALSE(map.FindFirst(3, &offset));
  EXPECT_EQ(map.FreeCount(), 2u);
  EXPECT_TRUE(map.FirstFree(&offset));
  EXPECT_EQ(offset, 512u);
  EXPECT_EQ(map.Entries()[0].sequence, 0u);  // a free block has no place in a file

  // A free block given to a file leaves the free ones.
  ASSERT_TRUE(map.SetEntry(512, 4, 0));
  EXPECT_EQ(map.FreeCount(), 1u);
  EXPECT_FALSE(map.SetEntry(4096, 4, 1));  // no such block
}

// A damaged map may name two first blocks for one file: the one added
// first counts, wherever it lies.
TEST(BlockMapTest, OfTwoFirstBlocksTheOneAddedFirstCounts) {
  BlockMap map;
  ASSERT_TRUE(Read(map, Stored(2, {{2048, 5, 0}, {512, 5, 0}})));
  uint32_t offset = 0;
  ASSERT_TRUE(map.FindFirst(5, &offset));
  EXPECT_EQ(offset, 2048u);
}

}  // namespace
