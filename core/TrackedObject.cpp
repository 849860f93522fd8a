// The process-wide most-recently-used list.
#include "core/TrackedObject.h"

namespace {
TrackedObject* newest = nullptr;
TrackedObject* oldest = nullptr;
}  // namespace

TrackedObject::~TrackedObject() { Untrack(); }

bool TrackedObject::ReleaseOnDemand() { return false; }

void TrackedObject::Track() {
  if (linked_) return;
  older_ = newest;
  newer_ = nullptr;
  if (newest) newest->newer_ = this;
  newest = this;
  if (!oldest) oldest = this;
  linked_ = true;
}

void TrackedObject::Touch() {
  if (newest == this) return;
  Untrack();
  Track();
}

void TrackedObject::Untrack() {
  if (!linked_) return;
  (newer_ ? newer_->older_ : newest) = older_;
  (older_ ? older_->newer_ : oldest) = newer_;
  newer_ = older_ = nullptr;
  linked_ = false;
}

TrackedObject* TrackedObject::MostRecentlyUsed() { return newest; }

int32_t TrackedObject::ReleaseLeastRecentlyUsed(int32_t wanted) {
  int32_t released = 0;
  TrackedObject* object = oldest;
  while (object && released < wanted) {
    // Read the neighbour first: releasing may unlink the object.
    TrackedObject* newerOne = object->newer_;
    if (object->ReleaseOnDemand()) ++released;
    object = newerOne;
  }
  return released;
}

#ifdef _WINDOWS_
#error "TrackedObject is portable: it must not include <windows.h>."
#endif
