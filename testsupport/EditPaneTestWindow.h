// Edit panes for tests, without an edit field: a sink that writes each call
// to the test log (UiTestSupport.h's Log) with its arguments and answers as
// scripted, and a window holding one pane from each creator.
//
//   "TextChanged"  "SelectionChanged"  "EnableMenuItems"  "GotFocus"
//   "LostFocus"  "KeyChar 233"  "MouseDown 5,7"  "MouseUp 5,7"
//   "AskOwner"  "HandleMenuItem"
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "controls/editfield/RichEditPane.h"
#include "core/SmartRef.h"

class RecordingEditSink : public EditFieldEventSink {
 public:
  using EditFieldEventSink::EditFieldEventSink;

  // The log lines whose Boolean answer is true ("KeyChar 29").
  std::set<std::string> answerTrue;
  // Runs after each line is logged, with the line.
  std::function<void(const std::string& line)> after;

  void TextChanged(NativeEditPane* pane) override;
  void SelectionChanged(NativeEditPane* pane) override;
  void GotFocus(SubPane* pane) override;
  void LostFocus(SubPane* pane) override;
  bool KeyChar(NativeEditPane* pane, uint32_t character, uint32_t a, uint32_t b) override;
  void EnableMenuItems(NativeEditPane* pane) override;
  bool AskOwner(NativeEditPane* pane, RuntimeObject* menuItem) override;
  bool HandleMenuItem(NativeEditPane* pane, RuntimeObject* menuItem) override;
  bool MouseDown(SubPane* pane, int32_t x, int32_t y) override;
  bool MouseUp(SubPane* pane, int32_t x, int32_t y) override;

 private:
  bool Record(const std::string& line);
};

// A shown window with test controls "Single", "Multi" (vertical scroll bar),
// "StyledSingle" and "StyledMulti" (both scroll bars), each of whose pane a
// creator made with a border, the default font and a recording sink, and
// has had its first SetText(""), as an edit field's pane has. The log is
// cleared once it is open. The window holds no reference to its controls:
// closing it frees them and their panes; the sinks live on with this object.
class EditPaneWindow {
 public:
  EditPaneWindow();
  ~EditPaneWindow();  // closes the window when it is still open
  EditPaneWindow(const EditPaneWindow&) = delete;
  EditPaneWindow& operator=(const EditPaneWindow&) = delete;

  RuntimeObject* Window() const { return window_.get(); }
  bool IsOpen() const;
  void Close();
  // Nil once the window has closed.
  RuntimeObject* Control(const std::string& name) const;
  RichEditPane* Pane(const std::string& name) const;
  HWND Native(const std::string& name) const;
  RecordingEditSink& Sink(const std::string& name);

 private:
  ObjectRef window_;
  std::map<std::string, std::unique_ptr<RecordingEditSink>> sinks_;
};

// The pane's whole text as UTF-8, and a string for the pane from UTF-8.
std::string TextOf(NativeEditPane* pane);
StringRef Utf8(const std::string& text);
