// A recording stand-in for the media subsystems behind the files
// subsystem's media slots: Sounds (a small class of its own), QuickTime's
// image export, and the edit field's styled text. While it lives it is the
// table in force (one at a time); the previous table comes back after.
//
// Each call is logged as one line ("openDefaultComponent grip PICT"), and
// QuickTime handles are kept in a list, so that a test can see every one
// disposed of.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "files/MediaSlots.h"

struct RuntimeObject;

class FakeMediaSlots {
 public:
  // The Sound objects it makes.
  struct Sound {
    uint8_t* data;  // owned (HeapAllocate)
    int32_t length;
    RuntimeObject* item;  // owned reference
  };

  FakeMediaSlots();
  ~FakeMediaSlots();
  FakeMediaSlots(const FakeMediaSlots&) = delete;
  FakeMediaSlots& operator=(const FakeMediaSlots&) = delete;

  // The fields of a Sound it made; nil for anything else.
  static const Sound* SoundOf(RuntimeObject* object);

  // Answers: of exportImageFile, and of both styled-text calls.
  int32_t exportAnswer = 0;
  uint32_t styledTextAnswer = 0;
  // The PICT data pictureToQuickTimePicture gives for any picture, and the
  // bytes a successful export writes to the file the last export named.
  std::string pict = "PICT-data";
  std::string exported = "JPEG-data";
  std::string specPath;

  std::vector<std::string> calls;
  // The bytes of the handle the importer was given.
  std::string importerData;
  // The QuickTime handles not disposed of, with their blocks.
  std::map<QuickTimeHandle, std::string> handles;

 private:
  MediaSlots previous_;
};
