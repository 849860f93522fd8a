// What the run-time needs of QuickTime, as one interface: starting and
// stopping it, movie files and movies, handles, ports, movie controllers, and
// the graphics importers and exporters of picture import and export.
//
// The base class is a machine without QuickTime: Load fails, and every other
// operation fails or gives none. The run-time cannot drive QuickTime itself
// (its call selectors are not known), so the production backend is the
// platform's own media and imaging standing in (PlatformMedia.h), which is
// the base class again where those pieces are missing; tests install a fake
// (testsupport/FakeQuickTime.h). Everything a backend hands out is an opaque
// pointer only that backend knows. The layer above calls the other
// operations only after Load and EnterMovies succeeded.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/utility.h"

class NativePicture;
struct QtMovieData;
struct QtMovieFileData;
struct QtControllerData;
struct QtPortData;
struct QtComponentData;
using QtMovie = QtMovieData*;
using QtMovieFile = QtMovieFileData*;
using QtController = QtControllerData*;
using QtPort = QtPortData*;            // a port association of a window, or a drawing world
using QtHandle = char**;               // a pointer to the block's pointer
using QtComponent = QtComponentData*;  // a graphics importer or exporter

using QtError = int32_t;  // 0: none
constexpr QtError kQtNoError = 0;
constexpr QtError kQtUnavailable = -2;  // what the base class answers

// A display matrix: 16.16 fixed-point numbers, the last column 2.30.
struct QtMatrix {
  int32_t values[3][3];
};
QtMatrix IdentityMatrix();

// Seen by a controller's filter before each action; true takes the action
// over (QuickTime then does not perform it).
using QtActionFilter = bool (*)(QtController controller, int16_t action, intptr_t parameter,
                                void* context);

class QuickTimeBackend {
 public:
  virtual ~QuickTimeBackend() = default;

  // ---- Start and stop ----
  // Loads and initialises the library.
  virtual bool Load() { return false; }
  virtual bool EnterMovies() { return false; }
  virtual void ExitMovies() {}
  virtual void Terminate() {}

  // ---- Movie files and movies ----
  virtual QtError OpenMovieFile(const char* /*utf8Path*/, QtMovieFile*) { return kQtUnavailable; }
  virtual void CloseMovieFile(QtMovieFile) {}
  // An active movie; resourceId receives the id of the movie resource read.
  virtual QtError NewMovieFromFile(QtMovieFile, QtMovie*, int16_t* /*resourceId*/) {
    return kQtUnavailable;
  }
  // A movie from a data reference (a handle and its four-character type).
  virtual QtError NewMovieFromDataRef(QtHandle, uint32_t /*type*/, int16_t /*flags*/, QtMovie*,
                                      int16_t* /*resourceId*/) {
    return kQtUnavailable;
  }
  virtual void DisposeMovie(QtMovie) {}
  virtual MacRect MovieBox(QtMovie) { return MacRect{}; }
  virtual void SetMovieBox(QtMovie, const MacRect&) {}
  virtual QtMatrix MovieMatrix(QtMovie) { return IdentityMatrix(); }
  virtual void SetMovieMatrix(QtMovie, const QtMatrix&) {}
  virtual void SetMoviePort(QtMovie, QtPort) {}

  // ---- Handles ----
  // A relocatable block of size bytes; nil when none can be made.
  virtual QtHandle NewHandle(uint32_t) { return nullptr; }
  virtual uint32_t HandleSize(QtHandle) { return 0; }
  virtual void DisposeHandle(QtHandle) {}
  // A QuickTime picture of a packed DIB; nil when none can be made.
  virtual QtHandle NewPictureHandle(const uint8_t*, size_t) { return nullptr; }
  // One handle of zeroBytes zero bytes (a picture file's header), then the
  // QuickTime picture of the native picture; nil when none can be made. By
  // default through NewPictureHandle; a backend whose picture is the packed
  // DIB itself writes it in place, the picture's pixels copied once.
  virtual QtHandle NewPictureHandleOf(NativePicture* picture, uint32_t zeroBytes);

  // ---- Ports ----
  virtual QtPort NewPortAssociation(HWND) { return nullptr; }
  virtual void DisposePortAssociation(QtPort) {}
  // A drawing world over 32-bit pixel rows the caller owns.
  virtual QtPort NewDrawingWorld(void* /*pixels*/, int32_t /*width*/, int32_t /*height*/,
                                 int32_t /*stride*/) {
    return nullptr;
  }
  virtual void DisposeDrawingWorld(QtPort) {}
  virtual QtPort CurrentPort() { return nullptr; }
  virtual void SetCurrentPort(QtPort) {}

  // ---- Movie controllers ----
  virtual QtController NewController(QtMovie, const MacRect&, int32_t) { return nullptr; }
  virtual void DisposeController(QtController) {}
  virtual void ControllerSetMovie(QtController, QtMovie) {}
  virtual QtError ControllerAction(QtController, int16_t /*action*/, intptr_t /*parameter*/) {
    return kQtUnavailable;
  }
  virtual void SetActionFilter(QtController, QtActionFilter, void*) {}
  virtual MacRect ControllerBounds(QtController) { return MacRect{}; }
  virtual void SetControllerBounds(QtController, const MacRect&) {}
  virtual void ControllerIdle(QtController) {}
  virtual void ControllerDraw(QtController) {}
  // Whether the controller took the native message.
  virtual bool ControllerIsPlayerEvent(QtController, const MSG&) { return false; }

  // ---- Graphics importers and exporters ----
  // True when the backend's importer of files is the platform's imaging
  // decoders: picture import then uses them directly, at the image's depth.
  virtual bool ImportsWithPlatformDecoders() { return false; }
  virtual QtError ImporterForFile(const char* /*utf8Path*/, QtComponent*) { return kQtUnavailable; }
  virtual QtError OpenDefaultComponent(uint32_t /*type*/, uint32_t /*subtype*/, QtComponent*) {
    return kQtUnavailable;
  }
  virtual void CloseComponent(QtComponent) {}
  virtual QtError ImporterSetIndex(QtComponent, int32_t) { return kQtUnavailable; }
  virtual QtError ImporterImageCount(QtComponent, int32_t*) { return kQtUnavailable; }
  virtual QtError ImporterNaturalBounds(QtComponent, MacRect*) { return kQtUnavailable; }
  virtual QtError ImporterSetBounds(QtComponent, const MacRect&) { return kQtUnavailable; }
  virtual QtError ImporterDepth(QtComponent, int32_t*) { return kQtUnavailable; }
  virtual QtError ImporterSetDataHandle(QtComponent, QtHandle) { return kQtUnavailable; }
  virtual QtError ImporterSetDrawingWorld(QtComponent, QtPort) { return kQtUnavailable; }
  virtual QtError ImporterDraw(QtComponent) { return kQtUnavailable; }
  // The user's choice of format and file; kQtUnavailable also for a cancel.
  virtual QtError ImporterExportDialog(QtComponent, uint32_t*, std::string*) {
    return kQtUnavailable;
  }
  // Writes the importer's image to the file in the format (a file type).
  virtual QtError ImporterExportImageFile(QtComponent, uint32_t /*fileType*/, uint32_t /*creator*/,
                                          const char* /*utf8Path*/) {
    return kQtUnavailable;
  }
  virtual QtError ExporterSetInput(QtComponent, QtComponent) { return kQtUnavailable; }
  // Resolutions in 16.16 fixed point.
  virtual QtError ExporterSetResolution(QtComponent, int32_t, int32_t) { return kQtUnavailable; }
  virtual QtError ExporterSetOutputFile(QtComponent, const char*) { return kQtUnavailable; }
  virtual QtError ExporterExport(QtComponent) { return kQtUnavailable; }
};

// The backend in use: the platform's (PlatformMedia.h) until a test installs
// another.
QuickTimeBackend& CurrentQuickTimeBackend();
