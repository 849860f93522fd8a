// The media's start-up step.
#include "runtime/MediaSetup.h"

#include "controls/MoviePlayer.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/runFolderItem.h"
#include "graphics/MovieControllers.h"
#include "graphics/QuickTimeMovies.h"
#include "graphics/Sound.h"
#include "host/runtimemainloop.h"
#include "system/RegistryAccessors.h"
#include "system/RunSystem.h"

namespace {

bool ReadRegistryDWORD(const char* keyPath, const char* valueName, int32_t* value) {
  StringRef path = StringRef::Adopt(StringFromUTF8(keyPath));
  StringRef name = StringRef::Adopt(StringFromUTF8(valueName));
  RegistryKey key;
  RegistryKeyInit(&key);
  const bool open = RegistryKeyOpenPath(&key, path.get(), false);
  if (open) *value = RegistryKeyGetDWORD(&key, name.get());
  RegistryKeyDestruct(&key);
  return open;
}

}  // namespace

void RegisterMediaClasses() {
  RegisterSoundClass();
  RegisterMovieClasses();
  SetSoundFilePathHook(FolderItemPathOf);
  SetQuickTimeRegistryReader(ReadRegistryDWORD);
  SetQuickTimeInstalledQuery(QuickTimeInstalledVersion);
  InstallMovieControllerHooks();
  SetSoundShutdownHook(SoundShutdown);
  SetQuickTimeShutdownHook(QuickTimeShutdown);
}
