// The database file's layout: a 64-byte header of big-endian words, then
// pages of 8192 bytes (page n at n * 8192 + 64), each an 18-byte page header
// and up to 8174 bytes of entries packed from offset 18.
//
// Header: 0 magic, 4 version, 8 serial of the transaction last begun, 12
// transaction open (1 or 0), 16 next record id, 20 directory root, 24 and 28
// the file id (high word first), the rest zero. The file id is a random
// 64-bit number that names the file to its rollback journals (DBFile.h);
// files written before it existed hold 0 there until their next transaction.
//
// Entry offsets used throughout the engine count from the start of the data
// area (page byte 18), as the page's `used` field does.
#pragma once
#include <cstdint>

#include "core/utility.h"

constexpr uint32_t kDBHeaderSize = 64;
constexpr uint32_t kDBPageSize = 8192;
constexpr uint32_t kDBPageHeaderSize = 18;
constexpr uint32_t kDBPageDataSize = 8174;

constexpr uint32_t kDBFileMagic = 0xFEEDDBDB;
constexpr uint32_t kDBFileVersion = 1;

// Header words, by byte offset.
constexpr uint32_t kDBHeaderMagicAt = 0;
constexpr uint32_t kDBHeaderVersionAt = 4;
constexpr uint32_t kDBHeaderSerialAt = 8;
constexpr uint32_t kDBHeaderTransactionAt = 12;
constexpr uint32_t kDBHeaderNextIdAt = 16;
constexpr uint32_t kDBHeaderDirectoryRootAt = 20;
constexpr uint32_t kDBHeaderFileIdAt = 24;

// Page kinds (page bytes 0-3).
constexpr uint32_t kDBKindDirectoryLeaf = 0xBEEF0002;
constexpr uint32_t kDBKindTableLeaf = 0xBEEF0003;
constexpr uint32_t kDBKindInterior = 0x0001BEEF;

// Page header fields, by byte offset.
constexpr uint32_t kDBPageKindAt = 0;
constexpr uint32_t kDBPageChainAt = 4;
constexpr uint32_t kDBPageSerialAt = 8;
constexpr uint32_t kDBPagePreviousAt = 12;
constexpr uint32_t kDBPageUsedAt = 16;

// Ends the chain of changed pages.
constexpr uint32_t kDBNoPage = 0xFFFFFFFF;

// The most pages a file may have: positions stay below 2^31 (the streams'
// signed 32-bit positions), the last page ending at byte 2,147,475,520.
constexpr uint32_t kDBMaxPages = 262143;
// Records of this length or more are refused, as are keys longer than
// kDBMaxKeyLength (so an interior entry fills at most half a data area).
constexpr uint32_t kDBRecordLengthLimit = kDBPageDataSize + 1;
constexpr uint32_t kDBMaxKeyLength = 4075;
// A tree deeper than this is damaged.
constexpr uint32_t kDBMaxTreeDepth = 64;

// Big-endian numbers of pages and entries, read inline: walks and key
// comparisons read them at every step.
inline uint16_t DBRead16(const uint8_t* bytes) { return uint16_t(bytes[0] << 8 | bytes[1]); }
inline uint32_t DBRead32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

constexpr int64_t DBPagePosition(uint32_t page) {
  return int64_t(page) * kDBPageSize + kDBHeaderSize;
}

inline uint32_t PageKind(const uint8_t* page) { return DBRead32(page + kDBPageKindAt); }
inline uint32_t PageChain(const uint8_t* page) { return DBRead32(page + kDBPageChainAt); }
inline uint16_t PageUsed(const uint8_t* page) {
  return uint16_t(page[kDBPageUsedAt] << 8 | page[kDBPageUsedAt + 1]);
}
inline void SetPageUsed(uint8_t* page, uint16_t used) { PutBigEndian16(page + kDBPageUsedAt, used); }
inline uint8_t* PageData(uint8_t* page) { return page + kDBPageHeaderSize; }
inline const uint8_t* PageData(const uint8_t* page) { return page + kDBPageHeaderSize; }
inline bool IsLeafKind(uint32_t kind) {
  return kind == kDBKindDirectoryLeaf || kind == kDBKindTableLeaf;
}
