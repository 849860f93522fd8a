// The block map of a virtual-volume container: one entry per block of the
// container {block offset, owning file id (0 = free), sequence number within
// the file}, in the order the blocks were added, with the indexes the
// container needs to find a file's first block and a free block without a
// walk.
//
// Stored form (big-endian u32s), read as untrusted bytes:
//   0  "BMap"
//   4  entry count n
//   8  n entries of 12 bytes: block offset, file id, sequence number
// Deserialize refuses a buffer shorter than 8 bytes, another magic, and a
// count whose entries do not fit the buffer (n <= (length - 8) / 12, so the
// size never wraps). A repeated block offset is refused as well: one block
// cannot have two owners.
//
// Portable: no system header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

struct BlockMapEntry {
  uint32_t offset;
  uint32_t fileId;  // 0: free
  uint32_t sequence;
};

class BlockMap {
 public:
  static constexpr uint32_t kMagic = 0x424D6170;  // "BMap"
  static constexpr size_t kHeadSize = 8;
  static constexpr size_t kEntrySize = 12;

  // Appends an entry; false (nothing added) when the offset has one already.
  bool Add(uint32_t fileId, uint32_t offset, uint32_t sequence);
  // Gives the block at offset a new owner and sequence; false when no entry
  // has that offset.
  bool SetEntry(uint32_t offset, uint32_t fileId, uint32_t sequence);
  // The offset of the file's sequence-0 block; false when the map has none
  // (the first such entry counts when there are several).
  bool FindFirst(uint32_t fileId, uint32_t* offset) const;
  // The first free block (in the order the entries were added) not set
  // aside; false when there is none.
  bool FirstFree(uint32_t* offset) const;
  // A free block that cannot be reused is passed over from now on (until it
  // is freed again).
  void SetAside(uint32_t offset);
  const std::vector<BlockMapEntry>& Entries() const { return entries_; }
  size_t Count() const { return entries_.size(); }
  size_t FreeCount() const { return free_.size(); }
  // The highest file id owning a block (0 when none).
  uint32_t HighestFileId() const;
  void Clear();

  std::vector<uint8_t> Serialize() const;
  // Replaces the entries with the stored ones; false (map emptied) on a
  // refused buffer.
  bool Deserialize(const uint8_t* bytes, size_t length);

 private:
  void IndexFirst(size_t index);
  std::vector<size_t>::const_iterator Position(uint32_t offset) const;
  bool Lookup(uint32_t offset, size_t* index) const;

  std::vector<BlockMapEntry> entries_;
  std::vector<size_t> byOffset_;  // entry indexes in order of offset
  std::unordered_map<uint32_t, size_t> firstOfFile_;  // file id -> entry of sequence 0
  std::set<size_t> free_;  // entry indexes of reusable free blocks
};
