// The movie controller of the platform backend: the movie shown in a video
// window inside the pane's window, and our own controller bar below it.
//
// The bar holds a play/stop button and a position slider, then a step back
// and a step forward button unless steps are suppressed, then a volume
// (mute) button unless the speaker is. Its look by the creation flags:
//   - controller not visible (Controller 0): no bar; the movie takes no
//     events of its own.
//   - controller not visible, with badge (Controller 1): no bar either; the
//     badge's part is played by the movie itself: a click on it, or the
//     space bar, plays or stops it.
//   - otherwise: the bar, kBarHeight pixels high, under the movie.
// The frame flag draws a one-pixel frame round the movie.
//
// A movie shown by several controllers draws in the window of the one that
// last painted, played, sought or stepped it; a controller playing it stops,
// with the stop passed to its filter, when another plays it.
//
// Every action, whether sent (Action), clicked or the movie's end, is shown
// to the action filter first; a filter that answers true takes it over.
// Plays and stops pass as the play action (rate 0 for a stop), a change of
// the bounds' size as the size-changed action. The movie's end arrives as
// MM_MCINOTIFY at the video window: successful, aborted, or superseded by
// another controller's play of the movie, it is a stop. Looping plays with
// the device's repeat. A looping movie of one frame still stops at once:
// the video device under Wine ends a repeating play of a single frame at
// once, also when driven alone. Palindrome looping plays the movie
// backwards at each end where the device plays in reverse; where it
// refuses (the video device under Wine answers "does not support the
// specified command"), it loops forwards.
//
// Its windows are made at its first layout (the bounds or the flags set).
// The controller owns its windows and destroys them when it goes; the movie
// it shows is borrowed and left stopped and detached.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/utility.h"
#include "graphics/QuickTimeBackend.h"

class MciMovie;

class PlatformMovieController {
 public:
  static constexpr int32_t kBarHeight = 20;

  // In the pane window, at the box (the movie's area; the bar goes below).
  PlatformMovieController(MciMovie* movie, HWND pane, const MacRect& box, int32_t flags);
  ~PlatformMovieController();
  PlatformMovieController(const PlatformMovieController&) = delete;
  PlatformMovieController& operator=(const PlatformMovieController&) = delete;

  // The opaque handle the backend gives out, and back.
  QtController Handle() { return reinterpret_cast<QtController>(this); }
  static PlatformMovieController* Of(QtController controller) {
    return reinterpret_cast<PlatformMovieController*>(controller);
  }

  void SetMovie(MciMovie* movie);
  void SetFilter(QtActionFilter filter, void* context);
  QtError Action(int16_t action, intptr_t parameter);
  MacRect Bounds() const { return bounds_; }
  void SetBounds(const MacRect& bounds);
  void Idle();
  void Draw();
  bool TakeEvent(const MSG& message);

  // False when the pane has gone or the window classes could not be made.
  bool Usable() const;
  bool Shows(const MciMovie* movie) const { return movie_ == movie; }
  const MciMovie* Movie() const { return movie_; }
  bool Playing() const { return playing_; }
  HWND VideoWindow() const { return video_; }
  HWND BarWindow() const { return bar_; }

 private:
  static LRESULT CALLBACK VideoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool RegisterClasses();

  // What the filter sees, then does it unless the filter took it.
  void Perform(int16_t action, intptr_t parameter);
  bool Filtered(int16_t action, intptr_t parameter);
  void Release();
  void StartPlay();
  void StopPlay();
  void MovieEnded(WPARAM how);
  void Seek(int32_t frame);
  void StepBy(int32_t frames);
  void SetSuppressed(intptr_t flags);
  void MakeBar();
  void LayOut();
  RECT VideoPlace() const;
  void PlaceVideo();
  struct BarPlaces {
    RECT bar, play, slider, stepBack, stepForward, volume;
  };
  BarPlaces PlacesOfBar() const;
  void ShowMovie();
  void ShowInVideo();
  void ShowPlaying();
  void ShowPosition();
  void ShowLength();

  MciMovie* movie_;
  HWND pane_;
  HWND video_ = nullptr;
  HWND bar_ = nullptr;
  HWND playButton_ = nullptr;
  HWND slider_ = nullptr;
  HWND stepBack_ = nullptr;
  HWND stepForward_ = nullptr;
  HWND volume_ = nullptr;
  MacRect bounds_{};
  RECT videoPlace_{};  // the video window's place in the pane
  RECT barPlace_{};    // the bar's
  bool barLayoutStale_ = true;  // its set of buttons changed since it was placed
  bool hasBar_ = false;
  bool badge_ = false;
  bool framed_ = true;
  bool steps_ = true;
  bool speaker_ = true;
  bool looping_ = false;
  bool palindrome_ = false;
  bool backwards_ = false;  // a palindrome's way back
  bool muted_ = false;
  bool playing_ = false;
  QtActionFilter filter_ = nullptr;
  void* context_ = nullptr;
};
