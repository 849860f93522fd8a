// List box tests: a Listbox subclass whose 24 handlers write to the test log
// (UiTestSupport.h's Log) and run the test's code, a recording selection
// receiver, a list data provider stand-in, a cell editor on a rich-edit
// window, a scripted drag, and the fixture that opens a window for them.
//
// Logged lines: "Change", "ExpandRow(2)", "CompareRows(0,3,1,0)" (a ByRef
// result's value on entry), "KeyDown(28)" (a string's first UTF-16 unit),
// "DragRow(obj,4)" (objects as "obj" or "nil").
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/listbox/runListbox.h"
#include "testsupport/UiTestSupport.h"

// Runs after the event's line is logged, with the list's pane, the Integer
// parameters and the ByRef result (nil for other events); its answer is the
// handler's. Set by event name for every list; an empty one removes it.
using ListEventCode =
    std::function<bool(runListbox* list, const std::vector<int32_t>& arguments, int32_t* result)>;
void OnListEvent(const std::string& event, ListEventCode code);
// The paint events (CellBackgroundPaint, CellTextPaint) are logged only
// while asked; their code runs either way.
void LogPaintEvents(bool log);

runListbox* ListBoxPaneOf(RuntimeObject* list);
// Row helpers: a row of one text cell (its index), column 0 of every row,
// a cell's text ("" without the cell), a cell's text set.
int32_t AddTextRow(runListbox* list, const std::string& text, int16_t depth = 0,
                   int16_t folderState = -1);
std::vector<std::string> RowTexts(runListbox* list);
std::string CellTextOf(runListbox* list, int32_t row, int32_t column);
void SetCellText(runListbox* list, int32_t row, int32_t column, const std::string& text);
// "Cells(-1,-1)", "Column(-1,2)" ... since the last take.
std::vector<std::string> TakeInvalidationLines(runListbox* list);

// A listSelectionNotificationReceiver logging "<tag>.selectionChanging" and
// "<tag>.selectionChanged", then running onCall with itself and the method.
using ReceiverCode = std::function<void(RuntimeObject* receiver, const std::string& method)>;
ObjectRef NewSelectionReceiver(const char* tag, ReceiverCode onCall = {});

// A listDataProvider of `rows` rows, each of the fields given. Its rows are
// the provider itself, so its reference count shows the rows still held.
ObjectRef NewListProviderStandIn(int32_t rows, const std::vector<std::string>& fields);
// Changes what the provider answers from now on.
void SetListProviderRows(RuntimeObject* provider, int32_t rows,
                         const std::vector<std::string>& fields);
// The (1-based) rows its "GetRow" was asked for since the last take.
std::vector<int32_t> TakeGetRowCalls(RuntimeObject* provider);
// BindList.
void BindProviderRows(runListbox* list, RuntimeObject* provider);

// The cell editor of every list made while it is in use (else the list's
// own): a hidden
// "RichEdit20W" child of the list's window whose EditField object is a
// plain object. It logs "EndEdit(2,1,commit)" or "EndEdit(2,1,cancel)"; a
// commit writes its text into the cell.
void UseTestCellEditor(bool use);

// The drag of every list while in use: a press always becomes a drag, and
// the drag runs the script as the framework's loop would, without input:
// for each point (relative to the list) the window's drop target is found,
// a target left gets DragExit, the target gets TrackDrag; then the last
// target gets the drop, or DragExit for a cancel. afterStep runs after
// each point's tracking.
struct ListDragScript {
  std::vector<POINT> points;
  bool drop = true;
  std::function<void(size_t step)> afterStep;
};
void UseScriptedListDrag(runListbox* list, ListDragScript script);
// The drags run since the script was set.
int32_t ScriptedDragCount();

// A shown test window (300 x 200); after each test no event code, no test
// editor and every window closed.
class ListBoxTest : public WindowSystemTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A list of the logging subclass (plain: of Listbox itself, without
  // handlers) with the fields set by prepare; its pane exists on return.
  runListbox* NewList(const char* name, const MacRect& bounds = Rect(10, 10, 200, 160),
                      const std::function<void(ListboxFields*)>& prepare = {}, bool plain = false);

  ObjectRef window_;
};
