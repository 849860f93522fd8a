// The Listbox class's properties and methods.
#include "controls/listbox/ListBoxMembers.h"

#include <algorithm>
#include <climits>
#include <string>

#include "controls/listbox/ListColumnModel.h"
#include "controls/listbox/runListbox.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"

namespace {

// Cell members take columns up to this one.
constexpr int32_t kLastCellColumn = 255;
constexpr int32_t kNoColumn = INT32_MIN;
constexpr uint8_t kCellBold = 1, kCellItalic = 2, kCellUnderline = 4;

uint8_t AsBit(uint32_t value) { return value ? 1 : 0; }

runListbox* PaneOf(RuntimeObject* control) { return ListboxPaneOf(ListboxArgument(control)); }

// The pane for a member that takes a row (and, unless kNoColumn, a cell
// column). Nil without a pane, for a setter (unboundOnly) of a bound list,
// and when an index fails its check, which raises OutOfBoundsException.
runListbox* PaneFor(RuntimeObject* control, int32_t row, int32_t column = kNoColumn,
                    bool unboundOnly = false) {
  runListbox* pane = PaneOf(control);
  if (!pane || (unboundOnly && pane->IsBound())) return nullptr;
  const bool rowValid = row >= 0 && row < pane->RowCount();
  const bool columnValid = column == kNoColumn || (column >= 0 && column <= kLastCellColumn);
  if (rowValid && columnValid) return pane;
  RaiseOutOfBoundsException();
  return nullptr;
}

// The pane for a member that takes a row and an edge column.
runListbox* PaneForEdge(RuntimeObject* control, int32_t row, int32_t column,
                        bool unboundOnly = false) {
  runListbox* pane = PaneFor(control, row, kNoColumn, unboundOnly);
  return pane && CheckColumnIndex(column, pane->ColumnCount(), kColumnEdge, false) ? pane
                                                                                  : nullptr;
}

// The text of a cell as the language reads it: the open editor's on its
// cell, the provider's field in a bound list, else the cell's own.
StringRecord* ReadCell(runListbox* pane, int32_t row, int32_t column) {
  if (pane->EditRow() == row && pane->EditColumn() == column) return pane->CellEditor()->Text();
  if (RuntimeObject* provider = pane->ListProvider()) {
    return BoundRow(provider, row).Text(column).release();
  }
  const ListBoxCell* cell = pane->FindCell(row, column, false);
  return cell ? StringAddRef(cell->text) : nullptr;
}

void WriteCell(runListbox* pane, int32_t row, int32_t column, StringRecord* text) {
  ListBoxCell* cell = pane->FindCell(row, column, true);
  if (!cell) return;
  StringAssign(&cell->text, text);
  pane->InvalidateCells(row, column);
}

// A row of one cell holding the text, placed as the language places rows:
// an insertion at the row given, else AddRowPlaced. The pane's critical
// section is held from making the cell until LastIndex is set.
void AddLanguageRow(RuntimeObject* control, StringRecord* text, int16_t folderState,
                    const int32_t* insertAt) {
  ListboxFields* fields = ListboxArgument(control);
  runListbox* pane = ListboxPaneOf(fields);
  if (!pane || pane->IsBound()) return;
  OwnerChainLock hold(pane);  // outlives the section, whatever handlers do
  NuListbox::RowsLock section(pane);
  ListBoxCell* cell = NewListBoxCell(0);
  RuntimeLockString(text);
  cell->text = text;
  const int32_t row = insertAt ? pane->InsertRowRecord(*insertAt, cell, 0, folderState)
                               : pane->AddRowPlaced(cell, folderState);
  if (row >= 0) fields->lastIndex = row;
}

bool CellStyleBit(RuntimeObject* control, int32_t row, int32_t column, uint8_t bit) {
  runListbox* pane = PaneFor(control, row, column);
  const ListBoxCell* cell = pane ? pane->FindCell(row, column, false) : nullptr;
  return cell && (cell->style & bit);
}

void SetCellStyleBit(RuntimeObject* control, int32_t row, int32_t column, uint8_t bit,
                     uint8_t value) {
  runListbox* pane = PaneFor(control, row, column, true);
  if (!pane) return;
  ListBoxCell* cell = pane->FindCell(row, column, false);
  const uint8_t before = cell ? cell->style : 0;
  const uint8_t after = value ? uint8_t(before | bit) : uint8_t(before & ~bit);
  if (cell && after == before) return;
  cell = pane->FindCell(row, column, true);
  if (!cell) return;
  cell->style = after;
  pane->InvalidateCells(row, column);
}

template <class Attribute>
int32_t CellAttribute(RuntimeObject* control, int32_t row, int32_t column,
                      Attribute ListBoxCell::*attribute) {
  runListbox* pane = PaneFor(control, row, column);
  const ListBoxCell* cell = pane ? pane->FindCell(row, column, false) : nullptr;
  return cell ? int32_t(cell->*attribute) : 0;
}

template <class Attribute>
void SetCellAttribute(RuntimeObject* control, int32_t row, int32_t column,
                      Attribute ListBoxCell::*attribute, int32_t value) {
  runListbox* pane = PaneFor(control, row, column, true);
  ListBoxCell* cell = pane ? pane->FindCell(row, column, true) : nullptr;
  if (!cell) return;
  cell->*attribute = Attribute(value);
  pane->InvalidateCells(row, column);
}

int32_t CellBorder(RuntimeObject* control, CellSide side, int32_t row, int32_t column) {
  runListbox* pane = PaneForEdge(control, row, column);
  return pane ? uint8_t(pane->CellBorderStyle(side, row, column, false)) : -1;
}

void SetCellBorder(RuntimeObject* control, CellSide side, int32_t row, int32_t column,
                   int32_t style) {
  if (runListbox* pane = PaneForEdge(control, row, column)) {
    pane->SetCellBorderStyle(side, row, column, uint8_t(style));
  }
}

// The control's default of a used column (of the pane, or the stored count
// before it), kept in one of its per-column tables.
template <class Entry>
Entry* ColumnDefault(RuntimeObject* control, int32_t column,
                     Entry (ListboxFields::*table)[kListboxColumnSlots]) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return nullptr;
  const runListbox* pane = ListboxPaneOf(fields);
  const int32_t count = pane ? pane->ColumnCount() : fields->columnCount;
  return CheckColumnIndex(column, count, kUsedColumns, false) ? &(fields->*table)[column]
                                                              : nullptr;
}

template <class Entry>
void SetColumnDefault(RuntimeObject* control, int32_t column,
                      Entry (ListboxFields::*table)[kListboxColumnSlots], int32_t value) {
  Entry* entry = ColumnDefault(control, column, table);
  if (!entry) return;
  *entry = Entry(value);
  if (runListbox* pane = PaneOf(control)) pane->InvalidateColumn(column);
}

// The pane after storing a flag the generic getter reads; nil without one.
runListbox* StoreFlag(RuntimeObject* control, uint8_t ListboxFields::*flag, uint8_t value) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return nullptr;
  fields->*flag = AsBit(value);
  return ListboxPaneOf(fields);
}

// A stored property: the pane's answer, or the control's copy before the
// pane exists.
template <class Read>
int32_t PaneOrStored(RuntimeObject* control, int32_t ListboxFields::*stored, Read read) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return 0;
  const runListbox* pane = ListboxPaneOf(fields);
  return pane ? read(*pane) : fields->*stored;
}

// Gives a stored property's value to the pane, or keeps it until the pane
// exists.
template <class Apply>
void ToPaneOrStored(RuntimeObject* control, int32_t ListboxFields::*stored, int32_t value,
                    Apply apply) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return;
  if (runListbox* pane = ListboxPaneOf(fields)) {
    apply(pane, value);
  } else {
    fields->*stored = value;
  }
}

// Everything in the pane placed again (after a bar came or went).
void PlaceAgain(runListbox* pane) { pane->SetBounds(pane->Bounds(), true); }

void SetScrollBarShown(RuntimeObject* control, uint8_t ListboxFields::*flag, uint8_t value,
                       void (CommonListbox::*show)(), void (CommonListbox::*hide)()) {
  runListbox* pane = StoreFlag(control, flag, value);
  if (!pane) return;
  (pane->*(value ? show : hide))();
  PlaceAgain(pane);
}

void SetGridLines(RuntimeObject* control, int32_t ListboxFields::*field, bool horizontal,
                  int32_t style) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return;
  fields->*field = style;
  if (runListbox* pane = ListboxPaneOf(fields)) {
    pane->SetGridStyle(horizontal, uint8_t(style));
    pane->InvalidateCells(-1, -1);
  }
}

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(list, ListboxFields, textStyle)

// ---- The initial rows ----

void ListboxLoadInitialValue(RuntimeObject* control) {
  ListboxFields* fields = ListboxFieldsOf(control);
  runListbox* pane = ListboxPaneOf(fields);
  if (!pane || !StringLength(fields->initialValue)) return;
  const std::u16string text = StringToStdUTF16(fields->initialValue);
  bool headingLine = fields->hasHeading != 0;
  int32_t column = 0;
  int32_t row = -1;
  size_t start = 0;
  auto takeField = [&](size_t end) {
    if (column >= kListboxColumnSlots) return;
    StringRef field = StringRef::Adopt(StringFromUTF16(
        reinterpret_cast<const uint16_t*>(text.data() + start), int32_t(end - start)));
    if (headingLine) {
      pane->SetHeading(column, field.get());
    } else if (column == 0) {
      RuntimeListAddRow(control, field.get());
      row = fields->lastIndex;
    } else {
      listSetCell(control, row, column, field.get());
    }
    ++column;
  };
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != u'\t' && text[at] != u'\r') continue;
    takeField(at);
    if (text[at] == u'\r') {
      column = 0;
      headingLine = false;
      if (at + 1 < text.size() && text[at + 1] == u'\n') ++at;
    }
    start = at + 1;
  }
  if (start < text.size()) takeField(text.size());
}

// ---- Properties ----

extern "C" int32_t listCountGetter(RuntimeObject* control, uint32_t) {
  runListbox* pane = PaneOf(control);
  return pane ? pane->RowCount() : 0;
}

extern "C" int32_t listSelCountGetter(RuntimeObject* control, uint32_t) {
  runListbox* pane = PaneOf(control);
  return pane ? pane->SelectedRowCount() : 0;
}

extern "C" int32_t listSelectionGetter(RuntimeObject* control, uint32_t) {
  runListbox* pane = PaneOf(control);
  if (!pane) return -1;
  if (pane->EditRow() >= 0 && pane->EditColumn() >= 0) return pane->EditRow();
  return pane->FirstSelectedRow();
}

extern "C" void listSelectionSetter(RuntimeObject* control, uint32_t, int32_t row) {
  if (runListbox* pane = PaneOf(control)) pane->SelectOnlyRow(row, true);
}

extern "C" StringRecord* listTextGetter(RuntimeObject* control, uint32_t) {
  runListbox* pane = PaneOf(control);
  const int32_t row = pane ? pane->FirstSelectedRow() : -1;
  return row >= 0 ? ReadCell(pane, row, 0) : nullptr;
}

extern "C" void listTextSetter(RuntimeObject* control, uint32_t, StringRecord* text) {
  runListbox* pane = PaneOf(control);
  if (pane && !pane->IsBound() && pane->FirstSelectedRow() >= 0) {
    WriteCell(pane, pane->FirstSelectedRow(), 0, text);
  }
}

extern "C" int32_t listColumnCountGetter(RuntimeObject* control, uint32_t) {
  return PaneOrStored(control, &ListboxFields::columnCount,
                      [](const runListbox& pane) { return pane.ColumnCount(); });
}

extern "C" void listColumnCountSetter(RuntimeObject* control, uint32_t, int32_t count) {
  const int32_t held = int32_t(std::clamp<uint32_t>(uint32_t(count), 1, kListboxColumnSlots));
  ToPaneOrStored(control, &ListboxFields::columnCount, held, [](runListbox* pane, int32_t value) {
    pane->SetColumnCount(value);
    pane->LayoutColumns();
    pane->InvalidateCells(-1, -1);
  });
}

extern "C" StringRecord* listColumnWidthsGetter(RuntimeObject* control, uint32_t) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return nullptr;
  if (runListbox* pane = ListboxPaneOf(fields)) {
    StringRef joined, separator = Text(", ");
    for (int32_t column = 0; column < pane->ColumnCount(); ++column) {
      if (column > 0) joined = StringRef::Adopt(StringConcat(joined.get(), separator.get()));
      StringRef width = pane->GetColumnExpression(kWidthExpression, column);
      joined = StringRef::Adopt(StringConcat(joined.get(), width.get()));
    }
    StringAssign(&fields->columnWidths, joined.get());
  }
  return StringAddRef(fields->columnWidths);
}

extern "C" void listColumnWidthsSetter(RuntimeObject* control, uint32_t, StringRecord* text) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return;
  runListbox* pane = ListboxPaneOf(fields);
  if (!pane) {
    StringAssign(&fields->columnWidths, text);
    return;
  }
  // The comma in the text's own encoding, so the step over it is whole
  // (two bytes in UTF-16).
  const StringRef comma =
      StringRef::Adopt(ConvertStringToEncoding(Text(",").get(), StringEncoding(text)));
  const int32_t commaBytes = int32_t(StringLength(comma.get()));
  const StringRef star = Text("1*");
  StringRef rest = StringRef::Retain(text);
  for (int32_t column = 0; column < pane->ColumnCount(); ++column) {
    if (!StringLength(rest.get())) {
      pane->SetColumnExpression(kWidthExpression, column, star.get());
      continue;
    }
    const int32_t at = StringFind(0, rest.get(), comma.get(), 0);
    StringRef part = at < 0 ? rest : StringRef::Adopt(StringLeftBytes(rest.get(), at));
    rest = at < 0 ? StringRef() : StringRef::Adopt(StringBytesFrom(rest.get(), at + commaBytes));
    StringRef width = StringRef::Adopt(StringTrimSpaces(part.get()));
    pane->SetColumnExpression(kWidthExpression, column, width.get());
  }
  pane->LayoutColumns();
  pane->InvalidateCells(-1, -1);
}

extern "C" int32_t listLastIndexGetter(RuntimeObject* control, uint32_t) {
  ListboxFields* fields = ListboxArgument(control);
  return fields ? fields->lastIndex : 0;
}

extern "C" void listHierarchicalSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  if (runListbox* pane = StoreFlag(control, &ListboxFields::hierarchical, value)) {
    pane->SetHierarchical(value != 0);
    pane->FontChanged();
    pane->InvalidateCells(-1, -1);
  }
}

extern "C" void listEnableDragSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  if (runListbox* pane = StoreFlag(control, &ListboxFields::enableDrag, value)) {
    pane->SetDragEnabled(value != 0);
  }
}

extern "C" void ListEnableDragReorderSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  if (runListbox* pane = StoreFlag(control, &ListboxFields::enableDragReorder, value)) {
    pane->SetDragReorderEnabled(value != 0);
  }
}

extern "C" void listHasHeadingSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  runListbox* pane = StoreFlag(control, &ListboxFields::hasHeading, value);
  if (!pane) return;
  pane->SetHasHeading(value != 0);
  PlaceAgain(pane);
  pane->Invalidate(false);
}

extern "C" void listHScrollBarSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetScrollBarShown(control, &ListboxFields::horizontalScrollBar, value,
                    &CommonListbox::ShowHorizontalScrollBar,
                    &CommonListbox::HideHorizontalScrollBar);
}

extern "C" void listVScrollBarSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetScrollBarShown(control, &ListboxFields::verticalScrollBar, value,
                    &CommonListbox::ShowVerticalScrollBar, &CommonListbox::HideVerticalScrollBar);
}

extern "C" void listHGridLinesSetter(RuntimeObject* control, uint32_t, int32_t style) {
  SetGridLines(control, &ListboxFields::gridLinesHorizontal, true, style);
}

extern "C" void listVGridLinesSetter(RuntimeObject* control, uint32_t, int32_t style) {
  SetGridLines(control, &ListboxFields::gridLinesVertical, false, style);
}

extern "C" void listDefaultRowHeightSetter(RuntimeObject* control, uint32_t, int32_t height) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return;
  fields->defaultRowHeight = height;
  if (runListbox* pane = ListboxPaneOf(fields)) pane->InvalidateCells(-1, -1);
}

extern "C" int32_t listSortedColumnGetter(RuntimeObject* control, uint32_t) {
  return PaneOrStored(control, &ListboxFields::headingIndex,
                      [](const runListbox& pane) { return pane.SortedColumn(); });
}

extern "C" void listHeadingIndexSetter(RuntimeObject* control, uint32_t, int32_t column) {
  ToPaneOrStored(control, &ListboxFields::headingIndex, column, [](runListbox* pane, int32_t k) {
    if (CheckColumnIndex(k, pane->ColumnCount(), kUsedColumns, true)) pane->SetSortedColumn(k);
  });
}

extern "C" void listSortedColumnSetter(RuntimeObject* control, uint32_t, int32_t column) {
  ToPaneOrStored(control, &ListboxFields::headingIndex, column,
                 [](runListbox* pane, int32_t k) { pane->StoreSortedColumn(k); });
}

extern "C" int32_t listScrollPositionGetter(RuntimeObject* control, uint32_t) {
  return PaneOrStored(control, &ListboxFields::scrollPosition,
                      [](const runListbox& pane) { return pane.TopRow(); });
}

extern "C" void listScrollPositionSetter(RuntimeObject* control, uint32_t, int32_t row) {
  ToPaneOrStored(control, &ListboxFields::scrollPosition, std::max(row, 0),
                 [](runListbox* pane, int32_t top) { pane->SetTopRow(top); });
}

extern "C" int32_t listScrollPositionXGetter(RuntimeObject* control, uint32_t) {
  return PaneOrStored(control, &ListboxFields::scrollPositionX,
                      [](const runListbox& pane) { return pane.ScrollOffsetX(); });
}

extern "C" void listScrollPositionXSetter(RuntimeObject* control, uint32_t, int32_t x) {
  ToPaneOrStored(control, &ListboxFields::scrollPositionX, x,
                 [](runListbox* pane, int32_t offset) { pane->SetScrollPositionXByBar(offset); });
}

extern "C" RuntimeObject* listActiveCellGetter(RuntimeObject* control, uint32_t) {
  runListbox* pane = PaneOf(control);
  RuntimeObject* editField = pane ? pane->ActiveCell() : nullptr;
  RuntimeLockObject(editField);
  return editField;
}

// ---- Rows ----

extern "C" void RuntimeListEmpty(RuntimeObject* control) {
  if (runListbox* pane = PaneOf(control)) pane->RemoveAllRows();
}

extern "C" void RuntimeListAddRow(RuntimeObject* control, StringRecord* text) {
  AddLanguageRow(control, text, -1, nullptr);
}

extern "C" void RuntimeListAddParent(RuntimeObject* control, StringRecord* text) {
  AddLanguageRow(control, text, 0, nullptr);
}

extern "C" void RuntimeListInsertRow(RuntimeObject* control, int32_t row, StringRecord* text) {
  AddLanguageRow(control, text, -1, &row);
}

extern "C" void RuntimeListInsertParent(RuntimeObject* control, int32_t row, StringRecord* text) {
  AddLanguageRow(control, text, 0, &row);
}

extern "C" void RuntimeRemoveRow(RuntimeObject* control, int32_t row) {
  if (runListbox* pane = PaneFor(control, row, kNoColumn, true)) pane->RemoveRowRecord(row);
}

extern "C" StringRecord* RuntimeGetRow(RuntimeObject* control, int32_t row) {
  runListbox* pane = PaneFor(control, row);
  return pane ? ReadCell(pane, row, 0) : nullptr;
}

extern "C" void RuntimeSetRow(RuntimeObject* control, int32_t row, StringRecord* text) {
  if (runListbox* pane = PaneFor(control, row, kNoColumn, true)) WriteCell(pane, row, 0, text);
}

extern "C" RuntimeObject* listGetRowPicture(RuntimeObject* control, int32_t row) {
  runListbox* pane = PaneFor(control, row);
  RuntimeObject* picture = pane ? pane->RowPicture(row) : nullptr;
  RuntimeLockObject(picture);
  return picture;
}

extern "C" void listSetRowPicture(RuntimeObject* control, int32_t row, RuntimeObject* picture) {
  if (runListbox* pane = PaneFor(control, row, kNoColumn, true)) pane->SetRowPicture(row, picture);
}

extern "C" bool listGetSelected(RuntimeObject* control, int32_t row) {
  runListbox* pane = PaneOf(control);
  return pane && pane->IsRowSelected(row);
}

extern "C" void listSetSelected(RuntimeObject* control, int32_t row, uint8_t selected) {
  if (runListbox* pane = PaneOf(control)) pane->SetRowSelected(row, selected != 0);
}

extern "C" bool listGetExpanded(RuntimeObject* control, int32_t row) {
  runListbox* pane = PaneFor(control, row);
  return pane && pane->IsRowExpanded(row);
}

extern "C" void listSetExpanded(RuntimeObject* control, int32_t row, uint8_t expanded) {
  runListbox* pane = PaneFor(control, row);
  if (!pane) return;
  if (expanded) {
    pane->ExpandFolder(row);
  } else {
    pane->CollapseFolder(row);
  }
}

// ---- Cells ----

extern "C" StringRecord* listGetCell(RuntimeObject* control, int32_t row, int32_t column) {
  runListbox* pane = PaneFor(control, row, column);
  return pane ? ReadCell(pane, row, column) : nullptr;
}

extern "C" void listSetCell(RuntimeObject* control, int32_t row, int32_t column,
                            StringRecord* text) {
  if (runListbox* pane = PaneFor(control, row, column, true)) WriteCell(pane, row, column, text);
}

// The getter and setter of one style bit.
#define LIST_CELL_STYLE_ACCESSORS(Name, bit)                                                   \
  extern "C" bool listGetCell##Name(RuntimeObject* control, int32_t row, int32_t column) {     \
    return CellStyleBit(control, row, column, bit);                                            \
  }                                                                                            \
  extern "C" void listSetCell##Name(RuntimeObject* control, int32_t row, int32_t column,       \
                                    uint8_t value) {                                           \
    SetCellStyleBit(control, row, column, bit, value);                                         \
  }
LIST_CELL_STYLE_ACCESSORS(Bold, kCellBold)
LIST_CELL_STYLE_ACCESSORS(Italic, kCellItalic)
LIST_CELL_STYLE_ACCESSORS(Underline, kCellUnderline)

extern "C" bool listCellCheckGetter(RuntimeObject* control, int32_t row, int32_t column) {
  return CellAttribute(control, row, column, &ListBoxCell::checked) != 0;
}
extern "C" void listCellCheckSetter(RuntimeObject* control, int32_t row, int32_t column,
                                    uint8_t value) {
  SetCellAttribute(control, row, column, &ListBoxCell::checked, AsBit(value));
}
extern "C" int32_t listCellTypeGetter(RuntimeObject* control, int32_t row, int32_t column) {
  return CellAttribute(control, row, column, &ListBoxCell::cellType);
}
extern "C" void listCellTypeSetter(RuntimeObject* control, int32_t row, int32_t column,
                                   int32_t value) {
  SetCellAttribute(control, row, column, &ListBoxCell::cellType, value);
}
extern "C" int32_t listCellAlignmentGetter(RuntimeObject* control, int32_t row, int32_t column) {
  return CellAttribute(control, row, column, &ListBoxCell::alignment);
}
extern "C" void listCellAlignmentSetter(RuntimeObject* control, int32_t row, int32_t column,
                                        int32_t value) {
  SetCellAttribute(control, row, column, &ListBoxCell::alignment, value);
}
extern "C" int32_t listCellAlignmentOffsetGetter(RuntimeObject* control, int32_t row,
                                                 int32_t column) {
  return CellAttribute(control, row, column, &ListBoxCell::alignmentOffset);
}
extern "C" void listCellAlignmentOffsetSetter(RuntimeObject* control, int32_t row, int32_t column,
                                              int32_t value) {
  SetCellAttribute(control, row, column, &ListBoxCell::alignmentOffset, value);
}

// The getter and setter of one side's border style.
#define LIST_CELL_BORDER_ACCESSORS(Side)                                                       \
  extern "C" int32_t listGetCellBorder##Side(RuntimeObject* control, int32_t row,              \
                                             int32_t column) {                                 \
    return CellBorder(control, kCell##Side, row, column);                                      \
  }                                                                                            \
  extern "C" void listSetCellBorder##Side(RuntimeObject* control, int32_t row, int32_t column, \
                                          int32_t style) {                                     \
    SetCellBorder(control, kCell##Side, row, column, style);                                   \
  }
LIST_CELL_BORDER_ACCESSORS(Top)
LIST_CELL_BORDER_ACCESSORS(Left)
LIST_CELL_BORDER_ACCESSORS(Bottom)
LIST_CELL_BORDER_ACCESSORS(Right)

extern "C" void listInvalidateCell(RuntimeObject* control, int32_t row, int32_t column) {
  if (runListbox* pane = PaneOf(control)) pane->InvalidateCells(row, column);
}

extern "C" void listEditCell(RuntimeObject* control, int32_t row, int32_t column) {
  if (runListbox* pane = PaneForEdge(control, row, column, true)) pane->EditCell(row, column);
}

// ---- Columns, headings and sorting ----

extern "C" int32_t listColumnTypeGetter(RuntimeObject* control, int32_t column) {
  const uint8_t* type = ColumnDefault(control, column, &ListboxFields::columnTypes);
  return type ? *type : 0;
}
extern "C" void listColumnTypeSetter(RuntimeObject* control, int32_t column, int32_t value) {
  SetColumnDefault(control, column, &ListboxFields::columnTypes, value);
}
extern "C" int32_t listColumnAlignmentGetter(RuntimeObject* control, int32_t column) {
  const uint8_t* alignment = ColumnDefault(control, column, &ListboxFields::columnAlignments);
  return alignment ? *alignment : 0;
}
extern "C" void listColumnAlignmentSetter(RuntimeObject* control, int32_t column, int32_t value) {
  SetColumnDefault(control, column, &ListboxFields::columnAlignments, value);
}
extern "C" int32_t listColumnAlignmentOffsetGetter(RuntimeObject* control, int32_t column) {
  const int16_t* offset = ColumnDefault(control, column, &ListboxFields::columnAlignmentOffsets);
  return offset ? *offset : 0;
}
extern "C" void listColumnAlignmentOffsetSetter(RuntimeObject* control, int32_t column,
                                                int32_t value) {
  SetColumnDefault(control, column, &ListboxFields::columnAlignmentOffsets, value);
}

extern "C" StringRecord* listGetHeading(RuntimeObject* control, int32_t column) {
  runListbox* pane = PaneOf(control);
  if (!pane || !CheckColumnIndex(column, pane->ColumnCount(), kColumnEdge, true)) return nullptr;
  if (column >= 0) return StringAddRef(pane->HeadingCaption(column));
  StringRef joined, tab = Text("\t");
  for (int32_t k = 0; k < pane->ColumnCount(); ++k) {
    if (k > 0) joined = StringRef::Adopt(StringConcat(joined.get(), tab.get()));
    joined = StringRef::Adopt(StringConcat(joined.get(), pane->HeadingCaption(k)));
  }
  return joined.release();
}

extern "C" void listSetHeading(RuntimeObject* control, int32_t column, StringRecord* caption) {
  runListbox* pane = PaneOf(control);
  if (pane && CheckColumnIndex(column, pane->ColumnCount(), kColumnEdge, true)) {
    pane->SetHeading(column, caption);
  }
}

extern "C" int32_t listColumnSortDirectionGetter(RuntimeObject* control, int32_t column) {
  runListbox* pane = PaneOf(control);
  if (!pane || !CheckColumnIndex(column, pane->ColumnCount(), kColumnEdge, false)) return 1;
  return int8_t(pane->ColumnSortDirection(column));
}

extern "C" void listColumnSortDirectionSetter(RuntimeObject* control, int32_t column,
                                              int32_t direction) {
  runListbox* pane = PaneOf(control);
  if (!pane || !CheckColumnIndex(column, pane->ColumnCount(), kColumnEdge, true)) return;
  const int32_t first = column < 0 ? 0 : column;
  const int32_t end = column < 0 ? pane->ColumnCount() : column + 1;
  for (int32_t k = first; k < end; ++k) pane->SetColumnSortDirection(k, uint8_t(direction), false);
}

extern "C" void RuntimeListResort(RuntimeObject* control) {
  if (runListbox* pane = PaneOf(control)) pane->SortByColumn(pane->SortedColumn());
}

extern "C" void listColumnPressHeader(RuntimeObject* control, int32_t column) {
  runListbox* pane = PaneOf(control);
  if (pane && CheckColumnIndex(column, pane->ColumnCount(), kUsedColumns, false)) {
    pane->SetSortedColumn(column);
  }
}

// ---- Selection receivers ----

extern "C" void listAddLSNR(RuntimeObject* control, RuntimeObject* receiver) {
  if (runListbox* pane = PaneOf(control)) pane->AddSelectionReceiver(receiver);
}

extern "C" void listRemoveLSNR(RuntimeObject* control, RuntimeObject* receiver) {
  if (runListbox* pane = PaneOf(control)) pane->RemoveSelectionReceiver(receiver);
}
