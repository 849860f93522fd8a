// Picture files: a picture drawn into a Windows metafile, an enhanced
// metafile or a BMP file.
//
// The file is written whole under a free name in the target's folder
// ("$$PictureTemp$$", then with a number) and moved over the target only
// when complete, so a failure leaves no file behind and an existing target
// as it was.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

struct RuntimeObject;

enum PictureFileKind : uint16_t {
  kWindowsMetafileKind = 300,
  kEnhancedMetafileKind = 301,
  kBMPFileKind = 350,
};

// Draws the Picture (borrowed), at its own size, into a file of the kind at
// the path, which first gets the kind's extension (".wmf", ".emf", ".bmp")
// unless it has it; a path that would grow past 1,024 bytes fails. An
// enhanced metafile's frame is the picture's size in 0.01 mm on the screen.
// A BMP file keeps the picture's depth (32 where it has none) and
// resolution. False when anything failed.
bool WritePictureFile(RuntimeObject* picture, PictureFileKind kind, std::string* path);

// For tests: the call that writes a BMP file's bytes (a failing one stands
// in for a full disk); gives back the previous one.
using PictureFileWriteCall = bool (*)(HANDLE file, const void* bytes, uint32_t count);
PictureFileWriteCall SetPictureFileWriteCall(PictureFileWriteCall call);
