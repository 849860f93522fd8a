// One axis of a picture's source rectangle clipped to the picture, for
// DrawPicture and the pixmap shapes.
#pragma once
#include <cstdint>

// The source runs from sourceStart over sourceSize pixels of the picture and
// lands at position over size pixels of the destination. Clipping to the
// picture's extent (0..limit) shrinks the destination in proportion. Worked
// in 64 bits, so that no argument can overflow.
struct PictureAxis {
  int64_t position;     // destination
  int64_t size;         // destination
  int64_t sourceStart;  // in the picture
  int64_t sourceSize;

  // False when nothing of the axis is left to draw: a size below 1 before or
  // after clipping, or a source outside the picture (which would mirror).
  bool ClipTo(int64_t limit) {
    if (size < 1 || sourceSize < 1) return false;
    if (sourceStart < 0) {
      const int64_t cut = (-sourceStart * size) / sourceSize;
      position += cut;
      size -= cut;
      sourceSize += sourceStart;
      sourceStart = 0;
    }
    if (sourceStart + sourceSize > limit) {
      size = size * (limit - sourceStart) / sourceSize;
      sourceSize = limit - sourceStart;
    }
    return size >= 1 && sourceSize >= 1 && sourceStart >= 0 && sourceStart + sourceSize <= limit;
  }
};
