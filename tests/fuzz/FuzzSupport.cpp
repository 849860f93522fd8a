#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "core/CoreClasses.h"
#include "core/diagnostics.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetMessageBoxRecording(true);
  RegisterCoreClasses();
  return 0;
}

namespace fuzz {

void FailOnRecordedBoxes() {
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  TakeRecordedFatalExits();
  if (boxes.empty()) return;
  for (const RecordedBox& box : boxes)
    std::fprintf(stderr, "recorded box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  std::abort();
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz
