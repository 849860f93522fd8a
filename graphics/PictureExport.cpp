// Export's two roads, each step's failure ending it with everything made so
// far released.
#include "graphics/PictureExport.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "core/utility.h"
#include "graphics/GlobalMemory.h"
#include "graphics/NativePicture.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureClass.h"
#include "graphics/QuickTimeMovies.h"

namespace {

constexpr uint32_t kPICTFileHeader = 512;

// The resolution a file gets in unsigned 16.16 fixed point, as the exporter
// takes it (the bits of 32,768 dots per inch and more are those of a
// negative int32).
int32_t FixedOf(int32_t dotsPerInch) {
  return int32_t(uint32_t(FileResolution(dotsPerInch)) << 16);
}

PictureExportHooks& Hooks() {
  static PictureExportHooks hooks;
  return hooks;
}

NativePicture* NativeOf(RuntimeObject* picture) {
  return ObjectIsADefinition(picture, PictureClassDefinition())
             ? ObjectFields<PictureObject>(picture)->nativePicture
             : nullptr;
}

bool ExportThroughFileLayer(RuntimeObject* picture) {
  const PictureExportHooks& hooks = Hooks();
  if (!hooks.runSaveDialog || !hooks.saveAsPicture) return false;
  StringRef title = StringRef::Adopt(StringFromASCII("Export Image As:"));
  StringRef name = StringRef::Adopt(StringFromASCII("Untitled Image.bmp"));
  ObjectRef item = ObjectRef::Adopt(hooks.runSaveDialog(title.get(), name.get()));
  return item && hooks.saveAsPicture(item.get(), picture, 0);
}

// Releases what the QuickTime road made, whatever step it reached.
class QuickTimeExport {
 public:
  ~QuickTimeExport() {
    QuickTimeBackend& backend = CurrentQuickTimeBackend();
    if (exporter) backend.CloseComponent(exporter);
    if (importer) backend.CloseComponent(importer);
    if (data) backend.DisposeHandle(data);
  }
  QtHandle data = nullptr;
  QtComponent importer = nullptr;
  QtComponent exporter = nullptr;
};

bool ExportThroughQuickTime(RuntimeObject* picture) {
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  QuickTimeExport made;
  made.data = PictureFileHandle(picture);
  uint32_t format = 0;
  std::string path;
  if (!made.data ||
      backend.OpenDefaultComponent(FourCharCode("grip"), FourCharCode("PICT"), &made.importer) !=
          kQtNoError ||
      !made.importer || backend.ImporterSetDataHandle(made.importer, made.data) != kQtNoError ||
      backend.ImporterExportDialog(made.importer, &format, &path) != kQtNoError ||
      backend.ImporterExportImageFile(made.importer, format, 0, path.c_str()) != kQtNoError) {
    return false;
  }
  // The importer was handed the resolution set (72 included), which most
  // encoders write; a resolution other than 72 goes through an exporter
  // again for those that only take it there.
  NativePicture* native = NativeOf(picture);
  if (native && (native->HResolution() != 72 || native->VResolution() != 72) &&
      backend.OpenDefaultComponent(FourCharCode("grex"), format, &made.exporter) == kQtNoError &&
      made.exporter && backend.ExporterSetInput(made.exporter, made.importer) == kQtNoError &&
      backend.ExporterSetResolution(made.exporter, FixedOf(native->HResolution()),
                                    FixedOf(native->VResolution())) == kQtNoError &&
      backend.ExporterSetOutputFile(made.exporter, path.c_str()) == kQtNoError) {
    backend.ExporterExport(made.exporter);
  }
  return true;
}

}  // namespace

PictureExportHooks SetPictureExportHooks(const PictureExportHooks& hooks) {
  PictureExportHooks previous = Hooks();
  Hooks() = hooks;
  return previous;
}

bool exportPicture(RuntimeObject* picture) {
  if (!picture) {
    RaiseNilObjectException();
    return false;
  }
  return QuickTimeStartup() ? ExportThroughQuickTime(picture) : ExportThroughFileLayer(picture);
}

QtHandle PictureToQuickTimePicture(RuntimeObject* picture) {
  NativePicture* native = NativeOf(picture);
  return native && QuickTimeStartup() ? CurrentQuickTimeBackend().NewPictureHandleOf(native, 0)
                                      : nullptr;
}

QtHandle PictureFileHandle(RuntimeObject* picture) {
  NativePicture* native = NativeOf(picture);
  return native && QuickTimeStartup()
             ? CurrentQuickTimeBackend().NewPictureHandleOf(native, kPICTFileHeader)
             : nullptr;
}

bool CarryFileResolution(const NativePicture& picture, uint8_t* dib, size_t size) {
  return SetPackedDIBResolution(dib, size, FileResolution(picture.HResolution()),
                                FileResolution(picture.VResolution()));
}

QtHandle QuickTimeBackend::NewPictureHandleOf(NativePicture* picture, uint32_t zeroBytes) {
  GlobalBlock dib(picture->ExportPackedDIB());
  GlobalLockScope locked(dib.get());
  if (!locked.data()) return nullptr;
  std::vector<uint8_t> widened;
  if (!CarryFileResolution(*picture, locked.data(), locked.size())) {
    widened = PackedDIBWithInfoHeader(locked.data(), locked.size());
    if (!CarryFileResolution(*picture, widened.data(), widened.size())) return nullptr;
  }
  QtHandle pict = widened.empty() ? NewPictureHandle(locked.data(), locked.size())
                                  : NewPictureHandle(widened.data(), widened.size());
  if (!pict || zeroBytes == 0) return pict;
  const uint32_t size = HandleSize(pict);
  QtHandle data = size <= UINT32_MAX - zeroBytes ? NewHandle(size + zeroBytes) : nullptr;
  if (data) {
    std::memset(*data, 0, zeroBytes);
    std::memcpy(*data + zeroBytes, *pict, size);
  }
  DisposeHandle(pict);
  return data;
}
