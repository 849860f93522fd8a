// The Listbox control: the language class and the control object. Its pane,
// runListbox (runListbox.h), holds the rows and raises the class's events;
// the control object holds what the application set before the pane exists
// and the per-column defaults the pane reads for every cell. The class's
// members are in ListBoxMembers.h, its binding parts in ListBinding.h.
//
// Lifetime. The control holds its strings, its text style's font name, the
// focus receivers and the bound list data provider; its destructor hook
// releases them all (a provider is detached first). The pane holds the
// control until the pane goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class runListbox;

constexpr int32_t kListboxColumnSlots = 64;

// The control object; property records point at these fields.
struct ListboxFields {
  RuntimeControl control;
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked
  uint8_t hierarchical;
  uint8_t enableDrag;
  uint8_t enableDragReorder;
  uint8_t hasHeading;
  uint8_t useFocusRing;
  uint8_t horizontalScrollBar;
  uint8_t verticalScrollBar;
  int32_t selectionType;
  int32_t headingIndex;     // the sorted column until the pane exists
  int32_t columnCount;      // until the pane exists; 1 at birth
  int32_t scrollPosition;   // first visible row, until the pane exists
  int32_t scrollPositionX;  // pixels, until the pane exists
  int32_t gridLinesHorizontal;
  int32_t gridLinesVertical;
  StringRecord* initialValue;  // locked
  StringRecord* columnWidths;  // locked
  uint8_t columnsResizable;
  int32_t defaultRowHeight;  // below 0: the font's line height; -1 at birth
  TextStyle textStyle;
  uint8_t changeGuard;  // set while the Change event runs
  uint8_t columnTypes[kListboxColumnSlots];
  uint8_t columnAlignments[kListboxColumnSlots];
  int16_t columnAlignmentOffsets[kListboxColumnSlots];
  int32_t lastIndex;
  RuntimeObject* listProvider;  // the bound list data provider, locked; nil when not bound
  ReceiverList gotFocusReceivers;
  ReceiverList lostFocusReceivers;
};
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, dataSource) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, selectionType) == 80, "SelectionType");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, initialValue) == 108, "InitialValue");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, defaultRowHeight) == 120, "row height");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, textStyle) == 124, "text style at 124");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, changeGuard) == 136, "guard at 136");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, columnAlignmentOffsets) == 266,
              "offsets at 266");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, lastIndex) == 396, "LastIndex at 396");
static_assert(!kLayoutIs32Bit || offsetof(ListboxFields, gotFocusReceivers) == 404, "receivers");
static_assert(!kLayoutIs32Bit || sizeof(ListboxFields) == 412, "a list box is 412 bytes");

// The class's events in slot order.
enum ListEvent : uint8_t {
  kListChange,
  kListDoubleClick,
  kListKeyDown,
  kListEnableMenuItems,
  kListExpandRow,
  kListCollapseRow,
  kListDragRow,
  kListSortColumn,
  kListCellAction,
  kListGotFocus,
  kListLostFocus,
  kListCellBackgroundPaint,
  kListCellTextPaint,
  kListCellClick,
  kListCellKeyDown,
  kListCellTextChange,
  kListCellGotFocus,
  kListCellLostFocus,
  kListMouseDown,
  kListMouseDrag,
  kListMouseUp,
  kListCompareRows,
  kListDragReorderRows,
  kListHeaderPressed,
  kListEventCount
};

// "Listbox" (superclass RectControl), built on the first request.
ObjectDefinition* GetListboxClassDefinition();
// Registers the class and its three binding-part classes at start-up.
void InitListboxClass();
// The event's record in the class (its slot filled once the class is built).
const EventRecord& ListboxEventRecord(ListEvent event);
// The control's fields; nil for nil or an object of another class.
ListboxFields* ListboxFieldsOf(RuntimeObject* control);
// The check every entry point makes on its object: the fields, or nil for
// nil (NilObjectException) and for another class's object (reported).
ListboxFields* ListboxArgument(RuntimeObject* control);
// The control's list pane; nil for nil fields or a control without one.
runListbox* ListboxPaneOf(const ListboxFields* fields);

extern "C" {
// The class's "CreatePane": makes the pane in the control's parent pane
// (ControlParentPane), stores it in the control and hands it what the
// control stored: flags, bars, column count, the provider's rows when bound,
// the InitialValue rows, column widths, sorted column, top row, DataSource.
// Visible and Enabled are the window's to apply afterwards.
void ListboxCreatePane(RuntimeObject* control);
}
