// The list box's in-place cell editor over a single-line rich-edit pane.
#include "controls/listbox/ListCellEditPane.h"

#include <utility>

#include "controls/editfield/EditField.h"
#include "controls/editfield/RichEditPane.h"
#include "controls/listbox/ScrollingListPane.h"
#include "core/string.h"
#include "host/application.h"
#include "ui/PaneFocus.h"

namespace {

constexpr uint32_t kReturnKey = 13;
constexpr uint32_t kEscapeKey = 27;
constexpr uint8_t kEditableCell = 3;
constexpr uint8_t kBoldBit = 1, kItalicBit = 2, kUnderlineBit = 4;
constexpr RECT kParked{-10, -10, -10, -10};

class ListCellEditPane final : public ListCellEditor, public EditFieldEventSink {
 public:
  explicit ListCellEditPane(runListbox* list);
  ~ListCellEditPane() override;
  ListCellEditPane(const ListCellEditPane&) = delete;
  ListCellEditPane& operator=(const ListCellEditPane&) = delete;

  // ---- ListCellEditor ----
  void StartEdit(int32_t row, int32_t column) override;
  void EndEdit(bool commit) override;
  // -1 from the moment the editor leaves its cell, so that the cell is
  // drawn again with its text.
  int32_t EditRow() const override { return left_ ? -1 : row_; }
  int32_t EditColumn() const override { return left_ ? -1 : column_; }
  StringRecord* Text() override;
  HWND Window() const override { return pane_ ? pane_->NativeWindow() : nullptr; }
  RuntimeObject* EditFieldObject() const override { return field_.get(); }
  void Close() override;

  // ---- What the pane reports ----
  void TextChanged(NativeEditPane* pane) override;
  void GotFocus(SubPane* pane) override;
  void LostFocus(SubPane* pane) override;
  // A cancel keystroke ends the edit; otherwise the key goes to CellKey.
  bool KeyChar(NativeEditPane* pane, uint32_t character, uint32_t key,
               uint32_t modifiers) override;
  void EnableMenuItems(NativeEditPane* pane) override { EditFieldUpdateEditMenu(pane); }
  bool HandleMenuItem(NativeEditPane* pane, RuntimeObject* menuItem) override {
    return EditFieldHandleEditMenu(pane, menuItem);
  }

 private:
  // Ends the edit's state whatever stopped it: nothing is edited after.
  class EndScope;

  // The edited row as it is now (-1 once its record went); remembered.
  int32_t CurrentRow();
  bool CellKey(uint32_t character);
  void Park();
  void FireGotFocus();

  runListbox* list_;
  RichEditPane* pane_ = nullptr;
  ObjectRef field_;
  int32_t row_ = -1;
  int32_t column_ = -1;
  const ListBoxRow* record_ = nullptr;
  uint32_t structure_ = 0;
  uint8_t savedType_ = 0;
  bool ending_ = false;
  bool left_ = false;
};

class ListCellEditPane::EndScope {
 public:
  explicit EndScope(ListCellEditPane* editor) : editor_(editor) { editor_->ending_ = true; }
  ~EndScope() {
    editor_->row_ = editor_->column_ = -1;
    editor_->record_ = nullptr;
    editor_->ending_ = editor_->left_ = false;
  }
  EndScope(const EndScope&) = delete;
  EndScope& operator=(const EndScope&) = delete;

 private:
  ListCellEditPane* editor_;
};

ListCellEditPane::ListCellEditPane(runListbox* list)
    : EditFieldEventSink(list->Control()), list_(list) {
  ScopedFontDescriptor font;
  pane_ = NewSingleLineEditPane(this, list, 0, MacRect{-10, -10, -10, -10}, false, font.get());
  pane_->MarkListCellEditor();
  field_ = ObjectRef::Adopt(CreateInstance(GetEditFieldClassDefinition()));
  if (field_) ControlFields(field_.get())->pane = pane_;
  Park();
}

ListCellEditPane::~ListCellEditPane() {
  // Still ours when the list went without closing with its window.
  RichEditPane* pane = pane_;
  Close();
  if (pane) DisposePaneTree(pane);
}

void ListCellEditPane::Close() {
  row_ = column_ = -1;
  record_ = nullptr;
  if (field_) ControlFields(field_.get())->pane = nullptr;
  field_ = ObjectRef();
  if (pane_) pane_->SetEventSink(nullptr);
  // The window disposes of the pane with the list's other children.
  pane_ = nullptr;
}

StringRecord* ListCellEditPane::Text() {
  return pane_ ? pane_->GetText(kEncodingUTF8) : StringFromASCII("");
}

int32_t ListCellEditPane::CurrentRow() {
  if (row_ < 0) return -1;
  row_ = list_->RowAfterChange(record_, row_, structure_);
  structure_ = list_->RowStructureCount();
  return row_;
}

void ListCellEditPane::Park() {
  if (HWND window = Window()) {
    SetWindowPos(window, nullptr, kParked.left, kParked.top, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void ListCellEditPane::StartEdit(int32_t row, int32_t column) {
  if (!pane_ || row_ >= 0) return;
  OwnerChainLock hold(list_);
  const ListBoxRow* record = list_->GetRowRecord(row);
  const uint32_t structure = list_->RowStructureCount();
  // Clearing a selection that is already empty would report a change.
  if (list_->SelectedRowCount() > 0) list_->SelectOnlyRow(-1, true);
  if (list_->IsClosing()) return;
  row = list_->RowAfterChange(record, row, structure);
  if (row < 0) return;
  list_->HideCaretRow();
  ListBoxCell* cell = list_->FindCell(row, column, true);
  savedType_ = cell ? cell->cellType : 0;
  if (cell) {
    const uint8_t style = list_->TextStyleBits() | cell->style;
    const FontDescriptor font{list_->TextFontName(), uint8_t((style & kBoldBit) != 0),
                              uint8_t((style & kItalicBit) != 0),
                              uint8_t((style & kUnderlineBit) != 0),
                              cell->textSize ? cell->textSize : list_->TextSize()};
    pane_->SetFont(font);
    cell->cellType = kEditableCell;
    StringRef text = StringRef::Retain(cell->text);
    if (!text) text = StringRef::Adopt(StringFromASCII(""));
    pane_->SetText(text.get());
  }
  row_ = row, column_ = column;
  record_ = list_->GetRowRecord(row);
  structure_ = list_->RowStructureCount();
  ShowWindow(pane_->NativeWindow(), SW_SHOWNA);
  // A window that kept the focus from the last edit is told nothing anew.
  const bool hadFocus = GetFocus() == pane_->NativeWindow();
  RichEditPane* pane = pane_;
  SetFocusPane(pane);
  if (hadFocus && GetFocusPane() == pane) FireGotFocus();
  if (list_->IsClosing() || row_ < 0) return;
  const int32_t now = CurrentRow();
  if (now >= 0) list_->InvalidateCells(now, column_);
}

void ListCellEditPane::EndEdit(bool commit) {
  if (ending_ || row_ < 0) return;
  OwnerChainLock hold(list_);
  EndScope end(this);
  const int32_t column = column_;
  int32_t row = CurrentRow();
  if (ListBoxCell* cell = row >= 0 ? list_->FindCell(row, column, true) : nullptr) {
    if (commit) {
      StringRef text = StringRef::Adopt(Text());
      StringAssign(&cell->text, text.get());
    }
    cell->cellType = savedType_;
  }
  if (commit && row >= 0) {
    if (list_->Fire(kListCellAction, row, column).closing) return;
    row = CurrentRow();
  }
  left_ = true;
  Park();
  if (row < 0) {
    list_->InvalidateCells(-1, -1);
    return;
  }
  list_->InvalidateCells(row, column);
  if (list_->Fire(kListCellLostFocus, row, column).closing) return;
  row = CurrentRow();
  if (row < 0) {
    list_->InvalidateCells(-1, -1);
    return;
  }
  // The edited row is selected again without a change being reported.
  const bool quiet = list_->IsQuiet();
  list_->SetQuiet(true);
  {
    NuListbox::SelectionCallsHeld held(list_);
    list_->SelectOnlyRow(row, false);
  }
  list_->SetQuiet(quiet);
}

void ListCellEditPane::FireGotFocus() {
  const int32_t row = CurrentRow();
  if (row >= 0 && !ending_) list_->Fire(kListCellGotFocus, row, column_);
}

void ListCellEditPane::TextChanged(NativeEditPane*) {
  const int32_t row = CurrentRow();
  if (row >= 0 && !ending_) list_->Fire(kListCellTextChange, row, column_);
}

void ListCellEditPane::GotFocus(SubPane*) { FireGotFocus(); }

void ListCellEditPane::LostFocus(SubPane*) { EndEdit(true); }

bool ListCellEditPane::KeyChar(NativeEditPane*, uint32_t character, uint32_t key,
                               uint32_t modifiers) {
  if (row_ < 0 || ending_) return false;
  if (IsCancelKeystroke(character, key, modifiers)) {
    EndEdit(false);
    return true;
  }
  return CellKey(character);
}

bool ListCellEditPane::CellKey(uint32_t character) {
  OwnerChainLock hold(list_);
  int32_t row = CurrentRow();
  if (row < 0) return false;
  list_->ScrollCellIntoView(row, column_);
  StringRef keyText = StringRef::Adopt(runListbox::KeyString(character));
  const EventOutcome outcome = list_->Fire(kListCellKeyDown, row, column_, keyText.get());
  if (outcome.closing || outcome.handled) return true;
  if (character != kReturnKey && character != kEscapeKey) return false;
  const ListBoxRow* record = record_;
  row = CurrentRow();
  const uint32_t structure = list_->RowStructureCount();
  EndEdit(character == kReturnKey);
  if (list_->IsClosing()) return true;
  SetFocusPane(list_);
  if (list_->IsClosing() || row < 0) return true;
  row = list_->RowAfterChange(record, row, structure);
  if (row < 0) return true;
  // The end of the edit selected the row already.
  if (list_->SelectedRowCount() == 1 && list_->IsRowSelected(row)) {
    list_->ScrollRowIntoView(row);
  } else {
    list_->SelectOnlyRow(row, true);
  }
  return true;
}

}  // namespace

ListCellEditor* NewListCellEditPane(runListbox* list) { return new ListCellEditPane(list); }
