// Objects kept in one process-wide most-recently-used list, so that memory can
// be given back on demand from the least recently used end. Native pictures
// and database pages share the list.
//
// Construction does not link: an object joins with Track (pictures call it in
// their constructors, pages once they are filled). Destruction unlinks.
#pragma once
#include <cstdint>

class TrackedObject {
 public:
  TrackedObject() = default;
  virtual ~TrackedObject();
  // Gives back what memory the object can; true when it gave back any.
  virtual bool ReleaseOnDemand();

  void Track();    // link at the head unless linked
  void Touch();    // move to the head (links when unlinked)
  void Untrack();  // unlink when linked
  bool IsTracked() const { return linked_; }

  // Asks tracked objects from the least recently used end to release, until
  // `wanted` of them have given memory back or the list is done; gives the
  // number that did.
  static int32_t ReleaseLeastRecentlyUsed(int32_t wanted);
  static TrackedObject* MostRecentlyUsed();
  TrackedObject* LessRecentlyUsed() const { return older_; }

  TrackedObject(const TrackedObject&) = delete;
  TrackedObject& operator=(const TrackedObject&) = delete;

 private:
  TrackedObject* newer_ = nullptr;
  TrackedObject* older_ = nullptr;
  bool linked_ = false;
};
