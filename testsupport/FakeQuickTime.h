// A QuickTime backend for tests: it installs itself for its lifetime, keeps
// what the run-time asked of it as records tests read back, and raises
// controller actions through the installed filter as a controller would.
// Also an observer of the error log.
#pragma once
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "graphics/QuickTimeBackend.h"
#include "graphics/QuickTimeMovies.h"

struct QtMovieData {
  MacRect naturalBox;  // at the identity matrix
  MacRect box;         // as last set
  QtMatrix matrix;
  int disposed = 0;
};

struct QtControllerData {
  int32_t flags = 0;  // at creation
  MacRect bounds{};
  std::vector<std::pair<int16_t, intptr_t>> actions;  // as sent, filter or not
  QtActionFilter filter = nullptr;
  void* context = nullptr;
  int moviesGiven = 0;  // ControllerSetMovie calls
  int events = 0;       // native messages offered
  int disposed = 0;
};

// A graphics importer the fake opened, copied from its script.
struct QtComponentData {
  MacRect natural{};  // as natural bounds answer until bounds are set
  int32_t depth = 32;
  int32_t imageCount = 1;
  uint32_t colour = 0;  // 0x00RRGGBB, drawn over the whole drawing world
  bool drawFails = false;
  std::vector<int32_t> indexes;     // as selected
  std::vector<MacRect> boundsSet;   // as set
  QtPortData* world = nullptr;
  int closed = 0;
};

// A drawing world over the caller's 32-bit rows.
struct QtPortData {
  void* pixels;
  int32_t width, height, stride;
  int disposed = 0;
};

// A machine with neither QuickTime nor the platform's stand-in: the base
// backend, in force while the object lives.
class AbsentQuickTime : public QuickTimeBackend {
 public:
  AbsentQuickTime() { InstallQuickTimeBackend(this); }
  ~AbsentQuickTime() override { InstallQuickTimeBackend(nullptr); }
};

class FakeQuickTime : public QuickTimeBackend {
 public:
  FakeQuickTime() { InstallQuickTimeBackend(this); }
  ~FakeQuickTime() override { InstallQuickTimeBackend(nullptr); }

  // ---- Script ----
  bool loads = true;
  // What every graphics importer opened starts as; openFails refuses them.
  QtComponentData importerScript;
  bool importerOpenFails = false;
  // Export: the call named here fails ("pictureHandle", "grip", "setData",
  // "dialog" (a cancel), "write", "grex", "setInput", "resolution",
  // "output", "export"); the dialog's choice.
  std::string failing;
  uint32_t chosenFormat = FourCharCode("PNGf");
  std::string chosenPath = "C:\\exported.png";

  // ---- Records ----
  int loadCalls = 0;
  std::vector<std::string> openedFiles;  // paths, in order
  int closedFiles = 0;
  std::vector<std::string> dataReferences;  // the bytes of each, NUL included
  std::deque<QtMovieData> movies;
  std::deque<QtControllerData> controllers;
  std::deque<QtComponentData> importers;
  std::vector<std::string> importedFiles;  // paths, in order
  std::deque<QtPortData> worlds;
  QtPort currentPort = nullptr;
  std::vector<std::string> exportCalls;  // "grip PICT", "write PNGf C:\\exported.png", ...
  std::string importerData;              // the bytes of the handle an importer was given
  int32_t resolution[2] = {0, 0};        // as the exporter was given them
  int openComponents = 0;                // opened and not closed
  int liveHandles = 0;                   // made and not disposed

  // What the controller does by itself (a click on its play button): its
  // filter sees the action.
  void RaiseAction(QtController controller, int16_t action, intptr_t parameter) {
    if (controller->filter) controller->filter(controller, action, parameter, controller->context);
  }

  bool Load() override { return ++loadCalls, loads; }
  bool EnterMovies() override { return true; }
  QtError OpenMovieFile(const char* utf8Path, QtMovieFile* file) override {
    openedFiles.push_back(utf8Path);
    *file = reinterpret_cast<QtMovieFile>(openedFiles.size());
    return kQtNoError;
  }
  void CloseMovieFile(QtMovieFile) override { ++closedFiles; }
  QtError NewMovieFromFile(QtMovieFile, QtMovie* movie, int16_t*) override {
    constexpr MacRect kBox{10, 20, 130, 180};  // 160 x 120
    *movie = &movies.emplace_back(QtMovieData{kBox, kBox, IdentityMatrix()});
    return kQtNoError;
  }
  QtError NewMovieFromDataRef(QtHandle reference, uint32_t type, int16_t flags, QtMovie* movie,
                              int16_t* resourceId) override {
    for (const Block& block : blocks_) {
      if (&block.pointer == reference) dataReferences.push_back(block.bytes);
    }
    if (type != FourCharCode("url ") || flags != 7) return -50;
    return NewMovieFromFile(nullptr, movie, resourceId);
  }
  void DisposeMovie(QtMovie movie) override { ++movie->disposed; }
  // The matrix scales the natural size.
  MacRect MovieBox(QtMovie movie) override {
    const MacRect& natural = movie->naturalBox;
    const int64_t width = (natural.right - natural.left) * int64_t(movie->matrix.values[0][0]);
    const int64_t height = (natural.bottom - natural.top) * int64_t(movie->matrix.values[1][1]);
    return MacRect{movie->box.top, movie->box.left, int16_t(movie->box.top + height / 0x10000),
                   int16_t(movie->box.left + width / 0x10000)};
  }
  void SetMovieBox(QtMovie movie, const MacRect& box) override { movie->box = box; }
  QtMatrix MovieMatrix(QtMovie movie) override { return movie->matrix; }
  void SetMovieMatrix(QtMovie movie, const QtMatrix& matrix) override { movie->matrix = matrix; }
  QtHandle NewHandle(uint32_t size) override {
    Block& block = blocks_.emplace_back();
    block.bytes.assign(size, '\0');
    block.pointer = block.bytes.data();
    ++liveHandles;
    return &block.pointer;
  }
  uint32_t HandleSize(QtHandle handle) override { return uint32_t(BlockOf(handle)->bytes.size()); }
  void DisposeHandle(QtHandle handle) override {
    if (Block* block = BlockOf(handle); block && !block->disposed) block->disposed = true, --liveHandles;
  }
  // The picture of a packed DIB: its bytes as they stand.
  QtHandle NewPictureHandle(const uint8_t* dib, size_t size) override {
    if (failing == "pictureHandle") return nullptr;
    QtHandle handle = NewHandle(uint32_t(size));
    std::memcpy(*handle, dib, size);
    return handle;
  }
  QtController NewController(QtMovie, const MacRect& box, int32_t flags) override {
    QtControllerData& controller = controllers.emplace_back();
    controller.flags = flags;
    controller.bounds = box;
    return &controller;
  }
  void DisposeController(QtController controller) override { ++controller->disposed; }
  void ControllerSetMovie(QtController controller, QtMovie) override { ++controller->moviesGiven; }
  QtError ControllerAction(QtController controller, int16_t action, intptr_t parameter) override {
    controller->actions.emplace_back(action, parameter);
    RaiseAction(controller, action, parameter);
    return kQtNoError;
  }
  void SetActionFilter(QtController controller, QtActionFilter filter, void* context) override {
    controller->filter = filter;
    controller->context = context;
  }
  MacRect ControllerBounds(QtController controller) override { return controller->bounds; }
  void SetControllerBounds(QtController controller, const MacRect& bounds) override {
    controller->bounds = bounds;
  }
  bool ControllerIsPlayerEvent(QtController controller, const MSG&) override {
    return ++controller->events, false;
  }

  QtError OpenDefaultComponent(uint32_t type, uint32_t subtype, QtComponent* component) override {
    const std::string kind = FourCharText(type);
    exportCalls.push_back(kind + " " + FourCharText(subtype));
    if (failing == kind) return -2000;
    *component = &importers.emplace_back();
    ++openComponents;
    return kQtNoError;
  }
  QtError ImporterSetDataHandle(QtComponent, QtHandle data) override {
    importerData = BlockOf(data)->bytes;
    return Step("setData");
  }
  QtError ImporterExportDialog(QtComponent, uint32_t* format, std::string* path) override {
    *format = chosenFormat;
    *path = chosenPath;
    return failing == "dialog" ? kQtUnavailable : Step("dialog");
  }
  QtError ImporterExportImageFile(QtComponent, uint32_t fileType, uint32_t, const char* path) override {
    return Step("write", "write " + FourCharText(fileType) + " " + path);
  }
  QtError ExporterSetInput(QtComponent, QtComponent) override { return Step("setInput"); }
  QtError ExporterSetResolution(QtComponent, int32_t horizontal, int32_t vertical) override {
    resolution[0] = horizontal, resolution[1] = vertical;
    return Step("resolution");
  }
  QtError ExporterSetOutputFile(QtComponent, const char* path) override {
    return Step("output", std::string("output ") + path);
  }
  QtError ExporterExport(QtComponent) override { return Step("export"); }

  QtError ImporterForFile(const char* utf8Path, QtComponent* importer) override {
    importedFiles.push_back(utf8Path);
    if (importerOpenFails) return -43;
    *importer = &importers.emplace_back(importerScript);
    ++openComponents;
    return kQtNoError;
  }
  void CloseComponent(QtComponent component) override {
    ++component->closed;
    --openComponents;
  }
  QtError ImporterSetIndex(QtComponent importer, int32_t index) override {
    importer->indexes.push_back(index);
    return index <= importer->imageCount ? kQtNoError : -50;
  }
  QtError ImporterImageCount(QtComponent importer, int32_t* count) override {
    *count = importer->imageCount;
    return kQtNoError;
  }
  QtError ImporterNaturalBounds(QtComponent importer, MacRect* bounds) override {
    *bounds = importer->natural;
    return kQtNoError;
  }
  QtError ImporterSetBounds(QtComponent importer, const MacRect& bounds) override {
    importer->boundsSet.push_back(bounds);
    return kQtNoError;
  }
  QtError ImporterDepth(QtComponent importer, int32_t* depth) override {
    *depth = importer->depth;
    return kQtNoError;
  }
  QtPort NewDrawingWorld(void* pixels, int32_t width, int32_t height, int32_t stride) override {
    return &worlds.emplace_back(QtPortData{pixels, width, height, stride});
  }
  void DisposeDrawingWorld(QtPort world) override { ++world->disposed; }
  QtPort CurrentPort() override { return currentPort; }
  void SetCurrentPort(QtPort port) override { currentPort = port; }
  QtError ImporterSetDrawingWorld(QtComponent importer, QtPort world) override {
    importer->world = world;
    return kQtNoError;
  }
  // Paints the whole world in the importer's colour, when it is current.
  QtError ImporterDraw(QtComponent importer) override {
    QtPortData* world = importer->world;
    if (importer->drawFails || !world || currentPort != world) return -1;
    for (int32_t y = 0; y < world->height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<char*>(world->pixels) + y * world->stride);
      for (int32_t x = 0; x < world->width; ++x) row[x] = importer->colour;
    }
    return kQtNoError;
  }

 private:
  struct Block {
    std::string bytes;
    char* pointer;  // what the handle points at
    bool disposed = false;
  };
  Block* BlockOf(QtHandle handle) {
    for (Block& block : blocks_) {
      if (&block.pointer == handle) return &block;
    }
    return nullptr;
  }
  static std::string FourCharText(uint32_t code) {
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
  }
  // Logs the call (as its name, or as given) and fails it when scripted.
  QtError Step(const char* name, const std::string& logged = std::string()) {
    exportCalls.push_back(logged.empty() ? name : logged);
    return failing == name ? -1 : kQtNoError;
  }
  std::deque<Block> blocks_;
};

// The error log's messages, with their codes, while it lives.
class ErrorLogRecorder {
 public:
  ErrorLogRecorder() : previous_(SetErrorLogObserver(Record)) { Messages().clear(); }
  ~ErrorLogRecorder() { SetErrorLogObserver(previous_); }
  static std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
  }

 private:
  static void Record(const char* message, int32_t code) {
    Messages().push_back(std::string(message) + " (" + std::to_string(code) + ")");
  }
  ErrorLogObserver previous_;
};
