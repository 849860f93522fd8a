#include "graphics/PrinterSetupClass.h"

#include <iterator>
#include <utility>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PrintPane.h"
#include "graphics/WinPrinter.h"
#include "host/relocentry.h"

namespace {

RuntimeObject* g_activePrintObject = nullptr;  // owned reference

void Report(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "runprint.cpp", line, condition, nullptr);
}

// The setup's printer; nil, reported, for nil, an object of another class
// or one without its printer.
WinPrinter* PrinterOf(RuntimeObject* setup, int32_t line, const char* condition = "obj") {
  if (!setup || !ObjectIsADefinition(setup, PrinterSetupClassDefinition())) {
    Report(line, condition);
    return nullptr;
  }
  WinPrinter* printer = ObjectFields<PrinterSetupObject>(setup)->printer;
  if (!printer) Report(line, "obj->mWinPrinter");
  return printer;
}

void InitialisePrinterSetup(RuntimeObject* object) {
  ObjectFields<PrinterSetupObject>(object)->printer = new WinPrinter;
}

void DestroyPrinterSetup(RuntimeObject* object) {
  delete std::exchange(ObjectFields<PrinterSetupObject>(object)->printer, nullptr);
}

RuntimeObject* OpenJob(RuntimeObject* given, bool withDialog) {
  ObjectRef setup = given ? ObjectRef::Retain(given)
                          : ObjectRef::Adopt(CreateInstance(PrinterSetupClassDefinition()));
  WinPrinter* printer = PrinterOf(setup.get(), __LINE__, "activePrintObject");
  if (!printer || printer->JobOpen()) return nullptr;
  if (withDialog && !printer->PrintDialog()) return nullptr;
  GraphicsObject* graphics = printer->BeginJob("Document");
  if (!graphics) {
    Report(__LINE__, "returnGfx");
    return nullptr;
  }
  graphics->port->SetNewRenderer(true);
  RuntimeObject* job = setup.release();
  printer->JobPane()->HoldSetup(job);
  ReleaseActivePrintObject();
  RuntimeLockObject(job);
  g_activePrintObject = job;
  printer->BeginPage();
  return &graphics->header;
}

#define ACCESSORS(getter, setter) RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter)
#define INFO(name, selector)                                            \
  PropertyRecord {                                                      \
    kPropertyReadOnly | kPropertyPassesParameter, name, &kIntegerType,  \
        RUNTIME_ENTRY(printerSetupInfoGetter), nullptr, nullptr,        \
        uint32_t(PrinterInfo::selector)                                 \
  }

ObjectDefinition* MakePrinterSetupDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      INFO("VerticalResolution", kVerticalResolution),
      INFO("HorizontalResolution", kHorizontalResolution),
      INFO("Left", kLeft),
      INFO("Top", kTop),
      INFO("Width", kWidth),
      INFO("Height", kHeight),
      INFO("PageLeft", kPageLeft),
      INFO("PageTop", kPageTop),
      INFO("PageWidth", kPageWidth),
      INFO("PageHeight", kPageHeight),
      {kPropertyPassesParameter, "MaxVerticalResolution", &kIntegerType,
       ACCESSORS(printerSetupInfoGetter, printerSetupMaxResSetter),
       uint32_t(PrinterInfo::kMaxVerticalResolution)},
      {kPropertyPassesParameter, "MaxHorizontalResolution", &kIntegerType,
       ACCESSORS(printerSetupInfoGetter, printerSetupMaxResSetter),
       uint32_t(PrinterInfo::kMaxHorizontalResolution)},
      {0, "SetupString", &kStringType,
       ACCESSORS(printerSetupStringGetter, printerSetupStringSetter), 0},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("PageSetupDialog", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(printerSetupPageSetup)),
  };
  ObjectDefinitionSetName(&definition, "PrinterSetup");
  definition.instanceSize = sizeof(PrinterSetupObject);
  definition.initialiser = InitialisePrinterSetup;
  definition.destructor = DestroyPrinterSetup;
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

#undef ACCESSORS
#undef INFO

}  // namespace

ObjectDefinition* PrinterSetupClassDefinition() {
  static ObjectDefinition* const definition = MakePrinterSetupDefinition();
  return definition;
}

void RegisterPrinterSetupClass() {
  static const EntryPoint entries[] = {
      {"RuntimeOpenPrinterDialog", reinterpret_cast<void*>(&RuntimeOpenPrinterDialog)},
      {"RuntimeOpenPrinter", reinterpret_cast<void*>(&RuntimeOpenPrinter)},
  };
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(PrinterSetupClassDefinition());
  RegisterEntryPoints(entries, std::size(entries));
}

RuntimeObject* ActivePrintObject() { return g_activePrintObject; }

void ReleaseActivePrintObject() {
  RuntimeUnlockObject(std::exchange(g_activePrintObject, nullptr));
}

void PrintJobReleaseSetup(RuntimeObject* setup) {
  if (setup && setup == g_activePrintObject) ReleaseActivePrintObject();
  RuntimeUnlockObject(setup);
}

extern "C" {

RuntimeObject* RuntimeOpenPrinterDialog(RuntimeObject* setup) { return OpenJob(setup, true); }

RuntimeObject* RuntimeOpenPrinter(RuntimeObject* setup) { return OpenJob(setup, false); }

int32_t printerSetupInfoGetter(RuntimeObject* setup, uint32_t selector) {
  WinPrinter* printer = PrinterOf(setup, __LINE__);
  return printer ? printer->Info(int32_t(selector)) : 0;
}

void printerSetupMaxResSetter(RuntimeObject* setup, uint32_t selector, int32_t value) {
  if (WinPrinter* printer = PrinterOf(setup, __LINE__)) {
    printer->SetMaxResolution(PrinterInfo(selector), value);
  }
}

StringRecord* printerSetupStringGetter(RuntimeObject* setup, uint32_t) {
  WinPrinter* printer = PrinterOf(setup, __LINE__);
  return printer ? printer->GetSetupString() : nullptr;
}

void printerSetupStringSetter(RuntimeObject* setup, uint32_t, StringRecord* text) {
  if (WinPrinter* printer = PrinterOf(setup, __LINE__)) printer->SetSetupString(text);
}

bool printerSetupPageSetup(RuntimeObject* setup) {
  WinPrinter* printer = PrinterOf(setup, __LINE__);
  return printer && printer->PageSetupDialog();
}

}  // extern "C"
