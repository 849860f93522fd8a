#include "graphics/PrintPane.h"

#include "core/diagnostics.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PrinterSetupClass.h"
#include "graphics/WinPrinter.h"

PrintPane::PrintPane(const MacRect& page, HDC dc, WinPrinter* printer)
    : Pane(page), dc_(dc), printer_(printer) {}

PrintPane::~PrintPane() {
  if (WinPrinter* printer = printer_) {
    printer->EndPage();
    printer->EndJob();
  }
  PrintJobReleaseSetup(setup_);
}

HDC PrintPane::AcquireDC(uint32_t* releaseToken) {
  *releaseToken = 0;
  return dc_;
}

void PrintPane::ReleaseDC(uint32_t) {}

void PrintPane::EraseBackground() {
  // The new page gets its clip and mapping afresh: a port focused on the old
  // one takes them up again at its next drawing.
  GraphicsPort* current = GraphicsPort::Current();
  if (current && current->Target() == this) GraphicsPort::UnfocusCurrent();
  MakeCurrentDrawingPane(this);
  if (!printer_) {
    AssertionFailed(131, 4, "runprint.cpp", __LINE__, "mWinPrinter", nullptr);
    return;
  }
  printer_->EndPage();
  printer_->BeginPage();
}

void PrintPane::ForgetPrinter() {
  if (CurrentDrawingPane() == this) ReleaseCurrentDrawingPane();
  printer_ = nullptr;
  dc_ = nullptr;
}
