// Figures of movies and picture export on the platform's media against the
// platform calls doing the same work, in one run under Wine:
//   - a movie opened and its first frame on the screen: a MoviePlayer given a
//     Movie opened from the file's FolderItem (OpenAsMovie; the items are
//     made beforehand, as the peer's paths are) against MCI's open, window
//     and put into a child window of a plain window; two movies whose first
//     frames differ take turns, each until its colour is read back from the
//     screen, then closed. Best of the rounds, the two taking turns.
//   - a 30 frames-per-second movie of 150 frames played for 5 s while the
//     main loop runs: frames seen on the screen (sampled as fast as the loop
//     turns) against MCI playing into a plain window with a plain loop.
//   - a 4000 x 3000 picture exported to PNG and JPEG (picture file handle,
//     importer, export to the file, as export does after its dialog)
//     against the imaging encoder called directly on the picture's rows.
//     Best of five, the two taking turns.
// Each compared row ends "<ratio>x <peer> goal <= g" (or ">=").
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "controls/MoviePlayer.h"
#include "files/FolderItemImp.h"
#include "files/runFolderItem.h"
#include "graphics/ImagingCodecs.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/PictureExport.h"
#include "graphics/PictureImporter.h"
#include "graphics/QuickTimeMovies.h"
#include "testsupport/TestMovieFile.h"

namespace {

constexpr int32_t kMovieSide = 64;
constexpr int kOpenRounds = 20;
constexpr double kPlaySeconds = 5.0;
constexpr int32_t kPictureWidth = 4000, kPictureHeight = 3000;

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return std::wstring(folder, length) + name;
}

std::string Utf8(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], size, nullptr, nullptr);
  return text;
}

// Frame i of the long movie: a colour no other frame has.
uint32_t FrameColour(int i) { return uint32_t(i) << 16 | uint32_t(255 - i) << 8 | 0x40; }

void PumpPlain() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

double Best(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void Row(const char* what, double ours, double peer, const char* unit, const char* peerName,
         const char* goal) {
  std::printf("%-44s %10.2f %s  %10.2f %s  %.2fx %s goal %s\n", what, ours, unit, peer, unit,
              ours / peer, peerName, goal);
}

// ---- The run-time's MoviePlayer ----

HWND VideoOf(RuntimeObject* player) {
  HWND pane = ControlFields(player)->pane->NativeWindow();
  return FindWindowExW(pane, nullptr, L"KV_MovieVideo", nullptr);
}

ObjectRef FolderItemOf(const std::wstring& path) {
  StringRef text = StringRef::Adopt(StringFromUTF8(Utf8(path).c_str()));
  return ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
}

RuntimeObject* OpenAsMovie(const ObjectRef& item) {
  FolderItemImp* imp = FolderItemImpOf(item.get());
  return imp ? imp->OpenAsMovie() : nullptr;
}

bool PlayerShows(RuntimeObject* player, uint32_t colour, double deadline) {
  HWND video = nullptr;
  while (Now() < deadline) {
    RuntimeRunTurn(0);
    if (!video) video = VideoOf(player);
    if (video && ScreenColourAtMiddle(video) == colour) return true;
  }
  return false;
}

// ---- MCI directly ----

bool directOpen = false;

// The video window repaints the device's current frame, as every player's
// window must.
LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (directOpen && GetParent(window)) {
      const std::wstring update = L"update bench hdc " + std::to_wstring(reinterpret_cast<uintptr_t>(dc));
      mciSendStringW(update.c_str(), nullptr, 0, nullptr);
    }
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct PlainWindows {
  HWND frame = nullptr;
  HWND video = nullptr;
};

PlainWindows OpenPlainWindows() {
  WNDCLASSW plain{};
  plain.lpfnWndProc = PlainProc;
  plain.hInstance = GetModuleHandleW(nullptr);
  plain.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  plain.lpszClassName = L"BenchPlain";
  RegisterClassW(&plain);
  PlainWindows windows;
  windows.frame = CreateWindowExW(0, L"BenchPlain", L"peer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500,
                                  100, 200, 200, nullptr, nullptr, plain.hInstance, nullptr);
  windows.video = CreateWindowExW(0, L"BenchPlain", L"", WS_CHILD | WS_VISIBLE, 0, 0, kMovieSide,
                                  kMovieSide, windows.frame, nullptr, plain.hInstance, nullptr);
  UpdateWindow(windows.frame);
  PumpPlain();
  return windows;
}

bool SendMci(const std::wstring& command, HWND callback = nullptr) {
  return mciSendStringW(command.c_str(), nullptr, 0, callback) == 0;
}

bool OpenDirect(const std::wstring& path, HWND video) {
  directOpen = SendMci(L"open \"" + path + L"\" alias bench") &&
               SendMci(L"window bench handle " + std::to_wstring(reinterpret_cast<uintptr_t>(video))) &&
               SendMci(L"put bench destination at 0 0 " + std::to_wstring(kMovieSide) + L" " +
                       std::to_wstring(kMovieSide));
  InvalidateRect(video, nullptr, FALSE);
  return directOpen;
}

void CloseDirect() {
  SendMci(L"close bench");
  directOpen = false;
}

bool DirectShows(HWND video, uint32_t colour, double deadline) {
  while (Now() < deadline) {
    PumpPlain();
    if (ScreenColourAtMiddle(video) == colour) return true;
  }
  return false;
}

// ---- Rows ----

void OpenRow(RuntimeObject* player, const PlainWindows& plain, const std::wstring (&paths)[2],
             const uint32_t (&firsts)[2]) {
  std::vector<double> ours, direct;
  const ObjectRef items[2] = {FolderItemOf(paths[0]), FolderItemOf(paths[1])};
  for (int round = 0; round < kOpenRounds; ++round) {
    const int which = round % 2;
    double start = Now();
    ObjectRef movie = ObjectRef::Adopt(OpenAsMovie(items[which]));
    mediaMovieSetter(player, 0, movie.get());
    if (!PlayerShows(player, firsts[which], start + 5)) std::printf("player missed a frame\n");
    ours.push_back(Now() - start);
    mediaMovieSetter(player, 0, nullptr);
    movie = ObjectRef();

    start = Now();
    if (!OpenDirect(paths[which], plain.video)) std::printf("MCI open failed\n");
    if (!DirectShows(plain.video, firsts[which], start + 5)) std::printf("MCI missed a frame\n");
    direct.push_back(Now() - start);
    CloseDirect();
  }
  Row("open and show the first frame (best of 20)", Best(ours) * 1000, Best(direct) * 1000, "ms",
      "MCI", "<= 1.2");
}

// Distinct frames seen while the movie plays for kPlaySeconds.
template <class Turn, class Sample>
size_t FramesSeen(Turn turn, Sample sample) {
  std::set<uint32_t> seen;
  const double end = Now() + kPlaySeconds;
  while (Now() < end) {
    turn();
    seen.insert(sample());
  }
  return seen.size();
}

void PlayRow(RuntimeObject* player, const PlainWindows& plain, const std::wstring& path) {
  ObjectRef movie = ObjectRef::Adopt(OpenAsMovie(FolderItemOf(path)));
  mediaMovieSetter(player, 0, movie.get());
  PlayerShows(player, FrameColour(0), Now() + 5);
  HWND video = VideoOf(player);
  RuntimeMediaPlay(player);
  const size_t ours =
      FramesSeen([] { RuntimeRunTurn(0); }, [&] { return ScreenColourAtMiddle(video); });
  RuntimeMediaStop(player);
  mediaMovieSetter(player, 0, nullptr);
  movie = ObjectRef();

  OpenDirect(path, plain.video);
  DirectShows(plain.video, FrameColour(0), Now() + 5);
  SendMci(L"play bench");
  const size_t direct = FramesSeen(PumpPlain, [&] { return ScreenColourAtMiddle(plain.video); });
  CloseDirect();
  std::printf("%-44s %10zu frames %6zu frames  %.2fx MCI goal >= 0.95\n",
              "30 fps for 5 s: frames seen", ours, direct, double(ours) / double(direct));
}

// The encoder on the picture's rows, as a program would call it.
bool EncodeDirectly(NativePicture* picture, const GUID& container, const std::wstring& path) {
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!picture->GetPixels(&depth, &base, &rowBytes)) return false;
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICBitmap> bitmap;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapEncoder> encoder;
  ComRef<IWICBitmapFrameEncode> frame;
  ComRef<IPropertyBag2> options;
  ComRef<IWICFormatConverter> converter;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  if (!MakeImagingFactory(&factory) ||
      FAILED(factory->CreateBitmapFromMemory(kPictureWidth, kPictureHeight,
                                             GUID_WICPixelFormat32bppBGR, UINT(rowBytes),
                                             UINT(rowBytes) * kPictureHeight, base, bitmap.out())) ||
      FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(container, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.out(), options.out())) ||
      FAILED(frame->Initialize(options.get())) ||
      FAILED(frame->SetSize(kPictureWidth, kPictureHeight)) ||
      FAILED(frame->SetPixelFormat(&format)) ||
      FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(bitmap.get(), format, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(frame->WriteSource(converter.get(), nullptr)) || FAILED(frame->Commit()) ||
      FAILED(encoder->Commit())) {
    return false;
  }
  return true;
}

// What export does once its dialog has answered.
bool ExportThroughRunTime(RuntimeObject* picture, uint32_t fileType, const std::wstring& path) {
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  QtHandle data = PictureFileHandle(picture);
  if (!data) return false;
  QtComponent importer = nullptr;
  bool written = backend.OpenDefaultComponent(FourCharCode("grip"), FourCharCode("PICT"),
                                              &importer) == kQtNoError &&
                 backend.ImporterSetDataHandle(importer, data) == kQtNoError &&
                 backend.ImporterExportImageFile(importer, fileType, 0, Utf8(path).c_str()) ==
                     kQtNoError;
  if (importer) backend.CloseComponent(importer);
  backend.DisposeHandle(data);
  return written;
}

// The best of five runs of each, taking turns so that a busy moment of the
// machine falls on both.
void BestOfFive(const std::function<bool()>& ours, const std::function<bool()>& peer,
                double* oursBest, double* peerBest) {
  *oursBest = *peerBest = 1e9;
  for (int i = 0; i < 5; ++i) {
    for (auto [run, best] : {std::pair{&ours, oursBest}, std::pair{&peer, peerBest}}) {
      const double start = Now();
      if (!(*run)()) std::printf("a run failed\n");
      *best = std::min(*best, Now() - start);
    }
  }
}

void ExportRows() {
  ObjectRef picture = ObjectRef::Adopt(newPicture(kPictureWidth, kPictureHeight, 32));
  NativePicture* native = reinterpret_cast<PictureObject*>(picture.get())->nativePicture;
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  native->GetPixels(&depth, &base, &rowBytes);
  for (int32_t y = 0; y < kPictureHeight; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(base + size_t(y) * size_t(rowBytes));
    for (int32_t x = 0; x < kPictureWidth; ++x) row[x] = uint32_t(x * 7 ^ y * 3) & 0xFFFFFF;
  }
  native->PixelsChanged();
  const struct {
    const char* name;
    uint32_t fileType;
    const GUID* container;
    const wchar_t* file;
  } rows[] = {{"export 4000 x 3000 to PNG (best of 5)", FourCharCode("PNGf"),
               &GUID_ContainerFormatPng, L"kv-bench.png"},
              {"export 4000 x 3000 to JPEG (best of 5)", FourCharCode("JPEG"),
               &GUID_ContainerFormatJpeg, L"kv-bench.jpg"}};
  for (const auto& row : rows) {
    const std::wstring path = TempPath(row.file);
    double ours = 0, direct = 0;
    BestOfFive([&] { return ExportThroughRunTime(picture.get(), row.fileType, path); },
               [&] { return EncodeDirectly(native, *row.container, path); }, &ours, &direct);
    Row(row.name, ours * 1000, direct * 1000, "ms", "encoder", "<= 1.1");
    DeleteFileW(path.c_str());
  }
}

}  // namespace

int main() {
  if (!StartBenchRunTime()) return 1;
  if (!QuickTimeStartup()) {
    std::printf("the platform's media did not load\n");
    return 1;
  }
  const std::wstring paths[2] = {TempPath(L"kv-bench-a.avi"), TempPath(L"kv-bench-b.avi")};
  const uint32_t firsts[2] = {0xFF0000, 0x0000FF};
  const std::wstring longMovie = TempPath(L"kv-bench-30fps.avi");
  std::vector<uint32_t> frames;
  for (int i = 0; i < 150; ++i) frames.push_back(FrameColour(i));
  if (!WriteTestMovie(paths[0], kMovieSide, kMovieSide, 10, {firsts[0], 0x00FF00}) ||
      !WriteTestMovie(paths[1], kMovieSide, kMovieSide, 10, {firsts[1], 0x00FF00}) ||
      !WriteTestMovie(longMovie, kMovieSide, kMovieSide, 30, frames)) {
    std::printf("the movies could not be written\n");
    return 1;
  }
  ObjectRef player = BenchControl(CreateInstance(GetMoviePlayerClassDefinition()), "Movie1",
                                  MacRect{0, 0, kMovieSide, kMovieSide});
  ObjectRef window = OpenBenchWindow(200, 200, {player});
  const PlainWindows plain = OpenPlainWindows();

  OpenRow(player.get(), plain, paths, firsts);
  PlayRow(player.get(), plain, longMovie);
  ExportRows();

  DestroyWindow(plain.frame);
  WindowClose(window.get());
  for (const std::wstring& path : {paths[0], paths[1], longMovie}) DeleteFileW(path.c_str());
  return 0;
}
