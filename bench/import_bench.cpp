// Figures of picture import against the platform's own readers, each the
// best of five runs, with the process's peak working set after it:
// 4000 x 3000 JPEG and PNG files through OpenPictureFile against the raw
// imaging decoder into a DIB section of the same depth; a 24-bit BMP of that
// size through ReadBMPFile against LoadImageW; and metafiles of 10,000 and
// 100,000 records through ImportMetafileFile against PlayEnhMetaFile into a
// 1024 x 768 DC. The files are written first into the temporary folder.
// Prints figures only.
#include <windows.h>
#include <psapi.h>
#include <wincodec.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "core/RuntimeObjectFoundation.h"
#include "graphics/MetafileImport.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureFiles.h"
#include "graphics/Shapes2D.h"
#include "host/RuntimeMain.h"
#include "runtime/RuntimeSetup.h"
#include "testsupport/ImageFileWriter.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int kRuns = 5;

double BestOfFive(const std::function<void()>& work) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    work();
    GdiFlush();
    best = std::min(best, std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

double PeakWorkingSetMB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

void Row(const char* name, double ms, double peerMs, const char* peer, double goal) {
  std::printf("%-50s %9.1f ms   peak %7.1f MB   %.2fx %s goal <= %.2f\n", name, ms,
              PeakWorkingSetMB(), peerMs > 0 ? ms / peerMs : 0.0, peer, goal);
  std::fflush(stdout);
}

// The raw decoder's frame 0 converted into a top-down DIB section of 24 bits.
void RawDecode(const std::wstring& path) {
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   reinterpret_cast<void**>(&factory));
  factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                     WICDecodeMetadataCacheOnDemand, &decoder);
  decoder->GetFrame(0, &frame);
  UINT width = 0, height = 0;
  frame->GetSize(&width, &height);
  factory->CreateFormatConverter(&converter);
  converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                        WICBitmapPaletteTypeCustom);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), LONG(width), -LONG(height), 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const UINT stride = (width * 3 + 3) / 4 * 4;
  converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits));
  DeleteObject(section);
  converter->Release();
  frame->Release();
  decoder->Release();
  factory->Release();
}

void DecoderRows() {
  const TestImage image = MakeTestImage(kWidth, kHeight, [](int32_t x, int32_t y) {
    return uint32_t(x * 7 + y) << 16 | uint32_t(x ^ y) << 8 | uint32_t(x * y);
  });
  for (auto [name, format] : {std::pair{"jpg", TestImageFormat::kJPEG}, {"png", TestImageFormat::kPNG}}) {
    const std::wstring path = TestFilePath(std::string("bench.") + name);
    if (!WriteTestImageFile(path, format, {image})) {
      std::printf("%s: cannot write\n", name);
      continue;
    }
    const std::string utf8 = Utf8OfTestPath(path);
    const double ours = BestOfFive([&] { PictureRelease(OpenPictureFile(utf8.c_str(), 1)); });
    const double raw = BestOfFive([&] { RawDecode(path); });
    const std::string row = std::string("OpenPictureFile 4000 x 3000 ") + name;
    Row(row.c_str(), ours, raw, "raw decoder", 1.1);
  }
}

void BMPRow() {
  const uint32_t stride = (kWidth * 3 + 3) / 4 * 4;
  const uint32_t size = 54 + stride * kHeight;
  std::string file(size, '\0');
  auto put = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = char(value >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put(2, size), put(10, 54), put(14, 40), put(18, kWidth), put(22, kHeight), put(26, 0x00180001);
  put(38, 2835), put(42, 2835);
  for (size_t i = 54; i < file.size(); ++i) file[i] = char(i * 31 >> 3);
  const std::wstring path = TestFilePath("bench.bmp");
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(handle, file.data(), DWORD(file.size()), &written, nullptr);
  CloseHandle(handle);
  const std::string utf8 = Utf8OfTestPath(path);
  const double ours = BestOfFive([&] { PictureRelease(ReadBMPFile(utf8.c_str())); });
  const double peer = BestOfFive([&] {
    DeleteObject(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                            LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  });
  Row("ReadBMPFile 4000 x 3000 24-bit", ours, peer, "LoadImageW", 1.25);
}

// About `records` drawing records: pens made and selected, rectangles,
// ellipses and lines.
std::wstring WriteMetafile(int records) {
  const std::wstring path = TestFilePath("bench-" + std::to_string(records) + ".emf");
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
  for (int i = 0; i < records / 4; ++i) {
    const int x = i % 1000, y = i / 1000 % 700;
    Rectangle(dc, x, y, x + 20, y + 10);
    Ellipse(dc, x, y, x + 12, y + 12);
    MoveToEx(dc, x, y, nullptr);
    LineTo(dc, x + 30, y + 5);
  }
  DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  return path;
}

void MetafileRows() {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1024, -768, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC target = CreateCompatibleDC(nullptr);
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(target, section);
  for (int records : {10000, 100000}) {
    const std::wstring path = WriteMetafile(records);
    const std::string utf8 = Utf8OfTestPath(path);
    int32_t shapes = 0;
    const double ours = BestOfFive([&] {
      int32_t width = 0, height = 0;
      RuntimeObject* group = ImportMetafileFile(utf8.c_str(), &width, &height);
      shapes = Group2DCount(group, 0);
      RuntimeUnlockObject(group);
    });
    const double peer = BestOfFive([&] {
      HENHMETAFILE metafile = GetEnhMetaFileW(path.c_str());
      RECT whole{0, 0, 1024, 768};
      PlayEnhMetaFile(target, metafile, &whole);
      DeleteEnhMetaFile(metafile);
    });
    const std::string row = "ImportMetafileFile " + std::to_string(records) + " records (" +
                            std::to_string(shapes) + " shapes)";
    Row(row.c_str(), ours, peer, "PlayEnhMetaFile", 1.5);
  }
  SelectObject(target, previous);
  DeleteObject(section);
  DeleteDC(target);
}

}  // namespace

int main() {
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::printf("start-up failed: %s\n", error.c_str());
    return 1;
  }
  DecoderRows();
  BMPRow();
  MetafileRows();
  return 0;
}
