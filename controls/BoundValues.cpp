#include "controls/BoundValues.h"

#include <map>
#include <string>

#include "controls/DataControlRole.h"
#include "core/ObjectDefinition.h"
#include "core/string.h"

namespace {

// The members of one class that the bound values use; a missing one has no
// getter (or no function).
struct BoundMembers {
  PropertyAccess dataField{};
  PropertyAccess text{};
  PropertyAccess readOnly{};
  PropertyAccess listCount{};
  PropertyAccess listIndex{};
  PropertyAccess value{};
  PropertyAccess enabled{};
  void* listRow = nullptr;  // List(i) As String
  const ObjectDefinition* definition = nullptr;  // what the entry was made for
  const PropertyDefinition* properties = nullptr;
};

const BoundMembers& MembersOf(RuntimeObject* control) {
  static std::map<const RuntimeClass*, BoundMembers> cache;
  static const BoundMembers none;
  const RuntimeClass* runtimeClass = ObjectClassOf(control);
  if (!runtimeClass) return none;
  auto found = cache.find(runtimeClass);
  // A class made at the address of one gone (a test's) is looked up afresh.
  if (found != cache.end() && found->second.definition == runtimeClass->definition &&
      found->second.properties == runtimeClass->properties) {
    return found->second;
  }
  BoundMembers members;
  members.definition = runtimeClass->definition;
  members.properties = runtimeClass->properties;
  FindPropertyAccess(control, "DataField", &members.dataField);
  FindPropertyAccess(control, "Text", &members.text);
  FindPropertyAccess(control, "ReadOnly", &members.readOnly);
  FindPropertyAccess(control, "ListCount", &members.listCount);
  FindPropertyAccess(control, "ListIndex", &members.listIndex);
  FindPropertyAccess(control, "Value", &members.value);
  FindPropertyAccess(control, "Enabled", &members.enabled);
  const MethodDefinition* list = runtimeClass->definition->FindMethod("List");
  if (list && list->record) members.listRow = list->record->function;
  return cache[runtimeClass] = members;
}

template <class T>
T Get(RuntimeObject* control, const PropertyAccess& access) {
  return reinterpret_cast<T (*)(RuntimeObject*, uint32_t)>(access.getter)(control,
                                                                         access.parameter);
}

template <class T>
void Set(RuntimeObject* control, const PropertyAccess& access, T value) {
  if (access.setter) {
    reinterpret_cast<void (*)(RuntimeObject*, uint32_t, T)>(access.setter)(control,
                                                                          access.parameter, value);
  }
}

bool IsList(uint8_t kind) { return kind == kBoundListBox || kind == kBoundPopupMenu; }

StringRef ListRow(RuntimeObject* control, const BoundMembers& members, int32_t row) {
  return StringRef::Adopt(
      reinterpret_cast<StringRecord* (*)(RuntimeObject*, int32_t)>(members.listRow)(control, row));
}

// The first row equal to the text ignoring case; -1 for none or nil.
int32_t RowOf(RuntimeObject* control, const BoundMembers& members, const StringRecord* text) {
  if (!text || !members.listCount.getter || !members.listRow) return -1;
  const int32_t count = Get<int32_t>(control, members.listCount);
  for (int32_t row = 0; row < count; ++row) {
    if (BoundTextsEqualNoCase(ListRow(control, members, row).get(), text)) return row;
  }
  return -1;
}

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

}  // namespace

bool BoundTextsEqualNoCase(const StringRecord* a, const StringRecord* b) {
  return CStringCompareNoCase(StringToStdUTF8(a).c_str(), StringToStdUTF8(b).c_str()) == 0;
}

StringRef BoundDataField(RuntimeObject* control) {
  const BoundMembers& members = MembersOf(control);
  if (!members.dataField.getter) return StringRef();
  return StringRef::Adopt(Get<StringRecord*>(control, members.dataField));
}

StringRef BoundValueText(RuntimeObject* control, uint8_t kind) {
  const BoundMembers& members = MembersOf(control);
  if (kind == kBoundCheckBox) {
    if (!members.value.getter) return StringRef();
    return Text(Get<bool>(control, members.value) ? "true" : "false");
  }
  if (IsList(kind)) {
    if (!members.listIndex.getter || !members.listRow) return StringRef();
    const int32_t row = Get<int32_t>(control, members.listIndex);
    return row >= 0 ? ListRow(control, members, row) : Text("");
  }
  if (!members.text.getter) return StringRef();
  StringRef text = StringRef::Adopt(Get<StringRecord*>(control, members.text));
  return text ? text : Text("");
}

void PushBoundValue(RuntimeObject* control, uint8_t kind, const StringRecord* fieldText) {
  const BoundMembers& members = MembersOf(control);
  if (kind == kBoundCheckBox) {
    const bool checked = fieldText && BoundTextsEqualNoCase(fieldText, Text("true").get());
    Set<uint8_t>(control, members.value, checked ? 1 : 0);
  } else if (IsList(kind)) {
    Set<int32_t>(control, members.listIndex, RowOf(control, members, fieldText));
  } else {
    StringRef text = fieldText ? StringRef::Retain(const_cast<StringRecord*>(fieldText)) : Text("");
    Set<StringRecord*>(control, members.text, text.get());
  }
}

void SetBoundEditable(RuntimeObject* control, uint8_t kind, bool editable) {
  const BoundMembers& members = MembersOf(control);
  if (kind == kBoundStaticText) return;
  const PropertyAccess& flag = kind == kBoundEditField ? members.readOnly : members.enabled;
  if (!flag.getter) return;
  const bool wanted = kind == kBoundEditField ? !editable : editable;
  if (Get<bool>(control, flag) != wanted) Set<uint8_t>(control, flag, wanted ? 1 : 0);
}
