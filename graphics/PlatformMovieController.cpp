// The video window, the controller bar and what their clicks and the
// movie's end do.
#include "graphics/PlatformMovieController.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "graphics/MciMovie.h"
#include "graphics/MovieControllers.h"
#include "graphics/Rect16.h"

namespace {

constexpr wchar_t kVideoClass[] = L"KV_MovieVideo";
constexpr wchar_t kBarClass[] = L"KV_MovieBar";
constexpr intptr_t kRateOne = 0x10000;
// Creation flags.
constexpr int32_t kFlagBadge = 4;
constexpr int32_t kFlagNotVisible = 8;
// Set-flags bits.
constexpr intptr_t kSuppressFrame = 1;
constexpr intptr_t kSuppressStep = 2;
constexpr intptr_t kSuppressSpeaker = 4;
// Bar controls.
enum BarControl : int { kPlayButton = 1, kSlider, kStepBack, kStepForward, kVolume };
constexpr int kButtonWidth = 24;

PlatformMovieController* ControllerOf(HWND window) {
  return reinterpret_cast<PlatformMovieController*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND MakeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
               void* controller, const RECT& place = RECT{}) {
  HWND window = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, place.left,
                                place.top, place.right - place.left, place.bottom - place.top,
                                parent, reinterpret_cast<HMENU>(intptr_t(id)),
                                GetModuleHandleW(nullptr), nullptr);
  if (window && controller) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(controller));
  }
  return window;
}

void Destroy(HWND* window) {
  if (*window) DestroyWindow(std::exchange(*window, nullptr));
}

int Width(const MacRect& rect) { return int(rect.right) - rect.left; }
int Height(const MacRect& rect) { return int(rect.bottom) - rect.top; }

}  // namespace

bool PlatformMovieController::RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSW video{};
    video.lpfnWndProc = VideoProc;
    video.hInstance = GetModuleHandleW(nullptr);
    video.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    video.lpszClassName = kVideoClass;
    WNDCLASSW bar = video;
    bar.lpfnWndProc = BarProc;
    bar.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    bar.lpszClassName = kBarClass;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    return RegisterClassW(&video) != 0 && RegisterClassW(&bar) != 0;
  }();
  return registered;
}

PlatformMovieController::PlatformMovieController(MciMovie* movie, HWND pane, const MacRect& box,
                                                 int32_t flags)
    : movie_(movie),
      pane_(pane),
      bounds_(box),
      hasBar_((flags & kFlagNotVisible) == 0),
      badge_((flags & kFlagNotVisible) != 0 && (flags & kFlagBadge) != 0) {
  if (hasBar_) bounds_.bottom = Saturate16(int32_t(bounds_.bottom) + kBarHeight);
  // The windows wait for the first layout, when the flags that say whether
  // the movie is framed and which buttons the bar has are known, so that
  // none is made only to be changed or to go.
}

PlatformMovieController::~PlatformMovieController() {
  Release();
  Destroy(&bar_);  // with its controls
  Destroy(&video_);
}

bool PlatformMovieController::Usable() const { return RegisterClasses() && IsWindow(pane_); }

// The device stops and draws into its own hidden window again, where the
// play and the window are still ours: another controller may have taken
// the movie over.
void PlatformMovieController::Release() {
  if (!movie_) return;
  if (playing_ && movie_->Notifies(video_)) movie_->Stop(video_);
  if (video_ && movie_->ShowsIn(video_)) movie_->ShowIn(nullptr, RECT{});
  playing_ = false;
}

void PlatformMovieController::SetMovie(MciMovie* movie) {
  if (movie_ != movie) Release();
  movie_ = movie;
  ShowLength();
  LayOut();
  ShowPlaying();
}

void PlatformMovieController::SetFilter(QtActionFilter filter, void* context) {
  filter_ = filter;
  context_ = context;
}

bool PlatformMovieController::Filtered(int16_t action, intptr_t parameter) {
  return filter_ && filter_(Handle(), action, parameter, context_);
}

QtError PlatformMovieController::Action(int16_t action, intptr_t parameter) {
  Perform(action, parameter);
  return kQtNoError;
}

void PlatformMovieController::Perform(int16_t action, intptr_t parameter) {
  if (Filtered(action, parameter)) return;
  switch (action) {
    case kActionPlay:
    case kActionPrerollAndPlay:
      if (parameter != 0) {
        StartPlay();
      } else {
        StopPlay();
      }
      break;
    case kActionSetLooping: looping_ = parameter != 0; break;
    case kActionSetLoopIsPalindrome: palindrome_ = parameter != 0; break;
    case kActionSetFlags: SetSuppressed(parameter); break;
    default: break;
  }
}

void PlatformMovieController::StartPlay() {
  if (!movie_ || playing_) return;
  ShowInVideo();
  // A movie at its end starts again from its first frame.
  if (movie_->Position() >= movie_->Length() - 1) movie_->SeekTo(0);
  backwards_ = false;
  playing_ = movie_->Play(video_, looping_ && !palindrome_, false);
  ShowPlaying();
}

void PlatformMovieController::StopPlay() {
  if (!movie_ || !playing_) return;
  movie_->Stop(video_);
  playing_ = false;
  ShowPlaying();
  ShowPosition();
}

// The end of a play: a looping palindrome turns round (or starts again
// where the device cannot play backwards); anything else is a stop.
// A play superseded by one of our own (a seek, a palindrome's turn) goes
// on; one superseded by another controller's play of the same movie has
// stopped.
void PlatformMovieController::MovieEnded(WPARAM how) {
  if (!playing_ || !movie_) return;
  if (how == MCI_NOTIFY_SUPERSEDED && movie_->Notifies(video_)) return;
  if (how == MCI_NOTIFY_SUCCESSFUL && looping_ && palindrome_) {
    backwards_ = !backwards_;
    if (movie_->Play(video_, false, backwards_)) return;
    backwards_ = false;
    movie_->SeekTo(0);
    if (movie_->Play(video_, false, false)) return;
  }
  playing_ = false;
  ShowPlaying();
  ShowPosition();
  Filtered(kActionPlay, 0);
}

void PlatformMovieController::Seek(int32_t frame) {
  if (!movie_) return;
  ShowInVideo();
  const bool wasPlaying = playing_;
  if (playing_) movie_->Stop(video_);
  movie_->SeekTo(std::clamp(frame, 0, std::max(movie_->Length() - 1, 0)));
  if (wasPlaying) playing_ = movie_->Play(video_, looping_ && !palindrome_, false);
  InvalidateRect(video_, nullptr, FALSE);
}

void PlatformMovieController::StepBy(int32_t frames) {
  if (!movie_) return;
  ShowInVideo();
  if (playing_) Perform(kActionPlay, 0);
  movie_->Step(frames);
  ShowPosition();
  InvalidateRect(video_, nullptr, FALSE);
}

void PlatformMovieController::SetSuppressed(intptr_t flags) {
  const bool framed = (flags & kSuppressFrame) == 0;
  const bool steps = (flags & kSuppressStep) == 0;
  const bool speaker = (flags & kSuppressSpeaker) == 0;
  if (framed == framed_ && steps == steps_ && speaker == speaker_) return;
  framed_ = framed;
  steps_ = steps;
  speaker_ = speaker;
  if (bar_) MakeBar();
  LayOut();
}

// Where the bar and its controls go: the buttons asked for at its right end,
// the play button and the slider in what is left.
PlatformMovieController::BarPlaces PlatformMovieController::PlacesOfBar() const {
  BarPlaces places{};
  const int width = Width(bounds_);
  const int top = std::max(Height(bounds_) - kBarHeight, 0) + bounds_.top;
  places.bar = RECT{bounds_.left, top, bounds_.left + width, top + kBarHeight};
  int right = width;
  const auto next = [&](bool wanted, RECT* place) {
    if (!wanted) return;
    right -= kButtonWidth;
    *place = RECT{right, 0, right + kButtonWidth, kBarHeight};
  };
  next(speaker_, &places.volume);
  next(steps_, &places.stepForward);
  next(steps_, &places.stepBack);
  places.play = RECT{0, 0, std::min(kButtonWidth * 2, right), kBarHeight};
  places.slider = RECT{kButtonWidth * 2, 0, std::max(right, kButtonWidth * 2), kBarHeight};
  return places;
}

// Made at their places, so that a new bar needs no moving.
void PlatformMovieController::MakeBar() {
  if (!hasBar_) return;
  const BarPlaces places = PlacesOfBar();
  const bool made = bar_ != nullptr;
  if (!bar_) {
    bar_ = MakeChild(pane_, kBarClass, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, this, places.bar);
  }
  if (!bar_) return;
  if (!playButton_) {
    playButton_ = MakeChild(bar_, L"BUTTON", L"Play", BS_PUSHBUTTON, kPlayButton, nullptr, places.play);
  }
  if (!slider_) {
    slider_ = MakeChild(bar_, TRACKBAR_CLASSW, L"", TBS_HORZ | TBS_NOTICKS, kSlider, nullptr,
                        places.slider);
    ShowLength();
  }
  const auto keep = [this](bool wanted, HWND* slot, const wchar_t* text, int id, const RECT& place) {
    if (!wanted) {
      Destroy(slot);
    } else if (!*slot) {
      *slot = MakeChild(bar_, L"BUTTON", text, BS_PUSHBUTTON, id, nullptr, place);
    }
  };
  keep(steps_, &stepBack_, L"<", kStepBack, places.stepBack);
  keep(steps_, &stepForward_, L">", kStepForward, places.stepForward);
  keep(speaker_, &volume_, muted_ ? L"Off" : L"Vol", kVolume, places.volume);
  barPlace_ = places.bar;
  barLayoutStale_ = made;  // an old bar's controls move to make room
}

void PlatformMovieController::LayOut() {
  if (!video_) {
    videoPlace_ = VideoPlace();
    video_ = MakeChild(pane_, kVideoClass, L"", WS_CLIPSIBLINGS | (framed_ ? WS_BORDER : 0), 0,
                       this, videoPlace_);
    if (!video_) return;
  }
  if (hasBar_ && !bar_) MakeBar();
  PlaceVideo();
  const BarPlaces places = PlacesOfBar();
  // The bar's controls are placed again only when the bar changes.
  if (bar_ && (barLayoutStale_ || !EqualRect(&places.bar, &barPlace_))) {
    const auto move = [](HWND window, const RECT& place) {
      if (window) {
        MoveWindow(window, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, TRUE);
      }
    };
    move(bar_, places.bar);
    move(volume_, places.volume);
    move(stepForward_, places.stepForward);
    move(stepBack_, places.stepBack);
    move(playButton_, places.play);
    move(slider_, places.slider);
    barPlace_ = places.bar;
    barLayoutStale_ = false;
  }
}

// The video window over the movie's part of the bounds, and the movie in it.
RECT PlatformMovieController::VideoPlace() const {
  const int movieHeight = std::max(Height(bounds_) - (hasBar_ ? kBarHeight : 0), 0);
  return RECT{bounds_.left, bounds_.top, bounds_.left + Width(bounds_), bounds_.top + movieHeight};
}

void PlatformMovieController::PlaceVideo() {
  const LONG_PTR style = GetWindowLongPtrW(video_, GWL_STYLE);
  const LONG_PTR framedStyle = framed_ ? style | WS_BORDER : style & ~LONG_PTR(WS_BORDER);
  UINT frameChange = 0;
  if (framedStyle != style) {
    SetWindowLongPtrW(video_, GWL_STYLE, framedStyle);
    frameChange = SWP_FRAMECHANGED;
  }
  const RECT place = VideoPlace();
  if (frameChange || !EqualRect(&place, &videoPlace_)) {
    SetWindowPos(video_, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE | frameChange);
    videoPlace_ = place;
  }
  ShowMovie();
}

// The device is told where to draw when the frame is next painted (or the
// movie plays, seeks or steps before that), so that the set-up of a new
// controller, which may change the frame and the size more than once, sends
// it once.
void PlatformMovieController::ShowMovie() { InvalidateRect(video_, nullptr, FALSE); }

// The device is told only of a new movie or a new size.
void PlatformMovieController::ShowInVideo() {
  if (!movie_ || !video_) return;
  RECT client{};
  GetClientRect(video_, &client);
  if (!movie_->ShowsIn(video_, client)) movie_->ShowIn(video_, client);
}

void PlatformMovieController::SetBounds(const MacRect& bounds) {
  const bool resized = Width(bounds) != Width(bounds_) || Height(bounds) != Height(bounds_);
  bounds_ = bounds;
  LayOut();
  if (resized) Filtered(kActionControllerSizeChanged, 0);
}

void PlatformMovieController::Idle() {
  if (playing_) ShowPosition();
}

void PlatformMovieController::Draw() {
  if (video_) InvalidateRect(video_, nullptr, FALSE);
}

// Every controller is offered every player's messages: each takes only those
// of its own pane.
bool PlatformMovieController::TakeEvent(const MSG& message) {
  if (message.hwnd != pane_ && !IsChild(pane_, message.hwnd)) return false;
  const bool space = message.message == WM_KEYDOWN && message.wParam == VK_SPACE;
  const bool click = message.message == WM_LBUTTONDOWN && badge_;
  if (!space && !click) return false;
  Perform(kActionPlay, playing_ ? 0 : kRateOne);
  return true;
}

void PlatformMovieController::ShowPlaying() {
  if (playButton_) SetWindowTextW(playButton_, playing_ ? L"Stop" : L"Play");
}

void PlatformMovieController::ShowPosition() {
  if (slider_ && movie_) SendMessageW(slider_, TBM_SETPOS, TRUE, movie_->Position());
}

// The slider's ends one at a time: the message that sets both packs them
// into 16 bits each, which a long movie's last frame passes.
void PlatformMovieController::ShowLength() {
  if (!slider_ || !movie_) return;
  SendMessageW(slider_, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageW(slider_, TBM_SETRANGEMAX, TRUE, std::max(movie_->Length() - 1, 0));
}

LRESULT CALLBACK PlatformMovieController::VideoProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
  PlatformMovieController* controller = ControllerOf(window);
  switch (message) {
    case WM_PAINT: {
      if (controller) controller->ShowInVideo();
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (controller && controller->movie_) controller->movie_->Redraw(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the frame covers it
    case WM_NCHITTEST: return HTTRANSPARENT;  // clicks go to the pane
    case MM_MCINOTIFY:
      if (controller) controller->MovieEnded(wParam);
      return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK PlatformMovieController::BarProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  PlatformMovieController* controller = ControllerOf(window);
  if (controller && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case kPlayButton: controller->Perform(kActionPlay, controller->playing_ ? 0 : kRateOne); break;
      case kStepBack: controller->StepBy(-1); break;
      case kStepForward: controller->StepBy(1); break;
      case kVolume:
        controller->muted_ = !controller->muted_;
        if (controller->movie_) controller->movie_->SetMuted(controller->muted_);
        SetWindowTextW(controller->volume_, controller->muted_ ? L"Off" : L"Vol");
        break;
      default: break;
    }
    return 0;
  }
  if (controller && message == WM_HSCROLL && reinterpret_cast<HWND>(lParam) == controller->slider_) {
    if (LOWORD(wParam) != TB_ENDTRACK) {
      controller->Seek(int32_t(SendMessageW(controller->slider_, TBM_GETPOS, 0, 0)));
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
