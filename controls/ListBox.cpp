// The Listbox class: definition, initialiser and "CreatePane".
#include "controls/ListBox.h"

#include <iterator>

#include "controls/ControlPattern.h"
#include "controls/runListbox.h"

namespace {

// Events raised while menus are being enabled.
constexpr uint32_t kMenuEnablingEvent = 0x20;

// The table the class is built from; BuildEventDefinitions writes the slots.
EventRecord listboxEvents[] = {
    {0, "Change", "", nullptr, 0},
    {0, "DoubleClick", "", nullptr, 0},
    {0, "KeyDown", "key As String", "Boolean", 0},
    {kMenuEnablingEvent, "EnableMenuItems", "", nullptr, 0},
    {0, "ExpandRow", "row As Integer", nullptr, 0},
    {0, "CollapseRow", "row As Integer", nullptr, 0},
    {0, "DragRow", "drag As DragItem, row As Integer", "Boolean", 0},
    {0, "SortColumn", "column As Integer", "Boolean", 0},
    {0, "CellAction", "row As Integer, column As Integer", nullptr, 0},
    {0, "GotFocus", "", nullptr, 0},
    {0, "LostFocus", "", nullptr, 0},
    {0, "CellBackgroundPaint", "g As Graphics, row As Integer, column As Integer", "Boolean", 0},
    {0, "CellTextPaint",
     "g As Graphics, row As Integer, column As Integer, x as Integer, y as Integer", "Boolean", 0},
    {0, "CellClick", "row as Integer, column as Integer, x as Integer, y as Integer", "Boolean", 0},
    {0, "CellKeyDown", "row as Integer, column as Integer, key as String", "Boolean", 0},
    {0, "CellTextChange", "row as Integer, column as Integer", nullptr, 0},
    {0, "CellGotFocus", "row as Integer, column as Integer", nullptr, 0},
    {0, "CellLostFocus", "row as Integer, column as Integer", nullptr, 0},
    {0, "MouseDown", "x As Integer, y As Integer", "Boolean", 0},
    {0, "MouseDrag", "x As Integer, y As Integer", nullptr, 0},
    {0, "MouseUp", "x As Integer, y As Integer", nullptr, 0},
    {0, "CompareRows",
     "row1 as Integer, row2 as Integer, column as Integer, ByRef result as Integer", "Boolean", 0},
    {0, "DragReorderRows", "newPosition as Integer", "Boolean", 0},
    {0, "HeaderPressed", "column as Integer", "Boolean", 0},
};
static_assert(std::size(listboxEvents) == kListEventCount, "one record per event");

void InitialiseListbox(RuntimeObject* control) {
  ListboxFields* fields = ObjectFields<ListboxFields>(control);
  fields->columnCount = 1;
  fields->defaultRowHeight = -1;
}

}  // namespace

ObjectDefinition* GetListboxClassDefinition() {
  static ControlClassDefinition definition(ControlClassTables{
      "Listbox", sizeof(ListboxFields), InitialiseListbox, nullptr, ListboxCreatePane,
      listboxEvents, int32_t(std::size(listboxEvents)), nullptr, 0, nullptr, 0, {}});
  return definition.get();
}

void InitListboxClass() { RegisterIntrinsicClass(GetListboxClassDefinition()); }

const EventRecord& ListboxEventRecord(ListEvent event) {
  GetListboxClassDefinition();
  return listboxEvents[event];
}

ListboxFields* ListboxFieldsOf(RuntimeObject* control) {
  if (!control || !ObjectIsADefinition(control, GetListboxClassDefinition())) return nullptr;
  return ObjectFields<ListboxFields>(control);
}

extern "C" void ListboxCreatePane(RuntimeObject* control) {
  const RuntimeControl& common = ObjectFields<ListboxFields>(control)->control;
  AdoptControlPane(control,
                   new runListbox(control, ControlParentPane(control), common.tabPanelIndex,
                                  common.bounds));
}
