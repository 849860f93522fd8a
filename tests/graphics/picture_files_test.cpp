// Picture files: BMP files through the run-time's own reader (every header
// form, bitfields, gaps, run-length runs checked against the platform's
// decode), other images through the platform's decoders (exact pixels,
// frames, limits), and FolderItem.OpenAsPicture over both.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/runFolderItem.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureClass.h"
#include "graphics/PictureFiles.h"
#include "graphics/Shapes2D.h"
#include "graphics/RunLengthPixels.h"
#include "graphics/GdiObjects.h"
#include "graphics/MetafileImport.h"
#include "testsupport/EmfWriter.h"
#include "testsupport/FakeQuickTime.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/ImageFileWriter.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/SeededMutations.h"

namespace {

struct PictureDeleter {
  void operator()(NativePicture* picture) const { PictureRelease(picture); }
};
using PictureRef = std::unique_ptr<NativePicture, PictureDeleter>;
using ColourOf = std::function<uint32_t(int32_t x, int32_t y)>;

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = uint8_t(value), bytes[at + 1] = uint8_t(value >> 8);
}
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

// Every pixel of a picture as 0xRRGGBB, top row first: the picture painted
// onto a 32-bit one by GDI.
std::vector<uint32_t> ColoursOf(NativePicture* picture, int32_t* width, int32_t* height) {
  picture->GetSize(width, height);
  BitmapPicture* deep = BitmapPicture::Create(*width, *height, 32);
  deep->CopyFromPicture(picture);
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  std::vector<uint32_t> colours;
  if (deep->GetPixels(&depth, &base, &rowBytes)) {
    for (int32_t y = 0; y < *height; ++y) {
      for (int32_t x = 0; x < *width; ++x) {
        uint32_t value;
        std::memcpy(&value, base + size_t(y) * size_t(rowBytes) + 4 * size_t(x), 4);
        colours.push_back(value & 0xFFFFFF);
      }
    }
  }
  PictureRelease(deep);
  return colours;
}

std::vector<uint32_t> Expected(int32_t width, int32_t height, const ColourOf& colour) {
  std::vector<uint32_t> colours;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) colours.push_back(colour(x, y));
  }
  return colours;
}

// A BMP file: header of any size, masks, colour table (0xRRGGBB entries), a
// gap before the pixels that bfOffBits skips, and the pixel bytes as stored.
struct BMPSpec {
  uint32_t headerSize = 40;
  int32_t width = 0, height = 0;  // a negative height is stored top-down
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> masks;
  std::vector<uint32_t> table;
  std::vector<uint8_t> pixels;
  uint32_t gap = 0;
  int32_t pelsPerMeter = 2835;
  uint32_t sizeImage = 0;
};

std::vector<uint8_t> BMPBytes(const BMPSpec& spec) {
  const bool masksAfterHeader = spec.headerSize == 40 && !spec.masks.empty();
  const size_t tableStart = 14 + spec.headerSize + (masksAfterHeader ? 12 : 0);
  const size_t pixelStart = tableStart + 4 * spec.table.size() + spec.gap;
  std::vector<uint8_t> file(pixelStart + spec.pixels.size());
  file[0] = 'B', file[1] = 'M';
  PutU32(file, 2, uint32_t(file.size()));
  PutU32(file, 10, uint32_t(pixelStart));
  PutU32(file, 14, spec.headerSize);
  PutU32(file, 18, uint32_t(spec.width));
  PutU32(file, 22, uint32_t(spec.height));
  PutU16(file, 26, 1);
  PutU16(file, 28, spec.bitCount);
  PutU32(file, 30, spec.compression);
  PutU32(file, 34, spec.sizeImage);
  PutU32(file, 38, uint32_t(spec.pelsPerMeter));
  PutU32(file, 42, uint32_t(spec.pelsPerMeter));
  PutU32(file, 46, uint32_t(spec.table.size()));
  for (size_t i = 0; i < spec.masks.size(); ++i) PutU32(file, 54 + 4 * i, spec.masks[i]);
  for (size_t i = 0; i < spec.table.size(); ++i) PutU32(file, tableStart + 4 * i, spec.table[i]);
  std::memcpy(file.data() + pixelStart, spec.pixels.data(), spec.pixels.size());
  return file;
}

// Rows as a DIB stores them (bottom-up unless top-down), each pixel's stored
// value from the function.
std::vector<uint8_t> Rows(int32_t width, int32_t height, uint16_t bitCount, bool topDown,
                          const std::function<uint32_t(int32_t, int32_t)>& stored) {
  const uint32_t stride = DIBStride(width, bitCount);
  std::vector<uint8_t> rows(size_t(stride) * size_t(height));
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = &rows[size_t(topDown ? y : height - 1 - y) * stride];
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t value = stored(x, y);
      if (bitCount == 4) {
        row[x / 2] |= uint8_t(x % 2 ? value : value << 4);
      } else {
        for (int32_t b = 0; b < bitCount / 8; ++b) row[x * bitCount / 8 + b] = uint8_t(value >> (8 * b));
      }
    }
  }
  return rows;
}

uint32_t Gradient(int32_t x, int32_t y) { return uint32_t(x * 40) << 16 | uint32_t(y * 70) << 8 | 0x33; }

const std::vector<uint32_t> kTable = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xFFFF00,
                                      0x00FFFF, 0xFFFFFF, 0x400080};

std::wstring WriteBMP(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::wstring path = TestFilePath(name);
  EXPECT_TRUE(WriteTestBytes(path, bytes));
  return path;
}

NativePicture* Open(const std::wstring& path, int32_t index = 1) {
  return OpenPictureFile(Utf8OfTestPath(path).c_str(), index);
}

class PictureFilesTest : public HostTest {};

}  // namespace

// ---- BMP files -------------------------------------------------------------------

TEST_F(PictureFilesTest, BMPFilesOfEveryFormGiveTheirPixelsAtTheirDepth) {
  auto index = [](int32_t x, int32_t y) { return uint32_t(x + 2 * y) % 9; };
  auto fromTable = [&](int32_t x, int32_t y) { return kTable[index(x, y)]; };
  // 5-6-5 channels at their extremes, which every expansion keeps exact.
  auto extremes = [](int32_t x, int32_t y) {
    return (x % 2 ? 0xFF0000u : 0) | (y % 2 ? 0x00FF00u : 0) | ((x + y) % 3 ? 0x0000FFu : 0);
  };
  auto as565 = [&](int32_t x, int32_t y) {
    uint32_t rgb = extremes(x, y);
    return (rgb & 0xFF0000 ? 0xF800u : 0) | (rgb & 0xFF00 ? 0x07E0u : 0) | (rgb & 0xFF ? 0x1Fu : 0);
  };
  struct Case {
    const char* name;
    BMPSpec spec;
    ColourOf colour;
  };
  const int32_t w = 7, h = 5;
  std::vector<Case> cases = {
      {"24-bit", {40, w, h, 24, 0, {}, {}, Rows(w, h, 24, false, Gradient)}, Gradient},
      {"24-bit top-down", {40, w, -h, 24, 0, {}, {}, Rows(w, h, 24, true, Gradient)}, Gradient},
      {"8-bit", {40, w, h, 8, 0, {}, kTable, Rows(w, h, 8, false, index)}, fromTable},
      {"4-bit", {40, w, h, 4, 0, {}, kTable, Rows(w, h, 4, false, index)}, fromTable},
      {"V5 32-bit bitfields",
       {124, w, h, 32, 3, {0xFF0000, 0xFF00, 0xFF}, {}, Rows(w, h, 32, false, Gradient)},
       Gradient},
      {"5-6-5", {40, w, h, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, Rows(w, h, 16, false, as565)},
       extremes},
      {"gap before the pixels", {40, w, h, 24, 0, {}, {}, Rows(w, h, 24, false, Gradient), 6},
       Gradient},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureRef picture(Open(WriteBMP("photo.BMP", BMPBytes(c.spec))));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Depth(), c.spec.bitCount);
    int32_t width = 0, height = 0;
    EXPECT_EQ(ColoursOf(picture.get(), &width, &height), Expected(w, h, c.colour));
  }
}

TEST_F(PictureFilesTest, BMPResolutionIsPixelsPerMetreInInchesOr72) {
  for (auto [perMetre, dpi] : {std::pair{2835, 72}, {5669, 144}, {0, 72}, {-100, 72}}) {
    BMPSpec spec{40, 2, 2, 24, 0, {}, {}, Rows(2, 2, 24, false, Gradient)};
    spec.pelsPerMeter = perMetre;
    PictureRef picture(ReadBMPFile(Utf8OfTestPath(WriteBMP("dpi.bmp", BMPBytes(spec))).c_str()));
    ASSERT_TRUE(picture) << perMetre;
    EXPECT_EQ(picture->HResolution(), dpi) << perMetre;
    EXPECT_EQ(picture->VResolution(), dpi) << perMetre;
  }
}

TEST_F(PictureFilesTest, DamagedBMPFilesGiveNone) {
  const std::vector<uint8_t> good = BMPBytes({40, 4, 4, 24, 0, {}, {}, Rows(4, 4, 24, false, Gradient)});
  std::vector<std::pair<const char*, std::vector<uint8_t>>> damaged;
  damaged.emplace_back("truncated", std::vector<uint8_t>(good.begin(), good.end() - 1));
  damaged.back().second[2] = 0;  // bfSize 0: the file's length, one byte short
  std::vector<uint8_t> sizePast = good;
  PutU32(sizePast, 2, uint32_t(good.size() + 1));
  damaged.emplace_back("bfSize past the file", sizePast);
  std::vector<uint8_t> hugeSize = good;
  PutU32(hugeSize, 2, 0xFFFFFFF0u);
  damaged.emplace_back("huge bfSize", hugeSize);
  std::vector<uint8_t> offPast = good;
  PutU32(offPast, 10, uint32_t(good.size()));
  damaged.emplace_back("bfOffBits past the pixels", offPast);
  damaged.emplace_back("not BM", std::vector<uint8_t>(good.begin() + 2, good.end()));
  damaged.emplace_back("empty", std::vector<uint8_t>());
  for (const auto& [name, bytes] : damaged) {
    EXPECT_EQ(Open(WriteBMP("damaged.bmp", bytes)), nullptr) << name;
  }
  EXPECT_EQ(Open(TestFilePath("missing.bmp")), nullptr);
}

// ---- Run-length BMP files ------------------------------------------------------------

namespace {

// The platform's own decode of a run-length file: GDI draws it onto a
// 32-bit picture filled with colour 0 of its table first (the colour of
// the pixels the runs skip).
std::vector<uint32_t> PlatformDecode(const std::vector<uint8_t>& file, int32_t width, int32_t height) {
  BitmapPicture* target = BitmapPicture::Create(width, height, 32);
  uint32_t token = 0;
  HDC dc = target->AcquireMemoryDC(&token);
  const uint32_t background = kTable[0];
  HBRUSH brush = CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
  RECT whole{0, 0, width, height};
  FillRect(dc, &whole, brush);
  DeleteObject(brush);
  uint32_t pixelStart;
  std::memcpy(&pixelStart, &file[10], 4);
  StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, &file[pixelStart],
                reinterpret_cast<const BITMAPINFO*>(&file[14]), DIB_RGB_COLORS, SRCCOPY);
  target->ReleaseMemoryDC(token);
  int32_t w = 0, h = 0;
  std::vector<uint32_t> colours = ColoursOf(target, &w, &h);
  PictureRelease(target);
  return colours;
}

}  // namespace

TEST_F(PictureFilesTest, RunLengthFilesExpandAsThePlatformDrawsThem) {
  struct Case {
    const char* name;
    uint16_t bitCount;
    uint32_t compression;
    int32_t width, height;
    std::vector<uint8_t> runs;
  };
  const std::vector<Case> cases = {
      {"RLE8: runs, an odd literal, a skipped row, a delta",
       8, kDIBCompressionRLE8, 6, 4,
       {3, 1, 0, 3, 2, 3, 4, 0, 0, 0,  // row 0: 1 1 1 2 3 4
        0, 2, 2, 1,                    // row 1 skipped; to x 2 of row 2
        2, 5, 0, 0,                    // row 2: _ _ 5 5 _ _
        0, 4, 1, 2, 3, 4, 2, 2, 0, 1}},
      {"RLE4: alternating runs, a literal with a half byte", 4, kDIBCompressionRLE4, 6, 2,
       {5, 0x12, 1, 0x30, 0, 0, 0, 5, 0x45, 0x67, 0x80, 0x00, 0, 1}},
      {"RLE8 ending at its end-of-bitmap mid-image", 8, kDIBCompressionRLE8, 4, 3, {4, 7, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BMPSpec spec{40, c.width, c.height, c.bitCount, c.compression, {}, kTable, c.runs};
    spec.sizeImage = uint32_t(c.runs.size());
    const std::vector<uint8_t> file = BMPBytes(spec);
    PictureRef picture(Open(WriteBMP("runs.bmp", file)));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Depth(), c.bitCount);
    int32_t width = 0, height = 0;
    EXPECT_EQ(ColoursOf(picture.get(), &width, &height), PlatformDecode(file, c.width, c.height));
  }
}

TEST_F(PictureFilesTest, DamagedRunsAreRefusedWithinTheirBuffers) {
  struct Case {
    const char* name;
    uint32_t compression;
    std::vector<uint8_t> runs;
  };
  const std::vector<Case> cases = {
      {"run past its row", kDIBCompressionRLE8, {7, 1, 0, 1}},
      {"RLE4 run past its row", kDIBCompressionRLE4, {7, 0x11, 0, 1}},
      {"literal past its row", kDIBCompressionRLE8, {3, 1, 0, 4, 1, 2, 3, 4, 0, 1}},
      {"delta past the image", kDIBCompressionRLE8, {0, 2, 0, 5, 0, 1}},
      {"delta past the row", kDIBCompressionRLE8, {0, 2, 7, 0, 0, 1}},
      {"pixels after the last row", kDIBCompressionRLE8, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1}},
      {"literal cut off", kDIBCompressionRLE8, {0, 4, 1, 2}},
      {"literal padding cut off", kDIBCompressionRLE8, {0, 3, 1, 2, 3}},
      {"delta cut off", kDIBCompressionRLE8, {0, 2, 1}},
      {"no end of bitmap", kDIBCompressionRLE8, {3, 1}},
      {"escape cut off", kDIBCompressionRLE8, {0}},
      {"empty", kDIBCompressionRLE8, {}},
      {"unknown compression", 3, {0, 1}},
  };
  const int32_t width = 6, height = 4;
  for (const Case& c : cases) {
    GuardedBuffer runs(c.runs);
    const uint32_t stride = DIBStride(width, c.compression == kDIBCompressionRLE4 ? 4 : 8);
    GuardedBuffer rows(std::vector<uint8_t>(size_t(stride) * height));
    EXPECT_FALSE(ExpandRunLengthPixels(runs.data(), runs.size(), c.compression, width, height,
                                       rows.data(), stride))
        << c.name;
  }
  // Through the file reader: run-length forms the format does not have.
  BMPSpec topDown{40, 4, -2, 8, kDIBCompressionRLE8, {}, kTable, {4, 1, 0, 1}};
  BMPSpec wrongDepth{40, 4, 2, 4, kDIBCompressionRLE8, {}, kTable, {4, 1, 0, 1}};
  BMPSpec damagedRuns{40, 4, 2, 8, kDIBCompressionRLE8, {}, kTable, {9, 1, 0, 1}};
  for (const BMPSpec& spec : {topDown, wrongDepth, damagedRuns}) {
    EXPECT_EQ(Open(WriteBMP("badruns.bmp", BMPBytes(spec))), nullptr);
  }
}

// ---- Other formats through the platform's decoders -------------------------------------

class PictureImportTest : public HostTest {};

TEST_F(PictureImportTest, PNGAndJPEGGiveTheDecodersPixels) {
  ASSERT_TRUE(PictureImportQuickTimeReady());
  const TestImage image = MakeTestImage(40, 30, [](int32_t x, int32_t y) {
    return uint32_t(x * 6) << 16 | uint32_t(y * 8) << 8 | uint32_t((x ^ y) * 5);
  });
  for (auto [name, format] : {std::pair{"a.png", TestImageFormat::kPNG}, {"a.jpg", TestImageFormat::kJPEG}}) {
    SCOPED_TRACE(name);
    const std::wstring path = TestFilePath(name);
    ASSERT_TRUE(WriteTestImageFile(path, format, {image}));
    const TestImage decoded = format == TestImageFormat::kPNG ? image : DecodeWithPlatform(path, 0);
    PictureRef picture(Open(path));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Depth(), 24);
    int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
    uint8_t* base = nullptr;
    picture->GetSize(&width, &height);
    ASSERT_EQ(width, 40);
    ASSERT_EQ(height, 30);
    ASSERT_TRUE(picture->GetPixels(&depth, &base, &rowBytes));
    for (int32_t y = 0; y < height; ++y) {
      ASSERT_EQ(std::memcmp(base + size_t(y) * size_t(rowBytes), &decoded.bgr[size_t(y) * 120], 120), 0)
          << "row " << y;
    }
    EXPECT_EQ(picture->ImageList(), nullptr);
  }
}

TEST_F(PictureImportTest, GIFFramesAreImagesOfOnePicture) {
  const uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  std::vector<TestImage> frames;
  for (uint32_t colour : colours) {
    frames.push_back(MakeTestImage(8, 6, [colour](int32_t, int32_t) { return colour; }));
  }
  const std::wstring path = TestFilePath("frames.gif");
  ASSERT_TRUE(WriteTestImageFile(path, TestImageFormat::kGIF, frames));

  PictureObject* picture = WrapNativePicture(Open(path, 2));
  ASSERT_NE(picture, nullptr);
  ObjectRef object = ObjectRef::Adopt(&picture->header);
  int32_t width = 0, height = 0;
  EXPECT_EQ(ColoursOf(picture->nativePicture, &width, &height),
            std::vector<uint32_t>(48, colours[1]));
  EXPECT_EQ(picture->nativePicture->Depth(), 32);
  EXPECT_EQ(pictureImageCountGetter(object.get(), 0), 3);
  ObjectRef third = ObjectRef::Adopt(pictureIndexedImage(object.get(), 3));
  ASSERT_TRUE(third);
  NativePicture* thirdNative = reinterpret_cast<PictureObject*>(third.get())->nativePicture;
  EXPECT_EQ(ColoursOf(thirdNative, &width, &height), std::vector<uint32_t>(48, colours[2]));
  EXPECT_EQ(Open(path, 4), nullptr);
}

TEST_F(PictureImportTest, OversizedAndUnknownFilesGiveNone) {
  const std::wstring wide = TestFilePath("wide.png");
  ASSERT_TRUE(WriteTestImageFile(wide, TestImageFormat::kPNG,
                                 {MakeTestImage(40000, 1, [](int32_t x, int32_t) { return uint32_t(x); })}));
  EXPECT_EQ(Open(wide), nullptr);
  EXPECT_EQ(ImportPictureWithQuickTime(Utf8OfTestPath(wide).c_str()), nullptr);

  std::vector<uint8_t> noise(3000);
  uint32_t seed = 12345;
  for (uint8_t& byte : noise) byte = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  const std::wstring random = TestFilePath("x.png");
  ASSERT_TRUE(WriteTestBytes(random, noise));
  EXPECT_EQ(Open(random), nullptr);
  EXPECT_EQ(Open(TestFilePath("missing.png")), nullptr);
  EXPECT_EQ(OpenPictureFile(nullptr, 1), nullptr);
}

TEST_F(PictureImportTest, FolderItemsOpenPictureFiles) {
  const std::wstring png = TestFilePath("item.png");
  ASSERT_TRUE(WriteTestImageFile(png, TestImageFormat::kPNG,
                                 {MakeTestImage(12, 9, [](int32_t, int32_t) { return 0x336699u; })}));
  const std::wstring bmp =
      WriteBMP("item.bmp", BMPBytes({40, 5, 3, 24, 0, {}, {}, Rows(5, 3, 24, false, Gradient)}));
  struct Case {
    std::wstring path;
    const char* method;
    int32_t width, height;
  };
  for (const Case& c : {Case{png, "OpenAsPicture", 12, 9}, Case{bmp, "OpenAsPicture", 5, 3},
                        Case{png, "OpenAsVectorPicture", 12, 9}}) {
    StringRef path = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(c.path).c_str()));
    ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(path.get()));
    ASSERT_TRUE(item);
    ObjectRef picture = ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), c.method));
    ASSERT_TRUE(picture) << c.method;
    EXPECT_EQ(GetProperty<int32_t>(picture.get(), "Width"), c.width);
    EXPECT_EQ(GetProperty<int32_t>(picture.get(), "Height"), c.height);
  }
}

// ---- QuickTime's importer (the fake backend) -------------------------------------------

TEST_F(PictureImportTest, QuickTimesImporterDrawsIntoThePicturesPixels) {
  FakeQuickTime quickTime;
  ASSERT_TRUE(PictureImportQuickTimeReady());
  struct Case {
    const char* name;
    MacRect natural;  // top, left, bottom, right
    int32_t depth, expectedDepth;
  };
  const Case cases[] = {
      {"moved bounds", {5, 5, 35, 45}, 32, 32},
      {"grey-scale depth 40", {0, 0, 30, 40}, 40, 32},
      {"no depth", {0, 0, 30, 40}, 0, 32},
      {"24 bits", {0, 0, 30, 40}, 24, 24},
      {"16 bits", {0, 0, 30, 40}, 16, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quickTime.importerScript.natural = c.natural;
    quickTime.importerScript.depth = c.depth;
    quickTime.importerScript.colour = 0x00FF00;
    quickTime.currentPort = nullptr;
    PictureRef picture(OpenPictureFile("C:\\pictures\\a.png", 1));
    ASSERT_TRUE(picture);
    const QtComponentData& importer = quickTime.importers.back();
    EXPECT_EQ(importer.closed, 1);
    EXPECT_EQ(picture->Depth(), c.expectedDepth);
    int32_t width = 0, height = 0;
    EXPECT_EQ(ColoursOf(picture.get(), &width, &height), std::vector<uint32_t>(1200, 0x00FF00));
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 30);
    const bool moved = c.natural.top != 0;
    ASSERT_EQ(importer.boundsSet.size(), moved ? 1u : 0u);
    if (moved) {
      EXPECT_EQ(importer.boundsSet[0].bottom, 30);
    }
    EXPECT_EQ(quickTime.currentPort, nullptr);  // restored
    EXPECT_EQ(quickTime.worlds.back().disposed, 1);
  }
  EXPECT_EQ(quickTime.importedFiles.back(), "C:\\pictures\\a.png");
}

TEST_F(PictureImportTest, QuickTimesFailuresGiveNoneAndCloseTheImporter) {
  FakeQuickTime quickTime;
  quickTime.importerScript.natural = {0, 0, 30, 40};
  quickTime.importerScript.drawFails = true;
  EXPECT_EQ(OpenPictureFile("a.png", 1), nullptr);
  EXPECT_EQ(quickTime.importers.back().closed, 1);
  quickTime.importerScript.drawFails = false;
  quickTime.importerScript.natural = {0, 10, 30, 5};  // inverted: no size
  EXPECT_EQ(OpenPictureFile("a.png", 1), nullptr);
  EXPECT_EQ(quickTime.importers.back().closed, 1);
  quickTime.importerOpenFails = true;
  EXPECT_EQ(ImportPictureWithQuickTime("a.png"), nullptr);

  // Several images: the index is selected and the count kept as the list.
  quickTime.importerOpenFails = false;
  quickTime.importerScript.natural = {0, 0, 3, 4};
  quickTime.importerScript.imageCount = 3;
  PictureRef second(OpenPictureFile("frames.gif", 2));
  ASSERT_TRUE(second);
  EXPECT_EQ(quickTime.importers.back().indexes, std::vector<int32_t>({2}));
  ASSERT_NE(second->ImageList(), nullptr);
  EXPECT_EQ(second->ImageList()->ImageCount(), 3);
  EXPECT_EQ(OpenPictureFile("frames.gif", 4), nullptr);
  EXPECT_EQ(quickTime.importers.back().closed, 1);

  // BMP files stay with the run-time's own reader.
  const size_t opened = quickTime.importedFiles.size();
  PictureRef bmp(Open(WriteBMP("photo.BMP", BMPBytes({40, 2, 2, 24, 0, {}, {}, Rows(2, 2, 24, false, Gradient)}))));
  EXPECT_TRUE(bmp);
  EXPECT_EQ(quickTime.importedFiles.size(), opened);
}

// ---- A corpus of damaged files -----------------------------------------------------------

namespace {

std::vector<uint8_t> FileBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(uint8_t(c));
    std::fclose(file);
  }
  return bytes;
}

// What a damaged file must leave as it found: the run-time's GDI objects
// by kind and the native pictures alive.
std::vector<int32_t> LiveCounts() {
  std::vector<int32_t> counts;
  for (GdiKind kind : {GdiKind::kPen, GdiKind::kBrush, GdiKind::kPatternBitmap, GdiKind::kDIBSection,
                       GdiKind::kCompatibleBitmap, GdiKind::kRegion, GdiKind::kPalette, GdiKind::kDC}) {
    counts.push_back(GdiLiveCount(kind));
  }
  int32_t tracked = 0;
  for (TrackedObject* at = TrackedObject::MostRecentlyUsed(); at; at = at->LessRecentlyUsed()) ++tracked;
  counts.push_back(tracked);
  counts.push_back(int32_t(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)));
  return counts;
}

}  // namespace

TEST_F(PictureImportTest, DamagedFilesOfEveryKindImportWithoutLeaks) {
  struct Seed {
    const char* extension;
    std::vector<uint8_t> bytes;
  };
  std::vector<Seed> seeds;
  seeds.push_back({"emf", EveryRecordEMF()});
  const std::wstring wmf = TestFilePath("seed.wmf");
  HDC dc = CreateMetaFileW(wmf.c_str());
  Rectangle(dc, 1, 1, 9, 9);
  Ellipse(dc, 2, 2, 8, 8);
  DeleteMetaFile(CloseMetaFile(dc));
  seeds.push_back({"wmf", FileBytes(wmf)});
  auto index = [](int32_t x, int32_t y) { return uint32_t(x + y) % 9; };
  const std::vector<BMPSpec> bmps = {
      {40, 5, 3, 24, 0, {}, {}, Rows(5, 3, 24, false, Gradient)},
      {40, 5, 3, 8, 0, {}, kTable, Rows(5, 3, 8, false, index)},
      {40, 6, 2, 4, kDIBCompressionRLE4, {}, kTable, {5, 0x12, 1, 0x30, 0, 0, 0, 5, 0x45, 0x67, 0x80, 0, 0, 1}, 0, 2835, 14},
      {124, 5, 3, 32, 3, {0xFF0000, 0xFF00, 0xFF}, {}, Rows(5, 3, 32, false, Gradient)},
      {40, 5, 3, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, Rows(5, 3, 16, false, index)},
      {40, 6, 2, 8, kDIBCompressionRLE8, {}, kTable, {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 6, 2, 0, 1}, 0, 2835, 14},
  };
  for (const BMPSpec& spec : bmps) seeds.push_back({"bmp", BMPBytes(spec)});
  const TestImage small = MakeTestImage(8, 6, [](int32_t x, int32_t y) { return Gradient(x, y); });
  for (auto [extension, format] : {std::pair{"png", TestImageFormat::kPNG}, {"jpg", TestImageFormat::kJPEG},
                                   {"gif", TestImageFormat::kGIF}}) {
    const std::wstring path = TestFilePath(std::string("seed.") + extension);
    std::vector<TestImage> frames(format == TestImageFormat::kGIF ? 2 : 1, small);
    ASSERT_TRUE(WriteTestImageFile(path, format, frames));
    seeds.push_back({extension, FileBytes(path)});
  }

  // Unharmed, the metafile gives a shape of every kind.
  const std::wstring emf = TestFilePath("seed.emf");
  ASSERT_TRUE(WriteTestBytes(emf, seeds[0].bytes));
  int32_t width = 0, height = 0;
  ObjectRef group = ObjectRef::Adopt(ImportMetafileFile(Utf8OfTestPath(emf).c_str(), &width, &height));
  ASSERT_TRUE(group);
  EXPECT_EQ(Group2DCount(group.get(), 0), 11);
  group = ObjectRef();

  const std::vector<int32_t> baseline = LiveCounts();
  const uint32_t casesPerSeed = 110;
  for (size_t s = 0; s < seeds.size(); ++s) {
    const Seed& seed = seeds[s];
    ASSERT_FALSE(seed.bytes.empty()) << seed.extension;
    // The file under test stays on disk, under a name of its kind, should it end the run.
    const std::wstring path = TestFilePath(std::string("corpus.") + seed.extension);
    for (uint32_t n = 0; n < casesPerSeed; ++n) {
      const std::vector<uint8_t> bytes = MutatedCase(seed.bytes, uint32_t(s) * 1000 + n);
      ASSERT_TRUE(WriteTestBytes(path, bytes));
      const std::string utf8 = Utf8OfTestPath(path);
      int32_t width = 0, height = 0;
      if (std::string(seed.extension) == "emf" || std::string(seed.extension) == "wmf") {
        RuntimeUnlockObject(ImportMetafileFile(utf8.c_str(), &width, &height));
      } else {
        PictureRelease(OpenPictureFile(utf8.c_str(), 1 + n % 2));
      }
      if (LiveCounts() != baseline) {
        const std::wstring kept = TestFilePath("failing-" + std::to_string(s * 1000 + n) + "." + seed.extension);
        WriteTestBytes(kept, bytes);
        FAIL() << "case " << s * 1000 + n << " leaked; its file: " << Utf8OfTestPath(kept);
      }
    }
  }
}
