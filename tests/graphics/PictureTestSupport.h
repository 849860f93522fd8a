// Helpers of the Picture and RGBSurface tests: pictures made as compiled code
// makes them, their native pixels read directly, and a fixture that fails a
// test leaving an exception pending.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "ShapeTestSupport.h"
#include "graphics/GraphicsClass.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/RGBSurfaceClass.h"
#include "testsupport/RuntimeTestEnvironment.h"

inline ObjectRef NewPicture(int32_t width, int32_t height, int32_t depth) {
  return ObjectRef::Adopt(newPicture(width, height, depth));
}

inline NativePicture* NativeOf(const ObjectRef& picture) {
  return picture ? reinterpret_cast<PictureObject*>(picture.get())->nativePicture : nullptr;
}

// The raw 32 bits of a pixel of a 32-bit picture; 0xDEADBEEF when the picture
// has no such pixels.
inline uint32_t RawPixel32(const ObjectRef& picture, int32_t x, int32_t y) {
  NativePicture* native = NativeOf(picture);
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!native || !native->GetPixels(&depth, &base, &rowBytes) || depth != 32) return 0xDEADBEEF;
  uint32_t value;
  std::memcpy(&value, base + size_t(y) * size_t(rowBytes) + 4 * size_t(x), 4);
  return value;
}

inline uint32_t Colour(const ObjectRef& picture, int32_t x, int32_t y) {
  return RawPixel32(picture, x, y) & 0xFFFFFF;
}

inline int32_t IntProperty(const ObjectRef& object, const char* name) {
  return GetProperty<int32_t>(object.get(), name);
}

inline ObjectRef ObjectProperty(const ObjectRef& object, const char* name) {
  return ObjectRef::Adopt(GetProperty<RuntimeObject*>(object.get(), name));
}

// The picture's Graphics (a new reference).
inline ObjectRef GraphicsOf(const ObjectRef& picture) {
  return ObjectRef::Adopt(pictureGraphicsGetter(picture.get(), 0));
}

// The whole picture painted in one colour through its Graphics.
inline void PaintWhole(const ObjectRef& picture, uint32_t colour) {
  ObjectRef graphics = GraphicsOf(picture);
  graphicsForeColorSetter(graphics.get(), 0, colour);
  RuntimeGraphicsFillRect(graphics.get(), 0, 0, pictureWidthGetter(picture.get(), 0),
                          pictureHeightGetter(picture.get(), 0));
}

class PictureTest : public HostTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(TakePendingExceptionClass(), "") << "an exception was left pending";
    HostTest::TearDown();
  }
};
