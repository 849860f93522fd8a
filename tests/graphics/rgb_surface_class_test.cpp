// The RGBSurface class through its entry points, over real pictures: which
// pictures give a surface, pixels at each depth, the flood fill and the
// transform as the application sees them (exceptions, untouched pixels after
// a raise), and the change count that keeps transparent drawing current.
#include <functional>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "core/RuntimeArrayFoundation.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kWhite555 = 0xF8F8F8;  // white as a 16-bit surface reads it

using RGBSurfaceTest = PictureTest;

ObjectRef SurfaceOf(const ObjectRef& picture) {
  return ObjectRef::Adopt(pictureRGBSurfaceGetter(picture.get(), 0));
}

// Every pixel's raw bytes, to show that nothing changed.
std::vector<uint8_t> PixelBytes(const ObjectRef& picture) {
  int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
  uint8_t* base = nullptr;
  NativeOf(picture)->GetSize(&width, &height);
  if (!NativeOf(picture)->GetPixels(&depth, &base, &rowBytes)) return {};
  return std::vector<uint8_t>(base, base + size_t(rowBytes) * size_t(height));
}

int32_t ChangeCount(const ObjectRef& picture) { return NativeOf(picture)->ChangeCount(); }

// An Integer array 0..upperBound holding value(i).
template <class Value>
ArrayRef IntegerMap(int32_t upperBound, Value value) {
  ArrayRef map = ArrayRef::Adopt(CreateArray(1, kArrayInt32, upperBound));
  for (int32_t i = 0; i <= upperBound; ++i) {
    *static_cast<int32_t*>(FindArrayElement(map.get(), i)) = value(i);
  }
  return map;
}

ArrayRef InvertingMap() {
  return IntegerMap(255, [](int32_t i) { return 255 - i; });
}

TEST_F(RGBSurfaceTest, SurfacesExistOnlyForDirectPixelsOfSixteenBitsOrMore) {
  for (int32_t depth : {16, 24, 32}) {
    ObjectRef picture = NewPicture(7, 5, depth);
    ObjectRef surface = SurfaceOf(picture);
    ASSERT_TRUE(surface) << depth;
    EXPECT_EQ(reinterpret_cast<const RGBSurfaceObject*>(surface.get())->depth, depth);
  }
  HGLOBAL packed = NativeOf(NewPicture(4, 4, 32))->ExportPackedDIB();
  ObjectRef packedPicture = ObjectRef::Adopt(
      reinterpret_cast<RuntimeObject*>(WrapNativePicture(PackedDIBPicture::Create(packed))));
  GlobalFree(packed);
  ASSERT_TRUE(packedPicture);
  for (ObjectRef picture : {NewPicture(8, 8, 8), NewPicture(8, 8, 1), NewPicture(8, 8, 0),
                            NewPicture(30000, 30000, 32), packedPicture}) {
    EXPECT_FALSE(SurfaceOf(picture)) << IntProperty(picture, "Depth");
  }
}

TEST_F(RGBSurfaceTest, PixelsKeepTheirDepthsFormatAndStayInside) {
  struct Case {
    int32_t depth;
    uint32_t written, read;
  };
  for (const Case& c : {Case{16, 0xFFFFFF, 0xF8F8F8}, Case{24, 0x123456, 0x123456},
                        Case{32, 0x7F123456, 0x123456}}) {
    ObjectRef picture = NewPicture(6, 4, c.depth);
    ObjectRef surface = SurfaceOf(picture);
    rgbSurfaceSetPixel(surface.get(), 5, 3, c.written);
    EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), 5, 3), c.read) << c.depth;

    const std::vector<uint8_t> before = PixelBytes(picture);
    const int32_t changes = ChangeCount(picture);
    for (auto [x, y] : {std::pair{-1, 0}, {6, 0}, {0, -1}, {0, 4}}) {
      EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), x, y), 0u);
      rgbSurfaceSetPixel(surface.get(), x, y, kBlack);
    }
    EXPECT_EQ(PixelBytes(picture), before);
    EXPECT_EQ(ChangeCount(picture), changes);
  }
}

// The surface holds its picture: released by everyone else, the pixels stay.
TEST_F(RGBSurfaceTest, SurfaceKeepsItsPictureAlive) {
  ObjectRef picture = NewPicture(3, 3, 32);
  ObjectRef surface = SurfaceOf(picture);
  const uint32_t liveWithSurface = RuntimeLiveObjectCount();
  picture = ObjectRef();
  EXPECT_EQ(RuntimeLiveObjectCount(), liveWithSurface);
  rgbSurfaceSetPixel(surface.get(), 2, 2, kRed);
  surface = ObjectRef();
  EXPECT_EQ(RuntimeLiveObjectCount(), liveWithSurface - 2);
}

TEST_F(RGBSurfaceTest, SurfaceAndGraphicsSeeEachOthersPixels) {
  ObjectRef picture = NewPicture(10, 10, 32);
  ObjectRef graphics = GraphicsOf(picture);
  graphicsForeColorSetter(graphics.get(), 0, kRed);
  RuntimeGraphicsFillRect(graphics.get(), 2, 2, 3, 3);
  ObjectRef surface = SurfaceOf(picture);
  EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), 4, 4), kRed);

  // A transparent drawing builds its masks from the white pixels; a surface
  // write must make the next one build them again.
  SetProperty<int32_t>(picture.get(), "Transparent", 1);
  ObjectRef destination = NewPicture(10, 10, 32);
  PaintWhole(destination, kBlack);
  const int32_t d = kDrawPictureDefaultSize;
  ObjectRef target = GraphicsOf(destination);
  RuntimeGraphicsDrawPicture(target.get(), picture.get(), 0, 0, d, d, 0, 0, d, d);
  ASSERT_EQ(Colour(destination, 8, 8), kBlack);
  ASSERT_EQ(Colour(destination, 3, 3), kRed);
  rgbSurfaceSetPixel(surface.get(), 8, 8, 0x00FF00);
  RuntimeGraphicsDrawPicture(target.get(), picture.get(), 0, 0, d, d, 0, 0, d, d);
  EXPECT_EQ(Colour(destination, 8, 8), 0x00FF00u);
  EXPECT_EQ(Colour(destination, 7, 8), kBlack);
}

TEST_F(RGBSurfaceTest, EveryPixelAccessFlushesTheDrawingDoneSinceTheSurfaceWasTaken) {
  ObjectRef picture = NewPicture(10, 10, 32);
  ObjectRef surface = SurfaceOf(picture);
  ObjectRef graphics = GraphicsOf(picture);
  graphicsForeColorSetter(graphics.get(), 0, kRed);
  ArrayRef map = InvertingMap();
  const std::function<void()> accesses[] = {
      [&] { EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), 3, 3), kRed); },
      [&] { rgbSurfaceSetPixel(surface.get(), 3, 3, kBlack); },
      [&] { rgbSurfaceSeedFill(surface.get(), 3, 3, kWhite); },
      [&] { rgbSurfaceTransform(surface.get(), map.get()); },
  };
  for (const auto& access : accesses) {
    RuntimeGraphicsFillRect(graphics.get(), 2, 2, 3, 3);
    const int32_t flushes = GdiFlushCount();
    access();
    EXPECT_GT(GdiFlushCount(), flushes);
  }
  // Without drawing in between there is nothing to flush: pixel loops stay
  // free of the flush's cost.
  const int32_t flushes = GdiFlushCount();
  rgbSurfaceSetPixel(surface.get(), 1, 1, rgbSurfaceGetPixel(surface.get(), 1, 1));
  EXPECT_EQ(GdiFlushCount(), flushes);
}

// A white picture with a black outline around (2..7, 2..7) whose top-left
// corner pixel is missing: the gap touches the inside only diagonally.
ObjectRef OutlinedPicture(int32_t depth) {
  ObjectRef picture = NewPicture(10, 10, depth);
  ObjectRef surface = SurfaceOf(picture);
  for (int32_t i = 2; i <= 7; ++i) {
    for (auto [x, y] : {std::pair{i, 2}, {i, 7}, {2, i}, {7, i}}) {
      rgbSurfaceSetPixel(surface.get(), x, y, kBlack);
    }
  }
  rgbSurfaceSetPixel(surface.get(), 2, 2, kWhite);
  return picture;
}

size_t CountColour(const ObjectRef& surface, uint32_t colour) {
  size_t n = 0;
  const auto* fields = reinterpret_cast<const RGBSurfaceObject*>(surface.get());
  for (int32_t y = 0; y < fields->height; ++y)
    for (int32_t x = 0; x < fields->width; ++x)
      n += rgbSurfaceGetPixel(surface.get(), x, y) == colour;
  return n;
}

TEST_F(RGBSurfaceTest, FloodFillPaintsOneRegionAndCountsAsAChange) {
  ObjectRef inside = OutlinedPicture(32);
  ObjectRef surface = SurfaceOf(inside);
  int32_t changes = ChangeCount(inside);
  rgbSurfaceSeedFill(surface.get(), 4, 4, kRed);
  EXPECT_EQ(CountColour(surface, kRed), 16u);
  EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), 2, 2), kWhite);
  EXPECT_EQ(ChangeCount(inside), changes + 1);

  ObjectRef outside = OutlinedPicture(16);
  surface = SurfaceOf(outside);
  rgbSurfaceSeedFill(surface.get(), 0, 0, kRed);
  EXPECT_EQ(CountColour(surface, 0xF80000), 100u - 16 - 19);
  EXPECT_EQ(rgbSurfaceGetPixel(surface.get(), 4, 4), kWhite555);
}

TEST_F(RGBSurfaceTest, FloodFillThatWouldChangeNothingReturnsUntouched) {
  struct Case {
    int32_t depth;
    int32_t x, y;
    uint32_t colour;
    const char* raised;
  };
  for (const Case& c :
       {Case{32, 0, 0, kWhite, ""}, Case{32, 0, 0, 0x01FFFFFF, ""}, Case{24, 0, 0, 0x01FFFFFF, ""},
        Case{16, 0, 0, 0xFCFCFC, ""}, Case{32, -1, 0, kRed, "OutOfBoundsException"},
        Case{32, 0, 10, kRed, "OutOfBoundsException"}}) {
    ObjectRef picture = NewPicture(10, 10, c.depth);
    ObjectRef surface = SurfaceOf(picture);
    const std::vector<uint8_t> before = PixelBytes(picture);
    const int32_t changes = ChangeCount(picture);
    rgbSurfaceSeedFill(surface.get(), c.x, c.y, c.colour);
    EXPECT_EQ(TakePendingExceptionClass(), c.raised) << c.depth << " " << c.colour;
    EXPECT_EQ(PixelBytes(picture), before) << c.depth << " " << c.colour;
    EXPECT_EQ(ChangeCount(picture), changes);
  }
}

// Black pixels where x and y are both odd: the fill has about a million
// segments pending at once, and must still reach every white pixel.
TEST_F(RGBSurfaceTest, FloodFillCoversALattice) {
  ObjectRef picture = NewPicture(2000, 2000, 32);
  ObjectRef surface = SurfaceOf(picture);
  for (int32_t y = 1; y < 2000; y += 2)
    for (int32_t x = 1; x < 2000; x += 2) rgbSurfaceSetPixel(surface.get(), x, y, kBlack);
  rgbSurfaceSeedFill(surface.get(), 0, 0, kRed);
  EXPECT_EQ(CountColour(surface, kWhite), 0u);
  EXPECT_EQ(CountColour(surface, kRed), 3000000u);
}

TEST_F(RGBSurfaceTest, TransformRaisesForWrongMapsAndDepthsAndChangesNothing) {
  const ArrayRef good = InvertingMap();
  const ArrayRef short254 = IntegerMap(254, [](int32_t i) { return i; });
  const ArrayRef short10 = IntegerMap(10, [](int32_t i) { return i; });
  struct Case {
    int32_t depth;
    RuntimeArray *red, *green, *blue;
    const char* message;
  };
  const Case cases[] = {
      {32, short254.get(), short254.get(), short254.get(),
       "Transform map UBound must be 255, not 254"},
      {32, nullptr, nullptr, nullptr, "Transform map UBound must be 255, not -1"},
      {24, short10.get(), good.get(), short254.get(), "Transform map UBound must be 255, not 10"},
      {32, good.get(), nullptr, good.get(), "Transform map UBound must be 255, not -1"},
      {16, good.get(), good.get(), good.get(), "Transform depth must be 24 or 32, not 16"},
  };
  for (const Case& c : cases) {
    ObjectRef picture = NewPicture(4, 4, c.depth);
    ObjectRef surface = SurfaceOf(picture);
    rgbSurfaceSetPixel(surface.get(), 1, 1, 0x123456);
    const std::vector<uint8_t> before = PixelBytes(picture);
    const int32_t changes = ChangeCount(picture);
    if (c.red == c.green && c.green == c.blue) {
      rgbSurfaceTransform(surface.get(), c.red);
    } else {
      rgbSurfaceTransformRGB(surface.get(), c.red, c.green, c.blue);
    }
    ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
    ASSERT_TRUE(
        ObjectIsADefinition(exception.get(), GetUnsupportedFormatExceptionClassDefinition()))
        << c.message;
    StringRef message = StringRef::Adopt(exceptionMessageGetter(exception.get(), 0));
    EXPECT_EQ(StringToStdUTF8(message.get()), c.message);
    EXPECT_EQ(PixelBytes(picture), before) << c.message;
    EXPECT_EQ(ChangeCount(picture), changes) << c.message;
  }
}

TEST_F(RGBSurfaceTest, TransformMapsEachChannelThroughTheLowByte) {
  ObjectRef picture = NewPicture(3, 2, 32);
  ObjectRef surface = SurfaceOf(picture);
  rgbSurfaceSetPixel(surface.get(), 2, 1, 0xAB123456);
  const int32_t changes = ChangeCount(picture);
  rgbSurfaceTransform(surface.get(), InvertingMap().get());
  EXPECT_EQ(RawPixel32(picture, 2, 1), 0xABEDCBA9u);
  EXPECT_EQ(ChangeCount(picture), changes + 1);

  // Only each element's low byte counts; each channel has its own map.
  ObjectRef deep = NewPicture(1, 1, 24);
  ObjectRef deepSurface = SurfaceOf(deep);
  rgbSurfaceSetPixel(deepSurface.get(), 0, 0, 0x102030);
  const ArrayRef red = IntegerMap(255, [](int32_t) { return 0x1FF; });
  const ArrayRef green = IntegerMap(255, [](int32_t i) { return i + 1; });
  const ArrayRef blue = IntegerMap(255, [](int32_t) { return -1; });
  rgbSurfaceTransformRGB(deepSurface.get(), red.get(), green.get(), blue.get());
  EXPECT_EQ(rgbSurfaceGetPixel(deepSurface.get(), 0, 0), 0xFF21FFu);
}

}  // namespace
