// Metafile import: files GDI writes (every translated shape, text and
// bitmap), hand-made records (the types GDI no longer writes, damaged
// counts, offsets and sizes, endless enumerations), and the record decoder
// on byte buffers that end exactly at each record's size.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/runFolderItem.h"
#include "graphics/EmfRecords.h"
#include "graphics/MetafileImport.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/Shapes2D.h"
#include "testsupport/EmfWriter.h"
#include "testsupport/GuardedBuffer.h"
#include "testsupport/ImageFileWriter.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

enum : uint32_t {
  kPolygon = 3,
  kPie = 47,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrush = 39,
  kRectangle = 43,
  kStretchDIBits = 81,
  kCreateFont = 82,
  kTextOutA = 83,
  kTextOutW = 84,
  kPolygon16 = 86,
};

struct Imported {
  ObjectRef group;
  int32_t width = -1, height = -1;
  std::vector<ObjectRef> shapes;
};

std::vector<ObjectRef> MembersOf(RuntimeObject* container) {
  std::vector<ObjectRef> members;
  for (int32_t i = 0; i < Group2DCount(container, 0); ++i) {
    members.push_back(ObjectRef::Adopt(Group2DGetItem(container, i)));
  }
  return members;
}

Imported Import(const std::wstring& path) {
  Imported result;
  result.group = ObjectRef::Adopt(
      ImportMetafileFile(Utf8OfTestPath(path).c_str(), &result.width, &result.height));
  if (result.group) result.shapes = MembersOf(result.group.get());
  return result;
}

template <class Fields>
Fields* As(const ObjectRef& shape) {
  return ObjectFields<Fields>(shape.get());
}
uint32_t TagOf(const ObjectRef& shape) { return As<Object2DFields>(shape)->tag; }

std::wstring WriteWithGDI(const std::string& name, const std::function<void(HDC)>& draw) {
  const std::wstring path = TestFilePath(name);
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
  draw(dc);
  DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  return path;
}

std::wstring WriteHandMade(const std::string& name, const EmfWriter& writer, int32_t handles = 8) {
  const std::wstring path = TestFilePath(name);
  EXPECT_TRUE(WriteTestBytes(path, writer.File(handles)));
  return path;
}

EmfBody Words(std::initializer_list<int32_t> values) { return EmfBody().Words(values); }

// A pen and a brush selected, then a rectangle: the shape every malformed
// case must keep.
EmfWriter WithOneRectangle() {
  EmfWriter writer;
  writer.Add(kCreatePen, Words({1, 0, 2, 2, 0x0000FF}))
      .Add(kCreateBrush, Words({2, 0, 0xFF0000, 0}))
      .Add(kSelectObject, Words({1}))
      .Add(kSelectObject, Words({2}))
      .Add(kRectangle, Words({10, 20, 110, 70}));
  return writer;
}

// Every pixel of a picture object's image as 0xRRGGBB, top row first.
std::vector<uint32_t> ImageColours(RuntimeObject* pictureObject) {
  NativePicture* native = reinterpret_cast<PictureObject*>(pictureObject)->nativePicture;
  int32_t width = 0, height = 0;
  native->GetSize(&width, &height);
  BitmapPicture* deep = BitmapPicture::Create(width, height, 32);
  deep->CopyFromPicture(native);
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  std::vector<uint32_t> colours;
  if (deep->GetPixels(&depth, &base, &rowBytes)) {
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint32_t value;
        std::memcpy(&value, base + size_t(y) * size_t(rowBytes) + 4 * size_t(x), 4);
        colours.push_back(value & 0xFFFFFF);
      }
    }
  }
  PictureRelease(deep);
  return colours;
}

uint32_t Pattern(int32_t x, int32_t y) { return uint32_t(x * 15) << 16 | uint32_t(y * 15) << 8 | 0x40; }

// A bottom-up DIB of the pattern: header (with its table for 8 bits) and bits.
struct TestDIB {
  std::vector<uint8_t> info;
  std::vector<uint8_t> bits;
};
TestDIB PatternDIB(int32_t width, int32_t height, uint16_t bitCount) {
  TestDIB dib;
  const uint32_t entries = bitCount == 8 ? 256 : 0;
  dib.info.resize(sizeof(BITMAPINFOHEADER) + 4 * entries);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.info.data());
  *header = {sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, BI_RGB, 0, 0, 0, 0, 0};
  const uint32_t stride = uint32_t((width * bitCount + 31) / 32 * 4);
  dib.bits.resize(size_t(stride) * size_t(height));
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = &dib.bits[size_t(height - 1 - y) * stride];
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = Pattern(x, y);
      if (bitCount == 8) {
        const uint32_t index = uint32_t(y * width + x);
        row[x] = uint8_t(index);
        std::memcpy(&dib.info[sizeof(BITMAPINFOHEADER) + 4 * index], &colour, 3);
      } else {
        row[3 * x] = uint8_t(colour), row[3 * x + 1] = uint8_t(colour >> 8),
        row[3 * x + 2] = uint8_t(colour >> 16);
      }
    }
  }
  return dib;
}

std::vector<uint32_t> PatternColours(int32_t left, int32_t top, int32_t width, int32_t height) {
  std::vector<uint32_t> colours;
  for (int32_t y = top; y < top + height; ++y) {
    for (int32_t x = left; x < left + width; ++x) colours.push_back(Pattern(x, y));
  }
  return colours;
}

class MetafileImportTest : public HostTest {};

}  // namespace

// ---- Names, sizes and the box shapes -----------------------------------------------

TEST_F(MetafileImportTest, NamesSelectTheImportAndAMissingFileGivesAnEmptyGroup) {
  const std::wstring emf = WriteWithGDI("A.EMF", [](HDC dc) { Rectangle(dc, 10, 20, 110, 70); });
  Imported upper = Import(emf);
  ASSERT_TRUE(upper.group);
  ASSERT_EQ(upper.shapes.size(), 1u);
  EXPECT_EQ(TagOf(upper.shapes[0]), kTagRect);
  EXPECT_EQ(upper.width, 99);  // the recorded bounds are inclusive
  EXPECT_EQ(upper.height, 49);

  const std::wstring wmf = TestFilePath("a.wmf");
  HDC dc = CreateMetaFileW(wmf.c_str());
  Rectangle(dc, 1, 1, 5, 5);
  DeleteMetaFile(CloseMetaFile(dc));
  EXPECT_FALSE(Import(wmf).group);
  const std::wstring other = TestFilePath("a.emf2");
  ASSERT_TRUE(CopyFileW(emf.c_str(), other.c_str(), FALSE));
  EXPECT_FALSE(Import(other).group);

  Imported missing = Import(TestFilePath("x.emf"));
  ASSERT_TRUE(missing.group);
  EXPECT_TRUE(missing.shapes.empty());
  EXPECT_EQ(missing.width, 0);
  EXPECT_EQ(missing.height, 0);

  // FolderItem's vector import: a Picture holding the group.
  StringRef path = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(emf).c_str()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(path.get()));
  ObjectRef picture = ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsVectorPicture"));
  ASSERT_TRUE(picture);
  RuntimeObject* objects = reinterpret_cast<PictureObject*>(picture.get())->objects;
  ASSERT_NE(objects, nullptr);
  EXPECT_EQ(Group2DCount(objects, 0), 1);
}

TEST_F(MetafileImportTest, BoxRecordsTakeTheirPenAndBrush) {
  struct Case {
    const char* name;
    EmfWriter records;
    double x, y, width, height, border, borderWidth, fill;
    uint32_t borderColour, fillColour;
  };
  EmfWriter example;
  example.Add(kCreatePen, Words({1, 0, 0, 0, 0x0000FF}))
      .Add(kCreateBrush, Words({2, 0, 0xFF0000, 0}))
      .Add(kSelectObject, Words({1}))
      .Add(kSelectObject, Words({2}))
      .Add(kRectangle, Words({10, 20, 110, 70}));
  EmfWriter wide;
  wide.Add(kRectangle, Words({10, 20, 40010, 70}));
  EmfWriter stockBrush;
  stockBrush.Add(kCreateBrush, Words({3, 0, 0x00FF00, 0}))
      .Add(kSelectObject, Words({3}))
      .Add(kSelectObject, Words({int32_t(0x80000000u | WHITE_BRUSH)}))
      .Add(kSelectObject, Words({7}))  // below the table's size, never created
      .Add(kRectangle, Words({0, 0, 10, 10}));
  EmfWriter widths;
  widths.Add(kCreatePen, Words({1, 0, 3, 5, 0x123456})).Add(kSelectObject, Words({1}))
      .Add(kRectangle, Words({-10, -10, 10, 30}));
  EmfWriter oneWidth;
  oneWidth.Add(kCreatePen, Words({1, 0, 0, 6, 0})).Add(kSelectObject, Words({1}))
      .Add(kRectangle, Words({0, 0, 4, 4}));
  const double defaultFill = 1.0;
  std::vector<Case> cases = {
      {"the example", example, 60, 45, 100, 50, 1, 0.25, defaultFill, 0xFF0000, 0x0000FF},
      {"a box past 16 bits", wide, 20010, 45, 40000, 50, 0, 0, 0, 0, 0},
      {"a stock brush keeps the brush", stockBrush, 5, 5, 10, 10, 0, 0, defaultFill, 0, 0x00FF00},
      {"two widths average", widths, 0, 10, 20, 40, 1, 4, 0, 0x563412, 0},
      {"one width counts", oneWidth, 2, 2, 4, 4, 1, 6, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Imported imported = Import(WriteHandMade("box.emf", c.records));
    ASSERT_EQ(imported.shapes.size(), 1u);
    auto* rect = As<RectShapeFields>(imported.shapes[0]);
    EXPECT_EQ(rect->base.x, c.x);
    EXPECT_EQ(rect->base.y, c.y);
    EXPECT_EQ(rect->width, c.width);
    EXPECT_EQ(rect->height, c.height);
    EXPECT_EQ(rect->base.border, c.border);
    EXPECT_EQ(rect->base.borderWidth, c.borderWidth);
    EXPECT_EQ(rect->base.borderColor, c.borderColour);
    if (c.fill == 0) {
      EXPECT_EQ(rect->base.fill, 0.0);
    } else {
      EXPECT_EQ(rect->base.fillColor, c.fillColour);
    }
    EXPECT_EQ(rect->base.rotation, 0.0);
    EXPECT_EQ(rect->base.scale, 1.0);
  }
}

// ---- Shapes GDI writes ----------------------------------------------------------------

TEST_F(MetafileImportTest, PolygonsPiesAndLinesFromGDI) {
  const std::wstring path = WriteWithGDI("shapes.emf", [](HDC dc) {
    const POINT triangle[] = {{10, 10}, {50, 10}, {30, 40}};
    Polygon(dc, triangle, 3);
    const POINT wideFigure[] = {{0, 0}, {70000, 0}, {70000, 10}, {0, 10}};
    Polygon(dc, wideFigure, 4);
    Pie(dc, 10, 20, 110, 80, 110, 50, 60, 20);
    MoveToEx(dc, 5, 5, nullptr);
    LineTo(dc, 50, 5);
    LineTo(dc, 50, 40);
  });
  Imported imported = Import(path);
  ASSERT_EQ(imported.shapes.size(), 5u);

  std::vector<ObjectRef> triangle = MembersOf(imported.shapes[0].get());
  EXPECT_EQ(TagOf(imported.shapes[0]), kTagFigure);
  ASSERT_EQ(triangle.size(), 2u);
  auto* first = As<CurveShapeFields>(triangle[0]);
  auto* second = As<CurveShapeFields>(triangle[1]);
  EXPECT_EQ(std::vector<double>({first->base.x, first->base.y, first->x2, first->y2}),
            std::vector<double>({10.5, 10.5, 50.5, 10.5}));
  EXPECT_EQ(std::vector<double>({second->base.x, second->base.y, second->x2, second->y2}),
            std::vector<double>({30.5, 40.5, 10.5, 10.5}));
  EXPECT_EQ(As<Object2DFields>(imported.shapes[0])->border, 0.0);

  std::vector<ObjectRef> wideSegments = MembersOf(imported.shapes[1].get());
  ASSERT_EQ(wideSegments.size(), 2u);
  EXPECT_EQ(As<CurveShapeFields>(wideSegments[0])->x2, 70000.5);

  auto* pie = As<ArcShapeFields>(imported.shapes[2]);
  EXPECT_EQ(TagOf(imported.shapes[2]), kTagArc);
  EXPECT_EQ(pie->base.base.width, 99);
  // From the centre (59, 49): the start point a little below the right, the
  // end point straight above.
  EXPECT_GT(pie->startAngle, 0.0);
  EXPECT_LT(pie->startAngle, 0.1);
  EXPECT_NEAR(pie->arcAngle, -1.58, 0.01);

  auto* line1 = As<CurveShapeFields>(imported.shapes[3]);
  auto* line2 = As<CurveShapeFields>(imported.shapes[4]);
  EXPECT_EQ(std::vector<double>({line1->base.x, line1->base.y, line1->x2, line1->y2}),
            std::vector<double>({5, 5, 50, 5}));
  EXPECT_EQ(std::vector<double>({line2->base.x, line2->base.y, line2->x2, line2->y2}),
            std::vector<double>({50, 5, 50, 40}));
}

TEST_F(MetafileImportTest, AFlatPieHasFiniteAngles) {
  EmfWriter flat;
  flat.Add(kPie, Words({10, 20, 110, 20, 110, 20, 10, 20}));
  Imported imported = Import(WriteHandMade("pie.emf", flat));
  ASSERT_EQ(imported.shapes.size(), 1u);
  auto* pie = As<ArcShapeFields>(imported.shapes[0]);
  EXPECT_TRUE(std::isfinite(pie->startAngle) && std::isfinite(pie->arcAngle));
  EXPECT_EQ(pie->base.base.height, 0);
}

TEST_F(MetafileImportTest, TextTakesItsFontAndColour) {
  for (int32_t height : {-20, 20}) {
    SCOPED_TRACE(height);
    const std::wstring path = WriteWithGDI("text.emf", [height](HDC dc) {
      HFONT font = CreateFontW(height, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                               0, L"Arial");
      HGDIOBJ previous = SelectObject(dc, font);
      SetTextColor(dc, RGB(1, 2, 3));
      ExtTextOutW(dc, 7, 9, 0, nullptr, L"Hi", 2, nullptr);
      SelectObject(dc, previous);
      DeleteObject(font);
    });
    Imported imported = Import(path);
    ASSERT_EQ(imported.shapes.size(), 1u);
    auto* text = As<StringShapeFields>(imported.shapes[0]);
    EXPECT_EQ(TagOf(imported.shapes[0]), kTagString);
    EXPECT_EQ(StringToStdUTF8(text->text), "Hi");
    EXPECT_EQ(StringToStdUTF8(text->textFont), "Arial");
    EXPECT_EQ(text->textSize, 20);
    EXPECT_EQ(text->bold, 1);
    EXPECT_EQ(text->italic, 1);
    EXPECT_EQ(text->underline, 0);
    EXPECT_EQ(text->base.fillColor, 0x010203u);
    EXPECT_EQ(text->base.x, 7);
    EXPECT_EQ(text->base.y, 9);
  }
  // The byte form, which GDI no longer writes; no font selected.
  EmfWriter bytes;
  bytes.Add(kTextOutA, EmfBody().Words({0, 0, 0, 0, 1, 0, 0, 3, 4, 3, 76, 0, 0, 0, 0, 0, 0})
                           .Bytes({'a', 'b', 'c'}));
  Imported imported = Import(WriteHandMade("texta.emf", bytes));
  ASSERT_EQ(imported.shapes.size(), 1u);
  auto* text = As<StringShapeFields>(imported.shapes[0]);
  EXPECT_EQ(StringToStdUTF8(text->text), "abc");
  EXPECT_EQ(text->base.x, 3);
  EXPECT_EQ(text->base.y, 4);
  EXPECT_EQ(text->textSize, 12);  // the shape's own
}

TEST_F(MetafileImportTest, BitmapsKeepTheirPlaceSourceAndPixels) {
  const TestDIB square = PatternDIB(4, 4, 24);
  const TestDIB indexed = PatternDIB(5, 3, 8);
  const std::wstring path = WriteWithGDI("bitmaps.emf", [&](HDC dc) {
    StretchDIBits(dc, 10, 20, 8, 8, 0, 0, 4, 4, square.bits.data(),
                  reinterpret_cast<const BITMAPINFO*>(square.info.data()), DIB_RGB_COLORS, SRCCOPY);
    StretchDIBits(dc, 0, 0, 2, 2, 1, 0, 2, 2, square.bits.data(),
                  reinterpret_cast<const BITMAPINFO*>(square.info.data()), DIB_RGB_COLORS, SRCCOPY);
    // A device bitmap of 16 x 16, a piece of it stretched.
    const TestDIB big = PatternDIB(16, 16, 24);
    HDC memory = CreateCompatibleDC(dc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<const BITMAPINFO*>(big.info.data()),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    std::memcpy(bits, big.bits.data(), big.bits.size());
    HGDIOBJ previous = SelectObject(memory, bitmap);
    StretchBlt(dc, 30, 40, 6, 6, memory, 2, 3, 3, 3, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
  });
  // An 8-bit bitmap whose header leaves its image size 0, by hand (the
  // platform's recorder stumbles over 8-bit bitmaps).
  EmfWriter byHand;
  const uint32_t bitsOffset = uint32_t(80 + indexed.info.size());
  byHand.Add(kStretchDIBits, EmfBody()
                                 .Words({50, 50, 54, 52, 50, 50, 0, 0, 5, 3, 80})
                                 .U32(uint32_t(indexed.info.size()))
                                 .U32(bitsOffset)
                                 .U32(uint32_t(indexed.bits.size()))
                                 .Words({0, int32_t(SRCCOPY), 5, 3})
                                 .Bytes(indexed.info)
                                 .Bytes(indexed.bits));
  Imported imported = Import(path);
  Imported eightBit = Import(WriteHandMade("eight.emf", byHand));
  ASSERT_EQ(imported.shapes.size(), 3u);
  ASSERT_EQ(eightBit.shapes.size(), 1u);
  imported.shapes.insert(imported.shapes.begin() + 2, eightBit.shapes[0]);
  struct Expect {
    double x, y, width, height;
    int32_t source[4];
  };
  const Expect expected[] = {{14, 24, 8, 8, {0, 0, 4, 4}},
                             {1, 1, 2, 2, {1, 2, 2, 2}},
                             {52.5, 51.5, 5, 3, {0, 0, 5, 3}},
                             {33, 43, 6, 6, {2, 3, 3, 3}}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    auto* pixmap = As<PixmapShapeFields>(imported.shapes[i]);
    EXPECT_EQ(TagOf(imported.shapes[i]), kTagPixmap);
    EXPECT_EQ(pixmap->base.base.x, expected[i].x);
    EXPECT_EQ(pixmap->base.base.y, expected[i].y);
    EXPECT_EQ(pixmap->base.width, expected[i].width);
    EXPECT_EQ(pixmap->base.height, expected[i].height);
    EXPECT_EQ(pixmap->base.base.fill, 1.0);
    EXPECT_EQ(std::vector<int32_t>({pixmap->sourceLeft, pixmap->sourceTop, pixmap->sourceWidth,
                                    pixmap->sourceHeight}),
              std::vector<int32_t>(expected[i].source, expected[i].source + 4));
    ASSERT_NE(pixmap->image, nullptr);
  }
  auto image = [&](size_t i) { return ImageColours(As<PixmapShapeFields>(imported.shapes[i])->image); };
  EXPECT_EQ(image(0), PatternColours(0, 0, 4, 4));
  EXPECT_EQ(image(2), PatternColours(0, 0, 5, 3));
  std::vector<uint32_t> big = image(3);
  ASSERT_EQ(big.size(), 256u);
  EXPECT_EQ(big[size_t(3 * 16 + 2)], Pattern(2, 3));
  EXPECT_EQ(big[size_t(5 * 16 + 4)], Pattern(4, 5));
}

// ---- Damaged files ---------------------------------------------------------------------

namespace {

// A 2 x 2 24-bit bitmap record laid out as the platform lays it out, with
// the parts a case damages given.
EmfBody BitmapRecord(uint32_t infoOffset, uint32_t infoSize, uint32_t bitsOffset, uint32_t bitsSize,
                     uint32_t sizeImage) {
  EmfBody body;
  body.Words({0, 0, 1, 1, 0, 0, 0, 0, 2, 2})
      .U32(infoOffset).U32(infoSize).U32(bitsOffset).U32(bitsSize)
      .Words({0, int32_t(SRCCOPY), 2, 2})
      .Words({40, 2, 2, 0x00180001, 0}).U32(sizeImage).Words({0, 0, 0, 0})
      .Bytes(std::vector<uint8_t>(16, 0x7F));
  return body;
}

EmfBody FontRecord(uint32_t handle, const std::string& face, const std::string& after) {
  EmfBody body;
  body.U32(handle).Words({-12, 0, 0, 0, 400, 0, 0}).Wide(face).Wide(after);
  return body;
}

EmfBody WideText(uint32_t units, uint32_t offset) {
  EmfBody body;
  body.Words({0, 0, 0, 0, 1, 0, 0, 1, 1}).U32(units).U32(offset).Words({0, 0, 0, 0, 0, 0})
      .Wide("ok");
  return body;
}

}  // namespace

TEST_F(MetafileImportTest, DamagedRecordsAreSkippedAndEarlierShapesKept) {
  struct Case {
    const char* name;
    std::function<void(EmfWriter&)> add;
    size_t shapes;  // the first and last rectangles included
  };
  const std::vector<Case> cases = {
      {"points past the record", [](EmfWriter& w) { w.Add(kPolygon, Words({0, 0, 9, 9, 0x40000000, 1, 1})); }, 2},
      {"16-bit points past the record",
       [](EmfWriter& w) { w.Add(kPolygon16, Words({0, 0, 9, 9, 3, 0x00010001})); }, 2},
      {"text units past the record", [](EmfWriter& w) { w.Add(kTextOutW, WideText(0x7FFFFFFF, 76)); }, 2},
      {"text offset past the record", [](EmfWriter& w) { w.Add(kTextOutW, WideText(2, 0xFFFFFFF0)); }, 2},
      {"bitmap header past the record",
       [](EmfWriter& w) { w.Add(kStretchDIBits, BitmapRecord(80, 4000, 120, 16, 0)); }, 2},
      {"bitmap bits offset wrapping",
       [](EmfWriter& w) { w.Add(kStretchDIBits, BitmapRecord(80, 40, 0xFFFFFFF8, 16, 0)); }, 2},
      {"bitmap bits too few for the header",
       [](EmfWriter& w) { w.Add(kStretchDIBits, BitmapRecord(80, 40, 120, 8, 0)); }, 2},
      {"biSizeImage 0x7FFFFFFF", [](EmfWriter& w) { w.Add(kStretchDIBits, BitmapRecord(80, 40, 120, 16, 0x7FFFFFFF)); }, 3},
      {"a handle past the table",
       [](EmfWriter& w) {
         w.Add(kCreatePen, Words({1000, 0, 9, 9, 0xFFFFFF})).Add(kSelectObject, Words({1000}));
       },
       2},
      {"a face name without NUL",
       [](EmfWriter& w) {
         w.Add(kCreateFont, FontRecord(4, std::string(32, 'A'), "BBBB")).Add(kSelectObject, Words({4}))
             .Add(kTextOutW, WideText(2, 76));
       },
       3},
      {"a fixed part cut short", [](EmfWriter& w) { w.Add(kRectangle, Words({1, 2})); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmfWriter writer = WithOneRectangle();
    c.add(writer);
    writer.Add(kRectangle, Words({0, 0, 5, 5}));
    Imported imported = Import(WriteHandMade("damaged.emf", writer));
    ASSERT_EQ(imported.shapes.size(), c.shapes);
    auto* first = As<RectShapeFields>(imported.shapes[0]);
    EXPECT_EQ(first->width, 100);
    EXPECT_EQ(first->base.borderWidth, 2);  // the handle past the table changed nothing
    if (std::string(c.name) == "a face name without NUL") {
      EXPECT_EQ(StringToStdUTF8(As<StringShapeFields>(imported.shapes[1])->textFont),
                std::string(32, 'A'));
    }
    if (std::string(c.name) == "biSizeImage 0x7FFFFFFF") {
      EXPECT_EQ(ImageColours(As<PixmapShapeFields>(imported.shapes[1])->image),
                std::vector<uint32_t>(4, 0x7F7F7F));
    }
  }
}

TEST_F(MetafileImportTest, BadRecordSizesEndTheImportAtOnce) {
  for (uint32_t size : {0u, 4u, 14u}) {
    SCOPED_TRACE(size);
    EmfWriter writer = WithOneRectangle();
    writer.AddWithSize(kRectangle, size, Words({0, 0, 5, 5}));
    writer.Add(kRectangle, Words({0, 0, 5, 5}));
    const std::wstring path = WriteHandMade("endless.emf", writer);
    const DWORD start = GetTickCount();
    Imported imported = Import(path);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(imported.shapes.size(), 1u);
  }
}

// ---- The decoder on byte buffers ---------------------------------------------------------

namespace {

class CountingSink : public EmfShapeSink {
 public:
  bool AddShape(const EmfShape& shape) override {
    kinds.push_back(shape.kind);
    return true;
  }
  std::vector<EmfShapeKind> kinds;
};

// The record's bytes: type, size and body.
std::vector<uint8_t> RecordBytes(uint32_t type, EmfBody body) {
  body.Pad();
  EmfBody record;
  record.U32(type).U32(uint32_t(8 + body.size())).Bytes(body.bytes());
  return record.bytes();
}

}  // namespace

TEST(EmfRecordReaderTest, RecordsAreReadWithinTheirSize) {
  const std::vector<std::pair<uint32_t, EmfBody>> records = {
      {kPolygon, Words({0, 0, 9, 9, 0x40000000})},
      {kPolygon16, Words({0, 0, 9, 9, 5, 0})},
      {kTextOutW, WideText(0x7FFFFFFF, 76)},
      {kTextOutA, WideText(5, 76)},
      {kStretchDIBits, BitmapRecord(80, 57, 120, 16, 0)},
      {kStretchDIBits, BitmapRecord(80, 40, 121, 16, 0)},
      {kCreateFont, FontRecord(0, std::string(32, 'A'), "")},
      {kSelectObject, Words({0})},
      {kTextOutW, WideText(2, 76)},
  };
  CountingSink sink;
  EmfRecordReader reader(1 << 20);
  GuardedBuffer header(RecordBytes(1, Words({0, 0, 0, 0})));
  ASSERT_TRUE(reader.Read(header.data(), 4, &sink));
  for (const auto& [type, body] : records) {
    GuardedBuffer record(RecordBytes(type, body));
    EXPECT_TRUE(reader.Read(record.data(), 4, &sink)) << type;
  }
  EXPECT_EQ(sink.kinds, std::vector<EmfShapeKind>({EmfShapeKind::kText}));

  // Before the header nothing is made; past the file's bytes the reading stops.
  EmfRecordReader fresh(40);
  GuardedBuffer rectangle(RecordBytes(kRectangle, Words({0, 0, 1, 1})));
  EXPECT_TRUE(fresh.Read(rectangle.data(), 4, &sink));
  EXPECT_FALSE(fresh.Read(rectangle.data(), 4, &sink));
  EXPECT_EQ(sink.kinds.size(), 1u);
}

TEST_F(MetafileImportTest, AdoptedShapesLeaveTheListAsAppendsWould) {
  for (uint32_t before : {0u, 5u, 16u}) {
    for (uint32_t added : {0u, 1u, 37u, 300u}) {
      ObjectRef appended = ObjectRef::Adopt(CreateInstance(GetGroup2DDefinition()));
      ObjectRef adopted = ObjectRef::Adopt(CreateInstance(GetGroup2DDefinition()));
      std::vector<RuntimeObject*> fresh;
      for (uint32_t i = 0; i < before + added; ++i) {
        ObjectRef shape = ObjectRef::Adopt(CreateInstance(GetOvalShapeDefinition()));
        Group2DAppend(appended.get(), shape.get());
        if (i < before) {
          Group2DAppend(adopted.get(), shape.get());
        } else {
          fresh.push_back(shape.release());
        }
      }
      ASSERT_TRUE(ShapeContainerAdopt(adopted.get(), fresh.data(), uint32_t(fresh.size())));
      const ShapeMemberList& a = As<ShapeContainerFields>(appended)->members;
      const ShapeMemberList& b = As<ShapeContainerFields>(adopted)->members;
      EXPECT_EQ(a.count, b.count) << before << " + " << added;
      EXPECT_EQ(a.capacity, b.capacity) << before << " + " << added;
      for (uint32_t i = 0; i < a.count && i < b.count; ++i) ASSERT_EQ(a.block[i], b.block[i]) << i;
    }
  }
  RuntimeObject* shape = CreateInstance(GetOvalShapeDefinition());
  EXPECT_FALSE(ShapeContainerAdopt(shape, &shape, 1));  // not a container: still the caller's
  RuntimeUnlockObject(shape);
}
