// MCI command strings of a movie.
#include "graphics/MciMovie.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <utility>

#include "graphics/LibraryCalls.h"

namespace {

constexpr UINT kAnswerCapacity = 128;

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

}  // namespace

bool LoadMciCalls(MciCalls* calls) {
  HMODULE winmm = LoadLibraryW(L"winmm.dll");
  return winmm && FindCall(winmm, "mciSendStringW", &calls->sendString);
}

std::unique_ptr<MciMovie> MciMovie::Open(const MciCalls& calls, const std::wstring& path) {
  static uint32_t serial = 0;
  std::unique_ptr<MciMovie> movie(
      new MciMovie(calls, L"kvmovie" + std::to_wstring(++serial)));
  // The device the file's type selects, else the video device (a movie
  // resource's temporary file has no type of its own).
  const std::wstring open = L"open " + Quoted(path) + L" alias " + movie->alias_;
  if (calls.sendString(open.c_str(), nullptr, 0, nullptr) != 0 &&
      calls.sendString((open + L" type avivideo").c_str(), nullptr, 0, nullptr) != 0) {
    movie->alias_.clear();  // nothing to close
    return nullptr;
  }
  std::wstring answer;
  long left = 0, top = 0, width = 0, height = 0;
  if (!movie->Ask(L"where", L"source", &answer) ||
      std::swscanf(answer.c_str(), L"%ld %ld %ld %ld", &left, &top, &width, &height) != 4) {
    return nullptr;
  }
  // The magnitude alone: a top-down frame's height is negative.
  const int64_t side = height < 0 ? -int64_t(height) : int64_t(height);
  if (width <= 0 || width > kLargestSide || side == 0 || side > kLargestSide) return nullptr;
  movie->width_ = int32_t(width);
  movie->height_ = int32_t(side);
  return movie;
}

MciMovie::~MciMovie() {
  if (alias_.empty()) return;
  calls_.sendString((L"close " + alias_).c_str(), nullptr, 0, nullptr);
}

bool MciMovie::Send(const std::wstring& verb, const std::wstring& rest, HWND callback) const {
  const std::wstring command = verb + L" " + alias_ + (rest.empty() ? L"" : L" " + rest);
  return calls_.sendString(command.c_str(), nullptr, 0, callback) == 0;
}

bool MciMovie::Ask(const std::wstring& verb, const std::wstring& rest, std::wstring* answer) const {
  wchar_t text[kAnswerCapacity] = {};
  const std::wstring command = verb + L" " + alias_ + L" " + rest;
  if (calls_.sendString(command.c_str(), text, kAnswerCapacity, nullptr) != 0) return false;
  *answer = text;
  return true;
}

bool MciMovie::ShowIn(HWND window, const RECT& destination) {
  window_ = window;
  destination_ = destination;
  if (!window) return Send(L"window", L"handle default") && Send(L"window", L"state hide");
  wchar_t place[96];
  std::swprintf(place, 96, L"destination at %ld %ld %ld %ld", destination.left, destination.top,
                destination.right - destination.left, destination.bottom - destination.top);
  return Send(L"window", L"handle " + std::to_wstring(reinterpret_cast<uintptr_t>(window))) &&
         Send(L"put", place);
}

bool MciMovie::ShowsIn(HWND window, const RECT& destination) const {
  return window_ == window && EqualRect(&destination_, &destination);
}

// A play for another window than the one the running play notifies first
// stops that one and tells its window that it was superseded: the video
// device under Wine would keep the running play's notification and never
// send the new one's.
bool MciMovie::Play(HWND notify, bool repeat, bool reverse) {
  if (notify && notified_ && notified_ != notify && Playing()) {
    Stop(notified_);
    PostMessageW(std::exchange(notified_, nullptr), MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, 0);
  }
  std::wstring options = reverse ? L"reverse" : repeat ? L"repeat" : L"";
  if (notify) options += L" notify";
  if (!Send(L"play", options, notify)) return false;
  if (notify) notified_ = notify;
  return true;
}

bool MciMovie::Playing() const {
  std::wstring mode;
  return Ask(L"status", L"mode", &mode) && mode == L"playing";
}

void MciMovie::Stop(HWND notify) {
  Send(L"stop", L"wait");
  MSG pending;
  while (notify && PeekMessageW(&pending, notify, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) {
  }
}

// Positions are asked for only once a play, a seek or a step needs them.
void MciMovie::CountInFrames() const {
  if (length_ >= 0) return;
  std::wstring answer;
  length_ = Send(L"set", L"time format frames") && Ask(L"status", L"length", &answer)
                ? std::max(int32_t(std::wcstol(answer.c_str(), nullptr, 10)), int32_t(0))
                : 0;
}

int32_t MciMovie::Length() const {
  CountInFrames();
  return length_;
}

bool MciMovie::SeekTo(int32_t frame) {
  CountInFrames();
  return Send(L"seek", L"to " + std::to_wstring(frame));
}

bool MciMovie::Step(int32_t frames) {
  CountInFrames();
  return Send(L"step", frames < 0 ? L"reverse by " + std::to_wstring(-frames)
                                  : L"by " + std::to_wstring(frames));
}

int32_t MciMovie::Position() const {
  CountInFrames();
  std::wstring answer;
  return Ask(L"status", L"position", &answer) ? int32_t(std::wcstol(answer.c_str(), nullptr, 10))
                                              : 0;
}

void MciMovie::Redraw(HDC dc) {
  Send(L"update", L"hdc " + std::to_wstring(reinterpret_cast<uintptr_t>(dc)));
}

// "set ... audio all", which every device takes: the video device under
// Wine answers "setaudio ... off" with success and keeps its sound.
void MciMovie::SetMuted(bool muted) { Send(L"set", muted ? L"audio all off" : L"audio all on"); }
