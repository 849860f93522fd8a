// The application image and the directory of its resources.
//
// The image is embedded in the executable as resource 1 of type "PICKLE".
// All numbers are little-endian and all offsets count from the image start:
//
//   header (24 bytes)  "KVIM", u16 version 1, u16 flags 0, u32 options offset,
//                      u32 options length, u32 resource count,
//                      u32 directory offset
//   options            u16 flags 0, u16 caption byte length (0: none), the
//                      caption in UTF-8 (an options length of 0: no options)
//   directory          count x 16 bytes {type: four ASCII bytes in reading
//                      order, i16 id, u16 0, u32 data offset, u32 data length}
//   data               the resources' bytes
//
// An image is refused whole (no resources and no caption remain) when its
// magic or version is wrong, when any block or resource reaches past the end,
// or when a (type, id) pair repeats. No image at all is the normal state of a
// program without resources. Resource data stays valid for the whole run.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/RuntimeObjectFoundation.h"

struct ResourceEntry {
  uint32_t type;  // four-character code, big-endian ('TEXT')
  int16_t id;
  const uint8_t* data;
  uint32_t length;
  uint32_t offset;  // from the image start; 0 for resources added one by one
};

// An in-memory sound resource as the Sound class takes it. The data belongs
// to the image (ownsData is false).
struct SoundResourceData {
  const uint8_t* data;
  uint32_t length;
  bool hasWaveHeader;  // a whole 44-byte header: "RIFF" at 0, "WAVE" at 8
  bool ownsData;
};

// Makes a Movie object of the movie resource of that id, written to the file
// at the path; the caller's reference, or nil.
using MovieFactory = RuntimeObject* (*)(const wchar_t* path, int16_t id);
// Makes a Database object of a database resource's bytes; the caller's
// reference, or nil.
using DatabaseFactory = RuntimeObject* (*)(const uint8_t* data, uint32_t length);

namespace ResourceManager {

// Replaces the image by a copy of the blob. False, with the reason in *error
// (when error is not null), for a refused blob, which leaves no resources and
// no caption.
bool LoadImage(const void* bytes, size_t length, std::string* error);
// Reads the module's PICKLE resource; a module without one leaves no
// resources and no caption, and is no error.
bool LoadFromModule(HMODULE module, std::string* error);
// Adds one resource (its bytes copied); false when the (type, id) pair is
// taken already or the bytes are missing.
bool AddResource(uint32_t type, int16_t id, const void* bytes, uint32_t length);

std::optional<ResourceEntry> Find(uint32_t type, int16_t id);
size_t Count();
// The image's caption; empty when it has none.
const std::wstring& Caption();

// The 'moov' resource written to a file of its own in the temporary folder
// (one file per id, reused by later calls) and handed to the movie factory.
// Nil, with no file left behind, when the resource or the factory is missing
// or the file cannot be written. The files are deleted at exit.
RuntimeObject* GetMovie(int16_t id);
// The 'dbse' resource handed to the database factory; nil when either is
// missing.
RuntimeObject* GetDatabase(int16_t id);
// The 'snd ' resource; none when it is missing.
std::optional<SoundResourceData> GetSoundData(int16_t id);
// Data records of the application: this image has none, so always false.
bool ReadAppDataRecordFromResources(const void* resourceReference, void** fileReference,
                                    uint32_t* offset);

// Setting a factory gives back the previous one.
MovieFactory SetMovieFactory(MovieFactory factory);
DatabaseFactory SetDatabaseFactory(DatabaseFactory factory);

// Deletes the temporary files written so far (the end sequence calls it).
void DeleteTemporaryFiles();

}  // namespace ResourceManager
