// The dialog watcher's thread.
#include "testsupport/DialogWatcher.h"

namespace {

constexpr DWORD kPollMs = 20;

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

BOOL CALLBACK TakeProcessDialog(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != "#32770") {
    return TRUE;
  }
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256) {
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    }
    items.push_back(text);
  }
  return items;
}

BOOL CALLBACK TakeControl(HWND child, LPARAM seen) {
  const std::string className = ClassOf(child);
  reinterpret_cast<DialogWatcher::Seen*>(seen)->controls.push_back(
      {GetDlgCtrlID(child), className, TextOf(child),
       className == "ComboBox" ? ComboItems(child) : std::vector<std::wstring>()});
  return TRUE;
}

// The process's visible dialogs, topmost first.
std::vector<HWND> ProcessDialogs() {
  std::vector<HWND> found;
  EnumWindows(TakeProcessDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindProcessDialog() {
  const std::vector<HWND> dialogs = ProcessDialogs();
  return dialogs.empty() ? nullptr : dialogs.front();
}

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

DialogWatcher::DialogWatcher(Plan plan) : plan_(std::move(plan)), thread_([this] { Watch(); }) {}

DialogWatcher::~DialogWatcher() { Finish(); }

const DialogWatcher::Seen& DialogWatcher::Finish() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void DialogWatcher::Watch() {
  const DWORD start = GetTickCount();
  const auto pastDeadline = [&] { return GetTickCount() - start >= plan_.deadlineMs; };
  HWND dialog = nullptr;
  while (!dialog && !stop_) {
    Sleep(kPollMs);
    dialog = FindProcessDialog();
  }
  if (!dialog) return;
  seen_.found = true;
  seen_.title = TextOf(dialog);
  GetWindowRect(dialog, &seen_.frame);
  EnumChildWindows(dialog, TakeControl, reinterpret_cast<LPARAM>(&seen_));
  if (!pastDeadline()) {
    for (const auto& [id, text] : plan_.texts) SetDlgItemTextW(dialog, id, text.c_str());
    for (const auto& [id, index] : plan_.choices) {
      HWND combo = GetDlgItem(dialog, id);
      SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
      for (WORD notice : {CBN_SELCHANGE, CBN_SELENDOK}) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, notice), reinterpret_cast<LPARAM>(combo));
      }
    }
    if (plan_.button != 0) Press(dialog, plan_.button);
  }
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (pastDeadline()) {
      // A box the dialog opened (a "not found" message) runs a modal loop
      // of its own that the dialog's Cancel cannot end: cancel it too.
      seen_.cancelledAtDeadline = true;
      for (HWND open : ProcessDialogs()) Press(open, IDCANCEL);
      return;
    }
    Sleep(kPollMs);
  }
}
