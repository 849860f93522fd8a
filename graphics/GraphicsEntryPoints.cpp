// The drawing layer's entries of the entry-point table.
#include "graphics/GraphicsEntryPoints.h"

#include <iterator>

#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PictureClass.h"
#include "host/relocentry.h"

void RegisterGraphicsEntryPoints() {
  static const EntryPoint entries[] = {
      {"newPicture", reinterpret_cast<void*>(&newPicture)},
      {"RuntimeGraphicsDrawObject", reinterpret_cast<void*>(&RuntimeGraphicsDrawObject)},
      {"EnableCoreGraphicsTextOnOSX", reinterpret_cast<void*>(&EnableCoreGraphicsTextOnOSX)},
      {"PictureClearCache", reinterpret_cast<void*>(&PictureClearCache)},
      {"TOVAPictureClearCache", reinterpret_cast<void*>(&TOVAPictureClearCache)},
  };
  RegisterEntryPoints(entries, std::size(entries));
}

extern "C" void PictureClearCache(NativePicture*) {}
extern "C" void TOVAPictureClearCache(RuntimeObject*) {}
