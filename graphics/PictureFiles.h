// Picture files read into native pictures: BMP files by the run-time's own
// reader, every other image through a picture importer (PictureImporter.h).
//
// Every reader gives a new native picture (one reference, the caller's) or
// nil, and reports nothing. Limits: an image with a side above 32767 or more
// than 2^26 pixels gives nil before its pixel memory is made, and so does a
// BMP file longer than such an image could need, unread. Pixel memory comes
// from calls that may fail (DIB sections, global blocks), never from the
// run-time's allocator. Paths are UTF-8.
#pragma once
#include <cstdint>

class NativePicture;

constexpr int64_t kLargestImportedImage = int64_t(1) << 26;  // pixels

extern "C" {
// ".bmp" (any case) through ReadBMPFile; else image index (1 is the first)
// of the file through its importer. A file holding several images gives a
// picture with an image list, whose image i is OpenPictureFile(path, i).
NativePicture* OpenPictureFile(const char* path, int32_t index);
// The first image of the file through its importer, whatever its name.
NativePicture* ImportPictureWithQuickTime(const char* path);
// A packed-DIB picture of the BMP file at the file's depth, plain or
// run-length (4 and 8 bits); its resolution is the file's pixels per metre in
// pixels per inch, 72 where the file states 0 or less.
NativePicture* ReadBMPFile(const char* path);
// Whether files other than BMP can be read: QuickTime starts, or the
// platform's decoders can be made.
bool PictureImportQuickTimeReady();
}
