// A movie on the platform's video device: an MCI device opened on a file
// (the driver its type selects, "avivideo" for AVI), drawn into a window
// the caller names, played with a notification to a window of the caller's
// when it ends. Positions are in frames.
//
// The command entry points are found by name in winmm at run time
// (LoadMciCalls); a movie keeps the calls it was opened with, which must
// outlive it. Closing the device (the destructor) ends any play and drops
// its pending notification. Application thread only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

struct MciCalls {
  MCIERROR(WINAPI* sendString)(LPCWSTR command, LPWSTR answer, UINT answerSize, HWND callback);
};
// The calls, from winmm loaded by name (the module stays loaded); false when
// winmm or a call is missing.
bool LoadMciCalls(MciCalls* calls);

class MciMovie {
 public:
  // The largest side a movie may have: its box and its controller's bounds
  // are 16-bit rectangles.
  static constexpr int32_t kLargestSide = 32767;

  // Nil when the device cannot open the file or tell its size, or when
  // that size passes kLargestSide. A frame stored top-down (a negative
  // height in its header) gives its size as positive.
  static std::unique_ptr<MciMovie> Open(const MciCalls& calls, const std::wstring& path);
  ~MciMovie();
  MciMovie(const MciMovie&) = delete;
  MciMovie& operator=(const MciMovie&) = delete;

  int32_t NaturalWidth() const { return width_; }
  int32_t NaturalHeight() const { return height_; }

  // Draws into the window (nil: the device's own, hidden), at the rectangle
  // of the window's client area.
  bool ShowIn(HWND window, const RECT& destination);
  // Whether the device was last told to draw into the window, at the
  // rectangle when one is given.
  bool ShowsIn(HWND window) const { return window_ == window; }
  bool ShowsIn(HWND window, const RECT& destination) const;
  // Plays from the current frame; notify receives MM_MCINOTIFY at the end
  // (or at an abort). repeat loops until a stop; reverse plays backwards
  // where the device can (false where it cannot).
  bool Play(HWND notify, bool repeat, bool reverse);
  // Stops, dropping the notification still pending for notify.
  void Stop(HWND notify);
  // Whether the last play that was to notify named the window: false once
  // another window's play has taken the notification over.
  bool Notifies(HWND window) const { return notified_ == window; }
  bool SeekTo(int32_t frame);
  bool Step(int32_t frames);
  int32_t Position() const;
  int32_t Length() const;
  // Draws the current frame on the device context.
  void Redraw(HDC dc);
  void SetMuted(bool muted);

 private:
  MciMovie(const MciCalls& calls, std::wstring alias) : calls_(calls), alias_(std::move(alias)) {}
  // The command with the alias after its first word.
  bool Send(const std::wstring& verb, const std::wstring& rest, HWND callback = nullptr) const;
  bool Ask(const std::wstring& verb, const std::wstring& rest, std::wstring* answer) const;
  bool Playing() const;
  // Sets the device's time format to frames and reads the length, once.
  void CountInFrames() const;

  const MciCalls& calls_;
  std::wstring alias_;
  int32_t width_ = 0, height_ = 0;
  mutable int32_t length_ = -1;  // -1 until counted
  HWND window_ = nullptr;        // where the device draws; nil: its own
  RECT destination_{};
  HWND notified_ = nullptr;      // of the last play with a notification
};
