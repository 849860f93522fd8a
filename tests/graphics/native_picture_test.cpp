// Native pictures: creation at every depth, export and description locks,
// drawing plain, transparent and masked into a red DIB test pane, packed-DIB
// pictures and BMP data.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/GdiObjects.h"
#include "graphics/GlobalMemory.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;

// The raw bits of pixel (x, y) of a bitmap picture, right-aligned.
uint32_t RawPixel(NativePicture* picture, int32_t x, int32_t y) {
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!picture->GetPixels(&depth, &base, &rowBytes)) return 0xDEADBEEF;
  const uint8_t* row = base + size_t(y) * size_t(rowBytes);
  switch (depth) {
    case 1: return row[x / 8] >> (7 - x % 8) & 1;
    case 4: return row[x / 2] >> (x % 2 ? 0 : 4) & 0xF;
    case 8: return row[x];
    case 16: return uint32_t(row[2 * x] | row[2 * x + 1] << 8);
    case 24: return uint32_t(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    default: {
      uint32_t value;
      std::memcpy(&value, row + 4 * x, 4);
      return value;
    }
  }
}

void SetRawPixel(NativePicture* picture, int32_t x, int32_t y, uint32_t value) {
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  ASSERT_TRUE(picture->GetPixels(&depth, &base, &rowBytes));
  std::memcpy(base + size_t(y) * size_t(rowBytes) + size_t(x) * size_t(depth / 8), &value,
              size_t(depth / 8));
}

struct PictureDeleter {
  void operator()(NativePicture* picture) const { PictureRelease(picture); }
};
using PictureRef = std::unique_ptr<NativePicture, PictureDeleter>;
struct PortDeleter {
  void operator()(GraphicsPort* port) const { delete port; }
};
using PortRef = std::unique_ptr<GraphicsPort, PortDeleter>;

class NativePictureTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    pane_ = new DIBTestPane(32, 32);
    pane_->Fill(kRed);
    port_.reset(new GraphicsPort(pane_));
  }
  void TearDown() override {
    port_.reset();
    pane_->Unlock();
    HostTest::TearDown();
  }

  // A picture whose left half is white and right half black.
  PictureRef HalfDark(int32_t depth) {
    PictureRef picture(BitmapPicture::Create(8, 4, depth));
    PortRef port(picture->NewGraphics());
    port->FillRect({0, 4, 4, 8});
    return picture;
  }

  DIBTestPane* pane_ = nullptr;
  PortRef port_;
};

}  // namespace

TEST_F(NativePictureTest, NewPicturesAreWhiteAtEveryDepth) {
  const uint32_t whites[][2] = {{1, 0}, {4, 0}, {8, 215}, {16, 0x7FFF}, {24, 0xFFFFFF}, {32, 0xFFFFFF}};
  for (const auto& white : whites) {
    PictureRef picture(BitmapPicture::Create(10, 10, int32_t(white[0])));
    EXPECT_EQ(picture->Depth(), int32_t(white[0]));
    EXPECT_EQ(RawPixel(picture.get(), 9, 9) & 0xFFFFFF, white[1]) << white[0];
  }
  PictureRef two(BitmapPicture::Create(10, 10, 2));
  EXPECT_EQ(two->Depth(), 4);
  GlobalBlock exported(two->ExportPackedDIB());
  GlobalLockScope locked(exported.get());
  const uint8_t* yellow = locked.data() + 40 + 4;
  EXPECT_EQ(yellow[2], 252);
  EXPECT_EQ(yellow[1], 243);
  EXPECT_EQ(yellow[0], 5);

  PictureRef eight(BitmapPicture::Create(4, 4, 8));
  PortRef port(eight->NewGraphics());
  port->SetForeColor({0xFFFF, 0, 0});
  port->FillRect({0, 0, 4, 4});
  EXPECT_EQ(RawPixel(eight.get(), 1, 1), 180u);
}

TEST_F(NativePictureTest, PicturesWithoutBitmapDrawNothing) {
  for (int32_t depth : {0, 3, 5, 64}) {
    PictureRef picture(BitmapPicture::Create(10, 10, depth));
    EXPECT_FALSE(static_cast<BitmapPicture*>(picture.get())->HasBitmap()) << depth;
    int32_t d, rowBytes;
    uint8_t* base;
    EXPECT_FALSE(picture->GetPixels(&d, &base, &rowBytes));
    port_->DrawPicture(0, 0, picture.get(), 0, 0, 10, 10, false);
    EXPECT_EQ(pane_->Pixel(5, 5), kRed);
  }
  PictureRef wide(BitmapPicture::Create(40000, 10, 32));
  int32_t width = -1, height = -1;
  wide->GetSize(&width, &height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
  int32_t d, rowBytes;
  uint8_t* base;
  EXPECT_FALSE(wide->GetPixels(&d, &base, &rowBytes));
}

TEST_F(NativePictureTest, ExportWritesRowsBottomUpWithTheResolution) {
  PictureRef picture(BitmapPicture::Create(3, 2, 24));
  for (int x = 0; x < 3; ++x) {
    SetRawPixel(picture.get(), x, 0, 0x010203u * uint32_t(x + 1));
    SetRawPixel(picture.get(), x, 1, 0x101010u * uint32_t(x + 1));
  }
  GlobalBlock exported(picture->ExportPackedDIB());
  {
    GlobalLockScope locked(exported.get());
    ASSERT_EQ(locked.size(), 64u);
    int32_t header[10];
    std::memcpy(header, locked.data(), 40);
    const int32_t expected[10] = {40, 3, 2, 24 << 16 | 1, 0, 24, 2835, 2835, 0, 0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(header[i], expected[i]) << i;
    const uint8_t* rows = locked.data() + 40;
    EXPECT_EQ(rows[0], 0x10);   // picture row 1 first
    EXPECT_EQ(rows[9], 0);      // its padding
    EXPECT_EQ(rows[12], 0x03);  // then row 0
    EXPECT_EQ(rows[14], 0x01);
  }
  PictureRef eight(BitmapPicture::Create(5, 3, 8));
  eight->SetHResolution(144);
  GlobalBlock eightBits(eight->ExportPackedDIB());
  GlobalLockScope locked(eightBits.get());
  PackedDIBView view;
  ASSERT_TRUE(ReadPackedDIB(locked.data(), locked.size(), &view));
  EXPECT_EQ(view.colorCount, 256u);
  EXPECT_EQ(view.pixelOffset, 1064u);
  EXPECT_EQ(view.xPelsPerMeter, 5669);
}

TEST_F(NativePictureTest, DescriptionLocksCarryTheirOwnPackedDIB) {
  PictureRef picture(BitmapPicture::Create(4, 4, 32));
  auto pixelOf = [](const PictureDescription& description, int x, int y) {
    GlobalLockScope locked(description.handle);
    return reinterpret_cast<uint32_t*>(locked.data() + 40) + (3 - y) * 4 + x;
  };
  PictureDescription a{}, b{};
  picture->LockDescription(&a);
  EXPECT_EQ(a.kind, 5u);
  EXPECT_EQ(picture->ReferenceCount(), 2);
  *pixelOf(a, 1, 0) = 0x123456;
  picture->LockDescription(&b);
  EXPECT_NE(a.handle, b.handle);
  picture->UnlockDescription(&b);
  picture->UnlockDescription(&a);
  EXPECT_EQ(RawPixel(picture.get(), 1, 0), 0x123456u);
  EXPECT_EQ(picture->ReferenceCount(), 1);
}

TEST_F(NativePictureTest, NestedMemoryDCsShareOneDC) {
  PictureRef picture(BitmapPicture::Create(4, 4, 32));
  auto* bitmap = static_cast<BitmapPicture*>(picture.get());
  int32_t dcs = GdiLiveCount(GdiKind::kDC);
  uint32_t first = 0, second = 0;
  HDC outer = bitmap->AcquireMemoryDC(&first);
  HDC inner = bitmap->AcquireMemoryDC(&second);
  EXPECT_EQ(outer, inner);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 1u);
  EXPECT_EQ(GdiLiveCount(GdiKind::kDC), dcs + 1);
  bitmap->ReleaseMemoryDC(second);
  EXPECT_EQ(GdiLiveCount(GdiKind::kDC), dcs + 1);
  bitmap->ReleaseMemoryDC(first);
  EXPECT_EQ(GdiLiveCount(GdiKind::kDC), dcs);
}

TEST_F(NativePictureTest, TransparentDrawsLeaveWhiteOutAtEveryDepth) {
  for (int32_t depth : {1, 4, 8, 16, 24, 32}) {
    pane_->Fill(kRed);
    PictureRef picture = HalfDark(depth);
    int32_t builds = BitmapPicture::MaskBuildCount();
    port_->DrawPicture(0, 0, picture.get(), 0, 0, 8, 4, true);
    port_->DrawPicture(0, 8, picture.get(), 0, 0, 8, 4, true);
    EXPECT_EQ(BitmapPicture::MaskBuildCount(), builds + 1) << depth;
    EXPECT_EQ(pane_->Pixel(1, 1), kRed) << depth;
    EXPECT_EQ(pane_->Pixel(6, 1), 0u) << depth;
    EXPECT_EQ(pane_->Pixel(6, 9), 0u) << depth;

    // Drawing into the picture makes the next draw rebuild.
    PortRef painter(picture->NewGraphics());
    painter->FillRect({0, 0, 1, 1});
    painter.reset();
    port_->DrawPicture(0, 16, picture.get(), 0, 0, 8, 4, true);
    EXPECT_EQ(BitmapPicture::MaskBuildCount(), builds + 2) << depth;
    EXPECT_EQ(pane_->Pixel(0, 16), 0u) << depth;
    EXPECT_EQ(pane_->Pixel(1, 16), kRed) << depth;
  }
  PictureRef nearWhite(BitmapPicture::Create(2, 1, 32));
  SetRawPixel(nearWhite.get(), 0, 0, 0x00FFFFFE);
  PictureRef sixteen(BitmapPicture::Create(2, 1, 16));
  SetRawPixel(sixteen.get(), 0, 0, 0x7FFE);
  pane_->Fill(kRed);
  port_->DrawPicture(0, 0, nearWhite.get(), 0, 0, 2, 1, true);
  port_->DrawPicture(0, 1, sixteen.get(), 0, 0, 2, 1, true);
  EXPECT_EQ(pane_->Pixel(0, 0), 0xFFFFFEu);
  EXPECT_NE(pane_->Pixel(0, 1), kRed);
  EXPECT_EQ(pane_->Pixel(1, 0), kRed);
}

TEST_F(NativePictureTest, DescriptionChangesReachTheNextTransparentDraw) {
  PictureRef picture = HalfDark(32);
  port_->DrawPicture(0, 0, picture.get(), 0, 0, 8, 4, true);
  PictureDescription description{};
  picture->LockDescription(&description);
  {
    GlobalLockScope locked(description.handle);
    reinterpret_cast<uint32_t*>(locked.data() + 40)[3 * 8 + 0] = 0x00000080;  // top row, x 0
  }
  picture->UnlockDescription(&description);
  port_->DrawPicture(0, 8, picture.get(), 0, 0, 8, 4, true);
  EXPECT_EQ(pane_->Pixel(0, 8), 0x80u);
}

TEST_F(NativePictureTest, MaskedDrawsBlendAndAgreeWithPlainDraws) {
  PictureRef picture(BitmapPicture::Create(2, 2, 32));
  for (int i = 0; i < 4; ++i) SetRawPixel(picture.get(), i % 2, i / 2, 0xFF0000);
  PictureEnsureMask(picture.get());
  NativePicture* mask = picture->Mask();
  ASSERT_NE(mask, nullptr);
  for (int i = 0; i < 4; ++i) SetRawPixel(mask, i % 2, i / 2, 0x808080);
  SetRawPixel(mask, 1, 1, 0);
  pane_->Fill(0x0000FF);
  port_->DrawPicture(0, 0, picture.get(), 0, 0, 2, 2, false);
  EXPECT_EQ(pane_->Pixel(0, 0), 0x7F0080u);
  EXPECT_EQ(pane_->Pixel(1, 1), 0xFF0000u);
  EXPECT_EQ(pane_->Pixel(2, 2), 0x0000FFu);

  pane_->Fill(0x0000FF);
  port_->DrawPictureScaled(0, 0, 4, 4, picture.get(), 0, 0, 2, 2, false);
  EXPECT_EQ(pane_->Pixel(3, 3), 0xFF0000u);
  EXPECT_EQ(pane_->Pixel(2, 2), 0xFF0000u);
  EXPECT_EQ(pane_->Pixel(1, 1), 0x7F0080u);

  for (int32_t depth : {1, 4, 8, 16, 24}) {
    PictureRef plain = HalfDark(depth);
    PortRef painter(plain->NewGraphics());
    painter->SetForeColor({0x8000, 0x4000, 0xC000});
    painter->FillRect({0, 2, 2, 6});
    painter.reset();
    pane_->Fill(kRed);
    port_->DrawPicture(0, 0, plain.get(), 0, 0, 8, 4, false);
    std::vector<uint32_t> expected;
    for (int x = 0; x < 8; ++x) expected.push_back(pane_->Pixel(x, 1));
    PictureEnsureMask(plain.get());
    PortRef maskPainter(plain->Mask()->NewGraphics());
    maskPainter->FillRect({0, 0, 4, 8});
    maskPainter.reset();
    pane_->Fill(kRed);
    port_->DrawPicture(0, 0, plain.get(), 0, 0, 8, 4, false);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pane_->Pixel(x, 1), expected[size_t(x)]) << depth << " " << x;
  }
}

namespace {

// A 2x2 packed DIB (header size, bits, used colours, row order) whose top-left
// pixel is blue and the rest green, in a global block.
GlobalBlock TwoByTwo(uint32_t headerSize, uint16_t bits, uint32_t used, bool topDown) {
  uint32_t table = bits <= 8 ? (used ? used : 1u << bits) : 0;
  bool bitfields = bits == 16;
  uint32_t masks = bitfields && headerSize == 40 ? 12 : 0;
  uint32_t stride = DIBStride(2, bits);
  GlobalBlock block = GlobalBlock::Allocate(headerSize + masks + 4 * table + 2 * stride);
  GlobalLockScope locked(block.get());
  uint8_t* bytes = locked.data();
  BITMAPINFOHEADER header{};
  header.biSize = headerSize;
  header.biWidth = 2;
  header.biHeight = topDown ? -2 : 2;
  header.biPlanes = 1;
  header.biBitCount = bits;
  header.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
  header.biClrUsed = used;
  std::memcpy(bytes, &header, sizeof header);
  if (bitfields) {
    const uint32_t fields[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(bytes + 40, fields, 12);
  }
  uint8_t* colours = bytes + headerSize + masks;
  if (table) {
    colours[4 * 1 + 0] = 255;  // entry 1 blue
    colours[4 * 2 + 1] = 255;  // entry 2 green
  }
  uint8_t* pixels = colours + 4 * table;
  for (int row = 0; row < 2; ++row) {
    uint8_t* stored = pixels + (topDown ? row : 1 - row) * stride;
    for (int x = 0; x < 2; ++x) {
      bool blue = row == 0 && x == 0;
      if (bits == 8) {
        stored[x] = blue ? 1 : 2;
      } else if (bits == 16) {
        uint16_t value = blue ? 0x001F : 0x07E0;
        std::memcpy(stored + 2 * x, &value, 2);
      } else {
        uint32_t value = blue ? 0x0000FF : 0x00FF00;
        std::memcpy(stored + 4 * x, &value, 4);
      }
    }
  }
  return block;
}

}  // namespace

TEST_F(NativePictureTest, PackedDIBPicturesDrawUpright) {
  struct Case {
    uint32_t header;
    uint16_t bits;
    uint32_t used;
    bool topDown;
  } cases[] = {{40, 8, 0, false}, {40, 8, 16, false}, {124, 32, 0, false}, {40, 16, 0, false},
               {40, 32, 0, true}};
  for (const Case& c : cases) {
    GlobalBlock dib = TwoByTwo(c.header, c.bits, c.used, c.topDown);
    PictureRef picture(PackedDIBPicture::Create(dib.get()));
    ASSERT_TRUE(picture) << c.header << " " << c.bits;
    pane_->Fill(kRed);
    port_->DrawPicture(0, 0, picture.get(), 0, 0, 2, 2, false);
    EXPECT_EQ(pane_->Pixel(0, 0), 0x0000FFu) << c.header << " " << c.bits << " " << c.used;
    EXPECT_EQ(pane_->Pixel(1, 1), 0x00FF00u) << c.header << " " << c.bits << " " << c.used;
    PictureDescription description{};
    picture->LockDescription(&description);
    {
      // The packed DIB handed out is the one the picture was made from.
      GlobalLockScope given(dib.get()), handed(description.handle);
      ASSERT_EQ(handed.size(), given.size()) << c.header << " " << c.bits;
      EXPECT_EQ(std::memcmp(handed.data(), given.data(), given.size()), 0)
          << c.header << " " << c.bits;
    }
    picture->UnlockDescription(&description);
  }
  GlobalBlock broken = TwoByTwo(40, 8, 0, false);
  {
    GlobalLockScope locked(broken.get());
    locked.data()[0] = 41;
  }
  EXPECT_EQ(PackedDIBPicture::Create(broken.get()), nullptr);
}

namespace {

std::vector<uint8_t> BMPOf24Bits() {
  std::vector<uint8_t> file(14 + 40 + 2 * 8);
  file[0] = 'B';
  file[1] = 'M';
  uint32_t size = uint32_t(file.size()), offset = 54;
  std::memcpy(&file[2], &size, 4);
  std::memcpy(&file[10], &offset, 4);
  BITMAPINFOHEADER header{};
  header.biSize = 40;
  header.biWidth = 2;
  header.biHeight = 2;
  header.biPlanes = 1;
  header.biBitCount = 24;
  std::memcpy(&file[14], &header, 40);
  uint8_t* pixels = &file[54];
  const uint8_t bottom[6] = {0, 0, 255, 0, 255, 0};  // red, green
  const uint8_t top[6] = {255, 0, 0, 10, 20, 30};    // blue, (30,20,10)
  std::memcpy(pixels, bottom, 6);
  std::memcpy(pixels + 8, top, 6);
  return file;
}

}  // namespace

TEST_F(NativePictureTest, BMPDataGivesA32BitPictureOrNil) {
  EXPECT_EQ(PictureFromBMPData(nullptr, 0), nullptr);
  const uint8_t notBMP[] = "XX..............................................................";
  EXPECT_EQ(PictureFromBMPData(notBMP, sizeof notBMP), nullptr);

  std::vector<uint8_t> file = BMPOf24Bits();
  PictureRef picture;
  {
    GuardedBuffer guarded(file);
    picture.reset(PictureFromBMPData(guarded.data(), guarded.size()));
  }
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Depth(), 32);
  EXPECT_EQ(picture->HResolution(), 72);
  EXPECT_EQ(RawPixel(picture.get(), 0, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(RawPixel(picture.get(), 1, 0) & 0xFFFFFF, 0x1E140Au);
  EXPECT_EQ(RawPixel(picture.get(), 0, 1) & 0xFFFFFF, 0xFF0000u);

  std::vector<std::vector<uint8_t>> malformed;
  std::vector<uint8_t> beyond = file;
  beyond[2] = uint8_t(file.size() + 1);
  malformed.push_back(beyond);
  std::vector<uint8_t> truncated = file;
  truncated.resize(file.size() - 1);
  truncated[2] = uint8_t(truncated.size());
  malformed.push_back(truncated);
  for (int32_t width : {0, -2, 40000}) {
    std::vector<uint8_t> bad = file;
    std::memcpy(&bad[18], &width, 4);
    malformed.push_back(bad);
  }
  for (uint32_t headerSize : {0u, 13u, 41u, 200u}) {
    std::vector<uint8_t> bad = file;
    std::memcpy(&bad[14], &headerSize, 4);
    malformed.push_back(bad);
  }
  for (uint16_t bits : {0, 2, 7, 64}) {
    std::vector<uint8_t> bad = file;
    std::memcpy(&bad[28], &bits, 2);
    malformed.push_back(bad);
  }
  std::vector<uint8_t> overflowing = file;
  const int32_t side = 32767;
  std::memcpy(&overflowing[18], &side, 4);
  std::memcpy(&overflowing[22], &side, 4);
  overflowing[28] = 32;
  malformed.push_back(overflowing);
  for (uint32_t compression : {1u, 4u}) {
    std::vector<uint8_t> bad = file;
    std::memcpy(&bad[30], &compression, 4);
    malformed.push_back(bad);
  }
  for (const std::vector<uint8_t>& bad : malformed) {
    GuardedBuffer guarded(bad);
    EXPECT_EQ(PictureFromBMPData(guarded.data(), guarded.size()), nullptr);
  }
}
