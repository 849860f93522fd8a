#include "database/storage/Journal.h"

#include <cstring>

#include "core/utility.h"

namespace {

constexpr uint32_t kFileIdAt = 32;
constexpr uint32_t kHeaderCrcAt = 40;

// Eight tables for slicing by eight: entries[k][n] is the CRC of byte n
// followed by k zero bytes, so eight input bytes fold in with eight lookups
// instead of eight dependent steps.
struct Crc32Table {
  uint32_t entries[8][256];
  Crc32Table() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
      for (int k = 1; k < 8; ++k)
        entries[k][n] = entries[0][entries[k - 1][n] & 0xFF] ^ (entries[k - 1][n] >> 8);
  }
};

uint32_t LittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t count) {
  static const Crc32Table table;
  const auto& t = table.entries;
  const auto* p = static_cast<const uint8_t*>(bytes);
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (; count >= 8; count -= 8, p += 8) {
    const uint32_t low = c ^ LittleEndian32(p);
    const uint32_t high = LittleEndian32(p + 4);
    c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
        t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; count > 0; --count, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void EncodeJournalHeader(const DBJournalHeader& header, uint8_t out[kDBJournalHeaderSize]) {
  std::memset(out, 0, kDBJournalHeaderSize);
  const uint32_t words[] = {kDBJournalMagic,      kDBJournalVersion,    header.serial,
                            header.pageCount,     header.nextRecordId, header.directoryRoot,
                            header.imageCount,    header.crc,          uint32_t(header.fileId >> 32),
                            uint32_t(header.fileId)};
  for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i) PutBigEndian32(out + 4 * i, words[i]);
  PutBigEndian32(out + kHeaderCrcAt, Crc32Update(0, out, kHeaderCrcAt));
}

bool DecodeJournalHeader(const uint8_t in[kDBJournalHeaderSize], DBJournalHeader* header) {
  if (GetBigEndian32(in) != kDBJournalMagic || GetBigEndian32(in + 4) != kDBJournalVersion)
    return false;
  header->serial = GetBigEndian32(in + 8);
  header->pageCount = GetBigEndian32(in + 12);
  header->nextRecordId = GetBigEndian32(in + 16);
  header->directoryRoot = GetBigEndian32(in + 20);
  header->imageCount = GetBigEndian32(in + 24);
  header->crc = GetBigEndian32(in + 28);
  header->fileId = uint64_t(GetBigEndian32(in + kFileIdAt)) << 32 | GetBigEndian32(in + kFileIdAt + 4);
  return header->fileId == 0 || GetBigEndian32(in + kHeaderCrcAt) == Crc32Update(0, in, kHeaderCrcAt);
}

int64_t JournalLength(uint32_t imageCount) {
  return int64_t(kDBJournalHeaderSize) + int64_t(imageCount) * kDBJournalImageSize;
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
