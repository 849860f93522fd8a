// The container of a virtual volume: one host file holding numbered,
// growable byte files (VFS files) made of chained blocks. The hierarchical
// file system (VHFS.h) keeps every folder and file of a volume as one VFS
// file; nothing else uses this layer.
//
// Layout (binding byte for byte; u32s big-endian in every version; doubles
// big-endian from version 2 on, little-endian in version 1):
//   0   "VFSv"                 4  format version (3 when made here)
//   8   blocks, one after another to the end of the file; a block at B of
//       length L:
//       B+0  "BlkS"   B+4  owning file id (0: free)   B+8  sequence in file
//       B+12 L (double)   B+20 offset of the file's next block (double, 0: last)
//       B+28 data (L - 32 bytes)   B+L-4 "BlkE"
// File 1 is the metadata file, its first block at 8: the next free file id
// (u32), the stored block map's length (u32, 0: none) and the map itself
// (BlockMap.h); a container whose metadata block is too short to hold both
// is refused. New blocks are 1,024 bytes; freed blocks of 256 to 16,384
// bytes are reused, others never.
//
// The host file is untrusted bytes. A header passes when it reads "BlkS",
// 32 < L, B + L lies within the file and "BlkE" is at B + L - 4; doubles must
// be finite whole numbers in range. A chain continues only to a next offset
// > 0 whose header passes with the same id and the next sequence; it stops
// (keeping what precedes) at anything else, except a header the disk fails
// to deliver, which fails only the transfer that needed it. A stored map is
// used only when it deserializes, describes the blocks up to the last whole
// one and names the first block of each file opened (a mismatch rebuilds it
// once from the headers; a block the disk fails to deliver does not);
// otherwise the map is rebuilt by reading every header, resuming after a bad
// one at the next header that passes. Damage gives plain failures, is
// recorded (first kind and offset) and logged with code 10.
//
// A cut at any point (a killed process, a failing or full disk) leaves a
// container that opens in its last good state:
// - the stored map length becomes 0 at the first change after opening (so an
//   abnormal end means a rebuild); Close writes the map, then its length;
//   opening and reading write nothing;
// - a block's magic, length and trailer are written once, when it is made;
//   later only owner and sequence, or the next offset, change; new blocks go
//   after the last whole block (a torn tail is cut off at the first change;
//   after a rebuild that the disk failed to read through, they go after the
//   last byte and nothing is cut) and are linked into their chain only once
//   written;
// - blocks a cut leaves unreachable are leaked, never reused: a free block is
//   taken only when its header on disk still passes with owner 0.
//
// Transfers are few and large: headers and numbers are decoded from
// buffers; opening a file reads its first block whole; a file's blocks lying
// one after another are read in one call and copied once into the caller's
// buffer; an append writes its new blocks, data included, in one call and
// then links them. Recently read disk ranges are kept (and kept current by
// every write), so small reads within a block cost no system call.
//
// Portable: no system header. One thread uses a container.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/BlockMap.h"
#include "files/ByteStream.h"

enum class VFSDamageKind : uint8_t {
  kNone,
  kBadHeader,     // a block header that does not pass
  kBrokenChain,   // a next offset to no block of the file's next sequence
  kBadMap,        // a stored block map that cannot be used
  kShortRead,     // the host file ended or failed inside a transfer
  kBadItem,       // a file-system item whose fields cannot be right
};

struct VFSDamage {
  VFSDamageKind kind = VFSDamageKind::kNone;
  uint32_t offset = 0;
};

// A double read from disk as an offset or length: true only for a finite,
// whole value from 0 to limit.
bool CheckedDoubleToOffset(double value, uint32_t limit, uint32_t* out);

class VFSCore {
 public:
  static constexpr uint32_t kMagic = 0x56465376;        // "VFSv"
  static constexpr uint32_t kBlockStart = 0x426C6B53;   // "BlkS"
  static constexpr uint32_t kBlockEnd = 0x426C6B45;     // "BlkE"
  static constexpr uint32_t kCurrentVersion = 3;
  static constexpr uint32_t kHeaderSize = 28;
  static constexpr uint32_t kBlockOverhead = 32;
  static constexpr uint32_t kNewBlockLength = 1024;
  static constexpr uint32_t kMinReusableLength = 256;
  static constexpr uint32_t kMaxReusableLength = 16384;
  static constexpr uint32_t kMetadataFileId = 1;
  static constexpr uint32_t kMetadataPosition = 36;
  // Blocks end below this: container offsets fit the stream's signed positions.
  static constexpr uint32_t kLimit = 0x7FFFFFFF - kNewBlockLength;
  static constexpr int32_t kMaxOpenFiles = 32767;

  // A new container over the stream, which is emptied and becomes the
  // container's: the 8-byte start and the metadata block (48 bytes). Null,
  // the stream released, when a write fails.
  static std::unique_ptr<VFSCore> CreateContainer(FileStreamPtr disk);
  // The container in the stream (which becomes the container's); null, the
  // stream released unwritten, when its start, version (above 3) or metadata
  // block is refused.
  static std::unique_ptr<VFSCore> OpenContainer(FileStreamPtr disk);
  // Close.
  ~VFSCore();
  VFSCore(const VFSCore&) = delete;
  VFSCore& operator=(const VFSCore&) = delete;

  // After a change: writes the block map and then its length, and releases
  // the stream; open files' records are dropped. True when nothing failed.
  // Every later operation fails.
  bool Close();
  // Releases the stream without writing anything (a container refused
  // after opening stays as it was).
  void Abandon();
  bool IsOpen() const { return disk_ != nullptr; }
  // Values inside VFS files (written by the layer above) are big-endian from
  // version 3 on, little-endian before.
  bool ValuesBigEndian() const { return version_ >= 3; }
  // Whether opening had to rebuild the block map.
  bool RebuiltMap() const { return rebuilt_; }
  const VFSDamage& Damage() const { return damage_; }
  // How many transfers the disk failed to complete (not damage: they may
  // succeed again).
  uint32_t ShortReads() const { return shortReads_; }
  // Records damage (the first only) and logs the message with code 10.
  void NoteDamage(VFSDamageKind kind, uint32_t offset, const char* message);
  const BlockMap& Map() const { return map_; }
  uint32_t DiskLength() const { return diskLength_; }

  // A new file holding the initial bytes (at most one block's data, zeros
  // after them); its id, or 0 on failure (ids are never reused, and none is
  // given past 0xFFFFFFFE).
  uint32_t CreateVFSFile(const void* initial = nullptr, uint32_t size = 0);
  // Frees the file's blocks; false when it is open or has no first block.
  bool DeleteVFSFile(uint32_t fileId);
  // A reference to the file at position 0, or -1 (no such file, or all
  // 32,767 references in use).
  int32_t OpenFile(uint32_t fileId);
  // An invalid reference is ignored.
  void CloseFile(int32_t ref);
  bool IsFileOpen(uint32_t fileId) const;

  // Tells the record's file is about size bytes long, so that following its
  // chain takes no regrowth. Only a hint: nothing is checked against it.
  void ExpectSize(int32_t ref, uint32_t size);

  // Moves within the file's data; the very end of its last block is a
  // position, past it is not.
  bool Seek(int32_t ref, uint32_t position);
  // Reads count bytes at the position; got receives what was delivered.
  // False when fewer could be read (the file ends or the disk fails).
  bool ReadData(int32_t ref, void* buffer, uint32_t count, uint32_t* got);
  // Writes at the position, growing the file by whole blocks at its end.
  bool WriteData(int32_t ref, const void* buffer, uint32_t count);

  // From now on the record's small writes (kHeldWriteLimit bytes or fewer)
  // are held in memory while they follow one another within a block; they
  // go to disk before any other transfer, and at FlushFile, CloseFile and
  // Close. A cut loses them: they count once flushed.
  void HoldSmallWrites(int32_t ref);
  static constexpr uint32_t kHeldWriteLimit = 256;
  // Writes what the record holds; false when that fails.
  bool FlushFile(int32_t ref);


 private:
  struct Header {
    uint32_t fileId;
    uint32_t sequence;
    uint32_t length;
    uint32_t next;
  };
  struct Link {
    uint32_t offset;
    uint32_t length;
    uint32_t next;
    uint32_t dataStart;  // logical position of the first data byte
  };
  struct Chain {
    std::vector<Link> links;
    bool ended = false;  // the last link is the file's last reachable block
    int users = 0;
  };
  struct Record {
    uint32_t fileId;
    uint32_t position;
    size_t link;  // the link last used
    bool holdsWrites;
  };
  // Small writes of one record, not yet on disk.
  struct Held {
    int32_t ref = -1;
    uint32_t offset = 0;
    std::vector<uint8_t> bytes;
  };
  // A disk range kept in memory; its buffer is reused for the next range.
  struct Extent {
    uint32_t offset = 0;
    uint32_t size = 0;  // 0: holds nothing
    uint32_t stamp = 0;
    uint32_t capacity = 0;
    std::unique_ptr<uint8_t[]> bytes;
  };

  explicit VFSCore(FileStreamPtr disk);

  // Disk access.
  bool ReadAt(uint32_t offset, void* buffer, uint32_t count);
  // Sends held bytes first.
  bool WriteAt(uint32_t offset, const void* buffer, uint32_t count);
  bool DiskWrite(uint32_t offset, const void* buffer, uint32_t count);
  // Sends held bytes first; got receives what the disk gave.
  bool DiskRead(uint32_t offset, void* buffer, uint32_t count, int32_t* got);
  // Sets the disk's position unless it is there already.
  bool MoveTo(uint32_t offset);
  void PatchExtents(uint32_t offset, const void* buffer, uint32_t count);
  bool Hold(int32_t ref, uint32_t offset, const uint8_t* bytes, uint32_t count);
  bool FlushHeld();
  // The bytes at offset when a kept range holds count of them; available
  // receives how many the range holds from there.
  const uint8_t* Cached(uint32_t offset, uint32_t count, uint32_t* available = nullptr);
  // Keeps [offset, offset + span) (cut at the end of the file) in memory.
  const uint8_t* Load(uint32_t offset, uint32_t span, uint32_t need,
                      uint32_t* available = nullptr);
  void DropExtents();
  bool ReadHeader(uint32_t offset, Header* header, uint32_t span = kNewBlockLength);
  // The header's fields from bytes in memory (the trailer not checked).
  bool DecodeHeader(const uint8_t* bytes, uint32_t offset, Header* header) const;
  void EncodeHeader(uint8_t* out, uint32_t fileId, uint32_t sequence, uint32_t length,
                    uint32_t next) const;
  void EncodeDouble(uint8_t* out, double value) const;
  double DecodeDouble(const uint8_t* in) const;
  // A stored double's bits in the host's order.
  uint64_t StoredBits(const uint8_t* in) const;
  // A stored offset or length that must be whole and at most limit.
  bool DecodeOffset(const uint8_t* in, uint32_t expected, uint32_t limit, uint32_t* out) const;

  bool LoadMap();
  void RebuildMap();
  bool WriteMap();
  // Before the first change after opening: the stored map is marked stale.
  bool MarkChanged();

  Chain* ChainOf(const Record& record);
  // Follows the chain one block; false at its end (marking it ended).
  bool ExtendChain(uint32_t fileId, Chain& chain, uint32_t readAhead);
  bool ExtendTo(uint32_t fileId, Chain& chain, uint32_t position, uint32_t readAhead);
  // The link holding the record's position (remembered in the record).
  size_t LinkAt(const Chain& chain, Record& record) const;
  static uint32_t DataEnd(const Chain& chain);
  bool Append(uint32_t fileId, Chain& chain, const uint8_t* data, uint32_t count,
              uint32_t* taken);
  bool TakeFreeBlock(uint32_t* offset, uint32_t* length);
  bool LinkBlock(Chain& chain, uint32_t offset);
  Record* RecordOf(int32_t ref);
  const Record* RecordOf(int32_t ref) const;
  bool FindFirstBlock(uint32_t fileId, uint32_t* offset, Header* header);

  FileStreamPtr disk_;
  uint32_t version_ = kCurrentVersion;
  uint32_t diskLength_ = 0;
  int64_t diskPosition_ = -1;  // where the disk stands after our last transfer; -1: unknown
  uint32_t endOfBlocks_ = 8;
  uint32_t nextFileId_ = 2;
  bool changed_ = false;
  bool rebuilt_ = false;
  bool mayRebuild_ = true;
  VFSDamage damage_;
  BlockMap map_;
  std::vector<std::unique_ptr<Record>> records_;
  std::vector<int32_t> emptySlots_;
  std::unordered_map<uint32_t, Chain> chains_;
  std::vector<Extent> extents_;
  std::vector<uint8_t> run_;  // new blocks being appended
  Held held_;
  uint32_t clock_ = 0;
  uint32_t shortReads_ = 0;  // transfers the disk did not complete
};
