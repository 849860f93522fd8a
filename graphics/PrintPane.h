// The printed page behind a printer's Graphics: a root pane whose rectangle
// is the page less its margins, at the printer's resolution, drawing into
// the job's DC. Its page advance (the Graphics object's NextPage) ends the
// page and begins the next one.
//
// Ownership: the job's port owns the pane (Unlock disposes of it). While
// the pane lives it holds the job's PrinterSetup (so its WinPrinter stays);
// its destruction ends the last page and the job, then lets the setup go.
#pragma once
#include <windows.h>

#include <cstdint>

#include "ui/pane.h"

class WinPrinter;
struct RuntimeObject;

class PrintPane : public Pane {
 public:
  PrintPane(const MacRect& page, HDC dc, WinPrinter* printer);

  // The job's DC; nothing has to be given back.
  HDC AcquireDC(uint32_t* releaseToken) override;
  void ReleaseDC(uint32_t releaseToken) override;
  // The page advance.
  void EraseBackground() override;

  WinPrinter* Printer() const { return printer_; }
  // Takes over the caller's reference to the job's PrinterSetup.
  void HoldSetup(RuntimeObject* setup) { setup_ = setup; }
  // The printer ended the job without the pane: it draws nothing more.
  void ForgetPrinter();

 protected:
  ~PrintPane() override;

 private:
  HDC dc_;
  WinPrinter* printer_;
  RuntimeObject* setup_ = nullptr;  // owned reference
};
