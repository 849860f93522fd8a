#include "testsupport/DataControlStandIn.h"

#include <map>
#include <utility>

#include "controls/BoundValues.h"
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

// Pushes the record's field into one bound control by its kind's rule (the
// field's text, or none when the record lacks it).
void Push(const Record& record, RuntimeObject* control, uint8_t kind) {
  auto found = record.find(StringToStdUTF8(BoundDataField(control).get()));
  StringRef text =
      StringRef::Adopt(found != record.end() ? StringFromUTF8(found->second) : nullptr);
  PushBoundValue(control, kind, text.get());
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
