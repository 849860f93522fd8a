#include "graphics/PrinterCalls.h"

#include <utility>

#include "graphics/GdiObjects.h"

namespace {

PrinterCalls g_calls = SystemPrinterCalls();

}  // namespace

const PrinterCalls& SystemPrinterCalls() {
  static const PrinterCalls system = {PrintDlgA,    PageSetupDlgA, CreateDCA, CreateICA, StartDocA,
                                      SetAbortProc, StartPage,     EndPage,   EndDoc,    DeleteDC};
  return system;
}

const PrinterCalls& ActivePrinterCalls() { return g_calls; }

PrinterCalls SetPrinterCalls(const PrinterCalls& calls) { return std::exchange(g_calls, calls); }

PrinterDC::PrinterDC(HDC dc) : dc_(dc) {
  if (dc_) NoteGdiObjectMade(GdiKind::kDC);
}

PrinterDC& PrinterDC::operator=(PrinterDC&& other) noexcept {
  if (this != &other) {
    reset();
    dc_ = std::exchange(other.dc_, nullptr);
  }
  return *this;
}

void PrinterDC::reset() {
  if (!dc_) return;
  g_calls.deleteDC(std::exchange(dc_, nullptr));
  NoteGdiObjectDeleted(GdiKind::kDC);
}
