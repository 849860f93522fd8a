// A QuickTime backend for tests: it installs itself for its lifetime, keeps
// what the run-time asked of it as records tests read back, and raises
// controller actions through the installed filter as a controller would.
// Also an observer of the error log.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "graphics/QuickTimeBackend.h"

struct QtMovieData {
  MacRect naturalBox;  // at the identity matrix
  MacRect box;         // as last set
  QtMatrix matrix;
  QtPort port = nullptr;
  int disposed = 0;
};

struct QtControllerData {
  QtMovie movie = nullptr;
  int32_t flags = 0;  // at creation
  MacRect bounds{};
  std::vector<std::pair<int16_t, intptr_t>> actions;  // as sent, filter or not
  QtActionFilter filter = nullptr;
  void* context = nullptr;
  int moviesGiven = 0;  // ControllerSetMovie calls
  int draws = 0;
  int events = 0;  // native messages offered
  int disposed = 0;
};

class FakeQuickTime : public QuickTimeBackend {
 public:
  FakeQuickTime();            // installs itself
  ~FakeQuickTime() override;  // installs the absent backend again

  // ---- Script ----
  bool loads = true;
  MacRect movieBox{10, 20, 130, 180};  // a new movie's natural box
  QtError movieError = kQtNoError;     // of NewMovieFromFile and NewMovieFromDataRef
  bool takesEvents = false;

  // ---- Records ----
  int loadCalls = 0;
  std::vector<std::string> openedFiles;     // paths, in order
  std::vector<std::string> dataReferences;  // the bytes of each, NUL included
  std::deque<QtMovieData> movies;
  std::deque<QtControllerData> controllers;
  int liveHandles = 0;

  // What the controller does by itself (a click on its play button):
  // its filter sees the action.
  void RaiseAction(QtController controller, int16_t action, intptr_t parameter);

  bool Load() override;
  bool EnterMovies() override { return true; }
  QtError OpenMovieFile(const char* utf8Path, QtMovieFile* file) override;
  QtError NewMovieFromFile(QtMovieFile file, QtMovie* movie, int16_t* resourceId) override;
  QtError NewMovieFromDataRef(QtHandle reference, uint32_t type, int16_t flags, QtMovie* movie,
                              int16_t* resourceId) override;
  void DisposeMovie(QtMovie movie) override { ++movie->disposed; }
  MacRect MovieBox(QtMovie movie) override;
  void SetMovieBox(QtMovie movie, const MacRect& box) override { movie->box = box; }
  QtMatrix MovieMatrix(QtMovie movie) override { return movie->matrix; }
  void SetMovieMatrix(QtMovie movie, const QtMatrix& matrix) override { movie->matrix = matrix; }
  void SetMoviePort(QtMovie movie, QtPort port) override { movie->port = port; }
  QtHandle NewHandle(uint32_t size) override;
  uint8_t* HandleBytes(QtHandle handle) override;
  void DisposeHandle(QtHandle handle) override;
  QtPort NewPortAssociation(HWND window) override;
  QtController NewController(QtMovie movie, const MacRect& box, int32_t flags) override;
  void DisposeController(QtController controller) override { ++controller->disposed; }
  void ControllerSetMovie(QtController controller, QtMovie) override { ++controller->moviesGiven; }
  QtError ControllerAction(QtController controller, int16_t action, intptr_t parameter) override;
  void SetActionFilter(QtController controller, QtActionFilter filter, void* context) override;
  MacRect ControllerBounds(QtController controller) override { return controller->bounds; }
  void SetControllerBounds(QtController controller, const MacRect& bounds) override;
  void ControllerDraw(QtController controller) override { ++controller->draws; }
  bool ControllerIsPlayerEvent(QtController controller, const MSG&) override;

 private:
  std::deque<std::vector<uint8_t>> handles_;
};

// The error log's messages while it lives.
class ErrorLogRecorder {
 public:
  ErrorLogRecorder();
  ~ErrorLogRecorder();
  ErrorLogRecorder(const ErrorLogRecorder&) = delete;
  ErrorLogRecorder& operator=(const ErrorLogRecorder&) = delete;
  const std::vector<std::string>& Messages() const;

 private:
  ErrorLogObserver previous_;
};
