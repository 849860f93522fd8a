// The DataControl and DataControlAction classes.
#include "database/datacontrol/DataControl.h"

#include <array>
#include <string>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "database/datacontrol/DataControlPane.h"
#include "ui/Binding.h"

namespace {

DataControlFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<DataControlFields>(control);
}

// The fields of a DataControl; nil for nil (NilObjectException raised) or
// for another class's object (reported).
DataControlFields* Checked(RuntimeObject* control) {
  return InstanceArgument<DataControlFields>(control, GetDataControlClassDefinition(),
                                             "DataControl", __LINE__,
                                             "ObjectIsADefinition(control, DataControl)");
}

// The events raised through the DataControl's compiled handlers.
class DataControlEvents : public DataControlDelegate {
 public:
  explicit DataControlEvents(RuntimeObject* control) : control_(control) {}
  bool Insert() override { return CallControlHandler<bool>(control_, "Insert"); }
  void Delete() override { CallControlHandler(control_, "Delete"); }
  bool MoveFirst() override { return CallControlHandler<bool>(control_, "MoveFirst"); }
  bool MoveLast() override { return CallControlHandler<bool>(control_, "MoveLast"); }
  bool MoveNext() override { return CallControlHandler<bool>(control_, "MoveNext"); }
  bool MovePrevious() override { return CallControlHandler<bool>(control_, "MovePrevious"); }
  void Reposition(int32_t row) override { CallControlHandler(control_, "Reposition", row); }
  void Update() override { CallControlHandler(control_, "Update"); }
  bool Validate(int32_t action) override {
    return CallControlHandler<bool>(control_, "Validate", action);
  }

 private:
  RuntimeObject* control_;  // not counted: the control owns its delegate
};

// A call into the pane: the DataControl held and the pane's owner chain
// locked until the call returns (nothing without a pane).
class PaneCall {
 public:
  explicit PaneCall(RuntimeObject* control)
      : pane_(Checked(control) ? DataControlPaneOf(control) : nullptr), guard_(pane_, control) {}
  explicit operator bool() const { return pane_ != nullptr; }
  DataControlPane* operator->() const { return pane_; }

 private:
  DataControlPane* pane_;
  ControlCallGuard guard_;
};

std::vector<BoundControl>* BoundControlsOf(RuntimeObject* control) {
  return FieldsOf(control)->boundControls;
}

void Refresh(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->PushRecordToControls();
}

void InitialiseDataControl(RuntimeObject* control) {
  DataControlFields* fields = FieldsOf(control);
  fields->boundControls = new std::vector<BoundControl>();
  FontDescriptorInit(&fields->font);
}

void StoreString(StringRecord** field, StringRecord* value) { StringAssign(field, value); }

// The pane's font after a change of the stored one.
void FontChanged(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->SetFont(FieldsOf(control)->font);
}

RuntimeObject* NewAction(RuntimeObject* control, uint8_t kind) {
  RuntimeObject* action = CreateInstance(GetDataControlActionClassDefinition());
  if (!action) return nullptr;
  auto* fields = ObjectFields<DataControlActionFields>(action);
  RuntimeLockObject(control);
  fields->dataControl = control;
  fields->kind = kind;
  return action;
}

}  // namespace

// ---- Class definitions ----

ObjectDefinition* GetDataControlClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  constexpr uint32_t kConstant = kPropertyReadOnly | kPropertyPassesParameter;
  static EventRecord events[] = {
      {0, "MoveNext", "", "Boolean", 0},
      {0, "MovePrevious", "", "Boolean", 0},
      {0, "MoveFirst", "", "Boolean", 0},
      {0, "MoveLast", "", "Boolean", 0},
      {0, "Reposition", "index as integer", nullptr, 0},
      {0, "Validate", "action as integer", "Boolean", 0},
      {0, "Insert", "", "Boolean", 0},
      {0, "Update", "", nullptr, 0},
      {0, "Delete", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kField, "Caption", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(dataControlCaptionSetter), offsetof(DataControlFields, caption)},
      {kField, "TableName", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(dataControlTableNameSetter), offsetof(DataControlFields, tableName)},
      {kField, "SQLQuery", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(dataControlSQLQuerySetter), offsetof(DataControlFields, sqlQuery)},
      {0, "Database", GetDatabaseClassDefinition(), RUNTIME_ENTRY(dataControlDatabaseGetter),
       RUNTIME_ENTRY(dataControlDatabaseSetter), 0},
      {kField, "TextAlign", &kIntegerType, RUNTIME_ENTRY(dataControlShortGetter),
       RUNTIME_ENTRY(dataControlTextAlignSetter), offsetof(DataControlFields, textAlign)},
      {kField, "TextColor", &kColorType, RUNTIME_ENTRY(colorGetter),
       RUNTIME_ENTRY(dataControlTextColorSetter), offsetof(DataControlFields, textColor)},
      {kField, "TextFont", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(dataControlTextFontSetter), offsetof(DataControlFields, font.name)},
      {kField, "TextSize", &kIntegerType, RUNTIME_ENTRY(dataControlShortGetter),
       RUNTIME_ENTRY(dataControlTextSizeSetter), offsetof(DataControlFields, font.size)},
      {kField, "Bold", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(dataControlStyleSetter), offsetof(DataControlFields, font.bold)},
      {kField, "Italic", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(dataControlStyleSetter), offsetof(DataControlFields, font.italic)},
      {kField, "Underline", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(dataControlStyleSetter), offsetof(DataControlFields, font.underline)},
      {0, "ControlBind", &kIntegerType, nullptr, nullptr,
       RUNTIME_ENTRY(dataControlControlBindSetter), 0},
      {kField, "ReadOnly", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(dataControlReadOnlySetter), offsetof(DataControlFields, readOnly)},
      {kConstant, "kInsert", &kIntegerType, RUNTIME_ENTRY(dataControlConstantGetter), nullptr,
       nullptr, 0},
      {kConstant, "kUpdate", &kIntegerType, RUNTIME_ENTRY(dataControlConstantGetter), nullptr,
       nullptr, 1},
      {kConstant, "kDelete", &kIntegerType, RUNTIME_ENTRY(dataControlConstantGetter), nullptr,
       nullptr, 2},
      {kPropertyReadOnly, "RecordLocked", &kBooleanType,
       RUNTIME_ENTRY(dataControlRecordLockedGetter), nullptr, nullptr, 0},
      {kField, "Commit", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(DataControlFields, commit)},
  };
  static const ParameterRecord index[] = {{"v", &kIntegerType, 0}};
  static const ParameterRecord name[] = {{"v", &kStringType, 0}};
  ObjectDefinition* recordSet = GetRecordSetClassDefinition();
  static const MethodRecord methods[] = {
      MakeMethodRecord("GetField", &kStringType, index, 1, RUNTIME_ENTRY(dataControlGetField)),
      MakeMethodRecord("FieldCount", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(dataControlFieldCount)),
      MakeMethodRecord("Cursor", recordSet, nullptr, 0, RUNTIME_ENTRY(dataControlCursor)),
      MakeMethodRecord("RecordSet", recordSet, nullptr, 0, RUNTIME_ENTRY(dataControlCursor)),
      MakeMethodRecord("MoveNext", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlMoveNext)),
      MakeMethodRecord("MovePrevious", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(dataControlMovePrevious)),
      MakeMethodRecord("MoveFirst", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlMoveFirst)),
      MakeMethodRecord("MoveLast", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlMoveLast)),
      MakeMethodRecord("MoveTo", nullptr, index, 1, RUNTIME_ENTRY(dataControlMoveTo)),
      MakeMethodRecord("RecordCount", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(dataControlRecordCount)),
      MakeMethodRecord("RowCount", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(dataControlRecordCount)),
      MakeMethodRecord("Row", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(dataControlRow)),
      MakeMethodRecord("RunQuery", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlRunQuery)),
      MakeMethodRecord("Insert", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlInsert)),
      MakeMethodRecord("Delete", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlDelete)),
      MakeMethodRecord("Update", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlUpdate)),
      MakeMethodRecord("getBoundPart", nullptr, name, 1, RUNTIME_ENTRY(dataControlGetBoundPart)),
      MakeMethodRecord("ClearBoundControls", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(dataControlClearBoundControls)),
      MakeMethodRecord("NewRecord", nullptr, nullptr, 0, RUNTIME_ENTRY(dataControlNewRecord)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "DataControl", sizeof(DataControlFields), InitialiseDataControl, DataControlDestruct,
      DataControlCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetBindingPartInterfaceInterfaceDefinition()}});
  return definition.get();
}

ObjectDefinition* GetDataControlActionClassDefinition() {
  static const MethodRecord methods[] = {
      MakeMethodRecord("PerformAction", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(dataControlActionPerformAction)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "DataControlAction");
    definition.instanceSize = sizeof(DataControlActionFields);
    definition.destructor = DataControlActionDestruct;
    BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
    definition.AddInterface(GetActionNotificationReceiverInterfaceDefinition());
    return &definition;
  }();
  return made;
}

void RegisterDataControlClasses() {
  ObjectDefinition* dataControl = GetDataControlClassDefinition();
  RegisterIntrinsicClass(dataControl);
  RegisterIntrinsicClass(GetDataControlActionClassDefinition());
  RegisterDataControlRole(dataControl, DataControlRole{BoundControlsOf, Refresh});
}

DataControlPane* DataControlPaneOf(RuntimeObject* dataControl) {
  return dynamic_cast<DataControlPane*>(FieldsOf(dataControl)->control.pane);
}

bool DataControlReadOnly(RuntimeObject* dataControl) {
  return FieldsOf(dataControl)->readOnly != 0;
}

bool DataControlCommit(RuntimeObject* dataControl) { return FieldsOf(dataControl)->commit != 0; }

// ---- Entry points ----

extern "C" void DataControlCreatePane(RuntimeObject* control) {
  DataControlFields* fields = FieldsOf(control);
  if (!fields->delegate) fields->delegate = new DataControlEvents(control);
  const RuntimeControl& common = fields->control;
  auto* pane = new DataControlPane(fields->delegate, control, ControlParentPane(control),
                                   common.tabPanelIndex, common.bounds);
  AdoptControlPane(control, pane);
  pane->SetFont(fields->font);
  pane->SetCaption(fields->caption);
  pane->SetDatabase(fields->database);
  pane->SetTableName(fields->tableName);
  pane->SetQuery(fields->sqlQuery);
  pane->SetAlignment(fields->textAlign);
  pane->SetTextColor(fields->textColor);
  ControlCallGuard guard(pane, control);
  pane->RunNewQuery();
}

extern "C" void DataControlDestruct(RuntimeObject* control) {
  DataControlFields* fields = FieldsOf(control);
  for (StringRecord** string : {&fields->caption, &fields->tableName, &fields->sqlQuery}) {
    RuntimeUnlockString(*string);
    *string = nullptr;
  }
  FontDescriptorDispose(&fields->font);
  RuntimeUnlockObject(fields->database);
  fields->database = nullptr;
  delete fields->boundControls;
  fields->boundControls = nullptr;
  delete fields->delegate;
  fields->delegate = nullptr;
}

extern "C" int32_t dataControlShortGetter(RuntimeObject* control, uint32_t offset) {
  return shortGetter(control, offset);
}

extern "C" void dataControlCaptionSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  StoreString(&fields->caption, caption);
  if (PaneCall pane{control}) pane->SetCaption(caption);
}

extern "C" void dataControlTableNameSetter(RuntimeObject* control, uint32_t, StringRecord* table) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  StoreString(&fields->tableName, table);
  if (PaneCall pane{control}) {
    pane->SetTableName(table);
    pane->LoadFieldNames();
    pane->RunNewQuery();
  }
}

extern "C" void dataControlSQLQuerySetter(RuntimeObject* control, uint32_t, StringRecord* query) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  StoreString(&fields->sqlQuery, query);
  if (PaneCall pane{control}) pane->SetQuery(query);
}

extern "C" RuntimeObject* dataControlDatabaseGetter(RuntimeObject* control, uint32_t) {
  DataControlFields* fields = Checked(control);
  if (!fields || !fields->database) return nullptr;
  RuntimeLockObject(fields->database);
  return fields->database;
}

extern "C" void dataControlDatabaseSetter(RuntimeObject* control, uint32_t,
                                          RuntimeObject* database) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  RuntimeLockObject(database);
  RuntimeUnlockObject(fields->database);
  fields->database = database;
  if (PaneCall pane{control}) {
    pane->SetDatabase(database);
    pane->LoadFieldNames();
    pane->RunNewQuery();
  }
}

extern "C" void dataControlTextAlignSetter(RuntimeObject* control, uint32_t, int32_t alignment) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  fields->textAlign = int16_t(alignment);
  if (PaneCall pane{control}) pane->SetAlignment(fields->textAlign);
}

extern "C" void dataControlTextColorSetter(RuntimeObject* control, uint32_t, uint32_t colour) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  fields->textColor = colour & 0xFFFFFF;
  if (PaneCall pane{control}) pane->SetTextColor(fields->textColor);
}

extern "C" void dataControlTextFontSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  DataControlFields* fields = Checked(control);
  if (!fields || StringToStdUTF8(fields->font.name) == StringToStdUTF8(name)) return;
  StoreString(&fields->font.name, name);
  FontChanged(control);
}

extern "C" void dataControlTextSizeSetter(RuntimeObject* control, uint32_t, int32_t size) {
  DataControlFields* fields = Checked(control);
  if (!fields || fields->font.size == size) return;
  fields->font.size = int16_t(size);
  FontChanged(control);
}

extern "C" void dataControlStyleSetter(RuntimeObject* control, uint32_t offset, uint8_t value) {
  DataControlFields* fields = Checked(control);
  if (!fields || boolGetter(control, offset) == (value != 0)) return;
  boolSetter(control, offset, value);
  FontChanged(control);
}

extern "C" void dataControlControlBindSetter(RuntimeObject* control, uint32_t, RuntimeObject*) {
  if (DataControlFields* fields = Checked(control)) fields->boundControls->clear();
}

extern "C" void dataControlReadOnlySetter(RuntimeObject* control, uint32_t, uint8_t value) {
  DataControlFields* fields = Checked(control);
  if (!fields) return;
  fields->readOnly = value ? 1 : 0;
  if (PaneCall pane{control}) pane->PushRecordToControls();
}

extern "C" int32_t dataControlConstantGetter(RuntimeObject*, uint32_t value) {
  return int32_t(value);
}

extern "C" bool dataControlRecordLockedGetter(RuntimeObject* control, uint32_t) {
  PaneCall pane{control};
  return pane && pane->IsRecordLocked();
}

extern "C" StringRecord* dataControlGetField(RuntimeObject* control, int32_t index) {
  PaneCall pane{control};
  if (pane) {
    const std::vector<StringRef>& names = pane->FieldNames();
    if (index >= 0 && index < int32_t(names.size())) return StringAddRef(names[index].get());
  }
  return StringFromASCII("");
}

extern "C" int32_t dataControlFieldCount(RuntimeObject* control) {
  PaneCall pane{control};
  return pane ? int32_t(pane->FieldNames().size()) : 0;
}

extern "C" RuntimeObject* dataControlCursor(RuntimeObject* control) {
  PaneCall pane{control};
  RuntimeObject* set = pane ? pane->Cursor() : nullptr;
  RuntimeLockObject(set);
  return set;
}

extern "C" void dataControlMoveNext(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->MoveNext();
}

extern "C" void dataControlMovePrevious(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->MovePrevious();
}

extern "C" void dataControlMoveFirst(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->MoveFirst();
}

extern "C" void dataControlMoveLast(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->MoveLast();
}

extern "C" void dataControlMoveTo(RuntimeObject* control, int32_t row) {
  if (PaneCall pane{control}) pane->MoveTo(row);
}

extern "C" int32_t dataControlRecordCount(RuntimeObject* control) {
  PaneCall pane{control};
  return pane ? pane->CountRecords() : 0;
}

extern "C" int32_t dataControlRow(RuntimeObject* control) {
  PaneCall pane{control};
  return pane && pane->Cursor() ? pane->Row() + 1 : 0;
}

extern "C" void dataControlRunQuery(RuntimeObject* control) {
  PaneCall pane{control};
  if (!pane) return;
  pane->LoadFieldNames();
  pane->Requery();
  pane->PushRecordToControls();
  pane->UpdateNavigationState();
  pane->AfterMove(0);
}

extern "C" void dataControlInsert(RuntimeObject* control) {
  PaneCall pane{control};
  if (pane && !DataControlReadOnly(control)) pane->InsertFromControls();
}

extern "C" void dataControlDelete(RuntimeObject* control) {
  PaneCall pane{control};
  if (pane && !DataControlReadOnly(control)) pane->DeleteCurrentRecord();
}

extern "C" void dataControlUpdate(RuntimeObject* control) {
  PaneCall pane{control};
  if (pane && !DataControlReadOnly(control)) pane->SaveEdits();
}

extern "C" RuntimeObject* dataControlGetBoundPart(RuntimeObject* control, StringRecord* name) {
  if (!Checked(control)) return nullptr;
  static const std::array<const char*, 4> kNames = {"getAddNewAction", "getUpdateAction",
                                                     "getDeleteAction", "getNewRecordAction"};
  const std::string text = StringToStdUTF8(name);
  for (size_t kind = 0; kind < kNames.size(); ++kind) {
    if (CStringCompareNoCase(text.c_str(), kNames[kind]) == 0) {
      return NewAction(control, uint8_t(kind));
    }
  }
  return nullptr;
}

extern "C" void dataControlClearBoundControls(RuntimeObject* control) {
  if (PaneCall pane{control}) pane->ClearBoundControlValues();
}

extern "C" void dataControlNewRecord(RuntimeObject* control) {
  PaneCall pane{control};
  if (pane && !DataControlReadOnly(control)) pane->StartNewRecord();
}

extern "C" void DataControlActionDestruct(RuntimeObject* action) {
  auto* fields = ObjectFields<DataControlActionFields>(action);
  RuntimeUnlockObject(fields->dataControl);
  fields->dataControl = nullptr;
}

extern "C" void dataControlActionPerformAction(RuntimeObject* action) {
  auto* fields = ObjectFields<DataControlActionFields>(action);
  RuntimeObject* control = fields->dataControl;
  switch (fields->kind) {
    case 0: dataControlInsert(control); break;
    case 1: dataControlUpdate(control); break;
    case 2: dataControlDelete(control); break;
    default: dataControlNewRecord(control); break;
  }
}
