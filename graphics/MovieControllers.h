// The movie controllers through which MoviePlayer controls show, play and
// report their movies: one record per control with a movie, in a list with
// the newest first.
//
// LoadMovie attaches a control's Movie to its pane: it makes the record, the
// pane's port association and a controller set up from the control's
// properties. The controller's action filter turns play actions into queued
// "Play" or "Stop" events and size changes into "ControllerSizeChanged"
// (never the same kind twice in a row); play, stop, idle and
// MovieControllerDeliverEvents run the queued handlers. A handler may close
// the window: delivery then stops for the records that went.
//
// A record goes with its pane, with its window's close, or when the
// control's Movie is replaced; its controller is disposed of then, and its
// movie when the record owns it. While records exist an idle task gives the
// controllers time every tick.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "graphics/QuickTimeBackend.h"
#include "ui/SubPane.h"
#include "ui/runctl.h"

// The MoviePlayer control object, whose properties the controller follows.
struct MoviePlayerFields {
  RuntimeControl control;
  int32_t controller;  // 0: none shown, 1: with badge, other: the standard one
  uint8_t border;
  uint8_t hasStep;
  uint8_t speaker;
  uint8_t autoResize;
  uint8_t looping;
  uint8_t palindrome;
  RuntimeObject* movie;  // a Movie, locked
};
static_assert(!kLayoutIs32Bit || offsetof(MoviePlayerFields, controller) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(MoviePlayerFields, movie) == 76, "Movie at 76");
static_assert(!kLayoutIs32Bit || sizeof(MoviePlayerFields) == 80, "a MoviePlayer is 80 bytes");

// Controller actions the run-time sends or watches.
enum MovieControllerAction : int16_t {
  kActionPlay = 8,
  kActionSetLooping = 21,
  kActionSetLoopIsPalindrome = 23,
  kActionControllerSizeChanged = 26,
  kActionSetFlags = 38,
  kActionSetUseBadge = 52,
  kActionPrerollAndPlay = 55,
};

// Where a controller that must not be seen is put.
constexpr MacRect kOffscreenBounds{32000, 32000, 32100, 32100};

// The pane a movie shows in: a native pane holding its control (not counted)
// and the QuickTime port association of its window. Going, it removes the
// records still made for it and disposes of the association.
class MoviePane : public NativePane {
 public:
  MoviePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, RuntimeObject* control);

  RuntimeObject* Control() const { return control_; }
  // Set by state changes 7 (shown) and 8 (hidden); starts as the control's
  // Visible.
  bool ShownFlag() const { return shown_; }
  QtPort PortAssociation() const { return port_; }
  // The old association, if any, disposed of; the new one made for the
  // pane's window.
  QtPort RenewPortAssociation();

 protected:
  ~MoviePane() override;
  void SetShownFlag(bool shown) { shown_ = shown; }

 private:
  RuntimeObject* control_;
  bool shown_;
  QtPort port_ = nullptr;
};

// Start-up: window closes remove their records (the previous close hook runs
// after).
void InstallMovieControllerHooks();

extern "C" {
// Attaches the control's Movie to the pane. Without QuickTime, a Movie or a
// movie nothing is attached, and the reason goes to the error log.
void LoadMovie(RuntimeObject* control, MoviePane* pane);
// Offers a native message to every controller whose control's Controller is
// not 0; true when one took it.
bool MovieControllersHandleEvent(const MSG* message);
void MovieControllersResize(MoviePane* pane);
void MovieControllerRemoveForPane(MoviePane* pane);
void MovieControllerRemoveForWindow(RuntimeObject* window);
void MovieControllerShow(MoviePane* pane);
void MovieControllerHide(MoviePane* pane);
void MoviePlayerPlay(MoviePane* pane);
void MoviePlayerStop(MoviePane* pane);
void MovieControllersIdle();
void MovieControllerDraw(MoviePane* pane);
void MovieControllerDeliverEvents(MoviePane* pane);
// For plug-ins: the MoviePlayer's controller, or 0.
QtController getMoviePlayerController(RuntimeObject* control);
}
