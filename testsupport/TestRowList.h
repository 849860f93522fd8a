// A list pane for tests of the rows layer: a NuListbox whose list operations
// are recorded and invalidate for real, with a recording row provider and a
// recording listener. Each keeps its own log of calls, so a test compares
// the listener's calls without the invalidations.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/listbox/NuListbox.h"
#include "testsupport/UiTestSupport.h"

using CallLog = std::vector<std::string>;
using Ranges = std::vector<std::pair<int32_t, int32_t>>;

// Gives the entries and empties the log.
CallLog TakeCalls(CallLog* log);
// The selection's ranges {first, count} in list order.
Ranges RangesOf(const RowSelection& selection);

// Logs "DrawBackground", "DrawRow(3,1)" (row, selected), "ClickRow(3)" and
// "ClickOutsideRows"; DrawRow fills selected rows in one colour and the
// others in another.
class RecordingRowProvider : public ListRowProvider {
 public:
  static constexpr uint32_t kSelectedRgb = 0x0000A0;
  static constexpr uint32_t kRowRgb = 0xFFFF00;
  CallLog log;
  bool answerClickRow = false;

  void DrawBackground(GraphicsPort* port, const MacRect& content) override;
  void DrawRow(GraphicsPort* port, int32_t row, const MacRect& rowRect, bool selected) override;
  void ClickOutsideRows(int32_t x, int32_t y, uint32_t modifiers) override;
  bool ClickRow(int32_t row, int32_t x, int32_t y, uint32_t modifiers) override;
};

// Logs "DoubleClick", "Changing", "Changed" and "Scrolled(-160)", then runs
// onCall (when set) with the entry.
class RecordingListListener : public ListPaneListener {
 public:
  CallLog log;
  std::function<void(NuListbox* pane, const std::string& entry)> onCall;

  void DoubleClick(NuListbox* pane) override { Record(pane, "DoubleClick"); }
  void SelectionChanging(NuListbox* pane) override { Record(pane, "Changing"); }
  void SelectionChanged(NuListbox* pane) override { Record(pane, "Changed"); }
  void Scrolled(NuListbox* pane, int32_t delta) override;

 private:
  void Record(NuListbox* pane, const std::string& entry);
};

// Uniform rows of rowHeight pixels. Logs "InvalidateCells(-1,-1)",
// "InvalidateRow(3)", "InvalidateFromRow(5)" and "SetScrollPositionX(16)".
class TestRowList : public NuListbox {
 public:
  TestRowList(const PaneSite& site, ListPaneListener* listener, ListRowProvider* provider,
              bool multiple);

  CallLog log;
  int32_t rowHeight = 16;

  int32_t RowHeight(int32_t) override { return rowHeight; }
  void InvalidateCells(int32_t row, int32_t column) override;
  void InvalidateRow(int32_t row) override;
  void InvalidateFromRow(int32_t row) override;
  void SetScrollPositionX(int32_t x) override;

 protected:
  ~TestRowList() override = default;
};

// A test control in the window whose pane is a new test row list with a
// vertical bar and `rows` rows.
TestRowList* PlaceRowList(RuntimeObject* window, const MacRect& bounds, ListPaneListener* listener,
                          ListRowProvider* provider, bool multiple, int32_t rows);
