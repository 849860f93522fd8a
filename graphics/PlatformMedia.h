// The production media backend: the platform's own media and imaging stand
// in for QuickTime behind its operations.
//
//   - Load: the MCI calls (winmm), the video device's driver ("mciavi32",
//     with its DriverProc) and the imaging codecs ("windowscodecs", with
//     DllGetClassObject) found by name, and an imaging factory made. Where one is missing, Load fails and the backend is the
//     base class's machine without media.
//   - Movie files are paths (a "file:" URL gives its path; an "http:" one is
//     fetched into a temporary file that goes with its movie, giving up on
//     a server that stalls: PlatformMediaDownload.h); a movie is an MCI
//     device on the file (MciMovie.h), refused when a side passes 32767. A
//     movie's box is its natural size through its matrix, held to 16 bits;
//     setting the box sets the matrix.
//   - A port association is the pane's window; a controller shows its movie
//     there with our own bar (PlatformMovieController.h).
//   - Handles are blocks of the backend's; a picture handle holds the
//     picture's packed DIB, written straight into it. Graphics importers of pictures and exporters are
//     those of ImageExportComponents.h; importing files uses the platform
//     decoders directly (ImportsWithPlatformDecoders).
//
// Every movie, controller, handle and component is the caller's until it
// disposes of it; Terminate releases whatever is left, and the libraries.
// Application thread only.
#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>

#include "graphics/MciMovie.h"
#include "graphics/QuickTimeBackend.h"

class PlatformMovieController;

class PlatformMediaBackend : public QuickTimeBackend {
 public:
  PlatformMediaBackend() = default;
  ~PlatformMediaBackend() override;

  bool Load() override;
  bool EnterMovies() override { return loaded_; }
  void ExitMovies() override;
  void Terminate() override;

  QtError OpenMovieFile(const char* utf8Path, QtMovieFile* file) override;
  void CloseMovieFile(QtMovieFile file) override;
  QtError NewMovieFromFile(QtMovieFile file, QtMovie* movie, int16_t* resourceId) override;
  QtError NewMovieFromDataRef(QtHandle reference, uint32_t type, int16_t flags, QtMovie* movie,
                              int16_t* resourceId) override;
  void DisposeMovie(QtMovie movie) override;
  MacRect MovieBox(QtMovie movie) override;
  void SetMovieBox(QtMovie movie, const MacRect& box) override;
  QtMatrix MovieMatrix(QtMovie movie) override;
  void SetMovieMatrix(QtMovie movie, const QtMatrix& matrix) override;
  void SetMoviePort(QtMovie movie, QtPort port) override;

  QtHandle NewHandle(uint32_t size) override;
  uint32_t HandleSize(QtHandle handle) override;
  void DisposeHandle(QtHandle handle) override;
  QtHandle NewPictureHandleOf(NativePicture* picture, uint32_t zeroBytes) override;
  QtHandle NewPictureHandle(const uint8_t* dib, size_t size) override;

  QtPort NewPortAssociation(HWND window) override;
  void DisposePortAssociation(QtPort port) override;

  QtController NewController(QtMovie movie, const MacRect& box, int32_t flags) override;
  void DisposeController(QtController controller) override;
  void ControllerSetMovie(QtController controller, QtMovie movie) override;
  QtError ControllerAction(QtController controller, int16_t action, intptr_t parameter) override;
  void SetActionFilter(QtController controller, QtActionFilter filter, void* context) override;
  MacRect ControllerBounds(QtController controller) override;
  void SetControllerBounds(QtController controller, const MacRect& bounds) override;
  void ControllerIdle(QtController controller) override;
  void ControllerDraw(QtController controller) override;
  bool ControllerIsPlayerEvent(QtController controller, const MSG& message) override;

  bool ImportsWithPlatformDecoders() override { return true; }
  QtError OpenDefaultComponent(uint32_t type, uint32_t subtype, QtComponent* component) override;
  void CloseComponent(QtComponent component) override;
  QtError ImporterSetDataHandle(QtComponent importer, QtHandle data) override;
  QtError ImporterExportDialog(QtComponent importer, uint32_t* fileType,
                               std::string* utf8Path) override;
  QtError ImporterExportImageFile(QtComponent importer, uint32_t fileType, uint32_t creator,
                                  const char* utf8Path) override;
  QtError ExporterSetInput(QtComponent exporter, QtComponent importer) override;
  QtError ExporterSetResolution(QtComponent exporter, int32_t horizontal,
                                int32_t vertical) override;
  QtError ExporterSetOutputFile(QtComponent exporter, const char* utf8Path) override;
  QtError ExporterExport(QtComponent exporter) override;

  // What is live, for the checks that nothing is left behind.
  size_t LiveMovies() const { return movies_.size(); }
  size_t LiveControllers() const { return controllers_.size(); }
  size_t LiveHandles() const { return handles_.size(); }

 private:
  struct Movie;
  struct Handle;
  Movie* MovieOf(QtMovie movie) const;
  PlatformMovieController* ControllerOf(QtController controller) const;
  QtError NewMovieOfPath(const std::wstring& path, QtMovie* movie);
  void RedrawShowing(const MciMovie* movie);
  void ReleaseAll();

  bool loaded_ = false;
  MciCalls mci_{};
  HMODULE videoDriver_ = nullptr;
  HMODULE codecs_ = nullptr;
  std::set<std::wstring*> files_;
  std::map<Movie*, std::unique_ptr<Movie>> movies_;
  std::map<PlatformMovieController*, std::unique_ptr<PlatformMovieController>> controllers_;
  std::map<Handle*, std::unique_ptr<Handle>> handles_;
  std::set<HWND*> ports_;
  std::set<struct ImageComponent*> components_;
};

// The backend in production (the base class's absence where the platform
// lacks its pieces); made on first use and kept to the end of the run.
PlatformMediaBackend& ThePlatformMediaBackend();
