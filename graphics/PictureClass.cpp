// The Picture class: construction, its properties and IndexedImage, the
// cached Graphics and Mask objects, the destructor and registration.
#include "graphics/PictureClass.h"

#include <iterator>
#include <memory>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/RGBSurfaceClass.h"
#include "graphics/Rect16.h"
#include "graphics/Shapes2D.h"

namespace {

constexpr int32_t kDefaultResolution = 72;

RuntimeObject* AsObject(PictureObject* picture) {
  return reinterpret_cast<RuntimeObject*>(picture);
}
RuntimeObject* AsObject(GraphicsObject* graphics) {
  return reinterpret_cast<RuntimeObject*>(graphics);
}

// The object as a Picture, or nil: nil leaves NilObjectException pending, an
// object of another class (only C++ code can pass one) is reported.
PictureObject* PictureArgument(RuntimeObject* object, int32_t line) {
  return InstanceArgument<PictureObject>(object, PictureClassDefinition(), "PictureClass", line,
                                         "ObjectIsADefinition(picture, Picture)");
}
#define PICTURE_ARGUMENT(object) PictureArgument(object, __LINE__)

struct PortDeleter {
  void operator()(GraphicsPort* port) const { delete port; }
};
using PortHolder = std::unique_ptr<GraphicsPort, PortDeleter>;

// A Picture over the native picture's mask, painted black (fully opaque).
PictureObject* MakeMaskPicture(NativePicture* native) {
  PictureEnsureMask(native);
  NativePicture* mask = native->Mask();
  if (!mask) return nullptr;
  PictureRetain(mask);
  PictureObject* holder = WrapNativePicture(mask);
  if (!holder) return nullptr;
  PortHolder port(mask->NewGraphics());
  if (port) port->FillRect(SaturatedRect16(0, 0, holder->height, holder->width));
  return holder;
}

void DestroyPicture(RuntimeObject* object) {
  auto* picture = ObjectFields<PictureObject>(object);
  ReleaseCurrentDrawingPane();
  RuntimeUnlockObject(AsObject(picture->mask));
  picture->mask = nullptr;
  if (GraphicsObject* graphics = picture->graphics) {
    picture->graphics = nullptr;
    // The application may keep the Graphics, and another picture may share
    // the native picture: the port lets go of the drawing port now.
    if (graphics->port) graphics->port->ClearTarget();
    RuntimeUnlockObject(AsObject(graphics));
  }
  PictureRelease(picture->nativePicture);
  picture->nativePicture = nullptr;
  RuntimeUnlockObject(picture->objects);
  picture->objects = nullptr;
}

// The size the language sees: the native picture's, else the constructed one
// of a vector picture.
void PictureSize(const PictureObject* picture, int32_t* width, int32_t* height) {
  *width = *height = 0;
  if (picture->nativePicture) {
    picture->nativePicture->GetSize(width, height);
  } else if (picture->objects) {
    *width = picture->width;
    *height = picture->height;
  }
}

// A resolution of the native picture; 72 without one (0 for no picture).
int32_t Resolution(const PictureObject* picture, int32_t (NativePicture::*read)() const) {
  if (!picture) return 0;
  return picture->nativePicture ? (picture->nativePicture->*read)() : kDefaultResolution;
}

// Ignored without a native picture; kept as a file holds it.
void SetResolution(const PictureObject* picture, void (NativePicture::*write)(int32_t),
                   int32_t dpi) {
  if (picture && picture->nativePicture) (picture->nativePicture->*write)(FileResolution(dpi));
}

bool NativePictureSize(RuntimeObject* object, int32_t* width, int32_t* height) {
  if (!object || !ObjectIsADefinition(object, PictureClassDefinition())) return false;
  NativePicture* native = ObjectFields<PictureObject>(object)->nativePicture;
  if (!native) return false;
  native->GetSize(width, height);
  return true;
}

// The properties whose type is a class. Graphics's is set at registration,
// so that the Graphics class may name Picture in its own tables.
enum PropertyIndex : size_t {
  kGraphicsProperty = 2,
  kObjectsProperty = 3,
  kSurfaceProperty = 5,
  kMaskProperty = 7
};

PropertyRecord g_pictureProperties[] = {
    {kPropertyReadOnly, "Width", &kIntegerType, RUNTIME_ENTRY(pictureWidthGetter), nullptr, nullptr,
     0},
    {kPropertyReadOnly, "Height", &kIntegerType, RUNTIME_ENTRY(pictureHeightGetter), nullptr,
     nullptr, 0},
    {kPropertyReadOnly, "Graphics", nullptr, RUNTIME_ENTRY(pictureGraphicsGetter), nullptr, nullptr,
     0},
    {0, "Objects", nullptr, RUNTIME_ENTRY(pictureObjectsGetter),
     RUNTIME_ENTRY(pictureObjectsSetter), 0},
    {0, "Transparent", &kIntegerType, RUNTIME_ENTRY(pictureTransparentGetter),
     RUNTIME_ENTRY(pictureTransparentSetter), 0},
    {kPropertyReadOnly, "RGBSurface", nullptr, RUNTIME_ENTRY(pictureRGBSurfaceGetter), nullptr,
     nullptr, 0},
    {kPropertyReadOnly, "ImageCount", &kIntegerType, RUNTIME_ENTRY(pictureImageCountGetter),
     nullptr, nullptr, 0},
    {kPropertyReadOnly, "Mask", nullptr, RUNTIME_ENTRY(pictureMaskGetter), nullptr, nullptr, 0},
    {kPropertyReadOnly, "Depth", &kIntegerType, RUNTIME_ENTRY(pictureDepthGetter), nullptr, nullptr,
     0},
    {0, "HorizontalResolution", &kIntegerType, RUNTIME_ENTRY(pictureHorizontalResolutionGetter),
     RUNTIME_ENTRY(pictureHorizontalResolutionSetter), 0},
    {0, "VerticalResolution", &kIntegerType, RUNTIME_ENTRY(pictureVerticalResolutionGetter),
     RUNTIME_ENTRY(pictureVerticalResolutionSetter), 0},
};

ObjectDefinition* MakePicture() {
  static ObjectDefinition definition;
  static const ParameterRecord size[] = {
      {"width", &kIntegerType, 0}, {"height", &kIntegerType, 0}, {"depth", &kIntegerType, 0}};
  static const ParameterRecord index[] = {{"v", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, size, 3, RUNTIME_ENTRY(PictureConstructor)),
      MakeMethodRecord("IndexedImage", &definition, index, 1, RUNTIME_ENTRY(pictureIndexedImage)),
  };
  g_pictureProperties[kObjectsProperty].type = GetGroup2DDefinition();
  g_pictureProperties[kSurfaceProperty].type = RGBSurfaceClassDefinition();
  g_pictureProperties[kMaskProperty].type = &definition;
  ObjectDefinitionSetName(&definition, "Picture");
  definition.instanceSize = sizeof(PictureObject);
  definition.destructor = DestroyPicture;
  BuildPropertyDefinitions(&definition, g_pictureProperties,
                           int32_t(std::size(g_pictureProperties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

}  // namespace

ObjectDefinition* PictureClassDefinition() {
  static ObjectDefinition* const definition = MakePicture();
  return definition;
}

void RegisterPictureClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  g_pictureProperties[kGraphicsProperty].type = GraphicsClassDefinition();
  RegisterIntrinsicClass(PictureClassDefinition());
  RegisterIntrinsicClass(RGBSurfaceClassDefinition());
  SetPictureSizeQuery(NativePictureSize);
  SetPixmapShapePictureClass(PictureClassDefinition());
}

PictureObject* WrapNativePicture(NativePicture* native) {
  if (!native) return nullptr;
  RuntimeObject* object = CreateInstance(PictureClassDefinition());
  if (!object) {
    PictureRelease(native);
    return nullptr;
  }
  auto* picture = ObjectFields<PictureObject>(object);
  picture->nativePicture = native;
  native->GetSize(&picture->width, &picture->height);
  return picture;
}

extern "C" {

void PictureConstructor(RuntimeObject* object, int32_t width, int32_t height, int32_t depth) {
  PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture) return;
  picture->width = width;
  picture->height = height;
  if (depth < 1) {
    picture->objects = CreateInstance(GetGroup2DDefinition());
  } else {
    picture->nativePicture = BitmapPicture::Create(width, height, depth);
  }
}

RuntimeObject* newPicture(int32_t width, int32_t height, int32_t depth) {
  RuntimeObject* picture = CreateInstance(PictureClassDefinition());
  if (picture) PictureConstructor(picture, width, height, depth);
  return picture;
}

int32_t pictureWidthGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  int32_t width = 0, height = 0;
  if (picture) PictureSize(picture, &width, &height);
  return width;
}

int32_t pictureHeightGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  int32_t width = 0, height = 0;
  if (picture) PictureSize(picture, &width, &height);
  return height;
}

RuntimeObject* pictureGraphicsGetter(RuntimeObject* object, uint32_t) {
  PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture || !picture->nativePicture) return nullptr;
  if (!picture->graphics) {
    if (GraphicsPort* port = picture->nativePicture->NewGraphics()) {
      picture->graphics = WrapGraphicsPort(port);
    }
  }
  RuntimeLockObject(AsObject(picture->graphics));
  return AsObject(picture->graphics);
}

RuntimeObject* pictureObjectsGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture) return nullptr;
  RuntimeLockObject(picture->objects);
  return picture->objects;
}

void pictureObjectsSetter(RuntimeObject* object, uint32_t, RuntimeObject* group) {
  PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture) return;
  RuntimeLockObject(group);
  RuntimeObject* old = picture->objects;
  picture->objects = group;
  RuntimeUnlockObject(old);
}

int32_t pictureTransparentGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  return picture ? picture->transparent : 0;
}

void pictureTransparentSetter(RuntimeObject* object, uint32_t, int32_t value) {
  if (PictureObject* picture = PICTURE_ARGUMENT(object)) picture->transparent = value;
}

int32_t pictureImageCountGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture || !picture->nativePicture) return 0;
  PictureImageList* images = picture->nativePicture->ImageList();
  return images ? images->ImageCount() : 1;
}

RuntimeObject* pictureMaskGetter(RuntimeObject* object, uint32_t) {
  PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture) return nullptr;
  if (!picture->mask && picture->nativePicture) {
    picture->mask = MakeMaskPicture(picture->nativePicture);
  }
  RuntimeLockObject(AsObject(picture->mask));
  return AsObject(picture->mask);
}

int32_t pictureDepthGetter(RuntimeObject* object, uint32_t) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  return picture ? PictureDepth(picture->nativePicture) : 0;
}

int32_t pictureHorizontalResolutionGetter(RuntimeObject* object, uint32_t) {
  return Resolution(PICTURE_ARGUMENT(object), &NativePicture::HResolution);
}

void pictureHorizontalResolutionSetter(RuntimeObject* object, uint32_t, int32_t dpi) {
  SetResolution(PICTURE_ARGUMENT(object), &NativePicture::SetHResolution, dpi);
}

int32_t pictureVerticalResolutionGetter(RuntimeObject* object, uint32_t) {
  return Resolution(PICTURE_ARGUMENT(object), &NativePicture::VResolution);
}

void pictureVerticalResolutionSetter(RuntimeObject* object, uint32_t, int32_t dpi) {
  SetResolution(PICTURE_ARGUMENT(object), &NativePicture::SetVResolution, dpi);
}

RuntimeObject* pictureIndexedImage(RuntimeObject* object, int32_t v) {
  const PictureObject* picture = PICTURE_ARGUMENT(object);
  if (!picture || !picture->nativePicture) return nullptr;
  NativePicture* native = picture->nativePicture;
  PictureImageList* images = native->ImageList();
  if (!images) {
    PictureRetain(native);
    return AsObject(WrapNativePicture(native));
  }
  if (v < 1 || v > images->ImageCount()) return nullptr;
  return AsObject(WrapNativePicture(images->ReadImage(v)));
}

}  // extern "C"
