// Figures of movies and picture export on the platform's media against the
// platform calls doing the same work, in one run under Wine:
//   - a movie opened and its first frame on the screen: a MoviePlayer given a
//     Movie opened from the file's FolderItem (OpenAsMovie; the items are
//     made beforehand, as the peer's paths are) against MCI's open, window
//     and put into a child window of a plain window made for it, as the
//     player makes its video window for each movie; two movies whose first
//     frames differ take turns, each until its colour is read back from the
//     screen, then closed (the window destroyed) and the loop turned once,
//     outside the timing, on both sides. The compared row is a player with
//     Controller 0 (no bar) against the peer without one; the next row is a
//     player with its bar (five controls) against the peer making a bar
//     window with the same five controls (buttons and a trackbar whose range
//     is the movie's length, as the player's slider needs). Best of the
//     rounds, which side goes first alternating.
//   - a 30 frames-per-second movie of 150 frames played for 5 s while the
//     main loop runs: frames seen on the screen (sampled as fast as the loop
//     turns) against MCI playing into a plain window with a plain loop.
//   - a 4000 x 3000 picture exported to PNG and JPEG (picture file handle,
//     importer, export to the file, as export does after its dialog)
//     against the imaging encoder called directly on the picture's rows.
//     Best of five, the two taking turns.
// Each compared row ends "<ratio>x <peer> goal <= g" (or ">=").
#include <windows.h>
#include <commctrl.h>
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
constexpr int32_t kBarHeight = 20;  // the player's bar
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

HWND MakeVideoWindow(HWND frame);

// The peer's top-level window; the video windows MCI draws into are made
// in it by each row.
struct PlainWindows {
  HWND frame = nullptr;
};

PlainWindows OpenPlainWindows() {
  WNDCLASSW plain{};
  plain.lpfnWndProc = PlainProc;
  plain.hInstance = GetModuleHandleW(nullptr);
  plain.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  plain.lpszClassName = L"BenchPlain";
  RegisterClassW(&plain);
  WNDCLASSW bar{};
  bar.lpfnWndProc = DefWindowProcW;
  bar.hInstance = plain.hInstance;
  bar.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  bar.lpszClassName = L"BenchBar";
  RegisterClassW(&bar);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  PlainWindows windows;
  windows.frame = CreateWindowExW(0, L"BenchPlain", L"peer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500,
                                  100, 200, 200, nullptr, nullptr, plain.hInstance, nullptr);
  UpdateWindow(windows.frame);
  PumpPlain();
  return windows;
}

HWND MakeChild(HWND parent, const wchar_t* className, DWORD style, int x, int y, int width,
               int height) {
  return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                         parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

HWND MakeVideoWindow(HWND frame) {
  return MakeChild(frame, L"BenchPlain", WS_CLIPSIBLINGS, 0, 0, kMovieSide, kMovieSide);
}

bool SendMci(const std::wstring& command, HWND callback = nullptr) {
  return mciSendStringW(command.c_str(), nullptr, 0, callback) == 0;
}

// A bar under the video window with what the player's bar holds: a play
// button, a position slider over the movie's frames, two step buttons and a
// volume button.
HWND MakeBarWindow(HWND frame) {
  HWND bar = MakeChild(frame, L"BenchBar", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, kMovieSide,
                       kMovieSide, kBarHeight);
  MakeChild(bar, L"BUTTON", BS_PUSHBUTTON, 0, 0, 24, kBarHeight);
  HWND slider = MakeChild(bar, TRACKBAR_CLASSW, TBS_HORZ | TBS_NOTICKS, 24, 0, 24, kBarHeight);
  for (int x : {kMovieSide - 72, kMovieSide - 48, kMovieSide - 24}) {
    MakeChild(bar, L"BUTTON", BS_PUSHBUTTON, x, 0, 24, kBarHeight);
  }
  wchar_t length[32] = {};
  SendMci(L"set bench time format frames");
  mciSendStringW(L"status bench length", length, 32, nullptr);
  SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, std::max(_wtoi(length) - 1, 0)));
  return bar;
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

// Best of the rounds of each; which goes first alternates, and each turns
// the loop once after its close, outside the timing, so that what its close
// left for the loop is done before the other starts.
void Alternate(const std::function<double(int)>& ours, const std::function<double(int)>& peer,
               double* oursBest, double* peerBest) {
  std::vector<double> oursTimes, peerTimes;
  for (int round = 0; round < kOpenRounds; ++round) {
    const int which = round % 2;
    if (round % 4 < 2) {
      oursTimes.push_back(ours(which));
      peerTimes.push_back(peer(which));
    } else {
      peerTimes.push_back(peer(which));
      oursTimes.push_back(ours(which));
    }
  }
  *oursBest = Best(oursTimes) * 1000;
  *peerBest = Best(peerTimes) * 1000;
}

void OpenRows(RuntimeObject* player, RuntimeObject* barPlayer, const PlainWindows& plain,
              const std::wstring (&paths)[2], const uint32_t (&firsts)[2]) {
  const ObjectRef items[2] = {FolderItemOf(paths[0]), FolderItemOf(paths[1])};
  const auto ourOpen = [&](RuntimeObject* on) {
    return [&, on](int which) {
      const double start = Now();
      ObjectRef movie = ObjectRef::Adopt(OpenAsMovie(items[which]));
      mediaMovieSetter(on, 0, movie.get());
      if (!PlayerShows(on, firsts[which], start + 5)) std::printf("player missed a frame\n");
      const double took = Now() - start;
      mediaMovieSetter(on, 0, nullptr);
      RuntimeRunTurn(0);
      return took;
    };
  };
  const auto peerOpen = [&](bool withBar) {
    return [&, withBar](int which) {
      const double start = Now();
      HWND video = MakeVideoWindow(plain.frame);
      if (!OpenDirect(paths[which], video)) std::printf("MCI open failed\n");
      HWND bar = withBar ? MakeBarWindow(plain.frame) : nullptr;
      if (!DirectShows(video, firsts[which], start + 5)) std::printf("MCI missed a frame\n");
      const double took = Now() - start;
      CloseDirect();
      DestroyWindow(video);
      if (bar) DestroyWindow(bar);
      PumpPlain();
      return took;
    };
  };
  double ours = 0, direct = 0;
  Alternate(ourOpen(player), peerOpen(false), &ours, &direct);
  Row("open and show the first frame (best of 20)", ours, direct, "ms", "MCI", "<= 1.2");
  Alternate(ourOpen(barPlayer), peerOpen(true), &ours, &direct);
  Row("the same with the bar (best of 20)", ours, direct, "ms", "MCI+bar", "<= 1.2");
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

  HWND plainVideo = MakeVideoWindow(plain.frame);
  OpenDirect(path, plainVideo);
  DirectShows(plainVideo, FrameColour(0), Now() + 5);
  SendMci(L"play bench");
  const size_t direct = FramesSeen(PumpPlain, [&] { return ScreenColourAtMiddle(plainVideo); });
  CloseDirect();
  DestroyWindow(plainVideo);
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
  ObjectRef barPlayer = BenchControl(CreateInstance(GetMoviePlayerClassDefinition()), "Movie2",
                                     MacRect{0, 80, kMovieSide + kBarHeight, 80 + kMovieSide});
  auto* barFields = ObjectFields<MoviePlayerFields>(barPlayer.get());
  barFields->controller = 2;
  barFields->hasStep = barFields->speaker = 1;
  ObjectRef window = OpenBenchWindow(200, 200, {player, barPlayer});
  const PlainWindows plain = OpenPlainWindows();

  OpenRows(player.get(), barPlayer.get(), plain, paths, firsts);
  PlayRow(player.get(), plain, longMovie);
  ExportRows();

  DestroyWindow(plain.frame);
  WindowClose(window.get());
  for (const std::wstring& path : {paths[0], paths[1], longMovie}) DeleteFileW(path.c_str());
  return 0;
}
