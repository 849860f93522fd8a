// Deferred updates: work that panes queue to run once, at the end of the
// current turn of the main loop (after the message), instead of at once.
//
// An entry is queued at most once: adding a queued entry and removing an
// unqueued one do nothing. Each turn empties the queue, then runs what it
// took, once each, in the order they were added; entries added meanwhile run
// in the next turn, and an entry removed before its run does not run. The
// queue does not own its entries; an entry leaves the queue when it is
// destroyed.
#pragma once

class SubPane;

class DeferredUpdate {
 public:
  // owner: the pane the update works on (nil for none); its disposal drops
  // the entry.
  explicit DeferredUpdate(SubPane* owner = nullptr) : owner_(owner) {}
  virtual ~DeferredUpdate();
  DeferredUpdate(const DeferredUpdate&) = delete;
  DeferredUpdate& operator=(const DeferredUpdate&) = delete;

  virtual void RunUpdate() = 0;
  SubPane* Owner() const { return owner_; }

 private:
  SubPane* owner_;
};

void AddDeferredUpdate(DeferredUpdate* entry);
void RemoveDeferredUpdate(DeferredUpdate* entry);
// Drops the entries whose owner is the pane.
void RemoveDeferredUpdatesOf(const SubPane* owner);
// Entries waiting now (queued, or taken by the running turn and not run yet).
bool IsDeferredUpdateQueued(const DeferredUpdate* entry);
// How many entries wait now, counted as IsDeferredUpdateQueued counts them:
// what shows that a closed window left none behind.
int DeferredUpdateCount();
// The host's DeferredUpdates slot.
void RunDeferredUpdates();
