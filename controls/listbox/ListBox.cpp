// The Listbox class: definition, initialiser and "CreatePane".
#include "controls/listbox/ListBox.h"

#include <iterator>
#include <utility>

#include "controls/ControlPattern.h"
#include "controls/listbox/ListBinding.h"
#include "controls/listbox/ListBoxMembers.h"
#include "controls/listbox/ListColumn.h"
#include "controls/listbox/runListbox.h"
#include "core/InstanceArgument.h"
#include "graphics/PictureClass.h"

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

// Flags of the property records. A stored property has the generic getter
// and a setter of its own; a plain one both generic accessors. 0x1 and 0x2
// are kept as the class's tables have always given them.
constexpr uint32_t kStored = kPropertyGenericGetter;
constexpr uint32_t kPlain = kPropertyPassesParameter;
constexpr uint32_t kFlag1 = 0x1;
constexpr uint32_t kFlag2 = 0x2;

#define LIST_FIELD(field) offsetof(ListboxFields, field)

const ParameterRecord kTextParameter[] = {{"Text", &kStringType, 0}};
const ParameterRecord kRowTextParameters[] = {{"row", &kIntegerType, 0}, {"str", &kStringType, 0}};
const ParameterRecord kIndexParameter[] = {{"Index", &kIntegerType, 0}};
const ParameterRecord kVParameter[] = {{"v", &kIntegerType, 0}};
const ParameterRecord kCellParameters[] = {{"row", &kIntegerType, 0},
                                           {"column", &kIntegerType, 0}};
const ParameterRecord kNameParameter[] = {{"Str", &kStringType, 0}};

#define LIST_METHOD(name, result, parameters, function) \
  MakeMethodRecord(name, result, parameters, std::size(parameters), RUNTIME_ENTRY(function))
#define LIST_ACCESSOR(name, result, parameters, getter, setter)                          \
  MakeMethodRecord(name, result, parameters, std::size(parameters), RUNTIME_ENTRY(getter), \
                   RUNTIME_ENTRY(setter))
#define CELL_ACCESSOR(name, result, getter, setter) \
  LIST_ACCESSOR(name, result, kCellParameters, getter, setter)

void InitialiseListbox(RuntimeObject* control) {
  ListboxFields* fields = ObjectFields<ListboxFields>(control);
  fields->columnCount = 1;
  fields->defaultRowHeight = -1;
  // No column is sorted until the application says so.
  fields->headingIndex = -1;
  fields->textStyle = DefaultTextStyle();
  RuntimeLockString(fields->textStyle.font);
}

void DestroyListbox(RuntimeObject* control) {
  ListboxFields* fields = ObjectFields<ListboxFields>(control);
  ListboxDetachProvider(control);
  ReceiverListClear(&fields->gotFocusReceivers);
  ReceiverListClear(&fields->lostFocusReceivers);
  for (StringRecord** string : {&fields->textStyle.font, &fields->initialValue,
                                &fields->columnWidths, &fields->dataSource, &fields->dataField}) {
    RuntimeUnlockString(std::exchange(*string, nullptr));
  }
}

}  // namespace

ObjectDefinition* GetListboxClassDefinition() {
  static const PropertyRecord properties[] = {
      RUNTIME_TEXT_STYLE_PROPERTIES(list),
      {0, "ListCount", &kIntegerType, RUNTIME_ENTRY(listCountGetter), nullptr, nullptr, 0},
      {0, "ListIndex", &kIntegerType, RUNTIME_ENTRY(listSelectionGetter),
       RUNTIME_ENTRY(listSelectionSetter), 0},
      {0, "Text", &kStringType, RUNTIME_ENTRY(listTextGetter), RUNTIME_ENTRY(listTextSetter), 0},
      {0, "ColumnCount", &kIntegerType, RUNTIME_ENTRY(listColumnCountGetter),
       RUNTIME_ENTRY(listColumnCountSetter), 0},
      {0, "ColumnWidths", &kStringType, RUNTIME_ENTRY(listColumnWidthsGetter),
       RUNTIME_ENTRY(listColumnWidthsSetter), 0},
      {kStored, "Hierarchical", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(listHierarchicalSetter), LIST_FIELD(hierarchical)},
      {0, "LastIndex", &kIntegerType, RUNTIME_ENTRY(listLastIndexGetter), nullptr, nullptr, 0},
      {kStored, "EnableDrag", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(listEnableDragSetter), LIST_FIELD(enableDrag)},
      {kStored, "EnableDragReorder", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(ListEnableDragReorderSetter), LIST_FIELD(enableDragReorder)},
      {kPlain, "SelectionType", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       LIST_FIELD(selectionType)},
      {kFlag1, "SelCount", &kIntegerType, RUNTIME_ENTRY(listSelCountGetter), nullptr, nullptr, 0},
      {kPlain, "InitialValue", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), LIST_FIELD(initialValue)},
      {kStored, "HasHeading", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(listHasHeadingSetter), LIST_FIELD(hasHeading)},
      {kPlain, "UseFocusRing", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       LIST_FIELD(useFocusRing)},
      {0, "HeadingIndex", &kIntegerType, RUNTIME_ENTRY(listSortedColumnGetter),
       RUNTIME_ENTRY(listHeadingIndexSetter), 0},
      {0, "ScrollPosition", &kIntegerType, RUNTIME_ENTRY(listScrollPositionGetter),
       RUNTIME_ENTRY(listScrollPositionSetter), 0},
      {0, "ScrollPositionX", &kIntegerType, RUNTIME_ENTRY(listScrollPositionXGetter),
       RUNTIME_ENTRY(listScrollPositionXSetter), 0},
      {kStored, "ScrollBarHorizontal", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(listHScrollBarSetter), LIST_FIELD(horizontalScrollBar)},
      {kStored, "ScrollBarVertical", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(listVScrollBarSetter), LIST_FIELD(verticalScrollBar)},
      {0, "DataSource", &kStringType, RUNTIME_ENTRY(ListboxDataSourceGetter),
       RUNTIME_ENTRY(ListboxDataSourceSetter), 0},
      {kStored, "DataField", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(ListboxDataFieldSetter), LIST_FIELD(dataField)},
      {kStored, "GridLinesHorizontal", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(listHGridLinesSetter), LIST_FIELD(gridLinesHorizontal)},
      {kStored, "GridLinesVertical", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(listVGridLinesSetter), LIST_FIELD(gridLinesVertical)},
      {kStored, "DefaultRowHeight", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(listDefaultRowHeightSetter), LIST_FIELD(defaultRowHeight)},
      // An EditField, a RectControl.
      {kFlag1, "ActiveCell", GetRectControlClassDefinition(), RUNTIME_ENTRY(listActiveCellGetter),
       nullptr, nullptr, 0},
      {kFlag1, "SortedColumn", &kIntegerType, RUNTIME_ENTRY(listSortedColumnGetter),
       RUNTIME_ENTRY(listSortedColumnSetter), 0},
      {kPlain | kFlag2, "ColumnsResizable", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(boolSetter), LIST_FIELD(columnsResizable)},
  };
  static const ParameterRecord receiver[] = {
      {"receiver", GetListSelectionNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord data[] = {{"data", GetListDataProviderInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("DeleteAllRows", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimeListEmpty)),
      LIST_METHOD("AddRow", nullptr, kTextParameter, RuntimeListAddRow),
      LIST_METHOD("InsertRow", nullptr, kRowTextParameters, RuntimeListInsertRow),
      LIST_METHOD("AddFolder", nullptr, kTextParameter, RuntimeListAddParent),
      LIST_METHOD("InsertFolder", nullptr, kRowTextParameters, RuntimeListInsertParent),
      LIST_METHOD("RemoveRow", nullptr, kIndexParameter, RuntimeRemoveRow),
      LIST_ACCESSOR("List", &kStringType, kIndexParameter, RuntimeGetRow, RuntimeSetRow),
      CELL_ACCESSOR("Cell", &kStringType, listGetCell, listSetCell),
      CELL_ACCESSOR("CellBold", &kBooleanType, listGetCellBold, listSetCellBold),
      CELL_ACCESSOR("CellItalic", &kBooleanType, listGetCellItalic, listSetCellItalic),
      CELL_ACCESSOR("CellUnderline", &kBooleanType, listGetCellUnderline, listSetCellUnderline),
      LIST_METHOD("InvalidateCell", nullptr, kCellParameters, listInvalidateCell),
      LIST_ACCESSOR("RowPicture", PictureClassDefinition(), kIndexParameter, listGetRowPicture,
                    listSetRowPicture),
      LIST_ACCESSOR("Selected", &kBooleanType, kVParameter, listGetSelected, listSetSelected),
      LIST_ACCESSOR("Expanded", &kBooleanType, kVParameter, listGetExpanded, listSetExpanded),
      LIST_ACCESSOR("Heading", &kStringType, kIndexParameter, listGetHeading, listSetHeading),
      LIST_METHOD("addListSelectionNotificationReceiver", nullptr, receiver, listAddLSNR),
      LIST_METHOD("removeListSelectionNotificationReceiver", nullptr, receiver, listRemoveLSNR),
      LIST_METHOD("BindList", nullptr, data, listBind),
      LIST_METHOD("listDataInsertedRow", nullptr, kVParameter, listListDataInsertedRow),
      LIST_METHOD("listDataRemovedRow", nullptr, kVParameter, listListDataRemovedRow),
      MakeMethodRecord("listDataReload", nullptr, nullptr, 0, RUNTIME_ENTRY(listListDataReload)),
      CELL_ACCESSOR("CellCheck", &kBooleanType, listCellCheckGetter, listCellCheckSetter),
      CELL_ACCESSOR("CellType", &kIntegerType, listCellTypeGetter, listCellTypeSetter),
      LIST_ACCESSOR("ColumnType", &kIntegerType, kIndexParameter, listColumnTypeGetter,
                    listColumnTypeSetter),
      CELL_ACCESSOR("CellAlignment", &kIntegerType, listCellAlignmentGetter,
                    listCellAlignmentSetter),
      LIST_ACCESSOR("ColumnAlignment", &kIntegerType, kIndexParameter, listColumnAlignmentGetter,
                    listColumnAlignmentSetter),
      CELL_ACCESSOR("CellAlignmentOffset", &kIntegerType, listCellAlignmentOffsetGetter,
                    listCellAlignmentOffsetSetter),
      LIST_ACCESSOR("ColumnAlignmentOffset", &kIntegerType, kIndexParameter,
                    listColumnAlignmentOffsetGetter, listColumnAlignmentOffsetSetter),
      LIST_METHOD("getBoundPart", nullptr, kNameParameter, listGetBoundPart),
      CELL_ACCESSOR("CellBorderTop", &kIntegerType, listGetCellBorderTop, listSetCellBorderTop),
      CELL_ACCESSOR("CellBorderLeft", &kIntegerType, listGetCellBorderLeft, listSetCellBorderLeft),
      CELL_ACCESSOR("CellBorderBottom", &kIntegerType, listGetCellBorderBottom,
                    listSetCellBorderBottom),
      CELL_ACCESSOR("CellBorderRight", &kIntegerType, listGetCellBorderRight,
                    listSetCellBorderRight),
      LIST_METHOD("EditCell", nullptr, kCellParameters, listEditCell),
      LIST_ACCESSOR("ColumnSortDirection", &kIntegerType, kIndexParameter,
                    listColumnSortDirectionGetter, listColumnSortDirectionSetter),
      MakeMethodRecord("Sort", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimeListResort)),
      LIST_ACCESSOR("Column", GetListColumnClassDefinition(), kIndexParameter, listColumnGetter,
                    listColumnSetter),
      LIST_METHOD("PressHeader", nullptr, kVParameter, listColumnPressHeader),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "Listbox", sizeof(ListboxFields), InitialiseListbox, DestroyListbox, ListboxCreatePane,
      listboxEvents, int32_t(std::size(listboxEvents)), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetListSelectionNotifierInterfaceDefinition(),
       GetListDataNotificationReceiverInterfaceDefinition(),
       GetBindingPartInterfaceInterfaceDefinition(), GetListInterfaceInterfaceDefinition()}});
  return definition.get();
}

void InitListboxClass() {
  for (ObjectDefinition* definition :
       {GetListboxClassDefinition(), GetListSelectionProviderClassDefinition(),
        GetListboxActionClassDefinition(), GetListColumnValueProviderClassDefinition()}) {
    RegisterIntrinsicClass(definition);
  }
}

const EventRecord& ListboxEventRecord(ListEvent event) {
  GetListboxClassDefinition();
  return listboxEvents[event];
}

ListboxFields* ListboxFieldsOf(RuntimeObject* control) {
  if (!control || !ObjectIsADefinition(control, GetListboxClassDefinition())) return nullptr;
  return ObjectFields<ListboxFields>(control);
}

ListboxFields* ListboxArgument(RuntimeObject* control) {
  return InstanceArgument<ListboxFields>(control, GetListboxClassDefinition(), "ListBox",
                                         __LINE__, "ObjectIsADefinition(control, Listbox)");
}

runListbox* ListboxPaneOf(const ListboxFields* fields) {
  return fields ? dynamic_cast<runListbox*>(fields->control.pane) : nullptr;
}

extern "C" void ListboxCreatePane(RuntimeObject* control) {
  ListboxFields* fields = ObjectFields<ListboxFields>(control);
  auto* pane = new runListbox(control, ControlParentPane(control), fields->control.tabPanelIndex,
                              fields->control.bounds);
  AdoptControlPane(control, pane);
  OwnerChainLock hold(pane);  // handlers of the sort below may close the window
  pane->SetScrollOffsetX(fields->scrollPositionX);
  pane->SetHierarchical(fields->hierarchical != 0);
  pane->FontChanged();
  pane->SetHasHeading(fields->hasHeading != 0);
  pane->SetUsesFocusRing(fields->useFocusRing != 0);
  pane->SetAllColumnsResizable(fields->columnsResizable != 0);
  pane->SetColumnCount(fields->columnCount);
  if (fields->verticalScrollBar) pane->ShowVerticalScrollBar();
  pane->SetDragEnabled(fields->enableDrag != 0);
  pane->SetDragReorderEnabled(fields->enableDragReorder != 0);
  ListboxInsertProviderRows(control);
  ListboxLoadInitialValue(control);
  listColumnWidthsSetter(control, 0, fields->columnWidths);
  listHeadingIndexSetter(control, 0, fields->headingIndex);
  if (pane->IsClosing()) return;
  pane->SetTopRow(fields->scrollPosition);
  if (fields->horizontalScrollBar) {
    pane->ShowHorizontalScrollBar();
    pane->SetScrollPositionXByBar(fields->scrollPositionX);
  }
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}
