// The packed-DIB reader on well-formed headers of every kind and on a corpus of
// malformed ones read from buffers that end at a no-access page, and the
// writer's layout.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "graphics/PackedDIB.h"
#include "testsupport/GuardedBuffer.h"

namespace {

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = uint8_t(value);
  bytes[at + 1] = uint8_t(value >> 8);
}
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

// An info-header DIB (header size given) with its table and zeroed pixels.
std::vector<uint8_t> InfoDIB(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits,
                             uint32_t compression = 0, uint32_t used = 0) {
  uint32_t table = used ? used : (bits <= 8 ? 1u << bits : 0);
  uint32_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
  uint32_t stride = DIBStride(width, bits);
  int32_t rows = height < 0 ? -height : height;
  std::vector<uint8_t> dib(headerSize + masks + 4 * table + size_t(rows) * stride);
  PutU32(dib, 0, headerSize);
  PutU32(dib, 4, uint32_t(width));
  PutU32(dib, 8, uint32_t(height));
  PutU16(dib, 12, 1);
  PutU16(dib, 14, bits);
  PutU32(dib, 16, compression);
  PutU32(dib, 32, used);
  if (compression == 3) {
    PutU32(dib, 40, 0xF800);
    PutU32(dib, 44, 0x07E0);
    PutU32(dib, 48, 0x001F);
  }
  return dib;
}

// A core-header DIB (12 bytes, 16-bit sides) with its full table of 3-byte
// entries and zeroed pixels.
std::vector<uint8_t> CoreDIB(uint16_t width, uint16_t height, uint16_t bits) {
  const uint32_t table = bits <= 8 ? 1u << bits : 0;
  std::vector<uint8_t> dib(12 + 3 * table + size_t(height) * DIBStride(width, bits));
  PutU32(dib, 0, 12);
  PutU16(dib, 4, width);
  PutU16(dib, 6, height);
  PutU16(dib, 8, 1);
  PutU16(dib, 10, bits);
  return dib;
}

std::vector<uint8_t> BMPFile(const std::vector<uint8_t>& dib) {
  std::vector<uint8_t> file(14);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, uint32_t(14 + dib.size()));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

bool ReadsGuarded(const std::vector<uint8_t>& dib, PackedDIBView* view) {
  GuardedBuffer buffer(dib);
  return ReadPackedDIB(buffer.data(), buffer.size(), view);
}

}  // namespace

TEST(PackedDIBReader, FindsPixelsAfterEveryHeaderKind) {
  PackedDIBView view;
  ASSERT_TRUE(ReadsGuarded(InfoDIB(40, 5, 3, 8), &view));
  EXPECT_EQ(view.pixelOffset, 1064u);
  EXPECT_EQ(view.stride, 8u);
  EXPECT_EQ(view.colorCount, 256u);

  ASSERT_TRUE(ReadsGuarded(InfoDIB(40, 5, 3, 8, 0, 16), &view));
  EXPECT_EQ(view.pixelOffset, 104u);

  ASSERT_TRUE(ReadsGuarded(InfoDIB(124, 2, -2, 32), &view));
  EXPECT_EQ(view.pixelOffset, 124u);
  EXPECT_TRUE(view.topDown);
  EXPECT_EQ(view.height, 2);

  ASSERT_TRUE(ReadsGuarded(InfoDIB(40, 3, 2, 16, 3), &view));
  EXPECT_EQ(view.pixelOffset, 52u);
  EXPECT_EQ(view.masks[1], 0x07E0u);
  ASSERT_TRUE(ReadsGuarded(InfoDIB(108, 3, 2, 16, 3), &view));
  EXPECT_EQ(view.pixelOffset, 108u);
  EXPECT_EQ(view.masks[0], 0xF800u);
}

// Every depth with a table reads all of it, 256 entries at 8 bits, and hands
// the last entry on as a 4-byte one.
TEST(PackedDIBReader, ReadsTheCoreHeaderWithThreeByteEntries) {
  for (uint16_t bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    const uint32_t entries = 1u << bits;
    const uint32_t pixels = 12 + 3 * entries;
    std::vector<uint8_t> dib = CoreDIB(3, 2, bits);
    dib[pixels - 1] = 0x80;  // the last entry's red
    PackedDIBView view;
    ASSERT_TRUE(ReadsGuarded(dib, &view));
    EXPECT_EQ(view.entrySize, 3u);
    EXPECT_EQ(view.colorCount, entries);
    EXPECT_EQ(view.pixelOffset, pixels);
    std::vector<uint8_t> info = NormalisedBitmapInfo(dib.data(), view);
    ASSERT_EQ(info.size(), 40u + 4 * entries);
    EXPECT_EQ(info[info.size() - 2], 0x80);
    EXPECT_EQ(info[info.size() - 1], 0);
  }
}

TEST(PackedDIBReader, NormalisedInfoKeepsRowOrderAndMasks) {
  std::vector<uint8_t> dib = InfoDIB(124, 3, -2, 16, 3);
  PackedDIBView view;
  ASSERT_TRUE(ReadPackedDIB(dib.data(), dib.size(), &view));
  std::vector<uint8_t> info = NormalisedBitmapInfo(dib.data(), view);
  ASSERT_EQ(info.size(), 52u);
  int32_t height;
  std::memcpy(&height, info.data() + 8, 4);
  EXPECT_EQ(height, -2);
  uint32_t green;
  std::memcpy(&green, info.data() + 44, 4);
  EXPECT_EQ(green, 0x07E0u);
}

TEST(PackedDIBReader, RejectsMalformedInputWithoutReadingPastIt) {
  std::vector<std::vector<uint8_t>> corpus;
  for (uint32_t size : {0u, 13u, 41u, 200u}) {
    std::vector<uint8_t> dib = InfoDIB(40, 2, 2, 24);
    PutU32(dib, 0, size);
    corpus.push_back(dib);
  }
  corpus.push_back(InfoDIB(40, 0, 2, 24));
  corpus.push_back(InfoDIB(40, 2, 0, 24));
  corpus.push_back(InfoDIB(40, 40000, 1, 1));
  std::vector<uint8_t> negativeWidth = InfoDIB(40, 2, 2, 24);
  PutU32(negativeWidth, 4, uint32_t(-2));
  corpus.push_back(negativeWidth);
  std::vector<uint8_t> minimumHeight = InfoDIB(40, 2, 2, 24);
  PutU32(minimumHeight, 8, 0x80000000u);
  corpus.push_back(minimumHeight);
  for (uint16_t bits : {0, 2, 7, 64}) {
    std::vector<uint8_t> dib = InfoDIB(40, 2, 2, 24);
    PutU16(dib, 14, bits);
    corpus.push_back(dib);
  }
  std::vector<uint8_t> tooManyColours = InfoDIB(40, 2, 2, 8, 0, 256);
  PutU32(tooManyColours, 32, 257);
  tooManyColours.resize(tooManyColours.size() + 4);
  corpus.push_back(tooManyColours);
  std::vector<uint8_t> noRoomForMasks = InfoDIB(40, 2, 2, 16);
  PutU32(noRoomForMasks, 16, 3);
  noRoomForMasks.resize(44);
  corpus.push_back(noRoomForMasks);
  corpus.push_back(InfoDIB(40, 2, 2, 24, 3));  // bitfields need 16 or 32 bits
  for (uint32_t compression : {1u, 2u, 4u, 5u}) corpus.push_back(InfoDIB(40, 2, 2, 8, compression));
  std::vector<uint8_t> truncated = InfoDIB(40, 3, 3, 24);
  truncated.pop_back();
  corpus.push_back(truncated);
  std::vector<uint8_t> overflowing = InfoDIB(40, 1, 1, 32);
  PutU32(overflowing, 4, 32767);
  PutU32(overflowing, 8, 32767);  // 32767 rows of 131068 bytes pass 2^32
  corpus.push_back(overflowing);
  corpus.push_back({40, 0});

  for (size_t i = 0; i < corpus.size(); ++i) {
    PackedDIBView view{};
    view.width = -7;
    EXPECT_FALSE(ReadsGuarded(corpus[i], &view)) << "case " << i;
    EXPECT_EQ(view.width, -7) << "case " << i;
  }
  PackedDIBView view;
  EXPECT_FALSE(ReadPackedDIB(nullptr, 100, &view));
}

TEST(PackedDIBReader, ReadsBMPFilesAndChecksTheirFileSize) {
  std::vector<uint8_t> file = BMPFile(InfoDIB(40, 3, 2, 24));
  PackedDIBView view;
  size_t start = 0;
  {
    GuardedBuffer buffer(file);
    ASSERT_TRUE(ReadBMPFile(buffer.data(), buffer.size(), &view, &start));
  }
  EXPECT_EQ(start, 14u);
  EXPECT_EQ(view.pixelOffset, 40u);

  // Files that state their full table, as most 8-bit ones do, are read.
  for (uint16_t bits : {1, 4, 8}) {
    const uint32_t entries = 1u << bits;
    GuardedBuffer stated(BMPFile(InfoDIB(40, 3, 2, bits, 0, entries)));
    ASSERT_TRUE(ReadBMPFile(stated.data(), stated.size(), &view, &start)) << bits;
    EXPECT_EQ(view.colorCount, entries);
    EXPECT_EQ(view.pixelOffset, 40 + 4 * entries);
  }

  std::vector<uint8_t> beyond = file;
  PutU32(beyond, 2, uint32_t(file.size() + 1));
  GuardedBuffer beyondBuffer(beyond);
  EXPECT_FALSE(ReadBMPFile(beyondBuffer.data(), beyondBuffer.size(), &view, &start));

  std::vector<uint8_t> notBM = file;
  notBM[0] = 'X';
  notBM[1] = 'X';
  EXPECT_FALSE(ReadBMPFile(notBM.data(), notBM.size(), &view, &start));
  EXPECT_FALSE(ReadBMPFile(nullptr, 0, &view, &start));

  std::vector<uint8_t> gap = BMPFile(InfoDIB(40, 3, 2, 24));
  gap.insert(gap.begin() + 54, 8, 0xEE);
  PutU32(gap, 2, uint32_t(gap.size()));
  PutU32(gap, 10, 62);
  ASSERT_TRUE(ReadBMPFile(gap.data(), gap.size(), &view, &start));
  EXPECT_EQ(view.pixelOffset, 48u);
  PutU32(gap, 10, 63);  // the moved pixels would pass the end
  EXPECT_FALSE(ReadBMPFile(gap.data(), gap.size(), &view, &start));
}

TEST(PackedDIBWriter, LaysOutTheExportHeader) {
  PackedDIBLayout layout;
  ASSERT_TRUE(PlanPackedDIB(3, 2, 24, 0, &layout));
  EXPECT_EQ(layout.stride, 12u);
  EXPECT_EQ(layout.pixelOffset, 40u);
  EXPECT_EQ(layout.totalSize, 64u);
  ASSERT_TRUE(PlanPackedDIB(5, 3, 8, 256, &layout));
  EXPECT_EQ(layout.pixelOffset, 1064u);
  EXPECT_FALSE(PlanPackedDIB(40000, 1, 8, 256, &layout));
  EXPECT_FALSE(PlanPackedDIB(2, 2, 8, 257, &layout));

  std::vector<uint8_t> header(40);
  WritePackedDIBHeader(header.data(), 3, 2, 24, 72, 144);
  int32_t fields[10];
  std::memcpy(fields, header.data(), 40);
  EXPECT_EQ(fields[0], 40);
  EXPECT_EQ(fields[1], 3);
  EXPECT_EQ(fields[2], 2);
  EXPECT_EQ(fields[3], 24 << 16 | 1);
  EXPECT_EQ(fields[4], 0);
  EXPECT_EQ(fields[5], 24);
  EXPECT_EQ(fields[6], 2835);
  EXPECT_EQ(fields[7], 5669);
  EXPECT_EQ(fields[8], 0);
  PackedDIBView view;
  header.resize(64);
  EXPECT_TRUE(ReadPackedDIB(header.data(), header.size(), &view));
}

// The resolution goes into every info header's fields; a core header has
// none, so it is widened to an info header first, table and rows kept.
TEST(PackedDIBWriter, SetsTheResolutionOnlyWhereTheHeaderHoldsOne) {
  for (uint32_t size : {40u, 124u}) {
    std::vector<uint8_t> dib = InfoDIB(size, 3, 2, 24);
    const std::vector<uint8_t> before = dib;
    ASSERT_TRUE(SetPackedDIBResolution(dib.data(), dib.size(), 72, 65535)) << size;
    int32_t perMetre[2];
    std::memcpy(perMetre, dib.data() + 24, 8);
    EXPECT_EQ(perMetre[0], 2835);
    EXPECT_EQ(perMetre[1], 2580118);
    std::memset(dib.data() + 24, 0, 8);
    EXPECT_EQ(dib, before);
  }
  std::vector<uint8_t> core = CoreDIB(3, 8, 1);  // longer than an info header
  ASSERT_EQ(core.size(), 12u + 3 * 2 + 8 * 4);
  core[12 + 5] = 0x80;                // the second entry's red
  core[18] = 0xA0, core[46] = 0x40;   // the first and last rows
  const std::vector<uint8_t> before = core;
  EXPECT_FALSE(SetPackedDIBResolution(core.data(), core.size(), 300, 300));
  EXPECT_EQ(core, before);
  EXPECT_FALSE(SetPackedDIBResolution(core.data(), 39, 300, 300));

  std::vector<uint8_t> widened = PackedDIBWithInfoHeader(core.data(), core.size());
  ASSERT_EQ(widened.size(), 40u + 4 * 2 + 8 * 4);
  EXPECT_TRUE(SetPackedDIBResolution(widened.data(), widened.size(), 300, 300));
  PackedDIBView view;
  ASSERT_TRUE(ReadPackedDIB(widened.data(), widened.size(), &view));
  EXPECT_EQ(view.width, 3);
  EXPECT_EQ(view.height, 8);
  EXPECT_EQ(view.xPelsPerMeter, 11811);
  EXPECT_EQ(widened[40 + 4 + 2], 0x80);
  EXPECT_EQ(widened[48], 0xA0);
  EXPECT_EQ(widened[76], 0x40);
  EXPECT_TRUE(PackedDIBWithInfoHeader(core.data(), 20).empty());
}

// Every resolution a file holds comes back whole from its pixels per metre,
// as pictures read them and the encoders write them (300 dots per inch are
// 11,811 per metre, which is 299.9994 before rounding).
TEST(PackedDIBWriter, PixelsPerMetreGiveTheResolutionBackWhole) {
  for (int32_t dpi = 1; dpi <= 65535; ++dpi) ASSERT_EQ(DotsPerInch(PixelsPerMeter(dpi)), dpi);
  for (const int32_t none : {0, -1, INT32_MIN}) EXPECT_EQ(DotsPerInch(none), 72) << none;
}

// A resolution no file holds is kept as the nearest one it does: 72 for 0 or
// less, 65,535 above.
TEST(PackedDIBWriter, AnyResolutionIsKeptAsOneAFileHolds) {
  const struct {
    int32_t set, file;
  } rows[] = {{INT32_MIN, 72}, {-72, 72},       {0, 72},          {1, 1},
              {65535, 65535},  {65536, 65535}, {INT32_MAX, 65535}};
  for (const auto& row : rows) EXPECT_EQ(FileResolution(row.set), row.file) << row.set;
}

TEST(PackedDIBWriter, FlipsRowsBetweenStrides) {
  const uint8_t source[] = {1, 2, 9, 3, 4, 9, 5, 6, 9};
  uint8_t flipped[12] = {};
  CopyRowsFlipped(source, 3, flipped, 4, 2, 3);
  const uint8_t expected[] = {5, 6, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0};
  EXPECT_EQ(0, std::memcmp(flipped, expected, sizeof expected));
}
