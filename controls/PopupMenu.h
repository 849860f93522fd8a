// The PopupMenu control: a drop-down list of text rows on a Win32
// "COMBOBOX" (CBS_DROPDOWNLIST | WS_VSCROLL). One ControlPane carries the
// combo box and holds the control; it runs the events itself. Each row may
// carry a tag, an object the pane keeps a reference to while it sits in the
// row. The popup binds three ways: to a DataControl (kind 3: the DataControl
// selects the row whose text matches its field and reads the selected
// text), to a listDataProvider through BindList (one row per tuple, the
// second field as the row's tag), and as the source of "RowTagProvider"
// parts, which report the selected row's tag as a string.
//
// "Change" runs when the user picks a row and on every assignment of
// ListIndex (also of the same value), never for the ListIndex applied when
// the pane is made, and never nested; each Change then tells the data
// receivers. Row indexes outside the rows raise OutOfBoundsException and
// change nothing; ListIndex takes any integer, one outside the rows clearing
// the selection.
//
// The drop-down list is as wide as the widest row text (in the popup's
// font) plus 6 and a vertical scroll bar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "controls/ControlPattern.h"
#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/ControlPane.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

// The popup object; property records point at these fields.
struct PopupMenuFields {
  RuntimeControl control;
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked
  TextStyle textStyle;
  uint8_t inChange;            // set while Change runs
  StringRecord* initialValue;  // locked; rows made from it with the pane, then cleared
  ReceiverList dataReceivers;
  RuntimeObject* listProvider;  // the BindList list, locked
  int32_t pendingListIndex;     // ListIndex set before the pane exists; -1 none
  // The "RowTagProvider" parts made (not counted), told when the popup goes.
  std::vector<RuntimeObject*>* rowTagParts;
};
static_assert(!kLayoutIs32Bit || offsetof(PopupMenuFields, textStyle) == 72, "text style at 72");
static_assert(!kLayoutIs32Bit || offsetof(PopupMenuFields, initialValue) == 88, "InitialValue");
static_assert(!kLayoutIs32Bit || offsetof(PopupMenuFields, pendingListIndex) == 100, "ListIndex");
static_assert(!kLayoutIs32Bit || sizeof(PopupMenuFields) == 108, "a popup is 108 bytes");

// A "sys$popupRowTag" object.
struct PopupRowTagFields {
  RuntimeObject header;
  RuntimeObject* popup;  // not counted; nil once the popup has gone
  ReceiverList receivers;
};

// "PopupMenu" (superclass RectControl), built on the first request; it
// implements StringProvider, dataNotifier, DataAvailableProvider,
// ListInterface and bindingPartInterface.
ObjectDefinition* GetPopupMenuClassDefinition();
// "sys$popupRowTag", implementing StringProvider, dataNotifier,
// DataAvailableProvider and dataNotificationReceiver.
ObjectDefinition* GetPopupRowTagClassDefinition();
// Registers both at start-up.
void InitPopupMenuClass();

// The part of a popup's pane that a DataControl pushes a field through
// (kind 3).
class PopupMenuBindingPart : public BoundControlPart {
 public:
  // Selects the first row whose text equals the text ignoring case (none
  // when no row does, or for nil: the record has no such field), as an
  // assignment of ListIndex does.
  virtual void SelectText(const StringRecord* text) = 0;
  // The selected row's text; "" without a selection (a new string).
  virtual StringRecord* SelectedText() = 0;

 protected:
  ~PopupMenuBindingPart() = default;
};

// The combo box and its rows. Row indexes are not checked here: the class
// side checks them. Tags are counted while in a row when the row-tag mode
// is set.
class PopupPane : public ControlPane {
 public:
  PopupPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
            const MacRect& bounds);

  void AddRow(const StringRecord* text, RuntimeObject* tag);
  // A row "-".
  void AddSeparator();
  // The selected index stays the same (so a row inserted above the selected
  // one moves the selection to the row above it).
  void InsertRow(int32_t index, const StringRecord* text, RuntimeObject* tag);
  // A removed selected row passes the selection to the row that takes its
  // place (none after the last row).
  void RemoveRow(int32_t index);
  void DeleteAllRows();
  int32_t RowCount();
  // -1 for none.
  int32_t ListIndex();
  // An index outside the rows clears the selection; notify runs Change.
  void SetListIndex(int32_t index, bool notify);
  // A new string; "" for a bad index.
  StringRecord* RowText(int32_t index);
  RuntimeObject* RowTag(int32_t index);  // borrowed
  void SetRowTag(int32_t index, RuntimeObject* tag);

  // The combo box's font, and the drop-down width measured again with it.
  void SetTextFont(const FontDescriptor& font) override;
  // The text's baseline for the pane's height and font.
  bool BaselineOffset(int32_t* offset) override;
  // Down to the combo box's own height, not the bounds'.
  bool AdjustRedrawRect(MacRect* rect) override;
  void SetBounds(const MacRect& rect, bool redraw) override;
  // The arrows change the selection of a focused popup.
  bool ArrowKeysMoveFocus() override;
  // CBN_SELCHANGE runs Change.
  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  // Enabled: MouseDownEvent at the point relative to the pane; true
  // captures the mouse, false opens the list.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  void TakeFocus() override;
  void LoseFocus() override;

 protected:
  ~PopupPane() override = default;
  // Row tags are counted (the popup menu's panes).
  void CountRowTags() { countTags_ = true; }

  // The events, each run with the pane's owner chain locked. The base does
  // nothing and answers false.
  virtual void Change();
  virtual bool MouseDownEvent(int32_t x, int32_t y);
  virtual void MouseUpEvent(int32_t x, int32_t y);
  virtual void GotFocusEvent();
  virtual void LostFocusEvent();

 private:
  // A message to the combo box (CB_ERR without a window), and one carrying
  // a text: UTF-16 on the NT line, else the system encoding.
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT SendText(UINT message, WPARAM wParam, const StringRecord* text);
  void Select(int32_t index);
  void ReleaseTag(int32_t index);
  int32_t MeasureRow(const StringRecord* text);
  void Widen(int32_t width);
  void ApplyDroppedWidth();

  bool countTags_ = false;
  ScopedFontDescriptor font_;
  // Each row's measured width, so removing a row measures only that row.
  std::multiset<int32_t> rowWidths_;
  int32_t droppedWidest_ = 0;  // the widest row that the drop-down width was set for
};

// The popup menu's pane: the control, the events and the DataSource
// binding. It holds the control (not counted) until it closes; closing
// deletes every row first.
class PopupMenuPane : public PopupPane, public PopupMenuBindingPart {
 public:
  PopupMenuPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                const MacRect& bounds);

  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }
  void SetDataSourceName(StringRecord* name) override { binding_.SetName(name); }
  void BindDataSource() override;
  void UnbindDataSource() override;
  void SelectText(const StringRecord* text) override;
  StringRecord* SelectedText() override;
  void Close() override;

 protected:
  ~PopupMenuPane() override = default;
  // The "Change" handler, then the data receivers; nothing while a Change
  // of the control runs.
  void Change() override;
  bool MouseDownEvent(int32_t x, int32_t y) override;
  void MouseUpEvent(int32_t x, int32_t y) override;
  void GotFocusEvent() override;
  void LostFocusEvent() override;

 private:
  DataSourceBinding binding_;
  RuntimeObject* control_ = nullptr;
};

extern "C" {
// The class's "CreatePane": the pane in the control's font, re-parented into
// the parent control's pane; one row per line of InitialValue (lines end at
// CR, LF or CR LF; a final empty line makes no row), then the pending
// ListIndex (no Change), then the DataSource binding.
void PopupMenuCreatePane(RuntimeObject* control);
// Releases the strings, the receivers and the BindList list, and detaches
// the RowTagProvider parts (they then answer "" and false).
void PopupMenuDestruct(RuntimeObject* control);

// The entry points take the control first. A nil control raises
// NilObjectException and another class's object is reported; either does
// nothing and reads 0, -1, "" or nil. Without a pane the row operations do
// nothing and the queries read 0, -1 or "".
void RuntimePopupEmpty(RuntimeObject* control);
void RuntimePopupAddRow(RuntimeObject* control, StringRecord* text);
void RuntimePopupAddSeparator(RuntimeObject* control);
// index 0 ... ListCount, or -1 for after the last row; another raises
// OutOfBoundsException.
void RuntimePopupInsertRow(RuntimeObject* control, int32_t index, StringRecord* text);
// RemoveRow, List and RowTag: index 0 ... ListCount - 1; another raises
// OutOfBoundsException.
void RuntimePopupRemoveRow(RuntimeObject* control, int32_t index);
StringRecord* RuntimePopupGetRow(RuntimeObject* control, int32_t index);
StringRecord* RuntimePopupGetString(RuntimeObject* control);
int32_t RuntimePopupCountGetter(RuntimeObject* control, uint32_t index);
int32_t RuntimePopupSelectionGetter(RuntimeObject* control, uint32_t index);
// With a pane: selects and runs Change; without: kept for the pane.
void RuntimePopupSelectionSetter(RuntimeObject* control, uint32_t index, int32_t value);
StringRecord* popupTextGetter(RuntimeObject* control, uint32_t index);
// The tag, a new reference (nil stays nil; nil without a pane).
RuntimeObject* getPopupRowTag(RuntimeObject* control, int32_t index);
void setPopupRowTag(RuntimeObject* control, int32_t index, RuntimeObject* tag);

void popupAddDNR(RuntimeObject* control, RuntimeObject* receiver);
void popupRemoveDNR(RuntimeObject* control, RuntimeObject* receiver);
// A pane and a selected row.
bool popupDataAvailable(RuntimeObject* control);
// Keeps the list (nil: none), then fills the rows from it: rows 1 ...
// GetCount, a nil row or one without getIndString skipped.
void popupBindList(RuntimeObject* control, RuntimeObject* list);
// "RowTagProvider" (case ignored): a new sys$popupRowTag (the caller's
// reference) listening to the popup's changes; any other name: nil.
RuntimeObject* popupGetBoundPart(RuntimeObject* control, StringRecord* name);

StringRecord* PopupDataSourceGetter(RuntimeObject* control, uint32_t index);
void PopupDataSourceSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void PopupDataFieldSetter(RuntimeObject* control, uint32_t index, StringRecord* name);

// sys$popupRowTag: the selected row's tag as a string ("" for none, a nil
// tag, or once the popup has gone); its own receivers; the popup's data
// availability (false once it has gone); the popup's change passed on to
// its own receivers.
StringRecord* popupRowTagGetString(RuntimeObject* part);
void popupRowTagAddDNR(RuntimeObject* part, RuntimeObject* receiver);
void popupRowTagRemoveDNR(RuntimeObject* part, RuntimeObject* receiver);
bool popupRowTagDataAvailable(RuntimeObject* part);
void popupRowTagDataChanged(RuntimeObject* part);
void PopupRowTagDestruct(RuntimeObject* part);

// The font accessors popupTextFontGetter ... popupUnderlineSetter are
// generated with the class's records (RUNTIME_TEXT_STYLE_ACCESSORS).
}
