// MoviePlayers over the platform's video device, as a user sees them: the
// frames on the screen, the events of plays, stops and ends, the bar each
// Controller value gives, movies of files and URLs, and nothing left behind
// by many players opened, played and closed.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "controls/MoviePlayer.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/runFolderItem.h"
#include "host/ResourceManagerCommon.h"
#include "graphics/GdiObjects.h"
#include "graphics/PictureClass.h"
#include "graphics/PictureExport.h"
#include "graphics/PlatformMedia.h"
#include "graphics/PlatformMediaDownload.h"
#include "graphics/QuickTimeMovies.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DialogWatcher.h"
#include "testsupport/ImageFileWriter.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/TestMovieFile.h"
#include "testsupport/UiTestSupport.h"

namespace {

using Lines = std::vector<std::string>;
constexpr int32_t kMovieWidth = 64, kMovieHeight = 48;
constexpr int32_t kBarHeight = 20;
constexpr uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                                 0xFF00FF, 0x800000, 0x008000, 0x000080, 0x808080};

const std::wstring& MoviePath() {
  static const std::wstring path = [] {
    const std::wstring made = TestFilePath("kv-colours.avi");
    WriteTestMovie(made, kMovieWidth, kMovieHeight, 10,
                   std::vector<uint32_t>(std::begin(kColours), std::end(kColours)));
    return made;
  }();
  return path;
}

RuntimeObject* NewFileMovie(const std::wstring& path) {
  StringRef text = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(path).c_str()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  return CallMethod<RuntimeObject*>(item.get(), "OpenAsMovie");
}

// A player of the movie file at the movie's size (its bar below when it
// has one), with HasStep, Speaker and no Border, then the adjustments.
ControlDescription Player(const char* name, int32_t controller, bool visible = true,
                          std::function<void(MoviePlayerFields*)> adjust = nullptr) {
  const int16_t height = int16_t(kMovieHeight + (controller >= 2 ? kBarHeight : 0));
  ControlDescription description = Described(GetMoviePlayerClassDefinition(), name,
                                             MacRect{10, 10, int16_t(10 + height), 10 + kMovieWidth});
  description.visible = visible;
  description.prepare = [controller, adjust](RuntimeObject* control) {
    auto* fields = ObjectFields<MoviePlayerFields>(control);
    fields->controller = controller;
    fields->hasStep = fields->speaker = 1;
    if (adjust) adjust(fields);
    mediaMovieSetter(control, 0, ObjectRef::Adopt(NewFileMovie(MoviePath())).get());
  };
  return description;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

HWND ChildOfClass(HWND parent, const char* className) {
  for (HWND child : ChildrenOf(parent)) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    if (std::string(name) == className) return child;
  }
  return nullptr;
}

// The frame whose colour is in the middle of the movie on the screen; -1 for
// none.
int FrameShown(HWND video) {
  const uint32_t colour = ScreenColourAtMiddle(video);
  for (int i = 0; i < int(std::size(kColours)); ++i) {
    if (kColours[i] == colour) return i;
  }
  return -1;
}

uint32_t ScreenColourNearBottomLeft(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT corner{2, client.bottom - 2};
  ClientToScreen(window, &corner);
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, corner.x, corner.y);
  ReleaseDC(nullptr, screen);
  return uint32_t(GetRValue(pixel)) << 16 | uint32_t(GetGValue(pixel)) << 8 | GetBValue(pixel);
}

// White over the window's client area, then a repaint asked for.
void PaintOver(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(window, dc);
  InvalidateRect(window, nullptr, FALSE);
}

// The runs without media name the folder of their fake libraries, which
// must be known before the media libraries are first loaded.
const bool dllDirectorySet = [] {
  const wchar_t* folder = _wgetenv(L"KV_TEST_DLL_DIR");
  return folder && SetDllDirectoryW(folder);
}();

class PlatformMovieTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    ASSERT_TRUE(QuickTimeStartup()) << "the platform's media must stand in";
    ASSERT_FALSE(MoviePath().empty());
  }
  void TearDown() override {
    WindowSystemTest::TearDown();
    EXPECT_EQ(ThePlatformMediaBackend().LiveControllers(), 0u);
  }

  HWND VideoOf(const ControlTestWindow& window, const char* name) {
    return ChildOfClass(window.Pane(name)->NativeWindow(), "KV_MovieVideo");
  }
  bool Until(const std::function<bool()>& predicate, DWORD ms = 3000) {
    return RuntimeTestEnvironment::RunUntil(predicate, ms);
  }
  void Wait(DWORD ms) { RuntimeTestEnvironment::RunUntil([] { return false; }, ms); }
  // The log's lines since the last Taken.
  bool Logged(const std::string& line) {
    Collect();
    return std::find(log_.begin(), log_.end(), line) != log_.end();
  }
  Lines Taken() {
    Collect();
    return std::exchange(log_, {});
  }

 private:
  void Collect() {
    for (std::string& line : TakeLog()) log_.push_back(std::move(line));
  }
  Lines log_;
};

}  // namespace

TEST_F(PlatformMovieTest, ThePaneShowsTheFramesAndPlaysEndAndStopsGiveOneEventEach) {
  ControlTestWindow window({Player("Movie1", 2)});
  MakeForeground(window.Handle());
  RuntimeObject* player = window.Control("Movie1");
  RuntimeObject* movie = ObjectFields<MoviePlayerFields>(player)->movie;
  EXPECT_EQ(movieWidthGetter(movie, 0), kMovieWidth);
  EXPECT_EQ(movieHeightGetter(movie, 0), kMovieHeight);
  EXPECT_EQ(mediaControllerWidthGetter(player, 0), kMovieWidth);
  EXPECT_EQ(mediaControllerHeightGetter(player, 0), kMovieHeight + kBarHeight);
  HWND video = VideoOf(window, "Movie1");
  ASSERT_NE(video, nullptr);
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 0; })) << std::hex << ScreenColourAtMiddle(video);
  Taken();

  // Played to its end: later frames, then one Play and one Stop.
  RuntimeMediaPlay(player);
  EXPECT_TRUE(Until([&] { return FrameShown(video) >= 2; }));
  EXPECT_TRUE(Until([&] { return Logged("Movie1.Stop"); }, 4000));
  Wait(300);
  EXPECT_EQ(Taken(), (Lines{"Movie1.Play", "Movie1.Stop"}));

  // Stopped during the play: Stop once, and the end never comes.
  RuntimeMediaPlay(player);
  Wait(300);
  RuntimeMediaStop(player);
  Wait(1500);
  EXPECT_EQ(Taken(), (Lines{"Movie1.Play", "Movie1.Stop"}));

  // Looping keeps it playing past its one second.
  mediaControllerLoopingSetter(player, 0, 1);
  RuntimeMediaPlay(player);
  Wait(1600);
  EXPECT_EQ(Taken(), Lines{"Movie1.Play"});
  EXPECT_TRUE(Until([&] { return FrameShown(video) >= 1 && FrameShown(video) <= 8; }));
  RuntimeMediaStop(player);
  EXPECT_EQ(Taken(), Lines{"Movie1.Stop"});
}

TEST_F(PlatformMovieTest, EachControllerValueGivesItsBarAndAHiddenOneWaitsOffScreen) {
  ControlTestWindow window({Player("None", 0), Player("Badge", 1), Player("Bar", 2),
                            Player("Plain", 2, true,
                                   [](MoviePlayerFields* fields) {
                                     fields->hasStep = fields->speaker = 0;
                                   }),
                            Player("Hidden", 2, false),
                            Player("Framed", 0, true,
                                   [](MoviePlayerFields* fields) { fields->border = 1; })});
  // Border frames the movie: its picture is a pixel in from every side.
  for (const auto& [name, framed] : {std::pair{"None", false}, {"Framed", true}}) {
    HWND video = ChildOfClass(window.Pane(name)->NativeWindow(), "KV_MovieVideo");
    RECT client{};
    GetClientRect(video, &client);
    EXPECT_EQ(client.right, framed ? kMovieWidth - 2 : kMovieWidth) << name;
    EXPECT_EQ(client.bottom, framed ? kMovieHeight - 2 : kMovieHeight) << name;
  }
  const struct {
    const char* name;
    bool bar;
    size_t barControls;  // play, position, step back and forward, volume
  } rows[] = {{"None", false, 0}, {"Badge", false, 0}, {"Bar", true, 5}, {"Plain", true, 2}};
  for (const auto& row : rows) {
    HWND pane = window.Pane(row.name)->NativeWindow();
    EXPECT_EQ(ChildrenOf(pane).size(), row.bar ? 2u : 1u) << row.name;
    EXPECT_NE(ChildOfClass(pane, "KV_MovieVideo"), nullptr) << row.name;
    HWND bar = ChildOfClass(pane, "KV_MovieBar");
    EXPECT_EQ(bar != nullptr, row.bar) << row.name;
    if (bar) {
      EXPECT_EQ(ChildrenOf(bar).size(), row.barControls) << row.name;
    }
  }

  // The bar's slider fills what its buttons leave after the play button (48
  // pixels), also when the buttons asked for change on a bar already shown.
  const auto sliderMeetsTheEnd = [&](const char* name, int buttons) {
    HWND barOf = ChildOfClass(window.Pane(name)->NativeWindow(), "KV_MovieBar");
    RECT bar{}, slider{};
    GetClientRect(barOf, &bar);
    GetWindowRect(ChildOfClass(barOf, "msctls_trackbar32"), &slider);
    MapWindowPoints(nullptr, barOf, reinterpret_cast<POINT*>(&slider), 2);
    EXPECT_EQ(slider.right, std::max(bar.right - buttons * 24, LONG(48))) << name;
  };
  sliderMeetsTheEnd("Bar", 3);
  sliderMeetsTheEnd("Plain", 0);
  const auto controller = reinterpret_cast<QtController>(
      uintptr_t(mediaMovieControllerGetter(window.Control("Bar"), 0)));
  ThePlatformMediaBackend().ControllerAction(controller, kActionSetFlags, 2);  // no steps
  sliderMeetsTheEnd("Bar", 1);

  // The badge's movie plays and stops on a click; Controller 0's takes none.
  for (const char* name : {"None", "Badge"}) {
    HWND pane = window.Pane(name)->NativeWindow();
    SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  EXPECT_TRUE(Until([&] { return Logged("Badge.Play"); }));
  EXPECT_FALSE(Logged("None.Play"));
  RuntimeMediaStop(window.Control("Badge"));

  // The bar's play button plays.
  HWND bar = ChildOfClass(window.Pane("Bar")->NativeWindow(), "KV_MovieBar");
  SendMessageW(bar, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  EXPECT_TRUE(Until([&] { return Logged("Bar.Play"); }));
  RuntimeMediaStop(window.Control("Bar"));
  // The space bar plays and stops it too.
  Taken();
  for (int press = 0; press < 2; ++press) {
    SendMessageW(window.Pane("Bar")->NativeWindow(), WM_KEYDOWN, VK_SPACE, 0);
    Wait(50);
  }
  EXPECT_EQ(Taken(), (Lines{"Bar.Play", "Bar.Stop"}));

  HWND hidden = ChildOfClass(window.Pane("Hidden")->NativeWindow(), "KV_MovieVideo");
  RECT place{};
  GetWindowRect(hidden, &place);
  POINT corner{place.left, place.top};
  ScreenToClient(window.Pane("Hidden")->NativeWindow(), &corner);
  EXPECT_GE(corner.x, 32000);
  controlVisibleSetter(window.Control("Hidden"), 0, 1);
  GetWindowRect(hidden, &place);
  corner = POINT{place.left, place.top};
  ScreenToClient(window.Pane("Hidden")->NativeWindow(), &corner);
  EXPECT_EQ(corner.x, 0);
  EXPECT_EQ(corner.y, 0);
}

TEST_F(PlatformMovieTest, TheBarSeeksAndStepsAResizeIsReportedAndAPalindromeKeepsPlaying) {
  ControlTestWindow window({Player("Movie1", 2)});
  MakeForeground(window.Handle());
  RuntimeObject* player = window.Control("Movie1");
  HWND video = VideoOf(window, "Movie1");
  HWND bar = ChildOfClass(window.Pane("Movie1")->NativeWindow(), "KV_MovieBar");
  ASSERT_TRUE(video && bar);
  HWND slider = ChildOfClass(bar, "msctls_trackbar32");
  ASSERT_NE(slider, nullptr);
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 0; }));

  // A seek, then each step, redraws the frame it reaches.
  SendMessageW(slider, TBM_SETPOS, TRUE, 5);
  SendMessageW(bar, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 5), reinterpret_cast<LPARAM>(slider));
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 5; })) << FrameShown(video);
  const struct {
    int button;
    int frame;
  } steps[] = {{4, 6}, {4, 7}, {3, 6}};
  for (const auto& step : steps) {
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(step.button, BN_CLICKED), 0);
    EXPECT_TRUE(Until([&] { return FrameShown(video) == step.frame; })) << step.frame;
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), step.frame);
  }
  // A repaint draws the current frame again.
  PaintOver(video);
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 6; }));
  Taken();

  SetProperty(player, "Width", int32_t(kMovieWidth + 10));
  EXPECT_TRUE(Until([&] { return Logged("Movie1.ControllerSizeChanged"); }));
  Wait(100);
  EXPECT_EQ(Taken(), Lines{"Movie1.ControllerSizeChanged"});
  EXPECT_EQ(mediaControllerWidthGetter(player, 0), kMovieWidth + 10);

  mediaControllerLoopingSetter(player, 0, 1);
  mediaControllerPalindromeSetter(player, 0, 1);
  RuntimeMediaPlay(player);
  Wait(1600);
  EXPECT_EQ(Taken(), Lines{"Movie1.Play"});
  RuntimeMediaStop(player);
  EXPECT_EQ(Taken(), Lines{"Movie1.Stop"});
}

namespace {

// Serves the bytes over HTTP on a loopback port to every GET, and a 404 to a
// path holding "missing", until it goes. Paced, it sends the body in pieces
// with a pause between them, or stops sending after some bytes and waits
// (up to five seconds) for the client to hang up.
struct Pacing {
  size_t piece = SIZE_MAX;       // bytes a send
  DWORD pauseMs = 0;             // between pieces
  size_t stallAfter = SIZE_MAX;  // of the reply, then no more
};

class LoopbackFileServer {
 public:
  static constexpr DWORD kStallLimitMs = 5000;

  explicit LoopbackFileServer(std::string body, Pacing pacing = {})
      : body_(std::move(body)), pacing_(pacing) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackFileServer() {
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }
  std::string URL(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Stalled replies whose client hung up before the server gave up on it.
  int AbandonedStalls() const { return abandoned_; }
  int Stalls() const { return stalls_; }

 private:
  void Serve() {
    for (SOCKET peer; (peer = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
      std::string request;
      char buffer[1024];
      for (int got; request.find("\r\n\r\n") == std::string::npos &&
                    (got = recv(peer, buffer, sizeof buffer, 0)) > 0;) {
        request.append(buffer, size_t(got));
      }
      const bool missing = request.find("missing") != std::string::npos;
      const std::string& body = missing ? std::string() : body_;
      const std::string reply = std::string(missing ? "HTTP/1.0 404 Not Found" : "HTTP/1.0 200 OK") +
                                "\r\nContent-Type: video/avi\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
      const size_t end = std::min(reply.size(), pacing_.stallAfter);
      for (size_t sent = 0; sent < end;) {
        if (sent > 0 && pacing_.pauseMs) Sleep(pacing_.pauseMs);
        const int done = send(peer, reply.data() + sent, int(std::min(end - sent, pacing_.piece)), 0);
        if (done <= 0) break;
        sent += size_t(done);
      }
      if (end < reply.size()) WaitForHangUp(peer);
      shutdown(peer, SD_SEND);
      closesocket(peer);
    }
  }
  void WaitForHangUp(SOCKET peer) {
    ++stalls_;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(peer, &readable);
    timeval limit{LONG(kStallLimitMs / 1000), 0};
    char byte;
    if (select(0, &readable, nullptr, nullptr, &limit) == 1 && recv(peer, &byte, 1, 0) <= 0) {
      ++abandoned_;
    }
  }

  std::string body_;
  Pacing pacing_;
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<int> stalls_{0}, abandoned_{0};
};

std::string FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes;
}

// The names of the temporary folder's files that web movies are fetched into.
size_t FetchedFiles() {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((std::wstring(folder) + L"kvm*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  size_t count = 1;
  while (FindNextFileW(search, &found)) ++count;
  FindClose(search);
  return count;
}

}  // namespace

TEST_F(PlatformMovieTest, AnHTTPMovieIsFetchedIntoAFileThatGoesWithIt) {
  LoopbackFileServer server(FileBytes(MoviePath()));
  const size_t before = FetchedFiles();
  StringRef url = StringRef::Adopt(StringFromUTF8(server.URL("/clip.avi").c_str()));
  ObjectRef movie = ObjectRef::Adopt(openURLMovie(url.get()));
  ASSERT_TRUE(movie);
  EXPECT_EQ(movieWidthGetter(movie.get(), 0), kMovieWidth);
  EXPECT_EQ(FetchedFiles(), before + 1);
  movie = ObjectRef();
  EXPECT_EQ(FetchedFiles(), before);

  StringRef missing = StringRef::Adopt(StringFromUTF8(server.URL("/missing.avi").c_str()));
  EXPECT_EQ(openURLMovie(missing.get()), nullptr);
  EXPECT_EQ(FetchedFiles(), before);
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

// The stall bound is shortened here to 500 ms (30 s in use): a server that
// sends part of a movie and then nothing is given up on while it still
// waits, with nothing left behind; one that sends the whole movie slowly,
// in pieces a tenth of a second apart, longer than the bound in all, is
// waited for.
TEST_F(PlatformMovieTest, AnHTTPMovieWhoseServerStallsGivesNilAndASlowOneComesWhole) {
  const std::string bytes = FileBytes(MoviePath());
  SetMovieDownloadStallBoundForTests(500);
  const size_t before = FetchedFiles();
  {
    LoopbackFileServer stalling(bytes, {SIZE_MAX, 0, 4096});
    StringRef url = StringRef::Adopt(StringFromUTF8(stalling.URL("/stall.avi").c_str()));
    EXPECT_FALSE(ObjectRef::Adopt(openURLMovie(url.get())));
    EXPECT_EQ(FetchedFiles(), before);
    EXPECT_TRUE(Until([&] { return stalling.Stalls() == 1; }));
    EXPECT_TRUE(Until([&] { return stalling.AbandonedStalls() == 1; }))
        << "the fetch waited for the server to give up";
  }
  {
    LoopbackFileServer slow(bytes, {bytes.size() / 8 + 1, 100});
    StringRef url = StringRef::Adopt(StringFromUTF8(slow.URL("/slow.avi").c_str()));
    ObjectRef movie = ObjectRef::Adopt(openURLMovie(url.get()));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movieWidthGetter(movie.get(), 0), kMovieWidth);
  }
  SetMovieDownloadStallBoundForTests(0);
  EXPECT_EQ(FetchedFiles(), before);
}

TEST_F(PlatformMovieTest, FilesFileURLsAndResourcesGiveMoviesAndDamagedOrMissingOnesNil) {
  ObjectRef fromFile = ObjectRef::Adopt(NewFileMovie(MoviePath()));
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(movieWidthGetter(fromFile.get(), 0), kMovieWidth);
  EXPECT_EQ(movieBaseHeightGetter(fromFile.get(), 0), kMovieHeight);

  // A movie resource is read from a temporary file of no type of its own.
  const std::string bytes = FileBytes(MoviePath());
  ASSERT_FALSE(bytes.empty());
  ResourceManager::AddResource(FourCharCode("moov"), 300, bytes.data(), uint32_t(bytes.size()));
  ObjectRef fromResource = ObjectRef::Adopt(RuntimeGetMovieFromResource(300));
  ASSERT_TRUE(fromResource);
  EXPECT_EQ(movieWidthGetter(fromResource.get(), 0), kMovieWidth);

  std::string url = "file:///" + Utf8OfTestPath(MoviePath());
  for (char& c : url) c = c == '\\' ? '/' : c;
  StringRef text = StringRef::Adopt(StringFromUTF8(url.c_str()));
  ObjectRef fromURL = ObjectRef::Adopt(openURLMovie(text.get()));
  ASSERT_TRUE(fromURL) << url;
  EXPECT_EQ(movieHeightGetter(fromURL.get(), 0), kMovieHeight);

  const std::wstring damaged = TestFilePath("kv-damaged.avi");
  ASSERT_TRUE(WriteTestBytes(damaged, std::vector<uint8_t>{'R', 'I', 'F', 'F', 9, 0, 0, 0, 'A'}));
  EXPECT_EQ(NewFileMovie(damaged), nullptr);
  EXPECT_EQ(NewFileMovie(TestFilePath("kv-missing.avi")), nullptr);
  StringRef missing = StringRef::Adopt(StringFromUTF8("file:///C:/no/such/movie.avi"));
  EXPECT_EQ(openURLMovie(missing.get()), nullptr);
  EXPECT_TRUE(TakeRecordedBoxes().empty()) << "a bad movie is never a message box";
  DeleteFileW(damaged.c_str());
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM counted) {
  ++*reinterpret_cast<size_t*>(counted);
  return TRUE;
}

BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM counted) {
  ++*reinterpret_cast<size_t*>(counted);
  EnumChildWindows(window, CountChild, counted);
  return TRUE;
}

// The run-time's GDI objects of every kind (the system's own count is not
// kept under every host).
int32_t LiveGdiObjects() {
  int32_t live = 0;
  for (int kind = 0; kind < int(GdiKind::kCount); ++kind) live += GdiLiveCount(GdiKind(kind));
  return live;
}

// The MCI devices open in the process.
int OpenMciDevices() {
  wchar_t answer[32] = {};
  mciSendStringW(L"sysinfo all quantity open", answer, 32, nullptr);
  return _wtoi(answer);
}

// The thread's windows and all their children.
size_t ThreadWindowCount() {
  size_t count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace

TEST_F(PlatformMovieTest, AHundredPlayersOpenedPlayedAndClosedLeaveNothingBehind) {
  // One cycle first, so that what is made once (window classes, the
  // device's driver) is there before counting.
  // Closed after a play, or by the Play or the Stop handler.
  const char* const closers[] = {nullptr, "Play", "Stop"};
  const auto cycle = [&](const char* closer) {
    ControlTestWindow window({Player("Movie1", 2)});
    if (closer) window.CloseOn("Movie1", closer);
    RuntimeMediaPlay(window.Control("Movie1"));
    Wait(10);
    if (window.IsOpen()) RuntimeMediaStop(window.Control("Movie1"));
  };
  cycle(nullptr);
  const size_t windows = ThreadWindowCount();
  const int32_t gdi = LiveGdiObjects();
  const int devices = OpenMciDevices();
  for (int i = 0; i < 100; ++i) cycle(closers[i % 3]);
  Taken();
  EXPECT_EQ(OpenMciDevices(), devices);
  EXPECT_EQ(ThreadWindowCount(), windows);
  EXPECT_EQ(LiveGdiObjects(), gdi);
  PlatformMediaBackend& backend = ThePlatformMediaBackend();
  EXPECT_EQ(backend.LiveControllers(), 0u);
  EXPECT_EQ(backend.LiveMovies(), 0u);
  EXPECT_EQ(backend.LiveHandles(), 0u);
}

// Run in processes of their own with the video driver or the imaging codecs
// replaced by a fake that lacks what it serves (KV_NO_PLATFORM_MEDIA set;
// see CMakeLists.txt): a machine without media of any kind.
TEST_F(WindowSystemTest, NoPlatformMediaLeavesPlayersEmptyAndExportToBMP) {
  if (!GetEnvironmentVariableA("KV_NO_PLATFORM_MEDIA", nullptr, 0)) {
    GTEST_SKIP() << "runs with the platform's media hidden";
  }
  EXPECT_FALSE(QuickTimeAvailable());
  ControlTestWindow window({Player("Movie1", 2)});
  RuntimeObject* player = window.Control("Movie1");
  EXPECT_EQ(mediaMovieControllerGetter(player, 0), 0);
  EXPECT_EQ(mediaControllerHeightGetter(player, 0), 0);
  EXPECT_EQ(ObjectFields<MoviePlayerFields>(player)->movie, nullptr) << "no movie is opened";
  EXPECT_TRUE(ChildrenOf(window.Pane("Movie1")->NativeWindow()).empty());

  // Export offers the file layer's BMP only; SaveAsJPEG fails.
  ObjectRef picture = ObjectRef::Adopt(newPicture(8, 8, 32));
  const std::wstring path = TestFilePath("kv-nomedia.bmp");
  DeleteFileW(path.c_str());
  DialogWatcher watcher({{{0x480, path}, {0x47C, path}}, IDOK});
  const bool exported = exportPicture(picture.get());
  const DialogWatcher::Seen& seen = watcher.Finish();
  EXPECT_TRUE(exported);
  EXPECT_EQ(seen.title, L"Export Image As:");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char magic[2] = {};
  DWORD got = 0;
  ReadFile(file, magic, 2, &got, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(magic, 2), "BM");
  DeleteFileW(path.c_str());
  const std::wstring jpeg = TestFilePath("kv-nomedia.jpg");
  DeleteFileW(jpeg.c_str());
  StringRef text = StringRef::Adopt(StringFromUTF8(Utf8OfTestPath(jpeg).c_str()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  CallMethod(item.get(), "SaveAsJPEG", picture.get());
  EXPECT_EQ(GetFileAttributesW(jpeg.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The volume button of a movie with sound: a click turns the device's sound
// off, the next one on again, and the button says which.
TEST_F(PlatformMovieTest, TheVolumeButtonTurnsTheSoundOffAndOn) {
  const std::wstring path = TestFilePath("kv-sound.avi");
  ASSERT_TRUE(WriteTestMovie(path, kMovieWidth, kMovieHeight, 10, {0xFF0000, 0x00FF00}, true));
  ControlTestWindow window({Player("Bar", 2)});
  mediaMovieSetter(window.Control("Bar"), 0, ObjectRef::Adopt(NewFileMovie(path)).get());
  ASSERT_EQ(OpenMciDevices(), 1);
  wchar_t alias[64] = {};
  mciSendStringW(L"sysinfo all name 1 open", alias, 64, nullptr);
  const auto sound = [&] {
    wchar_t answer[16] = {};
    mciSendStringW((std::wstring(L"status ") + alias + L" audio").c_str(), answer, 16, nullptr);
    return std::wstring(answer);
  };
  HWND bar = ChildOfClass(window.Pane("Bar")->NativeWindow(), "KV_MovieBar");
  HWND volume = GetDlgItem(bar, 5);
  const auto label = [&] {
    wchar_t text[8] = {};
    GetWindowTextW(volume, text, 8);
    return std::wstring(text);
  };
  EXPECT_EQ(sound(), L"on");
  EXPECT_EQ(label(), L"Vol");
  for (const wchar_t* expected : {L"off", L"on", L"off"}) {
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), LPARAM(volume));
    EXPECT_EQ(sound(), expected);
    EXPECT_EQ(label(), std::wstring(expected) == L"off" ? L"Off" : L"Vol");
  }
  // Muted, it still plays to its end.
  RuntimeMediaPlay(window.Control("Bar"));
  EXPECT_TRUE(Until([&] { return Logged("Bar.Stop"); }, 3000));
  DeleteFileW(path.c_str());
}

// A movie set on a player that shows one takes its place: the pane keeps one
// video window (no bar left over or doubled), which shows the new movie's
// frames at its size, and plays and ends with the new movie's events.
TEST_F(PlatformMovieTest, ASecondMovieOnThePlayerShowsItsOwnFramesAndSize) {
  constexpr int32_t kWideWidth = 80, kWideHeight = 40;
  const std::wstring path = TestFilePath("kv-second.avi");
  ASSERT_TRUE(WriteTestMovie(path, kWideWidth, kWideHeight, 10, {0x00FFFF, 0xFF00FF, 0xFFFFFF}));
  ControlDescription none = Player("None", 0, true, [](MoviePlayerFields* fields) {
    fields->autoResize = 1;
  });
  none.bounds = MacRect{100, 10, int16_t(100 + kMovieHeight), 10 + kMovieWidth};
  ControlTestWindow window({Player("Bar", 2), none});
  MakeForeground(window.Handle());
  for (const char* name : {"Bar", "None"}) {
    RuntimeObject* player = window.Control(name);
    HWND pane = window.Pane(name)->NativeWindow();
    EXPECT_TRUE(Until([&] { return FrameShown(VideoOf(window, name)) == 0; })) << name;
    mediaMovieSetter(player, 0, ObjectRef::Adopt(NewFileMovie(path)).get());
    HWND video = VideoOf(window, name);
    ASSERT_NE(video, nullptr) << name;
    const bool bar = std::string(name) == "Bar";
    EXPECT_EQ(ChildrenOf(pane).size(), bar ? 2u : 1u) << name;
    if (bar) {
      EXPECT_EQ(ChildrenOf(ChildOfClass(pane, "KV_MovieBar")).size(), 5u);
    } else {
      EXPECT_EQ(mediaControllerWidthGetter(player, 0), kWideWidth);
      EXPECT_EQ(mediaControllerHeightGetter(player, 0), kWideHeight);
      RECT client{};
      GetClientRect(video, &client);
      EXPECT_EQ(client.right, kWideWidth);
      EXPECT_EQ(client.bottom, kWideHeight);
    }
    RuntimeObject* movie = ObjectFields<MoviePlayerFields>(player)->movie;
    EXPECT_EQ(movieWidthGetter(movie, 0), kWideWidth) << name;
    EXPECT_EQ(movieHeightGetter(movie, 0), kWideHeight) << name;
    EXPECT_TRUE(Until([&] { return ScreenColourAtMiddle(video) == 0x00FFFF; }))
        << name << std::hex << ScreenColourAtMiddle(video);
    // The frame fills the video window, also where the movie's own size
    // (80 x 40 in the bar's 64 x 48) would leave a strip.
    EXPECT_TRUE(Until([&] { return ScreenColourNearBottomLeft(video) == 0x00FFFF; }))
        << name << std::hex << ScreenColourNearBottomLeft(video);
    Taken();
    RuntimeMediaPlay(player);
    EXPECT_TRUE(Until([&] { return ScreenColourAtMiddle(video) == 0xFF00FF; })) << name;
    EXPECT_TRUE(Until([&] { return Logged(std::string(name) + ".Stop"); }));
    // (The bar's controller, made at the new movie's size, is sized to the
    // pane: that may be reported too.)
    Lines events = Taken();
    events.erase(std::remove(events.begin(), events.end(), std::string(name) + ".ControllerSizeChanged"),
                 events.end());
    EXPECT_EQ(events, (Lines{std::string(name) + ".Play", std::string(name) + ".Stop"}));
  }
  EXPECT_EQ(OpenMciDevices(), 2);
  EXPECT_EQ(ThePlatformMediaBackend().LiveMovies(), 2u);
  window.Close();
  DeleteFileW(path.c_str());
}

namespace {

void Put32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = char(value >> (8 * i));
}

// A movie of 2 x 2 frames whose headers then claim another size (the main
// header's and the frame format's; a negative height is a top-down frame,
// which the main header gives as positive).
std::wstring MovieClaiming(const char* name, int32_t width, int32_t height, size_t frames = 1) {
  const std::wstring path = TestFilePath(name);
  WriteTestMovie(path, 2, 2, 10, std::vector<uint32_t>(frames, 0xFF0000));
  std::string bytes = FileBytes(path);
  const size_t main = bytes.find("avih"), format = bytes.find("strf");
  Put32(&bytes, main + 8 + 32, uint32_t(width));
  Put32(&bytes, main + 8 + 36, uint32_t(std::abs(height)));
  Put32(&bytes, format + 8 + 4, uint32_t(width));
  Put32(&bytes, format + 8 + 8, uint32_t(height));
  WriteTestBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  return path;
}

}  // namespace

// A movie wider or taller than a 16-bit box holds is refused, also one
// whose frames are real; the player keeps its own movie. The box of a
// movie scaled past 16 bits, or set turned inside out, is never negative,
// nor is the controller of a pane taller than 16 bits hold.
TEST_F(PlatformMovieTest, AMovieTooLargeForSixteenBitsGivesNilAndNoBoxIsNegative) {
  const std::wstring wide = TestFilePath("kv-wide.avi");
  ASSERT_TRUE(WriteTestMovie(wide, 32768, 10, 10, {0xFF0000, 0x00FF00}));
  const std::wstring huge = MovieClaiming("kv-huge.avi", 40000, 30000);
  ControlTestWindow window({Player("Movie1", 2)});
  RuntimeObject* player = window.Control("Movie1");
  for (const std::wstring& path : {wide, huge}) {
    ObjectRef movie = ObjectRef::Adopt(NewFileMovie(path));
    EXPECT_EQ(movie.get(), nullptr) << movieWidthGetter(movie.get(), 0);
    if (movie) mediaMovieSetter(player, 0, movie.get());
  }
  EXPECT_EQ(mediaControllerWidthGetter(player, 0), kMovieWidth);

  RuntimeObject* movie = ObjectFields<MoviePlayerFields>(player)->movie;
  const QtMovie held = ObjectFields<MovieObjectFields>(movie)->movie;
  PlatformMediaBackend& backend = ThePlatformMediaBackend();
  QtMatrix scaled = IdentityMatrix();
  scaled.values[0][0] = scaled.values[1][1] = 600 << 16;  // 38,400 x 28,800
  backend.SetMovieMatrix(held, scaled);
  EXPECT_EQ(movieWidthGetter(movie, 0), 32767);
  EXPECT_EQ(movieHeightGetter(movie, 0), 28800);
  EXPECT_EQ(movieBaseWidthGetter(movie, 0), kMovieWidth);
  backend.SetMovieBox(held, MacRect{0, 100, 96, 20});
  EXPECT_EQ(movieWidthGetter(movie, 0), 0);
  EXPECT_EQ(movieHeightGetter(movie, 0), 96);

  // A box spanning all 16 bits over a movie one pixel across: the scale is
  // past a 16.16 figure and is held at its largest.
  const std::wstring dot = TestFilePath("kv-dot.avi");
  ASSERT_TRUE(WriteTestMovie(dot, 1, 1, 10, {0xFF0000}));
  ObjectRef small = ObjectRef::Adopt(NewFileMovie(dot));
  ASSERT_TRUE(small);
  const QtMovie smallHeld = ObjectFields<MovieObjectFields>(small.get())->movie;
  backend.SetMovieBox(smallHeld, MacRect{-32768, -32768, 32767, 32767});
  EXPECT_EQ(movieWidthGetter(small.get(), 0), 32767);
  EXPECT_EQ(movieHeightGetter(small.get(), 0), 32767);

  // A pane 40,000 pixels tall holds its controller at the largest height.
  ControlDescription tall = Player("Tall", 0);
  tall.bounds = MacRect{-20000, 100, 20000, 164};
  ControlTestWindow tallWindow({tall});
  EXPECT_EQ(mediaControllerHeightGetter(tallWindow.Control("Tall"), 0), 32767);
  small = ObjectRef();  // the file is closed before it is deleted
  DeleteFileW(dot.c_str());
  DeleteFileW(wide.c_str());
  DeleteFileW(huge.c_str());
}

// 70,000 frames: the slider's range ends at the last one, a seek there
// reaches it and a step onto it moves the slider.
TEST_F(PlatformMovieTest, TheBarReachesTheLastFrameOfAMovieOfMoreThan65535Frames) {
  constexpr int32_t kFrames = 70000;
  const std::wstring path = TestFilePath("kv-long.avi");
  ASSERT_TRUE(WriteTestMovie(path, 2, 2, 25, std::vector<uint32_t>(kFrames, 0x0000FF)));
  ControlTestWindow window({Player("Bar", 2)});
  mediaMovieSetter(window.Control("Bar"), 0, ObjectRef::Adopt(NewFileMovie(path)).get());
  HWND bar = ChildOfClass(window.Pane("Bar")->NativeWindow(), "KV_MovieBar");
  HWND slider = ChildOfClass(bar, "msctls_trackbar32");
  ASSERT_TRUE(bar && slider);
  EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 0);
  EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), kFrames - 1);
  SendMessageW(slider, TBM_SETPOS, TRUE, kFrames - 3);
  SendMessageW(bar, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0), reinterpret_cast<LPARAM>(slider));
  for (int32_t frame : {kFrames - 2, kFrames - 1}) {
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), 0);  // a step forward
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), frame);
  }
  window.Close();
  DeleteFileW(path.c_str());
}

// One Movie on two players: once the first lets the movie go, the second
// still shows its frames, plays and ends; a play of one while the other
// plays stops the other, with its Stop.
TEST_F(PlatformMovieTest, OneMovieOnTwoPlayersStaysShownAndEveryPlayEndsWithAStop) {
  ControlDescription second = Player("P2", 2);
  second.bounds = MacRect{100, 10, int16_t(100 + kMovieHeight + kBarHeight), 10 + kMovieWidth};
  ControlTestWindow window({Player("P1", 2), second});
  MakeForeground(window.Handle());
  RuntimeObject* p1 = window.Control("P1");
  RuntimeObject* p2 = window.Control("P2");
  ObjectRef movie = ObjectRef::Adopt(NewFileMovie(MoviePath()));
  mediaMovieSetter(p1, 0, movie.get());
  mediaMovieSetter(p2, 0, movie.get());
  HWND video = VideoOf(window, "P2");
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 0; }));
  mediaMovieSetter(p1, 0, nullptr);
  // Painted over, the second player's video shows the movie's frame again.
  PaintOver(video);
  EXPECT_TRUE(Until([&] { return FrameShown(video) == 0; }));
  Taken();
  RuntimeMediaPlay(p2);
  EXPECT_TRUE(Until([&] { return FrameShown(video) >= 1 && FrameShown(video) <= 8; }));
  EXPECT_TRUE(Until([&] { return Logged("P2.Stop"); }, 4000));
  Wait(300);
  EXPECT_EQ(Taken(), (Lines{"P2.Play", "P2.Stop"}));

  mediaMovieSetter(p1, 0, movie.get());
  RuntimeMediaPlay(p1);
  Wait(200);
  RuntimeMediaPlay(p2);
  EXPECT_TRUE(Until([&] { return Logged("P1.Stop") && Logged("P2.Stop"); }, 4000));
  Wait(300);
  Lines events = Taken();
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Lines{"P1.Play", "P1.Stop", "P2.Play", "P2.Stop"}));
}

// "file://localhost/" names this machine; a movie stored top-down gives its
// size as positive. A looping one-frame movie stops at once: the video
// device ends a repeating play of one frame at once, also alone.
TEST_F(PlatformMovieTest, ALocalhostURLAndATopDownMovieOpenAndAOneFrameLoopEndsAsTheDeviceDoes) {
  for (const char* prefix : {"file://localhost/", "FILE://LocalHost/"}) {
    std::string url = prefix + Utf8OfTestPath(MoviePath());
    for (char& c : url) c = c == '\\' ? '/' : c;
    StringRef text = StringRef::Adopt(StringFromUTF8(url.c_str()));
    ObjectRef movie = ObjectRef::Adopt(openURLMovie(text.get()));
    ASSERT_TRUE(movie) << url;
    EXPECT_EQ(movieWidthGetter(movie.get(), 0), kMovieWidth);
  }
  const std::wstring topDown = MovieClaiming("kv-topdown.avi", 2, -2, 3);
  ObjectRef flipped = ObjectRef::Adopt(NewFileMovie(topDown));
  ASSERT_TRUE(flipped);
  EXPECT_EQ(movieWidthGetter(flipped.get(), 0), 2);
  EXPECT_EQ(movieHeightGetter(flipped.get(), 0), 2);

  const std::wstring single = TestFilePath("kv-single.avi");
  ASSERT_TRUE(WriteTestMovie(single, kMovieWidth, kMovieHeight, 10, {0xFF0000}));
  const std::wstring open = L"open \"" + single + L"\" alias kvsingle";
  ASSERT_EQ(mciSendStringW(open.c_str(), nullptr, 0, nullptr), 0u);
  mciSendStringW(L"play kvsingle repeat", nullptr, 0, nullptr);
  Wait(300);
  wchar_t mode[32] = {};
  mciSendStringW(L"status kvsingle mode", mode, 32, nullptr);
  mciSendStringW(L"close kvsingle", nullptr, 0, nullptr);
  EXPECT_EQ(std::wstring(mode), L"stopped");
  ControlTestWindow window({Player("Single", 2, true, [](MoviePlayerFields* fields) {
    fields->looping = 1;
  })});
  mediaMovieSetter(window.Control("Single"), 0, ObjectRef::Adopt(NewFileMovie(single)).get());
  Taken();
  RuntimeMediaPlay(window.Control("Single"));
  EXPECT_TRUE(Until([&] { return Logged("Single.Stop"); }));
  EXPECT_EQ(Taken(), (Lines{"Single.Play", "Single.Stop"}));
  window.Close();
  flipped = ObjectRef();
  DeleteFileW(topDown.c_str());
  DeleteFileW(single.c_str());
}
