// The RGBSurface class: the Picture getter that makes a surface, the pixel,
// fill and transform entry points over the picture's pixels, and the class
// definition.
#include "graphics/RGBSurfaceClass.h"

#include <cstdio>
#include <iterator>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "graphics/GdiObjects.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/SurfacePixels.h"

namespace {

constexpr int32_t kMapUpperBound = 255;

void ReportWrongClass(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "RGBSurfaceClass", line, condition, nullptr);
}

// The object as a surface, or nil: nil leaves NilObjectException pending, an
// object of another class (only C++ code can pass one) is reported.
RGBSurfaceObject* SurfaceArgument(RuntimeObject* object, int32_t line) {
  return InstanceArgument<RGBSurfaceObject>(object, RGBSurfaceClassDefinition(), "RGBSurfaceClass",
                                            line, "ObjectIsADefinition(surface, RGBSurface)");
}
#define SURFACE_ARGUMENT(object) SurfaceArgument(object, __LINE__)

// The surface's pixels, with what GDI still holds of the picture's drawing
// flushed into them first.
PixelBuffer PixelsOf(const RGBSurfaceObject* surface) {
  FlushGdiAfterDrawing();
  return {surface->pixelBase, surface->rowBytes, surface->width, surface->height, surface->depth};
}

bool Inside(const RGBSurfaceObject* surface, int32_t x, int32_t y) {
  return x >= 0 && x < surface->width && y >= 0 && y < surface->height;
}

// The next transparent drawing builds its masks from the new pixels.
void NoteWrite(const RGBSurfaceObject* surface) {
  surface->picture->nativePicture->PixelsChanged();
}

void DestroyRGBSurface(RuntimeObject* object) {
  auto* surface = ObjectFields<RGBSurfaceObject>(object);
  RuntimeUnlockObject(reinterpret_cast<RuntimeObject*>(surface->picture));
  surface->picture = nullptr;
  surface->pixelBase = nullptr;
}

// The message is the text followed by the number; formatted in place, so
// that nothing can throw out of the entry point.
void RaiseUnsupported(const char* text, int32_t number) {
  char message[80];
  std::snprintf(message, sizeof message, "%s%d", text, int(number));
  RaiseExceptionWithMessage(GetUnsupportedFormatExceptionClassDefinition(), message, 0);
}

int32_t UpperBound(const RuntimeArray* map) { return map ? RuntimeUBound(map) : -1; }

// The low byte of each of the 256 elements.
void ReadMap(RuntimeArray* map, uint8_t (&table)[256]) {
  for (int32_t i = 0; i <= kMapUpperBound; ++i)
    table[i] = uint8_t(RuntimeDirectReadIntArray(map, i));
}

ObjectDefinition* MakeRGBSurface() {
  static ObjectDefinition definition;
  static const ParameterRecord point[] = {{"x", &kIntegerType, 0}, {"y", &kIntegerType, 0}};
  static const ParameterRecord fill[] = {
      {"x", &kIntegerType, 0}, {"y", &kIntegerType, 0}, {"fillColor", &kColorType, 0}};
  // Integer arrays: the member records have no array type.
  static const ParameterRecord maps[] = {
      {"redMap", nullptr, 0}, {"greenMap", nullptr, 0}, {"blueMap", nullptr, 0}};
  static const ParameterRecord map[] = {{"map", nullptr, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Pixel", &kColorType, point, 2, RUNTIME_ENTRY(rgbSurfaceGetPixel),
                       RUNTIME_ENTRY(rgbSurfaceSetPixel)),
      MakeMethodRecord("FloodFill", nullptr, fill, 3, RUNTIME_ENTRY(rgbSurfaceSeedFill)),
      MakeMethodRecord("Transform", nullptr, maps, 3, RUNTIME_ENTRY(rgbSurfaceTransformRGB)),
      MakeMethodRecord("Transform", nullptr, map, 1, RUNTIME_ENTRY(rgbSurfaceTransform)),
  };
  ObjectDefinitionSetName(&definition, "RGBSurface");
  definition.instanceSize = sizeof(RGBSurfaceObject);
  definition.destructor = DestroyRGBSurface;
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

}  // namespace

ObjectDefinition* RGBSurfaceClassDefinition() {
  static ObjectDefinition* const definition = MakeRGBSurface();
  return definition;
}

extern "C" {

RuntimeObject* pictureRGBSurfaceGetter(RuntimeObject* object, uint32_t) {
  if (!object) return nullptr;
  if (!ObjectIsADefinition(object, PictureClassDefinition())) {
    ReportWrongClass(__LINE__, "ObjectIsADefinition(picture, Picture)");
    return nullptr;
  }
  NativePicture* native = ObjectFields<PictureObject>(object)->nativePicture;
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!native || !native->GetPixels(&depth, &base, &rowBytes) || depth < 16) return nullptr;
  RuntimeObject* created = CreateInstance(RGBSurfaceClassDefinition());
  if (!created) return nullptr;
  auto* surface = ObjectFields<RGBSurfaceObject>(created);
  RuntimeLockObject(object);
  surface->picture = ObjectFields<PictureObject>(object);
  native->GetSize(&surface->width, &surface->height);
  surface->pixelBase = base;
  surface->rowBytes = rowBytes;
  surface->depth = depth;
  return created;
}

uint32_t rgbSurfaceGetPixel(RuntimeObject* object, int32_t x, int32_t y) {
  const RGBSurfaceObject* surface = SURFACE_ARGUMENT(object);
  return surface ? SurfacePixel(PixelsOf(surface), x, y) : 0;
}

void rgbSurfaceSetPixel(RuntimeObject* object, int32_t x, int32_t y, uint32_t colour) {
  const RGBSurfaceObject* surface = SURFACE_ARGUMENT(object);
  if (!surface || !Inside(surface, x, y)) return;
  SetSurfacePixel(PixelsOf(surface), x, y, colour);
  NoteWrite(surface);
}

void rgbSurfaceSeedFill(RuntimeObject* object, int32_t x, int32_t y, uint32_t colour) {
  const RGBSurfaceObject* surface = SURFACE_ARGUMENT(object);
  if (!surface) return;
  switch (SeedFill(PixelsOf(surface), x, y, colour)) {
    case SeedFillOutcome::kSeedOutside:
      RaiseOutOfBoundsException();
      break;
    case SeedFillOutcome::kFilled:
      NoteWrite(surface);
      break;
    case SeedFillOutcome::kUnchanged:
      break;
  }
}

void rgbSurfaceTransformRGB(RuntimeObject* object, RuntimeArray* redMap, RuntimeArray* greenMap,
                            RuntimeArray* blueMap) {
  const RGBSurfaceObject* surface = SURFACE_ARGUMENT(object);
  if (!surface) return;
  bool mapsFit = true;
  int32_t wrongBound = 0;
  for (const RuntimeArray* map : {blueMap, greenMap, redMap}) {
    const int32_t bound = UpperBound(map);
    if (bound == kMapUpperBound) continue;
    mapsFit = false;
    wrongBound = bound;
  }
  if (!mapsFit) {
    RaiseUnsupported("Transform map UBound must be 255, not ", wrongBound);
    return;
  }
  if (surface->depth != 24 && surface->depth != 32) {
    RaiseUnsupported("Transform depth must be 24 or 32, not ", surface->depth);
    return;
  }
  uint8_t red[256], green[256], blue[256];
  ReadMap(redMap, red);
  ReadMap(greenMap, green);
  ReadMap(blueMap, blue);
  if (TransformPixels(PixelsOf(surface), red, green, blue)) NoteWrite(surface);
}

void rgbSurfaceTransform(RuntimeObject* object, RuntimeArray* map) {
  rgbSurfaceTransformRGB(object, map, map, map);
}

}  // extern "C"
