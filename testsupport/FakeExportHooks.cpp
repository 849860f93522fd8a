// One stand-in at a time, reached by the hooks through a static pointer.
#include "testsupport/FakeExportHooks.h"

#include "core/RuntimeObjectFoundation.h"
#include "core/string.h"

namespace {

FakeExportHooks* g_current = nullptr;

RuntimeObject* RunSaveDialog(StringRecord* title, StringRecord* suggestedName) {
  g_current->title = StringToStdUTF8(title);
  g_current->suggestedName = StringToStdUTF8(suggestedName);
  ++g_current->dialogs;
  if (g_current->chosenItem) RuntimeLockObject(g_current->chosenItem);
  return g_current->chosenItem;
}

bool SaveAsPicture(RuntimeObject*, RuntimeObject* picture, int32_t format) {
  ++g_current->writesAsked;
  g_current->writtenPicture = picture;
  g_current->writtenFormat = format;
  return g_current->writes;
}

}  // namespace

FakeExportHooks::FakeExportHooks() {
  PictureExportHooks hooks;
  hooks.runSaveDialog = RunSaveDialog;
  hooks.saveAsPicture = SaveAsPicture;
  previous_ = SetPictureExportHooks(hooks);
  g_current = this;
}

FakeExportHooks::~FakeExportHooks() {
  SetPictureExportHooks(previous_);
  g_current = nullptr;
}
