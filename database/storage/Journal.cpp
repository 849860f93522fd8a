#include "database/storage/Journal.h"

#include <cstring>

#include "core/utility.h"

namespace {

constexpr uint32_t kFileIdAt = 32;
constexpr uint32_t kHeaderCrcAt = 40;

struct Crc32Table {
  uint32_t entries[256];
  Crc32Table() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
  }
};

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t count) {
  static const Crc32Table table;
  const auto* p = static_cast<const uint8_t*>(bytes);
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) c = table.entries[(c ^ p[i]) & 0xFF] ^ (c >> 8);
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
