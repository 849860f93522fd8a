#include "testsupport/TestListBox.h"

#include <map>
#include <utility>

#include "controls/listbox/ListBinding.h"
#include "controls/listbox/ListCellEditPane.h"
#include "controls/editfield/RichEditPane.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "ui/Binding.h"
#include "ui/DragItem.h"
#include "ui/RuntimeWindow.h"

namespace {

std::map<std::string, ListEventCode> eventCode;
bool logPaintEvents = false;

struct EventCall {
  std::string text;
  std::vector<int32_t> integers;
  int32_t* result = nullptr;
  void Append(const std::string& part) { text += (text.empty() ? "" : ",") + part; }
  void Add(int32_t value) { Append(std::to_string(value)), integers.push_back(value); }
  void Add(int32_t* byRef) { Append(std::to_string(*byRef)), result = byRef; }
  void Add(RuntimeObject* object) { Append(object ? "obj" : "nil"); }
  void Add(StringRecord* string) {
    const std::u16string units = StringToStdUTF16(string);
    Append(units.empty() ? "" : std::to_string(int(units[0])));
  }
};

template <int kEvent, class... Parameters>
struct LoggingHandler {
  static bool Run(RuntimeObject* control, Parameters... parameters) {
    EventCall call;
    (call.Add(parameters), ...);
    const std::string name = ListboxEventRecord(ListEvent(kEvent)).name;
    const bool paint = kEvent == kListCellBackgroundPaint || kEvent == kListCellTextPaint;
    if (logPaintEvents || !paint) Log(sizeof...(Parameters) == 0 ? name : name + "(" + call.text + ")");
    auto found = eventCode.find(name);
    if (found == eventCode.end()) return false;
    const ListEventCode code = found->second;  // the code may replace itself
    return code(ListBoxPaneOf(control), call.integers, call.result);
  }
  static void Install(ClassBuilder* builder) {
    builder->Handle(ListboxEventRecord(ListEvent(kEvent)).name, &Run);
  }
};

ClassBuilder& ListClass() {
  using I = int32_t;
  using S = StringRecord*;
  using O = RuntimeObject*;
  static ClassBuilder builder(GetListboxClassDefinition(), "TestListbox");
  static const bool installed = [] {
    for (auto install : {&LoggingHandler<kListChange>::Install,
                         &LoggingHandler<kListDoubleClick>::Install,
                         &LoggingHandler<kListKeyDown, S>::Install,
                         &LoggingHandler<kListEnableMenuItems>::Install,
                         &LoggingHandler<kListExpandRow, I>::Install,
                         &LoggingHandler<kListCollapseRow, I>::Install,
                         &LoggingHandler<kListDragRow, O, I>::Install,
                         &LoggingHandler<kListSortColumn, I>::Install,
                         &LoggingHandler<kListCellAction, I, I>::Install,
                         &LoggingHandler<kListGotFocus>::Install,
                         &LoggingHandler<kListLostFocus>::Install,
                         &LoggingHandler<kListCellBackgroundPaint, O, I, I>::Install,
                         &LoggingHandler<kListCellTextPaint, O, I, I, I, I>::Install,
                         &LoggingHandler<kListCellClick, I, I, I, I>::Install,
                         &LoggingHandler<kListCellKeyDown, I, I, S>::Install,
                         &LoggingHandler<kListCellTextChange, I, I>::Install,
                         &LoggingHandler<kListCellGotFocus, I, I>::Install,
                         &LoggingHandler<kListCellLostFocus, I, I>::Install,
                         &LoggingHandler<kListMouseDown, I, I>::Install,
                         &LoggingHandler<kListMouseDrag, I, I>::Install,
                         &LoggingHandler<kListMouseUp, I, I>::Install,
                         &LoggingHandler<kListCompareRows, I, I, I, I*>::Install,
                         &LoggingHandler<kListDragReorderRows, I>::Install,
                         &LoggingHandler<kListHeaderPressed, I>::Install}) {
      install(&builder);
    }
    return true;
  }();
  (void)installed;
  return builder;
}

// ---- The selection receiver and the provider ----

struct StandInFields {
  StringRecord* tag;
  ReceiverCode* onCall;
  std::vector<std::string>* fields;  // a provider's row
  int32_t rows;
  std::vector<int32_t>* rowCalls;  // a provider's
};

ClassBuilder& StandInClass();
StandInFields* StandInOf(RuntimeObject* object) {
  return StandInClass().Extra<StandInFields>(object);
}

void ReleaseStandIn(RuntimeObject* object) {
  StandInFields* fields = StandInOf(object);
  StringAssign(&fields->tag, nullptr);
  delete std::exchange(fields->onCall, nullptr);
  delete std::exchange(fields->fields, nullptr);
  delete std::exchange(fields->rowCalls, nullptr);
}

void Notified(RuntimeObject* receiver, const char* method) {
  Log(StringToStdUTF8(StandInOf(receiver)->tag) + "." + method);
  if (*StandInOf(receiver)->onCall) (*StandInOf(receiver)->onCall)(receiver, method);
}
void SelectionChanging(RuntimeObject* receiver) { Notified(receiver, "selectionChanging"); }
void SelectionChanged(RuntimeObject* receiver) { Notified(receiver, "selectionChanged"); }
int32_t RowCount(RuntimeObject* provider) { return StandInOf(provider)->rows; }
RuntimeObject* Row(RuntimeObject* provider, int32_t row) {
  StandInOf(provider)->rowCalls->push_back(row);
  RuntimeLockObject(provider);
  return provider;
}
int32_t FieldCount(RuntimeObject* row) { return int32_t(StandInOf(row)->fields->size()); }
StringRecord* Field(RuntimeObject* row, int32_t field) {
  return StringFromUTF8(StandInOf(row)->fields->at(size_t(field) - 1));
}

ClassBuilder& StandInClass() {
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("selectionChanging", nullptr, nullptr, 0, RUNTIME_ENTRY(SelectionChanging)),
      MakeMethodRecord("selectionChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(SelectionChanged)),
      MakeMethodRecord("GetCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(RowCount)),
      MakeMethodRecord("GetRow", nullptr, index, 1, RUNTIME_ENTRY(Row)),
      MakeMethodRecord("FieldCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(FieldCount)),
      MakeMethodRecord("getIndString", &kStringType, index, 1, RUNTIME_ENTRY(Field)),
  };
  static ClassBuilder builder(nullptr, "ListStandIn", sizeof(StandInFields), nullptr,
                              ReleaseStandIn);
  static const bool described = [] {
    builder.Implements(GetListSelectionNotificationReceiverInterfaceDefinition())
        .Implements(GetListDataProviderInterfaceDefinition())
        .Implements(GetTupleInterfaceInterfaceDefinition())
        .Methods(methods, 6);
    return true;
  }();
  (void)described;
  return builder;
}

// ---- The test cell editor ----

class TestCellEditor : public ListCellEditor {
 public:
  explicit TestCellEditor(runListbox* list)
      : list_(list), object_(ObjectRef::Adopt(StandInClass().NewInstance())) {
    LoadRichEditLibraries();
    window_ = CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD, 0, 0, 40, 16, list->NativeWindow(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~TestCellEditor() override { Close(); }

  void StartEdit(int32_t row, int32_t column) override {
    const ListBoxCell* cell = list_->FindCell(row, column, false);
    const std::u16string text = StringToStdUTF16(cell ? cell->text : nullptr);
    SetWindowTextW(window_, reinterpret_cast<const wchar_t*>(text.c_str()));
    ShowWindow(window_, SW_SHOWNA);
    row_ = row, column_ = column;
  }
  void EndEdit(bool commit) override {
    Log("EndEdit(" + std::to_string(row_) + "," + std::to_string(column_) +
        (commit ? ",commit)" : ",cancel)"));
    if (commit) SetCellText(list_, row_, column_, StringToStdUTF8(StringRef::Adopt(Text()).get()));
    ShowWindow(window_, SW_HIDE);
    row_ = column_ = -1;
  }
  int32_t EditRow() const override { return row_; }
  int32_t EditColumn() const override { return column_; }
  StringRecord* Text() override {
    wchar_t text[256] = {};
    return NewString(text, size_t(GetWindowTextW(window_, text, 256)) * 2, kEncodingUTF16);
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
  int32_t row_ = -1, column_ = -1;
};

ListCellEditor* MakeTestCellEditor(runListbox* list) { return new TestCellEditor(list); }

// ---- The scripted drag ----

class ScriptedDrag final : public ListDragSeam {
 public:
  void Set(runListbox* list, ListDragScript script) {
    list_ = list, script_ = std::move(script), drags_ = 0;
  }
  int32_t Drags() const { return drags_; }
  bool DetectDrag(SubPane*, int32_t, int32_t) override { return true; }
  void Drag(RuntimeObject* item) override {
    ++drags_;
    SubPane* top = SubPane::GetTopPane(list_);
    OwnerChainLock hold(top);
    SubPane* target = nullptr;
    for (size_t step = 0; step < script_.points.size(); ++step) {
      const POINT at{script_.points[step].x + list_->Left(), script_.points[step].y + list_->Top()};
      SubPane* now = top->FindDropTarget(at.x, at.y, item);
      if (now != target && target) target->DragExit(item);
      target = now;
      if (target) target->TrackDrag(at.x - target->Left(), at.y - target->Top(), item);
      if (script_.afterStep) script_.afterStep(step);
    }
    if (!target) return;
    if (script_.drop) {
      target->NotifyDelegate(kDragDropNotification, int32_t(reinterpret_cast<intptr_t>(item)));
    } else {
      target->DragExit(item);
    }
  }

 private:
  runListbox* list_ = nullptr;
  ListDragScript script_;
  int32_t drags_ = 0;
};

ScriptedDrag scriptedDrag;

}  // namespace

void OnListEvent(const std::string& event, ListEventCode code) {
  if (code) {
    eventCode[event] = std::move(code);
  } else {
    eventCode.erase(event);
  }
}

runListbox* ListBoxPaneOf(RuntimeObject* list) {
  return list ? dynamic_cast<runListbox*>(ControlFields(list)->pane) : nullptr;
}

int32_t AddTextRow(runListbox* list, const std::string& text, int16_t depth, int16_t folderState) {
  ListBoxCell* cell = NewListBoxCell(0);
  cell->text = StringFromUTF8(text);
  return list->AddRowRecord(cell, depth, folderState);
}

std::vector<std::string> RowTexts(runListbox* list) {
  std::vector<std::string> texts;
  for (int32_t row = 0; row < list->RowCount(); ++row) texts.push_back(CellTextOf(list, row, 0));
  return texts;
}

std::string CellTextOf(runListbox* list, int32_t row, int32_t column) {
  const ListBoxCell* cell = list->FindCell(row, column, false);
  return cell ? StringToStdUTF8(cell->text) : "";
}

void SetCellText(runListbox* list, int32_t row, int32_t column, const std::string& text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  StringAssign(&list->FindCell(row, column, true)->text, value.get());
}

std::vector<std::string> TakeInvalidationLines(runListbox* list) {
  static const char* const kKinds[] = {"Cells", "Row", "Column", "FromRow", "FromColumn"};
  std::vector<std::string> lines;
  for (const InvalidationCall& call : list->TakeInvalidations()) {
    lines.push_back(std::string(kKinds[call.kind]) + "(" + std::to_string(call.row) + "," +
                    std::to_string(call.column) + ")");
  }
  return lines;
}

ObjectRef NewSelectionReceiver(const char* tag, ReceiverCode onCall) {
  ObjectRef receiver = ObjectRef::Adopt(StandInClass().NewInstance());
  StandInOf(receiver.get())->tag = StringFromUTF8(tag);
  StandInOf(receiver.get())->onCall = new ReceiverCode(std::move(onCall));
  return receiver;
}

ObjectRef NewListProviderStandIn(int32_t rows, const std::vector<std::string>& fields) {
  ObjectRef provider = NewSelectionReceiver("provider");
  StandInOf(provider.get())->fields = new std::vector<std::string>();
  StandInOf(provider.get())->rowCalls = new std::vector<int32_t>();
  SetListProviderRows(provider.get(), rows, fields);
  return provider;
}

void SetListProviderRows(RuntimeObject* provider, int32_t rows,
                         const std::vector<std::string>& fields) {
  *StandInOf(provider)->fields = fields;
  StandInOf(provider)->rows = rows;
}

std::vector<int32_t> TakeGetRowCalls(RuntimeObject* provider) {
  return std::exchange(*StandInOf(provider)->rowCalls, {});
}

void BindProviderRows(runListbox* list, RuntimeObject* provider) {
  listBind(list->Control(), provider);
}

void LogPaintEvents(bool log) { logPaintEvents = log; }

void UseScriptedListDrag(runListbox* list, ListDragScript script) {
  scriptedDrag.Set(list, std::move(script));
  SetListDragSeam(&scriptedDrag);
}

int32_t ScriptedDragCount() { return scriptedDrag.Drags(); }

void UseTestCellEditor(bool use) {
  SetListCellEditorFactory(use ? MakeTestCellEditor : NewListCellEditPane);
}

void ListBoxTest::SetUp() {
  WindowSystemTest::SetUp();
  window_ = OpenTestWindow();
  TakeLog();
}

void ListBoxTest::TearDown() {
  CloseAllWindows();
  window_ = ObjectRef();
  eventCode.clear();
  logPaintEvents = false;
  UseTestCellEditor(false);
  SetListDragSeam(nullptr);
  WindowSystemTest::TearDown();
}

runListbox* ListBoxTest::NewList(const char* name, const MacRect& bounds,
                                 const std::function<void(ListboxFields*)>& prepare, bool plain) {
  ObjectRef list = ObjectRef::Adopt(plain ? CreateInstance(GetListboxClassDefinition())
                                          : ListClass().NewInstance());
  ControlSetName(list.get(), StringRef::Adopt(StringFromASCII(name)).get());
  ObjectFields<ListboxFields>(list.get())->control.bounds = bounds;
  if (prepare) prepare(ObjectFields<ListboxFields>(list.get()));
  WindowAddControl(window_.get(), list.get());
  return ListBoxPaneOf(list.get());
}
