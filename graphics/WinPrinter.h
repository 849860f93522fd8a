// The printer as the run-time sees it on GDI; every PrinterSetup object owns
// one. It keeps what the print and page-setup dialogs returned (or a setup
// string gave), the resolution at which the application draws and the
// margins; it runs a job's document and page cycle on a printer DC; and it
// answers the page geometry behind PrinterSetup's properties.
//
// Units: the application draws at the printer's resolution (72 x 72 dpi
// unless the maxima are raised), whatever the device's own. Page-setup
// margins, minimum margins and paper size are kept in hundredths of a
// millimetre whatever unit the dialog worked in.
//
// Ownership: the printer owns every device-mode and device-names block of
// its two dialog records (a replaced block is freed at once), its
// information context (made again after the settings change) and, while a
// job is open, the job's DC. The job's Graphics owns its port, which owns
// the PrintPane; releasing the Graphics ends the job. One job at a time.
//
// Every system call of printing goes through PrinterCalls. Inconsistencies
// go to the assertion reporter (source "WinPrinter.cpp"); the operation then
// gives up soundly: no job without a DC, 0 for geometry without a context.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstdint>

#include "core/utility.h"
#include "graphics/GlobalMemory.h"
#include "graphics/PrinterCalls.h"
#include "graphics/PrinterSetupString.h"

class PrintPane;
struct GraphicsObject;
struct StringRecord;

// The dialogs' records on the 32-bit target.
static_assert(sizeof(void*) != 4 || sizeof(PRINTDLGA) == 66, "PRINTDLGA layout");
static_assert(sizeof(void*) != 4 || sizeof(PAGESETUPDLGA) == 84, "PAGESETUPDLGA layout");

// PrinterSetup's integer properties, by selector.
enum class PrinterInfo : int32_t {
  kVerticalResolution,
  kHorizontalResolution,
  kLeft,
  kTop,
  kWidth,
  kHeight,
  kPageLeft,
  kPageTop,
  kPageWidth,
  kPageHeight,
  kMaxVerticalResolution,
  kMaxHorizontalResolution,
};

// Thousandths of an inch to hundredths of a millimetre, each step rounded
// to single precision and the result truncated: 1000 gives 2540.
int32_t WinPrinterToHundredthsMM(int32_t thousandthsOfInch);

// What the page geometry needs of a printer context, in device pixels.
struct PrinterDeviceGeometry {
  int32_t dpiX = 72, dpiY = 72;
  int32_t physicalWidth = 0, physicalHeight = 0;
  int32_t printableWidth = 0, printableHeight = 0;  // HORZRES, VERTRES
  int32_t offsetX = 0, offsetY = 0;

  static PrinterDeviceGeometry Of(HDC dc);
};

class WinPrinter {
 public:
  WinPrinter();
  // With a job still open: reported, then the job is ended.
  ~WinPrinter();
  WinPrinter(const WinPrinter&) = delete;
  WinPrinter& operator=(const WinPrinter&) = delete;
  static void* operator new(size_t size);
  static void operator delete(void* block);

  // The dialogs; false when the user cancels, leaving the settings.
  bool PrintDialog();
  bool PageSetupDialog();

  // Opens a job on the printer of the confirmed print dialog, else on the
  // one the page setup named (with its device mode), else on the default
  // one: a new Graphics (the caller's reference) over a new
  // PrintPane, its first page not yet begun; nil when no job could be
  // opened (nothing is then left open) or one is open already.
  GraphicsObject* BeginJob(const char* documentName);
  void BeginPage();
  void EndPage();
  void EndJob();
  bool JobOpen() const { return spooling_ != 0; }
  PrintPane* JobPane() const { return printPane_; }
  // The kept page setup: margins and paper in hundredths of a millimetre.
  const PAGESETUPDLGA& PageSetupRecord() const { return pageSetup_; }

  // The value of a property selector; 0 for an unknown one.
  int32_t Info(int32_t selector);
  // Kept as a setup string carries it (CarriedMaximumResolution).
  void SetMaxResolution(PrinterInfo which, int32_t value);

  // The settings as a setup string (a new reference), and back; false when
  // the text is refused, or its margins leave no page on the paper its
  // settings would print on.
  StringRecord* GetSetupString() const;
  bool SetSetupString(const StringRecord* text);

  // The procedure given to SetAbortProc: jobs always go on.
  static BOOL CALLBACK AbortProc(HDC dc, int error);

 private:
  using DeviceGeometry = PrinterDeviceGeometry;
  struct PageMargins {
    int32_t left, top, right, bottom;
  };

  // A printer DC, or an information context, of the kept printer (unless
  // useDefault), else of the default one; the default one also stands in
  // for kept settings that name no printer.
  PrinterDC GetDC(bool useDefault, bool informationOnly);
  PrinterDC DefaultPrinterDC(bool informationOnly);
  // The same on the named printer in the device mode; the default printer's
  // without names.
  PrinterDC DCOn(const std::optional<PrinterDeviceNames>& names, const DEVMODEA* mode,
                 bool informationOnly);
  void ReadResolutions(const DEVMODEA& mode);
  int32_t Capped(int32_t value, int32_t maximum) const;
  // A device measure at the printer's resolution.
  int32_t ToOwnUnits(int32_t value, bool horizontal, const DeviceGeometry& device) const;
  int32_t ToDevice(int32_t value, bool horizontal, const DeviceGeometry& device) const;
  PageMargins JobMargins(const DeviceGeometry& device) const;
  int32_t GeometryInfo(PrinterInfo selector, const DeviceGeometry& device) const;
  GraphicsObject* OpenGraphics();
  void ReadResolutionsFrom(HGLOBAL mode);
  PrinterSettings Settings(bool withBlocks) const;
  bool MarginsLeaveAPage(const PrinterSettings& settings);

  int32_t vResolution_ = 72;
  int32_t hResolution_ = 72;
  int32_t maxVResolution_ = 72;
  int32_t maxHResolution_ = 72;
  bool printValid_ = false;
  // The records are packed: aligned here, so that their RECTs and POINTs are.
  alignas(4) PRINTDLGA print_{};
  GlobalBlock printDevMode_, printDevNames_;
  bool pageSetupValid_ = false;
  alignas(4) PAGESETUPDLGA pageSetup_{};
  GlobalBlock pageSetupDevMode_, pageSetupDevNames_;
  int32_t spooling_ = 0;
  bool settingsChanged_ = true;
  bool pageOpen_ = false;
  PrintPane* printPane_ = nullptr;
  PrinterDC jobDC_;
  DeviceGeometry jobGeometry_;
  PrinterDC infoIC_;
  DeviceGeometry infoGeometry_;
};
