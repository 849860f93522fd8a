// The movie-controller records, their events and their idle task.
#include "graphics/MovieControllers.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/QuickTimeMovies.h"
#include "graphics/Rect16.h"
#include "host/RunTimer.h"
#include "ui/RuntimeWindow.h"
#include "ui/pane.h"
#include "ui/win32windows.h"

namespace {

constexpr int32_t kMovieErrorCode = 10;
constexpr intptr_t kRateOne = 0x10000;  // 1.0 in 16.16

// Controller flags at creation, by the control's Controller property.
constexpr int32_t kFlagsNoController = 9;  // movie at top-left, controller not visible
constexpr int32_t kFlagsWithBadge = 13;    // the same with a badge
constexpr int32_t kFlagsStandard = 1;      // movie at top-left
// Set-flags bits: parts of the controller suppressed.
constexpr intptr_t kSuppressFrame = 1;
constexpr intptr_t kSuppressStep = 2;
constexpr intptr_t kSuppressSpeaker = 4;

enum QueuedEvent : uint8_t { kQueuedPlay, kQueuedStop, kQueuedSizeChanged };
constexpr const char* kEventNames[] = {"Play", "Stop", "ControllerSizeChanged"};

struct ControllerRecord {
  uint64_t serial;  // never reused: a record is looked up again by it
  bool ownsMovie;
  QtMovie movie;
  QtController controller;
  MoviePane* pane;
  RuntimeObject* control;
  std::vector<QueuedEvent> queue;
};

class ControllersIdleTask : public PeriodicTask {
 public:
  ControllersIdleTask() : PeriodicTask(1) {}
  void Run() override { MovieControllersIdle(); }
};

struct ControllerList {
  std::vector<std::unique_ptr<ControllerRecord>> records;  // newest first
  uint64_t nextSerial = 1;
  std::unique_ptr<ControllersIdleTask> idle;  // while records exist
  ControlWindowCloseHook previousCloseHook = nullptr;
};

ControllerList& List() {
  static ControllerList list;
  return list;
}

QuickTimeBackend& Backend() { return CurrentQuickTimeBackend(); }

MoviePlayerFields* PlayerOf(RuntimeObject* control) {
  return ObjectFields<MoviePlayerFields>(control);
}

void LogMovieError(const std::string& message) {
  LogErrorMessage(message.c_str(), kMovieErrorCode);
}

ControllerRecord* Find(uint64_t serial) {
  for (const auto& record : List().records) {
    if (record->serial == serial) return record.get();
  }
  return nullptr;
}

template <class Predicate>
std::vector<uint64_t> SerialsWhere(Predicate predicate) {
  std::vector<uint64_t> serials;
  for (const auto& record : List().records) {
    if (predicate(*record)) serials.push_back(record->serial);
  }
  return serials;
}

std::vector<uint64_t> SerialsOfPane(const MoviePane* pane) {
  return SerialsWhere([pane](const ControllerRecord& record) { return record.pane == pane; });
}

template <class Predicate>
void RemoveWhere(Predicate predicate) {
  ControllerList& list = List();
  std::vector<std::unique_ptr<ControllerRecord>> removed;
  for (auto it = list.records.begin(); it != list.records.end();) {
    if (predicate(**it)) {
      removed.push_back(std::move(*it));
      it = list.records.erase(it);
    } else {
      ++it;
    }
  }
  // Unlinked first, so a backend call that reaches the list finds none of
  // them.
  for (const auto& record : removed) {
    Backend().DisposeController(record->controller);
    if (record->ownsMovie) DisposeQuickTimeMovie(record->movie);
  }
  if (list.records.empty()) list.idle.reset();
}

MacRect PaneRect(const MoviePane* pane) {
  return SaturatedRect16(0, 0, pane->Height(), pane->Width());
}

bool Showing(const MoviePane* pane) { return pane->IsShown() && pane->ShownFlag(); }

// Where a shown controller goes: over the pane, or with AutoResize at its
// movie's own size.
MacRect ShownBounds(const ControllerRecord& record) {
  if (!PlayerOf(record.control)->autoResize) return PaneRect(record.pane);
  return Backend().MovieBox(record.movie);
}

void SetBoundsOfPane(const MoviePane* pane, bool shown) {
  for (uint64_t serial : SerialsOfPane(pane)) {
    const ControllerRecord& record = *Find(serial);
    Backend().SetControllerBounds(record.controller,
                                  shown ? ShownBounds(record) : kOffscreenBounds);
  }
}

// The control's Movie changed under the controller: it takes its movie again.
void RefreshMovie(ControllerRecord* record) {
  RuntimeObject* movieObject = PlayerOf(record->control)->movie;
  if (!movieObject) return;
  auto* movie = ObjectFields<MovieObjectFields>(movieObject);
  if (!movie->changed) return;
  Backend().ControllerSetMovie(record->controller, record->movie);
  movie->changed = 0;
}

void RunHandler(RuntimeObject* control, MoviePane* pane, QueuedEvent kind) {
  EventHandler handler = FindEventHandler(control, kEventNames[kind]);
  if (!handler) return;
  ObjectRef hold = ObjectRef::Retain(control);
  OwnerChainLock lock(pane);
  reinterpret_cast<void (*)(RuntimeObject*)>(handler)(control);
}

// Each record's queue is taken out before its handlers run; a handler may
// remove records (its own included), so each is looked up again after every
// handler.
void Deliver(const std::vector<uint64_t>& serials) {
  for (uint64_t serial : serials) {
    ControllerRecord* record = Find(serial);
    if (!record) continue;
    const std::vector<QueuedEvent> queue = std::exchange(record->queue, {});
    RuntimeObject* control = record->control;
    MoviePane* pane = record->pane;
    for (QueuedEvent kind : queue) {
      RunHandler(control, pane, kind);
      if (!Find(serial)) break;
    }
  }
}

bool ActionFilter(QtController controller, int16_t action, intptr_t parameter, void*) {
  QueuedEvent kind;
  if (action == kActionPlay || action == kActionPrerollAndPlay) {
    kind = parameter != 0 ? kQueuedPlay : kQueuedStop;
  } else if (action == kActionControllerSizeChanged) {
    kind = kQueuedSizeChanged;
  } else {
    return false;
  }
  for (const auto& record : List().records) {
    std::vector<QueuedEvent>& queue = record->queue;
    if (record->controller == controller && (queue.empty() || queue.back() != kind)) {
      queue.push_back(kind);
    }
  }
  return false;
}

int32_t CreationFlags(int32_t controller) {
  if (controller == 0) return kFlagsNoController;
  if (controller == 1) return kFlagsWithBadge;
  return kFlagsStandard;
}

void SetUpController(QtController controller, const MoviePlayerFields* player) {
  QuickTimeBackend& backend = Backend();
  intptr_t suppressed = 0;
  if (!player->hasStep) suppressed |= kSuppressStep;
  if (!player->speaker) suppressed |= kSuppressSpeaker;
  if (!player->border) suppressed |= kSuppressFrame;
  backend.ControllerAction(controller, kActionSetFlags, suppressed);
  backend.ControllerAction(controller, kActionSetUseBadge, 0);
  if (player->looping) backend.ControllerAction(controller, kActionSetLooping, 1);
  if (player->palindrome) backend.ControllerAction(controller, kActionSetLoopIsPalindrome, 1);
  backend.SetActionFilter(controller, ActionFilter, nullptr);
}

// The movie the control's Movie stands for, and whether the record owns it;
// nil, with the reason logged, for none.
QtMovie MovieToAttach(RuntimeObject* movieObject, bool* owns) {
  auto* fields = ObjectFields<MovieObjectFields>(movieObject);
  *owns = false;
  if (fields->movie) return fields->movie;
  if (!fields->path) {
    LogMovieError("No movie resID");
    return nullptr;
  }
  QtError error = kQtNoError;
  QtMovie movie = nullptr;
  int16_t resourceId = int16_t(fields->resourceId);
  if (QtMovieFile file = MovieFileOf(StringToStdUTF8(fields->path).c_str(), &error)) {
    error = Backend().NewMovieFromFile(file, &movie, &resourceId);
  }
  if (error != kQtNoError) {
    LogMovieError("Error " + std::to_string(error) + " creating movie from data fork");
    movie = nullptr;
  }
  if (!movie) LogMovieError("no movie");
  *owns = movie != nullptr;
  return movie;
}

void RemoveForClosingControl(RuntimeObject* control) {
  MovieControllerRemoveForWindow(ControlFields(control)->window);
  if (ControlWindowCloseHook previous = List().previousCloseHook) previous(control);
}

}  // namespace

// ---- The pane ----

MoviePane::MoviePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                     RuntimeObject* control)
    : NativePane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, 0),
      control_(control),
      shown_(ControlFields(control)->visible != 0) {}

MoviePane::~MoviePane() {
  MovieControllerRemoveForPane(this);
  if (port_) Backend().DisposePortAssociation(port_);
}

QtPort MoviePane::RenewPortAssociation() {
  if (port_) Backend().DisposePortAssociation(std::exchange(port_, nullptr));
  port_ = Backend().NewPortAssociation(NativeWindow());
  return port_;
}

// ---- Start-up ----

void InstallMovieControllerHooks() {
  ControllerList& list = List();
  if (list.previousCloseHook) return;
  list.previousCloseHook = SetControlWindowCloseHook(RemoveForClosingControl);
}

// ---- Entry points ----

extern "C" void LoadMovie(RuntimeObject* control, MoviePane* pane) {
  if (!QuickTimeAvailable()) {
    LogMovieError("Couldn't load QuickTime");
    return;
  }
  MakeCurrentDrawingPane(pane);
  MoviePlayerFields* player = PlayerOf(control);
  if (!player->movie) {
    LogMovieError("No movie");
    return;
  }
  bool owns = false;
  QtMovie movie = MovieToAttach(player->movie, &owns);
  if (!movie) return;
  QuickTimeBackend& backend = Backend();
  MacRect box = backend.MovieBox(movie);
  box = SaturatedRect16(0, 0, int32_t(box.bottom) - box.top, int32_t(box.right) - box.left);
  backend.SetMovieBox(movie, box);
  backend.SetMoviePort(movie, pane->RenewPortAssociation());
  QtController controller = backend.NewController(movie, box, CreationFlags(player->controller));
  if (!controller) {
    if (owns) DisposeQuickTimeMovie(movie);
    return;
  }
  ControllerList& list = List();
  list.records.insert(list.records.begin(),
                      std::make_unique<ControllerRecord>(ControllerRecord{
                          list.nextSerial++, owns, movie, controller, pane, control, {}}));
  if (!list.idle) list.idle = std::make_unique<ControllersIdleTask>();
  SetUpController(controller, player);
  const ControllerRecord& record = *list.records.front();
  backend.SetControllerBounds(controller,
                              player->control.visible ? ShownBounds(record) : kOffscreenBounds);
}

extern "C" bool MovieControllersHandleEvent(const MSG* message) {
  bool taken = false;
  for (uint64_t serial : SerialsWhere([](const ControllerRecord& record) {
         return PlayerOf(record.control)->controller != 0;
       })) {
    ControllerRecord* record = Find(serial);
    if (!record) continue;
    MakeCurrentDrawingPane(record->pane);
    taken = Backend().ControllerIsPlayerEvent(record->controller, *message) || taken;
  }
  return taken;
}

extern "C" void MovieControllersResize(MoviePane* pane) { SetBoundsOfPane(pane, Showing(pane)); }

extern "C" void MovieControllerRemoveForPane(MoviePane* pane) {
  RemoveWhere([pane](const ControllerRecord& record) { return record.pane == pane; });
}

extern "C" void MovieControllerRemoveForWindow(RuntimeObject* window) {
  if (!window) return;
  RemoveWhere([window](const ControllerRecord& record) {
    return ControlFields(record.control)->window == window;
  });
}

extern "C" void MovieControllerShow(MoviePane* pane) { SetBoundsOfPane(pane, true); }

extern "C" void MovieControllerHide(MoviePane* pane) { SetBoundsOfPane(pane, false); }

extern "C" void MoviePlayerPlay(MoviePane* pane) {
  for (uint64_t serial : SerialsOfPane(pane)) {
    if (ControllerRecord* record = Find(serial)) {
      Backend().ControllerAction(record->controller, kActionPrerollAndPlay, kRateOne);
    }
  }
  MovieControllerDeliverEvents(pane);
}

extern "C" void MoviePlayerStop(MoviePane* pane) {
  for (uint64_t serial : SerialsOfPane(pane)) {
    if (ControllerRecord* record = Find(serial)) {
      Backend().ControllerAction(record->controller, kActionPlay, 0);
    }
  }
  MovieControllerDeliverEvents(pane);
}

extern "C" void MovieControllersIdle() {
  for (uint64_t serial : SerialsWhere([](const ControllerRecord&) { return true; })) {
    ControllerRecord* record = Find(serial);
    if (!record) continue;
    RefreshMovie(record);
    Backend().ControllerIdle(record->controller);
    Deliver({serial});
  }
}

extern "C" void MovieControllerDraw(MoviePane* pane) {
  QuickTimeBackend& backend = Backend();
  for (uint64_t serial : SerialsOfPane(pane)) {
    ControllerRecord* record = Find(serial);
    if (!record) continue;
    RefreshMovie(record);
    if (!pane->PortAssociation() || !Showing(pane)) continue;
    QtPort saved = backend.CurrentPort();
    backend.SetCurrentPort(pane->PortAssociation());
    backend.ControllerDraw(record->controller);
    backend.SetCurrentPort(saved);
  }
}

extern "C" void MovieControllerDeliverEvents(MoviePane* pane) { Deliver(SerialsOfPane(pane)); }

extern "C" QtController getMoviePlayerController(RuntimeObject* control) {
  for (const auto& record : List().records) {
    if (record->control == control) return record->controller;
  }
  return nullptr;
}
