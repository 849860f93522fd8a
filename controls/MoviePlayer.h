// The MoviePlayer control and the Movie class.
//
// A MoviePlayer shows its Movie with a QuickTime movie controller in a pane
// of the window, plays and stops it, and fires "Play", "Stop" and
// "ControllerSizeChanged" (graphics/MovieControllers.h). It binds through
// "getPlayAction" and "getStopAction" (names compared without regard to
// case), which give Sys$MoviePlayerAction objects: receivers whose
// PerformAction plays or stops the player. Without QuickTime the player stays
// empty and its getters give 0.
//
// A Movie holds its QuickTime movie (opened from a URL, or a file by the
// file layer), or names a movie resource of the application by its file and
// id; sizes are measured on a movie opened for the call in that case.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"
#include "graphics/MovieControllers.h"
#include "graphics/QuickTimeMovies.h"

struct ObjectDefinition;
struct StringRecord;

// The Sys$MoviePlayerAction object.
struct MoviePlayerActionFields {
  RuntimeObject header;
  RuntimeObject* control;  // locked
  int32_t action;          // 1 play, 2 stop
};
static_assert(!kLayoutIs32Bit || sizeof(MoviePlayerActionFields) == 32, "header and two words");

// "MoviePlayer" (superclass RectControl), implementing bindingPartInterface.
ObjectDefinition* GetMoviePlayerClassDefinition();
// "Sys$MoviePlayerAction", implementing actionNotificationReceiver.
ObjectDefinition* GetMoviePlayerActionClassDefinition();
// "Movie".
ObjectDefinition* GetMovieClassDefinition();
// Start-up: registers the three classes, puts openURLMovie,
// RuntimeGetMovieFromResource and getMoviePlayerController in the entry
// table and makes Movie objects of the application's movie resources.
void RegisterMovieClasses();

// A new Movie (the caller's reference) naming the movie resource of that id
// in the file; what the resources' movie factory makes.
RuntimeObject* NewResourceMovie(const wchar_t* path, int16_t id);
// A new Movie (the caller's reference) holding the movie; nil, with the
// movie disposed of, when none can be made.
RuntimeObject* NewMovieHolding(QtMovie movie, int16_t resourceId);

// The MoviePlayer's pane: a "KV_Pane" child window that draws through the
// controllers and hands them the mouse and keys.
class MoviePlayerPane : public MoviePane {
 public:
  // Attaches the control's Movie, then takes the pane's bounds as the
  // control's.
  MoviePlayerPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                  RuntimeObject* control);

  void Draw(GraphicsPort* port) override;
  // Focus, the current drawing pane and the queued events; always used.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  // Mouse and key messages go to the controllers first; a key one takes is
  // used up.
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool CanAcceptFocus() override;
  void SetBounds(const MacRect& rect, bool redraw) override;
  // Shown and hidden move the controllers on and off the pane.
  void BroadcastStateChange(int32_t code) override;
  // One pixel more on every side for a control with Border.
  void Invalidate(bool erase) override;
  void BroadcastDragImage(GraphicsPort* port) override;

 protected:
  ~MoviePlayerPane() override = default;
};

extern "C" {
void MoviePlayerCreatePane(RuntimeObject* control);
void MoviePlayerDestruct(RuntimeObject* control);
void RuntimeMediaPlay(RuntimeObject* control);
void RuntimeMediaStop(RuntimeObject* control);
int32_t mediaControllerWidthGetter(RuntimeObject* control, uint32_t parameter);
int32_t mediaControllerHeightGetter(RuntimeObject* control, uint32_t parameter);
int32_t mediaMovieControllerGetter(RuntimeObject* control, uint32_t parameter);
// Nothing when the value is the stored one; else stored and sent to the
// controller (action 21, or 23 for palindrome looping).
void mediaControllerLoopingSetter(RuntimeObject* control, uint32_t parameter, uint8_t value);
void mediaControllerPalindromeSetter(RuntimeObject* control, uint32_t parameter, uint8_t value);
// The pane's controllers go, the Movie is replaced, and the new one attached.
void mediaMovieSetter(RuntimeObject* control, uint32_t parameter, RuntimeObject* movie);
RuntimeObject* mediaGetBoundPart(RuntimeObject* control, StringRecord* name);
void mediaActionPerformAction(RuntimeObject* binding);
void MoviePlayerActionDestruct(RuntimeObject* binding);

// A Movie of the URL, or nil (no QuickTime, or the movie cannot be made).
RuntimeObject* openURLMovie(StringRecord* url);
// The Movie of the application's 'moov' resource of that id, or nil.
RuntimeObject* RuntimeGetMovieFromResource(int32_t id);

void MovieDestruct(RuntimeObject* movie);
int32_t movieWidthGetter(RuntimeObject* movie, uint32_t parameter);
int32_t movieHeightGetter(RuntimeObject* movie, uint32_t parameter);
// Measured with the identity matrix, which is then put back.
int32_t movieBaseWidthGetter(RuntimeObject* movie, uint32_t parameter);
int32_t movieBaseHeightGetter(RuntimeObject* movie, uint32_t parameter);
// The held movie as an integer; 0 for a movie opened only for the call.
int32_t movieHandleGetter(RuntimeObject* movie, uint32_t parameter);
}
