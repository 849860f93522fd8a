// Printing without a physical printer.
//
// Test printers: two PostScript printers on Wine's own driver whose port is
// a file. "KV Test Letter" (the default): 612 x 792 points, printable
// 18 36 594 756; "KV Test A4": 595 x 842, printable 12 12 583 830; both
// 600 dpi. A job rewrites its port file without truncating it: clear it
// before each job.
//
// FakePrinter stands in for the printer calls while it lives: scripted
// dialogs, and a recording job device whose DC is an enhanced metafile over
// the named printer's information context (so it answers as the printer),
// whose document and page calls are logged, each page marked in the
// recording, and whose recording is kept when the DC is deleted.
//
// DialogConfirmer answers this thread's next common dialogs with OK.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>
#include <vector>

#include "graphics/PrinterCalls.h"

extern const char kLetterPrinter[];
extern const char kA4Printer[];

// Idempotent; makes the Letter printer the default.
void InstallTestPrinters();

// What a printer's port file shows of the last job: its "%%Page:" lines and
// the count of "%%Pages: n" (-1 without one).
struct PortFile {
  int pageLines = 0;
  int pages = -1;
};
PortFile ReadPortFile(const char* printer);
// The Windows path of the printer's port file.
const char* PortFileOf(const char* printer);
void ClearPortFile(const char* printer);

// A page of the recording device: its set-up records as text, e.g.
// "clip 0 0 4800 6000 (device pixels); map 8; window 612 792; viewport
// 5100 6600; " in the order made, then each clip drawing selects), the
// reference points of its text, the heights of the fonts made for it
// (lfHeight, logical units) and the destinations of its bit-block
// transfers (left, top, width, height; logical units).
struct RecordedPage {
  std::string setup;
  std::vector<POINT> text;
  std::vector<LONG> fontHeights;
  std::vector<RECT> blits;
};

class FakePrinter {
 public:
  FakePrinter();
  ~FakePrinter();
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  // The dialogs shown to the user (the default-printer query is answered by
  // the system unless hasDefaultPrinter is false); unset ones cancel.
  std::function<BOOL(PRINTDLGA*)> printDialog;
  std::function<BOOL(PAGESETUPDLGA*)> pageSetupDialog;
  bool hasDefaultPrinter = true;
  // When set, changes the device mode that the default-printer query returns.
  std::function<void(DEVMODEA*)> changeDefaultMode;
  // False: DCs and jobs go to the real printers.
  bool recording = true;
  int startDocAnswer = 1;
  // "CreateDC <device>", "StartDoc <name>", "StartPage", "EndPage",
  // "EndDoc", "DeleteDC".
  std::vector<std::string> log;

  // The pages of the last recorded job, once its DC is deleted.
  std::vector<RecordedPage> Pages() const;

 private:
  PrinterCalls previous_;
};

// A movable block holding the bytes; the caller's.
HGLOBAL BlockOf(const void* bytes, size_t size);
// The default printer's device mode and names blocks, from the system.
void DefaultPrinterBlocks(HGLOBAL* devMode, HGLOBAL* devNames);

class DialogConfirmer {
 public:
  DialogConfirmer();
  ~DialogConfirmer();
  DialogConfirmer(const DialogConfirmer&) = delete;
  DialogConfirmer& operator=(const DialogConfirmer&) = delete;

 private:
  HHOOK hook_;
};
