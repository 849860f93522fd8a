// A window of built-in controls for control tests, opened from C++
// descriptions as a compiled application would open its window. Every
// control is an instance of a "compiled" subclass of its class whose
// handlers (for the events its class has) write to the test log
// (UiTestSupport.h's Log):
//
//   "CheckBox1.MouseDown(7,9)"   "CheckBox1.MouseUp(0,0)"
//   "GroupBox1.MouseDrag(41,52)" "Label1.AcceleratorKey"
//   "CheckBox1.GotFocus"         "CheckBox1.LostFocus"
//   "CheckBox1.Action True"      (with Value, for classes that have one)
//   "OKButton.Action"            "Popup1.Change"
//   "SB1.ValueChanged 51"
//   "Canvas1.Paint"              "Canvas1.EnableMenuItems"
//   "Canvas1.KeyDown(C3A9)"      (the key's bytes in hex; answers False
//                                 unless AnswerKeyDown says otherwise)
//   "Field1.TextChange"          "Field1.SelChange"
//   "Movie1.Play"                "Movie1.Stop"   "Movie1.ControllerSizeChanged"
//   "Data1.MoveNext"  "Data1.MovePrevious"  "Data1.MoveFirst"  "Data1.MoveLast"
//   "Data1.Reposition(1)"  "Data1.Validate(1)"  "Data1.Insert"  "Data1.Update"
//   "Data1.Delete"               (a DataControl's events; those with a
//                                 Boolean answer False unless AnswerEvent
//                                 says otherwise)
//
// Receivers named in a description log "<tag>.DataChanged" or
// "<tag>.PerformAction" (RecordingReceivers.h). The log is taken once the
// window is open (OpeningLog).
//
// The test window holds no reference to its controls: while the window is
// open only its control map does, so closing the window frees them, and a
// control touched after that fails the test. Look controls up by name.
// One test window at a time: the handlers reach the newest one.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "ui/SubPane.h"

struct ControlDescription {
  ObjectDefinition* definition = nullptr;  // the class to subclass
  bool plain = false;  // an instance of the class itself: no handlers, nothing logged
  std::string name;
  std::string parent;   // the parent control's name, when not empty
  int32_t tabPanelIndex = 0;  // the panel page the control is on
  std::string caption;  // set when not empty
  MacRect bounds{};
  bool isDefault = false;
  bool isCancel = false;
  bool visible = true;
  bool enabled = true;
  std::string dataSource;  // set when not empty
  std::string dataField;   // set when not empty
  // Tags of recording receivers added before the window opens, when not
  // empty: a dataNotificationReceiver, an actionNotificationReceiver of the
  // control itself, and actionNotificationReceivers added through the
  // "getCheckedAction" and "getUncheckedAction" bound parts.
  std::string dataReceiver;
  std::string actionReceiver;
  std::string checkedReceiver;
  std::string uncheckedReceiver;
  // Called with the new control before it joins the window (a stand-in's
  // record, font properties ...).
  std::function<void(RuntimeObject* control)> prepare;
};

// A description with only the class, the name and the bounds set.
ControlDescription Described(ObjectDefinition* definition, const char* name, const MacRect& bounds);

// The window most control tests use: check boxes "CheckBox1" (caption
// "&Check"; receivers "data", "checked", "unchecked") and "CheckBox2", push
// buttons "OKButton" (caption "&OK", Default; receiver "ok") and
// "CancelButton" (Cancel), and the DataControl stand-in "Data1".
std::vector<ControlDescription> StandardControlDescriptions();

// The window of the grouping controls: check box "CheckBox1" ("&Check");
// group boxes "GroupBox1" (at 10,36, 180 x 90) holding radio buttons R1
// (checked), R2 and R3, and "GroupBox2" holding R4 (checked) and R5; radio
// buttons R6 and R7 on the window; the DataControl stand-in "Data1"; and the
// black, left-aligned labels "Label1" ("&Name") and "Label2" ("Name") of one
// size. Every radio button's bound parts carry receivers logging under
// "<name>.checked" and "<name>.unchecked".
std::vector<ControlDescription> GroupingControlDescriptions();

// The description of that name in the list (a test failure and the first
// description when there is none).
ControlDescription& DescriptionNamed(std::vector<ControlDescription>& controls,
                                     const std::string& name);

class ControlTestWindow {
 public:
  // Makes the controls, adds them in order to a new window, opens and shows
  // it, then clears the log.
  explicit ControlTestWindow(std::vector<ControlDescription> controls);
  ~ControlTestWindow();  // closes the window when it is still open
  ControlTestWindow(const ControlTestWindow&) = delete;
  ControlTestWindow& operator=(const ControlTestWindow&) = delete;

  RuntimeObject* Window() const { return window_.get(); }
  // What was logged while the window opened.
  const std::vector<std::string>& OpeningLog() const { return openingLog_; }
  HWND Handle() const;
  bool IsOpen() const;
  void Close();

  // The control of that name (borrowed); nil once the window has closed.
  RuntimeObject* Control(const std::string& name) const;
  SubPane* Pane(const std::string& name) const;
  HWND Native(const std::string& name) const;
  // The native windows of the control's pane pair: host, then native.
  std::vector<HWND> PaneWindows(const std::string& name) const;
  // Gives the control the focus (SetFocusPane), then clears the log.
  void FocusOn(const std::string& name) const;

  // ---- Handlers a test replaces (by control name) ----
  // MouseDown answers `handled` after logging.
  void AnswerMouseDown(const std::string& name, bool handled);
  // KeyDown answers `handled` after logging.
  void AnswerKeyDown(const std::string& name, bool handled);
  // A DataControl event with a Boolean result answers `answer` after logging
  // ("MoveNext", "Validate", "Insert" ...).
  void AnswerEvent(const std::string& name, const std::string& event, bool answer);
  // Runs after the event's line is logged (the control is its argument, the
  // Graphics for "Paint"): "Action", "AcceleratorKey", "Change", "Paint",
  // "MouseDown", "Play", "Stop", "ControllerSizeChanged", "TextChange",
  // "SelChange" and a DataControl's nine events.
  void OnEvent(const std::string& name, const std::string& event,
               std::function<void(RuntimeObject*)> extra);
  void OnAction(const std::string& name, std::function<void(RuntimeObject*)> extra) {
    OnEvent(name, "Action", std::move(extra));
  }
  // The handler of the event closes the window.
  void CloseOn(const std::string& name, const std::string& event);
  void CloseOnAction(const std::string& name) { CloseOn(name, "Action"); }

  // ---- Input ----
  // BM_CLICK sent to the control's native window.
  void Click(const std::string& name) const;
  // WM_KEYDOWN posted to the focused window, then one turn of the main loop.
  void PressKey(UINT virtualKey) const;
  // Real input: the window to the front, the pointer to the control's point
  // (x, y from its top-left), a press and a release; then the main loop
  // runs until the input is taken.
  void RealClick(const std::string& name, int x, int y) const;
  // Real input: a press at the client point (x, y) of a window of the
  // test window, a move by (dx, dy), a release, each taken in turn.
  void RealDrag(HWND target, int x, int y, int dx, int dy) const;
  // Real input: a key pressed and released at the focused window.
  void RealKey(WORD virtualKey) const;

 private:
  ObjectRef window_;
  std::vector<std::string> openingLog_;
  std::map<std::string, bool> mouseDownAnswers_;
  std::map<std::string, bool> keyDownAnswers_;
  std::map<std::string, bool> eventAnswers_;  // by "<name>.<event>"
  // By "<name>.<event>".
  std::map<std::string, std::function<void(RuntimeObject*)>> extras_;

  friend struct ControlTestWindowHandlers;
};
