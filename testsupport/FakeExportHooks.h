// Stand-ins for picture export's two file-layer hooks (the save dialog and
// the item's picture writer): they record what export asked and answer as
// scripted. In force while the object lives; the previous hooks come back.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/PictureExport.h"

struct RuntimeObject;

class FakeExportHooks {
 public:
  FakeExportHooks();
  ~FakeExportHooks();
  FakeExportHooks(const FakeExportHooks&) = delete;
  FakeExportHooks& operator=(const FakeExportHooks&) = delete;

  // Script: the item the dialog chooses (nil: a cancel; borrowed, a new
  // reference is handed out), and the writer's answer.
  RuntimeObject* chosenItem = nullptr;
  bool writes = true;
  // Records.
  std::string title, suggestedName;
  int dialogs = 0;
  int writesAsked = 0;
  RuntimeObject* writtenPicture = nullptr;
  int32_t writtenFormat = -1;

 private:
  PictureExportHooks previous_;
};
