// The language classes "Picture" and "RGBSurface".
//
// A Picture holds either a native bitmap picture, which the application draws
// into through its Graphics property, or (depth below 1) only a group of
// vector shapes. Its Graphics and Mask objects are made on first use and kept
// for the picture's life. An RGBSurface gives direct access to the pixels of
// a 16-, 24- or 32-bit picture; it holds its picture, whose native picture
// and DIB section are fixed for the picture's life, so the surface's pixel
// base stays valid as long as the surface exists.
//
// Ownership: getters of objects hand the caller a new reference; a picture
// holds one reference on its native picture, its cached Graphics, its mask
// picture and its Objects group; a surface holds one on its picture.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

class NativePicture;
struct GraphicsObject;
struct ObjectDefinition;

struct PictureObject {
  RuntimeObject header;
  int32_t transparent;           // when not 0, DrawPicture draws white as transparent
  NativePicture* nativePicture;  // nil for a vector picture
  GraphicsObject* graphics;      // cached; nil until asked
  PictureObject* mask;           // cached; nil until asked
  int32_t width;                 // as constructed
  int32_t height;
  RuntimeObject* objects;  // the Group2D of a vector picture
};
static_assert(!kLayoutIs32Bit || offsetof(PictureObject, transparent) == 24, "Picture layout");
static_assert(!kLayoutIs32Bit || offsetof(PictureObject, objects) == 48, "Picture layout");

struct RGBSurfaceObject {
  RuntimeObject header;
  PictureObject* picture;
  int32_t width;
  int32_t height;
  uint8_t* pixelBase;  // first byte of the top row
  int32_t rowBytes;
  int32_t depth;  // 16, 24 or 32
};
static_assert(!kLayoutIs32Bit || offsetof(RGBSurfaceObject, picture) == 24, "RGBSurface layout");
static_assert(!kLayoutIs32Bit || offsetof(RGBSurfaceObject, depth) == 44, "RGBSurface layout");

// Register "Picture" (which also sets the vector shapes' picture-size slot)
// and "RGBSurface" (start-up list); calling it again does nothing.
void RegisterPictureClasses();
ObjectDefinition* PictureClassDefinition();
ObjectDefinition* RGBSurfaceClassDefinition();

// A new Picture (one reference, the caller's) holding the native picture,
// whose reference passes to it; its width and height are the native
// picture's. Nil (the reference dropped) when the object cannot be made, and
// nil for a nil native picture.
PictureObject* WrapNativePicture(NativePicture* native);

// The entry points, as compiled code calls them. A nil picture or surface
// leaves NilObjectException pending and reads 0 / nil (the RGBSurface getter
// alone answers nil without raising). Getters of objects return a new
// reference; the Objects setter borrows its argument and keeps its own.
extern "C" {
// Width and height given; a depth below 1 makes a vector picture (an empty
// Objects group, no native picture), any other a bitmap picture of that depth
// (2 becomes 4; a depth other than 1, 4, 8, 16, 24 or 32, or a size the
// platform refuses, gives a native picture without pixels).
void PictureConstructor(RuntimeObject* picture, int32_t width, int32_t height, int32_t depth);
// The language's picture function: a new Picture filled as the constructor
// fills it (one reference, the caller's).
RuntimeObject* newPicture(int32_t width, int32_t height, int32_t depth);

// Properties (the parameter word is ignored).
int32_t pictureWidthGetter(RuntimeObject* picture, uint32_t parameter);
int32_t pictureHeightGetter(RuntimeObject* picture, uint32_t parameter);
RuntimeObject* pictureGraphicsGetter(RuntimeObject* picture, uint32_t parameter);
RuntimeObject* pictureObjectsGetter(RuntimeObject* picture, uint32_t parameter);
void pictureObjectsSetter(RuntimeObject* picture, uint32_t parameter, RuntimeObject* group);
int32_t pictureTransparentGetter(RuntimeObject* picture, uint32_t parameter);
void pictureTransparentSetter(RuntimeObject* picture, uint32_t parameter, int32_t value);
int32_t pictureImageCountGetter(RuntimeObject* picture, uint32_t parameter);
RuntimeObject* pictureMaskGetter(RuntimeObject* picture, uint32_t parameter);
int32_t pictureDepthGetter(RuntimeObject* picture, uint32_t parameter);
// The resolution setters take any Integer and keep it as a file can hold it
// (FileResolution of PackedDIB.h): 72 dots per inch for 0 or less,
// 65,535 for more; the getters and exported files answer what was kept.
int32_t pictureHorizontalResolutionGetter(RuntimeObject* picture, uint32_t parameter);
void pictureHorizontalResolutionSetter(RuntimeObject* picture, uint32_t parameter, int32_t dpi);
int32_t pictureVerticalResolutionGetter(RuntimeObject* picture, uint32_t parameter);
void pictureVerticalResolutionSetter(RuntimeObject* picture, uint32_t parameter, int32_t dpi);

// Image v of the picture's image list, counted from 1: nil for a v outside
// 1..ImageCount or an image that cannot be read. Without an image list, a
// new Picture over the picture's own native picture for every v; nil
// without a native picture.
RuntimeObject* pictureIndexedImage(RuntimeObject* picture, int32_t v);
}
