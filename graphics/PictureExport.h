// Picture export: the language's export command, and a picture as a
// QuickTime picture handle. With QuickTime started, the graphics importer's
// export dialog chooses the format and the file; without it, a save dialog
// chooses the file and the file layer writes a BMP. The file layer comes
// after graphics, so it reaches it through hooks filled at start-up.
#pragma once
#include <cstddef>
#include <cstdint>

#include "graphics/QuickTimeBackend.h"

struct RuntimeObject;
struct StringRecord;

struct PictureExportHooks {
  // Runs a save dialog with the title and suggested name and no parent
  // window: the chosen FolderItem (a new reference) or nil.
  RuntimeObject* (*runSaveDialog)(StringRecord* title, StringRecord* suggestedName) = nullptr;
  // The item's SaveAsPicture(picture, format): true when the file was written.
  bool (*saveAsPicture)(RuntimeObject* item, RuntimeObject* picture, int32_t format) = nullptr;
};
// Puts the hooks in force and gives back the previous ones.
PictureExportHooks SetPictureExportHooks(const PictureExportHooks& hooks);

extern "C" {
// A nil picture leaves NilObjectException pending and gives false. Every
// failure, a cancel included, gives false; nothing is shown. The handle,
// importer and exporter are released in every case.
bool exportPicture(RuntimeObject* picture);
// A new QuickTime picture handle of the Picture's image, carrying the
// resolution its file gets (the caller disposes of it through the backend);
// nil without QuickTime or without an image.
QtHandle PictureToQuickTimePicture(RuntimeObject* picture);
}
// Gives the picture's packed DIB at dib (size bytes, a copy of the
// caller's) the resolution its file gets: a picture read from a file keeps
// that file's header, whose resolution may no longer be the one set. False,
// with nothing written, for a core header, which has no room for one
// (QuickTimeBackend::NewPictureHandleOf widens it first).
bool CarryFileResolution(const NativePicture& picture, uint8_t* dib, size_t size);
// A new handle of the picture file export hands the graphics importer: 512
// zero bytes of file header, then the QuickTime picture. Nil as above.
QtHandle PictureFileHandle(RuntimeObject* picture);
