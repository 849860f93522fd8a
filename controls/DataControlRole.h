// Controls bound to a DataControl by DataSource name, and the DataControl
// role: a class whose instances hold a list of bound controls and push their
// current record into them. The list is {control, kind} pairs, newest first;
// it does not own the controls (a control takes itself out when it unbinds,
// at the latest when its pane goes).
//
// Any class may play the role by registering it for its definition; its
// subclasses play it too. An object that plays no role is no DataControl:
// the three operations below do nothing for it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

// The kind of a bound control, which tells the DataControl how to push a
// field into it.
enum BoundControlKind : uint8_t {
  kBoundEditField = 0,
  kBoundStaticText = 1,
  kBoundListBox = 2,
  kBoundPopupMenu = 3,
  kBoundCheckBox = 4,
};

struct BoundControl {
  RuntimeObject* control;  // not owned
  uint8_t kind;
};
inline bool operator==(const BoundControl& a, const BoundControl& b) {
  return a.control == b.control && a.kind == b.kind;
}

struct DataControlRole {
  // The instance's bound-control list (held by the instance).
  std::vector<BoundControl>* (*boundControls)(RuntimeObject* dataControl);
  // Pushes the current record into every bound control (nothing while the
  // DataControl has no pane).
  void (*refresh)(RuntimeObject* dataControl);
};

// Lets instances of the definition (and of its subclasses) play the role. A
// second registration for the same definition replaces the first.
void RegisterDataControlRole(ObjectDefinition* definition, const DataControlRole& role);
// Takes the role from the definition (a class about to go away).
void UnregisterDataControlRole(ObjectDefinition* definition);
// The role the object plays; nil for nil or an object that plays none.
const DataControlRole* DataControlRoleOf(const RuntimeObject* object);

extern "C" {
// Adds {control, kind} at the head of the list, unless the pair is already
// in it: a control is in a list at most once.
void DataControlAddBoundControl(RuntimeObject* dataControl, RuntimeObject* control, uint8_t kind);
// Removes the pair; nothing when it is not in the list.
void DataControlRemoveBoundControl(RuntimeObject* dataControl, RuntimeObject* control,
                                   uint8_t kind);
// Pushes the DataControl's current record into its bound controls.
void DataControlRefreshBoundControls(RuntimeObject* dataControl);
}
