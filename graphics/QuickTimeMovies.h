// The run-time's side of QuickTime: starting and stopping it, whether it is
// installed and available, the movie files movies are read from, and the
// movie a Movie object stands for. Every QuickTime call goes through the
// backend (QuickTimeBackend.h).
//
// QuickTime moves: not started -> started (the first availability test,
// picture import or movie) -> stopped at exit. Availability is cached once a
// test succeeds; until then every call tests again. A movie file is opened
// once per path and kept to the end of the run.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"
#include "graphics/QuickTimeBackend.h"

struct StringRecord;

// The Movie object.
struct MovieObjectFields {
  RuntimeObject header;
  QtMovie movie;       // owned; nil until one is loaded
  int32_t resourceId;  // of the movie resource, sign-extended
  int32_t changed;     // set: the controllers showing the movie take it again
  StringRecord* path;  // locked: the file holding the movie resource; nil for none
};
static_assert(!kLayoutIs32Bit || offsetof(MovieObjectFields, movie) == 24, "the movie first");
static_assert(!kLayoutIs32Bit || sizeof(MovieObjectFields) == 40, "a Movie is 40 bytes");

// Whether a registry key exists, and its DWORD value (-1 when the value is
// missing or not a DWORD): filled at start-up with the registry helper.
// While empty, QuickTime counts as not installed.
using RegistryDWORDReader = bool (*)(const char* keyPath, const char* valueName, int32_t* value);
void SetQuickTimeRegistryReader(RegistryDWORDReader reader);

// For tests: installs the backend (nil: the platform's again) without
// taking it over, and forgets whether QuickTime was started or found and
// the open movie files (without closing them).
void InstallQuickTimeBackend(QuickTimeBackend* backend);

bool QuickTimeStarted();
// The movie file of the path, opened on first need and kept; nil, with the
// backend's error in *error, when it cannot be opened.
QtMovieFile MovieFileOf(const char* utf8Path, QtError* error);

extern "C" {
// True when started already; else loads, initialises and enters the movie
// toolbox through the backend.
bool QuickTimeStartup();
// When started: leaves the movie toolbox, closes the movie files and ends
// QuickTime. The exit step.
void QuickTimeShutdown();
// With start: QuickTimeStartup. Without: whether the key
// "HKEY_LOCAL_MACHINE\Software\Apple Computer, Inc.\QuickTime" exists with a
// "Version" other than 0; the version (-1 when missing) goes to *version
// when it is given.
bool QuickTimeInstalledVersion(bool start, int32_t* version);
bool QuickTimeAvailable();

// When QuickTime is available and the Movie has none: its movie from its
// file. A failure leaves it without.
void MovieObjectLoadMovie(RuntimeObject* movieObject);
// The Movie's loaded movie (*owned false); else, when it names a movie
// resource, a movie made from that resource's file (*owned true: the caller
// disposes of it). False when there is neither.
bool MovieObjectGetMovie(RuntimeObject* movieObject, QtMovie* movie, bool* owned);
}

// Disposes of a movie through the backend, when QuickTime still runs.
void DisposeQuickTimeMovie(QtMovie movie);
