#include "controls/DataControlRole.h"

#include <algorithm>
#include <utility>

namespace {

std::vector<std::pair<ObjectDefinition*, DataControlRole>>& Roles() {
  static std::vector<std::pair<ObjectDefinition*, DataControlRole>> roles;
  return roles;
}

std::vector<BoundControl>* BoundControlsOf(RuntimeObject* dataControl) {
  const DataControlRole* role = DataControlRoleOf(dataControl);
  return role ? role->boundControls(dataControl) : nullptr;
}

auto FindPair(std::vector<BoundControl>& list, RuntimeObject* control, uint8_t kind) {
  return std::find(list.begin(), list.end(), BoundControl{control, kind});
}

}  // namespace

void RegisterDataControlRole(ObjectDefinition* definition, const DataControlRole& role) {
  auto& roles = Roles();
  auto found = std::find_if(roles.begin(), roles.end(),
                            [definition](const auto& entry) { return entry.first == definition; });
  if (found != roles.end()) {
    found->second = role;
  } else {
    roles.emplace_back(definition, role);
  }
}

void UnregisterDataControlRole(ObjectDefinition* definition) {
  auto& roles = Roles();
  roles.erase(std::remove_if(roles.begin(), roles.end(),
                             [definition](const auto& entry) { return entry.first == definition; }),
              roles.end());
}

const DataControlRole* DataControlRoleOf(const RuntimeObject* object) {
  if (!object) return nullptr;
  for (const auto& entry : Roles()) {
    if (ObjectIsADefinition(object, entry.first)) return &entry.second;
  }
  return nullptr;
}

void DataControlAddBoundControl(RuntimeObject* dataControl, RuntimeObject* control, uint8_t kind) {
  std::vector<BoundControl>* list = BoundControlsOf(dataControl);
  if (!list || !control || FindPair(*list, control, kind) != list->end()) return;
  list->insert(list->begin(), BoundControl{control, kind});
}

void DataControlRemoveBoundControl(RuntimeObject* dataControl, RuntimeObject* control,
                                   uint8_t kind) {
  std::vector<BoundControl>* list = BoundControlsOf(dataControl);
  if (!list) return;
  auto found = FindPair(*list, control, kind);
  if (found != list->end()) list->erase(found);
}

void DataControlRefreshBoundControls(RuntimeObject* dataControl) {
  if (const DataControlRole* role = DataControlRoleOf(dataControl)) role->refresh(dataControl);
}
