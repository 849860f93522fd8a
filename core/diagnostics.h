// The assertion reporter and the run-time's message boxes.
//
// Every modal box the run-time shows goes through RuntimeMessageBox, so that
// tests can switch on the recording mode: boxes are then recorded with their
// caption and text and answered with a preset button instead of shown.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
// Shows "Failed Assertion" with the source, line, condition and extra text;
// OK lets the caller go on, Cancel ends the process. kind and code are the
// reporter's two numbers; code is shown in the message.
void AssertionFailed(int32_t kind, int32_t code, const char* source, int32_t line,
                     const char* condition, const char* extra);
// Takes an error message and a code and records nothing, on purpose: these
// errors reach no user.
void LogErrorMessage(const char* message, int32_t code);
}

// Tests watch the error log through an observer of each message and code
// (nil: none). Gives back the previous observer.
using ErrorLogObserver = void (*)(const char* message, int32_t code);
ErrorLogObserver SetErrorLogObserver(ErrorLogObserver observer);

// Button sets and answers, with the values of the platform's message box.
enum MessageBoxButtons : uint32_t { kBoxOK = 0x0, kBoxOKCancel = 0x1, kBoxYesNo = 0x4 };
enum MessageBoxAnswer : int32_t { kAnswerOK = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// Shows a modal box (text and caption in UTF-8) and gives the button pressed.
int32_t RuntimeMessageBox(const std::string& text, const std::string& caption,
                          uint32_t buttons);

// Ends the process at once with the given exit code (after Cancel on an
// assertion, or when memory runs out). In recording mode it is recorded and
// returns, so the failing path can be tested.
void RuntimeFatalExit(uint32_t exitCode);

struct RecordedBox {
  std::string caption;
  std::string text;
  uint32_t buttons;
};

// Recording mode for tests: no box is shown; each is recorded and answered
// with `answer`; fatal exits are recorded instead of ending the process.
void SetMessageBoxRecording(bool on, int32_t answer = kAnswerOK);
bool MessageBoxRecording();
std::vector<RecordedBox> TakeRecordedBoxes();
int32_t TakeRecordedFatalExits();
