// The values of controls bound to a DataControl, reached by kind through the
// members each control class registers, the way compiled code reaches them:
//
//   every kind   DataField                  the column the control shows
//   kind 0       Text, ReadOnly             edit field
//   kind 1       Text                       static text
//   kinds 2, 3   ListCount, List(i), ListIndex, Enabled   list box, pop-up menu
//   kind 4       Value, Enabled             check box
//
// The members are looked up by name once per class (classes live for the
// run). A member a class lacks skips the step that needs it, so a control
// works with the DataControl as soon as its class has the members.
//
// Values as text: an edit field's or static text's Text; the selected row's
// List text of a list or pop-up ("" with none); "true" or "false" for a
// check box.
#pragma once

#include <cstdint>

#include "core/SmartRef.h"

// The control's DataField (a new reference; nil without one).
StringRef BoundDataField(RuntimeObject* control);

// The control's value as text (a new reference); nil when its class lacks
// the members its kind reads.
StringRef BoundValueText(RuntimeObject* control, uint8_t kind);

// Shows a field's text in the control; nil stands for a record without the
// field. Edit fields and static texts take the text ("" for nil); lists and
// pop-ups select the first row equal to it ignoring case (none: -1); a check
// box is checked exactly when it is "true" ignoring case.
void PushBoundValue(RuntimeObject* control, uint8_t kind, const StringRecord* fieldText);

// Makes the control editable or not: an edit field's ReadOnly, the Enabled
// of lists, pop-ups and check boxes; static texts stay as they are. Only a
// change is applied.
void SetBoundEditable(RuntimeObject* control, uint8_t kind, bool editable);

// Texts compared as the bound values compare them (ASCII case ignored).
bool BoundTextsEqualNoCase(const StringRecord* a, const StringRecord* b);
