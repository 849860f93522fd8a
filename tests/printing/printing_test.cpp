// Printing: PrinterSetup's geometry and resolutions, jobs on the test
// printers and on the recording device, the dialogs, and setup strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GdiObjects.h"
#include "graphics/GraphicsClass.h"
#include "graphics/PrinterSetupClass.h"
#include "graphics/PrinterSetupString.h"
#include "graphics/WinPrinter.h"
#include "testsupport/PrinterTestSupport.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/pane.h"

namespace {

const std::string kHeader = "DoNotAlterThis=SetupString.1\r\n";

// The conditions of the assertions recorded since the last call.
std::string Reported() {
  std::string conditions;
  for (const std::string& text : RuntimeTestEnvironment::TakeRecordedTexts()) {
    const size_t start = text.find(": ") + 2;
    conditions += text.substr(start, text.find("\r\n") - start) + "; ";
  }
  return conditions;
}

// The default printer's device mode, changed by the caller, and its names.
HGLOBAL DefaultDevMode(const std::function<void(DEVMODEA*)>& change, HGLOBAL* names) {
  HGLOBAL mode;
  DefaultPrinterBlocks(&mode, names);
  change(static_cast<DEVMODEA*>(GlobalLock(mode)));
  GlobalUnlock(mode);
  return mode;
}

// A printer Graphics's Copies, FirstPage and LastPage.
std::string CopiesAndPages(RuntimeObject* graphics) {
  std::string values;
  for (const char* name : {"Copies", "FirstPage", "LastPage"}) {
    values += (values.empty() ? "" : " ") + std::to_string(GetProperty<int32_t>(graphics, name));
  }
  return values;
}

HGLOBAL NamesBlockOf(const char* device) {
  const std::string block = *DeviceNamesBlock({"wineps.drv", device, ""});
  return BlockOf(block.data(), block.size());
}

class PrintingTest : public HostTest {
 protected:
  static void SetUpTestSuite() { InstallTestPrinters(); }
  void SetUp() override {
    HostTest::SetUp();
    live_ = Live();
  }

  // Objects, printer DCs and panes alive, and the active print object.
  static std::vector<intptr_t> Live() {
    return {intptr_t(RuntimeLiveObjectCount()), GdiLiveCount(GdiKind::kDC), Pane::LiveCount(),
            intptr_t(ActivePrintObject())};
  }
  void ExpectNothingLeft(const char* when) { EXPECT_EQ(Live(), live_) << when; }

  static ObjectRef NewSetup() {
    return ObjectRef::Adopt(CreateInstance(PrinterSetupClassDefinition()));
  }
  static int32_t Info(const ObjectRef& setup, const char* name) {
    return GetProperty<int32_t>(setup.get(), name);
  }
  static std::string SetupStringOf(const ObjectRef& setup) {
    return StringBytes(StringRef::Adopt(printerSetupStringGetter(setup.get(), 0)).get());
  }
  static void Restore(const ObjectRef& setup, const std::string& text) {
    StringRef string = StringRef::Adopt(NewString(text, kEncodingASCII));
    SetProperty<StringRecord*>(setup.get(), "SetupString", string.get());
  }

  std::vector<intptr_t> live_;
};

TEST_F(PrintingTest, ANewSetupDrawsAt72DpiInTheLetterPrintersPrintableArea) {
  ObjectRef setup = NewSetup();
  std::string geometry;
  for (const char* name : {"VerticalResolution", "HorizontalResolution", "Left", "Top", "Width",
                           "Height", "PageLeft", "PageTop", "PageWidth", "PageHeight"}) {
    geometry += std::to_string(Info(setup, name)) + " ";
  }
  EXPECT_EQ(geometry, "72 72 0 0 576 720 -18 -36 612 792 ");
  SetProperty<int32_t>(setup.get(), "MaxHorizontalResolution", -1);
  EXPECT_EQ(Info(setup, "MaxHorizontalResolution"), -1);
}

TEST_F(PrintingTest, ResolutionsComeFromTheDeviceModeCappedByTheMaxima) {
  const struct {
    DWORD fields;
    short yResolution, quality;
    int32_t maxima;
    const char* expected;  // horizontal, vertical, what was reported
  } cases[] = {
      // The named qualities scale the device's 600 dpi; other values keep it.
      {DM_PRINTQUALITY, 0, DMRES_HIGH, -1, "600 600 "},
      {DM_PRINTQUALITY, 0, DMRES_MEDIUM, -1, "300 300 "},
      {DM_PRINTQUALITY, 0, DMRES_LOW, -1, "150 150 "},
      {DM_PRINTQUALITY, 0, DMRES_DRAFT, -1, "75 75 "},
      {DM_PRINTQUALITY, 0, 0, -1, "600 600 "},
      {DM_PRINTQUALITY, 0, -5, -1, "600 600 "},
      {DM_YRESOLUTION | DM_PRINTQUALITY, 300, 0, -1,
       "72 300 We got a print quality and not a resolution.; "},
      {DM_YRESOLUTION | DM_PRINTQUALITY, 600, 300, 300, "300 300 "},  // at and above the maxima
  };
  FakePrinter fake;
  for (const auto& c : cases) {
    ObjectRef setup = NewSetup();
    SetProperty<int32_t>(setup.get(), "MaxHorizontalResolution", c.maxima);
    SetProperty<int32_t>(setup.get(), "MaxVerticalResolution", c.maxima);
    fake.pageSetupDialog = [&](PAGESETUPDLGA* record) {
      DEVMODEA mode{};
      mode.dmSize = sizeof mode;
      mode.dmFields = c.fields;
      mode.dmYResolution = c.yResolution;
      mode.dmPrintQuality = c.quality;
      record->hDevMode = BlockOf(&mode, sizeof mode);
      record->hDevNames = NamesBlockOf(kLetterPrinter);
      return TRUE;
    };
    EXPECT_TRUE(printerSetupPageSetup(setup.get()));
    EXPECT_EQ(std::to_string(Info(setup, "HorizontalResolution")) + " " +
                  std::to_string(Info(setup, "VerticalResolution")) + " " + Reported(),
              c.expected);
  }
}

TEST_F(PrintingTest, ASetupThatNamesNoPrinterMeasuresAndPrintsOnTheDefaultOne) {
  // A page setup's device mode restored without the lines naming its printer.
  ObjectRef setup = NewSetup();
  Restore(setup, kHeader + "MaxHorizontalResolution=-1\r\nMaxVerticalResolution=-1\r\n" +
                     "DevModeStructureSizePS=148\r\nDevModeStructurePS=" + std::string(148, '\0') +
                     "\r\n");
  std::string geometry;
  for (const char* name : {"Width", "Height", "PageLeft", "PageTop", "PageWidth", "PageHeight"}) {
    geometry += std::to_string(Info(setup, name)) + " ";
  }
  EXPECT_EQ(geometry, "576 720 -18 -36 612 792 ");

  // A job on the default printer whose device mode gives only a quality.
  FakePrinter fake;
  fake.changeDefaultMode = [](DEVMODEA* mode) {
    mode->dmFields = (mode->dmFields | DM_PRINTQUALITY) & ~DWORD(DM_YRESOLUTION);
    mode->dmPrintQuality = DMRES_MEDIUM;
  };
  RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
  ASSERT_NE(graphics, nullptr);
  RuntimeUnlockObject(graphics);
  EXPECT_EQ(Info(setup, "HorizontalResolution"), 300);
  EXPECT_EQ(Info(setup, "VerticalResolution"), 300);
  EXPECT_EQ(Reported(), "");
}

TEST_F(PrintingTest, ReleasingTheGraphicsAfterThreePageAdvancesPrintsFourPages) {
  ClearPortFile(kLetterPrinter);
  {
    ObjectRef setup = NewSetup();
    RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
    ASSERT_NE(graphics, nullptr);
    EXPECT_FALSE(graphicsUseOldRendererGetter(graphics, 0));
    EXPECT_EQ(CopiesAndPages(graphics), "1 0 0");
    for (int page = 0; page < 3; ++page) RuntimeGraphicsNextPage(graphics);
    RuntimeUnlockObject(graphics);
    WinPrinter* printer = ObjectFields<PrinterSetupObject>(setup.get())->printer;
    EXPECT_FALSE(printer->JobOpen());
    EXPECT_EQ(printer->JobPane(), nullptr);
  }
  const PortFile file = ReadPortFile(kLetterPrinter);
  EXPECT_EQ(file.pageLines, 4);
  EXPECT_EQ(file.pages, 4);
  EXPECT_EQ(Reported(), "");
  ExpectNothingLeft("after the job");
}

TEST_F(PrintingTest, PagesAreClippedToTheMarginsAndMappedToThePrintersResolution) {
  FakePrinter fake;
  ObjectRef setup = NewSetup();
  StringRef text = StringRef::Adopt(StringFromASCII("Margins"));
  std::vector<POINT> drawnAt;
  for (const char* clip : {"clip 0 0 4800 6000; ", "clip 600 600 4500 6000; "}) {
    RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
    ASSERT_NE(graphics, nullptr);
    RuntimeGraphicsDrawString(graphics, text.get(), 10, 20, 0);
    RuntimeGraphicsNextPage(graphics);
    RuntimeUnlockObject(graphics);
    const std::vector<RecordedPage> pages = fake.Pages();
    ASSERT_EQ(pages.size(), 2u);
    for (const RecordedPage& page : pages) {
      EXPECT_EQ(page.setup, clip + std::string("map 8; window 612 792; viewport 5100 6600; "));
    }
    ASSERT_EQ(pages[0].text.size(), 1u);
    drawnAt.push_back(pages[0].text[0]);
    // The next job has inch margins all round.
    fake.pageSetupDialog = [](PAGESETUPDLGA* record) {
      record->rtMargin = {2540, 2540, 2540, 2540};
      record->Flags = PSD_INHUNDREDTHSOFMILLIMETERS | PSD_MARGINS;
      return TRUE;
    };
    printerSetupPageSetup(setup.get());
  }
  EXPECT_EQ(drawnAt[1].x - drawnAt[0].x, 72);
  EXPECT_EQ(drawnAt[1].y - drawnAt[0].y, 72);
}

TEST_F(PrintingTest, TheDialogsConfirmedWithOKKeepInchMarginsAndPrintAPage) {
  ObjectRef setup = NewSetup();
  for (const char* when : {"first", "confirmed unchanged"}) {
    DialogConfirmer confirmer;
    ASSERT_TRUE(printerSetupPageSetup(setup.get())) << when;
    const PAGESETUPDLGA& kept =
        ObjectFields<PrinterSetupObject>(setup.get())->printer->PageSetupRecord();
    const RECT inch{2540, 2540, 2540, 2540};
    EXPECT_TRUE(EqualRect(&kept.rtMargin, &inch)) << when;
    EXPECT_EQ(kept.ptPaperSize.x, 21590) << when;
    EXPECT_EQ(kept.ptPaperSize.y, 27940) << when;
  }
  ClearPortFile(kLetterPrinter);
  RuntimeObject* graphics;
  {
    DialogConfirmer confirmer;
    graphics = RuntimeOpenPrinterDialog(nullptr);
  }
  ASSERT_NE(graphics, nullptr);
  RuntimeUnlockObject(graphics);
  EXPECT_EQ(ReadPortFile(kLetterPrinter).pages, 1);
}

TEST_F(PrintingTest, ThePrintDialogSeesItsRecordAndItsAnswerReachesTheGraphics) {
  FakePrinter fake;
  alignas(4) PRINTDLGA seen{};
  std::string seenMode;
  fake.printDialog = [&](PRINTDLGA* record) {
    seen = *record;
    const size_t size = record->hDevMode ? GlobalSize(record->hDevMode) : 0;
    seenMode.assign(size ? static_cast<char*>(GlobalLock(record->hDevMode)) : "", size);
    if (size) GlobalUnlock(record->hDevMode);
    return FALSE;
  };
  EXPECT_EQ(RuntimeOpenPrinterDialog(nullptr), nullptr);
  EXPECT_EQ(seen.lStructSize, 66u);
  EXPECT_EQ(seen.Flags, DWORD(PD_USEDEVMODECOPIESANDCOLLATE | PD_NOSELECTION));
  EXPECT_EQ(seen.nCopies, 1);
  EXPECT_EQ(seen.nMaxPage, 0xFFFF);
  EXPECT_EQ(HINSTANCE(seen.hInstance), GetModuleHandleW(nullptr));  // a packed field: copied
  EXPECT_TRUE(seenMode.empty());
  ExpectNothingLeft("after Cancel");

  // A setup string cannot hand the dialog hooks or templates it has not got.
  ObjectRef setup = NewSetup();
  const DWORD foreign = PD_ENABLEPRINTHOOK | PD_ENABLEPRINTTEMPLATE | PD_RETURNDC;
  Restore(setup, kHeader + "PrintSetupFlags=" + std::to_string(foreign) + "\r\n");
  EXPECT_EQ(RuntimeOpenPrinterDialog(setup.get()), nullptr);
  EXPECT_EQ(seen.Flags & foreign, 0u);

  fake.pageSetupDialog = [](PAGESETUPDLGA* record) {
    record->hDevMode = DefaultDevMode(
        [](DEVMODEA* mode) { mode->dmOrientation = DMORIENT_LANDSCAPE; }, &record->hDevNames);
    return TRUE;
  };
  ASSERT_TRUE(printerSetupPageSetup(setup.get()));
  EXPECT_EQ(RuntimeOpenPrinterDialog(setup.get()), nullptr);
  ASSERT_EQ(seenMode.size(), 148u);
  const auto* carried = reinterpret_cast<const DEVMODEA*>(seenMode.data());
  EXPECT_EQ(carried->dmSize, 148);
  EXPECT_EQ(carried->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(carried->dmDeviceName[0], 0);

  fake.printDialog = [](PRINTDLGA* record) {
    GlobalFree(record->hDevMode);
    GlobalFree(record->hDevNames);
    record->hDevMode =
        DefaultDevMode([](DEVMODEA* mode) { mode->dmCopies = 2; }, &record->hDevNames);
    record->Flags |= PD_PAGENUMS;
    record->nFromPage = 2;
    record->nToPage = 3;
    return TRUE;
  };
  RuntimeObject* graphics = RuntimeOpenPrinterDialog(setup.get());
  ASSERT_NE(graphics, nullptr);
  EXPECT_EQ(CopiesAndPages(graphics), "2 2 3");
  RuntimeUnlockObject(graphics);
}

TEST_F(PrintingTest, TwoSetupsKeepTheirOwnPrinterAndTheirOwnJob) {
  ObjectRef letter = NewSetup(), a4 = NewSetup();
  Restore(a4, kHeader + "DevModeStructureSizePS=148\r\nDevModeStructurePS=" +
                  std::string(148, '\0') + "\r\nDriverName=wineps.drv\r\nDeviceName=" + kA4Printer +
                  "\r\nOutputName=" + PortFileOf(kA4Printer) + "\r\n");
  EXPECT_EQ(Info(letter, "PageWidth"), 612);
  EXPECT_EQ(Info(a4, "PageWidth"), 595);
  EXPECT_EQ(Info(letter, "PageWidth"), 612);

  ClearPortFile(kLetterPrinter);
  ClearPortFile(kA4Printer);
  RuntimeObject* jobA = RuntimeOpenPrinter(letter.get());
  FakePrinter fake;
  fake.recording = false;
  fake.printDialog = [](PRINTDLGA*) { return TRUE; };
  RuntimeObject* jobB = RuntimeOpenPrinterDialog(a4.get());
  ASSERT_NE(jobA, nullptr);
  ASSERT_NE(jobB, nullptr);
  EXPECT_EQ(RuntimeOpenPrinter(letter.get()), nullptr);
  RuntimeUnlockObject(jobA);
  EXPECT_EQ(ActivePrintObject(), a4.get());
  RuntimeUnlockObject(jobB);
  EXPECT_EQ(ReadPortFile(kLetterPrinter).pages, 1);
  EXPECT_EQ(ReadPortFile(kA4Printer).pages, 1);
  EXPECT_EQ(letter.get()->refCount, 1);
  EXPECT_EQ(a4.get()->refCount, 1);
  EXPECT_EQ(ActivePrintObject(), nullptr);
}

TEST_F(PrintingTest, AJobThatCannotStartLeavesNothingBehind) {
  const std::pair<std::function<void(FakePrinter*)>, const char*> cases[] = {
      {[](FakePrinter* fake) { fake->hasDefaultPrinter = false; },
       "Could not get the default printer information; returnGfx; "},
      {[](FakePrinter* fake) {
         fake->printDialog = [](PRINTDLGA* record) {
           record->hDevNames = NamesBlockOf("KV No Such Printer");
           return TRUE;
         };
       },
       "We couldn't get a dev mode when beginning the print job; When beginning a new print job, "
       "we don't have a printer context; returnGfx; "},
      {[](FakePrinter* fake) { fake->startDocAnswer = 0; }, "returnGfx; "},
  };
  for (const auto& [arrange, reported] : cases) {
    FakePrinter fake;
    arrange(&fake);
    EXPECT_EQ(fake.printDialog ? RuntimeOpenPrinterDialog(nullptr) : RuntimeOpenPrinter(nullptr),
              nullptr);
    EXPECT_EQ(Reported(), reported);
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "StartPage"), 0) << reported;
    ExpectNothingLeft(reported);
  }
}

TEST_F(PrintingTest, AccessorsWithoutAPrinterGiveNothingAfterTheirAssertion) {
  EXPECT_EQ(printerSetupInfoGetter(nullptr, uint32_t(PrinterInfo::kWidth)), 0);
  printerSetupMaxResSetter(nullptr, uint32_t(PrinterInfo::kMaxVerticalResolution), 5);
  EXPECT_EQ(printerSetupStringGetter(nullptr, 0), nullptr);
  printerSetupStringSetter(nullptr, 0, nullptr);
  EXPECT_FALSE(printerSetupPageSetup(nullptr));
  EXPECT_EQ(Reported(), "obj; obj; obj; obj; obj; ");

  // A machine without a default printer: the geometry reads 0.
  {
    FakePrinter fake;
    fake.hasDefaultPrinter = false;
    ObjectRef setup = NewSetup();
    EXPECT_EQ(Info(setup, "Width") + Info(setup, "PageHeight"), 0);
  }
  ExpectNothingLeft("without a printer");
}

TEST_F(PrintingTest, SetupStringsCarryDeviceModesWholeAndRefuseWhatTheyCannotTake) {
  ObjectRef setup = NewSetup();
  const std::string fresh = SetupStringOf(setup);
  EXPECT_EQ(fresh.rfind(kHeader, 0), 0u);
  EXPECT_EQ(std::count(fresh.begin(), fresh.end(), '\n'), 5);

  // Both groups, from the dialogs; a copy keeps the page setup, without the
  // driver's bytes, and prints.
  FakePrinter fake;
  fake.pageSetupDialog = [](PAGESETUPDLGA* record) {
    DefaultPrinterBlocks(&record->hDevMode, &record->hDevNames);
    record->rtMargin = {1000, 1100, 1200, 1300};
    record->Flags = PSD_INHUNDREDTHSOFMILLIMETERS | PSD_MARGINS;
    return TRUE;
  };
  fake.printDialog = [](PRINTDLGA* record) {
    GlobalFree(DefaultDevMode([](DEVMODEA*) {}, &record->hDevNames));
    return TRUE;
  };
  ASSERT_TRUE(printerSetupPageSetup(setup.get()));
  RuntimeUnlockObject(RuntimeOpenPrinterDialog(setup.get()));
  const std::string full = SetupStringOf(setup);
  const size_t printGroup = full.find("PrintSetupFlags="), mode = full.find("StructurePS=") + 12;
  ASSERT_NE(full.find("DevModeStructurePD="), std::string::npos);
  std::string expected = full.substr(0, printGroup);
  expected[mode + 38] = '\0';
  ObjectRef copy = NewSetup();
  Restore(copy, full);
  EXPECT_EQ(SetupStringOf(copy), expected);
  RuntimeUnlockObject(RuntimeOpenPrinter(copy.get()));
  EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "StartPage"), 2);  // a page each job

  // "=" (dmScale 61) and CR LF inside a device mode survive.
  PrinterSettings settings;
  settings.pageSetupValid = true;
  settings.pageSetupDevMode = expected.substr(mode, 156);
  (*settings.pageSetupDevMode)[offsetof(DEVMODEA, dmScale)] = '=';
  settings.pageSetupDevMode->replace(offsetof(DEVMODEA, dmFormName), 2, "\r\n");
  settings.pageSetupNames = PrinterDeviceNames{"wineps.drv", kLetterPrinter, ""};
  const std::string whole = WritePrinterSetupString(settings);
  Restore(copy, whole);
  EXPECT_EQ(SetupStringOf(copy), whole);

  for (const std::string& refused : {kHeader.substr(0, 28), "MarginLeft=5\r\n" + kHeader}) {
    Restore(copy, refused);
    EXPECT_EQ(SetupStringOf(copy), whole) << refused;
  }
  for (const char* size : {"2147483647", "-5", "3", "70000"}) {
    Restore(copy, kHeader + "DevModeStructureSizePS=" + size +
                      "\r\nDevModeStructurePS=" + std::string(300, 'x') + "\r\n");
    EXPECT_EQ(SetupStringOf(copy).find("Margin"), std::string::npos) << size;
  }
  Restore(copy, kHeader +
                    "DevModeStructureSizePS=148\r\nDevModeStructurePS=" + std::string(148, '\0') +
                    "\r\nDriverName=" + std::string(70000, 'd') + "\r\nDeviceName=x\r\n");
  const std::string restored = SetupStringOf(copy);
  EXPECT_NE(restored.find("DevModeStructurePS="), std::string::npos);
  EXPECT_EQ(restored.find("ddd"), std::string::npos);
}

}  // namespace
