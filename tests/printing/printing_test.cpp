// Printing: PrinterSetup's geometry and resolutions, jobs on the test
// printers and on the recording device, the dialogs, and setup strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GdiObjects.h"
#include "graphics/GraphicsClass.h"
#include "graphics/PictureClass.h"
#include "graphics/PrinterSetupClass.h"
#include "graphics/PrinterSetupString.h"
#include "graphics/WinPrinter.h"
#include "testsupport/PrinterTestSupport.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/pane.h"

#include <winspool.h>

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

// A page setup confirmed in landscape on the default printer.
BOOL ConfirmLandscape(PAGESETUPDLGA* record) {
  record->hDevMode = DefaultDevMode(
      [](DEVMODEA* mode) { mode->dmOrientation = DMORIENT_LANDSCAPE; }, &record->hDevNames);
  return TRUE;
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

// A device mode of 148 bytes with a field changed.
std::string DevModeWith(const std::function<void(DEVMODEA*)>& change) {
  DEVMODEA mode{};
  mode.dmSize = 148;
  change(&mode);
  return std::string(reinterpret_cast<const char*>(&mode), 148);
}

// Setup-string lines of a page setup on the printer.
std::string PageSetupLines(const std::string& devMode, const std::string& printer = kLetterPrinter) {
  return "DevModeStructureSizePS=" + std::to_string(devMode.size()) + "\r\nDevModeStructurePS=" +
         devMode + "\r\nDriverName=wineps.drv\r\nDeviceName=" + printer + "\r\n";
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

TEST_F(PrintingTest, AJobPrintsOnThePrinterAndPaperThePageSetupMeasures) {
  // A4 landscape on the A4 printer, while the default printer is Letter.
  DEVMODEA landscape{};
  landscape.dmSize = sizeof landscape;
  landscape.dmFields = DM_ORIENTATION;
  landscape.dmOrientation = DMORIENT_LANDSCAPE;
  const std::pair<const char*, std::function<void(const ObjectRef&, FakePrinter*)>> cases[] = {
      {"a setup string",
       [&](const ObjectRef& setup, FakePrinter*) {
         const std::string mode(reinterpret_cast<const char*>(&landscape), 148);
         Restore(setup, kHeader + PageSetupLines(mode, kA4Printer));
       }},
      {"a confirmed page setup",
       [&](const ObjectRef& setup, FakePrinter* fake) {
         fake->pageSetupDialog = [&](PAGESETUPDLGA* record) {
           record->hDevMode = BlockOf(&landscape, sizeof landscape);
           record->hDevNames = NamesBlockOf(kA4Printer);
           return TRUE;
         };
         ASSERT_TRUE(printerSetupPageSetup(setup.get()));
       }},
  };
  for (const auto& [how, arrange] : cases) {
    FakePrinter fake;
    ObjectRef setup = NewSetup();
    arrange(setup, &fake);
    EXPECT_EQ(Info(setup, "PageWidth"), 842) << how;
    EXPECT_EQ(Info(setup, "PageHeight"), 595) << how;
    RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
    ASSERT_NE(graphics, nullptr) << how;
    RuntimeUnlockObject(graphics);
    EXPECT_EQ(fake.log.front(), std::string("CreateDC ") + kA4Printer) << how;
    const std::vector<RecordedPage> pages = fake.Pages();
    ASSERT_EQ(pages.size(), 1u) << how;
    EXPECT_NE(pages[0].setup.find("window 842 595; "), std::string::npos) << how << pages[0].setup;
  }
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

TEST_F(PrintingTest, TextSizesArePointsOnThePrintedPageAtEveryResolution) {
  const struct {
    const char* maxima;  // the setup's resolution caps
    int32_t size;
  } cases[] = {{"72", 12}, {"72", 30}, {"-1", 12}, {"150", 9}};
  StringRef text = StringRef::Adopt(StringFromASCII("Points"));
  for (const auto& c : cases) {
    FakePrinter fake;
    ObjectRef setup = NewSetup();
    Restore(setup, kHeader + "MaxHorizontalResolution=" + c.maxima +
                       "\r\nMaxVerticalResolution=" + c.maxima + "\r\n");
    RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
    ASSERT_NE(graphics, nullptr);
    SetProperty<int32_t>(graphics, "TextSize", c.size);
    RuntimeGraphicsDrawString(graphics, text.get(), 10, 100, 0);
    RuntimeUnlockObject(graphics);
    const int32_t resolution = Info(setup, "VerticalResolution");
    const std::vector<RecordedPage> pages = fake.Pages();
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_FALSE(pages[0].fontHeights.empty()) << c.maxima;
    EXPECT_EQ(pages[0].fontHeights.back(), -MulDiv(c.size, resolution, 72))
        << c.maxima << " " << c.size << " at " << resolution;
  }
}

TEST_F(PrintingTest, AMaskedPictureIsPrintedClippedToWhereItsMaskShowsIt) {
  // A red picture whose mask shows its left half: the page cannot be read
  // back to blend with, so only that half may reach it.
  ObjectRef picture = ObjectRef::Adopt(newPicture(100, 100, 32));
  ObjectRef mask = ObjectRef::Adopt(GetProperty<RuntimeObject*>(picture.get(), "Mask"));
  ASSERT_TRUE(mask);
  for (const auto& [target, colour, width] :
       {std::make_tuple(&picture, 0xFF0000u, 100), std::make_tuple(&mask, 0xFFFFFFu, 100),
        std::make_tuple(&mask, 0x000000u, 50)}) {
    ObjectRef graphics = ObjectRef::Adopt(pictureGraphicsGetter(target->get(), 0));
    graphicsForeColorSetter(graphics.get(), 0, colour);
    RuntimeGraphicsFillRect(graphics.get(), 0, 0, width, 100);
  }
  FakePrinter fake;
  ObjectRef setup = NewSetup();
  RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
  ASSERT_NE(graphics, nullptr);
  const int32_t d = kDrawPictureDefaultSize;
  RuntimeGraphicsDrawPicture(graphics, picture.get(), 10, 20, d, d, 0, 0, d, d);
  RuntimeUnlockObject(graphics);
  const std::vector<RecordedPage> pages = fake.Pages();
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].blits.size(), 1u);
  const RECT& drawn = pages[0].blits[0];  // the page's 72 dpi units
  EXPECT_EQ(drawn.right, 100);
  EXPECT_EQ(drawn.bottom, 100);
  // The page's device pixels (600 dpi), like its Graphics's units, count
  // from the printable area's corner.
  auto device = [](LONG x) { return std::to_string(MulDiv(x, 600, 72)); };
  const std::string clip = "clip " + device(drawn.left) + " " + device(drawn.top) + " " +
                           device(drawn.left + 50) + " " + device(drawn.top + 100) + "; ";
  const std::string& setupRecords = pages[0].setup;
  ASSERT_GE(setupRecords.size(), clip.size());
  EXPECT_EQ(setupRecords.substr(setupRecords.size() - clip.size()), clip) << setupRecords;
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

  // The page setup's landscape on the A4 printer: the dialog is told that
  // printer, which it would otherwise take for its default, in portrait.
  fake.pageSetupDialog = [](PAGESETUPDLGA* record) {
    ConfirmLandscape(record);
    GlobalFree(record->hDevNames);
    record->hDevNames = NamesBlockOf(kA4Printer);
    return TRUE;
  };
  ASSERT_TRUE(printerSetupPageSetup(setup.get()));
  EXPECT_EQ(RuntimeOpenPrinterDialog(setup.get()), nullptr);
  ASSERT_EQ(seenMode.size(), 148u);
  const auto* carried = reinterpret_cast<const DEVMODEA*>(seenMode.data());
  EXPECT_EQ(carried->dmSize, 148);
  EXPECT_EQ(carried->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_STREQ(reinterpret_cast<const char*>(carried->dmDeviceName), kA4Printer);
  EXPECT_EQ(carried->dmFields & DM_COPIES, 0u);  // its copies are not carried

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

TEST_F(PrintingTest, ThePrintDialogConfirmedAfterALandscapePageSetupPrintsLandscape) {
  FakePrinter fake;
  fake.pageSetupDialog = ConfirmLandscape;
  fake.printDialog = [](PRINTDLGA* record) { return PrintDlgA(record); };
  ObjectRef setup = NewSetup();
  ASSERT_TRUE(printerSetupPageSetup(setup.get()));
  RuntimeObject* graphics;
  {
    DialogConfirmer confirmer;
    graphics = RuntimeOpenPrinterDialog(setup.get());
  }
  ASSERT_NE(graphics, nullptr);
  RuntimeUnlockObject(graphics);
  const std::vector<RecordedPage> pages = fake.Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].setup.find("window 792 612; "), std::string::npos) << pages[0].setup;
}

// The name of a printer of the machine's print system, which Wine lists
// with a "CUPS:" port; empty without one.
std::string PrintSystemPrinter() {
  DWORD needed = 0, count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
    return "";
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (printers[i].pPortName && std::strncmp(printers[i].pPortName, "CUPS:", 5) == 0)
      return printers[i].pPrinterName;
  }
  return "";
}

TEST_F(PrintingTest, APageGoesOutThroughThePrintSystemWhereThereIsOne) {
  const std::string printer = PrintSystemPrinter();
  if (printer.empty()) GTEST_SKIP() << "no print system (no CUPS printer) on this machine";
  // Its page, on its paper, through Wine's own driver and spooler into a file.
  const char output[] = "C:\\kvtest-print-system.ps";
  DeleteFileA(output);
  ObjectRef setup = NewSetup();
  Restore(setup, kHeader + PageSetupLines(std::string(148, '\0'), printer) + "OutputName=" +
                     output + "\r\n");
  EXPECT_GT(Info(setup, "Width"), 0);
  RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
  ASSERT_NE(graphics, nullptr);
  StringRef text = StringRef::Adopt(StringFromASCII("Through the print system"));
  RuntimeGraphicsDrawString(graphics, text.get(), 10, 20, 0);
  RuntimeUnlockObject(graphics);
  EXPECT_EQ(Reported(), "");
  std::ifstream file(output, std::ios::binary);
  int pages = 0;
  for (std::string line; std::getline(file, line);) pages += line.rfind("%%Page:", 0) == 0;
  EXPECT_EQ(pages, 1);
  file.close();
  DeleteFileA(output);
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
  Restore(copy, kHeader +
                    "DevModeStructureSizePS=148\r\nDevModeStructurePS=" + std::string(148, '\0') +
                    "\r\nDriverName=" + std::string(70000, 'd') + "\r\nDeviceName=x\r\n");
  const std::string restored = SetupStringOf(copy);
  EXPECT_NE(restored.find("DevModeStructurePS="), std::string::npos);
  EXPECT_EQ(restored.find("ddd"), std::string::npos);
}

TEST_F(PrintingTest, SetupStringsWithNumbersOutOfRangeAreRefusedAndNeverMakeANegativePage) {
  std::string scrambled(148, '\0');
  uint32_t seed = 12345;
  for (char& byte : scrambled) byte = char((seed = seed * 1103515245 + 12345) >> 16);
  const struct {
    const char* what;
    std::string lines;
  } cases[] = {
      {"huge margins", "MarginLeft=2000000000\r\nMarginRight=-2000000000\r\n"},
      {"a negative margin", "MarginTop=-1\r\n"},
      {"a negative minimum margin", "MinMarginBottom=-100\r\n"},
      {"margins wider than the paper", "MarginLeft=11000\r\nMarginRight=11000\r\n"},
      {"margins taller than the paper", "MarginTop=14000\r\nMarginBottom=14000\r\n"},
      {"a resolution of 0", "ActualVerticalResolution=0\r\n"},
      {"a huge resolution", "ActualHorizontalResolution=2000000000\r\n"},
      {"a maximum of 0", "MaxHorizontalResolution=0\r\n"},
      {"a page past 16 bits", "ToPage=70000\r\n"},
      {"a negative page", "FromPage=-1\r\n"},
      {"a huge device-mode size", "DevModeStructureSizePS=2147483647\r\n"},
      {"a negative device-mode size", "DevModeStructureSizePD=-5\r\n"},
      {"a short device-mode size", "DevModeStructureSizePS=3\r\n"},
      {"a device-mode size past 16 bits", "DevModeStructureSizePS=70000\r\n"},
      {"a scrambled device mode", PageSetupLines(scrambled)},
      {"an orientation of 7", PageSetupLines(DevModeWith([](DEVMODEA* m) {
         m->dmFields = DM_ORIENTATION;
         m->dmOrientation = 7;
       }))},
      {"an unknown paper", PageSetupLines(DevModeWith([](DEVMODEA* m) {
         m->dmFields = DM_PAPERSIZE;
         m->dmPaperSize = 200;
       }))},
      {"a negative paper length", PageSetupLines(DevModeWith([](DEVMODEA* m) {
         m->dmFields = DM_PAPERLENGTH;
         m->dmPaperLength = -108;
       }))},
      {"a scale of 0", PageSetupLines(DevModeWith([](DEVMODEA* m) { m->dmFields = DM_SCALE; }))},
      {"no copies", PageSetupLines(DevModeWith([](DEVMODEA* m) { m->dmFields = DM_COPIES; }))},
      {"a device name without its end", PageSetupLines(DevModeWith([](DEVMODEA* m) {
         std::memset(m->dmDeviceName, 'n', sizeof m->dmDeviceName);
       }))},
  };
  ObjectRef setup = NewSetup();
  Restore(setup, kHeader + "MarginLeft=1000\r\n" + PageSetupLines(DevModeWith([](DEVMODEA* m) {
                   m->dmFields = DM_PAPERSIZE | DM_COPIES | DM_SCALE;
                   m->dmPaperSize = DMPAPER_LETTER;
                   m->dmCopies = 1;
                   m->dmScale = 100;
                 })));
  const std::string kept = SetupStringOf(setup);
  ASSERT_NE(kept.find("MarginLeft=1000"), std::string::npos);
  const int32_t width = Info(setup, "Width");
  for (const auto& c : cases) {
    Restore(setup, kHeader + c.lines);
    EXPECT_EQ(SetupStringOf(setup), kept) << c.what;
    EXPECT_EQ(Info(setup, "Width"), width) << c.what;
  }
  EXPECT_GT(width, 0);
  EXPECT_EQ(Reported(), "");
}

}  // namespace

// The maxima an application sets are kept as a setup string carries them,
// so that the string written after a page setup is read back whole: -1 and
// 1 to 32,767 as they are, 72 for any other value below 1, 32,767 above.
TEST_F(PrintingTest, ASetupStringWrittenAfterAnyMaximumIsReadBackWhole) {
  FakePrinter fake;
  fake.pageSetupDialog = ConfirmLandscape;
  ObjectRef setup = NewSetup();
  ASSERT_TRUE(printerSetupPageSetup(setup.get()));
  const struct {
    int32_t set, kept;
  } cases[] = {{-1, -1}, {1, 1}, {600, 600}, {32767, 32767}, {0, 72},
               {-5, 72}, {INT32_MIN, 72}, {32768, 32767}, {INT32_MAX, 32767}};
  for (const auto& c : cases) {
    SetProperty<int32_t>(setup.get(), "MaxHorizontalResolution", c.set);
    SetProperty<int32_t>(setup.get(), "MaxVerticalResolution", c.set);
    EXPECT_EQ(Info(setup, "MaxHorizontalResolution"), c.kept) << c.set;
    EXPECT_EQ(Info(setup, "MaxVerticalResolution"), c.kept) << c.set;
    ObjectRef copy = NewSetup();
    Restore(copy, SetupStringOf(setup));
    EXPECT_EQ(Info(copy, "MaxHorizontalResolution"), c.kept) << c.set;
    EXPECT_EQ(Info(copy, "PageWidth"), 792) << c.set << ": the page setup was not restored";
  }
}
