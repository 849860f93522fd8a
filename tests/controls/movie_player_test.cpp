// The MoviePlayer and Movie classes: without QuickTime, and over the fake
// backend (controllers set up from the properties, hidden and shown, the
// play events the filter queues, bindings, a handler closing the window
// during delivery), and the movies of resources and URLs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/MoviePlayer.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "core/utility.h"
#include "files/runFolderItem.h"
#include "host/ResourceManagerCommon.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/FakeQuickTime.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"

namespace {

using Lines = std::vector<std::string>;
using Actions = std::vector<std::pair<int16_t, intptr_t>>;
constexpr MacRect kPlayerBounds{10, 10, 110, 210};
constexpr MacRect kPaneRect{0, 0, 100, 200};
constexpr MacRect kMovieRect{0, 0, 120, 160};  // the fake's movie box at (0, 0)

bool SameRect(const MacRect& a, const MacRect& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// A player of that name showing a movie of its own file, with HasStep,
// Speaker and Border, then the adjustments.
ControlDescription Player(const char* name, int32_t controller, bool visible = true,
                          std::function<void(MoviePlayerFields*)> adjust = nullptr) {
  ControlDescription description = Described(GetMoviePlayerClassDefinition(), name, kPlayerBounds);
  description.visible = visible;
  description.prepare = [name, controller, adjust](RuntimeObject* control) {
    auto* fields = ObjectFields<MoviePlayerFields>(control);
    fields->controller = controller;
    fields->hasStep = fields->speaker = fields->border = 1;
    if (adjust) adjust(fields);
    const std::wstring path = L"C:\\movies\\" + std::wstring(name, name + std::strlen(name));
    mediaMovieSetter(control, 0, ObjectRef::Adopt(NewResourceMovie(path.c_str(), 128)).get());
  };
  return description;
}

class MoviePlayerTest : public WindowSystemTest {};

TEST_F(MoviePlayerTest, WithoutQuickTimeThePlayerStaysEmptyAndSaysWhyInTheLog) {
  AbsentQuickTime absent;
  ErrorLogRecorder errors;
  ControlTestWindow window({Player("Movie1", 2)});
  RuntimeObject* player = window.Control("Movie1");
  EXPECT_EQ(errors.Messages(), Lines{"Couldn't load QuickTime (10)"});
  RuntimeMediaPlay(player);
  RuntimeObject* movie = ObjectFields<MoviePlayerFields>(player)->movie;
  for (int32_t value :
       {mediaControllerWidthGetter(player, 0), mediaControllerHeightGetter(player, 0),
        mediaMovieControllerGetter(player, 0), movieWidthGetter(movie, 0),
        movieBaseHeightGetter(movie, 0), movieHandleGetter(movie, 0)}) {
    EXPECT_EQ(value, 0);
  }
  StringRef url = StringRef::Adopt(StringFromUTF8("http://example.com/a.mov"));
  EXPECT_EQ(openURLMovie(url.get()), nullptr);
  EXPECT_EQ(TakeLog(), Lines{});
  EXPECT_TRUE(TakeRecordedBoxes().empty()) << "the absence is logged, never shown";
}

TEST_F(MoviePlayerTest, ControllersFollowThePropertiesAndTheirPlayersVisibility) {
  FakeQuickTime fake;
  ControlTestWindow window({Player("Movie1", 0),
                            Player("Movie2", 1, true,
                                   [](MoviePlayerFields* fields) {
                                     fields->hasStep = 0;
                                     fields->looping = 1;
                                   }),
                            Player("Movie3", 2, true,
                                   [](MoviePlayerFields* fields) {
                                     fields->speaker = fields->border = 0;
                                     fields->palindrome = fields->autoResize = 1;
                                   }),
                            Player("Movie4", 2, false)});
  ASSERT_EQ(fake.controllers.size(), 4u);
  const struct {
    const char* name;
    int32_t flags;
    Actions actions;
    MacRect bounds;
  } rows[] = {
      {"Movie1", 9, {{38, 0}, {52, 0}}, kPaneRect},
      {"Movie2", 13, {{38, 2}, {52, 0}, {21, 1}}, kPaneRect},
      {"Movie3", 1, {{38, 5}, {52, 0}, {23, 1}}, kMovieRect},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const QtControllerData& controller = fake.controllers[i];
    EXPECT_EQ(controller.flags, rows[i].flags) << rows[i].name;
    EXPECT_EQ(controller.actions, rows[i].actions) << rows[i].name;
    EXPECT_TRUE(SameRect(controller.bounds, rows[i].bounds)) << rows[i].name;
    EXPECT_EQ(mediaMovieControllerGetter(window.Control(rows[i].name), 0),
              int32_t(reinterpret_cast<uintptr_t>(&controller)));
  }
  EXPECT_EQ(mediaControllerWidthGetter(window.Control("Movie3"), 0), 160);
  EXPECT_EQ(mediaControllerHeightGetter(window.Control("Movie3"), 0), 120);

  // A controller of Controller 0 takes no native messages.
  SendMessageA(window.Pane("Movie3")->NativeWindow(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(fake.controllers[0].events, 0);
  EXPECT_GE(fake.controllers[1].events, 1);
  EXPECT_GE(fake.controllers[2].events, 1);

  // A hidden player's controller waits off-screen until it is shown.
  const QtControllerData& hidden = fake.controllers[3];
  EXPECT_TRUE(SameRect(hidden.bounds, kOffscreenBounds));
  controlVisibleSetter(window.Control("Movie4"), 0, 1);
  EXPECT_TRUE(SameRect(hidden.bounds, kPaneRect));
  controlVisibleSetter(window.Control("Movie4"), 0, 0);
  EXPECT_TRUE(SameRect(hidden.bounds, kOffscreenBounds));
}

TEST_F(MoviePlayerTest, PlayActionsBecomeOneEventEachUntilTheKindChanges) {
  FakeQuickTime fake;
  ControlTestWindow window({Player("Movie1", 2)});
  RuntimeObject* player = window.Control("Movie1");
  QtController controller = &fake.controllers.at(0);
  auto deliver = [&](const Actions& actions) {
    for (auto [action, rate] : actions) fake.RaiseAction(controller, action, rate);
    MovieControllerDeliverEvents(static_cast<MoviePane*>(window.Pane("Movie1")));
    return TakeLog();
  };
  EXPECT_EQ(deliver({{55, 0x10000}, {8, 0x10000}}), Lines{"Movie1.Play"});
  EXPECT_EQ(deliver({{55, 0x10000}, {8, 0}, {55, 0x10000}}),
            (Lines{"Movie1.Play", "Movie1.Stop", "Movie1.Play"}));
  EXPECT_EQ(deliver({{26, 0}, {21, 1}}), Lines{"Movie1.ControllerSizeChanged"});

  controller->actions.clear();
  RuntimeMediaPlay(player);
  RuntimeMediaStop(player);
  EXPECT_EQ(TakeLog(), (Lines{"Movie1.Play", "Movie1.Stop"}));
  mediaControllerLoopingSetter(player, 0, 0);
  mediaControllerLoopingSetter(player, 0, 2);
  mediaControllerPalindromeSetter(player, 0, 0);
  EXPECT_EQ(controller->actions, (Actions{{55, 0x10000}, {8, 0}, {21, 1}}));

  // Bindings: names without regard to case.
  StringRef play = StringRef::Adopt(StringFromUTF8("GETPLAYACTION"));
  StringRef stop = StringRef::Adopt(StringFromUTF8("getStopAction"));
  ObjectRef playBinding = ObjectRef::Adopt(mediaGetBoundPart(player, play.get()));
  ObjectRef stopBinding = ObjectRef::Adopt(mediaGetBoundPart(player, stop.get()));
  mediaActionPerformAction(stopBinding.get());
  mediaActionPerformAction(playBinding.get());
  EXPECT_EQ(TakeLog(), (Lines{"Movie1.Stop", "Movie1.Play"}));

  // The idle task hands a changed Movie's movie to its controller again.
  auto* movie = ObjectFields<MovieObjectFields>(ObjectFields<MoviePlayerFields>(player)->movie);
  movie->changed = 1;
  EXPECT_TRUE(RuntimeTestEnvironment::RunUntil([&] { return movie->changed == 0; }, 2000));
  EXPECT_EQ(controller->moviesGiven, 1);
}

TEST_F(MoviePlayerTest, AHandlerClosingTheWindowEndsDeliveryAndEachControllerGoesOnce) {
  FakeQuickTime fake;
  ControlTestWindow window({Player("Movie1", 2), Player("Movie2", 2)});
  window.CloseOn("Movie1", "Play");
  QtController controller = &fake.controllers.at(0);
  fake.RaiseAction(controller, 26, 0);
  RuntimeMediaPlay(window.Control("Movie1"));
  EXPECT_FALSE(window.IsOpen());
  EXPECT_EQ(TakeLog(), (Lines{"Movie1.ControllerSizeChanged", "Movie1.Play"}));
  for (const QtControllerData& each : fake.controllers) EXPECT_EQ(each.disposed, 1);
  for (const QtMovieData& movie : fake.movies) EXPECT_EQ(movie.disposed, 1);
}

TEST_F(MoviePlayerTest, ResourceMoviesOpenTheirOwnFilesAndAreMeasuredOnACopy) {
  FakeQuickTime fake;
  const char bytes[] = "moov";
  ResourceManager::AddResource(FourCharCode("moov"), 128, bytes, 4);
  ResourceManager::AddResource(FourCharCode("moov"), 129, bytes, 4);
  ObjectRef first = ObjectRef::Adopt(RuntimeGetMovieFromResource(128));
  ObjectRef second = ObjectRef::Adopt(RuntimeGetMovieFromResource(129));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(movieWidthGetter(first.get(), 0), 160);
  EXPECT_EQ(movieHeightGetter(second.get(), 0), 120);
  EXPECT_EQ(movieHandleGetter(first.get(), 0), 0);
  ASSERT_EQ(fake.openedFiles.size(), 2u);
  EXPECT_NE(fake.openedFiles[0], fake.openedFiles[1]);
  for (const QtMovieData& movie : fake.movies) EXPECT_EQ(movie.disposed, 1);
  EXPECT_EQ(RuntimeGetMovieFromResource(130), nullptr);

  // A URL movie is held; its base size is measured at the identity matrix.
  StringRef url = StringRef::Adopt(StringFromUTF8("http://example.com/a.mov"));
  ObjectRef held = ObjectRef::Adopt(openURLMovie(url.get()));
  ASSERT_TRUE(held);
  EXPECT_EQ(fake.dataReferences, Lines{std::string("http://example.com/a.mov", 25)});
  QtMovieData& movie = fake.movies.back();
  QtMatrix doubled = IdentityMatrix();
  doubled.values[0][0] = doubled.values[1][1] = 0x20000;
  movie.matrix = doubled;
  EXPECT_EQ(movieWidthGetter(held.get(), 0), 320);
  EXPECT_EQ(movieBaseWidthGetter(held.get(), 0), 160);
  EXPECT_EQ(movieBaseHeightGetter(held.get(), 0), 120);
  EXPECT_EQ(movie.matrix.values[0][0], 0x20000);
  EXPECT_EQ(movieHandleGetter(held.get(), 0), int32_t(reinterpret_cast<uintptr_t>(&movie)));
  held = ObjectRef();
  EXPECT_EQ(movie.disposed, 1);

  // A FolderItem's movie comes through the files' media table.
  char folder[MAX_PATH + 1];
  const std::string clip = std::string(folder, GetTempPathA(sizeof folder, folder)) + "kv-clip.mov";
  CloseHandle(CreateFileA(clip.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  StringRef path = StringRef::Adopt(StringFromUTF8(clip));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(path.get()));
  ObjectRef opened = ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsMovie"));
  EXPECT_EQ(fake.openedFiles.back(), clip);
  EXPECT_EQ(movieHeightGetter(opened.get(), 0), 120);
  DeleteFileA(clip.c_str());
  // Every movie file is closed by the exit step at the latest.
  QuickTimeShutdown();
  EXPECT_EQ(fake.closedFiles, int(fake.openedFiles.size()));
}

}  // namespace
