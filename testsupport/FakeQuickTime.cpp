#include "testsupport/FakeQuickTime.h"

#include "graphics/QuickTimeMovies.h"

namespace {

std::vector<std::string>& LoggedErrors() {
  static std::vector<std::string> messages;
  return messages;
}

void RecordError(const char* message, int32_t code) {
  LoggedErrors().push_back(std::string(message) + " (" + std::to_string(code) + ")");
}

}  // namespace

FakeQuickTime::FakeQuickTime() { InstallQuickTimeBackend(this); }

FakeQuickTime::~FakeQuickTime() { InstallQuickTimeBackend(nullptr); }

void FakeQuickTime::RaiseAction(QtController controller, int16_t action, intptr_t parameter) {
  if (controller->filter) controller->filter(controller, action, parameter, controller->context);
}

bool FakeQuickTime::Load() {
  ++loadCalls;
  return loads;
}

QtError FakeQuickTime::OpenMovieFile(const char* utf8Path, QtMovieFile* file) {
  openedFiles.push_back(utf8Path);
  *file = reinterpret_cast<QtMovieFile>(openedFiles.size());
  return kQtNoError;
}

QtError FakeQuickTime::NewMovieFromFile(QtMovieFile, QtMovie* movie, int16_t*) {
  if (movieError != kQtNoError) return movieError;
  *movie = &movies.emplace_back(QtMovieData{movieBox, movieBox, IdentityMatrix()});
  return kQtNoError;
}

QtError FakeQuickTime::NewMovieFromDataRef(QtHandle reference, uint32_t type, int16_t flags,
                                           QtMovie* movie, int16_t* resourceId) {
  const auto* bytes = reinterpret_cast<std::vector<uint8_t>*>(reference);
  dataReferences.emplace_back(bytes->begin(), bytes->end());
  if (type != FourCharCode("url ") || flags != 7) return -50;
  return NewMovieFromFile(nullptr, movie, resourceId);
}

MacRect FakeQuickTime::MovieBox(QtMovie movie) {
  // The matrix scales the natural size.
  const int32_t width = (movie->naturalBox.right - movie->naturalBox.left) *
                        int64_t(movie->matrix.values[0][0]) / 0x10000;
  const int32_t height = (movie->naturalBox.bottom - movie->naturalBox.top) *
                         int64_t(movie->matrix.values[1][1]) / 0x10000;
  return MacRect{movie->box.top, movie->box.left, int16_t(movie->box.top + height),
                 int16_t(movie->box.left + width)};
}

QtHandle FakeQuickTime::NewHandle(uint32_t size) {
  ++liveHandles;
  return reinterpret_cast<QtHandle>(&handles_.emplace_back(size));
}

uint8_t* FakeQuickTime::HandleBytes(QtHandle handle) {
  return reinterpret_cast<std::vector<uint8_t>*>(handle)->data();
}

void FakeQuickTime::DisposeHandle(QtHandle) { --liveHandles; }

QtPort FakeQuickTime::NewPortAssociation(HWND window) { return reinterpret_cast<QtPort>(window); }

QtController FakeQuickTime::NewController(QtMovie movie, const MacRect& box, int32_t flags) {
  QtControllerData& controller = controllers.emplace_back();
  controller.movie = movie;
  controller.flags = flags;
  controller.bounds = box;
  return &controller;
}

QtError FakeQuickTime::ControllerAction(QtController controller, int16_t action,
                                        intptr_t parameter) {
  controller->actions.emplace_back(action, parameter);
  RaiseAction(controller, action, parameter);
  return kQtNoError;
}

void FakeQuickTime::SetActionFilter(QtController controller, QtActionFilter filter, void* context) {
  controller->filter = filter;
  controller->context = context;
}

void FakeQuickTime::SetControllerBounds(QtController controller, const MacRect& bounds) {
  controller->bounds = bounds;
}

bool FakeQuickTime::ControllerIsPlayerEvent(QtController controller, const MSG&) {
  ++controller->events;
  return takesEvents;
}

ErrorLogRecorder::ErrorLogRecorder() : previous_(SetErrorLogObserver(RecordError)) {
  LoggedErrors().clear();
}

ErrorLogRecorder::~ErrorLogRecorder() { SetErrorLogObserver(previous_); }

const std::vector<std::string>& ErrorLogRecorder::Messages() const { return LoggedErrors(); }
