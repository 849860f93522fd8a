// The assertion reporter and the message-box gate with its recording mode.
#include "core/diagnostics.h"

#include <mutex>
#include <utility>

#include "core/platform.h"

namespace {

constexpr uint32_t kUTF8CodePage = 65001;

struct Recorder {
  std::mutex lock;
  bool on = false;
  int32_t answer = kAnswerOK;
  std::vector<RecordedBox> boxes;
  int32_t fatalExits = 0;
};

Recorder& recorder() {
  static Recorder instance;
  return instance;
}

std::u16string ToUTF16(const std::string& text) {
  return platform::CodePageToUTF16(kUTF8CodePage, text.data(), text.size());
}

std::string OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

int32_t RuntimeMessageBox(const std::string& text, const std::string& caption,
                          uint32_t buttons) {
  Recorder& r = recorder();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.on) {
      r.boxes.push_back({caption, text, buttons});
      return r.answer;
    }
  }
  return platform::ShowMessageBox(ToUTF16(text), ToUTF16(caption), buttons);
}

void RuntimeFatalExit(uint32_t exitCode) {
  Recorder& r = recorder();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.on) {
      ++r.fatalExits;
      return;
    }
  }
  platform::ExitProcessNow(exitCode);
}

void SetMessageBoxRecording(bool on, int32_t answer) {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  r.on = on;
  r.answer = answer;
}

bool MessageBoxRecording() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.on;
}

std::vector<RecordedBox> TakeRecordedBoxes() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  return std::move(r.boxes);
}

int32_t TakeRecordedFatalExits() {
  Recorder& r = recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  int32_t count = r.fatalExits;
  r.fatalExits = 0;
  return count;
}

extern "C" void AssertionFailed(int32_t kind, int32_t code, const char* source, int32_t line,
                                const char* condition, const char* extra) {
  std::string text = "An internal check failed: " + OrEmpty(condition) + "\r\n" +
                     "Source: " + OrEmpty(source) + ", line " + std::to_string(line) +
                     "\r\nCode: " + std::to_string(code);
  if (extra && *extra) text += "\r\n" + std::string(extra);
  text += "\r\n\r\nOK continues; Cancel quits the application.";
  if (RuntimeMessageBox(text, "Failed Assertion", kBoxOKCancel) == kAnswerCancel) {
    RuntimeFatalExit(uint32_t(kind));
  }
}

namespace {
ErrorLogObserver errorLogObserver = nullptr;
}  // namespace

ErrorLogObserver SetErrorLogObserver(ErrorLogObserver observer) {
  return std::exchange(errorLogObserver, observer);
}

extern "C" void LogErrorMessage(const char* message, int32_t code) {
  if (errorLogObserver) errorLogObserver(message, code);
}

#ifdef _WINDOWS_
#error "diagnostics is portable: it must not include <windows.h>."
#endif
