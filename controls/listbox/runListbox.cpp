// The list box pane: row records and cells, folders, attributes, events,
// keys and focus, binding, and the sort.
#include "controls/listbox/runListbox.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "controls/DataControlRole.h"
#include "controls/listbox/ListBinding.h"
#include "controls/listbox/ListCellEditPane.h"
#include "controls/PaneFont.h"
#include "controls/listbox/StableSort.h"
#include "core/Numeric.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "core/utility.h"
#include "ui/Binding.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"

namespace {

// Rows of a hierarchical list leave room for the disclosure triangle.
constexpr int32_t kFolderRowHeight = 18;
constexpr int32_t kColumnSlots = kListboxColumnSlots;
constexpr size_t kInvalidationsKept = 64;
// Key characters of the folder keys.
constexpr uint32_t kLeftArrowKey = 28;
constexpr uint32_t kRightArrowKey = 29;

ListCellEditorFactory cellEditorFactory = NewListCellEditPane;

int32_t SelectionTypeOf(RuntimeObject* control) {
  const ListboxFields* fields = ListboxFieldsOf(control);
  return fields ? fields->selectionType : 0;
}

int32_t SignOf(int32_t value) { return (value > 0) - (value < 0); }

bool InColumnSlots(int32_t column) { return column >= 0 && column < kColumnSlots; }

void DestroyRow(ListBoxRow* record) {
  DestroyListBoxCells(record->cells);
  RuntimeFree(record);
}

// Sets the list's sorting flag for a scope.
class SortingFlag {
 public:
  explicit SortingFlag(uint8_t* flag) : flag_(flag) { *flag_ = 1; }
  ~SortingFlag() { *flag_ = 0; }
  SortingFlag(const SortingFlag&) = delete;
  SortingFlag& operator=(const SortingFlag&) = delete;

 private:
  uint8_t* flag_;
};

// The first four code points a key has after `from`, two to a word (0
// past its end): keys whose heads differ are in their heads' order.
struct KeyHead {
  uint64_t words[2];
  int32_t index;
};

uint64_t HeadWord(const std::u32string& key, size_t at) {
  const uint64_t first = at < key.size() ? key[at] : 0;
  const uint64_t second = at + 1 < key.size() ? key[at + 1] : 0;
  return first << 32 | second;
}

// The positions 0..keys.size()-1 stably ordered by their keys, ascending or
// descending. The keys' shared beginning is skipped, and the heads after it
// decide most comparisons without reaching into the keys.
std::vector<int32_t> OrderOfKeys(const std::vector<std::u32string>& keys, bool ascending) {
  size_t shared = keys.empty() ? 0 : keys.front().size();
  for (const std::u32string& key : keys) {
    const size_t end = std::min(shared, key.size());
    shared = size_t(std::mismatch(key.begin(), key.begin() + end, keys.front().begin()).first -
                    key.begin());
  }
  std::vector<KeyHead> heads(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    heads[i] = KeyHead{{HeadWord(keys[i], shared), HeadWord(keys[i], shared + 2)}, int32_t(i)};
  }
  auto less = [&](const KeyHead& a, const KeyHead& b) {
    if (a.words[0] != b.words[0]) return a.words[0] < b.words[0];
    if (a.words[1] != b.words[1]) return a.words[1] < b.words[1];
    const std::u32string& x = keys[size_t(a.index)];
    const std::u32string& y = keys[size_t(b.index)];
    return x.compare(shared, x.npos, y, shared, y.npos) < 0;
  };
  if (ascending) {
    std::stable_sort(heads.begin(), heads.end(), less);
  } else {
    std::stable_sort(heads.begin(), heads.end(),
                     [&](const KeyHead& a, const KeyHead& b) { return less(b, a); });
  }
  std::vector<int32_t> order(heads.size());
  for (size_t i = 0; i < heads.size(); ++i) order[i] = heads[i].index;
  return order;
}

}  // namespace

// ---- Cells and bound rows ----

ListBoxCell* NewListBoxCell(int32_t column) {
  if (!InColumnSlots(column)) return nullptr;
  auto* cell = static_cast<ListBoxCell*>(RuntimeAlloc(sizeof(ListBoxCell)));
  cell->column = uint8_t(column);
  return cell;
}

void DestroyListBoxCells(ListBoxCell* head) {
  while (head) {
    ListBoxCell* next = head->next;
    RuntimeUnlockObject(head->object);
    RuntimeUnlockString(head->text);
    RuntimeFree(head);
    head = next;
  }
}

ListCellEditorFactory SetListCellEditorFactory(ListCellEditorFactory factory) {
  return std::exchange(cellEditorFactory, factory);
}

BoundRow::BoundRow(RuntimeObject* provider, int32_t row) {
  row_ = ObjectRef::Adopt(CallInterface<RuntimeObject*>(
      provider, GetListDataProviderInterfaceDefinition(), "GetRow", nullptr, row + 1));
  if (row_) {
    fieldCount_ =
        CallInterface<int32_t>(row_.get(), GetTupleInterfaceInterfaceDefinition(), "FieldCount", 0);
  }
}

StringRef BoundRow::Text(int32_t column) const {
  StringRecord* text = nullptr;
  if (column >= 0 && column < fieldCount_) {
    text = CallInterface<StringRecord*>(row_.get(), GetTupleInterfaceInterfaceDefinition(),
                                        "getIndString", nullptr, column + 1);
  }
  return StringRef::Adopt(text ? text : StringFromASCII(""));
}

// ---- Construction and teardown ----

runListbox::runListbox(RuntimeObject* control, SubPane* parent, int32_t tabPanelIndex,
                       const MacRect& bounds)
    : NuListbox(parent, tabPanelIndex, bounds, this, this, true, SelectionTypeOf(control)),
      control_(ObjectRef::Retain(control)),
      fields_(ListboxFieldsOf(control)) {
  GrowArrayInit(&rows_, sizeof(ListBoxRow*));
  ScopedFontDescriptor font(
      TextStyleGetFontDescriptor(fields_ ? &fields_->textStyle : &DefaultTextStyle()));
  PaneSetFontMapped(this, font.get());
  SetColumnCount(1);
  StoreSortedColumn(-1);
  // Each heading shows its column number until it is given a caption.
  for (int32_t column = 0; column < kColumnSlots; ++column) SetHeading(column, nullptr);
  if (fields_) {
    gridStyles_[0] = uint8_t(fields_->gridLinesHorizontal);
    gridStyles_[1] = uint8_t(fields_->gridLinesVertical);
    for (int32_t event = 0; event < kListEventCount; ++event) {
      handlers_[event] = FindEventHandler(control, &ListboxEventRecord(ListEvent(event)));
    }
  }
  // No paint of the rows covers the headings, the bars or the cell editor.
  if (HWND window = NativeWindow()) {
    SetWindowLongAuto(window, GWL_STYLE, GetWindowLongAuto(window, GWL_STYLE) | WS_CLIPCHILDREN);
  }
  if (cellEditorFactory) editor_.reset(cellEditorFactory(this));
}

runListbox::~runListbox() {
  DiscardRecords();
  GrowArrayDispose(&rows_);
}

void runListbox::Close() {
  if (fields_) {
    ReceiverListClear(&fields_->gotFocusReceivers);
    ReceiverListClear(&fields_->lostFocusReceivers);
  }
  binding_.Unbind();
  DetachListProvider();
  DiscardRecords();
  // Moved out first: a receiver that goes takes itself out of the list.
  std::exchange(selectionReceivers_, {});
  if (editor_) editor_->Close();
  NuListbox::Close();
}

RuntimeObject* runListbox::ListProvider() const {
  return fields_ ? fields_->listProvider : nullptr;
}

void runListbox::DetachListProvider() { ListboxDetachProvider(control_.get()); }

// ---- Events ----

EventOutcome runListbox::FireExpandRow(int32_t row) {
  OwnerChainLock lock(this);
  ++expansionDepth_;
  const int32_t outerRow = std::exchange(expandingRow_, row);
  const int32_t outerInsertRow = std::exchange(childInsertRow_, -1);
  const uint32_t outerInsertCount = childInsertCount_;
  const EventOutcome outcome = Fire(kListExpandRow, row);
  --expansionDepth_;
  expandingRow_ = outerRow;
  childInsertRow_ = outerInsertRow;
  childInsertCount_ = outerInsertCount;
  return outcome;
}

EventOutcome runListbox::FireCollapseRow(int32_t row) { return Fire(kListCollapseRow, row); }

EventOutcome runListbox::FireDragRow(RuntimeObject* dragItem, int32_t row) {
  return Fire(kListDragRow, dragItem, row);
}

bool runListbox::FireDragReorderRows(int32_t newPosition) {
  return Fire(kListDragReorderRows, newPosition).handled;
}

StringRecord* runListbox::KeyString(uint32_t codePoint) {
  const uint32_t encoding = codePoint < 0x80 ? GetSystemTextEncoding() : kEncodingUTF8;
  return StringFromCodePoint(codePoint, encoding);
}

EventOutcome runListbox::FireKeyDown(uint32_t codePoint) {
  if (!handlers_[kListKeyDown]) return EventOutcome{IsClosing(), false};
  StringRef key = StringRef::Adopt(KeyString(codePoint));
  return Fire(kListKeyDown, key.get());
}

// ---- Row records ----

ListBoxRow* runListbox::RecordAt(int32_t row) const {
  if (row < 0 || row >= rows_.count) return nullptr;
  return reinterpret_cast<ListBoxRow**>(rows_.data)[row];
}

int32_t runListbox::RowAfterChange(const ListBoxRow* record, int32_t row, uint32_t count) const {
  if (structureCount_ == count || RecordAt(row) == record) return row;
  for (int32_t found = 0; found < rows_.count; ++found) {
    if (RecordAt(found) == record) return found;
  }
  return -1;
}

ListBoxRow* runListbox::GetRowRecord(int32_t row) const {
  return IsBound() ? nullptr : RecordAt(row);
}

ListBoxCell* runListbox::GetRowCells(int32_t row) const {
  ListBoxRow* record = GetRowRecord(row);
  return record ? record->cells : nullptr;
}

ListBoxCell* runListbox::CellOf(int32_t row, int32_t column) const {
  if (!InColumnSlots(column)) return nullptr;
  for (ListBoxCell* cell = GetRowCells(row); cell; cell = cell->next) {
    if (cell->column == column) return cell;
  }
  return nullptr;
}

ListBoxCell* runListbox::FindCell(int32_t row, int32_t column, bool create) {
  ListBoxRow* record = GetRowRecord(row);
  if (!record || !InColumnSlots(column)) return nullptr;
  ListBoxCell** link = &record->cells;
  for (; *link; link = &(*link)->next) {
    if ((*link)->column == column) return *link;
  }
  return create ? (*link = NewListBoxCell(column)) : nullptr;
}

RuntimeObject* runListbox::GetRowObject(int32_t row, int32_t column) const {
  const ListBoxCell* cell = CellOf(row, column);
  return cell ? cell->object : nullptr;
}

void runListbox::SetRowObject(int32_t row, int32_t column, RuntimeObject* object) {
  if (GetRowObject(row, column) == object) return;
  ListBoxCell* cell = FindCell(row, column, true);
  if (!cell) return;
  RuntimeLockObject(object);
  RuntimeUnlockObject(std::exchange(cell->object, object));
  InvalidateCells(row, column);
}

int32_t runListbox::InsertRecord(int32_t at, ListBoxCell* cells, int16_t depth,
                                 int16_t folderState) {
  auto* record = static_cast<ListBoxRow*>(RuntimeAlloc(sizeof(ListBoxRow)));
  *record = ListBoxRow{folderState, depth, cells};
  GrowArrayInsert(&rows_, at, 0);
  reinterpret_cast<ListBoxRow**>(rows_.data)[at] = record;
  ++structureCount_;
  RowsInserted(at, 1);
  return at;
}

int32_t runListbox::AddRowRecord(ListBoxCell* cells, int16_t depth, int16_t folderState) {
  return InsertRowRecord(rows_.count, cells, depth, folderState);
}

int32_t runListbox::InsertRowRecord(int32_t at, ListBoxCell* cells, int16_t depth,
                                    int16_t folderState) {
  OwnerChainLock lock(this);
  if (IsBound() || !EndCellEdit(true)) {
    DestroyListBoxCells(cells);
    return -1;
  }
  return InsertRecord(std::clamp(at, 0, rows_.count), cells, depth, folderState);
}

bool runListbox::EndCellEditBeforeRemoving(int32_t first, int32_t count) {
  const int32_t row = EditRow();
  if (row < 0) return !IsClosing();
  const bool removed = row >= first && int64_t(row) < int64_t(first) + count;
  return EndCellEdit(!removed);
}

void runListbox::RemoveRecords(int32_t first, int32_t count) {
  std::vector<ListBoxRow*> gone(reinterpret_cast<ListBoxRow**>(rows_.data) + first,
                                reinterpret_cast<ListBoxRow**>(rows_.data) + first + count);
  GrowArrayRemoveRun(&rows_, first, count);
  ++structureCount_;
  // Freed in address order, near the order they were made in, whatever a
  // sort did to the rows: the blocks of many rows are then reached one
  // after the other rather than all over memory.
  std::sort(gone.begin(), gone.end(), std::less<ListBoxRow*>());
  for (ListBoxRow* record : gone) DestroyRow(record);
  // The rows are gone before the selection hears of it, so handlers of the
  // change see the list as it now is.
  NuListbox::RowsRemoved(first, count);
}

void runListbox::DiscardRecords() {
  for (int32_t row = 0; row < rows_.count; ++row) DestroyRow(RecordAt(row));
  if (rows_.count > 0) ++structureCount_;
  GrowArraySetCount(&rows_, 0);
}

void runListbox::RemoveRowRecord(int32_t row) {
  const ListBoxRow* record = GetRowRecord(row);
  if (!record) return;
  OwnerChainLock lock(this);
  const uint32_t count = structureCount_;
  if (!EndCellEditBeforeRemoving(row, 1)) return;
  row = RowAfterChange(record, row, count);
  if (row >= 0) RemoveRecords(row, 1);
}

void runListbox::RowsRemoved(int32_t at, int32_t count) {
  OwnerChainLock lock(this);
  if (EndCellEditBeforeRemoving(at, count)) NuListbox::RowsRemoved(at, count);
}

void runListbox::RemoveAllRows() {
  OwnerChainLock lock(this);
  if (!EndCellEditBeforeRemoving(0, RowCount()) || RowCount() == 0) return;
  if (IsBound()) {
    NuListbox::RowsRemoved(0, RowCount());
  } else {
    RemoveRecords(0, rows_.count);
  }
}

void runListbox::SwapRowRuns(int32_t first1, int32_t count1, int32_t first2, int32_t count2) {
  if (IsBound()) return;
  GrowArraySwapRuns(&rows_, first1, count1, first2, count2);
  ++structureCount_;
}

// ---- Folders ----

int32_t runListbox::RowDepth(int32_t row) const {
  const ListBoxRow* record = GetRowRecord(row);
  return record ? record->depth : 0;
}

int32_t runListbox::NextRowAtSameOrLowerDepth(int32_t row) const {
  const int32_t depth = RowDepth(row);
  int32_t next = std::max(row + 1, 0);
  while (next < rows_.count && RecordAt(next)->depth > depth) ++next;
  return std::min(next, Selection().RowCount());
}

bool runListbox::IsRowExpanded(int32_t row) const {
  const ListBoxRow* record = GetRowRecord(row);
  return record && record->folderState == 1;
}

bool runListbox::ExpandFolder(int32_t row) {
  ListBoxRow* record = GetRowRecord(row);
  if (!record || record->folderState != 0) return false;
  OwnerChainLock lock(this);
  record->folderState = 1;
  const uint32_t count = structureCount_;
  if (FireExpandRow(row).closing) return true;
  row = RowAfterChange(record, row, count);
  if (row < 0) {
    InvalidateCells(-1, -1);
  } else {
    InvalidateFromRow(row);
  }
  return true;
}

bool runListbox::CollapseFolder(int32_t row) {
  ListBoxRow* record = GetRowRecord(row);
  if (!record || record->folderState != 1) return false;
  OwnerChainLock lock(this);
  const uint32_t count = structureCount_;
  if (FireCollapseRow(row).closing) return true;
  row = RowAfterChange(record, row, count);
  if (row < 0) {
    InvalidateCells(-1, -1);
    return true;
  }
  record->folderState = 0;
  RemoveChildRows(row);
  if (!IsClosing()) InvalidateFromRow(row);
  return true;
}

void runListbox::RemoveChildRows(int32_t row) {
  const ListBoxRow* record = GetRowRecord(row);
  if (!hierarchical_ || !record) return;
  OwnerChainLock lock(this);
  const uint32_t count = structureCount_;
  if (!EndCellEditBeforeRemoving(row + 1, NextRowAtSameOrLowerDepth(row) - row - 1)) return;
  row = RowAfterChange(record, row, count);
  const int32_t children = row < 0 ? 0 : NextRowAtSameOrLowerDepth(row) - row - 1;
  if (children > 0) RemoveRecords(row + 1, children);
}

int32_t runListbox::AddRowPlaced(ListBoxCell* cells, int16_t folderState) {
  if (expansionDepth_ == 0 || !GetRowRecord(expandingRow_)) {
    return AddRowRecord(cells, 0, folderState);
  }
  OwnerChainLock lock(this);
  if (!EndCellEdit(true)) {
    DestroyListBoxCells(cells);
    return -1;
  }
  const bool remembered = childInsertRow_ >= 0 && childInsertCount_ == structureCount_;
  const int32_t at = remembered ? childInsertRow_ : NextRowAtSameOrLowerDepth(expandingRow_);
  const int16_t depth = int16_t(RowDepth(expandingRow_) + 1);
  const int32_t row = InsertRecord(at, cells, depth, folderState);
  childInsertRow_ = row + 1;
  childInsertCount_ = structureCount_;
  return row;
}

// ---- Cell attributes ----

int32_t runListbox::EffectiveCellType(int32_t row, int32_t column) const {
  if (!InColumnSlots(column)) return 0;
  const ListBoxCell* cell = CellOf(row, column);
  if (cell && cell->cellType) return cell->cellType;
  return fields_ ? fields_->columnTypes[column] : 0;
}

int32_t runListbox::EffectiveAlignment(int32_t row, int32_t column) const {
  if (!InColumnSlots(column)) return 0;
  const ListBoxCell* cell = CellOf(row, column);
  if (cell && cell->alignment) return cell->alignment;
  return fields_ ? fields_->columnAlignments[column] : 0;
}

int32_t runListbox::EffectiveAlignmentOffset(int32_t row, int32_t column) const {
  if (!InColumnSlots(column)) return 0;
  const ListBoxCell* cell = CellOf(row, column);
  if (cell && (cell->alignment || cell->alignmentOffset)) return cell->alignmentOffset;
  return fields_ ? fields_->columnAlignmentOffsets[column] : 0;
}

int32_t runListbox::EffectiveTextSize(int32_t row, int32_t column) const {
  if (!InColumnSlots(column)) return 0;
  const ListBoxCell* cell = CellOf(row, column);
  return cell && cell->textSize ? cell->textSize : TextSize();
}

int32_t runListbox::CellBorderStyle(CellSide side, int32_t row, int32_t column,
                                    bool combine) const {
  if (!Selection().IsValidRow(row) || !InColumnSlots(column)) return 0;
  const ListBoxCell* cell = CellOf(row, column);
  const int32_t own = cell ? cell->borders[side] : 0;
  if (!combine) return own;
  static constexpr int32_t kRowStep[] = {-1, 0, 1, 0};
  static constexpr int32_t kColumnStep[] = {0, -1, 0, 1};
  const CellSide facing = CellSide((side + 2) % 4);
  const int32_t neighbour =
      CellBorderStyle(facing, row + kRowStep[side], column + kColumnStep[side], false);
  const int32_t style = std::max(own, neighbour);
  if (style != 0) return style;
  return GridStyle(side == kCellTop || side == kCellBottom);
}

void runListbox::SetCellBorderStyle(CellSide side, int32_t row, int32_t column, uint8_t style) {
  ListBoxCell* cell = row >= 0 && column >= 0 ? FindCell(row, column, true) : nullptr;
  if (!cell) return;
  cell->borders[side] = style;
  if (side == kCellTop && row > 0) InvalidateCells(row - 1, column);
  if (side == kCellLeft && column > 0) InvalidateCells(row, column - 1);
  if (side == kCellBottom) InvalidateCells(row + 1, column);
  if (side == kCellRight) InvalidateCells(row, column + 1);
  InvalidateCells(row, column);
}

// ---- The cell editor ----

void runListbox::EditCell(int32_t row, int32_t column) {
  const ListBoxRow* record = GetRowRecord(row);
  if (!editor_ || !record || column < 0 || column >= ColumnCount()) return;
  OwnerChainLock lock(this);
  const uint32_t count = structureCount_;
  // The open edit ends as the editor loses the focus: with commit.
  SubPane* focus = GetFocusPane();
  if (EditRow() >= 0 && focus && focus->NativeWindow() == editor_->Window()) {
    SetFocusPane(nullptr);
  }
  if (!EndCellEdit(true)) return;
  row = RowAfterChange(record, row, count);
  if (row < 0) return;
  ScrollCellIntoView(row, column);
  if (!IsClosing()) editor_->StartEdit(row, column);
}

void runListbox::ScrollCellIntoView(int32_t row, int32_t column) {
  if (row == -1 || column == -1) return;
  const MacRect content = GetContentRect();
  if (row < TopRow()) {
    SetTopRow(row);
  } else {
    // Rows taller than the content show from their top.
    const int32_t visible = (int32_t(content.bottom) - content.top) / std::max(1, RowHeight(-1));
    const int32_t v = std::max(0, visible - 1);
    if (int64_t(TopRow()) + v <= row) SetTopRow(row - v);
  }
  if (IsClosing() || column < 0 || column >= ColumnCount()) return;
  int64_t l = -int64_t(ScrollOffsetX());
  for (int32_t before = 0; before < column; ++before) l += ColumnWidth(before);
  const int64_t r = l + ColumnWidth(column) - 1;
  const int64_t w = int64_t(content.right) - content.left + 1;
  int64_t by = 0;
  if (w < r - l) {
    // Wider than the view: moved only when wholly out of it.
    if ((l < 0 && r < 0) || (l > w && r > w)) by = l;
  } else if (l < 0 || r < 0) {
    by = l;
  } else if (l > w || r > w) {
    by = r - w;
  }
  if (by != 0) SetScrollPositionXByBar(SaturatedInt32(double(ScrollOffsetX() + by)));
}

bool runListbox::EndCellEdit(bool commit) {
  if (!editor_ || editor_->EditRow() < 0) return !IsClosing();
  OwnerChainLock lock(this);
  editor_->EndEdit(commit);
  return !IsClosing();
}

RuntimeObject* runListbox::ActiveCell() const {
  return EditRow() >= 0 ? editor_->EditFieldObject() : nullptr;
}

// ---- Selection and its receivers ----

void runListbox::AddSelectionReceiver(RuntimeObject* receiver) {
  if (receiver) selectionReceivers_.push_back(ObjectRef::Retain(receiver));
}

void runListbox::RemoveSelectionReceiver(RuntimeObject* receiver) {
  auto found = std::find_if(selectionReceivers_.begin(), selectionReceivers_.end(),
                            [&](const ObjectRef& entry) { return entry.get() == receiver; });
  if (found == selectionReceivers_.end()) return;
  // Released after the erase: a receiver that goes removes itself again.
  const ObjectRef removed = std::move(*found);
  selectionReceivers_.erase(found);
}

void runListbox::NotifyReceivers(const char* method) {
  if (selectionReceivers_.empty()) return;
  OwnerChainLock lock(this);
  // The receivers of the round's start, each held for the round.
  const std::vector<ObjectRef> round = selectionReceivers_;
  ObjectDefinition* receiverInterface = GetListSelectionNotificationReceiverInterfaceDefinition();
  for (const ObjectRef& receiver : round) {
    if (IsClosing() || RuntimeExceptionPending()) return;
    CallInterface<int32_t>(receiver.get(), receiverInterface, method, 0);
  }
}

void runListbox::DoubleClick(NuListbox*) { Fire(kListDoubleClick); }

void runListbox::SelectionChanging(NuListbox*) { NotifyReceivers("selectionChanging"); }

void runListbox::SelectionChanged(NuListbox*) {
  if (fields_) {
    // A Change handler that selects does not raise Change again.
    if (fields_->changeGuard) return;
    bool closing;
    {
      InActionScope guard(control_.get(), &fields_->changeGuard);
      closing = Fire(kListChange).closing;
    }
    if (closing) return;
  }
  NotifyReceivers("selectionChanged");
}

void runListbox::Scrolled(NuListbox*, int32_t) {
  if (EditRow() >= 0) InvalidateCells(EditRow(), EditColumn());
}

// ---- Invalidation (the slots are in runListboxDrawing.cpp) ----

void runListbox::RecordInvalidation(InvalidationCall::Kind kind, int32_t row, int32_t column) {
  if (invalidations_.size() == kInvalidationsKept) invalidations_.erase(invalidations_.begin());
  invalidations_.push_back(InvalidationCall{kind, row, column});
}

std::vector<InvalidationCall> runListbox::TakeInvalidations() {
  return std::exchange(invalidations_, std::vector<InvalidationCall>());
}

// ---- Geometry and fonts ----

int32_t runListbox::RowHeight(int32_t) {
  if (fields_ && fields_->defaultRowHeight >= 0) return std::max(fields_->defaultRowHeight, 1);
  if (rowHeightCached_) return cachedRowHeight_;
  int32_t height = CommonListbox::RowHeight(-1);
  if (hierarchical_) height = std::max(height, kFolderRowHeight);
  if (height <= 0) return 1;
  cachedRowHeight_ = height;
  rowHeightCached_ = 1;
  return height;
}

void runListbox::FontChanged() {
  rowHeightCached_ = 0;
  ForgetBuffer();
  NuListbox::FontChanged();
}

void runListbox::SetTextFont(const FontDescriptor& font) {
  PaneSetFontMapped(this, font);
  FontChanged();
  ApplyTextStyleToHeadings(font);
  InvalidateCells(-1, -1);
}

void runListbox::ApplyTextStyleToHeadings(const FontDescriptor& font) {
  for (int32_t column = 0; column < ColumnCount(); ++column) {
    if (ColumnHeadingPane* heading = HeadingPane(column)) PaneSetFontMapped(heading, font);
  }
}

void runListbox::SetScrollPositionX(int32_t x) {
  SetScrollOffsetX(x);
  ComputeColumnPositions();
  if (HasHeading()) RebuildHeadings();
  // The next paint moves the held image sideways and draws the columns that
  // came into view.
  needsRedraw_ = 1;
  Invalidate(false);
}

void runListbox::SetScrollPositionXByBar(int32_t x) {
  if (ScrollerPane* bar = HorizontalScrollBar()) {
    bar->SetValue(x);
  } else {
    SetScrollPositionX(x);
  }
}

// ---- Binding ----

void runListbox::BindDataSource() { binding_.Bind(control_.get(), kBoundListBox); }
void runListbox::UnbindDataSource() { binding_.Unbind(); }

// ---- Keys, focus and menus ----

bool runListbox::HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) {
  OwnerChainLock lock(this);
  const uint32_t key = VirtualKeyToKeyChar(virtualKey, (modifiers & kModifierShift) != 0);
  const EventOutcome outcome = FireKeyDown(key);
  if (outcome.closing || outcome.handled) return true;
  return NuListbox::HandleKey(virtualKey, keyChar, modifiers) ||
         (!IsClosing() && KeyToOwner(virtualKey, keyChar, modifiers));
}

bool runListbox::CharacterEntry(uint32_t codePoint, uint32_t) {
  const EventOutcome outcome = FireKeyDown(codePoint);
  return outcome.closing || outcome.handled;
}

bool runListbox::KeyToOwner(uint32_t virtualKey, uint32_t, uint32_t modifiers) {
  if (!hierarchical_ || SelectedRowCount() == 0) return false;
  const uint32_t key = VirtualKeyToKeyChar(virtualKey, (modifiers & kModifierShift) != 0);
  if (key == kLeftArrowKey) return CollapseFolder(FirstSelectedRow());
  if (key == kRightArrowKey) return ExpandFolder(FirstSelectedRow());
  return false;
}

void runListbox::TakeFocus() {
  OwnerChainLock lock(this);
  NuListbox::TakeFocus();
  if (!Fire(kListGotFocus).closing && fields_) NotifyPerformAction(&fields_->gotFocusReceivers);
}

void runListbox::LoseFocus() {
  OwnerChainLock lock(this);
  NuListbox::LoseFocus();
  if (!Fire(kListLostFocus).closing && fields_) NotifyPerformAction(&fields_->lostFocusReceivers);
}

void runListbox::EnableMenuItems() {
  OwnerChainLock lock(this);
  NuListbox::EnableMenuItems();
  if (!IsClosing()) Fire(kListEnableMenuItems);
}

// ---- Panes inside the list ----

bool runListbox::IsOwnPart(SubPane* child) const {
  return child == HeadingStrip() || child == VerticalScrollBar() ||
         child == HorizontalScrollBar() ||
         (editor_ && child->GetNativeHandle() == editor_->Window());
}

void runListbox::ReembedAll() {
  SubPane* owner = GetOwner();
  if (!owner) return;
  const std::vector<SubPane*> children = Children();
  for (SubPane* child : children) {
    if (IsOwnPart(child)) continue;
    child->Reparent(owner);
    child->EmbedInEnclosingPane();
  }
}

// ---- Sorting ----

void runListbox::HeaderPressed(int32_t column) {
  if (column < 0 || column >= ColumnCount()) return;
  OwnerChainLock lock(this);
  const EventOutcome outcome = Fire(kListHeaderPressed, column);
  if (!outcome.closing && !outcome.handled) SortByColumn(column);
}

void runListbox::SortByColumn(int32_t column) {
  if (sorting_) return;
  OwnerChainLock lock(this);
  if (column < 0 || column >= ColumnCount()) {
    InvalidateCells(-1, -1);
    return;
  }
  if (int8_t(ColumnSortDirection(column)) == 0 || IsBound()) {
    InvalidateColumn(column);
    return;
  }
  SortingFlag sorting(&sorting_);
  const bool followSelection = SelectedRowCount() == 1;
  const ListBoxRow* followed = followSelection ? GetRowRecord(FirstSelectedRow()) : nullptr;
  if (!EndCellEdit(true)) return;
  StoreSortedColumn(column);
  if (RowCount() == 0) return;
  const EventOutcome outcome = Fire(kListSortColumn, column);
  if (outcome.closing) return;
  const int32_t direction = int8_t(ColumnSortDirection(column));
  if (direction != 0 && !outcome.handled) {
    if (!SortRuns(column, direction)) {
      if (!IsClosing()) InvalidateCells(-1, -1);
      return;
    }
    if (followSelection) {
      int32_t row = rows_.count - 1;
      while (row >= 0 && RecordAt(row) != followed) --row;
      SelectOnlyRow(row, true);
      if (IsClosing()) return;
    }
  }
  InvalidateCells(-1, -1);
}

bool runListbox::SortRuns(int32_t column, int32_t direction) {
  // Each top-level row with the deeper rows after it; rows before the first
  // top-level row stay where they are.
  std::vector<SortRun> runs;
  for (int32_t row = 0; row < rows_.count; ++row) {
    if (RecordAt(row)->depth == 0) {
      runs.push_back(SortRun{row, 1});
    } else if (!runs.empty()) {
      ++runs.back().count;
    }
  }
  if (!handlers_[kListCompareRows]) {
    // No event runs: the runs are ordered by their texts' sort keys alone.
    std::vector<std::u32string> keys;
    keys.reserve(runs.size());
    for (const SortRun& run : runs)
      keys.push_back(RuntimeStringSortKey(CellText(run.first, column)));
    ApplyOrder(runs, OrderOfKeys(keys, direction == 1));
    return true;
  }
  const uint32_t count = structureCount_;
  bool stopped = false;
  const std::vector<int32_t> order =
      StableSortedOrder(int32_t(runs.size()), [&](int32_t i, int32_t j) -> int32_t {
        if (stopped) return 0;
        const int32_t result = CompareRuns(runs, i, j, column, direction);
        // Rows changed under the sort: what is left compares equal, and the
        // order found is not applied.
        stopped = IsClosing() || structureCount_ != count;
        return stopped ? 0 : result;
      });
  if (stopped) return false;
  ApplyOrder(runs, order);
  return true;
}

int32_t runListbox::CompareRuns(const std::vector<SortRun>& runs, int32_t i, int32_t j,
                                int32_t column, int32_t direction) {
  const int32_t a = runs[size_t(i)].first;
  const int32_t b = runs[size_t(j)].first;
  if (handlers_[kListCompareRows]) {
    int32_t result = 0;
    const EventOutcome outcome = Fire(kListCompareRows, a, b, column, &result);
    if (outcome.closing) return 0;
    if (outcome.handled) {
      if (direction == 1) return result;
      if (result != 0) return result < 0 ? 1 : -1;
    }
  }
  const int32_t order = RuntimeStringCompare(CellText(a, column), CellText(b, column));
  return direction == 1 ? SignOf(order) : -SignOf(order);
}

void runListbox::ApplyOrder(const std::vector<SortRun>& runs, const std::vector<int32_t>& order) {
  if (runs.empty()) return;
  auto** slots = reinterpret_cast<ListBoxRow**>(rows_.data);
  const std::vector<ListBoxRow*> before(slots, slots + rows_.count);
  int32_t next = runs.front().first;
  for (int32_t index : order) {
    const SortRun& run = runs[size_t(index)];
    for (int32_t k = 0; k < run.count; ++k) slots[next++] = before[size_t(run.first + k)];
  }
  ++structureCount_;
}

StringRecord* runListbox::CellText(int32_t row, int32_t column) const {
  const ListBoxCell* cell = CellOf(row, column);
  return cell ? cell->text : nullptr;
}
