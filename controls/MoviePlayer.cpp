// The MoviePlayer control, its pane, its action bindings and the Movie class.
#include "controls/MoviePlayer.h"

#include <windows.h>

#include <windowsx.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "host/ResourceManagerCommon.h"
#include "host/relocentry.h"
#include "ui/Binding.h"
#include "ui/PaneFocus.h"
#include "ui/pane.h"

namespace {

enum BoundAction : int32_t { kBoundPlay = 1, kBoundStop = 2 };
constexpr int16_t kNewMovieFlags = 7;  // active, no alias resolution, no interaction

MoviePlayerFields* Checked(RuntimeObject* control) {
  return InstanceArgument<MoviePlayerFields>(control, GetMoviePlayerClassDefinition(),
                                             "MoviePlayer", __LINE__,
                                             "ObjectIsADefinition(control, MoviePlayer)");
}

MovieObjectFields* CheckedMovie(RuntimeObject* movie) {
  return InstanceArgument<MovieObjectFields>(movie, GetMovieClassDefinition(), "MoviePlayer",
                                             __LINE__, "ObjectIsADefinition(movie, Movie)");
}

MoviePlayerPane* PaneOf(MoviePlayerFields* fields) {
  return dynamic_cast<MoviePlayerPane*>(fields->control.pane);
}

void PlayOrStop(RuntimeObject* control, bool play) {
  MoviePlayerFields* fields = Checked(control);
  MoviePlayerPane* pane = fields ? PaneOf(fields) : nullptr;
  if (!pane) return;
  if (play) {
    MoviePlayerPlay(pane);
  } else {
    MoviePlayerStop(pane);
  }
}

int32_t ControllerExtent(RuntimeObject* control, bool width) {
  if (!Checked(control)) return 0;
  QtController controller = getMoviePlayerController(control);
  if (!controller) return 0;
  const MacRect bounds = CurrentQuickTimeBackend().ControllerBounds(controller);
  return width ? int32_t(bounds.right) - bounds.left : int32_t(bounds.bottom) - bounds.top;
}

// A flag property that the controller follows.
void SetControllerFlag(RuntimeObject* control, uint8_t MoviePlayerFields::*field, int16_t action,
                       uint8_t value) {
  MoviePlayerFields* fields = Checked(control);
  const uint8_t flag = value ? 1 : 0;
  if (!fields || fields->*field == flag) return;
  fields->*field = flag;
  if (QtController controller = getMoviePlayerController(control)) {
    CurrentQuickTimeBackend().ControllerAction(controller, action, flag);
  }
}

RuntimeObject* NewBinding(RuntimeObject* control, int32_t action) {
  RuntimeObject* binding = CreateInstance(GetMoviePlayerActionClassDefinition());
  if (!binding) return nullptr;
  auto* fields = ObjectFields<MoviePlayerActionFields>(binding);
  RuntimeLockObject(control);
  fields->control = control;
  fields->action = action;
  return binding;
}

// ---- Movie sizes ----

MacRect BoxOf(QtMovie movie) { return CurrentQuickTimeBackend().MovieBox(movie); }

// The box with the identity matrix; the movie's own matrix is put back.
MacRect BaseBoxOf(QtMovie movie) {
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  const QtMatrix saved = backend.MovieMatrix(movie);
  backend.SetMovieMatrix(movie, IdentityMatrix());
  const MacRect box = backend.MovieBox(movie);
  backend.SetMovieMatrix(movie, saved);
  return box;
}

// What measure gives for the Movie's movie, one opened for the call being
// disposed of after; 0 without a movie.
template <class Measure>
int32_t Measured(RuntimeObject* movieObject, Measure measure) {
  if (!CheckedMovie(movieObject)) return 0;
  QtMovie movie = nullptr;
  bool owned = false;
  if (!MovieObjectGetMovie(movieObject, &movie, &owned)) return 0;
  const int32_t value = measure(movie, owned);
  if (owned) DisposeQuickTimeMovie(movie);
  return value;
}

int32_t Width(const MacRect& box) { return int32_t(box.right) - box.left; }
int32_t Height(const MacRect& box) { return int32_t(box.bottom) - box.top; }

}  // namespace

// ---- Class definitions ----

ObjectDefinition* GetMoviePlayerClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "Play", "", nullptr, 0},
      {0, "Stop", "", nullptr, 0},
      {0, "ControllerSizeChanged", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kField, "Controller", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(MoviePlayerFields, controller)},
      {kField, "Border", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(MoviePlayerFields, border)},
      {kField, "HasStep", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(MoviePlayerFields, hasStep)},
      {kField, "Speaker", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(MoviePlayerFields, speaker)},
      {kField, "AutoResize", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(MoviePlayerFields, autoResize)},
      {kField, "Looping", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(mediaControllerLoopingSetter), offsetof(MoviePlayerFields, looping)},
      {kField, "Palindrome", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(mediaControllerPalindromeSetter), offsetof(MoviePlayerFields, palindrome)},
      {kField, "Movie", GetMovieClassDefinition(), RUNTIME_ENTRY(objGetter),
       RUNTIME_ENTRY(mediaMovieSetter), offsetof(MoviePlayerFields, movie)},
      {kPropertyReadOnly, "ControllerWidth", &kIntegerType,
       RUNTIME_ENTRY(mediaControllerWidthGetter), nullptr, nullptr, 0},
      {kPropertyReadOnly, "ControllerHeight", &kIntegerType,
       RUNTIME_ENTRY(mediaControllerHeightGetter), nullptr, nullptr, 0},
      {kPropertyReadOnly, "QTMovieController", &kIntegerType,
       RUNTIME_ENTRY(mediaMovieControllerGetter), nullptr, nullptr, 0},
  };
  static const ParameterRecord partName[] = {{"name", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Play", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimeMediaPlay)),
      MakeMethodRecord("Stop", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimeMediaStop)),
      MakeMethodRecord("getBoundPart", nullptr, partName, 1, RUNTIME_ENTRY(mediaGetBoundPart)),
  };
  static ControlClassDefinition definition(
      ControlClassTables{"MoviePlayer",
                         sizeof(MoviePlayerFields),
                         nullptr,
                         MoviePlayerDestruct,
                         MoviePlayerCreatePane,
                         events,
                         int32_t(std::size(events)),
                         properties,
                         int32_t(std::size(properties)),
                         methods,
                         int32_t(std::size(methods)),
                         {GetBindingPartInterfaceInterfaceDefinition()}});
  return definition.get();
}

ObjectDefinition* GetMoviePlayerActionClassDefinition() {
  static const MethodRecord methods[] = {
      MakeMethodRecord("PerformAction", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(mediaActionPerformAction)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "Sys$MoviePlayerAction");
    definition.instanceSize = sizeof(MoviePlayerActionFields);
    definition.destructor = MoviePlayerActionDestruct;
    BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
    definition.AddInterface(GetActionNotificationReceiverInterfaceDefinition());
    return &definition;
  }();
  return made;
}

ObjectDefinition* GetMovieClassDefinition() {
  constexpr uint32_t kReadOnly = kPropertyReadOnly;
  static const PropertyRecord properties[] = {
      {kReadOnly, "MovieWidth", &kIntegerType, RUNTIME_ENTRY(movieWidthGetter), nullptr, nullptr,
       0},
      {kReadOnly, "MovieHeight", &kIntegerType, RUNTIME_ENTRY(movieHeightGetter), nullptr, nullptr,
       0},
      {kReadOnly, "BaseMovieWidth", &kIntegerType, RUNTIME_ENTRY(movieBaseWidthGetter), nullptr,
       nullptr, 0},
      {kReadOnly, "BaseMovieHeight", &kIntegerType, RUNTIME_ENTRY(movieBaseHeightGetter), nullptr,
       nullptr, 0},
      {kReadOnly, "Handle", &kIntegerType, RUNTIME_ENTRY(movieHandleGetter), nullptr, nullptr, 0},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "Movie");
    definition.instanceSize = sizeof(MovieObjectFields);
    definition.destructor = MovieDestruct;
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

void RegisterMovieClasses() {
  static const EntryPoint entries[] = {
      {"openURLMovie", reinterpret_cast<void*>(&openURLMovie)},
      {"RuntimeGetMovieFromResource", reinterpret_cast<void*>(&RuntimeGetMovieFromResource)},
      {"getMoviePlayerController", reinterpret_cast<void*>(&getMoviePlayerController)},
  };
  RegisterIntrinsicClass(GetMovieClassDefinition());
  RegisterIntrinsicClass(GetMoviePlayerClassDefinition());
  RegisterIntrinsicClass(GetMoviePlayerActionClassDefinition());
  RegisterEntryPoints(entries, std::size(entries));
  ResourceManager::SetMovieFactory(NewResourceMovie);
}

RuntimeObject* NewResourceMovie(const wchar_t* path, int16_t id) {
  RuntimeObject* movie = CreateInstance(GetMovieClassDefinition());
  if (!movie) return nullptr;
  MovieObjectFields* fields = ObjectFields<MovieObjectFields>(movie);
  const std::string utf8 =
      encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(path), std::wcslen(path));
  fields->path = StringFromUTF8(utf8);
  fields->resourceId = id;
  return movie;
}

RuntimeObject* NewMovieHolding(QtMovie movie, int16_t resourceId) {
  RuntimeObject* object = CreateInstance(GetMovieClassDefinition());
  if (!object) {
    DisposeQuickTimeMovie(movie);
    return nullptr;
  }
  MovieObjectFields* fields = ObjectFields<MovieObjectFields>(object);
  fields->movie = movie;
  fields->resourceId = resourceId;
  return object;
}

// ---- The pane ----

MoviePlayerPane::MoviePlayerPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                                 RuntimeObject* control)
    : MoviePane(parent, tabPanelIndex, bounds, control) {
  LoadMovie(control, this);
  ControlFields(control)->bounds = Bounds();
}

void MoviePlayerPane::Draw(GraphicsPort*) { MovieControllerDraw(this); }

bool MoviePlayerPane::MouseDown(int32_t, int32_t, uint32_t) {
  SetFocusPane(this);
  MakeCurrentDrawingPane(this);
  MovieControllerDeliverEvents(this);
  return true;
}

LRESULT MoviePlayerPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool key = message >= WM_KEYFIRST && message <= WM_KEYLAST;
  const bool mouse = message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
  if (key || mouse) {
    const DWORD position = GetMessagePos();
    const MSG native{window,
                     message,
                     wParam,
                     lParam,
                     DWORD(GetMessageTime()),
                     POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)}};
    if (MovieControllersHandleEvent(&native) && key) return 0;
  }
  return MoviePane::HandleMessage(window, message, wParam, lParam);
}

bool MoviePlayerPane::CanAcceptFocus() { return IsShown() && ShownFlag(); }

void MoviePlayerPane::SetBounds(const MacRect& rect, bool redraw) {
  MoviePane::SetBounds(rect, redraw);
  MovieControllersResize(this);
}

void MoviePlayerPane::BroadcastStateChange(int32_t code) {
  if (code == kPaneShow || code == kPaneHide) {
    SetShownFlag(code == kPaneShow);
    if (code == kPaneShow) {
      MovieControllerShow(this);
    } else {
      MovieControllerHide(this);
    }
    Invalidate(true);
  }
  MoviePane::BroadcastStateChange(code);
}

void MoviePlayerPane::Invalidate(bool erase) {
  MakeCurrentDrawingPane(this);
  MacRect rect = Bounds();
  RuntimeObject* control = Control();
  if (control && ObjectFields<MoviePlayerFields>(control)->border) MacInsetRect(&rect, -1, -1);
  SubPane::InvalidateRect(rect, erase);
}

void MoviePlayerPane::BroadcastDragImage(GraphicsPort* port) {
  if (ShownFlag()) MakeDragImage(port);
}

// ---- Entry points ----

extern "C" void MoviePlayerCreatePane(RuntimeObject* control) {
  RuntimeControl& common = ObjectFields<MoviePlayerFields>(control)->control;
  auto* pane = new MoviePlayerPane(common.parentPane, common.tabPanelIndex, common.bounds, control);
  AdoptControlPane(control, pane);
}

extern "C" void MoviePlayerDestruct(RuntimeObject* control) {
  RuntimeUnlockObject(std::exchange(ObjectFields<MoviePlayerFields>(control)->movie, nullptr));
}

extern "C" void RuntimeMediaPlay(RuntimeObject* control) { PlayOrStop(control, true); }

extern "C" void RuntimeMediaStop(RuntimeObject* control) { PlayOrStop(control, false); }

extern "C" int32_t mediaControllerWidthGetter(RuntimeObject* control, uint32_t) {
  return ControllerExtent(control, true);
}

extern "C" int32_t mediaControllerHeightGetter(RuntimeObject* control, uint32_t) {
  return ControllerExtent(control, false);
}

extern "C" int32_t mediaMovieControllerGetter(RuntimeObject* control, uint32_t) {
  if (!Checked(control)) return 0;
  return int32_t(reinterpret_cast<uintptr_t>(getMoviePlayerController(control)));
}

extern "C" void mediaControllerLoopingSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetControllerFlag(control, &MoviePlayerFields::looping, kActionSetLooping, value);
}

extern "C" void mediaControllerPalindromeSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetControllerFlag(control, &MoviePlayerFields::palindrome, kActionSetLoopIsPalindrome, value);
}

extern "C" void mediaMovieSetter(RuntimeObject* control, uint32_t, RuntimeObject* movie) {
  MoviePlayerFields* fields = Checked(control);
  if (!fields || (movie && !CheckedMovie(movie))) return;
  MoviePlayerPane* pane = PaneOf(fields);
  if (pane) MovieControllerRemoveForPane(pane);
  RuntimeLockObject(movie);
  RuntimeUnlockObject(std::exchange(fields->movie, movie));
  if (pane) LoadMovie(control, pane);
}

extern "C" RuntimeObject* mediaGetBoundPart(RuntimeObject* control, StringRecord* name) {
  if (!Checked(control)) return nullptr;
  const std::string text = StringToStdUTF8(name);
  if (CStringCompareNoCase(text.c_str(), "getPlayAction") == 0)
    return NewBinding(control, kBoundPlay);
  if (CStringCompareNoCase(text.c_str(), "getStopAction") == 0)
    return NewBinding(control, kBoundStop);
  return nullptr;
}

extern "C" void mediaActionPerformAction(RuntimeObject* binding) {
  if (!binding) {
    RaiseNilObjectException();
    return;
  }
  auto* fields = ObjectFields<MoviePlayerActionFields>(binding);
  if (fields->action == kBoundPlay || fields->action == kBoundStop) {
    PlayOrStop(fields->control, fields->action == kBoundPlay);
  }
}

extern "C" void MoviePlayerActionDestruct(RuntimeObject* binding) {
  RuntimeUnlockObject(
      std::exchange(ObjectFields<MoviePlayerActionFields>(binding)->control, nullptr));
}

extern "C" RuntimeObject* openURLMovie(StringRecord* url) {
  if (!QuickTimeAvailable()) return nullptr;
  QuickTimeBackend& backend = CurrentQuickTimeBackend();
  const uint32_t length = StringLength(url);
  QtHandle reference = backend.NewHandle(length + 1);
  if (!reference) return nullptr;
  if (length) std::memcpy(*reference, StringData(url), length);
  (*reference)[length] = 0;
  QtMovie movie = nullptr;
  int16_t resourceId = 0;
  const QtError error = backend.NewMovieFromDataRef(reference, FourCharCode("url "), kNewMovieFlags,
                                                    &movie, &resourceId);
  backend.DisposeHandle(reference);
  if (error != kQtNoError || !movie) return nullptr;
  return NewMovieHolding(movie, resourceId);
}

extern "C" RuntimeObject* RuntimeGetMovieFromResource(int32_t id) {
  return ResourceManager::GetMovie(int16_t(id));
}

extern "C" void MovieDestruct(RuntimeObject* movie) {
  MovieObjectFields* fields = ObjectFields<MovieObjectFields>(movie);
  DisposeQuickTimeMovie(std::exchange(fields->movie, nullptr));
  RuntimeUnlockString(std::exchange(fields->path, nullptr));
}

extern "C" int32_t movieWidthGetter(RuntimeObject* movie, uint32_t) {
  return Measured(movie, [](QtMovie held, bool) { return Width(BoxOf(held)); });
}

extern "C" int32_t movieHeightGetter(RuntimeObject* movie, uint32_t) {
  return Measured(movie, [](QtMovie held, bool) { return Height(BoxOf(held)); });
}

extern "C" int32_t movieBaseWidthGetter(RuntimeObject* movie, uint32_t) {
  return Measured(movie, [](QtMovie held, bool) { return Width(BaseBoxOf(held)); });
}

extern "C" int32_t movieBaseHeightGetter(RuntimeObject* movie, uint32_t) {
  return Measured(movie, [](QtMovie held, bool) { return Height(BaseBoxOf(held)); });
}

extern "C" int32_t movieHandleGetter(RuntimeObject* movie, uint32_t) {
  return Measured(movie, [](QtMovie held, bool owned) {
    return owned ? 0 : int32_t(reinterpret_cast<uintptr_t>(held));
  });
}
