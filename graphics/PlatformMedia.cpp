// The platform backend's bookkeeping: what it loaded, and the movies,
// controllers, handles, ports and components it handed out.
#include "graphics/PlatformMedia.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "graphics/ImageExportComponents.h"
#include "graphics/ImagingCodecs.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureExport.h"
#include "graphics/PictureImporter.h"
#include "graphics/PlatformMediaDownload.h"
#include "graphics/PlatformMovieController.h"
#include "graphics/Rect16.h"

namespace {

constexpr QtError kFileNotFound = -43;
constexpr QtError kBadParameter = -50;
constexpr QtError kCannotOpenMovie = -2048;   // the device refused the file
constexpr QtError kNoComponent = -2003;       // no importer or exporter of that kind
constexpr QtError kComponentFailed = -8969;   // bad data, or a write that failed
constexpr QtError kCancelled = -128;
constexpr int32_t kFixedOne = 0x10000;

int64_t Scaled(int32_t value, int32_t fixed) { return (int64_t(value) * fixed) >> 16; }

// The scale that takes a natural side to a box side, held to a 16.16 figure
// (a box side of 65,535 over a side of 1 is past its range).
int32_t ScaleTo(int64_t side, int32_t natural) {
  return int32_t(std::min<int64_t>(side * kFixedOne / natural, INT32_MAX));
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a "file:" URL ("file:///C:/a%20b.avi", "file://C:/...",
// "file:C:\...", "file://server/share/..." for a share, and
// "file://localhost/C:/..." for this machine); empty for any other URL.
std::string PathOfFileURL(const std::string& url) {
  if (url.size() < 5 || _strnicmp(url.c_str(), "file:", 5) != 0) return std::string();
  std::string rest = url.substr(5);
  if (_strnicmp(rest.c_str(), "//localhost/", 12) == 0) rest.erase(2, 9);  // "///" left
  size_t start = 0;
  while (start < rest.size() && rest[start] == '/' && start < 3) ++start;
  const bool drive = start + 1 < rest.size() && rest[start + 1] == ':';
  std::string path = start == 2 && !drive ? "\\\\" : "";
  for (size_t i = start; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
        HexValue(rest[i + 2]) >= 0) {
      path.push_back(char(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
      i += 2;
    } else {
      path.push_back(c == '/' ? '\\' : c);
    }
  }
  return path;
}

bool IsWebURL(const std::string& url) {
  return _strnicmp(url.c_str(), "http:", 5) == 0 || _strnicmp(url.c_str(), "https:", 6) == 0;
}

ImageComponent* ComponentOf(QtComponent component) {
  return reinterpret_cast<ImageComponent*>(component);
}

QtError Result(bool done) { return done ? kQtNoError : kComponentFailed; }

}  // namespace

struct PlatformMediaBackend::Movie {
  ~Movie() {
    device.reset();  // the device lets go of the file first
    if (!downloaded.empty()) DeleteFileW(downloaded.c_str());
  }
  std::unique_ptr<MciMovie> device;
  QtMatrix matrix = IdentityMatrix();
  HWND window = nullptr;      // of its port: where its controller shows it
  std::wstring downloaded;    // the temporary file of a URL's movie, removed with it
};

// data first: the handle given out is its address.
struct PlatformMediaBackend::Handle {
  char* data;
  uint32_t size;
  std::unique_ptr<char[]> block;
};

PlatformMediaBackend::~PlatformMediaBackend() { ReleaseAll(); }

// ---- Start and stop ----

bool PlatformMediaBackend::Load() {
  if (loaded_) return true;
  ComRef<IWICImagingFactory> factory;
  if (!LoadMciCalls(&mci_)) return false;
  videoDriver_ = LoadLibraryW(L"mciavi32.dll");
  codecs_ = LoadLibraryW(L"windowscodecs.dll");
  // A library of the name that lacks the entry MCI drives a driver through,
  // or that serves no classes, stands in for nothing.
  loaded_ = videoDriver_ && GetProcAddress(videoDriver_, "DriverProc") && codecs_ &&
            GetProcAddress(codecs_, "DllGetClassObject") && MakeImagingFactory(&factory);
  if (!loaded_) Terminate();
  return loaded_;
}

void PlatformMediaBackend::ExitMovies() {
  controllers_.clear();
  movies_.clear();
}

void PlatformMediaBackend::Terminate() {
  ReleaseAll();
  if (videoDriver_) FreeLibrary(std::exchange(videoDriver_, nullptr));
  if (codecs_) FreeLibrary(std::exchange(codecs_, nullptr));
  loaded_ = false;
}

void PlatformMediaBackend::ReleaseAll() {
  controllers_.clear();  // before the movies they show
  movies_.clear();
  handles_.clear();
  for (std::wstring* file : files_) delete file;
  files_.clear();
  for (HWND* port : ports_) delete port;
  ports_.clear();
  for (ImageComponent* component : components_) CloseImageComponent(component);
  components_.clear();
}

// ---- Movie files and movies ----

PlatformMediaBackend::Movie* PlatformMediaBackend::MovieOf(QtMovie movie) const {
  auto* found = reinterpret_cast<Movie*>(movie);
  return movies_.count(found) ? found : nullptr;
}

QtError PlatformMediaBackend::OpenMovieFile(const char* utf8Path, QtMovieFile* file) {
  std::wstring path = WidePathOf(utf8Path ? utf8Path : "");
  if (path.empty() || !IsFile(path)) return kFileNotFound;
  auto* kept = new std::wstring(std::move(path));
  files_.insert(kept);
  *file = reinterpret_cast<QtMovieFile>(kept);
  return kQtNoError;
}

void PlatformMediaBackend::CloseMovieFile(QtMovieFile file) {
  auto* kept = reinterpret_cast<std::wstring*>(file);
  if (files_.erase(kept)) delete kept;
}

QtError PlatformMediaBackend::NewMovieOfPath(const std::wstring& path, QtMovie* movie) {
  auto made = std::make_unique<Movie>();
  made->device = MciMovie::Open(mci_, path);
  if (!made->device) return kCannotOpenMovie;
  Movie* key = made.get();
  movies_.emplace(key, std::move(made));
  *movie = reinterpret_cast<QtMovie>(key);
  return kQtNoError;
}

QtError PlatformMediaBackend::NewMovieFromFile(QtMovieFile file, QtMovie* movie, int16_t*) {
  auto* path = reinterpret_cast<std::wstring*>(file);
  if (!loaded_ || !files_.count(path)) return kBadParameter;
  return NewMovieOfPath(*path, movie);
}

QtError PlatformMediaBackend::NewMovieFromDataRef(QtHandle reference, uint32_t type, int16_t,
                                                  QtMovie* movie, int16_t*) {
  auto* handle = reinterpret_cast<Handle*>(reference);
  if (!loaded_ || !handles_.count(handle) || type != FourCharCode("url ")) return kBadParameter;
  const std::string url(handle->data, strnlen(handle->data, handle->size));
  if (!IsWebURL(url)) {
    const std::wstring path = WidePathOf(PathOfFileURL(url).c_str());
    if (path.empty() || !IsFile(path)) return kFileNotFound;
    return NewMovieOfPath(path, movie);
  }
  const std::wstring downloaded = DownloadMovieToTemporaryFile(url);
  if (downloaded.empty()) return kFileNotFound;
  const QtError error = NewMovieOfPath(downloaded, movie);
  if (error != kQtNoError) {
    DeleteFileW(downloaded.c_str());
    return error;
  }
  MovieOf(*movie)->downloaded = downloaded;
  return kQtNoError;
}

void PlatformMediaBackend::DisposeMovie(QtMovie movie) {
  Movie* found = MovieOf(movie);
  if (!found) return;
  for (auto& [key, controller] : controllers_) {
    if (controller->Shows(found->device.get())) controller->SetMovie(nullptr);
  }
  movies_.erase(found);
}

// The natural size through the matrix's scale, at its translation, held to
// the 16 bits of a box.
MacRect PlatformMediaBackend::MovieBox(QtMovie movie) {
  const Movie* found = MovieOf(movie);
  if (!found) return MacRect{};
  const auto& m = found->matrix.values;
  const int64_t left = m[2][0] >> 16, top = m[2][1] >> 16;
  return NormalizeRect16(SaturatedRect16(top, left,
                                         top + Scaled(found->device->NaturalHeight(), m[1][1]),
                                         left + Scaled(found->device->NaturalWidth(), m[0][0])));
}

// A box turned inside out counts as empty.
void PlatformMediaBackend::SetMovieBox(QtMovie movie, const MacRect& box) {
  Movie* found = MovieOf(movie);
  if (!found) return;
  const int64_t width = std::max(int32_t(box.right) - box.left, 0);
  const int64_t height = std::max(int32_t(box.bottom) - box.top, 0);
  QtMatrix matrix = IdentityMatrix();
  matrix.values[0][0] = ScaleTo(width, found->device->NaturalWidth());
  matrix.values[1][1] = ScaleTo(height, found->device->NaturalHeight());
  matrix.values[2][0] = int32_t(box.left) * kFixedOne;
  matrix.values[2][1] = int32_t(box.top) * kFixedOne;
  found->matrix = matrix;
}

QtMatrix PlatformMediaBackend::MovieMatrix(QtMovie movie) {
  const Movie* found = MovieOf(movie);
  return found ? found->matrix : IdentityMatrix();
}

void PlatformMediaBackend::SetMovieMatrix(QtMovie movie, const QtMatrix& matrix) {
  if (Movie* found = MovieOf(movie)) found->matrix = matrix;
}

// The movie is shown by the controller made for it, in the port's window.
void PlatformMediaBackend::SetMoviePort(QtMovie movie, QtPort port) {
  auto* window = reinterpret_cast<HWND*>(port);
  if (Movie* found = MovieOf(movie)) found->window = ports_.count(window) ? *window : nullptr;
}

// ---- Handles ----

QtHandle PlatformMediaBackend::NewHandle(uint32_t size) {
  auto handle = std::make_unique<Handle>();
  handle->block.reset(new (std::nothrow) char[size ? size : 1]);
  if (!handle->block) return nullptr;
  handle->data = handle->block.get();
  handle->size = size;
  Handle* key = handle.get();
  handles_.emplace(key, std::move(handle));
  return &key->data;
}

uint32_t PlatformMediaBackend::HandleSize(QtHandle handle) {
  auto found = handles_.find(reinterpret_cast<Handle*>(handle));
  return found != handles_.end() ? found->second->size : 0;
}

void PlatformMediaBackend::DisposeHandle(QtHandle handle) {
  handles_.erase(reinterpret_cast<Handle*>(handle));
}

QtHandle PlatformMediaBackend::NewPictureHandleOf(NativePicture* picture, uint32_t zeroBytes) {
  const uint32_t size = picture ? picture->PackedDIBSize() : 0;
  if (size == 0 || size > UINT32_MAX - zeroBytes) return nullptr;
  QtHandle handle = NewHandle(size + zeroBytes);
  if (!handle) return nullptr;
  std::memset(*handle, 0, zeroBytes);
  uint8_t* dib = reinterpret_cast<uint8_t*>(*handle) + zeroBytes;
  if (picture->WritePackedDIB(dib) && CarryFileResolution(*picture, dib, size)) return handle;
  DisposeHandle(handle);
  // A core header has no room for the resolution: the shared road widens it
  // to an info header first, at the cost of a copy.
  return QuickTimeBackend::NewPictureHandleOf(picture, zeroBytes);
}

// The picture is the packed DIB itself.
QtHandle PlatformMediaBackend::NewPictureHandle(const uint8_t* dib, size_t size) {
  QtHandle handle = size <= UINT32_MAX ? NewHandle(uint32_t(size)) : nullptr;
  if (handle) std::memcpy(*handle, dib, size);
  return handle;
}

// ---- Ports ----

QtPort PlatformMediaBackend::NewPortAssociation(HWND window) {
  if (!window) return nullptr;
  auto* port = new HWND(window);
  ports_.insert(port);
  return reinterpret_cast<QtPort>(port);
}

void PlatformMediaBackend::DisposePortAssociation(QtPort port) {
  auto* window = reinterpret_cast<HWND*>(port);
  if (ports_.erase(window)) delete window;
}

// ---- Movie controllers ----

PlatformMovieController* PlatformMediaBackend::ControllerOf(QtController controller) const {
  PlatformMovieController* found = PlatformMovieController::Of(controller);
  return controllers_.count(found) ? found : nullptr;
}

QtController PlatformMediaBackend::NewController(QtMovie movie, const MacRect& box,
                                                 int32_t flags) {
  Movie* found = MovieOf(movie);
  if (!found || !found->window || !IsWindow(found->window)) return nullptr;
  auto controller = std::make_unique<PlatformMovieController>(found->device.get(), found->window,
                                                               box, flags);
  if (!controller->Usable()) return nullptr;
  PlatformMovieController* key = controller.get();
  controllers_.emplace(key, std::move(controller));
  return key->Handle();
}

// A controller letting go of a movie may have pointed its device at the
// device's own hidden window: those still showing it draw it again, which
// points the device at one of theirs.
void PlatformMediaBackend::DisposeController(QtController controller) {
  PlatformMovieController* found = ControllerOf(controller);
  if (!found) return;
  const MciMovie* shown = found->Movie();
  controllers_.erase(found);
  RedrawShowing(shown);
}

void PlatformMediaBackend::ControllerSetMovie(QtController controller, QtMovie movie) {
  PlatformMovieController* found = ControllerOf(controller);
  Movie* shown = MovieOf(movie);
  if (!found) return;
  const MciMovie* before = found->Movie();
  found->SetMovie(shown ? shown->device.get() : nullptr);
  if (before != found->Movie()) RedrawShowing(before);
}

void PlatformMediaBackend::RedrawShowing(const MciMovie* movie) {
  if (!movie) return;
  for (auto& [key, controller] : controllers_) {
    if (controller->Shows(movie)) controller->Draw();
  }
}

QtError PlatformMediaBackend::ControllerAction(QtController controller, int16_t action,
                                               intptr_t parameter) {
  PlatformMovieController* found = ControllerOf(controller);
  return found ? found->Action(action, parameter) : kBadParameter;
}

void PlatformMediaBackend::SetActionFilter(QtController controller, QtActionFilter filter,
                                           void* context) {
  if (PlatformMovieController* found = ControllerOf(controller)) found->SetFilter(filter, context);
}

MacRect PlatformMediaBackend::ControllerBounds(QtController controller) {
  PlatformMovieController* found = ControllerOf(controller);
  return found ? found->Bounds() : MacRect{};
}

void PlatformMediaBackend::SetControllerBounds(QtController controller, const MacRect& bounds) {
  if (PlatformMovieController* found = ControllerOf(controller)) found->SetBounds(bounds);
}

void PlatformMediaBackend::ControllerIdle(QtController controller) {
  if (PlatformMovieController* found = ControllerOf(controller)) found->Idle();
}

void PlatformMediaBackend::ControllerDraw(QtController controller) {
  if (PlatformMovieController* found = ControllerOf(controller)) found->Draw();
}

bool PlatformMediaBackend::ControllerIsPlayerEvent(QtController controller, const MSG& message) {
  PlatformMovieController* found = ControllerOf(controller);
  return found && found->TakeEvent(message);
}

// ---- Graphics importers and exporters ----

QtError PlatformMediaBackend::OpenDefaultComponent(uint32_t type, uint32_t subtype,
                                                   QtComponent* component) {
  ImageComponent* opened = loaded_ ? OpenImageComponent(type, subtype) : nullptr;
  if (!opened) return kNoComponent;
  components_.insert(opened);
  *component = reinterpret_cast<QtComponent>(opened);
  return kQtNoError;
}

void PlatformMediaBackend::CloseComponent(QtComponent component) {
  if (components_.erase(ComponentOf(component))) CloseImageComponent(ComponentOf(component));
}

QtError PlatformMediaBackend::ImporterSetDataHandle(QtComponent importer, QtHandle data) {
  auto found = handles_.find(reinterpret_cast<Handle*>(data));
  if (!components_.count(ComponentOf(importer)) || found == handles_.end()) return kBadParameter;
  const Handle& handle = *found->second;
  return Result(ImporterTakeData(ComponentOf(importer),
                                 reinterpret_cast<const uint8_t*>(handle.data), handle.size));
}

QtError PlatformMediaBackend::ImporterExportDialog(QtComponent importer, uint32_t* fileType,
                                                   std::string* utf8Path) {
  if (!components_.count(ComponentOf(importer))) return kBadParameter;
  return ImporterRunExportDialog(ComponentOf(importer), fileType, utf8Path) ? kQtNoError
                                                                           : kCancelled;
}

QtError PlatformMediaBackend::ImporterExportImageFile(QtComponent importer, uint32_t fileType,
                                                      uint32_t, const char* utf8Path) {
  if (!components_.count(ComponentOf(importer))) return kBadParameter;
  return Result(ImporterExportFile(ComponentOf(importer), fileType, utf8Path));
}

QtError PlatformMediaBackend::ExporterSetInput(QtComponent exporter, QtComponent importer) {
  if (!components_.count(ComponentOf(exporter)) || !components_.count(ComponentOf(importer))) {
    return kBadParameter;
  }
  return Result(::ExporterSetInput(ComponentOf(exporter), ComponentOf(importer)));
}

QtError PlatformMediaBackend::ExporterSetResolution(QtComponent exporter, int32_t horizontal,
                                                    int32_t vertical) {
  if (!components_.count(ComponentOf(exporter))) return kBadParameter;
  return Result(::ExporterSetResolution(ComponentOf(exporter), horizontal, vertical));
}

QtError PlatformMediaBackend::ExporterSetOutputFile(QtComponent exporter, const char* utf8Path) {
  if (!components_.count(ComponentOf(exporter))) return kBadParameter;
  return Result(ExporterSetOutput(ComponentOf(exporter), utf8Path));
}

QtError PlatformMediaBackend::ExporterExport(QtComponent exporter) {
  if (!components_.count(ComponentOf(exporter))) return kBadParameter;
  return Result(ExporterWrite(ComponentOf(exporter)));
}

PlatformMediaBackend& ThePlatformMediaBackend() {
  static PlatformMediaBackend backend;
  return backend;
}
