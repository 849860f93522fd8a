#include "testsupport/TestListBox.h"

#include <iterator>
#include <map>
#include <memory>
#include <utility>

#include "controls/RichEditPane.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "ui/Binding.h"
#include "ui/RuntimeWindow.h"

namespace {

// ---- The logging subclass ----

std::map<std::string, ListEventCode>& EventCode() {
  static std::map<std::string, ListEventCode> code;
  return code;
}

struct EventCall {
  std::string text;
  std::vector<int32_t> integers;
  int32_t* result = nullptr;
};

void Append(EventCall* call, const std::string& text) {
  call->text += (call->text.empty() ? "" : ",") + text;
}
void Add(EventCall* call, int32_t value) {
  Append(call, std::to_string(value));
  call->integers.push_back(value);
}
void Add(EventCall* call, int32_t* result) {
  Append(call, std::to_string(*result));
  call->result = result;
}
void Add(EventCall* call, StringRecord* text) {
  const std::u16string units = StringToStdUTF16(text);
  Append(call, units.empty() ? "" : std::to_string(int(units[0])));
}
void Add(EventCall* call, RuntimeObject* object) { Append(call, object ? "obj" : "nil"); }

template <int kEvent, class... Parameters>
struct LoggingHandler {
  static bool Run(RuntimeObject* control, Parameters... parameters) {
    EventCall call;
    (Add(&call, parameters), ...);
    const std::string name = ListboxEventRecord(ListEvent(kEvent)).name;
    Log(call.text.empty() && sizeof...(Parameters) == 0 ? name : name + "(" + call.text + ")");
    auto found = EventCode().find(name);
    if (found == EventCode().end()) return false;
    const ListEventCode code = found->second;  // the code may replace itself
    return code(ListBoxPaneOf(control), call.integers, call.result);
  }
};

template <int kEvent, class... Parameters>
void Install(ClassBuilder* builder) {
  builder->Handle(ListboxEventRecord(ListEvent(kEvent)).name,
                  &LoggingHandler<kEvent, Parameters...>::Run);
}

ClassBuilder& ListClass() {
  static ClassBuilder builder(GetListboxClassDefinition(), "TestListbox");
  static const bool installed = [] {
    using I = int32_t;
    using S = StringRecord*;
    using O = RuntimeObject*;
    Install<kListChange>(&builder);
    Install<kListDoubleClick>(&builder);
    Install<kListKeyDown, S>(&builder);
    Install<kListEnableMenuItems>(&builder);
    Install<kListExpandRow, I>(&builder);
    Install<kListCollapseRow, I>(&builder);
    Install<kListDragRow, O, I>(&builder);
    Install<kListSortColumn, I>(&builder);
    Install<kListCellAction, I, I>(&builder);
    Install<kListGotFocus>(&builder);
    Install<kListLostFocus>(&builder);
    Install<kListCellBackgroundPaint, O, I, I>(&builder);
    Install<kListCellTextPaint, O, I, I, I, I>(&builder);
    Install<kListCellClick, I, I, I, I>(&builder);
    Install<kListCellKeyDown, I, I, S>(&builder);
    Install<kListCellTextChange, I, I>(&builder);
    Install<kListCellGotFocus, I, I>(&builder);
    Install<kListCellLostFocus, I, I>(&builder);
    Install<kListMouseDown, I, I>(&builder);
    Install<kListMouseDrag, I, I>(&builder);
    Install<kListMouseUp, I, I>(&builder);
    Install<kListCompareRows, I, I, I, int32_t*>(&builder);
    Install<kListDragReorderRows, I>(&builder);
    Install<kListHeaderPressed, I>(&builder);
    return true;
  }();
  (void)installed;
  return builder;
}

// ---- The selection receiver ----

struct ReceiverFields {
  StringRecord* tag;      // owned
  ReceiverCode* onCall;  // owned
};

ClassBuilder& ReceiverClass();
ReceiverFields* ReceiverOf(RuntimeObject* receiver) {
  return ReceiverClass().Extra<ReceiverFields>(receiver);
}

void ReleaseReceiver(RuntimeObject* receiver) {
  ReceiverFields* fields = ReceiverOf(receiver);
  StringAssign(&fields->tag, nullptr);
  delete std::exchange(fields->onCall, nullptr);
}

void ReceiverCalled(RuntimeObject* receiver, const char* method) {
  ReceiverFields* fields = ReceiverOf(receiver);
  Log(StringToStdUTF8(fields->tag) + "." + method);
  if (*fields->onCall) (*fields->onCall)(receiver, method);
}
void SelectionChangingCalled(RuntimeObject* receiver) {
  ReceiverCalled(receiver, "selectionChanging");
}
void SelectionChangedCalled(RuntimeObject* receiver) {
  ReceiverCalled(receiver, "selectionChanged");
}

ClassBuilder& ReceiverClass() {
  static const MethodRecord methods[] = {
      MakeMethodRecord("selectionChanging", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(SelectionChangingCalled)),
      MakeMethodRecord("selectionChanged", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(SelectionChangedCalled)),
  };
  static ClassBuilder builder(nullptr, "SelectionReceiverStandIn", sizeof(ReceiverFields),
                              nullptr, ReleaseReceiver);
  static const bool described = [] {
    builder.Implements(GetListSelectionNotificationReceiverInterfaceDefinition())
        .Methods(methods, int32_t(std::size(methods)));
    return true;
  }();
  (void)described;
  return builder;
}

// ---- The provider stand-in and its rows ----

struct TupleFields {
  std::vector<std::string>* texts;  // owned
};
struct ProviderFields {
  std::vector<RuntimeObject*>* rows;  // owned, each locked
};

ClassBuilder& TupleClass();
ClassBuilder& ProviderClass();
TupleFields* TupleOf(RuntimeObject* row) { return TupleClass().Extra<TupleFields>(row); }
ProviderFields* ProviderOf(RuntimeObject* provider) {
  return ProviderClass().Extra<ProviderFields>(provider);
}

void ReleaseTuple(RuntimeObject* row) { delete std::exchange(TupleOf(row)->texts, nullptr); }
int32_t TupleFieldCount(RuntimeObject* row) { return int32_t(TupleOf(row)->texts->size()); }
StringRecord* TupleText(RuntimeObject* row, int32_t field) {
  const std::vector<std::string>& texts = *TupleOf(row)->texts;
  return field >= 1 && size_t(field) <= texts.size() ? StringFromUTF8(texts[size_t(field) - 1])
                                                     : StringFromASCII("");
}

void ReleaseProvider(RuntimeObject* provider) {
  std::vector<RuntimeObject*>* rows = std::exchange(ProviderOf(provider)->rows, nullptr);
  for (RuntimeObject* row : *rows) RuntimeUnlockObject(row);
  delete rows;
}
int32_t ProviderCount(RuntimeObject* provider) {
  return int32_t(ProviderOf(provider)->rows->size());
}
RuntimeObject* ProviderRow(RuntimeObject* provider, int32_t row) {
  const std::vector<RuntimeObject*>& rows = *ProviderOf(provider)->rows;
  if (row < 1 || size_t(row) > rows.size()) return nullptr;
  RuntimeLockObject(rows[size_t(row) - 1]);
  return rows[size_t(row) - 1];
}

ClassBuilder& TupleClass() {
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("FieldCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(TupleFieldCount)),
      MakeMethodRecord("getIndString", &kStringType, index, 1, RUNTIME_ENTRY(TupleText)),
  };
  static ClassBuilder builder(nullptr, "ListRowStandIn", sizeof(TupleFields), nullptr,
                              ReleaseTuple);
  static const bool described = [] {
    builder.Implements(GetTupleInterfaceInterfaceDefinition()).Methods(methods, 2);
    return true;
  }();
  (void)described;
  return builder;
}

ClassBuilder& ProviderClass() {
  static const ParameterRecord row[] = {{"row", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("GetCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(ProviderCount)),
      MakeMethodRecord("GetRow", nullptr, row, 1, RUNTIME_ENTRY(ProviderRow)),
  };
  static ClassBuilder builder(nullptr, "ListProviderStandIn", sizeof(ProviderFields), nullptr,
                              ReleaseProvider);
  static const bool described = [] {
    builder.Implements(GetListDataProviderInterfaceDefinition()).Methods(methods, 2);
    return true;
  }();
  (void)described;
  return builder;
}

// ---- The test cell editor ----

ClassBuilder& EditFieldStandInClass() {
  static ClassBuilder builder(nullptr, "EditFieldStandIn");
  return builder;
}

class TestCellEditor : public ListCellEditor {
 public:
  explicit TestCellEditor(runListbox* list)
      : list_(list), object_(ObjectRef::Adopt(EditFieldStandInClass().NewInstance())) {
    LoadRichEditLibraries();
    window_ = CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD, -10, -10, 1, 1,
                              list->NativeWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~TestCellEditor() override { Close(); }

  void StartEdit(int32_t row, int32_t column) override {
    row_ = row;
    column_ = column;
    const std::u16string text = StringToStdUTF16(list_->FindCell(row, column, false)
                                                     ? list_->FindCell(row, column, false)->text
                                                     : nullptr);
    SetWindowTextW(window_, reinterpret_cast<const wchar_t*>(text.c_str()));
    ShowWindow(window_, SW_SHOWNA);
  }
  void EndEdit(bool commit) override {
    Log("EndEdit(" + std::to_string(row_) + "," + std::to_string(column_) + "," +
        (commit ? "commit" : "cancel") + ")");
    if (commit) {
      StringRef text = StringRef::Adopt(Text());
      if (ListBoxCell* cell = list_->FindCell(row_, column_, true)) StringAssign(&cell->text, text.get());
    }
    ShowWindow(window_, SW_HIDE);
    row_ = column_ = -1;
  }
  int32_t EditRow() const override { return row_; }
  int32_t EditColumn() const override { return column_; }
  StringRecord* Text() override {
    std::u16string text(size_t(GetWindowTextLengthW(window_)) + 1, u'\0');
    text.resize(size_t(GetWindowTextW(window_, reinterpret_cast<wchar_t*>(&text[0]),
                                      int(text.size()))));
    return NewString(text.data(), text.size() * 2, kEncodingUTF16);
  }
  HWND Window() const override { return window_; }
  RuntimeObject* EditFieldObject() const override { return object_.get(); }
  void Close() override {
    if (window_) DestroyWindow(std::exchange(window_, nullptr));
    object_ = ObjectRef();
    row_ = column_ = -1;
  }

 private:
  runListbox* list_;
  ObjectRef object_;
  HWND window_ = nullptr;
  int32_t row_ = -1;
  int32_t column_ = -1;
};

ListCellEditor* MakeTestCellEditor(runListbox* list) { return new TestCellEditor(list); }

}  // namespace

void OnListEvent(const std::string& event, ListEventCode code) {
  if (code) {
    EventCode()[event] = std::move(code);
  } else {
    EventCode().erase(event);
  }
}

ObjectDefinition* GetTestListboxDefinition() { return ListClass().Definition(); }

ObjectRef PlaceTestListbox(RuntimeObject* window, const char* name, const MacRect& bounds,
                           const std::function<void(ListboxFields*)>& prepare, bool plain) {
  ObjectRef list = ObjectRef::Adopt(plain ? CreateInstance(GetListboxClassDefinition())
                                          : ListClass().NewInstance());
  StringRef controlName = StringRef::Adopt(StringFromASCII(name));
  ControlSetName(list.get(), controlName.get());
  ListboxFields* fields = ObjectFields<ListboxFields>(list.get());
  fields->control.bounds = bounds;
  if (prepare) prepare(fields);
  WindowAddControl(window, list.get());
  return list;
}

runListbox* ListBoxPaneOf(RuntimeObject* list) {
  return list ? dynamic_cast<runListbox*>(ControlFields(list)->pane) : nullptr;
}

int32_t AddTextRow(runListbox* list, const std::string& text, int16_t depth, int16_t folderState) {
  ListBoxCell* cell = NewListBoxCell(0);
  cell->text = StringFromUTF8(text);
  return list->AddRowRecord(cell, depth, folderState);
}

std::string CellTextOf(runListbox* list, int32_t row, int32_t column) {
  const ListBoxCell* cell = list->FindCell(row, column, false);
  return cell ? StringToStdUTF8(cell->text) : "";
}

void SetCellText(runListbox* list, int32_t row, int32_t column, const std::string& text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  StringAssign(&list->FindCell(row, column, true)->text, value.get());
}

std::vector<std::string> RowTexts(runListbox* list) {
  std::vector<std::string> texts;
  for (int32_t row = 0; row < list->RowCount(); ++row) texts.push_back(CellTextOf(list, row, 0));
  return texts;
}

std::vector<int32_t> RowDepths(runListbox* list) {
  std::vector<int32_t> depths;
  for (int32_t row = 0; row < list->RowCount(); ++row) depths.push_back(list->RowDepth(row));
  return depths;
}

std::vector<std::string> TakeInvalidationLines(runListbox* list) {
  static const char* const kNames[] = {"InvalidateCells", "InvalidateRow", "InvalidateColumn",
                                       "InvalidateFromRow", "InvalidateFromColumn"};
  std::vector<std::string> lines;
  for (const InvalidationCall& call : list->TakeInvalidations()) {
    std::string line = std::string(kNames[call.kind]) + "(";
    if (call.kind != InvalidationCall::kColumn && call.kind != InvalidationCall::kFromColumn) {
      line += std::to_string(call.row);
    }
    if (call.kind == InvalidationCall::kCells) line += ",";
    if (call.kind != InvalidationCall::kRow && call.kind != InvalidationCall::kFromRow) {
      line += std::to_string(call.column);
    }
    lines.push_back(line + ")");
  }
  return lines;
}

ObjectRef NewSelectionReceiver(const char* tag, ReceiverCode onCall) {
  ObjectRef receiver = ObjectRef::Adopt(ReceiverClass().NewInstance());
  ReceiverFields* fields = ReceiverOf(receiver.get());
  fields->tag = StringFromUTF8(tag);
  fields->onCall = new ReceiverCode(std::move(onCall));
  return receiver;
}

ObjectRef NewListProviderStandIn(const std::vector<std::vector<std::string>>& rows) {
  ObjectRef provider = ObjectRef::Adopt(ProviderClass().NewInstance());
  ProviderOf(provider.get())->rows = new std::vector<RuntimeObject*>();
  for (const std::vector<std::string>& texts : rows) {
    RuntimeObject* row = TupleClass().NewInstance();
    TupleOf(row)->texts = new std::vector<std::string>(texts);
    ProviderOf(provider.get())->rows->push_back(row);
  }
  return provider;
}

int32_t ProviderRowReferences(RuntimeObject* provider, int32_t row) {
  return (*ProviderOf(provider)->rows)[size_t(row)]->refCount;
}

void BindProviderRows(runListbox* list, RuntimeObject* provider) {
  ListboxFields* fields = ListboxFieldsOf(list->Control());
  RuntimeLockObject(provider);
  RuntimeUnlockObject(std::exchange(fields->listProvider, provider));
  list->RowsInserted(0, ProviderCount(provider));
}

void UseTestCellEditor(bool use) { SetListCellEditorFactory(use ? MakeTestCellEditor : nullptr); }

HWND TestEditorWindow(runListbox* list) {
  return list->CellEditor() ? list->CellEditor()->Window() : nullptr;
}

void ListBoxTest::SetUp() {
  WindowSystemTest::SetUp();
  window_ = OpenTestWindow();
  TakeLog();
}

void ListBoxTest::TearDown() {
  window_ = ObjectRef();
  CloseAllWindows();
  EventCode().clear();
  UseTestCellEditor(false);
  WindowSystemTest::TearDown();
}

runListbox* ListBoxTest::NewList(const char* name, const MacRect& bounds,
                                 const std::function<void(ListboxFields*)>& prepare,
                                 bool plain) {
  ObjectRef list = PlaceTestListbox(window_.get(), name, bounds, prepare, plain);
  return ListBoxPaneOf(list.get());
}
