// Figures of the panels: a TabPanel of 50, 100, 200 and 400 tabs (each
// caption with a mnemonic) with 5 check boxes per page, and a PagePanel with
// the same pages, each in a window of its own. Timed: opening the window,
// selecting every tab once, closing. The peer is raw Win32 doing the same
// work: a "SysTabControl32" filled with TCM_INSERTITEMW and "BUTTON" check
// boxes shown and hidden with ShowWindow at each switch; every phase drains
// the messages it caused. Prints each phase's ratio to the peer, then the
// growth per doubling of the tabs of one switch and of opening.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "controls/CheckBox.h"
#include "controls/PagePanel.h"
#include "controls/TabPanel.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"
#include "ui/window.h"

namespace {

constexpr int kBoxesPerPage = 5;
constexpr int kWidth = 600;
constexpr int kHeight = 400;
constexpr int kRuns = 3;
const int kTabCounts[] = {50, 100, 200, 400};

struct Phases {
  double open = 1e9;
  double select = 1e9;  // all switches
  double close = 1e9;
};

void Drain() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// At least one turn: a window waiting to be shown is shown at a turn's start.
void DrainTurns() {
  MSG message;
  do {
    RuntimeRunTurn(0);
  } while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
}

double Seconds(const std::function<void()>& work) {
  const double start = Now();
  work();
  return Now() - start;
}

void Keep(Phases* best, const Phases& run) {
  best->open = std::min(best->open, run.open);
  best->select = std::min(best->select, run.select);
  best->close = std::min(best->close, run.close);
}

MacRect BoxBounds(int box) {
  return MacRect{int16_t(40 + box * 24), 20, int16_t(60 + box * 24), 160};
}

void SetInteger(RuntimeObject* control, const char* name, int32_t value) {
  PropertyAccess access{};
  if (FindPropertyAccess(control, name, &access) && access.setter) {
    reinterpret_cast<void (*)(RuntimeObject*, uint32_t, int32_t)>(access.setter)(
        control, access.parameter, value);
  }
}

void AddControl(RuntimeObject* window, RuntimeObject* control, const std::string& name,
                const MacRect& bounds) {
  StringRef controlName = StringRef::Adopt(StringFromUTF8(name));
  ControlSetName(control, controlName.get());
  ControlFields(control)->bounds = bounds;
  WindowAddControl(window, control);
}

std::string TabCaptions(int tabs) {
  std::string caption;
  for (int k = 0; k < tabs; ++k) {
    caption += (k ? "\r&" : "&") + std::string(1, char('A' + k % 26)) + std::to_string(k);
  }
  return caption;
}

// A window holding one panel with `tabs` pages of check boxes.
ObjectRef PanelWindow(bool tabPanel, int tabs) {
  ObjectRef window = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFields* fields = WindowFieldsOf(window.get());
  fields->width = kWidth;
  fields->height = kHeight;
  fields->visible = 1;
  ObjectRef panel = ObjectRef::Adopt(
      CreateInstance(tabPanel ? GetTabPanelClassDefinition() : GetPagePanelClassDefinition()));
  if (tabPanel) {
    StringRef caption = StringRef::Adopt(StringFromUTF8(TabCaptions(tabs)));
    StringAssign(&ObjectFields<TabPanelFields>(panel.get())->caption, caption.get());
  } else {
    SetInteger(panel.get(), "PanelCount", tabs);
  }
  AddControl(window.get(), panel.get(), "Panel", MacRect{10, 10, kHeight - 10, kWidth - 10});
  for (int page = 1; page <= tabs; ++page) {
    for (int box = 0; box < kBoxesPerPage; ++box) {
      ObjectRef check = ObjectRef::Adopt(CreateInstance(GetCheckBoxClassDefinition()));
      ControlFields(check.get())->parentControl = panel.get();
      ControlFields(check.get())->tabPanelIndex = page;
      AddControl(window.get(), check.get(), "Box" + std::to_string(page * 10 + box),
                 BoxBounds(box));
    }
  }
  return window;
}

Phases RunOurs(bool tabPanel, int tabs) {
  Phases phases;
  ObjectRef window = PanelWindow(tabPanel, tabs);
  phases.open = Seconds([&] {
    WindowOpen(window.get());
    DrainTurns();
  });
  RuntimeObject* panel = WindowFindControl(window.get(), "Panel");
  phases.select = Seconds([&] {
    for (int k = 1; k <= tabs; ++k) {
      SetInteger(panel, "Value", k % tabs);
      DrainTurns();
    }
  });
  phases.close = Seconds([&] {
    WindowClose(window.get());
    DrainTurns();
  });
  return phases;
}

LRESULT CALLBACK PeerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

Phases RunPeer(int tabs) {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PeerProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"TabsBenchPeer";
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
  Phases phases;
  HWND top = nullptr;
  std::vector<HWND> boxes;
  phases.open = Seconds([&] {
    top = CreateWindowExW(0, L"TabsBenchPeer", L"Peer", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                          60, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    HWND tabControl =
        CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10,
                        kWidth - 20, kHeight - 20, top, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(top, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(tabControl));
    for (int k = 0; k < tabs; ++k) {
      std::wstring caption = L"&" + std::wstring(1, wchar_t(L'A' + k % 26)) + std::to_wstring(k);
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = caption.data();
      SendMessageW(tabControl, TCM_INSERTITEMW, WPARAM(k), reinterpret_cast<LPARAM>(&item));
      for (int box = 0; box < kBoxesPerPage; ++box) {
        const MacRect bounds = BoxBounds(box);
        boxes.push_back(CreateWindowExW(
            0, L"BUTTON", L"", WS_CHILD | BS_AUTOCHECKBOX | (k == 0 ? WS_VISIBLE : 0),
            bounds.left - 10, bounds.top - 10, bounds.right - bounds.left,
            bounds.bottom - bounds.top, tabControl, nullptr, nullptr, nullptr));
      }
    }
    ShowWindow(top, SW_SHOWNA);
    Drain();
  });
  HWND tabControl = reinterpret_cast<HWND>(GetWindowLongPtrW(top, GWLP_USERDATA));
  phases.select = Seconds([&] {
    for (int k = 1; k <= tabs; ++k) {
      const int old = (k - 1) % tabs;
      const int next = k % tabs;
      SendMessageW(tabControl, TCM_SETCURSEL, WPARAM(next), 0);
      for (int box = 0; box < kBoxesPerPage; ++box) {
        ShowWindow(boxes[size_t(old * kBoxesPerPage + box)], SW_HIDE);
        ShowWindow(boxes[size_t(next * kBoxesPerPage + box)], SW_SHOWNA);
      }
      Drain();
    }
  });
  phases.close = Seconds([&] {
    DestroyWindow(top);
    Drain();
  });
  return phases;
}

void Compare(const std::string& name, double ours, double peer, double goal) {
  std::printf("%-30s %9.2f ms   raw Win32 %9.2f ms   %6.2fx raw goal <= %.1f\n", name.c_str(),
              ours * 1e3, peer * 1e3, peer > 0 ? ours / peer : 0.0, goal);
}

void Growth(const std::string& name, double ratio, double goal) {
  std::printf("%-30s %6.2fx per doubling                     goal <= %.1f\n", name.c_str(), ratio,
              goal);
}

}  // namespace

int main() {
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::printf("start-up failed: %s\n", error.c_str());
    return 1;
  }
  // Classes, fonts and the common controls are made once, at the first use.
  RunOurs(true, 2);
  RunPeer(2);
  for (bool tabPanel : {true, false}) {
    const char* kind = tabPanel ? "TabPanel" : "PagePanel";
    std::vector<Phases> ours;
    for (int tabs : kTabCounts) {
      Phases best;
      Phases peer;
      for (int run = 0; run < kRuns; ++run) {
        Keep(&best, RunOurs(tabPanel, tabs));
        Keep(&peer, RunPeer(tabs));
      }
      ours.push_back(best);
      const std::string prefix = std::string(kind) + " " + std::to_string(tabs) + " ";
      Compare(prefix + "open", best.open, peer.open, 3);
      Compare(prefix + "select all", best.select, peer.select, 3);
      Compare(prefix + "close", best.close, peer.close, 3);
    }
    for (size_t k = 1; k < ours.size(); ++k) {
      const std::string prefix = std::string(kind) + " " + std::to_string(kTabCounts[k - 1]) +
                                 "->" + std::to_string(kTabCounts[k]) + " ";
      const double perSwitch =
          (ours[k].select / kTabCounts[k]) / (ours[k - 1].select / kTabCounts[k - 1]);
      Growth(prefix + "one switch", perSwitch, 1.5);
      Growth(prefix + "open", ours[k].open / ours[k - 1].open, 2.5);
    }
  }
  return 0;
}
