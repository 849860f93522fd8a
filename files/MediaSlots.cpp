// The media services' table.
#include "files/MediaSlots.h"

#include <utility>

namespace {

MediaSlots& Current() {
  static MediaSlots slots;
  return slots;
}

}  // namespace

const MediaSlots& CurrentMediaSlots() { return Current(); }

MediaSlots InstallMediaSlots(const MediaSlots& slots) { return std::exchange(Current(), slots); }
