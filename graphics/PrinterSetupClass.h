// The language side of printing: the class "PrinterSetup" (each object owns
// a WinPrinter), and the global functions OpenPrinterDialog and OpenPrinter,
// which open a print job and give the Graphics its pages are drawn with.
// The job's first page is begun; NextPage advances; releasing the Graphics
// ends the last page and the job.
//
// Jobs and references: a job holds its PrinterSetup until its Graphics goes,
// so a setup the application lets go of meanwhile lives on. A PrinterSetup
// has at most one job open: opening another on it gives nil without a
// dialog; different setups may print at once. The active print object is
// the latest job's setup, with a reference of its own that the next job, or
// the end of that same job, releases. A call that opens no job (cancelled,
// no printer) keeps nothing: a setup it made is freed.
//
// Accessors given nil, or an object without its printer, report it
// (source "runprint.cpp") and answer 0, nil or False.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

class WinPrinter;
struct ObjectDefinition;
struct StringRecord;

struct PrinterSetupObject {
  RuntimeObject header;
  WinPrinter* printer;  // owned
};
static_assert(!kLayoutIs32Bit || offsetof(PrinterSetupObject, printer) == 24,
              "PrinterSetup layout");

// Registers "PrinterSetup" and the two entry points (start-up list).
void RegisterPrinterSetupClass();
ObjectDefinition* PrinterSetupClassDefinition();

// The active print object (borrowed), or nil.
RuntimeObject* ActivePrintObject();
// Drops the active print object's reference and clears it.
void ReleaseActivePrintObject();
// A job's end lets go of its setup (the reference the job held; nil is
// ignored), and of the active print object when that is the same setup.
void PrintJobReleaseSetup(RuntimeObject* setup);

extern "C" {
// With nil, a new PrinterSetup is used. Nil when the dialog is cancelled or
// no job can be opened; else a new Graphics (the caller's reference).
RuntimeObject* RuntimeOpenPrinterDialog(RuntimeObject* setup);
// The same without a dialog: the printer of an earlier confirmed print
// dialog of the setup, else the one its page setup names, else the default
// printer.
RuntimeObject* RuntimeOpenPrinter(RuntimeObject* setup);

// The twelve integer properties; the parameter word is the selector
// (PrinterInfo).
int32_t printerSetupInfoGetter(RuntimeObject* setup, uint32_t selector);
// MaxVerticalResolution (selector 10) and MaxHorizontalResolution (11).
void printerSetupMaxResSetter(RuntimeObject* setup, uint32_t selector, int32_t value);
StringRecord* printerSetupStringGetter(RuntimeObject* setup, uint32_t parameter);  // new reference
// A refused text changes nothing, silently.
void printerSetupStringSetter(RuntimeObject* setup, uint32_t parameter, StringRecord* text);
// The page-setup dialog; False when cancelled.
bool printerSetupPageSetup(RuntimeObject* setup);
}
