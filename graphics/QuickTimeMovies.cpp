// QuickTime's start, availability, movie files and the movies of Movie
// objects.
#include "graphics/QuickTimeMovies.h"

#include <map>
#include <string>
#include <utility>

#include "core/string.h"
#include "graphics/PlatformMedia.h"

namespace {

constexpr char kQuickTimeKey[] = "HKEY_LOCAL_MACHINE\\Software\\Apple Computer, Inc.\\QuickTime";

struct QuickTimeState {
  QuickTimeBackend* backend = nullptr;  // nil: the absent one
  RegistryDWORDReader registry = nullptr;
  bool started = false;
  bool available = false;
  std::map<std::string, QtMovieFile> movieFiles;  // by path
};

QuickTimeState& State() {
  static QuickTimeState state;
  return state;
}

MovieObjectFields* MovieFieldsOf(RuntimeObject* movieObject) {
  return ObjectFields<MovieObjectFields>(movieObject);
}

// A new movie from the Movie's resource file; nil without a path or on
// failure.
QtMovie MovieFromResourceFile(const MovieObjectFields* fields) {
  if (!fields->path) return nullptr;
  QtError error = kQtNoError;
  QtMovieFile file = MovieFileOf(StringToStdUTF8(fields->path).c_str(), &error);
  QtMovie movie = nullptr;
  int16_t resourceId = int16_t(fields->resourceId);
  if (!file ||
      CurrentQuickTimeBackend().NewMovieFromFile(file, &movie, &resourceId) != kQtNoError) {
    return nullptr;
  }
  return movie;
}

}  // namespace

QtMatrix IdentityMatrix() {
  constexpr int32_t kOne = 0x10000;         // 1.0 in 16.16
  constexpr int32_t kOneWide = 0x40000000;  // 1.0 in 2.30
  return QtMatrix{{{kOne, 0, 0}, {0, kOne, 0}, {0, 0, kOneWide}}};
}

QuickTimeBackend& CurrentQuickTimeBackend() {
  QuickTimeBackend* installed = State().backend;
  return installed ? *installed : ThePlatformMediaBackend();
}

void SetQuickTimeRegistryReader(RegistryDWORDReader reader) { State().registry = reader; }

void InstallQuickTimeBackend(QuickTimeBackend* backend) {
  QuickTimeState& state = State();
  state.backend = backend;
  state.started = false;
  state.available = false;
  state.movieFiles.clear();
}

bool QuickTimeStarted() { return State().started; }

QtMovieFile MovieFileOf(const char* utf8Path, QtError* error) {
  std::map<std::string, QtMovieFile>& files = State().movieFiles;
  auto open = files.find(utf8Path);
  if (open != files.end()) return open->second;
  QtMovieFile file = nullptr;
  *error = CurrentQuickTimeBackend().OpenMovieFile(utf8Path, &file);
  if (*error != kQtNoError || !file) return nullptr;
  files.emplace(utf8Path, file);
  return file;
}

void DisposeQuickTimeMovie(QtMovie movie) {
  if (movie && QuickTimeStarted()) CurrentQuickTimeBackend().DisposeMovie(movie);
}

extern "C" bool QuickTimeStartup() {
  QuickTimeState& state = State();
  if (state.started) return true;
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  if (!backend.Load()) return false;
  if (!backend.EnterMovies()) {
    backend.Terminate();
    return false;
  }
  state.started = true;
  return true;
}

extern "C" void QuickTimeShutdown() {
  QuickTimeState& state = State();
  if (!state.started) return;
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  for (auto& [path, file] : state.movieFiles) backend.CloseMovieFile(file);
  state.movieFiles.clear();
  backend.ExitMovies();
  backend.Terminate();
  state.started = false;
  state.available = false;
}

extern "C" bool QuickTimeInstalledVersion(bool start, int32_t* version) {
  if (start) return QuickTimeStartup();
  RegistryDWORDReader registry = State().registry;
  int32_t found = -1;
  if (!registry || !registry(kQuickTimeKey, "Version", &found)) return false;
  if (version) *version = found;
  return found != 0;
}

extern "C" bool QuickTimeAvailable() {
  QuickTimeState& state = State();
  if (!state.available) state.available = QuickTimeInstalledVersion(true, nullptr);
  return state.available;
}

extern "C" void MovieObjectLoadMovie(RuntimeObject* movieObject) {
  if (!movieObject || !QuickTimeAvailable()) return;
  MovieObjectFields* fields = MovieFieldsOf(movieObject);
  if (!fields->movie) fields->movie = MovieFromResourceFile(fields);
}

extern "C" bool MovieObjectGetMovie(RuntimeObject* movieObject, QtMovie* movie, bool* owned) {
  if (!movieObject) return false;
  MovieObjectFields* fields = MovieFieldsOf(movieObject);
  if (fields->movie) {
    *movie = fields->movie;
    *owned = false;
    return true;
  }
  if (!QuickTimeAvailable()) return false;
  *movie = MovieFromResourceFile(fields);
  *owned = *movie != nullptr;
  return *owned;
}
