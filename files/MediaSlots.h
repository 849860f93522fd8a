// The media services the files subsystem reads and writes typed file
// contents with, in one table filled at start-up by the subsystems that own
// them: sounds and movies, QuickTime's image calls, picture import, and the
// edit field's styled text. Files come before those subsystems, so it
// reaches them only through here.
//
// An empty slot means the service is not available: the operation that
// needs it answers nil or false, touches no file and raises nothing. Paths
// are UTF-8. Everything runs on the application's thread.
#pragma once
#include <cstdint>

struct RuntimeObject;
class NativePicture;

// QuickTime's file spec, as its calls take it (2-byte packing).
#pragma pack(push, 2)
struct QuickTimeFileSpec {
  int16_t volume;
  int32_t parentDirectory;
  uint8_t name[64];  // length byte first
};
#pragma pack(pop)
static_assert(sizeof(QuickTimeFileSpec) == 70, "QuickTime file spec");

// A QuickTime memory handle: a pointer to the block's pointer.
using QuickTimeHandle = char**;

struct MediaSlots {
  // ---- Sounds ----
  // A new Sound (the caller's). With data, it takes over the block (made with
  // HeapAllocate) and its length; with none, a Sound without data.
  RuntimeObject* (*newSound)(void* data, int32_t length) = nullptr;
  // Keeps the FolderItem a Sound was opened from, with a reference of its own.
  void (*setSoundItem)(RuntimeObject* sound, RuntimeObject* item) = nullptr;

  // ---- QuickTime (error results: 0 is success) ----
  bool (*quickTimeAvailable)() = nullptr;
  bool (*pictureImportReady)() = nullptr;
  int16_t (*fileSpecOfPath)(const char* path, QuickTimeFileSpec* spec) = nullptr;
  int16_t (*openMovieFile)(const QuickTimeFileSpec* spec, int16_t* fileReference,
                           int8_t permission) = nullptr;
  int16_t (*newMovieFromFile)(void** movie, int16_t fileReference, int16_t* resourceId,
                              uint8_t* name, int16_t flags, uint8_t* dataChanged) = nullptr;
  int16_t (*closeMovieFile)(int16_t fileReference) = nullptr;
  // A new Movie (the caller's) over the movie, from the resource of that id.
  RuntimeObject* (*newMovie)(void* movie, int32_t resourceId) = nullptr;
  // A new PICT handle of the Picture (the caller disposes of it); null when
  // it cannot be made.
  QuickTimeHandle (*pictureToQuickTimePicture)(RuntimeObject* picture) = nullptr;
  QuickTimeHandle (*newHandle)(int32_t size) = nullptr;
  int32_t (*handleSize)(QuickTimeHandle handle) = nullptr;
  void (*disposeHandle)(QuickTimeHandle handle) = nullptr;
  int16_t (*openDefaultComponent)(uint32_t type, uint32_t subType, void** component) = nullptr;
  int32_t (*setImporterData)(void* importer, QuickTimeHandle data) = nullptr;
  int32_t (*exportImageFile)(void* importer, uint32_t fileType, uint32_t creator,
                             const QuickTimeFileSpec* spec, int16_t script) = nullptr;
  int16_t (*closeComponent)(void* component) = nullptr;

  // ---- Picture import (native pictures: one reference, the caller's) ----
  // An image file: BMP natively, other formats through the importer.
  NativePicture* (*openPictureFile)(const char* path) = nullptr;
  // The vector group (the caller's) of an ".emf" or ".wmf" file and its size.
  RuntimeObject* (*importMetafileFile)(const char* path, int32_t* width, int32_t* height) = nullptr;
  NativePicture* (*importPictureWithQuickTime)(const char* path) = nullptr;

  // ---- Styled text of an edit field ----
  bool (*hasNativeControl)(RuntimeObject* field) = nullptr;
  // Read or write the file as styled text: 0, or the Win32 error code.
  uint32_t (*loadStyledText)(RuntimeObject* field, const char* path) = nullptr;
  uint32_t (*saveStyledText)(RuntimeObject* field, const char* path) = nullptr;
};

// The table in force (borrowed; all slots empty until filled).
const MediaSlots& CurrentMediaSlots();
// Puts a table in force and gives back the previous one. Each subsystem
// fills its own slots: take the current table, set them, install it.
MediaSlots InstallMediaSlots(const MediaSlots& slots);
