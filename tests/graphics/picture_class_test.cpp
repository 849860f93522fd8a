// The Picture class through its entry points and property records: bitmap
// and vector pictures, the cached Graphics and Mask, IndexedImage with and
// without an image list, what a released picture leaves behind, and the
// vector shapes' picture-size slot.
#include <vector>

#include "PictureTestSupport.h"
#include "graphics/GlobalMemory.h"
#include "testsupport/FakeImageList.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;

// The constructor as compiled code calls it after making the instance.
ObjectRef ConstructPicture(int32_t width, int32_t height, int32_t depth) {
  ObjectRef picture = ObjectRef::Adopt(CreateInstance(PictureClassDefinition()));
  PictureConstructor(picture.get(), width, height, depth);
  return picture;
}

bool AllPixels(const ObjectRef& picture, uint32_t colour) {
  for (int32_t y = 0; y < pictureHeightGetter(picture.get(), 0); ++y)
    for (int32_t x = 0; x < pictureWidthGetter(picture.get(), 0); ++x)
      if (Colour(picture, x, y) != colour) return false;
  return true;
}

TEST_F(PictureTest, ConstructorAndNewPictureMakeTheSamePictures) {
  for (auto make : {ConstructPicture, NewPicture}) {
    ObjectRef bitmap = make(100, 50, 32);
    EXPECT_EQ(IntProperty(bitmap, "Width"), 100);
    EXPECT_EQ(IntProperty(bitmap, "Height"), 50);
    EXPECT_EQ(IntProperty(bitmap, "Depth"), 32);
    EXPECT_EQ(IntProperty(bitmap, "ImageCount"), 1);
    EXPECT_FALSE(ObjectProperty(bitmap, "Objects"));
    EXPECT_TRUE(AllPixels(bitmap, kWhite));
    EXPECT_EQ(IntProperty(make(10, 10, 2), "Depth"), 4);

    ObjectRef vector = make(100, 50, 0);
    EXPECT_EQ(IntProperty(vector, "Depth"), 0);
    EXPECT_EQ(IntProperty(vector, "Width"), 100);
    EXPECT_EQ(IntProperty(vector, "ImageCount"), 0);
    EXPECT_FALSE(ObjectProperty(vector, "Graphics"));
    EXPECT_FALSE(ObjectProperty(vector, "Mask"));
    EXPECT_FALSE(pictureIndexedImage(vector.get(), 1));
    ObjectRef group = ObjectProperty(vector, "Objects");
    ASSERT_TRUE(ObjectIsADefinition(group.get(), GetGroup2DDefinition()));
    EXPECT_EQ(Group2DCount(group.get(), 0), 0);
    SetProperty<int32_t>(vector.get(), "HorizontalResolution", 144);
    EXPECT_EQ(IntProperty(vector, "HorizontalResolution"), 72);
  }
}

TEST_F(PictureTest, ObjectsSetterSwapsTheGroupsReferences) {
  ObjectRef vector = NewPicture(40, 30, 0);
  ObjectRef old = ObjectProperty(vector, "Objects");
  ObjectRef replacement = ObjectRef::Adopt(CreateInstance(GetGroup2DDefinition()));
  EXPECT_EQ(old->refCount, 2);
  SetProperty<RuntimeObject*>(vector.get(), "Objects", replacement.get());
  EXPECT_EQ(old->refCount, 1);
  EXPECT_EQ(replacement->refCount, 2);
  EXPECT_EQ(ObjectProperty(vector, "Objects").get(), replacement.get());
}

TEST_F(PictureTest, GraphicsIsMadeOnceAndDrawsIntoThePicture) {
  ObjectRef picture = NewPicture(20, 10, 32);
  ObjectRef first = ObjectProperty(picture, "Graphics");
  ObjectRef second = ObjectProperty(picture, "Graphics");
  ASSERT_TRUE(first);
  EXPECT_EQ(first.get(), second.get());
  graphicsForeColorSetter(first.get(), 0, kBlue);
  RuntimeGraphicsFillRect(first.get(), 2, 3, 4, 5);
  EXPECT_EQ(Colour(picture, 5, 7), kBlue);
  EXPECT_EQ(Colour(picture, 6, 7), kWhite);
}

TEST_F(PictureTest, ResolutionReachesTheExportedPixelsPerMetre) {
  ObjectRef picture = NewPicture(3, 2, 24);
  SetProperty<int32_t>(picture.get(), "HorizontalResolution", 144);
  EXPECT_EQ(IntProperty(picture, "HorizontalResolution"), 144);
  EXPECT_EQ(IntProperty(picture, "VerticalResolution"), 72);
  GlobalBlock exported(NativeOf(picture)->ExportPackedDIB());
  GlobalLockScope locked(exported.get());
  ASSERT_TRUE(locked.data());
  BITMAPINFOHEADER header;
  std::memcpy(&header, locked.data(), sizeof header);
  EXPECT_EQ(header.biXPelsPerMeter, 5669);
  EXPECT_EQ(header.biYPelsPerMeter, 2835);
}

// A new mask makes the picture opaque; white painted into it lets the
// destination show through.
TEST_F(PictureTest, MaskStartsBlackAndLetsTheDestinationThroughWhereWhite) {
  ObjectRef source = NewPicture(10, 10, 32);
  PaintWhole(source, kBlue);
  ObjectRef mask = ObjectProperty(source, "Mask");
  ASSERT_TRUE(mask);
  EXPECT_EQ(ObjectProperty(source, "Mask").get(), mask.get());
  EXPECT_EQ(NativeOf(mask), NativeOf(source)->Mask());
  EXPECT_TRUE(AllPixels(mask, 0x000000));

  ObjectRef maskGraphics = GraphicsOf(mask);
  graphicsPixelSetter(maskGraphics.get(), 5, 5, kWhite);
  ObjectRef destination = NewPicture(10, 10, 32);
  PaintWhole(destination, kRed);
  const int32_t d = kDrawPictureDefaultSize;
  RuntimeGraphicsDrawPicture(GraphicsOf(destination).get(), source.get(), 0, 0, d, d, 0, 0, d, d);
  EXPECT_EQ(Colour(destination, 5, 5), kRed);
  EXPECT_EQ(Colour(destination, 4, 5), kBlue);
}

// Without an image list every v gives the picture's own native picture; with
// one, image v of the list, the first being 1.
TEST_F(PictureTest, IndexedImageSharesTheNativePictureOrReadsTheListFromOne) {
  ObjectRef picture = NewPicture(1, 1, 32);
  NativePicture* native = NativeOf(picture);
  for (int32_t v : {1, 0, 7}) {
    ObjectRef image = ObjectRef::Adopt(pictureIndexedImage(picture.get(), v));
    ASSERT_TRUE(image) << v;
    EXPECT_EQ(NativeOf(image), native);
    EXPECT_EQ(native->ReferenceCount(), 2);
  }

  std::vector<NativePicture*> images;
  for (uint32_t colour = 1; colour <= 3; ++colour) {
    BitmapPicture* image = BitmapPicture::Create(1, 1, 32);
    uint32_t token = 0;
    HDC dc = image->AcquireMemoryDC(&token);
    SetPixelV(dc, 0, 0, RGB(0, 0, colour));
    image->ReleaseMemoryDC(token);
    images.push_back(image);
  }
  native->SetImageList(new FakeImageList(images, 3));

  EXPECT_EQ(IntProperty(picture, "ImageCount"), 3);
  for (uint32_t v : {1u, 2u}) {
    ObjectRef image = ObjectRef::Adopt(pictureIndexedImage(picture.get(), int32_t(v)));
    ASSERT_TRUE(image) << v;
    EXPECT_EQ(Colour(image, 0, 0), v);
  }
  for (int32_t v : {3, 0, 4, -1}) {
    EXPECT_FALSE(ObjectRef::Adopt(pictureIndexedImage(picture.get(), v))) << v;
  }
}

// The native picture's count is 16 bits: pictures made by IndexedImage can
// take it to the top, where it stays, so that no holder is left with a
// deleted picture. (The 1 x 1 picture is kept for the rest of the run.)
TEST_F(PictureTest, IndexedImagesPastTheCountsTopKeepTheNativePicture) {
  ObjectRef picture = NewPicture(1, 1, 32);
  NativePicture* native = NativeOf(picture);
  std::vector<ObjectRef> images(0x10000);
  for (ObjectRef& image : images) image = ObjectRef::Adopt(pictureIndexedImage(picture.get(), 1));
  ASSERT_EQ(native->ReferenceCount(), 0xFFFF);
  images.resize(1);
  picture = ObjectRef();
  EXPECT_EQ(native->ReferenceCount(), 0xFFFF);
  EXPECT_EQ(Colour(images[0], 0, 0), kWhite);
}

TEST_F(PictureTest, ReleasingAPictureFreesEverythingItHolds) {
  const uint32_t liveBefore = RuntimeLiveObjectCount();
  NativePicture* native = nullptr;
  {
    ObjectRef picture = NewPicture(16, 16, 32);
    native = NativeOf(picture);
    PictureRetain(native);
    ObjectProperty(picture, "Graphics");
    ObjectProperty(picture, "Mask");
    EXPECT_EQ(native->ReferenceCount(), 2);
  }
  EXPECT_EQ(RuntimeLiveObjectCount(), liveBefore);
  EXPECT_EQ(native->ReferenceCount(), 1);
  PictureRelease(native);

  {
    ObjectRef vector = NewPicture(16, 16, 0);
    ObjectProperty(vector, "Objects");
  }
  EXPECT_EQ(RuntimeLiveObjectCount(), liveBefore);
}

// A Graphics the application keeps after its picture is released draws into
// nothing, even while another picture still shares the native picture; it
// keeps its settings.
TEST_F(PictureTest, KeptGraphicsLetsGoOfASharedNativePicture) {
  ObjectRef picture = NewPicture(10, 10, 32);
  ObjectRef sharing = ObjectRef::Adopt(pictureIndexedImage(picture.get(), 1));
  ObjectRef kept = GraphicsOf(picture);
  graphicsForeColorSetter(kept.get(), 0, kBlue);
  RuntimeGraphicsFillRect(kept.get(), 0, 0, 1, 1);
  ASSERT_EQ(Colour(sharing, 0, 0), kBlue);

  picture = ObjectRef();
  RuntimeGraphicsFillRect(kept.get(), 0, 0, 10, 10);
  EXPECT_EQ(Colour(sharing, 5, 5), kWhite);
  EXPECT_EQ(graphicsWidthGetter(kept.get(), 0), 0);
  EXPECT_EQ(graphicsForeColorGetter(kept.get(), 0), kBlue);

  PaintWhole(sharing, kRed);
  EXPECT_EQ(Colour(sharing, 5, 5), kRed);
}

// NextPage on a picture's Graphics erases the picture to white; a transparent
// drawing afterwards leaves all of it out, not what the picture used to hold.
TEST_F(PictureTest, NextPageErasesThePictureForTheNextTransparentDrawing) {
  ObjectRef source = NewPicture(10, 10, 32);
  PaintWhole(source, kBlue);
  SetProperty<int32_t>(source.get(), "Transparent", 1);
  ObjectRef destination = NewPicture(10, 10, 32);
  ObjectRef target = GraphicsOf(destination);
  const int32_t d = kDrawPictureDefaultSize;
  RuntimeGraphicsDrawPicture(target.get(), source.get(), 0, 0, d, d, 0, 0, d, d);
  ASSERT_EQ(Colour(destination, 5, 5), kBlue);

  RuntimeGraphicsNextPage(GraphicsOf(source).get());
  EXPECT_TRUE(AllPixels(source, kWhite));
  PaintWhole(destination, kRed);
  RuntimeGraphicsDrawPicture(target.get(), source.get(), 0, 0, d, d, 0, 0, d, d);
  EXPECT_TRUE(AllPixels(destination, kRed));
}

TEST_F(PictureTest, PixmapShapesTakeTheSizeOfAPictureWithPixels) {
  ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
  ObjectRef bitmap = NewPicture(30, 20, 32);
  PixmapShapeImageCtor(pixmap.get(), bitmap.get());
  EXPECT_EQ(GetDouble(pixmap.get(), "Width"), 30);
  EXPECT_EQ(GetDouble(pixmap.get(), "Height"), 20);
  EXPECT_EQ(ObjectProperty(pixmap, "Image").get(), bitmap.get());

  ObjectRef vector = NewPicture(30, 20, 0);
  ObjectRef notAPicture = NewShape(GetGroup2DDefinition());
  for (RuntimeObject* image : {vector.get(), notAPicture.get()}) {
    PixmapShapeImageCtor(pixmap.get(), image);
    EXPECT_EQ(GetDouble(pixmap.get(), "Width"), 0);
    EXPECT_FALSE(ObjectProperty(pixmap, "Image"));
  }
  EXPECT_EQ(GetPixmapShapeDefinition()->FindProperty("Image")->record->type,
            PictureClassDefinition());
}

// Start-up registered both classes and tied the Picture's Graphics type.
TEST_F(PictureTest, ClassesAreRegisteredByName) {
  EXPECT_EQ(RuntimeLookupClass("Picture"), RuntimeClassOfDefinition(PictureClassDefinition()));
  EXPECT_EQ(RuntimeLookupClass("RGBSurface"),
            RuntimeClassOfDefinition(RGBSurfaceClassDefinition()));
  EXPECT_EQ(PictureClassDefinition()->FindProperty("Graphics")->record->type,
            GraphicsClassDefinition());
}

}  // namespace
