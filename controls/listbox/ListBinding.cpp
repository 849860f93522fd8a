// List boxes in data binding: bound rows, the bound parts and their classes.
#include "controls/listbox/ListBinding.h"

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "controls/listbox/ListBoxMembers.h"
#include "controls/listbox/runListbox.h"
#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/basicstr.h"
#include "core/string.h"

namespace {

constexpr char kColumnPartPrefix[] = "columnValueProvider_";
constexpr size_t kColumnPartPrefixLength = sizeof(kColumnPartPrefix) - 1;
constexpr int32_t kLastCellColumn = 255;

// ---- The part classes ----

ObjectDefinition* FillPartClass(ObjectDefinition* definition, const char* name, uint32_t size,
                                ObjectInitialiser initialiser, ObjectDestructor destructor,
                                const MethodRecord* methods, int32_t methodCount,
                                std::initializer_list<ObjectDefinition*> interfaces) {
  ObjectDefinitionSetName(definition, name);
  definition->instanceSize = size;
  definition->initialiser = initialiser;
  definition->destructor = destructor;
  BuildMethodDefinitions(definition, methods, methodCount);
  for (ObjectDefinition* implemented : interfaces) definition->AddInterface(implemented);
  return definition;
}

template <class Fields>
Fields* PartArgument(RuntimeObject* part, ObjectDefinition* definition) {
  return InstanceArgument<Fields>(part, definition, "ListBinding", __LINE__,
                                  "ObjectIsADefinition(part, its class)");
}

ListSelectionProviderFields* SelectionPart(RuntimeObject* part) {
  return PartArgument<ListSelectionProviderFields>(part, GetListSelectionProviderClassDefinition());
}
ListboxActionFields* ActionPart(RuntimeObject* part) {
  return PartArgument<ListboxActionFields>(part, GetListboxActionClassDefinition());
}
ListColumnValueProviderFields* ColumnPart(RuntimeObject* part) {
  return PartArgument<ListColumnValueProviderFields>(part,
                                                     GetListColumnValueProviderClassDefinition());
}

runListbox* OwnerPane(RuntimeObject* owner) { return ListboxPaneOf(ListboxFieldsOf(owner)); }

// A new part of the class owning the list (locked); its fields.
template <class Fields>
Fields* NewPart(ObjectDefinition* definition, RuntimeObject* owner, RuntimeObject** made) {
  *made = CreateInstance(definition);
  if (!*made) return nullptr;
  auto* fields = ObjectFields<Fields>(*made);
  RuntimeLockObject(owner);
  fields->owner = owner;
  return fields;
}

// A part that left its owner's selection receivers releases the owner.
void LeaveOwner(RuntimeObject* part, RuntimeObject** owner) {
  runListbox* pane = OwnerPane(*owner);
  if (pane && !pane->IsClosing()) pane->RemoveSelectionReceiver(part);
  RuntimeUnlockObject(*owner);
  *owner = nullptr;
}

RuntimeObject** ReceiverSlots(ListColumnValueProviderFields* fields) {
  return reinterpret_cast<RuntimeObject**>(fields->receivers.data);
}

void InitialiseColumnPart(RuntimeObject* part) {
  GrowArrayInit(&ObjectFields<ListColumnValueProviderFields>(part)->receivers,
                sizeof(RuntimeObject*));
}

void DestroySelectionPart(RuntimeObject* part) {
  auto* fields = ObjectFields<ListSelectionProviderFields>(part);
  ReceiverListClear(&fields->receivers);
  LeaveOwner(part, &fields->owner);
}

void DestroyActionPart(RuntimeObject* part) {
  RuntimeUnlockObject(ObjectFields<ListboxActionFields>(part)->owner);
}

void DestroyColumnPart(RuntimeObject* part) {
  auto* fields = ObjectFields<ListColumnValueProviderFields>(part);
  LeaveOwner(part, &fields->owner);
  for (int32_t k = 0; k < fields->receivers.count; ++k) RuntimeUnlockObject(ReceiverSlots(fields)[k]);
  GrowArrayDispose(&fields->receivers);
}

ReceiverList* FocusReceivers(RuntimeObject* part) {
  ListboxActionFields* fields = ActionPart(part);
  ListboxFields* owner = fields ? ListboxFieldsOf(fields->owner) : nullptr;
  if (!owner) return nullptr;
  return fields->kind ? &owner->gotFocusReceivers : &owner->lostFocusReceivers;
}

// The first selected row of a column part's list, for a column a cell can
// have; -1 otherwise (nothing is raised).
int32_t SelectedRowOf(ListColumnValueProviderFields* fields) {
  if (!fields || fields->column < 0 || fields->column > kLastCellColumn) return -1;
  runListbox* pane = OwnerPane(fields->owner);
  return pane ? pane->FirstSelectedRow() : -1;
}

bool NameIs(const std::string& name, const char* expected) {
  return name.size() == std::char_traits<char>::length(expected) &&
         CStringCompareNoCase(name.c_str(), expected) == 0;
}

// ---- Bound rows ----

void CallProviderNotifier(RuntimeObject* provider, const char* method, RuntimeObject* list) {
  if (void* function =
          FindInterfaceMethod(provider, GetListDataNotifierInterfaceDefinition(), method)) {
    reinterpret_cast<void (*)(RuntimeObject*, RuntimeObject*)>(function)(provider, list);
  }
}

int32_t ProviderRowCount(RuntimeObject* provider) {
  return CallInterface<int32_t>(provider, GetListDataProviderInterfaceDefinition(), "GetCount", 0);
}

// The pane of a bound list when the row is in 0..RowCount-1+extra; a bad
// row raises OutOfBoundsException. Nil unbound or without a pane.
runListbox* BoundPaneWithRow(RuntimeObject* control, int32_t row, int32_t extra) {
  runListbox* pane = ListboxPaneOf(ListboxArgument(control));
  if (!pane || !pane->IsBound()) return nullptr;
  if (row >= 0 && row < pane->RowCount() + extra) return pane;
  RaiseOutOfBoundsException();
  return nullptr;
}

}  // namespace

// ---- Class definitions ----

ObjectDefinition* GetListSelectionProviderClassDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord value[] = {{"value", &kBooleanType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(listSelectionAddDataNotificationReceiver)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(listSelectionRemoveDataNotificationReceiver)),
      MakeMethodRecord("getBoolean", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(listSelectionGetBoolean)),
      MakeMethodRecord("setBoolean", nullptr, value, 1, RUNTIME_ENTRY(listSelectionSetBoolean)),
      MakeMethodRecord("selectionChanging", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(listSelectionChanging)),
      MakeMethodRecord("selectionChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(listSelectionChanged)),
  };
  static ObjectDefinition definition;
  static ObjectDefinition* made = FillPartClass(
      &definition, "listSelectionProvider", sizeof(ListSelectionProviderFields), nullptr,
      DestroySelectionPart, methods, int32_t(std::size(methods)),
      {GetBooleanProviderInterfaceDefinition(), GetDataNotifierInterfaceDefinition(),
       GetListSelectionNotificationReceiverInterfaceDefinition()});
  return made;
}

ObjectDefinition* GetListboxActionClassDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("addActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(lbaAddActionNotificationReceiver)),
      MakeMethodRecord("removeActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(lbaRemoveActionNotificationReceiver)),
  };
  static ObjectDefinition definition;
  static ObjectDefinition* made =
      FillPartClass(&definition, "Sys$ListboxAction", sizeof(ListboxActionFields), nullptr,
                    DestroyActionPart, methods, int32_t(std::size(methods)),
                    {GetActionSourceInterfaceDefinition()});
  return made;
}

ObjectDefinition* GetListColumnValueProviderClassDefinition() {
  static const ParameterRecord receiver[] = {
      {"receiver", GetDataNotificationReceiverInterfaceDefinition(), 0}};
  static const ParameterRecord text[] = {{"Str", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("getString", &kStringType, nullptr, 0, RUNTIME_ENTRY(lcvpGetString)),
      MakeMethodRecord("setString", nullptr, text, 1, RUNTIME_ENTRY(lcvpSetString)),
      MakeMethodRecord("addDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(lcvpAddDataNotificationReceiver)),
      MakeMethodRecord("removeDataNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(lcvpRemoveDataNotificationReceiver)),
      MakeMethodRecord("selectionChanging", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(lcvpSelectionChanging)),
      MakeMethodRecord("selectionChanged", nullptr, nullptr, 0, RUNTIME_ENTRY(lcvpSelectionChanged)),
      MakeMethodRecord("dataAvailable", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(lcvpDataAvailable)),
  };
  static ObjectDefinition definition;
  static ObjectDefinition* made = FillPartClass(
      &definition, "listColumnValueProvider", sizeof(ListColumnValueProviderFields),
      InitialiseColumnPart, DestroyColumnPart, methods, int32_t(std::size(methods)),
      {GetListSelectionNotificationReceiverInterfaceDefinition(),
       GetStringProviderInterfaceDefinition(), GetStringInterfaceInterfaceDefinition(),
       GetDataNotifierInterfaceDefinition(), GetDataAvailableProviderInterfaceDefinition()});
  return made;
}

// ---- Binding rows ----

void ListboxDetachProvider(RuntimeObject* control) {
  ListboxFields* fields = ListboxFieldsOf(control);
  if (!fields || !fields->listProvider) return;
  ObjectRef provider = ObjectRef::Adopt(std::exchange(fields->listProvider, nullptr));
  CallProviderNotifier(provider.get(), "removeListDataNotificationReceiver", control);
}

void ListboxInsertProviderRows(RuntimeObject* control) {
  ListboxFields* fields = ListboxFieldsOf(control);
  runListbox* pane = ListboxPaneOf(fields);
  const int32_t count = pane && fields->listProvider ? ProviderRowCount(fields->listProvider) : 0;
  if (count > 0) pane->RowsInserted(0, count);
}

extern "C" void listBind(RuntimeObject* control, RuntimeObject* provider) {
  ListboxFields* fields = ListboxArgument(control);
  if (!fields) return;
  ObjectRef held = ObjectRef::Retain(provider);
  runListbox* pane = ListboxPaneOf(fields);
  OwnerChainLock lock(pane);
  if (pane) pane->RemoveAllRows();
  ListboxDetachProvider(control);
  fields->listProvider = held.release();
  if (provider) CallProviderNotifier(provider, "addListDataNotificationReceiver", control);
  if (!pane || pane->IsClosing()) return;
  ListboxInsertProviderRows(control);
  for (int32_t column = 0; column < pane->ColumnCount(); ++column) {
    pane->SetColumnSortDirection(column, 0, false);
  }
}

extern "C" void listListDataInsertedRow(RuntimeObject* control, int32_t row) {
  if (runListbox* pane = BoundPaneWithRow(control, row, 1)) pane->RowsInserted(row, 1);
}

extern "C" void listListDataRemovedRow(RuntimeObject* control, int32_t row) {
  if (runListbox* pane = BoundPaneWithRow(control, row, 0)) pane->RowsRemoved(row, 1);
}

extern "C" void listListDataReload(RuntimeObject* control) {
  runListbox* pane = ListboxPaneOf(ListboxArgument(control));
  if (!pane || !pane->IsBound()) return;
  OwnerChainLock lock(pane);
  pane->RowsRemoved(0, pane->RowCount());
  if (!pane->IsClosing()) ListboxInsertProviderRows(control);
}

extern "C" StringRecord* ListboxDataSourceGetter(RuntimeObject* control, uint32_t) {
  ListboxFields* fields = ListboxArgument(control);
  return fields ? StringAddRef(fields->dataSource) : nullptr;
}

extern "C" void ListboxDataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (ListboxFields* fields = ListboxArgument(control)) {
    SetBoundDataSource(control, &fields->dataSource, name);
  }
}

extern "C" void ListboxDataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (ListboxFields* fields = ListboxArgument(control)) {
    SetBoundDataField(control, &fields->dataField, name);
  }
}

// ---- Bound parts ----

extern "C" RuntimeObject* listGetBoundPart(RuntimeObject* control, StringRecord* name) {
  if (!ListboxArgument(control)) return nullptr;
  const std::string text = StringToStdUTF8(name);
  RuntimeObject* part = nullptr;
  if (NameIs(text, "gotFocusAction") || NameIs(text, "lostFocusAction")) {
    if (auto* fields = NewPart<ListboxActionFields>(GetListboxActionClassDefinition(), control,
                                                    &part)) {
      fields->kind = NameIs(text, "gotFocusAction") ? 1 : 0;
    }
  } else if (NameIs(text, "getSelectionProvider")) {
    NewPart<ListSelectionProviderFields>(GetListSelectionProviderClassDefinition(), control, &part);
    listAddLSNR(control, part);
  } else if (NameIs(text.substr(0, kColumnPartPrefixLength), kColumnPartPrefix)) {
    if (auto* fields = NewPart<ListColumnValueProviderFields>(
            GetListColumnValueProviderClassDefinition(), control, &part)) {
      fields->column = CStringToInt(text.c_str() + kColumnPartPrefixLength);
    }
    listAddLSNR(control, part);
  }
  return part;
}

extern "C" void listSelectionAddDataNotificationReceiver(RuntimeObject* part,
                                                         RuntimeObject* receiver) {
  if (ListSelectionProviderFields* fields = SelectionPart(part)) {
    ReceiverListAdd(&fields->receivers, receiver);
  }
}

extern "C" void listSelectionRemoveDataNotificationReceiver(RuntimeObject* part,
                                                            RuntimeObject* receiver) {
  if (ListSelectionProviderFields* fields = SelectionPart(part)) {
    ReceiverListRemove(&fields->receivers, receiver);
  }
}

extern "C" bool listSelectionGetBoolean(RuntimeObject* part) {
  ListSelectionProviderFields* fields = SelectionPart(part);
  return fields && listSelectionGetter(fields->owner, 0) >= 0;
}

extern "C" void listSelectionSetBoolean(RuntimeObject*, uint8_t) {}

extern "C" void listSelectionChanging(RuntimeObject*) {}

extern "C" void listSelectionChanged(RuntimeObject* part) {
  if (ListSelectionProviderFields* fields = SelectionPart(part)) {
    NotifyDataChanged(&fields->receivers);
  }
}

extern "C" void lbaAddActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver) {
  if (ReceiverList* receivers = FocusReceivers(part)) ReceiverListAdd(receivers, receiver);
}

extern "C" void lbaRemoveActionNotificationReceiver(RuntimeObject* part,
                                                    RuntimeObject* receiver) {
  if (ReceiverList* receivers = FocusReceivers(part)) ReceiverListRemove(receivers, receiver);
}

extern "C" StringRecord* lcvpGetString(RuntimeObject* part) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  const int32_t row = SelectedRowOf(fields);
  return row >= 0 ? listGetCell(fields->owner, row, fields->column) : nullptr;
}

extern "C" void lcvpSetString(RuntimeObject* part, StringRecord* text) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  const int32_t row = SelectedRowOf(fields);
  if (row >= 0) listSetCell(fields->owner, row, fields->column, text);
}

extern "C" void lcvpAddDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  if (!fields || !receiver) return;
  RuntimeLockObject(receiver);
  GrowArraySetCount(&fields->receivers, fields->receivers.count + 1);
  ReceiverSlots(fields)[fields->receivers.count - 1] = receiver;
}

extern "C" void lcvpRemoveDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  if (!fields) return;
  for (int32_t k = 0; k < fields->receivers.count; ++k) {
    if (ReceiverSlots(fields)[k] != receiver) continue;
    GrowArrayRemove(&fields->receivers, k);
    RuntimeUnlockObject(receiver);
    return;
  }
}

extern "C" void lcvpSelectionChanging(RuntimeObject*) {}

extern "C" void lcvpSelectionChanged(RuntimeObject* part) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  if (!fields) return;
  // The receivers of the round's start, each held for the round.
  std::vector<ObjectRef> round;
  for (int32_t k = 0; k < fields->receivers.count; ++k) {
    round.push_back(ObjectRef::Retain(ReceiverSlots(fields)[k]));
  }
  for (const ObjectRef& receiver : round) {
    if (RuntimeExceptionPending()) return;
    CallInterface<int32_t>(receiver.get(), GetDataNotificationReceiverInterfaceDefinition(),
                           "DataChanged", 0);
  }
}

extern "C" bool lcvpDataAvailable(RuntimeObject* part) {
  ListColumnValueProviderFields* fields = ColumnPart(part);
  runListbox* pane = fields ? OwnerPane(fields->owner) : nullptr;
  return pane && pane->FirstSelectedRow() >= 0;
}
