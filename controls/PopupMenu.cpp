// The PopupMenu control and its RowTagProvider parts.
#include "controls/PopupMenu.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "controls/DataControlRole.h"
#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "graphics/Rect16.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"

namespace {

// CBS_DROPDOWNLIST | WS_VSCROLL.
constexpr uint32_t kPopupStyle = 0x200003;
// Room beside the widest row text in the drop-down list.
constexpr int32_t kDroppedWidthMargin = 6;

PopupMenuFields* FieldsOf(RuntimeObject* control) { return ObjectFields<PopupMenuFields>(control); }

// The fields of a popup; nil for nil (NilObjectException raised) or for
// another class's object (reported).
PopupMenuFields* Checked(RuntimeObject* control) {
  return InstanceArgument<PopupMenuFields>(control, GetPopupMenuClassDefinition(), "PopupMenu",
                                           __LINE__, "ObjectIsADefinition(control, PopupMenu)");
}

PopupMenuPane* PaneOf(PopupMenuFields* fields) {
  return fields ? dynamic_cast<PopupMenuPane*>(fields->control.pane) : nullptr;
}

PopupMenuPane* PaneOf(RuntimeObject* control) { return PaneOf(Checked(control)); }

// The pane when the index names a row; otherwise OutOfBoundsException is
// raised (also without a pane, which has no rows) and nil returned.
PopupMenuPane* PaneWithRow(RuntimeObject* control, int32_t index, int32_t extra = 0) {
  PopupMenuFields* fields = Checked(control);
  if (!fields) return nullptr;
  PopupMenuPane* pane = PaneOf(fields);
  const int32_t count = pane ? pane->RowCount() : 0;
  if (index >= 0 && index < count + extra) return pane;
  RaiseOutOfBoundsException();
  return nullptr;
}

PopupRowTagFields* RowTagFieldsOf(RuntimeObject* part) {
  return ObjectFields<PopupRowTagFields>(part);
}

// The text of a row in the system encoding, for the A line.
std::string SystemText(const StringRecord* text) {
  StringRef system = StringRef::Adopt(StringToSystemEncoding(text));
  return std::string(reinterpret_cast<const char*>(StringData(system.get())),
                     StringLength(system.get()));
}

void InitialisePopupMenu(RuntimeObject* control) {
  PopupMenuFields* fields = FieldsOf(control);
  fields->textStyle = DefaultTextStyle();
  RuntimeLockString(fields->textStyle.font);
  fields->pendingListIndex = -1;
  fields->rowTagParts = new std::vector<RuntimeObject*>();
}

// The rows of an InitialValue: one per line, a final empty line making none.
void AddInitialRows(PopupPane* pane, const StringRecord* initialValue) {
  StringRef cr = StringRef::Adopt(StringFromASCII("\r"));
  StringRef lines = StringRef::Adopt(RuntimeReplaceLineEndings(initialValue, cr.get()));
  const std::string text = StringToStdUTF8(lines.get());
  size_t start = 0;
  for (size_t end = text.find('\r'); start < text.size(); end = text.find('\r', start)) {
    if (end == std::string::npos) end = text.size();
    StringRef row = StringRef::Adopt(StringFromUTF8(text.substr(start, end - start)));
    pane->AddRow(row.get(), nullptr);
    start = end + 1;
  }
}

// One row of a BindList list: its first field as the text, its second (when
// it has one) as the tag.
void AddListRow(PopupPane* pane, RuntimeObject* row) {
  ObjectDefinition* tuple = GetTupleInterfaceInterfaceDefinition();
  void* getIndString = FindInterfaceMethod(row, tuple, "getIndString");
  const int32_t fieldCount = CallInterface<int32_t>(row, tuple, "FieldCount", 1);
  if (!getIndString || fieldCount <= 0) return;
  auto field = [&](int32_t n) {
    return StringRef::Adopt(
        reinterpret_cast<StringRecord* (*)(RuntimeObject*, int32_t)>(getIndString)(row, n));
  };
  const int32_t index = pane->RowCount();
  pane->AddRow(field(1).get(), nullptr);
  if (fieldCount > 1) {
    ObjectRef tag = ObjectRef::Adopt(stringToVariant(field(2).get()));
    pane->SetRowTag(index, tag.get());
  }
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(popup, PopupMenuFields, textStyle)

// ---- Class definitions ----

ObjectDefinition* GetPopupMenuClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "Change", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseUp", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      RUNTIME_TEXT_STYLE_PROPERTIES(popup),
      {kPropertyReadOnly, "ListCount", &kIntegerType, RUNTIME_ENTRY(RuntimePopupCountGetter),
       nullptr, nullptr, 0},
      {0, "ListIndex", &kIntegerType, RUNTIME_ENTRY(RuntimePopupSelectionGetter),
       RUNTIME_ENTRY(RuntimePopupSelectionSetter), 0},
      {kPropertyReadOnly, "Text", &kStringType, RUNTIME_ENTRY(popupTextGetter), nullptr, nullptr,
       0},
      {kField, "InitialValue", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), offsetof(PopupMenuFields, initialValue)},
      {0, "DataSource", &kStringType, RUNTIME_ENTRY(PopupDataSourceGetter),
       RUNTIME_ENTRY(PopupDataSourceSetter), 0},
      {kField, "DataField", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(PopupDataFieldSetter), offsetof(PopupMenuFields, dataField)},
  };
  static const ParameterRecord text[] = {{"text", &kStringType, 0}};
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const ParameterRecord indexText[] = {{"index", &kIntegerType, 0},
                                              {"text", &kStringType, 0}};
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord list[] = {{"list", GetListDataProviderInterfaceDefinition(), 0}};
  static const ParameterRecord name[] = {{"name", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("DeleteAllRows", nullptr, nullptr, 0, RUNTIME_ENTRY(RuntimePopupEmpty)),
      MakeMethodRecord("AddRow", nullptr, text, 1, RUNTIME_ENTRY(RuntimePopupAddRow)),
      MakeMethodRecord("AddSeparator", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(RuntimePopupAddSeparator)),
      MakeMethodRecord("RemoveRow", nullptr, index, 1, RUNTIME_ENTRY(RuntimePopupRemoveRow)),
      MakeMethodRecord("List", &kStringType, index, 1, RUNTIME_ENTRY(RuntimePopupGetRow)),
      MakeMethodRecord("InsertRow", nullptr, indexText, 2, RUNTIME_ENTRY(RuntimePopupInsertRow)),
      MakeMethodRecord("getString", &kStringType, nullptr, 0, RUNTIME_ENTRY(RuntimePopupGetString)),
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(popupAddDNR)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(popupRemoveDNR)),
      MakeMethodRecord("dataAvailable", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(popupDataAvailable)),
      MakeMethodRecord("BindList", nullptr, list, 1, RUNTIME_ENTRY(popupBindList)),
      MakeMethodRecord("RowTag", GetVariantClassDefinition(), index, 1,
                       RUNTIME_ENTRY(getPopupRowTag), RUNTIME_ENTRY(setPopupRowTag)),
      MakeMethodRecord("getBoundPart", nullptr, name, 1, RUNTIME_ENTRY(popupGetBoundPart)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "PopupMenu", sizeof(PopupMenuFields), InitialisePopupMenu, PopupMenuDestruct,
      PopupMenuCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetStringProviderInterfaceDefinition(), GetDataNotifierInterfaceDefinition(),
       GetDataAvailableProviderInterfaceDefinition(), GetListInterfaceInterfaceDefinition(),
       GetBindingPartInterfaceInterfaceDefinition()}});
  return definition.get();
}

ObjectDefinition* GetPopupRowTagClassDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getString", &kStringType, nullptr, 0, RUNTIME_ENTRY(popupRowTagGetString)),
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(popupRowTagAddDNR)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(popupRowTagRemoveDNR)),
      MakeMethodRecord("dataAvailable", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(popupRowTagDataAvailable)),
      MakeMethodRecord("DataChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(popupRowTagDataChanged)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "sys$popupRowTag");
    definition.instanceSize = sizeof(PopupRowTagFields);
    definition.destructor = PopupRowTagDestruct;
    BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
    for (ObjectDefinition* implemented :
         {GetStringProviderInterfaceDefinition(), GetDataNotifierInterfaceDefinition(),
          GetDataAvailableProviderInterfaceDefinition(),
          GetDataNotificationReceiverInterfaceDefinition()}) {
      definition.AddInterface(implemented);
    }
    return &definition;
  }();
  return made;
}

void InitPopupMenuClass() {
  RegisterIntrinsicClass(GetPopupMenuClassDefinition());
  RegisterIntrinsicClass(GetPopupRowTagClassDefinition());
}

// ---- The combo box pane ----

PopupPane::PopupPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                     const MacRect& bounds)
    : ControlPane(font, parent, tabPanelIndex, bounds, nullptr, "COMBOBOX", kPopupStyle, 0) {
  FontDescriptorAssign(&font_.get(), &font);
}

LRESULT PopupPane::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = NativeWindow();
  if (!window) return CB_ERR;
  // The pane's own requests go straight to the combo box's procedure: the
  // subclass routing serves the messages that come from outside.
  WNDPROC procedure = SavedProcedure();
  return procedure ? CallWindowProcAuto(procedure, window, message, wParam, lParam)
                   : SendMessageAuto(window, message, wParam, lParam);
}

LRESULT PopupPane::SendText(UINT message, WPARAM wParam, const StringRecord* text) {
  if (IsWindowsNT()) {
    const std::wstring wide = StringToWide(text);
    return Send(message, wParam, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  const std::string bytes = SystemText(text);
  return Send(message, wParam, reinterpret_cast<LPARAM>(bytes.c_str()));
}

int32_t PopupPane::RowCount() { return int32_t(std::max<LRESULT>(Send(CB_GETCOUNT, 0, 0), 0)); }

int32_t PopupPane::ListIndex() { return int32_t(Send(CB_GETCURSEL, 0, 0)); }

void PopupPane::Select(int32_t index) {
  // The combo box keeps its selection for an index past the rows.
  if (index < 0 || index >= RowCount()) index = -1;
  Send(CB_SETCURSEL, WPARAM(index), 0);
}

void PopupPane::SetListIndex(int32_t index, bool notify) {
  Select(index);
  if (notify) Change();
}

StringRecord* PopupPane::RowText(int32_t index) {
  const LRESULT length = Send(CB_GETLBTEXTLEN, WPARAM(index), 0);
  if (length <= 0) return StringFromASCII("");
  if (IsWindowsNT()) {
    std::wstring units(size_t(length) + 1, L'\0');
    const LRESULT copied = Send(CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(units.data()));
    return StringFromWide(units.data(), size_t(std::max<LRESULT>(copied, 0)));
  }
  std::string bytes(size_t(length) + 1, '\0');
  const LRESULT copied = Send(CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(bytes.data()));
  return NewString(bytes.data(), size_t(std::max<LRESULT>(copied, 0)), GetSystemTextEncoding());
}

RuntimeObject* PopupPane::RowTag(int32_t index) {
  const LRESULT data = Send(CB_GETITEMDATA, WPARAM(index), 0);
  return data == CB_ERR ? nullptr : reinterpret_cast<RuntimeObject*>(data);
}

void PopupPane::SetRowTag(int32_t index, RuntimeObject* tag) {
  if (!NativeWindow()) return;
  if (countTags_) RuntimeLockObject(tag);
  ReleaseTag(index);
  Send(CB_SETITEMDATA, WPARAM(index), reinterpret_cast<LPARAM>(tag));
}

void PopupPane::ReleaseTag(int32_t index) {
  if (countTags_) RuntimeUnlockObject(RowTag(index));
}

void PopupPane::AddRow(const StringRecord* text, RuntimeObject* tag) {
  const LRESULT index = SendText(CB_ADDSTRING, 0, text);
  if (index < 0) return;
  if (countTags_) RuntimeLockObject(tag);
  Send(CB_SETITEMDATA, WPARAM(index), reinterpret_cast<LPARAM>(tag));
  Widen(MeasureRow(text));
}

void PopupPane::AddSeparator() {
  StringRef separator = StringRef::Adopt(StringFromASCII("-"));
  AddRow(separator.get(), nullptr);
}

void PopupPane::InsertRow(int32_t index, const StringRecord* text, RuntimeObject* tag) {
  const int32_t selected = ListIndex();
  const LRESULT row = SendText(CB_INSERTSTRING, WPARAM(index), text);
  if (row < 0) return;
  if (countTags_) RuntimeLockObject(tag);
  Send(CB_SETITEMDATA, WPARAM(row), reinterpret_cast<LPARAM>(tag));
  if (selected >= 0) Select(selected);
  Widen(MeasureRow(text));
}

void PopupPane::RemoveRow(int32_t index) {
  const int32_t selected = ListIndex();
  StringRef text = StringRef::Adopt(RowText(index));
  ReleaseTag(index);
  if (Send(CB_DELETESTRING, WPARAM(index), 0) == CB_ERR) return;
  if (selected == index) Select(index);
  auto width = rowWidths_.find(MeasureRow(text.get()));
  if (width != rowWidths_.end()) rowWidths_.erase(width);
  ApplyDroppedWidth();
}

void PopupPane::DeleteAllRows() {
  for (int32_t row = RowCount() - 1; row >= 0; --row) ReleaseTag(row);
  Send(CB_RESETCONTENT, 0, 0);
  rowWidths_.clear();
  droppedWidest_ = 0;
  Send(CB_SETDROPPEDWIDTH, 0, 0);
}

int32_t PopupPane::MeasureRow(const StringRecord* text) {
  HWND window = NativeWindow();
  HDC dc = window ? ::GetDC(window) : nullptr;
  if (!dc) return 0;
  HGDIOBJ previous = Font() ? SelectObject(dc, Font()) : nullptr;
  SIZE size{};
  if (IsWindowsNT()) {
    const std::wstring wide = StringToWide(text);
    GetTextExtentPoint32W(dc, wide.data(), int(wide.size()), &size);
  } else {
    const std::string bytes = SystemText(text);
    GetTextExtentPoint32A(dc, bytes.data(), int(bytes.size()), &size);
  }
  if (previous) SelectObject(dc, previous);
  ::ReleaseDC(window, dc);
  return size.cx;
}

void PopupPane::Widen(int32_t width) {
  rowWidths_.insert(width);
  if (width > droppedWidest_) ApplyDroppedWidth();
}

void PopupPane::ApplyDroppedWidth() {
  const int32_t widest = rowWidths_.empty() ? 0 : *rowWidths_.rbegin();
  if (widest == droppedWidest_) return;
  droppedWidest_ = widest;
  Send(CB_SETDROPPEDWIDTH, WPARAM(widest + kDroppedWidthMargin + GetSystemMetrics(SM_CXVSCROLL)),
       0);
}

void PopupPane::SetTextFont(const FontDescriptor& font) {
  FontDescriptorAssign(&font_.get(), &font);
  ControlPaneSetFont(this, font);
  rowWidths_.clear();
  for (int32_t row = 0, count = RowCount(); row < count; ++row) {
    StringRef text = StringRef::Adopt(RowText(row));
    rowWidths_.insert(MeasureRow(text.get()));
  }
  ApplyDroppedWidth();
}

bool PopupPane::BaselineOffset(int32_t* offset) {
  if (!offset) return true;
  *offset = 0;
  GraphicsPort* port = PaneNewGraphicsPort(this);
  if (!port) return true;
  port->SetFont(font_.get());
  const int32_t lineHeight = port->TextHeight();
  *offset = (Height() - 1 - (port->TextLeading() + lineHeight)) / 2 + port->TextAscent();
  PaneDeleteGraphicsPort(port);
  return true;
}

bool PopupPane::AdjustRedrawRect(MacRect* rect) {
  RECT window{};
  if (!NativeWindow() || !GetWindowRect(NativeWindow(), &window)) return false;
  rect->bottom = Saturate16(int64_t(rect->top) + (window.bottom - window.top));
  return true;
}

void PopupPane::SetBounds(const MacRect& rect, bool redraw) {
  const MacRect old = Bounds();
  ControlPane::SetBounds(rect, redraw);
  if (redraw) RedrawWholeAfterResize(this, old);
}

bool PopupPane::ArrowKeysMoveFocus() { return false; }

bool PopupPane::ControlNotification(int32_t code, UINT, WPARAM, LPARAM) {
  if (code != CBN_SELCHANGE) return false;
  Change();
  return true;
}

bool PopupPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (!IsEnabled()) return false;
  OwnerChainLock lock(this);
  const bool handled = MouseDownEvent(x - Left(), y - Top());
  if (IsClosing()) return true;
  if (!handled) return ControlPaneForwardMouseDown(this, x, y, modifiers);
  SetMouseCapturePane(this);
  return true;
}

void PopupPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  OwnerChainLock lock(this);
  MouseUpEvent(x - Left(), y - Top());
}

void PopupPane::TakeFocus() {
  OwnerChainLock lock(this);
  ControlPane::TakeFocus();
  if (!IsClosing()) GotFocusEvent();
}

void PopupPane::LoseFocus() {
  OwnerChainLock lock(this);
  if (!IsClosing()) LostFocusEvent();
}

void PopupPane::Change() {}
bool PopupPane::MouseDownEvent(int32_t, int32_t) { return false; }
void PopupPane::MouseUpEvent(int32_t, int32_t) {}
void PopupPane::GotFocusEvent() {}
void PopupPane::LostFocusEvent() {}

// ---- The popup menu's pane ----

PopupMenuPane::PopupMenuPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                             const MacRect& bounds)
    : PopupPane(font, parent, tabPanelIndex, bounds) {
  CountRowTags();
}

void PopupMenuPane::BindDataSource() { binding_.Bind(control_, kBoundPopupMenu); }
void PopupMenuPane::UnbindDataSource() { binding_.Unbind(); }

void PopupMenuPane::SelectText(const StringRecord* text) {
  int32_t found = -1;
  for (int32_t row = 0, count = text ? RowCount() : 0; row < count && found < 0; ++row) {
    StringRef rowText = StringRef::Adopt(RowText(row));
    if (StringCompareNoCase(rowText.get(), text) == 0) found = row;
  }
  SetListIndex(found, true);
}

StringRecord* PopupMenuPane::SelectedText() {
  const int32_t selected = ListIndex();
  return selected >= 0 ? RowText(selected) : StringFromASCII("");
}

void PopupMenuPane::Close() {
  DeleteAllRows();
  binding_.Unbind();
  // The control may go before the pane: a closing pane raises nothing.
  control_ = nullptr;
  PopupPane::Close();
}

void PopupMenuPane::Change() {
  if (!control_ || FieldsOf(control_)->inChange) return;
  RuntimeObject* control = control_;
  InActionScope changing(control, &FieldsOf(control)->inChange);
  OwnerChainLock lock(this);
  CallControlHandler(control, "Change");
  NotifyDataChanged(&FieldsOf(control)->dataReceivers);
}

bool PopupMenuPane::MouseDownEvent(int32_t x, int32_t y) {
  return CallControlHandler<bool>(control_, "MouseDown", x, y);
}

void PopupMenuPane::MouseUpEvent(int32_t x, int32_t y) {
  CallControlHandler<bool>(control_, "MouseUp", x, y);
}

void PopupMenuPane::GotFocusEvent() { CallControlHandler(control_, "GotFocus"); }
void PopupMenuPane::LostFocusEvent() { CallControlHandler(control_, "LostFocus"); }

// ---- Entry points ----

extern "C" void PopupMenuCreatePane(RuntimeObject* control) {
  PopupMenuFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  auto* pane = new PopupMenuPane(font.get(), ControlParentPane(control), common.tabPanelIndex,
                                 common.bounds);
  AdoptControlPane(control, pane);
  pane->SetControl(control);
  if (fields->initialValue) {
    AddInitialRows(pane, fields->initialValue);
    RuntimeUnlockString(std::exchange(fields->initialValue, nullptr));
  }
  if (fields->pendingListIndex != -1) pane->SetListIndex(fields->pendingListIndex, false);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

extern "C" void PopupMenuDestruct(RuntimeObject* control) {
  PopupMenuFields* fields = FieldsOf(control);
  // The parts go on living with whoever holds them, without their popup.
  for (RuntimeObject* part : *fields->rowTagParts) RowTagFieldsOf(part)->popup = nullptr;
  delete std::exchange(fields->rowTagParts, nullptr);
  ReceiverListClear(&fields->dataReceivers);
  RuntimeUnlockObject(std::exchange(fields->listProvider, nullptr));
  for (StringRecord** string :
       {&fields->textStyle.font, &fields->initialValue, &fields->dataSource, &fields->dataField}) {
    RuntimeUnlockString(std::exchange(*string, nullptr));
  }
}

extern "C" void RuntimePopupEmpty(RuntimeObject* control) {
  if (PopupMenuPane* pane = PaneOf(control)) pane->DeleteAllRows();
}

extern "C" void RuntimePopupAddRow(RuntimeObject* control, StringRecord* text) {
  if (PopupMenuPane* pane = PaneOf(control)) pane->AddRow(text, nullptr);
}

extern "C" void RuntimePopupAddSeparator(RuntimeObject* control) {
  if (PopupMenuPane* pane = PaneOf(control)) pane->AddSeparator();
}

extern "C" void RuntimePopupInsertRow(RuntimeObject* control, int32_t index, StringRecord* text) {
  // -1 appends, as the combo box itself takes it.
  PopupMenuPane* pane = index == -1 ? PaneOf(control) : PaneWithRow(control, index, 1);
  if (pane) pane->InsertRow(index, text, nullptr);
}

extern "C" void RuntimePopupRemoveRow(RuntimeObject* control, int32_t index) {
  if (PopupMenuPane* pane = PaneWithRow(control, index)) pane->RemoveRow(index);
}

extern "C" StringRecord* RuntimePopupGetRow(RuntimeObject* control, int32_t index) {
  PopupMenuPane* pane = PaneWithRow(control, index);
  return pane ? pane->RowText(index) : StringFromASCII("");
}

extern "C" StringRecord* RuntimePopupGetString(RuntimeObject* control) {
  PopupMenuPane* pane = PaneOf(control);
  return pane ? pane->SelectedText() : StringFromASCII("");
}

extern "C" StringRecord* popupTextGetter(RuntimeObject* control, uint32_t) {
  return RuntimePopupGetString(control);
}

extern "C" int32_t RuntimePopupCountGetter(RuntimeObject* control, uint32_t) {
  PopupMenuPane* pane = PaneOf(control);
  return pane ? pane->RowCount() : 0;
}

extern "C" int32_t RuntimePopupSelectionGetter(RuntimeObject* control, uint32_t) {
  PopupMenuPane* pane = PaneOf(control);
  return pane ? pane->ListIndex() : -1;
}

extern "C" void RuntimePopupSelectionSetter(RuntimeObject* control, uint32_t, int32_t value) {
  PopupMenuFields* fields = Checked(control);
  if (!fields) return;
  if (PopupMenuPane* pane = PaneOf(fields)) {
    pane->SetListIndex(value, true);
  } else {
    fields->pendingListIndex = value;
  }
}

extern "C" RuntimeObject* getPopupRowTag(RuntimeObject* control, int32_t index) {
  PopupMenuFields* fields = Checked(control);
  if (!PaneOf(fields)) return nullptr;
  PopupMenuPane* pane = PaneWithRow(control, index);
  if (!pane) return nullptr;
  RuntimeObject* tag = pane->RowTag(index);
  RuntimeLockObject(tag);
  return tag;
}

extern "C" void setPopupRowTag(RuntimeObject* control, int32_t index, RuntimeObject* tag) {
  if (!PaneOf(control)) return;
  if (PopupMenuPane* pane = PaneWithRow(control, index)) pane->SetRowTag(index, tag);
}

extern "C" void popupAddDNR(RuntimeObject* control, RuntimeObject* receiver) {
  if (PopupMenuFields* fields = Checked(control)) ReceiverListAdd(&fields->dataReceivers, receiver);
}

extern "C" void popupRemoveDNR(RuntimeObject* control, RuntimeObject* receiver) {
  if (PopupMenuFields* fields = Checked(control)) {
    ReceiverListRemove(&fields->dataReceivers, receiver);
  }
}

extern "C" bool popupDataAvailable(RuntimeObject* control) {
  PopupMenuPane* pane = PaneOf(control);
  return pane && pane->ListIndex() >= 0;
}

extern "C" void popupBindList(RuntimeObject* control, RuntimeObject* list) {
  PopupMenuFields* fields = Checked(control);
  if (!fields) return;
  RuntimeLockObject(list);
  RuntimeUnlockObject(std::exchange(fields->listProvider, list));
  PopupMenuPane* pane = PaneOf(fields);
  if (!pane) return;
  pane->DeleteAllRows();
  ObjectDefinition* provider = GetListDataProviderInterfaceDefinition();
  void* getRow = FindInterfaceMethod(list, provider, "GetRow");
  const int32_t count = CallInterface<int32_t>(list, provider, "GetCount", 0);
  for (int32_t i = 1; getRow && i <= count; ++i) {
    ObjectRef row = ObjectRef::Adopt(
        reinterpret_cast<RuntimeObject* (*)(RuntimeObject*, int32_t)>(getRow)(list, i));
    if (row) AddListRow(pane, row.get());
  }
}

extern "C" RuntimeObject* popupGetBoundPart(RuntimeObject* control, StringRecord* name) {
  PopupMenuFields* fields = Checked(control);
  StringRef wanted = StringRef::Adopt(StringFromASCII("RowTagProvider"));
  if (!fields || StringCompareNoCase(name, wanted.get()) != 0) return nullptr;
  RuntimeObject* part = CreateInstance(GetPopupRowTagClassDefinition());
  if (!part) return nullptr;
  RowTagFieldsOf(part)->popup = control;
  fields->rowTagParts->push_back(part);
  popupAddDNR(control, part);
  return part;
}

extern "C" StringRecord* PopupDataSourceGetter(RuntimeObject* control, uint32_t) {
  PopupMenuFields* fields = Checked(control);
  return fields ? StringAddRef(fields->dataSource) : nullptr;
}

extern "C" void PopupDataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (PopupMenuFields* fields = Checked(control))
    SetBoundDataSource(control, &fields->dataSource, name);
}

extern "C" void PopupDataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (PopupMenuFields* fields = Checked(control))
    SetBoundDataField(control, &fields->dataField, name);
}

// ---- RowTagProvider parts ----

extern "C" StringRecord* popupRowTagGetString(RuntimeObject* part) {
  RuntimeObject* popup = part ? RowTagFieldsOf(part)->popup : nullptr;
  PopupMenuPane* pane = popup ? PaneOf(FieldsOf(popup)) : nullptr;
  const int32_t selected = pane ? pane->ListIndex() : -1;
  RuntimeObject* tag = selected >= 0 ? pane->RowTag(selected) : nullptr;
  StringRecord* text = tag ? variantToString(tag) : nullptr;
  return text ? text : StringFromASCII("");
}

extern "C" void popupRowTagAddDNR(RuntimeObject* part, RuntimeObject* receiver) {
  if (part) ReceiverListAdd(&RowTagFieldsOf(part)->receivers, receiver);
}

extern "C" void popupRowTagRemoveDNR(RuntimeObject* part, RuntimeObject* receiver) {
  if (part) ReceiverListRemove(&RowTagFieldsOf(part)->receivers, receiver);
}

extern "C" bool popupRowTagDataAvailable(RuntimeObject* part) {
  RuntimeObject* popup = part ? RowTagFieldsOf(part)->popup : nullptr;
  return popup && popupDataAvailable(popup);
}

extern "C" void popupRowTagDataChanged(RuntimeObject* part) {
  if (part) NotifyDataChanged(&RowTagFieldsOf(part)->receivers);
}

extern "C" void PopupRowTagDestruct(RuntimeObject* part) {
  PopupRowTagFields* fields = RowTagFieldsOf(part);
  if (RuntimeObject* popup = std::exchange(fields->popup, nullptr)) {
    std::vector<RuntimeObject*>& parts = *FieldsOf(popup)->rowTagParts;
    parts.erase(std::remove(parts.begin(), parts.end(), part), parts.end());
  }
  ReceiverListClear(&fields->receivers);
}
