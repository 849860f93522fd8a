// Figures of printing on the "KV Test Letter" printer of the tests' Wine
// prefix (printing_tests installs it; run this under the same environment):
// a job through OpenPrinter, NextPage and release against the raw document
// cycle on a printer DC, and PrinterSetup's geometry against the
// GetDeviceCaps calls it needs on a kept information context. Jobs are timed
// as the best of alternating runs; it checks nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/PrinterSetupClass.h"
#include "graphics/WinPrinter.h"
#include "host/RuntimeMain.h"
#include "runtime/RuntimeSetup.h"
#include "ui/FontCache.h"

namespace {

constexpr char kPrinter[] = "KV Test Letter";
constexpr int kPages = 50;
constexpr int kLines = 60;
constexpr int kLineHeight = 12;
constexpr int kGeometryReads = 10000;
constexpr int kRuns = 5;
const char kLine[] = "The quick brown fox jumps over the lazy dog 0123456789";

double JobThroughGraphics() {
  ObjectRef setup = ObjectRef::Adopt(CreateInstance(PrinterSetupClassDefinition()));
  StringRef line = StringRef::Adopt(StringFromASCII(kLine));
  const double start = Now();
  RuntimeObject* graphics = RuntimeOpenPrinter(setup.get());
  if (!graphics) return -1;
  for (int page = 0; page < kPages; ++page) {
    if (page > 0) RuntimeGraphicsNextPage(graphics);
    for (int i = 0; i < kLines; ++i) {
      RuntimeGraphicsDrawString(graphics, line.get(), 10, (i + 1) * kLineHeight, 0);
    }
  }
  RuntimeUnlockObject(graphics);
  return Now() - start;
}

// The same pages at 72 dpi: the job's clip and mapping on each page. Lines
// go out with TextOutW, or as DrawString draws them: DrawTextW into a box
// from the line's top, word-breaking and clipped.
double JobThroughGDI(bool asDrawString) {
  const std::wstring line(kLine, kLine + sizeof kLine - 1);
  const double start = Now();
  HDC dc = CreateDCA("wineps.drv", kPrinter, nullptr, nullptr);
  if (!dc) return -1;
  const int width = GetDeviceCaps(dc, PHYSICALWIDTH), height = GetDeviceCaps(dc, PHYSICALHEIGHT);
  const int printableWidth = GetDeviceCaps(dc, HORZRES);
  const int printableHeight = GetDeviceCaps(dc, VERTRES);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ScopedFontDescriptor defaultFont;  // the font a printer's Graphics starts with
  HFONT font = FontCacheAcquireAt(&defaultFont.get(), 72);  // its size in points at 72 dpi
  DOCINFOA document{sizeof document, "Document", nullptr, nullptr, 0};
  StartDocA(dc, &document);
  for (int page = 0; page < kPages; ++page) {
    StartPage(dc);
    HRGN clip = CreateRectRgn(0, 0, printableWidth, printableHeight);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, MulDiv(width, 72, dpi), MulDiv(height, 72, dpi), nullptr);
    SetViewportExtEx(dc, width, height, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int ascent = metrics.tmAscent;
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, asDrawString ? TA_TOP : TA_BASELINE);
    for (int i = 0; i < kLines; ++i) {
      const int baseline = (i + 1) * kLineHeight;
      if (asDrawString) {
        RECT box{10, baseline - ascent, 30000, 32767};
        DrawTextW(dc, line.c_str(), int(line.size()), &box, DT_WORDBREAK | DT_NOPREFIX);
      } else {
        TextOutW(dc, 10, baseline, line.c_str(), int(line.size()));
      }
    }
    SelectObject(dc, previous);
    EndPage(dc);
  }
  EndDoc(dc);
  DeleteDC(dc);
  FontCacheRelease(font);
  return Now() - start;
}

double GeometryThroughSetup(int32_t* sink) {
  ObjectRef setup = ObjectRef::Adopt(CreateInstance(PrinterSetupClassDefinition()));
  printerSetupInfoGetter(setup.get(), uint32_t(PrinterInfo::kWidth));  // the context is made once
  const double start = Now();
  for (int i = 0; i < kGeometryReads; ++i) {
    *sink += printerSetupInfoGetter(setup.get(), uint32_t(PrinterInfo::kWidth));
    *sink += printerSetupInfoGetter(setup.get(), uint32_t(PrinterInfo::kPageHeight));
  }
  return Now() - start;
}

double GeometryThroughGDI(int32_t* sink) {
  HDC ic = CreateICA("wineps.drv", kPrinter, nullptr, nullptr);
  if (!ic) return -1;
  const double start = Now();
  for (int i = 0; i < kGeometryReads; ++i) {
    const int dpiX = GetDeviceCaps(ic, LOGPIXELSX), dpiY = GetDeviceCaps(ic, LOGPIXELSY);
    const int physical = MulDiv(GetDeviceCaps(ic, PHYSICALWIDTH), 72, dpiX);
    const int left = MulDiv(GetDeviceCaps(ic, PHYSICALOFFSETX), 72, dpiX);
    const int printable = MulDiv(GetDeviceCaps(ic, HORZRES), 72, dpiX);
    *sink += physical - left - (physical - printable - left);
    *sink += MulDiv(GetDeviceCaps(ic, PHYSICALHEIGHT), 72, dpiY);
  }
  const double elapsed = Now() - start;
  DeleteDC(ic);
  return elapsed;
}

void Row(const char* name, double ours, double raw, const char* peer) {
  std::printf("%-44s %9.2f ms   %s %9.2f ms   %5.2fx %s goal <= 1.2\n", name, ours * 1e3, peer,
              raw * 1e3, ours / raw, peer);
}

}  // namespace

int main() {
  SetMessageBoxRecording(true);
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
    return 1;
  }
  JobThroughGDI(false);                             // the driver's first job loads its fonts
  double rawJob = 1e9, rawBoxJob = 1e9, job = 1e9;  // the best of alternating runs
  for (int run = 0; run < kRuns; ++run) {
    rawJob = std::min(rawJob, JobThroughGDI(false));
    rawBoxJob = std::min(rawBoxJob, JobThroughGDI(true));
    job = std::min(job, JobThroughGraphics());
  }
  if (rawJob < 0 || job < 0) {
    std::fprintf(stderr, "no printer \"%s\": run printing_tests in this prefix first\n", kPrinter);
    return 1;
  }
  Row("Job: 50 pages of 60 DrawString lines", job, rawJob, "raw GDI");
  Row("Job, the raw lines drawn as DrawString does", job, rawBoxJob, "raw GDI");
  int32_t sink = 0;
  const double rawGeometry = GeometryThroughGDI(&sink);
  const double geometry = GeometryThroughSetup(&sink);
  Row("Geometry: 10,000 reads of Width and PageHeight", geometry, rawGeometry, "GetDeviceCaps");
  if (!TakeRecordedBoxes().empty()) std::fprintf(stderr, "assertions were recorded\n");
  RuntimeHostFinish();
  return sink == 0;
}
