#include "testsupport/DataControlStandIn.h"

#include <map>
#include <utility>

#include "controls/CheckBox.h"
#include "controls/PopupMenu.h"
#include "controls/StaticText.h"
#include "core/string.h"
#include "ui/runctl.h"

namespace {

// Field names compare ignoring ASCII case, as a record's columns do.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CStringCompareNoCase(a.c_str(), b.c_str()) < 0;
  }
};
using Record = std::map<std::string, std::string, NoCaseLess>;

struct StandInFields {
  RuntimeControl control;
  std::vector<BoundControl>* boundControls;  // owned
  Record* record;                            // owned
};

StandInFields* FieldsOf(RuntimeObject* standIn) { return reinterpret_cast<StandInFields*>(standIn); }

void InitialiseStandIn(RuntimeObject* standIn) {
  FieldsOf(standIn)->boundControls = new std::vector<BoundControl>();
  FieldsOf(standIn)->record = new Record();
}

void DestroyStandIn(RuntimeObject* standIn) {
  delete FieldsOf(standIn)->boundControls;
  delete FieldsOf(standIn)->record;
  FieldsOf(standIn)->boundControls = nullptr;
  FieldsOf(standIn)->record = nullptr;
}

std::vector<BoundControl>* BoundControlsOf(RuntimeObject* standIn) {
  return FieldsOf(standIn)->boundControls;
}

std::string DataFieldOf(RuntimeObject* control) {
  PropertyAccess access{};
  if (!FindPropertyAccess(control, "DataField", &access) || !access.getter) return std::string();
  StringRef name = StringRef::Adopt(
      reinterpret_cast<StringRecord* (*)(RuntimeObject*, uint32_t)>(access.getter)(
          control, access.parameter));
  return StringToStdUTF8(name.get());
}

// Checked exactly when the field says "true" (any case); unchecked when the
// record lacks the field.
uint8_t CheckStateOf(const Record& record, const std::string& field) {
  auto found = record.find(field);
  return found != record.end() && CStringCompareNoCase(found->second.c_str(), "true") == 0 ? 1
                                                                                           : 0;
}

// The field's text; "" when the record lacks the field.
std::string TextOf(const Record& record, const std::string& field) {
  auto found = record.find(field);
  return found != record.end() ? found->second : std::string();
}

// Pushes the record's field into one bound control by its kind's rule.
void Push(const Record& record, RuntimeObject* control, uint8_t kind) {
  const std::string field = DataFieldOf(control);
  BoundControlPart* part = BoundControlPartOf(control);
  if (kind == kBoundCheckBox) {
    if (auto* box = dynamic_cast<CheckBoxBindingPart*>(part)) {
      box->SetValue(CheckStateOf(record, field));
    }
  } else if (kind == kBoundStaticText) {
    if (auto* label = dynamic_cast<StaticTextBindingPart*>(part)) {
      StringRef text = StringRef::Adopt(StringFromUTF8(TextOf(record, field)));
      label->SetCaption(text.get());
    }
  } else if (kind == kBoundPopupMenu) {
    if (auto* popup = dynamic_cast<PopupMenuBindingPart*>(part)) {
      const bool present = record.count(field) != 0;
      StringRef text = StringRef::Adopt(present ? StringFromUTF8(TextOf(record, field)) : nullptr);
      popup->SelectText(text.get());
    }
  }
}

void Refresh(RuntimeObject* standIn) {
  // Everything used is held: pushing a value runs the control's handlers,
  // which may bind or unbind controls, or close the window and so free the
  // other controls and the stand-in itself.
  ObjectRef self = ObjectRef::Retain(standIn);
  std::vector<std::pair<ObjectRef, uint8_t>> bound;
  for (const BoundControl& entry : *BoundControlsOf(standIn)) {
    bound.emplace_back(ObjectRef::Retain(entry.control), entry.kind);
  }
  const Record& record = *FieldsOf(standIn)->record;
  for (const auto& [control, kind] : bound) Push(record, control.get(), kind);
}

}  // namespace

ObjectDefinition* GetDataControlStandInClassDefinition() {
  static ObjectDefinition* definition = [] {
    static ObjectDefinition standIn;
    ObjectDefinitionSetName(&standIn, "DataControlStandIn");
    standIn.superclass = GetRectControlClassDefinition();
    standIn.instanceSize = sizeof(StandInFields);
    standIn.initialiser = InitialiseStandIn;
    standIn.destructor = DestroyStandIn;
    RegisterDataControlRole(&standIn, DataControlRole{BoundControlsOf, Refresh});
    return &standIn;
  }();
  return definition;
}

ObjectRef NewDataControlStandIn(const char* name) {
  ObjectRef standIn = ObjectRef::Adopt(CreateInstance(GetDataControlStandInClassDefinition()));
  StringRef controlName = StringRef::Adopt(StringFromUTF8(name));
  ControlSetName(standIn.get(), controlName.get());
  return standIn;
}

void DataStandInSetField(RuntimeObject* standIn, const std::string& field, const std::string& text) {
  (*FieldsOf(standIn)->record)[field] = text;
}

void DataStandInClearRecord(RuntimeObject* standIn) { FieldsOf(standIn)->record->clear(); }

const std::vector<BoundControl>& DataStandInBoundControls(RuntimeObject* standIn) {
  return *BoundControlsOf(standIn);
}
