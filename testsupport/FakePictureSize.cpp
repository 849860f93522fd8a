#include "testsupport/FakePictureSize.h"

namespace {

RuntimeObject* g_picture = nullptr;
int32_t g_width = 0;
int32_t g_height = 0;

}  // namespace

void SetFakePicture(RuntimeObject* picture, int32_t width, int32_t height) {
  g_picture = picture;
  g_width = width;
  g_height = height;
}

bool FakePictureSize(RuntimeObject* picture, int32_t* width, int32_t* height) {
  if (!picture || picture != g_picture) return false;
  *width = g_width;
  *height = g_height;
  return true;
}
