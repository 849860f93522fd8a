// The media's start-up step, and the files subsystem's media table over the
// Sound class and the QuickTime backend.
#include "runtime/MediaSetup.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "controls/MoviePlayer.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/FolderItemDialog.h"
#include "files/FolderItemImp.h"
#include "files/MediaSlots.h"
#include "files/runFolderItem.h"
#include "graphics/MetafileImport.h"
#include "graphics/MovieControllers.h"
#include "graphics/PictureExport.h"
#include "graphics/PictureFiles.h"
#include "graphics/QuickTimeMovies.h"
#include "graphics/Sound.h"
#include "host/relocentry.h"
#include "host/runtimemainloop.h"
#include "system/RegistryAccessors.h"
#include "system/RunSystem.h"

namespace {

constexpr int16_t kFileNotFound = -43;
constexpr int16_t kBadParameter = -50;

bool ReadRegistryDWORD(const char* keyPath, const char* valueName, int32_t* value) {
  StringRef path = StringRef::Adopt(StringFromUTF8(keyPath));
  StringRef name = StringRef::Adopt(StringFromUTF8(valueName));
  RegistryKey key;
  RegistryKeyInit(&key);
  const bool open = RegistryKeyOpenPath(&key, path.get(), false);
  if (open) *value = RegistryKeyGetDWORD(&key, name.get());
  RegistryKeyDestruct(&key);
  return open;
}

// ---- Sounds ----

// With data: a WAVE file read whole, which the Sound takes over.
RuntimeObject* NewFileSound(void* data, int32_t length) {
  if (!data) return CreateInstance(GetSoundClassDefinition());
  return NewSoundFromData(static_cast<uint8_t*>(data), uint32_t(std::max(length, 0)), true, true);
}

// ---- QuickTime ----

// The backend names files by path: a file spec carries a number
// standing for its path here, and a movie-file reference the number of the
// open file. The file layer uses each spec once, straight after
// making it, so only the latest is held, and only until that use: a path
// stays in memory no longer than the call that named it.
struct QuickTimeNames {
  int32_t lastSpecNumber = 0;
  std::optional<std::string> specPath;  // of the last spec, until its use
  std::vector<QtMovieFile> files;  // nil where closed
};

QuickTimeNames& Names() {
  static QuickTimeNames names;
  return names;
}

int16_t FileSpecOfPath(const char* path, QuickTimeFileSpec* spec) {
  QuickTimeNames& names = Names();
  names.lastSpecNumber = names.lastSpecNumber == INT32_MAX ? 1 : names.lastSpecNumber + 1;
  names.specPath = path;
  *spec = QuickTimeFileSpec{};
  spec->parentDirectory = names.lastSpecNumber;
  const char* name = std::strrchr(path, '\\');
  name = name ? name + 1 : path;
  spec->name[0] = uint8_t(std::min<size_t>(std::strlen(name), sizeof spec->name - 1));
  std::memcpy(spec->name + 1, name, spec->name[0]);
  return 0;
}

// The spec's path, which its use takes over: false for one not
// held (used already, or never made here).
bool TakePathOf(const QuickTimeFileSpec* spec, std::string* path) {
  QuickTimeNames& names = Names();
  if (!names.specPath || spec->parentDirectory != names.lastSpecNumber) return false;
  *path = std::move(*names.specPath);
  names.specPath.reset();
  return true;
}

QtMovieFile* FileOf(int16_t reference) {
  std::vector<QtMovieFile>& files = Names().files;
  const bool known = reference > 0 && size_t(reference) <= files.size() && files[reference - 1];
  return known ? &files[size_t(reference - 1)] : nullptr;
}

int16_t OpenMovieFile(const QuickTimeFileSpec* spec, int16_t* reference, int8_t) {
  std::string path;
  if (!TakePathOf(spec, &path)) return kFileNotFound;
  QtMovieFile file = nullptr;
  const QtError error = CurrentQuickTimeBackend().OpenMovieFile(path.c_str(), &file);
  if (error != kQtNoError || !file) return error != kQtNoError ? int16_t(error) : kFileNotFound;
  std::vector<QtMovieFile>& files = Names().files;
  auto free = std::find(files.begin(), files.end(), nullptr);
  if (free == files.end()) free = files.insert(files.end(), nullptr);
  *free = file;
  *reference = int16_t(free - files.begin() + 1);
  return 0;
}

int16_t NewMovieFromFile(void** movie, int16_t reference, int16_t* resourceId, uint8_t*, int16_t,
                         uint8_t*) {
  QtMovieFile* file = FileOf(reference);
  if (!file) return kBadParameter;
  QtMovie made = nullptr;
  const QtError error = CurrentQuickTimeBackend().NewMovieFromFile(*file, &made, resourceId);
  *movie = made;
  return int16_t(error);
}

int16_t CloseMovieFile(int16_t reference) {
  QtMovieFile* file = FileOf(reference);
  if (!file) return kBadParameter;
  CurrentQuickTimeBackend().CloseMovieFile(*file);
  *file = nullptr;
  return 0;
}

RuntimeObject* NewMovie(void* movie, int32_t resourceId) {
  return NewMovieHolding(static_cast<QtMovie>(movie), int16_t(resourceId));
}

QuickTimeHandle NewHandle(int32_t size) {
  return size < 0 ? nullptr : CurrentQuickTimeBackend().NewHandle(uint32_t(size));
}

int32_t HandleSize(QuickTimeHandle handle) {
  return int32_t(CurrentQuickTimeBackend().HandleSize(handle));
}

void DisposeHandle(QuickTimeHandle handle) { CurrentQuickTimeBackend().DisposeHandle(handle); }

int16_t OpenDefaultComponent(uint32_t type, uint32_t subType, void** component) {
  QtComponent opened = nullptr;
  const QtError error = CurrentQuickTimeBackend().OpenDefaultComponent(type, subType, &opened);
  *component = opened;
  return int16_t(error);
}

int32_t SetImporterData(void* importer, QuickTimeHandle data) {
  return CurrentQuickTimeBackend().ImporterSetDataHandle(static_cast<QtComponent>(importer), data);
}

int32_t ExportImageFile(void* importer, uint32_t fileType, uint32_t creator,
                        const QuickTimeFileSpec* spec, int16_t) {
  std::string path;
  if (!TakePathOf(spec, &path)) return kFileNotFound;
  return CurrentQuickTimeBackend().ImporterExportImageFile(static_cast<QtComponent>(importer),
                                                           fileType, creator, path.c_str());
}

int16_t CloseComponent(void* component) {
  CurrentQuickTimeBackend().CloseComponent(static_cast<QtComponent>(component));
  return 0;
}

// ---- Picture import ----

NativePicture* OpenFirstPicture(const char* path) { return OpenPictureFile(path, 1); }

// ---- Picture export ----

void ReplaceDialogText(StringRecord** field, StringRecord* text) {
  RuntimeLockString(text);
  StringRecordRelease(*field);
  *field = text;
}

RuntimeObject* RunExportSaveDialog(StringRecord* title, StringRecord* suggestedName) {
  ObjectRef dialog = ObjectRef::Adopt(CreateInstance(GetSaveAsDialogClassDefinition()));
  if (!dialog) return nullptr;
  auto* fields = ObjectFields<FolderItemDialogObject>(dialog.get());
  ReplaceDialogText(&fields->title, title);
  ReplaceDialogText(&fields->suggestedFileName, suggestedName);
  return FolderItemDialogRun(dialog.get(), nullptr);
}

bool SaveItemAsPicture(RuntimeObject* item, RuntimeObject* picture, int32_t format) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->SaveAsPicture(picture, format);
}

void FillPictureExport() {
  PictureExportHooks hooks;
  hooks.runSaveDialog = RunExportSaveDialog;
  hooks.saveAsPicture = SaveItemAsPicture;
  SetPictureExportHooks(hooks);
  static const EntryPoint entries[] = {{"exportPicture", reinterpret_cast<void*>(&exportPicture)}};
  RegisterEntryPoints(entries, 1);
}

void FillMediaSlots() {
  MediaSlots slots = CurrentMediaSlots();
  slots.newSound = NewFileSound;
  slots.setSoundItem = SoundSetFile;
  slots.quickTimeAvailable = QuickTimeAvailable;
  slots.fileSpecOfPath = FileSpecOfPath;
  slots.openMovieFile = OpenMovieFile;
  slots.newMovieFromFile = NewMovieFromFile;
  slots.closeMovieFile = CloseMovieFile;
  slots.newMovie = NewMovie;
  slots.newHandle = NewHandle;
  slots.handleSize = HandleSize;
  slots.disposeHandle = DisposeHandle;
  slots.openDefaultComponent = OpenDefaultComponent;
  slots.setImporterData = SetImporterData;
  slots.exportImageFile = ExportImageFile;
  slots.closeComponent = CloseComponent;
  slots.pictureImportReady = PictureImportQuickTimeReady;
  slots.openPictureFile = OpenFirstPicture;
  slots.importPictureWithQuickTime = ImportPictureWithQuickTime;
  slots.importMetafileFile = ImportMetafileFile;
  slots.pictureToQuickTimePicture = PictureToQuickTimePicture;
  InstallMediaSlots(slots);
}

}  // namespace

size_t HeldQuickTimeFileSpecs() { return Names().specPath ? 1 : 0; }

void RegisterMediaClasses() {
  RegisterSoundClass();
  RegisterMovieClasses();
  SetSoundFilePathHook(FolderItemPathOf);
  SetQuickTimeRegistryReader(ReadRegistryDWORD);
  SetQuickTimeInstalledQuery(QuickTimeInstalledVersion);
  InstallMovieControllerHooks();
  SetSoundShutdownHook(SoundShutdown);
  SetQuickTimeShutdownHook(QuickTimeShutdown);
  FillMediaSlots();
  FillPictureExport();
}
