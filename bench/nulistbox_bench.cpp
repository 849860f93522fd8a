// Figures of the list pane's rows against a raw extended-selection LISTBOX
// holding the same rows, in one shown window: a Shift-click over 1,000,
// 10,000 and 100,000 rows against LB_SELITEMRANGEEX; IsRowSelected over a
// screen of 40 rows with 500, 5,000 and 50,000 ranges (alternate rows
// selected) against LB_GETSEL; 10,000 consecutive insertions in one turn
// against LB_INSERTSTRING (the LISTBOX with its redraw off, as the pane
// draws nothing until the turn ends), with the count of full invalidations
// they cost. Each size also prints its ratio to the previous size.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchClock.h"
#include "controls/listbox/NuListbox.h"
#include "core/RuntimeObjectFoundation.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowPane.h"
#include "ui/window.h"

namespace {

// "12.34x previous size", or dashes for the first size.
std::string AgainstPrevious(double time, double previous) {
  char text[32] = "    - previous size";
  if (previous > 0) std::snprintf(text, sizeof text, "%5.2fx previous size", time / previous);
  return text;
}

constexpr int kRowHeight = 16;
constexpr int kWidth = 300;
constexpr int kHeight = 660;  // 40 rows of content

// A list whose row invalidations reach the window, as a list box's do.
class BenchList : public NuListbox {
 public:
  BenchList(SubPane* parent, ListPaneListener* listener, ListRowProvider* provider)
      : NuListbox(parent, 0, MacRect{0, 0, kHeight, kWidth}, listener, provider, true, 1) {}
  int fullInvalidations = 0;

  int32_t RowHeight(int32_t) override { return kRowHeight; }
  void InvalidateCells(int32_t, int32_t) override {
    ++fullInvalidations;
    Invalidate(false);
  }
  void InvalidateRow(int32_t row) override { InvalidateRows(row, false); }
  void InvalidateFromRow(int32_t row) override { InvalidateRows(row, true); }

 private:
  void InvalidateRows(int32_t row, bool below) {
    MacRect rows, visible;
    if (!GetRowsRect(std::max(row, TopRow()), 1, &rows, &visible)) return;
    if (below) visible.bottom = GetContentRect().bottom;
    InvalidateRect(visible, false);
  }
};

struct Bench {
  SubPane* windowPane;
  HWND window;
  ListRowProvider provider;
  ListPaneListener listener;
};

BenchList* NewList(Bench* bench, int32_t rows) {
  auto* list = new BenchList(bench->windowPane, &bench->listener, &bench->provider);
  list->ShowVerticalScrollBar();
  list->RowsInserted(0, rows);
  UpdateWindow(list->NativeWindow());  // drawn, as a list is when rows change
  return list;
}

HWND NewListBox(Bench* bench, int rows) {
  HWND box = CreateWindowExW(0, L"LISTBOX", L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_EXTENDEDSEL |
                                 LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                             kWidth, 0, kWidth, kHeight, bench->window, nullptr, nullptr, nullptr);
  SendMessageW(box, LB_INITSTORAGE, rows, rows * 8);
  SendMessageW(box, WM_SETREDRAW, FALSE, 0);
  for (int row = 0; row < rows; ++row) {
    SendMessageW(box, LB_ADDSTRING, 0, LPARAM(std::to_wstring(row).c_str()));
  }
  SendMessageW(box, WM_SETREDRAW, TRUE, 0);
  return box;
}

// Milliseconds of `runs` runs of the timed step, each after its untimed
// preparation.
template <typename Prepare, typename Step>
double Milliseconds(int runs, Prepare prepare, Step step) {
  double total = 0;
  for (int run = 0; run < runs; ++run) {
    prepare();
    const double start = Now();
    step();
    total += Now() - start;
  }
  return total * 1000.0 / runs;
}

void ShiftClickRows(Bench* bench) {
  double previous = 0;
  for (int32_t rows : {1000, 10000, 100000}) {
    BenchList* list = NewList(bench, rows);
    const int x = kWidth / 2;
    const auto yOf = [&](int32_t row) {
      return list->GetContentRect().top + (row - list->TopRow()) * kRowHeight + kRowHeight / 2;
    };
    const double pane = Milliseconds(
        10,
        [&] {
          list->SetTopRow(0);
          list->MouseDown(x, yOf(0), 0);
          list->SetTopRow(rows);
        },
        [&] { list->MouseDown(x, yOf(rows - 1), kModifierShift); });
    const bool right = list->SelectedRowCount() == rows && list->Selection().Head()->next == nullptr;
    DisposePaneTree(list);
    HWND box = NewListBox(bench, rows);
    const double peer = Milliseconds(
        10, [&] { SendMessageW(box, LB_SETSEL, FALSE, -1); },
        [&] { SendMessageW(box, LB_SELITEMRANGEEX, 0, rows - 1); });
    DestroyWindow(box);
    std::printf("shift-click %6d rows %8.3f ms %s, LISTBOX %8.3f ms, %s, %5.2fx "
                "LB_SELITEMRANGEEX goal <= 3\n",
                rows, pane, right ? "one range" : "WRONG", peer,
                AgainstPrevious(pane, previous).c_str(), pane / peer);
    previous = pane;
  }
}

void QueryScreens(Bench* bench) {
  constexpr int kScreens = 1000, kScreen = 40;
  double previous = 0;
  for (int32_t ranges : {500, 5000, 50000}) {
    const int32_t rows = ranges * 2;
    BenchList* list = NewList(bench, rows);
    HWND box = NewListBox(bench, rows);
    SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    for (int32_t row = 0; row < rows; row += 2) {
      list->SetRowSelected(row, true);
      SendMessageW(box, LB_SETSEL, TRUE, row);
    }
    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    int selected = 0;
    const double pane = Milliseconds(1, [] {}, [&] {
      for (int screen = 0; screen < kScreens; ++screen) {
        for (int32_t row = 0; row < kScreen; ++row) selected += list->IsRowSelected(row);
      }
    }) / kScreens;
    const double peer = Milliseconds(1, [] {}, [&] {
      for (int screen = 0; screen < kScreens; ++screen) {
        for (int32_t row = 0; row < kScreen; ++row) {
          selected -= int(SendMessageW(box, LB_GETSEL, row, 0) > 0);
        }
      }
    }) / kScreens;
    DisposePaneTree(list);
    DestroyWindow(box);
    std::printf("screen of %d rows, %5d ranges %8.4f ms%s, LB_GETSEL %8.4f ms, %s, %6.2fx "
                "LB_GETSEL%s\n",
                kScreen, ranges, pane, selected == 0 ? "" : " WRONG", peer,
                AgainstPrevious(pane, previous).c_str(), pane / peer,
                ranges == 5000 ? "   goal: under 1 ms" : "");
    previous = pane;
  }
}

void InsertRows(Bench* bench) {
  constexpr int32_t kRows = 10000;
  BenchList* list = NewList(bench, 0);
  list->fullInvalidations = 0;
  const double pane = Milliseconds(1, [] {}, [&] {
    for (int32_t row = 0; row < kRows; ++row) list->RowsInserted(row, 1);
  });
  const int duringCalls = list->fullInvalidations;
  RuntimeRunTurn(0);
  const int afterTurn = list->fullInvalidations;
  DisposePaneTree(list);
  HWND box = NewListBox(bench, 0);
  SendMessageW(box, WM_SETREDRAW, FALSE, 0);
  const double peer = Milliseconds(1, [] {}, [&] {
    for (int32_t row = 0; row < kRows; ++row) {
      SendMessageW(box, LB_INSERTSTRING, row, LPARAM(L"row"));
    }
  });
  DestroyWindow(box);
  std::printf("%d insertions %8.3f ms, InvalidateCells %d during, %d after the turn (goal 0, 1), "
              "LB_INSERTSTRING %8.3f ms, %5.2fx LB_INSERTSTRING\n",
              kRows, pane, duringCalls, afterTurn, peer, pane / peer);
}

}  // namespace

int main() {
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::printf("start-up failed: %s\n", error.c_str());
    return 1;
  }
  RuntimeObject* window = CreateInstance(GetWindowClassDefinition());
  WindowFields* fields = WindowFieldsOf(window);
  fields->width = 2 * kWidth;
  fields->height = kHeight;
  fields->visible = 1;
  WindowOpen(window);
  for (int turn = 0; turn < 200 && !IsWindowVisible(WindowHandle(window)); ++turn) {
    RuntimeRunTurn(10);
  }
  Bench bench{WindowPaneOf(window), WindowHandle(window), {}, {}};
  ShiftClickRows(&bench);
  QueryScreens(&bench);
  InsertRows(&bench);
  WindowClose(window);
  return 0;
}
