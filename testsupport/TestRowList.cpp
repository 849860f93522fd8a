#include "testsupport/TestRowList.h"

#include <algorithm>
#include <utility>

#include "graphics/GraphicsPort.h"

CallLog TakeCalls(CallLog* log) { return std::exchange(*log, CallLog()); }

Ranges RangesOf(const RowSelection& selection) {
  Ranges ranges;
  for (const RowRange* range = selection.Head(); range; range = range->next) {
    ranges.emplace_back(range->first, range->count);
  }
  return ranges;
}

void RecordingRowProvider::DrawBackground(GraphicsPort*, const MacRect&) {
  log.push_back("DrawBackground");
}

void RecordingRowProvider::DrawRow(GraphicsPort* port, int32_t row, const MacRect& rowRect,
                                   bool selected) {
  log.push_back("DrawRow(" + std::to_string(row) + "," + std::to_string(selected) + ")");
  port->SetForeColor(RGBColorFromValue(selected ? kSelectedRgb : kRowRgb));
  port->FillRect(rowRect);
}

void RecordingRowProvider::ClickOutsideRows(int32_t, int32_t, uint32_t) {
  log.push_back("ClickOutsideRows");
}

bool RecordingRowProvider::ClickRow(int32_t row, int32_t, int32_t, uint32_t) {
  log.push_back("ClickRow(" + std::to_string(row) + ")");
  return answerClickRow;
}

void RecordingListListener::Scrolled(NuListbox* pane, int32_t delta) {
  Record(pane, "Scrolled(" + std::to_string(delta) + ")");
}

void RecordingListListener::Record(NuListbox* pane, const std::string& entry) {
  log.push_back(entry);
  if (onCall) onCall(pane, entry);
}

TestRowList::TestRowList(const PaneSite& site, ListPaneListener* listener,
                         ListRowProvider* provider, bool multiple)
    : NuListbox(site.parent, site.tabPanelIndex, site.bounds, listener, provider, true,
                multiple ? 1 : 0) {}

void TestRowList::InvalidateCells(int32_t row, int32_t column) {
  log.push_back("InvalidateCells(" + std::to_string(row) + "," + std::to_string(column) + ")");
  Invalidate(false);
}

void TestRowList::InvalidateRow(int32_t row) {
  log.push_back("InvalidateRow(" + std::to_string(row) + ")");
  MacRect rows, visible;
  if (GetRowsRect(row, 1, &rows, &visible)) InvalidateRect(visible, false);
}

void TestRowList::InvalidateFromRow(int32_t row) {
  log.push_back("InvalidateFromRow(" + std::to_string(row) + ")");
  MacRect rows, visible;
  if (!GetRowsRect(std::max(row, TopRow()), 1, &rows, &visible)) return;
  visible.bottom = GetContentRect().bottom;
  InvalidateRect(visible, false);
}

void TestRowList::SetScrollPositionX(int32_t x) {
  log.push_back("SetScrollPositionX(" + std::to_string(x) + ")");
}

TestRowList* PlaceRowList(RuntimeObject* window, const MacRect& bounds, ListPaneListener* listener,
                          ListRowProvider* provider, bool multiple, int32_t rows) {
  static int placed = 0;
  const std::string name = "Rows" + std::to_string(++placed);
  TestRowList* pane = nullptr;
  PlaceControl(window, name.c_str(), bounds, [&](const PaneSite& site) {
    return pane = new TestRowList(site, listener, provider, multiple);
  });
  if (pane) {
    pane->ShowVerticalScrollBar();
    pane->RowsInserted(0, rows);
  }
  return pane;
}
