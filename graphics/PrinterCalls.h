// The system calls of printing, through one table so that tests can stand
// in for the dialogs and the printer: the two common dialogs, making device
// and information contexts, the document and page cycle, and deleting a DC.
// The table defaults to the system's functions; one thread uses it.
#pragma once
#include <windows.h>
#include <commdlg.h>

struct PrinterCalls {
  BOOL(WINAPI* printDlg)(LPPRINTDLGA record);
  BOOL(WINAPI* pageSetupDlg)(LPPAGESETUPDLGA record);
  HDC(WINAPI* createDC)(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode);
  HDC(WINAPI* createIC)(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode);
  int(WINAPI* startDoc)(HDC dc, const DOCINFOA* document);
  int(WINAPI* setAbortProc)(HDC dc, ABORTPROC procedure);
  int(WINAPI* startPage)(HDC dc);
  int(WINAPI* endPage)(HDC dc);
  int(WINAPI* endDoc)(HDC dc);
  BOOL(WINAPI* deleteDC)(HDC dc);
};

// The system's functions.
const PrinterCalls& SystemPrinterCalls();
// The table in use.
const PrinterCalls& ActivePrinterCalls();
// Installs a table and gives back the one it replaces.
PrinterCalls SetPrinterCalls(const PrinterCalls& calls);

// A printer DC or information context made through the table: counted as a
// DC while it lives (GdiLiveCount) and deleted through the table.
class PrinterDC {
 public:
  PrinterDC() = default;
  explicit PrinterDC(HDC dc);
  ~PrinterDC() { reset(); }
  PrinterDC(PrinterDC&& other) noexcept : dc_(other.dc_) { other.dc_ = nullptr; }
  PrinterDC& operator=(PrinterDC&& other) noexcept;
  PrinterDC(const PrinterDC&) = delete;
  PrinterDC& operator=(const PrinterDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }
  void reset();

 private:
  HDC dc_ = nullptr;
};
