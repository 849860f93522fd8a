// Export's importer, exporter and dialog over the imaging encoders.
#include "graphics/ImageExportComponents.h"

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "core/utility.h"
#include "graphics/ImagingCodecs.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureImporter.h"

struct ImageComponent {
  bool exporter = false;
  // An importer's picture, borrowed; nil until its data is taken.
  const uint8_t* dib = nullptr;
  PackedDIBView view{};
  // An exporter's format, input, resolution and file.
  const ImageFileFormat* format = nullptr;
  const ImageComponent* input = nullptr;
  double dotsPerInch[2] = {0, 0};
  std::wstring output;
};

namespace {

constexpr size_t kPictureFileHeader = 512;
constexpr DWORD kPathCapacity = 1024;
constexpr double kFixedOne = 65536.0;

bool Encode(const ImageComponent& importer, const ImageFileFormat& format, const wchar_t* path,
            double xDotsPerInch, double yDotsPerInch) {
  if (!importer.dib || importer.exporter || !path || !*path) return false;
  ComRef<IWICImagingFactory> factory;
  if (!MakeImagingFactory(&factory)) return false;
  IWICBitmapSource* source = NewPackedDIBSource(importer.dib, importer.view);
  if (!source) return false;
  const bool written =
      EncodeImageFile(factory.get(), source, format, path, xDotsPerInch, yDotsPerInch);
  source->Release();
  return written;
}

// The dialog's filter: "BMP", "*.bmp", ... each ending with a zero.
std::wstring ExportFilter() {
  std::wstring filter;
  for (const ImageFileFormat& format : kImageFileFormats) {
    filter.append(format.name).push_back(L'\0');
    filter.append(format.pattern).push_back(L'\0');
  }
  return filter;
}

// The format a chosen name's extension names, else the filter's.
const ImageFileFormat& ChosenFormat(const wchar_t* path, DWORD filterIndex) {
  const wchar_t* dot = std::wcsrchr(path, L'.');
  if (dot && !std::wcschr(dot, L'\\')) {
    for (const ImageFileFormat& format : kImageFileFormats) {
      std::wstring patterns = format.pattern;  // "*.jpg;*.jpeg"
      for (size_t start = 1; start < patterns.size();) {
        const size_t end = std::min(patterns.find(L';', start), patterns.size());
        if (_wcsicmp(patterns.substr(start, end - start).c_str(), dot) == 0) return format;
        start = end + 2;
      }
    }
  }
  const DWORD index = filterIndex >= 1 && filterIndex <= kImageFileFormatCount ? filterIndex : 1;
  return kImageFileFormats[index - 1];
}

// A change of the type puts its extension on the name typed so far.
UINT_PTR CALLBACK ExportDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return 0;
  const auto* notice = reinterpret_cast<const OFNOTIFYW*>(lParam);
  if (notice->hdr.code != CDN_TYPECHANGE) return 0;
  const DWORD index = notice->lpOFN->nFilterIndex;
  if (index < 1 || index > kImageFileFormatCount) return 0;
  HWND dialog = GetParent(hook);
  wchar_t name[kPathCapacity] = {};
  SendMessageW(dialog, CDM_GETSPEC, kPathCapacity, reinterpret_cast<LPARAM>(name));
  std::wstring renamed = name;
  const size_t dot = renamed.rfind(L'.');
  if (dot != std::wstring::npos) renamed.erase(dot);
  if (renamed.empty()) return 0;
  renamed.append(L".").append(kImageFileFormats[index - 1].extension);
  // The name box is a combo box in the explorer form, an edit field in others.
  const int nameBox = GetDlgItem(dialog, cmb13) ? cmb13 : edt1;
  SendMessageW(dialog, CDM_SETCONTROLTEXT, nameBox, reinterpret_cast<LPARAM>(renamed.c_str()));
  return 0;
}

std::string Utf8Of(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string text(size_t(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
  return text;
}

}  // namespace

ImageComponent* OpenImageComponent(uint32_t type, uint32_t subtype) {
  if (type == FourCharCode("grip") && subtype == FourCharCode("PICT")) return new ImageComponent;
  if (type != FourCharCode("grex")) return nullptr;
  const ImageFileFormat* format = ImageFileFormatOfType(subtype);
  if (!format) return nullptr;
  auto* exporter = new ImageComponent;
  exporter->exporter = true;
  exporter->format = format;
  return exporter;
}

void CloseImageComponent(ImageComponent* component) { delete component; }

bool ImporterTakeData(ImageComponent* importer, const uint8_t* bytes, size_t size) {
  if (!importer || importer->exporter) return false;
  importer->dib = nullptr;
  PackedDIBView view{};
  if (!bytes || size <= kPictureFileHeader ||
      !ReadPackedDIB(bytes + kPictureFileHeader, size - kPictureFileHeader, &view)) {
    return false;
  }
  importer->dib = bytes + kPictureFileHeader;
  importer->view = view;
  return true;
}

bool ImporterRunExportDialog(ImageComponent* importer, uint32_t* fileType, std::string* path) {
  if (!importer || !importer->dib) return false;
  const std::wstring filter = ExportFilter();
  std::vector<wchar_t> name(kPathCapacity, L'\0');
  const std::wstring suggested = std::wstring(L"Untitled Image.") + kImageFileFormats[0].extension;
  suggested.copy(name.data(), kPathCapacity - 1);
  OPENFILENAMEW record{};
  record.lStructSize = sizeof record;
  record.lpstrFilter = filter.c_str();
  record.nFilterIndex = 1;
  record.lpstrFile = name.data();
  record.nMaxFile = kPathCapacity;
  record.lpstrTitle = L"Export Image As:";
  record.lpstrDefExt = kImageFileFormats[0].extension;
  record.lpfnHook = ExportDialogHook;
  record.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY |
                 OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&record)) return false;
  *fileType = ChosenFormat(name.data(), record.nFilterIndex).fileType;
  *path = Utf8Of(name.data());
  return !path->empty();
}

bool ImporterExportFile(ImageComponent* importer, uint32_t fileType, const char* utf8Path) {
  const ImageFileFormat* format = ImageFileFormatOfType(fileType);
  if (!importer || !format || !utf8Path) return false;
  return Encode(*importer, *format, WidePathOf(utf8Path).c_str(), 0, 0);
}

bool ExporterSetInput(ImageComponent* exporter, ImageComponent* importer) {
  if (!exporter || !exporter->exporter || !importer || !importer->dib) return false;
  exporter->input = importer;
  return true;
}

bool ExporterSetResolution(ImageComponent* exporter, int32_t horizontal, int32_t vertical) {
  if (!exporter || !exporter->exporter || horizontal == 0 || vertical == 0) return false;
  exporter->dotsPerInch[0] = uint32_t(horizontal) / kFixedOne;
  exporter->dotsPerInch[1] = uint32_t(vertical) / kFixedOne;
  return true;
}

bool ExporterSetOutput(ImageComponent* exporter, const char* utf8Path) {
  if (!exporter || !exporter->exporter || !utf8Path) return false;
  exporter->output = WidePathOf(utf8Path);
  return !exporter->output.empty();
}

bool ExporterWrite(ImageComponent* exporter) {
  if (!exporter || !exporter->exporter || !exporter->input) return false;
  return Encode(*exporter->input, *exporter->format, exporter->output.c_str(),
                exporter->dotsPerInch[0], exporter->dotsPerInch[1]);
}
