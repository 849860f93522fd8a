// The printer on GDI: the dialogs, resolutions, the job's page cycle, the
// page geometry and the setup string's Win32 side.
#include "graphics/WinPrinter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "core/diagnostics.h"
#include "core/utility.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PrintPane.h"
#include "graphics/Rect16.h"
#include "ui/RuntimeWindow.h"

namespace {

constexpr int32_t kHundredthsMMPerInch = 2540;
// Flags the printer never sets and a setup string must not bring in: hooks
// and templates (their pointers are not carried), returned contexts and the
// default-only form.
constexpr DWORD kForeignPrintFlags = PD_ENABLEPRINTHOOK | PD_ENABLESETUPHOOK |
                                     PD_ENABLEPRINTTEMPLATE | PD_ENABLESETUPTEMPLATE |
                                     PD_ENABLEPRINTTEMPLATEHANDLE | PD_ENABLESETUPTEMPLATEHANDLE |
                                     PD_RETURNDC | PD_RETURNIC | PD_RETURNDEFAULT;
constexpr DWORD kForeignPageSetupFlags = PSD_ENABLEPAGESETUPHOOK | PSD_ENABLEPAGESETUPTEMPLATE |
                                         PSD_ENABLEPAGESETUPTEMPLATEHANDLE |
                                         PSD_ENABLEPAGEPAINTHOOK | PSD_RETURNDEFAULT;
// The print dialog's device mode made from the page setup's: the fixed part
// up to dmPanningHeight.
constexpr WORD kCarryOverDevModeSize = 148;
static_assert(kCarryOverDevModeSize == kMinimumCarriedDevModeSize, "carried device modes");
static_assert(kDevModeFieldsOffset == offsetof(DEVMODEA, dmFields) &&
                  kDevModeFormNameOffset == offsetof(DEVMODEA, dmFormName) &&
                  kDevModeNameLength == sizeof DEVMODEA::dmDeviceName,
              "device-mode offsets");

void Report(int32_t line, const char* message) {
  AssertionFailed(131, 4, "WinPrinter.cpp", line, message, nullptr);
}

// A copy of a locked device mode, zero past the block's end (a short block
// reads as one without those fields).
DEVMODEA CopyOfDevMode(const GlobalLockScope& lock) {
  DEVMODEA mode{};
  std::memcpy(&mode, lock.data(), std::min(lock.size(), sizeof mode));
  return mode;
}

// The locked device mode when GDI may read it whole: dmSize and the
// driver's bytes inside the block.
const DEVMODEA* UsableDevMode(const GlobalLockScope& lock) {
  if (lock.size() < offsetof(DEVMODEA, dmFields) + sizeof(DWORD)) return nullptr;
  const auto* mode = reinterpret_cast<const DEVMODEA*>(lock.data());
  const size_t whole = size_t(mode->dmSize) + mode->dmDriverExtra;
  return mode->dmSize >= offsetof(DEVMODEA, dmFields) && whole <= lock.size() ? mode : nullptr;
}

// The dialog's handles after a call, as they come: the dialog may have
// freed or reallocated the ones it was given.
void TakeReturned(HGLOBAL returned, GlobalBlock* owner) {
  if (returned == owner->get()) return;
  owner->release();
  owner->reset(returned);
}

// A dialog on the record with the owned blocks, which take back what it
// returns.
template <class Record>
BOOL ShowDialog(BOOL(WINAPI* dialog)(Record*), Record* record, GlobalBlock* mode,
                GlobalBlock* names) {
  record->hDevMode = mode->get();
  record->hDevNames = names->get();
  const BOOL confirmed = dialog(record);
  TakeReturned(record->hDevMode, mode);
  TakeReturned(record->hDevNames, names);
  record->hDevMode = record->hDevNames = nullptr;
  return confirmed;
}

GlobalBlock BlockOfBytes(const std::string& bytes) {
  GlobalBlock block = GlobalBlock::Allocate(bytes.size());
  GlobalLockScope lock(block.get());
  if (!lock.data()) return GlobalBlock();
  std::memcpy(lock.data(), bytes.data(), bytes.size());
  return block;
}

// A new block replaces the owner's (freed at once); none leaves it.
bool ReplaceWithBytes(GlobalBlock* owner, const std::optional<std::string>& bytes) {
  if (!bytes) return false;
  GlobalBlock block = BlockOfBytes(*bytes);
  if (!block) return false;
  *owner = std::move(block);
  return true;
}

std::optional<std::string> DevModeBytes(HGLOBAL handle) {
  GlobalLockScope lock(handle);
  const size_t size = CarriedDevModeSize(lock.data(), lock.size());
  if (!size) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(lock.data()), size);
}

std::optional<PrinterDeviceNames> NamesOfBlock(HGLOBAL handle) {
  GlobalLockScope lock(handle);
  if (!lock.data()) return std::nullopt;
  return ReadDeviceNamesBlock(lock.data(), lock.size());
}

// The print dialog's device mode from the page setup's: its paper, layout
// and quality, and the name of the printer the page setup chose (the
// dialog reads an unnamed device mode as its default printer's, portrait).
GlobalBlock CarryOverDevMode(HGLOBAL pageSetupMode, HGLOBAL pageSetupNames) {
  GlobalLockScope source(pageSetupMode);
  if (source.size() < offsetof(DEVMODEA, dmColor)) return GlobalBlock();
  const DEVMODEA& from = *reinterpret_cast<const DEVMODEA*>(source.data());
  GlobalBlock block = GlobalBlock::Allocate(kCarryOverDevModeSize);
  GlobalLockScope lock(block.get());
  if (!lock.data()) return GlobalBlock();
  DEVMODEA to{};  // only the first kCarryOverDevModeSize bytes are copied
  to.dmSize = kCarryOverDevModeSize;
  // Only the fields carried are named: the others are zero here, which no
  // device takes (no copies, no colour setting).
  to.dmFields = from.dmFields & (DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH |
                                 DM_SCALE | DM_DEFAULTSOURCE | DM_PRINTQUALITY);
  to.dmOrientation = from.dmOrientation;
  to.dmPaperSize = from.dmPaperSize;
  to.dmPaperLength = from.dmPaperLength;
  to.dmPaperWidth = from.dmPaperWidth;
  to.dmScale = from.dmScale;
  to.dmDefaultSource = from.dmDefaultSource;
  to.dmPrintQuality = from.dmPrintQuality;
  if (const std::optional<PrinterDeviceNames> names = NamesOfBlock(pageSetupNames)) {
    names->device.copy(reinterpret_cast<char*>(to.dmDeviceName), sizeof to.dmDeviceName - 1);
  }
  std::memcpy(lock.data(), &to, kCarryOverDevModeSize);
  return block;
}

// The page-setup values a dialog reads and writes in its unit.
template <class Convert>
void ConvertPageSetupValues(PAGESETUPDLGA* record, Convert convert) {
  for (RECT* rect : {&record->rtMargin, &record->rtMinMargin}) {
    rect->left = convert(rect->left);
    rect->top = convert(rect->top);
    rect->right = convert(rect->right);
    rect->bottom = convert(rect->bottom);
  }
  record->ptPaperSize.x = convert(record->ptPaperSize.x);
  record->ptPaperSize.y = convert(record->ptPaperSize.y);
}

LONG ToThousandthsOfInch(LONG hundredthsMM) {
  return LONG(std::lround(double(hundredthsMM) * 1000.0 / kHundredthsMMPerInch));
}

PageSetupRect SetupRectOf(const RECT& rect) {
  return {int32_t(rect.left), int32_t(rect.top), int32_t(rect.right), int32_t(rect.bottom)};
}

RECT RectOfSetup(const PageSetupRect& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

int32_t WinPrinterToHundredthsMM(int32_t thousandthsOfInch) {
  // volatile: each step is rounded to single precision, as the x87 unit
  // would otherwise keep it wider and give 2539 for 1000.
  volatile float inches = float(thousandthsOfInch) / 1000.0f;
  volatile float millimetres = inches * 25.4f;
  volatile float hundredths = millimetres * 100.0f;
  return int32_t(hundredths);
}

PrinterDeviceGeometry PrinterDeviceGeometry::Of(HDC dc) {
  PrinterDeviceGeometry device;
  device.dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  device.dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  device.physicalWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
  device.physicalHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
  device.printableWidth = GetDeviceCaps(dc, HORZRES);
  device.printableHeight = GetDeviceCaps(dc, VERTRES);
  device.offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
  device.offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
  return device;
}

void* WinPrinter::operator new(size_t size) { return RuntimeAlloc(uint32_t(size)); }
void WinPrinter::operator delete(void* block) { RuntimeFree(block); }

WinPrinter::WinPrinter() = default;

WinPrinter::~WinPrinter() {
  if (!JobOpen()) return;
  Report(__LINE__, "Trying to destroy the printer object while it is currently spooling");
  EndPage();
  EndJob();
}

// ---- Dialogs ------------------------------------------------------------------------

bool WinPrinter::PrintDialog() {
  if (!printValid_) {
    print_.lStructSize = sizeof print_;
    print_.hwndOwner = GetDialogParentWindow();
    print_.Flags |= PD_USEDEVMODECOPIESANDCOLLATE | PD_NOSELECTION;
    print_.nCopies = 1;
    print_.nMaxPage = 0xFFFF;
    print_.hInstance = GetModuleHandleW(nullptr);
  }
  if (pageSetupValid_) {
    if (GlobalBlock carried = CarryOverDevMode(pageSetupDevMode_.get(), pageSetupDevNames_.get())) {
      printDevMode_ = std::move(carried);
    }
  }
  print_.Flags &= ~kForeignPrintFlags;
  if (!ShowDialog(ActivePrinterCalls().printDlg, &print_, &printDevMode_, &printDevNames_)) {
    return false;
  }
  printValid_ = true;
  settingsChanged_ = true;
  ReadResolutionsFrom(printDevMode_.get());
  return true;
}

// Margins are kept in hundredths of a millimetre; a dialog working in
// thousandths of an inch is shown them in its unit and its answer converted.
bool WinPrinter::PageSetupDialog() {
  alignas(4) PAGESETUPDLGA shown = pageSetup_;
  if (pageSetupValid_) {
    shown.Flags |= PSD_MARGINS;
    if (shown.Flags & PSD_INTHOUSANDTHSOFINCHES)
      ConvertPageSetupValues(&shown, ToThousandthsOfInch);
  } else {
    shown.lStructSize = sizeof shown;
    shown.hwndOwner = GetDialogParentWindow();
    char measure[2] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, sizeof measure);
    shown.Flags = measure[0] != '0' ? PSD_INTHOUSANDTHSOFINCHES : PSD_INHUNDREDTHSOFMILLIMETERS;
  }
  shown.Flags &= ~kForeignPageSetupFlags;
  if (!ShowDialog(ActivePrinterCalls().pageSetupDlg, &shown, &pageSetupDevMode_,
                  &pageSetupDevNames_)) {
    return false;
  }
  if (shown.Flags & PSD_INTHOUSANDTHSOFINCHES) {
    ConvertPageSetupValues(&shown, WinPrinterToHundredthsMM);
  }
  pageSetup_ = shown;
  pageSetupValid_ = true;
  settingsChanged_ = true;
  ReadResolutionsFrom(pageSetupDevMode_.get());
  return true;
}

// ---- Resolutions --------------------------------------------------------------------

int32_t WinPrinter::Capped(int32_t value, int32_t maximum) const {
  return maximum != -1 && value >= maximum ? maximum : value;
}

void WinPrinter::ReadResolutionsFrom(HGLOBAL mode) {
  GlobalLockScope lock(mode);
  if (lock.data()) ReadResolutions(CopyOfDevMode(lock));
}

// A resolution below 1 dot per inch is never taken: it would leave nothing
// to draw with.
void WinPrinter::ReadResolutions(const DEVMODEA& mode) {
  int32_t x = hResolution_, y = vResolution_;
  if (mode.dmFields & DM_YRESOLUTION) {
    y = Capped(mode.dmYResolution, maxVResolution_);
    if (mode.dmFields & DM_PRINTQUALITY) {
      if (mode.dmPrintQuality >= 1) {
        x = Capped(mode.dmPrintQuality, maxHResolution_);
      } else {
        Report(__LINE__, "We got a print quality and not a resolution.");
      }
    }
  } else {
    const bool quality = mode.dmFields & DM_PRINTQUALITY;
    if (quality && mode.dmPrintQuality > 0) {
      x = y = mode.dmPrintQuality;
    } else {
      PrinterDC ic = GetDC(false, true);
      const DeviceGeometry device = ic ? DeviceGeometry::Of(ic.get()) : DeviceGeometry();
      x = device.dpiX;
      y = device.dpiY;
      // Only the named qualities scale the device's resolution: high 1,
      // medium 1/2, low 1/4, draft 1/8; any other value keeps it.
      if (quality && mode.dmPrintQuality >= DMRES_HIGH && mode.dmPrintQuality <= DMRES_DRAFT) {
        const int shift = mode.dmPrintQuality - DMRES_HIGH;
        x >>= shift;
        y >>= shift;
      }
    }
    x = Capped(x, maxHResolution_);
    y = Capped(y, maxVResolution_);
  }
  if (x >= 1) hResolution_ = x;
  if (y >= 1) vResolution_ = y;
}

void WinPrinter::SetMaxResolution(PrinterInfo which, int32_t value) {
  (which == PrinterInfo::kMaxVerticalResolution ? maxVResolution_ : maxHResolution_) =
      CarriedMaximumResolution(value);
}

// ---- Device contexts ----------------------------------------------------------------

PrinterDC WinPrinter::GetDC(bool useDefault, bool informationOnly) {
  if (useDefault || (!printValid_ && !pageSetupValid_)) return DefaultPrinterDC(informationOnly);
  GlobalLockScope mode(printValid_ ? printDevMode_.get() : pageSetupDevMode_.get());
  return DCOn(NamesOfBlock(printValid_ ? printDevNames_.get() : pageSetupDevNames_.get()),
              UsableDevMode(mode), informationOnly);
}

PrinterDC WinPrinter::DCOn(const std::optional<PrinterDeviceNames>& names, const DEVMODEA* mode,
                           bool informationOnly) {
  // A setup string may bring a device mode without naming its printer: the
  // default printer stands in.
  if (!names) return DefaultPrinterDC(informationOnly);
  const auto make = informationOnly ? ActivePrinterCalls().createIC : ActivePrinterCalls().createDC;
  return PrinterDC(
      make(names->driver.c_str(), names->device.c_str(), names->output.c_str(), mode));
}

PrinterDC WinPrinter::DefaultPrinterDC(bool informationOnly) {
  PRINTDLGA record{};
  record.lStructSize = sizeof record;
  record.Flags = PD_RETURNDEFAULT | (informationOnly ? PD_RETURNIC : PD_RETURNDC);
  const BOOL found = ActivePrinterCalls().printDlg(&record);
  GlobalBlock mode(record.hDevMode), names(record.hDevNames);
  return PrinterDC(found ? record.hDC : nullptr);
}

// ---- The job ------------------------------------------------------------------------

int32_t WinPrinter::ToOwnUnits(int32_t value, bool horizontal, const DeviceGeometry& device) const {
  const int32_t converted = MulDiv(value, horizontal ? hResolution_ : vResolution_,
                                   horizontal ? device.dpiX : device.dpiY);
  if (converted != -1) return converted;
  Report(__LINE__,
         "Something is wrong with the printer device context, I was trying to divide by 0");
  return 0;
}

int32_t WinPrinter::ToDevice(int32_t value, bool horizontal, const DeviceGeometry& device) const {
  return MulDiv(value, horizontal ? device.dpiX : device.dpiY,
                horizontal ? hResolution_ : vResolution_);
}

// The page-setup margins at the printer's resolution; a right or bottom
// margin of 0 becomes the device's unprintable border there.
WinPrinter::PageMargins WinPrinter::JobMargins(const DeviceGeometry& device) const {
  const RECT& kept = pageSetup_.rtMargin;
  PageMargins margins{MulDiv(hResolution_, kept.left, kHundredthsMMPerInch),
                      MulDiv(vResolution_, kept.top, kHundredthsMMPerInch),
                      MulDiv(hResolution_, kept.right, kHundredthsMMPerInch),
                      MulDiv(vResolution_, kept.bottom, kHundredthsMMPerInch)};
  if (margins.right == 0) {
    margins.right = ToOwnUnits(device.physicalWidth, true, device) -
                    ToOwnUnits(device.printableWidth, true, device) - margins.left;
  }
  if (margins.bottom == 0) {
    margins.bottom = ToOwnUnits(device.physicalHeight, false, device) -
                     ToOwnUnits(device.printableHeight, false, device) - margins.top;
  }
  return margins;
}

GraphicsObject* WinPrinter::BeginJob(const char* documentName) {
  if (JobOpen()) return nullptr;
  PRINTDLGA used{};
  PrinterDC dc;
  GlobalBlock defaultMode, defaultNames;  // the default printer's, freed once read
  HGLOBAL modeHandle;
  // The job prints on the printer the geometry measures: the confirmed
  // print dialog's, else the one the page setup named.
  if (printValid_ || (pageSetupValid_ && NamesOfBlock(pageSetupDevNames_.get()))) {
    if (printValid_) used = print_;
    dc = GetDC(false, false);
    modeHandle = printValid_ ? printDevMode_.get() : pageSetupDevMode_.get();
  } else {
    used.lStructSize = sizeof used;
    used.hwndOwner = GetDialogParentWindow();
    used.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    if (!ActivePrinterCalls().printDlg(&used)) {
      Report(__LINE__, "Could not get the default printer information");
      return nullptr;
    }
    dc = PrinterDC(used.hDC);
    defaultMode.reset(used.hDevMode);
    defaultNames.reset(used.hDevNames);
    modeHandle = defaultMode.get();
  }
  int32_t copies = 1;
  {
    GlobalLockScope lock(modeHandle);
    if (lock.data()) {
      const DEVMODEA mode = CopyOfDevMode(lock);
      ReadResolutions(mode);
      if (mode.dmFields & DM_COPIES) copies = mode.dmCopies;
    } else {
      Report(__LINE__, "We couldn't get a dev mode when beginning the print job");
    }
  }
  if (!dc) {
    Report(__LINE__, "When beginning a new print job, we don't have a printer context");
    return nullptr;
  }
  DOCINFOA document{};
  document.cbSize = sizeof document;
  document.lpszDocName = documentName;
  const int job = ActivePrinterCalls().startDoc(dc.get(), &document);
  if (job <= 0) return nullptr;
  ActivePrinterCalls().setAbortProc(dc.get(), AbortProc);
  spooling_ = job;
  jobDC_ = std::move(dc);
  jobGeometry_ = DeviceGeometry::Of(jobDC_.get());

  GraphicsObject* graphics = OpenGraphics();
  if (!graphics) return nullptr;
  graphics->copies = copies;
  const bool range = print_.Flags & PD_PAGENUMS;
  graphics->firstPage = range ? used.nFromPage : used.nMinPage;
  graphics->lastPage = range ? used.nToPage : used.nMaxPage;
  return graphics;
}

// The Graphics over a new PrintPane on the page less its margins.
GraphicsObject* WinPrinter::OpenGraphics() {
  const DeviceGeometry& device = jobGeometry_;
  const PageMargins margins = JobMargins(device);
  const int64_t width = ToOwnUnits(device.physicalWidth, true, device);
  const int64_t height = ToOwnUnits(device.physicalHeight, false, device);
  printPane_ = new PrintPane(
      SaturatedRect16(margins.top, margins.left, height - margins.bottom, width - margins.right),
      jobDC_.get(), this);
  GraphicsObject* graphics = nullptr;
  if (GraphicsPort* port = PaneNewGraphicsPort(printPane_)) {
    port->SetOwnsTarget(true);
    port->SetResolution(hResolution_, vResolution_);
    port->SetMargins(margins.left, margins.top);
    graphics = WrapGraphicsPort(port);  // without one, the port and its pane end the job
  } else {
    printPane_->Unlock();
  }
  if (!graphics)
    Report(__LINE__, "When starting a new print job, could not make a graphics object");
  return graphics;
}

void WinPrinter::BeginPage() {
  if (!printPane_)
    return Report(__LINE__, "Trying to begin a new page, but there was no print pane");
  uint32_t token = 0;
  const HDC dc = printPane_->AcquireDC(&token);
  if (!dc) return Report(__LINE__, "printerDC");
  ActivePrinterCalls().startPage(dc);
  pageOpen_ = true;
  const DeviceGeometry& device = jobGeometry_;
  const PageMargins margins = JobMargins(device);
  CountedRegion clip(
      CreateRectRgn(ToDevice(margins.left, true, device), ToDevice(margins.top, false, device),
                    device.physicalWidth - ToDevice(margins.right, true, device),
                    device.physicalHeight - ToDevice(margins.bottom, false, device)));
  SelectClipRgn(dc, clip.get());
  // One unit of the application's coordinates is one dot at the printer's
  // resolution.
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, ToOwnUnits(device.physicalWidth, true, device),
                 ToOwnUnits(device.physicalHeight, false, device), nullptr);
  SetViewportExtEx(dc, device.physicalWidth, device.physicalHeight, nullptr);
}

void WinPrinter::EndPage() {
  if (!printPane_)
    return Report(__LINE__, "Trying to end the current page, but there was no print pane");
  uint32_t token = 0;
  const HDC dc = printPane_->AcquireDC(&token);
  if (!dc) {
    return Report(__LINE__,
                  "Trying to end the current page, could not get a printer device contenxt");
  }
  if (!pageOpen_) return;
  ActivePrinterCalls().endPage(dc);
  pageOpen_ = false;
}

void WinPrinter::EndJob() {
  if (!printPane_)
    return Report(__LINE__, "Trying to end the print job, but there is no printer pane");
  printPane_->ForgetPrinter();
  printPane_ = nullptr;
  ActivePrinterCalls().endDoc(jobDC_.get());
  spooling_ = 0;
  pageOpen_ = false;
  jobDC_.reset();
}

BOOL CALLBACK WinPrinter::AbortProc(HDC, int) { return TRUE; }

// ---- Geometry -----------------------------------------------------------------------

int32_t WinPrinter::Info(int32_t selector) {
  if (!infoIC_ || settingsChanged_) {
    infoIC_ = GetDC(false, true);
    settingsChanged_ = false;
    if (infoIC_) infoGeometry_ = DeviceGeometry::Of(infoIC_.get());
  }
  switch (PrinterInfo(selector)) {
    case PrinterInfo::kVerticalResolution:
      return vResolution_;
    case PrinterInfo::kHorizontalResolution:
      return hResolution_;
    case PrinterInfo::kMaxVerticalResolution:
      return maxVResolution_;
    case PrinterInfo::kMaxHorizontalResolution:
      return maxHResolution_;
    case PrinterInfo::kWidth:
    case PrinterInfo::kHeight:
    case PrinterInfo::kPageLeft:
    case PrinterInfo::kPageTop:
    case PrinterInfo::kPageWidth:
    case PrinterInfo::kPageHeight:
      return infoIC_ ? GeometryInfo(PrinterInfo(selector), infoGeometry_) : 0;
    default:  // Left, Top and unknown selectors
      return 0;
  }
}

// The printable area: the page-setup margins, but never less than the
// device's unprintable border.
int32_t WinPrinter::GeometryInfo(PrinterInfo selector, const DeviceGeometry& device) const {
  const bool horizontal = selector == PrinterInfo::kWidth || selector == PrinterInfo::kPageLeft ||
                          selector == PrinterInfo::kPageWidth;
  const int32_t resolution = horizontal ? hResolution_ : vResolution_;
  const RECT& kept = pageSetup_.rtMargin;
  const int32_t physical =
      ToOwnUnits(horizontal ? device.physicalWidth : device.physicalHeight, horizontal, device);
  const int32_t printable =
      ToOwnUnits(horizontal ? device.printableWidth : device.printableHeight, horizontal, device);
  const int32_t nearMargin =
      std::max(MulDiv(resolution, horizontal ? kept.left : kept.top, kHundredthsMMPerInch),
               ToOwnUnits(horizontal ? device.offsetX : device.offsetY, horizontal, device));
  const int32_t farMargin =
      std::max(MulDiv(resolution, horizontal ? kept.right : kept.bottom, kHundredthsMMPerInch),
               physical - printable - nearMargin);
  switch (selector) {
    case PrinterInfo::kWidth:
    case PrinterInfo::kHeight:
      return physical - nearMargin - farMargin;
    case PrinterInfo::kPageLeft:
    case PrinterInfo::kPageTop:
      return -nearMargin;
    default:  // PageWidth, PageHeight
      return physical;
  }
}

// ---- Setup string -------------------------------------------------------------------

PrinterSettings WinPrinter::Settings(bool withBlocks) const {
  PrinterSettings settings;
  settings.horizontalResolution = hResolution_;
  settings.verticalResolution = vResolution_;
  settings.maxHorizontalResolution = maxHResolution_;
  settings.maxVerticalResolution = maxVResolution_;
  settings.pageSetupValid = pageSetupValid_;
  settings.margins = SetupRectOf(pageSetup_.rtMargin);
  settings.minMargins = SetupRectOf(pageSetup_.rtMinMargin);
  settings.pageSetupFlags = int32_t(pageSetup_.Flags);
  settings.printValid = printValid_;
  settings.printFlags = int32_t(print_.Flags);
  settings.fromPage = print_.nFromPage;
  settings.toPage = print_.nToPage;
  settings.minPage = print_.nMinPage;
  settings.maxPage = print_.nMaxPage;
  if (withBlocks) {
    settings.pageSetupDevMode = DevModeBytes(pageSetupDevMode_.get());
    settings.pageSetupNames = NamesOfBlock(pageSetupDevNames_.get());
    settings.printDevMode = DevModeBytes(printDevMode_.get());
    settings.printNames = NamesOfBlock(printDevNames_.get());
  }
  return settings;
}

// The paper the read settings would print on, measured as GetDC would
// measure it once they are taken, must be larger than its margins. Without
// a printer to measure there is no page to spoil.
bool WinPrinter::MarginsLeaveAPage(const PrinterSettings& settings) {
  std::optional<PrinterDeviceNames> names = settings.printNames;
  if (!names) names = NamesOfBlock(pageSetupDevNames_.get());
  const PrinterDC ic =
      settings.pageSetupValid
          ? DCOn(names, reinterpret_cast<const DEVMODEA*>(settings.pageSetupDevMode->data()), true)
          : DefaultPrinterDC(true);
  if (!ic) return true;
  const DeviceGeometry device = DeviceGeometry::Of(ic.get());
  const int32_t width = MulDiv(device.physicalWidth, kHundredthsMMPerInch, device.dpiX);
  const int32_t height = MulDiv(device.physicalHeight, kHundredthsMMPerInch, device.dpiY);
  const PageSetupRect& margins = settings.margins;
  return margins.left + margins.right < width && margins.top + margins.bottom < height;
}

StringRecord* WinPrinter::GetSetupString() const {
  return NewString(WritePrinterSetupString(Settings(true)), kEncodingASCII);
}

// Blocks the text carries replace the kept ones at once; one that cannot be
// allocated is ignored. The print dialog's settings only seed its next
// opening: a job begun without it prints on the printer the page setup
// names, else on the default one.
bool WinPrinter::SetSetupString(const StringRecord* text) {
  PrinterSettings settings = Settings(false);
  if (!ReadPrinterSetupString(StringBytes(text), &settings)) return false;
  if (!MarginsLeaveAPage(settings)) return false;
  hResolution_ = settings.horizontalResolution;
  vResolution_ = settings.verticalResolution;
  maxHResolution_ = settings.maxHorizontalResolution;
  maxVResolution_ = settings.maxVerticalResolution;
  pageSetup_.lStructSize = sizeof pageSetup_;
  pageSetup_.rtMargin = RectOfSetup(settings.margins);
  pageSetup_.rtMinMargin = RectOfSetup(settings.minMargins);
  pageSetup_.Flags = DWORD(settings.pageSetupFlags);
  print_.lStructSize = sizeof print_;
  print_.Flags = DWORD(settings.printFlags);
  print_.nFromPage = settings.fromPage;
  print_.nToPage = settings.toPage;
  print_.nMinPage = settings.minPage;
  print_.nMaxPage = settings.maxPage;
  printValid_ = false;
  pageSetupValid_ = ReplaceWithBytes(&pageSetupDevMode_, settings.pageSetupDevMode);
  ReplaceWithBytes(&printDevMode_, settings.printDevMode);
  if (settings.printNames) {
    const std::optional<std::string> names = DeviceNamesBlock(*settings.printNames);
    ReplaceWithBytes(&pageSetupDevNames_, names);
    ReplaceWithBytes(&printDevNames_, names);
  }
  settingsChanged_ = true;
  return true;
}
