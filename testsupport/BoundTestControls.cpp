#include "testsupport/BoundTestControls.h"

#include <iterator>

#include "controls/ControlPattern.h"
#include "controls/DataControlRole.h"
#include "core/string.h"
#include "ui/runctl.h"
#include "ui/win32windows.h"

namespace {

struct BoundTestFields {
  RuntimeControl control;
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked
  StringRecord* text;        // locked
  uint8_t readOnly;
  uint8_t kind;
  int32_t listIndex;
  std::vector<std::string>* rows;  // owned
};

BoundTestFields* FieldsOf(RuntimeObject* control) { return ObjectFields<BoundTestFields>(control); }

// A plain pane that binds its control by DataSource; it unbinds when it
// closes or goes.
class BoundTestPane : public SubPane, public BoundControlPart {
 public:
  BoundTestPane(RuntimeObject* control, SubPane* parent, int32_t tabPanelIndex,
                const MacRect& bounds)
      : SubPane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, 0), control_(control) {}
  void BindDataSource() override { binding_.Bind(control_, FieldsOf(control_)->kind); }
  void UnbindDataSource() override { binding_.Unbind(); }
  void SetDataSourceName(StringRecord* name) override { binding_.SetName(name); }
  void Close() override {
    binding_.Unbind();
    SubPane::Close();
  }

 protected:
  ~BoundTestPane() override = default;

 private:
  RuntimeObject* control_;  // not counted: it holds the pane
  DataSourceBinding binding_;
};

template <uint8_t Kind>
void Initialise(RuntimeObject* control) {
  BoundTestFields* fields = FieldsOf(control);
  fields->kind = Kind;
  fields->listIndex = -1;
  fields->rows = new std::vector<std::string>();
}

void Destruct(RuntimeObject* control) {
  BoundTestFields* fields = FieldsOf(control);
  for (StringRecord** string : {&fields->dataSource, &fields->dataField, &fields->text}) {
    RuntimeUnlockString(*string);
    *string = nullptr;
  }
  delete fields->rows;
  fields->rows = nullptr;
}

void CreatePane(RuntimeObject* control) {
  BoundTestFields* fields = FieldsOf(control);
  const RuntimeControl& common = fields->control;
  auto* pane = new BoundTestPane(control, ControlParentPane(control), common.tabPanelIndex,
                                 common.bounds);
  AdoptControlPane(control, pane);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

void DataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  SetBoundDataSource(control, &FieldsOf(control)->dataSource, name);
}

void DataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  SetBoundDataField(control, &FieldsOf(control)->dataField, name);
}

void TextSetter(RuntimeObject* control, uint32_t, StringRecord* text) {
  StringAssign(&FieldsOf(control)->text, text);
}

int32_t ListCountGetter(RuntimeObject* control, uint32_t) {
  return int32_t(FieldsOf(control)->rows->size());
}

void ListIndexSetter(RuntimeObject* control, uint32_t, int32_t row) {
  BoundTestFields* fields = FieldsOf(control);
  fields->listIndex = row >= 0 && row < int32_t(fields->rows->size()) ? row : -1;
}

StringRecord* ListRow(RuntimeObject* control, int32_t row) {
  const std::vector<std::string>& rows = *FieldsOf(control)->rows;
  return row >= 0 && row < int32_t(rows.size()) ? StringFromUTF8(rows[row]) : nullptr;
}

constexpr uint32_t kField = kPropertyGenericGetter;

#define BOUND_TEST_BINDING_PROPERTIES                                                   \
  {kField, "DataSource", &kStringType, RUNTIME_ENTRY(stringGetter),                     \
   RUNTIME_ENTRY(DataSourceSetter), offsetof(BoundTestFields, dataSource)},             \
      {kField, "DataField", &kStringType, RUNTIME_ENTRY(stringGetter),                  \
       RUNTIME_ENTRY(DataFieldSetter), offsetof(BoundTestFields, dataField)}

const PropertyRecord kEditProperties[] = {
    BOUND_TEST_BINDING_PROPERTIES,
    {kField, "Text", &kStringType, RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(TextSetter),
     offsetof(BoundTestFields, text)},
    {kField, "ReadOnly", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
     offsetof(BoundTestFields, readOnly)},
};
const PropertyRecord kLabelProperties[] = {
    BOUND_TEST_BINDING_PROPERTIES,
    {kField, "Text", &kStringType, RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(TextSetter),
     offsetof(BoundTestFields, text)},
};
const PropertyRecord kListProperties[] = {
    BOUND_TEST_BINDING_PROPERTIES,
    {kPropertyReadOnly, "ListCount", &kIntegerType, RUNTIME_ENTRY(ListCountGetter), nullptr,
     nullptr, 0},
    {kField, "ListIndex", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(ListIndexSetter),
     offsetof(BoundTestFields, listIndex)},
};
const ParameterRecord kRowParameter[] = {{"index", &kIntegerType, 0}};
const MethodRecord kListMethods[] = {
    MakeMethodRecord("List", &kStringType, kRowParameter, 1, RUNTIME_ENTRY(ListRow)),
};

template <size_t PropertyCount>
ControlClassTables Tables(const char* name, ObjectInitialiser initialiser,
                          const PropertyRecord (&properties)[PropertyCount], bool list) {
  return ControlClassTables{name,
                            sizeof(BoundTestFields),
                            initialiser,
                            Destruct,
                            CreatePane,
                            nullptr,
                            0,
                            properties,
                            int32_t(PropertyCount),
                            list ? kListMethods : nullptr,
                            list ? int32_t(std::size(kListMethods)) : 0,
                            {}};
}

}  // namespace

ObjectDefinition* GetBoundTestEditClassDefinition() {
  static ControlClassDefinition definition(
      Tables("TestBoundEdit", Initialise<kBoundEditField>, kEditProperties, false));
  return definition.get();
}

ObjectDefinition* GetBoundTestLabelClassDefinition() {
  static ControlClassDefinition definition(
      Tables("TestBoundLabel", Initialise<kBoundStaticText>, kLabelProperties, false));
  return definition.get();
}

ObjectDefinition* GetBoundTestListClassDefinition() {
  static ControlClassDefinition definition(
      Tables("TestBoundList", Initialise<kBoundListBox>, kListProperties, true));
  return definition.get();
}

ObjectDefinition* GetBoundTestPopupClassDefinition() {
  static ControlClassDefinition definition(
      Tables("TestBoundPopup", Initialise<kBoundPopupMenu>, kListProperties, true));
  return definition.get();
}

void BoundTestSetRows(RuntimeObject* control, const std::vector<std::string>& rows) {
  *FieldsOf(control)->rows = rows;
}

std::string BoundTestText(RuntimeObject* control) {
  BoundTestFields* fields = FieldsOf(control);
  if (fields->kind == kBoundListBox || fields->kind == kBoundPopupMenu) {
    const int32_t row = fields->listIndex;
    return row >= 0 ? (*fields->rows)[row] : std::string();
  }
  return StringToStdUTF8(fields->text);
}

void BoundTestSetText(RuntimeObject* control, const std::string& text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  TextSetter(control, 0, value.get());
}

bool BoundTestReadOnly(RuntimeObject* control) { return FieldsOf(control)->readOnly != 0; }
