// Figures of the list box, driven through the class's entry points as
// compiled code drives it, in a shown 800 x 600 window, against a LISTBOX
// (one column) and an owner-data ListView (three columns, texts from the
// application's own vector) filled with the same texts. For 10,000, 100,000
// and 1,000,000 rows: adding, memory, drawing the visible rows, scrolling a
// row, sorting, a cell update and deleting everything; then each figure's
// growth from size to size, a one-column list's memory, a folder of 10,000
// children collapsed and expanded, a paint with 5,000 selected ranges, and
// a reorder drop (through the drag seam) of 1,000 and of 25,000 selected
// rows of 50,000 to the top and to the end, against a LISTBOX moving the
// same strings one by one. Each list is released before the next one is
// made.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "controls/listbox/ListBox.h"
#include "controls/listbox/ListBoxMembers.h"
#include "controls/listbox/runListbox.h"
#include "core/utility.h"
#include "testsupport/ClassBuilder.h"
#include "ui/DragItem.h"

namespace {

constexpr int32_t kWindowWidth = 800;
constexpr int32_t kWindowHeight = 600;
constexpr int32_t kListHeight = 600;
constexpr int32_t kColumns = 3;
constexpr int32_t kSteps = 200;
constexpr int32_t kPaints = 20;
constexpr int32_t kChildren = 10000;

// "Row " and 7 digits of a scrambled number, formatted where it is used.
std::string RowText(uint32_t row, uint32_t column) {
  char text[16];
  std::snprintf(text, sizeof text, "Row %07u", (row * 2654435761u + column * 40503u) % 10000000u);
  return text;
}
std::wstring RowTextW(uint32_t row, uint32_t column) {
  wchar_t text[16];
  std::swprintf(text, 16, L"Row %07u", (row * 2654435761u + column * 40503u) % 10000000u);
  return text;
}

void Row(const char* what, double value, const char* unit, double ratio, const char* peer,
         const char* relation, double goal) {
  std::printf("%-44s %12.3f %-12s %8.2fx %s goal %s %g\n", what, value, unit, ratio, peer, relation,
              goal);
}
void Figure(const char* what, double value, const char* unit) {
  std::printf("%-44s %12.3f %s\n", what, value, unit);
}

// Three columns of 200 pixels within the margins and beside the bar.
MacRect ListBounds() {
  return MacRect{0, 0, int16_t(kListHeight), int16_t(600 + 4 + GetSystemMetrics(SM_CXVSCROLL))};
}

std::string Label(const char* what, int32_t rows) { return std::string(what) + " " + std::to_string(rows); }

template <typename Step>
double Seconds(Step step) {
  const double start = Now();
  step();
  return Now() - start;
}

// ---- The run-time list ----

ClassBuilder& ListClass();

void AddChildren(RuntimeObject* control, int32_t) {
  for (int32_t child = 0; child < kChildren; ++child) {
    StringRef text = StringRef::Adopt(StringFromASCII(RowText(uint32_t(child), 9).c_str()));
    RuntimeListAddRow(control, text.get());
  }
}

ClassBuilder& ListClass() {
  static ClassBuilder builder(GetListboxClassDefinition(), "BenchListbox");
  static const bool handled = (builder.Handle("ExpandRow", &AddChildren), true);
  (void)handled;
  return builder;
}

struct RunTimeList {
  ObjectRef window;
  ObjectRef control;
  runListbox* pane;
};

RunTimeList OpenList(int32_t columns, bool hierarchical, int32_t selectionType) {
  ObjectRef control = BenchControl(ListClass().NewInstance(), "List", ListBounds());
  ListboxFields* fields = ListboxFieldsOf(control.get());
  fields->verticalScrollBar = 1;
  fields->hierarchical = hierarchical ? 1 : 0;
  fields->selectionType = selectionType;
  fields->columnCount = columns;
  ObjectRef window = OpenBenchWindow(kWindowWidth, kWindowHeight, {control});
  std::string widths = "200";
  for (int32_t column = 1; column < columns; ++column) widths += ", 200";
  listColumnWidthsSetter(control.get(), 0, StringRef::Adopt(StringFromASCII(widths.c_str())).get());
  // Whole rows fill the content, as a scroll of one row then draws one row.
  runListbox* pane = ListboxPaneOf(fields);
  const int32_t h = pane->RowHeight(-1);
  const MacRect content = pane->GetContentRect();
  const int32_t extra = kListHeight - (content.bottom - content.top);
  MacRect bounds = ListBounds();
  bounds.bottom = int16_t((kListHeight - extra) / h * h + extra);
  pane->SetBounds(bounds, true);
  return RunTimeList{window, control, pane};
}

void CloseList(RunTimeList* list) {
  WindowClose(list->window.get());
  for (int turn = 0; turn < 5; ++turn) RuntimeRunTurn(0);
  *list = RunTimeList{};
}

void Settle(const RunTimeList& list) {
  RuntimeRunTurn(0);
  UpdateWindow(list.pane->NativeWindow());
}

void AddRows(const RunTimeList& list, int32_t rows, int32_t columns) {
  for (int32_t row = 0; row < rows; ++row) {
    StringRef text = StringRef::Adopt(StringFromASCII(RowText(uint32_t(row), 0).c_str()));
    RuntimeListAddRow(list.control.get(), text.get());
    for (int32_t column = 1; column < columns; ++column) {
      StringRef cell = StringRef::Adopt(StringFromASCII(RowText(uint32_t(row), uint32_t(column)).c_str()));
      listSetCell(list.control.get(), row, column, cell.get());
    }
  }
  Settle(list);
}

void Repaint(const RunTimeList& list) {
  listInvalidateCell(list.control.get(), -1, -1);
  UpdateWindow(list.pane->NativeWindow());
}

struct Figures {
  double add, memory, draw, scroll, cellsPerStep, sort, update, remove;
};

Figures MeasureRunTime(int32_t rows) {
  Figures f{};
  RunTimeList list = OpenList(kColumns, false, 0);
  const uint64_t before = RuntimeLiveBytes();
  f.add = Seconds([&] { AddRows(list, rows, kColumns); }) * 1e6 / rows;
  f.memory = double(RuntimeLiveBytes() - before) / rows;
  f.draw = Seconds([&] {
             for (int32_t paint = 0; paint < kPaints; ++paint) Repaint(list);
           }) * 1e3 / kPaints;
  const int32_t cells = list.pane->DrawCellCount();
  f.scroll = Seconds([&] {
               for (int32_t step = 1; step <= kSteps; ++step) {
                 listScrollPositionSetter(list.control.get(), 0, step);
                 UpdateWindow(list.pane->NativeWindow());
               }
             }) * 1e3 / kSteps;
  f.cellsPerStep = double(list.pane->DrawCellCount() - cells) / kSteps;
  listSortedColumnSetter(list.control.get(), 0, 0);
  f.sort = Seconds([&] {
             for (int32_t direction : {1, -1}) {
               listColumnSortDirectionSetter(list.control.get(), 0, direction);
               RuntimeListResort(list.control.get());
               UpdateWindow(list.pane->NativeWindow());
             }
           }) * 1e6 / rows;
  const int32_t top = list.pane->TopRow();
  f.update = Seconds([&] {
               for (int32_t step = 0; step < kSteps; ++step) {
                 StringRef text = StringRef::Adopt(StringFromASCII(RowText(uint32_t(step), 5).c_str()));
                 listSetCell(list.control.get(), top + step % 10, 1, text.get());
                 UpdateWindow(list.pane->NativeWindow());
               }
             }) * 1e3 / kSteps;
  f.remove = Seconds([&] {
               RuntimeListEmpty(list.control.get());
               Settle(list);
             }) * 1e6 / rows;
  CloseList(&list);
  return f;
}

// ---- The LISTBOX ----

// Bytes in use in the process heaps, by HeapWalk.
uint64_t HeapBytesInUse() {
  HANDLE heaps[64];
  const DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
  uint64_t total = 0;
  for (DWORD i = 0; i < count; ++i) {
    PROCESS_HEAP_ENTRY entry{};
    if (!HeapLock(heaps[i])) continue;
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

struct ListBoxFigures {
  double add, memory, draw, scroll, remove;
};

ListBoxFigures MeasureListBox(HWND parent, int32_t rows) {
  ListBoxFigures f{};
  const uint64_t before = HeapBytesInUse();
  HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                             ListBounds().right, ListBounds().bottom, parent, nullptr, nullptr, nullptr);
  UpdateWindow(box);
  f.add = Seconds([&] {
            SendMessageW(box, WM_SETREDRAW, FALSE, 0);
            for (int32_t row = 0; row < rows; ++row) {
              SendMessageW(box, LB_ADDSTRING, 0, LPARAM(RowTextW(uint32_t(row), 0).c_str()));
            }
            SendMessageW(box, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(box, nullptr, TRUE);
            UpdateWindow(box);
          }) * 1e6 / rows;
  f.memory = double(HeapBytesInUse() - before) / rows;
  f.draw = Seconds([&] {
             for (int32_t paint = 0; paint < kPaints; ++paint) {
               InvalidateRect(box, nullptr, TRUE);
               UpdateWindow(box);
             }
           }) * 1e3 / kPaints;
  f.scroll = Seconds([&] {
               for (int32_t step = 0; step < kSteps; ++step) {
                 SendMessageW(box, WM_VSCROLL, SB_LINEDOWN, 0);
                 UpdateWindow(box);
               }
             }) * 1e3 / kSteps;
  f.remove = Seconds([&] {
               SendMessageW(box, LB_RESETCONTENT, 0, 0);
               UpdateWindow(box);
             }) * 1e6 / rows;
  DestroyWindow(box);
  return f;
}

// ---- The owner-data ListView ----

std::vector<std::array<std::wstring, kColumns>> viewRows;

LRESULT CALLBACK ViewHostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    if (info->hdr.code == LVN_GETDISPINFOW && (info->item.mask & LVIF_TEXT) &&
        size_t(info->item.iItem) < viewRows.size() && info->item.iSubItem < kColumns) {
      const std::wstring& text = viewRows[size_t(info->item.iItem)][size_t(info->item.iSubItem)];
      lstrcpynW(info->item.pszText, text.c_str(), info->item.cchTextMax);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND NewViewHost(HWND parent) {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ViewHostProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ListBenchViewHost";
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
  return CreateWindowExW(0, L"ListBenchViewHost", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                         0, ListBounds().right, ListBounds().bottom, parent, nullptr, nullptr, nullptr);
}

struct ViewFigures {
  double add, draw, scroll, sort, update;
};

ViewFigures MeasureListView(HWND parent, int32_t rows) {
  ViewFigures f{};
  HWND host = NewViewHost(parent);
  HWND view = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0,
                              ListBounds().right, ListBounds().bottom, host, nullptr, nullptr, nullptr);
  for (int32_t column = 0; column < kColumns; ++column) {
    LVCOLUMNW record{};
    record.mask = LVCF_WIDTH;
    record.cx = 200;
    SendMessageW(view, LVM_INSERTCOLUMNW, column, LPARAM(&record));
  }
  UpdateWindow(view);
  f.add = Seconds([&] {
            viewRows.resize(size_t(rows));
            for (int32_t row = 0; row < rows; ++row) {
              for (int32_t column = 0; column < kColumns; ++column) {
                viewRows[size_t(row)][size_t(column)] = RowTextW(uint32_t(row), uint32_t(column));
              }
            }
            SendMessageW(view, LVM_SETITEMCOUNT, rows, 0);
            UpdateWindow(view);
          }) * 1e6 / rows;
  f.draw = Seconds([&] {
             for (int32_t paint = 0; paint < kPaints; ++paint) {
               InvalidateRect(view, nullptr, TRUE);
               UpdateWindow(view);
             }
           }) * 1e3 / kPaints;
  const int32_t rowHeight = HIWORD(SendMessageW(view, LVM_GETITEMSPACING, TRUE, 0));
  f.scroll = Seconds([&] {
               for (int32_t step = 0; step < kSteps; ++step) {
                 SendMessageW(view, LVM_SCROLL, 0, rowHeight);
                 UpdateWindow(view);
               }
             }) * 1e3 / kSteps;
  f.sort = Seconds([&] {
             for (bool ascending : {true, false}) {
               std::stable_sort(viewRows.begin(), viewRows.end(), [&](const auto& a, const auto& b) {
                 const int order = lstrcmpiW(a[0].c_str(), b[0].c_str());
                 return ascending ? order < 0 : order > 0;
               });
               InvalidateRect(view, nullptr, TRUE);
               UpdateWindow(view);
             }
           }) * 1e6 / rows;
  const int32_t top = int32_t(SendMessageW(view, LVM_GETTOPINDEX, 0, 0));
  f.update = Seconds([&] {
               for (int32_t step = 0; step < kSteps; ++step) {
                 const int32_t row = top + step % 10;
                 viewRows[size_t(row)][1] = RowTextW(uint32_t(step), 5);
                 SendMessageW(view, LVM_REDRAWITEMS, row, row);
                 UpdateWindow(view);
               }
             }) * 1e3 / kSteps;
  DestroyWindow(host);
  viewRows = {};
  return f;
}

// ---- Runs ----

void Sizes(HWND peerParent) {
  // A first round warms the allocators and the display up; not printed.
  MeasureRunTime(10000);
  MeasureListBox(peerParent, 10000);
  MeasureListView(peerParent, 10000);
  const int32_t sizes[] = {10000, 100000, 1000000};
  std::map<int32_t, Figures> figures;
  for (int32_t rows : sizes) {
    const Figures f = MeasureRunTime(rows);
    figures[rows] = f;
    const ListBoxFigures box = MeasureListBox(peerParent, rows);
    const ViewFigures view = MeasureListView(peerParent, rows);
    Row(Label("add rows", rows).c_str(), f.add, "us/row", f.add / box.add, "LISTBOX", "<=", 3);
    Figure(Label("  LISTBOX add", rows).c_str(), box.add, "us/row");
    Figure(Label("  ListView fill and count", rows).c_str(), view.add, "us/row");
    Figure(Label("memory", rows).c_str(), f.memory, "bytes/row");
    Figure(Label("  LISTBOX memory", rows).c_str(), box.memory, "bytes/row");
    Row(Label("draw visible", rows).c_str(), f.draw, "ms", f.draw / view.draw, "ListView", "<=",
        1.5);
    Figure(Label("  LISTBOX repaint", rows).c_str(), box.draw, "ms");
    Row(Label("scroll a row", rows).c_str(), f.scroll, "ms/step", f.scroll / view.scroll,
        "ListView", "<=", 1.5);
    Figure(Label("  DrawCell calls per step", rows).c_str(), f.cellsPerStep, "(3 expected)");
    Figure(Label("  LISTBOX line down", rows).c_str(), box.scroll, "ms/step");
    Row(Label("sort up and down", rows).c_str(), f.sort, "us/row", f.sort / view.sort, "ListView",
        "<=", 1.5);
    Row(Label("cell update", rows).c_str(), f.update, "ms", f.update / view.update, "ListView",
        "<=", 2);
    Figure(Label("delete all", rows).c_str(), f.remove, "us/row");
    Figure(Label("  LISTBOX reset", rows).c_str(), box.remove, "us/row");
    std::fflush(stdout);
  }
  struct Scaled {
    const char* what;
    double Figures::*figure;
    double goal;
  };
  const Scaled scaled[] = {
      {"add", &Figures::add, 12},          {"delete all", &Figures::remove, 12},
      {"draw visible", &Figures::draw, 12}, {"scroll", &Figures::scroll, 12},
      {"cell update", &Figures::update, 12}, {"sort", &Figures::sort, 14},
  };
  for (const Scaled& s : scaled) {
    for (size_t i = 1; i < 3; ++i) {
      const double larger = figures[sizes[i]].*s.figure, smaller = figures[sizes[i - 1]].*s.figure;
      // Per-row figures grow by the size ratio times their per-row growth.
      const bool perRow = s.figure == &Figures::add || s.figure == &Figures::remove ||
                          s.figure == &Figures::sort;
      const double ratio = perRow ? larger * 10 / smaller : larger / smaller;
      const std::string what = std::string(s.what) + (i == 1 ? " 100k / 10k" : " 1M / 100k");
      Row(what.c_str(), ratio, "", ratio, i == 1 ? "10k" : "100k", "<=", s.goal);
    }
  }
}

void OneColumnMemory(HWND peerParent) {
  constexpr int32_t kRows = 100000;
  RunTimeList list = OpenList(1, false, 0);
  const uint64_t before = RuntimeLiveBytes();
  AddRows(list, kRows, 1);
  const double memory = double(RuntimeLiveBytes() - before) / kRows;
  CloseList(&list);
  const ListBoxFigures box = MeasureListBox(peerParent, kRows);
  Row("one-column memory 100000", memory, "bytes/row", memory / box.memory, "LISTBOX", "<=", 3);
}

void Folder() {
  RunTimeList list = OpenList(1, true, 0);
  StringRef folder = StringRef::Adopt(StringFromASCII("Folder"));
  RuntimeListAddParent(list.control.get(), folder.get());
  listSetExpanded(list.control.get(), 0, 1);
  AddRows(list, 100000 - kChildren - 1, 1);
  const double collapse = Seconds([&] {
    listSetExpanded(list.control.get(), 0, 0);
    Settle(list);
  });
  const double expand = Seconds([&] {
    listSetExpanded(list.control.get(), 0, 1);
    Settle(list);
  });
  Figure("collapse a folder of 10000 in 100000", collapse * 1e3, "ms");
  Figure("expand a folder of 10000 in 100000", expand * 1e3, "ms");
  CloseList(&list);
}

void SelectedRanges() {
  RunTimeList list = OpenList(kColumns, false, 1);
  AddRows(list, 100000, kColumns);
  auto repaint = [&] {
    return Seconds([&] {
             for (int32_t paint = 0; paint < kPaints; ++paint) Repaint(list);
           }) * 1e3 / kPaints;
  };
  for (int32_t row = 0; row < 10000; ++row) listSetSelected(list.control.get(), row, 1);
  const double one = repaint();
  for (int32_t row = 1; row < 10000; row += 2) listSetSelected(list.control.get(), row, 0);
  const double many = repaint();
  Figure("repaint with one selected range", one, "ms");
  std::printf("%-44s %12.3f %-12s %8.2fx one range\n", "repaint with 5000 selected ranges", many,
              "ms", many / one);
  CloseList(&list);
}

// ---- Reordering rows by dragging ----

constexpr int32_t kReorderRows = 50000;

// A drag that tracks one point of the list and drops there.
class DropAt final : public ListDragSeam {
 public:
  DropAt(runListbox* list, int32_t x, int32_t y) : list_(list), x_(x), y_(y) {}
  bool DetectDrag(SubPane*, int32_t, int32_t) override { return true; }
  void Drag(RuntimeObject* item) override {
    list_->TrackDrag(x_, y_, item);
    list_->NotifyDelegate(kDragDropNotification, int32_t(reinterpret_cast<intptr_t>(item)));
  }

 private:
  runListbox* list_;
  int32_t x_, y_;
};

// Every step-th row alone selected.
void SelectEvery(runListbox* pane, int32_t step) {
  NuListbox::SelectionCallsHeld held(pane);
  pane->SelectOnlyRow(-1, false);
  for (int32_t row = 0; row < kReorderRows; row += step) pane->SetRowSelected(row, true);
}

// Drops the selected rows of the list at the top (or past the last row),
// in seconds.
double ReorderDrop(const RunTimeList& list, bool toEnd) {
  runListbox* pane = list.pane;
  if (toEnd) listScrollPositionSetter(list.control.get(), 0, kReorderRows);
  Settle(list);
  const int32_t h = pane->RowHeight(-1);
  const MacRect content = pane->GetContentRect();
  const int32_t last = pane->RowCount() - 1;
  const int32_t y = toEnd ? content.top + (last - pane->TopRow()) * h + h * 3 / 4 : content.top + 2;
  DropAt drop(pane, 40, y - pane->Top());
  ListDragSeam* previous = SetListDragSeam(&drop);
  const int32_t first = pane->FirstSelectedRow();
  MacRect rows, visible;
  pane->GetRowsRect(pane->TopRow(), 1, &rows, &visible);
  const double seconds = Seconds([&] {
    pane->BeginRowDrag(first, rows.left + 40, rows.top + 2);
    Settle(list);
  });
  SetListDragSeam(previous);
  listScrollPositionSetter(list.control.get(), 0, 0);
  return seconds;
}

// The LISTBOX's move of the same rows: each taken out, then put back in
// order at the top or the end, with redrawing off.
double ListBoxReorder(HWND parent, int32_t step, bool toEnd) {
  HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                             ListBounds().right, ListBounds().bottom, parent, nullptr, nullptr, nullptr);
  SendMessageW(box, WM_SETREDRAW, FALSE, 0);
  for (int32_t row = 0; row < kReorderRows; ++row) {
    SendMessageW(box, LB_ADDSTRING, 0, LPARAM(RowTextW(uint32_t(row), 0).c_str()));
  }
  SendMessageW(box, WM_SETREDRAW, TRUE, 0);
  UpdateWindow(box);
  const double seconds = Seconds([&] {
    SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    std::vector<std::wstring> moved;
    wchar_t text[32];
    for (int32_t row = (kReorderRows - 1) / step * step; row >= 0; row -= step) {
      SendMessageW(box, LB_GETTEXT, WPARAM(row), LPARAM(text));
      moved.push_back(text);
      SendMessageW(box, LB_DELETESTRING, WPARAM(row), 0);
    }
    std::reverse(moved.begin(), moved.end());
    int32_t at = toEnd ? -1 : 0;
    for (const std::wstring& each : moved) {
      SendMessageW(box, LB_INSERTSTRING, WPARAM(at), LPARAM(each.c_str()));
      if (!toEnd) ++at;
    }
    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(box, nullptr, TRUE);
    UpdateWindow(box);
  });
  DestroyWindow(box);
  return seconds;
}

void Reorder(HWND peerParent) {
  RunTimeList list = OpenList(kColumns, false, 1);
  list.pane->SetDragReorderEnabled(true);
  AddRows(list, kReorderRows, kColumns);
  struct Move {
    int32_t step;
    bool toEnd;
    double ms;
  };
  Move moves[] = {{50, false, 0}, {50, true, 0}, {2, false, 0}, {2, true, 0}};
  for (Move& move : moves) {
    SelectEvery(list.pane, move.step);
    move.ms = ReorderDrop(list, move.toEnd) * 1e3;
    const double box = ListBoxReorder(peerParent, move.step, move.toEnd) * 1e3;
    const std::string what = "reorder " + std::to_string(kReorderRows / move.step) + " of " +
                             std::to_string(kReorderRows) + (move.toEnd ? " to the end" : " to row 0");
    Row(what.c_str(), move.ms, "ms", move.ms / box, "LISTBOX", "<=", 1);
  }
  for (int32_t end = 0; end < 2; ++end) {
    const double ratio = moves[2 + end].ms / moves[end].ms;
    Row(end ? "reorder 25000 / 1000 to the end" : "reorder 25000 / 1000 to row 0", ratio, "",
        ratio, "1000 rows", "<=", 3);
  }
  CloseList(&list);
}

}  // namespace

int main() {
  if (!StartBenchRunTime()) return 1;
  ObjectRef peers = OpenBenchWindow(kWindowWidth, kWindowHeight, {});
  HWND peerParent = WindowHandle(peers.get());
  Sizes(peerParent);
  OneColumnMemory(peerParent);
  Folder();
  SelectedRanges();
  Reorder(peerParent);
  WindowClose(peers.get());
  return 0;
}
