// A stand-in for the DataControl in control tests: a control that plays the
// DataControl role with one record of named text fields. Its refresh pushes
// the record into each bound control through its binding part: a check box
// is checked exactly when the field's text is "true" in any case, unchecked
// when the record has no such field; a label's caption takes the field's
// text, "" without the field; a popup selects the first row whose text is
// the field's ignoring case, none without such a row or field. Other kinds of bound
// controls are left alone.
//
// The bound-control list is only ever changed by the controls themselves
// (binding and unbinding), never by the stand-in, not even when its window
// closes, so a test can see what a control left behind.
//
//   ObjectRef data = NewDataControlStandIn("Data1");
//   DataStandInSetField(data.get(), "Done", "TRUE");
//   WindowAddControl(window, data.get());
#pragma once

#include <string>
#include <vector>

#include "controls/DataControlRole.h"
#include "core/SmartRef.h"

// "DataControlStandIn", a RectControl without panes.
ObjectDefinition* GetDataControlStandInClassDefinition();
// A new stand-in (the caller's reference) with the Name and an empty record.
ObjectRef NewDataControlStandIn(const char* name);

// Sets one field of the record (field names ignore case); the bound controls
// see it at the next refresh.
void DataStandInSetField(RuntimeObject* standIn, const std::string& field, const std::string& text);
// Empties the record.
void DataStandInClearRecord(RuntimeObject* standIn);
// The bound-control list, newest first.
const std::vector<BoundControl>& DataStandInBoundControls(RuntimeObject* standIn);
