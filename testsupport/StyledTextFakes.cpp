#include "testsupport/StyledTextFakes.h"

#include <utility>

#include "controls/editfield/StyledText.h"

namespace {

int failingRead = 0;
int failingWrite = 0;
int reads = 0;
int writes = 0;

BOOL WINAPI CountedRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done,
                        LPOVERLAPPED overlap) {
  if (++reads == failingRead) {
    *done = 0;
    SetLastError(ERROR_CRC);
    return FALSE;
  }
  return ReadFile(file, buffer, count, done, overlap);
}

BOOL WINAPI CountedWrite(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done,
                         LPOVERLAPPED overlap) {
  if (++writes == failingWrite) {
    *done = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return WriteFile(file, buffer, count, done, overlap);
}

}  // namespace

FailingStyledTextFiles::FailingStyledTextFiles(int read, int write) {
  failingRead = read;
  failingWrite = write;
  reads = 0;
  writes = 0;
  SetStyledTextFileCalls({CountedRead, CountedWrite});
}

FailingStyledTextFiles::~FailingStyledTextFiles() { SetStyledTextFileCalls({nullptr, nullptr}); }

ScriptedFormatter::ScriptedFormatter(LONG count, std::vector<LONG> measures)
    : count_(count), measures_(std::move(measures)), previous_(SetStyledTextFormatter(this)) {}

ScriptedFormatter::~ScriptedFormatter() { SetStyledTextFormatter(previous_); }

LONG ScriptedFormatter::Measure(HWND, HDC, const RECT&, const RECT& block, LONG from) {
  const size_t index = measured.size();
  measured.push_back(block);
  froms.push_back(from);
  return index < measures_.size() ? measures_[index] : from;
}

void ScriptedFormatter::Display(HWND, const RECT& block) { displayed.push_back(block); }
