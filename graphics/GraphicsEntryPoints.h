// The drawing layer's names in the entry-point table that no class table
// carries: the picture function, the Graphics' DrawObject without offsets,
// the text-renderer switch, and the two picture-cache entries that plug-ins
// and compiled code link against, which have nothing to clear here.
#pragma once

class NativePicture;
struct RuntimeObject;

// Enters the names once however often start-up runs (start-up list).
void RegisterGraphicsEntryPoints();

extern "C" {
// Pictures keep no cache beside their pixels: both do nothing.
void PictureClearCache(NativePicture* picture);
void TOVAPictureClearCache(RuntimeObject* picture);
}
