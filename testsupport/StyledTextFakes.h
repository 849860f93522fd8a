// Styled-text file seams for tests: while a FailingStyledTextFiles lives,
// the n-th read and the n-th write of styled-text files (counted from 1
// since it was made) fail as a broken disk would, having moved no byte.
#pragma once

class FailingStyledTextFiles {
 public:
  // 0: that kind of call never fails.
  FailingStyledTextFiles(int failingRead, int failingWrite);
  ~FailingStyledTextFiles();  // the system's calls again
  FailingStyledTextFiles(const FailingStyledTextFiles&) = delete;
  FailingStyledTextFiles& operator=(const FailingStyledTextFiles&) = delete;
};
