// Answers a system dialog that a test makes the run-time show: a thread
// waits for a visible "#32770" window of this process, reads its title,
// frame and control texts, sets the planned texts and presses the planned
// button. Should the dialog still be there at the deadline (or appear only
// after it), it presses Cancel, so that no test hangs on a modal window.
//
// Start the watcher before the call that shows the dialog and Finish it when
// the call has returned: a watcher still waiting for a dialog then stops.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class DialogWatcher {
 public:
  struct Plan {
    // Texts to set first, by control id.
    std::vector<std::pair<int, std::wstring>> texts;
    // The button to press (its control id); 0 presses nothing.
    int button = IDOK;
    DWORD deadlineMs = 10000;
    // After the texts, combo box items to choose, by control id and index,
    // each chosen as a click would (the dialog is told of the change).
    std::vector<std::pair<int, int>> choices = {};
  };
  struct Control {
    int id;
    std::string className;
    std::wstring text;
    std::vector<std::wstring> items;  // of a combo box, in its order
  };
  struct Seen {
    bool found = false;
    std::wstring title;
    RECT frame{};
    std::vector<Control> controls;
    // Cancel had to be pressed at the deadline.
    bool cancelledAtDeadline = false;
  };

  explicit DialogWatcher(Plan plan);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  // Stops the wait for a dialog and joins the thread; what it saw.
  const Seen& Finish();

 private:
  void Watch();

  Plan plan_;
  Seen seen_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
