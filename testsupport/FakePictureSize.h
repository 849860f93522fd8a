// A stand-in for the Picture class's native size query, for tests of code that
// asks a picture for its size in pixels (such as the PixmapShape constructor).
// It answers for one chosen object only, as a picture with a native picture
// would; every other object (and nil) is a picture without one.
#pragma once
#include <cstdint>

struct RuntimeObject;

// The object that answers, and its size; nil makes every answer false.
void SetFakePicture(RuntimeObject* picture, int32_t width, int32_t height);
// The query: the size of the chosen object, false for any other.
bool FakePictureSize(RuntimeObject* picture, int32_t* width, int32_t* height);
