// List box tests: a Listbox subclass whose 24 handlers write to the test log
// (UiTestSupport.h's Log) and run the test's code, a recording selection
// receiver, a list data provider stand-in, a cell editor on a rich-edit
// window, and the fixture that opens a window for them.
//
// Logged lines: the event with its parameters, "Change", "ExpandRow(2)",
// "CompareRows(0,3,1,0)" (a ByRef result's value on entry), "KeyDown(28)"
// (a string as its first UTF-16 unit), "DragRow(obj,4)" (objects as "obj"
// or "nil").
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/runListbox.h"
#include "testsupport/UiTestSupport.h"

// Runs after the event's line is logged, given the list's pane, the Integer
// parameters in order and the ByRef result (nil for other events); answers
// for the handler. A handler without code answers false.
using ListEventCode =
    std::function<bool(runListbox* list, const std::vector<int32_t>& arguments, int32_t* result)>;
// Installs (or, with an empty function, removes) the code of the event by
// its name ("CompareRows"); every list of the subclass runs it.
void OnListEvent(const std::string& event, ListEventCode code);

// "TestListbox", the logging subclass of Listbox.
ObjectDefinition* GetTestListboxDefinition();
// A new list of the subclass (plain: of Listbox itself, no handlers) named
// name (the caller's reference), with the fields set by prepare, added to
// the window: its pane exists on return.
ObjectRef PlaceTestListbox(RuntimeObject* window, const char* name, const MacRect& bounds,
                           const std::function<void(ListboxFields*)>& prepare = {},
                           bool plain = false);
runListbox* ListBoxPaneOf(RuntimeObject* list);

// A row whose column 0 holds the text; its index.
int32_t AddTextRow(runListbox* list, const std::string& text, int16_t depth = 0,
                   int16_t folderState = -1);
// Column 0 of every row, and every row's depth.
std::vector<std::string> RowTexts(runListbox* list);
std::vector<int32_t> RowDepths(runListbox* list);
std::string CellTextOf(runListbox* list, int32_t row, int32_t column);
void SetCellText(runListbox* list, int32_t row, int32_t column, const std::string& text);
// "InvalidateCells(-1,-1)", "InvalidateColumn(2)" ... since the last take.
std::vector<std::string> TakeInvalidationLines(runListbox* list);

// A listSelectionNotificationReceiver logging "<tag>.selectionChanging" and
// "<tag>.selectionChanged", then running onCall with itself and the method.
using ReceiverCode = std::function<void(RuntimeObject* receiver, const std::string& method)>;
ObjectRef NewSelectionReceiver(const char* tag, ReceiverCode onCall = {});

// A listDataProvider of rows of text fields. It holds each row object (a
// tupleInterface) for its life, and GetRow hands out a new reference, so a
// row's reference count shows the references others still hold.
ObjectRef NewListProviderStandIn(const std::vector<std::vector<std::string>>& rows);
int32_t ProviderRowReferences(RuntimeObject* provider, int32_t row);
// Binds the list to the provider as BindList does: the control holds it,
// and the provider's rows are the list's.
void BindProviderRows(runListbox* list, RuntimeObject* provider);

// The cell editor every list made after UseTestCellEditor(true) gets: a
// hidden "RichEdit20W" child of the list's window, shown while a cell is
// edited, whose EditField object is a plain object. It logs
// "EndEdit(2,1,commit)" or "EndEdit(2,1,cancel)"; a commit writes its text
// into the cell.
void UseTestCellEditor(bool use);
HWND TestEditorWindow(runListbox* list);

// A shown test window (300 x 200) and the list box test's bookkeeping: no
// event code, no test editor and every window closed after each test.
class ListBoxTest : public WindowSystemTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A list of the subclass in the window.
  runListbox* NewList(const char* name, const MacRect& bounds = Rect(10, 10, 200, 160),
                      const std::function<void(ListboxFields*)>& prepare = {},
                      bool plain = false);

  ObjectRef window_;
};
