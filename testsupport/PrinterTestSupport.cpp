#include "testsupport/PrinterTestSupport.h"

#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>

const char kLetterPrinter[] = "KV Test Letter";
const char kA4Printer[] = "KV Test A4";

namespace {

constexpr char kPageMark[] = "KV page";

struct TestPrinter {
  const char* name;
  const char* ppdFile;
  const char* port;
  const char* paper;      // width and height in points
  const char* printable;  // left bottom right top
};

const TestPrinter kPrinters[] = {
    {kLetterPrinter, "KVLETTER.PPD", "C:\\kvtest-letter.ps", "612 792", "18 36 594 756"},
    {kA4Printer, "KVA4.PPD", "C:\\kvtest-a4.ps", "595 842", "12 12 583 830"},
};

std::string PpdOf(const TestPrinter& printer) {
  std::ostringstream ppd;
  ppd << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
      << "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \""
      << printer.ppdFile << "\"\n*Manufacturer: \"KV\"\n*Product: \"(" << printer.name
      << ")\"\n*ModelName: \"" << printer.name << "\"\n*NickName: \"" << printer.name
      << "\"\n*PSVersion: \"(3010) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n"
      << "*DefaultResolution: 600dpi\n*OpenUI *PageSize: PickOne\n*DefaultPageSize: Paper\n"
      << "*PageSize Paper: \"<</PageSize[" << printer.paper << "]>>setpagedevice\"\n"
      << "*CloseUI: *PageSize\n*DefaultImageableArea: Paper\n*ImageableArea Paper: \""
      << printer.printable << "\"\n*DefaultPaperDimension: Paper\n*PaperDimension Paper: \""
      << printer.paper << "\"\n";
  return ppd.str();
}

void InstallPrinter(const TestPrinter& printer, const std::string& driverDirectory) {
  std::ofstream(driverDirectory + "\\" + printer.ppdFile, std::ios::binary) << PpdOf(printer);
  const std::string driverName = std::string(printer.name) + " Driver";
  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<char*>(driverName.c_str());
  driver.pDriverPath = const_cast<char*>("wineps.drv");
  driver.pDataFile = const_cast<char*>(printer.ppdFile);
  driver.pConfigFile = const_cast<char*>("wineps.drv");
  AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&driver));
  PRINTER_INFO_2A info{};
  info.pPrinterName = const_cast<char*>(printer.name);
  info.pPortName = const_cast<char*>(printer.port);
  info.pDriverName = const_cast<char*>(driverName.c_str());
  info.pPrintProcessor = const_cast<char*>("WinPrint");
  info.pDatatype = const_cast<char*>("RAW");
  if (HANDLE handle = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info))) ClosePrinter(handle);
}

// ---- The fake calls -----------------------------------------------------------------

FakePrinter* g_fake = nullptr;
HDC g_recordingDC = nullptr;
HDC g_recordingIC = nullptr;
HENHMETAFILE g_recorded = nullptr;

void Log(const std::string& line) { g_fake->log.push_back(line); }

HDC WINAPI FakeCreateDC(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode) {
  if (!g_fake->recording) return CreateDCA(driver, device, output, mode);
  Log(std::string("CreateDC ") + device);
  HDC ic = CreateICA(driver, device, output, mode);
  if (!ic) return nullptr;
  if (g_recordingIC) DeleteDC(g_recordingIC);
  g_recordingIC = ic;
  g_recordingDC = CreateEnhMetaFileA(ic, nullptr, nullptr, nullptr);
  return g_recordingDC;
}

BOOL WINAPI FakePrintDlg(LPPRINTDLGA record) {
  if (!(record->Flags & PD_RETURNDEFAULT)) {
    return g_fake->printDialog ? g_fake->printDialog(record) : FALSE;
  }
  if (!g_fake->hasDefaultPrinter) return FALSE;
  const bool recordedDC = g_fake->recording && (record->Flags & PD_RETURNDC);
  if (recordedDC) record->Flags &= ~PD_RETURNDC;
  const BOOL found = PrintDlgA(record);
  if (found && g_fake->changeDefaultMode && record->hDevMode) {
    g_fake->changeDefaultMode(static_cast<DEVMODEA*>(GlobalLock(record->hDevMode)));
    GlobalUnlock(record->hDevMode);
  }
  if (found && recordedDC)
    record->hDC = FakeCreateDC("wineps.drv", kLetterPrinter, nullptr, nullptr);
  return found;
}

BOOL WINAPI FakePageSetupDlg(LPPAGESETUPDLGA record) {
  return g_fake->pageSetupDialog ? g_fake->pageSetupDialog(record) : FALSE;
}

bool Recorded(HDC dc) { return g_fake->recording && dc == g_recordingDC; }

int WINAPI FakeStartDoc(HDC dc, const DOCINFOA* document) {
  if (!Recorded(dc)) return StartDocA(dc, document);
  Log(std::string("StartDoc ") + document->lpszDocName);
  return g_fake->startDocAnswer;
}

int WINAPI FakeSetAbortProc(HDC dc, ABORTPROC procedure) {
  return Recorded(dc) ? 1 : SetAbortProc(dc, procedure);
}

int WINAPI FakeStartPage(HDC dc) {
  if (!Recorded(dc)) return StartPage(dc);
  Log("StartPage");
  return GdiComment(dc, sizeof kPageMark, reinterpret_cast<const BYTE*>(kPageMark));
}

constexpr char kEndPage[] = "EndPage";
constexpr char kEndDoc[] = "EndDoc";

template <int(WINAPI* Real)(HDC), const char* Name>
int WINAPI FakeEnd(HDC dc) {
  if (!Recorded(dc)) return Real(dc);
  Log(Name);
  return 1;
}

BOOL WINAPI FakeDeleteDC(HDC dc) {
  if (!Recorded(dc)) return DeleteDC(dc);
  Log("DeleteDC");
  if (g_recorded) DeleteEnhMetaFile(g_recorded);
  g_recorded = CloseEnhMetaFile(dc);
  g_recordingDC = nullptr;
  return TRUE;
}

std::string Entry(const char* name, std::initializer_list<long> values) {
  std::string text = name;
  for (long value : values) text += " " + std::to_string(value);
  return text + "; ";
}

int CALLBACK CollectPage(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
  auto* pages = reinterpret_cast<std::vector<RecordedPage>*>(data);
  if (record->iType == EMR_GDICOMMENT) pages->emplace_back();
  if (pages->empty()) return 1;
  RecordedPage& page = pages->back();
  const DWORD* words = record->dParm;  // the fields after the type and size
  if (record->iType == EMR_EXTSELECTCLIPRGN) {
    const RECT& box = reinterpret_cast<const RGNDATA*>(words + 2)->rdh.rcBound;
    page.setup += words[0] ? Entry("clip", {box.left, box.top, box.right, box.bottom}) : "clip; ";
  } else if (record->iType == EMR_SETMAPMODE) {
    page.setup += Entry("map", {long(words[0])});
  } else if (record->iType == EMR_SETWINDOWEXTEX) {
    page.setup += Entry("window", {long(words[0]), long(words[1])});
  } else if (record->iType == EMR_SETVIEWPORTEXTEX) {
    page.setup += Entry("viewport", {long(words[0]), long(words[1])});
  } else if (record->iType == EMR_EXTTEXTOUTW) {
    const POINTL& at = reinterpret_cast<const EMREXTTEXTOUTW*>(record)->emrtext.ptlReference;
    page.text.push_back({at.x, at.y});
  } else if (record->iType == EMR_EXTCREATEFONTINDIRECTW) {
    const auto* font = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record);
    page.fontHeights.push_back(font->elfw.elfLogFont.lfHeight);
  } else if (record->iType == EMR_BITBLT || record->iType == EMR_STRETCHBLT) {
    const auto* blit = reinterpret_cast<const EMRBITBLT*>(record);  // the same up to cyDest
    page.blits.push_back({blit->xDest, blit->yDest, blit->cxDest, blit->cyDest});
  }
  return 1;
}

LRESULT CALLBACK ConfirmDialog(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void InstallTestPrinters() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  char directory[MAX_PATH] = {};
  DWORD needed = 0;
  GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory),
                             sizeof directory, &needed);
  for (const TestPrinter& printer : kPrinters) InstallPrinter(printer, directory);
  SetDefaultPrinterA(kLetterPrinter);
}

PortFile ReadPortFile(const char* printer) {
  PortFile file;
  std::ifstream in(PortFileOf(printer), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("%%Page:", 0) == 0) ++file.pageLines;
    if (line.rfind("%%Pages: ", 0) == 0 && line.find("atend") == std::string::npos) {
      file.pages = std::atoi(line.c_str() + 9);
    }
  }
  return file;
}

const char* PortFileOf(const char* printer) {
  return kPrinters[std::strcmp(printer, kA4Printer) == 0 ? 1 : 0].port;
}

void ClearPortFile(const char* printer) { DeleteFileA(PortFileOf(printer)); }

FakePrinter::FakePrinter() {
  g_fake = this;
  previous_ = SetPrinterCalls({FakePrintDlg, FakePageSetupDlg, FakeCreateDC, CreateICA,
                               FakeStartDoc, FakeSetAbortProc, FakeStartPage,
                               FakeEnd<EndPage, kEndPage>, FakeEnd<EndDoc, kEndDoc>, FakeDeleteDC});
}

FakePrinter::~FakePrinter() {
  SetPrinterCalls(previous_);
  if (g_recordingIC) DeleteDC(g_recordingIC);
  if (g_recorded) DeleteEnhMetaFile(g_recorded);
  g_recordingIC = nullptr;
  g_recorded = nullptr;
  g_fake = nullptr;
}

std::vector<RecordedPage> FakePrinter::Pages() const {
  std::vector<RecordedPage> pages;
  if (g_recorded) EnumEnhMetaFile(nullptr, g_recorded, CollectPage, &pages, nullptr);
  return pages;
}

HGLOBAL BlockOf(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  std::memcpy(GlobalLock(block), bytes, size);
  GlobalUnlock(block);
  return block;
}

void DefaultPrinterBlocks(HGLOBAL* devMode, HGLOBAL* devNames) {
  PRINTDLGA record{};
  record.lStructSize = sizeof record;
  record.Flags = PD_RETURNDEFAULT;
  PrintDlgA(&record);
  *devMode = record.hDevMode;
  *devNames = record.hDevNames;
}

DialogConfirmer::DialogConfirmer()
    : hook_(SetWindowsHookExW(WH_CBT, ConfirmDialog, nullptr, GetCurrentThreadId())) {}

DialogConfirmer::~DialogConfirmer() { UnhookWindowsHookEx(hook_); }
