// The rollback journal beside a database ("<path>-journal"): what a commit
// or rollback needs to undo its page writes, on disk before the first of
// them and kept until its header write is done, so that a process killed in
// between can be undone at the next open (DBFile.h says how recovery
// decides). Big-endian:
//   0  u32 magic 0xFEEDDB4A      16 u32 next record id at begin
//   4  u32 version 1             20 u32 directory root at begin
//   8  u32 transaction serial    24 u32 number k of page images
//   12 u32 page count at begin   28 u32 CRC-32 (zlib) of bytes 64 to the end
//   32 u32 file id, high word    36 u32 file id, low word (as the database's
//                                       header holds it)
//   40 u32 CRC-32 of bytes 0 to 39
//   44 20 zero bytes
//   64 k images of {u32 page number, 8192 page bytes as in the file}
// A transaction that only adds pages writes a journal of no images: its page
// count and header words at begin are what recovery needs.
//
// Journals of writers that knew no file id hold zeros from byte 32 on: file
// id 0, and no header checksum to check.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t kDBJournalMagic = 0xFEEDDB4A;
constexpr uint32_t kDBJournalVersion = 1;
constexpr uint32_t kDBJournalHeaderSize = 64;
constexpr uint32_t kDBJournalImageSize = 4 + 8192;

struct DBJournalHeader {
  uint32_t serial = 0;
  uint32_t pageCount = 0;
  uint32_t nextRecordId = 0;
  uint32_t directoryRoot = 0;
  uint32_t imageCount = 0;
  uint32_t crc = 0;
  uint64_t fileId = 0;
};

// CRC-32 as zlib computes it; start with 0 and feed the bytes in pieces.
uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t count);

// Writes the header with its checksum.
void EncodeJournalHeader(const DBJournalHeader& header, uint8_t out[kDBJournalHeaderSize]);
// False unless magic and version are right and, in a journal naming its
// file, the header checksum holds.
bool DecodeJournalHeader(const uint8_t in[kDBJournalHeaderSize], DBJournalHeader* header);
// The length of a complete journal with that many images.
int64_t JournalLength(uint32_t imageCount);
