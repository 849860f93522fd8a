// Styled-text seams for tests. While a FailingStyledTextFiles lives, the
// n-th read and the n-th write of styled-text files (counted from 1 since it
// was made) fail as a broken disk would, having moved no byte. While a
// ScriptedFormatter lives, styled-text printers lay blocks out by its script
// and it records what they asked.
#pragma once
#include <windows.h>

#include <vector>

#include "controls/editfield/StyledTextPrinter.h"

class FailingStyledTextFiles {
 public:
  // 0: that kind of call never fails.
  FailingStyledTextFiles(int failingRead, int failingWrite);
  ~FailingStyledTextFiles();  // the system's calls again
  FailingStyledTextFiles(const FailingStyledTextFiles&) = delete;
  FailingStyledTextFiles& operator=(const FailingStyledTextFiles&) = delete;
};

class ScriptedFormatter : public StyledTextFormatter {
 public:
  // The text has `count` characters; the n-th Measure answers measures[n]
  // (its `from` once the script is used up).
  ScriptedFormatter(LONG count, std::vector<LONG> measures);
  ~ScriptedFormatter() override;  // the control's own again
  ScriptedFormatter(const ScriptedFormatter&) = delete;
  ScriptedFormatter& operator=(const ScriptedFormatter&) = delete;

  LONG Measure(HWND window, HDC dc, const RECT& page, const RECT& block, LONG from) override;
  void Display(HWND window, const RECT& block) override;
  void Reset(HWND) override { ++resets; }
  LONG CharacterCount(HWND) override { return count_; }

  std::vector<RECT> measured;   // each Measure's block, in twips
  std::vector<LONG> froms;      // and its start
  std::vector<RECT> displayed;  // each Display's block
  int resets = 0;

 private:
  LONG count_;
  std::vector<LONG> measures_;
  StyledTextFormatter* previous_;
};
